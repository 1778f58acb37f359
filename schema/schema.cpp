// The schema model: definitions parsed by libldap, indexed by name and OID, and what an entry
// of a class may and must hold.
#include "schema/schema.h"

#include <ldap_schema.h>

#include <algorithm>
#include <utility>

#include "schema/matching.h"
#include "schema/schema_internal.h"
#include "schema/syntax.h"

namespace quorvane {

namespace {

// The OIDs of the definitions the directory treats specially.
constexpr std::string_view kObjectClassOid = "2.5.4.0";
constexpr std::string_view kExtensibleObjectOid = "1.3.6.1.4.1.1466.101.120.111";

struct TypeFree {
  void operator()(LDAPAttributeType* type) const { ldap_attributetype_free(type); }
};
struct ClassFree {
  void operator()(LDAPObjectClass* kind) const { ldap_objectclass_free(kind); }
};

std::size_t Count(char** list) {
  std::size_t count = 0;
  while (list != nullptr && list[count] != nullptr) ++count;
  return count;
}

std::vector<std::string> Strings(char** list) {
  std::vector<std::string> out;
  for (; list != nullptr && *list != nullptr; ++list) out.emplace_back(*list);
  return out;
}

std::string_view Text(const char* text) {
  return text == nullptr ? std::string_view() : text;
}

// libldap's parser can step a byte or two past the end of a definition that stops short (a
// SYNTAX with nothing after it): NUL bytes after the end keep it inside the text.
constexpr std::size_t kParserPadding = 8;

std::string ParserText(std::string expanded) {
  expanded.append(kParserPadding, '\0');
  return expanded;
}

// libldap's reason, and where in `text` (padded) it gave up. At the end of the text libldap
// may point past its last byte, so the place is taken only when it lies inside.
std::string ParseError(std::string_view what, int code, const std::string& text,
                       const char* where) {
  std::string message = "cannot parse " + std::string(what) + ": " + ldap_scherr2str(code);
  const char* begin = text.data();
  const char* end = begin + text.size() - kParserPadding;
  if (where != nullptr && where >= begin && where < end) {
    const std::string_view rest(where, static_cast<std::size_t>(end - where));
    message += " at '" + std::string(rest.substr(0, 40)) + "'";
  }
  return message;
}

// "attribute type 'cn'", or the OID for a definition without a name.
std::string Describe(std::string_view what, std::string_view oid, char** names) {
  const std::string_view name = (names != nullptr && *names != nullptr) ? *names : oid;
  return std::string(what) + " '" + std::string(name) + "'";
}

// A syntax OID without its "{len}" bound.
std::string SyntaxOid(const char* syntax) {
  const std::string_view oid = Text(syntax);
  return std::string(oid.substr(0, oid.find('{')));
}

// libldap reads a C string: a NUL byte would end the definition early without a word.
bool FreeOfNul(std::string_view definition, std::string_view what, std::string_view source,
               std::size_t line, std::vector<SchemaProblem>& problems) {
  if (definition.find('\0') == std::string_view::npos) return true;
  problems.push_back({std::string(source), line, std::string(what) + " holds a NUL byte"});
  return false;
}

bool HasOid(const ObjectClass& kind, std::string_view oid) {
  return kind.oid == oid;
}

}  // namespace

bool IsNumericOid(std::string_view oid) {
  if (oid.empty() || oid.front() == '.' || oid.back() == '.') return false;
  char previous = '.';
  for (char c : oid) {
    if (c == '.' && previous == '.') return false;
    if (c != '.' && (c < '0' || c > '9')) return false;
    previous = c;
  }
  return true;
}

void SettleRules(AttributeType& type) {
  type.equalityRule = EqualityRuleNamed(type.equality);
  type.syntaxNumber = StandardSyntaxNumber(type.syntax);
}

std::size_t Schema::NameHash::operator()(std::string_view name) const {
  std::size_t hash = 14695981039346656037ull;  // FNV-1a over the letters folded to lower case
  for (char c : name) {
    hash = (hash ^ static_cast<unsigned char>(FoldAscii(c))) * 1099511628211ull;
  }
  return hash;
}

bool Schema::NameEqual::operator()(std::string_view a, std::string_view b) const {
  return SameName(a, b);
}

Schema::Schema() : pending_(std::make_unique<Pending>()) {}
Schema::~Schema() = default;
Schema::Schema(Schema&&) noexcept = default;
Schema& Schema::operator=(Schema&&) noexcept = default;

// A schema moved from holds no queue; one that is used again gets a new one.
Schema::Pending& Schema::Queue() {
  if (pending_ == nullptr) pending_ = std::make_unique<Pending>();
  return *pending_;
}

// The directory refuses a definition whose OID or any of whose names is taken already, and
// keeps the first one; so do we. One that states the same OID with the same names again is
// left out quietly: loading the stock schema and a file that repeats part of it is no
// conflict. `oid` must be numeric once macros are expanded.
template <typename T>
bool Schema::Claim(const NameIndex<T>& index, std::string_view what, const char* oid, char** names,
                   std::string& problem) const {
  if (const auto known = index.find(std::string_view(Text(oid))); known != index.end()) {
    if (std::equal(known->second->names.begin(), known->second->names.end(), names,
                   names + Count(names), NameEqual())) {
      return false;  // the same definition again
    }
  }
  if (oid == nullptr) {
    problem = Describe(what, "", names) + " has no OID";
    return false;
  }
  if (!IsNumericOid(oid)) {
    problem = Describe(what, oid, names) + ": '" + oid + "' is neither an OID nor an OID macro";
    return false;
  }
  if (index.contains(std::string_view(oid))) {
    problem = std::string(what) + " " + oid + " is already defined; the first definition is kept";
    return false;
  }
  for (char** name = names; name != nullptr && *name != nullptr; ++name) {
    if (index.contains(std::string_view(*name))) {
      problem =
          std::string(what) + " '" + *name + "' is already defined; the first definition is kept";
      return false;
    }
  }
  return true;
}

template <typename T>
void Schema::Index(NameIndex<T*>& index, T& element) {
  index.try_emplace(element.oid, &element);
  for (const std::string& name : element.names) index.try_emplace(name, &element);
}

void Schema::AddAttributeType(std::string_view definition, std::string_view source,
                              std::size_t line, std::vector<SchemaProblem>& problems) {
  if (!FreeOfNul(definition, "attribute type", source, line, problems)) return;
  const std::string text = ParserText(ExpandMacros(definition));
  int code = 0;
  const char* where = nullptr;
  std::unique_ptr<LDAPAttributeType, TypeFree> parsed(
      ldap_str2attributetype(text.c_str(), &code, &where, LDAP_SCHEMA_ALLOW_ALL));
  if (!parsed) {
    problems.push_back(
        {std::string(source), line, ParseError("attribute type", code, text, where)});
    return;
  }
  std::string problem;
  if (!Claim(attributeIndex_, "attribute type", parsed->at_oid, parsed->at_names, problem)) {
    if (!problem.empty()) problems.push_back({std::string(source), line, problem});
    return;
  }
  // Without either, nothing says what its values look like; the directory refuses it.
  if (parsed->at_syntax_oid == nullptr && parsed->at_sup_oid == nullptr) {
    problems.push_back({std::string(source), line,
                        Describe("attribute type", parsed->at_oid, parsed->at_names) +
                            " has neither SYNTAX nor SUP"});
    return;
  }
  AttributeType& type = attributes_.emplace_back();
  type.index = attributes_.size() - 1;
  type.oid = parsed->at_oid;
  type.names = Strings(parsed->at_names);
  type.syntax = SyntaxOid(parsed->at_syntax_oid);
  type.equality = Text(parsed->at_equality_oid);
  type.singleValue = parsed->at_single_value != 0;
  type.noUserModification = parsed->at_no_user_mod != 0;
  type.operational = parsed->at_usage != LDAP_SCHEMA_USER_APPLICATIONS;
  type.obsolete = parsed->at_obsolete != 0;
  SettleRules(type);
  Index(attributeIndex_, type);
  Queue().types.push_back(
      {&type, std::string(Text(parsed->at_sup_oid)), std::string(source), line});
}

void Schema::AddObjectClass(std::string_view definition, std::string_view source, std::size_t line,
                            std::vector<SchemaProblem>& problems) {
  if (!FreeOfNul(definition, "object class", source, line, problems)) return;
  const std::string text = ParserText(ExpandMacros(definition));
  int code = 0;
  const char* where = nullptr;
  std::unique_ptr<LDAPObjectClass, ClassFree> parsed(
      ldap_str2objectclass(text.c_str(), &code, &where, LDAP_SCHEMA_ALLOW_ALL));
  if (!parsed) {
    problems.push_back({std::string(source), line, ParseError("object class", code, text, where)});
    return;
  }
  std::string problem;
  if (!Claim(classIndex_, "object class", parsed->oc_oid, parsed->oc_names, problem)) {
    if (!problem.empty()) problems.push_back({std::string(source), line, problem});
    return;
  }
  ObjectClass& kind = classes_.emplace_back();
  kind.oid = parsed->oc_oid;
  kind.names = Strings(parsed->oc_names);
  kind.kind = parsed->oc_kind == LDAP_SCHEMA_ABSTRACT    ? ClassKind::kAbstract
              : parsed->oc_kind == LDAP_SCHEMA_AUXILIARY ? ClassKind::kAuxiliary
                                                         : ClassKind::kStructural;
  kind.obsolete = parsed->oc_obsolete != 0;
  Index(classIndex_, kind);
  Queue().classes.push_back({&kind, Strings(parsed->oc_sup_oids), Strings(parsed->oc_at_oids_must),
                             Strings(parsed->oc_at_oids_may), std::string(source), line});
}

const AttributeType* Schema::FindAttribute(std::string_view nameOrOid) const {
  const auto found = attributeIndex_.find(nameOrOid);
  return found == attributeIndex_.end() ? nullptr : found->second;
}

const ObjectClass* Schema::FindClass(std::string_view nameOrOid) const {
  const auto found = classIndex_.find(nameOrOid);
  return found == classIndex_.end() ? nullptr : found->second;
}

bool Schema::IsSubclassOf(const ObjectClass& kind, const ObjectClass& ancestor) {
  // Superiors never loop (Resolve refuses a link that would), but may meet again above.
  std::vector<const ObjectClass*> work{&kind};
  std::vector<const ObjectClass*> seen;
  while (!work.empty()) {
    const ObjectClass* current = work.back();
    work.pop_back();
    if (current == &ancestor) return true;
    if (std::find(seen.begin(), seen.end(), current) != seen.end()) continue;
    seen.push_back(current);
    work.insert(work.end(), current->superiors.begin(), current->superiors.end());
  }
  return false;
}

// The directory allows in an entry: objectClass always; every operational type (its own
// business, not the classes'); with extensibleObject among the classes, every type; otherwise
// exactly the types a class lists in MUST or MAY, its superiors' included. A subtype of a
// listed type is not allowed by that listing (cn does not allow a type whose SUP is cn).
bool Schema::Allows(const ObjectClass& kind, const AttributeType& type) {
  if (type.oid == kObjectClassOid || type.operational) return true;
  if (HasOid(kind, kExtensibleObjectOid)) return true;
  return Requires(kind, type) ||
         std::find(kind.may.begin(), kind.may.end(), &type) != kind.may.end();
}

// The directory requires exactly the types listed in MUST, its superiors' included; a subtype
// does not stand in for a required type.
bool Schema::Requires(const ObjectClass& kind, const AttributeType& type) {
  return std::find(kind.must.begin(), kind.must.end(), &type) != kind.must.end();
}

}  // namespace quorvane
