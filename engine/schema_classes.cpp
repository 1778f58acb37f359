// The schema step, classes: unknown classes, the structural class, what the classes allow and
// require, and the RDN the entry is named by.
#include <ldap.h>

#include <algorithm>

#include "engine/dn_escape.h"
#include "engine/messages.h"
#include "engine/record_shape.h"
#include "engine/schema_step.h"
#include "engine/text.h"
#include "schema/matching.h"
#include "schema/syntax.h"

namespace quorvane {
namespace {

// Edits (insert, delete, replace a letter) between two names, ASCII case ignored; `limit` + 1
// once it is clear that there are more than `limit`.
std::size_t EditDistance(std::string_view a, std::string_view b, std::size_t limit) {
  if ((a.size() > b.size() ? a.size() - b.size() : b.size() - a.size()) > limit) return limit + 1;
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    std::size_t best = row[0];
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      const bool same = LowerAscii(a[i - 1]) == LowerAscii(b[j - 1]);
      row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = above;
      best = std::min(best, row[j]);
    }
    if (best > limit) return limit + 1;
  }
  return row[b.size()];
}

// The one class defined under a name within two edits of `name`; null when there is none or
// more than one.
const ObjectClass* NearestClass(const Schema& schema, std::string_view name) {
  constexpr std::size_t kEdits = 2;
  const ObjectClass* found = nullptr;
  for (const ObjectClass& kind : schema.Classes()) {
    const bool near = std::any_of(kind.names.begin(), kind.names.end(), [&](const std::string& n) {
      return EditDistance(name, n, kEdits) <= kEdits;
    });
    if (!near || found == &kind) continue;
    if (found != nullptr) return nullptr;
    found = &kind;
  }
  return found;
}

}  // namespace

// The record's defined classes, each once, in a fixed order; worked out again only after a
// class line was added, dropped or replaced.
const std::vector<const ObjectClass*>& SchemaChecker::ClassesHeld() const {
  if (heldKnown_) return held_;
  held_.clear();
  for (const std::size_t i : classFields_) {
    if (!IsClassField(fields_[i])) continue;
    const ObjectClass* kind = fields_[i].kind;
    if (kind != nullptr && std::find(held_.begin(), held_.end(), kind) == held_.end()) {
      held_.push_back(kind);
    }
  }
  std::sort(held_.begin(), held_.end());
  heldKnown_ = true;
  if (heldSet_ != nullptr && heldSet_->first != held_) heldSet_ = nullptr;
  return held_;
}

// What follows from the record's classes, as SetOf(ClassesHeld()).
const SchemaChecker::ClassSet& SchemaChecker::HeldSet() {
  const std::vector<const ObjectClass*>& held = ClassesHeld();
  if (heldSet_ == nullptr) heldSet_ = &SetOf(held);
  return heldSet_->second;
}

// The table entry of a set of classes, worked out when the set is first met.
const SchemaChecker::ClassSets::value_type& SchemaChecker::SetOf(
    const std::vector<const ObjectClass*>& classes) {
  const auto found = classSets_.find(classes);
  if (found != classSets_.end()) return *found;
  ClassSet set;
  set.allowed.assign(schema_.Attributes().size(), false);
  for (const AttributeType& type : schema_.Attributes()) {
    set.allowed[type.index] =
        std::any_of(classes.begin(), classes.end(),
                    [&type](const ObjectClass* kind) { return Schema::Allows(*kind, type); });
  }
  for (const ObjectClass* kind : classes) {
    if (kind->kind != ClassKind::kStructural) continue;
    const bool derived =
        std::any_of(classes.begin(), classes.end(), [kind](const ObjectClass* other) {
          return other != kind && other->kind == ClassKind::kStructural &&
                 Schema::IsSubclassOf(*other, *kind);
        });
    if (!derived) set.leaves.push_back(kind);
  }
  return *classSets_.emplace(classes, std::move(set)).first;
}

// How many of the record's attribute types `kind` allows.
std::size_t SchemaChecker::CountAllowed(const ObjectClass& kind) const {
  std::size_t count = 0;
  for (std::size_t i = 0; i < used_; ++i) {
    const SchemaField& field = fields_[i];
    if (field.dropped || IsClassField(field)) continue;
    if (Schema::Allows(kind, *field.type)) ++count;
  }
  return count;
}

// Whether the record holds what `kind` requires; sn and cn count as held when the record has
// a name to give them.
bool SchemaChecker::HoldsRequired(const ObjectClass& kind) const {
  const bool named = hasDN_ || (cn_ != nullptr && Holds(*cn_)) || (sn_ != nullptr && Holds(*sn_));
  return std::all_of(kind.must.begin(), kind.must.end(), [&](const AttributeType* type) {
    if (type == objectClass_ || Holds(*type)) return true;
    return named && (type == cn_ || type == sn_);
  });
}

void SchemaChecker::AddClass(const ObjectClass& kind, std::string_view templ) {
  if (objectClass_ == nullptr) return;
  AddField(*objectClass_, kind.Name());
  fields_[used_ - 1].kind = &kind;
  heldKnown_ = false;
  Note(templ, kind.Name());
}

// A class the schema does not define becomes the one class within two edits of its name, when
// the record holds what that class requires; otherwise it goes.
void SchemaChecker::CheckClasses() {
  for (const std::size_t i : classFields_) {
    SchemaField& field = fields_[i];
    if (!IsClassField(field)) continue;
    ClassDecision& decision = ClassDecisionFor(field.Value());
    field.kind = decision.kind;
    if (decision.kind != nullptr) continue;
    // Messages are made when first needed, so that they come in the order they were met.
    if (decision.near == nullptr || !HoldsRequired(*decision.near)) {
      if (decision.dropMessage == kNoMessage) {
        decision.dropMessage =
            report_.Message(kUnknownClass, field.Value(), {}, SchemaAction::kDropped);
      }
      DropAs(field, decision.dropMessage);
      continue;
    }
    if (decision.replaceMessage == kNoMessage) {
      detail_.assign("; replaced by \"").append(decision.near->Name()).append("\"");
      decision.replaceMessage =
          report_.Message(kUnknownClass, field.Value(), detail_, SchemaAction::kNoted);
    }
    report_.Count(decision.replaceMessage, recordLine_);
    field.SetView(decision.near->Name());
    field.kind = decision.near;
    field.changed = true;
    ++outcome_.valuesRepaired;
    heldKnown_ = false;
  }
}

// What becomes of a class name as a book writes it: the class it names, or the one it may be
// taken for. Worked out once per name: the same unknown class comes back in record after record.
SchemaChecker::ClassDecision& SchemaChecker::ClassDecisionFor(std::string_view name) {
  const auto found = classNames_.find(name);
  if (found != classNames_.end()) return found->second;
  ClassDecision decision;
  const ObjectClass* kind = schema_.FindClass(name);
  if (kind != nullptr && !kind->obsolete) {
    decision.kind = kind;
  } else {
    const ObjectClass* near = kind != nullptr ? nullptr : NearestClass(schema_, name);
    if (near != nullptr && !near->obsolete) decision.near = near;
  }
  return classNames_.emplace(std::string(name), decision).first->second;
}

// The record's structural class: the first of the held structural classes that no other held
// structural class derives from (one for a record whose classes are in order).
const ObjectClass* SchemaChecker::StructuralClass() {
  const std::vector<const ObjectClass*>& leaves = StructuralLeaves();
  return leaves.empty() ? nullptr : leaves.front();
}

// Drops every structural class line that `kept` does not derive from.
void SchemaChecker::DropStructuralBesides(const ObjectClass& kept) {
  for (const std::size_t i : classFields_) {
    SchemaField& field = fields_[i];
    if (!IsClassField(field)) continue;
    const ObjectClass* kind = field.kind;
    if (kind != nullptr && kind->kind == ClassKind::kStructural &&
        !Schema::IsSubclassOf(kept, *kind)) {
      Drop(field, kStructuralDropped, kind->Name());
    }
  }
}

// One structural class: none gets the one a person or list needs; of two unrelated ones the
// one that allows more of the record's attributes stays.
void SchemaChecker::SettleStructuralClass() {
  const std::vector<const ObjectClass*>& leaves = StructuralLeaves();
  if (leaves.empty()) {
    const ObjectClass* kind = schema_.FindClass(DefaultClassFor(
        member_ != nullptr && Holds(*member_), uniqueMember_ != nullptr && Holds(*uniqueMember_)));
    if (kind != nullptr) AddClass(*kind, kStructuralAdded);
    return;
  }
  if (leaves.size() == 1) return;
  const ObjectClass* best = *std::max_element(leaves.begin(), leaves.end(),
                                              [this](const ObjectClass* a, const ObjectClass* b) {
                                                return CountAllowed(*a) < CountAllowed(*b);
                                              });
  DropStructuralBesides(*best);
}

// Where the record's attributes are not all allowed: a person becomes inetOrgPerson, another
// class moves to the subclass on its own line of descent that allows the most of them (never to
// one whose required attributes the record lacks); then auxiliary classes are added for what is
// left, each requiring nothing the record lacks; what is still not allowed goes.
void SchemaChecker::AllowAttributes() {
  DropUnsatisfiedAuxiliaries();
  if (NotAllowed().empty()) return;
  if (const ObjectClass* structural = StructuralClass()) {
    const ObjectClass* better = BetterStructuralClass(*structural);
    if (better != structural) {
      DropStructuralBesides(*better);
      AddClass(*better, kClassAdded);
    }
  }
  for (std::vector<const AttributeType*> left = NotAllowed(); !left.empty(); left = NotAllowed()) {
    const ObjectClass* auxiliary = AuxiliaryClassFor(left);
    if (auxiliary == nullptr) break;
    AddClass(*auxiliary, kClassAdded);
  }
  const std::vector<const AttributeType*> left = NotAllowed();
  for (std::size_t i = 0; i < used_; ++i) {
    SchemaField& field = fields_[i];
    if (field.dropped || IsClassField(field)) continue;
    if (std::find(left.begin(), left.end(), field.type) != left.end()) {
      Drop(field, kNotAllowed, field.name);
    }
  }
}

// An auxiliary class that requires what the record lacks (posixAccount without its numbers)
// goes, so that the record is not refused for it; what only that class allowed goes later.
void SchemaChecker::DropUnsatisfiedAuxiliaries() {
  for (const std::size_t i : classFields_) {
    SchemaField& field = fields_[i];
    if (!IsClassField(field) || field.kind == nullptr) continue;
    if (field.kind->kind == ClassKind::kAuxiliary && !HoldsRequired(*field.kind)) {
      Drop(field, kAuxiliaryDropped, field.kind->Name());
    }
  }
}

// The record's attribute types that its classes do not allow.
std::vector<const AttributeType*> SchemaChecker::NotAllowed() {
  const AllowedTypes& allowed = AllowedByHeld();
  std::vector<const AttributeType*> left;
  for (std::size_t i = 0; i < used_; ++i) {
    const SchemaField& field = fields_[i];
    if (field.dropped || IsClassField(field) || allowed[field.type->index]) continue;
    if (std::find(left.begin(), left.end(), field.type) == left.end()) left.push_back(field.type);
  }
  return left;
}

// The structural class on `current`'s line of descent (inetOrgPerson for any person) that
// allows the most of the record's attributes, if it allows more than `current`.
const ObjectClass* SchemaChecker::BetterStructuralClass(const ObjectClass& current) const {
  const ObjectClass* person = schema_.FindClass("person");
  const ObjectClass* inetOrgPerson = schema_.FindClass("inetOrgPerson");
  const bool isPerson = person != nullptr && Schema::IsSubclassOf(current, *person);
  const ObjectClass* best = &current;
  std::size_t most = CountAllowed(current);
  for (const ObjectClass& kind : schema_.Classes()) {
    if (kind.kind != ClassKind::kStructural || kind.obsolete || &kind == &current) continue;
    // A person becomes inetOrgPerson, the class an address book's person is everywhere.
    if (isPerson ? &kind != inetOrgPerson : !Schema::IsSubclassOf(kind, current)) continue;
    const std::size_t count = CountAllowed(kind);
    if (count > most && HoldsRequired(kind)) {
      best = &kind;
      most = count;
    }
  }
  return best;
}

// The auxiliary class that allows the most of `left`, requiring nothing the record lacks;
// never extensibleObject, which would allow anything at all.
const ObjectClass* SchemaChecker::AuxiliaryClassFor(
    const std::vector<const AttributeType*>& left) const {
  const ObjectClass* best = nullptr;
  std::size_t most = 0;
  for (const ObjectClass& kind : schema_.Classes()) {
    if (kind.kind != ClassKind::kAuxiliary || kind.obsolete) continue;
    if (EqualsNoCase(kind.Name(), "extensibleObject")) continue;
    const auto count = static_cast<std::size_t>(
        std::count_if(left.begin(), left.end(),
                      [&kind](const AttributeType* t) { return Schema::Allows(kind, *t); }));
    if (count > most && HoldsRequired(kind)) {
      best = &kind;
      most = count;
    }
  }
  return best;
}

}  // namespace quorvane
