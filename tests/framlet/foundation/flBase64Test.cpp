#include "framlet/foundation/flBase64.h"

#include "support/LogCapture.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace {

QString Encode(const QByteArray& bytes) { return NewBase64StringFromBytes(bytes); }

// The standard encoding by Qt's own encoder, broken into lines of 76 as our writer does.
QString ReferenceEncoding(const QByteArray& bytes) {
  const QByteArray plain = bytes.toBase64();
  QByteArray lines;
  for (qsizetype i = 0; i < plain.size(); i += 76) {
    if (i) lines.append('\n');
    lines.append(plain.mid(i, 76));
  }
  return QString::fromLatin1(lines);
}

TEST(Base64, EncodesAndDecodesTheRfc4648Vectors) {
  const struct {
    const char* bytes;
    const char* text;
  } cases[] = {{"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
               {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
               {"abc", "YWJj"},      {"ab", "YWI="}};
  for (const auto& c : cases) {
    EXPECT_EQ(Encode(QByteArray(c.bytes)), QLatin1String(c.text)) << c.bytes;
    const std::optional<QByteArray> decoded = NewDataFromBase64String(QLatin1String(c.text));
    ASSERT_TRUE(decoded.has_value()) << c.text;
    EXPECT_EQ(*decoded, QByteArray(c.bytes)) << c.text;
  }
}

TEST(Base64, BreaksLinesAfterEvery76CharactersButNeverAtTheEnd) {
  const QString exact = Encode(QByteArray(57, 'x'));
  EXPECT_EQ(exact.size(), 76);
  EXPECT_FALSE(exact.contains(QLatin1Char('\n')));

  const QString longer = Encode(QByteArray(58, 'x'));
  ASSERT_EQ(longer.size(), 76 + 1 + 4);
  EXPECT_EQ(longer.indexOf(QLatin1Char('\n')), 76);

  const QString twoFullLines = Encode(QByteArray(114, 'x'));
  EXPECT_EQ(twoFullLines.size(), 76 + 1 + 76);
  EXPECT_FALSE(twoFullLines.endsWith(QLatin1Char('\n')));
}

TEST(Base64, AgreesWithAnIndependentEncoderAndRoundTripsAnyBytes) {
  QRandomGenerator random(4648);
  for (int length = 1; length <= 400; ++length) {
    QByteArray bytes(length, '\0');
    for (char& byte : bytes) byte = char(random.bounded(256));
    const QString text = Encode(bytes);
    ASSERT_EQ(text, ReferenceEncoding(bytes)) << length;
    const std::optional<QByteArray> decoded = NewDataFromBase64String(text);
    ASSERT_TRUE(decoded.has_value()) << length;
    ASSERT_EQ(*decoded, bytes) << length;
  }
}

TEST(Base64, RejectsCharactersOutsideTheAlphabetWithTheirReason) {
  const struct { QString text; const char* reason; } cases[] = {
      {QStringLiteral("Zm9v*mFy"), "Illegal base64 character"},
      {QStringLiteral("Zm9v YmFy"), "base64 character out of range"},
      {QStringLiteral("Zm9v\tYmFy"), "base64 character out of range"},
      {QStringLiteral("Zm9v\u00E9"), "base64 character out of range"},
      {QString(QChar(0xD800)), "Can't convert string to ASCII"},
  };
  for (const auto& c : cases) {
    LogCapture log;
    EXPECT_FALSE(NewDataFromBase64String(c.text).has_value()) << c.text.toStdString();
    EXPECT_TRUE(log.contains(QLatin1String(c.reason))) << c.text.toStdString();
  }
}

TEST(Base64, PaddingInTheMiddleEndsTheDataAndIsReported) {
  LogCapture log;
  const std::optional<QByteArray> decoded = NewDataFromBase64String(QStringLiteral("YQ==YWJj"));
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(*decoded, QByteArray("a"));
  EXPECT_TRUE(log.contains(QStringLiteral("Unexpected pad character found mid-stream")));

  log.clear();
  EXPECT_EQ(NewDataFromBase64String(QStringLiteral("YQ==")).value(), QByteArray("a"));
  EXPECT_TRUE(log.entries().isEmpty());
}

}  // namespace
