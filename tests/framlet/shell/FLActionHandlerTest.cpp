#include "framlet/shell/FLActionHandler.h"

#include "ShellTestSupport.h"
#include "framlet/shell/FLAboutController.h"
#include "framlet/shell/FLWindowTabContainer.h"
#include "framlet/shell/FLWindowTabManager.h"
#include "framlet/shell/flWindowOrder.h"
#include "platform/BundleInfo.h"

#include <QUrlQuery>

#include <gtest/gtest.h>

namespace {

class ActionHandlerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    FLActionHandler::sharedInstance().setUrlOpener({});
    FLActionHandler::sharedInstance().setLogCollector({});
    FLAlert::sharedInstance().setModalRunner({});
  }
};

TEST_F(ActionHandlerTest, TheMailCarriesSubjectAndBodyIntact) {
  const QString subject = QStringLiteral("Logs for A&B 1.0 = 100% ?");
  const QString body = QStringLiteral("line 1\nx&body=forged #2 é");
  const QUrl url = FLActionHandler::mailUrl(subject, body);
  ASSERT_TRUE(url.isValid());
  EXPECT_EQ(url.scheme(), QStringLiteral("mailto"));
  EXPECT_EQ(url.path(), QLatin1String(kOrvandelSupportAddress));
  EXPECT_TRUE(url.toEncoded().contains("A%26B"));
  const QUrlQuery query(url);
  EXPECT_EQ(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded), subject);
  EXPECT_EQ(query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded), body);
  EXPECT_EQ(query.queryItems().size(), 2);
}

TEST_F(ActionHandlerTest, ALongLogIsCutToItsLast64KilobytesAndSaysSo) {
  const QString shortLog = QStringLiteral("2026-01-01 one line\n");
  EXPECT_EQ(FLActionHandler::mailedLogs(shortLog), shortLog);

  QString longLog;
  for (int i = 0; longLog.size() < 4 * 1024 * 1024; ++i) longLog += QStringLiteral("entry %1 ünïcode\n").arg(i);
  const QString mailed = FLActionHandler::mailedLogs(longLog);
  EXPECT_TRUE(mailed.startsWith(QStringLiteral("[The log is longer")));
  const QString kept = mailed.mid(mailed.indexOf(QStringLiteral("\n\n")) + 2);
  EXPECT_LE(kept.toUtf8().size(), kMailedLogLimit);
  EXPECT_GT(kept.toUtf8().size(), kMailedLogLimit - 1024);
  EXPECT_TRUE(longLog.endsWith(kept));
  EXPECT_TRUE(kept.startsWith(QStringLiteral("entry ")));  // from a line's start
}

TEST_F(ActionHandlerTest, MailingTheLogsOpensOneMessageOrSaysItFailed) {
  FLActionHandler& handler = FLActionHandler::sharedInstance();
  QList<QUrl> opened;
  bool opens = true;
  handler.setUrlOpener([&](const QUrl& url) {
    opened.append(url);
    return opens;
  });
  handler.setLogCollector([] { return QString(200000, QLatin1Char('x')); });
  QStringList alerts;
  FLAlert::sharedInstance().setModalRunner([&](const FLAlertRequest& request, bool*) {
    alerts.append(request.message);
    return 0;
  });
  handler.emailLogs();
  ASSERT_EQ(opened.size(), 1);
  EXPECT_LT(opened[0].toEncoded().size(), 2 * kMailedLogLimit);
  EXPECT_TRUE(alerts.isEmpty());
  opens = false;
  handler.emailLogs();
  EXPECT_EQ(alerts, QStringList{QStringLiteral("Contact failed.")});
}

TEST_F(ActionHandlerTest, NextWindowCyclesThroughTheDocumentWindows) {
  TestDelegate delegate;
  delegate.launch();
  delegate.closeWindow(delegate.frontmostController()->window(), nullptr);
  QList<QWidget*> windows;
  for (const char* name : {"C", "B", "A"}) {
    FLDocumentWC* controller = delegate.openFileWithTabIdentifier(QString::fromLatin1(name), QString());
    MakeKeyAndOrderFront(controller->window());
    windows.prepend(controller->window());
  }
  SettleEvents();
  ASSERT_EQ(MainWindow(), windows[0]);
  const int expected[] = {2, 1, 0, 2};
  for (int index : expected) {
    FLActionHandler::sharedInstance().nextWindow();
    EXPECT_EQ(MainWindow(), windows[index]);
  }
}

// The main window's own tabs are skipped; a window among tabs comes forward with its group's
// selected tab.
TEST_F(ActionHandlerTest, NextWindowSkipsTheMainWindowsOwnTabs) {
  FLWindowTabManager& tabs = FLWindowTabManager::sharedInstance();
  tabs.reset();
  TestDelegate delegate;
  delegate.launch();
  delegate.closeWindow(delegate.frontmostController()->window(), nullptr);
  QWidget* a = delegate.openFileWithTabIdentifier(QStringLiteral("A"), QString())->window();
  QWidget* b = delegate.openFileWithTabIdentifier(QStringLiteral("B"), QString())->window();
  MakeKeyAndOrderFront(a);
  tabs.setTabIdentifier(QString(), a);
  tabs.addTabbedWindow(a, b, true);
  MakeKeyAndOrderFront(a);
  SettleEvents();
  ASSERT_EQ(MainWindow(), a);
  // Only the main window's group is open: there is no other window to go to.
  FLActionHandler::sharedInstance().nextWindow();
  EXPECT_EQ(MainWindow(), a);

  QWidget* c = delegate.openFileWithTabIdentifier(QStringLiteral("C"), QString())->window();
  MakeKeyAndOrderFront(c);
  MakeKeyAndOrderFront(a);
  SettleEvents();
  FLActionHandler::sharedInstance().nextWindow();
  EXPECT_EQ(MainWindow(), c);
  // From C the group comes forward with A, the tab last selected there.
  FLActionHandler::sharedInstance().nextWindow();
  EXPECT_EQ(MainWindow(), a);
  delegate.closeWindow(c, nullptr);
  SettleEvents();
  tabs.reset();
}

TEST_F(ActionHandlerTest, AboutShowsTheVersionAndTheBuildItWasMadeFrom) {
  const QString version = BundleShortVersion();
  SetBundleBuildVersion(QStringLiteral("3f9c2ab"));
  EXPECT_EQ(FLAboutController::versionString(), version + QStringLiteral(" (3f9c2ab)"));
  SetBundleBuildVersion(QString());
  EXPECT_EQ(FLAboutController::versionString(), version + QStringLiteral(" (") + version + QLatin1Char(')'));
}

}  // namespace
