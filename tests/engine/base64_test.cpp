// Base64 decoding of DN lines: lenient about characters, strict about length.
#include "engine/base64.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/error.h"

namespace quorvane {
namespace {

TEST(Base64, DecodesWithPadding) {
  const struct {
    const char* text;
    std::string bytes;
  } cases[] = {
      {"Y249Sm9l", "cn=Joe"},
      {"YWJj", "abc"},
      {"YWI=", "ab"},
      {"YQ==", "a"},
      {"====", ""},
      {"YQ======", ""},  // every "=" removes a byte, not at most two
      {"AAECAwQF", std::string("\0\1\2\3\4\5", 6)},
      {"/+/+", "\xFF\xEF\xFE"},
      {"w6k=", "\xC3\xA9"},
  };
  for (const auto& c : cases) EXPECT_EQ(Base64ToStr(c.text), c.bytes) << c.text;
}

TEST(Base64, RejectsLengthsThatAreNotWholeGroups) {
  for (const char* text : {"", "a", "abc", "abcde", "YWJjZA", "YWJj ", " YWJj\n"}) {
    try {
      Base64ToStr(text);
      ADD_FAILURE() << "no error for \"" << text << "\"";
    } catch (const Error& error) {
      EXPECT_STREQ(error.what(), "Base64ToStr: illegal input length!") << text;
    }
    // The form that does not throw says the same, and leaves nothing of an earlier value.
    std::string out = "earlier";
    EXPECT_FALSE(TryBase64ToStr(text, out)) << text;
    EXPECT_EQ(out, "") << text;
  }
  std::string out = "earlier";
  EXPECT_TRUE(TryBase64ToStr("YWI=", out));
  EXPECT_EQ(out, "ab");
}

TEST(Base64, CharactersOutsideTheAlphabetCountAs61) {
  for (char c : {'-', '_', ' ', '=', '*', '\x80'}) EXPECT_EQ(Base64CharIndex(c), 61) << c;
  EXPECT_EQ(Base64CharIndex('A'), 0);
  EXPECT_EQ(Base64CharIndex('a'), 26);
  EXPECT_EQ(Base64CharIndex('0'), 52);
  EXPECT_EQ(Base64CharIndex('+'), 62);
  EXPECT_EQ(Base64CharIndex('/'), 63);
  // "-" in place of "9" (61): the group still yields its three bytes.
  EXPECT_EQ(Base64ToStr("Y24-"), Base64ToStr("Y249"));
  EXPECT_EQ(Base64ToStr("Y24-").size(), 3u);
}

TEST(Base64, AppendingDecoderKeepsWhatWasThere) {
  std::string out = "dn: ";
  AppendBase64Decoded("Y249Sm9l", out);
  EXPECT_EQ(out, "dn: cn=Joe");
  // Padding removes decoded bytes only, never the text before them.
  AppendBase64Decoded("YQ======", out);
  EXPECT_EQ(out, "dn: cn=Joe");
  EXPECT_THROW(AppendBase64Decoded("Y249Sm9", out), Error);
  EXPECT_EQ(out, "dn: cn=Joe");
  AppendBase64Decoded("/+/+", out);
  EXPECT_EQ(out, "dn: cn=Joe\xFF\xEF\xFE");
}

TEST(Base64, EncoderRoundTrips) {
  EXPECT_EQ(StrToBase64(""), "");
  EXPECT_EQ(StrToBase64("a"), "YQ==");
  EXPECT_EQ(StrToBase64("ab"), "YWI=");
  EXPECT_EQ(StrToBase64("cn=Joe"), "Y249Sm9l");
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  for (std::size_t n = 0; n < 6; ++n) {
    const std::string bytes = all.substr(n);
    EXPECT_EQ(Base64ToStr(StrToBase64(bytes)), bytes) << n;
  }
  std::string line = "cn:: ";
  AppendBase64Encoded("cn=Joe", line);
  AppendBase64Encoded("ab", line);
  EXPECT_EQ(line, "cn:: Y249Sm9lYWI=");
}

}  // namespace
}  // namespace quorvane
