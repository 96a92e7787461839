#include "calculator/fileformats/caFileFormatServices.h"

#include "calculator/fileformats/caGlimmetImport.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/fileformats/caImportAlert.h"
#include "calculator/fileformats/caTextLines.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caDocumentServices.h"
#include "calculator/model/caPackageWindow.h"
#include "glimmet/storage/gmAttributedImport.h"
#include "glimmet/storage/gmHtmlReader.h"
#include "platform/FLError.h"

#include <QTextDocument>

#include <algorithm>

namespace {

bool SavePdf(CADocument& document, const QString& path, FLError* error) {
  // The program cannot open a PDF again: what it leaves out (formulas, exact values) stays only
  // in the window, so the document keeps its own file and its unsaved changes.
  document.setForceSaveCopy(true);
  CAPackageWindow* window = PackageWindowOf(document);
  const QByteArray pdf = window ? window->pdfOfDocument(nullptr, error) : QByteArray();
  // Nothing to print is no failure the user could act on: no error is given then.
  if (pdf.isEmpty()) return false;
  return WriteFileAtomically(path, pdf, error);
}

QString PlainTextOfSelection(CADocument& document) {
  GridRange block;
  if (document.normalSelection(&block) == kRangeInvalid) return QString();
  const GridPoint last = document.maxGridPoint();
  block.endPoint.x = std::min(block.endPoint.x, last.x);
  block.endPoint.y = std::min(block.endPoint.y, last.y);
  return DelimitedTextOfBlock(document, block, false);
}

}  // namespace

bool RichTextTableFits(const CADocument& document, const GridRange& table, FLError* error) {
  const GridPoint& start = table.startPoint;
  const GridPoint& end = table.endPoint;
  if (end.x < start.x || end.y < start.y) return true;
  // The sheet's cells inside the table; the rows are found from the first at or below its top.
  int64_t written = 0;
  const auto& rows = document.rows();
  auto row = std::lower_bound(rows.begin(), rows.end(), start.y,
                              [](const std::unique_ptr<CARow>& r, int64_t y) { return r->gridY() < y; });
  for (; row != rows.end() && (*row)->gridY() <= end.y; ++row) {
    for (const CACellEntry& entry : (*row)->cells()) {
      if (entry.x() > end.x) break;
      if (entry.x() >= start.x) ++written;
    }
  }
  using Wide = unsigned __int128;
  const Wide cells = Wide(uint64_t(end.x) - uint64_t(start.x) + 1) * (uint64_t(end.y) - uint64_t(start.y) + 1);
  const Wide writtenCost = Wide(uint64_t(written)) * kRichTextWrittenCellCost;
  const Wide emptyCost = (cells - uint64_t(written)) * kRichTextEmptyCellCost;
  if (writtenCost + emptyCost <= Wide(kMaxRichTextTableCost)) return true;
  if (writtenCost >= emptyCost) {
    SetError(error, kTextTooLargeCode, QString::fromLatin1(kTooManyTableCellsReason).arg(qulonglong(cells)));
  } else {
    SetError(error, kTextTooLargeCode, QLatin1String(kTextTooLargeReason));
  }
  return false;
}

void InstallFileFormatServices() {
  CAFileFormatServices services;
  services.writers[kFileTypeCsv] = [](CADocument& document, const QString& path, bool, FLError* error) {
    return document.saveToTextFile(path, true, error);
  };
  services.writers[kFileTypeText] = [](CADocument& document, const QString& path, bool, FLError* error) {
    return document.saveToTextFile(path, false, error);
  };
  services.writers[kFileTypeDif] = [](CADocument& document, const QString& path, bool, FLError* error) {
    return document.saveToDifFile(path, error);
  };
  services.writers[kFileTypeNative] = [](CADocument& document, const QString& path, bool inPlace,
                                         FLError* error) { return document.saveToNativeFile(path, inPlace, error); };
  services.writers[kFileTypeRtf] = [](CADocument& document, const QString& path, bool, FLError* error) {
    return document.saveToRtfFile(path, error);
  };
  services.writers[kFileTypeRtfd] = [](CADocument& document, const QString& path, bool, FLError* error) {
    return document.saveToRtfdFile(path, error);
  };
  services.writers[kFileTypeHtml] = [](CADocument& document, const QString& path, bool, FLError* error) {
    return document.saveToHtmlFile(path, error);
  };
  services.writers[kFileTypePdf] = [](CADocument& document, const QString& path, bool, FLError* error) {
    return SavePdf(document, path, error);
  };
  services.openFile = [](CADocument& document, const QString& path, FLError* error) {
    return document.openFile(path, error);
  };
  services.archiveSelection = [](CADocument& document) { return document.archiveSelection(); };
  services.plainTextOfSelection = PlainTextOfSelection;
  services.loadDelimitedText = [](CADocument& document, const QString& text) {
    LoadStringLines(TextLines(text), document);
  };
  services.rtfFromSelection = [](CADocument& document) { return document.rtfFromSelection(); };
  services.loadRtf = [](CADocument& document, const QString& rtf, const QString& folder) {
    return document.loadRtf(rtf, folder);
  };
  services.htmlFromSelection = [](CADocument& document) { return document.htmlFromSelection(); };
  services.loadHtml = [](CADocument& document, const QString& html) {
    bool refused = false;
    return LoadPastedHtml(document, html, &refused);
  };
  services.loadPastedHtml = [](CADocument& document, const QByteArray& page, bool tellUnreadable, bool* refused) {
    return LoadPastedHtml(document, page, refused, tellUnreadable);
  };
  services.readingBudget = PageBudget;
  services.pastedPageTooLarge = [](int64_t cost) {
    ShowPlainImportAlert(QLatin1String(kPastePageTooLargeMessage), RichTextHtmlTooLargeReason(cost, true));
  };
  services.pastedTextTooLarge = [](int64_t cost) {
    ShowPlainImportAlert(QLatin1String(kPasteTextTooLargeMessage), PasteTextTooLargeReason(cost));
  };
  services.loadPastedRtf = LoadPastedRtf;
  SetFileFormatServices(std::move(services));
}
