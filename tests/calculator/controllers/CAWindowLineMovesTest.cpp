// A sort, an insert and a delete of rows in a shown window, and their undo and redo from the
// Edit menu: the window hears of the selection once for each, whatever the number of lines moved.
#include "calculator/model/CACell.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/model/caModelServices.h"
#include "platform/NotificationCenter.h"
#include "ShownWindowTestSupport.h"

#include <functional>

namespace {

class WindowLineMovesTest : public ShownWindowTest {
 protected:
  WindowLineMovesTest() {
    // Forty items with running totals, in rows 2 to 41.
    for (int64_t y = 1; y <= 40; ++y) {
      put(0, y, QStringLiteral("item %1").arg(y));
      put(1, y, QString::number((y * 37) % 23));
      put(2, y, QStringLiteral("=SUM(B$2:B%1)").arg(y + 1));
    }
    document().evaluate();
    CAModelPreferences preferences;
    preferences.sortWholeDoc = false;
    SetModelPreferencesProvider([preferences] { return preferences; });
  }
  ~WindowLineMovesTest() override { SetModelPreferencesProvider(nullptr); }

  void put(int64_t x, int64_t y, const QString& text) {
    document().cellAtGridPointImperative({x, y})->setFormula(text);
  }
  QString column(int64_t x) const {
    QStringList texts;
    for (int64_t y = 1; y <= 41; ++y) {
      const CACell* cell = document().cellAtGridPoint({x, y});
      texts.append(cell ? cell->displayText(false) : QStringLiteral("-"));
    }
    return texts.join(QLatin1Char(' '));
  }
};

TEST_F(WindowLineMovesTest, TheWindowHearsOfASortAnInsertAndADeleteAndOfTheirUndoOnce) {
  int heard = 0;
  const NotificationObserver observer = NotificationCenter::defaultCenter().addObserver(
      QLatin1String(kSelectionChangeNotification), &document(), [&heard](const Notification&) { ++heard; });
  const struct {
    const char* name;
    GridRange selection;
    std::function<void()> command;
  } cases[] = {
      {"sort", GridRange{{0, 1}, {2, 40}}, [this] {
         document().setSortKey1({1, 1});
         document().sort();
       }},
      {"insert rows", GridRange{{kGridWildcard, 5}, {kGridWildcard, 14}},
       [this] { controller.performAction(QStringLiteral("insertRowOrColumn:"), 1); }},
      {"delete rows", GridRange{{kGridWildcard, 5}, {kGridWildcard, 14}},
       [this] { controller.performAction(QStringLiteral("deleteRowOrColumn:"), 1); }},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    document().setSelectionRange(test.selection);
    const QString names = column(0);
    const QString totals = column(2);
    heard = 0;
    test.command();
    EXPECT_EQ(heard, 1);
    EXPECT_NE(column(0), names);
    const QString namesAfter = column(0);
    const QString totalsAfter = column(2);
    heard = 0;
    controller.undoEdit();
    EXPECT_EQ(heard, 1) << "undo";
    EXPECT_EQ(column(0), names);
    EXPECT_EQ(column(2), totals);
    heard = 0;
    controller.redoEdit();
    EXPECT_EQ(heard, 1) << "redo";
    EXPECT_EQ(column(0), namesAfter);
    EXPECT_EQ(column(2), totalsAfter);
    controller.undoEdit();
  }
}

}  // namespace
