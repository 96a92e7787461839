// A cell holding one long text, shown as a window first shows it: the text laid out (how far it
// overflows) and a screenful of the grid drawn, with the cell active and, once it is not, with
// its text overflowing into the empty cells beside it. For texts of 10,000 to 1,000,000
// characters of words; the time must stay that of the part a screen can show, not grow with the
// text.
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/views/CAGridGeometry.h"
#include "calculator/views/CAGridPainter.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include "BenchApplication.h"

namespace {

QString LongText(int64_t length) {
  QString text;
  text.reserve(length);
  for (int64_t i = 0; i < length; ++i) text += i % 8 == 7 ? u' ' : char16_t(u'a' + i % 26);
  return text;
}

void DrawGrid(CADocument& document, CAGridGeometry& geometry, QImage& image) {
  const CAGridPaintOptions options;
  QPainter painter(&image);
  CAGridPainter pass(painter, geometry, document, options);
  pass.paint(QRectF(QPointF(0, 0), QSizeF(image.size())));
}

// Each round lays the text out again and draws the grid with A1 active, then with B2 active.
void BM_ShowLongTextCell(benchmark::State& state) {
  EnsureBenchApplication();
  CADocument document;
  document.cellAtGridPointImperative({0, 0})->setFormula(LongText(state.range(0)));
  CAGridGeometry geometry(&document);
  geometry.setVisibleSize(QSizeF(1200, 800));
  QImage image(1200, 800, QImage::Format_ARGB32);
  for (auto _ : state) {
    document.invalidateAllLongText();
    document.evaluate();
    for (const GridPoint& active : {GridPoint{0, 0}, GridPoint{1, 1}}) {
      document.setSelectionPoint(active);
      DrawGrid(document, geometry, image);
    }
    benchmark::DoNotOptimize(image.constBits());
  }
  const CACell* cell = document.cellAtGridPoint({0, 0});
  state.counters["overflow_columns"] = cell ? double(cell->extraColumns()) : -1;
}

BENCHMARK(BM_ShowLongTextCell)->Arg(10'000)->Arg(100'000)->Arg(400'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace
