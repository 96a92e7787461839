// Feeds arbitrary bytes to the sheet's RTF import: the engine reads them, the sheet turns the
// engine document into cells, and the sheet is written back as RTF and read again. Any crash,
// hang or sanitizer report here is a fault.
#include "FuzzApplication.h"
#include "calculator/model/CADocument.h"
#include "glimmet/storage/gmTables.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

int FuzzRtfSheet(const uint8_t* data, size_t size) {
  if (size > 1 << 18 || !HaveGuiApplication()) return 0;
  g_glimmetConfig.tableOption = 1;
  CADocument sheet;
  if (!sheet.loadRtf(QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size)), QString())) return 0;
  sheet.setSelectionRange(sheet.extent());
  CADocument again;
  again.loadRtf(sheet.rtfFromSelection(), QString());
  return 0;
}
