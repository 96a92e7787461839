// Table views: selecting a row and bringing it to about a third of the visible height when it
// lies at (or past) an edge, and reloading one row.
#pragma once

#include <cstdint>
#include <optional>

class QTableView;

// Where the visible area's top goes so a row near an edge ends up a third of the way in, or
// nothing when the row can stay where it is. All values in pixels of the table's contents;
// headerHeight is the part of the visible area that a header covers.
std::optional<int> CenterRowTarget(int visibleTop, int visibleHeight, int headerHeight, int rowTop, int rowHeight);

// A negative row deselects everything; a row at or past the row count does nothing.
void selectAndCenter(QTableView* table, int64_t row);
void centerSelection(QTableView* table);
void centerRow(QTableView* table, int row);
void reloadRow(QTableView* table, int row);
