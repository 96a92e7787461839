#include "calculator/controllers/caCalculatorPreferences.h"


namespace {

struct PreferenceStore {
  CACalculatorPreferenceHooks hooks;
  CACalculatorPreferences local;
};

PreferenceStore& Store() {
  static PreferenceStore store;
  return store;
}

}  // namespace

void SetCalculatorPreferenceHooks(CACalculatorPreferenceHooks hooks) { Store().hooks = std::move(hooks); }

CACalculatorPreferences CalculatorPreferences() {
  const PreferenceStore& store = Store();
  return store.hooks.read ? store.hooks.read() : store.local;
}

void SetCalculatorPreferences(const CACalculatorPreferences& preferences) {
  PreferenceStore& store = Store();
  if (store.hooks.write) {
    store.hooks.write(preferences);
  } else {
    store.local = preferences;
  }
}

int CalculatorWordSize() {
  const int64_t size = CalculatorPreferences().wordSize;
  for (const int offered : kCalculatorWordSizes) {
    if (size == offered) return offered;
  }
  return 64;
}
