// Record arrays: creation, access, insertion with the growth rule, deletion and the gap sort.
#include "framlet/foundation/FLArray.h"

#include <algorithm>
#include <functional>
#include <typeinfo>
#include <vector>

namespace {

constexpr const char* kNoCountForUseAllEntries = "No count for useAllEntries";
constexpr const char* kInsertBeyondEnd = "Insert beyond end of array";
constexpr const char* kNewCountTooBig = "New count too big";
constexpr const char* kOnlyForFLArray = "Can only be used on FLArray";

// The number of bytes count records take, or nothing when that does not fit in memory.
bool BlockSize(uint64_t count, uint64_t length, size_t& size) {
  uint64_t bytes = 0;
  if (__builtin_mul_overflow(count, length, &bytes) || bytes > PTRDIFF_MAX) return false;
  size = size_t(bytes);
  return true;
}

}  // namespace

std::unique_ptr<FLArray> FLArray::withEntrySize(uint64_t length, uint64_t initialAllocation,
                                                bool useAllEntries) {
  if (length == 0 || length % 2 != 0) {
    FLAssert(false, kBadLengthMessage);
    return nullptr;
  }
  if (useAllEntries && initialAllocation == 0) {
    FLAssert(false, kNoCountForUseAllEntries);
    return nullptr;
  }
  auto array = std::make_unique<FLArray>(Key(), length);
  const uint64_t capacity = useAllEntries ? initialAllocation : std::max<uint64_t>(initialAllocation, 10);
  if (!array->allocateBlock(capacity)) return nullptr;
  if (useAllEntries) array->usedCount_ = capacity;
  return array;
}

FLArray::~FLArray() = default;

bool FLArray::allocateBlock(uint64_t capacity) {
  size_t size = 0;
  if (!BlockSize(capacity, entryLength_, size)) return false;
  entries_.reset(static_cast<uint8_t*>(AllocateMemory(size)));
  if (!entries_) return false;
  allocatedCount_ = capacity;
  return true;
}

bool FLArray::growTo(uint64_t capacity) {
  size_t size = 0;
  if (!BlockSize(capacity, entryLength_, size)) return false;
  Block block(static_cast<uint8_t*>(AllocateMemory(size)));
  if (!block) return false;
  if (usedCount_) std::memcpy(block.get(), entries_.get(), size_t(usedCount_ * entryLength_));
  entries_ = std::move(block);
  allocatedCount_ = capacity;
  return true;
}

bool FLArray::liesInBlock(const void* pointer) const {
  const uint8_t* start = entries_.get();
  const uint8_t* end = start + allocatedCount_ * entryLength_;
  const auto* bytes = static_cast<const uint8_t*>(pointer);
  return std::less_equal<const uint8_t*>()(start, bytes) && std::less<const uint8_t*>()(bytes, end);
}

bool FLArray::insertRecordWith(uint64_t index, const void* bytes, uint64_t offset, uint64_t length) {
  if (index > usedCount_) {
    FLAssert(false, kInsertBeyondEnd);
    return false;
  }
  // The caller may hand in one of our own records; keep its bytes aside before records move.
  std::vector<uint8_t> aside;
  if (bytes && length && liesInBlock(bytes)) {
    const auto* source = static_cast<const uint8_t*>(bytes);
    aside.assign(source, source + length);
    bytes = aside.data();
  }
  if (usedCount_ == allocatedCount_ &&
      !growTo(usedCount_ + std::max<uint64_t>(usedCount_ / 4, 10)))
    return false;
  openRecords(index, 1);
  if (bytes && length) std::memcpy(record(index) + offset, bytes, size_t(length));
  return true;
}

void FLArray::openRecords(uint64_t index, uint64_t count) {
  if (index < usedCount_)
    std::memmove(record(index + count), record(index), size_t((usedCount_ - index) * entryLength_));
  usedCount_ += count;
}

void FLArray::removeRecords(uint64_t index, uint64_t count) {
  const uint64_t tail = usedCount_ - index - count;
  if (tail) std::memmove(record(index), record(index + count), size_t(tail * entryLength_));
  usedCount_ -= count;
}

std::unique_ptr<FLArray> FLArray::cloneArray() const {
  auto array = std::make_unique<FLArray>(Key(), entryLength_);
  if (!array->allocateBlock(allocatedCount_)) return nullptr;
  if (usedCount_) std::memcpy(array->record(0), record(0), size_t(usedCount_ * entryLength_));
  array->usedCount_ = usedCount_;
  return array;
}

void* FLArray::entryAtIndex(uint64_t index) {
  if (index < usedCount_) return record(index);
  if (!(index == 0 && usedCount_ == 0)) FLAssert(false, kBadIndexMessage);
  return usedCount_ ? record(usedCount_ - 1) : record(0);
}

void FLArray::getEntry(void* buffer, uint64_t index) const {
  if (!buffer) return;
  if (index >= usedCount_) {
    FLAssert(false, kBadIndexMessage);
    std::memset(buffer, 0, size_t(entryLength_));
    return;
  }
  std::memcpy(buffer, record(index), size_t(entryLength_));
}

void FLArray::enumerateEntriesUsingBlock(const EntryBlock& block) {
  if (typeid(*this) != typeid(FLArray)) FLAssert(false, kOnlyForFLArray);
  if (!block) return;
  bool stop = false;
  // The count is read afresh each time so a block that deletes records cannot lead us past the end.
  for (uint64_t index = 0; index < usedCount_ && !stop; ++index) block(record(index), index, stop);
}

uint64_t FLArray::addEntry(const void* entry) {
  const uint64_t index = usedCount_;
  return insertRecordWith(index, entry, 0, entryLength_) ? index : FLNotFound;
}

bool FLArray::insertEntry(const void* entry, uint64_t index) {
  return insertRecordWith(index, entry, 0, entryLength_);
}

void FLArray::replaceEntryAtIndex(uint64_t index, const void* entry) {
  if (index >= usedCount_) {
    FLAssert(false, kBadIndexMessage);
    return;
  }
  if (entry) std::memmove(record(index), entry, size_t(entryLength_));
}

void FLArray::deleteEntryAtIndex(uint64_t index) {
  if (index >= usedCount_) {
    FLAssert(false, kBadIndexMessage);
    return;
  }
  removeRecords(index, 1);
}

void FLArray::deleteAllEntries() { usedCount_ = 0; }

void FLArray::setCount(uint64_t count) {
  if (count > allocatedCount_) {
    FLAssert(false, kNewCountTooBig);
    count = allocatedCount_;
  }
  usedCount_ = count;
}

bool FLArray::copyEntries(const void* entries, uint64_t count) {
  size_t size = 0;
  if (!BlockSize(count, entryLength_, size)) return false;
  if (count && !entries) return false;
  std::vector<uint8_t> aside;
  if (count && liesInBlock(entries)) {
    const auto* source = static_cast<const uint8_t*>(entries);
    aside.assign(source, source + size);
    entries = aside.data();
  }
  if (count > allocatedCount_ && !growTo(count)) return false;
  if (count) std::memcpy(record(0), entries, size);
  usedCount_ = count;
  return true;
}

void FLArray::sortEntriesWithContext(void* context, const CompareBlock& block) {
  if (!block) return;
  shellSort([&](const uint8_t* first, const uint8_t* second) { return block(first, second, context); });
}
