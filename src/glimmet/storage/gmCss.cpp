#include "glimmet/storage/gmCss.h"

#include "framlet/foundation/flFileSupport.h"
#include "framlet/foundation/flReadingMeter.h"
#include "framlet/foundation/flSeededHash.h"

#include <QByteArrayView>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <deque>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace {

// What every hash of a name or declaration a page writes starts from: the process's hash seed,
// so that a page cannot be written whose names all fall on one slot of the sheets' tables.
std::atomic<size_t> g_cssHashSeed{ProcessHashSeed()};

size_t CssHashSeed() { return g_cssHashSeed.load(std::memory_order_relaxed); }

// What the pieces of a sheet are charged as they are made. Measured through an open
// (bench/benchHtmlReader, BM_UnitCost, the difference of 10^5 and 10^6 of one piece, the page's
// own text included): a rule of one class "p.cN{margin-left:3px}" takes 324 bytes, charged 1,214;
// a rule naming an ancestor ".cN p{color:red}" 351, charged 1,347; each selector of one rule's
// long list "p.cN," 308 (a rule of its own, and what the list holds while it is read), charged
// 1,042; a rule of a linked sheet 364 with the file's bytes. Rules are charged three to four times
// what they take, where every other piece of a page is charged near what it takes: a few bytes
// of sheet make a rule, so that the rules are the pieces a page holds most of for its size, and
// at these charges the budget is reached within about a million and a half of them, a second or
// two of making.
constexpr int64_t kDeclarationCharge = 64;
constexpr int64_t kSelectorCharge = 96;
constexpr int64_t kCompoundCharge = 128;
constexpr int64_t kRuleCharge = 720;
constexpr int64_t kRuleKeyCharacterCharge = 6;
constexpr int64_t kEntryCharge = 16;
constexpr int64_t kFileCharge = 256;
// What a selector list pays for its rules at a time, before it makes them: a few rules' worth, so
// that the budget is looked at as often as when they are made one by one.
constexpr int64_t kPrepaidAtOnce = 2048;
// One test of a compound selector against an element, or one step up its ancestors.
constexpr int64_t kMatchStepCharge = 4;
// Matching charges its steps in batches, so that the charge is not a call per step.
constexpr int64_t kMatchStepsPerCharge = 4096;
// The rules whose answers an ancestor keeps in a table of a byte a rule, for the elements inside
// it to look up at once; those after them are looked up as their left parts are.
constexpr uint32_t kNearRules = 4096;
// The most answers the path keeps (some 50 MB of them).
constexpr int64_t kMostAnswersKept = int64_t(1) << 20;

// A sheet file is text its page's author wrote; one of more than a few megabytes is no page's.
constexpr int64_t kMaxSheetFileBytes = int64_t(4) * 1024 * 1024;
// Imports inside imports, and @media inside @media, deeper than any sheet nests them: deeper ones
// are left out rather than followed on the stack.
constexpr int kMaxImportDepth = 16;
constexpr int kMaxBlockDepth = 16;
// A selector longer than any page's is left out rather than walked for every element.
constexpr int kMaxCompounds = 256;

// The size relative sizes start from when nothing above set one, and the one rem is measured by.
constexpr double kMediumPoints = 12;
// Lengths past this are no page's and would overflow what the import makes of them.
constexpr double kMaxPoints = 1e6;

// ---------------------------------------------------------------------------------------------
// Scanning

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f'; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsHex(char16_t c) { return IsDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); }
int HexValue(char16_t c) { return IsDigit(c) ? c - u'0' : (c | 0x20) - u'a' + 10; }
bool IsNameStart(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c >= 0x80; }
bool IsNameChar(char16_t c) { return IsNameStart(c) || IsDigit(c) || c == u'-'; }

char16_t At(QStringView s, qsizetype i) { return i >= 0 && i < s.size() ? s[i].unicode() : u'\0'; }

bool IsValidEscape(QStringView s, qsizetype i) {
  if (At(s, i) != u'\\' || i + 1 >= s.size()) return false;
  const char16_t next = s[i + 1].unicode();
  return next != u'\n' && next != u'\r' && next != u'\f';
}

// Whether an identifier starts at i.
bool StartsIdent(QStringView s, qsizetype i) {
  const char16_t c = At(s, i);
  if (IsNameStart(c)) return true;
  if (c == u'\\') return IsValidEscape(s, i);
  if (c == u'-') return IsNameStart(At(s, i + 1)) || At(s, i + 1) == u'-' || IsValidEscape(s, i + 1);
  return false;
}

// The escape at s[i] (a valid one) appended to `out`; answers where it ends.
qsizetype ReadEscape(QStringView s, qsizetype i, QString* out) {
  ++i;
  if (!IsHex(s[i].unicode())) {
    out->append(s[i]);
    return i + 1;
  }
  char32_t code = 0;
  const qsizetype end = std::min(s.size(), i + 6);
  while (i < end && IsHex(s[i].unicode())) code = code * 16 + char32_t(HexValue(s[i++].unicode()));
  if (At(s, i) == u'\r' && At(s, i + 1) == u'\n')
    i += 2;
  else if (i < s.size() && IsSpace(s[i].unicode()))
    ++i;
  if (code == 0 || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) code = 0xFFFD;
  const char32_t one[1] = {code};
  out->append(QString::fromUcs4(one, 1));
  return i;
}

// The name (identifier characters and escapes) from i, appended to `out`; answers where it ends.
qsizetype ReadName(QStringView s, qsizetype i, QString* out) {
  while (i < s.size()) {
    const char16_t c = s[i].unicode();
    if (IsNameChar(c)) {
      const qsizetype start = i;
      while (i < s.size() && IsNameChar(s[i].unicode())) ++i;
      out->append(s.mid(start, i - start));
    } else if (IsValidEscape(s, i)) {
      i = ReadEscape(s, i, out);
    } else {
      break;
    }
  }
  return i;
}

// Where the comment opening at i ends (the whole rest when it is not closed).
qsizetype EndOfComment(QStringView s, qsizetype i) {
  const qsizetype close = s.indexOf(u"*/", i + 2);
  return close < 0 ? s.size() : close + 2;
}

bool OpensComment(QStringView s, qsizetype i) { return At(s, i) == u'/' && At(s, i + 1) == u'*'; }

// Where the string opening at i ends: after its closing quote, or before the line break that ends
// a string left open, as CSS reads one.
qsizetype EndOfString(QStringView s, qsizetype i, QString* text = nullptr) {
  const char16_t quote = s[i].unicode();
  ++i;
  while (i < s.size()) {
    const char16_t c = s[i].unicode();
    if (c == quote) return i + 1;
    if (c == u'\n' || c == u'\r' || c == u'\f') return i;
    if (c == u'\\') {
      if (i + 1 >= s.size()) return s.size();
      const char16_t next = s[i + 1].unicode();
      if (next == u'\n' || next == u'\f') {
        i += 2;
      } else if (next == u'\r') {
        i += At(s, i + 2) == u'\n' ? 3 : 2;
      } else if (text) {
        i = ReadEscape(s, i, text);
      } else {
        i += 2;
      }
      continue;
    }
    if (text) text->append(s[i]);
    ++i;
  }
  return i;
}

// The first position at i or after, outside strings, comments, escapes and brackets, that holds
// one of `stops`; s.size() when there is none. Brackets nest as CSS nests them: a closer that
// does not close the innermost one is text.
qsizetype FindOutside(QStringView s, qsizetype i, std::u16string_view stops, std::vector<char16_t>* stack) {
  stack->clear();
  // The characters that may matter, one bit each, so that the others are passed over at once.
  uint64_t matter[2] = {0, 0};
  for (char16_t c : std::u16string_view(u"\\\"'/()[]{}")) matter[c >> 6] |= uint64_t(1) << (c & 63);
  for (char16_t c : stops)
    if (c < 128) matter[c >> 6] |= uint64_t(1) << (c & 63);
  const bool wideStops = std::any_of(stops.begin(), stops.end(), [](char16_t c) { return c >= 128; });
  while (i < s.size()) {
    const char16_t c = s[i].unicode();
    if (c < 128 ? !(matter[c >> 6] >> (c & 63) & 1) : !wideStops) {
      ++i;
      continue;
    }
    if (c == u'\\') {
      i += 2;
      continue;
    }
    if (c == u'"' || c == u'\'') {
      i = EndOfString(s, i);
      continue;
    }
    if (OpensComment(s, i)) {
      i = EndOfComment(s, i);
      continue;
    }
    if (stack->empty() && stops.find(c) != std::u16string_view::npos) return i;
    if (c == u'(')
      stack->push_back(u')');
    else if (c == u'[')
      stack->push_back(u']');
    else if (c == u'{')
      stack->push_back(u'}');
    else if (!stack->empty() && c == stack->back())
      stack->pop_back();
    ++i;
  }
  return s.size();
}

// The text without its comments and the blanks around it: the text itself when it has no
// comment, else a copy in `storage`.
QStringView WithoutComments(QStringView s, QString* storage) {
  s = s.trimmed();
  if (!s.contains(u"/*")) return s;
  QString& out = *storage;
  out.clear();
  out.reserve(s.size());
  qsizetype i = 0;
  while (i < s.size()) {
    const char16_t c = s[i].unicode();
    if (c == u'"' || c == u'\'') {
      const qsizetype end = EndOfString(s, i);
      out.append(s.mid(i, end - i));
      i = end;
    } else if (c == u'\\' && i + 1 < s.size()) {
      out.append(s.mid(i, 2));
      i += 2;
    } else if (OpensComment(s, i)) {
      i = EndOfComment(s, i);
    } else {
      out.append(s[i]);
      ++i;
    }
  }
  out = out.trimmed();
  return out;
}

bool EqualsLatin1(QStringView s, std::string_view word) {
  return s.compare(QLatin1StringView(word.data(), qsizetype(word.size())), Qt::CaseInsensitive) == 0;
}

// ---------------------------------------------------------------------------------------------
// Values

// The components of a value: words, strings, functions with their arguments, and each comma and
// slash on its own.
std::vector<QStringView> SplitValue(QStringView s) {
  std::vector<QStringView> parts;
  std::vector<char16_t> stack;
  qsizetype i = 0;
  while (i < s.size()) {
    const char16_t c = s[i].unicode();
    if (IsSpace(c)) {
      ++i;
      continue;
    }
    if (c == u',' || c == u'/') {
      parts.push_back(s.mid(i, 1));
      ++i;
      continue;
    }
    const qsizetype end = std::max(FindOutside(s, i, u" \t\n\r\f,/", &stack), i + 1);
    parts.push_back(s.mid(i, end - i));
    i = end;
  }
  return parts;
}

// A CSS number at the start of s; answers its length (0 when none).
qsizetype ReadNumber(QStringView s, double* value) {
  qsizetype i = 0;
  if (At(s, i) == u'+' || At(s, i) == u'-') ++i;
  const qsizetype digitsStart = i;
  while (IsDigit(At(s, i))) ++i;
  bool digits = i > digitsStart;
  if (At(s, i) == u'.' && IsDigit(At(s, i + 1))) {
    ++i;
    while (IsDigit(At(s, i))) ++i;
    digits = true;
  }
  if (!digits) return 0;
  if ((At(s, i) == u'e' || At(s, i) == u'E') &&
      (IsDigit(At(s, i + 1)) || ((At(s, i + 1) == u'+' || At(s, i + 1) == u'-') && IsDigit(At(s, i + 2))))) {
    i += 2;
    while (IsDigit(At(s, i))) ++i;
  }
  // The digits of a short number without an exponent, and the power of ten that divides them,
  // are both exact, so their quotient is the number correctly rounded.
  {
    int64_t digitsValue = 0;
    int digitCount = 0, fractionDigits = 0;
    bool fraction = false, simple = true;
    for (qsizetype k = (s[0] == u'+' || s[0] == u'-') ? 1 : 0; k < i && simple; ++k) {
      const char16_t c = s[k].unicode();
      if (c == u'.') {
        fraction = true;
      } else if (IsDigit(c) && digitCount < 15) {
        digitsValue = digitsValue * 10 + (c - u'0');
        digitCount += digitsValue > 0 ? 1 : 0;
        fractionDigits += fraction ? 1 : 0;
      } else {
        simple = false;
      }
    }
    static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (simple && fractionDigits <= 22) {
      const double v = double(digitsValue) / kPowers[fractionDigits];
      *value = s[0] == u'-' ? -v : v;
      return i;
    }
  }
  bool ok = false;
  // Read as C reads numbers, whatever the user's locale.
  const double v = s.left(i).toDouble(&ok);
  if (!ok || !std::isfinite(v)) return 0;
  *value = v;
  return i;
}

std::optional<double> ParseNumber(QStringView s) {
  double v = 0;
  if (s.isEmpty() || ReadNumber(s, &v) != s.size()) return std::nullopt;
  return v;
}

std::optional<GMCssLength> ParseLength(QStringView s) {
  double v = 0;
  const qsizetype n = ReadNumber(s, &v);
  if (n == 0) return std::nullopt;
  const QStringView unit = s.mid(n);
  using U = GMCssLength::Unit;
  static const std::pair<std::string_view, U> kUnits[] = {
      {"px", U::Px}, {"pt", U::Pt}, {"pc", U::Pc}, {"in", U::In},   {"cm", U::Cm},
      {"mm", U::Mm}, {"em", U::Em}, {"ex", U::Ex}, {"rem", U::Rem}, {"%", U::Percent}};
  if (unit.isEmpty()) {
    // A number without a unit is a length only when it is nought.
    if (v != 0) return std::nullopt;
    return GMCssLength{0, U::None};
  }
  for (const auto& [name, u] : kUnits)
    if (EqualsLatin1(unit, name)) return GMCssLength{v, u};
  return std::nullopt;
}

// A length in points; em and ex measured by `emPoints`. Nothing for a percentage.
std::optional<double> ToPoints(const GMCssLength& length, double emPoints) {
  using U = GMCssLength::Unit;
  double points = 0;
  switch (length.unit) {
    case U::None: points = 0; break;
    case U::Px: points = length.value * 0.75; break;
    case U::Pt: points = length.value; break;
    case U::Pc: points = length.value * 12; break;
    case U::In: points = length.value * 72; break;
    case U::Cm: points = length.value * 72 / 2.54; break;
    case U::Mm: points = length.value * 72 / 25.4; break;
    case U::Em: points = length.value * emPoints; break;
    case U::Ex: points = length.value * emPoints / 2; break;
    case U::Rem: points = length.value * kMediumPoints; break;
    case U::Percent: return std::nullopt;
  }
  if (!std::isfinite(points) || std::abs(points) > kMaxPoints) return std::nullopt;
  return points;
}

// The arguments of a function written "name(a, b, c)" or "name(a b c / d)", as numbers with their
// percent signs; nothing when it is not such a function.
std::optional<std::vector<QStringView>> FunctionArguments(QStringView s, std::string_view name) {
  const qsizetype open = s.indexOf(u'(');
  if (open < 0 || !s.endsWith(u')') || !EqualsLatin1(s.left(open), name)) return std::nullopt;
  std::vector<QStringView> args;
  for (QStringView part : SplitValue(s.mid(open + 1, s.size() - open - 2)))
    if (part != u",") args.push_back(part);
  return args;
}

// A colour component: a number in [0, scale] or a percentage of it.
std::optional<double> Component(QStringView s, double scale) {
  const bool percent = s.endsWith(u'%');
  const std::optional<double> v = ParseNumber(percent ? s.chopped(1) : s);
  if (!v) return std::nullopt;
  return std::clamp(percent ? *v / 100 : *v / scale, 0.0, 1.0);
}

std::optional<QColor> ParseColor(QStringView s, const std::optional<QColor>& current) {
  if (s.startsWith(u'#')) {
    const QStringView hex = s.mid(1);
    if (!std::all_of(hex.begin(), hex.end(), [](QChar c) { return IsHex(c.unicode()); })) return std::nullopt;
    const auto digit = [&](qsizetype i) { return HexValue(hex[i].unicode()); };
    switch (hex.size()) {
      case 3:
      case 4: return QColor(digit(0) * 17, digit(1) * 17, digit(2) * 17, hex.size() == 4 ? digit(3) * 17 : 255);
      case 6:
      case 8:
        return QColor(digit(0) * 16 + digit(1), digit(2) * 16 + digit(3), digit(4) * 16 + digit(5),
                      hex.size() == 8 ? digit(6) * 16 + digit(7) : 255);
      default: return std::nullopt;
    }
  }
  if (s.contains(u'(')) {
    auto args = FunctionArguments(s, "rgb");
    if (!args) args = FunctionArguments(s, "rgba");
    const bool hsl = !args;
    if (hsl) args = FunctionArguments(s, "hsl");
    if (!args) args = FunctionArguments(s, "hsla");
    if (!args) return std::nullopt;
    std::vector<QStringView> values;
    for (QStringView a : *args)
      if (a != u"/") values.push_back(a);
    if (values.size() != 3 && values.size() != 4) return std::nullopt;
    const std::optional<double> alpha = values.size() == 4 ? Component(values[3], 1) : std::optional<double>(1);
    if (!alpha) return std::nullopt;
    if (hsl) {
      QStringView hueText = values[0];
      if (hueText.endsWith(u"deg", Qt::CaseInsensitive)) hueText.chop(3);
      const std::optional<double> hue = ParseNumber(hueText);
      const std::optional<double> saturation = values[1].endsWith(u'%') ? Component(values[1], 1) : std::nullopt;
      const std::optional<double> lightness = values[2].endsWith(u'%') ? Component(values[2], 1) : std::nullopt;
      if (!hue || !saturation || !lightness) return std::nullopt;
      const double h = std::fmod(std::fmod(*hue, 360) + 360, 360) / 360;
      return QColor::fromHslF(float(h), float(*saturation), float(*lightness), float(*alpha));
    }
    std::array<double, 3> rgb{};
    for (int i = 0; i < 3; ++i) {
      const std::optional<double> c = Component(values[size_t(i)], 255);
      if (!c) return std::nullopt;
      rgb[size_t(i)] = *c;
    }
    return QColor::fromRgbF(float(rgb[0]), float(rgb[1]), float(rgb[2]), float(*alpha));
  }
  if (EqualsLatin1(s, "transparent")) return QColor(0, 0, 0, 0);
  if (EqualsLatin1(s, "currentcolor")) return current ? *current : QColor(Qt::black);
  if (s.isEmpty() || s.size() > 32 ||
      !std::all_of(s.begin(), s.end(), [](QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }))
    return std::nullopt;
  const QString name = s.toString().toLower();
  if (!QColor::isValidColorName(name)) return std::nullopt;
  return QColor::fromString(name);
}

// The families of a font-family value, quotes and escapes taken off; nothing when none.
std::optional<QStringList> ParseFamilies(QStringView s) {
  QStringList families;
  QString family;
  bool quoted = false;
  const auto finish = [&] {
    if (!quoted) family = family.simplified();
    if (!family.isEmpty()) families.append(family);
    family.clear();
    quoted = false;
  };
  qsizetype i = 0;
  while (i < s.size()) {
    const char16_t c = s[i].unicode();
    if (c == u',') {
      finish();
      ++i;
    } else if (c == u'"' || c == u'\'') {
      finish();
      quoted = true;
      i = EndOfString(s, i, &family);
    } else if (IsValidEscape(s, i)) {
      i = ReadEscape(s, i, &family);
    } else {
      family.append(s[i]);
      ++i;
    }
  }
  finish();
  if (families.isEmpty()) return std::nullopt;
  return families;
}

// ---------------------------------------------------------------------------------------------
// Properties

enum Property : uint16_t {
  kFontFamily,
  kFontSize,
  kFontWeight,
  kFontStyle,
  kFont,
  kColor,
  kBackgroundColor,
  kBackground,
  kTextDecoration,
  kTextDecorationLine,
  kVerticalAlign,
  kTextAlign,
  kTextIndent,
  kMargin,
  kMarginTop,
  kMarginRight,
  kMarginBottom,
  kMarginLeft,
  kPadding,
  kPaddingTop,
  kPaddingRight,
  kPaddingBottom,
  kPaddingLeft,
  kWhiteSpace,
  kListStyleType,
  kListStyle,
  kWidth,
  kDisplay,
  kTextTransform,
  kVisibility,
  kCaptionSide,
  kHeight,
  kOverflow,
  kClip,
  kClipPath,
  kPropertyCount
};

constexpr std::array<std::string_view, kPropertyCount> kPropertyNames = {
    "font-family",     "font-size",    "font-weight", "font-style",     "font",
    "color",           "background-color", "background", "text-decoration", "text-decoration-line",
    "vertical-align",  "text-align",   "text-indent", "margin",         "margin-top",
    "margin-right",    "margin-bottom", "margin-left", "padding",       "padding-top",
    "padding-right",   "padding-bottom", "padding-left", "white-space", "list-style-type",
    "list-style",      "width",        "display",     "text-transform", "visibility",
    "caption-side",    "height",       "overflow",    "clip",           "clip-path"};

// The property the name stands for; nothing for one the rich text does not carry.
std::optional<Property> PropertyNamed(QStringView name) {
  static const std::array<std::u16string, kPropertyCount> kNames = [] {
    std::array<std::u16string, kPropertyCount> names;
    for (size_t p = 0; p < kPropertyCount; ++p) names[p].assign(kPropertyNames[p].begin(), kPropertyNames[p].end());
    return names;
  }();
  static const std::unordered_map<std::u16string_view, Property> kByName = [] {
    std::unordered_map<std::u16string_view, Property> map;
    for (size_t p = 0; p < kPropertyCount; ++p) map.emplace(kNames[p], Property(p));
    return map;
  }();
  const auto it = kByName.find(std::u16string_view(name.utf16(), size_t(name.size())));
  if (it == kByName.end()) return std::nullopt;
  return it->second;
}

// The properties a shorthand sets, or the property itself.
std::vector<Property> Longhands(Property p) {
  switch (p) {
    case kFont: return {kFontFamily, kFontSize, kFontWeight, kFontStyle};
    case kBackground: return {kBackgroundColor};
    case kTextDecoration:
    case kTextDecorationLine: return {kTextDecoration};
    case kMargin: return {kMarginTop, kMarginRight, kMarginBottom, kMarginLeft};
    case kPadding: return {kPaddingTop, kPaddingRight, kPaddingBottom, kPaddingLeft};
    case kListStyle: return {kListStyleType};
    default: return {p};
  }
}

// Copies a longhand from `from` (for "inherit"), or clears it when `from` is null (for "initial").
void CopyLonghand(Property p, const GMCssStyle* from, GMCssStyle* to) {
  const GMCssStyle none;
  const GMCssStyle& f = from ? *from : none;
  switch (p) {
    case kFontFamily: to->fontFamilies = f.fontFamilies; break;
    case kFontSize: to->fontPointSize = f.fontPointSize; break;
    case kFontWeight: to->fontWeight = f.fontWeight; break;
    case kFontStyle: to->italic = f.italic; break;
    case kColor: to->color = f.color; break;
    case kBackgroundColor: to->backgroundColor = f.backgroundColor; break;
    case kTextDecoration:
      to->underline = f.underline;
      to->strikeOut = f.strikeOut;
      to->overline = f.overline;
      break;
    case kVerticalAlign: to->verticalAlign = f.verticalAlign; break;
    case kTextAlign: to->textAlign = f.textAlign; break;
    case kTextIndent: to->textIndentPoints = f.textIndentPoints; break;
    case kMarginTop: to->marginTopPoints = f.marginTopPoints; break;
    case kMarginRight: to->marginRightPoints = f.marginRightPoints; break;
    case kMarginBottom: to->marginBottomPoints = f.marginBottomPoints; break;
    case kMarginLeft: to->marginLeftPoints = f.marginLeftPoints; break;
    case kPaddingTop: to->paddingTopPoints = f.paddingTopPoints; break;
    case kPaddingRight: to->paddingRightPoints = f.paddingRightPoints; break;
    case kPaddingBottom: to->paddingBottomPoints = f.paddingBottomPoints; break;
    case kPaddingLeft: to->paddingLeftPoints = f.paddingLeftPoints; break;
    case kWhiteSpace: to->whiteSpace = f.whiteSpace; break;
    case kListStyleType: to->listStyleType = f.listStyleType; break;
    case kWidth: to->width = f.width; break;
    case kDisplay:
      to->displayNone = f.displayNone;
      to->displayGiven = f.displayGiven;
      to->displayBlock = f.displayBlock;
      break;
    case kTextTransform: to->textTransform = f.textTransform; break;
    case kVisibility: to->invisible = f.invisible; break;
    case kCaptionSide: to->captionBelow = f.captionBelow; break;
    case kHeight: to->height = f.height; break;
    case kOverflow: to->overflowHidden = f.overflowHidden; break;
    case kClip: to->clipRectEmpty = f.clipRectEmpty; break;
    case kClipPath: to->clipPathEmpty = f.clipPathEmpty; break;
    default: break;
  }
}

// Whether "clip: rect(top, right, bottom, left)" (commas or blanks between) leaves nothing of
// the box: its bottom at or above its top, or its right at or left of its left.
bool ClipRectIsEmpty(QStringView value) {
  if (!value.startsWith(u"rect(", Qt::CaseInsensitive) || !value.endsWith(u')')) return false;
  QString inside = value.sliced(5, value.size() - 6).toString();
  inside.replace(u',', u' ');
  const QStringList parts = inside.split(u' ', Qt::SkipEmptyParts);
  if (parts.size() != 4) return false;
  double edges[4];
  for (qsizetype k = 0; k < 4; ++k) {
    const std::optional<GMCssLength> length = ParseLength(parts[k]);
    if (!length || length->unit == GMCssLength::Unit::Percent) return false;
    edges[k] = ToPoints(*length, kMediumPoints).value_or(0);
  }
  return edges[2] <= edges[0] || edges[1] <= edges[3];
}

// Whether "clip-path: inset(...)" leaves nothing of the box: an inset of half of it or more from
// opposite sides.
bool ClipInsetIsEmpty(QStringView value) {
  if (!value.startsWith(u"inset(", Qt::CaseInsensitive) || !value.endsWith(u')')) return false;
  QStringView inside = value.sliced(6, value.size() - 7);
  if (const qsizetype round = inside.indexOf(u"round", 0, Qt::CaseInsensitive); round >= 0) inside = inside.first(round);
  const QList<QStringView> parts = inside.split(u' ', Qt::SkipEmptyParts);
  if (parts.isEmpty() || parts.size() > 4) return false;
  double insets[4];
  for (qsizetype k = 0; k < parts.size(); ++k) {
    const std::optional<GMCssLength> length = ParseLength(parts[k]);
    // Shares of the box; a bare nought is none.
    if (!length || (length->unit != GMCssLength::Unit::Percent && length->unit != GMCssLength::Unit::None)) return false;
    insets[k] = length->value;
  }
  // As margins are given: one for all sides, two for top-bottom and sides, three, four.
  const double top = insets[0];
  const double right = parts.size() > 1 ? insets[1] : top;
  const double bottom = parts.size() > 2 ? insets[2] : top;
  const double left = parts.size() > 3 ? insets[3] : right;
  return top + bottom >= 100 || left + right >= 100;
}

bool IsInheritedLonghand(Property p) {
  switch (p) {
    case kFontFamily:
    case kFontSize:
    case kFontWeight:
    case kFontStyle:
    case kColor:
    case kTextAlign:
    case kTextIndent:
    case kWhiteSpace:
    case kListStyleType:
    case kTextTransform:
    case kVisibility:
    case kCaptionSide: return true;
    default: return false;
  }
}

template <typename T, size_t N>
std::optional<T> Keyword(QStringView s, const std::pair<std::string_view, T> (&table)[N]) {
  for (const auto& [name, value] : table)
    if (EqualsLatin1(s, name)) return value;
  return std::nullopt;
}

std::optional<double> FontSize(QStringView s, double parentPoints) {
  static const std::pair<std::string_view, double> kSizes[] = {
      {"xx-small", 3.0 / 5}, {"x-small", 3.0 / 4}, {"small", 8.0 / 9}, {"medium", 1},
      {"large", 6.0 / 5},    {"x-large", 3.0 / 2}, {"xx-large", 2},    {"xxx-large", 3}};
  if (const std::optional<double> factor = Keyword(s, kSizes)) return *factor * kMediumPoints;
  if (EqualsLatin1(s, "smaller")) return parentPoints / 1.2;
  if (EqualsLatin1(s, "larger")) return parentPoints * 1.2;
  const std::optional<GMCssLength> length = ParseLength(s);
  if (!length || length->value <= 0) return std::nullopt;
  std::optional<double> points = length->unit == GMCssLength::Unit::Percent
                                     ? std::optional<double>(parentPoints * length->value / 100)
                                     : ToPoints(*length, parentPoints);
  if (!points || *points <= 0 || *points > kMaxPoints) return std::nullopt;
  return points;
}

std::optional<int> FontWeight(QStringView s, int parentWeight) {
  if (EqualsLatin1(s, "normal")) return 400;
  if (EqualsLatin1(s, "bold")) return 700;
  if (EqualsLatin1(s, "bolder")) return parentWeight < 350 ? 400 : parentWeight < 550 ? 700 : 900;
  if (EqualsLatin1(s, "lighter")) return parentWeight < 550 ? 100 : parentWeight < 750 ? 400 : 700;
  const std::optional<double> n = ParseNumber(s);
  if (!n || *n < 1 || *n > 1000) return std::nullopt;
  return std::clamp(int(std::lround(*n / 100)) * 100, 100, 900);
}

std::optional<bool> FontStyle(QStringView s) {
  if (EqualsLatin1(s, "normal")) return false;
  if (EqualsLatin1(s, "italic") || EqualsLatin1(s, "oblique")) return true;
  return std::nullopt;
}

std::optional<QString> ListStyleType(QStringView s) {
  static const std::pair<std::string_view, std::string_view> kTypes[] = {
      {"disc", "disc"},         {"circle", "circle"},           {"square", "square"},
      {"decimal", "decimal"},   {"decimal-leading-zero", "decimal"}, {"armenian", "decimal"},
      {"georgian", "decimal"},  {"lower-alpha", "lower-alpha"}, {"lower-latin", "lower-alpha"},
      {"upper-alpha", "upper-alpha"}, {"upper-latin", "upper-alpha"}, {"lower-roman", "lower-roman"},
      {"upper-roman", "upper-roman"}, {"none", "none"}};
  const std::optional<std::string_view> type = Keyword(s, kTypes);
  if (!type) return std::nullopt;
  return QString::fromLatin1(type->data(), qsizetype(type->size()));
}

struct Applier {
  const GMCssStyle& parent;
  GMCssStyle* style;
  double emPoints;

  double parentPoints() const { return parent.fontPointSize.value_or(kMediumPoints); }

  void fontShorthand(QStringView value) {
    const std::vector<QStringView> parts = SplitValue(value);
    static const std::string_view kSystemFonts[] = {"caption",     "icon",          "menu",
                                                    "message-box", "small-caption", "status-bar"};
    if (parts.size() == 1)
      for (std::string_view name : kSystemFonts)
        if (EqualsLatin1(parts[0], name)) return;
    static const std::string_view kIgnored[] = {
        "normal",         "small-caps",    "ultra-condensed", "extra-condensed", "condensed",
        "semi-condensed", "semi-expanded", "expanded",        "extra-expanded",  "ultra-expanded"};
    bool italic = false;
    int weight = 400;
    size_t i = 0;
    for (; i < parts.size(); ++i) {
      if (std::any_of(std::begin(kIgnored), std::end(kIgnored),
                      [&](std::string_view n) { return EqualsLatin1(parts[i], n); }))
        continue;
      if (const std::optional<bool> s = FontStyle(parts[i])) {
        italic = *s;
        continue;
      }
      // A bare number is a weight before the size; a size needs its unit.
      if (const std::optional<int> w = FontWeight(parts[i], parent.fontWeight.value_or(400))) {
        weight = *w;
        continue;
      }
      break;
    }
    if (i >= parts.size()) return;
    const std::optional<double> size = FontSize(parts[i], parentPoints());
    if (!size) return;
    ++i;
    if (i < parts.size() && parts[i] == u"/") i += 2;
    if (i >= parts.size()) return;
    const QStringView rest(parts[i].data(), value.data() + value.size());
    const std::optional<QStringList> families = ParseFamilies(rest);
    if (!families) return;
    style->italic = italic;
    style->fontWeight = weight;
    style->fontPointSize = size;
    style->fontFamilies = families;
  }

  // The four sides of a margin or padding shorthand, top, right, bottom, left.
  void sides(QStringView value, std::array<std::optional<double>*, 4> targets, bool margin) {
    const std::vector<QStringView> parts = SplitValue(value);
    if (parts.empty() || parts.size() > 4) return;
    std::array<std::optional<double>, 4> values;
    for (size_t i = 0; i < parts.size(); ++i) {
      if (!side(parts[i], margin, &values[i])) return;
    }
    static const size_t kFrom[4][4] = {{0, 0, 0, 0}, {0, 1, 0, 1}, {0, 1, 2, 1}, {0, 1, 2, 3}};
    for (size_t i = 0; i < 4; ++i) *targets[i] = values[kFrom[parts.size() - 1][i]];
  }

  // One side: a length in points, or nothing for what the import does not hold (auto, a
  // percentage); false for what is no value of the property.
  bool side(QStringView part, bool margin, std::optional<double>* out) const {
    if (margin && EqualsLatin1(part, "auto")) {
      *out = std::nullopt;
      return true;
    }
    const std::optional<GMCssLength> length = ParseLength(part);
    if (!length || (!margin && length->value < 0)) return false;
    *out = ToPoints(*length, emPoints);
    return length->unit == GMCssLength::Unit::Percent || out->has_value();
  }

  void one(QStringView value, std::optional<double>* target, bool margin) {
    std::optional<double> v;
    if (side(value, margin, &v)) *target = v;
  }

  void textDecoration(QStringView value) {
    bool underline = false, strikeOut = false, overline = false;
    for (QStringView part : SplitValue(value)) {
      if (EqualsLatin1(part, "underline"))
        underline = true;
      else if (EqualsLatin1(part, "line-through"))
        strikeOut = true;
      else if (EqualsLatin1(part, "overline"))
        overline = true;
      else if (!EqualsLatin1(part, "none") && !EqualsLatin1(part, "blink") && !EqualsLatin1(part, "solid") &&
               !EqualsLatin1(part, "double") && !EqualsLatin1(part, "dotted") && !EqualsLatin1(part, "dashed") &&
               !EqualsLatin1(part, "wavy") && !ParseColor(part, style->color) && !ParseLength(part))
        return;
    }
    style->underline = underline;
    style->strikeOut = strikeOut;
    style->overline = overline;
  }

  void apply(Property p, QStringView value) {
    using WS = GMCssStyle::WhiteSpace;
    using VA = GMCssStyle::VerticalAlign;
    using TA = GMCssStyle::TextAlign;
    switch (p) {
      case kFontFamily:
        if (auto families = ParseFamilies(value)) style->fontFamilies = std::move(families);
        break;
      case kFontSize:
        if (auto size = FontSize(value, parentPoints())) style->fontPointSize = size;
        break;
      case kFontWeight:
        if (auto weight = FontWeight(value, parent.fontWeight.value_or(400))) style->fontWeight = weight;
        break;
      case kFontStyle: {
        // "oblique" may carry an angle.
        const std::vector<QStringView> parts = SplitValue(value);
        if (!parts.empty())
          if (auto italic = FontStyle(parts[0])) style->italic = italic;
        break;
      }
      case kFont: fontShorthand(value); break;
      case kColor:
        if (auto color = ParseColor(value, parent.color)) style->color = color;
        break;
      case kBackgroundColor:
        if (auto color = ParseColor(value, style->color)) style->backgroundColor = color;
        break;
      case kBackground: {
        // Only the colour of the shorthand is carried: the pictures it names are never loaded.
        std::optional<QColor> color;
        for (QStringView part : SplitValue(value))
          if (!color) color = ParseColor(part, style->color);
        style->backgroundColor = color ? *color : QColor(0, 0, 0, 0);
        break;
      }
      case kTextDecoration:
      case kTextDecorationLine: textDecoration(value); break;
      case kVerticalAlign: {
        static const std::pair<std::string_view, VA> kAligns[] = {
            {"baseline", VA::Baseline}, {"super", VA::Super},   {"sub", VA::Sub},       {"top", VA::Top},
            {"text-top", VA::Top},      {"middle", VA::Middle}, {"bottom", VA::Bottom}, {"text-bottom", VA::Bottom}};
        if (auto align = Keyword(value, kAligns)) style->verticalAlign = align;
        break;
      }
      case kTextAlign: {
        static const std::pair<std::string_view, TA> kAligns[] = {{"left", TA::Left},     {"right", TA::Right},
                                                                  {"center", TA::Center}, {"justify", TA::Justify},
                                                                  {"start", TA::Left},    {"end", TA::Right}};
        if (auto align = Keyword(value, kAligns)) style->textAlign = align;
        break;
      }
      case kTextIndent: {
        const std::optional<GMCssLength> length = ParseLength(value);
        if (length && length->unit != GMCssLength::Unit::Percent)
          if (auto points = ToPoints(*length, emPoints)) style->textIndentPoints = points;
        break;
      }
      case kMargin:
        sides(
            value,
            {&style->marginTopPoints, &style->marginRightPoints, &style->marginBottomPoints, &style->marginLeftPoints},
            true);
        break;
      case kMarginTop: one(value, &style->marginTopPoints, true); break;
      case kMarginRight: one(value, &style->marginRightPoints, true); break;
      case kMarginBottom: one(value, &style->marginBottomPoints, true); break;
      case kMarginLeft: one(value, &style->marginLeftPoints, true); break;
      case kPadding:
        sides(value,
              {&style->paddingTopPoints, &style->paddingRightPoints, &style->paddingBottomPoints,
               &style->paddingLeftPoints},
              false);
        break;
      case kPaddingTop: one(value, &style->paddingTopPoints, false); break;
      case kPaddingRight: one(value, &style->paddingRightPoints, false); break;
      case kPaddingBottom: one(value, &style->paddingBottomPoints, false); break;
      case kPaddingLeft: one(value, &style->paddingLeftPoints, false); break;
      case kWhiteSpace: {
        static const std::pair<std::string_view, WS> kSpaces[] = {
            {"normal", WS::Normal},        {"pre", WS::Pre},         {"nowrap", WS::NoWrap}, {"pre-wrap", WS::PreWrap},
            {"break-spaces", WS::PreWrap}, {"pre-line", WS::PreLine}};
        if (auto space = Keyword(value, kSpaces)) style->whiteSpace = space;
        break;
      }
      case kListStyleType:
        if (auto type = ListStyleType(value)) style->listStyleType = type;
        break;
      case kListStyle: {
        std::optional<QString> type;
        bool none = false;
        for (QStringView part : SplitValue(value)) {
          if (EqualsLatin1(part, "none"))
            none = true;
          else if (auto t = ListStyleType(part))
            type = t;
        }
        if (type || none) style->listStyleType = type ? *type : QStringLiteral("none");
        break;
      }
      case kWidth: {
        if (EqualsLatin1(value, "auto")) {
          style->width.reset();
          break;
        }
        const std::optional<GMCssLength> length = ParseLength(value);
        if (!length || length->value < 0) break;
        if (length->unit == GMCssLength::Unit::Percent) {
          style->width = length;
        } else if (const std::optional<double> points = ToPoints(*length, emPoints)) {
          style->width = GMCssLength{*points, GMCssLength::Unit::Pt};
        }
        break;
      }
      case kDisplay:
        if (StartsIdent(value, 0)) {
          style->displayNone = EqualsLatin1(value, "none");
          style->displayGiven = true;
          style->displayBlock = EqualsLatin1(value, "block") || EqualsLatin1(value, "list-item") ||
                                EqualsLatin1(value, "flex") || EqualsLatin1(value, "grid") ||
                                EqualsLatin1(value, "table") || EqualsLatin1(value, "flow-root");
        }
        break;
      case kTextTransform: {
        using TT = GMCssStyle::TextTransform;
        static const std::pair<std::string_view, TT> kTransforms[] = {{"none", TT::None},
                                                                      {"uppercase", TT::Uppercase},
                                                                      {"lowercase", TT::Lowercase},
                                                                      {"capitalize", TT::Capitalize}};
        if (auto transform = Keyword(value, kTransforms)) style->textTransform = transform;
        break;
      }
      case kVisibility:
        // A collapsed element other than a row or column shows as a hidden one does.
        if (EqualsLatin1(value, "visible")) style->invisible = false;
        else if (EqualsLatin1(value, "hidden") || EqualsLatin1(value, "collapse")) style->invisible = true;
        break;
      case kCaptionSide:
        if (EqualsLatin1(value, "bottom")) style->captionBelow = true;
        else if (EqualsLatin1(value, "top")) style->captionBelow = false;
        break;
      case kHeight: {
        if (EqualsLatin1(value, "auto")) {
          style->height.reset();
          break;
        }
        const std::optional<GMCssLength> length = ParseLength(value);
        if (!length || length->value < 0 || length->unit == GMCssLength::Unit::Percent) break;
        if (const std::optional<double> points = ToPoints(*length, emPoints))
          style->height = GMCssLength{*points, GMCssLength::Unit::Pt};
        break;
      }
      case kOverflow: {
        // "hidden" or "clip", on both axes where two are given.
        const std::vector<QStringView> parts = SplitValue(value);
        if (parts.empty() || parts.size() > 2) break;
        style->overflowHidden = std::all_of(parts.begin(), parts.end(), [](QStringView part) {
          return EqualsLatin1(part, "hidden") || EqualsLatin1(part, "clip");
        });
        break;
      }
      case kClip:
        style->clipRectEmpty = ClipRectIsEmpty(value);
        break;
      case kClipPath:
        style->clipPathEmpty = ClipInsetIsEmpty(value);
        break;
      case kPropertyCount: break;
    }
  }

  // "inherit", "initial" and "unset", which any property takes; false for any other value.
  bool wide(Property p, QStringView value) {
    const bool inherit = EqualsLatin1(value, "inherit");
    const bool initial = EqualsLatin1(value, "initial");
    const bool unset = EqualsLatin1(value, "unset");
    if (!inherit && !initial && !unset) return false;
    for (Property longhand : Longhands(p)) {
      const bool fromParent = inherit || (unset && IsInheritedLonghand(longhand));
      CopyLonghand(longhand, fromParent ? &parent : nullptr, style);
    }
    return true;
  }

  void declaration(const GMCssDeclaration& d) {
    const std::optional<Property> p = PropertyNamed(d.property);
    if (!p) return;
    const QStringView value = QStringView(d.value).trimmed();
    if (value.isEmpty() || wide(*p, value)) return;
    apply(*p, value);
  }
};

// ---------------------------------------------------------------------------------------------
// Selectors

// A selector as it is read, for the rule it makes or names: its names are views of the sheet's
// own text, or of `spelled` where an escape or a capital letter makes them differ from it. It is
// read again and again into the same storage, so that reading one makes no allocation.
// How an attribute selector tests the attribute's value: it is there at all ("[a]"), or its value
// is ("="), holds as one of its words ("~="), is or starts a hyphenated part ("|="), starts with
// ("^="), ends with ("$=") or holds ("*=") the selector's.
enum class AttributeMatch : uint8_t { Exists, Equals, Word, Dash, Prefix, Suffix, Substring };

struct AttributeTest {
  QStringView name;  // in lower case
  QStringView value;
  AttributeMatch match = AttributeMatch::Exists;
  bool ignoreCase = false;
};

struct Selector {
  struct Compound {
    QStringView type;  // empty: any element
    QStringView id;
    uint32_t classesAt = 0;  // in `classes`, sorted and once each
    uint32_t classCount = 0;
    uint32_t attributesAt = 0;  // in `attributes`, as written
    uint32_t attributeCount = 0;
  };
  std::vector<Compound> compounds;  // left to right; the last is the subject
  std::vector<bool> child;          // child[i]: compound i holds compound i + 1 directly
  std::vector<QStringView> classes;
  std::vector<AttributeTest> attributes;
  std::deque<QString> spelled;
  uint32_t specificity = 0;
  size_t hash = 0;  // equal for selectors that match the same elements

  void clear() {
    compounds.clear();
    child.clear();
    classes.clear();
    attributes.clear();
    spelled.clear();
    specificity = 0;
    hash = 0;
  }
  QStringView classOf(const Compound& compound, uint32_t k) const { return classes[compound.classesAt + k]; }
};

// The name (identifier characters and escapes) from i as a view of `s` where it is written plainly
// (and in lower case where `lower`), else spelled out in the selector's own storage; answers where
// it ends.
qsizetype ReadSelectorName(QStringView s, qsizetype i, bool lower, Selector* selector, QStringView* name) {
  const qsizetype start = i;
  bool plain = true;
  while (i < s.size() && IsNameChar(s[i].unicode())) {
    const char16_t c = s[i].unicode();
    plain = plain && !(lower && (c >= 0x80 || (c >= u'A' && c <= u'Z')));
    ++i;
  }
  if (plain && !IsValidEscape(s, i)) {
    *name = s.mid(start, i - start);
    return i;
  }
  QString& text = selector->spelled.emplace_back();
  i = ReadName(s, start, &text);
  if (lower) text = text.toLower();
  *name = text;
  return i;
}

enum class SelectorRead { Ok, Unsupported, Malformed };

// The attributes of HTML whose values a selector compares without regard to case, as browsers do
// for a page (sorted).
bool ValueIgnoresCase(QStringView name) {
  static constexpr std::u16string_view kNames[] = {
      u"accept", u"accept-charset", u"align", u"alink", u"axis", u"bgcolor", u"charset", u"checked", u"clear",
      u"codetype", u"color", u"compact", u"declare", u"defer", u"dir", u"direction", u"disabled", u"enctype",
      u"face", u"frame", u"hreflang", u"http-equiv", u"lang", u"language", u"link", u"media", u"method",
      u"multiple", u"nohref", u"noresize", u"noshade", u"nowrap", u"readonly", u"rel", u"rev", u"rules", u"scope",
      u"scrolling", u"selected", u"shape", u"target", u"text", u"type", u"valign", u"valuetype", u"vlink"};
  const std::u16string_view key(reinterpret_cast<const char16_t*>(name.utf16()), size_t(name.size()));
  return std::binary_search(std::begin(kNames), std::end(kNames), key);
}

// An attribute selector from its "[" at i: the test it makes, with `*end` past its "]".
SelectorRead ReadAttributeSelector(QStringView s, qsizetype i, Selector* selector, AttributeTest* test,
                                   qsizetype* end) {
  ++i;
  while (i < s.size() && IsSpace(s[i].unicode())) ++i;
  // A namespace ("[*|a]", "[|a]", "[svg|a]") is none a page's elements have here.
  if (At(s, i) == u'*' || At(s, i) == u'|') return SelectorRead::Unsupported;
  if (!StartsIdent(s, i)) return SelectorRead::Malformed;
  i = ReadSelectorName(s, i, true, selector, &test->name);
  if (At(s, i) == u'|' && At(s, i + 1) != u'=') return SelectorRead::Unsupported;
  while (i < s.size() && IsSpace(s[i].unicode())) ++i;
  const char16_t c = At(s, i);
  if (c == u']') {
    test->match = AttributeMatch::Exists;
    *end = i + 1;
    return SelectorRead::Ok;
  }
  if (c == u'=') {
    test->match = AttributeMatch::Equals;
    ++i;
  } else if (At(s, i + 1) == u'=' && (c == u'~' || c == u'|' || c == u'^' || c == u'$' || c == u'*')) {
    test->match = c == u'~'   ? AttributeMatch::Word
                  : c == u'|' ? AttributeMatch::Dash
                  : c == u'^' ? AttributeMatch::Prefix
                  : c == u'$' ? AttributeMatch::Suffix
                              : AttributeMatch::Substring;
    i += 2;
  } else {
    return SelectorRead::Malformed;
  }
  while (i < s.size() && IsSpace(s[i].unicode())) ++i;
  const char16_t quote = At(s, i);
  if (quote == u'"' || quote == u'\'') {
    QString& text = selector->spelled.emplace_back();
    const qsizetype after = EndOfString(s, i, &text);
    // A string a line end cuts off is no string.
    if (after <= i + 1 || s[after - 1] != quote) return SelectorRead::Malformed;
    test->value = text;
    i = after;
  } else if (StartsIdent(s, i)) {
    i = ReadSelectorName(s, i, false, selector, &test->value);
  } else {
    return SelectorRead::Malformed;
  }
  while (i < s.size() && IsSpace(s[i].unicode())) ++i;
  test->ignoreCase = ValueIgnoresCase(test->name);
  const char16_t flag = At(s, i);
  if ((flag == u'i' || flag == u'I' || flag == u's' || flag == u'S') && !IsNameChar(At(s, i + 1))) {
    test->ignoreCase = flag == u'i' || flag == u'I';
    ++i;
    while (i < s.size() && IsSpace(s[i].unicode())) ++i;
  }
  if (At(s, i) != u']') return SelectorRead::Malformed;
  *end = i + 1;
  return SelectorRead::Ok;
}

// One selector of a list, without comments, into `selector` (cleared first). Unsupported: a
// selector this engine does not match (pseudo-classes and -elements, sibling combinators,
// namespaces), which is left out alone; malformed: one that makes the whole rule
// void, as CSS has it.
SelectorRead ReadSelector(QStringView s, Selector* selector) {
  selector->clear();
  qsizetype i = 0;
  bool pendingChild = false;
  uint32_t classCount = 0;
  while (true) {
    const qsizetype spacesFrom = i;
    while (i < s.size() && IsSpace(s[i].unicode())) ++i;
    const bool spaced = i > spacesFrom;
    if (i >= s.size()) break;
    const char16_t c = s[i].unicode();
    if (c == u'>') {
      if (selector->compounds.empty() || pendingChild) return SelectorRead::Malformed;
      pendingChild = true;
      ++i;
      continue;
    }
    if (c == u'+' || c == u'~')
      return selector->compounds.empty() ? SelectorRead::Malformed : SelectorRead::Unsupported;
    if (!selector->compounds.empty()) {
      if (!spaced && !pendingChild) return SelectorRead::Malformed;
      selector->child.push_back(pendingChild);
    }
    pendingChild = false;
    if (int(selector->compounds.size()) >= kMaxCompounds) return SelectorRead::Unsupported;
    Selector::Compound compound;
    compound.classesAt = uint32_t(selector->classes.size());
    compound.attributesAt = uint32_t(selector->attributes.size());
    bool any = false;
    if (c == u'*') {
      ++i;
      any = true;
    } else if (StartsIdent(s, i)) {
      i = ReadSelectorName(s, i, true, selector, &compound.type);
      any = true;
    }
    if (At(s, i) == u'|') return SelectorRead::Unsupported;
    while (i < s.size()) {
      const char16_t d = s[i].unicode();
      if (d == u'.') {
        if (!StartsIdent(s, i + 1)) return SelectorRead::Malformed;
        QStringView name;
        i = ReadSelectorName(s, i + 1, false, selector, &name);
        selector->classes.push_back(name);
      } else if (d == u'#') {
        // An id selector is an identifier: "#1a" is no selector.
        if (!StartsIdent(s, i + 1)) return SelectorRead::Malformed;
        QStringView name;
        const qsizetype end = ReadSelectorName(s, i + 1, false, selector, &name);
        // Two ids: no element has both.
        if (!compound.id.isEmpty() && compound.id != name) return SelectorRead::Unsupported;
        compound.id = name;
        i = end;
      } else if (d == u'[') {
        AttributeTest test;
        qsizetype end = i;
        const SelectorRead read = ReadAttributeSelector(s, i, selector, &test, &end);
        if (read != SelectorRead::Ok) return read;
        selector->attributes.push_back(test);
        i = end;
      } else if (d == u':') {
        return SelectorRead::Unsupported;
      } else {
        break;
      }
      any = true;
    }
    if (!any) return SelectorRead::Malformed;
    // Each class written counts for the specificity, a repeated one too, and so does each
    // attribute test.
    const auto first = selector->classes.begin() + compound.classesAt;
    classCount += uint32_t(selector->classes.end() - first);
    compound.attributeCount = uint32_t(selector->attributes.size()) - compound.attributesAt;
    classCount += compound.attributeCount;
    std::sort(first, selector->classes.end());
    selector->classes.erase(std::unique(first, selector->classes.end()), selector->classes.end());
    compound.classCount = uint32_t(selector->classes.size()) - compound.classesAt;
    selector->compounds.push_back(compound);
  }
  if (selector->compounds.empty() || pendingChild) return SelectorRead::Malformed;
  uint32_t ids = 0, types = 0;
  // Each part hashed with its kind and place, so that a type cannot pass for a class.
  size_t hash = CssHashSeed() ^ selector->compounds.size();
  for (size_t k = 0; k < selector->compounds.size(); ++k) {
    const Selector::Compound& compound = selector->compounds[k];
    ids += compound.id.isEmpty() ? 0 : 1;
    types += compound.type.isEmpty() ? 0 : 1;
    hash = qHash(compound.type, hash * 31 + (k > 0 && selector->child[k - 1] ? 2 : 1));
    hash = qHash(compound.id, hash * 31 + 3);
    for (uint32_t n = 0; n < compound.classCount; ++n) hash = qHash(selector->classOf(compound, n), hash * 31 + 4);
    for (uint32_t n = 0; n < compound.attributeCount; ++n) {
      const AttributeTest& test = selector->attributes[compound.attributesAt + n];
      hash = qHash(test.name, hash * 31 + 5);
      hash = qHash(test.value, hash * 31 + 6 + 2 * size_t(test.match) + (test.ignoreCase ? 1 : 0));
    }
  }
  selector->hash = hash;
  selector->specificity = std::min(ids, 1023u) << 20 | std::min(classCount, 1023u) << 10 | std::min(types, 1023u);
  return SelectorRead::Ok;
}

// ---------------------------------------------------------------------------------------------
// Media

// What CssMediaMatches answers, for the sheets' own @media and @import rules as for the page's elements.
bool MediaMatches(QStringView list) {
  QString storage;
  const QString text = WithoutComments(list, &storage).toString().simplified();
  if (text.isEmpty()) return true;
  for (QStringView query : QStringView(text).split(u',')) {
    const QList<QStringView> words = query.split(u' ', Qt::SkipEmptyParts);
    qsizetype w = 0;
    bool negated = false;
    if (w < words.size() && EqualsLatin1(words[w], "not")) {
      negated = true;
      ++w;
    } else if (w < words.size() && EqualsLatin1(words[w], "only")) {
      ++w;
    }
    if (w >= words.size() || words[w].startsWith(u'(')) continue;
    const bool screen = EqualsLatin1(words[w], "screen") || EqualsLatin1(words[w], "all");
    if (w + 1 < words.size()) continue;
    if (screen != negated) return true;
  }
  return false;
}

}  // namespace

bool CssMediaMatches(QStringView media) { return MediaMatches(media); }

namespace {

// The hash of an ancestor's key; one kind of key cannot pass for another. Two keys that share a
// hash only cost a rule a match that fails.
enum class KeyKind : size_t { Type = 1, Id = 2, Class = 3 };
size_t KeyHash(KeyKind kind, QStringView text) {
  return qHash(text, CssHashSeed() ^ (size_t(kind) * 0x9E3779B97F4A7C15ull));
}

// The hash of a name the rules hold, whatever its kind.
size_t NameHash(QStringView name) { return qHash(name, CssHashSeed()); }

// A hash table held in one block of memory, its values told apart by their hashes and by the
// caller's test: a table of millions costs a probe a look and no allocation apiece, and makes
// none until its first value. A slot keeps 32 bits of the hash, so that a table of small values
// is dense.
template <typename T>
class FlatTable {
 public:
  // The value of the hash that passes `same`, or nullptr.
  template <typename Same>
  T* find(size_t fullHash, Same same) {
    if (slots_.empty()) return nullptr;
    const uint32_t hash = Short(fullHash);
    const size_t mask = slots_.size() - 1;
    for (size_t k = hash & mask;; k = (k + 1) & mask) {
      Slot& slot = slots_[k];
      if (slot.hash == 0) return nullptr;
      if (slot.hash == hash && same(slot.value)) return &slot.value;
      if (probes_) ++*probes_;
    }
  }
  template <typename Same>
  const T* find(size_t hash, Same same) const {
    return const_cast<FlatTable*>(this)->find(hash, same);
  }
  // Adds a value the table does not hold.
  T& add(size_t fullHash, T value) {
    const uint32_t hash = Short(fullHash);
    if (2 * (count_ + 1) > slots_.size()) grow(std::max<size_t>(16, 2 * slots_.size()));
    const size_t mask = slots_.size() - 1;
    size_t k = hash & mask;
    while (slots_[k].hash != 0) {
      k = (k + 1) & mask;
      if (probes_) ++*probes_;
    }
    slots_[k] = {hash, std::move(value)};
    ++count_;
    return slots_[k].value;
  }
  // Where the slots a look-up or an addition passes over on its way are counted (none: not
  // counted): a cluster of hashes costs its steps.
  void countProbesIn(int64_t* probes) { probes_ = probes; }
  // Whether any value has the hash; a value may pass for it that has another.
  bool holds(size_t hash) const {
    return find(hash, [](const T&) { return true; }) != nullptr;
  }
  // Starts fetching the slot the hash is looked up at.
  void prefetch(size_t fullHash) const {
    if (slots_.empty()) return;
    const Slot* slot = &slots_[Short(fullHash) & (slots_.size() - 1)];
    __builtin_prefetch(slot);
    // The compiler takes a prefetch for no effect, and would drop the hashing that leads to it.
    asm volatile("" : : "r"(slot));
  }
  size_t size() const { return count_; }
  template <typename Visit>
  void forEach(Visit visit) const {
    for (const Slot& slot : slots_)
      if (slot.hash != 0) visit(slot.value);
  }

 private:
  struct Slot {
    uint32_t hash = 0;  // 0: empty
    T value{};
  };
  static uint32_t Short(size_t hash) {
    const uint32_t folded = uint32_t(hash ^ (uint64_t(hash) >> 32));
    return folded ? folded : 1;
  }
  void grow(size_t size) {
    std::vector<Slot> old(size);
    old.swap(slots_);
    const size_t mask = size - 1;
    for (Slot& slot : old) {
      if (slot.hash == 0) continue;
      size_t k = slot.hash & mask;
      while (slots_[k].hash != 0) k = (k + 1) & mask;
      slots_[k] = std::move(slot);
    }
  }
  std::vector<Slot> slots_;
  size_t count_ = 0;
  int64_t* probes_ = nullptr;
};

constexpr uint32_t kNone = UINT32_MAX;

// The rules whose subject has one key (an id, a class, a type, or none), each list chained
// through its rules. Those that name an ancestor are grouped by one key an ancestor must have, so
// that an element whose ancestors lack it never tries them: a page of rules "x1 p", "x2 p", ...
// costs each p the few keys above it, not every rule.
struct Bucket {
  struct Group {
    size_t key = 0;
    uint32_t first = kNone;
  };
  uint32_t plain = kNone;  // the first rule naming no ancestor
  FlatTable<Group> byAncestor;
};

// A compound of a rule's selector, its names those the rules hold.
struct StoredCompound {
  QStringView type;  // empty: any element
  QStringView id;
  uint32_t classesAt = 0;  // in the rules' classes, sorted
  uint32_t classCount : 31 = 0;
  uint32_t child : 1 = 0;  // whether it holds the next compound directly
  uint32_t attributesAt = 0;  // in the rules' attribute tests
  uint32_t attributeCount = 0;
};

// A name the rules hold (a type, an id or a class), once however many name it, with the buckets
// of the rules whose subject it names, by kind (KeyKind less one).
struct Name {
  QStringView text;
  uint32_t buckets[3] = {kNone, kNone, kNone};
};

// The kind and name of the key the selector's rule is found by: its subject's id, else its first
// class, else its type (none: the rule is tried on every element).
std::pair<KeyKind, QStringView> SubjectKey(const Selector& s) {
  const Selector::Compound& subject = s.compounds.back();
  if (!subject.id.isEmpty()) return {KeyKind::Id, subject.id};
  if (subject.classCount > 0) return {KeyKind::Class, s.classOf(subject, 0)};
  return {KeyKind::Type, subject.type};
}

// Every compound left of the subject must match some ancestor: the nearest one that names
// anything gives the key an element's ancestors must have for the rule to be tried.
std::optional<size_t> AncestorKey(const Selector& s) {
  for (size_t k = s.compounds.size() - 1; k-- > 0;) {
    const Selector::Compound& c = s.compounds[k];
    if (!c.id.isEmpty()) return KeyHash(KeyKind::Id, c.id);
    if (c.classCount > 0) return KeyHash(KeyKind::Class, s.classOf(c, 0));
    if (!c.type.isEmpty()) return KeyHash(KeyKind::Type, c.type);
  }
  return std::nullopt;
}

// What a rule made of the selector is charged: its record, its compounds, and its names at so
// much a character, as if it kept them spelled out.
int64_t RulePrice(const Selector& selector) {
  int64_t characters = 0;
  for (const Selector::Compound& compound : selector.compounds) {
    characters += 4 + compound.type.size() + (compound.id.isEmpty() ? 0 : 3 + compound.id.size());
    for (uint32_t n = 0; n < compound.classCount; ++n) characters += 3 + selector.classOf(compound, n).size();
    for (uint32_t n = 0; n < compound.attributeCount; ++n) {
      const AttributeTest& test = selector.attributes[compound.attributesAt + n];
      characters += 8 + test.name.size() + test.value.size();
    }
  }
  return kRuleCharge + kRuleKeyCharacterCharge * characters +
         kCompoundCharge * int64_t(selector.compounds.size());
}

}  // namespace

// ---------------------------------------------------------------------------------------------

bool GMCssStyle::clippedToNothing() const {
  // A pixel is three quarters of a point.
  constexpr double kPixelPoints = 0.75;
  const auto pixelOrLess = [](const std::optional<GMCssLength>& length) {
    return length && length->unit == GMCssLength::Unit::Pt && length->value <= kPixelPoints;
  };
  return (clipRectEmpty || clipPathEmpty) && overflowHidden && pixelOrLess(width) && pixelOrLess(height);
}

GMCssStyle GMCssStyle::inherited() const {
  GMCssStyle child;
  child.fontFamilies = fontFamilies;
  child.fontPointSize = fontPointSize;
  child.fontWeight = fontWeight;
  child.italic = italic;
  child.color = color;
  child.textAlign = textAlign;
  child.textIndentPoints = textIndentPoints;
  child.whiteSpace = whiteSpace;
  child.listStyleType = listStyleType;
  child.textTransform = textTransform;
  child.invisible = invisible;
  child.captionBelow = captionBelow;
  return child;
}

namespace {

// One declaration: up to its end (the whole text when it runs on).
void ParseOneDeclaration(QStringView text, std::vector<GMCssDeclaration>* out) {
  QString storage;
  const QStringView d = WithoutComments(text, &storage);
  if (!StartsIdent(d, 0)) return;
  QString name;
  qsizetype i = ReadName(d, 0, &name);
  while (i < d.size() && IsSpace(d[i].unicode())) ++i;
  if (At(d, i) != u':') return;
  QStringView value = d.mid(i + 1).trimmed();
  bool important = false;
  const qsizetype bang = value.lastIndexOf(u'!');
  if (bang >= 0 && EqualsLatin1(value.mid(bang + 1).trimmed(), "important")) {
    important = true;
    value = value.left(bang).trimmed();
  }
  if (value.isEmpty()) return;
  out->push_back({name.toLower(), value.toString(), important});
}

}  // namespace

bool ParseCssDeclarations(QStringView text, std::vector<GMCssDeclaration>* declarations, const GMCssCharge& charge) {
  std::vector<char16_t> stack;
  qsizetype i = 0;
  while (i < text.size()) {
    const char16_t c = text[i].unicode();
    if (IsSpace(c) || c == u';') {
      ++i;
      continue;
    }
    const qsizetype end = FindOutside(text, i, u";", &stack);
    const size_t before = declarations->size();
    ParseOneDeclaration(text.mid(i, end - i), declarations);
    if (declarations->size() > before) {
      const GMCssDeclaration& d = declarations->back();
      if (charge && !charge(kDeclarationCharge + 2 * int64_t(d.property.size() + d.value.size()))) return false;
    }
    i = end + 1;
  }
  return true;
}

void AddInlineCssDeclarations(const std::vector<GMCssDeclaration>& declarations,
                              std::vector<const GMCssDeclaration*>* cascade) {
  const ptrdiff_t firstImportant =
      std::find_if(cascade->begin(), cascade->end(), [](const GMCssDeclaration* d) { return d && d->important; }) -
      cascade->begin();
  std::vector<const GMCssDeclaration*> normal, important;
  for (const GMCssDeclaration& d : declarations) (d.important ? important : normal).push_back(&d);
  cascade->insert(cascade->begin() + firstImportant, normal.begin(), normal.end());
  cascade->insert(cascade->end(), important.begin(), important.end());
}

void ApplyCssDeclarations(const std::vector<const GMCssDeclaration*>& declarations, const GMCssStyle& parent,
                          GMCssStyle* style) {
  // Lengths in em are measured by the element's own font size, whichever declaration sets it.
  Applier sizes{parent, style, parent.fontPointSize.value_or(kMediumPoints)};
  for (const GMCssDeclaration* d : declarations) {
    if (!d) continue;
    const std::optional<Property> p = PropertyNamed(d->property);
    if (p == kFontSize || p == kFont) sizes.declaration(*d);
  }
  Applier all{parent, style, style->fontPointSize.value_or(kMediumPoints)};
  for (const GMCssDeclaration* d : declarations)
    if (d) all.declaration(*d);
}

// ---------------------------------------------------------------------------------------------

struct GMStyleSheets::Rules {
  struct Entry {
    uint16_t property;
    bool important;
    uint32_t declaration;  // its index in `declarations`
    uint32_t order;        // where it was written among the sheets' declarations
  };
  // A rule's compounds (left to right, the last its subject) and entries are runs of the sheets'
  // own lists; the rules a list of selectors makes share its block's entries until one of them is
  // given more.
  struct Rule {
    uint32_t compoundsAt = 0;
    uint32_t compoundCount = 0;
    uint32_t specificity = 0;
    uint32_t entriesAt = 0;
    uint32_t entryCount : 31 = 0;
    uint32_t entriesShared : 1 = 0;
    uint32_t next = kNone;  // the next rule of its bucket's list
    uint64_t block = 0;     // the last block whose declarations it took
  };
  // An ancestor of the element being matched, as matching sees it: its classes once each and
  // sorted, so that testing one is a search, and what it answered for the rules that asked
  // whether their left parts fit at it or above it.
  struct Ancestor {
    const GMCssElement* element = nullptr;
    uint64_t serial = 0;
    std::vector<QStringView> classes;
    std::vector<size_t> keys;  // its type, id and classes (KeyHash), once each
    std::unordered_map<uint64_t, bool> fits;  // by FitKey
    // What the first rules' compounds left of their subjects answered here, by rule (0: not
    // asked, 1: no, 2: yes): each element inside asks it of every rule that may match it.
    std::vector<int8_t> subjects;
  };

  GMCssCharge charge;
  GMCssCharge steps;
  mutable bool exhausted = false;
  // The slots the tables below passed over since the last count (FlatTable::countProbesIn).
  mutable int64_t probes = 0;
  // What has been paid for pieces not made yet.
  mutable int64_t credit = 0;
  int filesRead = 0;
  bool filesForbidden = false;
  FLHashSet<QString> filesSeen;
  std::deque<GMCssDeclaration> declarations;
  std::unordered_multimap<size_t, uint32_t> declarationsByHash;
  uint32_t declarationsWritten = 0;
  // By declaration: the last match that gave it, so that one given twice is applied once.
  mutable std::vector<uint64_t> declarationGiven;
  mutable std::vector<uint32_t> declarationFound;  // where in the match's list it was given
  mutable uint64_t matchesMade = 0;
  std::deque<Rule> rules;
  std::vector<StoredCompound> compounds;
  std::vector<QStringView> classes;
  std::vector<AttributeTest> attributeTests;  // their names and values those the rules hold
  std::vector<Entry> entries;
  // The rules by their selectors' hashes, each selector one rule.
  FlatTable<uint32_t> byKey;
  // The names the rules hold, by their text's hash; their characters kept in blocks that never
  // move.
  std::vector<Name> names;
  FlatTable<uint32_t> namesByText;  // indexes in `names`
  std::vector<std::unique_ptr<char16_t[]>> nameBlocks;
  size_t nameBlockLeft = 0;
  std::vector<Bucket> buckets{1};  // the first: rules whose subject names no type, id or class
  Selector selector, probe;  // the selector being read, and another read ahead of it
  bool anyAncestorKey = false;
  uint64_t blocks = 0;
  std::vector<char16_t> stack;
  // The ancestors of the element matched last, the root first, kept while the next element is
  // inside them (as the elements of a page are), with where each is on it and how many of them
  // have each key.
  mutable std::vector<Ancestor> path;
  mutable std::unordered_map<uint64_t, size_t> onPath;
  mutable std::unordered_map<size_t, int> pathKeys;
  mutable std::vector<const GMCssElement*> newAncestors;
  mutable std::vector<std::pair<qsizetype, qsizetype>> asked;
  mutable int64_t answersKept = 0;

  bool pay(int64_t bytes) const {
    if (exhausted) return false;
    if (charge && !charge(bytes)) exhausted = true;
    return !exhausted;
  }
  // Pays for a piece made that was priced in advance: from what was paid then, as far as it goes.
  bool spend(int64_t bytes) const {
    if (exhausted) return false;
    const int64_t drawn = std::min(credit, bytes);
    credit -= drawn;
    if (bytes > drawn) return pay(bytes - drawn);
    // The piece is still counted, so that the heap is read as often as it is made.
    if (!FLReadingMeter::Checkpoint(1)) exhausted = true;
    return !exhausted;
  }
  // Pays now for pieces about to be made, which then spend it as they are made.
  bool prepay(int64_t bytes) const {
    if (exhausted) return false;
    if (bytes <= 0) return true;
    if (charge && !charge(bytes)) {
      exhausted = true;
      return false;
    }
    credit += bytes;
    return true;
  }
  // Counts the selector tests made since the last count, and, where steps are counted, the slots
  // the tables' look-ups passed over (work, which the budget of memory does not price), and starts
  // again from none.
  bool count(int64_t* made) const {
    const int64_t passed = std::exchange(probes, 0);
    const int64_t n = *made + (steps ? passed : 0);
    *made = 0;
    if (exhausted) return false;
    if (n <= 0) return true;
    if (steps) {
      if (!steps(n)) exhausted = true;
      return !exhausted;
    }
    return pay(n * kMatchStepCharge);
  }
  bool countNow(int64_t* made) const { return *made + probes < kMatchStepsPerCharge || count(made); }
  bool countProbes() const {
    int64_t none = 0;
    return count(&none);
  }

  const StoredCompound* compoundsOf(const Rule& rule) const { return compounds.data() + rule.compoundsAt; }
  // The rule the selector makes, or kNone.
  uint32_t ruleOf(const Selector& selector) const;
  // The name as the rules keep it; the reference is valid until the next name is kept.
  Name& keep(QStringView name);
  const Bucket* bucketOf(KeyKind kind, QStringView name) const;
  uint32_t makeRule(const Selector& selector);
  // Starts fetching what looking the selector up will read.
  void prefetchFor(const Selector& selector) const;
  bool giveEntries(Rule& rule, uint32_t blockAt, uint32_t blockCount, bool priced);

  void parseSheet(QStringView s, const QUrl& base, int importDepth, int blockDepth);
  void atRule(const QString& name, QStringView prelude, std::optional<QStringView> block, const QUrl& base,
              int importDepth, int blockDepth, bool* importsAllowed);
  void addRule(QStringView prelude, QStringView block);
  void import(QStringView prelude, const QUrl& base, int importDepth);
  void loadFile(const QUrl& url, int importDepth);
  bool followPath(const GMCssElement& element, int64_t* made) const;
  // Whether the rule's compounds left of its subject fit the path above the element (its subject
  // the caller's to test).
  bool matches(const Rule& rule, uint32_t index, int64_t* made) const;
  void keepAnswer(qsizetype at, uint64_t key, bool fits) const;
  bool fitsAt(const Rule& rule, uint32_t index, qsizetype at, qsizetype last, int64_t* made) const;
  bool fitsAbove(const Rule& rule, uint32_t index, qsizetype at, qsizetype last, int64_t* made) const;
};

namespace {

// Whether the element has the class; `sorted` holds the subject's classes sorted, for an element
// with many.
bool HasClass(const GMCssElement& element, QStringView name, const std::vector<QStringView>* sorted,
              int64_t* steps) {
  if (sorted) {
    *steps += 1;
    return std::binary_search(sorted->begin(), sorted->end(), name);
  }
  *steps += int64_t(element.classes.size());
  return std::find(element.classes.begin(), element.classes.end(), name) != element.classes.end();
}

// Whether the element's attribute passes the test: the first of its name, as a browser takes it.
bool PassesAttributeTest(const GMCssElement& element, const AttributeTest& test, int64_t* steps) {
  *steps += int64_t(element.attributes.size());
  const auto at = std::find_if(element.attributes.begin(), element.attributes.end(),
                               [&](const GMCssAttribute& a) { return a.name == test.name; });
  if (at == element.attributes.end()) return false;
  const QStringView value = at->value;
  const Qt::CaseSensitivity cs = test.ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive;
  // What comparing a long value takes is counted by its length.
  *steps += value.size() >> 6;
  switch (test.match) {
    case AttributeMatch::Exists: return true;
    case AttributeMatch::Equals: return value.compare(test.value, cs) == 0;
    case AttributeMatch::Dash:
      return value.compare(test.value, cs) == 0 ||
             (value.size() > test.value.size() && value[test.value.size()] == u'-' && value.startsWith(test.value, cs));
    case AttributeMatch::Prefix: return !test.value.isEmpty() && value.startsWith(test.value, cs);
    case AttributeMatch::Suffix: return !test.value.isEmpty() && value.endsWith(test.value, cs);
    case AttributeMatch::Substring: return !test.value.isEmpty() && value.contains(test.value, cs);
    case AttributeMatch::Word: {
      if (test.value.isEmpty() || std::any_of(test.value.begin(), test.value.end(), [](QChar c) {
            return IsSpace(c.unicode());
          }))
        return false;
      for (qsizetype k = 0; k < value.size();) {
        while (k < value.size() && IsSpace(value[k].unicode())) ++k;
        const qsizetype start = k;
        while (k < value.size() && !IsSpace(value[k].unicode())) ++k;
        if (k > start && value.sliced(start, k - start).compare(test.value, cs) == 0) return true;
      }
      return false;
    }
  }
  return false;
}

bool CompoundMatches(const StoredCompound& compound, const QStringView* classes, const AttributeTest* tests,
                     const GMCssElement& element, const std::vector<QStringView>* sorted, int64_t* steps) {
  *steps += 1;
  if (!compound.type.isEmpty() && element.name != compound.type) return false;
  if (!compound.id.isEmpty() && element.id != compound.id) return false;
  for (uint32_t n = 0; n < compound.classCount; ++n)
    if (!HasClass(element, classes[compound.classesAt + n], sorted, steps)) return false;
  for (uint32_t n = 0; n < compound.attributeCount; ++n)
    if (!PassesAttributeTest(element, tests[compound.attributesAt + n], steps)) return false;
  return true;
}

}  // namespace

namespace {

// The serials the style sheets give elements, one set for all of them, so that sheets matching
// the same elements never take one element for another.
std::atomic<uint64_t> g_elementSerials{0};

}  // namespace

bool GMStyleSheets::Rules::followPath(const GMCssElement& element, int64_t* made) const {
  // The element's ancestors up to the nearest one on the path already: those above it are the
  // path's, for an element's ancestors never change.
  newAncestors.clear();
  size_t kept = 0;
  for (const GMCssElement* a = element.parent; a; a = a->parent) {
    if (a->serial) {
      const auto known = onPath.find(a->serial);
      if (known != onPath.end()) {
        kept = known->second + 1;
        break;
      }
    }
    newAncestors.push_back(a);
    ++*made;
  }
  while (path.size() > kept) {
    for (size_t key : path.back().keys) {
      const auto k = pathKeys.find(key);
      if (k != pathKeys.end() && --k->second == 0) pathKeys.erase(k);
    }
    onPath.erase(path.back().serial);
    answersKept -= int64_t(path.back().fits.size());
    path.pop_back();
  }
  for (auto a = newAncestors.rbegin(); a != newAncestors.rend(); ++a) {
    const GMCssElement& e = **a;
    if (!e.serial) e.serial = ++g_elementSerials;
    Ancestor& entry = path.emplace_back();
    entry.element = &e;
    entry.serial = e.serial;
    entry.classes.assign(e.classes.begin(), e.classes.end());
    std::sort(entry.classes.begin(), entry.classes.end());
    entry.classes.erase(std::unique(entry.classes.begin(), entry.classes.end()), entry.classes.end());
    if (!e.name.isEmpty()) entry.keys.push_back(KeyHash(KeyKind::Type, e.name));
    if (!e.id.isEmpty()) entry.keys.push_back(KeyHash(KeyKind::Id, e.id));
    for (QStringView name : entry.classes) entry.keys.push_back(KeyHash(KeyKind::Class, name));
    std::sort(entry.keys.begin(), entry.keys.end());
    entry.keys.erase(std::unique(entry.keys.begin(), entry.keys.end()), entry.keys.end());
    for (size_t key : entry.keys) ++pathKeys[key];
    onPath.emplace(entry.serial, path.size() - 1);
    *made += 1 + int64_t(e.classes.size());
    if (!countNow(made)) return false;
  }
  return true;
}

void GMStyleSheets::Rules::keepAnswer(qsizetype at, uint64_t key, bool fits) const {
  // What the path keeps is there to be asked again, never more than a bounded number of answers:
  // past it they are forgotten, and worked out again where they are asked.
  if (answersKept >= kMostAnswersKept) {
    for (Ancestor& entry : path) {
      std::unordered_map<uint64_t, bool>().swap(entry.fits);
      std::vector<int8_t>().swap(entry.subjects);
    }
    answersKept = 0;
  }
  if (path[size_t(at)].fits.emplace(key, fits).second) ++answersKept;
}

bool GMStyleSheets::Rules::matches(const Rule& rule, uint32_t index, int64_t* made) const {
  const qsizetype last = qsizetype(rule.compoundCount) - 2;
  const qsizetype parent = qsizetype(path.size()) - 1;
  if (last < 0) return true;
  if (parent < 0) return false;
  std::vector<int8_t>& subjects = path[size_t(parent)].subjects;
  const bool near = index < kNearRules;
  if (near && index < subjects.size() && subjects[index]) {
    ++*made;
    return subjects[index] == 2;
  }
  const bool fits = compoundsOf(rule)[last].child ? fitsAt(rule, index, parent, last, made)
                                             : fitsAbove(rule, index, parent, last, made);
  if (exhausted || !near) return fits;
  if (subjects.size() <= index) subjects.resize(size_t(index) + 1);
  subjects[index] = fits ? 2 : 1;
  return fits;
}

namespace {

// What an entry of the path keeps of a rule's question: the rule, whether its compound was
// asked at the entry itself or at it or above, and the compound.
uint64_t FitKey(uint32_t rule, bool exactly, qsizetype compound) {
  return uint64_t(rule) << 9 | uint64_t(exactly ? 256 : 0) | uint64_t(compound);
}

}  // namespace

bool GMStyleSheets::Rules::fitsAt(const Rule& rule, uint32_t index, qsizetype at, qsizetype last,
                                  int64_t* made) const {
  // Whether the compounds up to `last` fit with `last` at the path's entry `at` itself: the run of
  // compounds joined to it by child combinators at the entries above it, one each, and what is
  // left of that run anywhere above.
  if (at < last) return false;
  ++*made;
  std::unordered_map<uint64_t, bool>& answers = path[size_t(at)].fits;
  const auto known = answers.find(FitKey(index, true, last));
  if (known != answers.end()) return countNow(made) && known->second;
  const StoredCompound* c = compoundsOf(rule);
  qsizetype start = last;
  while (start > 0 && c[start - 1].child) --start;
  const qsizetype length = last - start;
  qsizetype m = 0;
  while (m <= length && CompoundMatches(c[last - m], classes.data(), attributeTests.data(), *path[size_t(at - m)].element,
                                        &path[size_t(at - m)].classes, made))
    ++m;
  bool fits = m > length;
  if (fits && start > 0) {
    fits = fitsAbove(rule, index, at - length - 1, start - 1, made);
    if (exhausted) return false;
  }
  keepAnswer(at, FitKey(index, true, last), fits);
  return countNow(made) && fits;
}

bool GMStyleSheets::Rules::fitsAbove(const Rule& rule, uint32_t index, qsizetype at, qsizetype last,
                                     int64_t* made) const {
  // Whether the compounds up to `last` fit with `last` at the path's entry `at` or above it.
  // Each run of compounds joined by child combinators is tried at the nearest entry where it
  // fits, which leaves the most room above it for the runs to its left, so that the first fit is
  // the only one to try; and what an entry answered for a rule's run is kept with the entry, so
  // that the elements inside it ask it once: a rule costs an element what its own place adds.
  const StoredCompound* c = compoundsOf(rule);
  asked.clear();
  bool fits = false;
  while (true) {
    // Fewer entries left than compounds to place.
    if (at < last) break;
    ++*made;
    std::unordered_map<uint64_t, bool>& answers = path[size_t(at)].fits;
    const auto known = answers.find(FitKey(index, false, last));
    if (known != answers.end()) {
      fits = known->second;
      break;
    }
    asked.emplace_back(at, last);
    qsizetype start = last;
    while (start > 0 && c[start - 1].child) --start;
    const qsizetype length = last - start;
    qsizetype fit = -1;
    for (qsizetype k = at; k >= last && fit < 0; --k) {
      qsizetype m = 0;
      while (m <= length && CompoundMatches(c[last - m], classes.data(), attributeTests.data(), *path[size_t(k - m)].element,
                                            &path[size_t(k - m)].classes, made))
        ++m;
      if (m > length) fit = k;
      if (!countNow(made)) return false;
    }
    if (fit < 0) break;
    if (start == 0) {
      fits = true;
      break;
    }
    at = fit - length - 1;
    last = start - 1;
  }
  for (const auto& [entry, compound] : asked)
    keepAnswer(entry, FitKey(index, false, compound), fits);
  *made += int64_t(asked.size());
  return countNow(made) && fits;
}

void GMStyleSheets::Rules::parseSheet(QStringView s, const QUrl& base, int importDepth, int blockDepth) {
  // Each sheet and block of rules is a point where the budget is looked at, whatever it holds.
  if (!pay(0)) return;
  bool importsAllowed = blockDepth == 0;
  qsizetype i = 0;
  while (i < s.size() && !exhausted) {
    const char16_t c = s[i].unicode();
    if (IsSpace(c)) {
      ++i;
      continue;
    }
    if (OpensComment(s, i)) {
      i = EndOfComment(s, i);
      continue;
    }
    // The markers that hide a sheet from pages that do not know <style>.
    if (s.mid(i, 4) == u"<!--") {
      i += 4;
      continue;
    }
    if (s.mid(i, 3) == u"-->") {
      i += 3;
      continue;
    }
    if (c == u'@' && StartsIdent(s, i + 1)) {
      QString name;
      const qsizetype nameEnd = ReadName(s, i + 1, &name);
      const qsizetype end = FindOutside(s, nameEnd, u"{;", &stack);
      std::optional<QStringView> block;
      qsizetype next = end + 1;
      if (end < s.size() && s[end] == u'{') {
        const qsizetype close = FindOutside(s, end + 1, u"}", &stack);
        block = s.mid(end + 1, close - end - 1);
        next = close + 1;
      }
      atRule(name.toLower(), s.mid(nameEnd, end - nameEnd), block, base, importDepth, blockDepth, &importsAllowed);
      i = next;
      continue;
    }
    const qsizetype open = FindOutside(s, i, u"{", &stack);
    // A prelude that runs to the end has no block: no rule.
    if (open >= s.size()) break;
    const qsizetype close = FindOutside(s, open + 1, u"}", &stack);
    addRule(s.mid(i, open - i), s.mid(open + 1, close - open - 1));
    importsAllowed = false;
    i = close + 1;
  }
}

void GMStyleSheets::Rules::atRule(const QString& name, QStringView prelude, std::optional<QStringView> block,
                                  const QUrl& base, int importDepth, int blockDepth, bool* importsAllowed) {
  if (name == u"import") {
    // Only before the sheet's rules, as CSS has it.
    if (*importsAllowed && !block) import(prelude, base, importDepth);
    return;
  }
  if (name == u"charset" || name == u"layer") return;
  *importsAllowed = false;
  if (name == u"media" && block && blockDepth < kMaxBlockDepth && MediaMatches(prelude))
    parseSheet(*block, base, importDepth, blockDepth + 1);
}

void GMStyleSheets::Rules::import(QStringView prelude, const QUrl& base, int importDepth) {
  QString storage;
  const QStringView p = WithoutComments(prelude, &storage);
  QString target;
  qsizetype i = 0;
  if (At(p, 0) == u'"' || At(p, 0) == u'\'') {
    i = EndOfString(p, 0, &target);
  } else if (p.startsWith(u"url(", Qt::CaseInsensitive)) {
    i = 4;
    while (i < p.size() && IsSpace(p[i].unicode())) ++i;
    if (At(p, i) == u'"' || At(p, i) == u'\'') {
      i = EndOfString(p, i, &target);
      while (i < p.size() && IsSpace(p[i].unicode())) ++i;
    } else {
      while (i < p.size() && p[i] != u')') {
        if (IsValidEscape(p, i)) {
          i = ReadEscape(p, i, &target);
        } else {
          target.append(p[i]);
          ++i;
        }
      }
      target = target.trimmed();
    }
    if (At(p, i) != u')') return;
    ++i;
  } else {
    return;
  }
  if (target.isEmpty() || !MediaMatches(p.mid(i))) return;
  loadFile(base.resolved(QUrl(target)), importDepth + 1);
}

void GMStyleSheets::Rules::loadFile(const QUrl& url, int importDepth) {
  if (importDepth > kMaxImportDepth || !url.isLocalFile() || filesForbidden) return;
  // The path without the query or fragment that may tell one naming of the file from another.
  const QString path = url.toLocalFile();
  if (path.isEmpty()) return;
  const QFileInfo info(path);
  const QString canonical = info.canonicalFilePath();
  if (canonical.isEmpty() || filesSeen.count(canonical)) return;
  if (!pay(kFileCharge + 2 * int64_t(canonical.size()))) return;
  filesSeen.insert(canonical);
  const int64_t size = info.size();
  if (size > kMaxSheetFileBytes || !pay(std::max<int64_t>(size, 0))) return;
  std::optional<QByteArray> bytes = ReadRegularFile(canonical, kMaxSheetFileBytes);
  if (!bytes) return;
  ++filesRead;
  if (bytes->startsWith("\xEF\xBB\xBF")) bytes->remove(0, 3);
  // A sheet whose bytes are not UTF-8 was written in a single-byte set.
  const QString text = QByteArrayView(*bytes).isValidUtf8() ? QString::fromUtf8(*bytes) : QString::fromLatin1(*bytes);
  bytes.reset();
  if (!pay(2 * int64_t(text.size()))) return;
  QUrl sheetUrl = url;
  sheetUrl.setQuery(QString());
  sheetUrl.setFragment(QString());
  parseSheet(text, sheetUrl, importDepth, 0);
}

uint32_t GMStyleSheets::Rules::ruleOf(const Selector& s) const {
  const uint32_t* found = byKey.find(s.hash, [&](uint32_t index) {
    const Rule& rule = rules[index];
    if (rule.compoundCount != s.compounds.size()) return false;
    const StoredCompound* c = compoundsOf(rule);
    for (size_t k = 0; k < s.compounds.size(); ++k) {
      const Selector::Compound& w = s.compounds[k];
      if (c[k].type != w.type || c[k].id != w.id || c[k].classCount != w.classCount ||
          c[k].attributeCount != w.attributeCount)
        return false;
      if (k + 1 < s.compounds.size() && bool(c[k].child) != s.child[k]) return false;
      for (uint32_t n = 0; n < w.classCount; ++n)
        if (classes[c[k].classesAt + n] != s.classOf(w, n)) return false;
      for (uint32_t n = 0; n < w.attributeCount; ++n) {
        const AttributeTest& held = attributeTests[c[k].attributesAt + n];
        const AttributeTest& asked = s.attributes[w.attributesAt + n];
        if (held.name != asked.name || held.value != asked.value || held.match != asked.match ||
            held.ignoreCase != asked.ignoreCase)
          return false;
      }
    }
    return true;
  });
  return found ? *found : kNone;
}

Name& GMStyleSheets::Rules::keep(QStringView name) {
  const size_t hash = NameHash(name);
  if (const uint32_t* known = namesByText.find(hash, [&](uint32_t n) { return names[n].text == name; }))
    return names[*known];
  // Names are kept in blocks of 64 K characters, a longer one in its own.
  constexpr size_t kBlock = 65536;
  const size_t length = size_t(name.size());
  if (length > nameBlockLeft) {
    const size_t size = std::max(kBlock, length);
    nameBlocks.push_back(std::make_unique_for_overwrite<char16_t[]>(size));
    nameBlockLeft = size;
  }
  char16_t* at = nameBlocks.back().get() + (length > kBlock ? 0 : kBlock - nameBlockLeft);
  if (length > kBlock) nameBlockLeft = 0;
  else nameBlockLeft -= length;
  std::copy(name.utf16(), name.utf16() + length, at);
  namesByText.add(hash, uint32_t(names.size()));
  Name& kept = names.emplace_back();
  kept.text = QStringView(at, qsizetype(length));
  return kept;
}

const Bucket* GMStyleSheets::Rules::bucketOf(KeyKind kind, QStringView name) const {
  const uint32_t* known = namesByText.find(NameHash(name), [&](uint32_t n) { return names[n].text == name; });
  if (!known || names[*known].buckets[size_t(kind) - 1] == kNone) return nullptr;
  return &buckets[names[*known].buckets[size_t(kind) - 1]];
}

uint32_t GMStyleSheets::Rules::makeRule(const Selector& s) {
  const uint32_t index = uint32_t(rules.size());
  Rule& rule = rules.emplace_back();
  rule.compoundsAt = uint32_t(compounds.size());
  rule.compoundCount = uint32_t(s.compounds.size());
  rule.specificity = s.specificity;
  // The subject's key name is kept with its bucket (an empty one: the first bucket).
  const KeyKind subjectKind = SubjectKey(s).first;
  uint32_t bucketIndex = 0;
  const auto kept = [&](QStringView name, bool subject) {
    if (name.isEmpty()) return QStringView();
    Name& n = keep(name);
    if (subject) {
      uint32_t& b = n.buckets[size_t(subjectKind) - 1];
      if (b == kNone) {
        b = uint32_t(buckets.size());
        buckets.emplace_back().byAncestor.countProbesIn(&probes);
      }
      bucketIndex = b;
    }
    return n.text;
  };
  for (size_t k = 0; k < s.compounds.size(); ++k) {
    const Selector::Compound& w = s.compounds[k];
    const bool isSubject = k + 1 == s.compounds.size();
    StoredCompound& c = compounds.emplace_back();
    c.type = kept(w.type, isSubject && subjectKind == KeyKind::Type);
    c.id = kept(w.id, isSubject && subjectKind == KeyKind::Id);
    c.classesAt = uint32_t(classes.size());
    c.classCount = w.classCount;
    c.child = k + 1 < s.compounds.size() && s.child[k];
    for (uint32_t n = 0; n < w.classCount; ++n)
      classes.push_back(kept(s.classOf(w, n), isSubject && subjectKind == KeyKind::Class && n == 0));
    c.attributesAt = uint32_t(attributeTests.size());
    c.attributeCount = w.attributeCount;
    for (uint32_t n = 0; n < w.attributeCount; ++n) {
      AttributeTest test = s.attributes[w.attributesAt + n];
      test.name = kept(test.name, false);
      test.value = kept(test.value, false);
      attributeTests.push_back(test);
    }
  }
  Bucket* bucket = &buckets[bucketIndex];
  const std::optional<size_t> ancestorKey = AncestorKey(s);
  uint32_t* first = &bucket->plain;
  if (ancestorKey) {
    const size_t key = *ancestorKey;
    Bucket::Group* group = bucket->byAncestor.find(key, [key](const Bucket::Group& g) { return g.key == key; });
    if (!group) group = &bucket->byAncestor.add(key, {key, kNone});
    first = &group->first;
    anyAncestorKey = true;
  }
  rule.next = *first;
  *first = index;
  byKey.add(s.hash, index);
  return index;
}

bool GMStyleSheets::Rules::giveEntries(Rule& rule, uint32_t blockAt, uint32_t blockCount, bool priced) {
  if (rule.entryCount == 0) {
    // A new rule takes its block's entries as they are, shared with the others of its list.
    for (uint32_t k = 0; k < blockCount; ++k)
      if (!(priced ? spend(kEntryCharge) : pay(kEntryCharge))) return false;
    rule.entriesAt = blockAt;
    rule.entryCount = blockCount;
    rule.entriesShared = 1;
    return true;
  }
  // Merged with what the rule holds: a later declaration of a property takes the place of the
  // earlier one, and its later place in the order written.
  size_t added = 0;
  for (uint32_t k = 0; k < blockCount; ++k) {
    const Entry& entry = entries[blockAt + k];
    const Entry* held = entries.data() + rule.entriesAt;
    added += std::none_of(held, held + rule.entryCount, [&](const Entry& e) {
      return e.property == entry.property && e.important == entry.important;
    });
  }
  for (size_t k = 0; k < added; ++k)
    if (!(priced ? spend(kEntryCharge) : pay(kEntryCharge))) return false;
  // Entries shared, or to be added where others follow them, are copied to the end first (the
  // copy paid for as entries made).
  const bool atEnd = rule.entriesAt + rule.entryCount == entries.size();
  if (rule.entriesShared || (added > 0 && !atEnd)) {
    if (!pay(kEntryCharge * int64_t(rule.entryCount))) return false;
    const uint32_t from = rule.entriesAt;
    rule.entriesAt = uint32_t(entries.size());
    for (uint32_t k = 0; k < rule.entryCount; ++k) entries.push_back(entries[from + k]);
    rule.entriesShared = 0;
  }
  for (uint32_t k = 0; k < blockCount; ++k) {
    const Entry entry = entries[blockAt + k];
    Entry* held = entries.data() + rule.entriesAt;
    Entry* same = std::find_if(held, held + rule.entryCount, [&](const Entry& e) {
      return e.property == entry.property && e.important == entry.important;
    });
    if (same != held + rule.entryCount) {
      same->declaration = entry.declaration;
      same->order = entry.order;
    } else {
      entries.push_back(entry);
      ++rule.entryCount;
    }
  }
  return true;
}

void GMStyleSheets::Rules::prefetchFor(const Selector& s) const {
  byKey.prefetch(s.hash);
  if (const std::optional<size_t> key = AncestorKey(s)) {
    const auto [kind, name] = SubjectKey(s);
    if (const Bucket* bucket = name.isEmpty() ? &buckets.front() : bucketOf(kind, name))
      bucket->byAncestor.prefetch(*key);
  }
  for (const Selector::Compound& compound : s.compounds) {
    if (!compound.type.isEmpty()) namesByText.prefetch(NameHash(compound.type));
    if (!compound.id.isEmpty()) namesByText.prefetch(NameHash(compound.id));
  }
  for (QStringView name : s.classes) namesByText.prefetch(NameHash(name));
}

void GMStyleSheets::Rules::addRule(QStringView prelude, QStringView blockText) {
  QString storage;
  const QStringView list = WithoutComments(prelude, &storage);
  // The list is read twice: first to price the rules it makes, which are paid for at once before
  // any is made, so that a list past the budget is refused having built nothing and holding no
  // more than its text; then to make them, one selector at a time. The tables a selector is
  // looked up in are fetched as it is read, and looked in a few selectors later (or once the
  // declarations are read), so that a sheet of millions of rules does not wait on the memory for
  // each.
  // kLookAgain: a selector whose hash another of the list has, which may make its rule first.
  constexpr uint32_t kLookAgain = kNone - 1;
  struct Kept {
    QStringView text;
    size_t hash;
    int64_t price;
    uint32_t rule;  // the rule made before that it names, kNone where it makes one, or kLookAgain
  };
  std::vector<Kept> kept;
  FlatTable<bool> fresh;  // the hashes of the rules the list makes
  fresh.countProbesIn(&probes);
  size_t resolved = 0;
  std::vector<GMCssDeclaration> parsed;
  std::array<int32_t, 2 * kPropertyCount> last;
  std::vector<Entry> block;
  bool declared = false;
  // Only what the rich text carries is kept, each property once a block (and importance): what
  // a rule holds, and what matching it costs, is bounded by the properties there are.
  const auto declare = [&]() {
    declared = true;
    if (!ParseCssDeclarations(blockText, &parsed, [this](int64_t bytes) { return pay(bytes); })) return false;
    last.fill(-1);
    for (size_t k = 0; k < parsed.size(); ++k)
      if (const std::optional<Property> p = PropertyNamed(parsed[k].property))
        last[size_t(*p) * 2 + (parsed[k].important ? 1 : 0)] = int32_t(k);
    for (size_t k = 0; k < parsed.size(); ++k) {
      const std::optional<Property> p = PropertyNamed(parsed[k].property);
      if (!p || last[size_t(*p) * 2 + (parsed[k].important ? 1 : 0)] != int32_t(k)) continue;
      block.push_back({uint16_t(*p), parsed[k].important, 0, 0});
    }
    return !block.empty();
  };
  // Each rule the list makes is priced once, however many of its selectors come to it (those
  // of one hash are taken for one: the second is charged as it is made). What they come to is
  // paid as the list is read, so that a list far past the budget is refused when its first part
  // is.
  int64_t price = 0;
  bool listRead = false;
  const auto resolve = [&]() {
    if (!declared ? !declare() : block.empty()) return false;
    for (; resolved < kept.size(); ++resolved) {
      Kept& k = kept[resolved];
      // Most selectors share their hash with no rule: only those that do are read again.
      if (byKey.holds(k.hash)) {
        ReadSelector(k.text, &probe);
        k.rule = ruleOf(probe);
      }
      if (k.rule != kNone) continue;
      // A selector alone in its list (as most are) has none to be told from.
      if (!listRead || kept.size() > 1) {
        if (fresh.holds(k.hash)) {
          k.rule = kLookAgain;
          continue;
        }
        fresh.add(k.hash, true);
      }
      price += k.price + kEntryCharge * int64_t(block.size());
      if (price >= kPrepaidAtOnce) {
        if (!prepay(price)) return false;
        price = 0;
      }
    }
    return true;
  };
  constexpr size_t kAhead = 16;
  bool lastKept = false;  // whether `selector` holds the last selector kept
  int64_t unpaid = 0;
  qsizetype i = 0;
  while (i <= list.size()) {
    const qsizetype comma = std::min(FindOutside(list, i, u",", &stack), list.size());
    const QStringView text = list.mid(i, comma - i).trimmed();
    i = comma + 1;
    unpaid += kSelectorCharge + 2 * int64_t(text.size());
    if (unpaid >= kMatchStepsPerCharge * kMatchStepCharge) {
      if (!pay(unpaid)) return;
      unpaid = 0;
    }
    // A list repeating a selector reads it once where the repeats follow one another; others
    // are read again, and come to the rule the first made.
    if (!kept.empty() && lastKept && kept.back().text == text) continue;
    lastKept = false;
    const SelectorRead read = ReadSelector(text, &selector);
    if (read == SelectorRead::Malformed) return;
    if (read != SelectorRead::Ok) continue;
    lastKept = true;
    prefetchFor(selector);
    fresh.prefetch(selector.hash);
    kept.push_back({text, selector.hash, RulePrice(selector), kNone});
    if (kept.size() - resolved >= kAhead && !resolve()) return;
  }
  listRead = true;
  if (!pay(unpaid) || !resolve() || !prepay(price)) return;
  if (kept.empty()) return;

  // The declarations are kept once, whatever number of rules and blocks write them alike, so
  // that an element the rules give one declaration many times applies it once.
  {
    size_t e = 0;
    for (size_t k = 0; k < parsed.size(); ++k) {
      const std::optional<Property> p = PropertyNamed(parsed[k].property);
      if (!p || last[size_t(*p) * 2 + (parsed[k].important ? 1 : 0)] != int32_t(k)) continue;
      GMCssDeclaration& d = parsed[k];
      const size_t hash = qHash(d.value, qHash(d.property, CssHashSeed() + (d.important ? 1 : 0)));
      uint32_t index = uint32_t(declarations.size());
      for (auto [at, end] = declarationsByHash.equal_range(hash); at != end; ++at) {
        ++probes;
        const GMCssDeclaration& known = declarations[at->second];
        if (known.important == d.important && known.property == d.property && known.value == d.value) {
          index = at->second;
          break;
        }
      }
      if (index == declarations.size()) {
        declarationsByHash.emplace(hash, index);
        declarations.push_back(std::move(d));
      }
      block[e].declaration = index;
      block[e++].order = declarationsWritten++;
    }
  }
  const uint32_t blockAt = uint32_t(entries.size());
  entries.insert(entries.end(), block.begin(), block.end());
  const uint64_t blockSerial = ++blocks;
  // A list of one selector (as most are) still has it read; of several, each is read a step
  // ahead of its making, and its tables fetched meanwhile.
  const bool several = kept.size() > 1 || !lastKept;
  const auto made = [&](size_t k) { return kept[k].rule != kNone && kept[k].rule != kLookAgain; };
  const auto readAhead = [&](size_t k) {
    while (k < kept.size() && made(k)) ++k;
    if (k >= kept.size()) return;
    ReadSelector(kept[k].text, &probe);
    prefetchFor(probe);
  };
  if (several) readAhead(0);
  for (size_t k = 0; k < kept.size(); ++k) {
    uint32_t index = kept[k].rule;
    if (!made(k) && several) {
      // The one read ahead; another of the list written alike may have made its rule.
      std::swap(selector, probe);
      readAhead(k + 1);
      index = ruleOf(selector);
    }
    const bool priced = index == kNone;
    if (priced) {
      if (!spend(kept[k].price)) return;
      index = makeRule(selector);
    }
    Rule& rule = rules[index];
    if (rule.block == blockSerial) continue;
    rule.block = blockSerial;
    if (!giveEntries(rule, blockAt, uint32_t(block.size()), priced)) return;
  }
  countProbes();
}

GMStyleSheets::GMStyleSheets(GMCssCharge charge) : rules_(std::make_unique<Rules>()) {
  rules_->charge = std::move(charge);
  rules_->byKey.countProbesIn(&rules_->probes);
  rules_->namesByText.countProbesIn(&rules_->probes);
  rules_->buckets.front().byAncestor.countProbesIn(&rules_->probes);
}

GMStyleSheets::~GMStyleSheets() = default;

bool GMStyleSheets::addSheet(QStringView text, const QUrl& base) {
  if (!rules_->pay(2 * int64_t(text.size()))) return false;
  rules_->parseSheet(text, base, 0, 0);
  return !rules_->exhausted;
}

bool GMStyleSheets::addLinkedSheet(const QUrl& url, const QUrl& base) {
  if (rules_->exhausted) return false;
  rules_->loadFile(base.resolved(url), 0);
  return !rules_->exhausted;
}

bool GMStyleSheets::match(const GMCssElement& element, std::vector<const GMCssDeclaration*>* out) const {
  const Rules& r = *rules_;
  if (r.exhausted) return false;
  if (r.rules.empty()) return true;
  int64_t made = 0;
  // The element's classes once each; sorted when it has many, so each test is a search.
  std::vector<QStringView> classes(element.classes.begin(), element.classes.end());
  std::sort(classes.begin(), classes.end());
  classes.erase(std::unique(classes.begin(), classes.end()), classes.end());
  const std::vector<QStringView>* sorted = classes.size() > 8 ? &classes : nullptr;
  made += int64_t(classes.size());
  if (!r.followPath(element, &made)) return false;

  struct Found {
    bool important;
    uint32_t specificity;
    uint32_t order;
    uint32_t declaration;
  };
  std::vector<Found> found;
  const auto considerRules = [&](uint32_t first) {
    for (uint32_t index = first; index != kNone; index = r.rules[index].next) {
      const Rules::Rule& rule = r.rules[index];
      const StoredCompound* c = r.compoundsOf(rule);
      if (!CompoundMatches(c[rule.compoundCount - 1], r.classes.data(), r.attributeTests.data(), element, sorted,
                           &made))
        continue;
      if (rule.compoundCount > 1 && !r.matches(rule, index, &made)) {
        if (r.exhausted) return false;
        continue;
      }
      for (uint32_t k = 0; k < rule.entryCount; ++k) {
        const Rules::Entry& entry = r.entries[rule.entriesAt + k];
        found.push_back({entry.important, rule.specificity, entry.order, entry.declaration});
      }
      made += int64_t(rule.entryCount);
      if (!r.countNow(&made)) return false;
    }
    return true;
  };
  const auto consider = [&](const Bucket* b) {
    if (!b) return true;
    if (!considerRules(b->plain)) return false;
    if (b->byAncestor.size() == 0 || r.pathKeys.empty()) return true;
    // Whichever is fewer: the groups of rules, or the keys above the element.
    made += int64_t(std::min(b->byAncestor.size(), r.pathKeys.size()));
    bool ok = true;
    if (b->byAncestor.size() <= r.pathKeys.size()) {
      b->byAncestor.forEach([&](const Bucket::Group& group) {
        if (ok && r.pathKeys.count(group.key)) ok = considerRules(group.first);
      });
    } else {
      for (const auto& [key, holders] : r.pathKeys) {
        const Bucket::Group* group =
            b->byAncestor.find(key, [key = key](const Bucket::Group& g) { return g.key == key; });
        if (group && !considerRules(group->first)) return false;
      }
    }
    return ok && r.countNow(&made);
  };
  if (!consider(&r.buckets.front())) return false;
  if (!element.name.isEmpty() && !consider(r.bucketOf(KeyKind::Type, element.name))) return false;
  if (!element.id.isEmpty() && !consider(r.bucketOf(KeyKind::Id, element.id))) return false;
  for (QStringView name : classes)
    if (!consider(r.bucketOf(KeyKind::Class, name))) return false;
  if (!r.count(&made) || !r.pay(int64_t(found.size()) * int64_t(sizeof(const GMCssDeclaration*)))) return false;
  const auto before = [](const Found& a, const Found& b) {
    if (a.important != b.important) return !a.important;
    if (a.specificity != b.specificity) return a.specificity < b.specificity;
    return a.order < b.order;
  };
  // A declaration given again later in the cascade is applied there alone: what it set before is
  // set again, and what came between is undone, as applying it twice would. Each is kept at its
  // last place before the cascade is sorted, so that the sort costs what is applied.
  r.declarationGiven.resize(r.declarations.size());
  r.declarationFound.resize(r.declarations.size());
  const uint64_t stamp = ++r.matchesMade;
  size_t unique = 0;
  for (size_t k = 0; k < found.size(); ++k) {
    const uint32_t d = found[k].declaration;
    if (r.declarationGiven[d] != stamp) {
      r.declarationGiven[d] = stamp;
      r.declarationFound[d] = uint32_t(unique);
      found[unique++] = found[k];
    } else if (before(found[r.declarationFound[d]], found[k])) {
      found[r.declarationFound[d]] = found[k];
    }
  }
  found.resize(unique);
  std::sort(found.begin(), found.end(), before);
  out->reserve(out->size() + found.size());
  for (const Found& f : found) out->push_back(&r.declarations[f.declaration]);
  return true;
}

void GMStyleSheets::setSteps(GMCssCharge steps) { rules_->steps = std::move(steps); }

void GMStyleSheets::forbidFiles() { rules_->filesForbidden = true; }

bool GMStyleSheets::empty() const { return rules_->rules.empty(); }

bool GMStyleSheets::testsAttributes() const { return !rules_->attributeTests.empty(); }

bool GMStyleSheets::exhausted() const { return rules_->exhausted; }

size_t SetCssHashSeed(size_t seed) { return g_cssHashSeed.exchange(seed); }

size_t CssNameHash(QStringView name) { return NameHash(name); }

int GMStyleSheets::filesRead() const { return rules_->filesRead; }
