// The page set-up panel of a spreadsheet window: the paper and its orientation, which the
// document keeps in its print settings. It needs no printer, so it works where the system has
// none set up.
#pragma once

#include <QDialog>
#include <QPageLayout>

class QComboBox;
class QRadioButton;

class CAPageSetupPanel : public QDialog {
  Q_OBJECT

 public:
  CAPageSetupPanel(const QPageLayout& layout, QWidget* parent = nullptr);

  // The chosen paper and orientation, without margins (the document keeps its own).
  QPageLayout pageLayout() const;
  QComboBox* paperPopup() const { return paperPopup_; }
  QRadioButton* landscapeButton() const { return landscapeButton_; }

 private:
  QComboBox* paperPopup_ = nullptr;
  QRadioButton* portraitButton_ = nullptr;
  QRadioButton* landscapeButton_ = nullptr;
};
