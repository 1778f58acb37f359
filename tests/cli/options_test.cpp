// quorvane-fix's command line: help, usage errors, base DN, start value and profile lookup.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/defaults.h"
#include "tests/cli/run_fix.h"

namespace quorvane::testing {
namespace {

// Nothing listens on port 1: connecting fails at once.
constexpr char kServer[] = "ldap://127.0.0.1:1";

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
        std::string("line N: "), std::string("--quiet"), std::string("--schema SOURCE"),
        std::string("--no-schema"), std::string("--bind-dn DN"), std::string("--password-file"),
        std::string("--starttls"), std::string("--verbose"), std::string("schema FILE:LINE")}) {
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
      {{"--schema"}, "--schema needs a value"},
      {{"--schema", ""},
       "--schema needs builtin, an ldap:// or ldaps:// address, or a schema file"},
      {{"--no-schema", "--schema", "builtin"}, "--no-schema and --schema cannot be given together"},
      {{"--schema=x.schema", "--no-schema"}, "--no-schema and --schema cannot be given together"},
      {{"--no-schema=yes"}, "unknown option \"--no-schema=yes\""},
      {{"--bind-dn", ""}, "--bind-dn needs a DN"},
      {{"--password-file="}, "--password-file needs a file name"},
      {{"--schema", kServer, "--bind-dn", "cn=admin"}, "--bind-dn needs --password-file"},
      {{"--schema", kServer, "--password-file", "pw"}, "--password-file needs --bind-dn"},
      {{"--bind-dn", "cn=admin", "--password-file", "pw", "--schema", "builtin"},
       "--bind-dn is only for a server's schema"},
      {{"--starttls"}, "--starttls is only for a server's schema"},
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

// A schema file with an auxiliary class and an attribute of its own, built on the standard
// schemas (SUP top), and a definition that cannot be parsed.
constexpr char kExtraSchema[] =
    "# nicknames\n"
    "attributetype ( 1.3.6.1.4.1.99999.1.1 NAME 'qvNickname' EQUALITY caseIgnoreMatch\n"
    "  SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )\n"
    "attributetype ( 1.3.6.1.4.1.99999.1.9 NAME 'qvBroken' SYNTAX\n"
    "objectclass ( 1.3.6.1.4.1.99999.2.1 NAME 'qvExtra' SUP top AUXILIARY MAY qvNickname )\n";

constexpr char kNicknamed[] =
    "dn: cn=A\nobjectclass: inetOrgPerson\nobjectclass: qvExtra\ncn: A\nsn: A\nqvNickname: JJ\n\n"
    "dn: cn=B\nobjectclass: inetOrgPerson\nobjectclass: qvExtra\ncn: B\nsn: B\nqvNickname: KK\n";

TEST(FixOptions, SchemaSourcesDecideWhatIsKept) {
  ScratchDir dir;
  const std::string extra = dir.Write("extra.schema", kExtraSchema);
  const std::string warning = "schema " + extra + ":4: ";
  struct Case {
    std::vector<std::string> args;
    bool kept;
    bool warned;
  };
  const Case cases[] = {
      {{}, false, false},  // the built-in schema
      {{"--verbose"}, false, false},
      {{"--schema", "builtin"}, false, false},
      {{"--schema", "builtin", "--schema", extra}, true, true},
      {{"--schema=builtin", "--schema=" + extra, "--verbose"}, true, true},
      {{"--no-schema"}, true, false},
  };
  for (const Case& c : cases) {
    const FixResult result = RunFix(dir, c.args, kNicknamed);
    const std::string about = c.args.empty() ? "default" : c.args.back();
    ASSERT_EQ(result.exitCode, 0) << about << ": " << result.err;
    EXPECT_EQ(result.out.find("qvNickname: JJ\r\n") != std::string::npos, c.kept) << about;
    EXPECT_EQ(result.out.find("objectclass: qvExtra\r\n") != std::string::npos, c.kept) << about;
    // The definition left out is a warning with its file and line; the run goes on.
    EXPECT_EQ(result.err.rfind(warning, 0) == 0, c.warned) << about << ": " << result.err;
    EXPECT_EQ(result.summary.rfind("Fixed 2 records", 0), 0u) << about;
  }
  // --verbose reports each record's repairs on its own line.
  const FixResult brief = RunFix(dir, {}, kNicknamed);
  const FixResult verbose = RunFix(dir, {"--verbose"}, kNicknamed);
  EXPECT_EQ(brief.err.find("line 8: "), std::string::npos) << brief.err;
  EXPECT_NE(verbose.err.find("line 8: "), std::string::npos) << verbose.err;
}

// A schema that cannot be loaded stops the run before the input is read: one message, exit
// status 2, and no output file created or replaced. The password is never shown.
TEST(FixOptions, SchemaThatCannotBeLoadedStopsTheRunBeforeAnyOutput) {
  ScratchDir dir;
  const std::string extra = dir.Write("extra.schema", kExtraSchema);
  const std::string missing = dir.Path("missing.schema");
  const std::string unreadable =
      "cannot read schema file " + missing + ": No such file or directory";
  dir.Write("password", "pw-never-shown\nsecond line\n");
  dir.Write("empty-password", "\r\npw-on-line-two\n");
  const std::string existing = "keep me\r\n";
  dir.Write("out.ldif", existing);
  const std::vector<std::string> bind = {"--schema", kServer, "--bind-dn", "cn=admin,dc=x"};
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"--schema", extra},
       extra + " needs definitions it does not hold (top): add --schema builtin before it"},
      {{"--schema", extra, "--schema", "builtin"},
       extra + " needs definitions it does not hold (top): add --schema builtin before it"},
      {{"--schema", "builtin", "--schema", missing}, unreadable},
      {{"--schema", missing, "--schema", kServer}, unreadable},  // the first source that fails
      {{"--schema", "builtin", "--schema", kServer},
       "cannot read the schema of ldap://127.0.0.1:1: Can't contact LDAP server"},
      {{"--schema", kServer, "--starttls"},
       "cannot read the schema of ldap://127.0.0.1:1: StartTLS failed: "},
      {{bind[0], bind[1], bind[2], bind[3], "--password-file", "password"},
       "cannot read the schema of ldap://127.0.0.1:1: Can't contact LDAP server"},
      {{bind[0], bind[1], bind[2], bind[3], "--password-file", "nowhere"},
       "Cannot open file \"" + dir.Path("nowhere") + "\". No such file or directory"},
      {{bind[0], bind[1], bind[2], bind[3], "--password-file", "empty-password"},
       "The password file \"empty-password\" has no password on its first line"},
  };
  for (const Case& c : cases) {
    for (const std::string& output : {std::string("out.ldif"), std::string("new.ldif")}) {
      std::vector<std::string> args = c.args;
      args.insert(args.end(), {"--output", output});
      const FixResult result = RunFix(dir, args, kNicknamed);
      EXPECT_EQ(result.exitCode, 2) << c.message;
      EXPECT_EQ(result.err.rfind("quorvane-fix: " + c.message, 0), 0u) << result.err;
      EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
      EXPECT_EQ(result.summary, "");
      EXPECT_EQ(result.err.find("pw-"), std::string::npos) << result.err;
    }
  }
  EXPECT_EQ(dir.Read("out.ldif"), existing);
  EXPECT_FALSE(dir.Exists("new.ldif"));
}

}  // namespace
}  // namespace quorvane::testing
