// A dialog or pane that goes while one of its fields holds an edit in progress (its window closed
// under it, or the pane dropped before it was placed) calls nothing of itself while its parts go:
// the field's edit ending as it loses the focus changes neither the document nor the dialog's
// settings, and the sanitizers find no call into a part already destroyed.
#include "calculator/controllers/CAFillDialog.h"
#include "calculator/controllers/CAFormatVLinkVC.h"
#include "calculator/controllers/CALinkDialog.h"
#include "calculator/controllers/CASortDialog.h"
#include "calculator/controllers/CAWindowController.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "framlet/foundation/FLKernel.h"
#include "support/LogCapture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

constexpr int kLongestWait = 20000;

// Gives the field the keys and types into it, so that its edit is in progress.
void StartEditing(QLineEdit* field) {
  ASSERT_NE(field, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(field->window()));
  field->window()->activateWindow();
  QApplication::setActiveWindow(field->window());
  ASSERT_TRUE(QTest::qWaitForWindowActive(field->window()));
  field->setFocus(Qt::OtherFocusReason);
  ASSERT_TRUE(QTest::qWaitFor([field] { return field->hasFocus(); }, kLongestWait));
  QTest::keyClicks(field, QStringLiteral("C9"));
}

TEST(DialogTeardown, AFieldEditingAsItsDialogGoesCallsNothingOfTheDialog) {
  LogCapture log;
  const struct {
    const char* name;
    // Opens the dialog over the window and starts an edit in one of its fields; the widget that
    // goes with the window.
    std::function<QWidget*(CAWindowController&)> open;
  } dialogs[] = {
      {"sort dialog, primary key",
       [](CAWindowController& controller) -> QWidget* {
         CASortDialog* dialog = CASortDialog::runSheetForWindow(controller);
         StartEditing(dialog->findChild<QLineEdit*>(QStringLiteral("primaryKeyField")));
         return dialog;
       }},
      {"sort dialog, secondary key",
       [](CAWindowController& controller) -> QWidget* {
         CASortDialog* dialog = CASortDialog::runSheetForWindow(controller);
         StartEditing(dialog->findChild<QLineEdit*>(QStringLiteral("secondaryKeyField")));
         return dialog;
       }},
      {"fill sheet, step",
       [](CAWindowController& controller) -> QWidget* {
         CAFillDialog* dialog = CAFillDialog::fillForDocument(*controller.document());
         if (!dialog) return nullptr;
         // A series that adds takes a step.
         if (auto* kinds = dialog->findChild<QButtonGroup*>(QStringLiteral("typeMatrix")); kinds && kinds->button(1))
           kinds->button(1)->click();
         StartEditing(dialog->findChild<QLineEdit*>(QStringLiteral("valueField")));
         return dialog;
       }},
      {"link sheet, with its open panel up",
       [](CAWindowController& controller) -> QWidget* {
         CALinkDialog* dialog = CALinkDialog::runSheetForWindow(controller);
         if (!dialog) return nullptr;
         const QList<QLineEdit*> fields = dialog->findChildren<QLineEdit*>();
         if (!fields.isEmpty()) StartEditing(fields.first());
         dialog->selectFile();
         return dialog;
       }},
  };
  for (const auto& d : dialogs) {
    SCOPED_TRACE(d.name);
    FLKernel::sharedInstance();
    auto controller = std::make_unique<CAWindowController>();
    controller->prepareToShow();
    controller->mainWindow()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(controller->mainWindow()));
    CADocument& document = *controller->document();
    document.setCellAtPoint(GridPoint{0, 0}, QVariant(QStringLiteral("a")), kValueText);
    document.setSelectionPoint(GridPoint{0, 0});
    const QPointer<QWidget> dialog = d.open(*controller);
    ASSERT_FALSE(dialog.isNull());
    ASSERT_TRUE(dialog->isVisible());
    const GridPoint key1 = document.sortKey1();
    const GridPoint key2 = document.sortKey2();
    const QString before = document.cellAtGridPoint(GridPoint{0, 0})->formula();
    // The dialog goes as its window's closing takes it, its field still holding the keys.
    delete dialog.data();
    QCoreApplication::processEvents();
    // Nothing the field held went anywhere.
    EXPECT_EQ(document.sortKey1(), key1);
    EXPECT_EQ(document.sortKey2(), key2);
    const CACell* cell = document.cellAtGridPoint(GridPoint{0, 0});
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->formula(), before);
    EXPECT_FALSE(controller->undoManager()->isUndoAvailable());
    // And the window goes with nothing of the dialog left to call.
    controller.reset();
    QCoreApplication::processEvents();
  }
}

// A pane made and dropped before the panel placed it takes its view with it: the view's field,
// losing the keys as it goes, enters nothing into the cell the pane showed.
TEST(DialogTeardown, APaneDroppedWithItsFieldEditingCallsNothingOfThePane) {
  LogCapture log;
  FLKernel::sharedInstance();
  CAWindowController controller;
  CADocument& document = *controller.document();
  document.setCellAtPoint(GridPoint{0, 0}, QVariant(QStringLiteral("https://example.org")), kValueLink);
  document.setSelectionPoint(GridPoint{0, 0});
  auto* pane = new CAFormatVLinkVC;
  pane->setDocument(&document);
  QWidget* view = pane->view();
  ASSERT_NE(view, nullptr);
  view->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
  StartEditing(view->findChild<QLineEdit*>(QStringLiteral("addressField")));
  const QString before = document.cellAtGridPoint(GridPoint{0, 0})->formula();
  const QPointer<QWidget> watched = view;
  delete pane;
  EXPECT_TRUE(watched.isNull());
  const CACell* cell = document.cellAtGridPoint(GridPoint{0, 0});
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->formula(), before);
  EXPECT_FALSE(controller.undoManager()->isUndoAvailable());
}

}  // namespace
