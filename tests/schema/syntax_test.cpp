// Values checked against their syntax: what slapd takes as it is, what is repaired, what goes.
#include "schema/syntax.h"

#include <gtest/gtest.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "schema/schema_sources.h"

namespace quorvane {
namespace {

using enum ValueVerdict;

constexpr std::string_view kBitString = "1.3.6.1.4.1.1466.115.121.1.6";
constexpr std::string_view kBoolean = "1.3.6.1.4.1.1466.115.121.1.7";
constexpr std::string_view kCountry = "1.3.6.1.4.1.1466.115.121.1.11";
constexpr std::string_view kDn = "1.3.6.1.4.1.1466.115.121.1.12";
constexpr std::string_view kDeliveryMethod = "1.3.6.1.4.1.1466.115.121.1.14";
constexpr std::string_view kDirectoryString = "1.3.6.1.4.1.1466.115.121.1.15";
constexpr std::string_view kFax = "1.3.6.1.4.1.1466.115.121.1.22";
constexpr std::string_view kGeneralizedTime = "1.3.6.1.4.1.1466.115.121.1.24";
constexpr std::string_view kIa5 = "1.3.6.1.4.1.1466.115.121.1.26";
constexpr std::string_view kInteger = "1.3.6.1.4.1.1466.115.121.1.27";
constexpr std::string_view kNameUid = "1.3.6.1.4.1.1466.115.121.1.34";
constexpr std::string_view kNumeric = "1.3.6.1.4.1.1466.115.121.1.36";
constexpr std::string_view kPostal = "1.3.6.1.4.1.1466.115.121.1.41";
constexpr std::string_view kPrintable = "1.3.6.1.4.1.1466.115.121.1.44";
constexpr std::string_view kTelephone = "1.3.6.1.4.1.1466.115.121.1.50";

// One row: the value, the verdict, the value written for kRepaired or the reason for kDropped.
struct Case {
  std::string_view value;
  ValueVerdict verdict;
  std::string_view result = {};
};

void ExpectChecks(std::string_view syntax, std::initializer_list<Case> cases) {
  for (const Case& c : cases) {
    const ValueCheck check = CheckValue(syntax, c.value);
    SCOPED_TRACE(testing::Message() << syntax << " \"" << c.value << "\"");
    EXPECT_EQ(check.verdict, c.verdict);
    if (c.verdict == kRepaired) {
      EXPECT_EQ(check.repaired, c.result);
    } else {
      EXPECT_EQ(check.reason, c.result);
    }
  }
}

std::string Utf8Of(UChar32 c) {
  char bytes[4];
  int32_t length = 0;
  U8_APPEND_UNSAFE(bytes, length, c);
  return std::string(bytes, static_cast<std::size_t>(length));
}

TEST(Windows1252, EveryByteDecodesAsWhatwgSays) {
  // WHATWG's index-windows-1252 for 0x80-0x9F; the five unassigned bytes are C1 controls.
  constexpr UChar32 kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  for (int byte = 0; byte < 256; ++byte) {
    const UChar32 expected = byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
    EXPECT_EQ(Windows1252ToUtf8(std::string(1, static_cast<char>(byte))), Utf8Of(expected))
        << "byte " << byte;
  }
  EXPECT_EQ(Windows1252ToUtf8("M\xFCller \x80 \x81\x9D"),
            "M\xC3\xBCller \xE2\x82\xAC \xC2\x81\xC2\x9D");
}

TEST(Utf8, WellFormedOnly) {
  const struct {
    std::string_view bytes;
    bool utf8;
  } cases[] = {
      {"", true},
      {"plain", true},
      {"J\xC3\xBCrgen", true},
      {"\xE2\x82\xAC \xF0\x9F\x93\x9E", true},
      {"M\xFCller", false},             // Windows-1252
      {"\xC3", false},                  // cut short
      {"\xC0\x80", false},              // overlong NUL
      {"\xE0\x80\xAF", false},          // overlong '/'
      {"\xED\xA0\x80", false},          // surrogate
      {"\xF4\x90\x80\x80", false},      // past U+10FFFF
      {"\xF8\x88\x80\x80\x80", false},  // five-byte form
      {"\xE2\x82", false},
      {"\x80", false},
      // ASCII runs of every length around the sequences, and a fault after a good sequence
      {"caf\xC3\xA9 au lait", true},
      {"a\xC3\xA9" "bc\xC3\xA9" "defgh\xC3\xA9" "ijklmnopq", true},
      {"caf\xC3\xA9 au lait\xFF", false},
      {"abcdefg\xE9", false},
      {"\xC3\xA9" "abcde\xC3", false},
      {"abcd\xC3\xA9\xE9", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsUtf8(c.bytes), c.utf8) << c.bytes;
}

TEST(SyntaxCheck, DirectoryStringIsNonEmptyUtf8) {
  ExpectChecks(kDirectoryString,
               {
                   {"Ann", kFits},
                   {" ", kFits},
                   {"J\xC3\xBCrgen", kFits},
                   {"", kDropped, "empty"},
                   {"J\xFCrgen", kRepaired, "J\xC3\xBCrgen"},
                   {"Caf\xE9 \x80", kRepaired, "Caf\xC3\xA9 \xE2\x82\xAC"},
                   // UTF-8 beside Windows-1252: each part read as it is
                   {"\xC3\xA9\xE9", kRepaired, "\xC3\xA9\xC3\xA9"},
                   {"J\xC3\xBCrgen M\xFCller", kRepaired, "J\xC3\xBCrgen M\xC3\xBCller"},
                   {"\xE9\xA9!", kRepaired, "\xC3\xA9\xC2\xA9!"},  // cut-short sequence
                   {"\xC3", kRepaired, "\xC3\x83"},
               });
}

TEST(SyntaxCheck, TelephoneNumbersAreMadePrintable) {
  ExpectChecks(
      kTelephone,
      {
          {"+49 30 1234-567", kFits},
          {"+1 (555) 010-9999", kFits},
          {"<9876543210>", kRepaired, "9876543210"},
          {"\"+44 20 7946 0000\"", kRepaired, "+44 20 7946 0000"},
          {"\xEF\xBC\x90\xEF\xBC\x91\xEF\xBC\x92", kRepaired, "012"},      // full-width digits
          {"\xEF\xBC\x8B\xEF\xBC\x94\xEF\xBC\x99", kRepaired, "+49"},      // full-width plus
          {"\xEF\xBD\x85\xEF\xBD\x98\xEF\xBD\x94 5", kRepaired, "ext 5"},  // full-width letters
          {"030\xC2\xA0"
           "1234",
           kRepaired, "030 1234"},  // no-break space
          {"030\xE2\x80\xAF"
           "1234\xE2\x80\x87"
           "5",
           kRepaired, "030 1234 5"},
          {"030\xE3\x80\x80"
           "1234",
           kRepaired, "030 1234"},  // ideographic space
          {"030\xE2\x80\x93"
           "1234",
           kRepaired, "030-1234"},  // en dash
          {"030\xE2\x80\x91"
           "1234\xE2\x88\x92"
           "5",
           kRepaired, "030-1234-5"},
          {"030\xEF\xBC\x8D"
           "1234",
           kRepaired, "030-1234"},                                            // full-width hyphen
          {"\xE2\x80\xAA+49 30 1234\xE2\x80\xAC", kRepaired, "+49 30 1234"},  // direction marks
          {"030\x96"
           "1234\xA0"
           "5",
           kRepaired, "030-1234 5"},  // Windows-1252
          {"\xEF\xBC\x9C"
           "123\xEF\xBC\x9E",
           kRepaired, "123"},  // full-width brackets
          {"", kDropped, "not a telephone number"},
          {"<>", kDropped, "not a telephone number"},
          {"+49 30 1234 #5", kDropped, "not a telephone number"},
          {"*31#", kDropped, "not a telephone number"},
          {"030\t1234", kDropped, "not a telephone number"},
          {"J\xC3\xBCrgen", kDropped, "not a telephone number"},
          {"\xE2\x91\xA0", kDropped, "not a telephone number"},  // circled digit one
          {"12\xC2\xB2", kDropped, "not a telephone number"},    // superscript two
      });
}

TEST(SyntaxCheck, PrintableStringTakesTheSameRepairs) {
  ExpectChecks(kPrintable, {
                               {"Sales (EMEA) 2/3", kFits},
                               {"a=b, c? 'd' +e:f.", kFits},
                               {"\xEF\xBC\xA1\xEF\xBC\xA2", kRepaired, "AB"},
                               {"a_b", kDropped, "not a printable string"},
                               {"a@b", kDropped, "not a printable string"},
                               {"", kDropped, "not a printable string"},
                           });
}

TEST(SyntaxCheck, FaxNumbersArePrintablePartsBetweenDollars) {
  ExpectChecks(kFax, {
                         {"+49 30 1234", kFits},
                         {"+49 30 1234$twoDimensional$fineResolution", kFits},
                         {"<+49 30 1234>$b4Length", kRepaired, "+49 30 1234$b4Length"},
                         {"+49\xC2\xA0"
                          "30$a3Width",
                          kRepaired, "+49 30$a3Width"},
                         {"+49 30 1234$", kDropped, "not a fax or telex number"},
                         {"$twoDimensional", kDropped, "not a fax or telex number"},
                         {"+49$$x", kDropped, "not a fax or telex number"},
                         {"", kDropped, "not a fax or telex number"},
                         {"+49 30 1234$two_dimensional", kDropped, "not a fax or telex number"},
                     });
}

TEST(SyntaxCheck, CountryStringIsTwoPrintableCharacters) {
  ExpectChecks(kCountry, {
                             {"DE", kFits},
                             {"de", kFits},
                             {"\xEF\xBC\xA4\xEF\xBC\xA5", kRepaired, "DE"},
                             {"\xC2\xA0"
                              "DE",
                              kRepaired, "DE"},
                             {"D", kDropped, "not a country code"},
                             {"DEU", kDropped, "not a country code"},
                             {"Germany", kDropped, "not a country code"},
                             {"\xC3\x9C"
                              "K",
                              kDropped, "not a country code"},
                             {"", kDropped, "not a country code"},
                         });
}

TEST(SyntaxCheck, NumericStringIsDigitsAndSpaces) {
  ExpectChecks(kNumeric, {
                             {"0123 456", kFits},
                             {" ", kFits},
                             {"\xEF\xBC\x91\xEF\xBC\x92", kRepaired, "12"},
                             {"12-34", kDropped, "not a numeric string"},
                             {"", kDropped, "not a numeric string"},
                         });
}

TEST(SyntaxCheck, MailDomainsTakeTheirIdnaForm) {
  ExpectChecks(kIa5, {
                         {"ann@example.com", kFits},
                         {"", kFits},
                         {"\"odd@name\"@example.com", kFits},
                         {"ann@b\xC3\xBC"
                          "cher.example",
                          kRepaired, "ann@xn--bcher-kva.example"},
                         {"ann@B\xC3\x9C"
                          "CHER.example",
                          kRepaired, "ann@xn--bcher-kva.example"},
                         {"ann@b\xFC"
                          "cher.example",
                          kRepaired, "ann@xn--bcher-kva.example"},  // Windows-1252
                         {"ann@b\xC3\xBC"
                          "cher\xE3\x80\x82"
                          "example",
                          kRepaired, "ann@xn--bcher-kva.example"},
                         {"j\xC3\xBCrgen@m\xC3\xBCller.de", kDropped, "local part not ASCII"},
                         {"j\xC3\xBCrgen@example.de", kDropped, "local part not ASCII"},
                         {"J\xC3\xBCrgen <jm@example.de>", kDropped, "local part not ASCII"},
                         {"M\xC3\xBCller", kDropped, "not ASCII"},
                         {"ann@\xE2\x98\x83\xE2\x80\x8D.example", kDropped, "mail domain not IDNA"},
                         {"ann@-b\xC3\xBC-.example", kDropped, "mail domain not IDNA"},
                         // libidn2's STD3 rules would drop the "(", ")" and space and keep the rest
                         {"ann@example.com (J\xC3\xBCrgen)", kDropped, "mail domain not IDNA"},
                     });
}

TEST(SyntaxCheck, PostalAddressLinesAreUtf8WithEscapedBackslashes) {
  ExpectChecks(kPostal, {
                            {"1 Main St$Springfield", kFits},
                            {"Rue de l'\xC3\x89glise 3$Paris", kFits},
                            {"a$$b", kFits},  // slapd takes empty lines
                            {"", kFits},
                            {"Price \\24 5$x \\5C y \\5c z", kFits},
                            {"C:\\temp$x", kRepaired, "C:\\5Ctemp$x"},
                            {"end\\", kRepaired, "end\\5C"},
                            {"a\\\\24", kRepaired, "a\\5C\\24"},
                            {"M\xFCller$Stra\xDF"
                             "e 1",
                             kRepaired,
                             "M\xC3\xBCller$Stra\xC3\x9F"
                             "e 1"},
                            // a UTF-8 line stays as it is beside a Windows-1252 one
                            {"K\xC3\xB6ln$M\xFCnchen", kRepaired, "K\xC3\xB6ln$M\xC3\xBCnchen"},
                            {"\xFC\\x", kRepaired, "\xC3\xBC\\5Cx"},
                        });
}

TEST(SyntaxCheck, BooleanAndInteger) {
  ExpectChecks(kBoolean, {
                             {"TRUE", kFits},
                             {"FALSE", kFits},
                             {"true", kDropped, "not TRUE or FALSE"},
                             {"yes", kDropped, "not TRUE or FALSE"},
                             {"", kDropped, "not TRUE or FALSE"},
                         });
  ExpectChecks(kInteger, {
                             {"0", kFits},
                             {"42", kFits},
                             {"-17", kFits},
                             {"007", kRepaired, "7"},
                             {"-007", kRepaired, "-7"},
                             {"000", kRepaired, "0"},
                             {"-0", kRepaired, "0"},
                             {"-00", kRepaired, "0"},
                             {"", kDropped, "not an integer"},
                             {"-", kDropped, "not an integer"},
                             {"+5", kDropped, "not an integer"},
                             {"1.5", kDropped, "not an integer"},
                             {"12 ", kDropped, "not an integer"},
                         });
}

TEST(SyntaxCheck, BitStringAndDeliveryMethod) {
  ExpectChecks(kBitString, {
                               {"'0101'B", kFits},
                               {"''B", kFits},
                               {"'012'B", kDropped, "not a bit string"},
                               {"0101", kDropped, "not a bit string"},
                               {"'0101'b", kDropped, "not a bit string"},
                           });
  ExpectChecks(kDeliveryMethod, {
                                    {"any", kFits},
                                    {"TELEPHONE", kFits},
                                    {"telex $ teletex$g3fax  $  videotex", kFits},
                                    {"email", kDropped, "not a delivery method"},
                                    {"telexx", kDropped, "not a delivery method"},
                                    {"mhs $", kDropped, "not a delivery method"},
                                    {"mhs physical", kDropped, "not a delivery method"},
                                    {"mhs,physical", kDropped, "not a delivery method"},
                                    {"", kDropped, "not a delivery method"},
                                });
}

TEST(SyntaxCheck, GeneralizedTimeAsSlapdReadsIt) {
  ExpectChecks(
      kGeneralizedTime,
      {
          {"20070520000000Z", kFits},
          {"2007052000Z", kFits},
          {"200705200000Z", kFits},
          {"20070520000000.123Z", kFits},
          {"20070520000000,5Z", kFits},
          {"2007052000.5Z", kFits},
          {"20070520000000+0200", kFits},
          {"20070520000000-05", kFits},
          {"20081231235960Z", kFits},  // leap second
          {"20000229120000Z", kFits},  // 2000 is a leap year
          {"20040229120000Z", kFits},
          {"99991231230000+0100", kFits},
          {"200705200000z", kRepaired, "200705200000Z"},
          {"20070520000000.5z", kRepaired, "20070520000000.5Z"},
          {"20070520000000", kDropped, "not a generalized time"},  // no zone
          {"200705200Z", kDropped, "not a generalized time"},
          {"20070520Z", kDropped, "not a generalized time"},
          {"20071320000000Z", kDropped, "not a generalized time"},
          {"20070001000000Z", kDropped, "not a generalized time"},
          {"20070431000000Z", kDropped, "not a generalized time"},
          {"19000229120000Z", kDropped, "not a generalized time"},
          {"20070229120000Z", kDropped, "not a generalized time"},
          {"20070520240000Z", kDropped, "not a generalized time"},
          {"20070520006000Z", kDropped, "not a generalized time"},
          {"20070520000061Z", kDropped, "not a generalized time"},
          {"20070520000000.Z", kDropped, "not a generalized time"},
          {"20070520000000+2400", kDropped, "not a generalized time"},
          {"20070520000000+02000", kDropped, "not a generalized time"},
          {"20070520000000+2", kDropped, "not a generalized time"},
          {"20070520000000ZZ", kDropped, "not a generalized time"},
          {"99991231230000-0100", kDropped, "not a generalized time"},  // past year 9999 in UTC
          {"00000101003000+0100", kDropped, "not a generalized time"},  // before year 0000
          {"2007-05-20", kDropped, "not a generalized time"},
          {"20070520000000x", kDropped, "not a generalized time"},
          {"", kDropped, "not a generalized time"},
      });
}

TEST(SyntaxCheck, DnsParseAsLdapv3) {
  ExpectChecks(kDn, {
                        {"cn=Ann,dc=example,dc=com", kFits},
                        {"cn=Smith\\, John+uid=js,o=Acme", kFits},
                        {"", kFits},
                        {"cn=J\xC3\xBCrgen,o=Acme", kFits},
                        {"cn=J\xFCrgen,o=Acme", kRepaired, "cn=J\xC3\xBCrgen,o=Acme"},
                        {"cn=Ann; o=Acme", kRepaired, "cn=Ann,o=Acme"},
                        {"cn=\"Smith, John\",o=Acme", kRepaired, "cn=Smith\\2C John,o=Acme"},
                        {"Smith, John", kDropped, "not a DN"},
                        {"cn=Ann,", kDropped, "not a DN"},
                        {"cn=#04034A6F65,o=Acme", kDropped, "DN value in BER"},
                        {"cn=Ann;o=#04034A6F65", kDropped, "DN value in BER"},
                        {"=Ann", kDropped, "not a DN"},
                        {std::string_view("cn=A\0nn", 7), kDropped, "not a DN"},
                    });
  const std::string tooLong = "cn=" + std::string(8190, 'a');
  EXPECT_EQ(CheckValue(kDn, tooLong).verdict, kDropped);
  EXPECT_EQ(CheckValue(kDn, tooLong.substr(0, 8192)).verdict, kFits);
}

TEST(SyntaxCheck, NameAndOptionalUidKeepsItsBitString) {
  ExpectChecks(kNameUid, {
                             {"cn=Ann,o=Acme", kFits},
                             {"cn=Ann,o=Acme#'0101'B", kFits},
                             {"", kFits},
                             {"cn=Ann;o=Acme#'01'B", kRepaired, "cn=Ann,o=Acme#'01'B"},
                             {"cn=Ann,o=Acme#'012'B", kFits},  // '#' inside a value is text
                             {"Ann#'01'B", kDropped, "not a DN"},
                         });
}

TEST(SyntaxCheck, DnValuesNameDefinedTypesWithValuesOfTheirSyntax) {
  const struct {
    std::string_view syntax;
    Case c;
  } rows[] = {
      {kDn, {"cn=Ann,dc=example,dc=com", kFits}},
      {kDn, {"2.5.4.3=Ann,C=de", kFits}},
      {kDn, {"cn=#04034A6F65,o=Acme", kDropped, "DN value in BER"}},
      {kDn, {"", kFits}},
      {kDn, {"cn=J\xFCrgen,o=Acme", kRepaired, "cn=J\xC3\xBCrgen,o=Acme"}},
      {kDn, {"cn=Ann; o=Acme", kRepaired, "cn=Ann,o=Acme"}},
      {kDn, {"cn=Ann,foo=Acme", kDropped, "DN names an unknown type"}},
      {kDn, {"cn=Ann+foo=x,o=Acme", kDropped, "DN names an unknown type"}},
      {kDn, {"cn=Ann,c=Germany", kDropped, "DN value outside its syntax"}},
      {kDn, {"cn=,o=Acme", kDropped, "DN value outside its syntax"}},
      {kDn, {"cn=Ann;foo=Acme", kDropped, "DN names an unknown type"}},
      {kDn, {"Smith, John", kDropped, "not a DN"}},
      {kNameUid, {"cn=Ann,o=Acme#'01'B", kFits}},
      {kNameUid, {"cn=Ann;o=Acme#'01'B", kRepaired, "cn=Ann,o=Acme#'01'B"}},
      {kNameUid, {"foo=Ann#'01'B", kDropped, "DN names an unknown type"}},
      {kDirectoryString, {"foo=Ann", kFits}},
  };
  for (const auto& [syntax, c] : rows) {
    const ValueCheck check = CheckValue(BuiltinSchema(), syntax, c.value);
    SCOPED_TRACE(testing::Message() << syntax << " \"" << c.value << "\"");
    EXPECT_EQ(check.verdict, c.verdict);
    EXPECT_EQ(c.verdict == kRepaired ? check.repaired : check.reason, c.result);
  }
}

// A type's values are checked by the syntax the schema worked out for it, its superior's
// where it names none (cn and givenName take name's).
TEST(SyntaxCheck, TypesCheckByTheirOwnOrInheritedSyntax) {
  const Schema& schema = BuiltinSchema();
  const struct {
    const char* type;
    Case c;
  } rows[] = {
      {"cn", {"", kDropped, "empty"}},
      {"givenName", {"J\xFCrgen", kRepaired, "J\xC3\xBCrgen"}},
      {"c", {"Germany", kDropped, "not a country code"}},
      {"telephoneNumber", {"+49 30 1234", kFits}},
      {"mail", {"j@b\u00FCcher.example", kRepaired, "j@xn--bcher-kva.example"}},
      {"member", {"cn=Ann,foo=Acme", kDropped, "DN names an unknown type"}},
      {"member", {"cn=Ann; o=Acme", kRepaired, "cn=Ann,o=Acme"}},
      {"uniqueMember", {"foo=Ann#'01'B", kDropped, "DN names an unknown type"}},
      {"uidNumber", {"007", kRepaired, "7"}},
      {"jpegPhoto", {"\xFF\xD8", kFits}},
  };
  for (const auto& [name, c] : rows) {
    const AttributeType* type = schema.FindAttribute(name);
    ASSERT_NE(type, nullptr) << name;
    const ValueCheck check = CheckValue(schema, *type, c.value);
    SCOPED_TRACE(testing::Message() << name << " \"" << c.value << "\"");
    EXPECT_EQ(check.verdict, c.verdict);
    EXPECT_EQ(c.verdict == kRepaired ? check.repaired : check.reason, c.result);
  }
  const struct {
    std::string_view oid;
    int number;
  } numbers[] = {
      {kDirectoryString, 15}, {kBitString, 6},  {"1.3.6.1.4.1.1466.115.121.1.", 0},
      {"1.3.6.1.4.1.1466.115.121.1.150", 0},    {"1.3.6.1.4.1.1466.115.121.1.1x", 0},
      {"1.3.6.1.4.1.1466.115.121.15", 0},       {"", 0},
  };
  for (const auto& [oid, number] : numbers) EXPECT_EQ(StandardSyntaxNumber(oid), number) << oid;
}

TEST(SyntaxCheck, UncheckedSyntaxesFitAndBinaryOnesAreKnown) {
  const std::string bytes("\x00\xFF\xD8\xFF", 4);
  for (std::string_view syntax :
       {"1.3.6.1.4.1.1466.115.121.1.40", "1.3.6.1.4.1.1466.115.121.1.28",
        "1.3.6.1.4.1.1466.115.121.1.8", "1.3.6.1.4.1.1466.115.121.1.5", "1.2.3.4",
        "1.3.6.1.4.1.1466.115.121.1.150", "1.3.6.1.4.1.1466.115.121.1.", ""}) {
    EXPECT_EQ(CheckValue(syntax, bytes).verdict, kFits) << syntax;
  }
  for (std::string_view syntax : {"1.3.6.1.4.1.1466.115.121.1.8", "1.3.6.1.4.1.1466.115.121.1.9",
                                  "1.3.6.1.4.1.1466.115.121.1.10", "1.3.6.1.4.1.1466.115.121.1.49",
                                  "1.3.6.1.4.1.1466.115.121.1.1", "1.2.840.113549.1.8.1.1"}) {
    EXPECT_TRUE(SyntaxNeedsBinary(syntax)) << syntax;
  }
  for (std::string_view syntax :
       {"1.3.6.1.4.1.1466.115.121.1.40", "1.3.6.1.4.1.1466.115.121.1.28",
        "1.3.6.1.4.1.1466.115.121.1.80", "1.3.6.1.4.1.1466.115.121.1.15"}) {
    EXPECT_FALSE(SyntaxNeedsBinary(syntax)) << syntax;
  }
}

}  // namespace
}  // namespace quorvane
