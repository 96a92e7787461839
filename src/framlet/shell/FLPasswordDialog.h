// What the three document-password sheets share: the error line, the keychain check box, OK
// and Cancel, and the password-information record they hand to their caller. Each sheet has its
// own record, so two protected documents asking at once never see each other's password.
#pragma once

#include <QDialog>
#include <QString>
#include <QVariant>

#include <functional>

class QCheckBox;
class QDialogButtonBox;
class QFormLayout;
class QLabel;
class QLineEdit;

// What a password sheet hands its caller: the password (null when none was set or it is to be
// removed), the hint and the caller's context.
struct FLPasswordInfo {
  QString password;
  QString hint;
  QVariant context;
};

inline constexpr const char* kPasswordIncorrect = "Password is incorrect";
inline constexpr const char* kPasswordTooShort = "Password is too short (6 minimum)";
inline constexpr const char* kPasswordTooLong = "Password is too long (511 bytes maximum)";
inline constexpr const char* kPasswordsDontMatch = "Passwords don't match";
inline constexpr const char* kPasswordWarning = "Warning!";
inline constexpr int kMinimumPasswordLength = 6;

class FLPasswordDialog : public QDialog {
  Q_OBJECT

 public:
  // Called when the sheet ends: the sheet, 1 confirmed or 0 cancelled, and its record.
  using Callback = std::function<void(FLPasswordDialog* dialog, int returnCode, const FLPasswordInfo& info)>;

  const FLPasswordInfo& info() const { return info_; }
  QLabel* errorField() const { return errorField_; }
  QCheckBox* keychainBox() const { return keychainBox_; }
  QDialogButtonBox* buttons() const { return buttons_; }
  // Shows the message in red, bold and centred; null hides the field.
  virtual void setError(const QString& message);

  virtual void handleOK() = 0;
  void handleCancel();
  // Opens the sheet on the window (window-modal, not blocking).
  void begin(QWidget* hostWindow, const QVariant& context, Callback callback);

 protected:
  explicit FLPasswordDialog(QWidget* parent);
  // Adds a password field (echo hidden) or a plain one under a label.
  QLineEdit* addField(const QString& objectName, const QString& label, bool secret);
  // Typing into any field calls this; the base clears the error.
  virtual void controlTextDidChange() { setError(QString()); }
  // Refuses: a beep, the message, the focus on the field.
  void refuse(const QString& message, QLineEdit* field);
  // Confirms with the password (null: none) and the hint.
  void confirm(const QString& password, const QString& hint);
  // Whether a hint equal to the password is still wanted; asks the password manager.
  bool hintAccepted(const QString& password, const QString& hint);

  QFormLayout* form_ = nullptr;

 private:
  void finish(int returnCode);

  bool finished_ = false;
  QLabel* errorField_ = nullptr;
  QCheckBox* keychainBox_ = nullptr;
  QDialogButtonBox* buttons_ = nullptr;
  FLPasswordInfo info_;
  Callback callback_;
};

// Whether the typed password gives the stored check value with the seed.
bool PasswordMatches(const QString& typed, const QString& encryptedPassword, const char* seed);
