// What the help file names in the application's windows, checked against the real window: every
// menu item the help sends users to exists under that name in that menu, the Save As panel
// offers the formats the help lists, and the panes and dialogs have the choices the help names.
#include "calculator/controllers/CAAppController.h"

#include "calculator/controllers/CACalculatorConverter.h"
#include "calculator/controllers/CACalculatorProgram.h"
#include "calculator/controllers/CACalculatorStandard.h"
#include "calculator/controllers/CAAutosaveRestorer.h"
#include "calculator/controllers/CAFillDialog.h"
#include "calculator/controllers/CAProgrammerEngine.h"
#include "calculator/controllers/caCalculatorConstants.h"
#include "calculator/controllers/CAFindDialog.h"
#include "calculator/controllers/CAFormatBorderVC.h"
#include "calculator/controllers/CAFormatDocContentVC.h"
#include "calculator/controllers/CAFormatDocSizeVC.h"
#include "calculator/controllers/CAFormatDocTextVC.h"
#include "calculator/controllers/CAFormatNumberVC.h"
#include "calculator/controllers/CASortDialog.h"
#include "calculator/controllers/CAFormatTextVC.h"
#include "calculator/controllers/CAWindowController.h"
#include "calculator/controllers/caPreferenceKeys.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAGridPoint.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/shell/FLAlert.h"
#include "platform/UserDefaults.h"
#include "platform/UserFolders.h"
#include "support/TestData.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <gtest/gtest.h>

#include "CalculatorTestSupport.h"

#include <limits>

namespace {

GridPoint A1(const char* text) {
  const QString reference = QString::fromLatin1(text);
  GridPoint point;
  EXPECT_TRUE(ParseGridPoint(reference, 0, reference.size(), &point)) << text;
  return point;
}

class ClaimsAppController : public CAAppController {
 public:
  using CAAppController::CAAppController;
  bool shouldOpenAutosaves(const QList<CAAutosaveEntry>&) override { return false; }
  void quitApplication() override {}
  Qt::KeyboardModifiers launchModifiers() const override { return Qt::NoModifier; }
  // The window the launch opened (windows of earlier tests in the process may stand in front).
  CAWindowController* front() {
    for (int attempt = 0; attempt < 2; ++attempt) {
      const std::vector<FLDocumentWC*> windows = controllers();
      for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if (auto* controller = dynamic_cast<CAWindowController*>(*it)) return controller;
      applicationOpenUntitledFile();
    }
    return nullptr;
  }
};

// A title as the user reads it: mnemonic markers gone, "&&" shown as "&".
QString Shown(QString title) {
  title.replace(QLatin1String("&&"), QString(QChar(0xE000)));
  title.remove(QLatin1Char('&'));
  return title.replace(QChar(0xE000), QLatin1Char('&'));
}

// "Menu > Item" for every item of the window's menus and their submenus.
void CollectItems(const QString& path, const QMenu* menu, QSet<QString>* items) {
  for (QAction* action : menu->actions()) {
    if (action->isSeparator()) continue;
    const QString name = path + QLatin1String(" > ") + Shown(action->text());
    if (action->menu())
      CollectItems(name, action->menu(), items);
    else
      items->insert(name);
  }
}

// The texts of every button, label and pop-up item under a widget, as shown.
QSet<QString> TextsUnder(const QWidget* root) {
  QSet<QString> texts;
  for (const QAbstractButton* button : root->findChildren<QAbstractButton*>()) texts.insert(Shown(button->text()));
  for (const QLabel* label : root->findChildren<QLabel*>()) texts.insert(Shown(label->text()));
  for (const QComboBox* popup : root->findChildren<QComboBox*>())
    for (int i = 0; i < popup->count(); ++i) texts.insert(Shown(popup->itemText(i)));
  return texts;
}

class HelpClaimsTest : public ::testing::Test {
 protected:
  HelpClaimsTest() {
    QDir(CalculatorSupportFolder()).removeRecursively();
    defaults().removeObjectForKey(QLatin1String(kOpenFilesKey));
    FLAlert::sharedInstance().setModalRunner([](const FLAlertRequest&, bool*) { return 0; });
    app->applicationWillFinishLaunching();
    app->applicationDidFinishLaunching();
  }
  ~HelpClaimsTest() override {
    app.reset();
    QTest::qWait(10);
    FLAlert::sharedInstance().setModalRunner({});
  }
  static UserDefaults& defaults() { return UserDefaults::standardUserDefaults(); }

  // The Save As panel's formats, by extension, with the advanced-user marker as given.
  QSet<QString> saveAsFormats(bool advanced) {
    const bool saved = g_advancedUser;
    g_advancedUser = advanced;
    CAWindowController* controller = app->front();
    controller->window()->findChild<QAction*>(QStringLiteral("saveDocumentAs:"))->trigger();
    QSet<QString> formats;
    if (!QTest::qWaitFor([&] { return controller->savePanel() != nullptr; }, 10000)) {
      ADD_FAILURE() << "no save panel";
    } else {
      for (const QString& filter : controller->savePanel()->nameFilters())
        formats.insert(filter.section(QLatin1String("(*."), 1).chopped(1).toLower());
      QMetaObject::invokeMethod(controller->savePanel(), "reject");
      QTest::qWait(10);
    }
    g_advancedUser = saved;
    return formats;
  }

  std::unique_ptr<ClaimsAppController> app = std::make_unique<ClaimsAppController>(defaults());
};

TEST_F(HelpClaimsTest, EveryMenuItemTheHelpNamesExistsUnderThatName) {
  ASSERT_NE(app->front(), nullptr);
  auto* window = qobject_cast<QMainWindow*>(app->front()->window());
  ASSERT_NE(window, nullptr);
  QSet<QString> items;
  for (QAction* action : window->menuBar()->actions())
    if (action->menu()) CollectItems(Shown(action->text()), action->menu(), &items);

  const char* const named[] = {
      "File > New", "File > Open…", "File > Close", "File > Save", "File > Save As…", "File > Save a Copy…",
      "File > Revert to Saved", "File > Password Protect…", "File > Settings…", "File > Page Setup…",
      "File > Print…",
      "Edit > Undo", "Edit > Redo", "Edit > Cut", "Edit > Copy", "Edit > Paste", "Edit > Paste as Plain Text",
      "Edit > Clear Contents", "Edit > Clear Formats", "Edit > Clear All", "Edit > Insert Columns",
      "Edit > Insert Rows", "Edit > Delete Columns", "Edit > Delete Rows", "Edit > Insert Checkbox",
      "Edit > Insert Picture…", "Edit > Insert Link…", "Edit > Insert Average", "Edit > Insert Sum",
      "Edit > Fill Down", "Edit > Fill Right", "Edit > Fill Series…", "Edit > Sort…", "Edit > Find…",
      "Edit > Find Next", "Edit > Find Previous", "Edit > Use Selection for Find",
      "Format > Bold", "Format > Italic", "Format > Underline", "Format > Strikethrough", "Format > Plain Text",
      "Format > Show Fonts", "Format > Show Colors", "Format > Copy Style", "Format > Paste Style",
      "Format > Recalculate",
      "View > Zoom In", "View > Zoom Out", "View > Actual Size", "View > Show Formulas", "View > Only Used Cells",
      "View > Show Page Breaks", "View > Expand Down", "View > Expand Right", "View > Shrink to Content",
      "Window > Calculator", "Window > Programmer's Calculator", "Window > Unit Converter",
      "Help > Copy Logs", "Help > Mail Logs…",
  };
  for (const char* item : named) EXPECT_TRUE(items.contains(QString::fromUtf8(item))) << item;
  // The Format menu sets the alignment: at least left, centre and right are there.
  int alignments = 0;
  for (const QString& item : items) alignments += item.startsWith(QLatin1String("Format > Align")) ? 1 : 0;
  EXPECT_GE(alignments, 2);
}

// "Save As… writes comma- and tab-separated text, RTF, HTML … and PDF": the old interchange
// format and the rich-text package are offered only to advanced users, so the help leaves them out.
TEST_F(HelpClaimsTest, SaveAsOffersTheFormatsTheHelpLists) {
  ASSERT_NE(app->front(), nullptr);
  const QSet<QString> ordinary = saveAsFormats(false);
  for (const char* format : {"numlet", "csv", "txt", "rtf", "html", "pdf"})
    EXPECT_TRUE(ordinary.contains(QLatin1String(format))) << format;
  for (const char* format : {"dif", "rtfd"}) EXPECT_FALSE(ordinary.contains(QLatin1String(format))) << format;
  const QSet<QString> advanced = saveAsFormats(true);
  for (const char* format : {"dif", "rtfd"}) EXPECT_TRUE(advanced.contains(QLatin1String(format))) << format;
}

// The Number pane's kinds, the Border pane's styles, the Fill, Find and Sort dialogs' choices.
TEST_F(HelpClaimsTest, PanesAndDialogsOfferTheChoicesTheHelpNames) {
  CAFormatNumberVC number;
  const QSet<QString> numberTexts = TextsUnder(number.view());
  for (const char* kind : {"Automatic", "Decimal", "Integer", "Fraction", "Money", "Percent", "Scientific", "Binary",
                           "Octal", "Hexadecimal", "Date"})
    EXPECT_TRUE(numberTexts.contains(QLatin1String(kind))) << kind;

  // "The Text pane sets the style of the selected cells' text: Bold, Italic, Underline and Strike,
  // each on, off or taken from the layer below, and the alignment. One font and size serve the
  // whole sheet: choose them with Font… in the document's Text pane."
  CAFormatTextVC text;
  const QSet<QString> textTexts = TextsUnder(text.view());
  for (const char* choice :
       {"Bold", "Italic", "Underline", "Strike", "On", "Off", "Default", "Left", "Center", "Right"})
    EXPECT_TRUE(textTexts.contains(QLatin1String(choice))) << choice;
  CAFormatDocTextVC documentText;
  EXPECT_TRUE(TextsUnder(documentText.view()).contains(QString::fromUtf8("Font…")));
  // "The document panes set the default column width and row height, the default text, the
  // sheet's look (cell padding, row stripes, overlapping text, formulas), the file options …"
  CAFormatDocContentVC content;
  const QSet<QString> contentTexts = TextsUnder(content.view());
  for (const char* choice : {"Stripes", "Text overlaps empty cells", "Show formulas"})
    EXPECT_TRUE(contentTexts.contains(QLatin1String(choice))) << choice;
  CAFormatDocSizeVC size;
  const QSet<QString> sizeTexts = TextsUnder(size.view());
  for (const char* choice : {"Reset Widths", "Reset Heights"})
    EXPECT_TRUE(sizeTexts.contains(QLatin1String(choice))) << choice;

  CAFormatBorderVC border;
  const QSet<QString> borderTexts = TextsUnder(border.view());
  for (const char* style : {"None", "Solid", "Dotted", "Dashed"})
    EXPECT_TRUE(borderTexts.contains(QLatin1String(style))) << style;

  ASSERT_NE(app->front(), nullptr);
  CADocument& document = *app->front()->document();
  CAFillDialog fill(document, app->front()->window());
  const QSet<QString> fillTexts = TextsUnder(&fill);
  for (const char* choice : {"Down", "Right", "Up", "Left", "Copy", "Add", "Multiply", "Date", "Days", "Months",
                             "Years"})
    EXPECT_TRUE(fillTexts.contains(QLatin1String(choice))) << choice;
  EXPECT_FALSE(fillTexts.contains(QLatin1String("Weeks")));

  const QSet<QString> findTexts = TextsUnder(&CAFindDialog::sharedInstance());
  for (const char* choice : {"Formulas", "Values", "Formulas and Values", "Ignore case", "Whole words", "Wrap around",
                             "From the start", "Next", "Previous", "Replace", "Replace & Find", "Replace All"})
    EXPECT_TRUE(findTexts.contains(QLatin1String(choice))) << choice;

  CASortDialog sort(document, app->front()->window());
  const QSet<QString> sortTexts = TextsUnder(&sort);
  for (const char* choice : {"Sort the whole document", "Sort columns", "Reverse order", "Ignore common words"})
    EXPECT_TRUE(sortTexts.contains(QLatin1String(choice))) << choice;
}

// "Clear Contents empties the selected cells, Clear Formats removes their formats and Clear All
// does both. Insert Average and Insert Sum add formulas for the selected block in the row below
// it or the column beside it; with one cell selected, they put into it the formula of the numbers
// just above it, or else of those just to its left. Fill Down and Fill Right copy the first cell
// of the selection into the others."
TEST_F(HelpClaimsTest, EditCommandsDoWhatTheHelpSays) {
  ASSERT_NE(app->front(), nullptr);
  QWidget* window = app->front()->window();
  CADocument& document = *app->front()->document();
  const auto put = [&](const char* at, const char* text) {
    document.cellAtGridPointImperative(A1(at))->setFormula(QString::fromUtf8(text));
  };
  const auto entered = [&](const char* at) {
    // A formula's text, else the number's.
    const CACell* cell = document.cellAtGridPoint(A1(at));
    if (!cell) return QString();
    if (!cell->formula().isEmpty()) return cell->formula();
    return cell->number() ? cell->number()->description() : QString();
  };
  const auto command = [&](const char* name, const char* from, const char* to) {
    document.setSelectionRange(GridRange{A1(from), A1(to)});
    document.setActiveCellPoint(A1(from));
    QAction* action = window->findChild<QAction*>(QLatin1String(name));
    ASSERT_NE(action, nullptr) << name;
    // As when the user opens the menu: its items are enabled for the selection first.
    for (QMenu* menu : window->findChildren<QMenu*>())
      if (menu->actions().contains(action)) emit menu->aboutToShow();
    ASSERT_TRUE(action->isEnabled()) << name;
    action->trigger();
  };
  for (const auto& [at, text] : {std::pair{"A1", "1"}, {"A2", "2"}, {"A3", "3"}, {"B1", "4"}, {"C1", "5"}})
    put(at, text);

  command("insertQuickFormula:1", "A1", "A3");
  EXPECT_EQ(entered("A4"), QStringLiteral("=SUM(A1:A3)"));
  command("insertQuickFormula:0", "D1", "D1");
  EXPECT_EQ(entered("D1"), QStringLiteral("=AVERAGE(A1:C1)"));

  put("F1", "7");
  command("fillDown:", "F1", "F3");
  EXPECT_EQ(entered("F2"), QStringLiteral("7"));
  EXPECT_EQ(entered("F3"), QStringLiteral("7"));
  command("fillRight:", "F1", "H1");
  EXPECT_EQ(entered("H1"), QStringLiteral("7"));
  // "A "$" before the column or the row keeps that part fixed when the formula is copied or
  // filled: $A$1 always refers to A1."
  put("J1", "=A1*$B$1+A$1+$A1");
  command("fillDown:", "J1", "J2");
  EXPECT_EQ(entered("J2"), QStringLiteral("=A2*$B$1+A$1+$A2"));
  command("fillRight:", "J1", "K1");
  EXPECT_EQ(entered("K1"), QStringLiteral("=B1*$B$1+B$1+$A1"));

  CAFormat bold;
  bold.setBold(true);
  for (const char* at : {"F1", "F2", "F3"}) document.cellAtGridPointImperative(A1(at))->setFormat(bold);
  command("clear:1", "F1", "F1");  // formats only
  EXPECT_EQ(entered("F1"), QStringLiteral("7"));
  EXPECT_FALSE(document.formatForDomain(kDomainCell, A1("F1")));
  command("clear:2", "F2", "F2");  // contents only
  EXPECT_EQ(entered("F2"), QString());
  EXPECT_TRUE(document.formatForDomain(kDomainCell, A1("F2")));
  command("clear:0", "F3", "F3");  // both
  EXPECT_EQ(entered("F3"), QString());
  EXPECT_FALSE(document.formatForDomain(kDomainCell, A1("F3")));
}

// "The dialog lists them: OK opens them all …; Cancel discards them all." The list offers no
// choice of single documents.
TEST_F(HelpClaimsTest, TheRecoveryDialogListsTheCopiesAndOffersAllOrNone) {
  bool looked = false;
  QTimer::singleShot(0, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (!dialog) return;
    looked = true;
    EXPECT_TRUE(dialog->findChildren<QCheckBox*>().isEmpty());
    auto* list = dialog->findChild<QTableWidget*>();
    ASSERT_NE(list, nullptr);
    if (list) {
      EXPECT_EQ(list->rowCount(), 2);
      for (int row = 0; row < list->rowCount(); ++row)
        EXPECT_FALSE(list->item(row, 0)->data(Qt::CheckStateRole).isValid()) << row;  // no check box
    }
    QMetaObject::invokeMethod(dialog, "reject");
  });
  const QList<CAAutosaveEntry> copies = {{QStringLiteral("a.Numlet"), QStringLiteral("/tmp/a.Numlet"), QString()},
                                         {QStringLiteral("b.Numlet"), QStringLiteral("untitled"), QString()}};
  EXPECT_FALSE(CAAutosaveRestorer::shouldOpenAutosaves(copies));
  EXPECT_TRUE(looked);
}

// The calculators' keys and choices that the help's calculator topics name.
TEST_F(HelpClaimsTest, CalculatorsHaveTheKeysTheHelpNames) {
  UserDefaults defaults(QStringLiteral("test.helpClaims"));
  CACalculatorStandard standard(defaults);
  const QSet<QString> standardKeys = TextsUnder(&standard);
  for (const char* key : {"%", "√", "1/x", "±", "C", "AC", "MS", "MR", "M+", "M−", "MC", "Options", "Help"})
    EXPECT_TRUE(standardKeys.contains(QString::fromUtf8(key))) << key;

  CACalculatorProgram programmer(defaults);
  const QSet<QString> programmerKeys = TextsUnder(&programmer);
  for (const char* key : {"Binary", "Octal", "Decimal", "Hexadecimal", "Floating", "enter", "drop", "swap", "AND",
                          "OR", "XOR", "NOT", "rem", "A", "B", "C", "D", "E", "F"})
    EXPECT_TRUE(programmerKeys.contains(QString::fromUtf8(key))) << key;

  CACalculatorConverter converter(defaults);
  const QSet<QString> converterTexts = TextsUnder(&converter);
  for (const char* choice :
       {"Area", "Length", "Temperature", "Time", "Volume", "Weight", "Amusement", "Convert", "Copy"})
    EXPECT_TRUE(converterTexts.contains(QString::fromUtf8(choice))) << choice;
}

// "Integers are kept in the word size chosen beside it": 64 bits unless another is chosen.
class HelpCalculatorClaimsTest : public CalculatorTest {};

TEST_F(HelpCalculatorClaimsTest, TheProgrammersCalculatorKeepsIntegersIn64Bits) {
  const struct {
    const char* typed;
    CANumber entered;
  } cases[] = {
      {"9223372036854775807", CANumber(std::numeric_limits<int64_t>::max())},
      {"18446744073709551615", CANumber(-1)},  // all 64 bits set
      {"18446744073709551616", CANumber(0)},   // the 65th bit is gone
  };
  for (const auto& c : cases) {
    CAProgrammerEngine engine;
    EXPECT_TRUE(type(engine, QString::fromLatin1(c.typed))) << c.typed;
    EXPECT_TRUE(engine.executeFunction(kFunctionEnter, false)) << c.typed;
    ASSERT_FALSE(engine.stack().isEmpty()) << c.typed;
    EXPECT_EQ(engine.stack().first(), c.entered) << c.typed;
  }
}

// "Backspace or Delete removes the last digit and Escape clears the entry."
TEST_F(HelpCalculatorClaimsTest, BackspaceAndDeleteRemoveTheLastDigit) {
  UserDefaults defaults(QStringLiteral("test.helpClaims"));
  for (const Qt::Key key : {Qt::Key_Backspace, Qt::Key_Delete}) {
    CACalculatorStandard window(defaults);
    QTest::keyClicks(window.keyEaterView(), QStringLiteral("123"));
    QTest::keyClick(window.keyEaterView(), key);
    EXPECT_EQ(window.accumulatorField()->text(), QStringLiteral("12")) << key;
    QTest::keyClick(window.keyEaterView(), Qt::Key_Escape);
    EXPECT_FALSE(window.engine().accumulating()) << key;
  }
}

// The Settings paragraph names the panes and what they hold.
TEST_F(HelpClaimsTest, SettingsHaveThePanesAndChoicesTheHelpNames) {
  ASSERT_NE(app->front(), nullptr);
  app->front()->window()->findChild<QAction*>(QStringLiteral("showPreferences:"))->trigger();
  QWidget* settings = nullptr;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        for (QWidget* top : QApplication::topLevelWidgets())
          if (top->objectName() == QLatin1String("Preferences")) settings = top;
        return settings != nullptr;
      },
      2000));
  QSet<QString> panes;
  for (const QToolBar* bar : settings->findChildren<QToolBar*>())
    for (const QAction* action : bar->actions()) panes.insert(action->text().trimmed());
  for (const char* pane : {"General", "Files", "Import/Export", "New Doc"})
    EXPECT_TRUE(panes.contains(QLatin1String(pane))) << pane;
  const QSet<QString> texts = TextsUnder(settings);
  for (const char* choice : {"Autosave open documents", "Keep a backup copy when saving",
                             "Save a preview with documents",
                             "Reopen documents at launch", "Round down instead of to nearest", "Select…"})
    EXPECT_TRUE(texts.contains(QString::fromUtf8(choice))) << choice;
  settings->close();
}

// The help's source holds the sentences these tests and the formula tests pin, and none of the
// promises the program does not keep.
TEST(HelpSource, SaysWhatTheProgramDoes) {
  QString help;
  for (const char* name : {"00-basics.txt", "10-functions.txt", "20-formatting.txt", "30-editing.txt",
                           "40-calculators.txt", "50-application.txt"}) {
    QFile file(TestDataPath(QStringLiteral("../../resources/help-source/") + QLatin1String(name)));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    help += QString::fromUtf8(file.readAll()) + QLatin1Char('\n');
  }
  const char* const said[] = {
      "Save As… writes comma- and tab-separated text, RTF, HTML",
      "A formula holds no texts of its own: a cell that holds a text counts as 0 where a formula reads it.",
      "The operators are + - * / and ^ (power)",
      "a number followed by % is a percentage: =50% is 1/2.",
      "1/4 without a year stays a text: type =1/4 for a quarter",
      "<Arguments> for a function given too few or too many arguments",
      "<Number> for an argument a function cannot take, such as =FACT(-1)",
      "<Value> for a result that is no number, such as =SQRT(-1)",
      "and so do cells that refer to themselves, directly or through other cells.",
      "=C(1) gives it in m/s and =C(0) in miles/s.",
      "The Border pane draws a line around each selected cell",
      "or dates that advance by days, months or years.",
      "Replace & Find changes it",
      "General (typing, links, tool tips, dragging, rounding, the unit of measurement",
      "Backspace or Delete removes the last digit",
      "with one cell selected, they put into it the formula of the numbers just above it",
      "Integers are kept in the word size chosen beside it: 8, 16, 32 or 64 bits.",
      "Decimal, Money and Percent show the number of decimals you set",
      "Show Format Panel in the View menu",
      "(50 + 10 % is 55, 50 − 10 % is 45)",
      "(200 × 10 % is 20, 200 ÷ 10 % is 2000)",
      "with your language's decimal separator",
      "A recovered copy opens locked",
      "choose Save As… and save it under a name of its own: the saved document can be edited like any other.",
      "HTML (one .html page, or, for a sheet with pictures, a folder holding the page and its pictures)",
  };
  for (const char* sentence : said) EXPECT_TRUE(help.contains(QString::fromUtf8(sentence))) << sentence;
  const char* const retracted[] = {
      "& to join texts", "texts in quotation marks", "1/4 or 2e10", "a day of the current year", "<> < >", "weeks",
      "Choose the sides",
      "saves DIF", "RTFD, HTML (a folder", "Replace && Find", "checks for a newer version",
      "open as untitled documents", "in SI units", "Money shows whole amounts.",
      "Select the documents to recover", "sets the font, size and style", "the sheet's size",
      "add a formula of the selection below or beside it", "HTML (a folder with the page and its pictures)",
  };
  for (const char* phrase : retracted) EXPECT_FALSE(help.contains(QString::fromUtf8(phrase))) << phrase;
}

}  // namespace
