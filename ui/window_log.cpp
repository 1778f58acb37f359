// The window's message sink: the latest message in the status bar, errors also in the log pane.
#include "ui/window_log.h"

#include <QPlainTextEdit>
#include <QStatusBar>

namespace quorvane {
namespace {

QString FromBytes(std::string_view bytes) {
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace

WindowLog::WindowLog(QStatusBar* statusBar, QPlainTextEdit* logPane)
    : statusBar_(statusBar), logPane_(logPane) {}

void WindowLog::Write(std::string_view text, int level, std::size_t line) {
  hasLatest_ = true;
  if (level <= 0) {
    latest_.assign(text);  // reuses its buffer: a progress message costs one copy
    return;
  }
  latest_ = line > 0 ? "line " + std::to_string(line) + ": " + std::string(text) : std::string(text);
  errors_.push_back(latest_);
}

void WindowLog::Flush() {
  if (hasLatest_) {
    statusBar_->showMessage(FromBytes(latest_));
    hasLatest_ = false;
  }
  if (!errors_.empty()) {
    QString block;
    for (const std::string& error : errors_) {
      if (!block.isEmpty()) block += '\n';
      block += FromBytes(error);
    }
    logPane_->appendPlainText(block);
    errors_.clear();
  }
}

}  // namespace quorvane
