// Offscreen drawing passes into images: grid lines where the widths say, strips of
// equal row borders, overflowing text drawn once (also with its cell scrolled off), the active
// cell's frame with and without focus, a picture at half its size, and a locked document.
#include "calculator/model/CABorder.h"
#include "calculator/model/CAPicture.h"
#include "calculator/views/CACellView.h"
#include "calculator/views/CAGridGeometry.h"
#include "calculator/views/CAGridPainter.h"
#include "calculator/views/CAScrollView.h"
#include "framlet/foundation/FLImage.h"
#include "support/TestData.h"
#include "ViewTestSupport.h"

#include <QApplication>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

bool IsDark(const QColor& color) { return qGray(color.rgb()) < 64; }

class GridPainterTest : public testing::Test, protected SizedSheet {
 protected:
  GridPainterTest() {
    setColumnWidth(1, 90);
    setRowHeight(1, 30);
    // Keep the active cell and the selection out of the way unless a test wants them.
    document.setSelectionRange(GridRange{{50, 50}, {50, 50}});
  }

  QImage render(const QSize& size, const GridPoint& origin = {0, 0}, double zoom = 1.0) {
    document.setZoomValue(zoom);
    geometry.setOrigin(origin);
    geometry.setVisibleSize(QSizeF(size) / zoom);
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.scale(zoom, zoom);
    CAGridPainter pass(painter, geometry, document, options);
    pass.paint(QRectF(QPointF(0, 0), QSizeF(size) / zoom));
    longCells = pass.longCells();
    return image;
  }

  CAGridGeometry geometry{&document};
  CAGridPaintOptions options;
  std::vector<GridPoint> longCells;
};

TEST_F(GridPainterTest, GridLinesLieWhereTheWidthsAndHeightsSay) {
  const QImage image = render(QSize(400, 200));
  const QColor grid = GridLineColor();
  // Column edges at 60, 150, 210 and row edges at 20, 50, 70: the line is the last pixel.
  for (int x : {59, 149, 209, 269}) {
    EXPECT_EQ(image.pixelColor(x, 110), grid) << x;
    EXPECT_EQ(image.pixelColor(x - 1, 110), QColor(Qt::white)) << x;
    EXPECT_EQ(image.pixelColor(x + 1, 110), QColor(Qt::white)) << x;
  }
  for (int y : {19, 49, 69, 89}) {
    EXPECT_EQ(image.pixelColor(30, y), grid) << y;
    EXPECT_EQ(image.pixelColor(30, y - 1), QColor(Qt::white)) << y;
    EXPECT_EQ(image.pixelColor(30, y + 1), QColor(Qt::white)) << y;
  }
}

TEST_F(GridPainterTest, TheTitleRowIsDrawnAboveTheScrolledRows) {
  document.setTitleRow(true);
  document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("Title"));
  const QImage image = render(QSize(200, 100), {0, 10});
  // Row 0 (20 high) and then row 10: lines at 19 and 39, text in row 0.
  EXPECT_EQ(image.pixelColor(100, 19), GridLineColor());
  EXPECT_EQ(image.pixelColor(100, 39), GridLineColor());
  bool text = false;
  for (int y = 0; y < 19; ++y)
    for (int x = 0; x < 59; ++x) text = text || IsDark(image.pixelColor(x, y));
  EXPECT_TRUE(text);
}

TEST(GridPainterEdges, TheEdgeClassOfAStripComesFromItsNeighbours) {
  CABorder thin;
  CABorder thick;
  thick.setWidth(3 * kEmu);
  CAFormat plain, a, b;
  a.setBorder(&thin);
  b.setBorder(&thick);
  const struct { const CAFormat *previous, *current, *next; int32_t expected; } cases[] = {
      {nullptr, nullptr, nullptr, kEdgeNone}, {&a, &plain, &a, kEdgeNone}, {&a, &a, &a, kEdgeInside},
      {&a, &a, &b, kEdgeLast},                {&b, &a, &a, kEdgeFirst},    {nullptr, &a, nullptr, kEdgeSingle},
      {&b, &a, &plain, kEdgeSingle},
  };
  for (const auto& c : cases) EXPECT_EQ(CAGridPainter::edgeClass(c.previous, c.current, c.next), c.expected);
}

TEST_F(GridPainterTest, ThreeRowsWithEqualBordersDrawTheStripsEdgesOnce) {
  CABorder border;
  border.setWidth(2 * kEmu);
  for (int64_t y : {2, 3, 4, 7}) document.formatForDomainImperative(kDomainRow, {0, y})->setBorder(&border);
  const QImage image = render(QSize(200, 200));
  // Rows 2-4 span 50-110 and row 7 spans 150-170; each 2-point line lies inside its row, the
  // bottom one above the row's grid line.
  std::set<int> dark;
  for (int y = 0; y < 200; ++y)
    if (IsDark(image.pixelColor(30, y))) dark.insert(y);
  EXPECT_EQ(dark, (std::set<int>{50, 51, 107, 108, 150, 151, 167, 168}));
}

TEST_F(GridPainterTest, OverflowingTextIsDrawnOnceAlsoFromOffTheLeft) {
  CACell& cell = *document.cellAtGridPointImperative({1, 1});
  cell.setFormula(QStringLiteral("Overflowing text runs on through its empty neighbours"));
  document.evaluate();  // lays out the overflow
  ASSERT_EQ(cell.valueType(), kValueText);
  ASSERT_GE(cell.extraColumns(), 2u);
  const int covered = int(cell.extraColumns());

  const QImage whole = render(QSize(600, 100));
  EXPECT_EQ(longCells, (std::vector<GridPoint>{{1, 1}}));
  const QImage scrolled = render(QSize(600, 100), {2, 0});
  EXPECT_EQ(longCells, (std::vector<GridPoint>{{1, 1}}));

  // Row 1 (20-50) of the covered columns: the same pixels whether the text starts in sight or
  // 60 points off the left edge, with text in them and no grid line between them.
  const int width = covered * 60 - 1;
  int darkPixels = 0;
  for (int y = 20; y < 49; ++y) {
    for (int x = 0; x < width; ++x) {
      ASSERT_EQ(whole.pixelColor(150 + x, y), scrolled.pixelColor(x, y)) << x << "," << y;
      if (IsDark(scrolled.pixelColor(x, y))) ++darkPixels;
    }
  }
  EXPECT_GT(darkPixels, 20);
  EXPECT_EQ(whole.pixelColor(209, 47), QColor(Qt::white));  // the erased line between C and D
  EXPECT_EQ(whole.pixelColor(209, 80), GridLineColor());    // the line in the next row
}

TEST_F(GridPainterTest, TheActiveCellIsFramedInTheFocusColourOrGrey) {
  document.setSelectionPoint(GridPoint{1, 1});
  for (bool focused : {true, false}) {
    options.showFirstResponder = focused;
    const QImage image = render(QSize(300, 100));
    const QColor expected = focused ? QColor(97, 155, 235) : QColor(190, 190, 190);
    // Cell B2 is (60, 20, 90, 30): a frame 4 points wide inside it, white within.
    for (const QPoint& p : {QPoint(60, 20), QPoint(63, 35), QPoint(149, 49), QPoint(100, 46)})
      EXPECT_EQ(ColorText(image.pixelColor(p)), ColorText(expected)) << focused << " " << p.x() << "," << p.y();
    EXPECT_EQ(image.pixelColor(64, 35), QColor(Qt::white)) << focused;
    EXPECT_EQ(image.pixelColor(100, 45), QColor(Qt::white)) << focused;
  }
}

TEST_F(GridPainterTest, SelectedCellsTakeTheSelectionColour) {
  document.setSelectionRange(GridRange{{0, 0}, {2, 0}});
  document.setActiveCellPoint(GridPoint{0, 0});
  options.showFirstResponder = true;
  QImage image = render(QSize(300, 100));
  EXPECT_EQ(image.pixelColor(100, 10), options.selectedTextBackground);
  options.showFirstResponder = false;
  image = render(QSize(300, 100));
  EXPECT_EQ(image.pixelColor(100, 10), QColor(224, 224, 224));
}

TEST_F(GridPainterTest, APictureAtHalfScaleIsDrawnAtHalfItsSize) {
  QImage red(80, 40, QImage::Format_ARGB32);
  red.fill(Qt::red);
  std::shared_ptr<FLImage> image = FLImage::withCGImage(red, QSizeF(80, 40));
  setColumnWidth(1, 200);
  setRowHeight(1, 100);
  CACell& cell = *document.cellAtGridPointImperative({1, 1});
  cell.setPicture(CAPicture::withImage(image, &document));
  ASSERT_EQ(cell.valueType(), kValuePicture);
  const auto redBox = [&] {
    const QImage rendered = render(QSize(400, 200));
    QRect box;
    for (int y = 0; y < rendered.height(); ++y)
      for (int x = 0; x < rendered.width(); ++x)
        if (rendered.pixelColor(x, y) == QColor(Qt::red)) box |= QRect(x, y, 1, 1);
    return box;
  };
  EXPECT_EQ(redBox(), QRect(120, 50, 80, 40));  // centred in (60, 20, 200, 100)
  cell.setImageScale(635000);
  EXPECT_EQ(redBox(), QRect(140, 60, 40, 20));
}

TEST_F(GridPainterTest, ALockedDocumentShowsOnlyItsBackground) {
  document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("secret"));
  document.setPassword(QStringLiteral("pw"));
  const QImage image = render(QSize(100, 50));
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 100; ++x) ASSERT_EQ(image.pixelColor(x, y), QColor(Qt::white)) << x << "," << y;
}


// Values that do not fit, and formulas, register a tooltip for their cell; drawing the cell
// again replaces it.
TEST_F(GridPainterTest, ValuesThatDoNotFitAndFormulasGetTooltips) {
  std::map<int64_t, QRectF> tooltips;
  int64_t next = 1;
  options.addTooltip = [&](const QRectF& rect) {
    tooltips[next] = rect;
    return next++;
  };
  options.removeTooltip = [&](int64_t tag) { tooltips.erase(tag); };
  CACell& wide = *document.cellAtGridPointImperative({0, 0});
  wide.setFormula(QStringLiteral("123456789012345678901234567890"));
  CACell& formula = *document.cellAtGridPointImperative({0, 2});
  formula.setFormula(QStringLiteral("=1+1"));
  CACell& fits = *document.cellAtGridPointImperative({0, 3});
  fits.setFormula(QStringLiteral("7"));
  document.evaluate();
  render(QSize(300, 100));
  ASSERT_EQ(tooltips.size(), 2u);
  EXPECT_NE(wide.tooltipTag(), 0);
  EXPECT_TRUE(wide.tooltipForWidth());
  EXPECT_EQ(tooltips[wide.tooltipTag()], QRectF(0, 0, 60, 20));
  EXPECT_NE(formula.tooltipTag(), 0);
  EXPECT_FALSE(formula.tooltipForWidth());
  EXPECT_EQ(fits.tooltipTag(), 0);
  render(QSize(300, 100));
  EXPECT_EQ(tooltips.size(), 2u);
  options.valueTooltips = false;
  render(QSize(300, 100));
  EXPECT_TRUE(tooltips.empty());
  EXPECT_EQ(wide.tooltipTag(), 0);
}


TEST_F(GridPainterTest, PageBreaksAreDrawnDashedInBlueInPlaceOfTheGridLine) {
  document.setShowPageBreaks(true);
  options.columnBreaks = {2};  // the second page starts at column C
  const QImage image = render(QSize(300, 200));
  int blue = 0, grey = 0;
  for (int y = 0; y < 190; ++y) {
    const QColor color = image.pixelColor(149, y);
    if (color == QColor(0, 0, 255)) ++blue;
    if (color == GridLineColor()) ++grey;
  }
  // Dashes of 8 on and 4 off over the column's length; no grid line under them.
  EXPECT_GT(blue, 100);
  EXPECT_LT(blue, 150);
  EXPECT_LE(grey, 8);  // only where row lines cross the gaps
}

// Rows 3 and 4 being moved to slot 1: they leave their places, a white band of the dragged
// height opens after the first drawn row, and they are drawn again at the drag edge.
TEST_F(GridPainterTest, MovedRowsLeaveAGapAndFollowTheMouse) {
  const QColor colours[] = {QColor(255, 0, 0),   QColor(0, 160, 0),   QColor(0, 0, 200), QColor(200, 200, 0),
                            QColor(0, 200, 200), QColor(200, 0, 200), QColor(90, 90, 90)};
  for (int64_t y = 0; y < 7; ++y)
    document.formatForDomainImperative(kDomainRow, {0, y})->setBackgroundKolor(KolorFromColorCore(colours[y]));
  document.setSelectionRange(GridRange{{kGridWildcard, 3}, {kGridWildcard, 4}});
  document.setActiveCellPoint(GridPoint{50, 50});
  options.dragInfo = CADragInfo{150, 1, 40, kCellDragRows};
  const QImage image = render(QSize(200, 220));
  const struct { int y; QColor expected; } probes[] = {
      {10, colours[0]},  {40, Qt::white},   {75, colours[1]},  {100, colours[2]},
      {120, colours[5]}, {140, colours[6]}, {160, colours[3]}, {180, colours[4]},
  };
  for (const auto& probe : probes)
    EXPECT_EQ(ColorText(image.pixelColor(30, probe.y)), ColorText(probe.expected)) << probe.y;
}

// The on-screen view brings a selection into sight once the event is done, and a point
// dragged past an edge scrolls one row or column towards it.
TEST(CellViewScrolling, TheSelectionIsBroughtIntoSightAndDragsScrollAtTheEdges) {
  SizedSheet sheet;
  sheet.document.cellAtGridPointImperative({30, 500})->setFormula(QStringLiteral("far"));
  CAScrollView view(&sheet.document);
  view.resize(400, 300);
  CACellView& cells = *view.cellView();
  cells.setContentFrame();
  sheet.document.setSelectionPoint(GridPoint{20, 400});
  cells.ensureSelectionVisible();
  cells.ensureSelectionVisible();
  EXPECT_EQ(view.currentPosition(), (GridPoint{0, 0}));
  QApplication::processEvents();
  const QRectF active = cells.rectForGridPoint({20, 400});
  EXPECT_TRUE(cells.visibleRect().contains(active)) << active.x() << "," << active.y();
  const GridPoint shown = view.currentPosition();
  cells.autoScrollForPoint(QPoint(10, -5));
  EXPECT_EQ(view.currentPosition(), (GridPoint{shown.x, shown.y - 1}));
  cells.autoScrollForPoint(QPoint(cells.width() + 5, 10));
  EXPECT_EQ(view.currentPosition(), (GridPoint{shown.x + 1, shown.y - 1}));
}


TEST_F(GridPainterTest, ASmallCheckboxIsFivePointsSmallerThanTheUsualOne) {
  setRowHeight(1, 40);
  CACell& cell = *document.cellAtGridPointImperative({1, 1});
  cell.setFormula(QStringLiteral("1"));
  cell.changeType(kValueCheckbox, false, false);
  ASSERT_EQ(cell.valueType(), kValueCheckbox);
  const auto boxHeight = [&](bool small) {
    options.smallCheckbox = small;
    const QImage image = render(QSize(300, 120));
    QRect box;
    // Inside cell B2 (60, 20, 90, 40), clear of its grid lines.
    for (int y = 20; y < 59; ++y)
      for (int x = 60; x < 149; ++x)
        if (image.pixelColor(x, y) != QColor(Qt::white)) box |= QRect(x, y, 1, 1);
    return box.height();
  };
  EXPECT_EQ(boxHeight(false) - boxHeight(true), 5);
}


// A saved sheet opened from its package shows its cells: the sample's text is red and bold.
TEST(CellViewDocument, ASavedSheetShowsItsCells) {
  FLKernel::sharedInstance();
  ModelEnvironment environment;
  CADocument document;
  ASSERT_EQ(document.openFile(TestDataPath(QStringLiteral("package/Sample.Numlet")), nullptr), kFileTypeNative);
  CAScrollView view(&document);
  view.resize(600, 300);
  const QImage image = view.cellView()->grab().toImage();
  const QRect a1 = view.cellView()->rectForGridPoint({0, 0}).toRect();
  int red = 0;
  for (int y = a1.top(); y < a1.bottom(); ++y)
    for (int x = a1.left(); x < a1.right(); ++x) {
      const QColor color = image.pixelColor(int(x * 1.25), int(y * 1.25));  // the sheet's zoom
      if (color.red() > 200 && color.green() < 80 && color.blue() < 80) ++red;
    }
  EXPECT_GT(red, 10);
  EXPECT_EQ(view.cellView()->zoomValue(), 1.25);
}


int CountDark(const QImage& image, const QRect& area) {
  int dark = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) dark += IsDark(image.pixelColor(x, y)) ? 1 : 0;
  return dark;
}

int CountColour(const QImage& image, const QColor& colour) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) count += image.pixelColor(x, y) == colour ? 1 : 0;
  return count;
}

TEST_F(GridPainterTest, APrintedPageEndsAtItsLastCellWithoutScreenMarks) {
  document.cellAtGridPointImperative({3, 0})->setFormula(QStringLiteral("Beyond"));
  document.setSelectionRange(GridRange{{0, 0}, {2, 2}});
  document.setActiveCellPoint(GridPoint{1, 1});
  options.showFirstResponder = true;
  options.mode = CAGridPaintMode::Printing;
  options.pageLastCell = options.pageBottom = GridPoint{2, 2};
  const QImage image = render(QSize(400, 200));
  // Columns A-C end at 210 and rows 1-3 at 70: the lines stop there.
  EXPECT_EQ(image.pixelColor(209, 30), GridLineColor());
  EXPECT_EQ(image.pixelColor(100, 89), QColor(Qt::white));
  EXPECT_EQ(CountDark(image, QRect(210, 0, 59, 19)), 0);
  // Neither the selection nor the active cell's frame is printed.
  EXPECT_EQ(image.pixelColor(100, 10), QColor(Qt::white));
  EXPECT_EQ(CountColour(image, ActiveCellColor()), 0);
}

TEST_F(GridPainterTest, DraggedCellsAreDrawnInTheirOwnRectangleOnly) {
  for (const GridPoint& point : {GridPoint{0, 0}, GridPoint{2, 2}, GridPoint{3, 3}})
    document.cellAtGridPointImperative(point)->setFormula(QStringLiteral("Cell"));
  document.setSelectionRange(GridRange{{2, 2}, {3, 3}});
  options.showFirstResponder = true;
  options.mode = CAGridPaintMode::DraggingOut;
  options.draggedSelection = GridRange{{2, 2}, {3, 3}};
  const QImage image = render(QSize(400, 200));
  // C3:D4 is (150, 50, 120, 40).
  EXPECT_GT(CountDark(image, QRect(150, 50, 59, 19)), 10);
  EXPECT_EQ(CountDark(image, QRect(0, 0, 59, 19)), 0);
  EXPECT_EQ(image.pixelColor(180, 60), QColor(Qt::white));  // no selection fill in the image
}

}  // namespace

TEST_F(GridPainterTest, ATextOfSeveralLinesShowsTheWholeLinesItsRowHolds) {
  CACell& cell = *document.cellAtGridPointImperative({1, 1});
  cell.setFormula(QStringLiteral("x"));
  const std::optional<FLAttributedString> probe = cell.attributedString(false, document.formatForCell(&cell, true));
  ASSERT_TRUE(probe.has_value());
  const double spacing = QFontMetricsF(probe->font).lineSpacing();
  const auto shown = [&](const QString& text, double height) {
    setRowHeight(1, height);
    geometry.invalidate();
    cell.setFormula(text);
    document.evaluate();
    return render(QSize(300, 200)).copy(60, 20, 89, int(height) - 1);
  };
  const QString twoLines[] = {QStringLiteral("Food\nweekly"), QStringLiteral("Food\r\nweekly"),
                              QStringLiteral("Food") + QChar(QChar::LineSeparator) + QStringLiteral("weekly"),
                              QStringLiteral("Food\rweekly")};
  for (const QString& text : twoLines) {
    // A row of one line shows the first line alone, never the lines run together.
    const double oneLine = std::ceil(spacing) + 2;
    EXPECT_EQ(shown(text, oneLine), shown(QStringLiteral("Food"), oneLine)) << text.toStdString();
    // A row of three lines shows both, the first where the first line alone stands.
    const double threeLines = 3 * std::ceil(spacing) + 2;
    const QImage both = shown(text, threeLines);
    const QImage first = shown(QStringLiteral("Food"), threeLines);
    const int band = int(std::floor(spacing)) - 1;
    EXPECT_EQ(both.copy(0, 0, both.width(), band), first.copy(0, 0, first.width(), band)) << text.toStdString();
    EXPECT_GT(CountDark(both, QRect(0, band + 1, both.width(), band)), 10) << text.toStdString();
  }
  // Overflow is measured by the widest line: forty one-letter lines stay in their column.
  QString column;
  for (int i = 0; i < 40; ++i) column += QStringLiteral("w\n");
  cell.setFormula(column);
  document.evaluate();
  EXPECT_EQ(cell.extraColumns(), 0u);
}

// A text of several lines spreads over its empty neighbours only as far as the lines its row
// shows need: in a row of one line, as far as its first line; the grid lines beyond stay drawn.
TEST_F(GridPainterTest, ATextOfSeveralLinesSpreadsOnlyAsFarAsTheLinesItsRowShows) {
  CACell& cell = *document.cellAtGridPointImperative({1, 1});
  cell.setFormula(QStringLiteral("x"));
  const std::optional<FLAttributedString> probe = cell.attributedString(false, document.formatForCell(&cell, true));
  ASSERT_TRUE(probe.has_value());
  const double spacing = std::ceil(QFontMetricsF(probe->font).lineSpacing());
  const auto spread = [&](const QString& text) {
    cell.setFormula(text);
    document.evaluate();
    return cell.extraColumns();
  };
  const QString note = QStringLiteral("first line\nsecond line is much longer than the first one");
  const struct {
    const char* what;
    QString text;
    int lines;         // the row's height in lines
    QString widest;    // the shown line the text spreads as far as
  } cases[] = {
      {"one line shown", note, 1, QStringLiteral("first line")},
      {"both lines shown", note, 3, QStringLiteral("second line is much longer than the first one")},
      {"two of three shown", QStringLiteral("short\nlonger second line that spreads far\nthe third line is the longest of all"), 2,
       QStringLiteral("longer second line that spreads far")},
      {"CR LF", QStringLiteral("first line\r\nsecond line is much longer than the first one"), 1, QStringLiteral("first line")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    setRowHeight(1, c.lines * spacing + 2);
    geometry.invalidate();
    const uint64_t expected = spread(c.widest);
    EXPECT_EQ(spread(c.text), expected);

    CAScrollView view(&document);
    view.resize(600, 200);
    const QImage image = view.cellView()->grab().toImage();
    const QRectF row = view.cellView()->rectForGridPoint({1, 1});
    const int y = int(row.center().y());
    for (int64_t x = 1; x < 6; ++x) {
      const int line = int(view.cellView()->rectForGridPoint({x, 1}).right()) - 1;
      if (x < 1 + int64_t(expected))
        EXPECT_NE(image.pixelColor(line, y), GridLineColor()) << "covered line after column " << x;
      else
        EXPECT_EQ(image.pixelColor(line, y), GridLineColor()) << "line after column " << x;
    }
  }
}

