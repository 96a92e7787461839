// Speed of the text engine's edit primitive: typing into a large document at random places, and
// applying a character property over a range cut into many runs.
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmEdit.h"

#include <benchmark/benchmark.h>

#include <QString>

#include <cstdint>
#include <vector>

namespace {

constexpr uint32_t kDocUnits = 1 << 19;  // 1 MB of UTF-16 text
constexpr int kTypedUnits = 100000;

uint64_t NextRandom(uint64_t& state) {
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return state;
}

// A body of kDocUnits units in paragraphs of about 80.
GlimmetDocPtr LargeDocument() {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  QString body(qsizetype(kDocUnits), u'x');
  for (qsizetype i = 79; i < body.size(); i += 80) body[i] = u'\n';
  const uint32_t start = BodyStart(doc.get());
  DocRange at{doc.get(), start, start};
  ReplaceRangeWithString(&at, body);
  return doc;
}

void BM_TypingAtRandomPlaces(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    GlimmetDocPtr doc = LargeDocument();
    const uint32_t start = BodyStart(doc.get());
    std::vector<uint32_t> places(kTypedUnits);
    uint64_t random = 88172645463325252ull;
    for (int i = 0; i < kTypedUnits; ++i)
      places[size_t(i)] = start + uint32_t(NextRandom(random) % (kDocUnits + uint32_t(i)));
    const char16_t unit = u'a';
    state.ResumeTiming();
    for (uint32_t place : places) {
      DocRange at{doc.get(), place, place};
      ReplaceRangeCore(&at, nullptr, &unit, 1, false);
    }
    state.PauseTiming();
    benchmark::DoNotOptimize(doc->totalLength);
    doc.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kTypedUnits);
}
BENCHMARK(BM_TypingAtRandomPlaces)->Unit(benchmark::kMillisecond);

// Typing into text that holds many knots: finding the knot around a cp must not walk back over
// every knot before it.
void BM_TypingAmongKnots(benchmark::State& state) {
  constexpr int kKnots = 5000;
  constexpr int kTyped = 20000;
  for (auto _ : state) {
    state.PauseTiming();
    GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
    const uint32_t start = BodyStart(doc.get());
    DocRange at{doc.get(), start, start};
    ReplaceRangeWithString(&at, QString(qsizetype(kKnots) * 20, u'x'));
    for (int knot = kKnots - 1; knot >= 0; --knot) {
      DocRange place{doc.get(), start + uint32_t(knot) * 20, start + uint32_t(knot) * 20};
      InsertKnotCore(&place, knot % 2 ? kKnotLink : kKnotPicture, 0, 0, nullptr, 0, nullptr, false);
    }
    uint64_t random = 88172645463325252ull;
    const char16_t unit = u'a';
    state.ResumeTiming();
    for (int i = 0; i < kTyped; ++i) {
      const uint32_t place = start + uint32_t(NextRandom(random) % uint64_t(doc->userLength - int32_t(start)));
      DocRange typed{doc.get(), place, place};
      ReplaceRangeCore(&typed, nullptr, &unit, 1, false);
    }
    state.PauseTiming();
    doc.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kTyped);
}
BENCHMARK(BM_TypingAmongKnots)->Unit(benchmark::kMillisecond);

void BM_BoldOverTenThousandRuns(benchmark::State& state) {
  constexpr uint32_t kUnits = 100000;
  constexpr uint32_t kRuns = 10000;
  for (auto _ : state) {
    state.PauseTiming();
    GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
    const uint32_t start = BodyStart(doc.get());
    DocRange at{doc.get(), start, start};
    ReplaceRangeWithString(&at, QString(qsizetype(kUnits), u'x'));
    PropRecord record;
    SetDefaultProperties(doc.get(), kPropChar, &record);
    uint32_t indexes[2];
    for (int i = 0; i < 2; ++i) {
      record.set<int16_t>(CharField::size, int16_t(40 + 8 * i));
      indexes[i] = IndexForProperties(doc.get(), &record);
    }
    // Alternating runs of 10 units, written straight into the run table.
    doc->charRuns.clear();
    doc->charRuns.insert(0, 0, indexes[0]);
    for (uint32_t run = 0; run < kRuns; ++run)
      doc->charRuns.insert(doc->charRuns.count(), start + run * (kUnits / kRuns), indexes[run % 2]);
    PropRecord bold = record;
    bold.body[CharField::bold] = 1;
    state.ResumeTiming();
    ApplyPropsToRange({doc.get(), start, start + kUnits}, bold);
    state.PauseTiming();
    state.counters["runsBefore"] = kRuns + 1;
    state.counters["runsAfter"] = doc->charRuns.count();
    doc.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_BoldOverTenThousandRuns)->Unit(benchmark::kMillisecond);

}  // namespace
