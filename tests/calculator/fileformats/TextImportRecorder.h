// A receiver of imported cells that records them, for the text and DIF reader tests.
#pragma once

#include "calculator/model/TextImportDelegate.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <map>
#include <utility>

class TextImportRecorder : public TextImportDelegate {
 public:
  struct Cell { QVariant value; int32_t type = 0; };

  void setCellAtPoint(const GridPoint& point, const QVariant& value, int32_t valueType) override {
    cells[{point.y, point.x}] = Cell{value, valueType};
  }

  bool has(int64_t x, int64_t y) const { return cells.count({y, x}) != 0; }
  // The text entered at the point; empty when nothing was.
  QString text(int64_t x, int64_t y) const {
    const auto it = cells.find({y, x});
    return it == cells.end() ? QString() : it->second.value.toString();
  }
  // "x,y=text" for every cell in reading order, joined by "|".
  QString summary() const {
    QStringList parts;
    for (const auto& [point, cell] : cells)
      parts.append(QStringLiteral("%1,%2=%3").arg(point.second).arg(point.first).arg(cell.value.toString()));
    return parts.join(QLatin1Char('|'));
  }

  // Keyed by (y, x), so that iteration goes row by row.
  std::map<std::pair<int64_t, int64_t>, Cell> cells;
};
