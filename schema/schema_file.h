// Schema definitions read from the text forms a directory keeps them in.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "schema/schema.h"

namespace quorvane {

// Adds the definitions in `text`, whose form it tells from the content:
//  - an OpenLDAP schema file: `attributetype ( ... )`, `objectclass ( ... )` and
//    `objectIdentifier NAME OID` lines, any letter case, continued on lines that start with
//    white space, `#` comments;
//  - LDIF holding a subschema entry (attributeTypes: and objectClasses: values, as ldapsearch
//    prints them), folded or not, values in Base64 or not;
//  - cn=config LDIF (olcObjectIdentifier, olcAttributeTypes, olcObjectClasses, with their
//    "{N}" order prefixes), one entry or several.
// Each problem names `sourceName` and the line its definition starts on. The caller resolves
// the definitions (Schema::Resolve) once every source that belongs together is added. Returns
// how many definitions the text holds, taken or not.
std::size_t AddSchemaText(Schema& schema, std::string_view text, std::string_view sourceName,
                          std::vector<SchemaProblem>& problems);

// Reads `path` and adds its definitions as AddSchemaText does, naming the file in problems.
// Returns false with `error` set when the file cannot be read ("cannot read schema file X:
// reason") or holds no definitions at all; then nothing was added.
bool AddSchemaFile(Schema& schema, const std::string& path, std::vector<SchemaProblem>& problems,
                   std::string& error);

}  // namespace quorvane
