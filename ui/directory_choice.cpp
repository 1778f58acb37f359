// The Directory choice: the schema Fix checks and repairs the records for, read beside the window.
#include "ui/directory_choice.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <exception>

#include "platform/ini_file.h"
#include "ui/window_strings.h"

namespace quorvane {
namespace {

struct KindName {
  DirectoryChoice::Kind kind;
  const char* key;    // in the settings file
  const char* label;  // in the combo box, in this order
};

constexpr std::array<KindName, 4> kKinds = {{
    {DirectoryChoice::Kind::kBuiltin, "builtin", "Built-in OpenLDAP schema"},
    {DirectoryChoice::Kind::kBuiltinAndFile, "builtin+file", "Built-in schema and a schema file"},
    {DirectoryChoice::Kind::kServer, "server", "Schema of a server (ldap://...)"},
    {DirectoryChoice::Kind::kNone, "none", "None: no schema checks"},
}};

constexpr auto kPollInterval = std::chrono::milliseconds(50);

int IndexOf(DirectoryChoice::Kind kind) {
  for (std::size_t i = 0; i < kKinds.size(); ++i) {
    if (kKinds[i].kind == kind) return static_cast<int>(i);
  }
  return 0;
}

DirectoryChoice::Kind KindFromKey(const std::string& key) {
  for (const KindName& entry : kKinds) {
    if (key == entry.key) return entry.kind;
  }
  return DirectoryChoice::Kind::kBuiltin;  // a choice this program does not know
}

bool NeedsReading(DirectoryChoice::Kind kind) {
  return kind == DirectoryChoice::Kind::kBuiltinAndFile || kind == DirectoryChoice::Kind::kServer;
}

}  // namespace

DirectoryChoice::DirectoryChoice(Services services, SchemaLoader loader, QWidget* parent)
    : QWidget(parent), services_(std::move(services)), loader_(std::move(loader)) {
  if (!loader_) loader_ = LoadSchema;
  cbDirectory = new QComboBox;
  cbDirectory->setObjectName(QStringLiteral("cbDirectory"));
  for (const KindName& entry : kKinds) cbDirectory->addItem(tr(entry.label));
  eDirectory = new QLineEdit;
  eDirectory->setObjectName(QStringLiteral("eDirectory"));
  eBindDN = new QLineEdit;
  eBindDN->setObjectName(QStringLiteral("eBindDN"));
  eBindDN->setPlaceholderText(tr("bind DN (empty: anonymous)"));
  lDirectory = new QLabel;
  lDirectory->setObjectName(QStringLiteral("directoryState"));
  lDirectory->setWordWrap(true);
  lDirectory->setTextFormat(Qt::PlainText);

  auto* label = new QLabel(tr("&Directory"));
  label->setBuddy(cbDirectory);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  layout->addWidget(label);
  layout->addWidget(cbDirectory);
  auto* fields = new QHBoxLayout;
  fields->addWidget(eDirectory, 3);
  fields->addWidget(eBindDN, 2);
  layout->addLayout(fields);
  layout->addWidget(lDirectory);

  poller_ = new QTimer(this);
  poller_->setInterval(kPollInterval);
  connect(poller_, &QTimer::timeout, this, &DirectoryChoice::poll);
  connect(cbDirectory, &QComboBox::activated, this, &DirectoryChoice::kindChosen);
  connect(eDirectory, &QLineEdit::returnPressed, this, &DirectoryChoice::Refresh);
  connect(eBindDN, &QLineEdit::returnPressed, this, &DirectoryChoice::Refresh);
  showFields();
  showState(QString(), false);
}

// A reading still under way is waited for: its thread must not outlive what it reports to.
DirectoryChoice::~DirectoryChoice() = default;

DirectoryChoice::Kind DirectoryChoice::kind() const {
  return kKinds[static_cast<std::size_t>(std::max(0, cbDirectory->currentIndex()))].kind;
}

DirectoryChoice::Request DirectoryChoice::current() const {
  Request request{kind(), {}, {}};
  if (NeedsReading(request.kind)) request.location = eDirectory->text().trimmed();
  if (request.kind == Kind::kServer) request.bindDN = eBindDN->text().trimmed();
  return request;
}

void DirectoryChoice::Choose(Kind chosen, const QString& location, const QString& bindDN) {
  cbDirectory->setCurrentIndex(IndexOf(chosen));
  eDirectory->setText(location);
  eBindDN->setText(bindDN);
  showFields();
  Refresh();
}

void DirectoryChoice::kindChosen() {
  showFields();
  if (kind() == Kind::kBuiltinAndFile && eDirectory->text().trimmed().isEmpty() && !askForFile()) {
    return;  // nothing chosen yet: Fix or Enter reads what the field names then
  }
  Refresh();
}

void DirectoryChoice::showFields() {
  const Kind chosen = kind();
  eDirectory->setVisible(NeedsReading(chosen));
  eDirectory->setPlaceholderText(chosen == Kind::kServer ? tr("ldap://host or ldaps://host")
                                                         : tr("schema file (Enter reads it)"));
  eBindDN->setVisible(chosen == Kind::kServer);
}

bool DirectoryChoice::askForFile() {
  if (!services_.dialogs) return false;
  const QString chosen = services_.dialogs->OpenFileName(window(), eDirectory->text());
  if (chosen.isEmpty()) return false;
  eDirectory->setText(chosen);
  return true;
}

void DirectoryChoice::Refresh() {
  const Request wanted = current();
  if (Reading()) {
    refreshQueued_ = true;  // one reading at a time; the newer choice follows it
    return;
  }
  if (haveRequest_ && wanted == request_) return;
  start(wanted);
}

void DirectoryChoice::start(const Request& request) {
  request_ = request;
  haveRequest_ = true;
  load_.reset();
  error_.clear();
  if (!NeedsReading(request.kind)) {
    showState(QString(), false);
    emit finished();
    return;
  }
  ServerAccess access;
  if (!prepare(request, access)) {
    showState(error_, true);
    emit progress(error_);
    emit finished();
    return;
  }
  std::vector<std::string> sources;
  if (request.kind == Kind::kBuiltinAndFile) sources.push_back("builtin");
  sources.push_back(request.kind == Kind::kServer ? ToBytes(request.location)
                                                  : FileNameBytes(request.location));
  started_ = std::chrono::steady_clock::now();
  shownSeconds_ = 0;
  pending_ = std::async(std::launch::async,
                        [loader = loader_, sources, access] { return loader(sources, access); });
  const QString reading = tr("Reading the schema of %1...").arg(request.location);
  showState(reading, false);
  emit progress(reading);
  poller_->start();
}

bool DirectoryChoice::prepare(const Request& request, ServerAccess& access) {
  if (request.location.isEmpty()) {
    error_ = request.kind == Kind::kServer ? tr("No server address given")
                                           : tr("No schema file chosen");
    return false;
  }
  access.bindDN = ToBytes(request.bindDN);
  if (request.kind != Kind::kServer || request.bindDN.isEmpty()) return true;
  const std::optional<QString> password =
      services_.passwords ? services_.passwords->AskPassword(
                                window(), kWindowTitle,
                                tr("Password of %1 on %2:").arg(request.bindDN, request.location))
                          : std::nullopt;
  if (!password) {
    error_ = tr("No password given for %1").arg(request.bindDN);
    return false;
  }
  access.password = ToBytes(*password);
  return true;
}

void DirectoryChoice::poll() {
  if (!pending_.valid()) {
    poller_->stop();
    return;
  }
  if (pending_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::steady_clock::now() - started_).count();
    if (seconds != shownSeconds_) {  // the status bar changes once a second, not at every look
      shownSeconds_ = seconds;
      emit progress(tr("Reading the schema of %1... %2 s").arg(request_.location).arg(seconds));
    }
    return;
  }
  poller_->stop();
  SchemaLoad load;
  try {
    load = pending_.get();
  } catch (const std::exception& e) {
    load.error = e.what();
  } catch (...) {
    load.error = "Unknown error";
  }
  settle(std::move(load));
}

void DirectoryChoice::settle(SchemaLoad load) {
  if (load.ok()) {
    const QString text = tr("Read: %1 object classes, %2 attribute types")
                             .arg(load.schema.Classes().size())
                             .arg(load.schema.Attributes().size()) +
                         (load.problems.empty() ? QString()
                                                : tr("; %1 definitions left out").arg(load.problems.size()));
    load_ = std::make_unique<SchemaLoad>(std::move(load));
    showState(text, false);
    emit progress(tr("Schema of %1 read: %2").arg(request_.location, text));
  } else {
    error_ = FromBytes(load.error);
    showState(tr("Cannot read the schema: %1").arg(error_), true);
    emit progress(lDirectory->text());
  }
  emit finished();
  if (refreshQueued_) {
    refreshQueued_ = false;
    Refresh();
  }
}

void DirectoryChoice::showState(const QString& text, bool failed) {
  lDirectory->setText(text);
  lDirectory->setVisible(!text.isEmpty());
  lDirectory->setProperty("failed", failed);
  lDirectory->style()->unpolish(lDirectory);
  lDirectory->style()->polish(lDirectory);
}

const Schema* DirectoryChoice::schema() const {
  switch (request_.kind) {
    case Kind::kBuiltin:
      return &BuiltinSchema();
    case Kind::kNone:
      return nullptr;
    default:
      return load_ ? &load_->schema : nullptr;
  }
}

QString DirectoryChoice::Describe() const {
  const Request shown = haveRequest_ ? request_ : current();
  switch (shown.kind) {
    case Kind::kBuiltin:
      return tr("the built-in OpenLDAP schema");
    case Kind::kBuiltinAndFile:
      return tr("the built-in schema and %1").arg(shown.location);
    case Kind::kServer:
      return shown.bindDN.isEmpty() ? tr("the schema of %1").arg(shown.location)
                                    : tr("the schema of %1 (as %2)").arg(shown.location, shown.bindDN);
    default:
      return tr("none (no schema checks)");
  }
}

void DirectoryChoice::Restore(const IniDocument& settings) {
  const Kind stored = KindFromKey(settings.ReadString(kSection, "Choice", "builtin"));
  Choose(stored, FromBytes(settings.ReadString(kSection, "Location", "")),
         FromBytes(settings.ReadString(kSection, "BindDN", "")));
}

void DirectoryChoice::Save(IniDocument& settings) const {
  settings.WriteString(kSection, "Choice", kKinds[static_cast<std::size_t>(IndexOf(kind()))].key);
  settings.WriteString(kSection, "Location", ToBytes(eDirectory->text().trimmed()));
  settings.WriteString(kSection, "BindDN", ToBytes(eBindDN->text().trimmed()));
}

}  // namespace quorvane
