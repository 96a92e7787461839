// Feeds arbitrary bytes to the sheet's HTML import: the program's HTML reader makes rich text, the engine
// takes it in and the sheet turns it into cells, which are written out as a page again. Any
// crash, hang or sanitizer report here is a fault.
#include "FuzzApplication.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/model/CADocument.h"
#include "glimmet/storage/gmAttributedImport.h"
#include "glimmet/storage/gmHtmlReader.h"
#include "glimmet/storage/gmTables.h"

#include <QByteArray>
#include <QString>
#include <QTextDocument>

#include <cstddef>
#include <cstdint>

int FuzzHtmlSheet(const uint8_t* data, size_t size) {
  if (size > 1 << 18 || !HaveGuiApplication()) return 0;
  g_glimmetConfig.tableOption = 1;
  const QString page = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
  // Read as every page the application reads is, within the same budget.
  GMImportTextDocument text;
  if (!ReadHtmlIntoRichText(text, page, kReaderMemoryBudget).read()) return 0;
  CADocument sheet;
  if (!sheet.loadAttributedString(text)) return 0;
  sheet.setSelectionRange(sheet.extent());
  sheet.htmlFromSelection();
  return 0;
}
