// The DN keys of one repair run, in order, with a membership test that compares DNs as the
// directory does.
#include "engine/used_dns.h"

#include <functional>

#include "schema/matching.h"
#include "schema/schema_sources.h"

namespace quorvane {
namespace {

// The prefix every key of a run carries.
constexpr std::string_view kKeyPrefix = "dn: ";

// Writes to `prepared` the match key of `key`. A prepared DN never starts with 0xFF (it
// starts with a type), so a text that is no DN cannot meet one.
void PrepareKey(const Schema& schema, std::string_view key, std::string& prepared) {
  if (key.starts_with(kKeyPrefix)) key.remove_prefix(kKeyPrefix.size());
  if (!DNMatchKey(schema, key, prepared)) prepared.insert(0, 1, '\xFF');
}

}  // namespace

UsedDNs::UsedDNs() : schema_(&BuiltinSchema()) {}

void UsedDNs::Clear() {
  index_.clear();
  text_.clear();
  ends_.clear();
}

// An address book's record takes a few hundred bytes: room for one key per this many bytes is
// about what a book needs (a little more than most), and costs a small part of the text's size.
constexpr std::size_t kBytesPerRecord = 384;

void UsedDNs::ReserveFor(std::size_t textBytes) {
  index_.reserve(textBytes / kBytesPerRecord);
  ends_.reserve(textBytes / kBytesPerRecord);
}

std::string_view UsedDNs::operator[](std::size_t i) const {
  const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
  return std::string_view(text_).substr(begin, ends_[i] - begin);
}

// Keys already there were hashed by another schema's types: they are hashed again.
void UsedDNs::Use(const Schema* schema) {
  const Schema* wanted = schema != nullptr ? schema : &BuiltinSchema();
  if (wanted == schema_) return;
  schema_ = wanted;
  index_.clear();
  for (std::size_t place = 0; place < ends_.size(); ++place) {
    index_.emplace(Prepare((*this)[place], nullptr), place);
  }
}

std::size_t UsedDNs::Prepare(std::string_view key, const ParsedDN* parsed) {
  if (parsed != nullptr) {
    DNMatchKey(*schema_, *parsed, prepared_);
  } else {
    PrepareKey(*schema_, key, prepared_);
  }
  return std::hash<std::string_view>()(prepared_);
}

// A key met again byte for byte, as a book's repeated records are, needs no match key made.
bool UsedDNs::Holds(std::string_view key, std::size_t hash) {
  const auto [first, last] = index_.equal_range(hash);
  for (auto it = first; it != last; ++it) {
    const std::string_view held = (*this)[it->second];
    if (held == key) return true;
    PrepareKey(*schema_, held, other_);
    if (other_ == prepared_) return true;
  }
  return false;
}

bool UsedDNs::AddPrepared(std::string_view key, std::size_t hash) {
  if (Holds(key, hash)) return false;
  text_.append(key);
  ends_.push_back(text_.size());
  index_.emplace(hash, ends_.size() - 1);
  return true;
}

bool UsedDNs::AddIfAbsent(std::string_view key, const Schema* schema) {
  Use(schema);
  return AddPrepared(key, Prepare(key, nullptr));
}

bool UsedDNs::AddIfAbsent(std::string_view key, const Schema* schema, const ParsedDN& parsed) {
  Use(schema);
  return AddPrepared(key, Prepare(key, parsed != nullptr ? &parsed : nullptr));
}

bool UsedDNs::Contains(std::string_view key, const Schema* schema) {
  Use(schema);
  return Holds(key, Prepare(key, nullptr));
}

}  // namespace quorvane
