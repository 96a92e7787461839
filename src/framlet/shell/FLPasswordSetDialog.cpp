#include "framlet/shell/FLPasswordSetDialog.h"

#include "framlet/foundation/flPasswords.h"

#include <QApplication>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

FLPasswordSetDialog::FLPasswordSetDialog(const QString& prompt, QWidget* parent)
    : FLPasswordDialog(parent), prompt_(prompt) {
  setObjectName(QStringLiteral("FLPasswordSet"));
  const auto tr = [](const char* text) { return QApplication::translate("FLPasswordDialog", text); };
  password1Field_ = addField(QStringLiteral("password1Field"), tr("Password:"), true);
  password2Field_ = addField(QStringLiteral("password2Field"), tr("Verify:"), true);
  hintField_ = addField(QStringLiteral("hintField"), tr("Hint:"), false);
  setError(QString());
}

FLPasswordSetDialog* FLPasswordSetDialog::setPassword(const QString& prompt, QWidget* window,
                                                      const QVariant& context, Callback callback) {
  auto* dialog = new FLPasswordSetDialog(prompt, window);
  dialog->begin(window, context, std::move(callback));
  return dialog;
}

void FLPasswordSetDialog::setError(const QString& message) {
  // Without a refusal to show, the sheet warns what a lost password means.
  const QString standing = QApplication::translate("FLPasswordDialog", kPasswordWarning) +
                           (prompt_.isEmpty() ? QString() : QLatin1Char(' ') + prompt_);
  FLPasswordDialog::setError(message.isNull() ? standing : message);
}

void FLPasswordSetDialog::handleOK() {
  const QString password1 = password1Field_->text();
  const QString password2 = password2Field_->text();
  const QString hint = hintField_->text();
  if (password1.size() < kMinimumPasswordLength) {
    refuse(QString::fromLatin1(kPasswordTooShort), password1Field_);
    return;
  }
  if (PasswordIsTooLong(password1)) {
    refuse(QString::fromLatin1(kPasswordTooLong), password1Field_);
    return;
  }
  if (password1 != password2) {
    refuse(QString::fromLatin1(kPasswordsDontMatch), password1Field_);
    return;
  }
  if (!hintAccepted(password1, hint)) {
    hintField_->setFocus();
    return;
  }
  confirm(password1, hint);
}
