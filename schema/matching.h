// When two values of an attribute are one value to the directory: keys made as OpenLDAP
// prepares values for its equality rules.
#pragma once

#include <string>
#include <string_view>

#include "schema/schema.h"

namespace quorvane {

// Writes to `key` a text that two values of `type` share exactly when the directory's
// equality rule for the type takes them as the same value. `value` is the raw value (Base64
// already decoded). A type without an equality rule compares bytes. `schema` resolves the
// attribute types inside a DN value.
void MatchKey(const Schema& schema, const AttributeType* type, std::string_view value,
              std::string& key);
// The same key appended to what `key` holds already (a prefix of the caller's), so that no
// copy moves it there.
void AppendMatchKey(const Schema& schema, const AttributeType* type, std::string_view value,
                    std::string& key);

// The key of a whole DN (distinguishedNameMatch), as the taken-DN list compares DNs; false
// when `dn` is not a DN at all (then `key` holds the bytes as they are).
bool DNMatchKey(const Schema& schema, std::string_view dn, std::string& key);

// The rule MatchKey prepares values by for the equality rule `nameOrOid` ("caseIgnoreMatch" in
// any letter case, or its OID); kBytes for any rule it does not know.
EqualityRule EqualityRuleNamed(std::string_view nameOrOid);

}  // namespace quorvane
