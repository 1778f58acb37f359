// Streaming a book through the repair run: chunked input, CR LF output, messages to stderr.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/log.h"
#include "engine/random_source.h"
#include "engine/repair_counts.h"
#include "engine/transform_map.h"
#include "platform/file_io.h"

namespace quorvane {

// The book being repaired: a file, or standard input for "-". Opening never creates or
// changes anything, so a bad input is reported before any output file is touched.
class InputFile {
 public:
  // Throws Error(`Cannot open file "PATH". REASON`), also for a directory.
  explicit InputFile(const std::string& name);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Up to `size` bytes; 0 at the end. Throws Error naming the file when reading fails.
  std::size_t Read(char* buffer, std::size_t size);
  // The full path, or "standard input".
  const std::string& DisplayName() const { return displayName_; }

 private:
  int fd_ = 0;
  bool owned_ = false;
  std::string displayName_;  // the full path, or "standard input"
};

// Hands the run's output on in large blocks: small pieces are gathered, so that they do not
// cost a write each, and a piece of some kilobytes goes on as it is, after them.
class BlockTextSink {
 public:
  explicit BlockTextSink(const ByteWriter& write);
  void Text(std::string_view lines);
  void Flush();

 private:
  const ByteWriter& write_;
  std::string block_;  // sized once
  std::size_t used_ = 0;
};

// Writes level > 0 messages to standard error as "line N: TEXT" (N: the record's first line).
class StandardErrorLog : public Log {
 public:
  void Write(std::string_view text, int level, std::size_t line) override;
};

// Reads `input` to its end (or its first NUL byte) with the line rules of the editor pane,
// repairs it record by record and hands the CR LF output to `write`. Returns what the run did.
RepairCounts RepairStream(InputFile& input, std::string_view baseDN, const TransformMap& map,
                  RandomSource& random, Log* log, const ByteWriter& write);

// Writes all of `bytes` to standard output; throws Error with the system's reason.
void WriteToStandardOutput(std::string_view bytes);

}  // namespace quorvane
