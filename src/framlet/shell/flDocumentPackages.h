// Document packages: folders ("name.Numlet/", "name.rtfd/") that are documents. A plain file
// dialog would only walk into them; the Open and Save panels show them with a document's icon and
// kind, and choose one where the dialog would enter it. The application names its package kinds
// at launch.
#pragma once

#include <QList>
#include <QString>

#include <functional>

class QFileDialog;

struct FLDocumentPackageKind {
  QString extension;  // without the dot, matched in any case
  QString typeName;   // the kind a panel shows for it
  QString mimeType;   // what the desktop knows it as (a folder would pass for "inode/directory")
};

void SetDocumentPackageKinds(QList<FLDocumentPackageKind> kinds);

// Whether the path names a folder that is a document package (by its extension, in any case).
bool IsDocumentPackage(const QString& path);
// The MIME type of the package the path names; empty for anything else.
QString DocumentPackageMimeType(const QString& path);

// The panel shows packages as documents; a package it would enter (a double-click, Return in the
// list) is handed to `choose` instead, with the panel back in the package's folder.
void TreatPackagesAsDocuments(QFileDialog* panel, std::function<void(const QString& package)> choose);
