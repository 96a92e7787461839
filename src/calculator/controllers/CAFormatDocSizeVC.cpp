#include "calculator/controllers/CAFormatDocSizeVC.h"

#include "calculator/controllers/caSizePanes.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/model/caUndoArchives.h"
#include "platform/NotificationCenter.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>

#include <algorithm>

namespace {

constexpr int kMaxWidthPoints = 1000;
constexpr int kMaxHeightPoints = 500;

}  // namespace

QWidget* CAFormatDocSizeVC::loadView() {
  auto* view = new QWidget;
  view->setToolTip(QStringLiteral("Size"));
  auto* grid = new QGridLayout(view);
  grid->setContentsMargins(8, 6, 8, 6);
  grid->setVerticalSpacing(4);
  widthField_ = AddLengthRow(grid, 0, QStringLiteral("Width"), QStringLiteral("width"), kMaxWidthPoints,
                             &widthSlider_, view);
  digitField_ = AddDigitRow(grid, 1, QStringLiteral("digitField"), view);
  heightField_ = AddLengthRow(grid, 2, QStringLiteral("Height"), QStringLiteral("height"), kMaxHeightPoints,
                              &heightSlider_, view);
  auto* buttons = new QHBoxLayout;
  resetWidthButton_ = new QPushButton(QStringLiteral("Reset Widths"), view);
  resetHeightButton_ = new QPushButton(QStringLiteral("Reset Heights"), view);
  buttons->addWidget(resetWidthButton_);
  buttons->addWidget(resetHeightButton_);
  buttons->addStretch();
  grid->addLayout(buttons, 3, 0, 1, 3);
  ConnectLengthPair(widthField_, widthSlider_, view, this, [this](QWidget* sender) { setWidth(sender); });
  ConnectLengthPair(heightField_, heightSlider_, view, this, [this](QWidget* sender) { setHeight(sender); });
  connect(digitField_, &QSpinBox::valueChanged, this, [this](int digits) { setDigits(digits); });
  connect(resetWidthButton_, &QPushButton::clicked, this, &CAFormatDocSizeVC::resetWidth);
  connect(resetHeightButton_, &QPushButton::clicked, this, &CAFormatDocSizeVC::resetHeight);
  view->resize(view->sizeHint());
  return view;
}

void CAFormatDocSizeVC::viewDidLoad() {
  CAFormatBaseVC::viewDidLoad();
  NotificationCenter::defaultCenter().addObserver(this, QLatin1String(kFontChangedNotification), document(),
                                                  [this](const Notification&) { selectionChanged(); });
}

bool CAFormatDocSizeVC::setUndoForControl(const QObject* control, uint32_t action) {
  CADocument* target = document();
  return target && RecordDocumentPaneStep(*target, &undoID_, &undoControl_, control, action, kUndoDocumentFormat);
}

void CAFormatDocSizeVC::showWidth(int64_t digits) {
  const CADocument& source = *document();
  ShowLength(widthField_, widthSlider_, digits >= 0 ? WidthForDigits(source, digits) : source.defaultWidth());
  const QSignalBlocker blocker(digitField_);
  digitField_->setValue(int(std::max<int64_t>(digits, 0)));
}

void CAFormatDocSizeVC::selectionChanged() {
  undoID_ = 0xFFFFFFFF;
  undoControl_ = nullptr;
  if (!document() || !widthField_) return;
  showWidth(document()->defaultDigitCount());
  ShowLength(heightField_, heightSlider_, document()->minimumHeight());
}

void CAFormatDocSizeVC::unitsChanged() {
  if (!widthField_) return;
  ShowLengthInNewUnit(widthField_);
  ShowLengthInNewUnit(heightField_);
}

void CAFormatDocSizeVC::setDigits(int64_t digits) {
  if (!setUndoForControl(widthSlider_, kUndoActionLayoutColumns)) return selectionChanged();
  document()->setDefaultDigitCount(digits);
  showWidth(digits);
  finishChange();
}

void CAFormatDocSizeVC::setWidth(QWidget* sender) {
  if (!setUndoForControl(widthSlider_, kUndoActionLayoutColumns)) return selectionChanged();
  document()->setDefaultWidth(LengthFromControl(sender));
  showWidth(-1);
  finishChange();
}

void CAFormatDocSizeVC::setHeight(QWidget* sender) {
  if (!setUndoForControl(heightSlider_, kUndoActionLayout)) return selectionChanged();
  const int64_t height = std::max<int64_t>(LengthFromControl(sender), 0);
  document()->setMinimumHeight(height);
  RowHeightsChanged(*document(), -1, -1);
  ShowLength(heightField_, heightSlider_, height);
  finishChange();
}

void CAFormatDocSizeVC::resetWidth() {
  if (!setUndoForControl(nullptr, kUndoActionLayoutColumns)) return;
  document()->resetColumnWidths();
  finishChange();
}

void CAFormatDocSizeVC::resetHeight() {
  if (!setUndoForControl(nullptr, kUndoActionLayoutRows)) return;
  document()->resetRowHeights();
  RowHeightsChanged(*document(), -1, -1);
  finishChange();
}

void CAFormatDocSizeVC::finishChange() {
  redrawSelection();
  SheetLinesChanged(*document());
}
