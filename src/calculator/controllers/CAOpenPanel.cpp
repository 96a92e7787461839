#include "calculator/controllers/CAOpenPanel.h"

#include <QFileInfo>
#include <algorithm>

CAOpenPanel::CAOpenPanel(QWidget* parent, const QString& message) : QFileDialog(parent, message) {
  setObjectName(QStringLiteral("openPanel"));
  setFileMode(QFileDialog::ExistingFiles);
  // A package entered (a double-click, or Open on it alone) is opened instead.
  TreatPackagesAsDocuments(this, [this](const QString& package) {
    emit filesSelected({package});
    QDialog::accept();
  });
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
