// The main window's commands: profile, Load, Fix, Save, Close, About, file drop, the log.
#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTextBlock>

#include <filesystem>

#include "engine/repair_run.h"
#include "platform/directories.h"
#include "platform/file_io.h"
#include "profiles/profiles.h"
#include "ui/editor_pane.h"
#include "ui/form_storage.h"
#include "ui/main_window.h"
#include "ui/window_strings.h"

namespace quorvane {
namespace {

const QString kAboutText = QStringLiteral(
    "Quorvane\nby the Quorvane developers\nhome page: https://quorvane.example.org");
const QString kModifiedQuestion =
    QStringLiteral("Current file is modified. Do you want to load new file anyway?");
const QString kUnsavedResultQuestion =
    QStringLiteral("The result has not been saved. Close anyway?");
const QString kPastedText = QStringLiteral("pasted text");

QString ExceptionMessage(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return ErrorMessageText(e.what());
  } catch (...) {
    return ErrorMessageText("Unknown error");
  }
}

bool IsProfileFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

// Whether two sources are the same: both pasted text, or the same file however it was named.
bool SameSource(const QString& a, const QString& b) {
  if (a.isEmpty() || b.isEmpty()) return a.isEmpty() && b.isEmpty();
  return QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath();
}

// Gathers the run's output as the result pane takes it: every line followed by LF.
class TextSink : public LineSink {
 public:
  void Line(std::string_view line) override {
    text.append(line);
    text.push_back('\n');
  }
  std::string text;
};

// Sets a flag for as long as it lives.
struct RaisedFlag {
  explicit RaisedFlag(bool& flag) : flag_(flag) { flag_ = true; }
  ~RaisedFlag() { flag_ = false; }
  bool& flag_;
};

}  // namespace

void TForm1::FormCreate() {
  transformMap_ = std::make_unique<TransformMap>();
  usedDNs_ = std::make_unique<UsedDNs>();
  AppDir = options_.appDir.empty() ? quorvane::AppDir() : options_.appDir;
  if (AppDir.back() != '/') AppDir += '/';
  const QSignalBlocker blocker(cbIni);
  for (const std::string& name : ListProfiles(AppDir)) cbIni->addItem(FromBytes(name));
  // Listing fills the choices only; the profile field stays empty until settings or the user
  // name one.
  cbIni->setCurrentIndex(-1);
  cbIni->setEditText(QString());
}

void TForm1::FormDestroy() {
  transformMap_.reset();
  usedDNs_.reset();
}

QString TForm1::ListedProfileName(const QString& name) const {
  if (cbIni->findText(name, Qt::MatchFixedString | Qt::MatchCaseSensitive) >= 0) return name;
  const int folded = cbIni->findText(name, Qt::MatchFixedString);
  return folded >= 0 ? cbIni->itemText(folded) : name;
}

void TForm1::cbIniChange() {
  const QString name = ListedProfileName(cbIni->currentText());
  const std::string path = ProfilePath(AppDir, ToBytes(name));
  const std::string description = LoadProfile(path, *transformMap_, log_.get());
  ldesc->setText(FromBytes(description));
  log_->Flush();
  // No profile at all is a choice; a name that matches no file is most likely a typing error,
  // and Fix would run without the rules the user meant.
  const bool found = !name.isEmpty() && IsProfileFile(path);
  profileName_ = found ? name : QString();
  missingProfile_ = found ? QString() : name;
  if (!missingProfile_.isEmpty()) {
    statusbar->showMessage(
        tr("No profile named \"%1\": Fix applies no profile rules").arg(missingProfile_));
  }
}

QString TForm1::ProfileInUse() const {
  if (!profileName_.isEmpty()) return tr("profile \"%1\"").arg(profileName_);
  if (!missingProfile_.isEmpty()) return tr("no profile (\"%1\" matches no file)").arg(missingProfile_);
  return tr("no profile");
}

void TForm1::FormStorage1RestorePlacement(TFormStorage* sender) {
  // A first start (no settings file yet) begins with the profile for a directory with only the
  // standard schemas, chosen as a user would choose it from the list. Any settings file wins,
  // even one that names no profile. Restoring reads the file and never creates it, so the file
  // is there now exactly when it was there before the restore.
  if (sender) {
    std::error_code error;
    const bool haveSettings = std::filesystem::exists(sender->settingsFile(), error) || error;
    const int stock = cbIni->findText(QString::fromLatin1(kFirstStartProfile),
                                      Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (!haveSettings && stock >= 0) cbIni->setCurrentIndex(stock);
  }
  cbIniChange();
}

QString TForm1::SourceName(const QString& sourceFile) {
  return sourceFile.isEmpty() ? kPastedText : sourceFile;
}

bool TForm1::MayLoadOverResult(const QString& fileName) {
  return !ResultUnsaved() ||
         options_.services.messages->AskYesNo(
             this, kWindowTitle,
             tr("The result has not been saved. Load \"%1\" anyway?").arg(fileName));
}

void TForm1::LoadSourceFile(const QString& fileName) {
  if (!MayLoadOverResult(fileName)) return;
  // The field names the file the pane holds, so it changes only once the file is loaded.
  source->LoadFile(FileNameBytes(fileName));
  sourceFile_ = QFileInfo(fileName).absoluteFilePath();
  eFilename->setText(fileName);
  ReportTextCutAtNul(FileNameBytes(fileName));
}

void TForm1::bLoadClick() {
  if (od->fileName().isEmpty()) od->setFileName(eFilename->text());
  if (!od->Execute(*options_.services.dialogs, this)) return;
  LoadSourceFile(od->fileName());
}

void TForm1::eFilenameReturnPressed() {
  if (eFilename->text().trimmed().isEmpty()) {
    statusbar->showMessage(tr("Type the name of a file to load, or press Load (Ctrl+O)"));
    return;
  }
  LoadSourceFile(eFilename->text());
}

void TForm1::ReportTextCutAtNul(const std::string& fileName) {
  const std::size_t line = source->LoadStopLine();
  if (line == 0) return;
  const std::string path = FullPath(fileName);
  log_->Write("004: NUL byte in \"" + path + "\"; the rest of the file was not read", kLogError,
              line);
  log_->Flush();
  // A binary file looks like a short book in the pane: say so where it cannot be missed.
  options_.services.messages->Error(
      this, kWindowTitle,
      tr("\"%1\" holds a NUL byte on line %2: only the text before it was loaded.")
          .arg(FileNameText(path))
          .arg(line));
}

QString TForm1::FixHeading() const {
  return tr("---- Fix of %1 with %2; directory: %3")
      .arg(SourceName(sourceFile_), ProfileInUse(), directory->Describe());
}

void TForm1::suitempsuiButton1Click() {
  directory->Refresh();
  if (directory->Reading()) {
    // Runs once the schema is there (DirectoryRead); the window goes on meanwhile.
    fixWaiting_ = true;
    statusbar->showMessage(tr("Fix waits until %1 is read").arg(directory->Describe()));
    return;
  }
  fixWaiting_ = false;
  if (directory->Failed()) {
    const QString text = tr("Fix did not run: %1 could not be read: %2")
                             .arg(directory->Describe(), directory->Problem());
    statusbar->showMessage(text);
    Memo1->appendPlainText(text);
    return;
  }
  RunFix(directory->schema());
}

void TForm1::DirectoryRead() {
  if (fixWaiting_) Guarded([this] { suitempsuiButton1Click(); });
}

void TForm1::RunFix(const Schema* schema) {
  std::unique_ptr<RandomSource> random =
      options_.makeRandom ? options_.makeRandom()
                          : std::make_unique<SeededRandom>(SeededRandom::ClockSeed());
  const std::string baseDN = ToBytes(eBaseDN->text());  // as typed: blanks are part of it
  Memo1->appendPlainText(FixHeading());
  struct FlushAtEnd {
    WindowLog& log;
    ~FlushAtEnd() { log.Flush(); }
  } flush{*log_};
  // The source pane's text is read in place: nothing changes it during the run. Only a
  // finished run replaces the result, so a failure leaves the previous one in place.
  TextSink output;
  RepairRun run(baseDN, *transformMap_, *usedDNs_, *random, log_.get(), output,
                SchemaStep{schema, false});
  usedDNs_->ReserveFor(source->TextView().size());
  run.AddPaneText(source->TextView());
  run.Finish();
  if (run.Counts().recordsRead == 0) {
    ShowNothingToFix();
    return;
  }
  {
    // The pane's own change is not an edit: the flag is set below, once the result is shown.
    const RaisedFlag fixingPane(fixing_);
    dest->ReplaceText(output.text);
  }
  resultUnsaved_ = true;
  resultSource_ = sourceFile_;
  ShowRunSummary(run.Counts());
}

void TForm1::ShowNothingToFix() {
  log_->Flush();
  const QString hint = tr("Nothing to fix: the source holds no record. Paste LDIF into the "
                          "source pane, drop a file on it, or press Load (Ctrl+O).");
  statusbar->showMessage(hint);
  Memo1->appendPlainText(hint);
}

void TForm1::ShowRunSummary(const RepairCounts& counts) {
  log_->Flush();  // the run's own messages come first
  const QString line = FromBytes(SummaryLine(counts)) + "; " + ProfileInUse();
  statusbar->showMessage(line);
  Memo1->appendPlainText(line);
}

bool TForm1::ResultUnsaved() const { return resultUnsaved_ && dest->length() > 0; }

bool TForm1::MayClose() {
  return !ResultUnsaved() ||
         options_.services.messages->AskYesNo(this, kWindowTitle, kUnsavedResultQuestion);
}

QString TForm1::OfferedSaveName() {
  const QDateTime now = options_.services.clock->Now();
  const QString offered = DefaultSaveName(eFilename->text(), now);
  if (!resultSource_ || SameSource(*resultSource_, eFilename->text())) return offered;
  const QString question = tr("The result was made from %1. Save it as %2?")
                               .arg(SourceName(*resultSource_), offered);
  if (options_.services.messages->AskYesNo(this, kWindowTitle, question)) return offered;
  return DefaultSaveName(*resultSource_, now);
}

void TForm1::suiButton2Click() {
  SaveDialog1->setFileName(OfferedSaveName());
  if (!SaveDialog1->Execute(*options_.services.dialogs, this)) return;
  const QString fileName = SaveDialog1->fileName();
  if (QFileInfo::exists(fileName) &&
      !options_.services.messages->AskYesNo(
          this, kWindowTitle, tr("%1 already exists.\nDo you want to replace it?").arg(fileName))) {
    return;
  }
  // A directory that cannot be made shows up as the file that cannot be created.
  CreateDirectories(FileNameBytes(QFileInfo(fileName).absolutePath()));
  dest->SaveFile(FileNameBytes(fileName));
  resultUnsaved_ = false;  // only a save that worked keeps the result
}

void TForm1::suiButton3Click() { close(); }

void TForm1::bAboutClick() { options_.services.messages->Plain(this, kWindowTitle, kAboutText); }

void TForm1::sourceFileDrop(EditorPane*, const std::string& fileName, bool& defaultHandler) {
  log_->Write("file " + fileName, kLogProgress, 0);
  log_->Flush();
  // The window loads the file itself (or keeps the text): the pane must never load it too.
  defaultHandler = false;
  if (source->IsModified() &&
      !options_.services.messages->AskOkCancel(this, kWindowTitle, kModifiedQuestion)) {
    return;
  }
  source->LoadFile(fileName);
  sourceFile_ = QFileInfo(FileNameText(fileName)).absoluteFilePath();
  ReportTextCutAtNul(fileName);
}

void TForm1::OpenFiles(const QStringList& fileNames) { source->DropFiles(fileNames); }

void TForm1::sourceDragOver(EditorPane*, QObject*, int, int, bool& accept) { accept = true; }

int TForm1::LogLineNumberAt(const QPoint& viewportPos) const {
  static const QRegularExpression kLineMessage(QStringLiteral("^line ([0-9]+): "));
  const QString text = Memo1->cursorForPosition(viewportPos).block().text();
  const QRegularExpressionMatch match = kLineMessage.match(text);
  return match.hasMatch() ? match.captured(1).toInt() : 0;
}

void TForm1::ShowSourceLine(int line) {
  if (line < 1 || line > source->LineCount()) {
    statusbar->showMessage(tr("The source has no line %1 now").arg(line));
    return;
  }
  const auto index = static_cast<unsigned long>(line - 1);
  source->SendScintilla(QsciScintillaBase::SCI_SETSEL,
                        source->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, index),
                        source->SendScintilla(QsciScintillaBase::SCI_GETLINEENDPOSITION, index));
  source->ensureLineVisible(line - 1);
  source->setFocus();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Memo1->viewport() && event->type() == QEvent::MouseButtonRelease) {
    const auto* click = static_cast<QMouseEvent*>(event);
    if (click->button() == Qt::LeftButton) {
      if (const int line = LogLineNumberAt(click->position().toPoint())) ShowSourceLine(line);
    }
    return false;
  }
  if (watched == this && event->type() == QEvent::Close) {
    bool mayClose = true;
    Guarded([&] { mayClose = MayClose(); });
    if (!mayClose) {
      // Kept as it was: the settings component never sees this request, so nothing is saved.
      event->ignore();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TForm1::ShowException(std::exception_ptr error) {
  options_.services.messages->Error(this, kWindowTitle, ExceptionMessage(error));
}

QString TForm1::DefaultSaveName(const QString& fileName, const QDateTime& now) {
  const qsizetype dot = fileName.lastIndexOf('.');
  const qsizetype base = dot > fileName.lastIndexOf('/') ? dot : fileName.size();
  return fileName.left(base) + ' ' + now.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) +
         QStringLiteral(".ldif");
}

}  // namespace quorvane
