// first_pass: the time of the per-record rewriting alone, on one thread, over a whole book.
//
//   first_pass BOOK.ldif [ROUNDS] [PROFILE.ini]
//
// Splits the book into records once, with the run's rules (lines trimmed, folded lines joined,
// a blank line or a second dn: line ends a record), then runs the first pass of FixRecord over
// every record ROUNDS times (default 7), each time on a fresh copy. Prints the fastest and the
// median time of one round, and a checksum of every rewritten line, DN key and record fact, so
// that two builds can be compared for identical results.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "engine/fix_record.h"
#include "engine/text_lines.h"
#include "platform/file_io.h"
#include "profiles/profiles.h"

namespace {

using namespace quorvane;

class CountingLog : public Log {
 public:
  void Write(std::string_view text, int, std::size_t line) override {
    sum = sum * 31 + std::hash<std::string_view>()(text) + line;
  }
  std::uint64_t sum = 0;
};

struct Record {
  RecordLines lines;
  std::size_t line = 0;
};

std::vector<Record> SplitRecords(std::string_view bytes) {
  std::vector<Record> records(1);
  std::size_t number = 0;
  bool previousNonBlank = false;
  auto endRecord = [&] {
    if (!records.back().lines.empty()) records.emplace_back();
  };
  auto onLine = [&](std::string_view raw) {
    ++number;
    Record& record = records.back();
    if (previousNonBlank && raw.size() >= 2 && raw[0] == ' ' && raw[1] != ' ') {
      record.lines.back().append(raw.substr(1));  // RFC 2849 folding
      return;
    }
    const std::string_view line = TrimView(raw);
    previousNonBlank = !line.empty();
    if (line.empty()) return endRecord();
    if (line.starts_with("dn:")) {
      for (const std::string& earlier : record.lines) {
        if (earlier.starts_with("dn:")) {
          endRecord();
          break;
        }
      }
    }
    Record& current = records.back();
    if (current.lines.empty()) current.line = number;
    current.lines.push_back(line);
  };
  LineSplitter splitter;
  splitter.Feed(bytes, onLine);
  splitter.Finish(onLine);
  if (records.back().lines.empty()) records.pop_back();
  return records;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: first_pass BOOK.ldif [ROUNDS] [PROFILE.ini]\n");
    return 2;
  }
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
  std::vector<Record> book;
  TransformMap map;
  try {
    book = SplitRecords(ReadWholeFile(argv[1]));
    if (argc > 3) LoadProfile(argv[3], map, nullptr);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "first_pass: %s\n", error.what());
    return 2;
  }
  std::vector<double> times;
  std::uint64_t checksum = 0;
  for (int round = 0; round < rounds; ++round) {
    std::vector<Record> work = book;  // FixRecord rewrites in place
    CountingLog log;
    FirstPassNotes notes;
    std::string dnKey;
    std::uint64_t sum = 0;
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < work.size(); ++i) {
      const RecordContext context{"dc=contacts,dc=example,dc=com", &map, &log, work[i].line,
                                  ProgressLines::kNone, &notes};
      dnKey.clear();
      const RecordFacts facts = FixRecord(work[i].lines, i == 0, dnKey, {}, context);
      sum = sum * 31 + facts.emptyDN + 2 * facts.isGroup + 4 * facts.hasMember +
            std::hash<std::string>()(dnKey);
      for (const std::size_t at : notes.nameLines) sum = sum * 7 + at;
    }
    times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    for (const Record& record : work) {
      for (const std::string& line : record.lines) sum = sum * 1099511628211ull + std::hash<std::string>()(line);
    }
    checksum = sum ^ log.sum;
  }
  std::sort(times.begin(), times.end());
  std::printf("records %zu  fastest %.4f s  median %.4f s  checksum %016llx\n", book.size(),
              times.front(), times[times.size() / 2], static_cast<unsigned long long>(checksum));
  return 0;
}
