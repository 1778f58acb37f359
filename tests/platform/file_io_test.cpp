// Tests of the file reader, the buffered writer and safe replacement: messages, devices, and
// files left intact.
#include "platform/file_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/error.h"
#include "engine/text_lines.h"
#include "tests/support/file_size_limit.h"
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
  WriteFileSafely(Path("out.ldif"), [](const ByteWriter& write) {
    BufferedWriter out(write);
    for (int i = 0; i < 200000; ++i) out.Write("line\r\n");
    out.Flush();
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
  // Small and large pieces alike: the small one fails only when the buffer is flushed.
  for (std::size_t size : {std::size_t{5}, std::size_t{5} << 20}) {
    std::string message = MessageOf([&] {
      WriteFileSafely("/dev/full", [size](const ByteWriter& write) {
        BufferedWriter out(write);
        out.Write(std::string(size, 'x'));
        out.Flush();
      });
    });
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

// Every piece the reader gives, in order, for reads of `chunk` bytes at a time.
std::vector<std::string> ReadInChunks(FileReader& reader, std::size_t chunk) {
  std::vector<std::string> pieces;
  std::string buffer(chunk, '\0');
  while (const std::size_t got = reader.Read(buffer.data(), buffer.size())) {
    pieces.emplace_back(buffer.data(), got);
  }
  return pieces;
}

// Chunks cut a CR LF pair, a NUL byte and a TAB at every place: the pieces give the file back
// byte for byte, and split into the same lines as the whole text.
TEST_F(FileIoTest, ReaderGivesEveryByteInChunksOfAnySize) {
  const std::string bytes("dn: cn=A\r\ncn:\tA\r\n\r\ndn: cn=\xFF\r\r\n\0after nul\r\n", 40);
  Put(Path("book.ldif"), bytes);
  for (std::size_t chunk = 1; chunk <= bytes.size() + 1; ++chunk) {
    SCOPED_TRACE(chunk);
    FileReader reader(Path("book.ldif"));
    EXPECT_EQ(reader.SizeHint(), bytes.size());
    EXPECT_FALSE(reader.IsStandardInput());
    std::string joined;
    LineSplitter splitter;
    std::vector<std::string> lines;
    auto keep = [&lines](std::string_view line) { lines.emplace_back(line); };
    for (const std::string& piece : ReadInChunks(reader, chunk)) {
      EXPECT_LE(piece.size(), chunk);
      joined += piece;
      splitter.Feed(piece, keep);
    }
    splitter.Finish(keep);
    EXPECT_EQ(joined, bytes);
    EXPECT_EQ(lines, SplitTextLines(bytes));
    EXPECT_EQ(reader.Read(joined.data(), 1), 0u) << "the end stays the end";
  }
}

// A pipe delivers a little at a time, far beyond the first buffer: every read must land after
// the last one.
TEST_F(FileIoTest, WholeReadOfAPipeKeepsEveryPieceInOrder) {
  ASSERT_EQ(::mkfifo(Path("pipe").c_str(), 0600), 0);
  std::string bytes;
  for (int i = 0; bytes.size() < 300000; ++i) bytes += "line " + std::to_string(i) + "\r\n";
  std::thread writer([&] {
    const int fd = ::open(Path("pipe").c_str(), O_WRONLY);
    for (std::size_t at = 0; at < bytes.size(); at += 1000) {
      WriteToDescriptor(fd, std::string_view(bytes).substr(at, 1000));
    }
    ::close(fd);
  });
  const std::string received = ReadWholeFile(Path("pipe"));
  writer.join();
  EXPECT_TRUE(received == bytes) << received.size() << " bytes of " << bytes.size();
}

// Runs `action` with standard input read from `path` (opened with `flags`), then restores it.
void WithStandardInput(const std::string& path, int flags, const std::function<void()>& action) {
  const int saved = ::dup(STDIN_FILENO);
  const int fd = ::open(path.c_str(), flags);
  ASSERT_GE(fd, 0);
  ::dup2(fd, STDIN_FILENO);
  ::close(fd);
  action();
  ::dup2(saved, STDIN_FILENO);
  ::close(saved);
}

TEST_F(FileIoTest, DashReadsStandardInputAndLeavesItOpen) {
  Put(Path("piped.ldif"), std::string("dn: cn=A\r\n\0x", 12));
  WithStandardInput(Path("piped.ldif"), O_RDONLY, [] {
    {
      FileReader reader("-");
      EXPECT_TRUE(reader.IsStandardInput());
      EXPECT_EQ(reader.DisplayName(), "standard input");
      EXPECT_EQ(reader.SizeHint(), 0u);
      EXPECT_EQ(ReadInChunks(reader, 4),
                (std::vector<std::string>{"dn: ", "cn=A", std::string("\r\n\0x", 4)}));
    }
    EXPECT_NE(::fcntl(STDIN_FILENO, F_GETFD), -1) << "the reader closed standard input";
  });
}

TEST_F(FileIoTest, ReaderFailuresNameTheFileAndReason) {
  struct Case {
    const char* name;
    std::function<void()> action;
    std::string message;
  };
  const Case cases[] = {
      {"Missing", [&] { FileReader reader(Path("missing.ldif")); },
       "Cannot open file \"" + Path("missing.ldif") + "\". No such file or directory"},
      {"Directory", [&] { FileReader reader(dir_.string()); },
       "Cannot open file \"" + dir_.string() + "\". Is a directory"},
      {"FailsWhileRead", [] { ReadWholeFile("/proc/self/mem"); },
       "Cannot read file \"/proc/self/mem\". Input/output error"},
      {"StandardInputFails",
       [&] {
         WithStandardInput(dir_.string(), O_RDONLY | O_DIRECTORY, [] { ReadWholeFile("-"); });
       },
       "Cannot read standard input. Is a directory"},
  };
  for (const Case& c : cases) EXPECT_EQ(MessageOf(c.action), c.message) << c.name;
}

// The blocks a BufferedWriter with 8-byte blocks hands on for `pieces`, flushed or not.
std::vector<std::string> BlocksFor(const std::vector<std::string>& pieces, bool flush) {
  std::vector<std::string> blocks;
  BufferedWriter out([&blocks](std::string_view block) { blocks.emplace_back(block); }, 8);
  for (const std::string& piece : pieces) out.Write(piece);
  if (flush) out.Flush();
  return blocks;
}

TEST(BufferedWriter, GathersSmallPiecesAndPassesLargeOnes) {
  using Blocks = std::vector<std::string>;
  struct Case {
    const char* name;
    Blocks pieces;
    Blocks blocks;
  };
  const Case cases[] = {
      {"Nothing", {}, {}},
      {"EmptyPieces", {"", "a", ""}, {"a"}},
      {"SmallPiecesFillABlock", {"abc", "def", "gh"}, {"abcdefgh"}},
      {"APieceThatDoesNotFitStartsTheNextBlock", {"abcdef", "ghi", "j"}, {"abcdef", "ghij"}},
      {"ExactlyABlock", {"12345678"}, {"12345678"}},
      {"LargePieceAfterSmallOnes", {"ab", "0123456789", "cd"}, {"ab", "0123456789", "cd"}},
      {"LargePiecesBackToBack", {"0123456789", "abcdefghijk"}, {"0123456789", "abcdefghijk"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BlocksFor(c.pieces, true), c.blocks) << c.name;
  }
  // What is still gathered when a writer goes without Flush is dropped: a write that failed
  // part-way must not go on.
  EXPECT_EQ(BlocksFor({"abc", "0123456789", "de"}, false), (Blocks{"abc", "0123456789"}));
}

// A write that fails part-way (the file may grow no further) through the buffered writer:
// reported with the file's name and reason, and the existing file stays whole.
TEST_F(FileIoTest, FailingWriteLeavesTheExistingFileIntact) {
  Put(Path("keep.ldif"), "precious");
  for (std::size_t lineSize : {std::size_t{100}, BufferedWriter::kBlockSize * 2}) {
    SCOPED_TRACE(lineSize);
    std::string message;
    {
      FileSizeLimit limit(BufferedWriter::kBlockSize / 2);
      message = MessageOf([&] {
        WriteFileSafely(Path("keep.ldif"), [&](const ByteWriter& write) {
          BufferedWriter out(write);
          const std::string line(lineSize, 'x');
          for (int i = 0; i < 4 * (1 << 20) / static_cast<int>(lineSize) + 1; ++i) out.Write(line);
          out.Flush();
        });
      });
    }
    EXPECT_EQ(message, "Stream write error: " + Path("keep.ldif") + ": File too large");
    EXPECT_EQ(ReadWholeFile(Path("keep.ldif")), "precious");
    EXPECT_EQ(Entries(), std::vector<std::string>{"keep.ldif"});
  }
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
