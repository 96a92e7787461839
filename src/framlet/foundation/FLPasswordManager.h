// Document passwords kept in the user's keychain, when the user has chosen so, so that a
// protected document opens without asking: one generic password per document, whose account is
// the document's path. A stored password counts only while it still gives the document's check value.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class Keychain;
class UserDefaults;

class FLPasswordManager {
 public:
  // Asks the user to confirm (message, information, confirming button, cancelling button);
  // true when the user confirms. The shell installs its alert.
  using ConfirmHook = std::function<bool(const QString& message, const QString& information,
                                         const QString& confirmButton, const QString& cancelButton)>;

  // The application's manager, over the standard user defaults. It has no keychain until the
  // application gives it one at launch (setKeychain(NewSecretServiceKeychain())); until then
  // nothing is found and storing fails with a logged message.
  static FLPasswordManager& sharedInstance();

  // A manager over the given keychain (may be null) and defaults; for tests.
  FLPasswordManager(std::unique_ptr<Keychain> keychain, UserDefaults& defaults);
  ~FLPasswordManager();
  FLPasswordManager(const FLPasswordManager&) = delete;
  FLPasswordManager& operator=(const FLPasswordManager&) = delete;

  void setKeychain(std::unique_ptr<Keychain> keychain);
  void setConfirmHook(ConfirmHook hook) { confirmHook_ = std::move(hook); }

  // Whether passwords are kept in the keychain; the setter also stores the choice in the
  // user defaults under keychainKey().
  bool useKeychain() const { return useKeychain_; }
  void setUseKeychain(bool useKeychain);

  // The stored password of the document at `account` when it still gives `expected` with
  // `seed`; a password that no longer does is deleted. Null when there is none.
  QString passwordFromKeychain(const QString& account, const QString& expected, const char* seed);
  // The stored password text, or null when the look-up does not succeed.
  QString passwordForService(const QString& service, const QString& account);
  // Stores (or, when the keychain is not in use or the password is empty, deletes) the
  // document's password under this manager's service, label and description.
  void storePassword(const QString& password, const QString& account, const QString& comment);
  // Adds, updates or (for an empty password) deletes one item; failures are logged only.
  void storePassword(const QString& password, const QString& service, const QString& account, const QString& label,
                     const QString& description, const QString& comment);

  // Warns that the hint is the password itself; true when the user goes ahead all the same.
  bool confirmBadHint();

  uint32_t creatorCode() const { return creatorCode_; }
  void setCreatorCode(uint32_t code) { creatorCode_ = code; }
  // Null until set.
  QString description() const { return description_.value_or(QString()); }
  void setDescription(const QString& description) { description_ = description; }
  const QString& keychainKey() const { return keychainKey_; }
  void setKeychainKey(const QString& key) { keychainKey_ = key; }
  const QString& label() const { return label_; }
  void setLabel(const QString& label) { label_ = label; }
  const QString& service() const { return service_; }
  void setService(const QString& service) { service_ = service; }

 private:
  std::unique_ptr<Keychain> keychain_;
  UserDefaults* defaults_;
  ConfirmHook confirmHook_;
  QString service_;
  QString label_;
  std::optional<QString> description_;
  QString keychainKey_;
  bool useKeychain_ = false;
  uint32_t creatorCode_ = 0;
};
