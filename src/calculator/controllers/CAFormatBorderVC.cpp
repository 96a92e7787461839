#include "calculator/controllers/CAFormatBorderVC.h"

#include "calculator/controllers/CAColorWell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAFormat.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/caUndoArchives.h"
#include "framlet/foundation/flBase.h"
#include "framlet/shell/FLMeasureFormatter.h"
#include "framlet/shell/flInterfaceSupport.h"
#include "framlet/shell/flMeasures.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>

namespace {

// Widths snap to a twentieth of a point.
constexpr int64_t kBorderWidthQuantum = 635;

}  // namespace

QWidget* CAFormatBorderVC::loadView() {
  auto* view = new QWidget;
  view->setToolTip(QStringLiteral("Border"));
  auto* grid = new QGridLayout(view);
  grid->setContentsMargins(8, 6, 8, 6);
  grid->setVerticalSpacing(4);
  grid->addWidget(new QLabel(QStringLiteral("Style"), view), 0, 0);
  styleMatrix_ = new QButtonGroup(view);
  styleMatrix_->setObjectName(QStringLiteral("styleMatrix"));
  auto* styles = new QHBoxLayout;
  styles->setSpacing(0);
  const QStringList titles = {QStringLiteral("None"), QStringLiteral("Solid"), QStringLiteral("Dotted"),
                              QStringLiteral("Dashed")};
  for (int i = 0; i < titles.size(); ++i) {
    auto* button = new QToolButton(view);
    button->setText(titles[i]);
    button->setCheckable(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setObjectName(QStringLiteral("styleMatrix") + QString::number(i));
    styleMatrix_->addButton(button, i);
    styles->addWidget(button);
  }
  styles->addStretch();
  grid->addLayout(styles, 0, 1);

  const CAColorRow color = AddColorRow(grid, 1, QStringLiteral("Color"), QStringLiteral("colorSwatch"), this);
  colorSwatch_ = color.well;
  favorites_ = color.favorites;
  colorSwatch_->setDocumentSource([this] { return document(); });

  grid->addWidget(new QLabel(QStringLiteral("Width"), view), 2, 0);
  auto* widths = new QHBoxLayout;
  widthSlider_ = new QSlider(Qt::Horizontal, view);
  widthSlider_->setObjectName(QStringLiteral("widthSlider"));
  widthSlider_->setRange(0, kBorderSliderMaximum);
  widthField_ = new QLineEdit(view);
  widthField_->setObjectName(QStringLiteral("widthField"));
  widthField_->setFixedWidth(70);
  (new FLMeasureFormatter(widthField_))->attachTo(widthField_);
  widths->addWidget(widthSlider_, 1);
  widths->addWidget(widthField_);
  grid->addLayout(widths, 2, 1);

  connect(styleMatrix_, &QButtonGroup::idClicked, this, &CAFormatBorderVC::setLineStyle);
  connect(widthSlider_, &QSlider::valueChanged, this, [this] {
    if (!blockChanges_) setLineWidth(widthSlider_);
  });
  connect(colorSwatch_, &CAColorWell::colorChosen, this, [this] {
    if (!blockChanges_) setKolor(colorSwatch_->kolor());
  });
  connect(colorSwatch_, &CAColorWell::noColorChosen, this, &CAFormatBorderVC::noColor);
  connect(widthField_, &QLineEdit::textEdited, this, [this] { editingStarted_ = true; });
  connect(widthField_, &QLineEdit::editingFinished, this, [this] {
    if (!editingStarted_) return;
    editingStarted_ = false;
    setLineWidth(widthField_);
  });
  view->resize(view->sizeHint());
  return view;
}

void CAFormatBorderVC::viewDidLoad() {
  // The field takes widths up to the slider's end, in points.
  auto* formatter = qobject_cast<FLMeasureFormatter*>(FLFormatter::formatterOf(widthField_));
  if (!formatter) {
    LogAssert("This is not a measure formatter", __func__, __FILE__, __LINE__);
  } else {
    formatter->setMaximum(int64_t(widthSlider_->maximum()) * kEmuPerPoint);
    formatter->setPreferredUnit(0);
  }
  CAFormatBaseVC::viewDidLoad();
}

void CAFormatBorderVC::showBorder() {
  blockChanges_ = true;
  CADocument* target = document();
  if (target) target->suppressColorChange(true);
  setMeasureValue(widthField_, border_.width());
  widthSlider_->setValue(int(border_.width() / kEmuPerPoint));
  if (QAbstractButton* button = styleMatrix_->button(border_.style())) button->setChecked(true);
  colorSwatch_->setKolor(KolorIsColor(border_.kolor()) ? border_.kolor() : kNoKolor);
  if (target) target->suppressColorChange(false);
  blockChanges_ = false;
}

void CAFormatBorderVC::selectionChanged() {
  if (!document() || !styleMatrix_) return;
  const CAFormat* format = document()->formatForDomain(formatDomain());
  blockChanges_ = false;
  undoID_ = kFLNoUndoID;
  if (format && format->hasPropertyForMask(kFormatBorder) && format->border()) {
    border_ = format->border()->copy();
  } else {
    border_ = CABorder();
    border_.setKolor(kNoKolor);
    border_.setWidth(0);
  }
  borderIsOn_ = border_.style() != kBorderNone;
  showBorder();
}

bool CAFormatBorderVC::setUndo(bool makesFormats) {
  if (!document()) return false;
  contextDomain_ = formatDomain();
  contextRange_ = document()->selectionAdaptedToDomain(contextDomain_);
  return recordFormatStep(&undoID_, kUndoBorder, contextRange_, contextDomain_, makesFormats);
}

void CAFormatBorderVC::applyBorder(bool on) {
  for (CAFormat* format : document()->formatsInRange(contextRange_, contextDomain_, on))
    format->setBorder(on ? &border_ : nullptr);
}

void CAFormatBorderVC::setLineWidth(QWidget* sender) {
  if (!document()) return;
  // A width the field cannot take (no number, "-", beyond the slider's end) changes nothing: the
  // field shows the border's width again.
  QVariant typed;
  const FLFormatter* formatter = sender == widthField_ ? FLFormatter::formatterOf(widthField_) : nullptr;
  const int64_t width = MeasureFromControl(sender, kBorderWidthQuantum);
  if ((formatter && !formatter->getObjectValue(&typed, widthField_->text(), nullptr)) || width < 0 ||
      width > int64_t(widthSlider_->maximum()) * kEmuPerPoint) {
    WorkspaceBeep();
    showBorder();
    return;
  }
  if (sender == widthSlider_) YankFocusForSliderPair(widthSlider_, view());
  if (!setUndo(width != 0)) {
    showBorder();
    return;
  }
  border_.setWidth(width);
  applyBorder(width != 0);
  showBorder();
  checkTransition();
}

void CAFormatBorderVC::setLineStyle(int style) {
  if (!document()) return;
  if (!setUndo(style != kBorderNone)) {
    showBorder();
    return;
  }
  border_.setStyle(style);
  applyBorder(style != kBorderNone);
  showBorder();
  checkTransition();
}

void CAFormatBorderVC::setKolor(Kolor kolor) {
  if (!document() || document()->colorChangeBlock() != 0) return;
  if (!KolorIsColor(kolor)) kolor = kNoKolor;
  if (!setUndo(KolorIsColor(kolor))) {
    showBorder();
    return;
  }
  border_.setColor(kolor);
  applyBorder(KolorIsColor(kolor));
  showBorder();
  checkTransition();
  if (KolorIsColor(kolor)) CAColorWell::uncheckNoColorButton();
}

void CAFormatBorderVC::noColor() {
  if (blockChanges_) return;
  setKolor(kNoKolor);
  blockChanges_ = true;
  colorSwatch_->setKolor(kNoKolor);
  blockChanges_ = false;
}

void CAFormatBorderVC::checkTransition() {
  const CAFormat* format = document()->formatForDomain(formatDomain());
  const bool hasBorder = format && format->hasPropertyForMask(kFormatBorder);
  // The format gained or lost its border: the controls follow, while the pane keeps its border (a
  // later width brings back its colour) and the step in progress stays open.
  if (hasBorder != borderIsOn_) {
    borderIsOn_ = hasBorder;
    showBorder();
  }
  redrawSelection();
}

Kolor CAFormatBorderVC::kolorForPopup(QToolButton*) {
  return border_.style() != kBorderNone && KolorIsColor(border_.kolor()) ? border_.kolor() : kNoKolor;
}

Kolor CAFormatBorderVC::defaultKolorForPopup(QToolButton*) { return g_blackKolor; }

void CAFormatBorderVC::changeKolor(Kolor kolor, QToolButton*) { setKolor(kolor); }
