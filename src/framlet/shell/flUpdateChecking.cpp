#include "framlet/shell/flUpdateChecking.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flDates.h"
#include "glimmet/storage/gmHtmlReader.h"

#include <QFileInfo>
#include <QLocale>
#include <QStringConverter>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>

namespace {

constexpr const char* kProductPrefix = "Tamsel ";
constexpr const char* kLinkStart = "<A HREF=\"";
constexpr const char* kVersionPlaceholder = "###";
// A shorter link cannot hold a word, "_", three digits and an extension.
constexpr qsizetype kMinimumLinkLength = 9;
// Patches longer than this are not version numbers; the limit keeps the sum in range.
constexpr qsizetype kMaximumPatchDigits = 9;
constexpr int32_t kFirstFourDigitNewsYear = 2018;
constexpr double kBytesPerMB = 1048576.0;

bool IsAsciiDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// The value of a run of ASCII digits; the caller bounds its length.
int64_t DigitsValue(QStringView digits) {
  int64_t value = 0;
  for (QChar c : digits) value = value * 10 + (c.unicode() - '0');
  return value;
}

// The leading digits of a version part, as the original reads a part's integer value.
int32_t LeadingInteger(const QString& part) {
  qsizetype n = 0;
  while (n < part.size() && n < 9 && IsAsciiDigit(part[n])) ++n;
  return int32_t(DigitsValue(QStringView(part).left(n)));
}

std::optional<FLVersion> VersionOfLink(const QString& link, const QString& productWord) {
  if (link.size() < kMinimumLinkLength) return std::nullopt;
  qsizetype extension = link.indexOf(QLatin1String(".dmg"));
  if (extension < 0) extension = link.indexOf(QLatin1String(".zip"));
  if (extension < 0 || extension + 4 != link.size()) return std::nullopt;
  const qsizetype underscore = link.indexOf(QLatin1Char('_'));
  if (underscore < 0 || underscore > extension) return std::nullopt;
  if (QStringView(link).left(underscore).compare(productWord, Qt::CaseInsensitive) != 0) return std::nullopt;
  const QStringView digits = QStringView(link).mid(underscore + 1, extension - underscore - 1);
  if (digits.size() < 3 || digits.size() > 2 + kMaximumPatchDigits) return std::nullopt;
  for (QChar c : digits) {
    if (!IsAsciiDigit(c)) return std::nullopt;
  }
  FLVersion version;
  version.major = digits[0].unicode() - '0';
  version.minor = digits[1].unicode() - '0';
  version.patch = DigitsValue(digits.mid(2));
  return version;
}

bool IsBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

// A run of 1 to maxDigits digits at `from`, ending at the terminator; its value, or -1.
int32_t NumberBefore(const QString& text, qsizetype from, int maxDigits, QChar terminator, qsizetype* next) {
  qsizetype i = from;
  while (i < text.size() && i - from < maxDigits && IsAsciiDigit(text[i])) ++i;
  if (i == from || i >= text.size() || text[i] != terminator) return -1;
  *next = i + 1;
  return int32_t(DigitsValue(QStringView(text).mid(from, i - from)));
}

// The document's characters with paragraph and line separators as line feeds, one for one.
QString PlainCharacters(const QTextDocument& document) {
  QString text;
  const int count = document.characterCount();
  text.reserve(count);
  for (int i = 0; i < count; ++i) {
    QChar c = document.characterAt(i);
    if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator) c = QLatin1Char('\n');
    text.append(c);
  }
  return text;
}

// Deletes [from, to) from the document and its plain copy alike; the last paragraph mark stays.
void DeleteRange(QTextDocument& document, QString& text, qsizetype from, qsizetype to) {
  to = std::min<qsizetype>(to, document.characterCount() - 1);
  if (from < 0 || from >= to) return;
  QTextCursor cursor(&document);
  cursor.setPosition(int(from));
  cursor.setPosition(int(to), QTextCursor::KeepAnchor);
  cursor.removeSelectedText();
  text.remove(from, to - from);
}

}  // namespace

QString VersionText(const FLVersion& version) {
  if (version.patch == 0) return QStringLiteral("%1.%2").arg(version.major).arg(version.minor);
  return QStringLiteral("%1.%2.%3").arg(version.major).arg(version.minor).arg(version.patch);
}

QString ProductWord(const QString& executableName) {
  const qsizetype at = executableName.indexOf(QLatin1String(kProductPrefix));
  if (at < 0) return {};
  QString word = executableName.mid(at + qsizetype(strlen(kProductPrefix))).toLower();
  const qsizetype blank = word.indexOf(QLatin1Char(' '));
  if (blank >= 0) word.truncate(blank);
  return word;
}

std::optional<FLVersion> RunningVersion(const QString& shortVersion) {
  const QStringList parts = shortVersion.split(QLatin1Char('.'));
  if (parts.size() > 3) return std::nullopt;
  FLVersion version;
  version.major = LeadingInteger(parts.value(0));
  version.minor = LeadingInteger(parts.value(1));
  if (parts.size() == 3) {
    const QString& third = parts[2];
    if (!third.isEmpty() && IsAsciiDigit(third[0])) {
      version.patch = LeadingInteger(third);
    } else if (third.size() > 1) {
      LogAssert("Illegal version number", __func__, __FILE__, __LINE__);
    }
  }
  return version;
}

FLDownloadsPage FindNewestVersion(const QByteArray& page, const QString& productWord) {
  FLDownloadsPage result;
  if (page.size() > kFLMaxPageBytes || productWord.isEmpty()) return result;
  QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
  const QString text = decoder.decode(page);
  if (decoder.hasError()) return result;
  const QLatin1String start(kLinkStart);
  qsizetype at = 0;
  while ((at = text.indexOf(start, at, Qt::CaseInsensitive)) >= 0) {
    const qsizetype linkStart = at + start.size();
    const qsizetype quote = text.indexOf(QLatin1Char('"'), linkStart);
    if (quote < 0) break;
    const QString link = text.mid(linkStart, quote - linkStart);
    at = quote + 1;
    const std::optional<FLVersion> version = VersionOfLink(link, productWord);
    if (!version) continue;
    if (!result.found || version->value() > result.version.value()) {
      result.found = true;
      result.link = link;
      result.version = *version;
    }
  }
  return result;
}

bool IsUpdateCheckDue(const QDateTime& lastCheck, const QDateTime& now, bool monthly) {
  if (!lastCheck.isValid()) return true;
  const QDate last = lastCheck.date();
  const QDate due = monthly ? last.addMonths(1) : last.addDays(7);
  return now.date() >= due;
}

QString AvailableText(const QString& loaded, const FLVersion& version) {
  if (!loaded.contains(QLatin1String(kVersionPlaceholder))) {
    LogAssert("Missing version placeholder", __func__, __FILE__, __LINE__);
    return loaded;
  }
  QString text = loaded;
  return text.replace(text.indexOf(QLatin1String(kVersionPlaceholder)), 3, VersionText(version));
}

QString DownloadAmountText(qint64 done, qint64 total) {
  if (total > 0) return QString::asprintf("%.2f MB of %.2f MB", double(done) / kBytesPerMB, double(total) / kBytesPerMB);
  return QString::asprintf("%.2f MB", double(done) / kBytesPerMB);
}

QString SafeDownloadFileName(const QUrl& url) {
  QString name = QFileInfo(url.path()).fileName();
  name.remove(QLatin1Char('\\'));
  while (name.startsWith(QLatin1Char('.'))) name.remove(0, 1);
  return name.isEmpty() ? QStringLiteral("download") : name;
}

// ---- News ----------------------------------------------------------------------------------

FLNewsItem FindNextNewsItem(const QString& text, qsizetype start, int32_t today) {
  qsizetype from = std::max<qsizetype>(start, 0);
  qsizetype slash;
  while ((slash = text.indexOf(QLatin1Char('/'), from)) >= 0) {
    from = slash + 1;
    if (slash <= start) continue;
    qsizetype monthStart = slash;
    while (monthStart > start + 1 && slash - monthStart < 2 && IsAsciiDigit(text[monthStart - 1])) --monthStart;
    if (monthStart == slash || text[monthStart - 1] != QLatin1Char('\n')) continue;
    const int32_t month = int32_t(DigitsValue(QStringView(text).mid(monthStart, slash - monthStart)));
    if (month < 1 || month > 12) continue;
    qsizetype next = 0;
    const int32_t day = NumberBefore(text, slash + 1, 2, QLatin1Char('/'), &next);
    if (day < 1 || day > 31) continue;
    const qsizetype yearStart = next;
    int32_t year = NumberBefore(text, yearStart, 4, QLatin1Char(':'), &next);
    if (year <= 0) continue;
    if (next - 1 - yearStart <= 2) {
      year += today / 10000 / 100 * 100;
    } else if (year < kFirstFourDigitNewsYear) {
      continue;
    }
    if (next >= text.size() || !IsBlank(text[next])) continue;
    return {monthStart, next, year * 10000 + month * 100 + day};
  }
  return {};
}

bool HandleNewsText(QTextDocument& document, int32_t previousDate, int32_t today, int32_t* latestDate,
                    const QColor& textColour) {
  QString text = PlainCharacters(document);
  FLNewsItem first = FindNextNewsItem(text, 0, today);
  if (first.start < 0) return false;
  *latestDate = first.date;
  DeleteRange(document, text, 0, first.start);
  first.end -= first.start;
  first.start = 0;

  bool cut = false;
  if (previousDate != 0 && *latestDate > previousDate) {
    // Only the items newer than those already seen stay.
    for (FLNewsItem item = FindNextNewsItem(text, first.end, today); item.start >= 0;
         item = FindNextNewsItem(text, item.end, today)) {
      if (item.date <= previousDate) {
        DeleteRange(document, text, item.start, text.size());
        cut = true;
        break;
      }
    }
  }
  if (!cut) {
    // The page closes with a line that links to the whole news page: it and what follows go.
    const qsizetype news = text.lastIndexOf(QLatin1String("news\n"));
    const qsizetype lineFeed = news > 0 ? text.lastIndexOf(QLatin1Char('\n'), news - 1) : -1;
    if (lineFeed >= 0) DeleteRange(document, text, lineFeed, text.size());
  }
  qsizetype end = text.size();
  while (end > 0 && text[end - 1].isSpace()) --end;
  DeleteRange(document, text, end, text.size());

  QTextCursor cursor(&document);
  cursor.select(QTextCursor::Document);
  QTextCharFormat plain;
  plain.setAnchor(false);
  plain.setAnchorHref(QString());
  plain.setFontUnderline(false);
  plain.setForeground(textColour);
  cursor.mergeCharFormat(plain);
  return true;
}

QString NewsDateText(int32_t dayIndex) {
  if (dayIndex == 0) return {};
  const int month = dayIndex / 100 % 100;
  QString name;
  if (month < 1 || month > 12)
    LogAssert("Bad month", __func__, __FILE__, __LINE__);
  else
    name = QLocale().monthName(month, QLocale::LongFormat);
  return QStringLiteral("%1 %2, %3").arg(name).arg(dayIndex % 100).arg(dayIndex / 10000);
}

void FLNewsDocument::setPage(const QByteArray& html) {
  const std::optional<QStringConverter::Encoding> declared = QStringConverter::encodingForHtml(html);
  QStringDecoder decoder(declared.value_or(QStringConverter::Utf8));
  const QString page = decoder.decode(html);
  // The program's own reader, within a budget fit for a page of news, reading nothing the page
  // names (no sheet it links or imports, no picture): a page it refuses shows nothing.
  constexpr int64_t kNewsPageBudget = int64_t(64) << 20;
  if (!ReadHtmlPage(page, this, kNewsPageBudget, nullptr, 0, GMHtmlResources::None).read()) clear();
}

QVariant FLNewsDocument::loadResource(int, const QUrl&) { return {}; }
