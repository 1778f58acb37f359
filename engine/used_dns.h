// The DN keys of one repair run, in order, with a membership test that compares DNs as the
// directory does.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "schema/matching.h"
#include "schema/schema.h"

namespace quorvane {

// Keys ("dn: " and a DN without the base DN, as the first pass makes them) are kept as given,
// in the order they came; two keys are one when the directory would take their DNs for one
// name (DNMatchKey: each type by its OID, the parts of a multi-valued RDN in any order, each
// value by its type's equality rule, so letter case, NFKC forms and runs of spaces count as
// the directory counts them). A key that is no DN compares as its bytes. The base DN is the
// same for every key, so leaving it out changes no answer. The keys' bytes lie one after
// another in one text; the lookup holds the hash of each key's DNMatchKey beside its place,
// so that no prepared key is kept: a book's keys cost no more than they did when only ASCII
// letters were folded.
class UsedDNs {
 public:
  UsedDNs();
  UsedDNs(const UsedDNs&) = delete;
  UsedDNs& operator=(const UsedDNs&) = delete;

  void Clear();
  // Makes room for the keys of a text of `textBytes` bytes, so that the lookup need not be
  // rebuilt again and again while a large book is repaired. Should the text hold more records
  // than that, the lookup grows as it always does.
  void ReserveFor(std::size_t textBytes);
  // Adds `key` unless a key the directory takes for the same DN is there already; true when
  // added. DNs are compared by `schema`'s types, the built-in schema's when null; a run uses
  // one schema throughout (another one makes the keys be looked at again).
  bool AddIfAbsent(std::string_view key, const Schema* schema = nullptr);
  // The same for a key whose DN (the key without "dn: ") the caller has parsed already.
  bool AddIfAbsent(std::string_view key, const Schema* schema, const ParsedDN& parsed);
  bool Contains(std::string_view key, const Schema* schema = nullptr);

  std::size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }
  std::string_view operator[](std::size_t i) const;

 private:
  void Use(const Schema* schema);
  // Makes `prepared_` the match key of `key` (of `parsed`, when that is not null) and returns
  // its hash.
  std::size_t Prepare(std::string_view key, const ParsedDN* parsed);
  // Whether a key of the lookup is one with `key`, whose match key `prepared_` has `hash`.
  bool Holds(std::string_view key, std::size_t hash);
  bool AddPrepared(std::string_view key, std::size_t hash);

  const Schema* schema_;
  std::string text_;               // the keys, one after another
  std::vector<std::size_t> ends_;  // where each key ends in `text_`
  // The hash of a key's match key and the key's place. Keys of equal hash are few, and only
  // for them is a match key made again, to be compared.
  std::unordered_multimap<std::size_t, std::size_t> index_;
  std::string prepared_;  // the match key of the key being looked up
  std::string other_;     // the match key of a key of the same hash
};

}  // namespace quorvane
