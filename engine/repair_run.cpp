// The repair run: source lines in, repaired LDIF lines out, record by record.
#include "engine/repair_run.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <vector>

#include "engine/dn_escape.h"
#include "engine/fix_record.h"
#include "engine/text.h"

namespace quorvane {
namespace {

bool IsDNLine(std::string_view line) { return line.starts_with("dn:"); }

// RFC 2849 folding: a line starting with exactly one space and then something else continues
// the line before. Deeper indentation is taken as an indented line of its own.
bool IsContinuation(std::string_view line) {
  return line.size() >= 2 && line[0] == ' ' && line[1] != ' ';
}

// Candidates keep the key's form: the attempt number and a number from 0 to 99 go in front of
// the first "+mail=", or at the end. A key that is only a mail address gains a cn component
// instead, so that the address itself stays intact.
void MakeCandidate(std::string_view key, int attempt, int number, std::string& out) {
  char buffer[32];
  char* end = std::to_chars(buffer, buffer + 16, attempt).ptr;
  end = std::to_chars(end, buffer + sizeof buffer, number).ptr;
  const std::string_view digits(buffer, static_cast<std::size_t>(end - buffer));
  out.clear();
  const std::size_t mail = key.find("+mail=");
  if (mail != std::string_view::npos) {
    out.append(key.substr(0, mail)).append(digits).append(key.substr(mail));
    return;
  }
  constexpr std::string_view kPrefix = "dn: ";
  const std::string_view value = key.substr(kPrefix.size());
  const std::string_view rdnValue = FirstRDNValue(value);
  const bool onlyRDN = rdnValue.data() + rdnValue.size() == value.data() + value.size();
  if (StartsWithNoCase(value, "mail=") && onlyRDN) {
    const std::string_view address = value.substr(5);
    out.append(kPrefix).append("cn=").append(address).append(digits).append("+").append(value);
    return;
  }
  out.append(key).append(digits);
}

// The base DN ends every DN line; a line break pasted into it must not split those lines.
std::string WithoutLineBreaks(std::string_view baseDN) {
  std::string result;
  for (char c : baseDN) {
    if (c == '\r' || c == '\n' || c == '\0') {
      result.append(c == '\r' ? "\\0D" : c == '\n' ? "\\0A" : "\\00");
    } else {
      result.push_back(c);
    }
  }
  return result;
}

// A directory refuses an entry that holds one value of an attribute twice ("type or value
// exists"), and the attributes of an address book match without regard to case: a second mail
// equal to the first but for case, or the cn lines of a made-unique record that all took the
// same new name. Names compare without case; plain values too; Base64 values exactly.
std::size_t ValueSplit(std::string_view line) {
  const std::size_t colon = line.find(':');
  return colon == std::string_view::npos ? line.size() : colon;
}

bool IsBase64Value(std::string_view line, std::size_t colon) {
  return colon + 1 < line.size() && line[colon + 1] == ':';
}

struct SameValue {
  bool operator()(std::string_view a, std::string_view b) const {
    if (a.size() != b.size()) return false;
    const std::size_t colon = ValueSplit(a);
    if (ValueSplit(b) != colon || !EqualsNoCase(a.substr(0, colon), b.substr(0, colon))) {
      return false;
    }
    if (IsBase64Value(a, colon) != IsBase64Value(b, colon)) return false;
    return IsBase64Value(a, colon) ? a.substr(colon) == b.substr(colon)
                                   : EqualsNoCase(a.substr(colon), b.substr(colon));
  }
};

struct ValueHash {
  std::size_t operator()(std::string_view line) const {
    const std::size_t colon = ValueSplit(line);
    const bool exactValue = IsBase64Value(line, colon);
    std::size_t hash = 1469598103934665603ull;
    for (std::size_t i = 0; i < line.size(); ++i) {
      const char c = (i < colon || !exactValue) ? LowerAscii(line[i]) : line[i];
      hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return hash;
  }
};

// Records starting on the first this many source lines report every line's progress.
constexpr std::size_t kProgressEveryLine = 256;
// After them, one record in this many reports the progress of its last line.
constexpr std::size_t kProgressEveryRecord = 16;

// Lines that are the same value to a directory have the same signature: their size and their
// first and last eight bytes with ASCII letters folded. Lines of a record rarely share one.
std::uint64_t LineSignature(std::string_view line) {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  if (line.size() >= 8) {
    std::memcpy(&first, line.data(), 8);
    std::memcpy(&last, line.data() + line.size() - 8, 8);
  } else {
    std::memcpy(&first, line.data(), line.size());
  }
  return (LowerAsciiWord(first) * 0x9E3779B97F4A7C15ull) ^ LowerAsciiWord(last) ^ line.size();
}

// Above this many lines a record's repeated values are found through a hash set.
constexpr std::size_t kLinearDuplicateScan = 48;


// The log messages of a first pass run on the worker, replayed in order on the caller's
// thread. The texts share one buffer, reused from record to record.
class HoldingLog : public Log {
 public:
  struct Held {
    std::size_t offset;
    std::size_t length;
    int level;
    std::size_t line;
  };
  void Clear() {
    text_.clear();
    held_.clear();
  }
  void SetWantsProgress(bool progress) { progress_ = progress; }
  void Write(std::string_view text, int level, std::size_t line) override {
    held_.push_back({text_.size(), text.size(), level, line});
    text_.append(text);
  }
  bool WantsProgress() const override { return progress_; }
  void ReplayTo(Log& log) const {
    for (const Held& held : held_) {
      log.Write(std::string_view(text_).substr(held.offset, held.length), held.level, held.line);
    }
  }

 private:
  std::string text_;
  std::vector<Held> held_;
  bool progress_ = false;
};

// A record between its collection and its output, with what its first pass found.
struct PendingRecord {
  RecordLines lines;
  std::size_t line = 0;  // the source line it starts on
  bool isFirst = false;
  ProgressLines progress = ProgressLines::kNone;
  std::string dnKey;
  std::uint32_t dnHash = 0;  // FoldedHash(dnKey), worked out with the first pass
  RecordFacts facts;
  FirstPassNotes notes;
  HoldingLog messages;
  // The signature of each line (see LineSignature), worked out by the worker while the lines
  // are still in its cache; a second pass renews those of the lines it changes or adds.
  std::vector<std::uint64_t> signatures;
};

void SignLines(const RecordLines& lines, std::size_t from, std::vector<std::uint64_t>& signatures) {
  signatures.resize(lines.size());
  for (std::size_t i = from; i < lines.size(); ++i) signatures[i] = LineSignature(lines[i]);
}

// Records are handled in batches: while the caller's thread collects one batch and writes out
// the one before, a worker thread runs the first passes of a third. The first pass is most of
// the work and needs nothing from other records; uniqueness, second passes, messages and output
// stay on the caller's thread, in source order.
struct Batch {
  std::vector<PendingRecord> records;
  std::size_t count = 0;
  std::exception_ptr error;
};

// A record's line buffers were last written on the other thread. Asking for them ahead of use
// lets their transfers between the cores overlap, instead of each line stalling in turn.
void PrefetchToRead(const RecordLines& lines) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    __builtin_prefetch(line.data());
    __builtin_prefetch(line.data() + line.size());  // its end may lie in the next cache line
  }
}

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
      : baseDN(WithoutLineBreaks(base)),
        map(transform),
        usedDNs(used),
        random(rnd),
        log(sink),
        mapOrNull(transform.empty() ? nullptr : &transform),
        wantsProgress(sink != nullptr && sink->WantsProgress()),
        out(output) {}
  ~State() { StopWorker(); }

  void AddSourceLine(std::string_view raw);
  void FlushPending();
  void FlushDNLine();
  void EndRecord();
  void SubmitFilling();
  void Finish();

  void FirstPasses(Batch& batch);
  void Submit(Batch& batch);
  void WaitForWorker();
  void StopWorker();
  void WorkerLoop();
  void WriteOut(Batch& batch);
  void WriteOut(PendingRecord& ready);
  void MakeUnique();
  void EmitRecord(const RecordLines& lines, const std::vector<std::uint64_t>& signatures);

  std::string baseDN;
  const TransformMap& map;
  UsedDNs& usedDNs;
  RandomSource& random;
  Log* log;
  const TransformMap* mapOrNull;  // an empty profile is not even looked up
  bool wantsProgress;
  LineSink& out;

  std::size_t lineNumber = 0;  // of the last source line read
  bool hasPending = false;     // the record's last line may still be continued
  // Whether that line starts with "dn:", noted from the source view as it comes: reading the
  // record's copy back would wait for the buffer the worker last wrote to cross cores.
  bool pendingIsDN = false;
  std::size_t pendingLine = 0;  // its source line
  std::string pendingTail;      // the blanks trimmed off its end
  std::string pending;          // a DN line on its way to the record it starts
  bool previousNonBlank = false;

  RecordLines record;
  std::size_t recordLine = 0;
  bool recordHasDN = false;
  bool isFirstRecord = true;
  std::size_t recordCount = 0;
  std::string dnKey;
  std::string candidate;
  std::unordered_set<std::string_view, ValueHash, SameValue> emittedSet;  // long records' lines

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

// A non-blank source line goes straight into the record, trimmed; while continuation lines may
// still follow it is "pending": they are appended to it (after the blanks its end lost, kept
// aside), and only then is its kind (a DN line starting a record of its own?) decided.
void RepairRun::State::AddSourceLine(std::string_view raw) {
  if (previousNonBlank && IsContinuation(raw)) {
    std::string& last = record.back();
    last.append(pendingTail).append(raw.substr(1));
    const std::size_t kept = TrimView(last).size();  // the start is trimmed already
    pendingTail.assign(last, kept);
    last.resize(kept);
    pendingIsDN = IsDNLine(last);  // "d" continued by "n: x" becomes a DN line
    return;
  }
  // A record's last line is final once another line comes; only a DN line needs more.
  if (hasPending) {
    hasPending = false;
    if (pendingIsDN) FlushDNLine();
  }
  const std::string_view line = TrimView(raw);
  if (line.empty()) {
    previousNonBlank = false;
    EndRecord();
    return;
  }
  previousNonBlank = true;
  if (record.empty()) recordLine = lineNumber;
  record.push_back(line);
  const std::size_t tail = static_cast<std::size_t>(raw.data() + raw.size() - line.data()) -
                           line.size();
  if (tail > 0) {
    pendingTail.assign(raw.substr(raw.size() - tail));
  } else {
    pendingTail.clear();
  }
  hasPending = true;
  pendingIsDN = IsDNLine(line);
  pendingLine = lineNumber;
}

void RepairRun::State::FlushPending() {
  if (!hasPending) return;
  hasPending = false;
  if (pendingIsDN) FlushDNLine();
}

// A second DN line means the blank line between two records was left out. A leading
// "version: 1" is no DN line, so it stays with the record that follows it (RFC 2849).
void RepairRun::State::FlushDNLine() {
  if (recordHasDN) {
    std::string& last = record.back();
    pending.swap(last);
    record.pop_back();
    EndRecord();
    recordLine = pendingLine;
    record.push_back(pending);
  }
  recordHasDN = true;
}

void RepairRun::State::MakeUnique() {
  // Numbers are drawn only for a key that is taken, and the scan goes on until a candidate
  // is free; each attempt changes the key's length or digits, so it ends.
  int attempt = 0;
  do {
    MakeCandidate(dnKey, attempt, random.Next(), candidate);
    ++attempt;
  } while (!usedDNs.AddIfAbsent(candidate));
}

// Hands the collected record to the current batch; a full batch goes to the worker.
void RepairRun::State::EndRecord() {
  if (record.empty()) return;
  // A full batch leaves only when the next record comes, so the run's last record is always
  // still here when Finish() comes.
  if (filling->count == kBatchRecords) SubmitFilling();
  if (filling->records.size() == filling->count) filling->records.emplace_back();
  PendingRecord& next = filling->records[filling->count++];
  next.lines.swap(record);  // the batch's old buffers come back for the next record
  record.clear();
  PrefetchToWrite(record);
  next.line = recordLine;
  next.isFirst = isFirstRecord;
  // Every line of the first records reports its progress; later the last line of every
  // kProgressEveryRecord-th record does, and that of the run's last record (see Finish). A
  // status bar shows the latest message only, and one message per line would cost a large
  // book a tenth of its run.
  ++recordCount;
  next.progress = !wantsProgress                      ? ProgressLines::kNone
                  : recordLine <= kProgressEveryLine   ? ProgressLines::kEvery
                  : recordCount % kProgressEveryRecord == 0 ? ProgressLines::kLastOfRecord
                                                            : ProgressLines::kNone;
  isFirstRecord = false;
  recordHasDN = false;
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
  FlushPending();
  EndRecord();
  previousNonBlank = false;
  // The status ends on the run's last line.
  if (wantsProgress && filling->count > 0) {
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
      PendingRecord& next = batch.records[i];
      if (i + 1 < batch.count) PrefetchToRead(batch.records[i + 1].lines);
      next.messages.Clear();
      next.messages.SetWantsProgress(wantsProgress);
      Log* held = log != nullptr ? &next.messages : nullptr;
      const RecordContext context{baseDN, mapOrNull, held, next.line, next.progress, &next.notes};
      next.dnKey.clear();  // a record without a usable DN takes no part in uniqueness
      next.facts = FixRecord(next.lines, next.isFirst, next.dnKey, {}, context);
      if (!next.dnKey.empty()) next.dnHash = FoldedHash(next.dnKey);
      SignLines(next.lines, 0, next.signatures);
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
    if (i + 1 < count) PrefetchToRead(batch.records[i + 1].lines);
    WriteOut(batch.records[i]);
  }
}

// Messages, uniqueness, the second pass and the output of one record, in source order.
void RepairRun::State::WriteOut(PendingRecord& ready) {
  if (log != nullptr) {
    ready.messages.ReplayTo(*log);
    if (ready.facts.emptyDN) {
      log->Write("002: record has an empty DN; no directory accepts it", kLogError, ready.line);
    }
    if (ready.facts.isGroup && !ready.facts.hasMember) {
      log->Write("003: mailing list has no member; no directory accepts it", kLogError,
                 ready.line);
    }
  }
  if (!ready.dnKey.empty() && !usedDNs.AddIfAbsent(ready.dnKey, ready.dnHash)) {
    dnKey.swap(ready.dnKey);
    MakeUnique();  // adds the candidate it settles on
    const RecordContext context{baseDN, mapOrNull, log, ready.line, ready.progress, &ready.notes};
    const std::size_t before = ready.lines.size();
    FixRecord(ready.lines, ready.isFirst, dnKey, candidate, context);
    if (ready.progress == ProgressLines::kEvery) {
      SignLines(ready.lines, 0, ready.signatures);  // that second pass read every line
    } else {
      SignLines(ready.lines, before, ready.signatures);
      for (const std::size_t i : ready.notes.nameLines) {
        ready.signatures[i] = LineSignature(ready.lines[i]);
      }
    }
  }
  EmitRecord(ready.lines, ready.signatures);
  out.Line({});
}

void RepairRun::State::EmitRecord(const RecordLines& lines,
                                  const std::vector<std::uint64_t>& lineSignatures) {
  if (lines.size() > kLinearDuplicateScan) {
    emittedSet.clear();
    for (const std::string& line : lines) {
      if (!line.empty() && emittedSet.insert(line).second) out.Line(line);
    }
    return;
  }
  // A small open-addressing table of the lines written so far, keyed by signature; only lines
  // with equal signatures are compared.
  constexpr std::size_t kSlots = 128;  // at most 48 lines: never more than 38% full
  std::array<std::uint8_t, kSlots> slots{};
  const SameValue same;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.empty()) continue;
    const std::uint64_t signature = lineSignatures[i];
    std::size_t slot = (signature * 0x9E3779B97F4A7C15ull) >> 57;
    bool repeated = false;
    for (; slots[slot] != 0; slot = (slot + 1) % kSlots) {
      const std::size_t earlier = slots[slot] - 1u;
      if (lineSignatures[earlier] == signature && same(lines[earlier], line)) {
        repeated = true;
        break;
      }
    }
    if (repeated) continue;
    slots[slot] = static_cast<std::uint8_t>(i + 1);
    out.Line(line);
  }
}

RepairRun::RepairRun(std::string_view baseDN, const TransformMap& map, UsedDNs& usedDNs,
                     RandomSource& random, Log* log, LineSink& out)
    : state_(std::make_unique<State>(baseDN, map, usedDNs, random, log, out)) {
  usedDNs.Clear();
}

RepairRun::~RepairRun() = default;

void RepairRun::AddLine(std::string_view sourceLine) {
  ++state_->lineNumber;
  // A line never holds a line break; should a caller hand one in, it ends the line there,
  // so that no CR, LF or NUL can reach the output.
  std::size_t start = 0;
  for (std::size_t pos = FindControlByte(sourceLine); pos < sourceLine.size();
       pos = FindControlByte(sourceLine, pos + 1)) {
    const char c = sourceLine[pos];
    if (c != '\r' && c != '\n' && c != '\0') continue;
    state_->AddSourceLine(sourceLine.substr(start, pos - start));
    if (c == '\r' && pos + 1 < sourceLine.size() && sourceLine[pos + 1] == '\n') ++pos;
    start = pos + 1;
  }
  // A break at the very end only terminates the line; it adds no blank one.
  if (start == 0 || start < sourceLine.size()) state_->AddSourceLine(sourceLine.substr(start));
}

void RepairRun::AddSplitLine(std::string_view sourceLine) {
  ++state_->lineNumber;
  state_->AddSourceLine(sourceLine);
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
