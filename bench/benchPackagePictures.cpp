// Opening packages of large pictures: N PNGs of 5,700 x 5,700 pixels of one colour (a few
// kilobytes each, 130 MB each decoded) in "Images", shown by no cell or each by one cell, under
// the open's meter as a window opens a file. Pictures no cell shows are never decoded; those that
// are shown are decoded until the budget is reached and the rest kept as their bytes.
//
// The peak is the process's: run one benchmark per process for "round_peak_MiB" to mean something:
//   benchPackagePictures --benchmark_filter='BM_OpenPackagePictures/pictures:16/shown:1$'
#include "calculator/fileformats/caImportAlert.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAPicture.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flReadingMeter.h"
#include "platform/FLError.h"

#include "BenchApplication.h"
#include "BenchPeakMemory.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int kSide = 5700;

const QByteArray& LargePng() {
  static const QByteArray png = [] {
    QImage image(kSide, kSide, QImage::Format_ARGB32);
    image.fill(QColor(30, 90, 200));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
  }();
  return png;
}

QString MakePackage(const QTemporaryDir& folder, int pictures, bool shown) {
  const QString path = folder.filePath(QStringLiteral("Pictures%1-%2.Numlet").arg(pictures).arg(shown));
  QDir().mkpath(path + QStringLiteral("/Images"));
  QString cells;
  for (int i = 0; i < pictures; ++i) {
    const QString guid = QStringLiteral("PICTURE-%1").arg(i);
    QFile file(path + QStringLiteral("/Images/") + guid + QStringLiteral(".png"));
    if (file.open(QIODevice::WriteOnly)) file.write(LargePng());
    if (shown) cells += QStringLiteral("<cell x=\"%1\" y=\"0\" type=\"image\"><pic>%2</pic></cell>").arg(i).arg(guid);
  }
  QFile xml(path + QStringLiteral("/document.xml"));
  if (xml.open(QIODevice::WriteOnly))
    xml.write(QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<spreadsheet ver=\"1\"><rows><row y=\"0\">"
                             "<cells>%1</cells></row></rows></spreadsheet>\n")
                  .arg(cells)
                  .toUtf8());
  return path;
}

void BM_OpenPackagePictures(benchmark::State& state) {
  EnsureBenchApplication();
  SetLogHandler([](const QString&) {});
  const int pictures = int(state.range(0));
  const bool shown = state.range(1) != 0;
  QTemporaryDir folder;
  const QString path = MakePackage(folder, pictures, shown);
  ResetPeakMemory();
  int64_t decoded = 0;
  for (auto _ : state) {
    CADocument document;
    FLReadingMeter meter(FileReadingBudget());
    FLError error;
    if (document.openFile(path, &error) == 0) state.SkipWithError(error.reason.toStdString().c_str());
    decoded = 0;
    for (const auto& picture : document.pictures())
      if (picture->image() && !picture->image()->isUndecoded()) ++decoded;
  }
  state.counters["decoded"] = double(decoded);
  ReportPeakMemory(state);
}
BENCHMARK(BM_OpenPackagePictures)
    ->ArgNames({"pictures", "shown"})
    ->Args({16, 0})
    ->Args({64, 0})
    ->Args({16, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
