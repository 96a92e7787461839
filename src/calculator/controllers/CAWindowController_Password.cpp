// A protected document's password: taken from the keychain when it still fits the document's
// check value, else asked for on the window. Only then are the document's cells read; a wrong
// or withheld password closes the window without writing anything.
#include "calculator/controllers/CAWindowController.h"

#include "calculator/controllers/CAAppController.h"
#include "calculator/controllers/CAPrefController.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/model/caModelServices.h"
#include "framlet/foundation/FLPasswordManager.h"
#include "framlet/foundation/flPasswords.h"
#include "framlet/shell/FLPasswordChangeDialog.h"
#include "framlet/shell/FLPasswordSetDialog.h"
#include "framlet/shell/FLPasswordVerifyDialog.h"
#include "framlet/shell/flWindowOrder.h"
#include "platform/NotificationCenter.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>

#include <deque>

namespace {

constexpr const char* kProtectPrompt =
    "Do you want to protect the contents of your document? Its backup copy, which would keep them readable, is "
    "removed when it is saved with the password.";

void KeepInKeychain(const QString& password, const QString& path) {
  FLPasswordManager::sharedInstance().storePassword(password, QLatin1String(kCAPasswordService), path,
                                                    QLatin1String(kCAPasswordLabel),
                                                    QLatin1String(kCAPasswordDescription), QString());
}

// A window waiting to ask for its document's password. Several protected documents opened at
// once (recovered copies at launch) would otherwise put up prompts behind each other's windows.
struct CAPasswordTurn {
  QPointer<CAWindowController> controller;
  const QObject* prompt = nullptr;  // set once the prompt is up; its end ends the turn
};

std::deque<CAPasswordTurn>& PasswordTurns() {
  static std::deque<CAPasswordTurn> turns;
  return turns;
}

void ShowNextPasswordPrompt() {
  std::deque<CAPasswordTurn>& turns = PasswordTurns();
  while (!turns.empty() && !turns.front().controller) turns.pop_front();
  if (!turns.empty() && !turns.front().prompt) turns.front().controller->showPasswordPrompt();
}

}  // namespace

QWidget* CAWindowController::windowShowingPasswordPrompt() {
  const std::deque<CAPasswordTurn>& turns = PasswordTurns();
  if (turns.empty() || !turns.front().prompt || !turns.front().controller) return nullptr;
  return turns.front().controller->window();
}

void CAWindowController::askForPassword() {
  const QString path = document_->filePath();
  const QString stored = FLPasswordManager::sharedInstance().passwordForService(QLatin1String(kCAPasswordService), path);
  if (PasswordMatches(stored, document_->password(), kCADocumentPasswordSeed)) {
    passwordValidated(true, QString());
    return;
  }
  PasswordTurns().push_back({QPointer<CAWindowController>(this), nullptr});
  ShowNextPasswordPrompt();
}

void CAWindowController::showPasswordPrompt() {
  MakeKeyAndOrderFront(window_.get());
  QPointer<CAWindowController> self(this);
  // The sheet stays up while the typed password is wrong; its keychain box goes to the password
  // manager before the callback, so the callback knows whether to keep the password.
  FLPasswordVerifyDialog* prompt = FLPasswordVerifyDialog::verifyPassword(
      document_->password(), kCADocumentPasswordSeed, document_->passwordHint(), QLatin1String(kCAPasswordPrompt),
      window_.get(), QVariant(), [self](FLPasswordDialog*, int returnCode, const FLPasswordInfo& info) {
        if (self) self->passwordValidated(returnCode == 1, info.password);
      });
  PasswordTurns().front().prompt = prompt;
  // The turn ends with the prompt, however it goes (answered, or taken with its window).
  QObject::connect(prompt, &QObject::destroyed, QCoreApplication::instance(), [prompt] {
    std::erase_if(PasswordTurns(), [prompt](const CAPasswordTurn& turn) { return turn.prompt == prompt; });
    ShowNextPasswordPrompt();
  });
}

void CAWindowController::passwordValidated(bool wasValid, const QString& password) {
  if (!wasValid || !document_->loadXmlFile()) {
    // Nothing was read, so nothing is written: the window goes as if the user closed it, and a
    // clean document closes without asking. A recovered copy's work is then still only in the
    // copy, which stays for the next launch.
    CAAppController* app = CAAppController::sharedInstance();
    if (app && document_->autosaveRecoveryDoc()) app->keepAutosaveCopy(document_->recoveredPackagePath());
    document_->setDirty(false);
    undoManager_.clearUndo();
    // As when a file cannot be read: the application does not end with the window.
    if (app) app->openUntitledIfLastWindow(window_.get());
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
    // With the placeholder the desktop can still mark unsaved changes after the name.
    window_->setWindowTitle((hideExtension ? file.completeBaseName() : file.fileName()) + QLatin1String("[*]"));
    window_->setWindowModified(document_->dirty());
  }
  if (!password.isEmpty() && FLPasswordManager::sharedInstance().useKeychain())
    KeepInKeychain(password, document_->filePath());
}

void CAWindowController::passwordProtect() {
  QPointer<CAWindowController> self(this);
  auto answered = [self](FLPasswordDialog*, int returnCode, const FLPasswordInfo& info) {
    if (self) self->passwordSet(returnCode == 1, info);
  };
  if (document_->password().isEmpty()) {
    FLPasswordSetDialog::setPassword(QCoreApplication::translate("CAWindowController", kProtectPrompt),
                                     window_.get(), QVariant(), answered);
    return;
  }
  // The current password is offered only when the keychain's still fits the document.
  const QString stored = FLPasswordManager::sharedInstance().passwordForService(QLatin1String(kCAPasswordService),
                                                                                 document_->filePath());
  FLPasswordChangeDialog::changePassword(
      PasswordMatches(stored, document_->password(), kCADocumentPasswordSeed) ? stored : QString(),
      document_->password(), kCADocumentPasswordSeed, document_->passwordHint(), window_.get(), QVariant(),
      answered);
}

void CAWindowController::passwordSet(bool success, const FLPasswordInfo& newPassword) {
  if (!success) return;
  QString checkValue;  // none: the protection goes
  if (!newPassword.password.isEmpty()) {
    checkValue = EncryptPassword(newPassword.password, kCADocumentPasswordSeed);
    if (checkValue.isEmpty()) {
      // The dialogs refuse what crypt can't take; should it fail anyway, the user must not
      // believe the sheet protected.
      WorkspaceBeep();
      return;
    }
  }
  if (FLPasswordManager::sharedInstance().useKeychain()) {
    // No password takes the document's entry out of the keychain.
    KeepInKeychain(newPassword.password, document_->filePath());
    document_->setDirty(true);
    undoManager_.clearUndo();
    window_->setWindowModified(true);
  } else if (!undoManager_.setUndoAction(kUndoActionLayout, kUndoPassword, nullptr)) {
    return;
  }
  document_->setPassword(checkValue);
  document_->setPasswordHint(newPassword.hint);
  document_->setPasswordUnlocked(true);
}
