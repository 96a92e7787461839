// A row of the sheet: its cells in ascending column order, its format and height, and its XML
// element "row". Only rows that carry something exist.
#pragma once

#include "calculator/model/CAFormat.h"

#include <QString>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <vector>

class CACell;
class CADocument;
class FLXmlDecoder;
class FLXmlEncoder;
struct FLError;

// The cells of a row: a vector that keeps a single cell in place, with no block of its own. A
// sheet of long columns has a row for nearly every cell, and most such rows hold one; the block
// would cost more than the row. The single cell shares its word with the block's address, so the
// list is two words. Iterators are pointers; they and references are invalidated as a vector's
// are (a list that holds its cell in place hands out pointers into itself). What deletes a cell
// lives where the cell's class is known (CARow.cpp).
class CACellList {
 public:
  using value_type = std::unique_ptr<CACell>;
  using iterator = value_type*;
  using const_iterator = const value_type*;
  using size_type = size_t;
  using reference = value_type&;
  using const_reference = const value_type&;
  using reverse_iterator = std::reverse_iterator<iterator>;
  using const_reverse_iterator = std::reverse_iterator<const_iterator>;

  CACellList() noexcept;
  ~CACellList();
  CACellList(CACellList&& other) noexcept;
  CACellList& operator=(CACellList&& other) noexcept;
  CACellList(const CACellList&) = delete;
  CACellList& operator=(const CACellList&) = delete;

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  size_t capacity() const { return capacity_; }
  value_type* data() { return onHeap() ? heap_ : &single_; }
  const value_type* data() const { return onHeap() ? heap_ : &single_; }
  iterator begin() { return data(); }
  iterator end() { return data() + size_; }
  const_iterator begin() const { return data(); }
  const_iterator end() const { return data() + size_; }
  reverse_iterator rbegin() { return reverse_iterator(end()); }
  reverse_iterator rend() { return reverse_iterator(begin()); }
  const_reverse_iterator rbegin() const { return const_reverse_iterator(end()); }
  const_reverse_iterator rend() const { return const_reverse_iterator(begin()); }
  value_type& operator[](size_t i) { return data()[i]; }
  const value_type& operator[](size_t i) const { return data()[i]; }
  value_type& front() { return data()[0]; }
  const value_type& front() const { return data()[0]; }
  value_type& back() { return data()[size_ - 1]; }
  const value_type& back() const { return data()[size_ - 1]; }

  void reserve(size_t count);
  void push_back(value_type cell);
  iterator insert(const_iterator at, value_type cell);
  iterator erase(const_iterator at);
  iterator erase(const_iterator first, const_iterator last);
  void clear();
  // Erases the cells the predicate chooses, keeping the others in order.
  template <typename Predicate>
  void eraseIf(Predicate chosen) {
    iterator kept = begin();
    for (iterator it = begin(); it != end(); ++it)
      if (!chosen(*it)) std::swap(*kept++, *it);
    erase(kept, end());
  }

 private:
  // The room a full list of the size grows to.
  static size_t grownCapacity(size_t size);
  // A block holds at least two cells; with room for one, the cell is in place.
  bool onHeap() const { return capacity_ > 1; }
  // Frees the block, if there is one: the list is back to its one place.
  void release();

  union {
    value_type* heap_;    // while on the heap
    value_type single_;  // otherwise: the cell, or null
  };
  uint32_t size_ = 0;
  uint32_t capacity_ = 1;
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
  bool saveToXml(FLXmlEncoder& encoder, bool saveRowInfo, int64_t fromX, int64_t toX,
                 FLError* error = nullptr);
  bool saveToXml(FLXmlEncoder& encoder, FLError* error = nullptr);
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
  // The index of the first cell whose x is at least x.
  size_t lowerBound(int64_t x) const;
  // The cell at a plain x, or null.
  CACell* cellAt(int64_t x) const;

  // The x of the first cell at or right of fromX (the last at or left of it, backward) that
  // matches the find text, or -1; a stopAt that is not negative ends the walk without a match
  // at the first cell at or beyond it.
  int64_t matchStringForward(const QString& find, int64_t fromX, int64_t stopAt, int32_t scope,
                             bool ignoreCase, bool wholeWords) const;
  int64_t matchStringBackward(const QString& find, int64_t fromX, int64_t stopAt, int32_t scope,
                              bool ignoreCase, bool wholeWords) const;

  // Clears and removes the cells with x in [x1, x2]; all of them when x1 is negative.
  void deleteCellsFrom(int64_t x1, int64_t x2);
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
