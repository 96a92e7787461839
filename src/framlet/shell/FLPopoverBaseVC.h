// The base of the program's popover controllers. Every controller counts itself from creation
// to the close of its popover, so one call (closePopovers) can close every open popover before
// a key or a menu is handled; the event that closed the last popover is kept for the rest of
// that event-loop turn, so a click that closed a popover is not also acted on.
#pragma once

#include <QEvent>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QRect>

#include <optional>

class FLPopoverDependent;
class QWidget;

// Posted with no object to make every registered controller close its popover.
inline constexpr const char* kClosePopoversNotification = "fl.86popovers";

// What is kept of the event that closed a popover.
struct FLPopoverCloseEvent {
  QEvent::Type type = QEvent::None;
  QPointF globalPosition;  // a mouse press's place on the screen
  int key = 0;             // a key press's key
  quint64 timestamp = 0;
};

class FLPopoverBaseVC : public QObject {
  Q_OBJECT

 public:
  explicit FLPopoverBaseVC(QObject* parent = nullptr);
  ~FLPopoverBaseVC() override;

  // The popup window showing the content, while it shows.
  QWidget* popover() const { return popover_; }
  FLPopoverDependent* dependent() const { return dependent_; }
  void setDependent(FLPopoverDependent* dependent) { dependent_ = dependent; }

  // Shows the content (which the popover takes over) in a popup below the rectangle of the
  // anchor view. Once it closes, the popover and this controller are deleted on the next turn
  // of the event loop: hold the controller in a QPointer.
  void showPopover(QWidget* content, QWidget* anchorView, const QRect& anchorRect);
  void closePopover();
  void forgetLastCloseEvent();

  // Closes every open popover; posts nothing when no controller is registered.
  static void closePopovers();
  static bool arePopoversRegistered();
  static int registeredCount();
  static std::optional<FLPopoverCloseEvent> lastCloseEvent();

 protected:
  // Runs as the popover closes, with the event that closed it (none when closed by the program).
  virtual void popoverWillClose(const std::optional<FLPopoverCloseEvent>& closingEvent);

 private:
  void unregister();

  QPointer<QWidget> popover_;
  FLPopoverDependent* dependent_ = nullptr;
  bool registered_ = false;
};
