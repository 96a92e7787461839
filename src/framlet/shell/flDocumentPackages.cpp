#include "framlet/shell/flDocumentPackages.h"

#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>

namespace {

QList<FLDocumentPackageKind>& Kinds() {
  static QList<FLDocumentPackageKind> kinds;
  return kinds;
}

const FLDocumentPackageKind* KindOf(const QFileInfo& info) {
  if (!info.isDir()) return nullptr;
  const QString suffix = info.suffix();
  if (suffix.isEmpty()) return nullptr;
  for (const FLDocumentPackageKind& kind : Kinds()) {
    if (suffix.compare(kind.extension, Qt::CaseInsensitive) == 0) return &kind;
  }
  return nullptr;
}

// Packages look and read as the documents they are.
class FLPackageIconProvider : public QFileIconProvider {
 public:
  QIcon icon(const QFileInfo& info) const override {
    return KindOf(info) ? QFileIconProvider::icon(QAbstractFileIconProvider::File) : QFileIconProvider::icon(info);
  }
  QString type(const QFileInfo& info) const override {
    const FLDocumentPackageKind* kind = KindOf(info);
    return kind ? kind->typeName : QFileIconProvider::type(info);
  }
};

}  // namespace

void SetDocumentPackageKinds(QList<FLDocumentPackageKind> kinds) { Kinds() = std::move(kinds); }

bool IsDocumentPackage(const QString& path) { return KindOf(QFileInfo(path)) != nullptr; }

QString DocumentPackageMimeType(const QString& path) {
  const FLDocumentPackageKind* kind = KindOf(QFileInfo(path));
  return kind ? kind->mimeType : QString();
}

void TreatPackagesAsDocuments(QFileDialog* panel, std::function<void(const QString& package)> choose) {
  // One for every panel, for the process's life: a dialog's model asks it until the very end.
  static QFileIconProvider* const icons = new FLPackageIconProvider;
  // The platform's own dialog cannot be told that a folder is a document.
  panel->setOption(QFileDialog::DontUseNativeDialog);
  panel->setIconProvider(icons);
  QObject::connect(panel, &QFileDialog::directoryEntered, panel, [panel, choose](const QString& path) {
    if (!IsDocumentPackage(path) || !panel->isVisible()) return;
    panel->setDirectory(QFileInfo(path).absolutePath());
    choose(QDir::cleanPath(path));
  });
}
