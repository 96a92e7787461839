// A document window shown and active as the application makes it, with its grid clicked and
// typed into through real key and mouse events: the base of the window tests that drive the grid.
#pragma once

#include "calculator/controllers/CAWindowController.h"
#include "calculator/model/CADocument.h"
#include "calculator/views/CACellView.h"
#include "framlet/foundation/FLKernel.h"

#include <QApplication>
#include <QMainWindow>
#include <QTest>

#include <gtest/gtest.h>

class ShownWindowTest : public testing::Test {
 protected:
  explicit ShownWindowTest(int width = 800) {
    FLKernel::sharedInstance();
    controller.prepareToShow();
    controller.mainWindow()->resize(width, 600);
    controller.mainWindow()->show();
    QApplication::setActiveWindow(controller.mainWindow());
    EXPECT_TRUE(QTest::qWaitForWindowActive(controller.mainWindow()));
  }
  ~ShownWindowTest() override { controller.mainWindow()->close(); }

  CACellView* grid() const { return controller.cellView(); }
  CADocument& document() const { return *controller.document(); }
  QWidget* focus() const { return QApplication::focusWidget(); }
  QPoint at(int64_t x, int64_t y) const { return grid()->rectForGridPoint(GridPoint{x, y}).center().toPoint(); }
  void click(int64_t x, int64_t y) { QTest::mouseClick(grid(), Qt::LeftButton, {}, at(x, y)); }
  // One key event a character, as typing sends them.
  void type(const QString& text) {
    for (QChar c : text) QTest::keyClicks(focus(), QString(c));
  }
  void press(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) { QTest::keyClick(focus(), key, modifiers); }

  // Mutable: const helpers of the tests reach the window's menus and views through it.
  mutable CAWindowController controller;
};
