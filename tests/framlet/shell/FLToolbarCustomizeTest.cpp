// Customising a toolbar: where a dragged tool lands, the wiggle, the palette's geometry, and
// whole customisations driven through the palette and the bar with drags played by the test.
#include "framlet/shell/FLToolbarEditView.h"
#include "framlet/shell/FLToolbarView.h"

#include "framlet/shell/FLToolbarDelegate.h"
#include "framlet/shell/FLToolbarSegmentsDelegate.h"
#include "framlet/shell/flToolbarCustomizing.h"
#include "framlet/shell/flToolbarGeometry.h"
#include "platform/UserDefaults.h"

#include <QComboBox>
#include <QDrag>
#include <QDropEvent>
#include <QMainWindow>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

FLToolbarTool Tool(uint64_t sequence, QRectF rect, double labelWidth = 0) {
  FLToolbarTool tool;
  tool.sequenceID = sequence;
  tool.rect = rect;
  tool.labelWidth = labelWidth;
  tool.toolType = kFLToolIcon;
  return tool;
}

std::vector<uint64_t> Sequences(const std::vector<FLToolbarTool>& tools) {
  std::vector<uint64_t> ids;
  for (const FLToolbarTool& tool : tools) ids.push_back(tool.sequenceID);
  return ids;
}

TEST(ToolbarCustomizingGeometry, ADraggedToolGoesBeforeTheToolItReachesIntoFarEnough) {
  const std::vector<FLToolbarTool> bar = {Tool(1, {8, 4, 32, 32}, 20), Tool(2, {56, 4, 32, 32}, 50),
                                          Tool(3, {120, 4, 32, 32}), Tool(4, {160, 4, 100, 26})};
  const FLToolbarTool narrow = Tool(9, {0, 4, 32, 32});
  const FLToolbarTool labelled = Tool(9, {0, 4, 32, 32}, 40);
  const struct {
    double px;
    const FLToolbarTool* dragging;
    size_t visible;
    int64_t expected;
  } cases[] = {
      {0, &narrow, 4, 0},       // equal widths: the tool's own index
      {50, &narrow, 4, 1},      // left of 56 + min(32, 50)
      {87.7, &labelled, 4, 1},  // floored to 87, inside the first 40 points of the second tool
      {190, &labelled, 4, 3},   // inside the first 40 points of the wide view
      {210, &labelled, 4, 4},   // beyond them: after the view
      {210, &labelled, 3, 3},   // the view overflows: past the shown tools
      {500, &narrow, 4, 4},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ToolbarInsertionIndex(bar, c.visible, c.px, *c.dragging), c.expected) << c.px;
  // The dragged tool itself, found by its sequence, keeps its place.
  EXPECT_EQ(ToolbarInsertionIndex(bar, 4, 60, bar[1]), 1);
}

TEST(ToolbarCustomizingGeometry, MovingTheDraggedToolTakesItOutAndPutsItBack) {
  const struct {
    uint64_t dragged;
    int64_t pos;
    bool changed;
    std::vector<uint64_t> order;
    int64_t dragTo;
  } cases[] = {
      {1, 3, true, {2, 3, 1}, 2},     {3, 0, true, {3, 1, 2}, 0},
      {2, 2, true, {1, 2, 3}, 1},     // just right of itself: the same order, but an edit
      {2, 1, false, {1, 2, 3}, 1},    {9, 1, true, {1, 9, 2, 3}, 1},
      {9, 10, true, {1, 2, 3, 9}, 3},
  };
  for (const auto& c : cases) {
    std::vector<FLToolbarTool> tools = {Tool(1, {}), Tool(2, {}), Tool(3, {})};
    int64_t dragTo = -5;
    EXPECT_EQ(MoveDraggingTool(tools, Tool(c.dragged, {}), c.pos, dragTo), c.changed) << c.dragged << "->" << c.pos;
    EXPECT_EQ(Sequences(tools), c.order) << c.dragged << "->" << c.pos;
    EXPECT_EQ(dragTo, c.dragTo);
  }
}

TEST(ToolbarCustomizingGeometry, IconsWiggleInOppositePhases) {
  const double expected[] = {0, 1, 2, 1, 0, -1, -2, -1, 0, 1};
  for (int w = 0; w < 10; ++w) {
    EXPECT_EQ(WiggleOffset(w, 0), expected[w]) << w;
    EXPECT_EQ(WiggleOffset(w, 3), -expected[w]) << w;
  }
}

TEST(ToolbarCustomizingGeometry, ThePaletteWrapsItsToolsAndKeepsItsMinimumWidth) {
  FLPaletteMetrics metrics;
  metrics.textHeight = 16;
  metrics.defaultRowHeight = 62;
  metrics.doneSize = QSizeF(96, 30);
  metrics.showLabelWidth = 40;
  metrics.popupHeight = 26;
  const std::vector<FLPaletteCell> tools(3, FLPaletteCell{40, QSizeF(32, 20)});
  const std::vector<FLPaletteCell> defaults(2, FLPaletteCell{40, QSizeF(32, 32)});
  const struct {
    double width;
    int toolRows, defaultRows;
    QRectF panel;
    QRectF secondTool;
  } cases[] = {
      {800, 1, 1, QRectF(243, 0, 313, 32 + 72 + 62 + 144), QRectF(60, 6, 32, 20)},
      {150, 3, 2, QRectF(-82, 0, 313, 32 + 216 + 124 + 144), QRectF(4, 78, 32, 20)},
  };
  for (const auto& c : cases) {
    const FLPaletteLayout layout = LayoutPalette(QSizeF(c.width, 400), tools, defaults, metrics);
    EXPECT_EQ(layout.toolRowCount, c.toolRows) << c.width;
    EXPECT_EQ(layout.defaultRowCount, c.defaultRows) << c.width;
    EXPECT_EQ(layout.rects[kPalettePanel], c.panel) << c.width;
    EXPECT_EQ(layout.toolRects[1], c.secondTool) << c.width;
    // Done sits at the panel's right inset, 13 below the separator.
    EXPECT_EQ(layout.rects[kPaletteDoneButton].right(), c.panel.width() - 18);
    EXPECT_EQ(layout.rects[kPaletteDoneButton].top(), layout.rects[kPaletteSeparator].top() + 13);
  }
}

// ---- Whole customisations ----------------------------------------------------------------------

const FLToolbarItem kItems[] = {
    {kFLToolbarSpaceItem, nullptr, nullptr, "Space"},
    {kFLToolbarFlexibleSpaceItem, nullptr, nullptr, "Flexible Space"},
    {"A", "ATool", "Alpha", nullptr, "alpha:", nullptr, 0},
    {"B", "BTool", "Beta", nullptr, "beta:", nullptr, 0},
    {"C", "CTool", "Gamma", nullptr, "gamma:", nullptr, 0},
    {"S", kFLToolbarSegmentsClass, "Segs", nullptr, nullptr, nullptr, 1, 90, 21, 1},
};

class Owner : public FLToolbarDelegate, public FLToolbarSegmentsDelegate {
 public:
  QString toolbarGuid() const override { return QStringLiteral("CUSTOMIZE-GUID"); }
  const FLToolbarItem* toolbarItems() const override { return kItems; }
  uint64_t numberOfToolbarItems() const override { return std::size(kItems); }
  QStringList defaultToolbarItems() const override { return {"A", "B"}; }
  void customizationDidEndForToolbar(FLToolbarView*) override { ++ended; }
  void toolbarItemsChanged(FLToolbarView*) override { ++changed; }
  QVariantList tabsForSegments(FLToolbarSegments*) override { return {QStringLiteral("L"), QStringLiteral("R")}; }
  void tabWasSelected(int64_t, FLToolbarSegments*) override {}
  int ended = 0, changed = 0;
};

struct Window {
  std::unique_ptr<QMainWindow> window = std::make_unique<QMainWindow>();
  FLToolbarView* toolbar = nullptr;
  QWidget* container = nullptr;
};

// Plays a drag: enters the target at the first point, moves through the others, then drops at
// the last or, with drop false, leaves the target.
struct DragScript {
  QWidget* target = nullptr;
  std::vector<QPoint> points;
  bool drop = true;
};

class ToolbarCustomizeTest : public ::testing::Test {
 protected:
  void SetUp() override { UserDefaults::standardUserDefaults().removeObjectForKey(key()); }
  void TearDown() override {
    // A change is announced on the next turn of the event loop: it reaches this test's bars, not
    // the next test's.
    QTest::qWait(20);
    SetToolbarDragRunner(nullptr);
    UserDefaults::standardUserDefaults().removeObjectForKey(key());
  }
  QString key() const { return ToolbarConfigKey(owner.toolbarGuid()); }

  Window& open() {
    Window& w = windows.emplace_back();
    auto* content = new QWidget(w.window.get());
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    w.container = new QWidget(content);
    w.toolbar = new FLToolbarView(content);
    w.toolbar->setUp(&owner, w.container);
    column->addWidget(w.toolbar);
    column->addWidget(w.container, 1);
    w.window->setCentralWidget(content);
    w.window->resize(700, 500);
    w.window->show();
    w.toolbar->grab();
    return w;
  }

  FLToolbarEditView* customize(Window& w) {
    w.toolbar->customizeToolbar();
    w.toolbar->grab();
    return w.toolbar->customizingView();
  }

  void play(const DragScript& script) {
    SetToolbarDragRunner([script](QDrag* drag, Qt::DropActions actions) {
      const QMimeData* data = drag->mimeData();
      QDragEnterEvent enter(script.points.front(), actions, data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(script.target, &enter);
      if (!enter.isAccepted()) return Qt::IgnoreAction;
      for (size_t i = 1; i < script.points.size(); ++i) {
        QDragMoveEvent move(script.points[i], actions, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(script.target, &move);
      }
      if (!script.drop) {
        QDragLeaveEvent leave;
        QApplication::sendEvent(script.target, &leave);
        return Qt::IgnoreAction;
      }
      QDropEvent drop(script.points.back(), actions, data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(script.target, &drop);
      return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
    });
  }

  // Drags the palette's tool with this GUID (or the default box) onto the bar at the points.
  void dragFromPalette(Window& w, const QString& guid, std::vector<QPoint> points, bool drop = true) {
    FLToolbarEditView* palette = w.toolbar->customizingView();
    play({w.toolbar, std::move(points), drop});
    QRectF from = palette->defaultBoxInView();
    for (size_t i = 0; i < palette->tools().size(); ++i) {
      if (guid == QLatin1String(palette->tools()[i].item->guid)) from = palette->toolRectInView(i);
    }
    QTest::mousePress(palette, Qt::LeftButton, {}, from.center().toPoint());
    QTest::mouseRelease(palette, Qt::LeftButton, {}, from.center().toPoint());
  }

  QStringList guids(const FLToolbarView* toolbar) const {
    QStringList list;
    for (const FLToolbarTool& tool : toolbar->tools()) list.append(QLatin1String(tool.item->guid));
    return list;
  }
  QPoint leftEdgeOf(const FLToolbarView* toolbar, int index) const {
    const QRectF rect = toolbar->tools()[size_t(index)].rect;
    return QPoint(int(rect.x()) + 1, int(rect.center().y()));
  }
  QStringList storedGuids() const {
    return UserDefaults::standardUserDefaults().dictionaryForKey(key()).value(kFLToolbarItemIdentifiersKey).toStringList();
  }

  Owner owner;
  std::list<Window> windows;
};

TEST_F(ToolbarCustomizeTest, ThePaletteCoversTheContentUntilReturnEndsItWithTheChosenMode) {
  UserDefaults::standardUserDefaults().setObject(
      QVariantMap{{kFLToolbarDisplayModeKey, 2}, {kFLToolbarItemIdentifiersKey, QStringList{"B", "A"}}}, key());
  Window& w = open();
  FLToolbarEditView* palette = customize(w);
  ASSERT_TRUE(palette);
  EXPECT_EQ(w.toolbar->displayMode(), kFLToolbarIconAndText);  // customising shows icons and text
  EXPECT_EQ(palette->displayMode(), kFLToolbarIconOnly);
  EXPECT_EQ(palette->tools().size(), std::size(kItems));
  ASSERT_EQ(palette->defaultTools().size(), 2u);
  EXPECT_EQ(palette->geometry().top(), w.toolbar->geometry().bottom() + 1);
  EXPECT_TRUE(FLToolbarEditView::isCustomizingOver(w.window.get()));
  EXPECT_TRUE(FLToolbarEditView::isCustomizingOver(w.container));
  EXPECT_FALSE(w.toolbar->menuForEvent());
  // The panel is drawn in its light grey.
  const QRectF panel = palette->layoutPanel().rects[kPalettePanel];
  const QImage picture = palette->grab().toImage();
  EXPECT_EQ(picture.pixelColor(QPoint(int(panel.left()) + 8, int(panel.bottom()) - 8)), QColor(236, 236, 236));

  emit palette->modePopup()->activated(2);
  QTest::keyClick(palette, Qt::Key_Return);
  EXPECT_FALSE(w.toolbar->isCustomizing());
  EXPECT_FALSE(FLToolbarEditView::isCustomizingOver(w.container));
  EXPECT_EQ(owner.ended, 1);
  EXPECT_EQ(w.toolbar->displayMode(), kFLToolbarTextOnly);
  const QVariantMap stored = UserDefaults::standardUserDefaults().dictionaryForKey(key());
  EXPECT_EQ(stored.value(kFLToolbarDisplayModeKey).toInt(), kFLToolbarTextOnly);
  EXPECT_EQ(storedGuids(), (QStringList{"B", "A"}));  // no edit: the set is left as it was
}

TEST_F(ToolbarCustomizeTest, APaletteToolDroppedInTheBarIsStoredAndTakenOverByTheOtherWindow) {
  Window& first = open();
  Window& second = open();
  customize(first);
  dragFromPalette(first, "C", {leftEdgeOf(first.toolbar, 1)});
  EXPECT_EQ(guids(first.toolbar), (QStringList{"A", "C", "B"}));
  EXPECT_TRUE(first.toolbar->toolsetChanged());
  EXPECT_EQ(first.toolbar->dragToIndex(), kFLToolNotFound);

  first.toolbar->customizingView()->done();
  EXPECT_EQ(storedGuids(), (QStringList{"A", "C", "B"}));
  EXPECT_EQ(guids(second.toolbar), (QStringList{"A", "B"}));
  // The change is announced on a later turn of the event loop.
  EXPECT_TRUE(QTest::qWaitFor([&] { return guids(second.toolbar) == QStringList{"A", "C", "B"}; }, 10000));
  EXPECT_EQ(guids(second.toolbar), (QStringList{"A", "C", "B"}));
  EXPECT_EQ(owner.changed, 2);
}

TEST_F(ToolbarCustomizeTest, AShownToolDraggedFromThePaletteMovesWhileSpacesAreAddedEachTime) {
  Window& w = open();
  customize(w);
  const QPoint end(650, 20);
  dragFromPalette(w, "A", {leftEdgeOf(w.toolbar, 0), end});
  EXPECT_EQ(guids(w.toolbar), (QStringList{"B", "A"}));
  dragFromPalette(w, kFLToolbarSpaceItem, {end});
  dragFromPalette(w, kFLToolbarSpaceItem, {end});
  EXPECT_EQ(guids(w.toolbar), (QStringList{"B", "A", kFLToolbarSpaceItem, kFLToolbarSpaceItem}));
  // A view tool comes as a picture while customising, and as its view afterwards.
  dragFromPalette(w, "S", {end});
  ASSERT_EQ(w.toolbar->tools().size(), 5u);
  EXPECT_FALSE(w.toolbar->tools()[4].customizingImage.isNull());
  QWidget* segments = w.toolbar->tools()[4].view;
  ASSERT_TRUE(segments);
  EXPECT_FALSE(segments->isVisible());
  w.toolbar->customizationComplete(kFLToolbarIconAndText);
  EXPECT_TRUE(segments->isVisible());
  EXPECT_EQ(storedGuids(), (QStringList{"B", "A", kFLToolbarSpaceItem, kFLToolbarSpaceItem, "S"}));
}

TEST_F(ToolbarCustomizeTest, AToolDraggedOutOfTheBarIsRemovedAndTheDefaultSetComesBack) {
  UserDefaults::standardUserDefaults().setObject(
      QVariantMap{{kFLToolbarItemIdentifiersKey, QStringList{"C", "S", "B"}}}, key());
  Window& w = open();
  customize(w);
  QPointer<QWidget> segments = w.toolbar->tools()[1].view;
  const QPoint from = w.toolbar->tools()[1].rect.center().toPoint();
  play({w.toolbar, {from}, false});
  QTest::mousePress(w.toolbar, Qt::LeftButton, {}, from);
  EXPECT_EQ(guids(w.toolbar), (QStringList{"C", "B"}));
  EXPECT_TRUE(QTest::qWaitFor([&segments] { return segments.isNull(); }, 10000));  // the removed view goes with its tool

  // A tool dragged within the bar and dropped where it was keeps the order.
  play({w.toolbar, {leftEdgeOf(w.toolbar, 0)}, true});
  QTest::mousePress(w.toolbar, Qt::LeftButton, {}, leftEdgeOf(w.toolbar, 0));
  EXPECT_EQ(guids(w.toolbar), (QStringList{"C", "B"}));

  dragFromPalette(w, kFLToolbarDefaultSetDrag, {QPoint(300, 20)});
  EXPECT_EQ(guids(w.toolbar), (QStringList{"A", "B"}));
  // Closing the window ends customising as Done does.
  w.window->close();
  EXPECT_FALSE(w.toolbar->isCustomizing());
  EXPECT_EQ(storedGuids(), (QStringList{"A", "B"}));
}

}  // namespace
