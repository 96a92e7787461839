// The everyday calculator window: digit, operator, percent, memory and clearing keys over the
// standard engine.
#pragma once

#include "calculator/controllers/CACalculatorBase.h"

class CAStandardEngine;

class CACalculatorStandard : public CACalculatorBase {
  Q_OBJECT

 public:
  explicit CACalculatorStandard(UserDefaults& defaults, QWidget* parent = nullptr);

  CAStandardEngine& standardEngine() const;
};
