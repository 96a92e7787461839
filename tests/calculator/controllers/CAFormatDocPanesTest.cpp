// The document content and print panes: stripe rules, padding, header templates and samples,
// and which changes fold into one undo step.
#include "calculator/controllers/CAFormatDocContentVC.h"
#include "calculator/controllers/CAFormatDocPrintVC.h"
#include "calculator/controllers/CAWindowController.h"

#include "calculator/model/CADocument.h"
#include "calculator/model/caUndoArchives.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/shell/FLUndoManager.h"

#include <QCheckBox>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr Kolor kRed = 0x640000FF;

class DocPaneTest : public testing::Test {
 protected:
  DocPaneTest() {
    FLKernel::sharedInstance();
    controller.prepareToShow();
  }
  CADocument& document() { return *controller.document(); }
  int32_t steps() { return controller.undoManager()->currentEntry(); }
  uint32_t lastDescriptor() {
    uint32_t action = 0;
    uint32_t descriptor = 0;
    controller.undoManager()->dataForCurrentUndoAction(&action, &descriptor);
    return descriptor;
  }
  template <class Pane>
  void show(Pane& pane) {
    pane.setDocument(&document());
    pane.view()->show();
  }

  CAWindowController controller;
};

TEST_F(DocPaneTest, StripeBoxIntervalAndColourFollowOneAnother) {
  using Content = CAFormatDocContentVC;
  const struct {
    const char* what;
    uint64_t interval;
    Kolor kolor;
    std::function<void(Content&)> change;
    uint64_t expectedInterval;
    Kolor expectedKolor;
    bool checked;
    int shownInterval;
  } cases[] = {
      {"on without colour", 0, kNoKolor, [](Content& p) { p.toggleStripe(true); }, 2, kDefaultStripeKolor, true, 2},
      {"on keeps interval", 5, kNoKolor, [](Content& p) { p.toggleStripe(true); }, 5, kDefaultStripeKolor, true, 5},
      {"off", 4, kRed, [](Content& p) { p.toggleStripe(false); }, 0, kRed, false, 0},
      {"no colour keeps interval", 3, kRed, [](Content& p) { p.setKolor(kNoKolor); }, 3, kNoKolor, false, 0},
      {"colour brings interval", 3, kNoKolor, [](Content& p) { p.setKolor(kRed); }, 3, kRed, true, 3},
      {"colour gives 2", 0, kNoKolor, [](Content& p) { p.setKolor(kRed); }, 2, kRed, true, 2},
      {"interval gives colour", 0, kNoKolor, [](Content& p) { p.setStripeInterval(4); }, 4, kDefaultStripeKolor, true, 4},
      {"interval 0", 4, kRed, [](Content& p) { p.setStripeInterval(0); }, 0, kRed, false, 0},
  };
  for (const auto& c : cases) {
    document().setStripeInterval(c.interval);
    document().setStripeKolor(c.kolor);
    Content pane;
    show(pane);
    c.change(pane);
    EXPECT_EQ(document().stripeInterval(), c.expectedInterval) << c.what;
    EXPECT_EQ(document().stripeKolor(), c.expectedKolor) << c.what;
    EXPECT_EQ(pane.stripeButton()->isChecked(), c.checked) << c.what;
    EXPECT_EQ(pane.stripeField()->value(), c.shownInterval) << c.what;
  }
}

TEST_F(DocPaneTest, PaddingIsStoredAPointAboveWhatIsShownInOneStepPerControl) {
  CAFormatDocContentVC pane;
  show(pane);
  const int32_t before = steps();
  pane.leftRightSlider()->setValue(4);
  pane.leftRightSlider()->setValue(0);
  EXPECT_EQ(document().cellPadding().x, 12700);
  EXPECT_EQ(steps(), before + 1);
  pane.topBottomSlider()->setValue(3);
  EXPECT_EQ(document().cellPadding().y, 4 * 12700);
  EXPECT_EQ(steps(), before + 2);
  EXPECT_EQ(lastDescriptor(), uint32_t(kUndoDocumentFormat));
  pane.overlapButton()->click();
  EXPECT_EQ(document().constrainText(), !pane.overlapButton()->isChecked());
  EXPECT_EQ(steps(), before + 3);
  controller.undoManager()->undo();
  controller.undoManager()->undo();
  EXPECT_EQ(document().cellPadding().x, 12700);
}

TEST(HeaderString, KeepsOnlyPositionsWithAVariable) {
  const struct {
    HeaderVariables variables;
    const char* text;
  } cases[] = {
      {{0, 0, 0}, ""},
      {{0, 5, 0}, "c=pofp"},
      {{4, 0, 3}, "l=p;r=f"},
      {{1, 2, 7}, "l=d;c=d+;r=t"},
      {{0, 6, 0}, "c=p/p"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HeaderString(c.variables).toStdString(), c.text);
    HeaderVariables read{};
    InterpretHeaderString(QString::fromLatin1(c.text), read);
    EXPECT_EQ(read, c.variables) << c.text;
  }
}

TEST_F(DocPaneTest, HeaderChoicesSetTheTemplateAndTheSample) {
  CAFormatDocPrintVC pane;
  show(pane);
  const int32_t before = steps();
  pane.changeHeaderFooter(CAFormatDocPrintVC::kHeaderRow, 1, 5);
  EXPECT_EQ(document().header().toStdString(), "c=pofp");
  EXPECT_EQ(pane.headerSample()->text().toStdString(), "\t1 of 5\t");
  pane.changeHeaderFooter(CAFormatDocPrintVC::kHeaderRow, 1, 0);
  EXPECT_TRUE(document().header().isEmpty());
  EXPECT_TRUE(pane.headerSample()->text().isEmpty());
  // One step for the row's changes, another for the footer's.
  EXPECT_EQ(steps(), before + 1);
  EXPECT_EQ(lastDescriptor(), uint32_t(kUndoHeaderFooter));
  pane.changeHeaderFooter(CAFormatDocPrintVC::kFooterRow, 2, 4);
  EXPECT_EQ(document().footer().toStdString(), "r=p");
  EXPECT_EQ(steps(), before + 2);
  // Showing the document again reads the templates back.
  pane.selectionChanged();
  EXPECT_EQ(pane.variables(CAFormatDocPrintVC::kFooterRow), (HeaderVariables{0, 0, 4}));
}

TEST_F(DocPaneTest, MarginsFoldPerSliderAndPrintOptionsStepEachTime) {
  CAFormatDocPrintVC pane;
  show(pane);
  const int32_t before = steps();
  pane.leftSlider()->setValue(30);
  pane.leftSlider()->setValue(36);
  EXPECT_EQ(document().leftMargin(), 36 * 12700);
  EXPECT_EQ(steps(), before + 1);
  EXPECT_EQ(lastDescriptor(), uint32_t(kUndoMargins));
  pane.offsetSlider()->setValue(20);
  EXPECT_EQ(document().headerOffset(), 20 * 12700);
  EXPECT_EQ(lastDescriptor(), uint32_t(kUndoHeaderFooter));
  const bool grid = document().printGrid();
  pane.gridLinesButton()->click();
  pane.gridLinesButton()->click();
  EXPECT_EQ(document().printGrid(), grid);
  EXPECT_EQ(steps(), before + 4);
  EXPECT_EQ(lastDescriptor(), uint32_t(kUndoPrintOptions));
  controller.undoManager()->undo();
  EXPECT_EQ(document().printGrid(), !grid);
}

}  // namespace
