#include "framlet/foundation/flBase.h"
#include "support/LogCapture.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(FlBase, EncodeDottedVersionNumber) {
  struct { const char* text; uint32_t expected; } cases[] = {
      {"10.14", 0x0A0E00}, {"10.12", 0x0A0C00}, {"10.12.1", 0x0A0C01}, {"10.12.1.7", 0x0A0C01},
      {"", 0},             {"10", 0},           {"1.2.3", 0x010203},
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeDottedVersionNumber(QString::fromLatin1(c.text)), c.expected) << c.text;
}

TEST(FlBase, ImpossibleAllocationLogsSizeAndBacktraceAndReturnsNothing) {
  LogCapture capture;
  // A size no allocator can satisfy; ASan would report it unless allowed to return null.
  const size_t impossible = size_t(1) << 62;
  void* memory = AllocateMemory(impossible);
  EXPECT_EQ(memory, nullptr);
  ASSERT_EQ(capture.entries().size(), 2);
  EXPECT_EQ(capture.entries()[0], QStringLiteral("Allocation failed for %1 bytes.").arg(impossible));
}

TEST(FlBase, AssertLogsTheLineThenABacktraceAndReturns) {
  LogCapture capture;
  LogAssert("index out of range", "replaceEntry", "/some/where/FLArray.cpp", 42);
  QStringList entries = capture.entries();
  ASSERT_GE(entries.size(), 1);
  EXPECT_EQ(entries[0], QStringLiteral("Assert: index out of range -- thread=main, replaceEntry line 42 in FLArray.cpp"));
  if (entries.size() > 1) { EXPECT_TRUE(entries[1].startsWith(QStringLiteral("   "))); }
}

// A file holding thousands of one fault must not spend its time resolving symbols nor flood the
// log: the first report is whole, a few more give the line alone, then only counts are logged.
TEST(FlBase, AnAssertionMetAgainIsCountedAfterItsFirstReports) {
  const QString line = QStringLiteral("Assert: probe -- thread=main, reader line 7 in Reader.cpp");
  const struct {
    int times;
    int lines;
    const char* lastSuffix;
  } cases[] = {
      {1, 1, ""}, {2, 2, ""}, {32, 32, ""}, {63, 32, ""}, {64, 33, " (met 64 times)"}, {20000, 41, " (met 16384 times)"},
  };
  for (const auto& c : cases) {
    // Each capture is a new reader of the log, who hears the first report whole again.
    LogCapture capture;
    for (int i = 0; i < c.times; ++i) LogAssert("probe", "reader", "/src/Reader.cpp", 7);
    const QStringList entries = capture.entries();
    const QStringList lines = entries.filter(QRegularExpression(QStringLiteral("^Assert: ")));
    ASSERT_EQ(lines.size(), c.lines) << c.times;
    EXPECT_EQ(lines.first(), line);
    EXPECT_EQ(lines.last(), line + QLatin1String(c.lastSuffix)) << c.times;
    // At most the first report's backtrace besides the lines.
    EXPECT_LE(entries.size() - lines.size(), 1) << c.times;
    if (entries.size() > lines.size()) { EXPECT_TRUE(entries[1].startsWith(QStringLiteral("   "))); }
    // The same message at another place is another assertion.
    capture.clear();
    LogAssert("probe", "reader", "/src/Reader.cpp", 8);
    ASSERT_GE(capture.entries().size(), 1);
    EXPECT_TRUE(capture.entries()[0].endsWith(QStringLiteral("reader line 8 in Reader.cpp")));
    EXPECT_EQ(capture.entries().size(), entries.size() > lines.size() ? 2 : 1) << c.times;
  }
}

TEST(FlBase, LogExceptionWithAnExceptionCarriesItsStack) {
  LogCapture capture;
  try {
    throw std::runtime_error("boom");
  } catch (const std::exception& e) {
    LogException(e, QStringLiteral("context"));
  }
  ASSERT_EQ(capture.entries().size(), 1);
  EXPECT_TRUE(capture.entries()[0].startsWith(QStringLiteral("context: boom\n")));
}

}  // namespace

namespace {

// Logging can start before the application object exists (the logger is installed first) and
// go on after it is gone; the main thread is still named so in the log.
TEST(FlBaseDeathTest, TheMainThreadIsNamedWithoutAnApplicationObject) {
  // The child destroys the application, which waits for the threads of the thread pool: a child
  // forked from this process would wait for pool threads the fork did not copy (those of the
  // tests before). A child started afresh, running this test alone, has none.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        // Only in the child that the death test forks: the process ends right after.
        QCoreApplication::instance()->~QCoreApplication();
        QString entries;
        SetLogHandler([&entries](const QString& entry) { entries += entry; });
        LogAssert("probe", __func__, __FILE__, __LINE__);
        std::_Exit(entries.contains(QStringLiteral("thread=main,")) ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
