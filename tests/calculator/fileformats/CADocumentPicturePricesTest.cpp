// Pictures in the files a sheet opens are priced by their pixels before they are decoded: a
// package decodes only the pictures its cells show, keeps those too large to decode as their
// bytes with an alert, and RTF, RTFD and pages leave such pictures out with one. Every file a
// document names by reference is read only when it is a regular file, so that a FIFO named in
// its place is answered at once.
#include "ImportAlertRecorder.h"
#include "PackageTestSupport.h"
#include "RichTextTestSupport.h"

#include "calculator/fileformats/caPackageReader.h"
#include "calculator/model/CAGridPoint.h"
#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/flReadingMeter.h"
#include "platform/FLError.h"
#include "support/PictureHeaders.h"

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>
#include <optional>

namespace {

constexpr int64_t MB = int64_t(1) << 20;

int64_t g_heap = 0;
int64_t FixedHeap() { return g_heap; }

class PicturePricesTest : public PackageTest {
 protected:
  PicturePricesTest() : previousHeap_(FLReadingMeter::SetHeapCountForTests(FixedHeap)) { g_heap = 100 * MB; }
  ~PicturePricesTest() override { FLReadingMeter::SetHeapCountForTests(previousHeap_); }

  // A package of the picture files whose first row shows the named ones.
  QString package(const QString& name, const std::map<QString, QByteArray>& images, const QStringList& shown) {
    const QString path = scratch(name);
    EXPECT_TRUE(QDir().mkpath(path + QStringLiteral("/Images")));
    for (const auto& [file, bytes] : images) EXPECT_TRUE(WriteFileBytes(path + QStringLiteral("/Images/") + file, bytes));
    QString cells;
    for (qsizetype x = 0; x < shown.size(); ++x)
      cells += QStringLiteral("<cell x=\"%1\" y=\"0\" type=\"image\"><pic>%2</pic></cell>").arg(x).arg(shown[x]);
    const QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<spreadsheet ver=\"1\"><rows>"
                                       "<row y=\"0\"><cells>%1</cells></row></rows></spreadsheet>\n")
                            .arg(cells);
    EXPECT_TRUE(WriteFileBytes(path + QStringLiteral("/document.xml"), xml.toUtf8()));
    return path;
  }

 private:
  FLReadingMeter::HeapCount previousHeap_;
};

// Only the pictures the cells show are decoded, each priced first: one larger than any picture
// may be decoded, or than the open has left, is kept as its bytes (shown as an empty frame, saved
// as it was read) and said to be; one whose file is no picture fails the open as before.
TEST_F(PicturePricesTest, APackageDecodesOnlyThePicturesItsCellsShowPricedFirst) {
  const QByteArray huge = PngHeaderOnly(8000, 8000);
  const QByteArray large = PngHeaderOnly(1000, 1000);
  const QByteArray sound = Png(30);
  const QByteArray damaged = PngHeaderOnly(30, 30);  // a sound header, no pixels
  const struct {
    const char* name;
    std::map<QString, QByteArray> images;
    QStringList shown;
    int64_t budget;  // of the open's meter; 0: no meter
    bool opens;
    FLPictureRefusal refusal;  // of the first cell's picture
    const char* alert;         // a part of the one alert shown; empty: none
  } cases[] = {
      {"pictures no cell shows are not decoded", {{"BIG.png", huge}, {"BAD.png", damaged}, {"OK.png", sound}}, {},
       0, true, FLPictureRefusal::None, ""},
      {"a sound picture", {{"OK.png", sound}, {"BIG.png", huge}}, {"OK"}, 0, true, FLPictureRefusal::None, ""},
      {"past the decoders' limit", {{"BIG.png", huge}}, {"BIG"}, 0, true, FLPictureRefusal::PastDecodeLimit,
       "1 of the pictures \"Case3.Numlet\" shows were left out: each is larger than a picture may be when decoded"},
      {"past what the open has left", {{"LARGE.png", large}}, {"LARGE"}, 2 * MB, true, FLPictureRefusal::PastBudget,
       "1 of the pictures \"Case4.Numlet\" shows were left out: decoded, they would take more memory"},
      {"a shown picture that cannot be decoded", {{"BAD.png", damaged}}, {"BAD"}, 0, false, FLPictureRefusal::None, ""},
  };
  int number = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString name = QStringLiteral("Case%1.Numlet").arg(++number);
    const QString path = package(name, c.images, c.shown);
    ImportAlertRecorder alerts;
    CADocument document;
    FLError error;
    int32_t type = 0;
    {
      std::optional<FLReadingMeter> meter;
      if (c.budget > 0) meter.emplace(c.budget);
      type = document.openFile(path, &error);
    }
    if (!c.opens) {
      EXPECT_EQ(type, 0);
      EXPECT_EQ(error.code, kImageUnreadableCode);
      EXPECT_EQ(error.reason, QLatin1String(kImageUnreadableReason));
      continue;
    }
    ASSERT_EQ(type, kFileTypeNative) << error.reason.toStdString();
    // Only what the cells show is among the document's pictures.
    EXPECT_EQ(document.pictures().size(), c.shown.size());
    if (c.alert[0]) {
      ASSERT_EQ(alerts.shown.size(), 1);
      EXPECT_TRUE(alerts.shown[0].contains(QLatin1String(c.alert))) << alerts.shown[0].toStdString();
      EXPECT_TRUE(alerts.shown[0].endsWith(QLatin1String(kPicturesKeptInformation)));
    } else {
      EXPECT_TRUE(alerts.shown.isEmpty()) << alerts.shown.join(u'\n').toStdString();
    }
    if (c.shown.isEmpty()) continue;
    const CACell* cell = document.cellAtGridPoint({0, 0});
    ASSERT_TRUE(cell);
    ASSERT_TRUE(cell->picture());
    ASSERT_TRUE(cell->picture()->image());
    EXPECT_EQ(cell->picture()->image()->refusal(), c.refusal);
    // Saved elsewhere, the picture's file is what the package held, byte for byte.
    const QString saved = scratch(QStringLiteral("Saved%1.Numlet").arg(number));
    ASSERT_TRUE(document.saveToNativeFile(saved, false, &error)) << error.reason.toStdString();
    const QStringList files = FolderEntries(saved + QStringLiteral("/Images"));
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(ReadFileBytes(saved + QStringLiteral("/Images/") + files[0]), c.images.at(c.shown[0] + QStringLiteral(".png")));
  }
}

class NamedFilesTest : public RichTextTest {
 protected:
  // A FIFO nobody writes to: opening it to read would wait for ever.
  QString fifo(const char* name) {
    const QString path = this->path(name);
    EXPECT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    return path;
  }
};

// A picture named by reference (an RTF's picture file, an RTFD's attachment, a page's image, a
// file pasted by name) is read only when it is a regular file: a FIFO in its place is answered at
// once, as a picture that cannot be had, and the text around it is read.
TEST_F(NamedFilesTest, AFifoNamedAsAPictureIsAnsweredAtOnce) {
  const QString pipe = fifo("pipe.png");
  const QByteArray rtf = "{\\rtf1 a{\\pict\\glmtrefpic " + QFile::encodeName(pipe) + "}b\\par}";
  const QString rtfd = path("fifo.rtfd");
  ASSERT_TRUE(QDir().mkpath(rtfd));
  ASSERT_TRUE(WriteFileBytes(rtfd + QStringLiteral("/TXT.rtf"), "{\\rtf1 a{{\\NeXTGraphic p.png \\width100 \\height100}\xac}b\\par}"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(rtfd + QStringLiteral("/p.png")).constData(), 0600), 0);
  const QString page = path("page.html");
  ASSERT_TRUE(WriteFileBytes(page, "<html><body><p>a<img src=\"pipe.png\">b</p></body></html>"));
  const QString rtfFile = path("ref.rtf");
  ASSERT_TRUE(WriteFileBytes(rtfFile, rtf));

  const struct {
    const char* name;
    std::function<bool(CADocument&, FLError*)> open;
  } cases[] = {
      {"an RTF's picture by reference", [&](CADocument& d, FLError* e) { return d.loadRtfFile(rtfFile, e); }},
      {"an RTFD's attachment", [&](CADocument& d, FLError* e) { return d.loadRtfdFile(rtfd, e); }},
      {"a page's image", [&](CADocument& d, FLError* e) { return d.loadHtmlFile(page, e); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CADocument opened;
    FLError error;
    ASSERT_TRUE(c.open(opened, &error)) << error.reason.toStdString();
    const std::string cells = FilledCellSummary(opened);
    EXPECT_NE(cells.find('a'), std::string::npos) << cells;
    EXPECT_NE(cells.find('b'), std::string::npos) << cells;
    EXPECT_EQ(cells.find("picture"), std::string::npos) << cells;
  }
  // Told by its name and contents, a FIFO without an extension is no file of any type.
  EXPECT_EQ(FileTypeForFile(fifo("noextension")), kFileTypeUnknown);
  EXPECT_EQ(FLImage::withContentsOfFile(pipe), nullptr);
}

// A picture larger than any picture may be decoded (a PNG of 8000 x 8000) is left out of an RTF
// or an RTFD with an alert that says so, and the rest is read.
TEST_F(NamedFilesTest, APicturePastTheDecodersLimitIsLeftOutOfRtfWithAnAlert) {
  const QByteArray huge = PngHeaderOnly(8000, 8000);
  const QString inText = path("huge.rtf");
  ASSERT_TRUE(WriteFileBytes(inText, "{\\rtf1 a{\\pict\\pngblip " + huge.toHex() + "}b\\par}"));
  const QString attached = path("huge.rtfd");
  ASSERT_TRUE(QDir().mkpath(attached));
  ASSERT_TRUE(WriteFileBytes(attached + QStringLiteral("/TXT.rtf"),
                             "{\\rtf1 a{{\\NeXTGraphic p.png \\width100 \\height100}\xac}b\\par}"));
  ASSERT_TRUE(WriteFileBytes(attached + QStringLiteral("/p.png"), huge));
  const struct {
    const char* name;
    std::function<bool(CADocument&, FLError*)> open;
    const char* file;
  } cases[] = {
      {"in the text", [&](CADocument& d, FLError* e) { return d.loadRtfFile(inText, e); }, "huge.rtf"},
      {"attached", [&](CADocument& d, FLError* e) { return d.loadRtfdFile(attached, e); }, "huge.rtfd"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ImportAlertRecorder alerts;
    CADocument opened;
    FLError error;
    ASSERT_TRUE(c.open(opened, &error)) << error.reason.toStdString();
    const std::string cells = FilledCellSummary(opened);
    EXPECT_NE(cells.find('a'), std::string::npos) << cells;
    EXPECT_EQ(cells.find("picture"), std::string::npos) << cells;
    ASSERT_EQ(alerts.shown.size(), 1);
    EXPECT_TRUE(alerts.shown[0].contains(QStringLiteral("1 of the pictures \"%1\" shows were left out: each is larger")
                                             .arg(QLatin1String(c.file))))
        << alerts.shown[0].toStdString();
  }
}

}  // namespace
