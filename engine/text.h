// Byte-string helpers shared by the engine, the profiles and the front ends.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace quorvane {

// Trimming removes every byte of code 32 or less: blanks and control bytes.
inline bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= 32; }

// Removes such bytes from the start only, from the end only, from both ends.
inline std::string_view TrimStartView(std::string_view text) {
  while (!text.empty() && IsTrimmed(text.front())) text.remove_prefix(1);
  return text;
}
inline std::string_view TrimEndView(std::string_view text) {
  while (!text.empty() && IsTrimmed(text.back())) text.remove_suffix(1);
  return text;
}
inline std::string_view TrimView(std::string_view text) { return TrimEndView(TrimStartView(text)); }
std::string Trim(std::string_view text);

// Lower-cases the ASCII letters A to Z only; every other byte stays.
inline char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
std::string LowerCase(std::string_view text);

// Comparisons with ASCII letters folded, as a directory compares names and most values.
inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a.empty()) return true;
  // Most texts that differ do so in their first letter, and most that are equal are written
  // alike, letter case included.
  if (LowerAscii(a[0]) != LowerAscii(b[0])) return false;
  if (a == b) return true;
  for (std::size_t i = 1; i < a.size(); ++i) {
    if (a[i] != b[i] && LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}
inline bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}
bool EndsWithNoCase(std::string_view text, std::string_view suffix);

// Hash and equality with ASCII letters folded, for standard containers keyed by such text
// (both take any string type through std::string_view).
struct NoCaseHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const;
};
struct NoCaseEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return EqualsNoCase(a, b); }
};

// Hash for standard containers keyed by text compared byte for byte, looked up by views
// without copying (with std::equal_to<>).
struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const {
    return std::hash<std::string_view>{}(text);
  }
};

// Replaces every non-overlapping occurrence of `from`, left to right, case-sensitively;
// inserted text is not scanned again. An empty `from` changes nothing.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

}  // namespace quorvane
