#include "calculator/model/formula/caFormulaParser.h"

#include "calculator/model/CADocument.h"
#include "calculator/model/CANumberFormat.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/formula/caFormulaErrors.h"
#include "calculator/model/formula/caFunctionTable.h"
#include "framlet/foundation/flCharacterClasses.h"

#include <algorithm>

int32_t g_recentFunctions[kMaxRecentFunctions] = {};
int32_t g_recentFunctionCount = 0;

namespace {

constexpr uint64_t kNotFound = 0x7FFFFFFFFFFFFFFF;

inline char16_t AsciiUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c; }

// Compares a typed name, ignoring case, with a table name (upper case ASCII).
int CompareName(QStringView name, const char* tableName) {
  qsizetype i = 0;
  for (; i < name.size() && tableName[i] != '\0'; ++i) {
    const char16_t a = AsciiUpper(name[i].unicode());
    const char16_t b = char16_t(static_cast<unsigned char>(tableName[i]));
    if (a != b) return a < b ? -1 : 1;
  }
  if (i < name.size()) return 1;
  return tableName[i] == '\0' ? 0 : -1;
}

bool IsLetterClass(uint32_t cls) { return cls == kCharClassUpper || cls == kCharClassLower; }

// An operator or function waiting on the conversion stack; a "(" remembers where its argument
// marker went in the output.
struct Pending {
  CAFormulaToken token;
  size_t markerIndex = 0;
};

// What nests: a parenthesis (a function's own included), a unary minus and a power wait on the
// stack for what follows them, however long; other operators give way to the next of their kind.
bool Nests(const CAFormulaToken& token) {
  return token.isOperator(kOperatorOpen) || token.isOperator(kOperatorNegate) || token.isOperator(kOperatorPower);
}

// In the output, the place of a "(" whose parentheses held no function: dropped when the parse
// ends, in one pass, rather than taken out of the middle of the output at its ")".
bool IsDroppedMarker(const CAFormulaToken& token) { return token.isOperator(kOperatorClose); }

class Parser {
 public:
  Parser(const QString& text, CAExpression& output, std::vector<Pending>& stack)
      : text_(text), n_(text.size()), output_(output), stack_(stack) {
    stack_.clear();
  }

  int32_t run(uint64_t* errorOffset);

 private:
  int32_t fail(int32_t code, qsizetype offset) {
    offset_ = offset;
    return code;
  }
  int32_t scanName(qsizetype start, CAFormulaToken& token);
  int32_t scanNumber(qsizetype start, CAFormulaToken& token);
  int32_t place(CAFormulaToken&& token, qsizetype start);
  // The stack, counting what nests.
  int32_t push(CAFormulaToken&& token, size_t markerIndex, qsizetype start);
  CAFormulaToken pop();
  // After an opening, a comma or an operator the next token must be an operand.
  bool operandExpected() const {
    return previous_ == kOperatorComma || previous_ == kOperatorOpen ||
           (previous_ < kOperatorTableSize && g_operators[previous_].precedence > 0);
  }
  bool popOperatorsToOpen();

  const QString& text_;
  const qsizetype n_;
  CAExpression& output_;
  std::vector<Pending>& stack_;
  qsizetype i_ = 1;
  int32_t previous_ = kOperatorAdd;  // as if a "+" had been read
  int64_t depth_ = 0;
  int64_t nesting_ = 0;
  qsizetype offset_ = 0;
};

int32_t Parser::push(CAFormulaToken&& token, size_t markerIndex, qsizetype start) {
  if (Nests(token) && ++nesting_ > kMaxFormulaNesting) return fail(kFormulaErrorNesting, start);
  stack_.push_back({std::move(token), markerIndex});
  return kFormulaOK;
}

CAFormulaToken Parser::pop() {
  CAFormulaToken token = std::move(stack_.back().token);
  stack_.pop_back();
  if (Nests(token)) --nesting_;
  return token;
}

int32_t Parser::scanName(qsizetype start, CAFormulaToken& token) {
  const bool leadingDollar = text_[start] == u'$';
  bool sawDollar = false;
  bool sawColon = false;
  bool sawDot = false;
  qsizetype colon = -1;
  qsizetype j = start + 1;
  for (; j < n_; ++j) {
    const char16_t c = text_[j].unicode();
    const uint32_t cls = TypeOfChar(c);
    if (IsLetterClass(cls) || cls == kCharClassDigit || c == u'.') {
      if (c == u'.') sawDot = true;
    } else if (c == u'$') {
      sawDollar = true;
    } else if (c == u':') {
      if (sawColon) return fail(kFormulaErrorSymbol, start);
      sawColon = true;
      colon = j;
    } else {
      break;
    }
  }
  i_ = j;
  previous_ = leadingDollar ? kTokenClassAbsoluteName : kTokenClassName;
  if (j < n_ && text_[j] == u'(') {
    if ((sawDollar || sawColon) && !sawDot) return fail(kFormulaErrorSymbol, start);
    const int32_t row = FunctionFromName(QStringView(text_).mid(start, j - start));
    if (row == 0) return fail(kFormulaErrorSymbol, start);
    token = CAFormulaToken::withFunction(row);
    return kFormulaOK;
  }
  if (!sawColon) {
    GridPoint point;
    if (!ParseGridPoint(text_, start, j, &point)) return fail(kFormulaErrorSymbol, start);
    token = CAFormulaToken::withReference(point);
    return kFormulaOK;
  }
  GridRange range;
  if (!ParseGridPoint(text_, start, colon, &range.startPoint) ||
      !ParseGridPoint(text_, colon + 1, j, &range.endPoint))
    return fail(kFormulaErrorSymbol, start);
  // A range typed end first (A5:A1) names the same cells as A1:A5; the token holds its corners in
  // order, each coordinate keeping its "$", so that evaluation, the reference table and
  // adjustment need not care. The text keeps what was typed.
  const auto order = [](int64_t& first, int64_t& last) {
    if (NormalizeCoordinate(first) > NormalizeCoordinate(last)) std::swap(first, last);
  };
  order(range.startPoint.x, range.endPoint.x);
  order(range.startPoint.y, range.endPoint.y);
  token = CAFormulaToken::withRange(range);
  return kFormulaOK;
}

int32_t Parser::scanNumber(qsizetype start, CAFormulaToken& token) {
  qsizetype j = start;
  const CANumber number = CANumber::withString(text_, &j, n_, false);
  // A literal ends before a decimal comma that parts arguments; it is the same number without it.
  if (NumberTextLocale().decimalSeparatorChar == u',' && j - 1 > start && CommaPartsArguments(text_, j - 1)) --j;
  bool sawDigit = false;
  for (qsizetype k = start; k < j && !sawDigit; ++k) sawDigit = TypeOfChar(text_[k].unicode()) == kCharClassDigit;
  if (j <= start || !sawDigit || number.form() == kNumberNaN) {
    i_ = std::max(j, start + 1);
    return fail(kFormulaErrorNumber, start);
  }
  i_ = j;
  previous_ = kTokenClassNumber;
  token = CAFormulaToken::withNumber(number);
  return kFormulaOK;
}

// Pops operators to the output down to the nearest "(" (which stays); NO when there is none.
bool Parser::popOperatorsToOpen() {
  while (!stack_.empty()) {
    if (stack_.back().token.isOperator(kOperatorOpen)) return true;
    output_.push_back(pop());
  }
  return false;
}

int32_t Parser::place(CAFormulaToken&& token, qsizetype start) {
  token.setFormulaIndex(uint64_t(start));
  switch (token.type()) {
    case kTokenReference:
    case kTokenNumber:
    case kTokenRange:
      output_.push_back(std::move(token));
      return kFormulaOK;
    case kTokenFunction:
      return push(std::move(token), 0, start);
    default:
      break;
  }
  const int32_t code = token.operatorCode();
  previous_ = code;
  switch (code) {
    case kOperatorOpen:
      output_.push_back(token);
      ++depth_;
      return push(std::move(token), output_.size() - 1, start);
    case kOperatorClose: {
      if (!popOperatorsToOpen()) return fail(kFormulaErrorParenthesis, start);
      const size_t marker = stack_.back().markerIndex;
      pop();
      --depth_;
      if (!stack_.empty() && stack_.back().token.type() == kTokenFunction) {
        // The marker stays in the output as the start of the function's arguments.
        output_.push_back(pop());
      } else {
        if (marker >= output_.size() || !output_[marker].isOperator(kOperatorOpen))
          return fail(kFormulaErrorParenthesis, start);
        CAFormulaToken dropped = CAFormulaToken::withOperator(kOperatorClose);
        dropped.setFormulaIndex(output_[marker].formulaIndex());
        output_[marker] = dropped;
      }
      return kFormulaOK;
    }
    case kOperatorComma:
      if (!popOperatorsToOpen()) return fail(kFormulaErrorComma, start);
      return kFormulaOK;
    case kOperatorNegate:
      // A prefix operator waits for its operand: it pops nothing.
      return push(std::move(token), 0, start);
    default: {
      const int32_t precedence = token.precedence();
      while (!stack_.empty()) {
        const CAFormulaToken& top = stack_.back().token;
        if (top.type() == kTokenFunction || top.precedence() < precedence ||
            top.precedence() == 0)
          break;
        if (top.isOperator(kOperatorPower) && code == kOperatorPower) break;
        output_.push_back(pop());
      }
      return push(std::move(token), 0, start);
    }
  }
}

int32_t Parser::run(uint64_t* errorOffset) {
  if (n_ < 2 || text_[0] != u'=') {
    *errorOffset = 0;
    return kFormulaErrorSymbol;
  }
  int32_t error = kFormulaOK;
  while (error == kFormulaOK) {
    while (i_ < n_ && text_[i_] == u' ') ++i_;
    if (i_ >= n_) break;
    const qsizetype start = i_;
    const char16_t c = text_[i_].unicode();
    const uint32_t cls = TypeOfChar(c);
    CAFormulaToken token;
    if (IsLetterClass(cls) || c == u'$') {
      error = scanName(start, token);
    } else if (cls == kCharClassDigit) {
      error = scanNumber(start, token);
    } else if (cls != kCharClassPunctuation) {
      error = fail(kFormulaErrorSymbol, start);
    } else {
      const char16_t next = i_ + 1 < n_ ? text_[i_ + 1].unicode() : u' ';
      int32_t code = kOperatorNone;
      switch (c) {
        case u'(': code = kOperatorOpen; break;
        case u')': code = kOperatorClose; break;
        case u'*': code = kOperatorMultiply; break;
        case u'+': code = kOperatorAdd; break;
        case u',': code = kOperatorComma; break;
        case u'/': code = kOperatorDivide; break;
        case u'^': code = kOperatorPower; break;
        case u'.':
          error = scanNumber(start, token);
          break;
        case u'-': {
          // Where an operand is expected a minus is a sign: of the literal that follows, or a
          // unary minus of the operand to come. Either is a unary minus that nests, the literal's
          // sign at the innermost level: "=---1" nests three deep as "=---A1" does.
          if (operandExpected() && (TypeOfChar(next) == kCharClassDigit || next == u'.'))
            error = nesting_ + 1 > kMaxFormulaNesting ? fail(kFormulaErrorNesting, start) : scanNumber(start, token);
          else
            code = operandExpected() ? kOperatorNegate : kOperatorSubtract;
          break;
        }
        default:
          error = fail(kFormulaErrorSymbol, start);
          break;
      }
      if (code == kOperatorAdd && operandExpected()) {
        // A plus where an operand is expected is a sign that changes nothing ("=+1", "=1-+1");
        // like a minus, it still needs its operand.
        ++i_;
        while (i_ < n_ && text_[i_] == u' ') ++i_;
        if (i_ >= n_) error = fail(kFormulaErrorSyntax, start);
        continue;
      }
      if (code != kOperatorNone && code != kOperatorOpen && code != kOperatorClose && code != kOperatorComma &&
          code != kOperatorNegate && operandExpected()) {
        // A binary operator needs an operand on its left: "=*1" and "=1*/2" are refused.
        error = fail(kFormulaErrorSyntax, start);
        break;
      }
      if (code != kOperatorNone) {
        token = CAFormulaToken::withOperator(code);
        ++i_;
      }
    }
    if (error == kFormulaOK) error = place(std::move(token), start);
  }
  if (error == kFormulaOK) {
    while (!stack_.empty()) {
      if (stack_.back().token.isOperator(kOperatorOpen)) {
        error = fail(kFormulaErrorParenthesis, qsizetype(stack_.back().token.formulaIndex()));
        break;
      }
      output_.push_back(pop());
    }
  }
  *errorOffset = error == kFormulaOK ? 0 : uint64_t(offset_);
  return error;
}

}  // namespace

int32_t ParseFormula(const QString& text, CAExpression& expression, uint64_t* errorOffset) {
  uint64_t offset = 0;
  // The conversion stack is kept from one parse to the next: formulas are parsed by the
  // thousand when a document opens.
  thread_local std::vector<Pending> stack;
  // So is the output, whose tokens are then copied into a list of their exact number: a cell
  // keeps its tokens as long as it lives.
  thread_local CAExpression parsed;
  parsed.clear();
  Parser parser(text, parsed, stack);
  const int32_t error = parser.run(&offset);
  expression.reserve(expression.size() + parsed.size());
  for (const CAFormulaToken& token : parsed)
    if (!IsDroppedMarker(token)) expression.push_back(token);
  if (errorOffset) *errorOffset = offset;
  return error;
}

int32_t FunctionFromName(QStringView name) {
  if (name.isEmpty()) return 0;
  int32_t low = 1;
  int32_t high = kFunctionCount;
  while (low <= high) {
    const int32_t middle = low + (high - low) / 2;
    const int order = CompareName(name, g_functionInfo[middle].name);
    if (order == 0) return middle;
    if (order < 0)
      high = middle - 1;
    else
      low = middle + 1;
  }
  return 0;
}

QString FunctionNameWithArguments(int32_t row, CATextRange* range) {
  if (row <= 0 || row >= kFunctionInfoRowCount) return QString();
  const CAFunctionInfo& info = g_functionInfo[row];
  const QString name = QString::fromLatin1(info.name);
  if (!info.argumentTemplate) {
    QString result = name + QStringLiteral("()");
    if (range) {
      range->location += uint64_t(result.size());
      range->length = 0;
    }
    return result;
  }
  QString arguments = QString::fromUtf8(info.argumentTemplate);
  // Under the decimal comma the arguments are parted by a comma and a blank, so that the numbers
  // typed over the placeholders stay apart ("2026, 3", where "2026,3" is one number).
  const bool decimalComma = NumberTextLocale().decimalSeparatorChar == u',';
  arguments.replace(QLatin1Char(','), decimalComma ? QStringLiteral("#, #") : QStringLiteral("#,#"));
  QString result = name + QStringLiteral("(#") + arguments + QStringLiteral("#)");
  if (range) {
    const qsizetype first = result.indexOf(QLatin1Char('#'));
    const qsizetype close = result.lastIndexOf(QLatin1Char(')'));
    range->location += uint64_t(first);
    range->length = uint64_t(close - first);
  }
  return result;
}

CATextRange RangeOfFunctionArgument(const QString& text, uint64_t start) {
  qsizetype from = qsizetype(std::min<uint64_t>(start, uint64_t(text.size())));
  while (true) {
    const qsizetype open = text.indexOf(QLatin1Char('#'), from);
    if (open < 0) break;
    const qsizetype close = text.indexOf(QLatin1Char('#'), open + 1);
    if (close < 0) break;
    // "#,#" (or "#, #") joins two placeholders: the pair found is the end of one and the start of
    // the next.
    if (QStringView(text).sliced(open + 1, close - open - 1).trimmed() == u",") {
      from = close;
      continue;
    }
    return CATextRange{uint64_t(open), uint64_t(close - open + 1)};
  }
  return CATextRange{kNotFound, 0};
}

bool RecordRecentFunction(int32_t row) {
  int32_t& count = g_recentFunctionCount;
  count = std::clamp(count, 0, kMaxRecentFunctions);
  if (count > 0 && g_recentFunctions[0] == row) return false;
  int32_t at = count;
  for (int32_t i = 0; i < count; ++i) {
    if (g_recentFunctions[i] == row) {
      at = i;
      break;
    }
  }
  if (at == count) {
    // Absent: the last entry of a full list drops off.
    if (count < kMaxRecentFunctions) ++count;
    at = count - 1;
  }
  for (int32_t i = at; i > 0; --i) g_recentFunctions[i] = g_recentFunctions[i - 1];
  g_recentFunctions[0] = row;
  return true;
}

QStringList AutoCompletionArray(const QString& text, uint64_t partialStart, uint64_t partialLength) {
  QStringList completions;
  if (!ModelPreferences().autoComplete) return completions;
  if (partialStart + partialLength != uint64_t(text.size())) return completions;
  if (text.size() < 2 || text[0] != u'=') return completions;
  const QStringView prefix = QStringView(text).mid(1);
  if (!IsLetterClass(TypeOfChar(prefix[0].unicode()))) return completions;
  for (QChar c : prefix) {
    const uint32_t cls = TypeOfChar(c.unicode());
    if (!IsLetterClass(cls) && cls != kCharClassDigit && c != u'.') return completions;
  }
  const bool lower = TypeOfChar(prefix[0].unicode()) == kCharClassLower;
  const QString upper = prefix.toString().toUpper();
  // The table is sorted, so the matches are consecutive rows.
  for (int32_t row = 1; row <= kFunctionCount; ++row) {
    if (QLatin1String(g_functionInfo[row].name).startsWith(upper)) {
      const QString completion = QStringLiteral("=") + FunctionNameWithArguments(row, nullptr);
      completions.append(lower ? completion.toLower() : completion);
    } else if (!completions.isEmpty()) {
      break;
    }
  }
  return completions;
}

CATextRange UpdateDocumentTextSelection(CADocument& document, const QString& text,
                                        CATextRange selection) {
  static bool updating = false;
  if (updating) return selection;
  updating = true;
  const uint64_t length = uint64_t(text.size());
  // A selection must lie within the text before its end is worked out: a length from outside
  // could make location + length wrap round.
  const bool within = selection.location <= length && selection.length <= length - selection.location;
  if (length >= 6 && selection.location != kNotFound && within) {
    const uint64_t end = selection.location + selection.length;
    if (selection.location > 0 && end < length && text[qsizetype(selection.location - 1)] == u'#' &&
        text[qsizetype(end)] == u'#') {
      selection = CATextRange{selection.location - 1, selection.length + 2};
    } else if (selection.length == 0 && selection.location == length &&
               text.endsWith(QLatin1String("#)"))) {
      const qsizetype open = text.lastIndexOf(QLatin1Char('('));
      if (open >= 0) selection = CATextRange{uint64_t(open + 1), length - 1 - uint64_t(open + 1)};
    }
  }
  document.setActiveCellTextSel(selection);
  updating = false;
  return selection;
}

bool CommaPartsArguments(QStringView text, qsizetype at) {
  if (at < 0 || at >= text.size() || text[at] != u',') return false;
  qsizetype next = at + 1;
  while (next < text.size() && text[next] == u' ') ++next;
  if (next >= text.size()) return false;
  const QChar c = text[next];
  const uint32_t cls = TypeOfChar(c.unicode());
  if (cls == kCharClassDigit) return next > at + 1;
  return IsLetterClass(cls) || c == u'$' || c == u'"' || c == u'(';
}
