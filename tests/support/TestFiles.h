// Whole files written and read in one call, for tests that lay out or inspect files.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Makes (or empties) the file and writes the bytes; false when it cannot.
inline bool WriteFileBytes(const QString& path, const QByteArray& bytes = QByteArray()) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// The file's contents, empty when it cannot be read.
inline QByteArray ReadFileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QString ReadFileText(const QString& path) { return QString::fromUtf8(ReadFileBytes(path)); }
