// Rewriting the lines of one LDIF record: DN escaping, profile rules, booleans, sn/cn.
#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/log.h"
#include "engine/text.h"
#include "engine/transform_map.h"

namespace quorvane {

// The trimmed, non-blank lines of one record, in source order. A line is either a copy the
// list owns or a view of bytes that stay put while the record is in use (a run over a whole
// text borrows the lines of that text, and copies only the lines it changes). Clearing keeps
// the buffers of the entries, so a run that reuses one list allocates only when a record
// outgrows the records before it.
class RecordLines {
 public:
  RecordLines() = default;
  RecordLines(std::initializer_list<std::string_view> lines);

  void clear() { count_ = 0; }
  // A copy of `line`.
  void push_back(std::string_view line) {
    Entry& entry = NextEntry();
    Copy(entry, line);
  }
  // `line` itself: its bytes must neither move nor change until the list is cleared.
  void push_borrowed(std::string_view line) {
    Entry& entry = NextEntry();
    entry.borrowed = line;
    entry.owns = false;
  }
  void pop_back() { --count_; }
  void swap(RecordLines& other) noexcept {
    entries_.swap(other.entries_);
    std::swap(count_, other.count_);
  }
  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }

  std::string_view operator[](std::size_t i) const {
    const Entry& entry = entries_[i];
    return entry.owns ? std::string_view(entry.owned) : entry.borrowed;
  }
  std::string_view back() const { return (*this)[count_ - 1]; }
  // Whether line i is a copy of the list's own.
  bool Owns(std::size_t i) const { return entries_[i].owns; }
  // Line i as a string of the list's own, to be changed in place (a borrowed line is copied
  // first; the bytes it borrowed stay as they are).
  std::string& Mutable(std::size_t i) {
    Entry& entry = entries_[i];
    if (!entry.owns) Copy(entry, entry.borrowed);
    return entry.owned;
  }
  // Line i becomes `line`, which must not lie in line i itself.
  void Assign(std::size_t i, std::string_view line) { Copy(entries_[i], line); }
  // Line i becomes the text of `line`, and `line` the line's old buffer.
  void SwapIn(std::size_t i, std::string& line) {
    Entry& entry = entries_[i];
    entry.owned.swap(line);
    entry.owns = true;
  }
  // Line i becomes empty: to be dropped when the record is written. (An empty string of the
  // list's own, not an empty view: its data() is never null, which memcpy and the like want.)
  void Erase(std::size_t i) {
    entries_[i].owned.clear();
    entries_[i].owns = true;
  }

  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::string_view;
    const_iterator() = default;
    const_iterator(const RecordLines* lines, std::size_t i) : lines_(lines), i_(i) {}
    std::string_view operator*() const { return (*lines_)[i_]; }
    const_iterator& operator++() {
      ++i_;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator before = *this;
      ++i_;
      return before;
    }
    bool operator==(const const_iterator& other) const { return i_ == other.i_; }

   private:
    const RecordLines* lines_ = nullptr;
    std::size_t i_ = 0;
  };
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, count_}; }
  // The lines that are not empty, as the run writes them.
  std::vector<std::string> NonEmpty() const;

 private:
  struct Entry {
    std::string owned;
    std::string_view borrowed;
    bool owns = true;
  };

  Entry& NextEntry() {
    if (count_ == entries_.size()) entries_.emplace_back();
    return entries_[count_++];
  }
  static void Copy(Entry& entry, std::string_view line) {
    std::string& reused = entry.owned;
    // Lists are passed from record to record, and line i of one record may be much shorter
    // than line i of the next: each buffer is made room for a typical line at once, then for
    // twice what it held, so that it soon fits whatever comes.
    if (reused.capacity() < line.size()) {
      reused.reserve(std::max({line.size(), 2 * reused.capacity(), kLineRoom}));
    }
    reused.assign(line);
    entry.owns = true;
  }

  static constexpr std::size_t kLineRoom = 32;
  std::vector<Entry> entries_;
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
