// The repair run: source text or lines in, repaired LDIF lines out, record by record.
#include "engine/repair_run.h"

#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/dn_escape.h"
#include "engine/fix_record.h"
#include "engine/messages.h"
#include "engine/record_collector.h"
#include "engine/record_shape.h"
#include "engine/schema_report.h"
#include "engine/schema_step.h"
#include "engine/text.h"
#include "engine/text_lines.h"
#include "engine/value_match.h"
#include "schema/schema_sources.h"

namespace quorvane {
namespace {

// Records starting on the first this many source lines report every line's progress; after
// them, one record in kProgressEveryRecord reports its last line: a status bar shows the
// latest message only, and a long run should not spend its time on messages nobody reads.
constexpr std::size_t kProgressEveryLine = 256;
constexpr std::size_t kProgressEveryRecord = 16;

ProgressLines ProgressFor(bool wantsProgress, std::size_t recordLine, std::size_t recordNumber) {
  if (!wantsProgress) return ProgressLines::kNone;
  if (recordLine <= kProgressEveryLine) return ProgressLines::kEvery;
  return recordNumber % kProgressEveryRecord == 0 ? ProgressLines::kLastOfRecord
                                                  : ProgressLines::kNone;
}

// Candidates keep the key's form: the attempt number and a number from 0 to 99 go in front of
// the first "+mail=", or at the end. A key that is only a mail address gains a cn component
// instead, so that the address itself stays intact.
std::string MakeCandidate(std::string_view key, int attempt, int number) {
  const std::string digits = std::to_string(attempt) + std::to_string(number);
  const std::size_t mail = key.find("+mail=");
  if (mail != std::string_view::npos) {
    return std::string(key.substr(0, mail)).append(digits).append(key.substr(mail));
  }
  constexpr std::string_view kPrefix = "dn: ";
  const std::string_view value = key.substr(kPrefix.size());
  const std::string_view rdnValue = FirstRDNValue(value);
  const bool onlyRDN = rdnValue.data() + rdnValue.size() == value.data() + value.size();
  if (StartsWithNoCase(value, "mail=") && onlyRDN) {
    const std::string_view address = value.substr(5);
    return std::string(kPrefix).append("cn=").append(address).append(digits).append("+").append(
        value);
  }
  // The digits end the first RDN's value: a DN kept whole (no base DN to put it under) stays
  // under its own parent.
  const std::size_t end =
      rdnValue.empty() ? key.size()
                       : static_cast<std::size_t>(rdnValue.data() - key.data()) + rdnValue.size();
  return std::string(key.substr(0, end)).append(digits).append(key.substr(end));
}

// Below this many lines a record's repeated values are found by comparing each line's key
// with the keys written before it; that costs less than hashing every key.
constexpr std::size_t kCompareEach = 32;

// How many spellings of attributes a run keeps the type of.
constexpr std::size_t kTypesNamed = 1024;

}  // namespace

struct RepairRun::State {
  State(std::string_view base, const TransformMap& transform, UsedDNs& used, RandomSource& rnd,
        Log* sink, LineSink& output, const SchemaStep& step)
      : baseDN(PrepareBaseDN(base)),
        schemaStep(step),
        typeSchema(step.schema != nullptr ? *step.schema : BuiltinSchema()),
        report(sink, step.verbose),
        map(transform.empty() ? nullptr : &transform),
        wantsProgress(sink != nullptr && sink->WantsProgress()),
        usedDNs(used),
        random(rnd),
        log(sink),
        out(output),
        collector([this](RecordLines& lines, std::size_t line) { Repair(lines, line); }) {
    if (step.schema != nullptr) checker.emplace(*step.schema, report, sink);
  }

  // The next source line, numbered.
  void AddNextLine(std::string_view line) { collector.Add(line, ++lineNumber); }
  void Repair(RecordLines& lines, std::size_t line);
  bool MakeUnique(std::string_view key, std::string& candidate, const ParsedDN* parsed);
  void Report(std::string_view text, std::size_t line) {
    if (log != nullptr) log->Write(text, kLogError, line);
  }
  void Emit(const RecordLines& lines, bool isRecord, const std::vector<LineType>* types);
  // Whether no line written for the record so far holds the same value as line i. A line of a
  // type no line written before it has needs no key, and is answered here without a call.
  bool FirstTime(const RecordLines& lines, std::size_t i, std::string_view attribute,
                 const LineType& known) {
    if (written.size() < kCompareEach && known.type != nullptr &&
        writtenOfType[known.type->index] == 0) {
      return true;
    }
    return NoValueWritten(lines, i, attribute, known);
  }
  bool NoValueWritten(const RecordLines& lines, std::size_t i, std::string_view attribute,
                      const LineType& known);
  std::string_view KeyOf(const RecordLines& lines, std::size_t i, const AttributeType* type);
  const AttributeType* TypeNamed(std::string_view attribute);

  const std::string baseDN;
  const SchemaStep schemaStep;
  // The schema whose types and equality rules the output compares values by.
  const Schema& typeSchema;
  SchemaReport report;
  std::optional<SchemaChecker> checker;  // none when the schema checks are off
  const TransformMap* map;               // null for an empty profile: not even looked up
  const bool wantsProgress;
  UsedDNs& usedDNs;
  RandomSource& random;
  Log* log;
  LineSink& out;

  LineSplitter fileLines{LineRules::kFile};
  LineSplitter paneLines{LineRules::kPane};
  std::size_t lineNumber = 0;  // of the last source line read
  RecordCollector collector;
  RepairCounts counts;
  // The strings each record is rewritten in, kept from record to record.
  FixRoom room;
  std::string dnKey;
  std::string uniqueKey;
  // For the lines of the record being written: their value keys (see ValueKey) where worked
  // out, the lines written so far with their attributes, and for a long record a set of keys.
  std::vector<std::string> keys;
  std::vector<char> keyed;
  struct WrittenLine {
    std::size_t index;           // in the record
    std::string_view attribute;  // as written, where its type is not known
    LineType type;               // where it is known
  };
  std::vector<WrittenLine> written;
  // By AttributeType::index (of `typeSchema`): how many lines of each type are written.
  std::vector<std::size_t> writtenOfType = std::vector<std::size_t>(typeSchema.Attributes().size());
  std::unordered_set<std::string_view> writtenSet;
  // Without the schema step: the type each attribute as written names (null for none), found
  // in the schema once per spelling. A book spells a few dozen; a file that spells ever new
  // ones is looked up line by line once this holds kTypesNamed.
  std::unordered_map<std::string, const AttributeType*, TextHash, std::equal_to<>> typesNamed;
  // Suffixes replaced by the base DN so far, each reported once, letters folded.
  std::unordered_set<std::string, NoCaseHash, NoCaseEqual> replacedSuffixes;
};

// The passes, messages and uniqueness of one record, then its output.
void RepairRun::State::Repair(RecordLines& lines, std::size_t line) {
  const bool isFirst = counts.recordsRead == 0;
  const RecordContext context{baseDN,
                              map,
                              log,
                              line,
                              ProgressFor(wantsProgress, line, counts.recordsRead + 1),
                              checker.has_value()};
  dnKey.clear();  // a record without a usable DN takes no part in uniqueness
  const RecordFacts facts = FixRecord(lines, isFirst, dnKey, context, room);
  if (!facts.header) ++counts.recordsRead;
  if (facts.noDN) Report(kNoDN, line);
  if (facts.emptyDN) Report(kEmptyDN, line);
  if (facts.memberless) Report(kNoMember, line);
  for (const std::string& suffix : facts.replacedSuffixes) {
    if (!replacedSuffixes.insert(suffix).second) continue;
    Report(std::string(kSuffixReplaced) + suffix + "\" now lie directly under the base DN", line);
  }
  bool notImportable = facts.NotImportable();
  bool checked = false;
  // A list without members is still checked: the directory refuses it for that, and should
  // find nothing else once its members are added.
  if (checker && !facts.header && !facts.noDN && !facts.emptyDN && !facts.badDN) {
    if (facts.recodedDN) {
      report.Note(kLatin1, "dn", {}, SchemaAction::kRepaired, line);
      ++counts.valuesRepaired;
    }
    const SchemaOutcome outcome = checker->Check(lines, baseDN, dnKey, line);
    checked = true;
    counts.valuesDropped += outcome.valuesDropped;
    counts.valuesRepaired += outcome.valuesRepaired;
    notImportable = notImportable || outcome.notImportable;
  }
  if (notImportable) ++counts.notImportable;
  bool typed = checked;
  const ParsedDN* parsed = checked ? &checker->ParsedKeyOf(dnKey) : nullptr;
  if (!dnKey.empty() && MakeUnique(dnKey, uniqueKey, parsed)) {
    ++counts.madeUnique;
    GiveUniqueDN(lines, dnKey, uniqueKey, context, room);
    typed = false;  // its cn lines have changed, and lines may have been added
  }
  const std::vector<LineType>* types = typed ? &checker->LineTypes() : nullptr;
  Emit(lines, !facts.header, types != nullptr && types->size() == lines.size() ? types : nullptr);
}

// Adds `key` to the run's keys; when an equal key is there already, draws candidates until
// one is free (each attempt changes the key's length or digits, so this ends), adds that one
// instead and returns true. `parsed`, when not null, is the key's DN parsed already.
bool RepairRun::State::MakeUnique(std::string_view key, std::string& candidate,
                                  const ParsedDN* parsed) {
  const bool added = parsed != nullptr ? usedDNs.AddIfAbsent(key, schemaStep.schema, *parsed)
                                       : usedDNs.AddIfAbsent(key, schemaStep.schema);
  if (added) return false;
  int attempt = 0;
  do {
    candidate = MakeCandidate(key, attempt++, random.Next());
  } while (!usedDNs.AddIfAbsent(candidate, schemaStep.schema));
  return true;
}

// Writes the record's lines that are not empty, each value once (a directory refuses an entry
// that holds one value of an attribute twice: "type or value exists"), and the blank line
// after it. `types` (from the schema step, or null) gives the type of lines it checked.
void RepairRun::State::Emit(const RecordLines& lines, bool isRecord,
                            const std::vector<LineType>* types) {
  const std::size_t count = lines.size();
  if (keys.size() < count) keys.resize(count);
  keyed.assign(count, false);
  for (const WrittenLine& line : written) {
    if (line.type.type != nullptr) writtenOfType[line.type.type->index] = 0;
  }
  written.clear();
  writtenSet.clear();
  for (std::size_t i = 0; i < count; ++i) {
    if (lines[i].empty()) continue;
    LineType known = types != nullptr ? (*types)[i] : LineType{};
    // The schema step writes every type under one name; without it, another name of the type
    // (commonName beside cn) is found through the type.
    const std::string_view attribute =
        known.type != nullptr ? std::string_view() : AttributeOf(lines[i]);
    if (known.type == nullptr && !checker) known.type = TypeNamed(attribute);
    if (!FirstTime(lines, i, attribute, known)) continue;
    written.push_back({i, attribute, known});
    if (known.type != nullptr) ++writtenOfType[known.type->index];
    out.Line(lines[i]);
  }
  if (isRecord && !written.empty()) ++counts.recordsWritten;
  out.Line({});
}

const AttributeType* RepairRun::State::TypeNamed(std::string_view attribute) {
  const auto found = typesNamed.find(attribute);
  if (found != typesNamed.end()) return found->second;
  const AttributeType* type = typeSchema.FindAttribute(attribute);
  if (typesNamed.size() < kTypesNamed) typesNamed.emplace(attribute, type);
  return type;
}

// The value key (see ValueKey) of line i, of `type` where known, worked out when first needed.
std::string_view RepairRun::State::KeyOf(const RecordLines& lines, std::size_t i,
                                         const AttributeType* type) {
  if (!keyed[i]) {
    ValueKey(lines[i], schemaStep.schema, keys[i], type);
    keyed[i] = true;
  }
  return keys[i];
}

// FirstTime for a line that may share its value: only lines of the same attribute (the same
// name, or the same type where it is known) can, so most lines need no key at all; two class
// lines of different classes never hold the same value. A long record keeps a set of keys.
bool RepairRun::State::NoValueWritten(const RecordLines& lines, std::size_t i,
                                      std::string_view attribute, const LineType& known) {
  if (written.size() >= kCompareEach) {
    if (writtenSet.empty()) {
      for (const WrittenLine& line : written) {
        writtenSet.insert(KeyOf(lines, line.index, line.type.type));
      }
    }
    return writtenSet.insert(KeyOf(lines, i, known.type)).second;
  }
  for (const WrittenLine& line : written) {
    const LineType& other = line.type;
    const bool sameAttribute =
        known.type != nullptr
            ? other.type == known.type
            : other.type == nullptr && EqualsNoCase(line.attribute, attribute);
    if (!sameAttribute) continue;
    if (known.kind != nullptr && other.kind != nullptr && known.kind != other.kind) continue;
    if (KeyOf(lines, line.index, other.type) == KeyOf(lines, i, known.type)) return false;
  }
  return true;
}

RepairRun::RepairRun(std::string_view baseDN, const TransformMap& map, UsedDNs& usedDNs,
                     RandomSource& random, Log* log, LineSink& out, const SchemaStep& schema)
    : state_(std::make_unique<State>(baseDN, map, usedDNs, random, log, out, schema)) {
  usedDNs.Clear();
}

RepairRun::~RepairRun() = default;

void RepairRun::AddText(std::string_view bytes) {
  State& s = *state_;
  s.fileLines.Feed(bytes, [&s](std::string_view line) { s.AddNextLine(line); });
}

void RepairRun::AddPaneText(std::string_view text) {
  State& s = *state_;
  s.paneLines.Feed(text, [&s](std::string_view line) { s.AddNextLine(line); });
}

void RepairRun::AddLine(std::string_view sourceLine) {
  State& s = *state_;
  // Every part counts as the one line handed in; a break at the very end only ends the line.
  const std::size_t number = ++s.lineNumber;
  auto add = [&s, number](std::string_view line) { s.collector.Add(line, number); };
  if (sourceLine.empty()) return add(sourceLine);
  s.paneLines.Feed(sourceLine, add);
  s.paneLines.Finish(add);
}

void RepairRun::Finish() {
  State& s = *state_;
  auto add = [&s](std::string_view line) { s.AddNextLine(line); };
  s.fileLines.Finish(add);
  s.paneLines.Finish(add);
  s.collector.Finish();
  s.report.Flush();
}

bool RepairRun::Stopped() const {
  return state_->fileLines.Stopped();
}
std::size_t RepairRun::StopLine() const {
  return state_->fileLines.StopLine();
}
const RepairCounts& RepairRun::Counts() const {
  return state_->counts;
}

std::vector<std::string> RunRepair(const std::vector<std::string>& sourceLines,
                                   std::string_view baseDN, const TransformMap& map,
                                   UsedDNs& usedDNs, RandomSource& random, Log* log) {
  struct Collect : LineSink {
    std::vector<std::string> lines;
    void Line(std::string_view line) override { lines.emplace_back(line); }
  } collect;
  RepairRun run(baseDN, map, usedDNs, random, log, collect);
  for (const std::string& line : sourceLines) run.AddLine(line);
  run.Finish();
  return std::move(collect.lines);
}

}  // namespace quorvane
