// A small sheet for formula and recalculation tests: cells are named in A1 form and entered as
// typed; recalculation is the document's own.
#pragma once

#include <gtest/gtest.h>

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAGridPoint.h"
#include "framlet/foundation/FLKernel.h"
#include "ModelTestSupport.h"

#include <QCalendar>
#include <QString>

inline void PrintTo(const GridPoint& point, std::ostream* os) { *os << FormatGridPoint(point).toStdString(); }

inline GridPoint A1(const char* text) {
  const QString reference = QString::fromLatin1(text);
  GridPoint point;
  EXPECT_TRUE(ParseGridPoint(reference, 0, reference.size(), &point)) << text;
  return point;
}
inline GridRange Range(const char* from, const char* to) { return GridRange{A1(from), A1(to)}; }
inline GridRange Columns(int64_t first, int64_t last) { return {{first, kGridWildcard}, {last, kGridWildcard}}; }
inline GridRange Rows(int64_t first, int64_t last) { return {{kGridWildcard, first}, {kGridWildcard, last}}; }

class SheetTest : public testing::Test {
 protected:
  // Dates (TODAY) need the calendar the kernel sets at launch.
  SheetTest() : savedCalendar_(g_calendar) {
    g_calendar = &calendar_;
    document.setController(&window);
  }
  ~SheetTest() override {
    document.setController(nullptr);
    g_calendar = savedCalendar_;
  }

  CACell& enter(const char* at, const QString& text) {
    CACell& cell = *document.cellAtGridPointImperative(A1(at));
    cell.setFormula(text);
    return cell;
  }
  CACell& enter(const char* at, const char* text) { return enter(at, QString::fromUtf8(text)); }
  void recalc() { document.evaluate(); }
  CACell* cell(const char* at) const { return document.cellAtGridPoint(A1(at)); }
  // The value's text, or the error text, as the cell shows it without a number format.
  QString shown(const char* at) const {
    const CACell* c = cell(at);
    if (!c) return QStringLiteral("<no cell>");
    if (c->valueType() == kValueError) return QStringLiteral("error %1").arg(c->evalResult());
    return c->number() ? c->number()->description() : QStringLiteral("<no number>");
  }

  const QCalendar* savedCalendar_;
  QCalendar calendar_{QCalendar::System::Gregorian};
  ModelEnvironment environment;
  FakeWindow window;
  CADocument document;
};
