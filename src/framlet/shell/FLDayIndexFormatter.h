// The formatter of date fields whose value is a day index (yyyymmdd, 0 no date).
#pragma once

#include "framlet/shell/FLFormatter.h"

class FLDayIndexFormatter : public FLFormatter {
  Q_OBJECT

 public:
  explicit FLDayIndexFormatter(QObject* parent = nullptr) : FLFormatter(parent) {}

  // Day index 0 is shown as nothing rather than "<Unknown>".
  bool blankUnknown() const { return blankUnknown_; }
  void setBlankUnknown(bool blank) { blankUnknown_ = blank; }

  // The value is an int holding the day index.
  bool getObjectValue(QVariant* value, const QString& text, QString* error) const override;
  QString stringForObjectValue(const QVariant& value) const override;

 private:
  bool blankUnknown_ = false;
};
