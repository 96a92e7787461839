#include "framlet/shell/flCenterSelection.h"

#include <QItemSelectionModel>
#include <QScrollBar>
#include <QTableView>

std::optional<int> CenterRowTarget(int visibleTop, int visibleHeight, int headerHeight, int rowTop, int rowHeight) {
  const int top = visibleTop + headerHeight;
  const int height = visibleHeight - headerHeight;
  if (rowHeight > rowTop - top) return top - height / 3;
  if (rowHeight > top + height - (rowTop + rowHeight)) return top + (2 * height) / 3;
  return std::nullopt;
}

void centerRow(QTableView* table, int row) {
  if (!table || !table->model() || row < 0 || row >= table->model()->rowCount()) return;
  QScrollBar* bar = table->verticalScrollBar();
  if (table->verticalScrollMode() != QAbstractItemView::ScrollPerPixel) {
    table->scrollTo(table->model()->index(row, 0), QAbstractItemView::PositionAtCenter);
    return;
  }
  // The header lies outside the viewport in Qt, so it covers none of the visible area.
  const int visibleTop = bar->value();
  const std::optional<int> target = CenterRowTarget(visibleTop, table->viewport()->height(), 0,
                                                    table->rowViewportPosition(row) + visibleTop, table->rowHeight(row));
  if (target) bar->setValue(*target);
}

void centerSelection(QTableView* table) {
  if (!table || !table->selectionModel()) return;
  const QModelIndexList rows = table->selectionModel()->selectedRows();
  if (rows.isEmpty()) return;
  table->scrollTo(rows.first());
  if (!table->property("shouldNotCenterTwice").toBool()) centerRow(table, rows.first().row());
}

void selectAndCenter(QTableView* table, int64_t row) {
  if (!table || !table->model()) return;
  if (row < 0) {
    table->clearSelection();
    return;
  }
  if (row >= table->model()->rowCount()) return;
  table->selectionModel()->select(table->model()->index(int(row), 0),
                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  centerSelection(table);
}

void reloadRow(QTableView* table, int row) {
  if (!table || !table->model() || row < 0 || row >= table->model()->rowCount()) return;
  const int columns = table->model()->columnCount();
  for (int column = 0; column < columns; ++column) table->update(table->model()->index(row, column));
}
