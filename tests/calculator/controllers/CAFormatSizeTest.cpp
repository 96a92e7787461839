// The column, row, document size and document text panes: what they change, what they show,
// and the undo steps they make.
#include "calculator/controllers/CAFormatColumnVC.h"
#include "calculator/controllers/CAFormatDocFileVC.h"
#include "calculator/controllers/CAFormatDocSizeVC.h"
#include "calculator/controllers/CAFormatDocTextVC.h"
#include "calculator/controllers/CAFormatRowVC.h"
#include "calculator/controllers/CAPropertyController.h"
#include "calculator/controllers/CAWindowController.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CAFormat.h"
#include "calculator/model/CARow.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/shell/FLPropertyView.h"
#include "framlet/shell/FLUndoManager.h"
#include "calculator/controllers/caSizePanes.h"
#include "platform/FLError.h"
#include "support/LogCapture.h"
#include "support/TestFiles.h"

#include <QAbstractAnimation>
#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFontDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include "FormatPanelTestSupport.h"
#include "FontPanelTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

// A field shows a length to the step of its unit.
constexpr int64_t kShownStep = 6350;

class FormatSizeTest : public testing::Test {
 protected:
  FormatSizeTest() {
    ShowWithFormatPanel(controller);
  }
  ~FormatSizeTest() override { controller.mainWindow()->close(); }

  CADocument& document() { return *controller.document(); }
  CAPropertyController& panel() { return *controller.propertyController(); }
  // The pane of that class on the tab.
  template <class Pane>
  Pane* pane(int32_t tab) {
    if (panel().domain() != tab) panel().tabWasSelected(tab, panel().domainControl());
    FLPropertyView& view = *panel().propertyView();
    for (int64_t i = 0; i < view.levelCount(); ++i) {
      if (auto* found = qobject_cast<Pane*>(view.levelController(i))) return found;
    }
    return nullptr;
  }
  int32_t steps() { return controller.undoManager()->currentEntry(); }
  int64_t digitWidth(int64_t digits) { return std::llround(document().digitWidth() * double(digits) * 12700); }
  static void type(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
  }

  LogCapture log;  // panes of other kinds may not be built
  CAWindowController controller;
};

TEST_F(FormatSizeTest, TheColumnPaneSetsDigitsOrAWidthOnEverySelectedColumn) {
  document().setSelectionRange({{2, kGridWildcard}, {4, kGridWildcard}});
  auto* columns = pane<CAFormatColumnVC>(kPanelColumn);
  ASSERT_NE(columns, nullptr);
  const int32_t before = steps();
  columns->digitField()->setValue(8);
  for (int64_t x = 2; x <= 4; ++x) {
    ASSERT_NE(document().column(x), nullptr) << x;
    EXPECT_EQ(document().column(x)->digitCount(), 8) << x;
  }
  EXPECT_NEAR(LengthFromControl(columns->widthField()), digitWidth(8), kShownStep);
  EXPECT_EQ(columns->widthSlider()->value(), int(digitWidth(8) / 12700));
  // A width typed afterwards joins the step and replaces the digits.
  type(columns->widthField(), QStringLiteral("100"));
  EXPECT_EQ(steps(), before + 1);
  EXPECT_EQ(document().column(3)->digitCount(), -1);
  EXPECT_EQ(document().column(3)->width(), 100 * 12700);
  EXPECT_EQ(columns->digitField()->value(), 0);
  controller.undoEdit();
  EXPECT_EQ(document().column(3), nullptr);

  // Digits 0 make no column but reset one that exists; the slider makes a width.
  document().setSelectionPoint({7, 0});
  columns->setDigits(0);
  EXPECT_EQ(document().column(7), nullptr);
  columns->digitField()->setValue(5);
  columns->digitField()->setValue(0);
  EXPECT_EQ(document().column(7)->digitCount(), 0);
  document().setSelectionPoint({8, 0});
  columns->widthSlider()->setValue(40);
  EXPECT_EQ(document().column(8)->width(), 40 * 12700);
}

TEST_F(FormatSizeTest, TheRowPaneMakesOneStepPerSelection) {
  document().setSelectionRange({{kGridWildcard, 1}, {kGridWildcard, 2}});
  auto* rows = pane<CAFormatRowVC>(kPanelRow);
  ASSERT_NE(rows, nullptr);
  const int32_t before = steps();
  for (int points : {20, 30, 36}) rows->heightSlider()->setValue(points);
  EXPECT_EQ(steps(), before + 1);
  for (int64_t y : {1, 2}) EXPECT_EQ(document().row(y)->minimumHeight(), 36 * 12700) << y;
  EXPECT_EQ(document().row(3), nullptr);
  EXPECT_EQ(LengthFromControl(rows->heightField()), 36 * 12700);

  document().setSelectionPoint({0, 5});
  EXPECT_EQ(LengthFromControl(rows->heightField()), 0);
  type(rows->heightField(), QStringLiteral("24"));
  EXPECT_EQ(steps(), before + 2);
  EXPECT_EQ(document().row(5)->minimumHeight(), 24 * 12700);
  // An edit that ends without typing changes nothing.
  rows->heightField()->setFocus();
  QTest::keyClick(rows->heightField(), Qt::Key_Return);
  EXPECT_EQ(steps(), before + 2);
}

// A text of several lines spreads as far as the widest line its row shows, whichever way the
// row's height changes: the Row pane, the document's default row height, their undo and redo,
// and an open of the saved file.
TEST_F(FormatSizeTest, EveryChangeOfARowsHeightLaysItsTextOfSeveralLinesOutAgain) {
  QTemporaryDir folder;
  const QString csv = folder.filePath(QStringLiteral("notes.csv"));
  ASSERT_TRUE(WriteFileBytes(csv, "Name,Note\nA,\"ab\nsecond line is much longer than the first one, far longer\"\n"
                                  "B,plain\n"));
  FLError error;
  ASSERT_NE(document().openFile(csv, &error), 0) << error.reason.toStdString();
  document().evaluate();
  const auto spread = [&]() -> uint64_t {
    const CACell* note = document().cellAtGridPoint({1, 1});
    return note ? note->extraColumns() : uint64_t(-1);
  };
  const auto overflowed = [&](int64_t x) {
    const CACell* cell = document().cellAtGridPoint({x, 1});
    return cell && cell->valueType() == kValueOverflow;
  };
  ASSERT_NE(document().cellAtGridPoint({1, 1}), nullptr);
  ASSERT_EQ(spread(), 0u);  // one line shown: "ab"

  auto* rows = pane<CAFormatRowVC>(kPanelRow);
  ASSERT_NE(rows, nullptr);
  document().setSelectionPoint({0, 1});
  type(rows->heightField(), QStringLiteral("60"));
  const uint64_t wide = spread();
  EXPECT_GE(wide, 2u);
  EXPECT_TRUE(overflowed(2));
  EXPECT_TRUE(overflowed(3));
  for (int round = 0; round < 2; ++round) {
    controller.undoEdit();
    EXPECT_EQ(spread(), 0u) << round;
    EXPECT_FALSE(overflowed(2)) << round;
    controller.redoEdit();
    EXPECT_EQ(spread(), wide) << round;
    EXPECT_TRUE(overflowed(3)) << round;
  }
  const QString saved = folder.filePath(QStringLiteral("notes.Numlet"));
  ASSERT_TRUE(document().saveToNativeFile(saved, false, &error)) << error.reason.toStdString();
  CADocument reopened;
  ASSERT_NE(reopened.openFile(saved, &error), 0) << error.reason.toStdString();
  reopened.evaluate();
  const CACell* read = reopened.cellAtGridPoint({1, 1});
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->extraColumns(), wide);
  controller.undoEdit();
  ASSERT_EQ(spread(), 0u);

  auto* size = pane<CAFormatDocSizeVC>(kPanelDocument);
  ASSERT_NE(size, nullptr);
  size->heightSlider()->setValue(60);
  EXPECT_EQ(spread(), wide);
  EXPECT_TRUE(overflowed(2));
  controller.undoEdit();
  EXPECT_EQ(spread(), 0u);
  EXPECT_FALSE(overflowed(2));
  controller.redoEdit();
  EXPECT_EQ(spread(), wide);
}

TEST_F(FormatSizeTest, TheDocumentSizePaneFoldsByControlAndResetsAlone) {
  auto* size = pane<CAFormatDocSizeVC>(kPanelDocument);
  ASSERT_NE(size, nullptr);
  const int32_t before = steps();
  const struct {
    std::function<void()> change;
    int32_t steps;
    int64_t digits, width, height;
  } cases[] = {
      {[&] { size->digitField()->setValue(6); }, 1, 6, digitWidth(6), 0},
      {[&] { size->widthSlider()->setValue(90); }, 1, -1, 90 * 12700, 0},  // same control
      {[&] { size->heightSlider()->setValue(30); }, 2, -1, 90 * 12700, 30 * 12700},
      {[&] { size->heightSlider()->setValue(32); }, 2, -1, 90 * 12700, 32 * 12700},
      {[&] { size->resetWidthButton()->click(); }, 3, -1, 90 * 12700, 32 * 12700},
      {[&] { size->resetWidthButton()->click(); }, 4, -1, 90 * 12700, 32 * 12700},
      {[&] { size->resetHeightButton()->click(); }, 5, -1, 90 * 12700, 32 * 12700},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    cases[i].change();
    EXPECT_EQ(steps(), before + cases[i].steps) << i;
    EXPECT_EQ(document().defaultDigitCount(), cases[i].digits) << i;
    EXPECT_NEAR(LengthFromControl(size->widthField()), cases[i].width, kShownStep) << i;
    EXPECT_EQ(document().minimumHeight(), cases[i].height) << i;
  }
}

TEST_F(FormatSizeTest, TheDocumentTextPaneSetsTheDefaultFormatAndFont) {
  auto* text = pane<CAFormatDocTextVC>(kPanelDocument);
  auto* size = pane<CAFormatDocSizeVC>(kPanelDocument);
  ASSERT_NE(text, nullptr);
  ASSERT_NE(size, nullptr);
  size->digitField()->setValue(10);
  const int32_t before = steps();
  text->boldButton()->click();
  text->strikeButton()->click();
  text->alignmentControl()->button(3)->click();
  EXPECT_EQ(steps(), before + 3);  // each its own step
  const CAFormat& format = document().defaultFormat();
  EXPECT_TRUE(format.bold());
  EXPECT_TRUE(format.strike());
  EXPECT_FALSE(format.italic());
  EXPECT_EQ(format.alignment(), kAlignmentRight);
  controller.undoEdit();
  EXPECT_EQ(text->alignmentControl()->checkedId(), 0);

  // A new font: one step for the changes the dialog sends, shown in both panes.
  QFont font = document().font();
  font.setPointSizeF(font.pointSizeF() * 2);
  text->changeFont(font);
  font.setPointSizeF(font.pointSizeF() + 1);
  text->changeFont(font);
  text->changeFont(font);  // the same font: nothing
  EXPECT_EQ(steps(), before + 3);
  EXPECT_EQ(document().font().pointSizeF(), font.pointSizeF());
  EXPECT_TRUE(text->fontDisplayField()->text().endsWith(QString::number(font.pointSizeF(), 'f', 1) + " pt."));
  EXPECT_NEAR(LengthFromControl(size->widthField()), digitWidth(10), kShownStep);
  controller.undoEdit();
  EXPECT_NE(document().font().pointSizeF(), font.pointSizeF());
}

// The pane's Font button works as the window's font panel does: it starts from the sheet's font
// in the style of its face, each choice changes that and keeps the rest, and a text that
// overflows takes the room its new size needs at once.
TEST_F(FormatSizeTest, TheFontButtonStartsFromTheSheetsFontAndChangesOnlyWhatIsChosen) {
  auto* text = pane<CAFormatDocTextVC>(kPanelDocument);
  ASSERT_NE(text, nullptr);
  QFont start(QStringLiteral("DejaVu Sans"), 12);
  start.setWeight(QFont::Bold);
  document().setFont(start);
  // Columns of a set width: widths counted in digits would grow with the font.
  document().setDefaultDigitCount(-1);
  document().setDefaultWidth(72 * kEmuPerPoint);
  document().cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("A text a little longer than its cell"));
  document().evaluate();
  const CACell* cell = document().cellAtGridPoint({0, 0});
  const uint64_t overflow = cell->extraColumns();
  ASSERT_GE(overflow, 1u);
  QPushButton* button = nullptr;
  for (QPushButton* candidate : text->view()->findChildren<QPushButton*>()) {
    if (candidate->text().startsWith(QStringLiteral("Font"))) button = candidate;
  }
  ASSERT_NE(button, nullptr);
  button->click();
  QFontDialog* dialog = text->fontPanel();
  ASSERT_TRUE(dialog && dialog->isVisible());
  const QList<QListView*> lists = dialog->findChildren<QListView*>();
  ASSERT_GE(lists.size(), 3);
  EXPECT_EQ(lists[1]->currentIndex().data().toString(), QStringLiteral("Bold"));
  const struct {
    int list;
    const char* entry;
    const char* family;
    QFont::Weight weight;
    double size;
  } steps[] = {
      {0, "Liberation Serif", "Liberation Serif", QFont::Bold, 12},
      {1, "Regular", "Liberation Serif", QFont::Normal, 12},
      {2, "28", "Liberation Serif", QFont::Normal, 28},
      {0, "DejaVu Sans Mono", "DejaVu Sans Mono", QFont::Normal, 28},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.entry);
    ChooseInFontPanelList(lists[step.list], QLatin1String(step.entry));
    const QFont font = document().font();
    EXPECT_EQ(font.family(), QLatin1String(step.family));
    EXPECT_EQ(font.weight(), step.weight);
    EXPECT_FALSE(font.italic());
    EXPECT_DOUBLE_EQ(font.pointSizeF(), step.size);
  }
  const uint64_t shown = cell->extraColumns();
  EXPECT_GT(shown, overflow);
  document().recalcEverything();
  document().evaluate();
  EXPECT_EQ(cell->extraColumns(), shown);
  dialog->hide();
}

TEST_F(FormatSizeTest, TheFilePaneMakesAStepForEachChange) {
  auto* file = pane<CAFormatDocFileVC>(kPanelDocument);
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(file->noPreviewButton()->isChecked());
  const int32_t before = steps();
  file->noPreviewButton()->click();
  file->makeBackupButton()->click();
  file->makeBackupButton()->click();
  EXPECT_EQ(steps(), before + 3);
  EXPECT_TRUE(document().noPreview());
  EXPECT_TRUE(document().makeBackups());
  controller.undoEdit();
  EXPECT_FALSE(document().makeBackups());
  EXPECT_FALSE(file->makeBackupButton()->isChecked());
}

}  // namespace
