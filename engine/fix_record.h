// Rewriting the lines of one LDIF record: DN escaping, profile rules, booleans, sn/cn.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/log.h"
#include "engine/record_lines.h"
#include "engine/transform_map.h"

namespace quorvane {

// Which lines of a record get a progress message ("fc: " + the line, level 0).
enum class ProgressLines {
  kEvery,
  kLastOfRecord,  // a long run: the status shows the latest line at the pace of records
  kNone,          // nobody shows progress
};

// What the run needs to know about a record after its first pass.
struct RecordFacts {
  bool header = false;      // only comments and the version header: no record at all
  bool noDN = false;        // neither a dn: line nor a name to make one from
  bool emptyDN = false;     // a dn: line with no value: no directory takes such an entry
  bool badDN = false;       // a dn:: line whose Base64 does not decode
  bool memberless = false;  // a list without members
  bool recodedDN = false;   // a DN line's values were not UTF-8: read as Windows-1252
  // The suffixes the record's DN lines lost to the base DN, in the order of the lines, each
  // with its line breaks written as EscapeLineBreaks writes them, ready to be quoted.
  std::vector<std::string> replacedSuffixes;
  // Whether no directory accepts the record as it is written.
  bool NotImportable() const { return noDN || emptyDN || badDN || memberless; }
};

// What FixRecord reads besides the record itself.
struct RecordContext {
  std::string_view baseDN;  // as PrepareBaseDN() made it
  const TransformMap* map = nullptr;
  Log* log = nullptr;
  std::size_t line = 0;  // the source line on which the record starts, for messages
  ProgressLines progress = ProgressLines::kEvery;
  // The schema checks are on: DN values that are not UTF-8 are recoded (RecodeDNValues), as
  // the directory takes only UTF-8.
  bool recodeText = false;
};

// The base DN as every DN line gets it: trimmed, and a line break left inside written as
// \0D, \0A or \00, so that it cannot split the line it ends.
std::string PrepareBaseDN(std::string_view typed);

// The strings the rewriting of a record builds its lines and names in. A run keeps one from
// record to record, so that they are not made anew for every record.
struct FixRoom {
  std::string snValue;
  std::string cnValue;
  std::string dnValue;
  std::string rebuilt;
  std::string dn;
  std::string whole;
  std::string named;
  std::string value;
  std::string quoted;
  std::string recoded;
  std::string decoded;
};

// Rewrites `lines` in place, every rule on every line; an entry that becomes empty is to be
// dropped by the caller. `dnKey` is set to "dn: " + the escaped DN without the base DN when the
// record has a usable dn: line (it is left alone otherwise).
RecordFacts FixRecord(RecordLines& lines, bool isFirstRecord, std::string& dnKey,
                      const RecordContext& context, FixRoom& room);
// The same with room of its own.
RecordFacts FixRecord(RecordLines& lines, bool isFirstRecord, std::string& dnKey,
                      const RecordContext& context);

// Gives a record that FixRecord rewrote the made-unique key `uniqueDN` ("dn: " + DN): its dn:
// line becomes that DN plus the base DN, its cn: lines the new common name, and a missing sn:
// or cn: is added as FixRecord adds it; `dnKey` becomes `uniqueDN`. Nothing else changes.
void GiveUniqueDN(RecordLines& lines, std::string& dnKey, std::string_view uniqueDN,
                  const RecordContext& context, FixRoom& room);

}  // namespace quorvane
