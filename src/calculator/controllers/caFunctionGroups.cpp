#include "calculator/controllers/caFunctionGroups.h"

#include "calculator/model/formula/caFunctionTable.h"

namespace {

std::vector<CAFunctionGroup>& Groups() {
  static std::vector<CAFunctionGroup> groups;
  return groups;
}

}  // namespace

std::vector<CAFunctionGroup> MakeAlphabeticalFunctionGroups() {
  std::vector<CAFunctionGroup> groups;
  groups.push_back({QString::fromLatin1(g_functionClasses[0].name), 0, 0, FunctionClassTag(0)});
  for (int32_t row = 1; row <= kFunctionCount; ++row) {
    const QChar letter = QLatin1Char(g_functionInfo[row].name[0]);
    if (groups.size() > 1 && groups.back().name == QString(letter)) {
      ++groups.back().count;
    } else {
      groups.push_back({QString(letter), row, 1, FunctionClassTag(int(groups.size()))});
    }
  }
  return groups;
}

const std::vector<CAFunctionGroup>& AlphabeticalFunctionGroups() { return Groups(); }

void SetAlphabeticalFunctionGroups(std::vector<CAFunctionGroup> groups) { Groups() = std::move(groups); }
