// The least the grid does with the mouse: a click ends the typing and selects the clicked
// cell, a double click opens it for typing.
#include "calculator/views/CACellView.h"

#include "calculator/model/CADocument.h"

#include <QMouseEvent>

void CACellView::selectClickedCell(const GridPoint& point) {
  if (IsGridPointInRange(point.x, point.y, document_->selectionRange()))
    document_->setActiveCellPoint(point);
  else
    document_->setSelectionPoint(point);
  ensureSelectionVisible();
}

void CACellView::mousePressEvent(QMouseEvent* event) {
  if (!document_ || event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  event->accept();
  // While the formula bar holds a formula the click is its reference, not a new selection.
  if (document_->typingState() == 1) return;
  stopTyping(true);
  selectClickedCell(gridPointAtPoint(event->position() / zoom_));
}

void CACellView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (!document_ || event->button() != Qt::LeftButton || document_->typingState() != 0) {
    QWidget::mouseDoubleClickEvent(event);
    return;
  }
  event->accept();
  startTyping(gridPointAtPoint(event->position() / zoom_), true);
}
