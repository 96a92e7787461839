// The compound-file reader on containers written by the test helper: the mini stream, the
// allocation table beyond the header's 109 entries, refused headers, protection streams and
// damaged chains.
#include "ExcelTestSupport.h"

#include "calculator/fileformats/caCompoundFile.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

namespace {

QByteArray Pattern(qsizetype size) {
  QByteArray bytes(size, '\0');
  for (qsizetype i = 0; i < size; ++i) bytes[i] = char((i * 7 + i / 512) & 0xFF);
  return bytes;
}

QString Failure(const QByteArray& file) {
  QByteArray stream;
  QString failure;
  EXPECT_FALSE(ReadWorkbookStream(file, &stream, &failure));
  return failure;
}

TEST(CompoundFileTest, StreamsOfEverySizeComeOutWhole) {
  // Below the cut-off in the mini stream; exact sectors; the regular chain.
  for (const qsizetype size : {1, 63, 64, 1000, 4095, 4096, 4097, 512 * 20, 100000}) {
    const QByteArray workbook = Pattern(size);
    QByteArray stream;
    QString failure;
    ASSERT_TRUE(ReadWorkbookStream(MakeCompoundFile(workbook), &stream, &failure)) << size << failure.toStdString();
    EXPECT_EQ(stream, workbook) << size;
  }
}

TEST(CompoundFileTest, AWorkbookOverSevenMegabytesIsReadThroughTheExtensionSectors) {
  // 7.5 MB: about 15,000 sectors, more than the 13,952 the header's table reaches.
  const QByteArray workbook = Pattern(7500000);
  const QByteArray file = MakeCompoundFile(workbook);
  ASSERT_GT(qFromLittleEndian<uint32_t>(file.constData() + 72), 0u);  // extension sectors used
  QByteArray stream;
  QString failure;
  ASSERT_TRUE(ReadWorkbookStream(file, &stream, &failure)) << failure.toStdString();
  EXPECT_TRUE(stream == workbook);
}

TEST(CompoundFileTest, HeadersOfOtherKindsAreRefused) {
  const QByteArray good = MakeCompoundFile(Pattern(5000));
  const struct { const char* what; qsizetype offset; uint16_t value; } cases[] = {
      {"version 4", 26, 4},           {"byte order", 28, 0xFEFF},   {"4096-byte sectors", 30, 12},
      {"mini-sector shift", 32, 7},   {"cut-off", 56, 0x2000},      {"signature", 0, 0},
  };
  for (const auto& c : cases) {
    QByteArray file = good;
    qToLittleEndian<uint16_t>(c.value, file.data() + c.offset);
    EXPECT_EQ(Failure(file), QLatin1String(kExcelFormatReason)) << c.what;
  }
  EXPECT_EQ(Failure(good.left(300)), QLatin1String(kExcelFormatReason));
  EXPECT_EQ(Failure(QByteArray()), QLatin1String(kExcelFormatReason));
}

TEST(CompoundFileTest, ProtectionStreamsRefuseWhereverTheyStand) {
  for (const QString& name : {QStringLiteral("encryption"), QStringLiteral("\tDRMContent")})
    EXPECT_EQ(Failure(MakeCompoundFile(Pattern(5000), {name})), QLatin1String(kExcelProtectedReason));
  // Other names, the protection names in other cases included, are no protection.
  QByteArray stream;
  EXPECT_TRUE(ReadWorkbookStream(MakeCompoundFile(Pattern(5000), {QStringLiteral("Encryption"), QStringLiteral("x")}),
                                 &stream, nullptr));
}

TEST(CompoundFileTest, DamagedChainsAndSizesGiveTheFormatMessage) {
  LogCapture quiet;
  const QByteArray good = MakeCompoundFile(Pattern(5000));
  const uint32_t fat = qFromLittleEndian<uint32_t>(good.constData() + 76);
  const uint32_t directory = qFromLittleEndian<uint32_t>(good.constData() + 48);
  auto entryField = [&](qsizetype entry, qsizetype field) { return 512 + qsizetype(directory) * 512 + entry * 128 + field; };
  auto fatEntry = [&](uint32_t sector) { return 512 + qsizetype(fat) * 512 + qsizetype(sector) * 4; };
  auto patched = [&](qsizetype at, uint32_t value) {
    QByteArray file = good;
    qToLittleEndian<uint32_t>(value, file.data() + at);
    return file;
  };
  const struct { const char* what; QByteArray file; } cases[] = {
      {"a stream chain that loops", patched(fatEntry(3), 1)},
      {"a stream chain that ends early", patched(fatEntry(3), 0xFFFFFFFE)},
      {"a stream chain that leaves the file", patched(fatEntry(3), 900000)},
      {"a directory chain that loops", patched(fatEntry(directory), directory)},
      {"a stream larger than the file", patched(entryField(1, 120), 90000000)},
      {"a stream of 4 GiB and more", patched(entryField(1, 124), 1)},
      {"an allocation sector past the file", patched(76, 5000000)}, {"a file cut short", good.left(2000)},
  };
  for (const auto& c : cases) EXPECT_EQ(Failure(c.file), QLatin1String(kExcelFormatReason)) << c.what;

  // A small stream whose mini chain loops.
  const QByteArray small = MakeCompoundFile(Pattern(1000));
  QByteArray looping = small;
  const uint32_t miniFat = qFromLittleEndian<uint32_t>(small.constData() + 60);
  qToLittleEndian<uint32_t>(0, looping.data() + 512 + qsizetype(miniFat) * 512 + 4 * 3);
  EXPECT_EQ(Failure(looping), QLatin1String(kExcelFormatReason));

  LogCapture log;
  char buffer[16];
  EXPECT_FALSE(FetchCBFData(good, 0, 0, buffer, sizeof buffer));
  EXPECT_FALSE(FetchCBFData(good, 0, 17, buffer, sizeof buffer));
  EXPECT_EQ(log.assertMessages().count(QStringLiteral("Bad data location or length")), 2);
}

}  // namespace
