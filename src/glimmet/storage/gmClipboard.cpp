#include "glimmet/storage/gmClipboard.h"

#include "framlet/foundation/flBase.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmBookmarks.h"
#include "glimmet/storage/gmEdit.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmStyles.h"
#include "glimmet/storage/gmTables.h"

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

GlimmetDoc* g_clipboardDoc = nullptr;

namespace {

struct ForcedKnotEdit {
  bool savedForce = g_forceEdit;
  bool savedKnot = g_editingKnot;
  ForcedKnotEdit() {
    g_forceEdit = true;
    g_editingKnot = true;
  }
  ~ForcedKnotEdit() {
    g_forceEdit = savedForce;
    g_editingKnot = savedKnot;
  }
};

// Gives [first, limit) of the document one run of the index.
bool SetRunStretch(GlimmetDoc* doc, uint32_t kind, uint32_t first, uint32_t limit, uint32_t index) {
  if (limit <= first) return true;
  GMCpTable<uint32_t>& runs = kind == kPropPara ? doc->paraRuns : doc->charRuns;
  uint32_t limitIndex = 0;
  const uint32_t firstIndex = SplitRuns({doc, first, limit}, nullptr, kind, &limitIndex, index);
  if (firstIndex == kGMNone) return false;
  if (limitIndex > firstIndex + 1) runs.erase(firstIndex + 1, limitIndex - firstIndex - 1);
  // Neighbours of the same index merge.
  if (firstIndex + 1 < runs.count() && runs.at(firstIndex + 1) == index) runs.erase(firstIndex + 1);
  if (firstIndex > 0 && runs.at(firstIndex - 1) == index) runs.erase(firstIndex);
  return true;
}

bool CopyProperties(GlimmetDoc* dst, uint32_t at, GlimmetDoc* src, uint32_t first, uint32_t limit, uint32_t kind) {
  const GMCpTable<uint32_t>& runs = kind == kPropPara ? src->paraRuns : src->charRuns;
  const bool absolute = dst->keepAbsoluteProps[0] || dst->keepAbsoluteProps[1] || src->keepAbsoluteProps[0] ||
                        src->keepAbsoluteProps[1];
  uint32_t cp = first;
  while (cp < limit) {
    uint32_t run = runs.indexOfCp(cp);
    if (run == kGMNone) run = 0;
    if (run >= runs.count()) return false;
    const uint32_t end = std::min(limit, run + 1 < runs.count() ? runs.cpAt(run + 1) : uint32_t(src->totalLength));
    PropRecord record;
    const PropRecord* found = PropertiesAtIndex(src, runs.at(run));
    if (!found || found->kind != kind) {
      LogAssert("Bad propType 1", __func__, __FILE__, __LINE__);
      SetDefaultProperties(src, kind, &record);
    } else {
      record = *found;
    }
    const uint32_t destCp = at + (cp - first);
    const uint32_t style = CopyStyle(dst, src, record);
    if (style == kGMNone) return false;
    if (absolute) record.set<uint16_t>(0, uint16_t(style));
    else if (!MakePropsRelative(dst, src, &record, style, destCp)) return false;
    const uint32_t index = IndexForProperties(dst, &record);
    if (index == kGMNone || !SetRunStretch(dst, kind, destCp, at + (end - first), index)) return false;
    cp = std::max(end, cp + 1);
  }
  return true;
}

// Shifts the bookmark indexes of names (and of duplicates' marks) at or after b up by one.
void MakeRoomForBookmark(GlimmetDoc* doc, int32_t b) {
  for (GMBookmarkName& name : doc->bookmarkNames) {
    if (name.bookmark >= b) ++name.bookmark;
    else if (name.bookmark <= -2 && -2 - name.bookmark >= b) --name.bookmark;
  }
}

bool CopyKnots(GlimmetDoc* dst, uint32_t at, GlimmetDoc* src, uint32_t first, uint32_t limit) {
  std::map<uint32_t, size_t> pictures;
  const uint32_t from = src->knots.indexOfCpAfter(first);
  const uint32_t to = src->knots.indexOfCpAfter(limit);
  for (uint32_t i = from; i < to; ++i) {
    KnotEntry entry = src->knots.at(i);
    const uint32_t sourceCp = src->knots.cpAt(i);
    const uint32_t cp = at + (sourceCp - first);
    if (entry.propIndex != kGMNone) {
      const PropRecord* found = PropertiesAtIndex(src, entry.propIndex);
      if (found) {
        PropRecord record = *found;
        if (record.kind < kPropNone) {
          const uint32_t style = CopyStyle(dst, src, record);
          if (style == kGMNone) return false;
          if (record.kind != kPropFrame) record.set<uint16_t>(0, uint16_t(style));
        }
        entry.propIndex = IndexForProperties(dst, &record);
        if (entry.propIndex == kGMNone) return false;
      } else {
        entry.propIndex = kGMNone;
      }
    }
    if (entry.type == kKnotPicture && entry.pictureIndex() < src->pictures.size()) {
      auto it = pictures.find(entry.pictureIndex());
      if (it == pictures.end()) {
        dst->pictures.push_back(src->pictures[entry.pictureIndex()]);
        it = pictures.emplace(entry.pictureIndex(), dst->pictures.size() - 1).first;
      }
      entry.setPictureIndex(uint32_t(it->second));
    }
    dst->knots.insertSorted(cp, entry);
    const bool opens = entry.kink == kKinkBegin || entry.kink == kKinkAtomic;
    if (!opens) continue;
    if (entry.type == kKnotChapter) dst->chapterCps.insertSorted(cp, GMNoData{});
    if (entry.type == kKnotList) dst->listCps.insertSorted(cp, GMNoData{});
    if (entry.type == kKnotTable) dst->tableCps.insertSorted(cp, GMNoData{});
    if (entry.type == kKnotVar && entry.word < 32) dst->variableKinds |= 1u << entry.word;
    if (entry.type == kKnotBookmark) {
      const uint32_t sourceBookmark = src->bookmarkCps.indexAtCp(sourceCp);
      const QString guid = sourceBookmark == kGMNone ? QString() : BookmarkGuid(src, sourceBookmark);
      const bool duplicate = guid.isEmpty() || GuidIndexForGuid(dst, guid) != kGMNone;
      const uint32_t b = dst->bookmarkCps.insertSorted(cp, GMNoData{});
      MakeRoomForBookmark(dst, int32_t(b));
      dst->bookmarkNames.push_back({guid, duplicate ? -2 - int32_t(b) : int32_t(b)});
    }
  }
  return true;
}

// Variables of the copy point at the destination's bookmark of the same GUID; duplicated
// bookmarks get fresh GUIDs, in the name table and in their knots' first slots.
void FixBookmarks(GlimmetDoc* dst, GlimmetDoc* src, DocRange* copied) {
  for (uint32_t i = dst->knots.indexOfCpAfter(copied->first); i < dst->knots.count(); ++i) {
    if (dst->knots.cpAt(i) >= copied->limit) break;
    KnotEntry& entry = dst->knots.at(i);
    if (entry.type != kKnotVar || entry.variableKind() == 12 || !VariableKindRefersToBookmark(entry.variableKind()))
      continue;
    if (entry.guidIndex() >= src->bookmarkNames.size()) continue;
    const QString& guid = src->bookmarkNames[entry.guidIndex()].guid;
    uint32_t match = kGMNone;
    for (size_t n = 0; n < dst->bookmarkNames.size(); ++n)
      if (dst->bookmarkNames[n].guid == guid && dst->bookmarkNames[n].bookmark > -2) {
        match = uint32_t(n);
        break;
      }
    entry.setGuidIndex(match);
  }
  ForcedKnotEdit forced;
  for (GMBookmarkName& name : dst->bookmarkNames) {
    if (name.bookmark > -2) continue;
    const uint32_t bookmark = uint32_t(-2 - name.bookmark);
    name.guid = NewBookmarkGuid();
    name.bookmark = int32_t(bookmark);
    if (bookmark >= dst->bookmarkCps.count()) continue;
    const QString guid = name.guid;
    ReplaceRangeSimple(KnotFirstSlot(dst, dst->bookmarkCps.cpAt(bookmark)), nullptr,
                       reinterpret_cast<const char16_t*>(guid.utf16()), uint32_t(guid.size()));
  }
}

// What a copy into a document adds besides its text, taken before the copy, so that a copy that
// fails part-way can take it all out again.
struct CopyUndo {
  GlimmetDoc* doc;
  size_t pictures, props;
  std::vector<GMStyle> styles;
  std::vector<GMBookmarkName> names;

  explicit CopyUndo(GlimmetDoc* dst)
      : doc(dst), pictures(dst->pictures.size()), props(dst->props.size()), styles(dst->styles),
        names(dst->bookmarkNames) {}

  // Takes [at, end) out again with its knots and everything they entered in the document's tables.
  void undo(uint32_t at, uint32_t end) {
    if (end > at) {
      ForcedKnotEdit forced;
      ReplaceRangeSimple({doc, at, end}, nullptr, nullptr, 0);
    }
    if (doc->pictures.size() > pictures) doc->pictures.resize(pictures);
    doc->bookmarkNames = names;
    // Styles the copy made go again, with the records made for them, unless the copy changed a
    // style the document had (one of the same name), whose text may now refer to them.
    const auto same = [](const GMStyle& a, const GMStyle& b) {
      return a.name == b.name && a.id == b.id && a.kind == b.kind && a.basedOn == b.basedOn && a.next == b.next &&
             a.first == b.first && a.second == b.second;
    };
    if (doc->styles.size() < styles.size() || !std::equal(styles.begin(), styles.end(), doc->styles.begin(), same))
      return;
    const auto isNew = [&](uint32_t index) { return index != kGMNone && index >= props; };
    for (const auto* runs : {&doc->charRuns, &doc->paraRuns})
      for (const auto& run : runs->entries())
        if (isNew(run.data)) return;
    for (const auto& knot : doc->knots.entries())
      if (isNew(knot.data.propIndex)) return;
    if (isNew(doc->defaultListProps) || isNew(doc->defaultTableProps) || isNew(doc->defaultChapterProps)) return;
    doc->styles = styles;
    RebuildStyleList(doc);
    doc->props.resize(props);
    ForgetPropertyIndex(doc);
  }
};

bool IsLinkStyle(GlimmetDoc* doc, const PropRecord& chars) {
  const uint32_t style = chars.get<uint16_t>(CharField::style);
  return style != 0 && style < doc->styles.size() && doc->styles[style].id == kLinkStyleId;
}

}  // namespace

namespace {

// The stretches of [first, limit) with every kink left out whose knot does not lie wholly
// inside, and, unless they go into a table, every row whose table does not: the walk gives
// whole rows of a table it cuts, which without a table are no knots at all; their cells come as
// text.
std::vector<DocRange> WholeKnotStretches(GlimmetDoc* src, uint32_t first, uint32_t limit, bool intoTable) {
  std::vector<DocRange> stretches;
  uint32_t from = first;
  for (uint32_t i = src->knots.indexOfCpAfter(first); i < src->knots.count(); ++i) {
    const uint32_t cp = src->knots.cpAt(i);
    if (cp >= limit) break;
    KnotInfo knot;
    bool whole = FetchKnot(src, cp, &knot, 0) && knot.first >= first && knot.limit <= limit;
    if (whole && knot.type() == kKnotRow && !intoTable) {
      DocRange table;
      whole = CpIsWithinKnot(src, knot.first, kKnotTable, &table, false) && table.first >= first &&
              table.limit <= limit;
    }
    if (whole) continue;
    if (cp > from) stretches.push_back({src, from, cp});
    from = cp + 1;
  }
  if (limit > from) stretches.push_back({src, from, limit});
  return stretches;
}

// Whether [first, limit) is one or more whole rows of a table, one after another.
bool IsWholeRows(GlimmetDoc* doc, uint32_t first, uint32_t limit) {
  uint32_t cp = first;
  while (cp < limit) {
    KnotInfo row;
    if (!FetchKnot(doc, cp, &row, 0) || row.type() != kKnotRow || row.first != cp) return false;
    cp = row.limit;
  }
  return cp == limit && limit > first;
}

// Rows go into a table between its rows: before the row that holds the point, never inside one
// of its cells; at the table's begin kink before its first row.
uint32_t RowInsertionPoint(GlimmetDoc* doc, uint32_t at) {
  KnotInfo table, row;
  if (!FetchTable(doc, at, &table, &row, nullptr)) return at;
  if (at <= table.first) return table.first + 1;
  if (at > row.first && at < row.limit) return row.first;
  return at;
}

}  // namespace

bool CopyDocumentRange(DocRange* target, const DocRange& source) {
  GlimmetDoc* dst = target ? target->doc : nullptr;
  GlimmetDoc* src = source.doc;
  if (!dst || !src || dst == src) return false;
  const uint32_t first = source.first;
  const uint32_t limit = std::min(source.limit, uint32_t(src->totalLength));
  uint32_t at = target->first;
  if (first >= limit) {
    target->limit = at;
    return true;
  }
  const size_t stylesBefore = dst->styles.size();
  ResetCopySlots(src);
  // The source is taken in the pieces its walk gives, so that a range that starts or ends inside
  // a knot brings the text of the knot's slots and never a kink without its knot.
  DocRange walk{src, first, limit};
  // Whole rows going into a table become rows of it; anything else brings the cells of rows
  // whose table it leaves behind as text.
  const bool intoTable = CpIsWithinKnot(dst, at, kKnotTable, nullptr, false) && IsWholeRows(src, first, limit);
  if (intoTable) at = RowInsertionPoint(dst, at);
  uint32_t end = at;
  CopyUndo undo(dst);
  bool ok = true;
  {
    GMRegisteredRange walking(&walk, 0);
    std::vector<char16_t> text;
    for (int guard = 0; ok && guard < 1 << 24; ++guard) {
      DocRange piece;
      const bool more = GetNextEditRange(&walk, &piece, nullptr, kEditWalkSource, nullptr);
      const uint32_t pieceLimit = std::min(piece.limit, uint32_t(src->totalLength));
      if (pieceLimit <= piece.first) {
        if (!more || walk.first >= walk.limit) break;
        continue;
      }
      for (const DocRange& stretch : WholeKnotStretches(src, piece.first, pieceLimit, intoTable)) {
        const uint32_t n = stretch.length();
        text.resize(n);
        src->text.read(stretch.first, n, text.data());
        {
          ForcedKnotEdit forced;
          ok = ReplaceRangeSimple({dst, end, end}, nullptr, text.data(), n);
        }
        if (!ok) break;
        const uint32_t stretchAt = end;
        end += n;
        ok = CopyProperties(dst, stretchAt, src, stretch.first, stretch.limit, kPropPara) &&
             CopyProperties(dst, stretchAt, src, stretch.first, stretch.limit, kPropChar) &&
             CopyKnots(dst, stretchAt, src, stretch.first, stretch.limit);
        if (!ok) break;
      }
      if (!more || walk.first >= walk.limit) break;
    }
  }
  if (!ok) undo.undo(at, end);
  DocRange copied{dst, at, ok ? end : at};
  GMRegisteredRange registered(&copied, 0);
  if (ok) FixBookmarks(dst, src, &copied);
  ResetCopySlots(src);
  if (dst->styles.size() != stylesBefore) RebuildStyleList(dst);
  ClearPropertyCaches(dst);
  target->first = copied.first;
  target->limit = copied.limit;
  return ok;
}

void InstallDocumentCopy() { SetCopyRangeHook(CopyDocumentRange); }

bool NewGlobalClipDocument(DocRange* range) {
  InstallDocumentCopy();
  GlimmetDoc* doc = NewGlimmetDoc(kDocClipboard);
  if (!doc) return false;
  if (doc->paneCount == 0 && !CurrentPane(doc)) {
    DestroyDocument(doc);
    return false;
  }
  if (range) *range = {doc, KnotLimitCp(doc, 0), uint32_t(doc->userLength)};
  DestroyDocument(g_clipboardDoc);
  g_clipboardDoc = doc;
  return true;
}

bool InsertNewText(DocRange* range, const char16_t* text, uint32_t length, const PropRecord& charProps) {
  if (!range || !range->doc) return false;
  GlimmetDoc* doc = range->doc;
  if (length == 0 || !text) {
    if (range->empty()) return true;
    return ReplaceRangeCore(range, nullptr, nullptr, 0, false);
  }
  // Kink characters cannot come in as text: they become spaces, in a copy only when there are any.
  std::vector<char16_t> cleaned;
  const char16_t* units = text;
  if (std::any_of(text, text + length, IsKinkChar)) {
    cleaned.assign(text, text + length);
    std::replace_if(cleaned.begin(), cleaned.end(), IsKinkChar, u' ');
    units = cleaned.data();
  }
  doc->noParaMarksInserted = std::none_of(units, units + length, IsParaMarkChar);
  const bool deferred = doc->owner != nullptr;
  if (deferred) DeferDisplay();
  Pane* pane = CurrentPane(doc);
  DocRange paneRange;
  GetPaneRange(doc, pane, &paneRange);
  if (range->limit == paneRange.limit && range->limit > 0) {
    const uint32_t back = pane->contentsKind == 0 || pane->contentsKind == kPaneContentsPlain ? 1 : 2;
    range->limit = range->limit > back ? range->limit - back : 0;
    range->first = std::min(range->first, range->limit);
  }
  uint32_t at = range->first;
  bool ok = true;
  if (!range->empty()) {
    ok = ReplaceRangeCore(range, nullptr, nullptr, 0, false);
    at = std::min(VisibleCpCore(doc, pane, range->first, true), paneRange.limit > 0 ? paneRange.limit - 1 : 0);
  }
  DocRange point{doc, at, at};
  ok = ok && ReplaceRangeCore(&point, nullptr, units, length, false);
  doc->noParaMarksInserted = false;
  if (!ok) {
    if (deferred) UndeferDisplay(2);
    return false;
  }
  const uint32_t newLimit = g_postReplaceCp != kGMNone ? g_postReplaceCp : point.limit;
  const uint32_t newFirst = newLimit - length;
  // Records are copied only where they change: a reader inserts text run by run.
  std::optional<PropRecord> linkFree;
  if (IsLinkStyle(doc, charProps)) {
    linkFree = charProps;
    SetDefaultProperties(doc, kPropChar, &*linkFree);
  }
  const PropRecord& wanted = linkFree ? *linkFree : charProps;
  std::optional<PropRecord> scratch;
  const PropRecord* current = CharPropsAt(doc, newFirst, nullptr, &scratch);
  if (std::memcmp(current->body, wanted.body, g_propSizes[kPropChar]) != 0) {
    PropRecord interned = wanted;
    const uint32_t index = IndexForProperties(doc, &interned);
    ok = index != kGMNone && SetRunStretch(doc, kPropChar, newFirst, newLimit, index);
  }
  if (deferred) UndeferDisplay(2);
  pane->caretX = -1.0f;
  *range = {doc, newLimit, newLimit};
  return ok;
}

void TranslateCodes(QString& text, bool special) {
  if (text.size() < 2) return;
  const bool whole = special && text.size() == 2;
  QString out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar ch = text[i];
    if (ch != u'^' || i + 1 >= text.size()) {
      out += ch;
      continue;
    }
    const char16_t code = text[i + 1].unicode();
    char16_t replacement = 0;
    bool specialFind = false;
    switch (code) {
      case u'^': replacement = u'^'; break;
      case u't': replacement = 0x0009; break;
      case u'p': replacement = 0x000A; break;
      case u'm': replacement = 0x000B; break;
      case u'n': replacement = 0x000C; break;
      case u'l': replacement = 0x2028; break;
      case u'-': replacement = 0x00AD; break;
      case u'g': replacement = 0x0001; specialFind = true; break;
      case u'c': replacement = 0x0002; specialFind = true; break;
      case u'd': replacement = 0x0003; specialFind = true; break;
      case u'>': replacement = 0x0004; specialFind = true; break;
      case u'v': replacement = 0x0005; specialFind = true; break;
      default:
        out += ch;  // a caret before any other character stays
        continue;
    }
    if (!specialFind || whole) out += QChar(replacement);
    ++i;
  }
  text = out;
}

bool CopyTablePiece(DocRange* destination, const DocRange& source) {
  if (!destination || !destination->doc || !source.doc) return false;
  if (!destination->empty()) {
    LogAssert("Not IP for copy", __func__, __FILE__, __LINE__);
    return false;
  }
  GlimmetDoc* dst = destination->doc;
  GlimmetDoc* src = source.doc;
  KnotInfo table, firstRow;
  PropRecord props;
  if (!FetchTable(src, source.first, &table, &firstRow, &props) || source.first < table.first ||
      source.limit > table.limit) {
    LogAssert("Not within table", __func__, __FILE__, __LINE__);
    return false;
  }
  auto copyInto = [&](const DocRange& piece, DocRange* at) {
    DocRange into{at->doc, at->first, at->first};
    if (!ReplaceRangeCore(&into, &piece, nullptr, 0, false)) return false;
    *at = {into.doc, into.limit, into.limit};
    return true;
  };
  // The whole table: copied as it is.
  if (source.first <= table.first + 2 && source.limit + 2 >= table.limit) return copyInto(table.range(), destination);

  const uint32_t e = std::min(source.limit, table.limit - 1);
  KnotInfo lastRow = firstRow;
  if (e > firstRow.limit) {
    KnotInfo ignored;
    if (!FetchTable(src, e - 1, &ignored, &lastRow, nullptr)) return false;
  }
  // A new table knot at the destination with the (changed) table properties.
  auto newTable = [&](PropRecord tableProps, KnotInfo* made) {
    const uint32_t style = CopyStyle(dst, src, tableProps);
    if (style == kGMNone) return false;
    tableProps.set<uint16_t>(0, uint16_t(style));
    DocRange at = *destination;
    if (!InsertKnotCore(&at, kKnotTable, 0, 1, &tableProps, 0, nullptr, false)) return false;
    if (dst->tableCps.indexAtCp(at.first) == kGMNone) dst->tableCps.insertSorted(at.first, GMNoData{});
    return FetchKnot(dst, at.first, made, kKnotTable);
  };

  // Whole rows: a new table holding copies of them.
  if (source.first <= firstRow.first + 1 && e + 1 >= lastRow.limit) {
    KnotInfo made;
    if (!newTable(props, &made)) return false;
    DocRange rows{src, firstRow.first, lastRow.limit};
    DocRange inside{dst, made.first + 1, made.first + 1};
    if (!copyInto(rows, &inside)) return false;
    if (!FetchKnot(dst, made.first, &made, kKnotTable)) return false;
    *destination = {dst, made.limit, made.limit};
    return true;
  }

  DocRange startCell, lastCell;
  const uint32_t c0 = IndexAndRangeForCell(&table, &firstRow, source.first, -1, &startCell);
  const uint32_t c1 = e > 0 ? IndexAndRangeForCell(&table, &firstRow, e - 1, -1, &lastCell) : c0;
  // Two or more cells of one row: a table of one row of those cells.
  if (lastRow.first == firstRow.first && c0 != kGMNone && c1 != kGMNone && c1 > c0) {
    const uint32_t n = c1 - c0 + 1;
    PropRecord changed = props;
    changed.set<uint16_t>(TableProp::columns, uint16_t(n));
    for (uint32_t i = 0; i < kMaxColumns; ++i) {
      const int64_t width = i < n ? props.get<int64_t>(TableProp::widths + 8 * (c0 + i)) : 0;
      changed.set<int64_t>(TableProp::widths + 8 * i, width);
    }
    KnotInfo made;
    if (!newTable(changed, &made)) return false;
    KinkData data[kMaxKinks];
    for (uint32_t i = 1; i <= n; ++i) {
      const uint32_t entry = src->knots.indexAtCp(firstRow.kinkCps[c0 + i]);
      if (entry != kGMNone) data[i] = {src->knots.at(entry).word, src->knots.at(entry).value};
    }
    if (!InsertRowKinks(dst, made.first + 1, n, data)) return false;
    for (uint32_t i = n; i-- > 0;) {
      KnotInfo row;
      if (!FetchKnot(dst, made.first + 1, &row, kKnotRow)) return false;
      DocRange cell{src, firstRow.kinkCps[c0 + i] + 1, firstRow.kinkCps[c0 + i + 1]};
      DocRange slot{dst, row.kinkCps[i] + 1, row.kinkCps[i] + 1};
      if (!copyInto(cell, &slot)) return false;
    }
    if (!FetchKnot(dst, made.first, &made, kKnotTable)) return false;
    *destination = {dst, made.limit, made.limit};
    return true;
  }

  // Parts of several rows, or of one cell: the covered cells' text, cut to the range.
  if (e <= firstRow.first + 1) return true;
  uint32_t cp = source.first;
  KnotInfo row = firstRow;
  for (int guard = 0; guard < 1 << 20; ++guard) {
    const uint32_t columns = row.kinkCount - 1;
    uint32_t column = row.first == firstRow.first && c0 != kGMNone ? c0 : 0;
    for (; column < columns; ++column) {
      const uint32_t cellFirst = std::max(cp, row.kinkCps[column] + 1);
      const uint32_t cellLimit = std::min(e, row.kinkCps[column + 1]);
      if (cellLimit > cellFirst && !copyInto({src, cellFirst, cellLimit}, destination)) return false;
      if (row.kinkCps[column + 1] + 1 >= e) break;
    }
    if (row.limit + 1 >= e || row.limit + 1 >= table.limit) break;
    if (!FetchKnot(src, row.limit, &row, kKnotRow)) break;
    cp = row.first;
  }
  return true;
}
