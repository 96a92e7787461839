// A key of a calculator window: a push button carrying its function code or digit, drawn by
// CACalculatorButtonCell in the chosen key colour, which can be flashed when its character is typed.
#pragma once

#include <QPushButton>

class CACalculatorButton : public QPushButton {
  Q_OBJECT

 public:
  // A digit key (0-15, or the point) or a function key with its code. An empty title is the
  // equals key, drawn as a sign.
  CACalculatorButton(const QString& title, bool isDigit, int code, QWidget* parent = nullptr);

  bool isDigit() const { return isDigit_; }
  int code() const { return code_; }
  // Shows the key pressed for a tenth of a second.
  void flash();

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  bool isDigit_;
  int code_;
};
