#include "framlet/shell/FLValidatedDialog.h"

#include "framlet/foundation/flFormatString.h"
#include "framlet/shell/FLAlert.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>
#include <QLineEdit>
#include <QLocale>
#include <QValidator>

FLValidatedDialog::FLValidatedDialog(QWidget* parent) : QDialog(parent) {}

void FLValidatedDialog::watchField(QLineEdit* field) {
  // Not through returnPressed or editingFinished: a field emits those only for acceptable text.
  field->installEventFilter(this);
}

bool FLValidatedDialog::eventFilter(QObject* watched, QEvent* event) {
  auto* field = qobject_cast<QLineEdit*>(watched);
  if (!field || complaining_) return QDialog::eventFilter(watched, event);
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !textShouldEndEditing(field)) {
      complain(field->text(), field);
      return true;
    }
  } else if (event->type() == QEvent::FocusOut && !textShouldEndEditing(field)) {
    const QPointer<QLineEdit> guarded(field);
    QTimer::singleShot(0, this, [this, guarded] {
      if (guarded && !textShouldEndEditing(guarded)) complain(guarded->text(), guarded);
    });
  }
  return QDialog::eventFilter(watched, event);
}

bool FLValidatedDialog::textShouldEndEditing(const QLineEdit* field) {
  return !field || !field->validator() || field->hasAcceptableInput();
}

bool FLValidatedDialog::presentError() {
  for (QWidget* widget = focusWidget(); widget && widget != this; widget = widget->parentWidget()) {
    auto* field = qobject_cast<QLineEdit*>(widget);
    if (field && field->validator()) {
      if (textShouldEndEditing(field)) return true;
      complain(field->text(), field);
      return false;
    }
  }
  return true;
}

QString FLValidatedDialog::complaintText(const QString& text, const QValidator* validator) {
  QString minimum;
  QString maximum;
  const QLocale locale = validator ? validator->locale() : QLocale();
  if (const auto* integers = qobject_cast<const QIntValidator*>(validator)) {
    minimum = locale.toString(integers->bottom());
    maximum = locale.toString(integers->top());
  } else if (const auto* reals = qobject_cast<const QDoubleValidator*>(validator)) {
    minimum = locale.toString(reals->bottom(), 'g', 12);
    maximum = locale.toString(reals->top(), 'g', 12);
  } else if (validator) {
    minimum = validator->property("minimumString").toString();
    maximum = validator->property("maximumString").toString();
  }
  if (!minimum.isEmpty()) {
    return FormatString(
        "The number you entered, \"%@\", is not a valid value for this field. It may contain non-numeric "
        "characters or be out of range.\n\nThe allowed values for this field range from %@ to %@.",
        text, minimum, maximum);
  }
  return FormatString("The number you entered, \"%@\", is not a valid value for this field.", text);
}

void FLValidatedDialog::complain(const QString& text, QLineEdit* control) {
  if (complaining_) return;
  complaining_ = true;
  FLAlert::sharedInstance().giveAlertMessage(QApplication::translate("FLValidatedDialog", "Invalid value."),
                                             complaintText(text, control ? control->validator() : nullptr));
  complaining_ = false;
  raise();
  activateWindow();
  if (control) control->setFocus();
}
