// Tables of records kept in ascending character-position order: knots, property runs, chapter,
// bookmark, list and table positions and the other cp-keyed tables of an engine document. Edits
// drop the records of a replaced stretch and shift the later ones.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

inline constexpr uint32_t kGMNone = 0xFFFFFFFF;

struct GMNoData {};

template <typename T>
class GMCpTable {
 public:
  struct Entry {
    uint32_t cp;
    T data;
  };

  // moveAtEditCp: a record that lies exactly at an insertion point moves with the new text.
  explicit GMCpTable(bool moveAtEditCp = true) : moveAtEditCp_(moveAtEditCp) {}

  uint32_t count() const { return uint32_t(entries_.size()); }
  bool empty() const { return entries_.empty(); }
  uint32_t cpAt(uint32_t index) const { return entries_[index].cp; }
  T& at(uint32_t index) { return entries_[index].data; }
  const T& at(uint32_t index) const { return entries_[index].data; }
  Entry& entry(uint32_t index) { return entries_[index]; }
  const Entry& entry(uint32_t index) const { return entries_[index]; }
  const std::vector<Entry>& entries() const { return entries_; }
  // Changes whenever records are inserted or removed (not when cps shift), so that caches keyed
  // by record index know when to rebuild.
  uint64_t version() const { return version_; }
  // The lowest record index inserted or removed since the table was at the version (records
  // below it are as they were then); 0 when that is not known. A cache that rebuilds from there
  // calls changesSeen() afterwards.
  uint32_t lowestChangeSince(uint64_t version) const { return version == seenVersion_ ? lowestChange_ : 0; }
  void changesSeen() {
    seenVersion_ = version_;
    lowestChange_ = count();
  }

  // The record whose stretch holds cp (the last one at or before it), or kGMNone.
  uint32_t indexOfCp(uint32_t cp) const {
    // At or past the last record (where text is mostly added) without a search.
    if (!entries_.empty() && entries_.back().cp <= cp) return count() - 1;
    const auto [first, limit] = SearchStretch([cp](const Entry& e) { return e.cp > cp; });
    auto it = std::upper_bound(entries_.begin() + first, entries_.begin() + limit, cp,
                               [](uint32_t value, const Entry& e) { return value < e.cp; });
    if (it == entries_.begin()) return kGMNone;
    return uint32_t(it - entries_.begin() - 1);
  }
  // The first record at or after cp; count() when there is none.
  uint32_t indexOfCpAfter(uint32_t cp) const {
    if (entries_.empty() || entries_.back().cp < cp) return count();
    const auto [first, limit] = SearchStretch([cp](const Entry& e) { return e.cp >= cp; });
    auto it = std::lower_bound(entries_.begin() + first, entries_.begin() + limit, cp,
                               [](const Entry& e, uint32_t value) { return e.cp < value; });
    return uint32_t(it - entries_.begin());
  }
  // indexOfCp and indexOfCpAfter for a walk through the text: the answer of the last lookup as
  // the hint, tried first with the few records after it, before a search.
  uint32_t indexOfCpNear(uint32_t cp, uint32_t hint) const {
    const size_t count = entries_.size();
    if (hint >= count || entries_[hint].cp > cp) return indexOfCp(cp);
    for (size_t steps = 0; steps < kNearSteps; ++steps, ++hint)
      if (hint + 1 == count || entries_[hint + 1].cp > cp) return hint;
    return indexOfCp(cp);
  }
  uint32_t indexOfCpAfterNear(uint32_t cp, uint32_t hint) const {
    const size_t count = entries_.size();
    if (hint > count || (hint > 0 && entries_[hint - 1].cp >= cp)) return indexOfCpAfter(cp);
    for (size_t steps = 0; steps < kNearSteps; ++steps, ++hint)
      if (hint == count || entries_[hint].cp >= cp) return hint;
    return indexOfCpAfter(cp);
  }
  uint32_t indexAtCpNear(uint32_t cp, uint32_t hint) const {
    const uint32_t index = indexOfCpAfterNear(cp, hint);
    return index < count() && entries_[index].cp == cp ? index : kGMNone;
  }
  // The record exactly at cp, or kGMNone.
  uint32_t indexAtCp(uint32_t cp) const {
    const uint32_t index = indexOfCpAfter(cp);
    return index < count() && entries_[index].cp == cp ? index : kGMNone;
  }

  void insert(uint32_t index, uint32_t cp, const T& data) {
    entries_.insert(entries_.begin() + index, Entry{cp, data});
    ++version_;
    lowestChange_ = std::min(lowestChange_, index);
  }
  // Inserts in cp order, after the records already at cp.
  uint32_t insertSorted(uint32_t cp, const T& data) {
    const uint32_t index = indexOfCpAfter(cp + 1);
    insert(index, cp, data);
    return index;
  }
  void erase(uint32_t index, uint32_t n = 1) {
    entries_.erase(entries_.begin() + index, entries_.begin() + index + n);
    ++version_;
    lowestChange_ = std::min(lowestChange_, index);
  }
  void clear() {
    entries_.clear();
    ++version_;
    lowestChange_ = 0;
  }

  // Drops the records in [first, limit) (keeping record 0 when keepFirst); true when any went.
  bool eraseRange(uint32_t first, uint32_t limit, bool keepFirst = false) {
    if (limit <= first) return false;
    uint32_t from = indexOfCpAfter(first);
    if (keepFirst && from == 0) from = 1;
    const uint32_t to = std::max(from, indexOfCpAfter(limit));
    if (to == from) return false;
    erase(from, to - from);
    return true;
  }
  // Shifts the records after an edit of [first, limit) by delta; the records inside the edit
  // must already be gone.
  void shiftAfterEdit(uint32_t first, uint32_t limit, int64_t delta) {
    if (delta == 0) return;
    const uint32_t from = moveAtEditCp_ ? std::max(first, limit) : std::max(first + 1, limit);
    for (uint32_t i = indexOfCpAfter(from); i < count(); ++i)
      entries_[i].cp = uint32_t(int64_t(entries_[i].cp) + delta);
  }
  // The common edit adjustment: drop, then shift.
  bool adjustForEdit(uint32_t first, uint32_t limit, int64_t delta, bool keepFirst = false) {
    const bool dropped = eraseRange(first, limit, keepFirst);
    shiftAfterEdit(first, limit, delta);
    return dropped;
  }

 private:
  static constexpr size_t kNearSteps = 4;
  // The stretch [first, limit) of records that holds the first record passing `after` (the last
  // record passes): records are looked up mostly near the end, so the last few are tried first.
  template <typename After>
  std::pair<size_t, size_t> SearchStretch(After after) const {
    constexpr size_t kNearEnd = 32;
    const size_t count = entries_.size();
    if (count <= kNearEnd + 1) return {0, count};
    const size_t probe = count - 1 - kNearEnd;
    return after(entries_[probe]) ? std::pair<size_t, size_t>{0, probe + 1} : std::pair<size_t, size_t>{probe + 1, count};
  }
  std::vector<Entry> entries_;
  uint64_t version_ = 0;
  uint64_t seenVersion_ = ~uint64_t(0);
  uint32_t lowestChange_ = 0;
  bool moveAtEditCp_;
};
