// What the schema step makes of records the stock directory would refuse: each check with its
// repair or drop, the message it reports and the counts; and what it leaves alone.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/repair_run.h"
#include "tests/engine/record_book.h"
#include "schema/schema_sources.h"

namespace quorvane {
namespace {

using record_book::ErrorLog;
using record_book::FixedRandom;
using record_book::kBase;

struct Book {
  std::string output;  // "\n" after every line
  std::vector<std::string> errors;
  RepairCounts counts;
};

// The book repaired with the built-in schema (or `step` as given).
Book Repair(std::string_view input, bool verbose = false,
            std::optional<SchemaStep> step = std::nullopt) {
  struct Collect : LineSink {
    std::string text;
    void Line(std::string_view line) override { text.append(line).append("\n"); }
  } collect;
  UsedDNs usedDNs;
  FixedRandom random;
  ErrorLog log;
  TransformMap noProfile;
  RepairRun run(kBase, noProfile, usedDNs, random, &log, collect,
                step.value_or(SchemaStep{&BuiltinSchema(), verbose}));
  run.AddPaneText(input);
  run.Finish();
  return {collect.text, log.errors, run.Counts()};
}

// A person record with one more line; what comes out of it, and the one message.
struct Case {
  const char* name;
  const char* extra;     // lines added to a plain inetOrgPerson record
  const char* written;   // what the record's output holds after its fixed lines
  const char* message;   // the log line, without "line 1: "
};

constexpr std::string_view kPerson =
    "dn: cn=Ann Lee,mail=ann@example.org\nobjectclass: inetOrgPerson\ncn: Ann Lee\nsn: Lee\n"
    "mail: ann@example.org\n";
constexpr std::string_view kPersonOut =
    "dn: cn=Ann Lee+mail=ann@example.org,dc=contacts,dc=test\nobjectclass: inetOrgPerson\n"
    "cn: Ann Lee\nsn: Lee\nmail: ann@example.org\n";

const Case kCases[] = {
    // Names.
    {"undefined type", "xPhoneId: 17\n", "",
     "008: attribute \"xPhoneId\" is not in the directory's schema; dropped from 1 record"},
    {"no attribute name", "AOL ICQ: 123456\n", "",
     "009: \"AOL ICQ\" is not an attribute name; dropped from 1 record"},
    {"operational", "createTimestamp: 20070520000000Z\n", "",
     "010: attribute \"createTimestamp\" is set by the directory itself; dropped from 1 record"},
    {"option removed", "description;x-origin: met at a fair\n", "description: met at a fair\n",
     "011: \"description;x-origin\": options other than language tags removed"},
    {"alias joined", "street: Main 1\nstreetAddress: Side 2\n", "street: Main 1\nstreet: Side 2\n",
     "011: \"streetAddress\" is another name of an attribute the record holds; written under one "
     "name"},
    // Values.
    {"telephone repaired", "mobile: <9876543210>\n", "mobile: 9876543210\n",
     "013: value of \"mobile\" did not fit its syntax"},
    {"Latin-1 value", "description: Caf\xE9\n", "description:: Q2Fmw6k=\n",
     "020: value of \"description\" was not UTF-8, read as Windows-1252; repaired in 1 record"},
    {"mail local part", "mail: j\xC3\xBC@example.org\n", "",
     "012: value of \"mail\" does not fit its syntax"},
    {"single value", "displayName: Ann\ndisplayName: Annie\n", "displayName: Ann\n",
     "014: second value of single-value attribute \"displayName\"; dropped from 1 record"},
    {"name starting with a hyphen", "-x: 1\n", "",
     "009: \"-x\" is not an attribute name; dropped from 1 record"},
    {"auxiliary class lacking what it requires",
     "objectclass: posixAccount\nuidNumber: 1000\n", "",
     "016: object class \"posixAccount\" left out: the record lacks what it requires"},
    // Classes.
    {"misspelt class", "objectclass: inetOrdPerson\n", "",
     "015: object class \"inetOrdPerson\" is not in the directory's schema; replaced by "
     "\"inetOrgPerson\""},
    {"two edits away", "objectclass: inetOrgPrsn\n", "",
     "015: object class \"inetOrgPrsn\" is not in the directory's schema; replaced by "
     "\"inetOrgPerson\""},
    {"three edits away", "objectclass: inetOgPrsn\n", "",
     "015: object class \"inetOgPrsn\" is not in the directory's schema; dropped from 1 record"},
    {"unknown class", "objectclass: mozillaAddressBookEntry\n", "",
     "015: object class \"mozillaAddressBookEntry\" is not in the directory's schema; dropped "
     "from 1 record"},
    {"not allowed", "c: DE\n", "",
     "017: attribute \"c\" is not allowed by the record's object classes; dropped from 1 record"},
    {"auxiliary added", "associatedDomain: example.org\n",
     "associatedDomain: example.org\nobjectClass: domainRelatedObject\n",
     "016: object class \"domainRelatedObject\" added, so that the record's attributes are "
     "allowed"},
};

TEST(SchemaStep, EachCheckRepairsOrDropsAndSaysSo) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const Book book = Repair(std::string(kPerson) + c.extra);
    const std::string& out = book.output;
    // The fixed lines stay; the checked line is repaired, dropped or followed by a class.
    EXPECT_EQ(out.rfind(std::string(kPersonOut, 0, 55), 0), 0u) << out;
    EXPECT_NE(out.find(c.written), std::string::npos) << out;
    ASSERT_FALSE(book.errors.empty()) << out;
    EXPECT_EQ(book.errors.front().rfind(std::string("1: ") + c.message, 0), 0u)
        << book.errors.front();
  }
}

TEST(SchemaStep, PlainRecordPassesUnchangedAndSilently) {
  const Book book = Repair(kPerson);
  EXPECT_EQ(book.output, std::string(kPersonOut) + "\n");
  EXPECT_TRUE(book.errors.empty());
  EXPECT_EQ(book.counts.valuesDropped + book.counts.valuesRepaired, 0u);
}

TEST(SchemaStep, StructuralClasses) {
  // A person that holds mail becomes an inetOrgPerson; one with no class left gets one.
  Book book = Repair("dn: cn=Bo\nobjectclass: person\ncn: Bo\nsn: Bo\nmail: bo@example.org\n");
  EXPECT_NE(book.output.find("objectClass: inetOrgPerson\n"), std::string::npos) << book.output;
  EXPECT_NE(book.output.find("mail: bo@example.org\n"), std::string::npos);
  book = Repair("dn: cn=Cy\nobjectclass: mozillaAbPersonAlpha\ncn: Cy\nsn: Cy\n");
  EXPECT_NE(book.output.find("objectClass: inetOrgPerson\n"), std::string::npos) << book.output;
  // Of two unrelated structural classes, the one allowing more of the record stays.
  book = Repair("dn: cn=Di\nobjectclass: inetOrgPerson\nobjectclass: device\ncn: Di\nsn: Di\n"
                "mail: di@example.org\n");
  EXPECT_EQ(book.output.find("device"), std::string::npos) << book.output;
  // Never a class whose required attributes the record lacks: residentialPerson needs l.
  book = Repair("dn: cn=Ed\nobjectclass: organizationalPerson\ncn: Ed\nsn: Ed\n"
                "businessCategory: x\n");
  EXPECT_EQ(book.output.find("residentialPerson"), std::string::npos) << book.output;
}

TEST(SchemaStep, EachRecordIsCheckedByItsOwnClasses) {
  // Records alternate between classes that allow mail and one that does not; a record that
  // starts with the classes of the one before gains a class on the way.
  const Book book = Repair(
      "dn: cn=Bo\nobjectclass: person\ncn: Bo\nsn: Bo\n\n"
      "dn: cn=Cy\nobjectclass: person\ncn: Cy\nsn: Cy\nmail: cy@example.org\n\n"
      "dn: cn=Di\nobjectclass: device\ncn: Di\nmail: di@example.org\n\n"
      "dn: cn=Ed\nobjectclass: inetOrgPerson\ncn: Ed\nsn: Ed\nmail: ed@example.org\n\n"
      "dn: cn=Fi\nobjectclass: device\ncn: Fi\nmail: fi@example.org\n");
  const std::string& out = book.output;
  EXPECT_NE(out.find("mail: cy@example.org\nobjectClass: inetOrgPerson\n\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find("mail: ed@example.org\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("di@example.org"), std::string::npos) << out;
  EXPECT_EQ(out.find("fi@example.org"), std::string::npos) << out;
  ASSERT_EQ(book.errors.size(), 2u);
  EXPECT_EQ(book.errors[1],
            "12: 017: attribute \"mail\" is not allowed by the record's object classes; dropped "
            "from 2 records");
}

TEST(SchemaStep, LinesAddedFollowTheRecordsOwnAsTheyWereRepaired) {
  const Book book = Repair(
      "dn: cn=Pat\nobjectclass: organizationalPerson\ncn: Pat\nxFoo: 1\n"
      "description;x-origin: hi\nassociatedDomain: example.org\nl: Rome\n");
  EXPECT_EQ(book.output,
            "dn: cn=Pat,dc=contacts,dc=test\nobjectclass: organizationalPerson\ncn: Pat\n"
            "description: hi\nassociatedDomain: example.org\nl: Rome\nsn: Pat\n"
            "objectClass: domainRelatedObject\n\n");
  EXPECT_EQ(book.counts.valuesDropped, 1u);
  EXPECT_EQ(book.counts.valuesRepaired, 1u);
}

TEST(SchemaStep, TheRDNMustBeOneTheRecordKeeps) {
  // Named by an attribute its classes do not allow: named again from cn and mail.
  Book book = Repair("dn: email=fi@example.org\nobjectclass: inetOrgPerson\ncn: Fi\nsn: Fi\n"
                     "mail: fi@example.org\nemail: fi@example.org\n");
  EXPECT_EQ(book.output.rfind("dn: cn=Fi+mail=fi@example.org,dc=contacts,dc=test\n", 0), 0u)
      << book.output;
  // The name in the DN is a value of the entry, as the directory requires.
  book = Repair("dn: cn=Doe, John\nobjectclass: inetOrgPerson\ncn: John Doe\nsn: Doe\n");
  EXPECT_NE(book.output.find("cn: Doe, John\n"), std::string::npos) << book.output;
  // Nothing left to name it by: reported, not importable.
  book = Repair("dn: email=x@example.org\nobjectclass: device\nemail: x@example.org\n");
  EXPECT_EQ(book.counts.notImportable, 1u) << book.output;
}

// An RDN's type is the directory's, however the RDN or the line that holds its value spells it:
// a line under any name of the type holds the value, a dropped line holds nothing, and a value
// held only as the directory compares it is held too.
TEST(SchemaStep, TheRDNTypeWhateverItsSpelling) {
  struct RDNCase {
    const char* dn;
    const char* lines;   // after "objectclass: inetOrgPerson"
    const char* output;  // the record as written, without its objectclass lines
  };
  const RDNCase cases[] = {
      {"CN=Ann Lee", "cn: Ann Lee\nsn: Lee\n",
       "dn: CN=Ann Lee,dc=contacts,dc=test\ncn: Ann Lee\nsn: Lee\n"},
      {"commonName=Ann Lee", "cn: Ann Lee\nsn: Lee\n",
       "dn: commonName=Ann Lee,dc=contacts,dc=test\ncn: Ann Lee\nsn: Lee\n"},
      {"2.5.4.3=Ann Lee", "cn: Ann Lee\nsn: Lee\n",
       "dn: 2.5.4.3=Ann Lee,dc=contacts,dc=test\ncn: Ann Lee\nsn: Lee\n"},
      {"cn=ann lee", "cn: Ann Lee\nsn: Lee\n",
       "dn: cn=ann lee,dc=contacts,dc=test\ncn: Ann Lee\nsn: Lee\n"},
      {"cn=Annie", "cn: Ann Lee\nsn: Lee\n",
       "dn: cn=Annie,dc=contacts,dc=test\ncn: Ann Lee\nsn: Lee\ncn: Annie\n"},
      {"cn=Ann Lee,mail=ann@example.org", "cn: Ann Lee\nsn: Lee\nmail: ANN@example.org\n",
       "dn: cn=Ann Lee+mail=ann@example.org,dc=contacts,dc=test\ncn: Ann Lee\nsn: Lee\n"
       "mail: ANN@example.org\n"},
      {"displayName=Annie", "cn: Ann Lee\nsn: Lee\ndisplayName: Ann\ndisplayName: Annie\n",
       "dn: cn=Ann Lee,dc=contacts,dc=test\ncn: Ann Lee\nsn: Lee\ndisplayName: Ann\n"},
      {"c=DE", "cn: Ann Lee\nsn: Lee\nc: DE\n",
       "dn: cn=Ann Lee,dc=contacts,dc=test\ncn: Ann Lee\nsn: Lee\n"},
      {"mail=j\xC3\xBC@example.org", "cn: Ann Lee\nsn: Lee\nmail: j\xC3\xBC@example.org\n",
       "dn: cn=Ann Lee,dc=contacts,dc=test\ncn: Ann Lee\nsn: Lee\n"},
  };
  for (const RDNCase& c : cases) {
    const Book book = Repair(
        std::string("dn: ").append(c.dn).append("\nobjectclass: inetOrgPerson\n").append(c.lines));
    std::string output;
    for (std::size_t start = 0; start < book.output.size();) {
      const std::size_t end = book.output.find('\n', start) + 1;
      const std::string_view line = std::string_view(book.output).substr(start, end - start);
      if (!line.starts_with("objectclass:") && line != "\n") output.append(line);
      start = end;
    }
    EXPECT_EQ(output, c.output) << c.dn;
  }
}

TEST(SchemaStep, RequiredAttributes) {
  // A class that requires what the record lacks: reported for the record.
  const Book book = Repair("dn: ou=Sales\nobjectclass: organizationalUnit\n\n"
                           "dn: cn=Gus\nobjectclass: posixGroup\ncn: Gus\n");
  EXPECT_NE(book.output.find("ou: Sales\n"), std::string::npos) << book.output;
  ASSERT_EQ(book.errors.size(), 1u);
  EXPECT_EQ(book.errors[0],
            "4: 019: required attribute \"gidNumber\" is missing; no directory accepts the record");
  EXPECT_EQ(book.counts.notImportable, 1u);
}

TEST(SchemaStep, WithoutItTwoNamesOfOneTypeAreStillOneValue) {
  const Book book = Repair("dn: cn=J\xC3\xBCrgen\ncn: J\xC3\xBCrgen\ncommonName: j\xC3\xBCrgen\nsn: M\n",
                           false, SchemaStep{});
  EXPECT_EQ(book.output.find("commonName"), std::string::npos) << book.output;
}

TEST(SchemaStep, EachValueWrittenOnceAsTheDirectoryComparesIt) {
  // One class in two spellings is one value; two classes are two.
  Book book = Repair("dn: cn=Kay\nobjectclass: inetOrgPerson\nobjectClass: INETORGPERSON\n"
                     "objectclass: posixAccount\ncn: Kay\nsn: Kay\nuid: kay\nuidNumber: 1\n"
                     "gidNumber: 1\nhomeDirectory: /home/kay\n");
  EXPECT_EQ(book.output.find("INETORGPERSON"), std::string::npos) << book.output;
  EXPECT_NE(book.output.find("objectclass: inetOrgPerson\n"), std::string::npos) << book.output;
  EXPECT_NE(book.output.find("objectclass: posixAccount\n"), std::string::npos) << book.output;
  // A class taken for the one it misspells meets that one: written once.
  book = Repair("dn: cn=Lu\nobjectclass: inetOrdPerson\nobjectclass: inetOrgPerson\ncn: Lu\n"
                "sn: Lu\n");
  EXPECT_EQ(book.output.find("inetOrgPerson\nobjectclass: inetOrgPerson"), std::string::npos)
      << book.output;
  // A made-unique record's cn lines all carry its new name: written once.
  book = Repair("dn: cn=Mo\ncn: Mo\nsn: Mo\n\ndn: cn=MO\ncn: MO\ncn: mo\nsn: Mo\n");
  EXPECT_EQ(book.counts.madeUnique, 1u);
  EXPECT_NE(book.output.find("cn: MO057\nsn: Mo\n\n"), std::string::npos) << book.output;
}

TEST(SchemaStep, ADNNamedAgainIsTheOneTakenThen) {
  // Both records are named again from cn and mail: the second name is taken by the first.
  const Book book = Repair(
      "dn: email=no@example.org\nobjectclass: inetOrgPerson\ncn: Ny\nsn: Ny\n"
      "mail: ny@example.org\n\n"
      "dn: email=NO@example.org\nobjectclass: inetOrgPerson\ncn: NY\nsn: Ny\n"
      "mail: NY@example.org\n\n"
      "dn: cn=ny,mail=ny@example.org\nobjectclass: inetOrgPerson\ncn: ny\nsn: Ny\n"
      "mail: ny@example.org\n");
  EXPECT_EQ(book.counts.madeUnique, 2u) << book.output;
  EXPECT_NE(book.output.find("dn: cn=Ny+mail=ny@example.org,dc=contacts,dc=test\n"),
            std::string::npos)
      << book.output;
}

TEST(SchemaStep, AChangeIsKnownByItsAttributeWhateverItsOptions) {
  // changetype or control, of any case and options, leaves the record as it is; a longer name
  // that starts alike is an attribute of its own.
  const Book book = Repair(
      "dn: cn=Ann\nchangetype: modify\nreplace: xFoo\nxFoo: 1\n\n"
      "dn: cn=Bo\nobjectclass: inetOrgPerson\ncn: Bo\nsn: Bo\nCHANGETYPE;x: add\nxFoo: 2\n\n"
      "dn: cn=Cy\nobjectclass: inetOrgPerson\ncn: Cy\nsn: Cy\nControl;y: 1\nxFoo: 3\n\n"
      "dn: cn=Di\nobjectclass: inetOrgPerson\ncn: Di\nsn: Di\nchangetypes: add\ncontrols: 1\n");
  const std::string& out = book.output;
  EXPECT_NE(out.find("replace: xFoo\nxFoo: 1\n"), std::string::npos) << out;
  EXPECT_NE(out.find("CHANGETYPE;x: add\nxFoo: 2\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Control;y: 1\nxFoo: 3\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("changetypes"), std::string::npos) << out;
  EXPECT_EQ(out.find("controls"), std::string::npos) << out;
  ASSERT_EQ(book.errors.size(), 2u);
  EXPECT_EQ(book.errors[0].rfind("20: 008: attribute \"changetypes\"", 0), 0u) << book.errors[0];
}

TEST(SchemaStep, EachDescriptionKeepsItsOwnOptions) {
  // One name with several sets of options, and another name of its type: each line keeps the
  // language tags it was written with, under the record's first name of the type.
  const Book book = Repair(
      "dn: cn=Di\nobjectclass: inetOrgPerson\ncn: Di\nsn: Di\ndescription;lang-de;x-foo: hallo\n"
      "description;lang-fr: salut\ndescription: hi\nstreet;lang-de: Weg 1\n"
      "streetAddress;lang-fr: Rue 2\nstreetAddress: Road 3\ncn;x-a: Dee\n");
  EXPECT_EQ(book.output,
            "dn: cn=Di,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: Di\nsn: Di\n"
            "description;lang-de: hallo\ndescription;lang-fr: salut\ndescription: hi\n"
            "street;lang-de: Weg 1\nstreet;lang-fr: Rue 2\nstreet: Road 3\ncn: Dee\n\n");
  ASSERT_EQ(book.errors.size(), 3u);
  EXPECT_EQ(book.errors[0],
            "1: 011: \"description;lang-de;x-foo\": options other than language tags removed");
  EXPECT_EQ(book.errors[2], "1: 011: \"cn;x-a\": options other than language tags removed");
}

TEST(SchemaStep, ASingleValueIsComparedAsItsSyntaxLeftIt) {
  // A value repaired to one written alike is no second value, and is written once; a second
  // value is found in any record, whatever the records before it held.
  const Book book = Repair(
      "dn: cn=Ed\nobjectclass: inetOrgPerson\ncn: Ed\nsn: Ed\ndisplayName: Caf\xE9\n"
      "displayName: Caf\xC3\xA9\n\n"
      "dn: cn=Flo\nobjectclass: inetOrgPerson\ncn: Flo\nsn: Flo\ndisplayName: Flo\n\n"
      "dn: cn=Gus\nobjectclass: inetOrgPerson\ncn: Gus\nsn: Gus\ndisplayName: Gus\n"
      "displayName: Gussie\n");
  const std::string& out = book.output;
  EXPECT_NE(out.find("sn: Ed\ndisplayName:: Q2Fmw6k=\n\n"), std::string::npos) << out;
  EXPECT_NE(out.find("sn: Flo\ndisplayName: Flo\n\n"), std::string::npos) << out;
  EXPECT_NE(out.find("sn: Gus\ndisplayName: Gus\n\n"), std::string::npos) << out;
  ASSERT_EQ(book.errors.size(), 2u);
  EXPECT_EQ(book.errors[0].rfind("1: 020: value of \"displayName\"", 0), 0u) << book.errors[0];
  EXPECT_EQ(book.errors[1],
            "14: 014: second value of single-value attribute \"displayName\"; dropped from 1 "
            "record");
}

TEST(SchemaStep, MessagesOncePerKindUnlessVerbose) {
  const std::string book = std::string(kPerson) + "xFoo: 1\n\n" +
                           "dn: cn=Hal\ncn: Hal\nsn: Hal\nxFoo: 2\n\ndn: cn=Ida\ncn: Ida\nsn: Ida\n"
                           "xFoo: 3\n";
  const Book quiet = Repair(book);
  ASSERT_EQ(quiet.errors.size(), 1u);
  EXPECT_EQ(quiet.errors[0],
            "1: 008: attribute \"xFoo\" is not in the directory's schema; dropped from 3 records");
  EXPECT_EQ(quiet.counts.valuesDropped, 3u);
  const Book verbose = Repair(book, true);
  ASSERT_EQ(verbose.errors.size(), 3u);
  EXPECT_EQ(verbose.errors[1], "8: 008: attribute \"xFoo\" is not in the directory's schema; dropped");
}

}  // namespace
}  // namespace quorvane
