#include "glimmet/storage/gmProperties.h"
#include "support/LogCapture.h"
#include "StorageTestSupport.h"

#include <gtest/gtest.h>

namespace {

PropRecord CharRecord(GlimmetDoc* doc, int16_t size) {
  PropRecord record = DefaultProps(doc, kPropChar);
  record.set<int16_t>(CharField::size, size);
  return record;
}

TEST(Properties, InterningTheSameRecordTwiceAddsOneRecord) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  const size_t before = doc->props.size();
  PropRecord record = CharRecord(doc.get(), 80);
  const uint32_t first = IndexForProperties(doc.get(), &record);
  ClearPropertyCaches(doc.get());  // the table search, not the cache, must find it
  PropRecord again = CharRecord(doc.get(), 80);
  EXPECT_EQ(IndexForProperties(doc.get(), &again), first);
  ASSERT_EQ(doc->props.size(), before + 1);
  EXPECT_EQ(doc->props[first].index, first);
  // A record that matches one already in a new document adds nothing.
  PropRecord normal = CharRecord(doc.get(), 48);
  EXPECT_EQ(IndexForProperties(doc.get(), &normal), doc->styles[0].second);
}

// Text alternates between a few formats, which the interning cache keeps: more formats than it
// holds, in turn, must still come back as their own records.
TEST(Properties, FormatsInTurnKeepTheirRecords) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  const size_t before = doc->props.size();
  std::vector<uint32_t> first;
  for (int round = 0; round < 3; ++round)
    for (int16_t size = 60; size < 60 + 6 * 4; size += 4) {
      PropRecord chars = CharRecord(doc.get(), size);
      PropRecord para = DefaultProps(doc.get(), kPropPara);
      para.set<int64_t>(ParaField::leftIndent, size * 12700);
      const uint32_t charIndex = IndexForProperties(doc.get(), &chars);
      const uint32_t paraIndex = IndexForProperties(doc.get(), &para);
      if (round == 0) {
        first.push_back(charIndex);
        first.push_back(paraIndex);
      } else {
        EXPECT_EQ(charIndex, first[(size - 60) / 2]);
        EXPECT_EQ(paraIndex, first[(size - 60) / 2 + 1]);
      }
      EXPECT_EQ(doc->props[charIndex].get<int16_t>(CharField::size), size);
      EXPECT_EQ(doc->props[paraIndex].get<int64_t>(ParaField::leftIndent), size * 12700);
    }
  EXPECT_EQ(doc->props.size(), before + 12);
}

TEST(Properties, BordersOfKindNoneCompareEqualWhateverTheirOtherFields) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  PropRecord a = DefaultProps(doc.get(), kPropPara);
  a.set<int64_t>(ParaField::leftIndent, 12700);
  PropRecord b = a;
  b.set<uint32_t>(ParaField::border + BorderField::lineColor, 0x640000FF);
  b.set<int64_t>(ParaField::border + BorderField::width, 6350);
  EXPECT_EQ(IndexForProperties(doc.get(), &a), IndexForProperties(doc.get(), &b));
  // A visible border keeps its colour.
  b.set<uint32_t>(ParaField::border + BorderField::kind, 7);
  EXPECT_NE(IndexForProperties(doc.get(), &a), IndexForProperties(doc.get(), &b));
}

TEST(Properties, BadFontSizeIsInternedAsItIsAndReadsBackAsTwelvePoints) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("abc"));
  LogCapture capture;
  PropRecord record = CharRecord(doc.get(), 8001);
  const uint32_t index = IndexForProperties(doc.get(), &record);
  ASSERT_NE(index, kGMNone);
  EXPECT_EQ(doc->props[index].get<int16_t>(CharField::size), 8001);
  ASSERT_TRUE(ApplyPropsToRange({doc.get(), kBody, kBody + 2}, record));
  EXPECT_EQ(CharsAt(doc.get(), kBody + 1).get<int16_t>(CharField::size), 48);
  EXPECT_TRUE(capture.assertMessages().contains(QStringLiteral("Bad font size")));
}

TEST(Properties, FontSizeLadder) {
  const struct { int points, steps, expected; } cases[] = {
      {11, 1, 12},  {12, 1, 14}, {24, 1, 36},  {2000, 1, 2000}, {10, -1, 9}, {24, -1, 22},
      {36, -1, 24}, {4, -1, 4},  {25, -1, 24}, {12, 2, 16},     {36, -2, 22},
  };
  for (const auto& c : cases)
    EXPECT_EQ(StepOffsetFontSize(c.points, c.steps), c.expected) << c.points << " by " << c.steps;
}

TEST(Properties, InterningAfterRecordsAreRewrittenInPlaceFindsTheOldBodyAgain) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  PropRecord record = CharRecord(doc.get(), 60);
  const uint32_t first = IndexForProperties(doc.get(), &record);
  // A new default size rewrites every character record in place.
  RewriteCharRecordsFont(doc.get(), 0, 0, record.get<uint16_t>(CharField::font), 40, true);
  PropRecord again = CharRecord(doc.get(), 60);
  again.set<uint16_t>(CharField::font, record.get<uint16_t>(CharField::font));
  const uint32_t second = IndexForProperties(doc.get(), &again);
  ASSERT_NE(second, kGMNone);
  EXPECT_NE(second, first);
  EXPECT_EQ(doc->props[second].get<int16_t>(CharField::size), 60);
}

TEST(Properties, RunsNamingARecordOfTheWrongKindAreRepairedOnFetch) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("abc"));
  doc->charRuns.at(0) = doc->styles[0].first;  // a paragraph record
  doc->paraRuns.at(0) = doc->styles[0].second;
  LogCapture capture;
  EXPECT_EQ(CharsAt(doc.get(), kBody).index, doc->styles[0].second);
  EXPECT_EQ(ParaAt(doc.get(), kBody).index, doc->styles[0].first);
  EXPECT_EQ(capture.assertMessages(), (QStringList{QStringLiteral("charRuns points to not-char properties"),
                                                   QStringLiteral("paraRuns points to not-ParaProperties")}));
}

TEST(Properties, CharacterPropertiesOfKinksComeFromTheirText) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("ab"));
  // The chapter's begin kink takes the properties after it, its end kink those before it.
  PropRecord bold = CharRecord(doc.get(), 48);
  bold.body[CharField::bold] = 1;
  // Property changes pass over the hidden chapter knot, so the run is set directly.
  ASSERT_TRUE(ApplyPropsToRange({doc.get(), 12, 13}, bold));
  EXPECT_EQ(doc->charRuns.count(), 1u);
  uint32_t limitIndex = 0;
  ASSERT_NE(SplitRuns({doc.get(), 12, 13}, nullptr, kPropChar, &limitIndex, IndexForProperties(doc.get(), &bold)), kGMNone);
  EXPECT_EQ(CharsAt(doc.get(), 13).body[CharField::bold], 1);
  PropRecord record;
  DocRange run;
  FetchCharProps(doc.get(), 13, &run, &record);
  EXPECT_EQ(record.body[CharField::bold], 0);
  EXPECT_EQ(run, (DocRange{doc.get(), 13, uint32_t(doc->totalLength)}));
}

TEST(Properties, StrayKnotCharacterBecomesABullet) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("ab"));
  // Raw text bypasses the knot table: the U+0001 has no entry.
  char16_t stray = 0x0001;
  ASSERT_TRUE(ReplaceRangeSimple({doc.get(), kBody + 1, kBody + 1}, nullptr, &stray, 1));
  LogCapture capture;
  DocRange para;
  FetchParaProps(doc.get(), nullptr, kBody, &para, nullptr);
  EXPECT_EQ(CharacterAtCp(doc.get(), kBody + 1), kBullet);
  EXPECT_EQ(para, (DocRange{doc.get(), kBody, kBody + 4}));
  EXPECT_EQ(capture.assertMessages(), QStringList{QStringLiteral("Knot character found but not in a knot")});
}

TEST(Properties, HeaderTabsCentreAndRightOfTheTextWidth) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  PropRecord para = DefaultProps(doc.get(), kPropPara);
  AddHeaderTabs(doc.get(), nullptr, para.body);
  // Letter paper, one-inch margins: 6.5 inches of text.
  ASSERT_EQ(para.get<uint16_t>(ParaField::tabCount), 2);
  EXPECT_EQ(para.get<uint32_t>(ParaField::tabs), MakeTab(2971800, 1));
  EXPECT_EQ(para.get<uint32_t>(ParaField::tabs + 4), MakeTab(5943600, 2));

  PropRecord full = DefaultProps(doc.get(), kPropPara);
  full.set<uint16_t>(ParaField::tabCount, 25);
  for (uint32_t i = 0; i < 25; ++i) full.set<uint32_t>(ParaField::tabs + 4 * i, MakeTab(i * 12700, 0));
  PropRecord copy = full;
  AddHeaderTabs(doc.get(), nullptr, full.body);
  EXPECT_EQ(std::memcmp(copy.body, full.body, sizeof full.body), 0);

  LogCapture capture;
  DeleteTab(para.body, 0);
  EXPECT_EQ(para.get<uint16_t>(ParaField::tabCount), 1);
  EXPECT_EQ(para.get<uint32_t>(ParaField::tabs), MakeTab(5943600, 2));
  DeleteTab(para.body, 1);
  EXPECT_EQ(capture.assertMessages(), QStringList{QStringLiteral("Bad tabIndex")});
}

TEST(Properties, DefaultListRecordIsAppendedNotInterned) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  const PropRecord& list = doc->props[doc->defaultListProps];
  EXPECT_EQ(list.kind, kPropList);
  EXPECT_EQ(list.get<int64_t>(ListField::indent), 457200);
  EXPECT_EQ(list.get<uint16_t>(ListField::markers + 8), 0x2022);
  EXPECT_EQ(list.get<uint16_t>(ListField::markers + ListField::markerSize + 8), u'-');
  const size_t before = doc->props.size();
  ASSERT_TRUE(SetNormalListProps(doc.get()));
  EXPECT_EQ(doc->props.size(), before + 1);
}

}  // namespace

namespace {

TEST(Properties, CpsAreKeptWithinTheirRangeEvenWhenItIsEmpty) {
  struct Case {
    uint32_t cp, first, limit, expected;
  };
  const Case cases[] = {
      {3, 5, 9, 5}, {5, 5, 9, 5}, {8, 5, 9, 8}, {9, 5, 9, 8}, {20, 5, 9, 8},
      {0, 5, 5, 5}, {7, 5, 5, 5},  // an empty range
      {0, 0, 0, 0}, {4, 7, 3, 7},  // and one turned round
  };
  for (const Case& c : cases)
    EXPECT_EQ(ClampCpToRange(c.cp, {nullptr, c.first, c.limit}), c.expected) << c.cp << " " << c.first << " " << c.limit;
}

TEST(Properties, AParagraphRangeInAnEmptyPaneStaysAtThePane) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("ab"));
  // A pane whose chapter starts at the document's very end shows nothing.
  doc->chapterCps.insertSorted(uint32_t(doc->totalLength), GMNoData{});
  Pane pane = *CurrentPane(doc.get());
  pane.chapterIndex = doc->chapterCps.count() - 1;
  DocRange paneRange;
  GetPaneRange(doc.get(), &pane, &paneRange);
  ASSERT_TRUE(paneRange.empty());
  LogCapture log;
  DocRange para;
  SetParaRange(doc.get(), &pane, kBody, &para);
  EXPECT_TRUE(log.assertMessages().contains(QStringLiteral("cp not in pane")));
  EXPECT_GE(para.first, paneRange.first);
}

}  // namespace
