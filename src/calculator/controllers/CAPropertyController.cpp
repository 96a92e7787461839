#include "calculator/controllers/CAPropertyController.h"

#include "calculator/controllers/CAFormatBaseVC.h"
#include "calculator/controllers/CAFormatBorderVC.h"
#include "calculator/controllers/CAFormatColorVC.h"
#include "calculator/controllers/CAFormatColumnVC.h"
#include "calculator/controllers/CAFormatDocContentVC.h"
#include "calculator/controllers/CAFormatDocFileVC.h"
#include "calculator/controllers/CAFormatDocPrintVC.h"
#include "calculator/controllers/CAFormatDocSizeVC.h"
#include "calculator/controllers/CAFormatDocTextVC.h"
#include "calculator/controllers/CAFormatNumberVC.h"
#include "calculator/controllers/CAFormatRowVC.h"
#include "calculator/controllers/CAFormatTextVC.h"
#include "calculator/controllers/CAFormatVFormulaVC.h"
#include "calculator/controllers/CAFormatVImageVC.h"
#include "calculator/controllers/CAFormatVLinkVC.h"
#include "calculator/controllers/CAFormatVNoteVC.h"
#include "calculator/controllers/CAFormatVStringVC.h"
#include "calculator/controllers/CAFormatVTypeVC.h"
#include "calculator/controllers/CAPrefController.h"
#include "calculator/controllers/CAWindowController.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/views/CACellView.h"
#include "framlet/foundation/flBase.h"
#include "framlet/shell/FLPropertyView.h"
#include "framlet/shell/FLToolbarSegments.h"
#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QHash>

const CAPaneDescriptor kCAPaneDescriptors[kCAPaneCount] = {
    {"CAFormatBorderVC", "FormatBorder", false, "Border"},
    {"CAFormatColorVC", "FormatColor", true, "Color"},
    {"CAFormatColumnVC", "FormatColumn", true, "Column"},
    {"CAFormatDocContentVC", "FormatDocContent", true, "Content"},
    {"CAFormatDocFileVC", "FormatDocFile", true, "File"},
    {"CAFormatDocPrintVC", "FormatDocPrint", false, "Print"},
    {"CAFormatDocSizeVC", "FormatDocSize", true, "Size"},
    {"CAFormatDocTextVC", "FormatDocText", true, "Text"},
    {"CAFormatVFormulaVC", "FormatFormula", true, "Functions"},
    {"CAFormatVImageVC", "FormatImage", true, "Image"},
    {"CAFormatVLinkVC", "FormatLink", true, "Link"},
    {"CAFormatVNoteVC", "FormatString", false, "Notes"},
    {"CAFormatNumberVC", "FormatNumber", true, "Number"},
    {"CAFormatRowVC", "FormatRow", true, "Row"},
    {"CAFormatVStringVC", "FormatString", true, "Value"},
    {"CAFormatTextVC", "FormatText", true, "Text"},
    {"CAFormatVTypeVC", "FormatType", true, "Type"},
};

namespace {

enum : int32_t {
  kPaneBorder = 0, kPaneColor = 1, kPaneColumn = 2, kPaneDocContent = 3, kPaneDocFile = 4, kPaneDocPrint = 5,
  kPaneDocSize = 6, kPaneDocText = 7, kPaneFormula = 8, kPaneImage = 9, kPaneLink = 10, kPaneNote = 11,
  kPaneNumber = 12, kPaneRow = 13, kPaneString = 14, kPaneText = 15, kPaneType = 16,
};

// The height of the empty stand-in for a pane whose class is missing.
constexpr int kMissingPaneHeight = 24;

QHash<QString, CAPropertyController::PaneFactory>& PaneClasses() {
  static QHash<QString, CAPropertyController::PaneFactory> classes;
  return classes;
}

// The panes built into the program; a registered class of the same name takes precedence.
CAFormatBaseVC* NewBuiltInPane(const QString& className) {
  if (className == QLatin1String("CAFormatNumberVC")) return new CAFormatNumberVC;
  if (className == QLatin1String("CAFormatTextVC")) return new CAFormatTextVC;
  if (className == QLatin1String("CAFormatVTypeVC")) return new CAFormatVTypeVC;
  if (className == QLatin1String("CAFormatVNoteVC")) return new CAFormatVNoteVC;
  if (className == QLatin1String("CAFormatColumnVC")) return new CAFormatColumnVC;
  if (className == QLatin1String("CAFormatRowVC")) return new CAFormatRowVC;
  if (className == QLatin1String("CAFormatDocSizeVC")) return new CAFormatDocSizeVC;
  if (className == QLatin1String("CAFormatDocTextVC")) return new CAFormatDocTextVC;
  if (className == QLatin1String("CAFormatDocFileVC")) return new CAFormatDocFileVC;
  if (className == QLatin1String("CAFormatColorVC")) return new CAFormatColorVC;
  if (className == QLatin1String("CAFormatBorderVC")) return new CAFormatBorderVC;
  if (className == QLatin1String("CAFormatVLinkVC")) return new CAFormatVLinkVC;
  if (className == QLatin1String("CAFormatVImageVC")) return new CAFormatVImageVC;
  if (className == QLatin1String("CAFormatVStringVC")) return new CAFormatVStringVC;
  if (className == QLatin1String("CAFormatDocContentVC")) return new CAFormatDocContentVC;
  if (className == QLatin1String("CAFormatDocPrintVC")) return new CAFormatDocPrintVC;
  if (className == QLatin1String("CAFormatVFormulaVC")) return new CAFormatVFormulaVC;
  return nullptr;
}

// The name of level 1 of the value domain; null for the types whose level 1 takes its pane's.
QString ValueLevelName(int32_t valueType) {
  switch (valueType) {
    case kValueDate:
      return QStringLiteral("Date");
    case kValueError:
    case kValueFormula:
      return QStringLiteral("Formula");
    case kValueText:
      return QStringLiteral("Text");
    case kValueCheckbox:
    case kValuePicture:
    case kValueLink:
      return QString();
    default:
      return QStringLiteral("Number");
  }
}

}  // namespace

std::vector<int32_t> ValuePanesForType(int32_t valueType) {
  switch (valueType) {
    case kValueCheckbox:
      return {kPaneType, kPaneNote};
    case kValueError:
    case kValueFormula:
      return {kPaneType, kPaneString, kPaneFormula, kPaneNote};
    case kValuePicture:
      return {kPaneType, kPaneImage, kPaneNote};
    case kValueLink:
      return {kPaneType, kPaneLink, kPaneNote};
    default:
      return {kPaneType, kPaneString, kPaneNote};
  }
}

std::vector<int32_t> FormatPanesForDomain(int32_t domain) {
  switch (domain) {
    case kPanelCell:
      return {kPaneNumber, kPaneText, kPaneColor, kPaneBorder};
    case kPanelColumn:
      return {kPaneColumn, kPaneNumber, kPaneText, kPaneColor, kPaneBorder};
    case kPanelRow:
      return {kPaneRow, kPaneNumber, kPaneText, kPaneColor, kPaneBorder};
    case kPanelDocument:
      return {kPaneDocFile, kPaneDocContent, kPaneDocSize, kPaneNumber, kPaneDocText, kPaneColor, kPaneDocPrint};
    default:
      return {};
  }
}

void CAPropertyController::registerPaneClass(const QString& className, PaneFactory factory) {
  PaneClasses().insert(className, std::move(factory));
}

void CAPropertyController::unregisterPaneClass(const QString& className) { PaneClasses().remove(className); }

CAPropertyController::CAPropertyController(CAWindowController* windowController, FLPropertyView* propertyView,
                                           FLToolbarSegments* domainControl, QObject* parent)
    : QObject(parent),
      document_(windowController ? windowController->document() : nullptr),
      windowController_(windowController),
      propertyView_(propertyView),
      domainControl_(domainControl) {
  if (propertyView_) propertyView_->setDelegate(this);
  if (domainControl_) {
    domainControl_->setSelectStyle(kFLSegmentsSingle);
    domainControl_->setDelegate(this);
    domainControl_->layoutTabs();
  }
  auto& center = NotificationCenter::defaultCenter();
  center.addObserver(this, QLatin1String(kSelectionChangeNotification), document_,
                     [this](const Notification&) { selectionChanged(); });
  center.addObserver(this, QLatin1String(kDocClosingNotification), document_,
                     [this](const Notification&) { shutDown(); });
  center.addObserver(this, QLatin1String(kDrasticChangeNotification), document_,
                     [this](const Notification&) { clearDomain(); });
}

CAPropertyController::~CAPropertyController() {
  NotificationCenter::defaultCenter().removeObserver(this);
  closeWindow();
  if (domainControl_ && domainControl_->delegate() == this) domainControl_->setDelegate(nullptr);
}

bool CAPropertyController::isDocumentLocked() const { return document_ && document_->isLocked(); }

int32_t CAPropertyController::viewIDForLevel(int64_t level) const {
  const std::vector<int32_t> panes = domain_ == kPanelValue ? ValuePanesForType(valueType_) : FormatPanesForDomain(domain_);
  return level >= 0 && level < int64_t(panes.size()) ? panes[size_t(level)] : -1;
}

// ---- Notifications --------------------------------------------------------------------------

void CAPropertyController::selectionChanged() {
  if (domainChanging_ || !document_) return;
  const CACell* cell = document_->activeCell();
  const int32_t valueType = cell ? cell->valueType() : int32_t(kValueNone);
  if (domain_ == kPanelNone) {
    domain_ = kPanelValue;
  } else if (domain_ >= kPanelColumn) {
    return;
  } else if (valueType == valueType_) {
    return;
  }
  valueType_ = valueType;
  if (domainControl_) domainControl_->setSelectedTab(domain_);
  tabWasSelected(domain_, domainControl_);
}

void CAPropertyController::shutDown() {
  if (document_) NotificationCenter::defaultCenter().post(QLatin1String(kDomainNotification), document_);
  document_ = nullptr;
}

void CAPropertyController::clearDomain() { domain_ = kPanelNone; }

void CAPropertyController::closeWindow() {
  if (propertyView_ && propertyView_->delegate() == this) propertyView_->setDelegate(nullptr);
}

// ---- The tabs -------------------------------------------------------------------------------

QVariantList CAPropertyController::tabsForSegments(FLToolbarSegments*) {
  static const QVariantList tabs = {QStringLiteral("Value"), QStringLiteral("Cell"), QStringLiteral("Col"),
                                    QStringLiteral("Row"), QStringLiteral("Doc")};
  return tabs;
}

void CAPropertyController::tabWasSelected(int64_t index, FLToolbarSegments*) {
  if (index < kPanelValue || index >= kPanelNone) return;
  domainChanging_ = true;
  // Editing in a pane ends before its pane goes.
  QWidget* focus = QApplication::focusWidget();
  if (focus && !qobject_cast<CACellView*>(focus) && propertyView_ && focus->window() == propertyView_->window()) {
    focus->clearFocus();
  }
  if (document_) NotificationCenter::defaultCenter().post(QLatin1String(kDomainNotification), document_);
  domain_ = int32_t(index);
  if (propertyView_) propertyView_->reloadProperties();
  if (document_) NotificationCenter::defaultCenter().post(QLatin1String(kSelectionChangeNotification), document_);
  domainChanging_ = false;
}

// ---- The levels -----------------------------------------------------------------------------

int64_t CAPropertyController::numberOfLevelsInPropertyView(FLPropertyView*) {
  if (!document_ || isDocumentLocked() || domain_ == kPanelNone) return 0;
  return int64_t(domain_ == kPanelValue ? ValuePanesForType(valueType_).size() : FormatPanesForDomain(domain_).size());
}

FLViewController* CAPropertyController::controllerForLevel(FLPropertyView*, int64_t level) {
  const int32_t viewID = viewIDForLevel(level);
  if (viewID < 0) return nullptr;
  const CAPaneDescriptor& descriptor = kCAPaneDescriptors[viewID];
  const QString className = QLatin1String(descriptor.className);
  const auto factory = PaneClasses().constFind(className);
  CAFormatBaseVC* pane = factory != PaneClasses().constEnd() && *factory ? (*factory)() : NewBuiltInPane(className);
  FLViewController* controller = nullptr;
  if (!pane) {
    LogAssert("Class not found", __func__, __FILE__, __LINE__);
    controller = new FLViewController;
    controller->view()->resize(0, kMissingPaneHeight);
  } else {
    pane->setDocument(document_);
    pane->setPropertyController(this);
    controller = pane;
  }
  QWidget* view = controller->view();
  view->setObjectName(QLatin1String(descriptor.interfaceName));
  if (view->toolTip().isEmpty()) view->setToolTip(QLatin1String(descriptor.title));
  return controller;
}

QString CAPropertyController::nameForLevel(FLPropertyView*, int64_t level) {
  if (domain_ == kPanelValue && level == 1) return ValueLevelName(valueType_);
  return QString();
}

QString CAPropertyController::emptyMessage() {
  return isDocumentLocked() ? QStringLiteral("Locked Document") : QString();
}

bool CAPropertyController::shouldOpenLevel(FLPropertyView*, int64_t level) {
  const int32_t viewID = viewIDForLevel(level);
  if (viewID < 0) return true;
  const QString name = QLatin1String(kCAPaneDescriptors[viewID].interfaceName);
  if (openStatus_.contains(name)) return openStatus_.value(name).toBool();
  if (const CAPrefController* preferences = CAPrefController::sharedInstance()) {
    if (preferences->formatOpenStatus().contains(name)) return preferences->formatOpenStatus().value(name).toBool();
  }
  return kCAPaneDescriptors[viewID].openByDefault;
}

void CAPropertyController::recordOpen(int64_t level, bool open) {
  const int32_t viewID = viewIDForLevel(level);
  if (viewID < 0) return;
  const QString name = QLatin1String(kCAPaneDescriptors[viewID].interfaceName);
  openStatus_.insert(name, open);
  if (CAPrefController* preferences = CAPrefController::sharedInstance()) {
    QVariantMap status = preferences->formatOpenStatus();
    status.insert(name, open);
    preferences->setFormatOpenStatus(status);
  }
}
