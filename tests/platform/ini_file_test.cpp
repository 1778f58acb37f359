// Tests of INI reading and writing: the read rules, edits that keep every other line, file calls.
#include "platform/ini_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "engine/error.h"
#include "platform/file_io.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/scratch_dir_test.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;

std::string Read(std::string_view text, std::string_view section, std::string_view key) {
  return IniDocument::Parse(text).ReadString(section, key, "<default>");
}

std::string AfterWrite(std::string_view text, std::string_view section, std::string_view key,
                       std::string_view value) {
  IniDocument document = IniDocument::Parse(text);
  document.WriteString(section, key, value);
  return document.Serialize();
}

TEST(IniRead, ValueRules) {
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"[s]\nk=v\n", "v"},
      {"[s]\nk =  v w \t\n", "v w"},
      {"[s]\r\nk=v\r\n", "v"},
      {"[s]\nk=\"quoted\"\n", "quoted"},
      {"[s]\nk='single'\n", "single"},
      {"[s]\nk=  \" inner blanks \"  \n", " inner blanks "},
      {"[s]\nk=\"\"x\"\"\n", "\"x\""},   // one pair only
      {"[s]\nk=\"mixed'\n", "\"mixed'"},  // quotes that do not match stay
      {"[s]\nk=\"\n", "\""},              // a lone quote is no pair
      {"[s]\nk=a=b\n", "a=b"},            // the key ends at the first "="
      {"[s]\nk=\n", ""},
      {"[s]\nk=last line without break", "last line without break"},
      {"[s]\nk=caf\xC3\xA9 \x01\xFF\n", "caf\xC3\xA9 \x01\xFF"},  // bytes as they stand
      {"\xEF\xBB\xBF[s]\nk=after a byte-order mark\n", "after a byte-order mark"},
  };
  for (const Case& c : cases) EXPECT_EQ(Read(c.text, "s", "k"), c.expected) << c.text;
}

TEST(IniRead, NamesAndLineKinds) {
  const char* text =
      "k=before any section\n"
      "[Settings]\n"
      "; k=commented\n"
      "# k=commented too\n"
      "line without equals sign\n"
      "=value without key\n"
      "  Key Name  = first\n"
      "KEY NAME=second\n"
      "[  other  ]\n"
      "k=other section\n"
      "[settings]\n"
      "later=from the repeated section\n"
      "key name=third\n";
  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {"Settings", "Key Name", "first"},
      {"SETTINGS", "key name", "first"},  // case and first key win
      {" settings ", " KEY NAME ", "first"},
      {"other", "k", "other section"},
      {"Settings", "k", "<default>"},  // comments, key above the sections
      {"Settings", "line without equals sign", "<default>"},
      {"Settings", "", "<default>"},
      {"Settings", "later", "from the repeated section"},
      {"missing", "k", "<default>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Read(text, c.section, c.key), c.expected) << c.section << "/" << c.key;
  }
  EXPECT_EQ(IniDocument::Parse(text).SectionKeys("settings"),
            (std::vector<std::string>{"Key Name", "later"}));
  EXPECT_TRUE(IniDocument::Parse(text).SectionKeys("none").empty());
}

TEST(IniRead, ValuesAreCutAt2047Characters) {
  std::string longValue(3000, 'x');
  std::string text = "[s]\nlong=" + longValue + "\nquoted=\"" + std::string(2047, 'q') + "\"\n";
  IniDocument document = IniDocument::Parse(text);
  EXPECT_EQ(document.ReadString("s", "long", ""), std::string(2047, 'x'));
  EXPECT_EQ(document.ReadString("s", "quoted", ""), std::string(2047, 'q'));
  EXPECT_EQ(document.SectionEntries("s")[0].value.size(), kIniValueLimit);
}

TEST(IniRead, Integers) {
  struct Case {
    const char* value;
    long expected;
  } cases[] = {
      {"0", 0},          {"42", 42},          {" 42 ", 42},       {"-1", -1},
      {"+7", 7},         {"\"12\"", 12},      {"0x1F", 31},       {"0XfF", 255},
      {"-0x10", -16},    {"", 99},            {"abc", 99},        {"12abc", 99},
      {"1.5", 99},       {"0x", 99},          {"0xg", 99},        {"--1", 99},
      {"1 2", 99},       {"99999999999999999999", 99},            {"-", 99},
  };
  for (const Case& c : cases) {
    std::string text = std::string("[s]\nn=") + c.value + "\n";
    EXPECT_EQ(IniDocument::Parse(text).ReadInteger("s", "n", 99), c.expected) << c.value;
  }
  EXPECT_EQ(IniDocument::Parse("[s]\n").ReadInteger("s", "n", -5), -5);
}

TEST(IniWrite, ReplacesOnlyTheValue) {
  const std::string text =
      "; settings of the window\r\n"
      "[Other]\r\n"
      "eBaseDN_Text=kept\r\n"
      "\r\n"
      "[Settings]\r\n"
      "FormVersion=0\r\n"
      "  eBaseDN_Text =  old value\r\n"
      "# note\r\n"
      "ebasedn_text=second copy\r\n"
      "\r\n"
      "[Tail]\r\n"
      "x=1";
  std::string expected = text;
  expected.replace(expected.find("old value"), 9, "new");
  EXPECT_EQ(AfterWrite(text, "SETTINGS", "EBASEDN_TEXT", "new"), expected);
  EXPECT_EQ(AfterWrite("[s]\nk=\n", "s", "k", "v"), "[s]\nk=v\n");
  EXPECT_EQ(AfterWrite("[s]\nk=   \n", "s", "k", "v"), "[s]\nk=v\n");
  EXPECT_EQ(AfterWrite("[s]\nk=old", "s", "k", "v"), "[s]\nk=v");
}

TEST(IniWrite, AddsKeysAndSections) {
  struct Case {
    const char* before;
    const char* section;
    const char* after;
  } cases[] = {
      {"", "s", "[s]\nk=v\n"},
      {"[s]\n", "s", "[s]\nk=v\n"},
      {"[s]", "s", "[s]\nk=v\n"},
      // after the section's last key, before the blank line and comment of the next one
      {"[s]\na=1\n\n; next\n[t]\nb=2\n", "s", "[s]\na=1\nk=v\n\n; next\n[t]\nb=2\n"},
      {"[s]\r\na=1\r\n[t]\r\n", "s", "[s]\r\na=1\r\nk=v\r\n[t]\r\n"},
      // a new section at the end, after a blank line
      {"[t]\nb=2\n", "s", "[t]\nb=2\n\n[s]\nk=v\n"},
      {"[t]\r\nb=2", "s", "[t]\r\nb=2\r\n\r\n[s]\r\nk=v\r\n"},
      {"[t]\nb=2\n\n", "s", "[t]\nb=2\n\n[s]\nk=v\n"},
      {"; only a comment\n", "s", "; only a comment\n\n[s]\nk=v\n"},
      {"[t]\nb=2\r", "s", "[t]\nb=2\r\n\n[s]\nk=v\n"},  // a lone CR ends no line
      {"[s]\na=1\r", "s", "[s]\na=1\r\nk=v\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(AfterWrite(c.before, c.section, "k", "v"), c.after) << c.before;
}

TEST(IniWrite, RoundTripsWhatItWrites) {
  IniDocument document;
  document.WriteInteger("Settings", "FormVersion", 0);
  document.WriteString("Settings", "eBaseDN_Text", "dc=example,dc=com");
  document.WriteString("Settings", "eFilename_Text", "");
  document.WriteString("Settings", "cbIni_Text", "\"'quoted'\"");
  EXPECT_EQ(document.Serialize(),
            "[Settings]\nFormVersion=0\neBaseDN_Text=dc=example,dc=com\neFilename_Text=\n"
            "cbIni_Text=\"'quoted'\"\n");
  IniDocument again = IniDocument::Parse(document.Serialize());
  EXPECT_EQ(again.ReadInteger("settings", "formversion", -1), 0);
  EXPECT_EQ(again.ReadString("Settings", "cbIni_Text", ""), "'quoted'");
  EXPECT_EQ(again.ReadString("Settings", "eFilename_Text", "<default>"), "");
  EXPECT_EQ(again.SectionKeys("Settings"),
            (std::vector<std::string>{"FormVersion", "eBaseDN_Text", "eFilename_Text",
                                      "cbIni_Text"}));
}

TEST(IniWrite, LineBreaksCannotAddKeys) {
  std::string after = AfterWrite("[s]\n", "s", "k", "v\r\ninjected=1\n[x]");
  EXPECT_EQ(after, "[s]\nk=v  injected=1 [x]\n");
  EXPECT_EQ(IniDocument::Parse(after).SectionKeys("s"), std::vector<std::string>{"k"});
}

TEST(IniWrite, RefusesNamesTheFileCannotHold) {
  const std::pair<const char*, const char*> names[] = {
      {"s", ""}, {"s", "  "}, {"s", "a=b"}, {"s", "a\nb"}, {"s", "[k"}, {"s", ";k"},
      {"s", "#k"}, {"", "k"}, {"a]b", "k"}, {"a\nb", "k"},
  };
  for (const auto& [section, key] : names) {
    IniDocument document = IniDocument::Parse("[s]\nk=1\n");
    EXPECT_THROW(document.WriteString(section, key, "v"), Error) << section << "/" << key;
    EXPECT_EQ(document.Serialize(), "[s]\nk=1\n");
  }
}

TEST(IniParse, ArbitraryBytesSurviveAndNeverCrash) {
  // Half the inputs are random bytes, half are pieced together from INI syntax.
  const std::string_view pieces[] = {"[a]", "[b]", "[ A ]", "[b", "k", "K ", "=", "v", ";", "#",
                                     "\r\n", "\n", "\r", "\"", "'", " ", "\t", "\xEF\xBB\xBF",
                                     std::string_view("\0", 1), "\xFF", "]", "x=1", "k=2"};
  std::mt19937 generator(12345);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes;
    std::size_t length = generator() % 60;
    for (std::size_t i = 0; i < length; ++i) {
      if (round % 2) {
        bytes += pieces[generator() % std::size(pieces)];
      } else {
        bytes += static_cast<char>(generator());
      }
    }
    IniDocument document = IniDocument::Parse(bytes);
    ASSERT_EQ(document.Serialize(), bytes);
    for (const std::string& key : document.SectionKeys("a")) document.ReadString("a", key, "");
    document.ReadInteger("b", "K", 0);
    std::vector<IniEntry> otherSection = document.SectionEntries("b");
    document.WriteString("a", "K", "value");
    IniDocument after = IniDocument::Parse(document.Serialize());
    EXPECT_EQ(after.ReadString("a", "k", ""), "value");
    std::vector<IniEntry> otherAfter = after.SectionEntries("b");
    ASSERT_EQ(otherAfter.size(), otherSection.size());
    for (std::size_t i = 0; i < otherSection.size(); ++i) {
      EXPECT_EQ(otherAfter[i].key, otherSection[i].key);
      EXPECT_EQ(otherAfter[i].value, otherSection[i].value);
    }
  }
}

using IniFileTest = ScratchDirTest;

TEST_F(IniFileTest, ReadsGiveDefaultsForMissingOrUnreadableFiles) {
  EXPECT_EQ(ReadProfileString(Path("none.ini"), "s", "k", "dflt"), "dflt");
  EXPECT_EQ(ReadProfileInteger(Path("none.ini"), "s", "k", 7), 7);
  EXPECT_TRUE(ReadProfileSectionKeys(Path("none.ini"), "s").empty());
  EXPECT_EQ(ReadProfileString(dir_.string(), "s", "k", "dflt"), "dflt");  // a directory
}

TEST_F(IniFileTest, WritesCreateAndEditTheFile) {
  std::string file = Path("Quorvane.ini");
  WriteProfileInteger(file, "Settings", "FormVersion", 0);
  WriteProfileString(file, "Settings", "cbIni_Text", "default");
  EXPECT_EQ(ReadWholeFile(file), "[Settings]\nFormVersion=0\ncbIni_Text=default\n");
  EXPECT_EQ(ReadProfileString(file, "settings", "CBINI_TEXT", ""), "default");
  EXPECT_EQ(ReadProfileInteger(file, "Settings", "FormVersion", -1), 0);
  EXPECT_EQ(ReadProfileSectionKeys(file, "Settings"),
            (std::vector<std::string>{"FormVersion", "cbIni_Text"}));

  Put(file, "; mine\r\n[Window]\r\nLeft=10\r\n[Settings]\r\nFormVersion=-1\r\n");
  WriteProfileInteger(file, "Settings", "FormVersion", 0);
  EXPECT_EQ(ReadWholeFile(file), "; mine\r\n[Window]\r\nLeft=10\r\n[Settings]\r\nFormVersion=0\r\n");
}

TEST_F(IniFileTest, FailedWriteNamesTheFileAndKeepsTheOldOne) {
  Put(Path("blocker"), "a regular file where a directory should be");
  std::string inBlocker = Path("blocker/Quorvane.ini");
  std::string intoDirectory = Path("folder.ini");
  fs::create_directory(intoDirectory);
  for (const std::string& file : {inBlocker, intoDirectory, Path("missing/Quorvane.ini")}) {
    try {
      WriteProfileString(file, "Settings", "k", "v");
      ADD_FAILURE() << "no error for " << file;
    } catch (const Error& error) {
      EXPECT_STREQ(error.what(), ("Unable to write to " + file).c_str());
    }
  }
  EXPECT_EQ(ReadWholeFile(Path("blocker")), "a regular file where a directory should be");
  EXPECT_TRUE(fs::is_directory(intoDirectory));
  EXPECT_FALSE(fs::exists(Path("missing")));

  // The name is reported as given, relative names included.
  try {
    WriteProfileString(Path("blocker") + "/../blocker/x.ini", "s", "k", "v");
    ADD_FAILURE();
  } catch (const Error& error) {
    EXPECT_EQ(std::string(error.what()), "Unable to write to " + Path("blocker") + "/../blocker/x.ini");
  }

  // An invalid name fails as a write too, and the existing file is untouched.
  Put(Path("ok.ini"), "[s]\nk=1\n");
  EXPECT_THROW(WriteProfileString(Path("ok.ini"), "s", "bad=key", "v"), Error);
  EXPECT_EQ(ReadWholeFile(Path("ok.ini")), "[s]\nk=1\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 3);
}

// All edits reach the file in one write, or none does: an edit that fails part-way and a
// write that fails part-way leave the whole file as it was.
TEST_F(IniFileTest, UpdateWritesAllEditsOrNone) {
  const std::string file = Path("Quorvane.ini");
  const std::string before = "; mine\n[Settings]\nFormVersion=-1\nold=1\n[Other]\nk=v\n";
  struct Case {
    const char* name;
    std::function<void(IniDocument&)> edit;
    rlim_t sizeLimit;
  };
  const Case cases[] = {
      {"EditFailsAfterAChange",
       [](IniDocument& document) {
         document.WriteInteger("Settings", "FormVersion", 0);
         throw Error("stopped");
       },
       RLIM_INFINITY},
      {"InvalidKeyAfterAChange",
       [](IniDocument& document) {
         document.WriteInteger("Settings", "FormVersion", 0);
         document.WriteString("Settings", "bad=key", "v");
       },
       RLIM_INFINITY},
      {"WriteFailsPartWay",
       [](IniDocument& document) {
         document.WriteInteger("Settings", "FormVersion", 0);
         document.WriteString("Settings", "long", std::string(4096, 'x'));
       },
       before.size() + 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Put(file, before);
    std::string message;
    {
      FileSizeLimit limit(c.sizeLimit);
      try {
        UpdateIniFile(file, c.edit);
      } catch (const Error& error) {
        message = error.what();
      }
    }
    EXPECT_EQ(message, "Unable to write to " + file);
    EXPECT_EQ(ReadWholeFile(file), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
  }

  UpdateIniFile(file, [](IniDocument& document) {
    document.WriteInteger("Settings", "FormVersion", 0);
    document.WriteString("Settings", "new", "yes");
  });
  EXPECT_EQ(ReadWholeFile(file),
            "; mine\n[Settings]\nFormVersion=0\nold=1\nnew=yes\n[Other]\nk=v\n");
}

}  // namespace
}  // namespace quorvane
