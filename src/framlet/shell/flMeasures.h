// Lengths as signed 64-bit EMU counts (914400 per inch, 12700 per point): parsing what the user
// types in any of the framework's units, writing a length in a unit, rounding to a unit's step,
// and reading a length from a control. The measure formatter of FormatString ("%m") is this one
// once InstallMeasureFormatter has run.
#pragma once

#include "framlet/foundation/flLengths.h"

#include <QString>

#include <cstdint>

class QLineEdit;
class QWidget;

// No single value (a mixed selection); shown as "-".
inline constexpr int64_t kFLNoMeasure = 0x7FFFFFFFFFFFFFFF;
// The largest length a parse gives.
inline constexpr int64_t kFLMaxMeasure = 0x7FFFFFFFFFFFFFFE;

inline constexpr int64_t kEmuPerFoot = 10972800;
inline constexpr int64_t kEmuPerCentimetre = 360000;

// Unit codes.
enum FLMeasureUnit : int {
  kFLUnitPoints = 0,
  kFLUnitInches = 1,
  kFLUnitFractionalInches = 2,
  kFLUnitFeetAndInches = 3,
  kFLUnitMillimetres = 4,
  kFLUnitCentimetres = 5,
  kFLUnitMetres = 6,
  kFLUnitPercent = 7,
  kFLUnitPixels = 8,
  kFLUnitPicas = 9,
  kFLUnitEms = 10,
  kFLUnitExes = 11,
  kFLUnitCurrent = 13,  // the application's current distance unit
};

inline constexpr const char* kIllegalCharacterError = "Illegal character in number.";
inline constexpr const char* kDenominatorZeroError = "Denominator is zero.";
inline constexpr const char* kNumberTooLargeError = "Number is too large.";

// The application's current distance unit, 0 (points) when its delegate does not answer.
int CurrentDistanceUnit();

// Parses typed text into EMU in the unit code (13: the current unit; with scalar, a plain number
// where 1 is 12700). An empty text is 0, "-" is kFLNoMeasure. On failure answers false and sets
// *error to one of the texts above. Remembers the unit of the typed value for RoundMeasure.
bool ParseMeasure(const QString& text, bool scalar, int unitCode, int64_t* value, QString* error);

// The length as text in the unit code, at most maxDecimals digits after the point (0: no limit).
QString FormatMeasureCore(int64_t value, int maxDecimals, bool scalar, bool showUnits, int unitCode);

// Rounds to the nearest multiple of the quantum, halves away from zero. Quantum 0 leaves the
// value; a negative quantum takes the step of the unit the last parse used (or the current
// unit). Reads and forgets the unit the last parse remembered.
int64_t RoundMeasure(int64_t value, int64_t quantum);

// A line edit with a measure formatter gives its parsed length; any other control its value in
// points. The result is rounded with the quantum.
int64_t MeasureFromControl(const QWidget* control, int64_t quantum);

// A line edit's length through its formatter (see FLFormatter), 0 when its text does not parse.
int64_t measureValue(const QLineEdit* field);
void setMeasureValue(QLineEdit* field, int64_t value);

// Makes FormatMeasureCore the writer of FormatString's measure directive. Called once at launch.
void InstallMeasureFormatter();
