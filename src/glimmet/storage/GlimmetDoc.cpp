#include "glimmet/storage/GlimmetDoc.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flFonts.h"
#include "framlet/foundation/flReadingMeter.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdlib>
#include <new>

namespace {

GMLayoutService* g_layoutService = nullptr;

// The stream of a new document: a chapter knot of eight kinks whose six slots each hold an
// empty paragraph, then the body's first paragraph and the final paragraph mark.
constexpr char16_t kInitialText[16] = {0x0000, 0x0001, 0x000A, 0x0001, 0x000A, 0x0001, 0x000A, 0x0001,
                                       0x000A, 0x0001, 0x000A, 0x0001, 0x000A, 0x0001, 0x000A, 0x000A};
constexpr uint32_t kInitialLength = 16;
constexpr uint32_t kChapterKinks = 8;

void InitPane(GlimmetDoc* doc, Pane* pane, GMPaneView* view) {
  *pane = Pane();
  pane->view = view;
  DocRange range;
  GetPaneRange(doc, pane, &range);
  const uint32_t start = VisibleCpCore(doc, pane, range.first, true);
  pane->selFirst = pane->selLimit = int32_t(start);
  pane->firstDraftCp = int32_t(range.first);
  pane->lines.clear(range.limit);
  PropRecord props;
  FetchCharProps(doc, start, nullptr, &props);
  std::memcpy(pane->insertionProps, props.body, sizeof pane->insertionProps);
}

}  // namespace

bool IsMainThread() {
  const QCoreApplication* app = QCoreApplication::instance();
  return !app || QThread::currentThread() == app->thread();
}

GMLayoutService* SetLayoutService(GMLayoutService* service) {
  GMLayoutService* previous = g_layoutService;
  g_layoutService = service;
  return previous;
}

GMLayoutService* LayoutService() { return g_layoutService; }

void InvalText(const DocRange& range, bool widen) {
  if (!range.doc || !range.doc->owner || !g_layoutService) return;
  g_layoutService->InvalText(range, widen);
}

void SetDefaultFont(GlimmetDoc* doc, uint8_t* charBody) {
  const uint16_t font = IndexOfFont(QString());
  const int16_t size = kDefaultFontSize;
  std::memcpy(charBody + CharField::font, &font, sizeof font);
  std::memcpy(charBody + CharField::size, &size, sizeof size);
  if (g_layoutService) g_layoutService->SetDefaultFont(doc, charBody);
}

void OverridePaneContents(Pane* pane, int32_t kind) {
  if (!pane) return;
  if ((pane->contentsKind != kPaneContentsPlain && pane->contentsKind != kPaneContentsNoDisplay) ||
      (kind != kPaneContentsPlain && kind != kPaneContentsNoDisplay)) {
    LogAssert("Bad PaneContents", __func__, __FILE__, __LINE__);
  } else {
    pane->contentsKind = kind;
  }
  pane->paraCacheFirst = pane->paraCacheLimit = -1;
}

bool SetupPane(GlimmetDoc* doc, GMPaneView* view) {
  if (!doc) return false;
  if (doc->paneCount >= 2) {
    LogAssert("Too many panes", __func__, __FILE__, __LINE__);
    return false;
  }
  doc->currentPane = doc->paneCount++;
  InitPane(doc, &doc->panes[doc->currentPane], view);
  return true;
}

void FreePane(GlimmetDoc* doc, uint32_t index) {
  if (!doc || index >= doc->paneCount || index >= 2) return;
  const bool last = index + 1 == doc->paneCount;
  for (uint32_t i = index; i + 1 < doc->paneCount; ++i) doc->panes[i] = std::move(doc->panes[i + 1]);
  doc->panes[doc->paneCount - 1] = Pane();
  --doc->paneCount;
  if (last && doc->currentPane > 0) --doc->currentPane;
}

void FreeAllPanes(GlimmetDoc* doc) {
  if (!doc) return;
  for (uint32_t i = doc->paneCount; i > 0; --i) FreePane(doc, i - 1);
  doc->currentPane = 0;
  doc->paneCount = 0;
}

Pane* CurrentPane(GlimmetDoc* doc) {
  if (!doc) return nullptr;
  if (doc->overridePane) return doc->overridePane;
  if (doc->paneCount == 0) SetupPane(doc, nullptr);
  if (doc->currentPane >= doc->paneCount) doc->currentPane = 0;
  return &doc->panes[doc->currentPane];
}

char16_t GlimmetDoc::charAt(uint32_t cp) const {
  if (cp >= uint32_t(totalLength)) {
    LogAssert("cp out of range", __func__, __FILE__, __LINE__);
    return 0;
  }
  return text.at(cp);
}

char16_t CharacterAtCp(GlimmetDoc* doc, uint32_t cp) { return doc ? doc->charAt(cp) : 0; }

char16_t* DocumentTextPtr(GlimmetDoc* doc, uint32_t cp, uint32_t* limit) {
  if (!doc) return nullptr;
  return doc->text.pointerAt(cp, limit);
}

QString TextOfRange(const DocRange& range) {
  if (!range.doc || range.empty()) return QString();
  const uint32_t limit = std::min(range.limit, uint32_t(range.doc->totalLength));
  if (range.first >= limit) return QString();
  QString text(qsizetype(limit - range.first), Qt::Uninitialized);
  range.doc->text.read(range.first, limit - range.first, reinterpret_cast<char16_t*>(text.data()));
  return text;
}

uint32_t BodyStart(GlimmetDoc* doc) {
  const uint32_t limit = KnotLimitCp(doc, 0);
  return limit == kGMNone ? 0 : limit;
}

bool SetInitialChapterKnot(GlimmetDoc* doc, uint32_t chapterPropsIndex) {
  if (!doc) return false;
  if (doc->text.length() == 0 && !doc->text.replace(0, 0, kInitialText, kInitialLength)) return false;
  if (!doc->knots.empty()) return true;
  for (uint32_t kink = 0; kink < kChapterKinks; ++kink) {
    KnotEntry entry;
    entry.type = kKnotChapter;
    entry.kink = kink == 0 ? kKinkBegin : kink + 1 == kChapterKinks ? kKinkEnd : kKinkMiddle;
    entry.propIndex = kink == 0 ? chapterPropsIndex : kGMNone;
    doc->knots.insert(kink, kink == 0 ? 0 : kink * 2 - 1, entry);
  }
  doc->chapterCps.insert(0, 0, GMNoData{});
  return true;
}

GlimmetDoc* NewGlimmetDoc(int32_t kind) {
  void* memory = AllocateAndClearMemory(sizeof(GlimmetDoc));
  if (!memory) return nullptr;
  GlimmetDoc* doc = nullptr;
  try {
    doc = new (memory) GlimmetDoc();
    doc->kind = kind;
    doc->currentPane = 0;
    doc->props.reserve(100);

    SetDefaultProperties(doc, kPropDocument, &doc->docProps);

    PropRecord chapter;
    SetBaseProperties(kPropChapter, &chapter);
    chapter.set<int64_t>(ChapterField::between, 457200);
    chapter.set<int64_t>(ChapterField::headerOffset, 457200);
    chapter.set<int64_t>(ChapterField::footerOffset, 457200);
    doc->defaultChapterProps = IndexForProperties(doc, &chapter);
    if (doc->defaultChapterProps == kGMNone || !SetInitialChapterKnot(doc, doc->defaultChapterProps)) {
      DestroyDocument(doc);
      return nullptr;
    }
    doc->totalLength = int32_t(kInitialLength);
    doc->userLength = int32_t(kInitialLength - 1);
    doc->checkStates.insert(0, 0, 0);

    // The Normal style: a plain paragraph and black text in the default font.
    PropRecord para;
    SetBaseProperties(kPropPara, &para);
    PropRecord chars;
    SetBaseProperties(kPropChar, &chars);
    SetDefaultFont(doc, chars.body);
    GMStyle normal;
    normal.name = QStringLiteral("Normal");
    normal.id = 0;
    normal.kind = kPropPara;
    normal.basedOn = 32767;
    normal.next = 0;
    normal.first = IndexForProperties(doc, &para);
    normal.second = IndexForProperties(doc, &chars);
    if (normal.first == kGMNone || normal.second == kGMNone) {
      DestroyDocument(doc);
      return nullptr;
    }
    doc->styles.push_back(normal);
    doc->paraRuns.insert(0, 0, normal.first);
    doc->charRuns.insert(0, 0, normal.second);

    PropRecord table;
    SetBaseProperties(kPropTable, &table);
    table.set<int64_t>(TableField::cellLeft, 25400);
    table.set<int64_t>(TableField::cellRight, 25400);
    doc->defaultTableProps = IndexForProperties(doc, &table);
    if (doc->defaultTableProps == kGMNone || !SetNormalListProps(doc)) {
      DestroyDocument(doc);
      return nullptr;
    }
    ClearPropertyCaches(doc);

    if (kind != kDocShown) {
      Pane* pane = CurrentPane(doc);
      pane->contentsKind = kPaneContentsNoDisplay;
      pane->frameIndex = kGMNone;
      std::memcpy(pane->insertionProps, doc->props[normal.second].body, sizeof pane->insertionProps);
    }
  } catch (const std::bad_alloc& exception) {
    FLReadingMeter::NoteOutOfMemory();
    LogException(exception, QStringLiteral("NewGlimmetDoc"));
    if (doc) DestroyDocument(doc);
    else std::free(memory);
    return nullptr;
  }
  return doc;
}

void DestroyDocument(GlimmetDoc* doc) {
  if (!doc) return;
  if (GMLayoutService* layout = LayoutService()) layout->DocumentDestroyed(doc);
  doc->~GlimmetDoc();
  std::free(doc);
}

void GetPaneRange(GlimmetDoc* doc, Pane* pane, DocRange* range) {
  if (!pane) pane = CurrentPane(doc);
  range->doc = doc;
  const uint32_t chapters = doc->chapterCps.count();
  if (!doc->singleRange && pane && pane->chapterIndex < chapters) {
    range->first = doc->chapterCps.cpAt(pane->chapterIndex);
    range->limit = pane->chapterIndex + 1 < chapters ? doc->chapterCps.cpAt(pane->chapterIndex + 1)
                                                      : uint32_t(doc->totalLength);
  } else {
    range->first = 0;
    range->limit = uint32_t(doc->userLength);
  }
}

uint32_t FirstVisibleCp(GlimmetDoc* doc) {
  Pane* pane = CurrentPane(doc);
  if (!pane) return 0;
  if ((pane->displayFlags & kPaneShowAllCodes) || pane->contentsKind == 3 || pane->contentsKind == 6) return 0;
  Pane plain = *pane;
  plain.contentsKind = kPaneContentsPlain;
  return FirstVisibleCpInPara(doc, &plain, 0);
}

void GetScanRange(GlimmetDoc* doc, int mode, DocRange* range) {
  Pane* pane = CurrentPane(doc);
  GetPaneRange(doc, pane, range);
  if (mode != 1 && pane->frameIndex == kGMNone) range->first = uint32_t(pane->selLimit);
}
