// Runs an edit command so that running out of memory part-way never leaves the program: the
// document goes back to how it was before the command and the user is told.
#pragma once

#include <functional>

class CADocument;

inline constexpr const char* kCommandMemoryMessage = "There isn't enough memory to finish this command.";
inline constexpr const char* kCommandMemoryInformation = "The document is as it was before the command.";

// Runs the command; when an allocation fails inside it, the undo step the command recorded (if
// any; with stepRecorded, the one recorded just before the call) is undone and dropped, the
// window alerts, and NO is returned.
bool RunGuardedCommand(CADocument& document, const std::function<void()>& command, bool stepRecorded = false);
