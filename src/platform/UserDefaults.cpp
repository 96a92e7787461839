// Preference domains over QSettings with a JSON file format of our own.
#include "platform/UserDefaults.h"

#include "platform/StringValues.h"

#include "platform/BundleInfo.h"
#include "platform/UserFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QRegularExpression>
#include <QSettings>

#include <cmath>
#include <limits>

namespace {

// JSON has no bytes: data is written as an object with this one key and Base64 text. Keys of
// stored dictionaries that begin with "@" get one more "@", so no dictionary reads back as data.
constexpr QLatin1StringView kDataKey("@data");

QString EscapeDictionaryKey(const QString& key) {
  return key.startsWith(QLatin1Char('@')) ? QLatin1Char('@') + key : key;
}

QString UnescapeDictionaryKey(const QString& key) {
  return key.startsWith(QLatin1String("@@")) ? key.mid(1) : key;
}

// QSettings reads "/" and "\" in a key as group separators; preference keys are flat names
// and may hold them, so they are percent-escaped on the way in and restored in the file.
QString EscapeSettingsKey(const QString& key) {
  QString escaped;
  escaped.reserve(key.size());
  for (QChar c : key) {
    if (c == QLatin1Char('%'))
      escaped += QLatin1String("%25");
    else if (c == QLatin1Char('/'))
      escaped += QLatin1String("%2F");
    else if (c == QLatin1Char('\\'))
      escaped += QLatin1String("%5C");
    else
      escaped += c;
  }
  return escaped;
}

QString UnescapeSettingsKey(const QString& key) {
  QString plain;
  plain.reserve(key.size());
  for (qsizetype i = 0; i < key.size(); ++i) {
    if (key[i] == QLatin1Char('%') && i + 2 < key.size()) {
      QStringView code = QStringView(key).mid(i + 1, 2);
      if (code == QLatin1String("25")) {
        plain += QLatin1Char('%');
        i += 2;
        continue;
      }
      if (code.compare(QLatin1String("2F"), Qt::CaseInsensitive) == 0) {
        plain += QLatin1Char('/');
        i += 2;
        continue;
      }
      if (code.compare(QLatin1String("5C"), Qt::CaseInsensitive) == 0) {
        plain += QLatin1Char('\\');
        i += 2;
        continue;
      }
    }
    plain += key[i];
  }
  return plain;
}

bool ToJson(const QVariant& value, QJsonValue* out) {
  switch (value.typeId()) {
    case QMetaType::Bool:
      *out = value.toBool();
      return true;
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
      *out = qint64(value.toLongLong());
      return true;
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
      qulonglong u = value.toULongLong();
      if (u <= qulonglong(std::numeric_limits<qint64>::max()))
        *out = qint64(u);
      else
        *out = double(u);
      return true;
    }
    case QMetaType::Float:
    case QMetaType::Double: {
      double d = value.toDouble();
      if (!std::isfinite(d)) return false;
      *out = d;
      return true;
    }
    case QMetaType::QString:
      *out = value.toString();
      return true;
    case QMetaType::QByteArray: {
      QJsonObject data;
      data.insert(kDataKey, QString::fromLatin1(value.toByteArray().toBase64()));
      *out = data;
      return true;
    }
    case QMetaType::QStringList: {
      *out = QJsonArray::fromStringList(value.toStringList());
      return true;
    }
    case QMetaType::QVariantList: {
      QJsonArray array;
      for (const QVariant& element : value.toList()) {
        QJsonValue json;
        if (!ToJson(element, &json)) return false;
        array.append(json);
      }
      *out = array;
      return true;
    }
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash: {
      QJsonObject object;
      const QVariantMap map = value.toMap();
      for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        QJsonValue json;
        if (!ToJson(it.value(), &json)) return false;
        object.insert(EscapeDictionaryKey(it.key()), json);
      }
      *out = object;
      return true;
    }
    default:
      return false;
  }
}

QVariant FromJson(const QJsonValue& json) {
  switch (json.type()) {
    case QJsonValue::Bool:
      return json.toBool();
    case QJsonValue::Double:
      return json.toVariant();  // qlonglong for integers, double otherwise
    case QJsonValue::String:
      return json.toString();
    case QJsonValue::Array: {
      QVariantList list;
      const QJsonArray array = json.toArray();
      list.reserve(array.size());
      for (const QJsonValue& element : array) list.append(FromJson(element));
      return list;
    }
    case QJsonValue::Object: {
      const QJsonObject object = json.toObject();
      if (object.size() == 1 && object.contains(kDataKey) && object.value(kDataKey).isString())
        return QByteArray::fromBase64(object.value(kDataKey).toString().toLatin1());
      QVariantMap map;
      for (auto it = object.constBegin(); it != object.constEnd(); ++it)
        map.insert(UnescapeDictionaryKey(it.key()), FromJson(it.value()));
      return map;
    }
    default:
      return QVariant();
  }
}

// The value as it will read back from the file, so a key answers the same before and after a
// restart (a QStringList comes back as a list of texts, an int as a 64-bit integer).
bool Normalize(const QVariant& value, QVariant* out) {
  QJsonValue json;
  if (!ToJson(value, &json)) return false;
  *out = FromJson(json);
  return true;
}

bool ReadJsonSettings(QIODevice& device, QSettings::SettingsMap& map) {
  QJsonParseError error{};
  QJsonDocument document = QJsonDocument::fromJson(device.readAll(), &error);
  if (error.error != QJsonParseError::NoError || !document.isObject()) return false;
  const QJsonObject object = document.object();
  for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
    if (it.key().isEmpty()) continue;
    QVariant value = FromJson(it.value());
    if (value.isValid()) map.insert(EscapeSettingsKey(it.key()), value);
  }
  return true;
}

bool WriteJsonSettings(QIODevice& device, const QSettings::SettingsMap& map) {
  QJsonObject object;
  for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
    QJsonValue json;
    if (ToJson(it.value(), &json)) object.insert(UnescapeSettingsKey(it.key()), json);
  }
  const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Indented);
  return device.write(bytes) == bytes.size();
}

QSettings::Format JsonFormat() {
  static const QSettings::Format format =
      QSettings::registerFormat(QStringLiteral("json"), ReadJsonSettings, WriteJsonSettings, Qt::CaseSensitive);
  return format;
}

bool IsNumber(const QVariant& value) {
  int type = value.typeId();
  return type == QMetaType::LongLong || type == QMetaType::Double;
}

int64_t ClampToInt64(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 9223372036854775807.0) return std::numeric_limits<int64_t>::max();
  if (d <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
  return int64_t(d);
}

// The leading number of a text, as the original platform's string-to-number conversions read it:
// white space, a sign, digits, and for reals a fraction and exponent; the rest is ignored.
double LeadingReal(const QString& text) {
  static const QRegularExpression pattern(QStringLiteral("^\\s*([+-]?(?:\\d+\\.?\\d*|\\.\\d+)(?:[eE][+-]?\\d+)?)"));
  QRegularExpressionMatch match = pattern.match(text);
  return match.hasMatch() ? match.captured(1).toDouble() : 0.0;
}

bool LeadingTruth(const QString& text) {
  qsizetype i = 0;
  while (i < text.size() && text[i].isSpace()) ++i;
  if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) ++i;
  while (i < text.size() && text[i] == QLatin1Char('0')) ++i;
  if (i >= text.size()) return false;
  QChar c = text[i];
  return c == QLatin1Char('Y') || c == QLatin1Char('y') || c == QLatin1Char('T') || c == QLatin1Char('t') ||
         (c >= QLatin1Char('1') && c <= QLatin1Char('9'));
}

UserDefaults* g_standardDefaults = nullptr;
UserDefaults* g_sharedDefaults = nullptr;

// The process-wide domains are never destroyed; their last changes are written when the
// application object ends.
void SynchronizeProcessDomains() {
  if (g_standardDefaults) g_standardDefaults->synchronize();
  if (g_sharedDefaults) g_sharedDefaults->synchronize();
}

}  // namespace

UserDefaults& UserDefaults::standardUserDefaults() {
  static UserDefaults* defaults = [] {
    g_standardDefaults = new UserDefaults(BundleIdentifier());
    qAddPostRoutine(SynchronizeProcessDomains);
    return g_standardDefaults;
  }();
  return *defaults;
}

UserDefaults& UserDefaults::sharedDefaults() {
  static UserDefaults* defaults = [] {
    g_sharedDefaults = new UserDefaults(QString::fromLatin1(kSharedDefaultsDomain));
    qAddPostRoutine(SynchronizeProcessDomains);
    return g_sharedDefaults;
  }();
  return *defaults;
}

UserDefaults::UserDefaults(const QString& domainName) : domainName_(domainName) {
  QString fileName = domainName;
  fileName.replace(QLatin1Char('/'), QLatin1Char('_'));
  if (fileName.isEmpty()) fileName = QStringLiteral("untitled");
  const QString folder = PreferencesFolder();
  QDir().mkpath(folder);
  filePath_ = folder + QLatin1Char('/') + fileName + QLatin1String(".json");
  settings_ = std::make_unique<QSettings>(filePath_, JsonFormat());
  if (settings_->status() == QSettings::FormatError) {
    // QSettings would never write over a file it cannot read, so every later change would be
    // lost; the damaged file is kept beside it for the user and the domain starts afresh.
    settings_.reset();
    QString aside = filePath_ + QLatin1String(".damaged");
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
      aside = filePath_ + QLatin1String(".damaged-") + QString::number(n);
    if (QFile::rename(filePath_, aside))
      qWarning("Preference file %s could not be read; it was moved to %s.", qPrintable(filePath_), qPrintable(aside));
    else
      qWarning("Preference file %s could not be read; changes will not be saved.", qPrintable(filePath_));
    settings_ = std::make_unique<QSettings>(filePath_, JsonFormat());
  }
}

UserDefaults::~UserDefaults() {
  std::lock_guard guard(lock_);
  settings_->sync();
}

void UserDefaults::registerDefaults(const QVariantMap& defaults) {
  std::lock_guard guard(lock_);
  for (auto it = defaults.constBegin(); it != defaults.constEnd(); ++it) {
    QVariant value;
    if (!it.key().isEmpty() && Normalize(it.value(), &value)) registered_.insert(it.key(), value);
  }
}

QVariant UserDefaults::lookUp(const QString& key) const {
  if (key.isEmpty()) return QVariant();
  std::lock_guard guard(lock_);
  const QString settingsKey = EscapeSettingsKey(key);
  if (settings_->contains(settingsKey)) return settings_->value(settingsKey);
  return registered_.value(key);
}

QVariant UserDefaults::objectForKey(const QString& key) const { return lookUp(key); }

QString UserDefaults::stringForKey(const QString& key) const {
  QVariant value = lookUp(key);
  switch (value.typeId()) {
    case QMetaType::QString:
      return value.toString();
    case QMetaType::LongLong:
      return QString::number(value.toLongLong());
    case QMetaType::Double:
      return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::Bool:
      return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    default:
      return QString();
  }
}

QVariantList UserDefaults::arrayForKey(const QString& key) const {
  QVariant value = lookUp(key);
  return value.typeId() == QMetaType::QVariantList ? value.toList() : QVariantList();
}

QStringList UserDefaults::stringArrayForKey(const QString& key) const {
  QStringList strings;
  for (const QVariant& element : arrayForKey(key)) {
    if (element.typeId() != QMetaType::QString) return QStringList();
    strings.append(element.toString());
  }
  return strings;
}

QVariantMap UserDefaults::dictionaryForKey(const QString& key) const {
  QVariant value = lookUp(key);
  return value.typeId() == QMetaType::QVariantMap ? value.toMap() : QVariantMap();
}

QByteArray UserDefaults::dataForKey(const QString& key) const {
  QVariant value = lookUp(key);
  return value.typeId() == QMetaType::QByteArray ? value.toByteArray() : QByteArray();
}

int64_t UserDefaults::integerForKey(const QString& key) const {
  QVariant value = lookUp(key);
  switch (value.typeId()) {
    case QMetaType::LongLong:
      return value.toLongLong();
    case QMetaType::Double:
      return ClampToInt64(value.toDouble());
    case QMetaType::Bool:
      return value.toBool() ? 1 : 0;
    case QMetaType::QString:
      return LeadingInteger(value.toString());
    default:
      return 0;
  }
}

double UserDefaults::doubleForKey(const QString& key) const {
  QVariant value = lookUp(key);
  if (IsNumber(value)) return value.toDouble();
  if (value.typeId() == QMetaType::Bool) return value.toBool() ? 1.0 : 0.0;
  if (value.typeId() == QMetaType::QString) return LeadingReal(value.toString());
  return 0.0;
}

bool UserDefaults::boolForKey(const QString& key) const {
  QVariant value = lookUp(key);
  switch (value.typeId()) {
    case QMetaType::Bool:
      return value.toBool();
    case QMetaType::LongLong:
      return value.toLongLong() != 0;
    case QMetaType::Double:
      return value.toDouble() != 0.0;
    case QMetaType::QString:
      return LeadingTruth(value.toString());
    default:
      return false;
  }
}

bool UserDefaults::setObject(const QVariant& value, const QString& key) {
  if (key.isEmpty()) return false;
  if (!value.isValid()) {
    removeObjectForKey(key);
    return true;
  }
  QVariant normalized;
  if (!Normalize(value, &normalized)) return false;
  std::lock_guard guard(lock_);
  settings_->setValue(EscapeSettingsKey(key), normalized);
  return true;
}

void UserDefaults::removeObjectForKey(const QString& key) {
  if (key.isEmpty()) return;
  std::lock_guard guard(lock_);
  settings_->remove(EscapeSettingsKey(key));
}

bool UserDefaults::synchronize() {
  std::lock_guard guard(lock_);
  settings_->sync();
  return settings_->status() == QSettings::NoError;
}
