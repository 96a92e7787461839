// Rebuilds infix text from Excel's postfix tokens on a stack of text fragments, each with the
// precedence of its outermost operator, so that parentheses go exactly where our parser needs
// them to read the same grouping. The fragments are ASCII (references, numbers, operators and
// function names), each a chain of pieces of one buffer, so that wrapping or joining one never
// moves what it holds.
#include "calculator/fileformats/caExcelFormula.h"

#include "calculator/model/caColumnLabels.h"
#include "calculator/model/formula/caFormulaParser.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flNumberText.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace {

struct FunctionInfo {
  uint16_t number;
  int8_t argumentCount;  // -1: variable
  const char* name;
};

constexpr int8_t kVariable = -1;

// By Excel function number; the rows from 8192 on are reached only by name.
constexpr std::array<FunctionInfo, 81> kFunctionInfo = {{
    {0, kVariable, "COUNT"},          {4, kVariable, "SUM"},          {5, kVariable, "AVERAGE"},
    {6, kVariable, "MIN"},            {7, kVariable, "MAX"},          {12, kVariable, "STDEV.S"},
    {15, 1, "SIN"},                   {16, 1, "COS"},                 {17, 1, "TAN"},
    {18, 1, "ATAN"},                  {19, 0, "PI"},                  {20, 1, "SQRT"},
    {21, 1, "EXP"},                   {22, 1, "LN"},                  {23, 1, "LOG10"},
    {24, 1, "ABS"},                   {25, 1, "INT"},                 {26, 1, "SIGN"},
    {27, 2, "ROUND"},                 {39, 2, "MOD"},                 {46, kVariable, "VAR.S"},
    {59, kVariable, "PMT"},           {63, 0, "RAND"},                {65, 3, "DATE"},
    {67, 1, "DAY"},                   {68, 1, "MONTH"},               {69, 1, "YEAR"},
    {70, kVariable, "WEEKDAY"},       {97, 2, "ATAN2"},               {98, 1, "ASIN"},
    {99, 1, "ACOS"},                  {109, kVariable, "LOG"},        {169, kVariable, "COUNTA"},
    {183, kVariable, "PRODUCT"},      {184, 1, "FACT"},               {193, kVariable, "STDEV.P"},
    {194, kVariable, "VAR.P"},        {197, kVariable, "TRUNC"},      {212, 2, "ROUNDUP"},
    {213, 2, "ROUNDDOWN"},            {221, 0, "TODAY"},              {227, kVariable, "MEDIAN"},
    {229, 1, "SINH"},                 {230, 1, "COSH"},               {231, 1, "TANH"},
    {232, 1, "ASINH"},                {233, 1, "ACOSH"},              {234, 1, "ATANH"},
    {276, 2, "COMBIN"},               {279, 1, "EVEN"},               {285, 2, "FLOOR"},
    {288, 2, "CEILING"},              {298, 1, "ODD"},                {299, 2, "PERMUT"},
    {321, kVariable, "SUMSQ"},        {325, 2, "LARGE"},              {326, 2, "SMALL"},
    {330, kVariable, "MODE.SNGL"},    {337, 2, "POWER"},              {342, 1, "RADIANS"},
    {343, 1, "DEGREES"},              {347, 1, "COUNTBLANK"},         {361, kVariable, "AVERAGEA"},
    {362, kVariable, "MAXA"},         {363, kVariable, "MINA"},       {364, kVariable, "STDEVPA"},
    {365, kVariable, "VARPA"},        {366, kVariable, "STDEVA"},     {367, kVariable, "VARA"},
    {8192, kVariable, "CEILING.PRECISE"}, {8193, kVariable, "EDATE"}, {8194, kVariable, "EOMONTH"},
    {8195, kVariable, "FLOOR.PRECISE"}, {8196, kVariable, "GCD"},     {8197, kVariable, "LCM"},
    {8198, kVariable, "MROUND"},      {8199, kVariable, "MULTINOMIAL"}, {8200, kVariable, "QUOTIENT"},
    {8201, kVariable, "RANDBETWEEN"}, {8202, kVariable, "SERIESSUM"}, {8203, kVariable, "SQRTPI"},
}};

constexpr uint16_t kExternalFunctionNumber = 255;
constexpr uint16_t kAddInSupbookMarker = 0x3A01;
constexpr const char* kFunctionPrefix = "_xlfn.";
constexpr const char* kSharedMissingReport = "Shared formula not found, or ref within formula";
constexpr const char* kSharedWithinReport = "Shared formula ref within formula";
// Names that refer to names: deeper than this is taken for a loop.
constexpr int kMaxNameDepth = 32;
constexpr int64_t kMaxTokensPerFormula = 100000;

// Token identifiers (operand tokens by their reference class).
enum : uint8_t {
  tExp = 1, tTbl = 2, tAdd = 3, tSub = 4, tMul = 5, tDiv = 6, tPower = 7, tUplus = 18,
  tUminus = 19, tPercent = 20, tParen = 21, tStr = 23, tAttr = 25, tBool = 29, tInt = 30,
  tNum = 31, tFunc = 33, tFuncVar = 34, tName = 35, tRef = 36, tArea = 37, tMemArea = 38,
  tMemNoMem = 40, tMemFunc = 41, tRefN = 44, tAreaN = 45, tNameX = 57,
};

// Precedences of fragments.
enum : int32_t { kAdditive = 1, kMultiplicative = 2, kPower = 3, kOperand = 7 };

uint8_t BaseIdentifier(uint8_t byte) {
  const uint8_t id = byte & 0x7F;
  return id < 0x20 ? id : uint8_t(0x20 + (id & 0x1F));
}

uint16_t U16(QByteArrayView data, qsizetype offset) {
  return qFromLittleEndian<uint16_t>(data.data() + offset);
}
uint32_t U32(QByteArrayView data, qsizetype offset) {
  return qFromLittleEndian<uint32_t>(data.data() + offset);
}

// A fragment's text is a chain of pieces of one byte buffer: a fragment is wrapped, prefixed and
// joined to its neighbours by relinking, never by moving the bytes of what it already holds, so
// that a formula is converted in time linear in its tokens however deeply it nests.
struct Piece {
  uint32_t start;
  uint32_t length;
  uint32_t next;
};

constexpr uint32_t kNoPiece = UINT32_MAX;

struct Fragment {
  uint32_t first;
  uint32_t last;
  int32_t precedence;
  // The levels its text nests (parentheses, a number's sign): a formula nested past what the
  // sheet's parser reads fails here.
  int64_t nesting = 0;
  // The function row of a name that stands for a function, while the fragment is just that.
  int64_t marker = kXLNoFunction;
};

// The decimal digits of a number, appended.
void AppendNumber(std::string& text, uint64_t n) {
  char digits[20];
  int count = 0;
  do {
    digits[count++] = char('0' + n % 10);
    n /= 10;
  } while (n != 0);
  while (count > 0) text += digits[--count];
}

class Converter {
 public:
  explicit Converter(XLFormulaContext& context) : context_(context) {}

  std::optional<QString> run(QByteArrayView tokens, const char* prefix) {
    stack_.clear();
    stack_.reserve(8);
    bool switched = false;
    qsizetype pos = 0;
    while (pos < tokens.size()) {
      const int64_t length = TokenLength(tokens.sliced(pos));
      if (length < 1 || pos + length > tokens.size()) return std::nullopt;
      const QByteArrayView token = tokens.sliced(pos, qsizetype(length));
      if (BaseIdentifier(uint8_t(token[0])) == tExp) {
        if (!stack_.empty() || switched) {
          // What was read so far is only part of the formula.
          LogString("%@", QLatin1String(kSharedWithinReport));
          return std::nullopt;
        }
        const uint64_t key = uint64_t(U16(token, 1)) << 32 | U16(token, 3);
        const auto found = context_.sharedFormulas.find(key);
        if (found == context_.sharedFormulas.end()) {
          LogString("%@", QLatin1String(kSharedMissingReport));
          return std::nullopt;
        }
        tokens = QByteArrayView(found->second);
        pos = 0;
        switched = true;
        continue;
      }
      if (!handle(token, 0)) return std::nullopt;
      pos += qsizetype(length);
    }
    if (stack_.size() != 1 || badReference_) return std::nullopt;
    std::string text = prefix;
    for (uint32_t p = stack_.front().first; p != kNoPiece; p = pieces_[p].next)
      text.append(bytes_, pieces_[p].start, pieces_[p].length);
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
  }

 private:
  bool handle(QByteArrayView token, int depth);
  bool handleAll(QByteArrayView tokens, int depth);
  bool binary(const char* text, int32_t precedence);
  bool call(int64_t row, int64_t count);

  // A piece of the bytes appended since `start`.
  uint32_t pieceFrom(size_t start) {
    pieces_.push_back(Piece{uint32_t(start), uint32_t(bytes_.size() - start), kNoPiece});
    return uint32_t(pieces_.size() - 1);
  }
  uint32_t piece(const char* text) {
    const size_t start = bytes_.size();
    bytes_ += text;
    return pieceFrom(start);
  }
  // A fragment of the bytes appended since `start`.
  void push(size_t start, int32_t precedence) {
    const uint32_t p = pieceFrom(start);
    stack_.push_back(Fragment{p, p, precedence});
  }
  void prepend(Fragment& fragment, const char* text) {
    const uint32_t p = piece(text);
    pieces_[p].next = fragment.first;
    fragment.first = p;
    fragment.marker = kXLNoFunction;
  }
  void append(Fragment& fragment, const char* text) {
    const uint32_t p = piece(text);
    pieces_[fragment.last].next = p;
    fragment.last = p;
    fragment.marker = kXLNoFunction;
  }
  // The fragment put after `fragment`, as part of it.
  void join(Fragment& fragment, const Fragment& after) {
    pieces_[fragment.last].next = after.first;
    fragment.last = after.last;
    fragment.nesting = std::max(fragment.nesting, after.nesting);
    fragment.marker = kXLNoFunction;
  }
  // In parentheses; false when that nests the formula too deeply for the sheet.
  bool wrap(Fragment& fragment) {
    prepend(fragment, "(");
    append(fragment, ")");
    return ++fragment.nesting <= kMaxFormulaNesting;
  }
  void pushMarker(int64_t row) {
    const size_t start = bytes_.size();
    bytes_ += '{';
    AppendNumber(bytes_, uint64_t(row));
    push(start, kOperand);
    stack_.back().marker = row;
  }
  void reference(uint64_t row, uint16_t columnField, bool relativeToCell);
  void pushReference(QByteArrayView token, bool relativeToCell) {
    const size_t start = bytes_.size();
    reference(U16(token, 1), U16(token, 3), relativeToCell);
    push(start, kOperand);
  }
  void pushArea(QByteArrayView token, bool relativeToCell) {
    const size_t start = bytes_.size();
    reference(U16(token, 1), U16(token, 5), relativeToCell);
    bytes_ += ':';
    reference(U16(token, 3), U16(token, 7), relativeToCell);
    push(start, kOperand);
  }

  XLFormulaContext& context_;
  std::string bytes_;
  std::vector<Piece> pieces_;
  std::vector<Fragment> stack_;
  // A column past the sheet's last has no letters: its reference would read as a number.
  bool badReference_ = false;
  // Names that use other names more than once grow exponentially: the tokens handled for one
  // formula, names expanded, are limited.
  int64_t budget_ = kMaxTokensPerFormula;
};

// Our parser reads "+", "-", "*" and "/" left to right and "^" right to left, while the tokens
// group "^" left to right too: a left operand needs parentheses when it binds more loosely, or
// as loosely for "^"; a right one whenever it binds no tighter.
bool Converter::binary(const char* text, int32_t precedence) {
  if (stack_.size() < 2) return false;
  Fragment right = stack_.back();
  stack_.pop_back();
  Fragment& left = stack_.back();
  if (right.precedence <= precedence && !wrap(right)) return false;
  const int32_t leftPrecedence = left.precedence;
  if ((leftPrecedence < precedence || (precedence == kPower && leftPrecedence == kPower)) && !wrap(left)) return false;
  append(left, text);
  join(left, right);
  left.precedence = precedence;
  return true;
}

bool Converter::call(int64_t row, int64_t count) {
  if (row < 0 || row > kXLExternalFunctionRow || count < 0 || uint64_t(count) > stack_.size())
    return false;
  size_t first = stack_.size() - size_t(count);
  int64_t function = row;
  if (row == kXLExternalFunctionRow) {
    // The first argument is the marker of the function called: it goes, the rest move back.
    if (count < 1) return false;
    function = stack_[first].marker;
    if (function < 0 || function >= kXLExternalFunctionRow) return false;
    ++first;
  }
  const size_t start = bytes_.size();
  bytes_ += kFunctionInfo[size_t(function)].name;
  bytes_ += '(';
  Fragment made{pieceFrom(start), 0, kOperand};
  made.last = made.first;
  for (size_t i = first; i < stack_.size(); ++i) {
    if (i > first) append(made, ",");
    join(made, stack_[i]);
  }
  append(made, ")");
  if (++made.nesting > kMaxFormulaNesting) return false;
  stack_.resize(stack_.size() - size_t(count));
  stack_.push_back(made);
  return true;
}

void Converter::reference(uint64_t row, uint16_t columnField, bool relativeToCell) {
  std::string& text = bytes_;
  const bool columnRelative = columnField & 0x4000;
  const bool rowRelative = columnField & 0x8000;
  uint64_t column = columnField & 0x3FFF;
  // A shared formula's tokens hold offsets from each cell for its relative coordinates only: a
  // coordinate not marked relative is as absolute there as in any other formula, and keeps its "$"
  // so that a sort or a fill moves it no more than the workbook would.
  if (relativeToCell) {
    if (columnRelative) column = (context_.column + uint64_t(int64_t(int8_t(columnField & 0xFF)))) % 256;
    if (rowRelative) row = (context_.row + row) % 65536;
  }
  if (!columnRelative) text += '$';
  char letters[kColumnLetterCapacity];
  const int count = ColumnLetters(column + uint64_t(context_.columnOffset), letters);
  if (count == 0) badReference_ = true;
  text.append(letters, size_t(count));
  if (!rowRelative) text += '$';
  AppendNumber(text, row + 1);
}

bool Converter::handleAll(QByteArrayView tokens, int depth) {
  qsizetype pos = 0;
  while (pos < tokens.size()) {
    const int64_t length = TokenLength(tokens.sliced(pos));
    if (length < 1 || pos + length > tokens.size()) return false;
    const QByteArrayView token = tokens.sliced(pos, qsizetype(length));
    if (BaseIdentifier(uint8_t(token[0])) == tExp || !handle(token, depth)) return false;
    pos += qsizetype(length);
  }
  return true;
}

bool Converter::handle(QByteArrayView token, int depth) {
  if (--budget_ < 0) return false;
  switch (BaseIdentifier(uint8_t(token[0]))) {
    case tAdd: return binary("+", kAdditive);
    case tSub: return binary("-", kAdditive);
    case tMul: return binary("*", kMultiplicative);
    case tDiv: return binary("/", kMultiplicative);
    case tPower: return binary("^", kPower);
    case tUplus: return !stack_.empty();
    case tUminus: {
      // Written as a subtraction from 0, which our parser cannot mistake for anything else.
      if (stack_.empty()) return false;
      Fragment& top = stack_.back();
      if (top.precedence <= kAdditive && !wrap(top)) return false;
      prepend(top, "(0-");
      append(top, ")");
      top.precedence = kOperand;
      return ++top.nesting <= kMaxFormulaNesting;
    }
    case tPercent: {
      if (stack_.empty()) return false;
      Fragment& top = stack_.back();
      if (top.precedence < kMultiplicative && !wrap(top)) return false;
      prepend(top, "(");
      append(top, "/100)");
      top.precedence = kOperand;
      return ++top.nesting <= kMaxFormulaNesting;
    }
    case tParen: return true;
    case tStr:
      // Our formulas have no text constants: such a formula keeps its cached value.
      return false;
    case tAttr: {
      const uint8_t options = uint8_t(token[1]);
      if (options & 0x10) return call(1, 1);  // SUM of one argument
      return true;
    }
    case tBool:
      bytes_ += token[1] ? '1' : '0';
      push(bytes_.size() - 1, kOperand);
      return true;
    case tInt: {
      const size_t start = bytes_.size();
      AppendNumber(bytes_, U16(token, 1));
      push(start, kOperand);
      return true;
    }
    case tNum: {
      double value = 0;
      memcpy(&value, token.data() + 1, sizeof value);
      value = qFromLittleEndian<double>(&value);
      if (!std::isfinite(value)) return false;
      FLNumberFormatOptions options;
      options.decimalSeparator = QStringLiteral(".");
      options.digits = FLNumberFormatOptions::kAutomaticDigits;
      options.disallowScientific = true;
      const std::string text = FormatFloat(options, value).toStdString();
      const size_t start = bytes_.size();
      bytes_ += text;
      const bool negative = text.starts_with('-');
      push(start, negative ? kAdditive : kOperand);
      // The sheet's parser counts a number's sign as a unary minus, one level of nesting.
      if (negative) stack_.back().nesting = 1;
      return true;
    }
    case tFunc: {
      const int64_t row = IdentifyFunction(U16(token, 1));
      if (row == kXLNoFunction || row == kXLExternalFunctionRow) return false;
      const int8_t count = kFunctionInfo[size_t(row)].argumentCount;
      if (count == kVariable) return false;
      return call(row, count);
    }
    case tFuncVar: {
      const uint16_t number = U16(token, 2);
      if (number & 0x8000) return false;
      const int64_t row = IdentifyFunction(number);
      if (row == kXLNoFunction) return false;
      return call(row, uint8_t(token[1]) & 0x7F);
    }
    case tName: {
      const uint32_t index = U32(token, 1);
      if (index == 0 || index > context_.names.size() || depth >= kMaxNameDepth) return false;
      const XLName& name = context_.names[index - 1];
      if (name.sheetIndex != context_.sheetIndex) return false;
      if (name.functionRow != kXLNoFunction) {
        pushMarker(name.functionRow);
        return true;
      }
      if (name.tokens.isEmpty()) return false;
      return handleAll(name.tokens, depth + 1);
    }
    case tNameX: {
      // The sheet reference is an EXTERNSHEET entry, which names the SUPBOOK: writers put the
      // add-in book first or after the workbook's own. A workbook without EXTERNSHEET can only
      // mean the book by its place.
      const uint16_t sheetReference = U16(token, 1);
      const std::vector<uint16_t>& books = context_.externSheetBooks;
      const int64_t book = books.empty()                   ? int64_t(sheetReference)
                           : sheetReference < books.size() ? int64_t(books[sheetReference])
                                                           : -1;
      const uint32_t index = U32(token, 3);
      if (book < 0 || book != context_.addInSupbook || index == 0 || index > context_.externalNames.size())
        return false;
      const int64_t row = context_.externalNames[index - 1];
      if (row != kXLNoFunction) pushMarker(row);
      return true;
    }
    case tRef: pushReference(token, false); return true;
    case tArea: pushArea(token, false); return true;
    case tRefN: pushReference(token, true); return true;
    case tAreaN: pushArea(token, true); return true;
    default:
      return false;
  }
}

}  // namespace

int64_t IdentifyFunction(uint64_t number) {
  if (number == kExternalFunctionNumber) return kXLExternalFunctionRow;
  if (number > kFunctionInfo.back().number) return kXLNoFunction;
  const auto found = std::lower_bound(kFunctionInfo.begin(), kFunctionInfo.end(), number,
                                      [](const FunctionInfo& info, uint64_t n) { return info.number < n; });
  if (found == kFunctionInfo.end() || found->number != number) return kXLNoFunction;
  return found - kFunctionInfo.begin();
}

int64_t FunctionRowForName(const QString& name) {
  for (size_t row = 0; row < kFunctionInfo.size(); ++row)
    if (name.compare(QLatin1String(kFunctionInfo[row].name), Qt::CaseInsensitive) == 0) return int64_t(row);
  return kXLNoFunction;
}

QString FunctionNameForRow(int64_t row) {
  if (row < 0 || size_t(row) >= kFunctionInfo.size()) return QString();
  return QLatin1String(kFunctionInfo[size_t(row)].name);
}

int64_t TokenLength(QByteArrayView tokens) {
  if (tokens.isEmpty()) return -1;
  const uint8_t id = BaseIdentifier(uint8_t(tokens[0]));
  switch (id) {
    case tExp:
    case tTbl:
      return 5;
    case tStr: {
      if (tokens.size() < 3) return -1;
      return 3 + int64_t(uint8_t(tokens[1])) * ((tokens[2] & 1) ? 2 : 1);
    }
    case tAttr: {
      if (tokens.size() < 4) return -1;
      if (tokens[1] & 0x04) return 6 + 2 * int64_t(U16(tokens, 2));
      return 4;
    }
    case tBool: return 2;
    case tInt: return 3;
    case tNum: return 9;
    case tFunc: return 3;
    case tFuncVar: return 4;
    case tName: return 5;
    case tRef: return 5;
    case tArea: return 9;
    case tMemArea:
    case tMemNoMem: return 7;
    case tMemFunc: return 3;
    case tRefN: return 5;
    case tAreaN: return 9;
    case tNameX: return 7;
    default:
      // A token the sheet has no use for is the file's content, not a fault of ours: the
      // conversion fails and the import counts the cell among those that kept their values.
      if (id >= tAdd && id <= tParen) return 1;
      return -1;
  }
}

void CaptureName(XLFormulaContext& context, const QString& name, uint16_t flags, QByteArrayView tokens) {
  XLName entry;
  entry.sheetIndex = context.sheetIndex;
  if (!(flags & 0x04) && !(flags & 0x10)) {
    entry.name = name;
    entry.tokens = tokens.toByteArray();
    if (name.startsWith(QLatin1String(kFunctionPrefix)))
      entry.functionRow = FunctionRowForName(name.mid(int(strlen(kFunctionPrefix))));
  }
  context.names.push_back(std::move(entry));
}

void CaptureSupbook(XLFormulaContext& context, QByteArrayView body) {
  const bool addIn = body.size() >= 4 && U16(body, 2) == kAddInSupbookMarker && context.addInSupbook < 0;
  if (addIn) context.addInSupbook = int64_t(context.supbookCount);
  context.readingAddInSupbook = addIn;
  ++context.supbookCount;
}

void CaptureExternName(XLFormulaContext& context, uint16_t flags, const QString& name) {
  if (!context.readingAddInSupbook) return;
  context.externalNames.push_back((flags & 0x18) ? kXLNoFunction : FunctionRowForName(name));
}

void CaptureExternSheet(XLFormulaContext& context, QByteArrayView body) {
  if (body.size() < 2) return;
  // Each entry is six bytes: its SUPBOOK, then the first and last sheet in it. A count past the
  // body is a damaged record, read as far as it goes.
  const qsizetype count = std::min<qsizetype>(U16(body, 0), (body.size() - 2) / 6);
  context.externSheetBooks.clear();
  context.externSheetBooks.reserve(size_t(count));
  for (qsizetype i = 0; i < count; ++i) context.externSheetBooks.push_back(U16(body, 2 + 6 * i));
}

void AddSharedFormula(XLFormulaContext& context, uint64_t column, uint64_t row, QByteArrayView tokens) {
  context.sharedFormulas.emplace(row << 32 | column, tokens.toByteArray());
}

std::optional<QString> ConvertFormula(XLFormulaContext& context, QByteArrayView tokens, const char* prefix) {
  return Converter(context).run(tokens, prefix);
}
