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

int StyleNumber(LdifStyle style) { return static_cast<int>(style); }

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

const char* LdifLexer::language() const { return "LDIF"; }

QString LdifLexer::description(int style) const {
  switch (static_cast<LdifStyle>(style)) {
    case LdifStyle::Default: return QStringLiteral("Default");
    case LdifStyle::Symbol: return QStringLiteral("Symbol");
    case LdifStyle::KeywordA: return QStringLiteral("Attribute name");
    case LdifStyle::KeywordB: return QStringLiteral("Change keyword");
    case LdifStyle::KeywordC: return QStringLiteral("Base64 attribute name");
    case LdifStyle::Comment: return QStringLiteral("Comment");
    case LdifStyle::Number: return QStringLiteral("Number");
    case LdifStyle::Url: return QStringLiteral("URL");
  }
  return QString();
}

void LdifLexer::styleText(int start, int end) {
  QsciScintilla* ed = editor();
  if (ed == nullptr || end <= start) return;
  const long firstLine = ed->SendScintilla(Sci::SCI_LINEFROMPOSITION, start);
  const long lastLine = ed->SendScintilla(Sci::SCI_LINEFROMPOSITION, end - 1);
  bool inBlock = firstLine > 0 &&
                 (ed->SendScintilla(Sci::SCI_GETLINESTATE, firstLine - 1) & kBlockCommentOpen) != 0;
  const long documentEnd = ed->SendScintilla(Sci::SCI_GETLENGTH);
  const LdifStyle lineEndStyle = mode_ == Mode::Full ? LdifStyle::Symbol : LdifStyle::Default;

  startStyling(ed->SendScintilla(Sci::SCI_POSITIONFROMLINE, firstLine));
  for (long line = firstLine; line <= lastLine; ++line) {
    const long lineStart = ed->SendScintilla(Sci::SCI_POSITIONFROMLINE, line);
    const long textEnd = ed->SendScintilla(Sci::SCI_GETLINEENDPOSITION, line);
    const long next = line + 1 < ed->SendScintilla(Sci::SCI_GETLINECOUNT)
                          ? ed->SendScintilla(Sci::SCI_POSITIONFROMLINE, line + 1)
                          : documentEnd;
    const auto* bytes = reinterpret_cast<const char*>(
        ed->SendScintilla(Sci::SCI_GETRANGEPOINTER, lineStart, textEnd - lineStart));
    const std::string_view text(bytes, static_cast<std::size_t>(textEnd - lineStart));

    pieces_.clear();
    if (mode_ == Mode::Full) {
      inBlock = StyleLdifLine(text, inBlock, pieces_);
      ed->SendScintilla(Sci::SCI_SETLINESTATE, line, inBlock ? kBlockCommentOpen : 0L);
    } else {
      StyleUrlRuns(text, pieces_);
    }
    for (const StyledPiece& piece : pieces_) {
      setStyling(static_cast<int>(piece.length), StyleNumber(piece.style));
    }
    if (next > textEnd) setStyling(static_cast<int>(next - textEnd), StyleNumber(lineEndStyle));
    styledBytes_ += next - lineStart;
  }
}

}  // namespace quorvane
