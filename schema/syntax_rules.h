// The per-syntax checks behind CheckValue, shared by the syntax sources; not for other callers.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "schema/syntax.h"

namespace quorvane::syntax_rules {

inline ValueCheck Fits() {
  return {};
}
inline ValueCheck Repaired(std::string value, const char* why) {
  return {ValueVerdict::kRepaired, std::move(value), why};
}
inline ValueCheck Dropped(const char* why) {
  return {ValueVerdict::kDropped, {}, why};
}

// CheckValue for the standard syntax numbered `number` (see StandardSyntaxNumber); 0 fits.
ValueCheck CheckStandardSyntax(int number, std::string_view value);

// RFC 4517 3.2 PrintableCharacter, as a table: telephone numbers are checked by the hundred
// thousand.
inline constexpr auto kPrintableChars = [] {
  std::array<bool, 256> table{};
  for (int c = 'a'; c <= 'z'; ++c) table[c] = table[c - 'a' + 'A'] = true;
  for (int c = '0'; c <= '9'; ++c) table[c] = true;
  for (char c : std::string_view("'()+,-./:? =")) table[static_cast<unsigned char>(c)] = true;
  return table;
}();

// The character sets of slapd's string syntaxes.
inline bool IsPrintableChar(char c) {
  return kPrintableChars[static_cast<unsigned char>(c)];
}
bool IsAscii(std::string_view bytes);

// `bytes` as UTF-8: its well-formed UTF-8 sequences as they are, each run of other bytes read
// as Windows-1252. A value joined from sources in either encoding comes out right in each part.
std::string MixedToUtf8(std::string_view bytes);
// Sets `text` to MixedToUtf8(value) and returns true when `value` is not UTF-8; returns false
// (and leaves `text` alone) when it is.
bool RecodeIfNotUtf8(std::string_view value, std::string& text);

// The syntaxes built on Printable String characters, each with slapd's rule for the whole.
enum class PrintableRule {
  kTelephone,   // Telephone Number: one or more printable characters
  kPrintable,   // Printable String: the same
  kDollarList,  // Facsimile Telephone Number, Telex Number: non-empty printable parts between '$'
  kCountry,     // Country String: exactly two printable characters
  kNumeric,     // Numeric String: one or more digits and spaces
};
ValueCheck CheckPrintable(PrintableRule rule, std::string_view value);

// RFC 4517 3.3.2 Bit String: SQUOTE *binary-digit SQUOTE "B".
bool IsBitString(std::string_view text);

// DN (RFC 4514) and Name and Optional UID values.
ValueCheck CheckDn(std::string_view value);
ValueCheck CheckNameAndOptionalUid(std::string_view value);
// Why slapd's schema-aware DN validation refuses the LDAPv3 DN (with its optional UID for
// `withUid`) `value`, or null when it takes it.
const char* RefusedDnTypes(const Schema& schema, std::string_view value, bool withUid);

// Generalized Time as slapd takes it: YYYYmmddHH[MM[SS]][(.|,)d+](Z|(+|-)HH[MM]).
bool IsGeneralizedTime(std::string_view value);
ValueCheck CheckGeneralizedTime(std::string_view value);

}  // namespace quorvane::syntax_rules
