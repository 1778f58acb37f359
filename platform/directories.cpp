// Where the program finds its profiles and keeps its settings.
#include "platform/directories.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/file_io.h"

namespace quorvane {

namespace {

std::string WithSlash(std::string directory) {
  if (directory.empty() || directory.back() != '/') directory += '/';
  return directory;
}

std::string HomeDirectory() {
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "/tmp";
}

}  // namespace

std::string AppDir() {
  std::error_code error;
  std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return WithSlash(std::filesystem::current_path(error).string());
  return WithSlash(executable.parent_path().string());
}

std::string SettingsDir() {
  // XDG Base Directory Specification: a relative $XDG_CONFIG_HOME is invalid and ignored.
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  std::string directory = (configHome && configHome[0] == '/')
                              ? std::string(configHome)
                              : WithSlash(HomeDirectory()) + ".config";
  // A directory that cannot be made shows up later, as the settings write that fails.
  CreateDirectories(directory);
  return WithSlash(directory);
}

}  // namespace quorvane
