// Tests reading schema definitions from schema files, subschema LDIF and cn=config LDIF.
#include "schema/schema_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quorvane {
namespace {

const std::string kStock = "/etc/ldap/schema/";

struct Loaded {
  Schema schema;
  std::vector<SchemaProblem> problems;
  std::vector<std::string> unresolved;
};

Loaded LoadText(std::string_view text) {
  Loaded loaded;
  AddSchemaText(loaded.schema, text, "test.schema", loaded.problems);
  loaded.unresolved = loaded.schema.Resolve(loaded.problems);
  return loaded;
}

std::string Describe(const std::vector<SchemaProblem>& problems) {
  std::string text;
  for (const SchemaProblem& p : problems) {
    text += p.source + ":" + std::to_string(p.line) + ": " + p.message + "\n";
  }
  return text;
}

// Everything that tells one type or class from another, in one line each.
std::string Fingerprint(const Schema& schema) {
  std::string text;
  for (const AttributeType& t : schema.Attributes()) {
    text += t.oid + " " + std::string(t.Name()) + " " + std::to_string(t.names.size()) + " " +
            (t.superior ? std::string(t.superior->Name()) : "-") + " " + t.syntax + " " +
            t.equality + " " + std::to_string(t.singleValue) +
            std::to_string(t.noUserModification) + std::to_string(t.operational) +
            std::to_string(t.obsolete) + "\n";
  }
  for (const ObjectClass& c : schema.Classes()) {
    text += c.oid + " " + std::string(c.Name()) + " " + std::to_string(int(c.kind)) + " sup";
    for (const ObjectClass* s : c.superiors) text += " " + std::string(s->Name());
    text += " must";
    for (const AttributeType* t : c.must) text += " " + std::string(t->Name());
    text += " may";
    for (const AttributeType* t : c.may) text += " " + std::string(t->Name());
    text += "\n";
  }
  return text;
}

// What slapd defines itself, and the stock files therefore leave out (as comments).
constexpr const char* kSlapdDefines = R"(
attributetype ( 2.5.4.0 NAME 'objectClass' EQUALITY objectIdentifierMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.38 )
attributetype ( 2.5.4.1 NAME ( 'aliasedObjectName' 'aliasedEntryName' ) EQUALITY distinguishedNameMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.12 SINGLE-VALUE )
attributetype ( 2.5.4.41 NAME 'name' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.15{32768} )
attributetype ( 2.5.4.3 NAME ( 'cn' 'commonName' ) SUP name )
attributetype ( 2.5.4.13 NAME 'description' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.15{1024} )
attributetype ( 2.5.4.49 NAME 'distinguishedName' EQUALITY distinguishedNameMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.12 )
attributetype ( 2.5.4.34 NAME 'seeAlso' SUP distinguishedName )
attributetype ( 2.5.4.35 NAME 'userPassword' EQUALITY octetStringMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.40{128} )
attributetype ( 1.3.6.1.4.1.250.1.57 NAME 'labeledURI' EQUALITY caseExactMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )
attributetype ( 0.9.2342.19200300.100.1.1 NAME ( 'uid' 'userid' ) EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.15{256} )
attributetype ( 0.9.2342.19200300.100.1.23 NAME 'lastModifiedTime' OBSOLETE SYNTAX 1.3.6.1.4.1.1466.115.121.1.53 USAGE directoryOperation )
attributetype ( 0.9.2342.19200300.100.1.24 NAME 'lastModifiedBy' OBSOLETE EQUALITY distinguishedNameMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.12 USAGE directoryOperation )
attributetype ( 0.9.2342.19200300.100.1.37 NAME 'associatedDomain' EQUALITY caseIgnoreIA5Match SUBSTR caseIgnoreIA5SubstringsMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.26 )
attributetype ( 1.3.6.1.1.1.1.0 NAME 'uidNumber' EQUALITY integerMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 SINGLE-VALUE )
attributetype ( 1.3.6.1.1.1.1.1 NAME 'gidNumber' EQUALITY integerMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 SINGLE-VALUE )
objectclass ( 2.5.6.0 NAME 'top' ABSTRACT MUST objectClass )
objectclass ( 2.5.6.1 NAME 'alias' SUP top STRUCTURAL MUST aliasedObjectName )
)";

TEST(SchemaFile, StockFilesLoadInOrderAndTheirLdifTwinsAgree) {
  if (!std::filesystem::exists(kStock + "core.schema")) GTEST_SKIP() << "slapd not installed";
  Loaded fromSchema = LoadText(kSlapdDefines);
  Loaded fromLdif = LoadText(kSlapdDefines);
  ASSERT_TRUE(fromSchema.problems.empty()) << Describe(fromSchema.problems);
  for (const char* name : {"core", "cosine", "nis", "inetorgperson"}) {
    for (auto [loaded, extension] :
         {std::pair{&fromSchema, ".schema"}, std::pair{&fromLdif, ".ldif"}}) {
      std::string error;
      ASSERT_TRUE(AddSchemaFile(loaded->schema, kStock + name + extension, loaded->problems, error))
          << error;
      const std::vector<std::string> unresolved = loaded->schema.Resolve(loaded->problems);
      EXPECT_TRUE(unresolved.empty()) << name << extension << " " << unresolved.front();
      EXPECT_TRUE(loaded->problems.empty()) << Describe(loaded->problems);
    }
  }
  EXPECT_GT(fromSchema.schema.Attributes().size(), 130u);
  EXPECT_EQ(Fingerprint(fromSchema.schema), Fingerprint(fromLdif.schema));

  const Schema& schema = fromSchema.schema;
  const ObjectClass* person = schema.FindClass("inetOrgPerson");
  ASSERT_NE(person, nullptr);
  EXPECT_TRUE(Schema::Allows(*person, *schema.FindAttribute("mail")));
  EXPECT_TRUE(Schema::Allows(*person, *schema.FindAttribute("telephoneNumber")));
  EXPECT_TRUE(Schema::Requires(*person, *schema.FindAttribute("sn")));
  EXPECT_FALSE(Schema::Allows(*person, *schema.FindAttribute("member")));
  EXPECT_EQ(schema.FindAttribute("uid")->syntax, "1.3.6.1.4.1.1466.115.121.1.15");
}

TEST(SchemaFile, WithoutItsPrerequisiteAFileReportsWhatIsMissing) {
  if (!std::filesystem::exists(kStock + "core.schema")) GTEST_SKIP() << "slapd not installed";
  Loaded loaded;
  std::string error;
  ASSERT_TRUE(
      AddSchemaFile(loaded.schema, kStock + "inetorgperson.schema", loaded.problems, error));
  loaded.unresolved = loaded.schema.Resolve(loaded.problems);
  EXPECT_NE(std::find(loaded.unresolved.begin(), loaded.unresolved.end(), "organizationalPerson"),
            loaded.unresolved.end());
  ASSERT_FALSE(loaded.problems.empty());
  EXPECT_EQ(loaded.problems.front().source, kStock + "inetorgperson.schema");
  EXPECT_GT(loaded.problems.front().line, 1u);
  // what does not depend on the missing files still loads
  EXPECT_NE(loaded.schema.FindAttribute("displayName"), nullptr);
  EXPECT_NE(loaded.schema.FindClass("inetOrgPerson"), nullptr);
}

// One small schema written in each form the reader knows.
constexpr const char* kSchemaForm = R"(# a comment
objectIdentifier Base 1.1.9
ObjectIdentifier BaseAt Base:1

attributetype ( BaseAt:1 NAME ( 'fooName' 'foo' )
	DESC 'a name: with a colon and Base:9'
	EQUALITY caseIgnoreMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15{64} )
# a comment between definitions
AttributeType ( BaseAt:2 NAME 'barName' SUP fooName SINGLE-VALUE )
objectclass ( Base:2.1 NAME 'fooThing' SUP top STRUCTURAL
	MUST fooName MAY ( barName $ description ) )
)";

constexpr const char* kSubschemaForm = R"(version: 1

# extended LDIF
dn: cn=Subschema
objectClass: top
objectClass: subschema
attributeTypes: ( 1.1.9.1.1 NAME ( 'fooName' 'foo' ) DESC 'a name: with a colon
  and Base:9' EQUALITY caseIgnoreMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.15{64} )
attributeTypes:: KCAxLjEuOS4xLjIgTkFNRSAnYmFyTmFtZScgU1VQIGZvb05hbWUgU0lOR0xFLVZBTFVFICk=
objectClasses: ( 1.1.9.2.1 NAME 'fooThing' SUP top STRUCTURAL MUST fooName MAY ( barName $ description ) )
)";

constexpr const char* kConfigForm =
    "dn: cn=foo,cn=schema,cn=config\r\n"
    "objectClass: olcSchemaConfig\r\n"
    "cn: foo\r\n"
    "olcObjectIdentifier: {0}Base 1.1.9\r\n"
    "olcObjectIdentifier: {1}BaseAt Base:1\r\n"
    "olcAttributeTypes: {0}( BaseAt:1 NAME ( 'fooName' 'foo' ) DESC 'a name: with a colon\r\n"
    "  and Base:9' EQUALITY caseIgnoreMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.15{64} )\r\n"
    "\r\n"
    "dn: cn=bar,cn=schema,cn=config\r\n"
    "objectClass: olcSchemaConfig\r\n"
    "olcAttributeTypes: {0}( BaseAt:2 NAME 'barName' SUP fooName SINGLE-VALUE )\r\n"
    "olcObjectClasses: {0}( Base:2.1 NAME 'fooThing' SUP top STRUCTURAL MUST fooName MAY (\r\n"
    "  barName $ description ) )\r\n";

TEST(SchemaFile, EveryFormGivesTheSameDefinitions) {
  // top and description come from a source loaded before
  const std::string prerequisites =
      "attributetype ( 2.5.4.0 NAME 'objectClass' SYNTAX 1.3.6.1.4.1.1466.115.121.1.38 )\n"
      "attributetype ( 2.5.4.13 NAME 'description' SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )\n"
      "objectclass ( 2.5.6.0 NAME 'top' ABSTRACT MUST objectClass )\n";
  for (const char* form : {kSchemaForm, kSubschemaForm, kConfigForm}) {
    Loaded loaded = LoadText(prerequisites);
    ASSERT_EQ(AddSchemaText(loaded.schema, form, "form", loaded.problems),
              3u + (form != kSubschemaForm ? 2u : 0u));
    loaded.unresolved = loaded.schema.Resolve(loaded.problems);
    EXPECT_TRUE(loaded.problems.empty()) << form << Describe(loaded.problems);
    const AttributeType* foo = loaded.schema.FindAttribute("FOO");
    const AttributeType* bar = loaded.schema.FindAttribute("1.1.9.1.2");
    const ObjectClass* thing = loaded.schema.FindClass("fooThing");
    ASSERT_TRUE(foo && bar && thing) << form;
    EXPECT_EQ(foo->oid, "1.1.9.1.1");
    EXPECT_EQ(foo->syntax, "1.3.6.1.4.1.1466.115.121.1.15");
    EXPECT_EQ(bar->syntax, foo->syntax);
    EXPECT_EQ(bar->equality, "caseIgnoreMatch");
    EXPECT_TRUE(bar->singleValue && !foo->singleValue);
    EXPECT_EQ(thing->oid, "1.1.9.2.1");
    ASSERT_EQ(thing->must.size(), 2u);
    EXPECT_EQ(thing->must[1], foo);
    ASSERT_EQ(thing->may.size(), 2u);
    EXPECT_EQ(thing->may[0], bar);
  }
}

TEST(SchemaFile, ProblemsNameTheLineTheDefinitionStartsOn) {
  const std::string base =
      "attributetype ( 2.5.4.41 NAME 'name' SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )\n";
  const struct {
    const char* name;
    std::string text;
    std::size_t line;
    const char* message;
    const char* stillThere;  // a later definition that loads all the same
  } cases[] = {
      {"UnparsableType", "attributetype ( 1.2.3 NAME 'x' BOGUS )\n", 2,
       "cannot parse attribute type", "later"},
      {"UnbalancedClass", "objectclass ( 1.2.4 NAME 'c' MUST ( name $ \n  name\n", 2,
       "cannot parse object class", "later"},
      {"ContinuedDefinition", "attributetype ( 1.2.3 NAME 'x'\n SUP nothing )\n", 2,
       "attribute type 'x': superior 'nothing' is not defined", "x"},
      {"MustNamesNothing", "\n# c\nobjectclass ( 1.2.4 NAME 'c' MUST ( name $ missing ) )\n", 4,
       "object class 'c': MUST type 'missing' is not defined", "c"},
      {"SupNamesNothing", "objectclass ( 1.2.4 NAME 'c' SUP gone MAY name )\n", 2,
       "superior 'gone' is not defined", "c"},
      {"NoOid", "attributetype ( NAME 'x' SUP name )\n", 2, "has no OID", "later"},
      {"SyntaxCutShort", "attributetype ( 1.2.3 NAME 'x' SYNTAX)\n", 2,
       "cannot parse attribute type", "later"},
      {"UnknownMacro", "attributetype ( Nope:1 NAME 'x' SUP name )\n", 2,
       "'Nope:1' is neither an OID nor an OID macro", "later"},
      {"NoSyntaxNorSup", "attributetype ( 1.2.3 NAME 'x' )\n", 2, "neither SYNTAX nor SUP",
       "later"},
      {"DuplicateName", "attributetype ( 1.2.3 NAME 'NAME' SUP name )\n", 2,
       "attribute type 'NAME' is already defined", "later"},
      {"DuplicateOid", "attributetype ( 2.5.4.41 NAME 'other' SUP name )\n", 2,
       "2.5.4.41 is already defined", "later"},
      {"SupLoop", "attributetype ( 1.2.3 NAME 'x' SUP x )\n", 2, "leads back to it", "x"},
      {"UnknownKeyword", "attributetipe ( 1.2.3 NAME 'x' SUP name )\n", 2,
       "unknown keyword 'attributetipe'", "later"},
      {"BadMacro", "objectIdentifier onlyName\n", 2, "an OID macro takes a name and an OID",
       "later"},
      {"NulByte", std::string("attributetype ( 1.2.3 NAME 'x' SUP name )\n\0x", 44), 3, "NUL byte",
       "x"},
      {"AuxiliaryUnderStructural",
       "objectclass ( 1.2.5 NAME 's' STRUCTURAL )\n"
       "objectclass ( 1.2.6 NAME 'a' SUP s AUXILIARY )\n",
       3, "cannot inherit from 's'", "a"},
  };
  for (const auto& c : cases) {
    std::string text = base + c.text;
    if (std::string(c.name) != "NulByte") {
      text += "attributetype ( 1.9.9 NAME 'later' SUP name )\n";
    }
    Loaded loaded = LoadText(text);
    ASSERT_EQ(loaded.problems.size(), 1u) << c.name << "\n" << Describe(loaded.problems);
    EXPECT_EQ(loaded.problems[0].source, "test.schema") << c.name;
    EXPECT_EQ(loaded.problems[0].line, c.line) << c.name;
    EXPECT_NE(loaded.problems[0].message.find(c.message), std::string::npos)
        << c.name << ": " << loaded.problems[0].message;
    const bool found = loaded.schema.FindAttribute(c.stillThere) != nullptr ||
                       loaded.schema.FindClass(c.stillThere) != nullptr;
    EXPECT_TRUE(found) << c.name;
  }
}

TEST(SchemaFile, LdifProblemsNameTheirLine) {
  const struct {
    const char* name;
    const char* text;
    std::size_t line;
    const char* message;
  } cases[] = {
      {"FoldedValue", "dn: cn=subschema\nattributeTypes: ( 1.2.3 NAME 'x'\n  SUP missing )\n", 2,
       "superior 'missing' is not defined"},
      {"AfterFoldedComment",
       "dn: cn=subschema\n# a comment\n  folded\nobjectClasses: ( 1.2.4 NAME 'c' MAY y )\n", 4,
       "MAY type 'y' is not defined"},
      {"BadBase64", "dn: cn=subschema\n\nattributeTypes:: ***\n", 3, "not valid Base64"},
      {"NoColon", "dn: cn=subschema\nattributeTypes ( 1.2.3 )\n", 2, "not an LDIF line"},
      {"UrlValue", "dn: cn=subschema\nattributeTypes:< file:///etc/passwd\n", 2,
       "values given by URL are not read"},
      {"SecondEntry",
       "dn: cn=a,cn=schema,cn=config\ncn: a\n\n"
       "dn: cn=b,cn=schema,cn=config\nolcObjectClasses: {7}( 1.2.4 NAME 'c' MUST y )\n",
       5, "MUST type 'y' is not defined"},
  };
  for (const auto& c : cases) {
    Loaded loaded = LoadText(c.text);
    ASSERT_EQ(loaded.problems.size(), 1u) << c.name << "\n" << Describe(loaded.problems);
    EXPECT_EQ(loaded.problems[0].line, c.line) << c.name;
    EXPECT_NE(loaded.problems[0].message.find(c.message), std::string::npos)
        << c.name << ": " << loaded.problems[0].message;
  }
}

TEST(SchemaFile, MacrosExpandWhereAnOidStands) {
  Loaded loaded = LoadText(
      "objectidentifier Root 1.3.6.1.4.1.99999\n"
      "objectidentifier Attr Root:1\n"
      "objectidentifier DirStr 1.3.6.1.4.1.1466.115.121.1.15\n"
      "objectidentifier whole Attr:7\n"
      "objectidentifier Root 1.3.6.1.4.1.99999\n"  // the same again is no conflict
      "attributetype ( Attr:1 NAME 'a' DESC 'Root:1 stays' SYNTAX DirStr{128} )\n"
      "attributetype ( whole NAME 'whole' SUP a )\n"
      "attributetype ( Attr:3 NAME 'Root' SUP a )\n"
      "objectclass ( Root:2.1 NAME 'k' AUXILIARY MAY ( Root $ whole ) )\n");
  EXPECT_TRUE(loaded.problems.empty()) << Describe(loaded.problems);
  const struct {
    const char* name;
    const char* oid;
  } cases[] = {{"a", "1.3.6.1.4.1.99999.1.1"},
               {"whole", "1.3.6.1.4.1.99999.1.7"},
               {"Root", "1.3.6.1.4.1.99999.1.3"}};
  for (const auto& c : cases) {
    const AttributeType* type = loaded.schema.FindAttribute(c.name);
    ASSERT_NE(type, nullptr) << c.name;
    EXPECT_EQ(type->oid, c.oid);
    EXPECT_EQ(type->syntax, "1.3.6.1.4.1.1466.115.121.1.15") << c.name;
  }
  const ObjectClass* k = loaded.schema.FindClass("1.3.6.1.4.1.99999.2.1");
  ASSERT_NE(k, nullptr);
  ASSERT_EQ(k->may.size(), 2u);  // a bare macro name in MAY is still the type of that name
  EXPECT_EQ(k->may[0]->Name(), "Root");

  Loaded clash = LoadText("objectidentifier R 1.2\nobjectidentifier R 1.3\n");
  ASSERT_EQ(clash.problems.size(), 1u);
  EXPECT_EQ(clash.problems[0].line, 2u);
  EXPECT_NE(clash.problems[0].message.find("already defined as 1.2"), std::string::npos);
}

TEST(SchemaFile, RestatedDefinitionsAreNoConflict) {
  const char* text =
      "attributetype ( 2.5.4.41 NAME 'name' SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )\n"
      "attributetype ( 2.5.4.3 NAME ( 'cn' 'commonName' ) SUP name )\n";
  Loaded loaded = LoadText(text);
  AddSchemaText(loaded.schema, text, "again", loaded.problems);
  AddSchemaText(loaded.schema, "attributetype ( 2.5.4.3 NAME 'cn' SUP name )\n", "short",
                loaded.problems);
  loaded.schema.Resolve(loaded.problems);
  EXPECT_EQ(loaded.schema.Attributes().size(), 2u);
  ASSERT_EQ(loaded.problems.size(), 1u) << Describe(loaded.problems);
  EXPECT_EQ(loaded.problems[0].source, "short");
}

TEST(SchemaFile, FilesThatCannotBeUsedAreErrors) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "schema_file_test";
  std::filesystem::create_directories(dir);
  const std::string empty = (dir / "empty.schema").string();
  std::ofstream(empty) << "# nothing here\n";
  const std::string addressBook = (dir / "book.ldif").string();
  std::ofstream(addressBook) << "dn: cn=a\ncn: a\nmail: a@example.org\n";
  const struct {
    std::string path;
    std::string error;
  } cases[] = {
      {(dir / "missing.schema").string(), "cannot read schema file " +
                                              (dir / "missing.schema").string() +
                                              ": No such file or directory"},
      {dir.string(), "cannot read schema file " + dir.string() + ": Is a directory"},
      {empty, "schema file " + empty + " holds no attribute types, object classes or OID macros"},
      {addressBook,
       "schema file " + addressBook + " holds no attribute types, object classes or OID macros"},
  };
  for (const auto& c : cases) {
    Schema schema;
    std::vector<SchemaProblem> problems;
    std::string error;
    EXPECT_FALSE(AddSchemaFile(schema, c.path, problems, error));
    EXPECT_EQ(error, c.error);
    EXPECT_TRUE(schema.empty());
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace quorvane
