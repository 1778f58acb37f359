// The built-in stock schema's definitions, for the loader that adds them to a schema of its own.
#pragma once

#include <vector>

#include "schema/schema.h"

namespace quorvane {

// The name the built-in definitions carry in problems and messages.
inline constexpr char kBuiltinSourceName[] = "built-in";

// Adds every built-in attribute type and object class to `schema`, as BuiltinSchema() holds
// them; the caller resolves them.
void AddBuiltinDefinitions(Schema& schema, std::vector<SchemaProblem>& problems);

}  // namespace quorvane
