// Classifies one line of LDIF into highlighted pieces; pure, so it is tested without a window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace quorvane {

// The styles of the source pane, numbered as the lexer registers them with the editor.
enum class LdifStyle : std::uint8_t {
  Default = 0,  // the font colour: everything no rule covers
  Symbol,       // the symbol characters " ,;:.()[]=-*/^%<>#" and CR, LF
  KeywordA,     // an attribute name followed by one ":" ("cn:")
  KeywordB,     // "changetype:", "delete:", "replace:"
  KeywordC,     // an attribute name followed by "::" ("dn::", a Base64 value)
  Comment,      // "//" to the end of the line, "<!--" ... "-->" across lines
  Number,
  Url,  // a run starting with "http://", "mailto:", "www." and the like
};
inline constexpr int kLdifStyleCount = 8;

// A stretch of `length` bytes drawn in one style; the pieces of a line follow each other
// without gaps and cover it exactly.
struct StyledPiece {
  std::size_t length;
  LdifStyle style;
  bool operator==(const StyledPiece&) const = default;
};

// Appends the pieces of `line` to `pieces` (merging neighbours of the same style).
// `inBlockComment` says whether a "<!--" above is still open at the start of the line; the
// result says whether one is open at its end, for the next line.
bool StyleLdifLine(std::string_view line, bool inBlockComment, std::vector<StyledPiece>& pieces);

// The result pane only marks URL runs; everything else is Default.
void StyleUrlRuns(std::string_view line, std::vector<StyledPiece>& pieces);

// The URL run of `line` that covers byte `offset`, or an empty view when there is none.
// A run is a stretch between the separators space, '"', '\'' and ','; it is a URL when it
// starts, in any letter case, with "http://", "mailto:", "www.", "https://", "ftp://" or "nntp://".
std::string_view UrlRunAt(std::string_view line, std::size_t offset);

}  // namespace quorvane
