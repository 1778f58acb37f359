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

std::vector<std::string> SplitTextLines(std::string_view bytes) {
  std::vector<std::string> lines;
  LineSplitter splitter;
  auto keep = [&lines](std::string_view line) { lines.emplace_back(line); };
  splitter.Feed(bytes, keep);
  splitter.Finish(keep);
  return lines;
}

}  // namespace quorvane
