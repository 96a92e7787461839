#include "calculator/model/caDocumentServices.h"

#include "platform/UserFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

CAFileFormatServices& Services() {
  static CAFileFormatServices services;
  return services;
}

}  // namespace

void SetFileFormatServices(CAFileFormatServices services) { Services() = std::move(services); }

const CAFileFormatServices& FileFormatServices() { return Services(); }

QString AutosaveFolder() {
  const QString folder = CalculatorSupportFolder();
  if (folder.isEmpty() || !QDir().mkpath(folder)) return QString();
  return folder;
}

bool RemovePackage(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists() && !info.isSymLink()) return true;
  if (info.isDir() && !info.isSymLink()) return QDir(path).removeRecursively();
  return QFile::remove(path);
}
