// What Qt's table of a text document's formats costs the formats a reading hands it. Qt keeps
// every distinct format its text uses in one table, found by a hash that is the sum of a number
// for each property, where some kinds of value are numbered by their type alone (a list of font
// families, a list of anchor names) and the rest by their value. Formats whose hashes come out
// alike (faces that differ only by name; a text colour one higher where the background is one
// lower) are compared with one another at every lookup, so that a page of many of them costs the
// square of their count. The table here mirrors Qt's hash, counts the formats it has been handed
// under each, and tells a lookup's cost (the comparisons Qt makes) before the lookup is made, so
// that the reading charges it to its steps. Its own table is keyed by a hash seeded per process.
#pragma once

#include <QHash>
#include <QTextFormat>

#include <array>
#include <cstddef>
#include <cstdint>

// Qt's hash of a format (QTextFormatCollection's key), as Qt 6 makes it.
size_t QtFormatTableHash(const QTextFormat& format);

class GMQtFormatTable {
 public:
  // The comparisons Qt makes to find the format in its table (the formats already handed to it
  // that its hash cannot tell from this one), and one; the format is counted as handed to Qt.
  int64_t lookupCost(const QTextFormat& format);
  // The distinct formats handed to Qt so far.
  int64_t distinct() const { return distinct_; }

 private:
  // Qt's hash and a seeded hash of the whole format: one distinct format.
  struct Key {
    size_t qt = 0, whole = 0;
    bool operator==(const Key& other) const { return qt == other.qt && whole == other.whole; }
  };
  friend size_t qHash(const Key& key, size_t seed) { return qHashMulti(seed, key.qt, key.whole); }

  QHash<size_t, int64_t> alike_;  // by Qt's hash: the distinct formats under it
  QHash<Key, bool> seen_;
  int64_t distinct_ = 0;
  // The last few formats looked up (a text uses a few formats over and over), with their Qt hash.
  struct Recent {
    QTextFormat format;
    size_t qt = 0;
    bool used = false;
  };
  std::array<Recent, 8> recent_;
  size_t nextRecent_ = 0;
};
