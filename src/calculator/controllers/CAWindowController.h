// A spreadsheet document window: the window, its document, the document's undo stack, and in
// the centre of the window the formula bar above the sheet's scroll view.
#pragma once

#include "calculator/model/caPackageWindow.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CADocumentWindow.h"
#include "calculator/model/caUndoArchives.h"
#include "calculator/views/CAFormulaTextView.h"
#include "calculator/views/CAScrollView.h"
#include "framlet/shell/FLDocumentWC.h"
#include "framlet/shell/FLUndoManager.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>

class CACellView;

class CAWindowController : public FLDocumentWC, public CADocumentWindow, public CAPackageWindow {
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
  // Before the window first shows: its title and place.
  virtual void prepareToShow();

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

  // ---- CAPackageWindow
  QRectF contentRect() const override;
  void setContentRect(const QRectF& rect) override;
  bool showingFormatPanel() const override { return false; }
  void forceFormatPanelClosed() override {}
  GridPoint scrollPoint() const override;
  void scrollToGridPoint(const QString& text) override;
  void synchronizeWindowTitle() override;
  QByteArray pdfOfDocument(QSizeF* size) override;

 protected:
  void windowWillClose() override;

 private:
  class Archiver : public CAUndoArchiver {
   public:
    Archiver(CADocument& document, CAWindowController& owner) : CAUndoArchiver(document), owner_(owner) {}

   protected:
    void stepRecorded() override { owner_.everEdited_ = true; }

   private:
    CAWindowController& owner_;
  };

  // The document goes after the undo stack that refers to it, the window first of all.
  std::unique_ptr<CADocument> document_;
  std::unique_ptr<Archiver> archiver_;
  FLUndoManager undoManager_;
  std::unique_ptr<QMainWindow> window_;
  QPointer<CAScrollView> scrollView_;  // owned by the window
  QPointer<CAFormulaTextView> formulaTextView_;  // owned by the window
  bool everEdited_ = false;
  QString titleOverride_;
};
