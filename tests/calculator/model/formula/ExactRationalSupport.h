// Exact rational sums worked with GMP, to judge the program's sums by: a sum must be the exact
// number where that is one of CANumber's exact forms, and the real nearest to it otherwise.
#pragma once

#include "calculator/model/CANumber.h"

#include <gmp.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

// An exact rational that frees itself.
struct ExactRational {
  ExactRational() { mpq_init(q); }
  ExactRational(const ExactRational& other) {
    mpq_init(q);
    mpq_set(q, other.q);
  }
  ExactRational& operator=(const ExactRational& other) {
    mpq_set(q, other.q);
    return *this;
  }
  ~ExactRational() { mpq_clear(q); }

  // Adds an integer, a fraction or a real, each exactly.
  void add(const CANumber& number) {
    ExactRational term = Of(number);
    mpq_add(q, q, term.q);
  }

  // A number as an exact rational: a real's mantissa over its power of two.
  static ExactRational Of(const CANumber& number) {
    ExactRational r;
    if (number.form() == kNumberInteger || number.form() == kNumberFraction) {
      mpz_set_si(mpq_numref(r.q), number.numerator());
      mpz_set_ui(mpq_denref(r.q), number.form() == kNumberInteger ? 1 : number.denominator());
      mpq_canonicalize(r.q);
      return r;
    }
    Real(number.realValue(), r.q);
    return r;
  }

  static void Real(long double value, mpq_t out) {
    int exponent = 0;
    const long double fraction = std::frexp(std::fabs(value), &exponent);
    mpz_set_ui(mpq_numref(out), static_cast<unsigned long>(std::ldexp(fraction, 64)));
    mpz_set_ui(mpq_denref(out), 1);
    if (exponent - 64 >= 0)
      mpq_mul_2exp(out, out, exponent - 64);
    else
      mpq_div_2exp(out, out, 64 - exponent);
    if (value < 0) mpq_neg(out, out);
  }

  mpq_t q;
};

// Whether `got` is the exact sum where that fits the exact forms (a 64-bit numerator over a
// denominator of at most 63 bits), else the extended real nearest to it, in whatever form holds
// that real exactly. A sum with reals among its terms is that nearest real even where the exact
// sum fits the exact forms.
inline ::testing::AssertionResult IsExactOrNearest(const CANumber& got, const ExactRational& exact,
                                                   bool realTerms = false) {
  const bool fits = mpz_sizeinbase(mpq_denref(exact.q), 2) <= 63 && mpz_fits_slong_p(mpq_numref(exact.q));
  if (fits && !realTerms) {
    const int64_t n = mpz_get_si(mpq_numref(exact.q));
    const uint64_t d = mpz_get_ui(mpq_denref(exact.q));
    const bool same = d == 1 ? got.form() == kNumberInteger && got.numerator() == n
                             : got.form() == kNumberFraction && got.numerator() == n && got.denominator() == d;
    if (same) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << got.description().toStdString() << " is not " << n << "/" << d;
  }
  if (got.form() > kNumberReal) return ::testing::AssertionFailure() << got.description().toStdString() << " is no number";
  const long double value = got.realValue();
  ExactRational held = ExactRational::Of(got);
  ExactRational error;
  ExactRational::Real(value, error.q);
  if (!mpq_equal(held.q, error.q))
    return ::testing::AssertionFailure() << got.description().toStdString() << " is no extended real";
  mpq_sub(error.q, error.q, exact.q);
  mpq_abs(error.q, error.q);
  for (const long double neighbour : {std::nextafter(value, -HUGE_VALL), std::nextafter(value, HUGE_VALL)}) {
    ExactRational other;
    ExactRational::Real(neighbour, other.q);
    mpq_sub(other.q, other.q, exact.q);
    mpq_abs(other.q, other.q);
    if (mpq_cmp(other.q, error.q) < 0)
      return ::testing::AssertionFailure() << got.description().toStdString() << " is not the real nearest to "
                                           << mpq_get_d(exact.q);
  }
  return ::testing::AssertionSuccess();
}

// The extended real nearest to a rational (64 bits of mantissa, ties to the even one), worked in
// integers.
inline ExactRational NearestReal(const ExactRational& x) {
  ExactRational result;
  if (mpq_sgn(x.q) == 0) return result;
  mpz_t num, den, q, r;
  mpz_inits(num, den, q, r, nullptr);
  mpz_abs(num, mpq_numref(x.q));
  mpz_set(den, mpq_denref(x.q));
  // The quotient num / den · 2^-k with 64 bits.
  long k = long(mpz_sizeinbase(num, 2)) - long(mpz_sizeinbase(den, 2)) - 64;
  for (;;) {
    mpz_abs(num, mpq_numref(x.q));
    mpz_set(den, mpq_denref(x.q));
    if (k < 0) mpz_mul_2exp(num, num, mp_bitcnt_t(-k));
    if (k > 0) mpz_mul_2exp(den, den, mp_bitcnt_t(k));
    mpz_tdiv_qr(q, r, num, den);
    const size_t bits = mpz_sizeinbase(q, 2);
    if (bits > 64) ++k;
    else if (bits < 64) --k;
    else break;
  }
  mpz_mul_2exp(r, r, 1);
  const int half = mpz_cmp(r, den);
  if (half > 0 || (half == 0 && mpz_odd_p(q))) mpz_add_ui(q, q, 1);
  mpq_set_z(result.q, q);
  if (k > 0) mpq_mul_2exp(result.q, result.q, mp_bitcnt_t(k));
  if (k < 0) mpq_div_2exp(result.q, result.q, mp_bitcnt_t(-k));
  if (mpq_sgn(x.q) < 0) mpq_neg(result.q, result.q);
  mpz_clears(num, den, q, r, nullptr);
  return result;
}

// What a sum of the terms is to be, worked apart: while the least common multiple of the whole
// numbers' and fractions' denominators stays below 2^bits, their exact sum (with the reals); past
// it, the sum of those terms each rounded to the nearest extended real. Either is then rounded
// once where it is no exact number.
struct BoundedSumReference {
  explicit BoundedSumReference(int bits) : bits(bits) { mpz_init_set_ui(lcm, 1); }
  BoundedSumReference(const BoundedSumReference&) = delete;
  ~BoundedSumReference() { mpz_clear(lcm); }

  void add(const CANumber& number) {
    exact.add(number);
    const ExactRational term = ExactRational::Of(number);
    if (number.form() == kNumberFraction) {
      mpz_lcm(lcm, lcm, mpq_denref(term.q));
      const ExactRational near = NearestReal(term);
      mpq_add(rounded.q, rounded.q, near.q);
    } else {
      mpq_add(rounded.q, rounded.q, term.q);
    }
    reals = reals || number.form() == kNumberReal;
  }
  bool past() const { return mpz_sizeinbase(lcm, 2) > size_t(bits); }
  ::testing::AssertionResult judge(const CANumber& got) const {
    return past() ? IsExactOrNearest(got, rounded, true) : IsExactOrNearest(got, exact, reals);
  }

  int bits;
  ExactRational exact;
  ExactRational rounded;
  mpz_t lcm;
  bool reals = false;
};
