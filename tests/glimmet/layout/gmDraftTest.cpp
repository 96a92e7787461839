// The draft of a shown pane on the fixed-advance typesetter: ten one-line paragraphs "line0" to
// "line9", 13 points a line, in a view 200 points wide (176 points of text between the 12-point
// side margins) and 50 points high.
#include "glimmet/layout/gmDraft.h"

#include "glimmet/layout/gmLineFormat.h"
#include "glimmet/layout/gmLocate.h"
#include "glimmet/layout/gmSelectKeys.h"
#include "glimmet/storage/StorageTestSupport.h"
#include "glimmet/storage/gmKnots.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

class FakeView : public GMPaneView {
 public:
  QRectF bounds() const override { return rect; }
  void setNeedsDisplay(const QRectF& r) override { dirty = dirty.united(r); }
  void setNeedsDisplay() override { all = true; }
  void noteNewScrollPosition(double vertical) override { position = vertical; }
  bool autoScroll(int direction, bool vertical) override {
    scrolls.emplace_back(direction, vertical);
    return true;
  }
  QRectF rect{0, 0, 200, 50};
  std::vector<std::pair<int, bool>> scrolls;
  QRectF dirty;
  bool all = false;
  double position = -1;
};

struct ShownDoc {
  FixedAdvanceTypesetter typesetter;
  TypesetterScope scope{&typesetter};
  FakeView view;
  GlimmetDocPtr doc;
  Pane* pane = nullptr;

  ShownDoc() {
    InstallDraftLayout();
    QStringList paragraphs;
    for (int i = 0; i < 10; ++i) paragraphs << QStringLiteral("line%1").arg(i);
    doc = DocWithBody(paragraphs.join(u'\n'));
    pane = CurrentPane(doc.get());
    pane->view = &view;
    pane->contentsKind = kPaneContentsPlain;
    doc->owner = &view;
    doc->fitToWindow = true;
  }
  ~ShownDoc() { doc->owner = nullptr; }
  // The body cp where paragraph i begins.
  static uint32_t Para(int i) { return kBody + 6 * uint32_t(i); }
  std::vector<uint32_t> LineCps() const {
    std::vector<uint32_t> cps;
    for (uint32_t i = 0; i < pane->lines.count(); ++i) cps.push_back(pane->lines.cpAt(i));
    return cps;
  }
};

TEST(Draft, LinesFillTheViewFromTheFirstDraftCp) {
  ShownDoc d;
  EXPECT_EQ(DraftWidth(d.doc.get(), d.pane), 176 * 12700);
  uint32_t count = 0;
  ASSERT_TRUE(CalculateLines(d.doc.get(), d.pane, &count));
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(d.LineCps(), (std::vector<uint32_t>{0, ShownDoc::Para(1), ShownDoc::Para(2), ShownDoc::Para(3)}));
  EXPECT_EQ(d.pane->lines.at(3).y, 39);
  EXPECT_EQ(d.pane->lines.at(3).x, 12);
  EXPECT_EQ(DraftLineStart(d.doc.get(), d.pane, ShownDoc::Para(2) + 3, 1), int32_t(ShownDoc::Para(3)));
  EXPECT_EQ(DraftLineStart(d.doc.get(), d.pane, ShownDoc::Para(2) + 3, 2), int32_t(ShownDoc::Para(3) - 1));
}

TEST(Draft, ScrollingMovesTheFirstLine) {
  struct Step {
    int32_t amount;
    int unit;
    uint32_t first;
  };
  const Step steps[] = {
      {-1, kScrollLine, 0},                     // back at the range's start: nothing
      {5, kScrollLine, ShownDoc::Para(1)},      // one line, whatever the amount
      {1, kScrollPage, ShownDoc::Para(3)},      // the last whole line becomes the first
      {-1, kScrollLine, ShownDoc::Para(2)},
      {int32_t(ShownDoc::Para(6) + 2), kScrollCp, ShownDoc::Para(6)},
      {-1, kScrollPage, ShownDoc::Para(3)},     // a page back: the lines that fill the view above
      {100000, kScrollCp, ShownDoc::Para(9)},   // past the end: the last line's start
  };
  ShownDoc d;
  for (const Step& step : steps) {
    ScrollVertDraft(d.doc.get(), d.pane, step.amount, step.unit);
    EXPECT_EQ(uint32_t(d.pane->firstDraftCp), step.first) << step.amount << " " << step.unit;
  }
  EXPECT_TRUE(d.view.all);
  EXPECT_EQ(d.view.position, double(ShownDoc::Para(9)));
}

TEST(Draft, EditsDirtyTheirLinesAndShiftTheRest) {
  ShownDoc d;
  ASSERT_TRUE(CalculateLines(d.doc.get(), d.pane, nullptr));
  ASSERT_TRUE(InsertText(d.doc.get(), ShownDoc::Para(2) + 1, QStringLiteral("x")));
  std::vector<int> dirty;
  for (uint32_t i = 0; i < d.pane->lines.count(); ++i) dirty.push_back(d.pane->lines.at(i).dirty);
  EXPECT_EQ(dirty, (std::vector<int>{0, 0, 1, 0}));
  EXPECT_EQ(d.pane->lines.cpAt(3), ShownDoc::Para(3) + 1);
  // The check after it formats the dirty line again and marks its rectangle for display.
  PostScrollCheck(d.doc.get(), d.pane);
  EXPECT_EQ(d.pane->lines.at(2).dirty, 0);
  EXPECT_TRUE(d.view.dirty.contains(QPointF(20, 30)));
}

// Deleting the second of two chapters leaves the pane showing one text: its lines go and are
// laid out again from the pane's start.
TEST(Draft, DeletingAChapterLaysThePaneOutAfresh) {
  ShownDoc d;
  DocRange at{d.doc.get(), ShownDoc::Para(5), ShownDoc::Para(5)};
  ASSERT_TRUE(InsertKnotCore(&at, kKnotChapter, 0, 0, nullptr, 0, nullptr, false));
  ASSERT_EQ(d.doc->chapterCps.count(), 2u);
  KnotInfo chapter;
  ASSERT_TRUE(FetchKnot(d.doc.get(), ShownDoc::Para(5), &chapter, kKnotChapter));
  ASSERT_TRUE(CalculateLines(d.doc.get(), d.pane, nullptr));
  ASSERT_GT(d.pane->lines.count(), 0u);
  d.view.all = false;
  ASSERT_TRUE(ReplaceRangeSimple(chapter.range(), nullptr, nullptr, 0));
  EXPECT_EQ(d.doc->chapterCps.count(), 1u);
  EXPECT_EQ(d.pane->lines.count(), 0u);
  EXPECT_TRUE(d.view.all);
}

TEST(Draft, ANewBreakReflowsTheLinesBelowIt) {
  ShownDoc d;
  ASSERT_TRUE(CalculateLines(d.doc.get(), d.pane, nullptr));
  ASSERT_TRUE(InsertText(d.doc.get(), ShownDoc::Para(1) + 2, QStringLiteral("\n")));
  PostScrollCheck(d.doc.get(), d.pane);
  EXPECT_EQ(d.LineCps(), (std::vector<uint32_t>{0, ShownDoc::Para(1), ShownDoc::Para(1) + 3, ShownDoc::Para(2) + 1}));
  std::vector<double> tops;
  for (uint32_t i = 0; i < d.pane->lines.count(); ++i) tops.push_back(d.pane->lines.at(i).y);
  EXPECT_EQ(tops, (std::vector<double>{0, 13, 26, 39}));
  EXPECT_TRUE(d.view.dirty.contains(QPointF(20, 45)));
  // Deleting it joins them again.
  DocRange doomed{d.doc.get(), ShownDoc::Para(1) + 2, ShownDoc::Para(1) + 3};
  ASSERT_TRUE(ReplaceRangeCore(&doomed, nullptr, nullptr, 0, false));
  PostScrollCheck(d.doc.get(), d.pane);
  EXPECT_EQ(d.LineCps(), (std::vector<uint32_t>{0, ShownDoc::Para(1), ShownDoc::Para(2), ShownDoc::Para(3)}));
}

TEST(Draft, PagingBackThroughALongParagraph) {
  ShownDoc d;
  d.doc->owner = nullptr;
  d.doc = DocWithBody(QString(QStringLiteral("aaaa ")).repeated(60));  // ten lines of six words
  d.pane = CurrentPane(d.doc.get());
  d.pane->view = &d.view;
  d.pane->contentsKind = kPaneContentsPlain;
  d.doc->owner = &d.view;
  d.doc->fitToWindow = true;
  // Each page back keeps the old first line's predecessor in view: a page of 50 less 13 holds two.
  const std::vector<uint32_t> expected = {kBody + 210, kBody + 150, kBody + 90, kBody + 30, 0};
  for (int pass = 0; pass < 2; ++pass) {  // the second time from the kept lines
    ScrollVertDraft(d.doc.get(), d.pane, int32_t(kBody + 275), kScrollCp);
    ASSERT_EQ(uint32_t(d.pane->firstDraftCp), kBody + 270);
    std::vector<uint32_t> firsts;
    for (size_t i = 0; i < expected.size(); ++i) {
      ScrollVertDraft(d.doc.get(), d.pane, -1, kScrollPage);
      firsts.push_back(uint32_t(d.pane->firstDraftCp));
    }
    EXPECT_EQ(firsts, expected) << pass;
  }
  // An edit at the paragraph's start moves every line after it.
  ASSERT_TRUE(InsertText(d.doc.get(), kBody, QStringLiteral("bb ")));
  EXPECT_EQ(DraftLineStart(d.doc.get(), d.pane, kBody + 275, 0), int32_t(kBody + 268));  // 28 + 8 x 30
  EXPECT_EQ(DraftLineStart(d.doc.get(), d.pane, kBody + 35, 0), int32_t(kBody + 28));
  d.doc->owner = nullptr;
}

TEST(Draft, InvalidationWidensToTheParagraphAndThePreviousLinesLastWord) {
  ShownDoc d;
  // One paragraph of words wrapping over several lines: "aaaa " repeated.
  GlimmetDocPtr doc = DocWithBody(QString(QStringLiteral("aaaa ")).repeated(20));
  d.doc->owner = nullptr;
  d.doc = std::move(doc);
  d.pane = CurrentPane(d.doc.get());
  d.pane->view = &d.view;
  d.pane->contentsKind = kPaneContentsPlain;
  d.doc->owner = &d.view;
  d.doc->fitToWindow = true;
  d.view.rect = QRectF(0, 0, 200, 200);
  ASSERT_TRUE(CalculateLines(d.doc.get(), d.pane, nullptr));
  ASSERT_GE(d.pane->lines.count(), 3u);
  const uint32_t third = d.pane->lines.cpAt(2);
  struct Case {
    uint32_t first;
    bool widen;
    std::vector<int> dirty;  // of the first three lines
  };
  const Case cases[] = {
      {third + 7, false, {0, 0, 1}},  // in the line's second word
      {third + 2, false, {0, 1, 1}},  // inside its first word: the line before may take that word
      {third + 7, true, {1, 1, 1}},   // widened to the paragraph's start
  };
  for (const Case& c : cases) {
    for (uint32_t i = 0; i < d.pane->lines.count(); ++i) d.pane->lines.at(i).dirty = 0;
    InvalTextCore({d.doc.get(), c.first, c.first + 1}, c.widen);
    std::vector<int> dirty;
    for (uint32_t i = 0; i < 3; ++i) dirty.push_back(d.pane->lines.at(i).dirty);
    EXPECT_EQ(dirty, c.dirty) << c.widen;
  }
  EXPECT_EQ(d.pane->lines.at(1).nextWordLength, 5);  // "aaaa" and its space
  d.doc->owner = nullptr;
}

TEST(Draft, PointsAndCpsLocateEachOther) {
  ShownDoc d;
  ASSERT_TRUE(CalculateLines(d.doc.get(), d.pane, nullptr));
  struct Case {
    double x, y;
    uint32_t options;
    int32_t cp, area;
    bool onText;
  };
  const Case cases[] = {
      {12 + 13, 13 + 5, 0, int32_t(ShownDoc::Para(1) + 2), kAreaText, true},   // left of the third unit's middle
      {12 + 16, 13 + 5, 0, int32_t(ShownDoc::Para(1) + 3), kAreaText, true},   // right of it
      {5, 13 + 5, 0, -1, kAreaLeft, false},                                   // in the margin
      {5, 13 + 5, kLocateTracking, int32_t(ShownDoc::Para(1)), kAreaLeft, false},
  };
  for (const Case& c : cases) {
    LocatorRec locator;
    locator.doc = d.doc.get();
    EXPECT_EQ(LocatePointInDoc(c.x, c.y, &locator, c.options), c.onText) << c.x;
    EXPECT_EQ(locator.cp, c.cp) << c.x;
    EXPECT_EQ(locator.area, c.area) << c.x;
  }
  LocatorRec locator;
  locator.doc = d.doc.get();
  locator.cp = int32_t(ShownDoc::Para(2) + 2);
  double width = 0;
  QRectF rect;
  EXPECT_EQ(XAndWidthForCp(&locator, ShownDoc::Para(2) + 4, &width, &rect), 24);
  EXPECT_EQ(width, 12);
  EXPECT_EQ(rect, QRectF(12, 26, 176, 13));
  EXPECT_TRUE(IsLocationVisible(&locator, nullptr, false));
  locator.cp = int32_t(ShownDoc::Para(8));
  EXPECT_FALSE(IsLocationVisible(&locator, nullptr, false));
  EXPECT_TRUE(IsLocationVisible(&locator, nullptr, true));
  EXPECT_LE(uint32_t(d.pane->firstDraftCp), ShownDoc::Para(8));
  EXPECT_GT(uint32_t(d.pane->firstDraftCp), ShownDoc::Para(4));
}

TEST(Draft, TallLinesScrollInStepsOfTheirFontsLine) {
  ShownDoc d;
  PropRecord para = ParaAt(d.doc.get(), kBody);
  para.set<int64_t>(ParaField::height, -60 * 12700);  // exactly 60 points: taller than the view
  ApplyPropsToRange({d.doc.get(), kBody, ShownDoc::Para(1)}, para);
  uint32_t count = 0;
  ASSERT_TRUE(CalculateLines(d.doc.get(), d.pane, &count));
  ASSERT_EQ(count, 1u);
  // A step is the font's ascent less its descent: 9 - 3.
  const std::pair<int32_t, float> steps[] = {{1, 6}, {1, 12}, {-1, 6}, {-1, 0}};
  for (const auto& [amount, offset] : steps) {
    ScrollVertDraft(d.doc.get(), d.pane, amount, kScrollLine);
    EXPECT_EQ(d.pane->partialOffset, offset) << amount;
    EXPECT_EQ(d.pane->firstDraftCp, 0);
  }
}

TEST(Draft, PointsBelowTheTextGoToItsEnd) {
  ShownDoc d;
  GlimmetDocPtr shortDoc = DocWithBody(QStringLiteral("ab"));
  Pane* pane = CurrentPane(shortDoc.get());
  pane->view = &d.view;
  pane->contentsKind = kPaneContentsPlain;
  shortDoc->owner = &d.view;
  LocatorRec locator;
  locator.doc = shortDoc.get();
  EXPECT_FALSE(LocatePointInDoc(30, 40, &locator, kLocateTracking));
  EXPECT_EQ(locator.area, kAreaBelow);
  EXPECT_EQ(locator.cp, int32_t(kBody + 2));
  shortDoc->owner = nullptr;
}

TEST(Panes, FreeingAPaneMovesTheNextDown) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("ab"));
  GMPaneView first, second;
  doc->paneCount = 0;
  ASSERT_TRUE(SetupPane(doc.get(), &first));
  ASSERT_TRUE(SetupPane(doc.get(), &second));
  EXPECT_FALSE(SetupPane(doc.get(), nullptr));  // "Too many panes"
  EXPECT_EQ(CurrentPane(doc.get())->view, &second);
  FreePane(doc.get(), 0);
  EXPECT_EQ(doc->paneCount, 1u);
  EXPECT_EQ(doc->panes[0].view, &second);
  EXPECT_EQ(CurrentPane(doc.get())->view, &second);
  FreeAllPanes(doc.get());
  EXPECT_EQ(doc->paneCount, 0u);
  EXPECT_EQ(CurrentPane(doc.get())->view, nullptr);  // a pane without a view again
}

TEST(Draft, DrawingPaintsTextCaretAndSelection) {
  ShownDoc d;
  d.pane->caretCp = int32_t(kBody + 1);
  Select(d.doc.get(), ShownDoc::Para(1), ShownDoc::Para(1) + 2);
  d.doc->active = true;
  QImage image(200, 50, QImage::Format_ARGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    DrawDraft(d.doc.get(), d.pane, painter, QRectF(0, 0, 200, 50));
  }
  EXPECT_EQ(d.pane->lines.count(), 4u);
  const QRgb white = qRgb(255, 255, 255), black = qRgb(0, 0, 0);
  struct Probe {
    int x, y;
    bool isWhite, isBlack;
  };
  const Probe probes[] = {
      {14, 5, false, true},   // "l" of line0
      {50, 5, true, false},   // after "line0"
      {14, 18, false, true},  // "l" of line1, selected: drawn over the band
      {14, 24, false, false},  // the selection band below it
      {30, 24, true, false},   // past the selection
      {18, 11, false, true},  // the caret after "l"
      {19, 11, true, false},
  };
  for (const Probe& p : probes) {
    const QRgb pixel = image.pixel(p.x, p.y) | 0xFF000000;
    EXPECT_EQ(pixel == white, p.isWhite) << p.x << "," << p.y;
    EXPECT_EQ(pixel == black, p.isBlack) << p.x << "," << p.y;
  }
}

}  // namespace

namespace {

TEST(Draft, PrintingDrawsOnlyTheLinesThatFitTheirPage) {
  ShownDoc d;
  QImage image(200, 60, QImage::Format_ARGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    DrawDraft(d.doc.get(), d.pane, painter, QRectF(0, 13, 200, 30), true);
  }
  // Lines 1 and 2 lie on the page; line 0 ends where it begins, line 3 runs past its bottom.
  const std::pair<int, bool> rows[] = {{5, true}, {18, false}, {31, false}, {44, true}};
  for (const auto& [y, white] : rows) EXPECT_EQ((image.pixel(14, y) | 0xFF000000) == 0xFFFFFFFF, white) << y;
}

TEST(Draft, SelectionKeysScrollThroughThePaneViewWhateverItIs) {
  ShownDoc d;
  ASSERT_TRUE(CalculateLines(d.doc.get(), d.pane, nullptr));
  Select(d.doc.get(), ShownDoc::Para(0), ShownDoc::Para(0));
  SelectKeyDraft(d.doc.get(), kSelKeyPageDown, 0, false);
  ASSERT_FALSE(d.view.scrolls.empty());
  EXPECT_EQ(d.view.scrolls.front(), std::make_pair(GMPaneView::kScrollPageForward, true));
}

TEST(Draft, TheKeptParagraphHeightsGoWithTheirDocument) {
  FixedAdvanceTypesetter typesetter;
  TypesetterScope scope(&typesetter);
  InstallDraftLayout();
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("one\ntwo"));
  LineFormat format;
  InitFormatLine(doc.get(), nullptr, &format, kFormatBuildLines);
  float total = 0;
  ParaLineHeights heights;
  GetParaLineHeights(doc.get(), CurrentPane(doc.get()), kBody, kBody + 4, &format, &total, &heights);
  ReleaseLineFormat(&format);
  const GlimmetDoc* address = doc.get();
  ASSERT_TRUE(ParaLineHeightsKeptFor(address));
  doc.reset();
  EXPECT_FALSE(ParaLineHeightsKeptFor(address));
}

}  // namespace
