// Random integers for the sheet's RAND and RANDBETWEEN from one process-wide ISAAC generator
// (32-bit words, 256 results a round), seeded from the clock on first use. Not for secrets.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// An integer in 0 to limit - 1. A limit of 1 answers 0 without touching the generator; a limit
// of 0 is logged and answers 0. Main thread only: the generator is not locked.
uint32_t RandomNumber(uint32_t limit);

// Whether RandomNumber has seeded the process-wide generator yet.
bool RandomNumberIsSeeded();

// The generator itself, kept apart from the process-wide instance so that its rounds can be
// checked against the published output of the algorithm.
class IsaacGenerator {
 public:
  static constexpr size_t kSize = 256;
  using Words = std::array<uint32_t, kSize>;

  // ISAAC's standard initialisation over the seed words, then one round of results.
  void seed(const Words& seedWords);
  // One round: refills the 256 results and starts handing them out from the first.
  void generateNumbers();
  // The next unused result, running a new round when all have been used.
  uint32_t nextResult();
  const Words& results() const { return results_; }

 private:
  Words results_{};
  Words memory_{};
  uint32_t accumulator_ = 0;
  uint32_t lastResult_ = 0;
  uint32_t counter_ = 0;
  size_t nextIndex_ = 0;
};

// The seed words drawn from the C library's generator after srandom(seconds): each is
// (random() & 0xF0FFF) * (an earlier random() & 0xFFFFFF), kept to 32 bits.
IsaacGenerator::Words RandomSeedWords(uint32_t seconds);

// Scales a 32-bit result to 0 ... limit - 1 as floor(r / (4294967295.0 / limit)).
uint32_t ScaleRandomNumber(uint32_t result, uint32_t limit);
