// The DN keys of one repair run, in order, with a membership test that ignores ASCII case.
#include "engine/used_dns.h"

namespace quorvane {

void UsedDNs::Clear() {
  index_.clear();
  keys_.clear();
}

// An address book's record takes a few hundred bytes: room for one key per this many bytes is
// about what a book needs (a little more than most), and costs a small part of the text's size.
constexpr std::size_t kBytesPerRecord = 384;

void UsedDNs::ReserveFor(std::size_t textBytes) { index_.reserve(textBytes / kBytesPerRecord); }

bool UsedDNs::AddIfAbsent(std::string_view key) {
  // Stored first and taken back when an equal key was there, so that the key is hashed once:
  // most keys of a book are new.
  if (index_.insert(keys_.emplace_back(key)).second) return true;
  keys_.pop_back();
  return false;
}

}  // namespace quorvane
