// When two lines of a record hold the same value to a directory.
#pragma once

#include <string>
#include <string_view>

#include "schema/schema.h"

namespace quorvane {

// Writes to `key` a text that two lines share exactly when the directory takes them for the
// same value of the same attribute: the attribute by its OID (any of its names, any letter
// case) with its options, the value prepared by the attribute's equality rule as the
// directory prepares it (MatchKey: letter case as Unicode 3.2 has it, NFKC, spaces, telephone
// numbers without spaces and hyphens, object classes by OID, DNs part by part). A Base64 value
// counts as its decoded bytes. An attribute `schema` does not know compares byte for byte;
// a null `schema` is the built-in one. `type`, when not null, is the type `schema` gives the
// line's attribute, which a caller that knows it passes so that it is not looked up again.
void ValueKey(std::string_view line, const Schema* schema, std::string& key,
              const AttributeType* type = nullptr);

}  // namespace quorvane
