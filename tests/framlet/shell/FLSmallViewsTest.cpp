#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/flDrawing.h"
#include "framlet/shell/FLContainerView.h"
#include "framlet/shell/FLDisclosureCell.h"
#include "framlet/shell/FLNotifyingScrollView.h"
#include "framlet/shell/FLScroller.h"
#include "framlet/shell/FLSidePanelAnimation.h"
#include "framlet/shell/flCenterSelection.h"
#include "platform/NotificationCenter.h"

#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QImage Canvas(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(Qt::white);
  return image;
}

TEST(FLScrollerTest, DarkSlotUsesTheNoKnobFillWhenThereIsNoKnob) {
  const FLScrollerColors& colors = FLScroller::setupDarkGroove();
  for (bool withKnob : {true, false}) {
    QImage image = Canvas(15, 100);
    {
      QPainter painter(&image);
      FLScroller::drawDarkSlot(painter, QRectF(0, 0, 15, 100), true, withKnob);
    }
    EXPECT_EQ(image.pixelColor(7, 50), withKnob ? colors.grooveFill : colors.grooveFillNoKnob);
    EXPECT_EQ(image.pixelColor(0, 50), colors.grooveEdge);
    EXPECT_EQ(image.pixelColor(14, 50), colors.grooveEdge);
  }
  EXPECT_EQ(colors.grooveFillNoKnob, QColor(47, 47, 47));
}

TEST(FLContainerViewTest, FillsWithItsColourOrThePanelBackground) {
  FLContainerView view;
  view.resize(20, 20);
  view.setBackgroundColor(QColor(10, 20, 30));
  EXPECT_EQ(view.grab().toImage().pixelColor(10, 10), QColor(10, 20, 30));
  const QColor panel = g_formatPanelBackground;
  g_formatPanelBackground = QColor(200, 100, 50);
  view.setBackgroundColor(QColor(Qt::transparent));
  EXPECT_EQ(view.grab().toImage().pixelColor(10, 10), QColor(200, 100, 50));
  g_formatPanelBackground = panel;
}

TEST(FLNotifyingScrollViewTest, UserScrollingIsAnnouncedWithTheDocumentView) {
  FLNotifyingScrollView view;
  auto* content = new QWidget;
  content->resize(1000, 1000);
  view.setWidget(content);
  view.resize(100, 100);
  view.show();
  QList<QString> heard;
  const void* object = nullptr;
  int valueWhenHeard = -1;
  NotificationObserver token = NotificationCenter::defaultCenter().addObserver(
      QString(), nullptr, [&](const Notification& n) {
        if (!n.name.startsWith(QLatin1String("orvandel."))) return;
        heard << n.name;
        object = n.object;
        valueWhenHeard = view.verticalScrollBar()->value();
      });
  view.verticalScrollBar()->setValue(10);  // the program scrolling: nothing said
  EXPECT_TRUE(heard.isEmpty());
  view.verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  view.horizontalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(heard, (QList<QString>{kVerticalScrollNotification, kHorizontalScrollNotification}));
  EXPECT_EQ(object, content);
  EXPECT_GT(valueWhenHeard, 10);
}

// Starts a slide of the panel beside the donor and stops the timer so the test sets the progress.
void StartSlide(FLSidePanelAnimation& slide, QWidget* panel, QWidget* donor, bool right) {
  slide.setPanel(panel);
  slide.setDonor(donor);
  slide.setRight(right);
  slide.startAnimation();
  slide.stop();
}

TEST(FLSidePanelAnimationTest, SlidesInTakingRoomFromTheDonorAndOutGivingItBack) {
  QWidget window;
  window.resize(400, 300);
  auto* donor = new QWidget(&window);
  donor->setGeometry(0, 0, 400, 300);
  auto* panel = new QWidget;
  panel->resize(100, 50);
  {
    FLSidePanelAnimation slide(200);
    StartSlide(slide, panel, donor, true);
    EXPECT_TRUE(slide.attaching());
    EXPECT_EQ(panel->geometry(), QRect(400, 0, 100, 300));
    slide.setCurrentProgress(0.5);
    EXPECT_EQ(panel->x(), 350);
    EXPECT_EQ(donor->width(), 350);
    slide.setCurrentProgress(1);
    EXPECT_EQ(panel->x(), 300);
    EXPECT_EQ(donor->geometry(), QRect(0, 0, 300, 300));
  }
  EXPECT_FALSE(panel->isHidden());
  {
    FLSidePanelAnimation slide(200);
    StartSlide(slide, panel, donor, true);
    EXPECT_FALSE(slide.attaching());
    EXPECT_EQ(slide.endPosition(), 400);
    slide.setCurrentProgress(1);
    EXPECT_EQ(donor->width(), 400);
  }
  EXPECT_TRUE(panel->isHidden());
}

TEST(FLSidePanelAnimationTest, ALeftPanelKeepsTheDonorsRightEdge) {
  QWidget window;
  auto* donor = new QWidget(&window);
  donor->setGeometry(100, 0, 300, 200);
  auto* panel = new QWidget;
  panel->resize(80, 10);
  FLSidePanelAnimation slide(200);
  StartSlide(slide, panel, donor, false);
  EXPECT_EQ(slide.startPosition(), 20);
  slide.setCurrentProgress(1);
  EXPECT_EQ(panel->x(), 100);
  EXPECT_EQ(donor->geometry(), QRect(180, 0, 220, 200));
}

TEST(FLSidePanelAnimationTest, ShiftHeldMakesTheSlideTenTimesLonger) {
  QWidget window;
  // The keyboard's state is the application's: a shifted key click of an earlier test leaves
  // Shift down in it until a key goes up without it.
  QTest::keyRelease(&window, Qt::Key_Shift, Qt::NoModifier);
  EXPECT_EQ(FLSidePanelAnimation(250).duration(), 250);
  QTest::keyPress(&window, Qt::Key_Shift, Qt::ShiftModifier);
  EXPECT_EQ(FLSidePanelAnimation(250).duration(), 2500);
  QTest::keyRelease(&window, Qt::Key_Shift, Qt::NoModifier);
  EXPECT_EQ(FLSidePanelAnimation(250).duration(), 250);
}

TEST(FLDisclosureCellTest, PointsRightWhenClosedAndDownWhenOpen) {
  // Closed: the tip at the right, the flat side at x = -r/2. Open: the tip at the bottom.
  const struct {
    double value;
    QPoint tip, clear1, clear2;
  } cases[] = {{0, {8, 5}, {5, 9}, {0, 5}}, {1, {5, 8}, {9, 5}, {5, 0}}};
  for (const auto& c : cases) {
    QImage image = Canvas(10, 10);
    QPainter painter(&image);
    FLDisclosureCell::drawInteriorWithFrame(painter, QRectF(0, 0, 10, 10), c.value);
    painter.end();
    SCOPED_TRACE(c.value);
    EXPECT_NE(image.pixelColor(c.tip), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(c.clear1), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(c.clear2), QColor(Qt::white));
  }
  EXPECT_EQ(FLDisclosureCell::bestSize(), QSizeF(10, 10));
}

TEST(CenterRowTest, RowsNearAnEdgeComeToAThird) {
  struct Case { int visibleTop, visibleHeight, header, rowTop, rowHeight; std::optional<int> target; } const cases[] = {
      {0, 300, 0, 140, 20, std::nullopt},  // in the middle: stays
      {100, 300, 0, 110, 20, 0},           // at the top: scroll up a third
      {100, 300, 0, 90, 20, 0},            // above the top
      {100, 300, 0, 385, 20, 300},         // at the bottom: the top moves two thirds down
      {100, 300, 20, 125, 20, 27},         // a header covers the top 20 pixels
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rowTop);
    EXPECT_EQ(CenterRowTarget(c.visibleTop, c.visibleHeight, c.header, c.rowTop, c.rowHeight), c.target);
  }
}

TEST(CenterRowTest, SelectAndCenterScrollsATableAndIgnoresRowsPastTheEnd) {
  QStandardItemModel model(100, 1);
  QTableView table;
  table.setModel(&model);
  table.setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  table.verticalHeader()->setDefaultSectionSize(20);
  table.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table.resize(200, 300);
  table.show();
  const int viewport = table.viewport()->height();
  selectAndCenter(&table, 50);
  EXPECT_TRUE(table.selectionModel()->isRowSelected(50));
  const int top = table.verticalScrollBar()->value();
  EXPECT_NEAR(1000 - top, viewport / 3, 20);

  selectAndCenter(&table, 100);  // past the end: nothing
  EXPECT_TRUE(table.selectionModel()->isRowSelected(50));
  centerRow(&table, 50);  // now well inside: stays
  EXPECT_EQ(table.verticalScrollBar()->value(), top);
  selectAndCenter(&table, -1);
  EXPECT_FALSE(table.selectionModel()->hasSelection());
}

}  // namespace
