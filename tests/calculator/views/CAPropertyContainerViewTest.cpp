// The format panel's container lets go of the colour wells it holds when the grid is clicked
// (the colour-well notification), and a well that will not let go ends the attempt.
#include "calculator/views/CAPropertyContainerView.h"

#include "calculator/views/caViewNotifications.h"
#include "platform/NotificationCenter.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <set>

namespace {

class PropertyContainerViewTest : public testing::Test {
 protected:
  ~PropertyContainerViewTest() override { SetColorWellHooks({}); }

  // Wells are plain widgets here; `active` holds those that the panel acts on.
  void installHooks(bool refuse) {
    SetColorWellHooks({[this](const QWidget* view) -> QWidget* {
                         for (QWidget* well : active)
                           if (view->isAncestorOf(well)) return well;
                         return nullptr;
                       },
                       [this, refuse](QWidget* well) {
                         ++deactivations;
                         if (!refuse) active.erase(well);
                       }});
  }

  CAPropertyContainerView panel;
  std::set<QWidget*> active;
  int deactivations = 0;
};

TEST_F(PropertyContainerViewTest, TheColourWellNotificationMakesEveryActiveWellInsideLetGo) {
  installHooks(false);
  auto* inner = new QWidget(&panel);
  auto* deeper = new QWidget(inner);
  QWidget outside;
  active = {inner, deeper, &outside};
  NotificationCenter::defaultCenter().post(QLatin1String(kColorWellNotification));
  EXPECT_EQ(active, (std::set<QWidget*>{&outside}));
  EXPECT_EQ(deactivations, 2);
}

TEST_F(PropertyContainerViewTest, AWellThatStaysActiveIsLoggedAndEndsTheLoop) {
  installHooks(true);
  auto* well = new QWidget(&panel);
  active = {well};
  LogCapture log;
  panel.deactivateColorWells();
  EXPECT_EQ(deactivations, 1);
  EXPECT_TRUE(log.contains(QStringLiteral("Deactivate failed")));
}

TEST_F(PropertyContainerViewTest, WithoutHooksNothingHappens) {
  auto* well = new QWidget(&panel);
  active = {well};
  panel.deactivateColorWells();
  NotificationCenter::defaultCenter().post(QLatin1String(kColorWellNotification));
  EXPECT_EQ(deactivations, 0);
}

}  // namespace
