// Allocation, logging, assertions and per-thread storage.
#include "framlet/foundation/flBase.h"

#include "framlet/foundation/flSeededHash.h"
#include "framlet/foundation/flReadingMeter.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QStringList>
#include <QThread>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <execinfo.h>
#include <mutex>
#include <utility>
#include <unistd.h>

uint32_t g_systemVersion = 0;

namespace {

std::mutex g_logHandlerLock;
FLLogHandler g_logHandler;

// How often each assertion (its message at its place) was met since the log's handler was last
// set. The first report carries the backtrace, the next few are the line alone, and after them
// only the count is logged, at each power of two: a file holding thousands of one fault then
// neither spends its time resolving symbols nor floods the log, and the log still says how often.
std::mutex g_assertLock;
FLHashMap<QByteArray, uint64_t> g_assertCounts;
constexpr uint64_t kAssertRepeatsLogged = 32;
// Messages are fixed texts in the code; should some be made at run time, the table is begun
// again rather than let grow.
constexpr qsizetype kMostAssertPlaces = 4096;

uint64_t CountAssert(const char* message, const char* sourcePath, int line) {
  QByteArray place(sourcePath ? sourcePath : "");
  place += '\n';
  place += QByteArray::number(line);
  place += '\n';
  place += message ? message : "";
  std::lock_guard guard(g_assertLock);
  if (g_assertCounts.size() >= size_t(kMostAssertPlaces) && !g_assertCounts.count(place)) g_assertCounts.clear();
  return ++g_assertCounts[place];
}

void WriteToStandardError(const QString& entry) {
  QByteArray bytes = entry.toUtf8();
  if (!bytes.endsWith('\n')) bytes.append('\n');
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

QString CurrentThreadName() {
  QThread* current = QThread::currentThread();
  QCoreApplication* app = QCoreApplication::instance();
  // The process's first thread has the process's id; that holds before the application object
  // exists and after it is gone.
  if ((app && current == app->thread()) || gettid() == getpid()) return QStringLiteral("main");
  QString name = current ? current->objectName() : QString();
  return name.isEmpty() ? QStringLiteral("?") : name;
}

QString BacktraceText() {
  std::array<void*, 50> frames{};
  int count = backtrace(frames.data(), int(frames.size()));
  char** symbols = backtrace_symbols(frames.data(), count);
  if (!symbols) return QString();
  QString text;
  for (int i = 0; i < count; ++i) text += StringWithFormat("   %s\n", symbols[i]);
  std::free(symbols);
  return text;
}

}  // namespace

uint32_t EncodeDottedVersionNumber(const QString& version) {
  const QStringList parts = version.split(QLatin1Char('.'));
  if (parts.size() < 2) return 0;
  uint32_t value = uint32_t(parts[0].toInt()) * 65536u + uint32_t(parts[1].toInt()) * 256u;
  if (parts.size() > 2) value += uint32_t(parts[2].toInt());
  return value;
}

uint8_t* GetFLThreadStorage() {
  // One block per thread for the thread's whole life; thread_local needs no lock to create it.
  thread_local std::array<uint8_t, 4> block{};
  return block.data();
}

namespace {

FLAllocationRefusal g_allocationRefusal = nullptr;

// A refused allocation is logged, and the reading or paste under way hears of it: the engine's
// callers give up on a null record, and the command must not take what they left for a success.
void* Refused(size_t size) {
  LogString("Allocation failed for %lu bytes.", size);
  LogBacktrace();
  FLReadingMeter::NoteOutOfMemory();
  return nullptr;
}

}  // namespace

void* AllocateMemory(size_t size) {
  if (g_allocationRefusal && size && g_allocationRefusal(size)) return Refused(size);
  void* memory = std::malloc(size);
  if (!memory && size) return Refused(size);
  return memory;
}

void* AllocateAndClearMemory(size_t size) {
  if (g_allocationRefusal && size && g_allocationRefusal(size)) return Refused(size);
  void* memory = std::calloc(1, size);
  if (!memory && size) return Refused(size);
  return memory;
}

FLAllocationRefusal SetAllocationRefusalForTests(FLAllocationRefusal refusal) {
  return std::exchange(g_allocationRefusal, refusal);
}

FLLogHandler SetLogHandler(FLLogHandler handler) {
  {
    // Whoever reads the log from now on hears each assertion's first report in full.
    std::lock_guard counts(g_assertLock);
    g_assertCounts.clear();
  }
  std::lock_guard guard(g_logHandlerLock);
  std::swap(g_logHandler, handler);
  return handler;
}

void LogText(const QString& text) {
  FLLogHandler handler;
  {
    std::lock_guard guard(g_logHandlerLock);
    handler = g_logHandler;
  }
  if (handler)
    handler(text);
  else
    WriteToStandardError(text);
}

void LogBacktrace() {
  QString text = BacktraceText();
  if (!text.isEmpty()) LogString("%@", text);
}

void LogException(const std::exception& exception, const QString& context) {
  // C++ exceptions carry no call stack of their own; the catch site's stack is the closest.
  LogString("%@: %@\n%@", context, exception.what(), BacktraceText());
}

void LogException(const QString& object, const QString& context) {
  LogString("%@: %@", context, object);
}

void LogAssert(const char* message, const char* function, const char* sourcePath, int line) {
  const uint64_t count = CountAssert(message, sourcePath, line);
  const bool counted = count > kAssertRepeatsLogged;
  if (counted && (count & (count - 1)) != 0) return;
  QString fileName = QFileInfo(QString::fromUtf8(sourcePath ? sourcePath : "")).fileName();
  QString text = StringWithFormat("Assert: %s -- thread=%@, %s line %d in %@", message ? message : "",
                                  CurrentThreadName(), function ? function : "", line, fileName);
  if (counted) text += QStringLiteral(" (met %1 times)").arg(count);
  LogString("%@", text);
  if (count == 1) LogBacktrace();
}
