// What the schema library's own sources share: the rule for folding names, the reference queue.
#pragma once

#include <lber.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "schema/schema.h"

namespace quorvane {

// Attribute and class names are ASCII (RFC 4512 `descr`); their case is folded as such.
inline char FoldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}
inline bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

// `text` as libldap's DN parser takes it. libldap aborts on a null pointer even for no bytes
// at all, and hands one back for an empty value inside a DN ("cn=a+seeAlso="), so an empty
// text is given a pointer to nothing instead.
inline berval DNText(std::string_view text) {
  return {static_cast<ber_len_t>(text.size()), const_cast<char*>(text.empty() ? "" : text.data())};
}

// Appends the key of `dn` as distinguishedNameMatch prepares it; false, with nothing appended,
// when it is no DN.
bool AppendDNKey(const Schema& schema, std::string_view dn, std::string& key);
// Appends the key of a uniqueMember value: its DN's, then the bit string telling two entries
// of one name apart.
void AppendUniqueMember(const Schema& schema, std::string_view value, std::string& key);

// Digits in dotted groups: "2.5.4.3".
bool IsNumericOid(std::string_view oid);

// Sets what `type`'s equality and syntax mean for its values (equalityRule, syntaxNumber); called
// whenever either changes.
void SettleRules(AttributeType& type);

// The references the definitions added since the last Resolve make by name, with where each
// definition came from.
struct Schema::Pending {
  struct Type {
    AttributeType* type;
    std::string superior;
    std::string source;
    std::size_t line;
  };
  struct Class {
    ObjectClass* kind;
    std::vector<std::string> superiors;
    std::vector<std::string> must;
    std::vector<std::string> may;
    std::string source;
    std::size_t line;
  };
  std::vector<Type> types;
  std::vector<Class> classes;
};

}  // namespace quorvane
