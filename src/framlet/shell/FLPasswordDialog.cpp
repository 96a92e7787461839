#include "framlet/shell/FLPasswordDialog.h"

#include "framlet/foundation/FLPasswordManager.h"
#include "framlet/foundation/flPasswords.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr const char* kKeychainTitle = "Remember this password in my keychain";
// The sheets' width in average characters: room for the fields and the check box, with the
// warning and the prompt wrapped under it rather than stretching the sheet across the screen.
constexpr int kSheetWidthInCharacters = 60;

}  // namespace

bool PasswordMatches(const QString& typed, const QString& encryptedPassword, const char* seed) {
  if (typed.isEmpty() || encryptedPassword.isEmpty()) return false;
  const QString hashed = EncryptPassword(typed, seed);
  return !hashed.isEmpty() && hashed == encryptedPassword;
}

FLPasswordDialog::FLPasswordDialog(QWidget* parent) : QDialog(parent) {
  auto* layout = new QVBoxLayout(this);
  errorField_ = new QLabel(this);
  errorField_->setObjectName(QStringLiteral("errorField"));
  errorField_->setAlignment(Qt::AlignCenter);
  errorField_->setWordWrap(true);
  QFont bold = errorField_->font();
  bold.setBold(true);
  errorField_->setFont(bold);
  QPalette palette = errorField_->palette();
  palette.setColor(QPalette::WindowText, Qt::red);
  errorField_->setPalette(palette);
  errorField_->hide();
  layout->addWidget(errorField_);
  form_ = new QFormLayout;
  layout->addLayout(form_);
  keychainBox_ = new QCheckBox(QApplication::translate("FLPasswordDialog", kKeychainTitle), this);
  keychainBox_->setObjectName(QStringLiteral("useKeychain"));
  keychainBox_->setChecked(FLPasswordManager::sharedInstance().useKeychain());
  layout->addWidget(keychainBox_);
  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons_);
  connect(buttons_, &QDialogButtonBox::accepted, this, [this] { handleOK(); });
  connect(buttons_, &QDialogButtonBox::rejected, this, &FLPasswordDialog::handleCancel);
  setFixedWidth(fontMetrics().averageCharWidth() * kSheetWidthInCharacters);
}

QLineEdit* FLPasswordDialog::addField(const QString& objectName, const QString& label, bool secret) {
  auto* field = new QLineEdit(this);
  field->setObjectName(objectName);
  if (secret) field->setEchoMode(QLineEdit::Password);
  form_->addRow(label, field);
  connect(field, &QLineEdit::textEdited, this, [this] { controlTextDidChange(); });
  return field;
}

void FLPasswordDialog::setError(const QString& message) {
  errorField_->setText(message);
  errorField_->setVisible(!message.isNull());
}

void FLPasswordDialog::refuse(const QString& message, QLineEdit* field) {
  QApplication::beep();
  setError(QApplication::translate("FLPasswordDialog", message.toUtf8().constData()));
  if (field) {
    field->setFocus();
    field->selectAll();
  }
}

bool FLPasswordDialog::hintAccepted(const QString& password, const QString& hint) {
  if (password.isEmpty() || password != hint) return true;
  return FLPasswordManager::sharedInstance().confirmBadHint();
}

void FLPasswordDialog::confirm(const QString& password, const QString& hint) {
  info_.password = password.isEmpty() ? QString() : password;
  info_.hint = hint;
  FLPasswordManager::sharedInstance().setUseKeychain(keychainBox_->isChecked());
  finish(1);
}

void FLPasswordDialog::handleCancel() { finish(0); }

void FLPasswordDialog::finish(int returnCode) {
  if (finished_) return;
  finished_ = true;
  hide();
  if (callback_) {
    const Callback callback = std::move(callback_);
    callback_ = nullptr;
    callback(this, returnCode, info_);
  }
  done(returnCode == 1 ? QDialog::Accepted : QDialog::Rejected);
  deleteLater();
}

void FLPasswordDialog::begin(QWidget* hostWindow, const QVariant& context, Callback callback) {
  info_ = FLPasswordInfo{QString(), QString(), context};
  callback_ = std::move(callback);
  setWindowModality(hostWindow ? Qt::WindowModal : Qt::ApplicationModal);
  // Escape and the window's close button cancel as the Cancel button does.
  connect(this, &QDialog::rejected, this, [this] { finish(0); });
  open();
  // The keys go to the first password field, not to the keychain box or the buttons that were
  // made before it.
  if (QLineEdit* first = findChild<QLineEdit*>()) first->setFocus(Qt::OtherFocusReason);
}
