// The one hash of every table that a file, a page or the clipboard fills: keyed by a secret drawn
// from the system's random source once in each process, so that no input can be written whose keys
// crowd one place of a table (a fixed hash lets a file choose cells, names or colours that all
// land on one chain, and every look-up then walks all of them).
#pragma once

#include <QByteArrayView>
#include <QHashFunctions>
#include <QString>
#include <QStringView>

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>

class QUrl;

// Four words of key: the first two enter a word or pair before it is mixed, the others after.
using FLHashKeys = std::array<uint64_t, 4>;

// This process's key, drawn on first use.
const FLHashKeys& ProcessHashKeys();
// One word of it, for Qt's seeded qHash where a table is Qt's own.
size_t ProcessHashSeed();

// The 128-bit product of two words folded to 64 bits: every bit of each word reaches the result.
inline uint64_t FoldedProduct(uint64_t a, uint64_t b) {
  const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
  return uint64_t(product) ^ uint64_t(product >> 64);
}

// Two words under a given key (tests pass their own; tables use the process's): keyed in one
// folded product, then spread over all 64 bits by a fixed mixer that loses nothing.
inline uint64_t SeededHashPair(uint64_t a, uint64_t b, const FLHashKeys& keys) {
  uint64_t h = FoldedProduct(a ^ keys[0], b ^ keys[1]) ^ keys[2];
  h = (h ^ (h >> 33)) * 0xFF51AFD7ED558CCDull;
  h = (h ^ (h >> 33)) * 0xC4CEB9FE1A85EC53ull;
  return (h ^ (h >> 33)) + keys[3];
}
inline uint64_t SeededHashPair(uint64_t a, uint64_t b) { return SeededHashPair(a, b, ProcessHashKeys()); }
inline uint64_t SeededHashWord(uint64_t a) { return SeededHashPair(a, 0x5851F42D4C957F2Dull); }

// SipHash-1-3 of the bytes under the process's key, with a word that tells kinds of key apart.
uint64_t SeededHashBytes(const void* data, size_t length, uint64_t tweak = 0);

// The hasher of every such table. Integers, texts, bytes and URLs are hashed here; a type of a
// higher layer gives a free function SeededHashOf(const T&) beside it, which is found by its
// argument (the grid point's and the reference table's keys do).
struct FLSeededHash {
  template <typename T>
    requires std::integral<T> || std::is_enum_v<T>
  size_t operator()(T value) const noexcept {
    return size_t(SeededHashWord(uint64_t(value)));
  }
  size_t operator()(QStringView text) const noexcept {
    return size_t(SeededHashBytes(text.data(), size_t(text.size()) * sizeof(QChar), 1));
  }
  size_t operator()(const QString& text) const noexcept { return (*this)(QStringView(text)); }
  size_t operator()(QByteArrayView bytes) const noexcept {
    return size_t(SeededHashBytes(bytes.data(), size_t(bytes.size()), 2));
  }
  size_t operator()(const QByteArray& bytes) const noexcept { return (*this)(QByteArrayView(bytes)); }
  // By its whole encoded text: Qt's own hash of a URL keys only its port.
  size_t operator()(const QUrl& url) const noexcept;
  template <typename T>
    requires requires(const T& key) {
      { SeededHashOf(key) } -> std::convertible_to<uint64_t>;
    }
  size_t operator()(const T& key) const noexcept {
    return size_t(SeededHashOf(key));
  }
  // Any other key Qt can hash, under the process's seed.
  template <typename T>
    requires(!std::integral<T> && !std::is_enum_v<T> && !std::is_convertible_v<const T&, QStringView> &&
             !std::is_convertible_v<const T&, QByteArrayView> && !std::is_same_v<T, QUrl> &&
             !requires(const T& key) { SeededHashOf(key); } &&
             requires(const T& key) { qHash(key, size_t(0)); })
  size_t operator()(const T& key) const noexcept {
    return size_t(qHash(key, ProcessHashSeed()));
  }
};

// The standard library's tables under that hash. Not Qt's own hash tables on a reading path: in Qt
// 6.4 their insertion is noexcept, and one that cannot get memory ends the program where the
// reading would have stopped and said why.
template <class Key, class Value>
using FLHashMap = std::unordered_map<Key, Value, FLSeededHash>;
template <class Key>
using FLHashSet = std::unordered_set<Key, FLSeededHash>;
