#include "framlet/shell/FLAlert.h"

#include "framlet/shell/FLAlertController.h"

#include "support/LogCapture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QMainWindow>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

class AlertTest : public ::testing::Test {
 protected:
  void TearDown() override { FLAlert::sharedInstance().setModalRunner({}); }
};

// Presses the titled button of the next alert once it is up.
void PressLater(const QString& title, bool check = false) {
  QTimer::singleShot(0, [title, check] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    if (check && box->checkBox()) box->checkBox()->setChecked(true);
    for (QAbstractButton* button : box->buttons()) {
      if (button->text() == title) button->click();
    }
  });
}

TEST_F(AlertTest, TheCodeIsTheIndexOfThePressedButton) {
  const QStringList titles{QStringLiteral("Save"), QStringLiteral("Cancel"), QStringLiteral("Don't Save")};
  for (int code = 0; code < 3; ++code) {
    PressLater(titles[code]);
    EXPECT_EQ(FLAlert::sharedInstance().giveAlertMessage(QStringLiteral("m"), QStringLiteral("i"), titles), code);
  }
  EXPECT_FALSE(FLAlert::isAlertActive());
}

TEST_F(AlertTest, TheCheckBoxWritesTheCallersFlag) {
  bool suppress = true;
  PressLater(QStringLiteral("OK"), true);
  EXPECT_EQ(FLAlert::sharedInstance().giveAlertMessage(QStringLiteral("m"), QString(), {}, &suppress), 0);
  EXPECT_TRUE(suppress);
}

TEST_F(AlertTest, AnAlertThatFailsToRunRefusesAndComesBackOnce) {
  LogCapture log;
  int runs = 0;
  bool activeWhileRunning = false;
  FLAlert::sharedInstance().setModalRunner([&](const FLAlertRequest& request, bool*) -> int {
    ++runs;
    activeWhileRunning = FLAlert::isAlertActive();
    EXPECT_EQ(request.message, QStringLiteral("Delete everything?"));
    throw std::runtime_error("no display");
  });
  // A failure must never read as the first button, the one that consents.
  EXPECT_EQ(FLAlert::sharedInstance().giveAlertMessage(QStringLiteral("Delete everything?"), QStringLiteral("info"),
                                                       {QStringLiteral("Delete"), QStringLiteral("Cancel")}),
            FLAlert::kCancelCode);
  EXPECT_TRUE(activeWhileRunning);
  EXPECT_FALSE(FLAlert::isAlertActive());
  QApplication::processEvents();
  EXPECT_EQ(runs, 1);  // with buttons there is no second showing

  EXPECT_EQ(FLAlert::sharedInstance().giveAlertMessage(QStringLiteral("Delete everything?"), QString()),
            FLAlert::kCancelCode);
  EXPECT_TRUE(QTest::qWaitFor([&runs] { return runs >= 3; }, 10000));
  EXPECT_EQ(runs, 3);  // shown again on the next turn, and only once
  EXPECT_TRUE(log.contains(QStringLiteral("no display")));
}

TEST_F(AlertTest, ASheetReportsItsCodeToTheCallback) {
  QMainWindow window;
  window.show();
  const struct {
    QStringList titles;
    int key;
    Qt::KeyboardModifiers modifiers;
    int expected;  // -1: the sheet stays up
  } cases[] = {
      {{QStringLiteral("Save"), QStringLiteral("Cancel"), QStringLiteral("Don't Save")}, Qt::Key_Return, {}, 0},
      {{QStringLiteral("Save"), QStringLiteral("Cancel"), QStringLiteral("Don't Save")}, Qt::Key_Escape, {}, 1},
      {{QStringLiteral("Save"), QStringLiteral("Cancel"), QStringLiteral("Don't Save")}, Qt::Key_D, Qt::ControlModifier, 2},
      {{QStringLiteral("Save"), QStringLiteral("Cancel"), QStringLiteral("Don't Save")}, Qt::Key_D, {}, -1},
      {{QStringLiteral("OK")}, Qt::Key_Escape, {}, 1},
      {{QStringLiteral("OK")}, Qt::Key_Enter, Qt::KeypadModifier, 0},
  };
  for (const auto& c : cases) {
    int code = -1;
    FLAlertController* alert = FLAlert::sharedInstance().startAlertMessage(
        QStringLiteral("m"), QStringLiteral("i"), c.titles, false, &window,
        [&code](FLAlertController*, int pressed) { code = pressed; });
    ASSERT_EQ(QApplication::activeModalWidget(), alert);
    QTest::keyClick(alert, Qt::Key(c.key), c.modifiers);
    QApplication::processEvents();
    EXPECT_EQ(code, c.expected) << c.titles.join(QLatin1Char(',')).toStdString() << " key " << c.key;
    if (c.expected < 0) alert->reject();
    QTest::qWait(1);
  }
}

TEST_F(AlertTest, FourTitlesShowThreeButtonsAndLog) {
  LogCapture log;
  QMainWindow window;
  FLAlertController* alert = FLAlert::sharedInstance().startAlertMessage(
      QStringLiteral("m"), QString(),
      {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")}, false, &window, {});
  EXPECT_EQ(alert->buttons().size(), 3);
  EXPECT_TRUE(log.assertMessages().contains(QStringLiteral("Only 3 buttons allowed")));
  alert->reject();
  QTest::qWait(1);
}

TEST_F(AlertTest, MoreInfoMakesTheAlertTaller) {
  const QString longText = QStringLiteral("A long explanation of what went wrong and why. ").repeated(12);
  FLAlertController bare(QStringLiteral("m"), QString(), {}, false);
  FLAlertController informed(QStringLiteral("m"), longText, {}, false);
  EXPECT_GT(informed.sizeHint().height(), bare.sizeHint().height() + 20);
}

// However short its message, an alert is wide enough for a desktop's title bar to show its
// title whole: set in bold, a fifth larger than the text, between three buttons of at least
// sixteen pixels on each side.
TEST_F(AlertTest, AShortAlertShowsItsTitleWhole) {
  const QString application = QCoreApplication::applicationName();
  QCoreApplication::setApplicationName(QStringLiteral("Tamsel Calculator"));
  const struct {
    const char* message;
    QStringList buttons;
    const char* retitled;  // a title set once the alert is up; empty: none
  } cases[] = {
      {"x", {}, ""},
      {"Saved.", {QStringLiteral("OK")}, ""},
      {"?", {QStringLiteral("Yes"), QStringLiteral("No")}, ""},
      {"x", {}, "Tamsel Calculator \u2014 a longer title than the application's name"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    FLAlertController* alert =
        FLAlert::sharedInstance().startAlertMessage(QString::fromLatin1(c.message), QString(), c.buttons, false,
                                                    nullptr, {});
    if (*c.retitled) alert->setWindowTitle(QString::fromUtf8(c.retitled));
    ASSERT_TRUE(QTest::qWaitFor([alert] { return alert->isVisible(); }, 10000));
    const QString title = *c.retitled ? QString::fromUtf8(c.retitled) : QStringLiteral("Tamsel Calculator");
    EXPECT_EQ(alert->windowTitle(), title);
    QFont titleFont = alert->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.2);
    const int needed = QFontMetrics(titleFont).horizontalAdvance(title) + 6 * 16;
    // A title set while the alert is up widens it once the box lays itself out again.
    EXPECT_TRUE(QTest::qWaitFor([alert, needed] { return alert->width() >= needed; }, 10000))
        << alert->width() << " for " << needed;
    alert->reject();
    QApplication::processEvents();
  }
  QCoreApplication::setApplicationName(application);
}

}  // namespace
