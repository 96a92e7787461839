// What the update and news checkers make of the maker's pages, apart from the network and the
// windows: versions and the download links of the downloads page, when a check is due, the news
// items of the news page, and the texts the dialogs show. Pages come from the network: every
// reader here takes any bytes and answers "nothing found" rather than trusting them.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QDate>
#include <QString>
#include <QTextDocument>
#include <QUrl>

#include <cstdint>
#include <optional>


// Pages larger than this are refused: the real ones are a few kilobytes.
inline constexpr qint64 kFLMaxPageBytes = 4 * 1024 * 1024;
// A downloaded release larger than this is refused.
inline constexpr qint64 kFLMaxDownloadBytes = qint64(2) * 1024 * 1024 * 1024;

struct FLVersion {
  int32_t major = 0;
  int32_t minor = 0;
  int64_t patch = 0;
  // The value versions are compared by.
  int64_t value() const { return int64_t(major) * 1000000 + int64_t(minor) * 10000 + patch; }
  bool operator==(const FLVersion&) const = default;
};

// "%d.%d.%d", or "%d.%d" when the patch is 0.
QString VersionText(const FLVersion& version);
// The word that names the product in its download links: the executable name after "Tamsel ",
// lower-cased and cut at its first blank; empty without "Tamsel ".
QString ProductWord(const QString& executableName);
// The running version from a short version string such as "2.1.5"; none with more than three
// parts. A third part that does not start with a digit ("3.2.b") counts as 0.
std::optional<FLVersion> RunningVersion(const QString& shortVersion);

struct FLDownloadsPage {
  bool found = false;  // at least one link to a file of the product
  QString link;        // the newest file's link as the page gives it
  FLVersion version;
};
// The newest version the downloads page links to: links of the form product "_" major minor
// patch ".dmg" (or ".zip"), where major and minor are one digit each and the patch is a number.
// A page that is not UTF-8 or is too large finds nothing.
FLDownloadsPage FindNewestVersion(const QByteArray& page, const QString& productWord);

// Whether an automatic check is due: a week (or with monthly checks, a calendar month) after the
// day of the last successful one, counted in whole days; always without a last check.
bool IsUpdateCheckDue(const QDateTime& lastCheck, const QDateTime& now, bool monthly);
// The announcement with its "###" replaced by the version; unchanged (and logged) without one.
QString AvailableText(const QString& loaded, const FLVersion& version);
// "%.2f MB of %.2f MB", or "%.2f MB" when the total is not known.
QString DownloadAmountText(qint64 done, qint64 total);
// A file name for a download in the user's Downloads folder: the last part of the URL's path,
// never a path of its own and never hidden; "download" when nothing is left.
QString SafeDownloadFileName(const QUrl& url);

// ---- News ----------------------------------------------------------------------------------

struct FLNewsItem {
  qsizetype start = -1;  // the month's first digit; -1: none
  qsizetype end = -1;    // just past the colon
  int32_t date = 0;      // day index
};
// The next item header after `start`: at the start of a line, month "/" day "/" year ":" and a
// blank. Years of one or two digits are in the century of `today` (a day index); longer ones
// must be 2018 or later.
FLNewsItem FindNextNewsItem(const QString& text, qsizetype start, int32_t today);
// Cuts a news page down to the items newer than previousDate (0: all, up to the page's closing
// "news" line), strips its links and colours it in textColour. latestDate gets the newest item's
// date. False when the page holds no item.
bool HandleNewsText(QTextDocument& document, int32_t previousDate, int32_t today, int32_t* latestDate,
                    const QColor& textColour);
// "%@ %d, %d": the month's full name, the day and the year; empty for 0.
QString NewsDateText(int32_t dayIndex);

// A news page read as HTML that never fetches what the page refers to (images, style sheets):
// the page comes from the network and must not make the program read local files.
class FLNewsDocument : public QTextDocument {
 public:
  using QTextDocument::QTextDocument;
  // The page's bytes in the encoding it declares (UTF-8 when it declares none).
  void setPage(const QByteArray& html);

 protected:
  QVariant loadResource(int type, const QUrl& name) override;
};
