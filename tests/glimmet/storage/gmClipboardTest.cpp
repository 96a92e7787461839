#include "glimmet/storage/gmClipboard.h"

#include "StorageTestSupport.h"
#include "glimmet/storage/gmBookmarks.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmRtfWriter.h"
#include "glimmet/storage/gmStyles.h"
#include "glimmet/storage/gmTables.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

namespace {

TEST(Clipboard, CaretCodesTranslate) {
  struct { QString in; bool special; QString out; } cases[] = {
      {QStringLiteral("a^tb"), false, QStringLiteral("a\tb")}, {QStringLiteral("^^t"), false, QStringLiteral("^t")},
      {QStringLiteral("^q"), false, QStringLiteral("^q")}, {QStringLiteral("^c"), true, QString(QChar(2))},
      {QStringLiteral("^c"), false, QString()}, {QStringLiteral("x^c"), true, QStringLiteral("x")},
      {QStringLiteral("^p^m^n^l^-"), false, QString::fromUtf16(u"\n\u000B\u000C\u2028\u00AD")},
      {QStringLiteral("^"), false, QStringLiteral("^")}, {QStringLiteral("ab^"), false, QStringLiteral("ab^")},
      {QStringLiteral("^>"), true, QString(QChar(4))},
  };
  for (const auto& c : cases) {
    QString text = c.in;
    TranslateCodes(text, c.special);
    EXPECT_EQ(text, c.out) << c.in.toStdString();
  }
}

TEST(Clipboard, ANewClipboardDocumentReplacesTheLast) {
  DocRange first, second;
  ASSERT_TRUE(NewGlobalClipDocument(&first));
  EXPECT_EQ(first, (DocRange{g_clipboardDoc, kBody, kBody + 1}));
  ASSERT_TRUE(NewGlobalClipDocument(&second));
  EXPECT_EQ(g_clipboardDoc, second.doc);
  DestroyDocument(g_clipboardDoc);
  g_clipboardDoc = nullptr;
}

TEST(Clipboard, InsertedTextLosesKnotCharactersAndTakesItsProperties) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("ab"));
  const PropRecord chars = CharsAt(doc.get(), kBody);
  const uint32_t runs = doc->charRuns.count();
  DocRange at{doc.get(), kBody + 1, kBody + 1};
  const char16_t text[] = {u'x', 0x0001, u'y'};
  ASSERT_TRUE(InsertNewText(&at, text, 3, chars));
  EXPECT_EQ(BodyText(doc.get()), QStringLiteral("ax yb\n\n"));
  EXPECT_EQ(at, (DocRange{doc.get(), kBody + 4, kBody + 4}));
  EXPECT_EQ(doc->charRuns.count(), runs);  // equal properties add no run
  PropRecord bold = chars;
  bold.body[CharField::bold] = 1;
  ASSERT_TRUE(InsertNewText(&at, u"B", 1, bold));
  EXPECT_EQ(CharsAt(doc.get(), kBody + 4).body[CharField::bold], 1);
  EXPECT_EQ(CharsAt(doc.get(), kBody + 5).body[CharField::bold], 0);
  // Replacing a selection.
  DocRange selection{doc.get(), kBody, kBody + 2};
  ASSERT_TRUE(InsertNewText(&selection, u"Q", 1, chars));
  EXPECT_EQ(BodyText(doc.get()), QStringLiteral("Q yBb\n\n"));
}

TEST(Clipboard, TypingAfterALinkDoesNotContinueIt) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("ab"));
  const uint32_t link = StyleIndexForStyleId(doc.get(), kLinkStyleId, true);
  PropRecord linkProps = *PropertiesAtIndex(doc.get(), doc->styles[link].first);
  DocRange at{doc.get(), kBody + 1, kBody + 1};
  ASSERT_TRUE(InsertNewText(&at, u"z", 1, linkProps));
  const PropRecord got = CharsAt(doc.get(), kBody + 1);
  PropRecord normal = DefaultProps(doc.get(), kPropChar);
  EXPECT_EQ(std::memcmp(got.body, normal.body, 56), 0);
}

TEST(Clipboard, CopyingBetweenDocumentsBringsTextStylesAndRuns) {
  InstallDocumentCopy();
  GlimmetDocPtr source = DocWithBody(QStringLiteral("hello world"));
  const uint32_t header = StyleIndexForStyleId(source.get(), kHeaderStyleId, true);
  ASSERT_TRUE(ApplyParaStyle({source.get(), kBody, kBody + 1}, header));
  PropRecord bold = CharsAt(source.get(), kBody);
  bold.body[CharField::bold] = 1;
  ASSERT_TRUE(ApplyPropsToRange({source.get(), kBody + 6, kBody + 11}, bold));

  GlimmetDocPtr target = DocWithBody(QStringLiteral("[]"));
  DocRange at{target.get(), kBody + 1, kBody + 1};
  const DocRange from{source.get(), kBody, kBody + 12};
  ASSERT_TRUE(ReplaceRangeCore(&at, &from, nullptr, 0, false));
  EXPECT_EQ(BodyText(target.get()), QStringLiteral("[hello world\n]\n\n"));
  const uint32_t copiedHeader = StyleIndexForStyleId(target.get(), kHeaderStyleId, false);
  ASSERT_NE(copiedHeader, kGMNone);
  EXPECT_EQ(ParaAt(target.get(), kBody + 2).get<uint16_t>(0), copiedHeader);
  EXPECT_EQ(CharsAt(target.get(), kBody + 8).body[CharField::bold], 1);
  EXPECT_EQ(CharsAt(target.get(), kBody + 2).body[CharField::bold], 0);
}

// A document "ab" with a bookmark named by the GUID between its two letters.
GlimmetDocPtr WithBookmark(const QString& guid) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("ab"));
  DocRange at{doc.get(), kBody + 1, kBody + 1};
  EXPECT_TRUE(InsertKnotCore(&at, kKnotBookmark, 0, 0, nullptr, 0, nullptr, false));
  EXPECT_TRUE(ReplaceRangeSimpleWithString({doc.get(), at.first + 1, at.first + 1}, nullptr, guid));
  IdentifyBookmarks(doc.get());
  return doc;
}

TEST(Clipboard, ACopiedBookmarkWhoseGuidIsTakenGetsAFreshOne) {
  InstallDocumentCopy();
  const QString guid = QStringLiteral("0F1E2D3C-0000-4000-8000-000000000001");
  GlimmetDocPtr source = WithBookmark(guid), target = WithBookmark(guid);
  ASSERT_EQ(BookmarkGuid(target.get(), 0), guid);
  DocRange at{target.get(), kBody, kBody};
  const DocRange from{source.get(), kBody, uint32_t(source->userLength)};
  ASSERT_TRUE(ReplaceRangeCore(&at, &from, nullptr, 0, false));
  ASSERT_EQ(target->bookmarkCps.count(), 2u);
  ASSERT_EQ(target->bookmarkNames.size(), 2u);
  const QString copied = BookmarkGuid(target.get(), 0);
  EXPECT_NE(copied, guid);
  EXPECT_EQ(copied.size(), guid.size());
  EXPECT_EQ(BookmarkGuid(target.get(), 1), guid);
  EXPECT_EQ(BookmarkIndexForGuidIndex(target.get(), GuidIndexForGuid(target.get(), guid)), 1u);
  EXPECT_EQ(BookmarkIndexForGuidIndex(target.get(), GuidIndexForGuid(target.get(), copied)), 0u);
  // A GUID new to the target is kept.
  GlimmetDocPtr fresh = DocWithBody(QStringLiteral("z"));
  DocRange into{fresh.get(), kBody, kBody};
  ASSERT_TRUE(ReplaceRangeCore(&into, &from, nullptr, 0, false));
  EXPECT_EQ(BookmarkGuid(fresh.get(), 0), guid);
}

TEST(Clipboard, ACopiedPictureBringsItsOwnImageAndKeepsItsPlacement) {
  InstallDocumentCopy();
  GlimmetDocPtr source = DocWithBody(QStringLiteral("ab"));
  source->pictures.resize(3);
  for (size_t i = 0; i < source->pictures.size(); ++i) source->pictures[i].identifier = QString::number(i);
  // The second picture, bottom-aligned, at scale 500 and opacity 251.
  DocRange at{source.get(), kBody + 1, kBody + 1};
  const KinkData data{1, KnotEntry::PictureValue(1, 500, 251)};
  ASSERT_TRUE(InsertKnotCore(&at, kKnotPicture, 0, 0, nullptr, 1, &data, false));

  GlimmetDocPtr target = DocWithBody(QStringLiteral("[]"));
  target->pictures.resize(1);
  target->pictures[0].identifier = QStringLiteral("own");
  DocRange into{target.get(), kBody + 1, kBody + 1};
  const DocRange from{source.get(), kBody, kBody + 3};
  ASSERT_TRUE(ReplaceRangeCore(&into, &from, nullptr, 0, false));
  KnotInfo copied;
  ASSERT_TRUE(FetchKnot(target.get(), kBody + 2, &copied, kKnotPicture));
  ASSERT_LT(copied.entry.pictureIndex(), target->pictures.size());
  EXPECT_EQ(target->pictures[copied.entry.pictureIndex()].identifier, QStringLiteral("1"));
  EXPECT_EQ(copied.entry.alignment(), 1u);
  EXPECT_EQ(copied.entry.scale(), 500u);
  EXPECT_EQ(copied.entry.opacity(), 251u);
  EXPECT_EQ(target->pictures.size(), 2u);
}

TEST(Clipboard, ACopiedReferenceFollowsItsBookmarkAndKeepsItsFormat) {
  InstallDocumentCopy();
  const QString mine = QStringLiteral("0F1E2D3C-0000-4000-8000-0000000000AA");
  const QString theirs = QStringLiteral("0F1E2D3C-0000-4000-8000-0000000000BB");
  GlimmetDocPtr source = WithBookmark(mine);
  GlimmetDocPtr target = WithBookmark(theirs);
  const uint32_t guidIndex = GuidIndexForGuid(source.get(), mine);
  ASSERT_NE(guidIndex, kGMNone);
  // A page reference (kind 0) to the bookmark in format 3, after the bookmark.
  DocRange at{source.get(), uint32_t(source->userLength) - 1, uint32_t(source->userLength) - 1};
  const KinkData data{0, KnotEntry::VariableValue(guidIndex, 3)};
  ASSERT_TRUE(InsertKnotCore(&at, kKnotVar, 0, 0, nullptr, 1, &data, false));
  const uint32_t variableOffset = at.first - kBody;

  DocRange into{target.get(), kBody, kBody};
  const DocRange from{source.get(), kBody, uint32_t(source->userLength)};
  ASSERT_TRUE(ReplaceRangeCore(&into, &from, nullptr, 0, false));
  KnotInfo copied;
  ASSERT_TRUE(FetchKnot(target.get(), kBody + variableOffset, &copied, kKnotVar));
  EXPECT_EQ(copied.entry.guidIndex(), GuidIndexForGuid(target.get(), mine));
  EXPECT_NE(copied.entry.guidIndex(), GuidIndexForGuid(target.get(), theirs));
  EXPECT_EQ(copied.entry.format(), 3u);
}

// Every kink character of the document has its entry and every knot that begins is whole.
void ExpectWholeKnots(GlimmetDoc* doc, const char* what) {
  SCOPED_TRACE(what);
  const QString text = TextOfRange({doc, 0, uint32_t(doc->totalLength)});
  uint32_t kinks = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i].unicode() > 1) continue;
    ++kinks;
    EXPECT_NE(doc->knots.indexAtCp(uint32_t(i)), kGMNone) << "kink without an entry at " << i;
  }
  ASSERT_EQ(doc->knots.count(), kinks);
  for (uint32_t i = 0; i < doc->knots.count(); ++i) {
    const KnotEntry& entry = doc->knots.at(i);
    if (entry.kink != kKinkBegin) continue;
    KnotInfo info;
    ASSERT_TRUE(FetchKnot(doc, doc->knots.cpAt(i), &info, 0)) << "at " << doc->knots.cpAt(i);
    EXPECT_EQ(info.first, doc->knots.cpAt(i));
    EXPECT_GE(info.kinkCount, 2u);
  }
}

TEST(Clipboard, CopiesThatCutKnotsBringWholeKnotsOnly) {
  InstallDocumentCopy();
  // "go [here|x.org] now", then a two-by-two table whose cells hold "a", "b", "c", "d", then "end".
  GlimmetDocPtr source = DocFromRtf(QStringLiteral(
      "{\\rtf1 go {\\field{\\*\\fldinst{HYPERLINK \"http://x.org/\"}}{\\fldrslt here}} now\\par"
      "\\trowd\\cellx1000\\cellx2000\\pard\\intbl a\\cell b\\cell\\row"
      "\\trowd\\cellx1000\\cellx2000\\pard\\intbl c\\cell d\\cell\\row\\pard end\\par}"));
  KnotInfo link, table;
  const QString text = BodyText(source.get());
  const uint32_t here = kBody + uint32_t(text.indexOf(QStringLiteral("here")));
  ASSERT_TRUE(FetchKnot(source.get(), here, &link, kKnotLink));
  ASSERT_EQ(source->tableCps.count(), 1u);
  ASSERT_TRUE(FetchKnot(source.get(), source->tableCps.cpAt(0), &table, kKnotTable));
  const uint32_t cellB = kBody + uint32_t(text.indexOf(u'b'));
  const struct {
    const char* what;
    uint32_t first, limit;
    const char* shown;  // the copy's letters, kinks left out
  } cases[] = {
      {"the link's text on", here + 2, link.limit + 4, "re"},
      {"into the link", kBody, here + 2, "go he"},
      {"the link whole", link.first, link.limit, ""},
      {"from a cell past the table", cellB, table.limit + 3, "b"},
      {"into the table", kBody, cellB + 1, "go"},
  };
  for (const auto& c : cases) {
    LogCapture log;
    GlimmetDocPtr target = DocWithBody(QStringLiteral("[]"));
    DocRange at{target.get(), kBody + 1, kBody + 1};
    const DocRange from{source.get(), c.first, c.limit};
    ASSERT_TRUE(ReplaceRangeCore(&at, &from, nullptr, 0, false)) << c.what;
    ExpectWholeKnots(target.get(), c.what);
    QString letters = BodyText(target.get());
    letters.remove(QChar(0));
    letters.remove(QChar(1));
    EXPECT_TRUE(letters.contains(QLatin1StringView(c.shown))) << c.what;
    EXPECT_FALSE(ExportRtf({target.get(), kBody, uint32_t(target->userLength)}).isEmpty());
    EXPECT_TRUE(log.assertMessages().isEmpty()) << c.what << ": " << log.assertMessages().join(u'|').toStdString();
  }
}

// Everything of a document that a copy into it may change.
struct DocState {
  QString text;
  std::vector<std::pair<uint32_t, uint32_t>> charRuns, paraRuns, knots;  // cp and index or type
  size_t styles, props, pictures, names;
  uint32_t bookmarks, tables, lists;
  explicit DocState(GlimmetDoc* doc)
      : text(BodyText(doc)), styles(doc->styles.size()), props(doc->props.size()), pictures(doc->pictures.size()),
        names(doc->bookmarkNames.size()), bookmarks(doc->bookmarkCps.count()), tables(doc->tableCps.count()),
        lists(doc->listCps.count()) {
    for (const auto& run : doc->charRuns.entries()) charRuns.push_back({run.cp, run.data});
    for (const auto& run : doc->paraRuns.entries()) paraRuns.push_back({run.cp, run.data});
    for (const auto& knot : doc->knots.entries()) knots.push_back({knot.cp, knot.data.type});
  }
  bool operator==(const DocState&) const = default;
};

// A target that has room for no more styles takes a bookmark, a picture and a table, then fails
// at the paragraph in a style of its own: it is left as it was, as it is by a copy that fails at once.
TEST(Clipboard, ACopyThatFailsPartWayLeavesTheTargetAsItWas) {
  InstallDocumentCopy();
  GlimmetDocPtr source = WithBookmark(QStringLiteral("0F1E2D3C-0000-4000-8000-0000000000CC"));
  source->pictures.resize(1);
  DocRange at{source.get(), uint32_t(source->userLength), uint32_t(source->userLength)};
  const KinkData picture{0, KnotEntry::PictureValue(0, 1000, 0)};
  ASSERT_TRUE(InsertKnotCore(&at, kKnotPicture, 0, 0, nullptr, 1, &picture, false));
  const uint32_t end = uint32_t(source->userLength);
  ASSERT_TRUE(InsertText(source.get(), end, QStringLiteral("\nstyled")));
  DocRange table;
  ASSERT_TRUE(NewTableCore(source.get(), end + 1, 1, 2, &table));
  const uint32_t styled = table.limit;
  const uint32_t own = CreateStyle(source.get(), QStringLiteral("Own"), kUserStyleId, 0, kStyleNone,
                                   ParaAt(source.get(), styled), nullptr);
  ASSERT_NE(own, kGMNone);
  ASSERT_TRUE(ApplyParaStyle({source.get(), styled, styled + 1}, own));
  // The whole text, then the styled paragraph alone.
  for (const DocRange& from : {DocRange{source.get(), kBody, uint32_t(source->userLength)},
                               DocRange{source.get(), styled, uint32_t(source->userLength)}}) {
    SCOPED_TRACE(from.first);
    GlimmetDocPtr target = WithBookmark(QStringLiteral("0F1E2D3C-0000-4000-8000-0000000000DD"));
    GMStyle unused;
    unused.kind = kPropUnusedStyle;
    target->styles.resize(kMaxStyles, unused);
    const DocState before(target.get());
    DocRange into{target.get(), kBody + 1, kBody + 1};
    LogCapture log;
    EXPECT_FALSE(ReplaceRangeCore(&into, &from, nullptr, 0, false));
    EXPECT_TRUE(DocState(target.get()) == before) << BodyText(target.get()).toStdString();
    ExpectWholeKnots(target.get(), "after the failed copy");
    // The document goes on working: a plain copy goes in.
    const DocRange plain{source.get(), kBody, kBody + 1};
    ASSERT_TRUE(ReplaceRangeCore(&into, &plain, nullptr, 0, false));
    EXPECT_EQ(target->bookmarkCps.count(), 1u);
  }
}

// The texts of a table's rows, each row's cells joined by "|", walking only the rows that are
// the table's own (a row nested in a cell is not one of them).
QStringList RowTexts(GlimmetDoc* doc, uint32_t tableCp) {
  KnotInfo table, row;
  QStringList rows;
  if (!FetchKnot(doc, tableCp, &table, kKnotTable)) return rows;
  for (uint32_t cp = table.first + 1; cp + 1 < table.limit && FetchKnot(doc, cp, &row, 0) && row.first == cp;
       cp = row.limit) {
    if (row.type() != kKnotRow) return rows << QStringLiteral("not a row");
    QStringList cells;
    for (uint32_t k = 0; k + 1 < row.kinkCount; ++k)
      cells << TextOfRange({doc, row.kinkCps[k] + 1, row.kinkCps[k + 1]}).remove(u'\n');
    rows << cells.join(u'|');
  }
  return rows;
}

// A table of one column whose rows hold the texts.
GlimmetDocPtr DocWithTable(const QStringList& texts) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("end"));
  DocRange table;
  EXPECT_TRUE(NewTableCore(doc.get(), kBody, uint32_t(texts.size()), 1, &table));
  for (qsizetype i = texts.size(); i-- > 0;) {
    KnotInfo row;
    uint32_t cp = table.first + 1;
    for (qsizetype r = 0; r <= i; ++r, cp = row.limit) EXPECT_TRUE(FetchKnot(doc.get(), cp, &row, kKnotRow));
    EXPECT_TRUE(InsertText(doc.get(), row.kinkCps[0] + 1, texts[i]));
  }
  return doc;
}

// Whole rows copied to a point inside a table go in as rows of it, before the row holding the
// point (at the table's begin kink, before its first row); text with them brings their cells as text.
TEST(Clipboard, WholeRowsCopiedIntoATableBecomeItsRows) {
  InstallDocumentCopy();
  GlimmetDocPtr source = DocWithTable({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
  KnotInfo first, second, third;
  ASSERT_TRUE(FetchKnot(source.get(), kBody + 1, &first, kKnotRow));
  ASSERT_TRUE(FetchKnot(source.get(), first.limit, &second, kKnotRow));
  ASSERT_TRUE(FetchKnot(source.get(), second.limit, &third, kKnotRow));
  const struct {
    const char* what;
    uint32_t first, limit;
    int at;  // after the "y" of the target's cells "x" and "yz", or -1 for the table's begin kink
    uint32_t selected;  // units replaced from there
    QStringList rows;
  } cases[] = {
      {"two rows into the second row's cell", second.first, third.limit, 2, 0,
       {QStringLiteral("x"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("y")}},
      {"two rows over a selection in a cell", second.first, third.limit, 2, 1,
       {QStringLiteral("x"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("y")}},
      {"a row at the table's begin kink", first.first, first.limit, -1, 0,
       {QStringLiteral("a"), QStringLiteral("x"), QStringLiteral("y")}},
      {"rows with text after the table", second.first, third.limit + 2, 2, 0,
       {QStringLiteral("x"), QStringLiteral("ybce")}},
  };
  for (const auto& c : cases) {
    LogCapture log;
    GlimmetDocPtr target = DocWithTable({QStringLiteral("x"), QStringLiteral("yz")});
    const uint32_t tableCp = kBody;
    const QString text = BodyText(target.get());
    const uint32_t point = c.at < 0 ? tableCp : kBody + uint32_t(text.indexOf(u'y')) + 1;
    DocRange into{target.get(), point, point + c.selected};
    const DocRange from{source.get(), c.first, c.limit};
    ASSERT_TRUE(ReplaceRangeCore(&into, &from, nullptr, 0, false)) << c.what;
    QStringList rows = RowTexts(target.get(), tableCp);
    if (!rows.isEmpty() && c.selected == 0) rows.last().remove(u'z');
    EXPECT_EQ(rows, c.rows) << c.what << ": " << rows.join(u',').toStdString();
    ExpectWholeKnots(target.get(), c.what);
    EXPECT_TRUE(log.assertMessages().isEmpty()) << c.what << ": " << log.assertMessages().join(u'|').toStdString();
  }
}

TEST(Bookmarks, DeletingBookmarksKeepsNamesInPlace) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("abcde"));
  for (uint32_t i = 0; i < 5; ++i) {
    DocRange at{doc.get(), kBody + 4 * i, kBody + 4 * i};
    ASSERT_TRUE(InsertKnotCore(&at, kKnotBookmark, 0, 0, nullptr, 0, nullptr, false));
    ASSERT_TRUE(ReplaceRangeSimpleWithString({doc.get(), at.first + 1, at.first + 1}, nullptr, QString::number(i)));
  }
  IdentifyBookmarks(doc.get());
  ASSERT_EQ(doc->bookmarkNames.size(), 5u);
  EXPECT_EQ(BookmarkGuid(doc.get(), 3), QStringLiteral("3"));
  EXPECT_EQ(BookmarkGuid(doc.get(), 7), QString());
  DeleteBookmarks(doc.get(), 2, 4);
  const std::pair<uint32_t, uint32_t> indexes[] = {{4, 2}, {2, kGMNone}, {3, kGMNone}, {1, 1}, {kGMNone, kGMNone}};
  for (const auto& [guid, bookmark] : indexes) EXPECT_EQ(BookmarkIndexForGuidIndex(doc.get(), guid), bookmark) << guid;
  EXPECT_EQ(doc->bookmarkCps.count(), 3u);
}

}  // namespace
