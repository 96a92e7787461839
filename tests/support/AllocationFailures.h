// Failed allocations on demand, for tests of what a command does when memory runs out: the
// count-th allocation from the moment it is armed fails (operator new in every form, plain,
// array, aligned and nothrow, with std::bad_alloc or nullptr as that form does), or every
// allocation that would take the bytes held since then past a ceiling (what is freed meanwhile
// gives room back, as a real heap does). Only the arming thread's allocations count.
//
// Armed with AllocationForms::Every, malloc, calloc, realloc and the aligned C allocations count
// and fail too (nullptr and ENOMEM, as the C library fails): what the C and C++ libraries, Qt's
// data, ICU, the image codecs and the text engine's records take; not what fontconfig and Qt take
// for their own bookkeeping, a platform limit (see FindPlatformLimits). A failure there may leave
// a library's state behind it broken for good (Qt's code is built without exceptions), so those
// failures are armed in a child process (RunInChild), which ends with the case.
//
// The replacements of operator new and delete, and of the C allocation functions, go into one file
// of a test executable: that file defines TAMSEL_DEFINE_ALLOCATION_FAILURES before it includes
// this header. The C functions hand on to the heap underneath (the sanitizer's or the C
// library's), so free() takes back what they give.
#pragma once

#include <errno.h>
#include <link.h>
#include <malloc.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <thread>

// The heap underneath: the address sanitizer's own allocation functions where it is linked in,
// else the C library's.
extern "C" {
void* __interceptor_malloc(size_t) __attribute__((weak));
void* __interceptor_calloc(size_t, size_t) __attribute__((weak));
void* __interceptor_realloc(void*, size_t) __attribute__((weak));
void* __interceptor_memalign(size_t, size_t) __attribute__((weak));
void* __interceptor_aligned_alloc(size_t, size_t) __attribute__((weak));
int __interceptor_posix_memalign(void**, size_t, size_t) __attribute__((weak));
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
}

// Defined by the framework (flImageCodecs.h): whether this thread is inside Qt's image handler look-up.
extern "C" bool InImageHandlerLookup() noexcept;

// Which allocations an armed failure counts.
enum class AllocationForms {
  OperatorNew,  // operator new in every form (and the engine records of a refusal installed for tests)
  Every,        // those and the C allocation functions: arm these in a child process only
  // As Every, with all that Qt's libraries allocate passed over: for readings that run through
  // Qt's rich text (QTextDocument), which is not safe against a failed allocation inside it.
  EveryButQt,
};

namespace allocation_failures {

inline std::atomic<bool> g_armed{false};
inline std::thread::id g_thread;
inline int64_t g_countdown = 0;  // the allocation still to come that fails (0: none)
inline int64_t g_ceiling = -1;   // the bytes held since arming past which one fails (-1: none)
inline int64_t g_held = 0;
inline int64_t g_peakHeld = 0;  // the most held at once since arming
inline int64_t g_allocations = 0;
inline int64_t g_failures = 0;
// The C allocation functions count too. Read with a builtin in those functions, which run before
// the sanitizers are ready and call nothing else until a test arms them.
inline bool g_cForms = false;

inline void* RawMalloc(size_t size) { return __interceptor_malloc ? __interceptor_malloc(size) : __libc_malloc(size); }
inline void* RawCalloc(size_t count, size_t size) {
  return __interceptor_calloc ? __interceptor_calloc(count, size) : __libc_calloc(count, size);
}
inline void* RawRealloc(void* block, size_t size) {
  return __interceptor_realloc ? __interceptor_realloc(block, size) : __libc_realloc(block, size);
}
inline void* RawMemalign(size_t alignment, size_t size) {
  return __interceptor_memalign ? __interceptor_memalign(alignment, size) : __libc_memalign(alignment, size);
}

// Qt's look-up of an image handler is passed over: it runs in Qt's code under Qt's own mutexes
// and begins only with room kept for it in the heap (FLImageHandlerLookup), so that no real
// allocation fails inside it; one failed there would leave the mutexes locked for good.
inline bool Counted() {
  return g_armed.load(std::memory_order_relaxed) && std::this_thread::get_id() == g_thread && !InImageHandlerLookup();
}

// Whether this counted allocation is the one that fails.
inline bool FailsNow(size_t size) {
  ++g_allocations;
  if ((g_countdown > 0 && --g_countdown == 0) || (g_ceiling >= 0 && g_held + int64_t(size) > g_ceiling)) {
    ++g_failures;
    return true;
  }
  return false;
}

inline void* Allocate(size_t size, size_t alignment = 0) {
  if (Counted() && FailsNow(size)) throw std::bad_alloc();
  if (size == 0) size = 1;
  void* block = alignment > alignof(std::max_align_t) ? RawMemalign(alignment, size) : RawMalloc(size);
  if (!block) throw std::bad_alloc();
  if (Counted()) {
    g_held += int64_t(malloc_usable_size(block));
    if (g_held > g_peakHeld) g_peakHeld = g_held;
  }
  return block;
}

// The same count for the text engine's own records (AllocateMemory, which does not go through
// operator new): true when this one is refused. Install with SetAllocationRefusalForTests.
inline bool RefusesEngineRecord(size_t size) { return Counted() && FailsNow(size); }

// The code of the libraries kept as a platform limit, whose own C allocations are passed over:
// fontconfig, and Qt's bookkeeping in its libraries (its containers' blocks, its fonts' and text
// layout's records), are not safe against a failed allocation inside them, which the budget of a
// reading keeps the process away from. What Qt allocates for data (a file's bytes, a bitmap's
// pixels: blocks of kPlatformDataBlock bytes and more) counts, as do ICU's, the image codecs',
// the C library's and the program's own.
inline constexpr size_t kPlatformDataBlock = 4096;
struct CodeRange {
  uintptr_t begin = 0, end = 0;
  bool whole = false;  // every block of it passed over, not only the small ones
};
inline CodeRange g_platformLimits[16];
inline int g_platformLimitCount = 0;
inline bool g_qtWhole = false;
inline void FindPlatformLimits(bool qtWhole) {
  g_platformLimitCount = 0;
  g_qtWhole = qtWhole;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void*) {
        if (!info->dlpi_name) return 0;
        // The C library's own calls (strdup and its kin, which fontconfig's strings come from) go
        // with their callers: the sanitizer serves them itself, passing over this function.
        const bool fonts = std::strstr(info->dlpi_name, "libfontconfig") || std::strstr(info->dlpi_name, "libfreetype") ||
                           std::strstr(info->dlpi_name, "libharfbuzz") || std::strstr(info->dlpi_name, "/libc.so");
        if (!fonts && !std::strstr(info->dlpi_name, "libQt6")) return 0;
        for (int k = 0; k < info->dlpi_phnum && g_platformLimitCount < 16; ++k) {
          const ElfW(Phdr)& segment = info->dlpi_phdr[k];
          if (segment.p_type != PT_LOAD || !(segment.p_flags & PF_X)) continue;
          const uintptr_t begin = info->dlpi_addr + segment.p_vaddr;
          g_platformLimits[g_platformLimitCount++] = CodeRange{begin, begin + segment.p_memsz, fonts || g_qtWhole};
        }
        return 0;
      },
      nullptr);
}
inline bool InPlatformLimit(const void* caller, size_t size) {
  const auto at = reinterpret_cast<uintptr_t>(caller);
  for (int k = 0; k < g_platformLimitCount; ++k)
    if (at >= g_platformLimits[k].begin && at < g_platformLimits[k].end)
      return g_platformLimits[k].whole || size < kPlatformDataBlock;
  return false;
}

// A C allocation function's count, for its caller: true when this one fails (errno is then ENOMEM).
inline bool CFormFails(size_t size, const void* caller) {
  if (!Counted() || InPlatformLimit(caller, size) || !FailsNow(size)) return false;
  errno = ENOMEM;
  return true;
}

inline void Free(void* block) noexcept {
  if (!block) return;
  if (Counted()) g_held -= int64_t(malloc_usable_size(block));
  std::free(block);
}

}  // namespace allocation_failures

// Arms the failure: the count-th allocation from now (0: none), and any past the ceiling of bytes
// held (-1: none). Counts from zero.
inline void FailAllocations(int64_t count, int64_t ceiling = -1, AllocationForms forms = AllocationForms::OperatorNew) {
  using namespace allocation_failures;
  if (forms != AllocationForms::OperatorNew) FindPlatformLimits(forms == AllocationForms::EveryButQt);
  __atomic_store_n(&g_cForms, forms != AllocationForms::OperatorNew, __ATOMIC_RELAXED);
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
  __atomic_store_n(&g_cForms, false, __ATOMIC_RELAXED);
  return {g_allocations, g_failures, g_held, g_peakHeld};
}

// Runs the body in a child process and answers its exit code, or 128 + the signal that ended it
// (a crash, or the alarm after `seconds` when it hangs); -1 when no child could be made. The body
// reports what it found through its code; the child ends without unwinding the test's state.
inline int RunInChild(const std::function<int()>& body, unsigned seconds = 900) {
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) {
    ::alarm(seconds);
    int code = 0;
    try {
      code = body();
    } catch (...) {
      code = 125;
    }
    std::fflush(nullptr);
    ::_exit(code);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0)
    if (errno != EINTR) return -1;
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

#ifdef TAMSEL_DEFINE_ALLOCATION_FAILURES
namespace allocation_failures {
inline void* AllocateNoThrow(size_t size, size_t alignment = 0) noexcept {
  try {
    return Allocate(size, alignment);
  } catch (...) {
    return nullptr;
  }
}
}  // namespace allocation_failures

void* operator new(size_t size) { return allocation_failures::Allocate(size); }
void* operator new[](size_t size) { return allocation_failures::Allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return allocation_failures::AllocateNoThrow(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return allocation_failures::AllocateNoThrow(size); }
void* operator new(size_t size, std::align_val_t alignment) { return allocation_failures::Allocate(size, size_t(alignment)); }
void* operator new[](size_t size, std::align_val_t alignment) {
  return allocation_failures::Allocate(size, size_t(alignment));
}
void* operator new(size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return allocation_failures::AllocateNoThrow(size, size_t(alignment));
}
void* operator new[](size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return allocation_failures::AllocateNoThrow(size, size_t(alignment));
}
void operator delete(void* block) noexcept { allocation_failures::Free(block); }
void operator delete[](void* block) noexcept { allocation_failures::Free(block); }
void operator delete(void* block, size_t) noexcept { allocation_failures::Free(block); }
void operator delete[](void* block, size_t) noexcept { allocation_failures::Free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { allocation_failures::Free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { allocation_failures::Free(block); }
void operator delete(void* block, std::align_val_t) noexcept { allocation_failures::Free(block); }
void operator delete[](void* block, std::align_val_t) noexcept { allocation_failures::Free(block); }
void operator delete(void* block, size_t, std::align_val_t) noexcept { allocation_failures::Free(block); }
void operator delete[](void* block, size_t, std::align_val_t) noexcept { allocation_failures::Free(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept { allocation_failures::Free(block); }
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
  allocation_failures::Free(block);
}

// The C allocation functions, counted only when armed with AllocationForms::Every. They run from
// the first allocation of the process on, before the sanitizers are ready: uninstrumented, and
// calling only the heap underneath until a test arms them. That call is a jump (a sibling call,
// optimised even in a debug build), so the heap sees its caller as its own: the leak checker
// knows the dynamic linker's blocks by the linker calling.
#define TAMSEL_C_ALLOCATION \
  extern "C" __attribute__((no_sanitize("address", "undefined"), optimize("O2", "optimize-sibling-calls")))
#define TAMSEL_C_FAILS(size) \
  (__builtin_expect(__atomic_load_n(&allocation_failures::g_cForms, __ATOMIC_RELAXED), 0) && \
   allocation_failures::CFormFails(size, __builtin_return_address(0)))
#define TAMSEL_HEAP(name) (__interceptor_##name ? __interceptor_##name : __libc_##name)
TAMSEL_C_ALLOCATION void* malloc(size_t size) {
  if (TAMSEL_C_FAILS(size)) return nullptr;
  return TAMSEL_HEAP(malloc)(size);
}
TAMSEL_C_ALLOCATION void* calloc(size_t count, size_t size) {
  if (TAMSEL_C_FAILS(count * size)) return nullptr;
  return TAMSEL_HEAP(calloc)(count, size);
}
TAMSEL_C_ALLOCATION void* realloc(void* block, size_t size) {
  // Freeing through it (size 0) does not fail.
  if (size != 0 && TAMSEL_C_FAILS(size)) return nullptr;
  return TAMSEL_HEAP(realloc)(block, size);
}
TAMSEL_C_ALLOCATION void* memalign(size_t alignment, size_t size) {
  if (TAMSEL_C_FAILS(size)) return nullptr;
  return TAMSEL_HEAP(memalign)(alignment, size);
}
TAMSEL_C_ALLOCATION void* aligned_alloc(size_t alignment, size_t size) {
  if (TAMSEL_C_FAILS(size)) return nullptr;
  return (__interceptor_aligned_alloc ? __interceptor_aligned_alloc : __libc_memalign)(alignment, size);
}
TAMSEL_C_ALLOCATION int posix_memalign(void** block, size_t alignment, size_t size) {
  if (TAMSEL_C_FAILS(size)) return ENOMEM;
  if (__interceptor_posix_memalign) return __interceptor_posix_memalign(block, alignment, size);
  *block = __libc_memalign(alignment, size);
  return *block ? 0 : ENOMEM;
}
#undef TAMSEL_HEAP
#undef TAMSEL_C_FAILS
#undef TAMSEL_C_ALLOCATION
#endif
