// The news page comes from the network: whatever local files it links, imports or shows, reading
// it opens none of them and applies nothing they hold.
#include "framlet/shell/flUpdateChecking.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

// Whether any file of the folder was opened since the watch began, as the kernel tells it.
class OpenWatch {
 public:
  explicit OpenWatch(const QString& folder) {
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ >= 0) inotify_add_watch(fd_, QFile::encodeName(folder).constData(), IN_OPEN);
  }
  ~OpenWatch() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool watching() const { return fd_ >= 0; }
  bool opened() {
    alignas(inotify_event) char buffer[4096];
    bool any = false;
    while (::read(fd_, buffer, sizeof buffer) > 0) any = true;
    return any;
  }

 private:
  int fd_ = -1;
};

TEST(NewsPageResources, ANewsPageReadsNoLocalFile) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  for (const char* name : {"local.css", "other.css"}) {
    QFile sheet(folder.filePath(QLatin1String(name)));
    ASSERT_TRUE(sheet.open(QIODevice::WriteOnly));
    sheet.write("p{color:#ff0000;font-weight:bold;display:none}");
  }
  const QString local = QUrl::fromLocalFile(folder.path()).toString();
  const QString item = QStringLiteral("<p>News</p><p>11/20/2026: Calculator 2.2</p><p>Older news</p>");
  const QString pages[] = {
      QStringLiteral("<link rel=\"stylesheet\" href=\"%1/local.css\">").arg(local) + item,
      QStringLiteral("<style>@import url(\"%1/local.css\");</style>").arg(local) + item,
      QStringLiteral("<style>@import '%1/other.css' screen;</style><link rel=stylesheet href=%1/local.css>").arg(local) +
          item,
      QStringLiteral("<html><head><base href=\"%1/\"><link rel=stylesheet href=local.css></head><body>").arg(local) +
          item + QStringLiteral("<img src=\"%1/local.css\"></body></html>").arg(local),
  };
  for (const QString& page : pages) {
    OpenWatch watch(folder.path());
    ASSERT_TRUE(watch.watching());
    FLNewsDocument news;
    news.setPage(page.toUtf8());
    EXPECT_FALSE(watch.opened()) << page.toStdString();
    EXPECT_TRUE(news.toPlainText().contains(QStringLiteral("11/20/2026: Calculator 2.2"))) << page.toStdString();
    for (QTextBlock block = news.begin(); block.isValid(); block = block.next()) {
      for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        const QTextCharFormat format = it.fragment().charFormat();
        EXPECT_FALSE(format.isImageFormat()) << page.toStdString();
        EXPECT_LT(format.fontWeight(), QFont::Bold) << page.toStdString();
        EXPECT_NE(format.foreground().color(), QColor(0xff, 0, 0)) << page.toStdString();
      }
    }
  }
}

}  // namespace
