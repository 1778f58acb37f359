// The schema step, names: the RDN the entry is named by, and what its classes require.
#include <ldap.h>

#include <algorithm>
#include <memory>

#include "engine/dn_escape.h"
#include "engine/messages.h"
#include "engine/record_shape.h"
#include "engine/schema_step.h"
#include "engine/text.h"
#include "schema/matching.h"
#include "schema/syntax.h"

namespace quorvane {
namespace {

// The DN of a key ("dn: " + DN) as libldap reads it; null when there is none.
ParsedDN ParseKey(std::string_view dnKey) {
  constexpr std::string_view kPrefix = "dn: ";
  if (!dnKey.starts_with(kPrefix) || dnKey.size() == kPrefix.size()) return nullptr;
  return ParseDN(dnKey.substr(kPrefix.size()));
}

std::string_view View(const berval& value) {
  return {value.bv_val, value.bv_len};
}

}  // namespace

// The line that holds `value` of `type` byte for byte, if any.
const SchemaField* SchemaChecker::FieldHolding(const AttributeType& type,
                                               std::string_view value) const {
  for (std::size_t i = 0; i < used_; ++i) {
    const SchemaField& field = fields_[i];
    if (!field.dropped && field.type == &type && field.Value() == value) return &field;
  }
  return nullptr;
}

// Whether the record holds `value` as a value of `type`, as the directory compares values.
bool SchemaChecker::HoldsValue(const AttributeType& type, std::string_view value) {
  if (FieldHolding(type, value) != nullptr) return true;
  MatchKey(schema_, &type, value, key_);
  for (std::size_t i = 0; i < used_; ++i) {
    const SchemaField& field = fields_[i];
    if (field.dropped || field.type != &type) continue;
    MatchKey(schema_, &type, field.Value(), other_);
    if (other_ == key_) return true;
  }
  return false;
}

// The first RDN's attribute that the record cannot be named by: not defined, not allowed by its
// classes, a value outside its syntax, or a single value that the record holds otherwise.
// Empty when the RDN is fine; the values it names that the record lacks are then added.
std::string SchemaChecker::UnusableRDNPart(ldap_ava** rdn) {
  const AllowedTypes& allowed = AllowedByHeld();
  std::vector<std::pair<const AttributeType*, std::string_view>> missing;
  for (int i = 0; rdn[i] != nullptr; ++i) {
    const std::string_view name = View(rdn[i]->la_attr);
    const std::string_view value = View(rdn[i]->la_value);
    const AttributeType* type = schema_.FindAttribute(name);
    if (type == nullptr || !allowed[type->index]) return std::string(name);
    // A value a line holds as it stood when its syntax was checked fits already.
    const SchemaField* same = FieldHolding(*type, value);
    if ((same == nullptr || !same->fits) &&
        CheckValue(schema_, *type, value).verdict != ValueVerdict::kFits) {
      return std::string(name);
    }
    if (same != nullptr || HoldsValue(*type, value)) continue;
    if (type->singleValue && Holds(*type)) return std::string(name);
    missing.emplace_back(type, value);
  }
  for (const auto& [type, value] : missing) AddField(*type, value);
  return {};
}

void SchemaChecker::ReadKey(std::string_view dnKey) {
  parsedKey_ = ParseKey(dnKey);
  parsedKeyText_.assign(dnKey);
}

const ParsedDN& SchemaChecker::ParsedKeyOf(std::string_view dnKey) const {
  static const ParsedDN kNone;
  return parsedKey_ != nullptr && dnKey == parsedKeyText_ ? parsedKey_ : kNone;
}

// A DN named by an attribute the record cannot keep is named again from its cn and mail, as a
// record without a DN is.
void SchemaChecker::CheckRDN(RecordLines& lines, std::string_view baseDN, std::string& dnKey) {
  if (!hasDN_) return;
  ReadKey(dnKey);
  if (parsedKey_ == nullptr || parsedKey_.get()[0] == nullptr) return;
  const std::string unusable = UnusableRDNPart(parsedKey_.get()[0]);
  if (unusable.empty()) return;
  const std::string names = DNFromNames(lines);
  if (names.empty()) {
    if (log_ != nullptr) log_->Write(MessageFor(kCannotName, unusable), kLogError, recordLine_);
    outcome_.notImportable = true;
    return;
  }
  dnKey.assign("dn: ");
  AppendEscapedDN(names, dnKey);
  std::string& line = lines[dnIndex_];
  line.assign(dnKey);
  if (!baseDN.empty()) line.append(",").append(baseDN);
  Note(kRenamedDN, unusable);
  ReadKey(dnKey);
  if (parsedKey_ != nullptr && parsedKey_.get()[0] != nullptr) UnusableRDNPart(parsedKey_.get()[0]);
}

// What the classes require: sn and cn are given the record's name where they are missing; a
// record that lacks anything else is reported, as no directory accepts it.
void SchemaChecker::CheckRequired(std::string_view dnKey) {
  const AttributeType* cn = cn_;
  const AttributeType* sn = sn_;
  std::vector<const AttributeType*> reported;
  for (const ObjectClass* kind : ClassesHeld()) {
    for (const AttributeType* type : kind->must) {
      if (type == objectClass_ || Holds(*type)) continue;
      if (type == cn || type == sn) {
        const std::string name = RecordName(type == cn ? sn : cn, dnKey);
        if (!TrimView(name).empty()) {
          AddField(*type, name);
          continue;
        }
      }
      if (std::find(reported.begin(), reported.end(), type) != reported.end()) continue;
      reported.push_back(type);
      if (log_ != nullptr)
        log_->Write(MessageFor(kMissingRequired, type->Name()), kLogError, recordLine_);
      outcome_.notImportable = true;
    }
  }
}

// The name for a missing sn or cn: the other one's value, else the DN's first RDN value.
std::string SchemaChecker::RecordName(const AttributeType* other, std::string_view dnKey) const {
  for (std::size_t i = 0; i < used_; ++i) {
    const SchemaField& field = fields_[i];
    if (!field.dropped && other != nullptr && field.type == other)
      return std::string(field.Value());
  }
  if (!hasDN_ || dnKey.size() <= 4) return {};
  return UnescapeDNValue(FirstRDNValue(dnKey.substr(4)));
}

}  // namespace quorvane
