// The built-in function handlers that the function table calls: each reads its arguments from
// the evaluation context in written order, computes with the function cores and reports
// failure only through the context's error code. SUM and COUNTA are in caFunctionsBasic.h.
#pragma once

#include <optional>

#include "calculator/model/formula/CAEvalContext.h"

using CAFunctionResult = std::optional<CANumber>;

// Statistics
CAFunctionResult AverageFunction(CAEvaluationContext& context);
CAFunctionResult AverageaFunction(CAEvaluationContext& context);
CAFunctionResult CombinFunction(CAEvaluationContext& context);
CAFunctionResult CountFunction(CAEvaluationContext& context);
CAFunctionResult CountblankFunction(CAEvaluationContext& context);
CAFunctionResult LargeFunction(CAEvaluationContext& context);
CAFunctionResult MaxFunction(CAEvaluationContext& context);
CAFunctionResult MaxaFunction(CAEvaluationContext& context);
CAFunctionResult MedianFunction(CAEvaluationContext& context);
CAFunctionResult MinFunction(CAEvaluationContext& context);
CAFunctionResult MinaFunction(CAEvaluationContext& context);
CAFunctionResult ModeFunction(CAEvaluationContext& context);  // MODE and MODE.SNGL
CAFunctionResult PermutFunction(CAEvaluationContext& context);
CAFunctionResult SmallFunction(CAEvaluationContext& context);
CAFunctionResult StdevPFunction(CAEvaluationContext& context);
CAFunctionResult StdevSFunction(CAEvaluationContext& context);
CAFunctionResult StdevaFunction(CAEvaluationContext& context);
CAFunctionResult StdevpaFunction(CAEvaluationContext& context);
CAFunctionResult VarPFunction(CAEvaluationContext& context);
CAFunctionResult VarSFunction(CAEvaluationContext& context);
CAFunctionResult VaraFunction(CAEvaluationContext& context);
CAFunctionResult VarpaFunction(CAEvaluationContext& context);

// Math
CAFunctionResult CbrtFunction(CAEvaluationContext& context);
CAFunctionResult EFunction(CAEvaluationContext& context);
CAFunctionResult ExpFunction(CAEvaluationContext& context);
CAFunctionResult FactFunction(CAEvaluationContext& context);
CAFunctionResult GcdFunction(CAEvaluationContext& context);
CAFunctionResult LcmFunction(CAEvaluationContext& context);
CAFunctionResult LnFunction(CAEvaluationContext& context);
CAFunctionResult LogFunction(CAEvaluationContext& context);
CAFunctionResult Log10Function(CAEvaluationContext& context);
CAFunctionResult Log2Function(CAEvaluationContext& context);
CAFunctionResult ModFunction(CAEvaluationContext& context);
CAFunctionResult MultinomialFunction(CAEvaluationContext& context);
CAFunctionResult PiFunction(CAEvaluationContext& context);
CAFunctionResult PowerFunction(CAEvaluationContext& context);
CAFunctionResult ProductFunction(CAEvaluationContext& context);
CAFunctionResult QuotientFunction(CAEvaluationContext& context);
CAFunctionResult RandFunction(CAEvaluationContext& context);
CAFunctionResult RandbetweenFunction(CAEvaluationContext& context);
CAFunctionResult SeriessumFunction(CAEvaluationContext& context);
CAFunctionResult SignFunction(CAEvaluationContext& context);
CAFunctionResult SqrtFunction(CAEvaluationContext& context);
CAFunctionResult SqrtpiFunction(CAEvaluationContext& context);
CAFunctionResult SumsqFunction(CAEvaluationContext& context);

// Rounding
CAFunctionResult AbsFunction(CAEvaluationContext& context);
CAFunctionResult CeilingFunction(CAEvaluationContext& context);
CAFunctionResult CeilingPreciseFunction(CAEvaluationContext& context);
CAFunctionResult EvenFunction(CAEvaluationContext& context);
CAFunctionResult FloorFunction(CAEvaluationContext& context);
CAFunctionResult FloorPreciseFunction(CAEvaluationContext& context);
CAFunctionResult IntFunction(CAEvaluationContext& context);
CAFunctionResult MroundFunction(CAEvaluationContext& context);
CAFunctionResult OddFunction(CAEvaluationContext& context);
CAFunctionResult RoundFunction(CAEvaluationContext& context);
CAFunctionResult RounddownFunction(CAEvaluationContext& context);
CAFunctionResult RoundupFunction(CAEvaluationContext& context);
CAFunctionResult TruncFunction(CAEvaluationContext& context);

// Trigonometry
CAFunctionResult AcosFunction(CAEvaluationContext& context);
CAFunctionResult AcoshFunction(CAEvaluationContext& context);
CAFunctionResult AsinFunction(CAEvaluationContext& context);
CAFunctionResult AsinhFunction(CAEvaluationContext& context);
CAFunctionResult AtanFunction(CAEvaluationContext& context);
CAFunctionResult Atan2Function(CAEvaluationContext& context);
CAFunctionResult AtanhFunction(CAEvaluationContext& context);
CAFunctionResult CosFunction(CAEvaluationContext& context);
CAFunctionResult CoshFunction(CAEvaluationContext& context);
CAFunctionResult DegreesFunction(CAEvaluationContext& context);
CAFunctionResult RadiansFunction(CAEvaluationContext& context);
CAFunctionResult SinFunction(CAEvaluationContext& context);
CAFunctionResult SinhFunction(CAEvaluationContext& context);
CAFunctionResult TanFunction(CAEvaluationContext& context);
CAFunctionResult TanhFunction(CAEvaluationContext& context);

// Date
CAFunctionResult DateFunction(CAEvaluationContext& context);
CAFunctionResult DayFunction(CAEvaluationContext& context);
CAFunctionResult DaysFunction(CAEvaluationContext& context);
CAFunctionResult EdateFunction(CAEvaluationContext& context);
CAFunctionResult EdayFunction(CAEvaluationContext& context);
CAFunctionResult EomonthFunction(CAEvaluationContext& context);
CAFunctionResult EyearFunction(CAEvaluationContext& context);
CAFunctionResult MonthFunction(CAEvaluationContext& context);
CAFunctionResult TodayFunction(CAEvaluationContext& context);
CAFunctionResult WeekdayFunction(CAEvaluationContext& context);
CAFunctionResult YearFunction(CAEvaluationContext& context);

// Finance
CAFunctionResult PmtFunction(CAEvaluationContext& context);

// Physics
CAFunctionResult CFunction(CAEvaluationContext& context);
CAFunctionResult EcFunction(CAEvaluationContext& context);
CAFunctionResult FineFunction(CAEvaluationContext& context);
CAFunctionResult GFunction(CAEvaluationContext& context);
CAFunctionResult HFunction(CAEvaluationContext& context);
CAFunctionResult HrFunction(CAEvaluationContext& context);
CAFunctionResult KFunction(CAEvaluationContext& context);
CAFunctionResult LFunction(CAEvaluationContext& context);
CAFunctionResult VpFunction(CAEvaluationContext& context);
