// Named notifications between parts of the program that do not know each other: a sender posts
// "numlet.eval" or "gmb.selectionChange" with itself as object, observers pick them up by name and,
// when they care, by sender. The queue posts later on the Qt event loop and folds repeats together.
#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

// One notification. The object identifies the sender; it is compared by address and never
// dereferenced here, so any class can be a sender.
struct Notification {
  QString name;
  const void* object = nullptr;
  QVariantMap userInfo;

  template <typename T>
  T* objectAs() const {
    return static_cast<T*>(const_cast<void*>(object));
  }
};

class NotificationCenter;
class QTimer;

// Keeps one observation alive; destroying or resetting the token removes it. Movable only.
class NotificationObserver {
 public:
  NotificationObserver() = default;
  ~NotificationObserver();
  NotificationObserver(NotificationObserver&& other) noexcept;
  NotificationObserver& operator=(NotificationObserver&& other) noexcept;
  NotificationObserver(const NotificationObserver&) = delete;
  NotificationObserver& operator=(const NotificationObserver&) = delete;

  void reset();
  bool isActive() const;

 private:
  friend class NotificationCenter;
  NotificationObserver(std::weak_ptr<void> registry, uint64_t id) : registry_(std::move(registry)), id_(id) {}
  std::weak_ptr<void> registry_;
  uint64_t id_ = 0;
};

// The process's notification dispatcher. Main thread: observers are added, removed and called
// there; a post from another thread is carried over to the main thread and delivered later.
class NotificationCenter {
 public:
  using Handler = std::function<void(const Notification&)>;

  static NotificationCenter& defaultCenter();

  NotificationCenter();
  ~NotificationCenter();
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  // An empty name observes every name; a null object observes every sender. The observation
  // lasts as long as the returned token.
  [[nodiscard]] NotificationObserver addObserver(const QString& name, const void* object, Handler handler);
  // The observation lasts until the context object is destroyed or removed with removeObserver;
  // the handler is never called once the context is gone.
  void addObserver(QObject* context, const QString& name, const void* object, Handler handler);
  // Removes the context's observations of that name (empty: every name) and sender (null: every sender).
  void removeObserver(QObject* context, const QString& name = QString(), const void* object = nullptr);

  // Calls every matching observer at once, in the order they were added. Observers added
  // during the post are not called for it; observers removed during it are not called.
  void post(const Notification& notification);
  void post(const QString& name, const void* object = nullptr, const QVariantMap& userInfo = QVariantMap());

  int observerCount() const;

 private:
  friend class NotificationObserver;
  struct Registry;

  std::shared_ptr<Registry> registry_;
};

// How the queue folds a new notification into those already waiting: by name, by sender, or both.
enum NotificationCoalescing : unsigned {
  NotificationNoCoalescing = 0,
  NotificationCoalescingOnName = 1,
  NotificationCoalescingOnSender = 2,
};

enum class PostingStyle {
  WhenIdle = 1,  // once the event loop has handled the waiting events
  ASAP = 2,      // at the next turn of the event loop, before the idle ones
  Now = 3,       // at once, after coalescing
};

// Deferred posting on the Qt event loop. A coalesced enqueue removes the waiting notifications
// that match and queues the new one, so many requests during one event give one notification
// carrying the latest user info.
class NotificationQueue {
 public:
  static NotificationQueue& defaultQueue();

  explicit NotificationQueue(NotificationCenter& center);
  ~NotificationQueue();
  NotificationQueue(const NotificationQueue&) = delete;
  NotificationQueue& operator=(const NotificationQueue&) = delete;

  void enqueue(const Notification& notification, PostingStyle style,
               unsigned coalesceMask = NotificationCoalescingOnName | NotificationCoalescingOnSender);
  // Drops the waiting notifications that match in the masked respects (mask 0 drops none).
  // A sender that goes away calls it with CoalescingOnSender so nothing is posted for it later.
  void dequeueNotificationsMatching(const Notification& notification, unsigned coalesceMask);

  int pendingCount() const;

 private:
  struct Pending {
    Notification notification;
    uint64_t serial = 0;
  };
  void schedule(PostingStyle style);
  void flush(std::deque<Pending>& list);
  void flushIdle();
  void flushASAP();

  NotificationCenter& center_;
  std::deque<Pending> asap_;
  std::deque<Pending> idle_;
  uint64_t nextSerial_ = 1;
  bool asapScheduled_ = false;
  std::unique_ptr<QObject> context_;
  QTimer* idleTimer_ = nullptr;  // owned by context_
};
