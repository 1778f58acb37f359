// The repair run: source lines in, repaired LDIF lines out, record by record.
#include "engine/repair_run.h"

#include <array>
#include <cstdint>
#include <cstring>
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
  const std::string digits = std::to_string(attempt) + std::to_string(number);
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

}  // namespace

struct RepairRun::State {
  State(std::string_view base, const TransformMap& transform, UsedDNs& used, RandomSource& rnd,
        Log* sink, LineSink& output)
      : baseDN(WithoutLineBreaks(base)),
        map(transform),
        usedDNs(used),
        random(rnd),
        log(sink),
        wantsProgress(sink != nullptr && sink->WantsProgress()),
        out(output) {}

  void AddSourceLine(std::string_view raw);
  void FlushPending();
  void EndRecord();
  void MakeUnique();
  void EmitRecord();

  std::string baseDN;
  const TransformMap& map;
  UsedDNs& usedDNs;
  RandomSource& random;
  Log* log;
  bool wantsProgress;
  LineSink& out;

  std::size_t lineNumber = 0;  // of the last source line read
  bool hasPending = false;     // the record's last line may still be continued
  std::size_t pendingLine = 0;  // its source line
  std::string pendingTail;      // the blanks trimmed off its end
  std::string pending;          // a DN line on its way to the record it starts
  bool previousNonBlank = false;

  RecordLines record;
  std::size_t recordLine = 0;
  bool recordHasDN = false;
  bool isFirstRecord = true;
  std::string dnKey;
  std::string candidate;
  std::unordered_set<std::string_view, ValueHash, SameValue> emittedSet;  // long records' lines
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
    return;
  }
  if (hasPending) FlushPending();
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
  pendingLine = lineNumber;
}

void RepairRun::State::FlushPending() {
  if (!hasPending) return;
  hasPending = false;
  std::string& last = record.back();
  // A second DN line means the blank line between two records was left out. A leading
  // "version: 1" is no DN line, so it stays with the record that follows it (RFC 2849).
  if (!IsDNLine(last)) return;
  if (recordHasDN) {
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
  } while (usedDNs.Contains(candidate));
}

void RepairRun::State::EndRecord() {
  if (record.empty()) return;
  // Every line of the first records reports its progress; later only each record's last
  // line does. A status bar shows the latest message only, and one message per line would
  // cost a large book a tenth of its run.
  const ProgressLines progress = !wantsProgress                  ? ProgressLines::kNone
                                 : recordLine <= kProgressEveryLine ? ProgressLines::kEvery
                                                                    : ProgressLines::kLastOfRecord;
  const RecordContext context{baseDN, &map, log, recordLine, progress};
  dnKey.clear();  // a record without a usable DN takes no part in the uniqueness check
  const RecordFacts facts = FixRecord(record, isFirstRecord, dnKey, {}, context);
  if (log != nullptr) {
    if (facts.emptyDN) {
      log->Write("002: record has an empty DN; no directory accepts it", kLogError, recordLine);
    }
    if (facts.isGroup && !facts.hasMember) {
      log->Write("003: mailing list has no member; no directory accepts it", kLogError,
                 recordLine);
    }
  }
  if (!dnKey.empty()) {
    if (!usedDNs.AddIfAbsent(dnKey)) {
      MakeUnique();
      FixRecord(record, isFirstRecord, dnKey, candidate, context);
      usedDNs.Add(dnKey);
    }
  }
  EmitRecord();
  out.Line({});
  isFirstRecord = false;
  record.clear();
  recordHasDN = false;
}

void RepairRun::State::EmitRecord() {
  if (record.size() > kLinearDuplicateScan) {
    emittedSet.clear();
    for (const std::string& line : record) {
      if (!line.empty() && emittedSet.insert(line).second) out.Line(line);
    }
    return;
  }
  // A small open-addressing table of the lines written so far, keyed by signature; only lines
  // with equal signatures are compared.
  constexpr std::size_t kSlots = 128;  // at most 48 lines: never more than 38% full
  std::array<std::uint8_t, kSlots> slots{};
  std::array<std::uint64_t, kLinearDuplicateScan> signatures;
  const SameValue same;
  for (std::size_t i = 0; i < record.size(); ++i) {
    const std::string& line = record[i];
    if (line.empty()) continue;
    const std::uint64_t signature = LineSignature(line);
    std::size_t slot = (signature * 0x9E3779B97F4A7C15ull) >> 57;
    bool repeated = false;
    for (; slots[slot] != 0; slot = (slot + 1) % kSlots) {
      const std::size_t earlier = slots[slot] - 1u;
      if (signatures[earlier] == signature && same(record[earlier], line)) {
        repeated = true;
        break;
      }
    }
    if (repeated) continue;
    slots[slot] = static_cast<std::uint8_t>(i + 1);
    signatures[i] = signature;
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

void RepairRun::Finish() {
  state_->FlushPending();
  state_->EndRecord();
  state_->previousNonBlank = false;
}

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
