// The format panel beside the sheet: it slides in at the window's right edge, the sheet giving
// up the panel's width, and slides out again; the sheet's row lays both out once the slide ends.
#include "calculator/controllers/CAWindowController.h"

#include "calculator/views/CAPropertyContainerView.h"
#include "framlet/shell/FLSidePanelAnimation.h"

#include <QHBoxLayout>

namespace {

constexpr int kFormatPanelWidth = 260;
constexpr int kSlideMilliseconds = 330;

}  // namespace

void CAWindowController::showFormatPanel(bool show) {
  if (show == formatPanelShown_ || !scrollView_ || !sheetRowLayout_) return;
  // One slide at a time.
  for (const auto* running : findChildren<FLSidePanelAnimation*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (running->state() == QAbstractAnimation::Running) return;
  }
  if (!formatPanel_) {
    formatPanel_ = new CAPropertyContainerView(sheetRowLayout_->parentWidget());
    formatPanel_->setObjectName(QStringLiteral("formatPanel"));
    formatPanel_->setFixedWidth(kFormatPanelWidth);
    formatPanel_->hide();
  }
  formatPanelShown_ = show;
  // The slide places both views; the row takes over again at its end.
  sheetRowLayout_->setEnabled(false);
  sheetRowLayout_->removeWidget(formatPanel_);
  auto* slide = new FLSidePanelAnimation(kSlideMilliseconds, this);
  slide->setPanel(formatPanel_);
  slide->setDonor(scrollView_->parentWidget());  // the sheet with its labels
  slide->setRight(true);
  connect(slide, &QAbstractAnimation::finished, this, [this, slide, show] {
    slide->deleteLater();
    if (show && formatPanel_) sheetRowLayout_->addWidget(formatPanel_);
    if (!show && formatPanel_) formatPanel_->hide();
    sheetRowLayout_->setEnabled(true);
    sheetRowLayout_->invalidate();
    sheetRowLayout_->activate();
  });
  slide->startAnimation();
}

void CAWindowController::forceFormatPanelClosed() {
  formatPanelShown_ = false;
  for (auto* running : findChildren<FLSidePanelAnimation*>(QString(), Qt::FindDirectChildrenOnly)) {
    running->stop();
    running->deleteLater();
  }
  if (!formatPanel_ || !sheetRowLayout_) return;
  sheetRowLayout_->removeWidget(formatPanel_);
  formatPanel_->hide();
  sheetRowLayout_->setEnabled(true);
  sheetRowLayout_->invalidate();
  sheetRowLayout_->activate();
}
