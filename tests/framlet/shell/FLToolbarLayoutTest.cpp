// The toolbar's sums without a widget: segment widths and hits, the stored configuration, and
// the layout of tools with flexible spaces and overflow. Expected numbers are worked out by hand
// from the toolbar's rules (gap S = 8 in modes 1 and 2, cells at least 32 wide).
#include "framlet/shell/FLToolbarLayout.h"
#include "framlet/shell/flToolbarGeometry.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

FLToolbarTool Tool(int32_t type, double labelWidth = 0, double viewWidth = 0) {
  FLToolbarTool tool;
  tool.toolType = type;
  tool.labelWidth = labelWidth;
  tool.isEnabled = true;
  tool.rect = QRectF(0, 4, type == kFLToolView ? viewWidth : 32, type == kFLToolView ? 21 : 32);
  return tool;
}

FLToolbarTool Icon(double labelWidth = 20) { return Tool(kFLToolIcon, labelWidth); }
FLToolbarTool Flex() { return Tool(kFLToolFlexibleSpace); }
FLToolbarTool Space() { return Tool(kFLToolSpace); }

FLToolbarLayoutState State(double width, int mode = kFLToolbarIconOnly) {
  FLToolbarLayoutState state;
  state.displayMode = mode;
  state.layoutWidth = width;
  return state;
}

}  // namespace

TEST(ToolbarSegmentsTest, WidthsAddUpToTheBar) {
  struct Case {
    double width, height;
    int64_t count;
    bool round;
    double centre, endcap;
    std::vector<double> widths;
  };
  const Case cases[] = {
      // Three tabs in 130 x 21 without round ends: cap max(floor(22 / 4), 2) = 5,
      // avail 130 - 10 - 34 = 86, base 28, remainder 2: first +1, middle +1.
      {130, 21, 3, false, 0, 5, {43, 46, 41}},
      // The undo pair in 88 x 21: avail 88 - 10 - 17 = 61, base 30, remainder 1 to the first.
      {88, 21, 2, false, 0, 5, {45, 43}},
      // One tab spans the whole width.
      {60, 21, 1, false, 0, 5, {60}},
      // Round ends: cap 21 / 2 - 0.5 = 10, e 10; avail 130 - 20 - 34 = 76, base 25, rem 1.
      {130, 21, 3, true, 0, 10, {45, 42, 43}},
      // A wider middle tab: avail 86 - 10 = 76, base 25, rem 1.
      {130, 21, 3, false, 10, 5, {40, 52, 38}},
  };
  for (const Case& c : cases) {
    const FLSegmentsMetrics metrics = LayoutSegments(c.width, c.height, c.count, c.round, c.centre, true);
    EXPECT_EQ(metrics.endcapWidth, c.endcap) << c.width << " " << c.count;
    EXPECT_EQ(metrics.tabWidths, c.widths) << c.width << " " << c.count << " round " << c.round;
    EXPECT_EQ(std::accumulate(metrics.tabWidths.begin(), metrics.tabWidths.end(), 0.0), c.width);
  }
}

TEST(ToolbarSegmentsTest, PointsFindTheirTab) {
  const std::vector<double> widths{43, 46, 41};
  const struct { QPointF point; int64_t tab; } cases[] = {
      {{0, 10}, 0},   {{42.9, 10}, 0}, {{43, 10}, 1}, {{88.9, 10}, 1}, {{89, 10}, 2},
      {{129, 21}, 2}, {{10, -1}, -1},  {{10, 22}, -1}, {{500, 5}, 2},
  };
  for (const auto& c : cases) EXPECT_EQ(SegmentAtPoint(widths, 21, c.point), c.tab) << c.point.x() << "," << c.point.y();
  EXPECT_EQ(SegmentAtPoint({130}, 21, QPointF(100, 5)), 0);
}

TEST(ToolbarConfigTest, StoredValuesAreReadWithinRange) {
  const struct { QVariantMap stored; bool canCustomize; int mode; bool shown; QStringList ids; } cases[] = {
      {{}, true, 1, true, {}}, {{{"TB Display Mode", 0}}, true, 1, true, {}},
      {{{"TB Display Mode", 7}}, true, 1, true, {}},
      {{{"TB Display Mode", 3}, {"TB Is Shown", false}}, true, 3, false, {}},
      {{{"TB Display Mode", 2}, {"TB Item Identifiers", QStringList{"a", "b"}}}, true, 2, true, {"a", "b"}},
      {{{"TB Item Identifiers", QStringList{"a"}}}, false, 1, true, {}},
  };
  for (const auto& c : cases) {
    const FLToolbarConfig config = ReadToolbarConfig(c.stored, c.canCustomize);
    EXPECT_EQ(config.displayMode, c.mode);
    EXPECT_EQ(config.isShown, c.shown);
    EXPECT_EQ(config.itemIdentifiers, c.ids);
  }
  const QVariantMap written = ToolbarConfigWithDisplay({{"TB Item Identifiers", QStringList{"x"}}, {"other", 4}}, 2, false);
  EXPECT_EQ(written.value("TB Display Mode").toInt(), 2);
  EXPECT_FALSE(written.value("TB Is Shown").toBool());
  EXPECT_EQ(written.value("other").toInt(), 4);
  EXPECT_EQ(ToolbarConfigKey("G-1"), "NSToolbar Configuration G-1");
}

TEST(ToolbarLayoutTest, CellWidthsFollowTheMode) {
  std::vector<FLToolbarTool> tools{Icon(20), Icon(50), Tool(kFLToolView, 40, 130), Space()};
  const struct { int mode; std::vector<double> widths; } cases[] = {
      {kFLToolbarIconAndText, {32, 50, 130, 32}}, {kFLToolbarIconOnly, {32, 32, 130, 32}},
      {kFLToolbarTextOnly, {20, 50, 40, 32}},
  };
  for (const auto& c : cases) {
    FLToolbarLayout layout(tools, State(800, c.mode));
    for (size_t i = 0; i < tools.size(); ++i) EXPECT_EQ(layout.widthOfTool(tools[i], false), c.widths[i]) << c.mode << " " << i;
  }
}

TEST(ToolbarLayoutTest, FlexibleSpacesShareTheRoomAndTrailingSpacesNeverOverflow) {
  const struct {
    std::vector<FLToolbarTool> tools;
    double width;
    bool canZoom;
    std::vector<double> xs;  // where each tool begins
    std::vector<std::pair<size_t, double>> flexWidths;
    int64_t overflow;
  } cases[] = {
      // Icon only, S 8: A at 8; flex at 48; group B C is 2 x (32 + 8) = 80 wide; first flex =
      // floor((400 - 80) / 2) - 48 = 112, so B starts at 160 = (400 - 80) / 2. The second flex
      // right-aligns the last icon: 400 - 40 - 240 = 120, the icon at 360.
      {{Icon(), Flex(), Icon(), Icon(), Flex(), Icon()}, 400, true, {8, 48, 160, 200, 240, 360},
       {{1, 112}, {4, 120}}, kFLToolNotFound},
      // One flex at 88; the two icons after it need 80: 300 - 80 - 88 = 132.
      {{Icon(), Icon(), Flex(), Icon(), Icon()}, 300, true, {8, 48, 88, 220, 260}, {{2, 132}}, kFLToolNotFound},
      {{Icon(), Icon(), Space(), Space(), Flex()}, 100, true, {}, {}, kFLToolNotFound},
      // A zoomed window hides tools without a chevron: tool 3 at 128 does not fit in 130 - 8.
      {{Icon(), Icon(), Icon(), Icon()}, 130, false, {}, {}, 3},
  };
  for (auto c : cases) {
    SCOPED_TRACE(c.width);
    FLToolbarLayoutState state = State(c.width);
    state.canZoom = c.canZoom;
    FLToolbarLayout layout(c.tools, state);
    layout.layout();
    for (size_t i = 0; i < c.xs.size(); ++i) EXPECT_EQ(c.tools[i].x, c.xs[i]) << i;
    for (const auto& [index, width] : c.flexWidths) EXPECT_EQ(c.tools[index].rect.width(), width) << index;
    EXPECT_EQ(layout.overflowIndex(), c.overflow);
    EXPECT_EQ(layout.overflowRect().x(), 0);  // no chevron
  }
}

TEST(ToolbarLayoutTest, AThirdFlexibleSpaceAndAFlexAfterAFlexAreMinimal) {
  std::vector<FLToolbarTool> tools{Flex(), Icon(), Flex(), Flex(), Icon(), Flex(), Icon()};
  FLToolbarLayout layout(tools, State(1000));
  int64_t flexCount = 1;
  EXPECT_EQ(layout.widthOfFlex(3, 100, flexCount), 40);  // directly after another
  flexCount = 2;
  EXPECT_EQ(layout.widthOfFlex(5, 100, flexCount), 40);  // the third
  flexCount = 0;
  EXPECT_EQ(layout.widthOfFlex(6, 100, flexCount), 0);   // as the last tool
  EXPECT_EQ(flexCount, 0);
}

TEST(ToolbarLayoutTest, OverflowFirstDropsTheFlexibleSpacesThenShowsTheChevron) {
  // A flexible space is never narrower than a plain cell and its gap (32 + 8), so once the
  // tools overflow the layout without flexes overflows too, with the flex 32 wide.
  std::vector<FLToolbarTool> tools{Icon(), Flex(), Icon(), Icon(), Icon(), Icon()};
  FLToolbarLayout wide(tools, State(240));
  wide.layout();
  EXPECT_EQ(tools[1].rect.width(), 32);
  // Tool 5 (x 208) ends at 240 > 232; the chevron at 240 - 8 - 32 = 200 leaves room for tool 3
  // (x 128, 128 + 32 + 8 = 168), not for tool 4 (168 + 40 = 208).
  EXPECT_EQ(wide.overflowRect(), QRectF(200, 4, 32, 32));
  EXPECT_EQ(wide.overflowIndex(), 4);

  FLToolbarLayout tight(tools, State(200));
  tight.layout();
  // Tool 4 (x 168) would end at 200 > 192; the chevron at 200 - 8 - 32 = 160 leaves room
  // for tool 2 (x 88, 88 + 32 + 8 = 128), not for tool 3 (128 + 40 = 168 > 160).
  EXPECT_EQ(tight.overflowRect(), QRectF(160, 4, 32, 32));
  EXPECT_EQ(tight.overflowIndex(), 3);
  EXPECT_EQ(tight.visibleCount(), 3u);
}

TEST(ToolbarLayoutTest, HitsNeedAnEnabledToolUnderThePoint) {
  std::vector<FLToolbarTool> tools{Icon(), Space(), Icon(), Icon()};
  tools[3].isEnabled = false;
  FLToolbarLayout layout(tools, State(400, kFLToolbarIconAndText));
  layout.layout();
  // Mode 1: an icon with a 20-wide label is not wide; a space (no label, 32) is, so it and the
  // tool after it shift by 16 - 8 and take gaps of 16.
  EXPECT_EQ(tools[0].rect, QRectF(8, 4, 32, 32));
  EXPECT_EQ(tools[1].x, 56);
  EXPECT_EQ(tools[2].x, 104);
  EXPECT_EQ(tools[3].x, 144);
  const struct { QPointF point; int64_t index; } cases[] = {
      {{8, 4}, 0},  {{39, 35}, 0}, {{20, 40}, kFLToolNotFound},  // the label below the icon
      {{60, 10}, kFLToolNotFound}, {{110, 10}, 2}, {{tools[3].rect.x() + 1, 10}, kFLToolNotFound},
      {{4, 10}, kFLToolNotFound},
  };
  for (const auto& c : cases) EXPECT_EQ(layout.toolIndexAtPoint(c.point, 12), c.index) << c.point.x() << "," << c.point.y();
}
