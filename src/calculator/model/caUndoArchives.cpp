#include "calculator/model/caUndoArchives.h"

#include "calculator/model/caCommandGuard.h"

#include "calculator/model/caDocumentXml.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caXmlTags.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/FLXmlEncoder.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flReadingMeter.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <optional>

namespace {

constexpr std::array<const char*, kUndoDescriptorCount> kUndoDescriptorNames = {
    "",          "Border",      "Checkbox",        "Clear",         "Color",       "Cut",
    "Delete",    "Document Format", "Drag Cells",  "Drag Columns",  "Drag Rows",   "Fill",
    "Font",      "Formula",     "Header/Footer",   "Row Height",    "Picture",     "Insert",
    "Link",      "Margins",     "Note",            "Number",        "Page Setup",  "Password",
    "Paste",     "Paste Style", "Print Options",   "Replace",       "Sort",        "Text Format",
    "Typing",    "Column Width",
};

constexpr const char* kBadUndoDescriptor = "Bad undo descriptor";
constexpr const char* kNoUndoContext = "No undo context";
constexpr const char* kUnknownUndoAction = "Unknown undo action";
constexpr const char* kLinesFailed = "archiveLinesForUndo: failed";
constexpr const char* kReplayFailed = "undoOrRedo: failed";
constexpr const char* kWindowUpdateFailed = "The window could not show the undo step";

// The data buffer of one step. Read and written by copying: the stack's buffers are bytes.
struct UndoRecord {
  uint64_t archiveKey;  // 0: none
  GridRange range;
  int32_t domain;
  uint8_t dirtyBefore;
};
static_assert(sizeof(UndoRecord) <= CAUndoArchiver::kBufferSize);

UndoRecord ReadRecord(const void* data) {
  UndoRecord record;
  std::memcpy(&record, data, sizeof record);
  return record;
}

void WriteRecord(void* data, const UndoRecord& record) { std::memcpy(data, &record, sizeof record); }

// The first tag of an archive text, the decoder left on it.
std::unique_ptr<FLXmlDecoder> OpenText(const QString& text, CAXmlTag* tag) {
  std::unique_ptr<FLXmlDecoder> decoder = FLXmlDecoder::withString(text);
  if (!decoder) return nullptr;
  PrepareSpreadsheetDecoder(*decoder);
  if (!decoder->getNextTag()) return nullptr;
  *tag = XmlTagOf(*decoder);
  return decoder;
}

// A step of cells or formats also notes the selection and active cell: the restore selects its
// range, and the noted selection is then put back, so that an undo leaves the selection as it was
// before the step and a redo as it was after it.
void AddSelection(const CADocument& document, CAUndoArchive& archive) {
  archive.selection = document.selectionRange();
  archive.active = document.activeCellPoint();
}

// A cells step notes which rows of its range exist: the cells' restore cannot tell the rows that
// the step made to hold new cells (and that hold nothing once the cells are gone) from rows that
// were there, empty, before.
void AddRowMarkers(const CADocument& document, const GridRange& range, CAUndoArchive& archive) {
  GridRange span;
  if (TypeOfRange(&span, range) == kRangeInvalid) return;
  const CADocument::RowList& rows = document.rows();
  auto it = std::lower_bound(rows.begin(), rows.end(), span.startPoint.y,
                             [](const std::unique_ptr<CARow>& row, int64_t y) { return row->gridY() < y; });
  for (; it != rows.end() && (*it)->gridY() <= span.endPoint.y; ++it) archive.rows.push_back((*it)->gridY());
  archive.rows.shrink_to_fit();
}

// A formats step of columns notes which columns of its range exist, for the same reason.
void AddColumnMarkers(const CADocument& document, const GridRange& range, CAUndoArchive& archive) {
  GridRange span;
  if (TypeOfRange(&span, range) == kRangeInvalid) return;
  for (const std::unique_ptr<CAColumn>& column : document.columns()) {
    if (column->gridX() < span.startPoint.x) continue;
    if (column->gridX() > span.endPoint.x) break;
    archive.columns.push_back(column->gridX());
  }
}

void RestoreSelection(CADocument& document, const CAUndoArchive& archive) {
  if (archive.selection) document.setSelectionRange(*archive.selection);
  if (archive.active) document.setActiveCellPoint(*archive.active);
}

// Removes the rows (within [first, last]) that hold nothing and that the archive did not have.
void RemoveRowsNotKept(CADocument& document, int64_t first, int64_t last, const std::vector<int64_t>& kept) {
  std::erase_if(document.mutableRows(), [&](const std::unique_ptr<CARow>& row) {
    const int64_t y = row->gridY();
    const bool vanilla = row->cells().empty() && !row->format() && row->minimumHeight() == 0;
    return vanilla && y >= first && y <= last && !std::binary_search(kept.begin(), kept.end(), y);
  });
}

// The rows of the range are those the archive noted again.
void RestoreRowsOfRange(CADocument& document, const GridRange& span, const CAUndoArchive& archive) {
  RemoveRowsNotKept(document, span.startPoint.y, span.endPoint.y, archive.rows);
  for (const int64_t y : archive.rows) document.rowImperative(y);
}

void RestoreCells(CADocument& document, const GridRange& range, const CAUndoArchive& archive) {
  document.restoreCellsFromUndo(archive.texts, range, &archive.numbers);
  GridRange span;
  if (TypeOfRange(&span, range) != kRangeInvalid) RestoreRowsOfRange(document, span, archive);
  RestoreSelection(document, archive);
}

// The lines of a whole-lines range beyond its cells: every column (few, and the source's columns
// may land anywhere), or every row's format and which rows exist (a source's rows outside what was
// copied give their formats too).
bool ArchiveLines(CADocument& document, const GridRange& range, CAUndoArchive& archive) {
  GridRange span;
  const int32_t type = TypeOfRange(&span, range);
  if (type == kRangeColumns) {
    archive.lineColumns.emplace();
    return document.archiveColumnsForUndo(*archive.lineColumns);
  }
  if (type != kRangeRows) return true;
  try {
    std::vector<int64_t>& rows = archive.allRows.emplace();
    rows.reserve(document.rows().size());
    for (const std::unique_ptr<CARow>& row : document.rows()) {
      rows.push_back(row->gridY());
      if (const CAFormat* format = row->format()) archive.rowFormats.emplace_back(row->gridY(), format->copy());
    }
  } catch (const std::bad_alloc& exception) {
    FLReadingMeter::NoteOutOfMemory();
    LogException(exception, QLatin1String(kLinesFailed));
    return false;
  }
  return FLReadingMeter::Checkpoint(int64_t(archive.allRows->size()));
}

// After the cells (whose restore of whole lines takes the lines' formats with them).
void RestoreLines(CADocument& document, const CAUndoArchive& archive) {
  if (archive.lineColumns) {
    document.restoreColumnsFromUndo(*archive.lineColumns);
    return;
  }
  if (!archive.allRows) return;
  auto formatted = archive.rowFormats.begin();
  for (const std::unique_ptr<CARow>& row : document.rows()) {
    while (formatted != archive.rowFormats.end() && formatted->first < row->gridY()) ++formatted;
    if (formatted != archive.rowFormats.end() && formatted->first == row->gridY())
      row->setFormat(formatted->second.copy());
    else if (row->format())
      row->setFormat(std::nullopt);
  }
  RemoveRowsNotKept(document, 0, kGridOpenEnd, *archive.allRows);
  for (const auto& [y, format] : archive.rowFormats)
    if (!document.row(y)) document.rowImperative(y)->setFormat(format.copy());
}

void RestoreFormats(CADocument& document, const CAUndoContext& context, const CAUndoArchive& archive) {
  document.restoreFormatsFromUndo(archive.texts, context.range, context.domain);
  GridRange span;
  if (context.domain != kDomainDocument && TypeOfRange(&span, context.range) != kRangeInvalid) {
    if (context.domain == kDomainColumn) {
      std::erase_if(document.mutableColumns(), [&](const std::unique_ptr<CAColumn>& column) {
        const int64_t x = column->gridX();
        const bool vanilla = column->digitCount() == 0 && column->width() == 0 && !column->format();
        return vanilla && x >= span.startPoint.x && x <= span.endPoint.x &&
               !std::binary_search(archive.columns.begin(), archive.columns.end(), x);
      });
    } else {
      if (context.domain == kDomainCell) {
        // Cells that the step made only to hold a format hold nothing now.
        for (const std::unique_ptr<CARow>& row : document.rows()) {
          if (row->gridY() < span.startPoint.y) continue;
          if (row->gridY() > span.endPoint.y) break;
          row->mutableCells().eraseIf([&](const CACellEntry& entry) {
            const CACell* cell = entry.cell();
            const int64_t x = entry.x();
            return cell && x >= span.startPoint.x && x <= span.endPoint.x && cell->valueType() == kValueNone &&
                   !cell->format() && cell->note().isEmpty();
          });
        }
      }
      RestoreRowsOfRange(document, span, archive);
    }
  }
  RestoreSelection(document, archive);
}

// Heights are restored over rows that may have been made for them: every row starts from no
// height of its own, and rows the archive did not have and that hold nothing go.
void ResetRowHeights(CADocument& document) {
  for (const std::unique_ptr<CARow>& row : document.rows()) {
    row->setMinimumHeight(0);
    row->setNeedCalculate(true);
  }
}

void RestoreRows(CADocument& document, const std::vector<QString>& archive) {
  std::vector<int64_t> kept;
  for (const QString& text : archive) {
    CAXmlTag tag = kXmlUnknownTag;
    std::unique_ptr<FLXmlDecoder> decoder = OpenText(text, &tag);
    if (decoder && tag == kXmlRow) kept.push_back(decoder->integerAttributeForTag(XmlName(kXmlY)));
  }
  std::sort(kept.begin(), kept.end());
  ResetRowHeights(document);
  document.restoreRowsFromUndo(archive);
  RemoveRowsNotKept(document, 0, kGridOpenEnd, kept);
}

void RestoreLayout(CADocument& document, uint32_t action, const QString& archive) {
  std::vector<int64_t> kept;
  if (action == kUndoActionLayoutColumns) {
    // The archive holds every column; a column it lacks was made by the step.
    document.mutableColumns().clear();
  } else if (action == kUndoActionLayoutRows) {
    CAXmlTag tag = kXmlUnknownTag;
    std::unique_ptr<FLXmlDecoder> decoder = OpenText(archive, &tag);
    while (decoder && decoder->getNextTag()) {
      if (decoder->startTag() && XmlTagOf(*decoder) == kXmlRow)
        kept.push_back(decoder->integerAttributeForTag(XmlName(kXmlY)));
    }
    std::sort(kept.begin(), kept.end());
    ResetRowHeights(document);
  }
  document.loadUndoArchive(archive);
  if (action == kUndoActionLayoutRows) RemoveRowsNotKept(document, 0, kGridOpenEnd, kept);
}

// Puts an archive back after a restore that ran out of memory part-way; tried twice, the second
// attempt giving back what the first made.
void RestoreAgain(CADocument& document, uint32_t action, const CAUndoContext& context, const CAUndoArchive& archive) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      RestoreUndoAction(document, action, context, archive);
      return;
    } catch (const std::exception& exception) {
      LogException(exception, QLatin1String(kReplayFailed));
    }
  }
}

// What the window does around a step only shows it: should that run out of memory, the step and
// the document stand, and the window catches up at its next redraw.
template <typename Tell>
void TellWindow(Tell&& tell) {
  try {
    tell();
  } catch (const std::exception& exception) {
    LogException(exception, QLatin1String(kWindowUpdateFailed));
  }
}

bool NeedsContext(uint32_t action) {
  return action == kUndoActionCells || action == kUndoActionColumns || action == kUndoActionFormats ||
         action == kUndoActionRows || action == kUndoActionCellsAndLines;
}

}  // namespace

void CAPackedNumbers::add(int64_t y, CACellEntry entry) {
  if (rows.empty() || rows.back().y != y) rows.push_back(Row{y, 0});
  ++rows.back().count;
  entries.push_back(std::move(entry));
}

size_t CAUndoArchive::bytes() const {
  size_t total = sizeof *this + texts.capacity() * sizeof(QString) + numbers.rows.capacity() * sizeof(CAPackedNumbers::Row) +
                 numbers.entries.capacity() * sizeof(CACellEntry) + (rows.capacity() + columns.capacity()) * sizeof(int64_t);
  // A text's block: its header, its code units and the closing null.
  for (const QString& text : texts)
    if (!text.isNull()) total += sizeof(QArrayData) + (size_t(text.capacity()) + 1) * sizeof(char16_t);
  if (!document.isNull()) total += sizeof(QArrayData) + size_t(document.capacity()) + 1;
  if (lineColumns) {
    total += lineColumns->capacity() * sizeof(QString);
    for (const QString& text : *lineColumns) total += sizeof(QArrayData) + (size_t(text.capacity()) + 1) * sizeof(char16_t);
  }
  if (allRows) total += allRows->capacity() * sizeof(int64_t);
  total += rowFormats.capacity() * sizeof(rowFormats[0]);
  return total;
}

QString UndoDescriptorName(uint32_t descriptor) {
  if (descriptor >= kUndoDescriptorNames.size()) {
    LogAssert(kBadUndoDescriptor, __func__, __FILE__, __LINE__);
    return QString();
  }
  return QLatin1String(kUndoDescriptorNames[descriptor]);
}

bool ArchiveForUndoAction(CADocument& document, uint32_t action, const CAUndoContext& context,
                          CAUndoArchive& archive) {
  const auto single = [&](const QString& text) {
    if (text.isNull()) return false;
    archive.texts.push_back(text);
    return true;
  };
  switch (action) {
    case kUndoActionCells:
    case kUndoActionCellsAndLines:
      if (!document.archiveCellsForUndo(archive.texts, context.range, &archive.numbers)) return false;
      AddRowMarkers(document, context.range, archive);
      AddSelection(document, archive);
      return action == kUndoActionCells || ArchiveLines(document, context.range, archive);
    case kUndoActionColumns:
      return document.archiveColumnsForUndo(archive.texts);
    case kUndoActionLayout:
      // The password step is a layout step: the check value and the hint go with the options.
      if (!single(document.archiveForUndoWithColumns(false, false))) return false;
      archive.texts.push_back(document.password());
      archive.texts.push_back(document.passwordHint());
      return true;
    case kUndoActionLayoutColumns:
    case kUndoActionLayoutRows:
      return single(document.archiveForUndoWithColumns(action == kUndoActionLayoutColumns,
                                                       action == kUndoActionLayoutRows));
    case kUndoActionFormats:
      document.addArchivedFormatsForUndo(archive.texts, context.range, context.domain);
      if (context.domain == kDomainDocument) return true;
      if (context.domain == kDomainColumn)
        AddColumnMarkers(document, context.range, archive);
      else
        AddRowMarkers(document, context.range, archive);
      AddSelection(document, archive);
      return true;
    case kUndoActionRows:
      return document.archiveRowsForUndo(archive.texts);
    case kUndoActionWholeDocument:
      archive.document = document.archiveWholeDocUtf8ForUndo();
      return !archive.document.isEmpty();
    default:
      LogAssert(kUnknownUndoAction, __func__, __FILE__, __LINE__);
      return false;
  }
}

void RestoreUndoAction(CADocument& document, uint32_t action, const CAUndoContext& context,
                       const CAUndoArchive& archive) {
  const QString first = archive.texts.empty() ? QString() : archive.texts.front();
  switch (action) {
    case kUndoActionCells:
      RestoreCells(document, context.range, archive);
      break;
    case kUndoActionCellsAndLines:
      RestoreCells(document, context.range, archive);
      RestoreLines(document, archive);
      RestoreSelection(document, archive);
      break;
    case kUndoActionColumns:
      document.restoreColumnsFromUndo(archive.texts);
      break;
    case kUndoActionLayout:
    case kUndoActionLayoutColumns:
    case kUndoActionLayoutRows:
      RestoreLayout(document, action, first);
      if (action == kUndoActionLayout && archive.texts.size() == 3) {
        document.setPassword(archive.texts[1]);
        document.setPasswordHint(archive.texts[2]);
      }
      break;
    case kUndoActionFormats:
      RestoreFormats(document, context, archive);
      break;
    case kUndoActionRows:
      RestoreRows(document, archive.texts);
      break;
    case kUndoActionWholeDocument:
      document.restoreWholeDocFromUndo(archive.document);
      break;
    default:
      LogAssert(kUnknownUndoAction, __func__, __FILE__, __LINE__);
      break;
  }
}

// ---------------------------------------------------------------------------------------------
// CAUndoArchiver

bool CAUndoArchiver::setUndoAction(uint32_t action, uint32_t, void* data, const void* context) {
  const auto* undoContext = static_cast<const CAUndoContext*>(context);
  if (NeedsContext(action) && !undoContext) {
    LogAssert(kNoUndoContext, __func__, __FILE__, __LINE__);
    return false;
  }
  if (action >= kUndoActionCount) {
    LogAssert(kUnknownUndoAction, __func__, __FILE__, __LINE__);
    return false;
  }
  const CAUndoContext stepContext = undoContext ? *undoContext : CAUndoContext{};
  CAUndoArchive archive;
  if (!ArchiveForUndoAction(document_, action, stepContext, archive)) return false;
  // Restoring the step makes again what it holds: that room is kept while the command runs.
  try {
    KeepRollbackRoom(archive.bytes());
  } catch (const std::bad_alloc&) {
    FLReadingMeter::NoteOutOfMemory();
    return false;
  }
  const uint64_t key = nextArchiveKey_;
  archives_.emplace(key, std::move(archive));
  ++nextArchiveKey_;
  WriteRecord(data, UndoRecord{key, stepContext.range, stepContext.domain, uint8_t(document_.dirty())});
  document_.noteEdit();
  TellWindow([&] { stepRecorded(); });
  return true;
}

bool CAUndoArchiver::undoOrRedo(uint32_t* action, uint32_t, void* data, bool isRedo) {
  UndoRecord record = ReadRecord(data);
  const auto stored = archives_.find(record.archiveKey);
  if (stored == archives_.end()) return false;
  const CAUndoContext context{record.range, record.domain};
  // The state the step leaves is archived first, so that the step can be replayed the other way.
  CAUndoArchive current;
  if (!ArchiveForUndoAction(document_, *action, context, current)) return false;
  bool restored = false;
  try {
    // The window hears of the replayed step once, whatever it restored.
    const CADocument::SelectionHold hold(document_);
    try {
      RestoreUndoAction(document_, *action, context, stored->second);
    } catch (const std::exception& exception) {
      // Cut short, the document goes back to the state it was in: the step stays to be replayed.
      LogException(exception, QLatin1String(kReplayFailed));
      RestoreAgain(document_, *action, context, current);
      throw;
    }
    restored = true;
    stored->second = std::move(current);
    const bool dirtyNow = document_.dirty();
    document_.setDirty(record.dirtyBefore != 0);
    record.dirtyBefore = uint8_t(dirtyNow);
    WriteRecord(data, record);
    stepReplayed(isRedo);
  } catch (const std::exception& exception) {
    // Once the step is replayed, what the window is told of it can no longer fail it.
    if (!restored) throw;
    LogException(exception, QLatin1String(kWindowUpdateFailed));
  }
  return true;
}

void CAUndoArchiver::revertUndoAction(uint32_t action, uint32_t, void* data) {
  const UndoRecord record = ReadRecord(data);
  const auto stored = archives_.find(record.archiveKey);
  if (stored == archives_.end()) return;
  const CADocument::SelectionHold hold(document_);
  RestoreUndoAction(document_, action, CAUndoContext{record.range, record.domain}, stored->second);
  document_.setDirty(record.dirtyBefore != 0);
  TellWindow([&] { stepPopped(); });
}

const CAUndoArchive* CAUndoArchiver::lastRecordedArchive() const {
  const auto stored = archives_.find(nextArchiveKey_ - 1);
  return stored == archives_.end() ? nullptr : &stored->second;
}

size_t CAUndoArchiver::archiveBytes() const {
  size_t bytes = 0;
  for (const auto& [key, archive] : archives_) bytes += sizeof key + archive.bytes();
  return bytes;
}

QString CAUndoArchiver::undoActionName(uint32_t descriptor, const void*) {
  return UndoDescriptorName(descriptor);
}

void CAUndoArchiver::freeUndoAction(uint32_t, uint32_t, void* data, bool) {
  archives_.erase(ReadRecord(data).archiveKey);
  std::memset(data, 0, sizeof(UndoRecord));
}

void CAUndoArchiver::didPopUndoAction(uint32_t, uint32_t, void* data) {
  const UndoRecord record = ReadRecord(data);
  // A step this archiver refused never changed the flag.
  if (record.archiveKey == 0) return;
  document_.setDirty(record.dirtyBefore != 0);
  stepPopped();
}
