// Writing the native package: the golden package, the password file and enciphered cells of a
// protected document, autosave copies, the cell archive of the clipboard, and round trips.
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caPackageReader.h"
#include "calculator/fileformats/caPackageWriter.h"
#include "calculator/model/caXmlTags.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/flImageSupport.h"
#include "framlet/foundation/flPasswords.h"
#include "platform/NotificationCenter.h"
#include "platform/StringWithFormat.h"
#include "PackageTestSupport.h"
#include "SampleDocument.h"

#include <QProcess>
#include <QStandardPaths>

#include <csignal>

#include <sys/resource.h>

#include <gtest/gtest.h>

namespace {

const QString kDeclaration = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
// The check value of the password "test" under the seed "_3Kq.Wz7P", and cipher texts under it
// (tests/data/passwords/vectors.txt, made by tools/makePasswordVectors.py).
const QString kCheckValue = QStringLiteral("LA8JWFoXi2g");
const QString kHelloCipher = QStringLiteral("BKnW243PbabwYlnNQHwj1Z8=");  // "Hello, world"
const QString kOneCipher = QStringLiteral("B7lJ1QleD02L");              // "1"
const QString kLettersCipher = QStringLiteral("AFFVQOBSm4QX");          // "ABCDEFGH"

class PackageWriterTest : public PackageTest {
 protected:
  PackageWriterTest() { document.setController(&window); }
  ~PackageWriterTest() override { document.setController(nullptr); }

  QString save(const QString& name, bool inPlace = false) {
    const QString path = scratch(name);
    FLError error;
    EXPECT_TRUE(document.saveToNativeFile(path, inPlace, &error)) << error.reason.toStdString();
    return path;
  }

  FakePackageWindow window;
  CADocument document;
};

// ---- Document-level elements ---------------------------------------------------------------------

TEST_F(PackageWriterTest, GoldenPackageHoldsEveryElementInItsOrder) {
  FillSampleDocument(document);
  window.content = QRectF(10, 20, 800, 600.5);
  window.formatPanelShown = true;
  window.scroll = {0, 1};
  const QString path = save(QStringLiteral("Sample.Numlet"), true);

  EXPECT_EQ(ReadFileText(path + QStringLiteral("/document.xml")),
            ReadFileText(PackageFixture(QStringLiteral("Sample.Numlet/document.xml"))));
  EXPECT_EQ(FolderEntries(path), (QStringList{QStringLiteral("Images"), QStringLiteral("document.xml")}));
  EXPECT_EQ(FolderEntries(path + QStringLiteral("/Images")),
            QStringList{QLatin1String(kSamplePictureGuid) + QStringLiteral(".png")});
  EXPECT_FALSE(document.saveWithPassword());
}

// A sheet whose XML runs to several pieces goes to the file piece by piece; the file holds the
// same bytes as the whole text written in memory, and reads back as the same sheet.
TEST_F(PackageWriterTest, ALargeSheetIsWrittenInPiecesToTheSameBytes) {
  for (int64_t y = 0; y < 9000; ++y) {
    document.cellAtGridPointImperative({0, y})->setFormula(QStringLiteral("A fairly long text in row %1").arg(y));
    document.cellAtGridPointImperative({1, y})->setNumberValue(CANumber::withNumerator(y, 7));
    if (y > 0) document.cellAtGridPointImperative({2, y})->setFormula(QStringLiteral("=B%1+C%1").arg(y));
  }
  document.cellAtGridPointImperative({3, 10})->setNote(QStringLiteral("a note"));
  const QString path = save(QStringLiteral("Large.Numlet"));

  FLXmlEncoder whole;
  whole.addAttribute(XmlName(kXmlVer), int64_t(kSpreadsheetXmlVersion));
  whole.openTag(XmlName(kXmlSpreadsheet));
  document.saveDocumentInfo(whole, false);
  document.saveColumns(whole);
  whole.openTag(XmlName(kXmlRows));
  for (const std::unique_ptr<CARow>& row : document.rows()) row->saveToXml(whole, &document);
  whole.closeTag(XmlName(kXmlRows));
  whole.closeTag(XmlName(kXmlSpreadsheet));
  const QByteArray written = ReadFileBytes(path + QStringLiteral("/document.xml"));
  ASSERT_GT(written.size(), 2 << 20);
  EXPECT_TRUE(written == whole.utf8().toByteArray());

  CADocument reopened;
  ASSERT_EQ(reopened.openFile(path, nullptr), kFileTypeNative);
  ExpectSameSheet(document, reopened);
  // The numbers came back as plain entries, and write the same bytes as the cells did.
  size_t plain = 0;
  for (const std::unique_ptr<CARow>& row : reopened.rows())
    for (const CACellEntry& entry : row->cells()) plain += entry.isPlain() ? 1 : 0;
  EXPECT_EQ(plain, 9000u);
  FLError error;
  const QString again = scratch(QStringLiteral("Again.Numlet"));
  ASSERT_TRUE(reopened.saveToNativeFile(again, false, &error)) << error.reason.toStdString();
  EXPECT_TRUE(ReadFileBytes(again + QStringLiteral("/document.xml")) == written);
}

// ---- Protected documents -------------------------------------------------------------------------

TEST_F(PackageWriterTest, ProtectedPackageKeepsItsCellTextsEnciphered) {
  document.setPassword(kCheckValue);
  document.setPasswordHint(QStringLiteral("It is a test"));
  document.setNoPreview(false);
  window.pdf = ReadFileBytes(TestDataPath(QStringLiteral("images/red-left.pdf")));
  window.pdfSize = QSizeF(200, 100);
  document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("Hello, world"));
  document.cellAtGridPointImperative({0, 0})->setNote(QStringLiteral("ABCDEFGH"));
  CACell& check = *document.cellAtGridPointImperative({1, 0});
  check.setValueType(kValueCheckbox);
  check.setChecked(true);
  const QString path = save(QStringLiteral("Secret.Numlet"));

  EXPECT_EQ(ReadFileBytes(path + QStringLiteral("/password.txt")), QByteArray("LA8JWFoXi2g\nIt is a test\n"));
  const QString xml = ReadFileText(path + QStringLiteral("/document.xml"));
  EXPECT_TRUE(xml.contains(QStringLiteral("<f>") + kHelloCipher + QStringLiteral("</f>"))) << xml.toStdString();
  EXPECT_TRUE(xml.contains(QStringLiteral("<val>") + kOneCipher + QStringLiteral("</val>")));
  EXPECT_TRUE(xml.contains(QStringLiteral("<note>") + kLettersCipher + QStringLiteral("</note>")));
  EXPECT_FALSE(xml.contains(QStringLiteral("Hello")));
  EXPECT_FALSE(QFileInfo::exists(path + QStringLiteral("/QuickLook")));
  EXPECT_EQ(window.pdfRequests, 0);
  EXPECT_FALSE(document.saveWithPassword());

  // Only the password opens it again.
  CADocument reopened;
  FakePackageWindow otherWindow;
  reopened.setController(&otherWindow);
  int asked = 0;
  NotificationObserver observer = NotificationCenter::defaultCenter().addObserver(
      QLatin1String(kPasswordNotification), &reopened, [&](const Notification&) { ++asked; });
  ASSERT_TRUE(reopened.loadNativeFileCore(path, nullptr));
  EXPECT_TRUE(reopened.rows().empty());
  DeliverQueuedWork();
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(EncryptPassword(QStringLiteral("test"), "_3Kq.Wz7P"), reopened.password());
  ASSERT_TRUE(reopened.loadXmlFile());
  ASSERT_NE(reopened.cellAtGridPoint({0, 0}), nullptr);
  EXPECT_EQ(reopened.cellAtGridPoint({0, 0})->formula(), QStringLiteral("Hello, world"));
  ASSERT_NE(reopened.cellAtGridPoint({0, 0}), nullptr);
  EXPECT_EQ(reopened.cellAtGridPoint({0, 0})->note(), QStringLiteral("ABCDEFGH"));
  ASSERT_NE(reopened.cellAtGridPoint({1, 0}), nullptr);
  EXPECT_TRUE(reopened.cellAtGridPoint({1, 0})->isChecked());
  reopened.setController(nullptr);
}

TEST_F(PackageWriterTest, SavingIntoAPathThatExistsFailsWithTheFileSystemsError) {
  FLError error;
  EXPECT_FALSE(document.saveToNativeFile(folder.path(), false, &error));
  EXPECT_EQ(error.domain, QLatin1String(kFLPosixErrorDomain));
  EXPECT_EQ(error.code, EEXIST);
  EXPECT_FALSE(document.saveToNativeFile(scratch(QStringLiteral("missing/Deep.Numlet")), false, &error));
  EXPECT_EQ(error.code, ENOENT);
}

TEST_F(PackageWriterTest, ASaveThatFailsPartWayLeavesNothingBehind) {
  const QString original = scratch(QStringLiteral("Original.Numlet"));
  ASSERT_TRUE(CopyTree(PackageFixture(QStringLiteral("Sample.Numlet")), original));
  CADocument opened;
  ASSERT_EQ(opened.openFile(original, nullptr), kFileTypeNative);
  // The picture's file can no longer be copied once the document and its cells are written.
  const QString picture = original + QStringLiteral("/Images/") + QLatin1String(kSamplePictureGuid) + QStringLiteral(".png");
  ASSERT_TRUE(QFile::remove(picture));
  ASSERT_TRUE(QDir().mkpath(picture));
  const QString path = scratch(QStringLiteral("Partial.Numlet"));
  FLError error;
  EXPECT_FALSE(opened.saveToNativeFile(path, true, &error));
  EXPECT_FALSE(error.reason.isEmpty());
  EXPECT_FALSE(QFileInfo::exists(path));
}

TEST_F(PackageWriterTest, APreviewIsWrittenOnlyWhenTheDocumentWantsOne) {
  window.pdf = ReadFileBytes(TestDataPath(QStringLiteral("images/red-left.pdf")));
  window.pdfSize = QSizeF(200, 100);
  document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("1"));
  document.setNoPreview(false);
  const QString shown = save(QStringLiteral("Preview.Numlet"));
  EXPECT_TRUE(QFileInfo::exists(shown + QStringLiteral("/QuickLook/Preview.jpg")));
  document.setNoPreview(true);
  const QString hidden = save(QStringLiteral("NoPreview.Numlet"));
  EXPECT_EQ(FolderEntries(hidden), QStringList{QStringLiteral("document.xml")});
  EXPECT_EQ(window.pdfRequests, 1);
}

TEST_F(PackageWriterTest, OnlyThePicturesThatCellsShowAreWritten) {
  std::shared_ptr<CAPicture> shown = CAPicture::withFile(TestDataPath(QStringLiteral("images/opaque-3x2.png")),
                                                         QStringLiteral("SHOWN-1"), &document);
  std::shared_ptr<CAPicture> dropped = CAPicture::withFile(TestDataPath(QStringLiteral("images/opaque-3x2.png")),
                                                           QStringLiteral("DROPPED-1"), &document);
  ASSERT_TRUE(shown && dropped);
  document.cellAtGridPointImperative({0, 0})->setPicture(shown);
  const QString path = save(QStringLiteral("Pictures.Numlet"), true);
  EXPECT_EQ(FolderEntries(path + QStringLiteral("/Images")), QStringList{QStringLiteral("SHOWN-1.png")});
}

// A JPEG that a save re-encoded would lose a little each time: after Save As the picture is known
// by its name in the new package, so the next save in place copies that file and the clipboard
// gets it as it is.
TEST_F(PackageWriterTest, AfterSaveAsAPictureIsKnownByItsNameInTheNewPackage) {
  InstallFileFormatServices();
  std::shared_ptr<CAPicture> picture = CAPicture::withFile(TestDataPath(QStringLiteral("images/opaque-3x2.png")),
                                                           QStringLiteral("OLD-1"), &document);
  ASSERT_TRUE(picture);
  document.cellAtGridPointImperative({0, 0})->setPicture(picture);
  const QString first = scratch(QStringLiteral("First.Numlet"));
  ASSERT_TRUE(document.saveTo(first, false, false));
  ASSERT_EQ(document.filePath(), first);
  const QStringList files = FolderEntries(first + QStringLiteral("/Images"));
  ASSERT_EQ(files.size(), 1);
  const QString name = QFileInfo(files[0]).completeBaseName();
  EXPECT_NE(name, QStringLiteral("OLD-1"));
  EXPECT_EQ(picture->guid(), name);
  EXPECT_EQ(document.pictures().value(name), picture);
  EXPECT_FALSE(document.pictures().contains(QStringLiteral("OLD-1")));

  int32_t format = 0;
  EXPECT_FALSE(picture->archive(&format).isEmpty());
  EXPECT_EQ(format, kImageFormatPng);
  // The save in place keeps the file's name and its bytes.
  const QByteArray bytes = ReadFileBytes(first + QStringLiteral("/Images/") + files[0]);
  ASSERT_TRUE(document.saveTo(first, true, false));
  EXPECT_EQ(FolderEntries(first + QStringLiteral("/Images")), files);
  EXPECT_EQ(ReadFileBytes(first + QStringLiteral("/Images/") + files[0]), bytes);

  // A copy leaves the document's names alone, and so does a save in another format.
  ASSERT_TRUE(document.saveTo(scratch(QStringLiteral("Copy.Numlet")), false, true));
  EXPECT_EQ(picture->guid(), name);
  ASSERT_TRUE(document.saveTo(scratch(QStringLiteral("Sheet.csv")), false, false));
  EXPECT_EQ(picture->guid(), name);
}

// ---- Autosave ------------------------------------------------------------------------------------

class AutosaveTest : public PackageWriterTest {
 protected:
  AutosaveTest() : previous_(qgetenv("XDG_DATA_HOME")) {
    qputenv("XDG_DATA_HOME", scratch(QStringLiteral("data")).toUtf8());
    InstallFileFormatServices();
  }
  ~AutosaveTest() override { qputenv("XDG_DATA_HOME", previous_); }

  QStringList autosaves() const { return FolderEntries(AutosaveFolder()); }

 private:
  QByteArray previous_;
};

TEST_F(AutosaveTest, AnUntitledDocumentKeepsOneCopyThatNamesNoFile) {
  document.setNoPreview(false);
  window.pdf = ReadFileBytes(TestDataPath(QStringLiteral("images/red-left.pdf")));
  document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("42"));
  document.forceAutosave();
  const QString expected = AutosaveFolder() + QLatin1Char('/') + document.guid() + QStringLiteral(".Numlet_autosave");
  EXPECT_EQ(document.autosavePath(), expected);
  EXPECT_EQ(ReadFileText(expected + QStringLiteral("/path.txt")), QStringLiteral("untitled"));
  EXPECT_EQ(FolderEntries(expected), (QStringList{QStringLiteral("document.xml"), QStringLiteral("path.txt")}));
  EXPECT_EQ(window.pdfRequests, 0);
  EXPECT_FALSE(document.autosaving());

  document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("43"));
  document.forceAutosave();
  EXPECT_EQ(autosaves(), QStringList{document.guid() + QStringLiteral(".Numlet_autosave")});
  EXPECT_TRUE(ReadFileText(expected + QStringLiteral("/document.xml")).contains(QStringLiteral("<val>i43</val>")));

  // The copy opens locked, as a recovery.
  CADocument recovered;
  EXPECT_EQ(recovered.openFile(expected, nullptr), kFileTypeNative);
  EXPECT_TRUE(recovered.autosaveRecoveryDoc());
  EXPECT_TRUE(recovered.locked());
}

TEST_F(AutosaveTest, AFailedAutosaveIsLoggedAndStopsTheAutosaves) {
  // A writer that cannot write the package.
  CAFileFormatServices services = FileFormatServices();
  services.writers[kFileTypeNative] = [](CADocument&, const QString&, bool, FLError* error) {
    SetError(error, -36, QStringLiteral("I/O error"));
    return false;
  };
  SetFileFormatServices(services);
  LogCapture log;
  document.forceAutosave();
  EXPECT_TRUE(document.autosaveFailed());
  EXPECT_TRUE(document.autosavePath().isEmpty());
  EXPECT_TRUE(log.contains(QStringLiteral("Autosave of untitled failed: I/O error")));
  EXPECT_TRUE(autosaves().isEmpty());
  log.clear();
  document.forceAutosave();
  EXPECT_TRUE(log.entries().isEmpty());
  InstallFileFormatServices();
}

TEST_F(AutosaveTest, ACopyWhosePathCannotBeWrittenIsAFailedAutosave) {
  // The document's path is longer than the file system lets a file grow, its sheet is not: only
  // "path.txt" is refused.
  QString path;
  while (path.size() < 3000) path += QLatin1Char('/') + QString(200, QLatin1Char('p'));
  document.setFilePath(path + QStringLiteral("/Long.Numlet"));
  document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("42"));
  LogCapture log;
  {
    void (*previousHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit lowered = previous;
    lowered.rlim_cur = 2048;
    setrlimit(RLIMIT_FSIZE, &lowered);
    document.forceAutosave();
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
  }
  EXPECT_TRUE(document.autosaveFailed());
  EXPECT_TRUE(log.contains(QStringLiteral("Autosave of Long.Numlet failed: ")));
  EXPECT_TRUE(autosaves().isEmpty());
}

TEST_F(AutosaveTest, WithoutASupportFolderTheAutosaveIsSkippedQuietly) {
  // The support folder cannot be made below a plain file.
  const QString blocker = scratch(QStringLiteral("blocker"));
  ASSERT_TRUE(WriteFileBytes(blocker, "x"));
  qputenv("XDG_DATA_HOME", blocker.toUtf8());
  document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("42"));
  LogCapture log;
  document.forceAutosave();
  EXPECT_FALSE(document.autosaveFailed());
  EXPECT_TRUE(document.autosavePath().isEmpty());
  EXPECT_TRUE(log.entries().isEmpty());

  // Once the folder can be made, the document is autosaved after all.
  qputenv("XDG_DATA_HOME", scratch(QStringLiteral("data")).toUtf8());
  document.forceAutosave();
  EXPECT_FALSE(document.autosavePath().isEmpty());
  EXPECT_EQ(autosaves(), QStringList{document.guid() + QStringLiteral(".Numlet_autosave")});
}

// ---- Cell archive --------------------------------------------------------------------------------

class CellArchiveTest : public PackageWriterTest {
 protected:
  QString source() const {
    return StringWithFormat("<source>CADocument 0x%lx</source>", uint64_t(reinterpret_cast<uintptr_t>(&document)));
  }
  // The archive read into a fresh document, as a paste does.
  void paste(const QString& archive, CADocument& into) {
    std::unique_ptr<FLXmlDecoder> decoder = FLXmlDecoder::withString(archive);
    ASSERT_TRUE(decoder);
    into.loadFromXml(*decoder);
  }
};

TEST_F(CellArchiveTest, ABlockOfCellsGivesItsRowsAndNoColumns) {
  document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("1"));
  document.cellAtGridPointImperative({1, 0})->setFormula(QStringLiteral("two"));
  document.cellAtGridPointImperative({5, 0})->setFormula(QStringLiteral("outside"));
  document.cellAtGridPointImperative({1, 2})->setFormula(QStringLiteral("3"));
  document.cellAtGridPointImperative({1, 9})->setFormula(QStringLiteral("below"));
  document.columnImperative(1)->setDigitCount(5);
  document.rowImperative(2)->setMinimumHeight(254000);
  document.setSelectionRange({{0, 0}, {1, 2}});
  document.setActiveCellPoint({1, 2});
  const QString expected = kDeclaration + QStringLiteral("<spreadsheet ver=\"1\">\n\t<app_ver>3.1</app_ver>\n\t") + source() +
                           QStringLiteral(
                               "\n\t<sel>0,0:1,2</sel>\n\t<active>1,2</active>\n\t<separators>.,</separators>\n\t<rows>\n"
                               "\t\t<row y=\"0\">\n\t\t\t<cells>\n"
                               "\t\t\t\t<cell x=\"0\" y=\"0\" type=\"#\">\n\t\t\t\t\t<val>i1</val>\n\t\t\t\t</cell>\n"
                               "\t\t\t\t<cell x=\"1\" y=\"0\" type=\"s\">\n\t\t\t\t\t<f>two</f>\n\t\t\t\t</cell>\n"
                               "\t\t\t</cells>\n\t\t</row>\n"
                               "\t\t<row y=\"2\">\n\t\t\t<cells>\n"
                               "\t\t\t\t<cell x=\"1\" y=\"2\" type=\"#\">\n\t\t\t\t\t<val>i3</val>\n\t\t\t\t</cell>\n"
                               "\t\t\t</cells>\n\t\t</row>\n"
                               "\t</rows>\n</spreadsheet>\n");
  EXPECT_EQ(document.archiveSelection(), expected);
}

TEST_F(CellArchiveTest, PicturesTravelInsideTheArchive) {
  std::shared_ptr<CAPicture> picture = CAPicture::withFile(TestDataPath(QStringLiteral("images/opaque-3x2.png")),
                                                           QStringLiteral("CAFE-1"), &document);
  document.cellAtGridPointImperative({0, 0})->setPicture(picture);
  document.cellAtGridPointImperative({1, 0})->setFormula(QStringLiteral("caption"));
  document.setSelectionRange({{0, 0}, {1, 0}});
  const QString archive = document.archiveSelection();
  // Between "active" and "rows".
  const qsizetype pix = archive.indexOf(QStringLiteral("\t<pix>\n\t\t<pic id=\"CAFE-1\" format=\"tiff\">"));
  EXPECT_GT(pix, archive.indexOf(QStringLiteral("<active>")));
  EXPECT_LT(pix, archive.indexOf(QStringLiteral("<rows>")));

  CADocument pasted;
  LogCapture log;
  paste(archive, pasted);
  EXPECT_TRUE(log.assertMessages().isEmpty()) << log.entries().join(QLatin1Char('\n')).toStdString();
  const CACell* cell = pasted.cellAtGridPoint({0, 0});
  ASSERT_TRUE(cell && cell->picture());
  EXPECT_EQ(cell->picture()->guid(), QStringLiteral("CAFE-1"));
  EXPECT_EQ(cell->picture()->image()->bitmap().size(), QSize(3, 2));
  ASSERT_NE(pasted.cellAtGridPoint({1, 0}), nullptr);
  EXPECT_EQ(pasted.cellAtGridPoint({1, 0})->formula(), QStringLiteral("caption"));
  EXPECT_EQ(pasted.selectionRange(), (GridRange{{0, 0}, {1, 0}}));
}

TEST_F(CellArchiveTest, ANoteOnAnEmptyCellIsCopied) {
  document.cellAtGridPointImperative({1, 1})->setNote(QStringLiteral("ask Ann"));
  document.setSelectionRange({{0, 0}, {2, 2}});
  const QString archive = document.archiveSelection();
  ASSERT_FALSE(archive.isNull());
  CADocument pasted;
  paste(archive, pasted);
  ASSERT_NE(pasted.cellAtGridPoint({1, 1}), nullptr);
  EXPECT_EQ(pasted.cellAtGridPoint({1, 1})->note(), QStringLiteral("ask Ann"));
}

TEST_F(CellArchiveTest, ASelectionOfEmptyCellsGivesNoArchive) {
  document.cellAtGridPointImperative({5, 5})->setFormula(QStringLiteral("elsewhere"));
  document.setSelectionRange({{0, 0}, {2, 2}});
  EXPECT_TRUE(document.archiveSelection().isNull());
}

// ---- Round trips ---------------------------------------------------------------------------------

TEST_F(PackageWriterTest, TheGoldenPackageSurvivesASaveUnderAnotherName) {
  CADocument original;
  ASSERT_EQ(original.openFile(PackageFixture(QStringLiteral("Sample.Numlet")), nullptr), kFileTypeNative);
  FLError error;
  const QString copy = scratch(QStringLiteral("Copy.Numlet"));
  ASSERT_TRUE(original.saveToNativeFile(copy, false, &error)) << error.reason.toStdString();
  CADocument reopened;
  ASSERT_EQ(reopened.openFile(copy, nullptr), kFileTypeNative);
  ExpectSameSheet(original, reopened);

  // And a save in place of the copy changes nothing but what a window would.
  const QString again = scratch(QStringLiteral("Again.Numlet"));
  ASSERT_TRUE(reopened.saveToNativeFile(again, true, &error));
  EXPECT_EQ(ReadFileText(again + QStringLiteral("/document.xml")), ReadFileText(copy + QStringLiteral("/document.xml")));
}

TEST_F(PackageWriterTest, NotesAndControlCharactersSurviveASaveAsValidXml) {
  document.cellAtGridPointImperative({2, 3})->setNote(QStringLiteral("only a note"));
  document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("bell\u0007 tab <&> \u00e9 \U0001F600"));
  const QString path = save(QStringLiteral("Controls.Numlet"));
  CADocument reopened;
  ASSERT_EQ(reopened.openFile(path, nullptr), kFileTypeNative);
  ASSERT_NE(reopened.cellAtGridPoint({2, 3}), nullptr);
  EXPECT_EQ(reopened.cellAtGridPoint({2, 3})->note(), QStringLiteral("only a note"));
  // A control character that XML cannot hold becomes a space; the rest comes back unchanged.
  ASSERT_NE(reopened.cellAtGridPoint({0, 0}), nullptr);
  EXPECT_EQ(reopened.cellAtGridPoint({0, 0})->formula(), QStringLiteral("bell  tab <&> \u00e9 \U0001F600"));

  const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
  if (xmllint.isEmpty()) GTEST_SKIP() << "xmllint is not installed";
  QProcess lint;
  lint.start(xmllint, {QStringLiteral("--noout"), path + QStringLiteral("/document.xml")});
  ASSERT_TRUE(lint.waitForFinished(30000));
  EXPECT_EQ(lint.exitCode(), 0) << lint.readAllStandardError().toStdString();
}

}  // namespace
