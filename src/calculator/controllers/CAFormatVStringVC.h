// The value text pane of the format panel's value tab: the active cell's entered text (a
// formula, number, date or text) in a formula text view. Every change goes into the cell at
// once under one "Formula" step; ending the edit parses the text and recalculates, Escape puts
// the cell back as it was and drops the step. References picked on the grid and functions
// inserted from the browser go into the edited text.
#pragma once

#include "calculator/controllers/CAFormatBaseVC.h"
#include "calculator/views/CAFormulaTextView.h"

#include <QPointer>

#include <memory>

class CACell;
struct Notification;

class CAFormatVStringVC : public CAFormatBaseVC, public CAFormulaTextViewDelegate {
  Q_OBJECT

 public:
  explicit CAFormatVStringVC(QObject* parent = nullptr);
  ~CAFormatVStringVC() override;

  CAFormulaTextView* textView() const { return textView_; }
  bool isEditingStarted() const { return editingStarted_; }

  // Shows the active cell's text with the document's stored selection; an empty, checkbox,
  // picture or link cell leaves the view as it is.
  void selectionChanged() override;

  // The text view's editing, in the order it happens.
  void textDidBeginEditing();
  void textDidChange();
  void textDidEndEditing();
  void cancelOperation();
  void textViewDidChangeSelection();

  // A type change asks for the new value: the view takes the keys.
  void typeChanged();
  // A function went into the cell's formula; outside the popover the pane takes over the editing.
  void formulaInserted(const Notification& notification);
  // A reference picked on the grid goes into the edited formula.
  void typingSelection();

  // CAFormulaTextViewDelegate
  void formulaTextDidEndEditing() override { textDidEndEditing(); }
  void formulaTextCancelOperation() override { cancelOperation(); }
  bool formulaTextShouldInsert(const QString& text) override;

 protected:
  QWidget* loadView() override;
  void viewDidLoad() override;

 private:
  // Puts the text in the view without the view's change reaching the cell.
  void showText(const QString& text);
  // The whole text in the standard colour, and an error's part red.
  void colorText(const CACell* cell);
  // Records the "Formula" step on the active cell; false when refused.
  bool recordStep();
  // The document hears that the active cell is typed into.
  void announceTyping();
  // The active cell, made when missing, with its copy kept for Escape.
  CACell* typedCell();
  void showCell(bool takeFocus);

  // The panel may delete the view before the pane.
  QPointer<CAFormulaTextView> textView_;
  std::unique_ptr<CACell> cellCopy_;
  bool textDidChange_ = false;
  bool editingStarted_ = false;
  bool completionInProgress_ = false;
  bool undoSet_ = false;
  bool showing_ = false;
  // The edit began with a function inserted from the browser, whose step Escape undoes.
  bool insertionStep_ = false;
};
