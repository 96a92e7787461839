// Opening the application's help window at a chapter and a bookmark in it. The help window
// installs the opener when the application starts; the rest of the program asks through here
// and so needs nothing of the window itself.
#pragma once

#include <cstdint>
#include <functional>

// Chapter (topic) and bookmark indexes; FLNotFound for none.
using FLHelpDisplayer = std::function<void(int64_t topic, int64_t bookmark)>;

// Replaces the opener; an empty one removes it.
void SetHelpDisplayer(FLHelpDisplayer displayer);
// Shows the help at the place; false (and nothing shown) while no opener is installed.
bool DisplayHelp(int64_t topic, int64_t bookmark);
