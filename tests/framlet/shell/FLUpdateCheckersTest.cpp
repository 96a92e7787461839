// The update and news checkers: what they read from the maker's pages, when they check, and
// whole checks against pages served by the test itself on the loopback interface.
#include "framlet/shell/FLAppUpdater.h"
#include "framlet/shell/FLNewsUpdater.h"
#include "framlet/shell/flUpdateChecking.h"

#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/flDates.h"
#include "framlet/foundation/flFileSupport.h"
#include "platform/BundleInfo.h"
#include "platform/UserDefaults.h"
#include "support/LogCapture.h"
#include "support/EventWaits.h"

#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QNetworkProxy>
#include <QProgressBar>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

#include <gtest/gtest.h>

#include <map>

namespace {

QByteArray Links(std::initializer_list<const char*> links) {
  QByteArray page = "<html><body><h1>Downloads</h1>\n";
  for (const char* link : links) page += QByteArray("<li><a href=\"") + link + "\">" + link + "</a></li>\n";
  return page + "</body></html>";
}

TEST(UpdatePage, TheNewestLinkOfTheProductIsFound) {
  const struct {
    QByteArray page;
    bool found;
    const char* link;
    FLVersion version;
  } cases[] = {
      {Links({"calculator_215.dmg", "calculator_2112.dmg", "calculator_219.dmg"}), true, "calculator_2112.dmg", {2, 1, 12}},
      {Links({"writer_399.dmg", "Calculator_107.ZIP", "calculator_106.zip"}), true, "calculator_106.zip", {1, 0, 6}},
      // A tie keeps the earlier link; ".dmg" must end the link; other products do not count.
      {Links({"calculator_300.zip", "calculator_300.dmg", "calculator_999.dmg.txt", "calc_999.dmg"}), true,
       "calculator_300.zip", {3, 0, 0}},
      {Links({"calculator_2a5.dmg", "calculator_25.dmg", "calculator_21x.dmg", "x_calculator_215.dmg"}), false, "", {}},
      {"<A HREF=\"calculator_314.dmg\">", true, "calculator_314.dmg", {3, 1, 4}},
      {"<a href=\"calculator_314.dmg", false, "", {}},  // no closing quote
      {QByteArray("<a href=\"calculator_314.dmg\"> \xff\xfe"), false, "", {}},  // not UTF-8
      {QByteArray(kFLMaxPageBytes, ' ') + Links({"calculator_314.dmg"}), false, "", {}},
  };
  for (const auto& c : cases) {
    const FLDownloadsPage page = FindNewestVersion(c.page, QStringLiteral("calculator"));
    EXPECT_EQ(page.found, c.found) << c.page.left(120).constData();
    if (!c.found) continue;
    EXPECT_EQ(page.link, QLatin1String(c.link));
    EXPECT_EQ(page.version, c.version);
  }
}

TEST(UpdatePage, VersionsOfTheRunningProgram) {
  LogCapture log;
  const struct {
    const char* text;
    std::optional<FLVersion> version;
  } cases[] = {
      {"2.1.5", FLVersion{2, 1, 5}}, {"3.2.b", FLVersion{3, 2, 0}}, {"3.2.bc", FLVersion{3, 2, 0}},
      {"2", FLVersion{2, 0, 0}},     {"1.0.7rc", FLVersion{1, 0, 7}}, {"1.2.3.4", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(RunningVersion(QLatin1String(c.text)), c.version) << c.text;
  EXPECT_EQ(log.assertMessages().count("Illegal version number"), 1);
  EXPECT_EQ(ProductWord(QStringLiteral("Tamsel Calculator")), QStringLiteral("calculator"));
  EXPECT_EQ(ProductWord(QStringLiteral("Tamsel Big Sheet")), QStringLiteral("big"));
  EXPECT_EQ(ProductWord(QStringLiteral("Calculator")), QString());
  EXPECT_EQ(VersionText({2, 1, 12}), QStringLiteral("2.1.12"));
  EXPECT_EQ(AvailableText(QStringLiteral("Version ### is out"), {3, 0, 0}), QStringLiteral("Version 3.0 is out"));
}

TEST(UpdatePage, ChecksAreDueAWeekOrACalendarMonthLater) {
  const QDateTime last(QDate(2024, 1, 31), QTime(23, 30));
  const struct {
    QDateTime now;
    bool monthly;
    bool due;
  } cases[] = {
      {QDateTime(QDate(2024, 2, 6), QTime(23, 59)), false, false},
      {QDateTime(QDate(2024, 2, 7), QTime(0, 1)), false, true},  // seven calendar days, not 168 hours
      {QDateTime(QDate(2024, 2, 28), QTime(12, 0)), true, false},
      {QDateTime(QDate(2024, 2, 29), QTime(0, 0)), true, true},
      {QDateTime(), false, false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsUpdateCheckDue(last, c.now, c.monthly), c.due) << c.now.toString().toStdString();
  EXPECT_TRUE(IsUpdateCheckDue(QDateTime(), QDateTime::currentDateTime(), false));
}

TEST(UpdatePage, DownloadTextsAndFileNames) {
  EXPECT_EQ(DownloadAmountText(1572864, 3145728), QStringLiteral("1.50 MB of 3.00 MB"));
  EXPECT_EQ(DownloadAmountText(524288, 0), QStringLiteral("0.50 MB"));
  const struct {
    const char* url;
    const char* name;
  } cases[] = {
      {"https://example.org/downloads/calculator_215.dmg", "calculator_215.dmg"},
      {"https://example.org/downloads/x/../../etc/passwd", "passwd"},
      {"https://example.org/downloads/..", "download"},
      {"https://example.org/downloads/.profile", "profile"},
      {"https://example.org/a%2F..%2F..%2Fevil.dmg", "evil.dmg"},
      {"https://example.org/", "download"},
  };
  for (const auto& c : cases) EXPECT_EQ(SafeDownloadFileName(QUrl(QLatin1String(c.url))), QLatin1String(c.name)) << c.url;
}

// ---- News ----------------------------------------------------------------------------------

constexpr int32_t kToday = 20261207;

TEST(NewsPage, ItemHeadersAreDatesAtTheStartOfALine) {
  const struct {
    const char* text;
    qsizetype start;
    int32_t date;
  } cases[] = {
      {"News\n3/5/24: Something", 5, 20240305},
      {"News\n12/31/2019: Year end", 5, 20191231},
      {"News\n3/5/17: Old style", 5, 20170305},  // two digits: this century
      {"News\n3/5/2017: Too old", -1, 0},       // four digits before 2018 are not items
      {"News\n3/5/24:No blank", -1, 0},
      {"News 3/5/24: Not at a line start", -1, 0},
      {"News\n13/5/24: Bad month", -1, 0},
      {"News\n3/32/24: Bad day", -1, 0},
      {"News\n3/5/0: Bad year", -1, 0},
      {"News\n3/5/20245: Long year", -1, 0},
      {"a/b/c\n1/2/3/4\n7/8/25: Later", 14, 20250708},
      {"", -1, 0},
  };
  for (const auto& c : cases) {
    const FLNewsItem item = FindNextNewsItem(QLatin1String(c.text), 0, kToday);
    EXPECT_EQ(item.start, c.start) << c.text;
    EXPECT_EQ(item.date, c.date) << c.text;
  }
  // A search from an item's end finds the next one.
  const QString two = QStringLiteral("\n1/2/25: one\n1/1/25: two");
  EXPECT_EQ(FindNextNewsItem(two, FindNextNewsItem(two, 0, kToday).end, kToday).date, 20250101);
}

const char* kNewsHtml =
    "<html><body><p>Orvandel News</p>"
    "<p>11/20/2026: <a href=\"https://example.org/a\">Calculator 2.2</a> is out.</p>"
    "<p>10/2/2026: Writer 4 has tables.</p>"
    "<p>9/1/2026: Summer sale.</p>"
    "<p><a href=\"https://example.org/news\">All Orvandel news</a></p><p>Older news</p>"
    "<p>footer</p><img src=\"/etc/hostname\"></body></html>";

QString NewsText(int32_t previous, int32_t* latest, bool* found) {
  FLNewsDocument document;
  document.setPage(kNewsHtml);
  *found = HandleNewsText(document, previous, kToday, latest, Qt::black);
  return document.toPlainText();
}

TEST(NewsPage, OnlyItemsNewerThanTheLastSeenStay) {
  const struct {
    int32_t previous;
    const char* first;
    const char* last;
  } cases[] = {
      {20260901, "11/20/2026: Calculator 2.2 is out.", "10/2/2026: Writer 4 has tables."},
      {0, "11/20/2026: Calculator 2.2 is out.", "All Orvandel news"},  // up to the closing "news" line
      {20261120, "11/20/2026: Calculator 2.2 is out.", "All Orvandel news"},
  };
  for (const auto& c : cases) {
    int32_t latest = 0;
    bool found = false;
    const QString text = NewsText(c.previous, &latest, &found);
    ASSERT_TRUE(found);
    EXPECT_EQ(latest, 20261120);
    EXPECT_TRUE(text.startsWith(QLatin1String(c.first))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QLatin1String(c.last))) << text.toStdString();
  }
  FLNewsDocument none;
  none.setPage("<p>No dated items here</p>");
  int32_t latest = 0;
  EXPECT_FALSE(HandleNewsText(none, 0, kToday, &latest, Qt::black));
  EXPECT_EQ(NewsDateText(20240305), QStringLiteral("March 5, 2024"));
  EXPECT_EQ(NewsDateText(0), QString());
}

// A news page nested deeper than any real one would hang the interface in the HTML reader: it
// shows nothing.
TEST(NewsPage, DeeplyNestedPagesShowNothing) {
  FLNewsDocument document;
  document.setPage(QByteArray("<b>").repeated(100000) + "News\n3/5/24: Something");
  EXPECT_TRUE(document.toPlainText().isEmpty());
  document.setPage(QByteArray("<b>x</b>").repeated(1000) + "<p>News</p>");
  EXPECT_TRUE(document.toPlainText().endsWith(QStringLiteral("News")));
}

TEST(NewsPage, LinksAreRemovedAndNothingIsFetched) {
  FLNewsDocument document;
  document.setPage(kNewsHtml);
  int32_t latest = 0;
  ASSERT_TRUE(HandleNewsText(document, 0, kToday, &latest, QColor(1, 2, 3)));
  EXPECT_FALSE(document.toHtml().contains(QLatin1String("href")));
  EXPECT_FALSE(document.resource(QTextDocument::ImageResource, QUrl(QStringLiteral("/etc/hostname"))).isValid());
}

// ---- Whole checks against a local server -------------------------------------------------------

struct Response {
  int status = 200;
  QByteArray body;
  bool contentLength = true;
  qint64 announcedLength = -1;  // a Content-Length other than the body's
};

// Answers each request with the response for its path (404 without one), then closes.
class PageServer : public QTcpServer {
 public:
  PageServer() {
    listen(QHostAddress::LocalHost);
    connect(this, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* socket = nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { answer(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      }
    });
  }
  QUrl url(const char* path) const { return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(QLatin1String(path))); }
  std::map<QByteArray, Response> pages;
  int requests = 0;

 private:
  void answer(QTcpSocket* socket) {
    QByteArray& request = buffers_[socket];
    request += socket->readAll();
    if (!request.contains("\r\n\r\n")) return;
    ++requests;
    const QByteArray path = request.split(' ').value(1);
    const auto page = pages.find(path);
    const Response response = page == pages.end() ? Response{404, "missing"} : page->second;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " X\r\nConnection: close\r\n";
    if (response.contentLength)
      head += "Content-Length: " +
              QByteArray::number(response.announcedLength >= 0 ? response.announcedLength : response.body.size()) + "\r\n";
    socket->write(head + "\r\n" + response.body);
    socket->disconnectFromHost();
    buffers_.remove(socket);
  }
  QHash<QTcpSocket*, QByteArray> buffers_;
};

class CheckerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    // Downloads go to a folder of the test's own.
    QFile dirs(QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).filePath(QStringLiteral("user-dirs.dirs")));
    ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
    dirs.write("XDG_DOWNLOAD_DIR=\"" + downloads.path().toUtf8() + "\"\n");
    dirs.close();
    ASSERT_TRUE(PathForUserFolder(FLUserFolder::Downloads).startsWith(downloads.path()));
    for (const char* key : {kFLAutoUpdateKey, kFLAutoUpdateMonthlyKey, kFLAutoNewsCheckKey, kFLLastNewsCheckKey,
                            kFLLastNewsDateKey})
      UserDefaults::sharedDefaults().removeObjectForKey(QLatin1String(key));
    UserDefaults::standardUserDefaults().removeObjectForKey(QLatin1String(kFLLastUpdateCheckKey));
  }
  void TearDown() override {
    for (QWidget* window : {updater.ui().window, news.ui().window}) window->hide();
  }
  static void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

  FLKernel& kernel = FLKernel::sharedInstance();  // the calendar of the checks' dates
  QTemporaryDir downloads;
  PageServer server;
  FLAppUpdater& updater = FLAppUpdater::sharedInstance();
  FLNewsUpdater& news = FLNewsUpdater::sharedInstance();
};

TEST_F(CheckerTest, AMenuCheckOffersTheNewVersionAndDownloadsIt) {
  server.pages["/downloads"] = {200, Links({"calculator_215.dmg", "calculator_2112.dmg", "writer_999.dmg"})};
  server.pages["/downloads/calculator_2112.dmg"] = {200, QByteArray(700000, 'd'), false};
  updater.loadSettings();
  updater.setPageUrl(server.url("/downloads"));
  updater.setApplication(QStringLiteral("Tamsel Calculator"), QStringLiteral("2.1.5"));
  QString opened;
  updater.setFileOpener([&opened](const QString& path) { opened = path; });

  updater.displayUpdateDialog();
  ASSERT_EQ(updater.currentPane(), updater.ui().mainPane.pane);
  updater.ui().autoCheck->setChecked(true);
  Click(updater.ui().mainPane.proceed);
  EXPECT_EQ(updater.currentPane(), updater.ui().checkingPane.pane);
  ASSERT_TRUE(QTest::qWaitFor([&] { return updater.currentPane() == updater.ui().availablePane.pane; }, 10000));
  EXPECT_EQ(updater.ui().availableField->text(),
            QStringLiteral("Version 2.1.12 of %1 is available. Do you want to download it now?").arg(BundleName()));
  EXPECT_EQ(updater.updatePath(), server.url("/downloads").toString() + QStringLiteral("/calculator_2112.dmg"));
  EXPECT_TRUE(updater.lastCheckDate().isValid());
  EXPECT_EQ(UserDefaults::standardUserDefaults().stringForKey(kFLLastUpdateCheckKey),
            QString::number(updater.lastCheckDate().toSecsSinceEpoch()));

  Click(updater.ui().availablePane.proceed);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !opened.isEmpty(); }, 10000));
  EXPECT_EQ(opened, QDir(downloads.path()).filePath(QStringLiteral("calculator_2112.dmg")));
  EXPECT_EQ(QFileInfo(opened).size(), 700000);
  // Without a Content-Length the bar measures against 5 MB.
  EXPECT_EQ(updater.ui().downloadSpinner->maximum(), kFLUnknownDownloadLength);
  EXPECT_EQ(updater.ui().downloadAmountField->text(), QStringLiteral("0.67 MB"));
  EXPECT_FALSE(updater.ui().window->isVisible());
  // The dialog's check box is stored when the dialog ends, and starts the automatic checks.
  EXPECT_TRUE(UserDefaults::sharedDefaults().boolForKey(kFLAutoUpdateKey));
  EXPECT_TRUE(updater.isTimerRunning());
  updater.ui().autoCheck->setChecked(false);
  updater.loadSettings();
}

TEST_F(CheckerTest, FailedChecksShowOnlyWhenAskedFor) {
  server.pages["/big"] = {200, "tiny", true, kFLMaxPageBytes + 1};
  server.pages["/old"] = {200, Links({"calculator_100.dmg"})};
  updater.loadSettings();
  updater.setApplication(QStringLiteral("Tamsel Calculator"), QStringLiteral("2.1.5"));
  const struct {
    const char* path;
    bool report;
    QWidget* pane;
    bool checked;
  } cases[] = {
      {"/missing", false, nullptr, false},
      {"/big", false, nullptr, false},
      {"/missing", true, updater.ui().checkFailPane.pane, false},
      {"/big", true, updater.ui().checkFailPane.pane, false},
      {"/old", false, nullptr, true},  // up to date: a silent check says nothing
      {"/old", true, updater.ui().upToDatePane.pane, true},
  };
  for (const auto& c : cases) {
    UserDefaults::standardUserDefaults().removeObjectForKey(QLatin1String(kFLLastUpdateCheckKey));
    updater.loadSettings();
    updater.ui().window->hide();
    updater.setPane(updater.ui().mainPane.pane);
    updater.setPageUrl(server.url(c.path));
    updater.startCheck(c.report);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !updater.isRunningJob(); }, 10000)) << c.path;
    EXPECT_EQ(updater.ui().window->isVisible(), c.pane != nullptr) << c.path << c.report;
    if (c.pane) {
      EXPECT_EQ(updater.currentPane(), c.pane) << c.path;
    }
    EXPECT_EQ(updater.lastCheckDate().isValid(), c.checked) << c.path;
  }
  // A check made a day after the last one does nothing.
  UserDefaults::standardUserDefaults().setString(QString::number(QDateTime::currentSecsSinceEpoch() - 86400),
                                                 QLatin1String(kFLLastUpdateCheckKey));
  updater.loadSettings();
  updater.ui().window->hide();
  const int before = server.requests;
  updater.autoCheckTimerFired();
  EXPECT_FALSE(updater.isRunningJob());
  EXPECT_EQ(server.requests, before);
}

TEST_F(CheckerTest, NewNewsIsShownOnceAndCheckedAtMostDaily) {
  server.pages["/news/index.html"] = {200, kNewsHtml};
  UserDefaults::sharedDefaults().setInteger(20261002, QLatin1String(kFLLastNewsDateKey));
  UserDefaults::sharedDefaults().setBool(true, QLatin1String(kFLAutoNewsCheckKey));
  news.setClock([] { return QDate(2026, 12, 7); });
  news.setNewsUrl(server.url("/news/index.html"));
  news.loadSettings();

  // An automatic check shows new news.
  news.startAutoCheck();
  ASSERT_TRUE(QTest::qWaitFor([&] { return news.ui().window->isVisible(); }, 10000));
  EXPECT_EQ(news.currentPane(), news.ui().newsDisplayPane.pane);
  const QString shown = news.ui().newsView->toPlainText();
  EXPECT_TRUE(shown.contains(QLatin1String("Calculator 2.2")));
  EXPECT_FALSE(shown.contains(QLatin1String("Writer 4")));
  EXPECT_EQ(news.ui().lastUpdateField->text(), QStringLiteral("November 20, 2026"));
  EXPECT_EQ(UserDefaults::sharedDefaults().integerForKey(kFLLastNewsDateKey), 20261120);
  EXPECT_EQ(UserDefaults::sharedDefaults().integerForKey(kFLLastNewsCheckKey), kToday);
  EXPECT_TRUE(news.newsPath().isEmpty());
  Click(news.ui().newsDisplayPane.cancel);
  EXPECT_FALSE(news.ui().window->isVisible());

  // The next tick the same day fetches nothing; the next day it does, and nothing new stays quiet.
  const int before = server.requests;
  news.autoCheckTimerFired();
  EXPECT_FALSE(news.isRunningJob());
  news.setClock([] { return QDate(2026, 12, 8); });
  news.autoCheckTimerFired();
  EXPECT_TRUE(news.isRunningJob());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !news.isRunningJob(); }, 10000));
  EXPECT_EQ(server.requests, before + 1);
  WaitPastDelay(20);  // what the answer would show, it would have shown by now
  EXPECT_FALSE(news.ui().window->isVisible());

  // Asked for from the menu, the same page gives the up-to-date pane.
  news.displayUpdateDialog();
  EXPECT_EQ(news.ui().lastCheckField->text(), QStringLiteral("December 8, 2026"));
  news.ui().autoCheck->setChecked(false);
  Click(news.ui().mainPane.proceed);
  ASSERT_TRUE(QTest::qWaitFor([&] { return news.currentPane() == news.ui().upToDatePane.pane; }, 10000));
  Click(news.ui().upToDatePane.cancel);
  EXPECT_FALSE(UserDefaults::sharedDefaults().boolForKey(kFLAutoNewsCheckKey));
  news.setClock(nullptr);
}

}  // namespace
