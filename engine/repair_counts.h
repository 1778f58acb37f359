// What one repair run did, counted as it ran, and the summary line both front ends show.
#pragma once

#include <cstddef>
#include <string>

namespace quorvane {

struct RepairCounts {
  std::size_t recordsRead = 0;     // records found in the source
  std::size_t recordsWritten = 0;  // records with at least one line in the result
  std::size_t madeUnique = 0;      // records whose DN collided and was given a new one
  // Records that no directory accepts: reported as having no or an empty DN, as a list
  // without members, or with a Base64 DN that does not decode.
  std::size_t notImportable = 0;
  // Values (lines) the schema step left out, and those it rewrote to fit the schema.
  std::size_t valuesDropped = 0;
  std::size_t valuesRepaired = 0;
};

// "Fixed 2,000 records (2,000 written): 37 DNs made unique, 4 records no directory accepts,
// 43 values dropped, 2 repaired (see log)"; the values only where they are not zero; numbers
// with a comma between thousands.
std::string SummaryLine(const RepairCounts& counts);

}  // namespace quorvane
