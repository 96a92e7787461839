// Reads the records of a BIFF8 workbook stream in place. A record followed by CONTINUE records is
// joined into one body, with the offsets where each continuation began kept, since a string that
// crosses one starts it with a new option byte. Every read is checked against its body: a short
// body marks the workbook damaged and the import fails with the format message.
#include "calculator/fileformats/caExcelImport.h"

#include "calculator/fileformats/caCompoundFile.h"
#include "calculator/fileformats/caExcelFormula.h"
#include "calculator/fileformats/caImportAlert.h"
#include "calculator/model/caExcelNumberFormat.h"
#include "framlet/foundation/Kolor.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flFonts.h"
#include "framlet/foundation/flReadingMeter.h"
#include "framlet/foundation/flSeededHash.h"
#include "platform/TextEncodings.h"

#include <QDate>
#include <QtEndian>

#include <array>
#include <cmath>
#include <memory>
#include <new>
#include <unordered_map>
#include <unordered_set>

namespace {

// Record identifiers.
enum : uint16_t {
  kFormula = 0x06, kEof = 0x0A, kName = 0x18, kDateMode = 0x22, kExternName = 0x23,
  kExternSheet = 0x17, kFilePass = 0x2F, kFont = 0x31, kContinue = 0x3C, kCodePage = 0x42, kDefColWidth = 0x55,
  kColInfo = 0x7D, kWsBool = 0x81, kBoundSheet = 0x85, kPalette = 0x92, kMulRk = 0xBD,
  kMulBlank = 0xBE, kRString = 0xD6, kXf = 0xE0, kSst = 0xFC, kLabelSst = 0xFD,
  kSupBook = 0x1AE, kDimensions = 0x200, kBlank = 0x201, kNumber = 0x203, kLabel = 0x204,
  kBoolErr = 0x205, kString = 0x207, kRow = 0x208, kRk = 0x27E, kFormat = 0x41E,
  kSharedFormula = 0x4BC, kBof = 0x809,
};

constexpr uint16_t kBiff8Version = 0x0600;
constexpr int kUtf16CodePage = 1200;
constexpr const char* kStrayContinueReport = "Continue record not handled by previous";
constexpr const char* kUntestedCodePageReport = "Untested code";
constexpr const char* kFormulaPlaceholder = "<Formula>";
constexpr int64_t kRowHeightEmuPerTwip = 635;
// A BIFF8 worksheet has 256 columns; a larger count is a damaged or hostile DIMENSIONS record.
constexpr int64_t kSheetColumns = 256;

struct BuiltInFormat {
  uint16_t index;
  const char* code;
};
constexpr std::array<BuiltInFormat, 34> kBuiltInFormats = {{
    {1, "0"}, {2, "0.00"}, {3, "#,##0"}, {4, "#,##0.00"}, {5, "$#,##0_);($#,##0)"},
    {6, "$#,##0_);[Red]($#,##0)"}, {7, "$#,##0.00_);($#,##0.00)"},
    {8, "$#,##0.00_);[Red]($#,##0.00)"}, {9, "0%"}, {10, "0.00%"}, {11, "0.00E+00"},
    {12, "# ?/?"}, {13, "# ??"}, {14, "m/d/yy"}, {15, "d-mmm-yy"}, {16, "d-mmm"},
    {17, "mmm-yy"}, {18, "h:mm AM/PM"}, {19, "h:mm:ss AM/PM"}, {20, "h:mm"}, {21, "h:mm:ss"},
    {22, "m/d/yy h:mm"}, {37, "_(#,##0_);(#,##0)"}, {38, "_(#,##0_);[Red](#,##0)"},
    {39, "_(#,##0.00_);(#,##0.00)"}, {40, "_(#,##0.00_);[Red](#,##0.00)"},
    {41, "_($* #,##0_);_($* (#,##0);_($* -_);_(@_)"}, {42, "_(* #,##0_);_(* (#,##0);_(* -_);_(@_)"},
    {43, "_($* #,##0.00_);_($* (#,##0.00);_($* -??_);_(@_)"},
    {44, "_(* #,##0.00_);_(* (#,##0.00);_(* -??_);_(@_)"}, {45, "mm:ss"}, {46, "[h]:mm:ss"},
    {47, "mm:ss.0"}, {48, "##0.0E+00"},
}};

struct Rgb {
  uint8_t r, g, b;
};
constexpr std::array<Rgb, 56> kDefaultPalette = {{
    {0, 0, 0},       {255, 255, 255}, {255, 0, 0},     {0, 255, 0},     {0, 0, 255},
    {255, 255, 0},   {255, 0, 255},   {0, 255, 255},   {128, 0, 0},     {0, 128, 0},
    {0, 0, 128},     {128, 128, 0},   {128, 0, 128},   {0, 128, 128},   {192, 192, 192},
    {128, 128, 128}, {153, 153, 255}, {153, 51, 102},  {255, 255, 204}, {204, 255, 255},
    {102, 0, 102},   {255, 128, 128}, {0, 102, 204},   {204, 204, 255}, {0, 0, 128},
    {255, 0, 255},   {255, 255, 0},   {0, 255, 255},   {128, 0, 128},   {128, 0, 0},
    {0, 128, 128},   {0, 0, 255},     {0, 204, 255},   {204, 255, 255}, {204, 255, 204},
    {255, 255, 153}, {153, 204, 255}, {255, 153, 204}, {204, 153, 255}, {255, 204, 153},
    {51, 102, 255},  {51, 204, 204},  {153, 204, 0},   {255, 204, 0},   {255, 153, 0},
    {255, 102, 0},   {102, 102, 153}, {150, 150, 150}, {0, 51, 102},    {51, 153, 102},
    {0, 51, 0},      {51, 51, 0},     {153, 51, 0},    {153, 51, 102},  {51, 51, 153},
    {51, 51, 51},
}};

struct ErrorText {
  uint8_t code;
  const char* text;
};
constexpr std::array<ErrorText, 7> kErrorTexts = {{
    {0x00, "#NULL!"}, {0x07, "#DIV/0!"}, {0x0F, "#VALUE!"}, {0x17, "#REF!"},
    {0x1D, "#NAME?"}, {0x24, "#NUM!"},   {0x2A, "#N/A"},
}};

QString ErrorTextForCode(uint8_t code) {
  for (const ErrorText& entry : kErrorTexts)
    if (entry.code == code) return QLatin1String(entry.text);
  return QStringLiteral("#N/A");
}

struct FontEntry {
  CAExcelFont style;
  uint64_t useCount = 0;
  QString name;
  double size = 12;
  int weightClass = 5;
};

struct Format {
  CAExcelFormatRecord record;
  int64_t fontEntry = -1;
  mutable int8_t isDate = -1;  // decided on first use
};

// A number-format code and, once an XF has used it, the code normalised: every XF of the code
// shares the one reading, so a long code costs its length once per import, not once per use.
struct NumberFormat {
  QString code;
  std::shared_ptr<const QStringList> sections;
};

struct Record {
  uint16_t id = 0;
  QByteArrayView body;
  QByteArray joined;                    // the body when CONTINUE records were joined to it
  std::vector<qsizetype> boundaries;    // where each continuation begins in the body
  qsizetype next = 0;                   // the stream offset of the following record
};

class Importer {
 public:
  Importer(QByteArrayView stream, ExcelDelegate& delegate) : stream_(stream), delegate_(delegate) {}

  bool run(XLImportResult* result, QString* failure);

 private:
  // Reading records and bodies.
  bool readRecord(qsizetype offset, Record& record);
  uint8_t u8(QByteArrayView body, qsizetype at) {
    if (at < 0 || at + 1 > body.size()) return damage(), 0;
    return uint8_t(body[at]);
  }
  uint16_t u16(QByteArrayView body, qsizetype at) {
    if (at < 0 || at + 2 > body.size()) return damage(), 0;
    return qFromLittleEndian<uint16_t>(body.data() + at);
  }
  uint32_t u32(QByteArrayView body, qsizetype at) {
    if (at < 0 || at + 4 > body.size()) return damage(), 0;
    return qFromLittleEndian<uint32_t>(body.data() + at);
  }
  double f64(QByteArrayView body, qsizetype at) {
    if (at < 0 || at + 8 > body.size()) return damage(), 0;
    return qFromLittleEndian<double>(body.data() + at);
  }
  void damage() { damaged_ = true; }
  void fail(const char* reason) {
    if (failure_.isNull()) failure_ = QString::fromUtf8(reason);
  }
  // A string at *at: a count of `countBytes` bytes, an option byte, then the characters; with
  // `extras` the rich-text runs and extended data of shared strings follow. Continuation
  // boundaries inside the characters bring a new option byte.
  QString readString(const Record& record, qsizetype* at, int countBytes, bool extras) {
    bool crossed = false, pairs = false;
    return readString(record, at, countBytes, extras, false, &crossed, &pairs);
  }
  // The same, the count taken as characters (a surrogate pair is one) when `byCharacters`;
  // *crossed tells whether the characters ran into a continuation, *pairs whether they hold a
  // surrogate pair.
  QString readString(const Record& record, qsizetype* at, int countBytes, bool extras, bool byCharacters,
                     bool* crossed, bool* pairs);
  // `count` characters (UTF-16 units, or with `byCharacters` surrogate pairs as one) from *at.
  // *crossed tells whether they ran into a continuation.
  QString readCharacters(const Record& record, qsizetype* at, uint32_t count, bool wide, bool byCharacters,
                         bool* crossed);
  // The shared strings of an SST by units; NO when the body does not read as strings throughout.
  bool readSharedStrings(const Record& record, std::vector<QString>& strings);
  // The same as Gnumeric writes them; NO when no reading takes the body whole.
  bool readGnumericSharedStrings(const Record& record, std::vector<QString>& strings);
  QString decode(QByteArrayView bytes, bool wide) const;

  // Globals.
  void handleGlobal(Record& record);
  void readFont(QByteArrayView body);
  void readXf(QByteArrayView body);
  void readSst(const Record& record);
  Kolor kolorFromIndex(uint32_t index, bool font) const;

  // Worksheets.
  void readSheet(uint64_t position);
  void handleCell(Record& record);
  void readFormula(const Record& record);
  const Format* formatAt(uint32_t xf);
  void passCell(uint32_t row, uint32_t column, uint32_t xf, XLValue value, const QString* formula);
  void passCell(const GridPoint& where, const Format* format, XLValue value, const QString* formula,
                bool marked);
  bool isDateFormat(const Format& format);
  XLValue rkValue(uint32_t rk) const;
  GridPoint point(uint32_t row, uint32_t column) {
    maxColumnSeen_ = std::max<int64_t>(maxColumnSeen_, column);
    return GridPoint{columnOffset_ + int64_t(column), int64_t(row)};
  }
  // Whether a cell may go to the point: on the grid and within the cell budget. Reading stops
  // once the budget is spent.
  bool admit(const GridPoint& where) {
    if (where.x > LastGridColumn()) {
      columnsCut_ = true;
      return false;
    }
    if (cells_ >= budget_) {
      budgetReached_ = true;
      return false;
    }
    if (!charge()) return false;
    ++cells_;
    return true;
  }
  // Counts what the reading makes (records, cells, shared strings) on the current meter; NO, and
  // reading stops, once the meter is past its bound.
  bool charge(int64_t pieces = 1) {
    if (!tooLarge_ && !FLReadingMeter::Checkpoint(pieces)) tooLarge_ = true;
    return !tooLarge_;
  }
  bool stopped() const { return budgetReached_ || tooLarge_; }
  // The meter stopped the reading: NO, with no reason of the file's own.
  bool refuseTooLarge(XLImportResult* result, QString* failure) {
    if (result) {
      result->tooLarge = true;
      result->shareRead = stream_.empty() ? 1 : double(stoppedAt_) / double(stream_.size());
    }
    if (failure) failure->clear();
    return false;
  }
  void chooseFont();

  QByteArrayView stream_;
  ExcelDelegate& delegate_;
  QString failure_;
  bool damaged_ = false;
  FLStringEncoding encoding_ = kFLEncodingWindowsLatin1;
  bool utf16_ = false;
  std::vector<QString> sharedStrings_;
  std::unordered_map<uint16_t, NumberFormat, FLSeededHash> numberFormats_;
  std::array<NumberFormat, kBuiltInFormats.size()> builtInFormats_;
  std::vector<Format> formats_;
  std::vector<uint64_t> sheetPositions_;
  std::unordered_set<uint64_t, FLSeededHash> sheetPositionsSeen_;
  XLFormulaContext formulas_;
  std::vector<Kolor> palette_;
  std::vector<FontEntry> fonts_;
  int64_t columnOffset_ = 0;
  int64_t columnLimit_ = 0;
  int64_t maxColumnSeen_ = -1;
  // Workbooks without a DATEMODE record count in the 1900 system, as Excel does.
  bool dates1900_ = true;
  bool formulaErrors_ = false;
  uint64_t formulasKept_ = 0;
  uint64_t cells_ = 0;
  uint64_t budget_ = ImportCellBudget();
  bool budgetReached_ = false;
  bool tooLarge_ = false;
  qsizetype stoppedAt_ = 0;  // where in the stream the meter stopped the reading
  bool columnsCut_ = false;
  uint64_t sharedStringReadings_ = 0;
};

bool Importer::readRecord(qsizetype offset, Record& record) {
  if (offset + 4 > stream_.size()) return false;
  record.id = qFromLittleEndian<uint16_t>(stream_.data() + offset);
  const qsizetype length = qFromLittleEndian<uint16_t>(stream_.data() + offset + 2);
  if (offset + 4 + length > stream_.size()) {
    damage();
    return false;
  }
  record.body = stream_.sliced(offset + 4, length);
  record.joined.clear();
  record.boundaries.clear();
  record.next = offset + 4 + length;
  if (record.id == kContinue) return true;
  while (record.next + 4 <= stream_.size() &&
         qFromLittleEndian<uint16_t>(stream_.data() + record.next) == kContinue) {
    const qsizetype more = qFromLittleEndian<uint16_t>(stream_.data() + record.next + 2);
    if (record.next + 4 + more > stream_.size()) {
      damage();
      return false;
    }
    try {
      if (record.joined.isNull()) record.joined = record.body.toByteArray();
      record.boundaries.push_back(record.joined.size());
      record.joined.append(stream_.data() + record.next + 4, more);
    } catch (const std::bad_alloc&) {
      fail(kExcelDataMemoryReason);
      return false;
    }
    record.next += 4 + more;
  }
  if (!record.joined.isNull()) record.body = record.joined;
  return true;
}

QString Importer::decode(QByteArrayView bytes, bool wide) const {
  if (wide)
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
  // Compressed characters of a Unicode workbook are UTF-16 units with their high byte dropped.
  if (utf16_ || encoding_ == kFLEncodingISOLatin1) return QString::fromLatin1(bytes.data(), bytes.size());
  return DecodeText(bytes, encoding_, true).value_or(QString());
}

QString Importer::readCharacters(const Record& record, qsizetype* at, uint32_t count, bool wide, bool byCharacters,
                                 bool* crossed) {
  const QByteArrayView body = record.body;
  *crossed = false;
  QString text;
  uint32_t remaining = count;
  auto boundary = std::upper_bound(record.boundaries.begin(), record.boundaries.end(), *at);
  // Characters that begin right at a continuation come after its option byte.
  if (count > 0 && boundary != record.boundaries.begin() && *(boundary - 1) == *at) {
    wide = u8(body, *at) & 0x01;
    *at += 1;
    boundary = std::upper_bound(record.boundaries.begin(), record.boundaries.end(), *at);
  }
  while (remaining > 0 && !damaged_) {
    const qsizetype end = boundary == record.boundaries.end() ? body.size() : *boundary;
    const qsizetype unit = wide ? 2 : 1;
    qsizetype fit = std::min<qsizetype>(remaining, std::max<qsizetype>(0, end - *at) / unit);
    uint32_t counted = uint32_t(fit);
    if (byCharacters && wide) {
      // The low half of a pair counts nothing, also when its high half ended the last piece.
      const qsizetype available = std::max<qsizetype>(0, end - *at) / unit;
      char16_t previous = text.isEmpty() ? 0 : text.back().unicode();
      fit = 0;
      counted = 0;
      for (; fit < available; ++fit) {
        const char16_t c = qFromLittleEndian<uint16_t>(body.data() + *at + 2 * fit);
        const bool secondHalf = QChar::isLowSurrogate(c) && QChar::isHighSurrogate(previous);
        if (!secondHalf && counted == remaining) break;
        if (!secondHalf) ++counted;
        previous = c;
      }
    }
    if (fit > 0) {
      text += decode(body.sliced(*at, fit * unit), wide);
      *at += fit * unit;
      remaining -= counted;
    }
    if (remaining == 0) break;
    if (boundary == record.boundaries.end()) {
      damage();
      return QString();
    }
    *crossed = true;
    // The characters go on in the next continuation, which starts with its own option byte,
    // except where a writer split a character between records, or gave the continuation no
    // option byte at all: then the bytes simply go on.
    const bool inside = *at != *boundary;
    ++boundary;
    if (inside || u8(body, *at) > 1) continue;
    wide = u8(body, *at) & 0x01;
    *at += 1;
  }
  return text;
}

QString Importer::readString(const Record& record, qsizetype* at, int countBytes, bool extras, bool byCharacters,
                             bool* crossed, bool* pairs) {
  const QByteArrayView body = record.body;
  const uint32_t count = countBytes == 1 ? u8(body, *at) : u16(body, *at);
  *at += countBytes;
  const uint8_t options = u8(body, *at);
  *at += 1;
  uint32_t runs = 0;
  uint32_t extended = 0;
  if (extras && (options & 0x08)) {
    runs = u16(body, *at);
    *at += 2;
  }
  if (extras && (options & 0x04)) {
    extended = u32(body, *at);
    *at += 4;
  }
  if (damaged_) return QString();
  QString text = readCharacters(record, at, count, options & 0x01, byCharacters, crossed);
  *pairs = false;
  for (QChar c : text) *pairs = *pairs || c.isHighSurrogate();
  *at += qsizetype(runs) * 4 + qsizetype(extended);
  if (*at > body.size()) damage();
  // A long text is charged as it is: the reading stops at the next piece once past the bound.
  charge(int64_t(text.size()) / kCharactersAPiece);
  return text;
}

// ---------------------------------------------------------------------------------------------
// Globals

Kolor Importer::kolorFromIndex(uint32_t index, bool font) const {
  auto rgb = [](const Rgb& c) { return MakeKolor(c.r, c.g, c.b); };
  if (index < 8) return rgb(kDefaultPalette[index]);
  if (index < 64) {
    if (palette_.size() > index - 8) return palette_[index - 8];
    return rgb(kDefaultPalette[index - 8]);
  }
  switch (index) {
    case 64: case 77: case 79: case 81: return g_blackKolor;
    case 65: case 78: return kNoKolor;
    default: return font ? g_blackKolor : kNoKolor;
  }
}

void Importer::readFont(QByteArrayView body) {
  FontEntry entry;
  const uint16_t height = u16(body, 0);
  const uint16_t options = u16(body, 2);
  const uint16_t colour = u16(body, 4);
  const uint16_t weight = u16(body, 6);
  const uint8_t underline = u8(body, 10);
  qsizetype at = 14;
  Record nameRecord;
  nameRecord.body = body;
  entry.name = readString(nameRecord, &at, 1, false);
  const double weightClass = (double(weight) - 400) * 4 / 300 + 5;
  entry.weightClass = weightClass < 0 ? 0 : int(weightClass);
  entry.style.bold = entry.weightClass > 8;
  entry.style.italic = options & 0x02;
  entry.style.underline = underline != 0;
  entry.style.strike = options & 0x08;
  entry.style.textKolor = kolorFromIndex(colour, true);
  entry.size = height / 20.0;
  fonts_.push_back(std::move(entry));
}

void Importer::readXf(QByteArrayView body) {
  Format format;
  const uint16_t fontIndex = u16(body, 0);
  const uint16_t formatIndex = u16(body, 2);
  const uint16_t options = u16(body, 4);
  const uint8_t alignment = u8(body, 6);
  const uint32_t fill = u32(body, 14);
  const uint16_t colours = u16(body, 18);
  if (options & 0x04) {
    format.record.alignment = kAlignmentJustified;  // a style record
    formats_.push_back(std::move(format));
    return;
  }
  if (!fonts_.empty()) {
    size_t entry = fontIndex < 5 ? fontIndex : size_t(fontIndex) - 1;
    if (entry >= fonts_.size()) entry = 0;
    format.fontEntry = int64_t(entry);
    format.record.font = fonts_[entry].style;
  }
  NumberFormat* numberFormat = nullptr;
  const auto found = numberFormats_.find(formatIndex);
  if (found != numberFormats_.end()) {
    numberFormat = &found->second;
  } else {
    for (size_t i = 0; i < kBuiltInFormats.size(); ++i)
      if (kBuiltInFormats[i].index == formatIndex) {
        numberFormat = &builtInFormats_[i];
        if (numberFormat->code.isNull()) numberFormat->code = QLatin1String(kBuiltInFormats[i].code);
      }
  }
  if (numberFormat) {
    if (!numberFormat->sections)
      numberFormat->sections = std::make_shared<const QStringList>(NormalizeExcelNumberFormat(numberFormat->code));
    format.record.numberFormatCode = numberFormat->code;
    format.record.numberFormatSections = numberFormat->sections;
  }
  switch (fill >> 26) {
    case 1: format.record.backgroundKolor = kolorFromIndex(colours & 0x7F, false); break;
    case 2: format.record.backgroundKolor = 0x64808080; break;
    case 3: format.record.backgroundKolor = 0x64404040; break;
    case 4: format.record.backgroundKolor = 0x64C0C0C0; break;
    case 11: format.record.backgroundKolor = 0x64E0E0E0; break;
    case 12: format.record.backgroundKolor = 0x64101010; break;
    default: format.record.backgroundKolor = kNoKolor; break;
  }
  switch (alignment & 0x07) {
    case 1: format.record.alignment = kAlignmentLeft; break;
    case 2: format.record.alignment = kAlignmentCenter; break;
    case 3: format.record.alignment = kAlignmentRight; break;
    default: format.record.alignment = kAlignmentAuto; break;
  }
  formats_.push_back(std::move(format));
}

namespace {

// Only the low bit and the rich-text and extended-data bits are options.
bool ValidStringOptions(uint8_t options) { return (options & 0xF2) == 0; }

// Every surrogate in its pair: what a text written from Unicode characters is.
bool WellFormed(const QString& text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
      ++i;
    else if (text[i].isSurrogate())
      return false;
  }
  return true;
}

}  // namespace

bool Importer::readSharedStrings(const Record& record, std::vector<QString>& strings) {
  const uint32_t count = u32(record.body, 4);
  qsizetype at = 8;
  bool clean = !damaged_;
  // The count is the writer's claim: strings are read while the body holds them.
  for (uint32_t i = 0; i < count && at < record.body.size() && !damaged_; ++i) {
    if (!charge()) return false;
    if (at + 2 < record.body.size() && !ValidStringOptions(uint8_t(record.body[at + 2]))) clean = false;
    strings.push_back(readString(record, &at, 2, true));
  }
  return clean && !damaged_ && at == record.body.size();
}

// Gnumeric counts the characters of a string it splits between records, where the format counts
// UTF-16 units, and the units of the others; nothing in the file tells which count a string
// has. A string read by units that runs into a continuation is read by characters, one that
// holds surrogate pairs may be either: the readings are tried in turn, a string that is not
// well formed or not followed by one giving way to the other, until one takes the body whole.
// Where both readings end at the same place with the same text there is nothing to choose, and
// a string that has once led nowhere from a place is not read again from there, so each place
// is tried at most twice per string number; the readings are bounded by the body's bytes as
// well, whatever count of strings the table claims.
bool Importer::readGnumericSharedStrings(const Record& record, std::vector<QString>& strings) {
  const QByteArrayView body = record.body;
  const uint32_t count = u32(body, 4);
  if (damaged_) return false;
  struct Read {
    QString text;
    qsizetype end = 0;
    bool crossed = false;
    bool pairs = false;
    bool valid = false;
  };
  const uint64_t allowed = sharedStringReadings_ + 2 * uint64_t(body.size()) + 64;
  const auto readAt = [&](qsizetype at, bool byCharacters) {
    ++sharedStringReadings_;
    Read read;
    read.end = at;
    if (!charge() || at + 3 > body.size() || !ValidStringOptions(uint8_t(body[at + 2]))) return read;
    read.text = readString(record, &read.end, 2, true, byCharacters, &read.crossed, &read.pairs);
    read.valid = !damaged_ && WellFormed(read.text);
    damaged_ = false;
    return read;
  };
  // A string's place in the body and its number: where a reading led nowhere.
  struct Place {
    qsizetype at;
    size_t index;
    bool operator==(const Place&) const = default;
  };
  struct PlaceHash {
    size_t operator()(const Place& place) const { return size_t(SeededHashPair(uint64_t(place.at), place.index)); }
  };
  std::unordered_set<Place, PlaceHash> deadEnds;
  // The string at each place of the path: its readings in the order they are tried, and which
  // one is taken.
  struct Step {
    qsizetype start;
    std::vector<Read> readings;
    size_t taken = 0;
  };
  std::vector<Step> path;
  // Run on by units, a string was most likely counted by characters; holding pairs, it may have
  // been.
  const auto readingsAt = [&](qsizetype at) {
    std::vector<Read> readings;
    Read units = readAt(at, false);
    if (units.crossed) {
      Read characters = readAt(at, true);
      if (characters.valid) readings.push_back(std::move(characters));
      if (units.valid) readings.push_back(std::move(units));
    } else if (units.valid) {
      const bool pairs = units.pairs;
      readings.push_back(std::move(units));
      if (pairs) {
        Read characters = readAt(at, true);
        if (characters.valid) readings.push_back(std::move(characters));
      }
    } else if (units.pairs || !units.text.isEmpty()) {
      Read characters = readAt(at, true);
      if (characters.valid) readings.push_back(std::move(characters));
    }
    if (readings.size() == 2 && readings[0].end == readings[1].end && readings[0].text == readings[1].text)
      readings.pop_back();
    return readings;
  };
  // Takes the first reading of the step from `from` on that does not lead to a dead end.
  const auto takeFrom = [&](Step& step, size_t from) {
    for (step.taken = from; step.taken < step.readings.size(); ++step.taken)
      if (!deadEnds.contains(Place{step.readings[step.taken].end, strings.size() + 1})) {
        strings.push_back(step.readings[step.taken].text);
        return true;
      }
    return false;
  };
  qsizetype at = 8;
  while (true) {
    if (at == body.size()) return true;
    bool advanced = false;
    if (strings.size() < count && at < body.size() && sharedStringReadings_ + 2 <= allowed) {
      Step step{at, readingsAt(at)};
      if (takeFrom(step, 0)) {
        at = step.readings[step.taken].end;
        path.push_back(std::move(step));
        advanced = true;
      } else {
        deadEnds.insert(Place{at, strings.size()});
      }
    }
    if (advanced) continue;
    if (sharedStringReadings_ + 2 > allowed) return false;
    // Back to the latest string that has another reading.
    while (!advanced && !path.empty()) {
      Step& last = path.back();
      strings.pop_back();
      if (takeFrom(last, last.taken + 1)) {
        at = last.readings[last.taken].end;
        advanced = true;
      } else {
        deadEnds.insert(Place{last.start, strings.size()});
        path.pop_back();
      }
    }
    if (!advanced) return false;
  }
}

void Importer::readSst(const Record& record) {
  if (readSharedStrings(record, sharedStrings_) || tooLarge_) return;
  // A table that does not read by units may be Gnumeric's; read so, it is taken when it reads
  // throughout.
  const bool damaged = damaged_;
  damaged_ = false;
  std::vector<QString> strings;
  if (readGnumericSharedStrings(record, strings) && !tooLarge_) {
    sharedStrings_ = std::move(strings);
    return;
  }
  damaged_ = damaged;
}

void Importer::handleGlobal(Record& record) {
  const QByteArrayView body = record.body;
  switch (record.id) {
    case kFilePass:
      fail(kExcelProtectedReason);
      break;
    case kName: {
      const uint16_t flags = u16(body, 0);
      const uint8_t nameLength = u8(body, 3);
      const uint16_t tokenLength = u16(body, 4);
      const bool wide = u8(body, 14) & 0x01;
      const qsizetype nameBytes = qsizetype(nameLength) * (wide ? 2 : 1);
      if (damaged_ || 15 + nameBytes + tokenLength > body.size()) return damage();
      const QString name = decode(body.sliced(15, nameBytes), wide);
      CaptureName(formulas_, name, flags, body.sliced(15 + nameBytes, tokenLength));
      break;
    }
    case kDateMode:
      dates1900_ = u16(body, 0) == 0;
      break;
    case kExternName: {
      const uint16_t flags = u16(body, 0);
      qsizetype at = 6;
      const QString name = formulas_.readingAddInSupbook ? readString(record, &at, 1, false) : QString();
      CaptureExternName(formulas_, flags, name);
      break;
    }
    case kFont:
      readFont(body);
      break;
    case kContinue:
      LogAssert(kStrayContinueReport, __func__, __FILE__, __LINE__);
      break;
    case kCodePage: {
      const uint16_t page = u16(body, 0);
      utf16_ = page == kUtf16CodePage;
      if (!utf16_) {
        LogAssert(kUntestedCodePageReport, __func__, __FILE__, __LINE__);
        encoding_ = StringEncodingForCodePage(page);
      }
      break;
    }
    case kBoundSheet:
      // A sheet named twice is still one sheet: each position is read once.
      if ((u8(body, 4) & 0x03) == 0 && u8(body, 5) == 0 && sheetPositionsSeen_.insert(u32(body, 0)).second)
        sheetPositions_.push_back(u32(body, 0));
      break;
    case kPalette: {
      const uint16_t count = u16(body, 0);
      for (uint32_t i = 0; i < count && !damaged_; ++i) {
        const qsizetype at = 2 + 4 * qsizetype(i);
        const uint8_t r = u8(body, at), g = u8(body, at + 1), b = u8(body, at + 2);
        palette_.push_back(MakeKolor(r, g, b));
      }
      break;
    }
    case kXf:
      readXf(body);
      break;
    case kSst:
      readSst(record);
      break;
    case kSupBook:
      CaptureSupbook(formulas_, body);
      break;
    case kExternSheet:
      CaptureExternSheet(formulas_, body);
      break;
    case kFormat: {
      const uint16_t index = u16(body, 0);
      qsizetype at = 2;
      const QString code = readString(record, &at, 2, false);
      numberFormats_.emplace(index, NumberFormat{code, nullptr});
      break;
    }
    default:
      break;
  }
}

// ---------------------------------------------------------------------------------------------
// Worksheets

const Format* Importer::formatAt(uint32_t xf) {
  if (xf >= formats_.size()) return nullptr;
  Format& format = formats_[xf];
  if (format.fontEntry >= 0) ++fonts_[size_t(format.fontEntry)].useCount;
  return &format;
}

bool Importer::isDateFormat(const Format& format) {
  if (format.isDate < 0) {
    const QStringList sections = format.record.numberFormatSections
                                     ? *format.record.numberFormatSections
                                     : NormalizeExcelNumberFormat(format.record.numberFormatCode);
    const QString first = sections.isEmpty() ? QString() : sections.front();
    format.isDate =
        first.contains(QLatin1Char('d')) || first.contains(QLatin1Char('m')) || first.contains(QLatin1Char('y'));
  }
  return format.isDate > 0;
}

XLValue Importer::rkValue(uint32_t rk) const {
  XLValue value;
  const bool hundredths = rk & 0x01;
  if (!(rk & 0x02)) {
    const uint64_t bits = uint64_t(rk & 0xFFFFFFFC) << 32;
    double real = 0;
    memcpy(&real, &bits, sizeof real);
    value.type = kXLValueReal;
    value.real = hundredths ? real / 100 : real;
    return value;
  }
  const int64_t integer = int32_t(rk) >> 2;
  if (!hundredths) {
    value.type = kXLValueInteger;
    value.integer = integer;
  } else if (integer % 100 == 0) {
    value.type = kXLValueInteger;
    value.integer = integer / 100;
  } else {
    value.type = kXLValueFraction;
    value.numerator = integer;
    value.denominator = 100;
  }
  return value;
}

void Importer::passCell(uint32_t row, uint32_t column, uint32_t xf, XLValue value, const QString* formula) {
  const GridPoint where = point(row, column);
  passCell(where, formatAt(xf), std::move(value), formula, false);
}

// Numbers become dates under a date format, and integers or short fractions when they are
// exactly that. formula: the cell's entry, "=" and the converted text. A formula the sheet
// cannot take, and one `marked` already, keeps the cached value on the colour of import errors.
void Importer::passCell(const GridPoint& where, const Format* format, XLValue value,
                        const QString* formula, bool marked) {
  if (!admit(where)) return;
  if (value.type == kXLValueReal || value.type == kXLValueInteger || value.type == kXLValueFraction) {
    const double number = value.type == kXLValueReal      ? value.real
                          : value.type == kXLValueInteger ? double(value.integer)
                                                          : double(value.numerator) / double(value.denominator);
    bool date = false;
    if (format && !format->record.numberFormatCode.isNull() && std::trunc(number) > 0 &&
        std::trunc(number) < 3e6 && isDateFormat(*format)) {
      // Serial 60 is the 29 February 1900 that never was: serials up to it count from
      // 31 December 1899, later ones one day earlier.
      const int64_t n = int64_t(std::trunc(number));
      const QDate day = dates1900_ ? QDate(1900, 1, 1).addDays(n <= 60 ? n - 1 : n - 2)
                                   : QDate(1904, 1, 1).addDays(n);
      if (day.isValid() && day.year() <= 9999) {
        value.type = kXLValueDate;
        value.dayIndex = day.year() * 10000 + day.month() * 100 + day.day();
        date = true;
      }
    }
    if (!date && value.type == kXLValueReal && std::fabs(number) < 9223372036854775808.0) {
      const double magnitude = std::fabs(number);
      if (number == std::trunc(number)) {
        value.type = kXLValueInteger;
        value.integer = int64_t(number);
      } else if (magnitude < 1000000 && magnitude - std::floor(magnitude) >= 0.000000001) {
        // A short decimal is kept exact, when the fraction is the very number the file holds.
        const int64_t k = int64_t(std::floor((magnitude + 0.00000001) * 10000000));
        if (k % 100 == 0 && double(k) / 10000000 == magnitude) {
          value.type = kXLValueFraction;
          value.numerator = number < 0 ? -k : k;
          value.denominator = 10000000;
        }
      }
    }
  }
  const CAExcelFormatRecord* record = format ? &format->record : nullptr;
  if (formula && !marked) {
    if (delegate_.setCell(where, *formula, value, record)) return;
    marked = true;
  }
  if (!marked) {
    delegate_.setCell(where, value, record);
    return;
  }
  formulaErrors_ = true;
  ++formulasKept_;
  CAExcelFormatRecord red = record ? *record : CAExcelFormatRecord{};
  red.backgroundKolor = kFormulaImportErrorKolor;
  // An empty text would show an empty red cell, which says nothing of what was there.
  if (value.type == kXLValueNone || (value.type == kXLValueText && value.text.isEmpty())) {
    value.type = kXLValueText;
    value.text = QLatin1String(kFormulaPlaceholder);
  }
  delegate_.setCell(where, value, &red);
}

void Importer::readFormula(const Record& record) {
  const QByteArrayView body = record.body;
  const uint16_t row = u16(body, 0);
  const uint16_t column = u16(body, 2);
  const uint16_t xf = u16(body, 4);
  const uint16_t options = u16(body, 14);
  const uint16_t tokenLength = u16(body, 20);
  if (damaged_ || 22 + qsizetype(tokenLength) > body.size()) return damage();
  const QByteArrayView tokens = body.sliced(22, tokenLength);

  XLValue cached;
  if (u16(body, 12) == 0xFFFF) {
    switch (u8(body, 6)) {
      case 0: {
        // The text result follows in a STRING record, before the next cell.
        Record next;
        for (qsizetype at = record.next; readRecord(at, next); at = next.next) {
          if (next.id == kString) {
            // A result that can't be read costs this cell its value, not the workbook.
            const bool before = damaged_;
            qsizetype offset = 0;
            cached.text = readString(next, &offset, 2, false);
            cached.type = kXLValueText;
            if (damaged_ && !before) {
              damaged_ = false;
              cached = XLValue{};
            }
            break;
          }
          if (next.id == kEof || next.id == kFormula || next.id == kNumber || next.id == kRk ||
              next.id == kLabelSst || next.id == kMulRk || next.id == kBoolErr || next.id == kBof)
            break;
        }
        break;
      }
      case 1:
        cached.type = kXLValueBoolean;
        cached.boolean = u8(body, 8) != 0;
        break;
      case 2:
        cached.type = kXLValueText;
        cached.text = ErrorTextForCode(u8(body, 8));
        cached.error = true;
        break;
      case 3:
        // An empty text.
        cached.type = kXLValueText;
        break;
      default:
        break;
    }
  } else {
    cached.type = kXLValueReal;
    cached.real = f64(body, 6);
  }

  if (options & 0x08) {
    // A shared formula: its tokens come in the SHRFMLA record that follows its first cell.
    Record next;
    for (qsizetype at = record.next; readRecord(at, next); at = next.next) {
      if (next.id == kSharedFormula) {
        const uint16_t length = u16(next.body, 8);
        if (!damaged_ && 10 + qsizetype(length) <= next.body.size())
          AddSharedFormula(formulas_, column, row, next.body.sliced(10, length));
        break;
      }
      if (next.id == kFormula || next.id == kEof) break;
    }
  }
  if (damaged_) return;

  formulas_.column = column;
  formulas_.row = row;
  // Our formulas compute numbers only: a text that Excel stored would become a live formula
  // showing 0, so the stored text stays, marked. An error is no value to keep: the formula stays
  // live and computes once what it reads is filled in (a blank template's =B2/A2). An empty text
  // is what some writers store for every formula they did not compute: no result to keep, nor
  // to compare with.
  const bool emptyText = cached.type == kXLValueText && !cached.error && cached.text.isEmpty();
  if (emptyText) cached = XLValue{};
  const bool live = emptyText || cached.error || (cached.type != kXLValueText && cached.type != kXLValueNone);
  const std::optional<QString> text = live ? ConvertFormula(formulas_, tokens, "=") : std::nullopt;
  if (text) {
    passCell(row, column, xf, cached, &*text);
    return;
  }
  const GridPoint where = point(row, column);
  passCell(where, formatAt(xf), cached, nullptr, true);
}

void Importer::handleCell(Record& record) {
  const QByteArrayView body = record.body;
  switch (record.id) {
    case kFormula:
      readFormula(record);
      break;
    case kContinue:
      LogAssert(kStrayContinueReport, __func__, __FILE__, __LINE__);
      break;
    case kDefColWidth:
      delegate_.setXLDefaultWidth(u16(body, 0));
      break;
    case kColInfo: {
      const uint16_t first = u16(body, 0), last = u16(body, 2), width = u16(body, 4);
      const uint16_t xf = u16(body, 6), options = u16(body, 8);
      if (damaged_) return;
      const uint64_t digits = (options & 6) == 2 ? (3 * uint64_t(width) + 765) / 512 : 0;
      // Columns past the 256 of a worksheet are a writer's "to the end"; stop there.
      for (uint32_t column = first; column <= std::min<uint32_t>(last, 255); ++column) {
        const Format* format = formatAt(xf);
        if (columnOffset_ + column > LastGridColumn()) {
          columnsCut_ = true;
          break;
        }
        if (digits != 0 || format)
          delegate_.setWidth(digits, columnOffset_ + column, format ? &format->record : nullptr);
      }
      break;
    }
    case kMulRk: {
      const uint16_t row = u16(body, 0), first = u16(body, 2);
      if (damaged_) return;
      const qsizetype count = (body.size() - 6) / 6;
      for (qsizetype i = 0; i < count; ++i)
        passCell(row, uint32_t(first + i), u16(body, 4 + 6 * i), rkValue(u32(body, 6 + 6 * i)), nullptr);
      break;
    }
    case kMulBlank: {
      const uint16_t row = u16(body, 0), first = u16(body, 2);
      if (damaged_) return;
      const qsizetype count = (body.size() - 6) / 2;
      for (qsizetype i = 0; i < count; ++i) {
        const Format* format = formatAt(u16(body, 4 + 2 * i));
        const GridPoint where = point(row, uint32_t(first + i));
        if (format && admit(where)) delegate_.setCell(where, XLValue{}, &format->record);
      }
      break;
    }
    case kLabelSst: {
      const uint16_t row = u16(body, 0), column = u16(body, 2), xf = u16(body, 4);
      const uint32_t index = u32(body, 6);
      if (damaged_) return;
      XLValue value;
      value.type = kXLValueText;
      if (index < sharedStrings_.size()) value.text = sharedStrings_[index];
      passCell(row, column, xf, value, nullptr);
      break;
    }
    case kLabel:
    case kRString: {
      const uint16_t row = u16(body, 0), column = u16(body, 2), xf = u16(body, 4);
      qsizetype at = 6;
      XLValue value;
      value.type = kXLValueText;
      value.text = readString(record, &at, 2, false);
      if (damaged_) return;
      passCell(row, column, xf, value, nullptr);
      break;
    }
    case kDimensions:
      columnLimit_ = std::max<int64_t>(columnLimit_, std::min<int64_t>(u16(body, 10), kSheetColumns));
      break;
    case kBlank: {
      const uint16_t row = u16(body, 0), column = u16(body, 2);
      const Format* format = formatAt(u16(body, 4));
      if (damaged_) return;
      const GridPoint where = point(row, column);
      if (format && admit(where)) delegate_.setCell(where, XLValue{}, &format->record);
      break;
    }
    case kNumber: {
      XLValue value;
      value.type = kXLValueReal;
      value.real = f64(body, 6);
      if (damaged_) return;
      passCell(u16(body, 0), u16(body, 2), u16(body, 4), value, nullptr);
      break;
    }
    case kBoolErr: {
      XLValue value;
      if (u8(body, 7) == 0) {
        value.type = kXLValueBoolean;
        value.boolean = u8(body, 6) != 0;
      } else {
        value.type = kXLValueText;
        value.text = ErrorTextForCode(u8(body, 6));
      }
      if (damaged_) return;
      passCell(u16(body, 0), u16(body, 2), u16(body, 4), value, nullptr);
      break;
    }
    case kRow: {
      const uint16_t row = u16(body, 0), height = u16(body, 6) & 0x7FFF, options = u16(body, 12);
      const uint16_t xf = u16(body, 14) & 0x0FFF;
      if (damaged_) return;
      const Format* format = (options & 0x80) ? formatAt(xf) : nullptr;
      delegate_.setHeight(int64_t(height) * kRowHeightEmuPerTwip, row, format ? &format->record : nullptr);
      break;
    }
    case kRk: {
      const XLValue value = rkValue(u32(body, 6));
      if (damaged_) return;
      passCell(u16(body, 0), u16(body, 2), u16(body, 4), value, nullptr);
      break;
    }
    default:
      break;
  }
}

void Importer::readSheet(uint64_t position) {
  columnLimit_ = 0;
  maxColumnSeen_ = -1;
  formulas_.sharedFormulas.clear();
  formulas_.columnOffset = columnOffset_;
  delegate_.beginSheet(formulas_.sheetIndex, columnOffset_);
  Record record;
  qsizetype at = qsizetype(position);
  if (!readRecord(at, record) || record.id != kBof) {
    damage();
    return;
  }
  // Embedded charts bring BOF ... EOF blocks of their own into the sheet.
  int depth = 1;
  bool dialog = false;
  for (at = record.next; failure_.isNull() && !damaged_ && !stopped() && readRecord(at, record);
       at = record.next) {
    stoppedAt_ = at;
    if (!charge()) break;
    if (record.id == kBof) {
      ++depth;
      continue;
    }
    if (record.id == kEof) {
      if (--depth == 0) break;
      continue;
    }
    if (depth > 1) continue;
    if (record.id == kWsBool && (u16(record.body, 0) & 0x10)) {
      dialog = true;
      break;
    }
    handleCell(record);
  }
  ++formulas_.sheetIndex;
  if (!dialog) columnOffset_ += std::max(columnLimit_, maxColumnSeen_ + 1) + 2;
}

void Importer::chooseFont() {
  size_t best = 0;
  for (size_t i = 1; i < fonts_.size(); ++i)
    if (fonts_[i].useCount > fonts_[best].useCount) best = i;
  if (fonts_.empty() || fonts_[best].useCount == 0) return;
  const FontEntry& entry = fonts_[best];
  QString family;
  if (!entry.name.isEmpty()) {
    bool substituted = false;
    const QString mapped = MapFontName(entry.name, &substituted);
    if (!substituted) {
      if (const std::optional<QFont> font = FontWithName(mapped, 12)) family = font->family();
    }
  }
  QFont font = DefaultUserFontOfSize(entry.size);
  if (!family.isEmpty()) {
    font = QFont(family);
    font.setPointSizeF(entry.size > 0 ? entry.size : 12);
    font.setItalic(entry.style.italic);
    const int weight = entry.weightClass <= 5 ? std::max(100, 400 - (5 - entry.weightClass) * 100)
                                              : std::min(900, 400 + (entry.weightClass - 5) * 75);
    font.setWeight(QFont::Weight(weight));
  }
  delegate_.setXLFont(font);
}

bool Importer::run(XLImportResult* result, QString* failure) {
  Record record;
  if (!readRecord(0, record) || record.id != kBof || u16(record.body, 0) != kBiff8Version) {
    // BIFF5 and older workbooks, and anything that is no workbook at all.
    if (failure) *failure = QString::fromUtf8(kExcelFormatReason);
    return false;
  }
  for (qsizetype at = record.next; failure_.isNull() && !damaged_ && readRecord(at, record); at = record.next) {
    stoppedAt_ = at;
    if (!charge()) break;
    if (record.id == kEof) break;
    handleGlobal(record);
  }
  if (result) result->sharedStringReadings = sharedStringReadings_;
  if (tooLarge_) return refuseTooLarge(result, failure);
  if (failure_.isNull() && damaged_) fail(kExcelFormatReason);
  if (failure_.isNull() && sheetPositions_.empty()) fail(kExcelNoSheetsReason);
  if (!failure_.isNull()) {
    if (failure) *failure = failure_;
    return false;
  }
  for (const uint64_t position : sheetPositions_) {
    if (stopped()) break;
    // Sheets are placed side by side until the grid's columns run out.
    if (columnOffset_ > LastGridColumn()) {
      columnsCut_ = true;
      break;
    }
    if (position >= uint64_t(stream_.size())) {
      columnOffset_ += 2;
      continue;
    }
    readSheet(position);
    if (tooLarge_) return refuseTooLarge(result, failure);
    if (damaged_) fail(kExcelFormatReason);
    if (!failure_.isNull()) {
      if (failure) *failure = failure_;
      return false;
    }
  }
  chooseFont();
  if (result) {
    result->formulaErrors = formulaErrors_;
    result->formulasKept = formulasKept_;
    result->cells = cells_;
    result->budgetReached = budgetReached_;
    result->columnsCut = columnsCut_;
  }
  return true;
}

}  // namespace

bool ImportExcelWorkbook(QByteArrayView file, ExcelDelegate& delegate, XLImportResult* result,
                         QString* failure) {
  QByteArray stream;
  if (!ReadWorkbookStream(file, &stream, failure)) return false;
  return ImportExcelStream(stream, delegate, result, failure);
}

bool ImportExcelStream(QByteArrayView stream, ExcelDelegate& delegate, XLImportResult* result,
                       QString* failure) {
  return Importer(stream, delegate).run(result, failure);
}
