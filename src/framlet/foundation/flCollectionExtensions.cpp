// The framework's small collection, URL, resource, file and panel conveniences.
#include "framlet/foundation/flCollectionExtensions.h"

#include "framlet/foundation/FLArray.h"
#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/flBase.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>

#include <algorithm>
#include <limits>
#include <vector>

namespace {

constexpr const char* kIndexBeyondArray = "Index beyond end of array";
constexpr const char* kImageNotFound = "Image not found";
constexpr const char* kImageCantBeLoaded = "Image can't be loaded";

// The leading number of a text as the system reads one from a property list: blanks, a sign,
// then digits (and for reals a fraction and an exponent); 0 when there is none.
QStringView LeadingNumber(QStringView text, bool real) {
  qsizetype i = 0;
  while (i < text.size() && text[i].isSpace()) ++i;
  const qsizetype start = i;
  if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) ++i;
  auto digits = [&] {
    while (i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9')) ++i;
  };
  digits();
  if (real && i < text.size() && text[i] == QLatin1Char('.')) {
    ++i;
    digits();
  }
  if (real && i < text.size() && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
    const qsizetype mark = i++;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) ++i;
    const qsizetype exponent = i;
    digits();
    if (i == exponent) i = mark;
  }
  return text.mid(start, i - start);
}

int64_t IntegerValue(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::QString: {
      bool ok = false;
      const int64_t number = LeadingNumber(value.toString(), false).toLongLong(&ok);
      return ok ? number : 0;
    }
    case QMetaType::Double:
    case QMetaType::Float: {
      const double number = value.toDouble();
      if (!(number > double(std::numeric_limits<int64_t>::min()) && number < double(std::numeric_limits<int64_t>::max())))
        return 0;
      return int64_t(number);
    }
    default:
      return value.toLongLong();
  }
}

float FloatValue(const QVariant& value) {
  if (value.typeId() == QMetaType::QString) return LeadingNumber(value.toString(), true).toFloat();
  return value.toFloat();
}

// Texts count as true when they start with Y, T or a non-zero digit, after blanks, a sign and
// zeros, as the system reads them.
bool BoolValue(const QVariant& value) {
  if (value.typeId() != QMetaType::QString) return value.toBool();
  const QString text = value.toString();
  qsizetype i = 0;
  while (i < text.size() && text[i].isSpace()) ++i;
  if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) ++i;
  while (i < text.size() && text[i] == QLatin1Char('0')) ++i;
  if (i == text.size()) return false;
  const QChar c = text[i];
  return c == QLatin1Char('Y') || c == QLatin1Char('y') || c == QLatin1Char('T') || c == QLatin1Char('t') ||
         (c >= QLatin1Char('1') && c <= QLatin1Char('9'));
}

}  // namespace

// Lists --------------------------------------------------------------------------------------

bool isStringInSortedArray(const QStringList& array, const QString& string, uint64_t* index) {
  qsizetype low = 0;
  qsizetype high = array.size();
  while (low < high) {
    const qsizetype middle = low + (high - low) / 2;
    const int order = array[middle].compare(string, Qt::CaseInsensitive);
    if (order == 0) {
      if (index) *index = uint64_t(middle);
      return true;
    }
    if (order < 0) low = middle + 1;
    else high = middle;
  }
  if (index) *index = uint64_t(low);
  return false;
}

uint64_t indexOfString(const QStringList& array, const QString& string) {
  if (string.isEmpty()) return FLNotFound;
  for (qsizetype i = 0; i < array.size(); ++i)
    if (array[i].compare(string, Qt::CaseInsensitive) == 0) return uint64_t(i);
  return FLNotFound;
}

bool containsString(const QStringList& array, const QString& string) {
  return indexOfString(array, string) != FLNotFound;
}

int64_t integerAtIndex(const QVariantList& array, uint64_t index) {
  if (index >= uint64_t(array.size())) {
    FLAssert(false, kIndexBeyondArray);
    return 0;
  }
  return IntegerValue(array[qsizetype(index)]);
}

// Dictionaries and defaults --------------------------------------------------------------------

bool boolForKey(const QVariantMap& dictionary, const QString& key) {
  const auto found = dictionary.constFind(key);
  return found != dictionary.constEnd() && BoolValue(*found);
}

bool defaultYesBoolForKey(const QVariantMap& dictionary, const QString& key) {
  const auto found = dictionary.constFind(key);
  return found == dictionary.constEnd() || BoolValue(*found);
}

float floatForKey(const QVariantMap& dictionary, const QString& key) {
  const auto found = dictionary.constFind(key);
  return found == dictionary.constEnd() ? 0.0f : FloatValue(*found);
}

int64_t integerForKey(const QVariantMap& dictionary, const QString& key) {
  const auto found = dictionary.constFind(key);
  return found == dictionary.constEnd() ? 0 : IntegerValue(*found);
}

bool defaultYesBoolForKey(const UserDefaults& defaults, const QString& key) {
  return !defaults.objectForKey(key).isValid() || defaults.boolForKey(key);
}

// Index sets ---------------------------------------------------------------------------------

QString archive(const IndexSet& set) {
  QStringList items;
  for (const IndexSet::Range& range : set.ranges())
    items.append(range.first == range.last ? QString::number(range.first)
                                           : QString::number(range.first) + QLatin1Char('-') + QString::number(range.last));
  return items.join(QLatin1Char(' '));
}

IndexSet indexSetWithArchive(const QString& archive) {
  // Larger numbers than any index can be are dropped with their item rather than wrapped.
  constexpr uint64_t kLargestIndex = FLNotFound - 1;
  // The items are gathered and added in ascending order: a run added before all the others
  // shifts every run after it, so items in descending order would cost the square of their count.
  std::vector<IndexSet::Range> items;
  uint64_t number = 0;
  bool haveNumber = false;
  bool overflow = false;
  bool inRun = false;
  uint64_t runFirst = 0;
  bool runFirstValid = false;
  auto endItem = [&] {
    if (haveNumber && !overflow) {
      if (!inRun) items.push_back({number, number});
      else if (runFirstValid && runFirst <= number) items.push_back({runFirst, number});
    }
    number = 0;
    haveNumber = overflow = inRun = runFirstValid = false;
  };
  for (QChar c : archive) {
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
      const uint64_t digit = uint64_t(c.unicode() - u'0');
      if (number > (kLargestIndex - digit) / 10) overflow = true;
      else number = number * 10 + digit;
      haveNumber = true;
    } else if (c == QLatin1Char('-')) {
      inRun = true;
      runFirst = number;
      runFirstValid = haveNumber && !overflow;
      number = 0;
      haveNumber = overflow = false;
    } else if (c == QLatin1Char(' ')) {
      endItem();
    }
  }
  endItem();
  const auto byFirst = [](const IndexSet::Range& a, const IndexSet::Range& b) { return a.first < b.first; };
  if (!std::is_sorted(items.begin(), items.end(), byFirst)) std::sort(items.begin(), items.end(), byFirst);
  IndexSet set;
  for (const IndexSet::Range& item : items) set.addIndexesInRange(item.first, item.last);
  return set;
}

// URLs -----------------------------------------------------------------------------------------

QString canonicalPath(const QUrl& url) {
  // Every volume is mounted into the one tree here, so a file's path already names it the same
  // way from everywhere; only the final "/" of a folder is dropped.
  if (!url.isLocalFile()) return url.path();
  QString path = url.toLocalFile();
  if (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
  return path;
}

bool isCanonicallyEqual(const QUrl& url, const QUrl& other) {
  return canonicalPath(url) == canonicalPath(other);
}

// Resources, files and panels ----------------------------------------------------------------

std::unique_ptr<FLImage> loadImage(const QString& name, const QString& type) {
  const QString path = QStringLiteral(":/") + name + QLatin1Char('.') + type;
  if (!QFile::exists(path)) {
    FLAssert(false, kImageNotFound);
    return nullptr;
  }
  std::unique_ptr<FLImage> image = FLImage::withContentsOfFile(path);
  if (!image) FLAssert(false, kImageCantBeLoaded);
  return image;
}

QString appName() { return QGuiApplication::applicationDisplayName(); }

void removeItemAtPath(const QString& path) {
  if (path.isEmpty()) return;
  const QFileInfo info(path);
  if (info.isDir() && !info.isSymLink()) QDir(path).removeRecursively();
  else QFile::remove(path);
}

void jumpToFolder(QFileDialog& dialog, const QString& path) {
  if (path.isEmpty()) return;
  const QFileInfo info(path);
  if (!info.exists()) return;
  dialog.setDirectory(info.isDir() ? info.absoluteFilePath() : info.absolutePath());
}

void setString(QLineEdit& field, const QString& string) {
  field.setText(string.isNull() ? QStringLiteral("") : string);
}

bool showInFinder(const QString& path) {
  // The desktop is asked to open the folder; selecting the file in it needs the file manager's
  // D-Bus interface, which this layer does not talk to.
  if (path.isEmpty()) return false;
  const QFileInfo info(path);
  if (!info.exists() && !info.isSymLink()) return false;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(info.absolutePath()));
}
