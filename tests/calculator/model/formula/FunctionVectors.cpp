#include "FunctionVectors.h"

#include <QFile>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "support/CReals.h"
#include "support/TestData.h"

namespace {

constexpr long double kSnapTolerance = 1.1e-15L;

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream stream(text);
  while (std::getline(stream, part, separator)) parts.push_back(part);
  return parts;
}

}  // namespace

CANumber ExactNumberFromText(const std::string& text) {
  const size_t slash = text.find('/');
  if (slash == std::string::npos) return CANumber(int64_t(std::stoll(text)));
  return CANumber::withNumerator(std::stoll(text.substr(0, slash)), std::stoull(text.substr(slash + 1)));
}

std::string DescribeNumber(const CANumber& n) {
  switch (n.form()) {
    case kNumberInteger:
      return std::string("i").append(std::to_string(n.numerator()));
    case kNumberFraction:
      return std::string("f").append(std::to_string(n.numerator())).append("/").append(std::to_string(n.denominator()));
    case kNumberReal:
      return std::string("r").append(CRealText(n.realValue(), 21));
    case kNumberNaN:
      return "nan";
    case kNumberInfinity:
      return "inf";
    default:
      return "placeholder";
  }
}

std::vector<FunctionVector> ReadFunctionVectors(const QString& relativePath,
                                                long double defaultTolerance) {
  std::vector<FunctionVector> vectors;
  QFile file(TestDataPath(relativePath));
  if (!file.open(QIODevice::ReadOnly)) {
    ADD_FAILURE() << "cannot read " << relativePath.toStdString();
    return vectors;
  }
  int lineNumber = 0;
  while (!file.atEnd()) {
    const std::string line = file.readLine().trimmed().toStdString();
    ++lineNumber;
    if (line.empty()) continue;
    const std::vector<std::string> columns = Split(line, '|');
    if (columns.size() < 3) {
      ADD_FAILURE() << "bad line " << lineNumber << ": " << line;
      continue;
    }
    FunctionVector vector;
    vector.name = columns[0];
    vector.argumentText = columns[1];
    if (columns[1] != "-") {
      for (const std::string& argument : Split(columns[1], ' '))
        vector.arguments.push_back(ExactNumberFromText(argument));
    }
    vector.expected = columns[2];
    vector.tolerance =
        columns.size() > 3 ? ReadCReal(columns[3]) : defaultTolerance;
    vector.line = lineNumber;
    vectors.push_back(std::move(vector));
  }
  return vectors;
}

testing::AssertionResult MatchesExpected(const FunctionResult& result, const std::string& expected,
                                         long double tolerance) {
  const std::string got = result.error ? std::string("!").append(std::to_string(result.error))
                                       : DescribeNumber(result.value);
  if (expected[0] == '!') {
    if (result.error == uint32_t(std::stoul(expected.substr(1)))) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "expected error " << expected << ", got " << got;
  }
  if (result.error) return testing::AssertionFailure() << "expected " << expected << ", got " << got;
  const CANumber& value = result.value;
  if (expected == "inf" || expected == "nan") {
    const int32_t form = expected == "inf" ? kNumberInfinity : kNumberNaN;
    if (value.form() == form) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "expected " << expected << ", got " << got;
  }
  if (expected[0] == '=') {
    const CANumber want = ExactNumberFromText(expected.substr(1));
    if ((value.form() == kNumberInteger || value.form() == kNumberFraction) &&
        value.form() == want.form() && value.numerator() == want.numerator() &&
        value.denominator() == want.denominator())
      return testing::AssertionSuccess();
    return testing::AssertionFailure() << "expected exactly " << DescribeNumber(want) << ", got " << got;
  }
  const long double want = ReadCReal(std::string_view(expected).substr(1));
  const long double difference = std::fabs(value.realValue() - want);
  long double allowed = tolerance * std::fabs(want);
  if (value.form() != kNumberReal) allowed = std::max(allowed, kSnapTolerance * std::max(1.0L, std::fabs(want)));
  if (value.isValid() && difference <= allowed) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "expected " << expected << ", got " << got << " (off by "
                                     << CRealText(difference, 3) << ", relative "
                                     << CRealText(want == 0 ? difference : difference / std::fabs(want), 3) << ")";
}

int RunFunctionVectors(const std::vector<FunctionVector>& vectors,
                       const std::map<std::string, VectorFunction>& functions) {
  int count = 0;
  for (const FunctionVector& vector : vectors) {
    const auto function = functions.find(vector.name);
    if (function == functions.end()) continue;
    ++count;
    EXPECT_TRUE(MatchesExpected(function->second(vector.arguments), vector.expected,
                                vector.tolerance))
        << "line " << vector.line << ": " << vector.name << "(" << vector.argumentText << ")";
  }
  return count;
}
