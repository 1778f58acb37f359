// Start-up of the Quorvane window program.
#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include <exception>

#include "ui/main_window.h"
#include "ui/services.h"
#include "ui/window_look.h"

namespace {

// The last line of defence of the default error handler: the window's handlers report their
// own failures, and anything that still escapes an event is shown here instead of ending the
// program.
class QuorvaneApplication : public QApplication {
 public:
  using QApplication::QApplication;

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      QMessageBox::critical(activeWindow(), applicationName(), quorvane::ErrorMessageText(e.what()));
    } catch (...) {
      QMessageBox::critical(activeWindow(), applicationName(),
                            quorvane::ErrorMessageText("Unknown error"));
    }
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  QuorvaneApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quorvane"));
  QApplication::setDesktopFileName(QStringLiteral("quorvane"));
  // Built in from app/icons (the installed copies are for the desktop's menus).
  QApplication::setWindowIcon(quorvane::WindowIcon());
  quorvane::TForm1 window;
  window.showMaximized();
  // Files given on the command line (the desktop entry's %F) load as a drop of them would.
  const QStringList files = QApplication::arguments().mid(1);
  if (!files.isEmpty()) window.OpenFiles(files);
  return QApplication::exec();
}
