// The application object's part in picking cells for a dialog: while a dialog (the sort
// dialog) picks cells in a document window, a click in that window is not delivered; it becomes
// a "numlet.inactiveClick" notification, posted once the click has been handled.
#pragma once

#include "calculator/views/caViewNotifications.h"

#include <QObject>
#include <QPointer>

class QWidget;

class CAApplication : public QObject {
  Q_OBJECT

 public:
  // Watches the application's events from now on.
  CAApplication();
  ~CAApplication() override;

  // The window whose clicks are picked (g_specialSelectionWindow); null ends picking.
  static void setSpecialSelectionWindow(QWidget* window);
  static QWidget* specialSelectionWindow();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

// Every key, click and drop that reaches a document window (its grid, bar, panes, dialogs and
// sheets) runs as one command on its document through the command guard, and a failure that
// leaves any other event is told instead of ending the program. Takes effect when the running
// application is the platform's Application; installing again changes nothing.
void InstallWindowEventGuard();
