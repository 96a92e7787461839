#include "platform/WorkerThreads.h"

#include <QSemaphore>
#include <QThreadPool>

#include <malloc.h>

#include <atomic>
#include <memory>

namespace {

// What a piece of a fill or a conversion needs: a loop over pixels, far below the 8 MiB a thread
// takes by default, and under AddressSanitizer still ample.
constexpr uint kWorkerStackSize = 1u << 20;
// How long a starting task waits for the others: a thread that could not be made leaves the rest
// to go their way after it, rather than holding the pool.
constexpr int kStartWaitMilliseconds = 1000;

// One arena: the main one, which grows in place rather than by 64 MB reservations.
constexpr int kAllocatorArenas = 1;

}  // namespace

bool LimitAllocatorArenas() {
#if defined(__GLIBC__)
  return mallopt(M_ARENA_MAX, kAllocatorArenas) == 1;
#else
  return false;
#endif
}

void StartWorkerThreads() {
  QThreadPool* pool = QThreadPool::globalInstance();
  pool->setStackSize(kWorkerStackSize);
  pool->setExpiryTimeout(-1);
  // Each task holds its thread until all have started, so the pool makes a thread for each rather
  // than handing the next task to one that has just finished. Nobody waits for them.
  const int count = pool->maxThreadCount();
  struct Start {
    std::atomic<int> started{0};
    QSemaphore go;
  };
  auto start = std::make_shared<Start>();
  for (int i = 0; i < count; ++i)
    pool->start([start, count] {
      if (start->started.fetch_add(1) + 1 == count) start->go.release(count);
      start->go.tryAcquire(1, kStartWaitMilliseconds);
    });
}
