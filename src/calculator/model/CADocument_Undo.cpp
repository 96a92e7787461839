// Undo archives: registering a step with the window's undo stack, and writing the part of the
// sheet a step may change as XML texts that can later be read back. A step never stores a
// difference, always the full former state of what its action names.
#include "calculator/model/CADocument.h"

#include "calculator/model/caDocumentXml.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocumentWindow.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/model/caUndoArchives.h"
#include "calculator/model/caXmlTags.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/FLXmlEncoder.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flReadingMeter.h"
#include "framlet/shell/FLUndoManager.h"
#include "platform/FLError.h"
#include "platform/NotificationCenter.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <memory>
#include <new>
#include <optional>

namespace {

constexpr const char* kWholeDocFailed = "archiveWholeDocForUndo failed";
constexpr const char* kLayoutFailed = "archiveForUndoWithColumns:rows: failed";
constexpr const char* kCellsFailed = "archiveCellsForUndo:inRange: failed";
constexpr const char* kColumnsFailed = "archiveColumnsForUndo: failed";

// A decoder over an archive text, with the spreadsheet's tag table.
std::unique_ptr<FLXmlDecoder> ArchiveDecoder(const QString& text) {
  std::unique_ptr<FLXmlDecoder> decoder = FLXmlDecoder::withString(text);
  if (decoder) PrepareSpreadsheetDecoder(*decoder);
  return decoder;
}

// An archiver that gives up tells why: a command whose step could not be made for want of memory
// says so.
void LogArchiveFailure(const std::exception& exception, const char* context) {
  if (dynamic_cast<const std::bad_alloc*>(&exception)) FLReadingMeter::NoteOutOfMemory();
  LogException(exception, context ? QLatin1String(context) : QString());
}

bool RowBefore(const std::unique_ptr<CARow>& row, int64_t y) { return row->gridY() < y; }

// Puts the packed numbers back as plain entries, into the rows they came from (made again where
// they went), each row's entries merged into what the row holds, in one pass a row; the rows
// made are merged into the sheet's rows in one pass too. A number's readers are told it is back.
void RestorePlainNumbers(CADocument& document, const CAPackedNumbers& numbers) {
  if (numbers.entries.empty()) return;
  CADocument::RowList& rows = document.mutableRows();
  const bool read = !document.referenceTable().isEmpty();
  std::vector<std::unique_ptr<CARow>> made;
  std::vector<CACellEntry> merged, fresh;
  auto from = rows.begin();
  size_t next = 0;
  for (const CAPackedNumbers::Row& packed : numbers.rows) {
    const size_t first = next;
    if (packed.count > numbers.entries.size() - first) break;
    next = first + size_t(packed.count);
    from = std::lower_bound(from, rows.end(), packed.y, RowBefore);
    CARow* row = nullptr;
    if (from != rows.end() && (*from)->gridY() == packed.y) {
      row = from->get();
    } else {
      made.push_back(std::make_unique<CARow>(packed.y));
      row = made.back().get();
    }
    CARow::CellList& cells = row->mutableCells();
    if (cells.empty()) {
      cells.reserve(packed.count);
      for (size_t i = first; i < next; ++i) cells.push_back(numbers.entries[i].plainCopy());
    } else {
      // Everything that takes memory is made before the first of the row's cells moves: should
      // it fail, the row is as it was.
      fresh.clear();
      fresh.reserve(packed.count);
      for (size_t i = first; i < next; ++i) fresh.push_back(numbers.entries[i].plainCopy());
      merged.clear();
      merged.reserve(cells.size() + packed.count);
      cells.reserve(cells.size() + packed.count);
      size_t kept = 0;
      for (CACellEntry& number : fresh) {
        const int64_t x = number.x();
        while (kept < cells.size() && cells[kept].x() < x) merged.push_back(std::move(cells[kept++]));
        // The range was cleared first: a cell still there gives its place to the number.
        if (kept < cells.size() && cells[kept].x() == x) {
          if (const CACell* replaced = cells[kept].cell()) document.dropReferencesOf(*replaced);
          ++kept;
        }
        merged.push_back(std::move(number));
      }
      while (kept < cells.size()) merged.push_back(std::move(cells[kept++]));
      // Back into the room reserved above.
      cells.clear();
      for (CACellEntry& entry : merged) cells.push_back(std::move(entry));
    }
    if (read)
      for (size_t i = first; i < next; ++i) document.setRecalcForDependents(GridPoint{numbers.entries[i].x(), packed.y});
  }
  if (!made.empty()) {
    const auto middle = std::ptrdiff_t(rows.size());
    rows.insert(rows.end(), std::make_move_iterator(made.begin()), std::make_move_iterator(made.end()));
    if (middle > 0 && rows[size_t(middle) - 1]->gridY() > rows[size_t(middle)]->gridY())
      std::inplace_merge(rows.begin(), rows.begin() + middle, rows.end(),
                         [](const std::unique_ptr<CARow>& a, const std::unique_ptr<CARow>& b) {
                           return a->gridY() < b->gridY();
                         });
  }
  document.setCellAdded(true);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Registering steps

FLUndoManager* CADocument::undoManager() const {
  return controller_ ? controller_->undoManager() : nullptr;
}

bool CADocument::setUndo(uint32_t undoID, uint32_t action, int32_t descriptor, const GridRange& range,
                         int32_t domain) {
  FLUndoManager* manager = undoManager();
  // A document no window shows (a clipboard or import document) keeps no history.
  if (!manager) return true;
  const CAUndoContext context{range, domain};
  return manager->setUndoID(undoID, action, uint32_t(descriptor), &context);
}

bool CADocument::setCellUndo(int32_t descriptor, int32_t rangeType) {
  return setCellUndoID(kFLNewUndoID, descriptor, rangeType);
}

bool CADocument::setCellUndoID(uint32_t undoID, int32_t descriptor, int32_t rangeType) {
  GridRange range;
  switch (rangeType) {
    case kUndoRangeSelection:
      range = selectionRange_;
      break;
    case kUndoRangeActiveCell:
      range = GridRange{activeCellPoint_, activeCellPoint_};
      break;
    default:
      range = fullExtent();
      break;
  }
  return setUndo(undoID, kUndoActionCells, descriptor, range, kDomainCell);
}

// ---------------------------------------------------------------------------------------------
// Archives

QString CADocument::archiveWholeDocForUndo() {
  const QByteArray text = archiveWholeDocUtf8ForUndo();
  return text.isEmpty() ? QString() : QString::fromUtf8(text);
}

QByteArray CADocument::archiveWholeDocUtf8ForUndo() {
  try {
    FlagScope settingUndo(*this, &CADocument::setSettingUndo, true);
    // Room for the whole text at once, about what a cell and a row take: a long sheet's text is
    // not copied into twice the room again and again as it grows.
    size_t cells = 0;
    for (const std::unique_ptr<CARow>& row : rows_) cells += row->cells().size();
    FLXmlEncoder encoder(qsizetype(std::min<size_t>(cells * 96 + rows_.size() * 48, size_t(1) << 30)));
    encoder.addAttribute(XmlName(kXmlVer), int64_t(kSpreadsheetXmlVersion));
    encoder.openTag(XmlName(kXmlSpreadsheet));
    saveColumns(encoder);
    if (!rows_.empty()) {
      encoder.openTag(XmlName(kXmlRows));
      for (const std::unique_ptr<CARow>& row : rows_) {
        FLError error;
        row->saveToXml(encoder, this, &error);
        if (error.code != 0 || !error.reason.isEmpty()) {
          LogString(kWholeDocFailed);
          return QByteArray();
        }
      }
      encoder.closeTag(XmlName(kXmlRows));
      encoder.addTag(XmlName(kXmlSel), StringFromSelection(selectionRange_));
      encoder.addTag(XmlName(kXmlActive), StringFromGridPoint(activeCellPoint_));
    }
    encoder.closeTag(XmlName(kXmlSpreadsheet));
    // A step lives long: the room reserved beyond the text goes (given back in place).
    QByteArray text = encoder.takeUtf8();
    text.squeeze();
    return text;
  } catch (const std::exception& exception) {
    LogArchiveFailure(exception, kWholeDocFailed);
    return QByteArray();
  }
}

QString CADocument::archiveForUndoWithColumns(bool columns, bool rows) {
  try {
    FLXmlEncoder encoder;
    encoder.openTag(XmlName(kXmlSpreadsheet));
    saveDocumentInfo(encoder, true);
    if (columns) saveColumns(encoder);
    if (rows && !rows_.empty()) {
      encoder.openTag(XmlName(kXmlRowHeight));
      for (const std::unique_ptr<CARow>& row : rows_) row->saveHeightToXml(encoder);
      encoder.closeTag(XmlName(kXmlRowHeight));
    }
    encoder.closeTag(XmlName(kXmlSpreadsheet));
    return encoder.xml();
  } catch (const std::exception& exception) {
    LogArchiveFailure(exception, kLayoutFailed);
    return QString();
  }
}

bool CADocument::archiveCellsForUndo(std::vector<QString>& archive, const GridRange& range, CAPackedNumbers* numbers) {
  try {
    FlagScope settingUndo(*this, &CADocument::setSettingUndo, true);
    bool written = true;
    // The walk of readCellsInRange, over the entries: a plain number is packed as it is kept.
    const bool allRows = range.startPoint.y == kGridWildcard;
    const bool allColumns = range.startPoint.x == kGridWildcard;
    const auto first = allRows ? rows_.begin() : std::lower_bound(rows_.begin(), rows_.end(), range.startPoint.y, RowBefore);
    const auto entriesOf = [&](const CARow& row) {
      const CARow::CellList& cells = row.cells();
      const size_t from = allColumns ? 0 : row.lowerBound(range.startPoint.x);
      const size_t to =
          allColumns || range.endPoint.x >= kGridOpenEnd ? cells.size() : row.lowerBound(range.endPoint.x + 1);
      return std::pair(from, std::max(from, to));
    };
    if (numbers) {
      // Room for every entry of the range, made once: a step lives long and keeps no spare room,
      // and growing a block of a million numbers would hold two of them for a moment.
      size_t entries = 0;
      size_t rows = 0;
      for (auto it = first; it != rows_.end() && (allRows || (*it)->gridY() <= range.endPoint.y); ++it) {
        const auto [from, to] = entriesOf(**it);
        entries += to - from;
        rows += to > from ? 1 : 0;
      }
      numbers->entries.reserve(numbers->entries.size() + entries);
      numbers->rows.reserve(numbers->rows.size() + rows);
    }
    for (auto it = first; written && it != rows_.end(); ++it) {
      const CARow& row = **it;
      if (!allRows && row.gridY() > range.endPoint.y) break;
      const CARow::CellList& cells = row.cells();
      // A step is part of the command it records: a paste's meter holds it too.
      if (!FLReadingMeter::Checkpoint(int64_t(cells.size()) + 1)) {
        written = false;
        break;
      }
      for (size_t i = allColumns ? 0 : row.lowerBound(range.startPoint.x); i < cells.size(); ++i) {
        const CACellEntry& entry = cells[i];
        if (!allColumns && entry.x() > range.endPoint.x) break;
        if (numbers) {
          if (entry.isPlain()) {
            numbers->add(row.gridY(), entry.plainCopy());
            continue;
          }
          if (std::optional<CACellEntry> plain = CACellEntry::plainNumber(*entry.cell())) {
            numbers->add(row.gridY(), std::move(*plain));
            continue;
          }
        }
        const CACellReading cell(entry, row.gridY(), this);
        if (!cell->holdsContent()) continue;
        FLXmlEncoder encoder;
        FLError error;
        if (!cell->saveToXml(encoder, &error)) {
          written = false;
          break;
        }
        archive.push_back(encoder.xml());
      }
    }
    // Entries that were no lone numbers went as texts: their room goes when it is much.
    if (numbers && numbers->entries.capacity() - numbers->entries.size() > numbers->entries.size() / 8)
      numbers->entries.shrink_to_fit();
    if (!written) LogString(kCellsFailed);
    return written;
  } catch (const std::bad_alloc& exception) {
    FLReadingMeter::NoteOutOfMemory();
    LogException(exception, QLatin1String(kCellsFailed));
    return false;
  } catch (const std::exception& exception) {
    LogException(exception, QLatin1String(kCellsFailed));
    return false;
  }
}

bool CADocument::archiveColumnsForUndo(std::vector<QString>& archive) {
  try {
    for (const std::unique_ptr<CAColumn>& column : columns_) {
      FLXmlEncoder encoder;
      column->saveToXml(encoder);
      archive.push_back(encoder.xml());
    }
    return true;
  } catch (const std::exception& exception) {
    LogArchiveFailure(exception, kColumnsFailed);
    return false;
  }
}

bool CADocument::archiveRowsForUndo(std::vector<QString>& archive) {
  try {
    for (const std::unique_ptr<CARow>& row : rows_) {
      FLXmlEncoder encoder;
      row->saveHeightToXml(encoder);
      archive.push_back(encoder.xml());
    }
    return true;
  } catch (const std::exception& exception) {
    // This archiver's failures are logged without a context of their own.
    LogArchiveFailure(exception, nullptr);
    return false;
  }
}

void CADocument::addArchivedFormatsForUndo(std::vector<QString>& archive, const GridRange& range,
                                           int32_t domain) {
  const auto add = [&](const CAFormat& format, const GridPoint& point) {
    FLXmlEncoder encoder;
    format.saveToXml(encoder, &point);
    archive.push_back(encoder.xml());
  };
  if (domain == kDomainDocument) {
    add(defaultFormat_, GridPoint{0, 0});
    return;
  }
  GridRange normalized;
  if (TypeOfRange(&normalized, range) == kRangeInvalid) return;
  const GridPoint& s = normalized.startPoint;
  GridPoint e = normalized.endPoint;
  // Only lines and cells that exist can hold a format: they are visited instead of every point.
  if (domain == kDomainRow) {
    for (const std::unique_ptr<CARow>& row : rows_) {
      if (row->gridY() < s.y) continue;
      if (row->gridY() > e.y) break;
      if (const CAFormat* format = row->format()) add(*format, GridPoint{-1, row->gridY()});
    }
  } else if (domain == kDomainColumn) {
    for (const std::unique_ptr<CAColumn>& column : columns_) {
      if (column->gridX() < s.x) continue;
      if (column->gridX() > e.x) break;
      if (const CAFormat* format = column->format()) add(*format, GridPoint{column->gridX(), -1});
    }
  } else {
    const GridPoint last = extent().endPoint;
    if (e.x == kGridOpenEnd)
      e.x = last.x;
    else if (e.y == kGridOpenEnd)
      e.y = last.y;
    readCellsInRange(GridRange{s, e}, [&](const CACell& cell, bool&) {
      if (const CAFormat* format = cell.format()) add(*format, cell.gridPoint());
    });
  }
}

// ---------------------------------------------------------------------------------------------
// Restores

void CADocument::restoreWholeDocFromUndo(const QString& archive) { restoreWholeDocFromUndo(archive.toUtf8()); }

void CADocument::restoreWholeDocFromUndo(const QByteArray& archive) {
  std::unique_ptr<FLXmlDecoder> decoder = FLXmlDecoder::withData(archive);
  if (!decoder) return;
  PrepareSpreadsheetDecoder(*decoder);
  // The formulas leave the reference table with their cells: every one of them, so the table
  // starts empty.
  references_ = std::make_unique<CAReferenceTable>();
  dropKeptFolds();
  columns_.clear();
  rows_.clear();
  loadFromXml(*decoder);
  invalidateAfterUndoForRows(false, true, true);
}

void CADocument::loadUndoArchive(const QString& archive) {
  std::unique_ptr<FLXmlDecoder> decoder = ArchiveDecoder(archive);
  if (!decoder) return;
  // The archive names only the options that are on or set: every other one ends off or empty.
  setFillPages(false);
  setScaleToFit(false);
  setShowPageBreaks(false);
  setPrintLabels(false);
  setPrintGrid(false);
  setTitleColumn(false);
  setTitleRow(false);
  setShowOnlyOccupied(false);
  setRedFormulas(false);
  setShowFormulas(false);
  setConstrainText(false);
  setNoPreview(false);
  setMakeBackups(false);
  // setDefaultWidth leaves the digit count negative; the count is reset after it.
  setDefaultWidth(0);
  setDefaultDigitCount(0);
  setStripeInterval(0);
  setHeaderOffset(0);
  setMinimumHeight(0);
  setTopMargin(0);
  setBottomMargin(0);
  setLeftMargin(0);
  setRightMargin(0);
  setStripeKolor(kNoKolor);
  setHeader(QString());
  setFooter(QString());
  loadFromXml(*decoder);
  invalidateAfterUndoForRows(true, true, false);
}

void CADocument::restoreColumnsFromUndo(const std::vector<QString>& archive) {
  columns_.clear();
  for (const QString& text : archive) {
    std::unique_ptr<FLXmlDecoder> decoder = ArchiveDecoder(text);
    if (!decoder || !decoder->getNextTag() || XmlTagOf(*decoder) != kXmlCol) continue;
    std::unique_ptr<CAColumn> column = CAColumn::withXml(*decoder);
    if (IsOnGrid({column->gridX(), 0})) addColumn(std::move(column));
  }
  invalidateAfterUndoForRows(false, true, false);
}

void CADocument::restoreRowsFromUndo(const std::vector<QString>& archive) {
  for (const QString& text : archive) {
    std::unique_ptr<FLXmlDecoder> decoder = ArchiveDecoder(text);
    if (!decoder || !decoder->getNextTag() || XmlTagOf(*decoder) != kXmlRow) continue;
    const int64_t y = decoder->integerAttributeForTag(XmlName(kXmlY));
    if (!IsGridCoordinate(y)) continue;
    CARow* row = rowImperative(y);
    row->setMinimumHeight(0);
    row->setHeight(0);
    row->loadFromXml(*decoder, this);
  }
  // The heights come back with the rows: their texts of several lines are laid out again.
  invalidateAllLongText();
  invalidateAfterUndoForRows(false, false, false);
}

void CADocument::restoreCellsFromUndo(const std::vector<QString>& archive, const GridRange& range,
                                      const CAPackedNumbers* numbers) {
  setSelectionRange(range);
  // The cells go, never the formats of whole rows or columns, which the archive does not hold:
  // the range is cleared as a block.
  // The clear and the store are one edit, recalculated once when both are done.
  std::optional<EditBatch> batch(std::in_place, *this, true);
  GridRange block;
  if (TypeOfRange(&block, range) != kRangeInvalid) clearRange(block, kClearAll, kUndoUnnamed);
  if (numbers) RestorePlainNumbers(*this, *numbers);
  for (const QString& text : archive) {
    std::unique_ptr<FLXmlDecoder> decoder = ArchiveDecoder(text);
    if (!decoder || !decoder->getNextTag() || XmlTagOf(*decoder) != kXmlCell) continue;
    std::unique_ptr<CACell> cell = CACell::withXml(*decoder, this);
    const GridPoint point = cell->gridPoint();
    if (!IsOnGrid(point)) continue;
    if (const CACell* replaced = cellAtGridPoint(point)) dropReferencesOf(*replaced);
    addReferencesOf(*storeCell(std::move(cell), point));
  }
  batch.reset();
  invalidateAfterUndoForRows(true, true, true);
}

void CADocument::restoreFormatsFromUndo(const std::vector<QString>& archive, const GridRange& range,
                                        int32_t domain) {
  const auto readFormat = [](FLXmlDecoder& decoder, GridPoint* point) {
    point->x = decoder.integerAttributeForTag(XmlName(kXmlX));
    point->y = decoder.integerAttributeForTag(XmlName(kXmlY));
    return CAFormat::withXml(decoder);
  };
  if (domain == kDomainDocument) {
    // The document's default is no cell's format: it goes back to the document.
    for (const QString& text : archive) {
      std::unique_ptr<FLXmlDecoder> decoder = ArchiveDecoder(text);
      if (!decoder || !decoder->getNextTag() || XmlTagOf(*decoder) != kXmlFormat) continue;
      GridPoint point;
      setDefaultFormat(readFormat(*decoder, &point));
    }
    invalidateLongTextForFormats(range, kDomainDocument);
    layOutLongText();
    if (controller_) controller_->redrawSelectionForDomain(kDomainDocument);
    notifyOfSelectionChange();
    return;
  }
  setSelectionRange(range);
  clearFormatFromSelection();
  for (const QString& text : archive) {
    std::unique_ptr<FLXmlDecoder> decoder = ArchiveDecoder(text);
    if (!decoder || !decoder->getNextTag() || XmlTagOf(*decoder) != kXmlFormat) continue;
    GridPoint point;
    CAFormat format = readFormat(*decoder, &point);
    if (point.x < 0) {
      if (IsGridCoordinate(point.y)) rowImperative(point.y)->setFormat(std::move(format));
    } else if (point.y < 0) {
      if (IsGridCoordinate(point.x)) columnImperative(point.x)->setFormat(std::move(format));
    } else if (IsGridCoordinate(point.x) && IsGridCoordinate(point.y)) {
      if (CACell* cell = cellAtGridPointImperative(point)) cell->setFormat(std::move(format));
    }
  }
  // The texts take back the widths of their formats (the clear above marked nothing).
  invalidateLongTextForFormats(range, domain);
  layOutLongText();
}

void CADocument::invalidateAfterUndoForRows(bool rows, bool columns, bool values) {
  // A negative start column covers every column.
  if (columns) recalcImageCellsInColumnRange(GridRange{{-1, 0}, {0, 1}});
  if (rows) {
    for (const std::unique_ptr<CARow>& row : rows_) row->setNeedCalculate(true);
    // The rows' heights may be others now: their texts of several lines are laid out again.
    invalidateAllLongText();
  }
  NotificationCenter::defaultCenter().post(QLatin1String(kPagesChangedNotification), this);
  // Widths, heights and options came back, no value: the sheet is laid out, not recalculated.
  if (values)
    invalidateAfterCellEdit(-1);
  else
    invalidateAfterLayoutChange();
}
