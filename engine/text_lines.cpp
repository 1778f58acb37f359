// Splitting file bytes into lines exactly as the editor pane loads a file.
#include "engine/text_lines.h"

namespace quorvane {

std::string ExpandTabs(std::string_view line) {
  std::string result;
  result.reserve(line.size() + 8);
  for (char c : line) {
    if (c == '\t') {
      result.append(kTabSpaces);
    } else {
      result.push_back(c);
    }
  }
  return result;
}

std::string_view LineSplitter::Complete(std::string_view line, bool tab) {
  if (hasPending_) {
    // The view stays valid until the next Keep: the line is handed on before that.
    pending_.append(line);
    line = pending_;
    tab = tab || pendingTab_;
    hasPending_ = false;
    pendingTab_ = false;
  }
  if (tab && rules_ == LineRules::kFile) {
    expanded_ = ExpandTabs(line);
    line = expanded_;
  }
  return line;
}

void LineSplitter::Keep(std::string_view start, bool tab) {
  if (!hasPending_) pending_.clear();
  pending_.append(start);
  hasPending_ = true;
  pendingTab_ = pendingTab_ || tab;
}

std::vector<std::string> SplitTextLines(std::string_view bytes) {
  std::vector<std::string> lines;
  LineSplitter splitter;
  auto keep = [&lines](std::string_view line) { lines.emplace_back(line); };
  splitter.Feed(bytes, keep);
  splitter.Finish(keep);
  return lines;
}

}  // namespace quorvane
