// Opening the application's help from any layer. The shell installs its help window here at
// launch; calculators, dialogs and panes ask for a topic without knowing the window.
#pragma once

#include <cstdint>
#include <functional>

// A topic or bookmark that is not given.
inline constexpr int64_t kFLHelpNotGiven = 0x7FFFFFFFFFFFFFFF;

using FLHelpHook = std::function<void(int64_t topic, int64_t bookmark)>;
void SetHelpHook(FLHelpHook hook);
// Opens the help at the topic (a chapter of the help file; kFLHelpNotGiven: where the reader
// left it) and at the bookmark within it. False when no help is installed.
bool ShowHelp(int64_t topic, int64_t bookmark = kFLHelpNotGiven);
