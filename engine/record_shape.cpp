// What a record is, from its lines: a header block, a person, a list; its object classes.
#include "engine/record_shape.h"

#include <algorithm>
#include <array>

#include "engine/base64.h"
#include "engine/text.h"

namespace quorvane {
namespace {

// Classes whose entries hold sn and cn (the address book's own person classes included).
constexpr std::array<std::string_view, 7> kPersonClasses = {
    "person", "organizationalPerson", "inetOrgPerson", "residentialPerson",
    "mozillaAbPersonAlpha", "mozillaAbPersonObsolete", "mozillaOrgPerson"};

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

// What one line adds to a record's shape, and whether it is a generic class line.
struct LineShape {
  bool isClass = false;
  bool isGeneric = false;
  bool isPersonClass = false;
  bool isNamesList = false;
  bool isUniqueNamesList = false;
  bool isMember = false;
  bool isUniqueMember = false;
};

LineShape ShapeOfLine(std::string_view line) {
  LineShape shape;
  // Only objectclass, member and uniqueMember lines shape a record (a record's lines start
  // with their attribute: the collector trimmed them).
  const char first = line.empty() ? '\0' : LowerAscii(line.front());
  if (first == 'm') {
    shape.isMember = ValueStartOf(line, "member") != std::string_view::npos;
  } else if (first == 'u') {
    shape.isUniqueMember = ValueStartOf(line, "uniqueMember") != std::string_view::npos;
  } else if (first == 'o') {
    const std::size_t valueStart = ValueStartOf(line, "objectclass");
    if (valueStart == std::string_view::npos) return shape;
    const std::string_view value = TrimView(line.substr(valueStart));
    shape.isClass = true;
    // The generic classes as the address book writes them: exactly these words.
    shape.isGeneric = TrimView(line).starts_with("objectclass") &&
                      (value == "top" || value == "person" || value == "organizationalPerson");
    shape.isNamesList = EqualsNoCase(value, "groupOfNames");
    shape.isUniqueNamesList = EqualsNoCase(value, "groupOfUniqueNames");
    shape.isPersonClass = std::any_of(kPersonClasses.begin(), kPersonClasses.end(),
                                      [value](std::string_view c) { return EqualsNoCase(value, c); });
  }
  return shape;
}

// The shape of the lines that `keep` lets through.
template <class Keep>
RecordShape ShapeOfLines(const std::vector<LineShape>& lines, Keep&& keep) {
  RecordShape shape;
  bool namesList = false;
  bool uniqueNamesList = false;
  bool members = false;
  bool uniqueMembers = false;
  for (const LineShape& line : lines) {
    if (!keep(line)) continue;
    shape.isPerson = shape.isPerson || line.isPersonClass;
    namesList = namesList || line.isNamesList;
    uniqueNamesList = uniqueNamesList || line.isUniqueNamesList;
    members = members || line.isMember;
    uniqueMembers = uniqueMembers || line.isUniqueMember;
  }
  shape.isGroup = namesList || uniqueNamesList;
  shape.lacksMembers = (namesList && !members) || (uniqueNamesList && !uniqueMembers);
  return shape;
}

std::vector<LineShape> ShapesOf(const RecordLines& lines) {
  std::vector<LineShape> shapes;
  shapes.reserve(lines.size());
  for (const std::string& line : lines) shapes.push_back(ShapeOfLine(line));
  return shapes;
}

}  // namespace

RecordShape ShapeOf(const RecordLines& lines) {
  return ShapeOfLines(ShapesOf(lines), [](const LineShape&) { return true; });
}

std::string_view DefaultClassFor(bool members, bool uniqueMembers) {
  if (uniqueMembers) return "groupOfUniqueNames";
  return members ? "groupOfNames" : "inetOrgPerson";
}

RecordShape SettleObjectClasses(RecordLines& lines, bool isFirstRecord) {
  std::vector<LineShape> shapes = ShapesOf(lines);
  const auto classes = std::count_if(shapes.begin(), shapes.end(),
                                     [](const LineShape& s) { return s.isClass; });
  if (classes == 0) {
    // A block whose every line was dropped (the text of a binary file, say) stays empty.
    if (std::all_of(lines.begin(), lines.end(), [](const std::string& line) { return line.empty(); })) {
      return {};
    }
    LineShape added;
    added.isClass = true;
    const auto members = [&](bool LineShape::*which) {
      return std::any_of(shapes.begin(), shapes.end(), [which](const LineShape& s) { return s.*which; });
    };
    const bool uniqueMembers = members(&LineShape::isUniqueMember);
    const bool namesMembers = members(&LineShape::isMember);
    const std::string line = "objectclass: " + std::string(DefaultClassFor(namesMembers, uniqueMembers));
    added.isUniqueNamesList = uniqueMembers;
    added.isNamesList = namesMembers && !uniqueMembers;
    added.isPersonClass = !uniqueMembers && !namesMembers;
    const auto dn = std::find_if(lines.begin(), lines.end(),
                                 [](const std::string& l) { return l.starts_with("dn:"); });
    lines.insert(dn == lines.end() ? lines.begin() : dn + 1, line);
    shapes.push_back(added);
    return ShapeOfLines(shapes, [](const LineShape&) { return true; });
  }
  const auto generic = std::count_if(shapes.begin(), shapes.end(),
                                     [](const LineShape& s) { return s.isGeneric; });
  if (isFirstRecord || generic == 0 || generic == classes) {
    return ShapeOfLines(shapes, [](const LineShape&) { return true; });
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (shapes[i].isGeneric) lines[i].clear();
  }
  return ShapeOfLines(shapes, [](const LineShape& s) { return !s.isGeneric; });
}

}  // namespace quorvane
