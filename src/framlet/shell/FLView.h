// The base of the program's own views, and converting a point of a view to the screen.
#pragma once

#include <QPointF>
#include <QWidget>

class FLView : public QWidget {
  Q_OBJECT

 public:
  explicit FLView(QWidget* parent = nullptr) : QWidget(parent) {}
  // Children never draw outside their view (Qt always clips them).
  static bool clipsToBounds() { return true; }
};

// The point of the view in screen coordinates; (0, 0) without a view.
QPointF ConvertPointToScreen(const QWidget* view, const QPointF& point);
