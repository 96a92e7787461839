// The application object. Every event the program receives passes through it, and two hooks may
// be installed on that path: a guard that wraps the delivery of an event (the window's commands
// run inside one that rolls a document back should memory run out), and a last resort for a
// failure that nothing nearer caught, so that running out of memory in any event is told and the
// program goes on.
#pragma once

#include <QApplication>

#include <exception>

class Application : public QApplication {
 public:
  Application(int& argc, char** argv);
  ~Application() override;

  // The running application, when it is one of ours.
  static Application* instance();

  // Delivers the event as Qt does, with no guard.
  bool deliver(QObject* receiver, QEvent* event) { return QApplication::notify(receiver, event); }

  // Delivers an event, calling deliver at most once. Null: events go straight on.
  using EventGuard = bool (*)(Application& application, QObject* receiver, QEvent* event);
  static void setEventGuard(EventGuard guard);
  // Told of an exception that left an event: it gives no exception back. Null: the exception
  // is written to the standard error.
  using FailureHandler = void (*)(QObject* receiver, const std::exception& exception);
  static void setFailureHandler(FailureHandler handler);

  bool notify(QObject* receiver, QEvent* event) override;
};
