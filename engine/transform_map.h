// The attribute and whole-line rules of the selected transform profile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
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
  // Hashing and comparing with ASCII letters folded lets a lookup use the name as it stands,
  // without making a lower-cased copy of every line.
  struct FoldedHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view key) const;
  };
  struct FoldedEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };

  std::vector<Entry> entries_;
  std::unordered_map<std::string, std::size_t, FoldedHash, FoldedEqual> index_;  // -> first entry
  std::size_t longestKey_ = 0;  // a longer name cannot match, so it is not even hashed
  // Bit n set: some key has n bytes (n < 64; bit 63 stands for every longer length). A name of
  // another length is not hashed: most lines of a record match no whole-line key.
  std::uint64_t keyLengths_ = 0;
};

}  // namespace quorvane
