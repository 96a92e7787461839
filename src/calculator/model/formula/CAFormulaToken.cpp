#include "calculator/model/formula/CAFormulaToken.h"

#include "framlet/foundation/flBase.h"

const CAOperatorInfo g_operators[kOperatorTableSize] = {
    {0, 0, nullptr},  // 0
    {1, 2, "+"},      // 1
    {0, 0, ","},      // 2
    {2, 2, "/"},      // 3
    {0, 0, "("},      // 4
    {2, 2, "*"},      // 5
    {3, 2, "^"},      // 6
    {0, 0, ")"},      // 7
    {1, 2, "-"},      // 8
    {4, 1, "~"},      // 9
    {0, 0, nullptr},  // 10
    {0, 0, nullptr},  // 11 after a name
    {0, 0, nullptr},  // 12 after a number
    {0, 0, nullptr},  // 13 after a name that began with "$"
};

namespace {
constexpr const char* kInvalidInitializer = "Invalid initializer";
}

CAFormulaToken CAFormulaToken::withFunction(int32_t row) {
  FLAssert(row != 0, kInvalidInitializer);
  CAFormulaToken token;
  token.function_ = int16_t(row);
  return token;
}

CAFormulaToken CAFormulaToken::withNumber(const CANumber& number) {
  CAFormulaToken token;
  token.payload_ = kPayloadNumber;
  token.value_.number = number;
  return token;
}

CAFormulaToken CAFormulaToken::withOperator(int32_t code) {
  FLAssert(code != 0, kInvalidInitializer);
  CAFormulaToken token;
  token.operator_ = int8_t(code);
  return token;
}

CAFormulaToken CAFormulaToken::withReference(const GridPoint& point) {
  FLAssert(point.x != kGridNoPoint, kInvalidInitializer);
  CAFormulaToken token;
  token.setPoint(point);
  return token;
}

CAFormulaToken CAFormulaToken::withRange(const GridRange& range) {
  FLAssert(range.startPoint.x != kGridNoPoint && range.endPoint.x != kGridNoPoint,
           kInvalidInitializer);
  CAFormulaToken token;
  token.setRange(range);
  return token;
}

int32_t CAFormulaToken::precedence() const {
  if (function_ != 0 || operator_ < 0 || operator_ >= kOperatorTableSize) return 0;
  return g_operators[operator_].precedence;
}
