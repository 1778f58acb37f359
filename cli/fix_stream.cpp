// Streaming a book through the repair run: chunked input, CR LF output, messages to stderr.
#include "cli/fix_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/error.h"
#include "engine/repair_run.h"
#include "engine/used_dns.h"

namespace quorvane {
namespace {

constexpr std::size_t kWriteBlock = 1 << 20;
constexpr std::size_t kReadBlock = 1 << 20;
// Output at least this large goes out as it is: the run hands on pieces of some tens of
// kilobytes, and copying them into the block cost more than the write calls it saved.
constexpr std::size_t kWriteAsItIs = 16 * 1024;

}  // namespace

InputFile::InputFile(const std::string& name) {
  if (name == "-") {
    fd_ = STDIN_FILENO;
    displayName_ = "standard input";
    return;
  }
  displayName_ = FullPath(name);
  fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    throw Error("Cannot open file \"" + displayName_ + "\". " + SystemReason(errno));
  }
  owned_ = true;
  struct stat info {};
  if (::fstat(fd_, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd_);
    owned_ = false;
    throw Error("Cannot open file \"" + displayName_ + "\". " + SystemReason(EISDIR));
  }
}

InputFile::~InputFile() {
  if (owned_) ::close(fd_);
}

std::size_t InputFile::Read(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t got = ::read(fd_, buffer, size);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno == EINTR) continue;
    const int error = errno;
    if (owned_) throw Error("Cannot read file \"" + displayName_ + "\". " + SystemReason(error));
    throw Error("Cannot read " + displayName_ + ". " + SystemReason(error));
  }
}

BlockTextSink::BlockTextSink(const ByteWriter& write)
    : write_(write), block_(kWriteBlock, '\0') {}

void BlockTextSink::Text(std::string_view lines) {
  if (lines.size() >= kWriteAsItIs) {
    Flush();  // what came before goes first
    write_(lines);
    return;
  }
  if (block_.size() - used_ < lines.size()) Flush();
  std::memcpy(block_.data() + used_, lines.data(), lines.size());
  used_ += lines.size();
}

void BlockTextSink::Flush() {
  if (used_ == 0) return;
  write_(std::string_view(block_.data(), used_));
  used_ = 0;
}

void StandardErrorLog::Write(std::string_view text, int level, std::size_t line) {
  if (level <= kLogProgress) return;
  std::string message;
  if (line > 0) message = "line " + std::to_string(line) + ": ";
  message.append(text);
  message.push_back('\n');
  std::fwrite(message.data(), 1, message.size(), stderr);
}

RepairCounts RepairStream(InputFile& input, std::string_view baseDN, const TransformMap& map,
                          RandomSource& random, Log* log, const ByteWriter& write) {
  // Every line goes out followed by CR LF, as the window saves it.
  struct CrLfLines : LineSink {
    explicit CrLfLines(BlockTextSink& out) : sink(out) {}
    void Line(std::string_view line) override {
      sink.Text(line);
      sink.Text("\r\n");
    }
    BlockTextSink& sink;
  };
  BlockTextSink sink(write);
  CrLfLines lines(sink);
  UsedDNs usedDNs;
  RepairRun run(baseDN, map, usedDNs, random, log, lines);
  std::string buffer(kReadBlock, '\0');
  while (!run.Stopped()) {
    const std::size_t got = input.Read(buffer.data(), buffer.size());
    if (got == 0) break;
    run.AddText(std::string_view(buffer.data(), got));
  }
  run.Finish();
  sink.Flush();
  // The window stops loading at a NUL byte too; say so, since the rest of the book is lost.
  if (run.Stopped() && log != nullptr) {
    const std::string where = input.DisplayName() == "standard input"
                                  ? input.DisplayName()
                                  : "\"" + input.DisplayName() + "\"";
    log->Write("004: NUL byte in " + where + "; the rest of the file was not read", kLogError,
               run.StopLine());
  }
  return run.Counts();
}

void WriteToStandardOutput(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      throw Error("Cannot write to standard output. " + SystemReason(written < 0 ? errno : EIO));
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace quorvane
