// quorvane-fix's command line: help, usage errors, base DN, start value and profile lookup.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/defaults.h"
#include "tests/cli/run_fix.h"

namespace quorvane::testing {
namespace {

constexpr char kContact[] =
    "dn: cn=Jane Roe,mail=jane@example.org\n"
    "cn: Jane Roe\n"
    "mail: jane@example.org\n"
    "mozillasecondemail: other@example.org\n";

TEST(FixOptions, HelpDocumentsOptionsDefaultsLineRulesAndExitStatus) {
  ScratchDir dir;
  const FixResult result = RunFix(dir, {"--help"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err, "");
  for (const std::string& needle :
       {std::string("--base-dn"), std::string("--profile"), std::string("--seed"),
        std::string("--output"), std::string(kDefaultBaseDN), std::string("standard input"),
        std::string("CR LF"), std::string("NUL"), std::string("TAB"), std::string("Exit status"),
        std::string("line N: "), std::string("--quiet")}) {
    EXPECT_NE(result.out.find(needle), std::string::npos) << needle;
  }
}

TEST(FixOptions, UsageErrorsExitTwoWithOneMessageAndNoOutput) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"--frobnicate"}, "unknown option \"--frobnicate\""},
      {{"--seed"}, "--seed needs a value"},
      {{"--seed", "12x"}, "--seed needs a whole number"},
      {{"--seed", "-1"}, "--seed needs a whole number"},
      {{"--seed="}, "--seed needs a whole number"},
      {{"--profile", ""}, "--profile needs a profile name"},
      {{"--output", "-"}, "--output needs a file name"},
      {{"a.ldif", "b.ldif"}, "only one input file"},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    const FixResult result = RunFix(dir, c.args, kContact);
    EXPECT_EQ(result.exitCode, 2) << c.args[0];
    EXPECT_EQ(result.out, "") << c.args[0];
    EXPECT_EQ(result.err.rfind("quorvane-fix: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  }
}

TEST(FixOptions, BaseDnDefaultsToTheWindowsAndIsUsedAsGiven) {
  ScratchDir dir;
  const std::string dnLine = "dn: cn=Jane Roe+mail=jane@example.org";
  struct Case {
    std::vector<std::string> args;
    std::string firstLine;
  };
  const Case cases[] = {
      {{}, dnLine + "," + std::string(kDefaultBaseDN)},
      {{"--base-dn", "o=Firm,c=DE"}, dnLine + ",o=Firm,c=DE"},
      {{"--base-dn=ou=people,dc=x"}, dnLine + ",ou=people,dc=x"},
      {{"--base-dn", ""}, dnLine},
  };
  for (const Case& c : cases) {
    const FixResult result = RunFix(dir, c.args, kContact);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.substr(0, result.out.find("\r\n")), c.firstLine);
  }
}

// Duplicates are made unique with pseudo-random numbers: the same --seed gives the same book.
TEST(FixOptions, SameStartValueGivesTheSameResult) {
  std::string book;
  for (int i = 0; i < 40; ++i) book += kContact + std::string("\n");
  ScratchDir dir;
  const FixResult first = RunFix(dir, {"--seed", "7"}, book);
  const FixResult second = RunFix(dir, {"--seed=7"}, book);
  const FixResult other = RunFix(dir, {"--seed", "8"}, book);
  ASSERT_EQ(first.exitCode, 0) << first.err;
  EXPECT_EQ(first.out, second.out);
  EXPECT_NE(first.out, other.out);
  EXPECT_EQ(first.out.size() > 0 && first.out.find("dn: cn=Jane Roe0") != std::string::npos, true);
}

TEST(FixOptions, ProfileGivenAsPathIsApplied) {
  ScratchDir dir;
  dir.Write("rules.ini", "[info]\ndescription=test rules\n[transform]\nmozillasecondemail:=/ignore/:\n");
  std::filesystem::create_directory(dir.Path("sub"));
  dir.Write("sub/rules", "[transform]\nmozillasecondemail:=mail:\n");

  // Without the schema step, which would drop mozillasecondemail itself.
  const FixResult plain = RunFix(dir, {"--no-schema"}, kContact);
  const FixResult dropped = RunFix(dir, {"--profile", "rules.ini", "--no-schema"}, kContact);
  const FixResult renamed = RunFix(dir, {"--profile=sub/rules", "--no-schema"}, kContact);
  const FixResult absolute =
      RunFix(dir, {"--profile", dir.Path("rules.ini"), "--no-schema"}, kContact);
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  ASSERT_EQ(dropped.exitCode, 0) << dropped.err;
  ASSERT_EQ(renamed.exitCode, 0) << renamed.err;
  EXPECT_NE(plain.out.find("mozillasecondemail: other@example.org\r\n"), std::string::npos);
  EXPECT_EQ(dropped.out.find("other@example.org"), std::string::npos);
  EXPECT_NE(renamed.out.find("mail: other@example.org\r\n"), std::string::npos);
  EXPECT_EQ(renamed.out.find("mozillasecondemail"), std::string::npos);
  EXPECT_EQ(absolute.out, dropped.out);
  // Loading reports every entry as progress, which quorvane-fix does not print.
  EXPECT_EQ(dropped.err, "");
}

// A bare name is looked up beside the program, never in the current directory.
TEST(FixOptions, ProfileGivenByNameIsLookedUpBesideTheProgram) {
  ScratchDir dir;
  dir.Write("qfix-no-such-profile.ini", "[transform]\n");
  const FixResult missing = RunFix(dir, {"--profile", "qfix-no-such-profile"}, kContact);
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "quorvane-fix: Cannot open file \"" + FixDir() +
                             "/qfix-no-such-profile.ini\". No such file or directory\n");

  for (const auto& entry : std::filesystem::directory_iterator(FixDir())) {
    if (entry.path().extension() != ".ini") continue;
    const FixResult shipped = RunFix(dir, {"--profile", entry.path().stem().string()}, kContact);
    EXPECT_EQ(shipped.exitCode, 0) << entry.path() << shipped.err;
    EXPECT_NE(shipped.out.find("dn: cn=Jane Roe+mail=jane@example.org,"), std::string::npos);
  }
}

// A script must not silently repair a book without the rules it asked for.
TEST(FixOptions, UnreadableProfileStopsTheRunBeforeAnyOutput) {
  ScratchDir dir;
  std::filesystem::create_directory(dir.Path("folder.ini"));
  const std::string existing = "keep me\r\n";
  dir.Write("out.ldif", existing);
  struct Case {
    std::string profile;
    std::string reason;
  };
  const Case cases[] = {
      {"missing.ini", "No such file or directory"},
      {"nowhere/x", "No such file or directory"},
      {"folder.ini", "Is a directory"},
  };
  for (const Case& c : cases) {
    for (const std::string& output : {std::string("out.ldif"), std::string("new.ldif")}) {
      const FixResult result =
          RunFix(dir, {"--profile", c.profile, "--output", output}, kContact);
      EXPECT_EQ(result.exitCode, 2);
      EXPECT_EQ(result.err, "quorvane-fix: Cannot open file \"" + dir.Path(c.profile) + "\". " +
                                c.reason + "\n");
    }
  }
  EXPECT_EQ(dir.Read("out.ldif"), existing);
  EXPECT_FALSE(dir.Exists("new.ldif"));
}

}  // namespace
}  // namespace quorvane::testing
