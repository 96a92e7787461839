// The document text pane of the format panel: the default format's styles and alignment, and
// the document's font chosen through a font dialog.
#pragma once

#include "calculator/controllers/CAFormatBaseVC.h"

#include <QFont>
#include <QPointer>

#include <cstdint>
#include <optional>

class QButtonGroup;
class QCheckBox;
class QFontDialog;
class QLabel;

class CAFormatDocTextVC : public CAFormatBaseVC {
  Q_OBJECT

 public:
  explicit CAFormatDocTextVC(QObject* parent = nullptr) : CAFormatBaseVC(parent) {}
  ~CAFormatDocTextVC() override;

  QCheckBox* boldButton() const { return boldButton_; }
  QCheckBox* italicButton() const { return italicButton_; }
  QCheckBox* underlineButton() const { return underlineButton_; }
  QCheckBox* strikeButton() const { return strikeButton_; }
  // Segment 0 not set, 1 to 3 left, centre and right.
  QButtonGroup* alignmentControl() const { return alignmentControl_; }
  QLabel* fontDisplayField() const { return fontDisplayField_; }
  QFontDialog* fontPanel() const;

  void selectionChanged() override;
  void domainChanged() override;
  // A new "Document Format" step for the default format; false when refused.
  bool setFormatUndo();
  // One style of the default format from its box.
  void setStyle(uint64_t mask, bool on);
  void setAlignment(int segment);
  // Shows the font dialog with the document's font.
  void setFont();
  // What the font dialog's choice changes (family, style, size or effects) changes in the
  // document's font, as one "Font" step while the pane's step is current.
  void changeFont(const QFont& chosen);

 protected:
  QWidget* loadView() override;
  void viewDidLoad() override;

 private:
  void closeFontPanel();

  QCheckBox* boldButton_ = nullptr;
  QCheckBox* italicButton_ = nullptr;
  QCheckBox* underlineButton_ = nullptr;
  QCheckBox* strikeButton_ = nullptr;
  QButtonGroup* alignmentControl_ = nullptr;
  QLabel* fontDisplayField_ = nullptr;
  QPointer<QFontDialog> fontPanel_;
  std::optional<QFont> fontPanelFont_;  // what the font dialog shows, once shown
  uint32_t undoID_ = 0xFFFFFFFF;
};
