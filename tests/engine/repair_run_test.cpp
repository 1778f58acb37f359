// Whole runs: record splitting, uniqueness, the sample from the handbook, progress and reports.
#include "engine/repair_run.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/text.h"
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

TEST(RepairRun, UniquenessNeverGivesUp) {
  // The same number every time: attempt numbers alone must find a free key.
  UsedDNs keys;
  std::string input;
  for (int i = 0; i < 8; ++i) input += "dn: cn=Jane Roe,mail=ADDRESS\n\n";
  Repair(input, {}, kBase, {57}, &keys);
  const std::vector<std::string> expected = {
      "dn: cn=Jane Roe+mail=ADDRESS",    "dn: cn=Jane Roe057+mail=ADDRESS",
      "dn: cn=Jane Roe157+mail=ADDRESS", "dn: cn=Jane Roe257+mail=ADDRESS",
      "dn: cn=Jane Roe357+mail=ADDRESS", "dn: cn=Jane Roe457+mail=ADDRESS",
      "dn: cn=Jane Roe557+mail=ADDRESS", "dn: cn=Jane Roe657+mail=ADDRESS"};
  ASSERT_EQ(keys.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(keys[i], expected[i]);
}

TEST(RepairRun, NumbersAreDrawnOnlyForCollisions) {
  UsedDNs keys;
  FixedRandom random({12, 12, 12, 30});
  const std::vector<std::string> input = {"dn: cn=A", "", "dn: cn=B", "", "dn: cn=A", "",
                                          "dn: cn=A", "", "dn: cn=A012"};
  RunRepair(input, kBase, {}, keys, random, nullptr);
  // Third A: 012 is free. Fourth A: 012 taken, then 112. Last: cn=A012 taken by the third.
  EXPECT_EQ(random.draws, 4);
  ASSERT_EQ(keys.size(), 5u);
  EXPECT_EQ(keys[2], "dn: cn=A012");
  EXPECT_EQ(keys[3], "dn: cn=A112");
  EXPECT_EQ(keys[4], "dn: cn=A012030");
}

TEST(RepairRun, KeysCompareWithoutLetterCase) {
  UsedDNs keys;
  const std::string output = Repair(
      "dn: cn=John Doe,mail=j@x\n\ndn: cn=john doe,mail=J@X\n\ndn:cn=JOHN DOE, mail=j@x\n", {},
      kBase, {5, 6}, &keys);
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[0], "dn: cn=John Doe+mail=j@x");
  EXPECT_EQ(keys[1], "dn: cn=john doe05+mail=J@X");  // stored in its own letter case
  EXPECT_EQ(keys[2], "dn: cn=JOHN DOE06+mail=j@x");
  EXPECT_NE(output.find("sn: john doe\ncn: john doe05\n"), std::string::npos) << output;
}

TEST(RepairRun, MailOnlyDnKeepsItsAddress) {
  UsedDNs keys;
  const std::string output =
      Repair("dn: mail=a@x\nobjectclass: inetOrgPerson\nsn: A\n\n"
             "dn: mail=a@x\nobjectclass: inetOrgPerson\nsn: A\n",
             {}, kBase, {57}, &keys);
  EXPECT_EQ(output, R"(dn: mail=a@x,dc=contacts,dc=test
objectclass: inetOrgPerson
sn: A
cn: A

dn: cn=a@x057+mail=a@x,dc=contacts,dc=test
objectclass: inetOrgPerson
sn: A
cn: a@x057

)");
}

TEST(RepairRun, OnlyAMailRdnGainsACnComponent) {
  const struct {
    const char* dn;
    const char* key;
  } cases[] = {
      {"mail=a+tag@x", "dn: cn=a\\+tag@x057+mail=a\\+tag@x"},
      {"MAIL=a@x", "dn: cn=a@x057+MAIL=a@x"},
      {"mail=a@x,uid=y", "dn: cn=a@x\\,uid=y057+mail=a@x\\,uid=y"},  // one RDN once escaped
      {"mail=a@x,o=y", "dn: cn=a@x057+mail=a@x"},  // re-based: only the mail RDN is left
      {"uid=a@x", "dn: uid=a@x057"},
  };
  for (const auto& c : cases) {
    UsedDNs keys;
    const std::string record = std::string("dn: ") + c.dn + "\nsn: S\n\n";
    Repair(record + record, {}, kBase, {57}, &keys);
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[1], c.key) << c.dn;
  }
}

TEST(RepairRun, RecordsWithoutDnTakeNoKey) {
  UsedDNs keys;
  const std::string output = Repair(R"(version: 1

dn: cn=A
objectclass: inetOrgPerson
cn: A

description: no dn here
sn: Loose

dn: cn=B
objectclass: inetOrgPerson
)",
                                    {}, kBase, {57}, &keys);
  EXPECT_EQ(output, R"(version: 1

dn: cn=A,dc=contacts,dc=test
objectclass: inetOrgPerson
cn: A
sn: A

objectclass: inetOrgPerson
description: no dn here
sn: Loose
cn: Loose

dn: cn=B,dc=contacts,dc=test
objectclass: inetOrgPerson
sn: B
cn: B

)");
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[1], "dn: cn=B");
}

TEST(RepairRun, FirstRecordWithoutDnStillKeepsObjectClasses) {
  // The first record has no DN and no cn: or mail: to make one from.
  ExpectRepair("objectclass: top\nobjectclass: inetOrgPerson\nsn: A\n\n"
               "dn: cn=B\nobjectclass: top\nobjectclass: inetOrgPerson\n",
               "objectclass: top\nobjectclass: inetOrgPerson\nsn: A\ncn: A\n\n"
               "dn: cn=B,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: B\ncn: B\n\n");
}

TEST(RepairRun, MadeUniqueDnsUnderExistingBase) {
  UsedDNs keys;
  const std::string output =
      Repair("dn: cn=X,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: X\n\n"
             "dn: cn=X\nobjectclass: inetOrgPerson\ncn: X\n",
             {}, kBase, {3}, &keys);
  EXPECT_EQ(output, "dn: cn=X,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: X\nsn: X\n\n"
                    "dn: cn=X03,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: X03\nsn: X\n\n");
}

TEST(RepairRun, LineBreaksNeverReachTheOutput) {
  UsedDNs keys;
  FixedRandom random({1});
  // A caller handing in text with breaks inside a "line", and a Base64 DN hiding CR LF NUL.
  constexpr char kBroken[] = "objectclass: inetOrgPerson\r\nsn: b\rmail: c\0x";
  const std::vector<std::string> input = {
      std::string(kBroken, sizeof kBroken - 1), "", "dn:: Y249YQ0KAGI=",
      "objectclass: inetOrgPerson",              "", "dn:: Y249YQ0KAGI=",
      "objectclass: inetOrgPerson"};
  const std::vector<std::string> output = RunRepair(input, kBase, {}, keys, random, nullptr);
  for (const std::string& line : output) {
    EXPECT_EQ(line.find_first_of(std::string_view("\r\n\0", 3)), std::string::npos) << line;
  }
  // The first record: split at the breaks, the mail: line made a DN of its own.
  EXPECT_EQ(output[0], "dn: mail=c,dc=contacts,dc=test");
  EXPECT_EQ(output[1], "objectclass: inetOrgPerson");
  EXPECT_EQ(output[2], "sn: b");
  EXPECT_EQ(output[3], "mail: c");
  EXPECT_EQ(Join(output).substr(Join(output).find("dn: cn=a\\0D")),
            "dn: cn=a\\0D\\0A\\00b,dc=contacts,dc=test\nobjectclass: inetOrgPerson\n"
            "sn:: YQ0KAGI=\ncn:: YQ0KAGI=\n\n"
            "dn: cn=a\\0D\\0A\\00b01,dc=contacts,dc=test\nobjectclass: inetOrgPerson\n"
            "sn:: YQ0KAGI=\ncn:: YQ0KAGIwMQ==\n\n");
}

TEST(RepairRun, BreaksInBaseDnOrProfileStayInsideTheLine) {
  TransformMap map;
  map.Add("a:", "b:\nchangetype: delete");
  map.Add("objectclass: x", "objectclass: y\r\nz");
  EXPECT_EQ(Repair("dn: cn=A\ncn: A\nsn: A\na: 1\nobjectclass: x\n", map, "o=x\ny"),
            "dn: cn=A,o=x\\0Ay\ncn: A\nsn: A\nb: 1\nobjectclass: y\n\n");
}

TEST(RepairRun, KeysStayDistinctWhenProfileRenamesDn) {
  TransformMap map;
  map.Add("dn:", "entry:");
  UsedDNs keys;
  Repair("dn: cn=A\n\ndn: cn=A\n", map, kBase, {57}, &keys);
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[1], "dn: cn=A057");
}

TEST(RepairRun, LineNumbersCountHandedInLines) {
  RecordingLog log;
  UsedDNs keys;
  FixedRandom random({1});
  // The first line holds two lines; the record after the blank line starts on line 3.
  RunRepair({"objectclass: inetOrgPerson\r\nsn: b", "", "dn::x"}, kBase, {}, keys, random, &log);
  EXPECT_EQ(log.Errors(),
            (std::vector<Message>{{"002: record has no DN; no directory accepts it", kLogError, 1},
                                  {"001: Base64ToStr: illegal input length!", kLogError, 3}}));
}

TEST(RepairRun, ArbitraryBytesNeverBreakOutputLines) {
  // Lines built from fragments that exercise every rule, with random bytes in between.
  const std::string_view fragments[] = {"dn:", "dn::", " ", "member:", ",mail=", ",", "+", "\\", "#", "=",
                             "cn:", "sn:", "Y249", "DQoA", "==", "\r", "\n", std::string_view("\0", 1),
                             "objectclass: groupOfNames", "true", ":", "<", "\"", "\xC3\xA9"};
  std::uint32_t state = 12345;
  auto next = [&state] { return state = state * 1664525u + 1013904223u; };
  std::vector<std::string> input;
  for (int i = 0; i < 3000; ++i) {
    std::string line;
    for (std::uint32_t n = next() % 6; n > 0; --n) {
      if (next() % 4 == 0) {
        line.push_back(static_cast<char>(next() >> 24));
      } else {
        line.append(fragments[(next() >> 8) % std::size(fragments)]);
      }
    }
    input.push_back(line);
  }
  UsedDNs keys;
  FixedRandom random({7});
  for (const std::string& line : RunRepair(input, kBase, {}, keys, random, nullptr)) {
    ASSERT_EQ(line.find_first_of(std::string_view("\r\n\0", 3)), std::string::npos) << line;
  }
  for (std::size_t i = 0; i < keys.size(); ++i) {
    for (std::size_t k = 0; k < i; ++k) ASSERT_FALSE(EqualsNoCase(keys[i], keys[k])) << keys[i];
  }
}

TEST(RepairRun, UnacceptableRecordsAreReportedWithTheirLine) {
  RecordingLog log;
  const std::string output = Repair(R"(dn: cn=Ok
cn: Ok


dn:
mail: a@b

dn: cn=Empty List
objectclass: top
objectclass: groupOfNames

dn: cn=Good List
objectclass: groupOfUniqueNames
uniqueMember: cn=Ok

dn:: Y249Sm9
objectclass: inetOrgPerson
)",
                                    {}, kBase, {57}, nullptr, &log);
  EXPECT_EQ(log.Errors(),
            (std::vector<Message>{
                {"002: record has an empty DN; no directory accepts it", kLogError, 5},
                {"003: mailing list has no member; no directory accepts it", kLogError, 8},
                {"001: Base64ToStr: illegal input length!", kLogError, 16}}));
  // They stay in the output all the same (each with an object class, as every record).
  EXPECT_NE(output.find("dn:\nobjectclass: inetOrgPerson\nmail: a@b\n\n"), std::string::npos)
      << output;
  EXPECT_NE(output.find("dn: cn=Empty List,dc=contacts,dc=test\nobjectclass: groupOfNames\n"
                        "cn: Empty List\n\n"),
            std::string::npos)
      << output;
  EXPECT_NE(output.find("dn:: Y249Sm9\nobjectclass: inetOrgPerson\n\n"), std::string::npos)
      << output;
}

TEST(RepairRun, ProgressOnlyForSinksThatShowIt) {
  RecordingLog quiet;
  Repair("dn: cn=A\ncn: A\n", {}, kBase, {57}, nullptr, &quiet);
  EXPECT_TRUE(quiet.messages.empty());
  RecordingLog shown(true);
  Repair("\ndn: cn=A\ncn: A\n", {}, kBase, {57}, nullptr, &shown);
  EXPECT_EQ(shown.messages, (std::vector<Message>{{"fc: dn: cn=A", kLogProgress, 2},
                                                  {"fc: cn: A", kLogProgress, 2}}));
}

TEST(RepairRun, StreamingMatchesWholeList) {
  const std::string input =
      "dn: cn=A,mail=a\ncn: A\n\ndn: cn=a,mail=A\n cn: A\n\n\ndn: cn=B\ndn: cn=A,mail=a\n";
  struct Collect : LineSink {
    std::string text;
    void Line(std::string_view line) override { text.append(line).append("\n"); }
  } collect;
  TransformMap map;
  UsedDNs keys;
  FixedRandom random({9});
  RepairRun run(kBase, map, keys, random, nullptr, collect);
  for (const std::string& line : SplitTextLines(input)) run.AddLine(line);
  run.Finish();
  EXPECT_EQ(collect.text, Repair(input, map, kBase, {9}));
  EXPECT_EQ(keys.size(), 4u);
}

TEST(RepairRun, UsedKeysAreClearedPerRun) {
  UsedDNs keys;
  keys.AddIfAbsent("dn: cn=A");
  EXPECT_EQ(Repair("dn: cn=A\nobjectclass: inetOrgPerson\n", {}, kBase, {57}, &keys),
            "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: A\ncn: A\n\n");
  EXPECT_EQ(keys.size(), 1u);
}

TEST(RepairRun, RepeatedValuesOfARecordAreWrittenOnce) {
  // A directory answers "type or value exists" to a value given twice, and mail, cn and the
  // other address-book attributes match without regard to case.
  // Each record starts with its own DN and class: kHead is repaired into kHeadOut.
  const std::string kHead = "dn: cn=A\nobjectclass: inetOrgPerson\n";
  const std::string kHeadOut = "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\n";
  ExpectRepair(kHead + "cn: A\nmail: case@example.com\nMAIL: Case@Example.COM\nmail: other@example.com\n",
               kHeadOut + "cn: A\nmail: case@example.com\nmail: other@example.com\nsn: A\n\n");
  // Base64 values compare by their bytes: "QUJD" is "ABC", "qujd" three other bytes.
  ExpectRepair(kHead + "cn: A\ndescription:: QUJD\ndescription:: qujd\ndescription:: QUJD\n",
               kHeadOut + "cn: A\ndescription:: QUJD\ndescription:: qujd\nsn: A\n\n");
  // Bytes that differ in the bit that tells capitals from small letters, but are no letters,
  // are different values ("@" and "`", "[" and "{", "^" and "~").
  ExpectRepair(kHead + "cn: A\nmail: a@b.example\nmail: a`b.example\nnote: [x^]\nnote: {x~]\n",
               kHeadOut +
                   "cn: A\nmail: a@b.example\nmail: a`b.example\nnote: [x^]\nnote: {x~]\nsn: A\n\n");
  // A renamed second address equal to the first collapses into it.
  TransformMap map;
  map.Add("mozillasecondemail:", "mail:");
  ExpectRepair(kHead + "cn: A\nmail: a@x.org\nmozillaSecondEmail: A@X.org\n",
               kHeadOut + "cn: A\nmail: a@x.org\nsn: A\n\n", kBase, map);
}

TEST(RepairRun, MadeUniqueRecordKeepsOneCnValue) {
  // Both cn lines take the new common name on the second pass; the entry holds it once.
  ExpectRepair("dn: cn=A\nobjectclass: inetOrgPerson\ncn: A\n\n"
               "dn: cn=A\nobjectclass: inetOrgPerson\ncn: A\ncn: Alias\n",
               "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: A\nsn: A\n\n"
               "dn: cn=A057,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: A057\nsn: Alias\n\n");
}

TEST(RepairRun, LongRecordsDropRepeatedValuesToo) {
  std::string input = "dn: cn=List\nobjectclass: groupOfNames\ncn: List\n";
  std::string expected = "dn: cn=List,dc=contacts,dc=test\nobjectclass: groupOfNames\ncn: List\n";
  for (int i = 0; i < 100; ++i) {
    const std::string member = "member: cn=M" + std::to_string(i);
    input += member + "\n" + member + "\n";
    expected += member + ",dc=contacts,dc=test\n";
  }
  // An attribute that first comes once the record is long is compared all the same.
  input += "mail: list@x.org\nMAIL: List@X.org\n";
  expected += "mail: list@x.org\n";
  EXPECT_EQ(Repair(input), expected + "\n");
}

// A long run in which DNs come back, with an undecodable member now and then.
std::string ManyRecords(int count) {
  std::string input;
  for (int i = 0; i < count; ++i) {
    const std::string n = std::to_string(i % 700);  // DNs come back, so keys collide
    input += "dn: cn=Person " + n + ",mail=p" + n + "@x\n";
    input += i % 97 == 0 ? "member:: Y24\n" : "cn: Person " + n + "\n";
    input += "\n";
  }
  return input;
}

TEST(RepairRun, LongRunKeepsMessagesInSourceOrder) {
  RecordingLog log(true);
  const std::string output = Repair(ManyRecords(3000), {}, kBase, {5, 17, 93}, nullptr, &log);
  std::size_t previous = 0;
  std::size_t decodeErrors = 0;
  for (const Message& m : log.messages) {
    EXPECT_GE(m.line, previous) << m.text;
    previous = m.line;
    if (m.level > 0) ++decodeErrors;
  }
  EXPECT_EQ(decodeErrors, 31u);  // every 97th record of 3000
  // A long run reports the last line of one record in sixteen: the status is never more than
  // sixteen records (three lines each) behind the source.
  EXPECT_EQ(log.messages.back().level, kLogProgress);
  EXPECT_GT(log.messages.back().line, 8998u - 16 * 3) << log.messages.back().text;
  // 3000 records, 700 distinct DNs: every later copy was made unique.
  EXPECT_EQ(output.find("dn: cn=Person 5+mail=p5@x,"), output.find("dn: cn=Person 5+"));
  EXPECT_NE(output.find("dn: cn=Person 50"), std::string::npos);
}

TEST(RepairRun, FailuresOfSinkOrLogReachTheCaller) {
  struct FailingSink : LineSink {
    std::size_t lines = 0;
    void Line(std::string_view) override {
      if (++lines == 5000) throw std::runtime_error("disk full");
    }
  };
  struct FailingLog : Log {
    void Write(std::string_view text, int, std::size_t) override {
      throw std::runtime_error("log: " + std::string(text));
    }
  };
  const std::vector<std::string> lines = SplitTextLines(ManyRecords(3000));
  auto runAll = [&lines](LineSink& sink, Log* log) {
    TransformMap map;
    UsedDNs keys;
    FixedRandom random({1});
    RepairRun run(kBase, map, keys, random, log, sink);
    for (const std::string& line : lines) run.AddLine(line);
    run.Finish();
  };
  FailingSink failingSink;
  EXPECT_THROW(
      {
        try {
          runAll(failingSink, nullptr);
        } catch (const std::runtime_error& e) {
          EXPECT_STREQ(e.what(), "disk full");
          throw;
        }
      },
      std::runtime_error);
  struct Discard : LineSink {
    void Line(std::string_view) override {}
  } discard;
  FailingLog failingLog;
  EXPECT_THROW(
      {
        try {
          runAll(discard, &failingLog);
        } catch (const std::runtime_error& e) {
          EXPECT_STREQ(e.what(), "log: 001: Base64ToStr: illegal input length!");
          throw;
        }
      },
      std::runtime_error);
}

// The first record keeps its generic object classes wherever it starts: after many blank
// lines, or after a long header block.
TEST(RepairRun, FirstRecordIsFirstHoweverFarIntoTheText) {
  const std::string record = "dn: cn=A\nobjectclass: top\nobjectclass: inetOrgPerson\ncn: A\n";
  const std::string expected =
      "dn: cn=A,dc=contacts,dc=test\nobjectclass: top\nobjectclass: inetOrgPerson\ncn: A\nsn: A\n\n";
  EXPECT_EQ(Repair(std::string(40000, '\n') + record), expected);
  const std::string longFirst =
      "dn: cn=B\nobjectclass: top\ndescription: " + std::string(40000, 'x') + "\n\n";
  const std::string output = Repair("\n\n" + longFirst + record);
  EXPECT_EQ(output.substr(0, 48), "dn: cn=B,dc=contacts,dc=test\nobjectclass: top\nde");
  EXPECT_TRUE(output.ends_with(
      "\n\ndn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: A\nsn: A\n\n"));
}

// A base DN typed with blanks or line breaks around it is trimmed before it is used, so no DN
// line ends in a blank and no name taken from a DN carries one.
TEST(RepairRun, BaseDnIsTrimmedBeforeUse) {
  const std::string kClass = "objectclass: inetOrgPerson\n";
  EXPECT_EQ(Repair("dn: cn=x\n" + kClass, {}, " dc=x "),
            "dn: cn=x,dc=x\n" + kClass + "sn: x\ncn: x\n\n");
  EXPECT_EQ(Repair("dn: cn=x,mail=a@x\n" + kClass, {}, "dc=x\n"),
            "dn: cn=x+mail=a@x,dc=x\n" + kClass + "sn: x\ncn: x\n\n");
  EXPECT_EQ(Repair("dn: cn=x\n" + kClass, {}, "\n"), "dn: cn=x\n" + kClass + "sn: x\ncn: x\n\n");
}

// The counts the window and the command summarise come from the run itself.
TEST(RepairRun, CountsWhatItDid) {
  struct Discard : LineSink {
    void Line(std::string_view) override {}
  } discard;
  UsedDNs keys;
  FixedRandom random({57});
  RepairRun run(kBase, {}, keys, random, nullptr, discard);
  run.AddText(
      "dn: cn=A\ncn: A\n\n"
      "dn: cn=a\ncn: a\n\n"                       // made unique
      "dn: cn=A\n\n"                              // made unique again
      "dn:\ncn: Nobody\n\n"                       // no directory accepts it
      "dn: cn=L\nobjectclass: groupOfNames\n\n"   // nor a list without members
      "dn:: Y24\ncn: Bad\n\n"                     // nor a DN that does not decode
      "description:\n\n");                        // nor one without a DN or a name for one
  run.Finish();
  const RepairCounts& counts = run.Counts();
  EXPECT_EQ(counts.recordsRead, 7u);
  // Every record keeps an object class, so every record read is written.
  EXPECT_EQ(counts.recordsWritten, 6u);
  EXPECT_EQ(counts.madeUnique, 2u);
  EXPECT_EQ(counts.notImportable, 4u);
}

}  // namespace
}  // namespace quorvane
