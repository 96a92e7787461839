// Drawing a full window of a sheet (1,600 x 1,000 points at 100 %) offscreen into an image, on
// sheets of 10,000 and 1,000,000 filled cells, scrolled one row further each frame: the cost of a
// frame must not grow with the sheet. And locating on a sheet of varied row heights: a point to
// its cell and a cell to its rectangle, on 1,000 and 100,000 rows.
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CANumber.h"
#include "calculator/model/CARow.h"
#include "calculator/views/CAGridGeometry.h"
#include "calculator/views/CAGridPainter.h"
#include "framlet/foundation/FLKernel.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include "BenchApplication.h"

#include <memory>
#include <random>

namespace {

constexpr int64_t kColumns = 20;
constexpr int64_t kEmuPerPointBench = 12700;

// Numbers, reals and a short text in every row; rows of 20 cells. The values repeat every 1,000
// rows, so both sheets show texts of the same lengths.
std::unique_ptr<CADocument> MakeFilledSheet(int64_t cells) {
  auto document = std::make_unique<CADocument>();
  const int64_t rows = cells / kColumns;
  for (int64_t y = 0; y < rows; ++y) {
    const int64_t v = y % 1000;
    for (int64_t x = 0; x < kColumns; ++x) {
      CACell* cell = document->cellAtGridPointImperative({x, y});
      if (x == 0)
        cell->setFormula(QStringLiteral("Item %1").arg(v));
      else if (x % 2 == 0)
        cell->setNumberValue(CANumber(v * 100 + x));
      else
        cell->setNumberValue(CANumber::withReal((long double)(v) * 0.25L + (long double)(x)));
    }
  }
  document->setActiveCellPoint({3, 3});
  document->setSelectionRange({{3, 3}, {3, 3}});
  return document;
}

void BM_DrawFullWindow(benchmark::State& state) {
  EnsureBenchApplication();
  std::unique_ptr<CADocument> document = MakeFilledSheet(state.range(0));
  const int64_t rows = state.range(0) / kColumns;
  CAGridGeometry geometry(document.get());
  const QSize size(1600, 1000);
  geometry.setVisibleSize(QSizeF(size));
  CAGridPaintOptions options;
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  // Scroll through the middle of the sheet, one row a frame.
  int64_t row = rows / 2;
  for (auto _ : state) {
    geometry.setOrigin({0, row});
    QPainter painter(&image);
    CAGridPainter(painter, geometry, *document, options).paint(QRectF(QPointF(0, 0), QSizeF(size)));
    painter.end();
    benchmark::DoNotOptimize(image.constBits());
    if (++row >= rows - 60) row = rows / 2;
  }
  state.counters["rows"] = double(rows);
}
BENCHMARK(BM_DrawFullWindow)->Arg(10000)->Arg(1000000)->ArgName("cells")->Unit(benchmark::kMillisecond);

// Rows of 12 to 60 points, every fifth one left at the default height.
std::unique_ptr<CADocument> MakeVariedRows(int64_t rows) {
  auto document = std::make_unique<CADocument>();
  std::mt19937 random(7);
  std::uniform_int_distribution<int> height(12, 60);
  for (int64_t y = 0; y < rows; ++y) {
    if (y % 5 == 4) continue;
    CARow* row = document->rowImperative(y);
    row->setMinimumHeight(int64_t(height(random)) * kEmuPerPointBench);
    row->setNeedCalculate(true);
  }
  return document;
}

// Questions asked at random scroll positions, prepared before timing.
struct CALocateQuestion {
  GridPoint origin;
  QPointF point;
  GridPoint cell;
};

std::vector<CALocateQuestion> MakeQuestions(int64_t rows) {
  std::mt19937 random(11);
  std::uniform_int_distribution<int64_t> row(0, rows - 1);
  std::uniform_real_distribution<double> y(0, 1000);
  std::vector<CALocateQuestion> questions(4096);
  for (CALocateQuestion& question : questions)
    question = CALocateQuestion{{0, row(random)}, QPointF(800, y(random)), {5, row(random)}};
  return questions;
}

void BM_LocatePoint(benchmark::State& state) {
  EnsureBenchApplication();
  std::unique_ptr<CADocument> document = MakeVariedRows(state.range(0));
  CAGridGeometry geometry(document.get());
  geometry.setVisibleSize(QSizeF(1600, 1000));
  const std::vector<CALocateQuestion> questions = MakeQuestions(state.range(0));
  geometry.rowTop(0);  // the starts are measured once, outside the loop
  size_t i = 0;
  for (auto _ : state) {
    const CALocateQuestion& question = questions[i++ & 4095];
    geometry.setOrigin(question.origin);
    benchmark::DoNotOptimize(geometry.gridPointAtPoint(question.point));
  }
}
BENCHMARK(BM_LocatePoint)->Arg(1000)->Arg(100000)->ArgName("rows");

void BM_RectForGridPoint(benchmark::State& state) {
  EnsureBenchApplication();
  std::unique_ptr<CADocument> document = MakeVariedRows(state.range(0));
  CAGridGeometry geometry(document.get());
  geometry.setVisibleSize(QSizeF(1600, 1000));
  const std::vector<CALocateQuestion> questions = MakeQuestions(state.range(0));
  geometry.rowTop(0);
  size_t i = 0;
  for (auto _ : state) {
    const CALocateQuestion& question = questions[i++ & 4095];
    geometry.setOrigin(question.origin);
    benchmark::DoNotOptimize(geometry.rectForGridPoint(question.cell));
  }
}
BENCHMARK(BM_RectForGridPoint)->Arg(1000)->Arg(100000)->ArgName("rows");

// Measuring the starts again after rows were resized: once per change, not per question.
void BM_MeasureRowStarts(benchmark::State& state) {
  EnsureBenchApplication();
  std::unique_ptr<CADocument> document = MakeVariedRows(state.range(0));
  CAGridGeometry geometry(document.get());
  for (auto _ : state) {
    geometry.invalidate();
    benchmark::DoNotOptimize(geometry.rowTop(1));
  }
}
BENCHMARK(BM_MeasureRowStarts)->Arg(1000)->Arg(100000)->ArgName("rows")->Unit(benchmark::kMicrosecond);

}  // namespace
