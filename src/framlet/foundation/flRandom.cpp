// The ISAAC generator behind RandomNumber, and its seeding from the clock.
#include "framlet/foundation/flRandom.h"

#include "framlet/foundation/flBase.h"

#include <cmath>
#include <cstdlib>
#include <ctime>

namespace {

constexpr const char* kRandomLimitIsZero = "Random limit is zero";
constexpr uint32_t kGoldenRatio = 0x9e3779b9;
// 1 January 2001, the platform's reference date, in Unix time.
constexpr std::time_t kReferenceDate = 978307200;

void MixVector(uint32_t (&v)[8]) {
  uint32_t& a = v[0];
  uint32_t& b = v[1];
  uint32_t& c = v[2];
  uint32_t& d = v[3];
  uint32_t& e = v[4];
  uint32_t& f = v[5];
  uint32_t& g = v[6];
  uint32_t& h = v[7];
  a ^= b << 11; d += a; b += c;
  b ^= c >> 2;  e += b; c += d;
  c ^= d << 8;  f += c; d += e;
  d ^= e >> 16; g += d; e += f;
  e ^= f << 10; h += e; f += g;
  f ^= g >> 4;  a += f; g += h;
  g ^= h << 8;  b += g; h += a;
  h ^= a >> 9;  c += h; a += b;
}

struct ProcessGenerator {
  IsaacGenerator generator;
  bool seeded = false;
};

ProcessGenerator& SharedGenerator() {
  static ProcessGenerator shared;
  return shared;
}

}  // namespace

void IsaacGenerator::seed(const Words& seedWords) {
  accumulator_ = lastResult_ = counter_ = 0;
  uint32_t v[8];
  for (uint32_t& word : v) word = kGoldenRatio;
  for (int i = 0; i < 4; ++i) MixVector(v);
  // Two passes, so every seed word affects every word of the memory.
  for (const Words* source : {&seedWords, static_cast<const Words*>(&memory_)}) {
    for (size_t i = 0; i < kSize; i += 8) {
      for (size_t k = 0; k < 8; ++k) v[k] += (*source)[i + k];
      MixVector(v);
      for (size_t k = 0; k < 8; ++k) memory_[i + k] = v[k];
    }
  }
  generateNumbers();
}

void IsaacGenerator::generateNumbers() {
  uint32_t a = accumulator_;
  uint32_t b = lastResult_ + ++counter_;
  for (size_t i = 0; i < kSize; ++i) {
    const uint32_t x = memory_[i];
    switch (i & 3) {
      case 0: a ^= a << 13; break;
      case 1: a ^= a >> 6; break;
      case 2: a ^= a << 2; break;
      default: a ^= a >> 16; break;
    }
    a += memory_[(i + kSize / 2) % kSize];
    const uint32_t y = memory_[(x >> 2) % kSize] + a + b;
    memory_[i] = y;
    b = memory_[(y >> 10) % kSize] + x;
    results_[i] = b;
  }
  accumulator_ = a;
  lastResult_ = b;
  nextIndex_ = 0;
}

uint32_t IsaacGenerator::nextResult() {
  if (nextIndex_ >= kSize) generateNumbers();
  return results_[nextIndex_++];
}

IsaacGenerator::Words RandomSeedWords(uint32_t seconds) {
  srandom(seconds);
  IsaacGenerator::Words words{};
  for (uint32_t& word : words) {
    const uint64_t earlier = uint64_t(random()) & 0xFFFFFF;
    const uint64_t later = uint64_t(random()) & 0xF0FFF;
    word = uint32_t(later * earlier);
  }
  return words;
}

uint32_t ScaleRandomNumber(uint32_t result, uint32_t limit) {
  if (limit == 0) return 0;
  const double scaled = std::floor(double(result) / (4294967295.0 / double(limit)));
  // Only the largest result reaches the limit itself.
  return scaled >= double(limit) ? limit - 1 : uint32_t(scaled);
}

bool RandomNumberIsSeeded() { return SharedGenerator().seeded; }

uint32_t RandomNumber(uint32_t limit) {
  if (limit == 1) return 0;
  if (limit == 0) {
    FLAssert(false, kRandomLimitIsZero);
    return 0;
  }
  ProcessGenerator& shared = SharedGenerator();
  if (!shared.seeded) {
    const std::time_t now = std::time(nullptr);
    shared.generator.seed(RandomSeedWords(uint32_t(now - kReferenceDate)));
    shared.seeded = true;
  }
  return ScaleRandomNumber(shared.generator.nextResult(), limit);
}
