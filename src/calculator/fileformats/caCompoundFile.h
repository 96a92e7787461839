// The compound-file container (structured storage of version 3, 512-byte sectors) that Excel
// 97-2003 workbooks live in: finds the "Workbook" stream and copies it into one buffer. Every
// sector number, chain and size read from the file is checked against the file, so a damaged or
// hostile file gives a message, never a wild read, a loop or a huge allocation.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>

inline constexpr const char* kExcelFormatReason = "I don't understand the file format.";
inline constexpr const char* kExcelProtectedReason =
    "The file is protected by a password or rights management, so I can't read it.";
inline constexpr const char* kExcelFileMemoryReason = "There's not enough memory to read the file.";

// Copies the stream from its starting sector through the file's allocation table, `length`
// bytes into the destination. Reports "Bad data location or length" and copies nothing for a
// zero or oversized length; answers NO when the chain leaves the file, ends early or repeats.
bool FetchCBFData(QByteArrayView file, uint32_t startSector, uint64_t length, char* destination,
                  uint64_t destinationSize);

// The "Workbook" stream of a compound file (the later one when there are two; names in any
// case; else a "Book" stream, which the caller judges by its first record), read from the
// mini stream when it is below the 4096-byte cut-off. On failure answers NO with the reason: the
// format message, the protection message (an "encryption" or "\tDRMContent" stream) or the
// memory message.
bool ReadWorkbookStream(QByteArrayView file, QByteArray* stream, QString* failure);
