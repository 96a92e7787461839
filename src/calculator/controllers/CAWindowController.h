// A spreadsheet document window: the window, its document, the document's undo stack, the
// toolbar across the top, the formula bar below it and the sheet's scroll view below that. The
// controller is the undo stack's client, supplies and updates the toolbar's tools, and asks for
// a protected document's password before its cells are read.
#pragma once

#include "calculator/model/caPackageWindow.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CADocumentWindow.h"
#include "calculator/model/caUndoArchives.h"
#include "calculator/views/CAFormulaTextView.h"
#include "calculator/views/CAPropertyContainerView.h"
#include "calculator/views/CAScrollView.h"
#include "framlet/shell/FLDocumentWC.h"
#include "framlet/shell/FLToolbarDelegate.h"
#include "framlet/shell/FLToolbarSegmentsDelegate.h"
#include "framlet/shell/FLToolbarView.h"
#include "framlet/shell/FLUndoManager.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>

class CACellView;
class FLToolbarSegments;
struct FLPasswordInfo;
class QHBoxLayout;
class QMenu;

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
  // A title that replaces the document's name (an autosave copy's); empty: none.
  void setTitleOverride(const QString& title) { titleOverride_ = title; }
  // Before the window first shows: its title and place (a native document keeps the frame it
  // stored), the zoom, and the tools in step with the document.
  virtual void prepareToShow();
  FLToolbarView* toolbarView() const { return toolbarView_; }

  // ---- Undo and redo from the window's menus and toolbar
  void undoEdit();
  void redoEdit();
  // The undo tool's segments follow what the stack can undo and redo.
  void updateUndoTool();
  // Tools that depend on the document and the selection: enabled while it is not locked, the
  // alignment of the active cell, the views' alternate pictures.
  void updateStateTools();
  void selectionChanged();
  // The last action a tool sent (for tests and for the commands not built yet).
  QString lastToolAction() const { return lastToolAction_; }

  // ---- Password of a protected document
  // The package reader found a password file: the keychain's password, else the user's.
  void askForPassword();
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
  bool showsSheet() const override;
  void setWindowVisible(bool visible) override;
  void performClose() override;
  FLUndoManager* undoManager() override { return &undoManager_; }
  void giveAlert(const QString& message, const QString& information) override;

  // ---- FLDocumentWC
  std::unique_ptr<FLDocumentSaveFormatVC> saveFormatVC() override;
  QWidget* printView() override;
  // The sheet's pages, within the document's margins.
  bool printToPrinter(QPrinter& printer) override;
  void modifyPrintInfo(QPrinter& printer) override;

  // ---- CAPackageWindow
  QRectF contentRect() const override;
  void setContentRect(const QRectF& rect) override;
  bool showingFormatPanel() const override { return formatPanelShown_; }
  void forceFormatPanelClosed() override;
  // Slides the format panel in at the window's right, taking its width from the sheet, or out
  // again, giving it back.
  void showFormatPanel(bool show);
  CAPropertyContainerView* formatPanel() const { return formatPanel_; }
  GridPoint scrollPoint() const override;
  void scrollToGridPoint(const QString& text) override;
  void synchronizeWindowTitle() override;
  QByteArray pdfOfDocument(QSizeF* size) override;

 protected:
  void windowWillClose() override;
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
  FLToolbarSegments* segmentsWithTag(uint64_t barTag) const;

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
  bool formatPanelShown_ = false;
  bool prepareComplete_ = false;
  QString lastToolAction_;
  bool everEdited_ = false;
  QString titleOverride_;
};
