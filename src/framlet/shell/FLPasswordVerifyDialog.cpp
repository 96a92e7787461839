#include "framlet/shell/FLPasswordVerifyDialog.h"

#include <QApplication>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

FLPasswordVerifyDialog::FLPasswordVerifyDialog(const QString& encryptedPassword, const char* seed,
                                               const QString& hint, const QString& prompt, QWidget* parent)
    : FLPasswordDialog(parent), encryptedPassword_(encryptedPassword), seed_(seed), hint_(hint) {
  setObjectName(QStringLiteral("FLPasswordVerify"));
  if (!prompt.isEmpty()) form_->addRow(new QLabel(prompt, this));
  passwordField_ = addField(QStringLiteral("passwordField"), QApplication::translate("FLPasswordDialog", "Password:"), true);
  if (!hint.isEmpty()) form_->addRow(QApplication::translate("FLPasswordDialog", "Hint:"), new QLabel(hint, this));
}

FLPasswordVerifyDialog* FLPasswordVerifyDialog::verifyPassword(const QString& encryptedPassword, const char* seed,
                                                               const QString& hint, const QString& prompt,
                                                               QWidget* window, const QVariant& context,
                                                               Callback callback) {
  auto* dialog = new FLPasswordVerifyDialog(encryptedPassword, seed, hint, prompt, window);
  dialog->begin(window, context, std::move(callback));
  return dialog;
}

void FLPasswordVerifyDialog::handleOK() {
  const QString typed = passwordField_->text();
  if (!PasswordMatches(typed, encryptedPassword_, seed_)) {
    refuse(QString::fromLatin1(kPasswordIncorrect), passwordField_);
    return;
  }
  confirm(typed, hint_);
}
