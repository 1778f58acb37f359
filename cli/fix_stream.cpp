// Streaming a book through the repair run: chunked input, CR LF output, messages to stderr.
#include "cli/fix_stream.h"

#include <unistd.h>

#include <cstdio>

#include "engine/error.h"
#include "engine/used_dns.h"

namespace quorvane {
namespace {

// Hands the run's output to the one buffered writer.
class WriterSink : public TextSink {
 public:
  explicit WriterSink(BufferedWriter& out) : out_(out) {}
  void Text(std::string_view lines) override { out_.Write(lines); }

 private:
  BufferedWriter& out_;
};

}  // namespace

void StandardErrorLog::Write(std::string_view text, int level, std::size_t line) {
  if (level <= kLogProgress) return;
  std::string message;
  if (line > 0) message = "line " + std::to_string(line) + ": ";
  message.append(text);
  message.push_back('\n');
  std::fwrite(message.data(), 1, message.size(), stderr);
}

void RepairStream(InputFile& input, std::string_view baseDN, const TransformMap& map,
                  RandomSource& random, Log* log, const ByteWriter& write) {
  BufferedWriter out(write);
  WriterSink sink(out);
  UsedDNs usedDNs;
  TextRepair run(baseDN, map, usedDNs, random, log, sink, "\r\n", TextLines::kFile);
  run.Run([&input](char* buffer, std::size_t size) { return input.Read(buffer, size); });
  out.Flush();
  // The window stops loading at a NUL byte too; say so, since the rest of the book is lost.
  if (run.Stopped() && log != nullptr) {
    const std::string where =
        input.IsStandardInput() ? input.DisplayName() : "\"" + input.DisplayName() + "\"";
    log->Write("004: NUL byte in " + where + "; the rest of the file was not read", kLogError,
               run.StopLine());
  }
}

void WriteToStandardOutput(std::string_view bytes) {
  if (const int error = WriteToDescriptor(STDOUT_FILENO, bytes)) {
    throw Error("Cannot write to standard output. " + SystemReason(error));
  }
}

}  // namespace quorvane
