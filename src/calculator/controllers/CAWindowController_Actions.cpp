// The spreadsheet window's commands, from its menu items and its tools: one table names each
// command, where its item sits in the menus, what it does and when it is enabled. A command ends
// typing in the grid first, then makes one document operation and redraws.
#include "calculator/controllers/CAWindowController.h"

#include "calculator/controllers/CAAppController.h"
#include "calculator/controllers/CAColorWell.h"
#include "calculator/controllers/CAFindDialog.h"
#include "calculator/controllers/CAPrefController.h"
#include "calculator/controllers/caFontPanel.h"
#include "calculator/controllers/caPreferenceKeys.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CAFormat.h"
#include "calculator/model/caCommandGuard.h"
#include "calculator/model/caModelServices.h"
#include "calculator/views/CACellView.h"
#include "calculator/views/caViewNotifications.h"
#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/flBase.h"
#include "framlet/shell/FLPopoverBaseVC.h"
#include "framlet/shell/FLSpeechManager.h"
#include "framlet/shell/FLToolbarSegments.h"
#include "framlet/shell/flStandardKeys.h"
#include "platform/NotificationCenter.h"
#include "platform/Pasteboard.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTimer>

#include <cmath>
#include <functional>
#include <new>
#include <cstdlib>
#include <limits>

// kZoomMenu is the View menu's "Zoom To" submenu.
enum CAWindowMenu { kNoMenu, kFileMenu, kEditMenu, kFormatMenu, kViewMenu, kZoomMenu };

struct CAWindowActionEntry {
  const char* action;      // the command, as menu items and tools name it
  const char* objectName;  // the item's object name where several items share a command; null: the action
  const char* title;       // null: a tool's command without a menu item
  CAWindowMenu menu;
  const char* before;  // the application's item this one goes before; null: at the end of the menu
  bool separatorBefore;
  QKeySequence::StandardKey standardShortcut;
  int shortcut;
  int64_t tag;
  bool checkable;
  void (CAWindowController::*perform)(int64_t tag);
  bool (CAWindowController::*validate)(int64_t tag, QAction* item) const;

  QString itemName() const { return QLatin1String(objectName ? objectName : action); }
};

namespace {

// The panels' commands, which go with the panels too.
constexpr const char* kShowFontsItemName = "showFonts:";
constexpr const char* kShowColorsItemName = "showColors:";

constexpr QKeySequence::StandardKey kNoKey = QKeySequence::UnknownKey;
constexpr int kCtrl = int(Qt::CTRL);
constexpr int kShift = int(Qt::SHIFT);
constexpr int kAlt = int(Qt::ALT);

constexpr const char* kPrintItem = "printDocument:";
// The window's File items go in the application's File menu above Settings.
constexpr const char* kPreferencesItem = "showPreferences:";
constexpr const char* kPasswordProtectAction = "passwordProtect:";
constexpr const char* kZoomByPercentAction = "zoomByPercent:";

// The quick formulas by tag: AVERAGE and SUM.
constexpr int32_t kQuickFormulaFunctions[] = {9, 85};
// Where the clipboard's style came from when it was not a column.
constexpr int64_t kNoCopiedDigitCount = -1000000;

// The style Copy Style took, for every window.
struct CACopiedStyle {
  std::optional<CAFormat> format;
  int64_t digitCount = kNoCopiedDigitCount;
  int64_t width = 0;
};

CACopiedStyle& CopiedStyle() {
  static CACopiedStyle style;
  return style;
}

QString Tr(const char* text) { return QApplication::translate("CAWindowController", text); }

}  // namespace

std::span<const CAWindowActionEntry> CAWindowController::actionEntries() {
  using C = CAWindowController;
  static const CAWindowActionEntry kEntries[] = {
      // File: the menu items, their keys and the toolbar's Print tool all come here.
      {"saveDocument:", nullptr, "Save", kFileMenu, kPreferencesItem, true, QKeySequence::Save, 0, 0, false,
       &C::saveDocumentAction, &C::canSave},
      {"saveDocumentAs:", nullptr, "Save As…", kFileMenu, kPreferencesItem, false, kNoKey,
       kCtrl | kShift | int(Qt::Key_S), 0, false, &C::saveDocumentAsAction, &C::alwaysEnabled},
      {"saveDocumentCopy:", nullptr, "Save a Copy…", kFileMenu, kPreferencesItem, false, kNoKey,
       kCtrl | kAlt | kShift | int(Qt::Key_S), 0, false, &C::saveDocumentCopyAction, &C::alwaysEnabled},
      {"revertDocumentToSaved:", nullptr, "Revert to Saved", kFileMenu, kPreferencesItem, false, kNoKey, 0, 0, false,
       &C::revertDocumentAction, &C::canRevert},
      {kPasswordProtectAction, nullptr, "Password Protect…", kFileMenu, kPreferencesItem, true, kNoKey, 0, 0, false,
       &C::passwordProtectAction, &C::passwordState},
      {"runPageLayout:", nullptr, "Page Setup…", kFileMenu, kPreferencesItem, false, kNoKey,
       kCtrl | kShift | int(Qt::Key_P), 0, false, &C::runPageLayoutAction, &C::alwaysEnabled},
      {kPrintItem, nullptr, "Print…", kFileMenu, kPreferencesItem, false, QKeySequence::Print, 0, 0, false,
       &C::printDocumentAction, &C::alwaysEnabled},
      // Edit
      {"cut:", nullptr, "Cut", kEditMenu, nullptr, true, QKeySequence::Cut, 0, 0, false, &C::cutAction,
       &C::canDeleteSelection},
      {"copy:", nullptr, "Copy", kEditMenu, nullptr, false, QKeySequence::Copy, 0, 0, false, &C::copyAction,
       &C::canCopy},
      {"paste:", nullptr, "Paste", kEditMenu, nullptr, false, QKeySequence::Paste, 0, 0, false, &C::pasteAction,
       &C::canPaste},
      {"pasteAsPlainText:", nullptr, "Paste as Plain Text", kEditMenu, nullptr, false, kNoKey,
       kCtrl | kAlt | kShift | int(Qt::Key_V), 0, false, &C::pasteAsPlainTextAction, &C::canPaste},
      {"clear:", "clear:2", "Clear Contents", kEditMenu, nullptr, false, kNoKey, 0, kClearContents, false,
       &C::clearAction, &C::unlocked},
      {"clear:", "clear:1", "Clear Formats", kEditMenu, nullptr, false, kNoKey, 0, kClearFormats, false,
       &C::clearAction, &C::unlocked},
      {"clear:", "clear:0", "Clear All", kEditMenu, nullptr, false, kNoKey, 0, kClearAll, false, &C::clearAction,
       &C::unlocked},
      {"delete:", nullptr, "Delete", kEditMenu, nullptr, false, kNoKey, 0, 0, false, &C::deleteAction,
       &C::canDeleteSelection},
      {"selectAll:", nullptr, "Select All", kEditMenu, nullptr, false, QKeySequence::SelectAll, 0, 0, false,
       &C::selectAllAction, &C::alwaysEnabled},
      {"insertCells:", "insertCells:0", "Insert Cells Right", kEditMenu, nullptr, true, kNoKey, 0, 0, false,
       &C::insertCellsAction, &C::canInsert},
      {"insertCells:", "insertCells:1", "Insert Cells Down", kEditMenu, nullptr, false, kNoKey, 0, 1, false,
       &C::insertCellsAction, &C::canInsert},
      {"insertRowOrColumn:", "insertRowOrColumn:0", "Insert Columns", kEditMenu, nullptr, false, kNoKey, 0, 0, false,
       &C::insertRowOrColumnAction, &C::canInsert},
      {"insertRowOrColumn:", "insertRowOrColumn:1", "Insert Rows", kEditMenu, nullptr, false, kNoKey, 0, 1, false,
       &C::insertRowOrColumnAction, &C::canInsert},
      {"deleteCells:", "deleteCells:0", "Delete Cells Left", kEditMenu, nullptr, false, kNoKey, 0, 0, false,
       &C::deleteCellsAction, &C::canDeleteCells},
      {"deleteCells:", "deleteCells:1", "Delete Cells Up", kEditMenu, nullptr, false, kNoKey, 0, 1, false,
       &C::deleteCellsAction, &C::canDeleteCells},
      {"deleteRowOrColumn:", "deleteRowOrColumn:0", "Delete Columns", kEditMenu, nullptr, false, kNoKey, 0, 0, false,
       &C::deleteRowOrColumnAction, &C::canDeleteRowOrColumn},
      {"deleteRowOrColumn:", "deleteRowOrColumn:1", "Delete Rows", kEditMenu, nullptr, false, kNoKey, 0, 1, false,
       &C::deleteRowOrColumnAction, &C::canDeleteRowOrColumn},
      {"insertCheckbox:", nullptr, "Insert Checkbox", kEditMenu, nullptr, true, kNoKey, 0, 0, false,
       &C::insertCheckboxAction, &C::unlocked},
      {"insertPicture:", nullptr, "Insert Picture…", kEditMenu, nullptr, false, kNoKey, 0, 0, false,
       &C::insertPictureAction, &C::unlocked},
      {"insertLink:", nullptr, "Insert Link…", kEditMenu, nullptr, false, kNoKey, kCtrl | int(Qt::Key_K), 0, false,
       &C::insertLinkAction, &C::unlocked},
      {"insertQuickFormula:", "insertQuickFormula:0", "Insert Average", kEditMenu, nullptr, false, kNoKey, 0, 0,
       false, &C::insertQuickFormulaAction, &C::unlocked},
      {"insertQuickFormula:", "insertQuickFormula:1", "Insert Sum", kEditMenu, nullptr, false, kNoKey, 0, 1, false,
       &C::insertQuickFormulaAction, &C::unlocked},
      {"fillDown:", nullptr, "Fill Down", kEditMenu, nullptr, false, kNoKey, kCtrl | int(Qt::Key_D), 0, false,
       &C::fillDownAction, &C::canFillDown},
      {"fillRight:", nullptr, "Fill Right", kEditMenu, nullptr, false, kNoKey, kCtrl | int(Qt::Key_R), 0, false,
       &C::fillRightAction, &C::canFillRight},
      {"fill:", nullptr, "Fill Series…", kEditMenu, nullptr, false, kNoKey, 0, 0, false, &C::fillAction,
       &C::canFillSeries},
      {"sort:", nullptr, "Sort…", kEditMenu, nullptr, false, kNoKey, 0, 0, false, &C::sortAction, &C::unlocked},
      {"find:", nullptr, "Find…", kEditMenu, nullptr, true, QKeySequence::Find, 0, 0, false, &C::findAction,
       &C::alwaysEnabled},
      {"findNext:", nullptr, "Find Next", kEditMenu, nullptr, false, QKeySequence::FindNext, 0, 0, false,
       &C::findNextAction, &C::alwaysEnabled},
      {"findPrevious:", nullptr, "Find Previous", kEditMenu, nullptr, false, QKeySequence::FindPrevious, 0, 0, false,
       &C::findPreviousAction, &C::alwaysEnabled},
      {"jumpToSearch:", nullptr, "Jump to Search", kEditMenu, nullptr, false, kNoKey, kCtrl | kAlt | int(Qt::Key_F),
       0, false, &C::jumpToSearchAction, &C::alwaysEnabled},
      {"useSelectionForFind:", nullptr, "Use Selection for Find", kEditMenu, nullptr, false, kNoKey,
       kCtrl | int(Qt::Key_E), 0, false, &C::useSelectionForFindAction, &C::alwaysEnabled},
      {"jumpToSelection:", nullptr, "Jump to Selection", kEditMenu, nullptr, false, kNoKey, kCtrl | int(Qt::Key_J), 0,
       false, &C::jumpToSelectionAction, &C::alwaysEnabled},
      {"quickSearch:", nullptr, nullptr, kNoMenu, nullptr, false, kNoKey, 0, 0, false, &C::quickSearchAction,
       &C::alwaysEnabled},
      {"startSpeaking:", nullptr, "Start Speaking", kEditMenu, nullptr, true, kNoKey, 0, 0, false,
       &C::startSpeakingAction, &C::alwaysEnabled},
      // Format
      {"bold:", nullptr, "Bold", kFormatMenu, nullptr, false, QKeySequence::Bold, 0, 0, false, &C::boldAction,
       &C::unlocked},
      {"italic:", nullptr, "Italic", kFormatMenu, nullptr, false, QKeySequence::Italic, 0, 0, false, &C::italicAction,
       &C::unlocked},
      {"underline:", nullptr, "Underline", kFormatMenu, nullptr, false, QKeySequence::Underline, 0, 0, false,
       &C::underlineAction, &C::unlocked},
      {"strike:", nullptr, "Strikethrough", kFormatMenu, nullptr, false, kNoKey, 0, 0, false, &C::strikeAction,
       &C::unlocked},
      {"plain:", nullptr, "Plain Text", kFormatMenu, nullptr, false, kNoKey, 0, 0, false, &C::plainAction,
       &C::unlocked},
      {"align:", "align:104", "Align Automatically", kFormatMenu, nullptr, true, kNoKey, 0, kAlignmentAuto, true,
       &C::alignAction, &C::alignState},
      {"align:", "align:100", "Align Left", kFormatMenu, nullptr, false, kNoKey, kCtrl | int(Qt::Key_BraceLeft),
       kAlignmentLeft, true, &C::alignAction, &C::alignState},
      {"align:", "align:101", "Center", kFormatMenu, nullptr, false, kNoKey, kCtrl | int(Qt::Key_Bar),
       kAlignmentCenter, true, &C::alignAction, &C::alignState},
      {"align:", "align:102", "Align Right", kFormatMenu, nullptr, false, kNoKey, kCtrl | int(Qt::Key_BraceRight),
       kAlignmentRight, true, &C::alignAction, &C::alignState},
      {"align:", "align:103", "Justify", kFormatMenu, nullptr, false, kNoKey, 0, kAlignmentJustified, true,
       &C::alignAction, &C::alignState},
      {kShowFontsItemName, nullptr, "Show Fonts", kFormatMenu, nullptr, true, kNoKey, kCtrl | int(Qt::Key_T), 0, false,
       &C::showFontsAction, &C::alwaysEnabled},
      {kShowColorsItemName, nullptr, "Show Colors", kFormatMenu, nullptr, false, kNoKey, kCtrl | kShift | int(Qt::Key_C), 0,
       false, &C::showColorsAction, &C::alwaysEnabled},
      {"copyStyle:", "copyStyle:0", "Copy Style", kFormatMenu, nullptr, true, kNoKey, kCtrl | kAlt | int(Qt::Key_C),
       0, false, &C::copyStyleAction, &C::alwaysEnabled},
      {"copyStyle:", "copyStyle:1", "Copy Composed Style", kFormatMenu, nullptr, false, kNoKey, 0, 1, false,
       &C::copyStyleAction, &C::alwaysEnabled},
      {"pasteStyle:", nullptr, "Paste Style", kFormatMenu, nullptr, false, kNoKey, kCtrl | kAlt | int(Qt::Key_V), 0,
       false, &C::pasteStyleAction, &C::canPasteStyle},
      {"forceRecalc:", nullptr, "Recalculate", kFormatMenu, nullptr, true, kNoKey, kCtrl | kShift | int(Qt::Key_R), 0,
       false, &C::forceRecalcAction, &C::alwaysEnabled},
      // View
      {"toggleFormulas:", nullptr, "Show Formulas", kViewMenu, nullptr, false, kNoKey, 0, 0, true, &C::toggleFormulasAction, &C::formulasState},
      {"toggleOnlyUsed:", nullptr, "Only Used Cells", kViewMenu, nullptr, false, kNoKey, 0, 0, true,
       &C::toggleOnlyUsedAction, &C::onlyUsedState},
      {"togglePageBreaks:", nullptr, "Show Page Breaks", kViewMenu, nullptr, false, kNoKey, 0, 0, true,
       &C::togglePageBreaksAction, &C::pageBreaksState},
      {"zoomIn:", nullptr, "Zoom In", kViewMenu, nullptr, true, QKeySequence::ZoomIn, 0, 0, false, &C::zoomInAction,
       &C::alwaysEnabled},
      {"zoomOut:", nullptr, "Zoom Out", kViewMenu, nullptr, false, QKeySequence::ZoomOut, 0, 0, false,
       &C::zoomOutAction, &C::alwaysEnabled},
      {kZoomByPercentAction, nullptr, "Actual Size", kViewMenu, nullptr, false, kNoKey, kCtrl | int(Qt::Key_0), 100,
       false, &C::zoomByPercentAction, &C::alwaysEnabled},
      {"changeZoom:", nullptr, nullptr, kNoMenu, nullptr, false, kNoKey, 0, 0, false, &C::changeZoomAction,
       &C::alwaysEnabled},
      {kZoomByPercentAction, "zoomByPercent:25", "25%", kZoomMenu, nullptr, false, kNoKey, 0, 25, true,
       &C::zoomByPercentAction, &C::zoomPercentState},
      {kZoomByPercentAction, "zoomByPercent:33", "33%", kZoomMenu, nullptr, false, kNoKey, 0, 33, true,
       &C::zoomByPercentAction, &C::zoomPercentState},
      {kZoomByPercentAction, "zoomByPercent:50", "50%", kZoomMenu, nullptr, false, kNoKey, 0, 50, true,
       &C::zoomByPercentAction, &C::zoomPercentState},
      {kZoomByPercentAction, "zoomByPercent:66", "66%", kZoomMenu, nullptr, false, kNoKey, 0, 66, true,
       &C::zoomByPercentAction, &C::zoomPercentState},
      {kZoomByPercentAction, "zoomByPercent:75", "75%", kZoomMenu, nullptr, false, kNoKey, 0, 75, true,
       &C::zoomByPercentAction, &C::zoomPercentState},
      {kZoomByPercentAction, "zoomByPercent:100", "100%", kZoomMenu, nullptr, false, kNoKey, 0, 100, true,
       &C::zoomByPercentAction, &C::zoomPercentState},
      {kZoomByPercentAction, "zoomByPercent:125", "125%", kZoomMenu, nullptr, false, kNoKey, 0, 125, true,
       &C::zoomByPercentAction, &C::zoomPercentState},
      {kZoomByPercentAction, "zoomByPercent:150", "150%", kZoomMenu, nullptr, false, kNoKey, 0, 150, true,
       &C::zoomByPercentAction, &C::zoomPercentState},
      {kZoomByPercentAction, "zoomByPercent:175", "175%", kZoomMenu, nullptr, false, kNoKey, 0, 175, true,
       &C::zoomByPercentAction, &C::zoomPercentState},
      {kZoomByPercentAction, "zoomByPercent:200", "200%", kZoomMenu, nullptr, false, kNoKey, 0, 200, true,
       &C::zoomByPercentAction, &C::zoomPercentState},
      {kZoomByPercentAction, "zoomByPercent:250", "250%", kZoomMenu, nullptr, false, kNoKey, 0, 250, true,
       &C::zoomByPercentAction, &C::zoomPercentState},
      {kZoomByPercentAction, "zoomByPercent:300", "300%", kZoomMenu, nullptr, false, kNoKey, 0, 300, true,
       &C::zoomByPercentAction, &C::zoomPercentState},
      {kZoomByPercentAction, "zoomByPercent:400", "400%", kZoomMenu, nullptr, false, kNoKey, 0, 400, true,
       &C::zoomByPercentAction, &C::zoomPercentState},
      {"toggleFormatPanel:", nullptr, "Show Format Panel", kViewMenu, nullptr, true, kNoKey,
       kCtrl | kAlt | int(Qt::Key_I), 0, true, &C::toggleFormatPanelAction, &C::formatPanelState},
      {"expandSheet:", "expandSheet:0", "Expand Down", kViewMenu, nullptr, true, kNoKey, 0, 0, false,
       &C::expandSheetAction, &C::unlocked},
      {"expandSheet:", "expandSheet:1", "Expand Right", kViewMenu, nullptr, false, kNoKey, 0, 1, false,
       &C::expandSheetAction, &C::unlocked},
      {"shrinkSheet:", nullptr, "Shrink to Content", kViewMenu, nullptr, false, kNoKey, 0, 0, false,
       &C::shrinkSheetAction, &C::alwaysEnabled},
      {"toggleToolbar:", nullptr, "Hide Toolbar", kViewMenu, nullptr, true, kNoKey, kCtrl | kAlt | int(Qt::Key_T), 0,
       false, &C::toggleToolbarAction, &C::toolbarState},
      {"customizeToolbar:", nullptr, "Customize Toolbar…", kViewMenu, nullptr, false, kNoKey, 0, 0, false,
       &C::customizeToolbarAction, &C::toolbarState},
  };
  return kEntries;
}

// ---- Menu items and validation --------------------------------------------------------------

void CAWindowController::installMenuItems() {
  static constexpr const char* kMenuNames[] = {nullptr, kCAFileMenuName, kCAEditMenuName, kCAFormatMenuName,
                                               kCAViewMenuName};
  QMenu* menus[std::size(kMenuNames) + 1] = {};
  for (size_t m = 1; m <= std::size(kMenuNames); ++m) {
    if (m == kZoomMenu) {
      // Made at its place once the View menu's items before it are in.
      menus[m] = new QMenu(Tr("Zoom To"), menus[kViewMenu]);
      menus[m]->setObjectName(QLatin1String(kCAZoomToMenuName));
    } else {
      menus[m] = window_->menuBar()->findChild<QMenu*>(QLatin1String(kMenuNames[m]));
    }
    if (!menus[m]) {
      menus[m] = window_->menuBar()->addMenu(QLatin1String(kMenuNames[m]));
      menus[m]->setObjectName(QLatin1String(kMenuNames[m]));
    }
    connect(menus[m], &QMenu::aboutToShow, this, [this, menu = menus[m]] {
      FLPopoverBaseVC::closePopovers();
      for (QAction* item : menu->actions()) {
        if (const CAWindowActionEntry* entry = entryForItem(item)) validateEntry(*entry, item);
      }
    });
    // What the shown menu greyed for the document's changes must not leave a key dead for the
    // next change (not every change is announced): such items validate again when they come.
    connect(menus[m], &QMenu::aboutToHide, this, [this, menu = menus[m]] {
      for (QAction* item : menu->actions()) {
        const CAWindowActionEntry* entry = entryForItem(item);
        if (entry && followsDocumentChanges(*entry)) item->setEnabled(true);
      }
    });
  }
  for (const CAWindowActionEntry& entry : actionEntries()) {
    if (!entry.title) continue;
    QMenu* menu = menus[entry.menu];
    if (entry.menu == kZoomMenu && menu->isEmpty()) {
      menus[kViewMenu]->addMenu(menu);
      // One step at a time: the items show as a choice.
      new QActionGroup(menu);
    }
    auto* item = new QAction(Tr(entry.title), menu);
    item->setObjectName(entry.itemName());
    item->setData(QVariant::fromValue<qlonglong>(entry.tag));
    item->setCheckable(entry.checkable);
    if (entry.menu == kZoomMenu) menu->findChild<QActionGroup*>()->addAction(item);
    if (entry.standardShortcut != kNoKey) item->setShortcuts(StandardShortcuts(entry.standardShortcut));
    else item->setShortcut(QKeySequence(entry.shortcut));
    QAction* before = nullptr;
    if (entry.before) before = menu->findChild<QAction*>(QLatin1String(entry.before));
    // The item joins the group above the one it goes before, ahead of the separator that opens it.
    if (before) {
      const QList<QAction*> items = menu->actions();
      const qsizetype at = items.indexOf(before);
      if (at > 0 && items[at - 1]->isSeparator()) before = items[at - 1];
    }
    if (before && entry.separatorBefore) menu->insertSeparator(before);
    if (!before && entry.separatorBefore) menu->addSeparator();
    menu->insertAction(before, item);
    connect(item, &QAction::triggered, this, [this, &entry, item] {
      FLPopoverBaseVC::closePopovers();
      runEntry(entry, entry.tag, item, true);
    });
  }
  validateMenuItems();
}

const CAWindowActionEntry* CAWindowController::entryForItem(const QAction* item) const {
  if (!item || item->objectName().isEmpty()) return nullptr;
  for (const CAWindowActionEntry& entry : actionEntries()) {
    if (entry.title && entry.itemName() == item->objectName()) return &entry;
  }
  return nullptr;
}

bool CAWindowController::validateEntry(const CAWindowActionEntry& entry, QAction* item) {
  // Nothing of the window acts while its toolbar is being customised.
  const bool customizing = toolbarView_ && toolbarView_->isCustomizing();
  const bool enabled = !customizing && (this->*entry.validate)(entry.tag, item);
  if (item) item->setEnabled(enabled);
  return enabled;
}

bool CAWindowController::validateMenuItem(QAction* item) {
  const CAWindowActionEntry* entry = entryForItem(item);
  if (!entry) return false;
  FLPopoverBaseVC::closePopovers();
  return validateEntry(*entry, item);
}

void CAWindowController::validateMenuItems() {
  if (!window_) return;
  for (QAction* item : window_->menuBar()->findChildren<QAction*>()) {
    const CAWindowActionEntry* entry = entryForItem(item);
    if (entry && !followsDocumentChanges(*entry)) validateEntry(*entry, item);
  }
}

bool CAWindowController::followsDocumentChanges(const CAWindowActionEntry& entry) {
  return entry.validate == &CAWindowController::canSave || entry.validate == &CAWindowController::canRevert;
}

void CAWindowController::validateMenuItemsSoon() {
  if (validationScheduled_) return;
  validationScheduled_ = true;
  QTimer::singleShot(0, this, [this] {
    validationScheduled_ = false;
    validateMenuItems();
  });
}

bool CAWindowController::performAction(const QString& action, int64_t tag) {
  const CAWindowActionEntry* match = nullptr;
  for (const CAWindowActionEntry& entry : actionEntries()) {
    if (action != QLatin1String(entry.action)) continue;
    if (!match || entry.tag == tag) match = &entry;
    if (entry.tag == tag) break;
  }
  if (!match) return false;
  // A tool's own state is its validation (updateStateTools); its tag may differ from the
  // items' (-1: decided by the selection).
  runEntry(*match, tag, nullptr, false);
  updateStateTools();
  return true;
}

// The one way into a command, from its item, its key or its tool. A shortcut reaches the command
// without the menu being shown, so the command is checked as it comes; one that cannot run beeps
// and leaves its item as it was, so that the key still answers once it can.
bool CAWindowController::runEntry(const CAWindowActionEntry& entry, int64_t tag, QAction* item, bool check) {
  // Save and Revert go by the document's changes, and typing not yet entered (in a cell or in
  // the formula bar) is a change: it goes in before they are looked at.
  if (followsDocumentChanges(entry)) commitTyping();
  if (check || followsDocumentChanges(entry)) {
    const bool customizing = toolbarView_ && toolbarView_->isCustomizing();
    if (customizing || !(this->*entry.validate)(tag, item)) {
      WorkspaceBeep();
      return false;
    }
  }
  const bool done = runCommand([&] { (this->*entry.perform)(tag); });
  // The command has ended, done or told as failed: the menus are checked again when shown in
  // any case, so a check that cannot be scheduled for memory changes nothing of what was said.
  try {
    validateMenuItemsSoon();
  } catch (const std::bad_alloc& exception) {
    LogException(exception, CommandMemoryMessage());
  }
  return done;
}

bool CAWindowController::runCommand(CACommandRef command) {
  return RunGuardedCommand(*document_, command);
}

// ---- States --------------------------------------------------------------------------------

int32_t CAWindowController::rowColumnEditType(int64_t tag) const {
  if (tag == 0) return kEditColumns;
  if (tag == 1) return kEditRows;
  return document_->editTypeForSelection();
}

bool CAWindowController::unlocked(int64_t, QAction*) const { return !document_->isLocked(); }

bool CAWindowController::canDeleteSelection(int64_t, QAction*) const {
  return !document_->isLocked() && document_->canDelete(kEditFromSelection);
}

bool CAWindowController::canDeleteCells(int64_t tag, QAction*) const {
  return !document_->isLocked() && document_->canDelete(tag == 0 ? kEditCellsHorizontal : kEditCellsVertical);
}

bool CAWindowController::canDeleteRowOrColumn(int64_t tag, QAction*) const {
  return !document_->isLocked() && document_->canDelete(rowColumnEditType(tag));
}

bool CAWindowController::canInsert(int64_t tag, QAction*) const {
  if (document_->isLocked()) return false;
  const int32_t range = TypeOfRange(nullptr, document_->selectionRange());
  switch (rowColumnEditType(tag)) {
    case kEditRows:
      return range != kRangeColumns;
    case kEditColumns:
      return range != kRangeRows;
    default:
      LogAssert("Unknown edit type", __func__, __FILE__, __LINE__);
      return false;
  }
}

bool CAWindowController::canSave(int64_t, QAction*) const { return document_->dirty(); }

bool CAWindowController::canRevert(int64_t, QAction*) const {
  return document_->dirty() && !document_->filePath().isEmpty();
}

// Copying gives the cells away: only once the password (if any) was given.
bool CAWindowController::canCopy(int64_t, QAction*) const {
  return document_->password().isEmpty() || document_->passwordUnlocked();
}

bool CAWindowController::canPaste(int64_t, QAction*) const {
  if (document_->isLocked()) return false;
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  if (!data) return false;
  const QStringList types = CADocument::clipboardTypes();
  return std::any_of(types.begin(), types.end(), [data](const QString& type) { return PasteboardHasType(*data, type); });
}

bool CAWindowController::canPasteStyle(int64_t, QAction*) const {
  return !document_->isLocked() && CopiedStyle().format.has_value();
}

bool CAWindowController::canFillDown(int64_t, QAction*) const {
  const GridRange& range = document_->selectionRange();
  return !document_->isLocked() && range.endPoint.y > range.startPoint.y;
}

bool CAWindowController::canFillRight(int64_t, QAction*) const {
  const GridRange& range = document_->selectionRange();
  return !document_->isLocked() && range.endPoint.x > range.startPoint.x;
}

bool CAWindowController::alignState(int64_t tag, QAction* item) const {
  if (item) {
    const CACell* cell = document_->activeCell();
    const CAFormat* format = cell ? cell->format() : nullptr;
    const bool own = format && (format->mask() & kFormatAlignment);
    item->setChecked(own ? format->alignment() == tag : tag == kAlignmentAuto);
  }
  return !document_->isLocked();
}

bool CAWindowController::passwordState(int64_t, QAction* item) const {
  if (item)
    item->setText(document_->password().isEmpty() ? Tr("Password Protect…") : Tr("Change Password…"));
  return !document_->isLocked();
}

bool CAWindowController::formulasState(int64_t, QAction* item) const {
  if (item) item->setChecked(document_->showFormulas());
  return true;
}

bool CAWindowController::onlyUsedState(int64_t, QAction* item) const {
  if (item) item->setChecked(document_->showOnlyOccupied());
  return true;
}

bool CAWindowController::zoomPercentState(int64_t tag, QAction* item) const {
  if (item) item->setChecked(std::lround(document_->zoomValue() * 100) == tag);
  return true;
}

bool CAWindowController::formatPanelState(int64_t, QAction* item) const {
  if (item) item->setChecked(showingFormatPanel());
  return true;
}

bool CAWindowController::pageBreaksState(int64_t, QAction* item) const {
  if (item) item->setChecked(document_->showPageBreaks());
  return true;
}

bool CAWindowController::toolbarState(int64_t, QAction* item) const {
  if (!toolbarView_) return false;
  if (item && item->objectName() == QLatin1String("toggleToolbar:")) {
    item->setText(toolbarView_->isVisible() ? Tr("Hide Toolbar") : Tr("Show Toolbar"));
    return true;
  }
  // Customising shows a hidden toolbar first.
  return toolbarView_->canCustomize();
}

// ---- Commands ------------------------------------------------------------------------------

void CAWindowController::redrawGrid() {
  if (CACellView* view = cellView()) view->redraw();
}

void CAWindowController::commitTyping() {
  if (CACellView* view = cellView()) view->stopTyping(true);
  if (!formulaTextView_) return;
  const bool barEditing = formulaTextView_->holdsTyping() || window_->focusWidget() == formulaTextView_;
  formulaTextView_->commitEditing();
  // A command ends the bar's editing as it ends the grid's: the keys go back to the grid, where
  // the next key types into the cell the command left active and Ctrl+Z reaches the sheet's undo
  // rather than the bar's own.
  if (barEditing) focusCellView();
}

bool CAWindowController::setPropertyUndo(uint64_t mask) {
  return setPropertyUndo(mask, mask == kCAFontPropertyMask ? int32_t(kDomainDocument) : document_->selectedDomain());
}

bool CAWindowController::setPropertyUndo(uint64_t mask, int32_t domain) {
  // A change the model would refuse records no step that undoes nothing.
  if (!document_->formatsFitCommandLimit(document_->selectionRange(), domain)) {
    WorkspaceBeep();
    return false;
  }
  const uint32_t action = mask == kCAFontPropertyMask ? kUndoActionLayout : kUndoActionFormats;
  if (mask == propertyMask_ && domain == propertyDomain_ && undoManager_.isUndoIDActive(propertyUndoID_)) return true;
  propertyMask_ = mask;
  propertyDomain_ = domain;
  propertySelection_ = document_->selectionRange();
  propertyUndoID_ = undoManager_.newUndoID();
  return document_->setUndo(propertyUndoID_, action, kUndoTextFormat, document_->selectionRange(), domain);
}

void CAWindowController::align(int64_t alignment) {
  if (document_->isLocked()) return;
  commitTyping();
  if (!setPropertyUndo(kFormatAlignment)) return;
  document_->setValue(alignment, kFormatAlignment, propertyDomain_);
  redrawSelectionForDomain(propertyDomain_);
  updateStateTools();
}

void CAWindowController::alignAction(int64_t tag) { align(tag); }

void CAWindowController::toggleStyle(uint64_t mask) {
  if (document_->isLocked()) return;
  commitTyping();
  if (!setPropertyUndo(mask)) return;
  document_->toggleValueForMask(mask, propertyDomain_);
  redrawSelectionForDomain(propertyDomain_);
}

void CAWindowController::changeFont(const QFont& font) {
  if (document_->isLocked()) return;
  commitTyping();
  if (!setPropertyUndo(kCAFontPropertyMask)) return;
  document_->setFont(font);
  RelayLongTextForFont(*document_);
  adjustCellViewForNewData();
  redrawGrid();
}

void CAWindowController::changeColor(Kolor kolor) {
  if (document_->isLocked() || document_->colorChangeBlock() != 0) return;
  if (uint32_t(kolor) < 0x01000000) kolor = kNoKolor;
  if (!setPropertyUndo(kFormatTextColor)) return;
  document_->setValue(int64_t(uint32_t(kolor)), kFormatTextColor, propertyDomain_);
  redrawSelectionForDomain(propertyDomain_);
  if (KolorIsColor(kolor)) CAColorWell::uncheckNoColorButton();
}

void CAWindowController::noColor() { changeColor(kNoKolor); }

void CAWindowController::clearAction(int64_t tag) {
  commitTyping();
  document_->clear(int32_t(tag));
  redrawSelectionForDomain(kDomainCell);
}

void CAWindowController::plainAction(int64_t) { clearAction(kClearFormats); }

void CAWindowController::copyAction(int64_t) {
  commitTyping();
  document_->copy();
}

void CAWindowController::cutAction(int64_t) {
  commitTyping();
  // Nothing copied (an empty selection) leaves nothing to clear.
  if (document_->copy()) document_->clearRange(document_->selectionRange(), kClearContents, kUndoCut);
  redrawSelectionForDomain(kDomainCell);
}

void CAWindowController::pasteAction(int64_t) {
  commitTyping();
  const CAPrefController* prefs = CAPrefController::sharedInstance();
  document_->paste(nullptr, prefs && prefs->value(CABoolPreference::plainPaste));
}

void CAWindowController::pasteAsPlainTextAction(int64_t) {
  commitTyping();
  document_->paste(nullptr, true);
}

void CAWindowController::copyStyleAction(int64_t tag) {
  commitTyping();
  const GridPoint point = document_->activeCellPoint();
  const int32_t domain = document_->selectedDomain();
  CACopiedStyle& style = CopiedStyle();
  style.digitCount = kNoCopiedDigitCount;
  style.width = 0;
  if (domain == kDomainColumn) {
    const CAColumn* column = document_->column(point.x);
    style.digitCount = column ? column->digitCount() : 0;
    style.width = column ? column->width() : 0;
  }
  if (tag == 1) {
    style.format = document_->composedFormat(point);
  } else {
    const CAFormat* format = document_->formatForDomain(domain, point);
    style.format = format ? format->copy() : document_->defaultFormat().copy();
  }
}

void CAWindowController::pasteStyleAction(int64_t) {
  const CACopiedStyle& style = CopiedStyle();
  if (!style.format || document_->isLocked()) return;
  commitTyping();
  if (!document_->canApplyFormat()) {
    WorkspaceBeep();
    return;
  }
  if (!document_->setUndo(kFLNewUndoID, kUndoActionFormats, kUndoPasteStyle, document_->selectionRange(),
                          document_->selectedDomain()))
    return;
  document_->applyFormat(*style.format, style.digitCount, style.width);
  NotificationCenter::defaultCenter().post(QLatin1String(kLabelsNotification), document_.get());
  adjustCellViewForNewData();
  redrawGrid();
}

void CAWindowController::deleteAction(int64_t) {
  commitTyping();
  document_->deleteSelection(kEditFromSelection);
  redrawGrid();
}

void CAWindowController::deleteCellsAction(int64_t tag) {
  commitTyping();
  document_->deleteSelection(tag == 0 ? kEditCellsHorizontal : kEditCellsVertical);
  redrawGrid();
}

void CAWindowController::deleteRowOrColumnAction(int64_t tag) {
  commitTyping();
  document_->deleteSelection(rowColumnEditType(tag));
  redrawGrid();
}

void CAWindowController::insertCellsAction(int64_t tag) {
  commitTyping();
  switch (TypeOfRange(nullptr, document_->selectionRange())) {
    case kRangeColumns:
      document_->insert(kEditColumns);
      break;
    case kRangeRows:
      document_->insert(kEditRows);
      break;
    default:
      document_->insert(tag == 0 ? kEditCellsHorizontal : kEditCellsVertical);
      break;
  }
  redrawGrid();
}

void CAWindowController::insertRowOrColumnAction(int64_t tag) {
  commitTyping();
  document_->insert(rowColumnEditType(tag));
  redrawGrid();
}

void CAWindowController::insertCheckboxAction(int64_t) {
  commitTyping();
  document_->insertCheckboxes();
  redrawGrid();
}

void CAWindowController::insertPictureAction(int64_t) {
  commitTyping();
  QStringList patterns;
  for (const QString& extension : FLImage::fileExtensions()) patterns.append(QStringLiteral("*.") + extension);
  patterns.append(QStringLiteral("*.pictClipping"));
  auto* panel = new QFileDialog(window_.get(), Tr("Select a picture to insert into the active cell"));
  panel->setAttribute(Qt::WA_DeleteOnClose);
  panel->setFileMode(QFileDialog::ExistingFile);
  panel->setNameFilter(Tr("Pictures (%1)").arg(patterns.join(QLatin1Char(' '))));
  connect(panel, &QFileDialog::fileSelected, this, [this, panel](const QString& path) {
    panel->hide();
    if (!path.isEmpty()) document_->insertPicture(path);
  });
  panel->open();
}

void CAWindowController::insertQuickFormulaAction(int64_t tag) {
  if (tag != 0 && tag != 1) {
    WorkspaceBeep();
    return;
  }
  commitTyping();
  document_->insertQuickFormula(kQuickFormulaFunctions[tag]);
  redrawGrid();
}

// A copy fill: down (direction 0) or right (1), every other field zero.
void CAWindowController::fillInDirection(int32_t direction) {
  commitTyping();
  CAFillInfo info;
  info.direction = direction;
  document_->fillUsingInfo(info);
}

void CAWindowController::findAction(int64_t) {
  commitTyping();
  CAFindDialog::showFind();
}

// The toolbar's search field, when it shows, stands for the find panel.
void CAWindowController::jumpToSearchAction(int64_t tag) {
  QLineEdit* field = searchField();
  if (!field || !toolbarView_->isVisible() || !toolbarView_->isViewToolVisible(field)) {
    findAction(tag);
    return;
  }
  commitTyping();
  field->setFocus(Qt::ShortcutFocusReason);
  field->selectAll();
}

void CAWindowController::findNextAction(int64_t) {
  commitTyping();
  document_->find(true, false);
}

void CAWindowController::findPreviousAction(int64_t) {
  commitTyping();
  document_->find(false, false);
}

void CAWindowController::quickSearchAction(int64_t) {
  commitTyping();
  CAPrefController* prefs = CAPrefController::sharedInstance();
  const QLineEdit* field = searchField();
  if (!prefs || !field) return;
  const QString text = field->text();
  prefs->setSearchString(text);
  if (!text.isEmpty()) document_->find(true, prefs->value(CAIntPreference::searchOptionMask) & kSearchFromStart);
  NotificationCenter::defaultCenter().post(QLatin1String(kSearchChangedNotification), this);
}

void CAWindowController::useSelectionForFindAction(int64_t) {
  QString text;
  QWidget* focus = QApplication::focusWidget();
  if (focus && focus == cellView()) {
    if (const CACell* cell = document_->activeCell())
      text = document_->showFormulas() && !cell->formula().isEmpty() ? cell->formula() : cell->displayText(false);
  } else if (auto* line = qobject_cast<QLineEdit*>(focus)) {
    text = line->selectedText();
  } else if (auto* edit = qobject_cast<QTextEdit*>(focus)) {
    text = edit->textCursor().selectedText();
  } else if (auto* plain = qobject_cast<QPlainTextEdit*>(focus)) {
    text = plain->textCursor().selectedText();
  }
  CAPrefController* prefs = CAPrefController::sharedInstance();
  if (text.isEmpty() || !prefs) {
    WorkspaceBeep();
    return;
  }
  prefs->setSearchString(text);
  NotificationCenter::defaultCenter().post(QLatin1String(kSearchChangedNotification), this);
}

void CAWindowController::forceRecalcAction(int64_t) {
  commitTyping();
  document_->recalcEverything();
  document_->evaluate();
  redrawGrid();
}

void CAWindowController::toggleFormulasAction(int64_t) {
  commitTyping();
  document_->setShowFormulas(!document_->showFormulas());
  document_->invalidateAllLongText();
  document_->layOutLongText();
  updateStateTools();
  redrawGrid();
}

void CAWindowController::toggleOnlyUsedAction(int64_t) {
  commitTyping();
  const bool on = !document_->showOnlyOccupied();
  if (on) document_->setSelectionPoint(GridPoint{0, 0});
  document_->setShowOnlyOccupied(on);
  updateStateTools();
  adjustCellViewForNewData();
  redrawGrid();
}

void CAWindowController::togglePageBreaksAction(int64_t) {
  commitTyping();
  document_->setShowPageBreaks(!document_->showPageBreaks());
  updatePageBreaks();
  redrawGrid();
}

void CAWindowController::toggleToolbarAction(int64_t) {
  if (toolbarView_) toolbarView_->toggleToolbar();
}

void CAWindowController::customizeToolbarAction(int64_t) {
  if (toolbarView_) toolbarView_->customizeToolbar();
}

void CAWindowController::shrinkSheetAction(int64_t) {
  commitTyping();
  document_->setMaxDisplayGridPoint(GridPoint{0, 0});
  if (CACellView* view = cellView()) {
    view->scrollToGridPoint(GridPoint{0, 0});
    view->setContentFrame();
    view->redraw();
  }
}

void CAWindowController::jumpToSelectionAction(int64_t) { jumpToSelection(); }

void CAWindowController::selectAllAction(int64_t) {
  commitTyping();
  if (CACellView* view = cellView()) view->performCommand(CAGridCommand::SelectAll, this);
}

// The colour panel is the one the format panes use; the font panel is one per window, acting on
// this window.
void CAWindowController::showColorsAction(int64_t) {
  if (CAColorWell::panelVisible()) {
    CAColorWell::closePanel();
    return;
  }
  const QPointer<CAWindowController> self(this);
  CAColorWell::showPanelFor(
      window_.get(), document_->formatForActiveCell().textKolor(),
      [self](Kolor kolor) {
        if (self) self->changeColor(kolor);
      },
      [self] {
        if (self) self->noColor();
      });
  givePanelCommands(CAColorWell::panelWindow());
}

void CAWindowController::givePanelCommands(QWidget* panel) {
  if (!panel) return;
  for (QAction* command : panel->actions()) panel->removeAction(command);
  for (const char* name : {kShowFontsItemName, kShowColorsItemName}) {
    if (QAction* item = window_->findChild<QAction*>(QLatin1String(name))) panel->addAction(item);
  }
}

void CAWindowController::showFontsAction(int64_t) {
  if (fontPanel_ && fontPanel_->isVisible()) {
    fontPanel_->hide();
    return;
  }
  if (!fontPanel_) {
    fontPanel_ = new QFontDialog(window_.get());
    fontPanel_->setOption(QFontDialog::NoButtons);
    connect(fontPanel_, &QFontDialog::currentFontChanged, this, &CAWindowController::fontPanelChanged);
    givePanelCommands(fontPanel_);
  }
  ShowFontInPanel(fontPanel_, document_->font(), &fontPanelFont_);
  fontPanel_->show();
  fontPanel_->raise();
  fontPanel_->activateWindow();
}

void CAWindowController::fontPanelChanged(const QFont& chosen) {
  bool familyChanged = false;
  changeFont(FontFromPanelChoice(document_->font(), chosen, fontPanelFont_, &familyChanged));
  if (familyChanged && fontPanel_) {
    ShowFontInPanel(fontPanel_, document_->font(), &fontPanelFont_);
  } else {
    fontPanelFont_ = chosen;
  }
}

void CAWindowController::printDocumentAction(int64_t) {
  commitTyping();
  // Printing can stall the application for a while: unsaved changes are kept in an autosave
  // copy first (a clean document has nothing to lose).
  document_->prepareToSave(true);
  if (document_->dirty()) document_->forceAutosave();
  printWithInfo({}, true);
}

void CAWindowController::saveDocumentAction(int64_t) {
  commitTyping();
  saveDocument();
}

void CAWindowController::saveDocumentAsAction(int64_t) {
  commitTyping();
  saveDocumentAs();
}

void CAWindowController::saveDocumentCopyAction(int64_t) {
  commitTyping();
  saveDocumentTo();
}

void CAWindowController::revertDocumentAction(int64_t) {
  commitTyping();
  showRevertAlert();
}

void CAWindowController::passwordProtectAction(int64_t) {
  commitTyping();
  passwordProtect();
}

void CAWindowController::startSpeakingAction(int64_t) { startSpeaking(); }

void CAWindowController::startSpeaking() {
  FLSpeechManager& speech = FLSpeechManager::sharedInstance();
  speech.stopSpeaking();
  commitTyping();
  const QString text = SpokenTextOfRange(*document_, document_->selectionRange(), document_->showFormulas());
  if (!text.isEmpty()) speech.speakString(text);
}

QString SpokenTextOfRange(const CADocument& document, const GridRange& selection, bool formulas) {
  GridRange range = selection;
  const int32_t type = TypeOfRange(&range, selection);
  if (type == kRangeInvalid) return {};
  const GridPoint last = document.maxGridPoint();
  if (type == kRangeRows) {
    range.startPoint.x = 0;
    range.endPoint.x = last.x;
  } else if (type == kRangeColumns) {
    range.startPoint.y = 0;
    range.endPoint.y = last.y;
  }
  QString text;
  document.readCellsInRange(range, [&](const CACell& cell, bool&) {
    const QString shown = formulas && !cell.formula().isEmpty() ? cell.formula() : cell.displayText(false);
    if (shown.isEmpty()) return;
    text += shown;
    text += QLatin1String(". ");
  });
  return text;
}

// ---- Zoom and the sheet's extent -------------------------------------------------------------

std::optional<double> NextZoomStep(double zoom, bool zoomIn) {
  // Steps and stored zooms agree to a hundredth: 0.33 is the step 0.33.
  constexpr double kSlack = 0.001;
  if (zoomIn) {
    for (double step : kCAZoomSteps) {
      if (step > zoom + kSlack) return step;
    }
    return std::nullopt;
  }
  for (auto it = std::rbegin(kCAZoomSteps); it != std::rend(kCAZoomSteps); ++it) {
    if (*it < zoom - kSlack) return *it;
  }
  return std::nullopt;
}

void CAWindowController::setZoom(double zoom) {
  if (CACellView* view = cellView()) view->setZoomValue(zoom);
  NotificationCenter::defaultCenter().post(QLatin1String(kLabelsNotification), document_.get());
  selectZoomTool(zoom);
}

void CAWindowController::zoomIn() {
  const CACellView* view = cellView();
  if (!view) return;
  if (const std::optional<double> step = NextZoomStep(view->zoomValue(), true)) setZoom(*step);
}

void CAWindowController::zoomOut() {
  const CACellView* view = cellView();
  if (!view) return;
  if (const std::optional<double> step = NextZoomStep(view->zoomValue(), false)) setZoom(*step);
}

void CAWindowController::zoomByPercentAction(int64_t tag) {
  if (tag >= CADocument::kMinimumZoomPercent && tag <= CADocument::kMaximumZoomPercent) setZoom(double(tag) / 100);
}

void CAWindowController::toggleFormatPanelAction(int64_t) { showFormatPanel(!showingFormatPanel()); }

void CAWindowController::changeZoomAction(int64_t) {
  const QComboBox* popUp = zoomTool();
  const int percent = popUp ? popUp->currentData().toInt() : 0;
  if (percent < CADocument::kMinimumZoomPercent || percent > CADocument::kMaximumZoomPercent) return;
  if (CACellView* view = cellView()) view->setZoomValue(double(percent) / 100);
  NotificationCenter::defaultCenter().post(QLatin1String(kLabelsNotification), document_.get());
}

void CAWindowController::expandSheet(int64_t tag) {
  CACellView* view = cellView();
  if (!view || document_->isLocked()) return;
  commitTyping();
  document_->setShowOnlyOccupied(false);
  const CAGridGeometry& geometry = view->gridGeometry();
  const QSizeF visible = view->visibleRect().size();
  // A: the far corner of what the sheet shows now, at least a screenful from the origin.
  const GridPoint extent{std::max(document_->maxGridPoint().x, document_->maxDisplayGridPoint().x),
                         std::max(document_->maxGridPoint().y, document_->maxDisplayGridPoint().y)};
  const double right = std::max(geometry.columnLeft(extent.x) + geometry.columnWidth(extent.x), visible.width());
  const double bottom = std::max(geometry.rowTop(extent.y) + geometry.rowHeight(extent.y), visible.height());
  const GridPoint a{geometry.columnAtOffset(right), geometry.rowAtOffset(bottom)};
  // B: one screenful further right (or down), so that each expansion adds at least four
  // columns (rows) or a screenful.
  if (tag == 1) {
    const int64_t b = geometry.columnAtOffset(right + visible.width());
    document_->registerDisplayGridPoint(GridPoint{std::max(a.x + 4, b), 0});
  } else {
    const int64_t b = geometry.rowAtOffset(bottom + visible.height());
    document_->registerDisplayGridPoint(GridPoint{0, std::max(b, a.y + 4)});
  }
  updateStateTools();
  view->setContentFrame();
  view->redraw();
}
