#include "glimmet/layout/gmSelection.h"

#include "glimmet/layout/gmSelectKeys.h"
#include "glimmet/storage/StorageTestSupport.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmTables.h"

#include <gtest/gtest.h>

namespace {

TEST(Selection, SentenceLimits) {
  struct Case {
    const char* text;
    uint32_t cp;
    uint32_t limit;
  };
  const Case cases[] = {
      {"One two. Three four.", 2, 9},      // after the period and its space
      {"One two. Three four.", 9, 20},     // the last sentence runs to the paragraph's end
      {"Pi is 3.14 here. Next", 0, 17},    // a period before a digit ends nothing
      {"Say \"hi.\" Then", 0, 10},         // closing quotes stay with their sentence
      {"Tab\tstops", 0, 4},                // a tab ends a sentence after it
      {"Done.   ", 3, 6},                  // one space after the period ends it
  };
  for (const Case& c : cases) {
    GlimmetDocPtr doc = DocWithBody(QString::fromLatin1(c.text));
    EXPECT_EQ(SentenceLimit(doc.get(), kBody + c.cp), kBody + c.limit) << c.text << " at " << c.cp;
  }
}

TEST(Selection, RealTextBounds) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("alpha, beta  gamma"));
  struct Case {
    uint32_t cp;
    uint32_t start;  // StartOfRealText
    uint32_t end;    // EndOfRealText
  };
  const Case cases[] = {{3, 0, 5}, {5, 0, 11}, {9, 7, 11}, {13, 7, 18}};
  const uint32_t ceiling = kBody + 18;
  for (const Case& c : cases) {
    EXPECT_EQ(StartOfRealText(doc.get(), kBody + c.cp, kBody), kBody + c.start) << c.cp;
    EXPECT_EQ(EndOfRealText(doc.get(), kBody + c.cp, ceiling), kBody + c.end) << c.cp;
  }
  EXPECT_EQ(StartOfRealText(doc.get(), kBody, kBody), kBody);
}

TEST(Selection, DraggingAcrossTheAnchorKeepsTheAnchorUnit) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("one two three"));
  // The anchor word "two " is [4, 8); the anchor is its start.
  struct Step {
    uint32_t cp;
    int32_t first, limit;
  };
  const Step steps[] = {{13, 4, 13}, {0, 0, 8}, {6, 4, 8}, {10, 4, 10}};
  int32_t first = int32_t(kBody) + 4, limit = int32_t(kBody) + 8;
  uint32_t anchor = kBody + 4;
  for (const Step& step : steps) {
    EXPECT_TRUE(ChangeTextSelection(doc.get(), kBody + step.cp, &anchor, &first, &limit, kBody + 4, kBody + 8));
    EXPECT_EQ(first - int32_t(kBody), step.first) << step.cp;
    EXPECT_EQ(limit - int32_t(kBody), step.limit) << step.cp;
  }
}

TEST(Selection, SafeMovesOffParagraphMarks) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("ab\n\ncd"));
  struct Case {
    uint32_t cp;
    uint32_t flags;
    uint32_t expected;
  };
  const Case cases[] = {
      {2, 0, 4},                          // forward off the mark of "ab", on over the empty paragraph
      {2, kSafeBackward, 1},              // backward onto the character before the mark
      {3, kSafeBackward, 3},              // a paragraph of nothing but its mark keeps the caret
      {2, kSafeKeepMarks, 2},             // marks allowed: no move
      {5, kSafeKeepMarks | kSafeRangeEnd, 5},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SafeMoveCp(doc.get(), kBody + c.cp, kGMNone, c.flags), kBody + c.expected) << c.cp << " " << c.flags;
}

TEST(Selection, SelectingSetsTheRangeAndTheInsertionProperties) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("alpha beta"));
  SelectCpsCore(doc.get(), kBody + 2, kBody + 6, false, false);
  Pane* pane = CurrentPane(doc.get());
  EXPECT_EQ(pane->selFirst, int32_t(kBody) + 2);
  EXPECT_EQ(pane->selLimit, int32_t(kBody) + 6);
  EXPECT_EQ(pane->caretX, -1.0f);
  EXPECT_EQ(pane->activeEnd, kActiveNone);
  // A limit past the pane is held to it.
  SelectCpsCore(doc.get(), kBody + 3, 100000, false, false);
  EXPECT_LE(uint32_t(pane->selLimit), PaneSelectionLimit(doc.get(), pane));
}

// "ab" and its mark, then the eight kinks of a second chapter's knot before "cd".
TEST(Selection, ADragLeftOnALaterChaptersKnotTakesTheWholeKnotInPlainPanes) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("ab\ncd"));
  DocRange at{doc.get(), kBody + 3, kBody + 3};
  ASSERT_TRUE(InsertKnotCore(&at, kKnotChapter, 0, 0, nullptr, 0, nullptr, false));
  ASSERT_EQ(doc->chapterCps.count(), 2u);
  doc->singleRange = true;
  const uint32_t knot = kBody + 3, knotLimit = KnotLimitCp(doc.get(), knot);
  ASSERT_EQ(knotLimit, knot + 8);
  Pane* pane = CurrentPane(doc.get());
  const struct {
    int32_t contentsKind;
    uint32_t first, limit;                // the dragged selection
    uint32_t expectFirst, expectLimit;    // as the drag leaves it
  } cases[] = {
      {kPaneContentsPlain, knot + 1, knot + 4, knot, knotLimit},
      {kPaneContentsPlain, knot, knotLimit, knot, knotLimit},
      {0, knot + 1, knot + 4, knotLimit, knotLimit},          // other panes keep the caret after it
      {kPaneContentsPlain, 1, 4, kBody, kBody},               // the first chapter's knot: a caret
      {kPaneContentsPlain, kBody, kBody + 2, kBody, kBody + 2},  // text stays as dragged
  };
  for (const auto& c : cases) {
    pane->contentsKind = c.contentsKind;
    pane->selFirst = int32_t(c.first);
    pane->selLimit = int32_t(c.limit);
    DocRange chapter;
    const DocRange tidied = TidyDraggedSelection(doc.get(), pane, &chapter);
    EXPECT_EQ(tidied, (DocRange{doc.get(), c.expectFirst, c.expectLimit}))
        << c.contentsKind << " " << c.first << "-" << c.limit;
  }
}

TEST(Selection, CellSelectionsEnumerateRowByRow) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("x"));
  const uint8_t saved = g_glimmetConfig.tableOption;
  g_glimmetConfig.tableOption = 1;
  DocRange table;
  ASSERT_TRUE(NewTableCore(doc.get(), kBody, 2, 3, &table));
  g_glimmetConfig.tableOption = saved;
  Pane* pane = CurrentPane(doc.get());
  pane->selFirst = int32_t(table.first);
  pane->selLimit = int32_t(table.limit);
  pane->cellFirst = 1;
  pane->cellLimit = 3;
  SelectionEnumRec rec;
  InitSelectionEnum(doc.get(), pane, &rec);
  std::vector<std::pair<uint32_t, uint32_t>> ranges;
  while (NextSelectionRange(&rec)) ranges.emplace_back(rec.first, rec.limit);
  ASSERT_EQ(ranges.size(), 4u);
  KnotInfo tableInfo, row;
  ASSERT_TRUE(FetchTable(doc.get(), table.first + 1, &tableInfo, &row, nullptr));
  DocRange cell;
  IndexAndRangeForCell(&tableInfo, &row, kGMNone, 1, &cell);
  EXPECT_EQ(ranges[0], std::make_pair(cell.first, cell.limit));
  EXPECT_LT(ranges[1].first, ranges[2].first);
  // A text selection is one range.
  pane->cellFirst = pane->cellLimit = -1;
  InitSelectionEnum(doc.get(), pane, &rec);
  EXPECT_TRUE(NextSelectionRange(&rec));
  EXPECT_FALSE(NextSelectionRange(&rec));
}

}  // namespace
