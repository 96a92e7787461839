#include "calculator/model/caUndoArchives.h"

#include "calculator/model/caDocumentXml.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caXmlTags.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/FLXmlEncoder.h"
#include "framlet/foundation/flBase.h"

#include <algorithm>
#include <array>
#include <cstring>
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

QString TextOfTag(CAXmlTag tag, const QString& value) {
  FLXmlEncoder encoder;
  encoder.addTag(XmlName(tag), value);
  return encoder.xml();
}

// A step of cells or formats also notes, after its own texts, the selection and active cell:
// the restore selects its range, and the noted selection is then put back, so that an undo
// leaves the selection as it was before the step and a redo as it was after it.
void AddSelection(const CADocument& document, CAUndoArchive& archive) {
  archive.push_back(TextOfTag(kXmlSel, StringFromSelection(document.selectionRange())));
  archive.push_back(TextOfTag(kXmlActive, StringFromGridPoint(document.activeCellPoint())));
}

// A cells step notes which rows of its range exist, each as an empty "row" element: the cells'
// restore cannot tell the rows that the step made to hold new cells (and that hold nothing once
// the cells are gone) from rows that were there, empty, before.
void AddRowMarkers(const CADocument& document, const GridRange& range, CAUndoArchive& archive) {
  GridRange span;
  if (TypeOfRange(&span, range) == kRangeInvalid) return;
  for (const std::unique_ptr<CARow>& row : document.rows()) {
    if (row->gridY() < span.startPoint.y) continue;
    if (row->gridY() > span.endPoint.y) break;
    FLXmlEncoder encoder;
    encoder.addAttribute(XmlName(kXmlY), row->gridY());
    encoder.openAndCloseTag(XmlName(kXmlRow));
    archive.push_back(encoder.xml());
  }
}

// A formats step of columns notes which columns of its range exist, for the same reason.
void AddColumnMarkers(const CADocument& document, const GridRange& range, CAUndoArchive& archive) {
  GridRange span;
  if (TypeOfRange(&span, range) == kRangeInvalid) return;
  for (const std::unique_ptr<CAColumn>& column : document.columns()) {
    if (column->gridX() < span.startPoint.x) continue;
    if (column->gridX() > span.endPoint.x) break;
    FLXmlEncoder encoder;
    encoder.addAttribute(XmlName(kXmlX), column->gridX());
    encoder.openAndCloseTag(XmlName(kXmlCol));
    archive.push_back(encoder.xml());
  }
}

// What a step's texts say besides its cells or formats.
struct Notes {
  CAUndoArchive texts;  // the cells, formats or rows themselves
  std::vector<int64_t> rows;
  std::vector<int64_t> columns;
  std::optional<GridRange> selection;
  std::optional<GridPoint> active;
};

Notes ReadNotes(const CAUndoArchive& archive) {
  Notes notes;
  for (const QString& text : archive) {
    CAXmlTag tag = kXmlUnknownTag;
    std::unique_ptr<FLXmlDecoder> decoder = OpenText(text, &tag);
    if (!decoder) continue;
    if (tag == kXmlSel) {
      notes.selection = SelectionFromString(decoder->value());
    } else if (tag == kXmlActive) {
      notes.active = CellPointFromString(decoder->value());
    } else if (tag == kXmlRow && decoder->endTag()) {
      const int64_t y = decoder->integerAttributeForTag(XmlName(kXmlY));
      if (IsGridCoordinate(y)) notes.rows.push_back(y);
    } else if (tag == kXmlCol && decoder->endTag()) {
      const int64_t x = decoder->integerAttributeForTag(XmlName(kXmlX));
      if (IsGridCoordinate(x)) notes.columns.push_back(x);
    } else {
      notes.texts.push_back(text);
    }
  }
  std::sort(notes.rows.begin(), notes.rows.end());
  std::sort(notes.columns.begin(), notes.columns.end());
  return notes;
}

void RestoreSelection(CADocument& document, const Notes& notes) {
  if (notes.selection) document.setSelectionRange(*notes.selection);
  if (notes.active) document.setActiveCellPoint(*notes.active);
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
void RestoreRowsOfRange(CADocument& document, const GridRange& span, const Notes& notes) {
  RemoveRowsNotKept(document, span.startPoint.y, span.endPoint.y, notes.rows);
  for (const int64_t y : notes.rows) document.rowImperative(y);
}

void RestoreCells(CADocument& document, const GridRange& range, const CAUndoArchive& archive) {
  const Notes notes = ReadNotes(archive);
  document.restoreCellsFromUndo(notes.texts, range);
  GridRange span;
  if (TypeOfRange(&span, range) != kRangeInvalid) RestoreRowsOfRange(document, span, notes);
  RestoreSelection(document, notes);
}

void RestoreFormats(CADocument& document, const CAUndoContext& context, const CAUndoArchive& archive) {
  const Notes notes = ReadNotes(archive);
  document.restoreFormatsFromUndo(notes.texts, context.range, context.domain);
  GridRange span;
  if (context.domain != kDomainDocument && TypeOfRange(&span, context.range) != kRangeInvalid) {
    if (context.domain == kDomainColumn) {
      std::erase_if(document.mutableColumns(), [&](const std::unique_ptr<CAColumn>& column) {
        const int64_t x = column->gridX();
        const bool vanilla = column->digitCount() == 0 && column->width() == 0 && !column->format();
        return vanilla && x >= span.startPoint.x && x <= span.endPoint.x &&
               !std::binary_search(notes.columns.begin(), notes.columns.end(), x);
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
      RestoreRowsOfRange(document, span, notes);
    }
  }
  RestoreSelection(document, notes);
}

// Heights are restored over rows that may have been made for them: every row starts from no
// height of its own, and rows the archive did not have and that hold nothing go.
void ResetRowHeights(CADocument& document) {
  for (const std::unique_ptr<CARow>& row : document.rows()) {
    row->setMinimumHeight(0);
    row->setNeedCalculate(true);
  }
}

void RestoreRows(CADocument& document, const CAUndoArchive& archive) {
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

bool NeedsContext(uint32_t action) {
  return action == kUndoActionCells || action == kUndoActionColumns || action == kUndoActionFormats ||
         action == kUndoActionRows;
}

}  // namespace

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
    archive.push_back(text);
    return true;
  };
  switch (action) {
    case kUndoActionCells:
      if (!document.archiveCellsForUndo(archive, context.range)) return false;
      AddRowMarkers(document, context.range, archive);
      AddSelection(document, archive);
      return true;
    case kUndoActionColumns:
      return document.archiveColumnsForUndo(archive);
    case kUndoActionLayout:
      // The password step is a layout step: the check value and the hint go with the options.
      if (!single(document.archiveForUndoWithColumns(false, false))) return false;
      archive.push_back(document.password());
      archive.push_back(document.passwordHint());
      return true;
    case kUndoActionLayoutColumns:
    case kUndoActionLayoutRows:
      return single(document.archiveForUndoWithColumns(action == kUndoActionLayoutColumns,
                                                       action == kUndoActionLayoutRows));
    case kUndoActionFormats:
      document.addArchivedFormatsForUndo(archive, context.range, context.domain);
      if (context.domain == kDomainDocument) return true;
      if (context.domain == kDomainColumn)
        AddColumnMarkers(document, context.range, archive);
      else
        AddRowMarkers(document, context.range, archive);
      AddSelection(document, archive);
      return true;
    case kUndoActionRows:
      return document.archiveRowsForUndo(archive);
    case kUndoActionWholeDocument:
      return single(document.archiveWholeDocForUndo());
    default:
      LogAssert(kUnknownUndoAction, __func__, __FILE__, __LINE__);
      return false;
  }
}

void RestoreUndoAction(CADocument& document, uint32_t action, const CAUndoContext& context,
                       const CAUndoArchive& archive) {
  const QString first = archive.empty() ? QString() : archive.front();
  switch (action) {
    case kUndoActionCells:
      RestoreCells(document, context.range, archive);
      break;
    case kUndoActionColumns:
      document.restoreColumnsFromUndo(archive);
      break;
    case kUndoActionLayout:
    case kUndoActionLayoutColumns:
    case kUndoActionLayoutRows:
      RestoreLayout(document, action, first);
      if (action == kUndoActionLayout && archive.size() == 3) {
        document.setPassword(archive[1]);
        document.setPasswordHint(archive[2]);
      }
      break;
    case kUndoActionFormats:
      RestoreFormats(document, context, archive);
      break;
    case kUndoActionRows:
      RestoreRows(document, archive);
      break;
    case kUndoActionWholeDocument:
      document.restoreWholeDocFromUndo(first);
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
  const uint64_t key = nextArchiveKey_++;
  archives_.emplace(key, std::move(archive));
  WriteRecord(data, UndoRecord{key, stepContext.range, stepContext.domain, uint8_t(document_.dirty())});
  document_.noteEdit();
  stepRecorded();
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
  RestoreUndoAction(document_, *action, context, stored->second);
  stored->second = std::move(current);
  const bool dirtyNow = document_.dirty();
  document_.setDirty(record.dirtyBefore != 0);
  record.dirtyBefore = uint8_t(dirtyNow);
  WriteRecord(data, record);
  stepReplayed(isRedo);
  return true;
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
