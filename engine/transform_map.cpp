// The attribute and whole-line rules of the selected transform profile.
#include "engine/transform_map.h"

#include <algorithm>

#include "engine/text.h"

namespace quorvane {

std::size_t TransformMap::FoldedHash::operator()(std::string_view key) const {
  std::size_t hash = 1469598103934665603ull;  // FNV-1a over the folded bytes
  for (char c : key) {
    hash ^= static_cast<unsigned char>(LowerAscii(c));
    hash *= 1099511628211ull;
  }
  return hash;
}

bool TransformMap::FoldedEqual::operator()(std::string_view a, std::string_view b) const {
  return EqualsNoCase(a, b);
}

void TransformMap::Clear() {
  entries_.clear();
  index_.clear();
  longestKey_ = 0;
  keyLengths_ = 0;
}

void TransformMap::Add(std::string key, std::string value) {
  if (key.size() > longestKey_) longestKey_ = key.size();
  keyLengths_ |= std::uint64_t{1} << std::min<std::size_t>(key.size(), 63);
  index_.try_emplace(key, entries_.size());  // the first of keys equal but for case wins
  entries_.push_back({std::move(key), std::move(value)});
}

std::string_view TransformMap::Lookup(std::string_view name) const {
  if (name.size() > longestKey_ ||
      (keyLengths_ & (std::uint64_t{1} << std::min<std::size_t>(name.size(), 63))) == 0) {
    return {};
  }
  auto it = index_.find(name);
  return it == index_.end() ? std::string_view() : std::string_view(entries_[it->second].value);
}

std::string TransformMap::EntryText(std::size_t i) const {
  return entries_[i].key + "=" + entries_[i].value;
}

}  // namespace quorvane
