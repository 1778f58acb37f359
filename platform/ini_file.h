// Private-profile INI access: the settings file and the transform profiles are kept this way.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// Text in, text out: an INI document parsed from bytes, edited, and turned back into bytes.
// Section and key names match without regard to ASCII case. Lines starting with ";" or "#"
// and lines without "=" are not keys; when a key occurs twice in a section, the first wins.
// Every line the edits do not touch is kept byte for byte.
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
  std::vector<std::string> SectionKeys(std::string_view section) const;

  // Replaces the key's value, or adds the key (and the section when it is missing).
  void WriteString(std::string_view section, std::string_view key, std::string_view value);

 private:
  std::vector<std::string> lines_;
  std::string lineEnd_ = "\n";
};

inline constexpr std::size_t kIniValueLimit = 2047;

// The file-based calls. Reads of a missing or unreadable file give the defaults; a write that
// fails throws quorvane::Error("Unable to write to " + fileName). A write goes to a temporary
// file that is renamed over the old one, so a failure never leaves a half-written file.
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
