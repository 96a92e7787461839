// Copy and paste of cells. Copy puts the selection on the clipboard in every representation
// that can be made, richest first; paste takes the richest one the clipboard holds, turns it
// into cells (through a temporary document), a picture or a text for the active cell, records
// one undo step and moves the result in at the active cell.
#include "calculator/model/CADocument.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocumentWindow.h"
#include "calculator/model/CAPicture.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caCommandGuard.h"
#include "calculator/model/caDocumentServices.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/caUndoArchives.h"
#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flReadingMeter.h"
#include "framlet/foundation/flStringExtensions.h"
#include "framlet/shell/FLUndoManager.h"
#include "platform/FLError.h"
#include "platform/Pasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <new>

namespace {

constexpr const char* kPasteFailedText = "Paste failed";
constexpr const char* kPastePicturePastDecodeLimitMessage = "The picture can't be pasted.";

// What a paste brings: cells in a temporary document, a picture or a text for the active cell.
struct PasteResult {
  std::unique_ptr<CADocument> document;
  bool fromCells = false;
  int32_t kind = kRangeBlock;
  GridRange sourceRange;
  std::shared_ptr<CAPicture> picture;
  QString text;
  bool hasText = false;
  bool fromPage = false;  // the document was read from a page (HTML)
  bool fromText = false;  // the document was read from plain text
  // Why the clipboard's picture was not decoded; a picture too large for the memory left is told
  // as any command that runs out of memory is, one larger than any picture may be with its own alert.
  FLPictureRefusal pictureRefusal = FLPictureRefusal::None;
};

// A picture refused before its decoding pastes nothing.
bool RefusePicture(FLPictureRefusal refusal, PasteResult& result) {
  result.pictureRefusal = refusal;
  if (refusal == FLPictureRefusal::PastBudget) FLReadingMeter::NoteOutOfMemory();
  return false;
}

bool Has(const QMimeData& data, const char* type) { return PasteboardHasType(data, QLatin1String(type)); }

// The row formats and the columns a paste of whole rows or columns gives its source's formats to,
// as they were before the change: the cells' archive does not hold them. Rows keep their format
// and whether they were there; columns (few, and a paste may make any of them) are kept whole.
struct LinesBefore {
  struct Row {
    int64_t y;
    bool existed;
    std::optional<CAFormat> format;
  };
  std::vector<Row> rows;
  std::optional<CAUndoArchive> columns;

  size_t bytes() const {
    return rows.capacity() * (sizeof(Row) + sizeof(CAFormat)) + (columns ? columns->bytes() : 0);
  }
};

bool KeepLinesBefore(CADocument& document, const CADocument& source, LinesBefore& kept) {
  bool wholeColumns = false;
  document.visitFormatTargets(source, [&](int64_t at, const CARow* row, const CAColumn*) {
    if (!row) {
      wholeColumns = true;
      return;
    }
    const CARow* target = document.row(at);
    const CAFormat* format = target ? target->format() : nullptr;
    kept.rows.push_back({at, target != nullptr, format ? std::optional<CAFormat>(format->copy()) : std::nullopt});
  });
  if (!wholeColumns) return true;
  kept.columns.emplace();
  return ArchiveForUndoAction(document, kUndoActionColumns, CAUndoContext{}, *kept.columns);
}

// Gives the lines their formats back; rows the paste made hold nothing once the cells are back,
// and go then (DropRowsMade).
void RestoreLines(CADocument& document, const LinesBefore& kept) {
  for (const LinesBefore::Row& row : kept.rows) {
    if (row.existed)
      document.rowImperative(row.y)->setFormat(row.format);
    else if (CARow* made = document.row(row.y))
      made->setFormat(std::nullopt);
  }
  if (kept.columns) RestoreUndoAction(document, kUndoActionColumns, CAUndoContext{}, *kept.columns);
}

void DropRowsMade(CADocument& document, const LinesBefore& kept) {
  for (const LinesBefore::Row& row : kept.rows) {
    if (row.existed) continue;
    const CARow* made = document.row(row.y);
    if (!made || !made->cells().empty() || made->format() || made->minimumHeight() != 0) continue;
    std::erase_if(document.mutableRows(), [&](const std::unique_ptr<CARow>& each) { return each.get() == made; });
  }
}

// The memory a rollback takes beyond what it gives back. It clears the pasted cells first, which
// gives back what the cells it restores took before the paste replaced them; beyond that it needs
// working room: a cell's text decoded, the notes of the cells it empties, rows made again, the
// lines' formats. Touched, so that it is memory the process holds and not only address space.
std::unique_ptr<char[]> RollbackReserve(const CAUndoArchive& archive, const LinesBefore& lines,
                                        const CADocument* pasted) {
  constexpr size_t kLeast = size_t(1) << 20;
  size_t cells = 0;
  if (pasted)
    for (const std::unique_ptr<CARow>& row : pasted->rows()) cells += row->cells().size();
  const size_t bytes = kLeast + archive.bytes() / 4 + cells * sizeof(GridPoint) + lines.bytes();
  auto reserve = std::make_unique_for_overwrite<char[]>(bytes);
  std::memset(reserve.get(), 0, bytes);
  return reserve;
}

// Puts the cells of the archive back where a paste failed part-way, and the formats of the lines
// it changed. Run once the paste's own memory and the reserve are let go; should it still run
// out, it starts again from the clearing, which gives back what the first attempt made.
void RollBackPaste(CADocument& document, const CAUndoContext& context, const CAUndoArchive& archive,
                   const LinesBefore& lines, const GridRange& selection, const GridPoint& active) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      // The cells first: clearing whole rows or columns takes their formats too.
      RestoreUndoAction(document, kUndoActionCells, context, archive);
      RestoreLines(document, lines);
      DropRowsMade(document, lines);
      // The selection as the paste found it, whatever the stage that stopped had made of it.
      document.setSelectionRange(selection);
      document.setActiveCellPoint(active);
      // A recalculation that stops here leaves what it did not compute marked for the next.
      document.invalidateAfterCellEdit(-1);
      return;
    } catch (const std::exception& exception) {
      LogException(exception, QLatin1String(kPasteFailedText));
    }
  }
  // Still short of memory: what needs none is put back all the same. The rows the paste made in
  // its range, holding nothing now, go (they would be written, empty, with the sheet), and the
  // selection is the one the paste found.
  GridRange span;
  if (TypeOfRange(&span, context.range) != kRangeInvalid)
    std::erase_if(document.mutableRows(), [&](const std::unique_ptr<CARow>& row) {
      const int64_t y = row->gridY();
      return y >= span.startPoint.y && y <= span.endPoint.y && row->cells().empty() && !row->format() &&
             row->minimumHeight() == 0 && !std::binary_search(archive.rows.begin(), archive.rows.end(), y);
    });
  try {
    document.setSelectionRange(selection);
    document.setActiveCellPoint(active);
  } catch (const std::exception&) {
    // Only the redraw it asked for failed.
  }
}

}  // namespace

QStringList CADocument::clipboardTypes() {
  const CAFileFormatServices& services = FileFormatServices();
  QStringList types{QLatin1String(kPasteboardCellsType), QLatin1String(kPasteboardFileNamesType),
                    QLatin1String(kPasteboardLegacyUrlType)};
  // The flat RTFD type is left out: no reader of it exists here, and listing it would let its
  // bytes be taken for plain text.
  if (services.loadRtf) types << QLatin1String(kPasteboardRtfType);
  if (services.loadHtml) types << QLatin1String(kPasteboardHtmlType);
  types << QLatin1String(kPasteboardStringType);
  types << PasteboardImageTypes();
  return types;
}

namespace {

// The clipboard's plain text, or nothing.
std::optional<QString> PlainString(const QMimeData& data) {
  if (!data.hasText()) return std::nullopt;
  return data.text();
}

std::unique_ptr<CADocument> DocumentFromText(const QString& text) {
  const CAFileFormatServices& services = FileFormatServices();
  if (!services.loadDelimitedText) return nullptr;
  auto document = std::make_unique<CADocument>();
  document->setOpening(true);
  {
    const CADocument::ReadScope reading(*document);
    services.loadDelimitedText(*document, text);
  }
  document->setOpening(false);
  return document;
}

// A text candidate: rich text through its reader, falling back to the plain string.
bool PasteText(const QMimeData& data, const QString& candidate, PasteResult& result) {
  const CAFileFormatServices& services = FileFormatServices();
  if (candidate == QLatin1String(kPasteboardRtfType) && services.loadRtf) {
    const QByteArray rtf = PasteboardData(data, candidate);
    auto document = std::make_unique<CADocument>();
    bool refused = false;
    if (!rtf.isEmpty() &&
        (services.loadPastedRtf ? services.loadPastedRtf(*document, QString::fromLatin1(rtf), &refused)
                                : services.loadRtf(*document, QString::fromLatin1(rtf), QString()))) {
      result.document = std::move(document);
      return true;
    }
    // Text too large to paste was told as such: its plain text is no paste of it.
    if (refused) return false;
  } else if (candidate == QLatin1String(kPasteboardHtmlType) && services.loadHtml) {
    const QByteArray html = PasteboardData(data, candidate);
    auto document = std::make_unique<CADocument>();
    bool refused = false;
    result.fromPage = true;
    if (!html.isEmpty() &&
        (services.loadPastedHtml ? services.loadPastedHtml(*document, html, !data.hasText(), &refused)
                                 : services.loadHtml(*document, QString::fromUtf8(html)))) {
      result.document = std::move(document);
      return true;
    }
    // A page refused was told as such: its plain text is no paste of it.
    if (refused) return false;
  }
  const std::optional<QString> text = PlainString(data);
  if (!text) return false;
  result.fromPage = false;
  result.fromText = true;
  result.document = DocumentFromText(*text);
  return result.document != nullptr;
}

bool PastePicture(const QMimeData& data, CADocument& target, PasteResult& result) {
  FLPictureRefusal refusal = FLPictureRefusal::None;
  std::shared_ptr<FLImage> image = FLImage::withPasteboard(&data, &refusal);
  if (refusal != FLPictureRefusal::None) return RefusePicture(refusal, result);
  if (!image) return false;
  result.picture = CAPicture::withImage(std::move(image), &target);
  return result.picture != nullptr;
}

// The first local file the program can read: a picture or a temporary document.
bool PasteFiles(const QMimeData& data, CADocument& target, PasteResult& result) {
  for (const QUrl& url : data.urls()) {
    if (!url.isLocalFile()) continue;
    const QString path = url.toLocalFile();
    const int32_t type = FileTypeForFile(path);
    if (type == kFileTypeUnknown) continue;
    if (type == kFileTypeImage) {
      FLPictureRefusal refusal = FLPictureRefusal::None;
      result.picture = CAPicture::withFile(path, guidString(), &target, &refusal);
      if (refusal != FLPictureRefusal::None) return RefusePicture(refusal, result);
      return result.picture != nullptr;
    }
    const CAFileFormatServices& services = FileFormatServices();
    if (!services.openFile) return false;
    auto document = std::make_unique<CADocument>();
    if (services.openFile(*document, path, nullptr) == 0) return false;
    result.document = std::move(document);
    return true;
  }
  return false;
}

// Chooses the representation and reads it. NO when nothing usable is there.
bool ReadClipboard(const QMimeData& data, CADocument& target, PasteResult& result) {
  if (Has(data, kPasteboardCellsType)) {
    // The archive's bytes are read as the UTF-8 they are, never held again as a text of their own,
    // and its cells are built on the paste's meter: a tag read is a piece made, and the reading
    // ends where the meter passes its budget.
    std::unique_ptr<FLXmlDecoder> decoder =
        FLXmlDecoder::withData(PasteboardData(data, QLatin1String(kPasteboardCellsType)));
    if (!decoder) return false;
    decoder->setMetered(true);
    result.document = std::make_unique<CADocument>();
    result.document->loadFromXml(*decoder);
    result.fromCells = true;
    // Cut short by the meter, the archive is no paste of what the clipboard holds: the paste
    // tells it, with the cells already read let go.
    if (const FLReadingMeter* meter = FLReadingMeter::current(); meter && meter->passed()) {
      result.document.reset();
      return true;
    }
    result.kind = TypeOfRange(&result.sourceRange, result.document->selectionRange());
    if (result.kind == kRangeInvalid) return false;
    const GridRange extent = result.document->extent();
    if (result.sourceRange.endPoint.x == kGridOpenEnd) result.sourceRange.endPoint.x = extent.endPoint.x;
    if (result.sourceRange.endPoint.y == kGridOpenEnd) result.sourceRange.endPoint.y = extent.endPoint.y;
    return true;
  }

  QString candidate;
  for (const QString& type : CADocument::clipboardTypes()) {
    if (PasteboardHasType(data, type)) {
      candidate = type;
      break;
    }
  }
  if (candidate.isEmpty()) return false;

  if (PasteboardImageTypes().contains(candidate)) {
    const bool rtfReadable = FileFormatServices().loadRtf != nullptr;
    if (rtfReadable && Has(data, kPasteboardRtfType)) return PasteText(data, QLatin1String(kPasteboardRtfType), result);
    // An image that comes with text (a copied table in a browser or an office program) is
    // pasted as the text; the plain string counts twice.
    const bool htmlReadable = FileFormatServices().loadHtml != nullptr;
    const bool hasString = Has(data, kPasteboardStringType);
    const bool hasHtml = htmlReadable && Has(data, kPasteboardHtmlType);
    const int textTypes = (hasString ? 2 : 0) + (hasHtml ? 1 : 0);
    if (textTypes >= 2)
      return PasteText(data, QLatin1String(hasHtml ? kPasteboardHtmlType : kPasteboardStringType), result);
    return PastePicture(data, target, result);
  }
  if (candidate == QLatin1String(kPasteboardFileNamesType)) return PasteFiles(data, target, result);
  if (candidate == QLatin1String(kPasteboardLegacyUrlType)) {
    for (const QString& type : PasteboardImageTypes())
      if (PasteboardHasType(data, type)) return PastePicture(data, target, result);
    for (const QUrl& url : data.urls()) {
      if (url.isLocalFile()) continue;
      result.text = url.toString();
      result.hasText = !result.text.isEmpty();
      return result.hasText;
    }
    return false;
  }
  return PasteText(data, candidate, result);
}

}  // namespace

bool CADocument::copy(QMimeData* clipboard) {
  const CAFileFormatServices& services = FileFormatServices();
  const QString archive = services.archiveSelection ? services.archiveSelection(*this) : QString();
  if (archive.isEmpty()) {
    WorkspaceBeep();
    return false;
  }
  std::unique_ptr<QMimeData> made;
  QMimeData* data = clipboard;
  if (!data) {
    made = std::make_unique<QMimeData>();
    data = made.get();
  }
  PasteboardSetData(*data, QLatin1String(kPasteboardCellsType), archive.toUtf8());
  if (services.rtfFromSelection) {
    const QString rtf = services.rtfFromSelection(*this);
    if (!rtf.isEmpty()) PasteboardSetData(*data, QLatin1String(kPasteboardRtfType), rtf.toLatin1());
  }
  if (services.plainTextOfSelection) {
    const QString plain = services.plainTextOfSelection(*this);
    if (!plain.isEmpty()) data->setText(plain);
  }
  if (ModelPreferences().copyHTML && services.htmlFromSelection) {
    const QString html = services.htmlFromSelection(*this);
    if (!html.isEmpty()) PasteboardSetData(*data, QLatin1String(kPasteboardHtmlType), html.toUtf8());
  }
  if (made) QGuiApplication::clipboard()->setMimeData(made.release());
  return true;
}

std::optional<GridRange> CADocument::pastedBlock(const GridRange& source, int32_t kind, const GridPoint& start) {
  const GridPoint& from = source.startPoint;
  const GridPoint& to = source.endPoint;
  int64_t endX = 0, endY = 0;
  // The grid ends at its last column well before the last row.
  const bool fitsX = !__builtin_add_overflow(start.x, to.x - from.x, &endX) && endX <= LastGridColumn();
  const bool fitsY = !__builtin_add_overflow(start.y, to.y - from.y, &endY) && endY <= kLastGridRow;
  switch (kind) {
    case kRangeAbsoluteCell:
    case kRangeCell:
      return GridRange{start, start};
    case kRangeRows:
      if (!fitsY) return std::nullopt;
      return GridRange{{kGridWildcard, start.y}, {kGridWildcard, endY}};
    case kRangeColumns:
      if (!fitsX) return std::nullopt;
      return GridRange{{start.x, kGridWildcard}, {endX, kGridWildcard}};
    default:
      if (!fitsX || !fitsY) return std::nullopt;
      return GridRange{start, {endX, endY}};
  }
}

bool CADocument::paste(const QMimeData* clipboard, bool ignoreFormat) {
  return paste(clipboard, ignoreFormat, kUndoPaste);
}

bool CADocument::paste(const QMimeData* clipboard, bool ignoreFormat, int32_t undoName) {
  if (isLocked()) return false;
  // Whatever a paste runs into, the program goes on: what escapes the guarded stages below is
  // logged, and the sheet is as it was.
  try {
    return pasteGuarded(clipboard, ignoreFormat, undoName);
  } catch (const std::bad_alloc& exception) {
    LogException(exception, QLatin1String(kPasteFailedText));
    GiveCommandMemoryAlert(*this);
  } catch (const std::exception& exception) {
    LogException(exception, QLatin1String(kPasteFailedText));
  }
  WorkspaceBeep();
  return false;
}

bool CADocument::pasteGuarded(const QMimeData* clipboard, bool ignoreFormat, int32_t undoName) {
  if (!clipboard) clipboard = QGuiApplication::clipboard()->mimeData();
  const auto fail = [] {
    WorkspaceBeep();
    return false;
  };
  if (!clipboard) return fail();

  // One meter over the whole paste: the reading of the clipboard, what it builds, the cells it
  // brings into the sheet and the undo step that records what they replace.
  const CAFileFormatServices& services = FileFormatServices();
  FLReadingMeter meter(services.readingBudget ? services.readingBudget() : 0);
  PasteResult result;
  // Past the budget, a page or a text is told too large, with what it took; anything else, and
  // running out of memory, as any command is.
  const auto memoryAlert = [&] {
    if (meter.tooLarge() && result.fromPage && services.pastedPageTooLarge)
      services.pastedPageTooLarge(meter.grown());
    else if (meter.tooLarge() && result.fromText && services.pastedTextTooLarge)
      services.pastedTextTooLarge(meter.grown());
    else
      GiveCommandMemoryAlert(*this);
  };

  // A picture that does not get pasted must not stay behind in the document's pictures.
  const auto dropPicture = [&] {
    if (result.picture) mutablePictures().remove(result.picture->guid());
  };
  // Reading the clipboard makes a whole document of what it holds: running out of memory on
  // the way is told, as in any other command, and the document is left as it was.
  bool read = false;
  if (!RunGuardedCommand(*this, [&] { read = ReadClipboard(*clipboard, *this, result); })) {
    dropPicture();
    return fail();
  }
  // A reader that ran out of memory (the text engine's records included) pastes nothing, and says so.
  if (!read) {
    dropPicture();
    if (result.pictureRefusal == FLPictureRefusal::PastDecodeLimit && controller_)
      controller_->giveAlert(QLatin1String(kPastePicturePastDecodeLimitMessage), PicturePastDecodeLimitReason());
    else if (meter.outOfMemory()) memoryAlert();
    return fail();
  }
  // A reading stopped by the meter (a plain text's lines stop where it is passed) is no paste of
  // what the clipboard holds; it is told before an undo step is begun, whose record the spent
  // meter would refuse, and with it the history of the steps before.
  if (meter.passed()) {
    dropPicture();
    memoryAlert();
    return fail();
  }

  // The cells the paste replaces: recorded before anything changes, and restored should the
  // paste fail part-way.
  GridRange undoRange{activeCellPoint_, activeCellPoint_};
  if (result.document) {
    if (!result.fromCells) {
      result.sourceRange = result.document->fullExtent();
      result.document->setSelectionRange(result.sourceRange);
      result.kind = kRangeBlock;
    }
    GridRange destination;
    if (TypeOfRange(&destination, selectionRange_) == kRangeInvalid) return fail();
    // The block must fit the grid, or part of it would be lost on the way in.
    const std::optional<GridRange> block = pastedBlock(result.sourceRange, result.kind, destination.startPoint);
    if (!block) return fail();
    if (result.kind != kRangeCell && result.kind != kRangeAbsoluteCell) undoRange = *block;
  }
  const CAUndoContext context{undoRange, kDomainCell};
  const GridRange selectionBefore = selectionRange_;
  const GridPoint activeBefore = activeCellPoint_;

  // Before the change: the undo step, the archive a rollback restores (the step's own, or one
  // made here where no step is kept) and the memory the rollback takes, held until it is needed
  // or the paste is done, so that a rollback never waits on memory the paste used up.
  FLUndoManager* manager = undoName != kUndoUnnamed ? undoManager() : nullptr;
  bool stepRecorded = false;
  CAUndoArchive before;
  const CAUndoArchive* restoreFrom = nullptr;
  LinesBefore linesBefore;
  std::unique_ptr<char[]> reserve;
  const uint32_t undoID = manager ? manager->currentUndoID() : 0;
  const auto dropStep = [&] {
    if (stepRecorded && manager) manager->popUndo();
    stepRecorded = false;
  };
  try {
    if (undoName != kUndoUnnamed) {
      const auto* archiver = manager ? dynamic_cast<const CAUndoArchiver*>(manager->delegate()) : nullptr;
      const uint64_t recorded = archiver ? archiver->stepsRecorded() : 0;
      // Whole lines with their formats give the lines the source's: the step keeps the lines too.
      const bool lines = result.document && !ignoreFormat && (result.kind == kRangeRows || result.kind == kRangeColumns);
      if (!setUndo(kFLNewUndoID, lines ? kUndoActionCellsAndLines : kUndoActionCells, undoName, undoRange,
                   kDomainCell)) {
        dropPicture();
        if (meter.passed()) memoryAlert();
        return fail();
      }
      stepRecorded = manager != nullptr;
      // The step's archive holds the cells as they are now only where the step is new.
      if (archiver && archiver->stepsRecorded() != recorded) restoreFrom = archiver->lastRecordedArchive();
    }
    if (!restoreFrom) {
      if (!ArchiveForUndoAction(*this, kUndoActionCells, context, before)) {
        dropStep();
        dropPicture();
        if (meter.passed()) memoryAlert();
        return fail();
      }
      restoreFrom = &before;
    }
    if (result.document && !ignoreFormat && !KeepLinesBefore(*this, *result.document, linesBefore)) {
      dropStep();
      memoryAlert();
      return fail();
    }
    reserve = RollbackReserve(*restoreFrom, linesBefore, result.document.get());
  } catch (const std::bad_alloc& exception) {
    LogException(exception, QLatin1String(kPasteFailedText));
    // A step the stack had begun when its record ran out of memory goes as a recorded one does.
    if (manager && !stepRecorded && manager->currentUndoID() != undoID) stepRecorded = true;
    dropStep();
    dropPicture();
    memoryAlert();
    return fail();
  }

  bool done = false;
  try {
    if (result.hasText) {
      if (CACell* cell = cellAtGridPointImperative(activeCellPoint_)) cell->setFormula(result.text);
      done = true;
    } else if (result.picture) {
      if (CACell* cell = cellAtGridPointImperative(activeCellPoint_)) cell->setPicture(result.picture);
      done = true;
    } else {
      if (!ignoreFormat) transferFormats(*result.document);
      if (result.kind == kRangeCell || result.kind == kRangeAbsoluteCell) {
        const GridPoint active = activeCellPoint_;
        setSelectionRange(GridRange{active, active});
      }
      // Stops where the cells it has made pass the meter's budget. The read document goes with the
      // paste: its rows let their cells go as they are copied, so that the cells are not held twice.
      done = transferCellsReleasing(*result.document, ignoreFormat, result.fromCells);
    }
  } catch (const std::exception& exception) {
    LogException(exception, QLatin1String(kPasteFailedText));
  }
  // The read document goes before the recalculation, which is part of the paste: the cells that
  // read the pasted ones are computed now, or the paste did not happen.
  if (done) {
    try {
      result.document.reset();
      invalidateAllLongText();
      invalidateAfterCellEdit(-1);
    } catch (const std::exception& exception) {
      LogException(exception, QLatin1String(kPasteFailedText));
      done = false;
    }
  }
  if (!done) {
    // The memory kept for the rollback goes first, so that letting go of what the paste made
    // (the read document's closing among it) has room; then the cells come back from the archive.
    reserve.reset();
    result.document.reset();
    RollBackPaste(*this, context, *restoreFrom, linesBefore, selectionBefore, activeBefore);
    dropStep();
    dropPicture();
    memoryAlert();
    return fail();
  }
  reserve.reset();

  // The paste is done: what follows only brings the views up to date.
  try {
    if (controller_) {
      controller_->adjustCellViewForNewData();
      controller_->jumpToSelection();
    }
  } catch (const std::exception& exception) {
    LogException(exception, QLatin1String(kPasteFailedText));
  }
  return true;
}
