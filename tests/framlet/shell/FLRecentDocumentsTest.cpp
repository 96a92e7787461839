// Recent documents: Open Recent across launches, the desktop's recently-used list shared with
// other applications, where the panels start, untitled names, and printing from the command line.
#include "framlet/shell/FLRecentDocumentsMenu.h"

#include "ShellTestSupport.h"
#include "framlet/shell/flCommandLine.h"
#include "framlet/shell/flPanelFolders.h"
#include "framlet/shell/flRecentlyUsed.h"
#include "framlet/shell/flWindowOrder.h"
#include "platform/UserDefaults.h"
#include "support/LogCapture.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char kOtherApplicationsList[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<xbel version="1.0"
      xmlns:bookmark="http://www.freedesktop.org/standards/desktop-bookmarks"
      xmlns:mime="http://www.freedesktop.org/standards/shared-mime-info"
>
  <bookmark href="file:///home/u/notes.txt" added="2026-01-02T10:00:00.000000Z" modified="2026-01-02T10:00:00.000000Z" visited="2026-01-02T10:00:00.000000Z">
    <info>
      <metadata owner="http://freedesktop.org">
        <mime:mime-type type="text/plain"/>
        <bookmark:applications>
          <bookmark:application name="Text Editor" exec="&apos;text-editor %u&apos;" modified="2026-01-02T10:00:00.000000Z" count="4"/>
        </bookmark:applications>
      </metadata>
    </info>
  </bookmark>
</xbel>
)";

struct Application {
  QString name, exec, count;
};
struct Bookmark {
  QString href, mimeType, modified;
  QList<Application> applications;
};

// The list as a standard reader sees it.
QList<Bookmark> ReadList(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  QXmlStreamReader in(&file);
  QList<Bookmark> bookmarks;
  while (!in.atEnd()) {
    if (in.readNext() != QXmlStreamReader::StartElement) continue;
    if (in.name() == QLatin1String("bookmark")) {
      bookmarks.append({in.attributes().value("href").toString(), {}, in.attributes().value("modified").toString(), {}});
    } else if (in.name() == QLatin1String("mime-type") && !bookmarks.isEmpty()) {
      bookmarks.last().mimeType = in.attributes().value("type").toString();
    } else if (in.name() == QLatin1String("application") && !bookmarks.isEmpty()) {
      bookmarks.last().applications.append({in.attributes().value("name").toString(),
                                            in.attributes().value("exec").toString(),
                                            in.attributes().value("count").toString()});
    }
  }
  EXPECT_FALSE(in.hasError()) << in.errorString().toStdString();
  return bookmarks;
}

TEST(RecentlyUsedList, OurEntryIsAddedAndCountedAndOtherApplicationsEntriesAreKept) {
  QTemporaryDir folder;
  const QString list = folder.filePath(QStringLiteral("recently-used.xbel"));
  ASSERT_TRUE(WriteFileBytes(list, QByteArray(kOtherApplicationsList)));
  const FLRecentlyUsedApplication us{QStringLiteral("Tamsel Calculator"), QStringLiteral("'tamsel-calculator %u'")};
  const QDateTime first(QDate(2026, 3, 4), QTime(5, 6, 7), Qt::UTC);
  const QString document = folder.filePath(QStringLiteral("Budget & Plan.Numlet"));

  ASSERT_TRUE(NoteRecentlyUsedFile(list, document, QStringLiteral("application/x-numlet"), us, first));
  ASSERT_TRUE(NoteRecentlyUsedFile(list, document, QStringLiteral("application/x-numlet"), us, first.addDays(1)));
  // The other application's document, opened here too.
  ASSERT_TRUE(NoteRecentlyUsedFile(list, QStringLiteral("/home/u/notes.txt"), QStringLiteral("text/plain"), us, first));

  const QList<Bookmark> bookmarks = ReadList(list);
  ASSERT_EQ(bookmarks.size(), 2);
  EXPECT_EQ(bookmarks[0].href, QStringLiteral("file:///home/u/notes.txt"));
  ASSERT_EQ(bookmarks[0].applications.size(), 2);
  EXPECT_EQ(bookmarks[0].applications[0].name, QStringLiteral("Text Editor"));
  EXPECT_EQ(bookmarks[0].applications[0].exec, QStringLiteral("'text-editor %u'"));
  EXPECT_EQ(bookmarks[0].applications[0].count, QStringLiteral("4"));
  EXPECT_EQ(bookmarks[0].applications[1].name, us.name);
  EXPECT_EQ(bookmarks[1].href, QString::fromUtf8(QUrl::fromLocalFile(document).toEncoded()));
  EXPECT_TRUE(bookmarks[1].href.contains(QStringLiteral("Budget%20&%20Plan.Numlet")) ||
              bookmarks[1].href.contains(QStringLiteral("Budget%20%26%20Plan.Numlet")));
  EXPECT_EQ(bookmarks[1].mimeType, QStringLiteral("application/x-numlet"));
  EXPECT_EQ(bookmarks[1].modified, QStringLiteral("2026-03-05T05:06:07.000000Z"));
  ASSERT_EQ(bookmarks[1].applications.size(), 1);
  EXPECT_EQ(bookmarks[1].applications[0].exec, us.exec);
  EXPECT_EQ(bookmarks[1].applications[0].count, QStringLiteral("2"));
}

TEST(RecentlyUsedList, TwoProcessesNotingDocumentsAtOnceKeepEveryEntry) {
  QTemporaryDir folder;
  const QString list = folder.filePath(QStringLiteral("recently-used.xbel"));
  const FLRecentlyUsedApplication us{QStringLiteral("Tamsel Calculator"), QStringLiteral("'tamsel-calculator %u'")};
  constexpr int kEach = 40;
  // A note that waited its short while in vain is left out and says so; on a loaded machine the
  // other process can hold the lock that long, so such a note is tried again. What must never
  // happen is a note that says it went in and was then lost to the other's.
  const auto note = [&](const char* who) {
    bool all = true;
    for (int i = 0; i < kEach; ++i) {
      const QString document = QStringLiteral("/d/%1-%2.csv").arg(QLatin1String(who)).arg(i);
      bool noted = false;
      for (int attempt = 0; attempt < 20 && !noted; ++attempt)
        noted = NoteRecentlyUsedFile(list, document, QStringLiteral("text/csv"), us);
      all = noted && all;
    }
    return all;
  };
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(note("child") ? 0 : 1);
  EXPECT_TRUE(note("parent"));
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadList(list).size(), 2 * kEach);
}

// Another program holds the list's lock: the open or save that notes a document waits a short
// while only, leaves the note out and logs that; once the lock is let go, notes go in again.
TEST(RecentlyUsedList, AListLockedByAnotherProgramIsLeftOutAfterAShortWait) {
  QTemporaryDir folder;
  const QString list = folder.filePath(QStringLiteral("recently-used.xbel"));
  const FLRecentlyUsedApplication us{QStringLiteral("Tamsel Calculator"), QStringLiteral("'tamsel-calculator %u'")};
  int ready[2], release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int lock = ::open(QFile::encodeName(list + QStringLiteral(".lock")).constData(), O_RDWR | O_CREAT, 0600);
    if (lock < 0 || ::flock(lock, LOCK_EX) != 0) ::_exit(1);
    (void)!::write(ready[1], "r", 1);
    // Held until the test lets go, or for a few seconds at most.
    pollfd wait{release[0], POLLIN, 0};
    ::poll(&wait, 1, 5000);
    ::_exit(0);
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  {
    LogCapture capture;
    EXPECT_FALSE(NoteRecentlyUsedFile(list, QStringLiteral("/d/a.csv"), QStringLiteral("text/csv"), us));
    EXPECT_FALSE(QFileInfo::exists(list));
    EXPECT_TRUE(capture.contains(QStringLiteral("is locked by another program"))) << capture.entries().join(QLatin1Char('\n')).toStdString();
  }
  ASSERT_EQ(::write(release[1], "g", 1), 1);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  for (const int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(NoteRecentlyUsedFile(list, QStringLiteral("/d/a.csv"), QStringLiteral("text/csv"), us));
  EXPECT_EQ(ReadList(list).size(), 1);
}

TEST(RecentlyUsedList, AMissingListIsMadeAndAnUnreadableOneIsLeftAlone) {
  QTemporaryDir folder;
  const FLRecentlyUsedApplication us{QStringLiteral("Tamsel Calculator"), QStringLiteral("'tamsel-calculator %u'")};
  const QString fresh = folder.filePath(QStringLiteral("new/recently-used.xbel"));
  ASSERT_TRUE(NoteRecentlyUsedFile(fresh, QStringLiteral("/d/a.csv"), QStringLiteral("text/csv"), us));
  ASSERT_EQ(ReadList(fresh).size(), 1);

  const QString broken = folder.filePath(QStringLiteral("broken.xbel"));
  const QByteArray cut = QByteArray(kOtherApplicationsList).left(300);
  ASSERT_TRUE(WriteFileBytes(broken, cut));
  EXPECT_FALSE(NoteRecentlyUsedFile(broken, QStringLiteral("/d/a.csv"), QStringLiteral("text/csv"), us));
  QFile file(broken);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), cut);
}

// A list that is a FIFO would block every open and save, one that leads to a device would fill
// the memory: such a list, and one beyond any real list's size, is left alone at once.
TEST(RecentlyUsedList, AListThatIsNoRegularFileOrIsOversizedIsLeftAloneAtOnce) {
  QTemporaryDir folder;
  const FLRecentlyUsedApplication us{QStringLiteral("Tamsel Calculator"), QStringLiteral("'tamsel-calculator %u'")};
  const QString fifo = folder.filePath(QStringLiteral("fifo.xbel"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const QString device = folder.filePath(QStringLiteral("device.xbel"));
  ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), device));
  const QString huge = folder.filePath(QStringLiteral("huge.xbel"));
  ASSERT_TRUE(WriteFileBytes(huge, kOtherApplicationsList));
  ASSERT_EQ(::truncate(QFile::encodeName(huge).constData(), off_t(1) << 31), 0);
  for (const QString& list : {fifo, device, huge}) {
    SCOPED_TRACE(list.toStdString());
    EXPECT_FALSE(NoteRecentlyUsedFile(list, QStringLiteral("/d/a.csv"), QStringLiteral("text/csv"), us));
  }
  EXPECT_FALSE(QFileInfo(fifo).isFile());
  EXPECT_TRUE(QFileInfo(device).isSymLink());
  EXPECT_EQ(QFileInfo(huge).size(), qint64(1) << 31);
}

class RecentDocumentsTest : public ::testing::Test {
 protected:
  void SetUp() override { clean(); }
  void TearDown() override { clean(); }
  static void clean() {
    UserDefaults::standardUserDefaults().removeObjectForKey(QLatin1String(kRecentDocumentsKey));
    UserDefaults::standardUserDefaults().removeObjectForKey(QLatin1String(kLastPanelFolderKey));
    UserDefaults::standardUserDefaults().removeObjectForKey(QStringLiteral("test.openFiles"));
    QFile::remove(RecentlyUsedFilePath());
  }
  QString file(const QString& name) {
    const QString path = folder.filePath(name);
    EXPECT_TRUE(WriteFileBytes(path));
    return path;
  }
  static QStringList titles(QMenu& menu) {
    QStringList list;
    for (QAction* action : menu.actions()) list.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    return list;
  }

  QTemporaryDir folder;
};

TEST_F(RecentDocumentsTest, OpenRecentListsOpenedDocumentsAcrossLaunchesUntilCleared) {
  const QString a = file(QStringLiteral("a.txt")), b = file(QStringLiteral("b.txt"));
  {
    TestDelegate delegate;
    delegate.launch();
    delegate.applicationOpenFile(a);
    delegate.applicationOpenFile(b);
    FLRecentDocumentsMenu menu(&delegate, nullptr);
    EXPECT_EQ(titles(menu), (QStringList{"b.txt", "a.txt", "-", "Clear Menu"}));
  }
  SettleEvents();
  // The next launch: the menu is as it was, and choosing an entry opens it.
  TestDelegate next;
  next.launch();
  FLRecentDocumentsMenu menu(&next, nullptr);
  emit menu.aboutToShow();
  ASSERT_EQ(titles(menu), (QStringList{"b.txt", "a.txt", "-", "Clear Menu"}));
  next.opened.clear();
  menu.actions()[1]->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !next.opened.isEmpty(); }, 10000));
  EXPECT_EQ(next.opened, QStringList{a});
  // The desktop's list has them too.
  QStringList hrefs;
  for (const Bookmark& bookmark : ReadList(RecentlyUsedFilePath())) hrefs.append(bookmark.href);
  EXPECT_TRUE(hrefs.contains(QUrl::fromLocalFile(a).toString()));
  EXPECT_TRUE(hrefs.contains(QUrl::fromLocalFile(b).toString()));

  menu.actions().last()->trigger();
  EXPECT_EQ(titles(menu), QStringList{"Clear Menu"});
  EXPECT_FALSE(menu.actions().last()->isEnabled());
  TestDelegate third;
  EXPECT_TRUE(third.recentDocumentUrls().isEmpty());
  // Clearing the menu leaves the desktop's list alone.
  EXPECT_EQ(ReadList(RecentlyUsedFilePath()).size(), 2);
}

TEST_F(RecentDocumentsTest, PanelsStartInTheFrontDocumentsFolderElseTheLastUsedElseDocuments) {
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  QDir().mkpath(documents);
  TestDelegate delegate;
  delegate.launch();  // the untitled document is in front
  EXPECT_EQ(PanelStartFolder(), documents);
  QTemporaryDir other;
  NotePanelFolder(other.path());
  EXPECT_EQ(PanelStartFolder(), QDir::cleanPath(other.path()));
  // A document package in front: its folder, not its inside.
  const QString package = folder.filePath(QStringLiteral("Budget.Numlet"));
  QDir().mkpath(package);
  delegate.applicationOpenFile(package);
  MakeKeyAndOrderFront(delegate.windowForFile(package));
  SettleEvents();
  EXPECT_EQ(PanelStartFolder(), QFileInfo(package).absolutePath());
}

TEST(UntitledNames, EachOpenUntitledDocumentHasItsOwnNumber) {
  auto first = std::make_unique<FakeDocument>();
  auto second = std::make_unique<FakeDocument>();
  auto third = std::make_unique<FakeDocument>();
  EXPECT_EQ(first->windowTitle(), QStringLiteral("Untitled"));
  EXPECT_EQ(second->windowTitle(), QStringLiteral("Untitled 2"));
  EXPECT_EQ(third->windowTitle(), QStringLiteral("Untitled 3"));
  // A number comes free when its document closes or is saved; the lowest free one is next.
  second.reset();
  first->setFilePath(QStringLiteral("/d/saved.Numlet"));
  EXPECT_EQ(FakeDocument().windowTitle(), QStringLiteral("Untitled"));
  EXPECT_EQ(third->windowTitle(), QStringLiteral("Untitled 3"));
}

TEST(CommandLine, DocumentsAndThePrintOption) {
  const struct { QStringList arguments; QStringList documents; bool print; } cases[] = {
      {{"tamsel-calculator"}, {}, false},
      {{"tamsel-calculator", "/d/a.Numlet", "file:///d/b%20c.csv"}, {"/d/a.Numlet", "/d/b c.csv"}, false},
      // A host that names this machine is this machine.
      {{"tamsel-calculator", "file://localhost/d/a.Numlet", "file://LocalHost/d/b%20c.csv"},
       {"/d/a.Numlet", "/d/b c.csv"},
       false},
      {{"tamsel-calculator", "--print", "/d/a.Numlet", "/d/b.csv"}, {"/d/a.Numlet", "/d/b.csv"}, true},
      {{"tamsel-calculator", "-platform", "/d/a.Numlet"}, {"/d/a.Numlet"}, false},
      {{"tamsel-calculator", "--", "--print"}, {QDir::current().absoluteFilePath("--print")}, false},
      // Shell completion's "/" after a package, doubled "/" and "." steps name the document itself.
      {{"tamsel-calculator", "/d/Budget.Numlet/", "/d//e/./a.csv", "file:///d/b.Numlet//"},
       {"/d/Budget.Numlet", "/d/e/a.csv", "/d/b.Numlet"},
       false},
  };
  for (const auto& c : cases) {
    const FLCommandLine line = ParseCommandLine(c.arguments);
    EXPECT_EQ(line.documents, c.documents) << c.arguments.join(' ').toStdString();
    EXPECT_EQ(line.print, c.print) << c.arguments.join(' ').toStdString();
  }
}

TEST_F(RecentDocumentsTest, PrintingFromTheCommandLinePrintsEachAndClosesThem) {
  const QString a = file(QStringLiteral("a.txt")), b = file(QStringLiteral("b.txt"));
  UserDefaults::standardUserDefaults().setObject(QStringList{QStringLiteral("x")}, QStringLiteral("test.openFiles"));
  struct PrintingDelegate : TestDelegate {
    std::vector<FakeWC*> made;
    FLDocumentWC* openFileWithTabIdentifier(const QString& path, const QString& tab) override {
      FLDocumentWC* controller = TestDelegate::openFileWithTabIdentifier(path, tab);
      if (controller) made.push_back(static_cast<FakeWC*>(controller));
      return controller;
    }
    int initialised = 0;
    void initOnLaunch() override { ++initialised; }
  } delegate;
  delegate.failingPaths = {QStringLiteral("/missing.csv")};
  delegate.applicationWillFinishLaunching();
  // The one that cannot be opened fails the run, but the others print all the same.
  EXPECT_EQ(delegate.printFromCommandLine({a, QStringLiteral("/missing.csv"), b}, {{QStringLiteral("copies"), 2}}), 1);
  EXPECT_EQ(delegate.initialised, 1);
  // Nothing of the last run reopened and no untitled document; each printed once, then closed.
  EXPECT_EQ(delegate.opened, (QStringList{a, QStringLiteral("/missing.csv"), b}));
  ASSERT_EQ(delegate.made.size(), 2u);
  for (FakeWC* controller : delegate.made) EXPECT_EQ(controller->printed, QList<int>{2});
  EXPECT_EQ(delegate.untitled, 0);
  SettleEvents();
  EXPECT_EQ(delegate.windowForFile(a), nullptr);
  EXPECT_EQ(delegate.windowForFile(b), nullptr);
  EXPECT_EQ(delegate.printFromCommandLine({QStringLiteral("/missing.csv")}), 1);
}

}  // namespace
