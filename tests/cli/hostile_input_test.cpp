// quorvane-fix on hostile input: binary files, huge lines, endless blank lines, broken profiles.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "tests/cli/run_fix.h"

namespace quorvane::testing {
namespace {

constexpr char kBase[] = ",dc=contacts,dc=example,dc=com";

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// A NUL byte ends the text, as it does when the window loads a file: what comes before it is
// repaired, and the user is told that the rest was not read.
TEST(HostileInput, BinaryFilesRepairTheTextBeforeTheirFirstNul) {
  ScratchDir dir;
  struct Case {
    const char* name;
    std::string bytes;
    std::string expected;
    std::string nulLine;
    std::string before;  // what is reported about the text before the NUL byte
  };
  std::string image("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x01\0", 20);
  for (int i = 0; i < 4096; ++i) image += static_cast<char>(i * 7919 % 251);
  const Case cases[] = {
      // The PNG signature reads as a record of nothing: no line of it survives, and it has no DN.
      {"image.png", image, "\r\n", "line 3", "line 1: 002: record has no DN; no directory accepts it\n"},
      {"nul.ldif", std::string("dn: cn=A\ncn: A\n\0dn: cn=B\ncn: B\n", 31),
       std::string("dn: cn=A") + kBase + "\r\nobjectclass: inetOrgPerson\r\ncn: A\r\nsn: A\r\n\r\n",
       "line 3", ""},
  };
  for (const Case& c : cases) {
    dir.Write(c.name, c.bytes);
    const FixResult result = RunFix(dir, {"--seed", "1", c.name});
    EXPECT_EQ(result.exitCode, 0) << c.name << ": " << result.err;
    EXPECT_EQ(result.out, c.expected) << c.name;
    EXPECT_EQ(result.err, c.before + c.nulLine + ": 004: NUL byte in \"" + dir.Path(c.name) +
                              "\"; the rest of the file was not read\n");
  }
}

// One line of 100 MB goes through whole; a million blank lines cost no memory and keep the
// line numbers of the messages right.
TEST(HostileInput, HugeLineAndMillionBlankLines) {
  ScratchDir dir;
  const std::string value(100 * 1024 * 1024, 'x');
  dir.Write("long.ldif", "dn: cn=A\ndescription: " + value + "\n");
  const auto started = std::chrono::steady_clock::now();
  FixResult result = RunFix(dir, {"--output", "long.out", "long.ldif"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  const std::string out = dir.Read("long.out");
  EXPECT_EQ(out.size(), value.size() + 71 + std::string("objectclass: inetOrgPerson\r\n").size());
  EXPECT_NE(out.find("\r\ndescription: " + value + "\r\n"), std::string::npos);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));

  const std::string blanks(1000000, '\n');
  result = RunFix(dir, {}, blanks + "dn: cn=A\n" + blanks + "dn:: Y24\n" + blanks);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err, "line 2000002: 001: Base64ToStr: illegal input length!\n");
  EXPECT_EQ(Count(result.out, "\r\n\r\n"), 2u);
  EXPECT_EQ(result.out.rfind("dn: cn=A", 0), 0u);
}

// Broken Base64 is reported once per record, with its line, and the record is kept encoded;
// bytes that are not UTF-8 are escaped in DNs and kept as they are elsewhere.
TEST(HostileInput, InvalidBase64InManyRecordsAndInvalidUtf8) {
  ScratchDir dir;
  std::string book;
  std::string expectedErrors;
  for (int i = 0; i < 5000; ++i) {
    book += "dn:: Y249" + std::to_string(i % 10) + "\ncn: N" + std::to_string(i) + "\n\n";
    expectedErrors += "line " + std::to_string(3 * i + 1) + ": 001: Base64ToStr: illegal input length!\n";
  }
  book += "dn: cn=\xC3\x28\xFF,mail=a@x\ndescription: \xE2\x82\n";
  const FixResult result = RunFix(dir, {"--seed", "1", "--no-schema"}, book);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err, expectedErrors);
  EXPECT_EQ(Count(result.out, "\r\ncn: N"), 5000u);
  EXPECT_NE(result.out.find(std::string("dn: cn=\\C3(\\FF+mail=a@x") + kBase + "\r\n"),
            std::string::npos);
  EXPECT_NE(result.out.find("\r\ndescription: \xE2\x82\r\n"), std::string::npos);
}

// A profile is read in one pass, however many keys it has; only the keys whose names fit
// the profile budget of 16384 characters are rules, as in the window. A profile of random
// bytes holds no usable rule and changes nothing.
TEST(HostileInput, ProfilesOfManyKeysOrRandomBytes) {
  ScratchDir dir;
  const std::string book = "dn: cn=A\nmozillasecondemail: b@x\nnickname: Al\n";
  std::string many = "[transform]\nmozillasecondemail:=/ignore/:\n";
  for (int i = 0; i < 100000; ++i) many += "key" + std::to_string(i) + ":=/ignore/:\n";
  many += "nickname:=/ignore/:\n";
  dir.Write("many.ini", many);
  const auto started = std::chrono::steady_clock::now();
  FixResult result = RunFix(dir, {"--profile", "many.ini", "--no-schema"}, book);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, std::string("dn: cn=A") + kBase + "\r\nobjectclass: inetOrgPerson\r\nnickname: Al\r\nsn: A\r\ncn: A\r\n\r\n");

  std::mt19937 bytes(12345);
  std::string noise;
  for (int i = 0; i < 65536; ++i) noise += static_cast<char>(bytes() % 256);
  dir.Write("noise.ini", noise);
  result = RunFix(dir, {"--profile", "noise.ini", "--no-schema"}, book);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, RunFix(dir, {"--no-schema"}, book).out);
}

TEST(HostileInput, FullStandardOutputFailsWithTheReason) {
  ScratchDir dir;
  const FixResult result = RunFix(dir, {}, "dn: cn=A\n", "/dev/full");
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(result.err, "quorvane-fix: Cannot write to standard output. No space left on device\n");
}

// Two records whose DN value begins with ":" still end up with different DNs: the uniqueness
// rule holds for every DN line, however odd its value.
TEST(HostileInput, DnValueStartingWithColonIsStillMadeUnique) {
  ScratchDir dir;
  const FixResult result = RunFix(dir, {"--seed", "1"}, "dn: : x\n\ndn: : x\n");
  EXPECT_EQ(result.exitCode, 0);
  const std::size_t first = result.out.find("dn: ");
  const std::size_t second = result.out.find("\r\ndn: ", first + 1);
  ASSERT_NE(second, std::string::npos) << result.out;
  const std::string firstDn = result.out.substr(first, result.out.find('\r', first) - first);
  const std::string secondDn = result.out.substr(second + 2, result.out.find('\r', second + 2) - second - 2);
  EXPECT_NE(firstDn, secondDn);
  EXPECT_EQ(result.out.find("\r\ncn: \r\n"), std::string::npos) << "a cn line without a value";
}

}  // namespace
}  // namespace quorvane::testing
