// The formula popup: a secondary click inside a cell's formula shows the function browser's
// list in a popover beside the text, the recent functions on top. Choosing one inserts it with
// placeholders for its arguments where the text was selected; when the popover closes the
// cell's typing resumes with the first argument selected.
#pragma once

#include "framlet/shell/FLPopoverBaseVC.h"

class CADocument;
class CAFormulaOutlineVC;
class QTreeWidget;

class CAFormulaPopupVC : public FLPopoverBaseVC {
  Q_OBJECT

 public:
  // Builds the list for the document (not owned) and marks its formula popup active.
  explicit CAFormulaPopupVC(CADocument* document, QObject* parent = nullptr);

  CADocument* document() const { return document_; }
  CAFormulaOutlineVC* outlineVC() const { return outlineVC_; }
  // The list of groups and functions; the popover takes it over when shown.
  QTreeWidget* formulaOutline() const;

 protected:
  void popoverWillClose(const std::optional<FLPopoverCloseEvent>& closingEvent) override;

 private:
  CADocument* document_ = nullptr;
  CAFormulaOutlineVC* outlineVC_ = nullptr;
};
