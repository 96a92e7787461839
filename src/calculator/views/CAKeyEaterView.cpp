#include "calculator/views/CAKeyEaterView.h"

#include "calculator/views/caCalculatorFunctions.h"

#include <QInputMethodEvent>
#include <QKeyEvent>

CAKeyEaterView::CAKeyEaterView(CACalculatorKeyTarget* target, QWidget* parent) : QWidget(parent), target_(target) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled);
  setAttribute(Qt::WA_NoSystemBackground);
}

std::optional<int> CAKeyEaterView::functionForKey(int key, bool entersOnReturn, bool* dropped) {
  *dropped = false;
  switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (entersOnReturn) return kFunctionEnter;
      *dropped = true;
      return std::nullopt;
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
      return kFunctionDelete;
    case Qt::Key_Escape:
    case Qt::Key_Clear:
      return kFunctionClearEntry;
    case Qt::Key_Left:
      return kFunctionRecall;
    case Qt::Key_Right:
      return kFunctionStore;
    case Qt::Key_Up:
      return kFunctionDrop;
    default:
      return std::nullopt;
  }
}

void CAKeyEaterView::keyPressEvent(QKeyEvent* event) {
  // Shortcuts (Ctrl, Alt, Meta) belong to the window's actions.
  if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
    event->ignore();
    return;
  }
  bool dropped = false;
  if (const std::optional<int> code = functionForKey(event->key(), target_->entersOnReturn(), &dropped)) {
    target_->executeFunction(*code, true);
  } else if (!dropped && !event->text().isEmpty()) {
    insertText(event->text());
  }
  event->accept();
}

void CAKeyEaterView::inputMethodEvent(QInputMethodEvent* event) {
  if (!event->commitString().isEmpty()) insertText(event->commitString());
  event->accept();
}

void CAKeyEaterView::insertText(const QString& text) {
  for (const QChar character : text) {
    if (!target_->handleCharacter(character.unicode())) break;
  }
}
