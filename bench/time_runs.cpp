// time_runs: runs a command several times and prints the median wall and processor times and
// the peak resident memory, measured by the kernel for the child process alone.
//
//   time_runs [--runs N] [--stdin FILE] [--stdout FILE] -- COMMAND [ARG...]
//
// Prints one line: "WALL_S CPU_S PEAK_RSS_KB EXIT" (medians over the runs, the largest peak).
// Standard output of the command goes to --stdout (default /dev/null), standard error to
// /dev/null, so that a run's messages cost the same as in a script that discards them.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Sample {
  double wall = 0;
  double cpu = 0;
  long peakKB = 0;
  int exitCode = 0;
};

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; }

void Redirect(const char* path, int flags, int target) {
  const int fd = ::open(path, flags, 0644);
  if (fd < 0 || ::dup2(fd, target) < 0) {
    std::perror(path);
    std::_Exit(127);
  }
  ::close(fd);
}

Sample RunOnce(char** command, const char* in, const char* out) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid < 0) {
    std::perror("fork");
    std::exit(2);
  }
  if (pid == 0) {
    if (in != nullptr) Redirect(in, O_RDONLY, STDIN_FILENO);
    Redirect(out, O_WRONLY | O_CREAT | O_TRUNC, STDOUT_FILENO);
    Redirect("/dev/null", O_WRONLY, STDERR_FILENO);
    ::execvp(command[0], command);
    std::_Exit(127);
  }
  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, 0, &usage) < 0) {
  }
  Sample sample;
  sample.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  sample.cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  sample.peakKB = usage.ru_maxrss;
  sample.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return sample;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  const char* in = nullptr;
  const char* out = "/dev/null";
  int arg = 1;
  for (; arg < argc && std::strcmp(argv[arg], "--") != 0; ++arg) {
    if (std::strcmp(argv[arg], "--runs") == 0 && arg + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++arg]));
    } else if (std::strcmp(argv[arg], "--stdin") == 0 && arg + 1 < argc) {
      in = argv[++arg];
    } else if (std::strcmp(argv[arg], "--stdout") == 0 && arg + 1 < argc) {
      out = argv[++arg];
    } else {
      break;
    }
  }
  if (arg + 1 >= argc || std::strcmp(argv[arg], "--") != 0) {
    std::fprintf(stderr,
                 "usage: time_runs [--runs N] [--stdin FILE] [--stdout FILE] -- COMMAND [ARG...]\n");
    return 2;
  }
  std::vector<double> walls;
  std::vector<double> cpus;
  long peakKB = 0;
  int exitCode = 0;
  for (int i = 0; i < runs; ++i) {
    const Sample sample = RunOnce(argv + arg + 1, in, out);
    walls.push_back(sample.wall);
    cpus.push_back(sample.cpu);
    peakKB = std::max(peakKB, sample.peakKB);
    if (sample.exitCode != 0) exitCode = sample.exitCode;
  }
  std::printf("%.4f %.4f %ld %d\n", Median(walls), Median(cpus), peakKB, exitCode);
  return 0;
}
