#include "glimmet/storage/GlimmetDoc.h"
#include "support/LogCapture.h"
#include "StorageTestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(GlimmetDoc, NewDocumentHoldsTheInitialChapterKnotAndOneEmptyParagraph) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->totalLength, 16);
  EXPECT_EQ(doc->userLength, 15);
  const char16_t expected[16] = {0, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 10};
  for (uint32_t cp = 0; cp < 16; ++cp) EXPECT_EQ(CharacterAtCp(doc.get(), cp), expected[cp]) << cp;
  ASSERT_EQ(doc->knots.count(), 8u);
  const uint32_t kinkCps[8] = {0, 1, 3, 5, 7, 9, 11, 13};
  const uint32_t kinks[8] = {kKinkBegin, kKinkMiddle, kKinkMiddle, kKinkMiddle,
                             kKinkMiddle, kKinkMiddle, kKinkMiddle, kKinkEnd};
  for (uint32_t i = 0; i < 8; ++i) {
    EXPECT_EQ(doc->knots.cpAt(i), kinkCps[i]);
    EXPECT_EQ(doc->knots.at(i).type, kKnotChapter);
    EXPECT_EQ(doc->knots.at(i).kink, kinks[i]);
    EXPECT_EQ(doc->knots.at(i).propIndex, i == 0 ? doc->defaultChapterProps : kGMNone);
  }
  EXPECT_EQ(KnotLimitCp(doc.get(), 0), 14u);
  ASSERT_EQ(doc->chapterCps.count(), 1u);
  EXPECT_EQ(doc->chapterCps.cpAt(0), 0u);
  EXPECT_EQ(FirstVisibleCp(doc.get()), 14u);
  EXPECT_EQ(ChapterName(doc.get(), 0), QString());
  EXPECT_EQ(ChapterName(doc.get(), 1), QString());

  // The body's one paragraph and Normal's formatting.
  DocRange para;
  PropRecord props;
  FetchParaProps(doc.get(), nullptr, 14, &para, &props);
  EXPECT_EQ(para, (DocRange{doc.get(), 14, 15}));
  EXPECT_EQ(props.index, doc->styles[0].first);
  EXPECT_EQ(CharsAt(doc.get(), 14).get<int16_t>(CharField::size), 48);
  EXPECT_EQ(CharsAt(doc.get(), 14).get<uint32_t>(CharField::color), 0x64000000u);
  EXPECT_EQ(doc->styles[0].name, QStringLiteral("Normal"));

  // The document properties' defaults.
  const std::pair<uint32_t, int64_t> defaults[] = {
      {DocField::defTab, 457200}, {DocField::left, 914400}, {DocField::bottom, 914400}};
  for (const auto& [field, value] : defaults) EXPECT_EQ(doc->docProps.get<int64_t>(field), value) << field;
  EXPECT_EQ(doc->docProps.get<uint16_t>(DocField::pageNum), 1);
  EXPECT_EQ(doc->docProps.body[DocField::widow], 1);
  EXPECT_EQ(doc->docProps.get<int32_t>(DocField::image), -1);
}

TEST(GlimmetDoc, PaneRangesAndScanRanges) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("abc"));
  DocRange range;
  GetPaneRange(doc.get(), nullptr, &range);
  EXPECT_EQ(range, (DocRange{doc.get(), 0, uint32_t(doc->totalLength)}));
  doc->singleRange = true;
  GetPaneRange(doc.get(), nullptr, &range);
  EXPECT_EQ(range, (DocRange{doc.get(), 0, uint32_t(doc->userLength)}));

  Select(doc.get(), 15, 16);
  GetScanRange(doc.get(), 1, &range);
  EXPECT_EQ(range.first, 0u);
  GetScanRange(doc.get(), 0, &range);
  EXPECT_EQ(range.first, 16u);
}

TEST(GlimmetDoc, SecondCurrentPaneIsTheSameAndAThirdIsRefused) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  Pane* pane = CurrentPane(doc.get());
  EXPECT_EQ(CurrentPane(doc.get()), pane);
  EXPECT_EQ(pane->contentsKind, kPaneContentsNoDisplay);
  EXPECT_TRUE(SetupPane(doc.get(), nullptr));
  LogCapture capture;
  EXPECT_FALSE(SetupPane(doc.get(), nullptr));
  EXPECT_EQ(capture.assertMessages(), QStringList{QStringLiteral("Too many panes")});
  doc->currentPane = 5;
  EXPECT_EQ(CurrentPane(doc.get()), &doc->panes[0]);
}

TEST(GlimmetDoc, DestroyingNothingIsHarmless) { DestroyDocument(nullptr); }

}  // namespace
