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
#include <QShortcut>
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
#include "platform/ini_file.h"
#include "profiles/profiles.h"
#include "ui/editor_pane.h"
#include "ui/form_storage.h"
#include "ui/window_look.h"
#include "ui/window_strings.h"

namespace quorvane {
namespace {

const QString kCaption = QStringLiteral("Quorvane v 0.2");

// A field's label over the field; the "&" in `text` gives the field the focus with Alt.
void AddLabelledField(QVBoxLayout* fields, const QString& text, QWidget* field) {
  auto* label = new QLabel(text);
  label->setBuddy(field);
  fields->addWidget(label);
  fields->addWidget(field);
  fields->addSpacing(2);
}

}  // namespace

TForm1::TForm1(WindowOptions options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(kCaption);
  setMinimumSize(130, 50);
  resize(917, 535);
  setStyleSheet(QString::fromLatin1(WindowStyleSheet()));
  setWindowIcon(WindowIcon());
  createPanes();
  createDialogs();
  createShortcuts();
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
  // The two bottom panels are equally high, so their caption bars are level.
  KeepSameHeight(settings, log);
  // A click on a "line N:" message shows that line of the source.
  Memo1->viewport()->installEventFilter(this);
  auto* right = new QWidget;
  auto* rightLayout = new QVBoxLayout(right);
  rightLayout->setContentsMargins(0, 0, 0, 0);
  rightLayout->addWidget(CaptionedPanel(tr("Result"), dest), 1);
  rightLayout->addWidget(log);

  auto* splitter = new QSplitter(Qt::Horizontal);
  splitter->setObjectName(QStringLiteral("centre"));
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
  AddLabelledField(fields, tr("File&name"), eFilename);
  AddLabelledField(fields, tr("&Base DN"), eBaseDN);
  AddLabelledField(fields, tr("&Transform"), cbIni);
  fields->addWidget(ldesc);
  fields->addSpacing(2);
  directory = new DirectoryChoice(options_.services, options_.loadSchema);
  directory->setObjectName(QStringLiteral("directory"));
  fields->addWidget(directory);
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
  bLoad = makeButton("bLoad", tr("&Load"));
  suiButton1 = makeButton("suiButton1", tr("&Fix"));
  suiButton2 = makeButton("suiButton2", tr("&Save"));
  bAbout = makeButton("bAbout", tr("&About"));
  suiButton5 = makeButton("suiButton5", tr("&Close"));
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

void TForm1::createShortcuts() {
  // Window-wide, so they work from every field and from both panes.
  const auto shortcut = [this](QKeySequence keys, QPushButton* button) {
    auto* action = new QShortcut(keys, this);
    action->setContext(Qt::WindowShortcut);
    connect(action, &QShortcut::activated, button, &QPushButton::click);
  };
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_O), bLoad);
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_R), suiButton1);
  shortcut(QKeySequence(Qt::Key_F5), suiButton1);
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_S), suiButton2);
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), suiButton5);
  bLoad->setToolTip(tr("Load a file into the source pane (Ctrl+O)"));
  suiButton1->setToolTip(tr("Repair the source into the result pane (Ctrl+R, F5)"));
  suiButton2->setToolTip(tr("Save the result (Ctrl+S)"));
  suiButton5->setToolTip(tr("Close the window (Ctrl+Q)"));
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
  // The Directory choice keeps a section of its own; [Settings] keeps its four keys.
  FormStorage1->OnRestoreOther = [this](const IniDocument& settings) { directory->Restore(settings); };
  FormStorage1->OnSaveOther = [this](IniDocument& settings) { directory->Save(settings); };
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
  connect(directory, &DirectoryChoice::progress, statusbar, [this](const QString& message) {
    statusbar->showMessage(fixWaiting_ ? tr("Fix waits: %1").arg(message) : message);
  });
  connect(directory, &DirectoryChoice::finished, this, [this] { DirectoryRead(); });
  connect(eFilename, &QLineEdit::returnPressed, this,
          [this] { Guarded([this] { eFilenameReturnPressed(); }); });
  // A drop of files over an unsaved result asks once, before its first file.
  source->OnFilesDropping = [this](const QStringList& fileNames) {
    bool mayLoad = false;
    Guarded([&] { mayLoad = MayLoadOverResult(fileNames.value(0)); });
    return mayLoad;
  };
  source->OnFileDrop = [this](EditorPane* sender, const std::string& fileName, bool& defaultHandler) {
    sourceFileDrop(sender, fileName, defaultHandler);
  };
  source->OnDragOver = [this](EditorPane* sender, QObject* dragSource, int x, int y, bool& accept) {
    sourceDragOver(sender, dragSource, x, y, accept);
  };
  source->OnError = [this](const std::exception& error) {
    options_.services.messages->Error(this, kWindowTitle, ErrorMessageText(error.what()));
  };
  // Any change of the result pane but the one Fix makes is an edit that Save has not kept.
  connect(dest, &QsciScintilla::textChanged, this, [this] {
    if (!fixing_) resultUnsaved_ = true;
  });
  const auto urls = options_.services.urls;
  source->OpenUrl = [urls](const QString& url) { urls->Open(QUrl(url)); };
  dest->OpenUrl = source->OpenUrl;
}

}  // namespace quorvane
