// Where a schema comes from: the built-in stock schema, a schema file, a running server.
#include "schema/schema_sources.h"

#include <algorithm>

#include "schema/builtin_schema.h"
#include "schema/schema_file.h"
#include "schema/server_schema.h"

namespace quorvane {
namespace {

constexpr char kBuiltinSource[] = "builtin";
// How many of the names a file lacks its refusal lists.
constexpr std::size_t kNamesShown = 6;

void AddServerDefinitions(Schema& schema, const std::string& uri,
                          const ServerDefinitions& definitions,
                          std::vector<SchemaProblem>& problems) {
  // A server's definitions have no lines: the address is where they come from.
  for (const std::string& type : definitions.attributeTypes) {
    schema.AddAttributeType(type, uri, 0, problems);
  }
  for (const std::string& kind : definitions.objectClasses) {
    schema.AddObjectClass(kind, uri, 0, problems);
  }
}

// The names `unresolved` that the built-in schema defines, each once, in the order met.
std::vector<std::string> BuiltinNames(const std::vector<std::string>& unresolved) {
  const Schema& builtin = BuiltinSchema();
  std::vector<std::string> names;
  for (const std::string& name : unresolved) {
    const bool defined =
        builtin.FindAttribute(name) != nullptr || builtin.FindClass(name) != nullptr;
    if (defined && std::find(names.begin(), names.end(), name) == names.end()) {
      names.push_back(name);
    }
  }
  return names;
}

// A schema file usually builds on the standard schemas without holding them (an address
// book's .schema file needs cn and person): such a file read on its own would lose every
// definition that refers to them, so it is refused with the way to give them.
std::string MissingBaseError(const std::string& file, const std::vector<std::string>& names) {
  std::string list;
  for (std::size_t i = 0; i < names.size() && i < kNamesShown; ++i) {
    if (i > 0) list += ", ";
    list += names[i];
  }
  if (names.size() > kNamesShown) list += ", …";
  return file + " needs definitions it does not hold (" + list +
         "): add --schema builtin before it";
}

// Adds one source to `load`; false, with `load.error` set, when it cannot be used.
bool AddSource(SchemaLoad& load, const std::string& source, const ServerAccess& access) {
  if (source == kBuiltinSource) {
    AddBuiltinDefinitions(load.schema, load.problems);
    load.schema.Resolve(load.problems);
    return true;
  }
  if (IsServerAddress(source)) {
    ServerDefinitions definitions;
    if (!ReadServerSchema(source, access, definitions, load.error)) return false;
    AddServerDefinitions(load.schema, source, definitions, load.problems);
    load.schema.Resolve(load.problems);
    return true;
  }
  if (!AddSchemaFile(load.schema, source, load.problems, load.error)) return false;
  const std::vector<std::string> missing = BuiltinNames(load.schema.Resolve(load.problems));
  if (missing.empty()) return true;
  load.error = MissingBaseError(source, missing);
  return false;
}

}  // namespace

SchemaLoad LoadSchema(const std::vector<std::string>& sources, const ServerAccess& access) {
  SchemaLoad load;
  if (sources.empty()) {
    AddSource(load, kBuiltinSource, access);
    return load;
  }
  for (const std::string& source : sources) {
    if (!AddSource(load, source, access)) break;
  }
  return load;
}

}  // namespace quorvane
