// Byte-string helpers shared by the engine, the profiles and the front ends.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// Removes every byte of code 32 or less from both ends.
std::string_view TrimView(std::string_view text);
std::string Trim(std::string_view text);

// Lower-cases the ASCII letters A to Z only; every other byte stays.
std::string LowerCase(std::string_view text);
inline char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// Compares with ASCII letters folded.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);

// The position of the first byte of code 13 or less (NUL, TAB, LF, CR and the rarer control
// bytes) at or after `from`, or text.size(). Scans 16 bytes at a time where the processor can:
// line splitting runs this over every byte of a book.
std::size_t FindControlByte(std::string_view text, std::size_t from = 0);

// Replaces every non-overlapping occurrence of `from`, left to right, case-sensitively;
// inserted text is not scanned again. An empty `from` changes nothing.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

}  // namespace quorvane
