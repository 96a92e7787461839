#include "glimmet/storage/gmStyles.h"

#include "StorageTestSupport.h"
#include "glimmet/storage/gmAtoms.h"

#include <gtest/gtest.h>

namespace {

PropRecord Formatting(GlimmetDoc* doc, uint32_t index) { return *PropertiesAtIndex(doc, index); }

uint32_t NewUserStyle(GlimmetDoc* doc, const QString& name, uint32_t kind) {
  PropRecord first, second;
  SetDefaultProperties(doc, kind, &first);
  SetDefaultProperties(doc, kPropChar, &second);
  return CreateStyle(doc, name, kUserStyleId, 0, kStyleNone, first, kind == kPropPara ? &second : nullptr);
}

TEST(Styles, TheHeaderStyleIsMadeOnce) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("x"));
  const uint32_t header = StyleIndexForStyleId(doc.get(), kHeaderStyleId, true);
  ASSERT_NE(header, kGMNone);
  const GMStyle& style = doc->styles[header];
  EXPECT_EQ(std::tuple(style.name, style.kind, style.basedOn, style.next),
            std::tuple(QStringLiteral("header"), uint32_t(kPropPara), 0u, header));
  EXPECT_EQ(StyleIndexForStyleId(doc.get(), kHeaderStyleId, true), header);
  ASSERT_EQ(doc->styles.size(), 2u);
  EXPECT_EQ(Formatting(doc.get(), doc->styles[header].first).get<uint16_t>(0), header);
  EXPECT_EQ(StyleIndexForStyleId(doc.get(), 16, false), kGMNone);
}

TEST(Styles, BuiltinDefinitionsOfListsAndLinks) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("x"));
  const uint32_t list3 = StyleIndexForStyleId(doc.get(), 23, true);
  const PropRecord para = Formatting(doc.get(), doc->styles[list3].first);
  EXPECT_EQ(para.get<int64_t>(ParaField::leftIndent), 4 * 457200);
  EXPECT_EQ(para.get<int64_t>(ParaField::firstIndent), -457200);
  const uint32_t link = StyleIndexForStyleId(doc.get(), kLinkStyleId, true);
  EXPECT_EQ(doc->styles[link].kind, kPropChar);
  const PropRecord chars = Formatting(doc.get(), doc->styles[link].first);
  EXPECT_EQ(chars.get<uint32_t>(CharField::color), 0x64D92B27u);
  EXPECT_EQ(chars.get<uint32_t>(CharField::underline), 1u);
}

TEST(Styles, ShownDocumentsTakeBuiltinsFromThePreferenceDocument) {
  GlimmetDoc* prefs = CreatePreferenceDocument();
  ASSERT_TRUE(prefs);
  EXPECT_EQ(CreatePreferenceDocument(), prefs);
  const uint32_t prefHeader = StyleIndexForStyleId(prefs, kHeaderStyleId, true);
  PropRecord para = Formatting(prefs, prefs->styles[prefHeader].first);
  para.set<uint32_t>(ParaField::alignment, 1);
  GMStyle changed = prefs->styles[prefHeader];
  ASSERT_TRUE(UpdateStyle(prefs, prefHeader, changed, para, nullptr));
  GlimmetDocPtr shown(NewGlimmetDoc(kDocShown));
  const uint32_t header = StyleIndexForStyleId(shown.get(), kHeaderStyleId, true);
  EXPECT_EQ(Formatting(shown.get(), shown->styles[header].first).get<uint32_t>(ParaField::alignment), 1u);
  GlimmetDocPtr plain = DocWithBody(QStringLiteral("x"));
  const uint32_t local = StyleIndexForStyleId(plain.get(), kHeaderStyleId, true);
  EXPECT_EQ(Formatting(plain.get(), plain->styles[local].first).get<uint32_t>(ParaField::alignment), 0u);
  DestroyPreferenceDocument();
  EXPECT_EQ(g_prefDoc, nullptr);
}

TEST(Styles, ReferencesGiveKinds) {
  GlimmetDocPtr doc = DocWithBody(QString());
  const std::pair<uint32_t, uint32_t> cases[] = {
      {4003, kPropChar}, {4015, kPropPara}, {5004, kPropTable}, {0, kPropPara}};
  for (const auto& [ref, kind] : cases) EXPECT_EQ(PropTypeForStyle(doc.get(), ref), kind) << ref;
}

TEST(Styles, TheSortedListPutsHeadingsFirstAndNamesIgnoringCase) {
  GlimmetDocPtr doc = DocWithBody(QString());
  const uint32_t beta = NewUserStyle(doc.get(), QStringLiteral("beta"), kPropPara);
  const uint32_t alpha = NewUserStyle(doc.get(), QStringLiteral("Alpha"), kPropPara);
  const uint32_t emphasis = NewUserStyle(doc.get(), QStringLiteral("Emphasis"), kPropChar);
  const std::vector<uint32_t> expected{5000, emphasis, 5001, alpha, beta, 5002, 5004, 5005};
  EXPECT_EQ(doc->styleList, expected);
}

// Styles made one by one take their places in the sorted list as a sort of all of them puts them:
// names alike but for case, kinds mixed, made in no order.
TEST(Styles, StylesMadeOneByOneSortAsAllOfThemAtOnce) {
  const std::pair<const char*, uint32_t> made[] = {
      {"delta", kPropPara}, {"Alpha", kPropChar}, {"alpha", kPropPara}, {"ALPHA", kPropPara}, {"Zulu", kPropChar},
      {"beta", kPropPara},  {"Beta", kPropChar},  {"\xe9t\xe9", kPropPara}, {"Echo", kPropPara}, {"", kPropPara},
  };
  GlimmetDocPtr doc = DocWithBody(QString());
  for (const auto& [name, kind] : made) {
    ASSERT_NE(NewUserStyle(doc.get(), QString::fromLatin1(name), kind), kGMNone) << name;
    const std::vector<uint32_t> kept = doc->styleList;
    ASSERT_TRUE(RebuildStyleList(doc.get()));
    EXPECT_EQ(kept, doc->styleList) << name;
  }
}

TEST(Styles, TheStyleLimitShowsTheAlertAndAddsNothing) {
  GlimmetDocPtr doc = DocWithBody(QString());
  GMStyle filler;
  filler.kind = kPropUnusedStyle;
  doc->styles.resize(kMaxStyles - 1, filler);
  AlertCatcher catcher;
  EXPECT_NE(NewUserStyle(doc.get(), QStringLiteral("last"), kPropPara), kGMNone);
  EXPECT_TRUE(catcher.alerts.isEmpty());
  EXPECT_EQ(NewUserStyle(doc.get(), QStringLiteral("one more"), kPropPara), kGMNone);
  EXPECT_EQ(doc->styles.size(), size_t(kMaxStyles));
  EXPECT_EQ(catcher.alerts,
            (QStringList{QStringLiteral("Can't create style."),
                         QStringLiteral("I can't create the new style. You have exceeded the limit for the number "
                                        "of styles in a document.")}));
}

TEST(Styles, ABoldRunStaysBoldWhenNormalsSizeChanges) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("plain bold"));
  PropRecord bold = CharsAt(doc.get(), kBody);
  bold.body[CharField::bold] = 1;
  ASSERT_TRUE(ApplyPropsToRange({doc.get(), kBody + 6, kBody + 10}, bold));
  PropRecord para = Formatting(doc.get(), doc->styles[0].first), chars = Formatting(doc.get(), doc->styles[0].second);
  chars.set<int16_t>(CharField::size, 72);
  ASSERT_TRUE(ChangeStyle(doc.get(), 0, para, chars));
  const PropRecord plainNow = CharsAt(doc.get(), kBody + 1), boldNow = CharsAt(doc.get(), kBody + 7);
  EXPECT_EQ(plainNow.get<int16_t>(CharField::size), 72);
  EXPECT_EQ(plainNow.body[CharField::bold], 0);
  EXPECT_EQ(boldNow.get<int16_t>(CharField::size), 72);
  EXPECT_EQ(boldNow.body[CharField::bold], 1);
}

TEST(Styles, AStyleBasedOnAnotherFollowsItsChangesButKeepsItsOwn) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("x"));
  const uint32_t base = NewUserStyle(doc.get(), QStringLiteral("Base"), kPropPara);
  PropRecord first = Formatting(doc.get(), doc->styles[base].first);
  first.set<int64_t>(ParaField::spaceAfter, 12700);
  PropRecord second = Formatting(doc.get(), doc->styles[base].second);
  const uint32_t derived = CreateStyle(doc.get(), QStringLiteral("Derived"), kUserStyleId, base, kStyleNone, first, &second);
  ASSERT_NE(derived, kGMNone);
  PropRecord baseFirst = Formatting(doc.get(), doc->styles[base].first);
  baseFirst.set<uint32_t>(ParaField::alignment, 2);
  ASSERT_TRUE(UpdateStyle(doc.get(), base, doc->styles[base], baseFirst, nullptr));
  const PropRecord result = Formatting(doc.get(), doc->styles[derived].first);
  EXPECT_EQ(result.get<uint32_t>(ParaField::alignment), 2u);
  EXPECT_EQ(result.get<int64_t>(ParaField::spaceAfter), 12700);
  EXPECT_EQ(result.get<uint16_t>(0), derived);
}

TEST(Styles, ACyclicBasedOnChainEnds) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("x"));
  const uint32_t a = NewUserStyle(doc.get(), QStringLiteral("A"), kPropPara);
  const uint32_t b = NewUserStyle(doc.get(), QStringLiteral("B"), kPropPara);
  doc->styles[a].basedOn = b;
  doc->styles[b].basedOn = a;
  PropRecord first = Formatting(doc.get(), doc->styles[a].first);
  first.set<uint32_t>(ParaField::alignment, 3);
  EXPECT_TRUE(UpdateStyle(doc.get(), a, doc->styles[a], first, nullptr));
  EXPECT_EQ(Formatting(doc.get(), doc->styles[b].first).get<uint32_t>(ParaField::alignment), 3u);
  EXPECT_TRUE(doc->styles[a].basedOn == 0 || doc->styles[b].basedOn == 0);
  // Importing from a sheet with a cycle ends too.
  GlimmetDocPtr other = DocWithBody(QStringLiteral("y"));
  doc->styles[a].basedOn = b;
  doc->styles[b].basedOn = a;
  EXPECT_NE(ImportStyle(other.get(), doc.get(), a), kGMNone);
}

TEST(Styles, ImportingANameTakenByAnotherKindCountsUp) {
  GlimmetDocPtr source = DocWithBody(QStringLiteral("x"));
  const uint32_t body = NewUserStyle(source.get(), QStringLiteral("Body"), kPropPara);
  struct { QStringList taken; QString expected; } cases[] = {{{QStringLiteral("Body")}, QStringLiteral("Body1")},
               {{QStringLiteral("Body"), QStringLiteral("Body1")}, QStringLiteral("Body2")}};
  for (const auto& c : cases) {
    GlimmetDocPtr destination = DocWithBody(QStringLiteral("y"));
    for (const QString& name : c.taken) NewUserStyle(destination.get(), name, kPropChar);
    ResetCopySlots(source.get());
    const uint32_t index = ImportStyle(destination.get(), source.get(), body);
    ASSERT_NE(index, kGMNone);
    EXPECT_EQ(destination->styles[index].name, c.expected);
    EXPECT_EQ(destination->styles[index].kind, kPropPara);
    // A second import finds the style it made.
    ResetCopySlots(source.get());
    EXPECT_EQ(ImportStyle(destination.get(), source.get(), body), index);
  }
}

TEST(Styles, ApplyingAParagraphStyleKeepsDirectFormatting) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("one\ntwo"));
  PropRecord para = ParaAt(doc.get(), kBody);
  para.set<int64_t>(ParaField::spaceBefore, 25400);
  ASSERT_TRUE(ApplyPropsToRange({doc.get(), kBody, kBody + 1}, para));
  ASSERT_TRUE(ApplyParaStyle({doc.get(), kBody, kBody + 1}, kBuiltinStyleRef + kHeaderStyleId));
  const uint32_t header = StyleIndexForStyleId(doc.get(), kHeaderStyleId, false);
  EXPECT_EQ(ParaAt(doc.get(), kBody).get<uint16_t>(0), header);
  EXPECT_EQ(ParaAt(doc.get(), kBody).get<int64_t>(ParaField::spaceBefore), 25400);
  EXPECT_EQ(ParaAt(doc.get(), kBody + 5).get<uint16_t>(0), 0);
}

TEST(Styles, ChangingAParagraphsStyleKeepsBoldRunsAndTakesTheNewSize) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("plain bold"));
  const uint32_t big = NewUserStyle(doc.get(), QStringLiteral("Big"), kPropPara);
  PropRecord bigChars = Formatting(doc.get(), doc->styles[big].second);
  bigChars.set<int16_t>(CharField::size, 96);
  ASSERT_TRUE(UpdateStyle(doc.get(), big, doc->styles[big], Formatting(doc.get(), doc->styles[big].first), &bigChars));
  ASSERT_TRUE(ApplyParaStyle({doc.get(), kBody, kBody + 1}, big));
  PropRecord chars = CharsAt(doc.get(), kBody + 7);
  EXPECT_EQ(chars.get<int16_t>(CharField::size), 96);
  chars.body[CharField::bold] = 1;
  ASSERT_TRUE(ApplyPropsToRange({doc.get(), kBody + 6, kBody + 10}, chars));
  ASSERT_TRUE(ApplyParaStyle({doc.get(), kBody, kBody + 1}, 0));
  const PropRecord plainNow = CharsAt(doc.get(), kBody + 1), boldNow = CharsAt(doc.get(), kBody + 7);
  EXPECT_EQ(plainNow.get<int16_t>(CharField::size), 48);
  EXPECT_EQ(boldNow.get<int16_t>(CharField::size), 48);
  EXPECT_EQ(boldNow.body[CharField::bold], 1);
  EXPECT_EQ(plainNow.body[CharField::bold], 0);
}

TEST(Styles, StylingParagraphsTogetherEqualsStylingThemOneByOne) {
  const uint32_t styleIds[] = {kHeaderStyleId, kListStyleId + 2, 0};
  auto build = [&](bool together) {
    GlimmetDocPtr doc = DocWithBody(QStringLiteral("one\ntwo\nthree"));
    const uint32_t starts[] = {kBody, kBody + 4, kBody + 8};
    std::vector<GMParaStyleChange> changes;
    for (uint32_t i = 0; i < 3; ++i) {
      PropRecord para = ParaAt(doc.get(), starts[i]);
      para.set<int64_t>(ParaField::spaceBefore, 12700 * (i + 1));
      EXPECT_TRUE(ApplyPropsToRange({doc.get(), starts[i], starts[i] + 1}, para));
      changes.push_back({{doc.get(), starts[i], starts[i] + 1}, styleIds[i] ? kBuiltinStyleRef + styleIds[i] : 0});
    }
    if (together) EXPECT_TRUE(ApplyParaStyles(doc.get(), changes));
    else
      for (const GMParaStyleChange& change : changes) EXPECT_TRUE(ApplyParaStyle(change.range, change.styleRef));
    QList<QByteArray> bodies;
    for (uint32_t cp : starts) {
      const PropRecord para = ParaAt(doc.get(), cp), chars = CharsAt(doc.get(), cp);
      bodies << QByteArray(reinterpret_cast<const char*>(para.body), g_propSizes[kPropPara])
             << QByteArray(reinterpret_cast<const char*>(chars.body), g_propSizes[kPropChar]);
    }
    return bodies;
  };
  EXPECT_EQ(build(true), build(false));
}

TEST(Styles, RecordsRewrittenInPlaceAreStillFoundWhenInterned) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("text"));
  PropRecord bold = CharsAt(doc.get(), kBody);
  bold.body[CharField::bold] = 1;  // a record no run uses, so only the rewrite changes it
  const uint32_t index = IndexForProperties(doc.get(), &bold);
  ASSERT_TRUE(SetNormalFont(doc.get(), 7, 40, true));
  bold.set<uint16_t>(CharField::font, 7);
  bold.set<int16_t>(CharField::size, 40);
  const size_t count = doc->props.size();
  EXPECT_EQ(IndexForProperties(doc.get(), &bold), index);
  EXPECT_EQ(doc->props.size(), count);
}

}  // namespace
