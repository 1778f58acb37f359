// Remembers the texts of a window's fields in the settings file from one run to the next.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <exception>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace quorvane {

class IniDocument;

// Owned by the form it stores. The form's texts are read back when the form is shown (before it
// becomes visible) and written on every close request, and once more when the form is destroyed
// if no write has completed since. Only the listed "Control.Text" properties are kept; the
// window's position, size and state are not.
//
// In the settings file, section IniSection holds "FormVersion" and then one key per stored
// property, named after the control and the property ("eBaseDN_Text"). A value is written
// trimmed, and one that starts and ends with the same quote character is wrapped in an extra
// pair of double quotes, because reading removes one enclosing pair: so every trimmed text of
// up to 2047 characters reads back unchanged.
class TFormStorage : public QObject {
  Q_OBJECT

 public:
  explicit TFormStorage(QWidget* form);

  // Fixed configuration, set before Bind().
  QString IniFileName = QStringLiteral("Quorvane.ini");
  QString IniSection = QStringLiteral("Settings");
  QStringList StoredProps;
  bool Active = true;
  int Version = 0;

  // Called after each restore and each save; the first with this component as sender.
  std::function<void(TFormStorage* sender)> OnRestorePlacement;
  std::function<void(TFormStorage* sender)> OnSavePlacement;
  // Sections of the form's own beside IniSection, read and written with it: OnRestoreOther gets
  // the document each restore read (when the stored values are used at all), OnSaveOther the
  // document each save writes, before it is written. A restore ignores its errors.
  std::function<void(const IniDocument& settings)> OnRestoreOther;
  std::function<void(IniDocument& settings)> OnSaveOther;
  // The application's default error handler: receives every error of a restore or save that
  // runs from a form event; the form goes on showing or closing.
  std::function<void(std::exception_ptr error)> OnError;
  // The full path of the settings file; by default the user's configuration directory
  // followed by IniFileName. Resolved at the start of each restore and save.
  std::function<std::string()> SettingsPath;

  // Binds the stored properties to the form's controls (names compared without regard to
  // case; unusable entries are dropped) and starts watching the form's show and close events.
  void Bind();
  // Call from the form's destructor, while its controls still exist.
  void FormDestroying();

  // Each reads the settings file once; a save writes it once, safely, so that a save that fails
  // (Error "Unable to write to FILE", FILE being settingsFile()) leaves the whole file as it was.
  void RestoreSettings();
  void SaveSettings();

  bool restored() const { return restored_; }
  bool saved() const { return saved_; }
  std::string settingsFile() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Binding {
    QPointer<QWidget> control;
    QString key;  // "eBaseDN_Text"
  };

  void RunReportingErrors(void (TFormStorage::*operation)());

  QWidget* form_;
  std::vector<Binding> bindings_;
  bool restored_ = false;
  bool saved_ = false;
};

// The text a control shows as "Text": a line edit's text, or an editable combo box's edit text.
QString ControlText(const QWidget* control);
void SetControlText(QWidget* control, const QString& text);

}  // namespace quorvane
