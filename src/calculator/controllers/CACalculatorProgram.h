// The programmer's calculator window: hexadecimal digits, Enter, bitwise and stack keys, the
// base chooser and the list of the stack's entries, over the programmer's engine.
#pragma once

#include "calculator/controllers/CACalculatorBase.h"
#include "framlet/shell/FLTeardownSilencer.h"

class CAProgrammerEngine;
class QComboBox;

class CACalculatorProgram : public CACalculatorBase {
  Q_OBJECT

 public:
  explicit CACalculatorProgram(UserDefaults& defaults, QWidget* parent = nullptr);

  CAProgrammerEngine& programmerEngine() const;
  QComboBox* stackButton() const { return stackButton_; }
  QComboBox* baseChooser() const { return baseChooser_; }
  // Item data: the word size in bits.
  QComboBox* wordSizeChooser() const { return wordSizeChooser_; }

  // Reads the base from the defaults and shows the numbers in it.
  void changeBase();
  // The integer word size preference changed (the chooser shows it).
  void setWordSize();
  // Rebuilds the stack list: its title, then the entries, top first.
  void updateStackPopup();
  // The list's item (1 for the top entry) comes to the top of the stack.
  void recall(int index);

 protected:
  void decimalDigitsChanged() override;

 private:
  void enableDigitKeys();
  void showWordSize();

  UserDefaults& defaults_;
  QComboBox* stackButton_ = nullptr;
  QComboBox* baseChooser_ = nullptr;
  QComboBox* wordSizeChooser_ = nullptr;
  // Last: its children signal nothing into this once it starts to go.
  FLTeardownSilencer teardownSilencer_{this};
};
