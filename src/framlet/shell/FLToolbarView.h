// The framework's own toolbar: a strip across the top of a window's content, above a container
// view it resizes. The owner supplies a constant table of tools; the toolbar shows the configured
// subset, in one of three display modes, and sends a clicked tool's action. The configuration is
// kept per toolbar GUID in the user defaults and followed live by every toolbar of that GUID.
#pragma once

#include "framlet/shell/FLToolbarLayout.h"
#include "framlet/shell/FLToolbarTool.h"
#include "framlet/shell/FLView.h"

#include <QPointer>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

class FLDragPasteboard;
class FLToolbarDelegate;
class FLToolbarEditView;
class FLToolbarSegments;
class QMenu;
class QPainter;
class QTimer;
struct Notification;

inline constexpr const char* kFLToolbarCustomizeNotification = "fltoolbar.customize";
inline constexpr const char* kFLToolbarRedrawNotification = "fltoolbar.redraw";
// The help window's toolbar, which offers no context menu.
inline constexpr const char* kFLHelpToolbarGuid = "7A091856-3B39-44AD-AA25-9A12DBAB49B3";

class FLToolbarView : public FLView {
  Q_OBJECT

 public:
  explicit FLToolbarView(QWidget* parent = nullptr);
  ~FLToolbarView() override;

  // Takes the delegate's tools and the stored configuration (the wake of the toolbar); the
  // container is the view below that the toolbar's height is taken from.
  void setUp(FLToolbarDelegate* delegate, QWidget* containerView);

  FLToolbarDelegate* delegate() const { return delegate_; }
  const std::vector<FLToolbarTool>& tools() const { return tools_; }
  int displayMode() const { return displayMode_; }
  bool isVisible() const { return isShown_; }
  bool canCustomize() const { return canCustomize_; }
  bool isPreferences() const { return isPreferences_; }
  QString prefKey() const { return prefKey_; }

  void setDisplayMode(int mode);
  void setVisible(bool visible) override;
  // The clicked icon tool's tag during its action, else -1.
  int64_t tag() const;
  int64_t selectedTag() const;
  void selectTag(int64_t tag);
  QWidget* viewForGuid(const QString& guid) const;
  QWidget* viewForAction(const QString& action) const;
  // The segmented control whose bar tag this is, or nullptr.
  FLToolbarSegments* segmentsWithTag(uint64_t barTag) const;
  bool isViewToolVisible(const QWidget* view) const;
  void setEnabled(bool enabled, const QString& action);
  void setEnabledForGuid(bool enabled, const QString& guid);
  void setEnabled(bool enabled, size_t index);
  void setAlternate(bool alternate, const QString& action);
  int64_t toolForGuid(const QString& guid) const;
  int64_t toolForAction(const QString& action) const;

  // The next drawing lays out again.
  void updateLayout();
  const FLToolbarLayout& layout() const { return layout_; }
  FLToolbarLayoutState layoutState() const;
  int64_t overflowIndex() const { return layout_.overflowIndex(); }

  // Menu actions.
  void changeDisplayMode(int mode);
  void toggleToolbar();
  void customizeToolbar();
  bool isCustomizing() const { return customizing_; }
  void addModeItemsToMenu(QMenu* menu);

  // ---- Customisation: the icons wiggle, tools are dragged within the bar, out of it and in
  // from the palette; Done stores the set and every toolbar of the GUID takes it over.
  // Ends customising with the palette's display mode.
  void customizationComplete(int displayMode);
  int originalDisplayMode() const { return originalDisplayMode_; }
  FLToolbarEditView* customizingView() const;
  bool toolsetChanged() const { return toolsetChanged_; }
  int64_t wiggleIndex() const { return wiggleIndex_; }
  int64_t dragFromIndex() const { return dragFromIndex_; }
  int64_t dragToIndex() const { return dragToIndex_; }
  const FLToolbarTool& draggingTool() const { return draggingTool_; }
  // A record for the palette or a drop: the bar's own for a tool it shows (not a space), else a
  // new one; a view tool comes with its picture.
  bool getCustomizingTool(FLToolbarTool& tool, const QString& guid);
  // The tools anew from a list of GUIDs, reusing the records the bar holds.
  void setToolsFromGuids(const QStringList& guids);
  // Lets go of a record's view unless a tool of the bar still shows it, and clears the record;
  // null: the dragged tool.
  void releaseTool(FLToolbarTool* tool);
  // The index a tool dragged to this point (toolbar coordinates) would take.
  int64_t positionForWindowPoint(QPointF point) const;
  int64_t indexOfDraggingTool() const;
  int64_t indexOfToolForGuid(const QString& guid) const { return toolForGuid(guid); }
  double widthOfTool(const FLToolbarTool& tool, bool forPalette) const { return layout_.widthOfTool(tool, forPalette); }
  // What a drop from the source with this string would do at the point: copy, move or nothing.
  Qt::DropAction draggingUpdated(QObject* source, const QString& string, QPointF point);
  void draggingExited(QObject* source);
  bool performDrop(QObject* source, const QString& string);
  void concludeDrop();
  // A drag that began at a tool of the bar has ended with this action.
  void dragSessionEnded(Qt::DropAction action);
  // The picture of a tool as the palette and a drag show it.
  static QImage pictureOfTool(const FLToolbarTool& tool);
  // The context menu, or nullptr where the toolbar offers none.
  QMenu* menuForEvent();

  // Height of the bar in its mode, or 0 when hidden.
  int barHeight() const;
  QSize sizeHint() const override;

  // An image by name, from the application's images; a missing one is drawn from the name so
  // that a tool is never lost for want of its picture.
  static QImage imageNamed(const QString& name, bool alternate = false);
  // Draws the pictures the application carries no image file for (a null image: none); set once
  // at launch. Without a picture a tool shows its name's first letter on a tile.
  using ImageDrawer = QImage (*)(const QString& name);
  static void setImageDrawer(ImageDrawer drawer);
  // The small system font of labels.
  static QFont labelFont();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool event(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  bool setupItem(FLToolbarTool& tool, const QString& guid);
  bool setupIconItem(FLToolbarTool& tool);
  bool setupViewItem(FLToolbarTool& tool);
  void updateDisplayMode(int mode, bool notify);
  void updateDisplayPrefs();
  void enforceHeight();
  void layoutIfNeeded();
  void placeViews();
  void sendAction(size_t index);
  void customized(const Notification& note);
  void wiggleTimerFired();
  bool createImageOfViewTool(FLToolbarTool& tool);
  void drawCustomizingItem(QPainter& painter, const FLToolbarTool& tool, const QRectF& rect);
  void beginToolDrag(size_t index, QPointF point);
  bool isDragSource(const QObject* source) const;
  bool viewInUse(const QWidget* view, const FLToolbarTool* except) const;

  FLToolbarDelegate* delegate_ = nullptr;
  QPointer<QWidget> containerView_;
  QString prefKey_;
  std::vector<FLToolbarTool> tools_;
  int displayMode_ = 1;
  double layoutWidth_ = 0;
  FLToolbarLayout layout_;
  int64_t clickIndex_ = kFLToolNotFound;
  int64_t prefSelection_ = kFLToolNotFound;
  bool highlightTool_ = false;
  bool isPreferences_ = false;
  bool canCustomize_ = true;
  bool customizing_ = false;
  bool isShown_ = true;
  bool firstLayoutDone_ = false;
  bool toolsetChanged_ = false;
  int originalDisplayMode_ = 1;
  QPointer<FLToolbarEditView> customizingView_;
  QTimer* wiggleTimer_ = nullptr;
  std::unique_ptr<FLDragPasteboard> dragPasteboard_;
  int64_t wiggleIndex_ = 0;
  int64_t dragFromIndex_ = kFLToolNotFound;
  int64_t dragToIndex_ = kFLToolNotFound;
  FLToolbarTool draggingTool_;
};
