// The run's DN keys: order, lookup as the directory compares DNs, and many or long keys.
#include "engine/used_dns.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvane {
namespace {

TEST(UsedDNs, LookupComparesDNsAsTheDirectory) {
  UsedDNs keys;
  keys.AddIfAbsent("dn: cn=John Doe+mail=J.Doe@Example.org");
  keys.AddIfAbsent("dn: cn=Jos\\C3\\A9");
  keys.AddIfAbsent("dn: cn=Stra\\C3\\9Fe");
  keys.AddIfAbsent("dn: cn=\\CE\\9F\\CE\\94\\CE\\9F\\CE\\A3");  // ΟΔΟΣ
  keys.AddIfAbsent("dn: cn=Doe\\, Jane");
  keys.AddIfAbsent("dn: cn=a,=b");  // no DN: its bytes
  keys.AddIfAbsent("");
  struct Case {
    const char* key;
    bool found;
  } cases[] = {
      {"dn: cn=John Doe+mail=J.Doe@Example.org", true},
      {"DN: CN=JOHN DOE+MAIL=J.DOE@EXAMPLE.ORG", false},  // not a key of the run at all
      {"dn: CN=JOHN DOE+MAIL=J.DOE@EXAMPLE.ORG", true},
      {"dn: mail=j.doe@example.org+cn=john doe", true},    // RDN parts in any order
      {"dn: commonName=John  Doe+mail=j.doe@example.org", true},
      {"dn: cn=John Doe+mail=J.Doe@Example.or", false},
      {"dn: cn=John Doe", false},
      {"dn: cn=JOS\\C3\\89", true},                        // É and é
      {"dn: cn=jos\xC3\xA9", true},                        // the same letter unescaped
      {"dn: cn=Jose\\CC\\81", true},                       // e and a combining acute
      {"dn: cn=Jose", false},
      {"dn: cn=STRASSE", false},                           // ß is not ss
      {"dn: cn=stra\\C3\\9Fe", true},
      {"dn: cn=\\CE\\BF\\CE\\B4\\CE\\BF\\CF\\83", true},   // οδοσ
      {"dn: cn=\\CE\\BF\\CE\\B4\\CE\\BF\\CF\\82", false},  // οδος: the final sigma stays
      {"dn: cn=doe\\2C jane", true},
      {"dn: cn=doe, jane", false},
      {"dn: cn=a,=b", true},
      {"dn: cn=A,=b", false},
      {"", true},
  };
  for (const Case& c : cases) EXPECT_EQ(keys.Contains(c.key), c.found) << c.key;
}

TEST(UsedDNs, KeepsEveryNewKeyInOrderAsGiven) {
  UsedDNs keys;
  EXPECT_TRUE(keys.AddIfAbsent("dn: cn=A"));
  EXPECT_TRUE(keys.AddIfAbsent("dn: cn=B"));
  EXPECT_FALSE(keys.AddIfAbsent("dn: CN=a"));
  EXPECT_FALSE(keys.AddIfAbsent("dn: commonName=b"));
  EXPECT_TRUE(keys.AddIfAbsent("dn: cn=D"));
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[0], "dn: cn=A");
  EXPECT_EQ(keys[1], "dn: cn=B");
  EXPECT_EQ(keys[2], "dn: cn=D");
  keys.Clear();
  EXPECT_TRUE(keys.empty());
  EXPECT_FALSE(keys.Contains("dn: cn=A"));
  EXPECT_TRUE(keys.AddIfAbsent("dn: cn=C"));
  EXPECT_TRUE(keys.Contains("dn: cn=c"));
  EXPECT_EQ(keys[0], "dn: cn=C");
  // Room made for a large text keeps what is there and changes no answer.
  keys.ReserveFor(std::size_t{64} << 20);
  EXPECT_TRUE(keys.Contains("dn: cn=c"));
  EXPECT_FALSE(keys.AddIfAbsent("dn: CN=C"));
  EXPECT_TRUE(keys.AddIfAbsent("dn: cn=E"));
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[1], "dn: cn=E");
}

TEST(UsedDNs, AnotherSchemaComparesTheKeysByItsTypes) {
  Schema own;
  std::vector<SchemaProblem> problems;
  own.AddAttributeType("( 1.2.3.4 NAME ( 'nick' 'alias' ) EQUALITY caseExactMatch "
                       "SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )", "test",
                       1, problems);
  own.Resolve(problems);
  ASSERT_TRUE(problems.empty()) << problems.front().message;
  UsedDNs keys;
  EXPECT_TRUE(keys.AddIfAbsent("dn: nick=Bo"));
  EXPECT_TRUE(keys.AddIfAbsent("dn: alias=Bo"));  // unknown to the built-in schema
  EXPECT_TRUE(keys.AddIfAbsent("dn: nick=bo"));
  // Under the schema that knows them, nick and alias are one type whose case counts.
  EXPECT_TRUE(keys.Contains("dn: ALIAS=Bo", &own));
  EXPECT_TRUE(keys.Contains("dn: 1.2.3.4=bo", &own));
  EXPECT_FALSE(keys.Contains("dn: nick=BO", &own));
  EXPECT_FALSE(keys.AddIfAbsent("dn: alias=bo", &own));
}

// A key is prepared once for its hash and compared from that; the same bytes under another
// schema are prepared anew, never taken from the last schema's form.
TEST(UsedDNs, TheSameKeyUnderAnotherSchemaIsPreparedAgain) {
  Schema own;
  std::vector<SchemaProblem> problems;
  own.AddAttributeType("( 1.2.3.4 NAME 'nick' EQUALITY caseIgnoreMatch "
                       "SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )",
                       "test", 1, problems);
  own.Resolve(problems);
  ASSERT_TRUE(problems.empty()) << problems.front().message;
  UsedDNs keys;
  EXPECT_TRUE(keys.AddIfAbsent("dn: nick=bo"));
  EXPECT_TRUE(keys.Contains("dn: nick=BO", &own));
  EXPECT_FALSE(keys.Contains("dn: nick=BO"));  // an unknown type: its value's bytes
  EXPECT_TRUE(keys.Contains("dn: nick=BO", &own));
  EXPECT_FALSE(keys.Contains("dn: nick=BO"));
  EXPECT_FALSE(keys.AddIfAbsent("dn: NICK=Bo", &own));
  EXPECT_TRUE(keys.AddIfAbsent("dn: nick=Bo"));
  keys.Clear();
  EXPECT_FALSE(keys.Contains("dn: nick=Bo"));
  EXPECT_TRUE(keys.AddIfAbsent("dn: nick=BO"));
  EXPECT_FALSE(keys.AddIfAbsent("dn: nick=BO"));
  EXPECT_TRUE(keys.AddIfAbsent("dn: nick=bo"));
}

TEST(UsedDNs, ManyAndLongKeysStayFindable) {
  UsedDNs keys;
  const std::string longKey = "dn: cn=" + std::string(600000, 'x');
  constexpr int kCount = 200000;
  for (int i = 0; i < kCount; ++i) {
    keys.AddIfAbsent("dn: cn=Person " + std::to_string(i) + "+mail=p" + std::to_string(i) +
                     "@example.org");
    if (i == kCount / 2) keys.AddIfAbsent(longKey);
  }
  ASSERT_EQ(keys.size(), static_cast<std::size_t>(kCount + 1));
  for (int i = 0; i < kCount; i += 997) {
    EXPECT_TRUE(keys.Contains("dn: CN=PERSON " + std::to_string(i) + "+MAIL=P" +
                              std::to_string(i) + "@EXAMPLE.ORG"));
  }
  EXPECT_FALSE(keys.Contains("dn: cn=Person 200000+mail=p200000@example.org"));
  EXPECT_TRUE(keys.Contains(longKey));
  EXPECT_EQ(keys[kCount / 2 + 1], longKey);
  EXPECT_EQ(keys[kCount], "dn: cn=Person 199999+mail=p199999@example.org");
}

}  // namespace
}  // namespace quorvane
