// Schema definitions read from OpenLDAP schema files, subschema LDIF and cn=config LDIF.
#include "schema/schema_file.h"

#include <lber.h>
#include <ldif.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "schema/schema_internal.h"

namespace quorvane {

namespace {

enum class Definition { kNone, kType, kClass, kMacro, kIgnored };

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Where each line starts, to tell the line of a place in the text.
class LineTable {
 public:
  explicit LineTable(std::string_view text) {
    starts_.push_back(0);
    for (std::size_t at = text.find('\n'); at != std::string_view::npos;
         at = text.find('\n', at + 1)) {
      starts_.push_back(at + 1);
    }
  }
  std::size_t LineOf(std::size_t offset) const {
    return static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), offset) -
                                    starts_.begin());
  }

 private:
  std::vector<std::size_t> starts_;
};

// The keywords of an OpenLDAP schema file. Syntaxes and content rules are the directory's
// business, not the repair's: they are passed over.
Definition KeywordKind(std::string_view keyword) {
  if (SameName(keyword, "attributetype") || SameName(keyword, "attributetypes")) {
    return Definition::kType;
  }
  if (SameName(keyword, "objectclass") || SameName(keyword, "objectclasses")) {
    return Definition::kClass;
  }
  if (SameName(keyword, "objectidentifier")) return Definition::kMacro;
  if (SameName(keyword, "ldapsyntax") || SameName(keyword, "ditcontentrule")) {
    return Definition::kIgnored;
  }
  return Definition::kNone;
}

// The LDIF attributes that hold definitions, with their options ("attributeTypes;x-y") left
// off: a subschema entry's and cn=config's.
Definition AttributeKind(std::string_view description) {
  const std::string_view name = description.substr(0, description.find(';'));
  if (SameName(name, "attributeTypes") || SameName(name, "olcAttributeTypes")) {
    return Definition::kType;
  }
  if (SameName(name, "objectClasses") || SameName(name, "olcObjectClasses")) {
    return Definition::kClass;
  }
  if (SameName(name, "olcObjectIdentifier")) return Definition::kMacro;
  return Definition::kNone;
}

// cn=config keeps the order of values as a "{N}" prefix; it is no part of the definition.
std::string_view WithoutOrder(std::string_view value) {
  if (value.empty() || value.front() != '{') return value;
  const std::size_t close = value.find('}');
  if (close == std::string_view::npos || close == 1 ||
      value.substr(1, close - 1).find_first_not_of("0123456789") != std::string_view::npos) {
    return value;
  }
  return value.substr(close + 1);
}

void AddDefinition(Schema& schema, Definition kind, std::string_view text, std::string_view source,
                   std::size_t line, std::vector<SchemaProblem>& problems) {
  text = Trimmed(text);
  if (kind == Definition::kType) schema.AddAttributeType(text, source, line, problems);
  if (kind == Definition::kClass) schema.AddObjectClass(text, source, line, problems);
  if (kind != Definition::kMacro) return;
  // "NAME OID", nothing more
  const std::size_t gap = text.find_first_of(" \t\r\n");
  const std::string_view name = text.substr(0, gap);
  const std::string_view oid =
      gap == std::string_view::npos ? std::string_view() : Trimmed(text.substr(gap));
  if (name.empty() || oid.empty() || oid.find_first_of(" \t\r\n") != std::string_view::npos) {
    problems.push_back(
        {std::string(source), line,
         "an OID macro takes a name and an OID: '" + std::string(text.substr(0, 60)) + "'"});
    return;
  }
  schema.AddObjectIdentifier(name, oid, source, line, problems);
}

// An LDIF text starts, after comments and blank lines, with an attribute and its colon; a
// schema file with a keyword and a blank or "(".
bool LooksLikeLdif(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    const std::string_view line = Trimmed(text.substr(at, end - at));
    at = end + 1;
    if (line.empty() || line.front() == '#') continue;
    const std::size_t stop =
        line.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-;.");
    return stop != std::string_view::npos && stop > 0 && line[stop] == ':';
  }
  return false;
}

// One logical line of a schema file: a line and the lines after it that start with white
// space; a logical line that starts with "#" is a comment, continued lines included.
std::size_t AddSchemaFileText(Schema& schema, std::string_view text, std::string_view source,
                              std::vector<SchemaProblem>& problems) {
  std::size_t found = 0;
  std::string joined;
  std::size_t startLine = 1;
  const auto finish = [&] {
    const std::string_view logical = Trimmed(joined);
    if (logical.empty() || logical.front() == '#') return;
    const std::size_t gap = std::min(logical.find_first_of(" \t("), logical.size());
    const Definition kind = KeywordKind(logical.substr(0, gap));
    if (kind == Definition::kNone) {
      problems.push_back({std::string(source), startLine,
                          "unknown keyword '" + std::string(logical.substr(0, gap)) + "'"});
    } else if (kind != Definition::kIgnored) {
      ++found;
      AddDefinition(schema, kind, logical.substr(gap), source, startLine, problems);
    }
  };
  std::size_t lineNumber = 0;
  for (std::size_t at = 0; at <= text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    std::string_view line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++lineNumber;
    at = end + 1;
    if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
      joined += line;
      continue;
    }
    finish();
    joined.assign(line);
    startLine = lineNumber;
  }
  finish();
  return found;
}

// libldap writes what it finds wrong in a value to standard error; we report it as a problem
// of our own instead. The one printer libldap has is set aside while we read, and put back.
class QuietLibldap {
 public:
  QuietLibldap()
      : active_(ber_get_option(nullptr, LBER_OPT_LOG_PRINT_FN, &saved_) == LBER_OPT_SUCCESS) {
    if (active_) ber_set_option(nullptr, LBER_OPT_LOG_PRINT_FN, reinterpret_cast<void*>(&Silent));
  }
  ~QuietLibldap() {
    if (active_) ber_set_option(nullptr, LBER_OPT_LOG_PRINT_FN, reinterpret_cast<void*>(saved_));
  }
  QuietLibldap(const QuietLibldap&) = delete;
  QuietLibldap& operator=(const QuietLibldap&) = delete;

 private:
  static void Silent(const char*) {}
  BER_LOG_PRINT_FN saved_ = nullptr;
  bool active_;
};

// LDIF through libldap's own reader: ldif_getline unfolds a line and passes over comments,
// ldif_parse_line2 splits it and decodes Base64, both in place in our copy of the text.
std::size_t AddLdifText(Schema& schema, std::string_view text, std::string_view source,
                        std::vector<SchemaProblem>& problems) {
  std::string buffer;
  buffer.reserve(text.size() + 1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' || i + 1 >= text.size() || text[i + 1] != '\n') buffer += text[i];
  }
  const LineTable lines(buffer);
  const QuietLibldap quiet;
  std::size_t found = 0;
  char* next = buffer.data();
  while (next != nullptr && *next != '\0') {
    if (*next == '\n') {  // the blank line between two entries
      ++next;
      continue;
    }
    char* line = ldif_getline(&next);
    if (line == nullptr) continue;
    const std::size_t lineNumber = lines.LineOf(static_cast<std::size_t>(line - buffer.data()));
    const char* colon = std::strchr(line, ':');
    if (colon != nullptr && colon[1] == '<') {
      // A value to fetch from a URL: a schema file does not get to make us read other files.
      problems.push_back({std::string(source), lineNumber, "values given by URL are not read"});
      continue;
    }
    berval type{};
    berval value{};
    int freeValue = 0;
    if (ldif_parse_line2(line, &type, &value, &freeValue) != 0) {
      if (std::strcmp(line, "-") != 0) {  // "-" ends a change in change records
        problems.push_back(
            {std::string(source), lineNumber,
             colon != nullptr && colon[1] == ':' ? "not valid Base64" : "not an LDIF line"});
      }
      continue;
    }
    const Definition kind = AttributeKind(std::string_view(type.bv_val, type.bv_len));
    if (kind == Definition::kNone) continue;
    ++found;
    AddDefinition(schema, kind, WithoutOrder(std::string_view(value.bv_val, value.bv_len)), source,
                  lineNumber, problems);
  }
  return found;
}

}  // namespace

std::size_t AddSchemaText(Schema& schema, std::string_view text, std::string_view sourceName,
                          std::vector<SchemaProblem>& problems) {
  // The reader stops at a NUL byte, and says so: text after it would be lost unnoticed.
  const std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos) {
    text = text.substr(0, nul);
    problems.push_back({std::string(sourceName), LineTable(text).LineOf(nul),
                        "NUL byte: the rest of the text is not read"});
  }
  return LooksLikeLdif(text) ? AddLdifText(schema, text, sourceName, problems)
                             : AddSchemaFileText(schema, text, sourceName, problems);
}

bool AddSchemaFile(Schema& schema, const std::string& path, std::vector<SchemaProblem>& problems,
                   std::string& error) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                             &std::fclose);
  std::string text;
  if (file != nullptr) {
    char block[65536];
    std::size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, file.get())) > 0) text.append(block, got);
  }
  if (file == nullptr || std::ferror(file.get()) != 0) {
    error = "cannot read schema file " + path + ": " + std::strerror(errno);
    return false;
  }
  std::vector<SchemaProblem> found;
  if (AddSchemaText(schema, text, path, found) == 0) {
    error = "schema file " + path + " holds no attribute types, object classes or OID macros";
    return false;
  }
  problems.insert(problems.end(), found.begin(), found.end());
  return true;
}

}  // namespace quorvane
