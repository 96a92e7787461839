// A document whose A1 holds one long text, shown in a window as an open shows it: the window made,
// the text laid out, the window prepared and shown, and its first paint (the grid, the labels and
// the formula bar showing the active cell's text). For texts of 10,000 to 1,000,000 characters of
// words, and one 400,000-character text of short lines: what showing costs must be that of the
// part a window can show, not grow with the text.
#include "calculator/controllers/CAWindowController.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/views/CAFormulaTextView.h"
#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QMainWindow>

#include <benchmark/benchmark.h>

#include <memory>

#include "BenchApplication.h"

namespace {

// Words of eight letters; with lineLength, a line break after every that many characters.
QString LongText(int64_t length, int64_t lineLength) {
  QString text;
  text.reserve(length);
  for (int64_t i = 0; i < length; ++i) {
    if (lineLength > 0 && i % lineLength == lineLength - 1)
      text += u'\n';
    else
      text += i % 8 == 7 ? u' ' : char16_t(u'a' + i % 26);
  }
  return text;
}

void ShowWindow(benchmark::State& state, int64_t lineLength) {
  EnsureBenchApplication();
  const QString text = LongText(state.range(0), lineLength);
  for (auto _ : state) {
    auto controller = std::make_unique<CAWindowController>();
    CADocument& document = *controller->document();
    document.cellAtGridPointImperative({0, 0})->setFormula(text);
    // As an open does: the text laid out, the window prepared, its selection announced.
    document.setOpening(true);
    document.evaluate();
    controller->prepareToShow();
    document.setOpening(false);
    NotificationCenter::defaultCenter().post(QLatin1String(kSelectionChangeNotification), &document);
    QMainWindow* window = controller->mainWindow();
    window->resize(1200, 800);
    window->show();
    QApplication::processEvents();
    window->repaint();
    benchmark::DoNotOptimize(controller->formulaTextView());
    state.PauseTiming();
    window->close();
    controller.reset();
    QApplication::processEvents();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_ShowWindowOfLongText(benchmark::State& state) { ShowWindow(state, 0); }
void BM_ShowWindowOfLongLines(benchmark::State& state) { ShowWindow(state, 80); }

BENCHMARK(BM_ShowWindowOfLongText)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(400'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ShowWindowOfLongLines)->Arg(400'000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
