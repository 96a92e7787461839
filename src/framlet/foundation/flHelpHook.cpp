#include "framlet/foundation/flHelpHook.h"

namespace {

FLHelpHook& Hook() {
  static FLHelpHook hook;
  return hook;
}

}  // namespace

void SetHelpHook(FLHelpHook hook) { Hook() = std::move(hook); }

bool ShowHelp(int64_t topic, int64_t bookmark) {
  if (!Hook()) return false;
  Hook()(topic, bookmark);
  return true;
}
