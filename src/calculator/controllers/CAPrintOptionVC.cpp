#include "calculator/controllers/CAPrintOptionVC.h"

#include "calculator/model/CADocument.h"

#include <QApplication>
#include <QCheckBox>
#include <QVBoxLayout>

namespace {

constexpr const char* kForceOnePage = "Force to one page";
constexpr const char* kFillPages = "Fill pages";

QString Tr(const char* text) { return QApplication::translate("CAPrintOptionVC", text); }
QString YesNo(bool on) { return on ? Tr("Yes") : Tr("No"); }

}  // namespace

CAPrintOptionVC::CAPrintOptionVC(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("PrintOptionsView"));
  setWindowTitle(Tr("Spreadsheet"));
  auto* layout = new QVBoxLayout(this);
  scaleButton_ = new QCheckBox(Tr(kForceOnePage), this);
  fillButton_ = new QCheckBox(Tr(kFillPages), this);
  layout->addWidget(scaleButton_);
  layout->addWidget(fillButton_);
  layout->addStretch(1);
  connect(scaleButton_, &QCheckBox::toggled, this, &CAPrintOptionVC::setScaleToFit);
  connect(fillButton_, &QCheckBox::toggled, this, &CAPrintOptionVC::setFillPages);
  // The fill box starts in the state that scale to fit gives it.
  setScaleToFit(scaleToFit_);
}

void CAPrintOptionVC::setDocument(CADocument* document) {
  document_ = document;
  if (!document) return;
  setFillPages(document->fillPages());
  setScaleToFit(document->scaleToFit());
}

void CAPrintOptionVC::setFillPages(bool on) {
  fillPages_ = on;
  if (document_) document_->setFillPages(on);
  if (fillButton_->isChecked() != on) fillButton_->setChecked(on);
  emit summaryItemsChanged();
}

void CAPrintOptionVC::setScaleToFit(bool on) {
  if (on && fillPages_) setFillPages(false);
  scaleToFit_ = on;
  if (document_) document_->setScaleToFit(on);
  if (scaleButton_->isChecked() != on) scaleButton_->setChecked(on);
  fillButton_->setEnabled(!on);
  emit summaryItemsChanged();
}

QList<QPair<QString, QString>> CAPrintOptionVC::localizedSummaryItems() const {
  return {{Tr(kForceOnePage), YesNo(scaleToFit_)}, {Tr(kFillPages), YesNo(fillPages_)}};
}
