#include "calculator/controllers/CAFormatVNoteVC.h"

#include "calculator/controllers/CAWindowController.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/caUndoArchives.h"
#include "framlet/shell/FLPlainTextView.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QScopedValueRollback>
#include <QVBoxLayout>

#include <functional>

namespace {

// A text view that refuses line breaks at the start of what is typed or pasted, and reports them.
class CANoteTextView : public FLPlainTextView {
 public:
  CANoteTextView(std::function<void()> refused, QWidget* parent) : FLPlainTextView(parent), refused_(std::move(refused)) {}

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
      refused_();
      return;
    }
    QPlainTextEdit::keyPressEvent(event);
  }
  void insertFromMimeData(const QMimeData* source) override {
    const QString text = source->text();
    if (!text.isEmpty() && (text.front() == QLatin1Char('\n') || text.front() == QLatin1Char('\r'))) {
      refused_();
      return;
    }
    QPlainTextEdit::insertFromMimeData(source);
  }

 private:
  std::function<void()> refused_;
};

}  // namespace

QWidget* CAFormatVNoteVC::loadView() {
  auto* view = new QWidget;
  view->setToolTip(QStringLiteral("Notes"));
  auto* layout = new QVBoxLayout(view);
  layout->setContentsMargins(8, 6, 8, 6);
  textView_ = new CANoteTextView([this] { finishEdit(); }, view);
  textView_->setObjectName(QStringLiteral("textView"));
  textView_->setFixedHeight(60);
  layout->addWidget(textView_);
  connect(textView_, &QPlainTextEdit::textChanged, this, &CAFormatVNoteVC::textDidChange);
  view->resize(view->sizeHint());
  return view;
}

void CAFormatVNoteVC::selectionChanged() {
  undoID_ = kNoUndoID;
  if (!document() || !textView_) return;
  const CACell* cell = document()->activeCell();
  const QString note = cell ? cell->note() : QString();
  if (note == textView_->toPlainText()) return;
  const QScopedValueRollback<bool> showing(showing_, true);
  textView_->replaceWholeText(note);
}

void CAFormatVNoteVC::textDidChange() {
  CADocument* target = document();
  if (showing_ || !target) return;
  const QString text = textView_->toPlainText();
  const CACell* existing = target->activeCell();
  if (existing && existing->note() == text) return;
  if (!recordCellStep(undoID_, kUndoNote)) {
    selectionChanged();  // the note stays as it was
    return;
  }
  if (CACell* cell = target->cellAtGridPointImperative(target->activeCellPoint())) cell->setNote(text);
  // A note taken off a cell that held nothing else takes the cell with it.
  target->dropEmptiedCells();
}
