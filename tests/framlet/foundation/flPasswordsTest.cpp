#include "framlet/foundation/flPasswords.h"

#include "framlet/foundation/flBase64.h"
#include "support/LogCapture.h"
#include "support/TestData.h"
#include "support/TestFiles.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {

constexpr char kSeed[] = "_3Kq.Wz7P";

QString FromHex(const QString& hex) { return QString::fromUtf8(QByteArray::fromHex(hex.toLatin1())); }

QList<QStringList> VectorLines(const QString& kind) {
  QList<QStringList> lines;
  for (const QByteArray& line : ReadFileBytes(TestDataPath(QStringLiteral("passwords/vectors.txt"))).split('\n')) {
    const QStringList fields = QString::fromUtf8(line).split(QLatin1Char('\t'));
    if (fields.size() == 4 && fields[0] == kind) lines.append(fields);
  }
  return lines;
}

TEST(Passwords, CheckValuesMatchTheKnownValues) {
  EXPECT_EQ(EncryptPassword(QStringLiteral("test"), kSeed), QStringLiteral("LA8JWFoXi2g"));
  const QList<QStringList> lines = VectorLines(QStringLiteral("check"));
  ASSERT_EQ(lines.size(), 11);
  for (const QStringList& fields : lines) {
    const QString password = FromHex(fields[1]);
    EXPECT_EQ(EncryptPassword(password, fields[2].toLatin1().constData()), fields[3]) << fields[1].toStdString();
  }
}

TEST(Passwords, BadSeedsAreReported) {
  const std::pair<const char*, const char*> cases[] = {
      {"_3Kq.Wz7", "Invalid seed"}, {"_3Kq.Wz7!", "Bad encryption character"}, {nullptr, "Invalid seed"}};
  for (const auto& [seed, logged] : cases) {
    LogCapture log;
    EXPECT_TRUE(EncryptPassword(QStringLiteral("test"), seed).isEmpty()) << logged;
    EXPECT_TRUE(log.contains(QLatin1String(logged))) << logged;
  }
}

TEST(Passwords, CellTextsMatchAnIndependentDesAndReadBack) {
  SetEncryptionPassword(QStringLiteral("LA8JWFoXi2g"));
  EXPECT_EQ(EncryptString(QStringLiteral("ABCDEFGH")), QStringLiteral("AFFVQOBSm4QX"));

  const QList<QStringList> lines = VectorLines(QStringLiteral("cipher"));
  ASSERT_EQ(lines.size(), 50);
  LogCapture log;  // the empty texts are reported as unreasonable
  for (const QStringList& fields : lines) {
    SetEncryptionPassword(FromHex(fields[1]));
    const QString plain = FromHex(fields[2]);
    QString sealed = fields[3];
    sealed.replace(QLatin1String("\\n"), QLatin1String("\n"));
    EXPECT_EQ(EncryptString(plain), sealed) << fields[1].toStdString() << " " << fields[2].toStdString();
    const std::optional<QString> opened = UnencryptString(sealed);
    ASSERT_TRUE(opened.has_value()) << fields[3].toStdString();
    EXPECT_EQ(*opened, plain);
  }
}

TEST(Passwords, MalformedCipherTextsGiveNothing) {
  SetEncryptionPassword(QStringLiteral("LA8JWFoXi2g"));
  const struct { QByteArray bytes; const char* reason; } cases[] = {
      {QByteArray(8, '\0'), "Data not a multiple of buffer size"},
      {QByteArray(10, '\0'), "Data not a multiple of buffer size"},
      {QByteArray(1, '\x08') + QByteArray(8, 'x'), "The extra byte count is too large"},
      {QByteArray(1, '\xFF') + QByteArray(8, 'x'), "The extra byte count is too large"},
  };
  for (const auto& c : cases) {
    LogCapture log;
    EXPECT_FALSE(UnencryptString(NewBase64StringFromBytes(c.bytes)).has_value()) << c.reason;
    EXPECT_TRUE(log.contains(QLatin1String(c.reason))) << c.reason;
  }
  LogCapture log;
  EXPECT_FALSE(UnencryptString(QStringLiteral("not*base64")).has_value());
}

TEST(Passwords, TextsThatAreNotUtf8AreRefused) {
  SetEncryptionPassword(QStringLiteral("LA8JWFoXi2g"));
  {
    LogCapture log;
    EXPECT_TRUE(EncryptString(QString(QChar(0xDC00))).isEmpty());
    EXPECT_TRUE(log.contains(QStringLiteral("UTF-8 conversion for encryption failed")));
  }
  // A pad count that cuts the last character in two leaves bytes that are not UTF-8.
  std::optional<QByteArray> sealed = NewDataFromBase64String(EncryptString(QStringLiteral("\u00E9")));
  ASSERT_TRUE(sealed.has_value());
  ASSERT_EQ(sealed->at(0), 6);
  (*sealed)[0] = 7;
  EXPECT_FALSE(UnencryptString(NewBase64StringFromBytes(*sealed)).has_value());
}

}  // namespace
