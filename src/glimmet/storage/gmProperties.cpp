#include "glimmet/storage/gmProperties.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/Kolor.h"
#include "framlet/foundation/flReadingMeter.h"
#include "framlet/foundation/flSeededHash.h"
#include "glimmet/storage/GlimmetDoc.h"

#include <algorithm>
#include <new>

namespace {

uint32_t BorderOffsetForKind(uint32_t kind) {
  switch (kind) {
    case kPropPara: return ParaField::border;
    case kPropFrame: return kFrameBorderOffset;
    case kPropTable: return kTableBorderOffset;
    case kPropBorder: return 0;
    default: return kGMNone;
  }
}

void SetBaseBorder(PropRecord* record, uint32_t offset) {
  record->set<uint32_t>(offset + BorderField::lineColor, g_blackKolor);
  record->set<uint32_t>(offset + BorderField::innerColor, kNoKolor);
  record->set<uint32_t>(offset + BorderField::backColor, kNoKolor);
}

// All borders of kind 0 must compare equal, whatever their other fields held.
void NormaliseEmptyBorder(PropRecord* record) {
  const uint32_t offset = BorderOffsetForKind(record->kind);
  if (offset == kGMNone || record->get<uint32_t>(offset + BorderField::kind) != 0) return;
  const uint32_t back = record->get<uint32_t>(offset + BorderField::backColor);
  std::memset(record->body + offset, 0, BorderField::size);
  record->set<uint32_t>(offset + BorderField::backColor, back);
  record->set<uint32_t>(offset + BorderField::lineColor, g_blackKolor);
  record->set<uint32_t>(offset + BorderField::innerColor, kNoKolor);
}

bool ValidFontSize(int16_t size) { return size >= kMinFontSize && size <= kMaxFontSize; }

// The process's seeded hash of the kind and the body bytes the kind uses: the bodies are what a
// file or a page writes (sizes, colours, fonts), and the index of them must not let one choose
// values that share a chain.
uint64_t PropHash(uint32_t kind, const uint8_t* body) {
  return SeededHashBytes(body, PropBodySize(kind), 0x100 | kind);
}

// The slot of the interning cache that holds body, or -1.
template <size_t N>
int CachedSlot(const uint8_t (&bodies)[GlimmetDoc::kPropCacheSlots][N], const uint32_t* indexes, const uint8_t* body) {
  for (int i = 0; i < GlimmetDoc::kPropCacheSlots && indexes[i] != kGMNone; ++i)
    if (std::memcmp(bodies[i], body, N) == 0) return i;
  return -1;
}

// Puts body and its index first in the cache, moving the others down (a hit moves up).
template <size_t N>
void RememberInCache(uint8_t (&bodies)[GlimmetDoc::kPropCacheSlots][N], uint32_t* indexes, int slot,
                     const uint8_t* body, uint32_t index) {
  const int from = slot >= 0 ? slot : GlimmetDoc::kPropCacheSlots - 1;
  if (from == 0 && slot == 0) return;
  std::memmove(bodies[1], bodies[0], N * size_t(from));
  std::memmove(indexes + 1, indexes, sizeof *indexes * size_t(from));
  std::memcpy(bodies[0], body, N);
  indexes[0] = index;
}

const PropRecord* NormalFormatting(GlimmetDoc* doc, bool character) {
  if (doc->styles.empty()) return nullptr;
  return PropertiesAtIndex(doc, character ? doc->styles[0].second : doc->styles[0].first);
}

}  // namespace

const PropRecord* PropertiesAtIndex(const GlimmetDoc* doc, uint32_t index) {
  if (!doc || index >= doc->props.size()) return nullptr;
  return &doc->props[index];
}

void ForgetPropertyIndex(GlimmetDoc* doc) {
  doc->propIndex.indexed = 0;
  doc->propIndex.buckets.clear();
}

void ClearPropertyCaches(GlimmetDoc* doc) {
  std::fill_n(doc->cachedCharIndex, GlimmetDoc::kPropCacheSlots, kGMNone);
  std::fill_n(doc->cachedParaIndex, GlimmetDoc::kPropCacheSlots, kGMNone);
}

uint32_t IndexForProperties(GlimmetDoc* doc, PropRecord* record) {
  if (!doc || !record) return kGMNone;
  const uint32_t kind = record->kind;
  if (kind > kPropDocument) {
    LogAssert("Bad propType", __func__, __FILE__, __LINE__);
    return kGMNone;
  }
  NormaliseEmptyBorder(record);
  const uint32_t size = PropBodySize(kind);
  static_assert(sizeof doc->cachedCharBody[0] == g_propSizes[kPropChar]);
  static_assert(sizeof doc->cachedParaBody[0] == g_propSizes[kPropPara]);
  int slot = -1;
  if (kind == kPropPara && (slot = CachedSlot(doc->cachedParaBody, doc->cachedParaIndex, record->body)) >= 0) {
    const uint32_t index = doc->cachedParaIndex[slot];
    RememberInCache(doc->cachedParaBody, doc->cachedParaIndex, slot, record->body, index);
    return record->index = index;
  }
  if (kind == kPropChar && (slot = CachedSlot(doc->cachedCharBody, doc->cachedCharIndex, record->body)) >= 0) {
    const uint32_t index = doc->cachedCharIndex[slot];
    RememberInCache(doc->cachedCharBody, doc->cachedCharIndex, slot, record->body, index);
    return record->index = index;
  }
  if (kind == kPropChar && !ValidFontSize(record->get<int16_t>(CharField::size)))
    LogAssert("Bad font size", __func__, __FILE__, __LINE__);

  GlimmetDoc::PropIndex& table = doc->propIndex;
  if (table.indexed > doc->props.size()) ForgetPropertyIndex(doc);
  for (; table.indexed < doc->props.size(); ++table.indexed) {
    const PropRecord& stored = doc->props[table.indexed];
    table.buckets[PropHash(stored.kind, stored.body)].push_back(uint32_t(table.indexed));
  }
  // The latest equal record, as a search from the end of the table would find.
  uint32_t index = kGMNone;
  const uint64_t hash = PropHash(kind, record->body);
  const auto bucket = table.buckets.find(hash);
  if (bucket != table.buckets.end())
    for (size_t i = bucket->second.size(); i-- > 0;) {
      const PropRecord& candidate = doc->props[bucket->second[i]];
      if (candidate.kind == kind && std::memcmp(candidate.body, record->body, size) == 0) {
        index = bucket->second[i];
        break;
      }
    }
  if (index == kGMNone) {
    try {
      doc->props.push_back(*record);
    } catch (const std::bad_alloc&) {
      FLReadingMeter::NoteOutOfMemory();
      LogString("Allocation failed for %lu bytes.", (unsigned long)(sizeof(PropRecord) * (doc->props.size() + 1)));
      return kGMNone;
    }
    index = uint32_t(doc->props.size() - 1);
    PropRecord& stored = doc->props.back();
    stored.index = index;
    std::memset(stored.reserved, 0, sizeof stored.reserved);
    std::memset(stored.body + size, 0, kPropBodyMax - size);
  }
  if (kind == kPropChar) RememberInCache(doc->cachedCharBody, doc->cachedCharIndex, -1, record->body, index);
  else if (kind == kPropPara) RememberInCache(doc->cachedParaBody, doc->cachedParaIndex, -1, record->body, index);
  return record->index = index;
}

void RewriteCharRecordsFont(GlimmetDoc* doc, uint16_t oldFont, int16_t oldSize, uint16_t font, int16_t size,
                            bool force) {
  for (PropRecord& record : doc->props) {
    if (record.kind != kPropChar) continue;
    if (force) {
      record.set<uint16_t>(CharField::font, font);
      record.set<int16_t>(CharField::size, size);
      continue;
    }
    if (record.get<uint16_t>(CharField::font) == oldFont) record.set<uint16_t>(CharField::font, font);
    if (record.get<int16_t>(CharField::size) == oldSize) record.set<int16_t>(CharField::size, size);
  }
  ClearPropertyCaches(doc);
  ForgetPropertyIndex(doc);
}

namespace {

// The record of the character run at cp (for a kink without a range asked for, that of the
// text it belongs to); a run that points at another kind is repaired to Normal's.
const PropRecord* CharRunRecord(GlimmetDoc* doc, uint32_t cp, bool kinkTakesText, uint32_t* runOut,
                                GMCpHints* hints = nullptr) {
  if (kinkTakesText) {
    const uint32_t entryIndex = hints ? doc->knots.indexAtCpNear(cp, hints->knot) : doc->knots.indexAtCp(cp);
    if (hints && entryIndex != kGMNone) hints->knot = entryIndex;
    if (entryIndex != kGMNone) {
      const KnotEntry& entry = doc->knots.at(entryIndex);
      if (entry.kink == kKinkBegin && entry.type != kKnotBookmark && entry.type != kKnotTag) ++cp;
      else if (entry.kink == kKinkMiddle) ++cp;
      else if (entry.kink == kKinkEnd && cp > 0) --cp;
    }
  }
  uint32_t run = hints ? doc->charRuns.indexOfCpNear(cp, hints->run) : doc->charRuns.indexOfCp(cp);
  if (run == kGMNone) run = 0;
  run = std::min(run, doc->charRuns.count() - 1);
  if (hints) hints->run = run;
  const PropRecord* found = PropertiesAtIndex(doc, doc->charRuns.at(run));
  if (!found || found->kind != kPropChar) {
    LogAssert("charRuns points to not-char properties", __func__, __FILE__, __LINE__);
    if (!doc->styles.empty()) doc->charRuns.at(run) = doc->styles[0].second;
    found = PropertiesAtIndex(doc, doc->charRuns.at(run));
  }
  *runOut = run;
  return found;
}

void RunRange(GlimmetDoc* doc, uint32_t run, DocRange* range) {
  range->doc = doc;
  range->first = doc->charRuns.cpAt(run);
  range->limit = run + 1 < doc->charRuns.count() ? doc->charRuns.cpAt(run + 1) : uint32_t(doc->totalLength);
}

}  // namespace

void FetchCharProps(GlimmetDoc* doc, uint32_t cp, DocRange* range, PropRecord* record) {
  if (!doc || doc->charRuns.empty()) return;
  if (!record) {
    uint32_t run = 0;
    CharRunRecord(doc, cp, !range, &run);
    if (range) RunRange(doc, run, range);
    return;
  }
  std::optional<PropRecord> scratch;
  *record = *CharPropsAt(doc, cp, range, &scratch);
}

const PropRecord* CharPropsAt(GlimmetDoc* doc, uint32_t cp, DocRange* range, std::optional<PropRecord>* scratch,
                              GMCpHints* hints) {
  if (!doc || doc->charRuns.empty()) return &scratch->emplace();
  uint32_t run = 0;
  const PropRecord* found = CharRunRecord(doc, cp, !range, &run, hints);
  if (range) RunRange(doc, run, range);
  if (found && ValidFontSize(found->get<int16_t>(CharField::size))) return found;
  PropRecord& record = scratch->emplace();
  if (found) record = *found;
  else SetBaseProperties(kPropChar, &record);
  if (!ValidFontSize(record.get<int16_t>(CharField::size))) {
    LogAssert("Bad font size", __func__, __FILE__, __LINE__);
    record.set<int16_t>(CharField::size, kDefaultFontSize);
  }
  return &record;
}

void FetchCharPropsFromSelection(GlimmetDoc* doc, uint8_t* body) {
  Pane* pane = CurrentPane(doc);
  if (!pane) return;
  if (pane->selFirst < pane->selLimit) {
    PropRecord record;
    FetchCharProps(doc, uint32_t(pane->selFirst), nullptr, &record);
    std::memcpy(body, record.body, g_propSizes[kPropChar]);
  } else {
    std::memcpy(body, pane->insertionProps, g_propSizes[kPropChar]);
  }
  body[CharField::flag10] = 0;
}

bool SetParaRange(GlimmetDoc* doc, Pane* pane, uint32_t cp, DocRange* range) {
  DocRange paneRange;
  GetPaneRange(doc, pane, &paneRange);
  if (cp < paneRange.first || cp >= paneRange.limit) {
    LogAssert("cp not in pane", __func__, __FILE__, __LINE__);
    cp = ClampCpToRange(cp, paneRange);
  }
  // A knot character without a knot cannot be shown as one: it becomes a bullet.
  auto knotAt = [&](uint32_t at, KnotInfo* info) -> bool {
    if (doc->knots.indexAtCp(at) == kGMNone) {
      LogAssert("Knot character found but not in a knot", __func__, __FILE__, __LINE__);
      if (char16_t* unit = DocumentTextPtr(doc, at, nullptr)) *unit = kBullet;
      return false;
    }
    return FetchKnot(doc, at, info, 0);
  };

  // The scans read the text through a cursor, passing over the units that are neither marks nor
  // kinks a piece at a time: a paragraph costs its length, not a search per unit.
  auto special = [](char16_t ch) { return IsParaMarkChar(ch) || IsKinkChar(ch); };
  GMTextStore::Cursor cursor(doc->text, cp);
  uint32_t first = paneRange.first;
  uint32_t pos = cp;
  while (pos > paneRange.first) {
    cursor.seek(pos - 1);
    uint32_t count = 0;
    const char16_t* end = cursor.spanBefore(&count);
    const char16_t* stop = end - std::min(count, pos - paneRange.first);
    const char16_t* scan = end;
    while (scan > stop && !special(scan[-1])) --scan;
    pos -= uint32_t(end - scan);
    if (scan == stop && count > 0) continue;
    const uint32_t at = pos - 1;
    const char16_t ch = count > 0 ? scan[-1] : 0;
    if (IsParaMarkChar(ch)) {
      first = pos;
      break;
    }
    if (IsKinkChar(ch)) {
      KnotInfo info;
      if (knotAt(at, &info)) {
        if ((info.type() == kKnotTable || info.type() == kKnotChapter) && info.first <= cp) {
          first = pos;
          break;
        }
        DocRange shown;
        if (!ShouldShowKnot(&info, at, pane, &shown)) {
          pos = std::min(at, std::max(shown.first, paneRange.first));
          continue;
        }
        if (ch == kKnotMarkChar) {
          first = pos;
          break;
        }
      }
    }
    pos = at;
  }

  uint32_t limit = paneRange.limit;
  pos = cp;
  while (pos < paneRange.limit) {
    cursor.seek(pos);
    uint32_t count = 0;
    const char16_t* units = cursor.span(&count);
    const uint32_t allowed = std::min(count, paneRange.limit - pos);
    uint32_t plain = 0;
    while (plain < allowed && !special(units[plain])) ++plain;
    pos += plain;
    if (plain == allowed && count > 0) continue;
    const char16_t ch = count > 0 ? units[plain] : 0;
    if (IsParaMarkChar(ch)) {
      limit = pos + 1;
      break;
    }
    if (IsKinkChar(ch)) {
      KnotInfo info;
      if (knotAt(pos, &info)) {
        DocRange shown;
        if (!ShouldShowKnot(&info, pos, pane, &shown)) {
          pos = std::max(pos + 1, shown.limit);
          continue;
        }
        if (ch == kKnotMarkChar) {
          limit = pos + 1;
          break;
        }
      }
    }
    ++pos;
  }
  limit = std::min(limit, paneRange.limit);

  range->doc = doc;
  range->first = first;
  range->limit = limit;
  if (first >= limit) LogAssert("Bad paragraph range", __func__, __FILE__, __LINE__);
  if (first < paneRange.first) LogAssert("Bad firstCp", __func__, __FILE__, __LINE__);
  if (cp < first || cp >= limit) LogAssert("Desired cp not in para", __func__, __FILE__, __LINE__);
  if (pane && pane->contentsKind < 2 && doc->chapterCps.indexAtCp(first) != kGMNone) return false;
  return true;
}

void FetchParaProps(GlimmetDoc* doc, Pane* pane, uint32_t cp, DocRange* range, PropRecord* record) {
  if (!doc || doc->paraRuns.empty()) return;
  if (!pane) pane = CurrentPane(doc);
  DocRange para{doc, 0, 0};
  const bool useCache = IsMainThread() && !doc->paraCacheOff;
  if (useCache && pane->paraCacheFirst >= 0 && int64_t(cp) >= pane->paraCacheFirst &&
      int64_t(cp) < pane->paraCacheLimit) {
    para.first = uint32_t(pane->paraCacheFirst);
    para.limit = uint32_t(pane->paraCacheLimit);
  } else {
    const bool cacheable = SetParaRange(doc, pane, cp, &para);
    if (useCache) {
      pane->paraCacheFirst = cacheable ? int32_t(para.first) : -1;
      pane->paraCacheLimit = cacheable ? int32_t(para.limit) : -1;
    }
  }
  if (range) *range = para;
  if (!record) return;
  const uint32_t last = para.limit > para.first ? para.limit - 1 : para.first;
  uint32_t run = doc->paraRuns.indexOfCp(last);
  if (run == kGMNone) run = 0;
  run = std::min(run, doc->paraRuns.count() - 1);
  const PropRecord* found = PropertiesAtIndex(doc, doc->paraRuns.at(run));
  if (!found || found->kind != kPropPara) {
    LogAssert("paraRuns points to not-ParaProperties", __func__, __FILE__, __LINE__);
    if (!doc->styles.empty()) doc->paraRuns.at(run) = doc->styles[0].first;
    found = PropertiesAtIndex(doc, doc->paraRuns.at(run));
  }
  if (found) *record = *found;
  else SetBaseProperties(kPropPara, record);
}

void FetchChapterProps(GlimmetDoc* doc, uint32_t cp, DocRange* range, PropRecord* record) {
  if (!doc || doc->chapterCps.empty()) return;
  uint32_t chapter = doc->chapterCps.indexOfCp(cp);
  if (chapter == kGMNone) chapter = 0;
  const uint32_t first = doc->chapterCps.cpAt(chapter);
  if (range) {
    range->doc = doc;
    range->first = first;
    range->limit = chapter + 1 < doc->chapterCps.count() ? doc->chapterCps.cpAt(chapter + 1)
                                                         : uint32_t(doc->totalLength);
  }
  if (!record) return;
  const uint32_t entry = doc->knots.indexAtCp(first);
  const PropRecord* found = entry == kGMNone ? nullptr : PropertiesAtIndex(doc, doc->knots.at(entry).propIndex);
  if (!found || found->kind != kPropChapter) {
    LogAssert("Chapter knot => not-chapter props", __func__, __FILE__, __LINE__);
    SetDefaultProperties(doc, kPropChapter, record);
    return;
  }
  *record = *found;
}

QString ChapterName(GlimmetDoc* doc, uint32_t chapter) {
  if (!doc || chapter >= doc->chapterCps.count()) return QString();
  return TextOfRange(KnotFirstSlot(doc, doc->chapterCps.cpAt(chapter)));
}

void SetBaseProperties(uint32_t kind, PropRecord* record) {
  std::memset(record->reserved, 0, sizeof record->reserved);
  std::memset(record->body, 0, sizeof record->body);
  record->kind = kind;
  record->index = kGMNone;
  switch (kind) {
    case kPropChar:
      record->set<uint32_t>(CharField::color, g_blackKolor);
      record->set<uint32_t>(CharField::backColor, kNoKolor);
      break;
    case kPropPara:
      SetBaseBorder(record, ParaField::border);
      break;
    case kPropTable:
      SetBaseBorder(record, kTableBorderOffset);
      record->set<uint32_t>(TableField::stripeColor, kNoKolor);
      break;
    case kPropBorder:
      SetBaseBorder(record, 0);
      break;
    case kPropDocument:
      record->set<int64_t>(DocField::left, 914400);
      record->set<int64_t>(DocField::top, 914400);
      record->set<int64_t>(DocField::right, 914400);
      record->set<int64_t>(DocField::bottom, 914400);
      record->set<uint32_t>(DocField::btColor, g_blackKolor);
      record->set<uint32_t>(DocField::back, kNoKolor);
      record->set<int32_t>(DocField::image, -1);
      record->set<int32_t>(DocField::opacity, 100);
      record->set<int32_t>(DocField::scale, 1000);
      break;
    case kPropChapter:
    case kPropFrame:
    case kPropList:
    case kPropUnusedStyle:
      break;
    default:
      LogAssert("Bad propType", __func__, __FILE__, __LINE__);
      break;
  }
}

void SetDefaultProperties(GlimmetDoc* doc, uint32_t kind, PropRecord* record) {
  auto copyIndexed = [&](uint32_t index) {
    if (const PropRecord* found = PropertiesAtIndex(doc, index)) *record = *found;
    else SetBaseProperties(kind, record);
  };
  switch (kind) {
    case kPropChar: {
      const PropRecord* normal = NormalFormatting(doc, true);
      if (normal && normal->kind != kPropChar) LogAssert("Normal's 2nd formatting not char props", __func__, __FILE__, __LINE__);
      if (normal && normal->kind == kPropChar) *record = *normal;
      else SetBaseProperties(kind, record);
      break;
    }
    case kPropPara: {
      const PropRecord* normal = NormalFormatting(doc, false);
      if (normal && normal->kind != kPropPara) LogAssert("Normal's 1st formatting not para props", __func__, __FILE__, __LINE__);
      if (normal && normal->kind == kPropPara) *record = *normal;
      else SetBaseProperties(kind, record);
      break;
    }
    case kPropChapter: copyIndexed(doc->defaultChapterProps); break;
    case kPropTable: copyIndexed(doc->defaultTableProps); break;
    case kPropList: copyIndexed(doc->defaultListProps); break;
    case kPropBorder:
    case kPropUnusedStyle:
      SetBaseProperties(kind, record);
      break;
    case kPropDocument:
      SetBaseProperties(kind, record);
      record->set<int64_t>(DocField::defTab, 457200);
      record->set<uint16_t>(DocField::pageNum, 1);
      record->body[DocField::widow] = 1;
      record->body[DocField::hPush] = 1;
      record->body[DocField::fPush] = 1;
      break;
    default:
      LogAssert("Bad propType", __func__, __FILE__, __LINE__);
      SetBaseProperties(kPropUnusedStyle, record);
      break;
  }
}

GlimmetDoc* g_prefDoc = nullptr;

bool SetNormalListProps(GlimmetDoc* doc) {
  PropRecord list;
  const PropRecord* preferred =
      (doc->owner || doc->kind == kDocShown) && g_prefDoc ? PropertiesAtIndex(g_prefDoc, g_prefDoc->defaultListProps)
                                                          : nullptr;
  if (preferred) {
    list = *preferred;
  } else {
    SetBaseProperties(kPropList, &list);
    list.set<int64_t>(ListField::indent, 457200);
    const uint32_t first = ListField::markers;
    list.set<uint32_t>(first, 1);  // bullet
    list.set<uint16_t>(first + 8, 0x2022);
    const uint32_t second = ListField::markers + ListField::markerSize;
    list.set<uint32_t>(second, 1);
    list.set<uint16_t>(second + 8, u'-');
  }
  try {
    list.index = uint32_t(doc->props.size());
    doc->props.push_back(list);
  } catch (const std::bad_alloc&) {
    FLReadingMeter::NoteOutOfMemory();
    return false;
  }
  doc->defaultListProps = list.index;
  return true;
}

int32_t StepOffsetFontSize(int32_t points, int32_t steps) {
  int32_t size = points;
  bool raised = false;
  if (size >= 10 && size % 2 != 0) {
    ++size;
    raised = true;
  }
  for (int32_t step = 0; step < steps; ++step) {
    if (raised) {
      raised = false;
      continue;
    }
    if (size < 10) size += 1;
    else if (size < 24) size += 2;
    else size = (size / 12 + 1) * 12;
  }
  for (int32_t step = 0; step > steps; --step) {
    const int32_t original = step == 0 ? points : size;
    if (size >= 25) size = original % 12 == 0 ? original - 12 : original - original % 12;
    else if (size >= 11) size -= 2;
    else size -= 1;
  }
  return std::clamp(size, 4, 2000);
}

int64_t PaneTextWidth(GlimmetDoc* doc, Pane* pane) {
  const PropRecord& props = doc->docProps;
  int64_t width = int64_t(doc->paperWidth) * kEmuPerPoint - props.get<int64_t>(DocField::left) -
                  props.get<int64_t>(DocField::right);
  if (props.get<int64_t>(DocField::gutter) > 0) width -= props.get<int64_t>(DocField::gutter);
  if (pane && LayoutService() && pane->view) {
    const int64_t draft = LayoutService()->DraftWidth(doc, pane);
    if (draft > 0) width = draft;
  }
  return width;
}

void AddHeaderTabs(GlimmetDoc* doc, Pane* pane, uint8_t* body) {
  PropRecord para;
  para.kind = kPropPara;
  std::memcpy(para.body, body, g_propSizes[kPropPara]);
  uint16_t count = para.get<uint16_t>(ParaField::tabCount);
  if (count >= kMaxTabs) return;
  const int64_t width = PaneTextWidth(doc, pane);
  const int64_t left = para.get<int64_t>(ParaField::leftIndent);
  const int64_t right = para.get<int64_t>(ParaField::rightIndent);
  auto lastTab = [&]() -> int64_t {
    return count ? int64_t(TabPosition(para.get<uint32_t>(ParaField::tabs + 4 * (count - 1)))) : -1;
  };
  auto append = [&](int64_t position, uint32_t alignment) {
    para.set<uint32_t>(ParaField::tabs + 4 * count, MakeTab(uint32_t(std::max<int64_t>(0, position)), alignment));
    ++count;
  };
  const int64_t centre = (left + width - right) / 2;
  if (count == 0 || lastTab() < centre) append(centre, 1);
  const int64_t rightEdge = width - right;
  if (count < kMaxTabs && rightEdge > lastTab()) append(rightEdge, 2);
  para.set<uint16_t>(ParaField::tabCount, count);
  std::memcpy(body, para.body, g_propSizes[kPropPara]);
}

void DeleteTab(uint8_t* body, uint32_t tabNumber) {
  uint16_t count;
  std::memcpy(&count, body + ParaField::tabCount, sizeof count);
  if (tabNumber >= count) {
    LogAssert("Bad tabIndex", __func__, __FILE__, __LINE__);
    return;
  }
  uint8_t* tabs = body + ParaField::tabs;
  std::memmove(tabs + 4 * tabNumber, tabs + 4 * (tabNumber + 1), 4 * (count - tabNumber - 1));
  std::memset(tabs + 4 * (count - 1), 0, 4);
  --count;
  std::memcpy(body + ParaField::tabCount, &count, sizeof count);
}
