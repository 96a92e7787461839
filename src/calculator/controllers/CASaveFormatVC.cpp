#include "calculator/controllers/CASaveFormatVC.h"

#include "calculator/controllers/CAPrefController.h"
#include "calculator/model/CAGridPoint.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>

CASaveFormatVC::CASaveFormatVC() {
  view_ = new QWidget;
  view_->setObjectName(QStringLiteral("SaveFormatView"));
  auto* layout = new QHBoxLayout(view_);
  layout->setContentsMargins(0, 0, 0, 0);
  saveValuesButton_ = new QCheckBox(QApplication::translate("CASaveFormatVC", "Save values only"), view_);
  saveValuesButton_->setObjectName(QStringLiteral("saveValuesButton"));
  layout->addWidget(saveValuesButton_);
  layout->addStretch(1);
  connect(saveValuesButton_, &QCheckBox::toggled, this, [this](bool on) {
    // Only the user's choice for the rich-text formats is the preference.
    if (preferences_ && saveValuesButton_->isEnabled()) preferences_->setValue(CABoolPreference::saveValues, on);
  });
  setPreferences(CAPrefController::sharedInstance());
}

CASaveFormatVC::~CASaveFormatVC() {
  // Never handed to a panel: still ours.
  if (view_ && !view_->parent()) delete view_.data();
}

void CASaveFormatVC::setPreferences(CAPrefController* preferences) {
  preferences_ = preferences;
  enableValuesOnly();
}

void CASaveFormatVC::enableValuesOnly() {
  if (!saveValuesButton_) return;
  const int32_t type = FileTypeForFile(QStringLiteral("untitled.") + selectedExtension());
  const bool richText = type == kFileTypeRtf || type == kFileTypeRtfd;
  saveValuesButton_->setEnabled(richText);
  const bool checked = richText ? preferences_ && preferences_->value(CABoolPreference::saveValues)
                                : type != kFileTypeNative;
  saveValuesButton_->setChecked(checked);
}
