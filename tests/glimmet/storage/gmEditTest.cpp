#include "glimmet/storage/gmEdit.h"
#include "glimmet/storage/gmClipboard.h"
#include "support/LogCapture.h"
#include "StorageTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Edit, RegisteredRangesFollowAnInsertionByTheirFlags) {
  const struct { uint32_t first, limit, flags, expectedFirst, expectedLimit; } cases[] = {
      // Insertion of 3 units at 16.
      {16, 18, 0, 16, 21},                   // starts at the point: keeps its first cp and grows
      {16, 18, kRegisterMovePast, 19, 21},   // moves past the new text
      {16, 16, kRegisterKeepEmpty, 16, 16},  // an empty range stays empty
      {16, 16, kRegisterKeepEmpty | kRegisterMovePast, 19, 19},
      {14, 16, 0, 14, 19},                   // ends at the point: grows
      {14, 15, 0, 14, 15},                   // before the point
      {17, 18, 0, 20, 21},                   // after the point
  };
  for (const auto& c : cases) {
    GlimmetDocPtr doc = DocWithBody(QStringLiteral("abcdef"));
    DocRange range{doc.get(), c.first, c.limit};
    RegisterRange(&range, c.flags);
    ASSERT_TRUE(InsertText(doc.get(), 16, QStringLiteral("xyz")));
    UnregisterRange(&range);
    EXPECT_EQ(range, (DocRange{doc.get(), c.expectedFirst, c.expectedLimit}))
        << c.first << "-" << c.limit << " flags " << c.flags;
  }
}

TEST(Edit, RegisteredRangesFollowADeletion) {
  const struct { uint32_t first, limit, expectedFirst, expectedLimit; } cases[] = {
      {14, 20, 14, 17}, {16, 18, 16, 16}, {17, 20, 16, 17}, {19, 20, 16, 17}, {14, 16, 14, 16}, {20, 21, 17, 18},
  };
  for (const auto& c : cases) {
    GlimmetDocPtr doc = DocWithBody(QStringLiteral("abcdefg"));
    DocRange range{doc.get(), c.first, c.limit};
    GMRegisteredRange registered(&range, 0);
    DocRange doomed{doc.get(), 16, 19};
    ASSERT_TRUE(ReplaceRangeCore(&doomed, nullptr, nullptr, 0, false));
    EXPECT_EQ(range, (DocRange{doc.get(), c.expectedFirst, c.expectedLimit})) << c.first << "-" << c.limit;
  }
}

TEST(Edit, ManyRegisteredRangesAreAllKeptCurrent) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("abcdef"));
  LogCapture capture;
  std::vector<DocRange> ranges(20, DocRange{doc.get(), 18, 19});
  for (DocRange& range : ranges) RegisterRange(&range, 0);
  ASSERT_TRUE(InsertText(doc.get(), 15, QStringLiteral("xy")));
  for (DocRange& range : ranges) {
    EXPECT_EQ(range, (DocRange{doc.get(), 20, 21}));
    UnregisterRange(&range);
  }
  EXPECT_TRUE(capture.assertMessages().isEmpty());
  DocRange stray{doc.get(), 14, 15};
  UnregisterRange(&stray);
  RegisterRange(nullptr, 0);
  EXPECT_EQ(capture.assertMessages(), (QStringList{QStringLiteral("Range is not registered"),
                                                   QStringLiteral("Missing range to register")}));
}

TEST(Edit, ClearedOnEditRangesLoseTheirDocument) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("abc"));
  DocRange range{doc.get(), 14, 15};
  GMRegisteredRange registered(&range, kRegisterClearOnEdit);
  ASSERT_TRUE(InsertText(doc.get(), 16, QStringLiteral("x")));
  EXPECT_EQ(range.doc, nullptr);
}

TEST(Edit, FifthNestedDeferralIsReportedAndUndefersStillBalance) {
  LogCapture capture;
  for (int i = 0; i < 5; ++i) DeferDisplay();
  EXPECT_EQ(capture.assertMessages(), QStringList{QStringLiteral("Too many defers")});
  EXPECT_EQ(DeferStatus().count, 5);
  for (int i = 5; i < 9; ++i) DeferDisplay();
  ASSERT_EQ(capture.assertMessages().size(), 5);
  for (int i = 0; i < 9; ++i) UndeferDisplay(2);
  EXPECT_EQ(DeferStatus().count, 0);
  UndeferDisplay(2);
  EXPECT_EQ(capture.assertMessages().last(), QStringLiteral("Display not deferred"));
}

TEST(Edit, DeferredChangesOfADisplayedDocumentAccumulate) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("abcdef"));
  int owner = 0;
  doc->owner = &owner;
  DeferDisplay();
  ASSERT_TRUE(InsertText(doc.get(), 16, QStringLiteral("x")));
  ASSERT_TRUE(InsertText(doc.get(), 20, QStringLiteral("y")));
  EXPECT_EQ(DeferStatus().accumulated, (DocRange{doc.get(), 16, 21}));
  // Later edits keep the accumulated range current.
  ASSERT_TRUE(InsertText(doc.get(), 15, QStringLiteral("zz")));
  EXPECT_EQ(DeferStatus().accumulated, (DocRange{doc.get(), 15, 23}));
  UndeferDisplay(2);
  EXPECT_EQ(DeferStatus().accumulated.doc, nullptr);
  doc->owner = nullptr;
}

TEST(Edit, TextGoesToTheAppendBlockThenToABlockOfItsOwnSize) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  ASSERT_TRUE(InsertText(doc.get(), kBody, QString(4080, u'a')));
  EXPECT_EQ(doc->text.blockCount(), 1u);
  EXPECT_EQ(doc->text.blockFree(), 0u);
  ASSERT_TRUE(InsertText(doc.get(), kBody, QString(5000, u'b')));
  ASSERT_EQ(doc->text.blockCount(), 2u);
  EXPECT_EQ(doc->text.blockSizeAt(1), 5000u);
  EXPECT_EQ(doc->text.blockFree(), 0u);
  ASSERT_TRUE(InsertText(doc.get(), kBody, QStringLiteral("c")));
  EXPECT_EQ(doc->text.blockSizeAt(2), 4096u);
  EXPECT_EQ(doc->text.blockFree(), 4095u);
  EXPECT_EQ(BodyText(doc.get()), QStringLiteral("c") + QString(5000, u'b') + QString(4080, u'a') + QStringLiteral("\n\n"));
}

TEST(Edit, TypingExtendsOnePiece) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  const uint32_t before = doc->text.pieceCount();
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(InsertText(doc.get(), kBody + uint32_t(i), QStringLiteral("x")));
  EXPECT_EQ(doc->text.pieceCount(), before + 2);  // the typed text and the rest of the first block
  EXPECT_EQ(BodyText(doc.get()), QString(50, u'x') + QStringLiteral("\n\n"));
}

TEST(Edit, StraightQuotesDocumentsStoreStraightQuotes) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  doc->docProps.body[DocField::noQuotes] = 1;
  ASSERT_TRUE(InsertText(doc.get(), kBody, QString::fromUtf16(u"\u201Cit\u2019s\u201D \u2018x\u2019")));
  EXPECT_EQ(BodyText(doc.get()), QStringLiteral("\"it's\" 'x'\n\n"));
}

TEST(Edit, TooLongAResultChangesNothingAndSetsTheFlag) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("abc"));
  const int32_t realLength = doc->userLength;
  // Near the limit, a length that a 32-bit sum would wrap into a small number must be refused.
  doc->userLength = int32_t(kMaxDocLength - 2);
  const char16_t dummy = u'x';
  DocRange at{doc.get(), 15, 15};
  EXPECT_FALSE(ReplaceRangeCore(&at, nullptr, &dummy, 3, false));
  EXPECT_TRUE(doc->tooLarge);
  doc->tooLarge = false;
  EXPECT_FALSE(ReplaceRangeCore(&at, nullptr, &dummy, 0xC0000000u, false));
  EXPECT_TRUE(doc->tooLarge);
  doc->userLength = realLength;
  EXPECT_EQ(BodyText(doc.get()), QStringLiteral("abc\n\n"));
}

TEST(Edit, EditsPastTheEndAndAtTheStartAreRefused) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("abc"));
  LogCapture capture;
  DocRange past{doc.get(), uint32_t(doc->totalLength), uint32_t(doc->totalLength)};
  EXPECT_FALSE(ReplaceRangeWithString(&past, QStringLiteral("x")));
  const char16_t unit = u'x';
  EXPECT_FALSE(ReplaceRangeSimple({doc.get(), 0, 1}, nullptr, &unit, 1));
  EXPECT_EQ(capture.assertMessages(), (QStringList{QStringLiteral("Attempt to edit past EOD"),
                                                   QStringLiteral("Replacing at start of doc")}));
  EXPECT_EQ(BodyText(doc.get()), QStringLiteral("abc\n\n"));
}

TEST(Edit, AFailedCopyLeavesTheTargetUnchanged) {
  GlimmetDocPtr source = DocWithBody(QStringLiteral("source")), doc = DocWithBody(QStringLiteral("selected text"));
  SetCopyRangeHook(nullptr);
  const DocRange from{source.get(), 14, 20};
  DocRange target{doc.get(), 14, 22};
  EXPECT_FALSE(ReplaceRangeCore(&target, &from, nullptr, 0, false));
  EXPECT_EQ(BodyText(doc.get()), QStringLiteral("selected text\n\n"));
  EXPECT_EQ(target, (DocRange{doc.get(), 14, 22}));
  EXPECT_FALSE(ReplaceRangeCore(&target, &from, nullptr, 0, true));
  EXPECT_EQ(BodyText(doc.get()), QStringLiteral("selected text\n\n"));
  // A copy that fails midway also leaves the selection.
  SetCopyRangeHook([](DocRange*, const DocRange&) { return false; });
  EXPECT_FALSE(ReplaceRangeCore(&target, &from, nullptr, 0, false));
  EXPECT_EQ(BodyText(doc.get()), QStringLiteral("selected text\n\n"));
  InstallDocumentCopy();
}

TEST(Edit, CopyingWithinOneDocumentReadsTheTextAsItWasBefore) {
  // The document's own copy, then one that reads its source a unit at a time while writing, as a
  // piecewise copy does.
  for (const bool piecewise : {false, true}) {
    SCOPED_TRACE(piecewise);
    if (piecewise) {
      SetCopyRangeHook([](DocRange* target, const DocRange& source) {
        uint32_t at = target->first;
        for (uint32_t cp = source.first; cp < source.limit; ++cp, ++at) {
          const char16_t unit = CharacterAtCp(source.doc, cp);
          if (!ReplaceRangeSimple({target->doc, at, at}, nullptr, &unit, 1)) return false;
        }
        target->limit = at;
        return true;
      });
    }
    GlimmetDocPtr doc = DocWithBody(QStringLiteral("abcdef"));
    LogCapture capture;
    const DocRange from{doc.get(), 14, 18};
    DocRange target{doc.get(), 15, 15};
    ASSERT_TRUE(ReplaceRangeCore(&target, &from, nullptr, 0, false));
    EXPECT_EQ(BodyText(doc.get()), QStringLiteral("aabcdbcdef\n\n"));
    EXPECT_EQ(target, (DocRange{doc.get(), 15, 19}));
    if (!piecewise) continue;
    EXPECT_EQ(capture.assertMessages(), QStringList{QStringLiteral("Copying within same doc")});
    // Copying over a selection replaces it.
    const DocRange word{doc.get(), 14, 16};
    DocRange selection{doc.get(), 20, 24};
    ASSERT_TRUE(ReplaceRangeCore(&selection, &word, nullptr, 0, false));
    EXPECT_EQ(BodyText(doc.get()), QStringLiteral("aabcdbaa\n\n"));
  }
  InstallDocumentCopy();
}

TEST(Edit, ReplacingAllThePaneShowsKeepsItsLastParagraphMark) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("abc\ndef"));
  DocRange all;
  GetPaneRange(doc.get(), nullptr, &all);
  all.first = FirstVisibleCp(doc.get());
  ASSERT_TRUE(ReplaceRangeWithString(&all, QStringLiteral("new")));
  EXPECT_EQ(BodyText(doc.get()), QStringLiteral("new\n\n"));
  EXPECT_EQ(doc->userLength, doc->totalLength - 1);
}

TEST(Edit, ApplyingParagraphPropertiesCoversWholeParagraphs) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("one\ntwo\nthree"));
  PropRecord para = DefaultProps(doc.get(), kPropPara);
  para.set<uint32_t>(ParaField::alignment, 1);
  ASSERT_TRUE(ApplyPropsToRange({doc.get(), kBody + 5, kBody + 6}, para));
  const uint32_t centred = IndexForProperties(doc.get(), &para);
  const struct {
    uint32_t offset;
    bool centred;
  } cases[] = {{0, false}, {3, false}, {4, true}, {7, true}, {8, false}, {13, false}};
  for (const auto& c : cases) EXPECT_EQ(ParaAt(doc.get(), kBody + c.offset).index == centred, c.centred) << c.offset;
}

TEST(Edit, KeepEachRunsFontWhenTheFontFieldSaysSo) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("abcd"));
  PropRecord other = DefaultProps(doc.get(), kPropChar);
  other.set<uint16_t>(CharField::font, 7);
  ASSERT_TRUE(ApplyPropsToRange({doc.get(), kBody + 2, kBody + 4}, other));
  PropRecord bold = DefaultProps(doc.get(), kPropChar);
  bold.body[CharField::bold] = 1;
  bold.set<uint16_t>(CharField::font, 65534);
  ASSERT_TRUE(ApplyPropsToRange({doc.get(), kBody, kBody + 4}, bold));
  const uint16_t normalFont = doc->props[doc->styles[0].second].get<uint16_t>(CharField::font);
  const std::pair<uint32_t, uint16_t> fonts[] = {{1, normalFont}, {3, 7}};
  for (const auto& [offset, font] : fonts) {
    EXPECT_EQ(CharsAt(doc.get(), kBody + offset).body[CharField::bold], 1) << offset;
    EXPECT_EQ(CharsAt(doc.get(), kBody + offset).get<uint16_t>(CharField::font), font) << offset;
  }
}

TEST(Edit, ExpandingToWordsAndChapters) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("one two three\nfour"));
  const struct {
    uint32_t limit, how;
    uint32_t expectedFirst, expectedLimit;
  } cases[] = {{kBody + 6, kExpandWord, kBody + 4, kBody + 7},  // "two"
               {kBody + 6, kExpandPara, kBody, kBody + 14},
               {kBody + 16, kExpandPara, kBody, kBody + 19},
               {kBody + 6, kExpandChapter, 0, uint32_t(doc->totalLength)}};
  for (const auto& c : cases) {
    DocRange range{doc.get(), kBody + 5, c.limit};
    ExpandDocRange(&range, c.how);
    EXPECT_EQ(range, (DocRange{doc.get(), c.expectedFirst, c.expectedLimit})) << c.how << " " << c.limit;
  }
  doc->noExpansion = true;
  DocRange range{doc.get(), kBody + 5, kBody + 6};
  ExpandDocRange(&range, kExpandWord);
  EXPECT_EQ(range, (DocRange{doc.get(), kBody + 5, kBody + 6}));
}

TEST(Edit, DeletingTheMarkThatEndsAChapterPutsOneBack) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("ab"));
  // A second chapter after the body's paragraph: its eight kinks, empty slots.
  DocRange at{doc.get(), kBody + 3, kBody + 3};
  ASSERT_TRUE(InsertKnotCore(&at, kKnotChapter, 0, 0, nullptr, 0, nullptr, false));
  ASSERT_EQ(doc->chapterCps.count(), 2u);
  EXPECT_EQ(doc->chapterCps.cpAt(1), kBody + 3);
  DocRange mark{doc.get(), kBody + 2, kBody + 3};
  ASSERT_TRUE(ReplaceRangeSimple(mark, nullptr, nullptr, 0));  // raw: the mark goes
  DocRange doomed{doc.get(), kBody + 1, kBody + 2};
  ASSERT_TRUE(ReplaceRangeCore(&doomed, nullptr, nullptr, 0, false));
  EXPECT_EQ(CharacterAtCp(doc.get(), kBody + 1), u'\n');
  EXPECT_EQ(doc->chapterCps.cpAt(1), kBody + 2);
}

TEST(Edit, ParagraphRangesFoundBeforeAnEditAreNotReusedAfterIt) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("abcdef"));
  DocRange para;
  FetchParaProps(doc.get(), nullptr, kBody + 4, &para, nullptr);
  EXPECT_EQ(para, (DocRange{doc.get(), kBody, kBody + 7}));
  ASSERT_TRUE(InsertText(doc.get(), kBody + 2, QStringLiteral("\n")));
  FetchParaProps(doc.get(), nullptr, kBody + 4, &para, nullptr);
  EXPECT_EQ(para, (DocRange{doc.get(), kBody + 3, kBody + 8}));
}

TEST(Edit, ReplacedTextTakesThePropertiesOfTheRunItReplaces) {
  // Runs: plain "ab", italic "cdef" at offsets 2-5, plain "gh". Each case replaces from offset 2.
  const struct {
    int limit;
    QString text;
    QString italic;  // the italic characters afterwards
  } cases[] = {
      {4, QStringLiteral("x"), QStringLiteral("xef")},      // shorter: the run keeps its place
      {6, QStringLiteral("xyz"), QStringLiteral("xyz")},    // the whole run: its text replaced
      {4, QStringLiteral("xyz"), QStringLiteral("ef")},     // longer, part of the run: text before it
  };
  for (const auto& c : cases) {
    GlimmetDocPtr doc = DocWithBody(QStringLiteral("abcdefgh"));
    PropRecord record = DefaultProps(doc.get(), kPropChar);
    record.body[CharField::italic] = 1;
    ASSERT_TRUE(ApplyPropsToRange({doc.get(), kBody + 2, kBody + 6}, record));
    DocRange target{doc.get(), kBody + 2, kBody + uint32_t(c.limit)};
    ASSERT_TRUE(ReplaceRangeWithString(&target, c.text));
    QString italic;
    for (uint32_t cp = kBody; cp < uint32_t(doc->userLength); ++cp)
      if (CharsAt(doc.get(), cp).body[CharField::italic]) italic += QChar(CharacterAtCp(doc.get(), cp));
    EXPECT_EQ(italic, c.italic) << c.limit << " " << c.text.toStdString();
  }
}

TEST(Edit, ReplacingTextAroundAKnotRemovesTheKnotAndItsTables) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("abcd"));
  DocRange at{doc.get(), kBody + 2, kBody + 2};
  ASSERT_TRUE(InsertKnotCore(&at, kKnotBookmark, 0, 0, nullptr, 0, nullptr, false));
  DocRange later{doc.get(), kBody + 6, kBody + 6};
  ASSERT_TRUE(InsertKnotCore(&later, kKnotBookmark, 0, 0, nullptr, 0, nullptr, false));
  doc->bookmarkNames = {{QStringLiteral("first"), 0}, {QStringLiteral("second"), 1}};
  ASSERT_EQ(doc->bookmarkCps.count(), 2u);
  ASSERT_EQ(doc->knots.count(), 14u);
  DocRange target{doc.get(), kBody + 1, kBody + 6};
  ASSERT_TRUE(ReplaceRangeWithString(&target, QStringLiteral("X")));
  EXPECT_EQ(BodyText(doc.get()), QStringLiteral("aX") + QString(3, QChar(0)) + QStringLiteral("d\n\n"));
  EXPECT_EQ(doc->knots.count(), 11u);
  ASSERT_EQ(doc->bookmarkCps.count(), 1u);
  EXPECT_EQ(doc->bookmarkCps.cpAt(0), kBody + 2);
  // Names stay where variables find them: the deleted bookmark's name is marked, the later one renumbered.
  ASSERT_EQ(doc->bookmarkNames.size(), 2u);
  EXPECT_EQ(doc->bookmarkNames[0].bookmark, -1);
  EXPECT_EQ(doc->bookmarkNames[1].guid, QStringLiteral("second"));
  EXPECT_EQ(doc->bookmarkNames[1].bookmark, 0);
  EXPECT_EQ(target, (DocRange{doc.get(), kBody + 1, kBody + 2}));
  EXPECT_TRUE(g_deleteMask & 1u);
}

}  // namespace
