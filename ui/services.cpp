// The desktop services behind the window: Qt's dialogs, message boxes, clock and URL handler.
#include "ui/services.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace quorvane {
namespace {

class QtFileDialogs : public FileDialogs {
 public:
  QString OpenFileName(QWidget* parent, const QString& preset) override {
    return QFileDialog::getOpenFileName(parent, QString(), preset);
  }

  QString SaveFileName(QWidget* parent, const QString& preset,
                       const QString& defaultSuffix) override {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The window asks before replacing, after the default suffix has been added.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.selectFile(preset);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
  }
};

class QtMessageBoxes : public MessageBoxes {
 public:
  void Error(QWidget* parent, const QString& caption, const QString& text) override {
    QMessageBox::critical(parent, caption, text);
  }

  void Plain(QWidget* parent, const QString& caption, const QString& text) override {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
    box.exec();
  }

  bool AskOkCancel(QWidget* parent, const QString& caption, const QString& text) override {
    QMessageBox box(QMessageBox::Information, caption, text,
                    QMessageBox::Ok | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
  }

  bool AskYesNo(QWidget* parent, const QString& caption, const QString& text) override {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
  }
};

class QtPasswordPrompt : public PasswordPrompt {
 public:
  std::optional<QString> AskPassword(QWidget* parent, const QString& caption,
                                     const QString& text) override {
    bool ok = false;
    const QString password =
        QInputDialog::getText(parent, caption, text, QLineEdit::Password, QString(), &ok);
    if (!ok) return std::nullopt;
    return password;
  }
};

class SystemClock : public Clock {
 public:
  QDateTime Now() override { return QDateTime::currentDateTime(); }
};

class DesktopUrlOpener : public UrlOpener {
 public:
  void Open(const QUrl& url) override { QDesktopServices::openUrl(url); }
};

}  // namespace

Services Services::Desktop() {
  return Services{std::make_shared<QtFileDialogs>(), std::make_shared<QtMessageBoxes>(),
                  std::make_shared<SystemClock>(), std::make_shared<DesktopUrlOpener>(),
                  std::make_shared<QtPasswordPrompt>()};
}

QString ErrorMessageText(std::string_view message) {
  QString text = QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()));
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') text += '.';
  return text;
}

FileDialogControl::FileDialogControl(Mode mode, QObject* parent) : QObject(parent), mode_(mode) {}

bool FileDialogControl::Execute(FileDialogs& dialogs, QWidget* parent) {
  const QString chosen = mode_ == Mode::Open
                             ? dialogs.OpenFileName(parent, fileName_)
                             : dialogs.SaveFileName(parent, fileName_, defaultSuffix_);
  if (chosen.isEmpty()) return false;
  fileName_ = chosen;
  return true;
}

}  // namespace quorvane
