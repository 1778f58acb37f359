// What a record is, from its lines: a header block, a person, a list; its object classes.
#include "engine/record_shape.h"

#include <algorithm>
#include <array>

#include "engine/base64.h"
#include "engine/error.h"
#include "engine/text.h"

namespace quorvane {
namespace {

// Classes whose entries hold sn and cn (the address book's own person classes included).
constexpr std::array<std::string_view, 7> kPersonClasses = {
    "person", "organizationalPerson", "inetOrgPerson", "residentialPerson",
    "mozillaAbPersonAlpha", "mozillaAbPersonObsolete", "mozillaOrgPerson"};

// The generic classes, as the address book writes them: exactly these words.
bool IsGenericClassLine(std::string_view line) {
  if (AttributeOf(line) != "objectclass") return false;
  const std::string_view value = SplitNameValue(line).value;
  return value == "top" || value == "person" || value == "organizationalPerson";
}

// The first non-empty value of `attribute`, decoded where it is Base64.
std::string FirstValue(const RecordLines& lines, std::string_view attribute) {
  for (const std::string& line : lines) {
    if (!EqualsNoCase(AttributeOf(line), attribute)) continue;
    std::string_view value = SplitNameValue(line).value;
    if (!value.empty() && value.front() == ':' && line.find("::") != std::string::npos) {
      try {
        const std::string decoded = Trim(Base64ToStr(TrimView(value.substr(1))));
        if (!decoded.empty()) return decoded;
      } catch (const Error&) {
      }
      continue;
    }
    if (!value.empty()) return std::string(value);
  }
  return {};
}

}  // namespace

std::string_view AttributeOf(std::string_view line) {
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return {};
  return TrimView(line.substr(0, colon));
}

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

void SettleObjectClasses(RecordLines& lines, bool isFirstRecord) {
  std::size_t classLines = 0;
  std::size_t genericLines = 0;
  bool members = false;
  bool uniqueMembers = false;
  for (const std::string& line : lines) {
    const std::string_view attribute = AttributeOf(line);
    if (EqualsNoCase(attribute, "objectclass")) {
      ++classLines;
      if (IsGenericClassLine(line)) ++genericLines;
    } else if (EqualsNoCase(attribute, "member")) {
      members = true;
    } else if (EqualsNoCase(attribute, "uniqueMember")) {
      uniqueMembers = true;
    }
  }
  if (classLines == 0) {
    // A block whose every line was dropped (the text of a binary file, say) stays empty.
    if (std::all_of(lines.begin(), lines.end(), [](const std::string& line) { return line.empty(); })) {
      return;
    }
    const char* added = uniqueMembers ? "objectclass: groupOfUniqueNames"
                        : members     ? "objectclass: groupOfNames"
                                      : "objectclass: inetOrgPerson";
    const auto dn = std::find_if(lines.begin(), lines.end(),
                                 [](const std::string& line) { return line.starts_with("dn:"); });
    lines.insert(dn == lines.end() ? lines.begin() : dn + 1, added);
    return;
  }
  if (isFirstRecord || genericLines == 0 || genericLines == classLines) return;
  for (std::string& line : lines) {
    if (IsGenericClassLine(line)) line.clear();
  }
}

RecordShape ShapeOf(const RecordLines& lines) {
  RecordShape shape;
  bool namesList = false;
  bool uniqueNamesList = false;
  bool members = false;
  bool uniqueMembers = false;
  for (const std::string& line : lines) {
    const std::string_view attribute = AttributeOf(line);
    if (EqualsNoCase(attribute, "member")) {
      members = true;
    } else if (EqualsNoCase(attribute, "uniqueMember")) {
      uniqueMembers = true;
    } else if (EqualsNoCase(attribute, "objectclass")) {
      const std::string_view value = SplitNameValue(line).value;
      namesList = namesList || EqualsNoCase(value, "groupOfNames");
      uniqueNamesList = uniqueNamesList || EqualsNoCase(value, "groupOfUniqueNames");
      shape.isPerson = shape.isPerson ||
                       std::any_of(kPersonClasses.begin(), kPersonClasses.end(),
                                   [value](std::string_view c) { return EqualsNoCase(value, c); });
    }
  }
  shape.isGroup = namesList || uniqueNamesList;
  shape.lacksMembers = (namesList && !members) || (uniqueNamesList && !uniqueMembers);
  return shape;
}

}  // namespace quorvane
