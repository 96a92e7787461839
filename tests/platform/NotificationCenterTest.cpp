#include "platform/NotificationCenter.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

// Runs the event loop long enough for zero timers and queued calls to fire.
void RunEventLoop(int milliseconds = 20) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

// Two senders; only their addresses matter.
int senderA = 1, senderB = 2;

TEST(NotificationCenter, DeliversByNameAndSenderFilter) {
  NotificationCenter center;
  std::vector<std::string> calls;
  auto record = [&calls](const char* tag) { return [&calls, tag](const Notification&) { calls.push_back(tag); }; };
  NotificationObserver anyFromAnyone = center.addObserver(QString(), nullptr, record("any"));
  NotificationObserver evalFromAnyone = center.addObserver("numlet.eval", nullptr, record("eval"));
  NotificationObserver evalFromA = center.addObserver("numlet.eval", &senderA, record("eval/A"));
  NotificationObserver anyFromB = center.addObserver(QString(), &senderB, record("any/B"));
  NotificationObserver fontFromA = center.addObserver("numlet.font", &senderA, record("font/A"));

  struct { const char* name; const void* sender; std::vector<std::string> expected; } cases[] = {
      {"numlet.eval", nullptr, {"any", "eval"}}, {"numlet.eval", &senderA, {"any", "eval", "eval/A"}},
      {"numlet.eval", &senderB, {"any", "eval", "any/B"}}, {"numlet.font", &senderA, {"any", "font/A"}},
      {"numlet.font", &senderB, {"any", "any/B"}}, {"gmb.drastic", nullptr, {"any"}},
  };
  for (const auto& c : cases) {
    calls.clear();
    center.post(QString::fromLatin1(c.name), c.sender);
    EXPECT_EQ(calls, c.expected) << c.name;
  }
}

TEST(NotificationCenter, ObserverMayRemoveItselfWhileRunning) {
  NotificationCenter center;
  auto token = std::make_unique<NotificationObserver>();
  std::string seen;
  *token = center.addObserver("n", nullptr, [&, text = std::string("captured state")](const Notification&) {
    token.reset();  // destroys the token, not the running handler
    seen = text;
  });
  center.post("n");
  EXPECT_EQ(seen, "captured state");
  EXPECT_EQ(center.observerCount(), 0);
}

TEST(NotificationCenter, TokenMayOutliveItsCenter) {
  NotificationObserver token;
  {
    NotificationCenter center;
    token = center.addObserver("n", nullptr, [](const Notification&) {});
  }
  EXPECT_FALSE(token.isActive());
  token.reset();
}

TEST(NotificationCenter, PostFromAWorkerArrivesOnTheMainThread) {
  NotificationCenter center;
  QThread* deliveredOn = nullptr;
  NotificationObserver token =
      center.addObserver("numlet.download", nullptr, [&](const Notification&) { deliveredOn = QThread::currentThread(); });
  std::thread worker([&center] { center.post("numlet.download"); });
  worker.join();
  EXPECT_EQ(deliveredOn, nullptr);
  RunEventLoop();
  EXPECT_EQ(deliveredOn, QCoreApplication::instance()->thread());
}

// ---------------------------------------------------------------------------------------------

struct Delivery {
  QString name;
  const void* object;
  QString tag;
  bool operator==(const Delivery&) const = default;
};

class NotificationQueueTest : public testing::Test {
 protected:
  NotificationQueueTest() : queue(center) {
    token = center.addObserver(QString(), nullptr, [this](const Notification& n) {
      deliveries.push_back({n.name, n.object, n.userInfo.value("tag").toString()});
    });
  }
  static Notification Make(const char* name, const void* object, const char* tag) {
    return Notification{QString::fromLatin1(name), object, QVariantMap{{"tag", QString::fromLatin1(tag)}}};
  }

  NotificationCenter center;
  NotificationQueue queue;
  NotificationObserver token;
  std::vector<Delivery> deliveries;
};

TEST_F(NotificationQueueTest, CoalescingKeepsOneNotificationWithTheLatestUserInfo) {
  struct { unsigned mask; std::vector<Delivery> expected; } cases[] = {
      {NotificationCoalescingOnName | NotificationCoalescingOnSender,
       {{"font", &senderB, "3"}, {"font", &senderA, "4"}, {"eval", &senderA, "5"}}},
      {NotificationCoalescingOnName, {{"font", &senderA, "4"}, {"eval", &senderA, "5"}}},
      {NotificationCoalescingOnSender, {{"font", &senderB, "3"}, {"eval", &senderA, "5"}}},
  };
  for (const auto& c : cases) {
    deliveries.clear();
    queue.enqueue(Make("font", &senderA, "1"), PostingStyle::WhenIdle, c.mask);
    queue.enqueue(Make("font", &senderA, "2"), PostingStyle::WhenIdle, c.mask);
    queue.enqueue(Make("font", &senderB, "3"), PostingStyle::WhenIdle, c.mask);
    queue.enqueue(Make("font", &senderA, "4"), PostingStyle::WhenIdle, c.mask);
    queue.enqueue(Make("eval", &senderA, "5"), PostingStyle::WhenIdle, c.mask);
    EXPECT_TRUE(deliveries.empty()) << "mask " << c.mask;
    RunEventLoop();
    EXPECT_EQ(deliveries, c.expected) << "mask " << c.mask;
    EXPECT_EQ(queue.pendingCount(), 0);
  }
}

TEST_F(NotificationQueueTest, SenderThatGoesAwayDequeuesItsNotifications) {
  queue.enqueue(Make("numlet.password", &senderA, "1"), PostingStyle::WhenIdle);
  queue.enqueue(Make("numlet.font", &senderA, "2"), PostingStyle::ASAP);
  queue.enqueue(Make("numlet.password", &senderB, "3"), PostingStyle::WhenIdle);
  queue.dequeueNotificationsMatching(Notification{QString(), &senderA, {}}, NotificationCoalescingOnSender);
  queue.dequeueNotificationsMatching(Notification{QString(), &senderB, {}}, NotificationNoCoalescing);
  RunEventLoop();
  EXPECT_EQ(deliveries, (std::vector<Delivery>{{"numlet.password", &senderB, "3"}}));
}

TEST_F(NotificationQueueTest, NotificationsQueuedByObserversWaitForTheNextTurn) {
  int posts = 0;
  NotificationObserver again = center.addObserver("again", nullptr, [&](const Notification& n) {
    if (++posts < 1000) queue.enqueue(n, PostingStyle::WhenIdle, NotificationNoCoalescing);
  });
  queue.enqueue(Make("again", nullptr, ""), PostingStyle::WhenIdle);
  for (int turns = 0; posts == 0 && turns < 1000; ++turns) QCoreApplication::processEvents();
  // Re-queued notifications posted in the same flush would reach 1000 in that first turn.
  EXPECT_GE(posts, 1);
  EXPECT_LT(posts, 10);
  again.reset();
  RunEventLoop();
}

}  // namespace
