#include "calculator/model/caModelServices.h"

#include "framlet/foundation/flCollectionExtensions.h"
#include "platform/Clocks.h"

#include <QApplication>
#include <QDateTime>
#include <QDesktopServices>

namespace {

CAModelPreferencesProvider& PreferencesProvider() {
  static CAModelPreferencesProvider provider;
  return provider;
}

CAModelHooks& Services() {
  static CAModelHooks services;
  return services;
}

}  // namespace

void SetModelPreferencesProvider(CAModelPreferencesProvider provider) {
  PreferencesProvider() = std::move(provider);
}

CAModelPreferences ModelPreferences() {
  const CAModelPreferencesProvider& provider = PreferencesProvider();
  return provider ? provider() : CAModelPreferences();
}

void SetModelHooks(CAModelHooks hooks) { Services() = std::move(hooks); }

bool WorkspaceOpenUrl(const QUrl& url) {
  if (Services().openUrl) return Services().openUrl(url);
  return QDesktopServices::openUrl(url);
}

bool WorkspaceRevealFile(const QString& path) {
  if (Services().revealFile) return Services().revealFile(path);
  return showInFinder(path);
}

void WorkspaceBeep() {
  if (Services().beep) {
    Services().beep();
    return;
  }
  QApplication::beep();
}

void SetColorPanelKolor(Kolor kolor) {
  if (Services().setColorPanelKolor) Services().setColorPanelKolor(kolor);
}

double ModelNow() {
  if (Services().now) return Services().now();
  return SteadyClockSeconds();
}

bool ApplicationOpenDocument(const QString& path) {
  return Services().openDocument && Services().openDocument(path);
}

bool ApplicationHasWindowForFile(const QString& path) {
  return Services().windowForFile && Services().windowForFile(path);
}
