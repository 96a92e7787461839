#include "platform/UserFolders.h"

#include <QDir>
#include <QStandardPaths>

namespace {

// XDG variables are read on every call so tests can point them at a scratch folder.
QString XdgFolder(const char* variable, const char* fallbackUnderHome) {
  QString value = qEnvironmentVariable(variable);
  if (value.isEmpty() || !QDir::isAbsolutePath(value))
    value = QDir::homePath() + QLatin1Char('/') + QLatin1String(fallbackUnderHome);
  return QDir::cleanPath(value);
}

}  // namespace

QString ApplicationSupportFolder() { return XdgFolder("XDG_DATA_HOME", ".local/share"); }

QString OrvandelSupportFolder() { return XdgFolder("XDG_DATA_HOME", ".local/share") + QStringLiteral("/Orvandel"); }

QString CalculatorSupportFolder() { return OrvandelSupportFolder() + QStringLiteral("/Calculator"); }

QString LogFolder() { return XdgFolder("XDG_STATE_HOME", ".local/state") + QStringLiteral("/Orvandel"); }

QString PreferencesFolder() { return XdgFolder("XDG_CONFIG_HOME", ".config") + QStringLiteral("/Orvandel"); }

QString DownloadsFolder() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
  return folder.isEmpty() ? QDir::homePath() : folder;
}
