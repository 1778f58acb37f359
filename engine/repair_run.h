// The repair run: source lines in, repaired LDIF lines out, record by record.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/log.h"
#include "engine/random_source.h"
#include "engine/transform_map.h"
#include "engine/used_dns.h"

namespace quorvane {

// Receives the output lines of a run, in order; an empty line separates records.
class LineSink {
 public:
  virtual ~LineSink() = default;
  virtual void Line(std::string_view line) = 0;
};

// The line-by-line form, on the calling thread: feed the source lines one by one (as the
// editor pane holds them, after the TAB rule), then call Finish(). Only the DN keys and the
// record being collected are kept between lines, so memory is bounded by the number of
// distinct DNs, not by the size of the book. A record's output reaches the sink when the next
// record starts; Finish() delivers the last one. An exception from the sink or the log comes
// out of AddLine or Finish. TextRepair (engine/text_repair.h) repairs a whole text the same
// way on every core.
class RepairRun {
 public:
  // `usedDNs` is cleared at the start; `log` may be null. All references must outlive the run.
  RepairRun(std::string_view baseDN, const TransformMap& map, UsedDNs& usedDNs,
            RandomSource& random, Log* log, LineSink& out);
  ~RepairRun();
  RepairRun(const RepairRun&) = delete;
  RepairRun& operator=(const RepairRun&) = delete;

  void AddLine(std::string_view sourceLine);
  // The same for a line known to hold no CR, LF or NUL, as LineSplitter hands them on: it
  // skips the search for line breaks.
  void AddSplitLine(std::string_view sourceLine);
  // Repairs the last record and flushes everything to the sink.
  void Finish();

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
