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
QByteArray MakeCompoundFile(const QByteArray& workbook, const std::vector<QString>& extraNames = {},
                            bool forceRegular = false);
// A compound file of a minimal workbook: globals with the given records before the sheets,
// one XF of each kind needed, and one visible sheet per entry of `sheets` (each the records
// between its BOF and EOF).
// `visibility` gives each sheet's BOUNDSHEET visibility byte (0 visible when absent).
QByteArray MakeWorkbook(const QByteArray& globals, const std::vector<QByteArray>& sheets,
                        const std::vector<uint8_t>& visibility = {});
// The stream of the same workbook, without its container.
QByteArray MakeWorkbookStream(const QByteArray& globals, const std::vector<QByteArray>& sheets,
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
}  // namespace xls
