// The DN keys of one repair run, in order, with a membership test that ignores ASCII case.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_set>

#include "engine/text.h"

namespace quorvane {

// Keys are kept as given, in the order they came; lookups fold ASCII letters, because a
// directory matches cn and mail without regard to case. The list owns each key's bytes (a
// deque never moves its elements) and the lookup set holds views of them.
class UsedDNs {
 public:
  UsedDNs() = default;
  UsedDNs(const UsedDNs&) = delete;
  UsedDNs& operator=(const UsedDNs&) = delete;

  void Clear();
  // Makes room for the keys of a text of `textBytes` bytes, so that the lookup set need not
  // be rebuilt again and again while a large book is repaired. Should the text hold more
  // records than that, the set grows as it always does.
  void ReserveFor(std::size_t textBytes);
  // Adds `key` unless an equal key (ASCII case ignored) is there already; true when added.
  bool AddIfAbsent(std::string_view key);
  bool Contains(std::string_view key) const { return index_.contains(key); }

  std::size_t size() const { return keys_.size(); }
  bool empty() const { return keys_.empty(); }
  const std::string& operator[](std::size_t i) const { return keys_[i]; }

 private:
  std::deque<std::string> keys_;
  std::unordered_set<std::string_view, NoCaseHash, NoCaseEqual> index_;
};

}  // namespace quorvane
