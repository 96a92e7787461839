// Paths of the rich-text engine whose cost must stay linear (or n log n) in the size of what they
// take: a page whose table sits in another table's cell opened as a sheet (beside the same table
// not nested), plain text copied from a long table, the attributed-text export of a paragraph of
// many runs and of many paragraphs with tab stops of their own, and index-set archives read in
// either order. At four times the size each should take no more than about 4.5 times as long.
#include "calculator/model/CADocument.h"
#include "framlet/foundation/flCollectionExtensions.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmAttributedExport.h"
#include "glimmet/storage/gmAttributedImport.h"
#include "glimmet/storage/gmEdit.h"
#include "glimmet/storage/gmFetch.h"
#include "glimmet/storage/gmProperties.h"
#include "glimmet/storage/gmTables.h"
#include "platform/FLError.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTextDocument>

#include <benchmark/benchmark.h>

#include "BenchApplication.h"

#include <cstdint>

namespace {

void Prepare() {
  EnsureBenchApplication();
  g_glimmetConfig.tableOption = 1;
}

// A table of two columns, its rows one to a line, alone on the page or in the one cell of another.
QByteArray TablePage(int64_t rows, bool nested) {
  QByteArray page = nested ? "<html><body><table><tr><td><table>\n" : "<html><body><table>\n";
  page.reserve(rows * 48);
  for (int64_t y = 0; y < rows; ++y)
    page += "<tr><td>item " + QByteArray::number(y) + "</td><td>" + QByteArray::number((y * 7919) % 10007) +
            "</td></tr>\n";
  page += nested ? "</table></td></tr></table></body></html>\n" : "</table></body></html>\n";
  return page;
}

void OpenTablePage(benchmark::State& state, bool nested) {
  Prepare();
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("table.html"));
  QFile file(path);
  const QByteArray page = TablePage(state.range(0), nested);
  if (!file.open(QIODevice::WriteOnly) || file.write(page) != page.size()) state.SkipWithError("no page");
  file.close();
  for (auto _ : state) {
    CADocument document;
    FLError error;
    if (document.openFile(path, &error) <= 0) state.SkipWithError("open failed");
    benchmark::DoNotOptimize(document.extent());
  }
  state.counters["rows"] = double(state.range(0));
  state.counters["page_MB"] = double(page.size()) / 1e6;
}

void BM_OpenNestedHtmlTable(benchmark::State& state) { OpenTablePage(state, true); }
BENCHMARK(BM_OpenNestedHtmlTable)->Arg(20000)->Arg(80000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_OpenHtmlTableNotNested(benchmark::State& state) { OpenTablePage(state, false); }
BENCHMARK(BM_OpenHtmlTableNotNested)->Arg(20000)->Arg(80000)->Unit(benchmark::kMillisecond)->Iterations(1);

// The engine's part of the nested page alone: the page read by Qt's HTML reader once, before.
void BM_ImportNestedTableIntoEngine(benchmark::State& state) {
  Prepare();
  QTextDocument text;
  text.setHtml(QString::fromUtf8(TablePage(state.range(0), true)));
  for (auto _ : state) {
    GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
    if (!ImportAttributedText(doc.get(), text)) state.SkipWithError("import failed");
    benchmark::DoNotOptimize(doc->totalLength);
  }
  state.counters["rows"] = double(state.range(0));
}
BENCHMARK(BM_ImportNestedTableIntoEngine)->Arg(20000)->Arg(80000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Qt's HTML reader alone on the nested page, which every open of it pays first.
void BM_ReadNestedPageAsQtText(benchmark::State& state) {
  Prepare();
  const QString page = QString::fromUtf8(TablePage(state.range(0), true));
  for (auto _ : state) {
    QTextDocument text;
    text.setHtml(page);
    benchmark::DoNotOptimize(text.blockCount());
  }
  state.counters["rows"] = double(state.range(0));
}
BENCHMARK(BM_ReadNestedPageAsQtText)->Arg(20000)->Arg(80000)->Unit(benchmark::kMillisecond)->Iterations(1);

// An engine document holding one table of the rows, each cell one paragraph.
GlimmetDocPtr TableDocument(int64_t rows) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  QTextDocument text;
  text.setHtml(QString::fromUtf8(TablePage(rows, false)));
  if (!ImportAttributedText(doc.get(), text)) return nullptr;
  return doc;
}

// Copying a long table as plain text: the table is copied aside and made tab-separated text.
void BM_PlainTextOfLongTable(benchmark::State& state) {
  Prepare();
  GlimmetDocPtr doc = TableDocument(state.range(0));
  if (!doc) state.SkipWithError("no table");
  for (auto _ : state) {
    if (!doc) break;
    const QString text = ExtractPlainText({doc.get(), BodyStart(doc.get()), uint32_t(doc->userLength)}, false);
    benchmark::DoNotOptimize(text.size());
  }
  state.counters["rows"] = double(state.range(0));
}
BENCHMARK(BM_PlainTextOfLongTable)->Arg(40000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

// One paragraph of one-character runs, bold and plain in turn.
void BM_ExportManyRunsInOneParagraph(benchmark::State& state) {
  Prepare();
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  const uint32_t start = BodyStart(doc.get());
  const auto runs = uint32_t(state.range(0));
  DocRange at{doc.get(), start, start};
  ReplaceRangeWithString(&at, QString(qsizetype(runs), u'x'));
  PropRecord bold;
  SetDefaultProperties(doc.get(), kPropChar, &bold);
  bold.body[CharField::bold] = 1;
  for (uint32_t i = 0; i < runs; i += 2) ApplyPropsToRange({doc.get(), start + i, start + i + 1}, bold);
  for (auto _ : state) {
    auto out = ExportAttributedText(doc.get(), start, uint32_t(doc->userLength), false, 1.0);
    benchmark::DoNotOptimize(out->characterCount());
  }
  state.counters["runs"] = double(runs);
}
BENCHMARK(BM_ExportManyRunsInOneParagraph)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Paragraphs of a few words, each with a tab stop at a place of its own.
void BM_ExportParagraphsWithTheirOwnTabs(benchmark::State& state) {
  Prepare();
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  const uint32_t start = BodyStart(doc.get());
  const auto paragraphs = uint32_t(state.range(0));
  constexpr uint32_t kLine = 8;  // "a\tline " and the mark
  QString body;
  body.reserve(qsizetype(paragraphs) * kLine);
  for (uint32_t i = 0; i < paragraphs; ++i) body += QStringLiteral("a\tline \n");
  DocRange at{doc.get(), start, start};
  ReplaceRangeWithString(&at, body);
  PropRecord para;
  SetDefaultProperties(doc.get(), kPropPara, &para);
  para.set<uint16_t>(ParaField::tabCount, 1);
  for (uint32_t i = 0; i < paragraphs; ++i) {
    para.set<uint32_t>(ParaField::tabs, MakeTab(12700 * (i % 500 + 1) + i / 500, 0));
    ApplyPropsToRange({doc.get(), start + i * kLine, start + i * kLine + 1}, para);
  }
  for (auto _ : state) {
    auto out = ExportAttributedText(doc.get(), start, uint32_t(doc->userLength), false, 1.0);
    benchmark::DoNotOptimize(out->blockCount());
  }
  state.counters["paragraphs"] = double(paragraphs);
}
BENCHMARK(BM_ExportParagraphsWithTheirOwnTabs)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Single indexes two apart, written in ascending or descending order.
void ReadIndexSetArchive(benchmark::State& state, bool descending) {
  const auto count = int64_t(state.range(0));
  QStringList items;
  for (int64_t i = 0; i < count; ++i) items << QString::number(2 * (descending ? count - 1 - i : i));
  const QString text = items.join(QLatin1Char(' '));
  for (auto _ : state) benchmark::DoNotOptimize(indexSetWithArchive(text).count());
  state.counters["entries"] = double(count);
}

void BM_ReadIndexSetArchiveAscending(benchmark::State& state) { ReadIndexSetArchive(state, false); }
BENCHMARK(BM_ReadIndexSetArchiveAscending)->Arg(25000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ReadIndexSetArchiveDescending(benchmark::State& state) { ReadIndexSetArchive(state, true); }
BENCHMARK(BM_ReadIndexSetArchiveDescending)->Arg(25000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
