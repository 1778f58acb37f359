// The main window: source and result panes, the log, the settings fields and the commands.
#include "ui/main_window.h"

#include <QComboBox>
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

#include "engine/defaults.h"
#include "engine/text_repair.h"
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
  Guarded([this] { FormCreate(); });
}

TForm1::~TForm1() {
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
  settings->setMinimumHeight(206);
  settings->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
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
  ldesc = new QLabel;
  ldesc->setObjectName(QStringLiteral("ldesc"));
  ldesc->setFixedSize(233, 38);
  ldesc->setWordWrap(true);
  ldesc->setAlignment(Qt::AlignLeft | Qt::AlignTop);

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

void TForm1::cbIniChange() {
  const std::string path = ProfilePath(AppDir, ToBytes(cbIni->currentText()));
  const std::string description = LoadProfile(path, *transformMap_, log_.get());
  ldesc->setText(FromBytes(description));
  log_->Flush();
}

void TForm1::FormStorage1RestorePlacement(TFormStorage*) { cbIniChange(); }

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
  // The source pane's text is read in place: nothing changes it during the run. The output is
  // gathered first, so that only a finished run replaces the result and a failure leaves the
  // previous one in place.
  struct AppendSink : TextSink {
    std::string text;
    void Text(std::string_view lines) override { text.append(lines); }
  } output;
  TextRepair run(baseDN, *transformMap_, *usedDNs_, *random, log_.get(), output, "\n",
                 TextLines::kPane);
  run.Run(source->TextView());
  dest->ReplaceText(output.text);
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
