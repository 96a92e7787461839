#include "calculator/controllers/CACalculatorButton.h"

#include "calculator/controllers/CACalculatorButtonCell.h"
#include "calculator/controllers/caCalculatorPreferences.h"
#include "platform/Appearance.h"

#include <QPainter>
#include <QTimer>

namespace {

constexpr int kFlashMilliseconds = 100;

}  // namespace

CACalculatorButton::CACalculatorButton(const QString& title, bool isDigit, int code, QWidget* parent)
    : QPushButton(title, parent), isDigit_(isDigit), code_(code) {
  // The key view keeps the keyboard; clicking a key must not take it.
  setFocusPolicy(Qt::NoFocus);
  setAutoDefault(false);
}

QSize CACalculatorButton::sizeHint() const { return QSize(44, 30); }

void CACalculatorButton::flash() {
  setDown(true);
  repaint();
  QTimer::singleShot(kFlashMilliseconds, this, [this] { setDown(false); });
}

void CACalculatorButton::paintEvent(QPaintEvent* event) {
  const Kolor keyKolor = CalculatorPreferences().buttonKolor;
  if (!CACalculatorButtonCell::isChosenKolor(keyKolor)) {
    QPushButton::paintEvent(event);
    if (text().isEmpty()) {
      QPainter painter(this);
      CACalculatorButtonCell::drawEqualsSign(painter, rect(), Appearance::sharedInstance().isDark());
    }
    return;
  }
  QPainter painter(this);
  const CACalculatorKeyLook look = CACalculatorButtonCell::look(keyKolor, isDown(), isEnabled());
  CACalculatorButtonCell::drawInterior(painter, rect(), look, text(), font(), palette().color(QPalette::ButtonText));
}
