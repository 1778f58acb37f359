// Rewriting the lines of one LDIF record: DN escaping, profile rules, booleans, sn/cn.
#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/log.h"
#include "engine/text.h"
#include "engine/transform_map.h"

namespace quorvane {

// The trimmed, non-blank lines of one record, in source order. Clearing keeps the buffers of
// the entries, so a run that reuses one list allocates only when a record outgrows the
// records before it.
class RecordLines {
 public:
  RecordLines() = default;
  RecordLines(std::initializer_list<std::string_view> lines);

  void clear() { count_ = 0; }
  void push_back(std::string_view line) {
    if (count_ == lines_.size()) lines_.emplace_back();
    std::string& reused = lines_[count_];
    // Lists are passed from record to record, and line i of one record may be much shorter
    // than line i of the next: each buffer is made room for a typical line at once, then for
    // twice what it held, so that it soon fits whatever comes.
    if (reused.capacity() < line.size()) {
      reused.reserve(std::max({line.size(), 2 * reused.capacity(), kLineRoom}));
    }
    reused.assign(line);
    ++count_;
  }
  void pop_back() { --count_; }
  void swap(RecordLines& other) noexcept {
    lines_.swap(other.lines_);
    std::swap(count_, other.count_);
  }
  std::size_t size() const { return count_; }
  // Entries kept for reuse, the cleared ones included; operator[] reaches them all.
  std::size_t capacity() const { return lines_.size(); }
  bool empty() const { return count_ == 0; }
  std::string& operator[](std::size_t i) { return lines_[i]; }
  const std::string& operator[](std::size_t i) const { return lines_[i]; }
  std::string& back() { return lines_[count_ - 1]; }
  std::vector<std::string>::iterator begin() { return lines_.begin(); }
  std::vector<std::string>::iterator end() { return lines_.begin() + static_cast<long>(count_); }
  std::vector<std::string>::const_iterator begin() const { return lines_.begin(); }
  std::vector<std::string>::const_iterator end() const {
    return lines_.begin() + static_cast<long>(count_);
  }
  // The lines that are not empty, as the run writes them.
  std::vector<std::string> NonEmpty() const;

 private:
  static constexpr std::size_t kLineRoom = 32;
  std::vector<std::string> lines_;
  std::size_t count_ = 0;
};

// A line split at its first colon: the name is the text up to and including that colon,
// trimmed; the value is the rest, trimmed. A line without a colon has an empty name and is
// all value. A Base64 line `name:: data` gives the value ": data", which marks the encoded form.
struct NameValue {
  std::string_view name;
  std::string_view value;
};
inline NameValue SplitNameValue(std::string_view line) {
  const std::size_t colon = FindByte(line, ':');
  if (colon == line.size()) return {{}, TrimView(line)};
  return {TrimView(line.substr(0, colon + 1)), TrimView(line.substr(colon + 1))};
}

// Which lines of a record get a progress message ("fc: " + the line, level 0), for a log
// that wants progress at all.
enum class ProgressLines {
  kEvery,
  kLastOfRecord,  // a long run: the status shows the latest line at the pace of records
  kNone,          // nobody shows progress
};

// What the run needs to know about a record after its first pass.
struct RecordFacts {
  bool emptyDN = false;    // a dn: line with no value: no directory takes such an entry
  bool isGroup = false;    // objectclass groupOfNames or groupOfUniqueNames
  bool hasMember = false;  // a member: or uniqueMember: line
};

// What a first pass leaves for the second pass of the same record, so that the second pass
// need not read every line: the positions of the lines named "dn:", "sn:" or "cn:" after the
// first pass (the only ones it reads or rewrites), and the record's shape, which the second
// pass does not change.
struct FirstPassNotes {
  std::vector<std::size_t> nameLines;
  RecordFacts facts;
};

// What FixRecord reads besides the record itself.
struct RecordContext {
  std::string_view baseDN;  // as typed, without line breaks; only the emptiness test trims it
  const TransformMap* map = nullptr;
  Log* log = nullptr;
  std::size_t line = 0;  // the source line on which the record starts, for messages
  ProgressLines progress = ProgressLines::kEvery;
  FirstPassNotes* notes = nullptr;  // written by the first pass, read by the second
};

// Rewrites `lines` in place; an entry that becomes empty is to be dropped by the caller.
// First pass (`forcedDN` empty): every rule runs on every line, and `dnKey` is set to
// "dn: " + the escaped DN without the base DN when the record has a usable dn: line (it is
// left alone otherwise). Second pass (`forcedDN` = a made-unique key): only the dn: line
// (the forced DN plus the base DN) and the cn: lines (the new common name) are rewritten,
// and `dnKey` becomes `forcedDN`.
RecordFacts FixRecord(RecordLines& lines, bool isFirstRecord, std::string& dnKey,
                      std::string_view forcedDN, const RecordContext& context);

}  // namespace quorvane
