// Repairing a whole text: pieces of it on every core, the output in source order.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string_view>

#include "engine/log.h"
#include "engine/random_source.h"
#include "engine/transform_map.h"
#include "engine/used_dns.h"

namespace quorvane {

// Receives the output of a TextRepair, in order, as text: whole lines, each followed by the
// run's line break; an empty line separates records.
class TextSink {
 public:
  virtual ~TextSink() = default;
  virtual void Text(std::string_view lines) = 0;
};

// How the text handed to a TextRepair is split into lines.
enum class TextLines {
  // As a file is loaded into the editor (LineSplitter): a line ends at CR, LF or CR LF, a NUL
  // byte ends the text, every TAB becomes four spaces.
  kFile,
  // As the editor holds its text: a line ends at LF; a CR or NUL within it ends a line there
  // too, as RepairRun::AddLine has it; TABs stay.
  kPane,
};

// The same repair as RepairRun, byte for byte and message for message, for a whole text at
// once. The text is cut into pieces of some tens of kilobytes, each cut made where no record
// can go on: before a blank line, or before a DN line in a record that has one already. The
// lines, records and first passes of a piece need nothing from the pieces before it, so every
// core takes pieces on while the calling thread reads on. The calling thread claims the DN
// keys in source order (numbers drawn from `random` in the same order as RepairRun draws them);
// the second passes of the records whose keys were taken run on any thread; the calling thread
// writes the messages and the output of each piece in order. Messages, the sink and `random`
// are used on the calling thread only. Memory stays bounded by a few pieces besides the DN keys.
//
// Progress: records starting on the first 256 lines report every line, later one record in 16
// of each piece reports its last line, and so does the last record of every piece, the run's
// last one among them (RepairRun counts the records of the whole run instead).
class TextRepair {
 public:
  // Puts up to `size` bytes into `buffer` and returns how many; 0 at the end of the text.
  using Reader = std::function<std::size_t(char* buffer, std::size_t size)>;

  // `usedDNs` is cleared at the start; `log` may be null; `lineBreak` (one or two bytes, else
  // std::invalid_argument) follows every output line. All references must outlive the run.
  // One object runs once.
  TextRepair(std::string_view baseDN, const TransformMap& map, UsedDNs& usedDNs,
             RandomSource& random, Log* log, TextSink& out, std::string_view lineBreak,
             TextLines rules);
  ~TextRepair();
  TextRepair(const TextRepair&) = delete;
  TextRepair& operator=(const TextRepair&) = delete;

  // Repairs what `read` delivers. An exception from the reader, the sink, the log or a pass
  // comes out here, after the worker threads have stopped.
  void Run(const Reader& read);
  // Repairs `text`, which must stay unchanged until Run returns.
  void Run(std::string_view text);

  // Where the text is cut: after about this many bytes (at least one), at the next place where
  // no record goes on.
  // The output does not depend on it; tests make it small to cut often. Before Run.
  void SetPieceBytes(std::size_t bytes);

  // True when a NUL byte ended the text (TextLines::kFile); StopLine() is the 1-based number
  // of the line it stood on.
  bool Stopped() const;
  std::size_t StopLine() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace quorvane
