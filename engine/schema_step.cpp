// The schema step, lines and values: names, options, syntaxes, single values; the order of the
// checks and writing the record back.
#include "engine/schema_step.h"

#include "engine/base64.h"
#include "engine/dn_escape.h"
#include "engine/messages.h"
#include "engine/text.h"
#include "schema/syntax.h"

namespace quorvane {
namespace {

bool IsKeyChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

// RFC 4512 attribute description: a name (a letter, then letters, digits and hyphens) or a
// numeric OID, then options of letters, digits and hyphens, each after a ";".
bool IsAttributeDescription(std::string_view name, std::string_view options) {
  if (name.empty() || name.front() == '-') return false;  // a name starts with a letter
  const bool oid = name.front() >= '0' && name.front() <= '9';
  for (const char c : name) {
    if (oid ? !((c >= '0' && c <= '9') || c == '.') : !IsKeyChar(c)) return false;
  }
  if (oid && (name.back() == '.' || name.find("..") != std::string_view::npos)) return false;
  std::size_t start = 0;
  while (start < options.size()) {
    const std::size_t end = std::min(options.find(';', start + 1), options.size());
    const std::string_view option = options.substr(start + 1, end - start - 1);
    if (option.empty()) return false;
    for (const char c : option) {
      if (!IsKeyChar(c)) return false;
    }
    start = end;
  }
  return true;
}

// The options the directory keeps: language tags, and ";binary" where the syntax needs it
// (added where it is missing). Returns the options to write.
std::string KeptOptions(std::string_view options, const AttributeType& type) {
  const bool binary = SyntaxNeedsBinary(type.syntax);
  std::string kept;
  std::size_t start = 0;
  while (start < options.size()) {
    const std::size_t end = std::min(options.find(';', start + 1), options.size());
    const std::string_view option = options.substr(start + 1, end - start - 1);
    if (StartsWithNoCase(option, "lang-")) kept.append(";").append(option);
    start = end;
  }
  if (binary) kept.append(";binary");
  return kept;
}

// Whether `description` is that of a line of the attribute `name`, with or without options.
bool NamesAttribute(std::string_view description, std::string_view name) {
  return StartsWithNoCase(description, name) &&
         (description.size() == name.size() || description[name.size()] == ';');
}

// A line of changetype or control, whatever its options, makes the record a change; one whose
// Base64 value is broken does only when written without options.
bool IsChangeLine(const SchemaField& field) {
  if (field.dropped) {
    return EqualsNoCase(field.name, "changetype") || EqualsNoCase(field.name, "control");
  }
  return NamesAttribute(field.name, "changetype") || NamesAttribute(field.name, "control");
}

}  // namespace

SchemaChecker::SchemaChecker(const Schema& schema, SchemaReport& report, Log* log)
    : schema_(schema),
      report_(report),
      log_(log),
      objectClass_(schema.FindAttribute("objectClass")),
      cn_(schema.FindAttribute("cn")),
      sn_(schema.FindAttribute("sn")),
      member_(schema.FindAttribute("member")),
      uniqueMember_(schema.FindAttribute("uniqueMember")) {}

SchemaOutcome SchemaChecker::Check(RecordLines& lines, std::string_view baseDN, std::string& dnKey,
                                   std::size_t recordLine) {
  recordLine_ = recordLine;
  outcome_ = {};
  if (ReadFields(lines)) return outcome_;  // a change, not an entry
  CheckNames();
  CheckValues();
  CheckSingleValues();
  CheckClasses();
  SettleStructuralClass();
  AllowAttributes();
  WriteBack(lines);
  CheckRDN(lines, baseDN, dnKey);
  CheckRequired(dnKey);
  AppendAdded(lines);
  return outcome_;
}

// Splits each line into its attribute description and its value (Base64 decoded), as views of
// the line where it holds them; CheckNames tells the name from the options, as decided once per
// description. The dn: line and comments are not fields. Returns whether a line makes the
// record a change.
bool SchemaChecker::ReadFields(const RecordLines& lines) {
  bool change = false;
  used_ = 0;
  classFields_.clear();
  hasDN_ = false;
  heldKnown_ = false;
  lineTypes_.clear();
  parsedKey_.reset();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (line.empty() || line.front() == '#') continue;
    const std::size_t colon = line.find(':');
    const std::string_view description = TrimView(line.substr(0, colon));
    if (colon != std::string_view::npos && EqualsNoCase(description, "dn")) {
      hasDN_ = true;
      dnIndex_ = i;
      continue;
    }
    // The file's "version: 1" header, which may stand right before the first record.
    if (!hasDN_ && EqualsNoCase(description, "version")) continue;
    if (used_ == fields_.size()) fields_.emplace_back();
    SchemaField& field = fields_[used_++];
    field.index = i;
    field.name = description;
    field.options = {};
    field.type = nullptr;
    field.kind = nullptr;
    field.dropped = false;
    field.changed = false;
    field.fits = false;
    const std::string_view rest = colon == std::string_view::npos ? line : line.substr(colon + 1);
    if (!rest.empty() && rest.front() == ':') {
      field.SetView({});
      if (TryBase64ToStr(TrimView(rest.substr(1)), field.Room())) {
        field.SetOwned();
      } else {
        Drop(field, kBadValue, field.name, Reason("not valid Base64"));
      }
    } else {
      field.SetView(TrimView(rest));
    }
    if (IsChangeLine(field)) change = true;
  }
  read_ = used_;
  return change;
}

void SchemaChecker::Drop(SchemaField& field, std::string_view templ, std::string_view name,
                         std::string_view detail) {
  if (field.dropped) return;
  DropAs(field, report_.Message(templ, name, detail, SchemaAction::kDropped));
}

// Drops a line with a message already made.
void SchemaChecker::DropAs(SchemaField& field, std::size_t message) {
  if (field.dropped) return;
  if (IsClassField(field)) heldKnown_ = false;
  field.dropped = true;
  ++outcome_.valuesDropped;
  report_.Count(message, recordLine_);
}

std::string_view SchemaChecker::Reason(std::string_view reason) {
  detail_.clear();
  if (!reason.empty()) detail_.append(" (").append(reason).append(")");
  return detail_;
}

// What becomes of lines of one attribute description as a book writes it: where its name ends,
// its type or the message that drops it, the options to write. Worked out once per description.
const SchemaChecker::NameDecision& SchemaChecker::DecisionFor(std::string_view description) {
  const auto found = names_.find(description);
  return found != names_.end() ? found->second : Decide(description);
}

// DecisionFor a description met for the first time.
const SchemaChecker::NameDecision& SchemaChecker::Decide(std::string_view description) {
  key_.assign(description);
  const std::string_view written = key_;
  NameDecision decision;
  decision.nameSize = std::min(written.find(';'), written.size());
  const std::string_view name = written.substr(0, decision.nameSize);
  const std::string_view options = written.substr(decision.nameSize);
  const auto drop = [&](std::string_view templ, std::string_view named) {
    decision.dropMessage = report_.Message(templ, named, {}, SchemaAction::kDropped);
  };
  const AttributeType* type = schema_.FindAttribute(name);
  if (!IsAttributeDescription(name, options)) {
    drop(kNotAName, written);
  } else if (type == nullptr) {
    drop(kUndefinedType, name);
  } else if (type->operational || type->noUserModification) {
    drop(kOperational, name);
  } else if (type->obsolete) {
    drop(kObsoleteType, name);
  } else {
    decision.type = type;
    decision.options = KeptOptions(options, *type);
    if (!EqualsNoCase(decision.options, options)) {
      decision.optionsMessage = report_.Message(kOptionRemoved, key_, {}, SchemaAction::kNoted);
    }
  }
  return names_.emplace(key_, std::move(decision)).first->second;
}

// Names: not a description, not defined, set by the directory itself; options the directory
// refuses; two names of one type written as one.
void SchemaChecker::CheckNames() {
  firstOfType_.resize(schema_.Attributes().size(), kNoField);
  singleValueTwice_ = false;
  for (std::size_t i = 0; i < used_; ++i) {
    SchemaField& field = fields_[i];
    if (field.dropped) continue;
    const NameDecision& decision = DecisionFor(field.name);
    field.options = field.name.substr(decision.nameSize);
    field.name = field.name.substr(0, decision.nameSize);
    if (decision.dropMessage != kNoMessage) {
      DropAs(field, decision.dropMessage);
      continue;
    }
    field.type = decision.type;
    if (field.type == objectClass_) classFields_.push_back(i);
    if (decision.optionsMessage != kNoMessage) {
      report_.Count(decision.optionsMessage, recordLine_);
      field.options = decision.options;
      field.changed = true;
      ++outcome_.valuesRepaired;
    }
    std::size_t& first = firstOfType_[field.type->index];
    if (first == kNoField) {
      first = i;
      continue;
    }
    if (field.type->singleValue) singleValueTwice_ = true;
    if (!EqualsNoCase(fields_[first].name, field.name)) {
      Note(kAliasJoined, field.name);
      field.name = fields_[first].name;
      field.changed = true;
    }
  }
  for (std::size_t i = 0; i < used_; ++i) {
    if (fields_[i].type != nullptr) firstOfType_[fields_[i].type->index] = kNoField;
  }
}

// Values by their syntax: repaired where the meaning is certain, dropped otherwise. Object
// classes have a step of their own; member lists were made DNs by the first pass.
void SchemaChecker::CheckValues() {
  for (std::size_t i = 0; i < used_; ++i) {
    SchemaField& field = fields_[i];
    if (field.dropped || field.type == objectClass_ || field.type == member_ ||
        field.type == uniqueMember_) {
      continue;
    }
    ValueCheck check = CheckValue(schema_, *field.type, field.Value());
    field.fits = check.verdict == ValueVerdict::kFits;
    if (check.verdict == ValueVerdict::kDropped) {
      Drop(field, kBadValue, field.name, Reason(check.reason));
    } else if (check.verdict == ValueVerdict::kRepaired) {
      const bool recoded = !IsUtf8(field.Value());
      report_.Note(recoded ? kLatin1 : kValueRepaired, field.name,
                   recoded ? std::string_view() : Reason(check.reason), SchemaAction::kRepaired,
                   recordLine_);
      field.SetValue(std::move(check.repaired));
      field.changed = true;
      ++outcome_.valuesRepaired;
    }
  }
}

// A single-value type keeps its first value; a later value written alike is left to the
// output, which writes each value once.
void SchemaChecker::CheckSingleValues() {
  if (!singleValueTwice_) return;
  for (std::size_t i = 0; i < used_; ++i) {
    SchemaField& field = fields_[i];
    if (field.dropped || !field.type->singleValue) continue;
    for (std::size_t k = 0; k < i; ++k) {
      const SchemaField& earlier = fields_[k];
      if (earlier.dropped || earlier.type != field.type) continue;
      if (earlier.Value() != field.Value()) Drop(field, kSingleValue, field.name);
      break;
    }
  }
}

// Writes the record's lines as the fields now stand: dropped lines emptied, changed ones
// rebuilt, and the type of each kept one noted for the output. A changed field's name and value
// may be views of its own line, and its name one of an earlier line (a name joined to an earlier
// one's): both are copied before the line is cleared, and lines are written from the last, so
// that no earlier line has changed yet. Afterwards the name and options are views of the new
// line. The later steps add fields but change none of these.
void SchemaChecker::WriteBack(RecordLines& lines) {
  lineTypes_.assign(lines.size(), LineType{});
  for (std::size_t i = read_; i-- > 0;) {  // the lines added are written by AppendAdded
    SchemaField& field = fields_[i];
    std::string& line = lines[field.index];
    if (field.dropped) {
      line.clear();
      continue;
    }
    lineTypes_[field.index] = {field.type, field.kind};
    if (!field.changed) continue;
    description_.assign(field.name).append(field.options);
    if (!field.Owned()) field.SetValue(std::string(field.Value()));
    line.clear();
    AppendAttributeLine(description_, field.Value(), line);
    field.options = std::string_view(line).substr(field.name.size(), field.options.size());
    field.name = std::string_view(line).substr(0, field.name.size());
    field.changed = false;
  }
}

// The lines the step added, after the record's own.
void SchemaChecker::AppendAdded(RecordLines& lines) {
  for (std::size_t i = read_; i < used_; ++i) {
    SchemaField& field = fields_[i];
    if (field.dropped) continue;
    lines.emplace_back();
    AppendAttributeLine(std::string(field.name).append(field.options), field.Value(), lines.back());
    lineTypes_.push_back({field.type, field.kind});
    field.index = lines.size() - 1;
    field.changed = false;
  }
}

void SchemaChecker::AddField(const AttributeType& type, std::string_view value) {
  if (used_ == fields_.size()) fields_.emplace_back();
  SchemaField& field = fields_[used_++];
  field.index = static_cast<std::size_t>(-1);
  field.name = type.Name();
  field.options = {};
  field.SetValue(std::string(value));
  field.type = &type;
  field.kind = nullptr;
  field.dropped = false;
  field.changed = true;
  field.fits = false;
  if (&type == objectClass_) classFields_.push_back(used_ - 1);
}

bool SchemaChecker::Holds(const AttributeType& type) const {
  for (std::size_t i = 0; i < used_; ++i) {
    if (!fields_[i].dropped && fields_[i].type == &type) return true;
  }
  return false;
}

}  // namespace quorvane
