// A protected document's password: taken from the keychain when it still fits the document's
// check value, else asked for on the window. Only then are the document's cells read; a wrong
// or withheld password closes the window without writing anything.
#include "calculator/controllers/CAWindowController.h"

#include "calculator/controllers/CAPrefController.h"
#include "calculator/model/caModelNotifications.h"
#include "framlet/foundation/FLPasswordManager.h"
#include "framlet/foundation/flPasswords.h"
#include "framlet/shell/flWindowOrder.h"
#include "platform/NotificationCenter.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QVBoxLayout>

namespace {

constexpr const char* kPasswordIncorrect = "Password is incorrect";

// Until the shell's verify sheet is in: a window-modal sheet with one password field that
// checks the typed password against the check value and stays up while it is wrong.
void AskInSheet(QWidget* window, const QString& checkValue, const char* seed, const QString& hint,
                const QString& prompt, std::function<void(bool, const QString&)> done) {
  auto* dialog = new QDialog(window);
  dialog->setObjectName(QStringLiteral("FLPasswordVerify"));
  dialog->setWindowModality(Qt::WindowModal);
  auto* layout = new QVBoxLayout(dialog);
  layout->addWidget(new QLabel(prompt, dialog));
  if (!hint.isEmpty()) layout->addWidget(new QLabel(QStringLiteral("Hint: %1").arg(hint), dialog));
  auto* field = new QLineEdit(dialog);
  field->setObjectName(QStringLiteral("passwordField"));
  field->setEchoMode(QLineEdit::Password);
  layout->addWidget(field);
  auto* error = new QLabel(dialog);
  error->setObjectName(QStringLiteral("errorField"));
  layout->addWidget(error);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  layout->addWidget(buttons);
  auto answered = std::make_shared<bool>(false);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, [=] {
    const QString typed = field->text();
    if (typed.isEmpty() || EncryptPassword(typed, seed) != checkValue) {
      error->setText(QLatin1String(kPasswordIncorrect));
      field->setFocus();
      return;
    }
    *answered = true;
    dialog->accept();
    done(true, typed);
  });
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  QObject::connect(dialog, &QDialog::finished, dialog, [=] {
    if (!*answered) {
      *answered = true;
      done(false, QString());
    }
    dialog->deleteLater();
  });
  dialog->open();
}

CAWindowController::PasswordVerifier& Verifier() {
  static CAWindowController::PasswordVerifier verifier = AskInSheet;
  return verifier;
}

}  // namespace

void CAWindowController::setPasswordVerifier(PasswordVerifier verifier) {
  Verifier() = verifier ? std::move(verifier) : PasswordVerifier(AskInSheet);
}

void CAWindowController::askForPassword() {
  const QString path = document_->filePath();
  const QString stored = FLPasswordManager::sharedInstance().passwordForService(QLatin1String(kCAPasswordService), path);
  if (!stored.isNull() && EncryptPassword(stored, kCADocumentPasswordSeed) == document_->password()) {
    passwordValidated(true, QString());
    return;
  }
  MakeKeyAndOrderFront(window_.get());
  QPointer<CAWindowController> self(this);
  Verifier()(window_.get(), document_->password(), kCADocumentPasswordSeed, document_->passwordHint(),
             QLatin1String(kCAPasswordPrompt), [self](bool valid, const QString& password) {
               if (self) self->passwordValidated(valid, password);
             });
}

void CAWindowController::passwordValidated(bool wasValid, const QString& password) {
  if (!wasValid || !document_->loadXmlFile()) {
    // Nothing was read, so nothing is written: the window goes as if the user closed it, and a
    // clean document closes without asking.
    document_->setDirty(false);
    undoManager_.clearUndo();
    closeWindow();
    return;
  }
  document_->evaluate();
  if (scrollView_) scrollView_->update();
  adjustCellViewForNewData();
  NotificationCenter::defaultCenter().post(QLatin1String(kSelectionChangeNotification), document_.get());
  if (!document_->isLocked()) {
    const QFileInfo file(document_->filePath());
    const CAPrefController* prefs = CAPrefController::sharedInstance();
    const bool hideExtension = prefs && prefs->value(CABoolPreference::alwaysHideExtension);
    window_->setWindowTitle(hideExtension ? file.completeBaseName() : file.fileName());
  }
  FLPasswordManager& manager = FLPasswordManager::sharedInstance();
  if (!password.isEmpty() && manager.useKeychain()) {
    manager.storePassword(password, QLatin1String(kCAPasswordService), document_->filePath(),
                          QLatin1String(kCAPasswordLabel), QLatin1String(kCAPasswordDescription), QString());
  }
}
