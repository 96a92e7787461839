// The function browser's groups: the classes of the function table, tagged -1 to -8 so that the
// browser tells a class from a function, and an index by first letter, made at launch.
#pragma once

#include <QString>

#include <cstdint>
#include <vector>

struct CAFunctionGroup {
  QString name;
  int32_t first;  // the first function's row (for a letter), or 0
  int32_t count;
  int32_t tag;    // negative
};

// The tag of the class at this index of the function table's classes: -1, -2, ...
constexpr int32_t FunctionClassTag(int index) { return -(index + 1); }

// "Recent Functions" first (no rows, tag -1), then one entry per first letter of the functions
// in table order, tagged -2, -3, ...
std::vector<CAFunctionGroup> MakeAlphabeticalFunctionGroups();
// Made by the launch; empty before.
const std::vector<CAFunctionGroup>& AlphabeticalFunctionGroups();
void SetAlphabeticalFunctionGroups(std::vector<CAFunctionGroup> groups);
