// screenshot_gui: opens the window on a book, repairs it, and saves a picture of the screen.
//
//   xvfb-run -s "-screen 0 1280x800x24" screenshot_gui BOOK.ldif PROFILE OUT.png
//
// Used for the picture in the README; the settings file is neither read nor written.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cstdio>

#include "ui/editor_pane.h"
#include "ui/form_storage.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quorvane"));
  if (argc != 4) {
    std::fprintf(stderr, "usage: screenshot_gui BOOK.ldif PROFILE OUT.png\n");
    return 2;
  }
  quorvane::TForm1 window;
  window.FormStorage1->Active = false;
  window.showMaximized();
  // A virtual display has no window manager to maximise the window.
  window.setGeometry(window.screen()->availableGeometry());
  window.source->LoadFile(argv[1]);
  window.eFilename->setText(QString::fromLocal8Bit(argv[1]));
  window.cbIni->setEditText(QString::fromLocal8Bit(argv[2]));
  window.cbIniChange();
  window.suiButton1->click();

  const QString output = QString::fromLocal8Bit(argv[3]);
  QTimer::singleShot(1500, &window, [&] {
    const bool saved = window.screen()->grabWindow(0).save(output);
    if (!saved) std::fprintf(stderr, "cannot write %s\n", argv[3]);
    QApplication::exit(saved ? 0 : 1);
  });
  return QApplication::exec();
}
