// What Qt's table of a text document's formats costs the formats a reading hands it, and how it
// is kept linear. Qt keeps every distinct format its text uses in one table, found by a hash that
// is the sum of a number for each property, where some kinds of value are numbered by their type
// alone (a list of font families, a list of anchor names) and the rest by their value. Formats
// whose hashes come out alike (faces that differ only by name; a text colour one higher where the
// background is one lower) are compared with one another at every lookup, so that a page of many
// of them would cost the square of their count. The table here mirrors Qt's hash and counts the
// formats it has been handed under each: a distinct format that would join kMostAlikeInQt others
// under one hash is given a property of its own (kQtHashSpreadProperty, which nothing reads) whose
// number moves it to a hash of its own, so that no lookup compares more than a few. What a lookup
// still costs (the comparisons Qt makes) is told, for the reading to count in its steps. Its own
// tables are keyed by a hash seeded per process.
#pragma once

#include "framlet/foundation/flSeededHash.h"

#include <QByteArray>
#include <QHash>
#include <QTextFormat>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// Qt's hash of a format (QTextFormatCollection's key), as Qt 6 makes it.
size_t QtFormatTableHash(const QTextFormat& format);

// The property that moves a format to a hash of its own; the most distinct formats one hash takes.
inline constexpr int kQtHashSpreadProperty = QTextFormat::UserProperty + 0x5d7;
inline constexpr int64_t kMostAlikeInQt = 16;

class GMQtFormatTable {
 public:
  // The hash of a format's whole serialised form that tells distinct formats apart before they
  // are compared (tests give one that makes them all alike).
  using WholeHash = size_t (*)(const QByteArray& serialized);
  static size_t SeededWholeHash(const QByteArray& serialized);
  explicit GMQtFormatTable(WholeHash wholeHash = &SeededWholeHash) : wholeHash_(wholeHash) {}

  // Readies the format to be handed to Qt (giving it kQtHashSpreadProperty where its hash holds
  // kMostAlikeInQt others), counts it as handed, and tells the comparisons Qt makes to find it:
  // the formats already handed to it that its hash cannot tell from this one, and one.
  int64_t handOver(QTextFormat& format);
  // The distinct formats handed to Qt so far.
  int64_t distinct() const { return distinct_; }

 private:
  // Qt's hash and a seeded hash of the whole format: one distinct format.
  struct Key {
    size_t qt = 0, whole = 0;
    bool operator==(const Key& other) const { return qt == other.qt && whole == other.whole; }
  };
  // The tables' own hash (FLSeededHash) of one distinct format.
  friend size_t qHash(const Key& key, size_t seed) { return qHashMulti(seed, key.qt, key.whole); }
  // A distinct format as handed over: its spread (0: none), and the hash it has in Qt.
  struct Handed {
    int spread = 0;
    size_t qt = 0;
  };
  // The formats seen under one key: two hashes that match are not yet the same format.
  struct Seen {
    QTextFormat format;
    Handed handed;
  };

  WholeHash wholeHash_;
  FLHashMap<size_t, int64_t> alike_;   // by Qt's hash: the distinct formats under it
  FLHashMap<size_t, int> nextSpread_;  // by a format's own hash: the spread its next alike one tries
  FLHashMap<Key, std::vector<Seen>> seen_;
  int64_t distinct_ = 0;
  // The last few formats handed over (a text uses a few formats over and over), as they came.
  struct Recent {
    QTextFormat format;
    Handed handed;
    bool used = false;
  };
  std::array<Recent, 8> recent_;
  size_t nextRecent_ = 0;
};
