#include "calculator/model/CARow.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/caXmlTags.h"
#include "framlet/foundation/flCollectionExtensions.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/FLXmlEncoder.h"
#include "framlet/foundation/flBase.h"
#include "platform/FLError.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

static_assert(sizeof(CACellEntry) == 16, "an entry outgrows two words");
static_assert(sizeof(CACellList) == 16, "a cell list outgrows two words");
// A row fits the allocator's 48-byte blocks (8 bytes of them are malloc's own).
static_assert(sizeof(CARow) <= 40, "a row outgrows its allocation size");

// ---------------------------------------------------------------------------------------------
// Entries

namespace {

// An extended real's 80 bits: the significand, then the sign and exponent.
struct RealBits {
  uint64_t significand = 0;
  uint16_t exponent = 0;
};

RealBits BitsOf(long double value) {
  RealBits bits;
  std::memcpy(&bits.significand, &value, sizeof bits.significand);
  std::memcpy(&bits.exponent, reinterpret_cast<const char*>(&value) + sizeof bits.significand, sizeof bits.exponent);
  return bits;
}

long double RealOf(const RealBits& bits) {
  long double value = 0;
  std::memcpy(&value, &bits.significand, sizeof bits.significand);
  std::memcpy(reinterpret_cast<char*>(&value) + sizeof bits.significand, &bits.exponent, sizeof bits.exponent);
  return value;
}

}  // namespace

std::optional<CACellEntry> CACellEntry::plainNumber(int64_t x, const CANumber& number) {
  CACellEntry entry;
  switch (number.form()) {
    case kNumberInteger:
      if (number.denominator() != 1) return std::nullopt;
      entry.word_ = uintptr_t(number.numerator());
      entry.tag_ = kInteger;
      break;
    case kNumberFraction:
      if (number.numerator() < INT32_MIN || number.numerator() > INT32_MAX || number.denominator() > UINT32_MAX)
        return std::nullopt;
      entry.word_ = (uintptr_t(uint32_t(int32_t(number.numerator()))) << 32) | uintptr_t(number.denominator());
      entry.tag_ = kFraction;
      break;
    case kNumberReal: {
      // Only a real that comes back the same, in the same form.
      const RealBits bits = BitsOf(number.realValue());
      const CANumber back = CANumber::withRealResult(RealOf(bits));
      if (back.form() != kNumberReal) return std::nullopt;
      const RealBits backBits = BitsOf(back.realValue());
      if (backBits.significand != bits.significand || backBits.exponent != bits.exponent) return std::nullopt;
      entry.word_ = uintptr_t(bits.significand);
      entry.tag_ = kReal | (uint64_t(bits.exponent) << kExponentShift);
      break;
    }
    default:
      return std::nullopt;
  }
  if (x < 0 || x >= int64_t(1) << (64 - kXShift)) return std::nullopt;
  entry.tag_ |= uint64_t(x) << kXShift;
  return entry;
}

std::optional<CACellEntry> CACellEntry::plainNumber(const CACell& cell) {
  if (!cell.isPlainNumber()) return std::nullopt;
  return plainNumber(cell.gridPoint().x, *cell.storedNumber());
}

CANumber CACellEntry::number() const {
  CANumber number;
  switch (kind()) {
    case kInteger:
      number.setNumerator(int64_t(word_));
      break;
    case kFraction:
      number.setForm(kNumberFraction);
      number.setNumerator(int32_t(uint32_t(word_ >> 32)));
      number.setDenominator(uint32_t(word_));
      break;
    case kReal:
      number = CANumber::withRealResult(RealOf(RealBits{uint64_t(word_), uint16_t(tag_ >> kExponentShift)}));
      break;
    default:
      FLAssert(false, "A cell read as a plain number");
      break;
  }
  return number;
}

void CACellEntry::setX(int64_t x) {
  if (empty()) return;
  if (CACell* cell = this->cell()) cell->setGridPoint(GridPoint{x, cell->gridPoint().y});
  tag_ = (tag_ & ((uint64_t(1) << kXShift) - 1)) | (uint64_t(x) << kXShift);
}

void CACellEntry::reset() {
  if (kind() == kCell) delete cell();
  word_ = 0;
  tag_ = 0;
}

std::unique_ptr<CACell> CACellEntry::release(int64_t y, CADocument* document) {
  if (isPlain()) {
    auto cell = std::make_unique<CACell>(GridPoint{x(), y}, document);
    cell->restorePlainNumber(number());
    reset();
    return cell;
  }
  std::unique_ptr<CACell> cell(this->cell());
  word_ = 0;
  tag_ = 0;
  return cell;
}

CACellReading::CACellReading(const CACellEntry& entry, int64_t y, const CADocument* document)
    : cell_(entry.cell()) {
  if (cell_) return;
  made_.emplace(GridPoint{entry.x(), y}, const_cast<CADocument*>(document));
  made_->restorePlainNumber(entry.number());
  cell_ = &*made_;
}

// ---------------------------------------------------------------------------------------------
// The list

CACellList::~CACellList() {
  clear();
  release();
}

CACellList::CACellList(CACellList&& other) noexcept { *this = std::move(other); }

CACellList& CACellList::operator=(CACellList&& other) noexcept {
  if (this == &other) return *this;
  clear();
  release();
  // The place moves whole: a single entry, or the block's header.
  place_.word_ = std::exchange(other.place_.word_, 0);
  place_.tag_ = std::exchange(other.place_.tag_, 0);
  return *this;
}

void CACellList::release() {
  if (!onHeap()) return;
  ::operator delete(static_cast<void*>(heap()));
  place_.word_ = 0;
  place_.tag_ = 0;
}

void CACellList::reserve(size_t count) {
  if (count <= capacity()) return;
  FLAssert(count <= kCountMask, "Too many cells in a row");
  const size_t size = this->size();
  auto* block = static_cast<value_type*>(::operator new(count * sizeof(value_type)));
  value_type* entries = data();
  for (size_t i = 0; i < size; ++i) std::construct_at(block + i, std::move(entries[i]));
  if (onHeap()) {
    std::destroy(entries, entries + size);
    ::operator delete(static_cast<void*>(entries));
  }
  setHeap(block, size, count);
}

size_t CACellList::grownCapacity(size_t size) { return std::max<size_t>(3, size + size / 2); }

void CACellList::push_back(value_type entry) {
  FLAssert(!entry.empty(), "An empty entry stored in a row");
  const size_t size = this->size();
  if (size == capacity()) reserve(grownCapacity(size));
  if (onHeap()) {
    std::construct_at(heap() + size, std::move(entry));
    setSize(size + 1);
  } else {
    place_ = std::move(entry);
  }
}

CACellList::iterator CACellList::insert(const_iterator at, value_type entry) {
  const size_t index = size_t(at - begin());
  push_back(std::move(entry));
  std::rotate(begin() + index, end() - 1, end());
  return begin() + index;
}

CACellList::iterator CACellList::erase(const_iterator at) { return erase(at, at + 1); }

CACellList::iterator CACellList::erase(const_iterator first, const_iterator last) {
  const size_t from = size_t(first - begin());
  const size_t count = size_t(last - first);
  if (count == 0) return begin() + from;
  const size_t size = this->size();
  // The erased entries go first, then the later ones close the gap.
  for (size_t i = from; i < from + count; ++i) data()[i].reset();
  std::move(begin() + from + count, end(), begin() + from);
  const size_t kept = size - count;
  if (onHeap()) {
    std::destroy(heap() + kept, heap() + size);
    setSize(kept);
  } else {
    place_.reset();
  }
  return begin() + from;
}

void CACellList::clear() {
  if (onHeap()) {
    std::destroy(heap(), heap() + size());
    setSize(0);
  } else {
    place_.reset();
  }
}

void CACellList::assign(std::vector<value_type>& entries) {
  // The block first: should it fail, the list and the entries are as they were.
  value_type* block = nullptr;
  if (entries.size() > 1) {
    FLAssert(entries.size() <= kCountMask, "Too many cells in a row");
    block = static_cast<value_type*>(::operator new(entries.size() * sizeof(value_type)));
  }
  clear();
  release();
  if (entries.size() == 1) {
    place_ = std::move(entries.front());
  } else if (block) {
    for (size_t i = 0; i < entries.size(); ++i) std::construct_at(block + i, std::move(entries[i]));
    setHeap(block, entries.size(), entries.size());
  }
  entries.clear();
}

namespace {

constexpr double kEmuPerPointReal = 12700.0;

// The row height as written: an optional "-" or leading ".", digits with at most one ".", an
// optional exponent. Nothing for text that does not start so.
std::optional<double> ParseHeight(const QString& text) {
  const qsizetype n = text.size();
  qsizetype i = 0;
  QByteArray number;
  if (i < n && text[i] == u'-') number += text[i++].toLatin1();
  bool sawDigit = false;
  bool sawDot = false;
  for (; i < n; ++i) {
    const QChar c = text[i];
    if (c >= u'0' && c <= u'9') {
      sawDigit = true;
      number += c.toLatin1();
    } else if (c == u'.') {
      if (sawDot) return std::nullopt;
      sawDot = true;
      number += '.';
    } else {
      break;
    }
  }
  if (!sawDigit) return std::nullopt;
  if (i < n && (text[i] == u'e' || text[i] == u'E')) {
    QByteArray exponent = "e";
    ++i;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) exponent += text[i++].toLatin1();
    bool exponentDigit = false;
    for (; i < n && text[i] >= u'0' && text[i] <= u'9'; ++i) {
      exponentDigit = true;
      exponent += text[i].toLatin1();
    }
    if (!exponentDigit) return std::nullopt;
    number += exponent;
  }
  bool ok = false;
  const double value = number.toDouble(&ok);
  if (!ok || !std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace

CARow::CARow(int64_t y) : gridY_(y) {}

CARow::~CARow() { dropExtras(); }

CARow::Extras& CARow::mutableExtras() {
  if (!extras()) extrasAndFlag_ |= reinterpret_cast<uintptr_t>(new Extras);
  return *extras();
}

void CARow::dropExtras() {
  delete extras();
  extrasAndFlag_ &= kNeedCalculate;
}

namespace {

// The entries a row's reading keeps room for between rows: a wide row's worth.
constexpr size_t kKeptGatheringCapacity = 4096;

}  // namespace

std::unique_ptr<CARow> CARow::withXml(FLXmlDecoder& decoder, CADocument* document) {
  static const QLatin1String yName = XmlName(kXmlY);  // named once: every row read asks for it
  auto row = std::make_unique<CARow>(decoder.integerAttributeForTag(yName));
  row->loadFromXml(decoder, document);
  return row;
}

void CARow::loadFromXml(FLXmlDecoder& decoder, CADocument* document) {
  if (!decoder.endTag()) {
    const int64_t level = decoder.level();
    while (decoder.getNextTag()) {
      if (decoder.level() < level) break;
      switch (XmlTagOf(decoder)) {
        case kXmlCells: {
          // The closing tag of a list already read: the cells stay.
          if (!decoder.startTag()) break;
          // A row of the document keeps the reference table right as its cells change; a row
          // still being read leaves that to whoever places it.
          const bool placed = document && document->row(gridY_) == this;
          if (placed) dropReferencesOfCells(*document);
          cells_.clear();
          if (decoder.endTag()) break;
          // A row's first cell goes straight into its place; a row of more is gathered first,
          // so that its block is made once and of the right size.
          thread_local std::vector<CACellEntry> more;
          more.clear();
          const int64_t cellsLevel = decoder.level();
          while (decoder.getNextTag()) {
            if (decoder.level() < cellsLevel) break;
            if (!decoder.startTag()) continue;  // a stray closing tag
            if (XmlTagOf(decoder) != kXmlCell) {
              // An element another version may write: passed over, and the row's cells read on.
              LogAssert("Unknown row tag", __func__, __FILE__, __LINE__);
              if (!decoder.endTag()) decoder.skipTag();
              continue;
            }
            std::unique_ptr<CACell> cell = CACell::withXml(decoder, document);
            // The file decides the row; a cell claiming another row is moved into this one, and
            // a cell beyond the last column is dropped.
            GridPoint point = cell->gridPoint();
            point.y = gridY_;
            if (!IsOnGrid(point)) continue;
            cell->setGridPoint(point);
            std::optional<CACellEntry> plain = CACellEntry::plainNumber(*cell);
            CACellEntry entry = plain ? std::move(*plain) : CACellEntry(std::move(cell));
            if (cells_.empty() && more.empty()) {
              cells_.push_back(std::move(entry));
              continue;
            }
            if (more.empty()) more.push_back(std::move(cells_.front()));
            more.push_back(std::move(entry));
          }
          if (!more.empty()) {
            // Of two entries at one column, the later read wins.
            SortKeepingLast(more, [](const CACellEntry& entry) { return entry.x(); });
            cells_.assign(more);
          }
          // A row of very many cells leaves the gathering's block to the allocator, not to the
          // next row read on this thread (nor to the end of the process).
          if (more.capacity() > kKeptGatheringCapacity) std::vector<CACellEntry>().swap(more);
          if (placed) addReferencesOfCells(*document);
          break;
        }
        case kXmlFormat:
          mutableExtras().format = std::make_unique<CAFormat>(CAFormat::withXml(decoder));
          break;
        case kXmlDy:
          if (const std::optional<double> height = ParseHeight(decoder.value())) height_ = *height;
          break;
        case kXmlMinHigh:
          setMinimumHeight(decoder.longValue());
          break;
        default:
          LogAssert("Unknown row tag", __func__, __FILE__, __LINE__);
          if (decoder.startTag() && !decoder.endTag()) decoder.skipTag();
          break;
      }
    }
  }
  setNeedCalculate(true);
}

bool CARow::saveToXml(FLXmlEncoder& encoder, const CADocument* document, bool saveRowInfo, int64_t fromX,
                      int64_t toX, FLError* error) {
  encoder.addAttribute(XmlName(kXmlY), gridY_);
  encoder.openTag(XmlName(kXmlRow));
  if (saveRowInfo) {
    const double rowHeight = height();
    if (rowHeight != 0)
      encoder.addTag(XmlName(kXmlDy), QString::asprintf("%.4f", rowHeight));
    if (minimumHeight() != 0) encoder.addTag(XmlName(kXmlMinHigh), minimumHeight());
    if (format() && format()->shouldSave()) format()->saveToXml(encoder, nullptr);
  }
  bool wrote = false;
  bool opened = false;
  size_t i = fromX < 0 ? 0 : lowerBound(fromX);
  for (; i < cells_.size(); ++i) {
    const CACellEntry& entry = cells_[i];
    if (fromX >= 0 && entry.x() > toX) break;
    if (!entry.holdsContent()) continue;
    if (!opened) {
      encoder.openTag(XmlName(kXmlCells));
      opened = true;
    }
    if (!CACellReading(entry, gridY_, document)->saveToXml(encoder, error)) {
      encoder.closeTag(XmlName(kXmlCells));
      encoder.closeTag(XmlName(kXmlRow));
      return wrote;
    }
    wrote = true;
  }
  if (opened) encoder.closeTag(XmlName(kXmlCells));
  encoder.closeTag(XmlName(kXmlRow));
  return wrote;
}

bool CARow::saveToXml(FLXmlEncoder& encoder, const CADocument* document, FLError* error) {
  return saveToXml(encoder, document, true, -1, -1, error);
}

void CARow::saveHeightToXml(FLXmlEncoder& encoder) {
  encoder.addAttribute(XmlName(kXmlY), gridY_);
  encoder.openTag(XmlName(kXmlRow));
  const double rowHeight = height();
  if (rowHeight != 0) encoder.addTag(XmlName(kXmlDy), QString::asprintf("%.4f", rowHeight));
  if (minimumHeight() != 0) encoder.addTag(XmlName(kXmlMinHigh), minimumHeight());
  encoder.closeTag(XmlName(kXmlRow));
}

double CARow::height() {
  if (!needCalculate()) return height_;
  setNeedCalculate(false);
  double height = double(minimumHeight()) / kEmuPerPointReal;
  bool preferencesRead = false;
  double checkboxHeight = kCheckboxHeight;
  for (const CACellEntry& entry : cells_) {
    const CACell* cell = entry.cell();
    if (!cell) continue;  // a plain number
    if (cell->valueType() == kValuePicture) {
      height = std::max(height, cell->height());
    } else if (cell->valueType() == kValueCheckbox) {
      if (!preferencesRead) {
        checkboxHeight = ModelPreferences().smallCheckbox ? kSmallCheckboxHeight : kCheckboxHeight;
        preferencesRead = true;
      }
      height = std::max(height, checkboxHeight);
    }
  }
  height_ = height;
  return height_;
}

size_t CARow::lowerBound(int64_t x) const {
  const auto it = std::lower_bound(cells_.begin(), cells_.end(), x,
                                   [](const CACellEntry& entry, int64_t key) { return entry.x() < key; });
  return size_t(it - cells_.begin());
}

const CACellEntry* CARow::entryAt(int64_t x) const {
  const size_t at = lowerBound(x);
  return at < cells_.size() && cells_[at].x() == x ? &cells_[at] : nullptr;
}

CACell* CARow::cellAt(int64_t x, CADocument* document) {
  const size_t at = lowerBound(x);
  return at < cells_.size() && cells_[at].x() == x ? &cellAtIndex(at, document) : nullptr;
}

CACell& CARow::cellAtIndex(size_t index, CADocument* document) {
  CACellEntry& entry = cells_[index];
  if (entry.isPlain()) entry = CACellEntry(entry.release(gridY_, document));
  return *entry.cell();
}

void CARow::compactCellAt(int64_t x) {
  const size_t at = lowerBound(x);
  if (at >= cells_.size() || cells_[at].x() != x) return;
  if (const CACell* cell = cells_[at].cell())
    if (std::optional<CACellEntry> plain = CACellEntry::plainNumber(*cell)) cells_[at] = std::move(*plain);
}

void CARow::deleteCellsFrom(int64_t x1, int64_t x2, CADocument* document) {
  const size_t first = x1 < 0 ? 0 : lowerBound(x1);
  size_t end = first;
  while (end < cells_.size() && (x1 < 0 || cells_[end].x() <= x2)) ++end;
  // Clearing tells the cell's dependents: a plain number is made a cell to do so. The cells leave
  // the row together once all of them have been told.
  for (size_t i = end; i-- > first;) cellAtIndex(i, document).clearValue();
  cells_.erase(cells_.begin() + qsizetype(first), cells_.begin() + qsizetype(end));
}

void CARow::addReferencesOfCells(CADocument& document) const {
  for (const CACellEntry& entry : cells_)
    if (entry.isFormula()) document.addReferencesOf(*entry.cell());
}

void CARow::dropReferencesOfCells(CADocument& document) const {
  for (const CACellEntry& entry : cells_)
    if (entry.isFormula()) document.dropReferencesOf(*entry.cell());
}

void CARow::makeVanilla() {
  height_ = 0;
  dropExtras();
  setNeedCalculate(true);
}

int64_t CARow::matchStringForward(const CADocument* document, const QString& find, int64_t fromX, int64_t stopAt, int32_t scope,
                                  bool ignoreCase, bool wholeWords) const {
  for (size_t i = lowerBound(fromX); i < cells_.size(); ++i) {
    const int64_t x = cells_[i].x();
    if (stopAt >= 0 && x >= stopAt) break;
    if (CACellReading(cells_[i], gridY_, document)->matchesFindString(find, scope, ignoreCase, wholeWords)) return x;
  }
  return -1;
}

int64_t CARow::matchStringBackward(const CADocument* document, const QString& find, int64_t fromX, int64_t stopAt, int32_t scope,
                                   bool ignoreCase, bool wholeWords) const {
  if (fromX < 0) return -1;
  // The first cell beyond fromX; the walk starts left of it.
  size_t i = fromX == INT64_MAX ? cells_.size() : lowerBound(fromX + 1);
  while (i-- > 0) {
    const int64_t x = cells_[i].x();
    if (stopAt >= 0 && x <= stopAt) break;
    if (CACellReading(cells_[i], gridY_, document)->matchesFindString(find, scope, ignoreCase, wholeWords)) return x;
  }
  return -1;
}
