// A spreadsheet document window: the window, its document, the document's undo stack, the
// toolbar across the top, the formula bar below it and the sheet's scroll view below that. The
// controller is the undo stack's client, supplies and updates the toolbar's tools, and asks for
// a protected document's password before its cells are read.
#pragma once

#include "calculator/model/caCommandGuard.h"
#include "calculator/model/caPackageWindow.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CADocumentWindow.h"
#include "calculator/model/caUndoArchives.h"
#include "calculator/controllers/CAPropertyController.h"
#include "calculator/views/CAFormulaTextView.h"
#include "calculator/views/CAPropertyContainerView.h"
#include "calculator/views/CAScrollView.h"
#include "framlet/shell/FLDocumentWC.h"
#include "framlet/shell/FLToolbarDelegate.h"
#include "framlet/shell/FLToolbarSegmentsDelegate.h"
#include "framlet/shell/FLToolbarView.h"
#include "framlet/shell/FLUndoManager.h"

#include <QFont>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <span>

class CACellView;
class CAPropertyController;
class CASpreadsheetView;
class QDialog;
class FLToolbarSegments;
struct FLPasswordInfo;
class QAction;
class QColorDialog;
class QComboBox;
class QLineEdit;
class QFontDialog;
class QHBoxLayout;
class QMenu;
struct CAWindowActionEntry;

// setPropertyUndo's mask for the document's font (the other masks are the format's).
inline constexpr uint64_t kCAFontPropertyMask = 0x80000000;

// The zoom steps of Zoom In and Zoom Out, smallest first.
inline constexpr double kCAZoomSteps[] = {0.25, 0.33, 0.5, 0.66, 0.75, 1, 1.25, 1.5, 1.75, 2, 2.5, 3, 4};
// The step Zoom In (or Out) goes to from the zoom: the nearest step above (below) it; none at or
// beyond the last (first) step.
std::optional<double> NextZoomStep(double zoom, bool zoomIn);
// The words Start Speaking reads: the display texts of the range's cells ("formulas": their
// formula texts), row by row, each followed by ". "; whole rows stop at the last used column and
// whole columns at the last used row.
QString SpokenTextOfRange(const CADocument& document, const GridRange& selection, bool formulas);

// The spreadsheet window's toolbar and its tools.
inline constexpr const char* kCAToolbarGuid = "C08B936A-8C8C-4EC6-B699-4893AAA58815";
inline constexpr uint64_t kCAToolbarItemCount = 20;
extern const FLToolbarItem kCAToolbarItems[kCAToolbarItemCount];
// Bar tags of the two segmented tools.
inline constexpr uint64_t kCAAlignmentBar = 1;
inline constexpr uint64_t kCAUndoBar = 2;
// The recent searches of the window's search field.
inline constexpr const char* kCARecentSearchKey = "numlet.search";

// The document-password check values are made with this seed; keychain entries live under the
// service, one per document path.
inline constexpr const char* kCADocumentPasswordSeed = "_3Kq.Wz7P";
inline constexpr const char* kCAPasswordService = "com.orvandel.calculator";
inline constexpr const char* kCAPasswordLabel = "Tamsel Calculator";
inline constexpr const char* kCAPasswordDescription = "Tamsel Calculator document password";
inline constexpr const char* kCAPasswordPrompt = "The document is password-protected.";

class CAWindowController : public FLDocumentWC,
                           public CADocumentWindow,
                           public CAPackageWindow,
                           public FLToolbarDelegate,
                           public FLToolbarSegmentsDelegate {
  Q_OBJECT

 public:
  // Makes the window ("MainWindow") and an empty document; the window is not shown yet.
  CAWindowController();
  ~CAWindowController() override;

  CADocument* document() const override { return document_.get(); }
  // The spreadsheet controller of a document window; null for any other window.
  static CAWindowController* controllerOfWindow(const QWidget* window);
  QWidget* window() const override { return window_.get(); }
  QMainWindow* mainWindow() const { return window_.get(); }
  CAScrollView* scrollView() const { return scrollView_; }
  // The scroll view's grid; null once the window has let go of it.
  CACellView* cellView() const;
  CAFormulaTextView* formulaTextView() const { return formulaTextView_; }
  // The grid takes the keys (the formula bar's editing ended, or a find selected a cell).
  void focusCellView() override;

  // Whether an edit was ever recorded, even one undone since.
  bool everEdited() const { return everEdited_; }
  // A title that replaces the document's name (an autosave copy's) until it is saved; empty: none.
  void setTitleOverride(const QString& title) { titleOverride_ = title; }
  // The path a recovered copy's document had ("untitled" for one never saved): its save
  // proposes that name and folder.
  void setRecoveredFromPath(const QString& path) { recoveredFromPath_ = path; }
  // Before the window first shows: its title and place (a native document keeps the frame it
  // stored), the zoom, and the tools in step with the document.
  virtual void prepareToShow();
  FLToolbarView* toolbarView() const { return toolbarView_; }

  // ---- Undo and redo from the window's menus and toolbar
  void undoEdit();
  void redoEdit();
  // Runs a command that may change the document through the one guard every command passes: it
  // completes, or the document and its undo history are as they were and the window alerts.
  bool runCommand(CACommandRef command);
  // The undo tool's segments follow what the stack can undo and redo.
  void updateUndoTool();
  // Tools that depend on the document and the selection: enabled while it is not locked, the
  // alignment of the active cell, the views' alternate pictures.
  void updateStateTools();
  void selectionChanged();
  // The last action a tool sent.
  QString lastToolAction() const { return lastToolAction_; }

  // ---- Menu and toolbar commands (CAWindowController_Actions.cpp)
  // Each ends typing in the grid first (committing it), then makes one document operation and
  // redraws. `tag` is the sending menu item's or tool's tag.
  // The window's items join the application's menus in the window's menu bar.
  void installMenuItems();
  // Enables, checks and retitles one of the window's menu items; false for an item that is not
  // the window's.
  bool validateMenuItem(QAction* item);
  // Validates every item of the window after the selection or the document changed, so that
  // shortcuts agree with the menus (coalesced to the next turn of the event loop); open popovers
  // stay open.
  void validateMenuItemsSoon();
  void validateMenuItems();
  // Performs the window's command of that action name and tag after validating it; false when
  // the window has no such command or it is disabled.
  bool performAction(const QString& action, int64_t tag);
  // The formatting commands' coalesced undo step: repeated changes of one property in one
  // domain join the step in progress; false when a new step was refused.
  bool setPropertyUndo(uint64_t mask);
  // The same for a format domain the caller chose (a format pane's).
  bool setPropertyUndo(uint64_t mask, int32_t domain);
  // The domain of the pending property step.
  int32_t propertyDomain() const { return propertyDomain_; }
  // Alignment by value (a menu item's tag or the alignment segments' choice).
  void align(int64_t alignment);
  void toggleStyle(uint64_t mask);
  void changeFont(const QFont& font);
  // The font panel reports a font: the document's font takes what the user changed in it (the
  // family, the style, the size or an effect), and only that.
  void fontPanelChanged(const QFont& chosen);
  QFontDialog* fontPanel() const;
  void changeColor(Kolor kolor);
  void noColor();
  void setZoom(double zoom);
  void zoomIn();
  void zoomOut();
  void expandSheet(int64_t tag);
  void startSpeaking();
  // Ends typing in the grid and enters what the formula bar holds, keeping what was typed.
  void commitTyping();
  void redrawGrid();

  // ---- Password of a protected document
  // The package reader found a password file: the keychain's password, else the user's. One
  // prompt is up at a time, its window in front; the others wait their turn.
  void askForPassword();
  // The window whose password prompt is up, or null.
  static QWidget* windowShowingPasswordPrompt();
  // The password was checked (valid) or the dialog cancelled; the given password is stored in
  // the keychain when it is in use.
  void passwordValidated(bool wasValid, const QString& password);
  // Gives the document a password, or changes or removes the one it has, through a sheet that
  // answers passwordSet.
  void passwordProtect();
  // The set or change sheet ended: when confirmed the document takes the new password's check
  // value (none removes the protection) and hint, with an undo step or, with the keychain in
  // use, the password kept there.
  void passwordSet(bool success, const FLPasswordInfo& newPassword);
  // Brings the window to the front with its password prompt.
  void showPasswordPrompt();

  // ---- FLToolbarDelegate
  QString toolbarGuid() const override { return QLatin1String(kCAToolbarGuid); }
  const FLToolbarItem* toolbarItems() const override { return kCAToolbarItems; }
  uint64_t numberOfToolbarItems() const override { return kCAToolbarItemCount; }
  QStringList defaultToolbarItems() const override;
  QString recentSearchKey(const FLToolbarItem& item, FLToolbarView* toolbar) override;
  QMenu* menuForPopup(const FLToolbarItem& item, FLToolbarView* toolbar) override;
  void setupCompleteForToolbar(FLToolbarView*) override { updateStateTools(); }
  void toolbarBecameVisible(FLToolbarView*) override { updateStateTools(); }
  void toolbarItemsChanged(FLToolbarView*) override { updateStateTools(); }
  // The window's commands hold back while its toolbar is customised; the sheet takes the keys
  // again once the palette has gone.
  void customizationWillBeginForToolbar(FLToolbarView*) override { validateMenuItemsSoon(); }
  void customizationDidEndForToolbar(FLToolbarView*) override {
    focusCellView();
    validateMenuItemsSoon();
  }
  void sendToolbarAction(const QString& action, FLToolbarView* toolbar) override;

  // ---- FLToolbarSegmentsDelegate
  QVariantList tabsForSegments(FLToolbarSegments* segments) override;
  void tabWasSelected(int64_t index, FLToolbarSegments* segments) override;

  // ---- CADocumentWindow
  void redrawCell(const GridPoint& point) override;
  void redrawRange(const GridRange& range) override;
  void redrawSelectionForDomain(int32_t domain) override;
  void removeTooltipForCell(const CACell& cell) override;
  void adjustCellViewForNewData() override;
  void jumpToSelection() override;
  void scrollAfterDelete() override;
  // The preferences the window's views hold themselves (Return in the formula bar, dropping
  // files and text on the grid), taken again whenever a preference changes.
  void applyPreferences();
  // A document's window title shows its file name without the extension while the preference
  // asks for it.
  void applyTitlePreference();
  bool showsSheet() const override;
  void setWindowVisible(bool visible) override;
  void performClose() override;
  FLUndoManager* undoManager() override { return &undoManager_; }
  void giveAlert(const QString& message, const QString& information) override;

  // ---- FLDocumentWC
  // Text typed and not yet entered (in a cell or in the formula bar) is a change: it goes in
  // before the window looks at whether the document changed, so closing asks about it.
  bool windowShouldClose(FLDocumentAppDelegate* quitting) override;
  // A recovered copy is named as its window names it.
  QString nameForSave() const override;
  QString untitledSaveProposal() const override;
  std::unique_ptr<FLDocumentSaveFormatVC> saveFormatVC() override;
  QWidget* printView() override;
  // The sheet's pages, within the document's margins.
  bool printToPrinter(QPrinter& printer) override;
  void modifyPrintInfo(QPrinter& printer) override;

  // ---- CAPackageWindow
  QRectF contentRect() const override;
  void setContentRect(const QRectF& rect) override;
  void placeAtStandardSize() override;
  bool showingFormatPanel() const override { return formatPanelShown_; }
  void forceFormatPanelClosed() override;
  // Slides the format panel in at the window's right, taking its width from the sheet, or out
  // again, giving it back.
  void showFormatPanel(bool show);
  CAPropertyContainerView* formatPanel() const { return formatPanel_; }
  // The panel's controller, once the panel was first shown.
  CAPropertyController* propertyController() const { return propertyController_; }
  GridPoint scrollPoint() const override;
  void scrollToGridPoint(const QString& text) override;
  void synchronizeWindowTitle() override;
  QByteArray pdfOfDocument(QSizeF* size, FLError* error) override;
  QWidget* printOptionsVC() override;

  // The page set-up panel ended: accepted keeps its step and the paper moves the page breaks;
  // otherwise the step recorded before it goes again.
  void pageLayoutEnded(int result);
  QDialog* pageLayoutPanel() const { return pageLayoutPanel_; }
  // While page breaks are shown the cell view shows those of the document's paper.
  void updatePageBreaks();
  // The function list beside the formula typed in a cell; anchor in the cell view.
  void showFormulaPopup(const QRect& anchor);
  CASpreadsheetView* spreadsheetView() const;

 protected:
  void windowWillClose() override;
  // Another document window became the one the user works in: the font and colour panels that
  // act on this window go, so that nothing they send lands here unseen.
  void windowDidResignMain();
  bool eventFilter(QObject* watched, QEvent* event) override;
  // An untitled window moved or resized while new windows take the last untitled place: its
  // frame becomes that place.
  void windowDidMove();

 private:
  // The document's undo archiver, with the window's part: refusing steps it cannot name or
  // whose context is not a context, and marking, redrawing and updating the window.
  class Archiver : public CAUndoArchiver {
   public:
    Archiver(CADocument& document, CAWindowController& owner) : CAUndoArchiver(document), owner_(owner) {}
    bool setUndoAction(uint32_t action, uint32_t descriptor, void* data, const void* context) override;
    bool undoOrRedo(uint32_t* action, uint32_t descriptor, void* data, bool isRedo) override;

   protected:
    void stepRecorded() override;
    void stepReplayed(bool isRedo) override;
    void stepPopped() override;

   private:
    CAWindowController& owner_;
  };

  void buildToolbar();
  // Lets controllerOfWindow find this controller from its window.
  void markWindow();
  FLToolbarSegments* segmentsWithTag(uint64_t barTag) const;
  void selectZoomTool(double zoom);
  QComboBox* zoomTool() const;
  QLineEdit* searchField() const;

  // The command table's actions (CAWindowController_Actions.cpp).
  static std::span<const CAWindowActionEntry> actionEntries();
  const CAWindowActionEntry* entryForItem(const QAction* item) const;
  bool validateEntry(const CAWindowActionEntry& entry, QAction* item);
  // Runs the command from its item (or a tool, without one), checked first when `check`; false
  // when it could not run and beeped. The item's enabled state is the menu's to show, never
  // changed here.
  bool runEntry(const CAWindowActionEntry& entry, int64_t tag, QAction* item, bool check);
  // Save and Revert: enabled by the document's changes, which not every edit announces, so
  // they are checked as their menu shows and as they are chosen, and otherwise left enabled.
  static bool followsDocumentChanges(const CAWindowActionEntry& entry);
  int32_t rowColumnEditType(int64_t tag) const;
  void clearAction(int64_t tag);
  void plainAction(int64_t tag);
  void copyAction(int64_t tag);
  void cutAction(int64_t tag);
  void pasteAction(int64_t tag);
  void pasteAsPlainTextAction(int64_t tag);
  void copyStyleAction(int64_t tag);
  void pasteStyleAction(int64_t tag);
  void deleteAction(int64_t tag);
  void deleteCellsAction(int64_t tag);
  void deleteRowOrColumnAction(int64_t tag);
  void insertCellsAction(int64_t tag);
  void insertRowOrColumnAction(int64_t tag);
  void insertCheckboxAction(int64_t tag);
  void insertPictureAction(int64_t tag);
  void insertQuickFormulaAction(int64_t tag);
  void fillInDirection(int32_t direction);
  void fillDownAction(int64_t) { fillInDirection(0); }
  void fillRightAction(int64_t) { fillInDirection(1); }
  void findAction(int64_t tag);
  void jumpToSearchAction(int64_t tag);
  void fillAction(int64_t tag);
  void sortAction(int64_t tag);
  void insertLinkAction(int64_t tag);
  void findNextAction(int64_t tag);
  void findPreviousAction(int64_t tag);
  void quickSearchAction(int64_t tag);
  void useSelectionForFindAction(int64_t tag);
  void forceRecalcAction(int64_t tag);
  void toggleFormulasAction(int64_t tag);
  void toggleOnlyUsedAction(int64_t tag);
  void togglePageBreaksAction(int64_t tag);
  void toggleToolbarAction(int64_t tag);
  void customizeToolbarAction(int64_t tag);
  void shrinkSheetAction(int64_t tag);
  void jumpToSelectionAction(int64_t tag);
  void selectAllAction(int64_t tag);
  void showColorsAction(int64_t tag);
  void showFontsAction(int64_t tag);
  // A panel up takes the keys: the window's panel commands go with it, so that their keys work
  // there too (the shared colour panel carries those of the window it last came up for).
  void givePanelCommands(QWidget* panel);
  void undoAction(int64_t tag);
  void redoAction(int64_t tag);
  void printDocumentAction(int64_t tag);
  void runPageLayoutAction(int64_t tag);
  void saveDocumentAction(int64_t tag);
  void saveDocumentAsAction(int64_t tag);
  void saveDocumentCopyAction(int64_t tag);
  void revertDocumentAction(int64_t tag);
  void passwordProtectAction(int64_t tag);
  void startSpeakingAction(int64_t tag);
  void alignAction(int64_t tag);
  void boldAction(int64_t) { toggleStyle(kFormatBold); }
  void italicAction(int64_t) { toggleStyle(kFormatItalic); }
  void underlineAction(int64_t) { toggleStyle(kFormatUnderline); }
  void strikeAction(int64_t) { toggleStyle(kFormatStrike); }
  void zoomInAction(int64_t) { zoomIn(); }
  void zoomOutAction(int64_t) { zoomOut(); }
  void zoomByPercentAction(int64_t tag);
  void changeZoomAction(int64_t tag);
  void toggleFormatPanelAction(int64_t tag);
  void expandSheetAction(int64_t tag) { expandSheet(tag); }

  // Their states.
  bool alwaysEnabled(int64_t, QAction*) const { return true; }
  bool unlocked(int64_t, QAction*) const;
  bool canDeleteSelection(int64_t, QAction*) const;
  bool canDeleteCells(int64_t tag, QAction*) const;
  bool canDeleteRowOrColumn(int64_t tag, QAction*) const;
  bool canInsert(int64_t tag, QAction*) const;
  bool canCopy(int64_t, QAction*) const;
  bool canPaste(int64_t, QAction*) const;
  bool canPasteStyle(int64_t, QAction*) const;
  bool canSave(int64_t, QAction*) const;
  bool canRevert(int64_t, QAction*) const;
  bool canFillDown(int64_t, QAction*) const;
  bool canFillRight(int64_t, QAction*) const;
  bool canFillSeries(int64_t, QAction*) const;
  bool canUndo(int64_t, QAction* item) const;
  bool canRedo(int64_t, QAction* item) const;
  bool alignState(int64_t tag, QAction* item) const;
  bool passwordState(int64_t, QAction* item) const;
  bool formulasState(int64_t, QAction* item) const;
  bool onlyUsedState(int64_t, QAction* item) const;
  bool pageBreaksState(int64_t, QAction* item) const;
  bool zoomPercentState(int64_t tag, QAction* item) const;
  bool formatPanelState(int64_t, QAction* item) const;
  bool toolbarState(int64_t, QAction* item) const;

  // The document goes after the undo stack that refers to it, the window first of all.
  std::unique_ptr<CADocument> document_;
  std::unique_ptr<Archiver> archiver_;
  FLUndoManager undoManager_;
  std::unique_ptr<QMainWindow> window_;
  QPointer<CAScrollView> scrollView_;  // owned by the window
  QPointer<CAFormulaTextView> formulaTextView_;  // owned by the window
  QPointer<FLToolbarView> toolbarView_;  // owned by the window
  QMenu* zoomMenu_ = nullptr;            // owned by the window
  QHBoxLayout* sheetRowLayout_ = nullptr;  // owned by the window
  QPointer<CAPropertyContainerView> formatPanel_;  // owned by the window once made
  QPointer<CAPropertyController> propertyController_;  // owned by the panel
  bool formatPanelShown_ = false;
  bool prepareComplete_ = false;
  QString lastToolAction_;
  // The formatting panes' and commands' pending property step.
  uint64_t propertyMask_ = 0;
  int32_t propertyDomain_ = 0;
  uint32_t propertyUndoID_ = 0xFFFFFFFF;
  GridRange propertySelection_;  // the selection the pending step was recorded for
  bool validationScheduled_ = false;
  QPointer<QFontDialog> fontPanel_;
  QFont fontPanelFont_;  // what the font panel shows
  QPointer<QDialog> pageLayoutPanel_;
  bool everEdited_ = false;
  QString titleOverride_;
  QString recoveredFromPath_;
  bool showsRecoveredCopy() const;
  bool adjustingTitle_ = false;
};
