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
#include "calculator/controllers/caCalculatorWindows.h"
#include "calculator/controllers/caPreferenceKeys.h"
#include "framlet/help/FLGlimmetHelpWC.h"
#include "framlet/shell/FLAlert.h"
#include "framlet/shell/FLDocument.h"
#include "framlet/shell/FLPasswordVerifyDialog.h"
#include "framlet/shell/flWindowOrder.h"
#include "platform/BundleInfo.h"
#include "platform/UserDefaults.h"
#include "support/TestData.h"
#include "support/TestFiles.h"
#include "support/EventWaits.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// The longest the child waits for the window manager or the event loop: only a machine loaded
// far past the usual takes more than a moment.
constexpr int kLongestWait = 60000;

// What the children run.
constexpr const char* kChildFilter = "WindowPlacementOnAFramedScreen.*";
constexpr const char* kFirstWindowsFilter = "FirstWindowsOnAFramedScreen.*";

// Runs the child tests `filter` names on framed screens of these sizes, side by side.
void RunOnFramedScreens(const std::vector<QSize>& sizes, const char* filter) {
  for (const char* tool : {"Xvfb", "openbox", "xprop", "xwininfo"}) {
    if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
      GTEST_SKIP() << tool << " is not installed (scripts/install-deps installs it): frames are not checked";
  }
  std::vector<std::unique_ptr<FramedDisplay>> displays;
  std::vector<std::unique_ptr<ChildRun>> runs;
  for (const QSize& size : sizes) {
    std::unique_ptr<FramedDisplay> display = StartFramedDisplay(size);
    ASSERT_TRUE(display->ready()) << "Xvfb with openbox did not start at " << Describe(QRect({}, size)).toStdString()
                                  << ": " << display->failure().toStdString();
    displays.push_back(std::move(display));
  }
  for (size_t i = 0; i < sizes.size(); ++i) runs.push_back(std::make_unique<ChildRun>(*displays[i], sizes[i], filter));
  for (size_t i = 0; i < sizes.size(); ++i) {
    QString output;
    const int code = runs[i]->finish(&output);
    EXPECT_EQ(code, 0) << "at " << Describe(QRect({}, sizes[i])).toStdString() << ":\n" << output.toStdString();
    EXPECT_TRUE(output.contains(QLatin1String("[  PASSED  ] 1 test"))) << output.toStdString();
  }
}

TEST(WindowPlacementUnderAWindowManager, EveryFrameLiesWithinTheScreenAtEachSize) {
  // The screens run side by side, each with its own application.
  RunOnFramedScreens({{1600, 1000}, {1280, 800}, {3840, 1080}}, kChildFilter);
}

// Each window the application opens, the first time it opens in a fresh setting, and each sheet
// over its document window.
TEST(WindowPlacementUnderAWindowManager, EachWindowOpensWithinTheScreenAndEachSheetOverItsWindow) {
  RunOnFramedScreens({{1600, 1000}, {1280, 800}}, kFirstWindowsFilter);
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

// The window's frame once the window manager has framed it and the application has had its say:
// waited for until it lies where `settled` wants it, or the wait runs out.
QRect SettledFrame(QWidget* window, const std::function<bool(const QRect&)>& settled) {
  QRect frame;
  (void)QTest::qWaitFor(
      [&] {
        const QWindow* handle = window->windowHandle();
        if (!window->isVisible() || !handle || handle->frameMargins().isNull()) return false;
        frame = ManagedFrame(window);
        return !frame.isEmpty() && settled(frame);
      },
      kLongestWait);
  return window->isVisible() ? ManagedFrame(window) : QRect();
}

// The dialog shown on the window (a sheet), once one shows.
QDialog* ShownSheet(const QWidget* window) {
  QDialog* shown = nullptr;
  (void)QTest::qWaitFor(
      [&shown, window] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
          auto* dialog = qobject_cast<QDialog*>(top);
          if (dialog && dialog->isVisible() && dialog->parentWidget() && dialog->parentWidget()->window() == window)
            shown = dialog;
        }
        return shown != nullptr;
      },
      kLongestWait);
  return shown;
}

// A panel along the screen's bottom, as a desktop's task bar: the window manager keeps it out of
// the area the other windows may take.
std::unique_ptr<QWidget> BottomPanel(const QRect& screen, int height) {
  auto panel = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
  panel->setAttribute(Qt::WA_X11NetWmWindowTypeDock);
  panel->setGeometry(0, screen.height() - height, screen.width(), height);
  const QString id = QStringLiteral("0x%1").arg(panel->winId(), 0, 16);
  (void)Run(QStringLiteral("xprop"), {QStringLiteral("-id"), id, QStringLiteral("-f"), QStringLiteral("_NET_WM_STRUT_PARTIAL"),
                                     QStringLiteral("32c"), QStringLiteral("-set"), QStringLiteral("_NET_WM_STRUT_PARTIAL"),
                                     QStringLiteral("0,0,0,%1,0,0,0,0,0,0,0,%2").arg(height).arg(screen.width() - 1)});
  (void)Run(QStringLiteral("xprop"), {QStringLiteral("-id"), id, QStringLiteral("-f"), QStringLiteral("_NET_WM_STRUT"),
                                     QStringLiteral("32c"), QStringLiteral("-set"), QStringLiteral("_NET_WM_STRUT"),
                                     QStringLiteral("0,0,0,%1").arg(height)});
  panel->show();
  return panel;
}

TEST(FirstWindowsOnAFramedScreen, EachWindowLiesWithinTheScreenAndEachSheetOverItsWindow) {
  const QStringList size = QString::fromLocal8Bit(qgetenv(kScreenVariable)).split(QLatin1Char('x'));
  if (size.size() != 2) GTEST_SKIP() << "runs in a child process of WindowPlacementUnderAWindowManager";
  ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
  FLAlert::sharedInstance().setModalRunner([](const FLAlertRequest&, bool*) { return 0; });
  SetBundleResourceFolders({TestDataPath(QStringLiteral("../../resources"))});  // the help file
  ASSERT_NE(QGuiApplication::primaryScreen(), nullptr);
  const QRect screen(0, 0, size[0].toInt(), size[1].toInt());
  constexpr int kPanelHeight = 48;
  const std::unique_ptr<QWidget> panel = BottomPanel(screen, kPanelHeight);
  ASSERT_TRUE(QTest::qWaitFor(
      [screen] { return QGuiApplication::primaryScreen()->availableGeometry().height() == screen.height() - kPanelHeight; },
      kLongestWait))
      << "the window manager leaves " << Describe(QGuiApplication::primaryScreen()->availableGeometry()).toStdString();
  QTemporaryDir folder;
  TestAppController app(UserDefaults::standardUserDefaults());
  app.applicationWillFinishLaunching();
  app.applicationDidFinishLaunching();
  DeliverQueuedWork();
  CAWindowController* first = app.newest();
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(first->mainWindow(), kLongestWait));
  const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
  const auto within = [available](const QRect& frame) { return available.contains(frame); };

  // Each window as the user first opens it, with no frame of its own stored yet.
  const struct {
    const char* name;
    std::function<QWidget*()> open;
  } windows[] = {
      {"the help window",
       [] {
         FLGlimmetHelpWC::displayHelp(kFLHelpNotGiven);
         const std::vector<FLGlimmetHelpWC*> help = FLGlimmetHelpWC::helpWindows();
         return help.empty() ? nullptr : static_cast<QWidget*>(help.back()->window());
       }},
      {"the Programmer's Calculator",
       [] { return OpenCalculatorForMask(kProgrammerCalculatorMask, false, UserDefaults::standardUserDefaults()); }},
      {"the Calculator",
       [] { return OpenCalculatorForMask(kStandardCalculatorMask, false, UserDefaults::standardUserDefaults()); }},
      {"the Converter",
       [] { return OpenCalculatorForMask(kConverterCalculatorMask, false, UserDefaults::standardUserDefaults()); }},
      {"the settings",
       [&app, first]() -> QWidget* {
         auto* settings = first->mainWindow()->findChild<QAction*>(QStringLiteral("showPreferences:"));
         if (!settings) return nullptr;
         settings->trigger();
         return app.prefController()->window();
       }},
  };
  for (const auto& w : windows) {
    SCOPED_TRACE(w.name);
    QWidget* window = w.open();
    ASSERT_NE(window, nullptr);
    const QRect frame = SettledFrame(window, within);
    EXPECT_TRUE(!frame.isEmpty() && available.contains(frame))
        << "frame " << Describe(frame).toStdString() << " on " << Describe(available).toStdString();
    // Moved to the area's bottom right corner and then grown, as its contents may make it, it
    // is moved in again.
    const QMargins margins = window->windowHandle()->frameMargins();
    window->move(available.right() - frame.width() + 1 + margins.left(),
                 available.bottom() - frame.height() + 1 + margins.top());
    (void)SettledFrame(window, [&](const QRect& now) { return now.bottomRight() == available.bottomRight(); });
    window->resize(window->width() + 40, window->height() + 60);
    const QRect grown = SettledFrame(window, [&](const QRect& now) {
      return now.height() == frame.height() + 60 && available.contains(now);
    });
    EXPECT_TRUE(grown.height() == frame.height() + 60 && available.contains(grown))
        << "grown to " << Describe(grown).toStdString() << " on " << Describe(available).toStdString();
  }

  // The document's sheets lie over the document's window, wholly on the screen.
  QWidget* document = first->mainWindow();
  MakeKeyAndOrderFront(document);
  const QRect documentFrame = SettledFrame(document, within);
  ASSERT_FALSE(documentFrame.isEmpty());
  const auto overDocument = [&document, available](const QRect& frame) {
    return available.contains(frame) && ManagedFrame(document).contains(frame);
  };
  for (const char* action : {"sort:", "insertLink:"}) {
    SCOPED_TRACE(action);
    auto* command = document->findChild<QAction*>(QLatin1String(action));
    ASSERT_NE(command, nullptr);
    command->trigger();
    QDialog* sheet = ShownSheet(document);
    ASSERT_NE(sheet, nullptr);
    const QRect frame = SettledFrame(sheet, overDocument);
    EXPECT_TRUE(overDocument(frame)) << "sheet " << Describe(frame).toStdString() << " on the window at "
                                     << Describe(ManagedFrame(document)).toStdString();
    sheet->reject();
    ASSERT_TRUE(QTest::qWaitFor([sheet = QPointer<QDialog>(sheet)] { return !sheet || !sheet->isVisible(); },
                                kLongestWait));
  }
  // A protected document asks for its password over the window it opens in.
  const QString secret = folder.filePath(QStringLiteral("Secret.Numlet"));
  ASSERT_TRUE(CopyFolderFiles(TestDataPath(QStringLiteral("package/Protected.Numlet")), secret));
  ASSERT_TRUE(app.applicationOpenFile(secret));
  CAWindowController* opened = app.controllerFor(secret);
  ASSERT_NE(opened, nullptr);
  document = opened->mainWindow();
  auto* prompt = qobject_cast<FLPasswordVerifyDialog*>(ShownSheet(document));
  ASSERT_NE(prompt, nullptr);
  const QRect promptFrame = SettledFrame(prompt, overDocument);
  EXPECT_TRUE(overDocument(promptFrame)) << "password sheet " << Describe(promptFrame).toStdString()
                                         << " on the window at " << Describe(ManagedFrame(document)).toStdString();
  prompt->reject();
  FLAlert::sharedInstance().setModalRunner({});
}

}  // namespace
