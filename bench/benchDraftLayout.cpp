// Speed of the text engine's draft: formatting every line of a document of wrapped paragraphs on
// Qt's typesetter, and paging down and back up through it in a shown pane.
#include "BenchApplication.h"

#include "glimmet/layout/gmDraft.h"
#include "glimmet/layout/gmLineFormat.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmEdit.h"

#include <benchmark/benchmark.h>

#include <QString>

namespace {

constexpr int kParagraphs = 200;

class BenchView : public GMPaneView {
 public:
  QRectF bounds() const override { return {0, 0, 500, 700}; }
};

// Paragraphs of about 400 units of words.
GlimmetDocPtr WrappedDocument() {
  EnsureBenchApplication();
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  QString paragraph;
  while (paragraph.size() < 400) paragraph += QStringLiteral("lorem ipsum dolor sit amet ");
  QStringList paragraphs;
  for (int i = 0; i < kParagraphs; ++i) paragraphs << paragraph;
  const uint32_t start = BodyStart(doc.get());
  DocRange at{doc.get(), start, start};
  ReplaceRangeWithString(&at, paragraphs.join(u'\n'));
  return doc;
}

void BM_FormatAllLines(benchmark::State& state) {
  GlimmetDocPtr doc = WrappedDocument();
  int64_t lines = 0;
  for (auto _ : state) {
    LineFormat line;
    InitFormatLine(doc.get(), nullptr, &line, kFormatDraw);
    for (uint32_t cp = BodyStart(doc.get()); cp < uint32_t(doc->userLength); ++lines) {
      if (!FormatLine(cp, 468 * 12700, &line)) break;
      cp = line.limitCp;
    }
    ReleaseLineFormat(&line);
  }
  state.SetItemsProcessed(lines);
}
BENCHMARK(BM_FormatAllLines)->Unit(benchmark::kMillisecond);

void BM_PageDownAndUp(benchmark::State& state) {
  GlimmetDocPtr doc = WrappedDocument();
  BenchView view;
  Pane* pane = CurrentPane(doc.get());
  pane->view = &view;
  pane->contentsKind = kPaneContentsPlain;
  doc->owner = &view;
  doc->fitToWindow = true;
  for (auto _ : state) {
    for (int i = 0; i < 20; ++i) {
      ScrollVertDraft(doc.get(), pane, 1, kScrollPage);
      CalculateLines(doc.get(), pane, nullptr);
    }
    for (int i = 0; i < 20; ++i) {
      ScrollVertDraft(doc.get(), pane, -1, kScrollPage);
      CalculateLines(doc.get(), pane, nullptr);
    }
  }
  doc->owner = nullptr;
}
BENCHMARK(BM_PageDownAndUp)->Unit(benchmark::kMillisecond);

}  // namespace
