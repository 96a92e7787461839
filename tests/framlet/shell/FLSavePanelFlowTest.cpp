// Quitting with a modified untitled document: every way the save panel can end answers the quit,
// so the application either ends or goes on running, and never waits for good.
#include "framlet/shell/FLDocumentAppDelegate.h"

#include "ShellTestSupport.h"
#include "framlet/shell/FLDocumentSaveFormatVC.h"
#include "framlet/shell/flDocumentPackages.h"
#include "platform/UserDefaults.h"
#include "support/FileDialogTestSupport.h"

#include <QFileDialog>
#include <QDialogButtonBox>
#include <QFileIconProvider>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// An untitled document window with the format accessory, saving packages for real.
class SavingWC : public FLDocumentWC {
 public:
  SavingWC() {
    window_ = std::make_unique<QMainWindow>();
    window_->setWindowTitle(QStringLiteral("Untitled"));
    window_->resize(200, 100);
    document_.setWindowController(this);
    watchWindow();
  }
  ~SavingWC() override { window_.reset(); }
  PackageDocument* document() const override { return &document_; }
  QWidget* window() const override { return window_.get(); }
  std::unique_ptr<FLDocumentSaveFormatVC> saveFormatVC() override { return std::make_unique<FLDocumentSaveFormatVC>(); }

 private:
  mutable PackageDocument document_;
  std::unique_ptr<QMainWindow> window_;
};

class SavingDelegate : public TestDelegate {
 public:
  FLDocumentWC* openUntitledWithTabIdentifier(const QString&) override {
    ++untitled;
    FLDocumentWC* controller = adoptController(std::make_unique<SavingWC>());
    controller->window()->show();
    newest = static_cast<SavingWC*>(controller);
    return controller;
  }
  SavingWC* newest = nullptr;

  // Launches and gives the window it opened, its document holding unsaved cells.
  SavingWC* launchWithUnsavedCells() {
    launch();
    if (newest) {
      newest->document()->setDirty(true);
      newest->document()->content = QStringLiteral("cells");
    }
    return newest;
  }
};

class QuitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UserDefaults::standardUserDefaults().removeObjectForKey(QStringLiteral("test.openFiles"));
    FLDocumentWC::setSaveTypes({QStringLiteral("Numlet"), QStringLiteral("csv"), QStringLiteral("html")});
    // The panel opens on the format it was last confirmed in, whichever window that was: the
    // names these tests type are packages.
    FLDocumentWC::setLastFormatIndex(0);
    // A failed save tells the user; the alert is answered at once.
    FLAlert::sharedInstance().setModalRunner([](const FLAlertRequest&, bool*) { return 0; });
  }
  void TearDown() override {
    FLAlert::sharedInstance().setModalRunner({});
    FLDocumentWC::setSaveTypes({});
    FLDocumentWC::setLastFormatIndex(0);
    SetDocumentPackageKinds({});
    UserDefaults::standardUserDefaults().removeObjectForKey(QStringLiteral("test.openFiles"));
  }

  // Save As in the window, the name typed into the panel in the test's folder.
  bool saveAsInPanel(FLDocumentWC* controller, const QString& name) const {
    controller->saveDocumentAs();
    if (!QTest::qWaitFor([&] { return controller->savePanel() && controller->savePanel()->isVisible(); }, 10000))
      return false;
    QFileDialog* panel = controller->savePanel();
    panel->setDirectory(folder.path());
    panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(name);
    QMetaObject::invokeMethod(panel, "accept");
    return true;
  }

  QTemporaryDir folder;
};

TEST_F(QuitTest, EveryEndOfTheSavePanelAnswersThePendingQuit) {
  enum class End { Save, Cancel, FailingSave };
  const struct {
    const char* label;
    qsizetype lastFormat;  // 2: the last save was an HTML export
    End end;
    const char* name;
    bool quits;
    const char* written;  // relative to the folder (a page is a folder of its name); empty: nothing
  } cases[] = {
      {"save", 0, End::Save, "Budget", true, "Budget.Numlet"},
      {"cancel", 0, End::Cancel, "", false, ""},
      {"failing save", 0, End::FailingSave, "Failing", false, ""},
      // A page is a copy, not a save: the document stays as it was and the quit waits for it.
      {"an .html name", 0, End::Save, "Page.html", false, "Page"},
      {"html last used, saved", 2, End::Save, "Export", false, "Export"},
      {"html last used, cancelled", 2, End::Cancel, "", false, ""},
      {"html last used, failing", 2, End::FailingSave, "Lost", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    FLDocumentWC::setLastFormatIndex(c.lastFormat);
    UserDefaults::standardUserDefaults().removeObjectForKey(QStringLiteral("test.openFiles"));
    SavingDelegate delegate;
    auto* controller = delegate.launchWithUnsavedCells();
    ASSERT_NE(controller, nullptr);
    if (c.end == End::FailingSave) controller->document()->failWith = QStringLiteral("disk full");

    delegate.terminate();
    ASSERT_TRUE(AnswerSaveAlert(controller, QStringLiteral("Save")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller->savePanel() && controller->savePanel()->isVisible(); }, 10000));
    QFileDialog* panel = controller->savePanel();
    if (c.end == End::Cancel) {
      panel->reject();
    } else {
      panel->setDirectory(folder.path());
      panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QString::fromLatin1(c.name));
      QMetaObject::invokeMethod(panel, "accept");
    }
    SettleEvents();

    EXPECT_EQ(delegate.quits, c.quits ? 1 : 0);
    // Not quitting means running on: a later Quit is heard again.
    if (!c.quits) {
      EXPECT_FALSE(delegate.terminating());
    }
    if (*c.written) {
      EXPECT_TRUE(QFileInfo::exists(folder.filePath(QString::fromLatin1(c.written))));
    }
    if (!c.quits) {
      EXPECT_TRUE(controller->window()->isVisible());
      EXPECT_TRUE(controller->document()->dirty());
      EXPECT_TRUE(controller->document()->filePath().isEmpty());
      controller->document()->failWith.clear();
      delegate.terminate();
      ASSERT_TRUE(AnswerSaveAlert(controller, QStringLiteral("Don't Save")));
      SettleEvents();
      EXPECT_EQ(delegate.quits, 1);
    }
  }
}

// A save that fails (the folder typed does not exist) says why; once the alert is answered the
// panel is still up with the name as typed, and the name in a folder that exists saves. While
// closing the window, that save then closes it; a quit has been answered by the failure, and the
// window stays.
TEST_F(QuitTest, AFailedSaveLeavesThePanelUpWithTheName) {
  FLAlert::sharedInstance().setModalRunner({});
  enum class Start { SaveAs, Closing, Quitting };
  const struct {
    const char* label;
    Start start;
  } cases[] = {{"save as", Start::SaveAs}, {"closing", Start::Closing}, {"quitting", Start::Quitting}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    SavingDelegate delegate;
    auto* controller = delegate.launchWithUnsavedCells();
    ASSERT_NE(controller, nullptr);
    if (c.start == Start::SaveAs) controller->saveDocumentAs();
    if (c.start == Start::Closing) controller->window()->close();
    if (c.start == Start::Quitting) delegate.terminate();
    if (c.start != Start::SaveAs) { ASSERT_TRUE(AnswerSaveAlert(controller, QStringLiteral("Save"))); }
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller->savePanel() && controller->savePanel()->isVisible(); }, 10000));
    QPointer<QFileDialog> panel = controller->savePanel();
    panel->setDirectory(folder.path());
    auto* name = panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->clear();
    QTest::keyClicks(name, QStringLiteral("Missing/Budget"));

    // The failure's alert runs modally inside the key press: it is answered as it comes up.
    QString told;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
      auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!alert || !alert->isVisible()) return;
      told = alert->text();
      answer.stop();
      QTest::keyClick(alert, Qt::Key_Return);
    });
    answer.start(10);
    QTest::keyClick(name, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&told] { return !told.isEmpty(); }, 10000));
    SettleEvents();

    ASSERT_FALSE(panel.isNull());
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(controller->savePanel(), panel.data());
    EXPECT_EQ(name->text(), QStringLiteral("Missing/Budget.Numlet"));  // the format's extension put on
    EXPECT_TRUE(controller->document()->filePath().isEmpty());
    EXPECT_TRUE(controller->document()->dirty());
    EXPECT_FALSE(QFileInfo::exists(folder.filePath(QStringLiteral("Missing"))));
    EXPECT_FALSE(delegate.terminating());

    QTest::keySequence(name, QKeySequence::SelectAll);
    QTest::keyClicks(name, QStringLiteral("Budget"));
    const QPointer<FLDocumentWC> watched(controller);
    QTest::keyClick(name, Qt::Key_Return);  // saves before it returns
    const QString saved = folder.filePath(QStringLiteral("Budget.Numlet"));
    ASSERT_FALSE(watched.isNull());
    EXPECT_EQ(controller->document()->filePath(), saved);
    EXPECT_TRUE(QFileInfo::exists(QDir(saved).filePath(QStringLiteral("document.xml"))));
    EXPECT_EQ(controller->isClosed(), c.start == Start::Closing);
    EXPECT_EQ(delegate.quits, 0);
    EXPECT_TRUE(QTest::qWaitFor([&panel] { return panel.isNull() || !panel->isVisible(); }, 10000));
    QDir(saved).removeRecursively();
    SettleEvents();
  }
}

// The quit closes the other windows, the panel among them; the document then asks as usual.
TEST_F(QuitTest, AQuitWhileASaveAsPanelIsUpStillEnds) {
  SavingDelegate delegate;
  delegate.launch();
  auto* controller = delegate.newest;
  ASSERT_NE(controller, nullptr);
  controller->document()->setDirty(true);
  controller->saveDocumentAs();
  ASSERT_TRUE(QTest::qWaitFor([&] { return controller->savePanel() != nullptr; }, 10000));
  delegate.terminate();
  ASSERT_TRUE(AnswerSaveAlert(controller, QStringLiteral("Don't Save")));
  SettleEvents();
  EXPECT_EQ(delegate.quits, 1);
}

}  // namespace

namespace {

TEST_F(QuitTest, SavingOntoAFileAnotherWindowHasOpenIsRefused) {
  SavingDelegate delegate;
  delegate.launch();
  const QString shared = folder.filePath(QStringLiteral("Shared.Numlet"));
  QDir().mkpath(shared);
  auto* first = delegate.newest;
  first->document()->setFilePath(shared);
  delegate.applicationOpenUntitledFile();
  auto* second = delegate.newest;
  ASSERT_NE(first, second);
  second->document()->content = QStringLiteral("second");

  ASSERT_TRUE(saveAsInPanel(second, QStringLiteral("Shared")));
  ASSERT_TRUE(QTest::qWaitFor([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }, 10000));
  auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  EXPECT_EQ(alert->text(), QStringLiteral("\"Shared.Numlet\" is open in another window."));
  alert->buttons().first()->click();
  SettleEvents();
  // Nothing was written and the panel is still there for another name.
  EXPECT_FALSE(QFileInfo::exists(QDir(shared).filePath(QStringLiteral("document.xml"))));
  EXPECT_TRUE(second->document()->filePath().isEmpty());
  ASSERT_NE(second->savePanel(), nullptr);
  second->savePanel()->reject();
  SettleEvents();
}

// Another window's file was removed (or renamed, or is on a disk unplugged): a new name is still
// free, though neither it nor that file exists; only the removed file's own name stays that
// window's.
TEST_F(QuitTest, SavingBesideAWindowWhoseFileIsGoneTakesANewName) {
  const struct {
    const char* typed;
    bool refused;
  } cases[] = {{"Fresh", false}, {"Gone", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    SavingDelegate delegate;
    delegate.launch();
    auto* first = delegate.newest;
    first->document()->setFilePath(folder.filePath(QStringLiteral("Gone.Numlet")));
    delegate.applicationOpenUntitledFile();
    auto* second = delegate.newest;
    ASSERT_NE(first, second);
    second->document()->content = QStringLiteral("second");

    ASSERT_TRUE(saveAsInPanel(second, QLatin1String(c.typed)));
    const QString named = folder.filePath(QLatin1String(c.typed) + QStringLiteral(".Numlet"));
    if (c.refused) {
      ASSERT_TRUE(QTest::qWaitFor([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }, 10000));
      auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      EXPECT_EQ(alert->text(), QStringLiteral("\"Gone.Numlet\" is open in another window."));
      alert->buttons().first()->click();
      SettleEvents();
      ASSERT_NE(second->savePanel(), nullptr);
      second->savePanel()->reject();
    } else {
      EXPECT_TRUE(QTest::qWaitFor([&] { return second->document()->filePath() == named; }, 10000));
    }
    SettleEvents();
    EXPECT_EQ(QFileInfo::exists(QDir(named).filePath(QStringLiteral("document.xml"))), !c.refused);
  }
}

// A package in the save panel is a document to save onto: clicking it names it, and entering it
// (a double-click, Return in the list) chooses it, asking before replacing it, never opening it.
TEST_F(QuitTest, TheSavePanelChoosesAPackageRatherThanEnteringIt) {
  SetDocumentPackageKinds(
      {{QStringLiteral("Numlet"), QStringLiteral("Numlet document"), QStringLiteral("application/x-numlet")}});
  const QString package = folder.filePath(QStringLiteral("Budget.Numlet"));
  ASSERT_TRUE(QDir().mkpath(package));
  ASSERT_TRUE(QDir().mkpath(folder.filePath(QStringLiteral("Plain folder"))));
  SavingDelegate delegate;
  delegate.launch();
  auto* controller = delegate.newest;
  ASSERT_NE(controller, nullptr);

  enum class Enter { DoubleClick, ReturnInList };
  const struct {
    const char* label;
    Enter enter;
    bool replace;
  } cases[] = {
      {"return, then cancel", Enter::ReturnInList, false},
      {"double-click, then replace", Enter::DoubleClick, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    controller->saveDocumentAs();
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller->savePanel() && controller->savePanel()->isVisible(); }, 10000));
    QFileDialog* panel = controller->savePanel();
    panel->setDirectory(folder.path());
    EXPECT_EQ(panel->iconProvider()->type(QFileInfo(package)), QStringLiteral("Numlet document"));
    EXPECT_NE(panel->iconProvider()->type(QFileInfo(folder.filePath(QStringLiteral("Plain folder")))),
              QStringLiteral("Numlet document"));
    const FileDialogEntry entry = FindFileDialogEntry(panel, QStringLiteral("Budget.Numlet"));
    ASSERT_TRUE(entry.found);
    QListView* list = entry.list;
    const QPoint centre = entry.centre;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
    auto* name = panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->text(), QStringLiteral("Budget.Numlet"));
    auto* buttons = panel->findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    ASSERT_NE(buttons->button(QDialogButtonBox::Save), nullptr);
    EXPECT_EQ(buttons->button(QDialogButtonBox::Save)->text().remove(QLatin1Char('&')), QStringLiteral("Save"));

    if (c.enter == Enter::DoubleClick) {
      QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
    } else {
      list->setFocus();
      QTest::keyClick(list, Qt::Key_Return);
    }
    ASSERT_TRUE(QTest::qWaitFor([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }, 10000));
    auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    EXPECT_EQ(alert->text(), QStringLiteral("\"Budget.Numlet\" already exists. Do you want to replace it?"));
    // The panel stayed in the package's folder.
    EXPECT_EQ(QDir(panel->directory()).canonicalPath(), QDir(folder.path()).canonicalPath());
    const QString answer = c.replace ? QStringLiteral("Replace") : QStringLiteral("Cancel");
    QAbstractButton* answerButton = nullptr;
    for (QAbstractButton* button : alert->buttons()) {
      if (button->text() == answer) answerButton = button;
    }
    ASSERT_NE(answerButton, nullptr);
    answerButton->click();
    SettleEvents();
    if (c.replace) {
      EXPECT_EQ(QFileInfo(controller->document()->filePath()).canonicalFilePath(),
                QFileInfo(package).canonicalFilePath());
      EXPECT_TRUE(QFileInfo::exists(QDir(package).filePath(QStringLiteral("document.xml"))));
    } else {
      ASSERT_NE(controller->savePanel(), nullptr);
      EXPECT_TRUE(controller->document()->filePath().isEmpty());
      controller->savePanel()->reject();
      SettleEvents();
    }
  }
}

}  // namespace
