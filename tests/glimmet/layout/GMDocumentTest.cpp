#include "glimmet/layout/GMDocument.h"

#include "glimmet/layout/ViewTestSupport.h"
#include "glimmet/layout/gmHostProcedures.h"
#include "glimmet/layout/gmPictures.h"
#include "glimmet/layout/gmSelectKeys.h"
#include "glimmet/layout/gmViewNotifications.h"
#include "glimmet/storage/gmClipboard.h"
#include "glimmet/storage/gmFind.h"
#include "glimmet/storage/gmLists.h"
#include "framlet/foundation/FLImage.h"
#include "glimmet/layout/gmSelection.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmProperties.h"
#include "glimmet/storage/gmTables.h"
#include "support/LogCapture.h"

#include <QImage>
#include <QMimeData>

#include <gtest/gtest.h>

namespace {

TEST(GMDocument, LoadsUntilFirstActivated) {
  CreatePreferenceDocument();
  std::unique_ptr<GMDocument> document = GMDocument::create();
  ASSERT_TRUE(document);
  EXPECT_EQ(document->glimmetDoc()->owner, document.get());
  EXPECT_TRUE(document->isLoading());
  EXPECT_EQ(document->selectionMask(), 0u);
  document->setActive(false);
  EXPECT_FALSE(document->isLoading());
  EXPECT_NE(document->selectionMask(), 0u);
  EXPECT_TRUE(document->skipNotesWhenSpelling());
  EXPECT_FALSE(document->shouldCheckSpelling() || document->shouldCorrectSpelling() || document->shouldFindLinks());
  EXPECT_EQ(document->spellChecker(), nullptr);
}

TEST(GMDocument, PageSizeIsThePaperLessItsMargins) {
  CreatePreferenceDocument();
  std::unique_ptr<GMDocument> document = GMDocument::create();
  const PropRecord& props = document->glimmetDoc()->docProps;
  const auto [width, height] = document->pageSize();
  EXPECT_EQ(width, 612 * 12700 - props.get<int64_t>(DocField::left) - props.get<int64_t>(DocField::right));
  EXPECT_EQ(height, 792 * 12700 - props.get<int64_t>(DocField::top) - props.get<int64_t>(DocField::bottom));
  EXPECT_EQ(document->paperSize(), QSizeF(612, 792));
}

TEST(GMDocument, ClosingTellsViewsAndScrollViews) {
  ShownDocument shown(QStringLiteral("text"));
  int closings = 0;
  NotificationObserver observer = NotificationCenter::defaultCenter().addObserver(
      kGMDocClosingNotification, shown.document.get(), [&](const Notification&) { ++closings; });
  shown.document->documentWillClose();
  EXPECT_EQ(closings, 1);
  EXPECT_EQ(shown.view->document(), nullptr);
  EXPECT_EQ(shown.scrollView->document(), nullptr);
  EXPECT_EQ(shown.document->glimmetDoc()->paneCount, 0u);
}

TEST(GMDocument, SelectionMask) {
  ShownDocument shown(QStringLiteral("alpha beta\ngamma"));
  shown.document->setSelection(shown.body + 2, 0);
  EXPECT_EQ(shown.document->selectionMask(), kSelMaskValid | kSelMaskEmpty);
  shown.document->setSelection(shown.body + 2, 3);
  EXPECT_EQ(shown.document->selectionMask(), kSelMaskValid | kSelMaskRange);
  EXPECT_EQ(shown.document->selectionRange(), (std::pair<uint64_t, uint64_t>(shown.body + 2, 0)));
}

TEST(GMDocument, DefaultListPropertiesByType) {
  CreatePreferenceDocument();
  std::unique_ptr<GMDocument> document = GMDocument::create();
  struct Case {
    char16_t type;
    uint32_t kind;
    char16_t first, second;
  };
  const Case cases[] = {{u'#', 2, 0, 0}, {u'*', 1, 0x2022, 0}, {u'-', 1, u'-', 0}, {u'1', 3, 0, u'.'}};
  for (const Case& c : cases) {
    PropRecord props;
    document->getDefaultProps(&props, c.type);
    EXPECT_EQ(props.get<uint32_t>(ListField::markers), c.kind) << char(c.type);
    EXPECT_EQ(props.get<char16_t>(ListField::markers + 8), c.first);
    EXPECT_EQ(props.get<char16_t>(ListField::markers + 10), c.second);
  }
  PropRecord props;
  document->getDefaultProps(&props, u'x');
  EXPECT_EQ(props.kind, 255u);
}

TEST(GMDocument, CopyToDataLeavesTheClipboardDocument) {
  ShownDocument shown(QStringLiteral("alpha beta gamma"));
  shown.document->setSelection(shown.body + 6, 4);
  ASSERT_TRUE(shown.document->copySelection());
  GlimmetDoc* clip = g_clipboardDoc;
  ASSERT_NE(clip, nullptr);
  shown.document->setSelection(shown.body, 5);
  QMimeData data;
  GlimmetDocPtr copy = shown.document->copyToPasteboard(&data);
  ASSERT_TRUE(copy);
  EXPECT_EQ(g_clipboardDoc, clip);
  EXPECT_EQ(data.text(), QStringLiteral("alpha"));
  // Nothing selected: nothing copied, the data untouched.
  shown.document->setSelection(shown.body + 3, 0);
  QMimeData empty;
  EXPECT_FALSE(shown.document->copyToPasteboard(&empty));
  EXPECT_TRUE(empty.formats().isEmpty());
}

TEST(GMDocument, ACopyKeepsTheNameOfItsChapter) {
  ShownDocument shown(QStringLiteral("alpha beta gamma"));
  GlimmetDoc* doc = shown.document->glimmetDoc();
  ASSERT_GT(doc->chapterCps.count(), 0u);
  ASSERT_TRUE(ReplaceRangeSimpleWithString(KnotFirstSlot(doc, doc->chapterCps.cpAt(0)), nullptr,
                                           QStringLiteral("Getting started")));
  const uint32_t body = BodyStart(doc);
  shown.document->setSelection(body + 6, 4);
  ASSERT_TRUE(shown.document->copySelection());
  ASSERT_NE(g_clipboardDoc, nullptr);
  EXPECT_EQ(ChapterName(g_clipboardDoc, 0), QStringLiteral("Getting started"));
  // The copied text is whole beside it.
  EXPECT_TRUE(TextOfRange({g_clipboardDoc, 0, uint32_t(g_clipboardDoc->totalLength)}).contains(QStringLiteral("beta")));
}

TEST(GMDocument, InsertingAPictureAnnouncesTheNewCaret) {
  ShownDocument shown(QStringLiteral("ab"));
  GlimmetDoc* doc = shown.document->glimmetDoc();
  QImage pixels(4, 4, QImage::Format_ARGB32);
  pixels.fill(Qt::red);
  const uint32_t index = StorePicture(doc, FLImage::withCGImage(pixels, QSizeF(4, 4)));
  ASSERT_NE(index, kGMNone);
  shown.document->setSelection(shown.body + 1, 0);
  int changes = 0;
  NotificationObserver observer = NotificationCenter::defaultCenter().addObserver(
      kGMSelectionChangeNotification, shown.document.get(), [&](const Notification&) { ++changes; });
  ASSERT_TRUE(InsertPictureWithIndex(doc, index, false));
  EXPECT_EQ(shown.document->selectionRange(), (std::pair<uint64_t, uint64_t>(shown.body + 2, 0)));
  EXPECT_GE(changes, 1);
}

TEST(GMDocument, LineCountsForScrollDistances) {
  QString text;
  for (int i = 0; i < 100; ++i) text += QStringLiteral("line %1\n").arg(i);
  ShownDocument shown(text);
  shown.view->grab();
  EXPECT_EQ(shown.document->lineCountForDelta(0, shown.view), 1);
  EXPECT_EQ(shown.document->lineCountForDelta(-1e6, shown.view), int(shown.pane()->lines.count()) > 40 ? 40 : int(shown.pane()->lines.count()));
  // Towards the start at the start: one line at least, never more than 40.
  EXPECT_EQ(shown.document->lineCountForDelta(1e6, shown.view), 1);
  shown.document->scrollDraft(shown.view, 500, 2, true);
  EXPECT_EQ(shown.document->lineCountForDelta(1e6, shown.view), 40);
}

TEST(GMDocument, FocusingAPaneIndexPastTwoUsesTheFirst) {
  ShownDocument shown(QStringLiteral("text"));
  LogCapture log;
  shown.document->focusPane(2);
  EXPECT_EQ(log.assertMessages(), QStringList{QStringLiteral("Invalid pane index")});
  EXPECT_EQ(shown.document->glimmetDoc()->currentPane, 0u);
}

TEST(GMDocument, CopyingTableCellsMakesATableOfThoseColumns) {
  ShownDocument shown(QStringLiteral("x"));
  GlimmetDoc* doc = shown.document->glimmetDoc();
  const uint8_t saved = g_glimmetConfig.tableOption;
  g_glimmetConfig.tableOption = 1;
  DocRange table;
  ASSERT_TRUE(NewTableCore(doc, shown.body, 3, 4, &table));
  g_glimmetConfig.tableOption = saved;
  KnotInfo tableInfo, row;
  ASSERT_TRUE(FetchTable(doc, table.first + 1, &tableInfo, &row, nullptr));
  DocRange cell;
  IndexAndRangeForCell(&tableInfo, &row, kGMNone, 2, &cell);
  DocRange at{doc, cell.first, cell.first};
  ASSERT_TRUE(ReplaceRangeWithString(&at, QStringLiteral("c2")));
  ASSERT_TRUE(FetchTable(doc, table.first + 1, &tableInfo, &row, nullptr));
  Pane* pane = shown.pane();
  SelectCpsCore(doc, tableInfo.first, tableInfo.limit, false, false);
  pane->selectionUnit = kUnitCells;
  pane->cellFirst = 2;
  pane->cellLimit = 4;
  ASSERT_TRUE(shown.document->copySelection());
  KnotInfo copiedTable, copiedRow;
  ASSERT_EQ(g_clipboardDoc->tableCps.count(), 1u);
  const uint32_t copiedFirst = g_clipboardDoc->tableCps.cpAt(0);
  ASSERT_TRUE(FetchTable(g_clipboardDoc, copiedFirst + 1, &copiedTable, &copiedRow, nullptr));
  EXPECT_EQ(copiedRow.kinkCount, 3u);  // two cells
  uint32_t rows = 0;
  for (uint32_t cp = copiedTable.first + 1; FetchTable(g_clipboardDoc, cp, &copiedTable, &copiedRow, nullptr) &&
                                            copiedRow.limit > cp && cp + 1 < copiedTable.limit;
       cp = copiedRow.limit)
    ++rows;
  EXPECT_EQ(rows, 3u);
  ASSERT_TRUE(FetchTable(g_clipboardDoc, copiedFirst + 1, &copiedTable, &copiedRow, nullptr));
  // The first row's first cell holds what the source's third column held.
  const uint32_t text = copiedRow.kinkCps[0] + 1;
  EXPECT_EQ(TextOfRange({g_clipboardDoc, text, text + 2}), QStringLiteral("c2"));
}

TEST(GMDocument, ShowBoundsAndMarksAndALockedCaret) {
  ShownDocument shown(QStringLiteral("text"));
  int boundsTools = 0, marksTools = 0;
  NotificationObserver bounds = NotificationCenter::defaultCenter().addObserver(
      kGMBoundsToolNotification, nullptr, [&](const Notification&) { ++boundsTools; });
  NotificationObserver marks = NotificationCenter::defaultCenter().addObserver(
      kGMMarksToolNotification, nullptr, [&](const Notification&) { ++marksTools; });
  EXPECT_FALSE(shown.document->showingBounds());
  shown.document->toggleShowBounds();
  EXPECT_TRUE(shown.document->showingBounds());
  shown.document->toggleShowMarks();
  EXPECT_TRUE(shown.document->showingMarks());
  EXPECT_EQ(boundsTools, 1);
  EXPECT_EQ(marksTools, 1);
  // A locked document's caret does not blink.
  shown.document->setSelection(shown.body + 1, 0);
  const bool shownBefore = shown.pane()->selShown;
  shown.document->blinkInsertionPoint();
  EXPECT_EQ(shown.pane()->selShown, shownBefore);
  shown.document->setLocked(false);
  shown.document->blinkInsertionPoint();
  EXPECT_NE(shown.pane()->selShown, shownBefore);
  shown.document->hideInsertionPoint();
  EXPECT_FALSE(shown.pane()->selShown);
  EXPECT_EQ(shown.pane()->caretCp, 0);
}

TEST(GMDocument, CopyingAPictureGivesItsImageAndIdentity) {
  ShownDocument shown(QStringLiteral("ab"));
  QImage bitmap(11, 7, QImage::Format_ARGB32);
  bitmap.fill(Qt::red);
  shown.document->setSelection(shown.body + 1, 0);
  ASSERT_TRUE(shown.document->addAndInsertPicture(FLImage::withCGImage(bitmap, QSizeF(11, 7))));
  ASSERT_EQ(shown.document->pictureCount(), 1u);
  EXPECT_EQ(shown.document->pictures().front().size(), QSize(11, 7));
  GlimmetDoc* doc = shown.document->glimmetDoc();
  KnotInfo picture;
  ASSERT_TRUE(FetchKnot(doc, shown.body + 1, &picture, kKnotPicture));
  // Shown at half size: each side halved and rounded up.
  KnotEntry& entry = doc->knots.at(uint32_t(picture.index));
  entry.value = (entry.value & ~(uint64_t(0xFFFF) << 32)) | (uint64_t(500) << 32);
  shown.document->setSelection(picture.first, 1);
  QMimeData data;
  ASSERT_TRUE(shown.document->copyToPasteboard(&data));
  EXPECT_FALSE(data.hasText());
  const QImage copied = QImage::fromData(data.data(QStringLiteral("image/tiff")), "TIFF");
  EXPECT_EQ(copied.size(), QSize(6, 4));
  EXPECT_EQ(QString::fromUtf8(data.data(QStringLiteral("application/x-gmb-picture-guid"))),
            doc->pictures.front().identifier);
}


// Find through the document object; the settings are process-wide and put back afterwards.
struct DocumentFind : ::testing::Test {
  int beeps = 0;
  void SetUp() override { SetHostHooks({nullptr, nullptr, [this] { ++beeps; }}); }
  void TearDown() override {
    SetHostHooks({});
    g_findSettings = GMFindSettings();
  }
};

TEST_F(DocumentFind, MatchesAreSelectedScrolledIntoViewAndFlashed) {
  QString text = QStringLiteral("a needle\n");
  for (int i = 0; i < 60; ++i) text += QStringLiteral("hay\n");
  const int second = int(text.size());
  ShownDocument shown(text + QStringLiteral("needle end"));
  const auto visible = [&](int at) {
    LocatorRec locator = LocatorFor(shown.document->glimmetDoc(), shown.pane(), int32_t(shown.body) + at);
    return IsLocationVisible(&locator, nullptr, false);
  };
  ASSERT_FALSE(visible(second));
  int flashes = 0;
  NotificationObserver observer = NotificationCenter::defaultCenter().addObserver(
      kGMFlashNotification, static_cast<GMPaneView*>(shown.view), [&](const Notification&) { ++flashes; });
  g_findSettings.type = kFindText;
  g_findSettings.string = QStringLiteral("needle");
  // From the start, on far below the window, nothing after the last, then wrapping round.
  const struct {
    bool fromStart;
    int32_t options;
    bool found;
    int first;
  } steps[] = {{true, 0, true, 2}, {false, 0, true, second}, {false, 0, false, second}, {false, kFindWrap, true, 2}};
  for (const auto& step : steps) {
    g_findSettings.options = step.options;
    const int flashesBefore = flashes;
    EXPECT_EQ(shown.document->performFind(step.fromStart, true), step.found) << step.first;
    EXPECT_EQ(shown.bodySelection(), (std::pair<int32_t, int32_t>(step.first, step.first + 6)));
    EXPECT_TRUE(visible(step.first)) << step.first;
    EXPECT_EQ(flashes - flashesBefore, step.found ? 1 : 0) << step.first;
  }
  EXPECT_FALSE(shown.document->findBrokenLink(true));  // no references at all
  EXPECT_EQ(beeps, 1);
}

TEST_F(DocumentFind, MovementKeysButNotPagingForgetTheHitsAndWipingForgetsPictures) {
  ShownDocument shown(QStringLiteral("one two three\nfour five"));
  GlimmetDoc* doc = shown.document->glimmetDoc();
  const std::pair<uint32_t, bool> keys[] = {{kSelKeyRight, true}, {kSelKeyPageDown, false}, {kSelKeyPageUp, false},
                                            {kSelKeyDown, true},  {kSelKeyHome, true},      {9, false}};
  for (const auto& [key, forgets] : keys) {
    doc->findHits.insertSorted(shown.body + 4, shown.body + 7);
    shown.document->performSelectionKey(key, kGMShiftBit, shown.view);
    EXPECT_EQ(doc->findHits.empty(), forgets) << key;
    doc->findHits.clear();
  }
  // {type, knot index, type after the wipe}
  const int32_t wipes[][3] = {{kFindPicture, 2, 0}, {kFindPicture, 3, kFindPicture}, {1, 5, 0}, {kFindText, 2, kFindText}};
  for (const auto& wipe : wipes) {
    g_findSettings.type = wipe[0];
    g_findSettings.knotIndex = uint32_t(wipe[1]);
    shown.document->wipeDocMemory();
    EXPECT_EQ(g_findSettings.type, wipe[2]) << wipe[0] << ' ' << wipe[1];
    EXPECT_EQ(g_findSettings.knotIndex, 1u);
  }
}

}  // namespace
