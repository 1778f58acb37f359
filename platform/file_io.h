// The one file reader and the one buffered writer, and safe replacement of files.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// The system's description of `errnoValue` without trailing blanks or full stop.
std::string SystemReason(int errnoValue);

// `fileName` made absolute against the current directory, as messages name a file.
std::string FullPath(const std::string& fileName);

// A file read from start to end in pieces: a named file, or standard input for "-". Opening
// creates and changes nothing, so a bad input is reported before any output is touched.
class FileReader {
 public:
  // Throws quorvane::Error(`Cannot open file "FULLPATH". REASON`), also for a directory.
  explicit FileReader(const std::string& fileName);
  ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // Up to `size` bytes, every byte as it is in the file (NUL included); 0 at the end. Throws
  // quorvane::Error(`Cannot read file "FULLPATH". REASON`, or `Cannot read standard input.
  // REASON`).
  std::size_t Read(char* buffer, std::size_t size);
  // The size a regular file had when it was opened; 0 for standard input, pipes and devices.
  std::size_t SizeHint() const { return sizeHint_; }
  // The full path, or "standard input".
  const std::string& DisplayName() const { return displayName_; }
  bool IsStandardInput() const { return !owned_; }

 private:
  int fd_ = -1;
  bool owned_ = false;  // false for standard input, which stays open
  std::size_t sizeHint_ = 0;
  std::string displayName_;
};

// The whole of a file (or of standard input for "-") through FileReader, with its messages.
std::string ReadWholeFile(const std::string& fileName);

// Receives bytes in order; throws quorvane::Error when they cannot be written.
using ByteWriter = std::function<void(std::string_view bytes)>;

// Gathers small pieces into blocks of at most `blockSize` bytes for `sink`, so that a text
// written a line at a time does not cost a system call per line; a piece of at least that
// size goes on as it is, after what was gathered before it. Flush() hands on the rest and
// must end every complete write: what a writer still holds when it is destroyed is dropped,
// because a write that failed part-way must not go on.
class BufferedWriter {
 public:
  // Large enough that the system calls cost next to nothing, small enough to stay in the
  // processor's cache until written.
  static constexpr std::size_t kBlockSize = std::size_t{64} << 10;

  explicit BufferedWriter(ByteWriter sink, std::size_t blockSize = kBlockSize);
  void Write(std::string_view bytes) {
    if (bytes.size() < blockSize_ && used_ + bytes.size() <= blockSize_) {
      std::copy(bytes.begin(), bytes.end(), block_.data() + used_);
      used_ += bytes.size();
    } else {
      WriteThrough(bytes);
    }
  }
  void Flush();

 private:
  void WriteThrough(std::string_view bytes);

  ByteWriter sink_;
  std::size_t blockSize_;
  std::vector<char> block_;  // blockSize_ bytes, the first used_ of them gathered
  std::size_t used_ = 0;
};

// Writes all of `bytes` to the descriptor; 0 when done, else the errno value of the failure.
int WriteToDescriptor(int fd, std::string_view bytes);

// Writes a file so that a failure part-way never damages an existing one: a new or regular
// file is written to a temporary file in the same directory that is then renamed over it; an
// existing file that is not a regular file (a device, a pipe) is written directly and never
// replaced; "/dev/stdout", "/dev/stderr" and "/dev/fd/N" write to the descriptor the process
// already holds, so output redirected by the shell stays as the shell opened it. `write` is
// called with a ByteWriter that writes each piece through at once: a caller handing over
// small pieces puts a BufferedWriter in front of it. Throws quorvane::Error: `Cannot create
// file "NAME". REASON` (NAME being the full path) when the file cannot be created, "Stream
// write error" (with the name and reason appended after ": ") when writing fails part-way.
void WriteFileSafely(const std::string& fileName, const std::function<void(const ByteWriter&)>& write);

// Creates every missing directory of `directory`; false when that is impossible.
bool CreateDirectories(const std::string& directory);

}  // namespace quorvane
