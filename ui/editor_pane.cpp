// The editor pane behind `source` and `dest`: QScintilla holding 8-bit lines byte for byte.
#include "ui/editor_pane.h"

#include <Qsci/qscicommand.h>
#include <Qsci/qscicommandset.h>

#include <QDesktopServices>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QUrl>
#include <algorithm>
#include <cstddef>
#include <iterator>
#include <new>
#include <stdexcept>
#include <utility>

#include "engine/text_lines.h"
#include "platform/file_io.h"
#include "ui/ldif_lexer.h"
#include "ui/ldif_styler.h"

// The editor's interface for filling a document away from any view (its "loader"), declared
// as the editor library built here declares it, in the global namespace; the Qt package does
// not install that header. A loader comes from SCI_CREATELOADER and either becomes a document
// through ConvertToDocument or is dropped through Release.
class ILoader {
 public:
  virtual int Release() = 0;
  // 0, or an SC_STATUS_* failure code. The editor copies the bytes and never writes to them.
  virtual int AddData(char* data, std::ptrdiff_t length) = 0;
  virtual void* ConvertToDocument() = 0;
};

namespace quorvane {

namespace {

// LoadFile reads the file in chunks of this size.
constexpr std::size_t kReadChunk = std::size_t{1} << 20;
// Lines go into a new text in blocks of about this size.
constexpr std::size_t kFillBlock = std::size_t{1} << 20;

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

}  // namespace

QByteArray EditorPane::normaliseEnteredText(const QByteArray& in) {
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

namespace {

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
  if (kind_ == Kind::Source) {
    // The editor's text area takes the mouse, so the explanation hangs on it as well.
    setToolTip(kSourceHighlightingTip);
    viewport()->setToolTip(kSourceHighlightingTip);
  }
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

// The lines of a new text, LF between them and none after the last, gathered in blocks for the
// editor's loader. The text's room is made at the start, one byte more than expected: an
// insertion that fills the room exactly makes the editor move the whole text to new room.
class EditorPane::NewText {
 public:
  NewText(const EditorPane& pane, std::size_t expectedBytes)
      : loader_(reinterpret_cast<ILoader*>(pane.SendScintilla(
            SCI_CREATELOADER, static_cast<unsigned long>(expectedBytes + 1), 0L))) {
    if (loader_ == nullptr) throw std::bad_alloc();
    block_.reserve(kFillBlock + kFillBlock / 8);
  }
  NewText(const NewText&) = delete;
  NewText& operator=(const NewText&) = delete;
  // A text that was never shown is dropped with its document.
  ~NewText() {
    if (loader_ != nullptr) loader_->Release();
  }

  void AddLine(std::string_view line) {
    if (anyLine_) block_.push_back('\n');
    anyLine_ = true;
    block_.append(line);
    if (block_.size() >= kFillBlock) Flush();
  }
  // Lines already joined by LF, without one after the last, are taken in one piece.
  void AddJoinedLines(std::string_view lines) {
    if (anyLine_) block_.push_back('\n');
    anyLine_ = true;
    Flush();
    Hand(lines);
  }
  bool AnyLine() const { return anyLine_; }
  // The finished document, which the caller now owns (one reference).
  void* TakeDocument() {
    Flush();
    return std::exchange(loader_, nullptr)->ConvertToDocument();
  }

 private:
  void Flush() {
    Hand(block_);
    block_.clear();
  }
  void Hand(std::string_view bytes) {
    if (bytes.empty()) return;
    // A text the editor could not take whole is not shown at all: it fails as a file that
    // cannot be read does, instead of leaving a pane that holds part of it.
    if (loader_->AddData(const_cast<char*>(bytes.data()),
                         static_cast<std::ptrdiff_t>(bytes.size())) != 0) {
      throw std::bad_alloc();
    }
  }

  ILoader* loader_;
  std::string block_;
  bool anyLine_ = false;
};

void EditorPane::LoadFile(const std::string& fileName) {
  // The pane changes only once the whole file is read: a file that cannot be opened or read
  // leaves text, history and modified state alone. The lines go straight from each chunk read
  // into the new document, without a copy of the whole text on the way.
  FileReader file(fileName);
  NewText text(*this, file.SizeHint());
  auto keep = [&text](std::string_view line) { text.AddLine(line); };
  LineSplitter splitter;
  std::string chunk(kReadChunk, '\0');
  while (!splitter.Stopped()) {
    const std::size_t got = file.Read(chunk.data(), chunk.size());
    if (got == 0) break;
    splitter.Feed(std::string_view(chunk.data(), got), keep);
  }
  splitter.Finish(keep);
  showText(text);
  modified_ = false;
  loadStopLine_ = splitter.StopLine();
}

void EditorPane::SaveFile(const std::string& fileName) const {
  WriteFileSafely(fileName, [this](const ByteWriter& write) {
    if (LineCount() == 0) return;
    BufferedWriter out(write);
    ForEachEditorLine(TextView(), [&out](std::string_view line) {
      out.Write(line);
      out.Write("\r\n");
    });
    out.Flush();
  });
}

void EditorPane::ReplaceLines(const std::vector<std::string>& lines) {
  std::size_t size = 0;
  for (const std::string& line : lines) size += line.size() + 1;
  NewText text(*this, size);
  for (const std::string& line : lines) text.AddLine(line);
  showText(text);
}

void EditorPane::ReplaceText(std::string_view linesEachEndedByLF) {
  std::string_view lines = linesEachEndedByLF;
  if (!lines.empty() && lines.back() == '\n') lines.remove_suffix(1);
  NewText text(*this, lines.size());
  if (!linesEachEndedByLF.empty()) text.AddJoinedLines(lines);
  showText(text);
}

void EditorPane::showText(NewText& text) {
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
  const bool noLines = !text.AnyLine();
  void* document = text.TakeDocument();
  {
    ProgrammaticChange change(programmatic_);
    // The view takes the document and the undo history of the old text goes with that text.
    // QsciScintilla's document() does not follow the swap; the panes never share a document.
    SendScintilla(SCI_SETDOCPOINTER, 0UL, document);
    SendScintilla(SCI_RELEASEDOCUMENT, 0UL, document);  // the view holds it now
    for (std::size_t i = 0; i < std::size(kDocumentSettings); ++i) {
      SendScintilla(kDocumentSettings[i].second, static_cast<unsigned long>(values[i]));
    }
    SendScintilla(SCI_SETUNDOCOLLECTION, 1UL);  // a loader's document starts without
    // Caret and view to the start without making the editor show the caret: that would lay
    // out the whole first line, which takes seconds for a file of one long line.
    SendScintilla(SCI_SETEMPTYSELECTION, 0UL);
    SendScintilla(SCI_SETFIRSTVISIBLELINE, 0UL);
    SendScintilla(SCI_SETXOFFSET, 0UL);
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

}  // namespace quorvane
