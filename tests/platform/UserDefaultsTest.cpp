#include "platform/UserDefaults.h"

#include "platform/UserFolders.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// Points the preferences folder at a scratch folder for the length of one test.
class UserDefaultsTest : public testing::Test {
 protected:
  UserDefaultsTest() : previous_(qgetenv("XDG_CONFIG_HOME")) { qputenv("XDG_CONFIG_HOME", scratch_.path().toUtf8()); }
  ~UserDefaultsTest() override { qputenv("XDG_CONFIG_HOME", previous_); }

  QString preferenceFile(const QString& domain) const { return PreferencesFolder() + "/" + domain + ".json"; }

  static void WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }

  static QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  QTemporaryDir scratch_;
  QByteArray previous_;
};

QByteArray AllBytes() {
  QByteArray bytes;
  for (int i = 0; i < 256; ++i) bytes.append(char(i));
  return bytes;
}

TEST_F(UserDefaultsTest, EveryKindOfValueSurvivesTheFile) {
  const QVariantMap nested{{"name", "Grüße"}, {"blob", AllBytes()}, {"@data", "a dictionary key"}, {"@@x", 1}};
  struct {
    const char* key;
    QVariant value;
  } cases[] = {
      {"text", QStringLiteral("Grüße, \"quoted\"\n")},
      {"empty text", QString()},
      {"big", QVariant::fromValue<qlonglong>((qlonglong(1) << 62) + 1)},
      {"negative", QVariant::fromValue<qlonglong>(-9223372036854775807LL - 1)},
      {"real", 0.1},
      {"yes", true},
      {"no", false},
      {"data", AllBytes()},
      {"empty data", QByteArray()},
      {"list", QVariantList{1, "two", QVariantList{3.5}, QVariantMap{{"k", false}}}},
      {"empty list", QVariantList()},
      {"dictionary", nested},
      {"empty dictionary", QVariantMap()},
      {"numlet/odd\\key%2F", QStringLiteral("separators in the key")},
  };
  {
    UserDefaults defaults(QStringLiteral("test.roundtrip"));
    for (const auto& c : cases) EXPECT_TRUE(defaults.setObject(c.value, QString::fromUtf8(c.key))) << c.key;
    EXPECT_TRUE(defaults.synchronize());
  }
  // Another program's view: copy the file to a domain this process has never opened.
  WriteFile(preferenceFile("test.copy"), ReadFile(preferenceFile("test.roundtrip")));
  UserDefaults copy(QStringLiteral("test.copy"));
  for (const auto& c : cases) {
    QVariant expected = c.value;
    if (expected.typeId() == QMetaType::Int) expected = QVariant::fromValue<qlonglong>(expected.toLongLong());
    EXPECT_EQ(copy.objectForKey(QString::fromUtf8(c.key)), expected) << c.key;
  }
  EXPECT_EQ(copy.dataForKey("data"), AllBytes());
  EXPECT_EQ(copy.dictionaryForKey("dictionary").value("@data").toString(), QStringLiteral("a dictionary key"));
}

TEST_F(UserDefaultsTest, FileIsPlainJsonWithTheKeysAsGiven) {
  {
    UserDefaults defaults(QStringLiteral("com.orvandel.test"));
    defaults.setBool(true, "numlet.autoComplete");
    defaults.setInteger(3, "a/b");
    defaults.setObject(QByteArray("\x00\x01\x02", 3), "blob");
    defaults.setObject(QStringList{"x", "y"}, "numlet.openFiles");
    defaults.synchronize();
    EXPECT_EQ(defaults.filePath(), preferenceFile("com.orvandel.test"));
  }
  QJsonObject json = QJsonDocument::fromJson(ReadFile(preferenceFile("com.orvandel.test"))).object();
  QJsonObject expected = QJsonDocument::fromJson(R"({
      "numlet.autoComplete": true, "a/b": 3, "blob": {"@data": "AAEC"}, "numlet.openFiles": ["x", "y"]})")
                             .object();
  EXPECT_EQ(json, expected);
}

TEST_F(UserDefaultsTest, RegisteredDefaultsAnswerUntilAValueIsSetAndAreNeverWritten) {
  UserDefaults defaults(QStringLiteral("test.registered"));
  defaults.registerDefaults({{"numlet-pcBase", 2}, {"numlet-pcWordSize", 32}, {"numlet.smartLinks", true}});
  EXPECT_EQ(defaults.integerForKey("numlet-pcBase"), 2);
  EXPECT_TRUE(defaults.boolForKey("numlet.smartLinks"));

  defaults.setInteger(16, "numlet-pcBase");
  defaults.setBool(false, "numlet.smartLinks");
  EXPECT_EQ(defaults.integerForKey("numlet-pcBase"), 16);
  EXPECT_FALSE(defaults.boolForKey("numlet.smartLinks"));

  defaults.removeObjectForKey("numlet-pcBase");
  EXPECT_EQ(defaults.integerForKey("numlet-pcBase"), 2);
  defaults.setObject(QVariant(), "numlet.smartLinks");
  EXPECT_TRUE(defaults.boolForKey("numlet.smartLinks"));

  defaults.setString("kept", "numlet.other");
  defaults.synchronize();
  QJsonObject json = QJsonDocument::fromJson(ReadFile(defaults.filePath())).object();
  EXPECT_EQ(json.keys(), QStringList{"numlet.other"});
}

TEST_F(UserDefaultsTest, TypedReadersConvertAsTheOriginalDid) {
  struct {
    QVariant value;
    QString text;
    int64_t integer;
    double real;
    bool truth;
  } cases[] = {
      {QString("42abc"), "42abc", 42, 42.0, true},
      {QString("  -7 apples"), "  -7 apples", -7, -7.0, true},
      {QString("0.5e1x"), "0.5e1x", 0, 5.0, false},
      {QString("YES"), "YES", 0, 0.0, true},
      {QString("true"), "true", 0, 0.0, true},
      {QString("no"), "no", 0, 0.0, false},
      {QString("000"), "000", 0, 0.0, false},
      {QString("99999999999999999999"), "99999999999999999999", std::numeric_limits<int64_t>::max(), 1e20, true},
      {QString("-99999999999999999999"), "-99999999999999999999", std::numeric_limits<int64_t>::min(), -1e20, true},
      {QString(""), "", 0, 0.0, false},
      {2.9, "2.9", 2, 2.9, true},
      {-2.9, "-2.9", -2, -2.9, true},
      {1e300, "1e+300", std::numeric_limits<int64_t>::max(), 1e300, true},
      {0.0, "0", 0, 0.0, false},
      {true, "1", 1, 1.0, true},
      {false, "0", 0, 0.0, false},
      {QVariant::fromValue<qlonglong>(-12), "-12", -12, -12.0, true},
      {QVariantList{1}, "", 0, 0.0, false},
      {QVariantMap{{"a", 1}}, "", 0, 0.0, false},
      {QByteArray("12"), "", 0, 0.0, false},
      {QVariant(), "", 0, 0.0, false},
  };
  UserDefaults defaults(QStringLiteral("test.typed"));
  int row = 0;
  for (const auto& c : cases) {
    defaults.setObject(c.value, "key");
    EXPECT_EQ(defaults.stringForKey("key"), c.text) << row;
    EXPECT_EQ(defaults.integerForKey("key"), c.integer) << row;
    EXPECT_DOUBLE_EQ(defaults.doubleForKey("key"), c.real) << row;
    EXPECT_EQ(defaults.boolForKey("key"), c.truth) << row;
    ++row;
  }
}

TEST_F(UserDefaultsTest, CollectionReadersAnswerEmptyForOtherKinds) {
  UserDefaults defaults(QStringLiteral("test.collections"));
  defaults.setObject(QVariantList{"a", "b"}, "strings");
  defaults.setObject(QVariantList{"a", 1}, "mixed");
  defaults.setString("a", "text");
  EXPECT_EQ(defaults.stringArrayForKey("strings"), (QStringList{"a", "b"}));
  EXPECT_TRUE(defaults.stringArrayForKey("mixed").isEmpty());
  EXPECT_EQ(defaults.arrayForKey("mixed").size(), 2);
  EXPECT_TRUE(defaults.arrayForKey("text").isEmpty());
  EXPECT_TRUE(defaults.dictionaryForKey("strings").isEmpty());
  EXPECT_TRUE(defaults.dataForKey("text").isEmpty());
}

TEST_F(UserDefaultsTest, RefusesValuesJsonCannotHold) {
  UserDefaults defaults(QStringLiteral("test.refused"));
  EXPECT_FALSE(defaults.setObject(QDateTime::currentDateTimeUtc(), "date"));
  EXPECT_FALSE(defaults.setObject(std::nan(""), "nan"));
  EXPECT_FALSE(defaults.setObject(QVariantList{1, QDateTime::currentDateTimeUtc()}, "list"));
  EXPECT_FALSE(defaults.setObject(1, QString()));
  for (const char* key : {"date", "nan", "list"}) EXPECT_FALSE(defaults.objectForKey(key).isValid()) << key;
}

TEST_F(UserDefaultsTest, DamagedFileIsKeptAsideAndTheDomainStartsAfresh) {
  const QString path = preferenceFile("test.damaged");
  const QByteArray damaged = "{\"numlet.autoComplete\": tru";
  WriteFile(path, damaged);
  {
    UserDefaults defaults(QStringLiteral("test.damaged"));
    EXPECT_FALSE(defaults.objectForKey("numlet.autoComplete").isValid());
    defaults.setBool(true, "numlet.autoComplete");
    EXPECT_TRUE(defaults.synchronize());
  }
  EXPECT_EQ(ReadFile(path + ".damaged"), damaged);
  QJsonObject json = QJsonDocument::fromJson(ReadFile(path)).object();
  EXPECT_EQ(json.value("numlet.autoComplete"), QJsonValue(true));
}

// The process-wide domains keep the folder of their first use, so this runs in the test's own.
TEST(UserDefaults, SharedDomainHasItsOwnFile) {
  EXPECT_TRUE(UserDefaults::sharedDefaults().filePath().endsWith("/Orvandel/com.orvandel.shared.json"));
  EXPECT_NE(UserDefaults::standardUserDefaults().filePath(), UserDefaults::sharedDefaults().filePath());
}

}  // namespace
