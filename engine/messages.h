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
// The schema step's messages, 008 onwards, name the attribute or class; by default one line
// per kind and attribute in a run, with the line of the first record and how many it touched:
//   008  an attribute type the directory's schema does not define (dropped)
//   009  a name that is no attribute description at all (dropped)
//   010  an attribute the directory sets itself (operational; dropped)
//   011  an attribute option the directory would refuse (removed)
//   012  a value outside its attribute's syntax (dropped)
//   013  a value repaired to fit its syntax
//   014  more than one value of a single-value attribute (the later ones dropped)
//   015  an object class the schema does not define (replaced or dropped)
//   016  the record's structural class chosen or changed, or an auxiliary class added
//   017  an attribute the record's classes do not allow (dropped)
//   018  a DN named by an attribute the record cannot keep (named again from cn/mail)
//   019  a required attribute missing: no directory accepts the record
//   020  text that was not UTF-8, read as Windows-1252 and written as UTF-8
inline constexpr std::string_view kBase64Failed = "001: ";
inline constexpr std::string_view kEmptyDN = "002: record has an empty DN; no directory accepts it";
inline constexpr std::string_view kNoDN = "002: record has no DN; no directory accepts it";
inline constexpr std::string_view kNoMember = "003: mailing list has no member; no directory accepts it";
inline constexpr std::string_view kNulByte = "004: NUL byte in ";
inline constexpr std::string_view kDNTakenAsName = "005: DN without \"=\" taken as a name: ";
inline constexpr std::string_view kDNFromName = "006: record without a DN named from its cn/mail: ";
inline constexpr std::string_view kSuffixReplaced = "007: DNs under \"";
inline constexpr std::string_view kUndefinedType = "008: attribute \"%s\" is not in the directory's schema";
inline constexpr std::string_view kNotAName = "009: \"%s\" is not an attribute name";
inline constexpr std::string_view kOperational = "010: attribute \"%s\" is set by the directory itself";
inline constexpr std::string_view kOptionRemoved = "011: \"%s\": options other than language tags removed";
inline constexpr std::string_view kBadValue = "012: value of \"%s\" does not fit its syntax";
inline constexpr std::string_view kValueRepaired = "013: value of \"%s\" did not fit its syntax";
inline constexpr std::string_view kSingleValue = "014: second value of single-value attribute \"%s\"";
inline constexpr std::string_view kUnknownClass = "015: object class \"%s\" is not in the directory's schema";
inline constexpr std::string_view kNotAllowed = "017: attribute \"%s\" is not allowed by the record's object classes";
inline constexpr std::string_view kRenamedDN = "018: DN named by \"%s\", which the record cannot keep, named again from cn/mail";
inline constexpr std::string_view kMissingRequired = "019: required attribute \"%s\" is missing; no directory accepts the record";
inline constexpr std::string_view kObsoleteType = "010: attribute \"%s\" is obsolete in the directory's schema";
inline constexpr std::string_view kAliasJoined = "011: \"%s\" is another name of an attribute the record holds; written under one name";
inline constexpr std::string_view kStructuralAdded = "016: object class \"%s\" added as the record's structural class";
inline constexpr std::string_view kAuxiliaryDropped = "016: object class \"%s\" left out: the record lacks what it requires";
inline constexpr std::string_view kStructuralDropped = "016: object class \"%s\" left out: the record keeps another structural class";
inline constexpr std::string_view kClassAdded = "016: object class \"%s\" added, so that the record's attributes are allowed";
inline constexpr std::string_view kCannotName = "018: DN named by \"%s\", which the record cannot keep, and no cn or mail to name it; no directory accepts the record";
inline constexpr std::string_view kLatin1 = "020: value of \"%s\" was not UTF-8, read as Windows-1252";

}  // namespace quorvane
