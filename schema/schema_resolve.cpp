// Links the definitions a source added by the names they use, and works out what each
// inherits: a type's syntax and equality, a class's MUST and MAY.
#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "schema/schema.h"
#include "schema/schema_internal.h"

namespace quorvane {

namespace {

constexpr std::string_view kTopOid = "2.5.6.0";

void NoteUnresolved(std::vector<std::string>& unresolved, const std::string& name) {
  for (const std::string& known : unresolved) {
    if (SameName(known, name)) return;
  }
  unresolved.push_back(name);
}

std::string Quoted(std::string_view name) {
  std::string quoted(1, '\'');
  quoted.append(name).push_back('\'');
  return quoted;
}

// Whether linking `type` under `superior` would close a loop.
bool Reaches(const AttributeType* superior, const AttributeType* type) {
  for (; superior != nullptr; superior = superior->superior) {
    if (superior == type) return true;
  }
  return false;
}

// A type inherits its superiors' syntax and equality rule where it gives none (RFC 4512
// 4.1.2); the nearest superior that gives one decides.
void Inherit(AttributeType& type) {
  for (const AttributeType* up = type.superior;
       up != nullptr && (type.syntax.empty() || type.equality.empty()); up = up->superior) {
    if (type.syntax.empty()) type.syntax = up->syntax;
    if (type.equality.empty()) type.equality = up->equality;
  }
  SettleRules(type);
}

// The directory's rule for superiors: an abstract class may only inherit from abstract
// classes, and no class from a concrete class of the other kind.
bool KindsFit(const ObjectClass& kind, const ObjectClass& superior) {
  return superior.kind == ClassKind::kAbstract || superior.kind == kind.kind;
}

void AppendOnce(std::vector<const AttributeType*>& list, const AttributeType* type) {
  if (std::find(list.begin(), list.end(), type) == list.end()) list.push_back(type);
}

// A class's MUST and MAY: its superiors' first, then its own; each type once, and a type
// required anywhere is not also listed as allowed. Superiors still pending are worked out
// first; the links never loop, so this ends.
class Flattener {
 public:
  explicit Flattener(const std::vector<ObjectClass*>& pending) {
    for (ObjectClass* kind : pending) index_.emplace(kind, kind);
  }

  void Flatten(ObjectClass& kind) {
    if (!done_.insert(&kind).second) return;
    std::vector<const AttributeType*> must;
    std::vector<const AttributeType*> may;
    for (const ObjectClass* superior : kind.superiors) {
      const auto pending = index_.find(superior);
      if (pending != index_.end()) Flatten(*pending->second);
      for (const AttributeType* type : superior->must) AppendOnce(must, type);
      for (const AttributeType* type : superior->may) AppendOnce(may, type);
    }
    for (const AttributeType* type : kind.must) AppendOnce(must, type);
    for (const AttributeType* type : kind.may) AppendOnce(may, type);
    std::erase_if(may, [&must](const AttributeType* type) {
      return std::find(must.begin(), must.end(), type) != must.end();
    });
    kind.must = std::move(must);
    kind.may = std::move(may);
  }

 private:
  std::unordered_map<const ObjectClass*, ObjectClass*> index_;  // the classes pending
  std::unordered_set<const ObjectClass*> done_;
};

}  // namespace

std::vector<std::string> Schema::Resolve(std::vector<SchemaProblem>& problems) {
  std::vector<std::string> unresolved;
  if (pending_ == nullptr) return unresolved;  // moved from, nothing added since
  ResolveTypes(problems, unresolved);
  ResolveClasses(problems, unresolved);
  std::vector<ObjectClass*> kinds;
  for (Pending::Class& entry : pending_->classes) kinds.push_back(entry.kind);
  Flattener flattener(kinds);
  for (ObjectClass* kind : kinds) flattener.Flatten(*kind);
  pending_->types.clear();
  pending_->classes.clear();
  return unresolved;
}

void Schema::ResolveTypes(std::vector<SchemaProblem>& problems,
                          std::vector<std::string>& unresolved) {
  for (Pending::Type& entry : pending_->types) {
    if (entry.superior.empty()) continue;
    const std::string what = "attribute type " + Quoted(entry.type->Name());
    const AttributeType* superior = FindAttribute(entry.superior);
    if (superior == nullptr) {
      problems.push_back({entry.source, entry.line,
                          what + ": superior " + Quoted(entry.superior) + " is not defined"});
      NoteUnresolved(unresolved, entry.superior);
    } else if (Reaches(superior, entry.type)) {
      problems.push_back({entry.source, entry.line,
                          what + ": superior " + Quoted(entry.superior) + " leads back to it"});
    } else {
      entry.type->superior = superior;
    }
  }
  for (Pending::Type& entry : pending_->types) Inherit(*entry.type);
}

void Schema::ResolveClasses(std::vector<SchemaProblem>& problems,
                            std::vector<std::string>& unresolved) {
  for (Pending::Class& entry : pending_->classes) {
    ObjectClass& kind = *entry.kind;
    const std::string what = "object class " + Quoted(kind.Name());
    for (const std::string& name : entry.superiors) {
      const ObjectClass* superior = FindClass(name);
      std::string problem;
      if (superior == nullptr) {
        problem = what + ": superior " + Quoted(name) + " is not defined";
        NoteUnresolved(unresolved, name);
      } else if (IsSubclassOf(*superior, kind)) {
        problem = what + ": superior " + Quoted(name) + " leads back to it";
      } else if (!KindsFit(kind, *superior)) {
        problem = what + ": cannot inherit from " + Quoted(name) + ", a class of another kind";
      } else {
        kind.superiors.push_back(superior);
      }
      if (!problem.empty()) problems.push_back({entry.source, entry.line, problem});
    }
    // A structural class that names no superior inherits from top, as the directory has it.
    const ObjectClass* top = FindClass(kTopOid);
    if (entry.superiors.empty() && kind.kind == ClassKind::kStructural && top != nullptr &&
        top != &kind) {
      kind.superiors.push_back(top);
    }
    const auto link = [&](const std::vector<std::string>& names, const char* list,
                          std::vector<const AttributeType*>& into) {
      for (const std::string& name : names) {
        if (const AttributeType* type = FindAttribute(name)) {
          into.push_back(type);
          continue;
        }
        problems.push_back({entry.source, entry.line,
                            what + ": " + list + " type " + Quoted(name) + " is not defined"});
        NoteUnresolved(unresolved, name);
      }
    };
    link(entry.must, "MUST", kind.must);
    link(entry.may, "MAY", kind.may);
  }
}

}  // namespace quorvane
