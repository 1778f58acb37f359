// Splitting file bytes into lines exactly as the editor pane loads a file.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// Every TAB becomes four spaces, wherever it stands (no alignment to tab stops).
inline constexpr std::string_view kTabSpaces = "    ";
std::string ExpandTabs(std::string_view line);

// Finds the line breaks of one text from its start to its end. Each of CR, LF, NUL and TAB is
// looked for with memchr only once the one found before it has been passed, so every byte is
// looked at once per kind, in long strides. The text must not be empty.
class LineBreaks {
 public:
  explicit LineBreaks(std::string_view text)
      : end_(text.data() + text.size()),
        cr_(Find('\r', text.data())),
        lf_(Find('\n', text.data())),
        nul_(Find('\0', text.data())),
        tab_(Find('\t', text.data())) {}
  // The first CR, LF or NUL at or after `from`, or the text's end. `from` must not go back.
  const char* Next(const char* from) {
    if (cr_ < from) cr_ = Find('\r', from);
    if (lf_ < from) lf_ = Find('\n', from);
    if (nul_ < from) nul_ = Find('\0', from);
    return std::min({cr_, lf_, nul_});
  }
  // Whether a TAB stands in [from, to). `from` must not go back.
  bool HasTab(const char* from, const char* to) {
    if (tab_ < from) tab_ = Find('\t', from);
    return tab_ < to;
  }

 private:
  // The first `c` at or after `from`, or the text's end.
  const char* Find(char c, const char* from) const {
    const void* hit = std::memchr(from, c, static_cast<std::size_t>(end_ - from));
    return hit != nullptr ? static_cast<const char*>(hit) : end_;
  }

  const char* end_;
  const char* cr_;
  const char* lf_;
  const char* nul_;
  const char* tab_;
};

// How a text is split into lines.
enum class LineRules {
  // As a file is loaded into the editor: a NUL byte ends the text, every TAB becomes four
  // spaces.
  kFile,
  // As the editor holds its text: a NUL byte ends a line (the rest is still text), TABs stay.
  kPane,
};

// Splits a text that may come in chunks of any size. A line ends at CR, LF or NUL; after a
// CR or LF one CR and then one LF are skipped, so CR LF, a lone LF and a lone CR each end one
// line and LF CR ends two. A final line break adds no empty line. Then `rules` apply. A line
// that lies whole in its chunk is handed on as a view of it.
class LineSplitter {
 public:
  explicit LineSplitter(LineRules rules = LineRules::kFile) : rules_(rules) {}
  // Calls onLine(std::string_view) for every line that `chunk` completes.
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
  void Emit(std::string_view line, bool tab, OnLine& onLine);
  // The line to hand on when it is not the plain view: the pending start put before it, its
  // TABs expanded.
  std::string_view Complete(std::string_view line, bool tab);
  // Keeps the start of a line whose end lies in a later chunk.
  void Keep(std::string_view start, bool tab);

  LineRules rules_;
  std::string pending_;      // the start of a line whose end lies in a later chunk
  bool hasPending_ = false;
  bool pendingTab_ = false;  // it holds a TAB
  bool afterCR_ = false;     // the last chunk ended with a CR that an LF may complete
  bool stopped_ = false;
  std::size_t lines_ = 0;    // lines handed on so far
  std::size_t stopLine_ = 0;
  std::string expanded_;     // a line with its TABs expanded
};

// The lines of a whole text, split as above.
std::vector<std::string> SplitTextLines(std::string_view bytes);

template <class OnLine>
void LineSplitter::Emit(std::string_view line, bool tab, OnLine& onLine) {
  if (hasPending_ || (tab && rules_ == LineRules::kFile)) line = Complete(line, tab);
  ++lines_;
  onLine(line);
}

template <class OnLine>
void LineSplitter::Feed(std::string_view chunk, OnLine&& onLine) {
  if (stopped_ || chunk.empty()) return;
  const char* pos = chunk.data();
  const char* const end = pos + chunk.size();
  if (afterCR_) {
    afterCR_ = false;
    if (*pos == '\n') ++pos;  // the LF of a CR LF that the chunks split
    if (pos == end) return;
  }
  LineBreaks breaks(std::string_view(pos, end));
  while (pos < end) {
    const char* lineEnd = breaks.Next(pos);
    const bool tab = breaks.HasTab(pos, lineEnd);
    const std::string_view line(pos, lineEnd);
    if (lineEnd == end) {
      Keep(line, tab);
      return;
    }
    if (*lineEnd == '\0' && rules_ == LineRules::kFile) {
      // The text before the NUL on its line is still a line; the NUL stood on that line.
      stopLine_ = lines_ + 1;
      if (hasPending_ || !line.empty()) Emit(line, tab, onLine);
      stopped_ = true;
      return;
    }
    Emit(line, tab, onLine);
    pos = lineEnd + 1;
    if (*lineEnd == '\r') {
      if (pos == end) {
        afterCR_ = true;
        return;
      }
      if (*pos == '\n') ++pos;
    }
  }
}

template <class OnLine>
void LineSplitter::Finish(OnLine&& onLine) {
  if (hasPending_ && !stopped_) Emit({}, false, onLine);
  hasPending_ = false;
  pendingTab_ = false;
  afterCR_ = false;
}

}  // namespace quorvane
