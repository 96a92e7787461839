#include "glimmet/storage/gmAtoms.h"

#include "StorageTestSupport.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/Kolor.h"
#include "framlet/foundation/flFonts.h"
#include "glimmet/storage/gmRtfKeywords.h"
#include "glimmet/storage/gmStyles.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct MoleculeDeleter {
  void operator()(GMMolecule* m) const { FreeMolecule(m); }
};
using MoleculePtr = std::unique_ptr<GMMolecule, MoleculeDeleter>;

uint32_t TabAt(double inches, uint32_t align = 0) { return MakeTab(uint32_t(inches * 914400), align); }

uint32_t TabValue(const GMAtomEntry& entry) {
  uint32_t value;
  std::memcpy(&value, entry.value, 4);
  return value;
}

TEST(Atoms, TablesHaveTheirCountsAndFieldsInsideTheBody) {
  for (uint32_t kind = 0; kind < 9; ++kind) {
    const auto table = AtomTable(kind);
    EXPECT_EQ(table.size(), g_atomCounts[kind]) << kind;
    for (const GMAtom& atom : table) {
      EXPECT_EQ(atom.number, &atom - table.data()) << kind;
      if (atom.used && atom.valueSize > 0 && atom.valueType != kAtomTab) {
        EXPECT_LE(atom.offset + atom.valueSize, PropBodySize(kind)) << kind << " " << int(atom.number);
      }
    }
  }
  // Repeated atoms by rule.
  EXPECT_EQ(AtomFor(kPropTable, 35)->offset, 176u);
  EXPECT_EQ(AtomFor(kPropTable, 35)->xmlTag, QStringLiteral("c11"));
  EXPECT_EQ(AtomFor(kPropChapter, 22)->description, QStringLiteral("column 10=%@"));
  EXPECT_EQ(AtomFor(kPropList, 13)->offset, 16u + 12u * 8u);
  // Atoms name their keywords by the keyword's own identifier.
  const struct {
    uint32_t kind, atom;
    const char* keyword;
  } keywords[] = {{kPropChar, CharAtom::bold, "b"},         {kPropChar, CharAtom::size, "fs"},
                  {kPropChar, CharAtom::style, "cs"},       {kPropPara, ParaAtom::firstIndent, "fi"},
                  {kPropPara, ParaAtom::style, "s"},        {kPropTable, 7, "trleft"},
                  {kPropTable, 15, "colw"},                 {kPropDocument, 20, "margt"},
                  {kPropChapter, 23, "headery"},            {kPropFrame, 12, "absw"}};
  for (const auto& k : keywords)
    EXPECT_STREQ(RtfKeywordName(AtomFor(k.kind, k.atom)->rtfKeyword), k.keyword) << k.kind << " " << k.atom;
  EXPECT_FALSE(AtomFor(kPropPara, 5)->used);
  EXPECT_EQ(AtomForXmlTag(kPropPara, QStringLiteral("indentl"))->number, ParaAtom::leftIndent);
  EXPECT_EQ(AtomForXmlTag(kPropPara, QStringLiteral("nothing")), nullptr);
  uint32_t kind = 99, atom = 99;
  ASSERT_TRUE(AtomForRtfKeyword(RtfKeywordForName("fs"), &kind, &atom));
  EXPECT_EQ(kind, kPropChar);
  EXPECT_EQ(atom, CharAtom::size);
  EXPECT_FALSE(AtomForRtfKeyword(0, &kind, &atom));
}

TEST(Atoms, AddingAnAtomTwiceKeepsOneEntryWithTheSecondValue) {
  const uint8_t on = 1, off = 0;
  MoleculePtr molecule(NewMolecule(kPropChar, CharAtom::bold, &on));
  ASSERT_TRUE(molecule);
  const int16_t size = 56;
  ASSERT_TRUE(AddAtomToMolecule(molecule.get(), kPropPara, 9, &on));  // keep next
  ASSERT_TRUE(AddAtomToMolecule(molecule.get(), kPropChar, CharAtom::size, &size));
  ASSERT_TRUE(AddAtomToMolecule(molecule.get(), kPropChar, CharAtom::bold, &off));
  const auto entries = MoleculeEntries(*molecule);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].atom, CharAtom::bold);
  EXPECT_EQ(entries[0].value[0], 0);
  EXPECT_EQ(entries[1].atom, CharAtom::size);
  EXPECT_EQ(entries[2].kind, kPropPara);
}

TEST(Atoms, TabAtomsSortByPositionAndReplaceAnEqualPosition) {
  MoleculePtr molecule(EmptyMolecule());
  for (double inches : {3.0, 1.0, 2.0}) {
    const uint32_t tab = TabAt(inches);
    ASSERT_TRUE(AddAtomToMolecule(molecule.get(), kPropPara, ParaAtom::tab, &tab));
  }
  const uint32_t again = TabAt(2.0, 1);
  ASSERT_TRUE(AddAtomToMolecule(molecule.get(), kPropPara, ParaAtom::tab, &again));
  const auto entries = MoleculeEntries(*molecule);
  std::vector<uint32_t> tabs;
  for (const GMAtomEntry& entry : entries) tabs.push_back(TabValue(entry));
  EXPECT_EQ(tabs, (std::vector<uint32_t>{TabAt(1.0), again, TabAt(3.0)}));
}

TEST(Atoms, ATabOntoTwentyFiveTabsDropsTheLast) {
  PropRecord para = BaseProps(kPropPara);
  for (uint32_t i = 0; i < 25; ++i) para.set<uint32_t>(ParaField::tabs + 4 * i, MakeTab(1000 * (i + 1), 0));
  para.set<uint16_t>(ParaField::tabCount, 25);
  const uint32_t tab = MakeTab(1500, 0);
  MoleculePtr molecule(NewMolecule(kPropPara, ParaAtom::tab, &tab));
  ApplyMoleculeToProps(nullptr, -1, &para, molecule.get());
  EXPECT_EQ(para.get<uint16_t>(ParaField::tabCount), 25);
  EXPECT_EQ(TabPosition(para.get<uint32_t>(ParaField::tabs + 4)), 1500u);
  EXPECT_EQ(TabPosition(para.get<uint32_t>(ParaField::tabs + 4 * 24)), 24000u);  // 25000 went
}

TEST(Atoms, ApplyingTabAtomsDeletesAndClears) {
  PropRecord para = BaseProps(kPropPara);
  MoleculePtr molecule(EmptyMolecule());
  const uint32_t a = MakeTab(2000, 0), b = MakeTab(1000, 2);
  AddAtomToMolecule(molecule.get(), kPropPara, ParaAtom::tab, &a);
  AddAtomToMolecule(molecule.get(), kPropPara, ParaAtom::tab, &b);
  ApplyMoleculeToProps(nullptr, -1, &para, molecule.get());
  ASSERT_EQ(para.get<uint16_t>(ParaField::tabCount), 2);
  EXPECT_EQ(para.get<uint32_t>(ParaField::tabs), b);
  MoleculePtr remove(NewMolecule(kPropPara, ParaAtom::noTab, &b));
  ApplyMoleculeToProps(nullptr, -1, &para, remove.get());
  ASSERT_EQ(para.get<uint16_t>(ParaField::tabCount), 1);
  EXPECT_EQ(para.get<uint32_t>(ParaField::tabs), a);
  MoleculePtr clear(NewMolecule(kPropPara, ParaAtom::clearTabs, nullptr));
  ApplyMoleculeToProps(nullptr, -1, &para, clear.get());
  EXPECT_EQ(para.get<uint16_t>(ParaField::tabCount), 0);
}

TEST(Atoms, DifferencesOfEqualRecordsAndOfFlagValuesAreEmpty) {
  PropRecord a, b;
  SetBaseProperties(kPropChar, &a);
  b = a;
  MoleculePtr same(MoleculeWithDifferences(a, b));
  EXPECT_EQ(same->count, 0u);
  a.body[CharField::bold] = 1;
  b.body[CharField::bold] = 2;
  MoleculePtr flags(MoleculeWithDifferences(a, b));
  EXPECT_EQ(flags->count, 0u);
}

TEST(Atoms, DifferencesTurnTheOldRecordIntoTheNew) {
  PropRecord oldPara, newPara;
  SetBaseProperties(kPropPara, &oldPara);
  oldPara.set<uint32_t>(ParaField::tabs, MakeTab(1000, 0));
  oldPara.set<uint32_t>(ParaField::tabs + 4, MakeTab(3000, 0));
  oldPara.set<uint16_t>(ParaField::tabCount, 2);
  newPara = oldPara;
  newPara.set<int64_t>(ParaField::leftIndent, 457200);
  newPara.set<uint32_t>(ParaField::alignment, 1);
  newPara.set<uint32_t>(ParaField::tabs, MakeTab(2000, 1));
  newPara.set<uint32_t>(ParaField::tabs + 4, MakeTab(3000, 0));
  MoleculePtr difference(MoleculeWithDifferences(newPara, oldPara));
  ASSERT_TRUE(difference);
  PropRecord result = oldPara;
  ApplyMoleculeToProps(nullptr, -1, &result, difference.get());
  EXPECT_EQ(std::memcmp(result.body, newPara.body, PropBodySize(kPropPara)), 0);
}

TEST(Atoms, TheSizeStepMovesAlongTheLadder) {
  struct { uint16_t direction; int16_t expected; } cases[] = {{1, 56}, {0, 40}};
  for (const auto& c : cases) {
    PropRecord chars = BaseProps(kPropChar);
    chars.set<int16_t>(CharField::size, 48);
    MoleculePtr step(NewMolecule(kPropChar, CharAtom::sizeStep, &c.direction));
    ApplyMoleculeToProps(nullptr, -1, &chars, step.get());
    EXPECT_EQ(chars.get<int16_t>(CharField::size), c.expected) << c.direction;
  }
}

TEST(Atoms, CompactFormsHoldPointsAndSignedEnumerations) {
  PropRecord para = BaseProps(kPropPara);
  // Entries of length 4: a line width of 3 points and an alignment of 2.
  GMMolecule molecule;
  const uint16_t widthHeader = uint16_t(27 | (kPropPara << 8) | (4 << 12));
  const uint16_t alignHeader = uint16_t(3 | (kPropPara << 8) | (4 << 12));
  const uint8_t bytes[] = {uint8_t(alignHeader), uint8_t(alignHeader >> 8), 2, 0,
                           uint8_t(widthHeader), uint8_t(widthHeader >> 8), 3, 0};
  molecule.entries.assign(bytes, bytes + sizeof bytes);
  molecule.count = 2;
  ApplyMoleculeToProps(nullptr, -1, &para, &molecule);
  EXPECT_EQ(para.get<int32_t>(ParaField::alignment), 2);
  EXPECT_EQ(para.get<int64_t>(ParaField::border + BorderField::width), 3 * 12700);
}

TEST(Atoms, BoldOffTakesTheFaceWithoutTheTrait) {
  const uint16_t bold = IndexOfFont(QStringLiteral("DejaVuSans-Bold")), plain = FontIndexWithoutTrait(bold, true);
  if (!FontExists(QStringLiteral("DejaVuSans-Bold"))) GTEST_SKIP() << "DejaVu fonts are not installed";
  EXPECT_EQ(FontNameAtIndex(plain), QStringLiteral("DejaVuSans"));
  PropRecord chars = BaseProps(kPropChar);
  chars.set<uint16_t>(CharField::font, bold);
  chars.body[CharField::bold] = 1;
  const uint8_t off = 0;
  MoleculePtr molecule(NewMolecule(kPropChar, CharAtom::bold, &off));
  ApplyMoleculeToProps(nullptr, -1, &chars, molecule.get());
  EXPECT_EQ(chars.get<uint16_t>(CharField::font), plain);
  EXPECT_EQ(chars.body[CharField::bold], 0);
  // A face without the trait keeps its font.
  const uint16_t oblique = IndexOfFont(QStringLiteral("DejaVuSans-Oblique"));
  EXPECT_EQ(FontIndexWithoutTrait(oblique, true), oblique);
}

TEST(Atoms, PropertiesReadFromXmlSkipUnknownChildren) {
  const QString xml = QStringLiteral("<?xml version=\"1.0\"?><char><bold>1</bold><size>48</size><mystery><deep>1</deep>"
                                     "</mystery><color>%1</color><underline>double</underline></char><after/>")
                          .arg(NewKolorString(MakeKolor(255, 0, 0)));
  std::unique_ptr<FLXmlDecoder> decoder = FLXmlDecoder::withString(xml);
  ASSERT_TRUE(decoder);
  ASSERT_TRUE(decoder->getNextTag());
  PropRecord chars;
  ReadPropsFromXml(*decoder, &chars, kPropChar);
  EXPECT_EQ(chars.kind, kPropChar);
  EXPECT_EQ(chars.body[CharField::bold], 1);
  EXPECT_EQ(chars.get<int16_t>(CharField::size), 48);
  EXPECT_EQ(chars.get<uint32_t>(CharField::color), MakeKolor(255, 0, 0));
  EXPECT_EQ(chars.get<uint32_t>(CharField::underline), 3u);
  EXPECT_EQ(chars.get<uint32_t>(CharField::backColor), kNoKolor);
}

TEST(Atoms, ParagraphXmlReadsTabsAndShortStrings) {
  // "1." in UTF-16LE, Base64.
  const QString xml = QStringLiteral(
      "<?xml version=\"1.0\"?><para><tab x=\"2880\" align=\"center\" lead=\"Dots\"/><prefix>MQAuAA==</prefix>"
      "<align>right</align><indentl>457200</indentl></para>");
  std::unique_ptr<FLXmlDecoder> decoder = FLXmlDecoder::withString(xml);
  ASSERT_TRUE(decoder && decoder->getNextTag());
  PropRecord para;
  ReadPropsFromXml(*decoder, &para, kPropPara);
  EXPECT_EQ(para.get<uint16_t>(ParaField::tabCount), 1);
  EXPECT_EQ(para.get<uint32_t>(ParaField::tabs), MakeTab(2880, 2, 1));
  EXPECT_EQ(para.get<uint16_t>(ParaField::prefix), 2);
  EXPECT_EQ(para.get<uint16_t>(ParaField::prefix + 2), u'1');
  EXPECT_EQ(para.get<uint32_t>(ParaField::alignment), 3u);
  EXPECT_EQ(para.get<int64_t>(ParaField::leftIndent), 457200);
}

TEST(Atoms, EnumWordsMatchIgnoringCase) {
  EXPECT_EQ(EnumAtomValueForString(QStringLiteral("BOX"), AtomWords::borderKind), 7u);
  EXPECT_EQ(EnumAtomValueForString(QStringLiteral("nothing"), AtomWords::borderKind), 0u);
}

TEST(Atoms, MoleculesApplyToARangeOfRuns) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("abcdef"));
  const uint8_t on = 1;
  MoleculePtr bold(NewMolecule(kPropChar, CharAtom::bold, &on));
  ASSERT_TRUE(ApplyMoleculeToRange({doc.get(), kBody + 1, kBody + 3}, bold.get()));
  const int16_t size = 80;
  MoleculePtr big(NewMolecule(kPropChar, CharAtom::size, &size));
  ASSERT_TRUE(ApplyMoleculeToRange({doc.get(), kBody + 2, kBody + 5}, big.get()));
  struct {
    uint32_t cp;
    uint8_t bold;
    int16_t size;
  } expected[] = {{0, 0, 48}, {1, 1, 48}, {2, 1, 80}, {3, 0, 80}, {4, 0, 80}, {5, 0, 48}};
  for (const auto& e : expected) {
    PropRecord chars;
    FetchCharProps(doc.get(), kBody + e.cp, nullptr, &chars);
    EXPECT_EQ(chars.body[CharField::bold], e.bold) << e.cp;
    EXPECT_EQ(chars.get<int16_t>(CharField::size), e.size) << e.cp;
  }
  MoleculePtr chapter(NewMolecule(kPropChapter, 10, &on));
  EXPECT_FALSE(ApplyMoleculeToRange({doc.get(), kBody, kBody + 1}, chapter.get()));
}

TEST(Atoms, StyleAndPlainAtomsTakeTheStylesFormatting) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("title\nbody"));
  const uint32_t header = StyleIndexForStyleId(doc.get(), kHeaderStyleId, true);
  ASSERT_NE(header, kGMNone);
  ASSERT_TRUE(ApplyParaStyle({doc.get(), kBody, kBody + 1}, header));
  const PropRecord headerPara = *PropertiesAtIndex(doc.get(), doc->styles[header].first);
  const PropRecord headerChars = *PropertiesAtIndex(doc.get(), doc->styles[header].second);
  // The style atom makes a paragraph record the style's own, whatever it held.
  PropRecord para = BaseProps(kPropPara);
  para.set<int64_t>(ParaField::leftIndent, 999);
  const uint16_t style = uint16_t(header);
  MoleculePtr toHeader(NewMolecule(kPropPara, ParaAtom::style, &style));
  ApplyMoleculeToProps(doc.get(), kBody, &para, toHeader.get());
  EXPECT_EQ(para.get<uint16_t>(0), header);
  EXPECT_EQ(para.get<int64_t>(ParaField::leftIndent), headerPara.get<int64_t>(ParaField::leftIndent));
  EXPECT_EQ(std::memcmp(para.body, headerPara.body, PropBodySize(kPropPara)), 0);
  // Plain goes back to the record's own style, dropping what was set on top.
  para.set<int64_t>(ParaField::leftIndent, 12345);
  MoleculePtr plain(NewMolecule(kPropPara, ParaAtom::plain, nullptr));
  ApplyMoleculeToProps(doc.get(), kBody, &para, plain.get());
  EXPECT_EQ(std::memcmp(para.body, headerPara.body, PropBodySize(kPropPara)), 0);
  // Character style 0 is the character formatting of the paragraph's style at the cp.
  PropRecord chars = BaseProps(kPropChar);
  chars.body[CharField::italic] = 1;
  const uint16_t none = 0;
  MoleculePtr charStyle(NewMolecule(kPropChar, CharAtom::style, &none));
  ApplyMoleculeToProps(doc.get(), kBody + 1, &chars, charStyle.get());
  EXPECT_EQ(std::memcmp(chars.body, headerChars.body, PropBodySize(kPropChar)), 0);
  // With style atoms ignored, nothing changes.
  doc->ignoreStyleAtoms = true;
  PropRecord untouched = BaseProps(kPropPara);
  untouched.set<int64_t>(ParaField::leftIndent, 777);
  ApplyMoleculeToProps(doc.get(), kBody, &untouched, toHeader.get());
  EXPECT_EQ(untouched.get<int64_t>(ParaField::leftIndent), 777);
}

TEST(Atoms, APrefixInByteFormIsWidenedWithTheBulletByte) {
  struct Case {
    std::vector<uint8_t> value;  // the atom's 10 bytes as stored
    std::u16string expected;
    bool reported;
  };
  const Case cases[] = {
      {{2, 0, u'1', 0, u'.', 0, 0, 0, 0, 0}, u"1.", false},      // UTF-16 units after their count
      {{0, 2, u'1', 165, 0, 0, 0, 0, 0, 0}, u"1\u2022", false},  // count in the high byte: bytes
      {{0, 3, u'(', u'a', u')', 0, 0, 0, 0, 0}, u"(a)", false},
      {{0, 1, 200, 0, 0, 0, 0, 0, 0, 0}, u"\u00C8", true},       // a byte above 127 is reported, kept
      {{0, 9, u'a', u'b', u'c', u'd', u'e', u'f', 0, 0}, u"abcd", false},  // at most four
  };
  for (const Case& c : cases) {
    LogCapture log;
    PropRecord para = BaseProps(kPropPara);
    MoleculePtr prefix(NewMolecule(kPropPara, ParaAtom::prefix, c.value.data()));
    ApplyMoleculeToProps(nullptr, -1, &para, prefix.get());
    const uint16_t count = para.get<uint16_t>(ParaField::prefix);
    std::u16string got;
    for (uint16_t i = 0; i < count && i < 4; ++i) got += para.get<char16_t>(ParaField::prefix + 2 + 2 * i);
    EXPECT_EQ(got, c.expected) << int(c.value[1]);
    EXPECT_EQ(log.assertMessages().contains(QStringLiteral("Need special handling for prefix or suffix?")), c.reported);
  }
}

TEST(Atoms, ListMarksReadFromXmlFillTheFreeSlotsInTurn) {
  // "(" and ")" as UTF-16LE in Base64.
  const QString xml = QStringLiteral(
      "<?xml version=\"1.0\"?><list><mark type=\"#\" nof=\"rl\" prefix=\"KAA=\" suffix=\"KQA=\"/>"
      "<mark type=\"bullet\" nof=\"1\" prefix=\"IiA=\"/><mark type=\"CHECK\"/></list>");
  std::unique_ptr<FLXmlDecoder> decoder = FLXmlDecoder::withString(xml);
  ASSERT_TRUE(decoder && decoder->getNextTag());
  PropRecord list;
  ReadPropsFromXml(*decoder, &list, kPropList);
  struct Slot {
    uint32_t kind, format;
    char16_t prefix, suffix;
  };
  const Slot expected[] = {{3, 2, u'(', u')'}, {1, 0, u'\u2022', 0}, {2, 0, 0, 0}, {0, 0, 0, 0}};
  for (uint32_t i = 0; i < 4; ++i) {
    const uint32_t at = ListField::markers + ListField::markerSize * i;
    EXPECT_EQ(list.get<uint32_t>(at), expected[i].kind) << i;
    EXPECT_EQ(list.get<uint32_t>(at + 4), expected[i].format) << i;
    EXPECT_EQ(list.get<char16_t>(at + 8), expected[i].prefix) << i;
    EXPECT_EQ(list.get<char16_t>(at + 10), expected[i].suffix) << i;
  }
}

}  // namespace
