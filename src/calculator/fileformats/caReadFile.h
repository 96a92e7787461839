// Reading a whole foreign file into memory for the readers that parse it in place.
#pragma once

#include <QByteArray>
#include <QString>

struct FLError;

// NO with the system's read error (POSIX domain) when the file cannot be read.
bool ReadWholeFile(const QString& path, QByteArray* bytes, FLError* error);
