#include "framlet/foundation/flBase.h"
#include "support/LogCapture.h"

#include <QCoreApplication>

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
