// When two values of an attribute are one value to the directory: keys made as OpenLDAP
// prepares values for its equality rules.
#include "schema/matching.h"

#include <unicode/bytestream.h>
#include <unicode/normalizer2.h>
#include <unicode/stringpiece.h>
#include <unicode/uchar.h>
#include <unicode/uniset.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "schema/schema_internal.h"
#include "schema/syntax.h"

namespace quorvane {
namespace {

struct RuleName {
  std::string_view name;
  std::string_view oid;
  EqualityRule rule;
};

// booleanMatch needs no entry: its syntax admits one spelling each of TRUE and FALSE, so the
// bytes are the canonical form.
constexpr RuleName kRules[] = {
    {"caseIgnoreMatch", "2.5.13.2", EqualityRule::kIgnoreCase},
    {"caseExactMatch", "2.5.13.5", EqualityRule::kExact},
    {"caseIgnoreListMatch", "2.5.13.11", EqualityRule::kIgnoreList},
    {"caseExactListMatch", "1.3.6.1.4.1.4203.666.4.11", EqualityRule::kExactList},
    {"caseIgnoreIA5Match", "1.3.6.1.4.1.1466.109.114.2", EqualityRule::kIgnoreIA5},
    {"caseExactIA5Match", "1.3.6.1.4.1.1466.109.114.1", EqualityRule::kExactIA5},
    {"telephoneNumberMatch", "2.5.13.20", EqualityRule::kTelephone},
    {"numericStringMatch", "2.5.13.8", EqualityRule::kNumeric},
    {"objectIdentifierMatch", "2.5.13.0", EqualityRule::kOid},
    {"distinguishedNameMatch", "2.5.13.1", EqualityRule::kDN},
    {"uniqueMemberMatch", "2.5.13.23", EqualityRule::kUniqueMember},
    {"integerMatch", "2.5.13.14", EqualityRule::kInteger},
    {"generalizedTimeMatch", "2.5.13.27", EqualityRule::kTime},
};

bool IsAscii(std::string_view text) {
  return std::ranges::all_of(text, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The directory's space rule for strings (RFC 4518 2.6.1 as OpenLDAP applies it): only the
// space character counts, leading and trailing spaces go, an inner run becomes one space. TABs
// and other blanks stay. Applied in place to what `key` holds from `start` on: the text only
// shrinks, so each word moves towards the front, over bytes read already.
void SettleSpaces(std::string& key, std::size_t start) {
  const std::string_view text = key;
  const std::string_view value = text.substr(start);
  if (!value.starts_with(' ') && !value.ends_with(' ') &&
      value.find("  ") == std::string_view::npos) {
    return;  // settled already, as most values are
  }
  std::size_t end = start;
  std::size_t word = text.find_first_not_of(' ', start);
  while (word != std::string_view::npos) {
    const std::size_t length = std::min(text.find(' ', word), text.size()) - word;
    if (end > start) key[end++] = ' ';
    std::copy_n(text.begin() + word, length, key.begin() + end);
    end += length;
    word = text.find_first_not_of(' ', word + length);
  }
  key.resize(end);
}

// `text` with its spaces settled; `fold` lower-cases ASCII letters on the way.
void AppendSpacesSettled(std::string_view text, bool fold, std::string& key) {
  const std::size_t start = key.size();
  key.append(text);
  SettleSpaces(key, start);
  if (fold) std::transform(key.begin() + start, key.end(), key.begin() + start, FoldAscii);
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

// Appends `text` to `key` with each letter lower-cased by LowerAsOf32, which folds ASCII
// letters as FoldAscii does; false where `text` is not UTF-8 (then part of it may be there).
bool AppendEachLetterLowered(std::string_view text, std::string& key) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int32_t>(text.size());
  for (std::int32_t i = 0; i < length;) {
    std::int32_t begin = i;
    while (i < length && bytes[i] < 0x80) ++i;
    const std::size_t at = key.size();
    key.append(text.substr(begin, i - begin));
    std::transform(key.begin() + at, key.end(), key.begin() + at, FoldAscii);
    if (i == length) break;
    begin = i;
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) return false;
    const UChar32 lower = LowerAsOf32(c);
    if (lower == c) {
      key.append(text.substr(begin, i - begin));
    } else {
      char encoded[U8_MAX_LENGTH];
      std::int32_t used = 0;
      U8_APPEND_UNSAFE(encoded, used, lower);
      key.append(encoded, used);
    }
  }
  return true;
}

// A text that is not all ASCII as a directory string is prepared: letters lower-cased
// (`fold`), NFKC, spaces settled; false, with nothing appended, where it is not UTF-8. The
// text is lower-cased where it goes; most are in NFKC already and are left there as they are.
bool AppendUnicodeString(std::string_view text, bool fold, std::string& key) {
  const std::size_t start = key.size();
  if (fold ? !AppendEachLetterLowered(text, key) : !IsUtf8(text)) {
    key.resize(start);
    return false;
  }
  if (!fold) key.append(text);
  const icu::Normalizer2& nfkc = Nfkc32();
  UErrorCode status = U_ZERO_ERROR;
  const auto piece = [](std::string_view bytes) {
    return icu::StringPiece(bytes.data(), static_cast<std::int32_t>(bytes.size()));
  };
  if (!nfkc.isNormalizedUTF8(piece(std::string_view(key).substr(start)), status)) {
    const std::string source = key.substr(start);
    key.resize(start);
    icu::StringByteSink<std::string> sink(&key);
    nfkc.normalizeUTF8(0, piece(source), sink, nullptr, status);
  }
  if (U_FAILURE(status)) {
    throw std::runtime_error(std::string("cannot normalise a value: ") + u_errorName(status));
  }
  SettleSpaces(key, start);
  return true;
}

// A directory string as caseIgnoreMatch (fold) or caseExactMatch prepares it: letters
// lower-cased code point by code point, then NFKC, then spaces settled. ASCII text takes the
// plain path: NFKC leaves ASCII as it is and its letters fold as ASCII, so the key is the same.
// Text that is not UTF-8 keeps its bytes behind a mark no prepared text starts with.
void AppendDirectoryString(std::string_view text, bool fold, std::string& key) {
  const std::size_t start = key.size();
  if (IsAscii(text)) {
    AppendSpacesSettled(text, fold, key);
  } else if (!AppendUnicodeString(text, fold, key)) {
    key.push_back('\xFF');
    key.append(text);
    return;
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

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

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
  if (!TwoDigits(text, at, century) || !TwoDigits(text, at, year) || !TwoDigits(text, at, month) ||
      !TwoDigits(text, at, day) || !TwoDigits(text, at, hour)) {
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
  const int minutesOfDay = static_cast<int>((local - utcDay).count());
  char digits[64];
  std::snprintf(digits, sizeof digits, "%04d%02u%02u%02d%02d%02d", int(utc.year()),
                unsigned(utc.month()), unsigned(utc.day()), minutesOfDay / 60, minutesOfDay % 60,
                second);
  key.append(digits);
  if (!fraction.empty()) key.append(".").append(fraction);
  key.push_back('Z');
  return true;
}

}  // namespace

void AppendMatchKey(const Schema& schema, const AttributeType* type, std::string_view value,
                    std::string& key) {
  const std::size_t start = key.size();
  switch (type != nullptr ? type->equalityRule : EqualityRule::kBytes) {
    case EqualityRule::kBytes:
      key.append(value);
      return;
    case EqualityRule::kIgnoreCase:
      return AppendDirectoryString(value, true, key);
    case EqualityRule::kExact:
      return AppendDirectoryString(value, false, key);
    case EqualityRule::kIgnoreList:
      return AppendStringList(value, true, key);
    case EqualityRule::kExactList:
      return AppendStringList(value, false, key);
    case EqualityRule::kIgnoreIA5:
      return AppendIA5String(value, true, key);
    case EqualityRule::kExactIA5:
      return AppendIA5String(value, false, key);
    case EqualityRule::kTelephone:
      return AppendWithout(value, " -", key);
    case EqualityRule::kNumeric:
      return AppendWithout(value, " ", key);
    case EqualityRule::kOid:
      return AppendOid(schema, value, key);
    case EqualityRule::kDN:
      // A prepared DN never starts with 0xFF (it starts with a type).
      if (!AppendDNKey(schema, value, key)) key.append(1, '\xFF').append(value);
      return;
    case EqualityRule::kUniqueMember:
      return AppendUniqueMember(schema, value, key);
    case EqualityRule::kInteger:
      return AppendInteger(value, key);
    case EqualityRule::kTime:
      if (!AppendTime(value, key)) {
        key.resize(start);
        key.append(value);
      }
      return;
  }
}

void MatchKey(const Schema& schema, const AttributeType* type, std::string_view value,
              std::string& key) {
  key.clear();
  AppendMatchKey(schema, type, value, key);
}

EqualityRule EqualityRuleNamed(std::string_view nameOrOid) {
  for (const RuleName& known : kRules) {
    if (SameName(nameOrOid, known.name) || nameOrOid == known.oid) return known.rule;
  }
  return EqualityRule::kBytes;
}

}  // namespace quorvane
