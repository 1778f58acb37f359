// Classifies one line of LDIF into highlighted pieces: symbols, attribute keywords, comments,
// numbers and URL runs.
#include "ui/ldif_styler.h"

#include <array>

namespace quorvane {
namespace {

constexpr std::string_view kSymbols = " ,;:.()[]=-*/^%<>#\r\n";
constexpr std::string_view kNumberStartChars = "+-.0123456789";
constexpr std::string_view kNumberChars = "+-.0123456789eE";
constexpr std::string_view kLineComment = "//";
constexpr std::string_view kBlockOpen = "<!--";
constexpr std::string_view kBlockClose = "-->";

// The attribute names of the address-book schema; group A adds ":", group C "::".
// clang-format off
constexpr std::array<std::string_view, 27> kAttributeNames = {
    "c", "cn", "company", "description", "dn", "fax", "givenname", "homephone", "homestreet",
    "l", "mail", "mobile", "modifytimestamp", "mozillahomelocalityname", "mozillahomepostalcode",
    "mozillahomestate", "mozillasecondemail", "mozillaworkstreet2", "mozillaworkurl",
    "objectclass", "pager", "postalcode", "sn", "st", "street", "telephonenumber", "title"};
// clang-format on
constexpr std::array<std::string_view, 3> kChangeWords = {"changetype", "delete", "replace"};

constexpr std::array<std::string_view, 6> kUrlPrefixes = {"http://",  "mailto:", "www.",
                                                          "https://", "ftp://",  "nntp://"};

// Character classes, looked up once per byte: the styler runs over whole files when the user
// jumps to the end of a large one.
enum CharClass : unsigned char {
  kSymbol = 1,
  kRunSeparator = 2,
  kNumberStart = 4,
  kNumberPart = 8,
};

constexpr std::array<unsigned char, 256> MakeClasses() {
  std::array<unsigned char, 256> classes{};
  auto mark = [&classes](std::string_view chars, unsigned char cls) {
    for (char c : chars) classes[static_cast<unsigned char>(c)] |= cls;
  };
  mark(kSymbols, kSymbol);
  mark(" \"',", kRunSeparator);
  mark(kNumberStartChars, kNumberStart);
  mark(kNumberChars, kNumberPart);
  return classes;
}
constexpr std::array<unsigned char, 256> kClasses = MakeClasses();

bool Is(char c, CharClass cls) {
  return (kClasses[static_cast<unsigned char>(c)] & cls) != 0;
}
bool IsSymbol(char c) {
  return Is(c, kSymbol);
}
bool IsRunSeparator(char c) {
  return Is(c, kRunSeparator);
}
bool StartsNumber(char c) {
  return Is(c, kNumberStart);
}
bool IsNumberChar(char c) {
  return Is(c, kNumberPart);
}

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view lower) {
  if (a.size() != lower.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != lower[i]) return false;
  }
  return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view lowerPrefix) {
  return text.size() >= lowerPrefix.size() &&
         EqualsNoCase(text.substr(0, lowerPrefix.size()), lowerPrefix);
}

bool IsUrlRun(std::string_view run) {
  for (std::string_view prefix : kUrlPrefixes) {
    if (StartsWithNoCase(run, prefix)) return true;
  }
  return false;
}

template <std::size_t N>
bool InList(std::string_view name, const std::array<std::string_view, N>& list) {
  for (std::string_view entry : list) {
    if (EqualsNoCase(name, entry)) return true;
  }
  return false;
}

// The keyword group of `word` (a name followed by all the colons after it), groups tried in
// the order A, B, C; Default when none holds it.
LdifStyle KeywordStyle(std::string_view word) {
  std::size_t name = word.size();
  while (name > 0 && word[name - 1] == ':') --name;
  const std::size_t colons = word.size() - name;
  if (colons == 0 || name == 0) return LdifStyle::Default;
  const std::string_view bare = word.substr(0, name);
  if (colons == 1 && InList(bare, kAttributeNames)) return LdifStyle::KeywordA;
  if (colons == 1 && InList(bare, kChangeWords)) return LdifStyle::KeywordB;
  if (colons == 2 && InList(bare, kAttributeNames)) return LdifStyle::KeywordC;
  return LdifStyle::Default;
}

void Add(std::vector<StyledPiece>& pieces, std::size_t length, LdifStyle style) {
  if (length == 0) return;
  if (!pieces.empty() && pieces.back().style == style) {
    pieces.back().length += length;
  } else {
    pieces.push_back({length, style});
  }
}

// Calls onRun(run, isUrl) for the runs of separators and of other characters, in order.
template <class OnRun>
void ForEachRun(std::string_view line, OnRun&& onRun) {
  std::size_t pos = 0;
  while (pos < line.size()) {
    const bool separators = IsRunSeparator(line[pos]);
    std::size_t end = pos + 1;
    while (end < line.size() && IsRunSeparator(line[end]) == separators) ++end;
    const std::string_view run = line.substr(pos, end - pos);
    onRun(run, !separators && IsUrlRun(run));
    pos = end;
  }
}

// The length of the number at the start of `rest`: number characters, ending just before a
// second ".".
std::size_t NumberLength(std::string_view rest) {
  std::size_t end = 0;
  bool dot = false;
  while (end < rest.size() && IsNumberChar(rest[end])) {
    if (rest[end] == '.') {
      if (dot) break;
      dot = true;
    }
    ++end;
  }
  return end;
}

// The length of the word at the start of `rest` with the colons that follow it: up to the next
// ":" or symbol, then every ":" after it.
std::size_t WordLength(std::string_view rest) {
  std::size_t end = 1;
  while (end < rest.size() && rest[end] != ':' && !IsSymbol(rest[end])) ++end;
  while (end < rest.size() && rest[end] == ':') ++end;
  return end;
}

// Styles the comment that starts or goes on at the start of `rest`, if any, and returns its
// length (0: no comment here). `inBlock` and `lineComment` carry on to the next run.
std::size_t StyleComment(std::string_view rest, bool& inBlock, bool& lineComment,
                         std::vector<StyledPiece>& pieces) {
  std::size_t length = 0;
  if (inBlock) {
    const std::size_t close = rest.find(kBlockClose);
    length = close == std::string_view::npos ? rest.size() : close + kBlockClose.size();
    inBlock = close == std::string_view::npos;
  } else if (rest.starts_with(kBlockOpen)) {
    length = kBlockOpen.size();
    inBlock = true;
  } else if (rest.starts_with(kLineComment)) {
    length = rest.size();
    lineComment = true;
  }
  Add(pieces, length, LdifStyle::Comment);
  return length;
}

// Styles one run that is not a URL; `inBlock` and `lineComment` carry on to the next run.
void StyleRun(std::string_view run, bool& inBlock, bool& lineComment,
              std::vector<StyledPiece>& pieces) {
  if (lineComment) {
    Add(pieces, run.size(), LdifStyle::Comment);
    return;
  }
  bool wordStart = true;
  std::size_t pos = 0;
  while (pos < run.size()) {
    const std::string_view rest = run.substr(pos);
    const bool wasInBlock = inBlock;
    if (const std::size_t comment = StyleComment(rest, inBlock, lineComment, pieces)) {
      pos += comment;
      // After a block's closing ">", a symbol, a new word starts.
      if (wasInBlock && !inBlock) wordStart = true;
      continue;
    }
    const char c = rest[0];
    std::size_t length = 1;
    LdifStyle style = LdifStyle::Default;
    if (IsSymbol(c)) {
      style = LdifStyle::Symbol;
    } else if (wordStart && StartsNumber(c)) {
      length = NumberLength(rest);
      style = LdifStyle::Number;
    } else if (wordStart) {
      const std::size_t word = WordLength(rest);
      style = KeywordStyle(rest.substr(0, word));
      if (style != LdifStyle::Default) length = word;
    }
    Add(pieces, length, style);
    pos += length;
    // A symbol or a keyword leaves the next character at a word start; anything else does not.
    wordStart = style == LdifStyle::Symbol || style == LdifStyle::KeywordA ||
                style == LdifStyle::KeywordB || style == LdifStyle::KeywordC;
  }
}

}  // namespace

bool StyleLdifLine(std::string_view line, bool inBlockComment, std::vector<StyledPiece>& pieces) {
  bool inBlock = inBlockComment;
  bool lineComment = false;
  ForEachRun(line, [&](std::string_view run, bool isUrl) {
    if (isUrl) {
      Add(pieces, run.size(), LdifStyle::Url);
    } else {
      StyleRun(run, inBlock, lineComment, pieces);
    }
  });
  return inBlock;
}

void StyleUrlRuns(std::string_view line, std::vector<StyledPiece>& pieces) {
  ForEachRun(line, [&](std::string_view run, bool isUrl) {
    Add(pieces, run.size(), isUrl ? LdifStyle::Url : LdifStyle::Default);
  });
}

std::string_view UrlRunAt(std::string_view line, std::size_t offset) {
  std::string_view found;
  std::size_t start = 0;
  ForEachRun(line, [&](std::string_view run, bool isUrl) {
    if (isUrl && offset >= start && offset < start + run.size()) found = run;
    start += run.size();
  });
  return found;
}

}  // namespace quorvane
