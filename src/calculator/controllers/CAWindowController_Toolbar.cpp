// The spreadsheet window's toolbar: its tool table, the default set, the segmented tools, and
// keeping the tools in step with the document and its selection.
#include "calculator/controllers/CAWindowController.h"
#include "calculator/controllers/caToolImages.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CAFormat.h"
#include "calculator/views/CACellView.h"
#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/flBase.h"
#include "framlet/shell/FLToolbarSegments.h"
#include "framlet/shell/FLToolbarView.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

constexpr const char* kAlignmentGuid = "58D3155F-45E6-4A65-8E84-6C53F9082292";
constexpr const char* kAverageGuid = "D3B1B66A-E08A-4841-8927-2AF8D4B18D5F";
constexpr const char* kDeleteGuid = "0A6917FC-FB6B-4DD5-BE0B-052561BB086D";
constexpr const char* kInsertGuid = "813AE542-56C3-4E0B-AF4C-D2C0673836EF";
constexpr const char* kExpandDownGuid = "C196A318-CDC4-4D6D-963D-5CE3F09F0EC9";
constexpr const char* kExpandRightGuid = "F99FC85E-96A3-4FD4-95CB-3BD417127FCE";
constexpr const char* kFillDownGuid = "C79C4541-3347-4794-A56B-4FE794A2356D";
constexpr const char* kFillRightGuid = "DAC07A4F-A4AA-4F9C-95E6-0E55CE3BC378";
constexpr const char* kFormatGuid = "CEE7532D-0F4E-4425-B661-64447782EE56";
constexpr const char* kFormulasGuid = "DF3A0131-B8DB-4EA9-AE66-96D73BC88EA3";
constexpr const char* kOnlyUsedGuid = "D6D5027D-AEA0-4B11-A0B5-6DF47E104455";
constexpr const char* kSearchGuid = "EE75E6F4-CF6C-467E-B5C1-14246F4246DA";
constexpr const char* kSumGuid = "9D64CC24-3AB4-4944-9748-179227A91BBA";
constexpr const char* kZoomGuid = "3BBC3052-1204-4511-8F39-255BD25967FA";

constexpr const char* kInsertQuickFormulaAction = "insertQuickFormula:";
constexpr const char* kDeleteRowOrColumnAction = "deleteRowOrColumn:";
constexpr const char* kInsertRowOrColumnAction = "insertRowOrColumn:";
constexpr const char* kExpandSheetAction = "expandSheet:";
constexpr const char* kFillDownAction = "fillDown:";
constexpr const char* kFillRightAction = "fillRight:";
constexpr const char* kToggleFormulasAction = "toggleFormulas:";
constexpr const char* kToggleOnlyUsedAction = "toggleOnlyUsed:";
constexpr const char* kChangeZoomAction = "changeZoom:";
constexpr const char* kAlignAction = "align:";

// The segmented tools' pictures: the application's images when it carries them, else drawn.
QImage SegmentImage(const QString& name) {
  if (std::unique_ptr<FLImage> image = FLImage::imageNamed(name)) return image->bitmap();
  return DrawSegmentImage(name);
}

// The zoom pop-up's items are the zoom's steps; each item's data is its percentage.
int ZoomPercent(double zoom) { return int(std::lround(zoom * 100)); }

// Marks the item that shows a zoom between the steps; it goes when the zoom leaves it.
constexpr int kOffStepRole = Qt::UserRole + 1;

}  // namespace

const FLToolbarItem kCAToolbarItems[kCAToolbarItemCount] = {
    {kFLToolbarSpaceItem, nullptr, nullptr, "Space"},
    {kFLToolbarFlexibleSpaceItem, nullptr, nullptr, "Flexible Space"},
    {kAlignmentGuid, kFLToolbarSegmentsClass, "Alignment", nullptr, nullptr, "Change the alignment of cell content", 1,
     130, 21, 1},
    {kAverageGuid, "AverageTool", "Average", nullptr, kInsertQuickFormulaAction,
     "Insert the AVERAGE function for the selection", 0},
    {"7B61CA80-2F3F-4220-9F8F-4874089C76BC", "ColorTool", "Colors", nullptr, "showColors:",
     "Show or hide the color panel", 0},
    {kDeleteGuid, "DeleteTool", "Delete", nullptr, kDeleteRowOrColumnAction, "Delete the selection", -1},
    {kInsertGuid, "InsertTool", "Insert", nullptr, kInsertRowOrColumnAction, "Insert rows, columns, or cells", -1},
    {kExpandDownGuid, "ExpandDown", "Expand Down", nullptr, kExpandSheetAction, "Expand scrolling area down", 0},
    {kExpandRightGuid, "ExpandRight", "Expand Right", nullptr, kExpandSheetAction, "Expand scrolling area right", 1},
    {kFillDownGuid, "FillDown", "Fill Down", nullptr, kFillDownAction, "Copy fill down", 0},
    {kFillRightGuid, "FillRight", "Fill Right", nullptr, kFillRightAction, "Copy fill right", 0},
    {"DFD253A2-1054-4A1B-B244-64E1D2461996", "FontTool", "Fonts", nullptr, "showFonts:", "Show or hide the font panel",
     0},
    {kFormatGuid, "InfoTool", "Format", nullptr, "toggleFormatPanel:", "Show or hide the format panel", 0},
    {kFormulasGuid, "ShowFormula", "Formulas", nullptr, kToggleFormulasAction, "Show or hide formulas", 0},
    {kOnlyUsedGuid, "OnlyUsed", "Only Used", nullptr, kToggleOnlyUsedAction, "View only occupied cells", 0},
    {"94201DC0-4F0C-4457-B941-127A19DE996C", "PrintTool", "Print", nullptr, "printDocument:", nullptr, 0},
    // The search field is sized by the toolbar; any non-zero size makes it a view tool.
    {kSearchGuid, kFLSearchFieldClass, nullptr, "Search", "quickSearch:", nullptr, 0, 240, 26, 0, false, true},
    {kSumGuid, "SumTool", "Sum", nullptr, kInsertQuickFormulaAction, "Insert the SUM function for the selection", 1},
    {"1FBA0327-D92D-4F11-80AA-A5BD10BC3538", kFLToolbarSegmentsClass, "Undo", nullptr, nullptr, "Undo or redo", 2, 88,
     21, 0},
    {kZoomGuid, kFLPopUpButtonClass, "Zoom", nullptr, kChangeZoomAction, "Change spreadsheet magnification", 0, 84,
     25},
};

QStringList CAWindowController::defaultToolbarItems() const {
  static constexpr int kDefaultTools[] = {12, 19, 13, 0, 7, 8, 0, 6, 5, 9, 10, 0, 3, 17, 1, 16};
  QStringList guids;
  for (int index : kDefaultTools) guids.append(QLatin1String(kCAToolbarItems[index].guid));
  return guids;
}

QString CAWindowController::recentSearchKey(const FLToolbarItem&, FLToolbarView*) {
  return QLatin1String(kCARecentSearchKey);
}

QMenu* CAWindowController::menuForPopup(const FLToolbarItem&, FLToolbarView*) {
  if (!zoomMenu_) {
    zoomMenu_ = new QMenu(window_.get());
    for (double step : kCAZoomSteps) {
      const int percent = ZoomPercent(step);
      zoomMenu_->addAction(QStringLiteral("%1%").arg(percent))->setData(percent);
    }
  }
  return zoomMenu_;
}

void CAWindowController::buildToolbar() {
  FLToolbarView::setImageDrawer(DrawToolImage);
  toolbarView_ = new FLToolbarView(window_->centralWidget());
  toolbarView_->setUp(this, scrollView_);
}

FLToolbarSegments* CAWindowController::segmentsWithTag(uint64_t barTag) const {
  return toolbarView_ ? toolbarView_->segmentsWithTag(barTag) : nullptr;
}

QVariantList CAWindowController::tabsForSegments(FLToolbarSegments* segments) {
  if (segments->barTag() == kCAAlignmentBar) {
    return {QStringLiteral("Def"), SegmentImage(QStringLiteral("TextAlignLeft")),
            SegmentImage(QStringLiteral("TextAlignCenter")), SegmentImage(QStringLiteral("TextAlignRight"))};
  }
  if (segments->barTag() == kCAUndoBar) {
    return {SegmentImage(QStringLiteral("UndoTool")), SegmentImage(QStringLiteral("RedoTool"))};
  }
  LogAssert("Unknown control", __func__, __FILE__, __LINE__);
  return {};
}

void CAWindowController::tabWasSelected(int64_t index, FLToolbarSegments* segments) {
  if (segments->barTag() == kCAAlignmentBar) {
    // Segment 0 ("Def") takes the alignment away, the others are left, centre and right.
    lastToolAction_ = QLatin1String(kAlignAction);
    align(index <= 0 || index > 3 ? int64_t(kAlignmentAuto) : int64_t(kAlignmentLeft) + index - 1);
  } else if (segments->barTag() == kCAUndoBar) {
    if (index == 0)
      undoEdit();
    else
      redoEdit();
  } else {
    LogAssert("Unknown control", __func__, __FILE__, __LINE__);
  }
}

void CAWindowController::sendToolbarAction(const QString& action, FLToolbarView* toolbar) {
  lastToolAction_ = action;
  if (action == QLatin1String(kFLUndoEditAction))
    undoEdit();
  else if (action == QLatin1String(kFLRedoEditAction))
    redoEdit();
  else
    performAction(action, toolbar ? toolbar->tag() : 0);
}

QComboBox* CAWindowController::zoomTool() const {
  return toolbarView_ ? qobject_cast<QComboBox*>(toolbarView_->viewForGuid(QLatin1String(kZoomGuid))) : nullptr;
}

QLineEdit* CAWindowController::searchField() const {
  return toolbarView_ ? qobject_cast<QLineEdit*>(toolbarView_->viewForGuid(QLatin1String(kSearchGuid))) : nullptr;
}

void CAWindowController::selectZoomTool(double zoom) {
  QComboBox* popUp = zoomTool();
  if (!popUp) return;
  const int percent = ZoomPercent(zoom);
  for (int i = popUp->count() - 1; i >= 0; --i) {
    if (popUp->itemData(i, kOffStepRole).toBool() && popUp->itemData(i).toInt() != percent) popUp->removeItem(i);
  }
  int index = popUp->findData(percent);
  if (index < 0) {
    // A zoom between the steps (a stored one) is shown as it is, in its place among them.
    index = 0;
    while (index < popUp->count() && popUp->itemData(index).toInt() < percent) ++index;
    popUp->insertItem(index, QStringLiteral("%1%").arg(percent), percent);
    popUp->setItemData(index, true, kOffStepRole);
  }
  popUp->setCurrentIndex(index);
}

void CAWindowController::updateUndoTool() {
  // The window's Undo and Redo items follow too, so that their shortcuts work exactly when the
  // menu would offer them.
  if (window_) {
    for (const char* name : {kFLUndoEditAction, kFLRedoEditAction}) {
      if (QAction* item = window_->findChild<QAction*>(QLatin1String(name))) item->setEnabled(undoManager_.validateMenuItem(item));
    }
  }
  FLToolbarSegments* undo = segmentsWithTag(kCAUndoBar);
  if (!undo) return;
  if (undo->tabs().isEmpty()) undo->layoutTabs();
  undo->setEnabled(undoManager_.isUndoAvailable(), 0);
  undo->setEnabled(undoManager_.isRedoAvailable(), 1);
}

void CAWindowController::updateStateTools() {
  if (!toolbarView_ || !toolbarView_->isVisible()) return;
  const CADocument& doc = *document_;
  const bool locked = doc.isLocked();
  const GridRange& range = doc.selectionRange();
  FLToolbarView& bar = *toolbarView_;
  bar.setEnabledForGuid(!locked && range.endPoint.y > range.startPoint.y, QLatin1String(kFillDownGuid));
  bar.setEnabledForGuid(!locked && range.endPoint.x > range.startPoint.x, QLatin1String(kFillRightGuid));
  bar.setEnabledForGuid(!locked && doc.canDelete(doc.editTypeForSelection()), QLatin1String(kDeleteGuid));
  for (const char* guid : {kExpandDownGuid, kExpandRightGuid, kAverageGuid, kSumGuid, kInsertGuid})
    bar.setEnabledForGuid(!locked, QLatin1String(guid));
  updateUndoTool();
  bar.setAlternate(doc.showOnlyOccupied(), QLatin1String(kToggleOnlyUsedAction));
  bar.setAlternate(doc.showFormulas(), QLatin1String(kToggleFormulasAction));
  if (FLToolbarSegments* align = segmentsWithTag(kCAAlignmentBar)) {
    if (align->tabs().isEmpty()) align->layoutTabs();
    align->setEnabled(!locked);
    int64_t selected = 0;
    if (const CACell* cell = doc.activeCell()) {
      const CAFormat* format = cell->format();
      if (format && (format->mask() & kFormatAlignment) && format->alignment() >= kAlignmentLeft &&
          format->alignment() <= kAlignmentRight)
        selected = format->alignment() - kAlignmentLeft + 1;
    }
    align->selectTab(selected);
  }
}

void CAWindowController::selectionChanged() {
  // A new selection starts a new formatting step. The document also announces its selection
  // after a format change, to refresh the panels; that keeps the step.
  if (document_->selectionRange() != propertySelection_) propertyUndoID_ = kFLNewUndoID;
  if (CACellView* view = cellView()) view->setInitialClick(false);
  updateStateTools();
  validateMenuItemsSoon();
}
