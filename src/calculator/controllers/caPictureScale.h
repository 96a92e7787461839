// The scale rules of the picture pane and its length fields. Scales are percent x 12700; the
// slider runs from 0 (1 %) through 1 (100 %) to 2 (1600 %), linear below 100 % and logarithmic
// above.
#pragma once

#include <cstdint>

class QLineEdit;

inline constexpr int64_t kPictureMinimumScale = 12700;     // 1 %
inline constexpr int64_t kPictureMaximumScale = 20320000;  // 1600 %

double PictureSliderForScale(int64_t scale);
// The percentage at a slider position (the inverse of the above).
double PicturePercentForSlider(double position);
// The scale at a slider position, rounded to the step of the current distance unit.
int64_t PictureScaleForSlider(double position);

// Gives the field a measure formatter from the minimum up: a plain percentage from 1 % to
// 1600 % when `percent`, else a length (of at least a point for `minimum` 12700).
void SetUpPictureField(QLineEdit* field, int64_t minimum, bool percent);
// The field's value in EMU rounded to the quantum (0: as typed), and the value shown.
int64_t PictureFieldValue(const QLineEdit* field, int64_t quantum);
void SetPictureFieldValue(QLineEdit* field, int64_t value);
