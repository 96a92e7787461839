// The border of a cell format: a line style, colour and width, its XML element "border", and
// the stroking of a cell's edges with it.
#pragma once

#include "framlet/foundation/Kolor.h"
#include "framlet/shell/flMeasures.h"

#include <QPen>

#include <cstdint>
#include <vector>

class FLXmlDecoder;
class FLXmlEncoder;
class QPainter;
class QPainterPath;

enum : int32_t {
  kBorderNone = 0,
  kBorderSolid = 1,
  kBorderDot = 2,
  kBorderDash = 3,
};

class CABorder {
 public:
  // Solid, opaque black, one point wide.
  CABorder() = default;

  // Reads the "border" element the decoder stands on, through its end; values are stored as
  // read, without the setters' adjustments.
  static CABorder withXml(FLXmlDecoder& decoder);
  void saveToXml(FLXmlEncoder& encoder) const;

  // The copy the system makes: colour, style and width through the setters, so a border that
  // was read in an odd state comes out consistent.
  CABorder copy() const;

  int32_t style() const { return style_; }
  Kolor kolor() const { return kolor_; }
  int64_t width() const { return width_; }  // EMU

  // A colour turns no style into solid and no width into one point; no colour means no style.
  void setColor(Kolor kolor);
  // A style turns no colour into black and no width into one point.
  void setStyle(int32_t style);
  // A width turns no style into solid and no colour into black; width 0 means no style.
  void setWidth(int64_t width);
  void setKolor(Kolor kolor) { kolor_ = kolor; }

  // Style, width and colour; NO for nullptr.
  bool isEqualTo(const CABorder* other) const;

  // Line width in points, and the dash pattern in points (empty for a plain line): dots (1, 2)
  // and dashes (5, 2), scaled by the line width when it exceeds one point.
  qreal lineWidth() const { return qreal(width_) / kEmuPerPoint; }
  std::vector<qreal> dashPattern() const;
  QPen pen(qreal phase) const;
  void drawWithBezier(QPainter& painter, const QPainterPath& path, qreal phase) const;

 private:
  int32_t style_ = kBorderSolid;
  Kolor kolor_ = g_blackKolor;
  int64_t width_ = kEmuPerPoint;
};
