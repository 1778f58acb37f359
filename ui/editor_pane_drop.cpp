// The editor pane's clipboard, dragging and dropped files: bytes kept exactly, files loaded.
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>
#include <exception>

#include "ui/editor_pane.h"

namespace quorvane {
namespace {

// Our own clipboard and drag format: the selected bytes exactly, so that text copied or
// dragged between the panes keeps bytes that are not valid UTF-8.
const QString kBytesMimeType = QStringLiteral("application/x-quorvane-line-bytes");

}  // namespace

QByteArray EditorPane::fromMimeData(const QMimeData* source, bool& rectangular) const {
  QByteArray bytes = QsciScintilla::fromMimeData(source, rectangular);
  if (source->hasFormat(kBytesMimeType)) bytes = source->data(kBytesMimeType);
  return normaliseEnteredText(bytes);
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
    QStringList fileNames;
    for (const QUrl& url : e->mimeData()->urls()) fileNames.push_back(url.toLocalFile());
    e->acceptProposedAction();
    DropFiles(fileNames);
    return;
  }
  QsciScintilla::dropEvent(e);
}

void EditorPane::DropFiles(const QStringList& fileNames) {
  QStringList named;
  for (const QString& fileName : fileNames) {
    if (!fileName.isEmpty()) named.push_back(fileName);
  }
  if (named.isEmpty() || (OnFilesDropping && !OnFilesDropping(named))) return;
  for (const QString& fileName : named) {
    const std::string path = QFile::encodeName(fileName).toStdString();
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
