// Importing a workbook of 100,000 cells into a document: 10,000 rows of six numbers (NUMBER and
// RK records), three shared strings and one formula (=A+B*C of its row), in a compound file
// written by the tests' workbook writer.
#include "../tests/calculator/fileformats/ExcelTestSupport.h"
#include "calculator/fileformats/caExcelImport.h"
#include "calculator/model/CADocument.h"
#include "framlet/foundation/FLKernel.h"
#include "platform/FLError.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QtEndian>

#include <vector>

#include <benchmark/benchmark.h>

#include "BenchApplication.h"

namespace {

constexpr uint16_t kRows = 10000;

QByteArray WorkbookStream() {
  // 1,000 shared strings in an SST joined by CONTINUE records, which start between strings.
  Bytes sst;
  sst.u32(30000).u32(1000);
  std::vector<QByteArray> chunks(1, sst.data);
  for (int i = 0; i < 1000; ++i) {
    const QByteArray string = Bytes().latin1(QStringLiteral("Item number %1").arg(i)).data;
    if (chunks.back().size() + string.size() > 8224) chunks.emplace_back();
    chunks.back().append(string);
  }
  QByteArray globals = xls::Record(0xFC, chunks.front());
  for (size_t i = 1; i < chunks.size(); ++i) globals += xls::Record(0x3C, chunks[i]);

  QByteArray sheet = xls::Dimensions(10);
  for (uint32_t row = 0; row < kRows; ++row) {
    const uint16_t r = uint16_t(row);
    for (uint16_t column = 0; column < 6; ++column)
      sheet += column % 2 == 0 ? xls::Number(r, column, 0, row * 1.25 + column)
                               : xls::Rk(r, column, 0, ((row * 10 + column) << 2) | 2);
    for (uint16_t column = 6; column < 9; ++column) sheet += xls::LabelSst(r, column, 0, (row * 3 + column) % 1000);
    Bytes tokens;
    tokens.u8(0x24).u16(row).u16(0xC000).u8(0x24).u16(row).u16(0xC001).u8(0x24).u16(row).u16(0xC002).u8(5).u8(3);
    sheet += xls::Formula(r, 9, 0, tokens.data, 0);
  }
  return MakeWorkbookStream(globals, {sheet});
}

void BM_ImportWorkbookOf100000Cells(benchmark::State& state) {
  EnsureBenchApplication();
  const QByteArray file = MakeCompoundFile(WorkbookStream());
  const QString path = QDir::temp().filePath(QStringLiteral("benchExcelImport.xls"));
  {
    QFile out(path);
    out.open(QIODevice::WriteOnly);
    out.write(file);
  }
  for (auto _ : state) {
    state.PauseTiming();
    auto document = std::make_unique<CADocument>();
    state.ResumeTiming();
    FLError error;
    if (!document->loadExcelFile(path, &error)) state.SkipWithError("the workbook was refused");
    benchmark::DoNotOptimize(document.get());
    state.PauseTiming();
    document.reset();
    state.ResumeTiming();
  }
  state.counters["file_kb"] = double(file.size()) / 1024;
  QFile::remove(path);
}
BENCHMARK(BM_ImportWorkbookOf100000Cells)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
