// What the spreadsheet window reaches through its menus and what the preferences change in it at
// once: the format panel and zoom items, printing's autosave, the shrinking after a delete, the
// colour panel, the locked document and the preferences the window's views hold.
#include "calculator/controllers/CAWindowController.h"

#include "calculator/controllers/CAAppController.h"
#include "calculator/controllers/CAColorWell.h"
#include "calculator/controllers/CAPrefController.h"
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CAFormat.h"
#include "calculator/views/CACellView.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/shell/FLSidePanelAnimation.h"
#include "calculator/views/caViewNotifications.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "ShownWindowTestSupport.h"
#include "FontPanelTestSupport.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QFontDialog>
#include <QListView>
#include <QDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class WindowSettingsTest : public ShownWindowTest {
 protected:
  WindowSettingsTest() : ShownWindowTest(900) {}
  ~WindowSettingsTest() override { CAColorWell::closePanel(); }

  QAction* item(const char* name) const {
    QAction* action = controller.mainWindow()->menuBar()->findChild<QAction*>(QLatin1String(name));
    EXPECT_NE(action, nullptr) << name;
    return action;
  }
  void put(int64_t x, int64_t y, const QString& text) {
    document().setCellAtPoint(GridPoint{x, y}, QVariant(text), kValueText);
  }
  QString text(int64_t x, int64_t y) const {
    const CACell* cell = document().cellAtGridPoint(GridPoint{x, y});
    return cell ? cell->displayText(false) : QString();
  }
  // Keys go where the keyboard is: the grid, then the field that typing puts over the cell.
  QWidget* keyboard() const {
    if (!controller.cellView()->isTyping()) {
      // A panel that was open may have kept the keyboard.
      QApplication::setActiveWindow(controller.mainWindow());
      controller.focusCellView();
      return controller.cellView();
    }
    return QApplication::focusWidget();
  }
  void type(const char* keys) {
    for (const char* c = keys; *c; ++c) QTest::keyClicks(keyboard(), QString(QLatin1Char(*c)));
  }
  void pressReturn() { QTest::keyClick(keyboard(), Qt::Key_Return); }
  bool printPanelShown() const {
    const QList<QDialog*> dialogs = controller.mainWindow()->findChildren<QDialog*>();
    return std::any_of(dialogs.begin(), dialogs.end(), [](const QDialog* dialog) { return dialog->isVisible(); });
  }
  void closePrintPanels() const {
    for (QDialog* dialog : controller.mainWindow()->findChildren<QDialog*>()) {
      if (dialog->isVisible()) dialog->reject();
    }
    QTest::qWait(10);
  }
  // The visible top-level windows titled so.
  static int visibleWindowsTitled(const QString& title) {
    int count = 0;
    for (QWidget* top : QApplication::topLevelWidgets()) count += top->isVisible() && top->windowTitle() == title;
    return count;
  }
};

TEST_F(WindowSettingsTest, OnlyUsedCellsShrinksTheSelectionAndExtentAfterADelete) {
  for (int64_t y = 0; y < 200; ++y) put(0, y, QString::number(y + 1));
  item("toggleOnlyUsed:")->trigger();
  ASSERT_TRUE(document().showOnlyOccupied());
  // Rows 21-200, the active cell on the last of them.
  document().setSelectionRange(GridRange{{kGridWildcard, 20}, {kGridWildcard, 199}});
  document().setActiveCellPoint(GridPoint{0, 199});
  item("deleteRowOrColumn:1")->trigger();
  EXPECT_EQ(document().maxGridPoint().y, 19);
  EXPECT_EQ(document().selectionRange().startPoint.y, 19);
  EXPECT_EQ(document().selectionRange().endPoint.y, 19);
  EXPECT_EQ(document().activeCellPoint(), (GridPoint{0, 19}));
  EXPECT_EQ(document().maxDisplayGridPoint().y, 19);
  // The grid no longer reaches the deleted rows.
  const CAGridGeometry& geometry = controller.cellView()->gridGeometry();
  EXPECT_LT(controller.cellView()->height(), int(geometry.rowTop(60)));
}

TEST_F(WindowSettingsTest, DeletingWithAllCellsShownLeavesTheSelection) {
  for (int64_t y = 0; y < 30; ++y) put(0, y, QStringLiteral("x"));
  document().setSelectionRange(GridRange{{kGridWildcard, 20}, {kGridWildcard, 29}});
  item("deleteRowOrColumn:1")->trigger();
  EXPECT_EQ(document().selectionRange().startPoint.y, 20);
  EXPECT_EQ(document().selectionRange().endPoint.y, 29);
}

TEST_F(WindowSettingsTest, TheViewMenuShowsTheFormatPanelAndZoomsToEveryStep) {
  QAction* panel = item("toggleFormatPanel:");
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->text(), QStringLiteral("Show Format Panel"));
  // With the toolbar hidden the menu still reaches the panel. The toolbar's state is every
  // window's: it is shown again however the test ends.
  QAction* toolbar = item("toggleToolbar:");
  toolbar->trigger();
  const struct ShowToolbarAgain {
    QAction* toggle;
    ~ShowToolbarAgain() { toggle->trigger(); }
  } showToolbarAgain{toolbar};
  // A slide in progress takes no other: each is waited for, however slow the machine.
  const auto slid = [this] {
    return QTest::qWaitFor([this] { return controller.findChildren<FLSidePanelAnimation*>().isEmpty(); }, 10000);
  };
  panel->trigger();
  EXPECT_TRUE(controller.showingFormatPanel());
  controller.validateMenuItem(panel);
  EXPECT_TRUE(panel->isChecked());
  ASSERT_TRUE(slid());
  panel->trigger();
  ASSERT_TRUE(slid());
  EXPECT_FALSE(controller.showingFormatPanel());

  auto* zoomMenu = controller.mainWindow()->menuBar()->findChild<QMenu*>(QLatin1String(kCAZoomToMenuName));
  ASSERT_NE(zoomMenu, nullptr);
  QStringList titles;
  for (QAction* step : zoomMenu->actions()) titles.append(step->text());
  EXPECT_EQ(titles.join(QLatin1Char(' ')),
            QStringLiteral("25% 33% 50% 66% 75% 100% 125% 150% 175% 200% 250% 300% 400%"));
  for (const double zoom : kCAZoomSteps) {
    const int percent = int(std::lround(zoom * 100));
    QAction* step = item(QStringLiteral("zoomByPercent:%1").arg(percent).toLatin1().constData());
    step->trigger();
    EXPECT_DOUBLE_EQ(document().zoomValue(), zoom) << percent;
    controller.validateMenuItem(step);
    EXPECT_TRUE(step->isChecked()) << percent;
  }
  controller.validateMenuItem(item("zoomByPercent:100"));
  EXPECT_FALSE(item("zoomByPercent:100")->isChecked());
}

TEST_F(WindowSettingsTest, PrintingKeepsUnsavedChangesInAnAutosaveCopy) {
  InstallFileFormatServices();
  // Nothing to lose: no copy.
  controller.performAction(QStringLiteral("printDocument:"), 0);
  // The copy would be written before the print panel shows.
  EXPECT_TRUE(QTest::qWaitFor([this] { return printPanelShown(); }, 10000));
  EXPECT_TRUE(document().autosavePath().isEmpty());
  closePrintPanels();

  type("42");
  pressReturn();
  ASSERT_TRUE(document().dirty());
  controller.performAction(QStringLiteral("printDocument:"), 0);
  EXPECT_TRUE(QTest::qWaitFor([this] { return !document().autosavePath().isEmpty(); }, 10000));
  ASSERT_FALSE(document().autosavePath().isEmpty());
  EXPECT_TRUE(QFileInfo::exists(document().autosavePath()));
  closePrintPanels();
  document().releaseAutoSave();
}

TEST_F(WindowSettingsTest, ShowColorsIsTheOneColourPanelAndEscapeClosesIt) {
  put(0, 0, QStringLiteral("red?"));
  document().setSelectionPoint(GridPoint{0, 0});
  const Kolor before = document().formatForActiveCell().textKolor();
  item("showColors:")->trigger();
  ASSERT_TRUE(CAColorWell::panelVisible());
  EXPECT_EQ(visibleWindowsTitled(QStringLiteral("Colors")), 1);
  EXPECT_EQ(visibleWindowsTitled(QStringLiteral("Select Color")), 0);
  // Opening changes nothing.
  EXPECT_EQ(document().formatForActiveCell().textKolor(), before);
  EXPECT_FALSE(controller.undoManager()->isUndoAvailable());

  QWidget* panel = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (top->isVisible() && top->windowTitle() == QStringLiteral("Colors")) panel = top;
  }
  ASSERT_NE(panel, nullptr);
  auto* chooser = panel->findChild<QColorDialog*>();
  ASSERT_NE(chooser, nullptr);
  QTest::keyClick(chooser, Qt::Key_Escape);
  EXPECT_FALSE(panel->isVisible());
  EXPECT_EQ(document().formatForActiveCell().textKolor(), before);

  // Open again: the chooser is back in it, and a colour picked there reaches the cell.
  item("showColors:")->trigger();
  EXPECT_TRUE(panel->isVisible());
  EXPECT_TRUE(chooser->isVisible());
  chooser->setCurrentColor(QColor(255, 0, 0));
  EXPECT_EQ(ColorFromKolor(document().formatForActiveCell().textKolor()).rgb(), QColor(255, 0, 0).rgb());
  // The menu item closes it again.
  item("showColors:")->trigger();
  EXPECT_FALSE(CAColorWell::panelVisible());
}

TEST_F(WindowSettingsTest, TheFontPanelStartsFromTheSheetsFontAndChangesOnlyWhatIsChosen) {
  document().setFont(QFont(QStringLiteral("DejaVu Sans"), 12));
  item("showFonts:")->trigger();
  QFontDialog* panel = controller.fontPanel();
  ASSERT_TRUE(panel && panel->isVisible());
  EXPECT_EQ(panel->currentFont().family(), QStringLiteral("DejaVu Sans"));
  EXPECT_FALSE(panel->currentFont().italic());
  EXPECT_EQ(panel->currentFont().weight(), QFont::Normal);
  // The panel's lists: families, styles, sizes.
  const QList<QListView*> lists = panel->findChildren<QListView*>();
  ASSERT_GE(lists.size(), 3);
  // Each choice changes that and keeps the rest (a family without a "Book" face keeps the plain one).
  const struct {
    int list;
    const char* entry;
    const char* family;
    QFont::Weight weight;
    bool italic;
    double size;
  } steps[] = {
      {0, "Liberation Serif", "Liberation Serif", QFont::Normal, false, 12},
      {1, "Bold", "Liberation Serif", QFont::Bold, false, 12},
      {2, "14", "Liberation Serif", QFont::Bold, false, 14},
      {0, "DejaVu Sans Mono", "DejaVu Sans Mono", QFont::Bold, false, 14},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.entry);
    ChooseInFontPanelList(lists[step.list], QLatin1String(step.entry));
    const QFont font = document().font();
    EXPECT_EQ(font.family(), QLatin1String(step.family));
    EXPECT_EQ(font.weight(), step.weight);
    EXPECT_EQ(font.italic(), step.italic);
    EXPECT_DOUBLE_EQ(font.pointSizeF(), step.size);
    EXPECT_EQ(panel->currentFont().italic(), step.italic);
  }
  panel->hide();
}

// The panel that Ctrl+T brings up names the style of the sheet's own face: a condensed face of
// the family is not the plain one, whatever the order of the style list.
TEST_F(WindowSettingsTest, CtrlTNamesTheStyleOfTheSheetsFont) {
  const struct {
    const char* family;
    QFont::Weight weight;
    bool italic;
    const char* style;
  } cases[] = {
      {"DejaVu Sans", QFont::Normal, false, "Book"},
      {"DejaVu Sans", QFont::Bold, false, "Bold"},
      {"DejaVu Sans", QFont::Normal, true, "Oblique"},
      {"DejaVu Serif", QFont::Normal, false, "Book"},
      // No face of that weight: the family's regular.
      {"DejaVu Sans", QFont::Medium, false, "Book"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.family) + " " + c.style);
    QFont font(QLatin1String(c.family), 12);
    font.setWeight(c.weight);
    font.setItalic(c.italic);
    document().setFont(font);
    QTest::keyClick(keyboard(), Qt::Key_T, Qt::ControlModifier);
    QFontDialog* panel = controller.fontPanel();
    ASSERT_TRUE(panel && panel->isVisible());
    const QList<QListView*> lists = panel->findChildren<QListView*>();
    ASSERT_GE(lists.size(), 2);
    EXPECT_EQ(lists[1]->currentIndex().data().toString(), QLatin1String(c.style));
    EXPECT_EQ(document().font(), font);  // showing changes nothing
    QTest::keyClick(keyboard(), Qt::Key_T, Qt::ControlModifier);
    EXPECT_FALSE(panel->isVisible());
  }
}

// A text that overflows into empty cells takes the room its new font needs as soon as the font
// changes, as a recalculation would lay it out, rather than being cut.
TEST_F(WindowSettingsTest, AFontChangeLaysOutOverflowingTextAtOnce) {
  document().setFont(QFont(QStringLiteral("DejaVu Sans"), 12));
  // Columns of a set width: widths counted in digits would grow with the font.
  document().setDefaultDigitCount(-1);
  document().setDefaultWidth(72 * kEmuPerPoint);
  put(0, 0, QStringLiteral("A text a little longer than its cell"));
  document().evaluate();
  const CACell* cell = document().cellAtGridPoint(GridPoint{0, 0});
  ASSERT_NE(cell, nullptr);
  const uint64_t before = cell->extraColumns();
  ASSERT_GE(before, 1u);
  QTest::keyClick(keyboard(), Qt::Key_T, Qt::ControlModifier);
  QFontDialog* panel = controller.fontPanel();
  ASSERT_TRUE(panel && panel->isVisible());
  // The panel's size list.
  QListView* sizes = panel->findChildren<QListView*>().value(2);
  ASSERT_NE(sizes, nullptr);
  const QModelIndexList found = sizes->model()->match(sizes->model()->index(0, 0), Qt::DisplayRole,
                                                      QStringLiteral("28"), 1, Qt::MatchFixedString);
  ASSERT_FALSE(found.isEmpty());
  sizes->setCurrentIndex(found.first());
  ASSERT_DOUBLE_EQ(document().font().pointSizeF(), 28);
  panel->hide();
  const uint64_t shown = cell->extraColumns();
  EXPECT_GT(shown, before);
  item("forceRecalc:")->trigger();
  EXPECT_EQ(cell->extraColumns(), shown);
}

TEST_F(WindowSettingsTest, ALockedDocumentRefusesTyping) {
  put(0, 0, QStringLiteral("kept"));
  document().setSelectionPoint(GridPoint{0, 0});
  document().setLocked(true);
  type("9");
  pressReturn();
  EXPECT_EQ(text(0, 0), QStringLiteral("kept"));
  EXPECT_FALSE(controller.cellView()->isTyping());
  EXPECT_FALSE(document().dirty());
  document().setLocked(false);
  document().setSelectionPoint(GridPoint{0, 0});  // Return moved down
  type("9");
  EXPECT_TRUE(controller.cellView()->isTyping());
  pressReturn();
  EXPECT_EQ(text(0, 0), QStringLiteral("9"));
}

// The preferences the window's own views hold follow the preferences window at once.
TEST_F(WindowSettingsTest, ReturnsAndDropsFollowThePreferencesInOpenWindows) {
  UserDefaults defaults(QStringLiteral("test.windowSettings"));
  CAPrefController preferences(defaults, false);
  CAWindowController window;
  preferences.showPreferences();
  const auto box = [&preferences](const char* title) -> QCheckBox* {
    for (QCheckBox* candidate : preferences.window()->findChildren<QCheckBox*>()) {
      if (candidate->text() == QLatin1String(title)) return candidate;
    }
    return nullptr;
  };
  QCheckBox* returns = box("Return starts a new line in formulas and texts");
  QCheckBox* drops = box("Allow dropping files and text");
  ASSERT_NE(returns, nullptr);
  ASSERT_NE(drops, nullptr);
  EXPECT_FALSE(window.formulaTextView()->allowReturns());
  EXPECT_TRUE(window.cellView()->acceptDrops());
  returns->click();
  drops->click();
  EXPECT_TRUE(window.formulaTextView()->allowReturns());
  EXPECT_FALSE(window.cellView()->acceptDrops());
  drops->click();
  EXPECT_TRUE(window.cellView()->acceptDrops());
  // The title drops the extension while asked to, and takes it back.
  window.document()->setFilePath(QStringLiteral("/tmp/Budget 2027.Numlet"));
  window.synchronizeWindowTitle();
  const auto title = [&window] { return window.mainWindow()->windowTitle().remove(QLatin1String("[*]")); };
  EXPECT_TRUE(title().startsWith(QStringLiteral("Budget 2027.Numlet"))) << title().toStdString();
  QCheckBox* hide = box("Hide file name extensions in titles");
  ASSERT_NE(hide, nullptr);
  hide->click();
  EXPECT_TRUE(title().startsWith(QStringLiteral("Budget 2027")));
  EXPECT_FALSE(title().contains(QStringLiteral(".Numlet"))) << title().toStdString();
  window.synchronizeWindowTitle();  // as a save names the window again
  EXPECT_FALSE(title().contains(QStringLiteral(".Numlet"))) << title().toStdString();
  hide->click();
  EXPECT_TRUE(title().startsWith(QStringLiteral("Budget 2027.Numlet"))) << title().toStdString();
  // Rounding down changes every shown number: the sheets are drawn again.
  int redraws = 0;
  const NotificationObserver observer = NotificationCenter::defaultCenter().addObserver(
      QLatin1String(kRedrawAllNotification), nullptr, [&redraws](const Notification&) { ++redraws; });
  QCheckBox* roundDown = box("Round down instead of to nearest");
  ASSERT_NE(roundDown, nullptr);
  roundDown->click();
  EXPECT_TRUE(preferences.value(CABoolPreference::roundDown));
  EXPECT_EQ(redraws, 1);
  preferences.window()->close();
}

}  // namespace
