// Speed of restyling: giving many paragraphs, each with its own direct formatting, a paragraph
// style in one call, and moving every item of a long numbered list one level deeper.
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmEdit.h"
#include "glimmet/storage/gmLists.h"
#include "glimmet/storage/gmStyles.h"

#include <benchmark/benchmark.h>

#include <QString>

#include <cstdint>

namespace {

// Paragraphs of 20 units, each with a left indent of its own (so each has its own record),
// written straight into the run table.
GlimmetDocPtr ParagraphDocument(uint32_t paragraphs, uint32_t styleId) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  const uint32_t start = BodyStart(doc.get());
  QString body(qsizetype(paragraphs) * 20, u'x');
  for (qsizetype i = 19; i < body.size(); i += 20) body[i] = u'\n';
  DocRange at{doc.get(), start, start};
  ReplaceRangeWithString(&at, body);
  const uint32_t style = styleId ? StyleIndexForStyleId(doc.get(), styleId, true) : 0;
  PropRecord para = *PropertiesAtIndex(doc.get(), doc->styles[style].first);
  GMCpTable<uint32_t> runs;
  runs.insert(0, 0, doc->paraRuns.at(0));
  for (uint32_t i = 0; i < paragraphs; ++i) {
    para.set<int64_t>(ParaField::leftIndent, int64_t(i) * 127);
    runs.insert(runs.count(), start + 20 * i, IndexForProperties(doc.get(), &para));
  }
  runs.insert(runs.count(), start + 20 * paragraphs, doc->paraRuns.at(doc->paraRuns.count() - 1));
  doc->paraRuns = std::move(runs);
  return doc;
}

void BM_RestyleManyParagraphs(benchmark::State& state) {
  const uint32_t paragraphs = uint32_t(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    GlimmetDocPtr doc = ParagraphDocument(paragraphs, 0);
    const uint32_t start = BodyStart(doc.get());
    state.ResumeTiming();
    ApplyParaStyle({doc.get(), start, start + 20 * paragraphs}, kBuiltinStyleRef + kHeaderStyleId);
    state.PauseTiming();
    doc.reset();
    state.ResumeTiming();
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_RestyleManyParagraphs)->RangeMultiplier(4)->Range(1000, 64000)->Unit(benchmark::kMillisecond)->Complexity();

void BM_IndentLongList(benchmark::State& state) {
  const uint32_t paragraphs = uint32_t(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    GlimmetDocPtr doc = ParagraphDocument(paragraphs, kListStyleId);
    const uint32_t start = BodyStart(doc.get());
    // In a list knot whose numbering cache is built, so that every paragraph's entry is dropped.
    Pane* pane = CurrentPane(doc.get());
    pane->selFirst = int32_t(start);
    pane->selLimit = int32_t(start + 20 * paragraphs - 1);
    InsertList(doc.get(), nullptr, false, false);
    KnotInfo list;
    PropRecord props;
    FetchList(doc.get(), start + 1, &list, &props);
    ListEntryMarker(doc.get(), list.limit - 3, list.first, 0, props);
    uint32_t cp = list.first + 1;
    state.ResumeTiming();
    ChangeIndent(doc.get(), &cp, list.limit - 1, list.limit - 1, true, 255);
    state.PauseTiming();
    doc.reset();
    state.ResumeTiming();
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_IndentLongList)->RangeMultiplier(4)->Range(1000, 64000)->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace
