// window_fix_gui: times the window's Fix command on a book, from the button press to the filled
// result pane, and loading the book into the source pane and saving the result pane.
//
//   window_fix_gui BOOK.ldif [PROFILE] [BASE-DN]
//
// Loads BOOK into the source pane, selects PROFILE (a profile beside the executable), presses
// Fix, and prints the time the press took, then the time until the window has painted the
// result; then saves the result pane beside the book (BOOK.window-out.ldif, removed again
// unless QUORVANE_BENCH_KEEP is set). The run's random numbers start from 1, as with
// `quorvane-fix --seed 1`, so the kept file can be compared with that program's output.
// For scale it also times the one editor call that takes a whole text (SCI_APPENDTEXT into an
// empty editor), the fixed cost every load pays. The last line repeats the figures for
// scripts: "times LOAD APPEND FIX APPEND_RESULT SAVE" in seconds, APPEND_RESULT being that
// one editor call for the result text, which Fix pays. Runs on any Qt platform; use
// QT_QPA_PLATFORM=offscreen without a display.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "engine/random_source.h"
#include "engine/text_lines.h"
#include "platform/file_io.h"
#include "ui/editor_pane.h"
#include "ui/form_storage.h"
#include "ui/main_window.h"

namespace {

// Nothing may block a timed run: messages go to standard error, dialogs are cancelled.
class Unattended : public quorvane::FileDialogs, public quorvane::MessageBoxes {
 public:
  QString OpenFileName(QWidget*, const QString&) override { return {}; }
  QString SaveFileName(QWidget*, const QString&, const QString&) override { return {}; }
  void Error(QWidget*, const QString&, const QString& text) override {
    std::fprintf(stderr, "error: %s\n", qUtf8Printable(text));
  }
  void Plain(QWidget*, const QString&, const QString&) override {}
  bool AskOkCancel(QWidget*, const QString&, const QString&) override { return true; }
  bool AskYesNo(QWidget*, const QString&, const QString&) override { return false; }
};

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Processor time, which other programs on a busy machine do not inflate.
double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// The processor time of this thread alone: load and the editor's call run on it, and no
// other thread of the window may count towards them.
double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

// The editor's own cost of taking `text` in one call, with change notifications, undo and
// annotations off as the pane sets them; `cpu` gets the processor time it took.
double AppendTextSeconds(const std::string& text, double& cpu) {
  QsciScintilla editor;
  editor.SendScintilla(QsciScintilla::SCI_ANNOTATIONSETVISIBLE,
                       static_cast<unsigned long>(QsciScintilla::ANNOTATION_HIDDEN));
  editor.SendScintilla(QsciScintilla::SCI_SETMODEVENTMASK, 0UL);
  editor.SendScintilla(QsciScintilla::SCI_SETUNDOCOLLECTION, 0UL);
  const double cpuStart = ThreadCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  editor.SendScintilla(QsciScintilla::SCI_APPENDTEXT, text.size(), text.data());
  const double seconds = SecondsSince(start);
  cpu = ThreadCpuSeconds() - cpuStart;
  return seconds;
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: window_fix_gui BOOK.ldif [PROFILE] [BASE-DN]\n");
    return 2;
  }
  auto unattended = std::make_shared<Unattended>();
  quorvane::WindowOptions options;
  options.services.dialogs = unattended;
  options.services.messages = unattended;
  options.makeRandom = [] { return std::make_unique<quorvane::SeededRandom>(1); };
  quorvane::TForm1 window(options);
  window.FormStorage1->Active = false;  // a timing run neither reads nor writes settings
  window.resize(1280, 800);
  window.show();
  QApplication::processEvents();

  const double loadCpuStart = ThreadCpuSeconds();
  auto start = std::chrono::steady_clock::now();
  window.source->LoadFile(argv[1]);
  QApplication::processEvents();
  const double load = SecondsSince(start);
  const double loadCpu = ThreadCpuSeconds() - loadCpuStart;
  std::printf("load:  %.3f s (%.3f s processor time), %d lines\n", load, loadCpu,
              window.source->LineCount());
  double appendCpu = 0;
  const double append = AppendTextSeconds(std::string(window.source->TextView()), appendCpu);
  std::printf("       %.3f s (%.3f s processor time) of it the editor's one call that takes the"
              " whole text\n",
              append, appendCpu);
  {
    // The pane's own share, for comparison: reading the file and splitting it into lines.
    start = std::chrono::steady_clock::now();
    const std::string bytes = quorvane::ReadWholeFile(argv[1]);
    const double read = SecondsSince(start);
    start = std::chrono::steady_clock::now();
    quorvane::LineSplitter splitter;
    std::size_t lines = 0;
    auto count = [&lines](std::string_view) { ++lines; };
    splitter.Feed(bytes, count);
    splitter.Finish(count);
    std::printf("       reading the file alone %.3f s, splitting it into %zu lines %.3f s\n", read,
                lines, SecondsSince(start));
  }

  if (argc > 2) {
    window.cbIni->setEditText(QString::fromLocal8Bit(argv[2]));
    window.cbIniChange();
  }
  if (argc > 3) window.eBaseDN->setText(QString::fromLocal8Bit(argv[3]));

  start = std::chrono::steady_clock::now();
  const double cpuStart = CpuSeconds();
  window.suiButton1->click();
  const double pressed = SecondsSince(start);
  QApplication::processEvents();
  const double painted = SecondsSince(start);
  std::printf("fix:   %.3f s until the result pane is filled, %.3f s until it is painted"
              " (%.3f s processor time)\n",
              pressed, painted, CpuSeconds() - cpuStart);
  std::printf("       %d result lines, %zu distinct DNs\n", window.dest->LineCount(),
              window.usedDNs().size());

  double appendResultCpu = 0;
  const double appendResult =
      AppendTextSeconds(std::string(window.dest->TextView()), appendResultCpu);
  std::printf("       %.3f s (%.3f s processor time) of it the editor's one call that takes the"
              " whole result\n",
              appendResult, appendResultCpu);

  const std::string saved = std::string(argv[1]) + ".window-out.ldif";
  start = std::chrono::steady_clock::now();
  window.dest->SaveFile(saved);
  const double save = SecondsSince(start);
  if (std::getenv("QUORVANE_BENCH_KEEP") == nullptr) std::remove(saved.c_str());
  std::printf("save:  %.3f s\n", save);
  std::printf("times %.4f %.4f %.4f %.4f %.4f\n", load, append, pressed, appendResult, save);
  return 0;
}
