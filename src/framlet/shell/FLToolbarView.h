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
#include <vector>

class FLToolbarDelegate;
class FLToolbarSegments;
class QMenu;

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
  // Customisation comes through here; until it exists nothing happens.
  virtual void customizeToolbar() {}
  bool isCustomizing() const { return customizing_; }
  void addModeItemsToMenu(QMenu* menu);
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

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool event(QEvent* event) override;

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
};
