// The Pockwell reader against documents laid out by hand (tools/make_pockwell_samples.py):
// options, formats, cells, formula rewrites, and the refusals of damaged files.
#include "calculator/fileformats/caPockwellImport.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "calculator/model/LocaleTestSupport.h"
#include "calculator/model/ModelTestSupport.h"
#include "support/LogCapture.h"
#include "support/TestData.h"
#include "support/TestFiles.h"
#include "calculator/model/CellNumberTestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cmath>

namespace {

QByteArray Sample(const char* name) { return ReadFileBytes(TestDataPath(QStringLiteral("pockwell/") + QLatin1String(name))); }

// The byte strings of the desktop MIME type's magic for Pockwell files, "\xNN" escapes decoded.
std::vector<QByteArray> PockwellMagic() {
  QFile file(TestDataPath(QStringLiteral("../../resources/com.orvandel.calculator.xml")));
  std::vector<QByteArray> values;
  if (!file.open(QIODevice::ReadOnly)) return values;
  QXmlStreamReader xml(&file);
  bool inPockwell = false;
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement() && xml.name() == QLatin1String("mime-type"))
      inPockwell = xml.attributes().value(QLatin1String("type")) == QLatin1String("application/x-pockwell");
    if (!inPockwell || !xml.isStartElement() || xml.name() != QLatin1String("match")) continue;
    EXPECT_EQ(xml.attributes().value(QLatin1String("offset")), QLatin1String("0"));
    const QString text = xml.attributes().value(QLatin1String("value")).toString();
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
      if (text[i] == QLatin1Char('\\') && i + 3 < text.size() && text[i + 1] == QLatin1Char('x')) {
        bytes.append(char(text.mid(i + 2, 2).toInt(nullptr, 16)));
        i += 3;
      } else {
        bytes.append(char(text[i].unicode()));
      }
    }
    values.push_back(bytes);
  }
  return values;
}

TEST(PockwellImportTest, TheSampleDocumentComesInWithItsOptionsCellsAndFormats) {
  ModelEnvironment environment;
  CADocument document;
  QString failure;
  ASSERT_TRUE(ImportPockwellData(document, Sample("basic.pkwd"), &failure)) << failure.toStdString();
  EXPECT_TRUE(document.titleRow());
  EXPECT_FALSE(document.titleColumn());
  EXPECT_TRUE(document.printLabels());
  EXPECT_EQ(document.defaultDigitCount(), 10);

  const CACell* name = document.cellAtGridPoint({0, 0});
  EXPECT_EQ(name->formula(), QStringLiteral("Name"));
  EXPECT_EQ(name->format()->mask(), uint64_t(kFormatBold));
  const CACell* number = document.cellAtGridPoint({1, 0});
  EXPECT_EQ(NumberIn(number).realValue(), 3.5L);
  EXPECT_EQ(number->format()->numberFormat()->display(), kDisplayFloat);
  const CACell* date = document.cellAtGridPoint({2, 0});
  EXPECT_EQ(date->valueType(), kValueDate);
  EXPECT_EQ(NumberIn(date).integerValue(), 20210305);

  // Formula names become the sheet's; PMT's arguments are in the sheet's order already.
  ASSERT_NE(document.cellAtGridPoint({3, 0}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({3, 0})->formula(), QStringLiteral("=average(B1:B3)"));
  ASSERT_NE(document.cellAtGridPoint({0, 1}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({0, 1})->formula(), QStringLiteral("=pmt(B1,B2,B3)"));
  ASSERT_NE(document.cellAtGridPoint({4, 1}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({4, 1})->formula(), QStringLiteral("Caf\u00e9"));
  ASSERT_NE(document.cellAtGridPoint({4, 1}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({4, 1})->format()->textKolor(), MakeKolor(85, 0, 0));

  // A cell without a value stays only when it has a format.
  ASSERT_NE(document.cellAtGridPoint({1, 2}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({1, 2})->format()->backgroundKolor(), MakeKolor(85, 0, 0));
  EXPECT_EQ(document.cellAtGridPoint({2, 2}), nullptr);
  // Alignment 2 of the format word is centre.
  ASSERT_NE(document.cellAtGridPoint({3, 2}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({3, 2})->format()->alignment(), kAlignmentCenter);

  // Widths in digits go through the document's digit width, widths in points as they are.
  EXPECT_EQ(document.column(1)->width(), int64_t(std::ceil(float(10) * float(document.digitWidth()))) * 12700);
  EXPECT_EQ(document.column(2)->digitCount(), -1);
  EXPECT_EQ(document.column(2)->width(), 50 * 12700);
  EXPECT_TRUE(document.column(3)->format()->underline());
  EXPECT_EQ(document.column(4), nullptr);
  EXPECT_TRUE(document.row(2)->format()->italic());
  EXPECT_TRUE(document.row(3) == nullptr || document.row(3)->format() == nullptr);
}

TEST(PockwellImportTest, FormulaRewrites) {
  const struct { const char* in; const char* out; } cases[] = {
      {"=AVG(A1:A3)", "=average(A1:A3)"}, {"=Pmt(r,n,v)", "=Pmt(r,n,v)"}, {"=pmt(f(a,b),c)", "=pmt(f(a,b),c)"},
      {"=LOG(A1)+LOGB(A2)+LogE(A3)", "=log10(A1)+log2(A2)+ln(A3)"},
      {"=POW(2,3)*PROD(A1:A2)", "=power(2,3)*product(A1:A2)"}, {"=pmt(a,b,c)+pmt(d,e,f)", "=pmt(a,b,c)+pmt(d,e,f)"},
      {"=pmt(a,b", "=pmt(a,b"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(RewritePockwellFormula(QLatin1String(c.in)), QLatin1String(c.out)) << c.in;
}

// A loan's payment keeps Pockwell's argument order, rate first, which is the sheet's, and a
// natural logarithm becomes the sheet's LN; both compute, and follow a changed rate.
TEST(PockwellImportTest, PaymentsAndLogarithmsComputeAsInPockwell) {
  ModelEnvironment environment;
  CADocument document;
  QString failure;
  ASSERT_TRUE(ImportPockwellData(document, Sample("formulas.pkwd"), &failure)) << failure.toStdString();
  document.evaluate();
  // PMT(r, n, v) = -v r / (1 - (1 + r)^-n).
  const auto payment = [](double rate, double periods) { return -1000 * rate / (1 - std::pow(1 + rate, -periods)); };
  const struct {
    GridPoint at;
    const char* formula;
    double before;  // with A1 = 0.01
    double after;   // with A1 = 0.02
  } cases[] = {
      {{0, 1}, "=pmt(A1,12,1000)", payment(0.01, 12), payment(0.02, 12)},
      {{1, 1}, "=pmt(0.01,12,1000)", payment(0.01, 12), payment(0.01, 12)},
      {{2, 1}, "=ln(1)", 0, 0},
      {{3, 1}, "=ln(A1*100)+pmt(A1,B1,1000)", payment(0.01, 12), std::log(2.0) + payment(0.02, 12)},
  };
  for (const auto& c : cases) {
    const CACell* cell = document.cellAtGridPoint(c.at);
    ASSERT_TRUE(cell && cell->number()) << c.formula;
    EXPECT_EQ(cell->formula(), QLatin1String(c.formula));
    EXPECT_NEAR(double(cell->number()->realValue()), c.before, 1e-9) << c.formula;
  }
  ASSERT_NE(document.cellAtGridPoint({0, 1}), nullptr);
  EXPECT_NEAR(double(document.cellAtGridPoint({0, 1})->number()->realValue()), -88.85, 0.005);
  document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("0.02"));
  document.evaluate();
  for (const auto& c : cases) {
    ASSERT_NE(document.cellAtGridPoint(c.at), nullptr);
    ASSERT_TRUE(document.cellAtGridPoint(c.at) && document.cellAtGridPoint(c.at)->number()) << c.formula;
    ASSERT_NE(document.cellAtGridPoint(c.at), nullptr);
    EXPECT_NEAR(double(document.cellAtGridPoint(c.at)->number()->realValue()), c.after, 1e-9) << c.formula;
  }
}

// Pockwell writes "." in numbers and "," between arguments whatever the locale: its formulas
// compute the same in every locale, and follow the rate they read.
TEST(PockwellImportTest, FormulasReadTheSameInEveryLocale) {
  const auto payment = [](double rate, double periods, double value) {
    return -value * rate / (1 - std::pow(1 + rate, -periods));
  };
  const struct {
    double before;  // with B1 = 0.05
    double after;   // with B1 = 0.06
  } cells[] = {{2, 2},
               {11, 11},
               {1024, 1024},
               {payment(0.05, 12, 1000), payment(0.06, 12, 1000)},
               {payment(0.05 / 12, 360, 250000), payment(0.06 / 12, 360, 250000)},
               {payment(0.01, 12, 1000), payment(0.01, 12, 1000)},
               {2.5, 2.5}};
  for (const char* locale : {"en_US", "de_DE", "fr_FR"}) {
    SCOPED_TRACE(locale);
    ModelEnvironment environment;
    const TestLocale user(locale);
    CADocument document;
    QString failure;
    ASSERT_TRUE(ImportPockwellData(document, Sample("arguments.pkwd"), &failure)) << failure.toStdString();
    document.evaluate();
    const auto expect = [&](bool after) {
      for (int64_t x = 0; x < int64_t(std::size(cells)); ++x) {
        const CACell* cell = document.cellAtGridPoint({x, 1});
        ASSERT_TRUE(cell && cell->valueType() == kValueFormula && cell->number())
            << x << " " << (cell ? cell->displayText(false).toStdString() : "no cell");
        const double want = after ? cells[x].after : cells[x].before;
        EXPECT_NEAR(double(cell->number()->realValue()), want, std::fabs(want) * 1e-12) << x;
      }
    };
    expect(false);
    const QChar decimal = NumberTextLocale().decimalSeparatorChar;
    document.cellAtGridPointImperative({1, 0})->setFormula(QStringLiteral("0") + decimal + QStringLiteral("06"));
    document.evaluate();
    expect(true);
  }
}

// Pockwell writes its texts in its own syntax too, "." before the decimals and "," between
// thousands, and its dates month first: one file gives one sheet in every locale. A text that
// is no number there stays a text, and text quoted in a formula stays as written.
TEST(PockwellImportTest, TextsReadTheSameInEveryLocale) {
  const struct {
    GridPoint at;
    int32_t type;
    double value;         // of a number, a date's day index, a formula's result
    const char* formula;  // what the cell holds as text, when it holds one
  } cells[] = {
      {{2, 0}, kValueNumber, 1.5, nullptr},
      {{2, 1}, kValueText, 0, "2,5"},
      {{2, 2}, kValueNumber, 1234.5, nullptr},
      {{2, 3}, kValueNumber, 0.125, nullptr},
      {{2, 4}, kValueText, 0, "1.5.2024"},
      {{3, 0}, kValueFormula, 1236.125, "=SUM(C1:C5)"},
      {{5, 0}, kValueDate, 20240105, nullptr},
      {{6, 0}, kValueText, 0, "1,5"},
  };
  for (const char* locale : {"C", "en_US", "de_DE", "fr_FR"}) {
    SCOPED_TRACE(locale);
    ModelEnvironment environment;
    const TestLocale user(locale);
    CADocument document;
    QString failure;
    ASSERT_TRUE(ImportPockwellData(document, Sample("texts.pkwd"), &failure)) << failure.toStdString();
    document.evaluate();
    for (const auto& c : cells) {
      SCOPED_TRACE(testing::Message() << c.at.x << "," << c.at.y);
      const CACell* cell = document.cellAtGridPoint(c.at);
      ASSERT_NE(cell, nullptr);
      EXPECT_EQ(cell->valueType(), c.type) << cell->displayText(false).toStdString();
      if (c.formula) { EXPECT_EQ(cell->formula(), QString::fromUtf8(c.formula)); }
      if (c.type != kValueText) {
        ASSERT_TRUE(cell->number());
        EXPECT_DOUBLE_EQ(double(cell->number()->realValue()), c.value);
      }
    }
    ASSERT_NE(document.cellAtGridPoint({4, 0}), nullptr);
    EXPECT_EQ(document.cellAtGridPoint({4, 0})->formula(), QStringLiteral("=\"v 1.5\""));
  }
}

TEST(PockwellImportTest, DamagedAndForeignFilesAreRefusedWithTheirMessages) {
  LogCapture quiet;
  const QByteArray basic = Sample("basic.pkwd");
  auto patched = [&](qsizetype at, uint32_t value, int width) {
    QByteArray bytes = basic;
    if (width == 2) qToLittleEndian<uint16_t>(uint16_t(value), bytes.data() + at);
    else qToLittleEndian<uint32_t>(value, bytes.data() + at);
    return bytes;
  };
  const uint32_t cells = qFromLittleEndian<uint32_t>(basic.constData() + 332);
  QByteArray loop = basic;
  // The second record of the first row names the first as its successor.
  qToLittleEndian<uint16_t>(0, loop.data() + cells + 36 + 4);
  QByteArray wrap = basic;
  qToLittleEndian<uint32_t>(0xFFFFFFF0u, wrap.data() + 332);
  qToLittleEndian<uint32_t>(0x20u, wrap.data() + 336);
  const struct { const char* what; QByteArray data; const char* reason; } cases[] = {
      {"version 3", Sample("version3.pkwd"), kPockwellVersionReason},
      {"written big-endian", Sample("bigendian.pkwd"), kPockwellByteOrderReason},
      {"cut short", basic.left(600), kPockwellDamagedReason},
      {"header only", basic.left(200), kPockwellDamagedReason},
      {"string section past the end", patched(332 + 20, 5000, 4), kPockwellDamagedReason},
      {"section whose 32-bit sum wraps", wrap, kPockwellDamagedReason},
      {"row chain past the records", patched(14, 400, 2), kPockwellDamagedReason},
      {"a row whose cells loop", loop, kPockwellDamagedReason},
      {"column records past the end", patched(332 + 28, 1000, 4), kPockwellDamagedReason},
  };
  for (const auto& c : cases) {
    CADocument document;
    QString failure;
    EXPECT_FALSE(ImportPockwellData(document, c.data, &failure)) << c.what;
    EXPECT_EQ(failure, QLatin1String(c.reason)) << c.what;
  }
  // A cell naming a string that is not there fails without a message.
  QByteArray missing = basic;
  qToLittleEndian<uint16_t>(200, missing.data() + cells + 10);
  CADocument document;
  QString failure = QStringLiteral("untouched");
  EXPECT_FALSE(ImportPockwellData(document, missing, &failure));
  EXPECT_TRUE(failure.isEmpty());
}

TEST(PockwellImportTest, OpenDispatchReadsAFileWithoutExtensionByItsContent) {
  ModelEnvironment environment;
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("Budget"));
  ASSERT_TRUE(WriteFileBytes(path, Sample("basic.pkwd")));
  CADocument document;
  FLError error;
  EXPECT_EQ(document.openFile(path, &error), 5) << error.reason.toStdString();
  EXPECT_GT(document.fileCreationDate(), 0);

  const QString old = folder.filePath(QStringLiteral("Old"));
  ASSERT_TRUE(WriteFileBytes(old, Sample("bigendian.pkwd")));
  CADocument other;
  EXPECT_EQ(other.openFile(old, &error), 0);
  EXPECT_EQ(error.reason, QLatin1String(kPockwellByteOrderReason));

  // Files the reader refuses still reach it, so its own message is what the user reads.
  QByteArray fullyBig = Sample("bigendian.pkwd");
  fullyBig[0] = 0;
  fullyBig[1] = 2;
  const struct { const char* name; QByteArray data; const char* reason; } refused[] = {
      {"Version3", Sample("version3.pkwd"), kPockwellVersionReason},
      {"HalfSwapped", Sample("bigendian.pkwd"), kPockwellByteOrderReason},
      {"PowerPC", fullyBig, kPockwellByteOrderReason},
  };
  for (const auto& c : refused) {
    const QString file = folder.filePath(QLatin1String(c.name));
    ASSERT_TRUE(WriteFileBytes(file, c.data));
    EXPECT_EQ(FileTypeForFile(file), kFileTypePockwell) << c.name;
    CADocument refusing;
    FLError refusal;
    EXPECT_EQ(refusing.openFile(file, &refusal), 0) << c.name;
    EXPECT_EQ(refusal.reason, QLatin1String(c.reason)) << c.name;
  }
}

TEST(PockwellImportTest, TheDesktopMimeTypeKnowsPockwellFilesByTheirSignature) {
  const std::vector<QByteArray> magic = PockwellMagic();
  ASSERT_FALSE(magic.empty());
  auto matches = [&](const QByteArray& data) {
    for (const QByteArray& value : magic)
      if (data.startsWith(value)) return true;
    return false;
  };
  QByteArray fullyBig = Sample("bigendian.pkwd");
  fullyBig[0] = 0;
  fullyBig[1] = 2;
  for (const char* name : {"basic.pkwd", "empty.pkwd", "version3.pkwd", "bigendian.pkwd"})
    EXPECT_TRUE(matches(Sample(name))) << name;
  EXPECT_TRUE(matches(fullyBig));
  EXPECT_FALSE(matches(QByteArray("PkwD and some text")));
  EXPECT_FALSE(matches(QByteArray("a,b,c\n1,2,3\n")));
}

TEST(PockwellImportTest, AlignmentsOfTheFormatWordGoLeftCentreRight) {
  const struct { uint32_t bits; int32_t alignment; } cases[] = {
      {0, kAlignmentLeft}, {1, kAlignmentLeft}, {2, kAlignmentCenter}, {3, kAlignmentRight}};
  for (const auto& c : cases) {
    const std::optional<CAFormat> format = CreateFormatFromPockwell(c.bits << 22, 0x00C00000u);
    ASSERT_TRUE(format.has_value());
    EXPECT_EQ(format->alignment(), c.alignment) << c.bits;
    EXPECT_EQ(format->mask(), uint64_t(kFormatAlignment));
  }
}

}  // namespace
