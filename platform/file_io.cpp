// Reading whole files and replacing files safely, with messages that name the file and the reason.
#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <optional>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>

#include "engine/error.h"

namespace quorvane {

namespace {

namespace fs = std::filesystem;

// Writes are gathered into blocks of this size: callers hand over one line at a time, and a
// book of millions of lines must not cost a system call per line.
constexpr std::size_t kWriteBlock = std::size_t{1} << 20;

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

// Hands the caller's bytes to write(2) in large blocks; any failure throws the write error.
class BlockWriter {
 public:
  BlockWriter(int fd, const std::string& fileName) : fd_(fd), fileName_(fileName) {
    buffer_.reserve(kWriteBlock);
  }

  void Append(std::string_view bytes) {
    if (buffer_.size() + bytes.size() > kWriteBlock) {
      Flush();
      if (bytes.size() >= kWriteBlock) {
        WriteAll(bytes);
        return;
      }
    }
    buffer_.append(bytes);
  }

  void Flush() {
    WriteAll(buffer_);
    buffer_.clear();
  }

 private:
  void WriteAll(std::string_view bytes) {
    while (!bytes.empty()) {
      ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        ThrowWriteError(fileName_, errno);
      }
      if (n == 0) ThrowWriteError(fileName_, ENOSPC);
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
  }

  int fd_;
  const std::string& fileName_;
  std::string buffer_;
};

void WriteThrough(int fd, const std::string& fileName,
                  const std::function<void(const ByteWriter&)>& write) {
  BlockWriter writer(fd, fileName);
  write([&writer](std::string_view bytes) { writer.Append(bytes); });
  writer.Flush();
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

void WriteToDescriptor(int inherited, const std::string& fileName,
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

std::string ReadWholeFile(const std::string& fileName) {
  FdGuard fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) ThrowCannotOpen(fileName, errno);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) ThrowCannotOpen(fileName, errno);
  if (S_ISDIR(info.st_mode)) ThrowCannotOpen(fileName, EISDIR);

  // Room for the whole of a regular file and one byte more, so that the read that finds the
  // end needs no growth; pipes and devices grow the buffer as they deliver.
  std::string bytes;
  std::size_t expected = S_ISREG(info.st_mode) ? static_cast<std::size_t>(info.st_size) + 1 : 0;
  bytes.resize(std::max<std::size_t>(expected, std::size_t{1} << 16));
  std::size_t used = 0;
  for (;;) {
    if (used == bytes.size()) bytes.resize(bytes.size() * 2);
    ssize_t n = ::read(fd.get(), bytes.data() + used, bytes.size() - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowCannotOpen(fileName, errno);
    }
    if (n == 0) break;
    used += static_cast<std::size_t>(n);
  }
  bytes.resize(used);
  if (bytes.capacity() - used > (std::size_t{1} << 20) + used / 4) bytes.shrink_to_fit();
  return bytes;
}

void WriteFileSafely(const std::string& fileName,
                     const std::function<void(const ByteWriter&)>& write) {
  if (fileName.empty()) ThrowCannotCreate(fileName, ENOENT);
  if (std::optional<int> fd = InheritedDescriptor(fileName)) {
    WriteToDescriptor(*fd, fileName, write);
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
