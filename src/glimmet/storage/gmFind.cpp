#include "glimmet/storage/gmFind.h"

#include "framlet/foundation/flCharacterClasses.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmBookmarks.h"
#include "glimmet/storage/gmFetch.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmLists.h"

#include <algorithm>
#include <cstring>
#include <vector>

GMFindSettings g_findSettings;

namespace {

GMFindHost g_findHost;

// Stands between texts that no match may run across: pictures, variables, stray kinks.
constexpr char16_t kBreakUnit = 0xFFFF;
// Pane contents kinds in which notes and chapter texts are searched.
constexpr int32_t kPaneContentsNotes = 2;

bool IsWordUnit(char16_t ch) { return ch != kBreakUnit && (QChar(ch).isLetterOrNumber() || ch == u'\'' || ch == u'_'); }

// The searchable text of a range, unit by unit with the cp each came from; variables are
// searched in their shown texts, each on its own.
struct VisibleText {
  QString units;
  std::vector<uint32_t> cps;
  struct Variable {
    QString text;
    DocRange knot;
  };
  std::vector<Variable> variables;

  void add(char16_t unit, uint32_t cp) {
    units += QChar(unit);
    cps.push_back(cp);
  }
};

VisibleText CollectVisibleText(GlimmetDoc* doc, DocRange range, const bool* cancel) {
  VisibleText out;
  auto addStretch = [&](uint32_t first, uint32_t limit) {
    GMTextStore::Cursor cursor(doc->text, first);
    for (uint32_t cp = first; cp < limit; ++cp, cursor.next()) {
      const char16_t unit = cursor.unit();
      out.add(IsKinkChar(unit) ? kBreakUnit : unit, cp);
    }
  };
  FetchVisibleText(&range, CurrentPane(doc), [&](const DocRange& piece, Pane*, const KnotInfo* knot) -> bool {
    if (cancel && *cancel) return false;
    if (!MaySearchAtCp(doc, piece.first)) {
      out.add(kBreakUnit, piece.first);
    } else if (!knot) {
      addStretch(piece.first, piece.limit);
    } else if (knot->type() == kKnotLink) {
      // A link is found by its shown text.
      if (knot->kinkCount >= 2) addStretch(knot->first + 1, std::min(knot->kinkCps[1], piece.limit));
    } else if (knot->type() == kKnotVar) {
      out.add(kBreakUnit, knot->first);
      const QString text = VariableKnotText(doc, *knot);
      if (!text.isEmpty()) out.variables.push_back({text.left(255), knot->range()});
    } else if (knot->type() != kKnotTable) {
      out.add(kBreakUnit, piece.first);
    }
    return true;
  });
  return out;
}

QString Folded(const QString& text, bool ignoreCase) {
  if (!ignoreCase) return text;
  QString folded = text;
  for (QChar& ch : folded) ch = QChar(LowerCaseChar(ch.unicode()));
  return folded;
}

// The first (or last) place of needle in hay that accept takes; -1 when none.
template <typename Accept>
qsizetype SearchUnits(const QString& hay, const QString& needle, bool forward, Accept accept) {
  if (needle.isEmpty() || hay.size() < needle.size()) return -1;
  qsizetype at = forward ? 0 : hay.size() - needle.size();
  while (true) {
    at = forward ? hay.indexOf(needle, at) : hay.lastIndexOf(needle, at);
    if (at < 0) return -1;
    if (accept(at)) return at;
    // After a failed candidate the search goes on one unit past its start.
    if (forward) ++at;
    else if (--at < 0) return -1;
  }
}

bool WordEdges(char16_t before, char16_t first, char16_t last, char16_t after) {
  return !(IsWordUnit(before) && IsWordUnit(first)) && !(IsWordUnit(last) && IsWordUnit(after));
}

// The first (forward) or last text match in scan.
bool FindTextIn(GlimmetDoc* doc, const DocRange& scan, const DocRange& pane, bool forward, DocRange* match,
                const bool* cancel) {
  if (scan.empty()) return false;
  const bool ignoreCase = g_findSettings.options & kFindIgnoreCase;
  const bool wholeWord = g_findSettings.options & kFindWholeWord;
  const QString needle = Folded(g_findSettings.string, ignoreCase);
  const qsizetype n = needle.size();
  const VisibleText visible = CollectVisibleText(doc, scan, cancel);
  if (cancel && *cancel) return false;

  // Around the scanned text, the units beside it in the pane count for whole words.
  auto docUnit = [&](int64_t cp) -> char16_t {
    return cp >= int64_t(pane.first) && cp < int64_t(pane.limit) ? doc->text.at(uint32_t(cp)) : kBreakUnit;
  };
  const QString hay = Folded(visible.units, ignoreCase);
  const qsizetype at = SearchUnits(hay, needle, forward, [&](qsizetype i) {
    if (!wholeWord) return true;
    const char16_t before = i > 0 ? hay[i - 1].unicode() : docUnit(int64_t(visible.cps[0]) - 1);
    const char16_t after = i + n < hay.size() ? hay[i + n].unicode() : docUnit(int64_t(visible.cps.back()) + 1);
    return WordEdges(before, hay[i].unicode(), hay[i + n - 1].unicode(), after);
  });
  bool found = at >= 0;
  if (found) *match = {doc, visible.cps[size_t(at)], visible.cps[size_t(at + n - 1)] + 1};

  // A match in a variable's text selects the whole variable.
  for (const VisibleText::Variable& variable : visible.variables) {
    if (found && (forward ? variable.knot.first >= match->first : variable.knot.first < match->first)) continue;
    const QString text = Folded(variable.text, ignoreCase);
    const qsizetype i = SearchUnits(text, needle, true, [&](qsizetype j) {
      if (!wholeWord) return true;
      const char16_t before = j > 0 ? text[j - 1].unicode() : kBreakUnit;
      const char16_t after = j + n < text.size() ? text[j + n].unicode() : kBreakUnit;
      return WordEdges(before, text[j].unicode(), text[j + n - 1].unicode(), after);
    });
    if (i < 0) continue;
    *match = variable.knot;
    found = true;
  }
  return found;
}

struct PaneState {
  DocRange range;
  uint32_t selFirst = 0, selLimit = 0;
};

PaneState CurrentPaneState(GlimmetDoc* doc) {
  PaneState state;
  Pane* pane = CurrentPane(doc);
  GetPaneRange(doc, pane, &state.range);
  state.selFirst = std::clamp(uint32_t(std::max(pane->selFirst, 0)), state.range.first, state.range.limit);
  state.selLimit = std::clamp(uint32_t(std::max(pane->selLimit, 0)), state.selFirst, state.range.limit);
  return state;
}

bool FindText(GlimmetDoc* doc, bool fromStart, bool forward, DocRange* match, const bool* cancel) {
  const QString& string = g_findSettings.string;
  // Single codes 1 to 5 stand for the special finds, not for text.
  if (string.isEmpty() || (string.size() == 1 && string[0].unicode() >= 1 && string[0].unicode() <= 5)) return false;
  const PaneState state = CurrentPaneState(doc);
  const uint32_t p0 = state.range.first, p1 = state.range.limit;
  const bool wrap = g_findSettings.options & kFindWrap;
  if (forward || fromStart) {
    DocRange scan;
    GetScanRange(doc, fromStart ? 1 : 0, &scan);
    scan.limit = std::max(scan.first, std::min(scan.limit, uint32_t(doc->userLength)));  // not the final mark
    if (FindTextIn(doc, scan, state.range, true, match, cancel)) return true;
    return wrap && !fromStart && FindTextIn(doc, {doc, p0, scan.first}, state.range, true, match, cancel);
  }
  if (FindTextIn(doc, {doc, p0, state.selFirst}, state.range, false, match, cancel)) return true;
  return wrap && FindTextIn(doc, {doc, state.selFirst, p1}, state.range, false, match, cancel);
}

// Whether the knot-table entry is one the knot finders look for; the match goes to match.
bool KnotEntryMatches(GlimmetDoc* doc, uint32_t index, int32_t type, DocRange* match) {
  const KnotEntry& entry = doc->knots.at(index);
  if (entry.kink != kKinkBegin && entry.kink != kKinkAtomic) return false;
  const uint32_t cp = doc->knots.cpAt(index);
  bool wanted = false;
  switch (type) {
    case kFindPicture: wanted = entry.type == kKnotPicture && (g_findSettings.knotIndex % 2 == 1 || entry.pictureIndex() == 0);
      break;
    case kFindDivider: wanted = entry.type == kKnotDivider; break;
    case kFindVariable: wanted = entry.type == kKnotVar; break;
    case kFindCheckbox: wanted = entry.type == kKnotCheckbox; break;
    case kFindLink: wanted = entry.type == kKnotLink || (entry.type == kKnotVar && (entry.variableKind() == 7 || entry.variableKind() == 15));
      break;
    case kFindBrokenLink:
      wanted = entry.type == kKnotVar && VariableKindRefersToBookmark(entry.variableKind()) &&
               BookmarkIndexForGuidIndex(doc, entry.guidIndex()) == kGMNone;
      break;
    default: break;
  }
  if (!wanted || !MaySearchAtCp(doc, cp)) return false;
  *match = {doc, cp, cp + 1};
  if (entry.type == kKnotLink) {
    KnotInfo link;
    if (FetchKnot(doc, cp, &link, kKnotLink)) *match = link.range();
  }
  return true;
}

// Forwards over the entries at or after first and before limit; backwards over those before
// first and at or after limit.
bool WalkKnots(GlimmetDoc* doc, int32_t type, uint32_t first, uint32_t limit, bool forward, DocRange* match) {
  if (forward) {
    for (uint32_t i = doc->knots.indexOfCpAfter(first); i < doc->knots.count() && doc->knots.cpAt(i) < limit; ++i)
      if (KnotEntryMatches(doc, i, type, match)) return true;
    return false;
  }
  for (uint32_t i = doc->knots.indexOfCpAfter(first); i-- > 0 && doc->knots.cpAt(i) >= limit;)
    if (KnotEntryMatches(doc, i, type, match)) return true;
  return false;
}

bool IsCheckboxParagraph(GlimmetDoc* doc, const DocRange& para, const PropRecord& props) {
  if (props.body[ParaField::checkboxOn]) return true;
  const int32_t level = ListLevelOfStyle(doc, props.get<uint16_t>(ParaField::style));
  KnotInfo list;
  PropRecord listProps;
  if (level < 0 || !FetchList(doc, para.first, &list, &listProps)) return false;
  for (int32_t l = level; l >= 0; --l) {
    const uint32_t kind = listProps.get<uint32_t>(ListField::markers + ListField::markerSize * uint32_t(l));
    if (kind != kMarkerInherit) return kind == kMarkerCheckbox;
  }
  return false;
}

// The next paragraph that shows a checkbox, as WalkKnots walks.
bool WalkCheckboxParagraphs(GlimmetDoc* doc, uint32_t first, uint32_t limit, bool forward, DocRange* match) {
  DocRange para;
  PropRecord props;
  if (forward) {
    for (uint32_t cp = first; cp < limit;) {
      FetchParaProps(doc, nullptr, cp, &para, &props);
      if (para.first >= first && MaySearchAtCp(doc, para.first) && IsCheckboxParagraph(doc, para, props)) {
        *match = para;
        return true;
      }
      cp = std::max(para.limit, cp + 1);
    }
    return false;
  }
  for (uint32_t cp = first; cp > limit && cp > 0;) {
    FetchParaProps(doc, nullptr, cp - 1, &para, &props);
    if (para.first >= limit && MaySearchAtCp(doc, para.first) && IsCheckboxParagraph(doc, para, props)) {
      *match = para;
      return true;
    }
    cp = std::min(para.first, cp - 1);
  }
  return false;
}

bool FindSpecialIn(GlimmetDoc* doc, int32_t type, uint32_t first, uint32_t limit, bool forward, DocRange* match) {
  if (forward && type == kFindLink) first = std::max(first, FirstVisibleCp(doc));
  DocRange knot, para;
  const bool byKnot = WalkKnots(doc, type, first, limit, forward, &knot);
  const bool byPara = type == kFindCheckbox && WalkCheckboxParagraphs(doc, first, limit, forward, &para);
  if (!byKnot && !byPara) return false;
  // A checkbox is the nearer of the two.
  if (byKnot && byPara) *match = (forward ? knot.first <= para.first : knot.first >= para.first) ? knot : para;
  else *match = byKnot ? knot : para;
  return true;
}

bool FindSpecial(GlimmetDoc* doc, int32_t type, bool fromStart, bool forward, DocRange* match) {
  const PaneState state = CurrentPaneState(doc);
  const uint32_t p0 = state.range.first, p1 = state.range.limit;
  const bool wrap = g_findSettings.options & kFindWrap;
  if (fromStart) return FindSpecialIn(doc, type, p0, uint32_t(doc->userLength), true, match);
  // The search for broken references wraps round to where it started; the others stop short
  // of the selection.
  const bool reference = type == kFindBrokenLink;
  if (forward)
    return FindSpecialIn(doc, type, state.selLimit, p1, true, match) ||
           (wrap && FindSpecialIn(doc, type, p0, reference ? state.selLimit : state.selFirst, true, match));
  return FindSpecialIn(doc, type, state.selFirst, p0, false, match) ||
         (wrap && FindSpecialIn(doc, type, p1, reference ? state.selFirst : state.selLimit, false, match));
}

bool PropsMatch(GlimmetDoc* doc, int32_t type, uint32_t cp, DocRange* run) {
  PropRecord record;
  if (type == kFindParaProps) {
    FetchParaProps(doc, nullptr, cp, run, &record);
    return std::memcmp(record.body, g_findSettings.props.body, PropBodySize(kPropPara)) == 0;
  }
  FetchCharProps(doc, cp, run, &record);
  if (type == kFindNormalChars) return record.get<uint16_t>(CharField::style) == 0;
  return std::memcmp(record.body, g_findSettings.props.body, PropBodySize(kPropChar)) == 0;
}

// Runs (or paragraphs) of the wanted properties, forwards from first; the matching stretch
// reaches over the following runs that match too.
bool FindPropsIn(GlimmetDoc* doc, int32_t type, uint32_t first, uint32_t limit, DocRange* match, const bool* cancel) {
  for (uint32_t cp = first; cp < limit;) {
    if (cancel && *cancel) return false;
    DocRange run;
    const bool hit = PropsMatch(doc, type, cp, &run) && MaySearchAtCp(doc, cp);
    const uint32_t next = std::max(run.limit, cp + 1);
    if (hit) {
      *match = {doc, type == kFindParaProps ? run.first : cp, std::min(next, limit)};
      for (uint32_t more = next; more < limit && PropsMatch(doc, type, more, &run) && run.limit > more; more = run.limit)
        match->limit = std::min(run.limit, limit);
      return true;
    }
    cp = next;
  }
  return false;
}

bool FindProps(GlimmetDoc* doc, int32_t type, bool fromStart, DocRange* match, const bool* cancel) {
  if (type == kFindNormalChars) g_findSettings.props.set<uint16_t>(CharField::style, 0);
  const PaneState state = CurrentPaneState(doc);
  DocRange scan;
  GetScanRange(doc, fromStart ? 1 : 0, &scan);
  const uint32_t start = VisibleCpCore(doc, CurrentPane(doc), scan.first, true);
  if (FindPropsIn(doc, type, start, scan.limit, match, cancel)) return true;
  return (g_findSettings.options & kFindWrap) && !fromStart &&
         FindPropsIn(doc, type, state.range.first, start, match, cancel);
}

}  // namespace

void SetFindHost(GMFindHost host) { g_findHost = std::move(host); }

bool MayFindPrevious() {
  switch (g_findSettings.type) {
    case kFindBrokenLink:
    case kFindCheckbox:
    case kFindLink:
    case kFindDivider:
    case kFindPicture:
    case kFindVariable:
      return true;
    case kFindText:
      return std::none_of(g_findSettings.string.begin(), g_findSettings.string.end(),
                          [](QChar ch) { return IsBreakChar(ch.unicode()); });
    default:
      return false;
  }
}

void InvalidateFindResults(GlimmetDoc* doc) {
  if (!doc) return;
  for (uint32_t i = 0; i < doc->findHits.count(); ++i)
    InvalText({doc, doc->findHits.cpAt(i), std::max(doc->findHits.at(i), doc->findHits.cpAt(i))}, false);
  doc->findHits.clear();
}

bool MaySearchAtCp(GlimmetDoc* doc, uint32_t cp) {
  const int32_t kind = CurrentPane(doc)->contentsKind;
  if (kind != kPaneContentsNotes && CpIsWithinKnot(doc, cp, kKnotNote, nullptr, false)) return false;
  return kind == 0 || kind == 3 || !CpIsWithinKnot(doc, cp, kKnotChapter, nullptr, false);
}

bool FindNext(GlimmetDoc* doc, bool fromStart, bool forward, DocRange* match, const bool* cancel) {
  if (!doc || !match) return false;
  const int32_t type = g_findSettings.type;
  switch (type) {
    case kFindText: return FindText(doc, fromStart, forward, match, cancel);
    case kFindCharProps:
    case kFindParaProps:
    case kFindNormalChars: return FindProps(doc, type, fromStart, match, cancel);
    case kFindBrokenLink:
    case kFindCheckbox:
    case kFindLink:
    case kFindDivider:
    case kFindPicture:
    case kFindVariable: return FindSpecial(doc, type, fromStart, forward, match);
    default: return false;
  }
}

bool PerformFind(GlimmetDoc* doc, bool fromStart, bool forward) {
  DocRange match;
  if (!FindNext(doc, fromStart, forward, &match)) return false;
  SelectFoundText(match);
  return true;
}

bool FindBrokenLink(GlimmetDoc* doc, bool forward, bool fromStart) {
  if (!doc) return false;
  g_findSettings.type = kFindBrokenLink;
  DocRange match;
  if (!FindSpecial(doc, kFindBrokenLink, fromStart, forward, &match)) {
    if (g_findHost.beep) g_findHost.beep();
    return false;
  }
  SelectFoundText(match);
  return true;
}

void SelectFoundText(DocRange match) {
  GlimmetDoc* doc = match.doc;
  if (!doc) return;
  DocRange link;
  if (CpIsWithinKnot(doc, match.first, kKnotLink, &link, false)) match = link;
  // A shown document selects through its view side, which takes the old selection off screen.
  if (doc->owner && g_findHost.show) {
    g_findHost.show(doc, match);
    return;
  }
  Pane* pane = CurrentPane(doc);
  pane->frameIndex = kGMNone;
  pane->selFirst = int32_t(match.first);
  pane->selLimit = int32_t(match.limit);
}
