// Private-profile INI access: the settings file and the transform profiles are kept this way.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// One key of a section with its value as ReadString gives it.
struct IniEntry {
  std::string key;
  std::string value;
};

// Text in, text out: an INI document parsed from bytes, edited, and turned back into bytes.
// Section and key names match without regard to ASCII case or the blanks around them. Lines
// starting with ";" or "#" and lines without "=" are not keys; when a key occurs twice in a
// section, the first wins (a section that occurs twice is read as one, in file order). Keys
// above the first section belong to none. Every line the edits do not touch is kept byte for
// byte, line ends included; added lines end as the file's first line does ("\n" in a new file).
class IniDocument {
 public:
  static IniDocument Parse(std::string_view bytes);
  std::string Serialize() const;

  // The value with the blanks around it and one enclosing pair of matching quotes removed,
  // at most 2047 characters; `fallback` when the section or key is missing.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view fallback) const;
  // Missing, empty or non-numeric gives `fallback`; a 0x prefix reads hexadecimal.
  long ReadInteger(std::string_view section, std::string_view key, long fallback) const;
  // The key names of the section as written, in file order, each name once.
  std::vector<std::string> SectionKeys(std::string_view section) const;
  // The keys with their values, read in one pass: SectionKeys with ReadString of each.
  std::vector<IniEntry> SectionEntries(std::string_view section) const;

  // Replaces the key's value, or adds the key (and the section when it is missing). A line
  // break in `value` becomes a space, since the file holds one line per key. Throws
  // quorvane::Error for a section or key name that a file cannot hold as one (empty, with a
  // line break, a key with "=" or starting with "[", ";" or "#", a section with "]").
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, long value);

 private:
  std::vector<std::string> lines_;  // each with its own line end; the last may have none
  std::string lineEnd_ = "\n";
};

// The document of a file; empty when the file is missing or cannot be read.
IniDocument ReadIniFile(const std::string& fileName);

inline constexpr std::size_t kIniValueLimit = 2047;

// Changes a file in one read and one write: `edit` changes the document read from the file
// (empty when the file is missing), and the result replaces the file through a temporary file
// renamed over it. Throws quorvane::Error("Unable to write to " + fileName) when the file exists
// but cannot be read (it must not be replaced by one holding only the edits), when `edit`
// throws, or when the write fails; the file is then left exactly as it was.
void UpdateIniFile(const std::string& fileName, const std::function<void(IniDocument&)>& edit);

// The file-based calls for one key. Reads of a missing or unreadable file give the defaults;
// a write is an UpdateIniFile of that one key.
std::string ReadProfileString(const std::string& fileName, std::string_view section,
                              std::string_view key, std::string_view fallback);
long ReadProfileInteger(const std::string& fileName, std::string_view section,
                        std::string_view key, long fallback);
std::vector<std::string> ReadProfileSectionKeys(const std::string& fileName,
                                                std::string_view section);
void WriteProfileString(const std::string& fileName, std::string_view section,
                        std::string_view key, std::string_view value);
void WriteProfileInteger(const std::string& fileName, std::string_view section,
                         std::string_view key, long value);

}  // namespace quorvane
