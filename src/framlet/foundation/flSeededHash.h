// The one hash of every table that a file, a page or the clipboard fills: keyed by a secret drawn
// from the system's random source once in each process, so that no input can be written whose keys
// crowd one place of a table (a fixed hash lets a file choose cells, names or colours that all
// land on one chain, and every look-up then walks all of them).
#pragma once

#include <QByteArrayView>
#include <QHashFunctions>
#include <QString>
#include <QStringView>
#include <QList>

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <utility>
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

// Such a table with the few calls of Qt's that the document's tables are used through (a value
// or an empty one, contains, insert, remove, keys), walked by its values as Qt's are.
template <class Key, class Value>
class FLKeyedTable {
  using Map = FLHashMap<Key, Value>;

 public:
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Value;
    using difference_type = std::ptrdiff_t;
    using pointer = const Value*;
    using reference = const Value&;
    const_iterator() = default;
    explicit const_iterator(typename Map::const_iterator at) : at_(at) {}
    const Value& operator*() const { return at_->second; }
    const Value* operator->() const { return &at_->second; }
    const Key& key() const { return at_->first; }
    const_iterator& operator++() {
      ++at_;
      return *this;
    }
    const_iterator operator++(int) { return const_iterator(at_++); }
    bool operator==(const const_iterator& other) const { return at_ == other.at_; }

   private:
    typename Map::const_iterator at_;
  };

  const_iterator begin() const { return const_iterator(map_.cbegin()); }
  const_iterator end() const { return const_iterator(map_.cend()); }
  const_iterator find(const Key& key) const { return const_iterator(map_.find(key)); }

  Value value(const Key& key) const {
    const auto found = map_.find(key);
    return found == map_.end() ? Value() : found->second;
  }
  bool contains(const Key& key) const { return map_.find(key) != map_.end(); }
  void insert(const Key& key, Value value) { map_.insert_or_assign(key, std::move(value)); }
  bool remove(const Key& key) { return map_.erase(key) != 0; }
  // The value under the key, taken out of the table (an empty one when there is none).
  Value take(const Key& key) {
    const auto found = map_.find(key);
    if (found == map_.end()) return Value();
    Value value = std::move(found->second);
    map_.erase(found);
    return value;
  }
  void clear() { map_.clear(); }
  qsizetype size() const { return qsizetype(map_.size()); }
  bool isEmpty() const { return map_.empty(); }
  bool empty() const { return map_.empty(); }
  QList<Key> keys() const {
    QList<Key> keys;
    keys.reserve(size());
    for (const auto& entry : map_) keys.push_back(entry.first);
    return keys;
  }

 private:
  Map map_;
};
