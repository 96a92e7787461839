#include "calculator/controllers/CACalculatorButtonCell.h"

#include "CalculatorTestSupport.h"
#include "calculator/controllers/CACalculatorButton.h"
#include "calculator/views/caCalculatorFunctions.h"

#include <QImage>

namespace {

TEST(CalculatorButtonCellTest, PressedAndDisabledShades) {
  struct Case {
    Kolor key;
    Kolor pressed;
    Kolor disabled;
  };
  const Case cases[] = {
      {0x64808080, 0x64404040, 0x64808080},  // greys halve when pressed and stay when disabled
      {0x32FFFFFF, 0x327F7F7F, 0x32FFFFFF},  // alpha kept
      {0x640000FF, MakeKolor(204, 0, 0), MakeKolor(54, 54, 54)},  // red: full saturation, 80 % value
      {0x64FF0000, MakeKolor(0, 0, 204), MakeKolor(18, 18, 18)},  // blue
      // 40 % saturation becomes 76 %; the value 200 becomes 160; luminance of (200, 160, 120)
      {MakeKolor(200, 160, 120), MakeKolor(160, 99, 38), MakeKolor(165, 165, 165)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CACalculatorButtonCell::pressedKolor(c.key), c.pressed) << std::hex << c.key;
    EXPECT_EQ(CACalculatorButtonCell::disabledKolor(c.key), c.disabled) << std::hex << c.key;
  }
}

TEST(CalculatorButtonCellTest, BordersAndLetteringFollowTheState) {
  const CACalculatorKeyLook light = CACalculatorButtonCell::look(0x64E0E0E0, false, true);
  EXPECT_EQ(light.border, kKeyBorderKolor);
  EXPECT_FALSE(light.dark);
  const CACalculatorKeyLook pressed = CACalculatorButtonCell::look(0x64A0A0A0, true, true);
  EXPECT_EQ(pressed.fill, 0x64505050u);
  EXPECT_TRUE(pressed.dark);  // a light key turns dark when pressed
  const CACalculatorKeyLook disabled = CACalculatorButtonCell::look(0x640000FF, false, false);
  EXPECT_EQ(disabled.border, kDisabledKeyBorderKolor);
  EXPECT_TRUE(disabled.dark);
  EXPECT_DOUBLE_EQ(CACalculatorButtonCell::brightness(kNoKolor), 1.0);
  EXPECT_FALSE(CACalculatorButtonCell::isChosenKolor(kNoKolor));
  EXPECT_FALSE(CACalculatorButtonCell::isChosenKolor(0x00FFFFFF));
  EXPECT_TRUE(CACalculatorButtonCell::isChosenKolor(0x01000000));
}

class CalculatorButtonPaintTest : public CalculatorTest {
 protected:
  QImage draw(CACalculatorButton& button) {
    button.resize(60, 40);
    return button.grab().toImage().convertToFormat(QImage::Format_RGB32);
  }
  static int countPixels(const QImage& image, QRgb color) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) count += (image.pixel(x, y) & 0xFFFFFF) == (color & 0xFFFFFF);
    }
    return count;
  }
};

TEST_F(CalculatorButtonPaintTest, AChosenColourFillsTheKeyInsideItsBorder) {
  SetCalculatorPreferences({.buttonKolor = MakeKolor(0x30, 0x60, 0x90)});
  CACalculatorButton button(QStringLiteral("7"), true, 7);
  const QImage image = draw(button);
  EXPECT_EQ(QColor(image.pixel(0, 0)), QColor(0xAB, 0xAB, 0xAB));
  EXPECT_EQ(QColor(image.pixel(4, 4)), QColor(0x30, 0x60, 0x90));
  EXPECT_GT(countPixels(image, qRgb(255, 255, 255)), 3);  // a dark key letters in white
}

TEST_F(CalculatorButtonPaintTest, TheEqualsKeyShowsTheSignForItsFill) {
  CACalculatorButton equals(QString(), false, kFunctionEquals);
  SetCalculatorPreferences({.buttonKolor = MakeKolor(0xF0, 0xF0, 0xF0)});
  EXPECT_EQ(countPixels(draw(equals), qRgb(255, 255, 255)), 0);
  SetCalculatorPreferences({.buttonKolor = MakeKolor(0x20, 0x20, 0x60)});
  EXPECT_GT(countPixels(draw(equals), qRgb(255, 255, 255)), 20);
  // Without a chosen colour the platform draws the key, and the sign still shows.
  SetCalculatorPreferences({});
  EXPECT_GT(countPixels(draw(equals), qRgb(0x20, 0x20, 0x20)), 20);
}

}  // namespace
