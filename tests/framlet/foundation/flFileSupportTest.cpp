#include "framlet/foundation/flFileSupport.h"

#include "support/LogCapture.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace {

void Touch(const QString& path) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
}

uint32_t ModeOf(const QString& path) {
  struct stat status {};
  if (::lstat(QFile::encodeName(path).constData(), &status) != 0) return 0xFFFFFFFF;
  return status.st_mode & 07777;
}

void SetMode(const QString& path, uint32_t mode) { ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0); }

TEST(FlFileSupport, UniqueFileNameCleansTheNameAndAvoidsTakenOnes) {
  QTemporaryDir folder;
  for (const char* taken : {"report.csv", "report-1.csv", "abc.txt", "untitled", "Budget.pkg.zip"})
    Touch(folder.filePath(taken));
  struct {
    const char* name;
    const char* extension;
    const char* expected;
  } cases[] = {
      {"a/b:c.txt", "", "abc.txt-1"},  // abc.txt is taken
      {"a/b:c.doc", "", "abc.doc"},
      {"a/b:c.txt", "csv", "abctxt.csv"},
      {"report", "csv", "report-2.csv"},
      {"", "", "untitled-1"},
      {"/:", "csv", "untitled.csv"},
      {"Budget.pkg", "zip", "Budget-1.pkg.zip"},
      {"Budget.pkg", "ZIP", "Budget-1.pkg.zip"},
      {"Ledger.numlet", "zip", "Ledger.numlet.zip"},
      {"Budget", "zip", "Budget.zip"},
      {".hidden", "zip", "hidden.zip"},
      {"v1.2.3", "txt", "v123.txt"},
      {"v1.2.3", "zip", "v12.3.zip"},
      {"...", "csv", "untitled.csv"},
      {"x", "../y", "x...y"},
  };
  for (const auto& c : cases) {
    const QString path =
        UniqueFileNameCore(folder.path(), QString::fromUtf8(c.name), QString::fromUtf8(c.extension));
    EXPECT_EQ(path, folder.path() + "/" + c.expected) << c.name << " + " << c.extension;
    EXPECT_EQ(QFileInfo(path).absolutePath(), folder.path());
  }
}

TEST(FlFileSupport, UniqueFileNameCountsADanglingLinkAsTaken) {
  QTemporaryDir folder;
  ASSERT_EQ(::symlink("/nonexistent/target", QFile::encodeName(folder.filePath("page.html")).constData()), 0);
  EXPECT_EQ(UniqueFileName(folder.path() + "/", "page", "html"), folder.filePath("page-1.html"));
}

TEST(FlFileSupport, UniqueFileNameFallsBackToAGuidAfterNinetyNine) {
  QTemporaryDir folder;
  Touch(folder.filePath("sheet.csv"));
  for (int i = 1; i <= 99; ++i) Touch(folder.filePath(QString("sheet-%1.csv").arg(i)));
  const QString path = UniqueFileNameCore(folder.path(), "sheet", "csv");
  EXPECT_TRUE(QRegularExpression("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.csv$")
                  .match(QFileInfo(path).fileName())
                  .hasMatch())
      << path.toStdString();
  EXPECT_FALSE(QFileInfo::exists(path));
}

TEST(FlFileSupport, HomeFolderIsHomeWithoutATrailingSlash) {
  QString expected = QDir::cleanPath(qEnvironmentVariable("HOME"));
  EXPECT_EQ(HomeFolderPath(), expected);
  EXPECT_FALSE(HomeFolderPath().endsWith('/'));
}

TEST(FlFileSupport, UserFolderIsMadeWhenMissingAndEmptyWhenItCannotBe) {
  QTemporaryDir scratch;
  const QByteArray previous = qgetenv("XDG_DATA_HOME");
  const QString missing = scratch.path() + "/a/b/c";
  qputenv("XDG_DATA_HOME", missing.toUtf8());
  EXPECT_EQ(PathForUserFolder(FLUserFolder::ApplicationSupport), missing);
  EXPECT_TRUE(QFileInfo(missing).isDir());

  Touch(scratch.filePath("file"));
  qputenv("XDG_DATA_HOME", (scratch.path() + "/file/below").toUtf8());
  EXPECT_EQ(PathForUserFolder(FLUserFolder::ApplicationSupport), QString());
  qputenv("XDG_DATA_HOME", previous);
}

TEST(FlFileSupport, PermissionsOfAFileAndAFolder) {
  QTemporaryDir folder;
  Touch(folder.filePath("f"));
  SetMode(folder.filePath("f"), 0640);
  bool isFolder = true;
  EXPECT_EQ(PermissionsForFile(folder.filePath("f"), &isFolder), 0640u);
  EXPECT_FALSE(isFolder);
  SetMode(folder.path(), 0750);
  EXPECT_EQ(PermissionsForFile(folder.path(), &isFolder), 0750u);
  EXPECT_TRUE(isFolder);

  LogCapture capture;
  isFolder = true;
  EXPECT_EQ(PermissionsForFile(folder.filePath("missing"), &isFolder), 0u);
  EXPECT_FALSE(isFolder);
  ASSERT_EQ(capture.entries().size(), 1);
  EXPECT_EQ(capture.entries()[0],
            "Can't get permissions for " + folder.filePath("missing") + ". No such file or directory");
}

TEST(FlFileSupport, GiveUserFilePermissionsAddsOwnerReadAndWriteOnlyThroughTheTree) {
  QTemporaryDir root;
  QTemporaryDir outside;
  const QString package = root.filePath("Budget.numlet");
  ASSERT_TRUE(QDir().mkpath(package + "/Images/deep"));
  Touch(package + "/document.xml");
  Touch(package + "/Images/deep/pic.png");
  Touch(package + "/Images/.hidden");
  Touch(outside.filePath("target"));
  SetMode(outside.filePath("target"), 0400);
  ASSERT_EQ(::symlink(QFile::encodeName(outside.filePath("target")).constData(),
                      QFile::encodeName(package + "/link").constData()),
            0);

  struct {
    const char* relative;
    uint32_t before;
    uint32_t after;
  } cases[] = {
      {"/document.xml", 0444, 0644},   {"/Images/deep/pic.png", 0004, 0604}, {"/Images/.hidden", 0640, 0640},
      {"/Images/deep", 0555, 0755},    {"/Images", 0500, 0700},              {"", 0711, 0711},
  };
  for (const auto& c : cases) SetMode(package + c.relative, c.before);

  LogCapture capture;
  GiveUserFilePermissions(package);
  for (const auto& c : cases) EXPECT_EQ(ModeOf(package + c.relative), c.after) << c.relative;
  EXPECT_EQ(ModeOf(outside.filePath("target")), 0400u);  // links are not followed
  EXPECT_TRUE(capture.entries().isEmpty());
}

TEST(FlFileSupport, GiveUserFilePermissionsLogsAPathItCannotRead) {
  QTemporaryDir folder;
  LogCapture capture;
  GiveUserFilePermissions(folder.filePath("gone"));
  ASSERT_EQ(capture.entries().size(), 1);
  EXPECT_TRUE(capture.entries()[0].startsWith("Can't get permissions for " + folder.filePath("gone") + ". "));
}

// What a record held before it was filled, to see that every field is written.
constexpr FinderAttributes kStale{12345.0, 7, 1, 1, 1, 0777};

bool IsZero(const FinderAttributes& a) {
  return a.creationTime == 0 && a.labelNumber == 0 && a.extensionHidden == 0 && a.immutable == 0 && a.valid == 0 &&
         a.permissions == 0;
}

TEST(FlFileSupport, FinderAttributesHoldWhatLinuxKeeps) {
  QTemporaryDir folder;
  const QString path = folder.filePath("sheet.numlet");
  const double before = double(QDateTime::currentSecsSinceEpoch()) - 2;
  Touch(path);
  SetMode(path, 0640);

  FinderAttributes attributes = kStale;
  GetFinderAttributes(path, &attributes);
  EXPECT_EQ(attributes.valid, 1);
  EXPECT_EQ(attributes.permissions, 0640u);
  EXPECT_EQ(attributes.labelNumber, 0u);
  EXPECT_EQ(attributes.extensionHidden, 0);
  EXPECT_EQ(attributes.immutable, 0);
  if (attributes.creationTime != 0) {  // file systems without birth times give none
    EXPECT_GE(attributes.creationTime, before);
    EXPECT_LE(attributes.creationTime, before + 60);
  }

  for (const QString& unreadable : {QString(), folder.filePath("missing")}) {
    attributes = kStale;
    GetFinderAttributes(unreadable, &attributes);
    EXPECT_TRUE(IsZero(attributes)) << unreadable.toStdString();
  }
}

TEST(FlFileSupport, FinderAttributesCarryTheModeOverASave) {
  QTemporaryDir folder;
  Touch(folder.filePath("old"));
  Touch(folder.filePath("new"));
  SetMode(folder.filePath("old"), 0600);
  SetMode(folder.filePath("new"), 0644);
  FinderAttributes attributes;
  GetFinderAttributes(folder.filePath("old"), &attributes);
  EXPECT_TRUE(SetFinderAttributes(folder.filePath("new"), attributes));
  EXPECT_EQ(ModeOf(folder.filePath("new")), 0600u);
  EXPECT_FALSE(SetFinderAttributes(folder.filePath("new"), FinderAttributes{}));
  EXPECT_FALSE(SetFinderAttributes(folder.filePath("missing"), attributes));
}

TEST(FlFileSupport, ImmutableFlagIsTheInodes) {
  QTemporaryDir folder;
  const QString path = folder.filePath("locked");
  Touch(path);
  int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
  ASSERT_GE(fd, 0);
  int flags = 0;
  bool set = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (set) {
    flags |= FS_IMMUTABLE_FL;
    set = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  if (!set) {
    ::close(fd);
    GTEST_SKIP() << "setting the immutable flag needs privileges this run lacks";
  }
  FinderAttributes attributes;
  GetFinderAttributes(path, &attributes);
  flags &= ~FS_IMMUTABLE_FL;
  ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
  ::close(fd);
  EXPECT_EQ(attributes.immutable, 1);
}

TEST(FlFileSupport, SwapBuffersExchangesBlocksOfAnyLength) {
  for (size_t length : {size_t(0), size_t(1), size_t(7), size_t(4096), size_t(100001)}) {
    std::vector<unsigned char> a(length + 1), b(length + 1);
    for (size_t i = 0; i <= length; ++i) {
      a[i] = static_cast<unsigned char>(i * 7 + 1);
      b[i] = static_cast<unsigned char>(255 - i);
    }
    const auto originalA = a, originalB = b;
    SwapBuffers(a.data(), b.data(), length);
    for (size_t i = 0; i < length; ++i) {
      ASSERT_EQ(a[i], originalB[i]) << length << " at " << i;
      ASSERT_EQ(b[i], originalA[i]) << length << " at " << i;
    }
    // The byte past the length is untouched.
    EXPECT_EQ(a[length], originalA[length]);
    EXPECT_EQ(b[length], originalB[length]);
  }
}

TEST(FlFileSupport, SwapBuffersRefusesOverlappingOrMissingBlocks) {
  unsigned char block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const std::vector<unsigned char> original(block, block + 8);
  LogCapture capture;
  SwapBuffers(block, block + 2, 4);
  SwapBuffers(block, nullptr, 4);
  SwapBuffers(block, block, 8);
  EXPECT_EQ(std::vector<unsigned char>(block, block + 8), original);
  EXPECT_TRUE(capture.contains("Overlapping buffers to swap"));
  EXPECT_TRUE(capture.contains("Null buffer to swap"));
}

}  // namespace
