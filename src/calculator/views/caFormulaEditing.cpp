#include "calculator/views/caFormulaEditing.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/formula/caFormulaParser.h"
#include "calculator/model/CANumber.h"
#include "framlet/foundation/flDates.h"
#include "framlet/shell/FLCompletionFieldEditor.h"

#include <QTextCursor>

#include <algorithm>
#include <optional>

namespace {

// The decimal digits of a fraction whose denominator has no prime factor but 2 and 5: its
// exact text. Nothing for any other fraction, which has no end.
std::optional<QString> TerminatingDecimalText(int64_t numerator, uint64_t denominator) {
  if (denominator == 0) return std::nullopt;
  uint64_t rest = denominator;
  while (rest % 2 == 0) rest /= 2;
  while (rest % 5 == 0) rest /= 5;
  if (rest != 1) return std::nullopt;
  const bool negative = numerator < 0;
  const unsigned __int128 magnitude =
      negative ? (unsigned __int128)(0 - (uint64_t)numerator) : (unsigned __int128)(uint64_t)numerator;
  unsigned __int128 remainder = magnitude % denominator;
  QString text = QString::number((qulonglong)(magnitude / denominator));
  if (remainder != 0) {
    text += QLatin1Char('.');
    // At most 64 digits: the denominator is below 2^64.
    for (int i = 0; remainder != 0 && i < 70; ++i) {
      remainder *= 10;
      text += QLatin1Char(char('0' + int(remainder / denominator)));
      remainder %= denominator;
    }
  }
  return negative ? QLatin1Char('-') + text : text;
}

// How the text reads back when a cell is given it: the same number, in the same form when
// `sameForm`.
bool ReadsBackAs(const QString& text, const CANumber& stored, bool sameForm) {
  if (text.isEmpty() || ParseIntoDayIndex(text, nullptr) != 0) return false;
  const std::optional<CANumber> read = CANumber::withValidatedString(text, true);
  if (!read || !(*read == stored)) return false;
  if (!sameForm) return true;
  CANumber a = *read;
  CANumber b = stored;
  a.setCanonicalForm(false);
  b.setCanonicalForm(false);
  return a.form() == b.form();
}

}  // namespace

QString CellEditText(const CACell& cell) {
  const QString shown = cell.displayText(true);
  const std::optional<CANumber> stored = cell.number();
  if (cell.valueType() != kValueNumber || !stored || !stored->isValid()) return shown;
  CANumber canonical = *stored;
  canonical.setCanonicalForm(false);
  // The exact digits first, then the longest decimal text, then the text as shown.
  std::vector<QString> candidates;
  if (canonical.form() == kNumberInteger) candidates.push_back(QString::number(canonical.numerator()));
  if (canonical.form() == kNumberFraction) {
    if (const auto exact = TerminatingDecimalText(canonical.numerator(), canonical.denominator()))
      candidates.push_back(*exact);
  }
  candidates.push_back(stored->decimalText());
  candidates.push_back(shown);
  for (const bool sameForm : {true, false}) {
    for (const QString& text : candidates) {
      if (ReadsBackAs(text, *stored, sameForm)) return text;
    }
  }
  // No text reads back as it (a fraction without end): the longest decimal text.
  return stored->decimalText();
}

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
