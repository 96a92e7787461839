// The sheet that gives a document its first password: twice, at least six characters, and a hint
// that had better not be the password.
#pragma once

#include "framlet/shell/FLPasswordDialog.h"

class FLPasswordSetDialog : public FLPasswordDialog {
  Q_OBJECT

 public:
  FLPasswordSetDialog(const QString& prompt, QWidget* parent);
  static FLPasswordSetDialog* setPassword(const QString& prompt, QWidget* window, const QVariant& context,
                                          Callback callback);

  QLineEdit* password1Field() const { return password1Field_; }
  QLineEdit* password2Field() const { return password2Field_; }
  QLineEdit* hintField() const { return hintField_; }
  void handleOK() override;
  // The standing warning and the prompt.
  void setError(const QString& message) override;

 protected:
  void controlTextDidChange() override { setError(QString()); }

 private:
  QLineEdit* password1Field_ = nullptr;
  QLineEdit* password2Field_ = nullptr;
  QLineEdit* hintField_ = nullptr;
  QString prompt_;
};
