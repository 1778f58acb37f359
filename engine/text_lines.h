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
// looked at once per kind, in long strides.
class LineBreaks {
 public:
  explicit LineBreaks(std::string_view text) : text_(text) {}
  // The position of the first CR, LF or NUL at or after `from`, or the text's size; `tab` is
  // set when a TAB comes before it. `from` must not go back.
  std::size_t Next(std::size_t from, bool& tab) {
    const std::size_t end = std::min({NextOf('\r', cr_, from), NextOf('\n', lf_, from),
                                      NextOf('\0', nul_, from)});
    if (NextOf('\t', tab_, from) < end) tab = true;
    return end;
  }

 private:
  static constexpr std::size_t kNotLooked = std::string_view::npos;
  std::size_t NextOf(char c, std::size_t& at, std::size_t from) const {
    if (at == kNotLooked || at < from) {
      const void* hit = std::memchr(text_.data() + from, c, text_.size() - from);
      at = hit == nullptr
               ? text_.size()
               : static_cast<std::size_t>(static_cast<const char*>(hit) - text_.data());
    }
    return at;
  }

  std::string_view text_;
  std::size_t cr_ = kNotLooked;
  std::size_t lf_ = kNotLooked;
  std::size_t nul_ = kNotLooked;
  std::size_t tab_ = kNotLooked;
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
  if (hasPending_) {
    pending_.append(line);
    line = pending_;
    tab = tab || pendingTab_;
  }
  if (tab && rules_ == LineRules::kFile) {
    expanded_ = ExpandTabs(line);
    line = expanded_;
  }
  ++lines_;
  onLine(line);
  pending_.clear();
  hasPending_ = false;
  pendingTab_ = false;
}

template <class OnLine>
void LineSplitter::Feed(std::string_view chunk, OnLine&& onLine) {
  if (stopped_) return;
  std::size_t pos = 0;
  LineBreaks breaks(chunk);
  if (afterCR_ && !chunk.empty()) {
    afterCR_ = false;
    if (chunk[0] == '\n') pos = 1;
  }
  while (pos < chunk.size()) {
    bool tab = false;
    std::size_t end = breaks.Next(pos, tab);
    if (end == chunk.size()) {
      pending_.append(chunk.substr(pos));
      hasPending_ = true;
      pendingTab_ = pendingTab_ || tab;
      return;
    }
    if (chunk[end] == '\0' && rules_ == LineRules::kPane) {
      Emit(chunk.substr(pos, end - pos), tab, onLine);
      pos = end + 1;
      continue;
    }
    if (chunk[end] == '\0') {
      // The text before the NUL on its line is still a line; the NUL stood on that line.
      stopLine_ = lines_ + 1;
      if (hasPending_ || end > pos) Emit(chunk.substr(pos, end - pos), tab, onLine);
      stopped_ = true;
      return;
    }
    Emit(chunk.substr(pos, end - pos), tab, onLine);
    if (chunk[end] == '\r') {
      ++end;
      if (end == chunk.size()) {
        afterCR_ = true;
        return;
      }
    }
    if (chunk[end] == '\n') ++end;
    pos = end;
  }
}

template <class OnLine>
void LineSplitter::Finish(OnLine&& onLine) {
  if (hasPending_ && !stopped_) Emit({}, false, onLine);
  pending_.clear();
  hasPending_ = false;
  pendingTab_ = false;
  afterCR_ = false;
}

}  // namespace quorvane
