// Tests of listing the profiles of a directory and loading one into the transform map.
#include "profiles/profiles.h"
#include "tests/support/scratch_dir_test.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

namespace quorvane {
namespace {

namespace fs = std::filesystem;

class RecordingLog : public Log {
 public:
  explicit RecordingLog(bool wantsProgress) : wantsProgress_(wantsProgress) {}
  void Write(std::string_view text, int level, std::size_t line) override {
    EXPECT_EQ(level, kLogProgress);
    EXPECT_EQ(line, 0u);
    messages.emplace_back(text);
  }
  bool WantsProgress() const override { return wantsProgress_; }
  std::vector<std::string> messages;

 private:
  bool wantsProgress_;
};

class ProfilesTest : public ScratchDirTest {
 protected:
  std::string AppDir() const { return dir_.string() + "/"; }
  std::string Put(const std::string& name, const std::string& bytes) const {
    std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  static std::vector<std::string> Entries(const TransformMap& map) {
    std::vector<std::string> entries;
    for (std::size_t i = 0; i < map.size(); ++i) entries.push_back(map.EntryText(i));
    return entries;
  }
};

TEST_F(ProfilesTest, ListsRegularIniFilesByName) {
  Put("openldap.ini", "");
  Put("with space.ini", "");
  Put(".hidden.ini", "");
  Put("upper.INI", "");
  Put("notes.txt", "");
  Put("ini", "");
  Put(".ini", "");
  Put("archive.ini.bak", "");
  fs::create_directory(dir_ / "folder.ini");
  fs::create_symlink(dir_ / "openldap.ini", dir_ / "linked.ini");
  fs::create_symlink(dir_ / "nowhere.ini", dir_ / "dangling.ini");
  fs::create_symlink(dir_ / "folder.ini", dir_ / "linked folder.ini");

  EXPECT_EQ(ListProfiles(AppDir()),
            (std::vector<std::string>{".hidden", "linked", "openldap", "with space"}));
  EXPECT_EQ(ProfilePath(AppDir(), "openldap"), AppDir() + "openldap.ini");
}

TEST_F(ProfilesTest, ListIsSortedByNameWithoutRegardToCase) {
  for (const char* name : {"openldap-stock-business-card", "Zeta", "openldap-stock", "alpha",
                           "OpenLDAP-Mozilla-Schema", "beta_2", "Beta", "beta", "b\xC3\xA4r", "10",
                           "9"}) {
    Put(std::string(name) + ".ini", "");
  }
  EXPECT_EQ(ListProfiles(AppDir()),
            (std::vector<std::string>{"10", "9", "alpha", "Beta", "beta", "beta_2", "b\xC3\xA4r",
                                      "OpenLDAP-Mozilla-Schema", "openldap-stock",
                                      "openldap-stock-business-card", "Zeta"}));
}

TEST_F(ProfilesTest, MissingOrEmptyDirectoryListsNothing) {
  EXPECT_TRUE(ListProfiles(AppDir()).empty());
  EXPECT_TRUE(ListProfiles(AppDir() + "missing/").empty());
  EXPECT_TRUE(ListProfiles(Put("file", "") + "/").empty());
}

TEST_F(ProfilesTest, LoadsDescriptionAndTransformInFileOrder) {
  std::string file = Put("p.ini",
                         "; a profile\r\n"
                         "[Info]\r\n"
                         "Description = \"Mozilla address book to OpenLDAP\"\r\n"
                         "[transform]\r\n"
                         "mozillasecondemail:=/ignore/:\r\n"
                         "sn:=surname:\r\n"
                         "objectclass: inetOrgPerson = '/ignore/'\r\n"
                         "SN:=second copy loses\r\n"
                         "# comment=not a rule\r\n"
                         "empty:=\r\n"
                         "[other]\r\n"
                         "x:=y:\r\n");
  TransformMap map;
  map.Add("stale:", "gone:");
  EXPECT_EQ(LoadProfile(file, map, nullptr), "Mozilla address book to OpenLDAP");
  EXPECT_EQ(Entries(map), (std::vector<std::string>{"mozillasecondemail:=/ignore/:",
                                                    "sn:=surname:",
                                                    "objectclass: inetOrgPerson=/ignore/",
                                                    "empty:="}));
  EXPECT_EQ(map.Lookup("OBJECTCLASS: InetOrgPerson"), "/ignore/");
  EXPECT_EQ(map.Lookup("stale:"), "");
}

TEST_F(ProfilesTest, MissingOrUnreadableProfileEmptiesTheMap) {
  fs::create_directory(dir_ / "folder.ini");
  for (const std::string& file : {ProfilePath(AppDir(), ""), ProfilePath(AppDir(), "missing"),
                                  ProfilePath(AppDir(), "folder"), Put("none.ini", "[info]\n")}) {
    TransformMap map;
    map.Add("sn:", "surname:");
    EXPECT_EQ(LoadProfile(file, map, nullptr), "") << file;
    EXPECT_TRUE(map.empty()) << file;
  }
}

TEST_F(ProfilesTest, KeysBeyondTheKeyNameBudgetAreNotLoaded) {
  // 2048 names of 7 characters, each with its terminator, fill the 16384 characters exactly.
  std::string text = "[transform]\n";
  for (int i = 0; i < 2050; ++i) {
    text.append("k").append(std::to_string(100000 + i)).append("=v\n");
  }
  TransformMap map;
  LoadProfile(Put("big.ini", text), map, nullptr);
  ASSERT_EQ(map.size(), 2048u);
  EXPECT_EQ(map[2047].key, "k102047");

  // A long value does not count, and is cut like any read value.
  map.Clear();
  LoadProfile(Put("long.ini", "[transform]\nk:=" + std::string(5000, 'v') + "\n"), map, nullptr);
  ASSERT_EQ(map.size(), 1u);
  EXPECT_EQ(map[0].value.size(), 2047u);
}

TEST_F(ProfilesTest, LargeProfileLoadsInOnePass) {
  std::string text = "[info]\ndescription=large\n[transform]\n";
  for (int i = 0; i < 100000; ++i) text += "attribute" + std::to_string(i) + ":=renamed:\n";
  std::string file = Put("large.ini", text);
  TransformMap map;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(LoadProfile(file, map, nullptr), "large");
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GT(map.size(), 1000u);
  EXPECT_LT(elapsed, std::chrono::seconds(2));
}

TEST_F(ProfilesTest, ReportsEachEntryOnlyToALogThatShowsProgress) {
  std::string file = Put("p.ini", "[transform]\nsn:=surname:\nSN:=x\ngivenname:=\n");
  TransformMap map;
  RecordingLog watching(true);
  LoadProfile(file, map, &watching);
  EXPECT_EQ(watching.messages, (std::vector<std::string>{"0 sn:=surname:/\\/sn:/\\/surname:",
                                                         "1 givenname:=/\\/givenname:/\\/"}));
  RecordingLog quiet(false);
  LoadProfile(file, map, &quiet);
  EXPECT_TRUE(quiet.messages.empty());
  EXPECT_EQ(map.size(), 2u);
}

}  // namespace
}  // namespace quorvane
