#include "calculator/model/caDocumentXml.h"

#include "calculator/model/CANumberFormat.h"
#include "calculator/model/caXmlTags.h"
#include "calculator/model/formula/caFormulaParser.h"
#include "framlet/foundation/flCharacterClasses.h"
#include "platform/StringWithFormat.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace {

constexpr const char* kImageFormatWords[] = {"?",   "heic", "jpeg", "pdf", "png",
                                             "tiff", "bmp", "emf",  "gif", "pict"};
constexpr const char* kSelectionFormat = "%@:%@";
constexpr const char* kRectFormat = "{{%@, %@}, {%@, %@}}";
constexpr qsizetype kMaxPictureIdLength = 128;

bool IsAsciiDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// Folds what no cell coordinate can be into 0: absolute (negative) values, the wildcard and the
// markers above it.
int64_t CellCoordinate(int64_t n) { return n < 0 || n >= kGridOpenEnd ? 0 : n; }

// A selection coordinate may also be the whole-row or whole-column wildcard.
int64_t SelectionCoordinate(int64_t n) { return n == kGridWildcard ? n : CellCoordinate(n); }

QString ShortestNumber(double value) {
  return QLocale::c().toString(value, 'g', QLocale::FloatingPointShortest);
}

}  // namespace

std::span<const char* const> ImageFormatWords() { return kImageFormatWords; }

std::shared_ptr<const FLXmlKeyTable> SpreadsheetKeyTable() {
  static const std::shared_ptr<const FLXmlKeyTable> table = [] {
    auto keys = std::make_shared<FLXmlKeyTable>();
    for (const FLXmlTagKey& entry : SpreadsheetXmlTags()) keys->insert(QString::fromLatin1(entry.tag), entry.key);
    return std::shared_ptr<const FLXmlKeyTable>(std::move(keys));
  }();
  return table;
}

void PrepareSpreadsheetDecoder(FLXmlDecoder& decoder) {
  decoder.setKeyDecoder(SpreadsheetKeyTable());
  decoder.setAllowNumericTags(true);
}

bool IsValidPictureId(const QString& id) {
  if (id.isEmpty() || id.size() > kMaxPictureIdLength) return false;
  for (QChar c : id) {
    const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    if (!letter && !IsAsciiDigit(c) && c != u'-') return false;
  }
  return true;
}

GridRange SelectionFromString(const QString& text) {
  const QStringList parts = text.split(QLatin1Char(':'));
  if (parts.size() < 2) return GridRange{};
  const GridPoint p = GridPointFromStringCalc(parts[0], true);
  const GridPoint q = GridPointFromStringCalc(parts[1], true);
  const GridPoint a{SelectionCoordinate(p.x), SelectionCoordinate(p.y)};
  const GridPoint b{SelectionCoordinate(q.x), SelectionCoordinate(q.y)};
  // A wildcard must stand at both ends of its axis, and not on both axes.
  const bool wildX = a.x == kGridWildcard;
  const bool wildY = a.y == kGridWildcard;
  if (wildX != (b.x == kGridWildcard) || wildY != (b.y == kGridWildcard) || (wildX && wildY))
    return GridRange{};
  return GridRange{{std::min(a.x, b.x), std::min(a.y, b.y)}, {std::max(a.x, b.x), std::max(a.y, b.y)}};
}

QString StringFromSelection(const GridRange& range) {
  return StringWithFormat(kSelectionFormat, StringFromGridPoint(range.startPoint),
                          StringFromGridPoint(range.endPoint));
}

GridPoint PaddingFromString(const QString& text) {
  const QStringList parts = text.split(QLatin1Char(','));
  if (parts.size() < 2) return GridPoint{0, 0};
  const auto part = [](const QString& p) {
    bool ok = false;
    const int64_t value = p.trimmed().toLongLong(&ok);
    return ok ? value : 0;
  };
  return GridPoint{part(parts[0]), part(parts[1])};
}

QRectF RectFromString(const QString& text) {
  double numbers[4] = {0, 0, 0, 0};
  int found = 0;
  const qsizetype n = text.size();
  qsizetype i = 0;
  while (i < n && found < 4) {
    const QChar c = text[i];
    const bool signedStart = (c == u'-' || c == u'+') && i + 1 < n &&
                             (IsAsciiDigit(text[i + 1]) || text[i + 1] == u'.');
    if (!IsAsciiDigit(c) && c != u'.' && !signedStart) {
      ++i;
      continue;
    }
    qsizetype end = i + (signedStart ? 1 : 0);
    while (end < n && (IsAsciiDigit(text[end]) || text[end] == u'.')) ++end;
    if (end < n && (text[end] == u'e' || text[end] == u'E')) {
      qsizetype exponent = end + 1;
      if (exponent < n && (text[exponent] == u'-' || text[exponent] == u'+')) ++exponent;
      if (exponent < n && IsAsciiDigit(text[exponent])) {
        end = exponent;
        while (end < n && IsAsciiDigit(text[end])) ++end;
      }
    }
    bool ok = false;
    const double value = QStringView(text).mid(i, end - i).toDouble(&ok);
    numbers[found++] = ok && std::isfinite(value) ? value : 0;
    i = std::max(end, i + 1);
  }
  return QRectF(numbers[0], numbers[1], numbers[2], numbers[3]);
}

QString StringFromRect(const QRectF& rect) {
  return StringWithFormat(kRectFormat, ShortestNumber(rect.x()), ShortestNumber(rect.y()),
                          ShortestNumber(rect.width()), ShortestNumber(rect.height()));
}

GridPoint CellPointFromString(const QString& text) {
  const GridPoint point = GridPointFromStringCalc(text, true);
  return GridPoint{CellCoordinate(point.x), CellCoordinate(point.y)};
}

CAFormulaSeparators UserFormulaSeparators() {
  return CAFormulaSeparators{NumberTextLocale().decimalSeparatorChar, QLatin1Char(',')};
}

QString StringFromFormulaSeparators(const CAFormulaSeparators& separators) {
  return QString(separators.decimal) + separators.list;
}

std::optional<CAFormulaSeparators> FormulaSeparatorsFromString(const QString& text) {
  if (text.size() != 2) return std::nullopt;
  return CAFormulaSeparators{text[0], text[1]};
}

QString TranslateFormulaSeparators(const QString& formula, const CAFormulaSeparators& from,
                                   const CAFormulaSeparators& to) {
  if (from == to || !formula.startsWith(QLatin1Char('='))) return formula;
  const qsizetype n = formula.size();
  const auto isDigit = [&](qsizetype i) { return i < n && TypeOfChar(formula[i].unicode()) == kCharClassDigit; };
  QString result;
  result.reserve(n + 4);
  result += QLatin1Char('=');
  qsizetype i = 1;
  while (i < n) {
    const QChar c = formula[i];
    const uint32_t cls = TypeOfChar(c.unicode());
    if (c == u'"') {
      // Quoted text is no part of the formula's syntax: its digits, full stops and commas are
      // kept as written, up to the closing quote (a doubled one closes and opens again).
      const qsizetype close = formula.indexOf(QLatin1Char('"'), i + 1);
      const qsizetype end = close < 0 ? n : close + 1;
      result += QStringView(formula).mid(i, end - i);
      i = end;
    } else if (cls == kCharClassUpper || cls == kCharClassLower || c == u'$') {
      // A name (a reference, a range or a function) is read as the formula parser reads it: its
      // digits and full stops are no literal.
      qsizetype j = i + 1;
      while (j < n) {
        const QChar d = formula[j];
        const uint32_t k = TypeOfChar(d.unicode());
        if (k != kCharClassUpper && k != kCharClassLower && k != kCharClassDigit && d != u'.' && d != u'$' &&
            d != u':')
          break;
        ++j;
      }
      result += QStringView(formula).mid(i, j - i);
      i = j;
    } else if (cls == kCharClassDigit || (c == u'.' && isDigit(i + 1))) {
      // A literal as the formula parser takes it under the old separators (it starts one at a
      // digit or a full stop): digits, the decimal separator (even with no digit after it) and
      // the fraction, then an exponent.
      qsizetype j = i;
      while (isDigit(j)) ++j;
      result += QStringView(formula).mid(i, j - i);
      // Only a full stop starts a literal: ".5" becomes "0,5", not an argument separator.
      if (j == i && c == from.decimal && to.decimal != u'.') result += QLatin1Char('0');
      // Where the decimal separator parts arguments too, it does so before an operand.
      const bool parts = from.decimal == u',' && from.list == u',' && CommaPartsArguments(formula, j);
      if (j < n && formula[j] == from.decimal && !parts) {
        result += to.decimal;
        ++j;
        const qsizetype fraction = j;
        while (isDigit(j)) ++j;
        result += QStringView(formula).mid(fraction, j - fraction);
      } else if (j == i) {
        // A full stop that is no decimal separator under the old ones: kept as it was.
        result += c;
        ++j;
      }
      if (j + 1 < n && (formula[j] == u'e' || formula[j] == u'E')) {
        qsizetype k = j + 1;
        if (formula[k] == u'+' || formula[k] == u'-') ++k;
        if (isDigit(k)) {
          while (isDigit(k)) ++k;
          result += QStringView(formula).mid(j, k - j);
          j = k;
        }
      }
      i = j;
      // The new reader would take a list separator right after the literal for its decimal one.
      if (i < n && formula[i] == from.list && to.list == to.decimal) result += QLatin1Char(' ');
      // The blank that told the old reader the two apart is needed no longer: the formula reads
      // as it was before it went the other way.
      if (from.list == from.decimal && to.list != to.decimal && i + 1 < n && formula[i] == u' ' &&
          formula[i + 1] == from.list)
        ++i;
    } else if (c == from.list) {
      result += to.list;
      ++i;
    } else {
      result += c;
      ++i;
    }
  }
  return result;
}

QString UserFormulaFromC(const QString& formula) {
  return TranslateFormulaSeparators(formula, CAFormulaSeparators{}, UserFormulaSeparators());
}

namespace {
thread_local CAFormulaSeparatorsReading* t_formulaSeparators = nullptr;
}  // namespace

CAFormulaSeparatorsReading::CAFormulaSeparatorsReading() : outer_(t_formulaSeparators) { t_formulaSeparators = this; }

CAFormulaSeparatorsReading::~CAFormulaSeparatorsReading() { t_formulaSeparators = outer_; }

QString CAFormulaSeparatorsReading::toUser(const QString& formula) {
  if (!t_formulaSeparators || !t_formulaSeparators->written_) return formula;
  return TranslateFormulaSeparators(formula, *t_formulaSeparators->written_, UserFormulaSeparators());
}
