// Keeps every window the application shows within its screen: a window placed by the desktop's
// default, by a frame stored on a larger screen or by a size the user once chose is moved in when
// it shows, decorations included, so its title bar can always be reached.
#pragma once

#include <QObject>

class FLWindowPlacer : public QObject {
 public:
  // Watches the whole application for as long as the placer lives.
  FLWindowPlacer();
  ~FLWindowPlacer() override;

  bool eventFilter(QObject* watched, QEvent* event) override;
};
