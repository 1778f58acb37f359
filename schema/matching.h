// When two values of an attribute are one value to the directory: keys made as OpenLDAP
// prepares values for its equality rules.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "schema/schema.h"

struct ldap_ava;  // libldap's attribute-value pair of an RDN

namespace quorvane {

// A DN as libldap parses it, as the directory reads DNs (LDAPv3 strings, or LDAPv2 ones): its
// RDNs, each a null-ended list of attribute-value pairs, the list of RDNs null-ended too.
struct ParsedDNFree {
  void operator()(ldap_ava*** dn) const;
};
using ParsedDN = std::unique_ptr<ldap_ava**, ParsedDNFree>;
// Null when `dn` is no DN; the empty DN is a list without RDNs.
ParsedDN ParseDN(std::string_view dn);

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
// The same for a DN parsed already (ParseDN), so that a DN the caller needs parsed anyway is
// parsed once.
void DNMatchKey(const Schema& schema, const ParsedDN& dn, std::string& key);

// The rule MatchKey prepares values by for the equality rule `nameOrOid` ("caseIgnoreMatch" in
// any letter case, or its OID); kBytes for any rule it does not know.
EqualityRule EqualityRuleNamed(std::string_view nameOrOid);

}  // namespace quorvane
