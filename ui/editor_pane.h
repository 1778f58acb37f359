// The editor pane behind `source` and `dest`: QScintilla holding 8-bit lines byte for byte.
#pragma once

#include <Qsci/qsciscintilla.h>

#include <QFont>
#include <QStringList>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QMimeData;

namespace quorvane {

class LdifLexer;

// Text enters and leaves the editor as bytes, never through QString, so every byte except NUL
// survives; valid UTF-8 shows as characters, other bytes as the editor's byte markers. Lines
// are kept with LF between them inside the editor.
class EditorPane : public QsciScintilla {
  Q_OBJECT

 public:
  // Source: highlighting, smart tabs, accepts dropped files and text dragged within it.
  // Dest: no highlighting, plain four-space Tab, refuses every drop.
  enum class Kind { Source, Dest };

  static constexpr int kTabSize = 4;
  static constexpr int kUndoLimit = 100;
  // The source pane's tooltip: what its highlighting marks.
  static inline const QString kSourceHighlightingTip = QStringLiteral(
      "Highlighting: attribute names of the address-book schema with one colon (\"cn:\", blue "
      "on yellow) or two, a Base64 value (\"dn::\", green on yellow); \"changetype:\", "
      "\"delete:\" and \"replace:\" (white on red); numbers; symbols (teal); comments, "
      "\"//\" and \"<!-- -->\" (grey); links (underlined; a click opens them).");

  explicit EditorPane(Kind kind, QWidget* parent = nullptr);
  ~EditorPane() override;

  Kind kind() const { return kind_; }

  // Lines, as stored (after the TAB rule for text that was loaded, typed or pasted).
  // A new pane holds one empty line; a pane loaded from an empty file holds none.
  int LineCount() const;
  std::string Line(int index) const;
  std::vector<std::string> Lines() const;

  // The whole text without copying: the lines separated by LF, no LF after the last one.
  // Both a pane without lines and a pane with one empty line give an empty view; LineCount()
  // tells them apart. Valid until the text next changes.
  std::string_view TextView() const;

  // Replaces the whole text with the lines of the file; throws quorvane::Error
  // (`Cannot open file "%s". %s`) and then leaves text, undo history and modified state as
  // they were. Empties the undo history and puts the caret at the start.
  void LoadFile(const std::string& fileName);
  // After a LoadFile: the line on which a NUL byte ended the text (what follows it was not
  // loaded), or 0 when the whole file was loaded.
  std::size_t LoadStopLine() const { return loadStopLine_; }
  // Writes every line followed by CR LF, safely (see platform/file_io.h): a failure leaves an
  // existing file as it was; devices and pipes are written in place. Throws quorvane::Error.
  void SaveFile(const std::string& fileName) const;
  // Stores `lines` unchanged (no TAB rule), records no undo step, caret to the start. Undo steps
  // recorded before cannot apply to the new text and are dropped; IsModified stays as it was.
  // A line holding CR or LF is shown, and then read back and saved, as several lines.
  void ReplaceLines(const std::vector<std::string>& lines);
  // ReplaceLines for a text already assembled: every line followed by LF (a last line without
  // one is taken too), so "" gives no lines and "\n" one empty line. The bytes go into the
  // editor as they are, in large appends, without a vector of lines.
  void ReplaceText(std::string_view linesEachEndedByLF);

  // True exactly while the undo history holds at least one step, undone or not; only LoadFile
  // empties it.
  bool IsModified() const;
  // Steps that undo() and redo() can still take (at most kUndoLimit undo steps).
  int UndoSteps() const { return undoSteps_; }
  int RedoSteps() const { return redoSteps_; }

  void undo() override;
  void redo() override;

  // Raised once per dropped file, in the order the desktop lists them, while the drop is
  // handled; the pane loads the file itself when no handler is set or the handler leaves
  // `defaultHandler` true.
  std::function<void(EditorPane* sender, const std::string& fileName, bool& defaultHandler)>
      OnFileDrop;
  // Raised once per drop of files, before the first one, with every path of the drop; false
  // leaves the whole drop unhandled.
  std::function<bool(const QStringList& fileNames)> OnFilesDropping;
  // Handles `fileNames` as a drop of those files from the desktop: OnFilesDropping, then each
  // file in turn as described at OnFileDrop. Empty names are skipped.
  void DropFiles(const QStringList& fileNames);
  // Raised while something is dragged over the pane; `accept` starts false.
  // Only the source pane raises it, for text dragged from an editor pane; only a drag that
  // started in this same pane can end in it (a drag from the result pane does nothing).
  std::function<void(EditorPane* sender, QObject* source, int x, int y, bool& accept)> OnDragOver;
  // Opens a URL the user clicked; by default QDesktopServices::openUrl. Tests replace it.
  std::function<void(const QString& url)> OpenUrl;
  // Receives a failure inside an event of the pane (loading a dropped file, or an exception
  // thrown by OnFileDrop), which must not escape into Qt's event loop. The failure ends the
  // handling of that drop. Without a handler the pane shows the message in a message box.
  std::function<void(const std::exception& error)> OnError;

  // The lexer styling the pane (full highlighting in source, URL runs only in dest).
  LdifLexer* lexer() const { return lexer_; }

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;
  bool canInsertFromMimeData(const QMimeData* source) const override;
  QByteArray fromMimeData(const QMimeData* source, bool& rectangular) const override;
  QMimeData* toMimeData(const QByteArray& text, bool rectangular) const override;

 private:
  void createLook();
  void createBehaviour();
  void fitLineNumbers();
  // A new text is built in a document of the editor's own, away from the view, and shown only
  // once it is complete: a text given up on while it is built leaves the pane as it was.
  class NewText;
  void showText(NewText& text);
  void textReplaced(bool noLines);
  void handleModified(int position, int type, const char* text, int length, int linesAdded,
                      int line, int foldNow, int foldPrev, int token, int annotationLines);
  void handleHotspotClick(int position, int modifiers);
  // Text entering by typing, pasting or dropping: the TAB rule, line ends as the editor keeps
  // them (LF), and no NUL bytes, which a saved file could not carry back in.
  static QByteArray normaliseEnteredText(const QByteArray& in);
  void insertTyped(const std::string& bytes);
  // The caret in the leading blanks of its line, with nothing selected: the line, where it
  // starts and the caret's column.
  struct CaretInBlanks {
    long line;
    long start;
    long column;
  };
  std::optional<CaretInBlanks> caretInLeadingBlanks();
  bool smartTab();
  bool smartBackspace();
  void newLineWithIndent();
  std::string_view lineView(long line) const;
  bool acceptsDrag(const QDropEvent* e);
  // Ignores or accepts a drag the pane decides itself; false when the editor should handle it.
  bool answeredDrag(QDragMoveEvent* e);

  Kind kind_;
  LdifLexer* lexer_ = nullptr;
  bool modified_ = false;
  bool noLines_ = false;       // the editor shows one empty line for a pane without lines
  std::size_t loadStopLine_ = 0;
  bool programmatic_ = false;  // a new text is being shown: no undo step
  QFont marginsFont_;
  int gutterDigits_ = 0;
  int undoSteps_ = 0;
  int redoSteps_ = 0;
};

}  // namespace quorvane
