// Whole files written and read in one call, for tests that lay out or inspect files.
#pragma once

#include <QByteArray>
#include <QDir>
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

// Copies the files of a folder, not its subfolders, into another made when missing.
inline bool CopyFolderFiles(const QString& from, const QString& to) {
  if (!QDir().mkpath(to)) return false;
  for (const QString& name : QDir(from).entryList(QDir::Files))
    if (!QFile::copy(from + QLatin1Char('/') + name, to + QLatin1Char('/') + name)) return false;
  return true;
}
