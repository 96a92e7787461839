// File > Open Recent: the documents the application delegate recorded, most recent first, each
// opening its document again, and "Clear Menu". Rebuilt each time it is about to show.
#pragma once

#include <QMenu>
#include <QPointer>

class FLDocumentAppDelegate;

inline constexpr const char* kOpenRecentMenuTitle = "Open Recent";
inline constexpr const char* kOpenRecentMenuName = "openRecentMenu";
inline constexpr const char* kClearRecentMenuTitle = "Clear Menu";

class FLRecentDocumentsMenu : public QMenu {
  Q_OBJECT

 public:
  FLRecentDocumentsMenu(FLDocumentAppDelegate* delegate, QWidget* parent);

  // Lists the recorded documents (those still on disk) and "Clear Menu".
  void rebuild();

 private:
  QPointer<FLDocumentAppDelegate> delegate_;
};
