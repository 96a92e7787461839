// The application's identity, read from the Qt application object on every call.
#include "platform/BundleInfo.h"

#include <QCoreApplication>
#include <QGuiApplication>

QString BundleIdentifier() {
  QString identifier = QGuiApplication::desktopFileName();
  if (identifier.endsWith(QLatin1String(".desktop"))) identifier.chop(8);
  if (identifier.isEmpty()) identifier = QCoreApplication::applicationName();
  // It names files; a separator would put them outside their folder.
  identifier.replace(QLatin1Char('/'), QLatin1Char('_'));
  return identifier;
}

QString BundleName() { return QCoreApplication::applicationName(); }

QString BundleShortVersion() { return QCoreApplication::applicationVersion(); }
