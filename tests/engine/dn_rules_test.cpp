// What a whole run makes of DNs a directory refuses: a DN or first RDN without "=", empty DN
// parts, a DN under another directory's suffix, with the messages and keys.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/repair_run.h"
#include "tests/engine/record_book.h"

namespace quorvane {
namespace {

using namespace record_book;

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

TEST(RecordRules, AWholeDnMadeUniqueStaysUnderItsParent) {
  const Outcome outcome = RunBook(
      "dn: cn=Ann,ou=people,dc=example\ncn: Ann\n\ndn: cn=Ann,ou=people,dc=example\ncn: Ann\n",
      {}, "");
  EXPECT_EQ(outcome.keys, (std::vector<std::string>{"dn: cn=Ann,ou=people,dc=example",
                                                     "dn: cn=Ann057,ou=people,dc=example"}));
}
}  // namespace
}  // namespace quorvane
