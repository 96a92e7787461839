// Named notifications and the deferred, coalescing queue on the Qt event loop.
#include "platform/NotificationCenter.h"

#include <QCoreApplication>
#include <QHash>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace {

bool OnOwningThread(const QObject* owner) {
  QThread* current = QThread::currentThread();
  if (owner) return owner->thread() == current;
  QCoreApplication* app = QCoreApplication::instance();
  return !app || app->thread() == current;
}

bool MatchesForCoalescing(const Notification& waiting, const Notification& given, unsigned mask) {
  if (mask == NotificationNoCoalescing) return false;
  if ((mask & NotificationCoalescingOnName) && waiting.name != given.name) return false;
  if ((mask & NotificationCoalescingOnSender) && waiting.object != given.object) return false;
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Center

struct NotificationCenter::Registry : std::enable_shared_from_this<NotificationCenter::Registry> {
  struct Entry {
    uint64_t id = 0;
    QString name;
    const void* object = nullptr;
    Handler handler;
    bool hasContext = false;
    QPointer<QObject> context;
    QObject* contextKey = nullptr;  // the address, still usable after the context is gone
    QMetaObject::Connection contextWatch;
    bool removed = false;
  };

  // Observers by the name they observe; the empty name holds those that observe every name.
  QHash<QString, std::vector<std::shared_ptr<Entry>>> byName;
  QHash<uint64_t, std::shared_ptr<Entry>> byId;
  uint64_t nextId = 1;
  // Room for the observers one post calls, made as observers are added: a post that is not made
  // from inside another takes no memory of its own, so that a sender may post as it is destroyed
  // while a failed allocation unwinds (a document telling that it closes).
  std::vector<std::shared_ptr<Entry>> postRoom;
  bool postRoomInUse = false;

  ~Registry() {
    for (const auto& entry : std::as_const(byId))
      if (entry->contextWatch) QObject::disconnect(entry->contextWatch);
  }

  uint64_t add(QObject* context, const QString& name, const void* object, Handler handler) {
    // Made before anything is registered: an observer that fails to be added leaves nothing.
    if (!postRoomInUse) postRoom.reserve(size_t(byId.size()) + 1);
    auto entry = std::make_shared<Entry>();
    entry->id = nextId++;
    entry->name = name;
    entry->object = object;
    entry->handler = std::move(handler);
    if (context) {
      entry->hasContext = true;
      entry->context = context;
      entry->contextKey = context;
      std::weak_ptr<Registry> weak = weak_from_this();
      uint64_t id = entry->id;
      entry->contextWatch = QObject::connect(context, &QObject::destroyed, [weak, id] {
        if (auto registry = weak.lock()) registry->remove(id);
      });
    }
    byName[name].push_back(entry);
    byId.insert(entry->id, entry);
    return entry->id;
  }

  void remove(uint64_t id) {
    auto found = byId.find(id);
    if (found == byId.end()) return;
    std::shared_ptr<Entry> entry = found.value();
    byId.erase(found);
    // The handler is kept: it may be the one running now, removing itself.
    entry->removed = true;
    if (entry->contextWatch) QObject::disconnect(entry->contextWatch);
    auto list = byName.find(entry->name);
    if (list != byName.end()) {
      auto& entries = list.value();
      entries.erase(std::remove(entries.begin(), entries.end(), entry), entries.end());
      if (entries.empty()) byName.erase(list);
    }
  }

  void removeContext(QObject* context, const QString& name, const void* object) {
    std::vector<uint64_t> doomed;
    for (const auto& entry : std::as_const(byId)) {
      if (entry->contextKey != context) continue;
      if (!name.isEmpty() && entry->name != name) continue;
      if (object && entry->object != object) continue;
      doomed.push_back(entry->id);
    }
    for (uint64_t id : doomed) remove(id);
  }

  void collect(const QString& key, const Notification& notification,
               std::vector<std::shared_ptr<Entry>>& targets) const {
    auto list = byName.constFind(key);
    if (list == byName.constEnd()) return;
    for (const auto& entry : list.value())
      if (!entry->object || entry->object == notification.object) targets.push_back(entry);
  }

  void post(const Notification& notification) {
    // The room kept for posts, unless a post under way (one that called an observer which posts)
    // holds it; it is given back emptied, its capacity kept, however the observers return.
    std::vector<std::shared_ptr<Entry>> own;
    const bool kept = !postRoomInUse;
    std::vector<std::shared_ptr<Entry>>& targets = kept ? postRoom : own;
    struct GiveBack {
      Registry& registry;
      std::vector<std::shared_ptr<Entry>>& targets;
      bool kept;
      ~GiveBack() {
        targets.clear();
        if (kept) registry.postRoomInUse = false;
      }
    } giveBack{*this, targets, kept};
    if (kept) postRoomInUse = true;
    collect(notification.name, notification, targets);
    size_t named = targets.size();
    if (!notification.name.isEmpty()) collect(QString(), notification, targets);
    if (named != 0 && named != targets.size())
      std::sort(targets.begin(), targets.end(), [](const auto& a, const auto& b) { return a->id < b->id; });
    for (const auto& entry : targets) {
      if (entry->removed) continue;
      if (entry->hasContext && !entry->context) continue;
      entry->handler(notification);
    }
  }
};

NotificationObserver::~NotificationObserver() { reset(); }

NotificationObserver::NotificationObserver(NotificationObserver&& other) noexcept
    : registry_(std::move(other.registry_)), id_(other.id_) {
  other.registry_.reset();
  other.id_ = 0;
}

NotificationObserver& NotificationObserver::operator=(NotificationObserver&& other) noexcept {
  if (this != &other) {
    reset();
    registry_ = std::move(other.registry_);
    id_ = other.id_;
    other.registry_.reset();
    other.id_ = 0;
  }
  return *this;
}

void NotificationObserver::reset() {
  if (auto locked = registry_.lock())
    std::static_pointer_cast<NotificationCenter::Registry>(locked)->remove(id_);
  registry_.reset();
  id_ = 0;
}

bool NotificationObserver::isActive() const {
  auto locked = registry_.lock();
  return locked && std::static_pointer_cast<NotificationCenter::Registry>(locked)->byId.contains(id_);
}

NotificationCenter& NotificationCenter::defaultCenter() {
  // Never destroyed: process-wide objects hold observations until the very end.
  static NotificationCenter* center = new NotificationCenter;
  return *center;
}

NotificationCenter::NotificationCenter() : registry_(std::make_shared<Registry>()) {}

NotificationCenter::~NotificationCenter() = default;

NotificationObserver NotificationCenter::addObserver(const QString& name, const void* object, Handler handler) {
  uint64_t id = registry_->add(nullptr, name, object, std::move(handler));
  return NotificationObserver(std::weak_ptr<void>(registry_), id);
}

void NotificationCenter::addObserver(QObject* context, const QString& name, const void* object,
                                     Handler handler) {
  if (!context) return;
  registry_->add(context, name, object, std::move(handler));
}

void NotificationCenter::removeObserver(QObject* context, const QString& name, const void* object) {
  if (context) registry_->removeContext(context, name, object);
}

void NotificationCenter::post(const Notification& notification) {
  if (!OnOwningThread(nullptr)) {
    // Observers live on the main thread; a worker's post reaches them on the next turn there.
    std::weak_ptr<Registry> weak = registry_;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [weak, notification] {
          if (auto registry = weak.lock()) registry->post(notification);
        },
        Qt::QueuedConnection);
    return;
  }
  // The registry stays alive through the post even if an observer destroys this center.
  std::shared_ptr<Registry> registry = registry_;
  registry->post(notification);
}

void NotificationCenter::post(const QString& name, const void* object, const QVariantMap& userInfo) {
  post(Notification{name, object, userInfo});
}

int NotificationCenter::observerCount() const { return int(registry_->byId.size()); }

// ---------------------------------------------------------------------------------------------
// Queue

NotificationQueue& NotificationQueue::defaultQueue() {
  static NotificationQueue* queue = new NotificationQueue(NotificationCenter::defaultCenter());
  return *queue;
}

NotificationQueue::NotificationQueue(NotificationCenter& center)
    : center_(center), context_(std::make_unique<QObject>()) {
  // A timer object, not QTimer::singleShot: a zero single shot becomes a queued call, which
  // would not wait for the events already waiting.
  idleTimer_ = new QTimer(context_.get());
  idleTimer_->setSingleShot(true);
  idleTimer_->setInterval(0);
  QObject::connect(idleTimer_, &QTimer::timeout, context_.get(), [this] { flushIdle(); });
}

NotificationQueue::~NotificationQueue() = default;

void NotificationQueue::enqueue(const Notification& notification, PostingStyle style, unsigned coalesceMask) {
  if (!OnOwningThread(context_.get())) {
    QMetaObject::invokeMethod(
        context_.get(), [this, notification, style, coalesceMask] { enqueue(notification, style, coalesceMask); },
        Qt::QueuedConnection);
    return;
  }
  dequeueNotificationsMatching(notification, coalesceMask);
  switch (style) {
    case PostingStyle::Now:
      center_.post(notification);
      return;
    case PostingStyle::ASAP:
      asap_.push_back(Pending{notification, nextSerial_++});
      break;
    case PostingStyle::WhenIdle:
      idle_.push_back(Pending{notification, nextSerial_++});
      break;
  }
  schedule(style);
}

void NotificationQueue::dequeueNotificationsMatching(const Notification& notification, unsigned coalesceMask) {
  if (coalesceMask == NotificationNoCoalescing) return;
  auto matches = [&](const Pending& pending) {
    return MatchesForCoalescing(pending.notification, notification, coalesceMask);
  };
  asap_.erase(std::remove_if(asap_.begin(), asap_.end(), matches), asap_.end());
  idle_.erase(std::remove_if(idle_.begin(), idle_.end(), matches), idle_.end());
}

int NotificationQueue::pendingCount() const { return int(asap_.size() + idle_.size()); }

void NotificationQueue::schedule(PostingStyle style) {
  if (style == PostingStyle::ASAP && !asapScheduled_) {
    asapScheduled_ = true;
    QMetaObject::invokeMethod(context_.get(), [this] { flushASAP(); }, Qt::QueuedConnection);
  } else if (style == PostingStyle::WhenIdle && !idleTimer_->isActive()) {
    // A zero timer fires once the events already waiting have been handled: Qt's idle point.
    idleTimer_->start();
  }
}

void NotificationQueue::flush(std::deque<Pending>& list) {
  // Only what was waiting when the flush began: notifications queued by observers wait for
  // the next turn. Each is taken from the live list, so an observer that dequeues a later
  // one (its sender going away) prevents that post.
  const uint64_t limit = nextSerial_;
  while (!list.empty() && list.front().serial < limit) {
    Notification notification = std::move(list.front().notification);
    list.pop_front();
    center_.post(notification);
  }
}

void NotificationQueue::flushASAP() {
  asapScheduled_ = false;
  flush(asap_);
}

void NotificationQueue::flushIdle() {
  flush(asap_);
  flush(idle_);
}
