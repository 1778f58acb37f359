// The main window: source and result panes, the log, the settings fields and the commands.
#include "ui/main_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

#include "engine/defaults.h"
#include "engine/repair_run.h"
#include "engine/text.h"
#include "platform/directories.h"
#include "platform/file_io.h"
#include "profiles/profiles.h"
#include "ui/editor_pane.h"
#include "ui/form_storage.h"

namespace quorvane {
namespace {

const QString kTitle = QStringLiteral("Quorvane");
const QString kCaption = QStringLiteral("Quorvane v 0.2");
const QString kAboutText = QStringLiteral(
    "Quorvane\nby the Quorvane developers\nhome page: https://quorvane.example.org");
const QString kModifiedQuestion =
    QStringLiteral("Current file is modified. Do you want to load new file anyway?");
const QString kUnsavedResultQuestion =
    QStringLiteral("The result has not been saved. Close anyway?");

std::string ToBytes(const QString& text) { return text.toUtf8().toStdString(); }

QString FromBytes(std::string_view bytes) {
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string FileNameBytes(const QString& fileName) {
  return QFile::encodeName(fileName).toStdString();
}

QString ExceptionMessage(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return ErrorMessageText(e.what());
  } catch (...) {
    return ErrorMessageText("Unknown error");
  }
}

// A bordered panel with a caption bar over its content.
QWidget* CaptionedPanel(const QString& caption, QWidget* content) {
  auto* panel = new QFrame;
  panel->setObjectName(QStringLiteral("panel"));
  panel->setFrameShape(QFrame::StyledPanel);
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(1, 1, 1, 1);
  layout->setSpacing(0);
  auto* title = new QLabel(caption);
  title->setObjectName(QStringLiteral("panelCaption"));
  layout->addWidget(title);
  layout->addWidget(content, 1);
  return panel;
}

const char kStyleSheet[] = R"(
QFrame#panel { background: palette(window); border: 1px solid #9aa5b1; }
QLabel#panelCaption { background: #34495e; color: white; font-weight: bold; padding: 4px 8px; }
QSplitter::handle { background: #d5dbe1; border-left: 1px solid #ffffff; border-right: 1px solid #9aa5b1; }
QPushButton { border: 1px solid #7f8c99; border-radius: 3px; background: #eef1f4; }
QPushButton:hover { background: #dde4ea; }
QPushButton:pressed { background: #c9d2db; }
QPushButton:default { border: 2px solid #34495e; }
)";

// Gathers the run's output as the result pane takes it: every line followed by LF.
class TextSink : public LineSink {
 public:
  void Line(std::string_view line) override {
    text.append(line);
    text.push_back('\n');
  }
  std::string text;
};

}  // namespace

TForm1::TForm1(WindowOptions options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(kCaption);
  setMinimumSize(130, 50);
  resize(917, 535);
  setStyleSheet(kStyleSheet);
  createPanes();
  createDialogs();
  createFormStorage();
  connectHandlers();
  // Installed after the settings component's filter, so it sees a close request first.
  installEventFilter(this);
  Guarded([this] { FormCreate(); });
}

TForm1::~TForm1() {
  // A window destroyed while shown hides on the way: the profile field then loses the focus
  // and the combo box may report the edit as a choice, after the lists are gone.
  cbIni->disconnect(this);
  cbIni->lineEdit()->disconnect(this);
  FormStorage1->FormDestroying();
  FormDestroy();
}

// ---- Layout ----------------------------------------------------------------------------------

void TForm1::createPanes() {
  source = new EditorPane(EditorPane::Kind::Source);
  source->setObjectName(QStringLiteral("source"));
  dest = new EditorPane(EditorPane::Kind::Dest);
  dest->setObjectName(QStringLiteral("dest"));
  Memo1 = new QPlainTextEdit;
  Memo1->setObjectName(QStringLiteral("Memo1"));

  auto* settings = CaptionedPanel(tr("Settings"), createSettingsPanel());
  // At least the layout's 206 pixels, and taller when the profile's description needs more
  // lines: the height follows the width the description wraps in. Only the source pane takes
  // the rest of the column.
  settings->setMinimumHeight(206);
  settings->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  auto* left = new QWidget;
  auto* leftLayout = new QVBoxLayout(left);
  leftLayout->setContentsMargins(0, 0, 0, 0);
  leftLayout->addWidget(CaptionedPanel(tr("Source LDIF (paste code here)"), source), 1);
  leftLayout->addWidget(settings);

  auto* log = CaptionedPanel(tr("Log"), Memo1);
  log->setFixedHeight(159);
  auto* right = new QWidget;
  auto* rightLayout = new QVBoxLayout(right);
  rightLayout->setContentsMargins(0, 0, 0, 0);
  rightLayout->addWidget(CaptionedPanel(tr("Result"), dest), 1);
  rightLayout->addWidget(log);

  auto* splitter = new QSplitter(Qt::Horizontal);
  splitter->setHandleWidth(12);
  splitter->setChildrenCollapsible(false);
  splitter->addWidget(left);
  splitter->addWidget(right);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({431, 917 - 431 - 12});
  setCentralWidget(splitter);

  statusbar = new QStatusBar;
  statusbar->setObjectName(QStringLiteral("statusbar"));
  setStatusBar(statusbar);
  log_ = std::make_unique<WindowLog>(statusbar, Memo1);
}

QWidget* TForm1::createSettingsPanel() {
  eFilename = new QLineEdit;
  eFilename->setObjectName(QStringLiteral("eFilename"));
  eBaseDN = new QLineEdit(FromBytes(kDefaultBaseDN));
  eBaseDN->setObjectName(QStringLiteral("eBaseDN"));
  cbIni = new QComboBox;
  cbIni->setObjectName(QStringLiteral("cbIni"));
  cbIni->setEditable(true);
  cbIni->setInsertPolicy(QComboBox::NoInsert);
  // Completion offers the longer names in a list and never writes into the field: inline
  // completion would turn a typed "openldap-stock" into "openldap-stock-business-card".
  if (QCompleter* completer = cbIni->completer()) {
    completer->setCompletionMode(QCompleter::PopupCompletion);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
  }
  ldesc = new QLabel;
  ldesc->setObjectName(QStringLiteral("ldesc"));
  // The whole description, wrapped to the column's width; the settings panel grows with it.
  ldesc->setMinimumWidth(160);
  ldesc->setWordWrap(true);
  ldesc->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  ldesc->setTextFormat(Qt::PlainText);

  auto* fields = new QVBoxLayout;
  fields->setSpacing(2);
  const std::pair<QString, QWidget*> labelled[] = {
      {tr("Filename"), eFilename}, {tr("Base DN"), eBaseDN}, {tr("Transform"), cbIni}};
  for (const auto& [label, field] : labelled) {
    fields->addWidget(new QLabel(label));
    fields->addWidget(field);
    fields->addSpacing(2);
  }
  fields->addWidget(ldesc);
  fields->addStretch(1);

  auto* content = new QWidget;
  auto* layout = new QHBoxLayout(content);
  layout->setContentsMargins(8, 4, 8, 4);
  layout->addLayout(fields, 1);
  layout->addWidget(createButtonColumn());
  return content;
}

QWidget* TForm1::createButtonColumn() {
  auto* column = new QWidget;
  auto* layout = new QVBoxLayout(column);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  const auto makeButton = [&](const char* name, const QString& caption) {
    auto* button = new QPushButton(caption);
    button->setObjectName(QString::fromLatin1(name));
    button->setFixedSize(114, 36);
    layout->addWidget(button);
    return button;
  };
  bLoad = makeButton("bLoad", tr("Load"));
  suiButton1 = makeButton("suiButton1", tr("Fix"));
  suiButton2 = makeButton("suiButton2", tr("Save"));
  bAbout = makeButton("bAbout", tr("About"));
  suiButton5 = makeButton("suiButton5", tr("Close"));
  layout->addStretch(1);
  return column;
}

void TForm1::createDialogs() {
  od = new FileDialogControl(FileDialogControl::Mode::Open, this);
  od->setObjectName(QStringLiteral("od"));
  SaveDialog1 = new FileDialogControl(FileDialogControl::Mode::Save, this);
  SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
  SaveDialog1->setDefaultSuffix(QStringLiteral("ldif"));
}

void TForm1::createFormStorage() {
  FormStorage1 = new TFormStorage(this);
  FormStorage1->setObjectName(QStringLiteral("FormStorage1"));
  FormStorage1->StoredProps = {QStringLiteral("eBaseDN.Text"), QStringLiteral("eFilename.Text"),
                               QStringLiteral("cbIni.Text")};
  FormStorage1->OnRestorePlacement = [this](TFormStorage* sender) {
    FormStorage1RestorePlacement(sender);
  };
  FormStorage1->OnError = [this](std::exception_ptr error) { ShowException(error); };
  FormStorage1->Bind();
}

void TForm1::connectHandlers() {
  const auto onClick = [this](QPushButton* button, void (TForm1::*handler)()) {
    connect(button, &QPushButton::clicked, this, [this, handler] { Guarded([&] { (this->*handler)(); }); });
  };
  onClick(bLoad, &TForm1::bLoadClick);
  onClick(suiButton1, &TForm1::suitempsuiButton1Click);
  onClick(suiButton2, &TForm1::suiButton2Click);
  onClick(bAbout, &TForm1::bAboutClick);
  onClick(suiButton5, &TForm1::suiButton3Click);
  // A change typed by the user or a choice from the list; a text set by the program does not
  // load a profile by itself.
  connect(cbIni, &QComboBox::activated, this, [this] { Guarded([this] { cbIniChange(); }); });
  connect(cbIni->lineEdit(), &QLineEdit::textEdited, this,
          [this] { Guarded([this] { cbIniChange(); }); });
  source->OnFileDrop = [this](EditorPane* sender, const std::string& fileName, bool& defaultHandler) {
    sourceFileDrop(sender, fileName, defaultHandler);
  };
  source->OnDragOver = [this](EditorPane* sender, QObject* dragSource, int x, int y, bool& accept) {
    sourceDragOver(sender, dragSource, x, y, accept);
  };
  source->OnError = [this](const std::exception& error) {
    options_.services.messages->Error(this, kTitle, ErrorMessageText(error.what()));
  };
  // Any change of the result pane but the one Fix makes is an edit that Save has not kept.
  connect(dest, &QsciScintilla::textChanged, this, [this] {
    if (!fixing_) resultUnsaved_ = true;
  });
  const auto urls = options_.services.urls;
  source->OpenUrl = [urls](const QString& url) { urls->Open(QUrl(url)); };
  dest->OpenUrl = source->OpenUrl;
}

// ---- Handlers --------------------------------------------------------------------------------

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
  const std::string path = ProfilePath(AppDir, ToBytes(ListedProfileName(cbIni->currentText())));
  const std::string description = LoadProfile(path, *transformMap_, log_.get());
  ldesc->setText(FromBytes(description));
  log_->Flush();
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

void TForm1::bLoadClick() {
  if (od->fileName().isEmpty()) od->setFileName(eFilename->text());
  if (!od->Execute(*options_.services.dialogs, this)) return;
  // The field names the file the pane holds, so it changes only once the file is loaded.
  source->LoadFile(FileNameBytes(od->fileName()));
  eFilename->setText(od->fileName());
  ReportTextCutAtNul(FileNameBytes(od->fileName()));
}

void TForm1::ReportTextCutAtNul(const std::string& fileName) {
  const std::size_t line = source->LoadStopLine();
  if (line == 0) return;
  log_->Write("004: NUL byte in \"" + FullPath(fileName) + "\"; the rest of the file was not read",
              kLogError, line);
  log_->Flush();
}

void TForm1::suitempsuiButton1Click() {
  std::unique_ptr<RandomSource> random =
      options_.makeRandom ? options_.makeRandom()
                          : std::make_unique<SeededRandom>(SeededRandom::ClockSeed());
  const std::string baseDN = ToBytes(eBaseDN->text());  // as typed: blanks are part of it
  struct FlushAtEnd {
    WindowLog& log;
    ~FlushAtEnd() { log.Flush(); }
  } flush{*log_};
  // The source pane's text is read in place: nothing changes it during the run. Only a
  // finished run replaces the result, so a failure leaves the previous one in place.
  TextSink output;
  RepairRun run(baseDN, *transformMap_, *usedDNs_, *random, log_.get(), output);
  usedDNs_->ReserveFor(source->TextView().size());
  run.AddPaneText(source->TextView());
  run.Finish();
  // The pane's own change is not an edit: the flag is set below, once the result is shown.
  fixing_ = true;
  struct FixingPane {
    bool& fixing;
    ~FixingPane() { fixing = false; }
  } fixingPane{fixing_};
  dest->ReplaceText(output.text);
  resultUnsaved_ = true;
  ShowRunSummary(run.Counts());
}

void TForm1::ShowRunSummary(const RepairCounts& counts) {
  log_->Flush();  // the run's own messages come first
  const QString line = FromBytes(SummaryLine(counts));
  statusbar->showMessage(line);
  Memo1->appendPlainText(line);
}

bool TForm1::ResultUnsaved() const { return resultUnsaved_ && dest->length() > 0; }

bool TForm1::MayClose() {
  return !ResultUnsaved() ||
         options_.services.messages->AskYesNo(this, kTitle, kUnsavedResultQuestion);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
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

void TForm1::suiButton2Click() {
  SaveDialog1->setFileName(DefaultSaveName(eFilename->text(), options_.services.clock->Now()));
  if (!SaveDialog1->Execute(*options_.services.dialogs, this)) return;
  const QString fileName = SaveDialog1->fileName();
  if (QFileInfo::exists(fileName) &&
      !options_.services.messages->AskYesNo(
          this, kTitle, tr("%1 already exists.\nDo you want to replace it?").arg(fileName))) {
    return;
  }
  // A directory that cannot be made shows up as the file that cannot be created.
  CreateDirectories(FileNameBytes(QFileInfo(fileName).absolutePath()));
  dest->SaveFile(FileNameBytes(fileName));
  resultUnsaved_ = false;  // only a save that worked keeps the result
}

void TForm1::suiButton3Click() { close(); }

void TForm1::bAboutClick() { options_.services.messages->Plain(this, kTitle, kAboutText); }

void TForm1::sourceFileDrop(EditorPane*, const std::string& fileName, bool& defaultHandler) {
  log_->Write("file " + fileName, kLogProgress, 0);
  log_->Flush();
  // The window loads the file itself (or keeps the text): the pane must never load it too.
  defaultHandler = false;
  if (source->IsModified() &&
      !options_.services.messages->AskOkCancel(this, kTitle, kModifiedQuestion)) {
    return;
  }
  source->LoadFile(fileName);
  ReportTextCutAtNul(fileName);
}

void TForm1::sourceDragOver(EditorPane*, QObject*, int, int, bool& accept) { accept = true; }

void TForm1::ShowException(std::exception_ptr error) {
  options_.services.messages->Error(this, kTitle, ExceptionMessage(error));
}

QString TForm1::DefaultSaveName(const QString& fileName, const QDateTime& now) {
  const qsizetype dot = fileName.lastIndexOf('.');
  const qsizetype base = dot > fileName.lastIndexOf('/') ? dot : fileName.size();
  return fileName.left(base) + ' ' + now.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) +
         QStringLiteral(".ldif");
}

}  // namespace quorvane
