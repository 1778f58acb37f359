// The DN keys of one repair run, in order, with a case-insensitive membership test.
#include "engine/used_dns.h"

#include <cstring>
#include <memory>
#include <stdexcept>

#include "engine/hash_slots.h"
#include "engine/text.h"

namespace quorvane {
namespace {

constexpr std::size_t kBlockSize = 1 << 20;
constexpr std::size_t kFirstTableSize = 1024;

std::uint64_t Mix(std::uint64_t hash, std::uint64_t word) {
  hash = (hash ^ word) * 0x9E3779B97F4A7C15ull;
  return hash ^ (hash >> 29);
}

}  // namespace

std::uint32_t FoldedHash(std::string_view text) {
  std::uint64_t hash = text.size() * 0xC2B2AE3D27D4EB4Full;
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    hash = Mix(hash, LowerAsciiWord(word));
  }
  if (i < text.size()) {
    std::uint64_t word = 0;
    std::memcpy(&word, text.data() + i, text.size() - i);
    hash = Mix(hash, LowerAsciiWord(word));
  }
  hash *= 0xFF51AFD7ED558CCDull;
  return static_cast<std::uint32_t>(hash >> 32);
}

void UsedDNs::Clear() {
  blocks_.clear();
  free_ = nullptr;
  freeLeft_ = 0;
  keys_.clear();
  keys_.shrink_to_fit();
  slots_.clear();
  slots_.shrink_to_fit();
}

const char* UsedDNs::Store(std::string_view key) {
  if (key.empty()) return "";  // nothing to copy, and an empty view may be null
  if (key.size() > freeLeft_) {
    // A key longer than a block gets a block of its own; the open block stays in use.
    if (key.size() > kBlockSize / 4) {
      blocks_.push_back(std::make_unique_for_overwrite<char[]>(key.size()));
      std::memcpy(blocks_.back().get(), key.data(), key.size());
      return blocks_.back().get();
    }
    // Not zero-filled: a run with few keys would otherwise touch the whole block.
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlockSize));
    free_ = blocks_.back().get();
    freeLeft_ = kBlockSize;
  }
  char* stored = free_;
  std::memcpy(stored, key.data(), key.size());
  free_ += key.size();
  freeLeft_ -= key.size();
  return stored;
}

// The slot holding `key`, or the empty slot where it belongs. The table is never full.
std::size_t UsedDNs::FindSlot(std::string_view key, std::uint32_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const std::uint64_t entry = slots_[slot];
    if (entry == 0) return slot;
    if (static_cast<std::uint32_t>(entry >> 32) != hash) continue;
    const Key& stored = keys_[static_cast<std::uint32_t>(entry) - 1];
    if (EqualsNoCase({stored.data, stored.size}, key)) return slot;
  }
}

void UsedDNs::PrefetchStoredKey(std::uint32_t hash) const {
  if (slots_.empty()) return;
  const std::uint64_t entry = slots_[hash & (slots_.size() - 1)];  // the first slot probed only
  if (entry == 0 || static_cast<std::uint32_t>(entry >> 32) != hash) return;
  __builtin_prefetch(keys_[static_cast<std::uint32_t>(entry) - 1].data);
}

void UsedDNs::Grow() { GrowHashSlots(slots_, kFirstTableSize); }

void UsedDNs::Append(std::string_view key, std::uint32_t hash, std::size_t slot) {
  keys_.push_back({Store(key), static_cast<std::uint32_t>(key.size()), hash});
  // The list keeps every key, a repeated one too; the table points at the first of them.
  if (slots_[slot] == 0) slots_[slot] = (std::uint64_t{hash} << 32) | keys_.size();
}

void UsedDNs::Add(std::string_view key) {
  if (key.size() > UINT32_MAX || keys_.size() >= UINT32_MAX - 1) {
    throw std::length_error("too many or too long DN keys");
  }
  if ((keys_.size() + 1) * 2 > slots_.size()) Grow();
  const std::uint32_t hash = FoldedHash(key);
  Append(key, hash, FindSlot(key, hash));
}

bool UsedDNs::AddIfAbsent(std::string_view key) { return AddIfAbsent(key, FoldedHash(key)); }

bool UsedDNs::AddIfAbsent(std::string_view key, std::uint32_t hash) {
  if (key.size() > UINT32_MAX || keys_.size() >= UINT32_MAX - 1) {
    throw std::length_error("too many or too long DN keys");
  }
  if ((keys_.size() + 1) * 2 > slots_.size()) Grow();
  const std::size_t slot = FindSlot(key, hash);
  if (slots_[slot] != 0) return false;
  Append(key, hash, slot);
  return true;
}

bool UsedDNs::Contains(std::string_view key) const {
  if (keys_.empty()) return false;
  return slots_[FindSlot(key, FoldedHash(key))] != 0;
}

}  // namespace quorvane
