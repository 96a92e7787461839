// Undo archives: what each archiver writes, what each restore gives back, and the undo stack's
// delegate replaying steps by exchange, with the names the Edit menu shows.
#include "calculator/model/CAPicture.h"
#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "support/LogCapture.h"
#include "UndoTestSupport.h"

namespace {

class UndoTest : public EditTest {};

TEST_F(UndoTest, DescriptorsNameTheirSteps) {
  const std::vector<std::pair<uint32_t, const char*>> cases = {
      {kUndoUnnamed, ""},          {kUndoBorder, "Border"},        {kUndoClear, "Clear"},
      {kUndoDocumentFormat, "Document Format"}, {kUndoHeaderFooter, "Header/Footer"},
      {kUndoInsert, "Insert"},     {kUndoPaste, "Paste"},          {kUndoSort, "Sort"},
      {kUndoTyping, "Typing"},     {kUndoColumnWidth, "Column Width"},
  };
  for (const auto& [descriptor, name] : cases) EXPECT_EQ(UndoDescriptorName(descriptor), QLatin1String(name));
  LogCapture log;
  EXPECT_EQ(UndoDescriptorName(32), QString());
  EXPECT_EQ(log.assertMessages(), QStringList{"Bad undo descriptor"});
}

TEST_F(UndoTest, TheEditMenuNamesTheStepToUndoAndToRedo) {
  enter("A1", "1");
  select("A1", "A1");
  ASSERT_TRUE(document.setUndo(kFLNewUndoID, kUndoActionCells, kUndoPaste, document.selectionRange(), kDomainCell));
  QString title;
  EXPECT_TRUE(window.manager.validateState(true, &title));
  EXPECT_EQ(title, QStringLiteral("Undo Paste"));
  window.manager.undo();
  EXPECT_TRUE(window.manager.validateState(false, &title));
  EXPECT_EQ(title, QStringLiteral("Redo Paste"));
}

TEST_F(UndoTest, ACellsStepCoversTheSelectionTheActiveCellOrTheFullExtent) {
  enter("A1", "1");
  enter("D6", "2");
  select("B2", "C3");
  document.setActiveCellPoint(A1("C2"));
  ASSERT_TRUE(document.setCellUndo(kUndoTyping, kUndoRangeSelection));
  ASSERT_TRUE(document.setCellUndo(kUndoTyping, kUndoRangeActiveCell));
  ASSERT_TRUE(document.setCellUndo(kUndoTyping, kUndoRangeFullExtent));
  ASSERT_EQ(window.archiver.contexts.size(), 3u);
  EXPECT_EQ(window.archiver.contexts[0].range, (GridRange{A1("B2"), A1("C3")}));
  EXPECT_EQ(window.archiver.contexts[1].range, (GridRange{A1("C2"), A1("C2")}));
  EXPECT_EQ(window.archiver.contexts[2].range, (GridRange{A1("A1"), A1("D6")}));
  for (const CAUndoContext& context : window.archiver.contexts) EXPECT_EQ(context.domain, kDomainCell);
  EXPECT_EQ(window.archiver.actions, (std::vector<uint32_t>{0, 0, 0}));
}

TEST_F(UndoTest, ARefusedStepIsReportedToTheCaller) {
  window.archiver.refuse = true;
  EXPECT_FALSE(document.setCellUndo(kUndoTyping, kUndoRangeActiveCell));
  EXPECT_FALSE(window.manager.isUndoAvailable());
  // Without a window nothing is recorded and editing goes on.
  document.setController(nullptr);
  EXPECT_TRUE(document.setCellUndo(kUndoTyping, kUndoRangeActiveCell));
}

TEST_F(UndoTest, TheWholeDocumentArchiveNamesTheSelectionOnlyWhenThereAreRows) {
  select("B2", "C4");
  const QString empty = document.archiveWholeDocForUndo();
  EXPECT_TRUE(empty.contains(QStringLiteral("<spreadsheet ver=\"1\">"))) << empty.toStdString();
  EXPECT_FALSE(empty.contains(QStringLiteral("<sel>")));
  EXPECT_FALSE(empty.contains(QStringLiteral("<active>")));
  EXPECT_FALSE(empty.contains(QStringLiteral("<rows")));
  enter("A1", "5");
  const QString full = document.archiveWholeDocForUndo();
  EXPECT_TRUE(full.contains(QStringLiteral("<sel>1,1:2,3</sel>"))) << full.toStdString();
  EXPECT_TRUE(full.contains(QStringLiteral("<active>1,1</active>"))) << full.toStdString();
  EXPECT_FALSE(document.settingUndo());

  // Restoring the empty archive empties the sheet and leaves the selection alone.
  select("D4", "D4");
  document.restoreWholeDocFromUndo(empty);
  EXPECT_TRUE(document.rows().empty());
  EXPECT_EQ(document.selectionRange(), (GridRange{A1("D4"), A1("D4")}));
  document.restoreWholeDocFromUndo(full);
  EXPECT_EQ(value("A1"), QStringLiteral("5"));
  EXPECT_EQ(document.selectionRange(), (GridRange{A1("B2"), A1("C4")}));
}

TEST_F(UndoTest, RestoringTheWholeDocumentLeavesTheReferenceTableRight) {
  enter("A1", "2");
  enter("B1", "=A1*10");
  document.evaluate();
  const QString archive = document.archiveWholeDocForUndo();
  enter("B1", "=A1+1");
  enter("C1", "=A1");
  document.evaluate();
  document.restoreWholeDocFromUndo(archive);
  EXPECT_EQ(value("B1"), QStringLiteral("20"));
  EXPECT_EQ(cell("C1"), nullptr);
  enter("A1", "3");
  document.evaluate();
  EXPECT_EQ(value("B1"), QStringLiteral("30"));
  std::vector<GridPoint> referrers;
  document.referenceTable().referrersOf(A1("A1"), referrers);
  EXPECT_EQ(referrers, std::vector<GridPoint>{A1("B1")});
}

TEST_F(UndoTest, CellArchivesHoldTheCellsWithAValueOrAFormat) {
  enter("A1", "1");
  enter("B1", "text");
  CACell& formatted = *document.cellAtGridPointImperative(A1("A2"));
  CAFormat bold;
  bold.setBold(true);
  formatted.setFormat(bold);
  document.cellAtGridPointImperative(A1("B2"));  // empty, unformatted
  std::vector<QString> archive;
  ASSERT_TRUE(document.archiveCellsForUndo(archive, GridRange{A1("A1"), A1("B2")}));
  ASSERT_EQ(archive.size(), 3u);
  EXPECT_TRUE(archive[0].contains(QStringLiteral("<cell x=\"0\" y=\"0\" type=\"#\">")));
  EXPECT_TRUE(archive[2].contains(QStringLiteral("<bold>1</bold>")));

  archive.clear();
  ASSERT_TRUE(document.archiveCellsForUndo(archive, GridRange{A1("B2"), A1("B2")}));
  EXPECT_TRUE(archive.empty());
  // Restoring nothing still clears the range.
  enter("B2", "later");
  document.restoreCellsFromUndo(archive, GridRange{A1("B2"), A1("B2")});
  EXPECT_EQ(cell("B2"), nullptr);
  EXPECT_EQ(value("A1"), QStringLiteral("1"));
}

TEST_F(UndoTest, APictureCellIsArchivedUnderItsOwnGuid) {
  QImage bitmap(2, 2, QImage::Format_ARGB32);
  bitmap.fill(Qt::blue);
  std::shared_ptr<FLImage> image = FLImage::withCGImage(bitmap, QSizeF(2, 2));
  std::shared_ptr<CAPicture> picture = CAPicture::withImage(image, &document);
  ASSERT_NE(picture, nullptr);
  picture->setSaveGuid(QStringLiteral("SAVED"));
  document.cellAtGridPointImperative(A1("A1"))->setPicture(picture);
  std::vector<QString> archive;
  ASSERT_TRUE(document.archiveCellsForUndo(archive, GridRange{A1("A1"), A1("A1")}));
  ASSERT_EQ(archive.size(), 1u);
  EXPECT_TRUE(archive[0].contains(QStringLiteral("<pic>") + picture->guid() + QStringLiteral("</pic>")))
      << archive[0].toStdString();
  document.restoreCellsFromUndo(archive, GridRange{A1("A1"), A1("A1")});
  ASSERT_NE(cell("A1"), nullptr);
  EXPECT_EQ(cell("A1")->picture(), picture);
}

TEST_F(UndoTest, FormatArchivesHoldTheStoredFormatsOfTheirDomain) {
  CAFormat bold;
  bold.setBold(true);
  document.rowImperative(2)->setFormat(bold);
  document.rowImperative(3);
  document.rowImperative(4)->setFormat(bold);
  document.rowImperative(6)->setFormat(bold);
  std::vector<QString> rows;
  document.addArchivedFormatsForUndo(rows, GridRange{{kGridWildcard, 1}, {kGridWildcard, 4}}, kDomainRow);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_TRUE(rows[0].contains(QStringLiteral("<format x=\"-1\" y=\"2\">"))) << rows[0].toStdString();
  EXPECT_TRUE(rows[1].contains(QStringLiteral("<format x=\"-1\" y=\"4\">")));

  document.columnImperative(5)->setFormat(bold);
  std::vector<QString> columns;
  document.addArchivedFormatsForUndo(columns, GridRange{{0, kGridWildcard}, {9, kGridWildcard}}, kDomainColumn);
  ASSERT_EQ(columns.size(), 1u);
  EXPECT_TRUE(columns[0].contains(QStringLiteral("<format x=\"5\" y=\"-1\">")));

  document.cellAtGridPointImperative(A1("C8"))->setFormat(bold);
  enter("D8", "no format");
  std::vector<QString> cells;
  document.addArchivedFormatsForUndo(cells, GridRange{{0, kGridWildcard}, {9, kGridWildcard}}, kDomainCell);
  ASSERT_EQ(cells.size(), 1u);
  EXPECT_TRUE(cells[0].contains(QStringLiteral("<format x=\"2\" y=\"7\">")));

  std::vector<QString> whole;
  document.addArchivedFormatsForUndo(whole, GridRange{}, kDomainDocument);
  ASSERT_EQ(whole.size(), 1u);
  EXPECT_TRUE(whole[0].contains(QStringLiteral("<format x=\"0\" y=\"0\">")));
}

TEST_F(UndoTest, UndoingADefaultFormatChangeRestoresTheDefaultAndNoCell) {
  enter("B2", "1");
  select("A1", "A1");
  ASSERT_TRUE(document.setUndo(kFLNewUndoID, kUndoActionFormats, kUndoFont, document.selectionRange(),
                               kDomainDocument));
  CAFormat changed = document.defaultFormat();
  changed.setBold(true);
  changed.setAlignment(kAlignmentCenter);
  document.setDefaultFormat(changed);
  window.manager.undo();
  EXPECT_FALSE(document.defaultFormat().bold());
  EXPECT_EQ(document.defaultFormat().alignment(), kAlignmentAuto);
  EXPECT_TRUE(document.defaultFormat().isDefaultFormat());
  EXPECT_EQ(cell("A1"), nullptr);
  window.manager.redo();
  EXPECT_TRUE(document.defaultFormat().bold());
  EXPECT_EQ(document.defaultFormat().alignment(), kAlignmentCenter);
  EXPECT_EQ(cell("A1"), nullptr);
}

TEST_F(UndoTest, FormatStepsOfRowsColumnsAndCellsComeBack) {
  CAFormat bold;
  bold.setBold(true);
  CAFormat italic;
  italic.setItalic(true);
  enter("B2", "x");
  document.cellAtGridPointImperative(A1("B2"))->setFormat(bold);
  document.rowImperative(3)->setFormat(bold);
  document.columnImperative(1)->setFormat(bold);

  selectRows(2, 4);
  expectUndoAndRedo([&] {
    ASSERT_TRUE(document.setUndo(kFLNewUndoID, kUndoActionFormats, kUndoFont, document.selectionRange(), kDomainRow));
    document.applyFormat(italic, kKeepColumnWidths, 0);
  });
  selectColumns(0, 2);
  expectUndoAndRedo([&] {
    ASSERT_TRUE(
        document.setUndo(kFLNewUndoID, kUndoActionFormats, kUndoFont, document.selectionRange(), kDomainColumn));
    document.applyFormat(italic, kKeepColumnWidths, 0);
  });
  select("A1", "C3");
  expectUndoAndRedo([&] {
    ASSERT_TRUE(document.setUndo(kFLNewUndoID, kUndoActionFormats, kUndoFont, document.selectionRange(), kDomainCell));
    document.clearFormatFromSelection();
  });
}

TEST_F(UndoTest, LayoutArchivesCarryTheOptionsAndWhatWasAskedFor) {
  document.columnImperative(2)->setDigitCount(5);
  QString layout = document.archiveForUndoWithColumns(false, true);
  EXPECT_FALSE(layout.contains(QStringLiteral("<row_height")));
  EXPECT_FALSE(layout.contains(QStringLiteral("<cols")));
  EXPECT_FALSE(layout.contains(QStringLiteral("<frame")));
  EXPECT_TRUE(layout.contains(QStringLiteral("<spreadsheet>"))) << layout.toStdString();
  layout = document.archiveForUndoWithColumns(true, false);
  EXPECT_TRUE(layout.contains(QStringLiteral("<cols>")));
  document.rowImperative(1)->setMinimumHeight(254000);
  layout = document.archiveForUndoWithColumns(false, true);
  EXPECT_TRUE(layout.contains(QStringLiteral("<row_height>"))) << layout.toStdString();
}

TEST_F(UndoTest, LayoutStepsTurnOffWhatTheArchiveDoesNotName) {
  enter("A1", "1");
  expectUndoAndRedo([&] {
    ASSERT_TRUE(document.setUndo(kFLNewUndoID, kUndoActionLayoutColumns, kUndoDocumentFormat, GridRange{}, 0));
    document.setShowFormulas(true);
    document.setTitleRow(true);
    document.setHeader(QStringLiteral("head"));
    document.setTopMargin(12700);
    document.setStripeInterval(2);
    document.setStripeKolor(0xFF0000FF);
    document.setDefaultDigitCount(20);
    document.columnImperative(3)->setDigitCount(4);
  });
  EXPECT_TRUE(document.showFormulas());
  EXPECT_EQ(document.defaultDigitCount(), 20);
  window.manager.undo();
  EXPECT_FALSE(document.showFormulas());
  EXPECT_TRUE(document.header().isEmpty());
  EXPECT_EQ(document.stripeInterval(), 0u);
  EXPECT_EQ(document.column(3), nullptr);
}

TEST_F(UndoTest, RowAndColumnStepsRestoreHeightsAndWidths) {
  enter("A1", "1");
  document.rowImperative(0)->setMinimumHeight(254000);
  document.columnImperative(0)->setDigitCount(8);
  expectUndoAndRedo([&] {
    ASSERT_TRUE(document.setUndo(kFLNewUndoID, kUndoActionRows, kUndoRowHeight, GridRange{}, 0));
    document.rowImperative(0)->setMinimumHeight(508000);
    document.row(0)->setNeedCalculate(true);
    document.rowImperative(4)->setMinimumHeight(127000);
    document.row(4)->setNeedCalculate(true);
  });
  expectUndoAndRedo([&] {
    ASSERT_TRUE(document.setUndo(kFLNewUndoID, kUndoActionColumns, kUndoColumnWidth, GridRange{}, 0));
    document.column(0)->setDigitCount(3);
    document.columnImperative(2)->setDigitCount(30);
  });
}

TEST_F(UndoTest, AnUnknownActionOrAMissingContextIsRefused) {
  LogCapture log;
  EXPECT_FALSE(window.manager.setUndoAction(kUndoActionCount, kUndoTyping, nullptr));
  EXPECT_FALSE(window.manager.setUndoAction(kUndoActionCells, kUndoTyping, nullptr));
  EXPECT_EQ(log.assertMessages(), (QStringList{"Unknown undo action", "No undo context"}));
  EXPECT_FALSE(window.manager.isUndoAvailable());
}

TEST_F(UndoTest, DroppedStepsReleaseTheirArchivesAndPoppingRestoresTheDirtyFlag) {
  enter("A1", "1");
  EXPECT_FALSE(document.dirty());
  ASSERT_TRUE(document.setCellUndo(kUndoTyping, kUndoRangeActiveCell));
  EXPECT_TRUE(document.dirty());
  window.manager.popUndo();
  EXPECT_FALSE(document.dirty());
  for (int i = 0; i < 30; ++i) ASSERT_TRUE(document.setCellUndo(kUndoTyping, kUndoRangeActiveCell));
  EXPECT_EQ(window.archiver.archiveCount(), size_t(CAUndoArchiver::kCapacity));
  window.manager.clearUndo();
  EXPECT_EQ(window.archiver.archiveCount(), 0u);
}

TEST_F(UndoTest, UndoAndRedoExchangeTheDirtyFlag) {
  enter("A1", "1");
  ASSERT_TRUE(document.setCellUndo(kUndoTyping, kUndoRangeActiveCell));
  enter("A1", "2");
  EXPECT_TRUE(document.dirty());
  window.manager.undo();
  EXPECT_FALSE(document.dirty());
  EXPECT_EQ(value("A1"), QStringLiteral("1"));
  window.manager.redo();
  EXPECT_TRUE(document.dirty());
  EXPECT_EQ(value("A1"), QStringLiteral("2"));
}

}  // namespace
