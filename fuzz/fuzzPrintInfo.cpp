// Feeds arbitrary bytes, as a document's stored print settings, to the page set-up reader: a
// paper it accepts must be sound and must come back the same through the writer. Any crash,
// sanitizer report or unsound paper here is a fault.
#include "calculator/controllers/caSheetPages.h"

#include <QByteArray>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

int FuzzPrintInfo(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  const std::optional<QPageLayout> layout = PageLayoutFromPrintInfo(bytes);
  if (!layout) return 0;
  const QSizeF paper = layout->fullRect(QPageLayout::Point).size();
  if (!(paper.width() >= 1 && paper.height() >= 1 && std::isfinite(paper.width()) && std::isfinite(paper.height())))
    std::abort();
  const std::optional<QPageLayout> again = PageLayoutFromPrintInfo(PrintInfoFromPageLayout(*layout));
  if (!again || again->orientation() != layout->orientation()) std::abort();
  return 0;
}
