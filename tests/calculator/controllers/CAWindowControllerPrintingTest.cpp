// The sheet on paper: how pages break with bands, labels and titles, what a page shows, the
// print panel's options, the save panel's values-only box, the page set-up panel, page breaks in
// the grid and the formula popup beside a typed formula.
#include "calculator/controllers/CAWindowController.h"

#include "calculator/controllers/CAFormulaPopupVC.h"
#include "calculator/controllers/CAPrintOptionVC.h"
#include "calculator/controllers/CASaveFormatVC.h"
#include "calculator/controllers/caPageSetupPanel.h"
#include "calculator/controllers/caSheetPages.h"
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CARow.h"
#include "calculator/views/CACellView.h"
#include "calculator/views/CAGridGeometry.h"
#include "calculator/views/CASpreadsheetView.h"
#include "calculator/views/caSheetLabels.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/shell/FLAlert.h"
#include "framlet/shell/FLCompletionFieldEditor.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMainWindow>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cmath>

namespace {

void Deliver() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Any pixel darker than mid-grey in the rectangle.
bool HasInk(const QImage& image, const QRect& rect) {
  for (int y = std::max(rect.top(), 0); y <= std::min(rect.bottom(), image.height() - 1); ++y)
    for (int x = std::max(rect.left(), 0); x <= std::min(rect.right(), image.width() - 1); ++x)
      if (qGray(image.pixel(x, y)) < 128) return true;
  return false;
}

class PrintingTest : public testing::Test {
 protected:
  PrintingTest() {
    FLKernel::sharedInstance();
    controller.prepareToShow();
    for (auto set : {&CADocument::setLeftMargin, &CADocument::setRightMargin, &CADocument::setTopMargin,
                      &CADocument::setBottomMargin})
      (document().*set)(0);
    document().setHeaderOffset(0);
    document().setPrintLabels(false);
    // Twelve columns and forty rows in use.
    document().cellAtGridPointImperative({11, 39})->setFormula(QStringLiteral("x"));
  }

  CADocument& document() { return *controller.document(); }
  double width() { return CAGridGeometry(&document()).columnWidth(0); }
  double height() { return CAGridGeometry(&document()).rowHeight(0); }

  CAWindowController controller;
};

TEST_F(PrintingTest, PagesBreakAcrossThenDownLessBandsAndTitles) {
  struct Case {
    double across, down;  // the paper in column widths and row heights
    bool titleColumn, titleRow, header;
    size_t pagesAcross, pagesDown;
    GridPoint fourthPage;  // where page 4 starts
  } const cases[] = {
      {4.5, 20.5, false, false, false, 3, 2, {0, 20}},
      // The title column takes a column of every page; the walk starts after it.
      {4.5, 20.5, true, false, false, 4, 2, {10, 0}},
      {4.5, 20.5, false, true, false, 3, 3, {0, 20}},
      // The header band costs a row.
      {4.5, 20.5, false, false, true, 3, 3, {0, 19}},
  };
  for (const Case& c : cases) {
    document().setTitleColumn(c.titleColumn);
    document().setTitleRow(c.titleRow);
    document().setHeader(c.header ? QStringLiteral("l=p") : QString());
    const CASheetPages pages(document(), CAPageMode::Paginate, QSizeF(c.across * width(), c.down * height()));
    SCOPED_TRACE(testing::Message() << c.titleColumn << c.titleRow << c.header);
    EXPECT_EQ(pages.breaks().columns.size(), c.pagesAcross);
    EXPECT_EQ(pages.breaks().rows.size(), c.pagesDown);
    EXPECT_EQ(pages.pageCount(), int64_t(c.pagesAcross * c.pagesDown));
    EXPECT_EQ(pages.pageOrigin(3), c.fourthPage);
    EXPECT_EQ(pages.drawOffset().x(), c.titleColumn ? width() : 0);
    EXPECT_EQ(pages.headerBand(), c.header ? document().lineHeight() : 0);
  }
}

TEST_F(PrintingTest, TheLastPageEndsAtTheSheetUnlessPagesAreFilled) {
  const CASheetPages pages(document(), CAPageMode::Paginate, QSizeF(4.5 * width(), 30.5 * height()));
  const int64_t last = pages.pageCount() - 1;
  EXPECT_EQ(pages.pageBottom(last), (GridPoint{11, 59}));
  EXPECT_EQ(pages.maxGridPointForPage(last), (GridPoint{11, 39}));
  document().setFillPages(true);
  EXPECT_EQ(pages.maxGridPointForPage(last), (GridPoint{11, 59}));
}

// A cell ten billion rows down: the window shows the breaks of the first pages at once, the
// walk stepping over the rows of the common height (the taller rows 5 and 30 still count), the
// preview is the first page as without the far cell, and printing, scaled to fit or not, is
// refused with its reason.
TEST_F(PrintingTest, ACellFarDownBoundsThePagesAndPrintingSaysWhy) {
  document().setCellPadding({0, 0});
  const double row = height();
  for (const int64_t y : {5, 30})
    document().rowImperative(y)->setMinimumHeight(int64_t(std::lround(3 * row * kEmuPerPoint)));
  QSizeF nearPreview;
  SheetPdf(document(), true, &nearPreview);

  document().cellAtGridPointImperative({0, 10'000'000'000})->setFormula(QStringLiteral("far"));
  controller.performAction(QStringLiteral("togglePageBreaks:"), 0);
  EXPECT_TRUE(document().showPageBreaks());
  const CASheetPages pages(document(), CAPageMode::Paginate, QSizeF(4.5 * width(), 20.5 * row));
  EXPECT_TRUE(pages.tooManyPages());
  EXPECT_LE(pages.pageCount(), kMaxSheetPages);
  const std::vector<int64_t>& rows = pages.breaks().rows;
  ASSERT_GE(rows.size(), 4u);
  EXPECT_EQ(std::vector<int64_t>(rows.begin(), rows.begin() + 4), (std::vector<int64_t>{17, 35, 55, 75}));
  QSizeF farPreview;
  EXPECT_TRUE(SheetPdf(document(), true, &farPreview).startsWith("%PDF-"));
  EXPECT_EQ(farPreview, nearPreview);

  QTemporaryDir folder;
  QStringList alerts;
  FLAlert::ModalRunner previous = FLAlert::sharedInstance().setModalRunner([&](const FLAlertRequest& request, bool*) {
    alerts << request.message;
    return 0;
  });
  for (const bool fit : {false, true}) {
    document().setScaleToFit(fit);
    alerts.clear();
    EXPECT_EQ(controller.printWithInfo({{QStringLiteral("outputFile"), folder.filePath(QStringLiteral("far.pdf"))}},
                                       false),
              FLPrintReply::Failure);
    EXPECT_EQ(alerts, QStringList{QLatin1String(kTooManyPagesMessage)}) << fit;
  }
  FLAlert::sharedInstance().setModalRunner(std::move(previous));
}

// A PDF of the whole sheet is one page, but every row of it is drawn: a cell far down is
// refused as printing refuses it, decided from the sheet's size before anything is drawn, and
// no file is left behind.
TEST_F(PrintingTest, AWholeSheetPdfOfACellFarDownIsRefusedAsPrintingIs) {
  InstallFileFormatServices();  // the PDF writer
  QTemporaryDir folder;
  QStringList reasons;
  FLAlert::ModalRunner previous = FLAlert::sharedInstance().setModalRunner([&](const FLAlertRequest& request, bool*) {
    reasons << request.moreInfo;
    return 0;
  });
  for (const int64_t row : {int64_t(1) << 31, int64_t(10'000'000'000)}) {
    SCOPED_TRACE(row);
    document().cellAtGridPointImperative({0, row})->setFormula(QStringLiteral("far"));
    // Without this decision the save below would draw for hours.
    ASSERT_TRUE(CASheetPages(document(), CAPageMode::WholePdf).tooManyPages());
    reasons.clear();
    EXPECT_FALSE(document().saveTo(folder.filePath(QStringLiteral("far.pdf")), false, false));
    ASSERT_EQ(reasons.size(), 1);
    EXPECT_TRUE(reasons[0].contains(QLatin1String(kTooManyPagesMessage))) << reasons[0].toStdString();
    EXPECT_TRUE(QDir(folder.path()).isEmpty());
  }
  FLAlert::sharedInstance().setModalRunner(std::move(previous));
}

TEST_F(PrintingTest, ScaleToFitAndTheWholePdfAreOnePage) {
  const QSizeF sheet = CAGridGeometry(&document()).absoluteRectForRange({{0, 0}, {11, 39}}).size();
  const CASheetPages fit(document(), CAPageMode::ScaleToFit, QSizeF(sheet.width() / 2, sheet.height() * 2));
  EXPECT_EQ(fit.pageCount(), 1);
  EXPECT_NEAR(fit.pageScale(), 0.5, 0.01);
  EXPECT_EQ(fit.pageSize().width(), std::ceil(std::ceil(sheet.width() / 2) / fit.pageScale()));

  document().setHeader(QStringLiteral("c=f"));
  document().setFooter(QStringLiteral("r=pofp"));
  document().setPrintLabels(true);
  const QSizeF labels = LabelExtent(document());
  const double bands = 2 * document().lineHeight();
  QSizeF size;
  const QByteArray pdf = SheetPdf(document(), false, &size);
  EXPECT_TRUE(pdf.startsWith("%PDF-"));
  EXPECT_EQ(size, QSizeF(std::ceil(std::ceil(sheet.width() + 2) + labels.width()),
                         std::ceil(std::ceil(sheet.height() + 2) + labels.height() + bands)));
}

TEST_F(PrintingTest, APageShowsItsHeaderFooterAndLabels) {
  document().setPrintGrid(false);
  const auto* sheet = controller.spreadsheetView();
  ASSERT_NE(sheet, nullptr);
  struct Case {
    bool header, footer, labels;
  } const cases[] = {{false, false, false}, {true, false, false}, {false, true, true}, {true, true, true}};
  for (const Case& c : cases) {
    document().setHeader(c.header ? QStringLiteral("l=p") : QString());
    document().setFooter(c.footer ? QStringLiteral("l=pofp") : QString());
    document().setPrintLabels(c.labels);
    const CASheetPages pages(document(), CAPageMode::Paginate, QSizeF(400, 300));
    QImage image(pages.paperSize().toSize(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    pages.drawPage(painter, 0, sheet);
    painter.end();
    const int band = int(document().lineHeight());
    const int labelWidth = int(LabelExtent(document()).width());
    SCOPED_TRACE(testing::Message() << c.header << c.footer << c.labels);
    EXPECT_EQ(HasInk(image, QRect(0, 0, 40, band)), c.header);
    EXPECT_EQ(HasInk(image, QRect(0, image.height() - band, 80, band)), c.footer);
    EXPECT_EQ(HasInk(image, QRect(0, 2 * band + 2, labelWidth - 2, 100)), c.labels);
  }
}

// A printer's paper shows the labels at the size the screen and the PDF give them, whatever the
// printer's resolution. The page is rendered by Ghostscript; the test is skipped without it.
TEST_F(PrintingTest, PrintedLabelsKeepTheirSizeOnAHighResolutionPrinter) {
  const QString ghostscript = QStandardPaths::findExecutable(QStringLiteral("gs"));
  if (ghostscript.isEmpty()) GTEST_SKIP() << "Ghostscript is not installed";
  document().setPrintGrid(false);
  document().setPrintLabels(true);
  QTemporaryDir folder;
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(folder.filePath(QStringLiteral("sheet.pdf")));
  ASSERT_TRUE(PrintSheet(document(), printer, controller.spreadsheetView()));
  QProcess render;
  render.start(ghostscript, {QStringLiteral("-q"), QStringLiteral("-dNOPAUSE"), QStringLiteral("-dBATCH"),
                             QStringLiteral("-dSAFER"), QStringLiteral("-sDEVICE=pnggray"), QStringLiteral("-r72"),
                             QStringLiteral("-dFirstPage=1"), QStringLiteral("-dLastPage=1"),
                             QStringLiteral("-sOutputFile=") + folder.filePath(QStringLiteral("page.png")),
                             folder.filePath(QStringLiteral("sheet.pdf"))});
  ASSERT_TRUE(render.waitForFinished(60000));
  const QImage page(folder.filePath(QStringLiteral("page.png")));
  ASSERT_FALSE(page.isNull());
  // The band of column labels holds letters of the text's size, not giant ones that fill it.
  const QRect band =
      QRect(int(LabelExtent(document()).width()) + 2, 0, int(6 * width()), int(document().lineHeight())) & page.rect();
  int ink = 0;
  for (int y = band.top(); y <= band.bottom(); ++y)
    for (int x = band.left(); x <= band.right(); ++x) ink += qGray(page.pixel(x, y)) < 128 ? 1 : 0;
  EXPECT_GT(ink, 0);
  EXPECT_LT(ink, band.width() * band.height() / 10) << ink << " of " << band.width() * band.height();
}

TEST_F(PrintingTest, ForcingOnePageClearsAndDisablesFillPages) {
  CAPrintOptionVC options;
  document().setFillPages(true);
  options.setDocument(&document());
  EXPECT_TRUE(options.fillButton()->isChecked());
  struct Step {
    bool scale;
    bool fillChecked, fillEnabled;
    const char* summary;
  } const steps[] = {{true, false, false, "Yes No"}, {false, false, true, "No No"}};
  for (const Step& step : steps) {
    options.scaleButton()->click();
    EXPECT_EQ(options.scaleToFit(), step.scale);
    EXPECT_EQ(document().scaleToFit(), step.scale);
    EXPECT_EQ(options.fillButton()->isChecked(), step.fillChecked);
    EXPECT_EQ(options.fillButton()->isEnabled(), step.fillEnabled);
    EXPECT_EQ(document().fillPages(), step.fillChecked);
    const auto items = options.localizedSummaryItems();
    EXPECT_EQ(items[0].first, "Force to one page");
    EXPECT_EQ(items[0].second + QLatin1Char(' ') + items[1].second, step.summary);
  }
}

TEST_F(PrintingTest, ThePrintPanelOffersTheSheetOptions) {
  controller.mainWindow()->show();
  controller.performAction(QStringLiteral("printDocument:"), 0);
  Deliver();
  auto* options = controller.mainWindow()->findChild<CAPrintOptionVC*>();
  ASSERT_NE(options, nullptr);
  EXPECT_EQ(options->document(), &document());
  qobject_cast<QDialog*>(options->window())->reject();
  Deliver();
}

TEST(SaveFormatTest, ValuesOnlyIsAChoiceForRichTextAlone) {
  CASaveFormatVC accessory;
  accessory.setPreferences(nullptr);
  accessory.setSaveTypes({"Numlet", "csv", "pdf", "rtf", "rtfd"});
  struct Case {
    const char* extension;
    bool enabled, checked;
  } const cases[] = {
      {"csv", false, true}, {"Numlet", false, false}, {"rtf", true, false}, {"pdf", false, true}, {"rtfd", true, false}};
  for (const Case& c : cases) {
    ASSERT_TRUE(accessory.setExtension(QLatin1String(c.extension)));
    EXPECT_EQ(accessory.saveValuesButton()->isEnabled(), c.enabled) << c.extension;
    EXPECT_EQ(accessory.saveValuesButton()->isChecked(), c.checked) << c.extension;
  }
}

TEST_F(PrintingTest, PageSetupKeepsThePaperOrGivesItsStepBack) {
  controller.mainWindow()->show();
  for (const bool accept : {false, true}) {
    const bool undoBefore = controller.undoManager()->isUndoAvailable();
    controller.performAction(QStringLiteral("runPageLayout:"), 0);
    auto* panel = qobject_cast<CAPageSetupPanel*>(controller.pageLayoutPanel());
    ASSERT_NE(panel, nullptr);
    panel->landscapeButton()->click();
    accept ? panel->accept() : panel->reject();
    Deliver();
    EXPECT_EQ(controller.undoManager()->isUndoAvailable(), accept || undoBefore);
    const std::optional<QPageLayout> layout = PageLayoutFromPrintInfo(document().printInfo());
    EXPECT_EQ(layout.has_value(), accept);
  }
  const QSizeF paper = DocumentPaperSize(document());
  EXPECT_GT(paper.width(), paper.height());
  // Settings this program did not write are no paper.
  for (const char* foreign : {"", "bplist00", "{\"paper\":[0,5]}", "{\"paper\":[1e9,5]}"})
    EXPECT_FALSE(PageLayoutFromPrintInfo(foreign)) << foreign;
}

// Looking at Page Setup leaves a clean document clean; only another paper or orientation, once
// confirmed, is a change, with its undo step.
TEST_F(PrintingTest, PageSetupMarksTheDocumentChangedOnlyForAnotherSetting) {
  enum class Change { None, Landscape, Legal };
  const struct {
    const char* label;
    Change change;
    bool accept;
    bool changed;
  } cases[] = {
      {"OK, nothing changed", Change::None, true, false}, {"landscape, cancelled", Change::Landscape, false, false},
      {"landscape", Change::Landscape, true, true},       {"legal paper", Change::Legal, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    CAWindowController window;
    window.prepareToShow();
    window.mainWindow()->show();
    CADocument& shown = *window.document();
    shown.setDirty(false);
    const QByteArray printInfo = shown.printInfo();
    window.performAction(QStringLiteral("runPageLayout:"), 0);
    auto* panel = qobject_cast<CAPageSetupPanel*>(window.pageLayoutPanel());
    ASSERT_NE(panel, nullptr);
    if (c.change == Change::Landscape) panel->landscapeButton()->click();
    if (c.change == Change::Legal) {
      auto* paper = panel->findChild<QComboBox*>();
      ASSERT_NE(paper, nullptr);
      paper->setCurrentIndex(paper->findText(QPageSize(QPageSize::Legal).name()));
    }
    EXPECT_FALSE(shown.dirty());
    QTest::keyClick(panel, c.accept ? Qt::Key_Return : Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&window] { return !window.pageLayoutPanel(); }, 10000));
    EXPECT_EQ(shown.dirty(), c.changed);
    EXPECT_EQ(window.undoManager()->isUndoAvailable(), c.changed);
    EXPECT_EQ(shown.printInfo() != printInfo, c.changed);
  }
}

// A document that never went through Page Setup prints on the paper that Page Setup shows it,
// whatever paper the printer would take by itself.
TEST_F(PrintingTest, PrintingWithoutPageSetupUsesThePaperPageSetupShows) {
  ASSERT_FALSE(PageLayoutFromPrintInfo(document().printInfo()));
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("sheet.pdf"));
  ASSERT_EQ(controller.printWithInfo({{QStringLiteral("outputFile"), path}}, false), FLPrintReply::Success);
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QRegularExpression mediaBox(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]"));
  const QRegularExpressionMatch box = mediaBox.match(QString::fromLatin1(file.readAll()));
  ASSERT_TRUE(box.hasMatch());
  const QSizeF printed(box.captured(1).toDouble(), box.captured(2).toDouble());

  controller.mainWindow()->show();
  controller.performAction(QStringLiteral("runPageLayout:"), 0);
  auto* panel = qobject_cast<CAPageSetupPanel*>(controller.pageLayoutPanel());
  ASSERT_NE(panel, nullptr);
  const QSizeF shown = panel->pageLayout().fullRect(QPageLayout::Point).size();
  panel->reject();
  Deliver();
  EXPECT_EQ(shown, QSizeF(612, 792));
  EXPECT_NEAR(printed.width(), shown.width(), 0.5);
  EXPECT_NEAR(printed.height(), shown.height(), 0.5);
}

TEST_F(PrintingTest, PageBreaksShowInBlueInTheGrid) {
  controller.mainWindow()->resize(1200, 1200);
  controller.mainWindow()->show();
  const auto blue = [this] {
    const QImage image = controller.cellView()->grab().toImage();
    for (int y = 0; y < image.height(); y += 2)
      for (int x = 0; x < image.width(); ++x)
        if (image.pixelColor(x, y) == QColor(0, 0, 255)) return true;
    return false;
  };
  EXPECT_FALSE(blue());
  controller.performAction(QStringLiteral("togglePageBreaks:"), 0);
  EXPECT_TRUE(blue());
}

TEST_F(PrintingTest, TheFormulaPopupInsertsAFunctionAndTypingGoesOn) {
  controller.mainWindow()->resize(800, 600);
  controller.mainWindow()->show();
  QApplication::setActiveWindow(controller.mainWindow());
  ASSERT_TRUE(QTest::qWaitForWindowActive(controller.mainWindow()));
  CACellView* grid = controller.cellView();
  QTest::mouseClick(grid, Qt::LeftButton, {}, grid->rectForGridPoint({1, 1}).center().toPoint());
  for (const QChar c : QStringLiteral("=1+")) QTest::keyClicks(QApplication::focusWidget(), QString(c));
  FLCompletionFieldEditor* editor = grid->fieldEditor();
  ASSERT_NE(editor, nullptr);
  QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(4, 4), editor->viewport()->mapToGlobal(QPoint(4, 4)));
  QApplication::sendEvent(editor->viewport(), &click);
  Deliver();
  ASSERT_TRUE(document().formulaPopupActive());
  auto* outline = qobject_cast<QTreeWidget*>(QApplication::activePopupWidget()->findChild<QTreeWidget*>());
  ASSERT_NE(outline, nullptr);
  const QList<QTreeWidgetItem*> found = outline->findItems(QStringLiteral("DATE"), Qt::MatchExactly | Qt::MatchRecursive);
  ASSERT_FALSE(found.isEmpty());
  outline->setCurrentItem(found.front());
  QTest::keyClick(outline, Qt::Key_Return);
  Deliver();
  EXPECT_FALSE(document().formulaPopupActive());
  editor = grid->fieldEditor();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->toPlainText(), "=1+DATE(#year#,#month#,#day#)");
  EXPECT_TRUE(editor->textCursor().selectedText().startsWith(QStringLiteral("#year#")));
  EXPECT_TRUE(editor->hasFocus());
}

}  // namespace
