// The border pane of the format panel: line style, width and colour of the border of the formats of
// the panel's domain. The pane edits its own copy of the border and gives it to every format of the
// step's range.
#pragma once

#include "calculator/controllers/CAFormatBaseVC.h"
#include "calculator/model/CABorder.h"
#include "calculator/model/CAGridPoint.h"
#include "framlet/shell/FLFavoriteColorDelegate.h"
#include "framlet/shell/FLUndoManager.h"

#include <cstdint>

class CAColorWell;
class QButtonGroup;
class QLineEdit;
class QSlider;

// The widest border the slider offers, in points.
inline constexpr int kBorderSliderMaximum = 12;

class CAFormatBorderVC : public CAFormatBaseVC, public FLFavoriteColorDelegate {
  Q_OBJECT

 public:
  explicit CAFormatBorderVC(QObject* parent = nullptr) : CAFormatBaseVC(parent) {}

  // Column = line style, 0 none.
  QButtonGroup* styleMatrix() const { return styleMatrix_; }
  CAColorWell* colorSwatch() const { return colorSwatch_; }
  QToolButton* favorites() const { return favorites_; }
  QSlider* widthSlider() const { return widthSlider_; }  // points
  QLineEdit* widthField() const { return widthField_; }  // EMU through its measure formatter

  CABorder border() const { return border_; }
  void setBorder(const CABorder& border) { border_ = border.copy(); }

  void selectionChanged() override;
  // Each change is one "Border" step that later changes join while it is current.
  void setLineStyle(int style);
  // The width of the slider or the field.
  void setLineWidth(QWidget* sender);
  void setKolor(Kolor kolor);
  void noColor();

  Kolor kolorForPopup(QToolButton* popup) override;
  Kolor defaultKolorForPopup(QToolButton* popup) override;
  void changeKolor(Kolor kolor, QToolButton* popup) override;

 protected:
  QWidget* loadView() override;
  void viewDidLoad() override;

 private:
  // Keeps the range and domain of the step, and records it; false when refused. A change that
  // puts a border on makes the formats it lacks.
  bool setUndo(bool makesFormats);
  // Gives the pane's border to the formats of the step (or takes theirs away when `on` is false);
  // only a border creates missing rows, columns or cells.
  void applyBorder(bool on);
  // The pane's border in the controls, with colour reactions paused.
  void showBorder();
  // Shows the selection again when the format gained or lost its border; redraws.
  void checkTransition();

  QButtonGroup* styleMatrix_ = nullptr;
  CAColorWell* colorSwatch_ = nullptr;
  QToolButton* favorites_ = nullptr;
  QSlider* widthSlider_ = nullptr;
  QLineEdit* widthField_ = nullptr;
  CABorder border_;
  uint32_t undoID_ = kFLNoUndoID;
  GridRange contextRange_;
  int32_t contextDomain_ = 0;
  bool blockChanges_ = false;
  bool editingStarted_ = false;
  bool borderIsOn_ = false;
};
