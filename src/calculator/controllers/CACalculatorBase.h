// What the standard and programmer's calculator windows share: the display, the key view that
// holds the keyboard, the keys on their background, the options page (decimal digits and
// colours), copy and paste, and saving the stack when the window closes or the application
// quits. The arithmetic lives in the window's CACalculatorEngine.
#pragma once

#include "calculator/controllers/CACalculatorEngine.h"
#include "calculator/views/CAKeyEaterView.h"
#include "framlet/foundation/Kolor.h"

#include <QList>
#include <QWidget>

#include <memory>

class CACalculatorButton;
class QAction;
class QGridLayout;
class QLineEdit;
class QSpinBox;
class QStackedWidget;
class UserDefaults;

class CACalculatorBase : public QWidget, public CACalculatorKeyTarget {
  Q_OBJECT

 public:
  ~CACalculatorBase() override;

  CACalculatorEngine& engine() const { return *engine_; }
  QLineEdit* accumulatorField() const { return accumulatorField_; }
  CAKeyEaterView* keyEaterView() const { return keyEaterView_; }
  QWidget* backgroundView() const { return backgroundView_; }
  const QList<CACalculatorButton*>& keys() const { return keys_; }
  CACalculatorButton* buttonForDigit(int digit) const;
  CACalculatorButton* buttonForFunction(int code) const;

  // ---- CACalculatorKeyTarget
  bool executeFunction(int code, bool flash) override;
  bool handleCharacter(char16_t character) override;
  bool entersOnReturn() const override { return engine_->entersOnReturn(); }

  // ---- Commands
  void copy();
  void paste();
  bool canPaste() const;
  void toggleOptions();
  bool showingOptions() const;
  // The decimal digits changed here: the display follows and the other calculators are told.
  void changeFloatDigits(int64_t digits);
  void changeBackColor(Kolor kolor);
  void changeButtonColor(Kolor kolor);
  void resetColor();
  void redrawButtons();
  void saveCalculatorInfo();

 protected:
  CACalculatorBase(std::unique_ptr<CACalculatorEngine> engine, UserDefaults& defaults, QWidget* parent);
  // Builds the window; subclasses first add their keys with addKey, then call this.
  void finishSetup(QWidget* keysAbove = nullptr);
  CACalculatorButton* addKey(QGridLayout* grid, const QString& title, bool isDigit, int code, int row, int column,
                             int rowSpan = 1, int columnSpan = 1);
  // Another window changed the digits: show the numbers again.
  virtual void decimalDigitsChanged();
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;

  QGridLayout* keyGrid_ = nullptr;
  // The help chapter of the calculator; its Help button opens it.
  int64_t helpTopic_ = 0;

 private:
  void updateBackground();
  void chooseColor(bool forKeys);

  std::unique_ptr<CACalculatorEngine> engine_;
  UserDefaults& defaults_;
  QLineEdit* accumulatorField_ = nullptr;
  QStackedWidget* tabView_ = nullptr;
  CAKeyEaterView* keyEaterView_ = nullptr;
  QWidget* backgroundView_ = nullptr;
  QSpinBox* digitsField_ = nullptr;
  QAction* pasteAction_ = nullptr;
  QList<CACalculatorButton*> keys_;
};
