// The application's identity, read from the Qt application object on every call.
#include "platform/BundleInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>

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

namespace {

QString& BuildVersion() {
  static QString build;
  return build;
}

}  // namespace

QString BundleBuildVersion() { return BuildVersion().isEmpty() ? BundleShortVersion() : BuildVersion(); }

void SetBundleBuildVersion(const QString& build) { BuildVersion() = build; }

namespace {

constexpr const char* kResourceSubfolder = "tamsel-calculator";

QStringList& ResourceFolders() {
  static QStringList folders;
  return folders;
}

}  // namespace

void SetBundleResourceFolders(const QStringList& folders) { ResourceFolders() = folders; }

QString BundleResourcePath(const QString& name, const QString& type) {
  const QString file = type.isEmpty() ? name : name + QLatin1Char('.') + type;
  if (file.contains(QLatin1Char('/'))) return QString();
  QStringList folders = ResourceFolders();
  folders << QCoreApplication::applicationDirPath() + QStringLiteral("/../share/") + QLatin1String(kResourceSubfolder);
  for (const QString& folder : folders) {
    const QString path = QDir(folder).filePath(file);
    if (QFileInfo(path).isFile()) return QDir::cleanPath(path);
  }
  return QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                QLatin1String(kResourceSubfolder) + QLatin1Char('/') + file);
}
