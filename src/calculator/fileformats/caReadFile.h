// Reading a whole foreign document into memory for the readers that parse it in place.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

struct FLError;

// Why an open that ran out of memory failed.
inline constexpr const char* kOutOfMemoryReason = "There is not enough memory to open it.";

// The largest foreign document read: anything larger is refused before a byte is read rather
// than filling the memory (its text and cells take several times its size).
inline constexpr int64_t kMaxDocumentFileSize = int64_t(1) << 30;

// NO with the reason (POSIX domain) when the file cannot be read, is not a regular file (a FIFO
// or a device would hang the open or never end) or is larger than kMaxDocumentFileSize; throws
// std::bad_alloc when the file's bytes cannot be held.
bool ReadWholeFile(const QString& path, QByteArray* bytes, FLError* error);
