// Failed allocations on demand, for tests of what a command does when memory runs out: the
// count-th allocation through operator new from the moment it is armed fails with
// std::bad_alloc, or every allocation that would take the bytes held since then past a ceiling
// (what is freed meanwhile gives room back, as a real heap does). Only the arming thread's
// allocations count.
//
// The replacements of operator new and delete go into one file of a test executable: that file
// defines TAMSEL_DEFINE_ALLOCATION_FAILURES before it includes this header.
#pragma once

#include <malloc.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <thread>

namespace allocation_failures {

inline std::atomic<bool> g_armed{false};
inline std::thread::id g_thread;
inline int64_t g_countdown = 0;  // the allocation still to come that fails (0: none)
inline int64_t g_ceiling = -1;   // the bytes held since arming past which one fails (-1: none)
inline int64_t g_held = 0;
inline int64_t g_peakHeld = 0;  // the most held at once since arming
inline int64_t g_allocations = 0;
inline int64_t g_failures = 0;

inline bool Counted() { return g_armed.load(std::memory_order_relaxed) && std::this_thread::get_id() == g_thread; }

inline void* Allocate(size_t size) {
  if (Counted()) {
    ++g_allocations;
    if ((g_countdown > 0 && --g_countdown == 0) || (g_ceiling >= 0 && g_held + int64_t(size) > g_ceiling)) {
      ++g_failures;
      throw std::bad_alloc();
    }
  }
  void* block = std::malloc(size == 0 ? 1 : size);
  if (!block) throw std::bad_alloc();
  if (Counted()) {
    g_held += int64_t(malloc_usable_size(block));
    if (g_held > g_peakHeld) g_peakHeld = g_held;
  }
  return block;
}

// The same count for the text engine's own records (AllocateMemory, which does not go through
// operator new): true when this one is refused. Install with SetAllocationRefusalForTests.
inline bool RefusesEngineRecord(size_t size) {
  if (!Counted()) return false;
  ++g_allocations;
  if ((g_countdown > 0 && --g_countdown == 0) || (g_ceiling >= 0 && g_held + int64_t(size) > g_ceiling)) {
    ++g_failures;
    return true;
  }
  return false;
}

inline void Free(void* block) noexcept {
  if (!block) return;
  if (Counted()) g_held -= int64_t(malloc_usable_size(block));
  std::free(block);
}

}  // namespace allocation_failures

// Arms the failure: the count-th allocation from now (0: none), and any past the ceiling of bytes
// held (-1: none). Counts from zero.
inline void FailAllocations(int64_t count, int64_t ceiling = -1) {
  using namespace allocation_failures;
  g_thread = std::this_thread::get_id();
  g_countdown = count;
  g_ceiling = ceiling;
  g_held = 0;
  g_peakHeld = 0;
  g_allocations = 0;
  g_failures = 0;
  g_armed = true;
}

// Disarms it; the allocations counted meanwhile, and how many failed.
struct AllocationCounts {
  int64_t allocations = 0;
  int64_t failures = 0;
  int64_t held = 0;
  int64_t peak = 0;
};
inline AllocationCounts AllowAllocations() {
  using namespace allocation_failures;
  g_armed = false;
  return {g_allocations, g_failures, g_held, g_peakHeld};
}

#ifdef TAMSEL_DEFINE_ALLOCATION_FAILURES
void* operator new(size_t size) { return allocation_failures::Allocate(size); }
void* operator new[](size_t size) { return allocation_failures::Allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocation_failures::Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocation_failures::Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* block) noexcept { allocation_failures::Free(block); }
void operator delete[](void* block) noexcept { allocation_failures::Free(block); }
void operator delete(void* block, size_t) noexcept { allocation_failures::Free(block); }
void operator delete[](void* block, size_t) noexcept { allocation_failures::Free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { allocation_failures::Free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { allocation_failures::Free(block); }
#endif
