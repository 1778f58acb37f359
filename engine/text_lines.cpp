// Splitting file bytes into lines exactly as the editor pane loads a file.
#include "engine/text_lines.h"

#include <algorithm>
#include <cstring>

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

std::size_t LineBreaks::NextOf(char c, std::size_t& at, std::size_t from) const {
  if (at == kNotLooked || at < from) {
    const void* hit = std::memchr(text_.data() + from, c, text_.size() - from);
    at = hit == nullptr ? text_.size()
                        : static_cast<std::size_t>(static_cast<const char*>(hit) - text_.data());
  }
  return at;
}

std::size_t LineBreaks::Next(std::size_t from, bool& tab) {
  const std::size_t end =
      std::min({NextOf('\r', cr_, from), NextOf('\n', lf_, from), NextOf('\0', nul_, from)});
  if (NextOf('\t', tab_, from) < end) tab = true;
  return end;
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
