// Cp-keyed record arrays: the binary search over cps, insertion and deletion around the end
// record, and the shift of cps behind an edit.
#include "framlet/foundation/FLArrayCP.h"

#include <algorithm>
#include <limits>

namespace {

constexpr const char* kCpBeforeStart = "cp before start of array";
constexpr const char* kCpAfterEnd = "cp after end of array";
constexpr const char* kCpAboveEnd = "cp above end of CPs";
constexpr const char* kInsertAfterEnd = "Insert after end of array";
constexpr const char* kDataWithoutRoom = "Data supplied to array that has no data";
constexpr const char* kExpandAfterEnd = "Expand after end of array";
constexpr const char* kReplaceBeyondLimit = "Replace beyond limit";
constexpr const char* kDeleteAfterEnd = "Delete after end of array";
constexpr const char* kInvalidNewCount = "Invalid new count";
constexpr const char* kIllegalForCpArrays = "Illegal for CP arrays";
constexpr const char* kUseCpEnumeration = "Use enumerateEntriesAndCPsUsingBlock instead";
constexpr const char* kNoSortOnCpArrays = "Don't do this on CP arrays";

constexpr uint32_t kNoCp = 0xFFFFFFFF;

// Cps compare as signed 32-bit numbers.
bool CpBefore(uint32_t a, uint32_t b) { return int32_t(a) < int32_t(b); }

}  // namespace

std::unique_ptr<FLArrayCP> FLArrayCP::withEntrySize(uint64_t dataLength, uint64_t initialAllocation,
                                                    uint32_t maxCp, uint64_t options) {
  if (dataLength % 2 != 0 || dataLength > std::numeric_limits<uint64_t>::max() - kCpLength) {
    FLAssert(false, kBadLengthMessage);
    return nullptr;
  }
  auto array = std::make_unique<FLArrayCP>(Key(), dataLength, options);
  uint64_t capacity = initialAllocation == std::numeric_limits<uint64_t>::max() ? initialAllocation
                                                                                 : initialAllocation + 1;
  if (!array->allocateBlock(std::max<uint64_t>(capacity, 10))) return nullptr;
  array->usedCount_ = 1;
  array->makeEndRecord(0, maxCp);
  return array;
}

std::unique_ptr<FLArrayCP> FLArrayCP::copy() const {
  auto array = std::make_unique<FLArrayCP>(Key(), entryLength(), options_);
  if (!array->allocateBlock(allocatedCount_)) return nullptr;
  std::memcpy(array->record(0), record(0), size_t(usedCount_ * entryLength_));
  array->usedCount_ = usedCount_;
  return array;
}

void FLArrayCP::makeEndRecord(uint64_t stored, uint32_t cp) {
  setCpOf(stored, cp);
  std::memset(dataOf(stored), 0, size_t(entryLength()));
}

uint32_t FLArrayCP::cpAtIndex(uint64_t index) const { return index <= count() ? cpOf(index) : kNoCp; }

void* FLArrayCP::entryAtIndex(uint64_t index) {
  const uint64_t records = count();
  if (index < records) return dataOf(index);
  if (!(index == 0 && records == 0)) FLAssert(false, kBadIndexMessage);
  return dataOf(records ? records - 1 : 0);
}

void FLArrayCP::getEntry(void* buffer, uint64_t index) const {
  if (!buffer) return;
  if (index >= count()) {
    FLAssert(false, kBadIndexMessage);
    std::memset(buffer, 0, size_t(entryLength()));
    return;
  }
  std::memcpy(buffer, dataOf(index), size_t(entryLength()));
}

uint32_t FLArrayCP::cpGetEntry(void* buffer, uint64_t index) const {
  if (index >= count()) {
    FLAssert(false, kBadIndexMessage);
    if (buffer) std::memset(buffer, 0, size_t(entryLength()));
    return 0;
  }
  if (buffer) std::memcpy(buffer, dataOf(index), size_t(entryLength()));
  return cpOf(index);
}

uint64_t FLArrayCP::search(uint32_t cp) const {
  const uint64_t records = count();
  if (records == 0) return 0;
  if (CpBefore(maxCp(), cp)) {
    FLAssert(false, kCpAboveEnd);
    return records - 1;
  }
  uint64_t low = 0;
  uint64_t high = usedCount_;
  uint64_t result = 0;
  bool found = false;
  while (low < high) {
    const uint64_t middle = (low + high) / 2;
    const uint32_t middleCp = cpOf(middle);
    if (middleCp == cp) {
      result = middle;
      found = true;
      break;
    }
    if (CpBefore(middleCp, cp))
      low = middle + 1;
    else
      high = middle;
  }
  // A cp before record 0's wraps to all bits set: no valid index.
  if (!found) result = low - 1;
  // Stepping back only from a real record: the all-bits index must not be read through.
  if ((options_ & kOptionSharedCps) && result < usedCount_)
    while (result > 0 && cpOf(result - 1) == cpOf(result)) --result;
  return result;
}

uint64_t FLArrayCP::indexOfCp(uint32_t cp) const {
  if (!(options_ & kOptionSharedCps) && count() > 0 && CpBefore(cp, cpOf(0)))
    FLAssert(false, kCpBeforeStart);
  if (CpBefore(maxCp(), cp)) FLAssert(false, kCpAfterEnd);
  return search(cp);
}

uint64_t FLArrayCP::indexOfCp(uint32_t cp, uint32_t* actualCp) const {
  const uint64_t index = indexOfCp(cp);
  if (actualCp) *actualCp = cpAtIndex(index);
  return index;
}

uint64_t FLArrayCP::indexOfCpSafe(uint32_t cp) const {
  const uint32_t first = cpOf(0);
  if (cp == first) return 0;
  if (CpBefore(first, cp) && CpBefore(cp, maxCp())) return search(cp);
  return FLNotFound;
}

uint64_t FLArrayCP::indexOfCpAfter(uint32_t cp) const {
  const uint64_t records = count();
  if (records == 0 || CpBefore(cp, cpOf(0))) return 0;
  if (CpBefore(maxCp(), cp)) return FLNotFound;
  uint64_t index = search(cp);
  while (index < records && CpBefore(cpOf(index), cp)) ++index;
  return index;
}

uint32_t FLArrayCP::cpAfterCp(uint32_t cp, uint64_t* index) const {
  uint64_t found = indexOfCpAfter(cp);
  if (found >= count()) found = FLNotFound;
  if (index) *index = found;
  return found == FLNotFound ? kNoCp : cpOf(found);
}

void FLArrayCP::enumerateEntriesAndCPsUsingBlock(const CPEntryBlock& block) {
  if (!block) return;
  bool stop = false;
  for (uint64_t index = 0; index < count() && !stop; ++index)
    block(cpOf(index), entryLength() ? dataOf(index) : nullptr, index, stop);
}

bool FLArrayCP::insertEntry(const void* data, uint64_t index, uint32_t cp) {
  if (index > count()) {
    FLAssert(false, kInsertAfterEnd);
    return false;
  }
  if (data && entryLength() == 0) FLAssert(false, kDataWithoutRoom);
  if (!insertRecordWith(index, data, kCpLength, entryLength())) return false;
  setCpOf(index, cp);
  return true;
}

bool FLArrayCP::insertEntries(uint64_t count, uint64_t index) {
  if (index > this->count()) {
    FLAssert(false, kExpandAfterEnd);
    return false;
  }
  if (count == 0) return true;
  if (count > std::numeric_limits<uint64_t>::max() - usedCount_) return false;
  if (usedCount_ + count > allocatedCount_) {
    const uint64_t missing = usedCount_ + count - allocatedCount_;
    const uint64_t extra = std::max({uint64_t(10), missing, allocatedCount_ / 4});
    if (!growTo(allocatedCount_ + extra)) return false;
  }
  openRecords(index, count);
  return true;
}

void FLArrayCP::replaceEntryAtIndex(uint64_t index, const void* data) {
  if (index >= count()) {
    FLAssert(false, kBadIndexMessage);
    return;
  }
  if (data) std::memmove(dataOf(index), data, size_t(entryLength()));
}

void FLArrayCP::replaceCp(uint32_t cp, uint64_t index) {
  if (index > count()) {
    FLAssert(false, kReplaceBeyondLimit);
    return;
  }
  setCpOf(index, cp);
}

void FLArrayCP::deleteEntryAtIndex(uint64_t index) {
  if (index >= count()) {
    FLAssert(false, kBadIndexMessage);
    return;
  }
  removeRecords(index, 1);
}

void FLArrayCP::deleteEntries(uint64_t count, uint64_t index) {
  const uint64_t records = this->count();
  if (count > records || index > records - count) {
    FLAssert(false, kDeleteAfterEnd);
    if (index > records) return;
    count = records - index;
  }
  if (count) removeRecords(index, count);
}

void FLArrayCP::deleteAllEntries() {
  if (count() == 0) return;
  makeEndRecord(0, maxCp());
  usedCount_ = 1;
}

void FLArrayCP::setMaxCp(uint32_t cp) { setCpOf(usedCount_ - 1, cp); }

void FLArrayCP::setCount(uint64_t count) { setCount(count, maxCp()); }

void FLArrayCP::setCount(uint64_t count, uint32_t cp) {
  if (count > this->count()) {
    FLAssert(false, kInvalidNewCount);
    return;
  }
  makeEndRecord(count, cp);
  usedCount_ = count + 1;
}

void FLArrayCP::adjustCpsAfter(uint32_t cp, int32_t delta, uint64_t start) {
  if (delta == 0) return;
  // Computed wide so the cp just below the signed limit still has a threshold above it.
  const int64_t threshold = int64_t(int32_t(cp)) + ((options_ & kOptionMoveAtEditCp) ? 0 : 1);
  if (start == FLNotFound) {
    start = indexOfCpAfter(uint32_t(threshold));
    if (start == FLNotFound) return;
  }
  uint64_t index = usedCount_ - 1;
  setCpOf(index, cpOf(index) + uint32_t(delta));
  while (index > start) {
    --index;
    const uint32_t old = cpOf(index);
    if (int64_t(int32_t(old)) < threshold) break;
    setCpOf(index, old + uint32_t(delta));
  }
}

bool FLArrayCP::copyEntries(const void* entries, uint64_t count) {
  // The end record must survive: a cp array never holds fewer than one stored record.
  if (count == 0) {
    FLAssert(false, kInvalidNewCount);
    return false;
  }
  return FLArray::copyEntries(entries, count);
}

uint64_t FLArrayCP::addEntry(const void*) {
  FLAssert(false, kIllegalForCpArrays);
  return FLNotFound;
}

bool FLArrayCP::insertEntry(const void*, uint64_t) {
  FLAssert(false, kIllegalForCpArrays);
  return false;
}

void FLArrayCP::enumerateEntriesUsingBlock(const EntryBlock&) { FLAssert(false, kUseCpEnumeration); }

void FLArrayCP::sortEntriesWithContext(void*, const CompareBlock&) { FLAssert(false, kNoSortOnCpArrays); }
