// Value keys: which two lines of a record a directory takes for one value of one attribute.
#include "engine/value_match.h"

#include <gtest/gtest.h>

#include <string>

#include "schema/schema_sources.h"

namespace quorvane {
namespace {

TEST(ValueKey, LinesMatchAsTheDirectoryComparesValues) {
  const struct {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {"cn: John  Doe", "CN: john doe", true},
      {"cn: John Doe", "commonName: JOHN DOE", true},
      {"cn: John Doe", "sn: John Doe", false},
      {"cn;lang-de: Doe", "2.5.4.3;LANG-DE: doe", true},
      {"cn;lang-de: Doe", "cn: Doe", false},
      {"cn:: Sm9obiBEb2U=", "cn: john doe", true},                  // "John Doe" in Base64
      {"cn:: Sm9obiBEb2U", "cn:: Sm9obiBEb2U", true},               // undecodable, same text
      {"cn:: Sm9obiBEb2U", "cn: Sm9obiBEb2U", false},
      {"mail: J@Example.org", "mail: j@example.org", true},
      {"telephoneNumber: +1 555-0100", "telephoneNumber: +15550100", true},
      {"member: cn=A,dc=x", "member: CN=a, DC=X", true},
      {"seeAlso: cn=a+seeAlso=", "seeAlso: SEEALSO=+CN=A", true},  // an empty DN inside a DN
      {"seeAlso: cn=a+seeAlso=", "seeAlso: cn=b+seeAlso=", false},
      {"x-unknown: Value", "x-unknown: value", false},
      {"X-Unknown: value", "x-unknown: value", true},
  };
  for (const auto& c : cases) {
    std::string a = "stale";
    std::string b;
    ValueKey(c.a, nullptr, a);
    ValueKey(c.b, nullptr, b);
    EXPECT_EQ(a == b, c.same) << c.a << " / " << c.b;
  }
}

// A caller that knows the line's type passes it; the key must be the one the lookup gives, for
// every name of the type, with options and in Base64 too.
TEST(ValueKey, TypeGivenByTheCallerGivesTheSameKey) {
  const Schema& schema = BuiltinSchema();
  const struct {
    const char* line;
    const char* type;
  } cases[] = {
      {"cn: John  Doe", "cn"},
      {"commonName: JOHN DOE", "cn"},
      {"CN;Lang-DE: Doe", "cn"},
      {"cn:: Sm9obiBEb2U=", "cn"},
      {"mail: J@Example.org", "mail"},
      {"objectClass: InetOrgPerson", "objectClass"},
      {"member: CN=a, DC=X", "member"},
  };
  for (const auto& c : cases) {
    std::string looked;
    std::string given = "stale";
    ValueKey(c.line, &schema, looked);
    ValueKey(c.line, &schema, given, schema.FindAttribute(c.type));
    EXPECT_EQ(given, looked) << c.line;
  }
}

}  // namespace
}  // namespace quorvane
