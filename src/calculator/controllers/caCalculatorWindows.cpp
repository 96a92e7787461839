#include "calculator/controllers/caCalculatorWindows.h"

#include "calculator/controllers/CACalculatorConverter.h"
#include "calculator/controllers/CACalculatorProgram.h"
#include "calculator/controllers/CACalculatorStandard.h"

#include <QPointer>
#include <QTimer>

namespace {

constexpr int kLaunchDelayMilliseconds = 500;
constexpr int kBits[] = {kStandardCalculatorBit, kProgrammerCalculatorBit, kConverterCalculatorBit};

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
    case kStandardCalculatorBit: window = new CACalculatorStandard(defaults); break;
    case kProgrammerCalculatorBit: window = new CACalculatorProgram(defaults); break;
    default: window = new CACalculatorConverter(defaults); break;
  }
  // Closing the window lets it go on the next turn of the event loop.
  window->setAttribute(Qt::WA_DeleteOnClose);
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
    if (WindowSlot(i) && WindowSlot(i)->isVisible()) mask |= kBits[i];
  }
  return mask;
}
