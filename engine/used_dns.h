// The DN keys of one repair run, in order, with a case-insensitive membership test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string_view>
#include <vector>

namespace quorvane {

// Keys are stored as given; Contains() compares with ASCII letters folded, because a
// directory matches cn and mail without regard to case.
//
// A run over a million-record book keeps a million keys, so they are packed: the bytes of all
// keys in large shared blocks, the list as (pointer, length, hash) triples, and an
// open-addressing table of list positions for the lookups. That costs about 30 bytes per key
// besides the key itself, and nothing is ever copied as the list grows.
class UsedDNs {
 public:
  UsedDNs() = default;
  UsedDNs(const UsedDNs&) = delete;
  UsedDNs& operator=(const UsedDNs&) = delete;

  void Clear();
  void Add(std::string_view key);
  // Adds `key` unless an equal key (ASCII case ignored) is there already; true when added.
  bool AddIfAbsent(std::string_view key);
  // The same for a key whose FoldedHash() is known already, worked out on another thread, say.
  bool AddIfAbsent(std::string_view key, std::uint32_t hash);
  // A hint, some keys ahead of their lookups: fetch the table slot where a key with this
  // FoldedHash() is looked for, so that the lookups do not wait for memory one by one.
  void Prefetch(std::uint32_t hash) const {
    if (!slots_.empty()) __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
  }
  // The second step, a few keys later, once the slot has come: fetch the stored key it points
  // at when that key has the same hash, for the comparison a repeated key needs.
  void PrefetchStoredKey(std::uint32_t hash) const;
  bool Contains(std::string_view key) const;

  std::size_t size() const { return keys_.size(); }
  bool empty() const { return keys_.empty(); }
  std::string_view operator[](std::size_t i) const { return {keys_[i].data, keys_[i].size}; }

 private:
  struct Key {
    const char* data;
    std::uint32_t size;
    std::uint32_t hash;
  };

  const char* Store(std::string_view key);
  std::size_t FindSlot(std::string_view key, std::uint32_t hash) const;
  void Grow();
  void Append(std::string_view key, std::uint32_t hash, std::size_t slot);

  std::vector<std::unique_ptr<char[]>> blocks_;
  char* free_ = nullptr;  // unused tail of the last block
  std::size_t freeLeft_ = 0;
  std::deque<Key> keys_;
  // Each slot holds a key's hash in its upper half and its list position + 1 in the lower
  // half; 0 marks an empty slot. The size is a power of two, at most half of it in use.
  std::vector<std::uint64_t> slots_;
};

// The hash UsedDNs uses: equal for strings that differ only in the case of ASCII letters.
std::uint32_t FoldedHash(std::string_view text);

}  // namespace quorvane
