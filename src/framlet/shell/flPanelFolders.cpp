#include "framlet/shell/flPanelFolders.h"

#include "framlet/shell/FLDocument.h"
#include "framlet/shell/FLDocumentAppDelegate.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString PanelStartFolder() {
  if (const FLDocumentAppDelegate* delegate = FLDocumentAppDelegate::sharedDelegate()) {
    if (const FLDocumentWC* front = delegate->frontmostController()) {
      const QString path = front->document() ? front->document()->filePath() : QString();
      // The folder the document is in, never the inside of a document package.
      if (!path.isEmpty() && QFileInfo(path).absoluteDir().exists()) return QFileInfo(path).absolutePath();
    }
  }
  const QString last = UserDefaults::standardUserDefaults().stringForKey(QLatin1String(kLastPanelFolderKey));
  if (!last.isEmpty() && QFileInfo(last).isDir()) return last;
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

void NotePanelFolder(const QString& folder) {
  if (folder.isEmpty()) return;
  UserDefaults::standardUserDefaults().setObject(QDir::cleanPath(folder), QLatin1String(kLastPanelFolderKey));
}
