#include "glimmet/layout/gmSelectKeys.h"

#include "framlet/foundation/flCharacterClasses.h"
#include "glimmet/layout/gmDraft.h"
#include "glimmet/layout/gmLocate.h"
#include "glimmet/layout/gmSelection.h"
#include "glimmet/layout/gmTableLayout.h"
#include "glimmet/layout/gmTextServices.h"
#include "framlet/foundation/flTextServices.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmFind.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmProperties.h"
#include "glimmet/storage/gmTables.h"

#include <algorithm>

namespace {

constexpr uint32_t kShift = 64, kCommand = 2, kControl = 4, kOption = 32;

struct FetchContext {
  GlimmetDoc* doc;
};

// Kink characters read as the letter "a", so words run across knots.
char16_t FetchDocCharacter(int64_t index, bool* end, const void* context) {
  GlimmetDoc* doc = static_cast<const FetchContext*>(context)->doc;
  if (index < 0 || index >= doc->totalLength) {
    *end = true;
    return 0;
  }
  *end = false;
  const char16_t ch = doc->charAt(uint32_t(index));
  return IsKinkChar(ch) ? u'a' : ch;
}

bool IsWordCharacter(char16_t ch) {
  const uint32_t type = TypeOfChar(ch);
  return type >= 1 && type <= 3;
}

// A link, picture, tag or variable knot counts as a word of its own.
bool IsRealKnotAt(GlimmetDoc* doc, uint32_t cp) {
  if (!IsKinkChar(doc->charAt(cp))) return false;
  KnotInfo knot;
  if (!FetchKnot(doc, cp, &knot, 0) || knot.first != cp) return false;
  const uint32_t type = knot.type();
  return type == kKnotLink || type == kKnotPicture || type == kKnotTag || type == kKnotVar;
}

bool IsLineBreaking(char16_t ch) { return IsNewline(ch) || ch == 0x0B || ch == 0x0C; }


bool ScrollIntoView(GlimmetDoc* doc, Pane* pane, uint32_t cp) {
  LocatorRec locator = LocatorFor(doc, pane, int32_t(cp));
  return IsLocationVisible(&locator, nullptr, true);
}

void PlaceCaret(GlimmetDoc* doc, uint32_t cp, bool afterLineEnd) { SelectCpsCore(doc, cp, cp, true, afterLineEnd); }

// Moves one end of the selection, marking the change; the other end stays.
void MoveEnd(GlimmetDoc* doc, Pane* pane, bool limitEnd, uint32_t cp) {
  int32_t first = pane->selFirst, limit = pane->selLimit;
  const uint32_t anchor = uint32_t(limitEnd ? first : limit);
  uint32_t anchorCopy = anchor;
  ChangeTextSelection(doc, cp, &anchorCopy, &first, &limit, anchor, anchor);
  pane->selFirst = first;
  pane->selLimit = limit;
  pane->selShown = first != limit;
  pane->afterLineEnd = false;
  if (first == limit) SetInsertionPropsFromText(doc, pane);
}

double SelectionX(GlimmetDoc* doc, Pane* pane) {
  if (pane->caretX >= 0) return pane->caretX;
  LocatorRec locator = LocatorFor(doc, pane, pane->selFirst);
  QRectF rect;
  if (!GetRectContainingCp(&locator, false, &rect)) return 0;
  return rect.x() - (pane->lines.count() > locator.lineIndex ? pane->lines.at(locator.lineIndex).x : 0);
}

// Up and Down: the cp at x on the line below or above.
bool MoveVertically(GlimmetDoc* doc, Pane* pane, bool down, uint32_t modifiers, bool noTable, uint32_t* target,
                    bool* afterLineEnd) {
  DocRange range;
  GetPaneRange(doc, pane, &range);
  const bool caret = pane->selFirst == pane->selLimit;
  uint32_t cp = down ? (caret ? uint32_t(pane->selFirst) - (pane->afterLineEnd && pane->selFirst > 0 ? 1 : 0)
                              : uint32_t(pane->selLimit) - 1)
                     : uint32_t(pane->selFirst);
  ScrollIntoView(doc, pane, cp);
  if (!(modifiers & kShift) || caret) TurnOffSel(doc);
  if (modifiers & kCommand) {
    DocRange para;
    if (down) {
      FetchParaProps(doc, pane, uint32_t(pane->selLimit), &para, nullptr);
      *target = std::min(para.limit, PaneLastCp(doc, pane));
    } else {
      FetchParaProps(doc, pane, uint32_t(pane->selFirst), &para, nullptr);
      if (para.first == uint32_t(pane->selFirst) && para.first > range.first)
        FetchParaProps(doc, pane, para.first - 1, &para, nullptr);
      *target = std::max(para.first, range.first);
    }
    return true;
  }
  const double x = SelectionX(doc, pane);
  DocRange table;
  if (!noTable && CpIsWithinKnot(doc, cp, kKnotTable, &table, false)) {
    KnotInfo tableInfo, row;
    if (FetchTable(doc, cp, &tableInfo, &row, nullptr)) {
      LocatorRec locator = LocatorFor(doc, pane, int32_t(cp));
      const uint32_t moved = MoveUpOrDownInTable(&locator, row, down ? kKeyDown : kKeyUp, modifiers, x);
      if (moved == kGMNone) return false;
      *target = moved;
      return true;
    }
  }
  for (int guard = 0; guard < 1000; ++guard) {
    uint32_t index = pane->lines.indexOfCp(cp);
    if (index == kGMNone || index >= pane->lines.count()) {
      CalculateLines(doc, pane, nullptr);
      index = pane->lines.indexOfCp(cp);
      if (index == kGMNone || index >= pane->lines.count()) return false;
    }
    // At the last line held (or the first), the draft scrolls a line; when it cannot, the pane
    // ends (or begins) there.
    if (down && index + 1 >= pane->lines.count()) {
      const int32_t before = pane->firstDraftCp;
      if (pane->lines.endCp() < PaneLastCp(doc, pane) && AutoScrollView(pane, GMPaneView::kScrollLineForward, true)) {
        CalculateLines(doc, pane, nullptr);
        if (pane->firstDraftCp != before) continue;
      }
      *target = PaneLastCp(doc, pane);
      *afterLineEnd = false;
      return true;
    }
    if (!down && index == 0) {
      const int32_t before = pane->firstDraftCp;
      if (pane->lines.cpAt(0) > VisibleCpCore(doc, pane, range.first, true) &&
          AutoScrollView(pane, GMPaneView::kScrollLineBack, true)) {
        CalculateLines(doc, pane, nullptr);
        if (pane->firstDraftCp != before) continue;
      }
      *target = VisibleCpCore(doc, pane, range.first, true);
      return true;
    }
    LocatorRec locator = LocatorFor(doc, pane, -1);
    locator.lineIndex = down ? index + 1 : index - 1;
    const int32_t found = CpFromLineX(&locator, pane->lines, false, x, down ? 0 : double(1 << 30));
    if (found < 0) return false;
    *target = uint32_t(found);
    *afterLineEnd = locator.afterLineEnd;
    return true;
  }
  return false;
}

uint32_t LineEdge(GlimmetDoc* doc, Pane* pane, uint32_t cp, uint32_t mode) {
  DocRange table;
  const uint32_t probe = mode == 0 && cp > 0 ? cp - 1 : cp;
  if (CpIsWithinKnot(doc, probe, kKnotTable, &table, false)) {
    KnotInfo tableInfo, row;
    int32_t lineStart = -1;
    if (FetchTable(doc, cp, &tableInfo, &row, nullptr)) {
      const uint32_t edge = LineEdgeInTable(doc, pane, cp, row, &lineStart, mode);
      if (edge != kGMNone) return edge;
    }
  }
  const int32_t edge = DraftLineStart(doc, pane, cp, mode);
  return edge < 0 ? cp : uint32_t(edge);
}

}  // namespace

bool AutoScrollView(Pane* pane, int direction, bool vertical) {
  return pane && pane->view && pane->view->autoScroll(direction, vertical);
}

uint32_t WordStart(GlimmetDoc* doc, Pane* pane, uint32_t cp) {
  DocRange range;
  GetPaneRange(doc, pane, &range);
  FetchContext context{doc};
  return uint32_t(std::max<int64_t>(range.first, StartOfWord(cp, range.first, range.limit, FetchDocCharacter, &context)));
}

uint32_t WordLimit(GlimmetDoc* doc, Pane* pane, uint32_t cp, bool trailingWhite) {
  DocRange range;
  GetPaneRange(doc, pane, &range);
  const uint32_t limit = range.limit > range.first ? range.limit - 1 : range.first;
  FetchContext context{doc};
  return uint32_t(std::min<int64_t>(limit, EndOfWord(cp, range.first, limit, FetchDocCharacter, trailingWhite, &context)));
}

uint32_t SentenceStart(GlimmetDoc* doc, uint32_t cp) {
  DocRange para;
  FetchParaProps(doc, nullptr, cp, &para, nullptr);
  return StartOfSentence(cp, para.first, para.limit, doc);
}

uint32_t SentenceLimit(GlimmetDoc* doc, uint32_t cp) {
  DocRange para;
  FetchParaProps(doc, nullptr, cp, &para, nullptr);
  uint32_t end = para.limit;
  if (end > para.first) {
    const char16_t last = doc->charAt(end - 1);
    if (last == 13 || last == 10) --end;
  }
  auto isWhite = [](char16_t ch) { return ch >= 2 && TypeOfChar(ch) == 4; };
  if (cp > para.first)
    while (cp > para.first && isWhite(doc->charAt(cp))) --cp;
  if (cp >= end) return end;
  bool terminated = false;
  for (; cp < end; ++cp) {
    const char16_t ch = doc->charAt(cp);
    if (ch == u'.' || ch == u'!' || ch == u'?') {
      terminated = true;
      continue;
    }
    if (ch == u'>' || ch == u']' || ch == u'"' || ch == u'\'' || ch == u')' || ch == 0x2019 || ch == 0x201D) {
      if (terminated) {
        while (cp < end && (doc->charAt(cp) == u'"' || doc->charAt(cp) == u'\'' || doc->charAt(cp) == 0x2019 ||
                            doc->charAt(cp) == 0x201D || doc->charAt(cp) == 0x201C || doc->charAt(cp) == 0x2018))
          ++cp;
        break;
      }
      continue;
    }
    if (ch == 0x2028 || ch == 11 || ch == 12) return cp;
    if (ch == 9 || ch == 10 || ch == 13) return cp + 1;
    if (terminated && isWhite(ch)) return IsLineBreaking(ch) ? cp : cp + 1;
    terminated = false;
  }
  while (cp < end && isWhite(doc->charAt(cp)) && !IsLineBreaking(doc->charAt(cp))) ++cp;
  return std::min(cp, end);
}

uint32_t StartOfRealText(GlimmetDoc* doc, uint32_t cp, uint32_t floor) {
  Pane* pane = CurrentPane(doc);
  uint32_t start = cp;
  for (int guard = 0; guard < 100000 && start > floor; ++guard) {
    start = WordStart(doc, pane, start - 1);
    if (start <= floor) return floor;
    if (IsWordCharacter(doc->charAt(start)) || IsRealKnotAt(doc, start)) break;
  }
  return std::max(start, floor);
}

uint32_t EndOfRealText(GlimmetDoc* doc, uint32_t cp, uint32_t ceiling) {
  Pane* pane = CurrentPane(doc);
  uint32_t end = cp;
  for (int guard = 0; guard < 100000 && end < ceiling; ++guard) {
    const char16_t ch = doc->charAt(end);
    if (IsWordCharacter(ch) || IsRealKnotAt(doc, end)) {
      end = WordLimit(doc, pane, end, false);
      break;
    }
    const uint32_t next = WordLimit(doc, pane, end, true);
    if (next <= end) break;
    end = next;
  }
  return std::min(end, ceiling);
}

uint32_t SelectKeyDraft(GlimmetDoc* doc, uint32_t key, uint32_t modifiers, bool noTable) {
  Pane* pane = CurrentPane(doc);
  if (!pane) return 0;
  DocRange range;
  GetPaneRange(doc, pane, &range);
  const uint32_t last = PaneLastCp(doc, pane);
  if (key > kSelKeyHome) return PaneSelectionLimit(doc, pane) - 1;
  // Moving the selection ends a find's run of hits; paging only looks elsewhere.
  if (key != kSelKeyPageDown && key != kSelKeyPageUp) InvalidateFindResults(doc);
  const bool shift = modifiers & kShift;
  const uint32_t firstVisible = VisibleCpCore(doc, pane, range.first, true);
  const int32_t oldFirst = pane->selFirst, oldLimit = pane->selLimit;
  const bool caret = oldFirst == oldLimit && pane->frameIndex == kGMNone && pane->cellFirst < 0;

  if ((key == kSelKeyDown || key == kSelKeyUp) && (modifiers & kOption)) key = key == kSelKeyDown ? kSelKeyEnd : kSelKeyHome;
  switch (key) {
    case kSelKeyDown:
    case kSelKeyUp: {
      const bool down = key == kSelKeyDown;
      uint32_t target = 0;
      bool afterLineEnd = false;
      const float rememberedX = float(SelectionX(doc, pane));
      if (!MoveVertically(doc, pane, down, modifiers, noTable, &target, &afterLineEnd)) return 0;
      if (shift) {
        if (pane->selectionUnit == kUnitWord)
          target = down ? WordLimit(doc, pane, target, true) : WordStart(doc, pane, WordStart(doc, pane, target));
        MoveEnd(doc, pane, down, SafeMoveCp(doc, target, kGMNone, down ? 6 : 3));
      } else {
        PlaceCaret(doc, SafeMoveCp(doc, target, kGMNone, down ? 2 : 3), afterLineEnd);
        if (!(modifiers & kCommand)) pane->caretX = rememberedX;
      }
      break;
    }
    case kSelKeyLeft: {
      if (modifiers & (kControl | kOption)) {
        uint32_t target = uint32_t(oldFirst);
        if (modifiers & kControl) {
          target = SentenceStart(doc, uint32_t(oldFirst));
          if (target == uint32_t(oldFirst) && uint32_t(oldFirst) > firstVisible)
            target = SentenceStart(doc, uint32_t(oldFirst) - 1);
          pane->selectionUnit = kUnitSentence;
        } else {
          target = LineEdge(doc, pane, uint32_t(oldFirst), 0);
          if (target == uint32_t(oldFirst) && target > range.first) target = LineEdge(doc, pane, target - 1, 0);
        }
        if (shift)
          MoveEnd(doc, pane, false, SafeMoveCp(doc, target, kGMNone, 3));
        else
          PlaceCaret(doc, SafeMoveCp(doc, target, uint32_t(oldFirst), 3), false);
        pane->afterLineEnd = false;
      } else if (shift) {
        if ((modifiers & kCommand) && pane->selectionUnit != kUnitWord) {
          const uint32_t first = StartOfRealText(doc, uint32_t(oldFirst) + 1, range.first);
          const uint32_t limit = WordLimit(doc, pane, uint32_t(oldLimit), false);
          pane->selectionUnit = kUnitWord;
          if (first != uint32_t(oldFirst) || limit != uint32_t(oldLimit)) {
            SelectCpsCore(doc, first, std::max(first, limit), true, false);
            break;
          }
        }
        if (uint32_t(oldFirst) > firstVisible) {
          uint32_t target = uint32_t(oldFirst) - 1;
          if (pane->selectionUnit == kUnitWord) target = StartOfRealText(doc, uint32_t(oldFirst), range.first);
          else if (pane->selectionUnit == kUnitSentence) target = SentenceStart(doc, target);
          MoveEnd(doc, pane, false, SafeMoveCp(doc, target, kGMNone, 3));
        }
      } else {
        if (pane->cellFirst >= 0) {
          CollapseColumnSelection(doc, true);
          break;
        }
        uint32_t target = uint32_t(oldFirst);
        if (caret) {
          if (target <= firstVisible) break;
          target = (modifiers & kCommand) ? StartOfRealText(doc, target, range.first) : target - 1;
        }
        PlaceCaret(doc, SafeMoveCp(doc, target, uint32_t(oldFirst), 3), false);
      }
      break;
    }
    case kSelKeyRight: {
      if (modifiers & (kControl | kOption)) {
        uint32_t target = uint32_t(oldLimit);
        if (modifiers & kControl) {
          target = SentenceLimit(doc, uint32_t(oldLimit));
          pane->selectionUnit = kUnitSentence;
        } else {
          const uint32_t mode = shift ? 1 : 2;
          target = LineEdge(doc, pane, uint32_t(oldLimit), mode);
          if (target == uint32_t(oldLimit) && target < last) target = LineEdge(doc, pane, target + 1, mode);
        }
        target = std::min(target, shift ? PaneSelectionLimit(doc, pane) : last);
        if (shift) {
          MoveEnd(doc, pane, true, SafeMoveCp(doc, target, kGMNone, 4 | ((modifiers & kOption) ? 2 : 0)));
        } else {
          const uint32_t safe = SafeMoveCp(doc, target, kGMNone, (modifiers & kOption) ? 2 : 0);
          DocRange para;
          FetchParaProps(doc, pane, safe, &para, nullptr);
          PlaceCaret(doc, safe, (modifiers & kOption) && safe != para.first);
        }
      } else if (shift) {
        if ((modifiers & kCommand) && pane->selectionUnit != kUnitWord) {
          const uint32_t first = WordStart(doc, pane, uint32_t(oldFirst));
          const uint32_t limit = EndOfRealText(doc, uint32_t(oldLimit), PaneSelectionLimit(doc, pane));
          pane->selectionUnit = kUnitWord;
          if (first != uint32_t(oldFirst) || limit != uint32_t(oldLimit)) {
            SelectCpsCore(doc, first, std::max(first, limit), true, false);
            pane->activeEnd = kActiveLimit;
            break;
          }
        }
        if (uint32_t(oldLimit) <= last) {
          uint32_t target = uint32_t(oldLimit) + 1;
          if (pane->selectionUnit == kUnitWord) {
            target = EndOfRealText(doc, uint32_t(oldLimit), PaneSelectionLimit(doc, pane));
          } else if (pane->selectionUnit == kUnitSentence) {
            target = SentenceLimit(doc, uint32_t(oldLimit));
            if (target <= uint32_t(oldLimit)) target = SentenceLimit(doc, uint32_t(oldLimit) + 1);
          }
          MoveEnd(doc, pane, true, SafeMoveCp(doc, std::min(target, PaneSelectionLimit(doc, pane)), kGMNone, 6));
        }
      } else {
        if (caret && uint32_t(oldFirst) >= last) break;
        if (pane->cellFirst >= 0) {
          CollapseColumnSelection(doc, false);
          break;
        }
        uint32_t target = uint32_t(oldLimit);
        if (caret) target = (modifiers & kCommand) ? EndOfRealText(doc, target, last) : target + 1;
        PlaceCaret(doc, SafeMoveCp(doc, std::min(target, last), kGMNone, 2), false);
      }
      break;
    }
    case kSelKeyPageDown:
    case kSelKeyPageUp: {
      const bool down = key == kSelKeyPageDown;
      if (!shift) {
        doc->pageKeyDirection = down ? 2 : 1;
        return AutoScrollView(pane, down ? GMPaneView::kScrollPageForward : GMPaneView::kScrollPageBack, true);
      }
      if (down) {
        if (pane->lines.empty()) CalculateLines(doc, pane, nullptr);
        uint32_t target = SafeMoveCp(doc, pane->lines.endCp() > 0 ? pane->lines.endCp() - 1 : 0, kGMNone, 6);
        for (int guard = 0; guard < 64 && target < range.limit && target <= uint32_t(oldLimit); ++guard) {
          if (target == uint32_t(oldLimit)) {
            if (!AutoScrollView(pane, GMPaneView::kScrollPageForward, true)) break;
          } else {
            ScrollIntoView(doc, pane, uint32_t(oldLimit));
          }
          CalculateLines(doc, pane, nullptr);
          const uint32_t next = SafeMoveCp(doc, pane->lines.endCp() > 0 ? pane->lines.endCp() - 1 : 0, kGMNone, 6);
          if (next == target) break;
          target = next;
        }
        MoveEnd(doc, pane, true, std::max(target, uint32_t(oldLimit)));
      } else {
        AutoScrollView(pane, GMPaneView::kScrollPageBack, true);
        if (pane->lines.empty()) CalculateLines(doc, pane, nullptr);
        const uint32_t target = SafeMoveCp(doc, pane->lines.empty() ? range.first : pane->lines.cpAt(0), kGMNone, 3);
        MoveEnd(doc, pane, false, std::min(target, uint32_t(oldFirst)));
      }
      break;
    }
    case kSelKeyEnd:
    case kSelKeyHome: {
      const bool end = key == kSelKeyEnd;
      if (pane->view && pane->view->horizontalScroll() != 0) {
        pane->view->scrollToHorizontal(0);
        TrashDraft(doc, pane, false);
      }
      if (!shift) {
        PlaceCaret(doc, end ? last : firstVisible, false);
      } else {
        const uint32_t target = end ? SafeMoveCp(doc, PaneSelectionLimit(doc, pane), kGMNone, 6)
                                    : SafeMoveCp(doc, range.first, kGMNone, 3);
        if (target != uint32_t(end ? oldLimit : oldFirst)) {
          if (caret) TurnOffSel(doc);
          MoveEnd(doc, pane, end, target);
        }
        pane->activeEnd = end ? kActiveLimit : kActiveFirst;
      }
      break;
    }
    default: break;
  }
  if (shift) {
    if (pane->selFirst == pane->selLimit)
      pane->activeEnd = kActiveNone;
    else if (pane->activeEnd == kActiveFirst && pane->selLimit != oldLimit)
      pane->activeEnd = kActiveLimit;
    else if (pane->activeEnd == kActiveLimit && pane->selFirst != oldFirst)
      pane->activeEnd = kActiveFirst;
    else if (pane->activeEnd == kActiveNone)
      pane->activeEnd = (key == kSelKeyDown || key == kSelKeyRight || key == kSelKeyEnd) ? kActiveLimit : kActiveFirst;
  }
  const bool backwardKey = key == kSelKeyLeft || key == kSelKeyUp || key == kSelKeyPageUp || key == kSelKeyHome;
  uint32_t shown = pane->activeEnd == kActiveLimit ? uint32_t(pane->selLimit) : uint32_t(pane->selFirst);
  if (backwardKey && pane->afterLineEnd && uint32_t(pane->selFirst) > range.first) shown = uint32_t(pane->selFirst) - 1;
  if (shift && pane->selFirst != pane->selLimit) pane->selShown = true;
  return ScrollIntoView(doc, pane, shown) ? 1 : 0;
}
