// The byte and text conversions the window's files share, and the caption of its boxes.
#pragma once

#include <QFile>
#include <QString>

#include <string>
#include <string_view>

namespace quorvane {

// The caption of every message box, and the application's title.
inline const QString kWindowTitle = QStringLiteral("Quorvane");

// Field texts reach the engine as UTF-8 bytes, and its bytes come back as UTF-8.
inline std::string ToBytes(const QString& text) { return text.toUtf8().toStdString(); }

inline QString FromBytes(std::string_view bytes) {
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// A file name as the system takes it.
inline std::string FileNameBytes(const QString& fileName) {
  return QFile::encodeName(fileName).toStdString();
}

inline QString FileNameText(const std::string& fileName) {
  return QFile::decodeName(QByteArray::fromStdString(fileName));
}

}  // namespace quorvane
