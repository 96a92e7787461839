#include "calculator/controllers/CAFormatTextVC.h"

#include "calculator/model/CADocument.h"
#include "calculator/model/CAFormat.h"
#include "calculator/model/caModelNotifications.h"
#include "platform/NotificationCenter.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QLabel>
#include <QToolButton>

namespace {

// One row of exclusive buttons, ids from 0, in the grid's row.
QButtonGroup* AddButtonRow(QGridLayout* grid, int row, const QString& label, const QStringList& titles,
                           const QString& name, QWidget* view) {
  grid->addWidget(new QLabel(label, view), row, 0);
  auto* group = new QButtonGroup(view);
  group->setObjectName(name);
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(0);
  for (int i = 0; i < titles.size(); ++i) {
    auto* button = new QToolButton(view);
    button->setText(titles[i]);
    button->setCheckable(true);
    button->setObjectName(name + QString::number(i));
    button->setFocusPolicy(Qt::NoFocus);
    group->addButton(button, i);
    buttons->addWidget(button);
  }
  buttons->addStretch();
  grid->addLayout(buttons, row, 1);
  return group;
}

}  // namespace

QWidget* CAFormatTextVC::loadView() {
  auto* view = new QWidget;
  view->setToolTip(QStringLiteral("Text"));
  auto* grid = new QGridLayout(view);
  grid->setContentsMargins(8, 6, 8, 6);
  grid->setVerticalSpacing(4);
  const QStringList styles = {QStringLiteral("Default"), QStringLiteral("On"), QStringLiteral("Off")};
  boldMatrix_ = AddButtonRow(grid, 0, QStringLiteral("Bold"), styles, QStringLiteral("boldMatrix"), view);
  italicMatrix_ = AddButtonRow(grid, 1, QStringLiteral("Italic"), styles, QStringLiteral("italicMatrix"), view);
  underlineMatrix_ = AddButtonRow(grid, 2, QStringLiteral("Underline"), styles, QStringLiteral("underlineMatrix"), view);
  strikeMatrix_ = AddButtonRow(grid, 3, QStringLiteral("Strike"), styles, QStringLiteral("strikeMatrix"), view);
  alignmentControl_ = AddButtonRow(grid, 4, QStringLiteral("Align"),
                                   {QStringLiteral("Default"), QStringLiteral("Left"), QStringLiteral("Center"),
                                    QStringLiteral("Right")},
                                   QStringLiteral("alignmentControl"), view);
  const std::pair<QButtonGroup*, uint64_t> styleRows[] = {
      {boldMatrix_, kFormatBold}, {italicMatrix_, kFormatItalic}, {strikeMatrix_, kFormatStrike},
      {underlineMatrix_, kFormatUnderline}};
  for (const auto& [group, mask] : styleRows) {
    connect(group, &QButtonGroup::idClicked, this, [this, mask = mask](int column) { setValue(column, mask); });
  }
  connect(alignmentControl_, &QButtonGroup::idClicked, this, &CAFormatTextVC::setAlignment);
  view->resize(view->sizeHint());
  return view;
}

void CAFormatTextVC::selectionChanged() {
  if (!document() || !boldMatrix_) return;
  const CAFormat* format = document()->formatForDomain(formatDomain());
  const std::pair<QButtonGroup*, uint64_t> styleRows[] = {
      {boldMatrix_, kFormatBold}, {italicMatrix_, kFormatItalic}, {underlineMatrix_, kFormatUnderline},
      {strikeMatrix_, kFormatStrike}};
  for (const auto& [group, mask] : styleRows) {
    group->button(format ? format->styleOptionForMask(mask) : 0)->setChecked(true);
  }
  const int32_t alignment = format && format->hasPropertyForMask(kFormatAlignment) ? format->alignment() : 0;
  const bool shown = alignment >= kAlignmentLeft && alignment <= kAlignmentRight;
  alignmentControl_->button(shown ? alignment - 99 : 0)->setChecked(true);
}

void CAFormatTextVC::setValue(int64_t value, uint64_t mask) {
  // A refused change leaves the buttons showing what the formats hold.
  if (!setFormatValue(value, mask)) selectionChanged();
}

void CAFormatTextVC::setAlignment(int segment) {
  CADocument* target = document();
  setValue(segment >= 1 && segment <= 3 ? 99 + segment : int64_t(kAlignmentAuto), kFormatAlignment);
  if (target) NotificationCenter::defaultCenter().post(QLatin1String(kSelectionChangeNotification), target);
}
