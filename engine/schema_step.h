// The schema step: a record made into one the directory accepts, or reported.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/fix_record.h"
#include "engine/schema_report.h"
#include "engine/text.h"
#include "schema/matching.h"
#include "schema/schema.h"

namespace quorvane {

// What the step did to one record.
struct SchemaOutcome {
  std::size_t valuesDropped = 0;   // lines left out, each counted once
  std::size_t valuesRepaired = 0;  // lines whose value (or name) was rewritten
  bool notImportable = false;      // a required attribute is still missing (reported)
};

// One line of a record as the step sees it: its attribute, options and decoded value. The
// name and options are views of the record's line (or of the schema's names), which is not
// rewritten until the step has read the record; the value is a view too, unless it had to be
// decoded or repaired.
struct SchemaField {
  std::size_t index = 0;     // in the record's lines
  std::string_view name;     // the attribute as written, without options (until CheckNames:
                             // the whole description)
  std::string_view options;  // ";lang-de" and the like, as they will be written
  std::string_view Value() const { return owned_ ? std::string_view(own_) : view_; }
  void SetView(std::string_view value) {
    view_ = value;
    owned_ = false;
  }
  void SetValue(std::string value) {
    own_ = std::move(value);
    owned_ = true;
  }
  // Room to decode the value into; SetOwned() then makes it the value.
  std::string& Room() { return own_; }
  void SetOwned() { owned_ = true; }
  bool Owned() const { return owned_; }
  const AttributeType* type = nullptr;
  const ObjectClass* kind = nullptr;  // for an objectClass line: the class it names, if defined
  bool dropped = false;
  bool changed = false;  // to be written anew from name, options and value
  bool fits = false;     // its syntax was checked, and its value fits as it is

 private:
  std::string_view view_;
  std::string own_;
  bool owned_ = false;
};

// What the step knows of a line of the record it wrote: its attribute type and, for an
// objectClass line, its class. Null for the dn: line, comments and anything not checked.
struct LineType {
  const AttributeType* type = nullptr;
  const ObjectClass* kind = nullptr;
};

// Checks records against `schema` after the profile's rules, in the order the directory checks
// them: names, values, single values, object classes, what the classes allow, the RDN, what the
// classes require. Each repair and each drop is noted in `report`.
class SchemaChecker {
 public:
  SchemaChecker(const Schema& schema, SchemaReport& report, Log* log);

  // `lines` as the first pass left them; `dnKey` ("dn: " + the DN without the base DN) is set
  // anew when the DN had to be named again. `recordLine` names the record in messages.
  SchemaOutcome Check(RecordLines& lines, std::string_view baseDN, std::string& dnKey,
                      std::size_t recordLine);
  // After Check, for each of the record's lines as it left them: its type; empty when the
  // record was not checked (a change record).
  const std::vector<LineType>& LineTypes() const { return lineTypes_; }
  // After Check, the DN of `dnKey` as libldap parsed it to check the RDN, so that it need not
  // be parsed again; null when it was not parsed (or `dnKey` is another key).
  const ParsedDN& ParsedKeyOf(std::string_view dnKey) const;

 private:
  bool ReadFields(const RecordLines& lines);
  struct NameDecision;
  const NameDecision& DecisionFor(std::string_view description);
  const NameDecision& Decide(std::string_view description);
  void CheckNames();
  void CheckValues();
  void CheckSingleValues();
  void CheckClasses();
  void SettleStructuralClass();
  void AllowAttributes();
  void DropUnsatisfiedAuxiliaries();
  void CheckRDN(RecordLines& lines, std::string_view baseDN, std::string& dnKey);
  void ReadKey(std::string_view dnKey);
  void CheckRequired(std::string_view dnKey);
  std::string UnusableRDNPart(ldap_ava** rdn);
  bool HoldsValue(const AttributeType& type, std::string_view value);
  const SchemaField* FieldHolding(const AttributeType& type, std::string_view value) const;
  std::string RecordName(const AttributeType* other, std::string_view dnKey) const;
  void WriteBack(RecordLines& lines);
  void AppendAdded(RecordLines& lines);

  void Drop(SchemaField& field, std::string_view templ, std::string_view name,
            std::string_view detail = {});
  void Note(std::string_view templ, std::string_view name, std::string_view detail = {}) {
    report_.Note(templ, name, detail, SchemaAction::kNoted, recordLine_);
  }
  // " (reason)", in room of the checker's own.
  std::string_view Reason(std::string_view reason);
  void AddClass(const ObjectClass& kind, std::string_view templ);
  void AddField(const AttributeType& type, std::string_view value);
  const std::vector<const ObjectClass*>& ClassesHeld() const;
  // Which types a set of classes allows, by AttributeType::index.
  using AllowedTypes = std::vector<char>;
  // What follows from a set of classes alone.
  struct ClassSet {
    AllowedTypes allowed;
    // Its structural classes that no other of its structural classes derives from.
    std::vector<const ObjectClass*> leaves;
  };
  using ClassSets = std::map<std::vector<const ObjectClass*>, ClassSet>;
  const ClassSet& HeldSet();
  const AllowedTypes& AllowedByHeld() { return HeldSet().allowed; }
  const std::vector<const ObjectClass*>& StructuralLeaves() { return HeldSet().leaves; }
  const ObjectClass* StructuralClass();
  struct ClassDecision;
  ClassDecision& ClassDecisionFor(std::string_view name);
  void DropAs(SchemaField& field, std::size_t message);
  void DropStructuralBesides(const ObjectClass& kept);
  std::vector<const AttributeType*> NotAllowed();
  const ObjectClass* BetterStructuralClass(const ObjectClass& current) const;
  const ObjectClass* AuxiliaryClassFor(const std::vector<const AttributeType*>& left) const;
  const ClassSets::value_type& SetOf(const std::vector<const ObjectClass*>& classes);
  std::size_t CountAllowed(const ObjectClass& kind) const;
  bool Holds(const AttributeType& type) const;
  bool HoldsRequired(const ObjectClass& kind) const;

  bool IsClassField(const SchemaField& field) const {
    return !field.dropped && field.type == objectClass_ && objectClass_ != nullptr;
  }

  const Schema& schema_;
  SchemaReport& report_;
  Log* log_;
  // The types the step itself looks for, found once.
  const AttributeType* objectClass_;
  const AttributeType* cn_;
  const AttributeType* sn_;
  const AttributeType* member_;
  const AttributeType* uniqueMember_;
  // The record being checked.
  std::size_t recordLine_ = 0;
  std::vector<SchemaField> fields_;
  std::vector<LineType> lineTypes_;
  ParsedDN parsedKey_;  // the record's key as CheckRDN parsed it
  std::string parsedKeyText_;
  std::size_t used_ = 0;  // fields_[0, used_) belong to the record
  std::size_t read_ = 0;  // fields_[0, read_) were read from its lines; the step added the rest
  // The record's objectClass lines, in order, as indexes in fields_; some may be dropped since.
  std::vector<std::size_t> classFields_;
  std::size_t dnIndex_ = 0;
  bool hasDN_ = false;
  SchemaOutcome outcome_;
  // The record's classes, kept until its class lines change, and what follows from them: kept
  // from record to record while the classes stay the same.
  mutable std::vector<const ObjectClass*> held_;
  mutable bool heldKnown_ = false;
  mutable const ClassSets::value_type* heldSet_ = nullptr;
  // Worked out once per distinct set of classes (most books use a few).
  ClassSets classSets_;
  static constexpr std::size_t kNoMessage = static_cast<std::size_t>(-1);
  struct NameDecision {
    std::size_t nameSize = 0;  // the name's part of the description; the options follow
    const AttributeType* type = nullptr;
    std::size_t dropMessage = kNoMessage;  // the report's message for lines that go
    std::string options;                   // the options to write
    std::size_t optionsMessage = kNoMessage;
  };
  // By attribute description exactly as written.
  std::unordered_map<std::string, NameDecision, TextHash, std::equal_to<>> names_;
  struct ClassDecision {
    const ObjectClass* kind = nullptr;  // the class named, defined and not obsolete
    const ObjectClass* near = nullptr;  // else the class it may be taken for
    std::size_t replaceMessage = kNoMessage;
    std::size_t dropMessage = kNoMessage;
  };
  // By class name exactly as written.
  std::unordered_map<std::string, ClassDecision, TextHash, std::equal_to<>> classNames_;
  // By AttributeType::index: the record's first field of that type, while CheckNames runs.
  static constexpr std::size_t kNoField = static_cast<std::size_t>(-1);
  std::vector<std::size_t> firstOfType_;
  bool singleValueTwice_ = false;  // a single-value type has two lines in the record
  std::string detail_;
  std::string key_;  // room for comparison keys
  std::string description_;
  std::string other_;
};

}  // namespace quorvane
