// The first pass over lines in unusual places: generic classes wherever they stand, profile
// lines with blanks before the name, comments before a dn: line, missing names taken from a
// repaired cn, and the colon at either end of a line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/record_lines.h"
#include "engine/repair_run.h"
#include "tests/engine/record_book.h"

namespace quorvane {
namespace {

using namespace record_book;

const std::string kFirst = "dn: cn=F\nobjectclass: inetOrgPerson\ncn: F\n\n";
const std::string kFirstOut =
    "dn: cn=F,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: F\nsn: F\n\n";

TEST(FirstPass, GenericClassesGoWhereverTheyStand) {
  const Case cases[] = {
      {"BeforeTheOthers",
       "dn: cn=A\nobjectclass: top\nobjectclass: person\nobjectclass: inetOrgPerson\ncn: A\n",
       "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: A\nsn: A\n\n"},
      {"AfterTheOthers",
       "dn: cn=A\nobjectclass: inetOrgPerson\ncn: A\nobjectclass: top\nobjectclass: person\n",
       "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: A\nsn: A\n\n"},
      {"AroundOtherLines",
       "dn: cn=A\nobjectclass: top\ncn: A\nobjectclass: inetOrgPerson\nmail: a@b\n"
       "objectclass: organizationalPerson\nsn: B\n",
       "dn: cn=A,dc=contacts,dc=test\ncn: A\nobjectclass: inetOrgPerson\nmail: a@b\nsn: B\n\n"},
      {"RepeatedAndAsLastLine",
       "dn: cn=A\nobjectclass: person\nobjectclass: inetOrgPerson\nobjectclass: person\n"
       "cn: A\nobjectclass: top\n",
       "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: A\nsn: A\n\n"},
      {"OnlyGenericOnesStay", "dn: cn=A\nobjectclass: top\ncn: A\nobjectclass: person\n",
       "dn: cn=A,dc=contacts,dc=test\nobjectclass: top\ncn: A\nobjectclass: person\nsn: A\n\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RunBook(kFirst + c.input).output, kFirstOut + c.output) << c.name;
  }
}

// A profile's line may start with blanks (a quoted value keeps them). Such a line shapes no
// record, but as the text of a generic class it goes with the generic classes the record
// drops, wherever it stands; where the record drops none, it stays.
TEST(FirstPass, ProfileLineWithBlanksBeforeAGenericClass) {
  TransformMap map;
  map.Add("objectclass: top", "  objectclass: top");
  map.Add("note: x", " note: y");
  EXPECT_EQ(RunBook(kFirst + "dn: cn=A\nobjectclass: person\nobjectclass: inetOrgPerson\nnote: x\n"
                             "cn: A\nobjectclass: top\n",
                    map)
                .output,
            kFirstOut +
                "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\n note: y\n"
                "cn: A\nsn: A\n\n");
  EXPECT_EQ(RunBook(kFirst + "dn: cn=A\nobjectclass: top\nobjectclass: inetOrgPerson\ncn: A\n", map)
                .output,
            kFirstOut +
                "dn: cn=A,dc=contacts,dc=test\n  objectclass: top\n"
                "objectclass: inetOrgPerson\ncn: A\nsn: A\n\n");
  // Alone, it is no class of the record's: the record gets one of its own.
  EXPECT_EQ(RunBook(kFirst + "dn: cn=A\nobjectclass: top\ncn: A\n", map).output,
            kFirstOut +
                "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\n"
                "  objectclass: top\ncn: A\nsn: A\n\n");
}

// Comment lines and the version header make a block no record only when nothing else is in
// it: a dn: line makes it a record, whatever stands before it.
TEST(FirstPass, OnlyABlockWithoutDnLineMayBeAHeader) {
  const Outcome outcome = RunBook(
      "# note\ndn: cn=A\ncn: A\n\n# only\nversion: 1\n\n"
      "version: 1\n# x\ndn: cn=B\nobjectclass: person\ncn: B\n");
  EXPECT_EQ(outcome.output,
            "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: A\nsn: A\n\n"
            "version: 1\n\n"
            "version: 1\ndn: cn=B,dc=contacts,dc=test\nobjectclass: person\ncn: B\nsn: B\n\n");
  EXPECT_EQ(outcome.keys, (std::vector<std::string>{"dn: cn=A", "dn: cn=B"}));
}

// The names a record lacks carry its cn as written in the end: quotes made single quotes, and
// the Base64 form for a value that starts with a colon, in a record named from that cn too.
TEST(FirstPass, MissingNamesCarryTheRepairedCn) {
  const Case cases[] = {
      {"Quotes", "dn: uid=b\nobjectclass: person\ncn: \"B\" :x\n",
       "dn: uid=b,dc=contacts,dc=test\nobjectclass: person\ncn: 'B' :x\nsn: 'B' :x\n\n"},
      {"QuotesAfterAColon", "cn: :\"Q\"\nmail: q@x\n",
       "dn: cn=:'Q'+mail=q@x,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn:: OidRJw==\n"
       "mail: q@x\nsn:: OidRJw==\n\n"},
      {"SnBeforeCn", "dn: uid=b\nobjectclass: person\nsn: \"S\"\n",
       "dn: uid=b,dc=contacts,dc=test\nobjectclass: person\nsn: \"S\"\ncn: \"S\"\n\n"},
  };
  ExpectCases(cases);
}

// The split every rule makes of a line, where the colon stands at either end of it.
TEST(SplitNameValue, ColonAtEitherEnd) {
  const struct {
    const char* line;
    const char* name;
    const char* value;
  } cases[] = {
      {"sn:", "sn:", ""},         {"sn :  ", "sn :", ""}, {":", ":", ""},
      {": x", ":", "x"},          {"  :x:y", ":", "x:y"}, {"cn::", "cn:", ":"},
      {"a\t:\tb\t", "a\t:", "b"},
  };
  for (const auto& c : cases) {
    const NameValue nv = SplitNameValue(c.line);
    EXPECT_EQ(nv.name, c.name) << c.line;
    EXPECT_EQ(nv.value, c.value) << c.line;
  }
}

}  // namespace
}  // namespace quorvane
