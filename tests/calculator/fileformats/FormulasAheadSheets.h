// Sheets whose formulas come before the cells they read, as CSV and as .xls (each formula storing
// its value), for the tests and the benchmarks: a remaining balance, row k holding =SUM(B$k:B$N)
// and the amount k mod 7 + 1 (each amount read by every balance above it); the same over a
// column of formulas, =SUM(B$k:B$N), =Ck*2 and the amount; a total at the top, =SUM(B2:BN) over a
// column of amounts; and a remaining balance over amounts with cents.
#pragma once

#include "ExcelTestSupport.h"

#include <QByteArray>

#include <cstdint>

enum class AheadShape { kBalance, kBalanceOverFormulas, kTopTotal, kBalanceInCents };

inline int64_t AheadAmount(int64_t k) { return k % 7 + 1; }

// The amounts of rows 1..k, counted by weeks: each seven rows bring 1 + 2 + ... + 7.
inline int64_t AheadAmounts(int64_t k) { return 28 * (k / 7) + (k % 7) * (k % 7 + 3) / 2; }

// The amount of row k in cents where the amounts have cents: k mod 7 + 1 and k mod 100 cents.
inline int64_t AheadCents(int64_t k) { return 100 * AheadAmount(k) + k % 100; }
inline QByteArray AheadCentsText(int64_t k) {
  return QByteArray::number(AheadAmount(k)) + '.' + QByteArray::number(k % 100).rightJustified(2, '0');
}

// What the formula of row k (column A) computes over N rows of whole amounts.
inline int64_t AheadValue(AheadShape shape, int64_t rows, int64_t k) {
  switch (shape) {
    case AheadShape::kBalance: return AheadAmounts(rows) - AheadAmounts(k - 1);
    case AheadShape::kBalanceOverFormulas: return 2 * (AheadAmounts(rows) - AheadAmounts(k - 1));
    case AheadShape::kTopTotal: return AheadAmounts(rows) - AheadAmount(1);
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
    const QByteArray amount = QByteArray::number(AheadAmount(k));
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
        sheet += xls::Number(r, 1, 0, double(AheadAmount(k)));
        break;
      case AheadShape::kBalanceOverFormulas:
        sheet += xls::Formula(r, 0, 0, balance, double(AheadValue(shape, rows, k)));
        sheet += xls::Formula(r, 1, 0, twice, double(2 * AheadAmount(k)));
        sheet += xls::Number(r, 2, 0, double(AheadAmount(k)));
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
          sheet += xls::Number(r, 1, 0, double(AheadAmount(k)));
        }
        break;
    }
  }
  return MakeCompoundFile(MakeWorkbookStream({}, {sheet}));
}
