// The document content pane of the format panel: cell padding, row stripes (interval and
// colour), text overlapping its neighbours, formulas shown or in red, and title row and column.
// Changes through one control fold into one "Document Format" step while it is current.
#pragma once

#include "calculator/controllers/CAFormatBaseVC.h"
#include "framlet/foundation/Kolor.h"
#include "framlet/shell/FLFavoriteColorDelegate.h"

#include <cstdint>

class CAColorWell;
class QCheckBox;
class QLineEdit;
class QSlider;
class QSpinBox;
class QToolButton;

// The stripe colour a document gets when stripes are turned on without one.
inline constexpr Kolor kDefaultStripeKolor = 0x64F8EFEF;

class CAFormatDocContentVC : public CAFormatBaseVC, public FLFavoriteColorDelegate {
  Q_OBJECT

 public:
  explicit CAFormatDocContentVC(QObject* parent = nullptr) : CAFormatBaseVC(parent) {}

  QSlider* leftRightSlider() const { return leftRightSlider_; }
  QLineEdit* leftRightField() const { return leftRightField_; }
  QSlider* topBottomSlider() const { return topBottomSlider_; }
  QLineEdit* topBottomField() const { return topBottomField_; }
  QCheckBox* stripeButton() const { return stripeButton_; }
  // The interval and its arrows in one box; 0 shows as an empty field.
  QSpinBox* stripeField() const { return stripeField_; }
  CAColorWell* colorSwatch() const { return colorSwatch_; }
  QToolButton* colorFavorites() const { return colorFavorites_; }
  QCheckBox* overlapButton() const { return overlapButton_; }
  QCheckBox* formulaButton() const { return formulaButton_; }
  QCheckBox* redFormulaButton() const { return redFormulaButton_; }
  QCheckBox* titleRowButton() const { return titleRowButton_; }
  QCheckBox* titleColumnButton() const { return titleColumnButton_; }

  void selectionChanged() override;
  void unitsChanged() override;

  // A padding from the slider or its field, to whole points.
  void setPaddingFromControl(QWidget* sender, QSlider* slider, QLineEdit* field);
  void toggleStripe(bool on);
  void setStripeInterval(int64_t interval);
  // The stripe colour; no colour turns stripes off but keeps the interval.
  void setKolor(Kolor kolor);
  void setStripeColor();
  void noColor();
  void toggleOverlap(bool on);
  void toggleFormulas(bool on);
  void toggleRedFormula(bool on);
  void toggleTitleRow(bool on);
  void toggleTitleColumn(bool on);
  // A "Document Format" step, folded into the current one for the same control.
  bool setUndoForControl(const QObject* control);

  Kolor kolorForPopup(QToolButton* popup) override;
  Kolor defaultKolorForPopup(QToolButton*) override { return kDefaultStripeKolor; }
  void changeKolor(Kolor kolor, QToolButton* popup) override;

 protected:
  QWidget* loadView() override;

 private:
  void showInterval(int64_t interval);
  void redrawDocument();

  QSlider* leftRightSlider_ = nullptr;
  QLineEdit* leftRightField_ = nullptr;
  QSlider* topBottomSlider_ = nullptr;
  QLineEdit* topBottomField_ = nullptr;
  QCheckBox* stripeButton_ = nullptr;
  QSpinBox* stripeField_ = nullptr;
  CAColorWell* colorSwatch_ = nullptr;
  QToolButton* colorFavorites_ = nullptr;
  QCheckBox* overlapButton_ = nullptr;
  QCheckBox* formulaButton_ = nullptr;
  QCheckBox* redFormulaButton_ = nullptr;
  QCheckBox* titleRowButton_ = nullptr;
  QCheckBox* titleColumnButton_ = nullptr;
  uint32_t undoID_ = kNoUndoID;
  const QObject* undoControl_ = nullptr;
  bool blockChanges_ = false;
};
