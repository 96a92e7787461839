#include "framlet/shell/FLDocumentAppDelegate.h"

#include "ShellTestSupport.h"
#include "framlet/foundation/FLFileLocator.h"
#include "framlet/shell/flWindowOrder.h"
#include "platform/UserDefaults.h"
#include "platform/UserFolders.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <tuple>

namespace {

class DelegateTest : public ::testing::Test {
 protected:
  void SetUp() override { UserDefaults::standardUserDefaults().removeObjectForKey(kKey); }
  void TearDown() override {
    delegate.reset();
    SettleEvents();
    UserDefaults::standardUserDefaults().removeObjectForKey(kKey);
  }
  QString file(const QString& name) {
    const QString path = folder.filePath(name);
    EXPECT_TRUE(WriteFileBytes(path));
    return path;
  }
  QStringList storedPaths() const {
    QStringList paths;
    for (const QString& archive : UserDefaults::standardUserDefaults().stringArrayForKey(kKey)) {
      std::optional<FLFileLocator> locator = FLFileLocator::withArchive(archive);
      paths.append(locator ? locator->path() : QStringLiteral("?"));
    }
    return paths;
  }
  // Launches and opens a, b and c, each brought to the front in turn: a ends in front.
  std::tuple<QString, QString, QString> launchWithThree() {
    delegate->launch();
    const QString a = file(QStringLiteral("a.txt")), b = file(QStringLiteral("b.txt")), c = file(QStringLiteral("c.txt"));
    for (const QString& path : {c, b, a}) {
      delegate->applicationOpenFile(path);
      MakeKeyAndOrderFront(delegate->windowForFile(path));
    }
    return {a, b, c};
  }
  void storeReopenList(const QStringList& paths) {
    QStringList archives;
    for (const QString& path : paths) archives.append(FLFileLocator(path).archive(false));
    UserDefaults::standardUserDefaults().setObject(archives, kKey);
  }

  const QString kKey = QStringLiteral("test.openFiles");
  QTemporaryDir folder;
  std::unique_ptr<TestDelegate> delegate = std::make_unique<TestDelegate>();
};

TEST_F(DelegateTest, ReopenedDocumentsOpenBackToFrontAndHandedOverOnesAfterThem) {
  const QString front = file(QStringLiteral("front.txt")), back = file(QStringLiteral("back.txt"));
  const QString handed = file(QStringLiteral("handed.txt"));
  storeReopenList({front, QStringLiteral("/nowhere/gone.txt"), back});
  delegate->handedOver = {handed};
  delegate->launch();
  // The missing entry is dropped without a word; no untitled document once something opened.
  EXPECT_EQ(delegate->opened, (QStringList{back, front, handed}));
  EXPECT_EQ(delegate->untitled, 0);
  EXPECT_TRUE(delegate->openFilePaths().isEmpty());
  // The handed-over document is ordered front after its delay, so it ends in front.
  ASSERT_TRUE(QTest::qWaitFor([&] { return delegate->frontmostController() == delegate->controllerFor(handed); }, 10000));
}

TEST_F(DelegateTest, HoldingControlOptionAndCommandSkipsTheReopenList) {
  const QString path = file(QStringLiteral("a.txt"));
  const struct { Qt::KeyboardModifiers held; bool reopens; } cases[] = {
      {kSkipReopenModifiers, false}, {Qt::ControlModifier | Qt::AltModifier, true},
      {Qt::MetaModifier | Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier, false},
  };
  for (const auto& entry : cases) {
    storeReopenList({path});
    TestDelegate launched;
    launched.modifiers = entry.held;
    launched.launch();
    EXPECT_EQ(launched.opened.size(), entry.reopens ? 1 : 0) << int(entry.held);
    EXPECT_EQ(launched.untitled, entry.reopens ? 0 : 1) << int(entry.held);
  }
}

TEST_F(DelegateTest, AnOpenDocumentIsBroughtForwardNotOpenedTwice) {
  delegate->launch();
  const QString path = file(QStringLiteral("a.txt"));
  EXPECT_TRUE(delegate->applicationOpenFile(path));
  EXPECT_TRUE(delegate->applicationOpenFile(QUrl::fromLocalFile(path).toString()));
  EXPECT_EQ(delegate->opened, QStringList{path});
  // A file is the same file however its path is spelt; another file is not.
  EXPECT_TRUE(delegate->applicationOpenFile(folder.path() + QStringLiteral("/./a.txt")));
  EXPECT_EQ(delegate->opened, QStringList{path});
  EXPECT_TRUE(delegate->applicationOpenFile(file(QStringLiteral("a.txt.bak"))));
  EXPECT_EQ(delegate->opened.size(), 2);
  EXPECT_FALSE(delegate->applicationOpenFile(QStringLiteral("/")));
  delegate->failingPaths = {QStringLiteral("/bad")};
  EXPECT_FALSE(delegate->applicationOpenFile(QStringLiteral("/bad")));
}

TEST_F(DelegateTest, ASecondLaunchWithNothingToOpenShowsAWindow) {
  delegate->launch();
  delegate->closeWindow(delegate->frontmostController()->window(), nullptr);
  SettleEvents();
  ASSERT_EQ(delegate->quits, 1);  // the last window closed: the application ends
  TestDelegate running;
  running.launch();
  running.handleOpenRequest({});
  EXPECT_EQ(running.untitled, 1);  // a window was up: brought forward, none made
  const QString path = file(QStringLiteral("b.txt"));
  running.handleOpenRequest({path});
  EXPECT_EQ(running.opened, QStringList{path});
}

TEST_F(DelegateTest, QuittingClosesCleanWindowsAndAsksAboutTheDirtyOne) {
  const auto [a, b, c] = launchWithThree();
  delegate->controllerFor(b)->document()->setDirty(true);
  FakeWC* dirty = delegate->controllerFor(b);

  delegate->terminate();
  EXPECT_TRUE(delegate->terminating());
  EXPECT_FALSE(delegate->windowForFile(a)->isVisible());
  EXPECT_TRUE(dirty->window()->isVisible());
  ASSERT_TRUE(AnswerSaveAlert(dirty, QStringLiteral("Cancel")));
  EXPECT_FALSE(delegate->terminating());
  EXPECT_EQ(delegate->quits, 0);
  EXPECT_TRUE(dirty->window()->isVisible());

  delegate->terminate();
  ASSERT_TRUE(AnswerSaveAlert(dirty, QStringLiteral("Don't Save")));
  EXPECT_EQ(delegate->quits, 1);
  EXPECT_EQ(delegate->prepared, 1);
  EXPECT_EQ(dirty->saves, 0);
  // The clean windows closed at the first attempt; only the dirty one was left to list.
  EXPECT_EQ(storedPaths(), QStringList{b});
}

TEST_F(DelegateTest, TheReopenListRunsFrontToBackAndTheNextLaunchRestoresTheOrder) {
  const auto [a, b, c] = launchWithThree();
  delegate->controllerFor(c)->document()->setDirty(true);
  delegate->terminate();
  ASSERT_TRUE(AnswerSaveAlert(delegate->controllerFor(c), QStringLiteral("Don't Save")));
  EXPECT_EQ(delegate->quits, 1);
  // Front first; the untitled window is not in the list.
  EXPECT_EQ(storedPaths(), (QStringList{a, b, c}));

  delegate.reset();
  SettleEvents();
  TestDelegate next;
  next.launch();
  EXPECT_EQ(next.opened, (QStringList{c, b, a}));
  EXPECT_EQ(next.untitled, 0);
  ASSERT_TRUE(QTest::qWaitFor([&, a = a] { return next.frontmostController() == next.controllerFor(a); }, 10000));
}

TEST_F(DelegateTest, AFailedSaveStopsTheQuitAndLosesNothing) {
  delegate->launch();
  const QString a = file(QStringLiteral("a.txt"));
  delegate->applicationOpenFile(a);
  FakeWC* controller = delegate->controllerFor(a);
  controller->window()->show();
  controller->document()->setDirty(true);
  controller->saveSucceeds = false;
  delegate->terminate();
  ASSERT_TRUE(AnswerSaveAlert(controller, QStringLiteral("Save")));
  EXPECT_EQ(controller->saves, 1);
  EXPECT_EQ(delegate->quits, 0);
  EXPECT_TRUE(controller->window()->isVisible());
  controller->saveSucceeds = true;
  delegate->terminate();
  ASSERT_TRUE(AnswerSaveAlert(controller, QStringLiteral("Save")));
  EXPECT_EQ(delegate->quits, 1);
  EXPECT_EQ(storedPaths(), QStringList{a});
}

TEST_F(DelegateTest, PrintingSkipsWhatCannotBeOpenedAndClosesWhatItOpened) {
  delegate->launch();
  const QString open = file(QStringLiteral("open.txt")), closed = file(QStringLiteral("closed.txt"));
  delegate->applicationOpenFile(open);
  delegate->failingPaths = {QStringLiteral("/bad")};
  const QVariantMap settings{{QStringLiteral("copies"), 2}};
  EXPECT_EQ(delegate->applicationPrintFiles({}, settings, false), FLPrintReply::Failure);
  EXPECT_EQ(delegate->applicationPrintFiles({QStringLiteral("/bad"), open, closed}, settings, false),
            FLPrintReply::Success);
  EXPECT_EQ(delegate->controllerFor(open)->printed, QList<int>{2});
  SettleEvents();
  EXPECT_NE(delegate->windowForFile(open), nullptr);
  EXPECT_EQ(delegate->windowForFile(closed), nullptr);  // opened only to print
  EXPECT_EQ(delegate->applicationPrintFiles({QStringLiteral("/bad")}, settings, false), FLPrintReply::Failure);
  // A panel answers later; a cancel after one printed document is the answer.
  EXPECT_EQ(delegate->applicationPrintFiles({open, closed}, settings, true), FLPrintReply::ReplyLater);
  delegate->applicationOpenFile(closed);
  delegate->controllerFor(closed)->printReply = FLPrintReply::Cancelled;
  EXPECT_EQ(delegate->applicationPrintFiles({open, closed}, settings, false), FLPrintReply::Cancelled);
  EXPECT_EQ(delegate->applicationPrintFiles({closed, open}, settings, false), FLPrintReply::Failure);
}

TEST_F(DelegateTest, QuittingWithNoDocumentRemovesTheReopenList) {
  storeReopenList({file(QStringLiteral("gone-next-time.txt"))});
  delegate->modifiers = kSkipReopenModifiers;
  delegate->launch();
  delegate->terminate();
  EXPECT_EQ(delegate->quits, 1);
  EXPECT_FALSE(UserDefaults::standardUserDefaults().objectForKey(kKey).isValid());
}

TEST_F(DelegateTest, PrivateDocumentsAndTheMakersFolderStayOutOfTheReopenList) {
  const QString support = OrvandelSupportFolder();
  ASSERT_TRUE(QDir().mkpath(support + QStringLiteral("/x")));
  ASSERT_TRUE(QDir().mkpath(support + QStringLiteral(" Tools/x")));
  const QString inside = support + QStringLiteral("/x/inside.txt");
  const QString beside = support + QStringLiteral(" Tools/x/beside.txt");
  for (const QString& path : {inside, beside}) ASSERT_TRUE(WriteFileBytes(path));
  const QString hidden = file(QStringLiteral("private.txt"));
  delegate->launch();
  for (const QString& path : {inside, beside, hidden}) delegate->applicationOpenFile(path);
  delegate->controllerFor(hidden)->document()->isPrivate = true;
  delegate->terminate();
  // A folder whose name merely begins like the maker's support folder is not inside it.
  EXPECT_EQ(storedPaths(), QStringList{beside});
  QDir(support).removeRecursively();
  QDir(support + QStringLiteral(" Tools")).removeRecursively();
}

TEST(PathInFolderTest, ComparesWholeComponents) {
  const struct { const char* path; const char* folder; bool inside; } cases[] = {
      {"/d/Orvandel/x", "/d/Orvandel", true},       {"/d/Orvandel", "/d/Orvandel", true},
      {"/d/Orvandel Tools/x", "/d/Orvandel", false}, {"/d/OrvandelX", "/d/Orvandel", false},
      {"/d/Orvandel/../y", "/d/Orvandel", false},    {"/d/Orvandel/x", "/d/Orvandel/", true},
      {"", "/d", false},
  };
  for (const auto& entry : cases) {
    EXPECT_EQ(IsPathInFolder(QString::fromUtf8(entry.path), QString::fromUtf8(entry.folder)), entry.inside)
        << entry.path << " in " << entry.folder;
  }
}

}  // namespace
