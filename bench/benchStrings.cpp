// Speed of the character classes and string procedures on the sizes the parsers and importers
// feed them: a megabyte of mixed text classified unit by unit, HTML of a large page unescaped,
// and code-page text decoded as the RTF reader decodes it.
#include "framlet/foundation/flCharacterClasses.h"
#include "framlet/foundation/flStringExtensions.h"
#include "platform/TextEncodings.h"

#include <benchmark/benchmark.h>

#include <QString>

namespace {

QString MixedText(qsizetype units) {
  const QString piece = QString::fromUtf16(u"Total = SUM(A1:B7) \u00E9t\u00E9 \u20AC 42,5\t\u65E5\u672C\n");
  QString text;
  text.reserve(units + piece.size());
  while (text.size() < units) text += piece;
  return text;
}

void BM_TypeOfChar(benchmark::State& state) {
  const QString text = MixedText(1 << 20);
  for (auto _ : state) {
    uint32_t sum = 0;
    for (QChar c : text) sum += TypeOfChar(c.unicode());
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * text.size() * 2);
}
BENCHMARK(BM_TypeOfChar);

void BM_UnescapeForHtml(benchmark::State& state) {
  QString page;
  while (page.size() < (1 << 20)) page += QStringLiteral("<td>A &amp; B &lt;c&gt; &#233;&#x1F600; plain text here</td>\n");
  for (auto _ : state) benchmark::DoNotOptimize(createUnescapedStringForHtml(page));
  state.SetBytesProcessed(int64_t(state.iterations()) * page.size() * 2);
}
BENCHMARK(BM_UnescapeForHtml);

void BM_CleanUp(benchmark::State& state) {
  const QString text = MixedText(1 << 20);
  for (auto _ : state) benchmark::DoNotOptimize(cleanUp(text, true, true));
  state.SetBytesProcessed(int64_t(state.iterations()) * text.size() * 2);
}
BENCHMARK(BM_CleanUp);

// Short runs, as the RTF reader converts between control words.
void BM_DecodeShortRuns(benchmark::State& state) {
  const FLStringEncoding encoding = FLStringEncoding(state.range(0));
  const QByteArray run = *EncodeText(u"Caf\u00E9 cr\u00E8me, 12 pieces", encoding);
  for (auto _ : state) benchmark::DoNotOptimize(DecodeText(run, encoding, true));
  state.SetBytesProcessed(int64_t(state.iterations()) * run.size());
}
BENCHMARK(BM_DecodeShortRuns)->Arg(kFLEncodingWindowsLatin1)->Arg(kFLEncodingMacRoman)->Arg(kFLEncodingUTF8);

}  // namespace
