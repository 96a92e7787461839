// Importing a workbook of 100,000 cells into a document: 10,000 rows of six numbers (NUMBER and
// RK records), three shared strings and one formula (=A+B*C of its row), in a compound file.
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

namespace {

constexpr uint16_t kRows = 10000;

void EnsureApplication() {
  static int argc = 1;
  static char name[] = "benchExcelImport";
  static char* argv[] = {name, nullptr};
  if (!QCoreApplication::instance()) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* application = new QApplication(argc, argv);
    (void)application;
  }
  FLKernel::sharedInstance();
}

struct Writer {
  QByteArray data;
  Writer& u8(uint32_t v) { data.append(char(v)); return *this; }
  Writer& u16(uint32_t v) { char b[2]; qToLittleEndian<uint16_t>(uint16_t(v), b); data.append(b, 2); return *this; }
  Writer& u32(uint32_t v) { char b[4]; qToLittleEndian<uint32_t>(v, b); data.append(b, 4); return *this; }
  Writer& f64(double v) { char b[8]; qToLittleEndian<double>(v, b); data.append(b, 8); return *this; }
  void record(uint16_t id, const QByteArray& body) {
    u16(id).u16(uint32_t(body.size()));
    data.append(body);
  }
};

QByteArray WorkbookStream() {
  Writer w;
  w.record(0x809, Writer().u16(0x600).u16(5).u32(0).u32(0).u32(0).data);
  w.record(0x42, Writer().u16(1200).data);
  w.record(0x31, Writer().u16(200).u16(0).u16(0x7FFF).u16(400).u16(0).u32(0).u8(5).u8(0).data + QByteArray("Arial"));
  w.record(0xE0, Writer().u16(0).u16(0).u16(0).u32(0).u32(0).u32(0).u16(0).data);
  // 1,000 shared strings, in records of at most 8,224 bytes joined by CONTINUE.
  Writer sst;
  sst.u32(30000).u32(1000);
  // Continuations start between strings here, so none needs the option byte of a split one.
  std::vector<QByteArray> chunks(1, sst.data);
  for (int i = 0; i < 1000; ++i) {
    const QByteArray text = "Item number " + QByteArray::number(i);
    const QByteArray string = Writer().u16(uint32_t(text.size())).u8(0).data + text;
    if (chunks.back().size() + string.size() > 8224) chunks.emplace_back();
    chunks.back().append(string);
  }
  w.record(0xFC, chunks.front());
  for (size_t i = 1; i < chunks.size(); ++i) w.record(0x3C, chunks[i]);
  const qsizetype boundSheet = w.data.size() + 4;
  w.record(0x85, Writer().u32(0).u8(0).u8(0).u8(1).u8(0).data + QByteArray("S"));
  w.record(0x0A, QByteArray());
  qToLittleEndian<uint32_t>(uint32_t(w.data.size()), w.data.data() + boundSheet);
  w.record(0x809, Writer().u16(0x600).u16(0x10).u32(0).u32(0).u32(0).data);
  w.record(0x200, Writer().u32(0).u32(kRows).u16(0).u16(10).u16(0).data);
  for (uint32_t row = 0; row < kRows; ++row) {
    for (uint32_t column = 0; column < 6; ++column) {
      if (column % 2 == 0)
        w.record(0x203, Writer().u16(row).u16(column).u16(0).f64(row * 1.25 + column).data);
      else
        w.record(0x27E, Writer().u16(row).u16(column).u16(0).u32(((row * 10 + column) << 2) | 2).data);
    }
    for (uint32_t column = 6; column < 9; ++column)
      w.record(0xFD, Writer().u16(row).u16(column).u16(0).u32((row * 3 + column) % 1000).data);
    Writer tokens;
    tokens.u8(0x24).u16(row).u16(0xC000).u8(0x24).u16(row).u16(0xC001).u8(0x24).u16(row).u16(0xC002).u8(5).u8(3);
    w.record(0x06, Writer().u16(row).u16(9).u16(0).f64(0).u16(0).u32(0).u16(uint32_t(tokens.data.size())).data + tokens.data);
  }
  w.record(0x0A, QByteArray());
  return w.data;
}

// A version-3 compound file with the stream in one chain (it stays under 109 allocation
// sectors) and a one-sector directory.
QByteArray CompoundFile(const QByteArray& stream) {
  const uint32_t dataSectors = uint32_t((stream.size() + 511) / 512);
  uint32_t fatSectors = 1;
  while (fatSectors * 128 < dataSectors + 1 + fatSectors) ++fatSectors;
  const uint32_t directory = dataSectors;
  QByteArray header(512, '\0');
  memcpy(header.data(), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
  qToLittleEndian<uint16_t>(3, header.data() + 26);
  qToLittleEndian<uint16_t>(0xFFFE, header.data() + 28);
  qToLittleEndian<uint16_t>(9, header.data() + 30);
  qToLittleEndian<uint16_t>(6, header.data() + 32);
  qToLittleEndian<uint32_t>(fatSectors, header.data() + 44);
  qToLittleEndian<uint32_t>(directory, header.data() + 48);
  qToLittleEndian<uint32_t>(4096, header.data() + 56);
  qToLittleEndian<uint32_t>(0xFFFFFFFE, header.data() + 60);
  qToLittleEndian<uint32_t>(0xFFFFFFFE, header.data() + 68);
  for (uint32_t i = 0; i < 109; ++i)
    qToLittleEndian<uint32_t>(i < fatSectors ? directory + 1 + i : 0xFFFFFFFF, header.data() + 76 + 4 * i);
  QByteArray data = stream;
  data.resize(qsizetype(dataSectors) * 512, '\0');
  QByteArray entries(512, '\0');
  auto entry = [&](int index, const char16_t* name, uint8_t type, uint32_t start, uint32_t size) {
    char* e = entries.data() + index * 128;
    int n = 0;
    for (; name[n]; ++n) qToLittleEndian<uint16_t>(name[n], e + 2 * n);
    qToLittleEndian<uint16_t>(uint16_t(2 * n + 2), e + 64);
    e[66] = char(type);
    qToLittleEndian<uint32_t>(start, e + 116);
    qToLittleEndian<uint32_t>(size, e + 120);
  };
  entry(0, u"Root Entry", 5, 0xFFFFFFFE, 0);
  entry(1, u"Workbook", 2, 0, uint32_t(stream.size()));
  QByteArray fat(qsizetype(fatSectors) * 512, char(0xFF));
  for (uint32_t s = 0; s < dataSectors; ++s)
    qToLittleEndian<uint32_t>(s + 1 < dataSectors ? s + 1 : 0xFFFFFFFE, fat.data() + 4 * s);
  qToLittleEndian<uint32_t>(0xFFFFFFFE, fat.data() + 4 * directory);
  for (uint32_t i = 0; i < fatSectors; ++i) qToLittleEndian<uint32_t>(0xFFFFFFFD, fat.data() + 4 * (directory + 1 + i));
  return header + data + entries + fat;
}

void BM_ImportWorkbookOf100000Cells(benchmark::State& state) {
  EnsureApplication();
  const QByteArray file = CompoundFile(WorkbookStream());
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
