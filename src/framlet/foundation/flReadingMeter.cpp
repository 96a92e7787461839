#include "framlet/foundation/flReadingMeter.h"

#include <cstddef>
#include <cstdio>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FL_HEAP_OF_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) && !defined(FL_HEAP_OF_SANITIZER)
#define FL_HEAP_OF_SANITIZER 1
#endif

#if defined(FL_HEAP_OF_SANITIZER)
#if __has_include(<sanitizer/allocator_interface.h>)
#include <sanitizer/allocator_interface.h>
#else
// The sanitizer's runtime has it; GCC ships no header that declares it.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif
#endif

#include <fcntl.h>
#include <unistd.h>

namespace {

thread_local FLReadingMeter* t_current = nullptr;
FLReadingMeter::HeapCount g_heapCount = nullptr;

// The resident size, from a file kept open: a read costs a microsecond or two, whatever the heap
// holds.
[[maybe_unused]] int64_t ResidentBytes() {
  static const int file = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  if (file < 0) return 0;
  char text[128];
  const ssize_t read = ::pread(file, text, sizeof text - 1, 0);
  if (read <= 0) return 0;
  text[read] = 0;
  long long size = 0, resident = 0;
  if (std::sscanf(text, "%lld %lld", &size, &resident) != 2) return 0;
  return int64_t(resident) * int64_t(sysconf(_SC_PAGESIZE));
}

}  // namespace

int64_t HeapBytesInUse() {
  if (g_heapCount) return g_heapCount();
#if defined(FL_HEAP_OF_SANITIZER)
  // The sanitizer's allocator replaces glibc's, whose count would not see its heap.
  return int64_t(__sanitizer_get_current_allocated_bytes());
#else
  // glibc's own count (mallinfo2) walks every free chunk of the heap: 86 ms a read with a million
  // of them, which a reading that reads it every few thousand pieces cannot pay. The resident size
  // costs the same whatever the heap holds, and is what a reading's peak is.
  return ResidentBytes();
#endif
}

FLReadingMeter::FLReadingMeter(int64_t budget, int64_t mostSteps)
    : budget_(budget), mostSteps_(mostSteps), baseline_(HeapBytesInUse()), previous_(t_current) {
  t_current = this;
}

FLReadingMeter::~FLReadingMeter() {
  if (t_current == this) t_current = previous_;
}

FLReadingMeter* FLReadingMeter::current() { return t_current; }

bool FLReadingMeter::Checkpoint(int64_t pieces) { return !t_current || t_current->pieces(pieces); }

bool FLReadingMeter::pieces(int64_t count) {
  sinceRead_ += count;
  if (sinceRead_ >= kPiecesBetweenReads) return measure();
  return !passed();
}

bool FLReadingMeter::measure() {
  sinceRead_ = 0;
  if (budget_ > 0) {
    const int64_t grown = HeapBytesInUse() - baseline_;
    if (grown > grown_) grown_ = grown;
    if (grown > budget_) tooLarge_ = true;
  }
  return !passed();
}

bool FLReadingMeter::steps(int64_t count) {
  steps_ += count;
  if (mostSteps_ > 0 && steps_ > mostSteps_) tooLong_ = true;
  return !passed();
}

void FLReadingMeter::allowSteps(int64_t count) { mostSteps_ += count; }

FLReadingMeter::HeapCount FLReadingMeter::SetHeapCountForTests(HeapCount count) {
  const HeapCount previous = g_heapCount;
  g_heapCount = count;
  return previous;
}
