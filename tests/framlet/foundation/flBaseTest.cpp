#include "framlet/foundation/flBase.h"
#include "support/LogCapture.h"

#include <QThread>

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

namespace {

TEST(FlBase, EncodeDottedVersionNumber) {
  struct {
    const char* text;
    uint32_t expected;
  } cases[] = {
      {"10.14", 0x0A0E00}, {"10.12", 0x0A0C00}, {"10.12.1", 0x0A0C01}, {"10.12.1.7", 0x0A0C01},
      {"", 0},             {"10", 0},           {"1.2.3", 0x010203},
  };
  for (const auto& c : cases)
    EXPECT_EQ(EncodeDottedVersionNumber(QString::fromLatin1(c.text)), c.expected) << c.text;
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

TEST(FlBase, AllocateAndClearMemoryZeroes) {
  auto* bytes = static_cast<unsigned char*>(AllocateAndClearMemory(64));
  ASSERT_NE(bytes, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(bytes[i], 0);
  std::free(bytes);
}

TEST(FlBase, AssertLogsTheLineThenABacktraceAndReturns) {
  LogCapture capture;
  LogAssert("index out of range", "replaceEntry", "/some/where/FLArray.cpp", 42);
  QStringList entries = capture.entries();
  ASSERT_GE(entries.size(), 1);
  EXPECT_EQ(entries[0], QStringLiteral("Assert: index out of range -- thread=main, replaceEntry line 42 in FLArray.cpp"));
  if (entries.size() > 1) {
    EXPECT_TRUE(entries[1].startsWith(QStringLiteral("   ")));
  }
}

TEST(FlBase, AssertOnAnUnnamedThreadShowsQuestionMark) {
  LogCapture capture;
  std::thread worker([] { LogAssert("m", "f", "a/b.cpp", 1); });
  worker.join();
  ASSERT_FALSE(capture.entries().isEmpty());
  EXPECT_EQ(capture.entries()[0], QStringLiteral("Assert: m -- thread=?, f line 1 in b.cpp"));
}

TEST(FlBase, AssertOnANamedThreadShowsItsName) {
  LogCapture capture;
  QThread* thread = QThread::create([] { LogAssert("m", "f", "b.cpp", 2); });
  thread->setObjectName(QStringLiteral("worker"));
  thread->start();
  thread->wait();
  delete thread;
  ASSERT_FALSE(capture.entries().isEmpty());
  EXPECT_EQ(capture.entries()[0], QStringLiteral("Assert: m -- thread=worker, f line 2 in b.cpp"));
}

TEST(FlBase, LogExceptionWithAPlainObjectIsOneLine) {
  LogCapture capture;
  LogException(QStringLiteral("not an exception"), QStringLiteral("archiveWholeDocForUndo failed"));
  ASSERT_EQ(capture.entries().size(), 1);
  EXPECT_EQ(capture.entries()[0], QStringLiteral("archiveWholeDocForUndo failed: not an exception"));
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

TEST(FlBase, ThreadStorageIsPerThreadAndStable) {
  uint8_t* mine = GetFLThreadStorage();
  EXPECT_EQ(mine, GetFLThreadStorage());
  uint8_t* theirs = nullptr;
  uint8_t theirFirstBytes[4] = {1, 1, 1, 1};
  mine[0] = 1;
  std::thread worker([&] {
    theirs = GetFLThreadStorage();
    std::copy(theirs, theirs + 4, theirFirstBytes);
  });
  worker.join();
  EXPECT_NE(mine, theirs);
  for (uint8_t b : theirFirstBytes) EXPECT_EQ(b, 0);
  mine[0] = 0;
}

}  // namespace
