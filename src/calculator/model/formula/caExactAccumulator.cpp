#include "calculator/model/formula/caExactAccumulator.h"

#include <gmp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <optional>
#include <utility>

namespace {

using Limbs = std::vector<uint64_t>;
using Signed = __int128;
using Unsigned = unsigned __int128;

constexpr uint64_t kOnes = ~uint64_t(0);

bool Negative(const Limbs& a) { return !a.empty() && int64_t(a.back()) < 0; }
uint64_t SignLimb(const Limbs& a) { return Negative(a) ? kOnes : 0; }

// Gives `a` at least `limbs` limbs below a top limb that only repeats the sign, so that adding
// a number of no more limbs cannot overflow it.
void MakeRoom(Limbs& a, size_t limbs) {
  const uint64_t sign = SignLimb(a);
  if (a.size() < limbs + 1) {
    a.resize(limbs + 1, sign);
    return;
  }
  if (a.back() != (int64_t(a[a.size() - 2]) < 0 ? kOnes : 0)) a.push_back(sign);
}

// a += v · 2^(64 at), |v| < 2^127.
void AddAt(Limbs& a, Signed v, size_t at) {
  MakeRoom(a, at + 2);
  const uint64_t parts[2] = {uint64_t(Unsigned(v)), uint64_t(Unsigned(v) >> 64)};
  const uint64_t extension = v < 0 ? kOnes : 0;
  bool carry = false;
  for (size_t i = at; i < a.size(); ++i) {
    const uint64_t add = i < at + 2 ? parts[i - at] : extension;
    // Past the term, nothing changes once the carry and the extension cancel.
    if (i >= at + 2 && carry == (extension == kOnes)) break;
    const Unsigned sum = Unsigned(a[i]) + add + (carry ? 1 : 0);
    a[i] = uint64_t(sum);
    carry = (sum >> 64) != 0;
  }
}

// a += b, both signed.
void AddLimbs(Limbs& a, const Limbs& b) {
  if (b.empty()) return;
  // Room for b's limbs below a top limb that only repeats a's sign: the sum cannot overflow, and
  // a grows only as far as the sum needs.
  MakeRoom(a, b.size());
  const uint64_t extension = SignLimb(b);
  bool carry = false;
  for (size_t i = 0; i < a.size(); ++i) {
    const uint64_t add = i < b.size() ? b[i] : extension;
    if (i >= b.size() && carry == (extension == kOnes)) break;
    const Unsigned sum = Unsigned(a[i]) + add + (carry ? 1 : 0);
    a[i] = uint64_t(sum);
    carry = (sum >> 64) != 0;
  }
}

void Negate(Limbs& a) {
  bool carry = true;
  for (uint64_t& limb : a) {
    limb = ~limb + (carry ? 1 : 0);
    carry = carry && limb == 0;
  }
}

// The magnitude of a signed number, as unsigned limbs.
Limbs Magnitude(const Limbs& a) {
  Limbs m = a;
  if (Negative(m)) Negate(m);
  while (!m.empty() && m.back() == 0) m.pop_back();
  return m;
}

// Unsigned a · factor.
void MultiplyMagnitude(Limbs& a, uint64_t factor) {
  uint64_t carry = 0;
  for (uint64_t& limb : a) {
    const Unsigned product = Unsigned(limb) * factor + carry;
    limb = uint64_t(product);
    carry = uint64_t(product >> 64);
  }
  if (carry) a.push_back(carry);
}

// Signed a · factor.
void Multiply(Limbs& a, uint64_t factor) {
  if (factor == 1 || a.empty()) return;
  const bool negative = Negative(a);
  Limbs m = Magnitude(a);
  MultiplyMagnitude(m, factor);
  m.push_back(0);
  if (negative) Negate(m);
  a = std::move(m);
}

// Unsigned a / divisor, the remainder returned.
uint64_t DivideMagnitude(Limbs& a, uint64_t divisor) {
  Unsigned remainder = 0;
  for (size_t i = a.size(); i-- > 0;) {
    const Unsigned part = (remainder << 64) | a[i];
    a[i] = uint64_t(part / divisor);
    remainder = part % divisor;
  }
  while (!a.empty() && a.back() == 0) a.pop_back();
  return uint64_t(remainder);
}

uint64_t RemainderOfMagnitude(const Limbs& a, uint64_t divisor) {
  Unsigned remainder = 0;
  for (size_t i = a.size(); i-- > 0;) remainder = ((remainder << 64) | a[i]) % divisor;
  return uint64_t(remainder);
}

// Whether any bit below bit i is set.
bool AnyBitBelow(const Limbs& magnitude, int64_t i) {
  if (i <= 0) return false;
  const size_t whole = size_t(i / 64);
  for (size_t k = 0; k < whole && k < magnitude.size(); ++k)
    if (magnitude[k] != 0) return true;
  return whole < magnitude.size() && i % 64 != 0 && (magnitude[whole] & ((uint64_t(1) << (i % 64)) - 1)) != 0;
}

// The real nearest to magnitude · 2^exponent, where `inexact` says that the true value lies a
// little above it (past every bit the magnitude holds); ties go to the even mantissa.
long double Rounded(const Limbs& magnitude, bool inexact, int64_t exponent) {
  if (magnitude.empty()) return 0;
  const int64_t top = int64_t(magnitude.size() - 1) * 64 + (63 - __builtin_clzll(magnitude.back()));
  const auto bit = [&magnitude](int64_t i) -> uint64_t {
    if (i < 0 || i / 64 >= int64_t(magnitude.size())) return 0;
    return (magnitude[size_t(i / 64)] >> (i % 64)) & 1;
  };
  // The 64 bits from the top one down, the next one, and whether any lower one is set.
  uint64_t mantissa = 0;
  for (int64_t i = top; i > top - 64; --i) mantissa = (mantissa << 1) | bit(i);
  const int64_t roundAt = top - 64;
  const bool half = bit(roundAt) != 0;
  const bool below = inexact || AnyBitBelow(magnitude, roundAt);
  int64_t scale = exponent + top - 63;
  if (half && (below || (mantissa & 1))) {
    if (++mantissa == 0) {
      mantissa = uint64_t(1) << 63;
      ++scale;
    }
  }
  if (scale > 20000) return HUGE_VALL;
  if (scale < -20000) return 0;
  return std::ldexp(static_cast<long double>(mantissa), int(scale));
}

// A GMP integer that frees itself.
struct Integer {
  Integer() { mpz_init(z); }
  Integer(const Integer& other) { mpz_init_set(z, other.z); }
  Integer& operator=(const Integer& other) {
    mpz_set(z, other.z);
    return *this;
  }
  ~Integer() { mpz_clear(z); }
  size_t heapBytes() const { return size_t(z->_mp_alloc) * sizeof(mp_limb_t); }
  mpz_t z;
};

static_assert(sizeof(mp_limb_t) == sizeof(uint64_t) && sizeof(unsigned long) == sizeof(uint64_t),
              "64-bit GMP limbs");

// A signed number of limbs as a GMP integer.
void SetInteger(mpz_t z, const Limbs& a) {
  const Limbs magnitude = Magnitude(a);
  mpz_import(z, magnitude.size(), -1, sizeof(uint64_t), 0, 0, magnitude.data());
  if (Negative(a)) mpz_neg(z, z);
}

// z += n · factor.
void AddProduct(mpz_t z, const mpz_t factor, int64_t n) {
  if (n >= 0)
    mpz_addmul_ui(z, factor, uint64_t(n));
  else
    mpz_submul_ui(z, factor, uint64_t(0) - uint64_t(n));
}

// The real nearest to numerator / denominator · 2^exponent (denominator above 0).
long double RoundedQuotient(const mpz_t numerator, const mpz_t denominator, int64_t exponent) {
  if (mpz_sgn(numerator) == 0) return 0;
  Integer n;
  Integer d;
  mpz_abs(n.z, numerator);
  mpz_set(d.z, denominator);
  // A quotient of 66 bits at least leaves the rounding two bits beyond the mantissa to go by.
  const int64_t shift = int64_t(mpz_sizeinbase(d.z, 2)) - int64_t(mpz_sizeinbase(n.z, 2)) + 66;
  if (shift > 0) mpz_mul_2exp(n.z, n.z, mp_bitcnt_t(shift));
  if (shift < 0) mpz_mul_2exp(d.z, d.z, mp_bitcnt_t(-shift));
  Integer remainder;
  mpz_tdiv_qr(n.z, remainder.z, n.z, d.z);
  Limbs quotient(mpz_size(n.z));
  for (size_t i = 0; i < quotient.size(); ++i) quotient[i] = mpz_getlimbn(n.z, mp_size_t(i));
  const long double value = Rounded(quotient, mpz_sgn(remainder.z) != 0, exponent - shift);
  return mpz_sgn(numerator) < 0 ? -value : value;
}

// numerator / denominator (not 0, the denominator above 0) as an integer or a fraction in lowest
// terms, where those hold it: a numerator of 64 bits over a denominator of at most 63. Rather
// than reduce wide numbers by their greatest common divisor, which costs the square of their
// size, the one fraction that can be it is found from 128 bits of the quotient and tried: a
// fraction p/q with q below 2^63 within 2^-128 of a number is a convergent of its continued
// fraction, the last whose denominator is below 2^63.
std::optional<CANumber> SmallFraction(const mpz_t numerator, const mpz_t denominator) {
  if (mpz_sizeinbase(numerator, 2) > mpz_sizeinbase(denominator, 2) + 64) return std::nullopt;
  Integer high;  // |numerator| · 2^128 / denominator, and 2^128: the quotient and its scale
  mpz_abs(high.z, numerator);
  mpz_mul_2exp(high.z, high.z, 128);
  mpz_tdiv_q(high.z, high.z, denominator);
  Integer low;
  mpz_set_ui(low.z, 1);
  mpz_mul_2exp(low.z, low.z, 128);
  // The convergents p/q, while q stays below 2^63.
  constexpr Unsigned kLimit = Unsigned(1) << 63;
  Unsigned p = 1, q = 0, pBefore = 0, qBefore = 1;
  Integer term;
  while (mpz_sgn(low.z) != 0) {
    mpz_tdiv_qr(term.z, high.z, high.z, low.z);
    mpz_swap(high.z, low.z);
    if (mpz_sizeinbase(term.z, 2) > 64) break;
    const Unsigned a = mpz_get_ui(term.z);
    const Unsigned nextQ = a * q + qBefore;
    if (nextQ >= kLimit) break;
    const Unsigned nextP = a * p + pBefore;
    if (nextP > kLimit) break;
    pBefore = std::exchange(p, nextP);
    qBefore = std::exchange(q, nextQ);
  }
  if (q == 0) return std::nullopt;
  // The candidate is the number only where |numerator| · q = p · denominator.
  Integer left;
  Integer right;
  mpz_abs(left.z, numerator);
  mpz_mul_ui(left.z, left.z, uint64_t(q));
  mpz_mul_ui(right.z, denominator, uint64_t(p));
  if (mpz_cmp(left.z, right.z) != 0) return std::nullopt;
  const bool negative = mpz_sgn(numerator) < 0;
  if (p == kLimit) {
    if (negative && q == 1) return CANumber(kInt64Min);
    return std::nullopt;
  }
  const int64_t n = negative ? -int64_t(p) : int64_t(p);
  return q == 1 ? CANumber(n) : CANumber::withNumerator(n, uint64_t(q));
}

}  // namespace

void RoundedTerms::add(const RoundedTerms& other) {
  whole_ += other.whole_;
  const Unsigned sum = low_ + other.low_;
  high_ += other.high_ + (sum < low_ ? 1 : 0);
  low_ = sum;
}

std::vector<uint64_t> RoundedTerms::limbs() const {
  Limbs sum = {uint64_t(low_), uint64_t(low_ >> 64), uint64_t(high_), uint64_t(high_ >> 64)};
  sum.push_back(SignLimb(sum));
  // In two halves, each within the 127 bits AddAt takes.
  const Signed half = whole_ >> 1;
  AddAt(sum, half, 2);
  AddAt(sum, whole_ - half, 2);
  return sum;
}

// Whole numbers and fractions as numerator / denominator, the denominator the least common
// multiple of the terms' denominators.
struct ExactAccumulator::Wide {
  Integer numerator;
  Integer denominator;
};

namespace {

// The quotient of a common denominator by a term's: room for it is made once. The bound keeps it
// to a few limbs, but what a joining of two sums widened it to is given back after use.
Integer& Scale() {
  thread_local Integer scale;
  return scale;
}

void ShrinkScale() {
  constexpr mp_bitcnt_t kKeptBits = ExactAccumulator::kExactBits + 128;
  Integer& scale = Scale();
  if (scale.heapBytes() * 8 > kKeptBits) mpz_realloc2(scale.z, kKeptBits);
}

// The bound: a common denominator this wide or wider is past it.
bool PastBound(const mpz_t denominator) {
  return mpz_sizeinbase(denominator, 2) > size_t(ExactAccumulator::kExactBits);
}

}  // namespace

ExactAccumulator::ExactAccumulator() = default;
ExactAccumulator::~ExactAccumulator() = default;
ExactAccumulator::ExactAccumulator(ExactAccumulator&&) noexcept = default;
ExactAccumulator& ExactAccumulator::operator=(ExactAccumulator&&) noexcept = default;

ExactAccumulator::ExactAccumulator(const ExactAccumulator& other)
    : numerator_(other.numerator_),
      denominator_(other.denominator_),
      wide_(other.wide_ ? std::make_unique<Wide>(*other.wide_) : nullptr),
      reals_(other.reals_),
      lowestLimb_(other.lowestLimb_),
      rounded_(other.rounded_),
      hasReal_(other.hasReal_),
      past_(other.past_),
      taken_(other.taken_),
      roundsTerms_(other.roundsTerms_),
      unresolved_(other.unresolved_) {}

ExactAccumulator ExactAccumulator::exactFirst() {
  ExactAccumulator sum;
  sum.roundsTerms_ = false;
  return sum;
}

ExactAccumulator& ExactAccumulator::operator=(const ExactAccumulator& other) {
  if (this == &other) return *this;
  // Member by member, so that the room the sum already has is used again.
  numerator_ = other.numerator_;
  denominator_ = other.denominator_;
  if (!other.wide_)
    wide_.reset();
  else if (wide_)
    *wide_ = *other.wide_;
  else
    wide_ = std::make_unique<Wide>(*other.wide_);
  reals_ = other.reals_;
  lowestLimb_ = other.lowestLimb_;
  rounded_ = other.rounded_;
  hasReal_ = other.hasReal_;
  past_ = other.past_;
  taken_ = other.taken_;
  roundsTerms_ = other.roundsTerms_;
  unresolved_ = other.unresolved_;
  return *this;
}

size_t ExactAccumulator::heapBytes() const {
  size_t bytes = (numerator_.capacity() + reals_.capacity()) * sizeof(uint64_t);
  if (wide_)
    bytes += sizeof(Wide) + wide_->numerator.heapBytes() + wide_->denominator.heapBytes();
  return bytes;
}

ExactAccumulator::Wide& ExactAccumulator::widen() {
  if (!wide_) {
    wide_ = std::make_unique<Wide>();
    SetInteger(wide_->numerator.z, numerator_);
    mpz_set_ui(wide_->denominator.z, denominator_);
    numerator_ = {};
    denominator_ = 1;
  }
  return *wide_;
}

void ExactAccumulator::passBound() {
  past_ = true;
  unresolved_ = !roundsTerms_;
  wide_.reset();
  numerator_ = {};
  denominator_ = 1;
}

// Inlined: it is the whole of adding a term to a sum within 63 bits.
[[gnu::always_inline]] inline void ExactAccumulator::addExactPart(int64_t n, uint64_t d) {
  if (d == 1) {
    if (wide_)
      AddProduct(wide_->numerator.z, wide_->denominator.z, n);
    else
      AddAt(numerator_, Signed(n) * Signed(denominator_), 0);
    return;
  }
  if (!wide_) {
    if (denominator_ % d != 0) {
      const uint64_t widen = d / std::gcd(denominator_, d);
      if (Unsigned(denominator_) * widen <= Unsigned(kInt64Max)) {
        Multiply(numerator_, widen);
        denominator_ *= widen;
      }
    }
    if (denominator_ % d == 0) {
      AddAt(numerator_, Signed(n) * Signed(denominator_ / d), 0);
      return;
    }
  }
  // Past 63 bits the common denominator grows as wide as the terms' least common multiple,
  // up to the bound.
  Wide& wide = widen();
  const uint64_t widen = d / mpz_gcd_ui(nullptr, wide.denominator.z, d);
  if (widen != 1) {
    mpz_mul_ui(wide.denominator.z, wide.denominator.z, widen);
    if (PastBound(wide.denominator.z)) {
      passBound();
      return;
    }
    mpz_mul_ui(wide.numerator.z, wide.numerator.z, widen);
  }
  Integer& scale = Scale();
  mpz_divexact_ui(scale.z, wide.denominator.z, d);
  AddProduct(wide.numerator.z, scale.z, n);
}

bool ExactAccumulator::tryAdd(const CANumber& term) {
  switch (term.form()) {
    case kNumberInteger:
      taken_ = true;
      if (term.numerator() == 0) return true;
      if (roundsTerms_) rounded_.addWhole(term.numerator());
      if (!past_) addExactPart(term.numerator(), 1);
      return true;
    case kNumberFraction: {
      const uint64_t d = term.denominator();
      if (d == 0) return false;
      taken_ = true;
      // One test for the common case, a sum within the bound that rounds no term.
      if (roundsTerms_ || past_) [[unlikely]] {
        if (roundsTerms_) rounded_.addFraction(term.numerator(), d);
        if (past_) return true;
      }
      addExactPart(term.numerator(), d);
      return true;
    }
    case kNumberReal: {
      const long double value = term.realValue();
      if (!std::isfinite(value)) return false;
      taken_ = true;
      addReal(value);
      return true;
    }
    default:
      return false;
  }
}

void ExactAccumulator::addReal(long double value) {
  hasReal_ = true;
  if (value == 0) return;
  int exponent = 0;
  const long double fraction = std::frexp(std::fabs(value), &exponent);
  // |value| = mantissa · 2^lowest, the mantissa's top bit set.
  const auto mantissa = static_cast<uint64_t>(std::ldexp(fraction, 64));
  const int64_t lowest = int64_t(exponent) - 64;
  // Floor division: the limb that holds the term's lowest bit.
  const int64_t limb = lowest >= 0 ? lowest / 64 : -((-lowest + 63) / 64);
  if (limb < lowestLimb_) {
    reals_.insert(reals_.begin(), size_t(lowestLimb_ - limb), 0);
    lowestLimb_ = int32_t(limb);
  }
  const int64_t offset = lowest - int64_t(lowestLimb_) * 64;
  const Unsigned shifted = Unsigned(mantissa) << (offset % 64);
  AddAt(reals_, value < 0 ? -Signed(shifted) : Signed(shifted), size_t(offset / 64));
}

void ExactAccumulator::addExact(__int128 numerator, uint64_t denominator, const RoundedTerms* rounded) {
  taken_ = true;
  if (rounded)
    rounded_.add(*rounded);
  else
    roundsTerms_ = false;
  if (past_) {
    unresolved_ = unresolved_ || !roundsTerms_;
    return;
  }
  // Taken as one term over the denominator as it is (not in lowest terms), so that the common
  // denominator is still the least common multiple of the terms' own.
  if (numerator >= kInt64Min && numerator <= kInt64Max) {
    addExactPart(int64_t(numerator), denominator);
    return;
  }
  ExactAccumulator other;
  other.taken_ = true;
  other.denominator_ = denominator;
  // Two halves, each within the 127 bits AddAt takes.
  const Signed half = numerator >> 1;
  AddAt(other.numerator_, half, 0);
  AddAt(other.numerator_, numerator - half, 0);
  add(other);
}

void ExactAccumulator::add(const ExactAccumulator& other) {
  taken_ = taken_ || other.taken_;
  rounded_.add(other.rounded_);
  roundsTerms_ = roundsTerms_ && other.roundsTerms_;
  unresolved_ = unresolved_ || other.unresolved_ || (past_ && !roundsTerms_);
  if (other.past_ && !past_) passBound();
  const uint64_t g = std::gcd(denominator_, other.denominator_);
  const Unsigned common = Unsigned(denominator_ / g) * other.denominator_;
  if (past_) {
    // Only the rounded terms count.
  } else if (!wide_ && !other.wide_ && common <= Unsigned(kInt64Max)) {
    Multiply(numerator_, uint64_t(common / denominator_));
    Limbs theirs = other.numerator_;
    Multiply(theirs, uint64_t(common / other.denominator_));
    AddLimbs(numerator_, theirs);
    denominator_ = uint64_t(common);
  } else {
    Wide& wide = widen();
    Integer narrow;
    Integer narrowDenominator;
    if (!other.wide_) {
      SetInteger(narrow.z, other.numerator_);
      mpz_set_ui(narrowDenominator.z, other.denominator_);
    }
    const mpz_srcptr theirs = other.wide_ ? other.wide_->numerator.z : narrow.z;
    const mpz_srcptr theirDenominator = other.wide_ ? other.wide_->denominator.z : narrowDenominator.z;
    if (mpz_cmp(wide.denominator.z, theirDenominator) == 0) {
      mpz_add(wide.numerator.z, wide.numerator.z, theirs);
    } else {
      Integer both;
      mpz_lcm(both.z, wide.denominator.z, theirDenominator);
      if (PastBound(both.z)) {
        passBound();
      } else {
        Integer& scale = Scale();
        mpz_divexact(scale.z, both.z, wide.denominator.z);
        mpz_mul(wide.numerator.z, wide.numerator.z, scale.z);
        mpz_divexact(scale.z, both.z, theirDenominator);
        mpz_addmul(wide.numerator.z, theirs, scale.z);
        mpz_swap(wide.denominator.z, both.z);
        ShrinkScale();
      }
    }
  }

  if (other.lowestLimb_ < lowestLimb_) {
    reals_.insert(reals_.begin(), size_t(lowestLimb_ - other.lowestLimb_), 0);
    lowestLimb_ = other.lowestLimb_;
  }
  if (other.lowestLimb_ > lowestLimb_) {
    Limbs aligned = other.reals_;
    if (!aligned.empty()) aligned.insert(aligned.begin(), size_t(other.lowestLimb_ - lowestLimb_), 0);
    AddLimbs(reals_, aligned);
  } else {
    AddLimbs(reals_, other.reals_);
  }
  hasReal_ = hasReal_ || other.hasReal_;
}

CANumber ExactAccumulator::roundedValue() const {
  // The rounded terms' lowest limb weighs 2^-128; the reals' may lie lower or higher.
  const int64_t lowest = std::min<int64_t>(lowestLimb_, -2);
  Limbs total = rounded_.limbs();
  if (lowest < -2) total.insert(total.begin(), size_t(-2 - lowest), 0);
  if (!reals_.empty()) {
    Limbs aligned = reals_;
    aligned.insert(aligned.begin(), size_t(lowestLimb_ - lowest), 0);
    AddLimbs(total, aligned);
  }
  const bool negative = Negative(total);
  const long double value = Rounded(Magnitude(total), false, 64 * lowest);
  return CANumber::withRealResult(negative ? -value : value);
}

CANumber ExactAccumulator::value() const {
  // No sum of the terms: the caller sums them again.
  if (unresolved_) return CANumber::asNan();
  if (past_) return roundedValue();
  if (wide_) return wideValue();
  if (!hasReal_) {
    Limbs magnitude = Magnitude(numerator_);
    if (magnitude.empty()) return CANumber();
    const bool negative = Negative(numerator_);
    const uint64_t g = std::gcd(RemainderOfMagnitude(magnitude, denominator_), denominator_);
    DivideMagnitude(magnitude, g);
    const uint64_t denominator = denominator_ / g;
    if (magnitude.size() == 1) {
      const uint64_t n = magnitude[0];
      if (denominator == 1 && negative && n == uint64_t(1) << 63) return CANumber(kInt64Min);
      if (n <= uint64_t(kInt64Max)) {
        const int64_t signedN = negative ? -int64_t(n) : int64_t(n);
        return denominator == 1 ? CANumber(signedN) : CANumber::withNumerator(signedN, denominator);
      }
    }
  }
  // numerator / denominator + reals, over one denominator: the reals' lowest limb is at most 0.
  const size_t below = size_t(-int64_t(lowestLimb_));
  Limbs total = numerator_;
  if (!total.empty()) total.insert(total.begin(), below, 0);
  Limbs reals = reals_;
  Multiply(reals, denominator_);
  AddLimbs(total, reals);
  const bool negative = Negative(total);
  Limbs magnitude = Magnitude(total);
  // Two more limbs of quotient than the denominator's 63 bits leave the rounding at least 65
  // bits to go by.
  magnitude.insert(magnitude.begin(), 2, 0);
  const bool inexact = DivideMagnitude(magnitude, denominator_) != 0;
  const long double value = Rounded(magnitude, inexact, -64 * (int64_t(below) + 2));
  return CANumber::withRealResult(negative ? -value : value);
}

CANumber ExactAccumulator::wideValue() const {
  const Wide& wide = *wide_;
  if (!hasReal_) {
    if (mpz_sgn(wide.numerator.z) == 0) return CANumber();
    if (const std::optional<CANumber> exact = SmallFraction(wide.numerator.z, wide.denominator.z)) return *exact;
    return CANumber::withRealResult(RoundedQuotient(wide.numerator.z, wide.denominator.z, 0));
  }
  // numerator / denominator + reals, over one denominator: the reals' lowest limb is at most 0.
  const int64_t below = -int64_t(lowestLimb_);
  Integer total;
  mpz_mul_2exp(total.z, wide.numerator.z, mp_bitcnt_t(64 * below));
  Integer reals;
  SetInteger(reals.z, reals_);
  mpz_addmul(total.z, reals.z, wide.denominator.z);
  return CANumber::withRealResult(RoundedQuotient(total.z, wide.denominator.z, -64 * below));
}
