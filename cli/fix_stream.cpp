// Streaming a book through the repair run: chunked input, CR LF output, messages to stderr.
#include "cli/fix_stream.h"

#include <unistd.h>

#include <cstdio>

#include "engine/error.h"
#include "engine/repair_run.h"
#include "engine/used_dns.h"

namespace quorvane {
namespace {

// Blocks this small stay in the processor's cache from the read until they are split.
constexpr std::size_t kReadBlock = std::size_t{64} << 10;

}  // namespace

void StandardErrorLog::Write(std::string_view text, int level, std::size_t line) {
  if (level <= kLogProgress) return;
  std::string message;
  if (line > 0) message = "line " + std::to_string(line) + ": ";
  message.append(text);
  message.push_back('\n');
  std::fwrite(message.data(), 1, message.size(), stderr);
}

RepairCounts RepairStream(FileReader& input, std::string_view baseDN, const TransformMap& map,
                          UsedDNs& usedDNs, RandomSource& random, Log* log,
                          const SchemaStep& schema, const ByteWriter& write) {
  // Every line goes out followed by CR LF, as the window saves it.
  struct CrLfLines : LineSink {
    explicit CrLfLines(BufferedWriter& writer) : out(writer) {}
    void Line(std::string_view line) override {
      out.Write(line);
      out.Write("\r\n");
    }
    BufferedWriter& out;
  };
  BufferedWriter out(write);
  CrLfLines lines(out);
  RepairRun run(baseDN, map, usedDNs, random, log, lines, schema);
  usedDNs.ReserveFor(input.SizeHint());
  std::string buffer(kReadBlock, '\0');
  while (!run.Stopped()) {
    const std::size_t got = input.Read(buffer.data(), buffer.size());
    if (got == 0) break;
    run.AddText(std::string_view(buffer.data(), got));
  }
  run.Finish();
  out.Flush();
  // The window stops loading at a NUL byte too; say so, since the rest of the book is lost.
  if (run.Stopped() && log != nullptr) {
    const std::string where =
        input.IsStandardInput() ? input.DisplayName() : "\"" + input.DisplayName() + "\"";
    log->Write("004: NUL byte in " + where + "; the rest of the file was not read", kLogError,
               run.StopLine());
  }
  return run.Counts();
}

void WriteToStandardOutput(std::string_view bytes) {
  if (const int error = WriteToDescriptor(STDOUT_FILENO, bytes)) {
    throw Error("Cannot write to standard output. " + SystemReason(error));
  }
}

}  // namespace quorvane
