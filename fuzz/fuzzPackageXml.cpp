// Feeds arbitrary bytes to the native package's XML reader as a document's "document.xml" (or,
// by the input's own choice, as a protected one or as a pasted cell archive, read on a meter), recalculates and
// edits the sheet it made when the input chooses, then writes it back out. Any crash, hang or sanitizer report here is a fault in the reader or in
// what it built.
#include "FuzzApplication.h"
#include "calculator/model/CADocument.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/FLXmlEncoder.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flPasswords.h"
#include "framlet/foundation/flReadingMeter.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>

int FuzzPackageXml(const uint8_t* data, size_t size) {
  if (!HaveGuiApplication()) return 0;
  // Unknown tags log an assertion with a backtrace each; keep them out of the way.
  const FLLogHandler previous = SetLogHandler([](const QString&) {});
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  uint8_t options = uint8_t(size);
  for (size_t i = 0; i < size; ++i) options = uint8_t(options * 31 + data[i]);

  if (std::unique_ptr<FLXmlDecoder> decoder = FLXmlDecoder::withData(bytes)) {
    CADocument document;
    // A file path makes it a document file rather than an archive; nothing is read from it.
    if (options & 1) document.setFilePath(QStringLiteral("/nonexistent/Fuzz.Numlet"));
    if (options & 2) {
      document.setPassword(QStringLiteral("LA8JWFoXi2g"));
      SetEncryptionPassword(document.password());
      document.setOpenWithPassword(true);
    }
    {
      // By the input's choice, read as a paste reads the clipboard's archive: on a meter of a small
      // budget, which ends the reading where it is passed.
      std::optional<FLReadingMeter> meter;
      if (options & 64) {
        meter.emplace(int64_t(64) << 10);
        decoder->setMetered(true);
      }
      try {
        document.loadFromXml(*decoder);
      } catch (const std::bad_alloc&) {
        // Refused, as the paste's guard refuses it: the sheet read so far is let go.
        SetLogHandler(previous);
        return 0;
      }
    }
    document.setOpenWithPassword(false);

    // The sheet read is recalculated, and its rows and columns edited, by the input's choice:
    // cells made plain by the reader go through the same commands as cells.
    if (options & 8) {
      document.recalcEverything();
      document.evaluate();
    }
    if (options & 16) {
      document.setSelectionRange(GridRange{{1, kGridWildcard}, {2, kGridWildcard}});
      document.insert(kEditColumns);
      document.setSelectionRange(GridRange{{kGridWildcard, 0}, {kGridWildcard, 1}});
      document.deleteSelection(kEditRows);
    }
    if (options & 32) {
      document.setSelectionRange(GridRange{{0, 0}, {3, 3}});
      document.deleteSelection(kEditCellsVertical);
      document.clear(kClearAll);
    }

    // What was read must write out again.
    FLXmlEncoder encoder;
    document.saveDocumentInfo(encoder, (options & 4) != 0);
    document.saveColumns(encoder);
    document.setSelectionRange(GridRange{{0, 0}, {64, 64}});
    (void)document.archiveSelection();
  }
  SetLogHandler(previous);
  return 0;
}
