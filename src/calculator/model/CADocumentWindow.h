// What the spreadsheet document asks of the window that shows it. The window controller
// implements this and hands itself to its document; the document never sees the controller's
// own class. Each request is ignored while no window is attached.
#pragma once

#include "calculator/model/CAGridPoint.h"

#include <QString>

#include <cstdint>

class CACell;
class FLUndoManager;

class CADocumentWindow {
 public:
  virtual ~CADocumentWindow() = default;

  // Redraws a cell's rectangle (the controller itself ignores this while the document is
  // opening or redraws are suppressed).
  virtual void redrawCell(const GridPoint& point) = 0;
  virtual void redrawRange(const GridRange& range) = 0;
  // Redraws the selection as seen in a format domain (4: the whole document view).
  virtual void redrawSelectionForDomain(int32_t domain) = 0;
  // The cell view forgets the tooltip registered for the cell (its tooltipTag).
  virtual void removeTooltipForCell(const CACell& cell) = 0;
  // Resizes the cell view to the document's extent.
  virtual void adjustCellViewForNewData() {}
  // Scrolls the cell view so that the selection shows.
  virtual void jumpToSelection() {}
  // After a delete: in show-only-occupied mode the selection and the shown extent shrink to the
  // used extent; then the selection shows.
  virtual void scrollAfterDelete() {}
  // The window's undo stack; null when steps are not recorded.
  virtual FLUndoManager* undoManager() { return nullptr; }
  // Makes the cell view take the keyboard and shows the selection.
  virtual void focusCellView() {}
  // Whether the window shows a sheet (a window-modal dialog) at the moment.
  virtual bool showsSheet() const { return false; }
  // Hides or shows the window; closes it as its close button does.
  virtual void setWindowVisible(bool /*visible*/) {}
  virtual void performClose() {}
  // The undo and redo tools follow the undo stack.
  virtual void updateUndoTool() {}
  // A modal alert with one OK button.
  virtual void giveAlert(const QString& /*message*/, const QString& /*information*/) {}
};
