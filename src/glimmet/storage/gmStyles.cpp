#include "glimmet/storage/gmStyles.h"

#include "framlet/foundation/Kolor.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flFormatString.h"
#include "framlet/foundation/flReadingMeter.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmAtoms.h"
#include "glimmet/storage/gmEdit.h"
#include "glimmet/storage/gmLists.h"

#include <algorithm>
#include <map>
#include <memory>
#include <new>
#include <tuple>

const char* const g_builtinStyleNames[kBuiltinStyleCount] = {
    "Normal",    "<Spare 7>", "note number", "<Spare 6>", "<Spare 5>", "page number", "link",   "<Spare 4>",
    "<Spare 3>", "<Spare 2>", "<Spare 1>",   "<Spare 0>", "<Spare 6>", "note text",   "<Spare 5>", "header", "footer",
    "toc 1",     "toc 2",     "toc 3",       "toc 4",     "list 1",    "list 2",      "list 3", "list 4",
    "list 5",    "list 6",    "list 7",      "list 8",    "list 9"};

namespace {

GMAlertHook g_alertHook;

struct MoleculeDeleter {
  void operator()(GMMolecule* molecule) const { FreeMolecule(molecule); }
};
using MoleculePtr = std::unique_ptr<GMMolecule, MoleculeDeleter>;

uint32_t BuiltinKind(uint32_t id) { return id < 7 ? kPropChar : kPropPara; }

bool FetchRecord(GlimmetDoc* doc, uint32_t index, uint32_t kind, PropRecord* out) {
  const PropRecord* found = PropertiesAtIndex(doc, index);
  if (!found || found->kind != kind) {
    SetDefaultProperties(doc, kind, out);
    return false;
  }
  *out = *found;
  return true;
}

// The record with its differences from `from` applied on top of `onto`; the style index stays
// that of `onto`.
bool ReapplyDifferences(GlimmetDoc* doc, const PropRecord& record, PropRecord from, const PropRecord& onto,
                        int64_t cp, PropRecord* out) {
  from.set<uint16_t>(0, record.get<uint16_t>(0));
  MoleculePtr difference(MoleculeWithDifferences(record, from));
  if (!difference) return false;
  *out = onto;
  const uint16_t style = onto.get<uint16_t>(0);
  out->set<uint16_t>(0, uint16_t(kStyleNone));  // the difference cannot change the style again
  ApplyMoleculeToProps(doc, cp, out, difference.get());
  out->set<uint16_t>(0, style);
  return true;
}

// The character formatting behind a character record of style 0: its paragraph style's.
uint32_t ParaStyleAt(GlimmetDoc* doc, uint32_t cp) {
  uint32_t run = doc->paraRuns.indexOfCp(cp);
  if (run == kGMNone) run = 0;
  if (run >= doc->paraRuns.count()) return 0;
  const PropRecord* para = PropertiesAtIndex(doc, doc->paraRuns.at(run));
  const uint32_t style = para && para->kind == kPropPara ? para->get<uint16_t>(ParaField::style) : 0;
  return style < doc->styles.size() ? style : 0;
}

// Rebuilds a run table by a function that maps (cp, record) to a new record index; adjacent
// runs of one index merge.
template <typename Remap>
bool RemapRuns(GlimmetDoc* doc, GMCpTable<uint32_t>& runs, const std::vector<uint32_t>& extraBreaks, Remap remap) {
  std::vector<uint32_t> cps;
  for (const auto& entry : runs.entries()) cps.push_back(entry.cp);
  cps.insert(cps.end(), extraBreaks.begin(), extraBreaks.end());
  std::sort(cps.begin(), cps.end());
  cps.erase(std::unique(cps.begin(), cps.end()), cps.end());
  GMCpTable<uint32_t> rebuilt;
  for (uint32_t cp : cps) {
    uint32_t run = runs.indexOfCp(cp);
    if (run == kGMNone) continue;
    const uint32_t index = remap(cp, runs.at(run));
    if (index == kGMNone) return false;
    if (!rebuilt.empty() && rebuilt.at(rebuilt.count() - 1) == index) continue;
    rebuilt.insert(rebuilt.count(), cp, index);
  }
  runs = std::move(rebuilt);
  ClearPropertyCaches(doc);
  return true;
}

// Changes every run that uses the style, each keeping its own difference to the style.
bool RemapStyle(GlimmetDoc* doc, uint32_t styleIndex, uint32_t kind, const PropRecord& oldFirst,
                const PropRecord* oldSecond) {
  const GMStyle& style = doc->styles[styleIndex];
  if (kind == kPropPara) {
    PropRecord newFirst;
    FetchRecord(doc, style.first, kPropPara, &newFirst);
    bool ok = RemapRuns(doc, doc->paraRuns, {}, [&](uint32_t cp, uint32_t index) -> uint32_t {
      const PropRecord* record = PropertiesAtIndex(doc, index);
      if (!record || record->kind != kPropPara || record->get<uint16_t>(0) != styleIndex) return index;
      PropRecord result;
      if (!ReapplyDifferences(doc, *record, oldFirst, newFirst, cp, &result)) return kGMNone;
      return IndexForProperties(doc, &result);
    });
    if (!ok || !oldSecond) return ok;
    PropRecord newSecond;
    FetchRecord(doc, style.second, kPropChar, &newSecond);
    std::vector<uint32_t> breaks;
    for (const auto& entry : doc->paraRuns.entries()) breaks.push_back(entry.cp);
    return RemapRuns(doc, doc->charRuns, breaks, [&](uint32_t cp, uint32_t index) -> uint32_t {
      const PropRecord* record = PropertiesAtIndex(doc, index);
      if (!record || record->kind != kPropChar || record->get<uint16_t>(0) != 0) return index;
      if (ParaStyleAt(doc, cp) != styleIndex) return index;
      PropRecord result;
      if (!ReapplyDifferences(doc, *record, *oldSecond, newSecond, cp, &result)) return kGMNone;
      return IndexForProperties(doc, &result);
    });
  }
  if (kind == kPropChar) {
    PropRecord newFirst;
    FetchRecord(doc, style.first, kPropChar, &newFirst);
    return RemapRuns(doc, doc->charRuns, {}, [&](uint32_t cp, uint32_t index) -> uint32_t {
      const PropRecord* record = PropertiesAtIndex(doc, index);
      if (!record || record->kind != kPropChar || record->get<uint16_t>(0) != styleIndex) return index;
      PropRecord result;
      if (!ReapplyDifferences(doc, *record, oldFirst, newFirst, cp, &result)) return kGMNone;
      return IndexForProperties(doc, &result);
    });
  }
  if (kind == kPropTable || kind == kPropList || kind == kPropChapter) {
    PropRecord newFirst;
    FetchRecord(doc, style.first, kind, &newFirst);
    for (uint32_t i = 0; i < doc->knots.count(); ++i) {
      KnotEntry& entry = doc->knots.at(i);
      const PropRecord* record = PropertiesAtIndex(doc, entry.propIndex);
      if (!record || record->kind != kind || record->get<uint16_t>(0) != styleIndex) continue;
      PropRecord result;
      if (!ReapplyDifferences(doc, *record, oldFirst, newFirst, doc->knots.cpAt(i), &result)) return false;
      const uint32_t index = IndexForProperties(doc, &result);
      if (index == kGMNone) return false;
      SetPropsOnKink(doc, i, index);
    }
    return true;
  }
  LogAssert("Unknown propType", __func__, __FILE__, __LINE__);
  return false;
}

// Styles whose update is under way: a cycle of based-on links ends at the second visit.
thread_local std::vector<std::pair<GlimmetDoc*, uint32_t>> t_updating;

bool UpdateStyleCore(GlimmetDoc* doc, uint32_t styleIndex, const GMStyle& newStyle, const PropRecord& first,
                     const PropRecord* second) {
  if (styleIndex >= doc->styles.size()) return false;
  const std::pair<GlimmetDoc*, uint32_t> key{doc, styleIndex};
  if (std::find(t_updating.begin(), t_updating.end(), key) != t_updating.end()) {
    // A based-on cycle: the style is rooted at Normal instead.
    LogAssert("Cyclic based-on chain", __func__, __FILE__, __LINE__);
    if (styleIndex != 0) doc->styles[styleIndex].basedOn = 0;
    return true;
  }
  const GMStyle old = doc->styles[styleIndex];
  if (old.kind == kPropChar && styleIndex == 0) {
    LogAssert("Illegal for normal character style", __func__, __FILE__, __LINE__);
    return false;
  }
  PropRecord oldFirst, oldSecond;
  FetchRecord(doc, old.first, old.kind == kPropUnusedStyle ? first.kind : old.kind, &oldFirst);
  const bool paragraph = old.kind == kPropPara;
  if (paragraph) FetchRecord(doc, old.second, kPropChar, &oldSecond);

  PropRecord newFirst = first;
  newFirst.set<uint16_t>(0, uint16_t(styleIndex));
  uint32_t firstIndex = kGMNone, secondIndex = kGMNone;
  if (paragraph) {
    newFirst.body[ParaField::checkboxOn] = 0;
    PropRecord newSecond;
    if (second) newSecond = *second;
    else newSecond = oldSecond;
    newSecond.set<uint16_t>(0, 0);
    newSecond.body[CharField::noLink] = 0;
    newSecond.body[CharField::flag10] = 0;
    firstIndex = IndexForProperties(doc, &newFirst);
    secondIndex = IndexForProperties(doc, &newSecond);
    if (firstIndex == kGMNone || secondIndex == kGMNone) return false;
    if (firstIndex == old.first && secondIndex == old.second && newStyle.basedOn == old.basedOn &&
        newStyle.next == old.next)
      return true;
  } else {
    firstIndex = IndexForProperties(doc, &newFirst);
    if (firstIndex == kGMNone) return false;
    if (styleIndex == 0 && first.kind == kPropTable) doc->defaultTableProps = firstIndex;
    if (styleIndex == 0 && first.kind == kPropList) doc->defaultListProps = firstIndex;
  }
  GMStyle& stored = doc->styles[styleIndex];
  stored.basedOn = newStyle.basedOn;
  stored.next = newStyle.next;
  stored.first = firstIndex;
  if (paragraph) stored.second = secondIndex;

  t_updating.push_back(key);
  bool ok = true;
  // The styles based on this one take the change, each keeping its own differences.
  for (uint32_t i = 1; ok && i < doc->styles.size(); ++i) {
    if (i == styleIndex || doc->styles[i].basedOn != styleIndex || doc->styles[i].kind != old.kind) continue;
    const GMStyle dependent = doc->styles[i];
    PropRecord depFirst, depSecond, newDepFirst, newDepSecond;
    FetchRecord(doc, dependent.first, old.kind, &depFirst);
    const PropRecord* baseFirst = PropertiesAtIndex(doc, firstIndex);
    ok = baseFirst && ReapplyDifferences(doc, depFirst, oldFirst, *baseFirst, -1, &newDepFirst);
    if (ok && paragraph) {
      FetchRecord(doc, dependent.second, kPropChar, &depSecond);
      const PropRecord* baseSecond = PropertiesAtIndex(doc, secondIndex);
      ok = baseSecond && ReapplyDifferences(doc, depSecond, oldSecond, *baseSecond, -1, &newDepSecond);
    }
    if (ok) ok = UpdateStyleCore(doc, i, doc->styles[i], newDepFirst, paragraph ? &newDepSecond : nullptr);
  }
  if (ok) ok = RemapStyle(doc, styleIndex, old.kind, oldFirst, paragraph ? &oldSecond : nullptr);
  t_updating.pop_back();
  return ok;
}

// The index of a style of the name (ignoring case) from index 1 on, or kGMNone.
uint32_t StyleNamed(GlimmetDoc* doc, const QString& name) {
  for (uint32_t i = 1; i < doc->styles.size(); ++i)
    if (doc->styles[i].kind != kPropUnusedStyle && doc->styles[i].name.compare(name, Qt::CaseInsensitive) == 0)
      return i;
  return kGMNone;
}

thread_local std::vector<std::pair<GlimmetDoc*, uint32_t>> t_importing;

bool InsertIntoStyleList(GlimmetDoc* doc, uint32_t ref);

}  // namespace

void SetGMAlertHook(GMAlertHook hook) { g_alertHook = std::move(hook); }

void ShowGMAlert(const QString& message, const QString& information) {
  if (g_alertHook) g_alertHook(message, information);
  else LogString("%@ %@", message, information);
}

uint32_t PropTypeForStyle(GlimmetDoc* doc, uint32_t styleRef) {
  if (styleRef >= kStyleHeadingRef) return styleRef - kStyleHeadingRef;
  if (styleRef >= kBuiltinStyleRef) {
    const uint32_t id = styleRef - kBuiltinStyleRef;
    if (id >= kBuiltinStyleCount) LogAssert("Bad styleId encoded in styleIndex", __func__, __FILE__, __LINE__);
    return BuiltinKind(id);
  }
  if (!doc || styleRef >= doc->styles.size()) return kPropUnusedStyle;
  return doc->styles[styleRef].kind;
}

void GetBuiltinStyleDef(GlimmetDoc* doc, uint32_t id, GMStyle* style, PropRecord* first, PropRecord* second) {
  const uint32_t kind = BuiltinKind(id);
  *style = GMStyle();
  style->id = id;
  style->kind = kind;
  style->basedOn = id == 0 ? kStyleNone : 0;
  style->next = kStyleNone;
  style->name = QString::fromUtf8(g_builtinStyleNames[id < kBuiltinStyleCount ? id : 0]);
  if ((doc->owner || doc->kind == kDocShown) && g_prefDoc && g_prefDoc != doc) {
    const uint32_t at = StyleIndexForStyleId(g_prefDoc, id, false);
    if (at != kGMNone) {
      const GMStyle& preferred = g_prefDoc->styles[at];
      FetchRecord(g_prefDoc, preferred.first, kind, first);
      if (kind == kPropPara) FetchRecord(g_prefDoc, preferred.second, kPropChar, second);
      else SetBaseProperties(kPropUnusedStyle, second);
      if (id == 0) {
        style->next = 0;
        SetDefaultFont(doc, second->body);
      }
      return;
    }
  }
  if (id != 0) {
    SetDefaultProperties(doc, kind, first);
    if (kind == kPropPara) SetDefaultProperties(doc, kPropChar, second);
    else SetBaseProperties(kPropUnusedStyle, second);
    if (id >= kListStyleId && id < kListStyleId + 9) {
      first->set<int64_t>(ParaField::leftIndent, int64_t(id - 19) * 457200);
      first->set<int64_t>(ParaField::firstIndent, -457200);
    }
    if (id == kLinkStyleId) {
      first->set<uint32_t>(CharField::color, 0x64D92B27);
      first->set<uint32_t>(CharField::underline, 1);
    }
    return;
  }
  style->next = 0;
  SetBaseProperties(kPropPara, first);
  first->set<uint32_t>(ParaField::border + BorderField::lineColor, g_blackKolor);
  first->set<uint32_t>(ParaField::border + BorderField::innerColor, kNoKolor);
  first->set<uint32_t>(ParaField::border + BorderField::backColor, kNoKolor);
  SetBaseProperties(kPropChar, second);
  second->set<uint32_t>(CharField::color, g_blackKolor);
  second->set<uint32_t>(CharField::backColor, kNoKolor);
  SetDefaultFont(doc, second->body);
}

uint32_t StyleIndexForStyleId(GlimmetDoc* doc, uint32_t id, bool create) {
  if (!doc) return kGMNone;
  if (id >= kBuiltinStyleCount) {
    LogAssert("Bad styleId", __func__, __FILE__, __LINE__);
    return kGMNone;
  }
  if (id == 0) return 0;
  for (uint32_t i = 1; i < doc->styles.size(); ++i)
    if (doc->styles[i].kind != kPropUnusedStyle && doc->styles[i].id == id) return i;
  if (!create) return kGMNone;
  GMStyle style;
  PropRecord first, second;
  GetBuiltinStyleDef(doc, id, &style, &first, &second);
  return CreateStyle(doc, style.name, id, style.basedOn, style.next, first,
                     style.kind == kPropPara ? &second : nullptr);
}

uint32_t CreateStyle(GlimmetDoc* doc, const QString& name, uint32_t id, uint32_t basedOnRef, uint32_t next,
                     const PropRecord& first, const PropRecord* second) {
  if (!doc) return kGMNone;
  if (doc->styles.size() >= kMaxStyles) {
    ShowGMAlert(QStringLiteral("Can't create style."),
                QStringLiteral("I can't create the new style. You have exceeded the limit for the number of "
                               "styles in a document."));
    return kGMNone;
  }
  uint32_t basedOn = basedOnRef;
  if (basedOnRef >= kStyleHeadingRef) {
    basedOn = 0;
  } else if (basedOnRef >= kBuiltinStyleRef) {
    basedOn = StyleIndexForStyleId(doc, basedOnRef - kBuiltinStyleRef, true);
    if (basedOn == kGMNone) return kGMNone;
  } else if (basedOnRef != kStyleNone && basedOnRef >= doc->styles.size()) {
    basedOn = 0;
  }
  const uint32_t index = uint32_t(doc->styles.size());
  GMStyle style;
  style.name = name;
  style.id = id;
  style.kind = first.kind;
  style.basedOn = basedOn;
  if (first.kind == kPropPara) {
    uint32_t nextIndex = next == kStyleNone ? index : next >= kStyleHeadingRef ? 0 : next;
    if (nextIndex >= kBuiltinStyleRef) {
      LogAssert("Bad nextIndex", __func__, __FILE__, __LINE__);
      nextIndex = index;
    }
    style.next = nextIndex;
  }
  PropRecord firstRecord = first;
  firstRecord.set<uint16_t>(0, uint16_t(index));
  if (first.kind == kPropChar) firstRecord.body[CharField::flag10] = 0;
  if (first.kind == kPropPara) firstRecord.body[ParaField::checkboxOn] = 0;
  style.first = IndexForProperties(doc, &firstRecord);
  if (first.kind == kPropPara) {
    PropRecord secondRecord;
    if (second && second->kind == kPropChar) secondRecord = *second;
    else SetDefaultProperties(doc, kPropChar, &secondRecord);
    secondRecord.set<uint16_t>(0, 0);
    secondRecord.body[CharField::noLink] = 0;
    secondRecord.body[CharField::flag10] = 0;
    style.second = IndexForProperties(doc, &secondRecord);
    if (style.second == kGMNone) return kGMNone;
  }
  if (style.first == kGMNone) return kGMNone;
  try {
    doc->styles.push_back(style);
  } catch (const std::bad_alloc&) {
    FLReadingMeter::NoteOutOfMemory();
    return kGMNone;
  }
  InsertIntoStyleList(doc, index);
  return index;
}

bool UpdateStyle(GlimmetDoc* doc, uint32_t styleIndex, const GMStyle& newStyle, const PropRecord& first,
                 const PropRecord* second) {
  if (!doc) return false;
  DeferDisplay();
  const bool ok = UpdateStyleCore(doc, styleIndex, newStyle, first, second);
  UndeferDisplay(2);
  RebuildStyleList(doc);
  return ok;
}

bool ChangeStyle(GlimmetDoc* doc, uint32_t next, const PropRecord& para, const PropRecord& chars) {
  if (!doc || doc->styles.empty()) return false;
  if (para.kind != kPropPara) {
    LogAssert("Invalid propType", __func__, __FILE__, __LINE__);
    return false;
  }
  GMStyle normal = doc->styles[0];
  normal.basedOn = kStyleNone;
  normal.next = next >= kStyleHeadingRef ? 0 : next;
  return UpdateStyle(doc, 0, normal, para, &chars);
}

bool SetNormalFont(GlimmetDoc* doc, uint16_t font, int16_t size, bool force) {
  if (!doc || doc->styles.empty()) return false;
  PropRecord para, chars;
  FetchRecord(doc, doc->styles[0].first, kPropPara, &para);
  FetchRecord(doc, doc->styles[0].second, kPropChar, &chars);
  const uint16_t oldFont = chars.get<uint16_t>(CharField::font);
  const int16_t oldSize = chars.get<int16_t>(CharField::size);
  chars.set<uint16_t>(CharField::font, font);
  chars.set<int16_t>(CharField::size, size);
  if (!ChangeStyle(doc, doc->styles[0].next, para, chars)) return false;
  RewriteCharRecordsFont(doc, oldFont, oldSize, font, size, force);
  return true;
}

bool ApplyParaStyle(const DocRange& range, uint32_t styleRef) {
  return ApplyParaStyles(range.doc, {{range, styleRef}});
}

bool ApplyParaStyles(GlimmetDoc* doc, const std::vector<GMParaStyleChange>& changes) {
  if (!doc) return false;
  // Each change widened to whole paragraphs, with its style's formattings.
  struct Target {
    DocRange whole;
    uint32_t style;
  };
  struct Formattings {
    PropRecord first, second;
  };
  std::map<uint32_t, Formattings> formattings;
  std::vector<Target> targets;
  targets.reserve(changes.size());
  for (const GMParaStyleChange& change : changes) {
    const uint32_t styleRef = change.styleRef;
    uint32_t styleIndex = styleRef >= kStyleHeadingRef ? 0 : styleRef;
    if (styleRef >= kBuiltinStyleRef && styleRef < kStyleHeadingRef)
      styleIndex = StyleIndexForStyleId(doc, styleRef - kBuiltinStyleRef, true);
    if (styleIndex >= doc->styles.size() || doc->styles[styleIndex].kind != kPropPara) {
      LogAssert("Not a paragraph style", __func__, __FILE__, __LINE__);
      return false;
    }
    Target target;
    target.whole = change.range;
    target.whole.doc = doc;
    ExpandDocRange(&target.whole, kExpandPara);
    target.style = styleIndex;
    if (!formattings.count(styleIndex)) {
      Formattings& both = formattings[styleIndex];
      FetchRecord(doc, doc->styles[styleIndex].first, kPropPara, &both.first);
      FetchRecord(doc, doc->styles[styleIndex].second, kPropChar, &both.second);
    }
    targets.push_back(target);
  }
  if (targets.empty()) return true;
  std::stable_sort(targets.begin(), targets.end(),
                   [](const Target& a, const Target& b) { return a.whole.first < b.whole.first; });
  // The change that covers cp (the last one beginning at or before it), or nullptr.
  auto targetAt = [&](uint32_t cp) -> const Target* {
    auto it = std::upper_bound(targets.begin(), targets.end(), cp,
                               [](uint32_t value, const Target& t) { return value < t.whole.first; });
    if (it == targets.begin()) return nullptr;
    --it;
    return cp < it->whole.limit ? &*it : nullptr;
  };
  // Character runs of style 0 inside the changes, then the paragraph runs, each keeping its
  // difference to the formatting of the paragraph style it had.
  std::vector<uint32_t> breaks;
  for (const Target& target : targets) {
    breaks.push_back(target.whole.first);
    breaks.push_back(target.whole.limit);
  }
  std::vector<uint32_t> paraBreaks = breaks;
  for (const auto& entry : doc->paraRuns.entries())
    if (targetAt(entry.cp)) breaks.push_back(entry.cp);
  bool ok = RemapRuns(doc, doc->charRuns, breaks, [&](uint32_t cp, uint32_t index) -> uint32_t {
    const Target* target = targetAt(cp);
    const PropRecord* record = PropertiesAtIndex(doc, index);
    if (!target || !record || record->kind != kPropChar || record->get<uint16_t>(0) != 0) return index;
    PropRecord oldSecond;
    FetchRecord(doc, doc->styles[ParaStyleAt(doc, cp)].second, kPropChar, &oldSecond);
    PropRecord result;
    if (!ReapplyDifferences(doc, *record, oldSecond, formattings[target->style].second, cp, &result)) return kGMNone;
    return IndexForProperties(doc, &result);
  });
  if (!ok) return false;
  ok = RemapRuns(doc, doc->paraRuns, paraBreaks, [&](uint32_t cp, uint32_t index) -> uint32_t {
    const Target* target = targetAt(cp);
    const PropRecord* record = PropertiesAtIndex(doc, index);
    if (!target || !record || record->kind != kPropPara) return index;
    const uint32_t old = record->get<uint16_t>(0);
    PropRecord oldFirst;
    FetchRecord(doc, old < doc->styles.size() ? doc->styles[old].first : doc->styles[0].first, kPropPara, &oldFirst);
    PropRecord result;
    if (!ReapplyDifferences(doc, *record, oldFirst, formattings[target->style].first, cp, &result)) return kGMNone;
    return IndexForProperties(doc, &result);
  });
  // Adjacent changes are invalidated as one stretch.
  for (size_t i = 0; i < targets.size();) {
    DocRange span = targets[i].whole;
    for (++i; i < targets.size() && targets[i].whole.first <= span.limit; ++i)
      span.limit = std::max(span.limit, targets[i].whole.limit);
    InvalListCache(span);
    InvalText(span, false);
  }
  return ok;
}

bool ForceRangeToStyleId(const DocRange& range, uint32_t id) {
  GlimmetDoc* doc = range.doc;
  if (!doc) return false;
  const uint32_t index = StyleIndexForStyleId(doc, id, true);
  if (index == kGMNone) return false;
  const GMStyle& style = doc->styles[index];
  Pane* pane = CurrentPane(doc);
  if (id == kLinkStyleId && doc->owner && pane && pane->view && DeferStatus().count == 0)
    LogAssert("Display must be deferred when applying linkStyleId", __func__, __FILE__, __LINE__);
  const bool savedAllow = pane ? pane->allowLinkFormatting : false;
  if (pane && id == kLinkStyleId) pane->allowLinkFormatting = true;
  const PropRecord* first = PropertiesAtIndex(doc, style.first);
  bool ok = first && ApplyPropsToRange(range, *first);
  if (ok && style.kind == kPropPara) {
    const PropRecord* second = PropertiesAtIndex(doc, style.second);
    ok = second && ApplyPropsToRange(range, *second);
    doc->listCache.eraseRange(range.first, range.limit);
  }
  if (pane) pane->allowLinkFormatting = savedAllow;
  return ok;
}

namespace {

// Where a reference sorts in the style list: its kind, the kind's heading first, the name ignoring
// case, the reference.
using StyleKey = std::tuple<uint32_t, int, QString, uint32_t>;

// Each name folded is a step of the reading under way, if any.
StyleKey KeyOfStyle(GlimmetDoc* doc, uint32_t ref) {
  if (FLReadingMeter* meter = FLReadingMeter::current()) meter->steps(1);
  const bool heading = ref >= kStyleHeadingRef;
  const uint32_t kind = heading ? ref - kStyleHeadingRef : PropTypeForStyle(doc, ref);
  QString name = heading || ref >= doc->styles.size() ? QString() : doc->styles[ref].name.toCaseFolded();
  return {kind, heading ? 0 : 1, std::move(name), ref};
}

// Puts a style made since the list was last sorted in its place: the list is sorted already, so
// its place is found in a few comparisons, where sorting again would fold every name once more.
bool InsertIntoStyleList(GlimmetDoc* doc, uint32_t ref) {
  if (doc->styleList.empty()) return RebuildStyleList(doc);  // never sorted (a new or opened document)
  const StyleKey key = KeyOfStyle(doc, ref);
  const auto at = std::partition_point(doc->styleList.begin(), doc->styleList.end(),
                                       [&](uint32_t listed) { return KeyOfStyle(doc, listed) < key; });
  try {
    doc->styleList.insert(at, ref);
  } catch (const std::bad_alloc&) {
    FLReadingMeter::NoteOutOfMemory();
    doc->styleList.clear();  // sorted again whole by the next style made
    return false;
  }
  return true;
}

}  // namespace

bool StyleSortsBefore(GlimmetDoc* doc, uint32_t a, uint32_t b) { return KeyOfStyle(doc, a) < KeyOfStyle(doc, b); }

bool RebuildStyleList(GlimmetDoc* doc) {
  if (!doc) return false;
  try {
    // Each name is folded once, not at every comparison.
    std::vector<StyleKey> keys;
    keys.reserve(doc->styles.size() + 5);
    for (uint32_t kind : {kPropChar, kPropPara, kPropChapter, kPropTable, kPropList})
      keys.push_back(KeyOfStyle(doc, kStyleHeadingRef + kind));
    for (uint32_t i = 1; i < doc->styles.size(); ++i)
      if (doc->styles[i].kind != kPropUnusedStyle) keys.push_back(KeyOfStyle(doc, i));
    std::sort(keys.begin(), keys.end());
    std::vector<uint32_t> list;
    list.reserve(keys.size());
    for (const StyleKey& key : keys) list.push_back(std::get<3>(key));
    doc->styleList = std::move(list);
  } catch (const std::bad_alloc&) {
    FLReadingMeter::NoteOutOfMemory();
    return false;
  }
  return true;
}

void ResetCopySlots(GlimmetDoc* doc) {
  if (!doc) return;
  for (GMStyle& style : doc->styles) style.copySlot = kStyleNone;
}

uint32_t ImportStyle(GlimmetDoc* destination, GlimmetDoc* source, uint32_t sourceIndex) {
  if (!destination || !source || sourceIndex >= source->styles.size()) return kGMNone;
  if (sourceIndex == 0) return 0;
  GMStyle& from = source->styles[sourceIndex];
  if (from.copySlot != kStyleNone) return from.copySlot;
  const std::pair<GlimmetDoc*, uint32_t> key{source, sourceIndex};
  if (std::find(t_importing.begin(), t_importing.end(), key) != t_importing.end()) return 0;  // a cycle: Normal
  t_importing.push_back(key);
  struct Pop {
    ~Pop() { t_importing.pop_back(); }
  } pop;

  const GMStyle copy = from;
  uint32_t basedOn = copy.basedOn;
  if (basedOn != kStyleNone && basedOn < source->styles.size()) {
    basedOn = ImportStyle(destination, source, basedOn);
    if (basedOn == kGMNone) basedOn = 0;
  } else {
    basedOn = kStyleNone;
  }
  PropRecord first, second;
  FetchRecord(source, copy.first, copy.kind, &first);
  if (copy.kind == kPropPara) FetchRecord(source, copy.second, kPropChar, &second);

  uint32_t found = kGMNone;
  QString name = copy.name;
  if (copy.id == kUserStyleId) {
    for (int attempts = 0; attempts < 10000; ++attempts) {
      const uint32_t at = StyleNamed(destination, name);
      if (at == kGMNone) break;
      if (destination->styles[at].kind == copy.kind) {
        found = at;
        GMStyle updated = destination->styles[at];
        updated.basedOn = basedOn == kStyleNone ? 0 : basedOn;
        if (!UpdateStyleCore(destination, at, updated, first, copy.kind == kPropPara ? &second : nullptr))
          return kGMNone;
        break;
      }
      const QChar last = name.isEmpty() ? QChar() : name.back();
      if (last >= u'1' && last <= u'8') name = FormatString("%@%C", name.left(name.size() - 1), QChar(last.unicode() + 1));
      else name = FormatString("%@1", name);
    }
  } else if (copy.id < kBuiltinStyleCount) {
    found = StyleIndexForStyleId(destination, copy.id, false);
  }
  if (found == kGMNone) {
    found = CreateStyle(destination, name, copy.id, basedOn == kStyleNone ? 0 : basedOn, kStyleNone, first,
                        copy.kind == kPropPara ? &second : nullptr);
    if (found == kGMNone) return kGMNone;
  }
  source->styles[sourceIndex].copySlot = found;
  if (copy.kind == kPropPara) {
    if (copy.next == sourceIndex || copy.next == kStyleNone) {
      destination->styles[found].next = found;
    } else if (copy.next < source->styles.size()) {
      const uint32_t next = ImportStyle(destination, source, copy.next);
      destination->styles[found].next = next == kGMNone ? found : next;
      if (next == kGMNone) return kGMNone;
    }
  }
  return found;
}

uint32_t CopyStyle(GlimmetDoc* destination, GlimmetDoc* source, const PropRecord& record) {
  if (record.kind >= kPropNone || record.kind == kPropFrame) return 0;
  const uint32_t style = record.get<uint16_t>(0);
  if (!destination || !source || destination->noStyleCopying || source->noStyleCopying) return 0;
  if (style == 0 || style >= source->styles.size()) return 0;
  const GMStyle& from = source->styles[style];
  if (from.kind != record.kind && !(record.kind == kPropChar && from.kind == kPropPara)) {
    LogAssert("propType mismatch", __func__, __FILE__, __LINE__);
    return 0;
  }
  const uint32_t index = ImportStyle(destination, source, style);
  RebuildStyleList(destination);
  return index;
}

bool MakePropsRelative(GlimmetDoc* destination, GlimmetDoc* source, PropRecord* record, uint32_t destStyle,
                       int64_t destCp) {
  if (record->kind != kPropChar && record->kind != kPropPara) {
    record->set<uint16_t>(0, uint16_t(destStyle));
    return true;
  }
  const uint32_t sourceStyle = record->get<uint16_t>(0);
  auto formatting = [&](GlimmetDoc* doc, uint32_t style, PropRecord* out) {
    if (style >= doc->styles.size()) style = 0;
    const GMStyle& s = doc->styles[style];
    const uint32_t index = record->kind == kPropChar && s.kind == kPropPara ? s.second : s.first;
    FetchRecord(doc, index, record->kind, out);
  };
  PropRecord fromStyle, toStyle;
  formatting(source, sourceStyle, &fromStyle);
  formatting(destination, destStyle, &toStyle);
  PropRecord result;
  if (!ReapplyDifferences(destination, *record, fromStyle, toStyle, destCp, &result)) return false;
  result.set<uint16_t>(0, uint16_t(destStyle));
  *record = result;
  return true;
}

GlimmetDoc* CreatePreferenceDocument() {
  if (!g_prefDoc) g_prefDoc = NewGlimmetDoc(kDocPreferences);
  return g_prefDoc;
}

void DestroyPreferenceDocument() {
  DestroyDocument(g_prefDoc);
  g_prefDoc = nullptr;
}
