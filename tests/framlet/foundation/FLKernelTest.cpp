#include "framlet/foundation/FLKernel.h"

#include "framlet/foundation/flBase.h"
#include "platform/Appearance.h"
#include "platform/NotificationCenter.h"

#include <QCalendar>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QWhatsThis>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

class CountingDelegate : public FLApplicationDelegate {
 public:
  bool showNonContextualHelp() override {
    ++helpRequests;
    return true;
  }
  int helpRequests = 0;
};

CountingDelegate g_delegate;
// Registered before main, as the shell's delegate registers itself before it makes the kernel.
[[maybe_unused]] const bool g_delegateRegistered = (SetApplicationDelegate(&g_delegate), true);

void RunEventLoop(int milliseconds = 20) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

QPalette PaletteWithWindow(const char* color) {
  QPalette palette = QGuiApplication::palette();
  palette.setColor(QPalette::Window, QColor(QString::fromLatin1(color)));
  return palette;
}

TEST(FLKernel, SharedInstanceIsOneObjectThatFillsTheGlobals) {
  FLKernel& kernel = FLKernel::sharedInstance();
  EXPECT_EQ(&kernel, &FLKernel::sharedInstance());

  EXPECT_EQ(g_systemVersion, 0x1A0000u);
  EXPECT_EQ(g_systemVersion, EncodeDottedVersionNumber("26.0"));
  EXPECT_FALSE(g_systemVersionString.isEmpty());
  EXPECT_EQ(g_appName, QCoreApplication::applicationName());
  EXPECT_EQ(g_appVersionString, QCoreApplication::applicationVersion());
  EXPECT_FALSE(g_bootVolumeName.isEmpty());
  ASSERT_NE(g_calendar, nullptr);
  EXPECT_TRUE(g_calendar->isGregorian());
  EXPECT_EQ(g_genericColorSpace, QColorSpace(QColorSpace::SRgb));
  EXPECT_TRUE(g_formatPanelBackground.isValid());
  EXPECT_TRUE(g_outlineViewBackground.isValid());
  EXPECT_GT(g_systemFont.pointSizeF(), 0);
  EXPECT_GT(g_smallSystemFont.pointSizeF(), 0);
  EXPECT_LT(g_smallSystemFont.pointSizeF(), g_systemFont.pointSizeF());
}

TEST(FLKernel, AppearanceChangesSwapTheBackgroundsAndPostOncePerChange) {
  FLKernel::sharedInstance();
  const QPalette saved = QGuiApplication::palette();
  QGuiApplication::setPalette(PaletteWithWindow("#ECECEC"));
  ASSERT_FALSE(g_darkMode);

  struct Seen {
    bool dark;
    QColor panel;
    QColor outline;
  };
  std::vector<Seen> posts;
  NotificationObserver token = NotificationCenter::defaultCenter().addObserver(
      kDarkModeNotification, nullptr,
      [&](const Notification& n) {
        EXPECT_EQ(n.object, nullptr);
        posts.push_back({g_darkMode, g_formatPanelBackground, g_outlineViewBackground});
      });

  QGuiApplication::setPalette(PaletteWithWindow("#1E1E1E"));
  QGuiApplication::setPalette(PaletteWithWindow("#282828"));
  QGuiApplication::setPalette(PaletteWithWindow("#F6F6F6"));
  QGuiApplication::setPalette(saved);

  ASSERT_GE(posts.size(), 2u);
  EXPECT_TRUE(posts[0].dark);
  EXPECT_EQ(posts[0].panel, QColor(38, 38, 38));
  EXPECT_EQ(posts[0].outline, QColor(38, 38, 38));
  EXPECT_FALSE(posts[1].dark);
  EXPECT_EQ(posts[1].panel, QColor(230, 230, 230));
  EXPECT_EQ(posts[1].outline, QColor(229, 236, 248));
  EXPECT_EQ(posts.size(), Appearance::IsDarkPalette(saved) ? 3u : 2u);
}

TEST(FLKernel, ToolTemplatesAreTheNineteenToolImages) {
  FLKernel& kernel = FLKernel::sharedInstance();
  kernel.loadToolTemplates();
  for (const char* name : kToolTemplateImageNames) EXPECT_TRUE(kernel.isTemplateImage(name)) << name;
  EXPECT_FALSE(kernel.isTemplateImage("SearchField"));
  EXPECT_FALSE(kernel.isTemplateImage("undotool"));
}

TEST(FLKernel, AdvancedUserMarkerIsLookedForInTheMakersSupportFolder) {
  QTemporaryDir scratch;
  const QByteArray previous = qgetenv("XDG_DATA_HOME");
  const QString dataHome = scratch.path() + "/not/yet/made";
  qputenv("XDG_DATA_HOME", dataHome.toUtf8());

  EXPECT_FALSE(FLKernel::advancedUserMarkerExists());
  EXPECT_TRUE(QDir(dataHome).exists());  // the support folder is made when missing

  QDir().mkpath(dataHome + "/Orvandel");
  QFile marker(dataHome + "/Orvandel/Orvandel Advanced User");
  ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
  marker.close();
  EXPECT_TRUE(FLKernel::advancedUserMarkerExists());

  // A file of that name elsewhere does not count.
  QFile::rename(marker.fileName(), dataHome + "/Orvandel Advanced User");
  EXPECT_FALSE(FLKernel::advancedUserMarkerExists());
  qputenv("XDG_DATA_HOME", previous);
}

TEST(FLKernel, WhatsThisModeIsLeftAndTheOrdinaryHelpOpens) {
  FLKernel& kernel = FLKernel::sharedInstance();
  if (kernel.appDelegate() != &g_delegate) GTEST_SKIP() << "another test made the kernel first";
  // Two windows hear that the mode began; help opens once.
  QWidget first;
  QWidget second;
  const int before = g_delegate.helpRequests;
  QWhatsThis::enterWhatsThisMode();
  RunEventLoop();
  EXPECT_FALSE(QWhatsThis::inWhatsThisMode());
  EXPECT_EQ(g_delegate.helpRequests, before + 1);
}

}  // namespace
