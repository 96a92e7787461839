// What the two places that edit a formula (a cell's field and the formula bar) do alike with
// their text editor: selecting a range, going to the next argument placeholder, offering
// function names.
#pragma once

#include "calculator/model/caTextServices.h"
#include "calculator/model/CAGridPoint.h"
#include "framlet/shell/FLCompletionDelegate.h"

#include <QStringList>

#include <memory>

class CACell;
class CADocument;
class FLCompletionFieldEditor;

// A copy of the cell to restore it from when the typing is cancelled; it never lives on the sheet.
std::unique_ptr<CACell> RestorableCellCopy(CADocument& document, const CACell& cell);

// Selects the range, cut to the text; a range without location selects nothing.
void SelectRangeInEditor(FLCompletionFieldEditor* editor, const CATextRange& range);
// Selects the first "#name#" placeholder and scrolls it into view; false when there is none.
bool SelectNextArgumentInEditor(FLCompletionFieldEditor* editor);
// The function templates completing the editor's text ("=" and a name prefix).
QStringList FormulaCompletions(FLCompletionFieldEditor* editor, FLTextRange partialRange, int* indexOfSelectedItem);
// The A1 text of a reference picked on the grid: "B2" for one cell, "B2:C5" for a block ("$"
// before absolute coordinates).
QString ReferenceTextForRange(const GridRange& range);

