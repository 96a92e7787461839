// Mappings are registered in a fixed table that the SIGBUS handler can search without taking a
// lock or allocating. A fault inside a registered mapping replaces the rest of it with zero pages
// (an anonymous mapping laid over it), so the faulting read is retried and succeeds; any other
// SIGBUS goes to whatever handled it before.
#include "framlet/foundation/flGuardedMapping.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <mutex>

#include <sys/mman.h>
#include <unistd.h>

namespace {

struct Guard {
  std::atomic<uintptr_t> begin{0};
  std::atomic<uintptr_t> end{0};
  std::atomic<bool> taken{false};
  std::atomic<bool> faulted{false};
};

// More than any process reads at once; a mapping without a free guard is not made.
constexpr int kGuardCount = 64;
Guard g_guards[kGuardCount];
struct sigaction g_previousAction;
uintptr_t g_pageSize = 4096;

void OnBusError(int signal, siginfo_t* info, void* context) {
  const uintptr_t address = uintptr_t(info->si_addr);
  for (Guard& guard : g_guards) {
    const uintptr_t begin = guard.begin.load(std::memory_order_acquire);
    const uintptr_t end = guard.end.load(std::memory_order_acquire);
    if (begin == 0 || address < begin || address >= end) continue;
    const uintptr_t page = address & ~(g_pageSize - 1);
    void* zeros = ::mmap(reinterpret_cast<void*>(page), end - page, PROT_READ,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    if (zeros == MAP_FAILED) break;
    guard.faulted.store(true, std::memory_order_release);
    return;
  }
  if (g_previousAction.sa_flags & SA_SIGINFO) {
    if (g_previousAction.sa_sigaction) {
      g_previousAction.sa_sigaction(signal, info, context);
      return;
    }
  } else if (g_previousAction.sa_handler != SIG_DFL && g_previousAction.sa_handler != SIG_IGN) {
    g_previousAction.sa_handler(signal);
    return;
  }
  // The system's own action: the faulting read comes again and ends the process as it would have.
  ::sigaction(SIGBUS, &g_previousAction, nullptr);
}

void InstallHandler() {
  g_pageSize = uintptr_t(::sysconf(_SC_PAGESIZE));
  struct sigaction action {};
  action.sa_sigaction = OnBusError;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGBUS, &action, &g_previousAction);
}

int TakeGuard() {
  for (int i = 0; i < kGuardCount; ++i) {
    bool expected = false;
    if (g_guards[i].taken.compare_exchange_strong(expected, true)) return i;
  }
  return -1;
}

}  // namespace

std::unique_ptr<FLGuardedMapping> FLGuardedMapping::map(int fd, size_t length) {
  static std::once_flag installed;
  std::call_once(installed, InstallHandler);
  if (length == 0) return nullptr;
  const int slot = TakeGuard();
  if (slot < 0) return nullptr;
  void* address = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, 0);
  if (address == MAP_FAILED) {
    g_guards[slot].taken.store(false);
    return nullptr;
  }
  Guard& guard = g_guards[slot];
  guard.faulted.store(false, std::memory_order_relaxed);
  guard.end.store((uintptr_t(address) + length + g_pageSize - 1) & ~(g_pageSize - 1), std::memory_order_release);
  guard.begin.store(uintptr_t(address), std::memory_order_release);
  return std::unique_ptr<FLGuardedMapping>(new FLGuardedMapping(address, length, slot));
}

FLGuardedMapping::~FLGuardedMapping() {
  Guard& guard = g_guards[slot_];
  guard.begin.store(0, std::memory_order_release);
  guard.end.store(0, std::memory_order_release);
  ::munmap(address_, length_);
  guard.taken.store(false, std::memory_order_release);
}

void FLGuardedMapping::release(size_t from, size_t to) {
  const size_t begin = from / g_pageSize * g_pageSize;
  const size_t end = std::min(to, length_) / g_pageSize * g_pageSize;
  if (end > begin) ::madvise(static_cast<char*>(address_) + begin, end - begin, MADV_DONTNEED);
}

bool FLGuardedMapping::faulted() const { return g_guards[slot_].faulted.load(std::memory_order_acquire); }
