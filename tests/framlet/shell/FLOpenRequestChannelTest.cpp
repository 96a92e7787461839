#include "framlet/shell/FLOpenRequestChannel.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

QString UniqueChannel() { return QStringLiteral("tamsel-test-") + QUuid::createUuid().toString(QUuid::Id128); }

// The client blocks until answered, so it runs beside the event loop that serves it.
bool SendFromAnotherThread(const QString& channel, const QStringList& paths) {
  std::atomic<int> result{-1};
  std::thread client([&] { result = SendOpenRequest(channel, paths, 2000) ? 1 : 0; });
  EXPECT_TRUE(QTest::qWaitFor([&] { return result.load() >= 0; }, 10000));
  client.join();
  return result == 1;
}

TEST(OpenRequestChannelTest, ASecondLaunchHandsItsPathsToTheRunningOne) {
  const QString channel = UniqueChannel();
  QList<QStringList> received;
  FLOpenRequestServer server([&received](const QStringList& paths) { received.append(paths); });
  ASSERT_TRUE(server.listen(channel));

  EXPECT_TRUE(SendFromAnotherThread(channel, {QStringLiteral("/a/b.Numlet"), QStringLiteral("file:///c/d e.csv")}));
  EXPECT_TRUE(SendFromAnotherThread(channel, {}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() == 2; }, 10000));
  EXPECT_EQ(received[0], (QStringList{QStringLiteral("/a/b.Numlet"), QStringLiteral("/c/d e.csv")}));
  EXPECT_TRUE(received[1].isEmpty());

  // One instance per channel.
  FLOpenRequestServer second([](const QStringList&) {});
  EXPECT_FALSE(second.listen(channel));
}

TEST(OpenRequestChannelTest, NobodyListeningMeansThisLaunchRuns) {
  EXPECT_FALSE(SendOpenRequest(UniqueChannel(), {QStringLiteral("/x")}, 200));
}

TEST(OpenRequestChannelTest, OnlyAnArrayOfPathsIsARequest) {
  const struct { const char* line; bool valid; int count; } cases[] = {
      {"[]", true, 0},           {"[\"/a\",\"/b\"]", true, 2}, {"[\"/a\",3]", false, 0},
      {"{\"a\":1}", false, 0},   {"[\"\"]", false, 0},        {"[\"/a\"", false, 0},
      {"", false, 0},            {"\"/a\"", false, 0},
  };
  for (const auto& entry : cases) {
    const std::optional<QStringList> paths = FLOpenRequestServer::parseRequest(QByteArray(entry.line));
    EXPECT_EQ(paths.has_value(), entry.valid) << entry.line;
    if (paths) {
      EXPECT_EQ(paths->size(), entry.count) << entry.line;
    }
  }
}

}  // namespace

// Two sessions of one user (two displays, or two logins with their own runtime folders) each
// keep their own running application.
TEST(OpenRequestChannelTest, EachSessionAndDisplayHasItsOwnChannel) {
  QTemporaryDir first;
  QTemporaryDir second;
  const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
  const QByteArray oldDisplay = qgetenv("DISPLAY");
  const QByteArray oldWayland = qgetenv("WAYLAND_DISPLAY");
  qunsetenv("WAYLAND_DISPLAY");
  const auto channelFor = [](const QString& runtime, const char* display) {
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    qputenv("DISPLAY", display);
    return OpenRequestChannelName();
  };
  const QString a = channelFor(first.path(), ":77");
  EXPECT_TRUE(a.startsWith(first.path() + QLatin1Char('/'))) << a.toStdString();
  EXPECT_EQ(a, channelFor(first.path(), ":77"));
  EXPECT_NE(a, channelFor(first.path(), ":88"));
  EXPECT_NE(a, channelFor(second.path(), ":77"));
  for (const auto& [name, value] : {std::pair{"XDG_RUNTIME_DIR", oldRuntime}, std::pair{"DISPLAY", oldDisplay},
                                    std::pair{"WAYLAND_DISPLAY", oldWayland}}) {
    if (value.isNull()) qunsetenv(name);
    else qputenv(name, value);
  }
}
