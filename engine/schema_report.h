// The schema step's messages: one line per kind and attribute in a run, or one per record.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/log.h"

namespace quorvane {

// What became of what a message names.
enum class SchemaAction {
  kDropped,   // "...; dropped" / "...; dropped from 43 records"
  kRepaired,  // "...; repaired" / "...; repaired in 2 records"
  kNoted,     // the message says it all; "(3 records)" when there are more
};

// Collects the schema step's messages. By default each distinct message is written once, when
// the run ends, at the line of the first record it touched and with the number of records it
// touched; verbose, each is written at once for every record.
class SchemaReport {
 public:
  SchemaReport(Log* log, bool verbose) : log_(log), verbose_(verbose) {}

  // The message is `templ` (from the table in messages.h) with its "%s" replaced by `name`,
  // then `detail` (" (not UTF-8)", "; replaced by ..."), then what became of it. A record (known
  // by its first line) counts once per message; names are compared without regard to case.
  void Note(std::string_view templ, std::string_view name, std::string_view detail,
            SchemaAction action, std::size_t recordLine) {
    Count(Message(templ, name, detail, action), recordLine);
  }
  // The same in two halves, for a caller that meets one message in record after record: the
  // message's number, found or made once, and the count of one record.
  std::size_t Message(std::string_view templ, std::string_view name, std::string_view detail,
                      SchemaAction action);
  void Count(std::size_t message, std::size_t recordLine);
  // Writes the collected messages, in the order they first came.
  void Flush();

 private:
  struct Entry {
    std::string message;
    SchemaAction action;
    std::size_t firstLine = 0;
    std::size_t lastLine = 0;
    std::size_t records = 0;
  };
  Log* log_;
  bool verbose_;
  std::vector<Entry> entries_;
  std::unordered_map<std::string, std::size_t> index_;  // message -> entries_ position
  std::string text_;
  std::string key_;
};

// The message template with its "%s" replaced by `name`.
std::string MessageFor(std::string_view templ, std::string_view name);

}  // namespace quorvane
