// The document's services through the real file formats: saving as comma- and tab-separated
// text and DIF through the save dispatch, autosaving a package on the model's clock, and copy
// and paste between documents and from other programs' text.
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/model/CAPicture.h"
#include "calculator/model/UndoTestSupport.h"
#include "calculator/model/caDocumentServices.h"
#include "platform/FLError.h"
#include "platform/Pasteboard.h"
#include "framlet/foundation/flImageSupport.h"
#include "support/TestData.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

namespace {

class ServicesTest : public EditTest {
 protected:
  ServicesTest() { InstallFileFormatServices(); }
  ~ServicesTest() override { SetFileFormatServices(CAFileFormatServices()); }

  QString path(const char* name) const { return QDir(folder.path()).filePath(QString::fromUtf8(name)); }

  // What the cell shows, "-" where there is none.
  QString shown(const char* at) const {
    const CACell* c = cell(at);
    return c ? c->displayText(false) : QStringLiteral("-");
  }

  QTemporaryDir folder;
};

TEST_F(ServicesTest, SavingAsTextAndDifGoesThroughTheDispatch) {
  enter("A1", "name");
  enter("B1", "a,b");
  enter("A2", "x");
  enter("B2", "=2+3");
  document.evaluate();
  FLError error;
  ASSERT_TRUE(document.saveCore(path("sheet.csv"), false, &error)) << error.reason.toStdString();
  EXPECT_EQ(ReadFileText(path("sheet.csv")), QStringLiteral("name,\"a,b\"\nx,5\n"));
  ASSERT_TRUE(document.saveCore(path("sheet.txt"), false, &error));
  EXPECT_EQ(ReadFileText(path("sheet.txt")), QStringLiteral("name\ta,b\nx\t5\n"));
  ASSERT_TRUE(document.saveCore(path("sheet.dif"), false, &error));
  EXPECT_TRUE(ReadFileText(path("sheet.dif")).startsWith(QStringLiteral("TABLE\n0,1\n")));

  ASSERT_TRUE(document.saveCore(path("sheet.rtf"), false, &error));
  EXPECT_TRUE(ReadFileText(path("sheet.rtf")).startsWith(QStringLiteral("{\\rtf1")));
  // Nothing to print gives no PDF and no error.
  error = FLError();
  EXPECT_FALSE(document.saveCore(path("sheet.pdf"), false, &error));
  EXPECT_EQ(error.code, 0);
}

TEST_F(ServicesTest, TheAutosaveTickWritesAPackageOnceItIsDue) {
  const QByteArray previous = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", path("data").toUtf8());
  environment.now = 1050;
  document.setCellUndo(kUndoTyping, kUndoRangeActiveCell);
  enter("A1", "42");
  environment.now = 1119;
  document.autosaveTimerFired(true);
  EXPECT_TRUE(document.autosavePath().isEmpty());
  environment.now = 1120;
  document.autosaveTimerFired(true);
  const QString copy = document.autosavePath();
  CADocument recovered;
  EXPECT_EQ(recovered.openFile(copy, nullptr), kFileTypeNative);
  ASSERT_NE(recovered.cellAtGridPoint({0, 0}), nullptr);
  EXPECT_EQ(recovered.cellAtGridPoint({0, 0})->displayText(false), QStringLiteral("42"));
  document.releaseAutoSave();
  EXPECT_FALSE(QFile::exists(copy));
  qputenv("XDG_DATA_HOME", previous);
}

TEST_F(ServicesTest, CopyThenPasteIntoAnotherDocumentKeepsValuesFormulasFormatsAndPictures) {
  enter("A1", "2");
  enter("A2", "3");
  CACell& sum = enter("B1", "=A1+A2");
  CAFormat bold;
  bold.setBold(true);
  sum.setFormat(bold);
  enter("B2", "=$A$1*10");
  document.cellAtGridPointImperative(A1("C1"))->setPicture(
      CAPicture::withFile(TestDataPath(QStringLiteral("images/opaque-3x2.png")), &document));
  document.evaluate();
  select("A1", "C2");
  QMimeData clipboard;
  ASSERT_TRUE(document.copy(&clipboard));
  EXPECT_TRUE(clipboard.hasFormat(QStringLiteral("application/x-numlet-cells")));
  EXPECT_EQ(clipboard.text(), QStringLiteral("2\t5\t\n3\t20\t"));

  CADocument target;
  UndoWindow targetWindow(target);
  target.setController(&targetWindow);
  target.setSelectionPoint(A1("D5"));
  ASSERT_TRUE(target.paste(&clipboard, false));
  target.evaluate();
  const auto formula = [&](const char* at) {
    const CACell* c = target.cellAtGridPoint(A1(at));
    return c ? c->formula() : QStringLiteral("-");
  };
  const auto shown = [&](const char* at) {
    const CACell* c = target.cellAtGridPoint(A1(at));
    return c ? c->displayText(false) : QStringLiteral("-");
  };
  EXPECT_EQ(shown("D5") + QLatin1Char(' ') + shown("D6"), QStringLiteral("2 3"));
  EXPECT_EQ(formula("E5"), QStringLiteral("=D5+D6"));
  // An absolute reference keeps naming the same cell, which is empty here.
  EXPECT_EQ(formula("E6"), QStringLiteral("=$A$1*10"));
  ASSERT_NE(target.cellAtGridPoint(A1("E5")), nullptr);
  EXPECT_TRUE(target.cellAtGridPoint(A1("E5"))->format()->bold());
  ASSERT_NE(target.cellAtGridPoint(A1("F5")), nullptr);
  EXPECT_EQ(target.cellAtGridPoint(A1("F5"))->valueType(), kValuePicture);
  EXPECT_EQ(targetWindow.archiver.descriptors, std::vector<uint32_t>{kUndoPaste});
  EXPECT_EQ(targetWindow.archiver.contexts.back().range, (GridRange{A1("D5"), A1("F6")}));

  // One undo takes the whole paste back.
  targetWindow.manager.undo();
  EXPECT_EQ(formula("D5") + formula("E5") + formula("F5"), QStringLiteral("---"));
  target.setController(nullptr);
}

TEST_F(ServicesTest, TextFromOtherProgramsFillsCellsFromTheActiveCell) {
  const struct {
    const char* text;
    const char* expected;  // B2 C2 D2 B3 C3 D3
  } cases[] = {
      {"a\tb\tc\n1\t2\t3\n", "a b c 1 2 3"}, {"x,y,z\r\n4,5,6", "x y z 4 5 6"}, {"one\n2", "one - - 2 - -"},
  };
  for (const auto& test : cases) {
    select("B2", "B2");
    QMimeData clipboard;
    clipboard.setText(QString::fromUtf8(test.text));
    const std::string before = xml();
    ASSERT_TRUE(document.paste(&clipboard, false)) << test.text;
    QStringList got;
    for (const char* at : {"B2", "C2", "D2", "B3", "C3", "D3"}) got.append(shown(at));
    EXPECT_EQ(got.join(QLatin1Char(' ')), QString::fromUtf8(test.expected)) << test.text;
    EXPECT_EQ(window.archiver.descriptors.back(), uint32_t(kUndoPaste));
    window.manager.undo();
    EXPECT_EQ(xml(), before) << test.text;
  }
}

TEST_F(ServicesTest, ArchivesOfWholeColumnsAndOfOneCellChooseTheirUndoRange) {
  enter("B1", "1");
  enter("B3", "3");
  selectColumns(1, 1);
  QMimeData columns;
  ASSERT_TRUE(document.copy(&columns));
  select("D2", "E4");
  ASSERT_TRUE(document.paste(&columns, false));
  EXPECT_EQ(window.archiver.contexts.back().range, (GridRange{{3, kGridWildcard}, {3, kGridWildcard}}));
  EXPECT_EQ(shown("D1") + shown("D3"), QStringLiteral("13"));

  select("B3", "B3");
  QMimeData one;
  ASSERT_TRUE(document.copy(&one));
  select("F5", "G8");
  ASSERT_TRUE(document.paste(&one, false));
  EXPECT_EQ(window.archiver.contexts.back().range, (GridRange{A1("F5"), A1("F5")}));
  EXPECT_EQ(shown("F5"), QStringLiteral("3"));
}

// A far cell would make RTF of millions of table rows: saving as RTF or RTFD is refused as a
// text too large is, writing nothing, and a copy leaves RTF off the clipboard. A block within
// the bound still copies as RTF.
TEST_F(ServicesTest, RtfOfASheetWithAFarCellIsRefusedAndLeftOffTheClipboard) {
  CAModelPreferences preferences;
  preferences.copyHTML = false;  // the page of a copy has bounds of its own
  environment.set(preferences);
  enter("A1", "1");
  enter("B1", "2");
  select("A1", "B1");
  QMimeData near;
  ASSERT_TRUE(document.copy(&near));
  EXPECT_TRUE(PasteboardHasType(near, QLatin1String(kPasteboardRtfType)));
  for (const int64_t far : {int64_t(999999), int64_t(1) << 31}) {
    SCOPED_TRACE(far);
    document.cellAtGridPointImperative({0, far})->setFormula(QStringLiteral("3"));
    const QString rtf = path("far.rtf"), rtfd = path("far.rtfd");
    ASSERT_TRUE(WriteFileBytes(rtf, "earlier"));
    FLError error;
    EXPECT_FALSE(document.saveToRtfFile(rtf, &error));
    EXPECT_EQ(error.code, kTextTooLargeCode);
    EXPECT_EQ(error.reason, QLatin1String(kTextTooLargeReason));
    EXPECT_EQ(ReadFileText(rtf), QStringLiteral("earlier"));
    FLError packageError;
    EXPECT_FALSE(document.saveToRtfdFile(rtfd, &packageError));
    EXPECT_EQ(packageError.reason, QLatin1String(kTextTooLargeReason));
    EXPECT_FALSE(QFileInfo::exists(rtfd));
    selectColumns(0, 1);
    QMimeData clipboard;
    ASSERT_TRUE(document.copy(&clipboard));
    EXPECT_FALSE(PasteboardHasType(clipboard, QLatin1String(kPasteboardRtfType)));
    if (far < 1000000) {
      EXPECT_TRUE(clipboard.text().startsWith(QStringLiteral("1\t2\n")));
    }
  }
}

// The page of a copy is pasted through the same rich text as its RTF: it is left off the
// clipboard where the RTF is, however few the cells that lie far apart.
TEST_F(ServicesTest, HtmlOfACopyIsBoundAsItsRtfIs) {
  CAModelPreferences preferences;
  preferences.copyHTML = true;
  environment.set(preferences);
  enter("A1", "1");
  enter("B1", "2");
  for (const int64_t far : {int64_t(0), int64_t(999999)}) {
    SCOPED_TRACE(far);
    if (far) document.cellAtGridPointImperative({0, far})->setFormula(QStringLiteral("3"));
    selectColumns(0, 1);
    QMimeData clipboard;
    ASSERT_TRUE(document.copy(&clipboard));
    EXPECT_EQ(PasteboardHasType(clipboard, QLatin1String(kPasteboardHtmlType)), far == 0);
    EXPECT_EQ(PasteboardHasType(clipboard, QLatin1String(kPasteboardRtfType)), far == 0);
    if (far == 0)
      EXPECT_EQ(clipboard.text(), QStringLiteral("1\t2"));
    else
      EXPECT_TRUE(clipboard.text().startsWith(QStringLiteral("1\t2\n")));
  }
}

// DIF and pages count every row as they write it, a far cell's empty rows too: refused at once,
// with nothing at the path.
TEST_F(ServicesTest, FarRowsOfDifAndPagesAreCountedAsWritten) {
  enter("A1", "1");
  const struct {
    const char* name;
    int64_t far;
  } cases[] = {{"far.html", 20000000}, {"far.dif", 40000000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    document.cellAtGridPointImperative({0, c.far})->setFormula(QStringLiteral("2"));
    FLError error;
    EXPECT_FALSE(document.saveCore(path(c.name), false, &error));
    EXPECT_EQ(error.reason, QLatin1String(kTextTooLargeReason));
    EXPECT_FALSE(QFileInfo::exists(path(c.name)));
  }
}

TEST_F(ServicesTest, CopyingNothingBeepsAndLeavesTheClipboard) {
  select("A1", "B2");
  QMimeData clipboard;
  clipboard.setText(QStringLiteral("kept"));
  EXPECT_FALSE(document.copy(&clipboard));
  EXPECT_EQ(environment.beeps, 1);
  EXPECT_EQ(clipboard.text(), QStringLiteral("kept"));
}

TEST_F(ServicesTest, FilesAndLinksOnTheClipboard) {
  const QString csv = path("list.csv");
  ASSERT_TRUE(WriteFileBytes(csv, "left,right\n10,20\n"));
  select("C3", "C3");
  QMimeData files;
  files.setUrls({QUrl::fromLocalFile(path("unknown.zzz")), QUrl::fromLocalFile(csv)});
  ASSERT_TRUE(document.paste(&files, false));
  EXPECT_EQ(shown("C3") + QLatin1Char(' ') + shown("D4"), QStringLiteral("left 20"));

  select("A1", "A1");
  QMimeData image;
  image.setUrls({QUrl::fromLocalFile(TestDataPath(QStringLiteral("images/opaque-3x2.png")))});
  ASSERT_TRUE(document.paste(&image, false));
  EXPECT_EQ(cell("A1")->picture()->imageFormat(), kImageFormatPng);

  select("B1", "B1");
  QMimeData link;
  link.setUrls({QUrl(QStringLiteral("https://example.org/page"))});
  ASSERT_TRUE(document.paste(&link, false));
  EXPECT_EQ(cell("B1")->valueType(), kValueLink);

  // A file nothing reads pastes nothing.
  QMimeData unreadable;
  unreadable.setUrls({QUrl::fromLocalFile(path("missing.csv"))});
  const std::string before = xml();
  EXPECT_FALSE(document.paste(&unreadable, false));
  EXPECT_EQ(xml(), before);
}

}  // namespace

namespace {

// Rich text that another program put on the clipboard fills cells from the active cell, and a
// copy offers the cells as RTF and HTML that paste back as the same cells.
TEST_F(ServicesTest, RichTextOnTheClipboardFillsCells) {
  const struct {
    const char* type;
    const char* data;
  } cases[] = {
      {kPasteboardRtfType, R"({\rtf1\trowd\cellx1000\cellx2000\intbl a\cell b\cell\row\trowd\cellx1000\cellx2000\intbl c\cell d\cell\row})"},
      {kPasteboardHtmlType, "<table><tr><td>a</td><td>b</td></tr><tr><td>c</td><td>d</td></tr></table>"},
  };
  for (const auto& test : cases) {
    select("B2", "B2");
    QMimeData clipboard;
    PasteboardSetData(clipboard, QLatin1String(test.type), QByteArray(test.data));
    clipboard.setText(QStringLiteral("plain"));
    ASSERT_TRUE(document.paste(&clipboard, false)) << test.type;
    QStringList got;
    for (const char* at : {"B2", "C2", "B3", "C3"}) got.append(shown(at));
    EXPECT_EQ(got.join(QLatin1Char(' ')), QStringLiteral("a b c d")) << test.type;
    window.manager.undo();
  }

  enter("A1", "x");
  enter("B1", "y");
  select("A1", "B1");
  QMimeData copied;
  ASSERT_TRUE(document.copy(&copied));
  for (const char* type : {kPasteboardRtfType, kPasteboardHtmlType}) {
    QMimeData only;
    PasteboardSetData(only, QLatin1String(type), PasteboardData(copied, QLatin1String(type)));
    select("A5", "A5");
    ASSERT_TRUE(document.paste(&only, false)) << type;
    EXPECT_EQ(shown("A5") + shown("B5"), QStringLiteral("xy")) << type;
  }
}

// Pasted HTML nested too deep for the HTML reader is refused at once: the plain text beside it is
// pasted instead, and with nothing beside it nothing is.
TEST_F(ServicesTest, DeeplyNestedHtmlOnTheClipboardIsRefusedAtOnce) {
  const QByteArray deep = QByteArray("<div>").repeated(100000) + "x";
  select("B2", "B2");
  QMimeData withText;
  PasteboardSetData(withText, QLatin1String(kPasteboardHtmlType), deep);
  withText.setText(QStringLiteral("plain"));
  // "At once" is counted, not timed: the HTML reader, which would take minutes, never gets it.
  const uint64_t given = HtmlPagesGivenToRichText();
  ASSERT_TRUE(document.paste(&withText, false));
  EXPECT_EQ(HtmlPagesGivenToRichText(), given);
  EXPECT_EQ(shown("B2"), QStringLiteral("plain"));
  QMimeData only;
  PasteboardSetData(only, QLatin1String(kPasteboardHtmlType), deep);
  select("D4", "D4");
  EXPECT_FALSE(document.paste(&only, false));
  EXPECT_EQ(shown("D4"), QStringLiteral("-"));
}

}  // namespace
