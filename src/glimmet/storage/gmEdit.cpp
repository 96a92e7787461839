#include "glimmet/storage/gmEdit.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flReadingMeter.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmFind.h"
#include "glimmet/storage/gmBookmarks.h"
#include "glimmet/storage/gmClipboard.h"
#include "glimmet/storage/gmLists.h"

#include <QChar>

#include <algorithm>
#include <optional>
#include <new>
#include <vector>

int32_t g_redrawReason = 0;
uint32_t g_deleteMask = 0;
bool g_forceEdit = false;
uint32_t g_postReplaceCp = kGMNone;

namespace {

struct RegisteredSlot {
  DocRange* range;
  uint32_t flags;
};

// Ranges that edits on this thread adjust. The table grows as needed: a caller whose range
// could not be registered would go on with a range that edits no longer follow.
thread_local std::vector<RegisteredSlot> t_registered;

GMDeferStatus g_deferStatus;
// Copies between documents through the clipboard code unless a caller installs another copy.
GMCopyRangeHook g_copyRangeHook = CopyDocumentRange;

struct ForcedEdit {
  bool saved = g_forceEdit;
  ForcedEdit() { g_forceEdit = true; }
  ~ForcedEdit() { g_forceEdit = saved; }
};

char16_t StraightQuote(char16_t unit) {
  if (unit == 0x2018 || unit == 0x2019) return 0x0027;
  if (unit == 0x201C || unit == 0x201D) return 0x0022;
  return unit;
}

bool ContainsBreak(GlimmetDoc* doc, uint32_t first, uint32_t limit) {
  while (first < limit) {
    uint32_t pieceLimit = 0;
    const char16_t* units = doc->text.pointerAt(first, &pieceLimit);
    if (!units) return false;
    const uint32_t end = std::min(limit, pieceLimit);
    for (uint32_t i = 0; i < end - first; ++i)
      if (IsBreakChar(units[i])) return true;
    first = end;
  }
  return false;
}

bool IsStretchBreak(char16_t ch) { return ch <= 0x01 || IsParaMarkChar(ch); }

// Edits reset the check states of the paragraphs they touch. Only stretches with a state other
// than 0 need work, and most documents have none.
void ResetCheckStates(GlimmetDoc* doc, uint32_t first, uint32_t limit, uint32_t newLimit, int64_t delta) {
  GMCpTable<uint16_t>& states = doc->checkStates;
  states.adjustForEdit(first, limit, delta, true);
  if (doc->nonZeroCheckStates == 0) return;
  const uint32_t total = doc->text.length();
  uint32_t start = first;
  while (start > 0 && !IsStretchBreak(doc->text.at(start - 1))) --start;
  uint32_t end = newLimit;
  while (end < total && !IsStretchBreak(doc->text.at(end))) ++end;
  end = std::min(total, end + 1);
  const uint32_t afterIndex = states.indexOfCp(end);
  const uint16_t after = afterIndex == kGMNone ? 0 : states.at(afterIndex);
  states.eraseRange(start, end + 1, true);
  const uint32_t at = states.indexAtCp(start);
  if (at != kGMNone) states.at(at) = 0;
  else states.insertSorted(start, 0);
  if (end < total && after != 0 && states.indexAtCp(end) == kGMNone) states.insertSorted(end, after);
  uint32_t nonZero = 0;
  for (const auto& entry : states.entries()) nonZero += entry.data != 0;
  doc->nonZeroCheckStates = nonZero;
}

// Keeps a run table in step with an edit of [s, l) (cps before the edit) changing the length by delta.
void AdjustPropIndexes(GMCpTable<uint32_t>& runs, uint32_t s, uint32_t l, int64_t delta) {
  if (runs.empty()) return;
  uint32_t held = runs.indexOfCp(s);
  if (held == kGMNone) held = 0;
  const uint32_t index = runs.at(held);
  // Runs after it with its own properties join it, all in one erase.
  uint32_t same = held + 1;
  while (same < runs.count() && runs.at(same) == index) ++same;
  if (same > held + 1) runs.erase(held + 1, same - held - 1);
  if (l > s + 1) {
    const uint32_t from = runs.indexOfCpAfter(s + 1);
    const uint32_t to = runs.indexOfCpAfter(l);
    if (to > from) {
      const bool runAtLimit = to < runs.count() && runs.cpAt(to) == l;
      if (runAtLimit) {
        runs.erase(from, to - from);
      } else {
        runs.entry(to - 1).cp = l;
        runs.erase(from, to - 1 - from);
      }
    }
  }
  if (delta >= 1 && l > s && held > 0 && runs.cpAt(held) == s) {
    const bool reachesPast = held + 1 >= runs.count() || runs.cpAt(held + 1) > l;
    if (reachesPast) runs.entry(held).cp = l;
  }
  for (uint32_t i = runs.indexOfCpAfter(s + 1); i < runs.count(); ++i)
    runs.entry(i).cp = uint32_t(int64_t(runs.cpAt(i)) + delta);
  // A run the edit emptied shares its cp with the next one.
  for (uint32_t i = held > 0 ? held - 1 : 0; i + 1 < runs.count() && runs.cpAt(i) <= runs.cpAt(i + 1);) {
    if (runs.cpAt(i) == runs.cpAt(i + 1)) {
      runs.erase(i);
      continue;
    }
    if (runs.cpAt(i) > s + std::max<int64_t>(delta, 0) + 1) break;
    ++i;
  }
}

void AdjustPanes(GlimmetDoc* doc, uint32_t first, uint32_t limit, int64_t delta) {
  const DocRange edit{doc, first, limit};
  for (uint32_t i = 0; i < doc->paneCount && i < 2; ++i) {
    Pane& pane = doc->panes[i];
    pane.paraCacheFirst = pane.paraCacheLimit = -1;
    const bool displayed = doc->owner && pane.view;
    if (displayed && LayoutService()) LayoutService()->AdjustPaneForEdit(doc, &pane, first, limit, delta);
    if (pane.frameIndex == kGMNone) {
      DocRange selection{doc, uint32_t(std::max(0, pane.selFirst)), uint32_t(std::max(0, pane.selLimit))};
      if (selection.limit < selection.first) selection.limit = selection.first;
      AdjustRange(&selection, edit, delta, kRegisterKeepEmpty);
      pane.selFirst = int32_t(selection.first);
      pane.selLimit = int32_t(selection.limit);
      pane.caretX = -1.0f;
      pane.caretLine = -1;
    }
    if (pane.savedFirst == kGMNone) continue;
    if (displayed && pane.savedFirst > limit) {
      pane.savedFirst = uint32_t(int64_t(pane.savedFirst) + delta);
      pane.savedLimit = uint32_t(int64_t(pane.savedLimit) + delta);
    } else if (displayed && doc->keepSavedRange && first > pane.savedFirst && limit + 1 < pane.savedLimit) {
      pane.savedLimit = uint32_t(int64_t(pane.savedLimit) + delta);
    } else {
      pane.savedFirst = pane.savedLimit = kGMNone;
    }
  }
}

void InvalidateTableCaches(GlimmetDoc* doc) {
  for (GMTableCache& cache : doc->tableCaches) cache.first = cache.limit = kGMNone;
}

// Bookmarks are numbered by their place in the bookmark table: the names of deleted bookmarks
// go, and later names are renumbered.
void DeleteBookmarksInRange(GlimmetDoc* doc, const DocRange& edit) {
  const uint32_t from = doc->bookmarkCps.indexOfCpAfter(edit.first);
  const uint32_t to = doc->bookmarkCps.indexOfCpAfter(edit.limit);
  if (to <= from) return;
  ForgetBookmarkNames(doc, from, to);
  doc->findHits.clear();
  g_findSettings.knotIndex = 1;
  DeleteEntriesInRange(edit, doc->bookmarkCps, false, 0);
}

// Copies a range of another document over the target through the installed copy code.
bool CopyRange(DocRange* target, const DocRange& source) {
  if (!g_copyRangeHook) return false;
  if (source.doc != target->doc) return g_copyRangeHook(target, source);
  // Copying a document into itself would read text that the copy is changing: go through a
  // temporary document.
  GlimmetDocPtr scratch(NewGlimmetDoc(kDocTemporary));
  if (!scratch) return false;
  const uint32_t start = BodyStart(scratch.get());
  DocRange into{scratch.get(), start, start};
  if (!g_copyRangeHook(&into, source)) return false;
  into.first = start;
  if (into.limit <= into.first) into.limit = into.first + source.length();
  return g_copyRangeHook(target, into);
}

}  // namespace

void SetCopyRangeHook(GMCopyRangeHook hook) { g_copyRangeHook = std::move(hook); }

void RegisterRange(DocRange* range, uint32_t flags) {
  if (!range) {
    LogAssert("Missing range to register", __func__, __FILE__, __LINE__);
    return;
  }
  if ((flags & kRegisterOnce) && IsRangeRegistered(range)) return;
  try {
    t_registered.push_back({range, flags});
  } catch (const std::bad_alloc&) {
    FLReadingMeter::NoteOutOfMemory();
    LogAssert("Too many registered ranges", __func__, __FILE__, __LINE__);
  }
}

void UnregisterRange(DocRange* range) {
  for (auto it = t_registered.rbegin(); it != t_registered.rend(); ++it) {
    if (it->range == range) {
      t_registered.erase(std::next(it).base());
      return;
    }
  }
  LogAssert("Range is not registered", __func__, __FILE__, __LINE__);
}

bool IsRangeRegistered(const DocRange* range) {
  for (const RegisteredSlot& slot : t_registered)
    if (slot.range == range) return true;
  return false;
}

void AdjustRange(DocRange* range, const DocRange& edit, int64_t delta, uint32_t flags) {
  const int64_t s = edit.first, l = edit.limit, a = range->first, b = range->limit;
  int64_t first;
  if (a < s) first = a;
  else if (a > l || (a == l && (flags & kRegisterMovePast))) first = a + delta;
  else first = s;
  int64_t limit;
  if ((flags & kRegisterKeepEmpty) && a == b) limit = first;
  else if (b < s) limit = b;
  else if (b < l) limit = s;
  else limit = b + delta;
  if (first < 0 || limit < first) {
    LogAssert("Bad adjusted range", __func__, __FILE__, __LINE__);
    first = std::max<int64_t>(first, 0);
    limit = std::max(limit, first);
  }
  range->first = uint32_t(first);
  range->limit = uint32_t(limit);
}

void DeleteEntriesInRange(const DocRange& edit, GMCpTable<GMNoData>& table, bool keepFirst, uint32_t bit) {
  const uint32_t before = table.count();
  if (!table.eraseRange(edit.first, edit.limit, keepFirst)) return;
  g_deleteMask |= 1u << bit;
  if (table.count() < before && table.indexOfCpAfter(edit.first) < table.count())
    InvalText({edit.doc, edit.first, uint32_t(edit.doc->totalLength)}, false);
}

const GMDeferStatus& DeferStatus() { return g_deferStatus; }

void DeferDisplay() {
  if (!IsMainThread()) return;
  if (g_deferStatus.count >= 4) LogAssert("Too many defers", __func__, __FILE__, __LINE__);
  if (g_deferStatus.count == 0) g_deferStatus.accumulated = DocRange();
  ++g_deferStatus.count;
}

void UndeferDisplay(uint32_t) {
  if (!IsMainThread()) return;
  if (g_deferStatus.count < 1) {
    LogAssert("Display not deferred", __func__, __FILE__, __LINE__);
    return;
  }
  if (--g_deferStatus.count > 0) return;
  if (g_deferStatus.accumulated.doc) {
    UnregisterRange(&g_deferStatus.accumulated);
    g_deferStatus.accumulated = DocRange();
  }
}

void AccumulateDefer(const DocRange& range) {
  if (!range.doc || !range.doc->owner) return;
  DocRange& accumulated = g_deferStatus.accumulated;
  if (accumulated.doc && accumulated.doc != range.doc) {
    LogAssert("Deferred change to more than one doc", __func__, __FILE__, __LINE__);
    return;
  }
  InvalText(range, false);
  if (!accumulated.doc) {
    accumulated = range;
    RegisterRange(&accumulated, 0);
  } else {
    accumulated.first = std::min(accumulated.first, range.first);
    accumulated.limit = std::max(accumulated.limit, range.limit);
  }
}

bool ReplaceRangeSimple(const DocRange& piece, DocRange* caller, const char16_t* text, uint32_t n) {
  GlimmetDoc* doc = piece.doc;
  if (!doc) return false;
  const uint32_t first = piece.first;
  if (first >= uint32_t(doc->totalLength)) {
    LogAssert("Attempt to edit past EOD", __func__, __FILE__, __LINE__);
    return false;
  }
  const uint32_t limit = std::clamp(piece.limit, first, uint32_t(doc->totalLength));
  const int64_t delta = int64_t(n) - int64_t(limit - first);
  if (int64_t(doc->userLength) + delta > kMaxDocLength || int64_t(doc->totalLength) + delta > kMaxDocLength) {
    doc->tooLarge = true;
    return false;
  }
  if (first == 0 && !g_forceEdit) {
    LogAssert("Replacing at start of doc", __func__, __FILE__, __LINE__);
    return false;
  }
  const bool breakDeleted = limit > first && ContainsBreak(doc, first, limit);
  if (!doc->text.replace(first, limit, text, n, doc->docProps.body[DocField::noQuotes] ? StraightQuote : nullptr))
    return false;
  InvalText({doc, first, limit}, breakDeleted);

  const uint32_t knotFrom = doc->knots.indexOfCpAfter(first);
  bool chaptersDeleted = false;
  if (limit > first && knotFrom < doc->knots.count() && doc->knots.cpAt(knotFrom) < limit) {
    if (doc->knots.eraseRange(first, limit)) g_redrawReason = 1;
    const DocRange edit{doc, first, limit};
    if (doc->chapterCps.eraseRange(first, limit, true)) {
      chaptersDeleted = true;
      g_redrawReason = 1;
      g_deleteMask |= 1u << 1;
      for (Pane& pane : doc->panes) pane.savedFirst = pane.savedLimit = kGMNone;
      InvalidateTableCaches(doc);
    }
    DeleteBookmarksInRange(doc, edit);
    DeleteEntriesInRange(edit, doc->tableCps, false, 5);
    DeleteEntriesInRange(edit, doc->listCps, false, 3);
  }
  doc->knots.shiftAfterEdit(first, limit, delta);
  doc->bookmarkCps.shiftAfterEdit(first, limit, delta);
  doc->chapterCps.shiftAfterEdit(first, limit, delta);
  doc->listCps.shiftAfterEdit(first, limit, delta);
  doc->tableCps.shiftAfterEdit(first, limit, delta);
  if (doc->findHits.adjustForEdit(first, limit, delta)) g_deleteMask |= 1u << 6;
  if (doc->markedRanges.adjustForEdit(first, limit, delta)) g_deleteMask |= 1u << 6;
  doc->frames.adjustForEdit(first, limit, delta);

  ResetCheckStates(doc, first, limit, first + n, delta);
  for (auto& table : doc->displayTables)
    if (table) table->adjustForEdit(first, limit, delta);

  if (!g_editingKnot) {
    for (uint32_t at : {first, first + n}) {
      DocRange list;
      if (at < doc->text.length() && CpIsWithinKnot(doc, at, kKnotList, &list, false) && list.first < at) {
        MarkListForRenumbering(doc, list.first);
        if (doc->listCache.indexAtCp(list.first) == kGMNone) doc->listCache.insertSorted(list.first, 0);
      }
    }
  }
  doc->listCache.adjustForEdit(first, limit, delta);

  AdjustPropIndexes(doc->charRuns, first, limit, delta);
  AdjustPropIndexes(doc->paraRuns, first, limit, delta);

  doc->edited = true;
  for (const GMTableCache& cache : doc->tableCaches) {
    if (doc->tableCacheOff || (cache.limit != kGMNone && cache.limit > first)) {
      InvalidateTableCaches(doc);
      break;
    }
  }

  AdjustPanes(doc, first, limit, delta);
  const DocRange edit{doc, first, limit};
  for (size_t i = 0; i < t_registered.size(); ++i) {
    RegisteredSlot& slot = t_registered[i];
    if (slot.flags & kRegisterClearOnEdit) slot.range->doc = nullptr;
    else if (slot.range->doc == doc && delta != 0) AdjustRange(slot.range, edit, delta, slot.flags);
  }
  if (caller) caller->limit = delta < 0 ? uint32_t(int64_t(caller->limit) + delta) : std::max(first + n, caller->limit);
  doc->totalLength = int32_t(int64_t(doc->totalLength) + delta);
  if (first <= uint32_t(doc->userLength)) doc->userLength = int32_t(int64_t(doc->userLength) + delta);
  if (g_deferStatus.count > 0 && doc->owner) AccumulateDefer({doc, first, first + n});
  // A pane that showed one chapter of several now shows the whole text: its lines start afresh.
  if (chaptersDeleted && doc->chapterCps.count() == 1 && doc->paneCount > 0 && LayoutService()) {
    Pane* pane = CurrentPane(doc);
    if (pane && pane->contentsKind == kPaneContentsPlain) LayoutService()->TrashDraft(doc, pane);
  }
  return true;
}

bool ReplaceRangeSimpleWithString(const DocRange& piece, DocRange* caller, const QString& text) {
  return ReplaceRangeSimple(piece, caller, reinterpret_cast<const char16_t*>(text.utf16()), uint32_t(text.size()));
}

bool ReplaceRangeCore(DocRange* target, const DocRange* source, const char16_t* text, uint32_t length, bool raw) {
  if (!target || !target->doc || target->first > target->limit) return false;
  GlimmetDoc* doc = target->doc;
  if (source && !source->doc) source = nullptr;
  if (source) {
    if (source->doc == doc) LogAssert("Copying within same doc", __func__, __FILE__, __LINE__);
    length = source->length();
    text = nullptr;
    if (!raw && length == 0) source = nullptr;
  }
  if (!text && !source) length = 0;
  // In 64 bits: a sum near the limit must not wrap around and pass the test.
  if (int64_t(doc->userLength) + int64_t(length) - int64_t(target->limit - target->first) > kMaxDocLength) {
    doc->tooLarge = true;
    return false;
  }

  g_deleteMask = 0;
  g_redrawReason = 2;
  doc->listCache.eraseRange(target->first, std::max(target->first + 1, target->limit));

  if (raw) {
    ForcedEdit forced;
    if (source) return CopyRange(target, *source);
    return ReplaceRangeSimple(*target, target, text, length);
  }

  if (target->first >= uint32_t(doc->totalLength)) {
    LogAssert("Attempt to edit past EOD", __func__, __FILE__, __LINE__);
    return false;
  }
  if (source) {
    // The copy goes in front of the target's text, which is deleted only once the copy is in:
    // a failed copy (a failed paste) leaves the target as it was.
    if (!g_copyRangeHook) return false;
    DocRange into{doc, target->first, target->first};
    const bool deferred = doc->owner != nullptr;
    if (deferred) DeferDisplay();
    // The copy may go in before the target (rows into a table go in between its rows): the
    // replaced text is followed wherever the copy puts it.
    DocRange rest = *target;
    bool ok = false;
    {
      const GMRegisteredRange followed(&rest, kRegisterMovePast);
      ok = CopyRange(&into, *source);
    }
    if (ok && !rest.empty()) {
      // The replaced text goes only once the copy is in.
      ok = ReplaceRangeCore(&rest, nullptr, nullptr, 0, false);
    }
    if (deferred) UndeferDisplay(2);
    if (ok) *target = {doc, into.first, into.limit};
    return ok;
  }

  g_postReplaceCp = kGMNone;
  const bool deferred = doc->owner != nullptr;
  if (deferred) DeferDisplay();
  DocRange working = *target;
  // Registered while the edit runs, and let go however it ends: a failed allocation that unwinds
  // past here must leave no range of this frame registered.
  std::optional<GMRegisteredRange> workingRegistered(std::in_place, &working, kRegisterMovePast);
  Pane* pane = CurrentPane(doc);
  DocRange paneRange;
  GetPaneRange(doc, pane, &paneRange);
  // Replacing all a pane shows keeps its last paragraph mark.
  if (working.limit == paneRange.limit && working.limit > working.first &&
      working.first == VisibleCpCore(doc, pane, paneRange.first, true))
    --working.limit;
  int mode = length == 0 ? kEditDelete : (text[0] == 0x01 || IsParaMarkChar(text[0])) ? kEditInsertBreak : kEditInsert;

  uint32_t toInsert = length;
  DocRange inserted{nullptr, 0, 0};
  std::optional<GMRegisteredRange> insertedRegistered;
  bool ok = true;
  bool first = true;
  for (int guard = 0; guard < 1 << 24; ++guard) {
    DocRange piece;
    const bool more = GetNextEditRange(&working, &piece, pane, mode, nullptr);
    if (!first && !more && piece.empty()) break;
    first = false;
    if (piece.empty() && toInsert == 0) {
      if (mode == kEditInsertBreak) mode = kEditInsert;
      if (!more) break;
      continue;
    }
    if (piece.first < target->first) target->first = piece.first;
    if (toInsert > 0) {
      if (!ReplaceRangeSimple(piece, nullptr, text, toInsert)) {
        ok = false;
        break;
      }
      inserted = {doc, piece.first, piece.first + toInsert};
      insertedRegistered.emplace(&inserted, 0);
      g_postReplaceCp = piece.first + toInsert;
      toInsert = 0;
      if (mode == kEditInsertBreak) mode = kEditInsert;
    } else {
      if (!ReplaceRangeSimple(piece, nullptr, nullptr, 0)) {
        ok = false;
        break;
      }
      g_postReplaceCp = piece.first;
    }
    if (!more) break;
  }
  if (g_postReplaceCp == kGMNone) g_postReplaceCp = target->first;
  insertedRegistered.reset();
  workingRegistered.reset();

  // Every chapter ends with a paragraph mark.
  if (ok && length == 0 && doc->chapterCps.count() >= 2) {
    const uint32_t at = g_postReplaceCp;
    if (at > 0 && doc->chapterCps.indexAtCp(at) != kGMNone && doc->text.at(at - 1) != 0x0A) {
      const char16_t mark = 0x0A;
      ReplaceRangeSimple({doc, at, at}, nullptr, &mark, 1);
    }
  }
  target->limit = inserted.doc ? std::max(target->first, inserted.limit) : target->first;
  if (deferred) UndeferDisplay(2);
  return ok;
}

bool ReplaceRangeWithString(DocRange* target, const QString& text) {
  return ReplaceRangeCore(target, nullptr, reinterpret_cast<const char16_t*>(text.utf16()), uint32_t(text.size()),
                          false);
}

uint32_t SplitRuns(const DocRange& range, DocRange* out, uint32_t propType, uint32_t* limitIndex, uint32_t propIndex) {
  if (propType >= 2) {
    LogAssert("Bad propType", __func__, __FILE__, __LINE__);
    return kGMNone;
  }
  if (!range.doc || range.first >= range.limit) {
    LogAssert("Not a valid range", __func__, __FILE__, __LINE__);
    return kGMNone;
  }
  GlimmetDoc* doc = range.doc;
  GMCpTable<uint32_t>& runs = propType == kPropPara ? doc->paraRuns : doc->charRuns;
  if (runs.empty()) return kGMNone;
  try {
    uint32_t atLimit = runs.count();
    if (range.limit < uint32_t(doc->totalLength)) {
      atLimit = runs.indexOfCp(range.limit);
      if (runs.cpAt(atLimit) != range.limit) {
        runs.insert(atLimit + 1, range.limit, runs.at(atLimit));
        ++atLimit;
      }
    }
    uint32_t atFirst = runs.indexOfCp(range.first);
    if (atFirst == kGMNone) atFirst = 0;
    if (runs.cpAt(atFirst) == range.first) {
      if (propIndex != kGMNone) runs.at(atFirst) = propIndex;
    } else {
      runs.insert(atFirst + 1, range.first, propIndex != kGMNone ? propIndex : runs.at(atFirst));
      ++atFirst;
      ++atLimit;
    }
    if (limitIndex) *limitIndex = atLimit;
    if (out) *out = range;
    return atFirst;
  } catch (const std::bad_alloc&) {
    FLReadingMeter::NoteOutOfMemory();
    return kGMNone;
  }
}

namespace {

// One run over the range, with the property index.
bool SetRunIndex(const DocRange& range, uint32_t kind, uint32_t index) {
  uint32_t limitIndex = 0;
  const uint32_t firstIndex = SplitRuns(range, nullptr, kind, &limitIndex, index);
  if (firstIndex == kGMNone) return false;
  GMCpTable<uint32_t>& runs = kind == kPropPara ? range.doc->paraRuns : range.doc->charRuns;
  if (limitIndex > firstIndex + 1) runs.erase(firstIndex + 1, limitIndex - firstIndex - 1);
  return true;
}

}  // namespace

bool ApplyPropsToParagraphs(const DocRange& range, const PropRecord& props) {
  if (!range.doc || range.empty()) return false;
  if (props.kind == kPropChar && props.get<uint16_t>(CharField::font) == 65534) return ApplyPropsToRange(range, props);
  if (props.kind != kPropPara && props.kind != kPropChar) {
    LogAssert("Bad propType", __func__, __FILE__, __LINE__);
    return false;
  }
  PropRecord record = props;
  const uint32_t index = IndexForProperties(range.doc, &record);
  if (index == kGMNone || !SetRunIndex(range, record.kind, index)) return false;
  InvalText(range, false);
  if (g_deferStatus.count > 0 && range.doc->owner) AccumulateDefer(range);
  return true;
}

bool ApplyPropsToRange(const DocRange& range, const PropRecord& props) {
  if (!range.doc) return false;
  GlimmetDoc* doc = range.doc;
  PropRecord record = props;
  DocRange target = range;
  uint32_t index = kGMNone;
  bool perRunFont = false;
  if (record.kind == kPropPara) {
    ExpandDocRange(&target, kExpandPara);
    index = IndexForProperties(doc, &record);
  } else if (record.kind == kPropChar) {
    perRunFont = record.get<uint16_t>(CharField::font) == 65534;
    if (!perRunFont) index = IndexForProperties(doc, &record);
  } else {
    LogAssert("Bad propType", __func__, __FILE__, __LINE__);
    return false;
  }
  if (!perRunFont && index == kGMNone) return false;

  DocRange working = target;
  std::optional<GMRegisteredRange> registered(std::in_place, &working, 0);
  bool ok = true;
  for (int guard = 0; guard < 1 << 24 && ok; ++guard) {
    DocRange piece;
    const bool more = GetNextEditRange(&working, &piece, nullptr, kEditProps, nullptr);
    if (!piece.empty()) {
      // Each run keeps its own font: the piece is changed run by run.
      uint32_t at = piece.first;
      while (ok && at < piece.limit) {
        DocRange part{doc, at, piece.limit};
        uint32_t partIndex = index;
        if (perRunFont) {
          PropRecord current;
          DocRange run;
          FetchCharProps(doc, at, &run, &current);
          part.limit = std::min(piece.limit, run.limit);
          PropRecord merged = record;
          merged.set<uint16_t>(CharField::font, current.get<uint16_t>(CharField::font));
          partIndex = IndexForProperties(doc, &merged);
          if (partIndex == kGMNone) {
            ok = false;
            break;
          }
        }
        if (!SetRunIndex(part, record.kind, partIndex)) {
          ok = false;
          break;
        }
        at = part.limit;
      }
    }
    if (!more) break;
  }
  registered.reset();
  InvalText(target, false);
  if (g_deferStatus.count > 0 && doc->owner) AccumulateDefer(target);
  return ok;
}

void ExpandDocRange(DocRange* range, uint32_t unit) {
  GlimmetDoc* doc = range->doc;
  if (!doc || doc->noExpansion || unit >= 5) return;
  Pane* pane = CurrentPane(doc);
  DocRange paneRange;
  GetPaneRange(doc, pane, &paneRange);
  switch (unit) {
    case kExpandWord: {
      auto isWord = [&](uint32_t cp) {
        const char16_t ch = doc->text.at(cp);
        return QChar(ch).isLetterOrNumber() || ch == u'\'' || ch == u'_';
      };
      uint32_t first = range->first;
      while (first > paneRange.first && isWord(first - 1)) --first;
      uint32_t limit = std::max(first, range->limit > 0 ? range->limit - 1 : 0);
      DocRange para;
      FetchParaProps(doc, pane, std::min(limit, paneRange.limit - 1), &para, nullptr);
      uint32_t end = std::max(limit, range->limit);
      while (end < para.limit && isWord(end)) ++end;
      range->first = first;
      range->limit = std::min(para.limit, std::max(end, range->limit));
      break;
    }
    case kExpandPara: {
      const uint32_t visible = VisibleCpCore(doc, pane, paneRange.first, true);
      DocRange firstPara;
      FetchParaProps(doc, pane, ClampCpToRange(range->first, paneRange), &firstPara, nullptr);
      const uint32_t first = std::max(visible, firstPara.first);
      uint32_t limit = std::max(range->limit, range->first);
      const uint32_t last = limit > range->first ? limit - 1 : range->first;
      const uint32_t types[] = {kKnotList, kKnotToc, kKnotTable};
      DocRange knots[3];
      const uint32_t within = CpIsWithinKnots(doc, last, types, 3, knots);
      if (within & 3) {
        const DocRange& knot = knots[within & 1 ? 0 : 1];
        if (knot.limit >= 2) limit = std::min(limit, knot.limit - 2);
      } else if (within & 4) {
        const uint32_t endKink = knots[2].limit - 1;
        if (limit <= endKink && limit + 2 >= endKink) limit = endKink;
      }
      const uint32_t holder = ClampCpToRange(limit > first ? limit - 1 : first, paneRange);
      if (holder >= firstPara.limit) {
        DocRange lastPara;
        FetchParaProps(doc, pane, holder, &lastPara, nullptr);
        limit = lastPara.limit;
      } else {
        limit = firstPara.limit;
      }
      range->first = first;
      range->limit = std::max(first, limit);
      break;
    }
    case kExpandChapter: {
      DocRange chapter;
      FetchChapterProps(doc, range->first, &chapter, nullptr);
      DocRange last;
      FetchChapterProps(doc, std::max(range->first, range->limit > 0 ? range->limit - 1 : 0), &last, nullptr);
      range->first = chapter.first;
      range->limit = std::max(chapter.limit, last.limit);
      break;
    }
    case kExpandTable: {
      DocRange table;
      if (CpIsWithinKnot(doc, range->first, kKnotTable, &table, false)) {
        DocRange outer = table;
        DocRange next;
        while (FindOuterKnot(outer, &next) && CpIsWithinKnot(doc, next.first + 1, kKnotTable, &table, false) &&
               table.first < outer.first)
          outer = table;
        range->first = outer.first;
      }
      const uint32_t last = std::max(range->first, range->limit > 0 ? range->limit - 1 : 0);
      if (CpIsWithinKnot(doc, last, kKnotTable, &table, false)) range->limit = std::max(range->limit, table.limit);
      break;
    }
    default:
      break;
  }
}
