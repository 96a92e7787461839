#include "framlet/foundation/flSeededHash.h"

#include <QRandomGenerator>
#include <QUrl>

#include <cstring>

namespace {

FLHashKeys DrawKeys() {
  FLHashKeys keys{};
  QRandomGenerator* source = QRandomGenerator::system();
  for (uint64_t& key : keys) {
    // A zero word would let one key value pass a pair's first word unmixed.
    do key = source->generate64();
    while (key == 0);
  }
  return keys;
}

inline uint64_t Rotate(uint64_t x, int bits) { return (x << bits) | (x >> (64 - bits)); }

struct SipState {
  uint64_t v0, v1, v2, v3;
  void round() {
    v0 += v1;
    v1 = Rotate(v1, 13) ^ v0;
    v0 = Rotate(v0, 32);
    v2 += v3;
    v3 = Rotate(v3, 16) ^ v2;
    v0 += v3;
    v3 = Rotate(v3, 21) ^ v0;
    v2 += v1;
    v1 = Rotate(v1, 17) ^ v2;
    v2 = Rotate(v2, 32);
  }
  void absorb(uint64_t word) {
    v3 ^= word;
    round();
    v0 ^= word;
  }
};

}  // namespace

const FLHashKeys& ProcessHashKeys() {
  static const FLHashKeys keys = DrawKeys();
  return keys;
}

size_t ProcessHashSeed() { return size_t(ProcessHashKeys()[2]); }

uint64_t SeededHashBytes(const void* data, size_t length, uint64_t tweak) {
  const FLHashKeys& keys = ProcessHashKeys();
  const uint64_t k0 = keys[0] ^ tweak;
  const uint64_t k1 = keys[1];
  SipState s{k0 ^ 0x736f6d6570736575ull, k1 ^ 0x646f72616e646f6dull, k0 ^ 0x6c7967656e657261ull,
             k1 ^ 0x7465646279746573ull};
  const auto* bytes = static_cast<const unsigned char*>(data);
  const size_t whole = length & ~size_t(7);
  for (size_t i = 0; i < whole; i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes + i, 8);
    s.absorb(word);
  }
  uint64_t last = uint64_t(length & 0xFF) << 56;
  for (size_t i = whole; i < length; ++i) last |= uint64_t(bytes[i]) << (8 * (i - whole));
  s.absorb(last);
  s.v2 ^= 0xFF;
  s.round();
  s.round();
  s.round();
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

size_t FLSeededHash::operator()(const QUrl& url) const noexcept {
  return (*this)(url.toEncoded());
}
