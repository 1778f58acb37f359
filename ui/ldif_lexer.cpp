// Applies the LDIF classifier to the text an editor pane shows, line by line, on demand.
#include "ui/ldif_lexer.h"

#include <Qsci/qsciscintilla.h>

#include <string_view>

namespace quorvane {
namespace {

using Sci = QsciScintillaBase;

const QColor kBlack(0, 0, 0);
const QColor kWhite(255, 255, 255);
const QColor kTeal(0, 128, 128);
const QColor kBlue(0, 0, 255);
const QColor kYellow(255, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 128, 0);
const QColor kSilver(192, 192, 192);

constexpr long kBlockCommentOpen = 1;  // line state bit: a "<!--" is open at the line's end
constexpr std::size_t kStyleBlock = std::size_t{1} << 18;

int StyleNumber(LdifStyle style) {
  return static_cast<int>(style);
}

}  // namespace

LdifLexer::LdifLexer(Mode mode, const QFont& font, QObject* parent)
    : QsciLexerCustom(parent), mode_(mode) {
  setDefaultFont(font);
  setDefaultColor(kBlack);
  setDefaultPaper(kWhite);
  // A style changes colours and font style only, never the face or the size.
  setStyle(LdifStyle::Default, kBlack, kWhite, false, false, false, font);
  setStyle(LdifStyle::Symbol, kTeal, kWhite, false, false, false, font);
  setStyle(LdifStyle::KeywordA, kBlue, kYellow, true, false, false, font);
  setStyle(LdifStyle::KeywordB, kWhite, kRed, false, false, false, font);
  setStyle(LdifStyle::KeywordC, kGreen, kYellow, true, true, false, font);
  setStyle(LdifStyle::Comment, kSilver, kWhite, false, true, false, font);
  setStyle(LdifStyle::Number, kBlack, kWhite, false, false, false, font);
  setStyle(LdifStyle::Url, kBlue, kWhite, false, false, true, font);
}

void LdifLexer::setStyle(LdifStyle style, const QColor& text, const QColor& paper, bool bold,
                         bool italic, bool underline, const QFont& font) {
  QFont styled(font);
  styled.setBold(bold);
  styled.setItalic(italic);
  styled.setUnderline(underline);
  const int number = StyleNumber(style);
  setColor(text, number);
  setPaper(paper, number);
  setFont(styled, number);
}

const char* LdifLexer::language() const {
  return "LDIF";
}

QString LdifLexer::description(int style) const {
  switch (static_cast<LdifStyle>(style)) {
    case LdifStyle::Default:
      return QStringLiteral("Default");
    case LdifStyle::Symbol:
      return QStringLiteral("Symbol");
    case LdifStyle::KeywordA:
      return QStringLiteral("Attribute name");
    case LdifStyle::KeywordB:
      return QStringLiteral("Change keyword");
    case LdifStyle::KeywordC:
      return QStringLiteral("Base64 attribute name");
    case LdifStyle::Comment:
      return QStringLiteral("Comment");
    case LdifStyle::Number:
      return QStringLiteral("Number");
    case LdifStyle::Url:
      return QStringLiteral("URL");
  }
  return QString();
}

void LdifLexer::styleText(int start, int end) {
  QsciScintilla* ed = editor();
  if (ed == nullptr || end <= start) return;
  // Whole lines: from the start of the first line asked for to the end of the last one.
  const long firstLine = ed->SendScintilla(Sci::SCI_LINEFROMPOSITION, start);
  const long lastLine = ed->SendScintilla(Sci::SCI_LINEFROMPOSITION, end - 1);
  const long rangeStart = ed->SendScintilla(Sci::SCI_POSITIONFROMLINE, firstLine);
  const long rangeEnd = lastLine + 1 < ed->SendScintilla(Sci::SCI_GETLINECOUNT)
                            ? ed->SendScintilla(Sci::SCI_POSITIONFROMLINE, lastLine + 1)
                            : ed->SendScintilla(Sci::SCI_GETLENGTH);
  if (rangeEnd <= rangeStart) return;
  bool inBlock = firstLine > 0 &&
                 (ed->SendScintilla(Sci::SCI_GETLINESTATE, firstLine - 1) & kBlockCommentOpen) != 0;
  // Styling changes neither the text nor where it is kept, so the pointer stays valid.
  const auto* text = reinterpret_cast<const char*>(
      ed->SendScintilla(Sci::SCI_GETRANGEPOINTER, rangeStart, rangeEnd - rangeStart));
  const std::size_t size = static_cast<std::size_t>(rangeEnd - rangeStart);
  const char lineEndStyle =
      static_cast<char>(mode_ == Mode::Full ? LdifStyle::Symbol : LdifStyle::Default);

  // Styles go to the editor in large blocks: one call per piece would cost a change
  // notification each and make styling a whole large file take seconds.
  ed->SendScintilla(Sci::SCI_STARTSTYLING, rangeStart);
  auto flush = [&] {
    if (styles_.empty()) return;
    ed->SendScintilla(Sci::SCI_SETSTYLINGEX, styles_.size(), styles_.data());
    styles_.clear();
  };
  long line = firstLine;
  std::size_t pos = 0;
  while (pos < size) {
    std::size_t stop = pos;
    while (stop < size && text[stop] != '\n' && text[stop] != '\r') ++stop;
    std::size_t lineEnd = stop;
    if (lineEnd < size)
      lineEnd += (text[lineEnd] == '\r' && lineEnd + 1 < size && text[lineEnd + 1] == '\n') ? 2 : 1;

    pieces_.clear();
    const std::string_view lineText(text + pos, stop - pos);
    if (mode_ == Mode::Full) {
      inBlock = StyleLdifLine(lineText, inBlock, pieces_);
      ed->SendScintilla(Sci::SCI_SETLINESTATE, line, inBlock ? kBlockCommentOpen : 0L);
    } else {
      StyleUrlRuns(lineText, pieces_);
    }
    for (const StyledPiece& piece : pieces_)
      styles_.append(piece.length, static_cast<char>(piece.style));
    styles_.append(lineEnd - stop, lineEndStyle);
    if (styles_.size() >= kStyleBlock) flush();
    pos = lineEnd;
    ++line;
  }
  flush();
  styledBytes_ += static_cast<long long>(size);
}

}  // namespace quorvane
