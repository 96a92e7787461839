#include "framlet/shell/FLView.h"

QPointF ConvertPointToScreen(const QWidget* view, const QPointF& point) {
  if (!view) return QPointF();
  return view->mapToGlobal(point);
}
