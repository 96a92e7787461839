// Record arrays keyed by a character position (cp) of a text-engine document: text pieces,
// knots, property runs, line tables. Records stay in ascending cp order and are found by binary
// search; an end record, never counted, holds the array's limit (maxCp).
#pragma once

#include "framlet/foundation/FLArray.h"

#include <cstdint>
#include <functional>
#include <memory>

class FLArrayCP : public FLArray {
 public:
  // Several records may share one cp; a search answers the first of them.
  static constexpr uint64_t kOptionSharedCps = 1;
  // An edit also moves the records that stand exactly at the edit's cp.
  static constexpr uint64_t kOptionMoveAtEditCp = 2;

  // Called with each record (the end record excluded); data is nullptr when the data length is 0.
  using CPEntryBlock = std::function<void(uint32_t cp, void* data, uint64_t index, bool& stop)>;

  // dataLength is the caller's part of a record (even, may be 0); room for initialAllocation
  // records besides the end record, at least 10 stored records. The base class's factories are
  // hidden by this one: a cp array always needs its maxCp and options.
  static std::unique_ptr<FLArrayCP> withEntrySize(uint64_t dataLength, uint64_t initialAllocation,
                                                  uint32_t maxCp, uint64_t options);
  FLArrayCP(Key key, uint64_t dataLength, uint64_t options)
      : FLArray(key, dataLength + kCpLength), options_(options) {}

  std::unique_ptr<FLArrayCP> copy() const;

  uint64_t count() const override { return usedCount_ - 1; }
  uint64_t entryLength() const override { return entryLength_ - kCpLength; }
  uint64_t options() const { return options_; }
  uint32_t maxCp() const { return cpOf(usedCount_ - 1); }

  // index may be count (maxCp); past it 0xFFFFFFFF.
  uint32_t cpAtIndex(uint64_t index) const;
  // Pointer to record index's data; a bad index logs and answers the last record's data.
  void* entryAtIndex(uint64_t index) override;
  void getEntry(void* buffer, uint64_t index) const override;
  // The record's cp, its data copied into buffer; a bad index logs, zeroes the buffer, answers 0.
  uint32_t cpGetEntry(void* buffer, uint64_t index) const;

  // The record whose stretch holds cp (count for maxCp itself); logs cps outside the array.
  uint64_t indexOfCp(uint32_t cp) const;
  uint64_t indexOfCp(uint32_t cp, uint32_t* actualCp) const;
  // Without logging: FLNotFound before the first record's cp and at or past maxCp.
  uint64_t indexOfCpSafe(uint32_t cp) const;
  // The first record at or after cp (may be count); FLNotFound past maxCp.
  uint64_t indexOfCpAfter(uint32_t cp) const;
  // That record's cp, or 0xFFFFFFFF (index FLNotFound) when there is none or it is the end record.
  uint32_t cpAfterCp(uint32_t cp, uint64_t* index) const;
  void enumerateEntriesAndCPsUsingBlock(const CPEntryBlock& block);

  // index may be count (just before the end record). Without data the data bytes are left for
  // the caller to fill.
  bool insertEntry(const void* data, uint64_t index, uint32_t cp);
  // Opens count records at index; their cps and data are the caller's to set.
  bool insertEntries(uint64_t count, uint64_t index);
  void replaceEntryAtIndex(uint64_t index, const void* data) override;
  // index may be count, which sets maxCp.
  void replaceCp(uint32_t cp, uint64_t index);
  void deleteEntryAtIndex(uint64_t index) override;
  void deleteEntries(uint64_t count, uint64_t index);
  void deleteAllEntries() override;
  void setMaxCp(uint32_t cp);
  void setCount(uint64_t count) override;
  // Only shrinks: record count becomes the end record with cp.
  void setCount(uint64_t count, uint32_t cp);
  // Adds delta to the cps from start (or, given FLNotFound, from the first record after cp) up
  // to and including the end record.
  void adjustCpsAfter(uint32_t cp, int32_t delta, uint64_t start);
  // Stored records, the end record among them.
  bool copyEntries(const void* entries, uint64_t count) override;

  // Refused on cp arrays: records go in by cp, and order is the cps'.
  uint64_t addEntry(const void* entry) override;
  bool insertEntry(const void* entry, uint64_t index) override;
  void enumerateEntriesUsingBlock(const EntryBlock& block) override;
  void sortEntriesWithContext(void* context, const CompareBlock& block) override;

 protected:
  std::unique_ptr<FLArray> cloneArray() const override { return copy(); }

 private:
  static constexpr uint64_t kCpLength = 4;

  // Stored records may sit at any even address, so cps are read and written bytewise.
  uint32_t cpOf(uint64_t stored) const {
    uint32_t cp;
    std::memcpy(&cp, record(stored), sizeof cp);
    return cp;
  }
  void setCpOf(uint64_t stored, uint32_t cp) { std::memcpy(record(stored), &cp, sizeof cp); }
  uint8_t* dataOf(uint64_t stored) const { return record(stored) + kCpLength; }
  void makeEndRecord(uint64_t stored, uint32_t cp);
  uint64_t search(uint32_t cp) const;

  uint64_t options_ = 0;
};
