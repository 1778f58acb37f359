// Times the editor pane on a large address book: load, read back, fill the result pane, save.
// Usage: pane_load_gui [--bulk] [book.ldif]
// Without a file, a 50 MB, 200,000-record book is written to a temporary folder first.
// Runs on any Qt platform; QT_QPA_PLATFORM=offscreen works.
#include <sys/resource.h>

#include <QApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "ui/editor_pane.h"
#include "ui/ldif_lexer.h"

namespace {

using Clock = std::chrono::steady_clock;

// One address-book record of about 262 bytes, so that 200,000 of them make 50 MB.
std::string Record(int n) {
  const std::string id = std::to_string(n);
  std::string record = "dn: cn=Person " + id + ",mail=person" + id + "@example.org\r\n" +
                       "objectclass: top\r\nobjectclass: person\r\n"
                       "givenName: Person\r\nsn: Number " +
                       id + "\r\ncn: Person " + id + "\r\nmail: person" + id + "@example.org\r\n" +
                       "telephoneNumber: +39 02 " + id + "\r\ndescription: ";
  constexpr std::size_t kRecordSize = 262;
  if (record.size() + 4 < kRecordSize) record.append(kRecordSize - 4 - record.size(), 'x');
  record += "\r\n\r\n";
  return record;
}

std::string WriteBook(const std::string& path, int records) {
  std::ofstream out(path, std::ios::binary);
  for (int i = 0; i < records; ++i) out << Record(i);
  return path;
}

long PeakRssMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

template <class Step>
double Time(Step&& step) {
  const auto start = Clock::now();
  step();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // --bulk moves the text read in place (TextView) through the pane's block loader
  // (BuildText), instead of a list of lines (Lines, ReplaceLines).
  bool bulk = false;
  std::string book;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--bulk") {
      bulk = true;
    } else {
      book = argv[i];
    }
  }
  QTemporaryDir dir;
  if (book.empty())
    book = WriteBook(dir.filePath(QStringLiteral("book.ldif")).toStdString(), 200000);
  const std::string saved = dir.filePath(QStringLiteral("result.ldif")).toStdString();
  std::ifstream sizeProbe(book, std::ios::binary | std::ios::ate);
  std::printf("book: %s, %.1f MB\n", book.c_str(), static_cast<double>(sizeProbe.tellg()) / 1e6);
  std::printf("peak RSS before loading: %ld MiB\n", PeakRssMiB());

  quorvane::EditorPane source(quorvane::EditorPane::Kind::Source);
  quorvane::EditorPane dest(quorvane::EditorPane::Kind::Dest);
  source.resize(800, 600);
  dest.resize(800, 600);
  source.show();
  dest.show();
  QApplication::processEvents();

  const double load = Time([&] { source.LoadFile(book); });
  const double firstPaint = Time([&] {
    source.repaint();
    QApplication::processEvents();
  });
  const long long styledFirst = source.lexer()->styledBytes();
  std::printf("lines: %d\n", source.LineCount());
  std::printf("LoadFile into source:       %8.1f ms\n", load);
  std::printf("first paint of source:      %8.1f ms (styled %lld bytes)\n", firstPaint,
              styledFirst);

  if (bulk) {
    std::string_view text;
    const double view = Time([&] { text = source.TextView(); });
    const double replace = Time([&] {
      dest.BuildText(text.size(), [text](quorvane::EditorPane::LineBuilder& out) {
        std::size_t start = 0;
        while (start < text.size()) {
          const std::size_t end = std::min(text.find('\n', start), text.size());
          out.AddLine(text.substr(start, end - start));
          start = end + 1;
        }
      });
      dest.repaint();
    });
    std::printf("TextView() of source:       %8.1f ms (%zu bytes)\n", view, text.size());
    std::printf("BuildText into dest:        %8.1f ms\n", replace);
  } else {
    std::vector<std::string> lines;
    const double read = Time([&] { lines = source.Lines(); });
    const double replace = Time([&] {
      dest.ReplaceLines(lines);
      dest.repaint();
    });
    std::printf("Lines() of source:          %8.1f ms (%zu lines)\n", read, lines.size());
    std::printf("ReplaceLines into dest:     %8.1f ms\n", replace);
  }
  const double save = Time([&] { dest.SaveFile(saved); });
  std::printf("SaveFile of dest:           %8.1f ms\n", save);
  const double toEnd = Time([&] {
    source.SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
    source.repaint();
    QApplication::processEvents();
  });
  std::printf("source: jump to end, paint: %8.1f ms (styled %lld bytes)\n", toEnd,
              source.lexer()->styledBytes());
  std::printf("peak RSS: %ld MiB\n", PeakRssMiB());
  return 0;
}
