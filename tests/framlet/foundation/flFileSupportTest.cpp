#include "framlet/foundation/flFileSupport.h"

#include "platform/FLError.h"
#include "support/LogCapture.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {

void Touch(const QString& path) { ASSERT_TRUE(WriteFileBytes(path)) << path.toStdString(); }

uint32_t ModeOf(const QString& path) {
  struct stat status {};
  if (::lstat(QFile::encodeName(path).constData(), &status) != 0) return 0xFFFFFFFF;
  return status.st_mode & 07777;
}

void SetMode(const QString& path, uint32_t mode) { ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0); }

// Every whole-file read goes through ReadRegularFile: what would block (a FIFO), never end (a
// device) or fill the memory (a file over the bound) is refused at once, with the reason.
TEST(FlFileSupport, ReadRegularFileReadsOnlyRegularFilesWithinTheBound) {
  QTemporaryDir folder;
  const QString text = folder.filePath(QStringLiteral("text.csv"));
  ASSERT_TRUE(WriteFileBytes(text, "a,b\n"));
  const QString fifo = folder.filePath(QStringLiteral("fifo.csv"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const QString linkToDevice = folder.filePath(QStringLiteral("zero.csv"));
  ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), linkToDevice));
  const QString linkToText = folder.filePath(QStringLiteral("linked.csv"));
  ASSERT_TRUE(QFile::link(text, linkToText));
  // Sparse: large without taking the room.
  const QString huge = folder.filePath(QStringLiteral("huge.csv"));
  ASSERT_TRUE(WriteFileBytes(huge, "x"));
  ASSERT_EQ(::truncate(QFile::encodeName(huge).constData(), off_t(1) << 32), 0);
  const struct {
    QString path;
    int code;  // 0: read
    const char* reason;
  } cases[] = {
      {text, 0, nullptr},
      {linkToText, 0, nullptr},
      {fifo, EINVAL, kNotRegularFileReason},
      {linkToDevice, EINVAL, kNotRegularFileReason},
      {QStringLiteral("/dev/urandom"), EINVAL, kNotRegularFileReason},
      {huge, EFBIG, kFileTooLargeReason},
      {folder.path(), EISDIR, nullptr},
      {folder.filePath(QStringLiteral("missing.csv")), ENOENT, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.toStdString());
    FLError error;
    const std::optional<QByteArray> bytes = ReadRegularFile(c.path, int64_t(1) << 30, &error);
    EXPECT_EQ(bytes.has_value(), c.code == 0);
    if (c.code == 0) {
      EXPECT_EQ(bytes.value_or(QByteArray()), QByteArray("a,b\n"));
      continue;
    }
    EXPECT_EQ(error.domain, QLatin1String(kFLPosixErrorDomain));
    EXPECT_EQ(error.code, c.code);
    EXPECT_FALSE(error.reason.isEmpty());
    if (c.reason) {
      EXPECT_EQ(error.reason, QLatin1String(c.reason));
    }
  }
}

TEST(FlFileSupport, UniqueFileNameCleansTheNameAndAvoidsTakenOnes) {
  QTemporaryDir folder;
  for (const char* taken : {"report.csv", "report-1.csv", "abc.txt", "untitled", "Budget.pkg.zip"})
    Touch(folder.filePath(taken));
  struct { const char* name; const char* extension; const char* expected; } cases[] = {
      {"a/b:c.txt", "", "abc.txt-1"},  // abc.txt is taken
      {"a/b:c.txt", "csv", "abctxt.csv"}, {"report", "csv", "report-2.csv"}, {"", "", "untitled-1"},
      {"/:", "csv", "untitled.csv"}, {"Budget.pkg", "zip", "Budget-1.pkg.zip"},
      {"Ledger.numlet", "zip", "Ledger.numlet.zip"}, {".hidden", "zip", "hidden.zip"}, {"v1.2.3", "zip", "v12.3.zip"},
      {"x", "../y", "x...y"},
  };
  for (const auto& c : cases) {
    const QString path = UniqueFileNameCore(folder.path(), QString::fromUtf8(c.name), QString::fromUtf8(c.extension));
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

TEST(FlFileSupport, GiveUserFilePermissionsAddsOwnerReadAndWriteOnlyThroughTheTree) {
  QTemporaryDir root, outside;
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

  struct { const char* relative; uint32_t before; uint32_t after; } cases[] = {
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
