// Rewriting one record: DN lines, profile rules, booleans, object classes, sn/cn lines.
#include "engine/fix_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace quorvane {
namespace {

class ErrorLog : public Log {
 public:
  void Write(std::string_view text, int level, std::size_t line) override {
    if (level > 0) errors.push_back(std::to_string(line) + " " + std::string(text));
  }
  std::vector<std::string> errors;
};

// The lines as the run writes them: the empty ones dropped.
std::vector<std::string> NonEmpty(const RecordLines& lines) {
  std::vector<std::string> result;
  std::copy_if(lines.begin(), lines.end(), std::back_inserter(result),
               [](const std::string& line) { return !line.empty(); });
  return result;
}

struct Fixed {
  std::vector<std::string> lines;
  std::string key;
  RecordFacts facts;
};

Fixed Fix(RecordLines lines, const TransformMap& map = {}, bool first = false,
          std::string_view base = "dc=contacts,dc=test", Log* log = nullptr) {
  Fixed result;
  const std::string preparedBase = PrepareBaseDN(base);
  const RecordContext context{preparedBase, &map, log, 7};
  result.facts = FixRecord(lines, first, result.key, context);
  result.lines = NonEmpty(lines);
  return result;
}

using Lines = std::vector<std::string>;

TEST(FixRecord, NameAndValueSplitAtFirstColon) {
  const struct {
    const char* line;
    const char* name;
    const char* value;
  } cases[] = {
      {"sn:Doe", "sn:", "Doe"},
      {"sn :  Doe ", "sn :", "Doe"},
      {"description:: QmVy", "description:", ": QmVy"},
      {"url: http://x", "url:", "http://x"},
      {"no colon here", "", "no colon here"},
  };
  for (const auto& c : cases) {
    const NameValue nv = SplitNameValue(c.line);
    EXPECT_EQ(nv.name, c.name) << c.line;
    EXPECT_EQ(nv.value, c.value) << c.line;
  }
}

// The records below carry a dn: line and an object class of their own, so that the rules for
// records without them stay out of the way of the rule each test is about.
constexpr const char* kPerson = "objectclass: inetOrgPerson";
constexpr const char* kDnX = "dn: cn=X";
constexpr const char* kDnXOut = "dn: cn=X,dc=contacts,dc=test";

TEST(FixRecord, LinesAreRebuiltWithOneBlank) {
  EXPECT_EQ(Fix({kDnX, kPerson, "cn: X", "sn:Doe", "mail:   a@b", "photo:: AAAA", "labeledURI:< file:///x",
                 "description:", "junk without colon", "o:  "})
                .lines,
            (Lines{kDnXOut, kPerson, "cn: X", "sn: Doe", "mail: a@b", "photo:: AAAA",
                   "labeledURI: < file:///x"}));
}

TEST(FixRecord, BooleansAreNormalised) {
  EXPECT_EQ(Fix({kDnX, kPerson, "cn: X", "sn: Y", "a: false", "b: True", "c: TRUE", "d: falsely",
                 "e: yes"})
                .lines,
            (Lines{kDnXOut, kPerson, "cn: X", "sn: Y", "a: FALSE", "b: TRUE", "c: TRUE",
                   "d: falsely", "e: yes"}));
}

TEST(FixRecord, ProfileRenamesAndDropsAttributes) {
  TransformMap map;
  map.Add("mozillasecondemail:", "/ignore/:");
  map.Add("mozillaWorkUrl:", "labeledURI:");
  map.Add("objectclass: mozillaAbPersonAlpha", "/ignore/");
  map.Add("objectclass: inetorgperson", "objectclass: inetOrgPerson");
  map.Add("MOZILLAWORKURL:", "ignored:");  // equal but for case: the first key wins
  map.Add("sn:", "");                      // an empty value is no rule
  EXPECT_EQ(Fix({kDnX, "cn: X", "sn: Y", "MozillaSecondEmail: b@c", "mozillaworkurl: http://w",
                 "OBJECTCLASS: MozillaAbPersonAlpha", "objectclass: InetOrgPerson",
                 "objectclass: person"},
                map, true)
                .lines,
            (Lines{kDnXOut, "cn: X", "sn: Y", "labeledURI: http://w",
                   "objectclass: inetOrgPerson", "objectclass: person"}));
}

TEST(FixRecord, RenamedAttributeIsNotMappedAgain) {
  TransformMap map;
  map.Add("a:", "b:");
  map.Add("b:", "c:");
  EXPECT_EQ(Fix({kDnX, kPerson, "cn: X", "sn: Y", "a: 1", "b: 2"}, map).lines,
            (Lines{kDnXOut, kPerson, "cn: X", "sn: Y", "b: 1", "c: 2"}));
}

TEST(FixRecord, GenericObjectClassesLeaveLaterRecordsOnly) {
  const RecordLines lines{kDnX,
                          "cn: X",
                          "sn: Y",
                          "objectclass: top",
                          "objectclass:person",
                          "objectclass :  organizationalPerson",
                          "objectclass: inetOrgPerson",
                          "objectclass: topic",
                          "objectclass: Top",
                          "description: see objectclass: person"};
  EXPECT_EQ(Fix(lines, {}, true).lines.size(), 10u);
  EXPECT_EQ(Fix(lines, {}, false).lines,
            (Lines{kDnXOut, "cn: X", "sn: Y", "objectclass: inetOrgPerson", "objectclass: topic",
                   "objectclass: Top", "description: see objectclass: person"}));
}

TEST(FixRecord, MissingSnAndCnAreAdded) {
  constexpr const char* kUidOut = "dn: uid=k,dc=contacts,dc=test";
  const struct {
    RecordLines in;
    Lines out;
  } cases[] = {
      // The DN "uid=k" names no one: the names come from the lines.
      {{"dn: uid=k", kPerson, "cn: Jane"}, {kUidOut, kPerson, "cn: Jane", "sn: Jane"}},
      {{"dn: uid=k", kPerson, "sn: Roe"}, {kUidOut, kPerson, "sn: Roe", "cn: Roe"}},
      {{"dn: uid=k", kPerson, "cn: \"Bo\" Li"}, {kUidOut, kPerson, "cn: 'Bo' Li", "sn: 'Bo' Li"}},
      {{"dn: uid=k", kPerson, "cn:: Sm9zw6k="},
       {kUidOut, kPerson, "cn:: Sm9zw6k=", "sn:: Sm9zw6k="}},
      {{"dn: cn=Doe, John,mail=j@x", kPerson},
       {"dn: cn=Doe\\, John+mail=j@x,dc=contacts,dc=test", kPerson, "sn: Doe, John",
        "cn: Doe, John"}},
      {{"dn: mail=j@x", kPerson},
       {"dn: mail=j@x,dc=contacts,dc=test", kPerson, "sn: j@x", "cn: j@x"}},
      {{"dn:: Y249Sm9zw6k=", kPerson},
       {"dn: cn=Jos\\C3\\A9,dc=contacts,dc=test", kPerson, "sn:: Sm9zw6k=", "cn:: Sm9zw6k="}},
      {{"objectclass: top"}, {"objectclass: top"}},
      // an empty sn: is no surname
      {{"dn: uid=k", kPerson, "cn: Jane", "sn:"}, {kUidOut, kPerson, "cn: Jane", "sn: Jane"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Fix(c.in, {}, true).lines, c.out) << c.in.back();
}

TEST(FixRecord, GroupsGainNoSn) {
  EXPECT_EQ(Fix({"dn: cn=Friends", "objectclass: groupOfNames", "member: cn=A,mail=a@x"}).lines,
            (Lines{"dn: cn=Friends,dc=contacts,dc=test", "objectclass: groupOfNames",
                   "member: cn=A+mail=a@x,dc=contacts,dc=test", "cn: Friends"}));
  TransformMap map;
  map.Add("objectclass: mozillaList", "objectclass: GROUPOFUNIQUENAMES");
  const Fixed mapped = Fix({"dn: cn=L", "cn: L", "objectclass: mozillaList"}, map);
  EXPECT_EQ(mapped.lines,
            (Lines{"dn: cn=L,dc=contacts,dc=test", "cn: L", "objectclass: GROUPOFUNIQUENAMES"}));
  EXPECT_TRUE(mapped.facts.memberless);
}

TEST(FixRecord, DnLinesGetTheBaseOnce) {
  const struct {
    const char* line;
    const char* base;
    const char* out;
    const char* key;
  } cases[] = {
      {"dn: cn=X", "dc=a,dc=b", "dn: cn=X,dc=a,dc=b", "dn: cn=X"},
      {"dn: cn=X,dc=a,dc=b", "dc=a,dc=b", "dn: cn=X,dc=a,dc=b", "dn: cn=X"},
      {"dn: cn=Doe, J, DC=A,dc=b", "dc=a,dc=b", "dn: cn=Doe\\, J, DC=A,dc=b", "dn: cn=Doe\\, J"},
      {"dn: cn=X,o=a", "o=a", "dn: cn=X,o=a", "dn: cn=X"},
      {"dn: dc=a,dc=b", "dc=a,dc=b", "dn: dc=a,dc=b", "dn: dc=a,dc=b"},
      {"dn: cn=X", "", "dn: cn=X", "dn: cn=X"},
      {"dn: cn=X", "   ", "dn: cn=X", "dn: cn=X"},
      {"dn:cn=X", " o=a ", "dn: cn=X,o=a", "dn: cn=X"},  // the base trimmed: no blank at the end
      {"dn: cn=X", "dc=x\n", "dn: cn=X,dc=x", "dn: cn=X"},  // trimmed before escaping
      {"dn: cn=X", "\r\n", "dn: cn=X", "dn: cn=X"},
      {"dn: cn=X", "o=a\nb", "dn: cn=X,o=a\\0Ab", "dn: cn=X"},
      // A directory's own DN: its first RDN as written, under the base; with no base, whole.
      {"dn: cn=Doe\\, John+mail=j@example.org,ou=people,dc=example,dc=org", "dc=a,dc=b",
       "dn: cn=Doe\\, John+mail=j@example.org,dc=a,dc=b", "dn: cn=Doe\\, John+mail=j@example.org"},
      {"dn: cn=Doe\\, J,dc=a,dc=b", "dc=a,dc=b", "dn: cn=Doe\\, J,dc=a,dc=b", "dn: cn=Doe\\, J"},
      {"dn: cn=Y ,ou=p,dc=e", "dc=a,dc=b", "dn: cn=Y,dc=a,dc=b", "dn: cn=Y"},
      {"dn: cn=a+b,ou=p,dc=e", "dc=a,dc=b", "dn: cn=a\\+b,dc=a,dc=b", "dn: cn=a\\+b"},
      {"dn: cn=J ,ou=people, dc=example", "", "dn: cn=J,ou=people,dc=example",
       "dn: cn=J,ou=people,dc=example"},
      {"dn: cn=Doe\\, J,ou=x", "", "dn: cn=Doe\\, J,ou=x", "dn: cn=Doe\\, J,ou=x"},
      // Empty parts left out leave no blank at the end of the line.
      {"dn: cn=Ann ,sn=", "", "dn: cn=Ann", "dn: cn=Ann"},
      {"dn: cn=Ann ,sn=", "o=a", "dn: cn=Ann,o=a", "dn: cn=Ann"},
      // A first RDN without "=" is the common name, whatever follows it.
      {"dn: Doe,dc=x", "dc=x", "dn: cn=Doe,dc=x", "dn: cn=Doe"},
      {"dn: Doe, John,mail=j@x", "o=a", "dn: cn=Doe\\, John+mail=j@x,o=a", "dn: cn=Doe\\, John+mail=j@x"},
      // The base entry itself, as written: only a DN that lost parts to be it is empty.
      {"dn: DC=x", "dc=x", "dn: DC=x", "dn: DC=x"},
  };
  for (const auto& c : cases) {
    const Fixed fixed = Fix({c.line, "cn: X", "sn: X"}, {}, false, c.base);
    EXPECT_EQ(fixed.lines[0], c.out) << c.line << " under " << c.base;
    EXPECT_EQ(fixed.key, c.key) << c.line << " under " << c.base;
  }
}

TEST(FixRecord, EveryReplacedSuffixIsNoted) {
  const Fixed fixed = Fix({"dn: cn=L,ou=lists,dc=example", "objectclass: groupOfNames", "cn: L",
                           "member: cn=A,ou=people,dc=example", "member: cn=B,ou=lists,dc=example",
                           "member: cn=C,dc=contacts,dc=test"});
  EXPECT_EQ(fixed.facts.replacedSuffixes,
            (Lines{"ou=lists,dc=example", "ou=people,dc=example", "ou=lists,dc=example"}));
  // Quoted in a message, a suffix keeps its line breaks off the line.
  EXPECT_EQ(Fix({"dn:: Y249SixvdT1hCmIsZGM9eA==", kPerson}).facts.replacedSuffixes,
            (Lines{"ou=a\\0Ab,dc=x"}));
}

// With the schema checks on, DN values that are not UTF-8 are read as Windows-1252; the names
// taken from such a DN are the recoded ones.
TEST(FixRecord, DnValuesThatAreNotUtf8AreRecoded) {
  const struct {
    RecordLines in;
    bool recode;
    Lines out;
    bool recoded;
  } cases[] = {
      {{"dn: cn=J\xFCrgen,mail=j@x", kPerson}, true,
       {"dn: cn=J\\C3\\BCrgen+mail=j@x,dc=t", kPerson, "sn:: SsO8cmdlbg==", "cn:: SsO8cmdlbg=="},
       true},
      {{"dn: cn=J\xFCrgen,mail=j@x", kPerson}, false,
       {"dn: cn=J\\FCrgen+mail=j@x,dc=t", kPerson, "sn:: SvxyZ2Vu", "cn:: SvxyZ2Vu"}, false},
      {{"dn: cn=J\xC3\xBCrgen", kPerson}, true,
       {"dn: cn=J\\C3\\BCrgen,dc=t", kPerson, "sn:: SsO8cmdlbg==", "cn:: SsO8cmdlbg=="}, false},
      // Each value on its own: a UTF-8 value beside a Windows-1252 one stays as it is.
      {{"dn: cn=J\xC3\xBCrgen,mail=m\xFC@x", "sn: J", "cn: J", kPerson}, true,
       {"dn: cn=J\\C3\\BCrgen+mail=m\\C3\\BC@x,dc=t", "sn: J", "cn: J", kPerson}, true},
      // Member lines and Base64 DNs alike; 0x80 is the euro sign in Windows-1252.
      {{"dn: cn=L", "objectclass: groupOfNames", "cn: L", "member: cn=M\xE9,ou=p,dc=e",
        "member:: Y249gA=="},
       true,
       {"dn: cn=L,dc=t", "objectclass: groupOfNames", "cn: L", "member: cn=M\\C3\\A9,dc=t",
        "member: cn=\\E2\\82\\AC,dc=t"},
       true},
  };
  for (const auto& c : cases) {
    RecordLines lines = c.in;
    std::string key;
    RecordContext context{"dc=t", nullptr, nullptr, 1, ProgressLines::kNone};
    context.recodeText = c.recode;
    const RecordFacts facts = FixRecord(lines, false, key, context);
    EXPECT_EQ(NonEmpty(lines), c.out) << c.in[0];
    EXPECT_EQ(facts.recodedDN, c.recoded) << c.in[0];
  }
}

TEST(FixRecord, MemberLinesAreEscapedButNoKey) {
  // The key stays the dn: line's: member lines after it do not replace it.
  const Fixed fixed = Fix({"dn: cn=L", "objectclass: groupOfNames", "cn: L",
                           "member: cn=Doe, John,mail=j@x", "member:: Y249Sm9l",
                           "member: cn=Z,dc=contacts,dc=test"});
  EXPECT_EQ(fixed.lines,
            (Lines{"dn: cn=L,dc=contacts,dc=test", "objectclass: groupOfNames", "cn: L",
                   "member: cn=Doe\\, John+mail=j@x,dc=contacts,dc=test",
                   "member: cn=Joe,dc=contacts,dc=test", "member: cn=Z,dc=contacts,dc=test"}));
  EXPECT_EQ(fixed.key, "dn: cn=L");
  // Bare names on both: each line its own common name, the key the dn: line's; a member left
  // with the base DN alone names nobody.
  const Fixed bare = Fix({"dn: L", "objectclass: groupOfNames", "member: Ann",
                          "member: cn=,dc=contacts,dc=test"});
  EXPECT_EQ(bare.lines, (Lines{"dn: cn=L,dc=contacts,dc=test", "objectclass: groupOfNames",
                               "member: cn=Ann,dc=contacts,dc=test", "cn: L"}));
  EXPECT_EQ(bare.key, "dn: cn=L");
  // A record without dn: line, cn: or mail: takes no key from its members either.
  const Fixed nameless = Fix({"objectclass: groupOfNames", "member: cn=M"});
  EXPECT_EQ(nameless.key, "");
  EXPECT_TRUE(nameless.facts.noDN);
}

TEST(FixRecord, Base64DnLinesDecodeWithAnySpacing) {
  for (const char* line : {"dn:: Y249Sm9l", "dn::Y249Sm9l", "dn::    Y249Sm9l", "dn:: IGNuPUpvZSA="}) {
    EXPECT_EQ(Fix({line, "cn: Joe", "sn: Joe"}).key, "dn: cn=Joe") << line;
  }
}

TEST(FixRecord, Base64DnsOfOneRunKeepNothingOfEachOther) {
  // One room for the whole run, as a repair run keeps it: a short DN after a long one, an
  // empty one, a member line decoded after the record's dn: line.
  const std::string base = PrepareBaseDN("dc=x");
  const RecordContext context{base, nullptr, nullptr, 1};
  FixRoom room;
  const struct {
    RecordLines lines;
    const char* key;
    RecordLines fixed;
  } records[] = {
      {{"dn:: Y249QW5uYSBMb25nbmFtZSxtYWlsPWFubmEubG9uZ25hbWVAZXhhbXBsZS5jb20=", kPerson},
       "dn: cn=Anna Longname+mail=anna.longname@example.com",
       {"dn: cn=Anna Longname+mail=anna.longname@example.com,dc=x", kPerson,
        "sn: Anna Longname", "cn: Anna Longname"}},
      {{"dn:: IGNuPUpvZSA=", kPerson, "cn: Joe", "sn: Joe"},
       "dn: cn=Joe",
       {"dn: cn=Joe,dc=x", kPerson, "cn: Joe", "sn: Joe"}},
      {{"dn::", kPerson, "mail: a@b"}, "", {"dn:", kPerson, "mail: a@b"}},
      {{"dn:: Y249TGlzdA==", "objectclass: groupOfNames", "member:: Y249Sm9l"},
       "dn: cn=List",
       {"dn: cn=List,dc=x", "objectclass: groupOfNames", "member: cn=Joe,dc=x", "cn: List"}},
  };
  for (const auto& r : records) {
    RecordLines lines = r.lines;
    std::string key;
    FixRecord(lines, false, key, context, room);
    EXPECT_EQ(key, r.key) << r.lines[0];
    EXPECT_EQ(NonEmpty(lines), r.fixed) << r.lines[0];
  }
}

TEST(FixRecord, UndecodableDnIsReportedAndKept) {
  ErrorLog log;
  const Fixed fixed = Fix({"dn:: Y249Sm9", kPerson, "cn: Joe", "member:: abc"}, {}, false,
                          "dc=contacts,dc=test", &log);
  EXPECT_EQ(fixed.lines, (Lines{"dn:: Y249Sm9", kPerson, "cn: Joe", "member:: abc", "sn: Joe"}));
  EXPECT_EQ(fixed.key, "");
  EXPECT_EQ(log.errors, (Lines{"7 001: Base64ToStr: illegal input length!",
                               "7 001: Base64ToStr: illegal input length!"}));
}

TEST(FixRecord, DecodedControlBytesCannotBreakTheLine) {
  // "cn=x\r\nchangetype: delete" in Base64.
  const Fixed fixed = Fix({"dn:: Y249eA0KY2hhbmdldHlwZTogZGVsZXRl", "cn: x", "sn: x"});
  EXPECT_EQ(fixed.lines[0], "dn: cn=x\\0D\\0Achangetype: delete,dc=contacts,dc=test");
  for (const std::string& line : fixed.lines) {
    EXPECT_EQ(line.find_first_of(std::string_view("\r\n\0", 3)), std::string::npos) << line;
  }
}

TEST(FixRecord, DnHoldingDoubleColonIsStillEscaped) {
  // "cn=x dn:: \r\ny" in Base64, and the same text typed plainly.
  EXPECT_EQ(Fix({"dn:: Y249eCBkbjo6IA0KeQ==", "sn: s"}).lines[0],
            "dn: cn=x dn:: \\0D\\0Ay,dc=contacts,dc=test");
  EXPECT_EQ(Fix({"dn: cn=a dn:: b, c", "sn: s"}).lines[0], "dn: cn=a dn:: b\\, c,dc=contacts,dc=test");
}

TEST(FixRecord, LongValuesAreNotCut) {
  const std::string photo(30000, 'A');
  const std::string name(5000, 'n');
  const Fixed fixed =
      Fix({"dn: cn=" + name, "jpegPhoto:: " + photo, "cn: " + name, "sn: S", kPerson});
  EXPECT_EQ(fixed.lines[0], "dn: cn=" + name + ",dc=contacts,dc=test");
  EXPECT_EQ(fixed.lines[1], "jpegPhoto:: " + photo);
  EXPECT_EQ(fixed.key, "dn: cn=" + name);
}

TEST(FixRecord, EmptyDnIsKeptAndFlagged) {
  for (const char* line : {"dn:", "dn:   ", "dn:: IA==", "dn::", "dn::   ",
                           "dn: cn=,dc=contacts,dc=test", "dn: sn= ,DC=Contacts,dc=test"}) {
    const Fixed fixed = Fix({line, kPerson, "mail: a@b"});
    EXPECT_EQ(fixed.lines, (Lines{"dn:", kPerson, "mail: a@b"})) << line;
    EXPECT_TRUE(fixed.facts.emptyDN) << line;
    EXPECT_EQ(fixed.key, "") << line;
  }
}

// Everything a first pass leaves: the lines as they stand (cleared ones included), the key
// and the facts.
struct FirstPassResult {
  std::vector<std::string> lines;
  std::string key;
  RecordFacts facts;
};

FirstPassResult FirstPassOf(RecordLines lines, const TransformMap* map, bool first) {
  FirstPassResult result;
  const RecordContext context{"dc=t", map, nullptr, 1, ProgressLines::kNone};
  result.facts = FixRecord(lines, first, result.key, context);
  result.lines.assign(lines.begin(), lines.end());
  return result;
}

// A line already written as the pass writes it and the same line with a blank after it must
// come out the same, facts included.
TEST(FixRecord, LinesKeptInPlaceMatchRebuiltLines) {
  TransformMap map;
  map.Add("modifytimestamp:", "/ignore/:");
  map.Add("mozillaWorkUrl:", "labeledURI:");
  map.Add("x-alias:", "cn:");
  map.Add("objectclass: mozillaList", "objectclass: groupOfNames");
  map.Add("objectclass: obsolete", "/ignore/");
  map.Add("nick: Bo", "sn: Bo");
  const char* const lines[] = {
      "objectclass: top",           "objectclass: person",
      "objectclass: organizationalPerson", "objectclass: inetOrgPerson",
      "objectclass: Top",           "objectClass: person",
      "objectclass: groupOfNames",  "objectClass: GROUPOFUNIQUENAMES",
      "objectclass:: Z3JvdXBPZk5hbWVz", "objectclass: mozillaList",
      "objectclass: obsolete",      "Member: cn=A",
      "uniqueMember: cn=B",         "UNIQUEMEMBER: x",
      "memberOf: cn=G",             "members: 2",
      "sn: Roe",                    "sn:: w4VuZw==",
      "cn: \"Bo\" Li",              "cn: false",
      "cn:: Qm8=",                  "SN: Upper",
      "givenName: TRUE",            "flag: False",
      "flag: true",                 "flag: truest",
      "mail: a@b:c",                "modifytimestamp: 1176972795",
      "ModifyTimestamp: 0Z",        "mozillaWorkUrl: http://w",
      "x-alias: Other",             "nick: Bo",
      "o: \"A\" & B",
  };
  const TransformMap* const profiles[] = {nullptr, &map};
  for (const TransformMap* profile : profiles) {
    for (const bool first : {true, false}) {
      for (const char* line : lines) {
        const std::string spaced = std::string(line) + " ";
        const FirstPassResult asIs = FirstPassOf({"dn: cn=K", line, "mail: k@x"}, profile, first);
        const FirstPassResult rebuilt =
            FirstPassOf({"dn: cn=K", spaced, "mail: k@x"}, profile, first);
        const std::string where = std::string(line) + (profile ? " (profile)" : "") +
                                  (first ? " (first record)" : "");
        EXPECT_EQ(asIs.lines, rebuilt.lines) << where;
        EXPECT_EQ(asIs.key, rebuilt.key) << where;
        EXPECT_EQ(asIs.facts.memberless, rebuilt.facts.memberless) << where;
      }
    }
  }
}

TEST(FixRecord, FirstPassFindsTheRecordShapeAfterTheProfile) {
  TransformMap map;
  map.Add("nick: Bo", "cn: Bo");
  map.Add("alias:", "sn:");
  map.Add("sn: Gone", "/ignore/");
  const FirstPassResult result =
      FirstPassOf({"dn:: Y249Sm9l", "objectclass: top", "sn: Gone", "nick: Bo", "alias: A",
                   "member: cn=M", "sn : spaced", "cn:: Qm8=", "SN: x", "objectclass: groupOfNames"},
                  &map, false);
  EXPECT_EQ(result.lines,
            (Lines{"dn: cn=Joe,dc=t", "", "", "cn: Bo", "sn: A", "member: cn=M,dc=t",
                   "sn : spaced", "cn:: Qm8=", "SN: x", "objectclass: groupOfNames"}));
  EXPECT_FALSE(result.facts.memberless);

  // Missing names are taken from the DN, wherever the dn: line stands.
  const FirstPassResult added = FirstPassOf({"mail: a@b", "dn: cn=Ann", kPerson}, nullptr, false);
  EXPECT_EQ(added.lines, (Lines{"mail: a@b", "dn: cn=Ann,dc=t", kPerson, "sn: Ann", "cn: Ann"}));
}

// A plain value that starts with a colon keeps its meaning: written "note::x" it would read as
// Base64, so it is written in the Base64 form; a colon right after the name's colon is the
// encoded form itself and stays.
TEST(FixRecord, ValueStartingWithColonIsWrittenInBase64) {
  EXPECT_EQ(Fix({kDnX, kPerson, "cn: X", "sn: Y", "note: :x", "note: :x ", "note:  :: y",
                 "note::eA==", "description: a:b"})
                .lines,
            (Lines{kDnXOut, kPerson, "cn: X", "sn: Y", "note:: Ong=", "note:: Ong=", "note:: OjogeQ==",
                   "note::eA==", "description: a:b"}));
  // A cn value gets its quotes changed first; the missing sn is the same Base64 value.
  EXPECT_EQ(Fix({"dn: cn=Q", kPerson, "cn: :\"q\""}).lines,
            (Lines{"dn: cn=Q,dc=contacts,dc=test", kPerson, "cn:: OidxJw==", "sn:: OidxJw=="}));
}

// The second pass of a record whose DN was taken.
Lines SecondPass(RecordLines lines, std::string_view forced, const TransformMap& map = {}) {
  std::string key;
  const RecordContext context{"dc=t", &map, nullptr, 1};
  FixRecord(lines, false, key, context);
  FixRoom room;
  GiveUniqueDN(lines, key, forced, context, room);
  EXPECT_EQ(key, forced);
  return NonEmpty(lines);
}

TEST(FixRecord, SecondPassRewritesOnlyDnAndCn) {
  TransformMap map;
  map.Add("a:", "b:");
  map.Add("b:", "c:");
  EXPECT_EQ(SecondPass({"cn: Jane Roe", "dn: cn=Jane Roe", kPerson, "member: cn=M,mail=m@x",
                        "a: 1", "cn: Other", "sn: Roe"},
                       "dn: cn=Jane Roe057", map),
            (Lines{"cn: Jane Roe057", "dn: cn=Jane Roe057,dc=t", kPerson,
                   "member: cn=M+mail=m@x,dc=t", "b: 1", "cn: Jane Roe057", "sn: Roe"}));
}

TEST(FixRecord, SecondPassFindsEveryNameOfCn) {
  // The directory takes "CN:" and "commonName:" as cn: each must carry the DN's new name.
  EXPECT_EQ(SecondPass({"dn: cn=Ann", "CN: Ann", "commonName: Ann", "sn: S", kPerson},
                       "dn: cn=Ann057"),
            (Lines{"dn: cn=Ann057,dc=t", "cn: Ann057", "cn: Ann057", "sn: S", kPerson,
                   "cn: Ann057"}));  // the first pass's own cn: line too; written once
}

TEST(FixRecord, NewCommonNameIsTheRdnValue) {
  const struct {
    const char* forced;
    const char* cn;
  } cases[] = {
      {"dn: cn=Doe\\, John057+mail=j@x", "cn: Doe, John057"},
      {"dn: cn=A\\+B057+mail=j@x", "cn: A+B057"},
      {"dn: uid=x057", "cn: x057"},
      {"dn: cn=Jos\\C3\\A9057", "cn:: Sm9zw6kwNTc="},
      {"dn: cn=\\23x057", "cn: #x057"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SecondPass({"dn: cn=whatever", "cn: Old", "sn: S", kPerson}, c.forced)[1], c.cn)
        << c.forced;
  }
}

TEST(FixRecord, ForcedDnWithoutNameKeepsTheNamesItHas) {
  // A forced DN without "=" gives no new common name: the cn: line stays, and a missing sn:
  // or cn: is taken as the first pass takes it.
  EXPECT_EQ(SecondPass({"dn: whatever", kPerson, "cn: Kept", "sn: S"}, "dn: whatever057"),
            (Lines{"dn: whatever057,dc=t", kPerson, "cn: Kept", "sn: S"}));
  EXPECT_EQ(SecondPass({"dn: whatever", kPerson, "sn: S"}, "dn: whatever057"),
            (Lines{"dn: whatever057,dc=t", kPerson, "sn: S", "cn: S"}));
  // The first pass took the bare DN as the common name; the names come from the record's own
  // DN, never from the base DN ("dc=t" must not give "t").
  EXPECT_EQ(SecondPass({"dn: whatever", kPerson, "mail: m"}, "dn: whatever057"),
            (Lines{"dn: whatever057,dc=t", kPerson, "mail: m", "sn: whatever", "cn: whatever"}));
}

}  // namespace
}  // namespace quorvane
