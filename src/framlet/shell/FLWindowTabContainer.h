// The window that holds tabbed document windows: a strip of tabs (with a button that opens a new
// document in a tab) over a stack of the document windows, one shown at a time. Document windows
// keep being the windows their controllers know; while tabbed they live inside a container, which
// stands in their place on screen, and the window-order helpers list them in its stead. A
// container with one window left gives the window back its place as a window of its own.
#pragma once

#include <QList>
#include <QPointer>
#include <QRect>
#include <QWidget>

class QStackedWidget;
class QTabBar;
class QToolButton;

class FLWindowTabContainer : public QWidget {
  Q_OBJECT

 public:
  ~FLWindowTabContainer() override;

  // The container a window is a tab of; null for a window on its own.
  static FLWindowTabContainer* containerOf(const QWidget* window);
  // Puts `window` in a tab just after (or before) `existing`'s tab and selects it; a window on
  // its own becomes the first tab of a new container in its place.
  static void tabWindow(QWidget* existing, QWidget* window, bool after);
  // The window has closed: its tab goes at once.
  static void windowClosed(QWidget* window);
  // A document window's frame on screen without the tab strip: its own geometry, or, for a
  // tab, the container's with the strip's height taken off.
  static QRect contentFrame(const QWidget* window);
  // Gives a window a frame (with the strip's height when it is tabbed): a tab's frame is its
  // container's.
  static void setWindowFrame(QWidget* window, const QRect& frame);

  // The windows in tab order, and the one shown.
  QList<QWidget*> windows() const { return windows_; }
  QWidget* selectedWindow() const;
  void selectWindow(QWidget* window);
  QTabBar* tabBar() const { return tabBar_; }
  QToolButton* newTabButton() const { return newTabButton_; }

 protected:
  // Closing the container closes its windows one by one; one that declines (it asks about its
  // unsaved changes) keeps the container open.
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  explicit FLWindowTabContainer(const QRect& frame);
  void insertWindow(QWidget* window, int index);
  void removeWindow(QWidget* window);
  // Closes a window as its tab's close button does; false when it declines.
  bool closeWindow(QWidget* window);
  void forgetWindow(const QObject* window);
  // One window left: it stands alone again; none: the container goes.
  void dissolveLater();
  void dissolve();
  void selectedTabChanged(int index);
  // The keys go to the view of the window that had them (the one the window was made with, or
  // the one it had when another tab was chosen); a container not in front gives them to it as
  // it comes front.
  void giveKeysTo(QWidget* window);
  void updateTab(QWidget* window);
  void newTab();

  QWidget* strip_ = nullptr;
  QTabBar* tabBar_ = nullptr;
  QToolButton* newTabButton_ = nullptr;
  QStackedWidget* stack_ = nullptr;
  QList<QWidget*> windows_;
  QList<Qt::WindowFlags> flags_;
  QList<QPointer<QWidget>> keyViews_;  // per window: the view that had the keys
  bool closingAll_ = false;
  bool dissolveQueued_ = false;
};
