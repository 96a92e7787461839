#include "calculator/controllers/CAColorWell.h"

#include "calculator/model/CADocument.h"
#include "framlet/shell/FLFavoriteColorManager.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QVBoxLayout>

namespace {

struct CAColorPanel {
  QPointer<QDialog> window;
  QPointer<QColorDialog> chooser;
  QPointer<QCheckBox> noColorBox;
  QPointer<CAColorWell> activeWell;
  // What the panel acts for: the active well, or the window given the panel without a well. The
  // panel floats over the top-level window, which for a tab is the container of several
  // document windows, so that says nothing of the document it changes.
  QPointer<QWidget> actsFor;
  // The target while no well is active.
  std::function<void(Kolor)> chosen;
  std::function<void()> noColor;
};

CAColorPanel& SharedPanel() {
  static CAColorPanel panel;
  return panel;
}

// Continuous, without opacity, with the no-colour box under the chooser. The panel floats over the
// window of the well it acts on and goes with that window.
CAColorPanel& OpenPanel(QWidget* window) {
  CAColorPanel& panel = SharedPanel();
  if (panel.window) {
    if (panel.window->parentWidget() != window) panel.window->setParent(window, Qt::Tool);
    return panel;
  }
  panel.chosen = nullptr;
  panel.noColor = nullptr;
  panel.window = new QDialog(window, Qt::Tool);
  panel.window->setWindowTitle(QApplication::translate("CAColorWell", "Colors"));
  auto* layout = new QVBoxLayout(panel.window);
  panel.chooser = new QColorDialog(panel.window);
  panel.chooser->setWindowFlags(Qt::Widget);
  panel.chooser->setOptions(QColorDialog::NoButtons | QColorDialog::DontUseNativeDialog);
  layout->addWidget(panel.chooser);
  panel.noColorBox = new QCheckBox(QApplication::translate("CAColorWell", "Default color (or no color)"), panel.window);
  layout->addWidget(panel.noColorBox);
  QObject::connect(panel.chooser, &QColorDialog::currentColorChanged, panel.window, [](const QColor& color) {
    const CAColorPanel& shared = SharedPanel();
    CAColorWell* well = shared.activeWell;
    if (!well) {
      if (shared.chosen) shared.chosen(KolorFromColorCore(color));
      return;
    }
    if (!well->isEnabled()) return;
    well->setKolor(KolorFromColorCore(color));
    emit well->colorChosen();
  });
  QObject::connect(panel.noColorBox, &QCheckBox::clicked, panel.window, [](bool checked) {
    const CAColorPanel& shared = SharedPanel();
    CAColorWell* well = shared.activeWell;
    if (!checked) return;
    if (!well) {
      if (shared.noColor) shared.noColor();
      return;
    }
    if (well->isEnabled()) emit well->noColorChosen();
  });
  // Escape in the chooser ends the chooser as a dialog of its own would; the whole panel goes,
  // and the chooser is back in it for the next time.
  QObject::connect(panel.chooser, &QDialog::finished, panel.window, [] {
    CAColorPanel& shared = SharedPanel();
    shared.chooser->setVisible(true);
    shared.window->hide();
  });
  return panel;
}

}  // namespace

CAColorWell::CAColorWell(QWidget* parent) : QToolButton(parent) {
  setFixedSize(44, 22);
  setFocusPolicy(Qt::NoFocus);
}

void CAColorWell::setKolor(Kolor kolor) {
  if (kolor_ == kolor) return;
  kolor_ = kolor;
  update();
}

void CAColorWell::activate() {
  CAColorPanel& panel = OpenPanel(window());
  if (CAColorWell* previous = panel.activeWell) previous->update();
  panel.activeWell = this;
  panel.actsFor = this;
  panel.chosen = nullptr;
  panel.noColor = nullptr;
  update();
  // The panel's colour follows the well without reaching the document.
  CADocument* document = documentSource_ ? documentSource_() : nullptr;
  if (document) document->suppressColorChange(true);
  {
    const QSignalBlocker block(panel.chooser.data());
    panel.chooser->setCurrentColor(KolorIsColor(kolor_) ? ColorFromKolor(kolor_) : QColor(Qt::black));
    panel.noColorBox->setChecked(!KolorIsColor(kolor_));
  }
  if (document) document->suppressColorChange(false);
  panel.window->show();
  panel.window->raise();
}

void CAColorWell::deactivate() {
  CAColorPanel& panel = SharedPanel();
  if (panel.activeWell != this) return;
  panel.activeWell = nullptr;
  update();
}

CAColorWell* CAColorWell::activeColorWell(const QWidget* view) {
  CAColorWell* well = SharedPanel().activeWell;
  return well && view && view->isAncestorOf(well) ? well : nullptr;
}

void CAColorWell::uncheckNoColorButton() {
  if (QCheckBox* box = SharedPanel().noColorBox) box->setChecked(false);
}

void CAColorWell::showPanelFor(QWidget* window, Kolor current, std::function<void(Kolor)> chosen,
                               std::function<void()> noColor) {
  CAColorPanel& panel = OpenPanel(window);
  if (CAColorWell* previous = panel.activeWell) {
    panel.activeWell = nullptr;
    previous->update();
  }
  panel.actsFor = window;
  panel.chosen = std::move(chosen);
  panel.noColor = std::move(noColor);
  {
    const QSignalBlocker block(panel.chooser.data());
    panel.chooser->setCurrentColor(KolorIsColor(current) ? ColorFromKolor(current) : QColor(Qt::black));
    panel.noColorBox->setChecked(!KolorIsColor(current));
  }
  panel.window->show();
  panel.window->raise();
}

bool CAColorWell::panelVisible() {
  const CAColorPanel& panel = SharedPanel();
  return panel.window && panel.window->isVisible();
}

QWidget* CAColorWell::panelWindow() { return SharedPanel().window; }

void CAColorWell::closePanel() {
  CAColorPanel& panel = SharedPanel();
  if (panel.window) panel.window->hide();
  if (CAColorWell* well = panel.activeWell) well->update();
}

void CAColorWell::closePanelOver(const QWidget* window) {
  CAColorPanel& panel = SharedPanel();
  const QWidget* target = panel.actsFor;
  if (!panel.window || !window || !target || (target != window && !window->isAncestorOf(target))) return;
  panel.actsFor = nullptr;
  panel.chosen = nullptr;
  panel.noColor = nullptr;
  if (CAColorWell* well = panel.activeWell) well->deactivate();
  panel.window->hide();
}

void CAColorWell::mousePressEvent(QMouseEvent* event) {
  if (!isEnabled() || event->button() != Qt::LeftButton) return;
  activate();
  event->accept();
}

void CAColorWell::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const bool active = SharedPanel().activeWell == this && SharedPanel().window && SharedPanel().window->isVisible();
  const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  painter.fillRect(rect(), palette().color(active ? QPalette::Highlight : QPalette::Button));
  const QRectF swatch = frame.adjusted(4, 4, -4, -4);
  if (KolorIsColor(kolor_)) {
    painter.fillRect(swatch, ColorFromKolor(kolor_));
  } else {
    painter.fillRect(swatch, Qt::white);
    painter.setPen(Qt::red);
    painter.drawLine(swatch.bottomLeft(), swatch.topRight());
  }
  painter.setPen(isEnabled() ? Qt::gray : Qt::lightGray);
  painter.drawRect(swatch);
  painter.drawRect(frame);
}

CAColorRow AddColorRow(QGridLayout* grid, int row, const QString& label, const QString& name,
                       FLFavoriteColorDelegate* delegate) {
  QWidget* view = grid->parentWidget();
  grid->addWidget(new QLabel(label, view), row, 0);
  CAColorRow result;
  result.well = new CAColorWell(view);
  result.well->setObjectName(name);
  result.favorites = new QToolButton(view);
  result.favorites->setObjectName(name + QLatin1String("Favorites"));
  result.favorites->setPopupMode(QToolButton::InstantPopup);
  result.favorites->setFocusPolicy(Qt::NoFocus);
  auto* manager = new FLFavoriteColorManager(result.favorites);
  manager->setDelegate(delegate);
  manager->setPopupButton(result.favorites);
  auto* line = new QHBoxLayout;
  line->setSpacing(2);
  line->addWidget(result.well);
  line->addWidget(result.favorites);
  line->addStretch();
  grid->addLayout(line, row, 1);
  return result;
}
