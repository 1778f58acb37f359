// Profile rules by attribute name or whole line: case-blind lookups, the first of equal keys.
#include "engine/transform_map.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvane {
namespace {

TEST(TransformMap, LookupIgnoresLetterCaseOnly) {
  TransformMap map;
  map.Add("mozillaSecondEmail:", "/ignore/:");
  map.Add("objectclass: mozillaAbPersonObsolete", "objectclass: mozillaAbPersonAlpha");
  map.Add("a[:", "bracket");
  map.Add("\xC9t\xE9:", "accented");
  map.Add("c:", "");
  const struct {
    const char* name;
    const char* value;
  } cases[] = {
      {"mozillaSecondEmail:", "/ignore/:"},
      {"MOZILLASECONDEMAIL:", "/ignore/:"},
      {"mozillasecondemaiL:", "/ignore/:"},  // the case differs in the last word only
      {"mozillaSecondEmail", ""},
      {"mozillaSecondEmail: ", ""},
      {"OBJECTCLASS: MOZILLAABPERSONOBSOLETE", "objectclass: mozillaAbPersonAlpha"},
      {"objectclass: mozillaAbPersonObsoletf", ""},
      {"A[:", "bracket"},
      {"a{:", ""},  // '[' and '{' differ by the case bit but are no letters
      {"\xC9t\xE9:", "accented"},
      {"\xE9t\xE9:", ""},  // bytes above ASCII are never folded
      {"\xC9T\xE9:", "accented"},
      {"c:", ""},  // an empty value is no rule
      {"C:", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(map.Lookup(c.name), c.value) << c.name;
}

TEST(TransformMap, FirstOfKeysEqualButForCaseWins) {
  TransformMap map;
  map.Add("mozillaWorkUrl:", "labeledURI:");
  map.Add("MOZILLAWORKURL:", "ignored:");
  map.Add("mozillaworkurl:", "ignored too:");
  EXPECT_EQ(map.Lookup("MozillaWorkUrl:"), "labeledURI:");
  ASSERT_EQ(map.size(), 3u);  // every entry is still listed, as the profile has it
  EXPECT_EQ(map.EntryText(1), "MOZILLAWORKURL:=ignored:");
}

// "attr" + fill + number + ":", with `fill` and the letters in `attr` as given.
std::string NumberedKey(const char* attr, char fill, int i) {
  std::string key(attr);
  key.append(static_cast<std::size_t>(i % 90), fill);
  key.append(std::to_string(i));
  key.push_back(':');
  return key;
}

TEST(TransformMap, ManyKeysOfManyLengths) {
  TransformMap map;
  for (int i = 0; i < 2000; ++i) map.Add(NumberedKey("attr", 'x', i), std::to_string(i));
  for (int i = 0; i < 2000; ++i) {
    std::string key = NumberedKey("ATTR", 'X', i);
    ASSERT_EQ(map.Lookup(key), std::to_string(i)) << key;
    key.back() = ';';
    ASSERT_EQ(map.Lookup(key), "") << key;
  }
  map.Clear();
  EXPECT_TRUE(map.empty());
  EXPECT_EQ(map.Lookup("attr0:"), "");
  map.Add("attr0:", "again");
  EXPECT_EQ(map.Lookup("Attr0:"), "again");
}

TEST(TransformMap, EmptyKeyMatchesOnlyAnEmptyName) {
  TransformMap map;
  EXPECT_EQ(map.Lookup(""), "");
  map.Add("", "nameless");
  EXPECT_EQ(map.Lookup(""), "nameless");
  EXPECT_EQ(map.Lookup(":"), "");
}

}  // namespace
}  // namespace quorvane
