// The palette shown while a toolbar is customised: a panel over the window's content below the
// toolbar with every tool the toolbar offers, a box with the default set, a "Show" pop-up of the
// display modes and a Done button. Tools and the default set are dragged from it into the bar;
// Done, Return, Enter, Escape or closing the window end the customising.
#pragma once

#include "framlet/shell/FLToolbarTool.h"
#include "framlet/shell/FLView.h"
#include "framlet/shell/flToolbarCustomizing.h"

#include <QPointer>

#include <vector>

class FLToolbarView;
class QComboBox;
class QPushButton;

class FLToolbarEditView : public FLView {
  Q_OBJECT

 public:
  // Builds the palette over the toolbar's content view, below the toolbar, and shows it.
  explicit FLToolbarEditView(FLToolbarView* toolbar);
  ~FLToolbarEditView() override;

  // Whether the window (or the window of a view) is being customised: a palette lies directly
  // on its content.
  static bool isCustomizingOver(const QWidget* windowOrView);

  FLToolbarView* toolbar() const { return toolbar_; }
  QPushButton* doneButton() const { return doneButton_; }
  QComboBox* modePopup() const { return modePopup_; }
  int displayMode() const { return displayMode_; }
  int originalDisplayMode() const { return originalDisplayMode_; }
  const std::vector<FLToolbarTool>& tools() const { return tools_; }
  const std::vector<FLToolbarTool>& defaultTools() const { return defaultTools_; }
  // The geometry of the last layout, laid out anew when the size changed.
  const FLPaletteLayout& layoutPanel();
  // Where a palette tool or the default box lies in this view.
  QRectF toolRectInView(size_t index);
  QRectF defaultBoxInView();

  // Ends customising with the chosen mode.
  void done();
  void setMode(int mode);
  // Takes the palette off the window and lets go of its tools; it is deleted later.
  void dismiss();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void fitToContent();
  void placeControls();
  void releaseTools();
  void startDrag(const QString& string, const QImage& picture, const QRectF& frame, QPointF point);
  QImage pictureOfDefaultSet();
  void drawTool(QPainter& painter, const FLToolbarTool& tool, const QRectF& rect, QPointF origin, int row,
                double topSpacing, double rowHeight);

  QPointer<FLToolbarView> toolbar_;
  QPushButton* doneButton_ = nullptr;
  QComboBox* modePopup_ = nullptr;
  FLPaletteLayout layout_;
  std::vector<FLToolbarTool> tools_;
  std::vector<FLToolbarTool> defaultTools_;
  double defaultRowHeight_ = 0;
  int displayMode_ = 1;
  int originalDisplayMode_ = 1;
  bool dismissed_ = false;
};
