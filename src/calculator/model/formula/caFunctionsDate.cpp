// Handlers of the date, finance and physics functions.
#include "calculator/model/formula/caDateCores.h"
#include "calculator/model/formula/caFunctionArguments.h"
#include "calculator/model/formula/caFunctions.h"

namespace {

using DateCoreOfOne = FunctionResult (*)(const CANumber&);
using DateCoreOfTwo = FunctionResult (*)(const CANumber&, const CANumber&);

CAFunctionResult OfOne(CAEvaluationContext& context, DateCoreOfOne core) {
  const std::optional<CANumber> x = NumericTopOfStackCore(context);
  if (!x) return std::nullopt;
  return Deliver(context, core(*x));
}

CAFunctionResult OfTwo(CAEvaluationContext& context, DateCoreOfTwo core) {
  const auto arguments = ReadNumbers<2>(context);
  if (!arguments) return std::nullopt;
  return Deliver(context, core((*arguments)[0], (*arguments)[1]));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Date

CAFunctionResult DateFunction(CAEvaluationContext& context) {
  const auto arguments = ReadNumbers<3>(context);
  if (!arguments) return std::nullopt;
  const auto& [year, month, day] = *arguments;
  return Deliver(context, DateCore(year, month, day));
}

CAFunctionResult DayFunction(CAEvaluationContext& context) { return OfOne(context, DayCore); }

CAFunctionResult DaysFunction(CAEvaluationContext& context) { return OfTwo(context, DaysCore); }

CAFunctionResult EdateFunction(CAEvaluationContext& context) { return OfTwo(context, EdateCore); }

CAFunctionResult EdayFunction(CAEvaluationContext& context) { return OfTwo(context, EdayCore); }

CAFunctionResult EomonthFunction(CAEvaluationContext& context) {
  return OfTwo(context, EomonthCore);
}

CAFunctionResult EyearFunction(CAEvaluationContext& context) { return OfTwo(context, EyearCore); }

CAFunctionResult MonthFunction(CAEvaluationContext& context) {
  const std::optional<CANumber> x = NumericTopOfStackCore(context);
  if (!x) return std::nullopt;
  return MonthCore(*x);
}

CAFunctionResult TodayFunction(CAEvaluationContext& context) {
  context.volatileResult = 1;
  return TodayCore();
}

CAFunctionResult WeekdayFunction(CAEvaluationContext& context) {
  const std::optional<CANumber> date = NumericTopOfStackCore(context);
  if (!date) return std::nullopt;
  bool failed = false;
  const std::optional<CANumber> returnType = ReadOptionalNumber(context, &failed);
  // A return type that is no number is as unknown as a type out of range.
  if (failed) {
    context.error = kFormulaErrorArguments;
    return std::nullopt;
  }
  return Deliver(context, WeekdayCore(*date, returnType));
}

CAFunctionResult YearFunction(CAEvaluationContext& context) { return OfOne(context, YearCore); }

// ---------------------------------------------------------------------------------------------
// Finance

CAFunctionResult PmtFunction(CAEvaluationContext& context) {
  const auto arguments = ReadNumbers<3>(context);
  if (!arguments) return std::nullopt;
  const auto& [rate, periods, principal] = *arguments;
  return Deliver(context, PmtCore(rate, periods, principal));
}

// ---------------------------------------------------------------------------------------------
// Physics

CAFunctionResult CFunction(CAEvaluationContext& context) {
  const std::optional<CANumber> units = NumericTopOfStackCore(context);
  if (!units) return std::nullopt;
  return CCore(*units);
}

CAFunctionResult EcFunction(CAEvaluationContext&) { return EcCore(); }
CAFunctionResult FineFunction(CAEvaluationContext&) { return FineCore(); }
CAFunctionResult GFunction(CAEvaluationContext&) { return GCore(); }
CAFunctionResult HFunction(CAEvaluationContext&) { return HCore(); }
CAFunctionResult HrFunction(CAEvaluationContext&) { return HrCore(); }
CAFunctionResult KFunction(CAEvaluationContext&) { return KCore(); }
CAFunctionResult LFunction(CAEvaluationContext&) { return LCore(); }
CAFunctionResult VpFunction(CAEvaluationContext&) { return VpCore(); }
