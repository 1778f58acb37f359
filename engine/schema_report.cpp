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

std::size_t SchemaReport::Message(std::string_view templ, std::string_view name,
                                  std::string_view detail, SchemaAction action) {
  // The key: which template (its address), the name in lower case, the detail. One message
  // whatever the letter case its records wrote the name in ("mozillaHomeStreet",
  // "mozillahomestreet"); the first spelling met is the one shown.
  const auto address = reinterpret_cast<std::uintptr_t>(templ.data());
  key_.assign(reinterpret_cast<const char*>(&address), sizeof address);
  for (const char c : name) key_.push_back(LowerAscii(c));
  key_.push_back('\0');
  key_.append(detail);
  const auto [found, added] = index_.try_emplace(key_, entries_.size());
  if (added) entries_.push_back({MessageFor(templ, name).append(detail), action});
  return found->second;
}

void SchemaReport::Count(std::size_t message, std::size_t recordLine) {
  Entry& entry = entries_[message];
  if (verbose_) {
    if (log_ == nullptr) return;
    text_.assign(entry.message);
    AppendAction(entry.action, 1, true, text_);
    log_->Write(text_, kLogError, recordLine);
    return;
  }
  if (entry.records > 0 && entry.lastLine == recordLine) return;  // the same record again
  if (entry.records == 0) entry.firstLine = recordLine;
  entry.lastLine = recordLine;
  ++entry.records;
}

void SchemaReport::Flush() {
  if (log_ == nullptr || verbose_) return;
  for (const Entry& entry : entries_) {
    if (entry.records == 0) continue;
    text_.assign(entry.message);
    AppendAction(entry.action, entry.records, false, text_);
    log_->Write(text_, kLogError, entry.firstLine);
  }
  entries_.clear();
  index_.clear();
}

}  // namespace quorvane
