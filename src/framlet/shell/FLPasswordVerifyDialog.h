// The sheet that asks for the password of a protected document as it opens.
#pragma once

#include "framlet/shell/FLPasswordDialog.h"

class FLPasswordVerifyDialog : public FLPasswordDialog {
  Q_OBJECT

 public:
  FLPasswordVerifyDialog(const QString& encryptedPassword, const char* seed, const QString& hint,
                         const QString& prompt, QWidget* parent);
  // Makes the sheet and begins it on the window.
  static FLPasswordVerifyDialog* verifyPassword(const QString& encryptedPassword, const char* seed,
                                                const QString& hint, const QString& prompt, QWidget* window,
                                                const QVariant& context, Callback callback);

  QLineEdit* passwordField() const { return passwordField_; }
  void handleOK() override;

 private:
  QLineEdit* passwordField_ = nullptr;
  QString encryptedPassword_;
  const char* seed_;
  QString hint_;
};
