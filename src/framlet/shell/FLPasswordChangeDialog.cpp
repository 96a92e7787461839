#include "framlet/shell/FLPasswordChangeDialog.h"

#include "framlet/foundation/flPasswords.h"

#include <QApplication>
#include <QFormLayout>
#include <QLineEdit>
#include <QTimer>

namespace {

constexpr int kFocusDelayMilliseconds = 20;

}  // namespace

FLPasswordChangeDialog::FLPasswordChangeDialog(const QString& password, const QString& encryptedPassword,
                                               const char* seed, const QString& hint, QWidget* parent)
    : FLPasswordDialog(parent), encryptedPassword_(encryptedPassword), seed_(seed) {
  setObjectName(QStringLiteral("FLPasswordChange"));
  const auto tr = [](const char* text) { return QApplication::translate("FLPasswordDialog", text); };
  oldPasswordField_ = addField(QStringLiteral("oldPasswordField"), tr("Current password:"), true);
  password1Field_ = addField(QStringLiteral("password1Field"), tr("New password:"), true);
  password2Field_ = addField(QStringLiteral("password2Field"), tr("Verify:"), true);
  hintField_ = addField(QStringLiteral("hintField"), tr("Hint:"), false);
  hintField_->setText(hint);
  if (!password.isEmpty()) {
    oldPasswordField_->setText(password);
    QTimer::singleShot(kFocusDelayMilliseconds, this, [this] { password1Field_->setFocus(); });
  }
}

FLPasswordChangeDialog* FLPasswordChangeDialog::changePassword(const QString& password,
                                                               const QString& encryptedPassword, const char* seed,
                                                               const QString& hint, QWidget* window,
                                                               const QVariant& context, Callback callback) {
  auto* dialog = new FLPasswordChangeDialog(password, encryptedPassword, seed, hint, window);
  dialog->begin(window, context, std::move(callback));
  return dialog;
}

void FLPasswordChangeDialog::handleOK() {
  if (!PasswordMatches(oldPasswordField_->text(), encryptedPassword_, seed_)) {
    refuse(QString::fromLatin1(kPasswordIncorrect), oldPasswordField_);
    return;
  }
  const QString password1 = password1Field_->text();
  const QString password2 = password2Field_->text();
  const QString hint = hintField_->text();
  if (password1 != password2) {
    refuse(QString::fromLatin1(kPasswordsDontMatch), password1Field_);
    return;
  }
  if (!password1.isEmpty() && password1.size() < kMinimumPasswordLength) {
    refuse(QString::fromLatin1(kPasswordTooShort), password1Field_);
    return;
  }
  if (PasswordIsTooLong(password1)) {
    refuse(QString::fromLatin1(kPasswordTooLong), password1Field_);
    return;
  }
  if (!hintAccepted(password1, hint)) {
    hintField_->setFocus();
    return;
  }
  confirm(password1, hint);
}
