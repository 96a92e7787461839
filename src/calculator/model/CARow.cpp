#include "calculator/model/CARow.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/caXmlTags.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/FLXmlEncoder.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flCollectionExtensions.h"
#include "platform/FLError.h"

#include <algorithm>
#include <cmath>
#include <memory>

static_assert(sizeof(CACellList) == 16, "a cell list outgrows two words");
// A row fits the allocator's 48-byte blocks (8 bytes of them are malloc's own).
static_assert(sizeof(CARow) <= 40, "a row outgrows its allocation size");

CACellList::CACellList() noexcept : single_() {}

CACellList::~CACellList() {
  clear();
  release();
  std::destroy_at(&single_);
}

CACellList::CACellList(CACellList&& other) noexcept : single_() { *this = std::move(other); }

CACellList& CACellList::operator=(CACellList&& other) noexcept {
  if (this == &other) return *this;
  clear();
  release();
  if (other.onHeap()) {
    std::destroy_at(&single_);
    heap_ = other.heap_;
    capacity_ = other.capacity_;
    std::construct_at(&other.single_);
    other.capacity_ = 1;
  } else {
    single_ = std::move(other.single_);
  }
  size_ = other.size_;
  other.size_ = 0;
  return *this;
}

void CACellList::release() {
  if (!onHeap()) return;
  ::operator delete(static_cast<void*>(heap_));
  std::construct_at(&single_);
  capacity_ = 1;
}

void CACellList::reserve(size_t count) {
  if (count <= capacity_) return;
  FLAssert(count <= UINT32_MAX, "Too many cells in a row");
  auto* block = static_cast<value_type*>(::operator new(count * sizeof(value_type)));
  value_type* cells = data();
  for (size_t i = 0; i < size_; ++i) std::construct_at(block + i, std::move(cells[i]));
  if (onHeap()) {
    std::destroy(cells, cells + size_);
    ::operator delete(static_cast<void*>(cells));
  } else {
    std::destroy_at(&single_);
  }
  heap_ = block;
  capacity_ = uint32_t(count);
}

size_t CACellList::grownCapacity(size_t size) {
  // Half as much again, and odd: malloc's blocks are 16-byte steps less its own 8 bytes, which
  // an odd count of pointers fills. Ten cells take 11 places (one 96-byte block), not 16.
  return std::max<size_t>(3, size + size / 2) | 1;
}

void CACellList::push_back(value_type cell) {
  if (size_ == capacity_) reserve(grownCapacity(size_));
  if (onHeap())
    std::construct_at(heap_ + size_, std::move(cell));
  else
    single_ = std::move(cell);
  ++size_;
}

CACellList::iterator CACellList::insert(const_iterator at, value_type cell) {
  const size_t index = size_t(at - begin());
  push_back(std::move(cell));
  std::rotate(begin() + index, end() - 1, end());
  return begin() + index;
}

CACellList::iterator CACellList::erase(const_iterator at) { return erase(at, at + 1); }

CACellList::iterator CACellList::erase(const_iterator first, const_iterator last) {
  const size_t from = size_t(first - begin());
  const size_t count = size_t(last - first);
  if (count == 0) return begin() + from;
  // The erased cells go first, then the later ones close the gap.
  for (size_t i = from; i < from + count; ++i) data()[i].reset();
  std::move(begin() + from + count, end(), begin() + from);
  const size_t kept = size_ - count;
  if (onHeap())
    std::destroy(heap_ + kept, heap_ + size_);
  else
    single_.reset();
  size_ = uint32_t(kept);
  return begin() + from;
}

void CACellList::clear() {
  for (size_t i = 0; i < size_; ++i) data()[i].reset();
  if (onHeap()) std::destroy(heap_, heap_ + size_);
  size_ = 0;
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
          // A row of the document keeps the reference table right as its cells change; a row
          // still being read leaves that to whoever places it.
          const bool placed = document && document->row(gridY_) == this;
          if (placed) dropReferencesOfCells(*document);
          cells_.clear();
          if (decoder.endTag()) break;
          const int64_t cellsLevel = decoder.level();
          while (decoder.getNextTag()) {
            if (decoder.level() < cellsLevel) break;
            if (XmlTagOf(decoder) != kXmlCell) {
              // The first other tag ends the list.
              if (decoder.startTag() && !decoder.endTag()) decoder.skipTag();
              break;
            }
            std::unique_ptr<CACell> cell = CACell::withXml(decoder, document);
            // The file decides the row; a cell claiming another row is moved into this one, and
            // a cell beyond the last column is dropped.
            GridPoint point = cell->gridPoint();
            point.y = gridY_;
            if (!IsOnGrid(point)) continue;
            cell->setGridPoint(point);
            cells_.push_back(std::move(cell));
          }
          // Sorted once, whatever order the file had; of two cells at one point the later wins.
          SortByKeyKeepingLast(cells_, [](const CACell& cell) { return cell.gridPoint().x; });
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

bool CARow::saveToXml(FLXmlEncoder& encoder, bool saveRowInfo, int64_t fromX, int64_t toX,
                      FLError* error) {
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
    const CACell& cell = *cells_[i];
    if (fromX >= 0 && cell.gridPoint().x > toX) break;
    if (!cell.holdsContent()) continue;
    if (!opened) {
      encoder.openTag(XmlName(kXmlCells));
      opened = true;
    }
    if (!cell.saveToXml(encoder, error)) {
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

bool CARow::saveToXml(FLXmlEncoder& encoder, FLError* error) {
  return saveToXml(encoder, true, -1, -1, error);
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
  for (const std::unique_ptr<CACell>& cell : cells_) {
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
                                   [](const std::unique_ptr<CACell>& cell, int64_t key) {
                                     return cell->gridPoint().x < key;
                                   });
  return size_t(it - cells_.begin());
}

CACell* CARow::cellAt(int64_t x) const {
  const size_t at = lowerBound(x);
  if (at < cells_.size() && cells_[at]->gridPoint().x == x) return cells_[at].get();
  return nullptr;
}

void CARow::deleteCellsFrom(int64_t x1, int64_t x2) {
  for (size_t i = cells_.size(); i-- > 0;) {
    CACell& cell = *cells_[i];
    const int64_t x = cell.gridPoint().x;
    if (x1 >= 0 && x < x1) break;
    if (x1 >= 0 && x > x2) continue;
    cell.clearValue();
    cells_.erase(cells_.begin() + qsizetype(i));
  }
}

void CARow::addReferencesOfCells(CADocument& document) const {
  for (const std::unique_ptr<CACell>& cell : cells_) document.addReferencesOf(*cell);
}

void CARow::dropReferencesOfCells(CADocument& document) const {
  for (const std::unique_ptr<CACell>& cell : cells_) document.dropReferencesOf(*cell);
}

void CARow::makeVanilla() {
  height_ = 0;
  dropExtras();
  setNeedCalculate(true);
}

int64_t CARow::matchStringForward(const QString& find, int64_t fromX, int64_t stopAt, int32_t scope,
                                  bool ignoreCase, bool wholeWords) const {
  for (size_t i = lowerBound(fromX); i < cells_.size(); ++i) {
    const CACell& cell = *cells_[i];
    const int64_t x = cell.gridPoint().x;
    if (stopAt >= 0 && x >= stopAt) break;
    if (cell.matchesFindString(find, scope, ignoreCase, wholeWords)) return x;
  }
  return -1;
}

int64_t CARow::matchStringBackward(const QString& find, int64_t fromX, int64_t stopAt, int32_t scope,
                                   bool ignoreCase, bool wholeWords) const {
  if (fromX < 0) return -1;
  // The first cell beyond fromX; the walk starts left of it.
  size_t i = fromX == INT64_MAX ? cells_.size() : lowerBound(fromX + 1);
  while (i-- > 0) {
    const CACell& cell = *cells_[i];
    const int64_t x = cell.gridPoint().x;
    if (stopAt >= 0 && x <= stopAt) break;
    if (cell.matchesFindString(find, scope, ignoreCase, wholeWords)) return x;
  }
  return -1;
}
