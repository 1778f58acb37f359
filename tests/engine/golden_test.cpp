// A whole generated address book repaired byte for byte as recorded: any change to the output,
// however small, fails here, so speed work cannot alter what the repair writes.
//
// The book is bench/gen_book --records 2000 --start 2024 --dup-every 4 (duplicates, letter-case
// variants, Base64 DNs, undecodable DNs, folded lines, mailing lists). To record a deliberate
// change of the output, run the test with QUORVANE_UPDATE_GOLDEN=1 and review the diff.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "engine/repair_run.h"
#include "engine/text_lines.h"

namespace quorvane {
namespace {

const std::string kDataDir = QUORVANE_TEST_DATA;

std::string ReadFile(const std::string& name) {
  std::ifstream in(kDataDir + "/" + name, std::ios::binary);
  EXPECT_TRUE(in) << "cannot open " << name;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& name, const std::string& bytes) {
  std::ofstream out(kDataDir + "/" + name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out) << "cannot write " << name;
}

// A fixed sequence independent of any library's generator: 0, 37, 74, 11, ...
class StepRandom : public RandomSource {
 public:
  int Next() override { return next_ = (next_ + 37) % 100; }

 private:
  int next_ = 63;
};

// Every level of message, progress included when `progress` is set; errors are recorded as
// the command prints them.
class CollectLog : public Log {
 public:
  explicit CollectLog(bool progress) : progress_(progress) {}
  void Write(std::string_view text, int level, std::size_t line) override {
    if (level == kLogProgress) {
      ++progressCount;
      progressBytes += text.size();
      return;
    }
    errors.append("line ").append(std::to_string(line)).append(": ");
    errors.append(text).append("\n");
  }
  bool WantsProgress() const override { return progress_; }

  std::string errors;
  std::size_t progressCount = 0;
  std::size_t progressBytes = 0;

 private:
  bool progress_;
};

class CrLfText : public LineSink {
 public:
  void Line(std::string_view line) override { text.append(line).append("\r\n"); }
  std::string text;
};

// A profile with every kind of rule: renames, dropped attributes, whole lines dropped or
// replaced, and keys in another letter case than the book writes them.
TransformMap Profile() {
  TransformMap map;
  map.Add("objectclass: mozillaAbPersonAlpha", "/ignore/");
  map.Add("modifytimestamp:", "/ignore/:");
  map.Add("MOZILLASECONDEMAIL:", "mail:");
  map.Add("mozillaWorkUrl:", "labeledURI:");
  map.Add("mozillaHomeUrl:", "labeledURI:");
  map.Add("mozillaNickname:", "/ignore/:");
  map.Add("nsAIMid:", "/ignore/:");
  map.Add("birthyear:", "/ignore/:");
  map.Add("mozillaUseHtmlMail: FALSE", "/ignore/");
  map.Add("objectclass: groupOfNames", "objectclass: groupOfNames");
  map.Add("c:", "/ignore/:");
  return map;
}

struct Result {
  std::string output;
  std::string errors;
  std::size_t progressCount = 0;
};

// Streams the file's bytes through the run in uneven chunks, as quorvane-fix reads a file.
// `asLines`: split the bytes first and hand the run the lines, as RunRepair does.
Result RepairBook(const std::string& bytes, bool progress, bool asLines = false) {
  const TransformMap map = Profile();
  UsedDNs usedDNs;
  StepRandom random;
  CollectLog log(progress);
  CrLfText sink;
  RepairRun run("dc=contacts,dc=example,dc=com", map, usedDNs, random, &log, sink);
  if (asLines) {
    for (const std::string& line : SplitTextLines(bytes)) run.AddLine(line);
  } else {
    const std::string_view all = bytes;
    for (std::size_t pos = 0, step = 4093; pos < all.size();
         pos += step, step = step * 7 % 65521) {
      run.AddText(all.substr(pos, step));
    }
  }
  run.Finish();
  return {std::move(sink.text), std::move(log.errors), log.progressCount};
}

TEST(Golden, GeneratedBookRepairsAsRecorded) {
  const std::string input = ReadFile("golden_input.ldif");
  ASSERT_GT(input.size(), 100000u);
  const Result result = RepairBook(input, false);
  if (std::getenv("QUORVANE_UPDATE_GOLDEN") != nullptr) {
    WriteFile("golden_output.ldif", result.output);
    WriteFile("golden_messages.txt", result.errors);
    GTEST_SKIP() << "golden files written";
  }
  const std::string expected = ReadFile("golden_output.ldif");
  ASSERT_EQ(result.output.size(), expected.size());
  // Find the first differing line, so that a failure shows where, not 1 MB of text.
  if (result.output != expected) {
    std::size_t at = 0;
    while (result.output[at] == expected[at]) ++at;
    const std::size_t from = expected.rfind('\n', at) == std::string::npos
                                 ? 0
                                 : expected.rfind('\n', at) + 1;
    FAIL() << "output differs at byte " << at << "\nexpected: "
           << expected.substr(from, expected.find('\n', at) - from)
           << "\nactual:   " << result.output.substr(from, result.output.find('\n', at) - from);
  }
  EXPECT_EQ(result.errors, ReadFile("golden_messages.txt"));
}

TEST(Golden, ShowingProgressOrFeedingLinesChangesNothing) {
  const std::string input = ReadFile("golden_input.ldif");
  const Result quiet = RepairBook(input, false);
  const Result shown = RepairBook(input, true, true);
  EXPECT_EQ(quiet.progressCount, 0u);
  // Every line of the first records, then the last line of one record in sixteen.
  EXPECT_GT(shown.progressCount, 2000u / 16);
  EXPECT_LT(shown.progressCount, 1000u);
  EXPECT_TRUE(quiet.output == shown.output);
  EXPECT_EQ(quiet.errors, shown.errors);
}

}  // namespace
}  // namespace quorvane
