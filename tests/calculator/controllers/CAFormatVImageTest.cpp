// The picture pane: the slider's scale, a chosen picture fitted to its cell, and the scale set
// from the fields as one step per shown cell.
#include "calculator/controllers/CAFormatVImageVC.h"
#include "calculator/controllers/CAWindowController.h"
#include "calculator/controllers/caPictureScale.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/shell/FLUndoManager.h"
#include "support/EventWaits.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(PictureSlider, RunsLinearlyToOneHundredPercentAndLogarithmicallyBeyond) {
  const struct {
    double percent;
    double position;
  } cases[] = {{1, 0.0}, {51, 0.5}, {100, 1.0}, {200, 1.25}, {400, 1.5}, {1600, 2.0}};
  for (const auto& c : cases) {
    EXPECT_NEAR(PictureSliderForScale(std::llround(c.percent * 12700)), c.position, 1e-6) << c.percent;
    EXPECT_NEAR(PicturePercentForSlider(c.position), c.percent, c.percent * 1e-6) << c.position;
  }
  EXPECT_EQ(PictureSliderForScale(1270000), 1.0);
  EXPECT_EQ(PicturePercentForSlider(1.0), 100.0);
}

class PicturePaneTest : public testing::Test {
 protected:
  PicturePaneTest() {
    FLKernel::sharedInstance();
    controller.prepareToShow();
    document().setSelectionPoint({1, 1});
    pane.setDocument(&document());
    pane.view()->show();
  }
  CADocument& document() { return *controller.document(); }
  int32_t steps() { return controller.undoManager()->currentEntry(); }
  const CACell* cell() { return document().cellAtGridPoint({1, 1}); }
  void type(QLineEdit* field, int64_t value) {
    SetPictureFieldValue(field, value);
    const QString text = field->text();
    field->clear();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
  }

  CAWindowController controller;
  CAFormatVImageVC pane;
};

TEST_F(PicturePaneTest, AChosenPictureFitsItsCellAndTheFieldsSetItsScale) {
  const int32_t before = steps();
  pane.openPanelEnded(true, QStringLiteral(TAMSEL_TEST_DATA_DIR "/images/not-there.png"));
  EXPECT_EQ(cell(), nullptr);
  EXPECT_EQ(steps(), before);
  pane.openPanelEnded(true, QStringLiteral(TAMSEL_TEST_DATA_DIR "/images/opaque-3x2.png"));
  ASSERT_NE(cell(), nullptr);
  EXPECT_EQ(cell()->valueType(), kValuePicture);
  EXPECT_EQ(cell()->imageScale(), 0);
  EXPECT_EQ(steps(), before + 1);
  ASSERT_TRUE(WaitPastDelay(150));  // the pane shows the cell again
  EXPECT_TRUE(pane.scaleToFitButton()->isChecked());
  EXPECT_TRUE(pane.widthField()->text().isEmpty());
  // Changes before the cell is shown again make one step: 200 %, a width of 12 points (400 %),
  // the slider's end.
  type(pane.scalingField(), 200 * 12700);
  EXPECT_EQ(cell()->imageScale(), 200 * 12700);
  type(pane.widthField(), 12 * 12700);
  EXPECT_EQ(cell()->imageScale(), 400 * 12700);
  pane.scalingSlider()->setValue(2000);
  EXPECT_NEAR(cell()->imageScale(), 1600 * 12700, 127);
  EXPECT_EQ(steps(), before + 2);
  ASSERT_TRUE(WaitPastDelay(150));
  EXPECT_FALSE(pane.scaleToFitButton()->isChecked());
  EXPECT_EQ(PictureFieldValue(pane.widthField(), 0), 48 * 12700);  // 3 points at 1600 %
  EXPECT_EQ(pane.scalingSlider()->value(), 2000);
  pane.scaleToFitButton()->click();
  EXPECT_EQ(cell()->imageScale(), 0);
  EXPECT_EQ(steps(), before + 3);
  controller.undoEdit();
  EXPECT_EQ(steps(), before + 2);
  EXPECT_EQ(cell()->valueType(), kValuePicture);
  // The cell's archive carries the scale, so undoing brings it back.
  EXPECT_NEAR(cell()->imageScale(), 1600 * 12700, 127);
}

}  // namespace
