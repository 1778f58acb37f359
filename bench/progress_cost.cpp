// progress_cost: what the per-line progress messages cost a repair run when someone shows them.
//
//   progress_cost BOOK.ldif [ROUNDS]
//
// Loads the book into memory once, as the window's source pane holds it (lines joined by LF),
// then repairs it ROUNDS times (default 5) as the window's Fix does, with a log that does not
// want progress and ROUNDS times with one that does and keeps the latest message, as a status
// bar would, alternating. Prints the fastest wall time of each (the run least
// disturbed by other load on the machine) and the difference in percent, then the same for
// processor time: "WALL_QUIET WALL_SHOWN PERCENT CPU_QUIET CPU_SHOWN PERCENT".
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "engine/repair_run.h"
#include "engine/text_lines.h"
#include "platform/file_io.h"

namespace {

using namespace quorvane;

class StatusLog : public Log {
 public:
  explicit StatusLog(bool progress) : progress_(progress) {}
  void Write(std::string_view text, int level, std::size_t) override {
    status_.assign(text);  // the status bar shows only the latest message
    if (level > kLogProgress) ++errors_;
  }
  bool WantsProgress() const override { return progress_; }
  std::size_t StatusLength() const { return status_.size(); }

 private:
  bool progress_;
  std::string status_;
  std::size_t errors_ = 0;
};

class CountingSink : public LineSink {
 public:
  void Line(std::string_view line) override { bytes += line.size() + 1; }
  std::size_t bytes = 0;
};

double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

struct Times {
  double wall;
  double cpu;
};

Times RepairOnce(const std::string& text, bool progress, std::size_t& outBytes) {
  const TransformMap map;
  UsedDNs usedDNs;
  SeededRandom random(1);
  StatusLog log(progress);
  CountingSink sink;
  const auto wallStart = std::chrono::steady_clock::now();
  const double cpuStart = CpuSeconds();
  RepairRun run("dc=contacts,dc=example,dc=com", map, usedDNs, random, &log, sink);
  run.AddPaneText(text);
  run.Finish();
  const Times times{
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count(),
      CpuSeconds() - cpuStart};
  outBytes = sink.bytes + log.StatusLength();
  return times;
}

double Fastest(const std::vector<double>& values) {
  return *std::min_element(values.begin(), values.end());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: progress_cost BOOK.ldif [ROUNDS]\n");
    return 2;
  }
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  std::string text;
  try {
    for (const std::string& line : SplitTextLines(ReadWholeFile(argv[1]))) {
      text.append(line).push_back('\n');
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "progress_cost: %s\n", error.what());
    return 2;
  }
  std::vector<double> quietWall, shownWall, quietCpu, shownCpu;
  std::size_t quietBytes = 0;
  std::size_t shownBytes = 0;
  for (int i = 0; i < rounds; ++i) {  // alternate, so that machine load hits both alike
    const Times quiet = RepairOnce(text, false, quietBytes);
    const Times shown = RepairOnce(text, true, shownBytes);
    quietWall.push_back(quiet.wall);
    shownWall.push_back(shown.wall);
    quietCpu.push_back(quiet.cpu);
    shownCpu.push_back(shown.cpu);
  }
  auto percent = [](double quiet, double shown) { return quiet > 0 ? (shown - quiet) / quiet * 100 : 0; };
  const double qw = Fastest(quietWall), sw = Fastest(shownWall);
  const double qc = Fastest(quietCpu), sc = Fastest(shownCpu);
  std::printf("%.4f %.4f %.1f %.4f %.4f %.1f\n", qw, sw, percent(qw, sw), qc, sc, percent(qc, sc));
  return quietBytes > 0 && shownBytes > 0 ? 0 : 1;
}
