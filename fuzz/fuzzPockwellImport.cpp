// Feeds arbitrary bytes to the Pockwell reader as a whole file, into a fresh document: header,
// section table, strings, format records and the chains of cell records.
#include "FuzzApplication.h"
#include "calculator/fileformats/caPockwellImport.h"
#include "framlet/foundation/flBase.h"
#include "calculator/model/CADocument.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

int FuzzPockwellImport(const uint8_t* data, size_t size) {
  if (!HaveGuiApplication()) return 0;
  const FLLogHandler previous = SetLogHandler([](const QString&) {});
  const QByteArrayView file(reinterpret_cast<const char*>(data), qsizetype(size));
  {
    CADocument document;
    QString failure;
    (void)ImportPockwellData(document, file, &failure);
  }
  SetLogHandler(previous);
  return 0;
}
