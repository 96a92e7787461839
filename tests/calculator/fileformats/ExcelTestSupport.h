// A delegate that records what the workbook import hands over, and a writer of small BIFF8
// workbooks in compound files for the cases the sample files do not cover.
#pragma once

#include "calculator/fileformats/caExcelImport.h"

#include <QByteArray>
#include <QString>
#include <QtEndian>

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
QByteArray MakeCompoundFile(const QByteArray& workbook, const std::vector<QString>& extraNames = {},
                            bool forceRegular = false);
// A compound file of a minimal workbook: globals with the given records before the sheets,
// one XF of each kind needed, and one visible sheet per entry of `sheets` (each the records
// between its BOF and EOF).
QByteArray MakeWorkbook(const QByteArray& globals, const std::vector<QByteArray>& sheets);
