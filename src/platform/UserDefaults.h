// The user's preferences: one domain per file, "<domain>.json" in the preferences folder, kept
// by QSettings through a JSON format, with registered defaults answering for unset keys. The
// application's own domain is named by its identifier; the maker's programs share "com.orvandel.shared".
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <cstdint>
#include <memory>
#include <mutex>

class QSettings;

inline constexpr const char* kSharedDefaultsDomain = "com.orvandel.shared";

// Values are texts, numbers (64-bit integers or doubles), booleans, arrays, dictionaries and
// data (bytes), nested as deep as the caller likes. Thread-safe; the file is written shortly
// after a change on the event loop, on synchronize(), and when the application object ends.
class UserDefaults {
 public:
  // The application's domain, named by BundleIdentifier().
  static UserDefaults& standardUserDefaults();
  // The domain "com.orvandel.shared", shared with the maker's other programs.
  static UserDefaults& sharedDefaults();

  // The domain's file is <PreferencesFolder()>/<domainName>.json. A file that cannot be read as
  // a JSON object is moved aside to "<file>.damaged" (never deleted) and the domain starts empty.
  explicit UserDefaults(const QString& domainName);
  ~UserDefaults();
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  QString domainName() const { return domainName_; }
  QString filePath() const { return filePath_; }

  // Values used while a key has none of its own; kept in memory only, later calls add or replace.
  void registerDefaults(const QVariantMap& defaults);

  // The stored value, else the registered one, else an invalid QVariant.
  QVariant objectForKey(const QString& key) const;
  // A text, or a number's decimal text; empty otherwise.
  QString stringForKey(const QString& key) const;
  QVariantList arrayForKey(const QString& key) const;
  // The array when every element is a text; empty otherwise.
  QStringList stringArrayForKey(const QString& key) const;
  QVariantMap dictionaryForKey(const QString& key) const;
  QByteArray dataForKey(const QString& key) const;
  // A number (a real truncated toward zero), a boolean as 0 or 1, or a text's leading integer; 0 otherwise.
  int64_t integerForKey(const QString& key) const;
  double doubleForKey(const QString& key) const;
  // A non-zero number, true, or a text "YES"/"true"/"y"/"t" (any case) or one whose integer is non-zero.
  bool boolForKey(const QString& key) const;

  // Stores a value; an invalid QVariant removes the key. Answers false and stores nothing for
  // an empty key or a value that is none of the kinds above (or holds a NaN or infinity).
  bool setObject(const QVariant& value, const QString& key);
  bool setString(const QString& value, const QString& key) { return setObject(value, key); }
  bool setBool(bool value, const QString& key) { return setObject(value, key); }
  bool setInteger(int64_t value, const QString& key) { return setObject(QVariant::fromValue<qlonglong>(value), key); }
  bool setDouble(double value, const QString& key) { return setObject(value, key); }
  void removeObjectForKey(const QString& key);

  // Writes pending changes and takes in changes other processes made to the file.
  bool synchronize();

 private:
  QVariant lookUp(const QString& key) const;

  QString domainName_;
  QString filePath_;
  QVariantMap registered_;
  std::unique_ptr<QSettings> settings_;
  mutable std::mutex lock_;
};
