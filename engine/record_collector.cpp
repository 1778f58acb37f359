// Gathering source lines into records: trimming, RFC 2849 folding, blank-line separators.
#include "engine/record_collector.h"

#include "engine/text.h"

namespace quorvane {
namespace {

bool IsDNLine(std::string_view line) { return line.starts_with("dn:"); }

}  // namespace

bool IsContinuation(std::string_view line) {
  return line.size() >= 2 && line[0] == ' ' && line[1] != ' ';
}

void RecordCollector::Add(std::string_view raw, std::size_t lineNumber) {
  if (previousNonBlank_ && IsContinuation(raw)) {
    record_[used_ - 1].append(raw.substr(1));
    return;
  }
  SettleLastLine();
  const std::string_view line = TrimStartView(raw);  // empty for a blank line
  previousNonBlank_ = !line.empty();
  if (line.empty()) {
    EndRecord();
    return;
  }
  if (used_ == 0) recordLine_ = lineNumber;
  // The line keeps the blanks at its end until it is complete: a continuation joins it after
  // them. The strings of the records before are written over, so that their room is used again.
  if (used_ < record_.size()) {
    record_[used_].assign(line);
  } else {
    record_.emplace_back(line);
  }
  ++used_;
  lastOpen_ = true;
  lastLine_ = lineNumber;
}

void RecordCollector::Finish() {
  SettleLastLine();
  EndRecord();
  previousNonBlank_ = false;
}

// The record's last line is complete once another line comes. A DN line in a record that has
// one already starts a record of its own ("d" continued by "n: x" is a DN line too).
void RecordCollector::SettleLastLine() {
  if (!lastOpen_) return;
  lastOpen_ = false;
  std::string& last = record_[used_ - 1];
  last.resize(TrimEndView(last).size());
  if (!IsDNLine(last)) return;
  if (recordHasDN_) {
    std::string dnLine = std::move(record_[used_ - 1]);
    --used_;
    EndRecord();
    recordLine_ = lastLine_;
    record_[0] = std::move(dnLine);  // EndRecord left at least this one string
    used_ = 1;
  }
  recordHasDN_ = true;
}

void RecordCollector::EndRecord() {
  recordHasDN_ = false;
  if (used_ == 0) return;
  record_.resize(used_);
  take_(record_, recordLine_);
  used_ = 0;
  if (record_.empty()) record_.emplace_back();
}

}  // namespace quorvane
