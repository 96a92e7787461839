// RTF of the sheet: RTF text becomes rows and columns by paragraphs, tabs and tables; a sheet
// saved as RTF or RTFD reads back as the same cells and formats; copies of one cell are plain
// text; RTF that real programs wrote reads without harm.
#include "RichTextTestSupport.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caGlimmetImport.h"
#include "calculator/model/CAColumn.h"
#include "framlet/shell/FLAlert.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmRtfWriter.h"
#include "platform/FLError.h"
#include "support/TestData.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace {

using RtfTest = RichTextTest;

TEST_F(RtfTest, ParagraphsTabsAndTablesBecomeRowsAndColumns) {
  const struct {
    const char* rtf;
    const char* cells;
  } cases[] = {
      {R"({\rtf1 a\tab b\par c\par})", "0,0=a|1,0=b|0,1=c"},
      // Two tabs leave a column empty; empty paragraphs are rows too.
      {R"({\rtf1 a\tab\tab b\par\par d\par})", "0,0=a|2,0=b|0,2=d"},
      // Words separated by spaces stay one cell; a field holding text beside a link is its whole
      // text shown by the link, and a field that is the link alone a link cell.
      {R"({\rtf1 one two\tab see {\field{\*\fldinst HYPERLINK "http://e.org/"}{\fldrslt site}}\par})",
       "0,0=one two|1,0=http://e.org/>see site"},
      {R"({\rtf1 Hello {\field{\*\fldinst HYPERLINK "http://e.org/"}{\fldrslt world}}!\par})",
       "0,0=http://e.org/>Hello world!"},
      {R"({\rtf1 a\tab {\field{\*\fldinst HYPERLINK "http://e.org/"}{\fldrslt site}} \tab b\par})",
       "0,0=a|1,0=http://e.org/>site|2,0=b"},
      // A table row is a row; tabs inside a cell become spaces; a cell's paragraphs are its lines.
      {R"({\rtf1\trowd\cellx1000\cellx2000\intbl a\cell b\tab c\par x\cell\row)"
       R"(\trowd\cellx1000\cellx2000\intbl d\cell e\cell\row})",
       "0,0=a|1,0=b c\nx|0,1=d|1,1=e"},
      // A line break is a line of the cell, in a table or not; an empty paragraph that ends a cell
      // adds nothing, one that begins it an empty line.
      {R"({\rtf1\trowd\cellx1000\cellx2000\intbl line1\line line2\cell \par two\par\par\cell\row})",
       "0,0=line1\nline2|1,0=\ntwo"},
      {R"({\rtf1 a\line b\tab c\par})", "0,0=a\nb|1,0=c"},
      // A table inside a cell gives its words to the cell, after the cell's own text.
      {R"({\rtf1\trowd\cellx2000\cellx4000\pard\intbl\itap1 out\par)"
       R"(\pard\intbl\itap2 in1\nestcell in2\par more\nestcell{\*\nesttableprops\trowd\cellx500\cellx900\nestrow})"
       R"({\nonesttables\par}\pard\intbl\itap1 \cell b\cell\row})",
       "0,0=out in1 in2 more|1,0=b"},
      {R"({\rtf1\trowd\cellx2000\pard\intbl\itap2 in1\nestcell in2\nestcell{\*\nesttableprops\nestrow})"
       R"(\pard\intbl\itap1 \cell\row})",
       "0,0=in1 in2"},
      // A table after text takes the next row.
      {R"({\rtf1 top\par\trowd\cellx1000\intbl a\cell\row})", "0,0=top|0,1=a"},
  };
  for (const auto& c : cases) {
    CADocument sheet;
    ASSERT_TRUE(sheet.loadRtf(QString::fromLatin1(c.rtf), QString())) << c.rtf;
    EXPECT_EQ(CellSummary(sheet).toStdString(), c.cells) << c.rtf;
  }
}

TEST_F(RtfTest, CharacterAndParagraphFormatsBecomeCellFormats) {
  ASSERT_TRUE(document.loadRtf(QStringLiteral(R"({\rtf1{\colortbl;\red255\green0\blue0;\red0\green0\blue0;})"
                                              R"(\qc{\b bold}\tab{\cf1 red}\tab{\cf2 black}\par\pard plain\par})"),
                               QString()));
  ASSERT_NE(document.cellAtGridPoint({0, 0}), nullptr);
  const CAFormat* bold = document.cellAtGridPoint({0, 0})->format();
  ASSERT_TRUE(bold);
  EXPECT_EQ(bold->mask(), uint64_t(kFormatBold | kFormatAlignment));
  EXPECT_EQ(bold->alignment(), kAlignmentCenter);
  ASSERT_NE(document.cellAtGridPoint({1, 0}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({1, 0})->format()->textKolor(), Kolor(0x640000FF));
  // Opaque black is no text colour of its own.
  ASSERT_NE(document.cellAtGridPoint({2, 0}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({2, 0})->format()->mask(), uint64_t(kFormatAlignment));
  ASSERT_NE(document.cellAtGridPoint({0, 1}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({0, 1})->format(), nullptr);
}

TEST_F(RtfTest, ALeadingTableGivesTheSheetItsLook) {
  ASSERT_TRUE(document.loadRtf(QStringLiteral(R"({\rtf1\trowd\cellx1440\cellx4320\intbl a\cell b\cell\row})"), QString()));
  // The columns take the widths the file gives; paddings below a point become one point.
  EXPECT_EQ(document.column(0)->digitCount(), -1);
  EXPECT_EQ(document.column(0)->width(), int64_t(1440) * 635);
  EXPECT_EQ(document.column(1)->width(), int64_t(2880) * 635);
  EXPECT_EQ(document.cellPadding().x, 12700);
  EXPECT_EQ(document.cellPadding().y, 12700);

  CADocument later;
  ASSERT_TRUE(later.loadRtf(QStringLiteral(R"({\rtf1 x\par\trowd\cellx1440\intbl a\cell\row})"), QString()));
  EXPECT_EQ(later.column(0), nullptr);
  EXPECT_EQ(later.cellPadding().x, kCellPaddingDefault);
}

TEST_F(RtfTest, SavedSheetsReadBackWithTheirCellsAndFormats) {
  enter(0, 0, QStringLiteral("Name"));
  enter(1, 0, QStringLiteral("12.5"));
  CAFormat bold;
  bold.setBold(true);
  enter(0, 1, QStringLiteral("heavy")).setFormat(bold);
  CAFormat red;
  red.setBackgroundKolor(0x640000FF);
  red.setAlignment(kAlignmentRight);
  enter(1, 1, QStringLiteral("warm")).setFormat(red);
  CACell& box = *document.cellAtGridPointImperative({0, 2});
  box.setValueType(kValueCheckbox);
  box.setChecked(true);
  CACell& link = enter(2, 2, QStringLiteral("http://example.org/"));
  link.setDisplayText(QStringLiteral("example"));
  // Kink characters of the engine arrive as spaces.
  enter(2, 3, QStringLiteral("a") + QChar(0) + QStringLiteral("b") + QChar(1) + QStringLiteral("c"));
  // A cell of several lines, as a delimited text holds it.
  enter(0, 4, QStringLiteral("line1\nline2\r\nline3"));
  const QString expected = QStringLiteral(
      "0,0=Name|1,0=12.5|0,1=heavy|1,1=warm|0,2=[x]|2,2=http://example.org/>example|2,3=a b c|0,4=line1\nline2\nline3");

  for (const char* name : {"sheet.rtf", "sheet.rtfd"}) {
    FLError error;
    const bool rtfd = QByteArray(name).endsWith('d');
    ASSERT_TRUE(rtfd ? document.saveToRtfdFile(path(name), &error) : document.saveToRtfFile(path(name), &error)) << name;
    CADocument back;
    ASSERT_EQ(back.openFile(path(name), &error), rtfd ? kFileTypeRtfd : kFileTypeRtf) << error.reason.toStdString();
    EXPECT_EQ(CellSummary(back).toStdString(), expected.toStdString()) << name;
    ASSERT_NE(back.cellAtGridPoint({0, 1}), nullptr);
    ASSERT_TRUE(back.cellAtGridPoint({0, 1})->format());
    ASSERT_NE(back.cellAtGridPoint({0, 1}), nullptr);
    EXPECT_TRUE(back.cellAtGridPoint({0, 1})->format()->bold());
    ASSERT_NE(back.cellAtGridPoint({1, 1}), nullptr);
    const CAFormat* warm = back.cellAtGridPoint({1, 1})->format();
    ASSERT_TRUE(warm);
    EXPECT_EQ(warm->backgroundKolor(), Kolor(0x640000FF));
    EXPECT_EQ(warm->alignment(), kAlignmentRight);
  }
}

// A sheet saved as RTF or RTFD reopens with the column widths it had, however many columns.
TEST_F(RtfTest, SavedSheetsKeepTheirColumnWidths) {
  for (const int columns : {5, 101}) {
    CADocument sheet;
    for (int64_t x = 0; x < columns; ++x) {
      sheet.cellAtGridPointImperative({x, 0})->setFormula(QString::number(x));
      CAColumn* column = sheet.columnImperative(x);
      column->setDigitCount(-1);
      column->setWidth((40 + (x * 37) % 120) * 12700);
    }
    for (const char* name : {"widths.rtf", "widths.rtfd"}) {
      SCOPED_TRACE(std::to_string(columns) + " " + name);
      FLError error;
      const bool rtfd = QByteArray(name).endsWith('d');
      QDir(path(name)).removeRecursively();
      QFile::remove(path(name));
      ASSERT_TRUE(rtfd ? sheet.saveToRtfdFile(path(name), &error) : sheet.saveToRtfFile(path(name), &error));
      CADocument back;
      ASSERT_EQ(back.openFile(path(name), &error), rtfd ? kFileTypeRtfd : kFileTypeRtf) << error.reason.toStdString();
      for (int64_t x = 0; x < columns; ++x) {
        ASSERT_TRUE(back.column(x)) << x;
        EXPECT_NEAR(back.widthOfColumn(x) * 12700.0, sheet.widthOfColumn(x) * 12700.0, 635.0) << x;
      }
    }
  }
}

// Saving and reopening again and again leaves the widths as they were, within a twip.
TEST_F(RtfTest, ColumnWidthsHoldOverRepeatedRoundTrips) {
  const double points[] = {129, 60, 200, 90, 150};
  for (const char* name : {"again.rtf", "again.rtfd"}) {
    SCOPED_TRACE(name);
    const bool rtfd = QByteArray(name).endsWith('d');
    auto sheet = std::make_unique<CADocument>();
    for (int64_t x = 0; x < 5; ++x) {
      sheet->cellAtGridPointImperative({x, 0})->setFormula(QString::number(x));
      sheet->columnImperative(x)->setDigitCount(-1);
      sheet->columnImperative(x)->setWidth(int64_t(points[x] * 12700));
    }
    float shown[5];
    for (int64_t x = 0; x < 5; ++x) shown[x] = sheet->widthOfColumn(x);
    for (int trip = 1; trip <= 2; ++trip) {
      SCOPED_TRACE(trip);
      FLError error;
      QDir(path(name)).removeRecursively();
      QFile::remove(path(name));
      ASSERT_TRUE(rtfd ? sheet->saveToRtfdFile(path(name), &error) : sheet->saveToRtfFile(path(name), &error));
      sheet = std::make_unique<CADocument>();
      ASSERT_EQ(sheet->openFile(path(name), &error), rtfd ? kFileTypeRtfd : kFileTypeRtf);
      for (int64_t x = 0; x < 5; ++x) {
        EXPECT_NEAR(sheet->widthOfColumn(x), shown[x], 0.05) << x;
        EXPECT_NEAR(double(sheet->column(x)->width()), points[x] * 12700, 635) << x;
      }
    }
  }
}

TEST_F(RtfTest, OnlyBackgroundsOtherThanTheDefaultAreKeptOnCells) {
  CAFormat defaults = document.defaultFormat();
  defaults.setBackgroundKolor(kWhiteKolor);
  document.setDefaultFormat(defaults);
  CAFormat white, green;
  white.setBackgroundKolor(kWhiteKolor);
  green.setBackgroundKolor(0x6400FF00);
  enter(0, 0, QStringLiteral("same")).setFormat(white);
  enter(1, 0, QStringLiteral("other")).setFormat(green);
  GlimmetDocPtr doc(document.createGlimmetFromRange(document.extent(), true, true, true, nullptr));
  ASSERT_TRUE(doc);
  KnotInfo row;
  ASSERT_TRUE(FetchKnot(doc.get(), BodyStart(doc.get()) + 1, &row, kKnotRow));
  ASSERT_EQ(row.kinkCount, 3u);
  EXPECT_FALSE(KolorIsColor(doc->knots.at(doc->knots.indexAtCp(row.kinkCps[1])).word));
  EXPECT_EQ(doc->knots.at(doc->knots.indexAtCp(row.kinkCps[2])).word, Kolor(0x6400FF00));
}

TEST_F(RtfTest, WideSheetsAreCutTo101ColumnsWithANotice) {
  for (int64_t x = 0; x < 150; ++x) enter(x, 0, QString::number(x));
  QStringList shown;
  FLAlert::ModalRunner previous = FLAlert::sharedInstance().setModalRunner([&](const FLAlertRequest& request, bool*) {
    shown << request.message << request.moreInfo;
    return 0;
  });
  FLError error;
  ASSERT_TRUE(document.saveToRtfFile(path("wide.rtf"), &error));
  QCoreApplication::processEvents();
  FLAlert::sharedInstance().setModalRunner(previous);
  EXPECT_EQ(shown, QStringList({QStringLiteral("Truncated columns."),
                                QStringLiteral("The spreadsheet was truncated during the save. I can't create RTF "
                                               "documents with more than 101 columns.")}));
  CADocument back;
  ASSERT_EQ(back.openFile(path("wide.rtf"), &error), kFileTypeRtf);
  EXPECT_EQ(back.maxGridPoint().x, 100);
}

// A table row of more cells than a table holds is cut after its 101st cell, with a notice,
// instead of spilling each surplus cell into rows of its own.
TEST_F(RtfTest, WideTablesReadAreCutTo101ColumnsWithANotice) {
  QString rtf = QStringLiteral("{\\rtf1");
  for (int r = 0; r < 2; ++r) {
    rtf += QStringLiteral("\\trowd");
    for (int c = 1; c <= 150; ++c) rtf += QStringLiteral("\\cellx%1").arg(c * 100);
    rtf += QStringLiteral("\\pard\\intbl ");
    for (int c = 0; c < 150; ++c) rtf += QStringLiteral("r%1c%2\\cell ").arg(r).arg(c);
    rtf += QStringLiteral("\\row ");
  }
  rtf += QStringLiteral("\\pard after\\par}");
  QStringList shown;
  FLAlert::ModalRunner previous = FLAlert::sharedInstance().setModalRunner([&](const FLAlertRequest& request, bool*) {
    shown << request.message;
    return 0;
  });
  ASSERT_TRUE(document.loadRtf(rtf, QString()));
  QCoreApplication::processEvents();
  FLAlert::sharedInstance().setModalRunner(previous);
  EXPECT_EQ(shown, QStringList({QStringLiteral("Truncated columns.")}));
  EXPECT_EQ(document.maxGridPoint().x, 100);
  EXPECT_EQ(document.maxGridPoint().y, 2);
  ASSERT_NE(document.cellAtGridPoint({100, 1}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({100, 1})->displayText(true), QStringLiteral("r1c100"));
  ASSERT_NE(document.cellAtGridPoint({0, 2}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({0, 2})->displayText(true), QStringLiteral("after"));

  // A row within the limit gives no notice.
  shown.clear();
  previous = FLAlert::sharedInstance().setModalRunner([&](const FLAlertRequest& request, bool*) {
    shown << request.message;
    return 0;
  });
  CADocument narrow;
  ASSERT_TRUE(narrow.loadRtf(QStringLiteral(R"({\rtf1\trowd\cellx1000\intbl a\cell\row})"), QString()));
  QCoreApplication::processEvents();
  FLAlert::sharedInstance().setModalRunner(previous);
  EXPECT_TRUE(shown.isEmpty());
}

// What a saved RTF holds for a formula follows "Export values, not formulas": the formula
// by default, the value when the preference is on.
TEST_F(RtfTest, SavedFormulasFollowTheValuesPreference) {
  enter(0, 0, QStringLiteral("2"));
  enter(0, 1, QStringLiteral("3"));
  enter(0, 2, QStringLiteral("=SUM(A1:A2)"));
  document.recalcEverything();
  document.evaluate();
  for (const bool values : {false, true}) {
    SCOPED_TRACE(values);
    CAModelPreferences preferences;
    preferences.saveValues = values;
    environment.set(preferences);
    FLError error;
    ASSERT_TRUE(document.saveToRtfFile(path("values.rtf"), &error));
    CADocument back;
    ASSERT_EQ(back.openFile(path("values.rtf"), &error), kFileTypeRtf);
    back.recalcEverything();
    back.evaluate();
    ASSERT_TRUE(back.cellAtGridPoint({0, 2}));
    ASSERT_NE(back.cellAtGridPoint({0, 2}), nullptr);
    EXPECT_EQ(back.cellAtGridPoint({0, 2})->displayText(true), values ? QStringLiteral("5") : QStringLiteral("=SUM(A1:A2)"));
    ASSERT_NE(back.cellAtGridPoint({0, 2}), nullptr);
    EXPECT_EQ(back.cellAtGridPoint({0, 2})->displayText(false), QStringLiteral("5"));
  }
  environment.set(CAModelPreferences());
}

TEST_F(RtfTest, ACopiedCellIsItsTextAlone) {
  enter(3, 4, QStringLiteral("alone"));
  document.setSelectionRange({{3, 4}, {3, 4}});
  QString plain;
  const QString rtf = document.rtfFromSelection(&plain);
  EXPECT_TRUE(rtf.contains(QStringLiteral("alone")));
  EXPECT_FALSE(rtf.contains(QStringLiteral("\\trowd")));
  EXPECT_EQ(plain, QStringLiteral("alone"));

  enter(4, 4, QStringLiteral("beside"));
  document.setSelectionRange({{3, 4}, {4, 4}});
  document.rtfFromSelection(&plain);
  EXPECT_EQ(plain.toStdString(), "alone\tbeside\n");

  // A copied cell of two lines pastes back as one cell holding both.
  enter(3, 4, QStringLiteral("line1\nline2"));
  document.setSelectionRange({{3, 4}, {3, 4}});
  CADocument pasted;
  ASSERT_TRUE(pasted.loadRtf(document.rtfFromSelection(&plain), QString()));
  EXPECT_EQ(CellSummary(pasted).toStdString(), "0,0=line1\nline2");
}

// A table of rich text is bounded by what its cells cost the engine: a dense sheet of a hundred
// thousand cells saves and reads back whole, while one of more cells than a table takes is
// refused with its count, and one whose cells lie far apart with that reason, before any file.
TEST_F(RtfTest, SheetsSaveAsRtfWithinTheTablesCost) {
  const auto fill = [](CADocument& sheet, int64_t rows) {
    for (int64_t y = 0; y < rows; ++y)
      for (int64_t x = 0; x < 5; ++x)
        sheet.cellAtGridPointImperative({x, y})->setFormula(x % 2 ? QStringLiteral("t%1").arg(y) : QString::number(y + x));
  };
  const struct {
    int64_t rows;
    int64_t far;  // a cell in column A this far down, or 0
    const char* reason;  // null: saved
  } cases[] = {
      {20001, 0, nullptr},
      {120000, 0, kTooManyTableCellsReason},
      {2, 999999, kTextTooLargeReason},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rows);
    CADocument sheet;
    fill(sheet, c.rows);
    if (c.far) sheet.cellAtGridPointImperative({0, c.far})->setFormula(QStringLiteral("far"));
    FLError error;
    const QString file = path("dense.rtf");
    QFile::remove(file);
    if (!c.reason) {
      ASSERT_TRUE(sheet.saveToRtfFile(file, &error)) << error.reason.toStdString();
      CADocument back;
      ASSERT_EQ(back.openFile(file, &error), kFileTypeRtf) << error.reason.toStdString();
      EXPECT_EQ(CellSummary(back), CellSummary(sheet));
      continue;
    }
    EXPECT_FALSE(sheet.saveToRtfFile(file, &error));
    EXPECT_EQ(error.code, kTextTooLargeCode);
    const QString reason = QString::fromLatin1(c.reason);
    EXPECT_EQ(error.reason, c.far ? reason : reason.arg(c.rows * 5));
    EXPECT_FALSE(QFileInfo::exists(file));
  }
}

TEST_F(RtfTest, FailuresAreReported) {
  enter(0, 0, QStringLiteral("x"));
  FLError error;
  EXPECT_FALSE(document.saveToRtfdFile(path("missing/sheet.rtfd"), &error));
  error = FLError();
  EXPECT_FALSE(document.loadRtfFile(path("none.rtf"), &error));
  EXPECT_FALSE(error.domain.isEmpty());
  EXPECT_EQ(g_glimmetDoc, nullptr);
}

// Every file of the LibreOffice corpus reads, and leaves no engine document behind.
TEST_F(RtfTest, FilesOfAnotherProgramReadWithoutHarm) {
  QDirIterator files(TestDataPath(QStringLiteral("rtf/libreoffice")), {QStringLiteral("*.rtf")}, QDir::Files);
  int count = 0;
  while (files.hasNext()) {
    const QString file = files.next();
    CADocument sheet;
    FLError error;
    EXPECT_TRUE(sheet.loadRtfFile(file, &error)) << file.toStdString();
    EXPECT_EQ(g_glimmetDoc, nullptr);
    ++count;
  }
  EXPECT_GT(count, 100);
}

}  // namespace
