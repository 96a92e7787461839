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

#include <QTimer>

#include <algorithm>
#include <exception>
#include <new>
#include <type_traits>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

constexpr double kDefaultFontSize = 12.0;

// Moves the object to the heap and never frees it; the leak checker is told it is kept on
// purpose, with everything it reaches.
template <typename T>
void KeepUntilExit(T&& object) {
  [[maybe_unused]] auto* kept = new std::decay_t<T>(std::move(object));
#if defined(__SANITIZE_ADDRESS__)
  __lsan_ignore_object(kept);
#endif
}

// The closing notification's name, made with the first document: a document that closes as it
// is destroyed (a paste's read document let go while a failed allocation unwinds) posts it
// without making anything.
const QString& DocClosingName() {
  static const QString name = QString::fromLatin1(kDocClosingNotification);
  return name;
}

}  // namespace

CADocument::CADocument() : guid_(guidString()) {
  DocClosingName();
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
  lastEditTime_ = autosaveTime_ = ModelNow();

  NotificationCenter& center = NotificationCenter::defaultCenter();
  const auto observe = [&](const char* name, const void* object, std::function<void()> handler) {
    observers_.push_back(center.addObserver(QLatin1String(name), object,
                                            [handler = std::move(handler)](const Notification&) { handler(); }));
  };
  observe(kEvalNotification, this, [this] { evaluate(); });
  observe(kBumpTipsNotification, nullptr, [this] { bumpTooltipCounter(); });
  observe(kAutosaveNotification, nullptr, [this] { enableAutosave(); });
  observe(kApplicationWillTerminateNotification, nullptr, [this] { releaseAutoSave(); });
  observe(kApplicationDidResignActiveNotification, nullptr, [this] { sleep(); });
  observe(kWorkspaceWillSleepNotification, nullptr, [this] { sleep(); });
  enableAutosave();
}

// Takes no memory: a document may go while a failed allocation unwinds.
CADocument::~CADocument() {
  prepareToClose();
  // Nothing may be posted later on behalf of a document that is gone.
  NotificationQueue::defaultQueue().dequeueNotificationsMatching(
      Notification{QString(), this, {}}, NotificationCoalescingOnSender);
  if (keepCellsUntilExit_) {
    // Tooltips need no forgetting either: the window went first. Without the room to keep them,
    // they are freed as any document's are.
    try {
      KeepUntilExit(std::move(rows_));
      KeepUntilExit(std::move(references_));
      return;
    } catch (const std::bad_alloc&) {
    }
  }
  // Cells ask the window to forget their tooltips as they go; the window went first.
  rows_.clear();
}

void CADocument::prepareToClose() {
  observers_.clear();
  if (!closing_) {
    closing_ = true;
    // The post takes no memory of its own; an observer that runs out of some while it lets the
    // document go must not end the program from the destructor.
    try {
      NotificationCenter::defaultCenter().post(DocClosingName(), this);
    } catch (const std::bad_alloc&) {
    }
  }
  try {
    releaseAutoSave();
  } catch (const std::bad_alloc&) {
    // The autosave copy stays where it is; the next launch offers it.
    autosaveTimer_.reset();
  }
  controller_ = nullptr;
  FLDocument::prepareToClose();
}

bool CADocument::isLocked() const {
  return locked() || (!password_.isNull() && !passwordUnlocked_);
}

// ---------------------------------------------------------------------------------------------
// Selection

void CADocument::setSelectionRange(const GridRange& range) {
  if (selectionHolds_ > 0)
    selectionRedrawHeld_ = true;
  else if (controller_)
    controller_->redrawSelectionForDomain(kDomainCell);
  selectionRange_ = range;
  setActiveCellPoint(range.startPoint);
}

void CADocument::setSelectionPoint(const GridPoint& point) {
  setSelectionRange(GridRange{point, point});
}

void CADocument::setActiveCellPoint(const GridPoint& point) {
  // On the grid: no cell can be made (or typed into) past its last column or row.
  const auto clamp = [](int64_t n, int64_t last) { return n < 0 || n == kGridWildcard ? 0 : std::min(n, last); };
  const GridPoint clamped{clamp(point.x, LastGridColumn()), clamp(point.y, kLastGridRow)};
  if (!constrainText_) invalidateLongText(activeCellPoint_);
  activeCellTextSel_ = CATextRange{};
  const bool redraw = controller_ && selectionHolds_ == 0;
  if (redraw) controller_->redrawSelectionForDomain(kDomainCell);
  activeCellPoint_ = clamped;
  if (redraw) controller_->redrawSelectionForDomain(kDomainCell);
  if (selectionHolds_ > 0) selectionRedrawHeld_ = true;
  if (!constrainText_) invalidateLongText(activeCellPoint_);
  notifyOfSelectionChange();
}

bool CADocument::isCellSelected(const GridPoint& point) const {
  const int32_t type = TypeOfRange(nullptr, selectionRange_);
  const GridPoint& start = selectionRange_.startPoint;
  const GridPoint& end = selectionRange_.endPoint;
  const bool inX = type == kRangeRows || (point.x >= start.x && point.x <= end.x);
  const bool inY = type == kRangeColumns || (point.y >= start.y && point.y <= end.y);
  return inX && inY;
}

GridRange CADocument::selectionAdaptedToDomain(int32_t domain) const {
  const int32_t type = TypeOfRange(nullptr, selectionRange_);
  const GridPoint& active = activeCellPoint_;
  switch (domain) {
    case kDomainRow:
      if (type == kRangeRows) return selectionRange_;
      return GridRange{{kGridWildcard, active.y}, {kGridWildcard, active.y}};
    case kDomainColumn:
      if (type == kRangeColumns) return selectionRange_;
      return GridRange{{active.x, kGridWildcard}, {active.x, kGridWildcard}};
    case 0:
      return GridRange{active, active};
    default:
      return selectionRange_;
  }
}

// Only the selected lines count: one far cell elsewhere in the sheet does not stretch a
// whole-row command over millions of columns.
int32_t CADocument::normalSelection(GridRange* range) const {
  const int32_t type = TypeOfRange(range, selectionRange_);
  // Lines that hold nothing still get their first point.
  if (type == kRangeRows) range->endPoint.x = std::max(maximumX(*range), range->startPoint.x);
  if (type == kRangeColumns) range->endPoint.y = std::max(maximumY(*range), range->startPoint.y);
  return type;
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

CADocument::SelectionHold::SelectionHold(CADocument& document)
    : document_(document), unwinding_(std::uncaught_exceptions()) {
  ++document_.selectionHolds_;
}

CADocument::SelectionHold::~SelectionHold() noexcept(false) {
  CADocument& document = document_;
  if (--document.selectionHolds_ > 0) return;
  // A hold that ends as a failed command unwinds must not throw: the rollback tells the window.
  try {
    // Where the selection was and where it went: the whole view is redrawn once.
    if (std::exchange(document.selectionRedrawHeld_, false) && document.controller_)
      document.controller_->redrawSelectionForDomain(kDomainDocument);
    if (std::exchange(document.selectionChangeHeld_, false)) document.notifyOfSelectionChange();
  } catch (const std::exception& exception) {
    if (std::uncaught_exceptions() == unwinding_) throw;
    LogException(exception, QStringLiteral("The selection change could not be told"));
  }
}

void CADocument::notifyOfSelectionChange() {
  if (selectionHolds_ > 0) {
    selectionChangeHeld_ = true;
    return;
  }
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
