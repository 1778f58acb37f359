// quorvane-fix end to end: line rules, CR LF output, messages, and every bad input or output.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/random_source.h"
#include "engine/repair_run.h"
#include "engine/text_lines.h"
#include "engine/transform_map.h"
#include "engine/used_dns.h"
#include "tests/cli/run_fix.h"

namespace quorvane::testing {
namespace {

constexpr char kBook[] =
    "dn: cn=Doe, John,mail=john@example.org\n"
    "objectclass: top\n"
    "cn: Doe, John\n"
    "sn: Doe\n"
    "\n"
    "dn: cn=Ann Lee\n"
    "cn: Ann Lee\n";

constexpr char kRepaired[] =
    "dn: cn=Doe\\, John+mail=john@example.org,dc=contacts,dc=example,dc=com\r\n"
    "objectclass: top\r\n"
    "cn: Doe, John\r\n"
    "sn: Doe\r\n"
    "\r\n"
    "dn: cn=Ann Lee,dc=contacts,dc=example,dc=com\r\n"
    "objectclass: inetOrgPerson\r\n"
    "cn: Ann Lee\r\n"
    "sn: Ann Lee\r\n"
    "\r\n";

std::string ReplaceEvery(const std::string& text, const std::string& from, const std::string& to) {
  std::string result;
  std::size_t done = 0;
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, done)) {
    result.append(text, done, at - done).append(to);
    done = at + from.size();
  }
  return result.append(text, done);
}

TEST(FixStream, ReadsFileOrStandardInputAndWritesCrLfLines) {
  ScratchDir dir;
  dir.Write("book.ldif", kBook);
  const std::vector<std::vector<std::string>> invocations = {
      {"book.ldif"}, {"-"}, {}, {"--", "book.ldif"}};
  for (const auto& args : invocations) {
    std::vector<std::string> noSchema = {"--no-schema"};  // the stream alone, no schema step
    noSchema.insert(noSchema.end(), args.begin(), args.end());
    const FixResult result = RunFix(dir, noSchema, args.empty() || args[0] == "-" ? kBook : "");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, kRepaired);
    EXPECT_EQ(result.err, "");
  }
  const FixResult empty = RunFix(dir, {}, "\n  \n\t\n");
  EXPECT_EQ(empty.exitCode, 0);
  EXPECT_EQ(empty.out, "");
}

// Lines end at CR LF, LF or CR; TABs become four spaces; a NUL byte ends the text.
TEST(FixStream, LineRulesAreThoseOfTheEditorPane) {
  ScratchDir dir;
  const std::string lf = kBook;
  const std::string inputs[] = {
      ReplaceEvery(lf, "\n", "\r\n"),
      ReplaceEvery(lf, "\n", "\r"),
      ReplaceEvery(lf, "objectclass: top\n", "objectclass: top\r\n") + "\r",
      ReplaceEvery(lf, "\ncn: ", "\n\tcn: "),  // indented by a TAB: trimmed away
      lf + std::string("\0\n\ndn: cn=After Nul\ncn: After Nul\n", 32),  // told on stderr
  };
  for (const std::string& input : inputs) {
    const FixResult result = RunFix(dir, {"--no-schema"}, input);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, kRepaired) << input;
  }
  // LF CR ends two lines: the empty second one separates records (the second one is named
  // from its cn:, as its address book would have named it).
  const FixResult lfcr = RunFix(dir, {}, "dn: cn=A\nobjectclass: person\n\rcn: B\n");
  EXPECT_EQ(lfcr.out,
            "dn: cn=A,dc=contacts,dc=example,dc=com\r\nobjectclass: person\r\nsn: A\r\ncn: A\r\n\r\n"
            "dn: cn=B,dc=contacts,dc=example,dc=com\r\nobjectclass: inetOrgPerson\r\ncn: B\r\n"
            "sn: B\r\n\r\n");
  // A TAB inside a value is kept as four spaces.
  const FixResult tab = RunFix(dir, {"--base-dn", ""}, "dn: cn=A\ndescription: a\tb\n");
  EXPECT_NE(tab.out.find("description: a    b\r\n"), std::string::npos) << tab.out;
}

// The book is read in chunks of 64 KiB; a CR LF split between two chunks must not turn into
// an extra line break (which would cut a record in two).
TEST(FixStream, LargeBookGivesTheSameResultWhateverItsLineEnds) {
  constexpr std::size_t kChunk = std::size_t{64} << 10;
  std::string lf;
  std::string crlf;  // built alongside, to place one CR as the last byte of the first chunk
  bool straddled = false;
  for (int i = 0; lf.size() < 3 * kChunk; ++i) {
    const std::string name = "Person " + std::to_string(i);
    const std::string head = "dn: cn=" + name + ",mail=p" + std::to_string(i) +
                             "@example.org\ncn: " + name + "\n";
    lf += head;
    crlf += ReplaceEvery(head, "\n", "\r\n");
    std::size_t length = i % 251;
    if (!straddled && crlf.size() + 1000 >= kChunk) {
      length = kChunk - 1 - crlf.size() - 13;
      straddled = true;
    }
    const std::string description = "description: " + std::string(length, 'd');
    const std::string tail = "sn: " + std::string(i % 97 + 1, 'x');  // same record
    lf += description + "\n" + tail + "\n\n";
    crlf += description + "\r\n" + tail + "\r\n\r\n";
  }
  ASSERT_EQ(crlf[kChunk - 1], '\r');
  ASSERT_EQ(crlf[kChunk], '\n');
  ScratchDir dir;
  dir.Write("lf.ldif", lf);
  dir.Write("crlf.ldif", crlf);
  const FixResult fromLf = RunFix(dir, {"--seed", "1", "lf.ldif"});
  const FixResult fromCrLf = RunFix(dir, {"--seed", "1", "crlf.ldif"});
  const FixResult piped = RunFix(dir, {"--seed", "1"}, crlf);
  ASSERT_EQ(fromLf.exitCode, 0);
  EXPECT_EQ(fromLf.out.size(), fromCrLf.out.size());
  EXPECT_TRUE(fromLf.out == fromCrLf.out);
  EXPECT_TRUE(fromLf.out == piped.out);
  EXPECT_EQ(fromCrLf.err, "");
}

// The window loads the whole file, repairs its lines and saves each with CR LF; the command
// streams. With the same profile, base DN and random numbers both must give the same bytes.
TEST(FixStream, StreamedResultEqualsTheWholeBookRepair) {
  std::string book = "version: 1\n";
  for (int i = 0; i < 3000; ++i) {
    const std::string n = std::to_string(i % 700);  // many duplicates, some differing in case
    book += (i % 3 == 0 ? "dn: cn=Doe, JOHN " : "dn: cn=Doe, John ") + n + ",mail=j" + n + "@x\r\n";
    book += "objectclass: top\robjectclass: person\n\tcn: Doe, John " + n + "\n";
    book += "mozillasecondemail: other@x\ndescription: True\n";
    if (i % 50 == 0) book += "member:: Y249QSxtYWlsPWFAeA==\ndn:: Y24\n";
    book += i % 7 == 0 ? "\n  \n\n" : "\n";
    // Now and then a photo larger than the blocks the output is written in.
    if (i % 1000 == 500) book += "dn: cn=Photo\njpegphoto:: " + std::string(400000, 'Q') + "\n\n";
  }
  ScratchDir dir;
  dir.Write("book.ldif", book);
  dir.Write("rules.ini", "[transform]\nmozillasecondemail:=mail:\n");
  const FixResult streamed =
      RunFix(dir, {"--seed", "42", "--base-dn", "o=test", "--profile", "rules.ini", "--no-schema",
                   "book.ldif"});
  ASSERT_EQ(streamed.exitCode, 0);

  TransformMap map;
  map.Add("mozillasecondemail:", "mail:");
  UsedDNs usedDNs;
  SeededRandom random(42);
  std::string whole;
  for (const std::string& line :
       RunRepair(SplitTextLines(book), "o=test", map, usedDNs, random, nullptr)) {
    whole += line + "\r\n";
  }
  EXPECT_EQ(streamed.out.size(), whole.size());
  EXPECT_TRUE(streamed.out == whole);
  EXPECT_NE(whole.find("+mail=j1@x,o=test"), std::string::npos);
}

// Bytes are repaired as they are, never re-encoded or rejected.
TEST(FixStream, BinaryBytesPassThroughUnchanged) {
  std::string value;
  for (int c = 1; c < 256; ++c) {
    if (c != '\r' && c != '\n' && c != '\t') value += static_cast<char>(c);
  }
  ScratchDir dir;
  const FixResult result = RunFix(dir, {"--no-schema"}, "dn: cn=A\ndescription: x" + value + "\n");
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find("description: x" + value + "\r\n"), std::string::npos);
}

TEST(FixStream, RecordProblemsGoToStandardErrorWithTheirLineNumber) {
  ScratchDir dir;
  const std::string book =
      "dn: cn=Good\ncn: Good\n\n\n"
      "dn:: Y24\ncn: Bad\n\n"
      "dn: cn=Also good\n";
  const FixResult result = RunFix(dir, {}, book);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err, "line 5: 001: Base64ToStr: illegal input length!\n");
  EXPECT_NE(result.out.find("dn: cn=Also good,"), std::string::npos);
}

TEST(FixStream, BadInputExitsTwoNamingTheFileAndTouchesNoOutput) {
  ScratchDir dir;
  std::filesystem::create_directory(dir.Path("folder"));
  dir.Write("out.ldif", "previous\r\n");
  struct Case {
    std::string input;
    std::string message;
  };
  const Case cases[] = {
      {"missing.ldif",
       "quorvane-fix: Cannot open file \"" + dir.Path("missing.ldif") + "\". No such file or directory\n"},
      {"folder", "quorvane-fix: Cannot open file \"" + dir.Path("folder") + "\". Is a directory\n"},
      {"./folder/../missing.ldif",
       "quorvane-fix: Cannot open file \"" + dir.Path("missing.ldif") + "\". No such file or directory\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RunFix(dir, {c.input}).err, c.message);
    const FixResult result = RunFix(dir, {"--output", "out.ldif", c.input});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, c.message);
    const FixResult fresh = RunFix(dir, {"--output", "new.ldif", c.input});
    EXPECT_EQ(fresh.exitCode, 2);
  }
  EXPECT_EQ(dir.Read("out.ldif"), "previous\r\n");
  EXPECT_FALSE(dir.Exists("new.ldif"));
}

// An input that opens but fails while it is read: the existing output must survive whole.
TEST(FixStream, ReadFailurePartWayLeavesTheExistingOutputIntact) {
  ScratchDir dir;
  dir.Write("out.ldif", "previous\r\n");
  const FixResult result = RunFix(dir, {"--output", "out.ldif", "/proc/self/mem"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(result.err, "quorvane-fix: Cannot read file \"/proc/self/mem\". Input/output error\n");
  EXPECT_EQ(dir.Read("out.ldif"), "previous\r\n");
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"out.ldif"});
}

TEST(FixStream, OutputFileIsReplacedWholeAndMayBeTheInput) {
  ScratchDir dir;
  dir.Write("book.ldif", kBook);
  dir.Write("out.ldif", std::string(100000, 'z'));
  ::chmod(dir.Path("out.ldif").c_str(), 0640);
  FixResult result = RunFix(dir, {"--no-schema", "--output", "out.ldif", "book.ldif"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(dir.Read("out.ldif"), kRepaired);
  struct stat info {};
  ::stat(dir.Path("out.ldif").c_str(), &info);
  EXPECT_EQ(info.st_mode & 0777, 0640u);

  // The result is renamed over the book only once it is complete, so an in-place repair
  // reads the whole original.
  result = RunFix(dir, {"--no-schema", "--output=book.ldif", "book.ldif"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(dir.Read("book.ldif"), kRepaired);
  std::vector<std::string> names = dir.Names();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"book.ldif", "out.ldif"}));
}

TEST(FixStream, UnwritableOutputExitsTwoWithTheReason) {
  ScratchDir dir;
  dir.Write("book.ldif", kBook);
  dir.Write("plain", "not a directory");
  std::filesystem::create_directory(dir.Path("folder"));
  struct Case {
    std::string output;
    std::string message;
  };
  const Case cases[] = {
      {"nowhere/out.ldif",
       "Cannot create file \"" + dir.Path("nowhere/out.ldif") + "\". No such file or directory"},
      {"plain/out.ldif", "Cannot create file \"" + dir.Path("plain/out.ldif") + "\". Not a directory"},
      {"folder", "Cannot create file \"" + dir.Path("folder") + "\". Is a directory"},
      {"/dev/full", "Stream write error: /dev/full: No space left on device"},
  };
  for (const Case& c : cases) {
    const FixResult result = RunFix(dir, {"--no-schema", "--output", c.output, "book.ldif"});
    EXPECT_EQ(result.exitCode, 2) << c.output;
    EXPECT_EQ(result.err, "quorvane-fix: " + c.message + "\n");
  }
  EXPECT_FALSE(dir.Exists("nowhere"));
  EXPECT_EQ(dir.Read("plain"), "not a directory");
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path("folder")));
  // A device is written in place, never replaced by a regular file.
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));

  const FixResult toStdout = RunFix(dir, {"--no-schema", "book.ldif"}, "", "/dev/full");
  EXPECT_EQ(toStdout.exitCode, 2);
  EXPECT_EQ(toStdout.err,
            "quorvane-fix: Cannot write to standard output. No space left on device\n");
  EXPECT_EQ(RunFix(dir, {"--help"}, "", "/dev/full").exitCode, 2);
}

}  // namespace
}  // namespace quorvane::testing
