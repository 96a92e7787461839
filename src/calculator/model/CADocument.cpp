#include "calculator/model/CADocument.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocumentWindow.h"
#include "calculator/model/CAPicture.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/model/caModelServices.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flFonts.h"
#include "framlet/foundation/flStringExtensions.h"
#include "platform/NotificationCenter.h"

namespace {

constexpr double kDefaultFontSize = 12.0;

}  // namespace

CADocument::CADocument() : guid_(guidString()) {
  const CAModelPreferences preferences = ModelPreferences();
  resetDefaultFormat();
  defaultDigitCount_ = preferences.defaultDigitCount;
  if (defaultDigitCount_ == 0) defaultDigitCount_ = kDefaultDigitCount;
  if (defaultDigitCount_ < 0) {
    defaultWidth_ = preferences.defaultWidth;
    if (defaultWidth_ == 0) defaultDigitCount_ = kDefaultDigitCount;
  }
  topMargin_ = bottomMargin_ = preferences.defaultYMargin;
  leftMargin_ = rightMargin_ = preferences.defaultXMargin;
  makeBackups_ = preferences.makeBackup;
  noPreview_ = !preferences.saveQuicklook;
  zoomValue_ = preferences.defaultZoom;
  setFont(preferences.defaultFont ? *preferences.defaultFont : UserFont(kDefaultFontSize));
}

CADocument::~CADocument() {
  prepareToClose();
  // Nothing may be posted later on behalf of a document that is gone.
  NotificationQueue::defaultQueue().dequeueNotificationsMatching(
      Notification{QString(), this, {}}, NotificationCoalescingOnSender);
  // Cells ask the window to forget their tooltips as they go; the window went first.
  rows_.clear();
}

void CADocument::prepareToClose() {
  controller_ = nullptr;
  FLDocument::prepareToClose();
}

bool CADocument::isLocked() const {
  return locked() || (!password_.isNull() && !passwordUnlocked_);
}

// ---------------------------------------------------------------------------------------------
// Selection

void CADocument::setSelectionRange(const GridRange& range) {
  if (controller_) controller_->redrawSelectionForDomain(kDomainCell);
  selectionRange_ = range;
  setActiveCellPoint(range.startPoint);
}

void CADocument::setSelectionPoint(const GridPoint& point) {
  setSelectionRange(GridRange{point, point});
}

void CADocument::setActiveCellPoint(const GridPoint& point) {
  const auto clamp = [](int64_t n) { return n < 0 || n == kGridWildcard ? 0 : n; };
  const GridPoint clamped{clamp(point.x), clamp(point.y)};
  if (!constrainText_) invalidateLongText(activeCellPoint_);
  activeCellTextSel_ = CATextRange{};
  if (controller_) controller_->redrawSelectionForDomain(kDomainCell);
  activeCellPoint_ = clamped;
  if (controller_) controller_->redrawSelectionForDomain(kDomainCell);
  if (!constrainText_) invalidateLongText(activeCellPoint_);
  notifyOfSelectionChange();
}

void CADocument::setTypingState(int32_t state, const CACell* cell, const QString& text) {
  bool formula;
  if (!text.isNull()) {
    formula = text.isEmpty() || text.startsWith(QLatin1Char('='));
  } else {
    const int32_t type = cell ? cell->valueType() : kValueNone;
    formula = type == kValueNone || type == kValueError || type == kValueFormula ||
              (type == kValueText && cell->formula().isEmpty());
  }
  typingState_ = formula ? state : 0;
}

CACell* CADocument::activeCell() const { return cellAtGridPoint(activeCellPoint_); }

int32_t CADocument::selectedDomain() const {
  switch (TypeOfRange(nullptr, selectionRange_)) {
    case kRangeColumns:
      return kDomainColumn;
    case kRangeRows:
      return kDomainRow;
    default:
      return kDomainCell;
  }
}

void CADocument::notifyOfSelectionChange() {
  ++colorChangeBlock_;
  NotificationCenter::defaultCenter().post(QLatin1String(kSelectionChangeNotification), this);
  const CAFormat* format = formatForDomain(selectedDomain());
  const bool hasColor = format && format->hasPropertyForMask(kFormatTextColor);
  SetColorPanelKolor(hasColor ? format->textKolor() : g_blackKolor);
  --colorChangeBlock_;
}

void CADocument::suppressColorChange(bool suppress) {
  if (suppress) {
    ++colorChangeBlock_;
  } else if (colorChangeBlock_ == 0) {
    LogAssert("Unmatched calls to suppressColorChange:", __func__, __FILE__, __LINE__);
  } else {
    --colorChangeBlock_;
  }
}
