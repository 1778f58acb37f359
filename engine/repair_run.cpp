// The repair run: source lines in, repaired LDIF lines out, record by record.
#include "engine/repair_run.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/fix_record.h"
#include "engine/record_stage.h"
#include "engine/text.h"

namespace quorvane {
namespace {

using record_stage::PendingRecord;

// Records are handled in batches: while the caller's thread collects one batch and writes out
// the one before, a worker thread runs the first passes of a third. The first pass is most of
// the work and needs nothing from other records; uniqueness, second passes, messages and output
// stay on the caller's thread, in source order.
struct Batch {
  std::vector<PendingRecord> records;
  std::size_t count = 0;
  std::exception_ptr error;
};

void PrefetchToWrite(const RecordLines& lines) {
  constexpr std::size_t kMost = 64;  // a long record's later buffers come in time anyway
  const std::size_t count = std::min(lines.capacity(), kMost);
  for (std::size_t i = 0; i < count; ++i) __builtin_prefetch(lines[i].data(), 1);
}

// How many records ahead of its lookup a DN key's table slot is fetched.
constexpr std::size_t kKeyLookAhead = 8;

// Records per batch; a run with fewer never starts the worker.
constexpr std::size_t kBatchRecords = 512;

}  // namespace

struct RepairRun::State {
  State(std::string_view base, const TransformMap& transform, UsedDNs& used, RandomSource& rnd,
        Log* sink, LineSink& output)
      : settings{record_stage::WithoutLineBreaks(base), transform.empty() ? nullptr : &transform,
                 sink != nullptr && sink->WantsProgress()},
        usedDNs(used),
        random(rnd),
        log(sink),
        out(output),
        collector(*this) {}
  ~State() { StopWorker(); }

  // RecordCollector's target: the collected record goes to the current batch.
  void Take(RecordLines& lines, std::size_t line);
  void SubmitFilling();
  void Finish();

  void FirstPasses(Batch& batch);
  void Submit(Batch& batch);
  void WaitForWorker();
  void StopWorker();
  void WorkerLoop();
  void WriteOut(Batch& batch);
  void WriteOut(PendingRecord& ready);

  record_stage::RunSettings settings;
  UsedDNs& usedDNs;
  RandomSource& random;
  Log* log;
  LineSink& out;

  std::size_t lineNumber = 0;  // of the last source line read
  record_stage::RecordCollector<State> collector;
  bool isFirstRecord = true;
  std::size_t recordCount = 0;
  std::string candidate;
  record_stage::LongRecordSet longRecordSet;

  Batch batches[2];
  Batch* filling = &batches[0];
  Batch* inFlight = nullptr;  // handed to the worker, not yet written out

  std::thread worker;
  std::mutex mutex;
  std::condition_variable wake;  // the worker: a batch or the end
  std::condition_variable done;  // the caller: the batch is through its first passes
  Batch* submitted = nullptr;    // guarded by mutex
  bool stopping = false;         // guarded by mutex
};

// Hands the collected record to the current batch; a full batch goes to the worker.
void RepairRun::State::Take(RecordLines& lines, std::size_t line) {
  // A full batch leaves only when the next record comes, so the run's last record is always
  // still here when Finish() comes.
  if (filling->count == kBatchRecords) SubmitFilling();
  if (filling->records.size() == filling->count) filling->records.emplace_back();
  PendingRecord& next = filling->records[filling->count++];
  next.lines.swap(lines);  // the batch's old buffers come back for the next record
  PrefetchToWrite(lines);
  next.line = line;
  next.isFirst = isFirstRecord;
  // Every line of the first records reports its progress; later the last line of every
  // kProgressEveryRecord-th record does, and that of the run's last record (see Finish). A
  // status bar shows the latest message only, and one message per line would cost a large
  // book a tenth of its run.
  ++recordCount;
  next.progress = record_stage::ProgressFor(settings.wantsProgress, line, recordCount);
  isFirstRecord = false;
}

void RepairRun::State::SubmitFilling() {
  // The worker takes this batch once it is through with the one before, which is then
  // written out here while the worker runs.
  WaitForWorker();
  Batch* previous = inFlight;
  Submit(*filling);
  inFlight = filling;
  filling = previous != nullptr ? previous : &batches[1];
  if (previous != nullptr) WriteOut(*previous);
}

void RepairRun::State::Finish() {
  collector.Finish();
  // The status ends on the run's last line.
  if (settings.wantsProgress && filling->count > 0) {
    ProgressLines& last = filling->records[filling->count - 1].progress;
    if (last == ProgressLines::kNone) last = ProgressLines::kLastOfRecord;
  }
  WaitForWorker();
  if (inFlight != nullptr) {
    Batch* previous = inFlight;
    inFlight = nullptr;
    WriteOut(*previous);
  }
  FirstPasses(*filling);
  WriteOut(*filling);
  StopWorker();
}

void RepairRun::State::FirstPasses(Batch& batch) {
  try {
    for (std::size_t i = 0; i < batch.count; ++i) {
      if (i + 1 < batch.count) record_stage::PrefetchToRead(batch.records[i + 1].lines);
      record_stage::FirstPass(batch.records[i], settings, log != nullptr);
    }
  } catch (...) {
    batch.error = std::current_exception();
  }
}

void RepairRun::State::Submit(Batch& batch) {
  if (!worker.joinable()) {
    try {
      worker = std::thread([this] { WorkerLoop(); });
    } catch (const std::system_error&) {
      FirstPasses(batch);  // no thread to be had: the run goes on in this one
      return;
    }
  }
  {
    const std::lock_guard<std::mutex> lock(mutex);
    submitted = &batch;
  }
  wake.notify_one();
}

void RepairRun::State::WaitForWorker() {
  std::unique_lock<std::mutex> lock(mutex);
  done.wait(lock, [this] { return submitted == nullptr; });
}

void RepairRun::State::StopWorker() {
  if (!worker.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
  }
  wake.notify_one();
  worker.join();
}

void RepairRun::State::WorkerLoop() {
  std::unique_lock<std::mutex> lock(mutex);
  for (;;) {
    wake.wait(lock, [this] { return stopping || submitted != nullptr; });
    if (submitted == nullptr) return;
    Batch* batch = submitted;
    lock.unlock();
    FirstPasses(*batch);
    lock.lock();
    submitted = nullptr;
    done.notify_one();
  }
}

void RepairRun::State::WriteOut(Batch& batch) {
  const std::size_t count = batch.count;
  batch.count = 0;
  if (batch.error) {
    const std::exception_ptr error = batch.error;
    batch.error = nullptr;
    std::rethrow_exception(error);
  }
  for (std::size_t i = 0; i < count; ++i) {
    // The worker wrote these records; fetching ahead lets their transfers overlap.
    if (i + kKeyLookAhead < count) {
      const PendingRecord& later = batch.records[i + kKeyLookAhead];
      if (!later.dnKey.empty()) usedDNs.Prefetch(later.dnHash);
    }
    if (i + kKeyLookAhead / 2 < count) {
      const PendingRecord& later = batch.records[i + kKeyLookAhead / 2];
      if (!later.dnKey.empty()) usedDNs.PrefetchStoredKey(later.dnHash);
    }
    if (i + 1 < count) record_stage::PrefetchToRead(batch.records[i + 1].lines);
    WriteOut(batch.records[i]);
  }
}

// Messages, uniqueness, the second pass and the output of one record, in source order.
void RepairRun::State::WriteOut(PendingRecord& ready) {
  record_stage::SettleRecord(ready, settings, usedDNs, random, log, 0, candidate);
  record_stage::EmitRecord(ready.lines, ready.signatures, longRecordSet,
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
