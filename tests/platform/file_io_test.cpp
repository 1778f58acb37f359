// Tests of whole-file reading and safe replacement: messages, devices, and files left intact.
#include "platform/file_io.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "engine/error.h"
#include "tests/support/scratch_dir_test.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;

class FileIoTest : public ScratchDirTest {
 protected:
  static void WriteText(const std::string& path, const std::string& bytes) {
    WriteFileSafely(path, [&](const ByteWriter& out) { out(bytes); });
  }

  // The names in the directory, so a test can see that no temporary file stayed behind.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& error) {
    return error.what();
  }
  return "(no error)";
}

TEST(SystemReason, HasNoTrailingFullStopOrBlanks) {
  EXPECT_EQ(SystemReason(ENOENT), "No such file or directory");
  EXPECT_EQ(SystemReason(EISDIR), "Is a directory");
  EXPECT_EQ(SystemReason(ENOSPC), "No space left on device");
}

TEST_F(FileIoTest, ReadsEveryByteBack) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  bytes += std::string(3 << 20, 'x');  // larger than one read
  Put(Path("all.bin"), bytes);
  EXPECT_EQ(ReadWholeFile(Path("all.bin")), bytes);
  Put(Path("empty"), "");
  EXPECT_EQ(ReadWholeFile(Path("empty")), "");
}

TEST_F(FileIoTest, ReadFailuresNameTheFullPathAndReason) {
  EXPECT_EQ(MessageOf([&] { ReadWholeFile(Path("missing.ldif")); }),
            "Cannot open file \"" + Path("missing.ldif") + "\". No such file or directory");
  EXPECT_EQ(MessageOf([&] { ReadWholeFile(dir_.string()); }),
            "Cannot open file \"" + dir_.string() + "\". Is a directory");

  // A relative name is reported with the directory it was looked up in.
  fs::path previous = fs::current_path();
  fs::current_path(dir_);
  std::string message = MessageOf([] { ReadWholeFile("nothing here.txt"); });
  fs::current_path(previous);
  EXPECT_EQ(message, "Cannot open file \"" + Path("nothing here.txt") +
                         "\". No such file or directory");
}

TEST_F(FileIoTest, WritesNewFileAndReplacesOldOneKeepingPermissions) {
  WriteFileSafely(Path("out.ldif"), [](const ByteWriter& out) {
    for (int i = 0; i < 200000; ++i) out("line\r\n");
  });
  EXPECT_EQ(fs::file_size(Path("out.ldif")), 200000u * 6);

  Put(Path("old.ldif"), "old content that is longer than the new one");
  ::chmod(Path("old.ldif").c_str(), 0640);
  WriteText(Path("old.ldif"), "new");
  EXPECT_EQ(ReadWholeFile(Path("old.ldif")), "new");
  struct stat info {};
  ASSERT_EQ(::stat(Path("old.ldif").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"old.ldif", "out.ldif"}));
}

TEST_F(FileIoTest, WritingThroughSymbolicLinkKeepsTheLink) {
  Put(Path("real.ini"), "old");
  fs::create_symlink(Path("real.ini"), Path("link.ini"));
  WriteText(Path("link.ini"), "new");
  EXPECT_TRUE(fs::is_symlink(Path("link.ini")));
  EXPECT_EQ(ReadWholeFile(Path("real.ini")), "new");
}

TEST_F(FileIoTest, FailedWriteLeavesOldFileAndNoTemporaryFile) {
  Put(Path("keep.ldif"), "precious");
  std::string message = MessageOf([&] {
    WriteFileSafely(Path("keep.ldif"), [](const ByteWriter& out) {
      out("half of it");
      throw Error("interrupted");
    });
  });
  EXPECT_EQ(message, "interrupted");
  EXPECT_EQ(ReadWholeFile(Path("keep.ldif")), "precious");
  EXPECT_EQ(Entries(), std::vector<std::string>{"keep.ldif"});
}

TEST_F(FileIoTest, CreateFailuresNameTheFileAndReason) {
  Put(Path("plain"), "x");
  fs::create_directory(Path("folder"));
  struct Case {
    std::string target;
    std::string reason;
  } cases[] = {
      {Path("folder"), "Is a directory"},
      {Path("missing/out.ldif"), "No such file or directory"},
      {Path("plain/out.ldif"), "Not a directory"},
  };
  for (const Case& c : cases) {
    bool called = false;
    std::string message = MessageOf([&] {
      WriteFileSafely(c.target, [&](const ByteWriter&) { called = true; });
    });
    EXPECT_EQ(message, "Cannot create file \"" + c.target + "\". " + c.reason) << c.target;
    EXPECT_FALSE(called) << c.target;
  }
  EXPECT_EQ(ReadWholeFile(Path("plain")), "x");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"folder", "plain"}));
}

TEST_F(FileIoTest, FullDeviceGivesStreamWriteErrorAndStaysADevice) {
  struct stat info {};
  if (::stat("/dev/full", &info) != 0 || !S_ISCHR(info.st_mode)) GTEST_SKIP() << "no /dev/full";
  // Small and large writes alike: the small one fails only when the buffer is flushed.
  for (std::size_t size : {std::size_t{5}, std::size_t{5} << 20}) {
    std::string message = MessageOf([&] { WriteText("/dev/full", std::string(size, 'x')); });
    EXPECT_EQ(message, "Stream write error: /dev/full: No space left on device");
  }
  ASSERT_EQ(::stat("/dev/full", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));
}

TEST_F(FileIoTest, PipeIsWrittenInPlace) {
  ASSERT_EQ(::mkfifo(Path("pipe").c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] { received = ReadWholeFile(Path("pipe")); });
  WriteText(Path("pipe"), "through the pipe");
  reader.join();
  EXPECT_EQ(received, "through the pipe");
  EXPECT_TRUE(fs::is_fifo(Path("pipe")));
}

TEST_F(FileIoTest, InheritedDescriptorIsWrittenAsTheShellOpenedIt) {
  // As with `quorvane-fix --output /dev/stdout >> log`: appended, and the file not replaced.
  Put(Path("log"), "earlier\n");
  int fd = ::open(Path("log").c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(fd, 0);
  struct stat before {}, after {};
  ::stat(Path("log").c_str(), &before);
  WriteText("/dev/fd/" + std::to_string(fd), "appended\n");
  ::close(fd);
  ::stat(Path("log").c_str(), &after);
  EXPECT_EQ(ReadWholeFile(Path("log")), "earlier\nappended\n");
  EXPECT_EQ(before.st_ino, after.st_ino);

  EXPECT_EQ(MessageOf([] { WriteText("/dev/fd/987", "x"); }),
            "Cannot create file \"/dev/fd/987\". No such file or directory");
}

TEST_F(FileIoTest, CreateDirectoriesMakesEveryLevel) {
  EXPECT_TRUE(CreateDirectories(Path("a/b/c")));
  EXPECT_TRUE(fs::is_directory(Path("a/b/c")));
  EXPECT_TRUE(CreateDirectories(Path("a/b/c")));  // already there
  Put(Path("file"), "");
  EXPECT_FALSE(CreateDirectories(Path("file/sub")));
  EXPECT_FALSE(CreateDirectories(Path("file")));
}

}  // namespace
}  // namespace quorvane
