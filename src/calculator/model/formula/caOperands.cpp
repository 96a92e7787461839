#include "calculator/model/formula/caOperands.h"

#include "calculator/model/formula/caFormulaErrors.h"
#include "calculator/model/formula/caRangeMemo.h"
#include "calculator/model/formula/caStatisticsCores.h"

#include <cmath>
#include <utility>

namespace {

uint64_t g_blockEntriesWalked = 0;

// What the mode tables give for cells that hold no number of their own.
const CANumber* CheckValue(const CACell& cell) { return cell.isChecked() ? &g_number1 : &g_number0; }

// What a list of operands is gathered into: the numbers themselves, or, for the counting
// functions, only how many there are, so that a range of millions of blank points costs nothing.
// Each walk is made for one kind of sink, so that gathering numbers pays for no counting.
struct ArraySink {
  static constexpr bool kCounting = false;
  explicit ArraySink(CAOperandArray& numbers) : array(numbers) {}
  void add(const CANumber& number) { array.push_back(number); }
  bool empty() const { return array.empty(); }
  CAOperandArray& array;
};

struct AggregateSink {
  static constexpr bool kCounting = false;
  void add(const CANumber& number) { aggregate.add(number); }
  bool empty() const { return aggregate.count() == 0; }
  ListAggregate& aggregate;
};

struct CountSink {
  static constexpr bool kCounting = true;
  void add(const CANumber&) { ++count; }
  // Points counted without a number each; no sheet holds enough to overflow the count.
  void addCount(CAOperandCount more) { count += more; }
  bool empty() const { return count == 0; }
  CAOperandCount count = 0;
};

// Reads one cell into the list. NO when the cell fails.
// A plain number's part of AppendCell, kept out of line so that the walk over cells stays small.
template <typename Sink>
[[gnu::noinline]] bool AppendPlainNumber(const CACellEntry& entry, int32_t mode, Sink& sink) {
  if (mode != kOperandBlankCount) sink.add(entry.number());
  return true;
}

template <typename Sink>
inline bool AppendCell(const CACellEntry* entry, int32_t mode, Sink& sink) {
  if (entry && entry->isPlain()) [[unlikely]]
    return AppendPlainNumber(*entry, mode, sink);
  const CANumber* number = nullptr;
  if (!GetCellNumber(entry ? entry->cell() : nullptr, mode, &number)) return false;
  if (number) sink.add(*number);
  return true;
}

bool AppendCell(const CACellEntry* entry, int32_t mode, CAOperandArray& array) {
  ArraySink sink(array);
  return AppendCell(entry, mode, sink);
}

// Appends the cells of a range for CreateOperandArray. Modes 1-4 skip empty points, so only the
// cells that exist are visited; mode 0 counts every empty point of the block, which is bounded
// by the used extent for whole rows or columns. A list of numbers holds at most
// kMaxBlankCountPoints of them; a count has no such bound, since it walks only the cells.
template <typename Sink>
uint32_t AppendRange(const CADocument& document, const GridRange& block, int32_t mode, Sink& sink) {
  if (mode != kOperandBlankCount) {
    const bool completed = ForEachEntryInBlock(document, block, [&](const CACellEntry& entry) {
      ++g_blockEntriesWalked;
      return AppendCell(&entry, mode, sink);
    });
    return completed ? 0 : uint32_t(kFormulaErrorValue);
  }
  GridRange bounded = block;
  if (bounded.endPoint.x == kGridOpenEnd || bounded.endPoint.y == kGridOpenEnd) {
    const GridPoint used = document.maxGridPoint();
    if (bounded.endPoint.x == kGridOpenEnd) bounded.endPoint.x = used.x;
    if (bounded.endPoint.y == kGridOpenEnd) bounded.endPoint.y = used.y;
  }
  if (bounded.endPoint.x < bounded.startPoint.x || bounded.endPoint.y < bounded.startPoint.y) return 0;
  const unsigned __int128 width = uint64_t(bounded.endPoint.x - bounded.startPoint.x) + 1;
  const unsigned __int128 height = uint64_t(bounded.endPoint.y - bounded.startPoint.y) + 1;
  if constexpr (Sink::kCounting) {
    // Every point counts but the cells that exist, which count as their contents say.
    unsigned __int128 points = width * height;
    bool completed = ForEachEntryInBlock(document, bounded, [&](const CACellEntry& entry) {
      --points;
      return AppendCell(&entry, mode, sink);
    });
    sink.addCount(points);
    return completed ? 0 : uint32_t(kFormulaErrorValue);
  } else {
    if (width * height > kMaxBlankCountPoints) return kFormulaErrorNumber;
    for (int64_t y = bounded.startPoint.y; y <= bounded.endPoint.y; ++y) {
      const CARow* row = document.row(y);
      for (int64_t x = bounded.startPoint.x; x <= bounded.endPoint.x; ++x)
        if (!AppendCell(row ? row->entryAt(x) : nullptr, mode, sink)) return kFormulaErrorValue;
    }
    return 0;
  }
}

// The walk over a list of arguments that CreateOperandArray and CountOperands share.
template <typename Sink>
void ReadOperandList(CAEvaluationContext& context, int32_t mode, Sink& sink) {
  CAOperandList& arguments = context.arguments;
  while (context.error == 0 && !arguments.empty()) {
    const CAOperand item = std::move(arguments.back());
    arguments.pop_back();
    switch (item.kind()) {
      case -1:
        if (mode != kOperandBlankCount) sink.add(item.value());
        break;
      case kTokenNumber:
        if (mode != kOperandBlankCount) sink.add(item.token()->number().value_or(CANumber()));
        break;
      case kTokenReference: {
        const GridPoint& point = item.token()->point();
        if (!context.document || !AppendCell(EntryAtPoint(*context.document, point), mode, sink))
          context.error = kFormulaErrorValue;
        break;
      }
      case kTokenRange: {
        GridRange block;
        if (TypeOfRange(nullptr, item.token()->range()) == kRangeInvalid ||
            !NormalizedBlock(item.token()->range(), &block)) {
          context.error = kFormulaErrorValue;
          context.failingIndex = item.token()->formulaIndex();
        } else if (context.document) {
          context.error = AppendRange(*context.document, block, mode, sink);
        }
        break;
      }
      default:
        context.error = kFormulaErrorSyntax;
        break;
    }
  }
  // An empty list means "no values" only when nothing else went wrong: an error cell that came
  // first must still fail the function.
  if (sink.empty() && context.error == 0) context.error = kFormulaErrorNotAvailable;
}

}  // namespace

const CACellEntry* EntryAtPoint(const CADocument& document, const GridPoint& point) {
  // Only a starting guess: every use checks the row it points at.
  struct Hint {
    const CADocument::RowList* rows = nullptr;
    size_t index = 0;
  };
  thread_local Hint hint;
  const int64_t y = NormalizeCoordinate(point.y);
  const CADocument::RowList& rows = document.rows();
  if (hint.rows == &rows) {
    for (const size_t i : {hint.index, hint.index + 1, hint.index - 1}) {
      if (i < rows.size() && rows[i]->gridY() == y) {
        hint.index = i;
        return rows[i]->entryAt(NormalizeCoordinate(point.x));
      }
    }
  }
  const auto row = std::lower_bound(rows.begin(), rows.end(), y,
                                    [](const std::unique_ptr<CARow>& r, int64_t key) { return r->gridY() < key; });
  if (row == rows.end() || (*row)->gridY() != y) return nullptr;
  hint = Hint{&rows, size_t(row - rows.begin())};
  return (*row)->entryAt(NormalizeCoordinate(point.x));
}

CACell* CellAtPoint(const CADocument& document, const GridPoint& point) {
  const CACellEntry* entry = EntryAtPoint(document, point);
  return entry ? entry->cell() : nullptr;
}

bool NormalizedBlock(const GridRange& range, GridRange* block) {
  const GridPoint& s = range.startPoint;
  const GridPoint& e = range.endPoint;
  if (s.x == kGridNoPoint || e.x == kGridNoPoint || s.y == kGridNoPoint || e.y == kGridNoPoint)
    return false;
  const auto ordered = [](int64_t a, int64_t b) {
    a = NormalizeCoordinate(a);
    b = NormalizeCoordinate(b);
    return a <= b ? std::pair{a, b} : std::pair{b, a};
  };
  const bool wholeRows = s.x == kGridWildcard && e.x == kGridWildcard;
  const bool wholeColumns = s.y == kGridWildcard && e.y == kGridWildcard;
  if (wholeRows && wholeColumns) return false;
  if (!wholeRows && !wholeColumns &&
      (s.x == kGridWildcard || e.x == kGridWildcard || s.y == kGridWildcard || e.y == kGridWildcard))
    return false;
  const auto [x0, x1] = wholeRows ? std::pair<int64_t, int64_t>{0, kGridOpenEnd} : ordered(s.x, e.x);
  const auto [y0, y1] = wholeColumns ? std::pair<int64_t, int64_t>{0, kGridOpenEnd} : ordered(s.y, e.y);
  *block = GridRange{{x0, y0}, {x1, y1}};
  return true;
}

bool GetCellNumber(const CACell* cell, int32_t mode, const CANumber** number) {
  *number = nullptr;
  if (!cell) {
    if (mode == kOperandBlankCount) *number = &g_number0;
    return true;
  }
  switch (cell->valueType()) {
    case kValueCheckbox:
      if (mode != kOperandBlankCount && mode != kOperandNumbersOnly) *number = CheckValue(*cell);
      return true;
    case kValueDate:
    case kValueFormula:
    case kValueNumber:
      if (const CANumber* stored = cell->storedNumber()) {
        if (mode != kOperandBlankCount) *number = stored;
      } else if (mode == kOperandBlankCount) {
        *number = &g_number0;
      }
      return true;
    case kValueError:
      if (mode == kOperandNonEmptyCount) *number = &g_number0;
      return mode == kOperandBlankCount || mode == kOperandNonEmptyCount;
    case kValuePicture:
      if (mode == kOperandNonEmptyCount || mode == kOperandAllValues) *number = &g_number0;
      return true;
    default: {
      // Nothing, a link, a text, or an empty point covered by a neighbour's text: judged by the
      // entered text.
      const bool empty = cell->formula().isEmpty();
      if (mode == kOperandAllValues || (empty ? mode == kOperandBlankCount : mode == kOperandNonEmptyCount))
        *number = &g_number0;
      return true;
    }
  }
}

bool HandleCellForOperandArray(const CADocument& document, int64_t x, int64_t y, int32_t mode,
                               CAOperandArray& array) {
  return AppendCell(EntryAtPoint(document, GridPoint{x, y}), mode, array);
}

std::optional<CANumber> NumericTopOfStackCore(CAEvaluationContext& context, CAOperandList& operands) {
  if (operands.empty()) {
    context.error = kFormulaErrorArguments;
    return std::nullopt;
  }
  const CAOperand& item = operands.back();
  std::optional<CANumber> value;
  uint32_t error = 0;
  switch (item.kind()) {
    case -1:
      value = item.value().copy();
      break;
    case kTokenNumber:
      value = item.token()->number() ? item.token()->number()->copy() : CANumber();
      break;
    case kTokenReference: {
      const CACellEntry* entry = context.document ? EntryAtPoint(*context.document, item.token()->point()) : nullptr;
      const CANumber* number = nullptr;
      std::optional<CANumber> plain;
      if (!GetCellNumber(entry, kOperandNumbersAndChecks, &number, &plain)) {
        error = kFormulaErrorValue;
        break;
      }
      value = number ? number->copy() : CANumber();
      if (context.resultHint == kResultHintUnknown && entry && entry->valueType() == kValueDate)
        context.resultHint = kResultHintDate;
      break;
    }
    default:
      error = kFormulaErrorArguments;
      break;
  }
  if (error == 0) error = uint32_t(value->evaluationError());
  if (error == 0) {
    operands.pop_back();
    return value;
  }
  context.error = error;
  if (!item.isValue()) context.failingIndex = item.token()->formulaIndex();
  return std::nullopt;
}

std::optional<CAOperandArray> CreateOperandArray(CAEvaluationContext& context, int32_t mode) {
  CAOperandArray array;
  ArraySink sink(array);
  ReadOperandList(context, mode, sink);
  if (context.error != 0) return std::nullopt;
  return array;
}

bool AggregateOperands(CAEvaluationContext& context, int32_t mode, ListAggregate& aggregate) {
  CAOperandList& arguments = context.arguments;
  // A lone range, as a running total's: the recalculation may already hold most of its fold.
  if (context.error == 0 && context.document && arguments.size() == 1 && arguments.back().kind() == kTokenRange) {
    const CAFormulaToken& token = *arguments.back().token();
    GridRange block;
    CARangeMemo* memo = CARangeMemo::active(*context.document);
    if (memo && TypeOfRange(nullptr, token.range()) != kRangeInvalid && NormalizedBlock(token.range(), &block)) {
      // Every part where the sum is asked for; MAX, MIN and COUNT keep no sums.
      ListAggregate all((aggregate.parts() & ListAggregate::kSum) ? ListAggregate::kAll
                                                                   : ListAggregate::kLargest | ListAggregate::kSmallest);
      if (const std::optional<uint32_t> error = memo->fold(block, mode, &all)) {
        arguments.pop_back();
        context.error = *error;
        if (context.error == 0 && all.count() == 0) context.error = kFormulaErrorNotAvailable;
        if (context.error != 0) return false;
        aggregate = all;
        return true;
      }
    }
  }
  if (!(aggregate.parts() & ListAggregate::kSum)) {
    AggregateSink sink{aggregate};
    ReadOperandList(context, mode, sink);
    return context.error == 0;
  }
  // The sum adds exactly first; past the bound, the list is read again with every term rounded.
  const uint8_t parts = aggregate.parts();
  CAOperandList again = arguments;
  aggregate = ListAggregate(uint8_t(parts | ListAggregate::kExactFirst));
  AggregateSink sink{aggregate};
  ReadOperandList(context, mode, sink);
  if (context.error != 0 || !aggregate.unresolved()) return context.error == 0;
  arguments = std::move(again);
  aggregate = ListAggregate(uint8_t(parts & ~ListAggregate::kExactFirst));
  AggregateSink rounded{aggregate};
  ReadOperandList(context, mode, rounded);
  return context.error == 0;
}

uint64_t BlockEntriesWalked() { return g_blockEntriesWalked; }

CANumber CountNumber(CAOperandCount count) {
  if (count <= CAOperandCount(INT64_MAX)) return CANumber(int64_t(count));
  return CANumber::withReal((long double)count);
}

std::optional<CAOperandCount> CountOperands(CAEvaluationContext& context, int32_t mode) {
  CountSink sink;
  ReadOperandList(context, mode, sink);
  if (context.error != 0) return std::nullopt;
  return sink.count;
}

GridRange RangeTopOfStack(CAEvaluationContext& context) {
  CAOperandList& arguments = context.arguments;
  const int32_t kind = arguments.empty() ? -1 : arguments.back().kind();
  if (kind != kTokenRange && kind != kTokenReference) {
    context.error = kFormulaErrorArguments;
    if (!arguments.empty() && !arguments.back().isValue())
      context.failingIndex = arguments.back().token()->formulaIndex();
    return GridRange{};
  }
  const CAFormulaToken& token = *arguments.back().token();
  const GridRange range = kind == kTokenRange ? token.range() : GridRange{token.point(), token.point()};
  if (context.error == 0) arguments.pop_back();
  return range;
}

std::optional<CAOperandArray> CreateSortedOperandArrayFromRange(CAEvaluationContext& context,
                                                                const GridRange& range) {
  CAOperandArray array;
  GridRange block;
  if (!NormalizedBlock(range, &block)) {
    context.error = kFormulaErrorValue;
    return std::nullopt;
  }
  if (context.document &&
      !ForEachEntryInBlock(*context.document, block, [&](const CACellEntry& entry) {
        return AppendCell(&entry, kOperandNumbersOnly, array);
      })) {
    context.error = kFormulaErrorValue;
    return std::nullopt;
  }
  if (array.empty()) {
    context.error = kFormulaErrorNotAvailable;
    return std::nullopt;
  }
  SortOperands(array);
  return array;
}

int CompareOperands(const CANumber& a, const CANumber& b) {
  const long double difference = a.realValue() - b.realValue();
  if (difference > 0) return 1;
  if (difference == 0) return 0;
  return -1;
}

std::optional<CANumber> AverageOfOperands(CAEvaluationContext& context,
                                          const std::optional<CAOperandArray>& operands) {
  if (operands) return AverageCore(*operands);
  if (context.error == kFormulaErrorNotAvailable) {
    context.error = 0;
    return CANumber();
  }
  return std::nullopt;
}
