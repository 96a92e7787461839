// The document's side of the Excel import: the delegate that stores what the workbook reader
// hands over, the entry point that the open dispatch calls for ".xls", and the alert when some
// formulas kept only their values.
#include "calculator/fileformats/caCompoundFile.h"
#include "calculator/fileformats/caExcelImport.h"
#include "calculator/fileformats/caImportAlert.h"
#include "calculator/fileformats/caImportFormats.h"
#include "calculator/fileformats/caReadFile.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAReadingGraph.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caDocumentXml.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/caTextServices.h"
#include "calculator/model/formula/caOperands.h"
#include "calculator/model/formula/caRangeMemo.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flReadingMeter.h"
#include "framlet/foundation/flStringExtensions.h"
#include "platform/FLError.h"
#include "platform/StringWithFormat.h"

#include <QFileInfo>

#include <algorithm>
#include <bit>
#include <cmath>
#include <exception>
#include <limits>
#include <map>
#include <unordered_map>
#include <vector>

namespace {

constexpr int kBadContentCode = -50;
constexpr const char* kLoadFailedContext = "loadExcelFile:error: failed";
constexpr const char* kImportErrorsMessage = "Excel file has import errors.";
constexpr const char* kImportErrorsInformation =
    "The file \"%@\" was imported but some formulas could not be converted. When possible the "
    "values instead of the formulas were used, but otherwise there may be missing data in the "
    "spreadsheet.";
constexpr const char* kSuppressImportErrorsKey = "ov.excel.import";
constexpr const char* kUnknownValueTypeReport = "Unknown value type";
constexpr const char* kKeptValuesInformation = " %1 cells kept the values stored in the file.";
constexpr const char* kKeptValueInformation = " 1 cell kept the value stored in the file.";

// Functions whose value changes between one evaluation and the next: no stored result can
// confirm them.
constexpr const char* kVolatileFunctions[] = {"TODAY(", "NOW(", "RAND(", "RANDBETWEEN("};

// Equal to 12 significant digits; below the noise of a double near 1 everything is equal.
// Both are finite: an infinity is near nothing.
bool SameNumber(long double ours, double stored) {
  if (!std::isfinite(ours) || !std::isfinite(stored)) return false;
  const long double difference = std::fabs(ours - (long double)stored);
  return difference <= 5e-12L * std::max(std::fabs(ours), std::fabs((long double)stored)) || difference < 1e-14L;
}

// A writer's doubles round at every step, and the error grows with the magnitudes they were
// computed from, not with the result: a balance that comes down to a few units after hundreds of
// rows of thousands carries the error of the thousands. Within this much of the largest
// magnitude the formula read, the stored value is the formula's own, drifted; a value that truly
// differs (a millionth of itself, say) stands far beyond it.
constexpr long double kWriterDrift = 5e-11L;

bool WithinDrift(long double ours, double stored, long double readMagnitude) {
  if (!std::isfinite(ours) || !std::isfinite(stored) || !std::isfinite(readMagnitude)) return false;
  return std::fabs(ours - (long double)stored) <= kWriterDrift * readMagnitude;
}

bool SameRecord(const CAExcelFormatRecord& a, const CAExcelFormatRecord& b) {
  const bool fonts = a.font.has_value() == b.font.has_value() &&
                     (!a.font || (a.font->bold == b.font->bold && a.font->italic == b.font->italic &&
                                  a.font->underline == b.font->underline && a.font->strike == b.font->strike &&
                                  a.font->textKolor == b.font->textKolor));
  return fonts && a.alignment == b.alignment && a.backgroundKolor == b.backgroundKolor &&
         a.numberFormatCode == b.numberFormatCode && a.numberFormatCode.isNull() == b.numberFormatCode.isNull();
}

// What the workbook stored for a converted formula, in the room of its number (a long column of
// formulas keeps one each until the sheet has computed); a value with text, which a formula is
// not converted for, is kept whole aside.
struct StoredResult {
  int64_t first = 0;   // the integer, the numerator, the day index, the real's bits, or the index aside
  int64_t second = 1;  // the denominator
  int32_t type = kXLValueNone;
  bool boolean = false;
};

// A converted formula and what the workbook stored for it, checked once the sheet has computed.
// Its format is a copy of the workbook's record, kept once for all the formulas that share it.
struct ConvertedFormula {
  GridPoint point;
  StoredResult stored;
  uint32_t format;  // kNoRecord: none
};

constexpr uint32_t kNoRecord = std::numeric_limits<uint32_t>::max();

bool Inside(const GridPoint& point, const GridRange& block) {
  return point.x >= block.startPoint.x && point.x <= block.endPoint.x && point.y >= block.startPoint.y &&
         point.y <= block.endPoint.y;
}

class DocumentExcelDelegate final : public ExcelDelegate {
 public:
  explicit DocumentExcelDelegate(CADocument& document) : document_(document) {}

  void setXLFont(const QFont& font) override { document_.setFont(font); }
  void setXLDefaultWidth(uint64_t digits) override { document_.setDefaultDigitCount(int64_t(digits)); }

  void setWidth(uint64_t digits, int64_t column, const CAExcelFormatRecord* format) override {
    CAColumn* target = document_.columnImperative(column);
    if (digits != 0) target->setDigitCount(int64_t(digits));
    if (format) {
      setLayerFormat(*target, *format);
      ++layers_;
    }
  }

  void setHeight(int64_t height, int64_t row, const CAExcelFormatRecord* format) override {
    CARow* target = document_.rowImperative(row);
    if (height != 0) target->setMinimumHeight(height);
    if (format) {
      setLayerFormat(*target, *format);
      ++layers_;
    }
  }

  void setCell(const GridPoint& point, const XLValue& value, const CAExcelFormatRecord* format) override {
    CACell* cell = document_.cellAtGridPointImperative(point);
    if (!cell) return;  // off the grid: refused
    switch (value.type) {
      case kXLValueNone:
        break;
      case kXLValueBoolean:
        document_.setCellAtPoint(point, value.boolean, kValueCheckbox);
        break;
      case kXLValueDate:
        cell->setNumberValue(CANumber(value.dayIndex));
        cell->setValueType(kValueDate);
        break;
      case kXLValueFraction:
        cell->setNumberValue(CANumber::withNumerator(value.numerator, uint64_t(value.denominator)));
        break;
      case kXLValueReal:
        cell->setNumberValue(CANumber::withReal(value.real));
        break;
      case kXLValueInteger:
        cell->setNumberValue(CANumber::withInteger(value.integer));
        break;
      case kXLValueText: {
        const QString text = cleanUp(value.text);
        if (ModelPreferences().smartLinks && IsValidUrl(text)) {
          cell->setFormula(text);
        } else {
          cell->clearValue();
          cell->setFormulaString(text.isNull() ? QString(QLatin1String("")) : text);
          cell->setValueType(kValueText);
          cell->setNeedRecalc(false);
        }
        break;
      }
      default:
        LogAssert(kUnknownValueTypeReport, __func__, __FILE__, __LINE__);
        break;
    }
    if (format) setOwnFormat(cell, *format, value.type);
    // A number with nothing else is kept as a package's is when read.
    if (value.type == kXLValueFraction || value.type == kXLValueReal || value.type == kXLValueInteger)
      document_.compactCellAt(point);
  }

  bool setCell(const GridPoint& point, const QString& formula, const XLValue& cached,
               const CAExcelFormatRecord* format) override {
    CACell* cell = document_.cellAtGridPointImperative(point);
    if (!cell) return true;  // off the grid: refused, and no value to keep either
    cell->setFormula(UserFormulaFromC(formula));
    if (cell->parseResult() != 0) {
      // The sheet's parser reads it otherwise than Excel did: the caller keeps the value.
      cell->clearValue();
      return false;
    }
    if (format) setOwnFormat(cell, *format, cached.error ? kXLValueNone : cached.type);
    // A cell given a formula twice is checked against the later one's result (see below).
    converted_.push_back(ConvertedFormula{point, keptResult(cached), format ? keptRecord(*format) : kNoRecord});
    return true;
  }

  // After the sheet has computed: every converted formula whose value is not the one the
  // workbook stored (a day count taken for a day index, say) keeps the stored value instead,
  // marked as a failed conversion. The formulas are judged as a recalculation meets them, each
  // after the formulas it reads and on its own result: one that kept its stored value has its
  // readers computed again before they are judged, so only the formula that differs is replaced.
  // The formulas of a cycle are judged together on the circular error the recalculation gave
  // them, before what reads them, which is then computed from what they kept. Gives how many
  // were replaced; `recalculate` is set when the sheet must compute again.
  uint64_t keepStoredValuesWhereTheyDiffer(bool& recalculate) {
    uint64_t kept = 0;
    if (everyFormulaAgrees()) {
      // The common case, a workbook whose formulas all computed here what they did there: none is
      // replaced, so none is computed again, and the order to judge them in is not needed.
      forgetConverted();
      return 0;
    }
    // The formulas judged, by column and row: the last one given to each cell.
    std::vector<uint32_t> judged(converted_.size());
    for (uint32_t i = 0; i < judged.size(); ++i) judged[i] = i;
    std::sort(judged.begin(), judged.end(), [this](uint32_t a, uint32_t b) {
      const GridPoint& p = converted_[a].point;
      const GridPoint& q = converted_[b].point;
      return p.x != q.x ? p.x < q.x : p.y != q.y ? p.y < q.y : a < b;
    });
    size_t unique = 0;
    for (size_t k = 0; k < judged.size(); ++k)
      if (k + 1 == judged.size() || !(converted_[judged[k]].point == converted_[judged[k + 1]].point))
        judged[unique++] = judged[k];
    judged.resize(unique);
    const uint32_t count = uint32_t(judged.size());
    const auto entryOf = [this, &judged](uint32_t node) -> const ConvertedFormula& { return converted_[judged[node]]; };
    const auto nodeAt = [&](const GridPoint& point) {
      const auto found = std::lower_bound(judged.begin(), judged.end(), point, [this](uint32_t a, const GridPoint& q) {
        const GridPoint& p = converted_[a].point;
        return p.x != q.x ? p.x < q.x : p.y < q.y;
      });
      return found != judged.end() && converted_[*found].point == point ? uint32_t(found - judged.begin())
                                                                         : CAReadingGraph::kNever;
    };

    // Who reads whom among them, blocks kept as blocks: a column of running totals reads each
    // formula above it through one range, not once for each total below it.
    CAReadingGraph graph(CAReadingGraph::Mode::Levels, count);
    for (uint32_t node = 0; node < count; ++node) graph.place(node, entryOf(node).point);
    std::vector<bool> readsItself(count, false);
    for (uint32_t node = 0; node < count; ++node) {
      const GridPoint& at = entryOf(node).point;
      const CACell* cell = document_.cellAtGridPoint(at);
      if (!cell || !cell->isFormula()) continue;
      for (const CAFormulaToken& token : cell->expression()) {
        if (token.type() == kTokenReference) {
          const GridPoint point{NormalizeCoordinate(token.point().x), NormalizeCoordinate(token.point().y)};
          if (point == at) readsItself[node] = true;
          if (const uint32_t input = nodeAt(point); input != CAReadingGraph::kNever) graph.addInput(node, input);
        } else if (GridRange block; token.type() == kTokenRange && NormalizedBlock(token.range(), &block)) {
          if (Inside(at, block)) readsItself[node] = true;
          graph.addBlock(node, at, block);
        }
      }
    }
    std::vector<bool> inCycle;
    const std::vector<uint32_t> order = graph.inputsFirst(&inCycle);

    // A formula that reads a value changed since the sheet computed (a stored value put in
    // place of a formula, or a formula computed again) is computed again before it is judged,
    // once, everything it reads being settled by then: as in a recalculation, the blocks that
    // running totals fold are folded once, not again for each total. The cells that read a
    // replaced formula are marked for recalculation once, at the end, not at each replacement
    // (thousands of totals read each one of a column).
    const CADocument::EditBatch batch(document_);
    CARangeMemo memo(document_);
    rangeWalkBudget_ = kRangeWalkPerFormula * (uint64_t(count) + 1);
    for (const uint32_t node : order) {
      const ConvertedFormula& entry = entryOf(node);
      CACell* cell = document_.cellAtGridPoint(entry.point);
      // A later record for the cell put something else there: nothing to judge.
      if (!cell || (cell->valueType() != kValueFormula && cell->valueType() != kValueError)) continue;
      if (!inCycle[node] && graph.readsMarked(node)) {
        // A formula that reads itself is in a cycle, which the recalculation gave the circular
        // error whatever the rest of what it reads holds: it is judged on that, not run alone
        // to read its own error at the end of its ranges.
        if (!readsItself[node]) cell->evaluate();
        graph.mark(node);
      }
      const XLValue stored = storedValue(entry.stored);
      if (agrees(*cell, stored, &memo)) {
        // What reads it is judged on the number the workbook stored, the one the writer itself
        // computed from: a drift carried from further back, or magnified by the formulas that
        // read it, is then the writer's and not a difference. It computes its own number again
        // once all are judged.
        const std::optional<CANumber> number = storedCANumber(stored);
        if (number && cell->valueType() == kValueFormula && cell->number() && !(*cell->number() == *number)) {
          cell->setNumber(*number);
          cell->setNeedRecalc(true);
          graph.mark(node);
          recalculate = true;
        }
        continue;
      }
      CAExcelFormatRecord red = entry.format == kNoRecord ? CAExcelFormatRecord{} : records_[entry.format];
      red.backgroundKolor = kFormulaImportErrorKolor;
      document_.cellAtGridPointImperative(entry.point)->clearValue();
      setCell(entry.point, stored, &red);
      graph.mark(node);
      ++kept;
    }
    forgetConverted();
    if (kept > 0) recalculate = true;
    return kept;
  }

 private:
  // Whether every formula computed what the workbook stored for it (an earlier formula given to
  // a cell a later record replaced is asked as well: a "no" only means the levels are worked out).
  // Only the plain comparison is made here: a result that differs within a writer's drift is
  // found to agree when the formulas are judged one by one.
  bool everyFormulaAgrees() {
    for (const ConvertedFormula& entry : converted_) {
      const CACell* cell = document_.cellAtGridPoint(entry.point);
      if (!cell || (cell->valueType() != kValueFormula && cell->valueType() != kValueError)) continue;
      if (!agrees(*cell, storedValue(entry.stored), nullptr)) return false;
    }
    return true;
  }

  static std::optional<CANumber> storedCANumber(const XLValue& stored) {
    switch (stored.type) {
      case kXLValueReal: return CANumber::withReal(stored.real);
      case kXLValueInteger: return CANumber::withInteger(stored.integer);
      case kXLValueFraction: return CANumber::withNumerator(stored.numerator, uint64_t(stored.denominator));
      default: return std::nullopt;
    }
  }

  StoredResult keptResult(const XLValue& value) {
    StoredResult kept;
    kept.type = value.type;
    kept.boolean = value.boolean;
    switch (value.type) {
      case kXLValueNone:
      case kXLValueBoolean:
        break;
      case kXLValueDate:
        kept.first = value.dayIndex;
        break;
      case kXLValueFraction:
        kept.first = value.numerator;
        kept.second = value.denominator;
        break;
      case kXLValueReal:
        kept.first = std::bit_cast<int64_t>(value.real);
        break;
      case kXLValueInteger:
        kept.first = value.integer;
        break;
      default:
        kept.first = int64_t(aside_.size());
        aside_.push_back(value);
        break;
    }
    return kept;
  }

  XLValue storedValue(const StoredResult& kept) const {
    switch (kept.type) {
      case kXLValueNone:
      case kXLValueBoolean:
      case kXLValueDate:
      case kXLValueFraction:
      case kXLValueReal:
      case kXLValueInteger:
        break;
      default:
        return aside_[size_t(kept.first)];
    }
    XLValue value;
    value.type = kept.type;
    value.boolean = kept.boolean;
    if (kept.type == kXLValueDate) value.dayIndex = int32_t(kept.first);
    if (kept.type == kXLValueFraction) {
      value.numerator = kept.first;
      value.denominator = kept.second;
    }
    if (kept.type == kXLValueReal) value.real = std::bit_cast<double>(kept.first);
    if (kept.type == kXLValueInteger) value.integer = kept.first;
    return value;
  }

  void forgetConverted() {
    std::vector<ConvertedFormula>().swap(converted_);
    std::vector<XLValue>().swap(aside_);
    records_.clear();
    recordIndex_.clear();
  }

  // The copy of a workbook record kept for the converted formulas that have it.
  uint32_t keptRecord(const CAExcelFormatRecord& record) {
    uint32_t& kept = recordIndex_[&record];
    if (kept == 0 || !SameRecord(records_[kept - 1], record)) {
      records_.push_back(record);
      kept = uint32_t(records_.size());
    }
    return kept - 1;
  }

  // Whether the formula's result is the one stored, or no stored result can tell against it.
  // With the memo of the judging under way, a number within the writer's drift agrees too.
  bool agrees(const CACell& cell, const XLValue& stored, CARangeMemo* memo) {
    // A result the workbook could not store as a number is no evidence against ours, and an
    // error or no result at all is no value to compare with: the writer's AVERAGE of nothing is
    // an error where ours is 0.
    if (stored.type == kXLValueReal && !std::isfinite(stored.real)) return true;
    if (stored.type == kXLValueNone || (stored.type == kXLValueText && stored.error)) return true;
    if (sameResult(cell, stored)) return true;
    const QString upper = cell.formula().toUpper();
    for (const char* name : kVolatileFunctions)
      if (upper.contains(QLatin1String(name))) return true;
    if (!memo || cell.valueType() != kValueFormula || !cell.number()) return false;
    const std::optional<double> number = storedNumber(stored);
    return number && WithinDrift(cell.number()->realValue(), *number, readMagnitude(cell, memo));
  }

  static std::optional<double> storedNumber(const XLValue& stored) {
    switch (stored.type) {
      case kXLValueReal: return stored.real;
      case kXLValueInteger: return double(stored.integer);
      case kXLValueFraction: return double(stored.numerator) / double(stored.denominator);
      default: return std::nullopt;
    }
  }

  static bool sameResult(const CACell& cell, const XLValue& stored) {
    if (cell.valueType() != kValueFormula) return false;
    const std::optional<CANumber> number = cell.number();
    switch (stored.type) {
      case kXLValueDate:
        return cell.formulaResultType() == kValueDate && number && number->integerValue() == stored.dayIndex;
      case kXLValueReal:
      case kXLValueInteger:
      case kXLValueFraction:
        return number && SameNumber(number->realValue(), *storedNumber(stored));
      default:
        // Booleans can't be compared.
        return true;
    }
  }

  // The largest magnitude among the values the formula reads: its numbers, the cells it names
  // and the numbers in the blocks it reads. A tall block is answered by the memo, which folds
  // each block once however many formulas read it; what is walked cell by cell is bounded by a
  // budget for the whole judging, past which a block adds nothing.
  long double readMagnitude(const CACell& cell, CARangeMemo* memo) {
    long double largest = 0;
    const auto take = [&largest](const std::optional<CANumber>& number) {
      if (!number) return;
      const long double magnitude = std::fabs(number->realValue());
      if (std::isfinite(magnitude)) largest = std::max(largest, magnitude);
    };
    const auto takeEntry = [&](const CACellEntry* entry) {
      if (!entry || entry->empty()) return;
      if (entry->isPlain())
        take(entry->number());
      else
        take(entry->cell()->number());
    };
    for (const CAFormulaToken& token : cell.expression()) {
      switch (token.type()) {
        case kTokenNumber:
          take(token.number());
          break;
        case kTokenReference:
          takeEntry(EntryAtPoint(document_, token.point()));
          break;
        case kTokenRange: {
          GridRange block;
          if (!NormalizedBlock(token.range(), &block)) break;
          ListAggregate all(ListAggregate::kLargest | ListAggregate::kSmallest);
          const bool closed = block.endPoint.x != kGridOpenEnd && block.endPoint.y != kGridOpenEnd;
          if (closed && memo && memo->fold(block, kOperandNumbersOnly, &all) == 0u) {
            if (all.count() > 0) {
              take(all.largest());
              take(all.smallest());
            }
            break;
          }
          ForEachEntryInBlock(document_, block, [&](const CACellEntry& entry) {
            if (rangeWalkBudget_ == 0) return false;
            --rangeWalkBudget_;
            takeEntry(&entry);
            return true;
          });
          break;
        }
        default:
          break;
      }
    }
    return largest;
  }

  // A row's or a column's format: what it adds to the document's default.
  template <typename Layer>
  void setLayerFormat(Layer& layer, const CAExcelFormatRecord& record) {
    const CAFormat beyond = FormatBeyond(excelFormat(record, kXLValueNone), document_.defaultFormat());
    layer.setFormat(beyond.shouldSave() ? std::optional(beyond) : std::nullopt);
  }

  // A cell's own format: what it adds to the look its row, its column and the document's
  // default already give it (an imported workbook restates the defaults in nearly every cell),
  // one object for all the cells that get an equal one. Made once for each record, value type
  // and row and column layer.
  void setOwnFormat(CACell* cell, const CAExcelFormatRecord& record, int32_t valueType) {
    const GridPoint point = cell->gridPoint();
    const CAFormat* row = document_.formatForRow(point.y);
    const CAFormat* column = document_.formatForColumn(point.x);
    CachedFormat& cached = formats_[&record];
    if (!cached.made || cached.layers != layers_ || cached.valueType != valueType || cached.row != row ||
        cached.column != column || !SameRecord(cached.record, record)) {
      cached.made = true;
      cached.layers = layers_;
      cached.record = record;
      cached.valueType = valueType;
      cached.row = row;
      cached.column = column;
      const CAFormat beyond =
          FormatBeyond(excelFormat(record, valueType), FormatUnderCell(document_, point.x, point.y));
      cached.format = beyond.shouldSave() ? shared_.intern(beyond) : CASharedFormat();
    }
    if (cached.format) cell->shareFormat(cached.format);
  }

  // The format a record makes for a value type, made once: every row of a sheet whose rows are
  // formatted would otherwise make it again for the row and for each of its cells.
  const CAFormat& excelFormat(const CAExcelFormatRecord& record, int32_t valueType) {
    MadeFormat& made = madeFormats_[{&record, valueType}];
    if (!made.format || !SameRecord(made.record, record)) {
      made.record = record;
      made.format = CAFormat::withExcelFormat(record, valueType);
    }
    return *made.format;
  }

  struct MadeFormat {
    CAExcelFormatRecord record;
    std::optional<CAFormat> format;
  };

  struct CachedFormat {
    bool made = false;
    uint64_t layers = 0;
    CAExcelFormatRecord record;
    int32_t valueType = 0;
    const CAFormat* row = nullptr;
    const CAFormat* column = nullptr;
    CASharedFormat format;  // none: the cell adds nothing
  };

  // The cells that judging may walk in blocks the memo does not fold, for each formula judged.
  static constexpr uint64_t kRangeWalkPerFormula = 256;

  CADocument& document_;
  uint64_t rangeWalkBudget_ = 0;
  std::vector<ConvertedFormula> converted_;
  std::vector<XLValue> aside_;  // stored values with text
  std::vector<CAExcelFormatRecord> records_;
  std::unordered_map<const CAExcelFormatRecord*, uint32_t> recordIndex_;  // 1 + the index in records_
  std::unordered_map<const CAExcelFormatRecord*, CachedFormat> formats_;
  std::map<std::pair<const CAExcelFormatRecord*, int32_t>, MadeFormat> madeFormats_;
  CAImportFormats shared_;
  // Counts the row and column formats set: a layer replaced may reuse a freed one's address.
  uint64_t layers_ = 0;
};

}  // namespace

bool CADocument::loadExcelFile(const QString& path, FLError* error) {
  try {
    // The workbook, its strings and cells are held within what an open may take.
    FLReadingMeter meter(FileReadingBudget());
    DocumentExcelDelegate delegate(*this);
    XLImportResult result;
    QString failure;
    bool read = false;
    int64_t streamHeld = 0;
    {
      // The file's bytes and then the workbook stream go as soon as they are read: a large
      // workbook's cells need the room.
      QByteArray stream;
      {
        QByteArray bytes;
        if (!ReadWholeFile(path, &bytes, error)) return false;
        read = ReadWorkbookStream(bytes, &stream, &failure);
      }
      meter.measure();
      streamHeld = meter.grown();
      read = read && ImportExcelStream(stream, delegate, &result, &failure);
    }
    if (result.tooLarge || (read && !meter.measure()))
      return RefuseTooLargeFile(error, WholeReadingCost(streamHeld, meter.grown(), result.shareRead));
    if (!read) {
      SetError(error, kBadContentCode,
               failure.isEmpty() ? QString::fromUtf8(kExcelFormatReason) : failure);
      return false;
    }
    // Our dates are day indexes where Excel's are day counts, and other conversions may mean
    // something else too: what computes otherwise than the workbook did keeps its stored value.
    evaluate();
    bool recalculate = false;
    const uint64_t differing = delegate.keepStoredValuesWhereTheyDiffer(recalculate);
    if (recalculate) evaluate();
    if (result.formulaErrors || differing > 0)
      ShowImportAlert(kSuppressImportErrorsKey, QLatin1String(kImportErrorsMessage),
                      StringWithFormat(kImportErrorsInformation, QFileInfo(path).completeBaseName()) +
                          (result.formulasKept + differing == 1
                               ? QString::fromLatin1(kKeptValueInformation)
                               : QString::fromLatin1(kKeptValuesInformation).arg(result.formulasKept + differing)));
    if (result.budgetReached) ShowImportBudgetAlert(path, result.cells);
    if (result.columnsCut) ShowImportColumnsAlert(path);
    return true;
  } catch (const std::exception& exception) {
    LogException(exception, QLatin1String(kLoadFailedContext));
  } catch (...) {
    LogException(QStringLiteral("unknown exception"), QLatin1String(kLoadFailedContext));
  }
  return false;
}
