// Tabbed document windows on screen: one container window with a tab each, listed by the
// window-order helpers in its place, a "+" that opens a new document in a tab, and the groups
// stored at quit coming back in order with the same tab selected.
#include "framlet/shell/FLWindowTabContainer.h"

#include "ShellTestSupport.h"
#include "framlet/foundation/FLFileLocator.h"
#include "framlet/shell/FLWindowTabManager.h"
#include "framlet/shell/flWindowOrder.h"
#include "platform/UserDefaults.h"

#include <QTabBar>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

// Gives each new window its tabbing, as the application's delegate does.
class TabbingDelegate : public TestDelegate {
 public:
  FLDocumentWC* openFileWithTabIdentifier(const QString& path, const QString& identifier) override {
    FLDocumentWC* controller = TestDelegate::openFileWithTabIdentifier(path, identifier);
    if (controller) FLWindowTabManager::sharedInstance().setTabIdentifier(identifier, controller->window());
    return controller;
  }
  FLDocumentWC* openUntitledWithTabIdentifier(const QString& identifier) override {
    FLDocumentWC* controller = adoptController(std::make_unique<FakeWC>(QString()));
    FLWindowTabManager::sharedInstance().setTabIdentifier(identifier, controller->window());
    MakeKeyAndOrderFront(controller->window());
    return controller;
  }
};

class TabContainerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    manager.reset();
    clearDefaults();
  }
  void TearDown() override {
    delegate.reset();
    windows.clear();
    SettleEvents();
    manager.reset();
    clearDefaults();
  }
  void clearDefaults() {
    UserDefaults::standardUserDefaults().removeObjectForKey(QLatin1String(kWindowTabsKey));
    UserDefaults::standardUserDefaults().removeObjectForKey(QStringLiteral("test.openFiles"));
  }
  QWidget* makeWindow(const QString& title) {
    windows.push_back(std::make_unique<QMainWindow>());
    QWidget* window = windows.back().get();
    window->setWindowTitle(title + QLatin1String("[*]"));
    window->setGeometry(120, 80, 500, 300);
    return window;
  }
  void launch() {
    manager.reset();
    manager.setTabOverride(2);  // tabs unless Alt is held
    delegate = std::make_unique<TabbingDelegate>();
    delegate->launch();
  }
  QString open(const QString& name) {
    const QString path = folder.filePath(name);
    QFile(path).open(QIODevice::WriteOnly);
    EXPECT_TRUE(delegate->applicationOpenFile(path));
    SettleEvents();
    return path;
  }
  QWidget* windowOf(const QString& path) { return delegate->windowForFile(path); }
  static QStringList tabTexts(const FLWindowTabContainer* container) {
    QStringList texts;
    for (int i = 0; i < container->tabBar()->count(); ++i) texts.append(container->tabBar()->tabText(i));
    return texts;
  }

  FLWindowTabManager& manager = FLWindowTabManager::sharedInstance();
  QTemporaryDir folder;
  std::unique_ptr<TabbingDelegate> delegate;
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
  EXPECT_EQ(container->geometry(), QRect(120, 80, 500, 300));
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
  EXPECT_TRUE(b->isWindow());
  EXPECT_TRUE(b->isVisible());
  EXPECT_EQ(b->geometry(), QRect(120, 80, 500, 300));
  EXPECT_EQ(FLWindowTabContainer::containerOf(b), nullptr);
}

TEST_F(TabContainerTest, NewTabsJoinAndTheGroupComesBackAfterAQuit) {
  launch();
  SettleEvents();
  QWidget* first = delegate->frontmostController()->window();  // the launch's untitled document
  const QString a = open(QStringLiteral("a.txt"));
  const QString b = open(QStringLiteral("b.txt"));
  const QString c = open(QStringLiteral("c.txt"));
  FLWindowTabContainer* container = FLWindowTabContainer::containerOf(windowOf(a));
  ASSERT_NE(container, nullptr);
  EXPECT_EQ(container->windows(), (QList<QWidget*>{first, windowOf(a), windowOf(b), windowOf(c)}));
  EXPECT_EQ(delegate->frontmostController(), delegate->controllerFor(c));

  // "+" opens an untitled document in a tab after the selected one.
  MakeKeyAndOrderFront(windowOf(b));
  container->newTabButton()->click();
  SettleEvents();
  ASSERT_EQ(container->windows().size(), 5);
  QWidget* untitled = container->windows()[3];
  EXPECT_TRUE(delegate->controllerOfWindow(untitled)->filePath().isEmpty());
  EXPECT_EQ(container->selectedWindow(), untitled);

  // Quit with the middle document dirty and b selected: the stored group keeps the tab order.
  MakeKeyAndOrderFront(windowOf(b));
  container->setGeometry(50, 60, 640, 400);
  FakeWC* dirty = delegate->controllerFor(b);
  dirty->document()->setDirty(true);
  delegate->terminate();
  ASSERT_TRUE(AnswerSaveAlert(dirty, QStringLiteral("Don't Save")));
  SettleEvents();
  EXPECT_EQ(delegate->quits, 1);
  const QVariantList records = UserDefaults::standardUserDefaults().objectForKey(QLatin1String(kWindowTabsKey)).toList();
  ASSERT_EQ(records.size(), 1);
  EXPECT_EQ(records[0].toMap().value(QLatin1String(kTabRecordPaths)).toStringList(), (QStringList{a, b, c}));
  EXPECT_EQ(records[0].toMap().value(QLatin1String(kTabRecordActive)).toString(), b);

  // The next launch reopens them as tabs of one window of the same size, b in front.
  delegate.reset();
  SettleEvents();
  launch();
  container = FLWindowTabContainer::containerOf(windowOf(a));
  ASSERT_NE(container, nullptr);
  EXPECT_EQ(container->windows(), (QList<QWidget*>{windowOf(a), windowOf(b), windowOf(c)}));
  EXPECT_EQ(container->geometry(), QRect(50, 60, 640, 400));
  ASSERT_TRUE(QTest::qWaitFor([&] { return delegate->frontmostController() == delegate->controllerFor(b); }, 2000));
  EXPECT_EQ(container->selectedWindow(), windowOf(b));
}
