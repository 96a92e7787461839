// Growable arrays of fixed-size records held by value in one contiguous block: the text engine's
// tables, the sheet's sort vectors and page-break lists. Callers hand in and get back raw record
// pointers; the array copies bytes and knows nothing of their meaning.
#pragma once

#include "framlet/foundation/flBase.h"

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

// "Not found" for the framework's 64-bit indexes.
inline constexpr uint64_t FLNotFound = 0x7FFFFFFFFFFFFFFF;

class FLArray {
 protected:
  // Only this family of classes can name the key, so only their factories make arrays.
  struct Key {
    explicit Key() = default;
  };

 public:
  // Called with each record in order; setting stop ends the loop after this call.
  using EntryBlock = std::function<void(void* entry, uint64_t index, bool& stop)>;
  // Answers 1 when the first record must come after the second; any other answer keeps the pair.
  using CompareBlock = std::function<int(const void* first, const void* second, void* context)>;

  // Record lengths must be non-zero and even. Without useAllEntries the capacity is at least 10
  // and the array starts empty; with it the array starts with exactly initialAllocation
  // uninitialised records for the caller to fill. Nothing (nullptr) when refused or out of memory.
  // A plain FLArray without a record length does not exist: there is no default constructor.
  static std::unique_ptr<FLArray> withEntrySize(uint64_t length, uint64_t initialAllocation = 0,
                                                bool useAllEntries = false);
  FLArray(Key, uint64_t length) : entryLength_(length) {}
  virtual ~FLArray();
  FLArray(const FLArray&) = delete;
  FLArray& operator=(const FLArray&) = delete;

  // A new array of the same kind, record length and capacity holding copies of the records.
  std::unique_ptr<FLArray> copy() const { return cloneArray(); }

  virtual uint64_t count() const { return usedCount_; }
  virtual uint64_t entryLength() const { return entryLength_; }
  uint64_t allocatedCount() const { return allocatedCount_; }

  // Stored records, whatever the subclass keeps in front of the caller's data.
  void* firstEntry() { return usedCount_ ? record(0) : nullptr; }
  void* lastEntry() { return usedCount_ ? record(usedCount_ - 1) : nullptr; }

  // Valid until the next insertion or deletion. A bad index logs and answers the last record
  // (the block's start when empty); index 0 of an empty array is the block's start, silently,
  // as a write area before setCount.
  virtual void* entryAtIndex(uint64_t index);
  // Copies the record out; a bad index logs and zeroes the buffer.
  virtual void getEntry(void* buffer, uint64_t index) const;
  virtual void enumerateEntriesUsingBlock(const EntryBlock& block);

  // The new record's index, or FLNotFound when the array could not grow.
  virtual uint64_t addEntry(const void* entry);
  // Index may equal the count (append). Without an entry the slot keeps whatever bytes it held.
  virtual bool insertEntry(const void* entry, uint64_t index);
  virtual void replaceEntryAtIndex(uint64_t index, const void* entry);
  virtual void deleteEntryAtIndex(uint64_t index);
  // Empties the array and keeps the block.
  virtual void deleteAllEntries();
  // Growing exposes uninitialised records; a count above the capacity is clamped to it.
  virtual void setCount(uint64_t count);
  // Replaces the contents with count stored records, growing the block when it is too small.
  virtual bool copyEntries(const void* entries, uint64_t count);
  // In-place Shell sort; not stable. The order of equal records is fixed by the gap sequence.
  virtual void sortEntriesWithContext(void* context, const CompareBlock& block);

 protected:
  static constexpr const char* kBadIndexMessage = "index >= usedCount";
  static constexpr const char* kBadLengthMessage = "Bad length";

  struct FreeBlock {
    void operator()(uint8_t* block) const { std::free(block); }
  };
  using Block = std::unique_ptr<uint8_t, FreeBlock>;

  // Gives an array without a block its first one; false when refused.
  bool allocateBlock(uint64_t capacity);
  // Moves the used records to a block of the new capacity; false (array unchanged) when refused.
  bool growTo(uint64_t capacity);
  // Opens one record at index (growing by the usual rule when full) and copies length bytes of
  // bytes, if given, to offset within it. bytes may point into this array's own block.
  bool insertRecordWith(uint64_t index, const void* bytes, uint64_t offset, uint64_t length);
  // Opens count records at index; the capacity must already hold them.
  void openRecords(uint64_t index, uint64_t count);
  void removeRecords(uint64_t index, uint64_t count);
  bool liesInBlock(const void* pointer) const;

  uint8_t* record(uint64_t index) const { return entries_.get() + index * entryLength_; }

  virtual std::unique_ptr<FLArray> cloneArray() const;

  // The sort shared by the base class and the string arrays. compare(a, b) answers 1 when
  // stored record a must come after stored record b.
  template <typename Compare>
  void shellSort(Compare&& compare);

  uint64_t usedCount_ = 0;
  uint64_t allocatedCount_ = 0;
  uint64_t entryLength_ = 0;
  Block entries_;
};

template <typename Compare>
void FLArray::shellSort(Compare&& compare) {
  if (usedCount_ < 2) return;
  Block scratch(static_cast<uint8_t*>(AllocateMemory(entryLength_)));
  if (!scratch) return;
  const uint64_t length = entryLength_;
  for (uint64_t gap = std::bit_floor(usedCount_) - 1; gap > 0; gap >>= 1) {
    for (uint64_t start = 1; start <= usedCount_ - gap; ++start) {
      // Signed: j steps down by the gap and must stop at or below zero rather than wrap.
      for (int64_t j = int64_t(start); j > 0; j -= int64_t(gap)) {
        uint8_t* first = record(uint64_t(j) - 1);
        uint8_t* second = first + gap * length;
        if (compare(first, second) != 1) break;
        std::memcpy(scratch.get(), first, length);
        std::memcpy(first, second, length);
        std::memcpy(second, scratch.get(), length);
      }
    }
  }
}
