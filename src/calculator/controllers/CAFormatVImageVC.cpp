#include "calculator/controllers/CAFormatVImageVC.h"

#include "calculator/controllers/CAWindowController.h"
#include "calculator/controllers/caPictureScale.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAPicture.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/model/caUndoArchives.h"
#include "framlet/shell/flInterfaceSupport.h"
#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLineEdit>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

constexpr int64_t kPointEmu = 12700;  // and a scale of 1 %
constexpr double kPercent = 100.0;
constexpr int64_t kScaleFieldQuantum = 127;
constexpr int kRedisplayDelayMs = 100;

}  // namespace

QWidget* CAFormatVImageVC::loadView() {
  auto* view = new QWidget;
  view->setToolTip(QStringLiteral("Image"));
  auto* form = new QFormLayout(view);
  form->setContentsMargins(8, 6, 8, 6);
  const auto field = [view](const char* name, int64_t minimum, bool percent) {
    auto* edit = new QLineEdit(view);
    edit->setObjectName(QLatin1String(name));
    SetUpPictureField(edit, minimum, percent);
    return edit;
  };
  scalingField_ = field("scalingField", kPictureMinimumScale, true);
  widthField_ = field("widthField", kPointEmu, false);
  heightField_ = field("heightField", 0, false);
  scalingSlider_ = new QSlider(Qt::Horizontal, view);
  scalingSlider_->setObjectName(QStringLiteral("scalingSlider"));
  scalingSlider_->setRange(0, 2 * kSliderSteps);
  scaleToFitButton_ = new QCheckBox(QStringLiteral("Scale to fit"), view);
  scaleToFitButton_->setObjectName(QStringLiteral("scaleToFitButton"));
  scaleToFitButton_->setFocusPolicy(Qt::NoFocus);
  form->addRow(QStringLiteral("Scale:"), scalingField_);
  form->addRow(QString(), scalingSlider_);
  form->addRow(QStringLiteral("Width:"), widthField_);
  form->addRow(QStringLiteral("Height:"), heightField_);
  form->addRow(QString(), scaleToFitButton_);
  for (QLineEdit* edit : {scalingField_, widthField_, heightField_}) {
    connect(edit, &QLineEdit::textEdited, this, [this] { editingStarted_ = true; });
    connect(edit, &QLineEdit::editingFinished, this, [this, edit] { editingEnded(edit); });
  }
  connect(scalingSlider_, &QSlider::valueChanged, this, [this] {
    if (showing_) return;
    YankFocusForSliderPair(scalingSlider_, this->view());
    setScalingFromSlider();
  });
  connect(scaleToFitButton_, &QCheckBox::clicked, this, &CAFormatVImageVC::scaleToFit);
  view->resize(view->sizeHint());
  return view;
}

void CAFormatVImageVC::viewDidLoad() {
  // Turning a cell into a picture cell asks for the picture.
  NotificationCenter::defaultCenter().addObserver(this, QLatin1String(kTypeChangeNotification), document(),
                                                  [this](const Notification&) { chooseFile(); });
  CAFormatBaseVC::viewDidLoad();
}

const CACell* CAFormatVImageVC::pictureCell() const {
  const CACell* cell = document() ? document()->activeCell() : nullptr;
  if (!cell || cell->valueType() != kValuePicture || !cell->picture() || !cell->picture()->image()) return nullptr;
  return cell;
}

void CAFormatVImageVC::selectionChanged() {
  undoID_ = kNoUndoID;
  const CACell* cell = pictureCell();
  if (!cell || !scalingField_) return;
  showing_ = true;
  int64_t scale = cell->imageScale();
  scaleToFitButton_->setChecked(scale == 0);
  if (scale != 0) {
    // Image size in points times the scale in hundredths of a percent of a point: EMU.
    const QSizeF size = cell->picture()->image()->size();
    SetPictureFieldValue(widthField_, std::llround(size.width() * double(scale) / kPercent));
    SetPictureFieldValue(heightField_, std::llround(size.height() * double(scale) / kPercent));
    SetPictureFieldValue(scalingField_, scale);
  } else {
    for (QLineEdit* edit : {scalingField_, widthField_, heightField_}) edit->clear();
    scale = currentScaling();
  }
  setLogSlider(scale);
  showing_ = false;
}

void CAFormatVImageVC::setLogSlider(int64_t scale) {
  const bool wasShowing = showing_;
  showing_ = true;
  scalingSlider_->setValue(int(std::lround(PictureSliderForScale(scale) * kSliderSteps)));
  showing_ = wasShowing;
}

void CAFormatVImageVC::unitsChanged() {
  if (!widthField_) return;
  // Shown again, the lengths take the new unit.
  for (QLineEdit* edit : {widthField_, heightField_})
    if (!edit->text().isEmpty()) SetPictureFieldValue(edit, PictureFieldValue(edit, 0));
}

int64_t CAFormatVImageVC::currentScaling() const {
  const CACell* cell = pictureCell();
  const double imageHeight = cell ? cell->picture()->image()->size().height() : 0;
  if (imageHeight <= 0) return int64_t(kPercent) * kPointEmu;
  return std::llround(cell->height() * kPercent / imageHeight * kPointEmu);
}

void CAFormatVImageVC::setScalingFromSlider() {
  const CACell* cell = pictureCell();
  if (!cell) return;
  int64_t scale = currentScaling();
  if (cell->imageScale() != 0) {
    scale = PictureScaleForSlider(double(scalingSlider_->value()) / kSliderSteps);
  }
  updateCell(scale);
}

void CAFormatVImageVC::setScalingFromField() {
  if (scalingField_->text().isEmpty()) return;
  updateCell(PictureFieldValue(scalingField_, kScaleFieldQuantum));
}

void CAFormatVImageVC::scaleToFit() { updateCell(0); }

void CAFormatVImageVC::editingEnded(QLineEdit* edit) {
  if (!editingStarted_) return;
  editingStarted_ = false;
  if (edit == scalingField_) {
    setScalingFromField();
    return;
  }
  const CACell* cell = pictureCell();
  if (!cell || edit->text().isEmpty()) return;
  const QSizeF size = cell->picture()->image()->size();
  const double points = edit == widthField_ ? size.width() : size.height();
  if (points <= 0) return;
  const double length = double(PictureFieldValue(edit, 0)) / kPointEmu;
  updateCell(std::llround(length * kPercent / points * kPointEmu));
}

void CAFormatVImageVC::updateCell(int64_t scale) {
  CADocument* target = document();
  if (!pictureCell() || !recordCellStep(undoID_, kUndoPicture)) {
    selectionChanged();  // the controls show the cell as it is
    return;
  }
  CACell* cell = target->cellAtGridPointImperative(target->activeCellPoint());
  if (scale != 0) scale = std::clamp(scale, kPictureMinimumScale, kPictureMaximumScale);
  cell->setImageScale(scale);
  cell->setNeedRecalc(true);
  cell->recalcPictureHeight();
  // A picture's size is its layout: nothing is recalculated.
  target->layOutLongText();
  if (CAWindowController* controller = windowController()) controller->redrawSelectionForDomain(kDomainDocument);
  QTimer::singleShot(kRedisplayDelayMs, this, [this] { selectionChanged(); });
}

void CAFormatVImageVC::chooseFile() {
  QWidget* parent = view() ? view()->window() : nullptr;
  auto* panel = new QFileDialog(parent, QStringLiteral("Select a picture file for the active cell"));
  panel->setAttribute(Qt::WA_DeleteOnClose);
  panel->setFileMode(QFileDialog::ExistingFile);
  QStringList patterns;
  for (const QString& extension : FLImage::fileExtensions()) patterns << QStringLiteral("*.") + extension;
  panel->setNameFilter(QStringLiteral("Pictures (%1)").arg(patterns.join(QLatin1Char(' '))));
  connect(panel, &QFileDialog::finished, this, [this, panel](int result) {
    const QStringList files = panel->selectedFiles();
    openPanelEnded(result == QDialog::Accepted, files.isEmpty() ? QString() : files.first());
  });
  panel->open();
}

void CAFormatVImageVC::openPanelEnded(bool accepted, const QString& path) {
  CADocument* target = document();
  if (!accepted || path.isEmpty() || !target) return;
  // A locked document takes no picture; it is not entered in the document's pictures either.
  if (target->isLocked()) {
    QApplication::beep();
    return;
  }
  std::shared_ptr<CAPicture> picture = CAPicture::withFile(path, target);
  if (!picture) {
    QApplication::beep();
    return;
  }
  if (!target->setCellUndo(kUndoPicture, kUndoRangeActiveCell)) return;
  CACell* cell = target->cellAtGridPointImperative(target->activeCellPoint());
  cell->setPicture(picture);
  cell->setImageScale(0);
  target->invalidateAfterCellEdit(target->activeCellPoint().y);
  if (CAWindowController* controller = windowController()) controller->redrawSelectionForDomain(kDomainDocument);
  QTimer::singleShot(kRedisplayDelayMs, this, [this] { selectionChanged(); });
  target->pageBreaksChanged();
}
