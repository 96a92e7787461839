#include "platform/Application.h"

#include <cstdio>

namespace {

Application::EventGuard g_guard = nullptr;
Application::FailureHandler g_failureHandler = nullptr;

}  // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

Application::~Application() = default;

Application* Application::instance() { return dynamic_cast<Application*>(QCoreApplication::instance()); }

void Application::setEventGuard(EventGuard guard) { g_guard = guard; }

void Application::setFailureHandler(FailureHandler handler) { g_failureHandler = handler; }

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return g_guard ? g_guard(*this, receiver, event) : QApplication::notify(receiver, event);
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
