// The encoding table and the ICU conversions, checked against what Python's codecs make of the
// same bytes (tests/data/encodings, written by tools/make_text_encoding_vectors.py).
#include "platform/TextEncodings.h"

#include "support/TestData.h"
#include "support/TestFiles.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <map>

namespace {

// Python codec -> the system's encoding for the same page.
const std::map<QString, FLStringEncoding>& EncodingsOfCodecs() {
  static const std::map<QString, FLStringEncoding> table = {
      {"mac_roman", kFLEncodingMacRoman}, {"mac_greek", StringEncodingForCodePage(10006)},
      {"mac_cyrillic", StringEncodingForCodePage(10007)}, {"mac_latin2", StringEncodingForCodePage(10029)},
      {"mac_turkish", StringEncodingForCodePage(10081)}, {"cp037", StringEncodingForCodePage(37)},
      {"cp437", StringEncodingForCodePage(437)}, {"cp737", StringEncodingForCodePage(737)},
      {"cp775", StringEncodingForCodePage(775)}, {"cp850", StringEncodingForCodePage(850)},
      {"cp852", StringEncodingForCodePage(852)}, {"cp855", StringEncodingForCodePage(855)},
      {"cp857", StringEncodingForCodePage(857)}, {"cp860", StringEncodingForCodePage(860)},
      {"cp861", StringEncodingForCodePage(861)}, {"cp862", StringEncodingForCodePage(862)},
      {"cp863", StringEncodingForCodePage(863)}, {"cp864", StringEncodingForCodePage(864)},
      {"cp865", StringEncodingForCodePage(865)}, {"cp866", StringEncodingForCodePage(866)},
      {"cp869", StringEncodingForCodePage(869)}, {"cp874", StringEncodingForCodePage(874)},
      {"cp1250", kFLEncodingWindowsLatin2}, {"cp1251", kFLEncodingWindowsCyrillic},
      {"cp1252", kFLEncodingWindowsLatin1}, {"cp1253", kFLEncodingWindowsGreek},
      {"cp1254", kFLEncodingWindowsTurkish}, {"cp1255", StringEncodingForCodePage(1255)},
      {"cp1256", StringEncodingForCodePage(1256)}, {"cp1257", StringEncodingForCodePage(1257)},
      {"cp1258", StringEncodingForCodePage(1258)}, {"latin_1", kFLEncodingISOLatin1},
      {"iso8859_2", kFLEncodingISOLatin2}, {"iso8859_6", StringEncodingForCodePage(708)}, {"ascii", kFLEncodingASCII},
      {"shift_jis", kFLEncodingShiftJIS}, {"cp932", StringEncodingForCodePage(932)},
      {"euc_jp", kFLEncodingJapaneseEUC}, {"iso2022_jp", kFLEncodingISO2022JP},
      {"gbk", StringEncodingForCodePage(936)}, {"big5", StringEncodingForCodePage(950)},
      {"cp949", StringEncodingForCodePage(949)}, {"utf_16_be", kFLEncodingUTF16BigEndian},
      {"utf_16_le", kFLEncodingUTF16LittleEndian}, {"utf_32_be", kFLEncodingUTF32BigEndian},
      {"utf_32_le", kFLEncodingUTF32LittleEndian}, {"utf_8", kFLEncodingUTF8},
  };
  return table;
}

QStringList DataLines(const QString& name) {
  return QString::fromUtf8(ReadFileBytes(TestDataPath("encodings/" + name))).split('\n', Qt::SkipEmptyParts);
}

TEST(TextEncodings, SingleBytePagesDecodeEveryByteAsPythonDoes) {
  const QStringList lines = DataLines("single_byte.txt");
  ASSERT_EQ(lines.size(), 35);
  for (const QString& line : lines) {
    const QStringList fields = line.split(' ');
    ASSERT_EQ(fields.size(), 257) << qPrintable(line.left(20));
    const QString& codec = fields[0];
    ASSERT_TRUE(EncodingsOfCodecs().count(codec)) << qPrintable(codec);
    const FLStringEncoding encoding = EncodingsOfCodecs().at(codec);
    ASSERT_TRUE(IsEncodingAvailable(encoding)) << qPrintable(codec);
    for (int b = 0; b < 256; ++b) {
      const QString& expected = fields[b + 1];
      const std::optional<QString> text = DecodeText(QByteArray(1, char(b)), encoding);
      if (expected == "-") continue;  // left undefined by Python; ICU may map it or not
      ASSERT_TRUE(text.has_value()) << qPrintable(codec) << " byte " << b;
      ASSERT_EQ(text->size(), 1) << qPrintable(codec) << " byte " << b;
      EXPECT_EQ(text->at(0).unicode(), expected.toUShort(nullptr, 16)) << qPrintable(codec) << " byte " << b;
      // Every byte that reads as a character writes back as the same byte.
      const std::optional<QByteArray> back = EncodeText(*text, encoding);
      ASSERT_TRUE(back.has_value()) << qPrintable(codec) << " byte " << b;
      EXPECT_EQ(*back, QByteArray(1, char(b))) << qPrintable(codec) << " byte " << b;
    }
  }
}

TEST(TextEncodings, MultiByteSamplesMatchPython) {
  const QStringList lines = DataLines("multi_byte.txt");
  ASSERT_EQ(lines.size(), 12);
  for (const QString& line : lines) {
    const QStringList fields = line.split('\t');
    ASSERT_EQ(fields.size(), 3);
    const QString& codec = fields[0];
    ASSERT_TRUE(EncodingsOfCodecs().count(codec)) << qPrintable(codec);
    const FLStringEncoding encoding = EncodingsOfCodecs().at(codec);
    const QString text = QString::fromUtf8(QByteArray::fromHex(fields[1].toLatin1()));
    const QByteArray bytes = QByteArray::fromHex(fields[2].toLatin1());
    EXPECT_EQ(DecodeText(bytes, encoding), text) << qPrintable(codec);
    EXPECT_EQ(EncodeText(text, encoding), bytes) << qPrintable(codec);
  }
}

TEST(TextEncodings, StrictConversionsRefuseWhatLossyOnesReplace) {
  // Invalid UTF-8, a truncated Shift-JIS pair, and a byte ASCII does not define.
  const struct { FLStringEncoding encoding; QByteArray bytes; QString lossy; } cases[] = {
      {kFLEncodingUTF8, QByteArray("a\xC3(b"), QString::fromUtf16(u"a\uFFFD(b")},
      {kFLEncodingShiftJIS, QByteArray("x\x93"), QString::fromUtf16(u"x\uFFFD")},
      {kFLEncodingASCII, QByteArray("A\xE9"), QString::fromUtf16(u"A\uFFFD")},
      {StringEncodingForCodePage(708), QByteArray("\xA1"), QString::fromUtf16(u"\uFFFD")},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(DecodeText(c.bytes, c.encoding).has_value()) << c.encoding;
    EXPECT_EQ(DecodeText(c.bytes, c.encoding, true), c.lossy) << c.encoding;
  }
  EXPECT_FALSE(EncodeText(u"caf\u00E9 \u4E00", kFLEncodingMacRoman).has_value());
  const std::optional<QByteArray> lossy = EncodeText(u"caf\u00E9 \u4E00", kFLEncodingMacRoman, true);
  ASSERT_TRUE(lossy.has_value());
  EXPECT_EQ(lossy->left(5), QByteArray("caf\x8E "));
  EXPECT_EQ(lossy->size(), 6);
  // A lone surrogate has no bytes in any encoding.
  EXPECT_FALSE(EncodeText(QString(QChar(0xD800)), kFLEncodingUTF8).has_value());
}

}  // namespace
