// The document print pane of the format panel: page margins, the header offset, what the
// header and footer show at left, centre and right (with a sample of page 1 of 5), and whether
// grid lines and labels are printed.
#pragma once

#include "calculator/controllers/CAFormatBaseVC.h"
#include "calculator/model/CAGridPoint.h"

#include <array>
#include <cstdint>

class QCheckBox;
class QLabel;
class QLineEdit;
class QSlider;
class QToolButton;

// The header or footer template of the three variables: "l=p;c=f", positions at none left out;
// empty when all are none.
QString HeaderString(const HeaderVariables& variables);
// What a sample shows of a row's texts: left, tab, centre, tab, right; empty when all are.
QString HeaderSampleText(const std::array<QString, 3>& texts);

class CAFormatDocPrintVC : public CAFormatBaseVC {
  Q_OBJECT

 public:
  // The header row and the footer row of the pop-ups and samples.
  enum : int { kHeaderRow = 0, kFooterRow = 1 };
  // The pop-ups' tags: left, centre, right.
  static constexpr int kLeftTag = 100;

  explicit CAFormatDocPrintVC(QObject* parent = nullptr) : CAFormatBaseVC(parent) {}

  QLineEdit* leftField() const { return fields_[kLeftMargin]; }
  QLineEdit* rightField() const { return fields_[kRightMargin]; }
  QLineEdit* topField() const { return fields_[kTopMargin]; }
  QLineEdit* bottomField() const { return fields_[kBottomMargin]; }
  QLineEdit* offsetField() const { return fields_[kOffset]; }
  QSlider* leftSlider() const { return sliders_[kLeftMargin]; }
  QSlider* offsetSlider() const { return sliders_[kOffset]; }
  QCheckBox* gridLinesButton() const { return gridLinesButton_; }
  QCheckBox* labelsButton() const { return labelsButton_; }
  QLabel* headerSample() const { return samples_[kHeaderRow]; }
  QLabel* footerSample() const { return samples_[kFooterRow]; }
  // The pull-down of a row's position (0 left, 1 centre, 2 right).
  QToolButton* popup(int row, int position) const { return popups_[row][position]; }
  const HeaderVariables& variables(int row) const { return variables_[row]; }

  void selectionChanged() override;
  void unitsChanged() override;

  // A margin or the header offset from a slider or its field.
  void setMarginFromControl(QWidget* sender, QSlider* slider, QLineEdit* field);
  // The pull-down about to open checks the row's current variable.
  void menuWillOpen(QToolButton* popup);
  // The variable of a row's position (item index − 1 of its pull-down), as a "Header/Footer" step.
  void changeHeaderFooter(int row, int position, int32_t variable);
  QString headerString(int row) const { return HeaderString(variables_[row]); }
  void updateSample(int row);
  void toggleGridLines(bool on);
  void toggleLabels(bool on);

 protected:
  QWidget* loadView() override;
  void viewDidLoad() override;

 private:
  enum : int { kLeftMargin = 0, kRightMargin, kTopMargin, kBottomMargin, kOffset, kLengthCount };

  int64_t lengthOf(int index) const;
  // A step of the descriptor, folded into the current one while it is the control's.
  bool setUndo(const QObject* control, int32_t descriptor);

  std::array<QLineEdit*, kLengthCount> fields_{};
  std::array<QSlider*, kLengthCount> sliders_{};
  QCheckBox* gridLinesButton_ = nullptr;
  QCheckBox* labelsButton_ = nullptr;
  std::array<QLabel*, 2> samples_{};
  std::array<std::array<QToolButton*, 3>, 2> popups_{};
  std::array<HeaderVariables, 2> variables_{};
  uint32_t undoID_ = kNoUndoID;
  const QObject* undoControl_ = nullptr;
};
