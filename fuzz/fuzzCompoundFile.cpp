// Feeds arbitrary bytes to the compound-file reader as a whole file: header, allocation table,
// extension sectors, directory and mini stream. Any crash, hang or sanitizer report is a fault.
#include "calculator/fileformats/caCompoundFile.h"

#include "framlet/foundation/flBase.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

int FuzzCompoundFile(const uint8_t* data, size_t size) {
  const QByteArrayView file(reinterpret_cast<const char*>(data), qsizetype(size));
  QByteArray stream;
  QString failure;
  // Assertions about the data log with a backtrace each; keep them out of the way.
  const FLLogHandler previous = SetLogHandler([](const QString&) {});
  const bool trap = ReadWorkbookStream(file, &stream, &failure) && stream.isEmpty();
  SetLogHandler(previous);
  if (trap) __builtin_trap();
  return 0;
}
