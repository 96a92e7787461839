// What a page reads besides itself: read with local resources, the sheets it links and imports
// apply and its pictures are placed; read with none, no file is opened, only the page's own
// sheets apply and no picture is placed.
#include "glimmet/storage/gmHtmlReader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

// How many times files of a folder were opened, as the kernel tells it.
class OpenWatch {
 public:
  explicit OpenWatch(const QString& folder) {
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ >= 0) inotify_add_watch(fd_, QFile::encodeName(folder).constData(), IN_OPEN | IN_ACCESS);
  }
  ~OpenWatch() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool watching() const { return fd_ >= 0; }
  int opens() {
    int count = 0;
    alignas(inotify_event) char buffer[4096];
    while (true) {
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        count += (event->mask & IN_OPEN) ? 1 : 0;
        at += ssize_t(sizeof(inotify_event)) + event->len;
      }
    }
    return count;
  }

 private:
  int fd_ = -1;
};

// The first paragraph's first piece: its colour, "bold" and the pictures in it.
QString Looks(const QTextDocument& text) {
  const QTextBlock block = text.begin();
  QStringList out;
  for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
    const QTextCharFormat format = it.fragment().charFormat();
    if (format.isImageFormat()) {
      out << QStringLiteral("[img]");
      continue;
    }
    if (format.foreground().style() != Qt::NoBrush) out << format.foreground().color().name();
    if (format.fontWeight() >= QFont::Bold) out << QStringLiteral("bold");
    out << it.fragment().text();
  }
  return out.join(u' ');
}

TEST(HtmlResources, APageReadWithNoResourcesOpensNoFile) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const auto write = [&](const char* name, const QByteArray& bytes) {
    QFile file(folder.filePath(QLatin1String(name)));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  };
  write("a.css", "p{color:#ff0000}");
  write("b.css", "p{font-weight:bold}");
  write("dot.png", QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAIAAACQd1PeAAAADElEQVR4nGP4z8AAAAMBAQDJ/pLvAAAAAElFTkSuQmCC"));
  const QString absolute = QUrl::fromLocalFile(folder.path()).toString();
  const struct {
    QString page;
    const char* local;  // read with local resources
    const char* none;   // read with none
    bool localOpens;    // the local reading opens a file
  } cases[] = {
      {QStringLiteral("<link rel=\"stylesheet\" href=\"a.css\"><p>x</p>"), "#ff0000 x", "x", true},
      {QStringLiteral("<link rel=stylesheet href=\"%1/a.css\"><p>x</p>").arg(absolute), "#ff0000 x", "x", true},
      {QStringLiteral("<style>@import url(b.css);</style><p>x</p>"), "bold x", "x", true},
      {QStringLiteral("<style>@import \"%1/b.css\"; p{color:#00ff00}</style><p>x</p>").arg(absolute),
       "#00ff00 bold x", "#00ff00 x", true},
      {QStringLiteral("<p>x<img src=\"dot.png\"><img src=\"%1/dot.png\">y</p>").arg(absolute), "x [img] [img] y", "xy",
       false},
      {QStringLiteral("<style>p{color:#0000ff}</style><p>x</p>"), "#0000ff x", "#0000ff x", false},
  };
  for (const auto& c : cases) {
    for (const GMHtmlResources resources : {GMHtmlResources::Local, GMHtmlResources::None}) {
      OpenWatch watch(folder.path());
      ASSERT_TRUE(watch.watching());
      QTextDocument text;
      text.setBaseUrl(QUrl::fromLocalFile(folder.filePath(QStringLiteral("page.html"))));
      ASSERT_TRUE(ReadHtmlPage(c.page, &text, 0, nullptr, 0, resources).read()) << c.page.toStdString();
      const bool local = resources == GMHtmlResources::Local;
      EXPECT_EQ(Looks(text).toStdString(), local ? c.local : c.none) << c.page.toStdString();
      const int opens = watch.opens();
      if (local && c.localOpens) {
        EXPECT_GT(opens, 0) << c.page.toStdString();
      } else if (!local) {
        EXPECT_EQ(opens, 0) << c.page.toStdString();
      }
    }
  }
}

}  // namespace
