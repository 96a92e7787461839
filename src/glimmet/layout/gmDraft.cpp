#include "glimmet/layout/gmDraft.h"

#include "framlet/foundation/flBase.h"
#include "glimmet/layout/gmHostProcedures.h"
#include "glimmet/layout/gmLineDraw.h"
#include "glimmet/layout/gmLineFormat.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmFetch.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmTables.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr float kTallLine = 56.0f;
constexpr double kNoBottom = 1e12;

float Points(int64_t emu) { return float(double(emu) / kEmuPerPoint); }

// The lines of the paragraph (or row) laid out last, for one pane at one width.
struct ParaCache {
  GlimmetDoc* doc = nullptr;
  Pane* pane = nullptr;
  uint32_t first = 0;
  uint32_t paraEnd = 0;
  int64_t width = 0;
  int32_t totalLength = 0;
  uint64_t versions = 0;  // of the tables whose changes can move lines
  std::vector<uint32_t> cps;
  std::vector<float> heights;
  uint32_t reached = 0;  // where the line after the last cached one starts
};
ParaCache g_paraCache;

// Where the unit laid out from start ends: the paragraph's limit (a row's end is passed in).
uint32_t ParaEnd(GlimmetDoc* doc, Pane* pane, uint32_t start, uint32_t end) {
  DocRange para;
  FetchParaProps(doc, pane, start, &para, nullptr);
  return para.first == start ? para.limit : end;
}

double Zoom(const Pane* pane) { return pane && pane->zoom > 0 ? pane->zoom : 1.0; }

QRectF Bounds(const Pane* pane) { return pane && pane->view ? pane->view->bounds() : QRectF(); }

double LineX(const Pane* pane) {
  const double scroll = pane && pane->view ? pane->view->horizontalScroll() : 0;
  return pane->sideMargin / Zoom(pane) + Bounds(pane).x() - scroll;
}

double TopGap(GlimmetDoc* doc, const Pane* pane) {
  return doc->kind == kDocHelp ? g_glimmetConfig.topGap / Zoom(pane) : 0;
}

DraftLine EntryFor(const LineFormat& format, double x, double y) {
  DraftLine line;
  line.startKind = format.startKind;
  line.nextWordLength = uint16_t(std::min<uint32_t>(format.nextWordLength, 0xFFFF));
  line.x = x;
  line.y = y;
  line.width = std::max(double(format.lineWidth), 3.0);
  line.height = format.lineHeight;
  return line;
}

QRectF RectOf(const DraftLine& line) { return {line.x, line.y, line.width, line.height}; }

// The layout service the storage calls.
class DraftLayout : public GMLayoutService {
 public:
  void InvalText(const DocRange& range, bool widen) override { InvalTextCore(range, widen); }
  int64_t DraftWidth(GlimmetDoc* doc, Pane* pane) override { return ::DraftWidth(doc, pane); }
  // The paragraph heights are keyed by the document's address, which a new document may reuse.
  void DocumentDestroyed(GlimmetDoc* doc) override { ForgetParaLineHeights(doc); }
  void TrashDraft(GlimmetDoc* doc, Pane* pane) override { ::TrashDraft(doc, pane, false); }
  void AdjustPaneForEdit(GlimmetDoc* doc, Pane* pane, uint32_t first, uint32_t limit, int64_t delta) override {
    DraftLineTable& lines = pane->lines;
    auto shifted = [&](uint32_t cp) { return uint32_t(std::max<int64_t>(int64_t(cp) + delta, first)); };
    for (uint32_t i = 0; i < lines.count();) {
      const uint32_t cp = lines.cpAt(i);
      if (cp > first && cp < limit) {
        lines.erase(i);
        continue;
      }
      if (cp >= limit && cp > first) lines.setCp(i, shifted(cp));
      ++i;
    }
    if (lines.endCp() >= limit && lines.endCp() > first) lines.setEndCp(shifted(lines.endCp()));
    // Lines that now share a cp keep the first.
    for (uint32_t i = 1; i < lines.count();) {
      if (lines.cpAt(i) <= lines.cpAt(i - 1)) lines.erase(i);
      else ++i;
    }
    const uint32_t firstCp = uint32_t(std::max(pane->firstDraftCp, 0));
    if (firstCp >= limit && firstCp > first) pane->firstDraftCp = int32_t(shifted(firstCp));
    else if (firstCp > first) pane->firstDraftCp = int32_t(first);
    DocRange range;
    DraftRange(doc, pane, &range);
    if (uint32_t(pane->firstDraftCp) > range.limit) pane->firstDraftCp = int32_t(range.first);
  }
};

}  // namespace

void DraftRange(GlimmetDoc* doc, Pane* pane, DocRange* range) {
  GetPaneRange(doc, pane, range);
  range->limit = std::max(range->first, std::min(range->limit, uint32_t(doc->userLength)));
}

int64_t DraftWidth(GlimmetDoc* doc, Pane* pane) {
  if (!doc) return 0;
  if (!pane) pane = CurrentPane(doc);
  if (doc->fitToWindow) {
    const double width = Bounds(pane).width();
    return int64_t((width - 2 * pane->sideMargin / Zoom(pane)) * kEmuPerPoint);
  }
  return int64_t(doc->paperWidth) * kEmuPerPoint - (doc->docProps.get<int64_t>(DocField::left) +
                                                    doc->docProps.get<int64_t>(DocField::right));
}

uint32_t GetParaLineHeights(GlimmetDoc* doc, Pane* pane, uint32_t cp, uint32_t limit, LineFormat* format,
                            float* total, ParaLineHeights* table) {
  DocRange range;
  DraftRange(doc, pane, &range);
  table->cps.clear();
  table->heights.clear();
  table->endCp = range.limit;
  uint32_t start = 0, end = 0;
  DocRange tableRange;
  if (CpIsWithinKnot(doc, cp, kKnotTable, &tableRange, false) && tableRange.limit >= tableRange.first + 3) {
    KnotInfo row;
    const uint32_t at = std::clamp(cp, tableRange.first + 1, tableRange.limit - 2);
    if (!FetchKnot(doc, at, &row, kKnotRow)) return kGMNone;
    start = row.first == tableRange.first + 1 ? tableRange.first : row.first;
    end = row.limit + 1 == tableRange.limit ? row.limit + 1 : row.limit;
  } else {
    DocRange para;
    FetchParaProps(doc, pane, cp, &para, nullptr);
    start = para.first;
    end = std::max(std::min(limit, para.limit), para.first + 1);
  }
  const int64_t width = DraftWidth(doc, pane);
  if (start >= end) {
    LogAssert("No cp range", __func__, __FILE__, __LINE__);
    *total = 0;
    table->endCp = start;
    return start;
  }
  // Lines already laid out for this paragraph are taken from the cache, so that scrolling back
  // through a long paragraph formats each of its lines once rather than once a step.
  ParaCache& cache = g_paraCache;
  const uint64_t versions = doc->charRuns.version() * 31 + doc->paraRuns.version() * 17 + doc->knots.version() * 7 +
                            doc->props.size() * 3 + doc->pictures.size() + (pane->showInvisibles ? 1u << 31 : 0) +
                            (uint64_t(pane->displayFlags) << 40);
  const bool cached = cache.doc == doc && cache.pane == pane && cache.first == start && cache.width == width &&
                      cache.totalLength == doc->totalLength && cache.versions == versions &&
                      cache.paraEnd == ParaEnd(doc, pane, start, end);
  if (!cached) {
    cache = ParaCache();
    cache.doc = doc;
    cache.pane = pane;
    cache.first = start;
    cache.width = width;
    cache.totalLength = doc->totalLength;
    cache.versions = versions;
    cache.paraEnd = ParaEnd(doc, pane, start, end);
    cache.reached = start;
  }
  float sum = 0;
  uint32_t at = start;
  size_t i = 0;
  while (at < end) {
    if (i < cache.cps.size()) {
      table->cps.push_back(cache.cps[i]);
      table->heights.push_back(cache.heights[i]);
      sum += cache.heights[i];
      at = i + 1 < cache.cps.size() ? cache.cps[i + 1] : cache.reached;
      ++i;
      continue;
    }
    if (!FormatLine(at, width, format)) return kGMNone;
    table->cps.push_back(at);
    table->heights.push_back(format->lineHeight);
    sum += format->lineHeight;
    cache.cps.push_back(at);
    cache.heights.push_back(format->lineHeight);
    at = std::max(format->limitCp, at + 1);
    cache.reached = at;
    ++i;
  }
  table->endCp = at;
  *total = sum;
  return start;
}

void ForgetParaLineHeights(GlimmetDoc* doc) {
  if (!doc || g_paraCache.doc == doc) g_paraCache = ParaCache();
}

bool ParaLineHeightsKeptFor(const GlimmetDoc* doc) { return doc && g_paraCache.doc == doc; }

int32_t DraftLineStart(GlimmetDoc* doc, Pane* pane, uint32_t cp, int mode) {
  if (!doc) return -1;
  if (!pane) pane = CurrentPane(doc);
  DocRange range;
  DraftRange(doc, pane, &range);
  if (mode == 0 && cp == range.first) return int32_t(cp);
  if (range.limit <= range.first) return int32_t(range.first);
  cp = std::clamp(VisibleCpCore(doc, pane, std::min(cp, range.limit - 1), true), range.first, range.limit - 1);
  if (mode == 0 && cp == range.first) return int32_t(cp);
  DocRange tableRange;
  if (CpIsWithinKnot(doc, cp, kKnotTable, &tableRange, false)) {
    if (mode == 1) return int32_t(tableRange.limit - 1);
    if (mode == 2) return int32_t(tableRange.limit - 2);
    KnotInfo row;
    if (!FetchKnot(doc, std::clamp(cp, tableRange.first + 1, tableRange.limit - 2), &row, kKnotRow))
      return int32_t(tableRange.first);
    return int32_t(row.first == tableRange.first + 1 ? tableRange.first : row.first);
  }
  LineFormat format;
  if (!InitFormatLine(doc, pane, &format, kFormatCollectRuns)) return -1;
  ParaLineHeights heights;
  float total = 0;
  if (GetParaLineHeights(doc, pane, cp, range.limit, &format, &total, &heights) == kGMNone ||
      heights.cps.empty()) {
    ReleaseLineFormat(&format);
    return -1;
  }
  size_t i = 0;
  while (i + 1 < heights.cps.size() && heights.cps[i + 1] <= cp) ++i;
  int32_t result = int32_t(heights.cps[i]);
  if (mode == 1) {
    result = int32_t(i + 1 < heights.cps.size() ? heights.cps[i + 1] : heights.endCp);
  } else if (mode == 2) {
    if (!FormatLine(heights.cps[i], DraftWidth(doc, pane), &format)) {
      result = -1;
    } else {
      result = int32_t(format.limitCp);
      if (format.breakKind >= kBreakBodyEnd && format.breakKind <= 11) result -= format.endsList ? 2 : 1;
    }
  }
  ReleaseLineFormat(&format);
  return result;
}

double DraftTop(GlimmetDoc* doc, Pane* pane) {
  return Bounds(pane).y() - pane->partialOffset + TopGap(doc, pane);
}

void NoteNewScrollPosition(GlimmetDoc* doc, Pane* pane) {
  if (!doc || !pane || !pane->view) return;
  DocRange range;
  DraftRange(doc, pane, &range);
  double position = double(pane->firstDraftCp) - double(range.first);
  if (pane->lines.count() == 1 && pane->partialOffset > 0 && pane->lines.at(0).height > 0)
    position += pane->partialOffset / pane->lines.at(0).height;
  pane->view->noteNewScrollPosition(position);
}

void TrashDraft(GlimmetDoc* doc, Pane* pane, bool toStart) {
  if (!doc || !pane || !doc->owner) return;
  DocRange range;
  DraftRange(doc, pane, &range);
  if (toStart || uint32_t(std::max(pane->firstDraftCp, 0)) >= range.limit) pane->firstDraftCp = int32_t(range.first);
  pane->partialOffset = 0;
  pane->lines.clear(range.limit);
  if (pane->view) pane->view->setNeedsDisplay();
  NoteNewScrollPosition(doc, pane);
  pane->redrawPending = pane->wholeRange;
}

uint32_t DrawNewLines(GlimmetDoc* doc, Pane* pane, LineFormat* format, uint32_t cp, double y, double bottom,
                      uint32_t stopCp, uint32_t* index, QPainter* painter, const QRectF& clip) {
  DraftLineTable& lines = pane->lines;
  const double x = LineX(pane);
  const int64_t width = DraftWidth(doc, pane);
  const float viewRight = float(Bounds(pane).right());
  bool reachedBottom = false;
  while (cp < stopCp) {
    if (y >= bottom) {
      reachedBottom = true;
      break;
    }
    if (!FormatLine(cp, width, format)) break;
    const DraftLine entry = EntryFor(*format, x, y);
    lines.insert(*index, cp, entry);
    if (painter && entry.y < clip.bottom())
      DrawFormattedLine(*painter, *format, kNoKolor, viewRight, RectOf(entry), clip);
    ++*index;
    cp = std::max(format->limitCp, cp + 1);
    y += entry.height;
  }
  if (y >= bottom) reachedBottom = true;
  if (reachedBottom) lines.truncate(*index, cp);
  else if (*index == lines.count()) lines.setEndCp(cp);
  return cp;
}

bool CalculateLines(GlimmetDoc* doc, Pane* pane, uint32_t* count) {
  if (count) *count = 0;
  if (!doc || !pane) return false;
  LineFormat format;
  if (!InitFormatLine(doc, pane, &format, kFormatBuildLines)) return false;
  DocRange range;
  DraftRange(doc, pane, &range);
  pane->lines.clear(range.limit);
  uint32_t index = 0;
  const double bottom = pane->wholeRange ? kNoBottom : Bounds(pane).bottom();
  DrawNewLines(doc, pane, &format, uint32_t(std::max(pane->firstDraftCp, 0)), DraftTop(doc, pane), bottom,
               range.limit, &index, nullptr, QRectF());
  ReleaseLineFormat(&format);
  if (count) *count = pane->lines.count();
  return true;
}

bool ShouldSetNewFirstCp(GlimmetDoc* doc, Pane* pane, uint32_t rangeFirst, uint32_t rangeLimit, bool replace) {
  const uint32_t first = uint32_t(std::max(pane->firstDraftCp, 0));
  const bool inRange = rangeFirst <= first && first < rangeLimit;
  DraftLineTable& lines = pane->lines;
  if (inRange && !lines.empty() && !lines.at(0).dirty) return false;
  const int32_t start = DraftLineStart(doc, pane, inRange ? first : rangeFirst, 0);
  if (inRange && start == int32_t(first)) return false;
  const int32_t snapped = start < 0 ? int32_t(rangeFirst) : start;
  pane->firstDraftCp = snapped;
  pane->partialOffset = 0;
  if (replace && !lines.empty()) lines.setCp(0, uint32_t(snapped));
  return true;
}

float TallLinePartialScroll(GlimmetDoc* doc, Pane* pane, int32_t cp, float h) {
  if (cp < 0 || h < kTallLine) return 0;
  const double viewHeight = Bounds(pane).height();
  if (CpIsWithinKnot(doc, uint32_t(cp), kKnotRow, nullptr, false))
    return h < viewHeight ? 0 : float(viewHeight / 4);
  PropRecord chars;
  FetchCharProps(doc, uint32_t(cp), nullptr, &chars);
  const GMFontMetrics m = CurrentTypesetter().fontMetrics(chars);
  const float step = std::ceil(m.ascent - m.descent + m.leading);
  DocRange para;
  PropRecord props;
  FetchParaProps(doc, pane, uint32_t(cp), &para, &props);
  const int64_t multiple = props.get<int64_t>(ParaField::multiple);
  const float factor = multiple == 0 || multiple == kEmuPerPoint ? 1.0f : Points(multiple);
  if (factor > 1) h -= (factor - 1) * m.ascent;
  if (pane->lines.count() >= 2 && pane->lines.cpAt(1) >= para.limit) h -= Points(props.get<int64_t>(ParaField::spaceAfter));
  if (uint32_t(std::max(pane->firstDraftCp, 0)) == para.first) h -= Points(props.get<int64_t>(ParaField::spaceBefore));
  return step <= 0 || h < 2 * step ? 0 : step;
}

namespace {

bool IsTallFirstLine(GlimmetDoc* doc, Pane* pane) {
  if (pane->lines.empty()) return false;
  const float height = float(pane->lines.at(0).height);
  const float step = TallLinePartialScroll(doc, pane, pane->firstDraftCp, height);
  if (step <= 0) return false;
  const float offset = pane->partialOffset + step;
  if (offset >= height) return false;
  pane->partialOffset = offset;
  return true;
}

bool SetupBackwardScroll(GlimmetDoc* doc, Pane* pane, LineFormat* format, uint32_t* cp, uint32_t* firstCp) {
  if (!InitFormatLine(doc, pane, format, kFormatCollectRuns)) return false;
  DocRange range;
  DraftRange(doc, pane, &range);
  if (pane->lines.empty()) CalculateLines(doc, pane, nullptr);
  const uint32_t first = pane->lines.empty() ? range.first : pane->lines.cpAt(0);
  *cp = *firstCp = first;
  DocRange tableRange;
  KnotInfo row;
  if (CpIsWithinKnot(doc, first, kKnotTable, &tableRange, false) || (first + 1 < uint32_t(doc->totalLength) &&
                                                                     FetchKnot(doc, first, &row, 0) &&
                                                                     row.type() == kKnotTable)) {
    if (first > range.first + 1) *cp = first - 1;
    return true;
  }
  DocRange para;
  FetchParaProps(doc, pane, first, &para, nullptr);
  if (first <= FirstVisibleCpInPara(doc, pane, first) && para.first > range.first && first > 0) *cp = first - 1;
  else if (first == para.first && para.first > range.first) *cp = first - 1;
  return true;
}

}  // namespace

int32_t PrecedingPageCp(GlimmetDoc* doc, Pane* pane, uint32_t cp, uint32_t limit, LineFormat* format,
                        float* height, float pageHeight) {
  DocRange range;
  DraftRange(doc, pane, &range);
  DocRange firstPara;
  FetchParaProps(doc, pane, VisibleCpCore(doc, pane, range.first, true), &firstPara, nullptr);
  const uint32_t top = FirstVisibleCpInPara(doc, pane, firstPara.first);
  float sum = 0;
  bool firstExamined = true;
  ParaLineHeights heights;
  for (;;) {
    float paraHeight = 0;
    const uint32_t start = GetParaLineHeights(doc, pane, cp, limit, format, &paraHeight, &heights);
    if (start == kGMNone) return -1;
    if (sum + paraHeight >= pageHeight) {
      int32_t target = int32_t(start);
      if (sum + paraHeight != pageHeight) {
        size_t i = heights.cps.size();
        while (i > 0) {
          const float h = heights.heights[i - 1];
          if (sum + h >= pageHeight && !(firstExamined && i == heights.cps.size())) break;
          sum += h;
          --i;
        }
        target = int32_t(i < heights.cps.size() ? heights.cps[i] : heights.cps.back());
      } else {
        sum += paraHeight;
      }
      *height = sum;
      return target;
    }
    sum += paraHeight;
    if (start <= top || start == 0) {
      *height = sum;
      return int32_t(range.first);
    }
    cp = start - 1;
    limit = start;
    firstExamined = false;
  }
}

void PostScrollCheck(GlimmetDoc* doc, Pane* pane) {
  if (!doc || !pane) return;
  if (pane->partialOffset != 0) NoteNewScrollPosition(doc, pane);
  DraftLineTable& lines = pane->lines;
  if (lines.empty()) {
    TrashDraft(doc, pane, false);
    return;
  }
  lines.at(0).dirty = 1;
  bool redraw = pane->redrawPending;
  if (!redraw && doc->fullRedraw) {
    TrashDraft(doc, pane, false);
    redraw = true;
  }
  if (!redraw) {
    DocRange range;
    DraftRange(doc, pane, &range);
    bool changed = false;
    if (!pane->wholeRange) changed = ShouldSetNewFirstCp(doc, pane, range.first, range.limit, true);
    LineFormat format;
    if (!InitFormatLine(doc, pane, &format, kFormatDraw)) return;
    const QRectF bounds = Bounds(pane);
    double y = pane->wholeRange ? bounds.y() : DraftTop(doc, pane);
    const double bottom = pane->wholeRange ? kNoBottom : bounds.bottom();
    double lastBottom = -1;
    if (!lines.empty() && !lines.at(lines.count() - 1).dirty) {
      const DraftLine& last = lines.at(lines.count() - 1);
      lastBottom = last.y + last.height;
    }
    const double x = LineX(pane);
    const int64_t width = DraftWidth(doc, pane);
    uint32_t cp = uint32_t(std::max(pane->firstDraftCp, 0));
    uint32_t index = 0;
    while (y < bottom && cp < range.limit) {
      if (index < lines.count()) {
        const DraftLine& held = lines.at(index);
        if (!held.dirty && lines.cpAt(index) == cp && std::abs(held.y - y) < 0.001) {
          y += held.height;
          cp = lines.cpAt(index + 1);
          ++index;
          continue;
        }
      }
      if (!FormatLine(cp, width, &format)) break;
      const DraftLine entry = EntryFor(format, x, y);
      QRectF dirty = RectOf(entry);
      if (index < lines.count()) {
        dirty = dirty.united(RectOf(lines.at(index)));
        if (lines.cpAt(index) < format.limitCp) {
          uint32_t n = 1;
          while (index + n < lines.count()) {
            const DraftLine& next = lines.at(index + n);
            if (!next.dirty && lines.cpAt(index + n) >= format.limitCp) break;
            dirty = dirty.united(RectOf(next));
            ++n;
          }
          lines.erase(index, n);
        }
      }
      if (pane->view) pane->view->setNeedsDisplay(dirty);
      lines.insert(index, cp, entry);
      ++index;
      y += entry.height;
      cp = std::max(format.limitCp, cp + 1);
    }
    ReleaseLineFormat(&format);
    lines.truncate(index, cp);
    double newBottom = -1;
    if (!lines.empty()) newBottom = lines.at(lines.count() - 1).y + lines.at(lines.count() - 1).height;
    if (changed || newBottom != lastBottom) NoteNewScrollPosition(doc, pane);
  }
  if (pane->partialOffset == 0) NoteNewScrollPosition(doc, pane);
}

void ScrollVertDraft(GlimmetDoc* doc, Pane* pane, int32_t amount, int unit) {
  if (!doc) return;
  if (!pane) pane = CurrentPane(doc);
  DocRange range;
  DraftRange(doc, pane, &range);
  DraftLineTable& lines = pane->lines;
  const double viewHeight = Bounds(pane).height();
  const uint8_t direction = doc->pageKeyDirection;
  auto finish = [&](int32_t to) {
    doc->pageKeyDirection = 0;
    if (to >= 0 && uint32_t(to) + 1 >= range.limit && range.limit > 0)
      to = DraftLineStart(doc, pane, range.limit - 1, 0);
    if (to < 0 || to == pane->firstDraftCp) return;
    if (VisibleCpCore(doc, pane, uint32_t(to), true) == VisibleCpCore(doc, pane, range.first, true))
      to = int32_t(range.first);
    pane->firstDraftCp = to;
    pane->partialOffset = 0;
    TrashDraft(doc, pane, false);
  };
  if (unit == kScrollCp) {
    finish(DraftLineStart(doc, pane, uint32_t(std::max(amount, 0)), 0));
    return;
  }
  const bool page = unit != kScrollLine || direction != 0;
  const bool back = page ? (amount < 0 || direction == 1) : amount <= 0;
  if (!back) {
    if (lines.empty()) {
      uint32_t count = 0;
      if (!CalculateLines(doc, pane, &count) || count == 0) return;
    }
    if (lines.count() == 1 || !page) {
      if (!page && IsTallFirstLine(doc, pane)) {
        PostScrollCheck(doc, pane);
        return;
      }
      if (lines.count() == 1) {
        if (lines.at(0).height - pane->partialOffset > viewHeight) {
          pane->partialOffset += float(viewHeight);
          PostScrollCheck(doc, pane);
          return;
        }
      }
      if (!page || lines.count() == 1) {
        finish(int32_t(lines.cpAt(1)));
        return;
      }
    }
    uint32_t k = lines.count();
    const DraftLine& last = lines.at(k - 1);
    if (k >= 3 && last.y + last.height > Bounds(pane).bottom()) --k;
    finish(int32_t(lines.cpAt(k - 1)));
    return;
  }
  // Backwards.
  if (pane->partialOffset != 0) {
    const float step = page || lines.empty() ? 0
                                             : TallLinePartialScroll(doc, pane, pane->firstDraftCp,
                                                                     float(lines.at(0).height));
    if (step <= 0 || pane->partialOffset <= step) pane->partialOffset = std::max(0.0f, pane->partialOffset - float(viewHeight));
    else pane->partialOffset -= step;
    PostScrollCheck(doc, pane);
    return;
  }
  LineFormat format;
  uint32_t cp = 0, firstCp = 0;
  if (!SetupBackwardScroll(doc, pane, &format, &cp, &firstCp)) return;
  if (firstCp <= range.first) {
    doc->pageKeyDirection = 0;
    ReleaseLineFormat(&format);
    return;
  }
  if (!page) {
    ParaLineHeights heights;
    float total = 0;
    if (GetParaLineHeights(doc, pane, cp, firstCp, &format, &total, &heights) == kGMNone || heights.cps.empty()) {
      ReleaseLineFormat(&format);
      return;
    }
    const uint32_t lastCp = heights.cps.back();
    const float lastHeight = heights.heights.back();
    ReleaseLineFormat(&format);
    const float step = TallLinePartialScroll(doc, pane, int32_t(lastCp), lastHeight);
    if (step > 0) {
      doc->pageKeyDirection = 0;
      pane->firstDraftCp =
          VisibleCpCore(doc, pane, lastCp, true) == VisibleCpCore(doc, pane, range.first, true) ? int32_t(range.first)
                                                                                                : int32_t(lastCp);
      pane->partialOffset = lastHeight - step;
      TrashDraft(doc, pane, false);
      CalculateLines(doc, pane, nullptr);
      PostScrollCheck(doc, pane);
      return;
    }
    finish(int32_t(lastCp));
    return;
  }
  float pageHeight = float(viewHeight);
  if (!lines.empty() && lines.at(0).height < viewHeight) pageHeight -= float(lines.at(0).height);
  float height = 0;
  const int32_t to = PrecedingPageCp(doc, pane, cp, firstCp, &format, &height, pageHeight);
  ReleaseLineFormat(&format);
  finish(to);
}

uint32_t SafeIndexOfCp(const DraftLineTable& lines, uint32_t cp, bool atEnd) {
  const uint32_t n = lines.count();
  if (n == 0 || cp < lines.cpAt(0)) return 0;
  if (cp >= lines.endCp()) return atEnd ? n : 0;
  const uint32_t index = lines.indexOfCp(cp);
  return index == kGMNone ? 0 : index;
}

void InvalTextCore(const DocRange& range, bool widen) {
  GlimmetDoc* doc = range.doc;
  ForgetParaLineHeights(doc);
  if (!doc || !doc->owner) return;
  uint32_t start = range.first;
  if (widen) {
    while (start > 0 && !IsBreakChar(doc->charAt(start - 1))) --start;
  } else {
    start = start > 0 ? start - 1 : 0;
  }
  for (uint32_t p = 0; p < doc->paneCount && p < 2; ++p) {
    Pane& pane = doc->panes[p];
    DraftLineTable& lines = pane.lines;
    if (!pane.view || lines.empty() || lines.cpAt(0) > range.limit) continue;
    const uint32_t high = std::min(lines.count(), SafeIndexOfCp(lines, range.limit + 1, true) + 1);
    if (lines.cpAt(high) < start) continue;
    uint32_t low = SafeIndexOfCp(lines, start, false);
    if (low >= lines.count()) continue;
    if (low > 0 && lines.cpAt(low) + lines.at(low - 1).nextWordLength > start) --low;
    for (uint32_t i = low; i < high; ++i) lines.at(i).dirty = 1;
  }
}

void InstallDraftLayout() {
  static DraftLayout layout;
  SetLayoutService(&layout);
  // Variables (dates, page and chapter numbers, references) show the host's text for the
  // document's current pane, in the lines, the plain text, find and the export alike.
  SetVariableTextHook([](GlimmetDoc* doc, const KnotInfo& variable) {
    char16_t buffer[kVariableUstringUnits + 2];
    GetVariableUstring(variable, CurrentPane(doc), buffer);
    return QString(reinterpret_cast<const QChar*>(buffer + 1), buffer[0]);
  });
}

namespace {

// Printing draws the lines that start on the page and either end on it or are taller than it.
void DrawDraftForPrint(GlimmetDoc* doc, Pane* pane, QPainter& painter, const QRectF& page, uint32_t first) {
  DocRange range;
  DraftRange(doc, pane, &range);
  DraftLineTable& lines = pane->lines;
  LineFormat format;
  if (!InitFormatLine(doc, pane, &format, kFormatDraw)) return;
  if (lines.empty() || lines.cpAt(0) != first) {
    lines.clear(range.limit);
    uint32_t index = 0;
    DrawNewLines(doc, pane, &format, first, DraftTop(doc, pane), page.bottom(), range.limit, &index, nullptr, QRectF());
  } else if (lines.endCp() < range.limit) {
    const DraftLine& last = lines.at(lines.count() - 1);
    uint32_t index = lines.count();
    DrawNewLines(doc, pane, &format, lines.endCp(), last.y + last.height, page.bottom(), range.limit, &index, nullptr,
                 QRectF());
  }
  const int64_t width = DraftWidth(doc, pane);
  for (uint32_t i = 0; i < lines.count(); ++i) {
    const DraftLine line = lines.at(i);
    if (line.y >= page.bottom()) break;
    const double bottom = line.y + line.height;
    if (line.y < 0 || bottom <= page.top() || (bottom > page.bottom() && line.height <= page.height())) continue;
    if (FormatLine(lines.cpAt(i), width, &format))
      DrawFormattedLine(painter, format, kNoKolor, 0, QRectF(line.x, line.y, line.width, line.height), page);
  }
  ReleaseLineFormat(&format);
}

}  // namespace

void DrawDraft(GlimmetDoc* doc, Pane* pane, QPainter& painter, const QRectF& dirty, bool printing,
               bool keepFirstCp) {
  if (!doc || !pane) return;
  if (pane->contentsKind >= 4) LogAssert("Bad display mode", __func__, __FILE__, __LINE__);
  DocRange range;
  DraftRange(doc, pane, &range);
  DraftLineTable& lines = pane->lines;
  for (uint32_t i = 0; i < lines.count(); ++i) {
    if (lines.at(i).dirty) {
      PostScrollCheck(doc, pane);
      break;
    }
  }
  if ((!keepFirstCp && ShouldSetNewFirstCp(doc, pane, range.first, range.limit, false)) || doc->fullRedraw)
    lines.clear(range.limit);
  doc->fullRedraw = false;
  if (printing) {
    DrawDraftForPrint(doc, pane, painter, dirty, keepFirstCp ? 0 : uint32_t(std::max(pane->firstDraftCp, 0)));
    return;
  }
  const QRectF bounds = Bounds(pane);
  const QRectF area = dirty.intersected(bounds);
  if (area.isEmpty()) return;
  const double bottom = bounds.bottom();
  LineFormat format;
  if (!InitFormatLine(doc, pane, &format, kFormatDraw)) return;
  const uint32_t first = keepFirstCp ? 0 : uint32_t(std::max(pane->firstDraftCp, 0));
  const uint32_t before = lines.count();
  bool formatted = false;
  uint32_t index = 0;
  double y = DraftTop(doc, pane);
  uint32_t cp = first;
  if (lines.empty() || lines.cpAt(0) != first) {
    const uint32_t stop = lines.empty() ? range.limit : lines.cpAt(0);
    cp = DrawNewLines(doc, pane, &format, first, y, bottom, stop, &index, &painter, area);
    formatted = true;
    if (index > 0) y = lines.at(index - 1).y + lines.at(index - 1).height;
  }
  const int64_t width = DraftWidth(doc, pane);
  const float viewRight = float(bounds.right());
  while (index < lines.count() && lines.cpAt(index) < range.limit) {
    const DraftLine line = lines.at(index);
    cp = lines.cpAt(index);
    y = line.y;
    if (line.y >= bottom) {
      lines.truncate(index, cp);
      break;
    }
    QRectF wide(line.x, line.y, 1000000, line.height);
    if (wide.intersects(area) && FormatLine(cp, width, &format))
      DrawFormattedLine(painter, format, kNoKolor, viewRight, QRectF(line.x, line.y, line.width, line.height), area);
    y = line.y + line.height;
    cp = lines.cpAt(index + 1);
    ++index;
    if (y >= bottom) {
      lines.truncate(index, cp);
      break;
    }
  }
  if (cp < range.limit && y < bottom && index == lines.count()) {
    DrawNewLines(doc, pane, &format, cp, y, bottom, range.limit, &index, &painter, area);
    formatted = true;
  }
  ReleaseLineFormat(&format);
  if (formatted && lines.count() != before) NoteNewScrollPosition(doc, pane);
}
