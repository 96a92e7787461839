#include "calculator/controllers/CAOpenPanel.h"

#include "calculator/fileformats/caPackageReader.h"

#include <QDir>
#include <QFileIconProvider>
#include <algorithm>
#include <QFileInfo>

namespace {

constexpr const char* kRtfdExtension = "rtfd";

// Packages look and read as the documents they are.
class CAPackageIconProvider : public QFileIconProvider {
 public:
  QIcon icon(const QFileInfo& info) const override {
    return IsDocumentPackage(info.filePath()) ? QFileIconProvider::icon(QAbstractFileIconProvider::File)
                                              : QFileIconProvider::icon(info);
  }
  QString type(const QFileInfo& info) const override {
    if (!IsDocumentPackage(info.filePath())) return QFileIconProvider::type(info);
    return info.suffix().compare(QLatin1String(kRtfdExtension), Qt::CaseInsensitive) == 0
               ? QFileDialog::tr("RTFD document")
               : QFileDialog::tr("Tamsel Calculator document");
  }
};

}  // namespace

bool IsDocumentPackage(const QString& path) {
  const QFileInfo info(path);
  if (!info.isDir()) return false;
  const QString suffix = info.suffix();
  return suffix.compare(QLatin1String(kPackageExtension), Qt::CaseInsensitive) == 0 ||
         suffix.compare(QLatin1String(kRtfdExtension), Qt::CaseInsensitive) == 0;
}

CAOpenPanel::CAOpenPanel(QWidget* parent, const QString& message) : QFileDialog(parent, message) {
  // One for every panel, for the process's life: a dialog's model asks it until the very end.
  static QFileIconProvider* const icons = new CAPackageIconProvider;
  setObjectName(QStringLiteral("openPanel"));
  // The platform's own dialog cannot be told that a folder is a document.
  setOption(QFileDialog::DontUseNativeDialog);
  setFileMode(QFileDialog::ExistingFiles);
  setIconProvider(icons);
  connect(this, &QFileDialog::directoryEntered, this, &CAOpenPanel::directoryWasEntered);
}

void CAOpenPanel::accept() {
  const QStringList chosen = selectedFiles();
  const bool packages =
      std::any_of(chosen.begin(), chosen.end(), [](const QString& path) { return IsDocumentPackage(path); });
  if (!packages) {
    QFileDialog::accept();
    return;
  }
  // Everything chosen must be there; other folders are still walked into.
  for (const QString& path : chosen) {
    const QFileInfo info(path);
    if (!info.exists() || (info.isDir() && !IsDocumentPackage(path))) {
      QFileDialog::accept();
      return;
    }
  }
  emit filesSelected(chosen);
  QDialog::accept();
}

void CAOpenPanel::directoryWasEntered(const QString& path) {
  if (!IsDocumentPackage(path) || !isVisible()) return;
  setDirectory(QFileInfo(path).absolutePath());
  emit filesSelected({QDir::cleanPath(path)});
  QDialog::accept();
}
