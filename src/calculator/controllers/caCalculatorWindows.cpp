#include "calculator/controllers/caCalculatorWindows.h"

#include "calculator/controllers/CAAppController.h"

#include "calculator/controllers/CACalculatorConverter.h"
#include "calculator/controllers/CACalculatorProgram.h"
#include "calculator/controllers/CACalculatorStandard.h"

#include <QEvent>
#include <QPointer>
#include <QTimer>

namespace {

constexpr int kLaunchDelayMilliseconds = 500;
constexpr int kBits[] = {kStandardCalculatorMask, kProgrammerCalculatorMask, kConverterCalculatorMask};

QPointer<QWidget>& WindowSlot(int index) {
  static QPointer<QWidget> windows[std::size(kBits)];
  return windows[index];
}

int IndexOfBit(int mask) {
  for (int i = 0; i < int(std::size(kBits)); ++i) {
    if (kBits[i] == mask) return i;
  }
  return -1;
}

// Lets go of a calculator window as soon as it closes (it is deleted a moment later).
class CACalculatorCloseWatcher : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Close && event->isAccepted()) {
      for (int i = 0; i < int(std::size(kBits)); ++i) {
        if (WindowSlot(i) == watched) WindowSlot(i).clear();
      }
    }
    return false;
  }
};

CACalculatorCloseWatcher& CloseWatcher() {
  static CACalculatorCloseWatcher watcher;
  return watcher;
}

void BringForward(QWidget* window) {
  window->show();
  window->raise();
  window->activateWindow();
}

}  // namespace

QWidget* OpenCalculatorForMask(int mask, bool delay, UserDefaults& defaults) {
  const int index = IndexOfBit(mask);
  if (index < 0) return nullptr;
  QPointer<QWidget>& slot = WindowSlot(index);
  if (slot) {
    BringForward(slot);
    return slot;
  }
  QWidget* window = nullptr;
  switch (mask) {
    case kStandardCalculatorMask: window = new CACalculatorStandard(defaults); break;
    case kProgrammerCalculatorMask: window = new CACalculatorProgram(defaults); break;
    default: window = new CACalculatorConverter(defaults); break;
  }
  // The application's commands are reached from a calculator as from a document.
  if (CAAppController* app = CAAppController::sharedInstance()) app->installApplicationMenus(window);
  // Closing the window lets it go on the next turn of the event loop.
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->installEventFilter(&CloseWatcher());
  slot = window;
  if (delay) {
    QTimer::singleShot(kLaunchDelayMilliseconds, window, [window] { BringForward(window); });
  } else {
    BringForward(window);
  }
  return window;
}

int OpenCalculatorMask() {
  int mask = 0;
  for (int i = 0; i < int(std::size(kBits)); ++i) {
    if (WindowSlot(i)) mask |= kBits[i];
  }
  return mask;
}
