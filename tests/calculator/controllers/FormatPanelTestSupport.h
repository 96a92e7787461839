// Shows a spreadsheet window with its format panel in, for the tests of the panel and its panes.
#pragma once

#include "calculator/controllers/CAWindowController.h"
#include "framlet/foundation/FLKernel.h"

#include <gtest/gtest.h>

#include <QAbstractAnimation>
#include <QCoreApplication>
#include <QMainWindow>
#include <QTest>

#include <algorithm>

// Shows the controller's window at the given size and slides the format panel in, waiting for the
// slide to end.
inline void ShowWithFormatPanel(CAWindowController& controller, int width = 900, int height = 600) {
  FLKernel::sharedInstance();
  controller.prepareToShow();
  controller.mainWindow()->resize(width, height);
  controller.mainWindow()->show();
  controller.showFormatPanel(true);
  EXPECT_TRUE(QTest::qWaitFor(
      [&controller] {
        const QList<QAbstractAnimation*> slides = controller.findChildren<QAbstractAnimation*>();
        return std::none_of(slides.begin(), slides.end(),
                            [](auto* slide) { return slide->state() == QAbstractAnimation::Running; });
      },
      10000));
  QCoreApplication::processEvents();
}
