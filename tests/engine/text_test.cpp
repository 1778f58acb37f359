// Byte-string helpers whose fast paths work on blocks of bytes: every length and position.
#include "engine/text.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

namespace quorvane {
namespace {

// Block scans go wrong at block edges and in the tail; try every length across several
// blocks, every position of the byte sought, and every start.
TEST(FindControlByte, FindsTheFirstControlByteAtEveryPositionAndStart) {
  for (const char control : {'\0', '\t', '\n', '\r', '\x01', '\x0D'}) {
    for (std::size_t length = 0; length < 80; ++length) {
      for (std::size_t at = 0; at <= length; ++at) {  // at == length: none
        std::string text(length, 'x');
        if (length > 0) text[length / 2] = '\xE9';  // bytes >= 0x80 are no control bytes
        if (at < length) text[at] = control;
        // A second one further on, in the other half of a 32-byte block, must not win.
        if (at + 17 < length) text[at + 17] = '\n';
        for (std::size_t from = 0; from <= length; ++from) {
          std::size_t expected = length;
          if (at < length && at >= from) {
            expected = at;
          } else if (at + 17 < length && at + 17 >= from) {
            expected = at + 17;
          }
          ASSERT_EQ(FindControlByte(text, from), expected)
              << "length " << length << ", control at " << at << ", from " << from;
        }
      }
    }
  }
  EXPECT_EQ(FindControlByte("no control bytes here, only text and \x0E\x1F\x20"), 40u);
}

TEST(FindByte, FindsTheFirstOccurrenceAtEveryPosition) {
  for (std::size_t length = 0; length < 50; ++length) {
    for (std::size_t first = 0; first <= length; ++first) {  // first == length: none
      std::string text(length, 'x');
      if (first < length) text[first] = ':';
      if (first + 3 < length) text[first + 3] = ':';  // a later one must not win
      ASSERT_EQ(FindByte(text, ':'), first) << "length " << length;
    }
  }
  EXPECT_EQ(FindByte("\xE9\xFF:", '\xFF'), 1u);
}

TEST(FindByte, BytesNextToTheSoughtValueAreNoMatch) {
  // Word-at-a-time searches go wrong on bytes one bit away from the sought one, or on a
  // borrow from the byte before: none of these holds a colon.
  for (const char near : {'\x3B', '\x39', '\xBA', '\x7A', '\x00', '\x80', '\xFF'}) {
    for (std::size_t length = 1; length < 40; ++length) {
      std::string text(length, near);
      ASSERT_EQ(FindByte(text, ':'), length) << int(near) << " length " << length;
      text.back() = ':';
      ASSERT_EQ(FindByte(text, ':'), length - 1) << int(near) << " length " << length;
      text[0] = ':';
      ASSERT_EQ(FindByte(text, ':'), 0u) << int(near) << " length " << length;
    }
  }
  EXPECT_EQ(FindByte(std::string_view("\0\0\0\0\0\0\0\0\0", 9), '\0'), 0u);
  EXPECT_EQ(FindByte(std::string_view("abcdefgh\0", 9), '\0'), 8u);
}

TEST(LowerAsciiWord, FoldsCapitalsOnlyInEveryByte) {
  // Every byte value in every position of the word, compared with the one-byte rule.
  for (int value = 0; value < 256; ++value) {
    for (int position = 0; position < 8; ++position) {
      unsigned char bytes[8] = {'A', 'z', '@', '[', 0x80, 0xC1, 'Z', 'a'};
      bytes[position] = static_cast<unsigned char>(value);
      std::uint64_t word;
      std::memcpy(&word, bytes, 8);
      const std::uint64_t folded = LowerAsciiWord(word);
      unsigned char out[8];
      std::memcpy(out, &folded, 8);
      for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(out[i], static_cast<unsigned char>(LowerAscii(static_cast<char>(bytes[i]))))
            << "byte " << value << " at " << position;
      }
    }
  }
}

TEST(EqualsNoCase, MatchesTheByteRuleAtEveryLengthAndPosition) {
  // Lengths around the word size; at each position a byte that differs, in case only or not.
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
