#include "calculator/views/CAKeyEaterView.h"

#include "calculator/views/caCalculatorFunctions.h"
#include "framlet/shell/FLPopoverBaseVC.h"
#include "platform/KeyMap.h"

#include <QInputMethodEvent>
#include <QKeyEvent>

CAKeyEaterView::CAKeyEaterView(CACalculatorKeyTarget* target, QWidget* parent) : QWidget(parent), target_(target) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled);
  setAttribute(Qt::WA_NoSystemBackground);
}

std::optional<int> CAKeyEaterView::functionForKey(uint16_t keyCode, bool entersOnReturn, bool* dropped) {
  *dropped = false;
  switch (keyCode) {
    case kKeyCodeReturn:
    case kKeyCodeEnter:
      if (entersOnReturn) return kFunctionEnter;
      *dropped = true;
      return std::nullopt;
    case kKeyCodeDelete:
    case kKeyCodeForwardDelete:
      return kFunctionDelete;
    case kKeyCodeEscape:
    case kKeyCodeClear:
      return kFunctionClearEntry;
    case kKeyCodeLeftArrow:
      return kFunctionRecall;
    case kKeyCodeRightArrow:
      return kFunctionStore;
    case kKeyCodeUpArrow:
      return kFunctionDrop;
    default:
      return std::nullopt;  // the down arrow and the rest are typing
  }
}

void CAKeyEaterView::keyPressEvent(QKeyEvent* event) {
  FLPopoverBaseVC::closePopovers();
  // Shortcuts (Ctrl, Alt, Meta) belong to the window's actions.
  if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
    event->ignore();
    return;
  }
  bool dropped = false;
  if (const std::optional<int> code = functionForKey(KeyCodeForEvent(*event), target_->entersOnReturn(), &dropped)) {
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
