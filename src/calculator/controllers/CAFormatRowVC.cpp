#include "calculator/controllers/CAFormatRowVC.h"

#include "calculator/controllers/caSizePanes.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caUndoArchives.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QSlider>

#include <algorithm>

namespace {

constexpr int kMaxRowPoints = 500;

}  // namespace

QWidget* CAFormatRowVC::loadView() {
  auto* view = new QWidget;
  view->setToolTip(QStringLiteral("Row"));
  auto* grid = new QGridLayout(view);
  grid->setContentsMargins(8, 6, 8, 6);
  heightField_ = AddLengthRow(grid, 0, QStringLiteral("Height"), QStringLiteral("height"), kMaxRowPoints,
                              &heightSlider_, view);
  ConnectLengthPair(heightField_, heightSlider_, view, this, [this](QWidget* sender) { setHeight(sender); });
  view->resize(view->sizeHint());
  return view;
}

void CAFormatRowVC::selectionChanged() {
  undoID_ = 0xFFFFFFFF;
  if (!document() || !heightField_) return;
  const CARow* row = document()->row(document()->activeCellPoint().y);
  ShowLength(heightField_, heightSlider_, row ? row->minimumHeight() : 0);
}

void CAFormatRowVC::unitsChanged() {
  if (heightField_) ShowLengthInNewUnit(heightField_);
}

void CAFormatRowVC::setHeight(QWidget* sender) {
  CADocument* target = document();
  if (!target) return;
  const GridRange range = target->selectionAdaptedToDomain(kDomainRow);
  if (!RecordPaneStep(*target, &undoID_, true, kUndoActionRows, kUndoRowHeight, range, kDomainRow)) {
    selectionChanged();
    return;
  }
  const int64_t height = std::max<int64_t>(LengthFromControl(sender), 0);
  const int64_t first = NormalizeCoordinate(range.startPoint.y);
  int64_t last = NormalizeCoordinate(range.endPoint.y);
  // Rows open downwards end where the sheet's rows do: nothing beyond is made.
  if (last >= kGridOpenEnd) last = target->rows().empty() ? first : std::max(first, target->rows().back()->gridY());
  for (int64_t y = first; y <= last; ++y) {
    CARow* row = target->rowImperative(y);
    row->setMinimumHeight(height);
    row->setNeedCalculate(true);
  }
  RowHeightsChanged(*target, first, last);
  ShowLength(heightField_, heightSlider_, height);
  redrawSelection();
  SheetLinesChanged(*target);
}
