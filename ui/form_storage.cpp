// Remembers the texts of a window's fields in the settings file from one run to the next.
#include "ui/form_storage.h"

#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QWidget>
#include <QtDebug>

#include <algorithm>

#include "engine/text.h"
#include "platform/directories.h"
#include "platform/ini_file.h"

namespace quorvane {
namespace {

constexpr char kVersionKey[] = "FormVersion";
constexpr char kTextProperty[] = "Text";

std::string ToBytes(const QString& text) { return text.toUtf8().toStdString(); }

QString FromBytes(std::string_view bytes) {
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Reading strips one enclosing pair of matching quotes, so a text that has such a pair of its
// own is written inside one more pair.
std::string EncodeValue(const QString& text) {
  std::string value = Trim(ToBytes(text));
  if (!value.empty()) {
    const char first = value.front();
    const char last = value.back();
    if ((first == '"' && last == '"') || (first == '\'' && last == '\'')) {
      value = '"' + value + '"';
    }
  }
  return value;
}

QWidget* FindControl(QWidget* form, const QString& name) {
  const auto children = form->findChildren<QWidget*>();
  const auto found = std::find_if(children.begin(), children.end(), [&](const QWidget* child) {
    return child->objectName().compare(name, Qt::CaseInsensitive) == 0;
  });
  return found == children.end() ? nullptr : *found;
}

}  // namespace

QString ControlText(const QWidget* control) {
  if (const auto* edit = qobject_cast<const QLineEdit*>(control)) return edit->text();
  if (const auto* combo = qobject_cast<const QComboBox*>(control)) return combo->currentText();
  return control->property("text").toString();
}

void SetControlText(QWidget* control, const QString& text) {
  if (auto* edit = qobject_cast<QLineEdit*>(control)) {
    edit->setText(text);
  } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
    // The edit text, never the list index: the text need not name a listed entry.
    combo->setEditText(text);
  } else {
    control->setProperty("text", text);
  }
}

TFormStorage::TFormStorage(QWidget* form) : QObject(form), form_(form) {
  SettingsPath = [this] { return SettingsDir() + ToBytes(IniFileName); };
}

std::string TFormStorage::settingsFile() const { return SettingsPath(); }

void TFormStorage::Bind() {
  bindings_.clear();
  for (const QString& entry : StoredProps) {
    const qsizetype dot = entry.indexOf('.');
    if (dot < 0) continue;
    const QString controlName = entry.left(dot).trimmed();
    const QString property = entry.mid(dot + 1).trimmed();
    if (controlName.isEmpty() || property.compare(kTextProperty, Qt::CaseInsensitive) != 0) {
      continue;
    }
    QWidget* control = FindControl(form_, controlName);
    if (!control) continue;
    bindings_.push_back({control, control->objectName() + '_' + kTextProperty});
  }
  form_->installEventFilter(this);
}

bool TFormStorage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == form_ && Active) {
    // A spontaneous show (the window coming back from the task bar) is not a new start.
    if (event->type() == QEvent::Show && !event->spontaneous()) {
      RunReportingErrors(&TFormStorage::RestoreSettings);
    } else if (event->type() == QEvent::Close && form_->testAttribute(Qt::WA_WState_Created)) {
      RunReportingErrors(&TFormStorage::SaveSettings);
    }
  }
  return QObject::eventFilter(watched, event);
}

void TFormStorage::FormDestroying() {
  if (Active && !saved_) RunReportingErrors(&TFormStorage::SaveSettings);
}

void TFormStorage::RunReportingErrors(void (TFormStorage::*operation)()) {
  try {
    (this->*operation)();
  } catch (...) {
    if (OnError) {
      OnError(std::current_exception());
    } else {
      qWarning("Settings could not be kept in %s", settingsFile().c_str());
    }
  }
}

void TFormStorage::RestoreSettings() {
  saved_ = false;
  const IniDocument settings = ReadIniFile(settingsFile());
  const std::string section = ToBytes(IniSection);
  // A missing file, section or key reads as the current version, so a first start restores.
  if (settings.ReadInteger(section, kVersionKey, Version) >= Version) {
    restored_ = true;
    for (const Binding& binding : bindings_) {
      try {
        if (!binding.control) continue;
        const std::string current = ToBytes(ControlText(binding.control));
        const std::string value = settings.ReadString(section, ToBytes(binding.key), current);
        SetControlText(binding.control, FromBytes(Trim(value)));
      } catch (...) {
        // One field that cannot be read or set must not cost the others their values.
      }
    }
    try {
      if (OnRestoreOther) OnRestoreOther(settings);
    } catch (...) {
      // As for one field: the other sections' values must not cost the profile its loading.
    }
    if (OnRestorePlacement) OnRestorePlacement(this);
  }
  restored_ = true;
}

void TFormStorage::SaveSettings() {
  if (!restored_) return;
  const std::string section = ToBytes(IniSection);
  // All keys in one document, written once: a save that fails leaves the whole file as it was.
  UpdateIniFile(settingsFile(), [&](IniDocument& settings) {
    settings.WriteInteger(section, kVersionKey, Version);
    for (const Binding& binding : bindings_) {
      if (!binding.control) continue;
      settings.WriteString(section, ToBytes(binding.key),
                           EncodeValue(ControlText(binding.control)));
    }
    if (OnSaveOther) OnSaveOther(settings);
  });
  if (OnSavePlacement) OnSavePlacement(this);
  saved_ = true;
}

}  // namespace quorvane
