// Fuzzes the repair run with arbitrary source bytes, profile rules and base DN.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/random_source.h"
#include "engine/repair_run.h"
#include "engine/text.h"
#include "engine/text_lines.h"
#include "engine/transform_map.h"
#include "engine/used_dns.h"
#include "schema/matching.h"
#include "schema/schema_sources.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

// Wants progress too, so that the formatting of every message is exercised.
class CheckingLog : public quorvane::Log {
 public:
  explicit CheckingLog(std::size_t lineCount) : lineCount_(lineCount) {}
  void Write(std::string_view text, int level, std::size_t line) override {
    FUZZ_CHECK(level == quorvane::kLogProgress || level == quorvane::kLogError);
    FUZZ_CHECK(line <= lineCount_);
    messages.emplace_back(text);
    if (level != quorvane::kLogProgress) {
      errors.push_back(std::to_string(line) + ": " + std::string(text));
    }
  }
  bool WantsProgress() const override { return true; }
  std::vector<std::string> messages;
  std::vector<std::string> errors;  // with their lines

 private:
  std::size_t lineCount_;
};

class CollectingSink : public quorvane::LineSink {
 public:
  void Line(std::string_view line) override { lines.emplace_back(line); }
  std::vector<std::string> lines;
};

// Values that make the profile rules fire; the fuzzer also picks raw bytes.
constexpr std::string_view kRuleValues[] = {"", "/ignore/", "/ignore/:", "cn:", "member:", "dn:"};

quorvane::TransformMap ReadMap(quorvane::fuzz::FuzzInput& input) {
  quorvane::TransformMap map;
  const int entries = input.Byte() % 8;
  for (int i = 0; i < entries; ++i) {
    std::string key(input.String(24));
    const std::uint8_t choice = input.Byte();
    std::string value = choice < 6 ? std::string(kRuleValues[choice]) : std::string(input.String(24));
    map.Add(std::move(key), std::move(value));
  }
  return map;
}

}  // namespace

// Input: the base DN, up to seven profile entries, the start value of the random numbers,
// then the source text, split into lines as a loaded file is. Properties: a run is a
// function of its inputs and start value; the streaming and whole-list forms agree; no
// output line can break the LDIF (CR, LF or NUL inside it); the output ends with an empty
// line; the stored DN keys are all different; the whole-text run agrees with the line run.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quorvane::fuzz::FuzzInput input(data, size);
  const std::string baseDN(input.String(40));
  const quorvane::TransformMap map = ReadMap(input);
  const std::uint64_t start = input.Number();
  const std::string_view rest = input.Rest();
  const std::vector<std::string> lines = quorvane::SplitTextLines(rest);

  quorvane::UsedDNs usedFirst;
  quorvane::SeededRandom randomFirst(start);
  CheckingLog logFirst(lines.size());
  const std::vector<std::string> first =
      quorvane::RunRepair(lines, baseDN, map, usedFirst, randomFirst, &logFirst);

  quorvane::UsedDNs usedSecond;
  quorvane::SeededRandom randomSecond(start);
  CheckingLog logSecond(lines.size());
  CollectingSink sink;
  {
    quorvane::RepairRun run(baseDN, map, usedSecond, randomSecond, &logSecond, sink);
    for (const std::string& line : lines) run.AddLine(line);
    run.Finish();
  }
  FUZZ_CHECK(sink.lines == first);
  FUZZ_CHECK(logSecond.messages == logFirst.messages);
  FUZZ_CHECK(usedSecond.size() == usedFirst.size());
  for (std::size_t i = 0; i < usedFirst.size(); ++i) FUZZ_CHECK(usedFirst[i] == usedSecond[i]);

  // The same run fed the text's bytes in chunks of any size agrees with the line run: the
  // same output, errors and keys.
  {
    quorvane::UsedDNs usedText;
    quorvane::SeededRandom randomText(start);
    CheckingLog logText(lines.size());
    CollectingSink textSink;
    quorvane::RepairRun run(baseDN, map, usedText, randomText, &logText, textSink);
    const std::size_t chunk = 1 + start % 97;
    for (std::size_t at = 0; at < rest.size(); at += chunk) run.AddText(rest.substr(at, chunk));
    run.Finish();
    FUZZ_CHECK(textSink.lines == first);
    FUZZ_CHECK(logText.errors == logFirst.errors);
    FUZZ_CHECK(usedText.size() == usedFirst.size());
    for (std::size_t i = 0; i < usedFirst.size(); ++i) FUZZ_CHECK(usedFirst[i] == usedText[i]);
  }

  // Made-unique keys never collide as the directory compares DNs (a text that is no DN by its
  // bytes).
  std::unordered_set<std::string> distinct;
  for (std::size_t i = 0; i < usedFirst.size(); ++i) {
    std::string_view dn = usedFirst[i];
    if (dn.starts_with("dn: ")) dn.remove_prefix(4);
    std::string key;
    if (!quorvane::DNMatchKey(quorvane::BuiltinSchema(), dn, key)) key = "\xFF" + std::string(dn);
    FUZZ_CHECK(distinct.insert(key).second);
  }

  // A record whose lines were all dropped leaves its separator alone; RFC 2849 allows any
  // number of separators between records, so only the line contents are checked.
  for (const std::string& line : first) {
    FUZZ_CHECK(line.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
  }
  FUZZ_CHECK(first.empty() || first.back().empty());
  return 0;
}
