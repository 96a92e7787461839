// Handlers of the math, rounding and trigonometry functions.
#include "calculator/model/formula/caFunctionArguments.h"
#include "calculator/model/formula/caFunctions.h"
#include "calculator/model/formula/caMathCores.h"

namespace {

using UnaryCore = CANumber (*)(const CANumber&);
using BinaryCore = CANumber (*)(const CANumber&, const CANumber&);
using CheckedBinaryCore = FunctionResult (*)(const CANumber&, const CANumber&);

CAFunctionResult Unary(CAEvaluationContext& context, UnaryCore core) {
  const std::optional<CANumber> x = NumericTopOfStackCore(context);
  if (!x) return std::nullopt;
  return core(*x);
}

CAFunctionResult Binary(CAEvaluationContext& context, BinaryCore core) {
  const auto arguments = ReadNumbers<2>(context);
  if (!arguments) return std::nullopt;
  return core((*arguments)[0], (*arguments)[1]);
}

CAFunctionResult CheckedBinary(CAEvaluationContext& context, CheckedBinaryCore core) {
  const auto arguments = ReadNumbers<2>(context);
  if (!arguments) return std::nullopt;
  return Deliver(context, core((*arguments)[0], (*arguments)[1]));
}

// CEILING.PRECISE and FLOOR.PRECISE: the significance only when another argument remains.
CAFunctionResult Precise(CAEvaluationContext& context,
                         FunctionResult (*core)(const CANumber&, const std::optional<CANumber>&)) {
  const std::optional<CANumber> x = NumericTopOfStackCore(context);
  if (!x) return std::nullopt;
  bool failed = false;
  const std::optional<CANumber> significance = ReadOptionalNumber(context, &failed);
  if (failed) return std::nullopt;
  return Deliver(context, core(*x, significance));
}

CAFunctionResult List(CAEvaluationContext& context, CANumber (*core)(std::span<const CANumber>)) {
  const std::optional<CAOperandArray> operands =
      ReadListAllowingNone(context, kOperandNumbersOnly);
  if (!operands) return std::nullopt;
  return core(*operands);
}

// GCD and LCM: no values stays error 7.
CAFunctionResult Divisors(CAEvaluationContext& context,
                          FunctionResult (*core)(std::span<const CANumber>)) {
  const std::optional<CAOperandArray> operands = CreateOperandArray(context, kOperandNumbersOnly);
  if (!operands) return std::nullopt;
  return Deliver(context, core(*operands));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Math

CAFunctionResult CbrtFunction(CAEvaluationContext& context) { return Unary(context, CbrtCore); }

CAFunctionResult EFunction(CAEvaluationContext&) { return ECore(); }

CAFunctionResult ExpFunction(CAEvaluationContext& context) { return Unary(context, ExpCore); }

CAFunctionResult FactFunction(CAEvaluationContext& context) {
  const std::optional<CANumber> x = NumericTopOfStackCore(context);
  if (!x) return std::nullopt;
  return Deliver(context, FactCore(*x));
}

CAFunctionResult GcdFunction(CAEvaluationContext& context) { return Divisors(context, GcdCore); }

CAFunctionResult LcmFunction(CAEvaluationContext& context) { return Divisors(context, LcmCore); }

CAFunctionResult LnFunction(CAEvaluationContext& context) { return Unary(context, LnCore); }

CAFunctionResult LogFunction(CAEvaluationContext& context) {
  const std::optional<CANumber> x = NumericTopOfStackCore(context);
  if (!x) return std::nullopt;
  bool failed = false;
  const std::optional<CANumber> base = ReadOptionalNumber(context, &failed);
  if (failed) return std::nullopt;
  return LogCore(*x, base);
}

CAFunctionResult Log10Function(CAEvaluationContext& context) { return Unary(context, Log10Core); }

CAFunctionResult Log2Function(CAEvaluationContext& context) { return Unary(context, Log2Core); }

CAFunctionResult ModFunction(CAEvaluationContext& context) { return Binary(context, ModCore); }

CAFunctionResult MultinomialFunction(CAEvaluationContext& context) {
  const std::optional<CAOperandArray> operands =
      ReadListAllowingNone(context, kOperandNumbersOnly);
  if (!operands) return std::nullopt;
  return Deliver(context, MultinomialCore(*operands));
}

CAFunctionResult PiFunction(CAEvaluationContext&) { return PiCore(); }

CAFunctionResult PowerFunction(CAEvaluationContext& context) { return Binary(context, PowerCore); }

CAFunctionResult ProductFunction(CAEvaluationContext& context) {
  return List(context, ProductCore);
}

CAFunctionResult QuotientFunction(CAEvaluationContext& context) {
  return Binary(context, QuotientCore);
}

CAFunctionResult RandFunction(CAEvaluationContext& context) {
  context.volatileResult = 1;
  return RandCore();
}

CAFunctionResult RandbetweenFunction(CAEvaluationContext& context) {
  context.volatileResult = 1;
  return CheckedBinary(context, RandbetweenCore);
}

CAFunctionResult SeriessumFunction(CAEvaluationContext& context) {
  const auto arguments = ReadNumbers<3>(context);
  if (!arguments) return std::nullopt;
  const std::optional<CAOperandArray> coefficients =
      CreateOperandArray(context, kOperandNumbersOnly);
  if (!coefficients) return std::nullopt;  // none is error 7
  const auto& [x, n, m] = *arguments;
  return Deliver(context, SeriessumCore(x, n, m, *coefficients));
}

CAFunctionResult SignFunction(CAEvaluationContext& context) { return Unary(context, SignCore); }

CAFunctionResult SqrtFunction(CAEvaluationContext& context) { return Unary(context, SqrtCore); }

CAFunctionResult SqrtpiFunction(CAEvaluationContext& context) {
  return Unary(context, SqrtpiCore);
}

CAFunctionResult SumsqFunction(CAEvaluationContext& context) { return List(context, SumsqCore); }

// ---------------------------------------------------------------------------------------------
// Rounding

CAFunctionResult AbsFunction(CAEvaluationContext& context) { return Unary(context, AbsCore); }

CAFunctionResult CeilingFunction(CAEvaluationContext& context) {
  return CheckedBinary(context, CeilingCore);
}

CAFunctionResult CeilingPreciseFunction(CAEvaluationContext& context) {
  return Precise(context, CeilingPreciseCore);
}

CAFunctionResult EvenFunction(CAEvaluationContext& context) { return Unary(context, EvenCore); }

CAFunctionResult FloorFunction(CAEvaluationContext& context) {
  return CheckedBinary(context, FloorCore);
}

CAFunctionResult FloorPreciseFunction(CAEvaluationContext& context) {
  return Precise(context, FloorPreciseCore);
}

CAFunctionResult IntFunction(CAEvaluationContext& context) { return Unary(context, IntCore); }

CAFunctionResult MroundFunction(CAEvaluationContext& context) {
  return CheckedBinary(context, MroundCore);
}

CAFunctionResult OddFunction(CAEvaluationContext& context) { return Unary(context, OddCore); }

CAFunctionResult RoundFunction(CAEvaluationContext& context) { return Binary(context, RoundCore); }

CAFunctionResult RounddownFunction(CAEvaluationContext& context) {
  return Binary(context, RounddownCore);
}

CAFunctionResult RoundupFunction(CAEvaluationContext& context) {
  return Binary(context, RoundupCore);
}

CAFunctionResult TruncFunction(CAEvaluationContext& context) { return Unary(context, TruncCore); }

// ---------------------------------------------------------------------------------------------
// Trigonometry

CAFunctionResult AcosFunction(CAEvaluationContext& context) { return Unary(context, AcosCore); }
CAFunctionResult AcoshFunction(CAEvaluationContext& context) { return Unary(context, AcoshCore); }
CAFunctionResult AsinFunction(CAEvaluationContext& context) { return Unary(context, AsinCore); }
CAFunctionResult AsinhFunction(CAEvaluationContext& context) { return Unary(context, AsinhCore); }
CAFunctionResult AtanFunction(CAEvaluationContext& context) { return Unary(context, AtanCore); }
CAFunctionResult Atan2Function(CAEvaluationContext& context) { return Binary(context, Atan2Core); }
CAFunctionResult AtanhFunction(CAEvaluationContext& context) { return Unary(context, AtanhCore); }
CAFunctionResult CosFunction(CAEvaluationContext& context) { return Unary(context, CosCore); }
CAFunctionResult CoshFunction(CAEvaluationContext& context) { return Unary(context, CoshCore); }
CAFunctionResult DegreesFunction(CAEvaluationContext& context) {
  return Unary(context, DegreesCore);
}
CAFunctionResult RadiansFunction(CAEvaluationContext& context) {
  return Unary(context, RadiansCore);
}
CAFunctionResult SinFunction(CAEvaluationContext& context) { return Unary(context, SinCore); }
CAFunctionResult SinhFunction(CAEvaluationContext& context) { return Unary(context, SinhCore); }
CAFunctionResult TanFunction(CAEvaluationContext& context) { return Unary(context, TanCore); }
CAFunctionResult TanhFunction(CAEvaluationContext& context) { return Unary(context, TanhCore); }
