#include "calculator/fileformats/caImportAlert.h"

#include "framlet/foundation/flBase.h"
#include "platform/UserDefaults.h"

namespace {

CAImportAlert* g_importAlert = nullptr;

}  // namespace

void SetImportAlert(CAImportAlert* alert) { g_importAlert = alert; }

void ShowImportAlert(const char* suppressKey, const QString& message, const QString& information) {
  UserDefaults& shared = UserDefaults::sharedDefaults();
  const QString key = QLatin1String(suppressKey);
  if (shared.boolForKey(key)) return;
  if (!g_importAlert) {
    LogString("%@ %@", message, information);
    return;
  }
  if (g_importAlert->showSuppressibleAlert(message, information)) shared.setBool(true, key);
}
