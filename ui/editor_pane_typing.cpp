// The typing rules of the editor pane: smart Tab and Backspace, Enter keeping the indent, and
// the undo keys going through the pane's limited history.
#include <QKeyEvent>
#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text_lines.h"
#include "ui/editor_pane.h"

namespace quorvane {
namespace {

// How far up smart Tab and Backspace look for word columns.
constexpr long kSmartTabSearchLines = 200;

// The columns where a word starts in `line` (a non-blank at the start or after a blank), up
// to and including the first one beyond `limit`.
std::vector<long> WordColumns(std::string_view line, long limit) {
  std::vector<long> columns;
  long column = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if ((c & 0xC0) == 0x80) continue;  // UTF-8 continuation bytes take no column
    if (c != ' ' && (i == 0 || line[i - 1] == ' ')) {
      columns.push_back(column);
      if (column > limit) break;
    }
    ++column;
  }
  return columns;
}

bool AllBlanks(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
}

}  // namespace

void EditorPane::keyPressEvent(QKeyEvent* e) {
  const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
  const int key = e->key();
  if ((key == Qt::Key_Z && mods == Qt::ControlModifier) ||
      (key == Qt::Key_Backspace && mods == Qt::AltModifier)) {
    undo();
    return;
  }
  if ((key == Qt::Key_Y && mods == Qt::ControlModifier) ||
      (key == Qt::Key_Z && mods == (Qt::ControlModifier | Qt::ShiftModifier))) {
    redo();
    return;
  }
  if (!isReadOnly()) {
    if (key == Qt::Key_Tab && mods == Qt::NoModifier) {
      if (kind_ != Kind::Source || !smartTab()) insertTyped(std::string(kTabSpaces));
      return;
    }
    if (key == Qt::Key_Backspace && mods == Qt::NoModifier && kind_ == Kind::Source &&
        smartBackspace()) {
      return;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
        (mods == Qt::NoModifier || mods == Qt::ShiftModifier)) {
      newLineWithIndent();
      return;
    }
    if (e->text().contains(QLatin1Char('\t'))) {
      insertTyped(normaliseEnteredText(e->text().toUtf8()).toStdString());
      return;
    }
  }
  QsciScintilla::keyPressEvent(e);
}

// Replaces the selection with `bytes` as one undo step, as typing over it would.
void EditorPane::insertTyped(const std::string& bytes) {
  SendScintilla(SCI_REPLACESEL, 0UL, bytes.c_str());
}

// Tab in the leading blanks of a line moves to the next word column of the nearest line above
// that has one to the right of the caret. False when there is none (the caller inserts the
// plain four spaces).
std::optional<EditorPane::CaretInBlanks> EditorPane::caretInLeadingBlanks() {
  if (hasSelectedText()) return std::nullopt;
  const long pos = SendScintilla(SCI_GETCURRENTPOS);
  const long line = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(pos));
  const long start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
  const std::size_t offset = static_cast<std::size_t>(pos - start);
  if (!AllBlanks(lineView(line).substr(0, offset))) return std::nullopt;
  return CaretInBlanks{line, start, static_cast<long>(offset)};
}

bool EditorPane::smartTab() {
  const std::optional<CaretInBlanks> caret = caretInLeadingBlanks();
  if (!caret) return false;
  const long line = caret->line;
  const long column = caret->column;
  for (long above = line - 1; above >= 0 && above >= line - kSmartTabSearchLines; --above) {
    for (long word : WordColumns(lineView(above), column)) {
      if (word > column) {
        insertTyped(std::string(static_cast<std::size_t>(word - column), ' '));
        return true;
      }
    }
  }
  return false;
}

// Backspace in the leading blanks of a line goes back to the nearest word column left of the
// caret on the lines above, removing blanks only. False when there is none (the caller does a
// plain Backspace).
bool EditorPane::smartBackspace() {
  const std::optional<CaretInBlanks> caret = caretInLeadingBlanks();
  if (!caret || caret->column == 0) return false;
  const auto [line, start, column] = *caret;
  for (long above = line - 1; above >= 0 && above >= line - kSmartTabSearchLines; --above) {
    long target = -1;
    for (long word : WordColumns(lineView(above), column)) {
      if (word < column) target = word;
    }
    if (target >= 0) {
      SendScintilla(SCI_DELETERANGE, static_cast<unsigned long>(start + target), column - target);
      return true;
    }
  }
  return false;
}

// Enter gives the new line the leading spaces of the line it breaks.
void EditorPane::newLineWithIndent() {
  const long pos = SendScintilla(SCI_GETSELECTIONSTART);
  const long line = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(pos));
  const long start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
  const std::string_view current = lineView(line);
  const std::size_t before = static_cast<std::size_t>(pos - start);
  std::size_t indent = 0;
  while (indent < current.size() && indent < before && current[indent] == ' ') ++indent;
  std::string lineBreak(indent + 1, ' ');
  lineBreak[0] = '\n';
  insertTyped(lineBreak);
}

}  // namespace quorvane
