// The application's last resort: an exception that leaves an event is told once, at the outermost
// event of its event loop, and the program goes on.
#include "platform/Application.h"

#include <QEvent>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_told;

void Tell(QObject*, const std::exception& exception) { g_told.emplace_back(exception.what()); }

// A widget that does what it is given when it receives a user event.
class Handler : public QWidget {
 public:
  std::function<void()> onEvent;

 protected:
  bool event(QEvent* event) override {
    if (event->type() != QEvent::User) return QWidget::event(event);
    onEvent();
    return true;
  }
};

class ApplicationTest : public testing::Test {
 protected:
  ApplicationTest() {
    g_told.clear();
    Application::setFailureHandler(&Tell);
  }
  ~ApplicationTest() override { Application::setFailureHandler(nullptr); }
};

TEST_F(ApplicationTest, AnExceptionLeavingAnEventIsToldOnceAtTheOutermostEventOfItsLoop) {
  ASSERT_NE(Application::instance(), nullptr);
  Handler outer, inner;
  bool outerWentOn = false;
  const struct {
    const char* name;
    std::function<void()> innerDoes;
    std::vector<std::string> told;
    bool outerGoesOn;
  } cases[] = {
      {"nothing thrown", [] {}, {}, true},
      {"out of memory inside", [] { throw std::bad_alloc(); }, {"std::bad_alloc"}, false},
      {"another failure inside", [] { throw std::runtime_error("broken"); }, {"broken"}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_told.clear();
    outerWentOn = false;
    inner.onEvent = c.innerDoes;
    // The inner event is sent while the outer one is handled: its failure goes on into the outer
    // event, whose rest does not run, and is told once.
    outer.onEvent = [&] {
      QEvent event(QEvent::User);
      QCoreApplication::sendEvent(&inner, &event);
      outerWentOn = true;
    };
    QEvent event(QEvent::User);
    EXPECT_TRUE(QCoreApplication::sendEvent(&outer, &event));
    EXPECT_EQ(g_told, c.told);
    EXPECT_EQ(outerWentOn, c.outerGoesOn);
  }
  // The program goes on: events are delivered as before.
  g_told.clear();
  bool delivered = false;
  inner.onEvent = [&] { delivered = true; };
  QEvent event(QEvent::User);
  EXPECT_TRUE(QCoreApplication::sendEvent(&inner, &event));
  EXPECT_TRUE(delivered);
  EXPECT_TRUE(g_told.empty());
}

}  // namespace
