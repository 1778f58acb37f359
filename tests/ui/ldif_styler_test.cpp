// Tests for the LDIF line classifier behind the source pane's highlighting.
#include "ui/ldif_styler.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace quorvane {
namespace {

using S = LdifStyle;
using Pieces = std::vector<std::pair<std::string, LdifStyle>>;

// The pieces of `line` as (text, style), so that a failure shows which text got which style.
Pieces Classify(std::string_view line, bool inBlock = false, bool* blockAtEnd = nullptr) {
  std::vector<StyledPiece> pieces;
  const bool after = StyleLdifLine(line, inBlock, pieces);
  if (blockAtEnd != nullptr) *blockAtEnd = after;
  Pieces out;
  std::size_t pos = 0;
  for (const StyledPiece& piece : pieces) {
    out.emplace_back(std::string(line.substr(pos, piece.length)), piece.style);
    pos += piece.length;
  }
  EXPECT_EQ(pos, line.size()) << "pieces must cover the line: " << line;
  return out;
}

// The style of the first occurrence of `text` in the classified line (it must be one piece).
LdifStyle StyleOf(const Pieces& pieces, const std::string& text) {
  for (const auto& [piece, style] : pieces) {
    if (piece == text) return style;
  }
  ADD_FAILURE() << "no piece \"" << text << "\"";
  return S::Default;
}

TEST(LdifStyler, AttributeLinesAsDrawn) {
  EXPECT_EQ(Classify("dn: cn=a b,mail=c"), (Pieces{{"dn:", S::KeywordA},
                                                   {" ", S::Symbol},
                                                   {"cn", S::Default},
                                                   {"=", S::Symbol},
                                                   {"a", S::Default},
                                                   {" ", S::Symbol},
                                                   {"b", S::Default},
                                                   {",", S::Symbol},
                                                   {"mail", S::Default},
                                                   {"=", S::Symbol},
                                                   {"c", S::Default}}));
  EXPECT_EQ(
      Classify("dn:: eA=="),
      (Pieces{{"dn::", S::KeywordC}, {" ", S::Symbol}, {"eA", S::Default}, {"==", S::Symbol}}));
  EXPECT_EQ(Classify("xcn: y"),
            (Pieces{{"xcn", S::Default}, {": ", S::Symbol}, {"y", S::Default}}));
  EXPECT_EQ(Classify("changetype: delete"),
            (Pieces{{"changetype:", S::KeywordB}, {" ", S::Symbol}, {"delete", S::Default}}));
}

TEST(LdifStyler, KeywordGroupsIgnoreLetterCase) {
  struct Case {
    const char* line;
    const char* word;
    LdifStyle style;
  };
  const Case cases[] = {
      {"cn: x", "cn:", S::KeywordA},
      {"CN:: eA==", "CN::", S::KeywordC},
      {"CHANGETYPE: modify", "CHANGETYPE:", S::KeywordB},
      {"Replace: mail", "Replace:", S::KeywordB},
      {"delete: mail", "delete:", S::KeywordB},
      {"mozillaWorkStreet2: x", "mozillaWorkStreet2:", S::KeywordA},
      {"telephoneNumber:: KzM5", "telephoneNumber::", S::KeywordC},
      {"title: x", "title:", S::KeywordA},
      {"changetype:: x", "changetype", S::Default},  // group B has no "::" form
      {"cn::: x", "cn", S::Default},                 // three colons match no group
      {"mailer: x", "mailer", S::Default},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StyleOf(Classify(c.line), c.word), c.style) << c.line;
  }
}

TEST(LdifStyler, NumbersStartAtWordStartsOnly) {
  EXPECT_EQ(Classify("telephonenumber: +39 02-1234"), (Pieces{{"telephonenumber:", S::KeywordA},
                                                              {" ", S::Symbol},
                                                              {"+39", S::Number},
                                                              {" ", S::Symbol},
                                                              {"02-1234", S::Number}}));
  EXPECT_EQ(Classify("ab-cd"), (Pieces{{"ab", S::Default}, {"-", S::Symbol}, {"cd", S::Default}}));
  // A second "." ends a number; the "." is a symbol and starts a new word.
  EXPECT_EQ(Classify("1.2.3"), (Pieces{{"1.2", S::Number}, {".", S::Symbol}, {"3", S::Number}}));
  EXPECT_EQ(Classify("a1 1e5x"),
            (Pieces{{"a1", S::Default}, {" ", S::Symbol}, {"1e5", S::Number}, {"x", S::Default}}));
  // A symbol wins over the number characters it shares.
  EXPECT_EQ(Classify("-5"), (Pieces{{"-", S::Symbol}, {"5", S::Number}}));
}

TEST(LdifStyler, LineCommentRunsToTheEndExceptUrls) {
  EXPECT_EQ(Classify("description: a // b"), (Pieces{{"description:", S::KeywordA},
                                                     {" ", S::Symbol},
                                                     {"a", S::Default},
                                                     {" ", S::Symbol},
                                                     {"// b", S::Comment}}));
  EXPECT_EQ(Classify("x// see http://h.example/p <!-- y"), (Pieces{{"x", S::Default},
                                                                   {"// see ", S::Comment},
                                                                   {"http://h.example/p", S::Url},
                                                                   {" <!-- y", S::Comment}}));
  bool open = true;
  Classify("// <!-- not an opening", false, &open);
  EXPECT_FALSE(open);
}

TEST(LdifStyler, BlockCommentStateCarriesAcrossLines) {
  // Each line is classified with the state the line above left.
  const std::vector<std::string> text = {"cn: a <!-- x", "cn: inside", "end --> cn: b", "cn: c"};
  std::vector<Pieces> styled;
  bool open = false;
  for (const std::string& line : text) styled.push_back(Classify(line, open, &open));
  EXPECT_FALSE(open);

  EXPECT_EQ(styled[0], (Pieces{{"cn:", S::KeywordA},
                               {" ", S::Symbol},
                               {"a", S::Default},
                               {" ", S::Symbol},
                               {"<!-- x", S::Comment}}));
  EXPECT_EQ(styled[1], (Pieces{{"cn: inside", S::Comment}}));
  EXPECT_EQ(styled[2], (Pieces{{"end -->", S::Comment},
                               {" ", S::Symbol},
                               {"cn:", S::KeywordA},
                               {" ", S::Symbol},
                               {"b", S::Default}}));
  EXPECT_EQ(styled[3], (Pieces{{"cn:", S::KeywordA}, {" ", S::Symbol}, {"c", S::Default}}));

  // "<!-->" does not close itself; a "-->" inside a URL run does not close the comment.
  Classify("<!-->", false, &open);
  EXPECT_TRUE(open);
  EXPECT_EQ(Classify("see http://x/--> still", true, &open),
            (Pieces{{"see ", S::Comment}, {"http://x/-->", S::Url}, {" still", S::Comment}}));
  EXPECT_TRUE(open);
  // Closing in mid-run: what follows the "-->" is styled normally.
  EXPECT_EQ(
      Classify("a-->cn: x", true, &open),
      (Pieces{{"a-->", S::Comment}, {"cn:", S::KeywordA}, {" ", S::Symbol}, {"x", S::Default}}));
  EXPECT_FALSE(open);
}

TEST(LdifStyler, UrlRunsAndTheirSeparators) {
  struct Case {
    const char* line;
    std::size_t offset;
    const char* url;  // the run covering `offset`, "" when it is not a URL
  };
  const Case cases[] = {
      {"mozillaworkurl: http://example.org/a", 20, "http://example.org/a"},
      {"x HTTPS://A.B,y", 4, "HTTPS://A.B"},
      {"'www.example.org'", 5, "www.example.org"},
      {"\"mailto:a@b\"", 1, "mailto:a@b"},
      {"ftp://f nntp://n", 9, "nntp://n"},
      {"ftp://f nntp://n", 7, ""},  // the space between them
      {"xhttp://no", 3, ""},        // a URL run must start with the prefix
      {"http:/no", 0, ""},
      {"www", 0, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UrlRunAt(c.line, c.offset), c.url) << c.line;
  }
  EXPECT_EQ(Classify("mail: mailto:a@b"),
            (Pieces{{"mail:", S::KeywordA}, {" ", S::Symbol}, {"mailto:a@b", S::Url}}));

  std::vector<StyledPiece> pieces;
  StyleUrlRuns("cn: www.x.org, 12", pieces);
  EXPECT_EQ(pieces, (std::vector<StyledPiece>{{4, S::Default}, {9, S::Url}, {4, S::Default}}));
}

TEST(LdifStyler, QuotesAndOtherBytesAreDrawnInTheFontColour) {
  EXPECT_EQ(Classify("cn: \"x\" \xC3\xA9\xFF"), (Pieces{{"cn:", S::KeywordA},
                                                        {" ", S::Symbol},
                                                        {"\"x\"", S::Default},
                                                        {" ", S::Symbol},
                                                        {"\xC3\xA9\xFF", S::Default}}));
  EXPECT_TRUE(Classify("").empty());
}

}  // namespace
}  // namespace quorvane
