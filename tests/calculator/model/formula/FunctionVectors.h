// Reads the independent vectors of tests/data/functions (made by tools/make_function_vectors.py)
// and checks a function's outcome against one expected text: "=p/q" exact, "~decimal" real
// within a tolerance, "inf", "nan" or "!code".
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "calculator/model/formula/caFunctionCores.h"

struct FunctionVector {
  std::string name;
  std::string argumentText;
  std::vector<CANumber> arguments;
  std::string expected;
  long double tolerance = 0;  // relative, for "~" results
  int line = 0;
};

// An exact number written "n" or "p/q".
CANumber ExactNumberFromText(const std::string& text);

// Every line of the file; a fourth column is read as the tolerance, else defaultTolerance.
std::vector<FunctionVector> ReadFunctionVectors(const QString& relativePath, long double defaultTolerance);

// A result that is not a real may have been snapped to a short fraction by the canonical form,
// which accepts 1e-15 of difference.
testing::AssertionResult MatchesExpected(const FunctionResult& result, const std::string& expected,
                                         long double tolerance);

// A human-readable picture of a number: "i5", "f1/4", "r1.5", "nan", "inf".
std::string DescribeNumber(const CANumber& number);

using Args = std::span<const CANumber>;
using VectorFunction = std::function<FunctionResult(Args)>;

inline std::optional<CANumber> Optional(Args a, size_t i) { return a.size() > i ? std::optional(a[i]) : std::nullopt; }
inline CANumber Fraction(int64_t n, uint64_t d) { return CANumber::withNumerator(n, d); }

// Runs every vector whose function the table knows; returns how many ran.
int RunFunctionVectors(const std::vector<FunctionVector>& vectors,
                       const std::map<std::string, VectorFunction>& functions);
