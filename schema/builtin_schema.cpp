// The built-in stock schema: what a stock Debian slapd serves, generated from a server.
#include "schema/builtin_schema.h"

#include <string_view>

#include "schema/schema_sources.h"

namespace quorvane {
namespace {

struct BuiltinDefinition {
  int line;  // where the definition stands in builtin_schema.inc
  std::string_view text;
};

#include "schema/builtin_schema.inc"

}  // namespace

void AddBuiltinDefinitions(Schema& schema, std::vector<SchemaProblem>& problems) {
  for (const BuiltinDefinition& type : kBuiltinAttributeTypes) {
    schema.AddAttributeType(type.text, kBuiltinSourceName, type.line, problems);
  }
  for (const BuiltinDefinition& kind : kBuiltinObjectClasses) {
    schema.AddObjectClass(kind.text, kBuiltinSourceName, kind.line, problems);
  }
}

const Schema& BuiltinSchema() {
  // The definitions were served by slapd itself, so they parse and resolve; a problem here
  // would be a fault of the generator, which the schema tests catch.
  static const Schema schema = [] {
    Schema built;
    std::vector<SchemaProblem> problems;
    AddBuiltinDefinitions(built, problems);
    built.Resolve(problems);
    return built;
  }();
  return schema;
}

}  // namespace quorvane
