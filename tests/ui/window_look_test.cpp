// Tests of the window's look: level caption bars, a draggable divider, the window's own icon.
#include <QLabel>
#include <QSplitter>

#include "tests/ui/main_window_fixture.h"

namespace quorvane {
namespace {

class WindowLookTest : public MainWindowTest {
 protected:
  // The caption bars' tops in window coordinates, by caption text.
  static std::map<QString, int> captionTops(const TForm1& window) {
    std::map<QString, int> tops;
    for (const QLabel* caption : window.findChildren<QLabel*>("panelCaption")) {
      tops[QString(caption->text()).remove('&')] = caption->mapTo(&window, QPoint(0, 0)).y();
    }
    return tops;
  }
};

// The Settings and Log caption bars sat about 60 pixels apart.
TEST_F(WindowLookTest, CaptionBarsAreLevelAcrossTheColumnsAtEverySize) {
  writeFile("app/long.ini", "[info]\ndescription=" + QByteArray(600, 'w').replace(7, 1, " ") +
                                QByteArray(" and more words to wrap") .repeated(12) + "\n");
  auto window = makeWindow();
  window->show();
  for (const QSize size : {QSize(1400, 900), QSize(800, 600), QSize(917, 535)}) {
    for (const char* profile : {"", "long"}) {
      SCOPED_TRACE(QString("%1x%2 %3").arg(size.width()).arg(size.height()).arg(profile).toStdString());
      window->resize(size);
      window->cbIni->setEditText(profile);
      window->cbIniChange();
      settle(*window);
      std::map<QString, int> tops = captionTops(*window);
      ASSERT_EQ(tops.size(), 4u);
      EXPECT_EQ(tops["Settings"], tops["Log"]);
      EXPECT_EQ(tops["Source LDIF (paste code here)"], tops["Result"]);
      EXPECT_GT(tops["Settings"], tops["Source LDIF (paste code here)"]);
    }
  }
}

TEST_F(WindowLookTest, DividerStaysDraggableAndTheWindowHasItsOwnIcon) {
  auto window = makeWindow();
  window->resize(1400, 900);
  window->show();
  settle(*window);
  auto* splitter = window->findChild<QSplitter*>();
  ASSERT_NE(splitter, nullptr);
  EXPECT_EQ(splitter->sizes().value(0), 431);
  QSplitterHandle* handle = splitter->handle(1);
  const QPoint grip = handle->rect().center();
  QTest::mousePress(handle, Qt::LeftButton, {}, grip);
  QMouseEvent move(QEvent::MouseMove, QPointF(grip + QPoint(150, 0)), handle->mapToGlobal(QPointF(grip + QPoint(150, 0))),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(handle, &move);
  QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(150, 0));
  EXPECT_EQ(splitter->sizes().value(0), 581);

  const QIcon icon = window->windowIcon();
  ASSERT_FALSE(icon.isNull());
  EXPECT_EQ(icon.pixmap(256).size(), QSize(256, 256));
}

}  // namespace
}  // namespace quorvane
