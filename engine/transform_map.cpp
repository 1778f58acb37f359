// The attribute and whole-line rules of the selected transform profile.
#include "engine/transform_map.h"

#include <algorithm>
#include <cstring>

#include "engine/hash_slots.h"
#include "engine/text.h"
#include "engine/used_dns.h"

namespace quorvane {
namespace {

constexpr std::size_t kFirstTableSize = 64;

// EqualsNoCase for texts of the same size, eight bytes at a time.
bool SameFolded(const char* a, const char* b, std::size_t size) {
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t x;
    std::uint64_t y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y && LowerAsciiWord(x) != LowerAsciiWord(y)) return false;
  }
  for (; i < size; ++i) {
    if (a[i] != b[i] && LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

}  // namespace

void TransformMap::Clear() {
  entries_.clear();
  slots_.clear();
  indexed_ = 0;
  longestKey_ = 0;
  keyLengths_ = 0;
}

std::size_t TransformMap::Find(std::string_view name, std::uint32_t hash) const {
  if (slots_.empty()) return std::string_view::npos;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const std::uint64_t entry = slots_[slot];
    if (entry == 0) return std::string_view::npos;
    if (static_cast<std::uint32_t>(entry >> 32) != hash) continue;
    const std::size_t index = static_cast<std::uint32_t>(entry) - 1;
    const std::string& key = entries_[index].key;
    if (key.size() == name.size() && SameFolded(key.data(), name.data(), name.size())) {
      return index;
    }
  }
}

void TransformMap::Grow() { GrowHashSlots(slots_, kFirstTableSize); }

void TransformMap::Add(std::string key, std::string value) {
  if (key.size() > longestKey_) longestKey_ = key.size();
  keyLengths_ |= std::uint64_t{1} << std::min<std::size_t>(key.size(), 63);
  const std::uint32_t hash = FoldedHash(key);
  // The first of keys equal but for case wins: a later one is listed but not indexed.
  if (Find(key, hash) == std::string_view::npos) {
    if ((indexed_ + 1) * 2 > slots_.size()) Grow();
    const std::size_t mask = slots_.size() - 1;
    std::size_t slot = hash & mask;
    while (slots_[slot] != 0) slot = (slot + 1) & mask;
    slots_[slot] = (std::uint64_t{hash} << 32) | (entries_.size() + 1);
    ++indexed_;
  }
  entries_.push_back({std::move(key), std::move(value)});
}

std::string_view TransformMap::Lookup(std::string_view name) const {
  if (name.size() > longestKey_ ||
      (keyLengths_ & (std::uint64_t{1} << std::min<std::size_t>(name.size(), 63))) == 0) {
    return {};
  }
  const std::size_t index = Find(name, FoldedHash(name));
  return index == std::string_view::npos ? std::string_view() : std::string_view(entries_[index].value);
}

std::string TransformMap::EntryText(std::size_t i) const {
  return entries_[i].key + "=" + entries_[i].value;
}

}  // namespace quorvane
