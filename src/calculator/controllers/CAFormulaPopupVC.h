// The formula popup: a secondary click inside a cell's formula shows the built-in functions in
// a popover beside the text, the recent ones on top and the rest by class. Choosing one inserts
// it with placeholders for its arguments where the text was selected; when the popover closes
// the cell's typing resumes with the first argument selected.
#pragma once

#include "framlet/shell/FLPopoverBaseVC.h"

#include <cstdint>

class CADocument;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

// Inserts the function of the table row into the active cell's formula text at the document's
// text selection, as one "Formula" step; the inserted argument placeholders (or the place after
// "()") become the selection. Posts the insertion for the views and records the function as
// recently used. NO when the step was refused.
bool InsertFunctionInActiveCell(CADocument& document, int32_t row, bool inPopup);

class CAFormulaPopupVC : public FLPopoverBaseVC {
  Q_OBJECT

 public:
  // Builds the list for the document (not owned) and marks its formula popup active.
  explicit CAFormulaPopupVC(CADocument* document, QObject* parent = nullptr);

  CADocument* document() const { return document_; }
  // The list of groups and functions; the popover takes it over when shown.
  QTreeWidget* formulaOutline() const { return formulaOutline_; }
  // Inserts the function of a function item, then closes every popover; group items do nothing.
  void insertFunction(QTreeWidgetItem* item);

 protected:
  void popoverWillClose(const std::optional<FLPopoverCloseEvent>& closingEvent) override;

 private:
  CADocument* document_ = nullptr;
  QTreeWidget* formulaOutline_ = nullptr;
};
