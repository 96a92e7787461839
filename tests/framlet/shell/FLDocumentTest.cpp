#include "framlet/shell/FLDocument.h"

#include "ShellTestSupport.h"

#include "framlet/foundation/flFileSupport.h"
#include "framlet/shell/FLAlert.h"
#include "framlet/shell/flSafeSave.h"
#include "platform/FLError.h"
#include "platform/NotificationCenter.h"
#include "support/AnotherUser.h"
#include "support/TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

QString ReadDocument(const QString& path) {
  QFile file(QFileInfo(path).isDir() ? QDir(path).filePath(QStringLiteral("document.xml")) : path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QStringLiteral("<unreadable>");
}

class DocumentSaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FLAlert::sharedInstance().setModalRunner([this](const FLAlertRequest& request, bool*) {
      alerts.append(request.message + QLatin1Char('|') + request.moreInfo);
      return 0;
    });
  }
  void TearDown() override {
    FLAlert::sharedInstance().setModalRunner({});
    SetRenameProbe({});
    SetBootTimeProbe({});
    SetLockWriteProbe({});
    SetDeviceProbe({});
    SetWriteAccessProbe({});
    FLDocument::setKeepHtmlExtension(false);
  }
  QString path(const QString& name) const { return folder.filePath(name); }
  void clearFolder() const {
    for (const QString& entry : entries()) RemoveItemAtPath(path(entry));
  }
  QStringList entries() const {
    return QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
  }
  bool saveAs(const QString& name, const QString& content) {
    document.content = content;
    return document.saveTo(path(name), false, false);
  }
  bool save(const QString& content) {
    document.content = content;
    return document.save();
  }

  // Where a part of a test run by another user can reach it too.
  QTemporaryDir folder{TemporaryTemplateAnotherUserReaches()};
  PackageDocument document;
  QStringList alerts;
};

TEST_F(DocumentSaveTest, SavingInPlaceKeepsTheReplacedVersionAsTheBackupWhenAsked) {
  const QString budget = QStringLiteral("Budget.Numlet"), backup = QStringLiteral("Budget~.Numlet");
  for (const bool asPackage : {true, false}) {
    for (const bool backups : {true, false}) {
      SCOPED_TRACE(testing::Message() << "package " << asPackage << " backups " << backups);
      clearFolder();
      document.asPackage = asPackage;
      document.backups = backups;
      document.setFilePath(QString());
      ASSERT_TRUE(saveAs(budget, QStringLiteral("one")));
      EXPECT_EQ(entries(), QStringList{budget});
      for (const QString& content : {QStringLiteral("two"), QStringLiteral("three")}) {
        const QString before = ReadDocument(path(budget));
        ASSERT_TRUE(save(content));
        EXPECT_EQ(ReadDocument(path(budget)), content);
        if (backups) {
          EXPECT_EQ(ReadDocument(path(backup)), before);
        }
        EXPECT_EQ(entries(), (backups ? QStringList{budget, backup} : QStringList{budget}));
      }
    }
  }
  EXPECT_TRUE(alerts.isEmpty());
}

// A backup beside a document saved with a password would keep its contents in clear: the first
// protected save removes the earlier one and none is made after.
TEST_F(DocumentSaveTest, AnEncipheredSaveLeavesNoBackupOfAnEarlierVersion) {
  const QString budget = QStringLiteral("Budget.Numlet"), backup = QStringLiteral("Budget~.Numlet");
  for (const bool asPackage : {true, false}) {
    SCOPED_TRACE(testing::Message() << "package " << asPackage);
    clearFolder();
    document.asPackage = asPackage;
    document.backups = true;
    document.enciphered = false;
    document.setFilePath(QString());
    ASSERT_TRUE(saveAs(budget, QStringLiteral("clear one")));
    ASSERT_TRUE(save(QStringLiteral("clear two")));
    ASSERT_EQ(entries(), (QStringList{budget, backup}));
    document.enciphered = true;
    for (const QString& content : {QStringLiteral("enciphered"), QStringLiteral("enciphered again")}) {
      ASSERT_TRUE(save(content));
      EXPECT_EQ(ReadDocument(path(budget)), content);
      EXPECT_EQ(entries(), QStringList{budget});
    }
  }
  EXPECT_TRUE(alerts.isEmpty());
}

TEST_F(DocumentSaveTest, AWriterThatFailsLeavesTheOldDocumentAndNoTemporaryFile) {
  ASSERT_TRUE(saveAs(QStringLiteral("Budget.Numlet"), QStringLiteral("one")));
  document.setDirty(true);
  document.failWith = QStringLiteral("The disk is full.");
  EXPECT_FALSE(save(QStringLiteral("two")));
  EXPECT_EQ(entries(), QStringList{QStringLiteral("Budget.Numlet")});
  EXPECT_EQ(ReadDocument(path(QStringLiteral("Budget.Numlet"))), QStringLiteral("one"));
  EXPECT_TRUE(document.dirty());
  EXPECT_TRUE(document.finalSavePath().isEmpty());
  EXPECT_EQ(alerts,
            QStringList{QStringLiteral("Save failed.|I can't save the document to \"Budget.Numlet\". The disk is full.")});
  // The writer was given a temporary name beside the target, and the target's name meanwhile.
  EXPECT_EQ(QFileInfo(document.writtenTo).absolutePath(), QFileInfo(folder.path()).absoluteFilePath());
  EXPECT_TRUE(document.writtenTo.endsWith(QLatin1String(".Numlet")));
  EXPECT_EQ(document.finalDuringSave, path(QStringLiteral("Budget.Numlet")));
}

TEST_F(DocumentSaveTest, ASaveKilledBetweenTheTwoRenamesLeavesAReadableDocument) {
  const struct { bool asPackage; bool backups; } cases[] = {{true, true}, {true, false}, {false, true}, {false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "package " << c.asPackage << " backups " << c.backups);
    clearFolder();
    alerts.clear();
    document.asPackage = c.asPackage;
    document.backups = c.backups;
    document.setFilePath(QString());
    ASSERT_TRUE(saveAs(QStringLiteral("Budget.Numlet"), QStringLiteral("one")));
    const QString target = path(QStringLiteral("Budget.Numlet"));
    // The new version's move onto the user's path fails, once.
    bool failed = false;
    SetRenameProbe([target, &failed](const QString&, const QString& to) {
      if (failed || to != target) return true;
      failed = true;
      return false;
    });
    EXPECT_FALSE(save(QStringLiteral("two")));
    SetRenameProbe({});
    EXPECT_EQ(ReadDocument(target), QStringLiteral("one"));
    EXPECT_EQ(alerts.size(), 1);
    EXPECT_TRUE(alerts.value(0).startsWith(QLatin1String("Save failed.|")));
    EXPECT_EQ(document.filePath(), target);
    // No temporary or set-aside item stays behind.
    for (const QString& entry : entries())
      EXPECT_TRUE(entry == QLatin1String("Budget.Numlet") || entry == QLatin1String("Budget~.Numlet")) << entry.toStdString();
  }
}

// A save killed at any point leaves a whole document at its name and nothing in view; the next
// save clears what the killed one left, and the document then opens as saved.
TEST_F(DocumentSaveTest, ASaveKilledAnywhereLeavesTheDocumentWholeAndTheNextSaveClearsTheRest) {
  const QString budget = QStringLiteral("Budget.Numlet"), backup = QStringLiteral("Budget~.Numlet");
  // Where the child dies: while the writer works, or before the n-th rename of the swap (the
  // swap itself, then the old version's move to the backup name).
  const struct { const char* name; bool asPackage; bool backups; bool inWriter; int beforeRename; } cases[] = {
      {"package, in the writer", true, true, true, 0},
      {"package, at the swap", true, true, false, 1},
      {"package, between the swap and the backup", true, true, false, 2},
      {"package without backups, at the swap", true, false, false, 1},
      {"file, in the writer", false, true, true, 0},
      {"file, at the rename", false, false, false, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    clearFolder();
    document.asPackage = c.asPackage;
    document.backups = c.backups;
    document.setFilePath(QString());
    ASSERT_TRUE(saveAs(budget, QStringLiteral("one")));
    ASSERT_TRUE(save(QStringLiteral("two")));

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const auto die = [] { ::kill(::getpid(), SIGKILL); };
      if (c.inWriter) document.whileWriting = die;
      int renames = 0;
      SetRenameProbe([&](const QString&, const QString&) {
        if (++renames == c.beforeRename) die();
        return true;
      });
      save(QStringLiteral("three"));
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child was not killed where asked";

    // Whole at its name: the old version or the new, never nothing.
    const QString left = ReadDocument(path(budget));
    EXPECT_TRUE(left == QLatin1String("two") || left == QLatin1String("three")) << left.toStdString();
    for (const QString& entry : entries())
      EXPECT_TRUE(entry == budget || entry == backup || entry.startsWith(QLatin1Char('.'))) << entry.toStdString();

    ASSERT_TRUE(save(QStringLiteral("four")));
    EXPECT_EQ(entries(), (c.backups ? QStringList{budget, backup} : QStringList{budget}));
    EXPECT_EQ(ReadDocument(path(budget)), QStringLiteral("four"));
  }
  EXPECT_TRUE(alerts.isEmpty()) << alerts.join(QLatin1Char('\n')).toStdString();
}

// A document opened through a link is saved to what the link leads to: the link stays a link,
// and the backup lies beside the file it backs up.
TEST_F(DocumentSaveTest, SavingThroughALinkWritesItsTargetAndKeepsTheLink) {
  for (const bool asPackage : {true, false}) {
    SCOPED_TRACE(testing::Message() << "package " << asPackage);
    clearFolder();
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("real")));
    document.asPackage = asPackage;
    document.backups = true;
    document.setFilePath(QString());
    const QString real = path(QStringLiteral("real/Budget.Numlet"));
    document.content = QStringLiteral("one");
    ASSERT_TRUE(document.saveTo(real, false, false));
    const QString link = path(QStringLiteral("Budget.Numlet"));
    ASSERT_TRUE(QFile::link(QStringLiteral("real/Budget.Numlet"), link));
    document.setFilePath(link);

    ASSERT_TRUE(save(QStringLiteral("through the link")));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ReadDocument(real), QStringLiteral("through the link"));
    EXPECT_TRUE(QFileInfo::exists(path(QStringLiteral("real/Budget~.Numlet"))));
    EXPECT_EQ(entries(), (QStringList{QStringLiteral("Budget.Numlet"), QStringLiteral("real")}));
    EXPECT_EQ(document.filePath(), link);
  }
  EXPECT_TRUE(alerts.isEmpty());
}

TEST_F(DocumentSaveTest, SaveAsAttachesPostsTheRenameOnceAndSaveKeepsTheUndoHistory) {
  int renames = 0;
  NotificationObserver observer = NotificationCenter::defaultCenter().addObserver(
      QLatin1String(kDocumentRenameNotification), &document, [&](const Notification&) { ++renames; });
  document.setDirty(true);
  ASSERT_TRUE(saveAs(QStringLiteral("Budget.Numlet"), QStringLiteral("one")));
  EXPECT_EQ(renames, 1);
  EXPECT_EQ(document.attached, 1);
  EXPECT_EQ(document.filePath(), path(QStringLiteral("Budget.Numlet")));
  EXPECT_EQ(document.windowTitle(), QStringLiteral("Budget.Numlet"));
  EXPECT_FALSE(document.dirty());
  document.setDirty(true);
  ASSERT_TRUE(save(QStringLiteral("two")));
  EXPECT_EQ(document.attached, 1);
  // A copy leaves the document where it was.
  document.setDirty(true);
  document.content = QStringLiteral("copy");
  ASSERT_TRUE(document.saveTo(path(QStringLiteral("Copy.Numlet")), false, true));
  EXPECT_EQ(document.filePath(), path(QStringLiteral("Budget.Numlet")));
  EXPECT_TRUE(document.dirty());
  EXPECT_EQ(renames, 2);
}

TEST_F(DocumentSaveTest, AnHtmlFolderNeverReplacesWhatTheSaveDidNotMake) {
  ASSERT_TRUE(WriteFileBytes(path(QStringLiteral("Report")), "mine"));
  document.setFilePath(QString());
  document.setDirty(true);
  for (const bool backups : {true, false}) {
    document.backups = backups;
    alerts.clear();
    ASSERT_TRUE(saveAs(QStringLiteral("Report.HTML"), QStringLiteral("page")));
    EXPECT_EQ(ReadDocument(path(QStringLiteral("Report"))), QStringLiteral("mine"));
    EXPECT_EQ(ReadDocument(path(QStringLiteral("Report 2"))), QStringLiteral("page"));
    EXPECT_EQ(alerts.size(), 1);
    EXPECT_TRUE(alerts.value(0).contains(QLatin1String("Report 2")));
    // An export: the document keeps its (lack of a) path and its changes.
    EXPECT_TRUE(document.filePath().isEmpty());
    EXPECT_TRUE(document.dirty());
    RemoveItemAtPath(path(QStringLiteral("Report 2")));
  }
  FLDocument::setKeepHtmlExtension(true);
  ASSERT_TRUE(saveAs(QStringLiteral("Page.html"), QStringLiteral("plain")));
  EXPECT_EQ(document.filePath(), path(QStringLiteral("Page.html")));
}

TEST_F(DocumentSaveTest, TheFilesPermissionsAndUserAttributesCarryOver) {
  document.asPackage = false;
  ASSERT_TRUE(saveAs(QStringLiteral("Budget.Numlet"), QStringLiteral("one")));
  const QByteArray target = QFile::encodeName(path(QStringLiteral("Budget.Numlet")));
  ASSERT_EQ(::chmod(target.constData(), 0640), 0);
  const bool xattrs = ::setxattr(target.constData(), "user.tag", "red", 3, 0) == 0;
  ASSERT_TRUE(save(QStringLiteral("two")));
  const FLFileAttributes attributes = GetFileAttributes(path(QStringLiteral("Budget.Numlet")));
  EXPECT_EQ(attributes.permissions, 0640u);
  if (xattrs) {
    ASSERT_EQ(attributes.userAttributes.size(), 1);
    EXPECT_EQ(attributes.userAttributes[0].second, QByteArray("red"));
  }
}

// Another program changes the document's file while the save writes the new version: the save
// stops before the swap and says why, the change stays, and the window keeps its own, so that
// the next save asks before saving over it.
TEST_F(DocumentSaveTest, AChangeAnotherProgramMakesWhileASaveWritesIsNotSavedOver) {
  for (const bool asPackage : {true, false}) {
    SCOPED_TRACE(testing::Message() << "package " << asPackage);
    clearFolder();
    alerts.clear();
    document.asPackage = asPackage;
    document.setFilePath(QString());
    ASSERT_TRUE(saveAs(QStringLiteral("Budget.Numlet"), QStringLiteral("one")));
    const QString target = path(QStringLiteral("Budget.Numlet"));
    document.whileWriting = [&] { EXPECT_TRUE(WriteFileBytes(asPackage ? target + QStringLiteral("/document.xml") : target, "theirs")); };
    document.setDirty(true);
    EXPECT_FALSE(save(QStringLiteral("two")));
    document.whileWriting = {};
    EXPECT_EQ(ReadDocument(target), QStringLiteral("theirs"));
    EXPECT_TRUE(document.dirty());
    EXPECT_TRUE(document.fileChangedSinceNoted());
    EXPECT_EQ(alerts, QStringList{QStringLiteral("Save failed.|I can't save the document to \"Budget.Numlet\". ") +
                                  QLatin1String(kChangedWhileSavingReason)});
    EXPECT_EQ(entries(), QStringList{QStringLiteral("Budget.Numlet")});
  }
}

TEST_F(DocumentSaveTest, PermissionsCarriedBetweenAFileAndAFolderKeepTheFolderOpenable) {
  // A page saved again as a folder with its images, or a package saved as one file.
  const QString file = path(QStringLiteral("page.html")), folder = path(QStringLiteral("page"));
  ASSERT_TRUE(QFile(file).open(QIODevice::WriteOnly));
  ASSERT_TRUE(QDir().mkpath(folder));
  ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0640), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0750), 0);
  const FLFileAttributes ofFile = GetFileAttributes(file), ofFolder = GetFileAttributes(folder);
  ASSERT_TRUE(SetFileAttributes(folder, ofFile));
  EXPECT_EQ(GetFileAttributes(folder).permissions, 0750u);
  ASSERT_TRUE(SetFileAttributes(file, ofFolder));
  EXPECT_EQ(GetFileAttributes(file).permissions, 0640u);
}

TEST_F(DocumentSaveTest, AFileItsOwnerMayNotWriteIsLockedInTheTitle) {
  ASSERT_TRUE(saveAs(QStringLiteral("Budget.Numlet"), QStringLiteral("one")));
  document.setWindowTitle();
  EXPECT_FALSE(document.isLocked());
  const QByteArray target = QFile::encodeName(path(QStringLiteral("Budget.Numlet")));
  ASSERT_EQ(::chmod(target.constData(), 0555), 0);
  document.setWindowTitle();
  EXPECT_TRUE(document.isLocked());
  EXPECT_EQ(document.windowTitle(), QStringLiteral("Budget.Numlet \u2014 [Locked]"));
  ::chmod(target.constData(), 0755);
  document.setWindowTitle();
  EXPECT_FALSE(document.isLocked());
  EXPECT_EQ(document.windowTitle(), QStringLiteral("Budget.Numlet"));
}

// Another save of the same document, in another process, runs its sweep while this one's new
// version waits to be swapped in: the sweep leaves it, and both saves keep a whole document.
TEST_F(DocumentSaveTest, ASaveNeverSweepsTheTemporaryOfAnotherSaveStillRunning) {
  const QString budget = QStringLiteral("Budget.Numlet"), backup = QStringLiteral("Budget~.Numlet");
  for (const bool asPackage : {true, false}) {
    SCOPED_TRACE(testing::Message() << "package " << asPackage);
    clearFolder();
    document.asPackage = asPackage;
    document.backups = true;
    document.setFilePath(QString());
    ASSERT_TRUE(saveAs(budget, QStringLiteral("one")));
    int ready[2], go[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(go), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Written, and about to be swapped in: the other save runs now.
      bool first = true, kept = true;
      SetRenameProbe([&](const QString& from, const QString&) {
        if (!first) return true;
        first = false;
        char byte = 0;
        (void)!::write(ready[1], "r", 1);
        (void)!::read(go[0], &byte, 1);
        kept = QFileInfo::exists(from);
        return true;
      });
      const bool saved = save(QStringLiteral("the child's"));
      ::_exit(saved && kept ? 0 : 1);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    EXPECT_TRUE(save(QStringLiteral("the parent's")));
    ASSERT_EQ(::write(go[1], "g", 1), 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    for (const int fd : {ready[0], ready[1], go[0], go[1]}) ::close(fd);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child's save failed or lost its temporary";
    // The later swap wins; the other version, or the first, is the backup.
    EXPECT_EQ(ReadDocument(path(budget)), QStringLiteral("the child's"));
    EXPECT_EQ(entries(), (QStringList{budget, backup}));
  }
  EXPECT_TRUE(alerts.isEmpty()) << alerts.join(QLatin1Char('\n')).toStdString();
}

// The document's file or its folder changes just before the new version is swapped in: the new
// version still ends under the document's own name, never under the hidden temporary one. When
// that name is refused, the save has failed: the copy under another name is the user's to keep.
TEST_F(DocumentSaveTest, ATargetGoneOrMovedJustBeforeTheSwapStillGetsTheDocumentUnderItsName) {
  enum class Meanwhile { RemoveTarget, RenameFolder, RemoveTargetAndFailOntoIt };
  const struct {
    const char* name;
    bool asPackage;
    Meanwhile meanwhile;
    const char* savedAs;
    const char* alert;
    const char* keptAs;
  } cases[] = {
      {"package removed", true, Meanwhile::RemoveTarget, "in/Budget.Numlet", nullptr, nullptr},
      {"file removed", false, Meanwhile::RemoveTarget, "in/Budget.Numlet", nullptr, nullptr},
      {"folder renamed, package", true, Meanwhile::RenameFolder, "moved/Budget.Numlet", nullptr, nullptr},
      {"folder renamed, file", false, Meanwhile::RenameFolder, "moved/Budget.Numlet", nullptr, nullptr},
      {"package removed, its name refused", true, Meanwhile::RemoveTargetAndFailOntoIt, "in/Budget.Numlet",
       "Save failed.|I can't save \"Budget.Numlet\" to the requested name; it was saved with the name "
       "\"Budget 2.Numlet\": ",
       "in/Budget 2.Numlet"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    clearFolder();
    alerts.clear();
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("in")));
    document.asPackage = c.asPackage;
    document.backups = true;
    document.setFilePath(QString());
    ASSERT_TRUE(saveAs(QStringLiteral("in/Budget.Numlet"), QStringLiteral("one")));
    const QString target = path(QStringLiteral("in/Budget.Numlet"));
    bool first = true;
    SetRenameProbe([&](const QString&, const QString& to) {
      if (first) {
        first = false;
        if (c.meanwhile == Meanwhile::RenameFolder)
          EXPECT_TRUE(QDir(folder.path()).rename(QStringLiteral("in"), QStringLiteral("moved")));
        else
          EXPECT_TRUE(RemoveItemAtPath(target));
      }
      return !(c.meanwhile == Meanwhile::RemoveTargetAndFailOntoIt && to == target);
    });
    document.setDirty(true);
    EXPECT_EQ(save(QStringLiteral("two")), c.keptAs == nullptr);
    SetRenameProbe({});
    EXPECT_EQ(document.filePath(), path(QString::fromUtf8(c.savedAs)));
    EXPECT_EQ(ReadDocument(c.keptAs ? path(QString::fromUtf8(c.keptAs)) : document.filePath()), QStringLiteral("two"));
    EXPECT_EQ(document.dirty(), c.keptAs != nullptr);
    // The reason is the system's own text for the refused rename, in the user's language.
    EXPECT_EQ(alerts, c.alert ? QStringList{QString::fromUtf8(c.alert) + QString::fromLocal8Bit(std::strerror(EIO))}
                              : QStringList());
    // Nothing hidden: a later save of any document to that name would take it for debris.
    const QString savedIn = QFileInfo(document.filePath()).absolutePath();
    for (const QString& entry : QDir(savedIn).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
      EXPECT_FALSE(entry.startsWith(QLatin1Char('.'))) << entry.toStdString();
    ASSERT_TRUE(save(QStringLiteral("three")));
    EXPECT_EQ(ReadDocument(document.filePath()), QStringLiteral("three"));
  }
}

// What saves left beside a document, as the next save's sweep finds it: a temporary whose lock
// file no save holds goes, unless the lock file says it was kept; one without a lock file goes
// only when it has not changed since before the system started, as its maker is gone then.
TEST_F(DocumentSaveTest, TheSweepTakesWhatNoSaveCanStillWriteAndLeavesWhatASaveKept) {
  const struct { const char* name; const char* lock; bool startedSince; bool swept; } cases[] = {
      {"unfinished, its lock file unheld", "", false, true},
      {"kept, its lock file unheld", "kept\n", false, false},
      {"no lock file, made before the system started", nullptr, true, true},
      {"no lock file, made since the system started", nullptr, false, false},
  };
  for (const bool asPackage : {true, false}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << c.name << ", package " << asPackage);
      clearFolder();
      document.asPackage = asPackage;
      document.setFilePath(QString());
      ASSERT_TRUE(saveAs(QStringLiteral("Budget.Numlet"), QStringLiteral("one")));
      const QString stem =
          QStringLiteral(".Budget.Numlet.") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
      const QString left = path(stem + QStringLiteral(".Numlet"));
      if (asPackage) {
        ASSERT_TRUE(QDir().mkpath(left));
      }
      ASSERT_TRUE(WriteFileBytes(asPackage ? left + QStringLiteral("/document.xml") : left, "left"));
      if (c.lock) {
        ASSERT_TRUE(WriteFileBytes(path(stem + QLatin1Char('~')), c.lock));
      }
      const long long now = QDateTime::currentSecsSinceEpoch();
      if (c.startedSince) SetBootTimeProbe([now] { return now + 60; });
      ASSERT_TRUE(save(QStringLiteral("two")));
      SetBootTimeProbe({});
      EXPECT_EQ(QFileInfo::exists(left), !c.swept);
      // A lock file stays only with what it stands for.
      EXPECT_EQ(QFileInfo::exists(path(stem + QLatin1Char('~'))), c.lock && !c.swept);
    }
  }
  EXPECT_TRUE(alerts.isEmpty()) << alerts.join(QLatin1Char('\n')).toStdString();
}

// The document's package is removed and its folder turns read-only just before the swap (as a
// disk remounted read-only after an error does): the new version can only stay under its hidden
// temporary name. The save has failed, the window keeps its changes, and that copy is never
// taken for debris, not even by the next save to the same name once the folder is writable;
// also when the whole disk turned read-only, so that not even the lock file could be marked, and
// when the repaired disk is mounted again as another device (its device number faked).
// Run by a user the mode bits stop: as root, the save runs in a child process of another user.
TEST_F(DocumentSaveTest, ASaveKeptUnderItsHiddenNameFailsAndTheCopyOutlivesTheNextSave) {
  const struct { bool asPackage, markable, remounted; } cases[] = {
      {true, true, false},  {false, true, false}, {true, false, false},
      {false, false, false}, {true, false, true},  {false, false, true}};
  for (const auto& [asPackage, markable, remounted] : cases) {
    SCOPED_TRACE(testing::Message() << "package " << asPackage << ", lock file markable " << markable
                                    << ", mounted again as another device " << remounted);
    clearFolder();
    const QString in = path(QStringLiteral("in")), target = path(QStringLiteral("in/Doc.Numlet"));
    ASSERT_TRUE(QDir().mkpath(in));
    if (::geteuid() == 0) {
      ASSERT_EQ(::chmod(QFile::encodeName(folder.path()).constData(), 0755), 0);
      ASSERT_EQ(::chown(QFile::encodeName(in).constData(), kNobodyUser, kNobodyUser), 0);
    }
    const std::optional<QByteArray> outcome = RunAsUserTheModeBitsStop([&, asPackage = asPackage, markable = markable] {
      document.asPackage = asPackage;
      document.setFilePath(QString());
      if (!saveAs(QStringLiteral("in/Doc.Numlet"), QStringLiteral("one"))) return QByteArray("the first save failed");
      bool first = true;
      SetRenameProbe([&](const QString&, const QString&) {
        if (first) {
          first = false;
          RemoveItemAtPath(target);
          ::chmod(QFile::encodeName(in).constData(), 0555);
        }
        return true;
      });
      if (!markable) SetLockWriteProbe([&] { return first; });
      document.setDirty(true);
      const bool saved = save(QStringLiteral("two"));
      return (QStringLiteral("%1 %2 %3|").arg(saved).arg(document.dirty()).arg(document.filePath()) +
              alerts.join(QLatin1Char('\n')))
          .toUtf8();
    });
    ASSERT_TRUE(outcome) << "the child could not run";
    ASSERT_EQ(::chmod(QFile::encodeName(in).constData(), 0755), 0);

    // Told as failed, with the name the copy has; the window keeps its changes and its name.
    const QString told = QString::fromUtf8(*outcome);
    EXPECT_TRUE(told.startsWith(QStringLiteral("0 1 ") + target + QLatin1Char('|'))) << told.toStdString();
    EXPECT_TRUE(told.contains(QLatin1String("it was saved with the name \".Doc.Numlet."))) << told.toStdString();
    EXPECT_TRUE(told.endsWith(QString::fromLocal8Bit(std::strerror(EACCES)))) << told.toStdString();
    const auto kept = [&] {
      QStringList found;
      for (const QString& entry : QDir(in).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
        if (entry.startsWith(QLatin1String(".Doc.Numlet.")) && entry.endsWith(QLatin1String(".Numlet")))
          found.append(QDir(in).filePath(entry));
      return found;
    };
    ASSERT_EQ(kept().size(), 1);
    const QString copy = kept().value(0);
    EXPECT_EQ(ReadDocument(copy), QStringLiteral("two"));

    // Another document saved to that name, twice: the copy stays as it was.
    if (remounted) SetDeviceProbe([](unsigned long long device) { return device + 1; });
    PackageDocument other;
    other.asPackage = asPackage;
    other.content = QStringLiteral("another");
    ASSERT_TRUE(other.saveTo(target, false, false));
    ASSERT_TRUE(other.save());
    EXPECT_EQ(kept(), QStringList{copy});
    EXPECT_EQ(ReadDocument(copy), QStringLiteral("two"));
    EXPECT_EQ(ReadDocument(target), QStringLiteral("another"));
    // Nor is the file taken for changed by another program when the disk comes back again as
    // yet another device.
    if (remounted) SetDeviceProbe([](unsigned long long device) { return device + 2; });
    EXPECT_FALSE(other.fileChangedSinceNoted());
    SetDeviceProbe({});
  }
}

// Two of the longest names that differ only past the point where the backup's name is cut keep
// a backup each.
TEST_F(DocumentSaveTest, TwoLongNamesAlikeWhereTheBackupNameIsCutKeepTwoBackups) {
  // 255 bytes each; "~" before the extension leaves room for 247 bytes of the name.
  const QString alike(247, QLatin1Char('n'));
  const QString first = alike + QStringLiteral("1.Numlet"), second = alike + QStringLiteral("2.Numlet");
  ASSERT_EQ(QFile::encodeName(first).size(), kLongestFileName);
  for (const bool asPackage : {true, false}) {
    SCOPED_TRACE(testing::Message() << "package " << asPackage);
    clearFolder();
    PackageDocument other;
    document.asPackage = other.asPackage = asPackage;
    document.setFilePath(QString());
    ASSERT_TRUE(saveAs(first, QStringLiteral("first one")));
    other.content = QStringLiteral("second one");
    ASSERT_TRUE(other.saveTo(path(second), false, false));
    ASSERT_TRUE(save(QStringLiteral("first two")));
    other.content = QStringLiteral("second two");
    ASSERT_TRUE(other.save());
    const QStringList left = entries();
    ASSERT_EQ(left.size(), 4) << left.join(QLatin1Char('\n')).toStdString();
    QStringList backups;
    for (const QString& entry : left) {
      EXPECT_LE(QFile::encodeName(entry).size(), kLongestFileName);
      if (entry != first && entry != second) backups.append(ReadDocument(path(entry)));
    }
    backups.sort();
    EXPECT_EQ(backups, (QStringList{QStringLiteral("first one"), QStringLiteral("second one")}));
  }
  EXPECT_TRUE(alerts.isEmpty()) << alerts.join(QLatin1Char('\n')).toStdString();
}

// The hidden temporary and the backup are named after the document, yet stay within the longest
// name a folder takes, however long the document's own name is.
TEST_F(DocumentSaveTest, ADocumentWithTheLongestNameSavesAndKeepsItsBackup) {
  const QString cjk = QString(81, QChar(0x8868));  // three bytes each in UTF-8
  for (const QString& name : {cjk + QStringLiteral(".Numlet"), cjk + QStringLiteral("ab.Numlet"),
                              cjk + QStringLiteral("abcde.Numlet")}) {
    for (const bool asPackage : {true, false}) {
      SCOPED_TRACE(testing::Message() << QFile::encodeName(name).size() << " bytes, package " << asPackage);
      clearFolder();
      document.asPackage = asPackage;
      document.setFilePath(QString());
      ASSERT_TRUE(saveAs(name, QStringLiteral("one")));
      ASSERT_TRUE(save(QStringLiteral("two")));
      ASSERT_TRUE(save(QStringLiteral("three")));
      const QStringList left = entries();
      ASSERT_EQ(left.size(), 2) << left.join(QLatin1Char(' ')).toStdString();
      EXPECT_EQ(ReadDocument(path(name)), QStringLiteral("three"));
      const QString backup = left.value(0) == name ? left.value(1) : left.value(0);
      EXPECT_TRUE(backup.endsWith(QLatin1String("~.Numlet"))) << backup.toStdString();
      EXPECT_EQ(ReadDocument(path(backup)), QStringLiteral("two"));
    }
  }
  EXPECT_TRUE(alerts.isEmpty()) << alerts.join(QLatin1Char('\n')).toStdString();
}

// A document the user made read-only is not saved over, and no save leaves anything beside it.
// The refusal follows the lock the title shows, so it holds for root too, whom the mode bits do
// not stop.
// A package with one folder its owner, or this user, may not change is read-only as a whole:
// replacing it, or later its backup, would have to take that folder apart. (A folder of another
// user's, mode 755, is told by access(2), which the test answers for root.)
TEST_F(DocumentSaveTest, AReadOnlyDocumentIsRefusedAndLeftAsItWas) {
  const QString budget = QStringLiteral("Budget.Numlet");
  const struct {
    const char* name;
    bool asPackage;
    const char* readOnly;
    unsigned mode, writable;
    bool anotherUsers = false;
  } shapes[] = {
      {"package", true, "", 0555, 0755},
      {"file", false, "", 0444, 0644},
      {"package with a read-only folder", true, "/Images", 0555, 0755},
      {"package with a folder of another user", true, "/Images", 0755, 0755, true},
  };
  for (const auto& shape : shapes) {
    for (const bool backups : {true, false}) {
      SCOPED_TRACE(testing::Message() << shape.name << ", backups " << backups);
      clearFolder();
      alerts.clear();
      document.asPackage = shape.asPackage;
      document.backups = backups;
      document.setFilePath(QString());
      ASSERT_TRUE(saveAs(budget, QStringLiteral("one")));
      const QString readOnly = path(budget) + QLatin1String(shape.readOnly);
      if (*shape.readOnly) {
        ASSERT_TRUE(QDir().mkpath(readOnly));
        ASSERT_TRUE(WriteFileBytes(readOnly + QStringLiteral("/picture.png"), "png"));
      }
      const QByteArray native = QFile::encodeName(readOnly);
      ASSERT_EQ(::chmod(native.constData(), shape.mode), 0);
      if (shape.anotherUsers) {
        SetWriteAccessProbe([readOnly](const QString& folder) {
          return QDir::cleanPath(folder) != QDir::cleanPath(readOnly);
        });
      }
      document.setWindowTitle();
      EXPECT_TRUE(document.isLocked());
      for (int time = 0; time < 3; ++time) EXPECT_FALSE(save(QStringLiteral("two")));
      SetWriteAccessProbe({});
      ::chmod(native.constData(), shape.writable);
      EXPECT_EQ(entries(), QStringList{budget});
      EXPECT_EQ(ReadDocument(path(budget)), QStringLiteral("one"));
      EXPECT_EQ(alerts, QStringList(3, QStringLiteral("Save failed.|I can't save the document to \"Budget.Numlet\". "
                                                      "It is read-only.")));
    }
  }
}

// A folder whose name is not text in the system's encoding reaches the save panel with its bytes
// replaced; the save says so rather than that no such folder exists.
TEST_F(DocumentSaveTest, AFolderWhoseNameIsNotTextIsRefusedWithThatReason) {
  const QByteArray latin1 = QFile::encodeName(folder.path()) + "/caf\xe9";
  ASSERT_EQ(::mkdir(latin1.constData(), 0755), 0);
  const QString decoded = QFile::decodeName(latin1);
  ASSERT_NE(QFile::encodeName(decoded), latin1) << "this locale reads Latin-1 bytes as text";
  document.content = QStringLiteral("one");
  EXPECT_FALSE(document.saveTo(decoded + QStringLiteral("/Budget.Numlet"), false, false));
  EXPECT_EQ(alerts, QStringList{QStringLiteral("Save failed.|I can't save the document to \"Budget.Numlet\". ") +
                                QLatin1String(kUnreadableNameReason)});
  EXPECT_TRUE(document.filePath().isEmpty());
  ::rmdir(latin1.constData());  // a name Qt cannot give back
}

TEST(SafeSave, UniqueNamesCountUpFromTwo) {
  QTemporaryDir folder;
  const struct { QString base, extension; QStringList existing; QString expected; } cases[] = {
      {QStringLiteral("Report"), QString(), {}, QStringLiteral("Report")},
      {QStringLiteral("Report"), QString(), {QStringLiteral("Report")}, QStringLiteral("Report 2")},
      {QStringLiteral("Report"), QStringLiteral("html"), {QStringLiteral("Report.html"), QStringLiteral("Report 2.html")},
       QStringLiteral("Report 3.html")},
  };
  for (const auto& c : cases) {
    for (const QString& name : c.existing) WriteFileBytes(folder.filePath(name));
    EXPECT_EQ(QFileInfo(UniquePathInFolder(folder.path(), c.base, c.extension)).fileName(), c.expected);
  }
}

}  // namespace
