#include "glimmet/storage/gmKnots.h"
#include "support/LogCapture.h"
#include "StorageTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Builds a body from a pattern: '<' a U+0000 kink, '|' a U+0001 kink, any other character itself.
// The kinks become knots through AddKnot, which names them by their positions in the pattern.
class KnotDoc {
 public:
  explicit KnotDoc(const QString& pattern) : doc_(NewGlimmetDoc(kDocTemporary)) {
    QString text = pattern;
    text.replace(u'<', QChar(0)).replace(u'|', QChar(1));
    InsertText(doc_.get(), kBody, text);
  }
  GlimmetDoc* get() const { return doc_.get(); }
  uint32_t at(int offset) const { return kBody + uint32_t(offset); }
  // The knot whose kinks stand at these pattern offsets.
  void AddKnot(uint32_t type, std::vector<int> offsets) {
    for (size_t i = 0; i < offsets.size(); ++i) {
      KnotEntry entry;
      entry.type = type;
      entry.kink = offsets.size() == 1 ? kKinkAtomic : i == 0 ? kKinkBegin : i + 1 == offsets.size() ? kKinkEnd : kKinkMiddle;
      doc_->knots.insertSorted(at(offsets[i]), entry);
    }
  }

 private:
  GlimmetDocPtr doc_;
};

// Walks a range with the edit iterator, collecting the pieces.
std::vector<DocRange> Pieces(GlimmetDoc* doc, uint32_t first, uint32_t limit, int mode, DocRange* end = nullptr) {
  DocRange range{doc, first, limit};
  GMRegisteredRange registered(&range, 0);
  std::vector<DocRange> pieces;
  for (int guard = 0; guard < 100; ++guard) {
    DocRange piece;
    const bool more = GetNextEditRange(&range, &piece, nullptr, mode, nullptr);
    if (!more && piece.empty()) break;
    pieces.push_back(piece);
    if (!more) break;
  }
  if (end) *end = range;
  return pieces;
}

// The nesting cache is brought up to date from the lowest entry that changed; its answers must be
// those of a cache built from nothing, whatever the order in which knots come.
// The fields packed in an entry's value are set without touching their neighbours.
TEST(Knots, EntryFieldsKeepTheirNeighbours) {
  KnotEntry picture;
  picture.value = KnotEntry::PictureValue(3, 16383, 501);
  picture.setScale(500);
  EXPECT_EQ(picture.alignment(), 3u);
  EXPECT_EQ(picture.scale(), 500u);
  EXPECT_EQ(picture.opacity(), 501u);
  picture.setAlignment(0xFFFFFFFF);
  picture.setOpacity(0);
  EXPECT_EQ(picture.alignment(), 0xFFFFFFFFu);
  EXPECT_EQ(picture.scale(), 500u);
  EXPECT_EQ(picture.opacity(), 0u);
  EXPECT_EQ(picture.value, uint64_t(0xFFFFFFFF) | uint64_t(500) << 32);

  KnotEntry variable;
  variable.word = 7;
  variable.value = KnotEntry::VariableValue(kGMNone, 2);
  EXPECT_EQ(variable.guidIndex(), kGMNone);
  EXPECT_EQ(variable.format(), 2u);
  variable.setGuidIndex(4);
  EXPECT_EQ(variable.guidIndex(), 4u);
  EXPECT_EQ(variable.format(), 2u);
  EXPECT_EQ(variable.variableKind(), 7u);

  KnotEntry divider;
  divider.word = 3;
  divider.value = 0x1FF;
  EXPECT_EQ(divider.dividerType(), 3u);
  EXPECT_EQ(divider.dividerFlags(), 0xFFu);
}

TEST(Knots, NestingFollowsKnotsAddedAnywhere) {
  KnotDoc doc(QStringLiteral("a<b<x|y<u<t<z|c<d<e|f|"));
  auto answers = [&] {
    std::vector<std::vector<uint32_t>> found;
    for (int offset = 0; offset < 22; ++offset) {
      KnotInfo info;
      FetchKnot(doc.get(), doc.at(offset), &info, 0);
      found.emplace_back(info.kinkCps, info.kinkCps + info.kinkCount);
      found.back().push_back(info.limit);
    }
    return found;
  };
  const std::vector<std::pair<uint32_t, std::vector<int>>> knots = {
      {kKnotNote, {3, 5, 13}}, {kKnotPicture, {15}}, {kKnotPicture, {1}}, {kKnotLink, {7, 9, 11}},
      {kKnotNote, {17, 19, 21}}};
  for (const auto& [type, offsets] : knots) {
    doc.AddKnot(type, offsets);
    const auto incremental = answers();
    doc.get()->knotNesting = {};
    EXPECT_EQ(incremental, answers()) << offsets.front();
  }
}

TEST(Knots, FetchKnotFindsAtomicSpanningAndNestedKnots) {
  // 0 a, 1 picture, 2 b, 3 note begin, 4 x, 5 note middle, 6 y, 7 link begin, 8 u, 9 link middle,
  // 10 t, 11 link end, 12 z, 13 note end, 14 c
  KnotDoc doc(QStringLiteral("a<b<x|y<u<t<z|c"));
  doc.AddKnot(kKnotPicture, {1});
  doc.AddKnot(kKnotNote, {3, 5, 13});
  doc.AddKnot(kKnotLink, {7, 9, 11});

  KnotInfo info;
  ASSERT_TRUE(FetchKnot(doc.get(), doc.at(1), &info, 0));
  EXPECT_EQ(info.type(), kKnotPicture);
  EXPECT_EQ(info.kinkCount, 1u);
  EXPECT_EQ(info.range(), (DocRange{doc.get(), doc.at(1), doc.at(2)}));

  ASSERT_TRUE(FetchKnot(doc.get(), doc.at(10), &info, 0));
  EXPECT_EQ(info.range(), (DocRange{doc.get(), doc.at(7), doc.at(12)}));
  EXPECT_EQ(info.kinkCount, 3u);
  EXPECT_EQ(info.kinkNumber, 1u);

  DocRange outer;
  ASSERT_TRUE(FindOuterKnot(info.range(), &outer));
  EXPECT_EQ(outer, (DocRange{doc.get(), doc.at(3), doc.at(14)}));

  // Text of the note after the link, and the note's end kink, belong to the note.
  ASSERT_TRUE(FetchKnot(doc.get(), doc.at(12), &info, 0));
  EXPECT_EQ(info.type(), kKnotNote);
  EXPECT_EQ(info.kinkNumber, 1u);
  ASSERT_TRUE(FetchKnot(doc.get(), doc.at(13), &info, 0));
  EXPECT_EQ(info.type(), kKnotNote);
  EXPECT_FALSE(FetchKnot(doc.get(), doc.at(14), &info, 0));
  EXPECT_FALSE(FetchKnot(doc.get(), doc.at(0), &info, 0));

  LogCapture capture;
  EXPECT_FALSE(FetchKnot(doc.get(), doc.at(0), &info, kKnotChapter));
  EXPECT_EQ(info.index, -1);
  EXPECT_EQ(capture.assertMessages(), QStringList{QStringLiteral("Expected knot not found")});

  EXPECT_EQ(KnotLimitCp(doc.get(), doc.at(7)), doc.at(12));
  EXPECT_EQ(KnotLimitCp(doc.get(), doc.at(9)), kGMNone);
  EXPECT_EQ(KnotLimitCp(doc.get(), doc.at(1)), doc.at(2));
  EXPECT_EQ(NextKnotCp(doc.get(), doc.at(2)), doc.at(3));
  EXPECT_EQ(NextKnotCp(doc.get(), doc.at(12)), kGMNone);

  DocRange within;
  EXPECT_TRUE(CpIsWithinKnot(doc.get(), doc.at(10), kKnotNote, &within, false));
  EXPECT_EQ(within.first, doc.at(3));
}

TEST(Knots, InsertKnotCoreChecksTheKinkCount) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("abc"));
  LogCapture capture;
  DocRange at{doc.get(), kBody + 1, kBody + 1};
  ASSERT_TRUE(InsertKnotCore(&at, kKnotList, 3, 0, nullptr, 0, nullptr, false));
  EXPECT_EQ(capture.assertMessages(), QStringList{QStringLiteral("kinkCount doesn't match")});
  EXPECT_EQ(at, (DocRange{doc.get(), kBody + 1, kBody + 4}));
  // A list's kinks: U+0000, then the middle and end characters of its kind.
  EXPECT_EQ(BodyText(doc.get()), QString(QStringLiteral("a")) + QChar(0) + QChar(0) + QChar(1) + QStringLiteral("bc\n\n"));
  KnotInfo info;
  ASSERT_TRUE(FetchKnot(doc.get(), kBody + 2, &info, kKnotList));
  EXPECT_EQ(info.kinkCount, 3u);
  EXPECT_EQ(doc->listCps.count(), 1u);

  capture.clear();
  DocRange atomic{doc.get(), kBody, kBody};
  EXPECT_FALSE(InsertKnotCore(&atomic, kKnotPicture, 2, 0, nullptr, 0, nullptr, false));
  EXPECT_EQ(capture.assertMessages(), (QStringList{QStringLiteral("kinkCount doesn't match"),
                                                   QStringLiteral("kinkCount doesn't match atomic status")}));
}

TEST(Knots, KnotDataAndPropertiesGoToEachKink) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("ab"));
  PropRecord border = BaseProps(kPropBorder);
  border.set<uint32_t>(BorderField::kind, 7);
  KinkData data;
  data.word = 3;
  data.value = 0x0001000200000001ULL;
  DocRange at{doc.get(), kBody + 1, kBody + 1};
  ASSERT_TRUE(InsertKnotCore(&at, kKnotPicture, 0, 1, &border, 1, &data, false));
  KnotInfo info;
  ASSERT_TRUE(FetchKnot(doc.get(), kBody + 1, &info, kKnotPicture));
  EXPECT_EQ(info.entry.word, 3u);
  EXPECT_EQ(info.entry.value, data.value);
  ASSERT_NE(info.entry.propIndex, kGMNone);
  EXPECT_EQ(doc->props[info.entry.propIndex].kind, kPropBorder);
  DeleteKnot(&info);
  EXPECT_EQ(BodyText(doc.get()), QStringLiteral("ab\n\n"));
  EXPECT_EQ(doc->knots.count(), 8u);
}

TEST(Knots, EditPiecesAroundKnots) {
  struct Knot { uint32_t type; std::vector<int> offsets; };
  const struct {
    const char* pattern;
    std::vector<Knot> knots;
    int first, limit, mode;
    std::vector<std::pair<int, int>> pieces;  // the first pieces, as pattern offsets
    size_t count;                             // how many pieces in all, 0 when not checked
    int endLimit;                             // where the walked range ends, -1 when not checked
  } cases[] = {
      // Deleting from a link's begin kink into its text takes the whole link.
      {"ab<u<t<cd", {{kKnotLink, {2, 4, 6}}}, 2, 5, kEditDelete, {{2, 7}}, 1, 5},
      // Changing properties from the begin kink past the link: the link, then the text after it.
      {"ab<u<t<cd", {{kKnotLink, {2, 4, 6}}}, 2, 9, kEditProps, {{2, 7}, {7, 9}}, 2, -1},
      {"ab<u<t<cd", {{kKnotLink, {2, 4, 6}}}, 0, 9, kEditWholeKnots, {{2, 7}}, 1, -1},  // one per call
      // Inserting over the text of a two-kink knot keeps both kinks.
      {"a<xy<b", {{kKnotTag, {1, 4}}}, 2, 4, kEditInsert, {{2, 4}}, 1, -1},
      // Deleting into a note keeps the last character of the slot.
      {"a<x|pqrs|bc", {{kKnotNote, {1, 3, 8}}}, 5, 10, kEditDelete, {{5, 7}, {9, 10}}, 0, -1},
      // Deleting a whole row of a one-row table takes the table.
      {"a\n<<x||cd", {{kKnotTable, {2, 6}}, {kKnotRow, {3, 5}}}, 3, 6, kEditDelete, {{2, 7}}, 1, 7},
      // The paragraph mark before a table stays unless the deletion runs past the table.
      {"ab\n<<x||cd", {{kKnotTable, {3, 7}}, {kKnotRow, {4, 6}}}, 1, 5, kEditDelete, {{1, 2}}, 0, -1},
      {"ab\n<<x||cd", {{kKnotTable, {3, 7}}, {kKnotRow, {4, 6}}}, 1, 9, kEditDelete, {{1, 3}}, 0, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.pattern << " " << c.first << "-" << c.limit << " mode " << c.mode);
    KnotDoc doc(QString::fromUtf8(c.pattern));
    for (const Knot& knot : c.knots) doc.AddKnot(knot.type, knot.offsets);
    DocRange end;
    const auto pieces = Pieces(doc.get(), doc.at(c.first), doc.at(c.limit), c.mode, &end);
    if (c.count) {
      EXPECT_EQ(pieces.size(), c.count);
    }
    ASSERT_GE(pieces.size(), c.pieces.size());
    for (size_t i = 0; i < c.pieces.size(); ++i)
      EXPECT_EQ(pieces[i], (DocRange{doc.get(), doc.at(c.pieces[i].first), doc.at(c.pieces[i].second)})) << i;
    if (c.endLimit >= 0) {
      EXPECT_EQ(end.limit, doc.at(c.endLimit));
    }
  }
  // An empty range: no piece, and the piece is the range.
  KnotDoc doc(QStringLiteral("ab"));
  DocRange range{doc.get(), doc.at(1), doc.at(1)};
  GMRegisteredRange registered(&range, 0);
  DocRange piece;
  EXPECT_FALSE(GetNextEditRange(&range, &piece, nullptr, kEditDelete, nullptr));
  EXPECT_EQ(piece, range);
}

TEST(Knots, InsertingOverTheTextOfATwoKinkKnotKeepsBothKinks) {
  // 0 a, 1 tag begin, 2 x, 3 y, 4 tag end, 5 b
  KnotDoc doc(QStringLiteral("a<xy<b"));
  doc.AddKnot(kKnotTag, {1, 4});
  DocRange target{doc.get(), doc.at(2), doc.at(4)};
  ASSERT_TRUE(ReplaceRangeWithString(&target, QStringLiteral("zzz")));
  EXPECT_EQ(BodyText(doc.get()), QString(QStringLiteral("a")) + QChar(0) + QStringLiteral("zzz") + QChar(0) + QStringLiteral("b\n\n"));
  KnotInfo info;
  ASSERT_TRUE(FetchKnot(doc.get(), doc.at(3), &info, kKnotTag));
  EXPECT_EQ(info.limit, doc.at(6));
}

TEST(Knots, DeletingTheBodysLastParagraph) {
  const struct { int first; QString expected; } cases[] = {
      {5, QStringLiteral("abc\nd\n\n")},  // from its middle: the mark stays
      {4, QStringLiteral("abc\n\n")},     // from its first character: the mark goes too
      {0, QStringLiteral("\n\n")},        // the body's first paragraph always keeps one mark
  };
  for (const auto& c : cases) {
    GlimmetDocPtr doc = DocWithBody(QStringLiteral("abc\ndef"));
    DocRange range{doc.get(), kBody + uint32_t(c.first), uint32_t(doc->userLength)};
    ASSERT_TRUE(ReplaceRangeCore(&range, nullptr, nullptr, 0, false));
    EXPECT_EQ(BodyText(doc.get()), c.expected) << c.first;
  }
}

TEST(Knots, WhatAPaneShowsOfAKnot) {
  // 0 a, 1 link begin, 2 u, 3 link middle, 4 t, 5 link end, 6 b
  KnotDoc doc(QStringLiteral("a<u<t<b"));
  doc.AddKnot(kKnotLink, {1, 3, 5});
  KnotInfo info;
  ASSERT_TRUE(FetchKnot(doc.get(), doc.at(2), &info, kKnotLink));
  DocRange shown;
  EXPECT_TRUE(ShouldShowKnot(&info, doc.at(1), nullptr, &shown));
  EXPECT_EQ(shown, (DocRange{doc.get(), doc.at(1), doc.at(2)}));
  EXPECT_FALSE(ShouldShowKnot(&info, doc.at(2), nullptr, &shown));
  EXPECT_EQ(shown, (DocRange{doc.get(), doc.at(2), doc.at(6)}));
  Pane all;
  all.displayFlags = kPaneShowAllCodes;
  EXPECT_TRUE(ShouldShowKnot(&info, doc.at(2), &all, &shown));
  LogCapture capture;
  EXPECT_FALSE(ShouldShowKnot(&info, doc.at(6), nullptr, &shown));
  EXPECT_EQ(capture.assertMessages(), QStringList{QStringLiteral("cp not in knot")});
  // The paragraph scan passes over the hidden text of the link.
  DocRange para;
  FetchParaProps(doc.get(), nullptr, doc.at(0), &para, nullptr);
  EXPECT_EQ(para, (DocRange{doc.get(), doc.at(0), doc.at(8)}));
}

TEST(Knots, RowsOfOneHundredAndOneCellsFitTheKinkArray) {
  // A row of 101 cells: its begin kink and one kink closing each cell.
  QString pattern = QStringLiteral("a<");
  std::vector<int> offsets{1};
  for (int cell = 0; cell < 101; ++cell) {
    pattern += QStringLiteral("x|");
    offsets.push_back(int(pattern.size()) - 1);
  }
  pattern += QStringLiteral("b");
  KnotDoc doc(pattern);
  doc.AddKnot(kKnotRow, offsets);
  KnotInfo info;
  ASSERT_TRUE(FetchKnot(doc.get(), doc.at(offsets.back() - 1), &info, kKnotRow));
  EXPECT_EQ(info.kinkCount, 102u);
  EXPECT_EQ(info.kinkCps[101], doc.at(offsets.back()));
  EXPECT_EQ(info.kinkNumber, 100u);
  EXPECT_EQ(info.limit, doc.at(offsets.back() + 1));
}

TEST(Knots, VisiblePositionsSkipHiddenKnotText) {
  // 0 a, 1 link begin, 2 u, 3 link middle, 4 t, 5 link end, 6 b
  KnotDoc doc(QStringLiteral("a<u<t<b"));
  doc.AddKnot(kKnotLink, {1, 3, 5});
  const struct { int from; bool forward; int expected; } cases[] = {
      {0, true, 0},   // plain text is visible
      {1, true, 1},   // a link's begin kink is shown
      {2, true, 6},   // its address is hidden: on to the link's end
      {2, false, 1},  // or back to its begin kink
      {5, false, 1},  // so is its end kink
      {6, false, 6},
  };
  for (const auto& c : cases)
    EXPECT_EQ(VisibleCpCore(doc.get(), nullptr, doc.at(c.from), c.forward), doc.at(c.expected))
        << c.from << (c.forward ? " forward" : " backward");
  // Inside the initial chapter knot nothing is visible: the walk leaves it.
  EXPECT_EQ(VisibleCpCore(doc.get(), nullptr, 5, true), kBody);
  Pane all;
  all.displayFlags = kPaneShowAllCodes;
  EXPECT_EQ(VisibleCpCore(doc.get(), &all, 5, true), 5u);
}

TEST(Knots, NewKnotsStayOutOfTablesAndBookmarkText) {
  // 0 a, 1 table begin, 2 row begin, 3 x, 4 row end, 5 table end, 6 b
  KnotDoc doc(QStringLiteral("a<<x||b"));
  doc.AddKnot(kKnotTable, {1, 5});
  doc.AddKnot(kKnotRow, {2, 4});
  DocRange at{doc.get(), doc.at(5), doc.at(5)};
  ASSERT_TRUE(InsertKnotCore(&at, kKnotPicture, 0, 0, nullptr, 0, nullptr, false));
  EXPECT_EQ(at.first, doc.at(6));
  EXPECT_EQ(CurrentPane(doc.get())->selFirst, int32_t(doc.at(6)));
  KnotInfo info;
  ASSERT_TRUE(FetchKnot(doc.get(), doc.at(6), &info, kKnotPicture));
  ASSERT_TRUE(FetchKnot(doc.get(), doc.at(3), &info, kKnotRow));
  EXPECT_EQ(info.limit, doc.at(5));
}

TEST(Knots, ACopyOverTheLastParagraphKeepsItsMarkUnlessTheSourceEndsWithOne) {
  GlimmetDocPtr source = DocWithBody(QStringLiteral("xy\nz")), doc = DocWithBody(QStringLiteral("abc\ndef"));
  const struct {
    uint32_t sourceLimit;  // body offsets in the source
    uint32_t expectedLimit;
  } cases[] = {
      {3, 22},  // "xy\n" ends with a paragraph mark: the target's mark may go
      {2, 21},  // "xy" does not: the target keeps its mark
      {4, 21},  // "xy\nz"
  };
  for (const auto& c : cases) {
    const DocRange from{source.get(), kBody, kBody + c.sourceLimit};
    DocRange range{doc.get(), kBody + 4, 22};
    GMRegisteredRange registered(&range, 0);
    DocRange piece;
    GetNextEditRange(&range, &piece, nullptr, kEditCopyFirst, &from);
    EXPECT_EQ(piece, (DocRange{doc.get(), kBody + 4, c.expectedLimit})) << c.sourceLimit;
  }
}

}  // namespace
