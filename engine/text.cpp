// Byte-string helpers shared by the engine, the profiles and the front ends.
#include "engine/text.h"

#include <algorithm>

namespace quorvane {

std::string Trim(std::string_view text) { return std::string(TrimView(text)); }

std::string LowerCase(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = LowerAscii(c);
  return result;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool EqualWordsNoCase(std::string_view a, std::string_view b) {
  const std::size_t size = a.size();
  auto sameWord = [&a, &b](std::size_t at) {
    std::uint64_t x;
    std::uint64_t y;
    std::memcpy(&x, a.data() + at, 8);
    std::memcpy(&y, b.data() + at, 8);
    return x == y || LowerAsciiWord(x) == LowerAsciiWord(y);
  };
  for (std::size_t i = 0; i + 8 < size; i += 8) {
    if (!sameWord(i)) return false;
  }
  return sameWord(size - 8);  // the last eight bytes, overlapping the words before
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string result;
  result.reserve(text.size());
  std::size_t pos = 0;
  for (std::size_t hit; (hit = text.find(from, pos)) != std::string_view::npos;
       pos = hit + from.size()) {
    result.append(text, pos, hit - pos).append(to);
  }
  result.append(text, pos);
  return result;
}

}  // namespace quorvane
