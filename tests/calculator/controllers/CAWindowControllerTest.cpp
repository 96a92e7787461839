// The spreadsheet window: its undo records (replay by exchange with the dirty flag swapped, and
// the steps it refuses), its toolbar, and a protected document's password.
#include "AppControllerTestSupport.h"
#include "calculator/controllers/CAWindowController.h"

#include "calculator/controllers/caSheetPages.h"
#include "calculator/views/CAGridGeometry.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CAFormat.h"
#include "calculator/model/CARow.h"
#include "framlet/foundation/FLPasswordManager.h"
#include "platform/Keychain.h"
#include "platform/UserDefaults.h"
#include "framlet/foundation/flPasswords.h"
#include "framlet/shell/FLPasswordChangeDialog.h"
#include "framlet/shell/FLPasswordSetDialog.h"
#include "framlet/shell/FLPasswordVerifyDialog.h"
#include "framlet/shell/FLToolbarSegments.h"
#include "framlet/shell/FLToolbarView.h"
#include "support/LogCapture.h"
#include "support/TestData.h"
#include "support/TestFiles.h"

#include <QAbstractAnimation>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPageLayout>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class WindowControllerTest : public ::testing::Test {
 protected:
  WindowControllerTest() { controller.prepareToShow(); }

  CADocument& document() { return *controller.document(); }
  FLUndoManager& undo() { return *controller.undoManager(); }
  QString a1() {
    const CACell* cell = document().cellAtGridPoint({0, 0});
    return cell ? cell->formula() : QStringLiteral("-");
  }

  CAWindowController controller;
};

// A copy of a test package that the test may let the program write to.
QString CopyPackage(const QTemporaryDir& folder, const QString& name) {
  const QString from = TestDataPath(QStringLiteral("package/") + name);
  const QString to = folder.filePath(name);
  CopyFolderFiles(from, to);
  return to;
}

QStringList FolderState(const QString& path) {
  QStringList state;
  for (const QFileInfo& entry : QDir(path).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name))
    state.append(entry.fileName() + QLatin1Char(' ') + QString::number(entry.size()) + QLatin1Char(' ') +
                 entry.lastModified().toString(Qt::ISODateWithMs));
  return state;
}

}  // namespace

TEST_F(WindowControllerTest, UndoExchangesTheCellsAndSwapsTheDirtyFlag) {
  ASSERT_FALSE(document().dirty());
  const CAUndoContext context{{{0, 0}, {0, 0}}, 0};
  ASSERT_TRUE(undo().setUndoAction(kUndoActionCells, kUndoTyping, &context));
  EXPECT_TRUE(controller.everEdited());
  document().cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("forty-two"));
  document().evaluate();

  for (int round = 0; round < 2; ++round) {
    controller.undoEdit();
    EXPECT_EQ(a1(), "-") << round;
    EXPECT_FALSE(controller.mainWindow()->isWindowModified());
    controller.redoEdit();
    EXPECT_EQ(a1(), "forty-two") << round;
    EXPECT_TRUE(controller.mainWindow()->isWindowModified());
  }
  QString title;
  EXPECT_TRUE(undo().validateState(true, &title));
  EXPECT_EQ(title, "Undo Typing");
}

TEST_F(WindowControllerTest, StepsThatCannotBeRecordedLeaveTheDocumentAlone) {
  LogCapture log;
  const struct {
    uint32_t action;
    uint32_t descriptor;
    const void* context;
    const char* message;
  } cases[] = {
      {kUndoActionCells, kUndoTyping, nullptr, "No undo context"},
      {kUndoActionFormats, kUndoFont, reinterpret_cast<const void*>(uintptr_t(3)), "Property domain instead of undo context"},
      {kUndoActionRows, kUndoRowHeight, reinterpret_cast<const void*>(uintptr_t(0)), "No undo context"},
      {kUndoActionWholeDocument, 32, nullptr, "Bad undo descriptor"},
      {kUndoActionLayout, 4000, nullptr, "Bad undo descriptor"},
  };
  for (const auto& c : cases) {
    log.clear();
    EXPECT_FALSE(undo().setUndoAction(c.action, c.descriptor, c.context)) << c.message;
    EXPECT_TRUE(log.assertMessages().contains(QLatin1String(c.message))) << log.assertMessages().join('|').toStdString();
    EXPECT_FALSE(controller.everEdited());
    EXPECT_EQ(undo().inUseCount(), 0u);
  }
}

TEST_F(WindowControllerTest, TheToolbarShowsTheDefaultTools) {
  FLToolbarView* toolbar = controller.toolbarView();
  ASSERT_TRUE(toolbar);
  ASSERT_EQ(toolbar->tools().size(), 16u);
  EXPECT_STREQ(toolbar->tools()[0].item->label, "Format");
  EXPECT_EQ(toolbar->tools()[14].toolType, kFLToolFlexibleSpace);
  EXPECT_EQ(toolbar->tools()[15].toolType, kFLToolView);  // the search field
  EXPECT_EQ(toolbar->prefKey(), "NSToolbar Configuration C08B936A-8C8C-4EC6-B699-4893AAA58815");

  // The zoom pop-up offers the magnifications and shows the document's.
  auto* zoom = qobject_cast<QComboBox*>(toolbar->viewForGuid(QStringLiteral("3BBC3052-1204-4511-8F39-255BD25967FA")));
  ASSERT_TRUE(zoom);
  EXPECT_EQ(zoom->currentText(), "100%");
}

TEST_F(WindowControllerTest, ALockedDocumentDisablesTheEditingTools) {
  controller.mainWindow()->resize(1400, 500);
  controller.mainWindow()->show();
  FLToolbarView* toolbar = controller.toolbarView();
  toolbar->grab();
  const char* guids[] = {"C79C4541-3347-4794-A56B-4FE794A2356D", "0A6917FC-FB6B-4DD5-BE0B-052561BB086D",
                         "813AE542-56C3-4E0B-AF4C-D2C0673836EF", "C196A318-CDC4-4D6D-963D-5CE3F09F0EC9",
                         "9D64CC24-3AB4-4944-9748-179227A91BBA", "D3B1B66A-E08A-4841-8927-2AF8D4B18D5F"};
  document().setSelectionRange({{0, 0}, {0, 3}});
  controller.updateStateTools();
  for (const char* guid : guids)
    if (const int64_t i = toolbar->toolForGuid(QLatin1String(guid)); i != kFLToolNotFound && QLatin1String(guid) != QLatin1String("0A6917FC-FB6B-4DD5-BE0B-052561BB086D")) {
      EXPECT_TRUE(toolbar->tools()[size_t(i)].isEnabled) << guid;
    }
  document().setLocked(true);
  controller.updateStateTools();
  for (const char* guid : guids) {
    const int64_t i = toolbar->toolForGuid(QLatin1String(guid));
    ASSERT_NE(i, kFLToolNotFound) << guid;
    EXPECT_FALSE(toolbar->tools()[size_t(i)].isEnabled) << guid;
  }
  // Clicking a disabled tool sends nothing; an enabled one sends its action.
  const int64_t expand = toolbar->toolForGuid(QStringLiteral("C196A318-CDC4-4D6D-963D-5CE3F09F0EC9"));
  QTest::mouseClick(toolbar, Qt::LeftButton, {}, toolbar->tools()[size_t(expand)].rect.center().toPoint());
  EXPECT_TRUE(controller.lastToolAction().isEmpty());
  document().setLocked(false);
  controller.updateStateTools();
  QTest::mouseClick(toolbar, Qt::LeftButton, {}, toolbar->tools()[size_t(expand)].rect.center().toPoint());
  EXPECT_EQ(controller.lastToolAction(), "expandSheet:");
}

// Hands the password manager an empty keychain for the test's length.
struct TestKeychain {
  explicit TestKeychain(bool use) : wasUsing(manager.useKeychain()) {
    auto owned = std::make_unique<InMemoryKeychain>();
    keychain = owned.get();
    manager.setKeychain(std::move(owned));
    manager.setUseKeychain(use);
  }
  ~TestKeychain() {
    manager.setUseKeychain(wasUsing);
    manager.setKeychain(nullptr);
  }
  FLPasswordManager& manager = FLPasswordManager::sharedInstance();
  bool wasUsing;
  InMemoryKeychain* keychain = nullptr;
};

// The password sheet the window has up, if any.
FLPasswordVerifyDialog* PasswordSheet() {
  return qobject_cast<FLPasswordVerifyDialog*>(QApplication::activeModalWidget());
}

// Types the password into the sheet and presses OK, as the user would.
void AnswerSheet(FLPasswordVerifyDialog* sheet, const QString& typed) {
  sheet->passwordField()->clear();
  QTest::keyClicks(sheet->passwordField(), typed);
  sheet->buttons()->button(QDialogButtonBox::Ok)->click();
  DeliverQueuedWork();
}

// Opens the protected sample, copied into the folder, in the shown window; returns its path.
QString OpenProtected(CAWindowController& controller, const QTemporaryDir& folder) {
  const QString path = CopyPackage(folder, QStringLiteral("Protected.Numlet"));
  controller.mainWindow()->show();
  EXPECT_NE(controller.document()->openFile(path, nullptr), 0);
  DeliverQueuedWork();
  return path;
}

QStringList LabelTexts(const QWidget* sheet) {
  QStringList texts;
  for (const QLabel* label : sheet->findChildren<QLabel*>())
    if (!label->text().isEmpty() && label->objectName() != QLatin1String("errorField")) texts << label->text();
  return texts;
}

TEST_F(WindowControllerTest, AProtectedDocumentShowsItsCellsOnlyAfterItsPassword) {
  QTemporaryDir folder;
  OpenProtected(controller, folder);
  FLPasswordVerifyDialog* sheet = PasswordSheet();
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(sheet->parentWidget(), controller.mainWindow());
  EXPECT_TRUE(LabelTexts(sheet).contains("The document is password-protected."));
  EXPECT_TRUE(LabelTexts(sheet).contains("It is a test"));

  // A wrong password keeps the sheet up with the error, and still nothing is read.
  AnswerSheet(sheet, QStringLiteral("tset"));
  ASSERT_EQ(PasswordSheet(), sheet);
  EXPECT_EQ(sheet->errorField()->text(), "Password is incorrect");
  EXPECT_TRUE(document().rows().empty());

  AnswerSheet(sheet, QStringLiteral("test"));
  EXPECT_EQ(PasswordSheet(), nullptr);
  EXPECT_EQ(a1(), "Hello, world");
  // The title keeps the place where the unsaved-changes mark shows.
  EXPECT_EQ(controller.mainWindow()->windowTitle(), "Protected.Numlet[*]");
}

TEST_F(WindowControllerTest, AWithheldPasswordClosesTheWindowAndWritesNothing) {
  QTemporaryDir folder;
  const QStringList before = FolderState(CopyPackage(folder, QStringLiteral("Protected.Numlet")));
  const QString path = OpenProtected(controller, folder);
  FLPasswordVerifyDialog* sheet = PasswordSheet();
  ASSERT_NE(sheet, nullptr);
  AnswerSheet(sheet, QStringLiteral("wrong"));
  sheet->buttons()->button(QDialogButtonBox::Cancel)->click();
  DeliverQueuedWork();
  EXPECT_EQ(PasswordSheet(), nullptr);
  EXPECT_TRUE(document().rows().empty());
  EXPECT_TRUE(controller.isClosed());
  EXPECT_EQ(FolderState(path), before);
  EXPECT_EQ(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"Protected.Numlet"});
}

TEST_F(WindowControllerTest, TheKeychainsPasswordOpensWithoutAskingAndATypedOneIsKept) {
  TestKeychain test(true);
  QTemporaryDir folder;
  const QString path = OpenProtected(controller, folder);
  FLPasswordVerifyDialog* sheet = PasswordSheet();
  ASSERT_NE(sheet, nullptr);
  EXPECT_TRUE(sheet->keychainBox()->isChecked());
  AnswerSheet(sheet, QStringLiteral("test"));
  EXPECT_EQ(a1(), "Hello, world");
  const KeychainItem* kept = test.keychain->item(QLatin1String(kCAPasswordService), path);
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->data, "test");
  EXPECT_EQ(kept->label, "Tamsel Calculator");
  EXPECT_EQ(kept->description, "Tamsel Calculator document password");

  // Another window on the same package finds it there and asks nothing.
  CAWindowController again;
  again.mainWindow()->show();
  ASSERT_NE(again.document()->openFile(path, nullptr), 0);
  DeliverQueuedWork();
  EXPECT_EQ(PasswordSheet(), nullptr);
  EXPECT_FALSE(again.document()->rows().empty());
}

void Type(QLineEdit* field, const QString& text) {
  field->clear();
  QTest::keyClicks(field, text);
}

TEST_F(WindowControllerTest, APasswordIsSetAsAnUndoStepThenChangedAndRemovedThroughTheKeychain) {
  TestKeychain test(false);
  InMemoryKeychain* keychain = test.keychain;
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("Plain.Numlet"));
  document().setFilePath(path);
  controller.mainWindow()->show();
  const QString service = QLatin1String(kCAPasswordService);

  // Without the keychain the new password is an undo step.
  controller.passwordProtect();
  auto* set = qobject_cast<FLPasswordSetDialog*>(QApplication::activeModalWidget());
  ASSERT_NE(set, nullptr);
  EXPECT_FALSE(set->keychainBox()->isChecked());
  Type(set->password1Field(), QStringLiteral("secret1"));
  Type(set->password2Field(), QStringLiteral("secret1"));
  Type(set->hintField(), QStringLiteral("seven"));
  set->buttons()->button(QDialogButtonBox::Ok)->click();
  DeliverQueuedWork();
  EXPECT_EQ(document().password(), EncryptPassword(QStringLiteral("secret1"), kCADocumentPasswordSeed));
  EXPECT_EQ(document().passwordHint(), "seven");
  EXPECT_TRUE(document().passwordUnlocked());
  EXPECT_EQ(keychain->item(service, path), nullptr);
  // Undo takes the protection away again, redo brings back the password and its hint.
  for (int round = 0; round < 2; ++round) {
    controller.undoEdit();
    EXPECT_TRUE(document().password().isEmpty()) << round;
    EXPECT_TRUE(document().passwordHint().isEmpty()) << round;
    controller.redoEdit();
    EXPECT_EQ(document().password(), EncryptPassword(QStringLiteral("secret1"), kCADocumentPasswordSeed)) << round;
    EXPECT_EQ(document().passwordHint(), "seven") << round;
  }

  // Changed with the keychain box ticked: kept there, the undo stack emptied, the document dirty.
  controller.passwordProtect();
  auto* change = qobject_cast<FLPasswordChangeDialog*>(QApplication::activeModalWidget());
  ASSERT_NE(change, nullptr);
  EXPECT_EQ(change->hintField()->text(), "seven");
  Type(change->oldPasswordField(), QStringLiteral("secret1"));
  Type(change->password1Field(), QStringLiteral("secret2"));
  Type(change->password2Field(), QStringLiteral("secret2"));
  Type(change->hintField(), QStringLiteral("two"));
  change->keychainBox()->setChecked(true);
  change->buttons()->button(QDialogButtonBox::Ok)->click();
  DeliverQueuedWork();
  EXPECT_EQ(document().password(), EncryptPassword(QStringLiteral("secret2"), kCADocumentPasswordSeed));
  EXPECT_EQ(document().passwordHint(), "two");
  EXPECT_FALSE(undo().isUndoAvailable());
  EXPECT_TRUE(document().dirty());
  ASSERT_NE(keychain->item(service, path), nullptr);
  EXPECT_EQ(keychain->item(service, path)->data, "secret2");

  // A cancelled sheet changes nothing.
  controller.passwordProtect();
  change = qobject_cast<FLPasswordChangeDialog*>(QApplication::activeModalWidget());
  ASSERT_NE(change, nullptr);
  change->buttons()->button(QDialogButtonBox::Cancel)->click();
  DeliverQueuedWork();
  EXPECT_EQ(document().password(), EncryptPassword(QStringLiteral("secret2"), kCADocumentPasswordSeed));

  // The keychain's password is offered; both new fields empty remove the protection and the entry.
  controller.passwordProtect();
  change = qobject_cast<FLPasswordChangeDialog*>(QApplication::activeModalWidget());
  ASSERT_NE(change, nullptr);
  EXPECT_EQ(change->oldPasswordField()->text(), "secret2");
  Type(change->hintField(), QString());
  change->buttons()->button(QDialogButtonBox::Ok)->click();
  DeliverQueuedWork();
  EXPECT_TRUE(document().password().isEmpty());
  EXPECT_EQ(keychain->item(service, path), nullptr);
}

// The sheets wrap their warning and prompt at a readable width instead of stretching across the
// screen to hold them on one line, and show every line of them.
TEST_F(WindowControllerTest, ThePasswordSheetsKeepAReadableWidthAndShowTheirWholeText) {
  TestKeychain test(false);
  controller.mainWindow()->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(controller.mainWindow()));
  QAction* protect = controller.mainWindow()->menuBar()->findChild<QAction*>(QStringLiteral("passwordProtect:"));
  ASSERT_NE(protect, nullptr);
  for (const bool protectedAlready : {false, true}) {
    SCOPED_TRACE(protectedAlready ? "Change Password" : "Password Protect");
    protect->trigger();
    auto* sheet = qobject_cast<FLPasswordDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(sheet, nullptr);
    QTRY_VERIFY(sheet->isVisible());
    const auto* text = sheet->findChild<QLabel*>(QStringLiteral("errorField"));
    ASSERT_NE(text, nullptr);
    if (!protectedAlready) {
      EXPECT_TRUE(text->text().endsWith(QStringLiteral("removed when it is saved with the password.")))
          << text->text().toStdString();
      EXPECT_GE(text->height(), text->heightForWidth(text->width()));
      EXPECT_GT(text->height(), 2 * text->fontMetrics().height());  // wrapped, not one long line
    }
    EXPECT_GE(sheet->width(), sheet->keychainBox()->sizeHint().width());
    EXPECT_LE(sheet->width(), 640);
    EXPECT_LE(sheet->frameGeometry().width(), sheet->screen()->availableGeometry().width());
    if (protectedAlready) {
      sheet->buttons()->button(QDialogButtonBox::Cancel)->click();
      break;
    }
    auto* set = qobject_cast<FLPasswordSetDialog*>(sheet);
    ASSERT_NE(set, nullptr);
    Type(set->password1Field(), QStringLiteral("secret1"));
    Type(set->password2Field(), QStringLiteral("secret1"));
    set->buttons()->button(QDialogButtonBox::Ok)->click();
    DeliverQueuedWork();
    ASSERT_FALSE(document().password().isEmpty());
  }
  DeliverQueuedWork();
}

TEST_F(WindowControllerTest, TheAlignmentAndUndoToolsShowTheirState) {
  // Put both segmented tools in the bar, as a customised toolbar would have them.
  UserDefaults::standardUserDefaults().setObject(
      QVariantMap{{"TB Item Identifiers", QStringList{"58D3155F-45E6-4A65-8E84-6C53F9082292",
                                                      "1FBA0327-D92D-4F11-80AA-A5BD10BC3538"}}},
      QStringLiteral("NSToolbar Configuration C08B936A-8C8C-4EC6-B699-4893AAA58815"));
  CAWindowController custom;
  custom.prepareToShow();
  custom.mainWindow()->resize(900, 400);
  custom.mainWindow()->show();
  FLToolbarView* toolbar = custom.toolbarView();
  toolbar->grab();
  auto* align = qobject_cast<FLToolbarSegments*>(toolbar->viewForGuid("58D3155F-45E6-4A65-8E84-6C53F9082292"));
  auto* undoTool = qobject_cast<FLToolbarSegments*>(toolbar->viewForGuid("1FBA0327-D92D-4F11-80AA-A5BD10BC3538"));
  ASSERT_TRUE(align && undoTool);
  // "Def" and three pictures in 130: cap 5, avail 130 - 10 - 51 = 69, base 17, remainder 1.
  EXPECT_EQ(align->metrics().tabWidths, (std::vector<double>{32, 34, 34, 30}));
  CADocument& doc = *custom.document();
  CACell* cell = doc.cellAtGridPointImperative({0, 0});
  CAFormat format;
  format.setAlignment(kAlignmentRight);
  cell->setFormat(format);
  custom.updateStateTools();
  EXPECT_EQ(align->selectedTabIndex(), 3);
  EXPECT_FALSE(undoTool->isTabEnabled(0));
  const CAUndoContext context{{{0, 0}, {0, 0}}, 0};
  ASSERT_TRUE(custom.undoManager()->setUndoAction(kUndoActionCells, kUndoTyping, &context));
  DeliverQueuedWork();
  EXPECT_TRUE(undoTool->isTabEnabled(0));
  EXPECT_FALSE(undoTool->isTabEnabled(1));
  UserDefaults::standardUserDefaults().removeObjectForKey(
      QStringLiteral("NSToolbar Configuration C08B936A-8C8C-4EC6-B699-4893AAA58815"));
}

TEST_F(WindowControllerTest, ThePdfHoldsTheWholeSheetOrItsFirstPageAndPrintingMakesEveryPage) {
  document().setPrintLabels(false);  // the cells alone
  for (const GridPoint& point : {GridPoint{0, 0}, GridPoint{30, 120}})
    document().cellAtGridPointImperative(point)->setFormula(QStringLiteral("x"));
  CAGridGeometry geometry(&document());
  const QSizeF sheet = geometry.absoluteRectForRange({{0, 0}, {30, 120}}).size();
  // The page's width and height from the PDF's media box.
  const auto mediaBox = [](const QByteArray& pdf) {
    const qsizetype at = pdf.indexOf("/MediaBox [");
    const QList<QByteArray> numbers = pdf.mid(at + 11, pdf.indexOf(']', at) - at - 11).simplified().split(' ');
    return numbers.size() == 4 ? QSizeF(numbers[2].toDouble(), numbers[3].toDouble()) : QSizeF();
  };
  QSizeF size;
  const QByteArray preview = controller.pdfOfDocument(&size, nullptr);
  ASSERT_TRUE(preview.startsWith("%PDF-"));
  // The first page ends with the last column that fits the default paper within the margins.
  const QSizeF room = SheetPageRoom(document(), QSizeF(kDefaultPaperWidth, kDefaultPaperHeight));
  EXPECT_LE(size.width(), room.width());
  EXPECT_GT(size.width() + geometry.columnWidth(0), room.width());
  EXPECT_LE(size.height(), room.height());
  const QByteArray whole = controller.pdfOfDocument(nullptr, nullptr);
  EXPECT_EQ(mediaBox(whole).toSize(), QSize(int(std::ceil(sheet.width() + 2)), int(std::ceil(sheet.height() + 2))));
  EXPECT_EQ(mediaBox(preview).toSize(), size.toSize());

  // Printed on Letter paper: pages across, then down, as many as the breaks make.
  QTemporaryDir folder;
  const QString out = folder.filePath(QStringLiteral("printed.pdf"));
  ASSERT_EQ(controller.printWithInfo({{"outputFile", out}}, false), FLPrintReply::Success);
  QFile printed(out);
  ASSERT_TRUE(printed.open(QIODevice::ReadOnly));
  const QByteArray pages = printed.readAll();
  const QSizeF paper = QPrinter(QPrinter::HighResolution).pageLayout().fullRect(QPageLayout::Point).size();
  const CAPageBreaks breaks = SheetPageBreaks(geometry, SheetPageRoom(document(), paper), GridPoint{30, 120});
  EXPECT_EQ(pages.count("/Type /Page\n") + pages.count("/Type /Page\r"), qsizetype(breaks.columns.size() * breaks.rows.size()));
  EXPECT_GT(breaks.columns.size() * breaks.rows.size(), 1u);
}

TEST_F(WindowControllerTest, TheFormatPanelSlidesInAtTheRightAndOutAgain) {
  controller.mainWindow()->resize(900, 500);
  controller.mainWindow()->show();
  // The sheet: the scroll view inside its label strips.
  const QWidget* sheet = controller.scrollView()->parentWidget();
  const QWidget* row = sheet->parentWidget();
  const auto slideEnded = [&] {
    const QList<QAbstractAnimation*> slides = controller.findChildren<QAbstractAnimation*>();
    return std::none_of(slides.begin(), slides.end(), [](auto* slide) { return slide->state() == QAbstractAnimation::Running; });
  };
  controller.showFormatPanel(true);
  ASSERT_TRUE(QTest::qWaitFor(slideEnded, 10000));
  DeliverQueuedWork();
  EXPECT_EQ(sheet->width(), row->width() - controller.formatPanel()->width());
  EXPECT_EQ(controller.formatPanel()->geometry().left(), sheet->geometry().right() + 1);
  // Once in, the row keeps both: a wider window widens the sheet, not the panel.
  controller.mainWindow()->resize(1000, 500);
  DeliverQueuedWork();
  EXPECT_EQ(sheet->width(), row->width() - controller.formatPanel()->width());
  EXPECT_EQ(row->width(), 1000);

  controller.showFormatPanel(false);
  ASSERT_TRUE(QTest::qWaitFor(slideEnded, 10000));
  DeliverQueuedWork();
  EXPECT_TRUE(controller.formatPanel()->isHidden());
  EXPECT_EQ(sheet->width(), row->width());
  // Closed at once, even in the middle of a slide.
  controller.showFormatPanel(true);
  controller.forceFormatPanelClosed();
  DeliverQueuedWork();
  EXPECT_TRUE(controller.formatPanel()->isHidden());
  EXPECT_EQ(sheet->width(), row->width());
}

// A package that stores a frame of zero size opens in a window of the standard size, which shows
// the grid, not in one of the size the window happened to have.
TEST_F(WindowControllerTest, AStoredFrameOfZeroSizeOpensAtTheStandardSize) {
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("Zero.Numlet"));
  ASSERT_TRUE(QDir().mkpath(path));
  ASSERT_TRUE(WriteFileBytes(path + QStringLiteral("/document.xml"),
                             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<spreadsheet ver=\"1\">"
                             "<frame>{{0, 0}, {0, 0}}</frame></spreadsheet>\n"));
  QWidget* window = controller.mainWindow();
  window->show();
  window->setWindowState(Qt::WindowNoState);
  window->resize(400, 111);
  DeliverQueuedWork();
  ASSERT_FALSE(window->isMaximized());
  ASSERT_NE(document().openFile(path, nullptr), 0);
  DeliverQueuedWork();
  const QRect screen = window->screen()->availableGeometry();
  EXPECT_TRUE(window->isMaximized() || window->width() == screen.width() * 3 / 4) << window->width();
  EXPECT_GT(window->height(), 111);
}
