#include "calculator/controllers/CAApplication.h"

#include "calculator/controllers/CAFindDialog.h"
#include "calculator/controllers/CAWindowController.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/caCommandGuard.h"
#include "framlet/foundation/flBase.h"
#include "framlet/shell/FLAlert.h"
#include "framlet/shell/FLDocumentAppDelegate.h"
#include "framlet/shell/FLDocumentWC.h"
#include "platform/Application.h"
#include "platform/NotificationCenter.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QWidget>

namespace {

QPointer<QWidget> g_specialSelectionWindow;

// The document window holding the widget: through dialogs and sheets to the window they belong
// to, and from a tab's window to its container.
CAWindowController* ControllerOfWidget(const QWidget* widget) {
  for (const QWidget* w = widget; w; w = w->parentWidget())
    if (CAWindowController* controller = CAWindowController::controllerOfWindow(w)) return controller;
  return nullptr;
}

// The document whose window holds the object (a widget, or an object of one: an action, a
// shortcut).
CADocument* DocumentOfReceiver(QObject* receiver) {
  QObject* at = receiver;
  while (at && !at->isWidgetType()) at = at->parent();
  if (!at) return nullptr;
  if (CAWindowController* controller = ControllerOfWidget(static_cast<QWidget*>(at))) return controller->document();
  // The Find panel belongs to no window: it acts on the document it was opened for.
  if (auto* find = qobject_cast<CAFindDialog*>(static_cast<QWidget*>(at)->window())) return find->document();
  return nullptr;
}

// The document window's own keys. Qt looks a key up among every shortcut of the application
// between the key's override check and its press, outside any event's delivery: a failure in that
// lookup would reach no guard. A key that reaches a document window is therefore looked up here,
// in its override check (guarded as every key is): one that names a command of the window (an
// enabled item of its menu bar, a menu's mnemonic) is taken from Qt's lookup, and its press, which
// follows, runs the command; any other key goes on to the view as Qt would send it when no
// shortcut matches. A view that takes the key itself (a text field's own editing keys) still has
// it first.
struct TakenKey {
  const QWidget* window = nullptr;  // compared, never followed
  QPointer<QAction> item;           // the command's item, or the menu a mnemonic opens
  QKeyCombination key;
  bool taken = false;
  // Its override check failed for memory (and said so): the press goes nowhere.
  bool dropped = false;
};
TakenKey g_takenKey;

// The window a key to the widget is looked up in: a document window of its own (not a dialog, a
// sheet or a menu shown over it).
QWidget* KeyWindow(QObject* receiver) {
  if (!receiver->isWidgetType()) return nullptr;
  QWidget* window = static_cast<QWidget*>(receiver)->window();
  if (window->windowType() != Qt::Window || !ControllerOfWidget(window)) return nullptr;
  return window;
}

// The keys the event may name, as Qt tries them: as pressed, without the keypad's modifier, Tab
// for Backtab, and without Shift for a key that Shift made (Ctrl++ typed with Shift).
int KeysOfEvent(const QKeyEvent& event, QKeyCombination (&keys)[4]) {
  const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
  const auto key = Qt::Key(event.key());
  int count = 0;
  keys[count++] = QKeyCombination(modifiers, key);
  if (key == Qt::Key_Backtab) keys[count++] = QKeyCombination(modifiers, Qt::Key_Tab);
  const bool letter = key >= Qt::Key_A && key <= Qt::Key_Z;
  if ((modifiers & Qt::ShiftModifier) && !letter && key != Qt::Key_Backtab)
    keys[count++] = QKeyCombination(modifiers & ~Qt::ShiftModifier, key);
  return count;
}

bool ItemHasKey(const QAction& item, const QKeyCombination* keys, int count) {
  if (!item.isEnabled() || !item.isVisible() || item.menu()) return false;
  for (const QKeySequence& sequence : item.shortcuts()) {
    if (sequence.count() != 1) continue;
    for (int i = 0; i < count; ++i)
      if (sequence[0] == keys[i]) return true;
  }
  return false;
}

// The enabled item of the menu (and its submenus) the key names.
QAction* ItemOfKey(const QMenu& menu, const QKeyCombination* keys, int count) {
  for (QAction* item : menu.actions()) {
    if (QMenu* submenu = item->menu()) {
      if (item->isEnabled() && item->isVisible())
        if (QAction* found = ItemOfKey(*submenu, keys, count)) return found;
    } else if (ItemHasKey(*item, keys, count)) {
      return item;
    }
  }
  return nullptr;
}

// What the key names in the window: an item of its shown menu bar, or (with Alt) a menu whose
// title has the key as its mnemonic.
QAction* CommandOfKey(QWidget& window, const QKeyEvent& event) {
  QKeyCombination keys[4];
  const int count = KeysOfEvent(event, keys);
  for (QMenuBar* bar : window.findChildren<QMenuBar*>()) {
    if (!bar->isVisible() || !bar->isEnabled() || bar->window() != &window) continue;
    for (QAction* title : bar->actions()) {
      QMenu* menu = title->menu();
      if (!menu || !title->isEnabled() || !title->isVisible()) continue;
      if (QAction* item = ItemOfKey(*menu, keys, count)) return item;
      const QKeySequence mnemonic = QKeySequence::mnemonic(title->text());
      if (!mnemonic.isEmpty() && mnemonic[0] == keys[0]) return title;
    }
  }
  return nullptr;
}

// The override check of a key the window's views left to shortcuts: whether the window takes it
// from Qt's lookup, and what its press then runs.
void TakeKeyFromShortcutLookup(QWidget& window, QKeyEvent& event) {
  g_takenKey.taken = false;
  QAction* command = CommandOfKey(window, event);
  g_takenKey.window = &window;
  g_takenKey.item = command;
  g_takenKey.key = event.keyCombination();
  g_takenKey.dropped = false;
  g_takenKey.taken = true;
  // Qt's lookup is skipped; the press goes to the view, and to the command when it names one.
  event.accept();
}

// A key whose override check failed for memory: nothing of it goes on, neither to Qt's lookup
// nor to the view. Takes no memory.
void DropKey(QWidget& window, QKeyEvent& event) noexcept {
  g_takenKey.window = &window;
  g_takenKey.item = nullptr;
  g_takenKey.key = event.keyCombination();
  g_takenKey.dropped = true;
  g_takenKey.taken = true;
  event.accept();
}

// The press of a key taken from Qt's lookup that names a command: the command runs, the view
// sees nothing of it. True when it ran, or when the key was dropped.
bool RunTakenKey(QWidget& window, const QKeyEvent& event) {
  if (!g_takenKey.taken || g_takenKey.window != &window || g_takenKey.key != event.keyCombination()) return false;
  g_takenKey.taken = false;
  if (g_takenKey.dropped) return true;
  QAction* command = g_takenKey.item;
  if (!command) return false;
  if (QMenu* menu = command->menu()) {
    // A mnemonic opens its menu, as Qt does.
    if (auto* bar = qobject_cast<QMenuBar*>(menu->parentWidget())) bar->setActiveAction(command);
    return true;
  }
  // It may have been disabled by what ran since its override check (nothing, as a rule).
  if (command->isEnabled()) command->activate(QAction::Trigger);
  return true;
}

bool GuardWindowEvent(Application& application, QObject* receiver, QEvent* event) {
  // An alert that could not be shown for memory is shown at the first chance.
  GiveOwedMemoryAlert();
  CADocument* document = IsCommandEvent(*event) ? DocumentOfReceiver(receiver) : nullptr;
  if (!document) return application.deliver(receiver, event);
  // An event sent while a command runs (the shortcut check Qt makes of a key) is part of it.
  bool handled = true;
  RunGuardedEvent(
      *document,
      [&] {
        QWidget* window = KeyWindow(receiver);
        if (window && event->type() == QEvent::KeyPress &&
            RunTakenKey(*window, *static_cast<QKeyEvent*>(event))) {
          event->accept();
          return;
        }
        handled = application.deliver(receiver, event);
        if (window && event->type() == QEvent::ShortcutOverride && !event->isAccepted())
          TakeKeyFromShortcutLookup(*window, *static_cast<QKeyEvent*>(event));
      },
      [&] {
        // Refused and told: the key does nothing more (Qt's lookup would run its command still).
        if (event->type() != QEvent::ShortcutOverride) return;
        if (QWidget* window = receiver->isWidgetType() ? static_cast<QWidget*>(receiver)->window() : nullptr)
          DropKey(*window, *static_cast<QKeyEvent*>(event));
        else
          event->accept();
      });
  return handled;
}

void TellEventFailure(QObject* receiver, const std::exception& exception) {
  LogException(exception, CommandMemoryMessage());
  if (!dynamic_cast<const std::bad_alloc*>(&exception)) return;
  try {
    if (CADocument* document = DocumentOfReceiver(receiver)) {
      GiveCommandMemoryAlert(*document);
      return;
    }
  } catch (const std::exception& again) {
    LogException(again, CommandMemoryMessage());
  }
  GiveMemoryAlertWithoutDocument();
}

}  // namespace

void InstallWindowEventGuard() {
  Application::setEventGuard(&GuardWindowEvent);
  Application::setFailureHandler(&TellEventFailure);
}

CAApplication::CAApplication() { qApp->installEventFilter(this); }

CAApplication::~CAApplication() {
  if (qApp) qApp->removeEventFilter(this);
}

void CAApplication::setSpecialSelectionWindow(QWidget* window) { g_specialSelectionWindow = window; }

QWidget* CAApplication::specialSelectionWindow() { return g_specialSelectionWindow; }

bool CAApplication::eventFilter(QObject* watched, QEvent* event) {
  const bool press = event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick;
  if (!g_specialSelectionWindow || !press || !watched->isWidgetType()) {
    return QObject::eventFilter(watched, event);
  }
  auto* mouse = static_cast<QMouseEvent*>(event);
  auto* widget = static_cast<QWidget*>(watched);
  if (mouse->button() != Qt::LeftButton || widget->window() != g_specialSelectionWindow) {
    return QObject::eventFilter(watched, event);
  }
  // The document window holding the widget (a tab's window lies inside its container).
  const FLDocumentWC* controller = ControllerOfWidget(widget);
  const FLDocumentAppDelegate* delegate = FLDocumentAppDelegate::sharedDelegate();
  if (!controller && delegate) controller = delegate->controllerOfWindow(g_specialSelectionWindow);
  const QVariantMap click{{QLatin1String(kInactiveClickPositionKey), widget->mapTo(widget->window(), mouse->position())},
                          {QLatin1String(kInactiveClickModifiersKey), int(mouse->modifiers())}};
  NotificationQueue::defaultQueue().enqueue(
      Notification{QLatin1String(kInactiveClickNotification), controller ? controller->document() : nullptr,
                   {{QLatin1String(kInactiveClickEventKey), click}}},
      PostingStyle::WhenIdle, NotificationNoCoalescing);
  return true;
}
