#include "framlet/shell/FLRecentDocumentsMenu.h"

#include "framlet/shell/FLDocumentAppDelegate.h"

#include <QApplication>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

FLRecentDocumentsMenu::FLRecentDocumentsMenu(FLDocumentAppDelegate* delegate, QWidget* parent)
    : QMenu(QApplication::translate("FLRecentDocumentsMenu", kOpenRecentMenuTitle), parent), delegate_(delegate) {
  setObjectName(QLatin1String(kOpenRecentMenuName));
  connect(this, &QMenu::aboutToShow, this, &FLRecentDocumentsMenu::rebuild);
  rebuild();
}

void FLRecentDocumentsMenu::rebuild() {
  clear();
  QStringList paths;
  if (delegate_) {
    for (const QUrl& url : delegate_->recentDocumentUrls()) {
      if (QFileInfo::exists(url.toLocalFile())) paths.append(url.toLocalFile());
    }
  }
  for (const QString& path : paths) {
    QAction* action = addAction(QFileInfo(path).fileName());
    action->setToolTip(path);
    action->setData(path);
    // Opened on the next turn, after the menu has closed.
    const QPointer<FLDocumentAppDelegate> delegate = delegate_;
    connect(action, &QAction::triggered, this, [delegate, path] {
      QTimer::singleShot(0, delegate, [delegate, path] {
        if (delegate) delegate->applicationOpenFile(path);
      });
    });
  }
  if (!paths.isEmpty()) addSeparator();
  QAction* clearAction = addAction(QApplication::translate("FLRecentDocumentsMenu", kClearRecentMenuTitle));
  clearAction->setEnabled(!paths.isEmpty());
  connect(clearAction, &QAction::triggered, this, [this] {
    if (delegate_) delegate_->clearRecentDocuments();
    rebuild();
  });
}
