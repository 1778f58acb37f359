// Repairing a whole text: pieces of it on every core, the output in source order.
#include "engine/text_repair.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/record_stage.h"
#include "engine/text.h"
#include "engine/text_lines.h"

namespace quorvane {
namespace {

using record_stage::PendingRecord;

// A piece is cut once this much text is at hand, at the last place where no record goes on.
constexpr std::size_t kPieceBytes = 16 * 1024;
// When progress is shown, the first piece holds at least this many line breaks, so that the
// records of every later piece start after the lines whose records report each line's progress.
constexpr std::size_t kFirstPieceBreaks = 2 * record_stage::kProgressEveryLine;
// Pieces in flight for each thread that takes them, beyond the one being settled.
constexpr std::size_t kPiecesPerThread = 2;
// The most worker threads a run starts.
constexpr unsigned kMostWorkers = 3;
// How many records ahead of its lookup a DN key's table slot is fetched.
constexpr std::size_t kKeyLookAhead = 8;

// memcpy for the short lines of a book, without a call: two overlapping loads and stores
// cover any length from 8 to 16 bytes, and likewise 16 to 32 with 16-byte moves.
inline void CopyLine(char* to, const char* from, std::size_t count) {
  if (count >= 8 && count <= 16) {
    std::uint64_t head;
    std::uint64_t tail;
    std::memcpy(&head, from, 8);
    std::memcpy(&tail, from + count - 8, 8);
    std::memcpy(to, &head, 8);
    std::memcpy(to + count - 8, &tail, 8);
#if defined(__SSE2__)
  } else if (count > 16 && count <= 32) {
    const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + count - 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), head);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + count - 16), tail);
#endif
  } else if (count != 0) {
    std::memcpy(to, from, count);
  }
}

// The output of a piece: grown by doubling, written through a pointer, never zero-filled.
class OutBuffer {
 public:
  void Clear() { size_ = 0; }
  // Room for `count` more bytes, plus two to spare for a line break written whole.
  char* Room(std::size_t count) {
    if (capacity_ - size_ < count + 2) {
      const std::size_t capacity = std::max(2 * capacity_, size_ + count + 2);
      auto bytes = std::make_unique_for_overwrite<char[]>(capacity);
      if (size_ > 0) std::memcpy(bytes.get(), bytes_.get(), size_);
      bytes_ = std::move(bytes);
      capacity_ = capacity;
    }
    return bytes_.get() + size_;
  }
  void Used(const char* end) { size_ = static_cast<std::size_t>(end - bytes_.get()); }
  std::size_t size() const { return size_; }
  std::string_view View() const { return {bytes_.get(), size_}; }

 private:
  std::unique_ptr<char[]> bytes_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// Writes a record's lines as EmitRecord hands them on (not the empty ones, each value once),
// each followed by `lineBreak`, then the empty line that ends the record. With `sign`, the
// signatures are worked out on the way; otherwise they must be up to date.
void WriteRecord(PendingRecord& record, bool sign, std::string_view lineBreak,
                 record_stage::LongRecordSet& longRecordSet, OutBuffer& out) {
  const RecordLines& lines = record.lines;
  const std::size_t breakSize = lineBreak.size();
  const char lineBreakBytes[2] = {lineBreak[0], breakSize > 1 ? lineBreak[1] : '\0'};
  // Room for every line at once; the lines are written straight into it.
  std::size_t total = breakSize;
  for (std::size_t i = 0; i < lines.size(); ++i) total += lines[i].size() + breakSize;
  char* at = out.Room(total);
  record_stage::EmitRecord(lines, record.signatures, sign, longRecordSet,
                           [&at, &lineBreakBytes, breakSize](std::string_view line) {
                             CopyLine(at, line.data(), line.size());
                             at += line.size();
                             std::memcpy(at, lineBreakBytes, 2);
                             at += breakSize;
                           });
  std::memcpy(at, lineBreakBytes, 2);
  out.Used(at + breakSize);
}

// The records of the pieces one thread takes on: they come back to that thread once written
// out, so that their line buffers are mostly still in its core's cache when it fills them
// again. Only the owner takes; any thread gives back.
class RecordPool {
 public:
  PendingRecord* Take() {
    if (free_.empty()) {
      const std::lock_guard<std::mutex> lock(mutex_);
      free_.swap(returned_);
    }
    if (free_.empty()) {
      owned_.push_back(std::make_unique<PendingRecord>());
      return owned_.back().get();
    }
    PendingRecord* record = free_.back();
    free_.pop_back();
    return record;
  }
  // The line buffers of the owner's record collectors, kept between pieces.
  RecordLines& CollectorLines() { return collectorLines_; }

  void GiveBack(std::vector<PendingRecord*>& records) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      returned_.insert(returned_.end(), records.begin(), records.end());
    }
    records.clear();
  }

 private:
  std::mutex mutex_;
  std::vector<PendingRecord*> returned_;  // guarded by mutex_
  std::vector<PendingRecord*> free_;
  std::vector<std::unique_ptr<PendingRecord>> owned_;
  RecordLines collectorLines_;
};

// A record's DN key within Piece::keyBytes; size 0 for a record without one.
struct PieceKey {
  std::uint32_t hash;
  std::size_t size;
  std::size_t offset;
};

// A piece of the text with what its first passes made of it.
struct Piece {
  // The bytes, when the run reads them itself; `text` may also point into the caller's text.
  std::unique_ptr<char[]> bytes;
  std::size_t capacity = 0;
  std::string_view text;
  bool first = false;  // the run's first piece
  bool last = false;   // the run's last piece

  // Filled by its first passes, with records from the pool of the thread that took it. Their
  // lines borrow from `text` (see RecordLines) until the piece is written out and they go back.
  std::vector<PendingRecord*> records;
  std::size_t count = 0;
  RecordPool* pool = nullptr;
  OutBuffer out;                  // every record written as if its DN were new
  std::vector<std::size_t> ends;  // where each record's output ends in `out`
  // The records' DN keys side by side, for the claims: the calling thread reads them in one
  // sweep instead of visiting every record the other thread filled.
  std::string keyBytes;
  std::vector<PieceKey> keys;  // one for each record
  std::size_t lines = 0;
  bool stopped = false;
  std::size_t stopLine = 0;  // within the piece
  std::exception_ptr error;

  // Filled once its records' keys are claimed, in source order.
  std::size_t lineOffset = 0;   // lines of the text before the piece
  bool discarded = false;       // after a NUL byte: nothing of it is written
  std::vector<std::size_t> madeUnique;  // the records whose key was taken
  std::vector<std::string> candidates;  // their new keys, in the same order
  // Filled by their second passes: the whole output of the piece, and the messages of those
  // passes.
  OutBuffer rewritten;
  std::vector<record_stage::HoldingLog> laterMessages;

  // kParsed: first passes done; kClaimed: keys claimed, second passes to do; kReady: to be
  // written.
  enum class Stage { kWaiting, kTaken, kParsed, kClaimed, kFinishing, kReady };
  Stage stage = Stage::kWaiting;
};

// Whether a line starts at `p` (0 < p < text.size()): the byte before ends a line.
bool LineStartsAt(std::string_view text, std::size_t p, TextLines rules) {
  const char before = text[p - 1];
  if (before == '\n') return true;
  // Under the file rules a CR ends a line too, with the LF that may follow it.
  return rules == TextLines::kFile && before == '\r' && text[p] != '\n';
}

// Whether the record that a DN line starting at `p` would meet has a DN line already, so that
// this one starts a record of its own (the blank line between the two was left out): a line
// naming "dn:" among the lines before it, back to the last blank one. Only what is certain
// counts; anything unusual on the way (a blank line, bytes that split a line of the editor's
// text, a long way back) says no.
bool FollowsDNInRecord(std::string_view text, std::size_t p, TextLines rules) {
  constexpr std::size_t kMostLines = 256;
  std::size_t end = p;  // the end of the line before, its break excluded
  for (std::size_t lines = 0; lines < kMostLines && end > 0; ++lines) {
    // Step back over the break that ends the line before.
    std::size_t lineEnd = end - 1;
    if (rules == TextLines::kFile && text[lineEnd] == '\n' && lineEnd > 0 &&
        text[lineEnd - 1] == '\r') {
      --lineEnd;
    }
    std::size_t start = lineEnd;
    while (start > 0 && !(text[start - 1] == '\n' ||
                          (rules == TextLines::kFile && text[start - 1] == '\r'))) {
      --start;
    }
    const std::string_view line = text.substr(start, lineEnd - start);
    if (line.find('\0') != std::string_view::npos) return false;
    if (rules == TextLines::kPane && line.find('\r') != std::string_view::npos) return false;
    const std::string_view trimmed = TrimView(line);
    if (trimmed.empty()) return false;
    // A line that starts with exactly one blank continues the one before (RFC 2849); under
    // the file rules a TAB there is four spaces already.
    const bool continuation = line.size() >= 2 && line[0] == ' ' && line[1] != ' ' &&
                              !(rules == TextLines::kFile && line[1] == '\t');
    if (!continuation && trimmed.starts_with("dn:")) return true;
    end = start;
  }
  return false;
}

// Whether the line starting at `p` is blank and ends the record before it: all blanks (or
// nothing), and not written as a continuation (one space, then something else).
bool BlankLineEndsRecord(std::string_view text, std::size_t p, TextLines rules) {
  std::size_t end = p;
  for (; end < text.size(); ++end) {
    const char c = text[end];
    if (c == '\n' || (c == '\r' && rules == TextLines::kFile)) break;
    // A NUL ends the text or splits the line; a CR splits a line of the editor's text.
    if (c == '\0' || c == '\r' || static_cast<unsigned char>(c) > 32) return false;
  }
  if (end == text.size()) return false;  // its end is not in sight
  const std::string_view line = text.substr(p, end - p);
  return !(line.size() >= 2 && line[0] == ' ' && line[1] != ' ' &&
           !(rules == TextLines::kFile && line[1] == '\t'));
}

// Whether the text may be cut at `p` (0 < p < text.size()), the pieces on both sides repaired
// alone with the same result: where the line starting at `p` is blank, which ends any record,
// or where it is a DN line that starts a record of its own.
bool IsCut(std::string_view text, std::size_t p, TextLines rules) {
  const char at = text[p];
  if (static_cast<unsigned char>(at) > 32) {
    return at == 'd' && text.substr(p, 3) == "dn:" && LineStartsAt(text, p, rules) &&
           FollowsDNInRecord(text, p, rules);
  }
  return LineStartsAt(text, p, rules) && BlankLineEndsRecord(text, p, rules);
}

std::size_t CountBreaks(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(
      text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }));
}

// Hands `collector` the lines of a whole piece as LineSplitter splits a file: a line ends at
// CR, LF or CR LF; a NUL byte ends the text (noted in the piece); a line with a TAB gets the
// TAB rule. One pass over the bytes, 16 at a time, with the plain line on the shortest path.
template <class Collector>
void SplitFileLines(Piece& piece, Collector& collector) {
  const std::string_view text = piece.text;
  const std::size_t size = text.size();
  std::string expanded;
  std::size_t pos = 0;
  while (pos < size) {
    std::size_t end = FindControlByte(text, pos);
    bool hasTab = false;
    // TABs and the rarer control bytes stay in the line.
    while (end < size && text[end] != '\n' && text[end] != '\r' && text[end] != '\0') {
      hasTab = hasTab || text[end] == '\t';
      end = FindControlByte(text, end + 1);
    }
    if (end < size && text[end] == '\0' && end == pos) {
      // A NUL where a line would begin ends the text before that line.
      piece.stopped = true;
      piece.stopLine = piece.lines + 1;
      return;
    }
    const std::string_view line = text.substr(pos, end - pos);
    const std::size_t number = ++piece.lines;
    if (hasTab) {
      expanded = ExpandTabs(line);
      collector.Add(expanded, number);
    } else if (!line.empty() && static_cast<unsigned char>(line.front()) > 32 &&
               static_cast<unsigned char>(line.back()) > 32) {
      collector.AddPlain(line, number, /*stable=*/true);
    } else {
      collector.Add(line, number, /*stable=*/true);
    }
    if (end == size) return;
    if (text[end] == '\0') {
      piece.stopped = true;
      piece.stopLine = number;
      return;
    }
    pos = end + 1;
    if (text[end] == '\r' && pos < size && text[pos] == '\n') ++pos;
  }
}

}  // namespace

struct TextRepair::State {
  State(std::string_view base, const TransformMap& transform, UsedDNs& used, RandomSource& rnd,
        Log* sink, TextSink& output, std::string_view lineBreakText, TextLines lineRules)
      : settings(record_stage::MakeRunSettings(base, transform, sink)),
        usedDNs(used),
        random(rnd),
        log(sink),
        out(output),
        lineBreak(lineBreakText),
        rules(lineRules),
        firstPieceBreaks(settings.wantsProgress ? kFirstPieceBreaks : 0) {
    pools.push_back(std::make_unique<RecordPool>());
  }
  ~State() { StopWorkers(); }

  // Pieces: a new or recycled one; handing it on; writing out the oldest.
  std::unique_ptr<Piece> FreshPiece();
  void Submit(std::unique_ptr<Piece> piece);
  void WriteOldest();
  void WriteAll();

  // The work of a piece, on whichever thread takes it: the first passes, and later the
  // second passes of the records whose keys were taken.
  // `pool`: the records of the thread that takes the piece.
  void Parse(Piece& piece, RecordPool& pool) const;
  void MakeUnique(Piece& piece) const;

  // The calling thread's part, in source order: claiming the keys, then writing out.
  // Returns the piece's next stage.
  Piece::Stage Claim(Piece& piece);
  void Write(Piece& piece);

  // The oldest (or the newest) piece no thread has taken yet, or null; with the mutex held.
  Piece* WaitingPiece(bool newest = false) const;
  // The oldest piece whose second passes no thread has taken yet, or null; the same.
  Piece* ClaimedPiece() const;
  void StartWorkers();
  void StopWorkers();
  void WorkerLoop(RecordPool& pool);

  const record_stage::RunSettings settings;
  UsedDNs& usedDNs;
  RandomSource& random;
  Log* log;
  TextSink& out;
  const std::string lineBreak;
  const TextLines rules;

  std::size_t pieceBytes = kPieceBytes;
  // Line breaks the first piece must hold.
  std::size_t firstPieceBreaks = 0;
  std::size_t linesBefore = 0;  // lines of the pieces claimed so far
  bool stopped = false;
  std::size_t stopLine = 0;
  bool firstPieceMade = false;
  std::string candidate;

  std::vector<std::unique_ptr<Piece>> spare;
  // One for the calling thread, then one for each worker.
  std::vector<std::unique_ptr<RecordPool>> pools;
  std::size_t mostInFlight = kPiecesPerThread + 1;

  std::vector<std::thread> workers;
  std::mutex mutex;
  std::condition_variable wake;     // the workers: a piece has work waiting, or the end
  std::condition_variable done;     // the caller: a piece is through a stage
  std::deque<std::unique_ptr<Piece>> inFlight;  // in source order; guarded by mutex
  std::size_t claimed = 0;  // the pieces at the front of inFlight claimed; guarded by mutex
  bool stopping = false;            // guarded by mutex
};

// RecordCollector's target inside a piece: each record gets its first pass as soon as the
// next one comes (the last one waits for the end of the piece, which may change its progress)
// and is written out at once, as if its DN were new.
struct PieceTarget {
  PieceTarget(const record_stage::RunSettings& runSettings, bool hasLog,
              std::string_view breakText, Piece& into)
      : settings(runSettings), log(hasLog), lineBreak(breakText), piece(into) {}

  void Take(RecordLines& lines, std::size_t line) {
    if (piece.count > 0) Pass(*piece.records[piece.count - 1]);
    piece.records.push_back(piece.pool->Take());
    PendingRecord& next = *piece.records[piece.count++];
    next.lines.swap(lines);
    next.line = line;
    next.isFirst = piece.first && piece.count == 1;
    // Only the first piece holds the first lines (see kFirstPieceBreaks); a later piece counts
    // its records from its own start.
    next.progress = record_stage::ProgressFor(
        settings.wantsProgress, piece.first ? line : record_stage::kProgressEveryLine + 1,
        piece.count);
  }

  void Finish() {
    if (piece.count == 0) return;
    PendingRecord& last = *piece.records[piece.count - 1];
    // The status ends on the run's last line. Whether a piece holds the run's last record is
    // not known when it is cut (only blank lines may follow), so every piece's last record
    // reports: one message more for some tens of kilobytes.
    if (settings.wantsProgress && last.progress == ProgressLines::kNone) {
      last.progress = ProgressLines::kLastOfRecord;
    }
    Pass(last);
  }

  void Pass(PendingRecord& record) {
    record_stage::FirstPass(record, settings, log, /*sign=*/false);
    piece.keys.push_back({record.dnHash, record.dnKey.size(), piece.keyBytes.size()});
    piece.keyBytes.append(record.dnKey);
    if (KeyTakenInPiece(record)) {
      // Its key will be found taken: only the output of its second pass is written, and the
      // lines are signed then.
      piece.ends.push_back(piece.out.size());
      return;
    }
    WriteRecord(record, /*sign=*/true, lineBreak, longRecordSet, piece.out);
    piece.ends.push_back(piece.out.size());
  }

  // Whether one of the records just before it in the piece has the same key, letter case
  // aside: then that key is certainly taken when this record's turn comes, whatever the pieces
  // before hold. Repeated records mostly follow each other; a few are enough to look back at.
  bool KeyTakenInPiece(const PendingRecord& record) const {
    constexpr std::size_t kLookBack = 16;
    if (record.dnKey.empty()) return false;
    const std::size_t index = piece.count - 1;  // the record's own
    const std::size_t first = index > kLookBack ? index - kLookBack : 0;
    for (std::size_t i = index; i-- > first;) {
      const PendingRecord& earlier = *piece.records[i];
      if (earlier.dnHash == record.dnHash && !earlier.dnKey.empty() &&
          EqualsNoCase(earlier.dnKey, record.dnKey)) {
        return true;
      }
    }
    return false;
  }

  const record_stage::RunSettings& settings;
  const bool log;
  const std::string_view lineBreak;
  Piece& piece;
  record_stage::LongRecordSet longRecordSet;
};

std::unique_ptr<Piece> TextRepair::State::FreshPiece() {
  std::unique_ptr<Piece> piece;
  if (!spare.empty()) {
    piece = std::move(spare.back());
    spare.pop_back();
  } else {
    piece = std::make_unique<Piece>();
  }
  piece->text = {};
  piece->first = piece->last = false;
  piece->stage = Piece::Stage::kWaiting;
  piece->error = nullptr;
  piece->pool = nullptr;
  return piece;
}

void TextRepair::State::Submit(std::unique_ptr<Piece> piece) {
  piece->first = !firstPieceMade;
  firstPieceMade = true;
  const bool last = piece->last;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    inFlight.push_back(std::move(piece));
  }
  // A text of one piece is repaired on the calling thread alone.
  if (!last && workers.empty()) StartWorkers();
  wake.notify_one();
  while (inFlight.size() > mostInFlight) WriteOldest();
}

// Works until the oldest piece in flight is written out: claims the keys of the pieces whose
// first passes are done, in order, and takes on the work no worker has taken meanwhile.
void TextRepair::State::WriteOldest() {
  std::unique_lock<std::mutex> lock(mutex);
  for (;;) {
    Piece& oldest = *inFlight.front();
    if (oldest.stage == Piece::Stage::kReady) {
      std::unique_ptr<Piece> piece = std::move(inFlight.front());
      inFlight.pop_front();
      --claimed;
      lock.unlock();
      Piece& ready = *piece;
      spare.push_back(std::move(piece));
      struct GiveBackAtEnd {
        Piece& piece;
        ~GiveBackAtEnd() {
          if (piece.pool != nullptr) piece.pool->GiveBack(piece.records);
        }
      } giveBack{ready};
      Write(ready);
      return;
    }
    if (claimed < inFlight.size() && inFlight[claimed]->stage == Piece::Stage::kParsed) {
      Piece& next = *inFlight[claimed];
      lock.unlock();
      const Piece::Stage stage = Claim(next);
      lock.lock();
      next.stage = stage;
      ++claimed;
      if (stage == Piece::Stage::kClaimed) wake.notify_one();
      continue;
    }
    if (Piece* next = ClaimedPiece()) {
      next->stage = Piece::Stage::kFinishing;
      lock.unlock();
      MakeUnique(*next);
      lock.lock();
      next->stage = Piece::Stage::kReady;
      continue;
    }
    // The newest, so that the workers, taking the oldest first, find the next one waiting.
    if (Piece* next = WaitingPiece(/*newest=*/true)) {
      next->stage = Piece::Stage::kTaken;
      lock.unlock();
      Parse(*next, *pools[0]);
      lock.lock();
      next->stage = Piece::Stage::kParsed;
      continue;
    }
    done.wait(lock);
  }
}

void TextRepair::State::WriteAll() {
  while (!inFlight.empty()) WriteOldest();
}

void TextRepair::State::Parse(Piece& piece, RecordPool& pool) const {
  piece.pool = &pool;
  piece.count = 0;
  piece.out.Clear();
  piece.ends.clear();
  piece.keyBytes.clear();
  piece.keys.clear();
  piece.lines = 0;
  piece.stopped = false;
  piece.stopLine = 0;
  try {
    // The output is about as large as the text; a little larger where DNs gain the base DN.
    piece.out.Room(piece.text.size() + piece.text.size() / 8);
    PieceTarget target(settings, log != nullptr, lineBreak, piece);
    record_stage::RecordCollector<PieceTarget> collector(target);
    collector.SwapLines(pool.CollectorLines());
    struct TakeBack {
      record_stage::RecordCollector<PieceTarget>& collector;
      RecordLines& lines;
      ~TakeBack() { collector.SwapLines(lines); }
    } takeBack{collector, pool.CollectorLines()};
    if (rules == TextLines::kFile) {
      SplitFileLines(piece, collector);
    } else {
      // Lines end at LF; the rare line holding a CR or a NUL ends a line there too, and a
      // break at its very end only terminates it (as RepairRun::AddLine).
      const std::string_view text = piece.text;
      std::size_t start = 0;
      while (start < text.size()) {
        std::size_t pos = FindControlByte(text, start);
        while (pos < text.size() && text[pos] != '\n' && text[pos] != '\r' && text[pos] != '\0') {
          pos = FindControlByte(text, pos + 1);
        }
        const std::size_t number = ++piece.lines;
        std::size_t from = start;
        while (pos < text.size() && text[pos] != '\n') {
          collector.Add(text.substr(from, pos - from), number, /*stable=*/true);
          if (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') {
            from = pos + 2;
            pos = pos + 1;  // the LF ends the line; it adds no blank one
            break;
          }
          from = pos + 1;
          pos = FindControlByte(text, from);
          while (pos < text.size() && text[pos] != '\n' && text[pos] != '\r' &&
                 text[pos] != '\0') {
            pos = FindControlByte(text, pos + 1);
          }
        }
        if (from == start || from < pos) {
          collector.Add(text.substr(from, pos - from), number, /*stable=*/true);
        }
        start = pos + 1;
      }
    }
    collector.Finish();
    target.Finish();
  } catch (...) {
    piece.error = std::current_exception();
  }
}

// The keys of the piece's records, in source order: a taken key gets a new one now, the second
// pass that writes it into the record comes later, on any thread.
Piece::Stage TextRepair::State::Claim(Piece& piece) {
  piece.madeUnique.clear();
  piece.discarded = stopped;  // a NUL byte in an earlier piece ended the text
  if (piece.discarded || piece.error) return Piece::Stage::kReady;
  piece.lineOffset = linesBefore;
  std::size_t made = 0;
  const std::size_t count = piece.count;
  const PieceKey* keys = piece.keys.data();
  for (std::size_t i = 0; i < count; ++i) {
    if (i + kKeyLookAhead < count && keys[i + kKeyLookAhead].size != 0) {
      usedDNs.Prefetch(keys[i + kKeyLookAhead].hash);
    }
    if (i + kKeyLookAhead / 2 < count && keys[i + kKeyLookAhead / 2].size != 0) {
      usedDNs.PrefetchStoredKey(keys[i + kKeyLookAhead / 2].hash);
    }
    if (keys[i].size == 0) continue;
    const std::string_view key(piece.keyBytes.data() + keys[i].offset, keys[i].size);
    if (!record_stage::ClaimKey(key, keys[i].hash, usedDNs, random, candidate)) continue;
    piece.madeUnique.push_back(i);
    if (piece.candidates.size() == made) piece.candidates.emplace_back();
    piece.candidates[made++].swap(candidate);
  }
  linesBefore += piece.lines;
  if (piece.stopped) {
    stopped = true;
    stopLine = piece.lineOffset + piece.stopLine;
  }
  return piece.madeUnique.empty() ? Piece::Stage::kReady : Piece::Stage::kClaimed;
}

// The second passes of the records whose keys were taken, and the piece's output put together
// anew around their new forms, so that the calling thread has one block to write; the passes'
// messages are held for Write.
void TextRepair::State::MakeUnique(Piece& piece) const {
  try {
    OutBuffer& rewritten = piece.rewritten;
    rewritten.Clear();
    if (piece.laterMessages.size() < piece.madeUnique.size()) {
      piece.laterMessages.resize(piece.madeUnique.size());
    }
    record_stage::LongRecordSet longRecordSet;
    auto write = [&rewritten](std::string_view bytes) {
      char* at = rewritten.Room(bytes.size());
      std::memcpy(at, bytes.data(), bytes.size());
      rewritten.Used(at + bytes.size());
    };
    std::size_t copied = 0;  // of piece.out
    for (std::size_t k = 0; k < piece.madeUnique.size(); ++k) {
      const std::size_t i = piece.madeUnique[k];
      PendingRecord& record = *piece.records[i];
      // The records before it, as the first passes wrote them.
      const std::size_t begin = i == 0 ? 0 : piece.ends[i - 1];
      write(piece.out.View().substr(copied, begin - copied));
      copied = piece.ends[i];
      record_stage::HoldingLog& held = piece.laterMessages[k];
      held.Clear();
      held.SetWantsProgress(settings.wantsProgress);
      record_stage::MakeRecordUnique(record, settings, log != nullptr ? &held : nullptr,
                                     piece.lineOffset, piece.candidates[k]);
      // Signed anew on the way: a record held back above was not signed before.
      WriteRecord(record, /*sign=*/true, lineBreak, longRecordSet, rewritten);
    }
    write(piece.out.View().substr(copied));
  } catch (...) {
    piece.error = std::current_exception();
  }
}

// The messages and the output of the piece's records, in source order.
void TextRepair::State::Write(Piece& piece) {
  if (piece.discarded) return;
  if (piece.error) std::rethrow_exception(piece.error);
  if (log != nullptr) {
    std::size_t next = 0;  // in piece.madeUnique
    for (std::size_t i = 0; i < piece.count; ++i) {
      record_stage::ReplayFirstMessages(*piece.records[i], *log, piece.lineOffset);
      if (next < piece.madeUnique.size() && piece.madeUnique[next] == i) {
        piece.laterMessages[next++].ReplayTo(*log);
      }
    }
  }
  const OutBuffer& output = piece.madeUnique.empty() ? piece.out : piece.rewritten;
  if (output.size() > 0) out.Text(output.View());
}

Piece* TextRepair::State::WaitingPiece(bool newest) const {
  if (newest) {
    for (auto piece = inFlight.rbegin(); piece != inFlight.rend(); ++piece) {
      if ((*piece)->stage == Piece::Stage::kWaiting) return piece->get();
    }
    return nullptr;
  }
  for (const std::unique_ptr<Piece>& piece : inFlight) {
    if (piece->stage == Piece::Stage::kWaiting) return piece.get();
  }
  return nullptr;
}

Piece* TextRepair::State::ClaimedPiece() const {
  for (std::size_t i = 0; i < claimed; ++i) {
    if (inFlight[i]->stage == Piece::Stage::kClaimed) return inFlight[i].get();
  }
  return nullptr;
}

void TextRepair::State::StartWorkers() {
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const unsigned count = std::min(kMostWorkers, std::max(1u, cores - 1));
  // Made before any worker starts: the list does not change while they run.
  while (pools.size() < count + 1) pools.push_back(std::make_unique<RecordPool>());
  for (unsigned i = 0; i < count; ++i) {
    try {
      RecordPool& pool = *pools[i + 1];
      workers.emplace_back([this, &pool] { WorkerLoop(pool); });
    } catch (const std::system_error&) {
      break;  // fewer threads: the calling thread takes the rest on
    }
  }
  mostInFlight = kPiecesPerThread * (workers.size() + 1) + 1;
}

void TextRepair::State::StopWorkers() {
  {
    const std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
  }
  wake.notify_all();
  for (std::thread& worker : workers) worker.join();
  workers.clear();
}

void TextRepair::State::WorkerLoop(RecordPool& pool) {
  std::unique_lock<std::mutex> lock(mutex);
  for (;;) {
    // Second passes first: the calling thread waits for them to write the piece out.
    Piece* finishing = nullptr;
    Piece* parsing = nullptr;
    wake.wait(lock, [&] {
      if (stopping) return true;
      finishing = ClaimedPiece();
      if (finishing == nullptr) parsing = WaitingPiece();
      return finishing != nullptr || parsing != nullptr;
    });
    if (finishing != nullptr) {
      finishing->stage = Piece::Stage::kFinishing;
      lock.unlock();
      MakeUnique(*finishing);
      lock.lock();
      finishing->stage = Piece::Stage::kReady;
    } else if (parsing != nullptr) {
      parsing->stage = Piece::Stage::kTaken;
      lock.unlock();
      Parse(*parsing, pool);
      lock.lock();
      parsing->stage = Piece::Stage::kParsed;
    } else {
      return;
    }
    done.notify_all();
  }
}

TextRepair::TextRepair(std::string_view baseDN, const TransformMap& map, UsedDNs& usedDNs,
                       RandomSource& random, Log* log, TextSink& out, std::string_view lineBreak,
                       TextLines rules)
    : state_(std::make_unique<State>(baseDN, map, usedDNs, random, log, out, lineBreak, rules)) {
  if (lineBreak.empty() || lineBreak.size() > 2) {
    throw std::invalid_argument("a line break is one or two bytes");
  }
  usedDNs.Clear();
}

TextRepair::~TextRepair() = default;

void TextRepair::Run(std::string_view text) {
  State& s = *state_;
  std::size_t start = 0;
  while (start < text.size() && !s.stopped) {
    std::size_t cut = text.size();
    std::size_t least = std::max<std::size_t>(start + s.pieceBytes, 1);
    if (!s.firstPieceMade) {
      // Far enough for the breaks the first piece must hold.
      std::size_t breaks = 0;
      std::size_t p = start;
      for (; p < text.size() && breaks < s.firstPieceBreaks; ++p) {
        breaks += text[p] == '\n' || text[p] == '\r';
      }
      least = std::max(least, p);
    }
    for (std::size_t p = least; p < text.size(); ++p) {
      if (IsCut(text, p, s.rules)) {
        cut = p;
        break;
      }
    }
    std::unique_ptr<Piece> piece = s.FreshPiece();
    piece->text = text.substr(start, cut - start);
    piece->last = cut == text.size();
    s.Submit(std::move(piece));
    start = cut;
  }
  s.WriteAll();
  s.StopWorkers();
}

void TextRepair::Run(const Reader& read) {
  State& s = *state_;
  constexpr std::size_t kReadBytes = 32 * 1024;
  std::unique_ptr<Piece> piece = s.FreshPiece();
  std::size_t used = 0;
  std::size_t searched = 0;  // no cut lies before this
  bool end = false;
  while (!end && !s.stopped) {
    if (piece->capacity < used + kReadBytes) {
      // A stretch without a place to cut longer than a piece doubles the room.
      const std::size_t capacity =
          std::max({used + kReadBytes, s.pieceBytes + kReadBytes, piece->capacity * 2});
      auto bytes = std::make_unique_for_overwrite<char[]>(capacity);
      if (used > 0) std::memcpy(bytes.get(), piece->bytes.get(), used);
      piece->bytes = std::move(bytes);
      piece->capacity = capacity;
    }
    const std::size_t got = read(piece->bytes.get() + used, piece->capacity - used);
    used += got;
    end = got == 0;
    if (end || used < s.pieceBytes) continue;
    const std::string_view text(piece->bytes.get(), used);
    // The last cut in what was read, so that a piece is as large as it can be.
    std::size_t from = std::max<std::size_t>(searched, 1);
    if (!s.firstPieceMade && CountBreaks(text) < s.firstPieceBreaks) continue;
    std::size_t cut = 0;
    for (std::size_t p = used - 1; p >= from; --p) {
      if (IsCut(text, p, s.rules)) {
        cut = p;
        break;
      }
    }
    searched = used;
    if (cut == 0) continue;  // one long stretch without a place to cut: read on
    if (!s.firstPieceMade && CountBreaks(text.substr(0, cut)) < s.firstPieceBreaks) continue;
    std::unique_ptr<Piece> next = s.FreshPiece();
    const std::size_t rest = used - cut;
    if (next->capacity < rest + kReadBytes) {
      next->capacity = std::max(rest + kReadBytes, s.pieceBytes + kReadBytes);
      next->bytes = std::make_unique_for_overwrite<char[]>(next->capacity);
    }
    std::memcpy(next->bytes.get(), text.data() + cut, rest);
    piece->text = text.substr(0, cut);
    piece->last = false;
    s.Submit(std::move(piece));
    piece = std::move(next);
    used = rest;
    searched = 0;
  }
  if (!s.stopped) {
    piece->text = std::string_view(piece->bytes.get(), used);
    piece->last = true;
    s.Submit(std::move(piece));
  }
  s.WriteAll();
  s.StopWorkers();
}

void TextRepair::SetPieceBytes(std::size_t bytes) { state_->pieceBytes = bytes; }

bool TextRepair::Stopped() const { return state_->stopped; }

std::size_t TextRepair::StopLine() const { return state_->stopLine; }

}  // namespace quorvane
