#include "platform/Application.h"

#include "platform/Pasteboard.h"
#include "platform/TextEncodings.h"

#include <QImageReader>
#include <QImageWriter>
#include <QScopedValueRollback>
#include <QThread>

#include <cstdio>

namespace {

Application::EventGuard g_guard = nullptr;
Application::FailureHandler g_failureHandler = nullptr;
// The event loop level whose outermost event is being delivered (-1: none).
int g_catchingLevel = -1;

}  // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
  // Qt fills its table of image plug-ins, and loads them, the first time a picture is read or
  // written, under a mutex of its own in code built without exceptions: an allocation failing in
  // there would leave the mutex locked and every later picture waiting for it. Filled here, before
  // any command runs, each later look-up takes only a few small blocks.
  (void)QImageReader::supportedImageFormats();
  (void)QImageReader::supportedMimeTypes();
  (void)QImageWriter::supportedImageFormats();
  (void)QImageWriter::supportedMimeTypes();
  (void)PasteboardImageTypes();
  // This thread's converters are kept in a table of its own, whose first use registers its
  // destructor with the C library: were that to fail for memory inside a command, the C library
  // would end the process. Made here.
  (void)IsEncodingAvailable(kFLEncodingUTF8);
}

Application::~Application() = default;

Application* Application::instance() { return dynamic_cast<Application*>(QCoreApplication::instance()); }

void Application::setEventGuard(EventGuard guard) { g_guard = guard; }

void Application::setFailureHandler(FailureHandler handler) { g_failureHandler = handler; }

bool Application::notify(QObject* receiver, QEvent* event) {
  const auto deliverGuarded = [&] {
    return g_guard ? g_guard(*this, receiver, event) : QApplication::notify(receiver, event);
  };
  // An event sent while another is handled in the same event loop goes on into it: a failure
  // inside reaches that event's handling, and whatever guards it, whole.
  const int level = QThread::currentThread()->loopLevel();
  if (level == g_catchingLevel) return deliverGuarded();
  const QScopedValueRollback<int> catching(g_catchingLevel, level);
  try {
    return deliverGuarded();
  } catch (const std::exception& exception) {
    // Qt delivers no exception onwards: this is the last place one may be caught. The event
    // counts as taken.
    if (g_failureHandler)
      g_failureHandler(receiver, exception);
    else
      std::fprintf(stderr, "An event ended with an exception: %s\n", exception.what());
    return true;
  }
}
