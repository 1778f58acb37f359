// Case-insensitive comparison of byte strings.
#include "engine/text.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

namespace quorvane {
namespace {

TEST(EqualsNoCase, MatchesTheByteRuleAtEveryLengthAndPosition) {
  // Short and long texts; at each position a byte that differs, in case only or not.
  const std::string base = "cn=Doe\\, John+MAIL=john@example.org,dc=x";
  for (std::size_t size = 0; size <= 33; ++size) {
    const std::string a = base.substr(0, size);
    std::string upper = a;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(EqualsNoCase(a, upper)) << a;
    EXPECT_FALSE(EqualsNoCase(a, a + "x")) << a;
    for (std::size_t at = 0; at < size; ++at) {
      for (const int value : {int{'@'}, int{'['}, int{'`'}, int{'{'}, 0x80, 0xC1, 0xE1, 0}) {
        std::string b = upper;
        b[at] = static_cast<char>(value);
        const bool same = LowerAscii(b[at]) == LowerAscii(a[at]);
        ASSERT_EQ(EqualsNoCase(a, b), same) << size << " at " << at << " byte " << value;
        ASSERT_EQ(EqualsNoCase(b, a), same) << size << " at " << at << " byte " << value;
      }
    }
  }
  // Bytes above 127 are never folded, even where their low seven bits spell a capital.
  EXPECT_FALSE(EqualsNoCase("\xC1\xC1\xC1\xC1\xC1\xC1\xC1\xC1\xC1", "\xE1\xE1\xE1\xE1\xE1\xE1\xE1\xE1\xE1"));
}

}  // namespace
}  // namespace quorvane
