// The chapters of the help file that the calculators, dialogs and the function browser open,
// and the small helpers that open them through the help hook.
#pragma once

#include "framlet/foundation/flHelpHook.h"

#include <cstdint>
#include <optional>

class QDialogButtonBox;
class QPushButton;

inline constexpr int64_t kStandardCalculatorHelpTopic = 31;
inline constexpr int64_t kProgrammerCalculatorHelpTopic = 32;
inline constexpr int64_t kConverterHelpTopic = 33;
inline constexpr int64_t kAutosaveHelpTopic = 37;
inline constexpr int64_t kFillHelpTopic = 38;
inline constexpr int64_t kFindHelpTopic = 39;
inline constexpr int64_t kLinkHelpTopic = 40;
inline constexpr int64_t kSortHelpTopic = 41;
// A function class's chapter is this plus the class number (1 "Date" to 7 "Trigonometry").
inline constexpr int64_t kFunctionClassHelpTopicBase = 8;

// Opens the help at the topic and bookmark; a beep when the application has no help.
void GiveHelp(int64_t topic, int64_t bookmark = kFLHelpNotGiven);
// Adds a Help button to the box that opens the topic.
QPushButton* AddHelpButton(QDialogButtonBox* buttons, int64_t topic);
// Where the help describes a function (a row of the function table): the chapter of the first
// class that lists it and the bookmark of its place in that class; none for a function in no class.
struct CAFunctionHelpPlace {
  int64_t topic;
  int64_t bookmark;
};
std::optional<CAFunctionHelpPlace> FunctionHelpPlace(int32_t functionRow);
// Opens the description of a function (a row of the function table): the chapter of the first
// class that lists it, at the bookmark of its place in that class. False, with a beep, when no
// class lists it.
bool GiveFunctionHelp(int32_t functionRow);
