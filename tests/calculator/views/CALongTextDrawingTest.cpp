// A text far longer than any view can show is drawn as the part of it that shows would be: its
// start when it runs to the right, in its cell or across the cells it overflows into, its end
// when it is right-aligned; and it still counts as wider than its room, for the tooltip.
#include "calculator/model/CACell.h"
#include "calculator/model/CAFormat.h"
#include "calculator/views/CAGridGeometry.h"
#include "calculator/views/CAGridPainter.h"
#include "ViewTestSupport.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

QString Words(qsizetype length) {
  QString text;
  text.reserve(length);
  for (qsizetype i = 0; i < length; ++i) text += i % 8 == 7 ? u' ' : char16_t(u'a' + i % 26);
  return text;
}

class LongTextDrawingTest : public testing::Test, protected SizedSheet {
 protected:
  LongTextDrawingTest() {
    options.addTooltip = [this](const QRectF&) { return ++tooltips; };
  }
  QImage render() {
    geometry.setVisibleSize(QSizeF(400, 100));
    QImage image(400, 100, QImage::Format_ARGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    CAGridPainter(painter, geometry, document, options).paint(QRectF(0, 0, 400, 100));
    return image;
  }
  QImage show(const QString& text, int32_t alignment, bool active) {
    CACell* cell = document.cellAtGridPointImperative({0, 1});
    cell->setFormula(text);
    CAFormat format;
    format.setAlignment(alignment);
    cell->setFormat(format);
    document.setSelectionPoint(active ? GridPoint{0, 1} : GridPoint{50, 50});
    document.evaluate();
    tooltips = 0;
    return render();
  }

  CAGridGeometry geometry{&document};
  CAGridPaintOptions options;
  int64_t tooltips = 0;
};

TEST_F(LongTextDrawingTest, ALongTextShowsAsThePartThatFitsWould) {
  const QString text = Words(300000);
  const struct {
    const char* what;
    int32_t alignment;
    bool active;
    QString shownPart;
  } cases[] = {
      {"overflowing to the right", kAlignmentLeft, false, text.left(3000)},
      {"the active cell", kAlignmentLeft, true, text.left(3000)},
      {"right-aligned, the active cell", kAlignmentRight, true, text.right(3000)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const QImage whole = show(text, c.alignment, c.active);
    EXPECT_GE(tooltips, 1) << "wider than its room";
    const QImage part = show(c.shownPart, c.alignment, c.active);
    EXPECT_TRUE(whole == part);
    int inked = 0;
    for (int x = 0; x < whole.width(); ++x) inked += qGray(whole.pixel(x, 30)) < 128;
    EXPECT_GT(inked, 0) << "the text is drawn";
  }
}

}  // namespace
