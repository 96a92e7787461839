// A delegate that records what the workbook import hands over, and a writer of small BIFF8
// workbooks in compound files for the cases the sample files do not cover (and for the
// benchmark, which includes this header).
#pragma once

#include "calculator/fileformats/caExcelImport.h"

#include <QByteArray>
#include <QString>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

struct RecordedCell {
  XLValue value;
  QString formula;  // "=..." for a converted formula; the value is then the cached one
  std::optional<CAExcelFormatRecord> format;
};

class RecordingExcelDelegate : public ExcelDelegate {
 public:
  void setXLFont(const QFont& f) override { font = f; }
  void setXLDefaultWidth(uint64_t digits) override { defaultWidth = digits; }
  void setWidth(uint64_t digits, int64_t column, const CAExcelFormatRecord*) override { widths[column] = digits; }
  void setHeight(int64_t height, int64_t row, const CAExcelFormatRecord*) override { heights[row] = height; }
  void setCell(const GridPoint& point, const XLValue& value, const CAExcelFormatRecord* format) override {
    RecordedCell& cell = cells[{point.x, point.y}];
    cell.value = value;
    cell.formula.clear();
    if (format) cell.format = *format;
  }
  bool setCell(const GridPoint& point, const QString& formula, const XLValue& cached,
               const CAExcelFormatRecord* format) override {
    if (refuseFormulas) return false;
    RecordedCell& cell = cells[{point.x, point.y}];
    cell.value = cached;
    cell.formula = formula;
    if (format) cell.format = *format;
    return true;
  }
  void beginSheet(uint64_t, int64_t columnOffset) override { sheetOffsets.push_back(columnOffset); }

  const RecordedCell* at(int64_t x, int64_t y) const {
    const auto found = cells.find({x, y});
    return found == cells.end() ? nullptr : &found->second;
  }

  // The cell, or an empty one (no value, no format) when none was stored there.
  const RecordedCell& get(int64_t x, int64_t y) const {
    static const RecordedCell kEmpty;
    const RecordedCell* cell = at(x, y);
    return cell ? *cell : kEmpty;
  }

  bool refuseFormulas = false;
  std::optional<QFont> font;
  uint64_t defaultWidth = 0;
  std::map<int64_t, uint64_t> widths;
  std::map<int64_t, int64_t> heights;
  std::map<std::pair<int64_t, int64_t>, RecordedCell> cells;
  std::vector<int64_t> sheetOffsets;
};

// Little-endian record bodies.
class Bytes {
 public:
  Bytes& u8(uint32_t v) { data.append(char(v)); return *this; }
  Bytes& u16(uint32_t v) { char b[2]; qToLittleEndian<uint16_t>(uint16_t(v), b); data.append(b, 2); return *this; }
  Bytes& u32(uint32_t v) { char b[4]; qToLittleEndian<uint32_t>(v, b); data.append(b, 4); return *this; }
  Bytes& f64(double v) { char b[8]; qToLittleEndian<double>(v, b); data.append(b, 8); return *this; }
  Bytes& raw(const QByteArray& bytes) { data.append(bytes); return *this; }
  // A string with a 16-bit count and 8-bit characters (Latin-1).
  Bytes& latin1(const QString& text, bool longCount = true) {
    if (longCount) u16(uint32_t(text.size())); else u8(uint32_t(text.size()));
    u8(0);
    data.append(text.toLatin1());
    return *this;
  }
  QByteArray data;
};

// The records of a workbook stream.
class BiffWriter {
 public:
  void record(uint16_t id, const QByteArray& body) {
    Bytes header;
    header.u16(id).u16(uint32_t(body.size()));
    stream.append(header.data).append(body);
  }
  void bof(uint16_t type) { record(0x809, Bytes().u16(0x0600).u16(type).u16(0).u16(0).u32(0).u32(0).data); }
  void eof() { record(0x0A, QByteArray()); }
  // A BOUNDSHEET whose offset is patched by patchSheet once the sheet is written.
  size_t boundSheet(uint8_t visibility = 0, uint8_t type = 0) {
    const size_t at = size_t(stream.size()) + 4;
    record(0x85, Bytes().u32(0).u8(visibility).u8(type).latin1(QStringLiteral("S"), false).data);
    return at;
  }
  void patchSheet(size_t at) { qToLittleEndian<uint32_t>(uint32_t(stream.size()), stream.data() + at); }
  QByteArray stream;
};

// A version-3 compound file holding one stream "Workbook" (and, when given, more streams),
// with the allocation table placed through the header's 109 entries and extension sectors as
// needed. Streams below 4096 bytes go into the mini stream unless `forceRegular`.
inline QByteArray MakeCompoundFile(const QByteArray& workbook, const std::vector<QString>& extraNames = {},
                                   bool forceRegular = false);
// A compound file of a minimal workbook: globals with the given records before the sheets,
// one XF of each kind needed, and one visible sheet per entry of `sheets` (each the records
// between its BOF and EOF).
// `visibility` gives each sheet's BOUNDSHEET visibility byte (0 visible when absent).
inline QByteArray MakeWorkbook(const QByteArray& globals, const std::vector<QByteArray>& sheets,
                               const std::vector<uint8_t>& visibility = {});
// The stream of the same workbook, without its container.
inline QByteArray MakeWorkbookStream(const QByteArray& globals, const std::vector<QByteArray>& sheets,
                                     const std::vector<uint8_t>& visibility = {});

// Cell and sheet records.
namespace xls {
inline QByteArray Record(uint16_t id, const QByteArray& body) {
  return Bytes().u16(id).u16(uint32_t(body.size())).data + body;
}
inline QByteArray Number(uint16_t row, uint16_t column, uint16_t xf, double v) {
  return Record(0x203, Bytes().u16(row).u16(column).u16(xf).f64(v).data);
}
inline QByteArray Rk(uint16_t row, uint16_t column, uint16_t xf, uint32_t rk) {
  return Record(0x27E, Bytes().u16(row).u16(column).u16(xf).u32(rk).data);
}
inline QByteArray Dimensions(uint16_t columnLimit) {
  return Record(0x200, Bytes().u32(0).u32(10).u16(0).u16(columnLimit).u16(0).data);
}
inline QByteArray LabelSst(uint16_t row, uint16_t column, uint16_t xf, uint32_t index) {
  return Record(0xFD, Bytes().u16(row).u16(column).u16(xf).u32(index).data);
}
inline QByteArray Label(uint16_t row, uint16_t column, const QString& text, uint16_t id = 0x204) {
  Bytes body;
  body.u16(row).u16(column).u16(0).latin1(text);
  if (id == 0xD6) body.u16(0);
  return Record(id, body.data);
}
inline QByteArray BoolErr(uint16_t row, uint16_t column, uint8_t value, bool error) {
  return Record(0x205, Bytes().u16(row).u16(column).u16(0).u8(value).u8(error ? 1 : 0).data);
}
// A FORMULA with a numeric cached result, or a special one (`special` is its type byte).
inline QByteArray Formula(uint16_t row, uint16_t column, uint16_t xf, const QByteArray& tokens,
                          double cached, int special = -1, uint16_t options = 0) {
  Bytes body;
  body.u16(row).u16(column).u16(xf);
  if (special < 0) body.f64(cached);
  else body.u8(uint32_t(special)).u8(0).u8(uint32_t(cached)).u8(0).u8(0).u8(0).u16(0xFFFF);
  body.u16(options).u32(0).u16(uint32_t(tokens.size())).raw(tokens);
  return Record(0x06, body.data);
}
inline QByteArray Sst(const std::vector<QString>& strings) {
  Bytes body;
  body.u32(uint32_t(strings.size())).u32(uint32_t(strings.size()));
  for (const QString& s : strings) body.latin1(s);
  return Record(0xFC, body.data);
}
// A ROW record whose cells take the XF's format (options bit 7).
inline QByteArray Row(uint16_t row, uint16_t xf) {
  return Record(0x208, Bytes().u16(row).u16(0).u16(1).u16(300).u16(0).u16(0).u16(0x80).u16(xf).data);
}
// A cell XF of the number format, no font, fill or alignment of its own.
inline QByteArray Xf(uint16_t format) {
  return Record(0xE0, Bytes().u16(0).u16(format).u16(0).u8(0).u8(0).u8(0).u8(0).u32(0).u32(0).u16(0).data);
}
// A FORMAT of 8-bit characters, in CONTINUE records past the 8,224 bytes of a record's body,
// each continuation beginning with its option byte.
inline QByteArray Format(uint16_t index, const QString& code) {
  const QByteArray characters = code.toLatin1();
  const qsizetype first = std::min<qsizetype>(characters.size(), 8224 - 5);
  QByteArray records = Record(0x41E, Bytes().u16(index).u16(uint32_t(code.size())).u8(0).data + characters.left(first));
  for (qsizetype at = first; at < characters.size(); at += 8223)
    records += Record(0x3C, QByteArray(1, '\0') + characters.mid(at, 8223));
  return records;
}
// A shared-string table whose count is 0xFFFFFFFF and whose strings read in two ways that part
// and meet again: each block is a surrogate pair counted as two units (or as one character,
// taking in the next string's count) and a second string. Unless `readable`, the table ends in
// a string whose option byte is no option byte, so that no reading takes it whole; when
// `readable`, it begins with a string that reads only counted by characters ("\U0001F600A").
inline QByteArray AmbiguousSharedStrings(int blocks, bool readable = false) {
  Bytes body;
  body.u32(0xFFFFFFFF).u32(0xFFFFFFFF);
  if (readable) body.raw(QByteArray::fromHex("0200013DD800DE4100"));
  for (int i = 0; i < blocks; ++i) body.raw(QByteArray::fromHex("0200013DD800DE02000100014100"));
  if (!readable) body.raw(QByteArray::fromHex("0000FF"));
  return Record(0xFC, body.data);
}
// A running total down column B of the numbers (or, with `asText`, the texts of numbers) in
// column A: B1 = A1 + 0, then Bn = An + B(n-1). The stored results are the totals Excel gives
// the texts, or twice the totals of the numbers: either way no formula computes its stored value,
// not even from the stored value before it.
inline QByteArray RunningTotal(uint16_t rows, bool asText) {
  const auto ref = [](uint16_t column, uint16_t row) { return Bytes().u8(0x24).u16(row).u16(0xC000 | column).data; };
  QByteArray sheet = Dimensions(2);
  double total = 0;
  for (uint16_t row = 0; row < rows; ++row) {
    const double value = row % 7 + 1;
    total += value;
    sheet += asText ? Label(row, 0, QString::number(value)) : Number(row, 0, 0, value);
    const QByteArray previous = row == 0 ? Bytes().u8(0x1E).u16(0).data : ref(1, uint16_t(row - 1));
    sheet += Formula(row, 1, 0, ref(0, row) + previous + QByteArray(1, 0x03), asText ? total : 2 * total);
  }
  return sheet;
}
// A cell of a column of formulas shared as LibreOffice stores them: every cell's FORMULA points
// at the first cell, whose FORMULA is followed by the SHRFMLA holding the tokens, written
// relative to each cell (tRefN, tAreaN).
inline QByteArray SharedFormula(uint16_t row, uint16_t column, uint16_t firstRow, uint16_t lastRow,
                                const QByteArray& tokens, double cached) {
  QByteArray records = Formula(row, column, 0, Bytes().u8(0x01).u16(firstRow).u16(column).data, cached, -1, 0x08);
  if (row == firstRow)
    records += Record(0x4BC, Bytes().u16(firstRow).u16(lastRow).u8(column).u8(column).u8(0)
                                 .u8(uint32_t(lastRow - firstRow + 1)).u16(uint32_t(tokens.size())).raw(tokens).data);
  return records;
}
// B1 = 2 and, in rows 3-12, an amount in A and three shared columns: =An*B$1, =SUM($A$3:An) and
// =An/A$12, each coordinate relative or absolute as its flags say.
inline const double kSharedAmounts[] = {5, 3, 8, 1, 9, 2, 7, 4, 6, 10};
inline QByteArray SharedFormulasSheet() {
  // Offsets in the column fields: one column left is 0xFF, two 0xFE, three 0xFD.
  const QByteArray timesFactor = Bytes().u8(0x4C).u16(0).u16(0xC0FF).u8(0x4C).u16(0).u16(0x4000).u8(0x05).data;
  const QByteArray runningSum = Bytes().u8(0x2D).u16(2).u16(0).u16(0x0000).u16(0xC0FE).u8(0x42).u8(1).u16(4).data;
  const QByteArray share = Bytes().u8(0x4C).u16(0).u16(0xC0FD).u8(0x4C).u16(11).u16(0x40FD).u8(0x06).data;
  QByteArray sheet = Dimensions(4) + Number(0, 1, 0, 2);
  double total = 0;
  for (uint16_t row = 2; row < 12; ++row) {
    const double amount = kSharedAmounts[row - 2];
    total += amount;
    sheet += Number(row, 0, 0, amount) + SharedFormula(row, 1, 2, 11, timesFactor, amount * 2) +
             SharedFormula(row, 2, 2, 11, runningSum, total) + SharedFormula(row, 3, 2, 11, share, amount / 10);
  }
  return sheet;
}

// The add-in functions' book and the EXTERNSHEET entry 0 that external names refer to, as
// LibreOffice writes them (the workbook's own book first, the add-in book second) or, with
// `addInFirst`, as Gnumeric does. The names are the add-in book's EXTERNNAMEs, from 1.
inline QByteArray AddInBook(bool addInFirst, const std::vector<QString>& names) {
  const QByteArray own = Record(0x1AE, Bytes().u16(1).u16(0x0401).data);
  QByteArray addIn = Record(0x1AE, Bytes().u16(1).u16(0x3A01).data);
  for (const QString& name : names)
    addIn += Record(0x23, Bytes().u16(0).u32(0).latin1(name, false).u16(2).u8(0x1C).u8(0x17).data);
  const uint16_t addInBook = addInFirst ? 0 : 1;
  return (addInFirst ? addIn + own : own + addIn) +
         Record(0x17, Bytes().u16(2).u16(addInBook).u16(0xFFFE).u16(0xFFFE).u16(1 - addInBook).u16(0).u16(0).data);
}
// A call of the add-in function of external name `index` on the arguments' tokens.
inline QByteArray AddInCall(uint16_t index, const QByteArray& arguments, uint8_t count) {
  return Bytes().u8(0x39).u16(0).u16(index).u16(0).data + arguments + Bytes().u8(0x42).u8(count + 1).u16(255).data;
}
}  // namespace xls

// ---------------------------------------------------------------------------------------------
// The writers

namespace excel_test_detail {

inline constexpr uint32_t kFree = 0xFFFFFFFF;
inline constexpr uint32_t kEnd = 0xFFFFFFFE;
inline constexpr uint32_t kFatMark = 0xFFFFFFFD;
inline constexpr uint32_t kDifatMark = 0xFFFFFFFC;

inline void Put32(QByteArray& data, qsizetype at, uint32_t v) { qToLittleEndian<uint32_t>(v, data.data() + at); }
inline void Put16(QByteArray& data, qsizetype at, uint16_t v) { qToLittleEndian<uint16_t>(v, data.data() + at); }

inline QByteArray Entry(const QString& name, uint8_t type, uint32_t start, uint64_t size) {
  QByteArray entry(128, '\0');
  for (qsizetype i = 0; i < name.size() && i < 31; ++i) Put16(entry, 2 * i, name[i].unicode());
  Put16(entry, 64, uint16_t((name.size() + 1) * 2));
  entry[66] = char(type);
  Put32(entry, 68, kFree);
  Put32(entry, 72, kFree);
  Put32(entry, 76, kFree);
  Put32(entry, 116, start);
  qToLittleEndian<uint64_t>(size, entry.data() + 120);
  return entry;
}

inline uint32_t Sectors(qsizetype bytes, qsizetype unit) { return uint32_t((bytes + unit - 1) / unit); }

}  // namespace excel_test_detail

inline QByteArray MakeCompoundFile(const QByteArray& workbook, const std::vector<QString>& extraNames,
                                   bool forceRegular) {
  using namespace excel_test_detail;
  const bool mini = workbook.size() < 4096 && !forceRegular;
  QByteArray regular = workbook;  // what lives in regular sectors: the stream or the mini stream
  QByteArray miniFat;
  if (mini) {
    const uint32_t miniSectors = Sectors(workbook.size(), 64);
    regular.resize(qsizetype(miniSectors) * 64, '\0');
    miniFat = QByteArray(qsizetype(Sectors(miniSectors * 4, 512)) * 512, char(0xFF));
    for (uint32_t i = 0; i < miniSectors; ++i) Put32(miniFat, 4 * i, i + 1 < miniSectors ? i + 1 : kEnd);
  }
  QByteArray directory;
  const uint32_t dataSectors = Sectors(regular.size(), 512);
  const uint32_t miniFatSectors = Sectors(miniFat.size(), 512);
  // The root's children hang from "Workbook" (entry 1), each further stream the right sibling of
  // the one before: readers that walk the tree from the root find them all.
  directory += Entry(QStringLiteral("Root Entry"), 5, mini ? 0 : kEnd, mini ? uint64_t(regular.size()) : 0);
  Put32(directory, 76, 1);
  directory += Entry(QStringLiteral("Workbook"), 2, 0, uint64_t(workbook.size()));
  for (const QString& name : extraNames) {
    Put32(directory, directory.size() - 128 + 72, uint32_t(directory.size() / 128));
    directory += Entry(name, 2, kEnd, 0);
  }
  directory.resize(qsizetype(Sectors(directory.size(), 512)) * 512, '\0');
  const uint32_t directorySectors = Sectors(directory.size(), 512);

  const uint32_t fixed = dataSectors + miniFatSectors + directorySectors;
  uint32_t fatSectors = 1, difatSectors = 0;
  while (true) {
    const uint32_t total = fixed + fatSectors + difatSectors;
    const uint32_t needFat = Sectors(qsizetype(total) * 4, 512);
    const uint32_t needDifat = needFat > 109 ? Sectors(qsizetype(needFat - 109) * 4, 508) : 0;
    if (needFat == fatSectors && needDifat == difatSectors) break;
    fatSectors = needFat;
    difatSectors = needDifat;
  }
  const uint32_t total = fixed + fatSectors + difatSectors;
  const uint32_t miniFatStart = dataSectors;
  const uint32_t directoryStart = miniFatStart + miniFatSectors;
  const uint32_t fatStart = directoryStart + directorySectors;
  const uint32_t difatStart = fatStart + fatSectors;

  QByteArray fat(qsizetype(fatSectors) * 512, char(0xFF));
  auto chain = [&](uint32_t start, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) Put32(fat, 4 * (start + i), i + 1 < count ? start + i + 1 : kEnd);
  };
  chain(0, dataSectors);
  chain(miniFatStart, miniFatSectors);
  chain(directoryStart, directorySectors);
  for (uint32_t i = 0; i < fatSectors; ++i) Put32(fat, 4 * (fatStart + i), kFatMark);
  for (uint32_t i = 0; i < difatSectors; ++i) Put32(fat, 4 * (difatStart + i), kDifatMark);

  QByteArray header(512, '\0');
  const uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  memcpy(header.data(), signature, 8);
  Put16(header, 24, 0x3E);
  Put16(header, 26, 3);
  Put16(header, 28, 0xFFFE);
  Put16(header, 30, 9);
  Put16(header, 32, 6);
  Put32(header, 44, fatSectors);
  Put32(header, 48, directoryStart);
  Put32(header, 56, 4096);
  Put32(header, 60, miniFatSectors ? miniFatStart : kEnd);
  Put32(header, 64, miniFatSectors);
  Put32(header, 68, difatSectors ? difatStart : kEnd);
  Put32(header, 72, difatSectors);
  for (uint32_t i = 0; i < 109; ++i) Put32(header, 76 + 4 * i, i < fatSectors ? fatStart + i : kFree);
  QByteArray difat(qsizetype(difatSectors) * 512, char(0xFF));
  for (uint32_t i = 109; i < fatSectors; ++i) {
    const uint32_t k = i - 109;
    Put32(difat, qsizetype(k / 127) * 512 + (k % 127) * 4, fatStart + i);
  }
  for (uint32_t d = 0; d < difatSectors; ++d)
    Put32(difat, qsizetype(d) * 512 + 508, d + 1 < difatSectors ? difatStart + d + 1 : kEnd);

  regular.resize(qsizetype(dataSectors) * 512, '\0');
  QByteArray file = header + regular + miniFat + directory + fat + difat;
  (void)total;
  return file;
}

inline QByteArray MakeWorkbook(const QByteArray& globals, const std::vector<QByteArray>& sheets,
                               const std::vector<uint8_t>& visibility) {
  return MakeCompoundFile(MakeWorkbookStream(globals, sheets, visibility));
}

inline QByteArray MakeWorkbookStream(const QByteArray& globals, const std::vector<QByteArray>& sheets,
                                     const std::vector<uint8_t>& visibility) {
  BiffWriter w;
  w.bof(5);
  w.record(0x42, Bytes().u16(1200).data);
  // One font, Arial 10.
  w.record(0x31, Bytes().u16(200).u16(0).u16(0x7FFF).u16(400).u16(0).u8(0).u8(0).u8(0).u8(0).latin1(QStringLiteral("Arial"), false).data);
  // XF 0 general, 1 "m/d/yy", 2 "h:mm", 3 a 50% grey pattern.
  auto xf = [&](uint16_t format, uint32_t fill) {
    w.record(0xE0, Bytes().u16(0).u16(format).u16(0).u8(0).u8(0).u8(0).u8(0).u32(0).u32(fill).u16(0).data);
  };
  xf(0, 0);
  xf(14, 0);
  xf(20, 0);
  xf(0, 2u << 26);
  w.stream.append(globals);
  std::vector<size_t> patches;
  for (size_t i = 0; i < sheets.size(); ++i)
    patches.push_back(w.boundSheet(i < visibility.size() ? visibility[i] : 0));
  w.eof();
  for (size_t i = 0; i < sheets.size(); ++i) {
    w.patchSheet(patches[i]);
    w.bof(0x10);
    w.stream.append(sheets[i]);
    w.eof();
  }
  return w.stream;
}
