// The document's Pockwell loader and the reader behind it. Every offset, index and chain in the
// file is checked against the file: a damaged one gives "This file has been damaged.".
#include "calculator/fileformats/caImportAlert.h"
#include "calculator/fileformats/caPockwellImport.h"
#include "calculator/fileformats/caReadFile.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "framlet/foundation/flLengths.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caDocumentXml.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flFonts.h"
#include "framlet/foundation/flReadingMeter.h"
#include "platform/FLError.h"
#include "platform/TextEncodings.h"

#include <QFileInfo>
#include <QtEndian>

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr int kBadContentCode = -50;
constexpr qsizetype kHeaderSize = 372;
constexpr qsizetype kSectionTable = 332;
constexpr qsizetype kCellRecordSize = 36;
constexpr qsizetype kFormatRecordSize = 20;
constexpr uint16_t kNone = 0xFFFF;
constexpr int64_t kDefaultDigits = 12;

struct FormulaRename {
  const char* from;
  const char* to;
};
constexpr std::array<FormulaRename, 6> kFormulaRenames = {{
    {"avg(", "average("}, {"log(", "log10("}, {"logb(", "log2("},
    {"loge(", "ln("},     {"pow(", "power("},  {"prod(", "product("},
}};

uint16_t U16(QByteArrayView data, qsizetype at) { return qFromLittleEndian<uint16_t>(data.data() + at); }
uint32_t U32(QByteArrayView data, qsizetype at) { return qFromLittleEndian<uint32_t>(data.data() + at); }
// Doubles alone are stored big-endian.
double F64(QByteArrayView data, qsizetype at) { return qFromBigEndian<double>(data.data() + at); }

// Widths in digits: Pockwell's own go up to a few hundred; anything outside counts as none.
constexpr double kMaxDigits = 10000;

int64_t TruncatedDigits(double value) {
  if (!std::isfinite(value) || value < 0 || value > kMaxDigits) return 0;
  return int64_t(value);
}

// One (offset, count or length) pair of the section table.
struct Section {
  uint64_t offset;
  uint64_t size;
};

void SetNumberFormatFromCode(CANumberFormat& format, uint32_t code) {
  auto date = [&](int32_t order, int32_t month, std::optional<int32_t> year, bool omitDay) {
    format.setDisplay(kDisplayDate);
    format.setDateOrder(order);
    format.setMonthOption(month);
    if (year) format.setYearOption(*year);
    if (omitDay) format.setOmitDay(true);
  };
  switch (code) {
    case 1: format.setDisplay(kDisplayInteger); break;
    case 2: format.setDisplay(kDisplayInteger); format.setGroupThousands(true); break;
    case 3: format.setDisplay(kDisplayFloat); format.setForceHundredths(true); break;
    case 4:
      format.setDisplay(kDisplayFloat); format.setNegativeParens(true); format.setForceHundredths(true);
      break;
    case 5:
      format.setDisplay(kDisplayFloat); format.setGroupThousands(true); format.setForceHundredths(true);
      break;
    case 6:
      format.setDisplay(kDisplayFloat); format.setGroupThousands(true); format.setForceHundredths(true);
      format.setNegativeParens(true);
      break;
    case 7: format.setDisplay(kDisplayMoney); format.setGroupThousands(true); format.setSize(0); break;
    case 8:
      format.setDisplay(kDisplayMoney); format.setGroupThousands(true); format.setNegativeParens(true);
      format.setSize(0);
      break;
    case 9: format.setForceHundredths(true); format.setGroupThousands(true); break;
    case 10: format.setGroupThousands(true); format.setForceHundredths(true); format.setNegativeParens(true); break;
    case 11: format.setDisplay(kDisplayScientific); break;
    case 12: format.setDisplay(kDisplayPercent); format.setSize(0); break;
    case 13: format.setDisplay(kDisplayPercent); format.setForceHundredths(true); break;
    case 14: date(2, 1, 0, false); break;
    case 15: date(2, 1, std::nullopt, false); break;
    case 16: date(2, 2, 0, false); break;
    case 17: date(2, 2, 1, true); break;
    case 18: date(2, 2, std::nullopt, true); break;
    case 19: date(2, 2, std::nullopt, false); break;
    case 20: date(3, 0, std::nullopt, true); break;
    case 21: format.setDisplay(kDisplayHex); break;
    case 22: format.setDisplay(kDisplayFraction); break;
    default: break;  // 0 and 23-31: the default options
  }
}

class PockwellReader {
 public:
  PockwellReader(CADocument& document, QByteArrayView data) : document_(document), data_(data) {}

  bool run(QString* failure);

 private:
  bool fail(QString* failure, const char* reason) {
    if (failure) *failure = QString::fromUtf8(reason);
    return false;
  }
  // The current meter stopped the reading: no reason of the file's own.
  bool stopped(QString* failure) {
    if (failure) failure->clear();
    return false;
  }
  bool fits(uint64_t offset, uint64_t length) const { return offset + length <= uint64_t(data_.size()); }

  CADocument& document_;
  QByteArrayView data_;
};

bool PockwellReader::run(QString* failure) {
  if (data_.size() < 4) return fail(failure, kPockwellDamagedReason);
  // A mark written big-endian means every field is: its version can't be read either, and
  // the way out is the same whatever it is.
  if (U16(data_, 2) == 0x0100) return fail(failure, kPockwellByteOrderReason);
  if (U16(data_, 0) != 2) return fail(failure, kPockwellVersionReason);
  if (U16(data_, 2) != 1) return fail(failure, kPockwellByteOrderReason);
  if (data_.size() < kHeaderSize) return fail(failure, kPockwellDamagedReason);
  std::array<Section, 5> sections{};
  for (qsizetype i = 0; i < 5; ++i) {
    sections[size_t(i)] = {U32(data_, kSectionTable + 8 * i), U32(data_, kSectionTable + 8 * i + 4)};
    if (!fits(sections[size_t(i)].offset, sections[size_t(i)].size)) return fail(failure, kPockwellDamagedReason);
  }
  const Section& cells = sections[0];
  const Section& strings = sections[2];
  const Section& columns = sections[3];
  const Section& rows = sections[4];
  // The format sections count records; they must lie within the file too.
  if (!fits(columns.offset, columns.size * kFormatRecordSize) || !fits(rows.offset, rows.size * kFormatRecordSize))
    return fail(failure, kPockwellDamagedReason);

  // Document options.
  const qsizetype nameStart = 41;
  qsizetype nameEnd = nameStart;
  while (nameEnd < 298 && data_[nameEnd] != 0) ++nameEnd;
  const QString fontName =
      DecodeText(data_.sliced(nameStart, nameEnd - nameStart), kFLEncodingMacRoman, true).value_or(QString());
  const uint16_t fontSize = U16(data_, 24);
  if (!fontName.isEmpty() && fontSize > 0) {
    const QString mapped = MapFontName(fontName);
    if (const std::optional<QFont> font = FontWithName(mapped, fontSize)) document_.setFont(*font);
  }
  document_.setTitleRow(data_[298] != 0);
  document_.setTitleColumn(data_[299] != 0);
  document_.setShowFormulas(data_[300] != 0);
  document_.setConstrainText(data_[302] != 0);
  document_.setPrintLabels(data_[304] != 0);
  document_.setPrintGrid(data_[305] != 0);
  const int64_t digits = TruncatedDigits(F64(data_, 32));
  document_.setDefaultDigitCount(digits != 0 ? digits : kDefaultDigits);

  if (std::optional<CAFormat> format = CreateFormatFromPockwell(U32(data_, 28), 0xFFFFFFFF)) {
    format->setMask(kFormatDefaultMask);
    document_.setDefaultFormat(*format);
    document_.resetDefaultFormat();
  }

  for (uint64_t i = 0; i < columns.size; ++i) {
    if (!FLReadingMeter::Checkpoint()) return stopped(failure);
    const QByteArrayView record = data_.sliced(qsizetype(columns.offset + i * kFormatRecordSize), kFormatRecordSize);
    const std::optional<CAFormat> format = CreateFormatFromPockwell(U32(record, 2), U32(record, 6));
    const uint16_t points = U16(record, 10);
    const int64_t width = TruncatedDigits(F64(record, 12));
    if (!format && width == 0 && points == 0) continue;
    CAColumn* column = document_.columnImperative(U16(record, 0));
    column->setFormat(format);
    if (width != 0) {
      column->setDigitCount(width);
      column->setWidth(int64_t(std::ceil(float(width) * float(document_.digitWidth()))) * kEmuPerPoint);
    } else if (points != 0) {
      column->setDigitCount(-1);
      column->setWidth(int64_t(points) * kEmuPerPoint);
    }
  }
  for (uint64_t i = 0; i < rows.size; ++i) {
    if (!FLReadingMeter::Checkpoint()) return stopped(failure);
    const QByteArrayView record = data_.sliced(qsizetype(rows.offset + i * kFormatRecordSize), kFormatRecordSize);
    if (std::optional<CAFormat> format = CreateFormatFromPockwell(U32(record, 2), U32(record, 6)))
      document_.rowImperative(U16(record, 0))->setFormat(std::move(format));
  }

  // Strings, a length byte and Mac OS Roman bytes each, within their section.
  std::vector<QString> texts;
  const uint16_t stringCount = U16(data_, 12);
  uint64_t at = strings.offset;
  const uint64_t stringsEnd = strings.offset + strings.size;
  for (uint32_t i = 0; i < stringCount; ++i) {
    if (!FLReadingMeter::Checkpoint()) return stopped(failure);
    if (at + 1 > stringsEnd) return fail(failure, kPockwellDamagedReason);
    const uint8_t length = uint8_t(data_[qsizetype(at)]);
    if (at + 1 + length > stringsEnd) return fail(failure, kPockwellDamagedReason);
    texts.push_back(DecodeText(data_.sliced(qsizetype(at + 1), length), kFLEncodingMacRoman).value_or(QStringLiteral("")));
    at += 1 + length;
  }

  // Cells: the records of a row through their next-cell indexes, rows through the first
  // record of each. A record met twice means the chain loops.
  const uint64_t recordCount = cells.size / kCellRecordSize;
  std::vector<bool> seen(recordCount, false);
  auto record = [&](uint16_t index) -> std::optional<QByteArrayView> {
    if (index >= recordCount || seen[index]) return std::nullopt;
    seen[index] = true;
    return data_.sliced(qsizetype(cells.offset + uint64_t(index) * kCellRecordSize), kCellRecordSize);
  };
  for (uint16_t rowIndex = U16(data_, 14); rowIndex != kNone;) {
    const std::optional<QByteArrayView> first = record(rowIndex);
    if (!first) return fail(failure, kPockwellDamagedReason);
    std::optional<QByteArrayView> current = first;
    while (true) {
      if (!FLReadingMeter::Checkpoint()) return stopped(failure);
      const QByteArrayView cell = *current;
      const GridPoint point{U16(cell, 0), U16(cell, 2)};
      const uint16_t flags = U16(cell, 8);
      const uint16_t stringIndex = U16(cell, 10);
      auto made = std::make_unique<CACell>(point, &document_);
      std::optional<CAFormat> format = CreateFormatFromPockwell(U32(cell, 12), U32(cell, 16));
      const bool formatted = format.has_value();
      made->setFormat(std::move(format));
      bool store = true;
      if (flags & 0x08) {
        store = formatted;
      } else if (flags & 0x04) {
        const int32_t dayIndex = int32_t(U16(cell, 22)) * 10000 + uint8_t(cell[21]) * 100 + uint8_t(cell[20]);
        made->setNumberValue(CANumber(dayIndex));
        made->setValueType(kValueDate);
      } else if (stringIndex == kNone) {
        made->setNumberValue(CANumber::withReal(F64(cell, 28)));
      } else {
        if (stringIndex >= texts.size()) {
          if (failure) *failure = QString();
          return false;
        }
        QString text = texts[stringIndex];
        if (text.size() >= 5 && text.startsWith(QLatin1Char('='))) text = RewritePockwellFormula(text);
        // Pockwell wrote its texts and formulas with "." in numbers and "," between arguments,
        // whatever the locale they were typed in.
        made->setFormulaFromC(text);
      }
      if (store) document_.storeCell(std::move(made));
      const uint16_t next = U16(cell, 4);
      if (next == kNone) break;
      current = record(next);
      if (!current) return fail(failure, kPockwellDamagedReason);
    }
    rowIndex = U16(*first, 6);
  }
  return true;
}

}  // namespace

Kolor PockwellKolor(uint32_t index, bool fontColor) {
  if (index == 0) index = fontColor ? 1 : 16;
  if (index == 1) return MakeKolor(0, 0, 0);
  if (index <= 15) {
    const uint8_t level = uint8_t((index - 1) * 17);
    return MakeKolor(level, level, level);
  }
  if (index == 16) return MakeKolor(255, 255, 255);
  const uint32_t k = index - 17;
  return MakeKolor(uint8_t((k % 4) * 85), uint8_t(((k / 4) % 4) * 85), uint8_t(((k / 16) % 7) * 42));
}

std::optional<CAFormat> CreateFormatFromPockwell(uint32_t word, uint32_t mask) {
  uint64_t bits = 0;
  if (mask & 0x80000000u) bits |= kFormatBold;
  if (mask & 0x40000000u) bits |= kFormatItalic;
  if (mask & 0x20000000u) bits |= kFormatUnderline;
  if (mask & 0x00C00000u) bits |= kFormatAlignment;
  if (mask & 0x0000FF00u) bits |= kFormatTextColor;
  if (mask & 0x000000FFu) bits |= kFormatBackground;
  if (mask & 0x1F000000u) bits |= kFormatNumberFormat;
  if (bits == 0) return std::nullopt;
  CAFormat format;
  if (bits & kFormatBold) format.setBold(word & 0x80000000u);
  if (bits & kFormatItalic) format.setItalic(word & 0x40000000u);
  if (bits & kFormatUnderline) format.setUnderline(word & 0x20000000u);
  if (bits & kFormatAlignment) {
    // Pockwell orders its alignments left, centre, right: 2 is centre and 3 right, anything
    // else left.
    const uint32_t alignment = (word >> 22) & 0x03;
    format.setAlignment(alignment == 2 ? kAlignmentCenter : alignment == 3 ? kAlignmentRight : kAlignmentLeft);
  }
  if (bits & kFormatTextColor) format.setTextKolor(PockwellKolor((word >> 8) & 0xFF, true));
  if (bits & kFormatBackground) format.setBackgroundKolor(PockwellKolor(word & 0xFF, false));
  if (bits & kFormatNumberFormat) {
    CANumberFormat number;
    SetNumberFormatFromCode(number, (word >> 24) & 0x1F);
    format.setNumberFormat(&number);
  }
  format.setMask(bits);
  return format;
}

QString RewritePockwellFormula(const QString& formula) {
  // Pockwell's PMT takes rate, periods and value, in the order ours does: only names change.
  QString text = formula;
  for (const FormulaRename& rename : kFormulaRenames)
    text.replace(QLatin1String(rename.from), QLatin1String(rename.to), Qt::CaseInsensitive);
  return text;
}

bool ImportPockwellData(CADocument& document, QByteArrayView data, QString* failure) {
  return PockwellReader(document, data).run(failure);
}

bool CADocument::loadPockwellFile(const QString& path, FLError* error) {
  // Its cells and their formulas are held within what an open may take.
  FLReadingMeter meter(FileReadingBudget());
  QByteArray bytes;
  if (!ReadWholeFile(path, &bytes, error)) return false;
  const QFileInfo info(path);
  const QDateTime created = info.birthTime().isValid() ? info.birthTime() : info.lastModified();
  setFileCreationDate(double(created.toSecsSinceEpoch()));
  QString failure;
  const bool read = ImportPockwellData(*this, bytes, &failure);
  // The cells made since the meter last read the heap count too.
  if (meter.passed() || (read && !meter.measure())) return RefuseTooLargeFile(error, meter.grown());
  if (read) return true;
  if (!failure.isEmpty()) SetError(error, kBadContentCode, failure);
  return false;
}
