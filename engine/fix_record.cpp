// Rewriting the lines of one LDIF record: DN escaping, profile rules, booleans, sn/cn.
#include "engine/fix_record.h"

#include <cstring>

#include "engine/base64.h"
#include "engine/dn_escape.h"
#include "engine/error.h"
#include "engine/text.h"

namespace quorvane {
namespace {

constexpr std::string_view kIgnoreAttribute = "/ignore/:";
constexpr std::string_view kIgnoreLine = "/ignore/";

// The name a record is known by, for the sn:/cn: lines it lacks. A value taken from a line
// keeps that line's form (": data" stays Base64); a value taken from a DN is plain bytes.
struct RecordName {
  std::string_view text;
  bool fromLine = false;
};

struct PassState {
  std::string snValue;
  std::string cnValue;
  std::string dnValue;
  RecordFacts facts;
};

// Reused between lines and records, so that rewriting a line does not allocate.
thread_local std::string tScratch;
thread_local std::string tName;  // a name taken from a DN, with its escapes undone
thread_local PassState tState;

// The state of a new pass; its strings keep their buffers from the passes before.
PassState& FreshState() {
  tState.snValue.clear();
  tState.cnValue.clear();
  tState.dnValue.clear();
  tState.facts = {};
  return tState;
}

// `last`: the line is the last one the record came with. Most records report nothing: the
// test for that stays inline, the rest is called.
void ReportProgress(const RecordContext& context, std::string_view line, bool last) {
  if (context.progress == ProgressLines::kLastOfRecord && !last) return;
  if (context.log == nullptr || !context.log->WantsProgress()) return;
  tScratch.assign("fc: ").append(line);
  context.log->Write(tScratch, kLogProgress, context.line);
}
inline void Progress(const RecordContext& context, std::string_view line, bool last) {
  if (context.progress != ProgressLines::kNone) ReportProgress(context, line, last);
}

void ReportError(const RecordContext& context, std::string_view text) {
  if (context.log != nullptr) context.log->Write(text, kLogError, context.line);
}

std::string_view Lookup(const RecordContext& context, std::string_view name) {
  return context.map == nullptr ? std::string_view() : context.map->Lookup(name);
}

// A profile replacement ends at a line break, should one have got into it: one line stays one.
std::string_view CutAtLineBreak(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n' || text[i] == '\0') return text.substr(0, i);
  }
  return text;
}

// The attribute name without its colon and the blanks around it: "objectclass :" -> "objectclass".
std::string_view BareName(std::string_view name) {
  if (!name.empty() && name.back() == ':') name.remove_suffix(1);
  return TrimView(name);
}

bool IsGenericObjectClass(const NameValue& nv) {
  return BareName(nv.name) == "objectclass" &&
         (nv.value == "top" || nv.value == "person" || nv.value == "organizationalPerson");
}

// Notes group membership on a line as it leaves the pass (after the profile's rules).
void NoteRecordShape(std::string_view line, RecordFacts& facts) {
  // Only "objectclass", "member" and "uniqueMember" matter; most lines are told apart by
  // their first letters without splitting them.
  std::size_t begin = 0;
  while (begin < line.size() && static_cast<unsigned char>(line[begin]) <= 32) ++begin;
  if (begin == line.size()) return;
  const char first = LowerAscii(line[begin]);
  if (first != 'o' && first != 'm' && first != 'u') return;
  const std::string_view rest = line.substr(begin);
  // The value after `name`, blanks and a colon; npos when the line is no such attribute.
  auto valueOf = [rest](std::string_view name) -> std::string_view {
    if (rest.size() <= name.size() || !EqualsNoCase(rest.substr(0, name.size()), name)) {
      return {nullptr, 0};
    }
    std::size_t colon = name.size();
    while (colon < rest.size() && static_cast<unsigned char>(rest[colon]) <= 32) ++colon;
    if (colon == rest.size() || rest[colon] != ':') return {nullptr, 0};
    return TrimView(rest.substr(colon + 1));
  };
  if (first == 'o') {
    const std::string_view value = valueOf("objectclass");
    if (EqualsNoCase(value, "groupOfNames") || EqualsNoCase(value, "groupOfUniqueNames")) {
      facts.isGroup = true;
    }
  } else if (valueOf(first == 'm' ? "member" : "uniqueMember").data() != nullptr) {
    facts.hasMember = true;
  }
}

// The DN of a "dn:: data" / "member:: data" line, decoded and trimmed, in a buffer reused from
// line to line. RFC 2849 allows any number of spaces (FILL) after the "::". On a decoding error
// the error is reported and the result is null: the line then stays encoded.
const std::string* DecodeBase64DN(std::string_view line, std::size_t attributeLength,
                                  const RecordContext& context) {
  thread_local std::string decoded;
  std::size_t start = attributeLength + 2;
  while (start < line.size() && line[start] == ' ') ++start;
  decoded.clear();
  try {
    AppendBase64Decoded(line.substr(start), decoded);
  } catch (const Error& error) {
    tScratch.assign("001: ").append(error.what());
    ReportError(context, tScratch);
    return nullptr;
  }
  return &decoded;
}

// Escapes the DN of a dn: or member: line and puts it under the base DN, writing
// "<attribute>: <dn>" to `out`. Returns the length of `out` before the base DN, so that
// out[0, result) is the record's key for a dn: line.
std::size_t BuildDNLine(std::string_view attribute, std::string_view value,
                        std::string_view baseDN, std::string& out) {
  out.assign(attribute).append(": ");
  const std::string_view base = TrimView(baseDN);
  if (!base.empty() && EqualsNoCase(value, base)) {
    out.append(value);  // the base entry itself
    return out.size();
  }
  const std::size_t suffix = FindBaseSuffix(value, base);
  if (suffix != std::string_view::npos) {
    AppendEscapedDN(value.substr(0, suffix), out);
    const std::size_t keyLength = out.size();
    out.append(value.substr(suffix));  // already under the base: keep it as written
    return keyLength;
  }
  AppendEscapedDN(value, out);
  const std::size_t keyLength = out.size();
  if (!base.empty()) out.append(",").append(baseDN);
  return keyLength;
}

// Renaming by attribute name, the Base64 and URL forms, dropping, and whole-line mapping.
// Rewrites `line` (possibly to empty); `name` and `value` may point into it. Most lines are
// already "name: value" and keep their bytes where they are.
void RebuildLine(std::string& line, std::string_view name, std::string_view value,
                 bool encodedFormAllowed, const RecordContext& context) {
  const std::string_view renamed = CutAtLineBreak(Lookup(context, name));
  if (!renamed.empty()) name = renamed;
  if (name.empty() || value.empty() || name == kIgnoreAttribute) {
    line.clear();
    return;
  }
  const bool spaced = !(encodedFormAllowed && value.front() == ':');
  const bool inPlace = renamed.empty() && name.data() == line.data() &&
                       line.size() == name.size() + spaced + value.size() &&
                       value.data() + value.size() == line.data() + line.size() &&
                       (!spaced || line[name.size()] == ' ');
  if (!inPlace) {
    tScratch.assign(name);
    if (spaced) tScratch.push_back(' ');
    tScratch.append(value);
    line.swap(tScratch);
  }
  const std::string_view mapped = CutAtLineBreak(Lookup(context, line));
  if (mapped.empty()) return;
  if (mapped == kIgnoreLine) {
    line.clear();
  } else {
    line.assign(mapped);
  }
}

// Steps for a dn: or member: line that is not (or no longer) Base64: `value` is its DN, which
// need not lie in `line` (a decoded one does not).
void FixDNLine(std::string& line, std::string_view attribute, std::string_view value, bool isDN,
               std::string& dnKey, PassState& state, const RecordContext& context) {
  if (value.empty()) {
    if (isDN) {
      // An entry with an empty DN is reported by the run; the line stays to show it.
      state.facts.emptyDN = true;
      line.assign("dn:");
    } else {
      line.clear();
    }
    return;
  }
  thread_local std::string built;
  const std::size_t keyLength = BuildDNLine(attribute, value, context.baseDN, built);
  const std::size_t valueStart = attribute.size() + 2;
  if (isDN) {
    dnKey.assign(built, 0, keyLength);
    state.dnValue.assign(built, valueStart);
  }
  // `built` starts with the attribute and its colon, which is the name to look up.
  const std::string_view builtView = built;
  RebuildLine(built, builtView.substr(0, attribute.size() + 1), builtView.substr(valueStart),
              false, context);
  line.swap(built);
}

void FixOtherLine(std::string& line, bool isFirstRecord, PassState& state,
                  const RecordContext& context) {
  NameValue nv = SplitNameValue(line);
  // A typed value that starts with a colon ("note: :x") must not come out as "note::x", which
  // a directory reads as Base64: such a value is written in the Base64 form (RFC 2849 lets no
  // plain value start with a colon). A cn value has its quotes changed first, as any cn value.
  thread_local std::string encoded;
  const std::size_t colon = FindByte(line, ':');
  if (!nv.value.empty() && nv.value.front() == ':' && colon + 1 < line.size() &&
      line[colon + 1] != ':') {
    std::string plain(nv.value);
    if (nv.name == "cn:") {
      for (char& c : plain) {
        if (c == '"') c = '\'';
      }
    }
    encoded.assign(": ");
    AppendBase64Encoded(plain, encoded);
    nv.value = encoded;
  }
  if (!isFirstRecord && IsGenericObjectClass(nv)) {
    line.clear();
    return;
  }
  if (nv.name == "sn:") {
    state.snValue.assign(nv.value);
  } else if (nv.name == "cn:") {
    std::string& cn = state.cnValue;
    cn.assign(nv.value);
    for (char& c : cn) {
      if (c == '"') c = '\'';
    }
    nv.value = cn;
  } else if (nv.name == "dn:") {
    state.dnValue.assign(nv.value);  // a dn:: line that did not decode
  }
  if (EqualsNoCase(nv.value, "false")) {
    nv.value = "FALSE";
  } else if (EqualsNoCase(nv.value, "true")) {
    nv.value = "TRUE";
  }
  RebuildLine(line, nv.name, nv.value, true, context);
}

// Appends "sn:"/"cn:" lines for the ones the record lacks (a group gets no sn:).
void AppendMissingNames(RecordLines& lines, const RecordName& name, const PassState& state) {
  if (TrimView(name.text).empty()) return;
  auto append = [&](std::string_view attribute) {
    std::string& line = tScratch;
    line.clear();
    if (!name.fromLine) {
      AppendAttributeLine(attribute, name.text, line);
    } else {
      line.append(attribute);
      line.append(name.text.front() == ':' ? ":" : ": ");  // ":" keeps the Base64 form
      line.append(name.text);
    }
    lines.push_back(line);
  };
  if (state.snValue.empty() && !state.facts.isGroup) append("sn");
  if (state.cnValue.empty()) append("cn");
}

// The RDN value of a DN, with its escapes undone: what the directory stores as that value.
// Valid until the next call on the same thread.
std::string_view NameFromDN(std::string_view dn) {
  tName.clear();
  AppendUnescapedDNValue(FirstRDNValue(dn), tName);
  return tName;
}

RecordName ChooseName(const PassState& state) {
  if (!state.snValue.empty()) return {state.snValue, true};
  if (!state.cnValue.empty()) return {state.cnValue, true};
  return {NameFromDN(state.dnValue), false};
}

// A line named exactly "dn:", "sn:" or "cn:", the lines a second pass reads.
// Its name is the text before the first colon, trimmed, so after the leading blanks the line
// starts with exactly that name.
bool IsNameLine(std::string_view line) {
  std::size_t begin = 0;
  while (begin < line.size() && static_cast<unsigned char>(line[begin]) <= 32) ++begin;
  if (line.size() - begin < 3 || line[begin + 1] != 'n' || line[begin + 2] != ':') return false;
  const char first = line[begin];
  return first == 'd' || first == 's' || first == 'c';
}

// Where the value of an ordinary line starts, when the line is already written as the pass
// writes it and so keeps its bytes where they are: "name: value" with one blank after the
// colon, or "name:: data", with no blank at either end or before the colon. Zero otherwise,
// and for a value that starts with a colon after the blank, which the general path rewrites.
std::size_t PlainValueStart(std::string_view line) {
  const std::size_t size = line.size();
  if (size < 3 || static_cast<unsigned char>(line[0]) <= 32 ||
      static_cast<unsigned char>(line[size - 1]) <= 32) {
    return 0;
  }
  const std::size_t colon = FindByte(line, ':');
  if (colon == 0 || colon + 2 > size || static_cast<unsigned char>(line[colon - 1]) <= 32) {
    return 0;
  }
  if (line[colon + 1] == ':') return colon + 1;  // the value ": data" marks the encoded form
  if (line[colon + 1] != ' ' || colon + 3 > size) return 0;
  const char valueFirst = line[colon + 2];
  return static_cast<unsigned char>(valueFirst) > 32 && valueFirst != ':' ? colon + 2 : 0;
}

bool IsGenericClassName(std::string_view value) {
  return value == "top" || value == "person" || value == "organizationalPerson";
}

// The record's shape as NoteRecordShape would note it, for a line that is exactly
// `bare` + ":" + blank + `value` (or `bare` + ":" + `value` for ": data").
void NotePlainLineShape(std::string_view bare, std::string_view value, RecordFacts& facts) {
  switch (bare.size()) {
    case 11:
      if (EqualsNoCase(bare, "objectclass") &&
          (EqualsNoCase(value, "groupOfNames") || EqualsNoCase(value, "groupOfUniqueNames"))) {
        facts.isGroup = true;
      }
      break;
    case 6:
      if (EqualsNoCase(bare, "member")) facts.hasMember = true;
      break;
    case 12:
      if (EqualsNoCase(bare, "uniqueMember")) facts.hasMember = true;
      break;
    default:
      break;
  }
}

// The value of line i, from `valueStart` on, in the line's own copy, to be changed there;
// `valueView` is set to it.
char* OwnValue(RecordLines& lines, std::size_t i, std::size_t valueStart,
               std::string_view& valueView) {
  std::string& own = lines.Mutable(i);
  valueView = std::string_view(own).substr(valueStart);
  return own.data() + valueStart;
}

// FixOtherLine and the notes on the result, for `line` (line i of `lines`) when
// PlainValueStart() accepts it: the steps decide on the name's length and first bytes, and a
// value that changes is changed in its place. A line that stays as it came is not copied.
// False, with nothing done, for any other line. `nameLine`: whether the line is named "sn:" or
// "cn:" afterwards. Inlined into the first pass, which it is for most lines.
[[gnu::always_inline]] inline bool FixPlainLine(RecordLines& lines, std::size_t i,
                                                std::string_view line, bool isFirstRecord,
                                                PassState& state, const RecordContext& context,
                                                bool& nameLine) {
  const std::size_t valueStart = PlainValueStart(line);
  if (valueStart == 0) return false;
  const bool spaced = line[valueStart - 1] == ' ';
  const std::size_t colon = valueStart - 1 - spaced;
  const std::string_view bare(line.data(), colon);
  std::string_view valueView = line.substr(valueStart);
  const std::size_t valueSize = valueView.size();
  nameLine = false;
  if (colon == 11 && !isFirstRecord && bare == "objectclass" && IsGenericClassName(valueView)) {
    lines.Erase(i);
    return true;
  }
  if (colon == 2 && bare[1] == 'n') {
    if (bare[0] == 's') {
      state.snValue.assign(valueView);
      nameLine = true;
    } else if (bare[0] == 'c') {
      const std::size_t quote = FindByte(valueView, '"');
      if (quote < valueSize) {
        char* const value = OwnValue(lines, i, valueStart, valueView);
        for (std::size_t k = quote; k < valueSize; ++k) {
          if (value[k] == '"') value[k] = '\'';
        }
      }
      state.cnValue.assign(valueView);
      nameLine = true;
    }
  }
  if (valueSize == 5 && EqualsNoCase(valueView, "false")) {
    if (valueView != "FALSE") std::memcpy(OwnValue(lines, i, valueStart, valueView), "FALSE", 5);
  } else if (valueSize == 4 && EqualsNoCase(valueView, "true")) {
    if (valueView != "TRUE") std::memcpy(OwnValue(lines, i, valueStart, valueView), "TRUE", 4);
  }
  if (context.map != nullptr) {
    // The profile's rules, as RebuildLine applies them; a line they change is noted afresh.
    bool changed = false;
    const std::string_view renamed =
        CutAtLineBreak(context.map->Lookup(std::string_view(line.data(), colon + 1)));
    if (!renamed.empty()) {
      if (renamed == kIgnoreAttribute) {
        lines.Erase(i);
        nameLine = false;
        return true;
      }
      tScratch.assign(renamed);
      if (spaced) tScratch.push_back(' ');
      tScratch.append(valueView);
      lines.SwapIn(i, tScratch);
      changed = true;
    }
    const std::string_view mapped = CutAtLineBreak(context.map->Lookup(lines[i]));
    if (!mapped.empty()) {
      if (mapped == kIgnoreLine) {
        lines.Erase(i);
      } else {
        lines.Assign(i, mapped);
      }
      changed = true;
    }
    if (changed) {
      NoteRecordShape(lines[i], state.facts);
      nameLine = IsNameLine(lines[i]);
      return true;
    }
  }
  NotePlainLineShape(bare, valueView, state.facts);
  return true;
}

// Steps for a line the fast path does not take: dn: and member: lines, and lines that are not
// yet written as the pass writes them.
void FixLine(std::string& line, bool isFirstRecord, std::string& dnKey, PassState& state,
             const RecordContext& context) {
  const std::string_view view = line;
  std::size_t attribute = 0;  // the length of "dn" or "member" on such a line
  if (view.starts_with("dn:")) {
    attribute = 2;
  } else if (view.starts_with("member:")) {
    attribute = 6;
  }
  if (attribute == 0) {
    FixOtherLine(line, isFirstRecord, state, context);
    return;
  }
  const bool isDN = attribute == 2;
  if (view.size() > attribute + 1 && view[attribute + 1] == ':') {
    // A line that does not decode stays encoded and passes as any other line.
    const std::string* decoded = DecodeBase64DN(view, attribute, context);
    if (decoded == nullptr) {
      FixOtherLine(line, isFirstRecord, state, context);
    } else {
      FixDNLine(line, view.substr(0, attribute), TrimView(*decoded), isDN, dnKey, state, context);
    }
    return;
  }
  FixDNLine(line, view.substr(0, attribute), TrimView(view.substr(attribute + 1)), isDN, dnKey,
            state, context);
}

RecordFacts FirstPass(RecordLines& lines, bool isFirstRecord, std::string& dnKey,
                      const RecordContext& context) {
  PassState& state = FreshState();
  std::vector<std::size_t>* nameLines =
      context.notes != nullptr ? &context.notes->nameLines : nullptr;
  if (nameLines != nullptr) nameLines->clear();
  const std::size_t count = lines.size();
  for (std::size_t i = 0; i < count; ++i) {
    const std::string_view line = lines[i];
    Progress(context, line, i + 1 == count);
    bool nameLine = false;
    // Lines starting "dn:" or "member:" hold DNs and never take the fast path.
    const char first = line.empty() ? '\0' : line[0];
    const bool maybeDN = (first == 'd' && line.starts_with("dn:")) ||
                         (first == 'm' && line.starts_with("member:"));
    if (maybeDN || !FixPlainLine(lines, i, line, isFirstRecord, state, context, nameLine)) {
      FixLine(lines.Mutable(i), isFirstRecord, dnKey, state, context);
      NoteRecordShape(lines[i], state.facts);
      nameLine = IsNameLine(lines[i]);
    }
    if (nameLine && nameLines != nullptr) nameLines->push_back(i);
  }
  AppendMissingNames(lines, ChooseName(state), state);
  if (context.notes != nullptr) {
    for (std::size_t i = count; i < lines.size(); ++i) {
      if (IsNameLine(lines[i])) nameLines->push_back(i);
    }
    context.notes->facts = state.facts;
  }
  return state.facts;
}

// Only the dn: line and the cn: lines change; everything else stays as the first pass left it.
RecordFacts SecondPass(RecordLines& lines, std::string& dnKey, std::string_view forcedDN,
                       const RecordContext& context) {
  PassState& state = FreshState();
  const std::string_view forcedValue = SplitNameValue(forcedDN).value;
  const std::string_view newName = NameFromDN(forcedValue);
  const std::string_view base = TrimView(context.baseDN);
  // A forced DN that names nothing leaves the name to ChooseName(), which may need the DN.
  const bool namesNothing = TrimView(newName).empty();
  // The key is the forced DN even when a profile renamed the dn: line away.
  dnKey.assign(forcedDN);
  auto rewrite = [&](std::size_t i) {
    const std::string_view line = lines[i];
    const NameValue nv = SplitNameValue(line);
    // The keyed DN line; an undecodable "dn::" line keeps its encoded form. A DN value may
    // itself begin with ":" ("dn: : x"), so the test is on the line, not the value.
    if (nv.name == "dn:" && !line.starts_with("dn::")) {
      tScratch.assign(forcedDN);
      if (!base.empty()) tScratch.append(",").append(context.baseDN);
      lines.SwapIn(i, tScratch);
      if (namesNothing) state.dnValue.assign(SplitNameValue(lines[i]).value);
    } else if (nv.name == "sn:") {
      state.snValue.assign(nv.value);
    } else if (nv.name == "cn:") {
      state.cnValue.assign(nv.value);
      if (namesNothing) return;  // a DN without "=" names nothing: cn stays
      tScratch.clear();
      AppendAttributeLine("cn", newName, tScratch);
      lines.SwapIn(i, tScratch);
    }
  };
  const std::size_t count = lines.size();
  if (context.notes != nullptr && context.progress != ProgressLines::kEvery) {
    // Only the lines the first pass noted can change; the shape stays as it found it.
    if (count > 0) Progress(context, lines[count - 1], true);
    for (const std::size_t i : context.notes->nameLines) rewrite(i);
    state.facts = context.notes->facts;
  } else {
    for (std::size_t i = 0; i < count; ++i) {
      Progress(context, lines[i], i + 1 == count);
      rewrite(i);
      NoteRecordShape(lines[i], state.facts);
    }
  }
  RecordName name{newName, false};
  if (namesNothing) name = ChooseName(state);
  AppendMissingNames(lines, name, state);
  return state.facts;
}

}  // namespace

RecordLines::RecordLines(std::initializer_list<std::string_view> lines) {
  for (std::string_view line : lines) push_back(line);
}

std::vector<std::string> RecordLines::NonEmpty() const {
  std::vector<std::string> result;
  for (const std::string_view line : *this) {
    if (!line.empty()) result.emplace_back(line);
  }
  return result;
}

RecordFacts FixRecord(RecordLines& lines, bool isFirstRecord, std::string& dnKey,
                      std::string_view forcedDN, const RecordContext& context) {
  if (forcedDN.empty()) return FirstPass(lines, isFirstRecord, dnKey, context);
  return SecondPass(lines, dnKey, forcedDN, context);
}

}  // namespace quorvane
