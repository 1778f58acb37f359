// The DN keys of one repair run, in order, with a membership test that compares DNs as the
// directory does.
#include "engine/used_dns.h"

#include <functional>
#include <utility>

#include "schema/matching.h"
#include "schema/schema_sources.h"

namespace quorvane {

// The prefix every key of a run carries.
constexpr std::string_view kKeyPrefix = "dn: ";

void UsedDNs::Matching::Prepare(std::string_view key, std::string& prepared) {
  if (key.starts_with(kKeyPrefix)) key.remove_prefix(kKeyPrefix.size());
  // A prepared DN never starts with 0xFF (it starts with a type), so a text that is no DN
  // cannot meet one.
  if (!DNMatchKey(*schema, key, prepared)) prepared.insert(0, 1, '\xFF');
}

const std::string& UsedDNs::Matching::PrepareFirst(std::string_view key) {
  if (!hasFirst || key != firstOf) {
    hasFirst = false;  // until `first` is made, should preparing it fail
    Prepare(key, first);
    firstOf.assign(key);
    hasFirst = true;
  }
  return first;
}

void UsedDNs::Matching::PrepareParsed(std::string_view key, const ParsedDN& parsed) {
  hasFirst = false;
  DNMatchKey(*schema, parsed, first);
  firstOf.assign(key);
  hasFirst = true;
}

std::size_t UsedDNs::Hash::HashOf(std::string_view key) const {
  return std::hash<std::string_view>()(matching->PrepareFirst(key));
}

// Called only for keys of equal hash: in a book, nearly always keys that are one DN, one of
// them the key just hashed.
bool UsedDNs::Equal::Same(std::string_view a, std::string_view b) const {
  if (a == b) return true;
  if (matching->hasFirst && b == matching->firstOf) std::swap(a, b);
  const std::string& prepared = matching->PrepareFirst(a);
  matching->Prepare(b, matching->second);
  return prepared == matching->second;
}

UsedDNs::UsedDNs() : index_(0, Hash{&matching_}, Equal{&matching_}) {
  matching_.keys = &keys_;
  matching_.schema = &BuiltinSchema();
}

void UsedDNs::Clear() {
  index_.clear();
  keys_.clear();
  matching_.hasFirst = false;
}

// An address book's record takes a few hundred bytes: room for one key per this many bytes is
// about what a book needs (a little more than most), and costs a small part of the text's size.
constexpr std::size_t kBytesPerRecord = 384;

void UsedDNs::ReserveFor(std::size_t textBytes) {
  index_.reserve(textBytes / kBytesPerRecord);
}

// Keys already there were hashed by another schema's types: they are hashed again.
void UsedDNs::Use(const Schema* schema) {
  const Schema* wanted = schema != nullptr ? schema : &BuiltinSchema();
  if (wanted == matching_.schema) return;
  matching_.schema = wanted;
  matching_.hasFirst = false;
  index_.clear();
  for (std::size_t place = 0; place < keys_.size(); ++place) index_.insert(place);
}

bool UsedDNs::AddIfAbsent(std::string_view key, const Schema* schema) {
  Use(schema);
  // Stored first and taken back when an equal key was there, so that the key is prepared
  // once: most keys of a book are new.
  keys_.emplace_back(key);
  if (index_.insert(keys_.size() - 1).second) return true;
  keys_.pop_back();
  return false;
}

bool UsedDNs::AddIfAbsent(std::string_view key, const Schema* schema, const ParsedDN& parsed) {
  Use(schema);
  if (parsed != nullptr) matching_.PrepareParsed(key, parsed);
  return AddIfAbsent(key, schema);
}

bool UsedDNs::Contains(std::string_view key, const Schema* schema) {
  Use(schema);
  return index_.contains(key);
}

}  // namespace quorvane
