// OID macros: names that stand for an OID ("objectIdentifier OLcfg 1.3.6.1.4.1.4203.1.12.2")
// and that definitions use as "OLcfg:3" or, for a whole OID, the bare name.
#include "schema/schema.h"
#include "schema/schema_internal.h"

namespace quorvane {

namespace {

bool IsDelimiter(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '(' || c == ')' || c == '$';
}

}  // namespace

std::string Schema::ExpandOid(std::string_view oid, bool bareName) const {
  const std::size_t colon = oid.find(':');
  if (colon == std::string_view::npos && !bareName) return {};
  const auto macro = macros_.find(oid.substr(0, colon));
  if (macro == macros_.end()) return {};
  if (colon == std::string_view::npos) return macro->second;
  return macro->second + "." + std::string(oid.substr(colon + 1));
}

// Outside quoted text, "name:suffix" is expanded wherever it stands (no name or OID holds a
// colon); a bare macro name only where an OID must stand, the definition's own OID and its
// SYNTAX, since elsewhere it may as well be the name of a type. A "{len}" bound stays.
std::string Schema::ExpandMacros(std::string_view definition) const {
  if (macros_.empty()) return std::string(definition);
  std::string out;
  out.reserve(definition.size() + 32);
  bool quoted = false;
  bool opened = false;
  bool oidPlace = false;
  for (std::size_t i = 0; i < definition.size();) {
    const char c = definition[i];
    if (quoted || c == '\'' || IsDelimiter(c)) {
      if (c == '\'') quoted = !quoted;
      oidPlace = oidPlace || (c == '(' && !opened && !quoted);
      opened = opened || (c == '(' && !quoted);
      out += c;
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < definition.size() && !IsDelimiter(definition[end]) && definition[end] != '\'') {
      ++end;
    }
    const std::string_view token = definition.substr(i, end - i);
    const std::string_view oid = token.substr(0, token.find('{'));
    const std::string expanded = ExpandOid(oid, oidPlace);
    out += expanded.empty() ? oid : std::string_view(expanded);
    out += token.substr(oid.size());
    oidPlace = SameName(token, "SYNTAX");
    i = end;
  }
  return out;
}

void Schema::AddObjectIdentifier(std::string_view name, std::string_view oid,
                                 std::string_view source, std::size_t line,
                                 std::vector<SchemaProblem>& problems) {
  std::string value = IsNumericOid(oid) ? std::string(oid) : ExpandOid(oid, true);
  std::string problem;
  if (name.empty() || name.find_first_of(": \t'(){}$") != std::string_view::npos) {
    problem = "OID macro '" + std::string(name) + "': not a usable name";
  } else if (!IsNumericOid(value)) {
    problem = "OID macro '" + std::string(name) + "': '" + std::string(oid) +
              "' is neither an OID nor an OID macro";
  } else if (const auto known = macros_.find(name);
             known != macros_.end() && known->second != value) {
    problem = "OID macro '" + std::string(name) + "' is already defined as " + known->second +
              "; the first definition is kept";
  }
  if (!problem.empty()) {
    problems.push_back({std::string(source), line, problem});
    return;
  }
  macros_.try_emplace(std::string(name), std::move(value));
}

}  // namespace quorvane
