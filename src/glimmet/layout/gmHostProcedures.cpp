#include "glimmet/layout/gmHostProcedures.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flCollectionExtensions.h"
#include "framlet/foundation/flDates.h"
#include "framlet/foundation/flFileSupport.h"
#include "framlet/foundation/flFormatString.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmBookmarks.h"
#include "glimmet/storage/gmFetch.h"
#include "glimmet/storage/gmKnots.h"
#include "platform/BundleInfo.h"

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>

#include <algorithm>

namespace {

GMHostHooks& Hooks() {
  static GMHostHooks hooks;
  return hooks;
}

bool OpenUrl(const QUrl& url) { return Hooks().openUrl ? Hooks().openUrl(url) : QDesktopServices::openUrl(url); }
bool RevealFile(const QString& path) { return Hooks().revealFile ? Hooks().revealFile(path) : showInFinder(path); }

}  // namespace

void SetHostHooks(GMHostHooks hooks) { Hooks() = std::move(hooks); }

void HostBeep() {
  if (Hooks().beep)
    Hooks().beep();
  else
    QApplication::beep();
}

bool FollowHyperLink(const QString& urlText, bool open) {
  QUrl url(urlText, QUrl::StrictMode);
  if (urlText.isEmpty() || !url.isValid()) {
    HostBeep();
    return false;
  }
  if (url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) == 0) {
    static const QLatin1String kHomePrefix("file:~/");
    if (urlText.startsWith(kHomePrefix)) {
      url = QUrl(FormatString("file://localhost%@/", HomeFolderPath()) + urlText.mid(kHomePrefix.size()),
                 QUrl::StrictMode);
    }
    if (!open) {
      const QString path = url.path();
      if (path.isEmpty() || !RevealFile(path)) {
        HostBeep();
        return false;
      }
      return true;
    }
  }
  if (!OpenUrl(url)) {
    HostBeep();
    return false;
  }
  return true;
}

QString PathToResourceFile(const QString& fileName) {
  if (fileName.isEmpty()) return QString();
  return BundleResourcePath(fileName, QString());
}

void AppendCharactersToString(QString& string, const char16_t* units, uint32_t count) {
  if (count == 0 || !units) return;
  string.append(QStringView(units, qsizetype(count)));
}

void InsertStringIntoString(QString& string, const QString& inserted, uint32_t index) {
  if (index > uint32_t(string.size())) {
    LogAssert("Insert after end of string", __func__, __FILE__, __LINE__);
    index = uint32_t(string.size());
  }
  string.insert(qsizetype(index), inserted);
}

char16_t CharacterInString(const QString& string, uint32_t index) {
  if (index >= uint32_t(string.size())) {
    LogAssert("Index out of range", __func__, __FILE__, __LINE__);
    return u' ';
  }
  return string.at(qsizetype(index)).unicode();
}

QString DateVariableString(int32_t date, uint32_t format) {
  const int day = date % 100;
  const int month = (date / 100) % 100;
  const int year = date / 10000;
  // The document's date is 0 until something sets it: no month to name.
  const auto monthName = [month](bool longName) {
    return month >= 1 && month <= 12 ? MonthName(month, longName) : QString();
  };
  switch (format) {
    case 0: return FormatString("%@ %d, %02d", monthName(true), day, year);
    case 1: return FormatString("%@ %d, %02d", monthName(false), day, year);
    case 2: return FormatDayIndex(date);
    case 3: return FormatString("%02d %@ %d", year, monthName(true), day);
    case 5: return FormatString("%d/%d/%02d", day, month, year);
    case 6: return FormatString("%02d/%d/%d", year, month, day);
    case 7: return FormatString("%02d%02d%02d", year, month, day);
    default: return FormatString("%02d %@ %d", year, monthName(false), day);
  }
}

QString TimeVariableString(uint32_t seconds, uint32_t format) {
  const uint32_t hours = seconds / 3600;
  const uint32_t minutes = (seconds - 3600 * hours) / 60;
  const uint32_t secs = seconds % 60;
  const uint32_t hour12 = seconds < 3600 ? 12 : seconds >= 46800 ? hours - 12 : hours;
  const QString suffix = seconds < 43200 ? QStringLiteral("am") : QStringLiteral("pm");
  switch (format) {
    case 1: return FormatString("%d:%02d:%02d", hour12, minutes, secs);
    case 2: return FormatString("%d:%02d %@", hour12, minutes, suffix);
    case 3: return FormatString("%d:%02d:%02d %@", hour12, minutes, secs, suffix);
    case 4: return FormatString("%02d:%02d", hours, minutes);
    case 5: return FormatString("%02d:%02d:%02d", hours, minutes, secs);
    case 6: return FormatString("%02d%02d%02d", hours, minutes, secs);
    default: return FormatString("%d:%02d", hour12, minutes);
  }
}

QString VariableString(GlimmetDoc* doc, Pane*, uint32_t, uint32_t kind, uint32_t format, uint32_t guidIndex) {
  switch (kind) {
    case kVariableBookmarkText:
    case kVariableBookmarkRef: {
      QString text;
      const uint32_t bookmark = guidIndex == kGMNone ? kGMNone : BookmarkIndexForGuidIndex(doc, guidIndex);
      if (bookmark != kGMNone) {
        KnotInfo knot;
        if (FetchKnot(doc, doc->bookmarkCps.cpAt(bookmark), &knot, kKnotBookmark) && knot.kinkCount >= 3)
          text = RawTextString(doc, knot.kinkCps[1] + 1, knot.kinkCps[2]);
      }
      return text.isEmpty() ? QStringLiteral("???") : text;
    }
    case kVariableDate: return DateVariableString(0, format);
    case kVariableTime: return TimeVariableString(0, format);
    default: return QStringLiteral("?");
  }
}

uint32_t VariableGuidIndex(const KnotInfo& variable) { return variable.entry.guidIndex(); }
uint32_t VariableFormat(const KnotInfo& variable) { return variable.entry.format(); }

void GetVariableUstring(const KnotInfo& variable, Pane* pane, char16_t* buffer) {
  if (!buffer) return;
  const QString text = VariableString(variable.doc, pane, variable.first, variable.entry.word,
                                      VariableFormat(variable), VariableGuidIndex(variable));
  const uint32_t count = std::min(uint32_t(text.size()), kVariableUstringUnits);
  buffer[0] = char16_t(count);
  std::copy_n(reinterpret_cast<const char16_t*>(text.utf16()), count, buffer + 1);
  buffer[count + 1] = 0;
}
