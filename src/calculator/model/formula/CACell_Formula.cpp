// Entering text into a cell: classification of what was typed, and the formula parse.
#include "calculator/model/CACell.h"

#include "calculator/model/CADocument.h"
#include "calculator/model/caDocumentXml.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/formula/caFormulaParser.h"
#include "framlet/foundation/flCharacterClasses.h"
#include "framlet/foundation/flDates.h"
#include "framlet/foundation/flStringExtensions.h"
#include "platform/NotificationCenter.h"

#include <algorithm>
#include <vector>

namespace {

constexpr const char* kWwwPrefix = "www.";
constexpr const char* kHttpPrefix = "http://";

// Whether two formulas name the same cells and blocks in the same order: the one registers in
// the reference table exactly what the other does.
bool SameReferences(CAExpressionView a, CAExpressionView b) {
  auto named = [](const CAFormulaToken& token) {
    const int32_t kind = token.type();
    return kind == kTokenReference || kind == kTokenRange;
  };
  auto left = a.begin();
  auto right = b.begin();
  while (true) {
    left = std::find_if(left, a.end(), named);
    right = std::find_if(right, b.end(), named);
    if (left == a.end() || right == b.end()) return left == a.end() && right == b.end();
    if (left->type() != right->type() || left->point() != right->point() || left->range() != right->range())
      return false;
    ++left;
    ++right;
  }
}

}  // namespace

void CACell::setFormula(const QString& text) {
  if (typeIsChanging_) return;
  const int32_t oldType = valueType_;
  // A formula's references stay registered until the new text is known: a formula entered again
  // naming the same cells (a constant changed, the same text confirmed) leaves the document's
  // reference table as it is.
  const bool hadFormula = document_ && isFormula();
  const CAExpressionBuffer old = expression();
  std::vector<int32_t> oldFunctions;
  if (recordNewFunctions_)
    for (const CAFormulaToken& token : old)
      if (token.function() != 0) oldFunctions.push_back(token.function());
  clearValue(false);

  const QString cleaned = cleanUp(text, false, false);
  const bool formula = !cleaned.isEmpty() && cleaned[0] == u'=';
  if (hadFormula && !formula) document_->deleteDependencies(old, gridPoint_);
  if (cleaned.isEmpty()) {
    valueType_ = kValueNone;
  } else if (formula) {
    valueType_ = kValueFormula;
    uint64_t offset = 0;
    CAExpression parsed;
    parseResult_ = int8_t(ParseFormula(cleaned, parsed, &offset));
    entered_ = CAFormulaBlock(cleaned, parsed);
    if (parseResult_ != 0) errorOffset_ = uint32_t(offset);
    if (recordNewFunctions_ && !parsed.empty()) {
      bool changed = false;
      for (const CAFormulaToken& token : parsed) {
        const int32_t row = token.function();
        if (row == 0 || std::find(oldFunctions.begin(), oldFunctions.end(), row) != oldFunctions.end())
          continue;
        changed = RecordRecentFunction(row) || changed;
      }
      if (changed) NotificationCenter::defaultCenter().post(QLatin1String(kRecentFunctionsNotification));
    }
    // The tokens just parsed are the block's: no need to decode them again.
    if (document_ && !(hadFormula && SameReferences(old, parsed))) {
      if (hadFormula) document_->deleteDependencies(old, gridPoint_);
      document_->addDependencies(parsed, gridPoint_);
    }
  } else {
    std::optional<CANumber> number;
    int32_t dayIndex = 0;
    if (!typingInProgress_) {
      dayIndex = ParseIntoDayIndex(cleaned, nullptr);
      // A date written with dots that names no day (31.02.2024) is kept as typed: the number
      // reader would skip its dots as group separators and make 31022024 of it.
      if (dayIndex == 0 && !IsDottedDateText(cleaned)) number = CANumber::withValidatedString(cleaned, true);
    }
    if (dayIndex != 0) {
      storeNumber(CANumber(dayIndex));
      valueType_ = kValueDate;
    } else if (number) {
      storeNumber(*number);
      valueType_ = kValueNumber;
    } else if (!typingInProgress_ && ModelPreferences().smartLinks && IsValidUrl(cleaned)) {
      valueType_ = kValueLink;
      if (cleaned.startsWith(QLatin1String(kWwwPrefix), Qt::CaseInsensitive)) {
        setDisplayText(cleaned);
        entered_ = CAFormulaBlock(QString(QLatin1String(kHttpPrefix) + cleaned), {});
      } else {
        entered_ = CAFormulaBlock(cleaned, {});
      }
    } else {
      valueType_ = kValueText;
      QString entered = text;
      entered.remove(QLatin1Char('\t'));
      entered_ = CAFormulaBlock(entered, {});
    }
  }
  finishValueChange(oldType);
  noteIfEmptied();
}

void CACell::setFormulaFromC(const QString& text) {
  if (typeIsChanging_) return;
  const QString cleaned = cleanUp(text, false, false);
  if (cleaned.isEmpty() || cleaned[0] == u'=') {
    setFormula(UserFormulaFromC(text));
    return;
  }
  const int32_t dayIndex = ParseIntoDayIndexInOrder(cleaned, DateTextOrder{});
  const std::optional<CANumber> number =
      dayIndex != 0 ? std::nullopt : CANumber::withValidatedString(cleaned, true, QLatin1Char('.'), QLatin1Char(','));
  if (dayIndex != 0 || number) {
    const int32_t oldType = valueType_;
    clearValue(true);
    storeNumber(dayIndex != 0 ? CANumber(dayIndex) : *number);
    valueType_ = dayIndex != 0 ? kValueDate : kValueNumber;
    finishValueChange(oldType);
    return;
  }
  // A link or a text as the user's typing makes it; "2,5" is no number in this syntax.
  setFormula(text);
  if (valueType_ == kValueNumber || valueType_ == kValueDate) {
    QString entered = text;
    entered.remove(QLatin1Char('\t'));
    enterUnclassified(kValueText, entered);
  }
}

void CACell::setFormulaString(const QString& text) {
  entered_.setText(text);
  markNeedRecalc();
}

QString FormulaWithReference(const QString& formula, const QString& reference, CATextRange* selectedRange) {
  QString text = formula;
  const qsizetype length = text.size();
  qsizetype start = length;
  if (selectedRange) {
    start = qsizetype(std::min<uint64_t>(selectedRange->location, uint64_t(length)));
    const qsizetype count = qsizetype(std::min<uint64_t>(selectedRange->length, uint64_t(length - start)));
    text.remove(start, count);
  }
  qsizetype insertion = start == 0 ? text.size() : start;
  if (text.isEmpty() || text[0] != u'=') {
    text = QStringLiteral("=");
    insertion = 1;
  }
  const char16_t previous = text[insertion - 1].unicode();
  const uint32_t cls = TypeOfChar(previous);
  if ((cls >= kCharClassUpper && cls <= kCharClassDigit) || previous == u')') {
    text.insert(insertion, QLatin1Char('+'));
    ++insertion;
  }
  text.insert(insertion, reference);
  if (selectedRange) *selectedRange = CATextRange{uint64_t(insertion + reference.size()), 0};
  return text;
}

void CACell::addRefToFormula(const QString& reference, CATextRange* selectedRange) {
  CATextRange selection = selectedRange ? *selectedRange : CATextRange{uint64_t(entered_.textLength()), 0};
  setFormula(FormulaWithReference(formula(), reference, &selection));
  if (selectedRange) *selectedRange = selection;
  typingInProgress_ = true;
}
