// Captures log entries for the life of the object, so a test can check that code
// "logs X and goes on" without a log file.
#pragma once

#include "framlet/foundation/flBase.h"

#include <QStringList>

#include <mutex>

class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  QStringList entries() const;
  bool contains(const QString& fragment) const;
  // The messages of the assertions logged, in order, without the thread and place.
  QStringList assertMessages() const;
  void clear();

 private:
  mutable std::mutex lock_;
  QStringList entries_;
  FLLogHandler previous_;
};
