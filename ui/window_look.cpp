// The window's skinned look: one style sheet, captioned panels, flat buttons, its own icon.
#include "ui/window_look.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

namespace quorvane {
namespace {

// Slate caption bars over light panels; buttons are flat tiles that darken under the mouse and
// take a blue frame with the keyboard focus, so the focus is visible without Qt's own
// focus rectangle.
const char kStyleSheet[] = R"(
QMainWindow, QWidget#centre { background: #e9edf1; }
QFrame#panel { background: #f7f9fa; border: 1px solid #9aa5b1; }
QLabel#panelCaption { background: #34495e; color: white; font-weight: bold; padding: 4px 8px; }
QSplitter::handle { background: #d5dbe1; border-left: 1px solid #ffffff;
                    border-right: 1px solid #9aa5b1; }
QSplitter::handle:hover { background: #b8c4cf; }
QPushButton { border: 1px solid #9aa5b1; border-radius: 0; background: #f7f9fa;
              color: #1f2d3a; padding: 4px 10px; }
QPushButton:hover { background: #dfe7ee; border-color: #34495e; }
QPushButton:focus { border: 2px solid #2e86de; }
QPushButton:pressed { background: #c4d0db; }
QPushButton:disabled { color: #9aa5b1; }
QLineEdit, QComboBox { border: 1px solid #9aa5b1; border-radius: 0; background: white;
                       padding: 2px 4px; }
QLineEdit:focus, QComboBox:focus { border: 1px solid #2e86de; }
QLabel#directoryState[failed="true"] { color: #b03a2e; }
QStatusBar { background: #dfe4e9; border-top: 1px solid #9aa5b1; }
)";

class HeightFollower : public QObject {
 public:
  HeightFollower(QWidget* leader, QWidget* follower) : QObject(leader), follower_(follower) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Resize && follower_) {
      follower_->setFixedHeight(static_cast<QWidget*>(watched)->height());
    }
    return false;
  }

 private:
  QPointer<QWidget> follower_;
};

}  // namespace

const char* WindowStyleSheet() { return kStyleSheet; }

QWidget* CaptionedPanel(const QString& caption, QWidget* content, QWidget* buddy) {
  auto* panel = new QFrame;
  panel->setObjectName(QStringLiteral("panel"));
  panel->setFrameShape(QFrame::StyledPanel);
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(1, 1, 1, 1);
  layout->setSpacing(0);
  auto* title = new QLabel(caption);
  title->setObjectName(QStringLiteral("panelCaption"));
  if (buddy) title->setBuddy(buddy);
  layout->addWidget(title);
  layout->addWidget(content, 1);
  return panel;
}

void KeepSameHeight(QWidget* leader, QWidget* follower) {
  leader->installEventFilter(new HeightFollower(leader, follower));
  follower->setFixedHeight(leader->sizeHint().height());
}

QIcon WindowIcon() { return QIcon(QStringLiteral(":/icons/quorvane.png")); }

}  // namespace quorvane
