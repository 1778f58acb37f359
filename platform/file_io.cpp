// The one file reader and the one buffered writer, and safe replacement of files.
#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <utility>

#include "engine/error.h"

namespace quorvane {

namespace {

namespace fs = std::filesystem;

// ReadWholeFile's first buffer when the size of what it reads is not known.
constexpr std::size_t kFirstReadBuffer = std::size_t{1} << 16;

// Repeats a read(2) or write(2) that a signal interrupted before it moved any byte.
template <class Call>
ssize_t RetryInterrupted(Call call) {
  for (;;) {
    const ssize_t n = call();
    if (n >= 0 || errno != EINTR) return n;
  }
}

[[noreturn]] void ThrowCannotOpen(const std::string& fileName, int errnoValue) {
  throw Error("Cannot open file \"" + FullPath(fileName) + "\". " + SystemReason(errnoValue));
}

[[noreturn]] void ThrowCannotCreate(const std::string& fileName, int errnoValue) {
  throw Error("Cannot create file \"" + FullPath(fileName) + "\". " + SystemReason(errnoValue));
}

[[noreturn]] void ThrowWriteError(const std::string& fileName, int errnoValue) {
  throw Error("Stream write error: " + FullPath(fileName) + ": " + SystemReason(errnoValue));
}

// Closes the descriptor on every path out of a scope unless it was handed over.
class FdGuard {
 public:
  explicit FdGuard(int fd) : fd_(fd) {}
  FdGuard(const FdGuard&) = delete;
  FdGuard& operator=(const FdGuard&) = delete;
  ~FdGuard() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Closes now and reports the result: close() is where some file systems report a failed
  // write, so it must be checked before the file counts as written.
  int Close() {
    int fd = fd_;
    fd_ = -1;
    return ::close(fd);
  }

 private:
  int fd_;
};

// Removes the temporary file unless the rename succeeded.
class TempFileGuard {
 public:
  explicit TempFileGuard(std::string path) : path_(std::move(path)) {}
  TempFileGuard(const TempFileGuard&) = delete;
  TempFileGuard& operator=(const TempFileGuard&) = delete;
  ~TempFileGuard() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  void Release() { path_.clear(); }

 private:
  std::string path_;
};

void WriteThrough(int fd, const std::string& fileName,
                  const std::function<void(const ByteWriter&)>& write) {
  write([fd, &fileName](std::string_view bytes) {
    if (const int error = WriteToDescriptor(fd, bytes)) ThrowWriteError(fileName, error);
  });
}

// A device or a pipe: written in place, since replacing it would destroy the node.
void WriteDirectly(const std::string& fileName,
                   const std::function<void(const ByteWriter&)>& write) {
  FdGuard fd(::open(fileName.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) ThrowCannotCreate(fileName, errno);
  WriteThrough(fd.get(), fileName, write);
  if (fd.Close() != 0) ThrowWriteError(fileName, errno);
}

// The standard streams and inherited descriptors by their device names: written through the
// descriptor the process already holds, so that output redirected by the shell (appending
// included) goes where the shell sent it and is never replaced by a new file.
std::optional<int> InheritedDescriptor(const std::string& fileName) {
  if (fileName == "/dev/stdout") return STDOUT_FILENO;
  if (fileName == "/dev/stderr") return STDERR_FILENO;
  for (std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    if (!fileName.starts_with(prefix)) continue;
    std::string_view digits = std::string_view(fileName).substr(prefix.size());
    int fd = -1;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), fd);
    if (error == std::errc() && end == digits.data() + digits.size() && fd >= 0) return fd;
  }
  return std::nullopt;
}

void WriteToInherited(int inherited, const std::string& fileName,
                      const std::function<void(const ByteWriter&)>& write) {
  FdGuard fd(::fcntl(inherited, F_DUPFD_CLOEXEC, 0));
  if (fd.get() < 0) ThrowCannotCreate(fileName, errno == EBADF ? ENOENT : errno);
  WriteThrough(fd.get(), fileName, write);
  if (fd.Close() != 0) ThrowWriteError(fileName, errno);
}

// Creates a new file beside `target` under a name nobody else uses; the caller renames it.
int CreateTempBeside(const fs::path& target, std::string& tempName) {
  fs::path directory = target.parent_path();
  std::string prefix = (directory.empty() ? std::string() : directory.string() + "/") + "." +
                       target.filename().string() + ".";
  std::random_device device;
  std::mt19937 generator(device() ^ static_cast<unsigned>(::getpid()));
  static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = prefix;
    for (int i = 0; i < 8; ++i) name += kAlphabet[generator() % (sizeof kAlphabet - 1)];
    // 0666 so that a new file gets the permissions the user's umask gives any new file.
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd >= 0 || errno != EEXIST) {
      tempName = name;
      return fd;
    }
  }
  errno = EEXIST;
  return -1;
}

void SyncDirectory(const fs::path& target) {
  fs::path directory = target.parent_path();
  int fd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);  // best effort: the rename is already done and visible
    ::close(fd);
  }
}

// A new or regular file: written beside the target and renamed over it, so that a failure
// part-way leaves the previous content whole.
void WriteReplacing(const std::string& fileName, const fs::path& target, const struct stat* old,
                    const std::function<void(const ByteWriter&)>& write) {
  std::string tempName;
  FdGuard fd(CreateTempBeside(target, tempName));
  if (fd.get() < 0) ThrowCannotCreate(fileName, errno);
  TempFileGuard temp(tempName);

  if (old) {
    // Keep the replaced file's permissions (and, where allowed, its owner).
    ::fchmod(fd.get(), old->st_mode & 07777);
    if (::fchown(fd.get(), old->st_uid, old->st_gid) != 0) {
      // Only a privileged process may give a file away; the permissions are what matter.
    }
  }
  WriteThrough(fd.get(), fileName, write);
  if (::fsync(fd.get()) != 0) ThrowWriteError(fileName, errno);
  if (fd.Close() != 0) ThrowWriteError(fileName, errno);
  if (::rename(tempName.c_str(), target.c_str()) != 0) ThrowCannotCreate(fileName, errno);
  temp.Release();
  SyncDirectory(target);
}

}  // namespace

std::string SystemReason(int errnoValue) {
  std::string reason = std::strerror(errnoValue);
  while (!reason.empty() &&
         (reason.back() == '.' || static_cast<unsigned char>(reason.back()) <= 32)) {
    reason.pop_back();
  }
  return reason;
}

std::string FullPath(const std::string& fileName) {
  std::error_code error;
  fs::path full = fs::absolute(fs::path(fileName), error);
  if (error) return fileName;
  return full.lexically_normal().string();
}

FileReader::FileReader(const std::string& fileName) {
  if (fileName == "-") {
    fd_ = STDIN_FILENO;
    displayName_ = "standard input";
    return;
  }
  displayName_ = FullPath(fileName);
  fd_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd_ < 0) ThrowCannotOpen(fileName, errno);
  owned_ = true;
  struct stat info {};
  const int error = ::fstat(fd_, &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : 0;
  if (error != 0) {
    ::close(fd_);
    ThrowCannotOpen(fileName, error);
  }
  if (S_ISREG(info.st_mode)) sizeHint_ = static_cast<std::size_t>(info.st_size);
}

FileReader::~FileReader() {
  if (owned_) ::close(fd_);
}

std::size_t FileReader::Read(char* buffer, std::size_t size) {
  const ssize_t got = RetryInterrupted([&] { return ::read(fd_, buffer, size); });
  if (got >= 0) return static_cast<std::size_t>(got);
  const int error = errno;
  const std::string where = owned_ ? "file \"" + displayName_ + "\"" : displayName_;
  throw Error("Cannot read " + where + ". " + SystemReason(error));
}

std::string ReadWholeFile(const std::string& fileName) {
  FileReader reader(fileName);
  // Room for the whole of a regular file and one byte more, so that the read that finds the
  // end needs no growth; pipes and devices grow the buffer as they deliver.
  std::string bytes(std::max(reader.SizeHint() + 1, kFirstReadBuffer), '\0');
  std::size_t used = 0;
  for (;;) {
    if (used == bytes.size()) bytes.resize(bytes.size() * 2);
    const std::size_t got = reader.Read(bytes.data() + used, bytes.size() - used);
    if (got == 0) break;
    used += got;
  }
  bytes.resize(used);
  return bytes;
}

BufferedWriter::BufferedWriter(ByteWriter sink, std::size_t blockSize)
    : sink_(std::move(sink)), blockSize_(blockSize), block_(blockSize) {}

// A piece that does not fit in the block: what was gathered goes first.
void BufferedWriter::WriteThrough(std::string_view bytes) {
  if (used_ + bytes.size() > blockSize_) Flush();
  if (bytes.size() >= blockSize_) {
    sink_(bytes);  // as large as a block already: copying it would gain nothing
  } else {
    std::copy(bytes.begin(), bytes.end(), block_.data() + used_);
    used_ += bytes.size();
  }
}

void BufferedWriter::Flush() {
  if (used_ == 0) return;
  sink_(std::string_view(block_.data(), used_));
  used_ = 0;
}

int WriteToDescriptor(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = RetryInterrupted([&] { return ::write(fd, bytes.data(), bytes.size()); });
    if (n < 0) return errno;
    if (n == 0) return EIO;  // no progress and no reason: retrying could loop for ever
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

void WriteFileSafely(const std::string& fileName,
                     const std::function<void(const ByteWriter&)>& write) {
  if (fileName.empty()) ThrowCannotCreate(fileName, ENOENT);
  if (std::optional<int> fd = InheritedDescriptor(fileName)) {
    WriteToInherited(*fd, fileName, write);
    return;
  }
  struct stat info {};
  bool exists = ::stat(fileName.c_str(), &info) == 0;
  if (!exists && errno != ENOENT) ThrowCannotCreate(fileName, errno);
  if (exists && S_ISDIR(info.st_mode)) ThrowCannotCreate(fileName, EISDIR);
  if (exists && !S_ISREG(info.st_mode)) {
    WriteDirectly(fileName, write);
    return;
  }

  // A symbolic link to a file stays a link: the file it names is the one replaced.
  fs::path target(fileName);
  if (exists) {
    std::error_code error;
    fs::path resolved = fs::canonical(target, error);
    if (!error) target = resolved;
  }
  WriteReplacing(fileName, target, exists ? &info : nullptr, write);
}

bool CreateDirectories(const std::string& directory) {
  std::error_code error;
  fs::create_directories(fs::path(directory), error);
  return fs::is_directory(fs::path(directory), error);
}

}  // namespace quorvane
