// The sheet that changes or removes a document's password: the current one first, then the new
// one twice (both empty remove the protection).
#pragma once

#include "framlet/shell/FLPasswordDialog.h"

class FLPasswordChangeDialog : public FLPasswordDialog {
  Q_OBJECT

 public:
  // `password` is the current password when the keychain knows it, else null.
  FLPasswordChangeDialog(const QString& password, const QString& encryptedPassword, const char* seed,
                         const QString& hint, QWidget* parent);
  static FLPasswordChangeDialog* changePassword(const QString& password, const QString& encryptedPassword,
                                                const char* seed, const QString& hint, QWidget* window,
                                                const QVariant& context, Callback callback);

  QLineEdit* oldPasswordField() const { return oldPasswordField_; }
  QLineEdit* password1Field() const { return password1Field_; }
  QLineEdit* password2Field() const { return password2Field_; }
  QLineEdit* hintField() const { return hintField_; }
  void handleOK() override;

 private:
  QLineEdit* oldPasswordField_ = nullptr;
  QLineEdit* password1Field_ = nullptr;
  QLineEdit* password2Field_ = nullptr;
  QLineEdit* hintField_ = nullptr;
  QString encryptedPassword_;
  const char* seed_;
};
