// The repair run: source text or lines in, repaired LDIF lines out, record by record.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/log.h"
#include "engine/random_source.h"
#include "engine/repair_counts.h"
#include "engine/transform_map.h"
#include "engine/used_dns.h"
#include "schema/schema.h"

namespace quorvane {

// How a run uses the directory's schema.
struct SchemaStep {
  // The schema the records are checked against and repaired for; null: no schema checks (the
  // built-in schema still gives each attribute's comparison).
  const Schema* schema = nullptr;
  // One log line per record and kind of repair, rather than one per kind and attribute.
  bool verbose = false;
};

// Receives the output lines of a run, in order; an empty line follows every record.
class LineSink {
 public:
  virtual ~LineSink() = default;
  virtual void Line(std::string_view line) = 0;
};

// One repair run, the only one there is: the command and the window feed it bytes, tests and
// RunRepair feed it lines. Bytes are split into lines as a file is loaded (LineSplitter), lines
// are gathered into records (RecordCollector), each record is rewritten (FixRecord), its DN
// made unique (UsedDNs) and the record handed to the sink at once. Only the record being
// collected and the DN keys are kept, so memory grows with the number of distinct DNs, not
// with the size of the book. An exception from the sink or the log comes out of the call that
// fed the line.
class RepairRun {
 public:
  // `usedDNs` is cleared at the start; `log` may be null. All references must outlive the run.
  RepairRun(std::string_view baseDN, const TransformMap& map, UsedDNs& usedDNs,
            RandomSource& random, Log* log, LineSink& out, const SchemaStep& schema = {});
  ~RepairRun();
  RepairRun(const RepairRun&) = delete;
  RepairRun& operator=(const RepairRun&) = delete;

  // The next bytes of a text, split as a file is loaded: a line ends at CR, LF or CR LF, a
  // NUL byte ends the text, every TAB becomes four spaces. Chunks may end anywhere.
  void AddText(std::string_view bytes);
  // The next bytes of a text as the editor holds it: a line ends at CR, LF or CR LF (as the
  // editor shows it), a NUL byte ends a line, TABs stay. Chunks may end anywhere.
  void AddPaneText(std::string_view text);
  // One line already split (as RunRepair is handed them). Should it hold a CR, LF or NUL, that
  // ends a line there as in AddPaneText, so that no line break can reach the output.
  void AddLine(std::string_view sourceLine);
  // Repairs the last record. No more input comes.
  void Finish();

  // Whether a NUL byte ended the text given to AddText, and the 1-based line it stood on.
  bool Stopped() const;
  std::size_t StopLine() const;
  // What the run has done so far; complete after Finish().
  const RepairCounts& Counts() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The whole-list form: repairs `sourceLines` and returns the output lines, the last one empty
// when there was any record.
std::vector<std::string> RunRepair(const std::vector<std::string>& sourceLines,
                                   std::string_view baseDN, const TransformMap& map,
                                   UsedDNs& usedDNs, RandomSource& random, Log* log);

}  // namespace quorvane
