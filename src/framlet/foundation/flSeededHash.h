// The hash tables the program fills from what it reads: the standard library's, keyed by Qt's hash
// functions seeded per process (so that no file can choose keys that collide). Not Qt's own hash
// tables: in Qt 6.4 their insertion is noexcept, and one that cannot get memory ends the program
// where the reading would have stopped and said why.
#pragma once

#include <QHashFunctions>
#include <QHashSeed>

#include <cstddef>
#include <unordered_map>
#include <unordered_set>

struct FLSeededHash {
  size_t seed = QHashSeed::globalSeed();
  template <class Key>
  size_t operator()(const Key& key) const {
    return qHash(key, seed);
  }
};

template <class Key, class Value>
using FLHashMap = std::unordered_map<Key, Value, FLSeededHash>;
template <class Key>
using FLHashSet = std::unordered_set<Key, FLSeededHash>;
