// The attribute and whole-line rules of the selected transform profile.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/text.h"

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
  std::vector<Entry> entries_;
  // The position in `entries_` of the first entry of every key, letters folded.
  std::unordered_map<std::string, std::size_t, NoCaseHash, NoCaseEqual> first_;
};

}  // namespace quorvane
