// The whole-text run must repair exactly as the line-by-line run does, wherever it cuts the
// text into pieces and however the text arrives.
#include "engine/text_repair.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/repair_run.h"
#include "engine/text.h"
#include "engine/text_lines.h"

namespace quorvane {
namespace {

// Errors as "line N: TEXT"; progress messages apart, with their lines.
class RecordingLog : public Log {
 public:
  explicit RecordingLog(bool wantsProgress = false) : progress_(wantsProgress) {}
  void Write(std::string_view text, int level, std::size_t line) override {
    std::string entry = std::to_string(line) + ": " + std::string(text);
    (level == kLogProgress ? progress : errors).push_back(std::move(entry));
  }
  bool WantsProgress() const override { return progress_; }
  std::vector<std::string> errors;
  std::vector<std::string> progress;

 private:
  bool progress_;
};

class StringSink : public TextSink {
 public:
  void Text(std::string_view lines) override { text.append(lines); }
  std::string text;
};

struct Outcome {
  std::string text;
  std::vector<std::string> errors;
  std::vector<std::string> progress;
  std::vector<std::string> keys;
  bool stopped = false;
  std::size_t stopLine = 0;
};

std::vector<std::string> Keys(const UsedDNs& used) {
  std::vector<std::string> keys;
  for (std::size_t i = 0; i < used.size(); ++i) keys.emplace_back(used[i]);
  return keys;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text.append(line).append("\n");
  return text;
}

constexpr std::string_view kBase = "dc=example,dc=com";

TransformMap SampleProfile() {
  TransformMap map;
  map.Add("mozillasecondemail:", "mail:");
  map.Add("xmozillanickname:", "/ignore/:");
  return map;
}

// The reference: the file split as the editor loads it, then the line-by-line run.
Outcome ByLines(std::string_view text, const TransformMap& map, bool progress) {
  Outcome outcome;
  std::vector<std::string> lines;
  LineSplitter splitter;
  auto add = [&lines](std::string_view line) { lines.emplace_back(line); };
  splitter.Feed(text, add);
  splitter.Finish(add);
  outcome.stopped = splitter.Stopped();
  outcome.stopLine = splitter.StopLine();
  UsedDNs used;
  SeededRandom random(42);
  RecordingLog log(progress);
  outcome.text = Joined(RunRepair(lines, kBase, map, used, random, &log));
  outcome.errors = log.errors;
  outcome.progress = log.progress;
  outcome.keys = Keys(used);
  return outcome;
}

// The run under test; `step` > 0 hands the text over through a reader, that many bytes a call.
Outcome WholeText(std::string_view text, const TransformMap& map, bool progress,
                  std::size_t pieceBytes, std::size_t step, TextLines rules = TextLines::kFile) {
  Outcome outcome;
  UsedDNs used;
  SeededRandom random(42);
  RecordingLog log(progress);
  StringSink sink;
  TextRepair run(kBase, map, used, random, &log, sink, "\n", rules);
  run.SetPieceBytes(pieceBytes);
  if (step == 0) {
    run.Run(text);
  } else {
    std::size_t at = 0;
    run.Run([&](char* buffer, std::size_t size) {
      const std::size_t count = std::min({size, step, text.size() - at});
      std::copy_n(text.data() + at, count, buffer);
      at += count;
      return count;
    });
  }
  outcome.text = sink.text;
  outcome.errors = log.errors;
  outcome.progress = log.progress;
  outcome.keys = Keys(used);
  outcome.stopped = run.Stopped();
  outcome.stopLine = run.StopLine();
  return outcome;
}

std::string ReadTestFile(const std::string& name) {
  std::ifstream in(std::string(QUORVANE_TEST_DATA) + "/" + name, std::ios::binary);
  EXPECT_TRUE(in) << name;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Case {
  const char* name;
  std::string text;
};

std::vector<Case> TroubleTexts() {
  return {
      {"empty", ""},
      {"only blank lines", "\n\n \n\t\n"},
      {"unescaped commas and a duplicate across an empty line",
       "dn: cn=Doe, John,mail=j@x.org\ncn: Doe, John\n\n\ndn: cn=Doe, John,mail=j@x.org\n"
       "cn: Doe, John\n\ndn: cn=DOE, JOHN,mail=J@X.ORG\nmail: j@x.org\n"},
      {"CR only", "dn: cn=A,mail=a@x\rcn: A\r\rdn: cn=A,mail=a@x\rcn: A\r\r\rdn: cn=B\r"},
      {"CR LF with empty lines made of CR LF",
       "dn: cn=A\r\ncn: A\r\n\r\n\r\ndn: cn=A\r\ncn: A\r\n\r\n"},
      {"LF CR ends two lines", "dn: cn=A\n\rcn: A\n\r\n\rdn: cn=A\n\r"},
      {"folded lines and a folded DN",
       "dn: cn=Fol\n ded,mail=f@x\ndescription: one\n  two\n three\n\ndn: cn=Fol\n ded,mail=f@x\n"},
      {"second DN line without the empty line", "dn: cn=A\ncn: A\ndn: cn=A\ncn: A\ndn: cn=A\n"},
      {"version line", "version: 1\ndn: cn=V\ncn: V\n\ndn: cn=V\n"},
      {"Base64 DNs, good and broken",
       "dn:: Y249Sm9obiBEb2UsbWFpbD1qQHgub3Jn\ncn: John Doe\n\ndn::  Y249Sm9obiBEb2UsbWFpbD1qQHgub3Jn\n\n"
       "dn:: Y249\n\n"},
      {"TABs and trailing blanks", "dn:\tcn=T  \ncn:\tT\t\n\t\n\ndn: cn=T\n"},
      {"blank-looking continuation", "dn: cn=W\n \t\ncn: W\n\ndn: cn=W\n"},
      {"no final line break", "dn: cn=E\ncn: E\n\ndn: cn=E"},
      {"NUL inside a line", std::string("dn: cn=N\ncn: N\n\ndn: cn=N\ncn: N\0rest\n\ndn: cn=Z\n", 42)},
      {"NUL where a line begins", std::string("dn: cn=N\n\n\0dn: cn=N\n", 20)},
      {"mailing lists", "dn: cn=List\nobjectclass: groupOfNames\n\ndn: cn=List\nobjectclass: "
                        "groupOfNames\nmember: cn=A\n\ndn:\ncn: empty\n"},
      {"records without DN", "cn: loose\n\ncn: loose\nmail: a@x\n\ndn: mail=a@x\n"},
      {"records without the blank lines between them",
       "version: 1\ndn: cn=A\ncn: A\ndn: cn=B\n dn: cn=C\nobjectclass: top\ndn: cn=B\ncn: B\n"
       "  dn: cn=D\n\tdn: cn=E\n \tdn: cn=F\nd\n n: cn=G\ndn: cn=H\r\ndn: cn=I\rdn: cn=J\n"
       "objectclass: person\ndn: cn=K\ncn: K\n \ndn: cn=L\ndn: cn=M"},
      {"records apart by lines of blanks",
       "dn: cn=A\ncn: A\n  \ndn: cn=A\ncn: A\n \t\ndn: cn=A\n \x0b\ndn: cn=B\n \n \ndn: cn=A\n\t\n"
       "dn: cn=C\r\n \r\ndn: cn=C\n"},
      {"one DN many times in a row, in both cases",
       [] {
         std::string text;
         for (int i = 0; i < 40; ++i) {
           text += i % 3 == 0 ? "dn: CN=Same,MAIL=S@X\n" : "dn: cn=Same,mail=s@x\n";
           text += "cn: Same\ncn: same\nmail: s@x\n\n";
         }
         return text;
       }()},
      {"mozilla second mail and nicknames",
       "dn: cn=M,mail=m@x\nmozillasecondemail: M@X\nmail: m@x\nxmozillanickname: mm\n\n"},
  };
}

TEST(TextRepair, AgreesWithTheLineRunWhereverTheTextIsCut) {
  const TransformMap map = SampleProfile();
  for (const Case& c : TroubleTexts()) {
    const Outcome expected = ByLines(c.text, map, false);
    for (const std::size_t pieceBytes : {1u, 2u, 3u, 7u, 64u, 1u << 20}) {
      for (const std::size_t step : {0u, 1u, 5u, 4096u}) {
        SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(pieceBytes) +
                     ", read " + std::to_string(step));
        const Outcome got = WholeText(c.text, map, false, pieceBytes, step);
        EXPECT_EQ(got.text, expected.text);
        EXPECT_EQ(got.errors, expected.errors);
        EXPECT_EQ(got.keys, expected.keys);
        EXPECT_EQ(got.stopped, expected.stopped);
        EXPECT_EQ(got.stopLine, expected.stopLine);
      }
    }
  }
}

TEST(TextRepair, AgreesWithTheLineRunOnAWholeGeneratedBook) {
  // Duplicates across many pieces, made-unique records and every kind of trouble.
  const std::string book = ReadTestFile("golden_input.ldif");
  const TransformMap map = SampleProfile();
  const Outcome expected = ByLines(book, map, false);
  for (const std::size_t pieceBytes : {100u, 4096u, 1u << 16}) {
    for (const std::size_t step : {0u, 777u, 1u << 17}) {
      SCOPED_TRACE("pieces of " + std::to_string(pieceBytes) + ", read " + std::to_string(step));
      const Outcome got = WholeText(book, map, false, pieceBytes, step);
      EXPECT_TRUE(got.text == expected.text);
      EXPECT_EQ(got.errors, expected.errors);
      EXPECT_TRUE(got.keys == expected.keys);
    }
  }
}

// A book whose records follow each other without blank lines is cut before the DN lines that
// start records, and repaired as the line run repairs it.
TEST(TextRepair, AgreesWithTheLineRunOnABookWithoutBlankLines) {
  const std::string book = ReadTestFile("golden_input.ldif");
  std::string packed;
  for (std::size_t start = 0; start < book.size();) {
    const std::size_t end = std::min(book.find('\n', start), book.size());
    const std::string_view line = std::string_view(book).substr(start, end - start);
    if (!TrimView(line).empty()) packed.append(line).append("\n");
    start = end + 1;
  }
  const TransformMap map = SampleProfile();
  const Outcome expected = ByLines(packed, map, false);
  for (const std::size_t pieceBytes : {100u, 4096u}) {
    for (const std::size_t step : {0u, 1000u}) {
      SCOPED_TRACE("pieces of " + std::to_string(pieceBytes) + ", read " + std::to_string(step));
      const Outcome got = WholeText(packed, map, false, pieceBytes, step);
      EXPECT_TRUE(got.text == expected.text);
      EXPECT_EQ(got.errors, expected.errors);
      EXPECT_TRUE(got.keys == expected.keys);
    }
    SCOPED_TRACE("the editor's text, pieces of " + std::to_string(pieceBytes));
    const Outcome got = WholeText(packed, map, false, pieceBytes, 0, TextLines::kPane);
    EXPECT_TRUE(got.text == expected.text);
  }
}

TEST(TextRepair, ProgressCoversTheFirstLinesAndEndsOnTheLastOne) {
  const std::string book = ReadTestFile("golden_input.ldif");
  const TransformMap map;
  const Outcome expected = ByLines(book, map, true);
  const Outcome got = WholeText(book, map, true, 4096, 0);
  EXPECT_TRUE(got.text == expected.text);
  EXPECT_EQ(got.errors, expected.errors);
  // Every line of the records starting on the first 256 lines, in the same order and words.
  auto early = [](const std::vector<std::string>& progress) {
    std::vector<std::string> result;
    for (const std::string& entry : progress) {
      if (std::stoul(entry) <= 256) result.push_back(entry);
    }
    return result;
  };
  ASSERT_FALSE(early(expected.progress).empty());
  EXPECT_EQ(early(got.progress), early(expected.progress));
  ASSERT_FALSE(got.progress.empty());
  EXPECT_EQ(got.progress.back(), expected.progress.back());
  // Later records report now and then, far fewer than one message a line.
  EXPECT_GT(got.progress.size(), early(got.progress).size() + 10);
  EXPECT_LT(got.progress.size(), 1000u);
}

// The editor's text: lines end at LF; a CR or NUL inside a line ends a line there too.
TEST(TextRepair, PaneTextIsSplitAsTheLineRunSplitsHandedInLines) {
  const TransformMap map = SampleProfile();
  const std::vector<std::string> texts = {
      "dn: cn=A\ncn: A\n\ndn: cn=A\n",
      "dn: cn=A\r\ncn: A\r\n\r\ndn: cn=A\r\n",
      "dn: cn=A\rcn: A\r\rdn: cn=A\r\n\ndn: cn=A\n",
      std::string("dn: cn=A\0cn: A\n\0\ndn: cn=A\n\n\n", 28),
      "dn: cn=A\n\tcn: A\t\n\ndn: cn=A",
      ReadTestFile("golden_input.ldif"),
  };
  for (const std::string& text : texts) {
    Outcome expected;
    {
      UsedDNs used;
      SeededRandom random(42);
      RecordingLog log;
      struct Collect : LineSink {
        std::vector<std::string> lines;
        void Line(std::string_view line) override { lines.emplace_back(line); }
      } collect;
      RepairRun run(kBase, map, used, random, &log, collect);
      std::size_t start = 0;
      while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        run.AddLine(std::string_view(text).substr(start, end - start));
        start = end + 1;
      }
      run.Finish();
      expected.text = Joined(collect.lines);
      expected.errors = log.errors;
      expected.keys = Keys(used);
    }
    for (const std::size_t pieceBytes : {1u, 9u, 1u << 20}) {
      SCOPED_TRACE(text.substr(0, 40) + ", pieces of " + std::to_string(pieceBytes));
      const Outcome got = WholeText(text, map, false, pieceBytes, 0, TextLines::kPane);
      EXPECT_TRUE(got.text == expected.text);
      EXPECT_EQ(got.errors, expected.errors);
      EXPECT_EQ(got.keys, expected.keys);
      EXPECT_FALSE(got.stopped);
    }
  }
}

TEST(TextRepair, FailuresComeOutOfRunAndStopTheWorkers) {
  const std::string book = ReadTestFile("golden_input.ldif");
  const TransformMap map;
  struct Failure {
    const char* name;
    bool failingReader;
    bool failingSink;
    bool failingLog;
  };
  for (const Failure failure : {Failure{"reader", true, false, false},
                                Failure{"sink", false, true, false},
                                Failure{"log", false, false, true}}) {
    SCOPED_TRACE(failure.name);
    struct FailingSink : TextSink {
      bool fail = false;
      std::size_t calls = 0;
      void Text(std::string_view) override {
        if (fail && ++calls == 3) throw std::runtime_error("disk full");
      }
    } sink;
    sink.fail = failure.failingSink;
    struct FailingLog : Log {
      bool fail = false;
      void Write(std::string_view, int, std::size_t) override {
        if (fail) throw std::runtime_error("log gone");
      }
    } log;
    log.fail = failure.failingLog;
    UsedDNs used;
    SeededRandom random(1);
    TextRepair run(kBase, map, used, random, &log, sink, "\r\n", TextLines::kFile);
    run.SetPieceBytes(256);
    std::size_t at = 0;
    auto read = [&](char* buffer, std::size_t size) -> std::size_t {
      if (failure.failingReader && at > book.size() / 2) throw std::runtime_error("read error");
      const std::size_t count = std::min({size, std::size_t{1000}, book.size() - at});
      std::copy_n(book.data() + at, count, buffer);
      at += count;
      return count;
    };
    EXPECT_THROW(run.Run(read), std::runtime_error);
  }
}

TEST(TextRepair, EveryLineEndsWithTheBreakAsked) {
  UsedDNs used;
  SeededRandom random(1);
  StringSink sink;
  const TransformMap map;
  TextRepair run(kBase, map, used, random, nullptr, sink, "\r\n", TextLines::kFile);
  run.Run(std::string_view("dn: cn=A\ncn: A\n\ndn: cn=B"));
  EXPECT_EQ(sink.text, "dn: cn=A,dc=example,dc=com\r\ncn: A\r\nsn: A\r\n\r\n"
                       "dn: cn=B,dc=example,dc=com\r\nsn: B\r\ncn: B\r\n\r\n");
}

}  // namespace
}  // namespace quorvane
