// The window's message sink: the latest message in the status bar, errors also in the log pane.
#pragma once

#include <string>
#include <vector>

#include "engine/log.h"

class QPlainTextEdit;
class QStatusBar;

namespace quorvane {

// A repair run of a large book writes one progress message per source line, so messages are
// only kept while an operation runs; Flush() shows the latest in the status bar and appends
// the errors to the log pane, each as a line of its own ("line N: TEXT" when the message is
// about the record starting on source line N).
class WindowLog : public Log {
 public:
  WindowLog(QStatusBar* statusBar, QPlainTextEdit* logPane);

  void Write(std::string_view text, int level, std::size_t line) override;
  bool WantsProgress() const override { return true; }

  void Flush();

 private:
  QStatusBar* statusBar_;
  QPlainTextEdit* logPane_;
  std::string latest_;
  bool hasLatest_ = false;
  std::vector<std::string> errors_;
};

}  // namespace quorvane
