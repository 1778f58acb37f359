// Rewriting the lines of one LDIF record: DN escaping, profile rules, booleans, sn/cn.
#include "engine/fix_record.h"

#include <algorithm>

#include "engine/base64.h"
#include "engine/dn_escape.h"
#include "engine/messages.h"
#include "engine/record_shape.h"
#include "engine/text.h"

namespace quorvane {
namespace {

constexpr std::string_view kIgnoreAttribute = "/ignore/:";
constexpr std::string_view kIgnoreLine = "/ignore/";

// What a pass remembers of the record's lines: its facts, and in the run's room the names and
// DN value it found (cleared as the pass starts) and the lines it builds.
struct PassState {
  explicit PassState(FixRoom& runRoom) : room(runRoom) {
    room.snValue.clear();
    room.cnValue.clear();
    room.dnValue.clear();
  }
  FixRoom& room;
  RecordFacts facts;
};

// The name a record is known by, for the sn:/cn: lines it lacks. A value taken from a line
// keeps that line's form (": data" stays Base64); a value taken from a DN is plain bytes.
struct RecordName {
  std::string text;
  bool fromLine = false;
};

void WriteProgress(const RecordContext& context, std::string_view line, bool last) {
  if (context.log == nullptr) return;
  if (context.progress == ProgressLines::kLastOfRecord && !last) return;
  context.log->Write(std::string("fc: ").append(line), kLogProgress, context.line);
}

// Most runs show no progress: that test stays in the caller's loop.
inline void ReportProgress(const RecordContext& context, std::string_view line, bool last) {
  if (context.progress != ProgressLines::kNone) WriteProgress(context, line, last);
}

void Report(const RecordContext& context, std::string_view text) {
  if (context.log != nullptr) context.log->Write(text, kLogError, context.line);
}

std::string_view Lookup(const RecordContext& context, std::string_view name) {
  return context.map == nullptr ? std::string_view() : context.map->Lookup(name);
}

// A profile replacement ends at a line break, should one have got into it: one line stays one.
std::string_view CutAtLineBreak(std::string_view text) {
  if (text.empty()) return text;
  return text.substr(0, text.find_first_of(std::string_view("\r\n\0", 3)));
}

// The DN of a "dn:: data" / "member:: data" line, decoded into `room` and trimmed: `dn`. RFC
// 2849 allows any number of spaces (FILL) after the "::". On a decoding error the error is
// reported and false returned: the line then stays encoded.
bool DecodeBase64DN(std::string_view line, std::size_t attributeLength,
                    const RecordContext& context, std::string& room, std::string_view& dn) {
  std::size_t start = attributeLength + 2;
  while (start < line.size() && line[start] == ' ') ++start;
  if (TrimView(line.substr(start)).empty()) {
    dn = {};  // "dn::" with nothing after it is an empty DN
    return true;
  }
  if (!TryBase64ToStr(line.substr(start), room)) {
    Report(context, std::string(kBase64Failed).append(kBase64LengthError));
    return false;
  }
  dn = TrimView(room);
  return true;
}

// A DN a directory wrote under a suffix of its own (HierarchySuffix gave `firstRDN`), its
// escapes kept: with no base DN it stays whole; else its first RDN goes directly under the
// base DN, and a suffix other than the base DN is noted in `replacedSuffixes`. Returns the
// length of `out` before the base DN.
std::size_t AppendDirectoryDN(std::string_view value, std::size_t firstRDN, std::string_view baseDN,
                              std::string& out, std::vector<std::string>& replacedSuffixes) {
  if (baseDN.empty()) {  // nothing to put it under
    AppendDNAsWritten(value, out);
    return out.size();
  }
  AppendRDNAsWritten(value.substr(0, firstRDN), out);
  const std::size_t keyLength = out.size();
  const std::string_view hierarchy = TrimView(value.substr(firstRDN + 1));
  if (EqualsNoCase(hierarchy, baseDN)) {
    out.append(value.substr(firstRDN));  // already under the base: keep it as written
  } else {
    replacedSuffixes.push_back(EscapeLineBreaks(hierarchy));
    out.append(",").append(baseDN);
  }
  return keyLength;
}

// Escapes the DN of a dn: or member: line and puts it under the base DN, writing
// "<attribute>: <dn>" to `out`. Returns the length of `out` before the base DN, so that
// out[0, result) is the record's key for a dn: line. A DN under a suffix of its own program's
// directory keeps its escapes (AppendDirectoryDN).
std::size_t BuildDNLine(std::string_view attribute, std::string_view value, std::string_view baseDN,
                        std::string& out, std::vector<std::string>& replacedSuffixes) {
  out.assign(attribute).append(": ");
  if (!baseDN.empty() && EqualsNoCase(value, baseDN)) {
    out.append(value);  // the base entry itself
    return out.size();
  }
  const std::size_t firstRDN = HierarchySuffix(value);
  if (firstRDN != std::string_view::npos) {
    return AppendDirectoryDN(value, firstRDN, baseDN, out, replacedSuffixes);
  }
  const std::size_t suffix = FindBaseSuffix(value, baseDN);
  if (suffix != std::string_view::npos) {
    AppendEscapedDN(value.substr(0, suffix), out);
    const std::size_t keyLength = out.size();
    out.append(value.substr(suffix));  // already under the base: keep it as written
    return keyLength;
  }
  AppendEscapedDN(value, out);
  const std::size_t keyLength = out.size();
  if (!baseDN.empty()) out.append(",").append(baseDN);
  return keyLength;
}

// Renaming by attribute name, the Base64 and URL forms, dropping, and whole-line mapping:
// the line becomes the name, one blank and the value (the Base64 form "name:: data" keeps its
// own spacing), or empty when it is dropped. Returns the rebuilt line: `line` itself when it
// is written so already (most lines are), else text in `room` or in the profile. `name` and
// `value` must not lie in `room`. Inline: every line of every record passes here, and its
// checks cost less than passing it the parts.
inline std::string_view RebuildLine(std::string_view line, std::string_view name,
                                    std::string_view value, bool encodedFormAllowed,
                                    const RecordContext& context, std::string& room) {
  if (context.map != nullptr) {
    const std::string_view renamed = CutAtLineBreak(Lookup(context, name));
    if (!renamed.empty()) name = renamed;
  }
  if (name.empty() || value.empty() || name == kIgnoreAttribute) return {};
  const std::size_t blank = encodedFormAllowed && value.front() == ':' ? 0 : 1;
  // The line is written so already when the name is its start, the value its end, and between
  // them stands the one blank (or nothing): views of these very parts of `line`.
  std::string_view built = line;
  const bool asWritten =
      name.data() == line.data() && value.data() == line.data() + name.size() + blank &&
      value.size() == line.size() - name.size() - blank && (blank == 0 || line[name.size()] == ' ');
  if (!asWritten) {
    room.assign(name);
    if (blank == 1) room.push_back(' ');
    room.append(value);
    built = room;
  }
  if (context.map == nullptr) return built;
  const std::string_view mapped = CutAtLineBreak(Lookup(context, built));
  if (mapped == kIgnoreLine) return {};
  return mapped.empty() ? built : mapped;
}

// The steps for a dn:, member: or uniqueMember: line whose DN is `value` (decoded already
// where it was Base64); returns the rebuilt line.
std::string_view FixDNLine(std::string_view attribute, std::string_view value, bool isDN,
                           std::string& dnKey, PassState& state, const RecordContext& context) {
  if (context.recodeText && RecodeDNValues(value, state.room.recoded)) {
    value = state.room.recoded;
    state.facts.recodedDN = true;
  }
  // Components without a value ("cn=,mail=x") are left out; a DN left with nothing, or with
  // nothing but the base DN, is an empty DN.
  const std::string_view whole = WithoutEmptyParts(value, state.room.whole);
  const bool partsLeftOut = whole.data() != value.data();  // else it is `value` itself
  if (whole.empty() || (partsLeftOut && EqualsNoCase(whole, context.baseDN))) {
    if (!isDN) return {};
    // An entry with an empty DN is reported by the run; the line stays to show it.
    state.facts.emptyDN = true;
    return "dn:";
  }
  value = whole;
  if (!HasUnescapedEquals(FirstAVA(value))) {
    // A phone book writes the bare name ("Al/M"), a DN may start with one ("Doe,dc=x"): that
    // is the common name.
    std::string& named = state.room.named;
    named.assign("cn=").append(value);
    value = named;
    Report(context, std::string(kDNTakenAsName).append(EscapeLineBreaks(named)));
  }
  std::string& built = state.room.dn;
  const std::size_t keyLength =
      BuildDNLine(attribute, value, context.baseDN, built, state.facts.replacedSuffixes);
  const std::size_t valueStart = attribute.size() + 2;
  if (isDN) {
    dnKey.assign(built, 0, keyLength);
    state.room.dnValue.assign(built, valueStart);
  }
  const std::string_view builtView = built;
  return RebuildLine(builtView, builtView.substr(0, attribute.size() + 1),
                     builtView.substr(valueStart), false, context, state.room.rebuilt);
}

// A cn value with its double quotes made single quotes: `value` itself when it has none, else
// the value written in `room`, which `value` must not lie in.
std::string_view WithSingleQuotes(std::string_view value, std::string& room) {
  if (value.find('"') == std::string_view::npos) return value;
  room.assign(value);
  std::replace(room.begin(), room.end(), '"', '\'');
  return room;
}

// The steps for every line that is not a DN line; returns the rebuilt line.
std::string_view FixOtherLine(std::string_view line, PassState& state,
                              const RecordContext& context) {
  const NameValue nv = SplitNameValue(line);
  std::string_view value = nv.value;
  // A typed value that starts with a colon ("note: :x") must not come out as "note::x", which
  // a directory reads as Base64: such a value is written in the Base64 form (RFC 2849 lets no
  // plain value start with a colon). A cn value has its quotes changed first, as any cn value.
  const bool afterBlank = value.data() != nv.name.data() + nv.name.size();  // not "name::"
  if (value == ":" && !afterBlank) value = {};  // "name::" and nothing: an empty value
  if (!value.empty() && value.front() == ':' && afterBlank) {
    const std::string_view plain =
        nv.name == "cn:" ? WithSingleQuotes(value, state.room.quoted) : value;
    state.room.value.assign(": ");
    AppendBase64Encoded(plain, state.room.value);
    value = state.room.value;
  }
  if (nv.name == "sn:") {
    state.room.snValue = value;
  } else if (nv.name == "cn:") {
    value = WithSingleQuotes(value, state.room.quoted);
    state.room.cnValue = value;
  }
  if (EqualsNoCase(value, "false")) {
    value = "FALSE";
  } else if (EqualsNoCase(value, "true")) {
    value = "TRUE";
  }
  return RebuildLine(line, nv.name, value, true, context, state.room.rebuilt);
}

// The length of the attribute of a line whose value is a DN ("dn", "member", "uniqueMember"),
// or 0.
std::size_t DNAttributeLength(std::string_view line) {
  if (line.starts_with("dn:")) return 2;
  if (line.starts_with("member:")) return 6;
  if (StartsWithNoCase(line, "uniqueMember:")) return 12;
  return 0;
}

// One line of a first pass; returns the rebuilt line.
std::string_view FixLine(std::string_view line, std::string& dnKey, PassState& state,
                         const RecordContext& context) {
  const std::size_t attribute = DNAttributeLength(line);
  if (attribute == 0) return FixOtherLine(line, state, context);
  const bool isDN = attribute == 2;
  const std::string_view name = line.substr(0, attribute);
  if (line.size() > attribute + 1 && line[attribute + 1] == ':') {
    std::string_view decoded;
    if (!DecodeBase64DN(line, attribute, context, state.room.decoded, decoded)) {
      if (isDN) state.facts.badDN = true;
      return FixOtherLine(line, state, context);  // it stays encoded
    }
    return FixDNLine(name, decoded, isDN, dnKey, state, context);
  }
  return FixDNLine(name, TrimView(line.substr(attribute + 1)), isDN, dnKey, state, context);
}

// Appends "sn:"/"cn:" lines for the ones the record lacks: sn: and cn: for a person, cn: for
// a list, neither for anything else (an organization, a unit: such entries hold neither). The
// name they carry is asked of `nameOf` only then: most records lack neither.
template <typename NameOf>
void AppendMissingNames(RecordLines& lines, const NameOf& nameOf, const PassState& state,
                        const RecordShape& shape) {
  const bool lacksSn = state.room.snValue.empty() && shape.isPerson;
  const bool lacksCn = state.room.cnValue.empty() && (shape.isPerson || shape.isGroup);
  if (!lacksSn && !lacksCn) return;
  const RecordName name = nameOf();
  if (TrimView(name.text).empty()) return;
  auto append = [&](std::string_view attribute) {
    std::string line;
    if (!name.fromLine) {
      AppendAttributeLine(attribute, name.text, line);
    } else {
      line.append(attribute);
      line.append(name.text.front() == ':' ? ":" : ": ");  // ":" keeps the Base64 form
      line.append(name.text);
    }
    lines.push_back(std::move(line));
  };
  if (lacksSn) append("sn");
  if (lacksCn) append("cn");
}

// The RDN value of a DN, with its escapes undone: what the directory stores as that value.
std::string NameFromDN(std::string_view dn) {
  return UnescapeDNValue(FirstRDNValue(dn));
}

RecordName ChooseName(const PassState& state) {
  if (!state.room.snValue.empty()) return {state.room.snValue, true};
  if (!state.room.cnValue.empty()) return {state.room.cnValue, true};
  return {NameFromDN(state.room.dnValue), false};
}

// A record without a dn: line is given the DN its address book would have written, from its
// name; the new line comes first and is repaired as any dn: line.
void NameTheRecord(RecordLines& lines, PassState& state, const RecordContext& context) {
  const std::string dn = DNFromNames(lines);
  if (dn.empty()) {
    state.facts.noDN = true;
    return;
  }
  lines.insert(lines.begin(), "dn: " + dn);
  Report(context, std::string(kDNFromName).append(EscapeLineBreaks(dn)));
}

RecordFacts FirstPass(RecordLines& lines, bool isFirstRecord, std::string& dnKey,
                      const RecordContext& context, FixRoom& room) {
  PassState state(room);
  // A block with a dn: line is a record: only a block without one may be a header.
  const bool hasDN = HasDNLine(lines);
  state.facts.header = !hasDN && IsHeaderBlock(lines);
  if (!state.facts.header && !hasDN) NameTheRecord(lines, state, context);
  const std::size_t count = lines.size();
  for (std::size_t i = 0; i < count; ++i) {
    ReportProgress(context, lines[i], i + 1 == count);
    const std::string_view fixed = FixLine(lines[i], dnKey, state, context);
    if (fixed.data() != lines[i].data() || fixed.size() != lines[i].size()) lines[i].assign(fixed);
  }
  if (state.facts.header) return state.facts;
  const RecordShape shape = SettleObjectClasses(lines, isFirstRecord);
  AppendMissingNames(lines, [&state] { return ChooseName(state); }, state, shape);
  state.facts.memberless = shape.lacksMembers;
  return state.facts;
}

bool IsAttribute(const NameValue& nv, std::string_view name, std::string_view alias) {
  const std::string_view attribute = nv.Attribute();
  return EqualsNoCase(attribute, name) || EqualsNoCase(attribute, alias);
}

// Only the dn: line and the cn: lines change; everything else stays as the first pass left it.
// The cn: lines are found whatever their letter case or name (commonName), as the directory
// finds them: every one must carry the new name the DN is made of.
void SecondPass(RecordLines& lines, std::string& dnKey, std::string_view forcedDN,
                const RecordContext& context, FixRoom& room) {
  PassState state(room);
  const std::string newName = NameFromDN(SplitNameValue(forcedDN).value);
  // A forced DN that names nothing leaves the name to ChooseName(), which may need the DN.
  const bool namesNothing = TrimView(newName).empty();
  // The key is the forced DN even when a profile renamed the dn: line away.
  dnKey.assign(forcedDN);
  const std::size_t count = lines.size();
  for (std::size_t i = 0; i < count; ++i) {
    ReportProgress(context, lines[i], i + 1 == count);
    std::string& line = lines[i];
    const NameValue nv = SplitNameValue(line);
    // The keyed DN line; an undecodable "dn::" line keeps its encoded form. A DN value may
    // itself begin with ":" ("dn: : x"), so the test is on the line, not the value.
    if (nv.name == "dn:" && !line.starts_with("dn::")) {
      line.assign(forcedDN);
      if (!context.baseDN.empty()) line.append(",").append(context.baseDN);
      if (namesNothing) state.room.dnValue = SplitNameValue(line).value;
    } else if (IsAttribute(nv, "sn", "surname")) {
      state.room.snValue = nv.value;
    } else if (IsAttribute(nv, "cn", "commonName")) {
      state.room.cnValue = nv.value;
      if (!namesNothing) {  // a DN without "=" names nothing: cn stays
        line.clear();
        AppendAttributeLine("cn", newName, line);
      }
    }
  }
  const auto nameOf = [&] { return namesNothing ? ChooseName(state) : RecordName{newName, false}; };
  AppendMissingNames(lines, nameOf, state, ShapeOf(lines));
}

}  // namespace

std::string PrepareBaseDN(std::string_view typed) {
  return EscapeLineBreaks(TrimView(typed));
}

RecordFacts FixRecord(RecordLines& lines, bool isFirstRecord, std::string& dnKey,
                      const RecordContext& context, FixRoom& room) {
  return FirstPass(lines, isFirstRecord, dnKey, context, room);
}

RecordFacts FixRecord(RecordLines& lines, bool isFirstRecord, std::string& dnKey,
                      const RecordContext& context) {
  FixRoom room;
  return FirstPass(lines, isFirstRecord, dnKey, context, room);
}

void GiveUniqueDN(RecordLines& lines, std::string& dnKey, std::string_view uniqueDN,
                  const RecordContext& context, FixRoom& room) {
  SecondPass(lines, dnKey, uniqueDN, context, room);
}

}  // namespace quorvane
