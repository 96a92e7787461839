// The application shell's commands through the real windows: File > Open Recent, Save As's key,
// the names of untitled documents, and what a password does to the backup copy.
#include "AppControllerTestSupport.h"
#include "calculator/controllers/CAAppController.h"

#include "calculator/controllers/CAWindowController.h"
#include "calculator/controllers/caPreferenceKeys.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "framlet/foundation/FLPasswordManager.h"
#include "framlet/shell/FLAlert.h"
#include "framlet/shell/FLPasswordSetDialog.h"
#include "framlet/shell/FLRecentDocumentsMenu.h"
#include "framlet/shell/flPanelFolders.h"
#include "framlet/shell/flWindowOrder.h"
#include "platform/Keychain.h"
#include "platform/UserDefaults.h"
#include "platform/UserFolders.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class ShellCommandsTest : public ::testing::Test {
 protected:
  ShellCommandsTest() {
    QDir(CalculatorSupportFolder()).removeRecursively();
    UserDefaults::standardUserDefaults().removeObjectForKey(QLatin1String(kOpenFilesKey));
    UserDefaults::standardUserDefaults().removeObjectForKey(QLatin1String(kRecentDocumentsKey));
    FLAlert::sharedInstance().setModalRunner([](const FLAlertRequest&, bool*) { return 0; });
    app = std::make_unique<TestAppController>(UserDefaults::standardUserDefaults());
    app->applicationWillFinishLaunching();
    app->applicationDidFinishLaunching();
    DeliverQueuedWork();
    // A launch opens an untitled document only when it reopened nothing (earlier tests leave
    // their own state behind).
    if (app->controllers().empty()) app->applicationOpenUntitledFile();
    DeliverQueuedWork();
  }
  ~ShellCommandsTest() override {
    app.reset();
    QTest::qWait(10);
    FLAlert::sharedInstance().setModalRunner({});
    UserDefaults::standardUserDefaults().removeObjectForKey(QLatin1String(kRecentDocumentsKey));
  }
  static QAction* fileMenuAction(QMainWindow* window, const QString& title) {
    for (QAction* menu : window->menuBar()->actions()) {
      if (!menu->menu() || menu->text() != QStringLiteral("&File")) continue;
      for (QAction* action : menu->menu()->actions()) {
        if (action->text() == title) return action;
      }
    }
    return nullptr;
  }

  std::unique_ptr<TestAppController> app;
};

TEST_F(ShellCommandsTest, NewDocumentsAreUntitledThenUntitled2AndSaveAsIsControlShiftS) {
  QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
  CAWindowController* first = app->newest();
  ASSERT_NE(first, nullptr);
  QMainWindow* window = first->mainWindow();
  QAction* newAction = fileMenuAction(window, QStringLiteral("New"));
  ASSERT_NE(newAction, nullptr);
  newAction->trigger();
  DeliverQueuedWork();
  CAWindowController* second = app->newest();
  ASSERT_NE(second, first);
  EXPECT_EQ(first->mainWindow()->windowTitle().remove(QStringLiteral("[*]")), QStringLiteral("Untitled"));
  EXPECT_EQ(second->mainWindow()->windowTitle().remove(QStringLiteral("[*]")), QStringLiteral("Untitled 2"));

  QAction* saveAs = fileMenuAction(second->mainWindow(), QStringLiteral("Save As…"));
  ASSERT_NE(saveAs, nullptr);
  EXPECT_EQ(saveAs->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+S")));
  second->mainWindow()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(second->mainWindow()));
  QTest::keyClick(second->mainWindow(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
  ASSERT_TRUE(QTest::qWaitFor([&] { return second->savePanel() != nullptr; }, 10000));
  // An untitled document's panel starts in Documents, not in the process's folder.
  EXPECT_EQ(QDir(second->savePanel()->directory()).absolutePath(),
            QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)).absolutePath());
  second->savePanel()->reject();
  DeliverQueuedWork();
}

TEST_F(ShellCommandsTest, FileOpenRecentFollowsOpenAndReopensADocument) {
  QMainWindow* window = app->newest()->mainWindow();
  QAction* open = fileMenuAction(window, QStringLiteral("Open…"));
  QAction* recent = fileMenuAction(window, QStringLiteral("Open Recent"));
  ASSERT_NE(open, nullptr);
  ASSERT_NE(recent, nullptr);
  auto* menu = qobject_cast<FLRecentDocumentsMenu*>(recent->menu());
  ASSERT_NE(menu, nullptr);
  QList<QAction*> items;
  for (QAction* menuAction : window->menuBar()->actions()) {
    if (menuAction->menu() && menuAction->menu()->actions().contains(open)) items = menuAction->menu()->actions();
  }
  EXPECT_EQ(items.indexOf(recent), items.indexOf(open) + 1);

  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("Kept.Numlet"));
  CAWindowController* front = app->newest();
  front->document()->setFilePath(path);
  ASSERT_TRUE(front->saveDocument());
  emit menu->aboutToShow();
  ASSERT_FALSE(menu->actions().isEmpty());
  EXPECT_EQ(menu->actions().first()->text(), QStringLiteral("Kept.Numlet"));
}

// File > Open starts in the front document's folder; without one, in the last folder used.
TEST_F(ShellCommandsTest, TheOpenPanelStartsInTheFrontDocumentsFolderElseTheLastUsed) {
  QTemporaryDir last, documents;
  UserDefaults::standardUserDefaults().setObject(QDir::cleanPath(last.path()), QLatin1String(kLastPanelFolderKey));
  CAWindowController* front = app->newest();
  QAction* open = fileMenuAction(front->mainWindow(), QStringLiteral("Open…"));
  ASSERT_NE(open, nullptr);
  const auto openPanelFolder = [&] {
    open->trigger();
    QFileDialog* panel = nullptr;
    const auto shown = [&] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QFileDialog*>(widget); dialog && dialog->isVisible()) panel = dialog;
      }
      return panel != nullptr;
    };
    if (!QTest::qWaitFor(shown, 10000)) return QStringLiteral("<no panel>");
    const QString folder = QDir(panel->directory()).absolutePath();
    const QPointer<QFileDialog> closing(panel);
    panel->reject();
    DeliverQueuedWork();
    delete closing.data();  // nothing of it stays to hold the focus for later tests
    return folder;
  };
  EXPECT_EQ(openPanelFolder(), QDir(last.path()).absolutePath());
  const QString path = documents.filePath(QStringLiteral("Front.Numlet"));
  front->document()->setFilePath(path);
  ASSERT_TRUE(front->saveDocument());
  MakeKeyAndOrderFront(front->mainWindow());
  DeliverQueuedWork();
  EXPECT_EQ(openPanelFolder(), QDir(documents.path()).absolutePath());
  UserDefaults::standardUserDefaults().removeObjectForKey(QLatin1String(kLastPanelFolderKey));
  // The window the panel was a sheet on takes the focus back before it goes.
  front->mainWindow()->activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(front->mainWindow()));
}

TEST_F(ShellCommandsTest, SavingWithAPasswordLeavesNoReadableBackupAndTheSheetSaysSo) {
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("budget.Numlet"));
  const QString backup = folder.filePath(QStringLiteral("budget~.Numlet"));
  CAWindowController* front = app->newest();
  front->document()->setMakeBackups(true);
  front->document()->setFilePath(path);
  ASSERT_TRUE(front->saveDocument());
  front->document()->setDirty(true);
  ASSERT_TRUE(front->saveDocument());
  ASSERT_TRUE(QFileInfo(backup).isDir());  // the version before, in clear

  FLPasswordManager& passwords = FLPasswordManager::sharedInstance();
  const bool wasUsing = passwords.useKeychain();
  passwords.setKeychain(std::make_unique<InMemoryKeychain>());
  passwords.setUseKeychain(false);
  front->passwordProtect();
  auto* set = qobject_cast<FLPasswordSetDialog*>(QApplication::activeModalWidget());
  ASSERT_NE(set, nullptr);
  EXPECT_TRUE(set->errorField()->text().contains(QStringLiteral("backup copy")));
  set->password1Field()->setText(QStringLiteral("secret1"));
  set->password2Field()->setText(QStringLiteral("secret1"));
  set->buttons()->button(QDialogButtonBox::Ok)->click();
  DeliverQueuedWork();
  ASSERT_FALSE(front->document()->password().isEmpty());
  ASSERT_TRUE(front->saveDocument());
  EXPECT_TRUE(QFileInfo(path).isDir());
  EXPECT_FALSE(QFileInfo::exists(backup));
  // Saved again with the password: the backup beside it is the protected version, never one in
  // clear.
  front->document()->setDirty(true);
  ASSERT_TRUE(front->saveDocument());
  EXPECT_TRUE(QFileInfo::exists(backup + QStringLiteral("/password.txt")));
  passwords.setUseKeychain(wasUsing);
  passwords.setKeychain(nullptr);
}

// A menu shown while the document is clean greys Save; its key must still save the next change.
TEST_F(ShellCommandsTest, ControlSSavesAChangeMadeAfterTheFileMenuWasShownClean) {
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("Shown.Numlet"));
  CAWindowController* front = app->newest();
  QMainWindow* window = front->mainWindow();
  front->document()->setFilePath(path);
  ASSERT_TRUE(front->saveDocument());
  ASSERT_FALSE(front->document()->dirty());

  QAction* save = fileMenuAction(window, QStringLiteral("Save"));
  ASSERT_NE(save, nullptr);
  QMenu* fileMenu = nullptr;
  for (QAction* menu : window->menuBar()->actions()) {
    if (menu->menu() && menu->menu()->actions().contains(save)) fileMenu = menu->menu();
  }
  ASSERT_NE(fileMenu, nullptr);
  // The menu opened and closed again without a choice, as a user glancing at it does.
  emit fileMenu->aboutToShow();
  EXPECT_FALSE(save->isEnabled());  // nothing to save while shown
  emit fileMenu->aboutToHide();

  front->document()->setCellAtPoint(GridPoint{1, 1}, QVariant(QStringLiteral("42")), kValueText);
  front->document()->setDirty(true);
  ASSERT_TRUE(front->document()->dirty());
  window->show();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  QTest::keyClick(window, Qt::Key_S, Qt::ControlModifier);
  DeliverQueuedWork();
  EXPECT_FALSE(front->document()->dirty());
  QFile xml(path + QStringLiteral("/document.xml"));
  ASSERT_TRUE(xml.open(QIODevice::ReadOnly));
  EXPECT_TRUE(xml.readAll().contains("42"));

  // On a clean document the key still does nothing.
  QTest::keyClick(window, Qt::Key_S, Qt::ControlModifier);
  DeliverQueuedWork();
  EXPECT_FALSE(front->document()->dirty());
  EXPECT_EQ(front->savePanel(), nullptr);
}

}  // namespace
