// The Find panel under a real window manager stays above the spreadsheet window it works on: a
// click in the sheet brings the sheet forward, never over the panel, and another spreadsheet
// window brought forward takes the panel along. Offscreen there is no stacking to read, so the
// application runs in a child process on an X server (Xvfb) with openbox, and the order is the
// window manager's own (_NET_CLIENT_LIST_STACKING on the root, bottom first).
#include "AppControllerTestSupport.h"
#include "FramedDisplayTestSupport.h"

#include "calculator/controllers/CAFindDialog.h"
#include "calculator/views/CACellView.h"
#include "framlet/shell/FLAlert.h"
#include "framlet/shell/flWindowOrder.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

namespace {

constexpr int kLongestWait = 60000;
constexpr QSize kScreen{1280, 800};

TEST(FindPanelUnderAWindowManager, StaysAboveTheSpreadsheetItWorksOn) {
  for (const char* tool : {"Xvfb", "openbox", "xprop"}) {
    if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
      GTEST_SKIP() << tool << " is not installed (scripts/install-deps installs it): stacking is not checked";
  }
  const std::unique_ptr<FramedDisplay> display = StartFramedDisplay(kScreen);
  ASSERT_TRUE(display->ready()) << "Xvfb with openbox did not start: " << display->failure().toStdString();
  ChildRun run(*display, kScreen, "FindPanelOnAFramedScreen.*");
  QString output;
  EXPECT_EQ(run.finish(&output), 0) << output.toStdString();
  EXPECT_TRUE(output.contains(QLatin1String("[  PASSED  ] 1 test"))) << output.toStdString();
}

// ---- The child ---------------------------------------------------------------------------------

QString WindowId(const QWidget* window) { return QStringLiteral("0x%1").arg(window->window()->winId(), 0, 16); }

// The managed windows, bottom first, as the window manager stacks them.
QStringList Stacking() {
  const QString list = Run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
  QStringList ids;
  for (const QRegularExpressionMatch& id : QRegularExpression(QStringLiteral("0x[0-9a-f]+")).globalMatch(list))
    ids.append(id.captured());
  return ids;
}

QString ActiveWindow() {
  const QString active = Run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_ACTIVE_WINDOW")});
  return QRegularExpression(QStringLiteral("0x[0-9a-f]+")).match(active).captured();
}

// Brings the window forward as a click on it under the window manager does, and waits until
// the manager has made it the active window. A request the manager passed over (it weighs them
// against the time of the last input it saw) is made again now and then.
bool BringForward(QWidget* window) {
  QElapsedTimer asked;
  asked.start();
  MakeKeyAndOrderFront(window);
  return QTest::qWaitFor(
      [window, &asked] {
        if (ActiveWindow() == WindowId(window)) return true;
        if (asked.elapsed() > 1000) {
          MakeKeyAndOrderFront(window);
          asked.restart();
        }
        return false;
      },
      kLongestWait);
}

// Where the panel stands against the window: true when the manager stacks it above.
::testing::AssertionResult PanelAbove(const QWidget* panel, const QWidget* window) {
  QStringList order;
  // The manager restacks a moment after it activates: the order is read once it settles.
  const bool above = QTest::qWaitFor(
      [&] {
        order = Stacking();
        return order.indexOf(WindowId(panel)) > order.indexOf(WindowId(window)) && order.contains(WindowId(window));
      },
      3000);
  if (above) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "panel " << WindowId(panel).toStdString() << " under "
                                       << WindowId(window).toStdString() << " in " << order.join(u' ').toStdString();
}

TEST(FindPanelOnAFramedScreen, StaysAboveTheSpreadsheetItWorksOn) {
  if (qEnvironmentVariableIsEmpty(kScreenVariable)) GTEST_SKIP() << "runs in a child process of FindPanelUnderAWindowManager";
  ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
  FLAlert::sharedInstance().setModalRunner([](const FLAlertRequest&, bool*) { return 0; });
  TestAppController app(UserDefaults::standardUserDefaults());
  app.applicationWillFinishLaunching();
  app.applicationDidFinishLaunching();
  DeliverQueuedWork();
  CAWindowController* first = app.newest();
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(first->mainWindow(), kLongestWait));
  first->document()->setCellAtPoint(GridPoint{1, 1}, QVariant(QStringLiteral("apple")), kValueText);
  ASSERT_TRUE(BringForward(first->mainWindow()));

  // Ctrl+F, Replace All, then a click in a cell of the sheet.
  QTest::keyClick(first->cellView(), Qt::Key_F, Qt::ControlModifier);
  CAFindDialog& panel = CAFindDialog::sharedInstance();
  ASSERT_TRUE(QTest::qWaitFor([&] { return panel.isVisible() && Stacking().contains(WindowId(&panel)); }, kLongestWait));
  auto* findField = panel.findChild<QLineEdit*>(QStringLiteral("findField"));
  auto* replaceField = panel.findChild<QLineEdit*>(QStringLiteral("replaceField"));
  auto* replaceAll = panel.findChild<QPushButton*>(QStringLiteral("replaceAll"));
  ASSERT_TRUE(findField && replaceField && replaceAll);
  QTest::keyClicks(findField, QStringLiteral("apple"));
  QTest::keyClicks(replaceField, QStringLiteral("pear"));
  replaceAll->click();
  DeliverQueuedWork();
  const CACell* replaced = first->document()->cellAtGridPoint(GridPoint{1, 1});
  ASSERT_NE(replaced, nullptr);
  EXPECT_EQ(replaced->formula(), QStringLiteral("pear"));
  QTest::mouseClick(first->cellView(), Qt::LeftButton, Qt::NoModifier,
                    first->cellView()->rectForGridPoint(GridPoint{2, 3}).center().toPoint());
  ASSERT_TRUE(BringForward(first->mainWindow()));
  EXPECT_TRUE(PanelAbove(&panel, first->mainWindow()));

  // A second spreadsheet window brought forward: the panel works on its document, above it.
  auto* second = dynamic_cast<CAWindowController*>(app.openUntitledWithTabIdentifier(QString()));
  ASSERT_NE(second, nullptr);
  ASSERT_NE(second, first);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(second->mainWindow(), kLongestWait));
  ASSERT_TRUE(BringForward(second->mainWindow()));
  EXPECT_TRUE(panel.isVisible());
  EXPECT_TRUE(PanelAbove(&panel, second->mainWindow()));
  EXPECT_EQ(ActiveWindow(), WindowId(second->mainWindow()));  // the keys stay with the sheet
  ASSERT_TRUE(BringForward(first->mainWindow()));
  EXPECT_TRUE(PanelAbove(&panel, first->mainWindow()));
  FLAlert::sharedInstance().setModalRunner({});
}

}  // namespace
