#include "glimmet/layout/GMDraftViewAccessible.h"

#include "glimmet/layout/GMDocument.h"
#include "glimmet/layout/GMDraftView.h"
#include "glimmet/layout/gmLocate.h"
#include "glimmet/layout/gmSelection.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmFetch.h"

#include <algorithm>

namespace {

constexpr uint32_t kLocateExact = 7;

std::function<void(const QAccessibleEvent&)>& EventObserver() {
  static std::function<void(const QAccessibleEvent&)> observer;
  return observer;
}

QAccessibleInterface* DraftViewFactory(const QString& /*className*/, QObject* object) {
  if (auto* view = qobject_cast<GMDraftView*>(object)) return new GMDraftViewAccessible(view);
  return nullptr;
}

}  // namespace

GMDraftViewAccessible::GMDraftViewAccessible(GMDraftView* view)
    : QAccessibleWidget(view, QAccessible::Document) {}

void GMDraftViewAccessible::install() {
  static const bool installed = [] {
    QAccessible::installFactory(DraftViewFactory);
    return true;
  }();
  (void)installed;
}

void GMDraftViewAccessible::post(QAccessibleEvent* event) {
  if (EventObserver()) EventObserver()(*event);
  QAccessible::updateAccessibility(event);
}

void GMDraftViewAccessible::setEventObserver(std::function<void(const QAccessibleEvent&)> observer) {
  EventObserver() = std::move(observer);
}

GMDraftView* GMDraftViewAccessible::view() const { return static_cast<GMDraftView*>(widget()); }

void* GMDraftViewAccessible::interface_cast(QAccessible::InterfaceType type) {
  if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
  return QAccessibleWidget::interface_cast(type);
}

QAccessible::State GMDraftViewAccessible::state() const {
  QAccessible::State state = QAccessibleWidget::state();
  state.readOnly = true;
  state.multiLine = true;
  state.focusable = true;
  state.selectableText = true;
  return state;
}

QString GMDraftViewAccessible::text(QAccessible::Text kind) const {
  if (kind == QAccessible::Value) return text(0, characterCount());
  return QAccessibleWidget::text(kind);
}

std::pair<uint32_t, uint32_t> GMDraftViewAccessible::paneRange() const {
  GlimmetDoc* doc = view()->glimmetDoc();
  if (!doc || !view()->document()) return {0, 0};
  Pane* pane = view()->document()->paneForView(view());
  DocRange range;
  GetPaneRange(doc, pane, &range);
  return {range.first, std::max(range.first, range.limit)};
}

int GMDraftViewAccessible::characterCount() const {
  const auto [first, limit] = paneRange();
  return int(limit - first);
}

QString GMDraftViewAccessible::text(int startOffset, int endOffset) const {
  GlimmetDoc* doc = view()->glimmetDoc();
  const auto [first, limit] = paneRange();
  const int count = int(limit - first);
  startOffset = std::clamp(startOffset, 0, count);
  endOffset = std::clamp(endOffset, startOffset, count);
  if (!doc || startOffset == endOffset) return QString();
  QString text = TextOfRange({doc, first + uint32_t(startOffset), first + uint32_t(endOffset)});
  for (QChar& c : text)
    if (c.unicode() <= 1) c = QChar(QChar::ObjectReplacementCharacter);
  return text;
}

void GMDraftViewAccessible::selection(int selectionIndex, int* startOffset, int* endOffset) const {
  *startOffset = *endOffset = 0;
  GMDocument* document = view()->document();
  Pane* pane = document ? document->paneForView(view()) : nullptr;
  if (selectionIndex != 0 || !pane || pane->selLimit <= pane->selFirst) return;
  const auto [first, limit] = paneRange();
  *startOffset = int(std::clamp<int64_t>(int64_t(pane->selFirst) - first, 0, limit - first));
  *endOffset = int(std::clamp<int64_t>(int64_t(pane->selLimit) - first, *startOffset, limit - first));
}

int GMDraftViewAccessible::selectionCount() const {
  int start = 0, end = 0;
  selection(0, &start, &end);
  return end > start ? 1 : 0;
}

void GMDraftViewAccessible::select(int startOffset, int endOffset) {
  GMDocument* document = view()->document();
  if (!document) return;
  const auto [first, limit] = paneRange();
  const int count = int(limit - first);
  startOffset = std::clamp(startOffset, 0, count);
  endOffset = std::clamp(endOffset, startOffset, count);
  document->setSelection(first + uint64_t(startOffset), uint64_t(endOffset - startOffset));
}

void GMDraftViewAccessible::addSelection(int startOffset, int endOffset) { select(startOffset, endOffset); }

void GMDraftViewAccessible::removeSelection(int selectionIndex) {
  if (selectionIndex == 0) setCursorPosition(cursorPosition());
}

void GMDraftViewAccessible::setSelection(int selectionIndex, int startOffset, int endOffset) {
  if (selectionIndex == 0) select(startOffset, endOffset);
}

int GMDraftViewAccessible::cursorPosition() const {
  GMDocument* document = view()->document();
  Pane* pane = document ? document->paneForView(view()) : nullptr;
  if (!pane) return 0;
  const auto [first, limit] = paneRange();
  return int(std::clamp<int64_t>(int64_t(pane->selFirst) - first, 0, limit - first));
}

void GMDraftViewAccessible::setCursorPosition(int position) { select(position, position); }

QRect GMDraftViewAccessible::characterRect(int offset) const {
  GMDocument* document = view()->document();
  GlimmetDoc* doc = view()->glimmetDoc();
  Pane* pane = document ? document->paneForView(view()) : nullptr;
  if (!pane || !doc) return QRect();
  const auto [first, limit] = paneRange();
  if (offset < 0 || uint32_t(offset) >= limit - first) return QRect();
  LocatorRec locator = LocatorFor(doc, pane, int32_t(first + uint32_t(offset)));
  QRectF rect;
  if (!GetRectContainingCp(&locator, true, &rect)) return QRect();
  const double zoom = view()->zoomValue() > 0 ? view()->zoomValue() : 1.0;
  const QRectF onWidget(rect.x() * zoom, rect.y() * zoom, rect.width() * zoom, rect.height() * zoom);
  return QRect(view()->mapToGlobal(onWidget.topLeft().toPoint()), onWidget.size().toSize());
}

int GMDraftViewAccessible::offsetAtPoint(const QPoint& point) const {
  GMDocument* document = view()->document();
  GlimmetDoc* doc = view()->glimmetDoc();
  Pane* pane = document ? document->paneForView(view()) : nullptr;
  if (!pane || !doc) return -1;
  const QPointF at = view()->draftPoint(view()->mapFromGlobal(point));
  LocatorRec locator = LocatorFor(doc, pane);
  if (!LocatePointInDoc(at.x(), at.y(), &locator, kLocateExact) || locator.cp < 0) return -1;
  const auto [first, limit] = paneRange();
  return int(std::clamp<int64_t>(int64_t(locator.cp) - first, 0, limit - first));
}

void GMDraftViewAccessible::scrollToSubstring(int startIndex, int endIndex) {
  select(startIndex, endIndex);
  if (GlimmetDoc* doc = view()->glimmetDoc()) ShowSelection(doc, false, false);
}

QString GMDraftViewAccessible::attributes(int offset, int* startOffset, int* endOffset) const {
  *startOffset = *endOffset = offset;
  return QString();
}
