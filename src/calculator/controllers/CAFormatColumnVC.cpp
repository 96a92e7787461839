#include "calculator/controllers/CAFormatColumnVC.h"

#include "calculator/controllers/caSizePanes.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/model/caUndoArchives.h"
#include "platform/NotificationCenter.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>

#include <algorithm>

namespace {

constexpr int kMaxColumnPoints = 1000;

}  // namespace

QWidget* CAFormatColumnVC::loadView() {
  auto* view = new QWidget;
  view->setToolTip(QStringLiteral("Column"));
  auto* grid = new QGridLayout(view);
  grid->setContentsMargins(8, 6, 8, 6);
  grid->setVerticalSpacing(4);
  widthField_ = AddLengthRow(grid, 0, QStringLiteral("Width"), QStringLiteral("width"), kMaxColumnPoints,
                             &widthSlider_, view);
  digitField_ = AddDigitRow(grid, 1, QStringLiteral("digitField"), view);
  ConnectLengthPair(widthField_, widthSlider_, view, this, [this](QWidget* sender) { setWidth(sender); });
  connect(digitField_, &QSpinBox::valueChanged, this, [this](int digits) { setDigits(digits); });
  view->resize(view->sizeHint());
  return view;
}

void CAFormatColumnVC::viewDidLoad() {
  CAFormatBaseVC::viewDidLoad();
  // The digit width follows the document's font and default style.
  NotificationCenter::defaultCenter().addObserver(this, QLatin1String(kFontChangedNotification), document(),
                                                  [this](const Notification&) { selectionChanged(); });
}

void CAFormatColumnVC::selectionChanged() {
  undoID_ = 0xFFFFFFFF;
  if (!document() || !widthField_) return;
  const CAColumn* column = document()->column(document()->activeCellPoint().x);
  const int64_t digits = column ? column->digitCount() : 0;
  const int64_t width = digits >= 0 ? WidthForDigits(*document(), digits) : column->width();
  ShowLength(widthField_, widthSlider_, width);
  const QSignalBlocker blocker(digitField_);
  digitField_->setValue(int(std::max<int64_t>(digits, 0)));
}

void CAFormatColumnVC::unitsChanged() {
  if (widthField_) ShowLengthInNewUnit(widthField_);
}

void CAFormatColumnVC::setDigits(int64_t digits) { setDigitsAndWidth(digits, 0); }

void CAFormatColumnVC::setWidth(QWidget* sender) { setDigitsAndWidth(-1, LengthFromControl(sender)); }

void CAFormatColumnVC::setDigitsAndWidth(int64_t digits, int64_t width) {
  CADocument* target = document();
  if (!target) return;
  const GridRange range = target->selectionAdaptedToDomain(kDomainColumn);
  if (!RecordPaneStep(*target, &undoID_, true, kUndoActionColumns, kUndoColumnWidth, range, kDomainColumn)) {
    selectionChanged();
    return;
  }
  const int64_t first = NormalizeCoordinate(range.startPoint.x);
  int64_t last = NormalizeCoordinate(range.endPoint.x);
  // Columns open to the right end where the sheet's columns do: nothing beyond is made.
  if (last >= kGridOpenEnd) last = target->columns().empty() ? first : std::max(first, target->columns().back()->gridX());
  const bool makeMissing = digits >= 1 || width != 0;
  for (int64_t x = first; x <= last; ++x) {
    CAColumn* column = makeMissing ? target->columnImperative(x) : target->column(x);
    if (!column) continue;
    column->setDigitCount(digits);
    column->setWidth(width);
  }
  // Showing the selection again must not start a new step for the next change.
  const uint32_t undoID = undoID_;
  selectionChanged();
  undoID_ = undoID;
  target->recalcImageCellsInColumnRange(range);
  redrawSelection();
  SheetLinesChanged(*target);
}
