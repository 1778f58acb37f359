// Widget tests for the editor pane: byte-exact load and save, the modified state and undo
// limit, typing rules, file drops, URL clicks and lazy highlighting.
#include "ui/editor_pane.h"

#include <Qsci/qsciscintillabase.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "engine/error.h"
#include "engine/text_lines.h"
#include "ui/ldif_lexer.h"
#include "ui/ldif_styler.h"

namespace quorvane {
namespace {

using Lines = std::vector<std::string>;
using Sci = QsciScintillaBase;

class EditorPaneTest : public ::testing::Test {
 protected:
  std::string PathOf(const std::string& name) const {
    return dir_.filePath(QString::fromStdString(name)).toStdString();
  }

  std::string WriteFile(const std::string& name, const std::string& bytes) const {
    const std::string path = PathOf(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::string SaveToString(const EditorPane& pane) const {
    const std::string path = PathOf("saved.ldif");
    pane.SaveFile(path);
    return ReadFile(path);
  }

  QTemporaryDir dir_;
};

// Every byte value but NUL, CR and LF in one line (TAB is left to the caller).
std::string AllLineBytes(bool withTab) {
  std::string bytes;
  for (int b = 1; b < 256; ++b) {
    if (b == '\r' || b == '\n' || (b == '\t' && !withTab)) continue;
    bytes.push_back(static_cast<char>(b));
  }
  return bytes;
}

TEST_F(EditorPaneTest, LoadSplitsLinesAndSaveEndsEveryLineWithCrLf) {
  const std::string invalidUtf8 = "cn: \xC3\x28 \xFF\xFE \xED\xA0\x80 \xC3\xA9";
  struct Case {
    const char* name;
    std::string file;
    Lines lines;
    std::string saved;
  };
  const Case cases[] = {
      {"MixedLineEnds", "a\r\nb\nc\rd", {"a", "b", "c", "d"}, "a\r\nb\r\nc\r\nd\r\n"},
      {"LfThenCrEndsTwoLines", std::string("a\n\rb"), {"a", "", "b"}, "a\r\n\r\nb\r\n"},
      {"FinalLineBreakAddsNoLine", "a\r\n\r\n", {"a", ""}, "a\r\n\r\n"},
      {"EmptyFileHasNoLines", "", {}, ""},
      {"OnlyALineBreak", "\n", {""}, "\r\n"},
      {"NulEndsTheText", std::string("x\0y\nz", 5), {"x"}, "x\r\n"},
      {"TrailingBlanksStay", "a  \n  ", {"a  ", "  "}, "a  \r\n  \r\n"},
      {"TabsBecomeFourSpaces", "a\t\tb\n\t", {"a        b", "    "}, "a        b\r\n    \r\n"},
      {"InvalidUtf8", invalidUtf8, {invalidUtf8}, invalidUtf8 + "\r\n"},
      {"EveryByteValue",
       AllLineBytes(false) + "\r\n" + AllLineBytes(false),
       {AllLineBytes(false), AllLineBytes(false)},
       AllLineBytes(false) + "\r\n" + AllLineBytes(false) + "\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EditorPane pane(EditorPane::Kind::Source);
    pane.LoadFile(WriteFile("in.ldif", c.file));
    EXPECT_EQ(pane.Lines(), c.lines);
    ASSERT_EQ(pane.LineCount(), static_cast<int>(c.lines.size()));
    for (int i = 0; i < pane.LineCount(); ++i) EXPECT_EQ(pane.Line(i), c.lines[i]);
    EXPECT_EQ(SaveToString(pane), c.saved);
    EXPECT_FALSE(pane.IsModified());
  }
}

TEST_F(EditorPaneTest, ReplaceLinesStoresLinesUnchanged) {
  EditorPane pane(EditorPane::Kind::Dest);
  EXPECT_EQ(pane.Lines(), Lines{""});  // a new pane holds one empty line
  EXPECT_EQ(SaveToString(pane), "\r\n");

  const Lines lines = {"a\tb", AllLineBytes(true), "", "x\xFFy  ", ""};
  pane.ReplaceLines(lines);
  EXPECT_EQ(pane.Lines(), lines);
  EXPECT_EQ(pane.Line(1), AllLineBytes(true));
  EXPECT_EQ(SaveToString(pane), "a\tb\r\n" + AllLineBytes(true) + "\r\n\r\nx\xFFy  \r\n\r\n");
  EXPECT_EQ(pane.SendScintilla(Sci::SCI_GETCURRENTPOS), 0);
  EXPECT_FALSE(pane.IsModified());
  EXPECT_FALSE(pane.isUndoAvailable());

  pane.ReplaceLines({});
  EXPECT_EQ(pane.LineCount(), 0);
  EXPECT_EQ(SaveToString(pane), "");
  EXPECT_THROW(pane.Line(0), std::out_of_range);

  pane.ReplaceText("one\n\ttwo\n");
  EXPECT_EQ(pane.Lines(), (Lines{"one", "\ttwo"}));
  EXPECT_EQ(pane.TextView(), "one\n\ttwo");
  pane.ReplaceText("\n");
  EXPECT_EQ(pane.Lines(), Lines{""});
  pane.ReplaceText("");
  EXPECT_EQ(pane.LineCount(), 0);
}

TEST_F(EditorPaneTest, ModifiedWhileTheHistoryHoldsAStep) {
  EditorPane pane(EditorPane::Kind::Source);
  EXPECT_FALSE(pane.IsModified());
  QTest::keyClicks(&pane, "abc");
  EXPECT_TRUE(pane.IsModified());
  EXPECT_EQ(pane.Lines(), Lines{"abc"});
  EXPECT_EQ(pane.UndoSteps(), 1);  // consecutive typing is one step

  pane.undo();
  EXPECT_EQ(pane.Lines(), Lines{""});
  EXPECT_TRUE(pane.IsModified()) << "an undone step still counts";
  pane.redo();
  EXPECT_EQ(pane.Lines(), Lines{"abc"});

  // Ctrl+Z goes through the same limited history.
  QTest::keyClick(&pane, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(pane.Lines(), Lines{""});
  QTest::keyClick(&pane, Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(pane.Lines(), Lines{"abc"});

  pane.ReplaceLines({"x"});
  EXPECT_TRUE(pane.IsModified()) << "only loading a file empties the history";
  EXPECT_EQ(pane.UndoSteps(), 0);

  pane.LoadFile(WriteFile("in.ldif", "cn: x\n"));
  EXPECT_FALSE(pane.IsModified());
  QTest::keyClick(&pane, Qt::Key_Delete);
  EXPECT_TRUE(pane.IsModified());
  EXPECT_EQ(pane.Lines(), Lines{"n: x"});
}

TEST_F(EditorPaneTest, UndoKeepsTheLatestHundredSteps) {
  EditorPane pane(EditorPane::Kind::Dest);
  for (int i = 0; i < 150; ++i) QTest::keyClick(&pane, Qt::Key_Tab);  // one step each
  EXPECT_EQ(pane.Line(0).size(), 600u);
  EXPECT_EQ(pane.UndoSteps(), EditorPane::kUndoLimit);
  for (int i = 0; i < 120; ++i) pane.undo();
  EXPECT_EQ(pane.Line(0).size(), 200u) << "the oldest 50 steps were dropped";
  EXPECT_EQ(pane.RedoSteps(), 100);
  EXPECT_TRUE(pane.IsModified());
  for (int i = 0; i < 100; ++i) pane.redo();
  EXPECT_EQ(pane.Line(0).size(), 600u);
}

TEST_F(EditorPaneTest, TabEnterAndBackspaceFollowThePaneKind) {
  EditorPane dest(EditorPane::Kind::Dest);
  QTest::keyClicks(&dest, "ab");
  QTest::keyClick(&dest, Qt::Key_Tab);
  QTest::keyClicks(&dest, "c");
  EXPECT_EQ(dest.Lines(), Lines{"ab    c"}) << "four spaces, no tab stops";

  // Smart tabs: Tab in leading blanks goes to the next word column above, else four spaces;
  // Backspace goes back to the previous one and never removes a non-blank.
  EditorPane source(EditorPane::Kind::Source);
  source.ReplaceLines({"dn: cn=x", ""});
  source.SendScintilla(Sci::SCI_DOCUMENTEND);
  QTest::keyClick(&source, Qt::Key_Tab);
  EXPECT_EQ(source.Line(1), "    ");
  QTest::keyClick(&source, Qt::Key_Tab);
  EXPECT_EQ(source.Line(1), "        ");
  QTest::keyClick(&source, Qt::Key_Backspace);
  EXPECT_EQ(source.Line(1), "    ");
  QTest::keyClicks(&source, "x");
  QTest::keyClick(&source, Qt::Key_Backspace);
  EXPECT_EQ(source.Line(1), "    ") << "Backspace after a non-blank removes one character";
  QTest::keyClick(&source, Qt::Key_Backspace);
  EXPECT_EQ(source.Line(1), "");

  // Enter copies the leading spaces of the line it breaks.
  source.ReplaceLines({"    cn: a"});
  source.SendScintilla(Sci::SCI_DOCUMENTEND);
  QTest::keyClick(&source, Qt::Key_Return);
  QTest::keyClicks(&source, "b");
  EXPECT_EQ(source.Lines(), (Lines{"    cn: a", "    b"}));
}

TEST_F(EditorPaneTest, PastedTextFollowsTheTabRuleAndKeepsBytes) {
  EditorPane source(EditorPane::Kind::Source);
  QApplication::clipboard()->setText(QStringLiteral("a\tb\r\nc\rd\ne"));
  source.paste();
  EXPECT_EQ(source.Lines(), (Lines{"a    b", "c", "d", "e"}));
  EXPECT_TRUE(source.IsModified());

  // Bytes that are not UTF-8 survive copying from one pane into the other.
  source.ReplaceLines({"x\xFF\xC3y"});
  source.selectAll();
  source.copy();
  EditorPane dest(EditorPane::Kind::Dest);
  dest.paste();
  EXPECT_EQ(dest.Lines(), Lines{"x\xFF\xC3y"});
}

TEST_F(EditorPaneTest, FailedLoadLeavesThePaneAsItWas) {
  EditorPane pane(EditorPane::Kind::Source);
  QTest::keyClicks(&pane, "edit");
  struct Case {
    std::string file;
    std::string message;
  };
  const Case cases[] = {
      {PathOf("missing.ldif"),
       "Cannot open file \"" + PathOf("missing.ldif") + "\". No such file or directory"},
      {dir_.path().toStdString(),
       "Cannot open file \"" + dir_.path().toStdString() + "\". Is a directory"},
      // Opens, then fails while it is read.
      {"/proc/self/mem", "Cannot read file \"/proc/self/mem\". Input/output error"},
  };
  for (const Case& c : cases) {
    try {
      pane.LoadFile(c.file);
      ADD_FAILURE() << "no error for " << c.file;
    } catch (const Error& e) {
      EXPECT_EQ(e.what(), c.message);
    }
    EXPECT_EQ(pane.Lines(), Lines{"edit"});
    EXPECT_TRUE(pane.IsModified());
    EXPECT_EQ(pane.UndoSteps(), 1);
  }
  pane.undo();
  EXPECT_EQ(pane.Lines(), Lines{""});
}

// `special` at byte `at` of a text of about `total` bytes of ordinary CR LF lines.
std::string TextWithAt(std::size_t at, const std::string& special, std::size_t total) {
  std::string text;
  text.reserve(total + special.size());
  for (int i = 0; text.size() < at; ++i) text += "cn: filler " + std::to_string(i) + "\r\n";
  text.resize(at, 'y');  // a cut line runs on into `special`
  text += special;
  for (int i = 0; text.size() < total; ++i) text += "sn: after " + std::to_string(i) + "\r\n";
  return text;
}

TEST_F(EditorPaneTest, ReadingInChunksSplitsAsTheWholeText) {
  const std::size_t chunk = std::size_t{1} << 20;  // the size LoadFile reads at a time
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"CrLfAcrossTheBoundary", TextWithAt(chunk - 1, "\r\nnext", 3 * chunk)},
      {"CrCrAtTheBoundary", TextWithAt(chunk - 1, "\r\rnext", 2 * chunk)},
      {"LfCrAtTheBoundary", TextWithAt(chunk - 1, "\n\rnext", 2 * chunk)},
      {"TabsAcrossTheBoundary", TextWithAt(chunk - 3, "a\tb\tc\td\r\n", 2 * chunk)},
      {"LineOverSeveralChunks", TextWithAt(10, std::string(2 * chunk + 5, 'L') + "\n", 3 * chunk)},
      {"NulJustAfterTheBoundary", TextWithAt(chunk, std::string("\0rest", 5), 2 * chunk)},
      {"NulStartsALineAtTheBoundary", TextWithAt(chunk - 2, std::string("\r\n\0", 3), 2 * chunk)},
      {"NoFinalLineBreak", TextWithAt(chunk + 7, "last", 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EditorPane pane(EditorPane::Kind::Source);
    pane.LoadFile(WriteFile("chunks.ldif", c.bytes));
    const Lines expected = SplitTextLines(c.bytes);
    ASSERT_EQ(pane.LineCount(), static_cast<int>(expected.size()));
    EXPECT_TRUE(pane.Lines() == expected);
    LineSplitter whole;
    whole.Feed(c.bytes, [](std::string_view) {});
    EXPECT_EQ(pane.LoadStopLine(), whole.StopLine());
    EXPECT_FALSE(pane.IsModified());
  }
}

// Lines of bytes that are not valid UTF-8, with a two-byte character cut by the byte at `cut`
// and a CR LF pair cut by the byte at 2 * `cut`: the pane takes a new text in appends of that
// size, and neither cut may change a byte or a line.
std::string InvalidUtf8Text(std::size_t cut) {
  std::string text;
  for (int i = 0; text.size() < 3 * cut; ++i) {
    if (text.size() + 100 > cut && text.size() < cut) {
      text.resize(cut - 1, 'a');
      text += "\xC3\xA9\n";
    } else if (text.size() + 100 > 2 * cut && text.size() < 2 * cut) {
      text.resize(2 * cut - 1, 'b');
      text += "\r\n";
    }
    text += "cn: \xC3\x28\xFF\xFE\xED\xA0\x80 " + std::to_string(i) + std::string(i % 50, '\xE9') +
            "\n";
  }
  return text;
}

TEST_F(EditorPaneTest, ReplaceTextStoresEveryByteAndKeepsTheHistoryState) {
  EditorPane pane(EditorPane::Kind::Dest);
  QTest::keyClicks(&pane, "edit");
  std::string many;
  for (int i = 0; i < 300000; ++i) many += "cn: line " + std::to_string(i) + "\n";
  struct Case {
    const char* name;
    std::string text;
    std::optional<Lines> lines;  // else those of the file rules, for a text without TAB or NUL
  };
  const Case cases[] = {
      {"NoLines", "", Lines{}},
      {"OneEmptyLine", "\n", Lines{""}},
      {"EmptyLastLine", "a\n\n", Lines{"a", ""}},
      {"NoFinalLineBreak", "a\nb", Lines{"a", "b"}},
      {"BytesKeptAndNoTabRule", AllLineBytes(true) + "\n\xC3\x28\tx\n",
       Lines{AllLineBytes(true), "\xC3\x28\tx"}},
      {"LineLongerThanABlock", std::string(9 << 20, 'x') + "\nb\n", {}},
      {"ManyBlocks", many, {}},
      {"InvalidUtf8CutBetweenBlocks", InvalidUtf8Text(std::size_t{1} << 20), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QElapsedTimer filling;
    filling.start();
    pane.ReplaceText(c.text);
    // Some milliseconds a megabyte; laying out a long first line would take seconds.
    EXPECT_LT(filling.elapsed(), 3000);
    const Lines expected = c.lines ? *c.lines : SplitTextLines(c.text);
    ASSERT_EQ(pane.LineCount(), static_cast<int>(expected.size()));
    EXPECT_TRUE(pane.Lines() == expected);
    const std::string_view shown = c.text.ends_with('\n')
                                       ? std::string_view(c.text).substr(0, c.text.size() - 1)
                                       : std::string_view(c.text);
    EXPECT_TRUE(pane.TextView() == shown) << "the bytes changed";
    for (int i : {0, pane.LineCount() / 3, pane.LineCount() - 1}) {
      if (i < 0 || i >= pane.LineCount()) continue;
      EXPECT_TRUE(pane.Line(i) == expected[i]) << i;
    }
    std::string saved;
    for (const std::string& line : expected) saved += line + "\r\n";
    EXPECT_TRUE(SaveToString(pane) == saved);
    EXPECT_TRUE(pane.IsModified()) << "only loading a file empties the history";
    EXPECT_EQ(pane.UndoSteps(), 0);
    EXPECT_FALSE(pane.isUndoAvailable());
    EXPECT_EQ(pane.SendScintilla(Sci::SCI_GETCURRENTPOS), 0);
  }

}

// Every new text, loaded or replaced, keeps the pane's settings: UTF-8, LF line ends,
// four-column tabs, the lexer and its highlighting, and an undo history that records typing
// again but cannot bring back the text before.
TEST_F(EditorPaneTest, ANewTextKeepsThePaneSettings) {
  const std::string line = "mozillaworkurl: http://example.org/x y";
  const std::string file = WriteFile("url.ldif", line + "\r\n");
  struct Case {
    const char* name;
    std::function<void(EditorPane&)> fill;
  };
  const Case cases[] = {
      {"LoadFile", [&](EditorPane& pane) { pane.LoadFile(file); }},
      {"ReplaceText", [&](EditorPane& pane) { pane.ReplaceText(line + "\n"); }},
      {"ReplaceLines", [&](EditorPane& pane) { pane.ReplaceLines({line}); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EditorPane pane(EditorPane::Kind::Dest);
    const long lexer = pane.SendScintilla(Sci::SCI_GETLEXER);
    QTest::keyClicks(&pane, "before");
    c.fill(pane);
    EXPECT_EQ(pane.SendScintilla(Sci::SCI_GETCODEPAGE), static_cast<long>(Sci::SC_CP_UTF8));
    EXPECT_EQ(pane.SendScintilla(Sci::SCI_GETEOLMODE), static_cast<long>(Sci::SC_EOL_LF));
    EXPECT_EQ(pane.SendScintilla(Sci::SCI_GETTABWIDTH), EditorPane::kTabSize);
    EXPECT_EQ(pane.SendScintilla(Sci::SCI_GETUSETABS), 0);
    EXPECT_EQ(pane.SendScintilla(Sci::SCI_GETLEXER), lexer);
    pane.SendScintilla(Sci::SCI_COLOURISE, 0UL, -1L);
    EXPECT_EQ(pane.SendScintilla(Sci::SCI_GETSTYLEAT, 20UL), static_cast<long>(LdifStyle::Url));
    EXPECT_EQ(pane.SendScintilla(Sci::SCI_GETCURRENTPOS), 0);
    QTest::keyClick(&pane, Qt::Key_End);
    QTest::keyClick(&pane, Qt::Key_Return);
    QTest::keyClicks(&pane, "z");
    EXPECT_EQ(pane.Lines(), (Lines{line, "z"}));
    EXPECT_EQ(pane.TextView(), line + "\nz");
    EXPECT_EQ(pane.UndoSteps(), 2);
    pane.undo();
    pane.undo();
    EXPECT_EQ(pane.Lines(), Lines{line});
    EXPECT_FALSE(pane.isUndoAvailable()) << "the text before is gone with its history";
  }
}

// AddressSanitizer ends a process that runs out of memory instead of throwing: the test runs
// without it only.
#if !defined(__SANITIZE_ADDRESS__)
// Fills a pane, then gives it a new text of one gigabyte with little more address space left
// than the process uses. The exit code: 0 when the pane refused the text and kept its own.
int ReplaceTextWithoutRoom() {
  EditorPane pane(EditorPane::Kind::Dest);
  QTest::keyClicks(&pane, "kept");
  // The editor makes room for the whole text first, so an untouched mapping can stand in for it.
  constexpr std::size_t kSize = std::size_t{1} << 30;
  void* huge =
      mmap(nullptr, kSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (huge == MAP_FAILED) return 2;
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  statm >> pages;
  const rlim_t room = static_cast<rlim_t>(pages) * static_cast<rlim_t>(getpagesize()) +
                      (rlim_t{256} << 20);
  const rlimit limit{room, room};
  if (setrlimit(RLIMIT_AS, &limit) != 0) return 3;
  bool refused = false;
  try {
    pane.ReplaceText(std::string_view(static_cast<const char*>(huge), kSize));
  } catch (const std::bad_alloc&) {
    refused = true;
  }
  return refused && pane.Lines() == Lines{"kept"} && pane.UndoSteps() == 1 ? 0 : 1;
}
#endif

// Without room in the editor for a new text, the pane keeps the text it has and the caller
// learns of it, as with a file that cannot be read, instead of an emptied pane that looks
// filled. Run in a child process, whose address space is limited.
TEST_F(EditorPaneTest, ANewTextWithoutRoomLeavesThePaneAsItWas) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "runs without AddressSanitizer only";
#else
  EXPECT_EXIT(std::_Exit(ReplaceTextWithoutRoom()), ::testing::ExitedWithCode(0), "");
#endif
}

TEST_F(EditorPaneTest, FailedSaveKeepsTargetsIntact) {
  EditorPane pane(EditorPane::Kind::Dest);
  pane.ReplaceLines({"cn: x"});
  try {
    pane.SaveFile(dir_.path().toStdString());
    ADD_FAILURE() << "saving over a directory succeeded";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()).rfind(
                  "Cannot create file \"" + dir_.path().toStdString() + "\". ", 0),
              0u)
        << e.what();
  }
  EXPECT_THROW(pane.SaveFile(PathOf("no/such/dir.ldif")), Error);

  struct stat before {};
  ASSERT_EQ(::stat("/dev/full", &before), 0);
  try {
    pane.SaveFile("/dev/full");
    ADD_FAILURE() << "a write to a full device succeeded";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Stream write error", 0), 0u) << e.what();
  }
  struct stat after {};
  ASSERT_EQ(::stat("/dev/full", &after), 0);
  EXPECT_TRUE(S_ISCHR(after.st_mode)) << "the device node must never be replaced";
  EXPECT_EQ(after.st_rdev, before.st_rdev);
  EXPECT_EQ(pane.Lines(), Lines{"cn: x"});
}

// Drags `paths` from the desktop onto the pane and drops them there, as the window system
// would. True when the pane took the drop.
bool DropFiles(EditorPane& pane, const std::vector<std::string>& paths) {
  QMimeData mime;
  QList<QUrl> urls;
  for (const std::string& path : paths) urls << QUrl::fromLocalFile(QString::fromStdString(path));
  mime.setUrls(urls);
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(pane.viewport(), &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(pane.viewport(), &drop);
  return drop.isAccepted();
}

TEST_F(EditorPaneTest, DroppedFilesAreOfferedToTheHandlerInOrder) {
  const std::string first = WriteFile("first.ldif", "dn: cn=1\n");
  const std::string second = WriteFile("second.ldif", "dn: cn=2\n");

  EditorPane pane(EditorPane::Kind::Source);
  EXPECT_TRUE(DropFiles(pane, {first, second}));
  EXPECT_EQ(pane.Lines(), Lines{"dn: cn=2"}) << "without a handler the pane loads each file";

  std::vector<std::string> offered;
  bool leaveDefault = true;
  pane.OnFileDrop = [&](EditorPane* sender, const std::string& fileName, bool& defaultHandler) {
    EXPECT_EQ(sender, &pane);
    EXPECT_TRUE(defaultHandler);
    offered.push_back(fileName);
    defaultHandler = leaveDefault;
  };
  DropFiles(pane, {first});
  EXPECT_EQ(pane.Lines(), Lines{"dn: cn=1"}) << "a handler leaving the default loads the file";

  leaveDefault = false;
  DropFiles(pane, {second, first});
  EXPECT_EQ(offered, (std::vector<std::string>{first, second, first}));
  EXPECT_EQ(pane.Lines(), Lines{"dn: cn=1"}) << "the handler took the files over";
}

TEST_F(EditorPaneTest, AFailedFileEndsTheDrop) {
  const std::string good = WriteFile("good.ldif", "dn: cn=1\n");
  EditorPane pane(EditorPane::Kind::Source);
  QTest::keyClicks(&pane, "kept");
  std::vector<std::string> errors;
  pane.OnError = [&](const std::exception& e) { errors.push_back(e.what()); };
  DropFiles(pane, {PathOf("missing.ldif"), good});
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("Cannot open file", 0), 0u);
  EXPECT_EQ(pane.Lines(), Lines{"kept"});
  EXPECT_TRUE(pane.IsModified());

  // An exception from the handler is reported the same way.
  pane.OnFileDrop = [](EditorPane*, const std::string&, bool&) { throw Error("refused"); };
  DropFiles(pane, {good, good});
  EXPECT_EQ(errors, (std::vector<std::string>{errors[0], "refused"}));
}

TEST_F(EditorPaneTest, TheResultPaneRefusesDrops) {
  const std::string file = WriteFile("f.ldif", "dn: cn=1\n");
  EditorPane dest(EditorPane::Kind::Dest);
  bool offered = false;
  dest.OnFileDrop = [&](EditorPane*, const std::string&, bool&) { offered = true; };
  EXPECT_FALSE(DropFiles(dest, {file}));
  EXPECT_FALSE(offered);
  EXPECT_EQ(dest.Lines(), Lines{""});
}

TEST_F(EditorPaneTest, ClickingAUrlOpensIt) {
  for (EditorPane::Kind kind : {EditorPane::Kind::Source, EditorPane::Kind::Dest}) {
    EditorPane pane(kind);
    pane.resize(600, 200);
    pane.show();
    pane.ReplaceLines({"mozillaworkurl: http://example.org/x y"});
    pane.SendScintilla(Sci::SCI_COLOURISE, 0UL, -1L);
    QStringList opened;
    pane.OpenUrl = [&](const QString& url) { opened << url; };

    auto pointAt = [&](long position) {  // the middle of the character at `position`
      auto x = [&](long p) { return pane.SendScintilla(Sci::SCI_POINTXFROMPOSITION, 0UL, p); };
      const long y = pane.SendScintilla(Sci::SCI_POINTYFROMPOSITION, 0UL, position) +
                     pane.SendScintilla(Sci::SCI_TEXTHEIGHT, 0UL) / 2;
      return QPoint(static_cast<int>((x(position) + x(position + 1)) / 2), static_cast<int>(y));
    };
    QTest::mouseClick(pane.viewport(), Qt::LeftButton, Qt::NoModifier, pointAt(3));
    EXPECT_TRUE(opened.isEmpty());
    QTest::mouseClick(pane.viewport(), Qt::LeftButton, Qt::NoModifier, pointAt(20));
    EXPECT_EQ(opened, QStringList{QStringLiteral("http://example.org/x")});
    EXPECT_EQ(pane.SendScintilla(Sci::SCI_GETSTYLEAT, 20UL), static_cast<long>(LdifStyle::Url));
  }
}

TEST_F(EditorPaneTest, HighlightingStylesOnlyWhatIsShown) {
  std::string book;
  for (int i = 0; i < 20000; ++i) book += "dn: cn=" + std::to_string(i) + "\ncn: x\n\n";
  EditorPane pane(EditorPane::Kind::Source);
  pane.resize(600, 300);
  pane.show();
  pane.LoadFile(WriteFile("big.ldif", book));
  pane.repaint();
  QApplication::processEvents();
  EXPECT_GT(pane.lexer()->styledBytes(), 0);
  EXPECT_LT(pane.lexer()->styledBytes(), 10000) << "only the shown lines are styled";
  EXPECT_EQ(pane.SendScintilla(Sci::SCI_GETSTYLEAT, 0UL), static_cast<long>(LdifStyle::KeywordA));

  // The block-comment state follows from the lines above, also after an edit far above.
  pane.ReplaceLines({"<!-- open", "cn: a", "-->", "cn: b"});
  QTest::keyClicks(&pane, "x");  // "x<!-- open" still opens the comment
  pane.SendScintilla(Sci::SCI_COLOURISE, 0UL, -1L);
  auto styleAtLine = [&](int line) {
    return pane.SendScintilla(Sci::SCI_GETSTYLEAT,
                              pane.SendScintilla(Sci::SCI_POSITIONFROMLINE, line));
  };
  EXPECT_EQ(styleAtLine(1), static_cast<long>(LdifStyle::Comment));
  EXPECT_EQ(styleAtLine(3), static_cast<long>(LdifStyle::KeywordA));
  pane.SendScintilla(Sci::SCI_SETSELECTION, 1UL, 6L);  // removes "<!-- "
  QTest::keyClick(&pane, Qt::Key_Delete);
  pane.SendScintilla(Sci::SCI_COLOURISE, 0UL, -1L);
  EXPECT_EQ(styleAtLine(1), static_cast<long>(LdifStyle::KeywordA));
}

TEST_F(EditorPaneTest, JumpToTheEndStylesTheRestInIdleTime) {
  // A comment opened on the first line covers everything: the last line must end up in the
  // comment style, but the jump itself styles only a little, the rest follows while idle.
  std::string book = "<!-- the whole book is a comment\n";
  for (int i = 0; i < 100000; ++i) book += "dn: cn=" + std::to_string(i) + "\ncn: x\n\n";
  EditorPane pane(EditorPane::Kind::Source);
  pane.resize(600, 300);
  pane.show();
  pane.LoadFile(WriteFile("big.ldif", book));
  pane.repaint();
  pane.SendScintilla(Sci::SCI_DOCUMENTEND);
  pane.repaint();
  QApplication::processEvents();
  const long length = pane.SendScintilla(Sci::SCI_GETLENGTH);
  EXPECT_LT(pane.lexer()->styledBytes(), length / 4) << "the jump styled the whole text";
  QElapsedTimer waited;
  waited.start();
  while (pane.SendScintilla(Sci::SCI_GETENDSTYLED) < length && waited.elapsed() < 20000) {
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  ASSERT_EQ(pane.SendScintilla(Sci::SCI_GETENDSTYLED), length);
  const long lastLine = pane.SendScintilla(Sci::SCI_GETLINECOUNT) - 2;
  EXPECT_EQ(pane.SendScintilla(Sci::SCI_GETSTYLEAT,
                               pane.SendScintilla(Sci::SCI_POSITIONFROMLINE, lastLine)),
            static_cast<long>(LdifStyle::Comment));
}

}  // namespace
}  // namespace quorvane
