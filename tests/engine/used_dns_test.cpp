// The run's DN keys: order, case-insensitive lookup, and many or long keys.
#include "engine/used_dns.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvane {
namespace {

TEST(UsedDNs, LookupFoldsAsciiLettersOnly) {
  UsedDNs keys;
  keys.AddIfAbsent("dn: cn=John Doe+mail=J.Doe@Example.org");
  keys.AddIfAbsent("dn: cn=Jos\xC3\xA9");
  keys.AddIfAbsent("");
  struct Case {
    const char* key;
    bool found;
  } cases[] = {
      {"dn: cn=John Doe+mail=J.Doe@Example.org", true},
      {"DN: CN=JOHN DOE+MAIL=J.DOE@EXAMPLE.ORG", true},
      {"dn: cn=john doe+mail=j.doe@example.org", true},
      {"dn: cn=John Doe+mail=J.Doe@Example.or", false},
      {"dn: cn=John Doe+mail=J.Doe@Example.orgx", false},
      {"dn: cn=JOS\xC3\xA9", true},
      {"dn: cn=Jos\xC3\x89", false},  // only A-Z fold; UTF-8 bytes compare as they are
      {"dn: cn=Jos\xC3", false},
      {"", true},
      {"dn: cn=John@Doe", false},  // '@' and '`' sit next to the letters; they do not fold
      {"dn: cn=John`Doe", false},
  };
  for (const Case& c : cases) EXPECT_EQ(keys.Contains(c.key), c.found) << c.key;
  EXPECT_EQ(NoCaseHash()("Mail=A@B.Example[Z]"), NoCaseHash()("mail=a@b.example[z]"));
}

TEST(UsedDNs, KeepsEveryNewKeyInOrderAsGiven) {
  UsedDNs keys;
  EXPECT_TRUE(keys.AddIfAbsent("dn: cn=A"));
  EXPECT_TRUE(keys.AddIfAbsent("dn: cn=B"));
  EXPECT_FALSE(keys.AddIfAbsent("DN: CN=a"));
  EXPECT_FALSE(keys.AddIfAbsent("dn: CN=b"));
  EXPECT_TRUE(keys.AddIfAbsent("dn: cn=D"));
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[0], "dn: cn=A");
  EXPECT_EQ(keys[1], "dn: cn=B");
  EXPECT_EQ(keys[2], "dn: cn=D");
  keys.Clear();
  EXPECT_TRUE(keys.empty());
  EXPECT_FALSE(keys.Contains("dn: cn=A"));
  EXPECT_TRUE(keys.AddIfAbsent("dn: cn=C"));
  EXPECT_TRUE(keys.Contains("DN: cn=c"));
  EXPECT_EQ(keys[0], "dn: cn=C");
  // Room made for a large text keeps what is there and changes no answer.
  keys.ReserveFor(std::size_t{64} << 20);
  EXPECT_TRUE(keys.Contains("dn: cn=c"));
  EXPECT_FALSE(keys.AddIfAbsent("DN: CN=C"));
  EXPECT_TRUE(keys.AddIfAbsent("dn: cn=E"));
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[1], "dn: cn=E");
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
    EXPECT_TRUE(keys.Contains("DN: CN=PERSON " + std::to_string(i) + "+MAIL=P" +
                              std::to_string(i) + "@EXAMPLE.ORG"));
  }
  EXPECT_FALSE(keys.Contains("dn: cn=Person 200000+mail=p200000@example.org"));
  EXPECT_TRUE(keys.Contains(longKey));
  EXPECT_EQ(keys[kCount / 2 + 1], longKey);
  EXPECT_EQ(keys[kCount], "dn: cn=Person 199999+mail=p199999@example.org");
}

}  // namespace
}  // namespace quorvane
