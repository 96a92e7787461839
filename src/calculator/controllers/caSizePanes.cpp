#include "calculator/controllers/caSizePanes.h"

#include "framlet/foundation/flBase.h"
#include "framlet/shell/FLMeasureFormatter.h"
#include "framlet/shell/flInterfaceSupport.h"
#include "framlet/shell/flMeasures.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>

#include <algorithm>
#include <memory>

QLineEdit* AddLengthRow(QGridLayout* grid, int row, const QString& label, const QString& name, int maxPoints,
                        QSlider** slider, QWidget* view) {
  grid->addWidget(new QLabel(label, view), row, 0);
  auto* field = new QLineEdit(view);
  field->setObjectName(name + QStringLiteral("Field"));
  field->setFixedWidth(80);
  (new FLMeasureFormatter(field))->attachTo(field);
  grid->addWidget(field, row, 1);
  *slider = new QSlider(Qt::Horizontal, view);
  (*slider)->setObjectName(name + QStringLiteral("Slider"));
  (*slider)->setRange(0, maxPoints);
  (*slider)->setFocusPolicy(Qt::NoFocus);
  grid->addWidget(*slider, row, 2);
  TieLengthFieldToSlider(field, *slider);
  return field;
}

QSpinBox* AddDigitRow(QGridLayout* grid, int row, const QString& name, QWidget* view) {
  grid->addWidget(new QLabel(QStringLiteral("Digits"), view), row, 0);
  auto* box = new QSpinBox(view);
  box->setObjectName(name);
  box->setRange(0, 99);
  box->setKeyboardTracking(false);
  box->setFixedWidth(80);
  grid->addWidget(box, row, 1);
  return box;
}

void TieLengthFieldToSlider(QLineEdit* field, const QSlider* slider) {
  auto* formatter = qobject_cast<FLMeasureFormatter*>(FLFormatter::formatterOf(field));
  if (!formatter) {
    LogAssert("This is not a measure formatter", __func__, __FILE__, __LINE__);
    return;
  }
  formatter->setMaximum(int64_t(slider->maximum()) * kEmuPerPoint);
}

void ShowLength(QLineEdit* field, QSlider* slider, int64_t length) {
  setMeasureValue(field, length);
  const QSignalBlocker blocker(slider);
  slider->setValue(int(std::clamp<int64_t>(length / kEmuPerPoint, slider->minimum(), slider->maximum())));
}

void ShowLengthInNewUnit(QLineEdit* field) {
  // A changed text is written anew in the formatter's (now different) unit.
  const int64_t length = measureValue(field);
  setMeasureValue(field, length + kEmuPerInch);
  setMeasureValue(field, length);
}

void ConnectLengthPair(QLineEdit* field, QSlider* slider, QWidget* view, QObject* context,
                       const std::function<void(QWidget* sender)>& action) {
  auto started = std::make_shared<bool>(false);
  QObject::connect(field, &QLineEdit::textEdited, context, [started] { *started = true; });
  QObject::connect(field, &QLineEdit::editingFinished, context, [field, started, action] {
    if (!*started) return;
    *started = false;
    action(field);
  });
  QObject::connect(slider, &QSlider::valueChanged, context, [slider, view, action] {
    YankFocusForSliderPair(slider, view);
    action(slider);
  });
}

int64_t LengthFromControl(const QWidget* control) { return MeasureFromControl(control, -1); }

