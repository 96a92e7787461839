// Waiting in tests for what the event loop does later, by a condition rather than for a fixed
// time, so that a test holds on a machine too loaded to run a timer when it falls due.
#pragma once

#include <QObject>
#include <QTest>
#include <QTimer>

#include <algorithm>

// Runs the event loop until a timer of `milliseconds` started now has fired. Timers fire in the
// order in which they fall due, so every delay of at most that length that the program started
// before the call has run its course too, however late the machine ran it.
inline bool WaitPastDelay(int milliseconds) {
  bool fired = false;
  QObject context;
  QTimer::singleShot(milliseconds, Qt::PreciseTimer, &context, [&fired] { fired = true; });
  return QTest::qWaitFor([&fired] { return fired; }, std::max(60000, 10 * milliseconds));
}
