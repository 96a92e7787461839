// A row of the sheet: its cells in ascending column order, its format and height, and its XML
// element "row". Only rows that carry something exist.
#pragma once

#include "calculator/model/CAFormat.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class CACell;
class CADocument;
class FLXmlDecoder;
class FLXmlEncoder;
struct FLError;

class CARow {
 public:
  using CellList = std::vector<std::unique_ptr<CACell>>;

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
  int64_t minimumHeight() const { return minimumHeight_; }  // EMU, 0 = none
  void setMinimumHeight(int64_t height) { minimumHeight_ = height; }
  bool needCalculate() const { return needCalculate_; }
  void setNeedCalculate(bool on) { needCalculate_ = on; }
  CAFormat* format() { return format_.get(); }
  const CAFormat* format() const { return format_.get(); }
  void setFormat(std::optional<CAFormat> format) {
    format_ = format ? std::make_unique<CAFormat>(std::move(*format)) : nullptr;
  }

  // Strictly ascending by x.
  const CellList& cells() const { return cells_; }
  CellList& mutableCells() { return cells_; }
  // The index of the first cell whose x is at least x.
  size_t lowerBound(int64_t x) const;
  // The cell at a plain x, or null.
  CACell* cellAt(int64_t x) const;

  // Clears and removes the cells with x in [x1, x2]; all of them when x1 is negative.
  void deleteCellsFrom(int64_t x1, int64_t x2);
  // No height, minimum or format.
  void makeVanilla();
  // Registers (or removes) the references of the row's formulas with the document's table.
  void addReferencesOfCells(CADocument& document) const;
  void dropReferencesOfCells(CADocument& document) const;

 private:
  int64_t gridY_;
  double height_ = 0;
  int64_t minimumHeight_ = 0;
  // Held apart so that a long list of rows or columns stays compact for searching.
  std::unique_ptr<CAFormat> format_;
  CellList cells_;
  bool needCalculate_ = true;
};

// Checkbox heights in points.
inline constexpr double kCheckboxHeight = 18.0;
inline constexpr double kSmallCheckboxHeight = 13.0;
