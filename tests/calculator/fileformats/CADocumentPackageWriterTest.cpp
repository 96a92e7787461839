// Writing the native package: the exact text of every document-level element and their order,
// the password file and enciphered cells of a protected document, the preview, the pictures a
// save writes and how it names them, autosave copies, and the cell archive of the clipboard.
#include "calculator/fileformats/caPackageReader.h"
#include "calculator/fileformats/caPackageWriter.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/flPasswords.h"
#include "platform/NotificationCenter.h"
#include "platform/StringWithFormat.h"
#include "PackageTestSupport.h"
#include "SampleDocument.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const QString kDeclaration = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
// The check value of the password "test" under the seed "_3Kq.Wz7P", and cipher texts under it
// (tests/data/passwords/vectors.txt, made by tools/makePasswordVectors.py).
const QString kCheckValue = QStringLiteral("LA8JWFoXi2g");
const QString kHelloCipher = QStringLiteral("BKnW243PbabwYlnNQHwj1Z8=");  // "Hello, world"
const QString kOneCipher = QStringLiteral("B7lJ1QleD02L");              // "1"
const QString kLettersCipher = QStringLiteral("AFFVQOBSm4QX");          // "ABCDEFGH"

QString DocumentInfoXml(CADocument& document, bool forUndo) {
  FLXmlEncoder encoder;
  document.saveDocumentInfo(encoder, forUndo);
  return encoder.xml().mid(kDeclaration.size());
}

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

struct ElementCase {
  const char* what;
  std::function<void(CADocument&)> set;
  const char* present;  // a line the XML must hold, or null
  const char* absent;   // a tag the XML must not hold, or null
};

TEST_F(PackageWriterTest, EachElementIsWrittenAsItsTableSays) {
  const ElementCase cases[] = {
      {"digits", [](CADocument& d) { d.setDefaultDigitCount(9); }, "<digits>9</digits>", "<width>"},
      {"width", [](CADocument& d) { d.setDefaultWidth(1270000); }, "<width>1270000</width>", "<digits>"},
      {"no width", [](CADocument& d) { d.setDefaultDigitCount(0); }, nullptr, "<digits>"},
      {"no width either", [](CADocument& d) { d.setDefaultDigitCount(0); }, nullptr, "<width>"},
      {"zoom rounds", [](CADocument& d) { d.setZoomValue(0.29); }, "<zoom>29</zoom>", nullptr},
      {"zoom", [](CADocument& d) { d.setZoomValue(2.0); }, "<zoom>200</zoom>", nullptr},
      {"font size", [](CADocument& d) {
         QFont font = d.font();
         font.setPointSizeF(10.3);
         d.setFont(font);
       }, "<font_size>103</font_size>", nullptr},
      {"no stripe", [](CADocument& d) { d.setStripeInterval(0); }, nullptr, "<stripe>"},
      {"stripe", [](CADocument& d) {
         d.setStripeInterval(2);
         d.setStripeKolor(0x32FF0000);
       }, "<stripe>2</stripe>\n<color>{0, 0, 255, 50}</color>", nullptr},
      {"no header", [](CADocument& d) { d.setHeader(QString()); }, nullptr, "<header>"},
      {"no margins", [](CADocument& d) { d.setTopMargin(0); }, nullptr, "<margin_t>"},
      {"no minimum height", [](CADocument& d) { d.setMinimumHeight(0); }, nullptr, "<minhigh>"},
      {"padding", [](CADocument& d) { d.setCellPadding({0, 50800}); }, "<pad>0,50800</pad>", nullptr},
      {"whole columns", [](CADocument& d) { d.setSelectionRange({{2, kGridWildcard}, {4, kGridWildcard}}); },
       "<sel>2,*:4,*</sel>", nullptr},
      {"flags off", [](CADocument& d) { d.setMakeBackups(false); }, nullptr, "<backup>"},
      {"no print info", [](CADocument&) {}, nullptr, "<print>"},
      {"window", [](CADocument&) {}, "<frame>{{0, 0}, {0, 0}}</frame>\n<zoom>", nullptr},
      {"format panel", [](CADocument&) {}, "<fp>0</fp>\n<sel>0,0:0,0</sel>\n<active>0,0</active>\n<scroll>0,0</scroll>",
       nullptr},
  };
  for (const ElementCase& c : cases) {
    CADocument fresh;
    c.set(fresh);
    const QString xml = DocumentInfoXml(fresh, false);
    if (c.present) { EXPECT_TRUE(xml.contains(QString::fromUtf8(c.present))) << c.what << "\n" << xml.toStdString(); }
    if (c.absent) { EXPECT_FALSE(xml.contains(QString::fromUtf8(c.absent))) << c.what << "\n" << xml.toStdString(); }
  }
}

TEST_F(PackageWriterTest, UndoArchivesHaveNoWindowFrame) {
  window.content = QRectF(1, 2, 3, 4);
  EXPECT_TRUE(DocumentInfoXml(document, false).contains(QStringLiteral("<frame>{{1, 2}, {3, 4}}</frame>")));
  EXPECT_FALSE(DocumentInfoXml(document, true).contains(QStringLiteral("<frame>")));
}

TEST_F(PackageWriterTest, PrintInfoIsBase64InLinesOf76) {
  QByteArray archive;
  for (int i = 0; i < 100; ++i) archive.append(char(i * 7));
  document.setPrintInfo(archive);
  const QString xml = DocumentInfoXml(document, false);
  const QString expected = QString::fromLatin1(archive.toBase64());
  EXPECT_TRUE(xml.contains(QStringLiteral("<print>") + expected.left(76) + QLatin1Char('\n') + expected.mid(76) +
                           QStringLiteral("</print>")))
      << xml.toStdString();
}

TEST_F(PackageWriterTest, ColumnsAreWrittenOnlyWhenThereAreAny) {
  FLXmlEncoder empty;
  document.saveColumns(empty);
  EXPECT_EQ(empty.xml(), kDeclaration);
  document.columnImperative(3)->setDigitCount(4);
  document.columnImperative(1)->setDigitCount(0);
  FLXmlEncoder encoder;
  document.saveColumns(encoder);
  EXPECT_EQ(encoder.xml().mid(kDeclaration.size()),
            QStringLiteral("<cols>\n\t<col x=\"1\"></col>\n\t<col x=\"3\">\n\t\t<digits>4</digits>\n\t</col>\n</cols>\n"));
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
  EXPECT_EQ(reopened.cellAtGridPoint({0, 0})->formula(), QStringLiteral("Hello, world"));
  EXPECT_EQ(reopened.cellAtGridPoint({0, 0})->note(), QStringLiteral("ABCDEFGH"));
  EXPECT_TRUE(reopened.cellAtGridPoint({1, 0})->isChecked());
  reopened.setController(nullptr);
}

// ---- Preview -------------------------------------------------------------------------------------

TEST_F(PackageWriterTest, PreviewIsWrittenUnlessTheDocumentOrTheSaveSaysNo) {
  window.pdf = ReadFileBytes(TestDataPath(QStringLiteral("images/red-left.pdf")));
  window.pdfSize = QSizeF(120, 90);
  document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("1"));

  document.setNoPreview(false);
  const QString withPreview = save(QStringLiteral("Preview.Numlet"));
  EXPECT_EQ(FolderEntries(withPreview + QStringLiteral("/QuickLook")),
            (QStringList{QStringLiteral("Preview.jpg"), QStringLiteral("Thumbnail.jpg")}));
  EXPECT_EQ(window.pdfRequests, 1);

  document.setNoPreview(true);
  EXPECT_FALSE(QFileInfo::exists(save(QStringLiteral("NoPreview.Numlet")) + QStringLiteral("/QuickLook")));

  document.setNoPreview(false);
  document.setAutosaving(true);
  const QString autosaved = save(QStringLiteral("Copy.Numlet_autosave"));
  document.setAutosaving(false);
  EXPECT_FALSE(QFileInfo::exists(autosaved + QStringLiteral("/QuickLook")));
  EXPECT_EQ(window.pdfRequests, 1);

  // A window with nothing to print gives no preview and no failure.
  window.pdf.clear();
  EXPECT_FALSE(QFileInfo::exists(save(QStringLiteral("Blank.Numlet")) + QStringLiteral("/QuickLook")));
}

// ---- Pictures ------------------------------------------------------------------------------------

TEST_F(PackageWriterTest, OnlyPicturesThatCellsShowAreWritten) {
  const QString image = TestDataPath(QStringLiteral("images/opaque-3x2.png"));
  std::shared_ptr<CAPicture> shown = CAPicture::withFile(image, QStringLiteral("AAAA-1"), &document);
  (void)CAPicture::withFile(TestDataPath(QStringLiteral("images/rgba-2x2.png")), QStringLiteral("BBBB-2"), &document);
  document.cellAtGridPointImperative({2, 5})->setPicture(shown);

  const QString inPlace = save(QStringLiteral("InPlace.Numlet"), true);
  EXPECT_EQ(FolderEntries(inPlace + QStringLiteral("/Images")), QStringList{QStringLiteral("AAAA-1.png")});

  const QString renamed = save(QStringLiteral("Renamed.Numlet"), false);
  const QStringList files = FolderEntries(renamed + QStringLiteral("/Images"));
  ASSERT_EQ(files.size(), 1);
  const QString newGuid = QFileInfo(files[0]).completeBaseName();
  EXPECT_NE(newGuid, QStringLiteral("AAAA-1"));
  EXPECT_TRUE(IsValidPictureId(newGuid));
  EXPECT_TRUE(ReadFileText(renamed + QStringLiteral("/document.xml"))
                  .contains(QStringLiteral("<pic>") + newGuid + QStringLiteral("</pic>")));
  EXPECT_EQ(shown->guid(), QStringLiteral("AAAA-1"));
  const std::vector<std::shared_ptr<CAPicture>> used = document.copyUsedPictures();
  ASSERT_EQ(used.size(), 1u);
  EXPECT_EQ(used[0], shown);
}

TEST_F(PackageWriterTest, SavingIntoAPathThatExistsFailsWithTheFileSystemsError) {
  FLError error;
  EXPECT_FALSE(document.saveToNativeFile(folder.path(), false, &error));
  EXPECT_EQ(error.domain, QLatin1String(kFLPosixErrorDomain));
  EXPECT_EQ(error.code, EEXIST);
  EXPECT_FALSE(document.saveToNativeFile(scratch(QStringLiteral("missing/Deep.Numlet")), false, &error));
  EXPECT_EQ(error.code, ENOENT);
}

// ---- Autosave ------------------------------------------------------------------------------------

class AutosaveTest : public PackageWriterTest {
 protected:
  AutosaveTest() : previous_(qgetenv("XDG_DATA_HOME")) { qputenv("XDG_DATA_HOME", scratch(QStringLiteral("data")).toUtf8()); }
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

TEST_F(AutosaveTest, ATitledDocumentsCopyNamesItsFile) {
  document.setFilePath(QStringLiteral("/home/ann/Budget.Numlet"));
  document.forceAutosave();
  EXPECT_EQ(ReadFileText(document.autosavePath() + QStringLiteral("/path.txt")), QStringLiteral("/home/ann/Budget.Numlet"));
}

TEST_F(AutosaveTest, AFailedAutosaveIsLoggedAndStopsTheAutosaves) {
  // The support folder cannot be made below a plain file.
  const QString blocker = scratch(QStringLiteral("blocker"));
  ASSERT_TRUE(WriteFileBytes(blocker, "x"));
  qputenv("XDG_DATA_HOME", blocker.toUtf8());
  LogCapture log;
  document.forceAutosave();
  EXPECT_TRUE(document.autosaveFailed());
  EXPECT_TRUE(document.autosavePath().isEmpty());
  EXPECT_TRUE(log.contains(QStringLiteral("Autosave of untitled failed: ")));
  log.clear();
  document.forceAutosave();
  EXPECT_TRUE(log.entries().isEmpty());
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
                               "\n\t<sel>0,0:1,2</sel>\n\t<active>1,2</active>\n\t<rows>\n"
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

TEST_F(CellArchiveTest, EmptyCellsGiveNoArchive) {
  document.cellAtGridPointImperative({7, 7})->setFormula(QStringLiteral("far away"));
  document.setSelectionRange({{0, 0}, {2, 2}});
  EXPECT_TRUE(document.archiveSelection().isNull());
  CADocument empty;
  EXPECT_TRUE(empty.archiveSelection().isNull());
}

TEST_F(CellArchiveTest, WholeColumnsBringTheirColumnsAndWholeRowsTheirRowInformation) {
  document.cellAtGridPointImperative({1, 0})->setFormula(QStringLiteral("a"));
  document.cellAtGridPointImperative({3, 4})->setFormula(QStringLiteral("b"));
  document.columnImperative(1)->setDigitCount(5);
  document.columnImperative(3)->setDigitCount(7);
  document.rowImperative(4)->setMinimumHeight(254000);

  document.setSelectionRange({{1, kGridWildcard}, {1, kGridWildcard}});
  const QString columns = document.archiveSelection();
  EXPECT_TRUE(columns.contains(QStringLiteral("<cols>\n\t\t<col x=\"1\">\n\t\t\t<digits>5</digits>\n\t\t</col>\n\t</cols>")))
      << columns.toStdString();
  EXPECT_FALSE(columns.contains(QStringLiteral("<f>b</f>")));
  EXPECT_FALSE(columns.contains(QStringLiteral("<minhigh>")));

  document.setSelectionRange({{kGridWildcard, 4}, {kGridWildcard, 4}});
  const QString rows = document.archiveSelection();
  EXPECT_FALSE(rows.contains(QStringLiteral("<cols>")));
  EXPECT_TRUE(rows.contains(QStringLiteral("<minhigh>254000</minhigh>"))) << rows.toStdString();
  EXPECT_TRUE(rows.contains(QStringLiteral("<f>b</f>")));
  EXPECT_FALSE(rows.contains(QStringLiteral("<f>a</f>")));
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
  EXPECT_EQ(pasted.cellAtGridPoint({1, 0})->formula(), QStringLiteral("caption"));
  EXPECT_EQ(pasted.selectionRange(), (GridRange{{0, 0}, {1, 0}}));
}

// ---- Round trips ---------------------------------------------------------------------------------

TEST_F(PackageWriterTest, ASavedDocumentReadsBackWhole) {
  FillSampleDocument(document);
  const QString path = save(QStringLiteral("Trip.Numlet"));
  CADocument reopened;
  ASSERT_EQ(reopened.openFile(path, nullptr), kFileTypeNative);
  ExpectSameSheet(document, reopened);
  EXPECT_EQ(reopened.pictures().size(), 1);
}

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

}  // namespace
