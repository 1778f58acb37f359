// The shipped profiles as they are used: each loaded from profiles/shipped and run with the
// schema it is meant for. openldap-stock and openldap-stock-business-card run with the built-in
// schema, openldap-mozilla-schema with the built-in schema and the address book's own
// (tests/data/mozilla-addressbook.schema), as `--schema builtin --schema FILE` gives it.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <string_view>
#include <vector>

#include "engine/repair_run.h"
#include "profiles/profiles.h"
#include "schema/schema_sources.h"
#include "tests/engine/record_book.h"

namespace quorvane {
namespace {

const std::string kDataDir = QUORVANE_TEST_DATA;
const std::string kShippedDir = kDataDir + "/../../profiles/shipped/";
using record_book::ErrorLog;
using record_book::FixedRandom;
using record_book::kBase;

struct Book {
  std::vector<std::string> lines;  // the output, one entry per line
  std::vector<std::string> errors;
  RepairCounts counts;

  bool Has(std::string_view line) const {
    for (const std::string& l : lines) {
      if (l == line) return true;
    }
    return false;
  }
  // Whether any line starts with `prefix`, ASCII case ignored.
  bool HasStart(std::string_view prefix) const {
    for (const std::string& l : lines) {
      if (l.size() < prefix.size()) continue;
      bool same = true;
      for (std::size_t i = 0; i < prefix.size() && same; ++i) {
        same = std::tolower(static_cast<unsigned char>(l[i])) ==
               std::tolower(static_cast<unsigned char>(prefix[i]));
      }
      if (same) return true;
    }
    return false;
  }
  std::string Text() const {
    std::string text;
    for (const std::string& l : lines) text.append(l).append("\n");
    for (const std::string& e : errors) text.append("line ").append(e).append("\n");
    return text;
  }
};

TransformMap LoadShipped(const std::string& name) {
  TransformMap map;
  LoadProfile(kShippedDir + name + ".ini", map, nullptr);
  EXPECT_FALSE(map.empty()) << "cannot load " << kShippedDir << name << ".ini";
  return map;
}

// The built-in schema with the address book's own added after it.
const Schema& AddressBookSchema() {
  static const SchemaLoad load =
      LoadSchema({"builtin", kDataDir + "/mozilla-addressbook.schema"}, ServerAccess{});
  EXPECT_TRUE(load.ok()) << load.error;
  EXPECT_TRUE(load.problems.empty()) << load.problems.size() << " definitions left out";
  return load.schema;
}

Book Repair(const std::string& profile, std::string_view input, const Schema* schema) {
  struct Collect : LineSink {
    std::vector<std::string> lines;
    void Line(std::string_view line) override { lines.emplace_back(line); }
  } collect;
  const TransformMap map = LoadShipped(profile);
  UsedDNs usedDNs;
  FixedRandom random;
  ErrorLog log;
  RepairRun run(kBase, map, usedDNs, random, &log, collect, SchemaStep{schema, false});
  run.AddPaneText(input);
  run.Finish();
  return {collect.lines, log.errors, run.Counts()};
}

// A card as the address book exports it, with what no standard directory holds.
constexpr std::string_view kCard =
    "dn: cn=Jo Doe,mail=jo@example.org\n"
    "objectclass: top\n"
    "objectclass: person\n"
    "objectclass: organizationalPerson\n"
    "objectclass: inetOrgPerson\n"
    "objectclass: mozillaAbPersonAlpha\n"
    "cn: Jo Doe\n"
    "sn: Doe\n"
    "mail: jo@example.org\n"
    "mozillaSecondEmail: jd@example.net\n"
    "xmozillanickname: JD\n"
    "cellphone: +1 555 0104\n"
    "homePhone: +1 555 0101\n"
    "workurl: https://example.org/~jo\n"
    "homeurl: http://jo.example.net/\n"
    "homeStreet: 12 Elm Street\n"
    "mozillaHomeLocalityName: Springfield\n"
    "mozillaHomeState: IL\n"
    "mozillaUseHtmlMail: false\n"
    "nsAIMid: jodoe42\n"
    "custom1: Golf\n"
    "birthyear: 1970\n"
    "modifytimestamp: 0Z\n"
    "company: Example Corp.\n"
    "c: Germany\n"
    "\n";

// A later card with a two-letter country and the obsolete class.
constexpr std::string_view kOlderCard =
    "dn: cn=Al Roe,mail=al@example.org\n"
    "objectclass: top\n"
    "objectclass: person\n"
    "objectclass: mozillaAbPersonObsolete\n"
    "cn: Al Roe\n"
    "mail: al@example.org\n"
    "c: DE\n"
    "\n";

TEST(ShippedProfiles, StockMovesValuesToStandardNamesAndTheSchemaStepDropsTheRest) {
  const Book book = Repair("openldap-stock", std::string(kCard) + std::string(kOlderCard),
                           &BuiltinSchema());
  const std::string text = book.Text();
  // Moved by the profile.
  EXPECT_TRUE(book.Has("mail: jd@example.net")) << text;
  EXPECT_TRUE(book.Has("description: JD")) << text;
  EXPECT_TRUE(book.Has("mobile: +1 555 0104")) << text;
  EXPECT_TRUE(book.Has("labeledURI: https://example.org/~jo")) << text;
  EXPECT_TRUE(book.Has("labeledURI: http://jo.example.net/")) << text;
  EXPECT_TRUE(book.Has("homePostalAddress: 12 Elm Street")) << text;
  EXPECT_TRUE(book.Has("o: Example Corp.")) << text;
  EXPECT_TRUE(book.Has("homePhone: +1 555 0101")) << text;
  // Dropped by the schema step: unknown attributes and classes, the operational attribute, the
  // country typed out, and a valid country code an inetOrgPerson may not hold.
  for (const char* gone : {"objectclass: mozillaAb", "mozilla", "xmozilla", "nsAIMid:",
                           "custom1:", "birthyear:", "modifytimestamp:", "c:"}) {
    EXPECT_FALSE(book.HasStart(gone)) << gone << "\n" << text;
  }
  // Both are persons that import: inetOrgPerson, never another subclass of person.
  EXPECT_FALSE(book.HasStart("objectclass: pilotPerson")) << text;
  EXPECT_EQ(book.counts.recordsWritten, 2u);
  EXPECT_EQ(book.counts.notImportable, 0u) << text;
  EXPECT_GT(book.counts.valuesDropped, 0u);
}

TEST(ShippedProfiles, StockPersonClassesBecomeInetOrgPerson) {
  const Book book = Repair("openldap-stock",
                           "dn: cn=First,mail=first@example.org\nobjectclass: person\n"
                           "cn: First\nsn: First\nmail: first@example.org\n\n"
                           "dn: cn=Landlord\nobjectclass: top\nobjectclass: person\n"
                           "cn: Landlord\nsn: Landlord\nhomePhone: +44 20 7946 0150\n\n"
                           "dn: cn=Res\nobjectclass: residentialPerson\n"
                           "cn: Res\nsn: Res\ntelephoneNumber: +49 30 555 0100\n\n"
                           "dn: cn=Evo,mail=evo@example.org\nobjectclass: evolutionPerson\n"
                           "objectclass: calEntry\ncn: Evo\nmail: evo@example.org\n\n",
                           &BuiltinSchema());
  const std::string text = book.Text();
  std::size_t persons = 0;
  for (const std::string& line : book.lines) {
    if (line == "objectclass: inetOrgPerson" || line == "objectClass: inetOrgPerson") ++persons;
  }
  EXPECT_EQ(persons, 4u) << text;
  for (const char* gone : {"objectclass: pilotPerson", "objectclass: residentialPerson",
                           "objectclass: evolutionPerson", "objectclass: calEntry"}) {
    EXPECT_FALSE(book.HasStart(gone)) << gone << "\n" << text;
  }
  EXPECT_EQ(book.counts.notImportable, 0u) << text;
}

TEST(ShippedProfiles, BusinessCardKeepsNothingPrivateWhateverTheSchema) {
  const Schema* schemas[] = {&BuiltinSchema(), &AddressBookSchema(), nullptr};
  for (const Schema* schema : schemas) {
    const Book book = Repair("openldap-stock-business-card", kCard, schema);
    const std::string text = book.Text();
    for (const char* gone : {"homePhone:", "homePostalAddress:", "homeStreet:",
                             "mozillaHome", "homeurl:", "mozillaSecondEmail:", "mail: jd@",
                             "xmozillanickname:", "mozillaNickname:", "description:",
                             "nsAIMid:", "custom1:", "mozillaCustom1:", "birthyear:",
                             "labeledURI: http://jo."}) {
      EXPECT_FALSE(book.HasStart(gone)) << gone << "\n" << text;
    }
    EXPECT_TRUE(book.Has("mail: jo@example.org")) << text;
    EXPECT_TRUE(book.Has("mobile: +1 555 0104")) << text;
    EXPECT_TRUE(book.Has("labeledURI: https://example.org/~jo")) << text;
    EXPECT_TRUE(book.Has("o: Example Corp.")) << text;
  }
}

TEST(ShippedProfiles, MozillaSchemaProfileKeepsTheAddressBookAttributesWithThatSchemaGiven) {
  const Book book = Repair("openldap-mozilla-schema",
                           std::string(kCard) + std::string(kOlderCard), &AddressBookSchema());
  const std::string text = book.Text();
  // The address book's attributes, older names renamed to the schema's.
  EXPECT_TRUE(book.Has("mozillaSecondEmail: jd@example.net")) << text;
  EXPECT_TRUE(book.Has("mozillaNickname: JD")) << text;
  EXPECT_TRUE(book.Has("mozillaWorkUrl: https://example.org/~jo")) << text;
  EXPECT_TRUE(book.Has("mozillaHomeUrl: http://jo.example.net/")) << text;
  EXPECT_TRUE(book.Has("mozillaHomeStreet: 12 Elm Street")) << text;
  EXPECT_TRUE(book.Has("mozillaHomeLocalityName: Springfield")) << text;
  EXPECT_TRUE(book.Has("mozillaHomeState: IL")) << text;
  EXPECT_TRUE(book.Has("mozillaUseHtmlMail: FALSE")) << text;
  EXPECT_TRUE(book.Has("nsAIMid: jodoe42")) << text;
  EXPECT_TRUE(book.Has("mozillaCustom1: Golf")) << text;
  EXPECT_TRUE(book.Has("mobile: +1 555 0104")) << text;
  EXPECT_TRUE(book.Has("o: Example Corp.")) << text;
  // The class: kept, and the obsolete one renamed to it.
  std::size_t alpha = 0;
  for (const std::string& line : book.lines) {
    if (line == "objectclass: mozillaAbPersonAlpha") ++alpha;
  }
  EXPECT_EQ(alpha, 2u) << text;
  EXPECT_FALSE(book.HasStart("objectclass: mozillaAbPersonObsolete")) << text;
  // A two-letter country stays (mozillaAbPersonAlpha allows c); one typed out does not.
  EXPECT_TRUE(book.Has("c: DE")) << text;
  EXPECT_FALSE(book.Has("c: Germany")) << text;
  // What neither schema defines, and what the directory sets itself.
  for (const char* gone : {"birthyear:", "modifytimestamp:", "custom1:", "xmozilla",
                           "homeStreet:", "objectclass: pilotPerson"}) {
    EXPECT_FALSE(book.HasStart(gone)) << gone << "\n" << text;
  }
  EXPECT_EQ(book.counts.notImportable, 0u) << text;

  // Without the address book's schema the same profile keeps none of its attributes: the
  // schema has to be given.
  const Book stock = Repair("openldap-mozilla-schema", kCard, &BuiltinSchema());
  EXPECT_FALSE(stock.HasStart("mozillaSecondEmail:")) << stock.Text();
  EXPECT_FALSE(stock.HasStart("objectclass: mozillaAbPersonAlpha")) << stock.Text();
}

// Every rule names attributes and classes the profile's directory defines: a misspelt target
// would send every value it renames to the schema step's drop.
TEST(ShippedProfiles, EveryRuleTargetIsDefinedByTheProfilesSchema) {
  const struct {
    const char* name;
    const Schema& schema;
  } profiles[] = {{"openldap-stock", BuiltinSchema()},
                  {"openldap-stock-business-card", BuiltinSchema()},
                  {"openldap-mozilla-schema", AddressBookSchema()}};
  for (const auto& profile : profiles) {
    const TransformMap map = LoadShipped(profile.name);
    for (std::size_t i = 0; i < map.size(); ++i) {
      const std::string& key = map[i].key;
      const std::string& value = map[i].value;
      if (value == "/ignore/:" || value == "/ignore/") continue;
      if (key.back() == ':') {
        ASSERT_EQ(value.back(), ':') << profile.name << ": " << map.EntryText(i);
        const std::string target = value.substr(0, value.size() - 1);
        EXPECT_NE(profile.schema.FindAttribute(target), nullptr)
            << profile.name << ": " << map.EntryText(i);
        continue;
      }
      const std::string prefix = "objectclass: ";
      ASSERT_EQ(value.compare(0, prefix.size(), prefix), 0)
          << profile.name << ": " << map.EntryText(i);
      EXPECT_NE(profile.schema.FindClass(value.substr(prefix.size())), nullptr)
          << profile.name << ": " << map.EntryText(i);
    }
  }
}

// The standard-schema profiles leave what the directory refuses to the schema step: the only
// attributes they drop are the business card's private ones.
TEST(ShippedProfiles, StockProfileDropsNothingItself) {
  const TransformMap map = LoadShipped("openldap-stock");
  for (std::size_t i = 0; i < map.size(); ++i) {
    EXPECT_EQ(map[i].value.find("/ignore/"), std::string::npos) << map.EntryText(i);
  }
}

}  // namespace
}  // namespace quorvane
