// The DN keys of one repair run, in order, with a case-insensitive membership test.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_set>

namespace quorvane {

// Keys are stored as given; Contains() compares with ASCII letters folded, because a
// directory matches cn and mail without regard to case.
class UsedDNs {
 public:
  void Clear();
  void Add(std::string_view key);
  bool Contains(std::string_view key) const;

  std::size_t size() const { return keys_.size(); }
  bool empty() const { return keys_.empty(); }
  std::string_view operator[](std::size_t i) const { return keys_[i]; }

 private:
  struct FoldedHash {
    std::size_t operator()(std::string_view key) const;
  };
  struct FoldedEqual {
    bool operator()(std::string_view a, std::string_view b) const;
  };
  std::deque<std::string> keys_;  // a deque keeps the viewed strings in place as it grows
  std::unordered_set<std::string_view, FoldedHash, FoldedEqual> lookup_;
};

}  // namespace quorvane
