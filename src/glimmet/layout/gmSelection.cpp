#include "glimmet/layout/gmSelection.h"

#include "framlet/foundation/flBase.h"
#include "glimmet/layout/gmDraft.h"
#include "glimmet/layout/gmLineFormat.h"
#include "glimmet/layout/gmSelectKeys.h"
#include "glimmet/layout/gmViewNotifications.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmEdit.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmProperties.h"
#include "glimmet/storage/gmTables.h"
#include "platform/NotificationCenter.h"

#include <algorithm>
#include <memory>
#include <unordered_map>

namespace {

struct TrackingState {
  std::unique_ptr<SelectionTrackRec> record;
  bool tracking = false;
};

std::unordered_map<const GlimmetDoc*, TrackingState>& TrackingStates() {
  static std::unordered_map<const GlimmetDoc*, TrackingState> states;
  return states;
}

bool IsDisplayed(GlimmetDoc* doc, Pane* pane) { return doc && doc->owner && pane && pane->view; }

bool DisplayDeferred() { return DeferStatus().count > 0; }

bool IsCaret(const Pane* pane) { return pane->selFirst == pane->selLimit && pane->frameIndex == kGMNone; }

bool IsVisibleCp(GlimmetDoc* doc, Pane* pane, uint32_t cp) { return VisibleCpCore(doc, pane, cp, true) == cp; }

// The bookmark or tag knot that holds cp strictly inside it.
bool InsideBookmarkOrTag(GlimmetDoc* doc, uint32_t cp, KnotInfo* info) {
  for (uint32_t type : {kKnotBookmark, kKnotTag}) {
    DocRange range;
    if (CpIsWithinKnot(doc, cp, type, &range, false) && range.first < cp && cp < range.limit) {
      info->first = range.first;
      info->limit = range.limit;
      return true;
    }
  }
  return false;
}

void MarkLine(Pane* pane, const DraftLine& line) {
  pane->view->setNeedsDisplay(QRectF(0, line.y, std::max(pane->view->bounds().width(), line.x + line.width),
                                     line.height));
}

}  // namespace

SelectionTrackRec* SelectionTracking(GlimmetDoc* doc) {
  auto found = TrackingStates().find(doc);
  return found == TrackingStates().end() ? nullptr : found->second.record.get();
}

SelectionTrackRec* NewSelectionTracking(GlimmetDoc* doc) {
  if (!doc) return nullptr;
  TrackingState& state = TrackingStates()[doc];
  state.record = std::make_unique<SelectionTrackRec>();
  return state.record.get();
}

void FreeSelectionTracking(GlimmetDoc* doc) {
  auto found = TrackingStates().find(doc);
  if (found != TrackingStates().end()) found->second.record.reset();
}

bool IsTrackingSelection(GlimmetDoc* doc) {
  auto found = TrackingStates().find(doc);
  return found != TrackingStates().end() && found->second.tracking;
}

void SetTrackingSelection(GlimmetDoc* doc, bool tracking) {
  if (!doc) return;
  if (tracking)
    TrackingStates()[doc].tracking = true;
  else if (auto found = TrackingStates().find(doc); found != TrackingStates().end())
    found->second.tracking = false;
}

void ForgetSelectionTracking(GlimmetDoc* doc) { TrackingStates().erase(doc); }

uint32_t PaneSelectionLimit(GlimmetDoc* doc, Pane* pane) {
  DocRange range;
  GetPaneRange(doc, pane, &range);
  const bool draftFit = pane->contentsKind == 2 || pane->contentsKind == 3;
  return draftFit && range.limit > range.first ? range.limit - 1 : range.limit;
}

uint32_t PaneLastCp(GlimmetDoc* doc, Pane* pane) {
  const uint32_t limit = PaneSelectionLimit(doc, pane);
  DocRange range;
  GetPaneRange(doc, pane, &range);
  return limit > range.first ? limit - 1 : range.first;
}

void StartSelection(GlimmetDoc* doc, uint32_t first, uint32_t limit) {
  Pane* pane = CurrentPane(doc);
  if (!pane) return;
  TurnOffSel(doc);
  const uint32_t paneLimit = PaneSelectionLimit(doc, pane);
  pane->frameIndex = kGMNone;
  pane->cellFirst = pane->cellLimit = -1;
  pane->selShown = false;
  pane->activeEnd = kActiveNone;
  if (paneLimit > 0) first = std::min(first, paneLimit - 1);
  first = VisibleCpCore(doc, pane, first, true);
  limit = std::max(std::min(limit, paneLimit), first);
  if (limit > first && !IsVisibleCp(doc, pane, limit - 1)) {
    const uint32_t before = VisibleCpCore(doc, pane, limit - 1, false);
    limit = std::max(first, before + 1);
  }
  if (first > paneLimit) LogAssert("firstCp beyond pane end", __func__, __FILE__, __LINE__);
  if (limit > paneLimit) LogAssert("limitCp beyond pane end", __func__, __FILE__, __LINE__);
  pane->selFirst = int32_t(first);
  pane->selLimit = int32_t(limit);
  pane->caretX = -1.0f;
  if (pane->prevFirst == kGMNone) pane->prevFirst = first;
  if (first == limit) SetInsertionPropsFromText(doc, pane);
}

void SelectCpsCore(GlimmetDoc* doc, uint32_t first, uint32_t limit, bool show, bool afterLineEnd) {
  Pane* pane = CurrentPane(doc);
  if (!pane) return;
  if (limit >= uint32_t(doc->totalLength) && doc->totalLength > 0) limit = uint32_t(doc->totalLength) - 1;
  limit = std::max(limit, first);
  // A range over the inside of a list takes the whole list.
  DocRange list;
  if (limit > first && CpIsWithinKnot(doc, first, kKnotList, &list, false) && first == list.first + 1 &&
      limit + 1 >= list.limit) {
    first = list.first;
    limit = std::max(limit, list.limit);
  } else if (limit > first && CpIsWithinKnot(doc, limit - 1, kKnotList, &list, false) && first <= list.first &&
             limit >= list.limit) {
    limit = list.limit;
  }
  pane->prevFirst = uint32_t(pane->selFirst);
  StartSelection(doc, first, limit);
  pane->afterLineEnd = afterLineEnd && IsCaret(pane);
  if (show && IsDisplayed(doc, pane)) {
    LocatorRec locator = LocatorFor(doc, pane, pane->selFirst);
    IsLocationVisible(&locator, nullptr, true);
    if (IsCaret(pane)) {
      TurnOnSel(doc);
      return;
    }
  }
  if (!IsCaret(pane)) {
    pane->selShown = true;
    MarkCps(doc, pane, uint32_t(pane->selFirst), uint32_t(pane->selLimit));
  }
  if (doc->owner) NotificationCenter::defaultCenter().post(kGMSelectionChangeNotification, doc->owner);
}

void ToggleSel(GlimmetDoc* doc) {
  Pane* pane = CurrentPane(doc);
  if (!IsDisplayed(doc, pane) || DisplayDeferred()) return;
  if (IsCaret(pane)) {
    const bool wasShown = pane->selShown;
    pane->selShown = !pane->selShown;
    // Line drawing draws the caret at this cp.
    pane->caretCp = pane->selShown ? std::max(pane->selFirst, 1) : 0;
    if (doc->active || wasShown) FlashIP(doc);
  } else {
    pane->selShown = true;
    if (pane->frameIndex != kGMNone)
      pane->view->setNeedsDisplay();
    else
      MarkCps(doc, pane, uint32_t(pane->selFirst), uint32_t(pane->selLimit));
  }
}

void TurnOffSel(GlimmetDoc* doc) {
  Pane* pane = CurrentPane(doc);
  if (!pane) return;
  if (!(IsCaret(pane) && !pane->selShown)) ToggleSel(doc);
  pane->selShown = false;
  pane->caretCp = 0;
}

void TurnOnSel(GlimmetDoc* doc) {
  Pane* pane = CurrentPane(doc);
  if (!pane) return;
  if (pane->frameIndex != kGMNone || !pane->selShown || pane->selFirst != pane->selLimit) ToggleSel(doc);
}

void InvalidateSel(GlimmetDoc* doc) {
  Pane* pane = CurrentPane(doc);
  if (!pane) return;
  if (IsCaret(pane) || pane->frameIndex != kGMNone)
    TurnOffSel(doc);
  else if (IsDisplayed(doc, pane))
    MarkCps(doc, pane, uint32_t(pane->selFirst), uint32_t(pane->selLimit));
}

void MarkCps(GlimmetDoc* doc, Pane* pane, uint32_t first, uint32_t limit) {
  if (!IsDisplayed(doc, pane)) return;
  if (pane->cellFirst >= 0) {
    pane->view->setNeedsDisplay();
    return;
  }
  const DraftLineTable& lines = pane->lines;
  for (uint32_t i = 0; i < lines.count(); ++i) {
    const uint32_t lineFirst = lines.cpAt(i);
    const uint32_t lineLimit = lines.cpAt(i + 1);
    if (lineFirst > limit) break;
    // A caret belongs to both lines it separates; a range to the lines it overlaps.
    if (lineLimit < first || (lineLimit == first && limit > first)) continue;
    const DraftLine& line = lines.at(i);
    if (line.startKind == kStartRow && first <= lineFirst && limit >= lineLimit) {
      pane->view->setNeedsDisplay();
      return;
    }
    MarkLine(pane, line);
  }
}

bool PointInCpRect(const LocatorRec& locator, uint32_t cp, double x, double y) {
  LocatorRec at = locator;
  at.cp = int32_t(cp);
  QRectF line;
  double width = 0;
  const double left = XAndWidthForCp(&at, cp + 1, &width, &line);
  return left >= 0 && x >= left && x < left + width && y >= line.top() && y < line.bottom();
}

void FlashIP(GlimmetDoc* doc) {
  Pane* pane = CurrentPane(doc);
  if (!IsDisplayed(doc, pane) || DisplayDeferred()) return;
  LocatorRec locator = LocatorFor(doc, pane, pane->selFirst);
  if (pane->afterLineEnd && IsCaret(pane) && locator.cp > 0) locator.cp -= 1;
  QRectF rect;
  if (!GetRectContainingCp(&locator, true, &rect)) return;
  const float zoom = pane->zoom > 0 ? pane->zoom : 1.0f;
  const double x = pane->afterLineEnd ? rect.right() : std::max(rect.x() - 1, pane->view->horizontalScroll());
  pane->caretFlashX = float(x);
  const double pixel = 1.0 / zoom;
  pane->view->setNeedsDisplay(QRectF(x - 2 * pixel, rect.y(), 5 * pixel, rect.height()));
}

bool ChangeTextSelection(GlimmetDoc* doc, uint32_t newCp, uint32_t* anchor, int32_t* first, int32_t* limit,
                         uint32_t unitFirst, uint32_t unitLimit) {
  Pane* pane = CurrentPane(doc);
  const uint32_t oldFirst = uint32_t(*first), oldLimit = uint32_t(*limit);
  // The anchor unit stays selected on both sides of the anchor; the moving end follows the cp.
  const uint32_t newFirst = std::min({unitFirst, *anchor, newCp});
  const uint32_t newLimit = std::max({unitLimit, *anchor, newCp});
  // Marks exactly the cps whose selection state changed: the symmetric difference of the ranges.
  if (pane && newFirst != oldFirst)
    MarkCps(doc, pane, std::min(newFirst, oldFirst), std::max(newFirst, oldFirst));
  if (pane && newLimit != oldLimit)
    MarkCps(doc, pane, std::min(newLimit, oldLimit), std::max(newLimit, oldLimit));
  *first = int32_t(newFirst);
  *limit = int32_t(newLimit);
  return newLimit > newFirst;
}

void ContinueTextSelectionTracking(GlimmetDoc* doc, double x, double y) {
  SelectionTrackRec* track = SelectionTracking(doc);
  Pane* pane = CurrentPane(doc);
  if (!track || !pane) return;
  track->x = x;
  track->y = y;
  if (!track->started) {
    track->started = true;
    if (!track->expanded) return;
  }
  LocatorRec& locator = track->locator;
  locator = LocatorFor(doc, pane);
  const bool onText = LocatePointInDoc(x, y, &locator, kLocateTracking);
  if (track->selectionType == 9) {
    if (locator.cp < 0) return;
    int32_t column = locator.cellColumn;
    if (column < 0 && locator.cp >= pane->selFirst && locator.cp < pane->selLimit) {
      KnotInfo table, row;
      if (FetchTable(doc, uint32_t(locator.cp), &table, &row, nullptr))
        column = int32_t(IndexAndRangeForCell(&table, &row, uint32_t(locator.cp), -1, nullptr));
    }
    if (column < 0) return;
    const int32_t cellFirst = std::min(track->anchorColumn, column);
    const int32_t cellLimit = std::max(track->anchorColumn, column) + 1;
    if (cellFirst != pane->cellFirst || cellLimit != pane->cellLimit) {
      pane->cellFirst = cellFirst;
      pane->cellLimit = cellLimit;
      pane->selShown = true;
      pane->view->setNeedsDisplay();
    }
    return;
  }
  if (locator.cp < 0) return;
  uint32_t cp = uint32_t(locator.cp);
  const uint32_t paneLimit = PaneSelectionLimit(doc, pane);
  if (paneLimit > 0 && cp == paneLimit - 1 && locator.area != kAreaText) cp = paneLimit;
  // A drag that only touches a knot takes none of its inside.
  KnotInfo knot;
  if (int32_t(cp) > track->anchorCp && cp > 0 && FetchKnot(doc, cp - 1, &knot, 0) && knot.kinkCount > 1 &&
      cp == knot.first + 1)
    cp = knot.first;
  else if (int32_t(cp) < track->anchorCp && cp < uint32_t(doc->totalLength) && FetchKnot(doc, cp, &knot, 0) &&
           knot.kinkCount > 1 && cp + 1 == knot.limit)
    cp = knot.limit;
  if (!onText) {
    const bool lineUnit = track->unit == kUnitLine || track->unit == kUnitParagraph;
    if (lineUnit && (locator.area == kAreaLeft || locator.area == kAreaRight) && locator.lineIndex < pane->lines.count()) {
      cp = pane->lines.cpAt(locator.lineIndex);
    } else {
      pane->afterLineEnd = locator.afterLineEnd;
      const QRectF visible = pane->view->visibleRect();
      const double left = std::max(visible.left(), pane->view->horizontalScroll());
      if (y >= visible.top() && y < visible.bottom()) {
        if (x < left) AutoScrollView(pane, 3, false);
        else if (x >= visible.right()) AutoScrollView(pane, 0, false);
      }
      if (x >= visible.left() && x < visible.right()) {
        if (y < visible.top()) AutoScrollView(pane, 3, true);
        else if (y >= visible.bottom()) AutoScrollView(pane, 0, true);
      }
      locator = LocatorFor(doc, pane);
      LocatePointInDoc(x, y, &locator, kLocateTracking);
      if (locator.lineIndex == kGMNone || locator.cp < 0) return;
      cp = uint32_t(locator.cp);
      if (paneLimit > 0 && cp == paneLimit - 1 && locator.area != kAreaText) cp = paneLimit;
    }
  }
  if (!track->expanded) {
    track->expanded = true;
  } else {
    const bool after = int32_t(cp) >= track->anchorCp;
    switch (track->unit) {
      case kUnitLine: {
        const int32_t start = DraftLineStart(doc, pane, cp, after ? 1 : 0);
        if (start >= 0) cp = uint32_t(start);
        break;
      }
      case kUnitParagraph: {
        DocRange para;
        FetchParaProps(doc, pane, cp, &para, nullptr);
        cp = after ? para.limit : para.first;
        break;
      }
      case kUnitSentence: cp = after ? SentenceLimit(doc, cp) : SentenceStart(doc, cp); break;
      case kUnitWord:
        if (int32_t(cp) != pane->selFirst && int32_t(cp) != pane->selLimit)
          cp = after ? WordLimit(doc, pane, cp, !(track->modifiers & 32)) : WordStart(doc, pane, cp);
        break;
      default: break;
    }
  }
  cp = std::min(cp, paneLimit);
  if (int32_t(cp) == track->lastCp) return;
  track->lastCp = int32_t(cp);
  uint32_t anchor = uint32_t(track->anchorCp);
  int32_t first = pane->selFirst, limit = pane->selLimit;
  const bool nonEmpty = ChangeTextSelection(doc, cp, &anchor, &first, &limit, uint32_t(track->anchorFirst),
                                            uint32_t(track->anchorLimit));
  pane->selFirst = first;
  pane->selLimit = limit;
  if (nonEmpty) pane->selShown = true;
}

bool ShowSelection(GlimmetDoc* doc, bool restore, bool flash) {
  Pane* pane = CurrentPane(doc);
  if (!pane) return false;
  if (restore && pane->prevFirst != kGMNone) SelectCpsCore(doc, pane->prevFirst, pane->prevFirst, false, false);
  LocatorRec locator = LocatorFor(doc, pane, pane->selFirst);
  const bool shown = IsDisplayed(doc, pane) && IsLocationVisible(&locator, nullptr, true);
  if (flash && pane->view) NotificationCenter::defaultCenter().post(kGMFlashNotification, pane->view);
  return shown;
}

void CollapseColumnSelection(GlimmetDoc* doc, bool toStart) {
  Pane* pane = CurrentPane(doc);
  if (!pane || pane->cellFirst < 0) return;
  KnotInfo table, row;
  DocRange cell;
  uint32_t cp = uint32_t(pane->selFirst);
  if (FetchTable(doc, toStart ? uint32_t(pane->selFirst) + 1 : uint32_t(std::max(pane->selFirst, pane->selLimit - 2)),
                 &table, &row, nullptr) &&
      IndexAndRangeForCell(&table, &row, kGMNone, toStart ? pane->cellFirst : pane->cellLimit - 1, &cell) != kGMNone)
    cp = toStart ? cell.first : (cell.limit > cell.first ? cell.limit - 1 : cell.first);
  SelectCpsCore(doc, cp, cp, true, false);
}

void FixBookmarkSelection(GlimmetDoc* doc, DocRange* range, uint32_t knotType) {
  if (!range) return;
  DocRange knot;
  if (CpIsWithinKnot(doc, range->first, knotType, &knot, false) && knot.first < range->first) {
    range->first = knot.first;
    range->limit = std::max(range->limit, knot.limit);
  }
  if (range->limit >= range->first + 2 && CpIsWithinKnot(doc, range->limit - 1, knotType, &knot, false) &&
      knot.limit > range->limit) {
    range->first = std::min(range->first, knot.first);
    range->limit = knot.limit;
  }
}

DocRange TidyDraggedSelection(GlimmetDoc* doc, Pane* pane, DocRange* chapter) {
  DocRange range{doc, uint32_t(std::max(pane->selFirst, 0)), uint32_t(std::max(pane->selLimit, pane->selFirst))};
  FixBookmarkSelection(doc, &range, kKnotBookmark);
  FixBookmarkSelection(doc, &range, kKnotTag);
  range.first = VisibleCpCore(doc, pane, range.first, true);
  if (range.limit > range.first) {
    const uint32_t lastVisible = VisibleCpCore(doc, pane, range.limit - 1, false);
    range.limit = std::max(range.first, lastVisible + 1);
  }
  const uint32_t lastCp = range.limit > range.first ? range.limit - 1 : range.first;
  DocRange knot{doc, 0, 0};
  uint32_t chapterIndex = 0;
  for (uint32_t i = doc->chapterCps.count(); i-- > 0;) {
    if (doc->chapterCps.cpAt(i) <= lastCp) {
      chapterIndex = i;
      knot.first = doc->chapterCps.cpAt(i);
      knot.limit = KnotLimitCp(doc, knot.first);
      break;
    }
  }
  if (chapter) *chapter = knot;
  if (pane->contentsKind == 3) return range;
  if (range.limit > range.first && knot.limit != 0 && range.limit == knot.limit) range.limit = knot.first;
  if (doc->endGuard && range.limit == uint32_t(doc->userLength) && range.limit > 0) range.limit -= 1;
  range.limit = std::max(range.first, range.limit);
  // A drag that stayed on a later chapter's knot chose that chapter, not a place in its text.
  if (range.limit == range.first && pane->contentsKind == kPaneContentsPlain && chapterIndex > 0 &&
      knot.limit > knot.first && range.first >= knot.first && uint32_t(pane->selLimit) <= knot.limit)
    range = knot;
  return range;
}

uint32_t SafeMoveCp(GlimmetDoc* doc, uint32_t cp, uint32_t bound, uint32_t flags) {
  Pane* pane = CurrentPane(doc);
  if (!pane) return cp;
  DocRange paneRange;
  GetPaneRange(doc, pane, &paneRange);
  const uint32_t last = PaneLastCp(doc, pane);
  bool backward = flags & kSafeBackward;
  for (int guard = 0; guard < 4096; ++guard) {
    const uint32_t start = cp;
    if (!(flags & kSafeKeepMarks)) {
      for (int steps = 0; steps < 4096 && IsParaMarkChar(doc->charAt(cp)); ++steps) {
        if (!backward) {
          if (cp >= last) break;
          ++cp;
        } else {
          DocRange para;
          FetchParaProps(doc, pane, cp, &para, nullptr);
          if (para.first >= cp || cp == 0) break;
          --cp;
        }
      }
    }
    if ((flags & kSafeRangeEnd) && !backward) {
      if (cp > paneRange.first && IsVisibleCp(doc, pane, cp - 1)) {
        if (doc->totalLength > 0 && cp >= uint32_t(doc->totalLength)) return uint32_t(doc->totalLength) - 1;
        KnotInfo knot;
        if (InsideBookmarkOrTag(doc, cp, &knot)) return knot.limit;
        return cp;
      }
      cp = std::min(VisibleCpCore(doc, pane, cp, true), last + 1);
    } else {
      const uint32_t visible = std::min(VisibleCpCore(doc, pane, cp, !backward), last);
      if (visible == cp && cp == start) return cp;
      cp = visible;
      KnotInfo knot;
      if (InsideBookmarkOrTag(doc, cp, &knot)) cp = backward ? knot.first : knot.limit;
      DocRange list;
      if (backward && bound != kGMNone && CpIsWithinKnot(doc, cp, kKnotList, &list, false) && list.first == cp) {
        const uint32_t firstVisible = VisibleCpCore(doc, pane, list.first, true);
        if (firstVisible < bound) cp = firstVisible;
      }
    }
    if (cp < start) backward = true;
    if (cp == start) break;
  }
  return cp;
}

bool IsSelectionPicture(GlimmetDoc* doc, uint32_t* pictureIndex) {
  Pane* pane = CurrentPane(doc);
  if (!pane || pane->frameIndex != kGMNone || pane->selLimit != pane->selFirst + 1) return false;
  KnotInfo knot;
  if (!FetchKnot(doc, uint32_t(pane->selFirst), &knot, 0) || knot.type() != kKnotPicture ||
      knot.first != uint32_t(pane->selFirst))
    return false;
  if (pictureIndex) *pictureIndex = knot.entry.pictureIndex();
  return true;
}

void SetInsertionPropsFromText(GlimmetDoc* doc, Pane* pane) {
  if (!doc || !pane || pane->selFirst != pane->selLimit) return;
  const uint32_t caret = uint32_t(pane->selFirst);
  DocRange para;
  FetchParaProps(doc, pane, caret, &para, nullptr);
  uint32_t source = caret > 0 && FirstVisibleCpInPara(doc, pane, para.first) != caret ? caret - 1 : caret;
  uint32_t low = para.first;
  if (pane->contentsKind == 0 || pane->contentsKind == 1) low = std::max(low, BodyStart(doc));
  const uint32_t high = para.limit > low ? para.limit - 1 : low;
  source = std::clamp(source, low, high);
  if (pane->contentsKind == 0 || pane->contentsKind == 1) {
    DocRange note;
    if (CpIsWithinKnot(doc, source, kKnotNote, &note, false))
      source = source > note.first + 1 ? std::min(note.limit, high) : (note.first > low ? note.first - 1 : low);
  }
  PropRecord chars;
  FetchCharProps(doc, source, nullptr, &chars);
  const uint16_t style = chars.get<uint16_t>(CharField::style);
  constexpr uint32_t kLinkStyleId = 6;
  const bool noStyle = style == 0 || style == 0xFFFF;
  const bool linkStyle = !noStyle && style < doc->styles.size() && doc->styles[style].id == kLinkStyleId;
  const bool finalMark = doc->totalLength > 0 && source + 1 >= uint32_t(doc->totalLength);
  if (noStyle || linkStyle || finalMark) SetDefaultProperties(doc, kPropChar, &chars);
  std::memcpy(pane->insertionProps, chars.body, sizeof pane->insertionProps);
}

void InitSelectionEnum(GlimmetDoc* doc, Pane* pane, SelectionEnumRec* rec) {
  if (!rec) return;
  *rec = SelectionEnumRec();
  if (!pane) pane = CurrentPane(doc);
  rec->doc = doc;
  if (!pane) return;
  if (pane->frameIndex != kGMNone) LogAssert("Frame selection not valid", __func__, __FILE__, __LINE__);
  rec->selFirst = uint32_t(pane->selFirst);
  rec->selLimit = uint32_t(pane->selLimit);
  rec->cells = pane->cellFirst >= 0 && pane->frameIndex == kGMNone;
  rec->firstColumn = pane->cellFirst;
  rec->limitColumn = pane->cellLimit;
  rec->first = rec->limit = kGMNone;
}

bool NextSelectionRange(SelectionEnumRec* rec) {
  if (!rec || !rec->doc) return false;
  if (!rec->cells) {
    if (rec->rowFirst != kGMNone) return false;
    rec->rowFirst = rec->selFirst;
    rec->first = rec->selFirst;
    rec->limit = rec->selLimit;
    return true;
  }
  KnotInfo table, row;
  for (int guard = 0; guard < 1 << 20; ++guard) {
    if (rec->rowFirst == kGMNone) {
      const uint32_t start = rec->backward ? std::max(rec->selFirst, rec->selLimit - 2) : rec->selFirst + 1;
      if (!FetchTable(rec->doc, start, &table, &row, nullptr)) return false;
      rec->rowFirst = row.first;
      rec->column = rec->backward ? rec->limitColumn - 1 : rec->firstColumn;
    } else {
      rec->column += rec->backward ? -1 : 1;
      if (rec->column < rec->firstColumn || rec->column >= rec->limitColumn) {
        if (!FetchTable(rec->doc, rec->rowFirst + 1, &table, &row, nullptr)) return false;
        const uint32_t next = rec->backward ? row.first - 1 : row.limit;
        if (rec->backward ? (row.first <= rec->selFirst + 1) : (next >= rec->selLimit)) return false;
        if (!FetchTable(rec->doc, rec->backward ? next : next + 1, &table, &row, nullptr) || row.first == rec->rowFirst)
          return false;
        rec->rowFirst = row.first;
        rec->column = rec->backward ? rec->limitColumn - 1 : rec->firstColumn;
      }
    }
    if (!FetchTable(rec->doc, rec->rowFirst + 1, &table, &row, nullptr)) return false;
    DocRange cell;
    if (IndexAndRangeForCell(&table, &row, kGMNone, rec->column, &cell) == kGMNone) continue;
    rec->first = cell.first;
    rec->limit = cell.limit;
    return true;
  }
  return false;
}
