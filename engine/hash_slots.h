// Open-addressing tables of list positions, shared by the DN keys and the profile's rules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvane {

// A table slot holds an entry's 32-bit hash in its upper half and its list position + 1 in the
// lower half; 0 marks an empty slot. Lookups probe linearly from hash & (size - 1); the size is
// a power of two. Grows the table to twice its size (to `firstSize` when empty), every entry
// moved to its new place.
inline void GrowHashSlots(std::vector<std::uint64_t>& slots, std::size_t firstSize) {
  std::vector<std::uint64_t> old = std::move(slots);
  slots.assign(old.empty() ? firstSize : old.size() * 2, 0);
  const std::size_t mask = slots.size() - 1;
  for (const std::uint64_t entry : old) {
    if (entry == 0) continue;
    std::size_t slot = (entry >> 32) & mask;
    while (slots[slot] != 0) slot = (slot + 1) & mask;
    slots[slot] = entry;
  }
}

}  // namespace quorvane
