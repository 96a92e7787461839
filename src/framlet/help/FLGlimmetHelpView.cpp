#include "framlet/help/FLGlimmetHelpView.h"

#include "framlet/help/flHelpNavigation.h"
#include "glimmet/layout/GMDocument.h"
#include "glimmet/layout/gmDraft.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmFetch.h"
#include "platform/NotificationCenter.h"

#include <QTimer>

#include <algorithm>

namespace {

constexpr const char* kZoomChangeNotification = "gmb.zoomChange";

}  // namespace

FLGlimmetHelpView::FLGlimmetHelpView(QWidget* parent) : GMDraftView(parent) {}

Pane* FLGlimmetHelpView::pane() const { return document() ? document()->paneForView(this) : nullptr; }

void FLGlimmetHelpView::trash() {
  if (document()) document()->trashDisplay(this);
  setScrollLimits();
  update();
}

void FLGlimmetHelpView::showChapter(uint32_t chapter) {
  Pane* shown = pane();
  if (!shown || !glimmetDoc()) return;
  shown->chapterIndex = chapter;
  shown->paraCacheFirst = shown->paraCacheLimit = -1;
  TrashDraft(glimmetDoc(), shown, true);
  setScrollLimits();
  update();
}

uint32_t FLGlimmetHelpView::chapter() const {
  const Pane* shown = pane();
  return shown ? shown->chapterIndex : 0;
}

uint32_t FLGlimmetHelpView::firstCp() const {
  return glimmetDoc() ? FLHelpChapterBodyStart(glimmetDoc(), chapter()) : 0;
}

uint32_t FLGlimmetHelpView::limitCp() const {
  if (!glimmetDoc()) return 0;
  return std::min(FLHelpChapterLimit(glimmetDoc(), chapter()), uint32_t(glimmetDoc()->userLength));
}

void FLGlimmetHelpView::selectCps(uint32_t first, uint32_t limit) {
  if (document()) document()->setSelection(first, limit > first ? limit - first : 0);
}

DocRange FLGlimmetHelpView::selectedCps() const {
  const Pane* shown = pane();
  if (!shown) return {glimmetDoc(), 0, 0};
  return {glimmetDoc(), uint32_t(std::max(shown->selFirst, 0)), uint32_t(std::max(shown->selLimit, shown->selFirst))};
}

bool FLGlimmetHelpView::hasSelection() const { return !selectedCps().empty(); }

QString FLGlimmetHelpView::selectedPlainText() const {
  const DocRange range = selectedCps();
  if (range.empty() || !range.doc) return QString();
  const QString text = ExtractPlainText(range, false);
  return text.isNull() ? QString() : text;
}

void FLGlimmetHelpView::showSelection() {
  if (document()) document()->showSelection();
}

uint32_t FLGlimmetHelpView::scrollCp() const {
  const Pane* shown = pane();
  return shown ? uint32_t(std::max(shown->firstDraftCp, 0)) : 0;
}

void FLGlimmetHelpView::setScrollCp(uint32_t cp) {
  Pane* shown = pane();
  if (!shown || !glimmetDoc()) return;
  ScrollVertDraft(glimmetDoc(), shown, int32_t(std::min(cp, limitCp())), kScrollCp);
  PostScrollCheck(glimmetDoc(), shown);
  setScrollLimits();
  update();
}

void FLGlimmetHelpView::setZoomValue(double zoom) {
  Pane* shown = pane();
  if (!shown || zoom <= 0 || (zoom == zoomValue() && float(zoom) == shown->zoom)) return;
  storeZoomValue(zoom);
  shown->zoom = float(zoom);
  trash();
  QTimer::singleShot(100, this, [this] { setScrollLimits(); });
  NotificationCenter::defaultCenter().post(QLatin1String(kZoomChangeNotification), this);
}

void FLGlimmetHelpView::setHelpFont(const QFont& font) {
  if (!document()) return;
  document()->setNormalFont(font, false);
  trash();
}

void FLGlimmetHelpView::becomeFirstResponder() {
  if (!windowController_ || !document()) return;
  emit focused();
}
