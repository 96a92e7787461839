// Feeds arbitrary bytes to a paste of a page, as the clipboard's HTML beside a plain text: the page
// decoded in its character set, read as an open reads it, its cells brought into a sheet that
// holds cells where they land, the undo step recorded, then undone and redone. Any crash, hang or
// sanitizer report here is a fault; a refusal is not.
#include "FuzzApplication.h"
// The document window with an undo stack that the benchmarks use.
#include "../bench/BenchUndoWindow.h"
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "platform/Pasteboard.h"

#include <QMimeData>

#include <cstddef>
#include <cstdint>

int FuzzPastedPage(const uint8_t* data, size_t size) {
  if (size > 1 << 18 || !HaveGuiApplication()) return 0;
  static const bool installed = (InstallFileFormatServices(), true);
  (void)installed;
  CADocument sheet;
  BenchUndoWindow window(sheet);
  sheet.setController(&window);
  for (int64_t y = 0; y < 4; ++y)
    for (int64_t x = 0; x < 4; ++x) sheet.cellAtGridPointImperative({x, y})->setFormula(QStringLiteral("=1+%1").arg(x));
  QMimeData clipboard;
  PasteboardSetData(clipboard, QLatin1String(kPasteboardHtmlType),
                    QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
  clipboard.setText(QStringLiteral("plain\ttext"));
  sheet.setSelectionPoint(GridPoint{1, 1});
  if (sheet.paste(&clipboard, false)) {
    window.manager.undo();
    window.manager.redo();
  }
  sheet.setController(nullptr);
  return 0;
}
