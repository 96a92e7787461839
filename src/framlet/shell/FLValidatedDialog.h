// The base of dialogs whose fields take checked values: a field whose text its validator does
// not accept keeps the focus, and the user is told which values the field allows.
#pragma once

#include <QDialog>

class QLineEdit;
class QValidator;

class FLValidatedDialog : public QDialog {
  Q_OBJECT

 public:
  explicit FLValidatedDialog(QWidget* parent = nullptr);

  // Complains when Return is pressed in the field, or the field loses the focus, while its
  // text is not acceptable.
  void watchField(QLineEdit* field);
  // Editing may end when the field has no validator or its text is acceptable.
  static bool textShouldEndEditing(const QLineEdit* field);
  // Checks the focused field (or the first field with a validator up from it): false, after the
  // complaint, when its text is not acceptable.
  bool presentError();
  // Shows "Invalid value." for the field's text and gives the focus back to the field. Not
  // while a complaint is up.
  void complain(const QString& text, QLineEdit* control);
  bool complaining() const { return complaining_; }

  // The more-info text for a text the validator refused: with a known range, the allowed values.
  // A validator states its range through QIntValidator/QDoubleValidator, or through the
  // properties "minimumString" and "maximumString".
  static QString complaintText(const QString& text, const QValidator* validator);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool complaining_ = false;
};
