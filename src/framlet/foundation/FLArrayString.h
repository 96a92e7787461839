// Record arrays whose records each carry a string beside their fixed-size data: the text
// engine's style sheet and bookmark names, the compound-file reader's directory. The array owns
// a copy of every string; it can be kept sorted by string, case-insensitively, and searched.
#pragma once

#include "framlet/foundation/FLArray.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

// "No string" is a null QString (QString()); an empty but non-null string is still a string.
class FLArrayString : public FLArray {
 public:
  // Called with each record in order; data is nullptr when the data length is 0.
  using StringEntryBlock = std::function<void(const QString& string, void* data, uint64_t index, bool& stop)>;
  // Answers 1 when record A must come after record B. A record without a string is given "".
  using StringCompareBlock = std::function<int(const QString& stringA, const void* dataA, const QString& stringB,
                                               const void* dataB, void* context)>;

  // dataLength is the caller's part of a record (even, may be 0); capacity at least 10.
  // useAllEntries is not supported and is logged and ignored.
  static std::unique_ptr<FLArrayString> withEntrySize(uint64_t dataLength, uint64_t initialAllocation = 0,
                                                      bool useAllEntries = false);
  FLArrayString(Key key, uint64_t dataLength) : FLArray(key, dataLength + kStringSlotLength) {}
  ~FLArrayString() override;

  // A new array of the same data length and capacity with copies of the records and strings;
  // nothing when a string cannot be copied.
  std::unique_ptr<FLArrayString> copy() const;

  uint64_t entryLength() const override { return entryLength_ - kStringSlotLength; }
  // Pointer to record index's data, nullptr when the data length is 0.
  void* entryAtIndex(uint64_t index) override;
  void getEntry(void* buffer, uint64_t index) const override;
  QString stringAtIndex(uint64_t index) const { return stringAndEntry(nullptr, index); }
  // Record index's string, its data copied into buffer when one is given. A bad index logs,
  // zeroes the buffer and answers no string.
  QString stringAndEntry(void* buffer, uint64_t index) const;
  // Case-insensitive. Unsorted: the first match, else index = count. Sorted: binary search, the
  // index being the match or the insertion point. An empty string is refused (index FLNotFound).
  bool findString(const QString& string, bool isSorted, uint64_t* index) const;
  void enumerateEntriesAndStringsUsingBlock(const StringEntryBlock& block);

  bool insertEntry(const void* data, const QString& string, uint64_t index);
  bool insertEntry(const void* data, uint64_t index) override;
  uint64_t addEntry(const void* data) override;
  uint64_t addEntry(const void* data, const QString& string);
  // Inserts at the string's sorted place, in front of an equal string already present.
  bool insertEntryWithSortedString(const void* data, const QString& string);
  void replaceEntryAtIndex(uint64_t index, const void* data) override;
  // No string deletes the record; index = count appends; past the count is refused.
  bool replaceEntry(const void* data, const QString& string, uint64_t index);
  void deleteEntryAtIndex(uint64_t index) override;
  void deleteAllEntries() override;
  // Stored records of another string array; their strings are copied. When a string cannot be
  // copied the array keeps the records copied so far and answers false.
  bool copyEntries(const void* entries, uint64_t count) override;
  // The base class's gap sort over (string, data); without a block, by string, case-insensitively.
  void sortStringEntriesWithContext(void* context, const StringCompareBlock& block);

  // Refused: the strings must stay paired with their records.
  void setCount(uint64_t count) override;
  void sortEntriesWithContext(void* context, const CompareBlock& block) override;
  void enumerateEntriesUsingBlock(const EntryBlock& block) override;

 protected:
  std::unique_ptr<FLArray> cloneArray() const override { return copy(); }

 private:
  // Each stored record starts with an owning pointer to its string (or nullptr).
  static constexpr uint64_t kStringSlotLength = 8;
  static_assert(sizeof(QString*) == kStringSlotLength);

  static QString* stringIn(const uint8_t* stored) {
    QString* string;
    std::memcpy(&string, stored, sizeof string);
    return string;
  }
  QString* stringOf(uint64_t index) const { return stringIn(record(index)); }
  void setStringOf(uint64_t index, QString* string) { std::memcpy(record(index), &string, sizeof string); }
  uint8_t* dataOf(uint64_t index) const { return record(index) + kStringSlotLength; }
  void releaseString(uint64_t index);
  void releaseAllStrings();
};
