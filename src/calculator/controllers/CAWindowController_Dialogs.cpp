// The window's commands that open a dialog: the find panel, the fill-series and link sheets and
// the sort dialog.
#include "calculator/controllers/CAWindowController.h"

#include "calculator/controllers/CAFillDialog.h"
#include "calculator/controllers/CALinkDialog.h"
#include "calculator/controllers/CASortDialog.h"

#include <QFontDialog>

namespace {

constexpr const char* kControllerProperty = "caWindowController";

}  // namespace

void CAWindowController::markWindow() {
  window_->setProperty(kControllerProperty, QVariant::fromValue(static_cast<QObject*>(this)));
}

QFontDialog* CAWindowController::fontPanel() const { return fontPanel_; }

CAWindowController* CAWindowController::controllerOfWindow(const QWidget* window) {
  if (!window) return nullptr;
  auto* controller = qobject_cast<CAWindowController*>(window->property(kControllerProperty).value<QObject*>());
  // Only the spreadsheet window itself, not a window made by a subclass.
  return controller && controller->metaObject() == &CAWindowController::staticMetaObject ? controller : nullptr;
}

void CAWindowController::fillAction(int64_t) {
  commitTyping();
  CAFillDialog::fillForDocument(*document_);
}

void CAWindowController::sortAction(int64_t) {
  commitTyping();
  CASortDialog::runSheetForWindow(*this);
}

void CAWindowController::insertLinkAction(int64_t) {
  commitTyping();
  CALinkDialog::runSheetForWindow(*this);
}

// A series needs more than one cell: whole columns, whole rows or a block.
bool CAWindowController::canFillSeries(int64_t, QAction*) const {
  if (document_->isLocked()) return false;
  const int32_t type = TypeOfRange(nullptr, document_->selectionRange());
  return type == kRangeColumns || type == kRangeRows || type == kRangeBlock || type == kRangeAbsoluteBlock;
}
