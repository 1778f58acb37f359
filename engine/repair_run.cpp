// The repair run: source lines in, repaired LDIF lines out, record by record.
#include "engine/repair_run.h"

#include <string>
#include <vector>

#include "engine/fix_record.h"
#include "engine/record_stage.h"
#include "engine/text.h"

namespace quorvane {

struct RepairRun::State {
  State(std::string_view base, const TransformMap& transform, UsedDNs& used, RandomSource& rnd,
        Log* sink, LineSink& output)
      : settings(record_stage::MakeRunSettings(base, transform, sink)),
        usedDNs(used),
        random(rnd),
        log(sink),
        out(output),
        collector(*this) {}

  // RecordCollector's target. A record is repaired once the next one comes, or at the end:
  // the run's last record reports the progress of its last line.
  void Take(RecordLines& lines, std::size_t line);
  void Finish();
  void Repair(record_stage::PendingRecord& record);

  const record_stage::RunSettings settings;
  UsedDNs& usedDNs;
  RandomSource& random;
  Log* log;
  LineSink& out;

  std::size_t lineNumber = 0;  // of the last source line read
  record_stage::RecordCollector<State> collector;
  record_stage::PendingRecord waiting;
  bool hasWaiting = false;
  std::size_t recordCount = 0;
  std::string candidate;
  record_stage::LongRecordSet longRecordSet;
};

void RepairRun::State::Take(RecordLines& lines, std::size_t line) {
  if (hasWaiting) Repair(waiting);
  waiting.lines.swap(lines);  // the record before it leaves its buffers for the next one
  waiting.line = line;
  waiting.isFirst = recordCount == 0;
  ++recordCount;
  // Every line of the first records reports its progress, later the last line of one record
  // in kProgressEveryRecord: a status bar shows the latest message only.
  waiting.progress = record_stage::ProgressFor(settings.wantsProgress, line, recordCount);
  hasWaiting = true;
}

void RepairRun::State::Finish() {
  collector.Finish();
  if (!hasWaiting) return;
  hasWaiting = false;
  // The status ends on the run's last line.
  if (settings.wantsProgress && waiting.progress == ProgressLines::kNone) {
    waiting.progress = ProgressLines::kLastOfRecord;
  }
  Repair(waiting);
}

// The passes, messages and uniqueness of one record, then its output.
void RepairRun::State::Repair(record_stage::PendingRecord& record) {
  record_stage::FirstPass(record, settings, log != nullptr);
  record_stage::SettleRecord(record, settings, usedDNs, random, log, 0, candidate);
  record_stage::EmitRecord(record.lines, record.signatures, /*sign=*/false, longRecordSet,
                           [this](std::string_view line) { out.Line(line); });
  out.Line({});
}

RepairRun::RepairRun(std::string_view baseDN, const TransformMap& map, UsedDNs& usedDNs,
                     RandomSource& random, Log* log, LineSink& out)
    : state_(std::make_unique<State>(baseDN, map, usedDNs, random, log, out)) {
  usedDNs.Clear();
}

RepairRun::~RepairRun() = default;

void RepairRun::AddLine(std::string_view sourceLine) {
  const std::size_t number = ++state_->lineNumber;
  // A line never holds a line break; should a caller hand one in, it ends the line there,
  // so that no CR, LF or NUL can reach the output.
  std::size_t start = 0;
  for (std::size_t pos = FindControlByte(sourceLine); pos < sourceLine.size();
       pos = FindControlByte(sourceLine, pos + 1)) {
    const char c = sourceLine[pos];
    if (c != '\r' && c != '\n' && c != '\0') continue;
    state_->collector.Add(sourceLine.substr(start, pos - start), number);
    if (c == '\r' && pos + 1 < sourceLine.size() && sourceLine[pos + 1] == '\n') ++pos;
    start = pos + 1;
  }
  // A break at the very end only terminates the line; it adds no blank one.
  if (start == 0 || start < sourceLine.size()) {
    state_->collector.Add(sourceLine.substr(start), number);
  }
}

void RepairRun::AddSplitLine(std::string_view sourceLine) {
  state_->collector.Add(sourceLine, ++state_->lineNumber);
}

void RepairRun::Finish() { state_->Finish(); }

std::vector<std::string> RunRepair(const std::vector<std::string>& sourceLines,
                                   std::string_view baseDN, const TransformMap& map,
                                   UsedDNs& usedDNs, RandomSource& random, Log* log) {
  struct Collect : LineSink {
    std::vector<std::string> lines;
    void Line(std::string_view line) override { lines.emplace_back(line); }
  } collect;
  RepairRun run(baseDN, map, usedDNs, random, log, collect);
  for (const std::string& line : sourceLines) run.AddLine(line);
  run.Finish();
  return std::move(collect.lines);
}

}  // namespace quorvane
