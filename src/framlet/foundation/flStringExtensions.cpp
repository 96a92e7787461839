// The framework's string operations.
#include "framlet/foundation/flStringExtensions.h"

#include "framlet/foundation/FLArray.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flCharacterClasses.h"
#include "framlet/foundation/flFileSupport.h"
#include "framlet/foundation/flHtmlEscaping.h"

#include <QGuiApplication>
#include <QLocale>
#include <QPalette>
#include <QUuid>

#include <algorithm>
#include <array>
#include <string_view>

namespace {

constexpr const char* kEndingIndexTooLarge = "Ending index too large";
constexpr const char* kStartingIndexTooLarge = "Starting index too large";
constexpr const char* kStartingIndexNotBeforeEnd = "Starting index >= ending index";
constexpr const char* kIndexBeyondEnd = "Index beyond end of string";
constexpr const char* kDeleteAfterEnd = "Delete after end of string";
constexpr const char* kDeleteInvertedRange = "Delete inverted range";
constexpr const char* kNoFindString = "No find string";
constexpr const char* kInvalidAlignment = "Invalid alignment";
constexpr const char* kUnknownError = "An unknown error occurred.";

// Small words that stay in lower case inside titles and drop out of sort keys. Sorted.
constexpr std::array<std::string_view, 48> kStopList = {
    "a",      "above",   "after",  "against",    "along",  "amid",       "among",  "an",
    "and",    "as",      "at",     "behind",     "below",  "beneath",    "beside", "besides",
    "between", "but",    "by",     "despite",    "down",   "during",     "except", "for",
    "from",   "in",      "into",   "nor",        "of",     "on",         "onto",   "or",
    "over",   "per",     "since",  "than",       "the",    "throughout", "to",     "toward",
    "towards", "underneath", "unlike", "until",  "upon",   "versus",     "via",    "with"};
static_assert(std::is_sorted(kStopList.begin(), kStopList.end()));

struct EncodingName {
  const char* name;
  FLStringEncoding encoding;
};

constexpr std::array<EncodingName, 18> kEncodingNames = {{
    {"utf-8", kFLEncodingUTF8},
    {"utf-16", kFLEncodingUnicode},
    {"iso-8859-1", kFLEncodingISOLatin1},
    {"windows-1252", kFLEncodingWindowsLatin1},
    {"us-ascii", kFLEncodingASCII},
    {"utf-16be", kFLEncodingUTF16BigEndian},
    {"utf-16le", kFLEncodingUTF16LittleEndian},
    {"iso-8859-2", kFLEncodingISOLatin2},
    {"iso-2022-jp", kFLEncodingISO2022JP},
    {"euc-jp", kFLEncodingJapaneseEUC},
    {"shift_jis", kFLEncodingShiftJIS},
    {"utf-32", kFLEncodingUTF32},
    {"utf-32be", kFLEncodingUTF32BigEndian},
    {"utf-32le", kFLEncodingUTF32LittleEndian},
    {"windows-1250", kFLEncodingWindowsLatin2},
    {"windows-1251", kFLEncodingWindowsCyrillic},
    {"windows-1253", kFLEncodingWindowsGreek},
    {"windows-1254", kFLEncodingWindowsTurkish},
}};

QString EmptyString() { return QStringLiteral(""); }

bool IsSpace(QChar c) { return IsWhiteSpaceOrNewline(c.unicode()); }

// Path components, "/"-separated; trailing slashes belong to no component.
QString WithoutTrailingSlashes(const QString& path) {
  QString result = path;
  while (result.size() > 1 && result.endsWith(QLatin1Char('/'))) result.chop(1);
  return result;
}

QString LastPathComponent(const QString& path) {
  const QString trimmed = WithoutTrailingSlashes(path);
  if (trimmed == QLatin1String("/")) return trimmed;
  return trimmed.mid(trimmed.lastIndexOf(QLatin1Char('/')) + 1);
}

QString DeletingLastPathComponent(const QString& path) {
  const QString trimmed = WithoutTrailingSlashes(path);
  const qsizetype slash = trimmed.lastIndexOf(QLatin1Char('/'));
  if (slash < 0) return EmptyString();
  return slash == 0 ? QStringLiteral("/") : trimmed.left(slash);
}

// The dot that starts the extension of the last component: not its first character (a hidden
// file's name is no extension) and not its last.
qsizetype ExtensionDot(const QString& trimmedPath) {
  const qsizetype componentStart = trimmedPath.lastIndexOf(QLatin1Char('/')) + 1;
  const qsizetype dot = trimmedPath.lastIndexOf(QLatin1Char('.'));
  return dot > componentStart && dot < trimmedPath.size() - 1 ? dot : -1;
}

QString DeletingPathExtension(const QString& path) {
  const QString trimmed = WithoutTrailingSlashes(path);
  const qsizetype dot = ExtensionDot(trimmed);
  return dot < 0 ? trimmed : trimmed.left(dot);
}

QString AppendingPathComponent(const QString& path, const QString& name) {
  QString component = name;
  while (component.startsWith(QLatin1Char('/'))) component.remove(0, 1);
  if (path.isEmpty()) return component;
  const QString trimmed = WithoutTrailingSlashes(path);
  return trimmed == QLatin1String("/") ? trimmed + component : trimmed + QLatin1Char('/') + component;
}

QString AppendingPathExtension(const QString& path, const QString& extension) {
  return WithoutTrailingSlashes(path) + QLatin1Char('.') + extension;
}

// The quotes that straight quotes become: double open, double close, single open, single close.
// The defaults are the English curly quotes; the user's language may give its own, once. The
// default locale is the user's, unless a program (a test) pins another for the whole process.
const std::array<char16_t, 4>& SmartQuotes() {
  static const std::array<char16_t, 4> quotes = [] {
    std::array<char16_t, 4> result = {0x201C, 0x201D, 0x2018, 0x2019};
    const QStringList languages = QLocale().uiLanguages();
    if (languages.isEmpty()) return result;
    const QLocale locale(languages.first());
    std::array<char16_t, 4> found{};
    size_t count = 0;
    for (QLocale::QuotationStyle style : {QLocale::StandardQuotation, QLocale::AlternateQuotation}) {
      const QString quoted = locale.quoteString(u"x", style);
      const qsizetype middle = quoted.indexOf(QLatin1Char('x'));
      if (middle < 0) return result;
      for (const QString& side : {quoted.left(middle), quoted.mid(middle + 1)}) {
        const auto mark = std::find_if(side.begin(), side.end(),
                                       [](QChar c) { return IsPunctuationChar(c.unicode()); });
        // A language whose quotes are the straight ones (the C locale) has nothing to give.
        if (mark == side.end() || *mark == QLatin1Char('"') || *mark == QLatin1Char('\'')) return result;
        found[count++] = mark->unicode();
      }
    }
    return found;
  }();
  return quotes;
}

bool OpensQuote(char16_t previous) {
  if (previous == 0 || TypeOfChar(previous) == kCharClassSpace) return true;
  switch (previous) {
    case u'"': case u'\'': case u'(': case u'<': case u'=': case u'[': case u'{':
    case 0x00AB: case 0x2018: case 0x201C:
      return true;
    default:
      return false;
  }
}

bool IsUnreservedForArchive(char32_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
         c == u'-' || c == u'_' || c == u'~';
}

bool IsWordCharacter(char32_t c, bool inWord) {
  return QChar::isLetter(c) || QChar::isDigit(c) || (inWord && QChar::isMark(c));
}

bool IsApostrophe(QChar c) { return c == QLatin1Char('\'') || c.unicode() == 0x2019; }

}  // namespace

// Paths ------------------------------------------------------------------------------------

QString abbreviateHomeFolderPath(const QString& path) {
  // Linux has no "/Volumes/<boot volume>" alias of the root, so only the plain home path counts.
  const QString home = HomeFolderPath();
  if (home.size() <= 1 || path.size() <= home.size() + 1) return path;
  if (!path.startsWith(home) || path[home.size()] != QLatin1Char('/')) return path;
  return QLatin1Char('~') + path.mid(home.size());
}

QString fileNameMinusExtension(const QString& path) {
  return DeletingPathExtension(LastPathComponent(path));
}

QString pathExtension(const QString& path) {
  const QString trimmed = WithoutTrailingSlashes(path);
  const qsizetype dot = ExtensionDot(trimmed);
  return dot < 0 ? QString() : trimmed.mid(dot + 1);
}

QString stringByAppendingFile(const QString& path, const QString& name, const QString& extension) {
  const QString result = AppendingPathComponent(path, name);
  return extension.isEmpty() ? result : AppendingPathExtension(result, extension);
}

QString stringByReplacingExtension(const QString& path, const QString& extension) {
  const QString result = DeletingPathExtension(path);
  return extension.isEmpty() ? result : AppendingPathExtension(result, extension);
}

QString stringByReplacingFile(const QString& path, const QString& name, const QString& extension) {
  return stringByAppendingFile(DeletingLastPathComponent(path), name, extension);
}

// Comparisons and searches ----------------------------------------------------------------

bool isFuzzyEqualToString(const QString& string, const QString& other) {
  return !string.isNull() && !other.isNull() && string.compare(other, Qt::CaseInsensitive) == 0;
}

bool hasFuzzyPrefix(const QString& string, const QString& prefix) {
  return !prefix.isEmpty() && string.startsWith(prefix, Qt::CaseInsensitive);
}

bool hasFuzzySuffix(const QString& string, const QString& suffix) {
  return !suffix.isEmpty() && string.endsWith(suffix, Qt::CaseInsensitive);
}

uint64_t indexOfString(const QString& string, const QString& find, uint64_t startingAt) {
  if (find.isEmpty() || startingAt >= uint64_t(string.size())) return FLNotFound;
  const qsizetype found = string.indexOf(find, qsizetype(startingAt), Qt::CaseInsensitive);
  return found < 0 ? FLNotFound : uint64_t(found);
}

uint64_t numberOfOccurrencesOfString(const QString& string, const QString& find) {
  if (find.isEmpty()) return 0;
  uint64_t count = 0;
  for (qsizetype found = string.indexOf(find); found >= 0; found = string.indexOf(find, found + find.size()))
    ++count;
  return count;
}

bool isOnStopList(const QString& word) {
  const auto found = std::lower_bound(kStopList.begin(), kStopList.end(), word,
                                      [](std::string_view entry, const QString& value) {
                                        return QString::compare(QLatin1String(entry), value, Qt::CaseInsensitive) < 0;
                                      });
  return found != kStopList.end() && QString::compare(QLatin1String(*found), word, Qt::CaseInsensitive) == 0;
}

uint32_t typeOfChar(const QString& string, uint64_t index) {
  if (index >= uint64_t(string.size())) {
    FLAssert(false, kIndexBeyondEnd);
    return kCharClassOther;
  }
  return TypeOfChar(string[qsizetype(index)].unicode());
}

uint64_t nextNonSpace(const QString& string, uint64_t index, QChar* character) {
  for (uint64_t i = index; i < uint64_t(string.size()); ++i) {
    if (TypeOfChar(string[qsizetype(i)].unicode()) != kCharClassSpace) {
      if (character) *character = string[qsizetype(i)];
      return i;
    }
  }
  if (character) *character = QLatin1Char(' ');
  return uint64_t(string.size());
}

QString substringFrom(const QString& string, uint64_t from, uint64_t to) {
  const uint64_t length = uint64_t(string.size());
  if (to == FLNotFound || to == 0xFFFFFFFF) to = length;
  if (to > length) {
    FLAssert(false, kEndingIndexTooLarge);
    to = length;
  }
  if (from >= length) {
    FLAssert(false, kStartingIndexTooLarge);
    return EmptyString();
  }
  if (from >= to) {
    FLAssert(false, kStartingIndexNotBeforeEnd);
    return EmptyString();
  }
  return string.mid(qsizetype(from), qsizetype(to - from));
}

FLStringEncoding identifyStringEncoding(const QString& name) {
  for (const EncodingName& row : kEncodingNames)
    if (name.compare(QLatin1String(row.name), Qt::CaseInsensitive) == 0) return row.encoding;
  return kFLEncodingNone;
}

char16_t validateFirstUnicodeCharacter(const QString& string) {
  return string.size() == 1 && !string[0].isSurrogate() ? string[0].unicode() : 0;
}

// Making and cleaning ----------------------------------------------------------------------

QString guidString() { return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(); }

QString numberString(int64_t number) { return QString::number(number); }

QString longNumberString(int64_t number) { return QString::number(number); }

QString stringWithASCIIString(const char* bytes) {
  if (!bytes) return QString();
  return DecodeText(QByteArrayView(bytes), kFLEncodingASCII).value_or(QString());
}

QString stringWithMacString(const char* bytes) {
  if (!bytes) return QString();
  return DecodeText(QByteArrayView(bytes), kFLEncodingMacRoman).value_or(QString());
}

QString cleanUp(const QString& string) { return cleanUp(string, false, false); }

QString cleanUp(const QString& string, bool keepLineBreaks, bool stripPunctuation) {
  // Separators are held back until the next kept character, so nothing is left at either end
  // and deleted characters never split a run of white space.
  // Text of printable ASCII without spaces, as numbers and words are, comes out as it went in.
  if (!stripPunctuation && std::all_of(string.cbegin(), string.cend(), [](QChar c) {
        return c.unicode() > 0x20 && c.unicode() < 0x7F;
      }))
    return string.isEmpty() ? QString() : string;
  enum class Separator { None, Space, LineFeed };
  Separator pending = Separator::None;
  QString result;
  result.reserve(string.size());
  for (QChar c : string) {
    const char16_t u = c.unicode();
    if (IsNewline(u) && keepLineBreaks) {
      pending = Separator::LineFeed;
      continue;
    }
    if (IsWhiteSpaceOrNewline(u)) {
      if (pending == Separator::None) pending = Separator::Space;
      continue;
    }
    if (IsControlChar(u) || (stripPunctuation && IsPunctuationChar(u))) continue;
    if (pending != Separator::None && !result.isEmpty())
      result += pending == Separator::LineFeed ? QLatin1Char('\n') : QLatin1Char(' ');
    pending = Separator::None;
    result += c;
  }
  return result.isEmpty() ? QString() : result;
}

QString extract(const QString& string) { return extract(string, 0, 0, 0, false); }

QString extract(const QString& string, uint64_t index, uint64_t keyLength) {
  return extract(string, index, keyLength, 0, false);
}

QString extract(const QString& string, uint64_t index, uint64_t keyLength, uint64_t maxLength,
                bool stripPunctuation) {
  const qsizetype length = string.size();
  if (index >= uint64_t(length)) return EmptyString();
  const qsizetype key = qsizetype(index);
  const qsizetype keyEnd = qsizetype(std::min<uint64_t>(uint64_t(length), index + std::min(keyLength, uint64_t(length))));

  // Back to the start of the key's word, over the white space before it, then over the word
  // before that, unless the key's line begins first.
  qsizetype start = key;
  while (start > 0 && !IsSpace(string[start - 1])) --start;
  qsizetype gap = start;
  bool lineStart = false;
  while (gap > 0 && IsSpace(string[gap - 1])) {
    if (IsNewline(string[gap - 1].unicode())) {
      lineStart = true;
      break;
    }
    --gap;
  }
  start = gap;
  if (!lineStart)
    while (start > 0 && !IsSpace(string[start - 1])) --start;

  qsizetype end = keyEnd;
  while (end < length && !IsNewline(string[end].unicode())) ++end;
  if (end <= start) return EmptyString();

  const qsizetype maximum = qsizetype(std::min<uint64_t>(maxLength ? maxLength : 100, uint64_t(length)));
  if (end - start > maximum) {
    const qsizetype limit = start + maximum;
    qsizetype space = limit;
    while (space > start && !IsSpace(string[space])) --space;
    end = space > start && space >= keyEnd ? space : limit;
  }
  return cleanUp(string.mid(start, end - start), false, stripPunctuation);
}

QString titleCaseString(const QString& string) {
  QString result;
  result.reserve(string.size());
  bool firstWord = true;
  qsizetype i = 0;
  const qsizetype length = string.size();
  auto codePointAt = [&](qsizetype at, qsizetype* units) -> char32_t {
    if (string[at].isHighSurrogate() && at + 1 < length && string[at + 1].isLowSurrogate()) {
      *units = 2;
      return QChar::surrogateToUcs4(string[at], string[at + 1]);
    }
    *units = 1;
    return string[at].unicode();
  };
  while (i < length) {
    qsizetype units = 1;
    if (!IsWordCharacter(codePointAt(i, &units), false)) {
      result += string.mid(i, units);
      i += units;
      continue;
    }
    const qsizetype wordStart = i;
    while (i < length && IsWordCharacter(codePointAt(i, &units), i > wordStart)) i += units;
    QString word = string.mid(wordStart, i - wordStart).toLower();
    const bool afterApostrophe = wordStart > 0 && IsApostrophe(string[wordStart - 1]);
    bool keepSmall = !firstWord && isOnStopList(word);
    if (afterApostrophe && word.size() == 1) keepSmall |= QStringLiteral("dmst").contains(word[0]);
    if (afterApostrophe && word.size() == 2)
      keepSmall |= word == QLatin1String("ll") || word == QLatin1String("re") || word == QLatin1String("ve");
    if (!keepSmall) {
      qsizetype firstUnits = 1;
      const char32_t first = word[0].isHighSurrogate() && word.size() > 1
                                 ? (firstUnits = 2, QChar::surrogateToUcs4(word[0], word[1]))
                                 : char32_t(word[0].unicode());
      const char32_t title = QChar::toTitleCase(first);
      word.replace(0, firstUnits, QString::fromUcs4(&title, 1));
    }
    result += word;
    firstWord = false;
  }
  return result == string ? string : result;
}

QString sortTitleString(const QString& string) {
  qsizetype cut = string.indexOf(QLatin1Char(':'));
  if (cut < 0) cut = string.indexOf(QLatin1Char('['));
  const QString title = (cut < 0 ? string : string.left(cut)).toLower();

  QStringList kept;
  qsizetype i = 0;
  while (i < title.size()) {
    while (i < title.size() && IsSpace(title[i])) ++i;
    const qsizetype wordStart = i;
    while (i < title.size() && !IsSpace(title[i])) ++i;
    QString word = title.mid(wordStart, i - wordStart);
    while (!word.isEmpty() && IsPunctuationChar(word[0].unicode())) word.remove(0, 1);
    if (word.isEmpty()) continue;
    if (IsPunctuationChar(word.back().unicode())) word.chop(1);
    if (isOnStopList(word)) continue;
    word.removeIf([](QChar c) { return IsPunctuationChar(c.unicode()); });
    if (!word.isEmpty()) kept.append(word);
  }
  return kept.isEmpty() ? string : kept.join(QLatin1Char(' '));
}

QString stringBySubstitutingQuotes(const QString& string, char16_t previous) {
  QString result = string;
  bool changed = false;
  for (qsizetype i = 0; i < string.size(); ++i) {
    const char16_t current = string[i].unicode();
    const char16_t next = i + 1 < string.size() ? string[i + 1].unicode() : 0;
    const char16_t quote = quoteForCurrentChar(current, previous, next);
    if (quote != current) {
      result[i] = QChar(quote);
      changed = true;
    }
    // The next quote follows what the text now shows.
    previous = quote;
  }
  return changed ? result : string;
}

char16_t quoteForCurrentChar(char16_t current, char16_t previous, char16_t next) {
  if (current != u'"' && current != u'\'') return current;
  bool opens = OpensQuote(previous);
  // An apostrophe that starts a year ("the '90s") closes.
  if (current == u'\'' && TypeOfChar(previous) == kCharClassSpace && TypeOfChar(next) == kCharClassDigit)
    opens = false;
  const std::array<char16_t, 4>& quotes = SmartQuotes();
  if (current == u'"') return opens ? quotes[0] : quotes[1];
  return opens ? quotes[2] : quotes[3];
}

QString encodeIncludingPeriods(const QString& string, bool escapePeriods, bool escapeReturns) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  QString result;
  result.reserve(string.size());
  bool changed = false;
  for (qsizetype i = 0; i < string.size(); ++i) {
    const char16_t c = string[i].unicode();
    if (IsUnreservedForArchive(c) || (c == u'.' && !escapePeriods) || (c == u'\n' && !escapeReturns)) {
      result += QChar(c);
      continue;
    }
    const qsizetype units = string[i].isHighSurrogate() && i + 1 < string.size() && string[i + 1].isLowSurrogate() ? 2 : 1;
    for (char byte : QStringView(string).mid(i, units).toUtf8()) {
      result += QLatin1Char('%');
      result += QLatin1Char(kHexDigits[uint8_t(byte) >> 4]);
      result += QLatin1Char(kHexDigits[uint8_t(byte) & 0xF]);
    }
    i += units - 1;
    changed = true;
  }
  return changed ? result : string;
}

std::optional<QString> decode(const QString& string) {
  QByteArray bytes;
  bytes.reserve(string.size());
  qsizetype runStart = 0;
  for (qsizetype i = 0; i < string.size(); ++i) {
    if (string[i] != QLatin1Char('%')) continue;
    // A "%" that does not start an escape cannot have come from encodeIncludingPeriods.
    if (i + 2 >= string.size()) return std::nullopt;
    const int high = HexDigitValue(string[i + 1]);
    const int low = HexDigitValue(string[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes += QStringView(string).mid(runStart, i - runStart).toUtf8();
    bytes += char(high * 16 + low);
    i += 2;
    runStart = i + 1;
  }
  bytes += QStringView(string).mid(runStart).toUtf8();
  return DecodeText(bytes, kFLEncodingUTF8);
}

// Mutable-string operations -----------------------------------------------------------------

QString initWithDataInUnknownFormat(const QByteArray& data, const QString& path, FLStringEncoding* encoding) {
  // Mac Roman gives every byte a character, so the reading never fails and the system's
  // detection by file, which the path was for, is never needed.
  (void)path;
  FLStringEncoding used = kFLEncodingUTF8;
  std::optional<QString> text;
  if (data.size() >= 2 && uint8_t(data[0]) == 0xFF && uint8_t(data[1]) == 0xFE) {
    used = kFLEncodingUTF16LittleEndian;
    text = DecodeText(QByteArrayView(data).sliced(2), used, true);
  } else if (data.size() >= 2 && uint8_t(data[0]) == 0xFE && uint8_t(data[1]) == 0xFF) {
    used = kFLEncodingUTF16BigEndian;
    text = DecodeText(QByteArrayView(data).sliced(2), used, true);
  } else {
    const QByteArrayView body = data.startsWith("\xEF\xBB\xBF") ? QByteArrayView(data).sliced(3) : QByteArrayView(data);
    text = DecodeText(body, kFLEncodingUTF8);
    if (!text) {
      used = kFLEncodingMacRoman;
      text = DecodeText(data, used, true);
    }
  }
  if (encoding) *encoding = used;
  return text.value_or(EmptyString());
}

void deleteCharactersFrom(QString& string, uint64_t from, uint64_t to) {
  const uint64_t length = uint64_t(string.size());
  to = std::min(to, length);
  if (from >= length) {
    FLAssert(false, kDeleteAfterEnd);
    return;
  }
  if (from > to) {
    FLAssert(false, kDeleteInvertedRange);
    return;
  }
  string.remove(qsizetype(from), qsizetype(to - from));
}

bool removeCamelCase(QString& string, bool lowerCapitals, uint64_t* firstSpace) {
  QString result;
  result.reserve(string.size() + string.size() / 4);
  bool inserted = false;
  for (qsizetype i = 0; i < string.size(); ++i) {
    char16_t c = string[i].unicode();
    if (i > 0 && TypeOfChar(c) == kCharClassUpper && TypeOfChar(string[i - 1].unicode()) == kCharClassLower) {
      result += QLatin1Char(' ');
      inserted = true;
      if (lowerCapitals && i + 1 < string.size() && TypeOfChar(string[i + 1].unicode()) == kCharClassLower)
        c = LowerCaseChar(c);
    }
    result += QChar(c);
  }
  if (inserted) string = result;
  if (firstSpace) {
    const qsizetype space = string.indexOf(QLatin1Char(' '));
    *firstSpace = space < 0 ? 0 : uint64_t(space);
  }
  return inserted;
}

std::optional<QString> stringByReplacing(const QString& string, const QString& find, const QString& replacement,
                                         bool ignoreCase, uint64_t* count) {
  if (count) *count = 0;
  if (find.isEmpty()) {
    FLAssert(false, kNoFindString);
    return std::nullopt;
  }
  const Qt::CaseSensitivity sensitivity = ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive;
  QString result;
  uint64_t replaced = 0;
  qsizetype copied = 0;
  for (qsizetype found = string.indexOf(find, 0, sensitivity); found >= 0;
       found = string.indexOf(find, copied, sensitivity)) {
    result += QStringView(string).mid(copied, found - copied);
    result += replacement;
    copied = found + find.size();
    ++replaced;
  }
  if (replaced == 0) return std::nullopt;
  result += QStringView(string).mid(copied);
  if (count) *count = replaced;
  return result;
}

uint64_t replace(QString& string, const QString& find, const QString& replacement, bool ignoreCase) {
  uint64_t count = 0;
  if (std::optional<QString> result = stringByReplacing(string, find, replacement, ignoreCase, &count))
    string = *result;
  return count;
}

// Errors ----------------------------------------------------------------------------------

QString reason(const FLError& error) {
  if (error.reason.isEmpty()) return QString::fromLatin1(kUnknownError);
  QString text = error.reason;
  for (QChar& c : text) {
    if (c.unicode() == 0x2018 || c.unicode() == 0x2019) c = QLatin1Char('\'');
    else if (c.unicode() == 0x201C || c.unicode() == 0x201D) c = QLatin1Char('"');
  }
  return text;
}

// Plain attributed strings ----------------------------------------------------------------

std::optional<FLAttributedString> attributedStringFromString(const QString& string, const std::optional<QFont>& font,
                                                             int alignment, const std::optional<QColor>& color,
                                                             FLLineBreakMode breakMode, qreal spaceAfter,
                                                             qreal rightIndent) {
  if (string.isNull()) return std::nullopt;
  FLAttributedString result;
  result.string = string;
  result.font = font ? *font : QGuiApplication::font();
  result.color = color ? *color : QGuiApplication::palette().color(QPalette::Text);
  switch (alignment) {
    case kFLAlignLeft: result.alignment = Qt::AlignLeft; break;
    case kFLAlignCenter: result.alignment = Qt::AlignHCenter; break;
    case kFLAlignRight: result.alignment = Qt::AlignRight; break;
    default:
      FLAssert(false, kInvalidAlignment);
      result.alignment = Qt::AlignLeft;
      break;
  }
  result.lineBreakMode = breakMode;
  result.spaceAfter = spaceAfter;
  result.rightIndent = rightIndent;
  result.tightensForTruncation = false;
  return result;
}

std::vector<QStringView> ShownLines(QStringView text, qsizetype most) {
  std::vector<QStringView> lines;
  qsizetype start = 0;
  for (qsizetype i = 0; i < text.size() && qsizetype(lines.size()) + 1 < most; ++i) {
    if (!IsNewline(text[i].unicode())) continue;
    lines.push_back(text.sliced(start, i - start));
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  lines.push_back(text.sliced(start));
  return lines;
}
