#include "glimmet/layout/gmLineFormat.h"

#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flCharacterClasses.h"
#include "framlet/foundation/flDrawing.h"
#include "glimmet/layout/gmLineDraw.h"
#include "glimmet/layout/gmTableLayout.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmFetch.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmLists.h"
#include "glimmet/storage/gmTables.h"

#include <QRectF>

#include <algorithm>
#include <cmath>

namespace {

constexpr float kMinimumRightRoom = 36;  // points a line always has beyond its left edge
constexpr float kDefaultTabInterval = 36;
constexpr float kMarkWidth = 12;
constexpr float kKnotSlotWidth = 20;
constexpr float kTagBoxSize = 16;
constexpr float kNoWrapWidth = 1000000;
constexpr float kTabMinimumStep = 2;
constexpr uint32_t kMaxLineCharacters = 511;
constexpr uint32_t kMaxRunCharacters = 256;
constexpr char16_t kFigureSpace = 0x2007;
constexpr char16_t kZeroWidthSpace = 0x200B;
constexpr char16_t kLineSeparator = 0x2028;

bool g_darkAppearance = false;
bool g_nothingFitLogged = false;

float Points(int64_t emu) { return float(double(emu) / kEmuPerPoint); }

// A document may ask that its marks never show, whatever the pane's option.
bool ShowsNoMarks(const GlimmetDoc* doc) { return doc->docProps.body[DocField::hideBmk] != 0; }

bool IsWordClass(char16_t c) {
  const uint32_t type = TypeOfChar(c);
  return type >= kCharClassUpper && type <= kCharClassDigit;
}

// The line-kink kind recorded for a knot type met at its begin kink; all ones for none.
uint32_t LineKinkKind(uint32_t type) {
  switch (type) {
    case kKnotBookmark: return kLineKinkBookmark;
    case kKnotCheckbox: return kLineKinkCheckbox;
    case kKnotDivider: return kLineKinkDivider;
    case kKnotLink: return kLineKinkLink;
    case kKnotList: return kLineKinkList;
    case kKnotNote: return kLineKinkNote;
    case kKnotPicture: return kLineKinkPicture;
    case kKnotToc: return kLineKinkToc;
    case kKnotTocEntry: return kLineKinkToce;
    case kKnotVar: return kLineKinkVariable;
    default: return kGMNone;
  }
}

QString Affix(const PropRecord& para, uint32_t offset) {
  const uint16_t count = std::min<uint16_t>(para.get<uint16_t>(offset), 4);
  return QString(reinterpret_cast<const QChar*>(para.body + offset + 2), count);
}

// The working state of one FormatLine call.
struct FormatState {
  LineFormat* f = nullptr;
  GlimmetDoc* doc = nullptr;
  Pane* pane = nullptr;
  Typesetter* ts = nullptr;
  bool collect = false;
  bool showInvisibles = false;
  bool noWrap = false;
  bool marksAllowed = true;
  bool highlighted = false;
  uint32_t endCp = 0;
  bool markHits = false;  // runs end at the edges of find hits, which are underlined

  DocRange para;
  PropRecord paraProps;
  uint32_t paraFirstVisible = 0;
  uint32_t lineFirstVisible = 0;
  std::vector<uint32_t> tabs;
  uint32_t nextTab = 0;
  float defaultTab = kDefaultTabInterval;
  float lastBar = -1;

  uint32_t cp = 0;
  float x = 0;
  float visibleEnd = 0;
  float ascent = 0, descent = 0;
  bool heightSet = false;
  PropRecord chars;
  bool charsSet = false;
  bool recolourRun = false;
  int openSegment = -1;
  QString pending;
  int32_t pendingFirst = -1;

  bool tabPending = false;
  size_t tabRun = 0;
  uint32_t tabWord = 0;
  float xAtTab = 0;
  int32_t decimalCp = -1;

  bool done = false;
  bool errorLine = false;
};

// Segments.
void BeginLineSegment(FormatState& s) {
  LineRun run;
  run.type = kRunText;
  run.column = s.f->characterCount;
  run.first = -1;
  run.segment = std::make_shared<LineSegment>();
  run.segment->column = s.f->characterCount;
  if (s.charsSet) {
    run.segment->baselineShift = Points(s.chars.get<int64_t>(CharField::subscript));
    run.segment->ownSegment = s.chars.body[CharField::flag10] != 0;
    run.segment->noLeading = s.chars.body[CharField::noLeading] != 0;
    run.segment->shadow = s.chars.body[CharField::shadow] != 0;
    run.segment->underline = s.chars.get<uint32_t>(CharField::underline);
  }
  s.f->runs.push_back(std::move(run));
  s.openSegment = int(s.f->runs.size()) - 1;
}

void AddRunToLineSegment(LineSegment& segment, const QString& text, int32_t first, int32_t limit,
                         const PropRecord& chars, bool recolour) {
  if (text.isEmpty()) return;
  LinePiece piece;
  piece.offset = uint32_t(segment.text.text.size());
  piece.first = first;
  piece.limit = limit;
  segment.pieces.push_back(piece);
  GMSegmentText::Attributes attributes;
  attributes.start = int(segment.text.text.size());
  attributes.length = int(text.size());
  attributes.props = chars;
  attributes.recolour = recolour;
  segment.text.attributes.push_back(attributes);
  segment.text.text += text;
  if (segment.first < 1 && first >= 1) segment.first = first;
}

uint32_t PieceLength(const LineSegment& segment, size_t i) {
  const uint32_t end = i + 1 < segment.pieces.size() ? segment.pieces[i + 1].offset : uint32_t(segment.text.text.size());
  return end - segment.pieces[i].offset;
}

size_t PieceAt(const LineSegment& segment, uint32_t offset) {
  size_t i = 0;
  while (i + 1 < segment.pieces.size() && segment.pieces[i + 1].offset <= offset) ++i;
  return i;
}

// Typesets as much of the segment as fits in width; true when all of it did.
bool EndLineSegment(Typesetter& ts, LineSegment& seg, uint32_t lineFirstVisible, float width) {
  const int length = int(seg.text.text.size());
  seg.unitsFit = 0;
  if (length == 0) return false;
  const bool atLineStart = seg.column == 0;
  const bool atFirstVisible = seg.first >= 0 && uint32_t(seg.first) == lineFirstVisible;
  int fit = ts.suggestLineBreak(seg.text, width);
  if (fit <= 0) {
    if (!atLineStart) return false;
    const LinePiece& p0 = seg.pieces.front();
    if (p0.first >= 0 && p0.limit - p0.first > 1) fit = 1;
    else fit = seg.pieces.size() == 1 ? length : int(PieceLength(seg, 0));
  }
  if (fit < length) {
    const size_t i = PieceAt(seg, uint32_t(fit));
    const LinePiece& p = seg.pieces[i];
    // Generated text, a variable or a knot shown as a word is never split.
    if (p.limit - p.first <= 1 && PieceLength(seg, i) >= 2 && uint32_t(fit) > p.offset) {
      if (i > 0) fit = int(p.offset);
      else fit = atLineStart || atFirstVisible ? int(PieceLength(seg, 0)) : 0;
    }
  }
  if (fit >= 3 && fit < length && !atFirstVisible) {
    const QString& t = seg.text.text;
    const char16_t after = t.at(fit).unicode();
    if (after == 0x2013 || after == 0x2014 || (IsWordClass(t.at(fit - 1).unicode()) && IsWordClass(after))) {
      int back = fit - 1;
      while (back > 0 && TypeOfChar(t.at(back - 1).unicode()) != kCharClassSpace) --back;
      if (back > 0) fit = back;
    }
  }
  if (fit <= 0) return false;
  // No-break hyphens always show as hyphens; a soft hyphen only where the line breaks.
  bool changed = false;
  for (int i = 0; i < fit; ++i) {
    if (seg.text.text.at(i) == QChar(0x2011)) {
      seg.text.text[i] = QChar(u'-');
      changed = true;
    }
  }
  if (fit < length && seg.text.text.at(fit - 1) == QChar(0x00AD)) {
    seg.text.text[fit - 1] = QChar(u'-');
    changed = true;
  }
  Q_UNUSED(changed);
  seg.line = ts.createLine(seg.text, fit);
  if (!seg.line) return false;
  seg.width = seg.line->width();
  seg.ascent = seg.line->ascent();
  seg.descent = seg.line->descent() + 0.5f + (seg.noLeading ? 0 : seg.line->leading());
  seg.trailingWhite = seg.line->trailingWhitespaceWidth();
  seg.unitsFit = uint32_t(fit);
  if (fit == 1 && seg.width > width && !atFirstVisible && !atLineStart) {
    seg.unitsFit = 0;
    seg.line.reset();
    return false;
  }
  return seg.unitsFit == uint32_t(length);
}

void SetCharsAt(FormatState& s, uint32_t cp) {
  FetchCharProps(s.doc, cp, nullptr, &s.chars);
  s.charsSet = true;
}

void UpdateLineHeight(FormatState& s, const LineSegment& seg) {
  float ascent = seg.ascent, descent = seg.descent;
  if (seg.baselineShift < 0) ascent -= seg.baselineShift;
  else descent += seg.baselineShift;
  if (seg.underline == 6 || seg.underline == 3) {
    float position = 0;
    const float t = seg.text.attributes.empty() ? 1 : FontUnderlineMetrics(seg.text.attributes.front().props, &position);
    const float room = position + (seg.underline == 6 ? std::ceil(t) * t : std::ceil(2 * t) + t);
    descent = std::max(descent, room);
  }
  s.ascent = std::max(s.ascent, ascent);
  s.descent = std::max(s.descent, descent);
  s.heightSet = true;
}

void EnsureLineHeightSet(FormatState& s) {
  if (s.heightSet) return;
  if (!s.charsSet) SetCharsAt(s, std::min(s.cp, uint32_t(s.doc->totalLength - 1)));
  const GMFontMetrics m = s.ts->fontMetrics(s.chars);
  s.ascent = std::max(s.ascent, m.ascent);
  s.descent = std::max(s.descent, m.descent + 0.5f + (s.chars.body[CharField::noLeading] ? 0 : m.leading));
  s.heightSet = true;
}

void FlushPending(FormatState& s) {
  if (s.pending.isEmpty()) return;
  if (s.openSegment < 0) BeginLineSegment(s);
  LineSegment& seg = *s.f->runs[size_t(s.openSegment)].segment;
  AddRunToLineSegment(seg, s.pending, s.pendingFirst, s.pendingFirst + int32_t(s.pending.size()), s.chars,
                      s.recolourRun);
  if (s.f->runs[size_t(s.openSegment)].first < 0) s.f->runs[size_t(s.openSegment)].first = s.pendingFirst;
  s.pending.clear();
  s.pendingFirst = -1;
}

void EndLineAt(FormatState& s, uint32_t cp, uint32_t kind) {
  s.cp = cp;
  s.f->breakKind = kind;
  s.done = true;
}

void ErrorLine(FormatState& s, uint32_t lineFirst);

// Closes the open segment at the room left on the line; false when the line became full.
bool FinishLineSegment(FormatState& s) {
  if (s.openSegment < 0) return true;
  FlushPending(s);
  const size_t index = size_t(s.openSegment);
  s.openSegment = -1;
  LineRun& run = s.f->runs[index];
  LineSegment& seg = *run.segment;
  const float room = s.noWrap ? kNoWrapWidth : s.f->rightEdge - s.x;
  if (EndLineSegment(*s.ts, seg, s.lineFirstVisible, room)) {
    run.limit = int32_t(s.cp);
    run.width = seg.width;
    s.x += seg.width;
    s.visibleEnd = s.x - seg.trailingWhite;
    UpdateLineHeight(s, seg);
    return true;
  }
  const int32_t segmentFirst = run.first >= 0 ? run.first : int32_t(s.cp);
  if (seg.unitsFit == 0) {
    // A segment that holds the line's first text (after a marker, say) cannot move on.
    if (seg.column == 0 || segmentFirst <= int32_t(s.lineFirstVisible)) {
      ErrorLine(s, s.f->firstCp);
      return false;
    }
    s.f->runs.erase(s.f->runs.begin() + std::ptrdiff_t(index));
    EndLineAt(s, uint32_t(segmentFirst), kBreakFull);
    return false;
  }
  // Part of it fits: the line breaks at the first unit that did not.
  const size_t holding = PieceAt(seg, seg.unitsFit);
  int32_t breakCp = -1;
  for (size_t i = holding + 1; i-- > 0;) {
    const LinePiece& p = seg.pieces[i];
    if (p.first < 0) continue;
    breakCp = i == holding ? p.first + int32_t(seg.unitsFit - p.offset) : p.limit;
    if (i == holding && p.limit - p.first <= 1) breakCp = seg.unitsFit > p.offset ? p.limit : p.first;
    break;
  }
  seg.pieces.resize(holding + 1);
  if (seg.pieces.back().offset == seg.unitsFit && holding > 0) seg.pieces.pop_back();
  if (breakCp < 0) breakCp = segmentFirst;
  KnotInfo knot;
  if (FetchKnot(s.doc, uint32_t(breakCp), &knot, 0) && uint32_t(breakCp) > knot.first &&
      (knot.type() == kKnotLink || knot.type() == kKnotBookmark || knot.type() == kKnotTag)) {
    breakCp = int32_t(knot.limit);
  }
  if (segmentFirst != int32_t(s.lineFirstVisible) && breakCp > 0 && uint32_t(breakCp) < uint32_t(s.doc->totalLength) &&
      IsWordClass(s.doc->charAt(uint32_t(breakCp) - 1)) && IsWordClass(s.doc->charAt(uint32_t(breakCp)))) {
    s.f->runs.erase(s.f->runs.begin() + std::ptrdiff_t(index));
    EndLineAt(s, uint32_t(segmentFirst), kBreakFull);
    return false;
  }
  if (uint32_t(breakCp) <= s.f->firstCp) {
    LogAssert("No line advance", __func__, __FILE__, __LINE__);
    breakCp = int32_t(s.f->firstCp) + 1;
  }
  run.limit = breakCp;
  run.width = seg.width;
  s.x += seg.width;
  s.visibleEnd = s.x - seg.trailingWhite;
  UpdateLineHeight(s, seg);
  EndLineAt(s, uint32_t(breakCp), kBreakFull);
  return false;
}

// A line whose first unit does not fit shows "[error]" and skips the rest of its paragraph.
void ErrorLine(FormatState& s, uint32_t lineFirst) {
  if (!g_nothingFitLogged) {
    g_nothingFitLogged = true;
    LogString("Nothing fit at start of line (cp=%d)", int(lineFirst));
  }
  s.f->runs.clear();
  PropRecord first;
  FetchCharProps(s.doc, lineFirst, nullptr, &first);
  LineRun run;
  run.type = kRunText;
  run.segment = std::make_shared<LineSegment>();
  AddRunToLineSegment(*run.segment, QStringLiteral("[error]"), -1, -1, first, false);
  run.segment->generated = true;
  run.segment->line = s.ts->createLine(run.segment->text, int(run.segment->text.text.size()));
  if (run.segment->line) {
    run.segment->width = run.segment->line->width();
    run.segment->ascent = run.segment->line->ascent();
    run.segment->descent = run.segment->line->descent() + 0.5f + run.segment->line->leading();
    run.segment->unitsFit = uint32_t(run.segment->text.text.size());
  }
  run.width = run.segment->width;
  s.ascent = s.descent = 0;
  UpdateLineHeight(s, *run.segment);
  s.f->runs.push_back(run);
  s.x = s.f->originX + run.width;
  s.visibleEnd = s.x;
  s.tabPending = false;
  s.errorLine = true;
  EndLineAt(s, std::max(s.para.limit, lineFirst + 1), kBreakParagraph);
}

// Tabs.
void AdjustTab(FormatState& s) {
  if (!s.tabPending) return;
  s.tabPending = false;
  const float stop = Points(int64_t(TabPosition(s.tabWord)));
  float advance = 0;
  switch (TabAlignment(s.tabWord)) {
    case 1: advance = stop - (s.x + s.xAtTab) / 2; break;
    case 2: advance = stop - s.x; break;
    case 3: {
      float decimalX = s.x;
      if (s.decimalCp >= 0) {
        float sum = s.xAtTab;
        for (size_t i = s.tabRun + 1; i < s.f->runs.size(); ++i) {
          const LineRun& r = s.f->runs[i];
          if (r.type != kRunText || !r.segment) continue;
          const LineSegment& seg = *r.segment;
          bool found = false;
          for (const LinePiece& p : seg.pieces) {
            if (p.first >= 0 && s.decimalCp >= p.first && s.decimalCp < p.limit) {
              decimalX = sum + PositionOfLineSegmentIndex(seg.line.get(), int(p.offset) + (s.decimalCp - p.first));
              found = true;
              break;
            }
          }
          if (found) break;
          sum += r.width;
        }
      }
      advance = stop - decimalX;
      break;
    }
    default: LogAssert("Unknown alignment", __func__, __FILE__, __LINE__); return;
  }
  if (advance <= 0) return;
  s.f->runs[s.tabRun].width += advance;
  s.x += advance;
  s.visibleEnd += advance;
  if (!s.noWrap && s.x > s.f->rightEdge && !s.done) EndLineAt(s, s.cp, kBreakFull);
}

void MoveToTabStop(FormatState& s, bool advanceCp) {
  AdjustTab(s);
  if (s.done) return;
  float stopX = -1;
  uint32_t word = 0;
  uint32_t index = s.nextTab;
  while (index < s.tabs.size() && Points(int64_t(TabPosition(s.tabs[index]))) < s.x + kTabMinimumStep) ++index;
  const float leftIndent = Points(s.paraProps.get<int64_t>(ParaField::leftIndent)) + (s.f->hasBorderBox ? s.f->leftEdge - Points(s.paraProps.get<int64_t>(ParaField::leftIndent)) - std::min(0.0f, Points(s.paraProps.get<int64_t>(ParaField::firstIndent))) : 0);
  const bool found = index < s.tabs.size();
  if ((!found || Points(int64_t(TabPosition(s.tabs[index]))) > leftIndent) && leftIndent > s.x + kTabMinimumStep) {
    stopX = leftIndent;
  } else if (found) {
    word = s.tabs[index];
    stopX = Points(int64_t(TabPosition(word)));
    s.nextTab = index + 1;
  } else {
    if (s.lastBar > s.x + kTabMinimumStep) {
      stopX = s.lastBar;
    } else {
      stopX = (std::floor(s.x / s.defaultTab) + 1) * s.defaultTab;
      if (stopX - s.x <= kTabMinimumStep) stopX += s.defaultTab;
    }
  }
  LineRun run;
  run.type = kRunTab;
  run.column = s.f->characterCount;
  run.first = advanceCp ? int32_t(s.cp) : -1;
  run.limit = advanceCp ? int32_t(s.cp + 1) : -1;
  run.tabWord = word;
  const uint32_t alignment = TabAlignment(word);
  if (word == 0 || alignment == 0) {
    run.width = std::max(0.0f, stopX - s.x);
    s.x = std::max(s.x, stopX);
    s.visibleEnd = s.x;
  } else {
    s.tabPending = true;
    s.tabWord = word;
    s.xAtTab = s.x;
    s.decimalCp = -1;
  }
  s.f->runs.push_back(run);
  if (s.tabPending) s.tabRun = s.f->runs.size() - 1;
  if (advanceCp) {
    ++s.cp;
    ++s.f->characterCount;
  }
  if (!s.noWrap && s.x > s.f->rightEdge) EndLineAt(s, s.cp, kBreakFull);
}

// Paragraph setup: indents from lists, header tabs, bar tabs taken out of the tab list.
void AdjustParaProps(FormatState& s, uint32_t cp) {
  GlimmetDoc* doc = s.doc;
  FetchParaProps(doc, s.pane, cp, &s.para, &s.paraProps);
  s.paraFirstVisible = FirstVisibleCpInPara(doc, s.pane, cp);
  s.tabs.clear();
  s.nextTab = 0;
  KnotInfo list;
  PropRecord listProps;
  const bool inList = FetchList(doc, cp, &list, &listProps);
  if (!inList && s.paraProps.body[ParaField::headerTabs]) AddHeaderTabs(doc, s.pane, s.paraProps.body);
  const uint32_t allTabs = std::min<uint32_t>(s.paraProps.get<uint16_t>(ParaField::tabCount), kMaxTabs);
  for (uint32_t i = 0; i < allTabs; ++i) {
    const uint32_t tab = s.paraProps.get<uint32_t>(ParaField::tabs + 4 * i);
    if (TabAlignment(tab) >= 4) {
      const float barX = Points(int64_t(TabPosition(tab)));
      s.lastBar = barX;
      if (s.collect) {
        LineRun bar;
        bar.type = kRunBarTab;
        bar.column = s.f->characterCount;
        bar.barX = barX;
        bar.x = barX;
        s.f->runs.push_back(bar);
      }
    } else {
      s.tabs.push_back(tab);
    }
  }
  if (inList) {
    const uint16_t style = s.paraProps.get<uint16_t>(ParaField::style);
    const int32_t level = ListLevelOfStyle(doc, style);
    const int64_t step = listProps.get<int64_t>(ListField::indent);
    if (!s.f->paneDisplay && cp <= list.first + 1 && s.f->kinkInfoCount < kMaxKinkInfos &&
        ((s.f->modeFlags & kFormatCellText) || !CpIsWithinKnot(doc, list.first, kKnotTable, nullptr, false))) {
      s.f->kinkInfos[s.f->kinkInfoCount++] = {int32_t(list.first), 0, kLineKinkList};
    }
    if (level >= 0 && step > 0) {
      const int64_t left = int64_t(level + 1) * step + (listProps.body[ListField::flushLeft] ? 0 : step);
      s.paraProps.set<int64_t>(ParaField::leftIndent, left);
      s.paraProps.set<int64_t>(ParaField::firstIndent, -step);
      std::erase_if(s.tabs, [&](uint32_t tab) { return int64_t(TabPosition(tab)) < left; });
    }
  }
}

// The marker of a paragraph's first line: list markers and prefixes, as generated text.
void AddParagraphMarker(FormatState& s) {
  if (s.cp > s.paraFirstVisible) return;
  if (!(s.f->modeFlags & kFormatCellText) && CpIsWithinKnot(s.doc, s.paraFirstVisible, kKnotTable, nullptr, false))
    return;
  QString marker = Affix(s.paraProps, ParaField::prefix);
  bool checkbox = false;
  uint32_t checked = 0;
  KnotInfo list;
  PropRecord listProps;
  if (FetchList(s.doc, s.paraFirstVisible, &list, &listProps)) {
    const int32_t level = ListLevelOfStyle(s.doc, s.paraProps.get<uint16_t>(ParaField::style));
    if (level < 0) return;
    const QString entry = ListEntryMarker(s.doc, s.paraFirstVisible, list.first, uint32_t(level), listProps);
    if (entry.isNull()) {
      checkbox = true;
      checked = s.paraProps.body[ParaField::checkboxOn];
      marker = QStringLiteral("\t");
    } else {
      marker = entry;
    }
  }
  if (marker.isEmpty() && !checkbox) return;
  SetCharsAt(s, s.paraFirstVisible);
  if (!marker.isEmpty() && marker.front() == QChar(0)) {
    checkbox = true;
    marker.remove(0, 1);
  }
  if (marker.endsWith(QChar(u'\t'))) marker.chop(1);
  if (checkbox) {
    LineRun box;
    box.type = kRunCheckbox;
    box.column = s.f->characterCount;
    box.checked = checked;
    s.f->runs.push_back(box);
    marker.prepend(QChar(kZeroWidthSpace));
  }
  if (!marker.isEmpty()) {
    BeginLineSegment(s);
    LineSegment& seg = *s.f->runs.back().segment;
    AddRunToLineSegment(seg, marker, -1, -1, s.chars, s.recolourRun);
    seg.generated = true;
    s.f->characterCount += uint32_t(marker.size());
    FinishLineSegment(s);
  }
  if (!s.done) MoveToTabStop(s, false);
}

bool HiddenBreakShown(FormatState& s) { return s.showInvisibles && s.marksAllowed; }

void AddInvisibleMark(FormatState& s, uint32_t cp, uint32_t item, uint32_t code, float width = 0) {
  if (!s.collect) return;
  LineRun mark;
  mark.type = kRunInvisible;
  mark.column = s.f->characterCount;
  mark.first = int32_t(cp);
  mark.limit = int32_t(cp + 1);
  mark.showItem = item;
  mark.showCode = code;
  mark.width = width;
  s.f->runs.push_back(mark);
}

void HandleLineBreak(FormatState& s, uint32_t kind, char16_t ch) {
  if (s.cp + 1 == s.para.limit) {
    const QString end = Affix(s.paraProps, ParaField::suffix);
    if (!end.isEmpty()) {
      if (s.openSegment < 0) BeginLineSegment(s);
      LineSegment& seg = *s.f->runs[size_t(s.openSegment)].segment;
      AddRunToLineSegment(seg, end, -1, -1, s.chars, s.recolourRun);
      FinishLineSegment(s);
      if (s.done) return;
    }
  }
  EnsureLineHeightSet(s);
  if (HiddenBreakShown(s)) AddInvisibleMark(s, s.cp, kShowCharacter, ch, kMarkWidth);
  if (int64_t(s.cp) + 1 == int64_t(s.doc->userLength) && kind == kBreakParagraph) kind = kBreakBodyEnd;
  ++s.f->characterCount;
  uint32_t next = s.cp + 1;
  // The end kink of a tag or bookmark that directly follows belongs to this line.
  if (next < uint32_t(s.doc->totalLength) && IsKinkChar(s.doc->charAt(next))) {
    KnotInfo knot;
    if (FetchKnot(s.doc, next, &knot, 0) && knot.limit == next + 1 &&
        (knot.type() == kKnotTag || knot.type() == kKnotBookmark))
      ++next;
  }
  EndLineAt(s, next, kind);
}

// Pictures.
QSizeF PictureSize(FormatState& s, const KnotInfo& knot, uint32_t* scaleOut) {
  QSizeF size(0, 0);
  const uint32_t index = knot.entry.pictureIndex();
  if (index < s.doc->pictures.size() && s.doc->pictures[index].image) {
    auto image = std::static_pointer_cast<FLImage>(s.doc->pictures[index].image);
    size = image->size();
  }
  const uint32_t scale = knot.entry.scale();
  if (scaleOut) *scaleOut = scale;
  if (scale == 16383) {
    const double width = s.f->rightEdge - s.f->leftEdge;
    const double height = s.doc->paperHeight - Points(s.doc->docProps.get<int64_t>(DocField::top)) -
                          Points(s.doc->docProps.get<int64_t>(DocField::bottom));
    if (size.width() > width || size.height() > height) {
      QRectF rect(QPointF(0, 0), size);
      CenterRectangle(rect, QRectF(0, 0, width, height));
      size = rect.size();
    }
  } else if (scale != 0) {
    size = QSizeF(std::max(1.0, size.width() * scale / 1000), std::max(1.0, size.height() * scale / 1000));
  }
  return size;
}

void AddKinkInfo(FormatState& s, uint32_t cp, uint32_t kind) {
  if (s.f->paneDisplay || kind == kGMNone || s.f->kinkInfoCount >= kMaxKinkInfos) return;
  s.f->kinkInfos[s.f->kinkInfoCount++] = {int32_t(cp), 0, kind};
}

bool LineHasCharacters(FormatState& s) { return s.cp > s.lineFirstVisible && s.f->characterCount > 0; }

// The thickness of each side of a picture's own border; none for a picture without one.
BorderSides PictureBorderSides(GlimmetDoc* doc, const KnotInfo& knot) {
  if (knot.entry.propIndex == kGMNone) return BorderSides();
  const PropRecord* props = PropertiesAtIndex(doc, knot.entry.propIndex);
  if (!props || props->kind != kPropBorder) return BorderSides();
  const BorderStyle border = BorderStyleAt(*props, 0);
  if (border.kind == 0) return BorderSides();
  BorderDisplay edges;
  SetBorderDisplay(uint32_t(border.kind), 0, 1, 0, 1, &edges);
  return BorderThickness(border, edges);
}

void HandlePicture(FormatState& s, const KnotInfo& knot) {
  const QSizeF size = PictureSize(s, knot, nullptr);
  // The border lies around the picture: it widens the run and raises the line by its own
  // thickness, so that it neither covers the next character nor reaches above the line.
  const BorderSides border = PictureBorderSides(s.doc, knot);
  const float allowance = float(border.left + border.right);
  const float width = float(size.width()) + allowance;
  const float pictureHeight = float(size.height());
  const float height = pictureHeight + float(border.top + border.bottom);
  if (!s.noWrap && LineHasCharacters(s) && s.x + width > s.f->rightEdge) {
    EndLineAt(s, s.cp, kBreakFull);
    return;
  }
  const uint32_t alignment = knot.entry.alignment();
  SetCharsAt(s, s.cp);
  const float shift = Points(s.chars.get<int64_t>(CharField::subscript));
  const float r = shift < 0 ? -shift : 0, l = shift > 0 ? shift : 0;
  switch (alignment) {
    case 0: s.ascent = std::max(s.ascent, height); break;
    case 1: s.descent = std::max(s.descent, height); break;
    case 2:
      s.ascent = std::max(s.ascent, height / 2 + r - l);
      s.descent = std::max(s.descent, height / 2 - r + l);
      break;
    default:
      s.ascent = std::max(s.ascent, height + r - l);
      s.descent = std::max(s.descent, l);
      break;
  }
  s.heightSet = true;
  LineRun run;
  run.type = kRunPicture;
  run.column = s.f->characterCount;
  run.first = int32_t(s.cp);
  run.limit = int32_t(s.cp + 1);
  run.width = width;
  run.borderAllowance = allowance;
  run.pictureHeight = pictureHeight;
  run.knotIndex = knot.index;
  const Pane* pane = s.pane;
  run.selected = pane && pane->frameIndex == kGMNone && pane->selectionKind != 1 &&
                 !(s.f->modeFlags & kFormatPrinting) && !s.f->paneDisplay && pane->selFirst == int32_t(s.cp) &&
                 pane->selLimit == int32_t(s.cp + 1);
  s.f->runs.push_back(run);
  s.x += width;
  s.visibleEnd = s.x;
  ++s.f->characterCount;
  ++s.cp;
}

// Adds generated text standing for one knot cp (a variable, a link's display text).
void AddKnotText(FormatState& s, QString text, uint32_t cp, uint32_t limit) {
  if (text.size() > 255) text.truncate(255);
  if (s.openSegment < 0) BeginLineSegment(s);
  LineRun& run = s.f->runs[size_t(s.openSegment)];
  AddRunToLineSegment(*run.segment, text, int32_t(cp), int32_t(cp + 1), s.chars, s.recolourRun);
  if (run.first < 0) run.first = int32_t(cp);
  s.f->characterCount += uint32_t(text.size());
  s.cp = limit;
}

QChar ApplyCase(uint16_t caps, QChar c, QChar before);

void HandleKnot(FormatState& s) {
  GlimmetDoc* doc = s.doc;
  const uint32_t cp = s.cp;
  KnotInfo knot;
  bool atKink = false;
  if (FetchKnot(doc, cp, &knot, 0)) {
    for (uint32_t k = 0; k < knot.kinkCount && !atKink; ++k) atKink = knot.kinkCps[k] == cp;
  }
  if (!atKink) {
    LogAssert("Bad knot", __func__, __FILE__, __LINE__);
    ++s.cp;
    ++s.f->characterCount;
    return;
  }
  const uint32_t type = knot.type();
  const bool begin = knot.first == cp;
  switch (knot.knotClass) {
    case kKnotClassTable:
      if (s.f->modeFlags & kFormatCellText) {
        FinishLineSegment(s);
        if (s.done) return;
        s.cp = cp + (type == kKnotTable && begin ? 2 : 1);
        return;
      }
      LogAssert("Table/row knot not start of line", __func__, __FILE__, __LINE__);
      FinishLineSegment(s);
      if (!s.done) EndLineAt(s, cp, kBreakFull);
      return;
    case kKnotClassAtomic:
      FinishLineSegment(s);
      if (s.done) return;
      AddKinkInfo(s, cp, LineKinkKind(type));
      switch (type) {
        case kKnotCheckbox: {
          // The box stands on the (shifted) baseline and takes its own width on the line.
          SetCharsAt(s, cp);
          const float side = CheckboxSide(s.chars);
          const float shift = Points(s.chars.get<int64_t>(CharField::subscript));
          s.ascent = std::max(s.ascent, side - shift);
          if (shift > 0) s.descent = std::max(s.descent, shift);
          s.heightSet = true;
          LineRun box;
          box.type = kRunCheckbox;
          box.column = s.f->characterCount;
          box.first = int32_t(cp);
          box.limit = int32_t(cp + 1);
          box.width = side;
          box.checked = knot.entry.checkState();
          s.f->runs.push_back(box);
          s.x += side;
          s.visibleEnd = s.x;
          ++s.f->characterCount;
          ++s.cp;
          return;
        }
        case kKnotDivider:
          if (LineHasCharacters(s)) {
            if (s.f->kinkInfoCount > 0) --s.f->kinkInfoCount;
            EndLineAt(s, cp, kBreakFull);
            return;
          }
          s.f->startKind = kStartDivider;
          SetCharsAt(s, cp);
          EnsureLineHeightSet(s);
          ++s.f->characterCount;
          EndLineAt(s, cp + 1, kBreakParagraph);
          return;
        case kKnotPicture: HandlePicture(s, knot); return;
        case kKnotVar: {
          SetCharsAt(s, cp);
          QString text = VariableKnotText(s.doc, knot);
          const uint16_t caps = s.chars.get<uint16_t>(CharField::caps);
          for (qsizetype i = 0; i < text.size(); ++i)
            text[i] = ApplyCase(caps, text[i], i == 0 ? QChar(u' ') : text[i - 1]);
          if (text.isEmpty()) text = QString(QChar(kZeroWidthSpace));
          AddKnotText(s, text, cp, cp + 1);
          if (s.showInvisibles) AddInvisibleMark(s, cp, kShowCharacter, 0);
          return;
        }
        default:
          LogAssert("Unknown knot type", __func__, __FILE__, __LINE__);
          ++s.cp;
          return;
      }
    case kKnotClassSpanning: {
      if (begin && type != kKnotList && type != kKnotChapter && type != kKnotShort && type != kKnotTag)
        AddKinkInfo(s, cp, LineKinkKind(type));
      const bool showSlots = s.pane && (s.pane->displayFlags & (kPaneShowAllCodes | kPaneShowKnotSlots));
      if (type == kKnotLink && begin && !showSlots && knot.kinkCount >= 2) {
        const uint32_t middle = knot.kinkCps[1];
        const uint32_t end = knot.kinkCps[knot.kinkCount - 1];
        // The shown text sits in the first slot and the address in the second; a link without
        // shown text shows its address.
        QString text = cp + 1 < middle ? TextOfRange({doc, cp + 1, middle}) : QString();
        if (text.isEmpty() && middle + 1 < end) text = TextOfRange({doc, middle + 1, end});
        text.remove(QChar(0));
        text.remove(QChar(1));
        if (text.isEmpty()) {
          s.cp = knot.limit;
          return;
        }
        FlushPending(s);
        SetCharsAt(s, cp + 1 < knot.limit ? cp + 1 : cp);
        AddKnotText(s, text, cp, knot.limit);
        return;
      }
      if (type == kKnotTag && begin) {
        FinishLineSegment(s);
        if (s.done) return;
        if (!s.noWrap && LineHasCharacters(s) && s.x + kTagBoxSize > s.f->rightEdge) {
          EndLineAt(s, cp, kBreakFull);
          return;
        }
        LineRun tag;
        tag.type = kRunTag;
        tag.column = s.f->characterCount;
        tag.first = int32_t(cp);
        tag.limit = int32_t(cp + 1);
        tag.width = kTagBoxSize;
        s.f->runs.push_back(tag);
        SetCharsAt(s, cp);
        const float shift = Points(s.chars.get<int64_t>(CharField::subscript));
        if (shift <= 0) s.ascent = std::max(s.ascent, kTagBoxSize - shift);
        else s.descent = std::max(s.descent, shift + kTagBoxSize);
        s.heightSet = true;
        s.x += kTagBoxSize;
        s.visibleEnd = s.x;
        ++s.f->characterCount;
        s.cp = knot.limit;
        return;
      }
      DocRange same;
      if (!ShouldShowKnot(&knot, cp, s.pane, &same)) {
        s.cp = std::max(same.limit, cp + 1);
        return;
      }
      // A shown kink takes a slot.
      FlushPending(s);
      SetCharsAt(s, cp);
      if (s.openSegment < 0) BeginLineSegment(s);
      LineRun& run = s.f->runs[size_t(s.openSegment)];
      AddRunToLineSegment(*run.segment, QString(QChar(kFigureSpace)), int32_t(cp), int32_t(cp + 1), s.chars, false);
      if (run.first < 0) run.first = int32_t(cp);
      ++s.cp;
      ++s.f->characterCount;
      if (!FinishLineSegment(s)) return;
      s.x += kKnotSlotWidth - run.width;
      s.f->runs.back().width = kKnotSlotWidth;
      if (s.showInvisibles) {
        uint32_t item = kShowMiddleKink;
        if (knot.kinkCount <= 1) item = kShowOnlyKink;
        else if (begin) item = kShowBeginKink;
        else if (cp + 1 == knot.limit) item = kShowEndKink;
        AddInvisibleMark(s, cp, item, type);
      }
      return;
    }
    default:
      LogAssert("Unknown knotClass", __func__, __FILE__, __LINE__);
      ++s.cp;
      return;
  }
}

// The run of text that starts at s.cp: its character properties, and where it must end.
uint32_t StartRun(FormatState& s) {
  DocRange run;
  FetchCharProps(s.doc, s.cp, &run, &s.chars);
  s.charsSet = true;
  const int16_t steps = s.chars.get<int16_t>(CharField::relativeSize);
  if (steps != 0) {
    const int32_t points = s.chars.get<int16_t>(CharField::size) / 4;
    s.chars.set<int16_t>(CharField::size, int16_t(StepOffsetFontSize(points, steps) * 4));
  }
  const uint16_t caps = s.chars.get<uint16_t>(CharField::caps);
  if (caps == 3) {
    const int16_t size = s.chars.get<int16_t>(CharField::size);
    s.chars.set<int16_t>(CharField::size, int16_t(std::max<int>(16, size * 3 / 4)));
  }
  uint32_t limit = std::min({s.cp + kMaxRunCharacters, s.para.limit, std::max(run.limit, s.cp + 1), s.endCp});
  const uint32_t knot = NextKnotCp(s.doc, s.cp);
  if (knot != kGMNone && knot > s.cp) limit = std::min(limit, knot);
  if (knot == s.cp) limit = s.cp + 1;
  const Kolor back = s.chars.get<uint32_t>(CharField::backColor);
  // White shading inside a border is drawn white (only borderless white shading takes the dark
  // background), so black text on it must stay black.
  const BorderStyle paraBorder = BorderStyleAt(s.paraProps, ParaField::border);
  const Kolor shading = paraBorder.backColor;
  s.recolourRun = s.f->recolour && (!KolorIsColor(back) || back == kWhiteKolor) &&
                  (!KolorIsColor(shading) || (shading == kWhiteKolor && paraBorder.kind == 0));
  // In dark appearance a highlighted selection keeps its text's own colour: runs end at its edges.
  const Pane* pane = s.pane;
  if (s.f->darkMode && s.highlighted && pane && pane->frameIndex == kGMNone && pane->selLimit > pane->selFirst) {
    for (const int32_t edge : {pane->selFirst, pane->selLimit})
      if (edge > int32_t(s.cp) && uint32_t(edge) < limit) limit = uint32_t(edge);
    if (int32_t(s.cp) >= pane->selFirst && int32_t(s.cp) < pane->selLimit) s.recolourRun = false;
  }
  // Find hits, when they are marked, are runs of their own with an underline of their own.
  bool inHit = false;
  if (s.markHits) {
    const GMCpTable<uint32_t>& hits = s.doc->findHits;
    const uint32_t at = hits.indexOfCp(s.cp);
    if (at != kGMNone && hits.at(at) > s.cp) {
      inHit = true;
      limit = std::min(limit, hits.at(at));
    }
    const uint32_t next = hits.indexOfCpAfter(s.cp + 1);
    if (next < hits.count()) limit = std::min(limit, std::max(hits.cpAt(next), s.cp + 1));
  }
  // Raised, lowered and specially set text is a segment of its own.
  if (s.chars.get<int64_t>(CharField::subscript) != 0 || s.chars.body[CharField::flag10] ||
      s.chars.body[CharField::noLeading]) {
    FinishLineSegment(s);
  } else if (s.openSegment >= 0) {
    const LineSegment& seg = *s.f->runs[size_t(s.openSegment)].segment;
    if (seg.baselineShift != 0 || seg.ownSegment || seg.noLeading) FinishLineSegment(s);
  }
  if (s.collect && limit > s.cp) {
    if (KolorIsColor(back)) {
      LineRun bg;
      bg.type = kRunBackground;
      bg.column = s.f->characterCount;
      bg.first = int32_t(s.cp);
      bg.limit = int32_t(limit);
      bg.fill = back;
      s.f->runs.push_back(bg);
    }
    auto decorate = [&](uint32_t underline, uint32_t strike) {
      LineRun deco;
      deco.type = kRunDecoration;
      deco.column = s.f->characterCount;
      deco.first = int32_t(s.cp);
      deco.limit = int32_t(limit);
      deco.underline = underline;
      deco.strike = strike;
      s.f->runs.push_back(deco);
    };
    const uint32_t underline = s.chars.get<uint32_t>(CharField::underline);
    const uint8_t strike = s.chars.body[CharField::strike];
    if (underline != 0 || strike != 0) decorate(underline, strike);
    if (inHit) decorate(kFindHitUnderline, 0);
    if (s.showInvisibles && s.chars.body[CharField::hidden]) decorate(kHiddenTextUnderline, 0);
  }
  return limit;
}

QChar ApplyCase(uint16_t caps, QChar c, QChar before) {
  switch (caps) {
    case 1:
    case 3: return c.toUpper();
    case 2: return c.toLower();
    case 4: return before.isSpace() || before.isNull() ? c.toUpper() : c.toLower();
    default: return c;
  }
}

void ScanText(FormatState& s) {
  GlimmetDoc* doc = s.doc;
  while (!s.done && s.f->characterCount < kMaxLineCharacters && s.cp < s.endCp) {
    if (s.cp >= s.para.limit) {
      FlushPending(s);
      AdjustParaProps(s, s.cp);
    }
    const uint32_t runLimit = StartRun(s);
    const uint16_t caps = s.chars.get<uint16_t>(CharField::caps);
    bool produced = false;
    while (!s.done && s.cp < runLimit && s.f->characterCount < kMaxLineCharacters) {
      const char16_t ch = doc->charAt(s.cp);
      if (ch == kKnotMarkChar && s.cp + 1 == s.para.limit) {
        FlushPending(s);
        if (!FinishLineSegment(s)) break;
        HandleLineBreak(s, kBreakParagraph, ch);
        produced = true;
        break;
      }
      if (IsKinkChar(ch)) {
        FlushPending(s);
        const uint32_t before = s.cp;
        HandleKnot(s);
        produced = produced || s.cp != before || s.done;
        break;  // the knot may change the properties
      }
      if (ch == 0x09) {
        FlushPending(s);
        if (!FinishLineSegment(s)) break;
        if (s.f->characterCount == 0) EnsureLineHeightSet(s);
        MoveToTabStop(s, true);
        produced = true;
        continue;
      }
      if (ch == 0x0A || ch == kLineSeparator || ch == 0x0C || ch == 0x0B) {
        FlushPending(s);
        if (!FinishLineSegment(s)) break;
        const uint32_t kind = ch == 0x0A ? kBreakParagraph
                              : ch == kLineSeparator ? kBreakLineSeparator
                              : ch == 0x0C ? kBreakPage
                                           : kBreakVerticalTab;
        HandleLineBreak(s, kind, ch);
        produced = true;
        break;
      }
      if (s.pending.isEmpty()) s.pendingFirst = int32_t(s.cp);
      const QChar before = s.cp > 0 ? QChar(doc->charAt(s.cp - 1)) : QChar();
      s.pending += ApplyCase(caps, QChar(ch), before);
      if ((ch == u' ' || ch == 0x00A0 || ch == 0x2011) && s.showInvisibles) {
        AddInvisibleMark(s, s.cp, kShowCharacter, ch);
      }
      if (s.tabPending && (ch == u'.' || ch == u':')) s.decimalCp = int32_t(s.cp);
      ++s.cp;
      ++s.f->characterCount;
      produced = true;
      if (ch == 0x2192) {
        FlushPending(s);
        if (!FinishLineSegment(s)) break;
        break;
      }
    }
    FlushPending(s);
    if (!produced && !s.done) {
      LogAssert("Nothing on line", __func__, __FILE__, __LINE__);
      EndLineAt(s, std::max(s.cp, s.f->firstCp + 1), kBreakParagraph);
    }
  }
}

// Height, spacing and the room of a paragraph border.
// The sides of the paragraph's border for the line [cp, limit), within its border group.
void ParagraphBorderEdges(FormatState& s, uint32_t cp, uint32_t limit, BorderDisplay* edges) {
  const DocRange& range = s.f->paneRange;
  const uint32_t firstVisible = VisibleCpCore(s.doc, s.pane, range.first, true);
  GetParagraphBorderEdges(s.doc, s.pane, s.para, s.paraProps, firstVisible, range.limit, cp, limit, edges);
}

void SetLineHeight(FormatState& s) {
  LineFormat* f = s.f;
  EnsureLineHeightSet(s);
  float ascent = s.ascent, descent = s.descent;
  const int64_t height = s.paraProps.get<int64_t>(ParaField::height);
  if (height < 0) {
    const float h = Points(-height);
    ascent = std::min(ascent, h);
    descent = h - ascent;
  } else if (height > 0) {
    descent = std::max(descent, Points(height) - ascent);
  }
  const int64_t multiple = s.paraProps.get<int64_t>(ParaField::multiple);
  if (multiple != 0 && multiple != kEmuPerPoint && !(f->modeFlags & kFormatNoLineSpacing)) {
    const float factor = float(double(multiple) / kEmuPerPoint);
    const float total = ascent + descent;
    if (factor <= 1) {
      float cut = (1 - factor) * total;
      const float fromDescent = std::min(cut, descent);
      descent -= fromDescent;
      cut -= fromDescent;
      ascent -= std::min(cut, ascent);
    } else {
      f->spaceAbove += (factor - 1) * total;
    }
  }
  const bool firstLine = f->firstCp <= s.paraFirstVisible;
  const bool endsPara = (f->breakKind == kBreakBodyEnd || f->breakKind == kBreakParagraph ||
                         f->breakKind == kBreakPage || f->breakKind == kBreakVerticalTab) &&
                        (f->limitCp >= s.para.limit || f->endsList);
  if (firstLine) f->spaceAbove += Points(s.paraProps.get<int64_t>(ParaField::spaceBefore));
  if (endsPara || s.errorLine) {
    f->spaceBelow += Points(s.paraProps.get<int64_t>(ParaField::spaceAfter));
    f->trailingMarkWidth = kMarkWidth;
  } else if (f->breakKind == kBreakLineSeparator) {
    f->trailingMarkWidth = kMarkWidth;
  }
  if (f->hasBorderBox) {
    const BorderStyle border = BorderStyleAt(s.paraProps, ParaField::border);
    BorderDisplay edges;
    ParagraphBorderEdges(s, f->firstCp, std::max(f->limitCp, f->firstCp + 1), &edges);
    if (!firstLine) edges.top = 0;
    if (!endsPara) edges.bottom = 0;
    f->borderEdges = edges;
    const BorderSides sides = BorderThickness(border, edges);
    f->spaceAbove += sides.top;
    f->spaceBelow += sides.bottom;
  }
  f->lineHeight = std::ceil(ascent + descent + f->spaceAbove + f->spaceBelow);
  f->baseline = ascent + f->spaceAbove;
}

// The next word's length: how much of the next line an edit here could pull back.
uint32_t NextWordLength(FormatState& s) {
  GlimmetDoc* doc = s.doc;
  const uint32_t start = s.f->limitCp;
  const uint32_t end = std::min<uint32_t>(uint32_t(doc->totalLength), start + 100);
  bool other = false;
  uint32_t cp = start;
  for (; cp < end; ++cp) {
    const char16_t c = doc->charAt(cp);
    if (c == 0x0A || c == 0x0B || c == 0x0C || c == kLineSeparator) break;
    if (IsKinkChar(c)) {
      KnotInfo knot;
      if (FetchKnot(doc, cp, &knot, 0) && knot.first == cp) {
        const uint32_t type = knot.type();
        if (type == kKnotBookmark || type == kKnotLink || type == kKnotNote || type == kKnotTag) {
          cp = knot.limit - 1;
          other = true;
          continue;
        }
        if (type == kKnotDivider) {
          ++cp;
          break;
        }
      }
      other = true;
      continue;
    }
    if (TypeOfChar(c) == kCharClassSpace) {
      if (other) break;
      continue;
    }
    if (c == u'-' || c == u'/' || c == u'=' || c == 0x2013 || c == 0x2014 || c == u'|') {
      if (other) {
        ++cp;
        break;
      }
    }
    other = true;
  }
  return cp - start + 1;
}

void Align(FormatState& s) {
  LineFormat* f = s.f;
  if (f->startKind != kStartText || s.noWrap) return;
  const float free = f->rightEdge - s.visibleEnd;
  switch (s.paraProps.get<int32_t>(ParaField::alignment)) {
    case 1: f->originX += free / 2; break;
    case 3: f->originX += free; break;
    case 2: {
      if (f->endsWithBreakChar() || f->breakKind == kBreakRangeEnd || free <= 0) break;
      size_t from = 0;
      for (size_t i = 0; i < f->runs.size(); ++i)
        if (f->runs[i].type == kRunTab) from = i + 1;
      float total = 0;
      for (size_t i = from; i < f->runs.size(); ++i)
        if (f->runs[i].type == kRunText && f->runs[i].segment)
          total += f->runs[i].segment->width - f->runs[i].segment->trailingWhite;
      if (total <= 0) break;
      for (size_t i = from; i < f->runs.size(); ++i) {
        LineRun& run = f->runs[i];
        if (run.type != kRunText || !run.segment || !run.segment->line) continue;
        LineSegment& seg = *run.segment;
        const float visible = seg.width - seg.trailingWhite;
        const float share = visible + free * visible / total;
        auto justified = s.ts->createJustifiedLine(seg.text, int(seg.unitsFit), share);
        if (!justified) continue;
        seg.line = justified;
        seg.width = justified->width();
        run.width = seg.width;
      }
      s.x += free;
      s.visibleEnd = f->rightEdge;
      break;
    }
    default: break;
  }
}

int RunClass(uint32_t type) {
  switch (type) {
    case kRunBackground: return 0;
    case kRunMarked: return 1;
    case kRunSelection: return 2;
    case kRunCheckbox:
    case kRunText:
    case kRunPicture:
    case kRunTab:
    case kRunTag: return 3;
    default: return 4;
  }
}

bool IsContentRun(uint32_t type) { return RunClass(type) == 3; }

// Marked ranges, the selection band, drawing order and positions of the runs.
void FinishRuns(FormatState& s) {
  LineFormat* f = s.f;
  std::vector<LineRun>& runs = f->runs;
  // Content runs first get their x, laid end to end, so that cps can be measured.
  std::stable_sort(runs.begin(), runs.end(), [](const LineRun& a, const LineRun& b) {
    const int ca = RunClass(a.type), cb = RunClass(b.type);
    return ca != cb ? ca < cb : a.column < b.column;
  });
  std::erase_if(runs, [&](const LineRun& r) { return r.first >= 0 && uint32_t(r.first) >= f->limitCp; });
  float sum = 0;
  for (LineRun& run : runs) {
    if (!IsContentRun(run.type)) continue;
    run.x = sum;
    sum += run.width;
  }
  const float endOfLine = f->endsWithBreakChar() ? kMarkWidth : 0;
  auto band = [&](uint32_t type, uint32_t first, uint32_t limit, bool pastEnd) {
    LineRun run;
    run.type = type;
    run.first = int32_t(first);
    run.limit = int32_t(limit);
    run.x = LineXFromCpCore(*f, first);
    run.width = limit > first ? std::max(0.0f, LineXFromCpCore(*f, limit) - run.x) : 0;
    if (pastEnd && limit >= f->limitCp) run.width = std::max(run.width, sum - run.x) + endOfLine;
    return run;
  };
  std::vector<LineRun> added;
  GlimmetDoc* doc = s.doc;
  // Marked ranges: each entry is keyed by its first cp and holds its limit.
  for (uint32_t i = 0; i < doc->markedRanges.count(); ++i) {
    const uint32_t first = doc->markedRanges.cpAt(i);
    const uint32_t limit = doc->markedRanges.at(i);
    if (limit <= f->firstCp || first >= f->limitCp) continue;
    LineRun run = band(kRunMarked, std::max(first, f->firstCp), std::min(limit, f->limitCp), limit >= f->limitCp);
    if (run.width > 0) added.push_back(run);
  }
  const Pane* pane = s.pane;
  if (pane && pane->frameIndex == kGMNone && pane->selectionKind != 1 && !f->paneDisplay &&
      !(f->modeFlags & kFormatNoMarks) && f->startKind != kStartDivider && pane->selLimit > pane->selFirst &&
      uint32_t(pane->selFirst) < f->limitCp && uint32_t(pane->selLimit) > f->firstCp) {
    const uint32_t first = std::max(uint32_t(pane->selFirst), f->firstCp);
    const uint32_t limit = std::min(uint32_t(pane->selLimit), f->limitCp);
    LineRun run = band(kRunSelection, first, limit, false);
    if (run.width <= 0) run.width = 4;
    if ((f->endsWithBreakChar() || f->endsList) && uint32_t(pane->selLimit) >= f->limitCp) {
      run.width = std::max(run.width, sum - run.x) + kMarkWidth;
    }
    added.push_back(run);
  }
  for (LineRun& run : runs) {
    if (run.type == kRunBackground || run.type == kRunDecoration) {
      const uint32_t first = std::max(uint32_t(run.first), f->firstCp);
      const uint32_t limit = std::min(uint32_t(run.limit), f->limitCp);
      float after = 0;
      run.x = LineXFromCpCore(*f, first);
      LineXFromCpCore(*f, limit > first ? limit - 1 : first, &after);
      if (run.type == kRunDecoration && limit >= f->limitCp) after = std::min(after, s.visibleEnd - f->originX);
      run.width = std::max(0.0f, after - run.x);
    } else if (run.type == kRunInvisible) {
      if (run.first >= 0 && f->endsWithBreakChar() && uint32_t(run.first) + 1 == f->limitCp &&
          run.showItem == kShowCharacter && run.width == kMarkWidth) {
        run.x = sum;
      } else if (run.first >= 0) {
        float after = 0;
        run.x = LineXFromCpCore(*f, uint32_t(run.first), &after);
        run.width = after - run.x;
      }
    }
  }
  runs.insert(runs.end(), added.begin(), added.end());
  std::stable_sort(runs.begin(), runs.end(), [](const LineRun& a, const LineRun& b) {
    return RunClass(a.type) < RunClass(b.type);
  });
  // Neighbouring backgrounds and decorations that say the same merge.
  for (size_t i = 1; i < runs.size();) {
    LineRun& a = runs[i - 1];
    const LineRun& b = runs[i];
    if (a.type == b.type && (a.type == kRunBackground || a.type == kRunDecoration) && a.limit == b.first &&
        a.fill == b.fill && a.frame == b.frame && a.underline == b.underline && a.strike == b.strike) {
      a.limit = b.limit;
      a.width = b.x + b.width - a.x;
      runs.erase(runs.begin() + std::ptrdiff_t(i));
    } else {
      ++i;
    }
  }
}

bool FormatRowLine(uint32_t cp, LineFormat* format) {
  GlimmetDoc* doc = format->doc;
  KnotInfo table, row;
  PropRecord props;
  if (!FetchTable(doc, cp, &table, &row, &props)) return false;
  format->rowCp = row.first;
  format->startKind = kStartRow;
  format->breakKind = kBreakRow;
  // The last row takes the table's end kink, so that the line after the table starts with the
  // text that follows it.
  format->limitCp = row.limit + 1 == table.limit ? table.limit : row.limit;
  std::vector<GMRect> cells;
  format->lineHeight = float(RowHeight(doc, format->pane, table, row, props, format->availableWidth, &cells));
  format->lineWidth = Points(format->availableWidth);
  // The row's text runs from its first cell's left to its last cell's right, wherever the
  // table's alignment and indents put them.
  if (!cells.empty()) {
    format->originX = format->leftEdge = float(cells.front().x);
    format->rightEdge = float(cells.back().x + cells.back().width);
  } else {
    format->rightEdge = format->lineWidth;
  }
  format->endX = format->lineWidth;
  format->unalignedEndX = format->endX;
  return true;
}

}  // namespace

float CheckboxSide(const PropRecord& chars) {
  return std::max(12.0f, std::round(chars.get<int16_t>(CharField::size) / 4.0f));
}

void SetDarkAppearance(bool dark) { g_darkAppearance = dark; }
bool DarkAppearance() { return g_darkAppearance; }

float FontUnderlineMetrics(const PropRecord& chars, float* position) {
  return CurrentTypesetter().underlineMetrics(chars, position);
}

float PositionOfLineSegmentIndex(const TypesetLine* line, int index) {
  if (!line || index <= 0) return 0;
  if (index >= line->length()) return line->width();
  return line->offsetForIndex(index);
}

bool InitFormatLine(GlimmetDoc* doc, Pane* pane, LineFormat* format, uint32_t modeFlags) {
  if (!doc || !format) return false;
  *format = LineFormat();
  format->doc = doc;
  format->pane = pane ? pane : CurrentPane(doc);
  if (format->pane && (format->pane->contentsKind == 0 || format->pane->contentsKind == kPaneContentsPlain))
    modeFlags |= kFormatPlainPane;
  format->modeFlags = modeFlags;
  return true;
}

bool FormatLine(uint32_t cp, int64_t availableWidth, LineFormat* format) {
  if (!format || !format->doc) return false;
  GlimmetDoc* doc = format->doc;
  Pane* pane = format->pane ? format->pane : CurrentPane(doc);
  const uint32_t mode = format->modeFlags;
  const Kolor background = format->background;
  ReleaseLineFormat(format);
  *format = LineFormat();
  format->doc = doc;
  format->pane = pane;
  format->modeFlags = mode;
  format->background = background;
  format->firstCp = format->limitCp = cp;
  format->availableWidth = availableWidth;
  format->paneDisplay = pane && pane->paneDisplay;
  if (cp >= uint32_t(doc->totalLength)) return false;
  // A pane of contents kind 3 runs through every chapter: while the line is formatted it shows
  // the chapter holding the cp.
  struct ChapterScope {
    Pane* pane = nullptr;
    uint32_t saved = 0;
    ~ChapterScope() {
      if (pane) pane->chapterIndex = saved;
    }
  } chapterScope;
  if (pane && pane->contentsKind == 3) {
    const uint32_t chapter = doc->chapterCps.indexOfCp(cp);
    if (chapter != kGMNone) {
      chapterScope.pane = pane;
      chapterScope.saved = pane->chapterIndex;
      pane->chapterIndex = chapter;
    }
  }
  GetPaneRange(doc, pane, &format->paneRange);
  format->clipRange = format->paneRange;
  // A line inside a table reaches no further than the table.
  if (!(mode & kFormatCellText)) {
    DocRange table;
    if (CpIsWithinKnot(doc, cp, kKnotTable, &table, false))
      format->clipRange.limit = std::min(format->clipRange.limit, table.limit);
  }
  if (!(mode & kFormatCellText)) {
    const uint32_t at = doc->knots.indexAtCp(cp);
    if (at != kGMNone) {
      const KnotEntry& entry = doc->knots.at(at);
      if (entry.kink == kKinkBegin && (entry.type == kKnotTable || entry.type == kKnotRow))
        return FormatRowLine(cp, format);
    }
  }

  FormatState s;
  s.f = format;
  s.doc = doc;
  s.pane = pane;
  s.ts = &CurrentTypesetter();
  s.collect = mode & kFormatCollectRuns;
  s.showInvisibles = s.collect && pane && pane->showInvisibles && !format->paneDisplay && !ShowsNoMarks(doc) &&
                     !(mode & kFormatPrinting);
  s.noWrap = pane && pane->contentsKind == kPaneContentsPlain && doc->docProps.body[DocField::noWrap] &&
             !(mode & kFormatCellText);
  s.marksAllowed = !(mode & kFormatNoMarks);
  s.highlighted = s.collect && ShouldHighlightSelection(doc, pane) != kHighlightNone;
  s.endCp = uint32_t(doc->totalLength);
  s.markHits = s.collect && !(mode & kFormatPrinting) && doc->markFindHits && !format->paneDisplay;
  format->darkMode = !format->paneDisplay && g_darkAppearance && g_glimmetConfig.darkText;
  format->recolour = format->darkMode && (!KolorIsColor(background) || background == kWhiteKolor);
  s.cp = cp;

  s.lineFirstVisible = VisibleCpCore(doc, pane, cp, true);
  AdjustParaProps(s, std::min(s.lineFirstVisible, uint32_t(doc->totalLength - 1)));
  const float leftIndent = Points(s.paraProps.get<int64_t>(ParaField::leftIndent));
  const float firstIndent = Points(s.paraProps.get<int64_t>(ParaField::firstIndent));
  const float rightIndent = Points(s.paraProps.get<int64_t>(ParaField::rightIndent));
  const bool firstLine = cp <= s.paraFirstVisible;
  const float available = Points(availableWidth);
  format->originX = firstLine ? std::max(leftIndent + firstIndent, 0.0f) : leftIndent;
  format->leftEdge = leftIndent + std::min(firstIndent, 0.0f);
  format->rightEdge = std::max(available - rightIndent, std::max(format->originX, format->leftEdge) + kMinimumRightRoom);
  format->paragraphStart = firstLine;
  const BorderStyle border = BorderStyleAt(s.paraProps, ParaField::border);
  if (border.kind != 0 || KolorIsColor(border.backColor)) {
    format->hasBorderBox = true;
    BorderDisplay edges;
    ParagraphBorderEdges(s, cp, cp + 1, &edges);
    const BorderSides sides = BorderThickness(border, edges);
    format->originX += sides.left;
    format->leftEdge += sides.left;
    format->rightEdge -= sides.right;
  }
  const int64_t defaultTab = doc->docProps.get<int64_t>(DocField::defTab);
  s.defaultTab = defaultTab > 0 ? Points(defaultTab) : kDefaultTabInterval;
  s.x = format->originX;
  s.visibleEnd = s.x;

  if (firstLine) AddParagraphMarker(s);
  if (!s.done) ScanText(s);
  if (!s.done) {
    FinishLineSegment(s);
    if (!s.done && s.cp >= s.endCp) format->breakKind = kBreakRangeEnd;
  }
  AdjustTab(s);
  // A line that ends at the end kink of its list takes the kink.
  if (s.cp < uint32_t(doc->totalLength) && IsKinkChar(doc->charAt(s.cp)) && format->startKind == kStartText) {
    KnotInfo list;
    if (FetchKnot(doc, s.cp, &list, 0) && list.type() == kKnotList && list.limit == s.cp + 1 && list.first < cp) {
      if (s.showInvisibles && pane && (pane->displayFlags & kPaneShowAllCodes))
        AddInvisibleMark(s, s.cp, kShowEndKink, kKnotList);
      ++s.cp;
      format->endsList = true;
    }
  }
  format->limitCp = s.cp;
  if (!s.done && format->characterCount >= kMaxLineCharacters) format->breakKind = kBreakTooLong;
  if (format->limitCp <= format->firstCp) {
    LogAssert("No advance", __func__, __FILE__, __LINE__);
    format->limitCp = format->firstCp + 1;
  }
  SetLineHeight(s);
  format->nextWordLength = 0;
  const bool endsPara = format->trailingMarkWidth > 0 && format->breakKind != kBreakLineSeparator;
  if (format->startKind == kStartText && !endsPara) format->nextWordLength = NextWordLength(s);
  while (format->kinkInfoCount > 0 &&
         uint32_t(format->kinkInfos[format->kinkInfoCount - 1].cp) >= format->limitCp)
    --format->kinkInfoCount;
  format->unalignedEndX = s.x;
  Align(s);
  format->endX = s.x;
  format->lineWidth = std::max(available, format->endX + format->trailingMarkWidth);
  format->overflows = s.visibleEnd > format->rightEdge + 0.001f;
  if (s.collect) {
    FinishRuns(s);
  } else {
    std::erase_if(format->runs, [](const LineRun& r) { return !IsContentRun(r.type); });
    float sum = 0;
    for (LineRun& run : format->runs) {
      run.x = sum;
      sum += run.width;
    }
  }
  return true;
}

void ReleaseLineFormat(LineFormat* format) {
  if (!format) return;
  format->runs.clear();
}

float LineXFromCpCore(const LineFormat& format, uint32_t cp, float* after) {
  const float end = format.endsWithBreakChar() ? kMarkWidth : 0;
  float sum = 0;
  bool any = false;
  if (cp < format.firstCp) {
    if (after) *after = 0;
    return 0;
  }
  for (const LineRun& run : format.runs) {
    if (!IsContentRun(run.type)) continue;
    any = true;
    // A cp hidden between runs lies where the next shown one begins.
    if (run.first >= 0 && int32_t(cp) < run.first) {
      if (after) *after = run.x;
      return run.x;
    }
    if (run.type == kRunText && run.segment) {
      const LineSegment& seg = *run.segment;
      for (size_t i = 0; i < seg.pieces.size(); ++i) {
        const LinePiece& p = seg.pieces[i];
        if (p.first < 0 || int32_t(cp) < p.first || int32_t(cp) >= p.limit) continue;
        const uint32_t pieceEnd = i + 1 < seg.pieces.size() ? seg.pieces[i + 1].offset : seg.unitsFit;
        const bool whole = p.limit - p.first <= 1 && pieceEnd - p.offset > 1;
        const int index = whole ? int(p.offset) : int(p.offset + (cp - uint32_t(p.first)));
        if (uint32_t(index) > seg.unitsFit) continue;
        const float x = run.x + PositionOfLineSegmentIndex(seg.line.get(), index);
        if (after) {
          const int next = whole ? int(pieceEnd) : std::min(index + 1, int(seg.unitsFit));
          *after = run.x + PositionOfLineSegmentIndex(seg.line.get(), next);
          if (run.type == kRunText && cp + 1 == uint32_t(run.limit) && i + 1 == seg.pieces.size() &&
              int(seg.unitsFit) <= index)
            *after = run.x + run.width;
        }
        return x;
      }
    } else if (run.first >= 0 && int32_t(cp) == run.first) {
      if (after) *after = run.x + run.width;
      return run.x;
    }
    sum = run.x + run.width;
  }
  if (!any) {
    if (after) *after = end;
    return 0;
  }
  if (after) *after = sum + end;
  return sum;
}
