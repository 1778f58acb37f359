// The DN keys of one repair run, in order, with a membership test that ignores ASCII case.
#include "engine/used_dns.h"

namespace quorvane {

void UsedDNs::Clear() {
  index_.clear();
  keys_.clear();
}

bool UsedDNs::AddIfAbsent(std::string_view key) {
  // Stored first and taken back when an equal key was there, so that the key is hashed once:
  // most keys of a book are new.
  if (index_.insert(keys_.emplace_back(key)).second) return true;
  keys_.pop_back();
  return false;
}

}  // namespace quorvane
