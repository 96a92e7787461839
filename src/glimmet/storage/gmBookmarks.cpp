#include "glimmet/storage/gmBookmarks.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flStringExtensions.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmFind.h"
#include "glimmet/storage/gmEdit.h"
#include "glimmet/storage/gmStyles.h"

#include <QUuid>

bool VariableKindRefersToBookmark(uint32_t kind) {
  return kind == 0 || kind == 7 || kind == 11 || kind == 14 || kind == 15;
}

QString BookmarkGuid(GlimmetDoc* doc, uint32_t bookmark) {
  if (!doc || bookmark >= doc->bookmarkCps.count()) return QString();
  return TextOfRange(KnotFirstSlot(doc, doc->bookmarkCps.cpAt(bookmark)));
}

uint32_t BookmarkIndexForGuidIndex(GlimmetDoc* doc, uint32_t guidIndex) {
  if (!doc || guidIndex == kGMNone || guidIndex >= doc->bookmarkNames.size()) return kGMNone;
  const int32_t bookmark = doc->bookmarkNames[guidIndex].bookmark;
  return bookmark < 0 ? kGMNone : uint32_t(bookmark);
}

uint32_t GuidIndexForGuid(GlimmetDoc* doc, const QString& guid) {
  if (!doc) return kGMNone;
  for (size_t i = 0; i < doc->bookmarkNames.size(); ++i)
    if (doc->bookmarkNames[i].guid == guid) return uint32_t(i);
  return kGMNone;
}

void IdentifyBookmarks(GlimmetDoc* doc) {
  if (!doc) return;
  doc->bookmarkNames.clear();
  for (uint32_t i = 0; i < doc->bookmarkCps.count(); ++i) doc->bookmarkNames.push_back({BookmarkGuid(doc, i), int32_t(i)});
}

void ForgetBookmarkNames(GlimmetDoc* doc, uint32_t first, uint32_t limit) {
  if (!doc || limit <= first) return;
  const int32_t removed = int32_t(limit - first);
  // Names stay in place: variables refer to them by position.
  for (GMBookmarkName& name : doc->bookmarkNames) {
    if (name.bookmark < 0) continue;
    if (name.bookmark >= int32_t(first) && name.bookmark < int32_t(limit)) name.bookmark = kDeletedBookmark;
    else if (name.bookmark >= int32_t(limit)) name.bookmark -= removed;
  }
}

void DeleteBookmarks(GlimmetDoc* doc, uint32_t first, uint32_t limit) {
  if (!doc || limit <= first || first >= doc->bookmarkCps.count()) return;
  ForgetBookmarkNames(doc, first, limit);
  doc->bookmarkCps.erase(first, std::min(limit, doc->bookmarkCps.count()) - first);
  doc->findHits.clear();
  g_findSettings.knotIndex = 1;
}

QString NewBookmarkGuid() { return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(); }

bool InsertLink(GlimmetDoc* doc, const QString& url, const QString* text) {
  if (!doc) return false;
  const QString cleaned = cleanUp(url, false, false).trimmed();
  QString normalised = cleaned;
  if (normalised.startsWith(QLatin1StringView("www."), Qt::CaseInsensitive))
    normalised = QStringLiteral("http://") + normalised;
  const QString display = text ? (text->isEmpty() ? cleaned : *text) : QString();
  Pane* pane = CurrentPane(doc);
  DocRange target{doc, uint32_t(std::max(0, pane->selFirst)), uint32_t(std::max(0, pane->selLimit))};
  KnotInfo link;
  const bool inLink = FetchKnot(doc, target.first, &link, 0) && link.type() == kKnotLink && link.first < target.first;
  if (inLink) {
    target = link.range();
  } else if (!target.empty()) {
    if (!ReplaceRangeCore(&target, nullptr, nullptr, 0, false)) return false;
    const uint32_t at = g_postReplaceCp == kGMNone ? target.first : g_postReplaceCp;
    target = {doc, at, at};
  }
  GMRegisteredRange registered(&target, 0);
  DeferDisplay();
  bool ok = true;
  if (!inLink) ok = InsertKnotCore(&target, kKnotLink, 0, 0, nullptr, 0, nullptr, false);
  if (ok) ok = FetchKnot(doc, target.first, &link, kKnotLink) && link.kinkCount >= 3;
  if (ok && text) {
    DocRange slot{doc, link.kinkCps[0] + 1, link.kinkCps[1]};
    ok = slot.empty() && display.isEmpty() ? true
                                           : ReplaceRangeSimpleWithString(slot, nullptr, display);
    ok = ok && FetchKnot(doc, target.first, &link, kKnotLink);
  }
  if (ok) {
    DocRange slot{doc, link.kinkCps[1] + 1, link.kinkCps[2]};
    ok = ReplaceRangeSimpleWithString(slot, nullptr, normalised) && FetchKnot(doc, target.first, &link, kKnotLink);
  }
  if (ok) ForceRangeToStyleId(link.range(), kLinkStyleId);
  else if (FetchKnot(doc, target.first, &link, 0) && link.type() == kKnotLink) DeleteKnot(&link);
  pane->selFirst = pane->selLimit = int32_t(ok ? link.limit : target.first);
  UndeferDisplay(2);
  return ok;
}

QString NormalizeWwwLink(const QString& link) {
  if (!hasFuzzyPrefix(link, QStringLiteral("www."))) return link;
  return QStringLiteral("http://www") + link.mid(3);
}
