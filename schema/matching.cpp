// When two values of an attribute are one value to the directory: keys made as OpenLDAP
// prepares values for its equality rules.
#include "schema/matching.h"

#include <lber.h>
#include <ldap.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/uniset.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <stdexcept>
#include <tuple>
#include <utility>
#include <vector>

#include "schema/schema_internal.h"

namespace quorvane {
namespace {

// How an equality rule prepares a value before values are compared byte for byte.
enum class Rule {
  kBytes,        // octetStringMatch, and types without an equality rule
  kIgnoreCase,   // caseIgnoreMatch
  kExact,        // caseExactMatch
  kIgnoreList,   // caseIgnoreListMatch: each $-separated line as caseIgnoreMatch
  kExactList,    // caseExactListMatch
  kIgnoreIA5,    // caseIgnoreIA5Match
  kExactIA5,     // caseExactIA5Match
  kTelephone,    // telephoneNumberMatch
  kNumeric,      // numericStringMatch
  kOid,          // objectIdentifierMatch
  kDN,           // distinguishedNameMatch
  kUniqueMember, // uniqueMemberMatch
  kInteger,      // integerMatch
  kTime,         // generalizedTimeMatch
};

struct RuleName {
  std::string_view name;
  std::string_view oid;
  Rule rule;
};

// booleanMatch needs no entry: its syntax admits one spelling each of TRUE and FALSE, so the
// bytes are the canonical form.
constexpr RuleName kRules[] = {
    {"caseIgnoreMatch", "2.5.13.2", Rule::kIgnoreCase},
    {"caseExactMatch", "2.5.13.5", Rule::kExact},
    {"caseIgnoreListMatch", "2.5.13.11", Rule::kIgnoreList},
    {"caseExactListMatch", "1.3.6.1.4.1.4203.666.4.11", Rule::kExactList},
    {"caseIgnoreIA5Match", "1.3.6.1.4.1.1466.109.114.2", Rule::kIgnoreIA5},
    {"caseExactIA5Match", "1.3.6.1.4.1.1466.109.114.1", Rule::kExactIA5},
    {"telephoneNumberMatch", "2.5.13.20", Rule::kTelephone},
    {"numericStringMatch", "2.5.13.8", Rule::kNumeric},
    {"objectIdentifierMatch", "2.5.13.0", Rule::kOid},
    {"distinguishedNameMatch", "2.5.13.1", Rule::kDN},
    {"uniqueMemberMatch", "2.5.13.23", Rule::kUniqueMember},
    {"integerMatch", "2.5.13.14", Rule::kInteger},
    {"generalizedTimeMatch", "2.5.13.27", Rule::kTime},
};

Rule RuleOf(const AttributeType* type) {
  if (type == nullptr) return Rule::kBytes;
  for (const RuleName& known : kRules) {
    if (SameName(type->equality, known.name) || type->equality == known.oid) return known.rule;
  }
  return Rule::kBytes;
}

bool IsAscii(std::string_view text) {
  return std::ranges::all_of(text, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The directory's space rule for strings (RFC 4518 2.6.1 as OpenLDAP applies it): only the
// space character counts, leading and trailing spaces go, an inner run becomes one space. TABs
// and other blanks stay. `fold` lower-cases ASCII letters on the way.
void AppendSpacesSettled(std::string_view text, bool fold, std::string& key) {
  bool lastWasSpace = true;  // drops the leading spaces
  for (const char c : text) {
    if (c == ' ') {
      if (!lastWasSpace) key.push_back(' ');
      lastWasSpace = true;
    } else {
      key.push_back(fold ? FoldAscii(c) : c);
      lastWasSpace = false;
    }
  }
  if (!key.empty() && lastWasSpace && key.back() == ' ') key.pop_back();
}

// Whether `c` was assigned by Unicode 3.2, the version of the directory's character tables.
bool AssignedBy32(UChar32 c) {
  UVersionInfo age;
  u_charAge(c, age);
  return age[0] != 0 && (age[0] < 3 || (age[0] == 3 && age[1] <= 2));
}

// The directory lower-cases upper-case and title-case letters one code point at a time, by
// their simple mapping, as Unicode 3.2 has them: no full case folding (ß stays, ẞ came later),
// no final-sigma context, U+0130 becomes a plain i.
UChar32 LowerAsOf32(UChar32 c) {
  const std::int8_t type = u_charType(c);
  if (type != U_UPPERCASE_LETTER && type != U_TITLECASE_LETTER) return c;
  if (!AssignedBy32(c)) return c;
  const UChar32 lower = u_tolower(c);
  return AssignedBy32(lower) ? lower : c;
}

// NFKC restricted to what Unicode 3.2 assigned (RFC 3454 fixes normalisation at 3.2); code
// points assigned later pass through as they are.
const icu::Normalizer2& Nfkc32() {
  static const icu::Normalizer2* const normalizer = [] {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfkc = icu::Normalizer2::getNFKCInstance(status);
    auto* assigned = new icu::UnicodeSet(u"[:age=3.2:]", status);
    if (U_FAILURE(status)) throw std::runtime_error("ICU has no NFKC data");
    assigned->freeze();
    return new icu::FilteredNormalizer2(*nfkc, *assigned);
  }();
  return *normalizer;
}

// A directory string as caseIgnoreMatch (fold) or caseExactMatch prepares it: letters
// lower-cased code point by code point, then NFKC, then spaces settled. Text that is not UTF-8
// keeps its bytes behind a mark no prepared text starts with.
void AppendDirectoryString(std::string_view text, bool fold, std::string& key) {
  const std::size_t start = key.size();
  if (IsAscii(text)) {
    AppendSpacesSettled(text, fold, key);
  } else {
    icu::UnicodeString chars;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    for (std::int32_t i = 0; i < length;) {
      UChar32 c;
      U8_NEXT(bytes, i, length, c);
      if (c < 0) {
        key.push_back('\xFF');
        key.append(text);
        return;
      }
      chars.append(fold ? LowerAsOf32(c) : c);
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString normal = Nfkc32().normalize(chars, status);
    std::string utf8;
    normal.toUTF8String(utf8);
    AppendSpacesSettled(utf8, false, key);
  }
  if (key.size() == start) key.push_back(' ');  // the directory keeps one space of nothing
}

// caseIgnoreIA5Match and caseExactIA5Match: ASCII letters folded or not, spaces settled.
void AppendIA5String(std::string_view text, bool fold, std::string& key) {
  AppendSpacesSettled(text, fold, key);
}

// caseIgnoreListMatch and caseExactListMatch (postal addresses): each line, as the lines are
// separated by '$', prepared as a directory string; empty lines stay empty.
void AppendStringList(std::string_view text, bool fold, std::string& key) {
  for (;;) {
    const std::size_t dollar = text.find('$');
    const std::string_view line = text.substr(0, dollar);
    if (!line.empty()) AppendDirectoryString(line, fold, key);
    if (dollar == std::string_view::npos) return;
    key.push_back('$');
    text.remove_prefix(dollar + 1);
  }
}

// telephoneNumberMatch drops spaces and hyphens, nothing else; numericStringMatch spaces.
void AppendWithout(std::string_view text, std::string_view dropped, std::string& key) {
  const std::size_t start = key.size();
  for (const char c : text) {
    if (dropped.find(c) == std::string_view::npos) key.push_back(c);
  }
  if (key.size() == start && !dropped.empty()) key.push_back(' ');
}

// objectIdentifierMatch: a name stands for its OID, so every name of a class (or type) and
// the OID itself are one value. An unknown name is compared without regard to case.
void AppendOid(const Schema& schema, std::string_view text, std::string& key) {
  if (const ObjectClass* kind = schema.FindClass(text)) {
    key.append(kind->oid);
  } else if (const AttributeType* type = schema.FindAttribute(text)) {
    key.append(type->oid);
  } else {
    for (const char c : text) key.push_back(FoldAscii(c));
  }
}

// integerMatch: an optional minus sign and the digits without leading zeros; -0 is 0. A value
// that is no integer keeps its bytes.
void AppendInteger(std::string_view text, std::string& key) {
  const bool negative = text.starts_with('-');
  std::string_view digits = text.substr(negative ? 1 : 0);
  if (digits.empty() || !std::ranges::all_of(digits, [](char c) { return c >= '0' && c <= '9'; })) {
    key.append(text);
    return;
  }
  while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
  if (negative && digits != "0") key.push_back('-');
  key.append(digits);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads two digits at `at`; false, with `at` unmoved, where there are none.
bool TwoDigits(std::string_view text, std::size_t& at, int& value) {
  if (at + 2 > text.size() || !IsDigit(text[at]) || !IsDigit(text[at + 1])) return false;
  value = (text[at] - '0') * 10 + (text[at + 1] - '0');
  at += 2;
  return true;
}

// generalizedTimeMatch: YYYYmmddHH[MM[SS]][(.|,)fraction](Z|(+|-)HH[MM]) becomes UTC
// "YYYYmmddHHMMSS[.fraction]Z", the fraction without trailing zeros, as OpenLDAP writes it (the
// fraction stays that of the last unit given). False where the value is no such time.
bool AppendTime(std::string_view text, std::string& key) {
  std::size_t at = 0;
  int century = 0, year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, offset = 0;
  if (!TwoDigits(text, at, century) || !TwoDigits(text, at, year) ||
      !TwoDigits(text, at, month) || !TwoDigits(text, at, day) || !TwoDigits(text, at, hour)) {
    return false;
  }
  if (TwoDigits(text, at, minute)) TwoDigits(text, at, second);
  std::string_view fraction;
  if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
    const std::size_t start = ++at;
    while (at < text.size() && IsDigit(text[at])) ++at;
    if (at == start) return false;
    fraction = text.substr(start, at - start);
    while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
  }
  if (at >= text.size()) return false;
  const char zone = text[at++];
  if (zone == '+' || zone == '-') {
    int zoneHours = 0, zoneMinutes = 0;
    if (!TwoDigits(text, at, zoneHours) || zoneHours > 23) return false;
    if (TwoDigits(text, at, zoneMinutes) && zoneMinutes > 59) return false;
    offset = (zoneHours * 60 + zoneMinutes) * (zone == '+' ? 1 : -1);
  } else if (zone != 'Z') {
    return false;
  }
  namespace chrono = std::chrono;
  const chrono::year_month_day date{chrono::year(century * 100 + year),
                                    chrono::month(unsigned(month)), chrono::day(unsigned(day))};
  if (at != text.size() || !date.ok() || hour > 23 || minute > 59 || second > 60) return false;
  const auto local = chrono::sys_days(date) + chrono::minutes(hour * 60 + minute - offset);
  const auto utcDay = chrono::floor<chrono::days>(local);
  const chrono::year_month_day utc(utcDay);
  const chrono::hh_mm_ss clock(local - utcDay);
  char digits[64];
  std::snprintf(digits, sizeof digits, "%04d%02u%02u%02d%02d%02d", int(utc.year()),
                unsigned(utc.month()), unsigned(utc.day()), int(clock.hours().count()),
                int(clock.minutes().count()), second);
  key.append(digits);
  if (!fraction.empty()) key.append(".").append(fraction);
  key.push_back('Z');
  return true;
}

// A prepared value inside a DN key: bytes 0 and 1 get an escape, so that byte 0 can end a
// value and two of them an RDN.
void AppendEscapedForDN(std::string_view value, std::string& key) {
  for (const char c : value) {
    if (c == '\0' || c == '\x01') {
      key.push_back('\x01');
      key.push_back(char(c + 2));
    } else {
      key.push_back(c);
    }
  }
}

struct AvaKey {
  std::string type;
  std::string value;
  bool operator<(const AvaKey& other) const {
    return std::tie(type, value) < std::tie(other.type, other.value);
  }
};

// One RDN's attribute-value pairs, each type by its OID (an unknown type by its name in lower
// case) and each value prepared by its type's equality rule, in sorted order: the order of a
// multi-valued RDN does not matter to the directory.
void AppendRDNKey(const Schema& schema, LDAPRDN rdn, std::vector<AvaKey>& avas,
                  std::string& key) {
  std::size_t count = 0;
  for (; rdn[count] != nullptr; ++count) {
    if (avas.size() <= count) avas.emplace_back();
    const LDAPAVA& ava = *rdn[count];
    const std::string_view typeName(ava.la_attr.bv_val, ava.la_attr.bv_len);
    const std::string_view value(ava.la_value.bv_val, ava.la_value.bv_len);
    AvaKey& out = avas[count];
    out.type.clear();
    out.value.clear();
    const AttributeType* type = schema.FindAttribute(typeName);
    if (type != nullptr) {
      out.type.assign(type->oid);
    } else {
      for (const char c : typeName) out.type.push_back(FoldAscii(c));
    }
    if ((ava.la_flags & LDAP_AVA_BINARY) != 0) {
      out.value.assign("#").append(value);
    } else {
      MatchKey(schema, type, value, out.value);
    }
  }
  std::sort(avas.begin(), avas.begin() + static_cast<std::ptrdiff_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    key.append(avas[i].type).push_back('=');
    AppendEscapedForDN(avas[i].value, key);
    key.push_back('\0');
  }
  key.push_back('\0');
}

// Parses `dn` as the directory does (libldap, LDAPv3 or LDAPv2 strings) and appends its key;
// false, with nothing appended, when it is no DN.
bool AppendDNKey(const Schema& schema, std::string_view dn, std::string& key) {
  berval text{static_cast<ber_len_t>(dn.size()), const_cast<char*>(dn.data())};
  LDAPDN parsed = nullptr;
  if (ldap_bv2dn(&text, &parsed, LDAP_DN_FORMAT_LDAP) != LDAP_SUCCESS) return false;
  std::vector<AvaKey> avas;
  if (parsed != nullptr) {
    for (LDAPRDN* rdn = parsed; *rdn != nullptr; ++rdn) AppendRDNKey(schema, *rdn, avas, key);
  }
  ldap_dnfree(parsed);
  return true;
}

// uniqueMemberMatch: a DN, optionally followed by '#' and a bit string ("'0101'B") that
// tells two entries of one name apart.
void AppendUniqueMember(const Schema& schema, std::string_view value, std::string& key) {
  std::string_view dn = value;
  std::string_view uid;
  const std::size_t hash = value.rfind("#'");
  if (hash != std::string_view::npos && value.ends_with("'B")) {
    dn = value.substr(0, hash);
    uid = value.substr(hash);
  }
  const std::size_t start = key.size();
  if (!AppendDNKey(schema, dn, key)) {
    key.resize(start);
    key.push_back('\xFF');
    key.append(value);
    return;
  }
  key.append(uid);
}

}  // namespace

void MatchKey(const Schema& schema, const AttributeType* type, std::string_view value,
              std::string& key) {
  key.clear();
  switch (RuleOf(type)) {
    case Rule::kBytes: key.assign(value); return;
    case Rule::kIgnoreCase: return AppendDirectoryString(value, true, key);
    case Rule::kExact: return AppendDirectoryString(value, false, key);
    case Rule::kIgnoreList: return AppendStringList(value, true, key);
    case Rule::kExactList: return AppendStringList(value, false, key);
    case Rule::kIgnoreIA5: return AppendIA5String(value, true, key);
    case Rule::kExactIA5: return AppendIA5String(value, false, key);
    case Rule::kTelephone: return AppendWithout(value, " -", key);
    case Rule::kNumeric: return AppendWithout(value, " ", key);
    case Rule::kOid: return AppendOid(schema, value, key);
    case Rule::kDN:
      if (!DNMatchKey(schema, value, key)) key.insert(0, 1, '\xFF');
      return;
    case Rule::kUniqueMember: return AppendUniqueMember(schema, value, key);
    case Rule::kInteger: return AppendInteger(value, key);
    case Rule::kTime:
      if (!AppendTime(value, key)) key.assign(value);
      return;
  }
}

bool DNMatchKey(const Schema& schema, std::string_view dn, std::string& key) {
  key.clear();
  if (AppendDNKey(schema, dn, key)) return true;
  key.assign(dn);
  return false;
}

}  // namespace quorvane
