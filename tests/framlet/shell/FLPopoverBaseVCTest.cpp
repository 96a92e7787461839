#include "framlet/shell/FLPopoverBaseVC.h"

#include "framlet/shell/FLPopoverDependent.h"
#include "platform/NotificationCenter.h"

#include <QLabel>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

class Dependent : public FLPopoverDependent {
 public:
  void popoverWillClose() override { ++closes; }
  int closes = 0;
};

class PopoverTest : public testing::Test {
 protected:
  void SetUp() override {
    observer = NotificationCenter::defaultCenter().addObserver(QString::fromLatin1(kClosePopoversNotification), nullptr,
                                                               [this](const Notification&) { ++posts; });
    anchor.resize(200, 100);
    anchor.show();
  }

  QWidget anchor;
  int posts = 0;
  NotificationObserver observer;
};

TEST_F(PopoverTest, ClosePopoversClosesEveryOpenPopoverAndTheControllersGo) {
  QPointer<FLPopoverBaseVC> first = new FLPopoverBaseVC, second = new FLPopoverBaseVC;
  Dependent dependent;
  first->setDependent(&dependent);
  first->showPopover(new QLabel(QStringLiteral("one")), &anchor, QRect(10, 10, 20, 20));
  second->showPopover(new QLabel(QStringLiteral("two")), &anchor, QRect(40, 10, 20, 20));
  QPointer<QWidget> firstPopover = first->popover();
  ASSERT_TRUE(firstPopover && firstPopover->isVisible());
  EXPECT_EQ(FLPopoverBaseVC::registeredCount(), 2);

  FLPopoverBaseVC::closePopovers();
  EXPECT_EQ(posts, 1);
  EXPECT_EQ(dependent.closes, 1);
  EXPECT_EQ(FLPopoverBaseVC::registeredCount(), 0);
  EXPECT_FALSE(firstPopover->isVisible());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(first.isNull());
  EXPECT_TRUE(second.isNull());
  EXPECT_TRUE(firstPopover.isNull());
}

TEST_F(PopoverTest, TheClickThatClosedAPopoverIsKeptForTheRestOfItsTurn) {
  auto* controller = new FLPopoverBaseVC;
  controller->showPopover(new QLabel(QStringLiteral("popover")), &anchor, QRect(0, 0, 10, 10));
  QWidget* popover = controller->popover();
  const QPoint outside(-20, -20);
  QTest::mousePress(popover, Qt::LeftButton, {}, outside);
  const std::optional<FLPopoverCloseEvent> closing = FLPopoverBaseVC::lastCloseEvent();
  ASSERT_TRUE(closing.has_value());
  EXPECT_EQ(closing->type, QEvent::MouseButtonPress);
  EXPECT_EQ(closing->globalPosition, QPointF(popover->mapToGlobal(outside)));
  EXPECT_EQ(FLPopoverBaseVC::registeredCount(), 0);
  QCoreApplication::processEvents();
  EXPECT_FALSE(FLPopoverBaseVC::lastCloseEvent().has_value());
}

TEST_F(PopoverTest, AControllerThatNeverShowedStillCountsUntilItGoes) {
  {
    FLPopoverBaseVC controller;
    EXPECT_TRUE(FLPopoverBaseVC::arePopoversRegistered());
    controller.closePopover();  // nothing shows: nothing happens
    EXPECT_TRUE(FLPopoverBaseVC::arePopoversRegistered());
  }
  EXPECT_FALSE(FLPopoverBaseVC::arePopoversRegistered());
}

}  // namespace
