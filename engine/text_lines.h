// Splitting file bytes into lines exactly as the editor pane loads a file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/text.h"

namespace quorvane {

// Every TAB becomes four spaces, wherever it stands (no alignment to tab stops).
inline constexpr std::string_view kTabSpaces = "    ";
std::string ExpandTabs(std::string_view line);

// Incremental splitter, so that a stream can be read in chunks of any size.
// A line ends at CR, LF or NUL; after it one CR and then one LF are skipped, so CR LF,
// a lone LF and a lone CR each end one line and LF CR ends two. A final line break adds no
// empty line, and everything from the first NUL byte on is ignored. Lines are handed on
// with the TAB rule applied.
class LineSplitter {
 public:
  // Calls onLine(std::string_view) for every line completed by `chunk`.
  template <class OnLine>
  void Feed(std::string_view chunk, OnLine&& onLine);
  // Hands on the last line when the text did not end with a line break.
  template <class OnLine>
  void Finish(OnLine&& onLine);
  // True once a NUL byte has ended the text; later input is ignored.
  bool Stopped() const { return stopped_; }
  // The 1-based number of the line on which that NUL byte stood; 0 while not stopped.
  std::size_t StopLine() const { return stopLine_; }

 private:
  template <class OnLine>
  void Emit(std::string_view line, bool hasTab, OnLine& onLine);

  std::string pending_;  // start of a line whose end is in a later chunk
  bool hasPending_ = false;
  bool pendingHasTab_ = false;
  bool afterCR_ = false;  // the previous chunk ended with a CR that may pair with an LF
  bool stopped_ = false;
  std::size_t linesHandedOn_ = 0;
  std::size_t stopLine_ = 0;
};

// Whole-text form: the lines of `bytes`, as LoadFile stores them.
std::vector<std::string> SplitTextLines(std::string_view bytes);

template <class OnLine>
void LineSplitter::Emit(std::string_view line, bool hasTab, OnLine& onLine) {
  ++linesHandedOn_;
  if (!hasTab) {
    onLine(line);
  } else {
    const std::string expanded = ExpandTabs(line);
    onLine(std::string_view(expanded));
  }
}

template <class OnLine>
void LineSplitter::Feed(std::string_view chunk, OnLine&& onLine) {
  std::size_t pos = 0;
  const std::size_t size = chunk.size();
  if (stopped_ || size == 0) return;  // an empty chunk must not forget a CR at the end of the last
  if (afterCR_) {
    afterCR_ = false;
    if (chunk[0] == '\n') pos = 1;
  }
  while (pos < size) {
    // Every byte that matters here is a control byte of code 13 or less; the scan skips
    // the others in blocks, and notes TABs on the way.
    bool hasTab = false;
    std::size_t end = FindControlByte(chunk, pos);
    while (end < size && chunk[end] != '\r' && chunk[end] != '\n' && chunk[end] != '\0') {
      hasTab = hasTab || chunk[end] == '\t';
      end = FindControlByte(chunk, end + 1);
    }
    if (end == size) {
      pending_.append(chunk.substr(pos));
      pendingHasTab_ = pendingHasTab_ || hasTab;
      hasPending_ = true;
      return;
    }
    const bool lineHasText = hasPending_ || end > pos;
    if (hasPending_) {
      pending_.append(chunk.substr(pos, end - pos));
      Emit(pending_, pendingHasTab_ || hasTab, onLine);
      pending_.clear();
      hasPending_ = false;
      pendingHasTab_ = false;
    } else if (end > pos || chunk[end] != '\0') {
      // A NUL where a line would begin ends the text before that line.
      Emit(chunk.substr(pos, end - pos), hasTab, onLine);
    }
    if (chunk[end] == '\0') {
      stopped_ = true;
      stopLine_ = lineHasText ? linesHandedOn_ : linesHandedOn_ + 1;
      return;
    }
    pos = end;
    if (chunk[pos] == '\r') {
      ++pos;
      if (pos == size) {
        afterCR_ = true;
        return;
      }
    }
    if (chunk[pos] == '\n') ++pos;
  }
}

template <class OnLine>
void LineSplitter::Finish(OnLine&& onLine) {
  if (hasPending_ && !stopped_) Emit(pending_, pendingHasTab_, onLine);
  pending_.clear();
  hasPending_ = false;
  pendingHasTab_ = false;
  afterCR_ = false;
}

}  // namespace quorvane
