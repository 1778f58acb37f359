// The editor pane behind `source` and `dest`: QScintilla holding 8-bit lines byte for byte.
#pragma once

#include <Qsci/qsciscintilla.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

class EditorPane : public QsciScintilla {
  Q_OBJECT

 public:
  // Source: highlighting, smart tabs, accepts dropped files and text dragged within it.
  // Dest: no highlighting, plain four-space Tab, refuses every drop.
  enum class Kind { Source, Dest };

  explicit EditorPane(Kind kind, QWidget* parent = nullptr);
  ~EditorPane() override;

  Kind kind() const { return kind_; }

  // Lines, as stored (after the TAB rule for text that was loaded, typed or pasted).
  int LineCount() const;
  std::string Line(int index) const;
  std::vector<std::string> Lines() const;

  // Replaces the whole text with the lines of the file; throws quorvane::Error
  // (`Cannot open file "%s". %s`) and then leaves text, undo history and modified state as
  // they were. Empties the undo history and puts the caret at the start.
  void LoadFile(const std::string& fileName);
  // Writes every line followed by CR LF, safely (see platform/file_io.h).
  void SaveFile(const std::string& fileName) const;
  // Stores `lines` unchanged (no TAB rule), records no undo step, caret to the start.
  void ReplaceLines(const std::vector<std::string>& lines);

  // True exactly while the undo history holds at least one step, undone or not.
  bool IsModified() const;

  // Raised once per dropped file; the pane loads the file itself when no handler is set or
  // the handler leaves `defaultHandler` true.
  std::function<void(EditorPane* sender, const std::string& fileName, bool& defaultHandler)>
      OnFileDrop;
  // Raised while something is dragged over the pane; `accept` starts false.
  std::function<void(EditorPane* sender, QObject* source, int x, int y, bool& accept)> OnDragOver;
  // Opens a URL the user clicked; by default QDesktopServices::openUrl. Tests replace it.
  std::function<void(const QString& url)> OpenUrl;

 private:
  Kind kind_;
};

}  // namespace quorvane
