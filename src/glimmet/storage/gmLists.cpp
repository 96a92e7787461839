#include "glimmet/storage/gmLists.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flFormatString.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmEdit.h"
#include "glimmet/storage/gmStyles.h"

#include <algorithm>
#include <array>

namespace {

constexpr const char* kNumberFormats[12] = {"%,d", "%R", "%r", "%L", "%l", "%i", "%>I", "%>a", "%z", "%x", "%o", "%b"};

struct Level {
  uint32_t kind = 0;
  uint32_t format = 0;
  char16_t prefix = 0;
  char16_t suffix = 0;
};

Level LevelAt(const PropRecord& props, uint32_t level) {
  const uint32_t at = ListField::markers + ListField::markerSize * level;
  return {props.get<uint32_t>(at), props.get<uint32_t>(at + 4), props.get<uint16_t>(at + 8),
          props.get<uint16_t>(at + 10)};
}

// Levels of kind 0 inherit: level 0 a number with a full stop, the others the level above.
std::array<Level, 9> ResolvedLevels(const PropRecord& props) {
  std::array<Level, 9> levels;
  for (uint32_t i = 0; i < 9; ++i) {
    levels[i] = LevelAt(props, i);
    if (levels[i].kind == kMarkerInherit) levels[i] = i == 0 ? Level{kMarkerNumber, 0, 0, u'.'} : levels[i - 1];
  }
  return levels;
}

uint32_t ParaStyleIndex(GlimmetDoc* doc, uint32_t cp) {
  PropRecord para;
  FetchParaProps(doc, nullptr, cp, nullptr, &para);
  return para.get<uint16_t>(ParaField::style);
}

KnotEntry* ListBeginEntry(GlimmetDoc* doc, uint32_t listCp) {
  for (uint32_t i = doc->knots.indexAtCp(listCp); i != kGMNone && i < doc->knots.count() && doc->knots.cpAt(i) == listCp;
       ++i) {
    KnotEntry& entry = doc->knots.at(i);
    if (entry.type == kKnotList && entry.kink == kKinkBegin) return &entry;
  }
  return nullptr;
}

// The list's numbering cache: one entry per paragraph, its level + 1 (0: not a list paragraph).
void RebuildListCache(GlimmetDoc* doc, const KnotInfo& list) {
  doc->listCache.eraseRange(list.first, list.limit);
  uint32_t cp = list.first + 1;
  while (cp + 1 < list.limit) {
    DocRange para;
    FetchParaProps(doc, nullptr, cp, &para, nullptr);
    const int32_t level = ListLevelOfStyle(doc, ParaStyleIndex(doc, cp));
    doc->listCache.insertSorted(para.first, uint32_t(level + 1));
    if (para.limit <= cp) break;
    cp = para.limit;
  }
  if (KnotEntry* begin = ListBeginEntry(doc, list.first)) begin->word &= ~kListRenumberMark;
}

bool Refuse(bool alert, const QString& what) {
  if (alert)
    ShowGMAlert(QStringLiteral("I can't insert a list there."),
                FormatString("The selection contains %@. I can't convert it to a list.", what));
  return false;
}

bool GiveListStyle(GlimmetDoc* doc, const DocRange& paragraphs) {
  // Paragraphs that already have a list style keep the list's levels.
  uint32_t cp = paragraphs.first;
  while (cp < paragraphs.limit) {
    DocRange para;
    FetchParaProps(doc, nullptr, cp, &para, nullptr);
    if (ListLevelOfStyle(doc, ParaStyleIndex(doc, cp)) >= 0) return true;
    if (para.limit <= cp) break;
    cp = para.limit;
  }
  return ApplyParaStyle(paragraphs, kBuiltinStyleRef + kListStyleId);
}

}  // namespace

int32_t ListLevelOfStyle(GlimmetDoc* doc, uint32_t styleIndex) {
  if (!doc || styleIndex >= doc->styles.size()) return -1;
  const uint32_t id = doc->styles[styleIndex].id;
  return id >= kListStyleId && id < kListStyleId + 9 ? int32_t(id - kListStyleId) : -1;
}

bool FetchList(GlimmetDoc* doc, uint32_t cp, KnotInfo* info, PropRecord* props) {
  DocRange range;
  if (!CpIsWithinKnot(doc, cp, kKnotList, &range, false)) return false;
  // The outermost list.
  for (int guard = 0; guard < 64; ++guard) {
    DocRange outer, list;
    if (!FindOuterKnot(range, &outer) || !CpIsWithinKnot(doc, outer.first + 1, kKnotList, &list, false) ||
        list.first >= range.first)
      break;
    range = list;
  }
  KnotInfo found;
  if (!FetchKnot(doc, range.first, &found, kKnotList)) return false;
  if (info) *info = found;
  if (props) {
    const PropRecord* record = PropertiesAtIndex(doc, found.entry.propIndex);
    if (record && record->kind == kPropList) *props = *record;
    else SetDefaultProperties(doc, kPropList, props);
  }
  return true;
}

void MarkListForRenumbering(GlimmetDoc* doc, uint32_t listCp) {
  if (KnotEntry* begin = doc ? ListBeginEntry(doc, listCp) : nullptr) begin->word |= kListRenumberMark;
}

bool ListNeedsRenumbering(GlimmetDoc* doc, uint32_t listCp) {
  const KnotEntry* begin = doc ? ListBeginEntry(doc, listCp) : nullptr;
  return begin && (begin->word & kListRenumberMark) != 0;
}

void InvalListCache(const DocRange& range) {
  GlimmetDoc* doc = range.doc;
  if (!doc) return;
  uint32_t from = doc->listCache.indexOfCp(range.first);
  if (from == kGMNone) from = 0;
  DocRange marked{doc, kGMNone, kGMNone};  // the list last marked: its other entries need nothing more
  for (uint32_t i = from; i < doc->listCache.count() && doc->listCache.cpAt(i) < range.limit; ++i) {
    const uint32_t cp = doc->listCache.cpAt(i);
    KnotInfo list;
    if ((cp < marked.first || cp >= marked.limit) && FetchList(doc, cp, &list, nullptr)) {
      MarkListForRenumbering(doc, list.first);
      InvalText(list.range(), false);
      marked = list.range();
    }
    doc->listCache.at(i) = kGMNone;
  }
}

QString ListEntryMarker(GlimmetDoc* doc, uint32_t cp, uint32_t listCp, uint32_t level, const PropRecord& props) {
  if (!doc || level > 8) return QString();
  const std::array<Level, 9> levels = ResolvedLevels(props);
  bool multi = props.body[ListField::showAllLevels] != 0;
  bool numbered = false;
  for (const Level& l : levels) {
    if (l.kind == kMarkerPicture) {
      LogAssert("Pictures not yet implemented", __func__, __FILE__, __LINE__);
      return QString();
    }
    if (l.kind == kMarkerCheckbox) multi = false;
    if (l.kind == kMarkerNumber) numbered = true;
  }
  const Level& own = levels[level];
  if (own.kind == kMarkerCheckbox) return QString();
  auto bullet = [](const Level& l) { return QString(QChar(l.prefix ? l.prefix : char16_t(0x2022))); };
  if (own.kind == kMarkerBullet || !numbered) return bullet(own);

  KnotInfo list;
  if (!FetchKnot(doc, listCp, &list, kKnotList) || list.first != listCp) return QString();
  DocRange para;
  FetchParaProps(doc, nullptr, cp, &para, nullptr);
  // The cache is rebuilt for a marked list, one without entries, or one whose entry for this
  // paragraph was dropped by an edit the marks did not see.
  const uint32_t firstEntry = doc->listCache.indexOfCpAfter(list.first);
  const bool cached = firstEntry < doc->listCache.count() && doc->listCache.cpAt(firstEntry) < list.limit;
  uint32_t ownEntry = doc->listCache.indexAtCp(para.first);
  if (!cached || ListNeedsRenumbering(doc, list.first) || ownEntry == kGMNone ||
      doc->listCache.at(ownEntry) == kGMNone) {
    RebuildListCache(doc, list);
    ownEntry = doc->listCache.indexAtCp(para.first);
  }
  std::array<uint32_t, 9> counters;
  counters.fill(1);
  uint32_t tracked = level;
  const uint32_t at = ownEntry;
  for (uint32_t i = at == kGMNone ? doc->listCache.indexOfCpAfter(para.first) : at; i-- > 0;) {
    if (doc->listCache.cpAt(i) < list.first) break;
    const uint32_t entry = doc->listCache.at(i);
    if (entry == 0 || entry == kGMNone) continue;
    const uint32_t l = entry - 1;
    if (l == tracked) ++counters[l];
    else if (l < tracked) tracked = l;
  }
  QString marker;
  const uint32_t top = multi ? 0 : level;
  for (uint32_t l = level + 1; l-- > top;) {
    const Level& entry = levels[l];
    QString piece;
    if (entry.kind != kMarkerNumber) {
      piece = bullet(entry);
    } else {
      if (entry.prefix) piece += QChar(entry.prefix);
      if (entry.format < 12) piece += FormatString(kNumberFormats[entry.format], counters[l]);
      if (entry.suffix) piece += QChar(entry.suffix);
      else if (l != level && levels[l + 1].kind == kMarkerNumber) piece += u'.';
    }
    marker = piece + marker;
  }
  return marker;
}

bool InsertList(GlimmetDoc* doc, const PropRecord* props, bool forceStyle, bool alert) {
  if (!doc || doc->endGuard) return false;
  Pane* pane = CurrentPane(doc);
  DocRange selection{doc, uint32_t(std::max(0, pane->selFirst)), uint32_t(std::max(0, pane->selLimit))};
  KnotInfo existing;
  PropRecord record;
  if (props) record = *props;
  else SetDefaultProperties(doc, kPropList, &record);
  if (FetchList(doc, selection.first, &existing, nullptr)) {
    const uint32_t index = IndexForProperties(doc, &record);
    if (index == kGMNone) return false;
    DeferDisplay();
    SetPropsOnKink(doc, uint32_t(existing.index), index);
    DocRange paragraphs = selection;
    ExpandDocRange(&paragraphs, kExpandPara);
    paragraphs.limit = std::min(paragraphs.limit, existing.limit - 1);
    GiveListStyle(doc, paragraphs);
    pane->selFirst = int32_t(existing.first);
    pane->selLimit = int32_t(existing.limit);
    UndeferDisplay(2);
    return true;
  }
  DocRange para;
  FetchParaProps(doc, pane, selection.first, &para, nullptr);
  // A caret inside a paragraph makes the paragraph an item; only at its start is a new empty item made.
  if (selection.empty() && selection.first <= FirstVisibleCpInPara(doc, pane, para.first)) {
    // Any enclosing knot but a chapter or a note refuses, however deep the caret lies.
    DocRange inner = selection, outer;
    for (int depth = 0; depth < 64 && FindOuterKnot(inner, &outer); ++depth) {
      KnotInfo around;
      if (!FetchKnot(doc, outer.first, &around, 0)) break;
      if (around.type() != kKnotChapter && around.type() != kKnotNote) {
        if (alert)
          ShowGMAlert(QStringLiteral("I can't insert a list there."),
                      QStringLiteral("The selection lies within a link, list, TOC entry, or something similar. I "
                                     "can't put a list there."));
        return false;
      }
      if (outer.first >= inner.first && outer.limit <= inner.limit) break;
      inner = outer;
    }
    DeferDisplay();
    DocRange at = selection;
    bool ok = InsertKnotCore(&at, kKnotList, 0, 1, &record, 0, nullptr, false);
    if (ok) {
      DocRange inside{doc, at.first + 1, at.first + 1};
      ok = ReplaceRangeWithString(&inside, QStringLiteral("\n"));
      KnotInfo list;
      if (!ok && FetchKnot(doc, at.first, &list, kKnotList)) DeleteKnot(&list);
      if (ok && forceStyle) ForceRangeToStyleId({doc, at.first + 1, at.first + 2}, kListStyleId);
      pane->selFirst = pane->selLimit = int32_t(at.first + 1);
    }
    UndeferDisplay(2);
    return ok;
  }
  DocRange paragraphs = selection;
  ExpandDocRange(&paragraphs, kExpandPara);
  int32_t nesting = 0;
  for (uint32_t i = doc->knots.indexOfCpAfter(paragraphs.first); i < doc->knots.count(); ++i) {
    if (doc->knots.cpAt(i) >= paragraphs.limit) break;
    const KnotEntry& entry = doc->knots.at(i);
    if (entry.kink == kKinkEnd) {
      if (nesting == 0) return Refuse(alert, QStringLiteral("a part of something like a table or a TOC entry"));
      --nesting;
      continue;
    }
    if (entry.kink == kKinkMiddle) {
      if (nesting == 0) return Refuse(alert, QStringLiteral("a part of something like a table or a TOC entry"));
      continue;
    }
    if (entry.type > kKnotTag) return Refuse(alert, QStringLiteral("something unexpected"));
    if (entry.type == kKnotDivider) return Refuse(alert, QStringLiteral("a divider"));
    if (entry.type == kKnotList) return Refuse(alert, QStringLiteral("a list plus other text"));
    if (entry.type == kKnotTable || entry.type == kKnotRow) return Refuse(alert, QStringLiteral("a table"));
    if (entry.kink == kKinkBegin) {
      if (entry.type != kKnotBookmark && entry.type != kKnotLink && entry.type != kKnotTag)
        return Refuse(alert, QStringLiteral("something unexpected"));
      ++nesting;
    }
  }
  DeferDisplay();
  DocRange chapter;
  FetchChapterProps(doc, paragraphs.first, &chapter, nullptr);
  bool ok = true;
  if (paragraphs.limit >= uint32_t(doc->userLength) || paragraphs.limit + 1 >= chapter.limit) {
    DocRange end{doc, paragraphs.limit, paragraphs.limit};
    ok = ReplaceRangeWithString(&end, QStringLiteral("\n"));
  }
  // The knot's kinks go around the paragraphs: the begin kink before the first, the end kink after the last.
  DocRange around{doc, paragraphs.first, std::max(paragraphs.limit, paragraphs.first)};
  if (ok) ok = InsertKnotAround(&around, kKnotList, &record);
  UndeferDisplay(2);
  if (!ok) return false;
  KnotInfo list;
  if (FetchList(doc, around.first + 1, &list, nullptr) && forceStyle) GiveListStyle(doc, {doc, list.first + 1, list.limit - 1});
  pane->selFirst = int32_t(list.first);
  pane->selLimit = int32_t(list.limit);
  return true;
}

bool DeleteList(GlimmetDoc* doc) {
  if (!doc) return false;
  Pane* pane = CurrentPane(doc);
  KnotInfo list;
  if (!FetchList(doc, uint32_t(std::max(0, pane->selFirst)), &list, nullptr)) return false;
  pane->selLimit = pane->selFirst;
  DocRange inside{doc, list.first, list.limit};
  GMRegisteredRange registered(&inside, 0);
  DeleteKnot(&list);
  if (!inside.empty()) ApplyParaStyle(inside, 0);
  return true;
}

namespace {

// The paragraphs ChangeIndent moves, as style changes, without applying them: the recursion
// reads only paragraphs it has not changed yet, so planning first gives the same result.
void PlanIndent(GlimmetDoc* doc, uint32_t* cp, uint32_t end, bool increase, uint32_t bound,
                std::vector<GMParaStyleChange>* changes) {
  while (*cp < end) {
    DocRange para;
    FetchParaProps(doc, nullptr, *cp, &para, nullptr);
    const int32_t level = ListLevelOfStyle(doc, ParaStyleIndex(doc, *cp));
    if (level >= 0) {
      const uint32_t id = kListStyleId + uint32_t(level);
      if (bound != 255 && id <= bound) return;
      uint32_t target = id;
      if (increase) target = id == kListStyleId + 8 ? id : id + 1;
      else target = id == kListStyleId ? 0 : id - 1;
      changes->push_back({para, target == 0 ? 0 : kBuiltinStyleRef + target});
      if (para.limit <= *cp) break;
      *cp = para.limit;
      if (bound == 255) PlanIndent(doc, cp, end, increase, id, changes);
      continue;
    }
    if (increase) changes->push_back({para, kBuiltinStyleRef + kListStyleId});
    if (para.limit <= *cp) break;
    *cp = para.limit;
  }
}

}  // namespace

void ChangeIndent(GlimmetDoc* doc, uint32_t* cp, uint32_t limit, uint32_t limit2, bool increase, uint32_t bound) {
  if (!doc || !cp) return;
  std::vector<GMParaStyleChange> changes;
  PlanIndent(doc, cp, std::min(limit, limit2), increase, bound, &changes);
  ApplyParaStyles(doc, changes);
}
