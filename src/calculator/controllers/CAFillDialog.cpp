#include "calculator/controllers/CAFillDialog.h"

#include "calculator/controllers/caHelpTopics.h"
#include "calculator/model/caCommandGuard.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/caModelServices.h"
#include "framlet/shell/FLDocumentWC.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include <functional>
#include <limits>

namespace {

QString Tr(const char* text) { return QApplication::translate("CAFillDialog", text); }

CAFillInfo DefaultFillInfo() {
  CAFillInfo info;
  info.step = CANumber::withInteger(1);
  return info;
}

// Kept between sheets and documents until the application quits.
CAFillInfo& StoredFillInfo() {
  static CAFillInfo info = DefaultFillInfo();
  return info;
}

// Only the arrows of a spin box: each turn is reported and the box keeps no value.
class CAStepper : public QAbstractSpinBox {
 public:
  CAStepper(std::function<void(int)> stepped, QWidget* parent)
      : QAbstractSpinBox(parent), stepped_(std::move(stepped)) {
    setReadOnly(true);
    setFixedWidth(22);
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
  }
  void stepBy(int steps) override { stepped_(steps); }

 protected:
  StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }

 private:
  std::function<void(int)> stepped_;
};

// One row of radio buttons whose ids are their columns.
QButtonGroup* Matrix(std::initializer_list<const char*> titles, const char* name, QWidget* parent,
                     QHBoxLayout* row) {
  auto* group = new QButtonGroup(parent);
  group->setObjectName(QLatin1String(name));
  int column = 0;
  for (const char* title : titles) {
    auto* button = new QRadioButton(Tr(title), parent);
    group->addButton(button, column++);
    row->addWidget(button);
  }
  return group;
}

void SelectColumn(QButtonGroup* matrix, int32_t column) {
  QAbstractButton* button = matrix->button(column);
  if (!button) button = matrix->button(0);
  button->setChecked(true);
}

}  // namespace

const CAFillInfo& CAFillDialog::fillInfo() { return StoredFillInfo(); }

void CAFillDialog::resetFillInfo() { StoredFillInfo() = DefaultFillInfo(); }

CAFillDialog* CAFillDialog::fillForDocument(CADocument& document) {
  QWidget* window = document.windowController() ? document.windowController()->window() : nullptr;
  if (!window) return nullptr;
  auto* dialog = new CAFillDialog(document, window);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  CADocument* target = &document;
  connect(dialog, &QDialog::finished, dialog, [target](int result) {
    RunGuardedCommand(*target, [&] { target->fillSheetFinished(result == QDialog::Accepted, StoredFillInfo()); });
  });
  dialog->open();
  return dialog;
}

CAFillDialog::CAFillDialog(CADocument& document, QWidget* hostWindow)
    : FLValidatedDialog(hostWindow), document_(document) {
  buildWindow();
  const CAFillInfo& info = StoredFillInfo();
  SelectColumn(directionMatrix_, info.direction);
  SelectColumn(typeMatrix_, info.kind);
  SelectColumn(dateMatrix_, info.dateUnit);
  valueField_->setText(info.step.formatWith(nullptr));
  changeType();
}

// "FillDialog": the direction, kind and date unit in rows of radio buttons, the step with its
// stepper.
void CAFillDialog::buildWindow() {
  setObjectName(QStringLiteral("FillDialog"));
  setWindowTitle(Tr("Fill"));
  const auto box = [this](const char* title, QHBoxLayout** row) {
    auto* group = new QGroupBox(Tr(title), this);
    *row = new QHBoxLayout(group);
    return group;
  };
  QHBoxLayout* row = nullptr;
  QGroupBox* directionBox = box("Direction", &row);
  directionMatrix_ = Matrix({"Down", "Right", "Up", "Left"}, "directionMatrix", directionBox, row);
  QGroupBox* typeBox = box("Series", &row);
  typeMatrix_ = Matrix({"Copy", "Add", "Multiply", "Date"}, "typeMatrix", typeBox, row);
  dateBox_ = box("Date unit", &row);
  dateMatrix_ = Matrix({"Days", "Months", "Years"}, "dateMatrix", dateBox_, row);
  valueField_ = new QLineEdit(this);
  valueField_->setObjectName(QStringLiteral("valueField"));
  spinner_ = new CAStepper([this](int steps) { stepValue(steps); }, this);
  spinner_->setObjectName(QStringLiteral("spinner"));
  auto* stepRow = new QHBoxLayout;
  stepRow->addWidget(new QLabel(Tr("Step:"), this));
  stepRow->addWidget(valueField_, 1);
  stepRow->addWidget(spinner_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  AddHelpButton(buttons, kFillHelpTopic);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(directionBox);
  layout->addWidget(typeBox);
  layout->addWidget(dateBox_);
  layout->addLayout(stepRow);
  layout->addWidget(buttons);
  connect(typeMatrix_, &QButtonGroup::idClicked, this, &CAFillDialog::changeType);
  connect(buttons, &QDialogButtonBox::accepted, this, &CAFillDialog::ok);
  connect(buttons, &QDialogButtonBox::rejected, this, &CAFillDialog::cancel);
}

void CAFillDialog::changeType() {
  const int type = typeMatrix_->checkedId();
  dateBox_->setEnabled(type == kFillDate);
  valueField_->setEnabled(type != kFillCopy);
  spinner_->setEnabled(type != kFillCopy);
}

void CAFillDialog::stepValue(int steps) {
  const int64_t value = CANumber::withString(valueField_->text(), true).integerValue();
  int64_t stepped = 0;
  if (__builtin_add_overflow(value, int64_t(steps), &stepped))
    stepped = steps > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
  StoredFillInfo().step = CANumber::withInteger(stepped);
  valueField_->setText(StoredFillInfo().step.formatWith(nullptr));
}

void CAFillDialog::ok() {
  const std::optional<CANumber> step = CANumber::withValidatedString(valueField_->text(), true);
  if (!step) {
    WorkspaceBeep();
    valueField_->setFocus(Qt::OtherFocusReason);
    valueField_->selectAll();
    return;
  }
  CAFillInfo& info = StoredFillInfo();
  info.step = *step;
  info.direction = directionMatrix_->checkedId();
  info.kind = typeMatrix_->checkedId();
  info.dateUnit = dateMatrix_->checkedId();
  done(QDialog::Accepted);
}

void CAFillDialog::cancel() { done(QDialog::Rejected); }
