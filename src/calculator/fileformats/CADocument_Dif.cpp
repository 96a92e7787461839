// The sheet as DIF: a header of topic triples, then one pair of lines a cell between "BOT" and
// the next "-1,0", ending at "EOD". Numbers go out in C-locale text from the cell's value, texts
// as UTF-8 strings; on the way in each value is entered as if typed.
#include "calculator/fileformats/caDif.h"
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caImportAlert.h"
#include "calculator/fileformats/caTextLines.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CANumberFormat.h"
#include "calculator/model/CARow.h"
#include "calculator/model/TextImportDelegate.h"
#include "calculator/model/formula/caFormulaErrors.h"
#include "framlet/foundation/flCharacterClasses.h"
#include "framlet/foundation/flCollectionExtensions.h"
#include "framlet/foundation/flReadingMeter.h"
#include "platform/FLError.h"
#include "platform/StringWithFormat.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <vector>

namespace {

constexpr const char* kDifHeaderFormat =
    "TABLE\n0,1\n\"%@\"\nVECTORS\n0,%d\n\"\"\nTUPLES\n0,%d\n\"\"\nDATA\n0,0\n\"\"\n";
constexpr const char* kDifEnd = "-1,0\nEOD\n";
constexpr const char* kDifRowStart = "-1,0\nBOT\n";
// "1,0", a newline, two double quotes, a newline: what the emptiest cell takes.
constexpr int64_t kDifEmptyPairLength = 7;
constexpr int kDifFormatErrorCode = -50;

// Value indicator words by code; code 0 is a string pair.
constexpr std::array<const char*, 6> kIndicatorWords = {"", "FALSE", "TRUE", "ERROR", "NA", "V"};

// What "NA" and "ERROR" values are entered as.
constexpr const char* kNotAvailableText = "<N/A>";
constexpr const char* kErrorValueText = "<Value>";

// Header lines: the topics the reader checks.
constexpr qsizetype kHeaderLines = 12;
constexpr const char* kTableTopic = "TABLE";
constexpr const char* kVectorsTopic = "VECTORS";
constexpr const char* kTuplesTopic = "TUPLES";
constexpr const char* kDataTopic = "DATA";

bool SetFormatError(FLError* error) {
  SetError(error, kDifFormatErrorCode, QLatin1String(kDifFormatErrorReason));
  return false;
}

QStringView Trimmed(QStringView line) { return line.trimmed(); }

// The lines of a DIF text by number, kept from the first one still wanted to the furthest one
// looked at: a pair or two, except while a string that runs over lines is looked for.
class DifLines {
 public:
  explicit DifLines(QStringView text) : cursor_(text) {}
  bool has(qsizetype i) { return fill(i); }
  QStringView operator[](qsizetype i) {
    fill(i);
    return window_[size_t(i - first_)];
  }
  // The lines before i are wanted no more.
  void release(qsizetype i) {
    while (first_ < i && !window_.empty()) {
      window_.pop_front();
      ++first_;
    }
  }

 private:
  bool fill(qsizetype i) {
    while (first_ + qsizetype(window_.size()) <= i) {
      if (cursor_.atEnd()) return false;
      window_.push_back(cursor_.line());
      cursor_.next();
    }
    return i >= first_;
  }
  TextLineCursor cursor_;
  std::deque<QStringView> window_;
  qsizetype first_ = 0;
};

// A type line: exactly two parts around one comma, the first an integer.
bool SplitTypeLine(QStringView line, int* type, QStringView* value) {
  const QStringView text = Trimmed(line);
  const qsizetype comma = text.indexOf(u',');
  if (comma < 0 || text.indexOf(u',', comma + 1) >= 0) return false;
  bool ok = false;
  *type = text.first(comma).trimmed().toInt(&ok);
  *value = text.sliced(comma + 1).trimmed();
  return ok;
}

// A DIF number ("-1.5E+3") as the user would type it here: its "." becomes the decimal
// separator of the locale, so that the value does not depend on where the file was written.
QString TypedNumberText(QStringView number) {
  const QChar separator = NumberTextLocale().decimalSeparatorChar;
  QString text = number.toString();
  if (separator == u'.') return text;
  for (QChar c : text)
    if ((c < u'0' || c > u'9') && c != u'.' && c != u'-' && c != u'+' && c != u'e' && c != u'E') return text;
  text.replace(QLatin1Char('.'), separator);
  return text;
}

// A string value: the text inside its enclosing quotes, each doubled quote made single. A value
// without quotes is taken as it stands.
QString StringValue(QStringView line) {
  QStringView text = Trimmed(line);
  if (text.size() >= 2 && text.front() == u'"' && text.back() == u'"') text = text.sliced(1, text.size() - 2);
  QString value = text.toString();
  value.replace(QStringLiteral("\"\""), QStringLiteral("\""));
  return value;
}

// Whether a line can follow a value: the next pair's type line, or the end of the lines.
bool EndsValueBefore(DifLines& lines, qsizetype next) {
  int type = 0;
  QStringView value;
  return !lines.has(next) || SplitTypeLine(lines[next], &type, &value);
}

// The string value that starts on line `at`; `last` is the line it ends on. A quoted value that
// does not close on its own line runs on to the first line that ends with a quote and is
// followed by a type line, as other programs write texts holding line breaks raw (and some
// their quotes undoubled). Without such a line the value keeps to its own line.
QString StringValueAt(DifLines& lines, qsizetype at, qsizetype* last) {
  *last = at;
  const QStringView first = Trimmed(lines[at]);
  if (!first.startsWith(u'"') || (first.size() >= 2 && first.endsWith(u'"')) || EndsValueBefore(lines, at + 1))
    return StringValue(lines[at]);
  for (qsizetype line = at + 1; lines.has(line); ++line) {
    if (!Trimmed(lines[line]).endsWith(u'"') || !EndsValueBefore(lines, line + 1)) continue;
    QString joined = lines[at].toString();
    for (qsizetype more = at + 1; more <= line; ++more) joined += u'\n' + lines[more].toString();
    *last = line;
    return StringValue(joined);
  }
  return StringValue(lines[at]);
}

// The pair a cell is written as: its value indicator code and the text that goes with it.
struct DifValue {
  int code = 0;
  QString text;
};

DifValue DifValueOfCell(const CACell* cell) {
  if (!cell) return {};
  switch (cell->valueType()) {
    case kValueNone:
    case kValuePicture:
    case kValueOverflow:
      return {};
    case kValueCheckbox:
      return cell->isChecked() ? DifValue{kDifTrue, QStringLiteral("1")} : DifValue{kDifFalse, QStringLiteral("0")};
    case kValueError:
      return {cell->evalResult() == kFormulaErrorNotAvailable ? kDifNotAvailable : kDifError, QStringLiteral("0")};
    case kValueNumber:
    case kValueFormula: {
      // A formula's date result, like a date cell, goes out as the text that reads back as it.
      const bool date = cell->valueType() == kValueFormula && cell->formulaResultType() == kValueDate;
      const QString number = cell->number() && !date ? cell->number()->decimalText() : QString();
      if (!number.isEmpty()) return {kDifValue, number};
      return {kDifString, cell->savingText()};
    }
    case kValueDate:
      return {kDifString, cell->savingText()};
    default:
      return {kDifString, cell->formula()};
  }
}

}  // namespace

void WriteDifField(QString& output, const QString& text, int code, int64_t column) {
  if (column == 0) output += QLatin1String(kDifRowStart);
  QString cleaned;
  cleaned.reserve(text.size());
  for (QChar c : text) {
    const char16_t u = c.unicode();
    if (u == u'"') {
      cleaned += QStringLiteral("\"\"");
    } else if (u == u'\t' || IsNewline(u)) {
      // The format is one value a line.
      cleaned += u' ';
    } else if (u >= 0x20 && u != 0x7F) {
      cleaned += c;
    }
  }
  if (code == kDifString || code < 0 || code >= int(kIndicatorWords.size())) {
    output += QStringLiteral("1,0\n\"");
    output += cleaned;
    output += QStringLiteral("\"\n");
  } else {
    output += QStringLiteral("0,");
    output += cleaned;
    output += u'\n';
    output += QLatin1String(kIndicatorWords[size_t(code)]);
    output += u'\n';
  }
}

bool LoadDifText(QStringView text, TextImportDelegate& receiver, FLError* error, TextImportResult* result) {
  TextImportResult counted;
  ImportCellSink sink(receiver, result ? *result : counted);
  DifLines lines(text);
  if (!lines.has(kHeaderLines - 1) || Trimmed(lines[0]) != QLatin1String(kTableTopic) ||
      Trimmed(lines[9]) != QLatin1String(kDataTopic))
    return SetFormatError(error);
  for (qsizetype topic : {3, 6}) {
    const QStringView word = Trimmed(lines[topic]);
    if (word != QLatin1String(kVectorsTopic) && word != QLatin1String(kTuplesTopic)) return SetFormatError(error);
  }
  qsizetype line = kHeaderLines;
  for (qint64 y = 0;; ++y) {
    lines.release(line);
    // "-1,0" and then "EOD" or "BOT".
    int type = 0;
    QStringView value;
    if (!lines.has(line + 1) || !SplitTypeLine(lines[line], &type, &value) || type != -1)
      return SetFormatError(error);
    const QStringView marker = Trimmed(lines[line + 1]);
    if (marker == QLatin1String("EOD")) return true;
    if (marker != QLatin1String("BOT")) return SetFormatError(error);
    line += 2;
    for (qint64 x = 0; lines.has(line); ++x, line += 2) {
      lines.release(line);
      if (!SplitTypeLine(lines[line], &type, &value)) return SetFormatError(error);
      if (type == -1) break;
      if (!lines.has(line + 1)) return SetFormatError(error);
      bool more = true;
      if (type == 0) {
        const QStringView word = Trimmed(lines[line + 1]);
        if (word == QLatin1String("V")) {
          // A value without its number enters nothing, like an empty string.
          if (!value.isEmpty()) more = sink.text(x, y, TypedNumberText(value));
        } else if (word == QLatin1String("TRUE") || word == QLatin1String("FALSE")) {
          more = sink.enter(x, y, QVariant(word == QLatin1String("TRUE")), kImportCheckbox);
        } else if (word == QLatin1String("NA")) {
          more = sink.text(x, y, QLatin1String(kNotAvailableText));
        } else if (word == QLatin1String("ERROR")) {
          more = sink.text(x, y, QLatin1String(kErrorValueText));
        } else {
          return SetFormatError(error);
        }
      } else if (type == 1) {
        qsizetype last = line + 1;
        const QString string = StringValueAt(lines, line + 1, &last);
        if (!string.isEmpty()) more = sink.text(x, y, string);
        line = last - 1;
      } else {
        return SetFormatError(error);
      }
      // The cells read so far make the sheet; the caller says the rest was left out, or refuses
      // the file where the meter stopped it.
      if (!more) {
        if (result && !text.isEmpty()) result->shareRead = double(lines[line].data() - text.data()) / double(text.size());
        return true;
      }
    }
    if (!lines.has(line)) return SetFormatError(error);
  }
}

bool LoadDifLines(const QStringList& lines, TextImportDelegate& receiver, FLError* error) {
  return LoadDifText(lines.join(u'\n'), receiver, error, nullptr);
}

bool CADocument::loadDifFile(const QString& path, FLError* error) {
  // The text and the cells are held within what an open may take, as delimited text's are.
  FLReadingMeter meter(FileReadingBudget());
  // One text and a few lines of it at a time, as delimited text is read.
  const std::optional<QString> text = LoadTextFileText(path, error);
  if (!text) return false;
  meter.measure();
  const int64_t textHeld = meter.grown();
  TextImportResult result;
  if (!LoadDifText(*text, *this, error, &result)) return false;
  if (result.tooLarge || !meter.measure())
    return RefuseTooLargeFile(error, WholeReadingCost(textHeld, meter.grown(), result.shareRead));
  if (result.budgetReached) ShowImportBudgetAlert(path, result.cells);
  if (result.columnsCut) ShowImportColumnsAlert(path);
  return true;
}

bool CADocument::saveToDifFile(const QString& path, FLError* error) {
  bool tooLarge = false, cellText = false;
  const QByteArray output = DifBytesOfDocument(*this, kMaxDelimitedTextLength, &tooLarge, &cellText);
  if (tooLarge) {
    SetError(error, kTextTooLargeCode, QLatin1String(cellText ? kCellTextTooLargeReason : kTextTooLargeReason));
    return false;
  }
  return WriteFileAtomically(path, output, error);
}

QByteArray DifBytesOfDocument(const CADocument& document, int64_t most, bool* tooLarge, bool* cellText) {
  *tooLarge = false;
  if (cellText) *cellText = false;
  int64_t pairs = 0;  // what the cells' own pairs take
  const CADocument::RowList& rows = document.rows();
  uint64_t cellCount = 0;
  for (const std::unique_ptr<CARow>& row : rows) cellCount += row->cells().size();
  const GridPoint last = cellCount ? document.maxGridPoint() : GridPoint{-1, -1};
  QString output = StringWithFormat(kDifHeaderFormat, appName(), last.x + 1, last.y + 1);
  // Every cell of the grid is written, an empty one as its pair of lines, a cell's own pair in
  // one byte less at the least ("0,1\nV\n"): what that much asks is refused before any row is
  // made; the cells' own pairs are counted as they are written.
  using Wide = unsigned __int128;
  const uint64_t rowCount = uint64_t(last.y + 1), columnCount = uint64_t(last.x + 1);
  const Wide rowBytes = Wide(columnCount) * kDifEmptyPairLength + std::strlen(kDifRowStart);
  const Wide gridBytes = rowBytes * rowCount + uint64_t(output.size()) + std::strlen(kDifEnd);
  const auto refuse = [tooLarge, cellText, &pairs, most] {
    *tooLarge = true;
    if (cellText) *cellText = pairs > most / 2;
    return QByteArray();
  };
  if (gridBytes - std::min<Wide>(cellCount, gridBytes) > Wide(uint64_t(std::max<int64_t>(most, 0)))) return refuse();

  QString emptyRow = QLatin1String(kDifRowStart);
  for (uint64_t x = 0; x < columnCount; ++x) WriteDifField(emptyRow, QString(), kDifString, 1);
  const qsizetype rowStart = qsizetype(std::strlen(kDifRowStart));
  // The text goes into the bytes a few rows at a time: the two are never held whole at once.
  QByteArray bytes;
  int64_t spilled = 0;  // the characters of the text in the bytes
  const auto spill = [&](qsizetype least) {
    if (output.size() < least) return;
    spilled += output.size();
    AppendUtf8(bytes, output);
    output.resize(0);
  };
  int64_t y = 0;
  for (auto row = rows.begin(); row != rows.end() && (*row)->gridY() <= last.y; ++row) {
    if ((*row)->cells().empty()) continue;
    AppendRepeated(output, emptyRow, (*row)->gridY() - y);
    y = (*row)->gridY() + 1;
    output += QLatin1String(kDifRowStart);
    int64_t x = 0;
    for (const CACellEntry& entry : (*row)->cells()) {
      if (entry.x() > last.x) break;
      output += QStringView(emptyRow).sliced(rowStart, (entry.x() - x) * kDifEmptyPairLength);
      const DifValue value = DifValueOfCell(CACellReading(entry, (*row)->gridY(), &document).get());
      const qsizetype before = output.size();
      WriteDifField(output, value.text, value.code, 1);
      pairs += output.size() - before;
      x = entry.x() + 1;
    }
    output += QStringView(emptyRow).sliced(rowStart, (last.x + 1 - x) * kDifEmptyPairLength);
    if (spilled + output.size() > most) return refuse();
    spill(kTextSpillCharacters);
  }
  AppendRepeated(output, emptyRow, last.y + 1 - y);
  output += QLatin1String(kDifEnd);
  spill(0);
  output = QString();
  if (bytes.size() <= most) return bytes;
  // Characters of more than one byte are the cells' own.
  pairs += bytes.size() - spilled;
  return refuse();
}
