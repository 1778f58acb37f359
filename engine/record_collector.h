// Gathering source lines into records: trimming, RFC 2849 folding, blank-line separators.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "engine/record_lines.h"

namespace quorvane {

// RFC 2849 folding: a line starting with exactly one space and then something else continues
// the line before. Deeper indentation is taken as an indented line of its own.
bool IsContinuation(std::string_view line);

// Gathers source lines into records. A non-blank line goes into the record trimmed; while
// continuation lines may still follow it, they are appended to it (after the blanks at its
// end, which are trimmed once it is complete), and only then is it known whether it is a DN
// line. A blank line ends the record, and
// so does a second DN line: the blank line between two records was left out. A leading
// "version: 1" is no DN line, so it stays with the record that follows it (RFC 2849).
class RecordCollector {
 public:
  // Receives each finished record with the source line it starts on; it may take the lines.
  using Take = std::function<void(RecordLines& lines, std::size_t firstLine)>;
  explicit RecordCollector(Take take) : take_(std::move(take)) {}

  // `lineNumber`: the line's 1-based number in the source.
  void Add(std::string_view raw, std::size_t lineNumber);
  // Ends the last record: no more lines come.
  void Finish();

 private:
  void Continue(std::string_view continuation);
  void SettleLastLine();
  void SettleDNLine();
  std::string& NextLine();
  void GrowRecord();
  void EndRecord();

  Take take_;
  RecordLines record_;
  std::size_t used_ = 0;  // the first `used_` strings of `record_` are the record's lines
  RecordLines spare_;     // strings no record holds now, kept for their room
  std::size_t longest_ = 0;  // the most lines a record had so far
  std::size_t recordLine_ = 0;
  bool recordHasDN_ = false;
  bool lastOpen_ = false;     // the record's last line may still be continued; its end is
                              // not trimmed yet
  std::size_t lastSize_ = 0;  // that line's size once its end is trimmed
  std::size_t lastLine_ = 0;  // the source line that last line started on
};

}  // namespace quorvane
