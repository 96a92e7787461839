#include "calculator/controllers/CAFormatVTypeVC.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

namespace {

const struct {
  int32_t valueType;
  const char* title;
} kTypeButtons[] = {
    {kValueNumber, "Number"}, {kValueText, "Text"},         {kValueDate, "Date"},       {kValueFormula, "Formula"},
    {kValueLink, "Link"},     {kValueCheckbox, "Checkbox"}, {kValuePicture, "Picture"},
};

// The type a button stands for: a formula whose parse or evaluation failed shows as a formula.
int32_t ShownType(int32_t valueType) { return valueType == kValueError ? int32_t(kValueFormula) : valueType; }

bool SameShownType(int32_t a, int32_t b) { return ShownType(a) == ShownType(b); }

}  // namespace

QWidget* CAFormatVTypeVC::loadView() {
  auto* view = new QWidget;
  view->setToolTip(QStringLiteral("Type"));
  auto* grid = new QGridLayout(view);
  grid->setContentsMargins(8, 6, 8, 6);
  grid->setVerticalSpacing(2);
  typeMatrix_ = new QButtonGroup(view);
  typeMatrix_->setObjectName(QStringLiteral("typeMatrix"));
  int index = 0;
  for (const auto& entry : kTypeButtons) {
    auto* button = new QRadioButton(QLatin1String(entry.title), view);
    button->setFocusPolicy(Qt::NoFocus);
    typeMatrix_->addButton(button, entry.valueType);
    grid->addWidget(button, index / 2, index % 2);
    ++index;
  }
  connect(typeMatrix_, &QButtonGroup::idClicked, this, &CAFormatVTypeVC::setType);
  view->resize(view->sizeHint());
  return view;
}

void CAFormatVTypeVC::selectionChanged() {
  if (!document() || !typeMatrix_) return;
  const CACell* cell = document()->activeCell();
  const int32_t valueType = ShownType(cell ? cell->valueType() : int32_t(kValueNone));
  // No button for an empty cell.
  typeMatrix_->setExclusive(false);
  for (QAbstractButton* button : typeMatrix_->buttons()) button->setChecked(typeMatrix_->id(button) == valueType);
  typeMatrix_->setExclusive(true);
}

void CAFormatVTypeVC::setType(int32_t valueType) {
  CADocument* target = document();
  if (!target || target->isLocked()) {
    selectionChanged();
    return;
  }
  // The button group reports a click on the button already checked as well: choosing the type
  // the cell has must leave its value alone (a failed formula counts as a formula).
  if (const CACell* existing = target->activeCell(); existing && SameShownType(existing->valueType(), valueType)) {
    selectionChanged();
    return;
  }
  CACell* cell = target->cellAtGridPointImperative(target->activeCellPoint());
  if (!cell) return;
  // The cell records its step and announces the change; the value panes are rebuilt for it.
  cell->changeType(valueType, false, true);
  if (document()) selectionChanged();
}
