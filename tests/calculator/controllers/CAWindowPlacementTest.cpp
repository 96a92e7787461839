// Where the windows land under a real window manager. Offscreen a window has no decorations, so a
// title bar pushed above the screen cannot show there: this test starts an X server (Xvfb) with a
// window manager (openbox) at a few screen sizes and runs the application in a child process of
// its own on each, which reads every window's frame as the window manager made it (xwininfo and
// xprop, not Qt) and checks that it lies wholly on the screen.
#include "AppControllerTestSupport.h"
#include "FramedDisplayTestSupport.h"

#include "calculator/controllers/CAAppController.h"
#include "calculator/controllers/CAPrefController.h"
#include "calculator/controllers/CAWindowController.h"
#include "calculator/controllers/caPreferenceKeys.h"
#include "framlet/shell/FLAlert.h"
#include "framlet/shell/FLDocument.h"
#include "framlet/shell/flWindowOrder.h"
#include "platform/UserDefaults.h"
#include "support/TestData.h"
#include "support/TestFiles.h"
#include "support/EventWaits.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>

namespace {

// The longest the child waits for the window manager or the event loop: only a machine loaded
// far past the usual takes more than a moment.
constexpr int kLongestWait = 60000;

// What the child runs.
constexpr const char* kChildFilter = "WindowPlacementOnAFramedScreen.*";

TEST(WindowPlacementUnderAWindowManager, EveryFrameLiesWithinTheScreenAtEachSize) {
  for (const char* tool : {"Xvfb", "openbox", "xprop", "xwininfo"}) {
    if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
      GTEST_SKIP() << tool << " is not installed (scripts/install-deps installs it): frames are not checked";
  }
  const QSize sizes[] = {{1600, 1000}, {1280, 800}, {3840, 1080}};
  // The screens run side by side, each with its own application.
  std::vector<std::unique_ptr<FramedDisplay>> displays;
  std::vector<std::unique_ptr<ChildRun>> runs;
  for (const QSize& size : sizes) {
    std::unique_ptr<FramedDisplay> display = StartFramedDisplay(size);
    ASSERT_TRUE(display->ready()) << "Xvfb with openbox did not start at " << Describe(QRect({}, size)).toStdString()
                                  << ": " << display->failure().toStdString();
    displays.push_back(std::move(display));
  }
  for (size_t i = 0; i < std::size(sizes); ++i) runs.push_back(std::make_unique<ChildRun>(*displays[i], sizes[i], kChildFilter));
  for (size_t i = 0; i < std::size(sizes); ++i) {
    QString output;
    const int code = runs[i]->finish(&output);
    EXPECT_EQ(code, 0) << "at " << Describe(QRect({}, sizes[i])).toStdString() << ":\n" << output.toStdString();
    EXPECT_TRUE(output.contains(QLatin1String("[  PASSED  ] 1 test"))) << output.toStdString();
  }
}

// ---- The child: the application on the framed screen ------------------------------------------

// A window's frame as the window manager drew it; empty until it has framed the window.
QRect ManagedFrame(const QWidget* window) {
  const QString id = QStringLiteral("0x%1").arg(window->winId(), 0, 16);
  const QString extents = Run(QStringLiteral("xprop"), {QStringLiteral("-id"), id, QStringLiteral("_NET_FRAME_EXTENTS")});
  const QRegularExpressionMatch margins =
      QRegularExpression(QStringLiteral("= (\\d+), (\\d+), (\\d+), (\\d+)")).match(extents);
  if (!margins.hasMatch()) return {};
  const QString info = Run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id});
  const auto value = [&info](const char* label) {
    return QRegularExpression(QLatin1String(label) + QStringLiteral(":\\s+(-?\\d+)")).match(info).captured(1).toInt();
  };
  const int left = margins.captured(1).toInt(), right = margins.captured(2).toInt();
  const int top = margins.captured(3).toInt(), bottom = margins.captured(4).toInt();
  return QRect(value("Absolute upper-left X") - left, value("Absolute upper-left Y") - top,
               value("Width") + left + right, value("Height") + top + bottom);
}

QList<QWidget*> ShownWindows() {
  QList<QWidget*> windows;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window->isVisible() && IsOrderedKind(window)) windows.append(window);
  }
  return windows;
}

// A copy of the sample package whose window was stored with this frame.
QString PackageWithFrame(const QTemporaryDir& folder, const QString& name, const char* frame) {
  const QString path = folder.filePath(name);
  EXPECT_TRUE(CopyFolderFiles(TestDataPath(QStringLiteral("package/Sample.Numlet")), path));
  QString xml = ReadFileText(path + QStringLiteral("/document.xml"));
  xml.replace(QRegularExpression(QStringLiteral("<frame>[^<]*</frame>")), QLatin1String(frame));
  EXPECT_TRUE(WriteFileBytes(path + QStringLiteral("/document.xml"), xml.toUtf8()));
  return path;
}

void PressInFrontWindow(QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers) {
  MakeKeyAndOrderFront(window);
  EXPECT_TRUE(QTest::qWaitForWindowActive(window, kLongestWait));
  QWidget* focus = QApplication::focusWidget();
  QTest::keyClick(focus ? focus : window, key, modifiers);
  DeliverQueuedWork();
}

TEST(WindowPlacementOnAFramedScreen, EveryFrameLiesWithinTheScreen) {
  const QStringList size = QString::fromLocal8Bit(qgetenv(kScreenVariable)).split(QLatin1Char('x'));
  if (size.size() != 2) GTEST_SKIP() << "runs in a child process of WindowPlacementUnderAWindowManager";
  ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
  const QRect screen(0, 0, size[0].toInt(), size[1].toInt());
  FLAlert::sharedInstance().setModalRunner([](const FLAlertRequest&, bool*) { return 0; });
  QTemporaryDir folder;
  UserDefaults::standardUserDefaults().setString(
      QStringLiteral("{%1, %2}").arg(screen.width() - 100).arg(screen.height() - 10), QLatin1String(kPrefPositionKey));
  TestAppController app(UserDefaults::standardUserDefaults());
  app.applicationWillFinishLaunching();
  app.applicationDidFinishLaunching();
  DeliverQueuedWork();
  CAWindowController* first = app.newest();
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(first->mainWindow(), kLongestWait));
  // The settings, from the File menu, last left by the screen's bottom right corner.
  QAction* settings = first->mainWindow()->findChild<QAction*>(QStringLiteral("showPreferences:"));
  ASSERT_NE(settings, nullptr);
  settings->trigger();
  ASSERT_TRUE(app.prefController()->window() && app.prefController()->window()->isVisible());

  // Two new windows by the key (the second one untouched, so the first document opened fills
  // it), stored frames too large and beyond the screen's top left, the calculators, and the font
  // and colour panels by their keys.
  for (int i = 0; i < 2; ++i) PressInFrontWindow(app.newest()->mainWindow(), Qt::Key_N, Qt::ControlModifier);
  ASSERT_EQ(app.controllers().size(), 3u);
  for (const auto& [name, frame] : {std::pair{"Large.Numlet", "<frame>{{100, 50}, {3000, 2000}}</frame>"},
                                    std::pair{"Far.Numlet", "<frame>{{-900, -700}, {800, 600}}</frame>"}}) {
    ASSERT_TRUE(app.applicationOpenFile(PackageWithFrame(folder, QLatin1String(name), frame)));
  }
  // Frames far off the grid, each opened into a new untouched window (the placer moves a window
  // that is already shown by its decorations). Each time past the moment the document opened
  // before comes forward, which would take the new window's place in front.
  for (const auto& [name, frame] :
       {std::pair{"Farther.Numlet", "<frame>{{3000000000, -3000000000}, {90000, 90000}}</frame>"},
        std::pair{"Least.Numlet", "<frame>{{-2147483648, -2147483648}, {400, 300}}</frame>"}}) {
    ASSERT_TRUE(WaitPastDelay(700));
    PressInFrontWindow(first->mainWindow(), Qt::Key_N, Qt::ControlModifier);
    CAWindowController* untitled = app.newest();
    ASSERT_TRUE(QTest::qWaitFor([&] { return app.frontmostController() == untitled; }, kLongestWait)) << name;
    const QString path = PackageWithFrame(folder, QLatin1String(name), frame);
    ASSERT_TRUE(app.applicationOpenFile(path));
    EXPECT_EQ(untitled->document()->filePath(), path);
  }
  for (int mask : {kStandardCalculatorMask, kProgrammerCalculatorMask, kConverterCalculatorMask})
    ASSERT_TRUE(app.openCalculatorForMask(mask, false));
  ASSERT_TRUE(WaitPastDelay(700));  // an opened document's window shows half a second after it opens
  PressInFrontWindow(first->mainWindow(), Qt::Key_T, Qt::ControlModifier);
  PressInFrontWindow(first->mainWindow(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);

  // Every window has been framed and placed once Qt knows its decorations and has it inside;
  // the verdict is the window manager's own.
  QList<QWidget*> windows;
  const auto settled = [&windows, screen] {
    windows = ShownWindows();
    for (QWidget* window : windows) {
      const QWindow* handle = window->windowHandle();
      if (!handle || handle->frameMargins().isNull() || !screen.contains(window->frameGeometry())) return false;
    }
    return true;
  };
  (void)QTest::qWaitFor(settled, kLongestWait);
  // The window manager's verdict follows Qt's by a round trip or two.
  (void)QTest::qWaitFor(
      [&windows, screen] {
        windows = ShownWindows();
        for (const QWidget* window : windows)
          if (!screen.contains(ManagedFrame(window))) return false;
        return true;
      },
      kLongestWait);
  windows = ShownWindows();
  EXPECT_GE(windows.size(), 12);  // six documents, three calculators, two panels, the settings
  QList<QPoint> newWindowCorners;
  for (QWidget* window : windows) {
    const QRect frame = ManagedFrame(window);
    EXPECT_TRUE(!frame.isEmpty() && screen.contains(frame))
        << window->windowTitle().toStdString() << ": frame " << Describe(frame).toStdString() << " on "
        << Describe(screen).toStdString();
    const FLDocumentWC* controller = app.controllerOfWindow(window);
    if (controller && controller->document()->filePath().isEmpty()) {
      EXPECT_FALSE(newWindowCorners.contains(frame.topLeft()))
          << window->windowTitle().toStdString() << " lies on another new window at " << Describe(frame).toStdString();
      newWindowCorners.append(frame.topLeft());
    }
  }
  EXPECT_EQ(newWindowCorners.size(), 2);
  FLAlert::sharedInstance().setModalRunner({});
}

}  // namespace
