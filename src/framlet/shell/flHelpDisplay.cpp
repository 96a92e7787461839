#include "framlet/shell/flHelpDisplay.h"

#include <utility>

namespace {

FLHelpDisplayer& Displayer() {
  static FLHelpDisplayer displayer;
  return displayer;
}

}  // namespace

void SetHelpDisplayer(FLHelpDisplayer displayer) { Displayer() = std::move(displayer); }

bool DisplayHelp(int64_t topic, int64_t bookmark) {
  // A copy: the opener may replace itself while it runs.
  const FLHelpDisplayer displayer = Displayer();
  if (!displayer) return false;
  displayer(topic, bookmark);
  return true;
}
