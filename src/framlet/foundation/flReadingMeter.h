// What reading a foreign file has grown the heap by, and the steps its work has taken, held
// against bounds. Charges priced in advance stop a file early and name its size; the meter holds
// the bound itself, so that a structure or a loop nobody priced still cannot pass it.
//
// An open or a paste makes one meter for all its stages (the reading, what the reading builds,
// its import and the cells): while it lives it is the thread's current meter, which every stage
// reaches through Checkpoint without being handed it. The heap is read at least every
// kPiecesBetweenReads pieces, and wherever a stage asks (a style sheet, a table, a long list of
// attributes); steps are counted as they are taken.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

// The memory the process holds, in bytes: under AddressSanitizer its allocator's count of the heap
// in use, else the process's resident size.
int64_t HeapBytesInUse();

// What the process may still take, as the system tells it: each limit with what it already
// counts against it (-1 where there is no such limit, or it cannot be read).
struct FLMemoryFigures {
  int64_t addressSpaceLimit = -1, addressSpaceUsed = 0;  // RLIMIT_AS and the process's size
  int64_t dataLimit = -1, dataUsed = 0;                  // RLIMIT_DATA and its data segments
  int64_t groupLimit = -1, groupUsed = 0;                // the control group's memory limit and use
  int64_t available = -1;                                // MemAvailable
};
// The figures of this process now.
FLMemoryFigures ProcessMemoryFigures();
// The control group's part of them (groupLimit, groupUsed), from the control group file system
// mounted at `root` ("/sys/fs/cgroup") for the groups `membership` names (as /proc/self/cgroup
// does): of the group and each group above it that sets a limit, the one that leaves least room,
// its use counted without the file cache the kernel takes back on demand (inactive_file). Version
// 2's memory.max, memory.current and memory.stat; else version 1's memory controller.
void ReadGroupFigures(const std::string& root, std::istream& membership, FLMemoryFigures& figures);
// The most a reading may grow the heap by under those figures: `budget`, or less where the least
// room any of them leaves is smaller; a quarter of that room is kept back for what grows between
// two readings of the heap, for what the allocator holds beyond what it hands out, and for what
// a failed command's rollback takes. At least 1 (0 would be no bound); 0 stays 0.
int64_t BudgetWithinFigures(int64_t budget, const FLMemoryFigures& figures);
// The same under the process's own figures.
int64_t BudgetWithinLimits(int64_t budget);

class FLReadingMeter {
 public:
  // budget: what the heap may grow by from now (0: no bound), held to what the process may still
  // take (BudgetWithinLimits); mostSteps: the steps the work may take (0: no bound; readings add
  // theirs with allowSteps).
  explicit FLReadingMeter(int64_t budget, int64_t mostSteps = 0);
  ~FLReadingMeter();
  FLReadingMeter(const FLReadingMeter&) = delete;
  FLReadingMeter& operator=(const FLReadingMeter&) = delete;

  // The meter of the open or paste the thread is running, or null.
  static FLReadingMeter* current();
  // Counts pieces made on the current meter (none: nothing); false once it is past a bound.
  static bool Checkpoint(int64_t pieces = 1);

  // Counts pieces made, reading the heap when enough have been made since it was last read.
  bool pieces(int64_t count = 1);
  // Reads the heap now.
  bool measure();
  // Before a call that will grow the heap by about `bytes` and cannot be stopped part-way (Qt's
  // rich text, which a failed allocation leaves broken): false, and past the budget, where the heap
  // as last read with what was asked for since and this would pass the budget, so that the call is
  // never made. The heap is read again once what was asked for since it was read is a sixty-fourth
  // of the budget (or a few megabytes), so that the budget's margin is never spent between reads.
  // `headroom`: what the call may take for a moment beyond what it keeps (a buffer grown by
  // copying), needed free but not counted as asked for.
  bool room(int64_t bytes, int64_t headroom = 0);
  // Counts steps of work.
  bool steps(int64_t count);
  // Lets the work take that many more steps (a reading allows what its input's size allows).
  void allowSteps(int64_t count);

  // A stage that catches a failed allocation itself (and gives up) tells the current meter, so
  // that the command knows why it stopped.
  static void NoteOutOfMemory();
  // Every such note on this thread so far, whether a meter was current or not: a command's guard
  // compares the count around the command to know that a stage of it gave up for want of memory.
  static uint64_t OutOfMemoryNotes();

  bool passed() const { return tooLarge_ || tooLong_ || outOfMemory_; }
  bool outOfMemory() const { return outOfMemory_; }
  bool tooLarge() const { return tooLarge_; }
  bool tooLong() const { return tooLong_; }
  // The most the heap has been seen grown by since the meter began.
  int64_t grown() const { return grown_; }
  int64_t stepsTaken() const { return steps_; }
  int64_t budget() const { return budget_; }

  // For tests: the heap's count, in place of the allocator's (null: the allocator's again).
  using HeapCount = int64_t (*)();
  static HeapCount SetHeapCountForTests(HeapCount count);
  // For tests: the process's memory figures, in place of the system's (null: the system's again).
  using MemoryFigures = FLMemoryFigures (*)();
  static MemoryFigures SetMemoryFiguresForTests(MemoryFigures figures);

  static constexpr int64_t kPiecesBetweenReads = 4096;
  // An outermost meter that saw the heap grow by this much, or that was passed, gives what the
  // allocator holds free back to the system when it ends.
  static constexpr int64_t kTrimAfterGrowth = int64_t(64) << 20;

 private:
  int64_t budget_;
  int64_t mostSteps_;
  int64_t baseline_;
  int64_t grown_ = 0;
  int64_t lastGrown_ = 0;  // at the last read
  int64_t asked_ = 0;      // what room was asked for since
  int64_t steps_ = 0;
  int64_t sinceRead_ = 0;
  bool tooLarge_ = false, tooLong_ = false, outOfMemory_ = false;
  FLReadingMeter* previous_;
};
