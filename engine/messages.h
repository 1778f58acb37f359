// The messages a repair run reports, one table for the engine and the README.
#pragma once

#include <string_view>

namespace quorvane {

// Every message starts with its number, so that scripts can tell them apart. 001, 002 and 003
// mark a record that no directory accepts; the others say what the repair did in its place.
//   001  a Base64 value of a DN line does not decode (the line stays encoded)
//   002  a record without a DN, or with an empty one
//   003  a mailing list without members
//   004  a NUL byte ended the text (the command and the window's Load say so)
//   005  a DN without "=" was taken as a common name
//   006  a record without a dn: line was given a DN made from its name
//   007  a suffix of DNs was replaced by the base DN (once per suffix and run)
inline constexpr std::string_view kBase64Failed = "001: ";
inline constexpr std::string_view kEmptyDN = "002: record has an empty DN; no directory accepts it";
inline constexpr std::string_view kNoDN = "002: record has no DN; no directory accepts it";
inline constexpr std::string_view kNoMember = "003: mailing list has no member; no directory accepts it";
inline constexpr std::string_view kNulByte = "004: NUL byte in ";
inline constexpr std::string_view kDNTakenAsName = "005: DN without \"=\" taken as a name: ";
inline constexpr std::string_view kDNFromName = "006: record without a DN named from its cn/mail: ";
inline constexpr std::string_view kSuffixReplaced = "007: DNs under \"";

}  // namespace quorvane
