// The spreadsheet window's paper: the page set-up panel and its undo step, the print panel's
// page of sheet options, the page breaks shown in the grid, and the formula popup beside a cell
// being typed.
#include "calculator/controllers/CAWindowController.h"

#include "calculator/controllers/CAFormulaPopupVC.h"
#include "calculator/controllers/CAPrintOptionVC.h"
#include "calculator/controllers/caPageSetupPanel.h"
#include "calculator/controllers/caSheetPages.h"
#include "calculator/views/CACellView.h"
#include "calculator/views/CASpreadsheetView.h"

#include <QTreeWidget>

#include <cmath>

CASpreadsheetView* CAWindowController::spreadsheetView() const {
  return scrollView_ ? qobject_cast<CASpreadsheetView*>(scrollView_->parentWidget()) : nullptr;
}

QWidget* CAWindowController::printOptionsVC() {
  auto* options = new CAPrintOptionVC;
  options->setDocument(document_.get());
  return options;
}

void CAWindowController::runPageLayoutAction(int64_t) {
  commitTyping();
  if (pageLayoutPanel_) return;
  auto* panel = new CAPageSetupPanel(DocumentPageLayout(*document_), window_.get());
  panel->setAttribute(Qt::WA_DeleteOnClose);
  panel->setWindowModality(Qt::WindowModal);
  pageLayoutPanel_ = panel;
  connect(panel, &QDialog::finished, this, &CAWindowController::pageLayoutEnded);
  panel->open();
}

void CAWindowController::pageLayoutEnded(int result) {
  const auto* panel = qobject_cast<CAPageSetupPanel*>(pageLayoutPanel_.data());
  pageLayoutPanel_ = nullptr;
  if (result != QDialog::Accepted || !panel) return;
  // Looking at the settings changes nothing: only a paper or orientation other than the one the
  // document prints on is a change to undo and to save.
  const QByteArray chosen = PrintInfoFromPageLayout(panel->pageLayout());
  if (chosen == PrintInfoFromPageLayout(DocumentPageLayout(*document_))) return;
  if (!document_->setUndo(kFLNewUndoID, kUndoActionLayout, kUndoPageSetup, document_->selectionRange(),
                          kDomainDocument))
    return;
  document_->setPrintInfo(chosen);
  document_->pageBreaksChanged();
}

void CAWindowController::updatePageBreaks() {
  CACellView* view = cellView();
  if (!view) return;
  if (!document_->showPageBreaks()) {
    view->setPageBreaks({}, {});
    return;
  }
  // On screen the pages are those of the document's paper within its margins.
  const CASheetPages pages(*document_, CAPageMode::Paginate,
                           SheetPageRoom(*document_, DocumentPaperSize(*document_)));
  // The grid marks the first column and row of each page after the first.
  std::vector<int64_t> columns;
  std::vector<int64_t> rows;
  for (const int64_t column : pages.breaks().columns) columns.push_back(column + 1);
  for (const int64_t row : pages.breaks().rows) rows.push_back(row + 1);
  view->setPageBreaks(std::move(columns), std::move(rows));
}

void CAWindowController::showFormulaPopup(const QRect& anchor) {
  CACellView* view = cellView();
  if (!view) return;
  auto* popup = new CAFormulaPopupVC(document_.get());
  QTreeWidget* outline = popup->formulaOutline();
  // As tall as three quarters of the window's content allows.
  const int tallest = int(std::ceil(window_->centralWidget()->height() * 0.75));
  if (tallest > outline->sizeHint().height()) outline->setMinimumHeight(tallest);
  outline->setMinimumWidth(220);
  popup->showPopover(outline, view, anchor);
  outline->setFocus(Qt::PopupFocusReason);
}
