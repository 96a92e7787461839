// String-keyed record arrays: ownership of the strings, case-insensitive search and the sorted
// insertion that keeps the style sheet in name order.
#include "framlet/foundation/FLArrayString.h"

#include <new>
#include <vector>

namespace {

constexpr const char* kUseAllEntriesUnsupported = "useAllEntries not supported for string arrays";
constexpr const char* kEmptyString = "Empty string";
constexpr const char* kIndexPastCount = "index > usedCount";
constexpr const char* kNotForStringArrays = "Not legal for string arrays";
constexpr const char* kNoSortOnStringArrays = "Don't do this on string arrays";
constexpr const char* kCopyFailedContext = "Copying a string of a string array failed";

// Makes the array's own copy of a string: nullptr for no string; false when out of memory.
bool NewString(const QString& string, std::unique_ptr<QString>& copy) {
  copy.reset();
  if (string.isNull()) return true;
  try {
    copy = std::make_unique<QString>(string);
  } catch (const std::bad_alloc& exception) {
    LogException(exception, QString::fromLatin1(kCopyFailedContext));
    return false;
  }
  return true;
}

int CompareStrings(const QString& a, const QString& b) { return QString::compare(a, b, Qt::CaseInsensitive); }

}  // namespace

std::unique_ptr<FLArrayString> FLArrayString::withEntrySize(uint64_t dataLength, uint64_t initialAllocation,
                                                            bool useAllEntries) {
  if (useAllEntries) FLAssert(false, kUseAllEntriesUnsupported);
  if (dataLength % 2 != 0 || dataLength > UINT64_MAX - kStringSlotLength) {
    FLAssert(false, kBadLengthMessage);
    return nullptr;
  }
  auto array = std::make_unique<FLArrayString>(Key(), dataLength);
  if (!array->allocateBlock(std::max<uint64_t>(initialAllocation, 10))) return nullptr;
  return array;
}

FLArrayString::~FLArrayString() { releaseAllStrings(); }

std::unique_ptr<FLArrayString> FLArrayString::copy() const {
  auto array = std::make_unique<FLArrayString>(Key(), entryLength());
  if (!array->allocateBlock(allocatedCount_)) return nullptr;
  if (usedCount_ && !array->copyEntries(record(0), usedCount_)) return nullptr;
  return array;
}

void FLArrayString::releaseString(uint64_t index) {
  std::default_delete<QString>()(stringOf(index));
  setStringOf(index, nullptr);
}

void FLArrayString::releaseAllStrings() {
  for (uint64_t index = 0; index < usedCount_; ++index) releaseString(index);
}

void* FLArrayString::entryAtIndex(uint64_t index) {
  if (index >= usedCount_ && !(index == 0 && usedCount_ == 0)) {
    FLAssert(false, kBadIndexMessage);
    index = usedCount_ ? usedCount_ - 1 : 0;
  }
  return entryLength() ? dataOf(index) : nullptr;
}

void FLArrayString::getEntry(void* buffer, uint64_t index) const { stringAndEntry(buffer, index); }

QString FLArrayString::stringAndEntry(void* buffer, uint64_t index) const {
  if (index >= usedCount_) {
    FLAssert(false, kBadIndexMessage);
    if (buffer) std::memset(buffer, 0, size_t(entryLength()));
    return QString();
  }
  if (buffer) std::memcpy(buffer, dataOf(index), size_t(entryLength()));
  const QString* string = stringOf(index);
  return string ? *string : QString();
}

bool FLArrayString::findString(const QString& string, bool isSorted, uint64_t* index) const {
  uint64_t place = 0;
  bool found = false;
  if (string.isEmpty()) {
    FLAssert(false, kEmptyString);
    place = FLNotFound;
  } else if (!isSorted) {
    place = usedCount_;
    for (uint64_t i = 0; i < usedCount_; ++i) {
      const QString* candidate = stringOf(i);
      if (candidate && CompareStrings(string, *candidate) == 0) {
        place = i;
        found = true;
        break;
      }
    }
  } else {
    uint64_t low = 0;
    uint64_t high = usedCount_;
    while (low < high) {
      const uint64_t middle = (low + high) / 2;
      const QString* candidate = stringOf(middle);
      // A record without a string sorts before every string.
      const int order = candidate ? CompareStrings(string, *candidate) : 1;
      if (order < 0) {
        high = middle;
      } else if (order == 0) {
        low = high = middle;
        found = true;
      } else {
        low = middle + 1;
      }
    }
    place = low;
  }
  if (index) *index = place;
  return found;
}

void FLArrayString::enumerateEntriesAndStringsUsingBlock(const StringEntryBlock& block) {
  if (!block) return;
  static const QString kNoString;
  bool stop = false;
  for (uint64_t index = 0; index < usedCount_ && !stop; ++index) {
    const QString* string = stringOf(index);
    block(string ? *string : kNoString, entryLength() ? dataOf(index) : nullptr, index, stop);
  }
}

bool FLArrayString::insertEntry(const void* data, const QString& string, uint64_t index) {
  std::unique_ptr<QString> copy;
  if (!NewString(string, copy)) return false;
  if (!insertRecordWith(index, data, kStringSlotLength, entryLength())) return false;
  setStringOf(index, copy.release());
  return true;
}

bool FLArrayString::insertEntry(const void* data, uint64_t index) { return insertEntry(data, QString(), index); }

uint64_t FLArrayString::addEntry(const void* data) { return addEntry(data, QString()); }

uint64_t FLArrayString::addEntry(const void* data, const QString& string) {
  const uint64_t index = usedCount_;
  return insertEntry(data, string, index) ? index : FLNotFound;
}

bool FLArrayString::insertEntryWithSortedString(const void* data, const QString& string) {
  uint64_t index = FLNotFound;
  findString(string, true, &index);
  return insertEntry(data, string, index);
}

void FLArrayString::replaceEntryAtIndex(uint64_t index, const void* data) {
  if (index >= usedCount_) {
    FLAssert(false, kBadIndexMessage);
    return;
  }
  if (data && entryLength()) std::memmove(dataOf(index), data, size_t(entryLength()));
}

bool FLArrayString::replaceEntry(const void* data, const QString& string, uint64_t index) {
  if (index > usedCount_) {
    FLAssert(false, kIndexPastCount);
    return false;
  }
  if (string.isNull()) {
    if (index == usedCount_) {
      // Nothing to delete there: say so rather than report a deletion that did not happen.
      FLAssert(false, kBadIndexMessage);
      return false;
    }
    deleteEntryAtIndex(index);
    return true;
  }
  if (index == usedCount_) return addEntry(data, string) != FLNotFound;
  std::unique_ptr<QString> copy;
  if (!NewString(string, copy)) return false;
  releaseString(index);
  setStringOf(index, copy.release());
  if (data && entryLength()) std::memmove(dataOf(index), data, size_t(entryLength()));
  return true;
}

void FLArrayString::deleteEntryAtIndex(uint64_t index) {
  if (index >= usedCount_) {
    FLAssert(false, kBadIndexMessage);
    return;
  }
  releaseString(index);
  removeRecords(index, 1);
}

void FLArrayString::deleteAllEntries() {
  releaseAllStrings();
  usedCount_ = 0;
}

bool FLArrayString::copyEntries(const void* entries, uint64_t count) {
  if (count == 0) {
    deleteAllEntries();
    return true;
  }
  if (!entries || count > UINT64_MAX / entryLength_) return false;
  // Our own records may be the source: take their bytes aside before our strings go.
  std::vector<uint8_t> aside;
  const auto* source = static_cast<const uint8_t*>(entries);
  if (liesInBlock(source)) {
    aside.assign(source, source + count * entryLength_);
    source = aside.data();
  }
  if (count > allocatedCount_ && !growTo(count)) return false;

  std::vector<std::unique_ptr<QString>> copies;
  copies.reserve(size_t(count));
  for (uint64_t i = 0; i < count; ++i) {
    const QString* string = stringIn(source + i * entryLength_);
    std::unique_ptr<QString> copy;
    if (string && !NewString(*string, copy)) break;
    copies.push_back(std::move(copy));
  }
  const uint64_t copied = copies.size();

  releaseAllStrings();
  if (copied) std::memcpy(record(0), source, size_t(copied * entryLength_));
  usedCount_ = copied;
  for (uint64_t i = 0; i < copied; ++i) setStringOf(i, copies[i].release());
  return copied == count;
}

void FLArrayString::sortStringEntriesWithContext(void* context, const StringCompareBlock& block) {
  static const QString kNoString = QString::fromLatin1("");
  const bool hasData = entryLength() != 0;
  shellSort([&](const uint8_t* first, const uint8_t* second) {
    const QString* a = stringIn(first);
    const QString* b = stringIn(second);
    const QString& stringA = a ? *a : kNoString;
    const QString& stringB = b ? *b : kNoString;
    if (!block) return CompareStrings(stringA, stringB) > 0 ? 1 : -1;
    return block(stringA, hasData ? first + kStringSlotLength : nullptr, stringB,
                 hasData ? second + kStringSlotLength : nullptr, context);
  });
}

void FLArrayString::setCount(uint64_t) { FLAssert(false, kNotForStringArrays); }

void FLArrayString::sortEntriesWithContext(void*, const CompareBlock&) { FLAssert(false, kNoSortOnStringArrays); }

void FLArrayString::enumerateEntriesUsingBlock(const EntryBlock&) { FLAssert(false, ""); }
