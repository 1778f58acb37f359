// The attribute and whole-line rules of the selected transform profile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// An ordered list of key=value entries. Lookup ignores ASCII letter case and the first of
// several keys that are equal but for case wins; a missing key and an empty value both
// look up as "".
class TransformMap {
 public:
  struct Entry {
    std::string key;
    std::string value;
  };

  void Clear();
  void Add(std::string key, std::string value);
  std::string_view Lookup(std::string_view name) const;

  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  const Entry& operator[](std::size_t i) const { return entries_[i]; }
  // The entry as the profile list shows it: "key=value".
  std::string EntryText(std::size_t i) const;

 private:
  // The entry whose key equals `name` but for ASCII letter case, or npos.
  std::size_t Find(std::string_view name, std::uint32_t hash) const;
  void Grow();

  std::vector<Entry> entries_;
  // An open-addressing table over the first of every set of keys that are equal but for case:
  // each slot holds that key's FoldedHash() in its upper half and its entry index + 1 in the
  // lower half; 0 marks an empty slot. The size is a power of two, at most half of it in use.
  // Hashing and comparing with letters folded lets a lookup use the name as it stands,
  // without making a lower-cased copy of every line.
  std::vector<std::uint64_t> slots_;
  std::size_t indexed_ = 0;     // keys in the table
  std::size_t longestKey_ = 0;  // a longer name cannot match, so it is not even hashed
  // Bit n set: some key has n bytes (n < 64; bit 63 stands for every longer length). A name of
  // another length is not hashed: most lines of a record match no whole-line key.
  std::uint64_t keyLengths_ = 0;
};

}  // namespace quorvane
