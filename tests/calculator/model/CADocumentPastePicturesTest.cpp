// A picture on the clipboard is priced by its pixels before it is decoded: one larger than any
// picture may be decoded is refused with an alert that says so, one past the memory left with the
// memory alert; either way the sheet and its undo history stay as they were.
#include "UndoTestSupport.h"

#include "calculator/model/CAPicture.h"
#include "calculator/model/caCommandGuard.h"
#include "framlet/foundation/flReadingMeter.h"
#include "support/PictureHeaders.h"
#include "support/TestFiles.h"

#include <QBuffer>
#include <QImage>
#include <QMimeData>
#include <QTemporaryDir>

namespace {

FLMemoryFigures g_figures;
FLMemoryFigures FakeFigures() { return g_figures; }

class PastePicturesTest : public EditTest {
 protected:
  PastePicturesTest() : previousFigures_(FLReadingMeter::SetMemoryFiguresForTests(FakeFigures)) {}
  ~PastePicturesTest() override { FLReadingMeter::SetMemoryFiguresForTests(previousFigures_); }

 private:
  FLReadingMeter::MemoryFigures previousFigures_;
};

TEST_F(PastePicturesTest, APictureIsPricedBeforeItIsDecoded) {
  constexpr int64_t MB = int64_t(1) << 20;
  const struct {
    const char* name;
    QByteArray png;
    int64_t available;  // the memory the system says is left; -1: not told
    const char* alert;  // empty: pasted
  } cases[] = {
      {"a sound picture", Png(20), -1, ""},
      {"past the decoders' limit", PngHeaderOnly(8000, 8000), -1,
       "The picture can't be pasted.|It is larger than a picture may be when decoded (135 MB)."},
      {"past the memory left", PngHeaderOnly(4000, 4000), 40 * MB,
       "There isn't enough memory to finish this command.|The document is as it was before the command."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_figures = FLMemoryFigures{};
    g_figures.available = c.available;
    enter("A1", "kept");
    select("A1", "A1");
    const std::string before = xml();
    const uint32_t steps = window.manager.inUseCount();
    const qsizetype alerts = window.alerts.size();
    const qsizetype pictures = document.pictures().size();
    QMimeData data;
    data.setData(QStringLiteral("image/png"), c.png);
    const bool pasted = document.paste(&data, false);
    if (!c.alert[0]) {
      EXPECT_TRUE(pasted);
      EXPECT_EQ(cell("A1")->valueType(), kValuePicture);
      window.manager.undo();
      continue;
    }
    EXPECT_FALSE(pasted);
    EXPECT_EQ(xml(), before);
    EXPECT_EQ(window.manager.inUseCount(), steps);
    EXPECT_EQ(document.pictures().size(), pictures);
    ASSERT_EQ(window.alerts.size(), alerts + 1);
    EXPECT_EQ(window.alerts.back(), QLatin1String(c.alert));
  }
}

// Insert Picture prices the file's picture alike, and says why it refused one: its size, or the
// memory left; a file that is no picture is told as a file that cannot be opened.
TEST_F(PastePicturesTest, InsertingAPictureSaysWhyItWasRefused) {
  constexpr int64_t MB = int64_t(1) << 20;
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const struct {
    const char* name;
    QByteArray bytes;
    int64_t available;
    const char* alert;  // empty: inserted
  } cases[] = {
      {"a sound picture", Png(20), -1, ""},
      {"past the decoders' limit", PngHeaderOnly(8000, 8000), -1,
       "Can't insert picture.|It is larger than a picture may be when decoded (135 MB)."},
      {"past the memory left", PngHeaderOnly(4000, 4000), 40 * MB,
       "There isn't enough memory to finish this command.|The document is as it was before the command."},
      {"no picture", "not a picture", -1, "Can't insert picture.|I couldn't open the file p.png."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_figures = FLMemoryFigures{};
    g_figures.available = c.available;
    const QString path = folder.filePath(QStringLiteral("p.png"));
    ASSERT_TRUE(WriteFileBytes(path, c.bytes));
    select("C3", "C3");
    const qsizetype alerts = window.alerts.size();
    const qsizetype pictures = document.pictures().size();
    document.insertPicture(path);
    if (!c.alert[0]) {
      ASSERT_TRUE(cell("C3"));
      EXPECT_EQ(cell("C3")->valueType(), kValuePicture);
      window.manager.undo();
      continue;
    }
    EXPECT_FALSE(cell("C3") && cell("C3")->valueType() == kValuePicture);
    EXPECT_EQ(document.pictures().size(), pictures);
    ASSERT_EQ(window.alerts.size(), alerts + 1);
    EXPECT_EQ(window.alerts.back(), QLatin1String(c.alert));
  }
}

}  // namespace
