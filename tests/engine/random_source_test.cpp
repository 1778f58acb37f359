// The numbers that make a colliding DN unique: from 0 to 99 with the real sources, every one of
// them reachable, and the same seed giving the same numbers.
#include <gtest/gtest.h>

#include <array>
#include <regex>
#include <string>

#include "engine/random_source.h"
#include "engine/repair_run.h"
#include "engine/text_lines.h"

namespace quorvane {
namespace {

TEST(RandomSource, NumbersStayWithinZeroToNinetyNine) {
  for (const std::uint64_t seed : {std::uint64_t{0}, std::uint64_t{4711}, SeededRandom::ClockSeed()}) {
    SeededRandom random(seed);
    std::array<int, 100> seen{};
    for (int i = 0; i < 20000; ++i) {
      const int n = random.Next();
      ASSERT_GE(n, 0);
      ASSERT_LE(n, 99);
      ++seen[static_cast<std::size_t>(n)];
    }
    for (int n = 0; n < 100; ++n) EXPECT_GT(seen[static_cast<std::size_t>(n)], 0) << n;
  }
}

TEST(RandomSource, MadeUniqueDNsCarryAnAttemptAndANumberBelowAHundred) {
  std::string book;
  for (int i = 0; i < 300; ++i) book += "dn: cn=Ann Lee,mail=ann@example.org\ncn: Ann Lee\n\n";
  UsedDNs usedDNs;
  SeededRandom random(SeededRandom::ClockSeed());
  const std::vector<std::string> out =
      RunRepair(SplitTextLines(book), "dc=x", TransformMap{}, usedDNs, random, nullptr);
  // "cn=Ann Lee" + attempt (0, 1, ...) + number (0-99) + "+mail=...".
  const std::regex unique(R"(dn: cn=Ann Lee(\d+)\+mail=ann@example\.org,dc=x)");
  int madeUnique = 0;
  for (const std::string& line : out) {
    std::smatch digits;
    if (!std::regex_match(line, digits, unique)) continue;
    ++madeUnique;
    const std::string d = digits[1];
    // One attempt digit at least, then at most two digits of number: never three.
    bool fits = false;
    for (std::size_t split = 1; split < d.size() && split + 2 >= d.size(); ++split) {
      fits = fits || std::stoi(d.substr(split)) <= 99;
    }
    EXPECT_TRUE(fits) << line;
  }
  EXPECT_EQ(madeUnique, 299);
}

}  // namespace
}  // namespace quorvane
