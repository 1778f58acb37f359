// Tests the schema model: parsing, lookup, inheritance, and what a class allows and requires.
#include "schema/schema.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvane {
namespace {

constexpr const char* kTypes[] = {
    "( 2.5.4.0 NAME 'objectClass' EQUALITY objectIdentifierMatch"
    " SYNTAX 1.3.6.1.4.1.1466.115.121.1.38 )",
    "( 2.5.4.41 NAME 'name' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch"
    " SYNTAX 1.3.6.1.4.1.1466.115.121.1.15{32768} )",
    "( 2.5.4.3 NAME ( 'cn' 'commonName' ) SUP name )",
    "( 2.5.4.4 NAME ( 'sn' 'surname' ) SUP name )",
    "( 2.5.4.42 NAME ( 'givenName' 'gn' ) SUP name )",
    "( 2.5.4.13 NAME 'description' EQUALITY caseIgnoreMatch"
    " SYNTAX 1.3.6.1.4.1.1466.115.121.1.15{1024} )",
    "( 2.5.4.20 NAME 'telephoneNumber' EQUALITY telephoneNumberMatch"
    " SYNTAX 1.3.6.1.4.1.1466.115.121.1.50{32} )",
    "( 2.5.4.12 NAME 'title' SUP name )",
    "( 0.9.2342.19200300.100.1.3 NAME ( 'mail' 'rfc822Mailbox' ) EQUALITY caseIgnoreIA5Match"
    " SYNTAX 1.3.6.1.4.1.1466.115.121.1.26{256} )",
    "( 2.5.4.31 NAME 'member' SUP distinguishedName )",
    "( 2.5.4.49 NAME 'distinguishedName' EQUALITY distinguishedNameMatch"
    " SYNTAX 1.3.6.1.4.1.1466.115.121.1.12 )",
    "( 2.5.18.1 NAME 'createTimestamp' EQUALITY generalizedTimeMatch"
    " SYNTAX 1.3.6.1.4.1.1466.115.121.1.24 SINGLE-VALUE NO-USER-MODIFICATION"
    " USAGE directoryOperation )",
    "( 1.1.1 NAME 'nickName' SUP givenName EQUALITY caseExactMatch SINGLE-VALUE )",
};
constexpr const char* kClasses[] = {
    "( 2.5.6.0 NAME 'top' ABSTRACT MUST objectClass )",
    "( 2.5.6.6 NAME 'person' SUP top STRUCTURAL MUST ( sn $ cn )"
    " MAY ( telephoneNumber $ description ) )",
    "( 2.5.6.7 NAME 'organizationalPerson' SUP person STRUCTURAL MAY ( title $ cn ) )",
    "( 2.16.840.1.113730.3.2.2 NAME 'inetOrgPerson' SUP organizationalPerson STRUCTURAL"
    " MAY ( mail $ givenName $ sn ) )",
    "( 2.5.6.9 NAME 'groupOfNames' SUP top STRUCTURAL MUST ( member $ cn ) MAY description )",
    "( 1.3.6.1.4.1.1466.101.120.111 NAME 'extensibleObject' SUP top AUXILIARY )",
    "( 1.1.2 NAME 'noSup' MUST description )",
};

class SchemaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::size_t line = 1;
    for (const char* type : kTypes) schema.AddAttributeType(type, "test", line++, problems);
    for (const char* kind : kClasses) schema.AddObjectClass(kind, "test", line++, problems);
    unresolved = schema.Resolve(problems);
  }
  const AttributeType& Type(std::string_view name) {
    const AttributeType* type = schema.FindAttribute(name);
    EXPECT_NE(type, nullptr) << name;
    return *type;
  }
  const ObjectClass& Class(std::string_view name) {
    const ObjectClass* kind = schema.FindClass(name);
    EXPECT_NE(kind, nullptr) << name;
    return *kind;
  }
  static std::vector<std::string> Names(const std::vector<const AttributeType*>& types) {
    std::vector<std::string> names;
    for (const AttributeType* type : types) names.emplace_back(type->Name());
    return names;
  }

  Schema schema;
  std::vector<SchemaProblem> problems;
  std::vector<std::string> unresolved;
};

TEST_F(SchemaTest, LoadsWithoutProblems) {
  EXPECT_TRUE(problems.empty()) << problems.front().message;
  EXPECT_TRUE(unresolved.empty());
}

TEST_F(SchemaTest, FindsEveryNameAndOidInAnyCase) {
  const struct {
    const char* key;
    const char* name;
  } cases[] = {
      {"cn", "cn"},         {"CN", "cn"},        {"commonName", "cn"},
      {"COMMONNAME", "cn"}, {"2.5.4.3", "cn"},   {"rfc822mailbox", "mail"},
      {"Surname", "sn"},    {"GN", "givenName"}, {"0.9.2342.19200300.100.1.3", "mail"},
  };
  for (const auto& c : cases) {
    const AttributeType* type = schema.FindAttribute(c.key);
    ASSERT_NE(type, nullptr) << c.key;
    EXPECT_EQ(type->Name(), c.name) << c.key;
  }
  EXPECT_EQ(schema.FindAttribute("c"), nullptr);
  EXPECT_EQ(schema.FindAttribute("2.5.4"), nullptr);
  EXPECT_EQ(Class("INETORGPERSON").oid, "2.16.840.1.113730.3.2.2");
  EXPECT_EQ(&Class("2.5.6.6"), &Class("Person"));
  EXPECT_EQ(schema.FindClass("cn"), nullptr);  // types and classes are apart
}

TEST_F(SchemaTest, SyntaxAndEqualityComeFromTheNearestSuperiorThatGivesThem) {
  const struct {
    const char* name;
    const char* syntax;
    const char* equality;
    const char* superior;
  } cases[] = {
      {"name", "1.3.6.1.4.1.1466.115.121.1.15", "caseIgnoreMatch", ""},
      {"cn", "1.3.6.1.4.1.1466.115.121.1.15", "caseIgnoreMatch", "name"},
      {"givenName", "1.3.6.1.4.1.1466.115.121.1.15", "caseIgnoreMatch", "name"},
      // two levels up for the syntax, its own equality
      {"nickName", "1.3.6.1.4.1.1466.115.121.1.15", "caseExactMatch", "givenName"},
      // the superior is defined after the type that names it
      {"member", "1.3.6.1.4.1.1466.115.121.1.12", "distinguishedNameMatch", "distinguishedName"},
      {"telephoneNumber", "1.3.6.1.4.1.1466.115.121.1.50", "telephoneNumberMatch", ""},
  };
  for (const auto& c : cases) {
    const AttributeType& type = Type(c.name);
    EXPECT_EQ(type.syntax, c.syntax) << c.name;
    EXPECT_EQ(type.equality, c.equality) << c.name;
    EXPECT_EQ(type.superior == nullptr ? "" : type.superior->Name(), c.superior) << c.name;
  }
}

TEST_F(SchemaTest, FlagsAreTaken) {
  const AttributeType& created = Type("createTimestamp");
  EXPECT_TRUE(created.operational && created.singleValue && created.noUserModification);
  const AttributeType& nick = Type("nickName");
  EXPECT_TRUE(nick.singleValue);
  EXPECT_FALSE(nick.operational || nick.noUserModification || nick.obsolete);
  EXPECT_FALSE(Type("name").singleValue);  // not inherited by cn either
  EXPECT_EQ(Class("top").kind, ClassKind::kAbstract);
  EXPECT_EQ(Class("extensibleObject").kind, ClassKind::kAuxiliary);
  EXPECT_EQ(Class("person").kind, ClassKind::kStructural);
}

TEST_F(SchemaTest, MustAndMayIncludeTheSuperiorsEachTypeOnce) {
  const struct {
    const char* kind;
    std::vector<std::string> must;
    std::vector<std::string> may;
  } cases[] = {
      {"top", {"objectClass"}, {}},
      {"person", {"objectClass", "sn", "cn"}, {"telephoneNumber", "description"}},
      // cn is required by person, so its MAY does not list it again
      {"organizationalPerson",
       {"objectClass", "sn", "cn"},
       {"telephoneNumber", "description", "title"}},
      {"inetOrgPerson",
       {"objectClass", "sn", "cn"},
       {"telephoneNumber", "description", "title", "mail", "givenName"}},
      {"groupOfNames", {"objectClass", "member", "cn"}, {"description"}},
      // a structural class that names no superior inherits from top
      {"noSup", {"objectClass", "description"}, {}},
  };
  for (const auto& c : cases) {
    const ObjectClass& kind = Class(c.kind);
    EXPECT_EQ(Names(kind.must), c.must) << c.kind;
    EXPECT_EQ(Names(kind.may), c.may) << c.kind;
  }
}

TEST_F(SchemaTest, AllowsAndRequiresAsTheDirectoryDecides) {
  const struct {
    const char* kind;
    const char* type;
    bool allows;
    bool required;
  } cases[] = {
      {"person", "cn", true, true},
      {"person", "commonName", true, true},
      {"person", "objectClass", true, true},
      {"person", "description", true, false},
      {"person", "mail", false, false},
      {"person", "title", false, false},
      {"person", "name", false, false},            // a superior of an allowed type is not allowed
      {"person", "givenName", false, false},       // nor is a subtype of one
      {"person", "createTimestamp", true, false},  // operational types are the server's
      {"organizationalPerson", "title", true, false},
      {"organizationalPerson", "sn", true, true},
      {"organizationalPerson", "telephoneNumber", true, false},
      {"inetOrgPerson", "mail", true, false},
      {"inetOrgPerson", "sn", true, true},  // listed in MAY too, still required
      {"inetOrgPerson", "nickName", false, false},
      {"inetOrgPerson", "member", false, false},
      {"groupOfNames", "member", true, true},
      {"groupOfNames", "distinguishedName", false, false},
      {"groupOfNames", "mail", false, false},
      {"extensibleObject", "mail", true, false},
      {"extensibleObject", "nickName", true, false},
      {"extensibleObject", "objectClass", true, true},
      {"top", "objectClass", true, true},
      {"top", "cn", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Schema::Allows(Class(c.kind), Type(c.type)), c.allows) << c.kind << " " << c.type;
    EXPECT_EQ(Schema::Requires(Class(c.kind), Type(c.type)), c.required) << c.kind << " " << c.type;
  }
}

TEST_F(SchemaTest, AMovedSchemaKeepsItsDefinitionsAndTheOldOneTakesNewOnes) {
  const AttributeType* cn = schema.FindAttribute("cn");
  Schema moved = std::move(schema);
  EXPECT_EQ(moved.FindAttribute("commonName"), cn);
  EXPECT_EQ(moved.FindClass("person")->must.size(), 3u);
  schema = Schema();
  schema.AddAttributeType("( 1.2.3 NAME 'x' SUP cn )", "test", 1, problems);
  Schema other = std::move(schema);
  schema.AddAttributeType("( 1.2.4 NAME 'y' SYNTAX 1.2 )", "test", 2, problems);
  EXPECT_EQ(other.Resolve(problems), std::vector<std::string>{"cn"});
  EXPECT_TRUE(schema.Resolve(problems).empty());
  EXPECT_NE(schema.FindAttribute("y"), nullptr);
}

TEST_F(SchemaTest, SubclassesFollowEverySuperior) {
  EXPECT_TRUE(Schema::IsSubclassOf(Class("inetOrgPerson"), Class("person")));
  EXPECT_TRUE(Schema::IsSubclassOf(Class("inetOrgPerson"), Class("top")));
  EXPECT_TRUE(Schema::IsSubclassOf(Class("person"), Class("person")));
  EXPECT_TRUE(Schema::IsSubclassOf(Class("noSup"), Class("top")));
  EXPECT_FALSE(Schema::IsSubclassOf(Class("person"), Class("inetOrgPerson")));
  EXPECT_FALSE(Schema::IsSubclassOf(Class("groupOfNames"), Class("person")));
}

}  // namespace
}  // namespace quorvane
