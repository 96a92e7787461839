// What of a text a view of a given extent shows: its first lines, each cut after the characters
// its width holds, breaks kept, a surrogate pair never split, the rest of a cut line passed over.
#include "calculator/views/caShownText.h"

#include <gtest/gtest.h>

namespace {

TEST(ShownText, TheFirstLinesEachCutToTheWidth) {
  const struct {
    const char* text;
    qsizetype lines, across;
    const char* shown;
    bool cut;
  } cases[] = {
      {"", 2, 4, "", false},
      {"abc", 1, 3, "abc", false},
      {"abcdef", 1, 3, "abc", true},
      {"abcdef\nxy", 2, 3, "abc\nxy", true},
      {"ab\ncdefgh\nij", 3, 4, "ab\ncdef\nij", true},
      {"ab\ncd\nef", 2, 9, "ab\ncd", true},
      {"ab\r\ncd\r\nef", 2, 9, "ab\r\ncd", true},
      {"ab\r\ncd", 2, 9, "ab\r\ncd", false},
      {"ab\n", 2, 9, "ab\n", false},
      {"abc\n", 1, 3, "abc", true},
      // U+2028 and U+2029 break lines as the text view breaks them.
      {"ab\u2028cdef", 2, 2, "ab\u2028cd", true},
      // A pair at the cut stays whole: U+1D400 is two code units.
      {"a\U0001D400bc", 1, 2, "a\U0001D400", true},
      {"\U0001D400\U0001D400", 1, 1, "\U0001D400", true},
  };
  for (const auto& c : cases) {
    bool cut = !c.cut;
    const QString shown = ShownPartOfText(QString::fromUtf8(c.text), CAShownExtent{c.lines, c.across}, &cut);
    EXPECT_EQ(shown, QString::fromUtf8(c.shown)) << c.text;
    EXPECT_EQ(cut, c.cut) << c.text;
  }
}

TEST(ShownText, TheExtentOfAViewHoldsEveryLineThatShowsInPart) {
  const struct {
    QSize pixels;
    double spacing;
    qsizetype lines, across;
  } cases[] = {
      {QSize(600, 40), 20.0, 3, 601},
      {QSize(600, 41), 20.0, 4, 601},
      {QSize(0, 0), 15.0, 1, 1},
      {QSize(-5, -5), 0.0, 1, 1},
  };
  for (const auto& c : cases) {
    const CAShownExtent extent = ShownExtentOfSize(c.pixels, c.spacing);
    EXPECT_EQ(extent.lines, c.lines) << c.pixels.width() << "x" << c.pixels.height();
    EXPECT_EQ(extent.across, c.across) << c.pixels.width() << "x" << c.pixels.height();
  }
}

}  // namespace
