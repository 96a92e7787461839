// The sheets of running totals and balances, as CSV and as .xls (each formula storing its value),
// for the tests and the benchmarks. Row k's amount is k mod 7 + 1 throughout.
// - Running totals over a column of formulas: row k holds =Ck*2, =SUM($A$1:Ak) and the amount
//   (every total reads every formula above it), or, as a cycle, =SUM($B$1:Bk) in B.
// - Formulas before the cells they read: a remaining balance, row k holding =SUM(B$k:B$N) and
//   the amount (each amount read by every balance above it); the same over a column of
//   formulas, =SUM(B$k:B$N), =Ck*2 and the amount; a total at the top, =SUM(B2:BN) over a column
//   of amounts; and a remaining balance over amounts with cents.
#pragma once

#include "ExcelTestSupport.h"

#include <QByteArray>

#include <cstdint>
#include <vector>

inline int64_t SheetAmount(int64_t k) { return k % 7 + 1; }

// The amounts of rows 1..k, counted by weeks: each seven rows bring 1 + 2 + ... + 7.
inline int64_t SheetAmounts(int64_t k) { return 28 * (k / 7) + (k % 7) * (k % 7 + 3) / 2; }

// The running total of row k over the column of formulas (twice the amounts of rows 1..k).
inline int64_t TotalOfRows(int64_t k) { return 2 * SheetAmounts(k); }

inline QByteArray TotalsCsv(int64_t rows, bool cycle) {
  QByteArray csv;
  csv.reserve(rows * 40);
  for (int64_t k = 1; k <= rows; ++k) {
    const QByteArray n = QByteArray::number(k);
    csv += "=C" + n + "*2,=SUM(" + (cycle ? "$B$1:B" : "$A$1:A") + n + ")," + QByteArray::number(SheetAmount(k)) + '\n';
  }
  return csv;
}

// The workbook stores each formula's value, or, where the totals read themselves, 0, as Excel
// stores for a cycle.
inline QByteArray TotalsWorkbook(int64_t rows, bool cycle) {
  QByteArray sheet = xls::Dimensions(3);
  const uint16_t column = cycle ? 1 : 0;
  for (int64_t k = 1; k <= rows; ++k) {
    const uint16_t r = uint16_t(k - 1);
    // =Ck*2: tRef (row and column relative), tInt 2, tMul.
    const QByteArray twice = Bytes().u8(0x24).u16(r).u16(0xC002).u8(0x1E).u16(2).u8(0x05).data;
    // =SUM($A$1:Ak): tArea from the absolute corner to the relative one, tFuncVar SUM of one.
    const QByteArray sum = Bytes().u8(0x25).u16(0).u16(r).u16(column).u16(0xC000 | column).u8(0x22).u8(1).u16(4).data;
    sheet += xls::Formula(r, 0, 0, twice, double(2 * SheetAmount(k)));
    sheet += xls::Formula(r, 1, 0, sum, cycle ? 0.0 : double(TotalOfRows(k)));
    sheet += xls::Number(r, 2, 0, double(SheetAmount(k)));
  }
  return MakeCompoundFile(MakeWorkbookStream({}, {sheet}));
}

// The running totals of TotalsWorkbook as a writer stores them when the doubling column computes
// otherwise there (day counts against day indexes, say): each =Ck*2 stored one more, 2 × amount
// + 1, and each total the sum of those stored values, which is what it computes from them.
inline QByteArray AlteredTotalsWorkbook(int64_t rows) {
  QByteArray sheet = xls::Dimensions(3);
  for (int64_t k = 1; k <= rows; ++k) {
    const uint16_t r = uint16_t(k - 1);
    const QByteArray twice = Bytes().u8(0x24).u16(r).u16(0xC002).u8(0x1E).u16(2).u8(0x05).data;
    const QByteArray sum = Bytes().u8(0x25).u16(0).u16(r).u16(0).u16(0xC000).u8(0x22).u8(1).u16(4).data;
    sheet += xls::Formula(r, 0, 0, twice, double(2 * SheetAmount(k) + 1));
    sheet += xls::Formula(r, 1, 0, sum, double(TotalOfRows(k) + k));
    sheet += xls::Number(r, 2, 0, double(SheetAmount(k)));
  }
  return MakeCompoundFile(MakeWorkbookStream({}, {sheet}));
}

enum class AheadShape { kBalance, kBalanceOverFormulas, kTopTotal, kBalanceInCents };

// The amount of row k in cents where the amounts have cents: k mod 7 + 1 and k mod 100 cents.
inline int64_t AheadCents(int64_t k) { return 100 * SheetAmount(k) + k % 100; }
inline QByteArray AheadCentsText(int64_t k) {
  return QByteArray::number(SheetAmount(k)) + '.' + QByteArray::number(k % 100).rightJustified(2, '0');
}

// What the formula of row k (column A) computes over N rows of whole amounts.
inline int64_t AheadValue(AheadShape shape, int64_t rows, int64_t k) {
  switch (shape) {
    case AheadShape::kBalance: return SheetAmounts(rows) - SheetAmounts(k - 1);
    case AheadShape::kBalanceOverFormulas: return 2 * (SheetAmounts(rows) - SheetAmounts(k - 1));
    case AheadShape::kTopTotal: return SheetAmounts(rows) - SheetAmount(1);
    case AheadShape::kBalanceInCents: break;
  }
  return 0;
}

inline QByteArray AheadCsv(int64_t rows, AheadShape shape) {
  QByteArray csv;
  csv.reserve(rows * 40);
  const QByteArray last = QByteArray::number(rows);
  for (int64_t k = 1; k <= rows; ++k) {
    const QByteArray n = QByteArray::number(k);
    const QByteArray amount = QByteArray::number(SheetAmount(k));
    switch (shape) {
      case AheadShape::kBalance: csv += "=SUM(B$" + n + ":B$" + last + ")," + amount + '\n'; break;
      case AheadShape::kBalanceOverFormulas: csv += "=SUM(B$" + n + ":B$" + last + "),=C" + n + "*2," + amount + '\n'; break;
      case AheadShape::kTopTotal: csv += (k == 1 ? "=SUM(B2:B" + last + "),0" : "," + amount) + '\n'; break;
      case AheadShape::kBalanceInCents: csv += "=SUM(B$" + n + ":B$" + last + ")," + AheadCentsText(k) + '\n'; break;
    }
  }
  return csv;
}

inline QByteArray AheadWorkbook(int64_t rows, AheadShape shape) {
  QByteArray sheet = xls::Dimensions(shape == AheadShape::kBalanceOverFormulas ? 3 : 2);
  const uint16_t last = uint16_t(rows - 1);
  int64_t centsLeft = 0;  // of the rows from k on
  for (int64_t k = 1; k <= rows; ++k) centsLeft += AheadCents(k);
  for (int64_t k = 1; k <= rows; ++k) {
    const uint16_t r = uint16_t(k - 1);
    // =SUM(B$k:B$N): tArea, rows absolute and column relative, tFuncVar SUM of one.
    const QByteArray balance = Bytes().u8(0x25).u16(r).u16(last).u16(0x4001).u16(0x4001).u8(0x22).u8(1).u16(4).data;
    const QByteArray twice = Bytes().u8(0x24).u16(r).u16(0xC002).u8(0x1E).u16(2).u8(0x05).data;
    switch (shape) {
      case AheadShape::kBalance:
        sheet += xls::Formula(r, 0, 0, balance, double(AheadValue(shape, rows, k)));
        sheet += xls::Number(r, 1, 0, double(SheetAmount(k)));
        break;
      case AheadShape::kBalanceOverFormulas:
        sheet += xls::Formula(r, 0, 0, balance, double(AheadValue(shape, rows, k)));
        sheet += xls::Formula(r, 1, 0, twice, double(2 * SheetAmount(k)));
        sheet += xls::Number(r, 2, 0, double(SheetAmount(k)));
        break;
      case AheadShape::kBalanceInCents:
        sheet += xls::Formula(r, 0, 0, balance, double(centsLeft) / 100);
        sheet += xls::Number(r, 1, 0, double(AheadCents(k)) / 100);
        centsLeft -= AheadCents(k);
        break;
      case AheadShape::kTopTotal:
        if (k == 1) {
          const QByteArray total = Bytes().u8(0x25).u16(1).u16(last).u16(0xC001).u16(0xC001).u8(0x22).u8(1).u16(4).data;
          sheet += xls::Formula(r, 0, 0, total, double(AheadValue(AheadShape::kTopTotal, rows, 1)));
          sheet += xls::Number(r, 1, 0, 0.0);
        } else {
          sheet += xls::Number(r, 1, 0, double(SheetAmount(k)));
        }
        break;
    }
  }
  return MakeCompoundFile(MakeWorkbookStream({}, {sheet}));
}

// A remaining balance over computed reals: row k holds k, =SQRT(Ak) and =SUM(Bk:B$N).
inline QByteArray RootsBalanceCsv(int64_t rows) {
  QByteArray csv;
  csv.reserve(rows * 32);
  const QByteArray last = QByteArray::number(rows);
  for (int64_t k = 1; k <= rows; ++k) {
    const QByteArray n = QByteArray::number(k);
    csv += n + ",=SQRT(A" + n + "),=SUM(B" + n + ":B$" + last + ")\n";
  }
  return csv;
}

// A remaining balance over computed fractions or reals: row k holds an amount, a value computed
// from it and =SUM(Bk:B$N).
enum class ComputedShape {
  // Amounts with cents over k mod 97 + 1: the terms' common denominator passes 64 bits.
  kPerShare,
  // One over each amount with cents.
  kReciprocal,
  // One over each row's number, 1/1 + 1/2 + ...: the common denominator grows with every row.
  kHarmonic,
  // Amounts of 17 to 19 digits times 1.07: fractions where the product fits, reals where not.
  kWithTax,
  // One over the k-th odd prime: some twenty bits more of common denominator every row.
  kPrimeReciprocal,
};

// The k-th odd prime (k from 1), from a sieve grown as far as asked.
inline int64_t OddPrime(int64_t k) {
  static std::vector<int64_t> primes;
  int64_t limit = 1024;
  while (int64_t(primes.size()) < k) {
    limit *= 2;
    std::vector<bool> composite(size_t(limit), false);
    primes.clear();
    for (int64_t n = 3; n < limit; n += 2) {
      if (composite[size_t(n)]) continue;
      primes.push_back(n);
      for (int64_t m = n * n; m < limit; m += 2 * n) composite[size_t(m)] = true;
    }
  }
  return primes[size_t(k - 1)];
}

inline QByteArray ComputedAmountText(ComputedShape shape, int64_t k) {
  if (shape == ComputedShape::kHarmonic) return QByteArray::number(k);
  if (shape == ComputedShape::kPrimeReciprocal) return QByteArray::number(OddPrime(k));
  if (shape != ComputedShape::kWithTax) return AheadCentsText(k);
  // 17, 18 and 19 digits in turn, all below 2^63.
  static constexpr int64_t kBases[] = {12345678901234567, 123456789012345678, 1234567890123456789};
  return QByteArray::number(kBases[k % 3] + k * 1000003);
}

inline QByteArray ComputedFormula(ComputedShape shape, int64_t k) {
  const QByteArray n = QByteArray::number(k);
  switch (shape) {
    case ComputedShape::kPerShare: return "=A" + n + "/" + QByteArray::number(k % 97 + 1);
    case ComputedShape::kReciprocal:
    case ComputedShape::kHarmonic:
    case ComputedShape::kPrimeReciprocal: return "=1/A" + n;
    case ComputedShape::kWithTax: return "=A" + n + "*1.07";
  }
  return {};
}

// `errorRow` (0: none) computes =1/0 in B instead.
inline QByteArray ComputedBalanceCsv(int64_t rows, ComputedShape shape, int64_t errorRow = 0) {
  QByteArray csv;
  csv.reserve(rows * 48);
  const QByteArray last = QByteArray::number(rows);
  for (int64_t k = 1; k <= rows; ++k) {
    const QByteArray n = QByteArray::number(k);
    csv += ComputedAmountText(shape, k) + ',' + (k == errorRow ? QByteArray("=1/0") : ComputedFormula(shape, k)) +
           ",=SUM(B" + n + ":B$" + last + ")\n";
  }
  return csv;
}

// A running balance over a column of formulas with an error near its end: row k holds the
// amount, =Ak*2 (=1/0 in row `errorRow`) and =SUM(B$1:Bk).
inline QByteArray RunningBalanceCsv(int64_t rows, int64_t errorRow) {
  QByteArray csv;
  csv.reserve(rows * 32);
  for (int64_t k = 1; k <= rows; ++k) {
    const QByteArray n = QByteArray::number(k);
    csv += QByteArray::number(SheetAmount(k)) + ',' + (k == errorRow ? QByteArray("=1/0") : "=A" + n + "*2") +
           ",=SUM(B$1:B" + n + ")\n";
  }
  return csv;
}

// A ledger over computed values: row k holds the amount, the value computed from it (a typed
// 1E5000, past the largest real, in row `infiniteRow`) and `function` over the values, remaining
// (=SUM(Bk:B$N)) or running (=SUM(B$1:Bk)).
inline QByteArray ComputedLedgerCsv(int64_t rows, ComputedShape shape, bool running, int64_t infiniteRow = 0,
                                    const QByteArray& function = "SUM") {
  QByteArray csv;
  csv.reserve(rows * 48);
  const QByteArray last = QByteArray::number(rows);
  for (int64_t k = 1; k <= rows; ++k) {
    const QByteArray n = QByteArray::number(k);
    csv += ComputedAmountText(shape, k) + ',' + (k == infiniteRow ? QByteArray("1E5000") : ComputedFormula(shape, k)) +
           ",=" + function + (running ? "(B$1:B" + n : "(B" + n + ":B$" + last) + ")\n";
  }
  return csv;
}
