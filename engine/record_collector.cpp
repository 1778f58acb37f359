// Gathering source lines into records: trimming, RFC 2849 folding, blank-line separators.
#include "engine/record_collector.h"

#include <algorithm>

#include "engine/text.h"

namespace quorvane {
namespace {

bool IsDNLine(std::string_view line) { return line.starts_with("dn:"); }

}  // namespace

bool IsContinuation(std::string_view line) {
  return line.size() >= 2 && line[0] == ' ' && line[1] != ' ';
}

void RecordCollector::Add(std::string_view raw, std::size_t lineNumber) {
  if (lastOpen_) {
    if (IsContinuation(raw)) return Continue(raw.substr(1));
    SettleLastLine();
  }
  const std::string_view line = TrimStartView(raw);
  if (line.empty()) return EndRecord();  // a blank line
  if (used_ == 0) recordLine_ = lineNumber;
  // The line keeps the blanks at its end until it is complete: a continuation joins it after
  // them.
  std::string& last = NextLine();
  last.assign(line);
  lastSize_ = TrimEndView(line).size();
  lastOpen_ = true;
  lastLine_ = lineNumber;
}

void RecordCollector::Finish() {
  if (lastOpen_) SettleLastLine();
  EndRecord();
}

void RecordCollector::Continue(std::string_view continuation) {
  std::string& last = record_[used_ - 1];
  last.append(continuation);
  lastSize_ = TrimEndView(last).size();
}

// The record's last line is complete once another line comes. A DN line in a record that has
// one already starts a record of its own ("d" continued by "n: x" is a DN line too).
void RecordCollector::SettleLastLine() {
  lastOpen_ = false;
  std::string& last = record_[used_ - 1];
  if (last.size() > lastSize_) last.erase(lastSize_);  // the blanks at its end
  if (IsDNLine(last)) SettleDNLine();
}

void RecordCollector::SettleDNLine() {
  if (recordHasDN_) {
    std::string dnLine = std::move(record_[used_ - 1]);
    --used_;
    EndRecord();
    recordLine_ = lastLine_;
    NextLine().swap(dnLine);
  }
  recordHasDN_ = true;
}

// The string for the record's next line. The strings of the records before are written over,
// so that their room is used again.
std::string& RecordCollector::NextLine() {
  if (used_ == record_.size()) GrowRecord();
  return record_[used_++];
}

void RecordCollector::GrowRecord() {
  if (spare_.empty()) {
    record_.emplace_back();
  } else {
    record_.push_back(std::move(spare_.back()));
    spare_.pop_back();
  }
}

void RecordCollector::EndRecord() {
  recordHasDN_ = false;
  if (used_ == 0) return;
  // The strings past the record's lines keep their room for the records to come, as many as
  // the longest record so far needs.
  longest_ = std::max(longest_, used_);
  while (record_.size() > used_) {
    if (used_ + spare_.size() < longest_) spare_.push_back(std::move(record_.back()));
    record_.pop_back();
  }
  take_(record_, recordLine_);
  used_ = 0;
}

}  // namespace quorvane
