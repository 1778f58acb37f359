// Tests of the executable's directory and the settings directory.
#include "platform/directories.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

namespace quorvane {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for one test and puts the old value back afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(Directories, AppDirHoldsTheRunningExecutable) {
  std::string dir = AppDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  EXPECT_TRUE(fs::exists(dir + "platform_tests"));
}

TEST(Directories, SettingsDirFollowsXdgAndHomeAndIsCreated) {
  fs::path base = fs::temp_directory_path() / ("quorvane_dirs_" + std::to_string(::getpid()));
  fs::remove_all(base);
  {
    ScopedEnv config("XDG_CONFIG_HOME", (base / "xdg/conf").c_str());
    EXPECT_EQ(SettingsDir(), (base / "xdg/conf").string() + "/");
    EXPECT_TRUE(fs::is_directory(base / "xdg/conf"));
  }
  {
    // Unset, empty or relative: $HOME/.config.
    ScopedEnv home("HOME", (base / "home").c_str());
    for (const char* value : {static_cast<const char*>(nullptr), "", "relative/dir"}) {
      ScopedEnv config("XDG_CONFIG_HOME", value);
      EXPECT_EQ(SettingsDir(), (base / "home/.config").string() + "/");
    }
    EXPECT_TRUE(fs::is_directory(base / "home/.config"));
    EXPECT_NE(SettingsDir(), AppDir());
  }
  fs::remove_all(base);
}

}  // namespace
}  // namespace quorvane
