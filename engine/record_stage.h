// The steps every repair run takes with a record: collecting its lines, the first pass, the
// uniqueness of its DN with the second pass, and writing it out. Shared by the line-by-line run
// and the run over whole texts; not meant for other callers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/fix_record.h"
#include "engine/log.h"
#include "engine/random_source.h"
#include "engine/text.h"
#include "engine/used_dns.h"

namespace quorvane {
namespace record_stage {

// Records starting on the first this many source lines report every line's progress.
inline constexpr std::size_t kProgressEveryLine = 256;
// After them, one record in this many reports the progress of its last line.
inline constexpr std::size_t kProgressEveryRecord = 16;

// The base DN ends every DN line; a line break pasted into it must not split those lines.
std::string WithoutLineBreaks(std::string_view baseDN);

// The log messages of a first pass run on another thread, replayed in order on the caller's
// thread. The texts share one buffer, reused from record to record.
class HoldingLog : public Log {
 public:
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
  // `lineOffset` is added to the line of every message that has one.
  void ReplayTo(Log& log, std::size_t lineOffset = 0) const {
    for (const Held& held : held_) {
      log.Write(std::string_view(text_).substr(held.offset, held.length), held.level,
                held.line == 0 ? 0 : held.line + lineOffset);
    }
  }

 private:
  struct Held {
    std::size_t offset;
    std::size_t length;
    int level;
    std::size_t line;
  };
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
  // The signature of each line (see LineSignature), worked out while the lines are still in
  // the cache; a second pass renews those of the lines it changes or adds.
  std::vector<std::uint64_t> signatures;
};

// Lines that are the same value to a directory have the same signature: their size and their
// first and last eight bytes, each byte with the bit that tells ASCII capitals from small letters
// set. That bit also parts a few other pairs ('@' and '`', '[' and '{'), which then share a
// signature and are told apart by SameValue. Lines of a record rarely share one.
inline std::uint64_t LineSignature(std::string_view line) {
  constexpr std::uint64_t kCaseBits = 0x2020202020202020ull;
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  if (line.size() >= 8) {
    std::memcpy(&first, line.data(), 8);
    std::memcpy(&last, line.data() + line.size() - 8, 8);
  } else {
    std::memcpy(&first, line.data(), line.size());
  }
  return ((first | kCaseBits) * 0x9E3779B97F4A7C15ull) ^ (last | kCaseBits) ^ line.size();
}

void SignLines(const RecordLines& lines, std::size_t from, std::vector<std::uint64_t>& signatures);

// What the record passes read besides the record: the same for every record of a run.
struct RunSettings {
  std::string baseDN;             // without line breaks
  const TransformMap* map;        // null for an empty profile: not even looked up
  bool wantsProgress;
};

// The settings of a run with this base DN, profile and log (which may be null).
RunSettings MakeRunSettings(std::string_view baseDN, const TransformMap& map, const Log* log);

// The first pass of `record` (its lines, line, isFirst and progress set), with messages held
// in the record when `log` is set. Sets the key, its hash, the facts, notes and, with `sign`,
// the signatures (a caller that reads every line next may work them out on the way).
void FirstPass(PendingRecord& record, const RunSettings& settings, bool log, bool sign = true);

// The three steps after the first pass, in this order for each record; `lineOffset` turns the
// record's lines into lines of the whole text.
//
// The messages of the first pass, then those about the record's shape.
void ReplayFirstMessages(const PendingRecord& record, Log& log, std::size_t lineOffset);
// The uniqueness of the record's DN: true when its key was taken already; then `candidate` is
// the new key, drawn with numbers from `random` and added to `usedDNs`. Records must come in
// source order.
bool ClaimKey(PendingRecord& record, UsedDNs& usedDNs, RandomSource& random,
              std::string& candidate);
// The same for a key (not empty) with its FoldedHash().
bool ClaimKey(std::string_view key, std::uint32_t hash, UsedDNs& usedDNs, RandomSource& random,
              std::string& candidate);
// The second pass of a record whose key was taken, with the new key; its messages go to `log`
// (may be null). The record's key becomes `candidate`, its signatures are brought up to date.
void MakeRecordUnique(PendingRecord& record, const RunSettings& settings, Log* log,
                      std::size_t lineOffset, std::string_view candidate);

// All three at once, the messages straight to `log`: true when a second pass changed the
// record.
bool SettleRecord(PendingRecord& record, const RunSettings& settings, UsedDNs& usedDNs,
                  RandomSource& random, Log* log, std::size_t lineOffset,
                  std::string& candidate);

// A directory refuses an entry that holds one value of an attribute twice ("type or value
// exists"), and the attributes of an address book match without regard to case: a second mail
// equal to the first but for case, or the cn lines of a made-unique record that all took the
// same new name. Names compare without case; plain values too; Base64 values exactly.
struct SameValue {
  bool operator()(std::string_view a, std::string_view b) const;
};
struct ValueHash {
  std::size_t operator()(std::string_view line) const;
};
using LongRecordSet = std::unordered_set<std::string_view, ValueHash, SameValue>;

// Above this many lines a record's repeated values are found through a hash set.
inline constexpr std::size_t kLinearDuplicateScan = 48;

// Hands `emit` the lines of a record to be written: not the empty ones, and each value once.
// With `sign` the signatures are worked out on the way; otherwise they must be up to date.
template <class Emit>
void EmitRecord(const RecordLines& lines, std::vector<std::uint64_t>& signatures, bool sign,
                LongRecordSet& longRecordSet, Emit&& emit) {
  if (lines.size() > kLinearDuplicateScan) {
    if (sign) SignLines(lines, 0, signatures);
    longRecordSet.clear();
    for (const std::string_view line : lines) {
      if (!line.empty() && longRecordSet.insert(line).second) emit(line);
    }
    return;
  }
  if (sign) signatures.resize(lines.size());
  // A small open-addressing table of the lines written so far, keyed by signature; only lines
  // with equal signatures are compared.
  constexpr std::size_t kSlots = 128;  // at most 48 lines: never more than 38% full
  std::array<std::uint8_t, kSlots> slots{};
  const SameValue same;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (sign) signatures[i] = LineSignature(line);
    if (line.empty()) continue;
    const std::uint64_t signature = signatures[i];
    std::size_t slot = (signature * 0x9E3779B97F4A7C15ull) >> 57;
    bool repeated = false;
    for (; slots[slot] != 0; slot = (slot + 1) % kSlots) {
      const std::size_t earlier = slots[slot] - 1u;
      if (signatures[earlier] == signature && same(lines[earlier], line)) {
        repeated = true;
        break;
      }
    }
    if (repeated) continue;
    slots[slot] = static_cast<std::uint8_t>(i + 1);
    emit(line);
  }
}

// RFC 2849 folding: a line starting with exactly one space and then something else continues
// the line before. Deeper indentation is taken as an indented line of its own.
inline bool IsContinuation(std::string_view line) {
  return line.size() >= 2 && line[0] == ' ' && line[1] != ' ';
}

inline bool IsDNLine(std::string_view line) { return line.starts_with("dn:"); }

// Gathers source lines into records. A non-blank source line goes straight into the record,
// trimmed; while continuation lines may still follow it is "pending": they are appended to it
// (after the blanks its end lost, kept aside), and only then is its kind (a DN line starting a
// record of its own?) decided. A blank line ends the record, and so does a second DN line: the
// blank line between two records was left out. A leading "version: 1" is no DN line, so it
// stays with the record that follows it (RFC 2849).
//
// `Target` takes each finished record through Take(RecordLines& lines, std::size_t line),
// swapping the lines out and leaving the list it is handed back empty.
//
// Lines handed over as `stable` are borrowed, not copied: their bytes must stay put until the
// target is done with the record.
template <class Target>
class RecordCollector {
 public:
  explicit RecordCollector(Target& target) : target_(target) {}
  // Lends the collector the line buffers of `spare` for its record, and takes them back: a run
  // that makes collectors again and again keeps reusing its buffers.
  void SwapLines(RecordLines& spare) {
    spare.clear();
    record_.swap(spare);
  }

  // `lineNumber`: the line's number in the text, for the record it starts.
  void Add(std::string_view raw, std::size_t lineNumber, bool stable = false) {
    if (previousNonBlank_ && IsContinuation(raw)) {
      std::string& last = record_.Mutable(record_.size() - 1);
      last.append(pendingTail_).append(raw.substr(1));
      const std::size_t kept = TrimView(last).size();  // the start is trimmed already
      pendingTail_.assign(last, kept);
      last.resize(kept);
      pendingIsDN_ = IsDNLine(last);  // "d" continued by "n: x" becomes a DN line
      return;
    }
    // A record's last line is final once another line comes; only a DN line needs more.
    if (hasPending_) {
      hasPending_ = false;
      if (pendingIsDN_) FlushDNLine();
    }
    const std::string_view line = TrimView(raw);
    if (line.empty()) {
      previousNonBlank_ = false;
      EndRecord();
      return;
    }
    previousNonBlank_ = true;
    if (record_.empty()) recordLine_ = lineNumber;
    Keep(line, stable);
    const std::size_t tail =
        static_cast<std::size_t>(raw.data() + raw.size() - line.data()) - line.size();
    if (tail > 0) {
      pendingTail_.assign(raw.substr(raw.size() - tail));
    } else {
      pendingTail_.clear();
    }
    hasPending_ = true;
    // Noted from the source view as it comes: the record's copy may sit in a buffer another
    // thread wrote last.
    pendingIsDN_ = IsDNLine(line);
    pendingLine_ = lineNumber;
  }

  // The same as Add for the common line that needs no trimming and continues nothing: its
  // first and last bytes are above 32 (so not a space either).
  void AddPlain(std::string_view line, std::size_t lineNumber, bool stable = false) {
    if (hasPending_) {
      hasPending_ = false;
      if (pendingIsDN_) FlushDNLine();
    }
    previousNonBlank_ = true;
    if (record_.empty()) recordLine_ = lineNumber;
    Keep(line, stable);
    pendingTail_.clear();
    hasPending_ = true;
    pendingIsDN_ = IsDNLine(line);
    pendingLine_ = lineNumber;
  }

  // Ends the last record: no more lines come.
  void Finish() {
    if (hasPending_) {
      hasPending_ = false;
      if (pendingIsDN_) FlushDNLine();
    }
    EndRecord();
    previousNonBlank_ = false;
  }

 private:
  // Adds `line` to the record: borrowed when its bytes stay put, else copied. Inlined: it is
  // on the path of every line.
  [[gnu::always_inline]] void Keep(std::string_view line, bool stable) {
    if (stable) {
      record_.push_borrowed(line);
    } else {
      record_.push_back(line);
    }
  }

  void FlushDNLine() {
    if (recordHasDN_) {
      // The DN line moves on to a record of its own; a copy is made only of a copy.
      const bool copied = record_.Owns(record_.size() - 1);
      std::string_view last = record_.back();
      if (copied) {
        pending_.assign(last);
        last = pending_;
      }
      record_.pop_back();
      EndRecord();
      recordLine_ = pendingLine_;
      Keep(last, !copied);
    }
    recordHasDN_ = true;
  }

  void EndRecord() {
    recordHasDN_ = false;
    if (record_.empty()) return;
    target_.Take(record_, recordLine_);
    record_.clear();
  }

  Target& target_;
  RecordLines record_;
  std::size_t recordLine_ = 0;
  bool recordHasDN_ = false;
  bool hasPending_ = false;     // the record's last line may still be continued
  bool pendingIsDN_ = false;    // whether that line starts with "dn:"
  std::size_t pendingLine_ = 0; // its source line
  std::string pendingTail_;     // the blanks trimmed off its end
  std::string pending_;         // a DN line on its way to the record it starts
  bool previousNonBlank_ = false;
};

// The progress a record reports: every line of the first records, then the last line of one
// record in kProgressEveryRecord (`recordNumber` counts from 1).
inline ProgressLines ProgressFor(bool wantsProgress, std::size_t recordLine,
                                 std::size_t recordNumber) {
  if (!wantsProgress) return ProgressLines::kNone;
  if (recordLine <= kProgressEveryLine) return ProgressLines::kEvery;
  return recordNumber % kProgressEveryRecord == 0 ? ProgressLines::kLastOfRecord
                                                   : ProgressLines::kNone;
}

}  // namespace record_stage
}  // namespace quorvane
