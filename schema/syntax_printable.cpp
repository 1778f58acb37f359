// Printable String and the syntaxes made of its characters, with the repairs that undo how
// numbers and codes get typed: full-width forms, odd spaces and dashes, brackets around them.
#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "schema/syntax_rules.h"

namespace quorvane::syntax_rules {
namespace {

bool IsNumericChar(char c) {
  return (c >= '0' && c <= '9') || c == ' ';
}

bool AllPrintable(std::string_view text) {
  return std::all_of(text.begin(), text.end(), IsPrintableChar);
}

// slapd's printablesStringValidate: one or more '$'-separated parts, none of them empty.
bool IsDollarList(std::string_view text) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = std::min(text.find('$', start), text.size());
    const std::string_view part = text.substr(start, end - start);
    if (part.empty() || !AllPrintable(part)) return false;
    if (end == text.size()) return true;
    start = end + 1;
  }
}

// Whether `text` is a value of `rule` as slapd validates it.
bool FollowsRule(PrintableRule rule, std::string_view text) {
  switch (rule) {
    case PrintableRule::kTelephone:
    case PrintableRule::kPrintable:
      return !text.empty() && AllPrintable(text);
    case PrintableRule::kDollarList:
      return IsDollarList(text);
    case PrintableRule::kCountry:
      return text.size() == 2 && AllPrintable(text);
    case PrintableRule::kNumeric:
      return !text.empty() && std::all_of(text.begin(), text.end(), IsNumericChar);
  }
  return false;
}

const char* Reason(PrintableRule rule) {
  switch (rule) {
    case PrintableRule::kTelephone:
      return "not a telephone number";
    case PrintableRule::kPrintable:
      return "not a printable string";
    case PrintableRule::kDollarList:
      return "not a fax or telex number";
    case PrintableRule::kCountry:
      return "not a country code";
    case PrintableRule::kNumeric:
      return "not a numeric string";
  }
  return "";
}

// The ASCII character a full-width form stands for (its compatibility decomposition), or 0.
UChar32 WideFormAscii(UChar32 c) {
  if (u_getIntPropertyValue(c, UCHAR_DECOMPOSITION_TYPE) != U_DT_WIDE) return 0;
  UErrorCode error = U_ZERO_ERROR;
  const UNormalizer2* nfkc = unorm2_getNFKCInstance(&error);
  UChar decomposed[4];
  const int32_t length = unorm2_getDecomposition(nfkc, c, decomposed, 4, &error);
  if (U_FAILURE(error) || length != 1 || decomposed[0] >= 0x80) return 0;
  return decomposed[0];
}

// Appends what a typed character stands for in a number or code: full-width forms their ASCII
// letters, digits and signs, every kind of space a space, every dash and the minus sign a
// hyphen. Angle brackets and quotes put around a number, and invisible format characters
// (direction marks, soft hyphens), go. Returns false for a character with no such form.
bool AppendPlainForm(UChar32 c, std::string& out) {
  if (c == '<' || c == '>' || c == '"') return true;
  if (c < 0x80) {
    out += static_cast<char>(c);
    return true;
  }
  const int8_t type = u_charType(c);
  if (type == U_FORMAT_CHAR) return true;
  if (type == U_SPACE_SEPARATOR) {
    out += ' ';
    return true;
  }
  if (type == U_DASH_PUNCTUATION || c == 0x2212) {
    out += '-';
    return true;
  }
  const UChar32 ascii = WideFormAscii(c);
  return ascii != 0 && AppendPlainForm(ascii, out);
}

void TrimSpaces(std::string& text) {
  text.erase(0, std::min(text.find_first_not_of(' '), text.size()));
  text.erase(text.find_last_not_of(' ') + 1);
}

}  // namespace

ValueCheck CheckPrintable(PrintableRule rule, std::string_view value) {
  if (FollowsRule(rule, value)) return Fits();
  std::string recoded;
  const std::string_view text = RecodeIfNotUtf8(value, recoded) ? recoded : value;
  std::string plain;
  const auto length = static_cast<int64_t>(text.size());
  for (int64_t i = 0; i < length;) {
    UChar32 c;
    U8_NEXT(text.data(), i, length, c);
    if (c < 0 || !AppendPlainForm(c, plain)) return Dropped(Reason(rule));
  }
  if (rule == PrintableRule::kCountry) TrimSpaces(plain);
  if (!FollowsRule(rule, plain)) return Dropped(Reason(rule));
  return Repaired(std::move(plain), "characters made printable");
}

}  // namespace quorvane::syntax_rules
