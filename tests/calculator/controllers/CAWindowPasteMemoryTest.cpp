// The window's Paste commands when memory runs out, through the real window: whatever allocation
// of the command fails, the sheet is as it was or holds the whole paste, the window says so, and
// the next paste goes through.
#define TAMSEL_DEFINE_ALLOCATION_FAILURES
#include "support/AllocationFailures.h"

#include "calculator/controllers/CAWindowController.h"
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/CACell.h"
#include "calculator/model/caCommandGuard.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/flBase.h"
#include "framlet/shell/FLAlert.h"
#include "framlet/shell/FLUndoManager.h"

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class WindowPasteMemoryTest : public testing::Test {
 protected:
  WindowPasteMemoryTest() : previousLog_(SetLogHandler([](const QString&) {})) {
    FLKernel::sharedInstance();
    InstallFileFormatServices();
    FLAlert::sharedInstance().setModalRunner([this](const FLAlertRequest& request, bool*) {
      alerts.append(request.message + QLatin1Char('|') + request.moreInfo);
      return 0;
    });
    controller.prepareToShow();
    controller.mainWindow()->show();
    QApplication::setActiveWindow(controller.mainWindow());
    EXPECT_TRUE(QTest::qWaitForWindowActive(controller.mainWindow()));
  }
  ~WindowPasteMemoryTest() override {
    controller.mainWindow()->close();
    FLAlert::sharedInstance().setModalRunner({});
    SetLogHandler(previousLog_);
  }

  CADocument& document() const { return *controller.document(); }
  QAction* item(const char* name) const {
    return controller.mainWindow()->menuBar()->findChild<QAction*>(QLatin1String(name));
  }
  // The cells of A1:H20 as "x,y=text shown", joined.
  std::string cells() const {
    std::string texts;
    for (int64_t y = 0; y < 20; ++y)
      for (int64_t x = 0; x < 8; ++x)
        if (const CACell* cell = document().cellAtGridPoint({x, y}))
          texts += std::to_string(x) + ',' + std::to_string(y) + '=' + cell->displayText(false).toStdString() + ' ';
    return texts;
  }

  mutable CAWindowController controller;
  QStringList alerts;

 private:
  FLLogHandler previousLog_;
};

TEST_F(WindowPasteMemoryTest, ThePasteCommandsRunningOutOfMemoryLeaveTheSheetAsItWas) {
  // A block of 6 x 10 cells copied, to be pasted over cells of its own at C3.
  for (int64_t y = 0; y < 10; ++y)
    for (int64_t x = 0; x < 6; ++x)
      document().cellAtGridPointImperative({x, y})->setFormula(QString::number(x * 10 + y) +
                                                              (y % 3 ? QString() : QStringLiteral(" t")));
  document().setSelectionRange(GridRange{{0, 0}, {5, 9}});
  ASSERT_NE(item("copy:"), nullptr);
  item("copy:")->trigger();
  document().setSelectionPoint(GridPoint{2, 2});
  const std::string before = cells();
  const uint32_t steps = controller.undoManager()->inUseCount();

  // How many allocations a paste that goes through makes, and what it makes.
  ASSERT_NE(item("paste:"), nullptr);
  controller.validateMenuItems();
  ASSERT_TRUE(item("paste:")->isEnabled());
  FailAllocations(0);
  item("paste:")->trigger();
  const int64_t n = AllowAllocations().allocations;
  const std::string after = cells();
  ASSERT_NE(after, before);
  controller.undoManager()->undo();
  controller.undoManager()->killRedo();
  ASSERT_EQ(cells(), before);
  ASSERT_GT(n, 100);

  const struct {
    const char* name;
    const char* command;
    int64_t count;
  } cases[] = {
      {"Paste, the first allocation", "paste:", 1},
      {"Paste, a tenth of the way", "paste:", n / 10},
      {"Paste, half way", "paste:", n / 2},
      {"Paste, near the end", "paste:", n - n / 20},
      {"Paste as Plain Text, the first allocation", "pasteAsPlainText:", 1},
      {"Paste as Plain Text, a third of the way", "pasteAsPlainText:", n / 3},
  };
  // Qt's dispatch of an action guards it with a weak pointer, made once: made here, the failures
  // fall in the command and not in Qt's own code.
  const QPointer<QAction> guards[] = {item("paste:"), item("pasteAsPlainText:")};
  ASSERT_TRUE(guards[0] && guards[1]);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    document().setSelectionPoint(GridPoint{2, 2});
    const qsizetype told = alerts.size();
    FailAllocations(c.count);
    QAction* command = item(c.command);
    ASSERT_NE(command, nullptr);
    command->trigger();
    const AllocationCounts counts = AllowAllocations();
    if (controller.undoManager()->inUseCount() == steps) {
      EXPECT_EQ(cells(), before);
      EXPECT_GE(counts.failures, 1);
      ASSERT_EQ(alerts.size(), told + 1);
      EXPECT_EQ(alerts.back(),
                QLatin1String(kCommandMemoryMessage) + QLatin1Char('|') + QLatin1String(kCommandMemoryInformation));
    } else {
      // Plain text pastes the same texts without their formats.
      EXPECT_EQ(cells(), after);
      controller.undoManager()->undo();
      controller.undoManager()->killRedo();
      EXPECT_EQ(cells(), before);
    }
  }
  // The window goes on: its Paste item pastes the block.
  document().setSelectionPoint(GridPoint{2, 2});
  controller.validateMenuItems();
  ASSERT_TRUE(item("paste:")->isEnabled());
  item("paste:")->trigger();
  EXPECT_EQ(cells(), after);
}

}  // namespace
