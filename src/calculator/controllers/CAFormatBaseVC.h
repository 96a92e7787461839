// The base of the format panel's panes: ties a pane to its document and panel controller and
// relays the notifications every pane reacts to: a new selection, a new measurement unit, and
// the panel's domain change or the document's closing, after which the pane no longer acts.
#pragma once

#include "framlet/shell/FLViewController.h"

class CADocument;
struct GridRange;
class CAPropertyController;
class CAWindowController;
class FLUndoManager;

class CAFormatBaseVC : public FLViewController {
  Q_OBJECT

 public:
  // A pane's undo ID before it opened a step.
  static constexpr uint32_t kNoUndoID = 0xFFFFFFFF;

  explicit CAFormatBaseVC(QObject* parent = nullptr) : FLViewController(parent) {}
  ~CAFormatBaseVC() override;

  CADocument* document() const { return document_; }
  void setDocument(CADocument* document) { document_ = document; }
  CAPropertyController* propertyController() const { return propertyController_; }
  void setPropertyController(CAPropertyController* controller) { propertyController_ = controller; }
  // The window controller of the document; null once the pane is detached.
  CAWindowController* windowController() const;
  FLUndoManager* undoManager() const;
  // Redraws the selection for the panel's current domain.
  void redrawSelection();
  // The format domain the pane's changes go to: the panel's column, row or document domain, or
  // for the value and cell tabs the selection's own (whole columns or rows, else cells).
  int32_t formatDomain() const;
  // One format property of that domain as an undoable change: joins the pending step while it
  // is the same property's and still current; nothing when the step is refused.
  bool setFormatValue(int64_t value, uint64_t mask);
  // A pane's own format step over the range: continues the step of *undoID while it is the
  // current one, else records a new one and keeps its identifier; false when refused, also
  // (with a beep) when a change that makes missing formats would pass the command limit.
  bool recordFormatStep(uint32_t* undoID, int32_t descriptor, const GridRange& range, int32_t domain,
                        bool makesFormats);
  // Ends editing in the pane: the grid takes the keys back on the next turn of the event loop.
  void finishEdit();
  // A step of the descriptor on the active cell under the pane's undo ID: the change joins the
  // pane's step while that is the undo manager's current one, else opens a new step and takes its
  // ID. NO when the step is refused (no document, locked, no room).
  bool recordCellStep(uint32_t& undoID, int32_t descriptor);

  // Hooks; the base does nothing for the first two and detaches for the last.
  virtual void selectionChanged() {}
  virtual void unitsChanged() {}
  virtual void domainChanged();

 protected:
  // Observes the notifications, then shows the current selection.
  void viewDidLoad() override;

 private:
  CADocument* document_ = nullptr;
  CAPropertyController* propertyController_ = nullptr;
};
