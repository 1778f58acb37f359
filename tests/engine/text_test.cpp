// Trimming and case-insensitive comparison of byte strings.
#include "engine/text.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <string_view>

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

TEST(Trim, RemovesBytesUpToSpaceFromEachEnd) {
  const struct {
    std::string_view text, start, end, both;
  } cases[] = {
      {"", "", "", ""},
      {" \t\r\n", "", "", ""},
      {"a", "a", "a", "a"},
      {" \x01x y\x1F ", "x y\x1F ", " \x01x y", "x y"},
      {std::string_view("\0x\0", 3), std::string_view("x\0", 2), std::string_view("\0x", 2), "x"},
      // DEL and bytes from 0x80 on are text, however a char is signed.
      {"\x7F\x80 \xA0\xFF", "\x7F\x80 \xA0\xFF", "\x7F\x80 \xA0\xFF", "\x7F\x80 \xA0\xFF"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TrimStartView(c.text), c.start) << c.text;
    EXPECT_EQ(TrimEndView(c.text), c.end) << c.text;
    EXPECT_EQ(TrimView(c.text), c.both) << c.text;
    EXPECT_EQ(Trim(c.text), c.both) << c.text;
  }
  // A view into the text it trims: the bytes left are the text's own.
  const std::string_view text = "  kept  ";
  EXPECT_EQ(TrimView(text).data(), text.data() + 2);
}

}  // namespace
}  // namespace quorvane
