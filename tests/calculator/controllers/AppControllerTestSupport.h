// The whole application launched inside a test process: an application controller that ends no
// process when it quits and reads no keys held at launch, and a way to let its queued work run.
#pragma once

#include "calculator/controllers/CAAppController.h"
#include "calculator/controllers/CAWindowController.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <vector>

// Runs the event loop until queued and briefly delayed work has been delivered.
inline void DeliverQueuedWork() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

class TestAppController : public CAAppController {
 public:
  using CAAppController::CAAppController;
  void quitApplication() override { ++quits; }
  Qt::KeyboardModifiers launchModifiers() const override { return Qt::NoModifier; }
  // The newest document window (windows of earlier tests may still be about).
  CAWindowController* newest() const {
    const std::vector<FLDocumentWC*> all = controllers();
    return all.empty() ? nullptr : dynamic_cast<CAWindowController*>(all.back());
  }
  CAWindowController* controllerFor(const QString& path) const {
    return dynamic_cast<CAWindowController*>(controllerOfWindow(windowForFile(path)));
  }
  int quits = 0;
};
