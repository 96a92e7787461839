#include "support/LogCapture.h"

#include <QRegularExpression>

LogCapture::LogCapture() {
  previous_ = SetLogHandler([this](const QString& entry) {
    std::lock_guard guard(lock_);
    entries_.append(entry);
  });
}

LogCapture::~LogCapture() { SetLogHandler(std::move(previous_)); }

QStringList LogCapture::entries() const {
  std::lock_guard guard(lock_);
  return entries_;
}

bool LogCapture::contains(const QString& fragment) const {
  std::lock_guard guard(lock_);
  for (const QString& entry : entries_)
    if (entry.contains(fragment)) return true;
  return false;
}

void LogCapture::clear() {
  std::lock_guard guard(lock_);
  entries_.clear();
}

QStringList LogCapture::assertMessages() const {
  static const QRegularExpression line(QStringLiteral("^Assert: (.*) -- thread="));
  QStringList messages;
  for (const QString& entry : entries()) {
    QRegularExpressionMatch match = line.match(entry);
    if (match.hasMatch()) messages << match.captured(1);
  }
  return messages;
}
