// The colour and border panes of the format panel: what they give the selection's formats, which
// rows, columns or cells they create, and their changes as one undo step; and the format changes
// of the panes and menus that the model refuses, which leave no step.
#include "calculator/controllers/CAColorWell.h"
#include "calculator/controllers/CAFormatBorderVC.h"
#include "calculator/controllers/CAFormatColorVC.h"
#include "calculator/controllers/CAFormatNumberVC.h"
#include "calculator/controllers/CAFormatTextVC.h"
#include "calculator/controllers/CAPropertyController.h"
#include "calculator/controllers/CAWindowController.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CAFormat.h"
#include "calculator/model/caModelServices.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/shell/FLPropertyView.h"
#include "framlet/shell/flMeasures.h"
#include "support/LogCapture.h"

#include <QAction>
#include <QButtonGroup>
#include <QMenuBar>
#include <QLineEdit>
#include <QSlider>
#include <QTest>

#include "FormatPanelTestSupport.h"

#include <gtest/gtest.h>

namespace {

constexpr Kolor kRed = MakeKolor(255, 0, 0);

class FormatColorTest : public testing::Test {
 protected:
  FormatColorTest() {
    ShowWithFormatPanel(controller);
    showTab(kPanelCell);
  }
  ~FormatColorTest() override { controller.mainWindow()->close(); }

  CADocument& document() { return *controller.document(); }
  void showTab(int tab) {
    controller.propertyController()->tabWasSelected(tab, controller.propertyController()->domainControl());
  }
  template <class Pane>
  Pane* pane() {
    FLPropertyView& view = *controller.propertyController()->propertyView();
    for (int64_t level = 0; level < view.levelCount(); ++level) {
      if (auto* found = qobject_cast<Pane*>(view.levelController(level))) return found;
    }
    return nullptr;
  }
  int32_t steps() { return controller.undoManager()->currentEntry(); }
  const CAFormat* cellFormat(int64_t x, int64_t y) {
    const CACell* cell = document().cellAtGridPoint({x, y});
    return cell ? cell->format() : nullptr;
  }

  LogCapture log;  // panes other helpers build report "Class not found"
  CAWindowController controller;
};

TEST_F(FormatColorTest, TheColorPaneCreatesFormatsOnlyForAColorAndFoldsItsChanges) {
  document().setSelectionPoint({2, 3});
  auto* colors = pane<CAFormatColorVC>();
  ASSERT_NE(colors, nullptr);
  const int32_t before = steps();
  colors->setKolor(kNoKolor, false);
  EXPECT_EQ(document().cellAtGridPoint({2, 3}), nullptr);
  colors->changeKolor(kRed, colors->backgroundFavorites());
  colors->changeKolor(MakeKolor(0, 0, 255), colors->textFavorites());
  EXPECT_EQ(steps(), before + 1);
  ASSERT_NE(cellFormat(2, 3), nullptr);
  EXPECT_EQ(cellFormat(2, 3)->backgroundKolor(), kRed);
  EXPECT_EQ(colors->textColorSwatch()->kolor(), MakeKolor(0, 0, 255));
  const struct {
    QToolButton* popup;
    Kolor shown, byDefault;
  } popups[] = {{colors->textFavorites(), MakeKolor(0, 0, 255), g_blackKolor},
                {colors->backgroundFavorites(), kRed, kNoKolor}};
  for (const auto& c : popups) {
    EXPECT_EQ(colors->kolorForPopup(c.popup), c.shown);
    EXPECT_EQ(colors->defaultKolorForPopup(c.popup), c.byDefault);
  }
  // The panel's no-colour box clears the colour of the well it acts on.
  colors->backgroundColorSwatch()->activate();
  colors->noColor();
  EXPECT_FALSE(cellFormat(2, 3)->hasPropertyForMask(kFormatBackground));
  EXPECT_EQ(colors->backgroundColorSwatch()->kolor(), kNoKolor);
  controller.undoEdit();
  const auto noTextColor = [this] {
    return !cellFormat(2, 3) || !cellFormat(2, 3)->hasPropertyForMask(kFormatTextColor);
  };
  EXPECT_TRUE(noTextColor());
  // Blocked colour reactions and a locked document change nothing.
  document().suppressColorChange(true);
  colors->setKolor(kRed, true);
  document().suppressColorChange(false);
  document().setLocked(true);
  colors->setKolor(kRed, true);
  EXPECT_TRUE(noTextColor());
}

TEST_F(FormatColorTest, DraggingTheBorderWidthIsOneStepAndWidthZeroRemovesTheBorder) {
  document().setSelectionPoint({1, 1});
  auto* borders = pane<CAFormatBorderVC>();
  ASSERT_NE(borders, nullptr);
  EXPECT_EQ(borders->styleMatrix()->checkedId(), kBorderNone);
  const int32_t before = steps();
  for (int points : {1, 3, 5}) borders->widthSlider()->setValue(points);
  borders->setKolor(kRed);
  EXPECT_EQ(steps(), before + 1);
  ASSERT_NE(cellFormat(1, 1), nullptr);
  ASSERT_TRUE(cellFormat(1, 1)->border());
  EXPECT_EQ(cellFormat(1, 1)->border()->width(), 5 * kEmuPerPoint);
  EXPECT_EQ(measureValue(borders->widthField()), 5 * kEmuPerPoint);
  const struct {
    const char* typed;
    bool hasBorder;
    int64_t width;
  } widths[] = {{"0", false, 0}, {"2.5", true, 31750}, {"99", true, 31750}, {"x", true, 31750}, {"-", true, 31750}};
  for (const auto& c : widths) {
    borders->widthField()->setText(QString::fromLatin1(c.typed));
    emit borders->widthField()->textEdited(borders->widthField()->text());
    emit borders->widthField()->editingFinished();
    EXPECT_EQ(cellFormat(1, 1)->hasPropertyForMask(kFormatBorder), c.hasBorder) << c.typed;
    if (c.hasBorder) {
      EXPECT_EQ(cellFormat(1, 1)->border()->width(), c.width) << c.typed;
      EXPECT_EQ(cellFormat(1, 1)->border()->kolor(), kRed) << c.typed;
    }
  }
  borders->styleMatrix()->button(kBorderDot)->click();
  EXPECT_EQ(cellFormat(1, 1)->border()->style(), kBorderDot);
  EXPECT_EQ(steps(), before + 1);
  // Another cell shows its own (no) border and starts a new step.
  document().setSelectionPoint({4, 4});
  EXPECT_EQ(borders->styleMatrix()->checkedId(), kBorderNone);
  EXPECT_EQ(borders->kolorForPopup(borders->favorites()), kNoKolor);
  borders->noColor();
  EXPECT_EQ(document().cellAtGridPoint({4, 4}), nullptr);
  EXPECT_EQ(steps(), before + 2);
}

TEST_F(FormatColorTest, TheColumnTabGivesTheBorderToTheColumnsFormat) {
  document().setSelectionPoint({3, 7});
  showTab(kPanelColumn);
  auto* borders = pane<CAFormatBorderVC>();
  ASSERT_NE(borders, nullptr);
  borders->styleMatrix()->button(kBorderDash)->click();
  const CAFormat* column = document().formatForColumn(3);
  ASSERT_NE(column, nullptr);
  EXPECT_EQ(column->border()->style(), kBorderDash);
  EXPECT_EQ(column->border()->kolor(), g_blackKolor);
  EXPECT_EQ(document().cellAtGridPoint({3, 7}), nullptr);
}

// A change over more cells than a command may make is refused by the model with a beep; the menu
// command or pane that asked records no undo step for it.
TEST_F(FormatColorTest, FormatChangesBeyondTheCommandLimitRecordNoStep) {
  int beeps = 0;
  CAModelHooks hooks;
  hooks.beep = [&beeps] { ++beeps; };
  SetModelHooks(std::move(hooks));
  // A menu item as the open menu shows it: validated first.
  const auto menuItem = [this](const char* name) {
    QAction* action = controller.mainWindow()->menuBar()->findChild<QAction*>(QLatin1String(name));
    EXPECT_TRUE(controller.validateMenuItem(action)) << name;
    return action;
  };
  document().setSelectionPoint({0, 0});
  menuItem("copyStyle:0")->trigger();
  const GridRange huge{{0, 0}, {701, 99999}};  // A1:ZZ100000, 70 million cells
  auto* text = pane<CAFormatTextVC>();
  auto* colors = pane<CAFormatColorVC>();
  auto* borders = pane<CAFormatBorderVC>();
  auto* numbers = pane<CAFormatNumberVC>();
  ASSERT_TRUE(text && colors && borders && numbers);
  const struct {
    const char* what;
    std::function<void()> command;
  } cases[] = {
      {"Format > Bold", [&] { menuItem("bold:")->trigger(); }},
      {"Format > Align Right", [&] { menuItem("align:102")->trigger(); }},
      {"Format > Paste Style", [&] { menuItem("pasteStyle:")->trigger(); }},
      {"text pane, bold on", [&] { text->view()->findChild<QToolButton*>(QStringLiteral("boldMatrix1"))->click(); }},
      {"text pane, centred", [&] { text->view()->findChild<QToolButton*>(QStringLiteral("alignmentControl2"))->click(); }},
      {"colour pane", [&] { colors->changeKolor(kRed, colors->backgroundFavorites()); }},
      {"border pane", [&] { borders->styleMatrix()->button(kBorderDot)->click(); }},
      {"number pane", [&] { numbers->formatMatrix()->button(kDisplayMoney)->click(); }},
  };
  for (const auto& c : cases) {
    document().setSelectionRange(huge);
    const int32_t before = steps();
    const int beepsBefore = beeps;
    c.command();
    EXPECT_EQ(steps(), before) << c.what;
    EXPECT_EQ(beeps, beepsBefore + 1) << c.what;
  }
  EXPECT_EQ(document().rows().size(), 0u);
  SetModelHooks(CAModelHooks());
}

}  // namespace
