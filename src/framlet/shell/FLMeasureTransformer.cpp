// Points for sliders and spin boxes, EMU for the model.
#include "framlet/shell/FLMeasureTransformer.h"

#include "framlet/shell/flMeasures.h"

namespace {
int64_t g_transformerPrecision = 0;
}

void FLMeasureTransformer::setPrecision(int64_t quantum) { g_transformerPrecision = quantum; }
int64_t FLMeasureTransformer::precision() { return g_transformerPrecision; }

QVariant FLMeasureTransformer::transformedValue(const QVariant& measure) {
  return double(measure.toLongLong()) / double(kEmuPerPoint);
}

QVariant FLMeasureTransformer::reverseTransformedValue(const QVariant& points) {
  const double emu = points.toDouble() * double(kEmuPerPoint);
  // Out-of-range reals have no integer; they take the nearest end of the range.
  const int64_t truncated = emu >= 9.2e18 ? kFLMaxMeasure : emu <= -9.2e18 ? -kFLMaxMeasure : int64_t(emu);
  return QVariant::fromValue<qlonglong>(RoundMeasure(truncated, g_transformerPrecision));
}
