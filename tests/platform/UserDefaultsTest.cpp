#include "platform/UserDefaults.h"

#include "platform/UserFolders.h"
#include "support/TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Points the preferences folder at a scratch folder for the length of one test.
class UserDefaultsTest : public testing::Test {
 protected:
  UserDefaultsTest() : previous_(qgetenv("XDG_CONFIG_HOME")) { qputenv("XDG_CONFIG_HOME", scratch_.path().toUtf8()); }
  ~UserDefaultsTest() override { qputenv("XDG_CONFIG_HOME", previous_); }

  QString preferenceFile(const QString& domain) const { return PreferencesFolder() + "/" + domain + ".json"; }

  static void WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    ASSERT_TRUE(WriteFileBytes(path, bytes));
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
  struct { const char* key; QVariant value; } cases[] = {
      {"text", QStringLiteral("Grüße, \"quoted\"\n")},
      {"big", QVariant::fromValue<qlonglong>((qlonglong(1) << 62) + 1)},
      {"negative", QVariant::fromValue<qlonglong>(-9223372036854775807LL - 1)},
      {"real", 0.1}, {"yes", true}, {"data", AllBytes()},
      {"list", QVariantList{1, "two", QVariantList{3.5}, QVariantMap{{"k", false}}}}, {"dictionary", nested},
      {"numlet/odd\\key%2F", QStringLiteral("separators in the key")},
  };
  {
    UserDefaults defaults(QStringLiteral("test.roundtrip"));
    for (const auto& c : cases) EXPECT_TRUE(defaults.setObject(c.value, QString::fromUtf8(c.key))) << c.key;
    EXPECT_TRUE(defaults.synchronize());
  }
  // Another program's view: copy the file to a domain this process has never opened.
  WriteFile(preferenceFile("test.copy"), ReadFileBytes(preferenceFile("test.roundtrip")));
  UserDefaults copy(QStringLiteral("test.copy"));
  for (const auto& c : cases) {
    QVariant expected = c.value;
    if (expected.typeId() == QMetaType::Int) expected = QVariant::fromValue<qlonglong>(expected.toLongLong());
    EXPECT_EQ(copy.objectForKey(QString::fromUtf8(c.key)), expected) << c.key;
  }
  EXPECT_EQ(copy.dataForKey("data"), AllBytes());
  EXPECT_EQ(copy.dictionaryForKey("dictionary").value("@data").toString(), QStringLiteral("a dictionary key"));
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
  QJsonObject json = QJsonDocument::fromJson(ReadFileBytes(defaults.filePath())).object();
  EXPECT_EQ(json.keys(), QStringList{"numlet.other"});
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
  EXPECT_EQ(ReadFileBytes(path + ".damaged"), damaged);
  QJsonObject json = QJsonDocument::fromJson(ReadFileBytes(path)).object();
  EXPECT_EQ(json.value("numlet.autoComplete"), QJsonValue(true));
}

}  // namespace
