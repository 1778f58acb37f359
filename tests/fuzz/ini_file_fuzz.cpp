// Fuzzes the INI reader and writer with arbitrary settings and profile files.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text.h"
#include "platform/ini_file.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

using quorvane::IniDocument;

// Section and key names made of letters and "_" only, so that they are always well formed;
// other bytes become letters. Letter case is kept, which exercises case-insensitive matching.
std::string Name(quorvane::fuzz::FuzzInput& input) {
  std::string name;
  for (char c : input.String(16)) {
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    name += keep ? c : static_cast<char>('a' + static_cast<unsigned char>(c) % 26);
  }
  return name.empty() ? "Settings" : name;
}

// A value that a read gives back exactly: no line break or NUL, no blanks at its ends, not
// enclosed in a pair of matching quotes.
bool ReadsBack(std::string_view value) {
  if (value.size() > quorvane::kIniValueLimit) return false;
  if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) return false;
  if (quorvane::TrimView(value) != value) return false;
  return !(value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
           value.back() == value.front());
}

// In memory when possible: a safe write syncs the file to disk, which is slow on a real disk.
std::string TempFile() {
  static const std::string path =
      ((std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                  : std::filesystem::temp_directory_path()) /
       ("ini_fuzz_" + std::to_string(getpid()) + ".ini"))
          .string();
  return path;
}

// Writing a key changes that key only: every other key of every section reads as before.
void CheckWrite(const IniDocument& before, std::string_view bytes, std::string_view section,
                std::string_view key, std::string_view value) {
  IniDocument doc = IniDocument::Parse(bytes);
  doc.WriteString(section, key, value);
  const IniDocument after = IniDocument::Parse(doc.Serialize());
  if (ReadsBack(value)) FUZZ_CHECK(after.ReadString(section, key, "\x01") == value);
  for (std::string_view other : {std::string_view("Settings"), std::string_view("info"),
                                 std::string_view("transform")}) {
    for (const std::string& k : before.SectionKeys(other)) {
      if (quorvane::EqualsNoCase(other, section) && quorvane::EqualsNoCase(k, key)) continue;
      FUZZ_CHECK(after.ReadString(other, k, "\x01") == before.ReadString(other, k, "\x01"));
    }
  }
}

}  // namespace

// Input: a flag byte, a section name, a key name, a value, then the file. Properties: reads
// never exceed the value limit, a document survives serialising and parsing again, a write
// reads back and leaves every other key alone, and the file-based calls agree with the
// document.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quorvane::fuzz::FuzzInput input(data, size);
  const std::uint8_t flags = input.Byte();
  const std::string section = Name(input);
  const std::string key = Name(input);
  const std::string value(input.String(64));
  const std::string_view bytes = input.Rest();

  const IniDocument doc = IniDocument::Parse(bytes);
  const std::string text = doc.Serialize();
  const IniDocument again = IniDocument::Parse(text);
  FUZZ_CHECK(again.Serialize() == text);

  for (std::string_view s : {std::string_view(section), std::string_view("Settings"),
                             std::string_view("transform")}) {
    for (const std::string& k : doc.SectionKeys(s)) {
      const std::string read = doc.ReadString(s, k, "");
      FUZZ_CHECK(read.size() <= quorvane::kIniValueLimit);
      FUZZ_CHECK(again.ReadString(s, k, "") == read);
      doc.ReadInteger(s, k, -1);
    }
  }
  FUZZ_CHECK(doc.ReadString(section, key, "fallback").size() <= quorvane::kIniValueLimit);
  doc.ReadInteger(section, key, 0);

  CheckWrite(doc, bytes, section, key, value);

  // The file-based calls, in one run of 64: each costs a write, a sync and a rename.
  if ((flags & 63) == 42) {
    const std::string file = TempFile();
    {
      std::ofstream out(file, std::ios::binary | std::ios::trunc);
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    FUZZ_CHECK(quorvane::ReadProfileString(file, section, key, "\x01") ==
               doc.ReadString(section, key, "\x01"));
    quorvane::WriteProfileString(file, section, key, value);
    if (ReadsBack(value)) {
      FUZZ_CHECK(quorvane::ReadProfileString(file, section, key, "\x01") == value);
    }
    quorvane::WriteProfileInteger(file, section, "FormVersion", static_cast<long>(flags) - 128);
    FUZZ_CHECK(quorvane::ReadProfileInteger(file, section, "FormVersion", 7) ==
               static_cast<long>(flags) - 128);
    std::filesystem::remove(file);
  }
  return 0;
}
