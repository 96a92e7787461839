// Speed of the text engine's RTF reader and writer on a 10 MB RTF of formatted paragraphs
// (bold and coloured runs, tabs, Unicode escapes).
#include "framlet/foundation/FLKernel.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmRtfReader.h"
#include "glimmet/storage/gmRtfWriter.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QString>

namespace {

QString LargeRtf() {
  QString rtf = QStringLiteral("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Helvetica;}}"
                               "{\\colortbl;\\red255\\green0\\blue0;}\n");
  const QString paragraph = QStringLiteral(
      "\\pard\\li720\\tx1440 Plain text of a paragraph {\\b bold words} and {\\cf1 red ones}\\tab "
      "caf\\'e9 \\u8364? more plain text to make the line about as long as a real one.\\par\n");
  while (rtf.size() < 10 * 1000 * 1000) rtf += paragraph;
  rtf += u'}';
  return rtf;
}

void BM_ReadRtf(benchmark::State& state) {
  const QString rtf = LargeRtf();
  for (auto _ : state) {
    GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
    benchmark::DoNotOptimize(ImportRtf(doc.get(), rtf, kRtfModeNormal));
  }
}
BENCHMARK(BM_ReadRtf)->Unit(benchmark::kMillisecond)->Iterations(1);

// The same amount of RTF with a table of five two-column rows after every tenth paragraph and a
// few pictures in hex.
QString LargeRtfWithTables() {
  QString rtf = QStringLiteral("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Helvetica;}}\n");
  const QString paragraph = QStringLiteral(
      "\\pard\\li720 Plain text of a paragraph {\\b bold words} and more plain text to make the line "
      "about as long as a real one.\\par\n");
  const QString row = QStringLiteral(
      "\\trowd\\trgaph108\\clbrdrt\\brdrs\\brdrw10 \\cellx3000\\clbrdrt\\brdrs\\brdrw10 \\cellx6000"
      "\\pard\\intbl first cell\\cell second {\\i cell}\\cell\\row\n");
  QImage image(400, 300, QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x * 7 % 256, y * 13 % 256, (x ^ y) % 256));
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  const QString picture =
      QStringLiteral("{\\pict\\pngblip\\picwgoal4000 ") + QString::fromLatin1(png.toHex()) + QStringLiteral("}\n");
  int count = 0;
  while (rtf.size() < 10 * 1000 * 1000) {
    rtf += paragraph;
    if (++count % 10 == 0)
      for (int i = 0; i < 5; ++i) rtf += row;
    if (count % 20000 == 0) rtf += picture;
  }
  rtf += u'}';
  return rtf;
}

void BM_ReadRtfWithTables(benchmark::State& state) {
  const QString rtf = LargeRtfWithTables();
  for (auto _ : state) {
    GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
    benchmark::DoNotOptimize(ImportRtf(doc.get(), rtf, kRtfModeNormal));
  }
}
BENCHMARK(BM_ReadRtfWithTables)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_WriteRtf(benchmark::State& state) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  ImportRtf(doc.get(), LargeRtf(), kRtfModeNormal);
  for (auto _ : state) {
    QString out = ExportRtf({doc.get(), BodyStart(doc.get()), uint32_t(doc->userLength)});
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_WriteRtf)->Unit(benchmark::kMillisecond)->Iterations(1);

// The document with tables and pictures written back (the pictures as hex PNG).
void BM_WriteRtfWithTables(benchmark::State& state) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  ImportRtf(doc.get(), LargeRtfWithTables(), kRtfModeNormal);
  for (auto _ : state) {
    QString out = ExportRtf({doc.get(), BodyStart(doc.get()), uint32_t(doc->userLength)});
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_WriteRtfWithTables)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

// Font names are mapped through the font database, which needs a GUI application.
int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  FLKernel::sharedInstance();  // pictures are written through the image layer
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
