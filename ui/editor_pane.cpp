// The editor pane behind `source` and `dest`: QScintilla holding 8-bit lines byte for byte.
#include "ui/editor_pane.h"

#include <Qsci/qscicommand.h>
#include <Qsci/qscicommandset.h>

#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <iterator>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/error.h"
#include "engine/text_lines.h"
#include "platform/file_io.h"
#include "ui/ldif_lexer.h"
#include "ui/ldif_styler.h"

// The editor's interface for filling a document away from any view (its "loader"), declared
// as the editor library built here declares it, in the global namespace; the Qt package does
// not install that header. A loader comes from SCI_CREATELOADER, may be filled on any thread,
// and either becomes a document through ConvertToDocument or is dropped through Release.
class ILoader {
 public:
  virtual int Release() = 0;
  // 0, or an SC_STATUS_* failure code.
  virtual int AddData(char* data, std::ptrdiff_t length) = 0;
  virtual void* ConvertToDocument() = 0;
};

namespace quorvane {

namespace {

using Sci = QsciScintillaBase;

// Our own clipboard and drag format: the selected bytes exactly, so that text copied or
// dragged between the panes keeps bytes that are not valid UTF-8.
const QString kBytesMimeType = QStringLiteral("application/x-quorvane-line-bytes");

// How far up smart Tab and Backspace look for word columns.
constexpr long kSmartTabSearchLines = 200;
// SaveFile hands the writer blocks of about this size.
constexpr std::size_t kSaveBlock = std::size_t{1} << 20;
// LoadFile reads the file in chunks of this size.
constexpr std::size_t kReadChunk = std::size_t{1} << 20;
// BuildText hands the editor's loader blocks of about this size, and lets the producer run at
// most this many blocks ahead of it.
constexpr std::size_t kBuildBlock = std::size_t{1} << 20;
constexpr std::size_t kBuildBlocksAhead = 4;

// 13 pixels at 96 dots per inch. The editor sizes its styles in points, and a font given in
// pixels has no point size, so it is given in points.
constexpr double kPaneFontPoints = 13.0 * 72.0 / 96.0;

QFont PaneFont() {
  QFont font(QStringLiteral("Courier New"));
  font.setPointSizeF(kPaneFontPoints);
  if (QFontInfo(font).family().compare(QStringLiteral("Courier New"), Qt::CaseInsensitive) != 0) {
    font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(kPaneFontPoints);
  }
  return font;
}

// Calls onLine for every line of the editor's text: the editor ends a line at CR LF, a lone LF
// or a lone CR, and always holds at least one (possibly empty) line.
template <class OnLine>
void ForEachEditorLine(std::string_view text, OnLine&& onLine) {
  const char* pos = text.data();
  const char* const end = pos + text.size();
  for (;;) {
    const char* stop = pos;
    while (stop != end && *stop != '\n' && *stop != '\r') ++stop;
    onLine(std::string_view(pos, static_cast<std::size_t>(stop - pos)));
    if (stop == end) return;
    pos = stop + 1;
    if (*stop == '\r' && pos != end && *pos == '\n') ++pos;
  }
}

// A file read in chunks, with the messages ReadWholeFile gives.
class FileChunks {
 public:
  explicit FileChunks(const std::string& fileName) : fileName_(fileName) {
    fd_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) Fail(errno);
    struct stat info {};
    if (::fstat(fd_, &info) != 0) Fail(errno);
    if (S_ISDIR(info.st_mode)) Fail(EISDIR);
    if (S_ISREG(info.st_mode)) size_ = static_cast<std::size_t>(info.st_size);
  }
  FileChunks(const FileChunks&) = delete;
  FileChunks& operator=(const FileChunks&) = delete;
  ~FileChunks() {
    if (fd_ >= 0) ::close(fd_);
  }

  // The size of a regular file, 0 for pipes and devices.
  std::size_t size() const { return size_; }

  // The next bytes, at most `room`; 0 at the end of the file.
  std::size_t Read(char* into, std::size_t room) {
    for (;;) {
      const ssize_t n = ::read(fd_, into, room);
      if (n >= 0) return static_cast<std::size_t>(n);
      if (errno != EINTR) Fail(errno);
    }
  }

 private:
  [[noreturn]] void Fail(int errnoValue) {
    throw Error("Cannot open file \"" + FullPath(fileName_) + "\". " + SystemReason(errnoValue));
  }

  std::string fileName_;
  int fd_ = -1;
  std::size_t size_ = 0;
};

// Text entering by typing, pasting or dropping: the TAB rule, line ends as the editor keeps
// them (LF), and no NUL bytes, which a saved file could not carry back in.
QByteArray NormaliseEnteredText(const QByteArray& in) {
  QByteArray out;
  out.reserve(in.size());
  for (qsizetype i = 0; i < in.size(); ++i) {
    const char c = in[i];
    if (c == '\t') {
      out.append(kTabSpaces.data(), static_cast<qsizetype>(kTabSpaces.size()));
    } else if (c == '\r') {
      out.append('\n');
      if (i + 1 < in.size() && in[i + 1] == '\n') ++i;
    } else if (c != '\0') {
      out.append(c);
    }
  }
  return out;
}

// The columns where a word starts in `line` (a non-blank at the start or after a blank), up
// to and including the first one beyond `limit`.
std::vector<long> WordColumns(std::string_view line, long limit) {
  std::vector<long> columns;
  long column = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if ((c & 0xC0) == 0x80) continue;  // UTF-8 continuation bytes take no column
    if (c != ' ' && (i == 0 || line[i - 1] == ' ')) {
      columns.push_back(column);
      if (column > limit) break;
    }
    ++column;
  }
  return columns;
}

bool AllBlanks(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
}

// Marks the text as changed by the program (no undo step) for the life of the guard.
class ProgrammaticChange {
 public:
  explicit ProgrammaticChange(bool& flag) : flag_(flag) { flag_ = true; }
  ProgrammaticChange(const ProgrammaticChange&) = delete;
  ProgrammaticChange& operator=(const ProgrammaticChange&) = delete;
  ~ProgrammaticChange() { flag_ = false; }

 private:
  bool& flag_;
};

}  // namespace

EditorPane::EditorPane(Kind kind, QWidget* parent) : QsciScintilla(parent), kind_(kind) {
  createLook();
  createBehaviour();
}

EditorPane::~EditorPane() = default;

void EditorPane::createLook() {
  const QFont font = PaneFont();
  setUtf8(true);
  setFont(font);
  lexer_ = new LdifLexer(kind_ == Kind::Source ? LdifLexer::Mode::Full : LdifLexer::Mode::UrlsOnly,
                         font, this);
  setLexer(lexer_);
  // The panes show no annotations; while they are visible the editor walks every line of a
  // text each time the pane takes a new one.
  SendScintilla(SCI_ANNOTATIONSETVISIBLE, static_cast<unsigned long>(ANNOTATION_HIDDEN));
  // A jump into a large text styles what is shown first and the text above it in idle time,
  // so the pane answers at once wherever the user scrolls.
  SendScintilla(SCI_SETIDLESTYLING, static_cast<unsigned long>(SC_IDLESTYLING_TOVISIBLE));
  // URL runs are hotspots: the editor shows a pointing hand over them and reports a click.
  SendScintilla(SCI_STYLESETHOTSPOT, static_cast<unsigned long>(LdifStyle::Url), 1L);

  setMarginType(0, NumberMargin);
  setMarginLineNumbers(0, true);
  setMarginsFont(font);
  marginsFont_ = font;
  fitLineNumbers();
  connect(this, &QsciScintilla::linesChanged, this, &EditorPane::fitLineNumbers);
  setMarginWidth(1, 0);
  setMarginWidth(2, 0);

  setEdgeMode(EdgeLine);
  setEdgeColumn(80);
  setEdgeColor(QColor(226, 226, 226));
  setWrapMode(WrapNone);
  setSelectionForegroundColor(QColor(255, 255, 255));
  setSelectionBackgroundColor(QColor(0, 0, 128));
}

// The gutter holds four digits, and more once the text has more lines than that.
void EditorPane::fitLineNumbers() {
  const int digits = std::max(4, static_cast<int>(std::to_string(std::max(1, LineCount())).size()));
  if (digits == gutterDigits_) return;
  gutterDigits_ = digits;
  setMarginWidth(
      0, QFontMetrics(marginsFont_).horizontalAdvance(QString(digits, QLatin1Char('0'))) + 8);
}

void EditorPane::createBehaviour() {
  setEolMode(EolUnix);
  SendScintilla(SCI_SETPASTECONVERTENDINGS, 1UL);
  setTabWidth(kTabSize);
  setIndentationsUseTabs(false);
  setAutoIndent(false);  // Enter is handled here, so that it copies the leading spaces exactly

  // Undo and redo go through undo()/redo(), which keep the step limit.
  for (QsciCommand::Command command : {QsciCommand::Undo, QsciCommand::Redo}) {
    if (QsciCommand* binding = standardCommands()->find(command)) {
      binding->setKey(0);
      binding->setAlternateKey(0);
    }
  }
  viewport()->setAcceptDrops(true);  // refusals happen in the drag handlers below
  connect(this, &QsciScintillaBase::SCN_MODIFIED, this, &EditorPane::handleModified);
  connect(this, &QsciScintillaBase::SCN_HOTSPOTCLICK, this, &EditorPane::handleHotspotClick);
  OpenUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl::fromUserInput(url)); };
}

int EditorPane::LineCount() const {
  if (noLines_) return 0;
  return static_cast<int>(SendScintilla(SCI_GETLINECOUNT));
}

std::string EditorPane::Line(int index) const {
  if (index < 0 || index >= LineCount()) {
    throw std::out_of_range("line index " + std::to_string(index) + " out of range");
  }
  return std::string(lineView(index));
}

// The bytes of `line` where the editor keeps them: valid only until the next call that reads
// or changes the text (reading another range may move the text inside the editor's buffer).
std::string_view EditorPane::lineView(long line) const {
  const long start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
  const long end = SendScintilla(SCI_GETLINEENDPOSITION, static_cast<unsigned long>(line));
  if (start < 0 || end <= start) return {};
  const auto* bytes = reinterpret_cast<const char*>(
      SendScintilla(SCI_GETRANGEPOINTER, static_cast<unsigned long>(start), end - start));
  return std::string_view(bytes, static_cast<std::size_t>(end - start));
}

std::vector<std::string> EditorPane::Lines() const {
  std::vector<std::string> lines;
  if (noLines_) return lines;
  lines.reserve(static_cast<std::size_t>(LineCount()));
  ForEachEditorLine(TextView(), [&lines](std::string_view line) { lines.emplace_back(line); });
  return lines;
}

std::string_view EditorPane::TextView() const {
  if (noLines_) return {};
  const long length = SendScintilla(SCI_GETLENGTH);
  if (length == 0) return {};
  const auto* bytes = static_cast<const char*>(SendScintillaPtrResult(SCI_GETCHARACTERPOINTER));
  return std::string_view(bytes, static_cast<std::size_t>(length));
}

void EditorPane::LoadFile(const std::string& fileName) {
  // The pane shows the new text only once the whole file is read: a file that cannot be read
  // leaves text, history and modified state alone.
  FileChunks file(fileName);
  std::size_t stopLine = 0;
  BuildText(file.size(), [&file, &stopLine](LineBuilder& out) {
    LineSplitter splitter;
    auto keep = [&out](std::string_view line) { out.AddLine(line); };
    std::string chunk(kReadChunk, '\0');
    while (!splitter.Stopped()) {
      const std::size_t got = file.Read(chunk.data(), chunk.size());
      if (got == 0) break;
      splitter.Feed(std::string_view(chunk.data(), got), keep);
    }
    splitter.Finish(keep);
    stopLine = splitter.StopLine();
  });
  modified_ = false;
  loadStopLine_ = stopLine;
}

void EditorPane::SaveFile(const std::string& fileName) const {
  WriteFileSafely(fileName, [this](const ByteWriter& write) {
    if (LineCount() == 0) return;
    std::string block;
    block.reserve(kSaveBlock + 2);
    ForEachEditorLine(TextView(), [&](std::string_view line) {
      if (line.size() >= kSaveBlock) {
        write(block);
        block.clear();
        write(line);
      } else {
        block.append(line);
      }
      block.append("\r\n");
      if (block.size() >= kSaveBlock) {
        write(block);
        block.clear();
      }
    });
    if (!block.empty()) write(block);
  });
}

void EditorPane::ReplaceLines(const std::vector<std::string>& lines) {
  std::size_t size = 0;
  for (const std::string& line : lines) size += line.size() + 1;
  std::string text;
  text.reserve(size);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text.push_back('\n');
    text.append(lines[i]);
  }
  setWholeText(text, lines.empty());
}

void EditorPane::ReplaceText(std::string_view linesEachEndedByLF) {
  const bool noLines = linesEachEndedByLF.empty();
  if (!noLines && linesEachEndedByLF.back() == '\n') linesEachEndedByLF.remove_suffix(1);
  setWholeText(linesEachEndedByLF, noLines);
}

void EditorPane::setWholeText(std::string_view text, bool noLines) {
  {
    ProgrammaticChange change(programmatic_);
    // Change notifications are off meanwhile: the widget would otherwise convert the whole
    // text to UTF-16 for accessibility, doubling the time a large file takes to load.
    const long eventMask = SendScintilla(SCI_GETMODEVENTMASK);
    SendScintilla(SCI_SETMODEVENTMASK, 0UL);
    SendScintilla(SCI_SETUNDOCOLLECTION, 0UL);
    SendScintilla(SCI_CLEARALL);
    if (!text.empty()) SendScintilla(SCI_APPENDTEXT, text.size(), text.data());
    SendScintilla(SCI_EMPTYUNDOBUFFER);
    SendScintilla(SCI_SETUNDOCOLLECTION, 1UL);
    SendScintilla(SCI_SETMODEVENTMASK, static_cast<unsigned long>(eventMask));
    SendScintilla(SCI_DOCUMENTSTART);
  }
  textReplaced(noLines);
}

void EditorPane::adoptDocument(void* document, bool noLines) {
  // Settings the editor keeps with the document rather than with the view; a new document
  // starts from the editor's defaults, so the pane's own are carried over.
  static constexpr std::pair<unsigned int, unsigned int> kDocumentSettings[] = {
      {SCI_GETCODEPAGE, SCI_SETCODEPAGE},
      {SCI_GETEOLMODE, SCI_SETEOLMODE},
      {SCI_GETTABWIDTH, SCI_SETTABWIDTH},
      {SCI_GETUSETABS, SCI_SETUSETABS},
      {SCI_GETINDENT, SCI_SETINDENT},
      {SCI_GETTABINDENTS, SCI_SETTABINDENTS},
      {SCI_GETBACKSPACEUNINDENTS, SCI_SETBACKSPACEUNINDENTS},
      {SCI_GETREADONLY, SCI_SETREADONLY},
  };
  long values[std::size(kDocumentSettings)];
  for (std::size_t i = 0; i < std::size(kDocumentSettings); ++i) {
    values[i] = SendScintilla(kDocumentSettings[i].first);
  }
  {
    ProgrammaticChange change(programmatic_);
    SendScintilla(SCI_SETDOCPOINTER, 0UL, document);
    SendScintilla(SCI_RELEASEDOCUMENT, 0UL, document);  // the view holds it now
    for (std::size_t i = 0; i < std::size(kDocumentSettings); ++i) {
      SendScintilla(kDocumentSettings[i].second, static_cast<unsigned long>(values[i]));
    }
    SendScintilla(SCI_SETUNDOCOLLECTION, 1UL);  // a loader's document starts without
    SendScintilla(SCI_DOCUMENTSTART);
  }
  textReplaced(noLines);
}

void EditorPane::textReplaced(bool noLines) {
  noLines_ = noLines;
  undoSteps_ = 0;
  redoSteps_ = 0;
  emit textChanged();
  emit linesChanged();
}

// ---- Building a text on a helper thread -------------------------------------------------------

// The producer fills `block`; full blocks wait in `full` for the pane's thread, which hands
// them to the editor's loader and returns the emptied buffers to `spare`, so the same few
// buffers serve the whole text.
struct EditorPane::LineBuilder::State {
  std::string block;
  bool anyLine = false;

  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::string> full;
  std::vector<std::string> spare;
  bool finished = false;   // the producer has handed over its last block
  bool abandoned = false;  // the pane's thread takes no more blocks
};

EditorPane::LineBuilder::LineBuilder() : state_(std::make_unique<State>()) {
  state_->block.reserve(kBuildBlock + kBuildBlock / 8);
}

EditorPane::LineBuilder::~LineBuilder() = default;

void EditorPane::LineBuilder::AddLine(std::string_view line) {
  State& s = *state_;
  if (s.anyLine) s.block.push_back('\n');
  s.anyLine = true;
  s.block.append(line);
  if (s.block.size() >= kBuildBlock) handOver();
}

void EditorPane::LineBuilder::AddText(std::string_view lines) {
  if (lines.empty()) return;
  State& s = *state_;
  if (s.anyLine) s.block.push_back('\n');
  s.anyLine = true;
  s.block.append(lines.substr(0, lines.size() - 1));  // its last LF separates it from the next
  if (s.block.size() >= kBuildBlock) handOver();
}

// Passes the block being filled to the pane's thread, waiting while that is too far behind.
void EditorPane::LineBuilder::handOver() {
  State& s = *state_;
  std::unique_lock<std::mutex> lock(s.mutex);
  s.changed.wait(lock, [&s] { return s.full.size() < kBuildBlocksAhead || s.abandoned; });
  if (s.abandoned) {
    s.block.clear();
    return;
  }
  s.full.push_back(std::move(s.block));
  if (s.spare.empty()) {
    s.block = std::string();
    s.block.reserve(kBuildBlock + kBuildBlock / 8);
  } else {
    s.block = std::move(s.spare.back());
    s.spare.pop_back();
  }
  lock.unlock();
  s.changed.notify_all();
}

void EditorPane::BuildText(std::size_t expectedBytes,
                           const std::function<void(LineBuilder& out)>& produce) {
  LineBuilder builder;
  LineBuilder::State& s = *builder.state_;
  std::exception_ptr failure;
  auto finish = [&s] {
    {
      const std::lock_guard<std::mutex> lock(s.mutex);
      s.finished = true;
    }
    s.changed.notify_all();
  };
  std::thread producer([&] {
    try {
      produce(builder);
      if (!s.block.empty()) builder.handOver();
    } catch (...) {
      failure = std::current_exception();
    }
    finish();
  });
  // Whatever happens here, the producer is released and waited for before the builder goes.
  struct JoinAtEnd {
    LineBuilder::State& s;
    std::thread& producer;
    ~JoinAtEnd() {
      {
        const std::lock_guard<std::mutex> lock(s.mutex);
        s.abandoned = true;
      }
      s.changed.notify_all();
      producer.join();
    }
  } joinAtEnd{s, producer};

  // Made here, while the producer starts: the editor clears the room it sets aside. One byte
  // more than expected, because an insertion that fills the room exactly makes the editor move
  // the whole text to new room (a file without a final line break fills it exactly).
  auto* loader = reinterpret_cast<ILoader*>(
      SendScintilla(SCI_CREATELOADER, static_cast<unsigned long>(expectedBytes + 1), 0L));
  int status = loader != nullptr ? 0 : -1;
  std::unique_lock<std::mutex> lock(s.mutex);
  for (;;) {
    s.changed.wait(lock, [&s] { return !s.full.empty() || s.finished; });
    if (s.full.empty()) break;
    std::string block = std::move(s.full.front());
    s.full.pop_front();
    lock.unlock();
    s.changed.notify_all();
    if (status == 0) {
      status = loader->AddData(block.data(), static_cast<std::ptrdiff_t>(block.size()));
    }
    block.clear();
    lock.lock();
    s.spare.push_back(std::move(block));
  }
  lock.unlock();
  if (failure || status != 0) {
    if (loader != nullptr) loader->Release();
    if (failure) std::rethrow_exception(failure);
    throw std::bad_alloc();
  }
  adoptDocument(loader->ConvertToDocument(), !s.anyLine);
}

bool EditorPane::IsModified() const {
  return modified_;
}

void EditorPane::handleModified(int /*position*/, int type, const char* /*text*/, int /*length*/,
                                int /*linesAdded*/, int /*line*/, int /*foldNow*/, int /*foldPrev*/,
                                int /*token*/, int /*annotationLines*/) {
  if (programmatic_ || (type & (SC_MOD_INSERTTEXT | SC_MOD_DELETETEXT)) == 0) return;
  if ((type & SC_PERFORMED_USER) == 0) return;  // undo and redo record no step
  noLines_ = false;
  modified_ = true;
  redoSteps_ = 0;
  // The editor merges consecutive typing and deletions into its last step; a change that
  // starts a new step is flagged. Beyond the limit the oldest steps stop being reachable.
  // A change merged into a step that is no longer reachable makes that step reachable again.
  if ((type & SC_STARTACTION) != 0 || undoSteps_ == 0) {
    undoSteps_ = std::min(undoSteps_ + 1, kUndoLimit);
  }
}

void EditorPane::undo() {
  if (undoSteps_ == 0) return;
  QsciScintilla::undo();
  --undoSteps_;
  ++redoSteps_;
}

void EditorPane::redo() {
  if (redoSteps_ == 0) return;
  QsciScintilla::redo();
  --redoSteps_;
  undoSteps_ = std::min(undoSteps_ + 1, kUndoLimit);
}

void EditorPane::handleHotspotClick(int position, int /*modifiers*/) {
  const long line = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(position));
  const long start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
  const std::string_view url = UrlRunAt(lineView(line), static_cast<std::size_t>(position - start));
  if (!url.empty() && OpenUrl) {
    OpenUrl(QString::fromUtf8(url.data(), static_cast<qsizetype>(url.size())));
  }
}

void EditorPane::keyPressEvent(QKeyEvent* e) {
  const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
  const int key = e->key();
  if ((key == Qt::Key_Z && mods == Qt::ControlModifier) ||
      (key == Qt::Key_Backspace && mods == Qt::AltModifier)) {
    undo();
    return;
  }
  if ((key == Qt::Key_Y && mods == Qt::ControlModifier) ||
      (key == Qt::Key_Z && mods == (Qt::ControlModifier | Qt::ShiftModifier))) {
    redo();
    return;
  }
  if (!isReadOnly()) {
    if (key == Qt::Key_Tab && mods == Qt::NoModifier) {
      if (kind_ != Kind::Source || !smartTab()) insertTyped(std::string(kTabSpaces));
      return;
    }
    if (key == Qt::Key_Backspace && mods == Qt::NoModifier && kind_ == Kind::Source &&
        smartBackspace()) {
      return;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
        (mods == Qt::NoModifier || mods == Qt::ShiftModifier)) {
      newLineWithIndent();
      return;
    }
    if (e->text().contains(QLatin1Char('\t'))) {
      insertTyped(NormaliseEnteredText(e->text().toUtf8()).toStdString());
      return;
    }
  }
  QsciScintilla::keyPressEvent(e);
}

// Replaces the selection with `bytes` as one undo step, as typing over it would.
void EditorPane::insertTyped(const std::string& bytes) {
  SendScintilla(SCI_REPLACESEL, 0UL, bytes.c_str());
}

// Tab in the leading blanks of a line moves to the next word column of the nearest line above
// that has one to the right of the caret. False when there is none (the caller inserts the
// plain four spaces).
bool EditorPane::smartTab() {
  if (hasSelectedText()) return false;
  const long pos = SendScintilla(SCI_GETCURRENTPOS);
  const long line = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(pos));
  const long start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
  const std::size_t offset = static_cast<std::size_t>(pos - start);
  if (!AllBlanks(lineView(line).substr(0, offset))) return false;
  const long column = static_cast<long>(offset);
  for (long above = line - 1; above >= 0 && above >= line - kSmartTabSearchLines; --above) {
    for (long word : WordColumns(lineView(above), column)) {
      if (word > column) {
        insertTyped(std::string(static_cast<std::size_t>(word - column), ' '));
        return true;
      }
    }
  }
  return false;
}

// Backspace in the leading blanks of a line goes back to the nearest word column left of the
// caret on the lines above, removing blanks only. False when there is none (the caller does a
// plain Backspace).
bool EditorPane::smartBackspace() {
  if (hasSelectedText()) return false;
  const long pos = SendScintilla(SCI_GETCURRENTPOS);
  const long line = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(pos));
  const long start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
  const std::size_t offset = static_cast<std::size_t>(pos - start);
  if (offset == 0 || !AllBlanks(lineView(line).substr(0, offset))) return false;
  const long column = static_cast<long>(offset);
  for (long above = line - 1; above >= 0 && above >= line - kSmartTabSearchLines; --above) {
    long target = -1;
    for (long word : WordColumns(lineView(above), column)) {
      if (word < column) target = word;
    }
    if (target >= 0) {
      SendScintilla(SCI_DELETERANGE, static_cast<unsigned long>(start + target), column - target);
      return true;
    }
  }
  return false;
}

// Enter gives the new line the leading spaces of the line it breaks.
void EditorPane::newLineWithIndent() {
  const long pos = SendScintilla(SCI_GETSELECTIONSTART);
  const long line = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(pos));
  const long start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
  const std::string_view current = lineView(line);
  const std::size_t before = static_cast<std::size_t>(pos - start);
  std::size_t indent = 0;
  while (indent < current.size() && indent < before && current[indent] == ' ') ++indent;
  std::string lineBreak(indent + 1, ' ');
  lineBreak[0] = '\n';
  insertTyped(lineBreak);
}

QByteArray EditorPane::fromMimeData(const QMimeData* source, bool& rectangular) const {
  QByteArray bytes = QsciScintilla::fromMimeData(source, rectangular);
  if (source->hasFormat(kBytesMimeType)) bytes = source->data(kBytesMimeType);
  return NormaliseEnteredText(bytes);
}

QMimeData* EditorPane::toMimeData(const QByteArray& text, bool rectangular) const {
  QMimeData* mime = QsciScintilla::toMimeData(text, rectangular);
  mime->setData(kBytesMimeType, text);
  return mime;
}

bool EditorPane::canInsertFromMimeData(const QMimeData* source) const {
  return source->hasFormat(kBytesMimeType) || QsciScintilla::canInsertFromMimeData(source);
}

// Files come from the desktop (no drag source inside the program); text is dragged from an
// editor pane. Only the source pane takes either, and text only from itself.
bool EditorPane::acceptsDrag(const QDropEvent* e) {
  if (kind_ != Kind::Source) return false;
  if (e->source() == nullptr) return e->mimeData()->hasUrls();
  auto* from = qobject_cast<EditorPane*>(e->source());
  if (from == nullptr) return false;
  bool accept = false;
  if (OnDragOver) {
    const QPoint at = e->position().toPoint();
    OnDragOver(this, e->source(), at.x(), at.y(), accept);
  }
  return accept && from == this;
}

// Files from the desktop are answered here; text dragged within the pane is the editor's own.
bool EditorPane::answeredDrag(QDragMoveEvent* e) {
  if (!acceptsDrag(e)) {
    e->ignore();
  } else if (e->source() == nullptr) {
    e->acceptProposedAction();
  } else {
    return false;
  }
  return true;
}

void EditorPane::dragEnterEvent(QDragEnterEvent* e) {
  if (!answeredDrag(e)) QsciScintilla::dragEnterEvent(e);
}

void EditorPane::dragMoveEvent(QDragMoveEvent* e) {
  if (!answeredDrag(e)) QsciScintilla::dragMoveEvent(e);
}

void EditorPane::dropEvent(QDropEvent* e) {
  if (!acceptsDrag(e)) {
    e->ignore();
    return;
  }
  if (e->source() == nullptr) {
    const QList<QUrl> urls = e->mimeData()->urls();
    e->acceptProposedAction();
    dropFiles(urls);
    return;
  }
  QsciScintilla::dropEvent(e);
}

void EditorPane::dropFiles(const QList<QUrl>& urls) {
  for (const QUrl& url : urls) {
    const std::string path = QFile::encodeName(url.toLocalFile()).toStdString();
    if (path.empty()) continue;
    try {
      bool defaultHandler = true;
      if (OnFileDrop) OnFileDrop(this, path, defaultHandler);
      if (defaultHandler) LoadFile(path);
    } catch (const std::exception& error) {
      // Exceptions must not cross Qt's event loop; the failure ends this drop.
      if (OnError) {
        OnError(error);
      } else {
        QMessageBox::critical(this, QStringLiteral("Quorvane"),
                              QString::fromLocal8Bit(error.what()));
      }
      return;
    }
  }
}

}  // namespace quorvane
