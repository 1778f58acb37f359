// quorvane-fix's summary line: the last line of standard error once the repair has run, left
// out with --quiet.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/cli/run_fix.h"

namespace quorvane::testing {
namespace {

// Seven records: three with the same DN (two made unique) and three that no directory
// accepts (an empty DN on line 13, a list without members on line 16, a Base64 DN that does
// not decode on line 20).
constexpr char kBook[] =
    "dn: cn=Jane Roe,mail=jane@example.org\ncn: Jane Roe\nmail: jane@example.org\n\n"
    "dn: cn=Jane Roe,mail=jane@example.org\ncn: Jane Roe\nmail: jane@example.org\n\n"
    "dn: cn=Jane Roe,mail=jane@example.org\ncn: Jane Roe\nmail: jane@example.org\n\n"
    "dn:\ncn: Nobody\n\n"
    "dn: cn=Friends\nobjectclass: groupOfNames\ncn: Friends\n\n"
    "dn:: abc\ncn: Broken\n\n"
    "dn: cn=John Doe,mail=john@example.org\ncn: John Doe\n";

bool IsSummaryLine(const std::string& line) {
  static const std::regex summary(
      "Fixed [0-9][0-9,]* records? \\([0-9][0-9,]* written\\): [0-9][0-9,]* DNs? made unique, "
      "[0-9][0-9,]* records? no directory accepts( \\(see log\\))?");
  return std::regex_match(line, summary);
}

TEST(FixSummary, IsTheLastLineOfStandardError) {
  ScratchDir dir;
  const FixResult result = RunFix(dir, {"--seed", "7"}, kBook);
  ASSERT_EQ(result.exitCode, 0) << result.rawErr;
  EXPECT_TRUE(IsSummaryLine(result.summary)) << result.rawErr;
  EXPECT_EQ(result.rawErr, result.err + result.summary + "\n");
  // The record messages come first, unchanged.
  for (const char* message : {"line 13: 002: ", "line 16: 003: ", "line 20: 001: "}) {
    EXPECT_NE(result.err.find(message), std::string::npos) << message << "\n" << result.err;
  }
  EXPECT_EQ(result.out.find("Fixed "), std::string::npos) << "never in the LDIF";
}

TEST(FixSummary, AlsoWhenTheResultGoesToAFileOrTheBookIsEmpty) {
  ScratchDir dir;
  const FixResult toFile = RunFix(dir, {"--output", "out.ldif"}, kBook);
  ASSERT_EQ(toFile.exitCode, 0) << toFile.rawErr;
  EXPECT_TRUE(IsSummaryLine(toFile.summary)) << toFile.rawErr;
  EXPECT_NE(dir.Read("out.ldif").find("dn: cn=John Doe+mail=john@example.org,"), std::string::npos);

  const FixResult empty = RunFix(dir, {}, "");
  ASSERT_EQ(empty.exitCode, 0) << empty.rawErr;
  EXPECT_EQ(empty.rawErr,
            "Fixed 0 records (0 written): 0 DNs made unique, 0 records no directory accepts\n");
}

TEST(FixSummary, QuietLeavesOutThatLineOnly) {
  ScratchDir dir;
  for (const char* quiet : {"--quiet", "-q"}) {
    const FixResult loud = RunFix(dir, {"--seed", "7"}, kBook);
    const FixResult silent = RunFix(dir, {quiet, "--seed", "7"}, kBook);
    EXPECT_EQ(silent.exitCode, loud.exitCode);
    EXPECT_EQ(silent.summary, "");
    EXPECT_EQ(silent.rawErr, loud.err) << "the record messages stay";
    EXPECT_EQ(silent.out, loud.out);
  }
  const FixResult help = RunFix(dir, {"--help"});
  EXPECT_NE(help.out.find("--quiet"), std::string::npos);
  EXPECT_NE(help.out.find("Fixed 2,000 records"), std::string::npos);
}

TEST(FixSummary, FailedRunHasNoSummaryAndQuietKeepsItsExitStatus) {
  ScratchDir dir;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"missing.ldif"}, std::vector<std::string>{"--quiet", "missing.ldif"}}) {
    const FixResult result = RunFix(dir, args);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.summary, "");
    EXPECT_EQ(result.rawErr.rfind("quorvane-fix: Cannot open file", 0), 0u) << result.rawErr;
  }
}

// The counts come from the run: duplicates made unique, records no directory accepts.
TEST(FixSummary, CountsTheBook) {
  ScratchDir dir;
  const FixResult result = RunFix(dir, {"--seed", "7"}, kBook);
  EXPECT_EQ(result.summary,
            "Fixed 7 records (7 written): 2 DNs made unique, 3 records no directory accepts "
            "(see log)");
}

}  // namespace
}  // namespace quorvane::testing
