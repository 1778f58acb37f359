// The DN keys of one repair run, in order, with a case-insensitive membership test.
#include "engine/used_dns.h"

#include "engine/text.h"

namespace quorvane {

std::size_t UsedDNs::FoldedHash::operator()(std::string_view key) const {
  std::size_t hash = 1469598103934665603ull;  // FNV-1a over the folded bytes
  for (char c : key) {
    hash ^= static_cast<unsigned char>(LowerAscii(c));
    hash *= 1099511628211ull;
  }
  return hash;
}

bool UsedDNs::FoldedEqual::operator()(std::string_view a, std::string_view b) const {
  return EqualsNoCase(a, b);
}

void UsedDNs::Clear() {
  lookup_.clear();
  keys_.clear();
}

void UsedDNs::Add(std::string_view key) {
  keys_.emplace_back(key);
  lookup_.insert(keys_.back());
}

bool UsedDNs::Contains(std::string_view key) const { return lookup_.contains(key); }

}  // namespace quorvane
