#include "framlet/foundation/FLKernel.h"

#include "platform/Appearance.h"
#include "platform/NotificationCenter.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QPalette PaletteWithWindow(const char* color) {
  QPalette palette = QGuiApplication::palette();
  palette.setColor(QPalette::Window, QColor(QString::fromLatin1(color)));
  return palette;
}

TEST(FLKernel, AppearanceChangesSwapTheBackgroundsAndPostOncePerChange) {
  FLKernel::sharedInstance();
  const QPalette saved = QGuiApplication::palette();
  QGuiApplication::setPalette(PaletteWithWindow("#ECECEC"));
  ASSERT_FALSE(g_darkMode);

  struct Seen { bool dark; QColor panel, outline; bool operator==(const Seen&) const = default; };
  std::vector<Seen> posts;
  NotificationObserver token = NotificationCenter::defaultCenter().addObserver(
      kDarkModeNotification, nullptr,
      [&](const Notification& n) {
        EXPECT_EQ(n.object, nullptr);
        posts.push_back({g_darkMode, g_formatPanelBackground, g_outlineViewBackground});
      });

  for (const char* window : {"#1E1E1E", "#282828", "#F6F6F6"}) QGuiApplication::setPalette(PaletteWithWindow(window));
  QGuiApplication::setPalette(saved);

  ASSERT_GE(posts.size(), 2u);
  EXPECT_TRUE(posts[0] == (Seen{true, QColor(38, 38, 38), QColor(38, 38, 38)}));
  EXPECT_TRUE(posts[1] == (Seen{false, QColor(230, 230, 230), QColor(229, 236, 248)}));
  EXPECT_EQ(posts.size(), Appearance::IsDarkPalette(saved) ? 3u : 2u);
}

TEST(FLKernel, AdvancedUserMarkerIsLookedForInTheMakersSupportFolder) {
  QTemporaryDir scratch;
  const QByteArray previous = qgetenv("XDG_DATA_HOME");
  const QString dataHome = scratch.path() + "/not/yet/made";
  qputenv("XDG_DATA_HOME", dataHome.toUtf8());

  EXPECT_FALSE(FLKernel::advancedUserMarkerExists());
  EXPECT_TRUE(QDir(dataHome).exists());  // the support folder is made when missing

  QDir().mkpath(dataHome + "/Orvandel");
  const QString marker = dataHome + "/Orvandel/Orvandel Advanced User";
  ASSERT_TRUE(WriteFileBytes(marker));
  EXPECT_TRUE(FLKernel::advancedUserMarkerExists());

  // A file of that name elsewhere does not count.
  QFile::rename(marker, dataHome + "/Orvandel Advanced User");
  EXPECT_FALSE(FLKernel::advancedUserMarkerExists());
  qputenv("XDG_DATA_HOME", previous);
}

}  // namespace
