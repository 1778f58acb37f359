// Where a schema comes from: the built-in stock schema, a schema file, a running server.
#pragma once

#include <string>
#include <vector>

#include "schema/schema.h"

namespace quorvane {

// How to reach a server for its schema. The password is never shown in any message.
struct ServerAccess {
  std::string bindDN;    // empty: anonymous
  std::string password;  // read from the user's password file
  bool startTLS = false;
  int timeoutSeconds = 10;
};

// The result of loading one or more sources: `error` set means the schema must not be used
// (a file that cannot be read, a server that cannot be reached...); `problems` are the
// definitions that were left out while the rest loaded.
struct SchemaLoad {
  Schema schema;
  std::vector<SchemaProblem> problems;
  std::string error;
  bool ok() const { return error.empty(); }
};

// What a stock Debian slapd serves with its default configuration (core, cosine, nis,
// inetorgperson and the types slapd defines itself), built into the program. Loaded once.
const Schema& BuiltinSchema();

// Loads `sources` in order, each adding to those before it: "builtin", an ldap:// or ldaps://
// address, or a file (an OpenLDAP .schema file, an LDIF subschema entry, or cn=config LDIF).
// No sources at all: the built-in schema.
SchemaLoad LoadSchema(const std::vector<std::string>& sources, const ServerAccess& access);

}  // namespace quorvane
