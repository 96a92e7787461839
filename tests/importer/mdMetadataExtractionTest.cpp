// What the importer takes from a package: the cell texts and formulas of "document.xml" with
// their escapes undone, the creator, nothing but the creator for a protected package, and a
// refusal, never a crash or a hang, for packages that are damaged, huge or hold planted links.
#include "importer/mdMetadataExtraction.h"

#include "ImporterTestSupport.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using Result = MDImporterPlugIn::Result;

constexpr const char* kCreator = "Tamsel Calculator";

TEST(ExtractTextContent, TakesEachCellSpanUnescapedWithoutAFormulasEqualsSign) {
  struct Case { const char* xml; const char16_t* content; };
  const Case cases[] = {
      {"<cell><f>=SUM(A1:A3)</f></cell>", u" SUM(A1:A3)"}, {"<f>a &lt; b</f>", u" a < b"},
      {"<f>first</f>\n<f>second</f>", u" first second"},
      {"<f>R&amp;D &quot;x&quot; &gt; 2</f>", u" R&D \"x\" > 2"},
      {"<f>&amp;lt;</f>", u" &lt;"},  // undone once only
      {"<f>caf&#233; cr&#xE8;me</f>", u" caf\u00E9 cr\u00E8me"},
      {"<f>==1</f>", u" =1"},  // only the first "=" goes
      {"<f> =1</f>", u"  =1"},
      {"<f>a<f>b</f><f>c</f>", u" a<f>b c"},  // spans are not nested
      {"<note>n</note><f>x</f><val>1</val>", u" x"},
      {"<F>upper</F><f >spaced</f>", u""},  // the tag is matched literally
      {"<f>x", u""},  // fewer than two characters after "<f>": the scan ends
      {"<f>x</f><f>y", u" x"}, {"<f>ok</f><f>unclosed</F>", u" ok"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ExtractTextContent(QString::fromUtf8(c.xml)), QString::fromUtf16(c.content)) << c.xml;
}

class MetadataExtractionTest : public ImporterTest {};

// The fixture is what the application's package writer produces (its golden test compares them).
TEST_F(MetadataExtractionTest, SavedPackageGivesItsCreatorAndCellTextsAndFormulas) {
  MDHostAttributes attributes;
  EXPECT_EQ(import(PackageFixture(QStringLiteral("Sample.Numlet")), &attributes), Result::Supplied);
  EXPECT_EQ(attributes.value(kMDItemCreator), QByteArray(kCreator));
  EXPECT_EQ(attributes.value(kMDItemTextContent), QByteArray(" A1*2 Plan B http://www.example.com a < b & \"c\""));
}

TEST_F(MetadataExtractionTest, PathInterfaceGivesWhatTheURLInterfaceGives) {
  const auto byPath = exported<bool (*)(void*, MDAttributesRef, const char*, const char*)>("GetMetadataForPath");
  ASSERT_NE(byPath, nullptr);
  const QString path = package(QStringLiteral("With space #1.Numlet"), "<f>=B2&amp;C2</f>");
  for (const QString& given : {path, path + QLatin1Char('/'), QString()}) {
    MDHostAttributes attributes;
    const bool supplied = given.isEmpty() ? import(path, &attributes) == Result::Supplied  // through the URL
                                          : byPath(nullptr, &attributes, kMDNumletContentType,
                                                   QFile::encodeName(given).constData());
    EXPECT_TRUE(supplied) << given.toStdString();
    EXPECT_EQ(attributes.value(kMDItemTextContent), QByteArray(" B2&C2"));
  }
  MDHostAttributes none;
  EXPECT_FALSE(byPath(nullptr, &none, kMDNumletContentType, ""));
  EXPECT_FALSE(byPath(nullptr, &none, kMDNumletContentType, nullptr));
}

TEST_F(MetadataExtractionTest, ProtectedPackageGivesItsCreatorOnly) {
  MDHostAttributes attributes;
  EXPECT_EQ(import(PackageFixture(QStringLiteral("Protected.Numlet")), &attributes), Result::Supplied);
  ASSERT_EQ(attributes.entries().size(), 1u);
  EXPECT_EQ(attributes.value(kMDItemCreator), QByteArray(kCreator));

  // A password file that is a dangling link still keeps the cells out.
  const QString path = package(QStringLiteral("Linked.Numlet"), "<f>secret</f>");
  Symlink(QStringLiteral("/nonexistent/password.txt"), path + QStringLiteral("/password.txt"));
  MDHostAttributes linked;
  EXPECT_EQ(import(path, &linked), Result::Supplied);
  EXPECT_TRUE(linked.value(kMDItemTextContent).isNull());
}

TEST_F(MetadataExtractionTest, AnotherContentTypeGivesNothingAtAll) {
  for (const char* type : {"public.data", "com.orvandel.numlet.autosave", "COM.ORVANDEL.NUMLET", ""}) {
    MDHostAttributes attributes;
    EXPECT_EQ(import(PackageFixture(QStringLiteral("Sample.Numlet")), &attributes, type), Result::NotSupplied);
    EXPECT_TRUE(attributes.entries().empty()) << type;
  }
}

TEST_F(MetadataExtractionTest, PackageWithoutCellsGivesAnEmptyTextContent) {
  MDHostAttributes attributes;
  EXPECT_EQ(import(package(QStringLiteral("Empty.Numlet"), "<spreadsheet ver=\"1\"/>"), &attributes), Result::Supplied);
  EXPECT_EQ(attributes.value(kMDItemTextContent), QByteArray(""));
  EXPECT_FALSE(attributes.value(kMDItemTextContent).isNull());
}

TEST_F(MetadataExtractionTest, UnreadableDocumentGivesNoAttributesButTheCreator) {
  const QString outside = folder.filePath(QStringLiteral("elsewhere.xml"));
  ASSERT_TRUE(WriteFileBytes(outside, "<f>private</f>"));

  const QString missing = folder.filePath(QStringLiteral("Missing.Numlet"));
  const QString noDocument = emptyPackage(QStringLiteral("NoDocument.Numlet"));
  const QString notUtf8 = package(QStringLiteral("Latin1.Numlet"), "<f>caf\xE9</f>");
  const QString folderDocument = emptyPackage(QStringLiteral("Folder.Numlet"));
  ASSERT_TRUE(QDir().mkpath(folderDocument + QStringLiteral("/document.xml")));
  const QString pipe = emptyPackage(QStringLiteral("Pipe.Numlet"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(pipe + QStringLiteral("/document.xml")).constData(), 0600), 0);
  const QString linkOut = emptyPackage(QStringLiteral("LinkOut.Numlet"));
  Symlink(outside, linkOut + QStringLiteral("/document.xml"));
  const QString relativeOut = emptyPackage(QStringLiteral("RelativeOut.Numlet"));
  Symlink(QStringLiteral("../elsewhere.xml"), relativeOut + QStringLiteral("/document.xml"));
  const QString aFile = folder.filePath(QStringLiteral("File.Numlet"));
  ASSERT_TRUE(WriteFileBytes(aFile, "<f>not a package</f>"));

  for (const QString& path : {missing, noDocument, notUtf8, folderDocument, pipe, linkOut, relativeOut, aFile}) {
    MDHostAttributes attributes;
    EXPECT_EQ(import(path, &attributes), Result::NotSupplied) << path.toStdString();
    EXPECT_TRUE(attributes.value(kMDItemTextContent).isNull()) << path.toStdString();
    EXPECT_EQ(attributes.value(kMDItemCreator), QByteArray(kCreator));
  }
}

TEST_F(MetadataExtractionTest, LinkThatStaysInsideThePackageIsRead) {
  const QString path = package(QStringLiteral("Inside.Numlet"), "<f>unused</f>");
  ASSERT_TRUE(QDir().mkpath(path + QStringLiteral("/Saved")));
  ASSERT_TRUE(WriteFileBytes(path + QStringLiteral("/Saved/real.xml"), "<f>kept</f>"));
  ASSERT_TRUE(QFile::remove(path + QStringLiteral("/document.xml")));
  Symlink(QStringLiteral("Saved/real.xml"), path + QStringLiteral("/document.xml"));
  // The package itself may be reached through a link.
  const QString alias = folder.filePath(QStringLiteral("Alias.Numlet"));
  ASSERT_TRUE(QFile::link(path, alias));
  for (const QString& given : {path, alias}) {
    MDHostAttributes attributes;
    EXPECT_EQ(import(given, &attributes), Result::Supplied);
    EXPECT_EQ(attributes.value(kMDItemTextContent), QByteArray(" kept"));
  }
}

TEST_F(MetadataExtractionTest, OnlyTheFirst64MegabytesOfTheDocumentAreRead) {
  // A cell before the limit, a two-byte character cut by it, and a cell after it.
  QByteArray xml("<f>before</f>");
  xml.append(QByteArray(qsizetype(kMaxDocumentXmlBytes) - xml.size() - 1, ' '));
  xml.append("\xC3\xA9<f>beyond</f>");
  ASSERT_EQ(xml.size(), kMaxDocumentXmlBytes + 14);
  const QString path = package(QStringLiteral("Huge.Numlet"), xml);
  xml.clear();
  MDHostAttributes attributes;
  EXPECT_EQ(import(path, &attributes), Result::Supplied);
  EXPECT_EQ(attributes.value(kMDItemTextContent), QByteArray(" before"));
}

}  // namespace
