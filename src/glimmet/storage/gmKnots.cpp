#include "glimmet/storage/gmKnots.h"

#include "framlet/foundation/flBase.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmEdit.h"

#include <algorithm>

// class, display class, layout word, begin breaks paragraph, allows inner knots, middle and end
// kink characters, kink count.
const KnotDesc g_knotDescs[kKnotTypeCount] = {
    {0, 0, 0, 0, 0, 0, 0, 0},   {0, 2, 12, 0, 0, 0, 0, 1}, {1, 1, 0, 0, 0, 0, 0, 3},  {1, 1, 12, 1, 1, 1, 1, 8},
    {0, 2, 1, 0, 0, 0, 0, 1},   {0, 2, 2, 1, 0, 0, 1, 1},  {1, 2, 4, 0, 0, 0, 0, 3},  {1, 2, 5, 1, 1, 0, 1, 2},
    {1, 2, 6, 0, 1, 1, 1, 3},   {0, 2, 12, 0, 0, 0, 0, 1}, {1, 2, 12, 1, 1, 0, 1, 2}, {2, 2, 12, 1, 0, 0, 1, 2},
    {2, 2, 12, 1, 0, 1, 1, 0},  {1, 2, 12, 0, 0, 0, 0, 2}, {1, 2, 9, 1, 1, 0, 1, 2},  {1, 2, 10, 0, 0, 0, 0, 2},
    {0, 2, 11, 0, 0, 0, 0, 1},
};

const char* const g_knotTypeTags[kKnotTypeCount] = {
    "",    "autonum", "bookmark", "chapter", "checkbox", "divider", "link", "list", "note",
    "pic", "short",   "table",    "row",     "tag",      "toc",     "toce", "var",
};

bool g_editingKnot = false;

namespace {

struct EditingKnot {
  bool saved = g_editingKnot;
  EditingKnot() { g_editingKnot = true; }
  ~EditingKnot() { g_editingKnot = saved; }
};

// Only the kink cps a collection filled are cleared (those past kinkCount are always zero), so
// that a lookup does not clear the whole array.
void NotFound(GlimmetDoc* doc, KnotInfo* info) {
  std::fill_n(info->kinkCps, std::min(info->kinkCount, kMaxKinks), 0u);
  info->doc = doc;
  info->first = info->limit = 0;
  info->entry = KnotEntry();
  info->index = -1;
  info->knotClass = info->kinkCount = info->kinkNumber = 0;
}

// The nesting of the knot table, built in one pass, so that finding the knot around a cp does
// not walk back over every knot before it, nor a knot's kinks over the knots inside it.
const GlimmetDoc::KnotNesting& KnotNestingOf(GlimmetDoc* doc) {
  GlimmetDoc::KnotNesting& nesting = doc->knotNesting;
  const GMCpTable<KnotEntry>& knots = doc->knots;
  if (nesting.version == knots.version()) return nesting;
  const uint32_t count = knots.count();
  // Entries below the lowest one inserted or removed since the last build keep their answers
  // (knots are mostly added at the end of what is there), and the knots open after them follow
  // from those answers.
  const uint32_t from = std::min({knots.lowestChangeSince(nesting.version), count, uint32_t(nesting.owner.size()),
                                  uint32_t(nesting.nextKink.size())});
  for (std::vector<uint32_t>* column : {&nesting.owner, &nesting.enclosing, &nesting.nextKink}) {
    column->resize(from);
    column->resize(count, kGMNone);
  }
  // The knots open at the entry being read, innermost last, each with its last kink so far.
  struct Open {
    uint32_t begin, lastKink;
  };
  std::vector<Open> open;
  if (from > 0) {
    const uint32_t last = from - 1;
    const uint32_t kink = knots.at(last).kink;
    uint32_t top = kink == kKinkBegin ? last : kink == kKinkMiddle ? nesting.owner[last] : nesting.enclosing[last];
    for (; top != kGMNone; top = nesting.enclosing[top]) {
      // The kinks of an open knot read so far lie below from; links past them are rebuilt.
      uint32_t lastKink = top;
      while (nesting.nextKink[lastKink] < from) lastKink = nesting.nextKink[lastKink];
      nesting.nextKink[lastKink] = kGMNone;
      open.push_back({top, lastKink});
    }
    std::reverse(open.begin(), open.end());
  }
  for (uint32_t i = from; i < count; ++i) {
    const uint32_t around = open.empty() ? kGMNone : open.back().begin;
    const uint32_t kink = knots.at(i).kink;
    if (kink == kKinkMiddle || kink == kKinkEnd) {
      nesting.owner[i] = around;
      nesting.enclosing[i] = around == kGMNone ? kGMNone : nesting.enclosing[around];
      if (!open.empty()) {
        nesting.nextKink[open.back().lastKink] = i;
        open.back().lastKink = i;
        if (kink == kKinkEnd) open.pop_back();
      }
    } else {
      nesting.owner[i] = i;
      nesting.enclosing[i] = around;
      if (kink == kKinkBegin) open.push_back({i, i});
    }
  }
  nesting.version = knots.version();
  doc->knots.changesSeen();
  return nesting;
}

// Fills the info of the knot whose begin (or atomic) entry is at index begin. Its kinks are the
// middle and end entries at its own level (those of the knots inside it are passed over), up to
// its first end; a kink of another type there means the table is damaged.
bool CollectKnot(GlimmetDoc* doc, uint32_t begin, uint32_t cp, KnotInfo* info) {
  const GMCpTable<KnotEntry>& knots = doc->knots;
  const KnotEntry& head = knots.at(begin);
  if (head.type >= kKnotTypeCount) return false;
  info->doc = doc;
  info->entry = head;
  info->index = begin;
  info->first = knots.cpAt(begin);
  info->knotClass = g_knotDescs[head.type].knotClass;
  info->kinkCps[0] = info->first;
  info->kinkCount = 1;
  if (head.kink == kKinkAtomic) {
    info->limit = info->first + 1;
  } else {
    const GlimmetDoc::KnotNesting& nesting = KnotNestingOf(doc);
    bool ended = false;
    for (uint32_t i = nesting.nextKink[begin]; i != kGMNone && !ended; i = nesting.nextKink[i]) {
      const KnotEntry& e = knots.at(i);
      if (e.type != head.type) return false;
      ended = e.kink == kKinkEnd;
      if (info->kinkCount < kMaxKinks) {
        info->kinkCps[info->kinkCount++] = knots.cpAt(i);
      } else {
        LogAssert("Too many kinks", __func__, __FILE__, __LINE__);
        if (ended) info->kinkCps[kMaxKinks - 1] = knots.cpAt(i);
      }
      if (ended) info->limit = knots.cpAt(i) + 1;
    }
    if (!ended) return false;
  }
  info->kinkNumber = 0;
  for (uint32_t k = 0; k < info->kinkCount && info->kinkCps[k] <= cp; ++k) info->kinkNumber = k;
  return true;
}

uint32_t PaneKind(Pane* pane) { return pane ? uint32_t(pane->contentsKind) : kPaneContentsNoDisplay; }
bool ShowsAllCodes(Pane* pane) { return pane && (pane->displayFlags & kPaneShowAllCodes); }

bool BookmarkShownAsLink(GlimmetDoc* doc, Pane* pane) {
  const uint32_t kind = PaneKind(pane);
  return kind >= 1 && kind <= 3 && doc->kind != kDocHelp;
}

bool StartsParaAfterMark(GlimmetDoc* doc, uint32_t cp) {
  return cp > 0 && IsParaMarkChar(doc->text.at(cp - 1));
}

void Lower(DocRange* piece) {
  if (piece->limit > piece->first) --piece->limit;
}

// The begin (or atomic) entry of the knot FetchKnot looks at for cp, through at the entry at or
// before cp; kGMNone when no knot can hold cp.
uint32_t CandidateKnot(GlimmetDoc* doc, uint32_t cp, uint32_t* at) {
  *at = doc ? doc->knots.indexOfCp(cp) : kGMNone;
  if (*at == kGMNone) return kGMNone;
  const KnotEntry& e = doc->knots.at(*at);
  const bool onKink = doc->knots.cpAt(*at) == cp;
  if (e.kink == kKinkBegin || (onKink && e.kink == kKinkAtomic)) return *at;
  // Past the end of a chapter (in the body, outside every other knot) nothing encloses cp.
  if (!onKink && e.kink != kKinkMiddle && e.kink != kKinkAtomic && e.type == kKnotChapter) return kGMNone;
  const GlimmetDoc::KnotNesting& nesting = KnotNestingOf(doc);
  return onKink || e.kink == kKinkMiddle ? nesting.owner[*at] : nesting.enclosing[*at];
}

}  // namespace

bool FetchKnot(GlimmetDoc* doc, uint32_t cp, KnotInfo* info, uint32_t requiredType) {
  NotFound(doc, info);
  bool found = false;
  uint32_t at = kGMNone;
  const uint32_t begin = CandidateKnot(doc, cp, &at);
  if (at != kGMNone) {
    const KnotEntry& e = doc->knots.at(at);
    if (begin != kGMNone) {
      found = CollectKnot(doc, begin, cp, info) && cp < info->limit;
      if (found && doc->knots.cpAt(at) == cp && e.kink == kKinkMiddle && e.type != info->type()) found = false;
    }
    if (!found && begin != kGMNone) NotFound(doc, info);  // else nothing was filled in
  }
  if (requiredType != 0 && (!found || info->type() != requiredType)) {
    LogAssert("Expected knot not found", __func__, __FILE__, __LINE__);
    NotFound(doc, info);
    return false;
  }
  return found;
}

uint32_t NextKnotCp(GlimmetDoc* doc, uint32_t cp) {
  DocRange pane;
  GetPaneRange(doc, nullptr, &pane);
  for (uint32_t i = doc->knots.indexOfCpAfter(cp); i < doc->knots.count(); ++i) {
    const uint32_t at = doc->knots.cpAt(i);
    if (at >= pane.limit) break;
    const uint32_t kink = doc->knots.at(i).kink;
    if (kink == kKinkAtomic || kink == kKinkBegin) return at;
  }
  return kGMNone;
}

uint32_t KnotLimitCp(GlimmetDoc* doc, uint32_t cp) {
  const uint32_t index = doc->knots.indexAtCp(cp);
  if (index == kGMNone) {
    LogAssert("Bad cp", __func__, __FILE__, __LINE__);
    return kGMNone;
  }
  const KnotEntry& e = doc->knots.at(index);
  if (e.kink == kKinkAtomic) return cp + 1;
  if (e.kink != kKinkBegin) return kGMNone;
  for (uint32_t i = index + 1; i < doc->knots.count(); ++i) {
    const KnotEntry& later = doc->knots.at(i);
    if (later.kink == kKinkEnd && later.type == e.type) return doc->knots.cpAt(i) + 1;
  }
  return kGMNone;
}

bool FindOuterKnot(const DocRange& range, DocRange* outer) {
  GlimmetDoc* doc = range.doc;
  if (!doc || range.first == 0) return false;
  const uint32_t at = doc->knots.indexOfCp(range.first - 1);
  if (at == kGMNone) return false;
  const GlimmetDoc::KnotNesting& nesting = KnotNestingOf(doc);
  const uint32_t kink = doc->knots.at(at).kink;
  uint32_t candidate = kink == kKinkBegin ? at : kink == kKinkMiddle ? nesting.owner[at] : nesting.enclosing[at];
  // Out through the knots around the range's start until one also holds its end.
  for (int guard = 0; candidate != kGMNone && guard < 1 << 16; ++guard) {
    KnotInfo info;
    if (CollectKnot(doc, candidate, range.first, &info) && info.first < range.first && info.limit > range.limit) {
      if (outer) *outer = info.range();
      return true;
    }
    candidate = nesting.enclosing[candidate];
  }
  return false;
}

bool CpIsWithinKnot(GlimmetDoc* doc, uint32_t cp, uint32_t type, DocRange* range, bool report) {
  const bool within = CpIsWithinKnots(doc, cp, &type, 1, range) != 0;
  if (!within && report) LogAssert("Expected knot not found", __func__, __FILE__, __LINE__);
  return within;
}

uint32_t CpIsWithinKnots(GlimmetDoc* doc, uint32_t cp, const uint32_t* types, uint32_t count, DocRange* ranges) {
  // Every type walks out through the same chain of knots; each stops where its own rule says.
  uint32_t active = count >= 32 ? ~0u : (1u << count) - 1;
  uint32_t within = 0;
  uint32_t at = kGMNone;
  if (CandidateKnot(doc, cp, &at) == kGMNone) return 0;  // most text is in no knot
  KnotInfo info;
  FetchKnot(doc, cp, &info, 0);
  for (int guard = 0; info.found() && active != 0 && guard < 64; ++guard) {
    for (uint32_t i = 0; i < count && i < 32; ++i) {
      if (!(active & (1u << i))) continue;
      const uint32_t type = types[i];
      const bool walkOut = type < kKnotTypeCount &&
                           (g_knotDescs[type].knotClass == kKnotClassTable || g_knotDescs[type].allowsInner);
      if (info.type() == type) {
        if (ranges) ranges[i] = info.range();
        within |= 1u << i;
        active &= ~(1u << i);
      } else if (!walkOut || info.type() == kKnotChapter || (type == kKnotList && info.knotClass == kKnotClassTable)) {
        active &= ~(1u << i);
      }
    }
    if (active == 0) break;
    DocRange outer;
    if (!FindOuterKnot(info.range(), &outer)) break;
    FetchKnot(doc, outer.first, &info, 0);
  }
  return within;
}

bool ShouldShowKnot(const KnotInfo* info, uint32_t cp, Pane* pane, DocRange* range) {
  GlimmetDoc* doc = info->doc;
  *range = info->range();
  if (cp < info->first || cp >= info->limit) {
    LogAssert("cp not in knot", __func__, __FILE__, __LINE__);
    return false;
  }
  if (ShowsAllCodes(pane)) return true;
  // The kinks around cp: the last at or before it and the first after it.
  uint32_t previous = info->first;
  uint32_t next = info->limit - 1;
  for (uint32_t k = 0; k < info->kinkCount; ++k) {
    if (info->kinkCps[k] <= cp) previous = info->kinkCps[k];
    else {
      next = info->kinkCps[k];
      break;
    }
  }
  if (pane && (pane->displayFlags & kPaneShowKnotSlots)) {
    if (info->knotClass == kKnotClassAtomic) return true;
    if (cp == info->limit - 1) return false;
    range->first = std::max(cp, previous + 1);
    range->limit = std::max(range->first, next);
    const uint32_t inner = NextKnotCp(doc, range->first);
    if (inner != kGMNone && inner < range->limit) {
      if (inner == range->first) {
        KnotInfo innerInfo;
        if (FetchKnot(doc, inner, &innerInfo, 0) && innerInfo.index != info->index)
          return ShouldShowKnot(&innerInfo, inner, pane, range);
      }
      range->limit = inner;
    }
    return true;
  }
  uint32_t type = info->type();
  if (type == kKnotBookmark) {
    if (!BookmarkShownAsLink(doc, pane)) return false;
    type = kKnotLink;
  }
  switch (type) {
    case kKnotChapter:
    case kKnotShort:
      return false;
    case kKnotLink:
    case kKnotTag:
      if (cp == info->first) {
        *range = {doc, cp, cp + 1};
        return true;
      }
      *range = {doc, info->first + 1, info->limit};
      return false;
    case kKnotList:
    case kKnotToc:
    case kKnotTocEntry:
      if (cp > info->first && cp < info->limit - 1) {
        *range = {doc, info->first, info->limit - 1};
        return true;
      }
      *range = {doc, cp, cp + 1};
      return false;
    case kKnotTable:
      *range = {doc, cp, cp + 1};
      return false;
    default:
      if (info->kinkCount < 3 && type != kKnotRow) return true;
      *range = {doc, previous + 1, std::max(previous + 1, next)};
      return true;
  }
}

uint32_t VisibleCpCore(GlimmetDoc* doc, Pane* pane, uint32_t cp, bool forward) {
  if (!pane) pane = CurrentPane(doc);
  if (ShowsAllCodes(pane)) return cp;
  DocRange paneRange;
  GetPaneRange(doc, pane, &paneRange);
  if (paneRange.limit <= paneRange.first) return paneRange.first;
  cp = std::clamp(cp, paneRange.first, paneRange.limit);
  // Steps cp one way; false when it would leave the pane.
  auto step = [&](uint32_t to) {
    if (forward ? to >= paneRange.limit : (to < paneRange.first || to > cp)) {
      cp = forward ? paneRange.limit : paneRange.first;
      return false;
    }
    cp = to;
    return true;
  };
  bool walking = true;
  KnotInfo info;  // FetchKnot fills it afresh on each use
  for (int guard = 0; walking && guard < 1 << 20 && cp < paneRange.limit; ++guard) {
    if (!IsKinkChar(doc->text.at(cp))) break;
    const uint32_t index = doc->knots.indexAtCp(cp);
    if (index == kGMNone) break;
    const KnotEntry& e = doc->knots.at(index);
    uint32_t type = e.type;
    if (type == kKnotBookmark) type = BookmarkShownAsLink(doc, pane) ? kKnotLink : kKnotChapter;
    switch (type) {
      case kKnotAutonum:
      case kKnotCheckbox:
      case kKnotDivider:
      case kKnotPicture:
      case kKnotVar:
        walking = false;
        break;
      case kKnotChapter:
      case kKnotShort:
        if (!FetchKnot(doc, cp, &info, 0)) walking = false;
        else walking = step(forward ? info.limit : info.first - 1);
        break;
      case kKnotLink:
      case kKnotTag:
        if (e.kink == kKinkBegin || !FetchKnot(doc, cp, &info, 0)) walking = false;
        else walking = step(forward ? info.limit : info.first);
        break;
      case kKnotList:
      case kKnotTable:
      case kKnotRow:
      case kKnotToc:
      case kKnotTocEntry:
      case kKnotNote:
        walking = step(forward ? cp + 1 : cp - 1);
        break;
      default:
        LogAssert("Unknown knot", __func__, __FILE__, __LINE__);
        walking = step(forward ? cp + 1 : cp - 1);
        break;
    }
  }
  // A position inside hidden text of an enclosing knot (a link's address, a chapter's slots)
  // moves out of it in the walk's direction.
  for (int guard = 0; guard < 64 && cp > paneRange.first && cp < paneRange.limit; ++guard) {
    if (!FetchKnot(doc, cp, &info, 0) || info.first == cp) break;
    DocRange shown;
    if (ShouldShowKnot(&info, cp, pane, &shown)) break;
    if (!step(forward ? std::max(shown.limit, cp + 1) : std::min(shown.first, cp) - 1)) break;
  }
  return std::clamp(cp, paneRange.first, paneRange.limit);
}

uint32_t FirstVisibleCpInPara(GlimmetDoc* doc, Pane* pane, uint32_t cp) {
  if (!pane) pane = CurrentPane(doc);
  if (ShowsAllCodes(pane)) return cp;
  return VisibleCpCore(doc, pane, cp, true);
}

void ProtectParaMark(DocRange* piece, const DocRange* range, Pane* pane, const KnotInfo* info, uint32_t n,
                     int mode, const DocRange* source) {
  GlimmetDoc* doc = piece->doc;
  const bool hasKnot = info && info->found();
  if (hasKnot && n < info->kinkCount && piece->limit > info->kinkCps[n])
    LogAssert("Range extends over knot", __func__, __FILE__, __LINE__);
  if (piece->empty()) return;

  auto sourceEndsWithMark = [&]() {
    if (!source || !source->doc || source->empty()) return false;
    DocRange para;
    const uint32_t last = std::max(source->first, source->limit - 1);
    FetchParaProps(source->doc, nullptr, last, &para, nullptr);
    return para.limit == source->limit && IsParaMarkChar(source->doc->text.at(source->limit - 1));
  };

  if (!hasKnot) {
    if (mode == kEditInsertBreak) return;
    const uint32_t bodyEnd = uint32_t(doc->userLength);
    if (piece->limit < bodyEnd) return;
    piece->limit = bodyEnd;
    if (piece->first > piece->limit) piece->first = piece->limit;
    if (mode == kEditCopyFirst) {
      if (!sourceEndsWithMark()) Lower(piece);
      return;
    }
    KnotInfo before;
    const bool leave = piece->first > BodyStart(doc) && piece->first > 0 &&
                       !FetchKnot(doc, piece->first - 1, &before, 0) && [&] {
                         DocRange para;
                         FetchParaProps(doc, pane, piece->first, &para, nullptr);
                         return para.first == piece->first;
                       }();
    if (!leave) Lower(piece);
    return;
  }

  if (n >= info->kinkCount || piece->limit < info->kinkCps[n]) return;
  const KnotDesc& desc = g_knotDescs[info->type()];
  const bool last = n + 1 == info->kinkCount;
  const bool breaks = n == 0 ? desc.beginBreaksPara != 0 : last ? desc.endChar == kKnotMarkChar : desc.middleChar == kKnotMarkChar;
  if (!breaks) return;

  switch (mode) {
    case kEditWalkSource:
    case kEditProps:
    case kEditInsert:
    case kEditWholeKnots:
      Lower(piece);
      return;
    case kEditInsertBreak:
      return;
    case kEditCopyFirst:
      if (!sourceEndsWithMark()) Lower(piece);
      return;
    default:
      break;
  }

  // Deleting (and the later pieces of a copy).
  const uint32_t type = info->type();
  if (n > 0 && (type == kKnotBookmark || type == kKnotLink || type == kKnotNote || type == kKnotRow) &&
      piece->first == info->kinkCps[n - 1] + 1) {
    Lower(piece);
    return;
  }
  if (!pane) pane = CurrentPane(doc);
  DocRange paneRange;
  GetPaneRange(doc, pane, &paneRange);
  const uint32_t textStart = PaneKind(pane) <= 1 ? BodyStart(doc) : paneRange.first;
  if (piece->first == textStart && type != kKnotChapter) return;
  if (n > 0) {
    if (piece->first <= info->kinkCps[n - 1] + 1) Lower(piece);
    else if (!StartsParaAfterMark(doc, piece->first)) Lower(piece);
    return;
  }
  if (StartsParaAfterMark(doc, piece->first)) return;
  if (!range) {
    Lower(piece);
    return;
  }
  if (PaneKind(pane) <= 1 && !source) {
    DocRange chapter;
    FetchChapterProps(doc, piece->first, &chapter, nullptr);
    if (KnotLimitCp(doc, chapter.first) == piece->first && piece->limit == info->first &&
        range->first == piece->limit) {
      if (type != kKnotChapter && type != kKnotShort) return;
      if (type == kKnotShort && piece->first >= uint32_t(doc->userLength)) return;
    }
  }
  uint32_t walk = info->limit;
  while (walk < range->limit) {
    KnotInfo at;
    if (!FetchKnot(doc, walk, &at, 0)) return;
    switch (at.type()) {
      case kKnotChapter:
      case kKnotDivider:
      case kKnotList:
      case kKnotShort:
      case kKnotTable:
      case kKnotRow:
      case kKnotToc:
        walk = std::max(walk + 1, at.limit);
        break;
      default:
        return;
    }
  }
  Lower(piece);
}

bool GetNextEditRange(DocRange* range, DocRange* piece, Pane* pane, int mode, const DocRange* source) {
  if (!IsRangeRegistered(range)) LogAssert("rangePtr must be registered", __func__, __FILE__, __LINE__);
  *piece = *range;
  if (range->first > range->limit) {
    LogAssert("Bad range", __func__, __FILE__, __LINE__);
    return false;
  }
  if (range->first == range->limit) return false;
  GlimmetDoc* doc = range->doc;
  if (!pane) pane = CurrentPane(doc);
  DocRange paneRange;
  GetPaneRange(doc, pane, &paneRange);
  uint32_t nextKnot = NextKnotCp(doc, range->first);
  if (nextKnot == kGMNone) nextKnot = paneRange.limit;
  KnotInfo info;
  FetchKnot(doc, range->first, &info, 0);

  if (!info.found() && mode != kEditWholeKnots) {
    piece->limit = std::min(range->limit, std::max(nextKnot, range->first + 1));
    range->first = piece->limit;
    if (mode != kEditWalkSource && mode != kEditProps) {
      KnotInfo next;
      if (nextKnot < paneRange.limit) FetchKnot(doc, nextKnot, &next, 0);
      ProtectParaMark(piece, range, pane, &next, 0, mode, source);
    }
    return piece->first + 1 < uint32_t(doc->totalLength);
  }
  if (mode > kEditCopyFirst || mode < 0) {
    LogAssert("Unknown knotEdit", __func__, __FILE__, __LINE__);
    return false;
  }

  if (mode == kEditWholeKnots) {
    if (!info.found()) {
      if (nextKnot >= range->limit || !FetchKnot(doc, nextKnot, &info, 0)) {
        piece->limit = piece->first = range->limit;
        range->first = range->limit;
        return false;
      }
    }
    *piece = info.range();
    range->first = info.limit;
    range->limit = std::max(range->limit, range->first);
    return true;
  }

  if (mode == kEditProps) {
    const uint32_t type = info.type();
    if (type == kKnotBookmark || type == kKnotLink || type == kKnotTag || ShowsAllCodes(pane)) {
      piece->limit = std::min(info.limit, range->limit);
      range->first = piece->limit;
      return true;
    }
    DocRange shown;
    const uint32_t start = range->first;
    if (ShouldShowKnot(&info, start, pane, &shown)) {
      if (start == shown.limit) {
        piece->limit = piece->first = start;
        range->first = std::min(start + 1, range->limit);
        return true;
      }
      piece->first = std::min(std::max(start, shown.first), range->limit);
      uint32_t limit = std::min({range->limit, info.limit, shown.limit});
      const uint32_t after = NextKnotCp(doc, start + 1);
      if (after != kGMNone) limit = std::min(limit, after);
      piece->limit = std::max(piece->first, limit);
      range->first = piece->limit > start ? piece->limit : std::min(start + 1, range->limit);
    } else {
      piece->first = piece->limit = start;
      range->first = std::min(std::max(shown.limit, start + 1), range->limit);
    }
    return true;
  }

  // Deleting, inserting and copying inside a knot: passes over the knot and its outer knots.
  KnotInfo k = info;
  uint32_t c = range->first;
  uint32_t L = range->limit;
  DocRange p = *range;
  uint32_t nextStart = L;
  for (int pass = 0; pass < 64; ++pass) {
    uint32_t j = 0;
    for (uint32_t i = 0; i < k.kinkCount && k.kinkCps[i] <= c; ++i) j = i;
    const uint32_t k0 = k.first;
    const uint32_t klimit = k.limit;
    enum { kDone, kNotes, kSlots } next = kDone;

    if (k.knotClass == kKnotClassAtomic) {
      DocRange outer;
      KnotInfo o;
      // A note's number goes with its note; the note steps are made for notes only.
      if (k.type() == kKnotAutonum && FindOuterKnot(k.range(), &outer) && FetchKnot(doc, outer.first, &o, 0) &&
          o.type() == kKnotNote && o.kinkCount > 2 && c <= o.first + 1 && L >= o.kinkCps[1]) {
        k = o;
        next = kNotes;
      } else {
        p = k.range();
        nextStart = klimit;
      }
    } else {
      const bool covered = c <= k0 + 1 && L + 1 >= klimit;
      if (!covered) {
        if (k.type() == kKnotNote && !ShowsAllCodes(pane) &&
            (mode == kEditCopyLater || mode == kEditDelete || mode == kEditCopyFirst) && c <= k0 + 1 &&
            k.kinkCount > 1 && L >= k.kinkCps[1]) {
          next = kNotes;
        } else if ((k.type() == kKnotBookmark || k.type() == kKnotLink || k.type() == kKnotTag) && c == k0) {
          p = k.range();
          nextStart = std::min(klimit, L);
        } else {
          next = kSlots;
        }
      } else if (k.type() == kKnotRow) {
        if (mode == kEditCopyLater || mode == kEditInsert || mode == kEditInsertBreak || mode == kEditCopyFirst) {
          next = kSlots;
        } else {
          DocRange table;
          if (CpIsWithinKnot(doc, k0, kKnotTable, &table, false) && table.first + 1 == k0 &&
              table.limit == klimit + 1) {
            p = table;
          } else if (mode == kEditDelete) {
            p = k.range();
          }
          nextStart = p.limit;
        }
      } else if ((mode == kEditWalkSource || mode == kEditInsert || mode == kEditInsertBreak) && k.kinkCount == 2 &&
                 c == k0 + 1 && (L + 1 == klimit || L == klimit)) {
        p = {doc, c, klimit - 1};
        nextStart = klimit - 1;
      } else {
        p = k.range();
        nextStart = klimit;
      }
    }

    if (next == kNotes) {
      const uint32_t k1 = k.kinkCount > 1 ? k.kinkCps[1] : k.first;
      if (PaneKind(pane) <= 1) {
        p = k.range();
        nextStart = k.limit;
        next = kDone;
      } else if (L <= k1 + 1) {
        p = {doc, k.limit, k.limit};
        nextStart = k.limit;
        next = kDone;
      } else {
        j = 1;
        c = k1 + 1;
        next = kSlots;
      }
    }

    if (next == kSlots) {
      const uint32_t n = std::min(j + 1, k.kinkCount - 1);
      const uint32_t e = k.kinkCps[n];
      // A slot piece stops at the first knot inside the slot. When the pass starts inside a slot
      // (a note's second slot) rather than on a kink, a knot may begin right there.
      const bool onKink = c == k.kinkCps[j];
      const uint32_t other = NextKnotCp(doc, onKink ? c + 1 : c);
      uint32_t end = std::min(L, e);
      const bool cut = other != kGMNone && other < end;
      if (cut) end = other;
      const uint32_t start = onKink && c < end ? c + 1 : c;
      p = {doc, start, std::max(start, end)};
      nextStart = cut ? other : e < L ? e + 1 : L;
      if (mode != kEditWalkSource) ProtectParaMark(&p, nullptr, pane, &k, n, mode, source);
    }

    // Widening: a whole knot inside another knot that the edit covers takes the outer knot.
    DocRange outer;
    if (p == k.range() && FindOuterKnot(p, &outer)) {
      const uint32_t c2 = std::min(c, p.first);
      const uint32_t E = std::max(range->limit, p.limit);
      if (c2 <= outer.first + 1 && E + 1 >= outer.limit) {
        range->limit = E;
        L = E;
        KnotInfo o;
        if (!FetchKnot(doc, outer.first, &o, 0) || o.type() == kKnotChapter) break;
        DocRange table;
        if (o.type() == kKnotRow && CpIsWithinKnot(doc, o.first, kKnotTable, &table, false) &&
            c2 <= table.first + 2 && E + 2 >= table.limit) {
          FetchKnot(doc, table.first, &k, 0);
          c = std::min(c2, table.first);
          L = range->limit = std::max(E, table.limit);
        } else {
          k = o;
          c = c2;
        }
        continue;
      }
    }
    break;
  }
  *piece = p;
  range->first = nextStart;
  range->limit = std::max(nextStart, L);
  return true;
}

void AddKnotEntries(GlimmetDoc* doc, uint32_t type, const uint32_t* kinkCps, uint32_t count, uint32_t propCount,
                    const PropRecord* props, uint32_t dataCount, const KinkData* data) {
  for (uint32_t i = 0; i < count; ++i) {
    KnotEntry entry;
    entry.type = type;
    entry.kink = count == 1 ? kKinkAtomic : i == 0 ? kKinkBegin : i + 1 == count ? kKinkEnd : kKinkMiddle;
    if (props && i < propCount) {
      PropRecord record = props[i];
      entry.propIndex = record.kind == kPropUnusedStyle ? kGMNone : IndexForProperties(doc, &record);
    }
    if (data && i < dataCount) {
      entry.word = data[i].word;
      entry.value = data[i].value;
    }
    doc->knots.insertSorted(kinkCps[i], entry);
  }
  GMCpTable<GMNoData>* cps = type == kKnotBookmark ? &doc->bookmarkCps
                             : type == kKnotChapter ? &doc->chapterCps
                             : type == kKnotList    ? &doc->listCps
                             : type == kKnotTable   ? &doc->tableCps
                                                    : nullptr;
  if (cps && count > 0) cps->insertSorted(kinkCps[0], GMNoData{});
  if (type == kKnotVar && data && dataCount > 0 && data[0].word < 32) doc->variableKinds |= 1u << data[0].word;
}

bool InsertKnotAround(DocRange* range, uint32_t type, const PropRecord* props) {
  if (!range || !range->doc || type == 0 || type >= kKnotTypeCount) return false;
  const KnotDesc& desc = g_knotDescs[type];
  if (desc.knotClass != kKnotClassSpanning || desc.kinkCount != 2) {
    LogAssert("Not a two-kink knot", __func__, __FILE__, __LINE__);
    return false;
  }
  GlimmetDoc* doc = range->doc;
  EditingKnot editing;
  DeferDisplay();
  InvalText(*range, false);
  const uint32_t first = range->first, limit = std::max(range->limit, range->first);
  const char16_t endChar = desc.endChar;
  // The end kink first, so that the begin kink's insertion moves it and the text along together.
  const bool ok = ReplaceRangeSimple({doc, limit, limit}, nullptr, &endChar, 1) &&
                  ReplaceRangeSimple({doc, first, first}, nullptr, &kKnotChar, 1);
  if (ok) {
    const uint32_t kinkCps[2] = {first, limit + 1};
    AddKnotEntries(doc, type, kinkCps, 2, props ? 1 : 0, props, 0, nullptr);
    range->first = first;
    range->limit = limit + 2;
    g_postReplaceCp = limit + 2;
  }
  UndeferDisplay(desc.displayClass);
  return ok;
}

bool InsertKnotCore(DocRange* range, uint32_t type, uint32_t kinkCount, uint32_t propCount, const PropRecord* props,
                    uint32_t dataCount, const KinkData* data, bool replace) {
  if (!range || !range->doc || type == 0 || type >= kKnotTypeCount) return false;
  EditingKnot editing;
  GlimmetDoc* doc = range->doc;
  const KnotDesc& desc = g_knotDescs[type];
  const uint32_t count = kinkCount ? kinkCount : desc.kinkCount;
  if (kinkCount && kinkCount != desc.kinkCount && type != kKnotRow)
    LogAssert("kinkCount doesn't match", __func__, __FILE__, __LINE__);
  if (count == 0) {
    LogAssert("Unknown kinkCount", __func__, __FILE__, __LINE__);
    return false;
  }
  if ((count == 1) != (desc.knotClass == kKnotClassAtomic)) {
    LogAssert("kinkCount doesn't match atomic status", __func__, __FILE__, __LINE__);
    return false;
  }
  if (count > kMaxKinks) {
    LogAssert("Too many kinks", __func__, __FILE__, __LINE__);
    return false;
  }
  DeferDisplay();
  InvalText(*range, false);

  uint32_t point = range->first;
  bool ok = true;
  if (replace && range->length() != count) {
    LogAssert(desc.knotClass == kKnotClassAtomic ? "Not replace but atomic" : "Bad range", __func__, __FILE__, __LINE__);
    replace = false;
  }
  if (!replace) {
    if (!range->empty()) {
      DocRange doomed = *range;
      ok = ReplaceRangeCore(&doomed, nullptr, nullptr, 0, false);
      point = doomed.first;
    }
    // Knots do not go inside bookmarks, tags and tables; in a row they open its first cell.
    bool moved = false;
    KnotInfo around;
    FetchKnot(doc, point, &around, 0);
    for (int guard = 0; ok && guard < 32 && around.found(); ++guard) {
      // A cell holds text as the body does: a point inside one stays where it is.
      if (around.type() == kKnotRow && around.kinkCount > 1 && around.kinkCps[0] < point &&
          point <= around.kinkCps[around.kinkCount - 1])
        break;
      if (around.first < point) {
        if (around.type() == kKnotBookmark || around.type() == kKnotTag) {
          point = around.kinkCount > 1 && point < around.kinkCps[1] ? around.first : around.limit;
          moved = true;
        } else if (around.type() == kKnotTable) {
          point = around.limit;
          moved = true;
        } else if (around.type() == kKnotRow) {
          point = around.first + 1;
          moved = true;
        }
      }
      DocRange outer;
      if (!FindOuterKnot({doc, point, point}, &outer) || !FetchKnot(doc, outer.first, &around, 0)) break;
      if (around.first >= point) break;
    }
    if (moved) {
      Pane* pane = CurrentPane(doc);
      pane->selFirst = pane->selLimit = int32_t(point);
    }
  }

  char16_t kinks[kMaxKinks];
  for (uint32_t i = 0; i < count; ++i)
    kinks[i] = i == 0 ? kKnotChar : i + 1 == count ? desc.endChar : desc.middleChar;
  if (ok) {
    const DocRange at{doc, point, replace ? point + count : point};
    const bool saved = g_forceEdit;
    ok = ReplaceRangeSimple(at, nullptr, kinks, count);
    g_forceEdit = saved;
    if (!ok) LogAssert("Untested code", __func__, __FILE__, __LINE__);
  }
  if (ok) {
    uint32_t kinkCps[kMaxKinks];
    for (uint32_t i = 0; i < count; ++i) kinkCps[i] = point + i;
    AddKnotEntries(doc, type, kinkCps, count, propCount, props, dataCount, data);
    range->first = point;
    range->limit = point + count;
    g_postReplaceCp = point + count;
  }
  UndeferDisplay(desc.displayClass);
  return ok;
}

void DeleteKnot(KnotInfo* info) {
  GlimmetDoc* doc = info->doc;
  if (!doc || !info->found()) return;
  EditingKnot editing;
  DeferDisplay();
  uint32_t deleted = 0;
  for (uint32_t k = info->kinkCount; k-- > 0;) {
    const uint32_t cp = info->kinkCps[k];
    if (ReplaceRangeSimple({doc, cp, cp + 1}, nullptr, nullptr, 0)) ++deleted;
  }
  info->limit -= std::min(deleted, info->limit - info->first);
  UndeferDisplay(g_knotDescs[info->type()].displayClass);
}

bool DeleteKnotEntries(GlimmetDoc* doc, uint32_t first, uint32_t limit) {
  limit = std::min(limit, doc->knots.count());
  if (first >= limit) return false;
  bool marked = false;
  for (uint32_t i = first; i < limit; ++i) {
    const uint32_t type = doc->knots.at(i).type;
    if (type == kKnotBookmark || type == kKnotChapter) marked = true;
  }
  doc->knots.erase(first, limit - first);
  return marked;
}

void SetPropsOnKink(GlimmetDoc* doc, uint32_t entryIndex, uint32_t propIndex) {
  if (entryIndex >= doc->knots.count()) {
    LogAssert("Bad index", __func__, __FILE__, __LINE__);
    return;
  }
  KnotEntry& entry = doc->knots.at(entryIndex);
  entry.propIndex = propIndex;
  if (entry.type == kKnotTable || entry.type == kKnotRow) {
    for (GMTableCache& cache : doc->tableCaches) cache.first = cache.limit = kGMNone;
  }
}

DocRange KnotFirstSlot(GlimmetDoc* doc, uint32_t beginCp) {
  const uint32_t first = beginCp + 1;
  const uint32_t next = doc->knots.indexOfCpAfter(first);
  const uint32_t limit = next < doc->knots.count() ? doc->knots.cpAt(next) : first;
  return {doc, first, std::max(first, limit)};
}
