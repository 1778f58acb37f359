// The main window: source and result panes, the log, the settings fields and the commands.
#pragma once

#include <QMainWindow>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/random_source.h"
#include "engine/repair_counts.h"
#include "engine/transform_map.h"
#include "engine/used_dns.h"
#include "ui/directory_choice.h"
#include "ui/services.h"
#include "ui/window_log.h"

class QCloseEvent;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;

namespace quorvane {

class EditorPane;
class TFormStorage;

// What the window is built with; tests replace the services and the random numbers.
struct WindowOptions {
  Services services = Services::Desktop();
  // Where the transform profiles are listed; empty for the executable's directory.
  std::string appDir;
  // The random numbers of one repair run; by default a generator started from the clock.
  std::function<std::unique_ptr<RandomSource>()> makeRandom;
  // Reads the Directory choice's schema; by default LoadSchema (schema/schema_sources.h).
  SchemaLoader loadSchema;
};

// Handlers keep the names of the window layout, so that a command can be found from the
// button it hangs on (the Fix button `suiButton1` runs `suitempsuiButton1Click`). Every handler
// runs behind the default error handler: an exception that escapes it is shown in a message
// box and the window goes on with its panes as they were.
class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  using Options = WindowOptions;

  explicit TForm1(WindowOptions options = WindowOptions(), QWidget* parent = nullptr);
  ~TForm1() override;

  // Controls, by their layout names.
  EditorPane* source = nullptr;
  EditorPane* dest = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QStatusBar* statusbar = nullptr;
  QLineEdit* eFilename = nullptr;
  QLineEdit* eBaseDN = nullptr;
  QComboBox* cbIni = nullptr;
  QLabel* ldesc = nullptr;
  QPushButton* bLoad = nullptr;
  QPushButton* suiButton1 = nullptr;
  QPushButton* suiButton2 = nullptr;
  QPushButton* bAbout = nullptr;
  QPushButton* suiButton5 = nullptr;
  DirectoryChoice* directory = nullptr;
  FileDialogControl* od = nullptr;
  FileDialogControl* SaveDialog1 = nullptr;
  TFormStorage* FormStorage1 = nullptr;

  // The directory the profiles are listed from, with a trailing "/".
  std::string AppDir;

  // The profile loaded last, and the DN keys of the last repair run.
  const TransformMap& transformMap() const { return *transformMap_; }
  const UsedDNs& usedDNs() const { return *usedDNs_; }

  void FormCreate();
  void FormDestroy();
  void cbIniChange();
  void bLoadClick();
  void suitempsuiButton1Click();
  void suiButton2Click();
  void suiButton3Click();
  void bAboutClick();
  void sourceFileDrop(EditorPane* sender, const std::string& fileName, bool& defaultHandler);
  // Enter in the file name field: loads the file it names, as Load would load it.
  void eFilenameReturnPressed();
  // The files given on the command line, taken as a drop of those files on the source pane.
  void OpenFiles(const QStringList& fileNames);
  void sourceDragOver(EditorPane* sender, QObject* dragSource, int x, int y, bool& accept);
  void FormStorage1RestorePlacement(TFormStorage* sender);

  // The end of a repair run: the summary line of `counts` (engine/repair_counts.h) in the status
  // bar and as the last line of the log pane, after the run's own messages.
  void ShowRunSummary(const RepairCounts& counts);

  // True while the result pane holds text that was made by Fix or edited since the last
  // successful Save: closing the window, or loading another file, then asks first.
  bool ResultUnsaved() const;

  // What the source pane holds: the path of the file loaded last (Load, Enter in the file
  // name, a drop), or an empty string for text pasted or typed before any file was loaded.
  const QString& SourceFile() const { return sourceFile_; }
  // The source the result pane's text was made from, once Fix has filled it.
  const std::optional<QString>& ResultSource() const { return resultSource_; }
  // How the log and the questions name a source: its path, or "pasted text".
  static QString SourceName(const QString& sourceFile);

  // Shows line `line` (1-based) of the source pane, selected, with the caret on it.
  void ShowSourceLine(int line);

  // The profile chosen at a first start (no settings file yet), when it is listed.
  static constexpr const char* kFirstStartProfile = "openldap-stock";

  // The default error handler: the message in a box captioned "Quorvane" with an error icon.
  void ShowException(std::exception_ptr error);

  // The name Save offers: `fileName` with its extension replaced by a space and the time
  // stamp yyyy-mm-dd_hh-nn-ss, then ".ldif" ("book.ldif" -> "book 2025-03-06_14-05-09.ldif").
  static QString DefaultSaveName(const QString& fileName, const QDateTime& now);

 protected:
  // Sees every close request (Close button, title bar, window manager) before the settings
  // component does, so that a close the user calls off saves nothing.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Asks before a close would lose the result; true when the window may close.
  bool MayClose();
  // Asks before `fileName` is loaded while the result is unsaved; true when it may load.
  bool MayLoadOverResult(const QString& fileName);
  // Loads `fileName` into source after asking about an unsaved result, names it in the file
  // name field and says when a NUL byte cut it short.
  void LoadSourceFile(const QString& fileName);
  // The name Save offers: made from the file name field, unless the result was made from
  // another source and the user prefers that source's name.
  QString OfferedSaveName();
  // The log's first line of a Fix: the source, the profile and the directory it runs with.
  QString FixHeading() const;
  // How the summary and the log name the profile in use, or that no profile was.
  QString ProfileInUse() const;
  // Fix proper, once the directory's schema is there: the repair run into the result pane.
  void RunFix(const Schema* schema);
  // A reading of the directory's schema ended: a Fix that waited for it runs now.
  void DirectoryRead();
  // Says in the status bar and the log what to do when Fix found no record in the source.
  void ShowNothingToFix();
  // The log line under the mouse, when it is a "line N:" message: N; otherwise 0.
  int LogLineNumberAt(const QPoint& viewportPos) const;
  // The listed profile `name` stands for: itself, or the listed name equal to it but for
  // letter case (file names are case-sensitive, typed names need not be).
  QString ListedProfileName(const QString& name) const;
  // Tells the log when a NUL byte stopped loading `fileName` into source.
  void ReportTextCutAtNul(const std::string& fileName);
  void createPanes();
  QWidget* createSettingsPanel();
  QWidget* createButtonColumn();
  void createDialogs();
  void createShortcuts();
  void createFormStorage();
  void connectHandlers();

  // Runs `handler` behind the default error handler.
  template <class Handler>
  void Guarded(Handler&& handler) {
    try {
      handler();
    } catch (...) {
      ShowException(std::current_exception());
    }
  }

  WindowOptions options_;
  std::unique_ptr<TransformMap> transformMap_;
  std::unique_ptr<UsedDNs> usedDNs_;
  std::unique_ptr<WindowLog> log_;
  bool resultUnsaved_ = false;
  bool fixing_ = false;  // Fix is replacing the result pane: not an edit of the user's
  QString sourceFile_;
  std::optional<QString> resultSource_;
  // The profile loaded last, by its listed name; or the typed name that matched no file.
  QString profileName_;
  QString missingProfile_;
  bool fixWaiting_ = false;  // Fix was pressed while the directory's schema was being read
};

}  // namespace quorvane
