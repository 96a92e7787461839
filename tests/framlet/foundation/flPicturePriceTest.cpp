// Pictures are priced by their headers before a pixel is decoded: past the decoders' own limit or
// past what the reading has left, a picture is refused (or kept as its bytes where the caller
// asks), and the control group's room is what its limit leaves beside reclaimable file cache.
#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/flPicturePrice.h"
#include "framlet/foundation/flReadingMeter.h"

#include "ImageTestSupport.h"
#include "support/PictureHeaders.h"
#include "support/TestFiles.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeData>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <vector>

namespace {

constexpr int64_t MB = int64_t(1) << 20;

int64_t g_heap = 0;
int64_t FakeHeap() { return g_heap; }

FLMemoryFigures g_figures;
FLMemoryFigures FakeFigures() { return g_figures; }

class PicturePriceTest : public KernelTest {
 protected:
  PicturePriceTest()
      : previousHeap_(FLReadingMeter::SetHeapCountForTests(FakeHeap)),
        previousFigures_(FLReadingMeter::SetMemoryFiguresForTests(FakeFigures)) {
    g_heap = 100 * MB;
    g_figures = FLMemoryFigures{};
  }
  ~PicturePriceTest() override {
    FLReadingMeter::SetHeapCountForTests(previousHeap_);
    FLReadingMeter::SetMemoryFiguresForTests(previousFigures_);
  }

 private:
  FLReadingMeter::HeapCount previousHeap_;
  FLReadingMeter::MemoryFigures previousFigures_;
};

QByteArray SmallPng(int side) {
  QImage image(side, side, QImage::Format_ARGB32);
  image.fill(QColor(10, 200, 30));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

// What a header's pixels take decoded: rows padded to 32 bits, as Qt's bitmaps are, and a turned
// picture held twice while it turns (hand-worked figures).
TEST_F(PicturePriceTest, AHeaderIsPricedByItsPixels) {
  const struct {
    QSize pixels;
    int bits, copies;
    int64_t bytes;
  } cases[] = {
      {{8000, 8000}, 32, 1, 256'000'000},
      {{5700, 5700}, 32, 1, 129'960'000},
      {{3, 2}, 1, 1, 8},         // one 32-bit word a row
      {{33, 1}, 1, 1, 8},        // two words
      {{10, 10}, 8, 1, 120},     // 12 bytes a row
      {{100, 50}, 32, 2, 40'000},
      {{0, 0}, 32, 1, 0},
  };
  for (const auto& c : cases) {
    const FLPicturePrice price = PriceOfPixels(c.pixels, c.bits, c.copies);
    EXPECT_EQ(price.bytes, c.bytes) << c.pixels.width() << "x" << c.pixels.height();
  }
  // A header claiming sides at the end of the range is priced, not overflowed.
  EXPECT_GT(PriceOfPixels(QSize(INT32_MAX, INT32_MAX)).bytes, PictureDecodeLimit());

  // Read from the header alone: no pixels follow it.
  QByteArray bytes = PngHeaderOnly(8000, 8000);
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  const FLPicturePrice read = PriceOfPicture(reader, bytes.size());
  EXPECT_EQ(read.pixels, QSize(8000, 8000));
  EXPECT_EQ(read.bytes, 256'000'000);
}

// The one price: within the decoders' limit, then within what the current meter has left (its
// budget less the most the heap has grown), or with no meter what the process's limits leave.
TEST_F(PicturePriceTest, APictureIsAdmittedWithinTheDecodersLimitAndWhatTheReadingHasLeft) {
  const struct {
    const char* name;
    QSize pixels;
    int64_t meterBudget;  // -1: no meter
    int64_t grown;
    int64_t availableRoom;  // of the process (MemAvailable), -1: none told
    FLPictureRefusal expected;
    int64_t cost;
  } cases[] = {
      {"past the decoders' limit, whatever the budget", {8000, 8000}, 8000 * MB, 0, -1,
       FLPictureRefusal::PastDecodeLimit, 256'000'000},
      {"within the meter", {1000, 1000}, 10 * MB, 0, -1, FLPictureRefusal::None, 4'000'000},
      {"past the meter", {1000, 1000}, 3 * MB, 0, -1, FLPictureRefusal::PastBudget, 4'000'000},
      {"within the meter until the heap grew", {1000, 1000}, 10 * MB, 8 * MB, -1, FLPictureRefusal::PastBudget,
       8 * MB + 4'000'000},
      {"no meter, no limit", {5000, 5000}, -1, 0, -1, FLPictureRefusal::None, 100'000'000},
      {"no meter, little memory left", {5000, 5000}, -1, 0, 100 * MB, FLPictureRefusal::PastBudget, 100'000'000},
      {"no meter, room enough", {5000, 5000}, -1, 0, 1000 * MB, FLPictureRefusal::None, 100'000'000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_figures = FLMemoryFigures{};
    g_figures.available = c.availableRoom;
    g_heap = 100 * MB;
    std::optional<FLReadingMeter> meter;
    if (c.meterBudget >= 0) meter.emplace(c.meterBudget);
    g_heap += c.grown;
    int64_t cost = 0;
    EXPECT_EQ(AdmitPicture(PriceOfPixels(c.pixels), &cost), c.expected);
    EXPECT_EQ(cost, c.cost);
  }
}

// Every decoding asks the price first: a picture refused is no image to the plain factories, and
// kept as its bytes (a placeholder of the header's size that saves as it was read) to a caller
// that asks for it; within the price it is decoded.
TEST_F(PicturePriceTest, EveryDecodingIsPricedFirst) {
  const QByteArray huge = PngHeaderOnly(8000, 8000);
  const QByteArray large = PngHeaderOnly(1000, 1000);
  const QByteArray small = SmallPng(40);
  const struct {
    const char* name;
    QByteArray bytes;
    int64_t meterBudget;  // -1: no meter
    FLPictureRefusal refusal;
    QSizeF size;
  } cases[] = {
      {"past the decoders' limit", huge, -1, FLPictureRefusal::PastDecodeLimit, {8000, 8000}},
      {"past the reading's budget", large, 2 * MB, FLPictureRefusal::PastBudget, {1000, 1000}},
      {"within it", small, 2 * MB, FLPictureRefusal::None, {40, 40}},
  };
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<FLReadingMeter> meter;
    if (c.meterBudget >= 0) meter.emplace(c.meterBudget);
    const bool refused = c.refusal != FLPictureRefusal::None;
    const QString path = folder.filePath(QStringLiteral("p.png"));
    ASSERT_TRUE(WriteFileBytes(path, c.bytes));

    EXPECT_EQ(FLImage::withData(c.bytes) == nullptr, refused);
    EXPECT_EQ(FLImage::withContentsOfFile(path) == nullptr, refused);
    for (const bool fromFile : {false, true}) {
      FLPictureRefusal refusal = FLPictureRefusal::None;
      const std::unique_ptr<FLImage> kept =
          fromFile ? FLImage::withContentsOfFile(path, &refusal) : FLImage::withData(c.bytes, &refusal);
      ASSERT_TRUE(kept);
      EXPECT_EQ(refusal, c.refusal);
      EXPECT_EQ(kept->refusal(), c.refusal);
      EXPECT_EQ(kept->isUndecoded(), refused);
      EXPECT_EQ(kept->representations().isEmpty(), refused);
      EXPECT_EQ(kept->size(), c.size);
      EXPECT_EQ(kept->sourceData(), c.bytes);
    }
    // The clipboard's picture alike, and the paste is told why.
    QMimeData data;
    data.setData(QStringLiteral("image/png"), c.bytes);
    FLPictureRefusal pasted = FLPictureRefusal::None;
    EXPECT_EQ(FLImage::withPasteboard(&data, 1.0, &pasted) == nullptr, refused);
    EXPECT_EQ(pasted, c.refusal);
  }
}

// A picture file is told by its first bytes, without decoding it: signatures Qt's readers know,
// and the pictures kept as their bytes.
TEST_F(PicturePriceTest, APictureFileIsToldByItsFirstBytes) {
  const struct {
    const char* name;
    QByteArray head;
    const char* extension;
    bool picture;
  } cases[] = {
      {"a PNG's header", PngHeaderOnly(8000, 8000).left(40), "png", true},
      {"a whole small PNG", SmallPng(4), "", true},
      {"text", "no picture here", "png", false},
      {"nothing", "", "png", false},
      {"a PICT file's frame", QByteArray(512, 0) + QByteArray("\x00\x00\x00\x00\x00\x00\x00\x10\x00\x10\x00\x11\x02\xFF", 14),
       "pict", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FLImage::isPictureData(c.head, QLatin1String(c.extension)), c.picture) << c.name;
}

// The group's room: its limit less what it cannot give back (its use less its inactive file
// cache), the tightest of the group and the groups above it; version 1's statistics alike.
TEST(ControlGroupRoom, UseCountsNoReclaimableCacheAndTheTightestGroupDecides) {
  const struct {
    const char* name;
    const char* membership;
    std::vector<std::pair<const char*, const char*>> files;  // path under the root, content
    int64_t limit, used;
  } cases[] = {
      {"version 2: use less inactive file cache", "0::/app\n",
       {{"app/memory.max", "1000000\n"},
        {"app/memory.current", "990000\n"},
        {"app/memory.stat", "anon 100000\nfile 880000\nactive_file 10000\ninactive_file 870000\n"}},
       1000000, 120000},
      {"version 2: a parent's limit is tighter", "0::/a/b\n",
       {{"a/b/memory.max", "max\n"},
        {"a/b/memory.current", "300\n"},
        {"a/memory.max", "5000\n"},
        {"a/memory.current", "4000\n"},
        {"a/memory.stat", "inactive_file 1000\n"},
        {"memory.max", "9000\n"},
        {"memory.current", "1000\n"}},
       5000, 3000},
      {"version 2: no limit anywhere", "0::/a\n", {{"a/memory.max", "max\n"}}, -1, 0},
      {"version 2: no statistics", "0::/a\n", {{"a/memory.max", "2000\n"}, {"a/memory.current", "1500\n"}}, 2000,
       1500},
      {"version 1", "5:cpu,memory:/box\n",
       {{"memory/box/memory.limit_in_bytes", "8000\n"},
        {"memory/box/memory.usage_in_bytes", "7000\n"},
        {"memory/box/memory.stat", "inactive_file 100\ntotal_inactive_file 3000\n"}},
       8000, 4000},
      {"version 1 without a limit", "5:memory:/box\n",
       {{"memory/box/memory.limit_in_bytes", "9223372036854771712\n"}}, -1, 0},
      {"more cache than use counts nothing used", "0::/a\n",
       {{"a/memory.max", "100\n"}, {"a/memory.current", "50\n"}, {"a/memory.stat", "inactive_file 80\n"}}, 100, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    for (const auto& [file, content] : c.files) {
      const QString path = root.filePath(QLatin1String(file));
      ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
      ASSERT_TRUE(WriteFileBytes(path, content));
    }
    std::istringstream membership(c.membership);
    FLMemoryFigures figures;
    ReadGroupFigures(root.path().toStdString(), membership, figures);
    EXPECT_EQ(figures.groupLimit, c.limit);
    EXPECT_EQ(figures.groupUsed, c.used);
  }
}

}  // namespace
