// Tabbed document windows on screen: one container window with a tab each, listed by the
// window-order helpers in its place, until one window is left.
#include "framlet/shell/FLWindowTabContainer.h"

#include "ShellTestSupport.h"
#include "framlet/shell/FLWindowTabManager.h"
#include "framlet/shell/flWindowOrder.h"

#include <QTabBar>

#include <gtest/gtest.h>

namespace {

class TabContainerTest : public ::testing::Test {
 protected:
  void SetUp() override { manager.reset(); }
  void TearDown() override {
    windows.clear();
    SettleEvents();
    manager.reset();
  }
  QWidget* makeWindow(const QString& title) {
    windows.push_back(std::make_unique<QMainWindow>());
    QWidget* window = windows.back().get();
    window->setWindowTitle(title + QLatin1String("[*]"));
    window->setGeometry(120, 80, 500, 300);
    return window;
  }
  static QStringList tabTexts(const FLWindowTabContainer* container) {
    QStringList texts;
    for (int i = 0; i < container->tabBar()->count(); ++i) texts.append(container->tabBar()->tabText(i));
    return texts;
  }

  FLWindowTabManager& manager = FLWindowTabManager::sharedInstance();
  std::vector<std::unique_ptr<QMainWindow>> windows;
};

}  // namespace

TEST_F(TabContainerTest, TabsShareOneWindowUntilOneIsLeft) {
  QWidget* a = makeWindow(QStringLiteral("a"));
  QWidget* b = makeWindow(QStringLiteral("b"));
  QWidget* c = makeWindow(QStringLiteral("c"));
  a->show();
  manager.setTabIdentifier(QString(), a);
  manager.addTabbedWindow(a, b, true);
  manager.addTabbedWindow(a, c, true);
  FLWindowTabContainer* container = FLWindowTabContainer::containerOf(a);
  ASSERT_NE(container, nullptr);
  EXPECT_TRUE(container->isVisible());
  EXPECT_EQ(container->windows(), (QList<QWidget*>{a, c, b}));
  EXPECT_EQ(FLWindowTabContainer::contentFrame(b), QRect(120, 80, 500, 300 - kTabBarHeight));

  // The selected tab is the one shown, and the order helpers list it first.
  EXPECT_EQ(container->selectedWindow(), c);
  EXPECT_EQ(OrderedWindows().mid(0, 3), (QList<QWidget*>{c, a, b}));
  MakeKeyAndOrderFront(b);
  EXPECT_EQ(container->selectedWindow(), b);
  EXPECT_TRUE(b->isVisible());
  EXPECT_FALSE(c->isVisible());
  EXPECT_EQ(MainWindow(), b);
  b->setWindowModified(true);
  EXPECT_EQ(tabTexts(container), (QStringList{"a", "c", "b*"}));
  EXPECT_EQ(container->windowTitle(), "b[*]");
  QTest::mouseClick(container->tabBar(), Qt::LeftButton, {}, container->tabBar()->tabRect(0).center());
  EXPECT_EQ(container->selectedWindow(), a);

  // A tab's close button closes its window; the last one left stands alone in the container's place.
  emit container->tabBar()->tabCloseRequested(1);
  EXPECT_EQ(container->windows(), (QList<QWidget*>{a, b}));
  EXPECT_FALSE(c->isVisible());
  const QPointer<FLWindowTabContainer> guarded(container);
  emit container->tabBar()->tabCloseRequested(0);
  SettleEvents();
  EXPECT_TRUE(guarded.isNull());
  EXPECT_TRUE(b->isWindow() && b->isVisible());
  EXPECT_EQ(b->geometry(), QRect(120, 80, 500, 300));
}
