#include "framlet/help/flHelpNavigation.h"

#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmEdit.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(HelpTopicTree, ChaptersBecomeTopicsByTheirLeadingTabs) {
  FLHelpTopicTree tree;
  tree.build({"\tOrphan", "A", "\tA1", "\t\tx", "\t\tx", "B", "\t\tLost", "C", "\tC1"});
  ASSERT_EQ(tree.chapterCount(), 9);
  ASSERT_EQ(tree.topics().size(), 3u);
  EXPECT_EQ(tree.topics()[0]->name, QStringLiteral("A"));
  // A sub-topic before any topic, and a third-level entry without a sub-topic, are reachable by
  // index but out of the outline.
  EXPECT_FALSE(FLHelpTopicTree::inOutline(tree.chapter(0)));
  EXPECT_FALSE(FLHelpTopicTree::inOutline(tree.chapter(6)));
  EXPECT_EQ(tree.chapter(6)->name, QStringLiteral("Lost"));
  // Equal names stay two entries.
  const FLHelpTopic* a1 = tree.chapter(2);
  ASSERT_EQ(a1->topics.size(), 2u);
  EXPECT_NE(a1->topics[0], a1->topics[1]);
  EXPECT_EQ(a1->topics[1]->index, 4);

  struct Case {
    int64_t chapter;
    std::vector<int64_t> expand;
  };
  const Case cases[] = {{4, {1, 2}}, {2, {1, 2}}, {1, {1}}, {5, {}}, {8, {7}}, {0, {}}};
  for (const Case& c : cases) {
    std::vector<int64_t> got;
    for (const FLHelpTopic* record : tree.recordsToExpandFor(c.chapter)) got.push_back(record->index);
    EXPECT_EQ(got, c.expand) << c.chapter;
  }
}

TEST(HelpHistory, BackForwardAndRecordingAfterGoingBack) {
  FLHelpHistory history;
  EXPECT_FALSE(history.canGoBack());
  for (uint32_t cp : {10u, 20u, 30u}) history.record({nullptr, cp, cp});
  EXPECT_TRUE(history.canGoBack());
  EXPECT_FALSE(history.canGoForward());
  EXPECT_EQ(history.back().value().first, 20u);
  EXPECT_EQ(history.back().value().first, 10u);
  EXPECT_FALSE(history.back());
  EXPECT_EQ(history.forward().value().first, 20u);
  history.record({nullptr, 40, 40});
  EXPECT_EQ(history.count(), 3);
  EXPECT_FALSE(history.canGoForward());
  EXPECT_EQ(history.back().value().first, 20u);
}

TEST(HelpZoom, StepsInAndOut) {
  struct Case {
    double zoom;
    std::optional<double> in, out;
  };
  const Case cases[] = {
      {4.0, std::nullopt, 3.0}, {3.2, std::nullopt, 3.0}, {0.5, 0.75, std::nullopt}, {0.4, 0.5, std::nullopt},
      {5.0, 1.0, 1.0},          {1.1, 1.25, 1.0},         {1.0, 1.25, 0.75},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FLHelpZoomIn(c.zoom), c.in) << c.zoom;
    EXPECT_EQ(FLHelpZoomOut(c.zoom), c.out) << c.zoom;
  }
  EXPECT_EQ(FLHelpZoomPercent(1.75), 175);
}

TEST(HelpSearch, CaretCodesBothWays) {
  struct Case {
    QString typed;
    QString findString;
    int findType;
  };
  const Case cases[] = {
      {QStringLiteral("^g"), QString(QChar(1)), 8},
      {QStringLiteral("^v"), QString(QChar(5)), 11},
      {QStringLiteral("a^tb^^"), QStringLiteral("a\tb^"), kFLHelpFindText},
      {QStringLiteral("x^g"), QStringLiteral("x"), kFLHelpFindText},
      {QString(), QString(), kFLHelpFindNone},
      {QString(300, u'z'), QString(255, u'z'), kFLHelpFindText},
  };
  for (const Case& c : cases) {
    const FLHelpFind find = FLHelpQuickSearch(c.typed);
    EXPECT_EQ(find.findString, c.findString) << c.typed.left(10).toStdString();
    EXPECT_EQ(find.findType, c.findType) << c.typed.left(10).toStdString();
  }
  const QString special = QString(QChar(1)) + QStringLiteral("\t^x") + QChar(0xAD) + QChar(0x2028) + QChar(10);
  EXPECT_EQ(FLHelpCaretCodedString(special), QStringLiteral("^g^t^^x^-^l^p"));
}

TEST(HelpText, ASentenceEndsAfterItsStopOrAtItsParagraph) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocHelp));
  const uint32_t body = BodyStart(doc.get());
  DocRange at{doc.get(), body, body};
  ASSERT_TRUE(ReplaceRangeWithString(&at, QStringLiteral("Sort 1.5 items. Then\nmore")));
  EXPECT_EQ(FLHelpSentenceLimit(doc.get(), body), body + 15);
  EXPECT_EQ(FLHelpSentenceLimit(doc.get(), body + 16), body + 20);
}

}  // namespace
