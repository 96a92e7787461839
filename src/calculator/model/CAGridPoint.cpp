// Grid points and ranges, their texts, range classes, file type codes, header variables and
// stop-word removal.
#include "calculator/model/CAGridPoint.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QBuffer>
#include <QImageReader>
#include <QStringList>
#include <algorithm>
#include <charconv>
#include <limits>

#include "calculator/model/caColumnLabels.h"
#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flCharacterClasses.h"
#include "framlet/foundation/flFileSupport.h"
#include "framlet/foundation/flStringExtensions.h"
#include "platform/FLError.h"
#include "platform/StringValues.h"

namespace {

constexpr qsizetype kMaxColumnLetters = 5;  // "ZZZZZ"
constexpr qsizetype kStopListScanLength = 500;
constexpr qsizetype kSniffLength = 4096;
// A picture may say what it is further in (an SVG after a long prologue).
constexpr qsizetype kPictureSniffLength = 65536;

struct ExtensionType {
  const char* extension;
  int32_t type;
};

constexpr ExtensionType kExtensionTypes[] = {
    {"Numlet", kFileTypeNative}, {"Numlet_autosave", kFileTypeNative},
    {"xls", kFileTypeExcel},     {"text", kFileTypeText},
    {"txt", kFileTypeText},      {"csv", kFileTypeCsv},
    {"dif", kFileTypeDif},       {"rtf", kFileTypeRtf},
    {"rtfd", kFileTypeRtfd},     {"pdf", kFileTypePdf},
    {"html", kFileTypeHtml},     {"htm", kFileTypeHtml},
};

constexpr const char* kHeaderFieldKeys[] = {"l", "c", "r"};
constexpr const char* kHeaderVariableKeys[] = {"d", "d+", "f", "p", "pofp", "p/p", "t"};

bool IsAsciiLetter(QChar c) {
  const char16_t u = c.unicode();
  return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z');
}

bool IsAsciiDigit(QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; }

QString PathExtension(const QString& path) {
  QString name = path;
  while (name.size() > 1 && name.endsWith(QLatin1Char('/'))) name.chop(1);
  name = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  if (dot <= 0 || dot == name.size() - 1) return QString();
  return name.mid(dot + 1);
}

const QStringList& ImageFileExtensions() {
  static const QStringList extensions = FLImage::fileExtensions();
  return extensions;
}

// Linux files carry no type codes: the content stands in for 'PkwD', 'RTF ', 'PICT' and 'TEXT'.
int32_t FileTypeFromContent(const QString& path) {
  // Only a regular file is looked into, and asked so of the file opened (without waiting): a FIFO
  // put in its place would wait for a writer for ever.
  const std::optional<QByteArray> read =
      ReadRegularFileHead(path, std::numeric_limits<int64_t>::max(), kPictureSniffLength);
  if (!read || read->isEmpty()) return kFileTypeUnknown;
  const QByteArray head = read->left(kSniffLength);

  // A Pockwell document of any version and byte order: a small version number and the
  // byte-order mark 1. The reader itself says why one it can't take is refused.
  if (head.size() >= 4) {
    const auto b = [&](int i) { return uint8_t(head[i]); };
    const bool little = b(0) >= 1 && b(0) <= 9 && b(1) == 0 && ((b(2) == 1 && b(3) == 0) || (b(2) == 0 && b(3) == 1));
    const bool big = b(0) == 0 && b(1) >= 1 && b(1) <= 9 && b(2) == 0 && b(3) == 1;
    if (little || big) return kFileTypePockwell;
  }
  if (head.startsWith("{\\rtf")) return kFileTypeRtf;
  // A PICT file: a 512-byte header, the picture size and frame, then the version opcode.
  if (head.size() >= 526) {
    const QByteArray version = head.mid(522, 4);
    if (version == QByteArray("\x00\x11\x02\xFF", 4) || version.startsWith("\x11\x01"))
      return kFileTypeImage;
  }
  // From the bytes read: asked of the path, the image reader would open the file again.
  {
    QBuffer buffer;
    buffer.setData(*read);
    buffer.open(QIODevice::ReadOnly);
    if (!QImageReader::imageFormat(&buffer).isEmpty()) return kFileTypeImage;
  }
  for (char byte : head) {
    const auto u = static_cast<unsigned char>(byte);
    if ((u < 0x20 && u != '\t' && u != '\n' && u != '\r' && u != '\f') || u == 0x7F)
      return kFileTypeUnknown;
  }
  return kFileTypeText;
}

}  // namespace

bool ParseGridPoint(const QString& text, qsizetype first, qsizetype end, GridPoint* point) {
  end = std::min(end, text.size());
  if (first < 0 || first >= end) return false;
  qsizetype i = first;

  bool absoluteColumn = false;
  if (text[i] == QLatin1Char('$')) {
    if (i + 1 >= end) return false;
    absoluteColumn = true;
    ++i;
  }
  const qsizetype lettersStart = i;
  while (i < end && IsAsciiLetter(text[i])) ++i;
  const qsizetype letterCount = i - lettersStart;
  if (letterCount == 0 || i >= end) return false;
  if (text[i] != QLatin1Char('$') && !IsAsciiDigit(text[i])) return false;
  // More letters than "ZZZZZ" has name no column of the grid.
  if (letterCount > kMaxColumnLetters) return false;
  const uint64_t column = ColumnForLabel(QStringView(text).mid(lettersStart, letterCount));
  if (column > g_maxColumn) return false;

  bool absoluteRow = false;
  if (text[i] == QLatin1Char('$')) {
    if (i + 1 >= end) return false;
    absoluteRow = true;
    ++i;
  }
  if (i >= end) return false;
  uint64_t row = 0;
  for (; i < end; ++i) {
    if (!IsAsciiDigit(text[i])) return false;
    const uint64_t digit = text[i].unicode() - '0';
    // Rows must stay below the grid's marker values (and so within 64 bits).
    if (row > (uint64_t(kGridOpenEnd) - digit) / 10) return false;
    row = row * 10 + digit;
  }
  if (row == 0) return false;

  const auto x = int64_t(column);
  const auto y = int64_t(row - 1);
  if (point) *point = GridPoint{absoluteColumn ? ~x : x, absoluteRow ? ~y : y};
  return true;
}

int64_t LastGridColumn() { return int64_t(g_maxColumn); }

bool IsOnGrid(const GridPoint& point) {
  return point.x >= 0 && point.x <= LastGridColumn() && IsGridCoordinate(point.y);
}

namespace {

// The A1 form of a point as Latin-1 bytes at `out`, which has room for kGridPointTextCapacity;
// answers the end of what was written.
constexpr size_t kGridPointTextCapacity = 2 + kColumnLetterCapacity + 24;
char* WriteGridPoint(char* out, int64_t x, int64_t y) {
  char* const start = out;
  if (x < 0) *out++ = '$';
  char letters[kColumnLetterCapacity];
  const int count = ColumnLetters(std::min(uint64_t(x < 0 ? ~x : x), g_maxColumn), letters);
  out = std::copy(letters, letters + count, out);
  if (y < 0) *out++ = '$';
  // -y for an absolute row, without overflow at the minimum.
  const uint64_t row = y < 0 ? uint64_t(~y) + 1 : uint64_t(y) + 1;
  return std::to_chars(out, start + kGridPointTextCapacity, row).ptr;
}

}  // namespace

QString FormatGridPoint(int64_t x, int64_t y) {
  // Written as bytes into one buffer: reference adjustment writes a point for every reference of
  // every formula that an insert or delete moves.
  char text[kGridPointTextCapacity];
  return QString::fromLatin1(text, WriteGridPoint(text, x, y) - text);
}

void AppendGridPoint(QString& text, const GridPoint& point) {
  char bytes[kGridPointTextCapacity];
  const char* end = WriteGridPoint(bytes, point.x, point.y);
  text.append(QLatin1String(bytes, end - bytes));
}

QString StringFromGridPoint(int64_t x, int64_t y) {
  const auto part = [](int64_t v) {
    return v == kGridWildcard ? QStringLiteral("*") : StringWithFormat("%qd", v);
  };
  return StringWithFormat("%@,%@", part(x), part(y));
}

GridPoint GridPointFromStringCalc(const QString& text, bool lenient) {
  const QStringList parts = text.split(QLatin1Char(','));
  if (parts.size() != 2) return lenient ? GridPoint{0, 0} : GridPoint{-1, -1};
  const auto part = [](const QString& p) {
    return p == QLatin1String("*") ? kGridWildcard : LeadingInteger(p);
  };
  return GridPoint{part(parts[0]), part(parts[1])};
}

int32_t TypeOfRange(GridRange* normalized, const GridRange& range) {
  GridRange r = range;
  int32_t type;
  if (r.startPoint.x == kGridWildcard) {
    if (r.endPoint.x != kGridWildcard || r.startPoint.y < 0) {
      FLAssert(false, "Invalid row selection");
      if (normalized) *normalized = r;
      return kRangeInvalid;
    }
    type = kRangeRows;
    r.startPoint.x = 0;
    r.endPoint.x = kGridOpenEnd;
  } else if (r.startPoint.y == kGridWildcard) {
    if (r.startPoint.x < 0 || r.endPoint.y != kGridWildcard) {
      FLAssert(false, "Invalid column selection");
      if (normalized) *normalized = r;
      return kRangeInvalid;
    }
    type = kRangeColumns;
    r.startPoint.y = 0;
    r.endPoint.y = kGridOpenEnd;
  } else if (r.endPoint.x == kGridWildcard || r.endPoint.y == kGridWildcard) {
    FLAssert(false, "Invalid row or column selection");
    if (normalized) *normalized = r;
    return kRangeInvalid;
  } else {
    const bool single = r.startPoint == r.endPoint;
    const bool absolute =
        single ? (r.startPoint.x < 0 || r.startPoint.y < 0)
               : (r.startPoint.x < 0 || r.startPoint.y < 0 || r.endPoint.x < 0 || r.endPoint.y < 0);
    if (single)
      type = absolute ? kRangeAbsoluteCell : kRangeCell;
    else
      type = absolute ? kRangeAbsoluteBlock : kRangeBlock;
    if (absolute) {
      r.startPoint.x = NormalizeCoordinate(r.startPoint.x);
      r.startPoint.y = NormalizeCoordinate(r.startPoint.y);
      r.endPoint.x = NormalizeCoordinate(r.endPoint.x);
      r.endPoint.y = NormalizeCoordinate(r.endPoint.y);
    }
  }
  if (normalized) *normalized = r;
  if (r.startPoint.x > r.endPoint.x || r.startPoint.y > r.endPoint.y) {
    LogString("Invalid row or column selection");
    return kRangeInvalid;
  }
  return type;
}

bool IsGridPointInRange(int64_t x, int64_t y, const GridRange& range) {
  GridRange r;
  if (TypeOfRange(&r, range) == kRangeInvalid) return false;
  x = NormalizeCoordinate(x);
  y = NormalizeCoordinate(y);
  return x >= r.startPoint.x && x <= r.endPoint.x && y >= r.startPoint.y && y <= r.endPoint.y;
}

void SetUnrecognizedFileTypeError(FLError* error) {
  SetError(error, -206, QStringLiteral("I don't recognize the file type."));
}

int32_t FileTypeForFile(const QString& path) {
  const QString extension = PathExtension(path);
  if (extension.isEmpty()) return FileTypeFromContent(path);
  for (const ExtensionType& entry : kExtensionTypes) {
    if (extension.compare(QLatin1String(entry.extension), Qt::CaseInsensitive) == 0)
      return entry.type;
  }
  // The image class's list is compared exactly, as it gives it.
  if (ImageFileExtensions().contains(extension)) return kFileTypeImage;
  return kFileTypeUnknown;
}

void InterpretHeaderString(const QString& templateText, HeaderVariables& variables) {
  variables = {kHeaderNothing, kHeaderNothing, kHeaderNothing};
  if (templateText.isEmpty()) return;
  const QStringList components = templateText.split(QLatin1Char(';'));
  // From the last to the first, so that the first component naming a field wins.
  for (qsizetype c = components.size() - 1; c >= 0; --c) {
    const QString& component = components[c];
    if (component.size() < 3) {
      FLAssert(false, "Invalid variable component");
      continue;
    }
    int field = -1;
    for (int f = 0; f < 3; ++f)
      if (component[0] == QLatin1Char(kHeaderFieldKeys[f][0])) field = f;
    if (field < 0) {
      FLAssert(false, "Invalid variable field");
      continue;
    }
    const QStringView key = QStringView(component).mid(2);  // after the "=" separator
    int32_t variable = kHeaderNothing;
    for (int v = 0; v < int(std::size(kHeaderVariableKeys)); ++v)
      if (key == QLatin1String(kHeaderVariableKeys[v])) variable = v + 1;
    if (variable == kHeaderNothing) {
      FLAssert(false, "Invalid variable");
      continue;
    }
    variables[size_t(field)] = variable;
  }
}

QString HeaderFieldKey(int field) {
  if (field < 0 || field >= int(std::size(kHeaderFieldKeys))) return QString();
  return QLatin1String(kHeaderFieldKeys[field]);
}

QString HeaderVariableKey(int32_t variable) {
  if (variable < 1 || variable > int32_t(std::size(kHeaderVariableKeys))) return QString();
  return QLatin1String(kHeaderVariableKeys[variable - 1]);
}

void GetNewStringWithoutStopListWords(QString& string) {
  const QString head = string.left(kStopListScanLength);
  const qsizetype length = head.size();
  const auto isSpace = [&](qsizetype i) {
    return TypeOfChar(head[i].unicode()) == kCharClassSpace;
  };
  QString kept;
  bool removed = false;
  qsizetype i = 0;
  while (i < length) {
    if (isSpace(i)) {
      kept.append(head[i++]);
      continue;
    }
    const qsizetype wordStart = i;
    bool lettersOnly = true;
    for (; i < length && !isSpace(i); ++i) {
      const auto type = TypeOfChar(head[i].unicode());
      if (type != kCharClassUpper && type != kCharClassLower) lettersOnly = false;
    }
    const QString word = head.mid(wordStart, i - wordStart);
    if (lettersOnly && isOnStopList(word)) {
      removed = true;
      while (i < length && isSpace(i)) ++i;  // with the white space after it
      continue;
    }
    kept.append(word);
  }
  if (removed) string = kept;
}
