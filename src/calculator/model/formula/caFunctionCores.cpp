// Helpers shared by the function families.
#include "calculator/model/formula/caFunctionCores.h"

#include <cmath>

void TruncateTowardZero(CANumber& number) {
  // Every extended real of 2^63 or more is already a whole number; only smaller ones need the
  // truncation, which then fits 64 bits.
  if (number.form() == kNumberReal && !(std::fabs(number.realValue()) < kTwoTo63)) return;
  number.makeInteger();
}
