// Whole runs: record splitting, uniqueness, the sample from the handbook, progress and reports.
#include "engine/repair_run.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "engine/text_lines.h"

namespace quorvane {
namespace {

// Hands out the given numbers in turn, then repeats the last one.
class FixedRandom : public RandomSource {
 public:
  explicit FixedRandom(std::deque<int> numbers) : numbers_(std::move(numbers)) {}
  int Next() override {
    ++draws;
    const int number = numbers_.front();
    if (numbers_.size() > 1) numbers_.pop_front();
    return number;
  }
  int draws = 0;

 private:
  std::deque<int> numbers_;
};

struct Message {
  std::string text;
  int level;
  std::size_t line;
  bool operator==(const Message&) const = default;
};

class RecordingLog : public Log {
 public:
  explicit RecordingLog(bool progress = false) : progress_(progress) {}
  void Write(std::string_view text, int level, std::size_t line) override {
    messages.push_back({std::string(text), level, line});
  }
  bool WantsProgress() const override { return progress_; }
  std::vector<Message> Errors() const {
    std::vector<Message> errors;
    for (const Message& m : messages) {
      if (m.level > 0) errors.push_back(m);
    }
    return errors;
  }
  std::vector<Message> messages;

 private:
  bool progress_;
};

constexpr std::string_view kBase = "dc=contacts,dc=test";

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text.append(line).append("\n");
  return text;
}

// Runs `input` (one source line per text line) and returns the output, one line per "\n".
std::string Repair(std::string_view input, const TransformMap& map = {},
                   std::string_view baseDN = kBase, std::deque<int> numbers = {57},
                   UsedDNs* keys = nullptr, Log* log = nullptr) {
  UsedDNs local;
  FixedRandom random(std::move(numbers));
  return Join(RunRepair(SplitTextLines(input), baseDN, map, keys ? *keys : local, random, log));
}

void ExpectRepair(std::string_view input, std::string_view expected,
                  std::string_view baseDN = kBase, const TransformMap& map = {}) {
  EXPECT_EQ(Repair(input, map, baseDN), expected) << "input:\n" << input;
}

TEST(RepairRun, HandbookSample) {
  TransformMap map;
  map.Add("mozillasecondemail:", "/ignore/:");
  UsedDNs keys;
  const std::string output = Repair(R"(dn: cn=John Doe,mail=ADDRESS
objectclass: top
objectclass: person
objectclass: inetOrgPerson
sn: Doe
cn: John Doe
mail: ADDRESS
description:
mozillasecondemail: OTHER

dn:: Y249Sm9obiBEb2UsbWFpbD1BRERSRVNT
objectclass: top
objectclass: inetOrgPerson
cn: John Doe
description: True
)",
                                    map, kBase, {57}, &keys);
  EXPECT_EQ(output, R"(dn: cn=John Doe+mail=ADDRESS,dc=contacts,dc=test
objectclass: top
objectclass: person
objectclass: inetOrgPerson
sn: Doe
cn: John Doe
mail: ADDRESS

dn: cn=John Doe057+mail=ADDRESS,dc=contacts,dc=test
objectclass: inetOrgPerson
cn: John Doe057
description: TRUE
sn: John Doe

)");
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0], "dn: cn=John Doe+mail=ADDRESS");
  EXPECT_EQ(keys[1], "dn: cn=John Doe057+mail=ADDRESS");
}

TEST(RepairRun, BlankLinesOnlySeparate) {
  ExpectRepair("", "");
  ExpectRepair("\n   \n\n", "");
  ExpectRepair("\n\ncn: A\n\n\n\ncn: B\n\n", "cn: A\nsn: A\n\ncn: B\nsn: B\n\n");
  ExpectRepair("   cn: A\n  \n\tcn: B", "cn: A\nsn: A\n\ncn: B\nsn: B\n\n");
}

}  // namespace
}  // namespace quorvane
