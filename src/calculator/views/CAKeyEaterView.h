// The invisible view that holds the keyboard in a calculator window: it turns Return, Delete,
// Escape, Clear and the arrows into calculator functions and every other typed character into
// a calculator key, for the window it serves.
#pragma once

#include <QWidget>

#include <cstdint>
#include <optional>

// What the key view asks of its calculator window.
class CACalculatorKeyTarget {
 public:
  virtual ~CACalculatorKeyTarget() = default;
  // Runs a function code, flashing its key; false when refused.
  virtual bool executeFunction(int code, bool flash) = 0;
  // A typed character; false when refused (the window has beeped).
  virtual bool handleCharacter(char16_t character) = 0;
  // Return and keypad Enter enter the typed number (the programmer's calculator).
  virtual bool entersOnReturn() const = 0;
};

class CAKeyEaterView : public QWidget {
  Q_OBJECT

 public:
  explicit CAKeyEaterView(CACalculatorKeyTarget* target, QWidget* parent = nullptr);

  // Typed or pasted text: each character in turn, stopping at the first that is refused.
  void insertText(const QString& text);
  // The function code of a key code, or none when the key is typing (or, with *dropped, ignored).
  static std::optional<int> functionForKey(uint16_t keyCode, bool entersOnReturn, bool* dropped);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;

 private:
  CACalculatorKeyTarget* target_;
};
