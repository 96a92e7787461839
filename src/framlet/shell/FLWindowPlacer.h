// Keeps every window the application shows within its screen: a window placed by the desktop's
// default, by a frame stored on a larger screen or by a size the user once chose is moved in when
// it shows, decorations included, so its title bar can always be reached. A new window of the
// standard size that would show exactly where another one is moves down and to the right by a
// title bar, so that neither hides the other. A window that grows once it is up is moved in
// again. A sheet (a window-modal dialog) lies over its
// window, and follows it when the window manager places the window after the sheet showed.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QWidget;

class FLWindowPlacer : public QObject {
 public:
  // Watches the whole application for as long as the placer lives.
  FLWindowPlacer();
  ~FLWindowPlacer() override;

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // A sheet over its window; any other window on its screen.
  static void Place(QWidget* window, bool cascade);
  static void PlaceSheetsOf(QWidget* window);
  // A window manager tells the decorations' sizes only once it has framed the window, after it
  // was shown; the window is placed again by its whole frame as soon as they are known.
  void frameMayHaveArrived(QObject* watched);

  QList<QPointer<QWidget>> awaitingFrame_;
};
