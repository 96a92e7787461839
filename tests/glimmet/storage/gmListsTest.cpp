#include "glimmet/storage/gmLists.h"

#include "StorageTestSupport.h"
#include "glimmet/storage/gmStyles.h"

#include <gtest/gtest.h>

namespace {

PropRecord TwoLevelNumbers(bool upperSuffix) {
  PropRecord props = BaseProps(kPropList);
  props.body[ListField::showAllLevels] = 1;
  for (uint32_t level = 0; level < 2; ++level) {
    const uint32_t at = ListField::markers + ListField::markerSize * level;
    props.set<uint32_t>(at, kMarkerNumber);
    props.set<uint32_t>(at + 4, 0);
    props.set<uint16_t>(at + 10, level == 0 && !upperSuffix ? 0 : u'.');
  }
  return props;
}

// A list over five paragraphs at levels 0, 1, 1, 0, 1; the cps of the paragraphs.
std::vector<uint32_t> MakeList(GlimmetDoc* doc, const PropRecord& props, KnotInfo* list) {
  InsertText(doc, kBody, QStringLiteral("a\nb\nc\nd\ne"));
  Select(doc, kBody, kBody + 9);
  EXPECT_TRUE(InsertList(doc, &props, true, false));
  EXPECT_TRUE(FetchList(doc, kBody + 1, list, nullptr));
  std::vector<uint32_t> cps;
  for (uint32_t i = 0; i < 5; ++i) cps.push_back(list->first + 1 + 2 * i);
  for (uint32_t i : {1u, 2u, 4u})
    EXPECT_TRUE(ApplyParaStyle({doc, cps[i], cps[i] + 1}, kBuiltinStyleRef + kListStyleId + 1));
  return cps;
}

TEST(Lists, MultiLevelNumbersJoinWithFullStops) {
  for (bool upperSuffix : {true, false}) {
    GlimmetDocPtr doc = DocWithBody(QString());
    KnotInfo list;
    const PropRecord props = TwoLevelNumbers(upperSuffix);
    const std::vector<uint32_t> cps = MakeList(doc.get(), props, &list);
    ASSERT_EQ(BodyText(doc.get()), QString(QChar(0)) + QStringLiteral("a\nb\nc\nd\ne\n") + QChar(1) + QStringLiteral("\n\n"));
    const QStringList expected{QStringLiteral("1."), QStringLiteral("1.1."), QStringLiteral("1.2."),
                               QStringLiteral("2."), QStringLiteral("2.1.")};
    const uint32_t levels[] = {0, 1, 1, 0, 1};
    for (uint32_t i = 0; i < 5; ++i) {
      const QString marker = ListEntryMarker(doc.get(), cps[i], list.first, levels[i], props);
      if (upperSuffix || levels[i] == 1) EXPECT_EQ(marker, expected[int(i)]) << i;
      else EXPECT_EQ(marker, expected[int(i)].chopped(1)) << i;
    }
  }
}

TEST(Lists, ChangedLevelsRenumberTheList) {
  GlimmetDocPtr doc = DocWithBody(QString());
  KnotInfo list;
  const PropRecord props = TwoLevelNumbers(true);
  const std::vector<uint32_t> cps = MakeList(doc.get(), props, &list);
  auto markers = [&](const std::vector<uint32_t>& levels) {
    QStringList out;
    for (uint32_t i = 0; i < 5; ++i) out << ListEntryMarker(doc.get(), cps[i], list.first, levels[i], props);
    return out;
  };
  markers({0, 1, 1, 0, 1});
  EXPECT_FALSE(ListNeedsRenumbering(doc.get(), list.first));
  ASSERT_TRUE(ApplyParaStyle({doc.get(), cps[2], cps[2] + 1}, kBuiltinStyleRef + kListStyleId));
  EXPECT_TRUE(ListNeedsRenumbering(doc.get(), list.first));
  EXPECT_EQ(markers({0, 1, 0, 0, 1}), (QStringList{QStringLiteral("1."), QStringLiteral("1.1."), QStringLiteral("2."),
                                                   QStringLiteral("3."), QStringLiteral("3.1.")}));
  EXPECT_FALSE(ListNeedsRenumbering(doc.get(), list.first));
  // An edit inside the list marks it too.
  ASSERT_TRUE(InsertText(doc.get(), cps[4], QStringLiteral("z")));
  EXPECT_TRUE(ListNeedsRenumbering(doc.get(), list.first));
}

TEST(Lists, BulletsCheckboxesAndPictures) {
  GlimmetDocPtr doc = DocWithBody(QString());
  KnotInfo list;
  PropRecord props = DefaultProps(doc.get(), kPropList);
  const std::vector<uint32_t> cps = MakeList(doc.get(), props, &list);
  EXPECT_EQ(ListEntryMarker(doc.get(), cps[0], list.first, 0, props), QString(QChar(0x2022)));
  EXPECT_EQ(ListEntryMarker(doc.get(), cps[1], list.first, 1, props), QStringLiteral("-"));
  props.set<uint32_t>(ListField::markers, kMarkerCheckbox);
  EXPECT_TRUE(ListEntryMarker(doc.get(), cps[0], list.first, 0, props).isNull());
  props.set<uint32_t>(ListField::markers, kMarkerPicture);
  EXPECT_TRUE(ListEntryMarker(doc.get(), cps[0], list.first, 0, props).isNull());
}

TEST(Lists, ADividerInTheSelectionIsRefused) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("one\ntwo"));
  DocRange at{doc.get(), kBody + 2, kBody + 2};
  ASSERT_TRUE(InsertKnotCore(&at, kKnotDivider, 0, 0, nullptr, 0, nullptr, false));
  Select(doc.get(), kBody, kBody + 6);
  AlertCatcher catcher;
  EXPECT_FALSE(InsertList(doc.get(), nullptr, true, true));
  EXPECT_EQ(catcher.alerts, (QStringList{QStringLiteral("I can't insert a list there."),
                                         QStringLiteral("The selection contains a divider. I can't convert it to a list.")}));
  EXPECT_EQ(doc->listCps.count(), 0u);
  EXPECT_FALSE(InsertList(doc.get(), nullptr, true, false));
  EXPECT_EQ(catcher.alerts.size(), 2);
}

TEST(Lists, IndentsMoveLevelsWithinTheirBounds) {
  GlimmetDocPtr doc = DocWithBody(QString());
  KnotInfo list;
  PropRecord props = DefaultProps(doc.get(), kPropList);
  const std::vector<uint32_t> cps = MakeList(doc.get(), props, &list);
  auto levelAt = [&](uint32_t cp) { return ListLevelOfStyle(doc.get(), ParaAt(doc.get(), cp).get<uint16_t>(0)); };
  uint32_t cp = cps[0];
  ChangeIndent(doc.get(), &cp, cps[0] + 1, cps[0] + 1, false, 255);
  EXPECT_EQ(levelAt(cps[0]), -1);  // out of the list
  ASSERT_TRUE(ApplyParaStyle({doc.get(), cps[3], cps[3] + 1}, kBuiltinStyleRef + kListStyleId + 8));
  cp = cps[3];
  ChangeIndent(doc.get(), &cp, cps[3] + 1, cps[3] + 1, true, 255);
  EXPECT_EQ(levelAt(cps[3]), 8);
  cp = cps[1];
  ChangeIndent(doc.get(), &cp, cps[1] + 1, cps[1] + 1, true, 255);
  EXPECT_EQ(levelAt(cps[1]), 2);
}

TEST(Lists, AListAtTheEndOfTheBodyGetsAParagraphMarkFirst) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("only"));
  Select(doc.get(), kBody, kBody + 4);
  ASSERT_TRUE(InsertList(doc.get(), nullptr, true, false));
  KnotInfo list;
  ASSERT_TRUE(FetchList(doc.get(), kBody + 1, &list, nullptr));
  EXPECT_EQ(list.first, kBody);
  EXPECT_EQ(doc->listCps.count(), 1u);
  EXPECT_TRUE(DeleteList(doc.get()));
  EXPECT_EQ(doc->listCps.count(), 0u);
  EXPECT_TRUE(BodyText(doc.get()).startsWith(QStringLiteral("only\n")));
}

TEST(Lists, ACaretInsideAParagraphMakesThatParagraphAnItem) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("one two\nthree"));
  Select(doc.get(), kBody + 3, kBody + 3);
  ASSERT_TRUE(InsertList(doc.get(), nullptr, true, false));
  KnotInfo list;
  ASSERT_TRUE(FetchList(doc.get(), kBody + 1, &list, nullptr));
  EXPECT_EQ(list.first, kBody);
  EXPECT_EQ(TextOfRange({doc.get(), list.first + 1, list.limit - 1}), QStringLiteral("one two\n"));
  EXPECT_EQ(TextOfRange({doc.get(), list.limit, list.limit + 5}), QStringLiteral("three"));
}

TEST(Lists, AnyEnclosingKnotButAChapterOrNoteRefusesAnEmptyList) {
  // A note inside a short knot, the caret at the start of the note's second paragraph: the note
  // allows a list, the short knot around it does not.
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("ab"));
  DocRange shortKnot{doc.get(), kBody + 1, kBody + 1};
  ASSERT_TRUE(InsertKnotCore(&shortKnot, kKnotShort, 0, 0, nullptr, 0, nullptr, false));
  DocRange note{doc.get(), shortKnot.first + 1, shortKnot.first + 1};
  ASSERT_TRUE(InsertKnotCore(&note, kKnotNote, 0, 0, nullptr, 0, nullptr, false));
  KnotInfo info;
  ASSERT_TRUE(FetchKnot(doc.get(), note.first, &info, kKnotNote));
  ASSERT_EQ(info.kinkCount, 3u);
  const uint32_t caret = info.kinkCps[1] + 1;
  Select(doc.get(), caret, caret);
  AlertCatcher catcher;
  EXPECT_FALSE(InsertList(doc.get(), nullptr, true, true));
  EXPECT_EQ(catcher.alerts.value(0), QStringLiteral("I can't insert a list there."));
  EXPECT_EQ(doc->listCps.count(), 0u);
}

}  // namespace
