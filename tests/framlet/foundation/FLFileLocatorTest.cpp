#include "framlet/foundation/FLFileLocator.h"

#include "framlet/foundation/flFileSupport.h"
#include "support/LogCapture.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <pwd.h>
#include <unistd.h>

namespace {

void Touch(const QString& path) { ASSERT_TRUE(WriteFileBytes(path, "contents")) << path.toStdString(); }

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

TEST(FLFileLocator, ReadsTextArchivesAndRejectsOthers) {
  const struct { const char* text; bool readable; int32_t method; const char* path; const char* logged; } cases[] = {
      {"-local-.%2Ftmp%2Fx....", true, FLFileLocator::kMethodLocal, "/tmp/x", nullptr},
      {"_1drive_.%2FOneDrive%2Fb....", true, FLFileLocator::kMethodOneDrive, "/OneDrive/b", nullptr},
      {"_nil_.....", true, FLFileLocator::kMethodNil, "", nullptr},
      {"_local_.%2Fa...", false, 0, nullptr, "Malformed locator _local_.%2Fa..."},
      {"_local_.%2Fa.b.....", false, 0, nullptr, "Malformed locator"},
      {"_local-.%2Fa....", false, 0, nullptr, "Unknown locator _local-.%2Fa...."},
      {"_local_.%ZZ....", false, 0, nullptr, "Malformed locator"},
      {"local.%2Fa....", false, 0, nullptr, nullptr}, {"", false, 0, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    LogCapture log;
    const std::optional<FLFileLocator> locator = FLFileLocator::withArchive(QString::fromUtf8(c.text));
    ASSERT_EQ(locator.has_value(), c.readable) << c.text;
    if (c.readable) {
      EXPECT_EQ(locator->method(), c.method) << c.text;
      EXPECT_EQ(locator->path(), QString::fromUtf8(c.path)) << c.text;
    }
    if (c.logged) EXPECT_TRUE(log.contains(QString::fromUtf8(c.logged))) << c.text;
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

  const QString plain = locator.archive(false), escaped = locator.archive(true);
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

  const struct { QByteArray data; const char* why; } bad[] = {
      {data.left(25), "path cut short"}, {QByteArray(1, '\x01') + data.mid(1), "unknown version"},
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

}  // namespace
