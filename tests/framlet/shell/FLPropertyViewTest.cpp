// The property view: where levels and panes lie (tables), and a view driven through its
// delegate: stretching, clicks on headers, the animation and what the delegate hears.
#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/Kolor.h"
#include "framlet/shell/FLPropertyLayout.h"
#include "framlet/shell/FLPropertyView.h"
#include "framlet/shell/FLPropertyViewDelegate.h"
#include "framlet/shell/FLViewController.h"
#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QLineEdit>
#include <QScrollArea>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using Levels = std::vector<FLPropertyLevelState>;

TEST(FLPropertyLayoutTest, PanesAndHeadersStackUnderTheirHeaders) {
  const Levels levels = {{100, true, false}, {50, false, false}, {30, true, true}};
  struct Case {
    FLPropertyAnimationState animation;
    std::vector<QRectF> panes;
    std::vector<double> headerTops;
  };
  const Case cases[] = {
      {{}, {{0, 20, 200, 100}, {0, 140, 200, 0}, {0, 160, 200, 30}}, {0, 120, 140}},
      // Level 1 halfway open, level 0 a third closed (floored).
      {{1, 0.5}, {{0, 20, 200, 100}, {0, 140, 200, 25}, {0, 185, 200, 30}}, {0, 120, 165}},
      {{0, 0.333}, {{0, 20, 200, 33}, {0, 73, 200, 0}, {0, 93, 200, 30}}, {0, 53, 73}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FLPropertyLayout::paneFrames(levels, 0, 0, 200, c.animation), c.panes);
    const std::vector<QRectF> headers = FLPropertyLayout::headerRects(levels, QRectF(0, 0, 200, 400), c.animation);
    for (size_t i = 0; i < headers.size(); ++i) EXPECT_EQ(headers[i].top(), c.headerTops[i]) << i;
  }
  EXPECT_EQ(FLPropertyLayout::stackHeight(levels), 20 + 100 + 20 + 20 + 30 + 4);
  EXPECT_EQ(FLPropertyLayout::stackHeight({}), 4);
}

TEST(FLPropertyLayoutTest, OnlyHeadersOfLevelsThatMayCloseAreHit) {
  const Levels levels = {{100, true, false}, {50, false, false}, {30, true, true}};
  const QRectF bounds(0, 0, 200, 400);
  const struct {
    QPointF point;
    int64_t level;
    double headerTop;
  } cases[] = {{{5, 0}, 0, 0},      {{5, 19.9}, 0, 0}, {{5, 20}, -1, -1}, {{5, 119}, -1, -1}, {{199, 120}, 1, 120},
               {{5, 145}, -1, 140}, {{5, 300}, -1, -1}, {{200, 5}, -1, -1}};
  for (const auto& c : cases) {
    QRectF header(-1, -1, 0, 0);
    EXPECT_EQ(FLPropertyLayout::levelForPoint(levels, bounds, c.point, &header), c.level) << c.point.y();
    EXPECT_EQ(header.top(), c.headerTop) << c.point.y();
  }
}

TEST(FLPropertyLayoutTest, TallLevelsAnimateAsFourHundredPointsAndShiftSlowsTenfold) {
  const struct {
    double height;
    bool slowed;
    double seconds;
  } cases[] = {{240, false, 0.2}, {120, false, 0.1}, {600, false, 0.2 * 400 / 240}, {600, true, 2 * 400.0 / 240}};
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(FLPropertyLayout::animationDuration(c.height, c.slowed), c.seconds);
}

TEST(FLPropertyLayoutTest, HeaderGradientsFollowTheAccentAndTheAppearance) {
  const FLPropertyHeaderGradients light = PropertyHeaderGradients(QColor(10, 100, 250), false);
  EXPECT_EQ(light.normalTop, QColor(Qt::white));
  EXPECT_EQ(light.normalBottom, QColor(74, 164, 255));
  EXPECT_EQ(light.pressedTop, light.normalBottom);
  const FLPropertyHeaderGradients dark = PropertyHeaderGradients(QColor(10, 100, 250), true);
  EXPECT_EQ(dark.normalTop, QColor(10, 100, 250));
  EXPECT_EQ(dark.normalBottom, GrayColor(6));
  EXPECT_EQ(PropertyHeaderGradients(QColor(), false).normalBottom, ColorFromKolor(0x64E27C7C));
  EXPECT_EQ(PropertyHeaderGradients(QColor(), true).pressedBottom, ColorFromKolor(0x64B4B4B4));
}

// Levels of given heights named "L0", "L1", ...; the last one may be kept open.
class FakeDelegate : public FLPropertyViewDelegate {
 public:
  int64_t numberOfLevelsInPropertyView(FLPropertyView*) override { return int64_t(heights.size()); }
  FLViewController* controllerForLevel(FLPropertyView*, int64_t level) override {
    auto* controller = new FLViewController;
    controller->view()->resize(10, heights[size_t(level)]);
    controller->view()->setToolTip(QStringLiteral("L%1").arg(level));
    if (level == 0) new QLineEdit(controller->view());
    return controller;
  }
  QString nameForLevel(FLPropertyView*, int64_t) override { return QString(); }
  bool shouldOpenLevel(FLPropertyView*, int64_t level) override { return level != 1; }
  bool mayCloseLevel(FLPropertyView*, int64_t level) override { return !lastStaysOpen || level + 1 < int64_t(heights.size()); }
  void didOpenLevel(FLPropertyView*, int64_t level) override { told.push_back(level); }
  void didCloseLevel(FLPropertyView*, int64_t level) override { told.push_back(-1 - level); }
  QString emptyMessage() override { return message; }

  std::vector<int> heights = {60, 40, 30};
  bool lastStaysOpen = false;
  std::vector<int64_t> told;  // opened: level, closed: -1 - level
  QString message;
};

class PropertyViewTest : public testing::Test {
 protected:
  PropertyViewTest() { FLKernel::sharedInstance(); }
  std::vector<int> paneTops(const FLPropertyView& view) const {
    std::vector<int> tops;
    for (int64_t i = 0; i < view.levelCount(); ++i) tops.push_back(view.levelSubview(i)->geometry().top());
    return tops;
  }
  FakeDelegate delegate;
};

TEST_F(PropertyViewTest, OnItsOwnTheLastOpenLevelReachesTheBottom) {
  FLPropertyView view;
  view.setDelegate(&delegate);
  view.resize(200, 300);
  view.show();
  ASSERT_EQ(view.levelCount(), 3);
  EXPECT_TRUE(view.stretchesLastView());
  EXPECT_EQ(view.levelName(2).toStdString(), "L2");
  EXPECT_TRUE(view.levelSubview(2)->toolTip().isEmpty());  // the tooltip became the name
  EXPECT_EQ(paneTops(view), (std::vector<int>{20, 100, 120}));
  EXPECT_EQ(view.levelSubview(1)->height(), 0);
  EXPECT_EQ(view.levelSubview(2)->height(), 300 - 120 - 4);
  view.resize(200, 400);
  EXPECT_EQ(view.levelSubview(2)->height(), 400 - 120 - 4);
  EXPECT_EQ(view.levelSubview(0)->width(), 200);
}

TEST_F(PropertyViewTest, InAScrollAreaTheViewIsAsTallAsItsStack) {
  QScrollArea scroll;
  scroll.resize(220, 500);
  auto* view = new FLPropertyView;
  view->setDelegate(&delegate);
  scroll.setWidget(view);
  scroll.show();
  ASSERT_EQ(view->levelCount(), 3);
  EXPECT_FALSE(view->stretchesLastView());
  EXPECT_EQ(view->height(), 20 + 60 + 20 + 20 + 30 + 4);
  EXPECT_EQ(view->width(), int(view->workingSize().width()));
  // A pane grows: the stack follows once asked to.
  view->levelSubview(0)->resize(view->width(), 90);
  NotificationCenter::defaultCenter().post(QLatin1String(kRepositionPropertiesNotification), view->window());
  EXPECT_EQ(view->levelSubview(2)->y(), 150);  // open panes move; closed ones have no height
  EXPECT_EQ(view->height(), 20 + 90 + 20 + 20 + 30 + 4);
}

TEST_F(PropertyViewTest, ClickingAHeaderAnimatesItsLevelAndTellsTheDelegate) {
  delegate.lastStaysOpen = true;
  FLPropertyView view;
  view.setDelegate(&delegate);
  view.resize(200, 300);
  view.show();
  const QPoint header1(50, 90);  // below level 0's pane: level 1's header
  ASSERT_EQ(view.levelForPoint(header1), 1);
  // Pressed, dragged off and released elsewhere: nothing.
  QTest::mousePress(&view, Qt::LeftButton, {}, header1);
  QMouseEvent drag(QEvent::MouseMove, QPointF(50, 200), view.mapToGlobal(QPointF(50, 200)), Qt::NoButton,
                   Qt::LeftButton, {});
  QApplication::sendEvent(&view, &drag);
  QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(50, 200));
  EXPECT_FALSE(view.isAnimating());
  // The level that stays open takes no click.
  QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(50, 110));
  EXPECT_FALSE(view.isAnimating());
  EXPECT_TRUE(view.isLevelOpen(2));

  QTest::mouseClick(&view, Qt::LeftButton, {}, header1);
  EXPECT_TRUE(view.isAnimating());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !view.isAnimating(); }, 10000));
  EXPECT_TRUE(view.isLevelOpen(1));
  EXPECT_EQ(view.levelSubview(1)->height(), 40);
  EXPECT_EQ(paneTops(view), (std::vector<int>{20, 100, 160}));
  EXPECT_EQ(view.levelSubview(2)->height(), 300 - 160 - 4);
  view.toggleLevelOpen(0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !view.isAnimating(); }, 10000));
  EXPECT_EQ(paneTops(view), (std::vector<int>{20, 40, 100}));
  EXPECT_EQ(delegate.told, (std::vector<int64_t>{1, -1}));
}

TEST_F(PropertyViewTest, HeadersAndTheEmptyMessageArePainted) {
  FLPropertyView view;
  view.setDelegate(&delegate);
  view.resize(200, 300);
  view.show();
  QWidget other;
  other.show();
  QApplication::setActiveWindow(&other);
  QImage image(view.size(), QImage::Format_ARGB32);
  view.render(&image);
  // An inactive window's headers are flat grey under a line; the triangle sits 4 points in.
  EXPECT_EQ(image.pixelColor(150, 10), GrayColor(2));
  EXPECT_EQ(image.pixelColor(150, 0), GrayColor(3));
  EXPECT_NE(image.pixelColor(8, 10), GrayColor(2));

  delegate.heights.clear();
  delegate.message = QStringLiteral("Nothing Here");
  view.reloadProperties();
  EXPECT_EQ(view.levelCount(), 0);
  image.fill(Qt::black);
  view.render(&image);
  int drawn = 0;
  for (int x = 0; x < image.width(); ++x) drawn += image.pixelColor(x, 150) != g_formatPanelBackground;
  EXPECT_GT(drawn, 0);
  EXPECT_EQ(image.pixelColor(5, 5), g_formatPanelBackground);
}

TEST_F(PropertyViewTest, EscapeInAPaneDropsWhatWasTyped) {
  FLPropertyView view;
  view.setDelegate(&delegate);
  view.resize(200, 300);
  view.show();
  auto* field = view.levelSubview(0)->findChild<QLineEdit*>();
  ASSERT_NE(field, nullptr);
  field->setText(QStringLiteral("12"));
  field->setFocus();
  QApplication::setActiveWindow(&view);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
  QTest::keyClicks(field, QStringLiteral("34"));
  EXPECT_EQ(field->text().toStdString(), "1234");
  QTest::keyClick(field, Qt::Key_Escape);
  EXPECT_EQ(field->text().toStdString(), "12");
}

}  // namespace
