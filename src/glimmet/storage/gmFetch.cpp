#include "glimmet/storage/gmFetch.h"

#include "framlet/foundation/flBase.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmClipboard.h"
#include "glimmet/storage/gmEdit.h"
#include "glimmet/storage/gmTables.h"

#include <algorithm>
#include <utility>

void FetchText(GlimmetDoc* doc, Pane* pane, uint32_t first, uint32_t limit, char16_t* buffer, uint32_t* count) {
  if (!count) return;
  if (!doc || !buffer) {
    *count = 0;
    return;
  }
  if (pane) {
    if (limit == kGMNone) {
      DocRange paneRange;
      GetPaneRange(doc, pane, &paneRange);
      limit = paneRange.limit;
    }
    DocRange para;
    FetchParaProps(doc, pane, first, &para, nullptr);
    limit = std::min(limit, para.limit);
  } else if (limit == kGMNone) {
    limit = uint32_t(doc->totalLength);
  }
  limit = std::min(limit, uint32_t(doc->totalLength));
  if (limit <= first) {
    *count = 0;
    return;
  }
  *count = std::min(limit - first, *count);
  doc->text.read(first, *count, buffer);
}

const char16_t* DocumentTextPtrBackward(GlimmetDoc* doc, uint32_t cp, uint32_t* pieceFirst) {
  if (!doc || doc->totalLength <= 0) return nullptr;
  // Clamped as the forward pointer is: a cp outside the text reads the last unit.
  if (cp >= uint32_t(doc->totalLength)) {
    LogAssert("Fetch past end of doc", __func__, __FILE__, __LINE__);
    cp = uint32_t(doc->totalLength) - 1;
  }
  return doc->text.pointerWithFirst(cp, pieceFirst);
}

QString RawTextString(GlimmetDoc* doc, uint32_t first, uint32_t limit) {
  QString text = TextOfRange({doc, first, limit});
  if (text.isNull()) text = QLatin1StringView("");
  return text;
}

void FetchVisibleText(DocRange* range, Pane* pane, const GMFetcher& fetcher) {
  GlimmetDoc* doc = range ? range->doc : nullptr;
  if (!doc) return;
  GMRegisteredRange registered(range, 0);
  range->limit = std::min(range->limit, uint32_t(doc->totalLength));
  while (range->first < range->limit && range->doc) {
    const uint32_t cp = range->first;
    const uint32_t entryIndex = IsKinkChar(doc->text.at(cp)) ? doc->knots.indexAtCp(cp) : kGMNone;
    if (entryIndex == kGMNone) {
      // Plain text up to the next kink.
      const uint32_t next = doc->knots.indexOfCpAfter(cp);
      const uint32_t limit = std::min(range->limit, next < doc->knots.count() ? doc->knots.cpAt(next) : range->limit);
      const DocRange piece{doc, cp, std::max(limit, cp + 1)};
      range->first = piece.limit;
      if (!fetcher(piece, pane, nullptr)) return;
      continue;
    }
    const KnotEntry entry = doc->knots.at(entryIndex);
    if (entry.kink != kKinkBegin && entry.kink != kKinkAtomic) {
      range->first = cp + 1;
      continue;
    }
    KnotInfo info;
    if (!FetchKnot(doc, cp, &info, 0) || info.first != cp) {
      range->first = cp + 1;
      continue;
    }
    switch (info.type()) {
      case kKnotChapter:
      case kKnotBookmark:
        // The name (or GUID) slot is not text.
        range->first = info.kinkCount > 1 ? std::max(cp + 1, info.kinkCps[1]) : cp + 1;
        continue;
      case kKnotTable: {
        const DocRange piece{doc, cp, cp + 1};
        range->first = cp + 1;
        if (!fetcher(piece, pane, &info)) return;
        continue;
      }
      case kKnotRow:
      case kKnotList:
      case kKnotNote:
      case kKnotToc:
      case kKnotTocEntry:
      case kKnotTag:
        range->first = cp + 1;
        continue;
      default: {
        const DocRange piece{doc, cp, std::min(info.limit, range->limit)};
        range->first = std::max(piece.limit, cp + 1);
        if (!fetcher(piece, pane, &info)) return;
        continue;
      }
    }
  }
}

namespace {

GMVariableTextHook g_variableTextHook;

}  // namespace

void SetVariableTextHook(GMVariableTextHook hook) { g_variableTextHook = std::move(hook); }

QString VariableKnotText(GlimmetDoc* doc, const KnotInfo& variable) {
  return g_variableTextHook && doc ? g_variableTextHook(doc, variable) : QString();
}

namespace {

QString Affix(const PropRecord& para, uint32_t offset) {
  const uint16_t count = std::min<uint16_t>(para.get<uint16_t>(offset), 4);
  return QString(reinterpret_cast<const QChar*>(para.body + offset + 2), count);
}

}  // namespace

QString ExtractPlainText(const DocRange& range, bool markers) {
  GlimmetDoc* doc = range.doc;
  if (!doc) return QString();
  QString out;
  DocRange walk = range;
  uint32_t skipUntil = 0;
  bool ok = true;
  FetchVisibleText(&walk, nullptr, [&](const DocRange& piece, Pane*, const KnotInfo* knot) -> bool {
    if (piece.first < skipUntil) return true;
    if (knot) {
      if (knot->type() == kKnotTable) {
        if (!IsTabbedTable(knot->range())) return true;
        GlimmetDocPtr scratch(NewGlimmetDoc(kDocTemporary));
        if (!scratch) return ok = false;
        scratch->keepAbsoluteProps[0] = true;
        const uint32_t body = BodyStart(scratch.get());
        // An empty body still holds its paragraph mark.
        if (uint32_t(scratch->userLength) != body + 1) LogAssert("Not an empty doc", __func__, __FILE__, __LINE__);
        DocRange into{scratch.get(), body, body};
        if (!CopyDocumentRange(&into, knot->range())) return ok = false;
        TableToText(&into);
        out += ExtractPlainText({scratch.get(), into.first, into.limit}, markers);
        skipUntil = knot->limit;
        return true;
      }
      if (knot->type() == kKnotLink && knot->kinkCount >= 2)
        out += TextOfRange({doc, knot->first + 1, knot->kinkCps[1]});
      else if (knot->type() == kKnotVar)
        out += VariableKnotText(doc, *knot);
      return true;
    }
    // The text store is walked a piece at a time: looking each unit up on its own costs a search
    // per character.
    GMTextStore::Cursor cursor(doc->text, piece.first);
    char16_t previous = piece.first == 0 ? 0 : doc->text.at(piece.first - 1);
    for (uint32_t cp = piece.first; cp < piece.limit;) {
      uint32_t count = 0;
      const char16_t* units = cursor.span(&count);
      const uint32_t n = std::min(count, piece.limit - cp);
      if (n == 0 || !units) break;
      if (!markers) {
        const qsizetype at = out.size();
        out.append(reinterpret_cast<const QChar*>(units), qsizetype(n));
        QChar* added = out.data() + at;
        for (uint32_t i = 0; i < n; ++i)
          if (IsParaMarkChar(added[i].unicode())) added[i] = u'\n';
      } else {
        for (uint32_t i = 0; i < n; ++i) {
          const char16_t unit = units[i];
          if (cp + i == 0 || IsBreakChar(previous) || previous == 0) {
            PropRecord para;
            FetchParaProps(doc, nullptr, cp + i, nullptr, &para);
            out += Affix(para, ParaField::prefix);
          }
          if (IsParaMarkChar(unit)) {
            PropRecord para;
            FetchParaProps(doc, nullptr, cp + i, nullptr, &para);
            out += Affix(para, ParaField::suffix);
            out += u'\n';
          } else {
            out += QChar(unit);
          }
          previous = unit;
        }
      }
      if (n > 0) previous = units[n - 1];
      cursor.advance(n);
      cp += n;
    }
    return true;
  });
  if (out.isEmpty()) return QString();
  return out;
}
