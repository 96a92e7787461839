#include "framlet/foundation/FLPasswordManager.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flPasswords.h"
#include "platform/BundleInfo.h"
#include "platform/Keychain.h"
#include "platform/UserDefaults.h"

#include <QGuiApplication>

namespace {

constexpr char kKeychainKeyFormat[] = "%@.keychainPassword";
constexpr char kStoreFailedFormat[] = "Password store failed for account %@: %@";
constexpr char kUnknownError[] = "unknown error";
constexpr char kNoKeychain[] = "No keychain is available.";
constexpr char kBadHintMessage[] = "Hint is password.";
constexpr char kBadHintInformation[] =
    "You've set the hint to the password itself. This is so insecure that you might as well not bother setting a "
    "password.\n\nAre you sure you want to do this?";
constexpr char kOkButton[] = "OK";
constexpr char kCancelButton[] = "Cancel";

}  // namespace

FLPasswordManager& FLPasswordManager::sharedInstance() {
  static FLPasswordManager instance(nullptr, UserDefaults::standardUserDefaults());
  return instance;
}

FLPasswordManager::FLPasswordManager(std::unique_ptr<Keychain> keychain, UserDefaults& defaults)
    : keychain_(std::move(keychain)),
      defaults_(&defaults),
      service_(BundleIdentifier()),
      label_(QGuiApplication::applicationDisplayName()),
      keychainKey_(StringWithFormat(kKeychainKeyFormat, BundleIdentifier())) {
  useKeychain_ = defaults_->boolForKey(keychainKey_);
}

FLPasswordManager::~FLPasswordManager() = default;

void FLPasswordManager::setKeychain(std::unique_ptr<Keychain> keychain) { keychain_ = std::move(keychain); }

void FLPasswordManager::setUseKeychain(bool useKeychain) {
  useKeychain_ = useKeychain;
  defaults_->setBool(useKeychain, keychainKey_);
}

QString FLPasswordManager::passwordFromKeychain(const QString& account, const QString& expected, const char* seed) {
  const QString password = passwordForService(service_, account);
  if (password.isNull()) return QString();
  const QString checkValue = EncryptPassword(password, seed);
  if (!checkValue.isEmpty() && checkValue == expected) return password;
  // The document's password has changed since: the stored one is of no more use.
  storePassword(QString(), service_, account, label_, description(), QString());
  return QString();
}

QString FLPasswordManager::passwordForService(const QString& service, const QString& account) {
  if (!keychain_) return QString();
  QByteArray data;
  if (keychain_->findPassword(service, account, &data, nullptr) != KeychainStatus::Success) return QString();
  QString password = QString::fromUtf8(data);
  if (password.isNull()) password = QLatin1String("");
  return password;
}

void FLPasswordManager::storePassword(const QString& password, const QString& account, const QString& comment) {
  if (!description_) {
    FLAssert(false, "No description set");
    description_ = QLatin1String("");
  }
  storePassword(useKeychain_ ? password : QString(), service_, account, label_, *description_, comment);
}

void FLPasswordManager::storePassword(const QString& password, const QString& service, const QString& account,
                                      const QString& label, const QString& description, const QString& comment) {
  const bool deleting = password.isEmpty();
  QString message;
  KeychainStatus status;
  if (!keychain_) {
    if (deleting) return;
    status = KeychainStatus::Failure;
    message = QLatin1String(kNoKeychain);
  } else {
    status = keychain_->findPassword(service, account, nullptr, &message);
    if (status == KeychainStatus::Success) {
      status = deleting ? keychain_->deletePassword(service, account, &message)
                        : keychain_->updatePassword(service, account, password.toUtf8(), label, &message);
    } else if (status == KeychainStatus::ItemNotFound) {
      if (deleting) return;
      status = keychain_->addPassword(KeychainItem{service, account, password.toUtf8(), label, description, comment},
                                      &message);
    }
  }
  if (status == KeychainStatus::Failure)
    LogString(kStoreFailedFormat, account, message.isEmpty() ? QLatin1String(kUnknownError) : message);
}

bool FLPasswordManager::confirmBadHint() {
  if (!confirmHook_) return false;
  return confirmHook_(QLatin1String(kBadHintMessage), QLatin1String(kBadHintInformation), QLatin1String(kOkButton),
                      QLatin1String(kCancelButton));
}
