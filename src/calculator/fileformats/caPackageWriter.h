// Writing the native package's files: the folders and text files of a fresh package (never
// atomic, since the caller swaps the whole package in), and the folder that holds the autosave
// copies. The document's part is in CADocument_PackageWriter.cpp.
#pragma once

#include "platform/FLError.h"

#include <QString>

// The source of the cell archive: "%@ 0x%lx", the document's class and address.
inline constexpr const char* kArchiveSourceFormat = "%@ 0x%lx";
inline constexpr const char* kDocumentClassName = "CADocument";
inline constexpr const char* kAutosaveFailedFormat = "Autosave of %@ failed: %@";

// Makes one folder; its parent must exist. The file system's error on failure.
bool CreatePackageFolder(const QString& path, FLError* error);

// Writes the text as UTF-8, in place (not atomically). The file system's error on failure.
bool WritePackageTextFile(const QString& path, const QString& text, FLError* error);

// Flushes every file and folder of a package to the disk, each folder after what it holds, so
// that a package swapped in afterwards is whole after a crash. The file system's error on failure.
bool SyncPackage(const QString& path, FLError* error);

// Removes a package (or file) and everything in it; YES when nothing is left at the path.
bool RemovePackage(const QString& path);

// The folder of the autosave copies, made when missing; empty when it cannot be made.
QString AutosaveFolder();
