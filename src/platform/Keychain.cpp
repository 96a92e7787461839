#include "platform/Keychain.h"

bool InMemoryKeychain::failing(QString* message) const {
  if (failure_.isNull()) return false;
  if (message) *message = failure_;
  return true;
}

KeychainStatus InMemoryKeychain::findPassword(const QString& service, const QString& account, QByteArray* data,
                                              QString* message) {
  if (failing(message)) return KeychainStatus::Failure;
  const auto found = items_.constFind({service, account});
  if (found == items_.constEnd()) return KeychainStatus::ItemNotFound;
  if (data) *data = found->data;
  return KeychainStatus::Success;
}

KeychainStatus InMemoryKeychain::addPassword(const KeychainItem& item, QString* message) {
  if (failing(message)) return KeychainStatus::Failure;
  if (items_.contains({item.service, item.account})) {
    if (message) *message = QStringLiteral("The item already exists.");
    return KeychainStatus::Failure;
  }
  items_.insert({item.service, item.account}, item);
  return KeychainStatus::Success;
}

KeychainStatus InMemoryKeychain::updatePassword(const QString& service, const QString& account,
                                                const QByteArray& data, const QString& label, QString* message) {
  if (failing(message)) return KeychainStatus::Failure;
  const auto found = items_.find({service, account});
  if (found == items_.end()) return KeychainStatus::ItemNotFound;
  found->data = data;
  found->label = label;
  return KeychainStatus::Success;
}

KeychainStatus InMemoryKeychain::deletePassword(const QString& service, const QString& account, QString* message) {
  if (failing(message)) return KeychainStatus::Failure;
  return items_.remove({service, account}) ? KeychainStatus::Success : KeychainStatus::ItemNotFound;
}

const KeychainItem* InMemoryKeychain::item(const QString& service, const QString& account) const {
  const auto found = items_.constFind({service, account});
  return found == items_.constEnd() ? nullptr : &*found;
}
