// The note pane of the format panel's value tab: the active cell's note, edited as one
// undoable "Note" step while the pane's step stays the current one. Notes hold no typed line
// breaks: Return gives the keys back to the grid.
#pragma once

#include "calculator/controllers/CAFormatBaseVC.h"
#include "framlet/shell/FLPlainTextView.h"

#include <cstdint>

class CAFormatVNoteVC : public CAFormatBaseVC {
  Q_OBJECT

 public:
  explicit CAFormatVNoteVC(QObject* parent = nullptr) : CAFormatBaseVC(parent) {}

  QPlainTextEdit* textView() const { return textView_; }

  void selectionChanged() override;
  // The text became the active cell's note (made when missing), unless its step was refused.
  void textDidChange();

 protected:
  QWidget* loadView() override;

 private:
  FLPlainTextView* textView_ = nullptr;
  uint32_t undoID_ = kNoUndoID;
  bool showing_ = false;  // the pane is putting the note in the text view
};
