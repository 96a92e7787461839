#include "framlet/foundation/FLFileLocator.h"

#include "framlet/foundation/flFileSupport.h"
#include "support/LogCapture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <pwd.h>
#include <unistd.h>

namespace {

void Touch(const QString& path) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
  file.write("contents");
}

// Points $XDG_DATA_HOME (and so the Trash) at a scratch folder for one test.
class ScratchDataHome {
 public:
  ScratchDataHome() : saved_(qgetenv("XDG_DATA_HOME")) { qputenv("XDG_DATA_HOME", folder_.path().toUtf8()); }
  ~ScratchDataHome() { qputenv("XDG_DATA_HOME", saved_); }
  QString trashFiles() const { return folder_.path() + QStringLiteral("/Trash/files"); }

 private:
  QTemporaryDir folder_;
  QByteArray saved_;
};

TEST(FLFileLocator, ArchivesAHomePathWithTheTildeAndEscapes) {
  const QString path = HomeFolderPath() + QStringLiteral("/Dropbox/a.txt");
  const FLFileLocator locator(path);
  EXPECT_EQ(locator.method(), FLFileLocator::kMethodDropbox);
  const QString archive = locator.archive(false);
  EXPECT_EQ(archive, QStringLiteral("_dropbox_.~%2FDropbox%2Fa%2Etxt...."));
  const std::optional<FLFileLocator> read = FLFileLocator::withArchive(archive);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->path(), path);
  EXPECT_EQ(read->method(), FLFileLocator::kMethodDropbox);
  EXPECT_TRUE(read->bookmark().isEmpty());
  EXPECT_FALSE(read->isSandboxed());
}

TEST(FLFileLocator, ReadsTextArchivesAndRejectsOthers) {
  const struct {
    const char* text;
    bool readable;
    int32_t method;
    const char* path;
    const char* logged;
  } cases[] = {
      {"-local-.%2Ftmp%2Fx....", true, FLFileLocator::kMethodLocal, "/tmp/x", nullptr},
      {"_1drive_.%2FOneDrive%2Fb....", true, FLFileLocator::kMethodOneDrive, "/OneDrive/b", nullptr},
      {"_nil_.....", true, FLFileLocator::kMethodNil, "", nullptr},
      {"_local_.%2Fa...", false, 0, nullptr, "Malformed locator _local_.%2Fa..."},
      {"_local_.%2Fa.b.....", false, 0, nullptr, "Malformed locator"},
      {"_local-.%2Fa....", false, 0, nullptr, "Unknown locator _local-.%2Fa...."},
      {"_box_.%2Fa....", false, 0, nullptr, "Unknown locator"},
      {"_local_.%ZZ....", false, 0, nullptr, "Malformed locator"},
      {"_a_.", false, 0, nullptr, nullptr},
      {"local.%2Fa....", false, 0, nullptr, nullptr},
      {"", false, 0, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    LogCapture log;
    const std::optional<FLFileLocator> locator = FLFileLocator::withArchive(QString::fromUtf8(c.text));
    ASSERT_EQ(locator.has_value(), c.readable) << c.text;
    if (c.readable) {
      EXPECT_EQ(locator->method(), c.method) << c.text;
      EXPECT_EQ(locator->path(), QString::fromUtf8(c.path)) << c.text;
    }
    if (c.logged)
      EXPECT_TRUE(log.contains(QString::fromUtf8(c.logged))) << c.text;
    else
      EXPECT_TRUE(log.entries().isEmpty()) << c.text;
  }
}

TEST(FLFileLocator, BookmarksAndTheSandboxMarkSurviveTheTextArchive) {
  FLFileLocator locator(QStringLiteral("/srv/data/report.numlet"), FLFileLocator::kMethodLocal);
  QByteArray bookmark(100, '\0');
  for (int i = 0; i < 100; ++i) bookmark[i] = char(i * 7 + 3);
  locator.setBookmark(bookmark);
  locator.setSandboxed(true);

  const QString plain = locator.archive(false);
  const QString escaped = locator.archive(true);
  EXPECT_EQ(plain.split(QLatin1Char('.')).size(), 6);
  EXPECT_TRUE(plain.contains(QLatin1Char('\n')));  // the Base64 text's own line break
  EXPECT_FALSE(escaped.contains(QLatin1Char('\n')));
  EXPECT_TRUE(escaped.contains(QStringLiteral("%0A")));
  EXPECT_TRUE(plain.startsWith(QStringLiteral("_local_.%2Fsrv%2Fdata%2Freport%2Enumlet.sb...")));
  for (const QString& archive : {plain, escaped}) {
    const std::optional<FLFileLocator> read = FLFileLocator::withArchive(archive);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->bookmark(), bookmark);
    EXPECT_TRUE(read->isSandboxed());
    EXPECT_EQ(read->path(), locator.path());
  }
}

TEST(FLFileLocator, BinaryArchivesHoldTheHeaderPathAndBookmark) {
  FLFileLocator locator(QStringLiteral("/tmp/a.txt"), FLFileLocator::kMethodOneDrive);  // 10 bytes
  locator.setBookmark(QByteArray());
  const QByteArray data = locator.createBinaryArchive();
  ASSERT_EQ(data.size(), 26);
  EXPECT_EQ(data.left(16), QByteArray("\x00\x07\x00\x00\x0A\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00", 16));
  EXPECT_EQ(data.mid(16), QByteArray("/tmp/a.txt"));

  locator.setBookmark(QByteArray("BOOK"));
  locator.setSandboxed(true);
  const std::optional<FLFileLocator> read = FLFileLocator::withBinaryArchive(locator.createBinaryArchive());
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->path(), QStringLiteral("/tmp/a.txt"));
  EXPECT_EQ(read->method(), FLFileLocator::kMethodOneDrive);
  EXPECT_EQ(read->bookmark(), QByteArray("BOOK"));
  EXPECT_TRUE(read->isSandboxed());

  const struct {
    QByteArray data;
    const char* why;
  } bad[] = {
      {data.left(25), "path cut short"},
      {data.left(15), "header cut short"},
      {QByteArray(1, '\x01') + data.mid(1), "unknown version"},
      {data.left(1) + QByteArray(1, '\x08') + data.mid(2), "unknown method"},
      {data.left(4) + QByteArray("\xFF\xFF\xFF\xFF", 4) + data.mid(8), "huge length"},
      {data.left(16) + QByteArray("\xC3(", 2), "path not UTF-8"},
  };
  for (const auto& c : bad) {
    QByteArray candidate = c.data;
    if (QByteArray(c.why) == "path not UTF-8") candidate[4] = 2;
    LogCapture log;
    EXPECT_FALSE(FLFileLocator::withBinaryArchive(candidate).has_value()) << c.why;
    EXPECT_TRUE(log.entries().isEmpty()) << c.why;
  }
}

TEST(FLFileLocator, ObjectsAreTextOrBinaryArchives) {
  const FLFileLocator locator(QStringLiteral("/tmp/b"), FLFileLocator::kMethodLocal);
  EXPECT_EQ(FLFileLocator::withObject(QVariant(locator.archive(false)))->path(), QStringLiteral("/tmp/b"));
  EXPECT_EQ(FLFileLocator::withObject(QVariant(locator.createBinaryArchive()))->path(), QStringLiteral("/tmp/b"));
  EXPECT_FALSE(FLFileLocator::withObject(QVariant(42)).has_value());
}

TEST(FLFileLocator, MethodsComeFromTheNearestServiceFolder) {
  const struct {
    const char* path;
    int32_t method;
  } cases[] = {
      {"/home/u/onedrive/x.numlet", FLFileLocator::kMethodOneDrive},
      {"/home/u/Google Drive/Sheets/x", FLFileLocator::kMethodGoogleDrive},
      {"/home/u/Dropbox/Google Drive/x", FLFileLocator::kMethodGoogleDrive},
      {"/home/u/WUALA", FLFileLocator::kMethodWuala},
      {"/home/u/Dropboxes/x", FLFileLocator::kMethodLocal},
      {"/", FLFileLocator::kMethodLocal},
      {"", FLFileLocator::kMethodLocal},
  };
  for (const auto& c : cases) EXPECT_EQ(FLFileLocator::methodFromPath(QString::fromUtf8(c.path)), c.method) << c.path;
  EXPECT_EQ(FLFileLocator::methodFromPath(QDir::tempPath() + QStringLiteral("/x")), FLFileLocator::kMethodLocal);
  EXPECT_TRUE(FLFileLocator::isPathCloudBased(QStringLiteral("/a/Dropbox/b")));
  EXPECT_FALSE(FLFileLocator::isMethodCloudBased(FLFileLocator::kMethodCloud));
}

TEST(FLFileLocator, MethodNamesReadBothWays) {
  for (int32_t method = 0; method < FLFileLocator::kMethodUnknown; ++method)
    EXPECT_EQ(FLFileLocator::methodFromName(FLFileLocator::methodName(method)), method);
  EXPECT_EQ(FLFileLocator::methodFromName(QStringLiteral("-google-")), FLFileLocator::kMethodGoogleDrive);
  EXPECT_EQ(FLFileLocator::methodFromName(QStringLiteral("_google-")), FLFileLocator::kMethodUnknown);
  EXPECT_EQ(FLFileLocator::methodFromName(QString()), FLFileLocator::kMethodUnknown);
  EXPECT_EQ(FLFileLocator::methodDisplayName(FLFileLocator::kMethodGoogleDrive), QStringLiteral("Google Drive"));
  EXPECT_TRUE(FLFileLocator::methodDisplayName(FLFileLocator::kMethodAlias).isEmpty());
  LogCapture log;
  EXPECT_TRUE(FLFileLocator::methodName(FLFileLocator::kMethodUnknown).isEmpty());
  EXPECT_TRUE(log.contains(QStringLiteral("Bad locator method")));
}

TEST(FLFileLocator, FindsAnExistingFileAndNotesFolders) {
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("sheet.numlet"));
  Touch(path);
  FLFileLocator file(path);
  EXPECT_FALSE(file.bookmark().isEmpty());
  bool changed = true;
  EXPECT_TRUE(file.verify(&changed));
  EXPECT_FALSE(changed);
  EXPECT_FALSE(file.isFolder());

  FLFileLocator directory(folder.path());
  EXPECT_TRUE(directory.verify(&changed));
  EXPECT_TRUE(directory.isFolder());
}

TEST(FLFileLocator, FollowsAFileRenamedInItsFolder) {
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("before.numlet"));
  Touch(path);
  FLFileLocator locator(path);
  // Kept and read back, as between two launches.
  std::optional<FLFileLocator> stored = FLFileLocator::withArchive(locator.archive(true));
  ASSERT_TRUE(stored.has_value());
  const QString renamed = folder.filePath(QStringLiteral("after.numlet"));
  ASSERT_TRUE(QFile::rename(path, renamed));

  bool changed = false;
  EXPECT_TRUE(stored->verify(&changed));
  EXPECT_TRUE(changed);
  EXPECT_EQ(stored->path(), renamed);
  EXPECT_TRUE(stored->verify(&changed));
  EXPECT_FALSE(changed);
}

TEST(FLFileLocator, FollowsAFileIntoTheTrash) {
  ScratchDataHome dataHome;
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("old.numlet"));
  Touch(path);
  FLFileLocator locator(path);
  EXPECT_FALSE(locator.isInTrash());
  ASSERT_TRUE(QDir().mkpath(dataHome.trashFiles()));
  const QString trashed = dataHome.trashFiles() + QStringLiteral("/old.numlet");
  if (!QFile::rename(path, trashed)) GTEST_SKIP() << "the temporary folder is on another file system";

  bool changed = false;
  EXPECT_TRUE(locator.verify(&changed));
  EXPECT_TRUE(changed);
  EXPECT_EQ(locator.path(), trashed);
  EXPECT_TRUE(locator.isInTrash());
}

TEST(FLFileLocator, AGoneFileIsNotFound) {
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("gone.numlet"));
  Touch(path);
  FLFileLocator locator(path);
  ASSERT_TRUE(QFile::remove(path));
  bool changed = true;
  FLError error;
  EXPECT_FALSE(locator.verify(&changed, false, &error));
  EXPECT_FALSE(changed);
  EXPECT_EQ(error.code, ENOENT);
  EXPECT_EQ(locator.path(), path);

  // A bookmark another system made cannot be resolved here either.
  locator.setBookmark(QByteArrayLiteral("book\0\0\x02\x00 foreign"));
  EXPECT_FALSE(locator.verify(&changed));
  FLFileLocator bare(path);
  EXPECT_TRUE(bare.bookmark().isEmpty());
  EXPECT_FALSE(bare.verify(nullptr));
}

TEST(FLFileLocator, DisplayTextStartsWithTheVolumeName) {
  const passwd* entry = getpwuid(getuid());
  const QString user = entry ? QString::fromLocal8Bit(entry->pw_name) : QString();
  const struct {
    QString path;
    QString shown;
  } cases[] = {
      {QStringLiteral("/Volumes/Backup/a.numlet"), QStringLiteral("Backup/a.numlet")},
      {QStringLiteral("/Volumes/"), QStringLiteral("/Volumes/")},
      {QStringLiteral("/media/") + user + QStringLiteral("/USB/b"), QStringLiteral("USB/b")},
      {QStringLiteral("/run/media/") + user + QStringLiteral("/USB/c"), QStringLiteral("USB/c")},
      {QStringLiteral("/home/x/d"), QStringLiteral("/home/x/d")},
  };
  for (const auto& c : cases) {
    FLFileLocator locator;
    locator.setPath(c.path);
    EXPECT_EQ(locator.displayText(), c.shown) << c.path.toStdString();
  }
}

TEST(FLFileLocator, LocalFilesNeedNoService) {
  FLFileLocator locator;
  const struct {
    int32_t method;
    bool running;
  } cases[] = {{FLFileLocator::kMethodNil, false},
               {FLFileLocator::kMethodAlias, true},
               {FLFileLocator::kMethodLocal, true},
               {FLFileLocator::kMethodCloud, false},
               {FLFileLocator::kMethodWuala, false}};
  for (const auto& c : cases) {
    locator.setMethod(c.method);
    EXPECT_EQ(locator.isServiceRunning(), c.running) << c.method;
    EXPECT_EQ(locator.runService(), c.running) << c.method;
  }
}

TEST(FLFileLocator, EqualityIsByPath) {
  FLFileLocator a(QStringLiteral("/x/y"), FLFileLocator::kMethodLocal);
  FLFileLocator b(QStringLiteral("/x/y"), FLFileLocator::kMethodDropbox);
  EXPECT_TRUE(a == b);
  b.setPath(QStringLiteral("/x/z"));
  EXPECT_FALSE(a.isEqual(b));
  EXPECT_TRUE(FLFileLocator().isEqualToPath(QString()));
}

}  // namespace
