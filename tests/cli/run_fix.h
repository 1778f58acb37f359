// Runs the built quorvane-fix in a scratch directory and captures what it wrote.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace quorvane::testing {

// A fresh directory, removed with everything in it when the test ends.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qfix-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string Path(const std::string& name) const { return path_ + "/" + name; }
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
    return Path(name);
  }
  std::string Read(const std::string& name) const { return ReadFile(Path(name)); }
  bool Exists(const std::string& name) const { return std::filesystem::exists(Path(name)); }
  const std::string& path() const { return path_; }
  // The names of everything in the directory, to check that no temporary file was left.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::string path_;
};

struct FixResult {
  int exitCode = -1;
  std::string out;  // standard output (empty when it went to `stdoutPath`)
  // Standard error without the summary line a finished run ends with ("Fixed N records ..."):
  // the messages about records and files.
  std::string err;
  std::string summary;  // that last line, without its "\n"; empty when there was none
  std::string rawErr;   // standard error as written
};

// Moves a last line starting "Fixed " from `result.err` to `result.summary`.
inline void SplitSummary(FixResult& result) {
  result.rawErr = result.err;
  std::string& err = result.err;
  if (err.empty() || err.back() != '\n') return;
  const std::size_t start = err.find_last_of('\n', err.size() - 2);
  const std::size_t lineStart = start == std::string::npos ? 0 : start + 1;
  if (err.compare(lineStart, 6, "Fixed ") != 0) return;
  result.summary = err.substr(lineStart, err.size() - 1 - lineStart);
  err.erase(lineStart);
}

// Runs quorvane-fix with `args` in `dir`, `input` on standard input. Standard output goes to
// a file of the scratch directory, or to `stdoutPath` when given (such as /dev/full).
inline FixResult RunFix(const ScratchDir& dir, const std::vector<std::string>& args,
                        const std::string& input = "", const std::string& stdoutPath = "") {
  static int runs = 0;
  const std::string tag = ".run" + std::to_string(++runs);
  const std::string inPath = dir.Write(tag + ".in", input);
  const std::string outPath = stdoutPath.empty() ? dir.Path(tag + ".out") : stdoutPath;
  const std::string errPath = dir.Path(tag + ".err");

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, dir.path().c_str());

  std::vector<std::string> argStrings{QUORVANE_FIX};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argStrings) argv.push_back(arg.data());
  argv.push_back(nullptr);

  FixResult result;
  pid_t pid = 0;
  if (posix_spawn(&pid, QUORVANE_FIX, &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  if (stdoutPath.empty()) result.out = ScratchDir::ReadFile(outPath);
  result.err = ScratchDir::ReadFile(errPath);
  SplitSummary(result);
  std::filesystem::remove(inPath);
  if (stdoutPath.empty()) std::filesystem::remove(outPath);
  std::filesystem::remove(errPath);
  return result;
}

// The directory of quorvane-fix, where profiles are looked up by name.
inline std::string FixDir() { return std::filesystem::path(QUORVANE_FIX).parent_path().string(); }

}  // namespace quorvane::testing
