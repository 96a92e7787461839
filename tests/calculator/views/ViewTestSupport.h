// Sheets with exact sizes for the view tests: no cell padding, a default row height and column
// width set in points, and single rows and columns resized, so that every edge can be worked
// out by hand.
#pragma once

#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAGridPoint.h"
#include "calculator/model/CARow.h"
#include "calculator/model/ModelTestSupport.h"
#include "framlet/foundation/FLKernel.h"

#include <QColor>
#include <QImage>
#include <QString>

#include <ostream>

inline void PrintTo(const GridPoint& point, std::ostream* os) { *os << '(' << point.x << ", " << point.y << ')'; }

inline constexpr int64_t kEmu = 12700;
inline constexpr double kRowHeight = 20;
inline constexpr double kColumnWidth = 60;

class SizedSheet {
 public:
  SizedSheet() {
    FLKernel::sharedInstance();
    document.setController(&window);
    document.setCellPadding(GridPoint{0, 0});
    document.setMinimumHeight(int64_t(kRowHeight) * kEmu);
    document.setDefaultWidth(int64_t(kColumnWidth) * kEmu);
  }
  ~SizedSheet() { document.setController(nullptr); }
  SizedSheet(const SizedSheet&) = delete;
  SizedSheet& operator=(const SizedSheet&) = delete;

  void setRowHeight(int64_t y, double points) {
    CARow* row = document.rowImperative(y);
    row->setMinimumHeight(int64_t(points * kEmu));
    row->setNeedCalculate(true);
  }
  void setColumnWidth(int64_t x, double points) {
    CAColumn* column = document.columnImperative(x);
    column->setDigitCount(-1);
    column->setWidth(int64_t(points * kEmu));
  }

  ModelEnvironment environment;
  FakeWindow window;
  CADocument document;
};

inline QString ColorText(const QColor& color) {
  return QStringLiteral("(%1, %2, %3)").arg(color.red()).arg(color.green()).arg(color.blue());
}
