// first_pass: the time of the per-record rewriting alone, on one thread, over a whole book.
//
//   first_pass BOOK.ldif [ROUNDS] [PROFILE.ini]
//
// Splits the book into records once, with the run's rules (lines trimmed, folded lines joined,
// a blank line or a second dn: line ends a record), then runs the first pass of FixRecord over
// every record ROUNDS times (default 7). Each record is first copied into a reused line list,
// as the run hands it on; rounds that only copy are timed as well and taken off. Rounds that
// add the second pass of every record with a DN (as if each DN were taken) time that pass.
// Prints the times of one round, and checksums of every rewritten line, DN key, note and
// message, so that two builds can be compared for identical results.
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

// A record as views into the book's text (folded lines joined in `joined`).
struct Record {
  std::vector<std::string_view> lines;
  std::size_t line = 0;
};

struct Book {
  std::string text;
  std::vector<std::string> joined;  // stable storage: reserved up front, never reallocated
  std::vector<Record> records;
};

void SplitRecords(Book& book) {
  std::size_t number = 0;
  bool previousNonBlank = false;
  book.joined.reserve(book.text.size() / 16 + 1);
  book.records.emplace_back();
  auto onLine = [&](std::string_view raw) {
    ++number;
    Record& record = book.records.back();
    if (previousNonBlank && raw.size() >= 2 && raw[0] == ' ' && raw[1] != ' ') {
      std::string joined(record.lines.back());  // RFC 2849 folding
      joined.append(raw.substr(1));
      book.joined.push_back(std::move(joined));
      record.lines.back() = book.joined.back();
      return;
    }
    const std::string_view line = TrimView(raw);
    previousNonBlank = !line.empty();
    if (line.empty()) {
      if (!record.lines.empty()) book.records.emplace_back();
      return;
    }
    if (line.starts_with("dn:") &&
        std::any_of(record.lines.begin(), record.lines.end(),
                    [](std::string_view earlier) { return earlier.starts_with("dn:"); })) {
      book.records.emplace_back();
    }
    Record& current = book.records.back();
    if (current.lines.empty()) current.line = number;
    current.lines.push_back(line);
  };
  LineSplitter splitter;
  splitter.Feed(book.text, onLine);
  splitter.Finish(onLine);
  if (book.records.back().lines.empty()) book.records.pop_back();
}

enum class Mode { kCopyOnly, kFirstPass, kBothPasses };

std::uint64_t Sum(const RecordLines& lines, const std::string& dnKey, RecordFacts facts,
                  const FirstPassNotes& notes) {
  std::uint64_t sum = facts.emptyDN + 2 * facts.isGroup + 4 * facts.hasMember +
                      std::hash<std::string>()(dnKey);
  for (const std::size_t at : notes.nameLines) sum = sum * 7 + at;
  for (const std::string_view line : lines) {
    sum = sum * 1099511628211ull + std::hash<std::string_view>()(line);
  }
  return sum;
}

// One round over the book: each record is copied into one reused line list, as the run does,
// then given its first pass, and with kBothPasses also the second pass of a record whose DN was
// taken (the key with "057" added). With `checksum`, the results are summed up too.
double Round(const Book& book, const TransformMap& map, Mode mode, std::uint64_t* checksum) {
  CountingLog log;
  FirstPassNotes notes;
  RecordLines lines;
  std::string dnKey;
  std::string forced;
  std::uint64_t sum = 0;
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < book.records.size(); ++i) {
    const Record& record = book.records[i];
    lines.clear();
    for (const std::string_view line : record.lines) lines.push_back(line);
    if (mode == Mode::kCopyOnly) continue;
    const RecordContext context{"dc=contacts,dc=example,dc=com", map.empty() ? nullptr : &map,
                                &log, record.line, ProgressLines::kNone, &notes};
    dnKey.clear();
    RecordFacts facts = FixRecord(lines, i == 0, dnKey, {}, context);
    if (mode == Mode::kBothPasses && !dnKey.empty()) {
      forced.assign(dnKey).append("057");
      facts = FixRecord(lines, i == 0, dnKey, forced, context);
    }
    if (checksum != nullptr) sum = sum * 31 + Sum(lines, dnKey, facts, notes);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (checksum != nullptr) *checksum = sum ^ log.sum;
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: first_pass BOOK.ldif [ROUNDS] [PROFILE.ini]\n");
    return 2;
  }
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
  Book book;
  TransformMap map;
  try {
    book.text = ReadWholeFile(argv[1]);
    SplitRecords(book);
    if (argc > 3) LoadProfile(argv[3], map, nullptr);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "first_pass: %s\n", error.what());
    return 2;
  }
  std::uint64_t checksum = 0;
  std::uint64_t bothChecksum = 0;
  Round(book, map, Mode::kFirstPass, &checksum);  // also warms the caches and the allocator
  Round(book, map, Mode::kBothPasses, &bothChecksum);
  std::vector<double> copying, first, both;
  for (int round = 0; round < rounds; ++round) {  // interleaved: load on the machine hits all
    copying.push_back(Round(book, map, Mode::kCopyOnly, nullptr));
    first.push_back(Round(book, map, Mode::kFirstPass, nullptr));
    both.push_back(Round(book, map, Mode::kBothPasses, nullptr));
  }
  for (auto* times : {&copying, &first, &both}) std::sort(times->begin(), times->end());
  auto median = [](const std::vector<double>& times) { return times[times.size() / 2]; };
  std::printf("records %zu  first pass: fastest %.4f s  median %.4f s  checksum %016llx\n",
              book.records.size(), first.front() - copying.front(), median(first) - median(copying),
              static_cast<unsigned long long>(checksum));
  std::printf("  second pass of every keyed record: median %.4f s  checksum %016llx\n",
              median(both) - median(first), static_cast<unsigned long long>(bothChecksum));
  std::printf("  (copying the records, taken off: median %.4f s)\n", median(copying));
  return 0;
}
