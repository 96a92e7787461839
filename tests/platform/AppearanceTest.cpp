#include "platform/Appearance.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

namespace {

QPalette PaletteWith(QColor window, QColor highlight = QColor(0x30, 0x8C, 0xC6)) {
  QPalette palette = QGuiApplication::palette();
  palette.setColor(QPalette::Window, window);
  palette.setColor(QPalette::Highlight, highlight);
  return palette;
}

// Restores the application palette whatever the test did to it.
class PaletteGuard {
 public:
  PaletteGuard() : saved_(QGuiApplication::palette()) {}
  ~PaletteGuard() { QGuiApplication::setPalette(saved_); }

 private:
  QPalette saved_;
};

TEST(Appearance, DarkIsJudgedFromTheWindowColoursLightness) {
  struct { const char* window; bool dark; } cases[] = {
      {"#000000", true},  {"#FFFFFF", false}, {"#7F7F7F", true},  {"#808080", false},
      {"#2D2D30", true},  {"#ECECEC", false}, {"#0000A0", true},  {"#FFFF80", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Appearance::IsDarkPalette(PaletteWith(QColor(QString::fromLatin1(c.window)))), c.dark) << c.window;
}

TEST(Appearance, SignalsOncePerChangeBetweenLightAndDark) {
  PaletteGuard guard;
  Appearance& appearance = Appearance::sharedInstance();
  QGuiApplication::setPalette(PaletteWith(QColor("#ECECEC")));
  ASSERT_FALSE(appearance.isDark());

  std::vector<bool> signalled;
  QObject context;
  QObject::connect(&appearance, &Appearance::darkModeChanged, &context, [&](bool dark) {
    EXPECT_EQ(appearance.isDark(), dark);
    signalled.push_back(dark);
  });
  const QPalette palettes[] = {PaletteWith(QColor("#1E1E1E")), PaletteWith(QColor("#2D2D30")),
                               PaletteWith(QColor("#2D2D30"), QColor("#FF8800")), PaletteWith(QColor("#F0F0F0")),
                               PaletteWith(QColor("#FFFFFF"))};
  for (const QPalette& palette : palettes) QGuiApplication::setPalette(palette);
  EXPECT_EQ(signalled, (std::vector<bool>{true, false}));
}

TEST(Appearance, TintedTemplateTakesTheColourAndKeepsCoverage) {
  QImage image(3, 1, QImage::Format_ARGB32);
  image.setPixel(0, 0, qRgba(0, 0, 0, 255));
  image.setPixel(1, 0, qRgba(255, 255, 255, 128));
  image.setPixel(2, 0, qRgba(0, 0, 0, 0));
  QImage tinted = TintedTemplateImage(image, QColor(200, 0, 0)).convertToFormat(QImage::Format_ARGB32);
  EXPECT_EQ(tinted.pixel(0, 0), qRgba(200, 0, 0, 255));
  EXPECT_EQ(qAlpha(tinted.pixel(1, 0)), 128);
  EXPECT_NEAR(qRed(tinted.pixel(1, 0)), 200, 2);
  EXPECT_EQ(qGreen(tinted.pixel(1, 0)), 0);
  EXPECT_EQ(qAlpha(tinted.pixel(2, 0)), 0);
  EXPECT_TRUE(TintedTemplateImage(QImage(), Qt::red).isNull());
}

}  // namespace
