// The summary line of a repair run.
#include "engine/repair_counts.h"

namespace quorvane {
namespace {

std::string Grouped(std::size_t number) {
  const std::string digits = std::to_string(number);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped.push_back(',');
    grouped.push_back(digits[i]);
  }
  return grouped;
}

std::string Counted(std::size_t number, const char* one, const char* many) {
  return Grouped(number) + " " + (number == 1 ? one : many);
}

}  // namespace

std::string SummaryLine(const RepairCounts& counts) {
  std::string line = "Fixed " + Counted(counts.recordsRead, "record", "records") + " (" +
                     Grouped(counts.recordsWritten) + " written): " +
                     Counted(counts.madeUnique, "DN", "DNs") + " made unique, " +
                     Counted(counts.notImportable, "record", "records") +
                     " no directory accepts";
  if (counts.valuesDropped > 0) {
    line += ", " + Counted(counts.valuesDropped, "value", "values") + " dropped";
  }
  if (counts.valuesRepaired > 0) {
    line += ", " + Grouped(counts.valuesRepaired) + (counts.valuesDropped > 0 ? "" :
                                                     counts.valuesRepaired == 1 ? " value" : " values") +
            " repaired";
  }
  if (counts.notImportable > 0 || counts.valuesDropped > 0 || counts.valuesRepaired > 0) {
    line += " (see log)";
  }
  return line;
}

}  // namespace quorvane
