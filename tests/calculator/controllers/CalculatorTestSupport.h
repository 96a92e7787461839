// What the calculator tests share: beeps counted instead of sounded, the shared memory and the
// calculator preferences reset for each case, and keys typed as text.
#pragma once

#include "calculator/controllers/CACalculatorEngine.h"
#include "calculator/controllers/caCalculatorPreferences.h"
#include "calculator/model/caModelServices.h"

#include <gtest/gtest.h>

#include <QString>

class CalculatorTest : public testing::Test {
 protected:
  CalculatorTest() {
    CAModelHooks hooks;
    hooks.beep = [this] { ++beeps; };
    SetModelHooks(std::move(hooks));
    SetCalculatorPreferenceHooks({});
    SetCalculatorPreferences(CACalculatorPreferences());
    CACalculatorEngine::resetSharedMemory();
    CACalculatorEngine::setMemory(CANumber());
  }
  ~CalculatorTest() override {
    SetModelHooks(CAModelHooks());
    SetCalculatorPreferences(CACalculatorPreferences());
  }

  // Each character through handleCharacter; false when one was refused.
  static bool type(CACalculatorEngine& engine, const QString& keys) {
    bool all = true;
    for (const QChar c : keys) all = engine.handleCharacter(c.unicode()) && all;
    return all;
  }

  int beeps = 0;
};

inline CANumber Exact(int64_t numerator, uint64_t denominator = 1) {
  return CANumber::withNumerator(numerator, denominator);
}

inline void PrintTo(const CANumber& number, std::ostream* os) { *os << number.archive().toStdString(); }
