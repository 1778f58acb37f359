// Matching keys: which values and DNs the directory takes as one, rule by rule.
#include "schema/matching.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "schema/schema_sources.h"

namespace quorvane {
namespace {

struct Pair {
  const char* type;
  const char* a;
  const char* b;
  bool same;
};

std::string KeyOf(const char* typeName, std::string_view value) {
  const Schema& schema = BuiltinSchema();
  const AttributeType* type = schema.FindAttribute(typeName);
  EXPECT_TRUE(type != nullptr || std::string_view(typeName) == "unknownType") << typeName;
  std::string key = "stale";
  MatchKey(schema, type, value, key);
  return key;
}

void ExpectPairs(const std::vector<Pair>& pairs) {
  for (const Pair& p : pairs) {
    EXPECT_EQ(KeyOf(p.type, p.a) == KeyOf(p.type, p.b), p.same)
        << p.type << ": \"" << p.a << "\" and \"" << p.b << "\"";
  }
}

struct RuleCase {
  const char* name;
  EqualityRule rule;
};

// Every rule by name in letter cases as schemas write them, and by OID.
constexpr RuleCase kRuleCases[] = {
    {"caseIgnoreMatch", EqualityRule::kIgnoreCase},
    {"2.5.13.2", EqualityRule::kIgnoreCase},
    {"caseexactmatch", EqualityRule::kExact},
    {"2.5.13.5", EqualityRule::kExact},
    {"caseIgnoreListMatch", EqualityRule::kIgnoreList},
    {"2.5.13.11", EqualityRule::kIgnoreList},
    {"caseExactListMatch", EqualityRule::kExactList},
    {"1.3.6.1.4.1.4203.666.4.11", EqualityRule::kExactList},
    {"caseIgnoreIA5Match", EqualityRule::kIgnoreIA5},
    {"1.3.6.1.4.1.1466.109.114.2", EqualityRule::kIgnoreIA5},
    {"CASEEXACTIA5MATCH", EqualityRule::kExactIA5},
    {"1.3.6.1.4.1.1466.109.114.1", EqualityRule::kExactIA5},
    {"telephoneNumberMatch", EqualityRule::kTelephone},
    {"numericStringMatch", EqualityRule::kNumeric},
    {"2.5.13.8", EqualityRule::kNumeric},
    {"objectIdentifierMatch", EqualityRule::kOid},
    {"2.5.13.0", EqualityRule::kOid},
    {"distinguishedNameMatch", EqualityRule::kDN},
    {"2.5.13.1", EqualityRule::kDN},
    {"uniqueMemberMatch", EqualityRule::kUniqueMember},
    {"2.5.13.23", EqualityRule::kUniqueMember},
    {"integerMatch", EqualityRule::kInteger},
    {"2.5.13.14", EqualityRule::kInteger},
    {"generalizedTimeMatch", EqualityRule::kTime},
    {"2.5.13.27", EqualityRule::kTime},
    {"booleanMatch", EqualityRule::kBytes},
    {"octetStringMatch", EqualityRule::kBytes},
    {"", EqualityRule::kBytes},
    {"2.5.13.2.1", EqualityRule::kBytes},
    {"caseIgnoreMatc", EqualityRule::kBytes},
};

TEST(MatchKey, CaseIgnoreFoldsEachLetterAsUnicode32SimpleMapping) {
  ExpectPairs({
      {"cn", "John Doe", "JOHN DOE", true},
      {"commonName", "M\u00FCller", "M\u00DCLLER", true},
      {"sn", "\u042E\u0440\u0438\u0439", "\u044E\u0420\u0418\u0419", true},  // Cyrillic
      {"cn", "\u00C9mile", "\u00E9mile", true},
      // ß has no simple upper-case form; ẞ came after Unicode 3.2 and so stays itself.
      {"cn", "Stra\u00DFe", "STRASSE", false},
      {"cn", "Stra\u00DFe", "STRA\u1E9EE", false},
      {"cn", "STRASSE", "strasse", true},
      // Each sigma on its own: capital sigma is σ, never the final ς.
      {"cn", "\u039F\u0394\u039F\u03A3", "\u03BF\u03B4\u03BF\u03C3", true},
      {"cn", "\u039F\u0394\u039F\u03A3", "\u03BF\u03B4\u03BF\u03C2", false},
      // Turkish: İ lower-cases to a plain i; dotless ı is a letter of its own.
      {"cn", "\u0130stanbul", "istanbul", true},
      {"cn", "ISTANBUL", "\u0131stanbul", false},
      {"cn", "\u01C5ivko", "\u01C6ivko", true},          // title case ǅ
      {"cn", "\u2C00", "\u2C30", false},                 // Glagolitic: after Unicode 3.2
      {"cn", "\u10A0", "\u2D00", false},                 // Georgian pair made in Unicode 4.1
      {"cn", "\U0001D400", "a", false},                  // lower-cased before NFKC makes it 'A'
      {"cn", "\U0001D400", "\U0001D400", true},
  });
}

TEST(MatchKey, CaseIgnoreNormalisesToNfkcOfUnicode32) {
  ExpectPairs({
      {"cn", "Mu\u0308ller", "M\u00FCller", true},       // decomposed and composed
      {"cn", "MU\u0308LLER", "m\u00FCller", true},
      {"cn", "\uFB01sh", "FISH", true},                  // the ligature ﬁ
      {"cn", "\uFF2A\uFF4F\uFF48\uFF4E", "john", true},  // full-width letters
      {"cn", "\u212B", "\u00E5", true},                  // Angstrom sign
      {"cn", "e\u0301", "e", false},
      {"description", "\u1E9B\u0323", "\u1E69", true},   // long s with dots: NFKC, then no fold
  });
}

TEST(MatchKey, SpacesSettleLikeTheDirectory) {
  ExpectPairs({
      {"cn", "John  Doe", "John Doe", true},
      {"cn", "  John Doe   ", "john doe", true},
      {"cn", "John\u00A0Doe", "John Doe", true},         // no-break space: NFKC makes it one
      {"cn", "John\u3000\u3000Doe", "John Doe", true},   // ideographic spaces
      {"cn", "John\tDoe", "John Doe", false},            // a TAB is no space here
      {"cn", "John\t\tDoe", "John\tDoe", false},
      {"cn", "JohnDoe", "John Doe", false},
      {"cn", "   ", " ", true},
      {"labeledURI", "http://a.example/  x", "http://a.example/ x", true},
  });
}

TEST(MatchKey, ExactAndIA5AndListRules) {
  ExpectPairs({
      {"labeledURI", "http://A.example/", "http://a.example/", false},  // caseExactMatch
      {"labeledURI", "http://a.example/\u212B", "http://a.example/\u00C5", true},
      {"mail", "J.Doe@Example.ORG", "j.doe@example.org", true},          // caseIgnoreIA5Match
      {"mail", " j.doe@example.org ", "j.doe@example.org", true},
      {"memberUid", "JDoe", "jdoe", false},                              // caseExactIA5Match
      {"memberUid", "jdoe  x", "jdoe x", true},
      {"postalAddress", "1 Elm  Street$Springfield", "1 ELM STREET $ springfield", true},
      {"postalAddress", "1 Elm Street$Springfield", "1 Elm Street Springfield", false},
      {"postalAddress", "M\u00FCllerstra\u00DFe$$Wien", "MU\u0308LLERSTRA\u00DFE$$wien", true},
  });
}

TEST(MatchKey, NumbersAndTimesLoseOnlyWhatTheirRuleDrops) {
  ExpectPairs({
      {"telephoneNumber", "+49 30 1234-567", "+49301234567", true},
      {"homePhone", "+1 (555) 123-4567", "+1(555)1234567", true},
      {"mobile", "+1.555.123.4567", "+15551234567", false},  // dots stay
      {"telephoneNumber", "+49\t30", "+4930", false},
      {"x121Address", "123 456", "123456", true},            // numericStringMatch
      {"x121Address", "123-456", "123456", false},
      {"uidNumber", "007", "7", true},                       // integerMatch
      {"uidNumber", "-0", "0", true},
      {"uidNumber", "-7", "7", false},
      // generalizedTimeMatch: UTC, missing minutes and seconds as zeros, the fraction trimmed.
      {"createTimestamp", "20240301123000Z", "202403011230Z", true},
      {"createTimestamp", "20240301123000Z", "2024030113+0030", true},
      {"createTimestamp", "20240229233000Z", "20240301013000+0200", true},
      {"createTimestamp", "20240301000000Z", "20240229190000-0500", true},
      {"createTimestamp", "20240301123000.500Z", "20240301123000,5Z", true},
      {"createTimestamp", "20240301123000.0Z", "20240301123000Z", true},
      {"createTimestamp", "20240301123000Z", "20240301123001Z", false},
      {"createTimestamp", "20230229120000Z", "20230229120000Z", true},  // no date: bytes
      {"createTimestamp", "20230229120000Z", "20230301120000Z", false},
  });
}

TEST(MatchKey, ObjectClassesByOidAndBytesWhereNoRule) {
  ExpectPairs({
      {"objectClass", "person", "PERSON", true},
      {"objectClass", "person", "2.5.6.6", true},
      {"objectClass", "person", "organizationalPerson", false},
      {"objectClass", "noSuchClass", "NOSUCHCLASS", true},
      {"userPassword", "Secret", "secret", false},            // octetStringMatch
      {"userPassword", "secret ", "secret", false},
      {"jpegPhoto", "\xFF\xD8", "\xFF\xD8", true},            // no equality rule: bytes
      {"facsimileTelephoneNumber", "+1 555", "+1555", false},
      {"unknownType", "Value", "value", false},
  });
}

TEST(MatchKey, DNsCompareAsTheDirectoryNormalisesThem) {
  ExpectPairs({
      {"member", "cn=John Doe,dc=example,dc=com", "CN=JOHN DOE, DC=Example, DC=COM", true},
      {"member", "cn=John Doe,dc=example,dc=com", "commonName=john  doe,dc=example,dc=com",
       true},
      {"member", "cn=John Doe,dc=example,dc=com", "2.5.4.3=John Doe,dc=example,dc=com", true},
      {"member", "cn=Doe\\, John+mail=J@X.org,dc=x", "mail=j@x.org+cn=doe\\, john,dc=x", true},
      {"member", "cn=Doe\\, John,dc=x", "cn=Doe\\2C John,dc=x", true},
      {"member", "cn=Doe\\, John,dc=x", "cn=Doe,cn=John,dc=x", false},
      {"seeAlso", "cn=M\\C3\\BCller,dc=x", "cn=M\u00DCLLER,dc=x", true},
      {"manager", "cn=Stra\u00DFe,dc=x", "cn=STRASSE,dc=x", false},
      {"member", "cn=a+sn=b,dc=x", "cn=a,sn=b,dc=x", false},
      {"member", "cn=a=b", "cn=a\\=b", true},
      {"member", "not a DN", "NOT A DN", false},              // no DN: bytes
      {"uniqueMember", "cn=A,dc=x#'0101'B", "CN=a,DC=X#'0101'B", true},
      {"uniqueMember", "cn=A,dc=x#'0101'B", "cn=A,dc=x#'0110'B", false},
      {"uniqueMember", "cn=A,dc=x", "cn=A,dc=x#'0101'B", false},
  });
}

TEST(DNMatchKey, TellsWhetherTheTextWasADN) {
  const Schema& schema = BuiltinSchema();
  std::string key = "stale";
  EXPECT_TRUE(DNMatchKey(schema, "cn=A\\2C B+mail=a@b", key));
  std::string other;
  EXPECT_TRUE(DNMatchKey(schema, "MAIL=A@B+CN=a\\, b", other));
  EXPECT_EQ(key, other);
  EXPECT_TRUE(DNMatchKey(schema, "", key));  // the root: no RDN at all
  EXPECT_FALSE(DNMatchKey(schema, "cn=a,=b", key));
  EXPECT_EQ(key, "cn=a,=b");
  // A value holding the bytes that end values and RDNs in a key stays apart from others.
  EXPECT_TRUE(DNMatchKey(schema, "cn=a\\00,cn=b", key));
  EXPECT_TRUE(DNMatchKey(schema, "cn=a,cn=b", other));
  EXPECT_NE(key, other);
  EXPECT_TRUE(DNMatchKey(schema, "cn=a\\00+sn=b", key));
  EXPECT_NE(key, other);
}

// The parts of a multi-valued RDN in every order are one RDN, whatever the other RDNs hold;
// a part more, a part less or a part of another value is not. Types one of whose names or
// OIDs begins another's, a type given twice, a value that is a prefix of another's and values
// holding the bytes that end parts in a key are all among them.
TEST(DNMatchKey, PartsOfAnRdnInAnyOrder) {
  const Schema& schema = BuiltinSchema();
  const std::vector<std::vector<std::string>> rdns = {
      {"cn=Ann", "mail=ann@x.org", "sn=Lee"},
      {"a=1", "ab=1", "a=12", "x-y=\\00"},
      {"cn=a", "cn=A\\00b", "cn=a\\01", "2.5.4.35=#0401"},
      {"cn=Doe\\, Jo", "seeAlso=cn\\=a\\+sn\\=b\\,dc\\=x", "userPassword=#0400"},
  };
  for (const std::vector<std::string>& parts : rdns) {
    std::vector<std::size_t> order(parts.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    const auto join = [&parts](const std::vector<std::size_t>& taken) {
      std::string rdn;
      for (const std::size_t i : taken) rdn.append(rdn.empty() ? "" : "+").append(parts[i]);
      return rdn;
    };
    std::string first;
    ASSERT_TRUE(DNMatchKey(schema, "cn=b+sn=c," + join(order) + ",dc=x", first)) << join(order);
    std::string key;
    do {
      ASSERT_TRUE(DNMatchKey(schema, "SN=C+CN=B," + join(order) + ",DC=X", key)) << join(order);
      EXPECT_EQ(key, first) << join(order);
    } while (std::next_permutation(order.begin(), order.end()));
    // Without its last part, or with one part given twice, the RDN is another.
    order.pop_back();
    ASSERT_TRUE(DNMatchKey(schema, "cn=b+sn=c," + join(order) + ",dc=x", key));
    EXPECT_NE(key, first) << join(order);
    order.push_back(0);
    ASSERT_TRUE(DNMatchKey(schema, "cn=b+sn=c," + join(order) + ",dc=x", key));
    EXPECT_NE(key, first) << join(order);
  }
  std::string key;
  std::string other;
  ASSERT_TRUE(DNMatchKey(schema, "a=1+ab=1", key));
  ASSERT_TRUE(DNMatchKey(schema, "a=1ab+b=1", other));
  EXPECT_NE(key, other);
  ASSERT_TRUE(DNMatchKey(schema, "cn=a+cn=b", key));
  ASSERT_TRUE(DNMatchKey(schema, "cn=a,cn=b", other));
  EXPECT_NE(key, other);
}

// `ascii` with every printable character but '$' in its full-width form (U+FF01-U+FF5E) and
// every space an ideographic space (U+3000): text that NFKC turns back into `ascii`, but that
// is no longer ASCII, so its key is made through ICU.
std::string FullWidth(std::string_view ascii) {
  std::string wide;
  for (const char c : ascii) {
    if (c == ' ') {
      wide += "\u3000";
    } else if (c > ' ' && c < 0x7F && c != '$') {
      const char32_t code = U'\uFF01' + static_cast<char32_t>(c - '!');
      wide += static_cast<char>(0xE0 | (code >> 12));
      wide += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      wide += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      wide += c;
    }
  }
  return wide;
}

// Every rule that prepares directory strings, on one type each.
Schema StringRulesSchema() {
  Schema schema;
  std::vector<SchemaProblem> problems;
  int oid = 1;
  for (const char* rule : {"caseIgnoreMatch", "caseExactMatch", "caseIgnoreListMatch",
                           "caseExactListMatch"}) {
    schema.AddAttributeType("( 1.2.3." + std::to_string(oid++) + " NAME '" + rule +
                                "Type' EQUALITY " + rule +
                                " SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )",
                            "test", 1, problems);
  }
  schema.Resolve(problems);
  EXPECT_TRUE(problems.empty()) << problems.front().message;
  return schema;
}

// ASCII values take a path of their own, without ICU; it must give the very key ICU gives.
TEST(MatchKey, AsciiPathGivesTheKeyOfTheUnicodePath) {
  const Schema schema = StringRulesSchema();
  const char* values[] = {"John Doe",        "  John   Doe  ", "JOHN doe",   "MiXeD CaSe 42",
                          "\tTab\t and  tab", "a\t\tb",         "   ",        "x",
                          "Doe, John",       "1 Elm  St$$ Springfield ", "$  $", "A~{|}!@",
                          "trailing \t ",    "\x01 ctrl"};
  for (const AttributeType& type : schema.Attributes()) {
    for (const char* value : values) {
      std::string ascii;
      std::string wide;
      MatchKey(schema, &type, value, ascii);
      MatchKey(schema, &type, FullWidth(value), wide);
      EXPECT_EQ(ascii, wide) << type.Name() << ": \"" << value << "\"";
    }
  }
}

// The key after a prefix is the key alone after that prefix, for every rule: value keys are
// made behind the attribute's name.
TEST(MatchKey, AppendedKeyFollowsThePrefix) {
  const Schema& schema = BuiltinSchema();
  const struct {
    const char* type;
    const char* value;
  } cases[] = {
      {"cn", "  Doe  John "},        {"cn", "   "},
      {"cn", "M\u00DCller"},          {"cn", "bad \xFF byte"},
      {"labeledURI", "http://A/ x"}, {"mail", "  "},
      {"postalAddress", "$ a $"},   {"telephoneNumber", " - "},
      {"x121Address", "  "},         {"objectClass", "Person"},
      {"member", "cn=A,dc=x"},       {"member", "not a DN"},
      {"uniqueMember", "cn=A#'01'B"}, {"uniqueMember", "=#'01'B"},
      {"uidNumber", "007"},          {"createTimestamp", "2024030112Z"},
      {"createTimestamp", "2024"},   {"jpegPhoto", "\xFF\xD8"},
      {"cn", " \uFF2A\uFF4F  D\u00F6e\u3000"}, {"labeledURI", " x\u212B  y "},
      {"labeledURI", "bad \xFF"},    {"cn", "\u00C5  \u00C5"},
  };
  for (const auto& c : cases) {
    const AttributeType* type = schema.FindAttribute(c.type);
    ASSERT_NE(type, nullptr) << c.type;
    std::string alone;
    MatchKey(schema, type, c.value, alone);
    std::string appended = "cn:";
    AppendMatchKey(schema, type, c.value, appended);
    EXPECT_EQ(appended, "cn:" + alone) << c.type << ": \"" << c.value << "\"";
  }
}

// The rule is worked out once, when a type is added or inherits its rule, from the rule's name
// in any letter case or its OID.
TEST(MatchKey, RulesFollowNamesOidsAndSuperiors) {
  Schema schema;
  std::vector<SchemaProblem> problems;
  // The subtype comes first, so its superior is added after it.
  schema.AddAttributeType("( 1.2.3.1 NAME 'nick' SUP base )", "test", 1, problems);
  schema.AddAttributeType("( 1.2.3.2 NAME 'base' EQUALITY CASEIGNOREMATCH "
                          "SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )",
                          "test", 2, problems);
  schema.AddAttributeType("( 1.2.3.3 NAME 'phone' EQUALITY 2.5.13.20 "
                          "SYNTAX 1.3.6.1.4.1.1466.115.121.1.50 )",
                          "test", 3, problems);
  schema.AddAttributeType("( 1.2.3.4 NAME 'blob' EQUALITY octetStringMatch "
                          "SYNTAX 1.3.6.1.4.1.1466.115.121.1.40 )",
                          "test", 4, problems);
  schema.Resolve(problems);
  ASSERT_TRUE(problems.empty()) << problems.front().message;
  const struct {
    const char* type;
    EqualityRule rule;
    int syntax;
  } cases[] = {
      {"nick", EqualityRule::kIgnoreCase, 15},
      {"base", EqualityRule::kIgnoreCase, 15},
      {"phone", EqualityRule::kTelephone, 50},
      {"blob", EqualityRule::kBytes, 40},
  };
  for (const auto& c : cases) {
    const AttributeType* type = schema.FindAttribute(c.type);
    ASSERT_NE(type, nullptr) << c.type;
    EXPECT_EQ(type->equalityRule, c.rule) << c.type;
    EXPECT_EQ(type->syntaxNumber, c.syntax) << c.type;
  }
  std::string a;
  std::string b;
  MatchKey(schema, schema.FindAttribute("nick"), "Bo  Doe", a);
  MatchKey(schema, schema.FindAttribute("nick"), "bo doe", b);
  EXPECT_EQ(a, b);
  for (const RuleCase& c : kRuleCases) {
    EXPECT_EQ(EqualityRuleNamed(c.name), c.rule) << c.name;
  }
}

// A DN whose RDN holds a DN-valued type: its value is a DN of its own, prepared part by part,
// and an empty one is the root DN.
TEST(DNMatchKey, ValuesThatAreDNsThemselves) {
  ExpectPairs({
      {"member", "seeAlso=cn\\=A\\,dc\\=x", "seeAlso=CN\\=a\\, DC\\=X", true},
      {"member", "seeAlso=cn\\=A\\,dc\\=x+cn=B", "CN=b+seeAlso=cn\\=a\\,dc\\=x", true},
      {"member", "seeAlso=cn\\=A\\,dc\\=x", "seeAlso=cn\\=B\\,dc\\=x", false},
      {"member", "cn=a+seeAlso=", "SEEALSO=+CN=A", true},
      {"member", "cn=a+seeAlso=", "cn=a+seeAlso=cn\\=b", false},
      {"seeAlso", "cn=a+seeAlso=", "cn=A+seeAlso=\"\"", true},
      {"uniqueMember", "cn=a+seeAlso=cn\\=b#'01'B", "SEEALSO=CN\\=B+CN=A#'01'B", true},
  });
  std::string key;
  EXPECT_TRUE(DNMatchKey(BuiltinSchema(), "seeAlso=", key));
}

}  // namespace
}  // namespace quorvane
