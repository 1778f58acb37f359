// Values checked against their attribute's syntax as slapd validates them, and repaired where
// the meaning is certain: text recoded to UTF-8, mail domains in IDNA form, typed numbers made
// printable.
#include "schema/syntax.h"

#include <idn2.h>
#include <strings.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "schema/syntax_rules.h"

namespace quorvane {
namespace syntax_rules {

bool IsAscii(std::string_view bytes) {
  return std::none_of(bytes.begin(), bytes.end(),
                      [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

bool RecodeIfNotUtf8(std::string_view value, std::string& text) {
  if (IsUtf8(value)) return false;
  text = MixedToUtf8(value);
  return true;
}

std::string MixedToUtf8(std::string_view bytes) {
  std::string text;
  const auto length = static_cast<int64_t>(bytes.size());
  int64_t copied = 0;
  for (int64_t i = 0; i < length;) {
    const int64_t start = i;
    UChar32 c;
    U8_NEXT(bytes.data(), i, length, c);
    if (c >= 0) continue;
    text += bytes.substr(copied, start - copied);
    text += Windows1252ToUtf8(bytes.substr(start, i - start));
    copied = i;
  }
  text += bytes.substr(copied);
  return text;
}

}  // namespace syntax_rules

namespace {

using namespace syntax_rules;

// WHATWG's windows-1252 gives the bytes the code page leaves unassigned (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) the C1 controls of the same number, where a converter may refuse them.
void ToC1Control(const void*, UConverterToUnicodeArgs* args, const char* bytes, int32_t length,
                 UConverterCallbackReason reason, UErrorCode* error) {
  if (reason != UCNV_UNASSIGNED && reason != UCNV_ILLEGAL && reason != UCNV_IRREGULAR) return;
  *error = U_ZERO_ERROR;
  for (int32_t i = 0; i < length && U_SUCCESS(*error); ++i) {
    const UChar control = static_cast<unsigned char>(bytes[i]);
    ucnv_cbToUWriteUChars(args, &control, 1, 0, error);
  }
}

using ConverterPtr = std::unique_ptr<UConverter, decltype(&ucnv_close)>;

ConverterPtr OpenWindows1252() {
  UErrorCode error = U_ZERO_ERROR;
  ConverterPtr converter(ucnv_open("windows-1252", &error), &ucnv_close);
  if (U_SUCCESS(error)) {
    ucnv_setToUCallBack(converter.get(), ToC1Control, nullptr, nullptr, nullptr, &error);
  }
  if (U_FAILURE(error)) {
    throw std::runtime_error(std::string("cannot open ICU's windows-1252 converter: ") +
                             u_errorName(error));
  }
  return converter;
}

ValueCheck CheckDirectoryString(std::string_view value) {
  if (value.empty()) return Dropped("empty");
  if (IsUtf8(value)) return Fits();
  return Repaired(MixedToUtf8(value), "not UTF-8");
}

ValueCheck CheckBoolean(std::string_view value) {
  if (value == "TRUE" || value == "FALSE") return Fits();
  return Dropped("not TRUE or FALSE");
}

// slapd's integerValidate: an optional '-', then digits without a leading zero; "0" alone.
bool IsInteger(std::string_view value) {
  const bool negative = value.starts_with('-');
  const std::string_view digits = negative ? value.substr(1) : value;
  if (digits.empty() ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  return digits[0] != '0' || (digits.size() == 1 && !negative);
}

// Leading zeros change no integer's value, so "007" is written 7 and "-0" 0.
ValueCheck CheckInteger(std::string_view value) {
  if (IsInteger(value)) return Fits();
  const bool negative = value.starts_with('-');
  std::string_view digits = value.substr(negative ? 1 : 0);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
    return Dropped("not an integer");
  }
  digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size() - 1));
  std::string number = negative && digits != "0" ? "-" : "";
  number += digits;
  return Repaired(std::move(number), "leading zeros");
}

// slapd's deliveryMethodValidate (RFC 4517 3.3.5): pdm *( WSP "$" WSP pdm ), the method names
// in any case.
bool IsDeliveryMethod(std::string_view text) {
  static constexpr std::string_view kMethods[] = {"any",      "mhs",      "physical", "telex",
                                                  "teletex",  "g3fax",    "g4fax",    "ia5",
                                                  "videotex", "telephone"};
  for (;;) {
    const auto named = [text](std::string_view method) {
      return text.size() >= method.size() &&
             strncasecmp(text.data(), method.data(), method.size()) == 0 &&
             (text.size() == method.size() || text[method.size()] == ' ' ||
              text[method.size()] == '$');
    };
    const auto* method = std::find_if(std::begin(kMethods), std::end(kMethods), named);
    if (method == std::end(kMethods)) return false;
    text.remove_prefix(method->size());
    if (text.empty()) return true;
    text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
    if (!text.starts_with('$')) return false;
    text.remove_prefix(1);
    text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
  }
}

ValueCheck CheckDeliveryMethod(std::string_view value) {
  return IsDeliveryMethod(value) ? Fits() : Dropped("not a delivery method");
}

ValueCheck CheckBitString(std::string_view value) {
  return IsBitString(value) ? Fits() : Dropped("not a bit string");
}

ValueCheck CheckAscii(std::string_view value) {
  return IsAscii(value) ? Fits() : Dropped("not ASCII");
}

// A mail address whose domain is not ASCII takes the domain's IDNA form (RFC 5891, UTS #46
// non-transitional); its local part has no ASCII form, so an address with one is dropped.
ValueCheck CheckIa5String(std::string_view value) {
  if (IsAscii(value)) return Fits();
  std::string recoded;
  const std::string_view text = RecodeIfNotUtf8(value, recoded) ? recoded : value;
  const std::size_t at = text.rfind('@');
  if (at == std::string_view::npos) return Dropped("not ASCII");
  if (!IsAscii(text.substr(0, at))) return Dropped("local part not ASCII");
  const std::string domain(text.substr(at + 1));
  if (domain.find('\0') != std::string::npos) return Dropped("mail domain not IDNA");
  char* ascii = nullptr;
  const int rc = idn2_to_ascii_8z(domain.c_str(), &ascii, IDN2_NONTRANSITIONAL | IDN2_NFC_INPUT);
  if (rc != IDN2_OK) return Dropped("mail domain not IDNA");
  std::string mail(text.substr(0, at + 1));
  mail += ascii;
  idn2_free(ascii);
  return Repaired(std::move(mail), "mail domain in IDNA form");
}

// RFC 4517 3.3.28: a backslash in a line is written \5C (and a '$' in the text \24, but in
// address-book exports '$' only ever separates lines, so it stays the separator).
bool IsStrayBackslash(std::string_view text, std::size_t pos) {
  if (text[pos] != '\\') return false;
  const std::string_view hex = text.substr(pos + 1, 2);
  return hex != "24" && hex != "5C" && hex != "5c";
}

bool HasStrayBackslash(std::string_view text) {
  for (std::size_t pos = text.find('\\'); pos != std::string_view::npos;
       pos = text.find('\\', pos + 1)) {
    if (IsStrayBackslash(text, pos)) return true;
  }
  return false;
}

// Every line UTF-8 (recoded as a Directory String is) with its stray backslashes escaped. A '$'
// or '\' is never part of a longer UTF-8 sequence, so lines and escapes are the same before and
// after the recoding.
ValueCheck CheckPostalAddress(std::string_view value) {
  const bool utf8 = IsUtf8(value);
  if (utf8 && !HasStrayBackslash(value)) return Fits();
  std::string recoded;
  if (!utf8) recoded = MixedToUtf8(value);
  const std::string_view text = utf8 ? value : recoded;
  std::string address;
  for (std::size_t i = 0; i < text.size(); ++i) {
    address += IsStrayBackslash(text, i) ? std::string_view("\\5C") : text.substr(i, 1);
  }
  return Repaired(std::move(address), utf8 ? "backslash escaped" : "not UTF-8");
}

}  // namespace

int StandardSyntaxNumber(std::string_view syntaxOid) {
  constexpr std::string_view kArc = "1.3.6.1.4.1.1466.115.121.1.";
  if (!syntaxOid.starts_with(kArc) || syntaxOid.size() == kArc.size() ||
      syntaxOid.size() > kArc.size() + 2) {
    return 0;
  }
  int number = 0;
  for (char c : syntaxOid.substr(kArc.size())) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + (c - '0');
  }
  return number;
}

bool IsUtf8(std::string_view bytes) {
  const auto length = static_cast<int64_t>(bytes.size());
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = data + length;
  for (const unsigned char* next = data;;) {
    // Most text is ASCII throughout: its runs are passed over whole.
    next = std::find_if(next, end, [](unsigned char c) { return c >= 0x80; });
    if (next == end) return true;
    int64_t i = next - data;
    UChar32 c;
    U8_NEXT(data, i, length, c);
    if (c < 0) return false;
    next = data + i;
  }
}

std::string Windows1252ToUtf8(std::string_view bytes) {
  if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max() / 3)) {
    throw std::length_error("Windows1252ToUtf8: value too long");
  }
  static const ConverterPtr converter = OpenWindows1252();
  ucnv_reset(converter.get());
  // A single-byte code page gives one UTF-16 unit per byte, and each unit at most three bytes
  // of UTF-8.
  const auto length = static_cast<int32_t>(bytes.size());
  std::u16string utf16(bytes.size(), u'\0');
  UErrorCode error = U_ZERO_ERROR;
  const int32_t units =
      ucnv_toUChars(converter.get(), utf16.data(), length, bytes.data(), length, &error);
  std::string utf8(static_cast<std::size_t>(units) * 3, '\0');
  int32_t written = 0;
  if (U_SUCCESS(error) || error == U_STRING_NOT_TERMINATED_WARNING) {
    error = U_ZERO_ERROR;
    u_strToUTF8(utf8.data(), static_cast<int32_t>(utf8.size()), &written, utf16.data(), units,
                &error);
  }
  if (U_FAILURE(error)) {
    throw std::runtime_error(std::string("Windows1252ToUtf8: ") + u_errorName(error));
  }
  utf8.resize(static_cast<std::size_t>(written));
  return utf8;
}

namespace syntax_rules {

ValueCheck CheckStandardSyntax(int number, std::string_view value) {
  switch (number) {
    case 6:
      return CheckBitString(value);
    case 7:
      return CheckBoolean(value);
    case 11:
      return CheckPrintable(PrintableRule::kCountry, value);
    case 12:
      return CheckDn(value);
    case 14:
      return CheckDeliveryMethod(value);
    case 15:
      return CheckDirectoryString(value);
    case 22:  // Facsimile Telephone Number
    case 52:  // Telex Number
      return CheckPrintable(PrintableRule::kDollarList, value);
    case 24:
      return CheckGeneralizedTime(value);
    case 26:
      return CheckIa5String(value);
    case 27:
      return CheckInteger(value);
    case 34:
      return CheckNameAndOptionalUid(value);
    case 36:
      return CheckPrintable(PrintableRule::kNumeric, value);
    case 39:  // Other Mailbox
      return CheckAscii(value);
    case 41:
      return CheckPostalAddress(value);
    case 44:
      return CheckPrintable(PrintableRule::kPrintable, value);
    case 50:
      return CheckPrintable(PrintableRule::kTelephone, value);
    default:
      return Fits();
  }
}

}  // namespace syntax_rules

namespace {

// A DN value (DN, Name and Optional UID) is checked as slapd checks it, against the schema's
// types as well.
ValueCheck CheckWithSchema(const Schema& schema, int number, std::string_view value) {
  ValueCheck check = CheckStandardSyntax(number, value);
  if (check.verdict != ValueVerdict::kDropped && (number == 12 || number == 34)) {
    const std::string_view written =
        check.verdict == ValueVerdict::kRepaired ? check.repaired : value;
    if (const char* refused = RefusedDnTypes(schema, written, number == 34)) {
      check = Dropped(refused);
    }
  }
  return check;  // one object returned: it is built in the caller's place
}

}  // namespace

ValueCheck CheckValue(std::string_view syntaxOid, std::string_view value) {
  return CheckStandardSyntax(StandardSyntaxNumber(syntaxOid), value);
}

ValueCheck CheckValue(const Schema& schema, std::string_view syntaxOid, std::string_view value) {
  return CheckWithSchema(schema, StandardSyntaxNumber(syntaxOid), value);
}

ValueCheck CheckValue(const Schema& schema, const AttributeType& type, std::string_view value) {
  return CheckWithSchema(schema, type.syntaxNumber, value);
}

// The syntaxes slapd marks X-BINARY-TRANSFER-REQUIRED: ACI Item, Certificate, Certificate
// List, Certificate Pair, Supported Algorithm, X.509 attribute certificates and PKCS #8 keys.
bool SyntaxNeedsBinary(std::string_view syntaxOid) {
  switch (StandardSyntaxNumber(syntaxOid)) {
    case 1:
    case 8:
    case 9:
    case 10:
    case 49:
      return true;
    default:
      return syntaxOid == "1.3.6.1.4.1.4203.666.11.10.2.1" || syntaxOid == "1.2.840.113549.1.8.1.1";
  }
}

}  // namespace quorvane
