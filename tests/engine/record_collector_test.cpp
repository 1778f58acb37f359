// Where records begin and end: blank lines, a second dn: line, RFC 2849 folding and trimming,
// seen through whole runs and through the collector itself.
#include "engine/record_collector.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/engine/record_book.h"

namespace quorvane {
namespace {

using namespace record_book;

TEST(RecordCollector, BlankLinesOnlySeparate) {
  ExpectRepair("", "");
  ExpectRepair("\n   \n\n", "");
  // Records without a DN or a name to make one from: nothing but the blank lines is at work.
  ExpectRepair("\n\nsn: A\n\n\n\nsn: B\n\n",
               "objectclass: inetOrgPerson\nsn: A\ncn: A\n\nobjectclass: inetOrgPerson\nsn: B\ncn: B\n\n");
  ExpectRepair("   sn: A\n  \n\tsn: B",
               "objectclass: inetOrgPerson\nsn: A\ncn: A\n\nobjectclass: inetOrgPerson\nsn: B\ncn: B\n\n");
}

TEST(RecordCollector, FoldedLinesAreJoined) {
  const Case cases[] = {
      // The records have an object class and no cn: or mail: to make a DN from, so that only
      // the folding shows.
      {"FoldedBase64Dn", "dn:: Y249Sm9obiBE\n b2U=\nobjectclass: inetOrgPerson\ncn: x\nsn: y\n",
       "dn: cn=John Doe,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: x\nsn: y\n\n"},
      {"FoldAtBlank", "objectclass: inetOrgPerson\nsn: y\ndescription: one \n two\n",
       "objectclass: inetOrgPerson\nsn: y\ndescription: one two\ncn: y\n\n"},
      {"SeveralFolds", "objectclass: inetOrgPerson\nsn: ab\n c\n d\n",
       "objectclass: inetOrgPerson\nsn: abcd\ncn: abcd\n\n"},
      {"IndentedLinesStayLines", "  objectclass: inetOrgPerson\n  sn: y\n",
       "objectclass: inetOrgPerson\nsn: y\ncn: y\n\n"},
      {"TabIndented", "objectclass: inetOrgPerson\n\tsn: y\n",
       "objectclass: inetOrgPerson\nsn: y\ncn: y\n\n"},
      {"NoFoldAfterBlank", "objectclass: inetOrgPerson\n\n sn: y\n",
       "objectclass: inetOrgPerson\n\nobjectclass: inetOrgPerson\nsn: y\ncn: y\n\n"},
      {"SpaceOnlyLineSeparates", "sn: x\n \nsn: y\n",
       "objectclass: inetOrgPerson\nsn: x\ncn: x\n\nobjectclass: inetOrgPerson\nsn: y\ncn: y\n\n"},
  };
  ExpectCases(cases);
}

TEST(RecordCollector, SecondDnLineStartsARecord) {
  const Case cases[] = {
      // Every record has an object class, so that none is added.
      {"MissingBlankLine",
       "dn: cn=A\nobjectclass: inetOrgPerson\ncn: A\ndn: cn=B\nobjectclass: inetOrgPerson\ncn: B\n",
       "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: A\nsn: A\n\n"
       "dn: cn=B,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: B\nsn: B\n\n"},
      {"Base64Second", "dn: cn=A\nobjectclass: inetOrgPerson\ndn:: Y249Qg==\nobjectclass: inetOrgPerson\n",
       "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: A\ncn: A\n\n"
       "dn: cn=B,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: B\ncn: B\n\n"},
      {"VersionLineStays", "version: 1\ndn: cn=A\nobjectclass: inetOrgPerson\ncn: A\n",
       "version: 1\ndn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: A\nsn: A\n\n"},
      {"DnLaterInRecord", "cn: A\ndn: cn=A\nobjectclass: inetOrgPerson\n",
       "cn: A\ndn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: A\n\n"},
      // Whether a line is a DN line is known only once its folds are joined.
      {"FoldedIntoDnLine", "dn: cn=A\nobjectclass: inetOrgPerson\nd\n n: cn=B\nobjectclass: inetOrgPerson\ncn: B\n",
       "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: A\ncn: A\n\n"
       "dn: cn=B,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: B\nsn: B\n\n"},
      {"FoldedAtEndIntoDnLine", "objectclass: inetOrgPerson\ndn: cn=A\nd\n n: cn=B\n",
       "objectclass: inetOrgPerson\ndn: cn=A,dc=contacts,dc=test\nsn: A\ncn: A\n\n"
       "dn: cn=B,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: B\ncn: B\n\n"},
      {"FoldedAwayFromDn", "dn: cn=A\nobjectclass: inetOrgPerson\ndn\n x: B\n",
       "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ndnx: B\nsn: A\ncn: A\n\n"},
  };
  ExpectCases(cases);
}

TEST(RecordCollector, NoRecordWithoutBlankAtEnd) {
  ExpectRepair("objectclass: inetOrgPerson\ndn: cn=A",
               "objectclass: inetOrgPerson\ndn: cn=A,dc=contacts,dc=test\nsn: A\ncn: A\n\n");
}

// RFC 2849 folding as a loaded file is folded: one space and then anything but a space
// continues the line before; deeper indentation (a TAB has become four spaces by then) is a
// line of its own; a blank line ends the record, so nothing after it continues anything.
TEST(RecordCollector, FoldingRuleAtItsEdges) {
  const Case cases[] = {
      {"SpaceThenControlByteContinues", "dn: cn=A\nobjectclass: inetOrgPerson\ndescription: a\n \x01z\n",
       "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ndescription: a\x01z\nsn: A\ncn: A\n\n"},
      {"SpaceThenTabIsAnIndentedLine", "dn: cn=A\nobjectclass: inetOrgPerson\ndescription: a\n \tb:c\n",
       "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ndescription: a\nb: c\nsn: A\ncn: A\n\n"},
      {"TwoSpacesAreAnIndentedLine", "dn: cn=A\nobjectclass: inetOrgPerson\ndescription: a\n  b:c\n",
       "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ndescription: a\nb: c\nsn: A\ncn: A\n\n"},
      {"ContinuationAsTheLastLine", "dn: cn=A\nobjectclass: inetOrgPerson\ncn: A\n x",
       "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: Ax\nsn: Ax\n\n"},
      {"NoContinuationAfterABlankLine", "dn: cn=A\nobjectclass: inetOrgPerson\ncn: A\n\n x: y\nobjectclass: inetOrgPerson\n",
       "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ncn: A\nsn: A\n\nx: y\nobjectclass: inetOrgPerson\n\n"},
      {"BlanksBeforeAFoldStay", "dn: cn=A\nobjectclass: inetOrgPerson\ndescription: a  \n b\n",
       "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ndescription: a  b\nsn: A\ncn: A\n\n"},
      {"BlanksAfterTheLastFoldGo", "dn: cn=A\nobjectclass: inetOrgPerson\ndescription: a \n b \n c  \n",
       "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\ndescription: a b c\nsn: A\ncn: A\n\n"},
      {"DnLineMadeByAFoldStartsARecord", "dn: cn=A\nobjectclass: inetOrgPerson\nd\n n: cn=B  \n",
       "dn: cn=A,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: A\ncn: A\n\n"
       "dn: cn=B,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: B\ncn: B\n\n"},
      {"FoldedBase64Dn", "dn:: Y249Sm9\n lIFJvZQ==\nobjectclass: inetOrgPerson\n",
       "dn: cn=Joe Roe,dc=contacts,dc=test\nobjectclass: inetOrgPerson\nsn: Joe Roe\ncn: Joe Roe\n\n"},
  };
  ExpectCases(cases);
}

// The collector's records hold every line trimmed at both ends, once folding has joined it.
TEST(RecordCollector, LinesAreTrimmedOnceComplete) {
  std::vector<std::vector<std::string>> records;
  RecordCollector collector([&records](RecordLines& lines, std::size_t) {
    records.emplace_back(lines.begin(), lines.end());
  });
  std::size_t number = 0;
  for (const char* line : {"  cn: a  ", " b  ", "x: y\t", "", "\tdn: cn=z \x01", "d", " n: q"}) {
    collector.Add(line, ++number);
  }
  collector.Finish();
  EXPECT_EQ(records, (std::vector<std::vector<std::string>>{
                         {"cn: a  b", "x: y"}, {"dn: cn=z"}, {"dn: q"}}));
}

// The collector writes each record over the strings of the ones before. Whatever the taker
// does with the lines it is given (adds to them, empties them, takes them away), the next
// record holds its own lines only, and a line that grows by folding starts out empty.
TEST(RecordCollector, RecordsNeverShowLinesOfTheOnesBefore) {
  enum class Taker { kKeeps, kAdds, kEmpties, kTakes };
  const std::vector<std::vector<std::string>> expected = {
      {"dn: cn=a", "cn: a", "sn: a", "mail: a@x"},
      {"cn: bb"},
      {"dn: cn=c", "description: ccc"},
      {"dn: cn=d", "cn: d", "sn: d", "l: d", "o: d"},
      {"x: y"},
  };
  for (const Taker taker : {Taker::kKeeps, Taker::kAdds, Taker::kEmpties, Taker::kTakes}) {
    std::vector<std::vector<std::string>> records;
    RecordCollector collector([&](RecordLines& lines, std::size_t) {
      records.emplace_back(lines.begin(), lines.end());
      if (taker == Taker::kAdds) lines.insert(lines.end(), {"added: 1", "added: 2"});
      if (taker == Taker::kEmpties) {
        for (std::string& line : lines) line.clear();
      }
      if (taker == Taker::kTakes) RecordLines().swap(lines);
    });
    std::size_t number = 0;
    for (const char* line :
         {"dn: cn=a", "cn: a", "sn: a", "mail: a@x", "", "cn: b", " b", "", "dn: cn=c",
          "description: c", " cc  ", "dn: cn=d", "cn: d", "sn: d", "l: d", "o: d", "", "",
          "x: y"}) {
      collector.Add(line, ++number);
    }
    collector.Finish();
    EXPECT_EQ(records, expected) << "taker " << static_cast<int>(taker);
  }
}

// Each record is handed on with the number of the source line it starts on.
TEST(RecordCollector, RecordsStartOnTheirFirstLine) {
  std::vector<std::size_t> starts;
  RecordCollector collector(
      [&starts](RecordLines&, std::size_t firstLine) { starts.push_back(firstLine); });
  std::size_t number = 0;
  for (const char* line : {"", "  ", "dn: a", " x", "cn: a", "dn: b", "", "", "cn: c", "dn: c",
                           "d", " n: e", "sn: e"}) {
    collector.Add(line, ++number);
  }
  collector.Finish();
  EXPECT_EQ(starts, (std::vector<std::size_t>{3, 6, 9, 11}));
}

}  // namespace
}  // namespace quorvane
