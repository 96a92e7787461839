// Cells dragged out of the grid and data dropped onto it. A press inside the selection that
// stays still for a moment drags the selected cells, as the clipboard would carry them, with a
// half-transparent picture of them. A drop pastes at the cell under the mouse; cells dragged out
// of the same document are moved (cleared at their old place in the same undo step) unless Alt
// is held at the drop.
#include "calculator/views/CACellView.h"

#include "calculator/model/CADocument.h"
#include "calculator/model/CADocumentWindow.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/caUndoArchives.h"
#include "calculator/views/CAScrollView.h"
#include "framlet/shell/FLUndoManager.h"
#include "platform/KeyMap.h"
#include "platform/Pasteboard.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace {

// The one drag out at a time: the document it left and the selection it carries. A drop of
// that drag onto the same document moves the cells; once the drag is over this is cleared.
struct DragSource {
  const CADocument* document = nullptr;
  GridRange selection;
};
DragSource g_dragSource;

CACellView::CADragRunner& DragRunner() {
  static CACellView::CADragRunner runner;
  return runner;
}

// The range an undo step of a move keeps: the source and the target block together, so that
// undoing brings back the cells at both places.
GridRange MoveContext(const GridRange& source, const GridPoint& target) {
  GridRange plain;
  const int32_t kind = TypeOfRange(&plain, source);
  if (kind == kRangeRows || kind == kRangeColumns) {
    // Whole lines: the span of lines both blocks cover, whole.
    const bool rows = kind == kRangeRows;
    const int64_t start = rows ? plain.startPoint.y : plain.startPoint.x;
    const int64_t end = rows ? plain.endPoint.y : plain.endPoint.x;
    const int64_t to = rows ? target.y : target.x;
    const int64_t first = std::min(start, to);
    const int64_t last = std::max(end, to + (end - start));
    return rows ? GridRange{{kGridWildcard, first}, {kGridWildcard, last}}
                : GridRange{{first, kGridWildcard}, {last, kGridWildcard}};
  }
  const int64_t width = plain.endPoint.x - plain.startPoint.x;
  const int64_t height = plain.endPoint.y - plain.startPoint.y;
  return GridRange{{std::min(target.x, plain.startPoint.x), std::min(target.y, plain.startPoint.y)},
                   {std::max(plain.endPoint.x, target.x + width), std::max(plain.endPoint.y, target.y + height)}};
}

}  // namespace

void CACellView::setDragRunner(CADragRunner runner) { DragRunner() = std::move(runner); }

bool CACellView::dragStartPending() const { return dragStartTimer_ && dragStartTimer_->isActive(); }

bool CACellView::cancelDragStart() {
  if (!dragStartTimer_) return false;
  const bool pending = dragStartTimer_->isActive();
  dragStartTimer_->stop();
  return pending;
}

QImage CACellView::dragImage(QRectF* frame) const {
  GridRange selection;
  TypeOfRange(&selection, document_->selectionRange());
  // Only the cells in sight are drawn: a selection of a whole sheet makes no picture of it.
  const QRectF visible = visibleRect();
  const GridPoint first = gridPointAtPoint(visible.topLeft());
  const GridPoint last = gridPointAtPoint(visible.bottomRight() - QPointF(0.5, 0.5));
  GridRange shown{{std::max(selection.startPoint.x, first.x), std::max(selection.startPoint.y, first.y)},
                  {std::min(selection.endPoint.x, last.x), std::min(selection.endPoint.y, last.y)}};
  if (shown.startPoint.x > shown.endPoint.x || shown.startPoint.y > shown.endPoint.y)
    shown = GridRange{selection.startPoint, selection.startPoint};
  *frame = rectForRange(shown);
  const QSize size = (frame->size() * zoom_).toSize();
  if (size.isEmpty()) return QImage();
  QImage cells(size, QImage::Format_ARGB32_Premultiplied);
  if (cells.isNull()) return QImage();
  cells.fill(Qt::transparent);
  {
    QPainter painter(&cells);
    painter.scale(zoom_, zoom_);
    painter.translate(-frame->topLeft());
    CAGridPaintOptions options = paintOptions();
    options.mode = CAGridPaintMode::DraggingOut;
    options.draggedSelection = shown;
    options.addTooltip = nullptr;
    options.removeTooltip = nullptr;
    CAGridPainter(painter, gridGeometry(), *document_, options).paint(*frame);
  }
  // The cells at half their opacity.
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return QImage();
  image.fill(QColor(255, 255, 255, 128));
  QPainter painter(&image);
  painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
  painter.drawImage(0, 0, cells);
  return image;
}

void CACellView::startExternalDrag() {
  if (dragStartTimer_) dragStartTimer_->stop();
  selecting_ = false;
  if (!document_) return;
  g_dragSource = DragSource{document_, document_->selectionRange()};
  auto* data = new QMimeData;
  if (!document_->copy(data)) {
    delete data;
    g_dragSource = DragSource();
    return;
  }
  draggingOut_ = true;
  QRectF frame;
  const QImage image = dragImage(&frame);
  draggingOut_ = false;
  if (image.isNull()) {
    delete data;
    g_dragSource = DragSource();
    return;
  }
  QPointer<CACellView> self(this);
  auto* drag = new QDrag(this);
  const QPointer<QDrag> guard(drag);
  drag->setMimeData(data);
  drag->setPixmap(QPixmap::fromImage(image));
  drag->setHotSpot(dragPressPoint_ - (frame.topLeft() * zoom_).toPoint());
  // Within the program cells may move; other programs only copy them.
  if (DragRunner())
    DragRunner()(*drag);
  else
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
  g_dragSource = DragSource();
  if (guard) guard->deleteLater();
  if (self) self->update();
}

bool CACellView::acceptsDrop(const QMimeData* data) const {
  if (!document_ || !data || document_->isLocked()) return false;
  if (document_->controller() && document_->controller()->showsSheet()) return false;
  bool files = false;
  const QList<QUrl> urls = data->urls();
  for (auto it = urls.crbegin(); it != urls.crend(); ++it) {
    if (!it->isLocalFile()) continue;
    files = true;
    if (FileTypeForFile(it->toLocalFile()) != 0) return true;
  }
  if (files) return false;
  const QStringList types = CADocument::clipboardTypes();
  return std::any_of(types.begin(), types.end(),
                     [data](const QString& type) { return PasteboardHasType(*data, type); });
}

void CACellView::dragEnterEvent(QDragEnterEvent* event) {
  if (!acceptsDrop(event->mimeData())) {
    event->ignore();
    return;
  }
  dragMoveEvent(event);
}

void CACellView::dragMoveEvent(QDragMoveEvent* event) {
  if (!document_) {
    event->ignore();
    return;
  }
  // The cell under the mouse shows as the drop target.
  const GridPoint point = gridPointAtPoint(event->position() / zoom_);
  if (document_->selectionRange() != GridRange{point, point}) document_->setSelectionPoint(point);
  draggingIn_ = true;
  update();
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void CACellView::dragLeaveEvent(QDragLeaveEvent* event) {
  draggingIn_ = false;
  update();
  event->accept();
}

void CACellView::dropEvent(QDropEvent* event) {
  draggingIn_ = false;
  update();
  if (!document_ || !acceptsDrop(event->mimeData())) {
    event->ignore();
    return;
  }
  const GridPoint point = gridPointAtPoint(event->position() / zoom_);
  if (document_->selectionRange() != GridRange{point, point}) document_->setSelectionPoint(point);
  if (performDrop(event->mimeData(), event->modifiers() & kOptionModifier)) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

bool CACellView::performDrop(const QMimeData* data, bool copy) {
  const bool ignoreFormat = ModelPreferences().plainPaste;
  if (g_dragSource.document != document_ || copy)
    return document_->paste(data, ignoreFormat, kUndoDragCells);
  // A move: one step keeps both places; the old place is cleared, the cells pasted at the new.
  const GridRange source = g_dragSource.selection;
  GridRange plain;
  const int32_t kind = TypeOfRange(&plain, source);
  const bool lines = kind == kRangeRows || kind == kRangeColumns;
  // A block that would not fit where it is dropped is refused before its old place is touched.
  GridRange at;
  if (TypeOfRange(&at, document_->selectionRange()) == kRangeInvalid ||
      !CADocument::pastedBlock(plain, kind, at.startPoint)) {
    WorkspaceBeep();
    return false;
  }
  const GridRange context = MoveContext(source, document_->selectionRange().startPoint);
  if (!document_->setUndo(kFLNewUndoID, lines ? kUndoActionWholeDocument : kUndoActionCells, kUndoDragCells,
                          context, kDomainCell))
    return false;
  const GridPoint target = document_->activeCellPoint();
  if (!document_->clearRange(source, kClearAll, kUndoUnnamed)) {
    if (FLUndoManager* manager = document_->undoManager()) manager->popUndo();
    return false;
  }
  document_->setSelectionPoint(target);
  return document_->paste(data, ignoreFormat, kUndoUnnamed);
}
