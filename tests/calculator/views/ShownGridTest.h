// A sheet shown in its own window with the grid focused, for tests that drive the grid with
// synthetic key, mouse and input-method events; every step goes through a recording undo stack.
#pragma once

#include "calculator/model/UndoTestSupport.h"
#include "calculator/views/CACellView.h"
#include "calculator/views/CAScrollView.h"
#include "framlet/shell/FLCompletionFieldEditor.h"

#include <QApplication>
#include <QTest>

class ShownGridTest : public testing::Test {
 protected:
  ShownGridTest() {
    FLKernel::sharedInstance();
    document.setController(&window);
    scroll.resize(600, 400);
    scroll.show();
    QApplication::setActiveWindow(&scroll);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&scroll));
    grid()->setFocus();
  }
  ~ShownGridTest() override {
    scroll.close();
    document.setController(nullptr);
  }

  CACellView* grid() const { return scroll.cellView(); }
  QWidget* focus() const { return QApplication::focusWidget(); }
  // Each key goes to the widget that has the focus at the time, as typed keys do.
  void type(const char* text) { for (QChar c : QString::fromUtf8(text)) QTest::keyClicks(focus(), QString(c)); }
  CACell& enter(const char* at, const char* text) {
    CACell& cell = *document.cellAtGridPointImperative(A1(at));
    cell.setFormula(QString::fromUtf8(text));
    return cell;
  }
  CACell* cell(const char* at) const { return document.cellAtGridPoint(A1(at)); }
  QString editorText() const { return grid()->fieldEditor() ? grid()->fieldEditor()->toPlainText() : QString(); }
  uint32_t steps() const { return window.manager.inUseCount(); }

  ModelEnvironment environment;
  CADocument document;
  UndoWindow window{document};
  CAScrollView scroll{&document};
};
