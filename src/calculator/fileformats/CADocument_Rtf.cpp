// RTF and RTFD of the sheet, through the text engine. Reading imports the RTF into the
// temporary engine document and turns it into cells; writing and copying build an engine
// document that holds the range as one table (a single cell as its text alone) with the sheet's
// formats, and let the engine's RTF writer write it.
#include "calculator/fileformats/caGlimmetImport.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/fileformats/caImportAlert.h"
#include "calculator/fileformats/caPackageWriter.h"
#include "calculator/fileformats/caReadFile.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAPicture.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caModelServices.h"
#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flFonts.h"
#include "framlet/foundation/flReadingMeter.h"
#include "framlet/shell/FLAlert.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmAttributedImport.h"
#include "glimmet/storage/gmAtoms.h"
#include "glimmet/storage/gmBookmarks.h"
#include "glimmet/storage/gmEdit.h"
#include "glimmet/storage/gmFetch.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmProperties.h"
#include "glimmet/storage/gmRtfReader.h"
#include "glimmet/storage/gmRtfWriter.h"
#include "glimmet/storage/gmStyles.h"
#include "glimmet/storage/gmTables.h"
#include "platform/FLError.h"
#include "platform/TextEncodings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QScopedValueRollback>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <new>
#include <utility>

namespace {

constexpr const char* kRtfUnreadable = "I can't interpret the RTF file.";
constexpr const char* kRtfdUnreadable = "I can't interpret the RTFD file.";
constexpr const char* kRtfdTextFile = "TXT.rtf";
constexpr const char* kTruncatedMessage = "Truncated columns.";
constexpr const char* kTruncatedInfo =
    "The spreadsheet was truncated during the save. I can't create %1 documents with more than %2 columns.";
constexpr const char* kTruncatedReadInfo =
    "The text has table rows of more than %1 columns. The columns after those were left out.";
constexpr int64_t kMaxTableColumns = kMaxColumns;
// The character atom of strike-through (one byte).
constexpr uint32_t kStrikeAtom = 9;
constexpr Kolor kTableBorderKolor = 0x64E0E0E0;
constexpr uint32_t kTableBorderKind = 8;

void SetReadFailure(FLError* error, const char* reason) {
  if (error && error->domain.isEmpty()) SetError(error, -50, QLatin1String(reason));
}

// RTF is bytes: a byte-order mark says the file is Unicode text; otherwise each byte stands for
// itself and the reader decodes by the file's own code page.
QString RtfTextOfBytes(const QByteArray& bytes) {
  if (bytes.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(bytes.mid(3));
  if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
    return DecodeText(bytes, kFLEncodingUnicode, true).value_or(QString());
  return QString::fromLatin1(bytes);
}

bool WriteRtfText(const QString& path, const QString& rtf, FLError* error) {
  const QByteArray bytes = EncodeText(rtf, kFLEncodingMacRoman, true).value_or(QByteArray());
  // Long texts in few cells can make a file the reader would refuse, whatever the table's size.
  if (bytes.size() > kMaxDelimitedTextLength) {
    SetError(error, kTextTooLargeCode, QLatin1String(kTextTooLargeReason));
    return false;
  }
  return WritePackageTextFile(path, QByteArrayView(bytes), error);
}

void NoteTruncation(const char* kind) {
  const QStringList strings{QLatin1String(kTruncatedMessage),
                            QString::fromLatin1(kTruncatedInfo).arg(QLatin1String(kind)).arg(kMaxTableColumns)};
  QTimer::singleShot(0, QCoreApplication::instance(), [strings] { FLAlert::sharedInstance().giveAlertWithStrings(strings); });
}

// Rows of more cells than a table holds lost the cells after the last column.
void NoteReadTruncation() {
  const QStringList strings{QLatin1String(kTruncatedMessage),
                            QString::fromLatin1(kTruncatedReadInfo).arg(kMaxTableColumns)};
  QTimer::singleShot(0, QCoreApplication::instance(), [strings] { FLAlert::sharedInstance().giveAlertWithStrings(strings); });
}

// Clips one axis of a range: a whole-line or negative start takes 0 to the last; otherwise the
// end stops at the last (never before the start).
void ClipAxis(int64_t* start, int64_t* end, int64_t last) {
  if (*start == kGridWildcard || *start < 0) {
    *start = 0;
    *end = std::max<int64_t>(last, 0);
  } else {
    *end = std::max(*start, std::min(*end, last));
  }
}

// The cells of the sheet that a table of the range holds: each axis clipped, and no more than
// the columns a table keeps (cut tells when there were more).
GridRange TableRange(const CADocument& document, const GridRange& range, bool* cut) {
  GridPoint start = range.startPoint, end = range.endPoint;
  const GridPoint last = document.maxGridPoint();
  ClipAxis(&start.x, &end.x, last.x);
  ClipAxis(&start.y, &end.y, last.y);
  *cut = end.x - start.x >= kMaxTableColumns;
  if (*cut) end.x = start.x + kMaxTableColumns - 1;
  return {start, end};
}

// A molecule freed on a failure's way out as well.
struct MoleculeFreer {
  void operator()(GMMolecule* molecule) const { FreeMolecule(molecule); }
};
using MoleculeHolder = std::unique_ptr<GMMolecule, MoleculeFreer>;

// The sheet's formatting of one table cell: styles and colour as character atoms, the
// background on the cell's closing kink unless the base has it, the alignment as the paragraph's.
void ApplyFormatToCell(const DocRange& cell, const CAFormat& format, const CAFormat* base) {
  GlimmetDoc* doc = cell.doc;
  const MoleculeHolder holder(EmptyMolecule());
  GMMolecule* molecule = holder.get();
  if (!molecule) return;
  const auto flag = [&](uint64_t mask, uint32_t atom, bool on) {
    if (!format.hasPropertyForMask(mask)) return;
    const uint8_t value = on ? 1 : 0;
    AddAtomToMolecule(molecule, kPropChar, atom, &value);
  };
  flag(kFormatBold, CharAtom::bold, format.bold());
  flag(kFormatItalic, CharAtom::italic, format.italic());
  if (format.hasPropertyForMask(kFormatUnderline)) {
    const int32_t underline = format.underline() ? 1 : 0;
    AddAtomToMolecule(molecule, kPropChar, CharAtom::underline, &underline);
  }
  flag(kFormatStrike, kStrikeAtom, format.strike());
  if (format.hasPropertyForMask(kFormatTextColor)) {
    const uint32_t kolor = format.textKolor();
    AddAtomToMolecule(molecule, kPropChar, CharAtom::color, &kolor);
  }
  if (format.hasPropertyForMask(kFormatBackground) && (!base || format.backgroundKolor() != base->backgroundKolor())) {
    const uint32_t index = doc->knots.indexAtCp(cell.limit);
    if (index != kGMNone) doc->knots.at(index).word = format.backgroundKolor();
  }
  if (molecule->count) ApplyMoleculeToRange(cell, molecule);
  if (format.hasPropertyForMask(kFormatAlignment)) {
    int32_t alignment = format.alignment();
    if (alignment == kAlignmentAuto) alignment = base ? base->alignment() : kAlignmentLeft;
    const int32_t engine = EngineAlignmentForSheet(alignment);
    if (const MoleculeHolder align{NewMolecule(kPropPara, ParaAtom::align, &engine)})
      ApplyMoleculeToRange(cell, align.get());
  }
}

// Inserts what a cell shows at the caret: a link, a picture, a checkbox or its text.
bool InsertCellContents(GlimmetDoc* doc, uint32_t at, const CACell& cell, bool showFormula, bool copyBestValues) {
  Pane* pane = CurrentPane(doc);
  pane->selFirst = pane->selLimit = int32_t(at);
  switch (cell.valueType()) {
    case kValueLink: {
      const QString text = cell.displayTextField();
      return InsertLink(doc, cell.formula(), &text);
    }
    case kValuePicture: {
      const std::shared_ptr<CAPicture>& picture = cell.picture();
      if (!picture || !picture->image()) return true;
      DocRange range{doc, at, at};
      return InsertPictureKnot(&range, picture->image(), QString());
    }
    case kValueCheckbox: {
      KinkData data;
      data.word = cell.isChecked() ? 1 : 0;
      DocRange range{doc, at, at};
      return InsertKnotCore(&range, kKnotCheckbox, 0, 0, nullptr, 1, &data, false);
    }
    default: {
      CACell& editable = const_cast<CACell&>(cell);
      const bool saving = cell.saving();
      editable.setSaving(copyBestValues);
      QString text = cell.displayText(showFormula);
      editable.setSaving(saving);
      if (text.isEmpty()) return true;
      // Kink characters of the engine may not appear in text. A line break of the cell stays a
      // break within its paragraph (written as a line, not a paragraph, of the cell), so that
      // the cell reads back as one cell with all its lines.
      text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
      for (QChar& ch : text) {
        if (ch.unicode() <= 1) ch = u' ';
        else if (ch == u'\n' || ch == u'\r' || ch == QChar::ParagraphSeparator) ch = QChar::LineSeparator;
      }
      DocRange range{doc, at, at};
      return ReplaceRangeCore(&range, nullptr, reinterpret_cast<const char16_t*>(text.utf16()), uint32_t(text.size()),
                              false);
    }
  }
}

}  // namespace

namespace {

// The pictures the last RTF reading left out for being larger than any picture may be decoded.
int64_t g_rtfPicturesPastDecodeLimit = 0;
// Whether the RTF being read was pasted: a refusal then speaks of pasting.
bool g_rtfPasted = false;

}  // namespace

QString RtfTooLargeReason(int64_t cost, bool pasted) {
  if (cost <= 0) return QLatin1String(pasted ? kPasteTextTooLongReason : kRtfTooLongToOpenReason);
  return QLatin1String(pasted ? kPasteTextTooLargeReason : kRtfTooLargeToOpenReason).arg(MemorySizeText(cost));
}

bool LoadPastedRtf(CADocument& document, const QString& rtf, bool* refused) {
  QString refusal;
  bool outOfMemory = false;
  *refused = false;
  bool read = false;
  {
    const QScopedValueRollback pasting(g_rtfPasted, true);
    read = document.loadRtf(rtf, QString(), &refusal, &outOfMemory);
  }
  if (read) {
    if (g_rtfPicturesPastDecodeLimit > 0) ShowPastePicturesPastDecodeLimitAlert(uint64_t(g_rtfPicturesPastDecodeLimit));
    return true;
  }
  if (outOfMemory) {
    // The paste tells it as any command that runs out of memory, and pastes no plain text instead.
    FLReadingMeter::NoteOutOfMemory();
    *refused = true;
    return false;
  }
  if (refusal.isEmpty()) return false;
  *refused = true;
  ShowPlainImportAlert(QLatin1String(kPasteRtfTooLargeMessage), refusal);
  return false;
}

namespace {

bool LoadRtfPackageText(CADocument& document, const QString& path, const QString& textPath, const char* unreadable,
                        FLError* error) {
  QByteArray bytes;
  if (!ReadWholeFile(textPath, &bytes, error)) return false;
  QString refusal;
  bool outOfMemory = false;
  const QString folder = textPath == path ? QString() : path;
  if (document.loadRtf(RtfTextOfBytes(std::exchange(bytes, {})), folder, &refusal, &outOfMemory)) {
    if (GlimmetImportCutColumns()) ShowImportColumnsAlert(path);
    if (g_rtfPicturesPastDecodeLimit > 0) ShowImportPicturesPastDecodeLimitAlert(path, uint64_t(g_rtfPicturesPastDecodeLimit));
    return true;
  }
  if (outOfMemory) SetError(error, ENOMEM, QLatin1String(kOutOfMemoryReason), kFLPosixErrorDomain);
  else if (!refusal.isEmpty()) SetError(error, kHtmlTooLargeCode, refusal);
  else SetReadFailure(error, unreadable);
  return false;
}

}  // namespace

bool CADocument::loadRtfFile(const QString& path, FLError* error) {
  return LoadRtfPackageText(*this, path, path, kRtfUnreadable, error);
}

bool CADocument::loadRtfdFile(const QString& path, FLError* error) {
  return LoadRtfPackageText(*this, path, QDir(path).filePath(QLatin1String(kRtfdTextFile)), kRtfdUnreadable, error);
}

bool CADocument::loadRtf(const QString& rtf, const QString& attachments, QString* refusal, bool* outOfMemory) {
  // What every stage from here grows the heap by (the reading, the engine document, the cells)
  // and the steps the reading takes are metered: past the budget the reading stops with the reason.
  FLReadingMeter meter(PageReadingBudget());
  if (outOfMemory) *outOfMemory = false;
  g_rtfPicturesPastDecodeLimit = 0;
  bool read = false;
  try {
    read = loadRtfMetered(rtf, attachments, meter, refusal);
  } catch (const std::bad_alloc& exception) {
    LogException(exception, QLatin1String(kRtfUnreadable));
    FLReadingMeter::NoteOutOfMemory();
    DestroyImportDocument();
  }
  if (read || !meter.outOfMemory()) return read;
  // Not too large: short of memory, which the caller tells in its own words.
  if (refusal) refusal->clear();
  if (outOfMemory) *outOfMemory = true;
  return false;
}

bool CADocument::loadRtfMetered(const QString& rtf, const QString& attachments, FLReadingMeter& meter,
                                QString* refusal) {
  const auto refuse = [&](int64_t cost) {
    if (refusal) *refusal = RtfTooLargeReason(cost, g_rtfPasted);
    return false;
  };
  if (!NewImportDocument()) return false;
  GlimmetDoc* doc = g_glimmetDoc;
  RtfImportReport report;
  const uint32_t result = ImportRtfWithRetry(doc, rtf, nullptr, attachments, &report);
  g_rtfPicturesPastDecodeLimit = report.picturesPastDecodeLimit;
  for (uint32_t i = 0; i < doc->paneCount; ++i) doc->panes[i].savedFirst = doc->panes[i].savedLimit = kGMNone;
  for (GMTableCache& cache : doc->tableCaches) cache = GMTableCache();
  doc->currentPane = 0;
  if (result != kRtfImportOk) {
    DestroyImportDocument();
    if (result == kRtfImportTooLarge) return refuse(report.cost);
    return false;
  }

  // Tables read from RTF become proportional: their widths are shares of the text width.
  for (uint32_t t = 0; t < doc->tableCps.count(); ++t) {
    KnotInfo table, row;
    PropRecord props;
    if (!FetchTable(doc, doc->tableCps.cpAt(t), &table, &row, &props) || props.body[TableProp::autoFit]) continue;
    props.body[TableProp::autoFit] = 1;
    const uint32_t columns = std::min<uint32_t>(props.get<uint16_t>(TableProp::columns), kMaxColumns);
    int64_t sum = 0;
    for (uint32_t i = 0; i < columns; ++i) sum += props.get<int64_t>(TableProp::widths + 8 * i);
    // The sheet's columns keep the widths the file gave (shares would make them a text width wide
    // together). A table column's width is the room of its text, as a sheet column's own width
    // is: the cells' padding, which the sheet takes from the same table, adds to both alike.
    if (table.first <= FirstVisibleCp(doc) && FirstVisibleCp(doc) < table.limit) {
      g_glimmetLeadingWidths.clear();
      for (uint32_t i = 0; i < columns; ++i) g_glimmetLeadingWidths.push_back(props.get<int64_t>(TableProp::widths + 8 * i));
    }
    if (sum > 0) {
      for (uint32_t i = 0; i < columns; ++i)
        props.set<int64_t>(TableProp::widths + 8 * i, props.get<int64_t>(TableProp::widths + 8 * i) * kFullShare / sum);
    }
    for (uint32_t i = columns; i < kMaxColumns; ++i) props.set<int64_t>(TableProp::widths + 8 * i, 0);
    props.index = kGMNone;
    const uint32_t index = IndexForProperties(doc, &props);
    if (index != kGMNone && table.index >= 0) SetPropsOnKink(doc, uint32_t(table.index), index);
  }
  bool rewritten = false;
  for (PropRecord& record : doc->props) {
    if (record.kind == kPropTable && !record.body[TableProp::autoFit]) {
      record.body[TableProp::autoFit] = 1;
      rewritten = true;
    }
  }
  if (rewritten) {
    ClearPropertyCaches(doc);
    ForgetPropertyIndex(doc);
  }
  if (!loadFromGlimmet()) {
    if (meter.passed() && !meter.outOfMemory()) return refuse(meter.tooLarge() ? meter.grown() : 0);
    return false;
  }
  if (report.truncatedColumns) NoteReadTruncation();
  return true;
}

GlimmetDoc* CADocument::createGlimmetFromRange(const GridRange& range, bool wholeDocument, bool showFormula,
                                               bool copyBestValues, bool* tooManyColumns) {
  bool cut = false;
  const GridRange table = TableRange(*this, range, &cut);
  const GridPoint start = table.startPoint, end = table.endPoint;
  const bool singleCell = start.x == end.x && start.y == end.y;
  if (tooManyColumns) *tooManyColumns = cut;
  if (!singleCell && !RichTextTableFits(*this, table, nullptr)) return nullptr;

  GlimmetDocPtr holder(NewGlimmetDoc(kDocTemporary));
  GlimmetDoc* doc = holder.get();
  if (!doc || (doc->paneCount == 0 && !SetupPane(doc, nullptr))) return nullptr;
  QString fontName = FontPostScriptName(font());
  if (fontName.isEmpty()) fontName = font().family();
  const uint16_t fontIndex = IndexOfFont(fontName);
  const int16_t size = int16_t(font().pointSizeF() * 4);
  SetNormalFont(doc, fontIndex, size, true);
  const uint32_t body = BodyStart(doc);
  Pane* pane = CurrentPane(doc);
  pane->selFirst = pane->selLimit = int32_t(body);

  if (!singleCell) {
    DeferDisplay();
    DocRange table;
    // One row now; the others are added as they are filled, so that filling a cell shifts only
    // what follows it in its own row rather than every row after it.
    const bool made = NewTableCore(doc, body, 1, uint32_t(end.x - start.x + 1), &table);
    pane->selFirst = pane->selLimit = int32_t(body + 2);
    UndeferDisplay(2);
    if (!made) return nullptr;
  }

  // Normal takes the sheet's font and the default format's styles and text colour.
  PropRecord para, chars;
  if (const PropRecord* record = PropertiesAtIndex(doc, doc->styles[0].first)) para = *record;
  if (const PropRecord* record = PropertiesAtIndex(doc, doc->styles[0].second)) chars = *record;
  const CAFormat& defaults = defaultFormat();
  chars.set<uint16_t>(CharField::font, fontIndex);
  chars.set<int16_t>(CharField::size, size);
  chars.set<uint32_t>(CharField::color, defaults.textKolor());
  chars.body[CharField::bold] = defaults.styleOptionForMask(kFormatBold) == 1;
  chars.body[CharField::italic] = defaults.styleOptionForMask(kFormatItalic) == 1;
  chars.body[CharField::strike] = defaults.styleOptionForMask(kFormatStrike) == 1;
  chars.set<int32_t>(CharField::underline, defaults.styleOptionForMask(kFormatUnderline) == 1 ? 1 : 0);
  chars.index = kGMNone;
  ChangeStyle(doc, doc->styles[0].next, para, chars);
  if (const MoleculeHolder sizing{NewMolecule(kPropChar, CharAtom::size, &size)})
    ApplyMoleculeToRange({doc, body, uint32_t(doc->userLength)}, sizing.get());

  if (!singleCell) {
    KnotInfo tableInfo, rowInfo;
    PropRecord props;
    if (!FetchTable(doc, body, &tableInfo, &rowInfo, &props)) return nullptr;
    props.body[TableProp::autoFit] = 0;
    for (int64_t x = start.x; x <= end.x; ++x)
      props.set<int64_t>(TableProp::widths + 8 * uint32_t(x - start.x),
                         int64_t(widthOfColumn(x) * 12700.0) - 2 * cellPadding().x);
    props.set<int64_t>(TableProp::cellLeft, cellPadding().x);
    props.set<int64_t>(TableProp::cellRight, cellPadding().x);
    props.set<int64_t>(TableProp::cellTop, cellPadding().y);
    props.set<int64_t>(TableProp::cellBottom, cellPadding().y);
    props.body[TableProp::titleRow] = wholeDocument && titleRow();
    props.set<uint32_t>(kTableBorderOffset + BorderField::kind, kTableBorderKind);
    props.set<int64_t>(kTableBorderOffset + BorderField::width, 12700);
    props.set<uint32_t>(kTableBorderOffset + BorderField::lineColor, kTableBorderKolor);
    props.set<uint32_t>(kTableBorderOffset + BorderField::backColor, defaults.backgroundKolor());
    if (stripeInterval() != 0) {
      props.body[TableProp::stripes] = 1;
      props.set<uint32_t>(TableProp::stripeColor, stripeKolor());
    }
    props.index = kGMNone;
    const uint32_t index = IndexForProperties(doc, &props);
    if (index == kGMNone || tableInfo.index < 0) return nullptr;
    SetPropsOnKink(doc, uint32_t(tableInfo.index), index);
    for (GMTableCache& cache : doc->tableCaches) cache = GMTableCache();
  }

  uint32_t rowCp = body + 1;
  int64_t madeRows = 1;  // table rows made, the last of them starting at rowCp
  const uint32_t tableColumns = uint32_t(end.x - start.x + 1);
  const auto makeRowsThrough = [&](int64_t y) {
    const GMRowRequest request;
    for (; madeRows <= y - start.y; ++madeRows) {
      KnotInfo table;
      if (!FetchKnot(doc, body, &table, kKnotTable)) return false;
      rowCp = table.limit - 1;
      uint32_t at = rowCp;
      if (!InsertEmptyRow(doc, &at, tableColumns, request)) return false;
    }
    return true;
  };
  for (const std::unique_ptr<CARow>& sheetRow : rows()) {
    if (sheetRow->gridY() < start.y) continue;
    if (sheetRow->gridY() > end.y) break;
    KnotInfo row;
    if (!singleCell) {
      if (!makeRowsThrough(sheetRow->gridY())) return nullptr;
      if (!FetchKnot(doc, rowCp, &row, kKnotRow)) return nullptr;
    }
    const auto applyLineFormats = [&](int64_t x, const char* assertion) {
      const DocRange cell{doc, row.kinkCps[x - start.x] + 1, row.kinkCps[x - start.x + 1]};
      if (cell.length() != 1) LogAssert(assertion, __func__, __FILE__, __LINE__);
      if (const CAFormat* format = sheetRow->format()) ApplyFormatToCell(cell, *format, &defaults);
      if (const CAColumn* column = this->column(x); column && column->format())
        ApplyFormatToCell(cell, *column->format(), &defaults);
    };
    int64_t nextX = start.x;
    for (const CACellEntry& entry : sheetRow->cells()) {
      const int64_t x = entry.x();
      if (x < start.x) continue;
      if (x > end.x) break;
      const CACellReading cell(entry, sheetRow->gridY(), this);
      if (singleCell) {
        if (!InsertCellContents(doc, body, *cell, showFormula, copyBestValues)) return nullptr;
        return holder.release();
      }
      for (; nextX < x; ++nextX) applyLineFormats(nextX, "Text in empty cell 1");
      const uint32_t at = row.kinkCps[x - start.x + 1] - 1;
      const int32_t before = doc->userLength;
      if (!InsertCellContents(doc, at, *cell, showFormula, copyBestValues)) return nullptr;
      // What was inserted moves the row's later kinks and its end alike: they are moved here
      // rather than found again.
      const uint32_t inserted = uint32_t(doc->userLength - before);
      for (uint32_t k = uint32_t(x - start.x + 1); k < row.kinkCount; ++k) row.kinkCps[k] += inserted;
      row.limit += inserted;
      ApplyFormatToCell({doc, row.kinkCps[x - start.x] + 1, row.kinkCps[x - start.x + 1]},
                        formatForCell(cell.get(), true), &defaults);
      nextX = x + 1;
    }
    if (singleCell) break;
    for (; nextX <= end.x; ++nextX) applyLineFormats(nextX, "Text in empty cell 2");
  }
  if (!singleCell && !makeRowsThrough(end.y)) return nullptr;
  return holder.release();
}

namespace {

// A sheet whose table would be too large is refused as a text too large would be, before any
// of it is made.
bool RefusedAsTooLarge(const CADocument& document, FLError* error) {
  bool cut = false;
  const GridRange table = TableRange(document, document.extent(), &cut);
  return table.startPoint != table.endPoint && !RichTextTableFits(document, table, error);
}

// The text engine gives up a step for memory by answering nothing and noting why, and a table
// or a style short of what it should hold still writes as RTF: a note made while an export was
// made fails the export, as the failed allocation itself would have.
class EngineMemoryWatch {
 public:
  EngineMemoryWatch() : notes_(FLReadingMeter::OutOfMemoryNotes()) {}
  void check() const {
    if (FLReadingMeter::OutOfMemoryNotes() != notes_) throw std::bad_alloc();
  }

 private:
  uint64_t notes_;
};

}  // namespace

bool CADocument::saveToRtfFile(const QString& path, FLError* error) {
  if (RefusedAsTooLarge(*this, error)) return false;
  const EngineMemoryWatch memory;
  bool cut = false;
  GlimmetDocPtr doc(createGlimmetFromRange(extent(), true, !ModelPreferences().saveValues, true, &cut));
  memory.check();
  if (!doc) return false;
  const QString rtf = ExportRtf({doc.get(), BodyStart(doc.get()), uint32_t(doc->userLength)});
  memory.check();
  if (!WriteRtfText(path, rtf, error)) return false;
  if (cut) NoteTruncation("RTF");
  return true;
}

bool CADocument::saveToRtfdFile(const QString& path, FLError* error) {
  if (RefusedAsTooLarge(*this, error)) return false;
  const EngineMemoryWatch memory;
  bool cut = false;
  GlimmetDocPtr doc(createGlimmetFromRange(extent(), true, !ModelPreferences().saveValues, true, &cut));
  memory.check();
  if (!doc) return false;
  if (!CreatePackageFolder(path, error)) return false;
  const QString rtf = ExportRtf({doc.get(), BodyStart(doc.get()), uint32_t(doc->userLength)}, path);
  memory.check();
  if (!WriteRtfText(QDir(path).filePath(QLatin1String(kRtfdTextFile)), rtf, error)) return false;
  if (cut) NoteTruncation("RTFD");
  return true;
}

QString CADocument::rtfFromSelection(QString* plainText) {
  const CAModelPreferences preferences = ModelPreferences();
  const EngineMemoryWatch memory;
  GlimmetDocPtr doc(
      createGlimmetFromRange(selectionRange(), false, !preferences.copyValues, preferences.copyBestValues, nullptr));
  memory.check();
  if (!doc) return QString();
  const uint32_t body = BodyStart(doc.get());
  const QString rtf = ExportRtf({doc.get(), body, uint32_t(doc->userLength)}, kRtfForPasteboard);
  memory.check();
  if (plainText) {
    for (uint32_t t = doc->tableCps.count(); t-- > 0;) {
      KnotInfo table;
      if (!FetchKnot(doc.get(), doc->tableCps.cpAt(t), &table, kKnotTable)) continue;
      DocRange range = table.range();
      TableToText(&range);
    }
    *plainText = ExtractPlainText({doc.get(), body, uint32_t(std::max(doc->userLength - 1, 0))}, false);
    memory.check();
  }
  return rtf;
}
