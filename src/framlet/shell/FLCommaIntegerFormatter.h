// The formatter of integer fields typed and shown with thousands separators ("1,234,567").
#pragma once

#include "framlet/shell/FLFormatter.h"

#include <cstdint>
#include <optional>

class FLCommaIntegerFormatter : public FLFormatter {
  Q_OBJECT

 public:
  explicit FLCommaIntegerFormatter(QObject* parent = nullptr) : FLFormatter(parent) {}

  // No bound by default.
  std::optional<int64_t> minimum() const { return minimum_; }
  void setMinimum(std::optional<int64_t> minimum) { minimum_ = minimum; }
  std::optional<int64_t> maximum() const { return maximum_; }
  void setMaximum(std::optional<int64_t> maximum) { maximum_ = maximum; }
  static int minimumFractionDigits() { return 0; }
  static int maximumFractionDigits() { return 0; }

  // The value is a qlonglong.
  bool getObjectValue(QVariant* value, const QString& text, QString* error) const override;
  QString stringForObjectValue(const QVariant& value) const override;

 private:
  std::optional<int64_t> minimum_;
  std::optional<int64_t> maximum_;
};
