#include "calculator/controllers/caPictureScale.h"

#include "framlet/shell/FLMeasureFormatter.h"
#include "framlet/shell/flMeasures.h"

#include <cmath>

namespace {

constexpr double kPercent = 100.0;
constexpr double kLog16 = 1.20411992;  // log10(1600 / 100): the slider's upper half
constexpr int kPercentUnit = 7;

}  // namespace

double PictureSliderForScale(int64_t scale) {
  const double percent = double(scale) / kEmuPerPoint;
  if (percent == kPercent) return 1.0;
  if (percent < kPercent) return (percent - 1) / kPercent;
  return (std::log10(percent / 10) - 1) / kLog16 + 1;
}

double PicturePercentForSlider(double position) {
  if (position == 1.0) return kPercent;
  if (position < 1.0) return kPercent * position + 1;
  return 10 * std::pow(10.0, (position - 1) * kLog16 + 1);
}

int64_t PictureScaleForSlider(double position) {
  return RoundMeasure(std::llround(PicturePercentForSlider(position) * kEmuPerPoint), -1);
}

void SetUpPictureField(QLineEdit* field, int64_t minimum, bool percent) {
  auto* formatter = new FLMeasureFormatter;
  formatter->setMinimum(minimum);
  if (percent) {
    formatter->setMaximum(kPictureMaximumScale);
    formatter->setScalar(true);
    formatter->setPreferredUnit(kPercentUnit);
  }
  formatter->attachTo(field);
}

int64_t PictureFieldValue(const QLineEdit* field, int64_t quantum) {
  return RoundMeasure(measureValue(field), quantum);
}

void SetPictureFieldValue(QLineEdit* field, int64_t value) { setMeasureValue(field, value); }
