// A column of the sheet: its width, in digits or EMU, its format and its XML element "col".
// Only columns that carry something exist.
#pragma once

#include "calculator/model/CAFormat.h"

#include <cstdint>
#include <memory>
#include <optional>

class FLXmlDecoder;
class FLXmlEncoder;

class CAColumn {
 public:
  explicit CAColumn(int64_t x) : gridX_(x) {}

  // Reads the "col" element the decoder stands on: its "x", then its children.
  static std::unique_ptr<CAColumn> withXml(FLXmlDecoder& decoder);
  void saveToXml(FLXmlEncoder& encoder) const;
  // Width through setWidth and a copy of the format.
  std::unique_ptr<CAColumn> copy() const;

  int64_t gridX() const { return gridX_; }
  void setGridX(int64_t x) { gridX_ = x; }
  // Width in digits; 0 the document's default; negative: `width` is explicit.
  int64_t digitCount() const { return digitCount_; }
  void setDigitCount(int64_t count) { digitCount_ = count; }
  int64_t width() const { return width_; }  // EMU
  // At least the narrowest width of the preferred units; 0 stays 0.
  void setWidth(int64_t width);
  CAFormat* format() { return format_.get(); }
  const CAFormat* format() const { return format_.get(); }
  void setFormat(std::optional<CAFormat> format) {
    format_ = format ? std::make_unique<CAFormat>(std::move(*format)) : nullptr;
  }

  void makeVanilla();

 private:
  int64_t gridX_;
  int64_t digitCount_ = 0;
  int64_t width_ = 0;
  // Held apart so that a long list of rows or columns stays compact for searching.
  std::unique_ptr<CAFormat> format_;
};

// The narrowest width a width setting keeps, by the preferred units.
int64_t MinimumColumnWidth();
