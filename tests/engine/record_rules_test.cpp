// What a whole run makes of records that lack something a directory needs (an object class, a
// DN, a name) or carry something it refuses (a DN without "=", empty DN parts, a DN under
// another program's suffix, repeated values, empty Base64 values), with the messages and counts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/record_shape.h"
#include "engine/repair_run.h"
#include "engine/text_lines.h"

namespace quorvane {
namespace {

constexpr std::string_view kBase = "dc=contacts,dc=test";

// Always the same number: a made-unique DN gains "0" (first attempt) and "57".
class FixedRandom : public RandomSource {
 public:
  int Next() override { return 57; }
};

// Error messages as "line: text", in the order the run reports them.
class ErrorLog : public Log {
 public:
  void Write(std::string_view text, int level, std::size_t line) override {
    if (level > 0) errors.push_back(std::to_string(line) + ": " + std::string(text));
  }
  std::vector<std::string> errors;
};

struct Outcome {
  std::string output;  // one "\n" after every line
  std::vector<std::string> errors;
  std::vector<std::string> keys;
};

Outcome RunBook(std::string_view input, const TransformMap& map = {},
                std::string_view base = kBase) {
  UsedDNs usedDNs;
  FixedRandom random;
  ErrorLog log;
  Outcome outcome;
  for (const std::string& line :
       RunRepair(SplitTextLines(input), base, map, usedDNs, random, &log)) {
    outcome.output.append(line).append("\n");
  }
  outcome.errors = std::move(log.errors);
  for (std::size_t i = 0; i < usedDNs.size(); ++i) outcome.keys.emplace_back(usedDNs[i]);
  return outcome;
}

void ExpectRepair(std::string_view input, std::string_view expected, const TransformMap& map = {},
                  std::string_view base = kBase) {
  EXPECT_EQ(RunBook(input, map, base).output, expected) << "input:\n" << input;
}

struct Case {
  const char* name;
  const char* input;
  const char* output;
};

template <std::size_t N>
void ExpectCases(const Case (&cases)[N], const TransformMap& map = {}) {
  for (const Case& c : cases) EXPECT_EQ(RunBook(c.input, map).output, c.output) << c.name;
}

using Errors = std::vector<std::string>;

// ---- Object classes ---------------------------------------------------------------------

TEST(RecordRules, RecordWithoutObjectClassGetsOneByItsMembers) {
  const Case cases[] = {
      {"Person", "dn: cn=A\ncn: A\n",
       "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: A\nsn: A\n\n"},
      {"ListOfNames", "dn: cn=L\nmember: cn=M\n",
       "dn: cn=L,dc=contacts,dc=test\nobjectclass: groupOfNames\nmember: cn=M,dc=contacts,dc=test\n"
       "cn: L\n\n"},
      {"ListOfUniqueNames", "dn: cn=L\nuniqueMember: cn=M\n",
       "dn: cn=L,dc=contacts,dc=test\nobjectclass: groupOfUniqueNames\n"
       "uniqueMember: cn=M,dc=contacts,dc=test\ncn: L\n\n"},
      {"Base64MemberIsAMember", "dn: cn=L\nmember:: Y249TQ==\n",
       "dn: cn=L,dc=contacts,dc=test\nobjectclass: groupOfNames\nmember: cn=M,dc=contacts,dc=test\n"
       "cn: L\n\n"},
      {"AddedAfterALateDnLine", "cn: A\ndn: cn=A\n",
       "cn: A\ndn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: A\n\n"},
  };
  ExpectCases(cases);
}

TEST(RecordRules, GenericClassesGoOnlyWhereAnotherClassRemains) {
  const std::string first = "dn: cn=F\nobjectclass: inetOrgPerson\ncn: F\n\n";
  const std::string firstOut =
      "dn: cn=F,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: F\nsn: F\n\n";
  const std::string later = "dn: cn=A\nobjectclass: top\nobjectclass: person\ncn: A\n";
  // Without a profile top and person are all the record has: both stay, and a person has sn.
  ExpectRepair(first + later, firstOut +
                                  "dn: cn=A,dc=contacts,dc=test\nobjectclass: top\n"
                                  "objectclass: person\ncn: A\nsn: A\n\n");
  // With person mapped to inetOrgPerson, another class remains: top goes.
  TransformMap map;
  map.Add("objectclass: person", "objectclass: inetOrgPerson");
  ExpectRepair(
      first + later,
      firstOut + "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: A\nsn: A\n\n", map);
  // The first record keeps its generic classes, as before.
  ExpectRepair(
      later + "\n" + first,
      "dn: cn=A,dc=contacts,dc=test\nobjectclass: top\nobjectclass: person\ncn: A\nsn: A\n\n" +
          firstOut);
}

TEST(RecordRules, ProfileCannotTakeTheLastClass) {
  // A profile that drops the record's only class: the record gets inetOrgPerson, and that added
  // line is not handed to the profile (which would drop it too).
  TransformMap map;
  map.Add("objectclass: mozillaAbPersonAlpha", "/ignore/");
  map.Add("objectclass: inetOrgPerson", "/ignore/");
  ExpectRepair("dn: cn=A\nobjectclass: mozillaAbPersonAlpha\ncn: A\n",
               "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: A\nsn: A\n\n", map);
}

// ---- Which records gain sn: and cn: ------------------------------------------------------

TEST(RecordRules, OnlyPersonsGainSnAndOnlyPersonsAndListsGainCn) {
  const Case cases[] = {
      {"Organization", "dn: o=Acme\nobjectclass: organization\n",
       "dn: o=Acme,dc=contacts,dc=test\nobjectclass: organization\n\n"},
      {"Unit", "dn: ou=Sales\nobjectclass: organizationalUnit\n",
       "dn: ou=Sales,dc=contacts,dc=test\nobjectclass: organizationalUnit\n\n"},
      {"Domain", "dn: dc=x\nobjectclass: domain\nobjectclass: dcObject\n",
       "dn: dc=x,dc=contacts,dc=test\nobjectclass: domain\nobjectclass: dcObject\n\n"},
      {"ResidentialPerson", "dn: cn=R\nobjectclass: residentialPerson\n",
       "dn: cn=R,dc=contacts,dc=test\nobjectclass: residentialPerson\nsn: R\ncn: R\n\n"},
      {"AddressBookPersonClass", "dn: cn=M\nobjectclass: mozillaAbPersonAlpha\n",
       "dn: cn=M,dc=contacts,dc=test\nobjectclass: mozillaAbPersonAlpha\nsn: M\ncn: M\n\n"},
      {"ClassInOtherLetterCase", "dn: cn=P\nobjectClass: INETORGPERSON\n",
       "dn: cn=P,dc=contacts,dc=test\nobjectClass: INETORGPERSON\nsn: P\ncn: P\n\n"},
      {"ListGainsCnOnly", "dn: cn=L\nobjectclass: groupOfNames\nmember: cn=M\n",
       "dn: cn=L,dc=contacts,dc=test\nobjectclass: groupOfNames\nmember: cn=M,dc=contacts,dc=test\n"
       "cn: L\n\n"},
  };
  ExpectCases(cases);
}

// ---- DNs without "=" ---------------------------------------------------------------------

TEST(RecordRules, DnWithoutEqualsSignIsTheCommonName) {
  const Case cases[] = {
      {"BareName", "dn: Al/M\nobjectclass: inetOrgPerson\n",
       "dn: cn=Al/M,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: Al/M\ncn: Al/M\n\n"},
      {"EscapedAsAnyDn", "dn: Doe, John\nobjectclass: inetOrgPerson\n",
       "dn: cn=Doe\\, John,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: Doe, John\n"
       "cn: Doe, John\n\n"},
      {"LeadingColon", "dn: :x\nobjectclass: inetOrgPerson\n",
       "dn: cn=:x,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn:: Ong=\ncn:: Ong=\n\n"},
      {"Base64", "dn:: QWwvTQ==\nobjectclass: inetOrgPerson\n",
       "dn: cn=Al/M,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: Al/M\ncn: Al/M\n\n"},
      {"EscapedEqualsIsNoEqualsSign", "dn: a\\=b\nobjectclass: inetOrgPerson\n",
       "dn: cn=a\\5C=b,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: a\\=b\ncn: a\\=b\n\n"},
      {"Member", "dn: cn=L\nobjectclass: groupOfNames\nmember: Bob\n",
       "dn: cn=L,dc=contacts,dc=test\nobjectclass: groupOfNames\nmember: "
       "cn=Bob,dc=contacts,dc=test\n"
       "cn: L\n\n"},
  };
  ExpectCases(cases);
}

TEST(RecordRules, NamesNeverComeFromTheBaseDn) {
  // The base DN's own first value ("x") must not become the record's name.
  ExpectRepair("dn: Al\nobjectclass: inetOrgPerson\n",
               "dn: cn=Al,dc=x\nobjectclass: inetOrgPerson\nsn: Al\ncn: Al\n\n", {}, "dc=x");
}

TEST(RecordRules, FirstRdnWithoutEqualsSignIsTheCommonName) {
  // The names come from the record's own first RDN, never from the rest of its DN.
  const Outcome underBase = RunBook("dn: Doe,dc=x\nobjectclass: inetOrgPerson\n", {}, "dc=x");
  EXPECT_EQ(underBase.output, "dn: cn=Doe,dc=x\nobjectclass: inetOrgPerson\nsn: Doe\ncn: Doe\n\n");
  EXPECT_EQ(underBase.errors, (Errors{"1: 005: DN without \"=\" taken as a name: cn=Doe,dc=x"}));
  const Outcome elsewhere = RunBook("dn: Doe,dc=x\nobjectclass: inetOrgPerson\n");
  EXPECT_EQ(elsewhere.output,
            "dn: cn=Doe,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: Doe\ncn: Doe\n\n");
  EXPECT_EQ(elsewhere.errors,
            (Errors{"1: 005: DN without \"=\" taken as a name: cn=Doe,dc=x",
                    "1: 007: DNs under \"dc=x\" now lie directly under the base DN"}));
}

TEST(RecordRules, MessagesQuoteLineBreaksAsTheOutputWritesThem) {
  const Outcome outcome = RunBook(
      "dn:: QWwNCkI=\nobjectclass: inetOrgPerson\n\n"         // "Al\r\nB"
      "objectclass: inetOrgPerson\ncn:: QQpC\n\n"               // "A\nB"
      "dn:: Y249SixvdT1hCmIsZGM9eA==\nobjectclass: inetOrgPerson\n");  // "cn=J,ou=a\nb,dc=x"
  EXPECT_EQ(outcome.errors,
            (Errors{"1: 005: DN without \"=\" taken as a name: cn=Al\\0D\\0AB",
                    "4: 006: record without a DN named from its cn/mail: cn=A\\0AB",
                    "7: 007: DNs under \"ou=a\\0Ab,dc=x\" now lie directly under the base DN"}));
}

TEST(RecordRules, DnTakenAsNameIsReportedAndMadeUnique) {
  const Outcome outcome = RunBook(
      "dn: Al\nobjectclass: inetOrgPerson\n\n"
      "dn: cn=Al\nobjectclass: inetOrgPerson\n");
  EXPECT_EQ(outcome.errors, (Errors{"1: 005: DN without \"=\" taken as a name: cn=Al"}));
  EXPECT_EQ(outcome.keys, (std::vector<std::string>{"dn: cn=Al", "dn: cn=Al057"}));
}

// ---- Empty DN components -----------------------------------------------------------------

TEST(RecordRules, EmptyDnComponentsAreLeftOut) {
  const Case cases[] = {
      {"EmptyName", "dn: cn=,mail=x@y\nobjectclass: inetOrgPerson\n",
       "dn: mail=x@y,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: x@y\ncn: x@y\n\n"},
      {"EmptyMail", "dn: cn=test,mail=\nobjectclass: inetOrgPerson\n",
       "dn: cn=test,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: test\ncn: test\n\n"},
      {"EmptyAfterPlus", "dn: cn=A+uid=\nobjectclass: inetOrgPerson\n",
       "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: A\ncn: A\n\n"},
      {"BlankValue", "dn: cn= ,mail=x@y\nobjectclass: inetOrgPerson\n",
       "dn: mail=x@y,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: x@y\ncn: x@y\n\n"},
      {"EscapedCommaIsNoSeparator", "dn: cn=a\\,b=\nobjectclass: inetOrgPerson\n",
       "dn: cn=a\\5C\\,b=,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: a\\,b=\n"
       "cn: a\\,b=\n\n"},
  };
  ExpectCases(cases);
}

TEST(RecordRules, DnOfEmptyComponentsOnlyIsAnEmptyDn) {
  const char* const inputs[] = {
      "dn: cn=\nobjectclass: inetOrgPerson\nmail: a@b\n",
      "dn: cn=,mail=\nobjectclass: inetOrgPerson\nmail: a@b\n",
      "dn: cn=,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nmail: a@b\n",  // only the base
  };
  for (const char* input : inputs) {
    const Outcome outcome = RunBook(input);
    EXPECT_EQ(outcome.output, "dn:\nobjectclass: inetOrgPerson\nmail: a@b\n\n") << input;
    EXPECT_EQ(outcome.errors, (Errors{"1: 002: record has an empty DN; no directory accepts it"}))
        << input;
    EXPECT_TRUE(outcome.keys.empty()) << input;
  }
}

// ---- Records without a dn: line ----------------------------------------------------------

TEST(RecordRules, RecordWithoutDnIsNamedAsItsAddressBookWould) {
  const Case cases[] = {
      {"NameAndMail", "objectclass: inetOrgPerson\ncn: Doe, John\nmail: j@x\n",
       "dn: cn=Doe\\, John+mail=j@x,dc=contacts,dc=test\nobjectclass: inetOrgPerson\n"
       "cn: Doe, John\nmail: j@x\nsn: Doe, John\n\n"},
      {"NameOnly", "objectclass: inetOrgPerson\ncn: Joe\n",
       "dn: cn=Joe,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: Joe\nsn: Joe\n\n"},
      {"MailOnly", "objectclass: inetOrgPerson\nmail: j@x\n",
       "dn: mail=j@x,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nmail: j@x\nsn: j@x\n"
       "cn: j@x\n\n"},
      {"FirstNonEmptyValues",
       "objectclass: inetOrgPerson\ncn:\ncn: Joe\nmail:\nmail: j@x\nmail: k@x\n",
       "dn: cn=Joe+mail=j@x,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: Joe\nmail: j@x\n"
       "mail: k@x\nsn: Joe\n\n"},
      {"Base64Name", "objectclass: inetOrgPerson\ncn:: Sm9zw6k=\n",
       "dn: cn=Jos\\C3\\A9,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn:: Sm9zw6k=\n"
       "sn:: Sm9zw6k=\n\n"},
      {"UnderTheBaseAlready", "objectclass: inetOrgPerson\ncn: Joe,dc=contacts,dc=test\n",
       "dn: cn=Joe,dc=contacts,dc=test\nobjectclass: inetOrgPerson\n"
       "cn: Joe,dc=contacts,dc=test\nsn: Joe,dc=contacts,dc=test\n\n"},
      {"NeitherNameNorMail", "objectclass: inetOrgPerson\nsn: Roe\n",
       "objectclass: inetOrgPerson\nsn: Roe\ncn: Roe\n\n"},
  };
  ExpectCases(cases);
}

TEST(RecordRules, NamedRecordsAreReportedAndMadeUnique) {
  const Outcome outcome = RunBook(
      "objectclass: inetOrgPerson\nmail: a@x\n\n"
      "objectclass: inetOrgPerson\nmail: a@x\n\n"
      "objectclass: inetOrgPerson\ncn: B\nmail: b@x\n");
  EXPECT_EQ(outcome.errors,
            (Errors{"1: 006: record without a DN named from its cn/mail: mail=a@x",
                    "4: 006: record without a DN named from its cn/mail: mail=a@x",
                    "7: 006: record without a DN named from its cn/mail: cn=B,mail=b@x"}));
  EXPECT_EQ(outcome.keys, (std::vector<std::string>{"dn: mail=a@x", "dn: cn=a@x057+mail=a@x",
                                                    "dn: cn=B+mail=b@x"}));
  EXPECT_NE(outcome.output.find("\n\ndn: cn=a@x057+mail=a@x,dc=contacts,dc=test\n"),
            std::string::npos)
      << outcome.output;
}

TEST(RecordRules, RecordWithoutDnOrNameIsReportedAndTakesNoKey) {
  const Outcome outcome = RunBook(
      "objectclass: inetOrgPerson\nsn: Roe\n\n"
      "objectclass: inetOrgPerson\nsn: Roe\n\n"
      "dn: cn=Roe\nobjectclass: inetOrgPerson\n");
  EXPECT_EQ(outcome.errors, (Errors{"1: 002: record has no DN; no directory accepts it",
                                    "4: 002: record has no DN; no directory accepts it"}));
  EXPECT_EQ(outcome.keys, (std::vector<std::string>{"dn: cn=Roe"}));  // nothing made unique
}

TEST(RecordRules, HeaderBlocksAreNoRecords) {
  // The version header and comment blocks get no DN, no class and no message, and the first
  // real record still keeps its generic classes. Comment lines are left out, as before.
  const Outcome outcome = RunBook(
      "version: 1\n\n# exported today\n# by hand\n\n"
      "dn: cn=A\nobjectclass: top\nobjectclass: inetOrgPerson\ncn: A\n");
  EXPECT_EQ(outcome.output,
            "version: 1\n\n\n"
            "dn: cn=A,dc=contacts,dc=test\nobjectclass: top\nobjectclass: inetOrgPerson\ncn: A\n"
            "sn: A\n\n");
  EXPECT_TRUE(outcome.errors.empty());
}

// ---- DNs under another directory's suffix ------------------------------------------------

TEST(RecordRules, HierarchicalDnIsPutDirectlyUnderTheBase) {
  const Case cases[] = {
      {"PeopleUnit", "dn: cn=Joe Roe,ou=people,dc=example,dc=org\nobjectclass: inetOrgPerson\n",
       "dn: cn=Joe Roe,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: Joe Roe\n"
       "cn: Joe Roe\n\n"},
      {"EveryContainerType", "dn: uid=j,ou=a,o=b,l=c,st=d,c=DE,dc=e\nobjectclass: inetOrgPerson\n",
       "dn: uid=j,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: j\ncn: j\n\n"},
      {"NonAsciiEscapedAsToday",
       "dn: cn=J\xC3\xBCrgen,ou=people,dc=example,dc=org\n"
       "objectclass: inetOrgPerson\n",
       "dn: cn=J\\C3\\BCrgen,dc=contacts,dc=test\nobjectclass: inetOrgPerson\n"
       "sn:: SsO8cmdlbg==\ncn:: SsO8cmdlbg==\n\n"},
      {"EscapesKept",
       "dn: cn=Doe\\, John,ou=people,dc=example,dc=org\nobjectclass: inetOrgPerson\n",
       "dn: cn=Doe\\, John,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: Doe, John\n"
       "cn: Doe, John\n\n"},
      {"MultiValuedRdnKept", "dn: cn=A+uid=a,ou=people,dc=example\nobjectclass: inetOrgPerson\n",
       "dn: cn=A+uid=a,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: A\ncn: A\n\n"},
      {"SuffixEndingInTheBase",
       "dn: cn=J,ou=people,dc=contacts,dc=test\nobjectclass: inetOrgPerson\n",
       "dn: cn=J,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: J\ncn: J\n\n"},
      {"MemberLines",
       "dn: cn=L\nobjectclass: groupOfNames\nmember: cn=M,ou=people,dc=example,dc=org\n",
       "dn: cn=L,dc=contacts,dc=test\nobjectclass: groupOfNames\nmember: cn=M,dc=contacts,dc=test\n"
       "cn: L\n\n"},
      {"UniqueMemberLines",
       "dn: cn=L\nobjectclass: groupOfUniqueNames\nuniqueMember: cn=M,ou=people,dc=example\n",
       "dn: cn=L,dc=contacts,dc=test\nobjectclass: groupOfUniqueNames\n"
       "uniqueMember: cn=M,dc=contacts,dc=test\ncn: L\n\n"},
  };
  ExpectCases(cases);
}

TEST(RecordRules, AddressBookDnsAreNotHierarchical) {
  const Case cases[] = {
      {"DirectlyUnderBase", "dn: cn=X,dc=contacts,dc=test\nobjectclass: inetOrgPerson\n",
       "dn: cn=X,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: X\ncn: X\n\n"},
      {"NameAndMail", "dn: cn=Doe, John,mail=j@x\nobjectclass: inetOrgPerson\n",
       "dn: cn=Doe\\, John+mail=j@x,dc=contacts,dc=test\nobjectclass: inetOrgPerson\n"
       "sn: Doe, John\ncn: Doe, John\n\n"},
      {"NotAContainerType", "dn: cn=A,uid=b\nobjectclass: inetOrgPerson\n",
       "dn: cn=A\\,uid=b,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: A,uid=b\n"
       "cn: A,uid=b\n\n"},
      {"EmptyContainerValue", "dn: cn=A,ou= \nobjectclass: inetOrgPerson\n",
       "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: A\ncn: A\n\n"},
  };
  ExpectCases(cases);
}

TEST(RecordRules, ReplacedSuffixIsReportedOncePerRun) {
  const Outcome outcome = RunBook(
      "dn: cn=A,ou=people,dc=example,dc=org\nobjectclass: inetOrgPerson\n\n"
      "dn: cn=A,OU=People,dc=example,dc=org\nobjectclass: inetOrgPerson\n\n"
      "dn: cn=L\nobjectclass: groupOfNames\nmember: cn=A,ou=people,dc=example,dc=org\n"
      "member: cn=B,ou=staff,dc=example,dc=org\n");
  EXPECT_EQ(outcome.errors,
            (Errors{"1: 007: DNs under \"ou=people,dc=example,dc=org\" now lie directly under the "
                    "base DN",
                    "7: 007: DNs under \"ou=staff,dc=example,dc=org\" now lie directly under the "
                    "base DN"}));
  // The second A is made unique; the member keeps the re-based DN without the digits.
  EXPECT_EQ(outcome.keys, (std::vector<std::string>{"dn: cn=A", "dn: cn=A057", "dn: cn=L"}));
  EXPECT_NE(outcome.output.find("member: cn=A,dc=contacts,dc=test\n"), std::string::npos)
      << outcome.output;
}

TEST(RecordRules, EverySuffixIsReportedAtTheFirstRecordThatReplacesIt) {
  const Outcome outcome = RunBook(
      "dn: cn=L,ou=lists,dc=example\nobjectclass: groupOfNames\n"
      "member: cn=A,ou=people,dc=example\nmember: cn=B,ou=lists,dc=example\n\n"
      "dn: cn=M,ou=lists,dc=example\nobjectclass: groupOfNames\n"
      "member: cn=C,ou=people,dc=example\nmember: cn=D,ou=staff,dc=example\n");
  EXPECT_EQ(outcome.errors,
            (Errors{"1: 007: DNs under \"ou=lists,dc=example\" now lie directly under the base DN",
                    "1: 007: DNs under \"ou=people,dc=example\" now lie directly under the base DN",
                    "6: 007: DNs under \"ou=staff,dc=example\" now lie directly under the base DN"}));
}

TEST(RecordRules, WithoutBaseDnADirectoryDnStaysWhole) {
  const Outcome outcome = RunBook(
      "dn: cn=Doe\\, J ,ou=people,dc=example\nobjectclass: inetOrgPerson\n"
      "member: cn=a+b,ou=x\n", {}, "");
  EXPECT_EQ(outcome.output,
            "dn: cn=Doe\\, J,ou=people,dc=example\nobjectclass: inetOrgPerson\n"
            "member: cn=a\\+b,ou=x\nsn: Doe, J\ncn: Doe, J\n\n");
  EXPECT_TRUE(outcome.errors.empty());
  EXPECT_EQ(outcome.keys, (std::vector<std::string>{"dn: cn=Doe\\, J,ou=people,dc=example"}));
}

// ---- Repeated values ---------------------------------------------------------------------

TEST(RecordRules, RepeatedValuesAreFoundAsTheDirectoryComparesThem) {
  const std::string head = "dn: cn=K\nobjectclass: inetOrgPerson\nsn: K\n";
  const std::string headOut = "dn: cn=K,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: K\n";
  const struct {
    const char* name;
    const char* lines;  // after head
    const char* out;    // after headOut
  } cases[] = {
      {"Base64EqualToPlain", "cn: Joe\ncn:: Sm9l\n", "cn: Joe\n"},
      {"MailIgnoresCase", "cn: K\nmail: A@X\nmail: a@x\n", "cn: K\nmail: A@X\n"},
      {"PhoneIgnoresSpacesAndHyphens",
       "cn: K\ntelephoneNumber: +49 30 1234\ntelephoneNumber: +49-30-1234\n",
       "cn: K\ntelephoneNumber: +49 30 1234\n"},
      {"PasswordIsExact", "cn: K\nuserPassword: Secret\nuserPassword: secret\n",
       "cn: K\nuserPassword: Secret\nuserPassword: secret\n"},
      {"UnknownAttributeIsExact", "cn: K\nx-note: Hello\nx-note: hello\n",
       "cn: K\nx-note: Hello\nx-note: hello\n"},
      {"AttributeNameIgnoresCase", "cn: K\nmail: a@x\nMail: A@X\n", "cn: K\nmail: a@x\n"},
      {"ObjectClassIgnoresCase", "cn: K\nobjectClass: INETORGPERSON\n", "cn: K\n"},
      {"PhoneKeepsOtherCharacters", "cn: K\nmobile: +49 30 1234\nmobile: +49 30 1235\n",
       "cn: K\nmobile: +49 30 1234\nmobile: +49 30 1235\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RunBook(head + c.lines).output, headOut + c.out + "\n") << c.name;
  }
}

// ---- Undecodable and empty Base64 values -------------------------------------------------

TEST(RecordRules, UndecodableDnGivesNoName) {
  const Outcome outcome = RunBook("dn:: Y249Sm9\nobjectclass: inetOrgPerson\n");
  EXPECT_EQ(outcome.output, "dn:: Y249Sm9\nobjectclass: inetOrgPerson\n\n");
  EXPECT_EQ(outcome.errors, (Errors{"1: 001: Base64ToStr: illegal input length!"}));
  EXPECT_TRUE(outcome.keys.empty());
}

TEST(RecordRules, EmptyBase64ValuesAreDropped) {
  ExpectRepair("dn: cn=A\nobjectclass: inetOrgPerson\ndescription::\nnote::   \ncn: A\n",
               "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: A\nsn: A\n\n");
  for (const char* input :
       {"dn::\nobjectclass: inetOrgPerson\n", "dn::   \nobjectclass: inetOrgPerson\n"}) {
    const Outcome outcome = RunBook(input);
    EXPECT_EQ(outcome.output, "dn:\nobjectclass: inetOrgPerson\n\n") << input;
    EXPECT_EQ(outcome.errors, (Errors{"1: 002: record has an empty DN; no directory accepts it"}))
        << input;
  }
}

// ---- Lists without members ---------------------------------------------------------------

// Which lines shape a record: the whole attribute name, any case, blanks before the colon.
TEST(RecordRules, ShapeLinesNeedTheWholeAttributeName) {
  constexpr auto kNone = std::string_view::npos;
  const struct {
    const char* line;
    const char* attribute;
    std::size_t valueStart;
  } cases[] = {
      {"objectclass: top", "objectclass", 12},  {"objectClass  :top", "objectclass", 14},
      {"  OBJECTCLASS:x", "objectclass", 14},   {"objectclasses: x", "objectclass", kNone},
      {"objectclass x", "objectclass", kNone},  {"objectclass", "objectclass", kNone},
      {"memberOf: cn=x", "member", kNone},      {"member: cn=x", "member", 7},
      {"mail: a@b", "member", kNone},           {"uniquemember :cn=x", "uniqueMember", 14},
  };
  for (const auto& c : cases) EXPECT_EQ(ValueStartOf(c.line, c.attribute), c.valueStart) << c.line;
  // A list whose only member-like line is another attribute has no members.
  const Outcome list = RunBook("dn: cn=L\nobjectclass: groupOfNames\nmemberOf: cn=x\n");
  EXPECT_EQ(list.output,
            "dn: cn=L,dc=contacts,dc=test\nobjectclass: groupOfNames\nmemberOf: cn=x\ncn: L\n\n");
  EXPECT_EQ(list.errors, (Errors{"1: 003: mailing list has no member; no directory accepts it"}));
}

TEST(RecordRules, ListLacksMembersOfItsOwnKind) {
  const Outcome outcome = RunBook(
      "dn: cn=U\nobjectclass: groupOfUniqueNames\nmember: cn=M\n\n"
      "dn: cn=N\nobjectclass: groupOfNames\nuniqueMember: cn=M\n\n"
      "dn: cn=G\nobjectclass: groupOfUniqueNames\nuniqueMember: cn=M\n\n"
      "dn: cn=H\nobjectclass: groupOfNames\nmember: cn=M\n");
  EXPECT_EQ(outcome.errors,
            (Errors{"1: 003: mailing list has no member; no directory accepts it",
                    "5: 003: mailing list has no member; no directory accepts it"}));
}

// ---- Counts ------------------------------------------------------------------------------

TEST(RecordRules, MixedBookCounts) {
  struct Discard : LineSink {
    void Line(std::string_view) override {}
  } discard;
  UsedDNs keys;
  FixedRandom random;
  ErrorLog log;
  TransformMap map;
  RepairRun run(kBase, map, keys, random, &log, discard);
  for (const std::string& line : SplitTextLines(
           "version: 1\n\n"                                               // header: not read
           "# a comment block\n\n"                                        // header: not read
           "dn: cn=A\nobjectclass: inetOrgPerson\n\n"                     // fine
           "dn: cn=a\nobjectclass: inetOrgPerson\n\n"                     // made unique
           "objectclass: inetOrgPerson\ncn: A\n\n"                        // named, made unique
           "sn: Nobody\n\n"                                               // 002: no DN
           "dn:\nmail: e@x\n\n"                                           // 002: empty DN
           "dn: cn=U\nobjectclass: groupOfUniqueNames\nmember: cn=A\n\n"  // 003
           "dn:: Y24\ncn: Bad\n\n"                                        // 001 on its dn:: line
           "dn: cn=L\nobjectclass: groupOfNames\nmember:: Y24\n\n"        // 001 on a member: fine
           "dn: Bare\nobjectclass: inetOrgPerson\n")) {                   // 005: fine
    run.AddLine(line);
  }
  run.Finish();
  const RepairCounts& counts = run.Counts();
  EXPECT_EQ(counts.recordsRead, 9u);
  EXPECT_EQ(counts.recordsWritten, 9u);
  EXPECT_EQ(counts.madeUnique, 2u);
  EXPECT_EQ(counts.notImportable, 4u);
}

}  // namespace
}  // namespace quorvane
