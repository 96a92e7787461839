#include "glimmet/layout/gmLocate.h"

#include "framlet/foundation/flBase.h"
#include "glimmet/layout/gmDraft.h"
#include "glimmet/layout/gmLineFormat.h"
#include "glimmet/layout/gmTableLayout.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmTables.h"

#include <algorithm>
#include <cmath>

namespace {

Pane* PaneOf(LocatorRec* locator) {
  if (!locator->pane && locator->doc) locator->pane = CurrentPane(locator->doc);
  return locator->pane;
}

QRectF VisibleRect(const Pane* pane) { return pane && pane->view ? pane->view->visibleRect() : QRectF(); }

QRectF LineRect(const DraftLine& line) { return {line.x, line.y, line.width, line.height}; }

// Formats the draft line at index into format; false when it cannot be.
bool FormatDraftLine(LocatorRec* locator, uint32_t index, LineFormat* format) {
  Pane* pane = locator->pane;
  if (!InitFormatLine(locator->doc, pane, format, kFormatCollectRuns)) return false;
  return FormatLine(pane->lines.cpAt(index), DraftWidth(locator->doc, pane), format);
}

// The cp a text segment's string index stands for.
int32_t CpOfSegmentIndex(LocatorRec* locator, const LineFormat& line, const LineRun& run, int index, float x) {
  const LineSegment& seg = *run.segment;
  size_t i = seg.pieces.size();
  while (i > 0 && seg.pieces[i - 1].offset > uint32_t(index)) --i;
  if (i == 0) return run.first;
  const LinePiece& piece = seg.pieces[i - 1];
  const uint32_t end = i < seg.pieces.size() ? seg.pieces[i].offset : uint32_t(seg.text.text.size());
  const float left = PositionOfLineSegmentIndex(seg.line.get(), int(piece.offset));
  const float right = PositionOfLineSegmentIndex(seg.line.get(), int(end));
  const float middle = run.x + (left + right) / 2;
  if (piece.first < 0) {
    locator->generatedText = true;
    if (x >= middle) {
      for (size_t k = i; k < seg.pieces.size(); ++k)
        if (seg.pieces[k].first >= 0) return seg.pieces[k].first;
    }
    for (size_t k = i - 1; k-- > 0;)
      if (seg.pieces[k].first >= 0) return seg.pieces[k].limit;
    return run.first >= 0 ? run.first : int32_t(line.firstCp);
  }
  if (piece.limit - piece.first <= 1 && end - piece.offset > 1) {
    if (!locator->exact && x >= middle) {
      const uint32_t limit = KnotLimitCp(line.doc, uint32_t(piece.first));
      return limit != kGMNone ? int32_t(limit) : piece.limit;
    }
    return piece.first;
  }
  return piece.first + (index - int32_t(piece.offset));
}

}  // namespace

bool LocateCpInLine(LocatorRec* locator, const LineFormat& line, float x) {
  if (!locator) return false;
  if (line.startKind == kStartRow) {
    LogAssert("Bad line type", __func__, __FILE__, __LINE__);
    return false;
  }
  const bool markEnded = line.endsWithBreakChar();
  locator->afterLineEnd = false;
  if (line.startKind == kStartDivider) {
    locator->cp = int32_t(line.firstCp);
    if (!locator->exact && x > line.originX + (line.endX - line.originX) / 2) {
      locator->cp = int32_t(line.limitCp);
      locator->afterLineEnd = true;
    }
    return locator->afterLineEnd;
  }
  uint32_t lastCp = line.limitCp > line.firstCp ? line.limitCp - 1 : line.firstCp;
  if (line.endsList && lastCp > line.firstCp) --lastCp;
  if (x >= line.rightEdge) {
    locator->cp = int32_t(lastCp);
    if (line.breakKind == kBreakParagraph && line.doc) {
      DocRange para;
      FetchParaProps(line.doc, line.pane, line.firstCp, &para, nullptr);
      if (line.limitCp > para.limit) locator->cp = int32_t(para.limit - 1);
    }
    locator->afterLineEnd = !markEnded;
    return locator->afterLineEnd;
  }
  if (x < line.originX) {
    locator->cp = int32_t(line.firstCp);
    return false;
  }
  const float xr = x - line.originX;
  int32_t cp = -1;
  for (const LineRun& run : line.runs) {
    const bool content = run.type == kRunCheckbox || run.type == kRunText || run.type == kRunPicture ||
                         run.type == kRunTab || run.type == kRunTag;
    if (!content || xr >= run.x + run.width) continue;
    const bool right = !locator->exact && xr > run.x + run.width / 2;
    switch (run.type) {
      case kRunCheckbox:
        if (run.first >= 0) {
          cp = run.first;
        } else {
          cp = int32_t(VisibleCpCore(line.doc, line.pane, line.firstCp, true));
          locator->outsideRun = true;
        }
        break;
      case kRunText: {
        const LineSegment& seg = *run.segment;
        if (seg.generated && run.first < 0) {
          locator->generatedText = true;
          cp = int32_t(VisibleCpCore(line.doc, line.pane, line.firstCp, true));
          break;
        }
        int index = seg.line ? seg.line->indexForPosition(xr - run.x) : 0;
        if (locator->exact && seg.line) {
          if (index > 0 && run.x + PositionOfLineSegmentIndex(seg.line.get(), index) > xr) --index;
          if (index + 1 <= int(seg.unitsFit) && run.x + PositionOfLineSegmentIndex(seg.line.get(), index + 1) <= xr)
            ++index;
        }
        cp = CpOfSegmentIndex(locator, line, run, index, xr);
        break;
      }
      case kRunPicture:
      case kRunTag: cp = run.first + (right ? 1 : 0); break;
      case kRunTab:
        if (run.first < 0) continue;
        cp = run.first + (right ? 1 : 0);
        break;
      default: continue;
    }
    if (cp >= 0) break;
  }
  if (cp < 0) {
    locator->cp = int32_t(lastCp);
    locator->afterLineEnd = !markEnded;
    return locator->afterLineEnd;
  }
  locator->afterLineEnd = uint32_t(cp) >= line.limitCp && !markEnded;
  locator->cp = std::min(cp, int32_t(lastCp));
  return locator->afterLineEnd;
}

int32_t CpFromLineX(LocatorRec* locator, const DraftLineTable& lines, bool mustHit, double x, double y) {
  if (!locator || locator->lineIndex >= lines.count()) return -1;
  Pane* pane = PaneOf(locator);
  const DraftLine& draft = lines.at(locator->lineIndex);
  if (mustHit && (x <= 0 || x >= draft.width)) return locator->cp = -1;
  DocRange range;
  DraftRange(locator->doc, pane, &range);
  if (lines.cpAt(locator->lineIndex) + 1 >= range.limit) return locator->cp = int32_t(range.limit) - 1;
  LineFormat format;
  if (!FormatDraftLine(locator, locator->lineIndex, &format)) return locator->cp = -1;
  if (format.startKind == kStartRow) LocateCpInTableRow(locator, format, x, y);
  else LocateCpInLine(locator, format, float(x));
  ReleaseLineFormat(&format);
  return locator->cp;
}

bool LocatePointInDoc(double x, double y, LocatorRec* locator, uint32_t options) {
  if (!locator || !locator->doc) return false;
  GlimmetDoc* doc = locator->doc;
  Pane* pane = PaneOf(locator);
  const bool tracking = options & kLocateTracking;
  locator->cp = -1;
  locator->lineIndex = kGMNone;
  locator->boundaryIndex = -1;
  locator->cellColumn = -1;
  locator->area = kAreaOutside;
  locator->afterLineEnd = locator->outsideRun = locator->generatedText = false;
  const QRectF visible = VisibleRect(pane);
  if (!visible.contains(QPointF(x, y)) && !tracking) return false;
  if (visible.contains(QPointF(x, y))) {
    const double topOffset = doc->kind == kDocHelp ? visible.top() + g_glimmetConfig.topGap / std::max(0.01f, pane->zoom)
                                                   : visible.top();
    if (y < topOffset) {
      locator->area = kAreaAbove;
      if (!tracking) return false;
    } else {
      locator->area = kAreaSearching;
    }
  }
  DraftLineTable& lines = pane->lines;
  if (lines.empty()) CalculateLines(doc, pane, nullptr);
  if (lines.empty()) return false;
  DocRange range;
  DraftRange(doc, pane, &range);
  uint32_t index = 0;
  for (; index < lines.count(); ++index) {
    const DraftLine& line = lines.at(index);
    if (y < line.y + line.height) break;
  }
  if (index < lines.count()) {
    const DraftLine& line = lines.at(index);
    locator->lineIndex = index;
    const bool inGap = y < line.y;
    bool outside = false;
    if (x < line.x || x >= line.x + line.width) {
      outside = true;
      if (!inGap && (locator->area == kAreaSearching || locator->area == kAreaOutside))
        locator->area = doc->endGuard ? kAreaText : (x < line.x ? kAreaLeft : kAreaRight);
      if (!tracking && !doc->endGuard) return false;
    } else if (!inGap && locator->area == kAreaSearching) {
      locator->area = kAreaText;
    }
    if (tracking && outside) {
      const bool rightHalf = x >= line.x + line.width / 2;
      uint32_t cp = rightHalf ? lines.cpAt(index + 1) - 1 : lines.cpAt(index);
      cp = std::min(cp, range.limit > 0 ? range.limit - 1 : 0);
      locator->cp = int32_t(VisibleCpCore(doc, pane, cp, !rightHalf));
    } else {
      CpFromLineX(locator, lines, !tracking, x - line.x, y - line.y);
    }
    return locator->area == kAreaText;
  }
  // Below the last line.
  if (locator->area == kAreaSearching || tracking) locator->area = kAreaBelow;
  const uint32_t last = lines.count() - 1;
  locator->lineIndex = last;
  const uint32_t end = std::min(lines.cpAt(last + 1), range.limit > 0 ? range.limit - 1 : 0);
  const uint32_t cp = VisibleCpCore(doc, pane, end, false);
  locator->cp = int32_t(cp);
  if (cp != end) {
    const uint32_t at = SafeIndexOfCp(lines, cp, false);
    locator->lineIndex = at;
    locator->afterLineEnd = cp == lines.cpAt(at + 1);
  }
  return false;
}

float XAndWidthForCpOnLine(const LineFormat& line, uint32_t cp, uint32_t limit, float* width, float offset) {
  if (limit < cp) {
    LogAssert("Limit < given cp", __func__, __FILE__, __LINE__);
    limit = cp;
  }
  const float x = LineXFromCpCore(line, cp);
  if (width) {
    *width = 0;
    if (limit > cp) {
      float after = 0;
      LineXFromCpCore(line, limit - 1, &after);
      *width = std::max(0.0f, after - x);
    }
  }
  return x + offset;
}

double XAndWidthForCp(LocatorRec* locator, uint32_t limit, double* width, QRectF* rect) {
  if (width) *width = 0;
  if (!rect) LogAssert("rect is required", __func__, __FILE__, __LINE__);
  if (!locator || !locator->doc || locator->cp < 0) return -1;
  Pane* pane = PaneOf(locator);
  const DraftLineTable& lines = pane->lines;
  const uint32_t cp = uint32_t(locator->cp);
  if (lines.empty() || cp < lines.cpAt(0) || cp > lines.endCp()) return -1;
  uint32_t index = SafeIndexOfCp(lines, cp, true);
  if (index >= lines.count()) index = lines.count() - 1;
  if (locator->afterLineEnd && index > 0 && lines.cpAt(index) == cp) --index;
  locator->lineIndex = index;
  const DraftLine& draft = lines.at(index);
  if (rect) *rect = LineRect(draft);
  LineFormat format;
  if (!FormatDraftLine(locator, index, &format)) return -1;
  double x = -1;
  float w = 0;
  if (format.startKind == kStartRow) {
    GMRowRects rects;
    if (GetRowRectangles(format, &rects)) {
      DocRange cell;
      const uint32_t column = IndexAndRangeForCell(&rects.table, &rects.row, std::clamp(cp, rects.row.first + 1,
                                                                                        rects.row.limit - 1),
                                                   -1, &cell);
      if (column != kGMNone && column < rects.cells.size()) {
        LineFormat cellLine;
        InitFormatLine(locator->doc, pane, &cellLine, kFormatCollectRuns | kFormatCellText);
        const bool outer = rects.props.body[TableProp::outerMargins];
        const double left = outer && column == 0 ? 0 : double(rects.props.get<int64_t>(TableProp::cellLeft)) / kEmuPerPoint;
        for (uint32_t at = cell.first; at <= cell.limit;) {
          if (!FormatLine(at, rects.widths[column], &cellLine) || cellLine.limitCp <= at) break;
          if (cp < cellLine.limitCp || cellLine.limitCp > cell.limit) {
            x = XAndWidthForCpOnLine(cellLine, cp, std::max(cp, std::min(limit, cellLine.limitCp)), &w,
                                     float(draft.x + rects.cells[column].x + left + cellLine.originX));
            break;
          }
          at = cellLine.limitCp;
        }
        ReleaseLineFormat(&cellLine);
      }
    }
  } else if (format.startKind == kStartDivider) {
    const bool before = cp < format.firstCp + (format.limitCp - format.firstCp) / 2;
    x = draft.x + (before ? format.originX : format.endX);
  } else {
    x = XAndWidthForCpOnLine(format, cp, std::max(cp, limit), &w, float(draft.x + format.originX));
  }
  ReleaseLineFormat(&format);
  if (width) *width = w;
  return x;
}

bool IsLocationVisible(LocatorRec* locator, QRectF* rect, bool scroll) {
  if (!locator || !locator->doc || !locator->doc->owner) return false;
  Pane* pane = PaneOf(locator);
  if (!pane) return false;
  if (locator->cp < 0) {
    LogAssert("No cp", __func__, __FILE__, __LINE__);
    return false;
  }
  GlimmetDoc* doc = locator->doc;
  DocRange range;
  DraftRange(doc, pane, &range);
  const uint32_t cp = std::min(uint32_t(locator->cp), range.limit > 0 ? range.limit - 1 : 0);
  DraftLineTable& lines = pane->lines;
  if (lines.empty()) CalculateLines(doc, pane, nullptr);
  const QRectF visible = VisibleRect(pane);
  bool shown = false;
  if (!lines.empty() && cp >= lines.cpAt(0) && cp < lines.endCp()) {
    const uint32_t index = SafeIndexOfCp(lines, cp, false);
    const DraftLine& line = lines.at(index);
    if (rect) *rect = LineRect(line);
    const float top = float(line.y), bottom = float(line.y + line.height);
    shown = bottom >= float(visible.top()) && top < float(visible.bottom());
    if (scroll && shown && line.height <= visible.height()) shown = top >= float(visible.top()) && bottom <= float(visible.bottom());
  }
  if (shown || !scroll) return shown;
  int32_t target = int32_t(cp);
  if (!pane->scrollToCp) {
    LineFormat format;
    if (InitFormatLine(doc, pane, &format, kFormatCollectRuns)) {
      float height = 0;
      const int32_t above = PrecedingPageCp(doc, pane, cp, cp + 1, &format, &height, float(visible.height() / 2));
      if (above >= 0) target = above;
      ReleaseLineFormat(&format);
    }
  }
  ScrollVertDraft(doc, pane, target, kScrollCp);
  return true;
}

bool GetRectContainingCp(LocatorRec* locator, bool mustIntersect, QRectF* rect) {
  if (!locator || !rect) return false;
  Pane* pane = PaneOf(locator);
  if (!pane) return false;
  QRectF lineRect;
  const bool visible = IsLocationVisible(locator, &lineRect, false);
  const DraftLineTable& lines = pane->lines;
  const bool onLine = !lines.empty() && locator->cp >= int32_t(lines.cpAt(0)) &&
                      uint32_t(locator->cp) <= lines.endCp();
  if (!visible && !onLine) return false;
  double width = 0;
  const double x = XAndWidthForCp(locator, uint32_t(locator->cp), &width, &lineRect);
  if (x < 0) return false;
  *rect = QRectF(x, lineRect.y(), width, lineRect.height());
  if (!mustIntersect) return true;
  const QRectF view = VisibleRect(pane);
  if (rect->x() >= view.right()) rect->moveLeft(view.right() - 1);
  if (rect->width() == 0) rect->setWidth(1);
  return rect->intersects(view);
}
