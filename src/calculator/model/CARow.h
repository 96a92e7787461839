// A row of the sheet: its cells in ascending column order, its format and height, and its XML
// element "row". Only rows that carry something exist.
#pragma once

#include "calculator/model/CACell.h"
#include "calculator/model/CAFormat.h"

#include <QString>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class CADocument;
class FLXmlDecoder;
class FLXmlEncoder;
struct FLError;

// One place of a row: a cell, or a number kept plainly, as its column and its value with no cell
// object. Most cells of a large sheet hold a number and nothing else (no format, note or formula);
// kept plainly such a cell takes 16 bytes instead of a 96-byte cell and its pointer. A plain
// entry becomes a cell (CARow::cellAt, CADocument::cellAtGridPoint) when something is to change
// it or keep its address; reading it needs no cell (CACellReading).
class CACellEntry {
 public:
  CACellEntry() noexcept = default;
  // Takes the cell (implicitly: rows are filled with cells). Its column is noted in the entry:
  // a cell in a row moves to another column only through its entry (setX).
  CACellEntry(std::unique_ptr<CACell> cell) noexcept
      : word_(reinterpret_cast<uintptr_t>(cell.get())), tag_(cell ? uint64_t(cell->gridPoint().x) << kXShift : 0) {
    (void)cell.release();
  }
  CACellEntry(CACellEntry&& other) noexcept
      : word_(std::exchange(other.word_, 0)), tag_(std::exchange(other.tag_, 0)) {}
  CACellEntry& operator=(CACellEntry&& other) noexcept {
    if (this != &other) {
      reset();
      word_ = std::exchange(other.word_, 0);
      tag_ = std::exchange(other.tag_, 0);
    }
    return *this;
  }
  CACellEntry(const CACellEntry&) = delete;
  CACellEntry& operator=(const CACellEntry&) = delete;
  ~CACellEntry() { reset(); }

  // The number at x kept plainly, when the number has a plain form (whole numbers, fractions of
  // 32-bit terms and reals, exactly as they are); nothing otherwise.
  static std::optional<CACellEntry> plainNumber(int64_t x, const CANumber& number);
  // The same for a cell that holds a number and nothing else, at its column; nothing for others.
  static std::optional<CACellEntry> plainNumber(const CACell& cell);

  // A copy of a plain number's entry; an empty entry for a cell's.
  CACellEntry plainCopy() const {
    CACellEntry copy;
    if (isPlain()) {
      copy.word_ = word_;
      copy.tag_ = tag_;
    }
    return copy;
  }

  // Null for an empty entry and for a plain number.
  CACell* cell() const { return kind() == kCell ? reinterpret_cast<CACell*>(word_) : nullptr; }
  bool isPlain() const { return kind() != kCell; }
  bool empty() const { return word_ == 0 && kind() == kCell; }
  // Read without the cell: a row's searches touch nothing but its entries.
  int64_t x() const { return int64_t(tag_ >> kXShift); }
  // Moves the entry to another column: the cell's point, or the plain number's column.
  void setX(int64_t x);
  // A plain entry's number.
  CANumber number() const;
  // What the entry's cell or plain number holds, without a cell: its value type and number.
  int32_t valueType() const { return isPlain() ? int32_t(kValueNumber) : cell()->valueType(); }
  bool isFormula() const { return !isPlain() && cell()->isFormula(); }
  bool holdsContent() const { return isPlain() || cell()->holdsContent(); }
  bool hasValue() const { return isPlain() || cell()->hasValue(); }

  // Deletes the cell, if any: the entry is empty.
  void reset();
  // The cell, taken out; a plain number's cell is made first (at row y of the document).
  std::unique_ptr<CACell> release(int64_t y, CADocument* document);

 private:
  friend class CACellList;
  // The kind is in the tag's low bits, the column in its high bits, and a plain real's sign and
  // exponent between them (its significand is the word).
  enum : uint64_t { kCell = 0, kInteger = 1, kFraction = 2, kReal = 3, kListOnHeap = 7 };
  static constexpr unsigned kKindBits = 3;
  static constexpr uint64_t kKindMask = (uint64_t(1) << kKindBits) - 1;
  static constexpr unsigned kExponentShift = kKindBits;
  static constexpr unsigned kXShift = kExponentShift + 16;
  uint64_t kind() const { return tag_ & kKindMask; }

  uintptr_t word_ = 0;  // the cell, or the number's bits
  uint64_t tag_ = 0;
};

// The entries of a row: a vector that keeps a single entry in place, with no block of its own. A
// sheet of long columns has a row for nearly every cell, and most such rows hold one; the block
// would cost more than the row. While the entries are in a block, the place holds the block's
// address, size and room instead (marked as a kind no entry has), so the list is two words.
// Iterators are pointers; they and references are invalidated as a vector's are.
class CACellList {
 public:
  using value_type = CACellEntry;
  using iterator = value_type*;
  using const_iterator = const value_type*;
  using size_type = size_t;
  using reference = value_type&;
  using const_reference = const value_type&;
  using reverse_iterator = std::reverse_iterator<iterator>;
  using const_reverse_iterator = std::reverse_iterator<const_iterator>;

  CACellList() noexcept = default;
  ~CACellList();
  CACellList(CACellList&& other) noexcept;
  CACellList& operator=(CACellList&& other) noexcept;
  CACellList(const CACellList&) = delete;
  CACellList& operator=(const CACellList&) = delete;

  size_t size() const { return onHeap() ? size_t(place_.tag_ >> kSizeShift) : (place_.empty() ? 0 : 1); }
  bool empty() const { return size() == 0; }
  size_t capacity() const { return onHeap() ? size_t((place_.tag_ >> kCapacityShift) & kCountMask) : 1; }
  value_type* data() { return onHeap() ? heap() : &place_; }
  const value_type* data() const { return onHeap() ? heap() : &place_; }
  iterator begin() { return data(); }
  iterator end() { return data() + size(); }
  const_iterator begin() const { return data(); }
  const_iterator end() const { return data() + size(); }
  reverse_iterator rbegin() { return reverse_iterator(end()); }
  reverse_iterator rend() { return reverse_iterator(begin()); }
  const_reverse_iterator rbegin() const { return const_reverse_iterator(end()); }
  const_reverse_iterator rend() const { return const_reverse_iterator(begin()); }
  value_type& operator[](size_t i) { return data()[i]; }
  const value_type& operator[](size_t i) const { return data()[i]; }
  value_type& front() { return data()[0]; }
  const value_type& front() const { return data()[0]; }
  value_type& back() { return data()[size() - 1]; }
  const value_type& back() const { return data()[size() - 1]; }

  void reserve(size_t count);
  void push_back(value_type entry);
  iterator insert(const_iterator at, value_type entry);
  iterator erase(const_iterator at);
  iterator erase(const_iterator first, const_iterator last);
  void clear();
  // Replaces the entries with those given, in a block of exactly their number.
  void assign(std::vector<value_type>& entries);
  // Erases the entries the predicate chooses, keeping the others in order.
  template <typename Predicate>
  void eraseIf(Predicate chosen) {
    iterator kept = begin();
    for (iterator it = begin(); it != end(); ++it)
      if (!chosen(*it)) std::swap(*kept++, *it);
    erase(kept, end());
  }

 private:
  static constexpr unsigned kCapacityShift = CACellEntry::kKindBits;
  static constexpr unsigned kSizeShift = 34;
  static constexpr uint64_t kCountMask = (uint64_t(1) << 30) - 1;
  // The room a full list of the size grows to.
  static size_t grownCapacity(size_t size);
  bool onHeap() const { return place_.kind() == CACellEntry::kListOnHeap; }
  value_type* heap() const { return reinterpret_cast<value_type*>(place_.word_); }
  void setHeap(value_type* block, size_t size, size_t capacity) {
    place_.word_ = reinterpret_cast<uintptr_t>(block);
    place_.tag_ = CACellEntry::kListOnHeap | (uint64_t(capacity) << kCapacityShift) | (uint64_t(size) << kSizeShift);
  }
  void setSize(size_t size) {
    place_.tag_ = (place_.tag_ & ~(kCountMask << kSizeShift)) | (uint64_t(size) << kSizeShift);
  }
  // Frees the block, if there is one: the list is back to its one empty place.
  void release();

  value_type place_;  // the single entry, or the block's header
};

// A cell of a row to read: the entry's own cell, or, for a plain number, a cell made for the
// reading and gone with it. Whatever keeps a cell's address or changes it asks the row instead.
class CACellReading {
 public:
  CACellReading(const CACellEntry& entry, int64_t y, const CADocument* document);
  CACellReading(const CACellReading&) = delete;
  CACellReading& operator=(const CACellReading&) = delete;
  const CACell& operator*() const { return *cell_; }
  const CACell* operator->() const { return cell_; }
  const CACell* get() const { return cell_; }

 private:
  const CACell* cell_;
  std::optional<CACell> made_;
};

class CARow {
 public:
  using CellList = CACellList;

  explicit CARow(int64_t y);
  ~CARow();
  CARow(const CARow&) = delete;
  CARow& operator=(const CARow&) = delete;

  // Reads the "row" element the decoder stands on: its "y", then its children.
  static std::unique_ptr<CARow> withXml(FLXmlDecoder& decoder, CADocument* document);
  // Reads the children of the current "row" element into this row ("cells" replaces the
  // cells); afterwards the height must be computed again.
  void loadFromXml(FLXmlDecoder& decoder, CADocument* document);
  // Writes "row" with "dy", "minhigh" and the format when saveRowInfo, then the cells with x in
  // [fromX, toX] (all when fromX is negative); a cell of type 0 without a format is left out.
  // YES when a cell was written. A cell whose texts cannot be enciphered fails the save: the
  // error is filled and writing stops.
  bool saveToXml(FLXmlEncoder& encoder, const CADocument* document, bool saveRowInfo, int64_t fromX,
                 int64_t toX, FLError* error = nullptr);
  bool saveToXml(FLXmlEncoder& encoder, const CADocument* document, FLError* error = nullptr);
  // "row" with "y", "dy" and "minhigh" only.
  void saveHeightToXml(FLXmlEncoder& encoder);

  int64_t gridY() const { return gridY_; }
  void setGridY(int64_t y) { gridY_ = y; }
  // Points; recomputed first when needed: the minimum height, raised to each picture cell's
  // height and to each checkbox (13 points small, else 18).
  double height();
  void setHeight(double height) { height_ = height; }
  int64_t minimumHeight() const { return extras() ? extras()->minimumHeight : 0; }  // EMU, 0 = none
  void setMinimumHeight(int64_t height) {
    if (extras() || height != 0) mutableExtras().minimumHeight = height;
    dropEmptyExtras();
  }
  bool needCalculate() const { return (extrasAndFlag_ & kNeedCalculate) != 0; }
  void setNeedCalculate(bool on) {
    extrasAndFlag_ = on ? extrasAndFlag_ | kNeedCalculate : extrasAndFlag_ & ~kNeedCalculate;
  }
  CAFormat* format() { return extras() ? extras()->format.get() : nullptr; }
  const CAFormat* format() const { return extras() ? extras()->format.get() : nullptr; }
  void setFormat(std::optional<CAFormat> format) {
    if (format)
      mutableExtras().format = std::make_unique<CAFormat>(std::move(*format));
    else if (extras())
      extras()->format.reset();
    dropEmptyExtras();
  }

  // Strictly ascending by x.
  const CellList& cells() const { return cells_; }
  CellList& mutableCells() { return cells_; }
  // The index of the first entry whose x is at least x.
  size_t lowerBound(int64_t x) const;
  // The entry at a plain x, or null.
  const CACellEntry* entryAt(int64_t x) const;
  // The cell at a plain x, or null; a plain number there becomes a cell of the document.
  CACell* cellAt(int64_t x, CADocument* document);
  // The cell of the entry at the index, which a plain number becomes first.
  CACell& cellAtIndex(size_t index, CADocument* document);
  // The cell at a plain x, when it holds a number and nothing else, becomes a plain entry. Only
  // while nothing keeps the cell's address.
  void compactCellAt(int64_t x);

  // The x of the first cell at or right of fromX (the last at or left of it, backward) that
  // matches the find text, or -1; a stopAt that is not negative ends the walk without a match
  // at the first cell at or beyond it.
  int64_t matchStringForward(const CADocument* document, const QString& find, int64_t fromX, int64_t stopAt, int32_t scope,
                             bool ignoreCase, bool wholeWords) const;
  int64_t matchStringBackward(const CADocument* document, const QString& find, int64_t fromX, int64_t stopAt, int32_t scope,
                              bool ignoreCase, bool wholeWords) const;

  // Clears and removes the cells with x in [x1, x2]; all of them when x1 is negative.
  void deleteCellsFrom(int64_t x1, int64_t x2, CADocument* document);
  // No height, minimum or format.
  void makeVanilla();
  // Registers (or removes) the references of the row's formulas with the document's table.
  void addReferencesOfCells(CADocument& document) const;
  void dropReferencesOfCells(CADocument& document) const;

 private:
  // What few rows have, kept apart so that a row stays small: a sheet of long columns has a
  // row for nearly every cell.
  struct Extras {
    int64_t minimumHeight = 0;
    std::unique_ptr<CAFormat> format;
  };
  // The extras' address shares its word with the flag: a row is then five words, which
  // malloc's 48-byte blocks hold.
  static constexpr uintptr_t kNeedCalculate = 1;
  static_assert(alignof(Extras) > kNeedCalculate, "the extras' address leaves the flag's bit free");
  Extras* extras() const { return reinterpret_cast<Extras*>(extrasAndFlag_ & ~kNeedCalculate); }
  Extras& mutableExtras();
  // Deletes the extras, keeping the flag.
  void dropExtras();
  void dropEmptyExtras() {
    if (extras() && extras()->minimumHeight == 0 && !extras()->format) dropExtras();
  }

  int64_t gridY_;
  double height_ = 0;
  uintptr_t extrasAndFlag_ = kNeedCalculate;  // Extras*, owned, with kNeedCalculate
  CellList cells_;
};

// Checkbox heights in points.
inline constexpr double kCheckboxHeight = 18.0;
inline constexpr double kSmallCheckboxHeight = 13.0;
