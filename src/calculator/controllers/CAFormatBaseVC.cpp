#include "calculator/controllers/CAFormatBaseVC.h"

#include "calculator/controllers/CAPropertyController.h"
#include "calculator/controllers/CAWindowController.h"
#include "calculator/controllers/caPreferenceKeys.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/caUndoArchives.h"
#include "framlet/shell/FLUndoManager.h"
#include "platform/NotificationCenter.h"

#include <QTimer>

CAFormatBaseVC::~CAFormatBaseVC() { NotificationCenter::defaultCenter().removeObserver(this); }

CAWindowController* CAFormatBaseVC::windowController() const {
  return document_ ? dynamic_cast<CAWindowController*>(document_->controller()) : nullptr;
}

FLUndoManager* CAFormatBaseVC::undoManager() const {
  CAWindowController* controller = windowController();
  return controller ? controller->undoManager() : nullptr;
}

void CAFormatBaseVC::redrawSelection() {
  CAWindowController* controller = windowController();
  if (controller && propertyController_) controller->redrawSelectionForDomain(propertyController_->formatDomain());
}

int32_t CAFormatBaseVC::formatDomain() const {
  if (!document_) return kPanelCell;
  const int32_t domain = propertyController_ ? propertyController_->formatDomain() : int32_t(kPanelCell);
  return domain == kPanelCell ? document_->selectedDomain() : domain;
}

bool CAFormatBaseVC::setFormatValue(int64_t value, uint64_t mask) {
  CAWindowController* controller = windowController();
  if (!controller || document_->isLocked()) return false;
  const int32_t domain = formatDomain();
  bool recorded = false;
  controller->runCommand([&] {
    if (!controller->setPropertyUndo(mask, domain)) return;
    recorded = true;
    document_->setValue(value, mask, domain);
    controller->redrawSelectionForDomain(domain);
  });
  return recorded;
}

bool CAFormatBaseVC::recordFormatStep(uint32_t* undoID, int32_t descriptor, const GridRange& range,
                                      int32_t domain, bool makesFormats) {
  FLUndoManager* manager = undoManager();
  if (!manager || document_->isLocked()) return false;
  // A change the model would refuse records no step that undoes nothing.
  if (makesFormats && !document_->formatsFitCommandLimit(range, domain)) {
    WorkspaceBeep();
    return false;
  }
  if (*undoID == kFLNoUndoID || !manager->isUndoIDActive(*undoID)) *undoID = manager->newUndoID();
  return document_->setUndo(*undoID, kUndoActionFormats, descriptor, range, domain);
}

void CAFormatBaseVC::finishEdit() {
  // The window controller outlives the pane's event; a closed window takes the call with it.
  if (CAWindowController* controller = windowController()) {
    QTimer::singleShot(0, controller, [controller] { controller->focusCellView(); });
  }
}

bool CAFormatBaseVC::recordCellStep(uint32_t& undoID, int32_t descriptor) {
  FLUndoManager* undo = undoManager();
  if (!document_ || !undo) return false;
  if (undoID != kNoUndoID && undo->isUndoIDActive(undoID)) return true;
  if (document_->isLocked()) return false;
  undoID = undo->newUndoID();
  return document_->setCellUndoID(undoID, descriptor, kUndoRangeActiveCell);
}

void CAFormatBaseVC::domainChanged() {
  // A pane about to be discarded hears of the document no more.
  NotificationCenter::defaultCenter().removeObserver(this);
  document_ = nullptr;
  propertyController_ = nullptr;
}

void CAFormatBaseVC::viewDidLoad() {
  auto& center = NotificationCenter::defaultCenter();
  const void* document = document_;
  center.addObserver(this, QLatin1String(kSelectionChangeNotification), document,
                     [this](const Notification&) { selectionChanged(); });
  center.addObserver(this, QLatin1String(kUnitChangeNotification), nullptr,
                     [this](const Notification&) { unitsChanged(); });
  center.addObserver(this, QLatin1String(kDomainNotification), document,
                     [this](const Notification&) { domainChanged(); });
  center.addObserver(this, QLatin1String(kDocClosingNotification), document,
                     [this](const Notification&) { domainChanged(); });
  selectionChanged();
}
