// When two lines of a record hold the same value to a directory.
#include "engine/value_match.h"

#include "engine/base64.h"
#include "engine/record_lines.h"
#include "engine/text.h"
#include "schema/matching.h"
#include "schema/schema_sources.h"

namespace quorvane {
namespace {

// The attribute description's part of a key: the type's OID where the schema knows it, else
// its name, and the options, all without letter case ("CN;Lang-DE" and "2.5.4.3;lang-de").
// `type` is the type's name looked up already, or null.
const AttributeType* AssignAttribute(std::string_view description, const Schema& schema,
                                     const AttributeType* type, std::string& key) {
  const std::size_t semicolon = description.find(';');
  const std::string_view name = description.substr(0, semicolon);
  if (type == nullptr) type = schema.FindAttribute(name);
  key.assign(type != nullptr ? std::string_view(type->oid) : name);
  if (semicolon != std::string_view::npos) key.append(description.substr(semicolon));
  for (char& c : key) c = LowerAscii(c);
  key.push_back(':');
  return type;
}

}  // namespace

void ValueKey(std::string_view line, const Schema* comparing, std::string& key,
              const AttributeType* type) {
  const Schema& schema = comparing != nullptr ? *comparing : BuiltinSchema();
  const NameValue nv = SplitNameValue(line);
  type = AssignAttribute(nv.Attribute(), schema, type, key);
  std::string_view value = nv.value;
  std::string decoded;
  const bool encoded = !value.empty() && value.front() == ':' &&
                       value.data() == nv.name.data() + nv.name.size();
  if (encoded) {
    if (!TryBase64ToStr(TrimView(value.substr(1)), decoded)) {
      key.push_back('\x01');  // undecodable: equal only to the same encoded text
      key.append(value);
      return;
    }
    value = decoded;
  }
  AppendMatchKey(schema, type, value, key);
}

}  // namespace quorvane
