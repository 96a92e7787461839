// Feeds arbitrary bytes, as the network might deliver them, to what the update and news checkers
// read: the downloads page's version links, a version string, and the news page with its item
// headers. Any crash, hang or sanitizer report is a fault; so is an item found outside the text
// or a newest version that the page does not link to.
#include "FuzzApplication.h"
#include "framlet/shell/flUpdateChecking.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

int FuzzCheckerPages(const uint8_t* data, size_t size) {
  if (size > 1 << 20 || !HaveGuiApplication()) return 0;
  const QByteArray page(reinterpret_cast<const char*>(data), qsizetype(size));
  const FLDownloadsPage newest = FindNewestVersion(page, QStringLiteral("calculator"));
  if (newest.found && !page.contains(newest.link.toUtf8())) __builtin_trap();
  RunningVersion(QString::fromUtf8(page.left(64)));

  constexpr int32_t kToday = 20261207;
  const QString text = QString::fromUtf8(page);
  qsizetype from = 0;
  for (int items = 0; items < 1000; ++items) {
    const FLNewsItem item = FindNextNewsItem(text, from, kToday);
    if (item.start < 0) break;
    if (item.start <= from || item.end > text.size() || item.end <= item.start) __builtin_trap();
    from = item.end;
  }
  FLNewsDocument news;
  news.setPage(page);
  int32_t latest = 0;
  if (HandleNewsText(news, 20240101, kToday, &latest, Qt::black) && latest <= 0) __builtin_trap();
  NewsDateText(latest);
  return 0;
}
