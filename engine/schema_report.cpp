// The schema step's messages: one line per kind and attribute in a run, or one per record.
#include "engine/schema_report.h"

namespace quorvane {
namespace {

void AppendAction(SchemaAction action, std::size_t records, bool perRecord, std::string& out) {
  const std::string count = std::to_string(records) + (records == 1 ? " record" : " records");
  switch (action) {
    case SchemaAction::kDropped:
      out.append("; dropped");
      if (!perRecord) out.append(" from ").append(count);
      break;
    case SchemaAction::kRepaired:
      out.append("; repaired");
      if (!perRecord) out.append(" in ").append(count);
      break;
    case SchemaAction::kNoted:
      if (!perRecord && records > 1) out.append(" (").append(count).append(")");
      break;
  }
}

}  // namespace

std::string MessageFor(std::string_view templ, std::string_view name) {
  std::string text(templ);
  const std::size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, name);
  return text;
}

void SchemaReport::Note(std::string_view message, SchemaAction action, std::size_t recordLine) {
  if (log_ == nullptr) return;
  if (verbose_) {
    text_.assign(message);
    AppendAction(action, 1, true, text_);
    log_->Write(text_, kLogError, recordLine);
    return;
  }
  const auto [it, added] = index_.try_emplace(std::string(message), entries_.size());
  if (added) {
    entries_.push_back({std::string(message), action, recordLine, recordLine, 1});
    return;
  }
  Entry& entry = entries_[it->second];
  if (entry.lastLine == recordLine) return;  // the same record again
  entry.lastLine = recordLine;
  ++entry.records;
}

void SchemaReport::Flush() {
  for (const Entry& entry : entries_) {
    text_.assign(entry.message);
    AppendAction(entry.action, entry.records, false, text_);
    log_->Write(text_, kLogError, entry.firstLine);
  }
  entries_.clear();
  index_.clear();
}

}  // namespace quorvane
