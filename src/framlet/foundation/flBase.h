// The lowest layer of the framework: allocation that logs its failures, the log entry point,
// assertions that log a backtrace and go on, version numbers and per-thread storage.
#pragma once

#include "platform/StringWithFormat.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>

// System version as major * 65536 + minor * 256 + patch; set by the kernel at start-up.
extern uint32_t g_systemVersion;

uint32_t EncodeDottedVersionNumber(const QString& version);

// The calling thread's 4-byte block, zeroed on first use. Byte 0 is the image-focus flag.
uint8_t* GetFLThreadStorage();

// Raw memory for the text engine's records; nullptr (after logging, and telling the thread's
// reading meter, FLReadingMeter::NoteOutOfMemory) when refused. Free with free().
void* AllocateMemory(size_t size);
void* AllocateAndClearMemory(size_t size);
// For tests: a check that refuses an allocation of the engine as though memory had run out (true:
// refused); null: none. Answers the check it replaces.
using FLAllocationRefusal = bool (*)(size_t size);
FLAllocationRefusal SetAllocationRefusalForTests(FLAllocationRefusal refusal);

// Where finished log entries go. The log file installs itself here at launch; until then,
// and in processes without it, entries go to standard error. Tests install a capture.
using FLLogHandler = std::function<void(const QString& entry)>;
// Installs a handler (an empty one restores standard error) and returns the one it replaces.
// The handler hears every assertion's first report in full (see LogAssert).
FLLogHandler SetLogHandler(FLLogHandler handler);

void LogText(const QString& text);

template <typename... Args>
void LogString(const char* format, const Args&... args) {
  LogText(StringWithFormat(format, args...));
}

void LogBacktrace();
void LogException(const std::exception& exception, const QString& context);
void LogException(const QString& object, const QString& context);
// "Assert: <message> -- thread=<name>, <function> line <n> in <file>", then a backtrace. The same
// message at the same place met again is logged without the backtrace a few times, and after
// that only at its 64th, 128th, 256th... time, with " (met <n> times)" added.
void LogAssert(const char* message, const char* function, const char* sourcePath, int line);

// Assertion that logs and lets the caller continue with its own safe value.
#define FLAssert(condition, message)                                   \
  do {                                                                 \
    if (!(condition)) LogAssert((message), __func__, __FILE__, __LINE__); \
  } while (0)
