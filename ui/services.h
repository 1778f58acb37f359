// The desktop services the window asks for: file dialogs, message boxes, the clock, URL opening.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>
#include <string_view>

class QWidget;

namespace quorvane {

// Each interface is small so that a test can replace it with a double that never blocks.

class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  // The chosen file, or an empty string when the user cancelled. `preset` is the file name
  // the dialog opens on.
  virtual QString OpenFileName(QWidget* parent, const QString& preset) = 0;
  // As above; a name typed without extension gets `defaultSuffix`. Replacing an existing file
  // is confirmed by the window afterwards, not here, so the user is asked exactly once.
  virtual QString SaveFileName(QWidget* parent, const QString& preset,
                               const QString& defaultSuffix) = 0;
};

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // An error icon and one OK button.
  virtual void Error(QWidget* parent, const QString& caption, const QString& text) = 0;
  // No icon and one OK button.
  virtual void Plain(QWidget* parent, const QString& caption, const QString& text) = 0;
  // An information icon with OK (the default) and Cancel (also Esc); true for OK.
  virtual bool AskOkCancel(QWidget* parent, const QString& caption, const QString& text) = 0;
  // A question icon with Yes and No (the default, also Esc); true for Yes.
  virtual bool AskYesNo(QWidget* parent, const QString& caption, const QString& text) = 0;
};

class PasswordPrompt {
 public:
  virtual ~PasswordPrompt() = default;
  // Asks for a password, shown as dots; nothing when the user cancelled.
  virtual std::optional<QString> AskPassword(QWidget* parent, const QString& caption,
                                             const QString& text) = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual QDateTime Now() = 0;
};

class UrlOpener {
 public:
  virtual ~UrlOpener() = default;
  virtual void Open(const QUrl& url) = 0;
};

// The set the window is built with.
struct Services {
  std::shared_ptr<FileDialogs> dialogs;
  std::shared_ptr<MessageBoxes> messages;
  std::shared_ptr<Clock> clock;
  std::shared_ptr<UrlOpener> urls;
  // Null: every question for a password counts as cancelled.
  std::shared_ptr<PasswordPrompt> passwords;

  // The real ones: QFileDialog, QMessageBox, the system clock, QDesktopServices, QInputDialog.
  static Services Desktop();
};

// The text the default error handler shows for an exception's message: a "." is appended
// when the last character sorts after ".", so "Disk full" gets one and "Done." or "(x)" do not.
QString ErrorMessageText(std::string_view message);

// An open or save dialog as the window keeps it: it remembers the file name it last showed
// or returned, and asks the FileDialogs service to show it.
class FileDialogControl : public QObject {
  Q_OBJECT

 public:
  enum class Mode { Open, Save };
  FileDialogControl(Mode mode, QObject* parent);

  QString fileName() const { return fileName_; }
  void setFileName(const QString& fileName) { fileName_ = fileName; }
  QString defaultSuffix() const { return defaultSuffix_; }
  void setDefaultSuffix(const QString& suffix) { defaultSuffix_ = suffix; }

  // Shows the dialog on fileName(); true with fileName() set to the choice, false on cancel.
  bool Execute(FileDialogs& dialogs, QWidget* parent);

 private:
  Mode mode_;
  QString fileName_;
  QString defaultSuffix_;
};

}  // namespace quorvane
