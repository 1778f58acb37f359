// The message sink the repair engine and the profile loader report through.
#pragma once

#include <cstddef>
#include <string_view>

namespace quorvane {

// Levels in use: progress, shown only as the latest status, and errors, which are also kept
// in the log pane (the window) or written to standard error (quorvane-fix).
inline constexpr int kLogProgress = 0;
inline constexpr int kLogError = 4;

class Log {
 public:
  virtual ~Log() = default;
  // `line` is the 1-based source line on which the record the message is about starts,
  // or 0 when the message belongs to no record.
  virtual void Write(std::string_view text, int level, std::size_t line) = 0;
  // Level-0 messages are formatted only for a sink that shows them, so that a run nobody
  // watches pays nothing for its progress messages.
  virtual bool WantsProgress() const { return false; }
};

}  // namespace quorvane
