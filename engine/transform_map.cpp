// The attribute and whole-line rules of the selected transform profile.
#include "engine/transform_map.h"

#include "engine/text.h"

namespace quorvane {

void TransformMap::Clear() {
  entries_.clear();
  index_.clear();
}

void TransformMap::Add(std::string key, std::string value) {
  index_.try_emplace(LowerCase(key), entries_.size());
  entries_.push_back({std::move(key), std::move(value)});
}

std::string_view TransformMap::Lookup(std::string_view name) const {
  if (entries_.empty()) return {};
  auto it = index_.find(LowerCase(name));
  return it == index_.end() ? std::string_view() : std::string_view(entries_[it->second].value);
}

std::string TransformMap::EntryText(std::size_t i) const {
  return entries_[i].key + "=" + entries_[i].value;
}

}  // namespace quorvane
