// A view that fills itself with a background colour, the formatting panels' own colour when it
// has none, and holds other views.
#pragma once

#include "framlet/shell/FLView.h"

#include <QColor>

class FLContainerView : public FLView {
  Q_OBJECT

 public:
  explicit FLContainerView(QWidget* parent = nullptr);

  QColor backgroundColor() const { return backgroundColor_; }
  // An invalid or fully transparent colour stands for the panels' background.
  void setBackgroundColor(const QColor& color);
  // The colour the view is filled with now.
  QColor fillColor() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor backgroundColor_;
};
