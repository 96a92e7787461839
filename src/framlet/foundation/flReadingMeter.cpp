#include "framlet/foundation/flReadingMeter.h"
#include "framlet/foundation/flQtHeld.h"

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
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <fstream>
#include <string>
#include <utility>

namespace {

thread_local FLReadingMeter* t_current = nullptr;
FLReadingMeter::HeapCount g_heapCount = nullptr;
FLReadingMeter::MemoryFigures g_memoryFigures = nullptr;

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

// A soft resource limit; -1 where there is none.
int64_t ResourceLimit(int resource) {
  rlimit limit{};
  if (::getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return -1;
  return int64_t(std::min<rlim_t>(limit.rlim_cur, rlim_t(INT64_MAX)));
}

// The first number of a small file; -1 where it has none ("max", missing).
int64_t NumberInFile(const std::string& path) {
  std::ifstream file(path);
  std::string word;
  if (!(file >> word) || word.empty() || word.find_first_not_of("0123456789") != std::string::npos) return -1;
  try {
    return std::stoll(word);
  } catch (const std::exception&) {
    return -1;  // past int64: as good as no limit
  }
}

// A number a key gives in a file of "key value" lines (memory.stat); -1 where it gives none.
int64_t KeyedNumberInFile(const std::string& path, const std::string& key) {
  std::ifstream file(path);
  std::string name;
  long long value = 0;
  while (file >> name >> value)
    if (name == key) return value;
  return -1;
}

}  // namespace

void ReadGroupFigures(const std::string& root, std::istream& membership, FLMemoryFigures& figures) {
  // What the group cannot give back: its use less the file cache it keeps only while nobody
  // needs the memory (its inactive file pages), as container tools count a working set.
  int64_t bestRoom = INT64_MAX;
  const auto consider = [&](int64_t limit, int64_t usage, int64_t inactiveFile) {
    const int64_t used = std::max<int64_t>(usage - std::max<int64_t>(inactiveFile, 0), 0);
    const int64_t room = limit - used;
    if (room >= bestRoom) return;
    bestRoom = room;
    figures.groupLimit = limit;
    figures.groupUsed = used;
  };
  std::string line;
  while (std::getline(membership, line)) {
    // "0::/path" (version 2) or "N:memory:/path" (version 1; the controllers may be listed together).
    const size_t first = line.find(':');
    const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
    if (second == std::string::npos) continue;
    const std::string controllers = line.substr(first + 1, second - first - 1);
    std::string path = line.substr(second + 1);
    if (controllers.empty()) {
      // The group and every group above it: a limit set on a parent holds its children too.
      for (;;) {
        const std::string folder = root + (path == "/" ? std::string() : path);
        const int64_t limit = NumberInFile(folder + "/memory.max");
        if (limit >= 0)
          consider(limit, std::max<int64_t>(NumberInFile(folder + "/memory.current"), 0),
                   KeyedNumberInFile(folder + "/memory.stat", "inactive_file"));
        const size_t slash = path.rfind('/');
        if (path.empty() || path == "/" || slash == std::string::npos) break;
        path = slash == 0 ? "/" : path.substr(0, slash);
      }
      if (bestRoom != INT64_MAX) return;
    } else if (("," + controllers + ",").find(",memory,") != std::string::npos) {
      for (const std::string& folder : {root + "/memory" + path, root + "/memory"}) {
        const int64_t limit = NumberInFile(folder + "/memory.limit_in_bytes");
        if (limit < 0) continue;
        // Version 1 writes "no limit" as a number near 2^63, rounded down to a page.
        if (limit < (int64_t(1) << 62)) {
          // Its statistics count the group's own pages and, as "total_", its children's too.
          int64_t inactive = KeyedNumberInFile(folder + "/memory.stat", "total_inactive_file");
          if (inactive < 0) inactive = KeyedNumberInFile(folder + "/memory.stat", "inactive_file");
          consider(limit, std::max<int64_t>(NumberInFile(folder + "/memory.usage_in_bytes"), 0), inactive);
        }
        return;
      }
    }
  }
}

namespace {

int64_t MemAvailable() {
  std::ifstream info("/proc/meminfo");
  std::string key;
  int64_t kilobytes = 0;
  std::string unit;
  while (info >> key >> kilobytes) {
    std::getline(info, unit);
    if (key == "MemAvailable:") return kilobytes * 1024;
  }
  return -1;
}

}  // namespace

FLMemoryFigures ProcessMemoryFigures() {
  if (g_memoryFigures) return g_memoryFigures();
  FLMemoryFigures figures;
  figures.addressSpaceLimit = ResourceLimit(RLIMIT_AS);
  figures.dataLimit = ResourceLimit(RLIMIT_DATA);
  if (figures.addressSpaceLimit >= 0 || figures.dataLimit >= 0) {
    // statm: the size, then resident, shared, text, library and data (with the stack), in pages.
    std::ifstream statm("/proc/self/statm");
    int64_t size = 0, resident = 0, shared = 0, text = 0, library = 0, data = 0;
    if (statm >> size >> resident >> shared >> text >> library >> data) {
      const int64_t page = sysconf(_SC_PAGESIZE);
      figures.addressSpaceUsed = size * page;
      figures.dataUsed = data * page;
    }
  }
  std::ifstream membership("/proc/self/cgroup");
  ReadGroupFigures("/sys/fs/cgroup", membership, figures);
  figures.available = MemAvailable();
  return figures;
}

int64_t BudgetWithinFigures(int64_t budget, const FLMemoryFigures& figures) {
  if (budget <= 0) return budget;
  int64_t room = INT64_MAX;
  const auto within = [&](int64_t limit, int64_t used) {
    if (limit >= 0) room = std::min(room, std::max<int64_t>(limit - used, 0));
  };
  within(figures.addressSpaceLimit, figures.addressSpaceUsed);
  within(figures.dataLimit, figures.dataUsed);
  within(figures.groupLimit, figures.groupUsed);
  within(figures.available, 0);
  if (room == INT64_MAX) return budget;
  return std::clamp<int64_t>(room - room / 4, 1, budget);
}

int64_t BudgetWithinLimits(int64_t budget) {
  return budget <= 0 ? budget : BudgetWithinFigures(budget, ProcessMemoryFigures());
}

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

namespace {

// What a large or refused reading let go stays with the allocator, and still counts in the
// process's resident size, where the next meter begins: a reading that then reuses it would be
// seen to grow by nothing until it passed the size the first left behind, and so take its own
// budget beyond that. Given back to the system, the next meter begins from the heap as it is.
// It is given back as such a meter ends, and again before the next outermost meter reads its
// baseline: what the failed command let go after its meter ended (its read document, Qt's rich
// text deleted later) is given back too, so that a second attempt counts as the first did.
bool g_trimBeforeNextMeter = false;

}  // namespace

FLReadingMeter::FLReadingMeter(int64_t budget, int64_t mostSteps)
    : budget_(0), mostSteps_(mostSteps), baseline_(0), previous_(t_current) {
  // Before the process's figures and the heap are read: both count what was given back.
  if (!previous_ && std::exchange(g_trimBeforeNextMeter, false)) ::malloc_trim(0);
  budget_ = BudgetWithinLimits(budget);
  baseline_ = HeapBytesInUse();
  t_current = this;
}

FLReadingMeter::~FLReadingMeter() {
  if (t_current == this) t_current = previous_;
  if (!previous_ && (passed() || grown_ >= kTrimAfterGrowth)) {
    ::malloc_trim(0);
    g_trimBeforeNextMeter = true;
  }
}

FLReadingMeter* FLReadingMeter::current() { return t_current; }

namespace {
thread_local uint64_t t_outOfMemoryNotes = 0;
}  // namespace

void FLReadingMeter::NoteOutOfMemory() {
  ++t_outOfMemoryNotes;
  if (t_current) t_current->outOfMemory_ = true;
}

uint64_t FLReadingMeter::OutOfMemoryNotes() { return t_outOfMemoryNotes; }

bool FLReadingMeter::Checkpoint(int64_t pieces) { return !t_current || t_current->pieces(pieces); }

bool FLReadingMeter::pieces(int64_t count) {
  sinceRead_ += count;
  if (sinceRead_ >= kPiecesBetweenReads) return measure();
  return !passed();
}

bool FLReadingMeter::measure() {
  sinceRead_ = 0;
  asked_ = 0;
  if (budget_ > 0) {
    const int64_t grown = HeapBytesInUse() - baseline_;
    lastGrown_ = grown;
    if (grown > grown_) grown_ = grown;
    if (grown > budget_) tooLarge_ = true;
  }
  return !passed();
}

bool FLReadingMeter::room(int64_t bytes, int64_t headroom) {
  if (passed() || budget_ <= 0) return !passed();
  bytes = std::max<int64_t>(bytes, 0);
  headroom = std::max<int64_t>(headroom, 0);
  constexpr int64_t kLeastBetweenReads = int64_t(4) << 20;
  if (asked_ + bytes >= std::max(budget_ / 64, kLeastBetweenReads) && !measure()) return false;
  if (lastGrown_ + asked_ + bytes + headroom > budget_) {
    grown_ = std::max(grown_, lastGrown_ + asked_ + bytes + headroom);
    tooLarge_ = true;
    return false;
  }
  asked_ += bytes;
  return true;
}

bool FLReadingMeter::steps(int64_t count) {
  steps_ += count;
  if (mostSteps_ > 0 && steps_ > mostSteps_) tooLong_ = true;
  return !passed();
}

void FLReadingMeter::allowSteps(int64_t count) { mostSteps_ += count; }

FLReadingMeter::MemoryFigures FLReadingMeter::SetMemoryFiguresForTests(MemoryFigures figures) {
  return std::exchange(g_memoryFigures, figures);
}

FLReadingMeter::HeapCount FLReadingMeter::SetHeapCountForTests(HeapCount count) {
  const HeapCount previous = g_heapCount;
  g_heapCount = count;
  return previous;
}

namespace {
std::atomic<long> g_qtObjectsAbandoned{0};
constexpr long kAbandonedKept = 4096;
const void* volatile g_abandoned[kAbandonedKept] = {};
}  // namespace

// Called while a failed allocation unwinds: it takes no memory.
void NoteQtObjectAbandoned(const void* object) {
  const long index = g_qtObjectsAbandoned.fetch_add(1, std::memory_order_relaxed);
  if (index < kAbandonedKept) g_abandoned[index] = object;
}

long QtObjectsAbandoned() { return g_qtObjectsAbandoned.load(std::memory_order_relaxed); }
