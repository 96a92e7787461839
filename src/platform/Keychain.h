// The user's store of generic passwords (service, account, secret): an interface with a backend
// over the desktop's Secret Service and one in memory, so that tests never reach the user's
// real keychain.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QPair>
#include <QString>

#include <memory>

enum class KeychainStatus { Success, ItemNotFound, Failure };

struct KeychainItem {
  QString service;
  QString account;
  QByteArray data;
  QString label;
  QString description;
  QString comment;  // empty: none
};

class Keychain {
 public:
  virtual ~Keychain() = default;
  // The item's data; ItemNotFound when there is no such item. `message` gets the reason of a
  // failure in the user's words, where the store gives one.
  virtual KeychainStatus findPassword(const QString& service, const QString& account, QByteArray* data,
                                      QString* message) = 0;
  virtual KeychainStatus addPassword(const KeychainItem& item, QString* message) = 0;
  virtual KeychainStatus updatePassword(const QString& service, const QString& account, const QByteArray& data,
                                        const QString& label, QString* message) = 0;
  virtual KeychainStatus deletePassword(const QString& service, const QString& account, QString* message) = 0;
};

// The desktop's Secret Service (GNOME Keyring, KWallet) through QtKeychain; null when the
// program was built without QtKeychain. Waits for the store, which may ask the user to unlock it.
std::unique_ptr<Keychain> NewSecretServiceKeychain();

// Items kept in memory for the life of the object; for tests. A failure can be forced.
class InMemoryKeychain : public Keychain {
 public:
  KeychainStatus findPassword(const QString& service, const QString& account, QByteArray* data,
                              QString* message) override;
  KeychainStatus addPassword(const KeychainItem& item, QString* message) override;
  KeychainStatus updatePassword(const QString& service, const QString& account, const QByteArray& data,
                                const QString& label, QString* message) override;
  KeychainStatus deletePassword(const QString& service, const QString& account, QString* message) override;

  const KeychainItem* item(const QString& service, const QString& account) const;
  int count() const { return int(items_.size()); }
  // Every later call fails with this message (empty: none); a null string ends the failures.
  void setFailure(const QString& message) { failure_ = message; }

 private:
  bool failing(QString* message) const;

  QMap<QPair<QString, QString>, KeychainItem> items_;
  QString failure_;
};
