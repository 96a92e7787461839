// The document object's selection: the selection mask, selecting by range, by key and by mouse.
#include "glimmet/layout/GMDocument.h"

#include "framlet/foundation/flBase.h"
#include "glimmet/layout/GMDraftView.h"
#include "glimmet/layout/gmDraft.h"
#include "glimmet/layout/gmHostProcedures.h"
#include "glimmet/layout/gmLocate.h"
#include "glimmet/layout/gmSelectKeys.h"
#include "glimmet/layout/gmSelection.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmBookmarks.h"
#include "glimmet/storage/gmFetch.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmProperties.h"
#include "glimmet/storage/gmTables.h"
#include "platform/KeyMap.h"

#include <QGuiApplication>

namespace {

constexpr uint32_t kLocateAll = 7;
constexpr uint64_t kNotFound = 0x7FFFFFFFFFFFFFFF;

// The modifiers of the event being handled, for keys whose modifiers the document reads itself.
Qt::KeyboardModifiers CurrentModifiers() { return QGuiApplication::keyboardModifiers(); }


}  // namespace

uint32_t GMDocument::convertModifiers(Qt::KeyboardModifiers modifiers) {
  uint32_t bits = 0;
  if (modifiers & kCommandModifier) bits |= kGMCommandBit;
  if (modifiers & kControlModifier) bits |= kGMControlBit;
  if (modifiers & Qt::KeypadModifier) bits |= kGMNumericPadBit;
  if (modifiers & kOptionModifier) bits |= kGMOptionBit;
  if (modifiers & Qt::ShiftModifier) bits |= kGMShiftBit;
  return bits;
}

uint32_t GMDocument::selectionMask() const {
  if (loading_ || !glimmetDoc_) return 0;
  Pane* pane = currentPane();
  uint32_t mask = kSelMaskValid;
  if (glimmetDoc_->endGuard) mask |= kSelMaskEndGuard;
  const uint32_t first = uint32_t(std::max(0, pane->selFirst));
  if (pane->selFirst == pane->selLimit) {
    mask |= kSelMaskEmpty;
  } else {
    mask |= kSelMaskRange;
    KnotInfo knot;
    if (FetchKnot(glimmetDoc_, first, &knot, 0) && knot.first == first) {
      const uint32_t type = knot.type();
      if (type == kKnotBookmark || type == kKnotCheckbox || type == kKnotDivider || type == kKnotTag || type == kKnotVar)
        mask |= kSelMaskKnotStart;
    }
    if (IsSelectionPicture(glimmetDoc_, nullptr)) mask |= kSelMaskPicture;
    DocRange link;
    if (CpIsWithinKnot(glimmetDoc_, first, kKnotLink, &link, false)) mask |= kSelMaskLink;
  }
  KnotInfo table;
  if (isTableSelected(nullptr, &table)) {
    mask |= kSelMaskTable;
    if (pane->selectionUnit == kUnitCells) mask |= kSelMaskCells;
  }
  DocRange list;
  if (CpIsWithinKnot(glimmetDoc_, first, kKnotList, &list, false)) mask |= kSelMaskList;
  return mask;
}

std::pair<uint64_t, uint64_t> GMDocument::selectionRange() const {
  Pane* pane = currentPane();
  if (!pane || pane->frameIndex != kGMNone) return {kNotFound, 0};
  return {uint64_t(pane->selFirst), 0};
}

void GMDocument::setSelection(uint64_t first, uint64_t length) {
  if (!glimmetDoc_) return;
  const uint64_t limit = std::min<uint64_t>(first + length, uint32_t(glimmetDoc_->totalLength));
  SelectCpsCore(glimmetDoc_, uint32_t(std::min<uint64_t>(first, limit)), uint32_t(limit), true, false);
}

void GMDocument::showSelection() {
  if (glimmetDoc_) ShowSelection(glimmetDoc_, CurrentModifiers() & kOptionModifier, true);
}

void GMDocument::performSelectionKey(uint32_t key, uint32_t forcedModifiers, GMDraftView* view) {
  if (!paneForView(view)) return;
  const uint32_t modifiers = forcedModifiers ? forcedModifiers : convertModifiers(CurrentModifiers());
  SelectKeyDraft(glimmetDoc_, key, modifiers, false);
}

void GMDocument::startSelection(QPointF point, GMDraftView* view, int32_t selectionType,
                                Qt::KeyboardModifiers modifiers) {
  GlimmetDoc* doc = glimmetDoc_;
  SetTrackingSelection(doc, false);
  Pane* pane = paneForView(view);
  if (!pane) return;
  loading_ = false;
  selectionBegun_ = true;
  for (uint32_t i = 0; i < doc->paneCount; ++i)
    if (&doc->panes[i] == pane) doc->currentPane = i;
  const uint32_t engineModifiers = convertModifiers(modifiers);

  LocatorRec locator = LocatorFor(doc, pane);
  LocatePointInDoc(point.x(), point.y(), &locator, kLocateAll);
  if (locator.cp < 0) return;
  SelectionTrackRec* track = NewSelectionTracking(doc);
  if (!track) return;
  track->locator = locator;
  track->click = locator;
  track->selectionType = selectionType;
  track->charAnchor = -1;
  track->anchorFirst = pane->selFirst;
  track->anchorLimit = pane->selLimit;
  track->x = point.x();
  track->y = point.y();
  track->contentsKind = pane->contentsKind;
  track->modifiers = engineModifiers;
  track->savedFirst = pane->selFirst;
  track->savedLimit = pane->selLimit;
  track->savedFrame = pane->frameIndex;
  track->savedCellFirst = pane->cellFirst;
  track->savedCellLimit = pane->cellLimit;
  track->savedAfterLineEnd = pane->afterLineEnd;
  uint32_t cp = uint32_t(locator.cp);

  auto beginTracking = [&] {
    if (pane->contentsKind == kPaneContentsNoDisplay) OverridePaneContents(pane, 0);
    SetTrackingSelection(doc, true);
  };

  if (selectionType == kSelectCells) {
    KnotInfo table, row;
    if (locator.cellColumn >= 0 && FetchTable(doc, cp, &table, &row, nullptr)) {
      track->tableRange = table.range();
      SelectCpsCore(doc, table.first, table.limit, false, false);
      pane->cellFirst = locator.cellColumn;
      pane->cellLimit = locator.cellColumn + 1;
      pane->selShown = true;
      pane->selectionUnit = track->unit = kUnitCells;
      track->anchorColumn = locator.cellColumn;
      track->started = true;
      beginTracking();
      return;
    }
    selectionType = track->selectionType = kSelectPlain;
  }

  if (selectionType == kSelectExtend) {
    if (pane->selectionUnit != kUnitCells) {
      const bool afterFirst = int32_t(cp) > pane->selFirst;
      const uint32_t anchor = uint32_t(afterFirst ? pane->selFirst : pane->selLimit);
      if (pane->selFirst == pane->selLimit) TurnOffSel(doc);
      track->lastCp = track->anchorCp = int32_t(anchor);
      if (pane->selectionUnit != kUnitCharacter) {
        track->anchorFirst = pane->selFirst;
        track->anchorLimit = pane->selLimit;
      } else {
        track->anchorFirst = track->anchorLimit = int32_t(anchor);
      }
    } else {
      track->anchorColumn =
          locator.cellColumn < 0 || locator.cellColumn <= pane->cellFirst ? pane->cellLimit - 1 : pane->cellFirst;
      track->selectionType = kSelectCells;
    }
    track->unit = pane->selectionUnit;
    track->expanded = true;
    track->started = true;
    ContinueTextSelectionTracking(doc, point.x(), point.y());
    beginTracking();
    return;
  }

  int32_t unit = locator.generatedText ? kUnitParagraph
                 : (locator.area == kAreaLeft || locator.area == kAreaRight) ? kUnitLine
                                                                           : kUnitCharacter;
  const bool besideLine = locator.area == kAreaLeft || locator.area == kAreaRight;
  if (selectionType == kSelectSentence) unit = kUnitSentence;
  if (selectionType == 6) {
    unit = kUnitLine;
    if (locator.lineIndex < pane->lines.count()) {
      const DraftLine& line = pane->lines.at(locator.lineIndex);
      const bool rightHalf = point.x() >= line.x + line.width / 2;
      cp = pane->lines.cpAt(locator.lineIndex + (rightHalf ? 1 : 0));
    }
  }
  if (selectionType == kSelectDoubleClick) unit = besideLine && !locator.generatedText ? kUnitParagraph : kUnitWord;

  track->lastCp = track->anchorCp = int32_t(cp);
  StartSelection(doc, cp, cp);
  if (unit == kUnitCharacter) pane->afterLineEnd = locator.afterLineEnd;
  pane->selectionUnit = unit;
  DocRange paneRange;
  GetPaneRange(doc, pane, &paneRange);
  uint32_t unitCp = cp;
  if ((unit == kUnitLine || unit == kUnitSentence || unit == kUnitWord) && locator.afterLineEnd) {
    if (cp > paneRange.first) {
      unitCp = cp - 1;
    } else {
      static const char* const kMessages[] = {"endOfLine at paneStart (1)", "endOfLine at paneStart (2)",
                                              "endOfLine at paneStart (3)"};
      LogAssert(kMessages[unit == kUnitLine ? 0 : unit == kUnitSentence ? 1 : 2], __func__, __FILE__, __LINE__);
    }
  }
  uint32_t unitFirst = cp, unitLimit = cp;
  switch (unit) {
    case kUnitCharacter: track->charAnchor = int32_t(cp); break;
    case kUnitLine: {
      const int32_t start = DraftLineStart(doc, pane, unitCp, 0);
      const int32_t next = DraftLineStart(doc, pane, unitCp, 1);
      if (start >= 0) unitFirst = uint32_t(start);
      if (next >= 0) unitLimit = uint32_t(next);
      break;
    }
    case kUnitParagraph: {
      DocRange para;
      FetchParaProps(doc, pane, cp, &para, nullptr);
      unitFirst = para.first;
      unitLimit = para.limit;
      break;
    }
    case kUnitSentence:
      unitFirst = SentenceStart(doc, unitCp);
      unitLimit = SentenceLimit(doc, unitCp);
      break;
    case kUnitWord:
      unitFirst = WordStart(doc, pane, unitCp);
      unitLimit = WordLimit(doc, pane, unitCp, !(engineModifiers & kGMOptionBit));
      break;
    default: LogAssert("Unknown selection type", __func__, __FILE__, __LINE__); break;
  }
  unitLimit = std::min(std::max(unitLimit, unitFirst), PaneSelectionLimit(doc, pane));
  track->anchorFirst = int32_t(unitFirst);
  track->anchorLimit = int32_t(unitLimit);
  track->unit = unit;

  if (unit == kUnitParagraph && !locator.generatedText && selectionType != 1) {
    DocRange table;
    if (CpIsWithinKnot(doc, VisibleCpCore(doc, pane, cp, true), kKnotTable, &table, false)) {
      SelectCpsCore(doc, table.first, table.limit, true, false);
      FreeSelectionTracking(doc);
      return;
    }
  }
  if (unit == kUnitCharacter) {
    // The press was the drag's first step.
    track->started = true;
    SetTrackingSelection(doc, true);
    return;
  }
  // The unit end farther from the click anchors the drag.
  const bool nearerLimit = cp - unitFirst > unitLimit - cp;
  const uint32_t anchor = nearerLimit ? unitFirst : unitLimit;
  track->anchorCp = int32_t(anchor);
  track->lastCp = -1;
  pane->selFirst = pane->selLimit = int32_t(anchor);
  track->started = true;
  track->expanded = true;
  ContinueTextSelectionTracking(doc, point.x(), point.y());
  beginTracking();
}

void GMDocument::continueSelection(QPointF point) {
  if (selectionBegun_ && glimmetDoc_) ContinueTextSelectionTracking(glimmetDoc_, point.x(), point.y());
}

void GMDocument::endSelection() {
  if (!selectionBegun_) return;
  selectionBegun_ = false;
  GlimmetDoc* doc = glimmetDoc_;
  SelectionTrackRec* track = SelectionTracking(doc);
  SetTrackingSelection(doc, false);
  if (!track) return;
  Pane* pane = CurrentPane(doc);
  const SelectionTrackRec record = *track;
  FreeSelectionTracking(doc);
  if (record.contentsKind != pane->contentsKind &&
      (pane->contentsKind == kPaneContentsPlain || pane->contentsKind == kPaneContentsNoDisplay))
    OverridePaneContents(pane, record.contentsKind);
  const int32_t type = record.selectionType;

  DocRange chapter{doc, 0, 0};
  if (type != kSelectCells && type != kSelectColumnResize) {
    if (pane->selFirst != pane->selLimit) {
      const DocRange range = TidyDraggedSelection(doc, pane, &chapter);
      if (range.first != uint32_t(pane->selFirst) || range.limit != uint32_t(pane->selLimit)) {
        const bool shown = pane->selShown;
        SelectCpsCore(doc, range.first, std::max(range.first, range.limit), false, false);
        pane->selShown = shown || range.limit > range.first;
      }
    } else {
      pane->afterLineEnd = record.locator.afterLineEnd;
    }
  }

  if (type != kSelectColumnResize && pane->selFirst == pane->selLimit && record.click.area == kAreaText &&
      VisibleCpCore(doc, pane, uint32_t(record.click.cp), true) == uint32_t(pane->selFirst)) {
    if (type == kSelectActivating) {
      TurnOffSel(doc);
      pane->selFirst = record.savedFirst;
      pane->selLimit = record.savedLimit;
      pane->frameIndex = record.savedFrame;
      pane->cellFirst = record.savedCellFirst;
      pane->cellLimit = record.savedCellLimit;
      pane->afterLineEnd = record.savedAfterLineEnd;
      TurnOnSel(doc);
    }
    LocatorRec locator = LocatorFor(doc, pane);
    locator.exact = true;
    const QPointF point(record.x, record.y);
    const bool onText = LocatePointInDoc(point.x(), point.y(), &locator, kLocateAll);
    const uint32_t cp = uint32_t(onText && locator.cp >= 0 ? locator.cp : record.click.cp);
    if (locator.outsideRun) return;
    const bool option = record.modifiers & kGMOptionBit;
    KnotInfo knot;
    if (!FetchKnot(doc, cp, &knot, 0)) return;
    switch (knot.type()) {
      case kKnotDivider:
        if (type != kSelectActivating) SelectCpsCore(doc, knot.first, knot.first + 1, true, false);
        return;
      case kKnotLink:
        if (option) {
          SelectCpsCore(doc, knot.first, knot.limit, false, false);
        } else if (cp == knot.first && !PointInCpRect(locator, cp, point.x(), point.y())) {
          SelectCpsCore(doc, knot.first, knot.first, true, false);
        } else if (knot.kinkCount >= 3) {
          // A link shows its first slot and goes to the address in its second.
          FollowHyperLink(RawTextString(doc, knot.kinkCps[1] + 1, knot.kinkCps[2]), false);
        }
        return;
      case kKnotPicture:
      case kKnotTag:
        if (PointInCpRect(locator, cp, point.x(), point.y()))
          SelectCpsCore(doc, knot.first, knot.limit, true, false);
        else
          SelectCpsCore(doc, knot.first, knot.first, true, false);
        return;
      case kKnotVar: {
        const uint32_t subtype = knot.entry.word;
        const uint32_t bookmark = (subtype == 7 || subtype == 15)
                                      ? BookmarkIndexForGuidIndex(doc, VariableGuidIndex(knot))
                                      : kGMNone;
        if (bookmark != kGMNone && !option) {
          KnotInfo target;
          if (!FetchKnot(doc, doc->bookmarkCps.cpAt(bookmark), &target, kKnotBookmark)) return;
          if (doc->kind == kDocHelp) {
            if (helpLinkFollower_)
              helpLinkFollower_(target.first);
            else
              LogAssert("Not the help window", __func__, __FILE__, __LINE__);
          } else {
            SelectCpsCore(doc, target.first, target.limit, true, false);
            ShowSelection(doc, false, true);
          }
        } else if (type != kSelectActivating) {
          SelectCpsCore(doc, knot.first, knot.first + 1, true, false);
        }
        return;
      }
      default: return;
    }
  }

  if (type == kSelectSentence && (record.click.area == kAreaLeft || record.click.area == kAreaRight) &&
      chapter.limit > chapter.first) {
    const uint32_t last = uint32_t(std::max(pane->selFirst, pane->selLimit - 1));
    DocRange outer;
    if (CpIsWithinKnot(doc, last, kKnotTable, &outer, false) || CpIsWithinKnot(doc, last, kKnotList, &outer, false)) {
      SelectCpsCore(doc, chapter.first, chapter.limit, true, false);
      return;
    }
  }
}
