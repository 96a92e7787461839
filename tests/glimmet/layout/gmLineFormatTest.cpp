// Line formatting on the fixed-advance typesetter: 12-point text is 6 points a unit, lines are
// 13 points high (ascent 9, descent 3 and half a point) with the baseline at 9.
#include "glimmet/layout/gmLineFormat.h"

#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/flFonts.h"
#include "glimmet/layout/gmLocate.h"
#include "glimmet/layout/gmPictures.h"
#include "glimmet/storage/StorageTestSupport.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmLists.h"

#include <gtest/gtest.h>

namespace {

constexpr int64_t kPt = 12700;

struct FakeTypesetting {
  FixedAdvanceTypesetter typesetter;
  TypesetterScope scope{&typesetter};
};

// The lines of a document's body, formatted one after another at a width in points.
struct Lines {
  std::vector<uint32_t> limits;
  std::vector<uint32_t> kinds;
};
Lines FormatBody(GlimmetDoc* doc, float width) {
  Lines out;
  LineFormat line;
  InitFormatLine(doc, nullptr, &line, kFormatCollectRuns);
  for (uint32_t cp = kBody; cp < uint32_t(doc->userLength);) {
    if (!FormatLine(cp, int64_t(width * kPt), &line) || line.limitCp <= cp) break;
    out.limits.push_back(line.limitCp - kBody);
    out.kinds.push_back(line.breakKind);
    cp = line.limitCp;
  }
  return out;
}

// Gives the paragraph at cp the tabs, alignment or spacing of a changed record.
void SetPara(GlimmetDoc* doc, const std::function<void(PropRecord&)>& change) {
  PropRecord para = ParaAt(doc, kBody);
  change(para);
  DocRange all{doc, kBody, uint32_t(doc->userLength)};
  ApplyPropsToRange(all, para);
}

TEST(LineFormatting, LinesBreakAfterSpacesAtBreakCharactersAndInsideLongWords) {
  FakeTypesetting fake;
  struct Case {
    QString text;
    float width;
    std::vector<uint32_t> limits, kinds;
  };
  const Case cases[] = {
      {QStringLiteral("aaaa bbbb cccc"), 60, {10, 15}, {kBreakFull, kBreakBodyEnd}},
      {QStringLiteral("one\ntwo"), 300, {4, 8}, {kBreakParagraph, kBreakBodyEnd}},
      // A line always has 36 points: six units, the word broken where it stops fitting.
      {QStringLiteral("abcdefghijkl"), 30, {6, 13}, {kBreakFull, kBreakBodyEnd}},
      {QStringLiteral("ab") + QChar(0x2028) + QStringLiteral("cd"), 300, {3, 6}, {kBreakLineSeparator, kBreakBodyEnd}},
      {QStringLiteral("ab\x0C" "cd"), 300, {3, 6}, {kBreakPage, kBreakBodyEnd}},
  };
  for (const Case& c : cases) {
    GlimmetDocPtr doc = DocWithBody(c.text);
    const Lines lines = FormatBody(doc.get(), c.width);
    EXPECT_EQ(lines.limits, c.limits) << c.text.toStdString();
    EXPECT_EQ(lines.kinds, c.kinds) << c.text.toStdString();
  }
}

TEST(LineFormatting, TabsGoToTheirStops) {
  FakeTypesetting fake;
  struct Case {
    QString text;
    uint32_t tab;  // 0: default stops only
    uint32_t cp;   // body offset measured
    float x;
  };
  const Case cases[] = {
      {QStringLiteral("a\tb"), 0, 2, 36},                      // the next default stop
      {QStringLiteral("abcdef\tb"), 0, 7, 72},                 // a stop 2 points or less away is passed
      {QStringLiteral("a\tb"), MakeTab(72 * kPt, 0), 2, 72},   // left
      {QStringLiteral("a\tbb"), MakeTab(100 * kPt, 2), 2, 88},  // right: ends on the stop
      {QStringLiteral("a\tbbbb"), MakeTab(100 * kPt, 1), 2, 88},  // centre
      {QStringLiteral("a\t12.5"), MakeTab(100 * kPt, 3), 2, 88},  // decimal: the point on the stop
      {QStringLiteral("a\tb\tc"), MakeTab(20 * kPt, 0), 4, 36},   // past the last stop: default stops
  };
  for (const Case& c : cases) {
    GlimmetDocPtr doc = DocWithBody(c.text);
    if (c.tab) {
      SetPara(doc.get(), [&](PropRecord& para) {
        para.set<uint16_t>(ParaField::tabCount, 1);
        para.set<uint32_t>(ParaField::tabs, c.tab);
      });
    }
    LineFormat line;
    InitFormatLine(doc.get(), nullptr, &line, kFormatCollectRuns);
    ASSERT_TRUE(FormatLine(kBody, 300 * kPt, &line));
    EXPECT_EQ(line.originX + LineXFromCpCore(line, kBody + c.cp), c.x) << c.text.toStdString();
  }
}

TEST(LineFormatting, AlignmentMovesTheOriginAndJustifyStretchesAllButTheLastLine) {
  FakeTypesetting fake;
  struct Case {
    int32_t alignment;
    QString text;
    uint32_t cp;
    float x;
  };
  const Case cases[] = {
      {1, QStringLiteral("abcd"), 0, 38},           // centred in 100 points
      {3, QStringLiteral("abcd"), 0, 76},           // right
      {2, QStringLiteral("aa bb cc dd"), 6, 38},  // "aa bb cc" stretched from 48 to 50 over two spaces
      {2, QStringLiteral("aa bb cc dd"), 9, 0},     // the last line stays left
  };
  for (const Case& c : cases) {
    GlimmetDocPtr doc = DocWithBody(c.text);
    SetPara(doc.get(), [&](PropRecord& para) { para.set<int32_t>(ParaField::alignment, c.alignment); });
    LineFormat line;
    InitFormatLine(doc.get(), nullptr, &line, kFormatCollectRuns);
    uint32_t first = kBody;
    ASSERT_TRUE(FormatLine(first, (c.alignment == 2 ? 50 : 100) * kPt, &line));
    if (c.cp >= line.limitCp - kBody) { ASSERT_TRUE(FormatLine(first = line.limitCp, 50 * kPt, &line)); }
    EXPECT_EQ(line.originX + LineXFromCpCore(line, kBody + c.cp), c.x) << c.alignment << " " << c.cp;
  }
}

TEST(LineFormatting, HeightsFollowSpacingSettings) {
  FakeTypesetting fake;
  struct Case {
    uint32_t field;
    int64_t value;
    float height, baseline;
  };
  const Case cases[] = {
      {ParaField::multiple, 0, 13, 9},          // single
      {ParaField::multiple, kPt, 13, 9},        // 12700 is single too
      {ParaField::multiple, 2 * kPt, 25, 21.5},  // double: the extra goes above
      {ParaField::height, -20 * kPt, 20, 9},    // exact
      {ParaField::height, 30 * kPt, 30, 9},     // at least
      {ParaField::spaceBefore, 6 * kPt, 19, 15},
      {ParaField::spaceAfter, 4 * kPt, 17, 9},
  };
  for (const Case& c : cases) {
    GlimmetDocPtr doc = DocWithBody(QStringLiteral("abc"));
    SetPara(doc.get(), [&](PropRecord& para) { para.set<int64_t>(c.field, c.value); });
    LineFormat line;
    InitFormatLine(doc.get(), nullptr, &line, kFormatCollectRuns);
    ASSERT_TRUE(FormatLine(kBody, 300 * kPt, &line));
    EXPECT_EQ(line.lineHeight, c.height) << c.field << " " << c.value;
    EXPECT_EQ(line.baseline, c.baseline) << c.field << " " << c.value;
  }
}

TEST(LineFormatting, LocatingAndMeasuringCpsRoundTrip) {
  FakeTypesetting fake;
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("ab\tcd ef"));
  LineFormat line;
  InitFormatLine(doc.get(), nullptr, &line, kFormatCollectRuns);
  ASSERT_TRUE(FormatLine(kBody, 300 * kPt, &line));
  for (uint32_t cp = kBody; cp + 1 < line.limitCp; ++cp) {
    float after = 0;
    const float x = LineXFromCpCore(line, cp, &after);
    const float middle = (x + after) / 2;
    struct Probe {
      float x;
      uint32_t cp;
    };
    for (const Probe& probe : {Probe{x + 0.1f, cp}, Probe{middle, cp}, Probe{middle + 0.01f, cp + 1}}) {
      LocatorRec locator;
      LocateCpInLine(&locator, line, line.originX + probe.x);
      EXPECT_EQ(locator.cp, int32_t(probe.cp)) << cp << " at " << probe.x;
    }
  }
  // Past the end of a line ended by a mark: its last cp, and the caret stays on the line.
  LocatorRec end;
  EXPECT_FALSE(LocateCpInLine(&end, line, 299));
  EXPECT_EQ(end.cp, int32_t(line.limitCp - 1));
}

TEST(LineFormatting, ListMarkersAreGeneratedTextAndTheirTabReachesTheIndent) {
  FakeTypesetting fake;
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("a\nb"));
  PropRecord props = BaseProps(kPropList);
  props.set<int64_t>(ListField::indent, 18 * kPt);
  props.set<uint32_t>(ListField::markers, kMarkerNumber);
  props.set<uint16_t>(ListField::markers + 10, u'.');
  Select(doc.get(), kBody, kBody + 3);
  ASSERT_TRUE(InsertList(doc.get(), &props, true, false));
  KnotInfo list;
  ASSERT_TRUE(FetchList(doc.get(), kBody + 1, &list, nullptr));
  LineFormat line;
  InitFormatLine(doc.get(), nullptr, &line, kFormatCollectRuns);
  ASSERT_TRUE(FormatLine(list.first, 300 * kPt, &line));
  // Level 0 with an 18-point step: the text at 36, the marker hanging from 18.
  EXPECT_EQ(line.originX, 18);
  EXPECT_EQ(line.originX + LineXFromCpCore(line, list.first + 1), 36);
  ASSERT_EQ(line.kinkInfoCount, 1u);
  EXPECT_EQ(line.kinkInfos[0].kind, kLineKinkList);
  LocatorRec locator;
  LocateCpInLine(&locator, line, line.originX + 1);
  EXPECT_TRUE(locator.generatedText);
  EXPECT_EQ(locator.cp, int32_t(list.first + 1));
}

TEST(LineFormatting, LinksShowTheirTextWhole) {
  FakeTypesetting fake;
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("go "));
  // A link whose display text is "there now": begin kink, text, middle kink, address, end kink.
  DocRange at{doc.get(), kBody + 3, kBody + 3};
  ASSERT_TRUE(InsertKnotCore(&at, kKnotLink, 0, 0, nullptr, 0, nullptr, false));
  KnotInfo link;
  ASSERT_TRUE(FetchKnot(doc.get(), at.first, &link, kKnotLink));
  ASSERT_GE(link.kinkCount, 3u);
  ASSERT_TRUE(InsertText(doc.get(), link.kinkCps[2], QStringLiteral("x.org")));
  ASSERT_TRUE(InsertText(doc.get(), link.kinkCps[1], QStringLiteral("there now")));
  ASSERT_TRUE(FetchKnot(doc.get(), at.first, &link, kKnotLink));
  struct Case {
    float width;
    uint32_t limit;
  };
  const Case cases[] = {
      {300, uint32_t(doc->userLength)},  // all on one line
      {60, link.first},                 // "go " and not a part of "there now" (54 points wide)
  };
  for (const Case& c : cases) {
    LineFormat line;
    InitFormatLine(doc.get(), nullptr, &line, kFormatCollectRuns);
    ASSERT_TRUE(FormatLine(kBody, int64_t(c.width * kPt), &line));
    EXPECT_EQ(line.limitCp, c.limit) << c.width;
  }
}

TEST(LineFormatting, PicturesStandOnTheBaselineAndKeepTheirPlacementWhenReplaced) {
  FakeTypesetting fake;
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("ab"));
  QImage pixels(20, 30, QImage::Format_ARGB32);
  pixels.fill(Qt::red);
  std::shared_ptr<FLImage> image = FLImage::withCGImage(pixels, QSizeF(20, 30));
  Select(doc.get(), kBody + 1, kBody + 1);
  ASSERT_TRUE(InsertPicture(doc.get(), image, false));
  EXPECT_EQ(CurrentPane(doc.get())->selFirst, int32_t(kBody + 2));
  LineFormat line;
  InitFormatLine(doc.get(), nullptr, &line, kFormatCollectRuns);
  ASSERT_TRUE(FormatLine(kBody, 300 * kPt, &line));
  EXPECT_EQ(line.baseline, 30);       // the picture's height above the baseline
  EXPECT_EQ(line.lineHeight, 34);     // and the text's descent below
  EXPECT_EQ(LineXFromCpCore(line, kBody + 2), 26);

  // Bottom-aligned at half size and half opacity; a picture put in its place keeps all three.
  KnotInfo knot;
  ASSERT_TRUE(FetchKnot(doc.get(), kBody + 1, &knot, kKnotPicture));
  doc->knots.at(uint32_t(knot.index)).value = 1 | uint64_t(500) << 32 | uint64_t(501) << 48;
  Select(doc.get(), kBody + 1, kBody + 2);
  ASSERT_TRUE(InsertPictureWithIndex(doc.get(), StorePicture(doc.get(), image), false));
  ASSERT_TRUE(FetchKnot(doc.get(), kBody + 1, &knot, kKnotPicture));
  EXPECT_EQ(knot.entry.word, 1u);
  EXPECT_EQ(knot.entry.value, 1 | uint64_t(500) << 32 | uint64_t(501) << 48);
  ASSERT_TRUE(FormatLine(kBody, 300 * kPt, &line));
  EXPECT_EQ(LineXFromCpCore(line, kBody + 2), 16);  // 10 points wide
  EXPECT_EQ(line.lineHeight, 9 + 15);               // bottom-aligned: its 15 points hang below
}

TEST(LineFormatting, InvisibleMarksAndTheEndOfALine) {
  FakeTypesetting fake;
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("a b\ncd"));
  Pane* pane = CurrentPane(doc.get());
  pane->showInvisibles = true;
  LineFormat line;
  InitFormatLine(doc.get(), nullptr, &line, kFormatCollectRuns);
  ASSERT_TRUE(FormatLine(kBody, 300 * kPt, &line));
  EXPECT_EQ(line.breakKind, uint32_t(kBreakParagraph));
  EXPECT_EQ(line.trailingMarkWidth, 12);
  std::vector<std::pair<uint32_t, float>> marks;  // character and x of each mark
  for (const LineRun& run : line.runs)
    if (run.type == kRunInvisible) marks.push_back({run.showCode, run.x});
  EXPECT_EQ(marks, (std::vector<std::pair<uint32_t, float>>{{u' ', 6}, {u'\n', 18}}));
  // The x after the line's last character lies past its 12-point mark.
  float after = 0;
  EXPECT_EQ(LineXFromCpCore(line, kBody + 3, &after), 18);
  EXPECT_EQ(after, 30);
  // Printing shows no marks.
  InitFormatLine(doc.get(), nullptr, &line, kFormatCollectRuns | kFormatPrinting);
  ASSERT_TRUE(FormatLine(kBody, 300 * kPt, &line));
  EXPECT_TRUE(std::none_of(line.runs.begin(), line.runs.end(), [](const LineRun& r) { return r.type == kRunInvisible; }));
}

TEST(LineFormatting, AFirstWordThatFitsNowhereShowsAnErrorAfterItsMarker) {
  FakeTypesetting fake;
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("abcdefghijklmnop rest\nnext"));
  // A prefix and a first-line indent leave no room after the marker's tab.
  PropRecord para = ParaAt(doc.get(), kBody);
  para.set<uint16_t>(ParaField::prefix, 1);
  para.set<uint16_t>(ParaField::prefix + 2, u'*');
  para.set<int64_t>(ParaField::leftIndent, 0);
  ApplyPropsToRange({doc.get(), kBody, kBody + 5}, para);
  LineFormat line;
  InitFormatLine(doc.get(), nullptr, &line, kFormatCollectRuns);
  ASSERT_TRUE(FormatLine(kBody, 36 * kPt, &line));
  // "*" and a tab to 36 fill the 36 points; the word cannot start there: the line says so and
  // the rest of the paragraph is skipped.
  EXPECT_EQ(line.limitCp, kBody + 22);
  ASSERT_FALSE(line.runs.empty());
  const auto text = std::find_if(line.runs.begin(), line.runs.end(), [](const LineRun& r) { return r.type == kRunText; });
  ASSERT_NE(text, line.runs.end());
  EXPECT_EQ(text->segment->text.text, QStringLiteral("[error]"));
}

TEST(LineFormatting, RunsCarryDecorationsBackgroundsAndCase) {
  FakeTypesetting fake;
  struct Case {
    uint32_t field;
    uint32_t value;
    uint32_t runType;  // the run made over "bcd", at x 6 and 18 wide
    QString text;       // the segment's text
  };
  const Case cases[] = {
      {CharField::underline, 1, kRunDecoration, QStringLiteral("abcde")},
      {CharField::color, 0x640000FF, kRunText, QStringLiteral("abcde")},
      {CharField::backColor, 0x640000FF, kRunBackground, QStringLiteral("abcde")},
      {CharField::caps, 1, kRunText, QStringLiteral("aBCDe")},
      {CharField::caps, 2, kRunText, QStringLiteral("abcde")},
  };
  for (const Case& c : cases) {
    GlimmetDocPtr doc = DocWithBody(QStringLiteral("abcde"));
    PropRecord chars = CharsAt(doc.get(), kBody);
    chars.set<uint32_t>(c.field, c.value);
    ApplyPropsToRange({doc.get(), kBody + 1, kBody + 4}, chars);
    LineFormat line;
    InitFormatLine(doc.get(), nullptr, &line, kFormatCollectRuns);
    ASSERT_TRUE(FormatLine(kBody, 300 * kPt, &line));
    const auto segment = std::find_if(line.runs.begin(), line.runs.end(), [](const LineRun& r) { return r.type == kRunText; });
    ASSERT_NE(segment, line.runs.end());
    EXPECT_EQ(segment->segment->text.text, c.text) << c.field;
    if (c.runType == kRunText) continue;
    const auto run = std::find_if(line.runs.begin(), line.runs.end(), [&](const LineRun& r) { return r.type == c.runType; });
    ASSERT_NE(run, line.runs.end()) << c.field;
    EXPECT_EQ(run->x, 6) << c.field;
    EXPECT_EQ(run->width, 18) << c.field;
  }
}

TEST(LineFormatting, HiddenTextIsUnderlinedOnlyWhileInvisiblesAreShown) {
  FakeTypesetting fake;
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("abcde"));
  PropRecord chars = CharsAt(doc.get(), kBody);
  chars.body[CharField::hidden] = 1;
  ApplyPropsToRange({doc.get(), kBody + 1, kBody + 4}, chars);
  Pane* pane = CurrentPane(doc.get());
  struct Case {
    bool showInvisibles;
    uint32_t mode;
    bool decorated;  // a kind-10 decoration over "bcd"
  };
  const Case cases[] = {
      {true, kFormatCollectRuns, true},
      {false, kFormatCollectRuns, false},
      {true, kFormatCollectRuns | kFormatPrinting, false},
      {true, kFormatBuildLines, false},  // no drawing runs are collected
  };
  for (const Case& c : cases) {
    pane->showInvisibles = c.showInvisibles;
    LineFormat line;
    InitFormatLine(doc.get(), nullptr, &line, c.mode);
    ASSERT_TRUE(FormatLine(kBody, 300 * kPt, &line));
    std::vector<std::tuple<int32_t, int32_t, float, float>> hidden;
    for (const LineRun& run : line.runs)
      if (run.type == kRunDecoration && run.underline == kHiddenTextUnderline)
        hidden.emplace_back(run.first, run.limit, run.x, run.width);
    const std::vector<std::tuple<int32_t, int32_t, float, float>> expected =
        c.decorated ? std::vector<std::tuple<int32_t, int32_t, float, float>>{{int32_t(kBody + 1), int32_t(kBody + 4), 6.0f, 18.0f}}
                    : std::vector<std::tuple<int32_t, int32_t, float, float>>{};
    EXPECT_EQ(hidden, expected) << c.showInvisibles << " " << c.mode;
    ReleaseLineFormat(&line);
  }
}

TEST(LineFormatting, QtTypesetterWrapsAtSpacesAndJustifiesToTheEdge) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("alpha beta gamma delta epsilon zeta eta theta"));
  ASSERT_TRUE(SetNormalFont(doc.get(), IndexOfFont(QStringLiteral("DejaVuSans")), 48, true));
  SetPara(doc.get(), [](PropRecord& para) { para.set<int32_t>(ParaField::alignment, 2); });
  LineFormat line;
  InitFormatLine(doc.get(), nullptr, &line, kFormatCollectRuns);
  int lines = 0;
  for (uint32_t cp = kBody; cp < uint32_t(doc->userLength); ++lines) {
    ASSERT_TRUE(FormatLine(cp, 100 * kPt, &line));
    const bool last = line.limitCp >= uint32_t(doc->userLength);
    if (!last) {
      EXPECT_EQ(doc->charAt(line.limitCp - 1), u' ') << cp;  // broken after a space
      float after = 0;
      LineXFromCpCore(line, line.limitCp - 2, &after);
      EXPECT_NEAR(line.originX + after, line.rightEdge, 0.5) << cp;  // stretched to the edge
    }
    cp = line.limitCp;
  }
  EXPECT_GE(lines, 3);
}

TEST(LineFormatting, SelectionBandsReachPastTheLineEnd) {
  FakeTypesetting fake;
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("abc\ndef"));
  Select(doc.get(), kBody + 1, kBody + 5);
  LineFormat line;
  InitFormatLine(doc.get(), nullptr, &line, kFormatCollectRuns);
  ASSERT_TRUE(FormatLine(kBody, 300 * kPt, &line));
  const auto band = std::find_if(line.runs.begin(), line.runs.end(), [](const LineRun& r) { return r.type == kRunSelection; });
  ASSERT_NE(band, line.runs.end());
  EXPECT_EQ(band->x, 6);
  EXPECT_EQ(band->width, 12 + 12);  // "bc" and the paragraph mark
}

}  // namespace

namespace {

// A line's pane range in a pane of kind 3 is the chapter holding it (a second chapter from the
// body's fourth cp); the pane keeps its chapter. Find hits, when marked, are underlined runs.
TEST(LineFormatting, ChaptersOfKind3PanesAndMarkedFindHits) {
  FakeTypesetting fake;
  using Spans = std::vector<std::pair<int32_t, int32_t>>;
  const Spans hit{{int32_t(kBody + 1), int32_t(kBody + 3)}};
  struct Case {
    uint32_t cp, paneFirst;
    bool marked;
    uint32_t mode;
    Spans hits;
  };
  const Case cases[] = {{kBody + 5, kBody + 4, false, kFormatDraw, {}},
                        {kBody + 1, 0, true, kFormatDraw, hit},
                        {kBody + 1, 0, false, kFormatDraw, {}},
                        {kBody + 1, 0, true, kFormatDraw | kFormatPrinting, {}}};
  for (const Case& c : cases) {
    GlimmetDocPtr doc = DocWithBody(QStringLiteral("one\ntwo"));
    doc->chapterCps.insert(1, kBody + 4, GMNoData());
    doc->findHits.insert(0, kBody + 1, kBody + 3);
    doc->markFindHits = c.marked;
    Pane* pane = CurrentPane(doc.get());
    pane->contentsKind = 3;
    pane->chapterIndex = c.cp > kBody + 4 ? 0 : 1;
    LineFormat line;
    InitFormatLine(doc.get(), pane, &line, c.mode);
    ASSERT_TRUE(FormatLine(c.cp, 300 * kPt, &line));
    EXPECT_EQ(line.paneRange.first, c.paneFirst) << c.cp;
    EXPECT_EQ(pane->chapterIndex, c.cp > kBody + 4 ? 0u : 1u);
    Spans hits;
    for (const LineRun& run : line.runs)
      if (run.type == kRunDecoration && run.underline == kFindHitUnderline) hits.emplace_back(run.first, run.limit);
    EXPECT_EQ(hits, c.hits) << c.marked << c.mode;
    EXPECT_EQ(line.limitCp, c.cp > kBody + 4 ? uint32_t(doc->userLength) : kBody + 4) << "hits end no lines";
    ReleaseLineFormat(&line);
  }
}

TEST(Fonts, BoldComesFromTheFamilysHeavyMember) {
  // Families as "name weight slant" faces; the lightest bold weight of the slant wins, then a
  // heavy name (not semibold; slanted only for italic), in families of two or more.
  const std::tuple<QStringList, bool, QString> cases[] = {
      {{"S 80 0", "S-Black 210 0", "S-Bold 200 0"}, false, "S-Bold"},
      {{"S 80 0", "S-Bold 200 0", "S-BoldOblique 200 110"}, true, "S-BoldOblique"},
      {{"S 80 0", "S-Bold 200 0"}, true, "S-Bold"}, {{"S 80 0", "S-SemiBold 180 0"}, false, ""},
      {{"S 80 0", "S-DemiItalic 80 100", "S-Demi 80 0"}, false, "S-Demi"},
      {{"S 80 0", "S-DemiItalic 80 100", "S-Demi 80 0"}, true, "S-DemiItalic"}, {{"S-Demi 80 0"}, false, ""}};
  for (const auto& [faces, italic, chosen] : cases) {
    QList<FLFontFace> members;
    for (const QString& f : faces) {
      const QStringList words = f.split(u' ');
      FLFontFace face;
      face.postScriptName = words[0];
      face.weight = words[1].toInt();
      face.slant = words[2].toInt();
      members.append(face);
    }
    const auto member = BoldMemberOfFamily(members, italic);
    EXPECT_EQ(member ? member->postScriptName : QString(), chosen) << chosen.toStdString();
  }
}

}  // namespace
