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

std::size_t FindLineBreak(std::string_view text, std::size_t from, bool& tab) {
  for (std::size_t i = from; i < text.size(); ++i) {
    const char c = text[i];
    if (static_cast<unsigned char>(c) > '\r') continue;  // most bytes: one test
    if (c == '\n' || c == '\r' || c == '\0') return i;
    if (c == '\t') tab = true;
  }
  return text.size();
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
