// The attribute and whole-line rules of the selected transform profile.
#include "engine/transform_map.h"

namespace quorvane {

void TransformMap::Clear() {
  entries_.clear();
  first_.clear();
}

void TransformMap::Add(std::string key, std::string value) {
  first_.try_emplace(key, entries_.size());  // a later key equal but for case is not indexed
  entries_.push_back({std::move(key), std::move(value)});
}

std::string_view TransformMap::Lookup(std::string_view name) const {
  const auto found = first_.find(name);
  return found == first_.end() ? std::string_view() : std::string_view(entries_[found->second].value);
}

std::string TransformMap::EntryText(std::size_t i) const {
  return entries_[i].key + "=" + entries_[i].value;
}

}  // namespace quorvane
