#include "calculator/views/caFormulaEditing.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/formula/caFormulaParser.h"
#include "framlet/shell/FLCompletionFieldEditor.h"

#include <QTextCursor>

#include <algorithm>

void SelectRangeInEditor(FLCompletionFieldEditor* editor, const CATextRange& range) {
  if (!editor || range.location == CATextRange{}.location) return;
  const uint64_t size = uint64_t(editor->toPlainText().size());
  QTextCursor cursor = editor->textCursor();
  cursor.setPosition(int(std::min(range.location, size)));
  cursor.setPosition(int(std::min(range.location + range.length, size)), QTextCursor::KeepAnchor);
  editor->setTextCursor(cursor);
  editor->ensureCursorVisible();
}

bool SelectNextArgumentInEditor(FLCompletionFieldEditor* editor) {
  if (!editor) return false;
  const CATextRange range = RangeOfFunctionArgument(editor->toPlainText(), 0);
  if (range.location == CATextRange{}.location) return false;
  SelectRangeInEditor(editor, range);
  return true;
}

QStringList FormulaCompletions(FLCompletionFieldEditor* editor, FLTextRange partialRange, int* indexOfSelectedItem) {
  if (indexOfSelectedItem) *indexOfSelectedItem = 0;
  if (!editor) return {};
  return AutoCompletionArray(editor->toPlainText(), uint64_t(partialRange.location), uint64_t(partialRange.length));
}

QString ReferenceTextForRange(const GridRange& range) {
  const int32_t kind = TypeOfRange(nullptr, range);
  if (kind == kRangeCell || kind == kRangeAbsoluteCell) return FormatGridPoint(range.startPoint);
  return FormatGridPoint(range.startPoint) + QLatin1Char(':') + FormatGridPoint(range.endPoint);
}

std::unique_ptr<CACell> RestorableCellCopy(CADocument& document, const CACell& cell) {
  // Copying a formula registers its references once more in the document; the copy never lives
  // on the sheet, so they are dropped again at once.
  std::unique_ptr<CACell> copy = cell.copy();
  document.dropReferencesOf(*copy);
  return copy;
}
