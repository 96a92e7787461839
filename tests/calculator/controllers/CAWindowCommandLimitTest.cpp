// Commands of a window under a real limit on the address space (ulimit -v), a few steps above
// what the process holds: each command either completes, or leaves the sheet as it was with the
// memory alert, and the program goes on to the next. Each step runs in a child of its own, so
// that the limit ends with it.
#include "CommandMemoryTestSupport.h"
#include "support/SanitizedHeap.h"

#include "calculator/model/CACell.h"

#include <QAction>
#include <QMenuBar>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int64_t kRows = 20000;

class WindowCommandLimitTest : public CommandMemoryTest {
 protected:
  QAction* item(const char* name) const {
    return controller.mainWindow()->menuBar()->findChild<QAction*>(QLatin1String(name));
  }
  void makeSheet() {
    CADocument& sheet = document();
    if (base_.isEmpty()) {
      for (int64_t y = 0; y < kRows; ++y)
        for (int64_t x = 0; x < 4; ++x)
          sheet.cellAtGridPointImperative({x, y})->setFormula(
              (x + y) % 3 == 0 ? QStringLiteral("text %1").arg(y * 7 % 1000) : QString::number((y * 31 + x) % 997));
      sheet.cellAtGridPointImperative({5, 0})->setFormula(QStringLiteral("=SUM(A1:D%1)").arg(kRows));
      sheet.evaluate();
      base_ = sheet.archiveWholeDocUtf8ForUndo();
    }
    controller.undoManager()->clearUndo();
    sheet.restoreWholeDocFromUndo(base_);
    sheet.evaluate();
  }
  size_t digest() const { return std::hash<std::string>()(sheetXml() + history()); }

  static int64_t addressSpace() {
    std::ifstream statm("/proc/self/statm");
    int64_t pages = 0;
    statm >> pages;
    return pages * int64_t(sysconf(_SC_PAGESIZE));
  }
  static bool limitTo(int64_t bytes) {
    const rlimit limit{rlim_t(bytes), RLIM_INFINITY};
    return setrlimit(RLIMIT_AS, &limit) == 0;
  }
  static void lift() {
    const rlimit none{RLIM_INFINITY, RLIM_INFINITY};
    setrlimit(RLIMIT_AS, &none);
  }

  // What the child's exit says when every command completed or was refused whole with the alert:
  // kCompleted and the number refused. Any other exit names the command that did neither.
  static constexpr int kCompleted = 64;

  // In the child: kCompleted plus the commands refused, or a failure's code with its command told.
  int runCommandsUnderLimit(int64_t room) {
    const struct {
      const char* name;
      std::function<void()> prepare;
      std::function<void()> run;
    } commands[] = {
        {"Fill Down", [&] { document().setSelectionRange(GridRange{{0, 0}, {3, kRows - 1}}); },
         [&] { item("fillDown:")->trigger(); }},
        {"Sort",
         [&] {
           document().setSelectionRange(GridRange{{0, 0}, {3, kRows - 1}});
           document().setSortKey1(GridPoint{1, 0});
         },
         [&] { controller.runCommand([&] { document().sort(); }); }},
        {"Clear All", [&] { document().setSelectionRange(GridRange{{0, 0}, {3, kRows - 1}}); },
         [&] { item("clear:0")->trigger(); }},
        {"Undo of Clear All",
         [&] {
           document().setSelectionRange(GridRange{{0, 0}, {3, kRows - 1}});
           item("clear:0")->trigger();
         },
         [&] { controller.undoEdit(); }},
        {"Insert Rows",
         [&] { document().setSelectionRange(GridRange{{kGridWildcard, 1}, {kGridWildcard, 1000}}); },
         [&] { item("insertRowOrColumn:1")->trigger(); }},
        {"Delete Columns",
         [&] { document().setSelectionRange(GridRange{{1, kGridWildcard}, {2, kGridWildcard}}); },
         [&] { item("deleteRowOrColumn:0")->trigger(); }},
    };
    int code = 20;
    int refusals = 0;
    const auto fail = [](const char* name, int failure, const char* why) {
      std::fprintf(stderr, "%s: %s\n", name, why);
      return failure;
    };
    for (const auto& command : commands) {
      ++code;
      makeSheet();
      command.prepare();
      const size_t before = digest();
      command.run();
      const size_t after = digest();
      makeSheet();
      command.prepare();
      if (digest() != before) return fail(command.name, code + 100, "the sheet was not made again as it was");
      const qsizetype told = alerts.size();
      if (!limitTo(addressSpace() + room)) return fail(command.name, 11, "no limit could be set");
      command.run();
      lift();
      const size_t now = digest();
      const bool refused = alerts.size() == told + 1 && alerts.back() == memoryAlert() && now == before;
      const bool done = alerts.size() == told && now == after;
      if (!refused && !done) return fail(command.name, code, "neither completed nor refused whole with the alert");
      refusals += refused;
    }
    return kCompleted + refusals;
  }

  QByteArray base_;
};

TEST_F(WindowCommandLimitTest, EachCommandCompletesOrLeavesTheSheetAsItWasUnderEachLimit) {
#ifdef TAMSEL_TEST_SANITIZED_HEAP
  GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space for its shadow memory: no limit on "
                  "the address space leaves it room to run";
#else
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  // A test under limits that never bit would pass whatever the commands did: the tightest limits
  // must refuse some command.
  int refusals = 0;
  const auto completed = [&refusals](int status) {
    // The failures' codes lie below kCompleted and above the most commands it may add.
    if (!WIFEXITED(status) || WEXITSTATUS(status) < kCompleted || WEXITSTATUS(status) > kCompleted + 32) return false;
    refusals += WEXITSTATUS(status) - kCompleted;
    return true;
  };
  for (const int64_t megabytes : {1, 4, 16, 64, 256}) {
    SCOPED_TRACE(megabytes);
    EXPECT_EXIT(std::_Exit(runCommandsUnderLimit(megabytes << 20)), completed, "");
  }
  EXPECT_GE(refusals, 1) << "no limit refused any command";
#endif
}

}  // namespace


