// Private-profile INI access: the settings file and the transform profiles are kept this way.
#include "platform/ini_file.h"

#include <sys/stat.h>

#include <charconv>
#include <climits>
#include <optional>
#include <unordered_set>

#include "engine/error.h"
#include "engine/text.h"
#include "platform/file_io.h"

namespace quorvane {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// What one line of the file is, as views into the line.
struct LineInfo {
  enum Kind { kOther, kSection, kKey } kind = kOther;
  std::string_view name;       // section or key name, blanks removed
  std::string_view value;      // the raw text after "=" (keys only)
  std::size_t valueStart = 0;  // where a replacement value goes (keys only)
};

// A line ends at LF, with the CR before it; a lone CR is text of the line (and a blank when
// the line is read), so that a line added after it really starts a new line.
std::string_view LineContent(std::string_view raw) {
  if (raw.empty() || raw.back() != '\n') return raw;
  raw.remove_suffix(1);
  if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
  return raw;
}

std::string_view LineEnd(std::string_view raw) {
  return raw.substr(LineContent(raw).size());
}

LineInfo Classify(std::string_view raw, bool firstLine) {
  LineInfo info;
  std::string_view content = LineContent(raw);
  std::size_t skipped = 0;
  // An editor may have put a byte-order mark in front of the first section.
  if (firstLine && content.starts_with(kUtf8Bom)) {
    skipped = kUtf8Bom.size();
    content.remove_prefix(skipped);
  }
  std::string_view text = TrimView(content);
  if (text.empty() || text.front() == ';' || text.front() == '#') return info;
  if (text.front() == '[') {
    std::string_view inner = text.substr(1);
    inner = inner.substr(0, inner.find(']'));
    info.kind = LineInfo::kSection;
    info.name = TrimView(inner);
    return info;
  }
  std::size_t equals = content.find('=');
  if (equals == std::string_view::npos) return info;
  info.name = TrimView(content.substr(0, equals));
  if (info.name.empty()) return info;
  info.kind = LineInfo::kKey;
  info.value = content.substr(equals + 1);
  std::size_t blanks = 0;
  while (blanks < info.value.size() && (info.value[blanks] == ' ' || info.value[blanks] == '\t')) {
    ++blanks;
  }
  if (blanks == info.value.size()) blanks = 0;
  info.valueStart = skipped + equals + 1 + blanks;
  return info;
}

// The read rules: blanks around the value and one enclosing pair of matching quotes removed,
// at most kIniValueLimit characters.
std::string ValueAsRead(std::string_view raw) {
  std::string_view value = TrimView(raw);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value.substr(0, kIniValueLimit));
}

// Calls visit(index, info) for every key line of the sections named `section`, in file order,
// until it returns false.
template <typename Visit>
void ForEachKeyIn(const std::vector<std::string>& lines, std::string_view section, Visit visit) {
  section = TrimView(section);
  bool inSection = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    LineInfo info = Classify(lines[i], i == 0);
    if (info.kind == LineInfo::kSection) {
      inSection = EqualsNoCase(info.name, section);
    } else if (inSection && info.kind == LineInfo::kKey) {
      if (!visit(i, info)) return;
    }
  }
}

// A decimal or 0x-prefixed hexadecimal number with an optional sign, and nothing else.
std::optional<long> ParseInteger(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  unsigned long magnitude = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return {};
  if (negative) {
    if (magnitude > static_cast<unsigned long>(LONG_MAX) + 1) return {};
    return magnitude == static_cast<unsigned long>(LONG_MAX) + 1 ? LONG_MIN
                                                                 : -static_cast<long>(magnitude);
  }
  if (magnitude > static_cast<unsigned long>(LONG_MAX)) return {};
  return static_cast<long>(magnitude);
}

// A name the file could not give back as written: empty, or breaking the line's structure.
void CheckName(std::string_view name, std::string_view forbidden, std::string_view forbiddenFirst,
               std::string_view what) {
  std::string_view trimmed = TrimView(name);
  if (trimmed.empty() || name.find_first_of(forbidden) != std::string_view::npos ||
      forbiddenFirst.find(trimmed.front()) != std::string_view::npos) {
    throw Error("Invalid INI " + std::string(what) + " name \"" + std::string(name) + "\"");
  }
}

std::string WithoutLineBreaks(std::string_view value) {
  std::string result(value);
  for (char& c : result) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return result;
}

}  // namespace

IniDocument IniDocument::Parse(std::string_view bytes) {
  IniDocument document;
  std::size_t firstBreak = bytes.find('\n');
  if (firstBreak != std::string_view::npos && firstBreak > 0 && bytes[firstBreak - 1] == '\r') {
    document.lineEnd_ = "\r\n";
  }
  while (!bytes.empty()) {
    std::size_t end = bytes.find('\n');
    end = end == std::string_view::npos ? bytes.size() : end + 1;
    document.lines_.emplace_back(bytes.substr(0, end));
    bytes.remove_prefix(end);
  }
  return document;
}

std::string IniDocument::Serialize() const {
  std::size_t size = 0;
  for (const std::string& line : lines_) size += line.size();
  std::string bytes;
  bytes.reserve(size);
  for (const std::string& line : lines_) bytes += line;
  return bytes;
}

std::string IniDocument::ReadString(std::string_view section, std::string_view key,
                                    std::string_view fallback) const {
  std::optional<std::string> found;
  key = TrimView(key);
  ForEachKeyIn(lines_, section, [&](std::size_t, const LineInfo& info) {
    if (!EqualsNoCase(info.name, key)) return true;
    found = ValueAsRead(info.value);
    return false;
  });
  return found ? *found : std::string(fallback);
}

long IniDocument::ReadInteger(std::string_view section, std::string_view key,
                              long fallback) const {
  // Only a key that is present can hold a number; the empty text stands for "missing".
  std::optional<long> number = ParseInteger(ReadString(section, key, ""));
  return number ? *number : fallback;
}

std::vector<std::string> IniDocument::SectionKeys(std::string_view section) const {
  std::vector<std::string> keys;
  for (IniEntry& entry : SectionEntries(section)) keys.push_back(std::move(entry.key));
  return keys;
}

std::vector<IniEntry> IniDocument::SectionEntries(std::string_view section) const {
  std::vector<IniEntry> entries;
  std::unordered_set<std::string> seen;
  ForEachKeyIn(lines_, section, [&](std::size_t, const LineInfo& info) {
    if (seen.insert(LowerCase(info.name)).second) {
      entries.push_back({std::string(info.name), ValueAsRead(info.value)});
    }
    return true;
  });
  return entries;
}

void IniDocument::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
  CheckName(section, "]\r\n", "", "section");
  CheckName(key, "=\r\n", "[;#", "key");
  key = TrimView(key);
  std::string newValue = WithoutLineBreaks(value);

  bool replaced = false;
  ForEachKeyIn(lines_, section, [&](std::size_t i, const LineInfo& info) {
    if (!EqualsNoCase(info.name, key)) return true;
    std::string& line = lines_[i];
    line = line.substr(0, info.valueStart) + newValue + std::string(LineEnd(line));
    replaced = true;
    return false;
  });
  if (replaced) return;

  // A new key goes after the last key of the first section of that name.
  std::optional<std::size_t> insertAfter;
  bool inFirstSection = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    LineInfo info = Classify(lines_[i], i == 0);
    if (info.kind == LineInfo::kSection) {
      if (insertAfter) break;
      inFirstSection = EqualsNoCase(info.name, TrimView(section));
      if (inFirstSection) insertAfter = i;
    } else if (inFirstSection && info.kind == LineInfo::kKey) {
      insertAfter = i;
    }
  }

  std::string keyLine = std::string(key) + "=" + newValue + lineEnd_;
  if (insertAfter) {
    std::string& before = lines_[*insertAfter];
    if (LineEnd(before).empty()) before += lineEnd_;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(*insertAfter + 1), keyLine);
    return;
  }
  if (!lines_.empty()) {
    if (LineEnd(lines_.back()).empty()) lines_.back() += lineEnd_;
    if (!TrimView(lines_.back()).empty()) lines_.push_back(lineEnd_);
  }
  std::string sectionLine = "[";
  sectionLine.append(TrimView(section)).append("]").append(lineEnd_);
  lines_.push_back(std::move(sectionLine));
  lines_.push_back(std::move(keyLine));
}

void IniDocument::WriteInteger(std::string_view section, std::string_view key, long value) {
  WriteString(section, key, std::to_string(value));
}

IniDocument ReadIniFile(const std::string& fileName) {
  try {
    return IniDocument::Parse(ReadWholeFile(fileName));
  } catch (const Error&) {
    return {};
  }
}

std::string ReadProfileString(const std::string& fileName, std::string_view section,
                              std::string_view key, std::string_view fallback) {
  return ReadIniFile(fileName).ReadString(section, key, fallback);
}

long ReadProfileInteger(const std::string& fileName, std::string_view section,
                        std::string_view key, long fallback) {
  return ReadIniFile(fileName).ReadInteger(section, key, fallback);
}

std::vector<std::string> ReadProfileSectionKeys(const std::string& fileName,
                                                std::string_view section) {
  return ReadIniFile(fileName).SectionKeys(section);
}

void UpdateIniFile(const std::string& fileName, const std::function<void(IniDocument&)>& edit) {
  try {
    struct stat info {};
    IniDocument document =
        IniDocument::Parse(::stat(fileName.c_str(), &info) == 0 ? ReadWholeFile(fileName) : "");
    edit(document);
    const std::string result = document.Serialize();
    WriteFileSafely(fileName, [&result](const ByteWriter& write) { write(result); });
  } catch (const std::exception&) {
    throw Error("Unable to write to " + fileName);
  }
}

void WriteProfileString(const std::string& fileName, std::string_view section, std::string_view key,
                        std::string_view value) {
  UpdateIniFile(fileName,
                [&](IniDocument& document) { document.WriteString(section, key, value); });
}

void WriteProfileInteger(const std::string& fileName, std::string_view section,
                         std::string_view key, long value) {
  WriteProfileString(fileName, section, key, std::to_string(value));
}

}  // namespace quorvane
