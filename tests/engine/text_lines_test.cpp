// Line splitting as files are loaded: line ends, the NUL stop, the TAB rule, chunk boundaries.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "engine/text.h"
#include "engine/text_lines.h"

namespace quorvane {
namespace {

using Lines = std::vector<std::string>;

struct SplitCase {
  std::string bytes;
  Lines lines;
};

const std::vector<SplitCase>& SplitCases() {
  using namespace std::string_literals;
  static const std::vector<SplitCase> cases = {
      {"", {}},
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {"a\n\rb", {"a", "", "b"}},
      {"a\r\n", {"a"}},
      {"a\n\n", {"a", ""}},
      {"\n", {""}},
      {"\r\r\n", {"", ""}},
      {"a\tb", {"a    b"}},
      {"a\t\tb\n", {"a        b"}},
      {"a\0b\nc"s, {"a"}},
      {"dn: cn=A\n\0junk\n"s, {"dn: cn=A"}},
      {"\0abc"s, {}},
      {"a\n\n\0b"s, {"a", ""}},
      {"a\r\0b"s, {"a"}},
  };
  return cases;
}

TEST(LineSplitter, LineEndsNulStopAndTabs) {
  for (const SplitCase& c : SplitCases()) {
    EXPECT_EQ(SplitTextLines(c.bytes), c.lines) << "bytes: " << c.bytes;
  }
}

TEST(LineSplitter, ChunkBoundariesDoNotChangeTheLines) {
  // Every split of every case into two or three chunks, empty chunks included, must give
  // the lines of the whole text: a CR LF pair may straddle two chunks.
  for (const SplitCase& c : SplitCases()) {
    const std::size_t n = c.bytes.size();
    for (std::size_t i = 0; i <= n; ++i) {
      for (std::size_t j = i; j <= n; ++j) {
        Lines lines;
        auto keep = [&lines](std::string_view line) { lines.emplace_back(line); };
        LineSplitter splitter;
        const std::string_view bytes(c.bytes);
        splitter.Feed(bytes.substr(0, i), keep);
        splitter.Feed(bytes.substr(i, j - i), keep);
        splitter.Feed(bytes.substr(j), keep);
        splitter.Finish(keep);
        EXPECT_EQ(lines, c.lines) << "bytes: " << c.bytes << " split at " << i << ", " << j;
      }
    }
  }
}

// The line rules one byte at a time, to hold the block-wise scanning against.
Lines SplitByteByByte(std::string_view bytes) {
  Lines lines;
  std::string line;
  bool hasText = false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\0') break;
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      hasText = false;
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
      continue;
    }
    line.append(c == '\t' ? std::string_view(kTabSpaces) : std::string_view(&c, 1));
    hasText = true;
  }
  if (hasText) lines.push_back(line);
  return lines;
}

TEST(LineSplitter, LongTextsInAnyChunksSplitAsByteByByte) {
  // Texts longer than the scanner's blocks, dense in line ends and other control bytes, fed
  // whole and in chunks of random sizes.
  std::mt19937 random(2849);
  constexpr char kBytes[] = {'a', 'b', ' ', '\t', '\r', '\n', '\x01', '\x0b', '\x0e', '\xff', '\0'};
  for (int round = 0; round < 300; ++round) {
    std::string bytes(random() % 700, 'x');
    const std::size_t alphabet = round % 3 == 0 ? sizeof kBytes : sizeof kBytes - 1;  // NUL or not
    for (char& c : bytes) {
      if (random() % 4 != 0) c = kBytes[random() % alphabet];
    }
    const Lines expected = SplitByteByByte(bytes);
    EXPECT_EQ(SplitTextLines(bytes), expected) << "round " << round;
    Lines lines;
    auto keep = [&lines](std::string_view line) { lines.emplace_back(line); };
    LineSplitter splitter;
    for (std::size_t at = 0; at < bytes.size();) {
      const std::size_t size = std::min<std::size_t>(random() % 150, bytes.size() - at);
      splitter.Feed(std::string_view(bytes).substr(at, size), keep);
      at += size;
    }
    splitter.Finish(keep);
    EXPECT_EQ(lines, expected) << "round " << round << " in chunks";
  }
}

TEST(LineSplitter, TellsOnWhichLineANulStoppedTheText) {
  using namespace std::string_literals;
  const struct {
    std::string bytes;
    std::size_t stopLine;
  } cases[] = {{"a\nb\n", 0}, {"a\nb\0c"s, 2}, {"a\n\0c"s, 2}, {"\0"s, 1}, {"a\r\n\r\n\0"s, 3}};
  for (const auto& c : cases) {
    LineSplitter splitter;
    auto ignore = [](std::string_view) {};
    splitter.Feed(c.bytes, ignore);
    splitter.Finish(ignore);
    EXPECT_EQ(splitter.StopLine(), c.stopLine) << c.bytes;
    EXPECT_EQ(splitter.Stopped(), c.stopLine != 0) << c.bytes;
  }
}

// The editor's own text: a NUL ends a line and the text goes on, TABs stay as they are.
TEST(LineSplitter, PaneRulesKeepTabsAndReadPastNul) {
  using namespace std::string_literals;
  const SplitCase cases[] = {
      {"a\tb\0c\r\nd"s, {"a\tb", "c", "d"}},
      {"\0\0x"s, {"", "", "x"}},
      {"a\0\nb"s, {"a", "", "b"}},
      {"\tx\r"s, {"\tx"}},
  };
  for (const SplitCase& c : cases) {
    for (std::size_t split = 0; split <= c.bytes.size(); ++split) {
      Lines lines;
      auto keep = [&lines](std::string_view line) { lines.emplace_back(line); };
      LineSplitter splitter(LineRules::kPane);
      splitter.Feed(std::string_view(c.bytes).substr(0, split), keep);
      splitter.Feed(std::string_view(c.bytes).substr(split), keep);
      splitter.Finish(keep);
      EXPECT_EQ(lines, c.lines) << "bytes: " << c.bytes << " split at " << split;
      EXPECT_FALSE(splitter.Stopped());
    }
  }
}

// A line that spans chunks is put together from its parts; what is left of one such line must
// not turn up in the next, and a TAB in any part is expanded.
TEST(LineSplitter, LinesSpanningChunksAreJoinedAlone) {
  const struct {
    std::vector<std::string> chunks;
    Lines lines;
  } cases[] = {
      {{"abc", "de\nfg", "h\n"}, {"abcde", "fgh"}},
      {{"a\t", "b\n", "c", "\td\r", "\ne"}, {"a    b", "c    d", "e"}},
      {{"long line start", "\nx", "\n"}, {"long line start", "x"}},
      {{"x", "", "y", "\r", "", "\n", "z"}, {"xy", "z"}},
  };
  for (const auto& c : cases) {
    Lines lines;
    auto keep = [&lines](std::string_view line) { lines.emplace_back(line); };
    LineSplitter splitter;
    for (const std::string& chunk : c.chunks) splitter.Feed(chunk, keep);
    splitter.Finish(keep);
    EXPECT_EQ(lines, c.lines) << ::testing::PrintToString(c.chunks);
  }
}

TEST(Text, TrimReplaceAndCase) {
  EXPECT_EQ(Trim(" \t\x01 a b \x1f\r\n"), "a b");
  EXPECT_EQ(Trim("\xA0x\xA0"), "\xA0x\xA0");  // only codes up to 32 are blanks
  EXPECT_EQ(ReplaceAll("a+b+c", "+", "\\+"), "a\\+b\\+c");
  EXPECT_EQ(ReplaceAll("aaa", "aa", "a"), "aa");  // left to right, no overlap, no rescan
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(ReplaceAll("a,b", ",", ""), "ab");
  EXPECT_EQ(LowerCase("AbC\xC3\x89"), "abc\xC3\x89");  // ASCII letters only
  EXPECT_TRUE(EqualsNoCase("Mail=X", "mail=x"));
  EXPECT_FALSE(EqualsNoCase("\xC3\x89", "\xC3\xA9"));
  EXPECT_TRUE(EndsWithNoCase("cn=X,DC=a", ",dc=A"));
}

}  // namespace
}  // namespace quorvane
