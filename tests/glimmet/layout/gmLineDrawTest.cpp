// Drawing primitives, the border painter, highlight rules and line ornaments, checked on the
// pixels of small images (one pixel a point unless a zoom is given).
#include "glimmet/layout/gmLineDraw.h"

#include "framlet/foundation/FLImage.h"
#include "glimmet/layout/gmDraft.h"
#include "glimmet/layout/gmLineFormat.h"
#include "glimmet/layout/gmTableLayout.h"
#include "glimmet/storage/StorageTestSupport.h"
#include "glimmet/storage/gmBorderPlan.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmTables.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

namespace {

QImage Paint(int width, int height, double zoom, const std::function<void(QPainter&)>& draw) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.scale(zoom, zoom);
  draw(painter);
  return image;
}

bool IsWhite(const QImage& image, int x, int y) { return (image.pixel(x, y) | 0xFF000000) == 0xFFFFFFFF; }

TEST(DrawingPrimitives, LinesSitBesideTheirCoordinateAndOutlinesInsideTheirRectangle) {
  // A vertical line 2 wide at x 10 covers x 10 to 12 (its centre moves to 11).
  const QImage line = Paint(20, 20, 1, [](QPainter& p) { DrawLineCore(p, g_blackKolor, nullptr, 0, 10, 0, 10, 20, 2); });
  const std::pair<int, bool> columns[] = {{9, true}, {10, false}, {11, false}, {12, true}};
  for (const auto& [x, white] : columns) EXPECT_EQ(IsWhite(line, x, 10), white) << x;

  // At zoom 2 an outline is half a point wide, a quarter point inside the rectangle.
  const QImage box = Paint(40, 40, 2, [](QPainter& p) {
    DrawRectangleCore(p, 2.0, g_blackKolor, kNoKolor, false, QRectF(5, 5, 10, 10));
  });
  const std::pair<int, bool> pixels[] = {{9, true}, {10, false}, {11, true}, {29, false}, {30, true}};
  for (const auto& [x, white] : pixels) EXPECT_EQ(IsWhite(box, x, 20), white) << x;
}

TEST(DrawingPrimitives, DiamondsAndSideLinesHaveTheirSizes) {
  const std::pair<double, double> diamonds[] = {{12, 6}, {4, 2}, {5, 4}};  // height, width (2 x half-size)
  for (const auto& [height, width] : diamonds) {
    QPainterPath path;
    EXPECT_EQ(AddDiamondToPath(path, 50, 0, height).width(), width) << height;
  }
  QPainterPath lines;
  AddSideLines(lines, true, QRectF(445, 0, 10, 10), 900);
  // Two segments, each 144 - 13 = 131 long, starting 8 points from the shape.
  EXPECT_EQ(lines.boundingRect(), QRectF(445 - 8 - 131, 5.25, 2 * 131 + 16 + 10, 0));
}

TEST(DrawingPrimitives, PicturesDrawAtTheirOpacity) {
  QImage red(4, 4, QImage::Format_ARGB32);
  red.fill(Qt::red);
  std::unique_ptr<FLImage> image = FLImage::withCGImage(red, QSizeF(4, 4));
  ASSERT_TRUE(image);
  const QImage half = Paint(10, 10, 1, [&](QPainter& p) { DrawPicture(p, 0.5, image.get(), QRectF(0, 0, 8, 8)); });
  const QColor mixed = half.pixelColor(4, 4);
  EXPECT_EQ(mixed.red(), 255);
  EXPECT_NEAR(mixed.green(), 128, 2);
}

TEST(BorderPainting, StylesDrawTheirLinesAndBackgrounds) {
  struct Case {
    uint32_t style;
    uint32_t sides;
    int x, y;
    QRgb colour;
    uint32_t junction = 21;
    float width = 2;
  };
  const QRgb black = 0xFF000000, red = 0xFFFF0000, white = 0xFFFFFFFF;
  // A 20-point square at (20, 20), a line 2 points wide, black on a red background.
  const Case cases[] = {
      {2, 15, 18, 30, black},  // single, all sides: the line lies outside the square
      {2, 15, 19, 30, black},
      {2, 15, 20, 30, red},    // the background inside
      {2, 15, 17, 30, white},
      {2, kBorderSideTop, 18, 30, white},  // only the top: no left line
      {2, kBorderSideTop, 30, 19, black},
      {3, 15, 19, 30, black},  // double, box junction: inner line half a width out
      {3, 15, 17, 30, red},    // the gap between the lines takes the background
      {3, 15, 15, 30, black},  // the outer line two and a half widths out
      {3, kBorderSideTop, 30, 19, black, 3},  // double on the top alone: inner line
      {3, kBorderSideTop, 30, 16, red, 3},    // the gap
      {3, kBorderSideTop, 30, 15, black, 3},  // outer line
      {3, kBorderSideTop, 17, 30, white, 3},  // nothing beside it
      {3, 15, 30, 30, red, 0},                // no junction: the background alone
      {6, 15, 22, 18, red, 0, 0.5f},          // serrated: inside the first tooth, filled
      {6, 15, 24, 17, white, 0, 0.5f},        // between two teeth
      {7, 15, 22, 19, red, 0, 0.5f},          // scallops bulge outwards
      {0, 15, 30, 30, white},  // no style: nothing at all
      {1, 15, 30, 30, red},    // background only
  };
  for (const Case& c : cases) {
    BorderStroke stroke;
    stroke.style = c.style;
    stroke.width = c.width;
    stroke.thickness = 4;
    stroke.lineColor = g_blackKolor;
    stroke.backColor = 0x640000FF;
    if (c.style == 3) stroke.junction = c.junction;
    const QImage image = Paint(60, 60, 1, [&](QPainter& p) {
      DrawBorderCore(p, stroke, c.sides, 0, QRectF(20, 20, 20, 20));
    });
    EXPECT_EQ(image.pixel(c.x, c.y) | 0xFF000000, c.colour) << c.style << " " << c.sides << " " << c.x << "," << c.y;
  }
}

// Dots are a width on and two off; dashes four on and two off: measured along a top side 100
// points long, in a line 2 points wide.
TEST(BorderPainting, DotsAndDashesKeepTheirPitch) {
  struct Case {
    uint32_t style;
    int on, period;
  };
  const Case cases[] = {{4, 2, 6}, {5, 8, 12}};
  for (const Case& c : cases) {
    BorderStroke stroke;
    stroke.style = c.style;
    stroke.width = 2;
    stroke.lineColor = g_blackKolor;
    const QImage image = Paint(140, 40, 1, [&](QPainter& p) {
      DrawBorderCore(p, stroke, kBorderSideTop, 0, QRectF(20, 20, 100, 10));
    });
    std::vector<std::pair<int, int>> runs;  // start and length of each dark run on the line's row
    for (int x = 0; x < image.width(); ++x) {
      if (qGray(image.pixel(x, 19)) >= 128) continue;
      if (!runs.empty() && runs.back().first + runs.back().second == x) ++runs.back().second;
      else runs.emplace_back(x, 1);
    }
    ASSERT_GE(runs.size(), 5u) << c.style;
    EXPECT_EQ(runs.front().first, 20) << c.style;  // the pattern starts at the side's start
    for (size_t i = 0; i + 1 < runs.size(); ++i) {
      EXPECT_EQ(runs[i + 1].first - runs[i].first, c.period) << c.style << " run " << i;
      EXPECT_EQ(runs[i].second, c.on) << c.style << " run " << i;
    }
  }
}

TEST(BorderPainting, GradientsRunFromTheLineColourOutsideToTheInnerColour) {
  BorderStroke stroke;
  stroke.style = 8;
  stroke.thickness = 8;
  stroke.lineColor = g_blackKolor;
  stroke.innerColor = kWhiteKolor;
  const QImage image = Paint(60, 60, 1, [&](QPainter& p) { DrawBorderCore(p, stroke, 15, 0, QRectF(20, 20, 20, 20)); });
  EXPECT_LT(qGray(image.pixel(30, 12)), 40);   // the outer edge of the top band
  EXPECT_GT(qGray(image.pixel(30, 19)), 200);  // against the square
  EXPECT_GT(qGray(image.pixel(30, 30)), 250);  // the square itself is not painted
}

TEST(Highlighting, TheModeFollowsActivityAndFocus) {
  class View : public GMPaneView {
   public:
    bool isKeyFirstResponder() const override { return focused; }
    bool applicationActive() const override { return active; }
    bool focused = true, active = true;
  };
  struct Case {
    bool docActive, focused, appActive, alwaysShown, hideInactive;
    int mode;
  };
  const Case cases[] = {
      {true, true, true, false, false, kHighlightActive},
      {true, false, true, false, false, kHighlightInactive},
      {true, true, false, false, false, kHighlightInactive},
      {false, true, true, false, false, kHighlightInactive},
      {false, true, true, false, true, kHighlightNone},
      {false, true, true, true, true, kHighlightInactive},
  };
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("text"));
  View view;
  Pane* pane = CurrentPane(doc.get());
  pane->view = &view;
  for (const Case& c : cases) {
    doc->active = c.docActive;
    doc->hideInactiveSelection = c.hideInactive;
    pane->selectionAlwaysShown = c.alwaysShown;
    view.focused = c.focused;
    view.active = c.appActive;
    EXPECT_EQ(ShouldHighlightSelection(doc.get(), pane), c.mode) << c.docActive << c.focused << c.appActive;
  }
  // In dark appearance the inactive grey is lightened: each channel min(c + 64, 191) + 64.
  doc->active = false;
  doc->hideInactiveSelection = false;
  SetDarkAppearance(true);
  EXPECT_EQ(TextSelectionKolor(doc.get(), pane), kWhiteKolor);
  SetDarkAppearance(false);
  EXPECT_EQ(TextSelectionKolor(doc.get(), pane), 0x64C0C0C0u);
}

// Lines of a document drawn through the fixed-advance typesetter.
struct DrawnLine {
  FixedAdvanceTypesetter typesetter;
  TypesetterScope scope{&typesetter};
  GlimmetDocPtr doc;
  LineFormat line;

  explicit DrawnLine(const QString& body) : doc(DocWithBody(body)) {
    InitFormatLine(doc.get(), nullptr, &line, kFormatDraw);
  }
  QImage Draw(uint32_t cp, float width) {
    EXPECT_TRUE(FormatLine(cp, int64_t(width * 12700), &line));
    return Paint(int(width), int(line.lineHeight), 1, [&](QPainter& p) {
      DrawFormattedLine(p, line, kNoKolor, width, QRectF(0, 0, width, line.lineHeight), QRectF());
    });
  }
};

TEST(LineDrawing, DividersSpaceTheirAsterisks) {
  DrawnLine d(QStringLiteral("x"));
  DocRange at{d.doc.get(), kBody, kBody};
  KinkData data;
  data.word = 0;  // asterisks
  ASSERT_TRUE(InsertKnotCore(&at, kKnotDivider, 0, 0, nullptr, 1, &data, false));
  const QImage image = d.Draw(kBody, 900);
  EXPECT_EQ(d.line.startKind, kStartDivider);
  // Centred on 450 and 144 points to either side: boxes 6 wide centred there.
  const int y = int(d.line.lineHeight / 2);
  const std::pair<int, bool> columns[] = {{305, false}, {449, false}, {593, false}, {375, true}, {520, true}};
  int top = -1;
  for (int row = 0; row < image.height() && top < 0; ++row)
    if (!IsWhite(image, 449, row)) top = row;
  ASSERT_GE(top, 0);
  for (const auto& [x, white] : columns) EXPECT_EQ(IsWhite(image, x, top + 1), white) << x << " " << y;
}

// A conditional divider shows at the pane's start, not within; a checkbox takes a box of its font
// size (at least 12) on the line, standing on the baseline, before the "b" of "a b".
TEST(LineDrawing, ConditionalDividersAndCheckboxBoxes) {
  const std::tuple<uint32_t, uint32_t, uint64_t, bool> dividers[] = {
      {3, 9, 0, true}, {3, 9, 1, false}, {0, 9, 1, true}};  // cp in "ab\ncd", kind, flag, drawn
  for (const auto& [at, kind, flag, drawn] : dividers) {
    DrawnLine d(QStringLiteral("ab\ncd"));
    DocRange range{d.doc.get(), kBody + at, kBody + at};
    KinkData data{kind, flag};
    ASSERT_TRUE(InsertKnotCore(&range, kKnotDivider, 0, 0, nullptr, 1, &data, false));
    const QImage image = d.Draw(kBody + at, 300);
    bool inked = false;
    for (int y = 0; y < image.height(); ++y) inked = inked || !IsWhite(image, 150, y);
    EXPECT_EQ(inked, drawn) << at << " " << flag;
  }
  for (const auto& [size, side] : {std::pair<int16_t, float>{32, 12}, {80, 20}}) {
    DrawnLine d(QStringLiteral("ab"));
    PropRecord chars = CharsAt(d.doc.get(), kBody);
    chars.set<int16_t>(CharField::size, size);
    ApplyPropsToRange({d.doc.get(), kBody, kBody + 2}, chars);
    DocRange at{d.doc.get(), kBody + 1, kBody + 1};
    KinkData data{1, 0};
    ASSERT_TRUE(InsertKnotCore(&at, kKnotCheckbox, 0, 0, nullptr, 1, &data, false));
    const QImage image = d.Draw(kBody, 200);
    const float x = LineXFromCpCore(d.line, kBody + 1);
    EXPECT_EQ(LineXFromCpCore(d.line, kBody + 2), x + side);
    EXPECT_GE(d.line.baseline, side);
    EXPECT_FALSE(IsWhite(image, int(x + side / 2), int(d.line.baseline - side / 2))) << size;
  }
}

TEST(LineDrawing, LeaderDotsStartOnThePitchFromTheLineEdge) {
  DrawnLine d(QStringLiteral("ab\tc"));
  PropRecord para = ParaAt(d.doc.get(), kBody);
  para.set<uint16_t>(ParaField::tabCount, 1);
  para.set<uint32_t>(ParaField::tabs, MakeTab(100 * 12700, 0, 1));
  ApplyPropsToRange({d.doc.get(), kBody, kBody + 4}, para);
  const QImage image = d.Draw(kBody, 200);
  // The tab runs from 12 to 100; the pitch is two pads of a quarter of the 12-point font's width
  // and a 6-point dot: 12. Dots stand on multiples of it from the line's edge, the first at 12,
  // the last no later than 100 - (6 + 3).
  const int baselineRow = int(d.line.baseline) - 2;
  const std::pair<int, bool> columns[] = {{14, false}, {25, false}, {86, false}, {20, true}, {97, true}};
  for (const auto& [x, white] : columns) EXPECT_EQ(IsWhite(image, x, baselineRow), white) << x;
}

TEST(LineDrawing, UnderlinesAndBackgroundsPaintUnderTheirCharacters) {
  struct Case {
    uint32_t underline;
    Kolor back;
    int x, y;
    bool white;
  };
  // "abc" with "b" (x 6 to 12) decorated; the baseline at 9, the underline a point below it.
  const Case cases[] = {
      {1, kNoKolor, 8, 10, false}, {1, kNoKolor, 2, 10, true}, {1, kNoKolor, 8, 12, true},
      {3, kNoKolor, 8, 12, false},  // double: a second line two thicknesses lower
      {0, 0x640000FF, 8, 11, false}, {0, 0x640000FF, 14, 11, true},
  };
  for (const Case& c : cases) {
    DrawnLine d(QStringLiteral("abc"));
    PropRecord chars = CharsAt(d.doc.get(), kBody);
    chars.set<uint32_t>(CharField::underline, c.underline);
    chars.set<uint32_t>(CharField::backColor, c.back);
    ApplyPropsToRange({d.doc.get(), kBody + 1, kBody + 2}, chars);
    const QImage image = d.Draw(kBody, 100);
    EXPECT_EQ(IsWhite(image, c.x, c.y), c.white) << c.underline << " " << c.x << "," << c.y;
  }
}

// Hidden "bcd" of "abcde" (x 6 to 24) gets a green dashed line under it while the pane shows
// invisibles and the document is active; nothing green otherwise.
TEST(LineDrawing, HiddenTextIsMarkedGreenWhileInvisiblesShow) {
  const struct {
    bool showInvisibles, active, green;
  } cases[] = {{true, true, true}, {true, false, false}, {false, true, false}};
  for (const auto& c : cases) {
    DrawnLine d(QStringLiteral("abcde"));
    PropRecord chars = CharsAt(d.doc.get(), kBody);
    chars.body[CharField::hidden] = 1;
    ApplyPropsToRange({d.doc.get(), kBody + 1, kBody + 4}, chars);
    CurrentPane(d.doc.get())->showInvisibles = c.showInvisibles;
    d.doc->active = c.active;
    const QImage image = d.Draw(kBody, 100);
    int greenFrom = -1, greenTo = -1;
    for (int x = 0; x < image.width(); ++x)
      for (int y = 0; y < image.height(); ++y) {
        const QColor p = image.pixelColor(x, y);
        if (p.green() > 150 && p.red() < 100 && p.blue() < 100) {
          if (greenFrom < 0) greenFrom = x;
          greenTo = x;
        }
      }
    EXPECT_EQ(greenFrom >= 0, c.green) << c.showInvisibles << c.active;
    if (c.green) {
      EXPECT_GE(greenFrom, 6);
      EXPECT_LE(greenTo, 24);
      EXPECT_GE(greenTo, 18);
    }
  }
}

TEST(LineDrawing, TableRowsDrawTheirCellsTextSelectedColumnsAndMarker) {
  FixedAdvanceTypesetter typesetter;
  TypesetterScope scope(&typesetter);
  struct Case {
    int32_t cellFirst, cellLimit;
    bool hide;
    int inked0, inked1;  // ink in each cell: two 5 x 9 boxes, or none when hidden
    bool highlighted;    // the second cell drawn selected
  };
  const Case cases[] = {{-1, -1, false, 90, 90, false}, {1, 2, false, 90, 90, true}, {0, 2, true, 0, 0, false},
                        {0, 1, true, 0, 90, false}};
  for (const Case& c : cases) {
    GlimmetDocPtr doc = DocWithBody(QStringLiteral("before\nafter"));
    const uint8_t saved = g_glimmetConfig.tableOption;
    g_glimmetConfig.tableOption = 1;
    DocRange table;
    ASSERT_TRUE(NewTableCore(doc.get(), kBody + 7, 1, 2, &table));
    g_glimmetConfig.tableOption = saved;
    KnotInfo row;
    ASSERT_TRUE(FetchKnot(doc.get(), table.first + 1, &row, kKnotRow));
    ASSERT_TRUE(InsertText(doc.get(), row.kinkCps[1] + 1, QStringLiteral("yy")));
    ASSERT_TRUE(InsertText(doc.get(), row.kinkCps[0] + 1, QStringLiteral("xx")));
    Pane* pane = CurrentPane(doc.get());
    pane->contentsKind = kPaneContentsPlain;
    pane->cellFirst = c.cellFirst;
    pane->cellLimit = c.cellLimit;
    pane->selFirst = pane->selLimit = int32_t(row.kinkCps[0] + 1);
    doc->hideSelectedCells = c.hide;
    LineFormat line;
    InitFormatLine(doc.get(), pane, &line, kFormatDraw);
    ASSERT_TRUE(FormatLine(table.first, PaneTextWidth(doc.get(), pane), &line));
    ASSERT_EQ(line.startKind, kStartRow);
    line.marker = QRectF(400, 0, 4, line.lineHeight);
    line.markerColor = 0x640000FF;  // red
    const QImage image = Paint(600, int(line.lineHeight), 1, [&](QPainter& p) {
      DrawFormattedLine(p, line, kNoKolor, 600, QRectF(0, 0, 600, line.lineHeight), QRectF());
    });
    GMRowRects rects;
    ASSERT_TRUE(GetRowRectangles(line, &rects));
    ASSERT_EQ(rects.cells.size(), 2u);
    int inked[3] = {};
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        if (qGray(image.pixel(x, y)) >= 64 || (x >= 399 && x <= 404)) continue;
        const int cell = x < rects.cells[1].x ? 0 : x < rects.cells[1].x + rects.cells[1].width ? 1 : 2;
        ++inked[cell];
      }
    }
    EXPECT_EQ(inked[0], c.inked0) << c.cellFirst << c.hide;
    EXPECT_EQ(inked[1], c.inked1) << c.cellFirst << c.hide;
    EXPECT_EQ(inked[2], 0);
    const int y = int(line.lineHeight) - 2;
    EXPECT_EQ(!IsWhite(image, int(rects.cells[1].x + rects.cells[1].width) - 4, y), c.highlighted) << c.cellFirst;
    EXPECT_EQ(image.pixel(401, y), 0xFFFF0000u);
    EXPECT_EQ(image.pixel(399, y), 0xFF00FFFFu);  // its inverse
  }
}

// A black double border a point wide: each line a point, a point apart, three points in all.
BorderStyle DoubleBorder(int32_t kind, int64_t offset) {
  BorderStyle border;
  border.kind = kind;
  border.line = kLineDouble;
  border.width = 12700;
  border.offset = offset;
  border.lineColor = g_blackKolor;
  return border;
}

bool IsBlack(const QImage& image, int x, int y) { return qGray(image.pixel(x, y)) < 64; }

TEST(LineDrawing, ParagraphBordersJoinTheirDoubleLinesOutsideTheOffset) {
  DrawnLine d(QStringLiteral("x"));
  const BorderStyle border = DoubleBorder(kBorderBox, 2 * 12700);
  PropRecord para = ParaAt(d.doc.get(), kBody);
  SetBorderStyleAt(&para, ParaField::border, border);
  ApplyPropsToRange({d.doc.get(), kBody, kBody + 1}, para);
  const QImage image = d.Draw(kBody, 200);
  ASSERT_TRUE(d.line.hasBorderBox);
  // Two points of offset, then the inner line, a gap and the outer line, above and left of the band.
  const int top = int(BorderThickness(border, d.line.borderEdges).top);
  const int left = int(d.line.leftEdge);
  const std::pair<int, bool> steps[] = {{1, false}, {2, false}, {3, true}, {4, false}, {5, true}};
  for (const auto& [step, black] : steps) {
    EXPECT_EQ(IsBlack(image, left + 40, top - step), black) << "above " << step;
    EXPECT_EQ(IsBlack(image, left - step, top + 2), black) << "left " << step;
  }
}

TEST(LineDrawing, DoubleTableBordersJoinAtTheFirstRow) {
  FixedAdvanceTypesetter typesetter;
  TypesetterScope scope(&typesetter);
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("before\nafter"));
  const uint8_t saved = g_glimmetConfig.tableOption;
  g_glimmetConfig.tableOption = 1;
  DocRange table;
  ASSERT_TRUE(NewTableCore(doc.get(), kBody + 7, 3, 2, &table));
  g_glimmetConfig.tableOption = saved;
  KnotInfo tableInfo, row;
  PropRecord props;
  ASSERT_TRUE(FetchTable(doc.get(), table.first + 2, &tableInfo, &row, &props));
  SetBorderStyleAt(&props, kTableBorderOffset, DoubleBorder(kBorderBoxRow1, 0));
  SetPropsOnKink(doc.get(), uint32_t(tableInfo.index), IndexForProperties(doc.get(), &props));
  for (GMTableCache& cache : doc->tableCaches) cache = GMTableCache();
  // Row by row, whether the first cell has double lines above it (a line, a gap, a line) and
  // to its left. Box+row1 puts them on the table's outside and below its first row only.
  const struct {
    bool above, left;
  } rows[] = {{true, true}, {true, true}, {false, true}};
  uint32_t cp = table.first;
  for (int r = 0; r < 3; ++r) {
    LineFormat line;
    InitFormatLine(doc.get(), nullptr, &line, kFormatDraw);
    ASSERT_TRUE(FormatLine(cp, PaneTextWidth(doc.get(), nullptr), &line));
    ASSERT_EQ(line.startKind, kStartRow);
    const QImage image = Paint(600, int(line.lineHeight), 1, [&](QPainter& p) {
      DrawFormattedLine(p, line, kNoKolor, 600, QRectF(0, 0, 600, line.lineHeight), QRectF());
    });
    GMRowRects rects;
    ASSERT_TRUE(GetRowRectangles(line, &rects));
    const int x = int(rects.cells[0].x), y = int(rects.cells[0].y);
    const int middle = x + int(rects.cells[0].width / 2);
    if (rows[r].above) {
      const bool pattern[] = {true, false, true};
      for (int i = 0; i < 3; ++i) EXPECT_EQ(IsBlack(image, middle, y - 1 - i), pattern[i]) << r << " above " << i;
    } else {
      EXPECT_EQ(y, 0) << r;  // no room taken above
    }
    const bool pattern[] = {true, false, true};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(IsBlack(image, x - 1 - i, y + 2), pattern[i] && rows[r].left) << r << " left " << i;
    cp = rects.row.limit;
  }
}

// A three-row, two-column table whose first row is a title row, with stripes and the first cell
// of the second row red; the rows are drawn one by one and sampled in each cell's empty right end.
struct ColouredTable {
  FixedAdvanceTypesetter typesetter;
  TypesetterScope scope{&typesetter};
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("before\nafter"));
  DocRange table;
  KnotInfo rows[3];
  static constexpr Kolor kStripe = 0x6400FF00;  // green
  static constexpr Kolor kRed = 0x640000FF;

  explicit ColouredTable(bool titleRow) {
    const uint8_t saved = g_glimmetConfig.tableOption;
    g_glimmetConfig.tableOption = 1;
    EXPECT_TRUE(NewTableCore(doc.get(), kBody + 7, 3, 2, &table));
    g_glimmetConfig.tableOption = saved;
    KnotInfo tableInfo, row;
    PropRecord props;
    EXPECT_TRUE(FetchTable(doc.get(), table.first + 2, &tableInfo, &row, &props));
    props.body[TableProp::titleRow] = titleRow ? 1 : 0;
    props.body[TableProp::stripes] = 1;
    props.set<uint32_t>(TableProp::stripeColor, kStripe);
    SetPropsOnKink(doc.get(), uint32_t(tableInfo.index), IndexForProperties(doc.get(), &props));
    EXPECT_TRUE(FetchKnot(doc.get(), table.first + 1, &rows[0], kKnotRow));
    for (int r = 1; r < 3; ++r) EXPECT_TRUE(FetchKnot(doc.get(), rows[r - 1].limit, &rows[r], kKnotRow));
    // The cell's colour rides on its closing kink.
    doc->knots.at(doc->knots.indexAtCp(rows[1].kinkCps[1])).word = kRed;
    EXPECT_TRUE(InsertText(doc.get(), rows[1].kinkCps[0] + 1, QStringLiteral("ab")));
    for (int r = 0; r < 3; ++r) EXPECT_TRUE(FetchKnot(doc.get(), r == 0 ? table.first + 1 : rows[r - 1].limit, &rows[r], kKnotRow));
  }
  // The colour in the middle of the right end of each cell of the row.
  std::vector<QRgb> RowColours(int r, QImage* out = nullptr, uint32_t mode = kFormatDraw) {
    Pane* pane = CurrentPane(doc.get());
    LineFormat line;
    InitFormatLine(doc.get(), pane, &line, mode);
    EXPECT_TRUE(FormatLine(r == 0 ? table.first : rows[r].first, PaneTextWidth(doc.get(), pane), &line));
    EXPECT_EQ(line.startKind, kStartRow);
    const QImage image = Paint(600, int(line.lineHeight), 1, [&](QPainter& p) {
      DrawFormattedLine(p, line, kNoKolor, 600, QRectF(0, 0, 600, line.lineHeight), QRectF());
    });
    GMRowRects rects;
    EXPECT_TRUE(GetRowRectangles(line, &rects));
    std::vector<QRgb> colours;
    for (const GMRect& cell : rects.cells)
      colours.push_back(image.pixel(int(cell.x + cell.width) - 3, int(cell.y + cell.height / 2)));
    ReleaseLineFormat(&line);
    if (out) *out = image;
    return colours;
  }
};

TEST(TableDrawing, CellColoursStripesAndTheTitleRow) {
  const QRgb white = 0xFFFFFFFF, green = 0xFF00FF00, red = 0xFFFF0000;
  {
    // Without a title row the odd rows are striped.
    ColouredTable t(false);
    EXPECT_EQ(t.RowColours(0), (std::vector<QRgb>{white, white}));
    EXPECT_EQ(t.RowColours(1), (std::vector<QRgb>{red, green}));
    EXPECT_EQ(t.RowColours(2), (std::vector<QRgb>{white, white}));
  }
  {
    // With one, the title row has its gradient and the stripes start after it.
    ColouredTable t(true);
    const std::vector<QRgb> title = t.RowColours(0);
    for (QRgb c : title) {
      EXPECT_NE(c, white);
      EXPECT_EQ(qRed(c), qGreen(c));  // a grey
    }
    EXPECT_EQ(t.RowColours(1), (std::vector<QRgb>{red, white}));
    EXPECT_EQ(t.RowColours(2), (std::vector<QRgb>{green, green}));
  }
}

TEST(TableDrawing, TheCaretInAColouredCellTakesTheInverseOfTheCellColour) {
  ColouredTable t(false);
  Pane* pane = CurrentPane(t.doc.get());
  const uint32_t caret = t.rows[1].kinkCps[0] + 2;  // between "a" and "b"
  pane->selFirst = pane->selLimit = pane->caretCp = int32_t(caret);
  QImage image;
  t.RowColours(1, &image);
  int cyan = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < 300; ++x)
      if (image.pixel(x, y) == 0xFF00FFFFu) ++cyan;
  EXPECT_GT(cyan, 3);
}

TEST(TableDrawing, AHighlightOnlyPassDrawsTheSelectedCellsAlone) {
  ColouredTable t(false);
  Pane* pane = CurrentPane(t.doc.get());
  pane->contentsKind = kPaneContentsPlain;
  pane->cellFirst = 1;
  pane->cellLimit = 2;
  pane->selFirst = pane->selLimit = int32_t(t.rows[1].kinkCps[0] + 1);
  const std::vector<QRgb> full = t.RowColours(1);
  const std::vector<QRgb> only = t.RowColours(1, nullptr, kFormatDraw | kFormatHighlightOnly);
  ASSERT_EQ(only.size(), 2u);
  EXPECT_EQ(full[0], 0xFFFF0000u);  // the red cell, drawn in a full pass
  EXPECT_EQ(only[0], 0xFFFFFFFFu);  // and left alone in a highlight pass
  EXPECT_EQ(only[1], full[1]);      // the selected cell drawn selected in both
  EXPECT_NE(only[1], 0xFFFFFFFFu);
}

// The extent of each divider's ink on a 900-point line, from its centre.
TEST(LineDrawing, DividersSpanTheirWidths) {
  struct Case {
    uint32_t type;
    double left, right;  // ink extent from the box centre; NAN: depends on the box height, below
  };
  DrawnLine probe(QStringLiteral("x"));
  {
    DocRange at{probe.doc.get(), kBody, kBody};
    KinkData data{9, 0};
    ASSERT_TRUE(InsertKnotCore(&at, kKnotDivider, 0, 0, nullptr, 1, &data, false));
    probe.Draw(kBody, 900);
  }
  const double boxHeight = probe.line.lineHeight - probe.line.spaceAbove - probe.line.spaceBelow;
  const double half = std::floor(boxHeight / 5) + 1;  // a diamond's half size
  const double box = 900 - probe.line.originX;
  const Case cases[] = {
      {1, -(241 - half), 241 - half},
      {2, -144, 144},
      {3, -144, 144},
      {4, -144, 144},
      {5, -144, 144},
      {6, -144, 144},
      {7, -144, 144},
      {8, -144, 144},
      {9, -box / 2, box / 2},
  };
  // The first and one past the last inked column of a line holding one divider of the type,
  // each measured from the line's centre.
  const auto inkSpan = [box](uint32_t type) {
    DrawnLine d(QStringLiteral("x"));
    DocRange at{d.doc.get(), kBody, kBody};
    KinkData data{type, 0};
    EXPECT_TRUE(InsertKnotCore(&at, kKnotDivider, 0, 0, nullptr, 1, &data, false)) << type;
    const QImage image = d.Draw(kBody, 900);
    int first = image.width(), last = -1;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (qGray(image.pixel(x, y)) < 160) {
          first = std::min(first, x);
          last = std::max(last, x);
        }
    const double cx = d.line.originX + box / 2;
    return std::pair{first - cx, last + 1 - cx};
  };
  for (const Case& c : cases) {
    const auto [left, right] = inkSpan(c.type);
    EXPECT_NEAR(left, c.left, 1.5) << c.type;
    EXPECT_NEAR(right, c.right, 1.5) << c.type;
  }
  // "The End" is centred with a 144-point line on each side, 8 points from it.
  const auto [left, right] = inkSpan(10);
  EXPECT_NEAR(-left, right, 1.5);
  EXPECT_GT(-left, 152);
}

}  // namespace

namespace {

// A picture with a 3 pt box between "a" and "b": the box lies within the line and between the
// two letters, the picture inside it.
TEST(LineDrawing, APictureBorderTakesItsOwnRoomOnTheLine) {
  DrawnLine d(QStringLiteral("ab"));
  QImage bitmap(10, 10, QImage::Format_RGB32);
  bitmap.fill(Qt::red);
  bitmap.setDotsPerMeterX(2835);  // a pixel a point
  bitmap.setDotsPerMeterY(2835);
  GMPicture picture;
  picture.image = std::shared_ptr<FLImage>(FLImage::withCGImage(bitmap, QSizeF(0, 0)));
  d.doc->pictures.push_back(picture);
  PropRecord border = BaseProps(kPropBorder);
  border.set<uint32_t>(BorderField::kind, 7);
  border.set<int64_t>(BorderField::width, 3 * 12700);
  border.set<uint32_t>(BorderField::lineColor, MakeKolor(0, 0, 255));
  KinkData data;
  data.word = uint32_t(d.doc->pictures.size() - 1);
  data.value = 3 | uint64_t(1000) << 32;  // on the baseline, at its own size
  DocRange at{d.doc.get(), kBody + 1, kBody + 1};
  ASSERT_TRUE(InsertKnotCore(&at, kKnotPicture, 0, 1, &border, 1, &data, false));
  const QImage image = d.Draw(kBody, 100);
  const auto colour = [&](int x, int y) {
    const QRgb p = image.pixel(x, y);
    return qBlue(p) > 200 && qRed(p) < 100 ? 'B' : qRed(p) > 200 && qBlue(p) < 100 ? 'R' : IsWhite(image, x, y) ? 'W' : 'K';
  };
  // Down the picture's middle: the top border from the line's top, then the picture.
  QString column;
  for (int y = 0; y < image.height(); ++y) column += QLatin1Char(colour(14, y));
  EXPECT_TRUE(column.startsWith(QStringLiteral("BBBRRRRRRRRRR"))) << column.toStdString();
  // Along the line: "a", the box and the picture in it, then "b" after the box, never over it.
  int lastBlue = -1, firstBlackAfter = -1;
  for (int x = 7; x < image.width(); ++x)
    for (int y = 0; y < image.height(); ++y) {
      if (colour(x, y) == 'B') lastBlue = std::max(lastBlue, x);
      if (colour(x, y) == 'K' && firstBlackAfter < 0 && lastBlue >= 0) firstBlackAfter = x;
    }
  EXPECT_EQ(lastBlue, 21);
  EXPECT_GT(firstBlackAfter, lastBlue);
}

}  // namespace

namespace {

// In dark appearance black text on white paragraph shading takes the system text colour (here
// red, on a blue text background) only where the shading is drawn dark: without a border. Inside
// a box the shading stays white and the text black.
TEST(LineDrawing, DarkAppearanceRecoloursTextOnlyOnBorderlessWhiteShading) {
  const QPalette saved = QGuiApplication::palette();
  QPalette dark = saved;
  dark.setColor(QPalette::Text, Qt::red);
  dark.setColor(QPalette::Base, Qt::blue);
  QGuiApplication::setPalette(dark);
  const uint8_t savedDarkText = g_glimmetConfig.darkText;
  g_glimmetConfig.darkText = 1;
  SetDarkAppearance(true);
  const struct {
    Kolor shading;
    int32_t border;
    QRgb text;
  } cases[] = {{kNoKolor, 0, 0xFFFF0000}, {kWhiteKolor, 0, 0xFFFF0000}, {kWhiteKolor, 7, 0xFF000000}};
  for (const auto& c : cases) {
    DrawnLine d(QStringLiteral("abc"));
    PropRecord para = ParaAt(d.doc.get(), kBody);
    para.set<uint32_t>(ParaField::border + BorderField::backColor, c.shading);
    para.set<int32_t>(ParaField::border + BorderField::kind, c.border);
    para.set<int64_t>(ParaField::border + BorderField::width, 12700);
    para.set<uint32_t>(ParaField::border + BorderField::lineColor, g_blackKolor);
    ASSERT_TRUE(ApplyPropsToRange({d.doc.get(), kBody, kBody + 1}, para));
    const QImage image = d.Draw(kBody, 100);
    // Inside the first letter's box.
    EXPECT_EQ(image.pixel(int(d.line.originX) + 2, int(d.line.baseline) - 4), c.text) << c.shading << " " << c.border;
  }
  SetDarkAppearance(false);
  g_glimmetConfig.darkText = savedDarkText;
  QGuiApplication::setPalette(saved);
}

// A document that hides its marks shows none, whatever the pane's option.
TEST(LineDrawing, ADocumentThatHidesMarksShowsNoneOfThem) {
  for (const bool hidden : {false, true}) {
    DrawnLine d(QStringLiteral("a b"));
    CurrentPane(d.doc.get())->showInvisibles = true;
    d.doc->docProps.body[DocField::hideBmk] = hidden;
    const QImage image = d.Draw(kBody, 100);
    int grey = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        const QRgb p = image.pixel(x, y);
        grey += qRed(p) == qGreen(p) && qGreen(p) == qBlue(p) && qGray(p) > 64 && qGray(p) < 192;
      }
    EXPECT_EQ(grey > 0, !hidden);
  }
}

}  // namespace
