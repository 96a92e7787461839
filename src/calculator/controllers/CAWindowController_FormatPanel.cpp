// The format panel beside the sheet: it slides in at the window's right edge, the sheet giving
// up the panel's width, and slides out again; the sheet's row lays both out once the slide ends.
#include "calculator/controllers/CAWindowController.h"

#include "calculator/controllers/CAColorWell.h"
#include "calculator/controllers/CAPropertyController.h"
#include "calculator/views/CAPropertyContainerView.h"
#include "framlet/shell/FLPropertyView.h"
#include "framlet/shell/FLSidePanelAnimation.h"
#include "framlet/shell/FLToolbarSegments.h"

#include <QHBoxLayout>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

constexpr int kFormatPanelWidth = 260;
constexpr int kSlideMilliseconds = 330;
constexpr int kDomainControlHeight = 24;
constexpr int kPanelMargin = 8;

// The panel's contents: the domain tabs across the top, the property view in a scroll area below.
struct CAFormatPanelUi {
  FLToolbarSegments* domainControl;
  FLPropertyView* propertyView;
};

CAFormatPanelUi BuildFormatPanel(CAPropertyContainerView* panel) {
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, kPanelMargin, 0, 0);
  layout->setSpacing(kPanelMargin);
  auto* domainControl = new FLToolbarSegments(panel);
  domainControl->setObjectName(QStringLiteral("domainControl"));
  domainControl->setFixedHeight(kDomainControlHeight);
  auto* tabRow = new QHBoxLayout;
  tabRow->setContentsMargins(kPanelMargin, 0, kPanelMargin, 0);
  tabRow->addWidget(domainControl);
  layout->addLayout(tabRow);
  auto* scroll = new QScrollArea(panel);
  scroll->setObjectName(QStringLiteral("propertyScrollView"));
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  auto* propertyView = new FLPropertyView;
  propertyView->setObjectName(QStringLiteral("propertyView"));
  scroll->setWidget(propertyView);
  layout->addWidget(scroll, 1);
  panel->setPropertyScrollView(scroll);
  return {domainControl, propertyView};
}

}  // namespace

void CAWindowController::showFormatPanel(bool show) {
  if (show == formatPanelShown_ || !scrollView_ || !sheetRowLayout_) return;
  // One slide at a time.
  for (const auto* running : findChildren<FLSidePanelAnimation*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (running->state() == QAbstractAnimation::Running) return;
  }
  if (!formatPanel_) {
    SetColorWellHooks({[](const QWidget* view) -> QWidget* { return CAColorWell::activeColorWell(view); },
                       [](QWidget* well) { static_cast<CAColorWell*>(well)->deactivate(); }});
    formatPanel_ = new CAPropertyContainerView(sheetRowLayout_->parentWidget());
    formatPanel_->setObjectName(QStringLiteral("formatPanel"));
    formatPanel_->setFixedWidth(kFormatPanelWidth);
    formatPanel_->hide();
    const CAFormatPanelUi ui = BuildFormatPanel(formatPanel_);
    propertyController_ = new CAPropertyController(this, ui.propertyView, ui.domainControl, formatPanel_);
    propertyController_->selectionChanged();  // the panes of the current selection
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
