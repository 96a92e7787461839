// Reading the native package: every element of the golden package, text cells, pictures, the two
// halves of a protected package, and damaged or hostile packages, which open with a clear error
// or a stated fallback and never crash.
#include "calculator/fileformats/caPackageReader.h"
#include "calculator/model/CANumberFormat.h"
#include "calculator/model/caDocumentXml.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/flFonts.h"
#include "framlet/foundation/flImageSupport.h"
#include "framlet/foundation/flPasswords.h"
#include "platform/NotificationCenter.h"
#include "PackageTestSupport.h"
#include "calculator/model/LocaleTestSupport.h"
#include "calculator/model/SheetTestSupport.h"
#include "SampleDocument.h"
#include "calculator/model/CellNumberTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <vector>

namespace {

const QString kDeclaration = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");

class PackageReaderTest : public PackageTest {
 protected:
  PackageReaderTest() { document.setController(&window); }
  ~PackageReaderTest() override { document.setController(nullptr); }

  // Opens a package whose window was stored with this frame into a window of its own.
  void openWithFrame(FakePackageWindow& shown, const QString& name, const char* frame) {
    CADocument opened;
    opened.setController(&shown);
    const QString body = QStringLiteral("<frame>%1</frame>").arg(QLatin1String(frame));
    EXPECT_EQ(opened.openFile(package(name, body), nullptr), kFileTypeNative) << frame;
    opened.setController(nullptr);
  }
  // A package whose "document.xml" is the body inside "spreadsheet".
  QString package(const QString& name, const QString& body) {
    const QString path = scratch(name);
    EXPECT_TRUE(QDir().mkpath(path));
    EXPECT_TRUE(WriteFileBytes(path + QStringLiteral("/document.xml"),
                               (kDeclaration + QStringLiteral("<spreadsheet ver=\"1\">\n") + body +
                                QStringLiteral("</spreadsheet>\n"))
                                   .toUtf8()));
    return path;
  }
  int32_t open(const QString& path, FLError* error = nullptr) { return document.openFile(path, error); }

  FakePackageWindow window;
  CADocument document;
};

// ---- The golden package --------------------------------------------------------------------------

TEST_F(PackageReaderTest, GoldenPackageSetsEveryElement) {
  const QString path = PackageFixture(QStringLiteral("Sample.Numlet"));
  LogCapture log;
  ASSERT_EQ(open(path), kFileTypeNative);
  EXPECT_TRUE(log.assertMessages().isEmpty()) << log.entries().join(QLatin1Char('\n')).toStdString();
  EXPECT_EQ(document.filePath(), path);
  EXPECT_EQ(window.titleChanges, 1);
  EXPECT_FALSE(document.opening());

  // The fixture is written by hand; the sample document states the same sheet through the setters.
  CADocument sample;
  FillSampleDocument(sample);
  ExpectSameSheet(sample, document);
  EXPECT_TRUE(document.defaultFormat().isDefaultFormat());
  EXPECT_EQ(document.column(5)->format()->alignment(), kAlignmentRight);

  // The window: placed at once, the panel left as it is (state 1), scrolled on the next turn.
  EXPECT_EQ(window.placedRects, std::vector<QRectF>{QRectF(10, 20, 800, 600.5)});
  EXPECT_EQ(window.formatPanelClosings, 0);
  EXPECT_TRUE(window.scrolledTo.isEmpty());
  DeliverQueuedWork();
  EXPECT_EQ(window.scrolledTo, QStringList{QStringLiteral("0,1")});

  ASSERT_EQ(document.pictures().size(), 1);
  const std::shared_ptr<CAPicture> picture = document.pictures().value(QLatin1String(kSamplePictureGuid));
  ASSERT_TRUE(picture);
  ASSERT_NE(document.cellAtGridPoint({6, 0}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({6, 0})->picture(), picture);
  EXPECT_EQ(picture->image()->bitmap().size(), QSize(3, 2));
}

// ---- What elements mean --------------------------------------------------------------------------

TEST_F(PackageReaderTest, TextCellsComeBackAsTextNotAsNumbers) {
  const QString body = QStringLiteral(
      "<rows><row y=\"0\"><cells>"
      "<cell x=\"0\" y=\"0\" type=\"s\"><f>007</f><val>i7</val></cell>"
      "<cell x=\"1\" y=\"0\" type=\"s\"><f>1/2/2024</f></cell>"
      "<cell x=\"2\" y=\"0\" type=\"s\"><f>=1+2</f></cell>"
      "<cell x=\"3\" y=\"0\" type=\"link\"><f>mailto:ann@example.com</f></cell>"
      "</cells></row></rows>");
  ASSERT_EQ(open(package(QStringLiteral("Texts.Numlet"), body)), kFileTypeNative);
  const char* texts[] = {"007", "1/2/2024", "=1+2"};
  for (int64_t x = 0; x < 3; ++x) {
    const CACell* cell = document.cellAtGridPoint({x, 0});
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->valueType(), kValueText) << texts[x];
    EXPECT_EQ(cell->formula(), QLatin1String(texts[x]));
    EXPECT_FALSE(cell->number()) << texts[x];
  }
  ASSERT_NE(document.cellAtGridPoint({3, 0}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({3, 0})->valueType(), kValueLink);
}

// A package records the separators its formulas were typed with: opened under a locale with the
// other decimal separator every formula keeps its value, and the text stays what it says.
TEST_F(PackageReaderTest, FormulasKeepTheirValuesUnderAnotherDecimalSeparator) {
  const auto valuesOf = [](CADocument& sheet, int64_t count) {
    sheet.recalcEverything();
    sheet.evaluate();
    std::vector<double> values;
    for (int64_t y = 0; y < count; ++y) {
      const CACell* cell = sheet.cellAtGridPoint({1, y});
      values.push_back(cell && cell->number() ? double(cell->number()->realValue()) : -1.0);
    }
    return values;
  };
  const auto saved = [&](const QString& name, const std::vector<QString>& formulas) {
    CADocument sheet;
    sheet.cellAtGridPointImperative({0, 0})->setNumberValue(CANumber(4));
    for (size_t y = 0; y < formulas.size(); ++y)
      sheet.cellAtGridPointImperative({1, int64_t(y)})->setFormula(formulas[y]);
    const std::vector<double> values = valuesOf(sheet, int64_t(formulas.size()));
    FLError error;
    const QString path = scratch(name);
    EXPECT_TRUE(sheet.saveToNativeFile(path, false, &error)) << error.reason.toStdString();
    return std::pair(path, values);
  };

  // Typed with the decimal point, opened with the decimal comma.
  const std::vector<QString> pointFormulas = {QStringLiteral("=A1*1.5"), QStringLiteral("=SUM(1,5)"),
                                              QStringLiteral("=SUM(A1,2.5,0.25)"), QStringLiteral("=2.5E1+A1")};
  const auto [pointPath, pointValues] = saved(QStringLiteral("Point.Numlet"), pointFormulas);
  EXPECT_EQ(pointValues, (std::vector<double>{6, 6, 6.75, 29}));
  EXPECT_TRUE(ReadFileText(pointPath + QStringLiteral("/document.xml"))
                  .contains(QStringLiteral("<separators>.,</separators>")));
  {
    const GermanNumberLocale german;
    CADocument opened;
    ASSERT_EQ(opened.openFile(pointPath, nullptr), kFileTypeNative);
    EXPECT_EQ(valuesOf(opened, 4), pointValues);
    ASSERT_NE(opened.cellAtGridPoint({1, 0}), nullptr);
    EXPECT_EQ(opened.cellAtGridPoint({1, 0})->formula(), QStringLiteral("=A1*1,5"));
    ASSERT_NE(opened.cellAtGridPoint({1, 0}), nullptr);
    EXPECT_EQ(opened.cellAtGridPoint({1, 0})->parseResult(), 0);
  }

  // Typed with the decimal comma, opened with the point.
  std::vector<double> commaValues;
  QString commaPath;
  {
    const GermanNumberLocale german;
    const std::vector<QString> commaFormulas = {QStringLiteral("=A1*1,5"), QStringLiteral("=SUM(1,5)"),
                                                QStringLiteral("=SUM(1 ,5)"), QStringLiteral("=SUM(A1,0,25)")};
    std::tie(commaPath, commaValues) = saved(QStringLiteral("Comma.Numlet"), commaFormulas);
    EXPECT_TRUE(ReadFileText(commaPath + QStringLiteral("/document.xml"))
                    .contains(QStringLiteral("<separators>,,</separators>")));
  }
  EXPECT_EQ(commaValues, (std::vector<double>{6, 1.5, 6, 4.25}));
  CADocument opened;
  ASSERT_EQ(opened.openFile(commaPath, nullptr), kFileTypeNative);
  EXPECT_EQ(valuesOf(opened, 4), commaValues);
  ASSERT_NE(opened.cellAtGridPoint({1, 1}), nullptr);
  EXPECT_EQ(opened.cellAtGridPoint({1, 1})->formula(), QStringLiteral("=SUM(1.5)"));

  // A package without the element reads its formulas as the user types them, as it always did.
  const QString plain = package(QStringLiteral("Plain.Numlet"),
                                QStringLiteral("<rows><row y=\"0\"><cells><cell x=\"1\" y=\"0\" type=\"f\">"
                                               "<f>=SUM(1,5)</f></cell></cells></row></rows>"));
  {
    const GermanNumberLocale german;
    CADocument old;
    ASSERT_EQ(old.openFile(plain, nullptr), kFileTypeNative);
    ASSERT_NE(old.cellAtGridPoint({1, 0}), nullptr);
    EXPECT_EQ(old.cellAtGridPoint({1, 0})->formula(), QStringLiteral("=SUM(1,5)"));
  }
}

// Some tools store a frame of zero size; a window of that size (or one too small to show the
// grid) would leave the user nothing to work in, so the window takes the standard size.
TEST_F(PackageReaderTest, AFrameTooSmallForTheGridGivesTheStandardSize) {
  struct Case {
    const char* frame;
    bool placed;
  };
  const Case cases[] = {
      {"{{0, 0}, {0, 0}}", false},     {"{{120, 80}, {400, 111}}", false}, {"{{5, 5}, {199.5, 600}}", false},
      {"{{5, 5}, {200, 150}}", true},  {"{{10, 20}, {800, 600}}", true},
  };
  int count = 0;
  for (const Case& c : cases) {
    FakePackageWindow shown;
    openWithFrame(shown, QStringLiteral("Frame%1.Numlet").arg(++count), c.frame);
    EXPECT_EQ(shown.placedRects.size(), c.placed ? 1u : 0u) << c.frame;
    EXPECT_EQ(shown.standardSizings, c.placed ? 0 : 1) << c.frame;
  }
}

// A frame far off any screen (a damaged file, another program's numbers) comes to the window
// within the coordinates a window system takes, its size kept where it can be.
TEST_F(PackageReaderTest, AFrameFarOffTheGridIsBroughtWithinReachWhenRead) {
  const double far = kFarthestWindowEdge;
  const struct {
    const char* frame;
    QRectF placed;
  } cases[] = {
      {"{{3000000000, -3000000000}, {90000, 90000}}", {far - 90000, -far, 90000, 90000}},
      {"{{-2147483648, -2147483648}, {400, 300}}", {-far, -far, 400, 300}},
      {"{{1e300, 5}, {1e300, 300}}", {0, 5, far, 300}},
      {"{{10, 20}, {800, 600}}", {10, 20, 800, 600}},
  };
  int count = 0;
  for (const auto& c : cases) {
    FakePackageWindow shown;
    openWithFrame(shown, QStringLiteral("Far%1.Numlet").arg(++count), c.frame);
    EXPECT_EQ(shown.placedRects, std::vector<QRectF>{c.placed}) << c.frame;
  }
}

// ---- Pictures ------------------------------------------------------------------------------------

TEST_F(PackageReaderTest, AnUnreadableImageFailsTheOpen) {
  const QString path = package(QStringLiteral("BadPicture.Numlet"), QString());
  ASSERT_TRUE(QDir().mkpath(path + QStringLiteral("/Images")));
  ASSERT_TRUE(WriteFileBytes(path + QStringLiteral("/Images/XYZ.png"), "no picture here"));
  FLError error;
  EXPECT_EQ(open(path, &error), 0);
  EXPECT_EQ(error.domain, QLatin1String(kFLOSStatusErrorDomain));
  EXPECT_EQ(error.code, -43);
  EXPECT_EQ(error.reason, QStringLiteral("An image could not be read"));
  EXPECT_FALSE(document.opening());
}

TEST_F(PackageReaderTest, PicturesOfAnArchiveMustHaveSafeIds) {
  const QByteArray png = ReadFileBytes(TestDataPath(QStringLiteral("images/opaque-3x2.png")));
  const QString data = QString::fromLatin1(png.toBase64());
  const QString archive = kDeclaration + QStringLiteral("<spreadsheet><pix>") +
                          QStringLiteral("<pic id=\"../../escape\" format=\"png\">") + data + QStringLiteral("</pic>") +
                          QStringLiteral("<pic id=\"GOOD-1\" format=\"png\">") + data + QStringLiteral("</pic>") +
                          QStringLiteral("<pic id=\"BAD-2\" format=\"png\">!!not base64!!</pic>") +
                          QStringLiteral("</pix><rows><row y=\"0\"><cells>") +
                          QStringLiteral("<cell x=\"0\" y=\"0\" type=\"image\"><pic>../../escape</pic></cell>") +
                          QStringLiteral("<cell x=\"1\" y=\"0\" type=\"image\"><pic>GOOD-1</pic></cell>") +
                          QStringLiteral("</cells></row></rows></spreadsheet>");
  CADocument pasted;
  LogCapture log;
  std::unique_ptr<FLXmlDecoder> decoder = FLXmlDecoder::withString(archive);
  pasted.loadFromXml(*decoder);
  EXPECT_TRUE(log.assertMessages().contains(QStringLiteral("Picture id refused")));
  EXPECT_EQ(pasted.pictures().keys(), QStringList{QStringLiteral("GOOD-1")});
  ASSERT_NE(pasted.cellAtGridPoint({0, 0}), nullptr);
  EXPECT_FALSE(pasted.cellAtGridPoint({0, 0})->picture());
  ASSERT_NE(pasted.cellAtGridPoint({1, 0}), nullptr);
  EXPECT_TRUE(pasted.cellAtGridPoint({1, 0})->picture());

  // Saved in place, nothing is written outside the package.
  const QString path = scratch(QStringLiteral("inner/Pasted.Numlet"));
  ASSERT_TRUE(QDir().mkpath(scratch(QStringLiteral("inner"))));
  FLError error;
  ASSERT_TRUE(pasted.saveToNativeFile(path, true, &error)) << error.reason.toStdString();
  EXPECT_EQ(FolderEntries(path + QStringLiteral("/Images")), QStringList{QStringLiteral("GOOD-1.png")});
  EXPECT_EQ(FolderEntries(folder.path()), QStringList{QStringLiteral("inner")});
}

// ---- Protected packages --------------------------------------------------------------------------

// Stands in for the window controller's half of a protected open: asked on "numlet.password",
// it checks the typed password against the stored check value and reads the XML when it fits.
class PasswordWindow {
 public:
  PasswordWindow(CADocument& document, QString typed) : document_(document), typed_(std::move(typed)) {
    observer_ = NotificationCenter::defaultCenter().addObserver(QLatin1String(kPasswordNotification), &document_,
                                                               [this](const Notification&) { answer(); });
  }
  int asked = 0;
  bool valid = false;
  bool loaded = false;

 private:
  void answer() {
    ++asked;
    valid = EncryptPassword(typed_, "_3Kq.Wz7P") == document_.password();
    if (valid) loaded = document_.loadXmlFile();
  }
  CADocument& document_;
  QString typed_;
  NotificationObserver observer_;
};

TEST_F(PackageReaderTest, AProtectedPackageOpensInTwoHalves) {
  PasswordWindow controller(document, QStringLiteral("test"));
  const QString path = PackageFixture(QStringLiteral("Protected.Numlet"));
  ASSERT_EQ(open(path), kFileTypeNative);
  EXPECT_EQ(document.password(), QStringLiteral("LA8JWFoXi2g"));
  EXPECT_EQ(document.passwordHint(), QStringLiteral("It is a test"));
  EXPECT_EQ(document.filePath(), path);
  EXPECT_TRUE(document.rows().empty());
  EXPECT_TRUE(document.isLocked());
  EXPECT_EQ(controller.asked, 0);

  DeliverQueuedWork();
  EXPECT_EQ(controller.asked, 1);
  ASSERT_TRUE(controller.loaded);
  EXPECT_TRUE(document.passwordUnlocked());
  EXPECT_FALSE(document.isLocked());
  EXPECT_FALSE(document.openWithPassword());
  ASSERT_NE(document.cellAtGridPoint({0, 0}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({0, 0})->formula(), QStringLiteral("Hello, world"));
  ASSERT_NE(document.cellAtGridPoint({0, 0}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({0, 0})->note(), QStringLiteral("ABCDEFGH"));
  ASSERT_NE(document.cellAtGridPoint({1, 0}), nullptr);
  EXPECT_TRUE(document.cellAtGridPoint({1, 0})->isChecked());
  ASSERT_NE(document.cellAtGridPoint({2, 0}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({2, 0})->formula(), QStringLiteral("Grüße 😀"));
  ASSERT_NE(document.cellAtGridPoint({3, 0}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({3, 0})->formula(), QStringLiteral("Σ = 1 + 2"));
  EXPECT_EQ(document.selectionRange(), (GridRange{{0, 0}, {2, 0}}));
}

TEST_F(PackageReaderTest, AWrongPasswordReadsNoCell) {
  PasswordWindow controller(document, QStringLiteral("guess"));
  ASSERT_EQ(open(PackageFixture(QStringLiteral("Protected.Numlet"))), kFileTypeNative);
  DeliverQueuedWork();
  EXPECT_EQ(controller.asked, 1);
  EXPECT_FALSE(controller.valid);
  EXPECT_TRUE(document.rows().empty());
  EXPECT_TRUE(document.isLocked());
}

// ---- Damaged packages ----------------------------------------------------------------------------

TEST_F(PackageReaderTest, CutOffXmlIsRefusedWithAClearError) {
  const QByteArray whole = ReadFileBytes(PackageFixture(QStringLiteral("Sample.Numlet/document.xml")));
  // Inside a tag, inside a value, between elements, and just before the root's end.
  const qsizetype cuts[] = {10, 60, whole.indexOf("<cols>"), whole.indexOf("<cell x=\"5\"") + 7,
                            whole.indexOf("</rows>"), whole.size() - 3};
  int n = 0;
  for (qsizetype cut : cuts) {
    const QString path = fixtureCopy(QStringLiteral("Sample.Numlet"), QStringLiteral("Cut%1.Numlet").arg(++n));
    ASSERT_TRUE(WriteFileBytes(path + QStringLiteral("/document.xml"), whole.left(cut)));
    CADocument damaged;
    FLError error;
    EXPECT_EQ(damaged.openFile(path, &error), 0) << "cut at " << cut;
    if (cut > 60) {
      EXPECT_EQ(error.code, -50) << "cut at " << cut;
      EXPECT_EQ(error.reason, QStringLiteral("The document is damaged and can't be read."));
    }
    EXPECT_FALSE(damaged.opening());
  }
}

TEST_F(PackageReaderTest, MissingOrForeignXmlFailsTheOpen) {
  const QString missing = fixtureCopy(QStringLiteral("Sample.Numlet"), QStringLiteral("Missing.Numlet"));
  ASSERT_TRUE(QFile::remove(missing + QStringLiteral("/document.xml")));
  EXPECT_EQ(open(missing), 0);

  const QString foreign = scratch(QStringLiteral("Foreign.Numlet"));
  ASSERT_TRUE(QDir().mkpath(foreign));
  ASSERT_TRUE(WriteFileBytes(foreign + QStringLiteral("/document.xml"), kDeclaration.toUtf8() + "<html><zoom>3</zoom></html>"));
  CADocument other;
  EXPECT_EQ(other.openFile(foreign, nullptr), 0);
  EXPECT_EQ(other.zoomValue(), 1.0);

  const QString empty = scratch(QStringLiteral("Empty.Numlet"));
  ASSERT_TRUE(QDir().mkpath(empty));
  ASSERT_TRUE(WriteFileBytes(empty + QStringLiteral("/document.xml"), QByteArray()));
  CADocument third;
  EXPECT_EQ(third.openFile(empty, nullptr), 0);
}

TEST_F(PackageReaderTest, HostileValuesOpenWithTheirFallbacks) {
  const QString body = QStringLiteral(
      "<zoom>99999999999999999999999</zoom>"
      "<font>NoSuchFontAnywhere</font><font_size>99999999999</font_size>"
      "<digits>9223372036854775807</digits>"
      "<pad>-5,99999999999999999999</pad>"
      "<stripe>-1</stripe>"
      "<minhigh>-12700</minhigh>"
      "<margin_t>-1</margin_t>"
      "<maxpoint>-1,-1</maxpoint>"
      "<sel>*,*:-9,x</sel>"
      "<frame>{{nan, inf}, {1e400, -4}}</frame>"
      "<print>%%% not base64 %%%</print>"
      "<cols><col x=\"-3\"><digits>4</digits></col><col x=\"9223372036854775807\"/></cols>"
      "<rows><row y=\"-1\"><cells><cell x=\"0\" y=\"-1\" type=\"#\"><val>i1</val></cell></cells></row>"
      "<row y=\"3\"><cells><cell x=\"-2\" y=\"3\" type=\"nonsense\"><val>zzz</val></cell>"
      "<cell x=\"1\" y=\"3\" type=\"#\"><val>i99999999999999999999999999</val></cell></cells></row></rows>");
  LogCapture log;
  ASSERT_EQ(open(package(QStringLiteral("Hostile.Numlet"), body)), kFileTypeNative);
  EXPECT_EQ(document.zoomValue(), 1.0);
  EXPECT_EQ(document.font().pointSizeF(), 12.0);
  EXPECT_EQ(document.defaultDigitCount(), INT64_MAX);
  EXPECT_EQ(document.cellPadding(), (GridPoint{0, 0}));
  EXPECT_EQ(document.stripeInterval(), 0u);
  EXPECT_EQ(document.minimumHeight(), 0);
  EXPECT_EQ(document.topMargin(), 0);
  EXPECT_EQ(document.maxDisplayGridPoint(), (GridPoint{0, 0}));
  EXPECT_EQ(document.selectionRange(), GridRange{});
  EXPECT_TRUE(window.placedRects.empty());
  EXPECT_TRUE(document.printInfo().isEmpty());
  EXPECT_TRUE(document.columns().empty());
  ASSERT_EQ(document.rows().size(), 1u);
  EXPECT_EQ(document.rows()[0]->gridY(), 3);
}

// A hand-made package may write a fraction whose terms pass 64 bits: it reads as the number it
// writes, exact where its lowest terms fit and else the nearest real, and counts in a sum.
TEST_F(PackageReaderTest, FractionsPastSixtyFourBitsReadAsTheirNumbers) {
  const struct {
    const char* val;
    int32_t form;
    double value;
    int64_t numerator = 0;  // of an exact result
    uint64_t denominator = 1;
  } cases[] = {
      {"f1/9223372036854775809", kNumberReal, 1.0842021724855044e-19},
      {"f-3/18446744073709551615", kNumberFraction, -1.6263032587282567e-19, -1, 6148914691236517205u},
      {"f4/18446744073709551616", kNumberFraction, 2.168404344971009e-19, 1, 4611686018427387904u},
      {"f-36893488147419103232/18446744073709551616", kNumberInteger, -2, -2},
      {"f99999999999999999999/3", kNumberReal, 3.3333333333333332e19},
      {"f7/1000000000000000000000000000000000000000000", kNumberReal, 7e-42},
  };
  QString cells;
  for (size_t y = 0; y < std::size(cases); ++y) {
    cells += QStringLiteral("<row y=\"%1\"><cells><cell x=\"0\" y=\"%1\" type=\"#\"><val>%2</val></cell>"
                            "<cell x=\"1\" y=\"%1\" type=\"f\"><f>=SUM(A%3)</f></cell></cells></row>")
                 .arg(y)
                 .arg(QLatin1String(cases[y].val))
                 .arg(y + 1);
  }
  const QString path =
      package(QStringLiteral("Oversize.Numlet"), QStringLiteral("<rows>") + cells + QStringLiteral("</rows>"));
  // The archive's numbers are written in one syntax, whatever the locale.
  for (const char* locale : {"en_US", "de_DE", "fr_FR"}) {
    SCOPED_TRACE(locale);
    const TestLocale user(locale);
    CADocument opened;
    ASSERT_EQ(opened.openFile(path, nullptr), kFileTypeNative);
    opened.recalcEverything();
    opened.evaluate();
    for (size_t y = 0; y < std::size(cases); ++y) {
      const auto& c = cases[y];
      SCOPED_TRACE(c.val);
      const CACell* cell = opened.cellAtGridPoint({0, int64_t(y)});
      const CACell* sum = opened.cellAtGridPoint({1, int64_t(y)});
      ASSERT_TRUE(cell && sum);
      ASSERT_TRUE(cell->number().has_value());
      const CANumber number = *cell->number();
      EXPECT_EQ(number.form(), c.form);
      EXPECT_DOUBLE_EQ(double(number.realValue()), c.value);
      if (c.form != kNumberReal) {
        EXPECT_EQ(number.numerator(), c.numerator);
        EXPECT_EQ(number.denominator(), c.denominator);
      }
      ASSERT_TRUE(sum->number().has_value());
      EXPECT_DOUBLE_EQ(double(sum->number()->realValue()), c.value);
    }
  }
}

TEST_F(PackageReaderTest, CellsOffTheGridAreDroppedAndSurviveNoStructuralEdit) {
  const QString body = QStringLiteral(
      "<rows><row y=\"0\"><cells>"
      "<cell x=\"9223372036854775807\" y=\"0\" type=\"#\"><val>i1</val></cell>"
      "<cell x=\"9223372036854775806\" y=\"0\" type=\"#\"><val>i2</val></cell>"
      "<cell x=\"12356630\" y=\"0\" type=\"#\"><val>i3</val></cell>"
      "<cell x=\"12356629\" y=\"0\" type=\"#\"><val>i4</val></cell>"
      "<cell x=\"0\" y=\"0\" type=\"#\"><val>i5</val></cell>"
      "</cells></row>"
      "<row y=\"9223372036854775806\"><cells><cell x=\"0\" y=\"0\" type=\"#\"><val>i6</val></cell></cells></row>"
      "</rows>");
  ASSERT_EQ(open(package(QStringLiteral("OffGrid.Numlet"), body)), kFileTypeNative);
  ASSERT_EQ(document.rows().size(), 1u);
  const CARow::CellList& cells = document.rows()[0]->cells();
  ASSERT_EQ(cells.size(), 2u);
  EXPECT_EQ(cells[0].x(), 0);
  EXPECT_EQ(cells[1].x(), LastGridColumn());
  // A column inserted in front would push the last column's cell off the grid: refused.
  document.setSelectionRange({{0, kGridWildcard}, {0, kGridWildcard}});
  document.insert(kEditColumns);
  EXPECT_EQ(document.rows()[0]->cells()[0].x(), 0);
  EXPECT_EQ(document.rows()[0]->cells()[1].x(), LastGridColumn());
}

TEST_F(PackageReaderTest, ElementsUnknownAmongARowsCellsArePassedOver) {
  // What another version may write among the cells: a value, attributes, nested elements (a cell
  // inside one is not the row's), an empty element; at the start, between cells and at the end.
  const QString body = QStringLiteral(
      "<rows><row y=\"0\"><cells>"
      "<future>text</future>"
      "<cell x=\"0\" y=\"0\" type=\"#\"><val>i1</val></cell>"
      "<later a=\"1\"><cell x=\"9\" y=\"0\" type=\"#\"><val>i99</val></cell><deep/></later>"
      "<cell x=\"1\" y=\"0\" type=\"s\"><f>b</f></cell>"
      "<empty/>"
      "<cell x=\"2\" y=\"0\" type=\"f\"><f>=A1+2</f><val>i3</val></cell>"
      "<trailing>x</trailing>"
      "</cells><minhigh>254000</minhigh></row>"
      "<row y=\"1\"><cells><cell x=\"0\" y=\"1\" type=\"#\"><val>i4</val></cell><x1/></cells></row>"
      "</rows>");
  LogCapture log;
  ASSERT_EQ(open(package(QStringLiteral("Later.Numlet"), body)), kFileTypeNative);
  document.evaluate();
  const std::map<std::pair<int64_t, int64_t>, QString> expected = {
      {{0, 0}, QStringLiteral("1")}, {{1, 0}, QStringLiteral("b")}, {{2, 0}, QStringLiteral("3")},
      {{0, 1}, QStringLiteral("4")}};
  std::map<std::pair<int64_t, int64_t>, QString> read;
  for (const auto& row : document.rows())
    for (const CACellEntry& entry : row->cells())
      read[{entry.x(), row->gridY()}] = CACellReading(entry, row->gridY(), &document)->displayText(false);
  ASSERT_EQ(read, expected);
  ASSERT_NE(document.cellAtGridPoint({2, 0}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({2, 0})->formula(), QStringLiteral("=A1+2"));
  // What follows the cells is still the row's.
  EXPECT_EQ(document.row(0)->minimumHeight(), 254000);
}

TEST_F(PackageReaderTest, ReferencesAreRegisteredWhereTheCellsEndUp) {
  const QString body = QStringLiteral(
      "<rows>"
      // A cell claiming another row belongs to its row.
      "<row y=\"0\"><cells><cell x=\"0\" y=\"7\" type=\"f\"><f>=Z1</f></cell>"
      // Of two cells at one point the later is kept.
      "<cell x=\"1\" y=\"0\" type=\"f\"><f>=Z2</f></cell><cell x=\"1\" y=\"0\" type=\"f\"><f>=Z3</f></cell>"
      "</cells></row>"
      // A row outside the grid is dropped, and of two rows with one y the later is kept.
      "<row y=\"-4\"><cells><cell x=\"0\" y=\"-4\" type=\"f\"><f>=Z4</f></cell></cells></row>"
      "<row y=\"2\"><cells><cell x=\"0\" y=\"2\" type=\"f\"><f>=Z5</f></cell></cells></row>"
      "<row y=\"2\"><cells><cell x=\"0\" y=\"2\" type=\"f\"><f>=Z6</f></cell></cells></row>"
      "</rows>");
  ASSERT_EQ(open(package(QStringLiteral("Placed.Numlet"), body)), kFileTypeNative);
  const auto referrers = [&](const char* at) {
    std::vector<GridPoint> found;
    document.referenceTable().referrersOf(A1(at), found);
    return found;
  };
  EXPECT_EQ(referrers("Z1"), std::vector<GridPoint>{A1("A1")});
  EXPECT_TRUE(referrers("Z2").empty());
  EXPECT_EQ(referrers("Z3"), std::vector<GridPoint>{A1("B1")});
  EXPECT_TRUE(referrers("Z4").empty());
  EXPECT_TRUE(referrers("Z5").empty());
  EXPECT_EQ(referrers("Z6"), std::vector<GridPoint>{A1("A3")});
  // A value entered where a dropped formula pointed changes nothing it should not.
  document.cellAtGridPointImperative(A1("Z2"))->setFormula(QStringLiteral("5"));
  document.cellAtGridPointImperative(A1("Z3"))->setFormula(QStringLiteral("7"));
  document.evaluate();
  EXPECT_EQ(NumberIn(document.cellAtGridPoint(A1("B1"))).description(), QStringLiteral("7"));
}

// Rows in order have their references registered as they are read; a row out of order or
// repeated, wherever it comes, still leaves exactly the references of the rows kept.
TEST_F(PackageReaderTest, ReferencesAreTheSameWhateverTheOrderOfTheRows) {
  // Row y holds "=A{y}+1" and refers to the row above; row 0 holds 1.
  const auto row = [](int64_t y, const QString& formula) {
    return QStringLiteral("<row y=\"%1\"><cells><cell x=\"0\" y=\"%1\" type=\"f\"><f>%2</f></cell></cells></row>")
        .arg(y)
        .arg(formula);
  };
  const auto chain = [&](int64_t y) { return row(y, y == 0 ? QStringLiteral("1") : QStringLiteral("=A%1+1").arg(y)); };
  struct Case {
    const char* name;
    std::vector<int64_t> order;  // -1: row 3 again, referring to Z9 alone (the later wins)
  };
  const Case cases[] = {
      {"ascending", {0, 1, 2, 3, 4, 5}},
      {"descending", {5, 4, 3, 2, 1, 0}},
      {"one-late", {0, 1, 2, 4, 5, 3}},
      {"repeated-last", {0, 1, 2, 3, 4, 5, -1}},
      {"repeated-next", {0, 1, 2, 3, -1, 4, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QString body = QStringLiteral("<rows>");
    for (const int64_t y : c.order) body += y < 0 ? row(3, QStringLiteral("=Z9+1")) : chain(y);
    body += QStringLiteral("</rows>");
    CADocument opened;
    ASSERT_EQ(opened.openFile(package(QString::fromLatin1(c.name) + QStringLiteral(".Numlet"), body), nullptr),
              kFileTypeNative);
    const bool repeated = std::count(c.order.begin(), c.order.end(), -1) > 0;
    const auto referrers = [&](const char* at) {
      std::vector<GridPoint> found;
      opened.referenceTable().referrersOf(A1(at), found);
      std::sort(found.begin(), found.end(), [](const GridPoint& a, const GridPoint& b) { return a.y < b.y; });
      return found;
    };
    EXPECT_EQ(referrers("A1"), std::vector<GridPoint>{A1("A2")});
    EXPECT_EQ(referrers("A3"), repeated ? std::vector<GridPoint>{} : std::vector<GridPoint>{A1("A4")});
    EXPECT_EQ(referrers("A4"), std::vector<GridPoint>{A1("A5")});
    EXPECT_EQ(referrers("Z9"), repeated ? std::vector<GridPoint>{A1("A4")} : std::vector<GridPoint>{});
    EXPECT_EQ(referrers("A5"), std::vector<GridPoint>{A1("A6")});
    // Changing the head reaches the end of the chain through the references alone.
    opened.recalcEverything();
    opened.evaluate();
    opened.cellAtGridPointImperative(A1("A1"))->setFormula(QStringLiteral("10"));
    opened.evaluate();
    EXPECT_EQ(NumberIn(opened.cellAtGridPoint(A1("A6"))).description(), QString::number(repeated ? 3 : 15));
  }
}

TEST_F(PackageReaderTest, RowsAndCellsInReverseOrderComeInOrder) {
  QString body = QStringLiteral("<cols>");
  for (int64_t x = 50; x >= 0; --x) body += QStringLiteral("<col x=\"%1\"><digits>3</digits></col>").arg(x);
  body += QStringLiteral("</cols><rows>");
  for (int64_t y = 50; y >= 0; --y) {
    body += QStringLiteral("<row y=\"%1\"><cells>").arg(y);
    for (int64_t x = 3; x >= 0; --x)
      body += QStringLiteral("<cell x=\"%1\" y=\"%2\" type=\"#\"><val>i%3</val></cell>").arg(x).arg(y).arg(x + y);
    body += QStringLiteral("</cells></row>");
  }
  body += QStringLiteral("</rows>");
  ASSERT_EQ(open(package(QStringLiteral("Reverse.Numlet"), body)), kFileTypeNative);
  ASSERT_EQ(document.rows().size(), 51u);
  ASSERT_EQ(document.columns().size(), 51u);
  for (size_t i = 0; i < 51; ++i) {
    EXPECT_EQ(document.columns()[i]->gridX(), int64_t(i));
    EXPECT_EQ(document.rows()[i]->gridY(), int64_t(i));
    const CARow::CellList& cells = document.rows()[i]->cells();
    ASSERT_EQ(cells.size(), 4u);
    for (size_t x = 0; x < 4; ++x)
      EXPECT_EQ(CACellReading(cells[x], int64_t(i), &document)->gridPoint(), (GridPoint{int64_t(x), int64_t(i)}));
  }
  EXPECT_EQ(NumberIn(document.cellAtGridPoint({3, 50})).description(), QStringLiteral("53"));
}

TEST_F(PackageReaderTest, FifosAndDevicesInAPackageFailAsDamageWithoutHanging) {
  const auto expectDamaged = [&](const QString& path, const char* what) {
    CADocument hostile;
    FLError error;
    EXPECT_EQ(hostile.openFile(path, &error), 0) << what;
    EXPECT_EQ(error.code, -50) << what;
    EXPECT_EQ(error.reason, QStringLiteral("The document is damaged and can't be read.")) << what;
  };
  const QString fifoXml = scratch(QStringLiteral("FifoXml.Numlet"));
  ASSERT_TRUE(QDir().mkpath(fifoXml));
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifoXml + QStringLiteral("/document.xml")).constData(), 0600), 0);
  expectDamaged(fifoXml, "document.xml is a FIFO");

  const QString deviceXml = scratch(QStringLiteral("DeviceXml.Numlet"));
  ASSERT_TRUE(QDir().mkpath(deviceXml));
  ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), deviceXml + QStringLiteral("/document.xml")));
  expectDamaged(deviceXml, "document.xml links to a device");

  const QString devicePassword = package(QStringLiteral("DevicePassword.Numlet"), QString());
  ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), devicePassword + QStringLiteral("/password.txt")));
  expectDamaged(devicePassword, "password.txt links to a device");

  const QString fifoPicture = package(QStringLiteral("FifoPicture.Numlet"), QString());
  ASSERT_TRUE(QDir().mkpath(fifoPicture + QStringLiteral("/Images")));
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifoPicture + QStringLiteral("/Images/CAFE.png")).constData(), 0600), 0);
  CADocument hostile;
  FLError error;
  EXPECT_EQ(hostile.openFile(fifoPicture, &error), 0);
  EXPECT_EQ(error.code, kImageUnreadableCode);
}

// Only what lies inside the package is read: a link may lead elsewhere in it, never out (else
// opening would read, and the next save copy, a file that is not the document's). A document
// that is not UTF-8 says so.
TEST_F(PackageReaderTest, EntriesLeadingOutOfThePackageOrNotUtf8AreRefusedWithTheReason) {
  const QString outside = scratch(QStringLiteral("outside"));
  ASSERT_TRUE(QDir().mkpath(outside));
  const QString outsideXml = package(QStringLiteral("Outside.Numlet"), QStringLiteral("<zoom>150</zoom>")) +
                             QStringLiteral("/document.xml");
  const QByteArray png = ReadFileBytes(TestDataPath(QStringLiteral("images/opaque-3x2.png")));
  ASSERT_TRUE(WriteFileBytes(outside + QStringLiteral("/CAFE.png"), png));
  const auto link = [](const QString& target, const QString& at) { EXPECT_TRUE(QFile::link(target, at)); };

  const QString xmlOut = scratch(QStringLiteral("XmlOut.Numlet"));
  ASSERT_TRUE(QDir().mkpath(xmlOut));
  link(outsideXml, xmlOut + QStringLiteral("/document.xml"));
  const QString xmlInside = package(QStringLiteral("XmlInside.Numlet"), QStringLiteral("<zoom>150</zoom>"));
  ASSERT_TRUE(QFile::rename(xmlInside + QStringLiteral("/document.xml"), xmlInside + QStringLiteral("/real.xml")));
  link(QStringLiteral("real.xml"), xmlInside + QStringLiteral("/document.xml"));
  const QString pictureOut = package(QStringLiteral("PictureOut.Numlet"), QString());
  ASSERT_TRUE(QDir().mkpath(pictureOut + QStringLiteral("/Images")));
  link(outside + QStringLiteral("/CAFE.png"), pictureOut + QStringLiteral("/Images/CAFE.png"));
  const QString imagesOut = package(QStringLiteral("ImagesOut.Numlet"), QString());
  link(outside, imagesOut + QStringLiteral("/Images"));
  const QString notUtf8 = scratch(QStringLiteral("NotUtf8.Numlet"));
  ASSERT_TRUE(QDir().mkpath(notUtf8));
  ASSERT_TRUE(WriteFileBytes(notUtf8 + QStringLiteral("/document.xml"),
                             (kDeclaration + QStringLiteral("<spreadsheet ver=\"1\"><header>caf")).toUtf8() +
                                 "\xE9</header></spreadsheet>\n"));

  const struct { QString path; int32_t opened; int code; const char* reason; } cases[] = {
      {xmlOut, 0, -50, "The document is damaged and can't be read."},
      {xmlInside, kFileTypeNative, 0, nullptr},
      {pictureOut, 0, kImageUnreadableCode, kImageUnreadableReason},
      {imagesOut, 0, kImageUnreadableCode, kImageUnreadableReason},
      {notUtf8, 0, 0, FLXmlDecoder::kNotUtf8Reason},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.toStdString());
    CADocument opened;
    FLError error;
    EXPECT_EQ(opened.openFile(c.path, &error), c.opened);
    if (c.opened) {
      EXPECT_EQ(opened.zoomValue(), 1.5);
      continue;
    }
    EXPECT_EQ(error.code, c.code);
    EXPECT_EQ(error.reason, QLatin1String(c.reason));
    EXPECT_TRUE(opened.pictures().empty());
  }
}

// Another program cutting "document.xml" short while it is read takes the pages from under the
// reading: the open is refused with a reason, and the application goes on.
TEST_F(PackageReaderTest, ADocumentCutShortWhileItIsReadIsRefused) {
  QString rows = QStringLiteral("<unknown>1</unknown><rows>");
  for (int y = 0; rows.size() < (4 << 20); ++y)
    rows += QStringLiteral("<row y=\"%1\"><cells><cell x=\"0\" y=\"%1\" type=\"#\"><val>i%1</val></cell></cells></row>\n").arg(y);
  rows += QStringLiteral("</rows>");
  const QString path = package(QStringLiteral("Cut.Numlet"), rows);
  const QByteArray xml = QFile::encodeName(path + QStringLiteral("/document.xml"));
  // The unknown element is logged as it is read: the file is cut short there.
  bool cut = false;
  const FLLogHandler previous = SetLogHandler([&](const QString&) {
    if (!cut) cut = ::truncate(xml.constData(), 0) == 0;
  });
  FLError error;
  EXPECT_EQ(open(path, &error), 0);
  SetLogHandler(previous);
  EXPECT_TRUE(cut);
  EXPECT_EQ(error.reason, QLatin1String(FLXmlDecoder::kNotUnderstoodReason));
}

TEST_F(PackageReaderTest, OptionsTheFileDoesNotNameAreTurnedOff) {
  document.setConstrainText(true);
  document.setShowFormulas(true);
  document.setRedFormulas(true);
  document.setShowOnlyOccupied(true);
  document.setTitleRow(true);
  document.setTitleColumn(true);
  document.setPrintGrid(true);
  document.setPrintLabels(true);
  document.setScaleToFit(true);
  document.setFillPages(true);
  document.setShowPageBreaks(true);
  document.setMakeBackups(true);
  document.setNoPreview(true);
  document.setTopMargin(12700);
  ASSERT_EQ(open(package(QStringLiteral("Plain.Numlet"), QStringLiteral("<grid>1</grid>"))), kFileTypeNative);
  const bool flags[] = {document.constrainText(), document.showFormulas(), document.redFormulas(),
                        document.showOnlyOccupied(), document.titleRow(), document.titleColumn(),
                        document.printLabels(), document.scaleToFit(), document.fillPages(),
                        document.showPageBreaks(), document.makeBackups(), document.noPreview()};
  for (bool on : flags) EXPECT_FALSE(on);
  EXPECT_TRUE(document.printGrid());
  EXPECT_EQ(document.topMargin(), 0);
}

TEST_F(PackageReaderTest, TheLaterOfWidthAndDigitsDecides) {
  ASSERT_EQ(open(package(QStringLiteral("WidthDigits.Numlet"), QStringLiteral("<width>1270000</width><digits>7</digits>"))),
            kFileTypeNative);
  EXPECT_EQ(document.defaultDigitCount(), 7);
  CADocument other;
  ASSERT_EQ(other.openFile(package(QStringLiteral("DigitsWidth.Numlet"), QStringLiteral("<digits>7</digits><width>1270000</width>")),
                           nullptr),
            kFileTypeNative);
  EXPECT_LT(other.defaultDigitCount(), 0);
  EXPECT_EQ(other.defaultWidth(), 1270000);
}

TEST_F(PackageReaderTest, HiddenFilesAmongThePicturesAreLeftAlone) {
  const QString path = package(QStringLiteral("Hidden.Numlet"), QString());
  ASSERT_TRUE(QDir().mkpath(path + QStringLiteral("/Images")));
  ASSERT_TRUE(WriteFileBytes(path + QStringLiteral("/Images/.DS_Store"), "not a picture"));
  ASSERT_TRUE(WriteFileBytes(path + QStringLiteral("/Images/._CAFE.png"), "not a picture either"));
  FLError error;
  EXPECT_EQ(open(path, &error), kFileTypeNative) << error.reason.toStdString();
  EXPECT_TRUE(document.pictures().isEmpty());
}

// The fuzz corpus read as the fuzz target reads it, here where a GUI application exists: as a
// file, as a protected file and as an archive, each written out again.
TEST_F(PackageReaderTest, EveryFuzzCorpusInputReadsAndWritesWithoutHarm) {
  const QDir corpus(TestDataPath(QStringLiteral("fuzz/fuzzPackageXml")));
  const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
  ASSERT_FALSE(names.isEmpty());
  LogCapture quiet;
  for (const QString& name : names) {
    const QByteArray bytes = ReadFileBytes(corpus.filePath(name));
    for (int mode = 0; mode < 3; ++mode) {
      std::unique_ptr<FLXmlDecoder> decoder = FLXmlDecoder::withData(bytes);
      if (!decoder) continue;
      CADocument sheet;
      if (mode == 0) sheet.setFilePath(QStringLiteral("/nonexistent/Fuzz.Numlet"));
      if (mode == 1) {
        sheet.setPassword(QStringLiteral("LA8JWFoXi2g"));
        SetEncryptionPassword(sheet.password());
        sheet.setOpenWithPassword(true);
      }
      sheet.loadFromXml(*decoder);
      sheet.setOpenWithPassword(false);
      FLXmlEncoder encoder;
      sheet.saveDocumentInfo(encoder, mode == 2);
      sheet.saveColumns(encoder);
      sheet.setSelectionRange(GridRange{{0, 0}, {64, 64}});
      (void)sheet.archiveSelection();
    }
  }
}

}  // namespace
