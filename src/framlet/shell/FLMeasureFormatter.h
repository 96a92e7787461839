// The formatter of length fields: typed text becomes an EMU count within the field's bounds,
// and a length is shown in the field's unit (the application's current unit by default).
#pragma once

#include "framlet/shell/FLFormatter.h"
#include "framlet/shell/flMeasures.h"

#include <cstdint>

class FLMeasureFormatter : public FLFormatter {
  Q_OBJECT

 public:
  explicit FLMeasureFormatter(QObject* parent = nullptr) : FLFormatter(parent) {}

  int64_t minimum() const { return minimum_; }
  void setMinimum(int64_t minimum) { minimum_ = minimum; }
  int64_t maximum() const { return maximum_; }
  void setMaximum(int64_t maximum) { maximum_ = maximum; }
  int preferredUnit() const { return preferredUnit_; }
  void setPreferredUnit(int unit) { preferredUnit_ = unit; }
  // A plain number (1 is 12700), typed and shown without a unit.
  bool scalar() const { return scalar_; }
  void setScalar(bool scalar) { scalar_ = scalar; }
  bool showUnits() const { return showUnits_; }
  void setShowUnits(bool showUnits) { showUnits_ = showUnits; }

  // The value is a qlonglong EMU count; kFLNoMeasure ("-") is taken without a range check.
  bool getObjectValue(QVariant* value, const QString& text, QString* error) const override;
  // A measure number, or any value that converts to an integer; null for anything else.
  QString stringForObjectValue(const QVariant& value) const override;

  QString minimumString() const;
  QString maximumString() const;

 private:
  QString format(int64_t value) const;

  int64_t minimum_ = 0;
  int64_t maximum_ = kFLMaxMeasure;
  int preferredUnit_ = kFLUnitCurrent;
  bool scalar_ = false;
  bool showUnits_ = true;
};
