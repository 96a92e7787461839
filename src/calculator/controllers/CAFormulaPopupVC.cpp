#include "calculator/controllers/CAFormulaPopupVC.h"

#include "calculator/controllers/CAFormatVFormulaVC.h"
#include "calculator/model/CADocument.h"
#include "calculator/views/caViewNotifications.h"
#include "platform/NotificationCenter.h"

#include <QTreeWidget>

CAFormulaPopupVC::CAFormulaPopupVC(CADocument* document, QObject* parent)
    : FLPopoverBaseVC(parent), document_(document), outlineVC_(new CAFormulaOutlineVC(this)) {
  outlineVC_->setDocument(document_);
  outlineVC_->view()->setObjectName(QStringLiteral("FormulaPopup"));
  if (document_) document_->setFormulaPopupActive(true);
}

QTreeWidget* CAFormulaPopupVC::formulaOutline() const { return outlineVC_->formulaOutline(); }

void CAFormulaPopupVC::popoverWillClose(const std::optional<FLPopoverCloseEvent>& closingEvent) {
  // The list acts no more once the popover goes.
  outlineVC_->CAFormatBaseVC::domainChanged();
  if (document_) {
    // The cell takes the focus back once the closing is over.
    NotificationQueue::defaultQueue().enqueue(Notification{QLatin1String(kResetTypingNotification), document_, {}},
                                              PostingStyle::WhenIdle);
    document_->setFormulaPopupActive(false);
  }
  FLPopoverBaseVC::popoverWillClose(closingEvent);
}
