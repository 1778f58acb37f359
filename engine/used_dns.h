// The DN keys of one repair run, in order, with a membership test that compares DNs as the
// directory does.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_set>

#include "schema/matching.h"
#include "schema/schema.h"

namespace quorvane {

// Keys ("dn: " and a DN without the base DN, as the first pass makes them) are kept as given,
// in the order they came; two keys are one when the directory would take their DNs for one
// name (DNMatchKey: each type by its OID, the parts of a multi-valued RDN in any order, each
// value by its type's equality rule, so letter case, NFKC forms and runs of spaces count as
// the directory counts them). A key that is no DN compares as its bytes. The base DN is the
// same for every key, so leaving it out changes no answer. The list owns each key's bytes (a
// deque never moves its elements); the lookup set holds their places and the hash of each
// key's DNMatchKey, so that no prepared key is kept: a book's keys cost no more than they did
// when only ASCII letters were folded.
class UsedDNs {
 public:
  UsedDNs();
  UsedDNs(const UsedDNs&) = delete;
  UsedDNs& operator=(const UsedDNs&) = delete;

  void Clear();
  // Makes room for the keys of a text of `textBytes` bytes, so that the lookup set need not
  // be rebuilt again and again while a large book is repaired. Should the text hold more
  // records than that, the set grows as it always does.
  void ReserveFor(std::size_t textBytes);
  // Adds `key` unless a key the directory takes for the same DN is there already; true when
  // added. DNs are compared by `schema`'s types, the built-in schema's when null; a run uses
  // one schema throughout (another one makes the keys be looked at again).
  bool AddIfAbsent(std::string_view key, const Schema* schema = nullptr);
  // The same for a key whose DN (the key without "dn: ") the caller has parsed already.
  bool AddIfAbsent(std::string_view key, const Schema* schema, const ParsedDN& parsed);
  bool Contains(std::string_view key, const Schema* schema = nullptr);

  std::size_t size() const { return keys_.size(); }
  bool empty() const { return keys_.empty(); }
  const std::string& operator[](std::size_t i) const { return keys_[i]; }

 private:
  // What the set's hash and equality share: the keys, the schema and room to prepare keys in.
  // The set holds each key's place in `keys`, not a view of it: its nodes stay at 24 bytes, a
  // saving of 16 MB on a book of a million records.
  // `first` holds the prepared form of `firstOf` (when `hasFirst`): the set compares only the
  // key it has just hashed with others, so that key is not prepared again.
  struct Matching {
    const std::deque<std::string>* keys = nullptr;
    const Schema* schema = nullptr;
    std::string first;
    std::string firstOf;
    bool hasFirst = false;
    std::string second;
    std::string_view Text(std::size_t place) const { return (*keys)[place]; }
    std::string_view Text(std::string_view key) const { return key; }
    void Prepare(std::string_view key, std::string& prepared);
    // Prepares `key` into `first`, unless it is there already.
    const std::string& PrepareFirst(std::string_view key);
    // Makes `first` the prepared form of `key`, whose DN is `parsed`.
    void PrepareParsed(std::string_view key, const ParsedDN& parsed);
  };
  // Neither is noexcept, so the set keeps each key's hash instead of preparing the key again
  // whenever it grows. Both take a place in `keys` or a key to look up.
  struct Hash {
    using is_transparent = void;
    Matching* matching;
    template <class Key>
    std::size_t operator()(const Key& key) const {
      return HashOf(matching->Text(key));
    }
    std::size_t HashOf(std::string_view key) const;
  };
  struct Equal {
    using is_transparent = void;
    Matching* matching;
    template <class A, class B>
    bool operator()(const A& a, const B& b) const {
      return Same(matching->Text(a), matching->Text(b));
    }
    bool Same(std::string_view a, std::string_view b) const;
  };
  void Use(const Schema* schema);

  Matching matching_;
  std::deque<std::string> keys_;
  std::unordered_set<std::size_t, Hash, Equal> index_;
};

}  // namespace quorvane
