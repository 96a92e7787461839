#include "glimmet/layout/GMDraftScrollView.h"

#include "framlet/shell/FLNotifyingScrollView.h"
#include "glimmet/layout/ViewTestSupport.h"
#include "glimmet/layout/gmViewNotifications.h"

#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace {

struct ScrollFixture {
  ShownDocument shown{QStringLiteral("one\ntwo\nthree"), QSize(400, 300), false};
  GMDraftScrollView& scroll = *shown.scrollView;
  int redraws = 0;
  // A position the document keeps: the start of its second line.
  double second = [this] {
    shown.view->grab();
    return double(shown.pane()->lines.cpAt(1));
  }();
  NotificationObserver observer = NotificationCenter::defaultCenter().addObserver(
      kVerticalScrollNotification, shown.view, [this](const Notification&) { ++redraws; });
};

TEST(DraftScrollView, AMaximumThatFitsDisablesTheScroller) {
  ScrollFixture f;
  f.scroll.setScrollPosition(3, 5, 10, true);
  EXPECT_FALSE(f.scroll.verticalScroller()->isEnabled());
  EXPECT_EQ(f.scroll.currentPosition(true), 0.0);
  f.scroll.setScrollPosition(f.second, 50, 10, true);
  EXPECT_TRUE(f.scroll.verticalScroller()->isEnabled());
  EXPECT_EQ(f.scroll.currentPosition(true), f.second);
}

TEST(DraftScrollView, TheKnobKeepsItsSizeWithinTenPercent) {
  struct Step {
    double max;
    double knob;
  };
  const Step steps[] = {{100, 0.1}, {105, 0.1}, {130, 10.0 / 130}, {125, 10.0 / 125}};
  ScrollFixture f;
  for (const Step& step : steps) {
    f.scroll.setScrollPosition(1, step.max, 10, true);
    EXPECT_NEAR(f.scroll.scrollState(true).knobFraction, step.knob, 1e-6) << step.max;
  }
}

TEST(DraftScrollView, TheSameReportTwiceRedrawsOnce) {
  ScrollFixture f;
  f.scroll.setScrollPosition(f.second, 40, 10, true);
  const int first = f.redraws;
  EXPECT_GE(first, 1);
  f.scroll.setScrollPosition(f.second, 40, 10, true);
  EXPECT_EQ(f.redraws, first);
  // After a new document the first report always counts as a change.
  f.scroll.setDocument(f.shown.document.get());
  f.scroll.setScrollPosition(f.second, 40, 10, true);
  EXPECT_GT(f.redraws, first);
}

TEST(DraftScrollView, WheelWithoutDeltaAndUnknownDirectionsDoNothing) {
  ScrollFixture f;
  f.scroll.setScrollPosition(f.second, 40, 10, true);
  const int before = f.redraws;
  const int32_t first = f.shown.pane()->firstDraftCp;
  QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(&f.scroll, &wheel);
  f.scroll.autoScroll(6, true);
  EXPECT_EQ(f.redraws, before);
  EXPECT_EQ(f.shown.pane()->firstDraftCp, first);
}

TEST(DraftScrollView, HorizontalPagesAreWholeStepsOf32Points) {
  ScrollFixture f;
  f.scroll.setup(true);
  f.scroll.resize(250 + GMDraftScrollView::scrollerWidth(), 200);
  ASSERT_EQ(f.shown.view->width(), 250);
  f.scroll.setScrollPosition(0, 1000, 250, false);
  f.scroll.handleHorizontalScroll(kScrollerIncrementPage);
  EXPECT_EQ(f.scroll.currentPosition(false), 224.0);
  f.scroll.handleHorizontalScroll(kScrollerDecrementLine);
  EXPECT_EQ(f.scroll.currentPosition(false), 192.0);
  EXPECT_FALSE(f.scroll.cornerRect().isEmpty());
}

TEST(DraftScrollView, LayoutLeavesRoomForTheScrollersAndTheLineAbove) {
  ScrollFixture f;
  f.scroll.resize(300, 200);
  f.scroll.setDrawLineAbove(true);
  const int sw = GMDraftScrollView::scrollerWidth();
  EXPECT_EQ(f.shown.view->geometry(), QRect(0, 1, 300 - sw, 199));
  EXPECT_EQ(f.scroll.verticalScroller()->geometry(), QRect(300 - sw, 1, sw, 199));
  EXPECT_TRUE(f.scroll.cornerRect().isEmpty());
}

TEST(DraftScrollView, ScrollerStepsScrollTheDocumentAndReportOnceWhenIdle) {
  QString text;
  for (int i = 0; i < 100; ++i) text += QStringLiteral("line %1\n").arg(i);
  ShownDocument shown(text);
  shown.view->grab();
  int done = 0;
  NotificationObserver observer = NotificationCenter::defaultCenter().addObserver(
      kGMScrollDoneNotification, shown.view, [&](const Notification&) { ++done; });
  ASSERT_TRUE(shown.scrollView->verticalScroller()->isEnabled());
  const int32_t top = shown.pane()->firstDraftCp;
  shown.scrollView->handleVerticalScroll(kScrollerIncrementLine);
  shown.scrollView->handleVerticalScroll(kScrollerIncrementLine);
  const int32_t twoLines = shown.pane()->firstDraftCp;
  EXPECT_GT(twoLines, top);
  shown.scrollView->handleVerticalScroll(kScrollerIncrementPage);
  EXPECT_GT(shown.pane()->firstDraftCp, twoLines);
  EXPECT_EQ(shown.scrollView->currentPosition(true), shown.pane()->firstDraftCp);
  EXPECT_TRUE(QTest::qWaitFor([&done] { return done > 0; }, 10000));
  EXPECT_EQ(done, 1);
  shown.scrollView->handleVerticalScroll(kScrollerDecrementPage);
  shown.scrollView->handleVerticalScroll(kScrollerDecrementPage);
  EXPECT_EQ(shown.pane()->firstDraftCp, top);
}

}  // namespace
