// A plain scroll area for views that draw everything themselves; Qt neither bounces at the
// edges nor backs views with layers, so it adds nothing to QScrollArea but the name its users
// know it by.
#pragma once

#include <QScrollArea>

class FLNoLayerScrollView : public QScrollArea {
  Q_OBJECT

 public:
  using QScrollArea::QScrollArea;
};
