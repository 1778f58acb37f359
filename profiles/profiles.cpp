// Transform profiles: the *.ini files beside the executable, and loading one into the map.
#include "profiles/profiles.h"

#include <algorithm>
#include <compare>
#include <filesystem>

#include "platform/ini_file.h"

namespace quorvane {

namespace {

constexpr std::string_view kProfileExtension = ".ini";

// The key names of [transform] are taken through a list of this many characters, each name
// counting with one terminator; keys past it are not loaded. The limit is part of what a
// profile means: a long profile must load the same rules in every build of the program.
constexpr std::size_t kKeyNameBudget = 16384;

unsigned char FoldAscii(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

// Without regard to letter case (ASCII letters folded, other bytes by value); names equal but
// for case keep a fixed order among themselves, upper case first.
bool ListedBefore(const std::string& a, const std::string& b) {
  const std::strong_ordering folded = std::lexicographical_compare_three_way(
      a.begin(), a.end(), b.begin(), b.end(),
      [](char x, char y) { return FoldAscii(x) <=> FoldAscii(y); });
  return folded != 0 ? folded < 0 : a < b;
}

void ReportEntries(const TransformMap& map, Log& log) {
  for (std::size_t i = 0; i < map.size(); ++i) {
    const std::string& key = map[i].key;
    std::string text = std::to_string(i) + " " + map.EntryText(i) + "/\\/" + key + "/\\/" +
                       std::string(map.Lookup(key));
    log.Write(text, kLogProgress, 0);
  }
}

}  // namespace

std::vector<std::string> ListProfiles(const std::string& appDir) {
  namespace fs = std::filesystem;
  std::vector<std::string> names;
  std::error_code error;
  fs::directory_iterator it(fs::path(appDir), fs::directory_options::skip_permission_denied,
                            error);
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    // The extension is matched exactly, as ProfilePath puts it back: a "NAME.INI" would be
    // listed under a name that then loads nothing on a case-sensitive file system.
    std::string name = it->path().filename().string();
    if (name.size() <= kProfileExtension.size() || !name.ends_with(kProfileExtension)) continue;
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;  // follows symbolic links
    name.resize(name.size() - kProfileExtension.size());
    names.push_back(std::move(name));
  }
  // The file system's order means nothing to a reader: the window and anything else that
  // lists the profiles show them sorted by name.
  std::sort(names.begin(), names.end(), ListedBefore);
  return names;
}

std::string ProfilePath(const std::string& appDir, const std::string& name) {
  return appDir + name + std::string(kProfileExtension);
}

std::string LoadProfile(const std::string& fileName, TransformMap& map, Log* log) {
  map.Clear();
  // One read and one parse for the whole profile: a profile of many keys loads in linear time.
  IniDocument profile = ReadIniFile(fileName);
  std::string description = profile.ReadString("info", "description", "");
  std::size_t keyText = 0;
  for (IniEntry& entry : profile.SectionEntries("transform")) {
    keyText += entry.key.size() + 1;
    if (keyText > kKeyNameBudget) break;
    map.Add(std::move(entry.key), std::move(entry.value));
  }
  if (log && log->WantsProgress()) ReportEntries(map, *log);
  return description;
}

}  // namespace quorvane
