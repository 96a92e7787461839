// The document object's panes, drawing, scrolling and cursor.
#include "glimmet/layout/GMDocument.h"

#include "framlet/foundation/flBase.h"
#include "glimmet/layout/GMDraftView.h"
#include "glimmet/layout/gmDraft.h"
#include "glimmet/layout/gmLineFormat.h"
#include "glimmet/layout/gmLocate.h"
#include "glimmet/layout/gmSelection.h"
#include "glimmet/layout/gmViewNotifications.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmBookmarks.h"
#include "glimmet/storage/gmEdit.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmProperties.h"

#include <QPainter>
#include <QRectF>

#include <algorithm>
#include <cmath>

namespace {

constexpr int32_t kMaxLinesPerDelta = 40;
constexpr uint32_t kLocateAll = 7;

}  // namespace

Pane* GMDocument::paneForView(const GMDraftView* view) const {
  if (!glimmetDoc_ || !view) return nullptr;
  for (uint32_t i = 0; i < glimmetDoc_->paneCount && i < 2; ++i)
    if (glimmetDoc_->panes[i].view == static_cast<const GMPaneView*>(view)) return &glimmetDoc_->panes[i];
  return nullptr;
}

Pane* GMDocument::currentPane() const { return glimmetDoc_ ? CurrentPane(glimmetDoc_) : nullptr; }

GMDraftView* GMDocument::currentPaneView() const {
  Pane* pane = currentPane();
  return pane ? dynamic_cast<GMDraftView*>(pane->view) : nullptr;
}

void GMDocument::closeAllPanes() {
  if (glimmetDoc_) FreeAllPanes(glimmetDoc_);
}

bool GMDocument::addView(GMDraftView* view) {
  if (!glimmetDoc_ || !view) return false;
  if (paneForView(view)) return true;
  Pane* pane = nullptr;
  // The pane the loading made without a view takes the view, keeping its selection.
  if (glimmetDoc_->paneCount == 1 && !glimmetDoc_->panes[0].view) {
    pane = &glimmetDoc_->panes[0];
    glimmetDoc_->currentPane = 0;
    pane->view = view;
    pane->contentsKind = kPaneContentsPlain;
  } else {
    if (!SetupPane(glimmetDoc_, view)) return false;
    pane = CurrentPane(glimmetDoc_);
  }
  TrashDraft(glimmetDoc_, pane, true);
  return true;
}

QWidget* GMDocument::windowOf(GMDraftView* view) const { return view ? view->window() : nullptr; }

void GMDocument::focusView(GMDraftView* view) {
  if (!glimmetDoc_) return;
  for (uint32_t i = 0; i < glimmetDoc_->paneCount && i < 2; ++i)
    if (glimmetDoc_->panes[i].view == static_cast<GMPaneView*>(view)) return focusPane(i);
}

void GMDocument::focusPane(uint32_t index) {
  if (!glimmetDoc_) return;
  if (index >= 2) {
    LogAssert("Invalid pane index", __func__, __FILE__, __LINE__);
    index = 0;
  }
  if (index >= glimmetDoc_->paneCount) return;
  Pane* pane = &glimmetDoc_->panes[index];
  auto* view = dynamic_cast<GMDraftView*>(pane->view);
  if (view && !view->hasFocus()) view->setFocus(Qt::OtherFocusReason);
  glimmetDoc_->currentPane = index;
  pane->selShown = false;
  InvalidateSel(glimmetDoc_);
  NotificationCenter::defaultCenter().post(kGMBoundsToolNotification, windowOf(view));
}

void GMDocument::unfocusView(GMDraftView* view) {
  if (glimmetDoc_ && glimmetDoc_->paneCount > 0 && paneForView(view)) InvalidateSel(glimmetDoc_);
}

uint32_t GMDocument::paneRange(GMDraftView* view) const {
  Pane* pane = paneForView(view);
  if (!pane) return 0;
  DocRange range;
  GetPaneRange(glimmetDoc_, pane, &range);
  return range.first;
}

float GMDocument::leftPaneEdge(GMDraftView* view) const {
  Pane* pane = paneForView(view);
  return pane ? pane->sideMargin : 0.0f;
}

int64_t GMDocument::draftWidth(GMDraftView* view) const {
  Pane* pane = paneForView(view);
  return pane ? DraftWidth(glimmetDoc_, pane) : 0;
}

double GMDocument::maxDraftWidth(GMDraftView*) const {
  if (!glimmetDoc_ || glimmetDoc_->paperWidth == 0) return 612.0;
  const PropRecord& props = glimmetDoc_->docProps;
  return glimmetDoc_->paperWidth -
         double(props.get<int64_t>(DocField::left) + props.get<int64_t>(DocField::right)) / kEmuPerPoint;
}

bool GMDocument::draftFitsToWindow(GMDraftView* view) const {
  if (glimmetDoc_ && glimmetDoc_->fitToWindow) return true;
  Pane* pane = paneForView(view);
  return pane && pane->contentsKind == 2;
}

void GMDocument::trashDisplay(GMDraftView* view) {
  Pane* pane = paneForView(view);
  if (!pane) return;
  if (pane == CurrentPane(glimmetDoc_)) TurnOffSel(glimmetDoc_);
  if (pane->view) {
    TrashDraft(glimmetDoc_, pane, false);
  } else {
    const bool saved = glimmetDoc_->fullRedraw;
    glimmetDoc_->fullRedraw = true;
    InvalText({glimmetDoc_, BodyStart(glimmetDoc_), uint32_t(glimmetDoc_->totalLength)}, false);
    glimmetDoc_->fullRedraw = saved;
  }
}

void GMDocument::blinkInsertionPoint() {
  loading_ = false;
  Pane* pane = currentPane();
  if (!pane || locked_ || pane->frameIndex != kGMNone || pane->selFirst != pane->selLimit) return;
  ToggleSel(glimmetDoc_);
}

void GMDocument::hideInsertionPoint() {
  Pane* pane = currentPane();
  if (pane && pane->frameIndex == kGMNone && pane->selFirst == pane->selLimit) TurnOffSel(glimmetDoc_);
}

bool GMDocument::showingBounds() const {
  Pane* pane = currentPane();
  return pane && (pane->showBounds[0] || pane->showBounds[1]);
}

void GMDocument::toggleShowBounds() {
  Pane* pane = currentPane();
  if (!pane) return;
  const bool show = !showingBounds();
  pane->showBounds[0] = pane->showBounds[1] = show;
  TurnOffSel(glimmetDoc_);
  auto* view = dynamic_cast<GMDraftView*>(pane->view);
  NotificationCenter::defaultCenter().post(kGMBoundsToolNotification, windowOf(view));
  if (view) view->update();
}

bool GMDocument::showingMarks() const {
  Pane* pane = currentPane();
  return pane && pane->showInvisibles;
}

void GMDocument::toggleShowMarks() {
  Pane* pane = currentPane();
  if (!pane) return;
  pane->showInvisibles = !pane->showInvisibles;
  TurnOffSel(glimmetDoc_);
  auto* view = dynamic_cast<GMDraftView*>(pane->view);
  NotificationCenter::defaultCenter().post(kGMMarksToolNotification, windowOf(view));
  if (view) view->update();
}

uint32_t GMDocument::draftCpExtent(GMDraftView* view, uint32_t cp) const {
  Pane* pane = paneForView(view);
  if (!pane || pane->lines.empty()) return 0;
  const DraftLineTable& lines = pane->lines;
  const uint32_t count = lines.count();
  const uint32_t startLine = pane->partialOffset != 0 && count > 1 ? 1 : 0;
  uint32_t endLine = count;
  const DraftLine& lastLine = lines.at(count - 1);
  const bool dropped = count > 1 && lastLine.y + lastLine.height >= pane->view->bounds().height();
  if (dropped) --endLine;
  uint32_t start = lines.cpAt(startLine);
  if (startLine == 0 && !dropped && VisibleCpCore(glimmetDoc_, pane, cp, true) == start) start = cp;
  const uint32_t end = lines.cpAt(endLine);
  return end > start ? end - start : 0;
}

void GMDocument::scrollDraft(GMDraftView* view, int64_t position, int32_t unit, bool vertical) {
  Pane* pane = paneForView(view);
  if (!pane) return;
  if (!vertical) {
    TrashDraft(glimmetDoc_, pane, false);
    return;
  }
  if (unit == kScrollCp) {
    DocRange range;
    GetPaneRange(glimmetDoc_, pane, &range);
    position += range.first;
  }
  ScrollVertDraft(glimmetDoc_, pane, int32_t(std::clamp<int64_t>(position, INT32_MIN, INT32_MAX)), unit);
}

void GMDocument::scrollByPage(bool, GMDraftView*) { LogAssert("You must override this method", __func__, __FILE__, __LINE__); }

int32_t GMDocument::lineCountForDelta(double delta, GMDraftView* view) {
  Pane* pane = paneForView(view);
  if (!pane || delta == 0 || pane->keepFirstCp) return 1;
  const double distance = std::fabs(delta);
  if (pane->partialOffset != 0 && !pane->lines.empty()) {
    const float step = TallLinePartialScroll(glimmetDoc_, pane, pane->firstDraftCp, float(pane->lines.at(0).height));
    if (step <= 0) return 1;
    return std::clamp(int32_t(std::ceil(distance / step)), 1, kMaxLinesPerDelta);
  }
  DocRange range;
  GetPaneRange(glimmetDoc_, pane, &range);
  int32_t lines = 0;
  double total = 0;
  if (delta > 0) {
    const uint32_t top = VisibleCpCore(glimmetDoc_, pane, range.first, true);
    uint32_t cp = uint32_t(pane->firstDraftCp);
    LineFormat format;
    if (!InitFormatLine(glimmetDoc_, pane, &format, kFormatCollectRuns)) return 1;
    while (cp > top && total < distance && lines < kMaxLinesPerDelta) {
      ParaLineHeights heights;
      float paraTotal = 0;
      const uint32_t start = GetParaLineHeights(glimmetDoc_, pane, cp - 1, cp, &format, &paraTotal, &heights);
      if (start == kGMNone || heights.heights.empty()) break;
      for (size_t i = heights.heights.size(); i-- > 0 && total < distance && lines < kMaxLinesPerDelta;) {
        total += heights.heights[i];
        ++lines;
      }
      if (start >= cp) break;
      cp = start;
    }
    ReleaseLineFormat(&format);
  } else {
    if (pane->lines.empty()) CalculateLines(glimmetDoc_, pane, nullptr);
    for (uint32_t i = 0; i < pane->lines.count() && total < distance; ++i) {
      total += pane->lines.at(i).height;
      ++lines;
    }
  }
  return std::clamp(lines, 1, kMaxLinesPerDelta);
}

std::optional<GMCursor> GMDocument::setCursor(QPointF point, GMDraftView* view, LocatorRec* locator) {
  Pane* pane = paneForView(view);
  if (!pane || !locator) return std::nullopt;
  *locator = LocatorRec();
  locator->doc = glimmetDoc_;
  locator->pane = pane;
  locator->exact = true;
  LocatePointInDoc(point.x(), point.y(), locator, kLocateAll);
  if (locator->area == kAreaBelow) return GMCursor::IBeam;
  if (locator->area != kAreaText || locator->cp < 0) return GMCursor::Arrow;
  const uint32_t cp = uint32_t(locator->cp);
  auto insideCp = [&] { return PointInCpRect(*locator, cp, point.x(), point.y()); };
  KnotInfo knot;
  FetchKnot(glimmetDoc_, cp, &knot, 0);
  switch (knot.found() ? knot.type() : kKnotNone) {
    case kKnotCheckbox: return GMCursor::Arrow;
    case kKnotLink: return cp == knot.first && !insideCp() ? GMCursor::IBeam : GMCursor::PointingHand;
    case kKnotPicture:
    case kKnotTag: return insideCp() ? GMCursor::Arrow : GMCursor::IBeam;
    case kKnotRow: return locator->boundaryIndex >= 0 && !locked_ ? GMCursor::ResizeLeftRight : GMCursor::IBeam;
    case kKnotVar: return knot.entry.word == 7 || knot.entry.word == 15 ? GMCursor::PointingHand : GMCursor::IBeam;
    default: return locator->outsideRun || locator->generatedText ? GMCursor::Arrow : GMCursor::IBeam;
  }
}

void GMDocument::drawView(GMDraftView* view, QPainter& painter, const QRectF& dirty) {
  Pane* pane = paneForView(view);
  if (!pane) return;
  if (DeferStatus().count > 0) return;
  DrawDraft(glimmetDoc_, pane, painter, dirty, pane->printing, pane->keepFirstCp);
}
