// Several document windows of the running application, driven through their menus: the font and
// colour panels follow the window the user works in, a protected document asks for its password
// the same way however it is opened, and the Settings' tab choice places new windows.
#include "AppControllerTestSupport.h"
#include "calculator/controllers/CAAppController.h"

#include "calculator/controllers/CAFormatColorVC.h"
#include "calculator/controllers/CAFormatDocTextVC.h"
#include "calculator/controllers/CAColorWell.h"
#include "calculator/controllers/CAPrefController.h"
#include "calculator/controllers/CAPropertyController.h"
#include "calculator/controllers/CAWindowController.h"
#include "calculator/controllers/caPreferenceKeys.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAFormat.h"
#include "calculator/views/CACellView.h"
#include "framlet/foundation/FLPasswordManager.h"
#include "framlet/shell/FLAlert.h"
#include "framlet/shell/FLPasswordSetDialog.h"
#include "framlet/shell/FLPasswordVerifyDialog.h"
#include "framlet/shell/FLPropertyView.h"
#include "framlet/shell/FLRecentDocumentsMenu.h"
#include "framlet/shell/FLWindowTabContainer.h"
#include "framlet/shell/FLWindowTabManager.h"
#include "framlet/shell/flWindowOrder.h"
#include "platform/Keychain.h"
#include "platform/UserDefaults.h"
#include "platform/UserFolders.h"
#include "support/TestData.h"
#include "support/TestFiles.h"
#include "support/EventWaits.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFontDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace {

class DocumentWindowsTest : public ::testing::Test {
 protected:
  DocumentWindowsTest() {
    QDir(CalculatorSupportFolder()).removeRecursively();
    for (const char* key : kKeys) UserDefaults::standardUserDefaults().removeObjectForKey(QLatin1String(key));
    FLAlert::sharedInstance().setModalRunner([](const FLAlertRequest&, bool*) { return 0; });
    FLPasswordManager& passwords = FLPasswordManager::sharedInstance();
    wasUsingKeychain = passwords.useKeychain();
    passwords.setKeychain(std::make_unique<InMemoryKeychain>());
    passwords.setUseKeychain(false);
  }
  ~DocumentWindowsTest() override {
    if (app && app->prefController()) app->prefController()->setValue(CAIntPreference::tabOverride, 0);
    FLWindowTabManager::sharedInstance().setTabOverride(0);
    app.reset();
    QTest::qWait(10);
    FLAlert::sharedInstance().setModalRunner({});
    FLPasswordManager::sharedInstance().setUseKeychain(wasUsingKeychain);
    FLPasswordManager::sharedInstance().setKeychain(nullptr);
    for (const char* key : kKeys) UserDefaults::standardUserDefaults().removeObjectForKey(QLatin1String(key));
  }

  // Launches with the files handed over meanwhile; without any, an untitled window opens.
  void launch(const QStringList& files = {}) {
    app = std::make_unique<TestAppController>(UserDefaults::standardUserDefaults());
    app->applicationWillFinishLaunching();
    for (const QString& file : files) app->openFile(file, false);
    app->applicationDidFinishLaunching();
    DeliverQueuedWork();
  }
  static void bringFront(CAWindowController* controller) {
    MakeKeyAndOrderFront(controller->mainWindow());
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller->mainWindow()));
    DeliverQueuedWork();
  }
  // A command of the window's menu bar, by its title.
  static QAction* menuItem(QMainWindow* window, const QString& title) {
    for (QMenu* menu : window->menuBar()->findChildren<QMenu*>()) {
      for (QAction* action : menu->actions()) {
        if (action->text() == title) return action;
      }
    }
    return nullptr;
  }
  CAWindowController* newWindow() {
    const std::vector<FLDocumentWC*> before = app->controllers();
    menuItem(app->newest()->mainWindow(), QStringLiteral("New"))->trigger();
    DeliverQueuedWork();
    return app->controllers().size() > before.size() ? app->newest() : nullptr;
  }
  // A document saved with the password, its window closed.
  QString protectedDocument(const QString& password) {
    CAWindowController* made = newWindow();
    const QString path = folder.filePath(QStringLiteral("budget.Numlet"));
    made->document()->setFilePath(path);
    made->passwordProtect();
    auto* set = qobject_cast<FLPasswordSetDialog*>(QApplication::activeModalWidget());
    EXPECT_NE(set, nullptr);
    if (!set) return path;
    set->password1Field()->setText(password);
    set->password2Field()->setText(password);
    set->buttons()->button(QDialogButtonBox::Ok)->click();
    DeliverQueuedWork();
    EXPECT_TRUE(made->saveDocument());
    made->closeWindow();
    DeliverQueuedWork();
    return path;
  }
  static QWidget* colorPanel() {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (top->findChild<QColorDialog*>() && top->windowTitle() == QStringLiteral("Colors")) return top;
    }
    return nullptr;
  }

  static constexpr const char* kKeys[] = {kOpenFilesKey, kRecentDocumentsKey, kWindowTabsKey, kTabOverrideKey};
  QTemporaryDir folder;
  std::unique_ptr<TestAppController> app;
  bool wasUsingKeychain = false;
};

TEST_F(DocumentWindowsTest, ThePanelsOfAWindowTheUserLeftCloseAndChangeNothingThere) {
  launch();
  CAWindowController* a = app->newest();
  CAWindowController* b = newWindow();
  ASSERT_NE(b, nullptr);
  bringFront(a);
  const Kolor before = a->document()->formatForActiveCell().textKolor();
  menuItem(a->mainWindow(), QStringLiteral("Show Colors"))->trigger();
  menuItem(a->mainWindow(), QStringLiteral("Show Fonts"))->trigger();
  QWidget* colors = colorPanel();
  ASSERT_NE(colors, nullptr);
  ASSERT_TRUE(colors->isVisible());
  ASSERT_TRUE(a->fontPanel() && a->fontPanel()->isVisible());

  bringFront(b);
  EXPECT_FALSE(colors->isVisible());
  EXPECT_FALSE(a->fontPanel()->isVisible());
  // Whatever still reaches the hidden chooser goes nowhere.
  colors->findChild<QColorDialog*>()->setCurrentColor(Qt::red);
  DeliverQueuedWork();
  for (CAWindowController* window : {a, b}) {
    EXPECT_FALSE(window->document()->dirty());
    EXPECT_EQ(window->document()->formatForActiveCell().textKolor(), before);
  }
  // Back in A, its commands open them again.
  bringFront(a);
  menuItem(a->mainWindow(), QStringLiteral("Show Colors"))->trigger();
  EXPECT_TRUE(colors->isVisible());
  colors->hide();
}

// A panel that comes up takes the keys: its key, pressed again there, closes it as the menu's
// does from the window, and the other panel's key opens that one for the same window.
TEST_F(DocumentWindowsTest, ThePanelsKeysToggleThemFromThePanelToo) {
  launch();
  CAWindowController* window = app->newest();
  const auto fonts = [window]() -> QWidget* { return window->fontPanel(); };
  const auto colors = []() -> QWidget* { return colorPanel(); };
  const struct {
    const char* name;
    Qt::KeyboardModifiers modifiers;
    Qt::Key key;
    std::function<QWidget*()> panel;
  } cases[] = {
      {"Control-T", Qt::ControlModifier, Qt::Key_T, fonts},
      {"Control-Shift-C", Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_C, colors},
  };
  const auto pressIn = [](QWidget* where, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    MakeKeyAndOrderFront(where);
    // The window the panel hid from is active again only on a later turn.
    EXPECT_TRUE(QTest::qWaitFor([where] { return QApplication::activeWindow() == where; }, 10000));
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus && focus->window() == where ? focus : where, key, modifiers);
    DeliverQueuedWork();
  };
  for (const auto& c : cases) {
    bringFront(window);
    pressIn(window->mainWindow(), c.key, c.modifiers);
    QWidget* panel = c.panel();
    ASSERT_TRUE(panel && panel->isVisible()) << c.name;
    pressIn(panel, c.key, c.modifiers);
    EXPECT_FALSE(panel->isVisible()) << c.name << " from the panel";
    pressIn(window->mainWindow(), c.key, c.modifiers);
    EXPECT_TRUE(panel->isVisible()) << c.name << " from the window again";
    // From the one panel, the other's key.
    const auto& other = &c == &cases[0] ? cases[1] : cases[0];
    pressIn(panel, other.key, other.modifiers);
    EXPECT_TRUE(other.panel() && other.panel()->isVisible()) << other.name << " from the panel of " << c.name;
    for (QWidget* shown : {c.panel(), other.panel()}) {
      if (shown) shown->hide();
    }
  }
}

// In tabs too: a panel that a format pane of tab 1 opened closes when tab 2 is selected, and
// nothing reaches tab 1 through it.
TEST_F(DocumentWindowsTest, ThePanelsOfAFormatPaneCloseWhenAnotherTabIsSelected) {
  launch();
  app->prefController()->showPreferences();
  for (QComboBox* box : app->prefController()->window()->findChildren<QComboBox*>()) {
    const int always = box->findText(QStringLiteral("Always in tabs"));
    if (always < 0) continue;
    box->setCurrentIndex(always);
    emit box->activated(always);
  }
  app->prefController()->window()->close();
  CAWindowController* first = app->newest();
  bringFront(first);
  CAWindowController* second = newWindow();
  ASSERT_NE(second, nullptr);
  FLWindowTabContainer* container = FLWindowTabContainer::containerOf(first->mainWindow());
  ASSERT_NE(container, nullptr);
  ASSERT_EQ(FLWindowTabContainer::containerOf(second->mainWindow()), container);
  // The user clicks the tab in the container, which the panels may have left inactive.
  const auto selectTab = [container](int index) {
    MakeKeyAndOrderFront(container);
    ASSERT_TRUE(QTest::qWaitForWindowActive(container));
    QTest::mouseClick(container->tabBar(), Qt::LeftButton, {}, container->tabBar()->tabRect(index).center());
    DeliverQueuedWork();
  };
  selectTab(0);
  ASSERT_EQ(container->selectedWindow(), first->mainWindow());
  first->showFormatPanel(true);
  ASSERT_TRUE(QTest::qWaitFor([first] { return first->propertyController() != nullptr; }, 10000));
  ASSERT_TRUE(WaitPastDelay(600));  // the panel slides in
  const auto pane = [first]<class Pane>(int32_t tab, Pane*) -> Pane* {
    CAPropertyController& panel = *first->propertyController();
    panel.tabWasSelected(tab, panel.domainControl());
    FLPropertyView& view = *panel.propertyView();
    for (int64_t level = 0; level < view.levelCount(); ++level) {
      if (auto* found = qobject_cast<Pane*>(view.levelController(level))) return found;
    }
    return nullptr;
  };
  const Kolor before = first->document()->formatForActiveCell().textKolor();

  // The text colour well of the Cell tab.
  auto* colors = pane(kPanelCell, static_cast<CAFormatColorVC*>(nullptr));
  ASSERT_NE(colors, nullptr);
  QTest::mouseClick(colors->textColorSwatch(), Qt::LeftButton);
  QWidget* panel = colorPanel();
  ASSERT_TRUE(panel && panel->isVisible());
  selectTab(1);
  ASSERT_EQ(container->selectedWindow(), second->mainWindow());
  EXPECT_FALSE(panel->isVisible());
  panel->findChild<QColorDialog*>()->setCurrentColor(Qt::red);
  DeliverQueuedWork();
  for (CAWindowController* window : {first, second}) {
    EXPECT_FALSE(window->document()->dirty());
    EXPECT_EQ(window->document()->formatForActiveCell().textKolor(), before);
  }

  // The font button of the Doc tab.
  selectTab(0);
  auto* text = pane(kPanelDocument, static_cast<CAFormatDocTextVC*>(nullptr));
  ASSERT_NE(text, nullptr);
  for (QPushButton* button : text->view()->findChildren<QPushButton*>()) {
    if (button->text().startsWith(QStringLiteral("Font"))) button->click();
  }
  ASSERT_TRUE(text->fontPanel() && text->fontPanel()->isVisible());
  selectTab(1);
  EXPECT_FALSE(text->fontPanel()->isVisible());
}

TEST_F(DocumentWindowsTest, AWrongPasswordIsRefusedInTheSameSheetOpenedAtLaunchOrFromOpenRecent) {
  QString path;
  {
    launch();
    path = protectedDocument(QStringLiteral("secret1"));
    app.reset();
    QTest::qWait(10);
  }
  for (const bool fromRecent : {false, true}) {
    SCOPED_TRACE(fromRecent ? "File > Open Recent" : "handed over at launch");
    if (fromRecent) {
      launch();
      auto* recent = app->newest()->mainWindow()->findChild<FLRecentDocumentsMenu*>();
      ASSERT_NE(recent, nullptr);
      emit recent->aboutToShow();
      ASSERT_FALSE(recent->actions().isEmpty());
      recent->actions().first()->trigger();
    } else {
      launch({path});
    }
    FLPasswordVerifyDialog* sheet = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&sheet] { return (sheet = qobject_cast<FLPasswordVerifyDialog*>(QApplication::activeModalWidget())); }, 10000));
    // The user reads the sheet for a moment, then types: past the ordering front of a window
    // opened at launch (0.8 s).
    ASSERT_TRUE(WaitPastDelay(1000));
    EXPECT_EQ(QApplication::focusWidget(), sheet->passwordField())
        << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className() : "none") << " in "
        << (QApplication::activeWindow() ? QApplication::activeWindow()->metaObject()->className() : "none");
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("wrong!"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    DeliverQueuedWork();
    ASSERT_EQ(QApplication::activeModalWidget(), sheet);
    EXPECT_TRUE(sheet->errorField()->isVisible());
    EXPECT_EQ(sheet->errorField()->text(), QStringLiteral("Password is incorrect"));
    EXPECT_EQ(QApplication::focusWidget(), sheet->passwordField());
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("secret1"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    DeliverQueuedWork();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_NE(app->windowForFile(path), nullptr);
    app.reset();
    QTest::qWait(10);
  }
}

TEST_F(DocumentWindowsTest, AlwaysInTabsPutsNewAndTogetherOpenedDocumentsInTheMainWindowsTabs) {
  launch();
  app->prefController()->showPreferences();
  QComboBox* tabs = nullptr;
  for (QComboBox* box : app->prefController()->window()->findChildren<QComboBox*>()) {
    if (box->findText(QStringLiteral("Always in tabs")) >= 0) tabs = box;
  }
  ASSERT_NE(tabs, nullptr);
  const int always = tabs->findText(QStringLiteral("Always in tabs"));
  tabs->setCurrentIndex(always);
  emit tabs->activated(always);
  app->prefController()->window()->close();
  CAWindowController* first = app->newest();
  bringFront(first);
  QTest::keyClick(first->mainWindow(), Qt::Key_N, Qt::ControlModifier);
  DeliverQueuedWork();
  CAWindowController* second = app->newest();
  ASSERT_NE(second, first);
  FLWindowTabContainer* container = FLWindowTabContainer::containerOf(first->mainWindow());
  ASSERT_NE(container, nullptr);
  EXPECT_EQ(container->windows(), (QList<QWidget*>{first->mainWindow(), second->mainWindow()}));
  app.reset();
  QTest::qWait(10);

  // Two files handed over together at launch share one window (the choice kept from before).
  UserDefaults::standardUserDefaults().setInteger(2, QLatin1String(kTabOverrideKey));
  // Packages keep the frames they stored, so their windows stay hidden until ordered front.
  QStringList files;
  for (const char* name : {"one.Numlet", "two.Numlet"}) {
    files.append(folder.filePath(QLatin1String(name)));
    ASSERT_TRUE(CopyFolderFiles(TestDataPath(QStringLiteral("package/Sample.Numlet")), files.last()));
  }
  launch(files);
  QWidget* one = app->windowForFile(files[0]);
  QWidget* two = app->windowForFile(files[1]);
  ASSERT_TRUE(one && two);
  container = FLWindowTabContainer::containerOf(one);
  ASSERT_NE(container, nullptr);
  EXPECT_EQ(FLWindowTabContainer::containerOf(two), container);
}

// A window that joins the main window as a tab gives the keys to its grid: a click on B2 selects
// B2 (no formula bar catches it as a reference) and what is typed next goes into B2, whether the
// tab came from Ctrl+N or from a file handed over by a second launch. Going back to a tab gives
// the keys back to the grid that had them.
TEST_F(DocumentWindowsTest, AWindowOpenedAsATabGivesTheKeysToItsGrid) {
  launch();
  app->prefController()->setValue(CAIntPreference::tabOverride, 2);
  FLWindowTabManager::sharedInstance().setTabOverride(2);
  CAWindowController* first = app->newest();
  bringFront(first);
  const QString handedOver = folder.filePath(QStringLiteral("handed.csv"));
  ASSERT_TRUE(WriteFileBytes(handedOver, "1\n"));
  const struct {
    const char* label;
    bool key;  // Ctrl+N, else the file handed over
  } cases[] = {{"Ctrl+N", true}, {"a file handed over", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    if (c.key) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_N, Qt::ControlModifier);
      DeliverQueuedWork();
    } else {
      app->handleOpenRequest({handedOver});
      ASSERT_TRUE(WaitPastDelay(700));
    }
    CAWindowController* tab = app->newest();
    ASSERT_NE(tab, first);
    ASSERT_EQ(FLWindowTabContainer::containerOf(tab->mainWindow()),
              FLWindowTabContainer::containerOf(first->mainWindow()));
    ASSERT_TRUE(QTest::qWaitFor([tab] { return QApplication::focusWidget() == tab->cellView(); }, 10000));

    CACellView* grid = tab->cellView();
    QTest::mouseClick(grid, Qt::LeftButton, {}, grid->rectForGridPoint(GridPoint{1, 1}).center().toPoint());
    EXPECT_EQ(tab->document()->activeCellPoint(), (GridPoint{1, 1}));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("5"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    const CACell* b2 = tab->document()->cellAtGridPoint(GridPoint{1, 1});
    EXPECT_EQ(b2 ? b2->displayText(false) : QString(), QStringLiteral("5"));
    EXPECT_TRUE(tab->formulaTextView()->toPlainText().indexOf(QLatin1String("B2")) < 0);
  }

  FLWindowTabContainer* container = FLWindowTabContainer::containerOf(first->mainWindow());
  ASSERT_NE(container, nullptr);
  container->tabBar()->setCurrentIndex(int(container->windows().indexOf(first->mainWindow())));
  DeliverQueuedWork();
  EXPECT_EQ(QApplication::focusWidget(), first->cellView());
  // The other tabs close: the window left standing alone keeps the keys at its grid.
  for (FLDocumentWC* other : app->controllers()) {
    if (other != first) app->closeWindow(other->window(), other);
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return FLWindowTabContainer::containerOf(first->mainWindow()) == nullptr; }, 10000));
  bringFront(first);
  EXPECT_EQ(QApplication::focusWidget(), first->cellView());
}

}  // namespace
