// What the schema library's own sources share: the rule for folding names, the reference queue.
#pragma once

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

// Digits in dotted groups: "2.5.4.3".
bool IsNumericOid(std::string_view oid);

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
