// What a record is, from its lines: a header block, a person, a list; its object classes.
#include "engine/record_shape.h"

#include <algorithm>
#include <array>

#include "engine/base64.h"
#include "engine/text.h"

namespace quorvane {
namespace {

// Classes whose entries hold sn and cn (the address book's own person classes included).
constexpr std::array<std::string_view, 7> kPersonClasses = {"person",
                                                            "organizationalPerson",
                                                            "inetOrgPerson",
                                                            "residentialPerson",
                                                            "mozillaAbPersonAlpha",
                                                            "mozillaAbPersonObsolete",
                                                            "mozillaOrgPerson"};

// The first non-empty value of `attribute`, decoded where it is Base64.
std::string FirstValue(const RecordLines& lines, std::string_view attribute) {
  for (const std::string& line : lines) {
    if (ValueStartOf(line, attribute) == std::string_view::npos) continue;
    std::string_view value = SplitNameValue(line).value;
    if (!value.empty() && value.front() == ':' && line.find("::") != std::string::npos) {
      std::string decoded;
      if (TryBase64ToStr(TrimView(value.substr(1)), decoded) && !TrimView(decoded).empty()) {
        return Trim(decoded);
      }
      continue;
    }
    if (!value.empty()) return std::string(value);
  }
  return {};
}

}  // namespace

bool IsHeaderBlock(const RecordLines& lines) {
  return std::all_of(lines.begin(), lines.end(), [](const std::string& line) {
    const NameValue nv = SplitNameValue(line);
    return line.starts_with('#') || (nv.name == "version:" && nv.value == "1");
  });
}

bool HasDNLine(const RecordLines& lines) {
  return std::any_of(lines.begin(), lines.end(),
                     [](const std::string& line) { return line.starts_with("dn:"); });
}

std::string DNFromNames(const RecordLines& lines) {
  const std::string name = FirstValue(lines, "cn");
  const std::string mail = FirstValue(lines, "mail");
  if (name.empty()) return mail.empty() ? std::string() : "mail=" + mail;
  return mail.empty() ? "cn=" + name : "cn=" + name + ",mail=" + mail;
}

namespace {

// What one line adds to a record's shape, and whether it is a generic class line: a set of
// these bits.
using LineShape = unsigned;
constexpr LineShape kClass = 1;
constexpr LineShape kGeneric = 2;
constexpr LineShape kPersonClass = 4;
constexpr LineShape kNamesList = 8;
constexpr LineShape kUniqueNamesList = 16;
constexpr LineShape kMember = 32;
constexpr LineShape kUniqueMember = 64;

// Whether an objectclass line (its value, trimmed, is `value`) names a generic class as the
// address book writes them: exactly these words.
bool IsGenericClassLine(std::string_view line, std::string_view value) {
  return (value == "top" || value == "person" || value == "organizationalPerson") &&
         TrimStartView(line).starts_with("objectclass");
}

LineShape ShapeOfClassLine(std::string_view line, std::size_t valueStart) {
  const std::string_view value = TrimView(line.substr(valueStart));
  LineShape shape = kClass;
  if (IsGenericClassLine(line, value)) shape |= kGeneric;
  if (EqualsNoCase(value, "groupOfNames")) shape |= kNamesList;
  if (EqualsNoCase(value, "groupOfUniqueNames")) shape |= kUniqueNamesList;
  if (std::any_of(kPersonClasses.begin(), kPersonClasses.end(),
                  [value](std::string_view c) { return EqualsNoCase(value, c); })) {
    shape |= kPersonClass;
  }
  return shape;
}

// Inline: it is asked of every line of every record, and most lines are done with at their
// first letter.
inline LineShape ShapeOfLine(std::string_view line) {
  // Only objectclass, member and uniqueMember lines shape a record (a record's lines start
  // with their attribute: the collector trimmed them).
  const char first = line.empty() ? '\0' : LowerAscii(line.front());
  if (first == 'm') {
    return ValueStartOf(line, "member") != std::string_view::npos ? kMember : 0;
  }
  if (first == 'u') {
    return ValueStartOf(line, "uniqueMember") != std::string_view::npos ? kUniqueMember : 0;
  }
  if (first != 'o') return 0;
  const std::size_t valueStart = ValueStartOf(line, "objectclass");
  return valueStart == std::string_view::npos ? 0 : ShapeOfClassLine(line, valueStart);
}

// A line that a profile's rule wrote with blanks before its attribute: no line shape sees it,
// but as the text of a generic class line it is dropped with the others.
bool StartsWithBlank(std::string_view line) {
  return !line.empty() && IsTrimmed(line.front());
}

// Whether a line, blanks at its start or not, is a generic class line as it is dropped.
bool IsGenericClassText(std::string_view line) {
  const std::size_t valueStart = ValueStartOf(line, "objectclass");
  return valueStart != std::string_view::npos &&
         IsGenericClassLine(line, TrimView(line.substr(valueStart)));
}

// The shape of a record whose lines' shapes together are `lines`.
RecordShape ShapeFrom(LineShape lines) {
  RecordShape shape;
  shape.isPerson = (lines & kPersonClass) != 0;
  shape.isGroup = (lines & (kNamesList | kUniqueNamesList)) != 0;
  shape.lacksMembers = ((lines & kNamesList) != 0 && (lines & kMember) == 0) ||
                       ((lines & kUniqueNamesList) != 0 && (lines & kUniqueMember) == 0);
  return shape;
}

// A record without any class gets the one its member lines call for, after its dn: line.
RecordShape AddDefaultClass(RecordLines& lines, LineShape all) {
  const bool members = (all & kMember) != 0;
  const bool uniqueMembers = (all & kUniqueMember) != 0;
  if (uniqueMembers) {
    all |= kUniqueNamesList;
  } else {
    all |= members ? kNamesList : kPersonClass;
  }
  const std::string line = "objectclass: " + std::string(DefaultClassFor(members, uniqueMembers));
  const auto dn = std::find_if(lines.begin(), lines.end(),
                               [](const std::string& l) { return l.starts_with("dn:"); });
  lines.insert(dn == lines.end() ? lines.begin() : dn + 1, line);
  return ShapeFrom(all);
}

}  // namespace

RecordShape ShapeOf(const RecordLines& lines) {
  LineShape all = 0;
  for (const std::string& line : lines) all |= ShapeOfLine(line);
  return ShapeFrom(all);
}

std::string_view DefaultClassFor(bool members, bool uniqueMembers) {
  if (uniqueMembers) return "groupOfUniqueNames";
  return members ? "groupOfNames" : "inetOrgPerson";
}

RecordShape SettleObjectClasses(RecordLines& lines, bool isFirstRecord) {
  LineShape all = 0;
  LineShape specific = 0;  // of the lines that are no generic class
  std::size_t classes = 0;
  std::size_t generic = 0;
  bool anyLine = false;
  // The lines are read from the last back. An address book writes the generic classes before
  // the others, so in records after the first a generic class line is mostly read once another
  // class is known to remain, and goes at once. Those that may still go lie from
  // `firstDroppable` to `lastDroppable`.
  bool otherClass = false;
  std::size_t firstDroppable = lines.size();
  std::size_t lastDroppable = 0;
  for (std::size_t i = lines.size(); i-- > 0;) {
    const LineShape shape = ShapeOfLine(lines[i]);
    anyLine = anyLine || !lines[i].empty();
    all |= shape;
    classes += (shape & kClass) != 0 ? 1 : 0;
    if ((shape & kGeneric) != 0) {
      ++generic;
      if (otherClass && !isFirstRecord) {
        lines[i].clear();
        continue;
      }
    } else {
      specific |= shape;
      otherClass = otherClass || (shape & kClass) != 0;
    }
    if ((shape & kGeneric) != 0 || StartsWithBlank(lines[i])) {
      lastDroppable = std::max(lastDroppable, i);
      firstDroppable = i;
    }
  }
  if (classes == 0) {
    // A block whose every line was dropped (the text of a binary file, say) stays empty.
    return anyLine ? AddDefaultClass(lines, all) : RecordShape{};
  }
  if (isFirstRecord || generic == 0 || generic == classes) return ShapeFrom(all);
  for (std::size_t i = firstDroppable; i <= lastDroppable; ++i) {
    if (IsGenericClassText(lines[i])) lines[i].clear();
  }
  return ShapeFrom(specific);
}

}  // namespace quorvane
