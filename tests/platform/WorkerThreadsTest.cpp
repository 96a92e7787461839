// Threads that allocate take no address space of their own beyond their stacks once the arenas
// are limited: the room an address-space limit leaves stays the documents'.
#include "platform/WorkerThreads.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitizerAllocator = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitizerAllocator = true;
#else
constexpr bool kSanitizerAllocator = false;
#endif
#else
constexpr bool kSanitizerAllocator = false;
#endif

// The process's size (VmSize), in bytes; -1 when it cannot be read.
long long ProcessSize() {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return -1;
  char line[256];
  long long kilobytes = -1;
  while (std::fgets(line, sizeof line, status))
    if (std::strncmp(line, "VmSize:", 7) == 0) kilobytes = std::atoll(line + 7);
  std::fclose(status);
  return kilobytes < 0 ? -1 : kilobytes * 1024;
}

std::atomic<int> g_started{0};
std::atomic<bool> g_release{false};

void* AllocateAndWait(void*) {
  // Used, so that the compiler cannot leave the allocation out.
  char* volatile block = static_cast<char*>(std::malloc(4096));
  if (block) block[0] = 1;
  g_started.fetch_add(1);
  while (!g_release.load()) usleep(1000);
  std::free(block);
  return nullptr;
}

// In a child process: the growth of the process's size while `threads` threads, each with a small
// stack, hold an allocation; the exit status says whether it stayed under `most` megabytes.
int GrowthWithThreads(int threads, long long most) {
  const long long before = ProcessSize();
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, 256 * 1024);
  std::vector<pthread_t> started(static_cast<size_t>(threads));
  for (pthread_t& thread : started)
    if (pthread_create(&thread, &attributes, AllocateAndWait, nullptr) != 0) return 3;
  while (g_started.load() < threads) usleep(1000);
  const long long grown = ProcessSize() - before;
  g_release.store(true);
  for (pthread_t& thread : started) pthread_join(thread, nullptr);
  return before >= 0 && grown < most * 1024 * 1024 ? 0 : 1;
}

TEST(WorkerThreads, ThreadsThatAllocateReserveNoArenasOfTheirOwn) {
  if (kSanitizerAllocator) GTEST_SKIP() << "the sanitizer's allocator keeps no glibc arenas";
  constexpr int kThreads = 8;
  // Eight threads of 256 KB stacks: 2 MB and what the allocator adds, never 64 MB a thread.
  constexpr long long kMostGrowthMegabytes = 24;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (!LimitAllocatorArenas()) _exit(2);
    _exit(GrowthWithThreads(kThreads, kMostGrowthMegabytes));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the threads grew the process past the bound; 2: not taken; 3: no thread";
}

}  // namespace
