// Streaming a book through the repair run: chunked input, CR LF output, messages to stderr.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/log.h"
#include "engine/random_source.h"
#include "engine/repair_counts.h"
#include "engine/repair_run.h"
#include "engine/transform_map.h"
#include "engine/used_dns.h"
#include "platform/file_io.h"

namespace quorvane {


// Writes level > 0 messages to standard error as "line N: TEXT" (N: the record's first line).
class StandardErrorLog : public Log {
 public:
  void Write(std::string_view text, int level, std::size_t line) override;
};

// Reads `input` to its end (or its first NUL byte) with the line rules of the editor pane,
// repairs it record by record into `usedDNs` (cleared first), checking the records against
// `schema`, and hands the CR LF output to `write` in blocks (BufferedWriter). Returns what the
// run did.
RepairCounts RepairStream(FileReader& input, std::string_view baseDN, const TransformMap& map,
                          UsedDNs& usedDNs, RandomSource& random, Log* log,
                          const SchemaStep& schema, const ByteWriter& write);

// Writes all of `bytes` to standard output; throws Error with the system's reason.
void WriteToStandardOutput(std::string_view bytes);

}  // namespace quorvane
