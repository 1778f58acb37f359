// The schema step's messages: one line per kind and attribute in a run, or one per record.
#include "engine/schema_report.h"

#include <cstdint>

#include "engine/text.h"

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

void SchemaReport::Note(std::string_view templ, std::string_view name, std::string_view detail,
                        SchemaAction action, std::size_t recordLine) {
  if (log_ == nullptr) return;
  if (verbose_) {
    text_ = MessageFor(templ, name).append(detail);
    AppendAction(action, 1, true, text_);
    log_->Write(text_, kLogError, recordLine);
    return;
  }
  // The key: which template (its address), the name in lower case, the detail. One message
  // whatever the letter case its records wrote the name in ("mozillaHomeStreet",
  // "mozillahomestreet"); the first record's spelling is the one shown.
  const auto address = reinterpret_cast<std::uintptr_t>(templ.data());
  key_.assign(reinterpret_cast<const char*>(&address), sizeof address);
  for (const char c : name) key_.push_back(LowerAscii(c));
  key_.push_back('\0');
  key_.append(detail);
  const auto found = index_.find(key_);
  if (found == index_.end()) {
    index_.emplace(key_, entries_.size());
    entries_.push_back({MessageFor(templ, name).append(detail), action, recordLine, recordLine, 1});
    return;
  }
  Entry& entry = entries_[found->second];
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
