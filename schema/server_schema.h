// Reading the schema a running LDAP server serves, through libldap.
#pragma once

#include <string>
#include <vector>

#include "schema/schema_sources.h"

namespace quorvane {

// The definitions of a server's subschema entry, as it serves them (RFC 4512 4.2).
struct ServerDefinitions {
  std::vector<std::string> attributeTypes;
  std::vector<std::string> objectClasses;
};

// Whether `source` is an ldap:// or ldaps:// address (the scheme in any letter case).
bool IsServerAddress(const std::string& source);

// Reads the subschema entry that the root DSE of `uri` names (subschemaSubentry). Binds
// anonymously or as `access.bindDN`; `access.startTLS` requires TLS before the bind, as
// `ldapsearch -ZZ` does; an ldaps:// server must show a certificate the system trusts. Every
// network step gives up after `access.timeoutSeconds`. Returns false with one message naming
// the server ("cannot read the schema of URI: REASON"); the password appears in none.
bool ReadServerSchema(const std::string& uri, const ServerAccess& access, ServerDefinitions& out,
                      std::string& error);

}  // namespace quorvane
