// Writing the native package's files: the folders and text files of a fresh package (never
// atomic, since the caller swaps the whole package in), and the folder that holds the autosave
// copies. The document's part is in CADocument_PackageWriter.cpp.
#pragma once

#include "calculator/model/caDocumentServices.h"
#include "platform/FLError.h"

#include <QString>

#include <cstdint>

// The source of the cell archive: "%@ 0x%lx", the document's class and address.
inline constexpr const char* kArchiveSourceFormat = "%@ 0x%lx";
inline constexpr const char* kDocumentClassName = "CADocument";

// Makes one folder; its parent must exist. The file system's error on failure.
bool CreatePackageFolder(const QString& path, FLError* error);

// Writes the text as UTF-8, in place (not atomically). The file system's error on failure.
bool WritePackageTextFile(const QString& path, const QString& text, FLError* error);
// The same with text already in UTF-8.
bool WritePackageTextFile(const QString& path, QByteArrayView bytes, FLError* error);

// A file of a fresh package written in pieces, so that a large one is never whole in memory:
// created on open (not atomically), closed by close or, unfinished, by the destructor. Each
// step gives the file system's error on failure.
class CAPackageFileStream {
 public:
  CAPackageFileStream() = default;
  ~CAPackageFileStream();
  CAPackageFileStream(const CAPackageFileStream&) = delete;
  CAPackageFileStream& operator=(const CAPackageFileStream&) = delete;

  bool open(const QString& path, FLError* error);
  bool write(QByteArrayView bytes, FLError* error);
  bool close(FLError* error);

 private:
  int fd_ = -1;
  // Where the next piece goes in the file.
  int64_t offset_ = 0;
};

// Flushes every file and folder of a package to the disk, each folder after what it holds, so
// that a package swapped in afterwards is whole after a crash. The file system's error on failure.
bool SyncPackage(const QString& path, FLError* error);
