#include "calculator/controllers/CAFormatDocContentVC.h"

#include "calculator/controllers/CAColorWell.h"
#include "calculator/controllers/CAWindowController.h"
#include "calculator/controllers/caSizePanes.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/caUndoArchives.h"
#include "calculator/views/caViewNotifications.h"
#include "framlet/foundation/flLengths.h"
#include "framlet/shell/flMeasures.h"
#include "platform/NotificationCenter.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>

#include <algorithm>

namespace {

constexpr int kMaxPaddingPoints = 20;
constexpr int kMaxStripeInterval = 99;
// Stripes that are turned on without an interval of their own.
constexpr int64_t kDefaultStripeInterval = 2;

QCheckBox* AddBox(QGridLayout* grid, int row, const QString& title, const char* name) {
  auto* box = new QCheckBox(title, grid->parentWidget());
  box->setObjectName(QLatin1String(name));
  box->setFocusPolicy(Qt::NoFocus);
  grid->addWidget(box, row, 0, 1, 3);
  return box;
}

}  // namespace

QWidget* CAFormatDocContentVC::loadView() {
  auto* view = new QWidget;
  view->setToolTip(QStringLiteral("Content"));
  auto* grid = new QGridLayout(view);
  grid->setContentsMargins(8, 6, 8, 6);
  grid->setVerticalSpacing(4);
  leftRightField_ = AddLengthRow(grid, 0, QStringLiteral("Left/Right"), QStringLiteral("leftRight"), kMaxPaddingPoints,
                                 &leftRightSlider_, view);
  topBottomField_ = AddLengthRow(grid, 1, QStringLiteral("Top/Bottom"), QStringLiteral("topBottom"), kMaxPaddingPoints,
                                 &topBottomSlider_, view);
  stripeButton_ = new QCheckBox(QStringLiteral("Stripes"), view);
  stripeButton_->setObjectName(QStringLiteral("stripeButton"));
  stripeButton_->setFocusPolicy(Qt::NoFocus);
  grid->addWidget(stripeButton_, 2, 0);
  stripeField_ = new QSpinBox(view);
  stripeField_->setObjectName(QStringLiteral("stripeField"));
  stripeField_->setRange(0, kMaxStripeInterval);
  stripeField_->setSpecialValueText(QStringLiteral(" "));  // no stripes: an empty field
  stripeField_->setSuffix(QStringLiteral(" rows"));
  stripeField_->setKeyboardTracking(false);
  stripeField_->setFixedWidth(80);
  grid->addWidget(stripeField_, 2, 1);
  const CAColorRow color = AddColorRow(grid, 3, QStringLiteral("Stripe color"), QStringLiteral("colorSwatch"), this);
  colorSwatch_ = color.well;
  colorFavorites_ = color.favorites;
  overlapButton_ = AddBox(grid, 4, QStringLiteral("Text overlaps empty cells"), "overlapButton");
  formulaButton_ = AddBox(grid, 5, QStringLiteral("Show formulas"), "formulaButton");
  redFormulaButton_ = AddBox(grid, 6, QStringLiteral("Formulas in red"), "redFormulaButton");
  titleRowButton_ = AddBox(grid, 7, QStringLiteral("Title row"), "titleRowButton");
  titleColumnButton_ = AddBox(grid, 8, QStringLiteral("Title column"), "titleColumnButton");

  ConnectLengthPair(leftRightField_, leftRightSlider_, view, this,
                    [this](QWidget* sender) { setPaddingFromControl(sender, leftRightSlider_, leftRightField_); });
  ConnectLengthPair(topBottomField_, topBottomSlider_, view, this,
                    [this](QWidget* sender) { setPaddingFromControl(sender, topBottomSlider_, topBottomField_); });
  connect(stripeButton_, &QCheckBox::clicked, this, &CAFormatDocContentVC::toggleStripe);
  connect(stripeField_, &QSpinBox::valueChanged, this, [this](int interval) { setStripeInterval(interval); });
  colorSwatch_->setDocumentSource([this] { return document(); });
  connect(colorSwatch_, &CAColorWell::colorChosen, this, &CAFormatDocContentVC::setStripeColor);
  connect(colorSwatch_, &CAColorWell::noColorChosen, this, &CAFormatDocContentVC::noColor);
  connect(overlapButton_, &QCheckBox::clicked, this, &CAFormatDocContentVC::toggleOverlap);
  connect(formulaButton_, &QCheckBox::clicked, this, &CAFormatDocContentVC::toggleFormulas);
  connect(redFormulaButton_, &QCheckBox::clicked, this, &CAFormatDocContentVC::toggleRedFormula);
  connect(titleRowButton_, &QCheckBox::clicked, this, &CAFormatDocContentVC::toggleTitleRow);
  connect(titleColumnButton_, &QCheckBox::clicked, this, &CAFormatDocContentVC::toggleTitleColumn);
  view->resize(view->sizeHint());
  return view;
}

bool CAFormatDocContentVC::setUndoForControl(const QObject* control) {
  CADocument* target = document();
  return target &&
         RecordDocumentPaneStep(*target, &undoID_, &undoControl_, control, kUndoActionLayout, kUndoDocumentFormat);
}

void CAFormatDocContentVC::showInterval(int64_t interval) {
  const QSignalBlocker blocker(stripeField_);
  stripeField_->setValue(int(std::clamp<int64_t>(interval, 0, kMaxStripeInterval)));
}

void CAFormatDocContentVC::redrawDocument() {
  if (CAWindowController* controller = windowController()) controller->redrawSelectionForDomain(kDomainDocument);
}

void CAFormatDocContentVC::selectionChanged() {
  blockChanges_ = false;
  undoID_ = kNoUndoID;
  undoControl_ = nullptr;
  CADocument* source = document();
  if (!source || !leftRightField_) return;
  const GridPoint padding = source->cellPadding();
  ShowLength(leftRightField_, leftRightSlider_, std::max<int64_t>(padding.x - kEmuPerPoint, 0));
  ShowLength(topBottomField_, topBottomSlider_, std::max<int64_t>(padding.y - kEmuPerPoint, 0));
  stripeButton_->setChecked(source->stripeInterval() != 0 && KolorIsColor(source->stripeKolor()));
  showInterval(int64_t(source->stripeInterval()));
  colorSwatch_->setKolor(source->stripeKolor());
  overlapButton_->setChecked(!source->constrainText());
  formulaButton_->setChecked(source->showFormulas());
  redFormulaButton_->setChecked(source->redFormulas());
  titleRowButton_->setChecked(source->titleRow());
  titleColumnButton_->setChecked(source->titleColumn());
}

void CAFormatDocContentVC::unitsChanged() {
  if (!leftRightField_) return;
  ShowLengthInNewUnit(leftRightField_);
  ShowLengthInNewUnit(topBottomField_);
}

void CAFormatDocContentVC::setPaddingFromControl(QWidget* sender, QSlider* slider, QLineEdit* field) {
  if (!setUndoForControl(slider)) return selectionChanged();
  CADocument& target = *document();
  const int64_t shown = std::max<int64_t>(MeasureFromControl(sender, kEmuPerPoint), 0);
  GridPoint padding = target.cellPadding();
  // The document keeps the point that separates a cell's text from its grid line.
  if (slider == leftRightSlider_)
    padding.x = shown + kEmuPerPoint;
  else
    padding.y = shown + kEmuPerPoint;
  target.setCellPadding(padding);
  ShowLength(field, slider, shown);
  redrawSelection();
  SheetLinesChanged(target);
}

void CAFormatDocContentVC::toggleStripe(bool on) {
  if (!setUndoForControl(stripeButton_)) return selectionChanged();
  CADocument& target = *document();
  const bool hadColor = KolorIsColor(target.stripeKolor());
  uint64_t interval = 0;
  if (on) {
    interval = target.stripeInterval() != 0 ? target.stripeInterval() : uint64_t(kDefaultStripeInterval);
    if (!hadColor) target.setStripeKolor(kDefaultStripeKolor);
  }
  target.setStripeInterval(interval);
  stripeButton_->setChecked(on);
  showInterval(int64_t(interval));
  colorSwatch_->setKolor(on ? target.stripeKolor() : kNoKolor);
  redrawSelection();
  if (on && hadColor) CAColorWell::uncheckNoColorButton();
}

void CAFormatDocContentVC::setStripeInterval(int64_t interval) {
  if (!setUndoForControl(stripeButton_)) return selectionChanged();
  CADocument& target = *document();
  interval = std::max<int64_t>(interval, 0);
  target.setStripeInterval(uint64_t(interval));
  stripeButton_->setChecked(interval != 0);
  if (interval != 0) {
    if (!KolorIsColor(target.stripeKolor())) target.setStripeKolor(kDefaultStripeKolor);
    colorSwatch_->setKolor(target.stripeKolor());
  } else {
    colorSwatch_->setKolor(kNoKolor);
  }
  showInterval(interval);
  redrawSelection();
}

void CAFormatDocContentVC::setKolor(Kolor kolor) {
  if (!setUndoForControl(stripeButton_)) return selectionChanged();
  CADocument& target = *document();
  if (!KolorIsColor(kolor)) kolor = kNoKolor;
  target.setStripeKolor(kolor);
  if (KolorIsColor(kolor)) {
    stripeButton_->setChecked(true);
    if (target.stripeInterval() == 0) target.setStripeInterval(uint64_t(kDefaultStripeInterval));
    showInterval(int64_t(target.stripeInterval()));
  } else {
    // The interval stays, so that a colour chosen again brings it back.
    stripeButton_->setChecked(false);
    colorSwatch_->setKolor(kNoKolor);
    showInterval(0);
  }
  redrawSelection();
}

void CAFormatDocContentVC::setStripeColor() {
  if (!blockChanges_) setKolor(colorSwatch_->kolor());
}

void CAFormatDocContentVC::noColor() {
  if (blockChanges_) return;
  setKolor(kNoKolor);
  blockChanges_ = true;
  colorSwatch_->setKolor(kNoKolor);
  blockChanges_ = false;
}

Kolor CAFormatDocContentVC::kolorForPopup(QToolButton*) {
  return document() ? document()->stripeKolor() : kNoKolor;
}

void CAFormatDocContentVC::changeKolor(Kolor kolor, QToolButton*) {
  setKolor(kolor);
  colorSwatch_->setKolor(KolorIsColor(kolor) ? kolor : kNoKolor);
}

void CAFormatDocContentVC::toggleOverlap(bool on) {
  if (!setUndoForControl(overlapButton_)) return selectionChanged();
  CADocument& target = *document();
  target.bumpSuppressRedraws(true);
  target.setConstrainText(!on);
  target.invalidateAllLongText();
  target.layOutLongText();
  target.bumpSuppressRedraws(false);
  redrawDocument();
}

void CAFormatDocContentVC::toggleFormulas(bool on) {
  // A way of looking at the sheet, not a change to it: no step.
  CADocument* target = document();
  if (!target) return;
  target->setShowFormulas(on);
  if (CAWindowController* controller = windowController()) controller->updateStateTools();
  redrawSelection();
}

void CAFormatDocContentVC::toggleRedFormula(bool on) {
  if (!setUndoForControl(redFormulaButton_)) return selectionChanged();
  document()->setRedFormulas(on);
  redrawDocument();
}

void CAFormatDocContentVC::toggleTitleColumn(bool on) {
  if (!setUndoForControl(titleColumnButton_)) return selectionChanged();
  CADocument& target = *document();
  target.bumpSuppressRedraws(true);
  target.setTitleColumn(on);
  target.pageBreaksChanged();
  target.invalidateAllLongText();
  target.layOutLongText();
  target.bumpSuppressRedraws(false);
  redrawDocument();
  NotificationCenter::defaultCenter().post(QLatin1String(kLabelsNotification), &target);
}

void CAFormatDocContentVC::toggleTitleRow(bool on) {
  if (!setUndoForControl(titleRowButton_)) return selectionChanged();
  CADocument& target = *document();
  target.setTitleRow(on);
  target.pageBreaksChanged();
  redrawSelection();
  NotificationCenter::defaultCenter().post(QLatin1String(kLabelsNotification), &target);
}
