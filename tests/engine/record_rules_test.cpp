// What a whole run makes of records that lack something a directory needs (an object class, a
// DN, a name) or carry something it refuses (repeated values, empty Base64 values), with the
// messages and counts. The rules for DNs are in dn_rules_test.cpp.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/record_shape.h"
#include "engine/repair_run.h"
#include "engine/text_lines.h"
#include "tests/engine/record_book.h"

namespace quorvane {
namespace {

using namespace record_book;

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
