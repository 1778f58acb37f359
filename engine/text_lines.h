// Splitting file bytes into lines exactly as the editor pane loads a file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text.h"

namespace quorvane {

// Every TAB becomes four spaces, wherever it stands (no alignment to tab stops).
inline constexpr std::string_view kTabSpaces = "    ";
std::string ExpandTabs(std::string_view line);

// The positions of the bytes of code 13 or less in a text, in order. Each 64-byte block is
// looked at once and kept as a bit mask, so that the many short lines of a book do not each
// start a scan of their own.
class ControlByteScanner {
 public:
  explicit ControlByteScanner(std::string_view text) : text_(text) {}
  // The first such position at or after `from`, or the text's size. Successive calls must
  // not go back to a position before the block of the last one.
  std::size_t Next(std::size_t from) {
    if (from >= base_ + 64 || !loaded_) Load(from);
    for (;;) {
      const std::uint64_t rest = mask_ & (~std::uint64_t{0} << (from - base_));
      if (rest != 0) return base_ + static_cast<std::size_t>(__builtin_ctzll(rest));
      if (base_ + 64 >= text_.size()) return text_.size();
      from = base_ + 64;
      Load(from);
    }
  }

 private:
  void Load(std::size_t at) {
    base_ = at;
    loaded_ = true;
    mask_ = 0;
    const std::size_t size = text_.size();
    if (at >= size) return;
    if (size - at >= 64) {
      mask_ = ControlMask64(text_.data() + at);
      return;
    }
    for (std::size_t i = 0; at + i < size; ++i) {  // the last bytes of the text
      if (static_cast<unsigned char>(text_[at + i]) <= 13) mask_ |= std::uint64_t{1} << i;
    }
  }

  std::string_view text_;
  std::size_t base_ = 0;     // where the block of `mask_` starts
  std::uint64_t mask_ = 0;   // bit i: the byte at base_ + i is of code 13 or less
  bool loaded_ = false;
};

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
  ControlByteScanner scanner(chunk);
  while (pos < size) {
    // Every byte that matters here is a control byte of code 13 or less; the scan skips
    // the others in blocks, and notes TABs on the way.
    bool hasTab = false;
    std::size_t end = scanner.Next(pos);
    while (end < size && chunk[end] != '\r' && chunk[end] != '\n' && chunk[end] != '\0') {
      hasTab = hasTab || chunk[end] == '\t';
      end = scanner.Next(end + 1);
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
