// Find and replace over a 10 x 10 sheet: each option of the find panel, both directions, the
// wrap-around, and replacing as one undo step.
#include "UndoTestSupport.h"

#include <string>
#include <vector>

namespace {

class FindTest : public EditTest {
 protected:
  FindTest() {
    for (int64_t y = 0; y < 10; ++y)
      for (int64_t x = 0; x < 10; ++x)
        document.cellAtGridPointImperative({x, y})->setFormula(QStringLiteral("cell %1 %2").arg(x).arg(y));
    enter("B2", "Apple pie");
    enter("E5", "apple");
    enter("H9", "pineapple");
    enter("J10", "7");
    document.evaluate();
  }

  void settings(const char* text, uint32_t options) {
    CAModelPreferences preferences;
    preferences.searchString = QString::fromUtf8(text);
    preferences.searchOptionMask = options;
    environment.set(preferences);
  }

  // The cells found one after another (the first from the sheet's start), "beep" where a
  // search fails, for as many searches as asked.
  std::vector<std::string> walk(bool forward, int searches) {
    std::vector<std::string> found;
    for (int i = 0; i < searches; ++i) {
      const int beeps = environment.beeps;
      if (document.find(forward, i == 0)) {
        found.push_back(FormatGridPoint(document.activeCellPoint()).toStdString());
      } else {
        EXPECT_EQ(environment.beeps, beeps + 1);
        found.push_back("beep");
      }
    }
    return found;
  }
};

TEST_F(FindTest, EachOptionFindsItsCellsInRowOrder) {
  using Found = std::vector<std::string>;
  const struct { const char* text; uint32_t options; bool forward; Found expected; } cases[] = {
      {"apple", kSearchIgnoreCase, true, {"B2", "E5", "H9", "beep"}}, {"apple", 0, true, {"E5", "H9", "beep"}},
      {"apple", kSearchIgnoreCase | kSearchWholeWords, true, {"B2", "E5", "beep"}},
      {"apple", kSearchIgnoreCase | kSearchWrap, true, {"B2", "E5", "H9", "B2"}},
      {"apple", kSearchIgnoreCase, false, {"H9", "E5", "B2", "beep"}},
      {"apple", kSearchIgnoreCase | kSearchWrap, false, {"H9", "E5", "B2", "H9"}},
      // Whole words only apply to a text of one word.
      {"APPLE PIE", kSearchIgnoreCase | kSearchWholeWords, true, {"B2", "beep"}},
      {"cell 8 9", 0, false, {"I10", "beep"}}, {"missing", kSearchWrap, true, {"beep"}},
  };
  for (const auto& test : cases) {
    settings(test.text, test.options);
    EXPECT_EQ(walk(test.forward, int(test.expected.size())), test.expected) << test.text << " " << test.options;
  }
}

TEST_F(FindTest, ShownNumbersAndFirstRowsAreFound) {
  CAModelPreferences preferences;
  preferences.searchString = QStringLiteral("7");
  preferences.searchScope = kFindShown;
  environment.set(preferences);
  EXPECT_TRUE(document.find(true, true));
  EXPECT_EQ(document.activeCellPoint(), A1("J10"));

  enter("C1", "first");
  settings("first", 0);
  document.setSelectionPoint(A1("E5"));
  EXPECT_TRUE(document.find(false, false));
  EXPECT_EQ(document.activeCellPoint(), A1("C1"));
  EXPECT_GT(window.focuses, 0);
}

TEST_F(FindTest, TheOnlyMatchInTheActiveCellIsFoundAgainAfterWrapping) {
  settings("pineapple", kSearchWrap);
  document.setSelectionPoint(A1("H9"));
  EXPECT_TRUE(document.find(true, false));
  EXPECT_TRUE(document.find(false, false));
  EXPECT_EQ(document.activeCellPoint(), A1("H9"));
  settings("pineapple", 0);
  EXPECT_FALSE(document.find(true, false));
}

TEST_F(FindTest, ReplacingEverywhereIsOneStepAndNothingToReplaceLeavesNone) {
  settings("", kSearchIgnoreCase);
  expectUndoAndRedo([&] { EXPECT_EQ(document.replace(QStringLiteral("apple"), QStringLiteral("pear"), true), 3); });
  EXPECT_EQ(text("H9"), QStringLiteral("pinepear"));
  EXPECT_EQ(window.archiver.descriptors.back(), uint32_t(kUndoReplace));

  const uint32_t steps = window.manager.inUseCount();
  EXPECT_EQ(document.replace(QStringLiteral("quince"), QStringLiteral("pear"), true), 0);
  EXPECT_EQ(window.manager.inUseCount(), steps);

  // Only the active cell.
  document.setSelectionPoint(A1("E5"));
  EXPECT_EQ(document.replace(QStringLiteral("pear"), QStringLiteral("plum"), false), 1);
  EXPECT_EQ(text("E5"), QStringLiteral("plum"));
  EXPECT_EQ(text("B2"), QStringLiteral("pear pie"));
}

TEST_F(FindTest, AReplacementMovesTheFormulasThatReadTheCell) {
  enter("A1", "2");
  enter("A2", "=A1*3");
  document.evaluate();
  settings("", 0);
  document.setSelectionPoint(A1("A1"));
  EXPECT_EQ(document.replace(QStringLiteral("2"), QStringLiteral("5"), false), 1);
  EXPECT_EQ(value("A2"), QStringLiteral("15"));
}

}  // namespace
