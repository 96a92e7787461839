#include "calculator/fileformats/caTextLines.h"

#include "calculator/fileformats/caImportAlert.h"
#include "calculator/fileformats/caReadFile.h"
#include "calculator/model/CANumber.h"
#include "calculator/model/CANumberFormat.h"
#include "calculator/model/TextImportDelegate.h"
#include "framlet/foundation/flCharacterClasses.h"
#include "framlet/foundation/flFileSupport.h"
#include "framlet/foundation/flReadingMeter.h"
#include "platform/FLError.h"
#include "platform/TextEncodings.h"

#include <QFile>
#include <QSaveFile>
#include <QStringEncoder>
#include <QStringView>
#include <QVariant>

#include <algorithm>
#include <array>
#include <cerrno>
#include <new>
#include <cstring>
#include <cstdint>

namespace {

// File errors in the framework's file domain, as the platform's text reading reports them.
constexpr int kFileReadUnknown = 256;
constexpr int kFileReadNoPermission = 257;
constexpr int kFileReadNoSuchFile = 260;
constexpr int kFileWriteUnknown = 512;
constexpr int kFileWriteNoPermission = 513;

// Reads the heap now on the current meter, if any; false once it is past a bound.
bool MeasureNow() {
  FLReadingMeter* meter = FLReadingMeter::current();
  return !meter || meter->measure();
}

constexpr char16_t kQuote = u'"';
constexpr char16_t kTab = u'\t';

// Where a quoted field ends: the line and the index of its closing quote.
struct QuoteEnd {
  qsizetype line = -1;
  qsizetype index = -1;
};

// The closing quote of a field whose text starts at (line, index): the next quote that is not
// doubled, on this line or a later one. Nothing when the input ends first.
std::optional<QuoteEnd> FindClosingQuote(const LineViews& lines, qsizetype line, qsizetype index) {
  for (; line < qsizetype(lines.size()); ++line, index = 0) {
    const QStringView text = lines[size_t(line)];
    for (qsizetype i = text.indexOf(kQuote, index); i >= 0; i = text.indexOf(kQuote, i + 2)) {
      if (i + 1 >= text.size() || text[i + 1] != kQuote) return QuoteEnd{line, i};
    }
  }
  return std::nullopt;
}

// Appends quoted text with each doubled quote made single.
void AppendUnquoted(QString& field, QStringView text) {
  qsizetype from = 0;
  for (qsizetype i = text.indexOf(kQuote); i >= 0; i = text.indexOf(kQuote, i + 2)) {
    field += text.mid(from, i + 1 - from);
    from = i + 2;
  }
  if (from < text.size()) field += text.mid(from);
}

// The text of a quoted field from its first character at (line, index) to its end; the line and
// index move to the closing quote's line and just past it. Without a closing quote the field
// takes the rest of its own line, and reading goes on with the next line.
QString ReadQuotedField(const LineViews& lines, qsizetype& line, qsizetype& index) {
  QString field;
  const std::optional<QuoteEnd> end = FindClosingQuote(lines, line, index);
  if (!end) {
    AppendUnquoted(field, lines[size_t(line)].mid(index));
    index = lines[size_t(line)].size();
    return field;
  }
  for (; line < end->line; ++line, index = 0) {
    AppendUnquoted(field, lines[size_t(line)].mid(index));
    field += u'\n';
  }
  AppendUnquoted(field, lines[size_t(line)].mid(index, end->index - index));
  index = end->index + 1;
  return field;
}

// Blanks before a field are passed over, but never the delimiter itself: a tab between two tabs
// is an empty field, not white space.
qsizetype SkipWhiteSpace(QStringView text, qsizetype index, char16_t delimiter) {
  for (; index < text.size(); ++index) {
    const char16_t c = text[index].unicode();
    // Printable ASCII, what nearly every field starts with, is never white space.
    if ((c > u' ' && c < 0x7F) || (c == delimiter && c != u' ') || !IsWhiteSpaceOrNewline(c)) break;
  }
  return index;
}

// Fields between delimiters; a field that begins with a quote runs to its closing quote, over
// line ends too, and what follows it up to the next delimiter is passed over. `trim` drops the
// blanks before a field; tab-separated text keeps them, as it keeps everything but quotes.
void LoadDelimitedLines(const LineViews& lines, char16_t delimiter, bool trim, ImportCellSink& sink,
                        TextImportResult& result) {
  qint64 y = 0;
  for (qsizetype line = 0; line < qsizetype(lines.size()); ++line, ++y) {
    qint64 x = 0;
    qsizetype index = 0;
    while (true) {
      const QStringView text = lines[size_t(line)];
      if (trim) index = SkipWhiteSpace(text, index, delimiter);
      if (index >= text.size()) break;
      if (text[index] != delimiter) {
        QString field;
        if (text[index] == kQuote) {
          ++index;
          field = ReadQuotedField(lines, line, index);
          const qsizetype next = lines[size_t(line)].indexOf(delimiter, index);
          index = next < 0 ? lines[size_t(line)].size() : next;
        } else {
          qsizetype end = text.indexOf(delimiter, index);
          if (end < 0) end = text.size();
          field = text.mid(index, end - index).toString();
          index = end;
        }
        if (!field.isEmpty() && !sink.text(x, y, field)) {
          const qsizetype length = lines[size_t(line)].size();
          result.shareRead = (double(line) + (length ? double(std::min(index, length)) / double(length) : 0)) /
                             double(lines.size());
          return;
        }
      }
      ++x;
      ++index;  // past the delimiter
    }
  }
}

LineViews ViewsOfLines(const QStringList& lines) {
  LineViews views;
  views.reserve(size_t(lines.size()));
  for (const QString& line : lines) views.push_back(QStringView(line));
  return views;
}

bool IsCandidate(char16_t c) { return c == kTab || c == u';' || c == u',' || c == u' '; }

// What tab-separated text writes as a blank: a tab, or a line break, which would end the line.
bool BecomesBlank(char16_t c) { return c == kTab || ((c <= u'\r' || c >= 0x85) && IsNewline(c)); }

// A line that is one number as the locale reads typed text, its decimal separator being one of
// the delimiters: a lone column of such numbers (a tab-separated save, a copied column) has no
// other delimiter, and its decimal commas must not split it.
bool IsOneLocaleNumber(QStringView line) {
  const QChar decimal = NumberTextLocale().decimalSeparatorChar;
  if (!IsCandidate(decimal.unicode()) || !line.contains(decimal)) return false;
  return CANumber::withValidatedString(line.toString(), true).has_value();
}

}  // namespace

int CodePageForLocale(const QLocale& locale) {
  switch (locale.language()) {
    case QLocale::Albanian: case QLocale::Bosnian: case QLocale::Croatian: case QLocale::Czech:
    case QLocale::Hungarian: case QLocale::Polish: case QLocale::Romanian: case QLocale::Slovak:
    case QLocale::Slovenian:
      return 1250;
    case QLocale::Russian: case QLocale::Ukrainian: case QLocale::Belarusian: case QLocale::Bulgarian:
    case QLocale::Macedonian: case QLocale::Serbian: case QLocale::Kazakh: case QLocale::Kyrgyz:
    case QLocale::Mongolian: case QLocale::Tatar:
      return 1251;
    case QLocale::Greek:
      return 1253;
    case QLocale::Turkish: case QLocale::Azerbaijani:
      return 1254;
    case QLocale::Hebrew:
      return 1255;
    case QLocale::Arabic: case QLocale::Persian: case QLocale::Urdu:
      return 1256;
    case QLocale::Estonian: case QLocale::Latvian: case QLocale::Lithuanian:
      return 1257;
    case QLocale::Vietnamese:
      return 1258;
    case QLocale::Thai:
      return 874;
    case QLocale::Japanese:
      return 932;
    case QLocale::Korean:
      return 949;
    case QLocale::Chinese:
      return locale.script() == QLocale::TraditionalHanScript ? 950 : 936;
    default:
      return 1252;
  }
}

std::optional<QString> DecodeTextFileData(QByteArrayView bytes) {
  if (bytes.startsWith("\xFF\xFE")) return DecodeText(bytes.sliced(2), kFLEncodingUTF16LittleEndian);
  if (bytes.startsWith("\xFE\xFF")) return DecodeText(bytes.sliced(2), kFLEncodingUTF16BigEndian);
  if (bytes.startsWith("\xEF\xBB\xBF")) return DecodeText(bytes.sliced(3), kFLEncodingUTF8);
  if (std::optional<QString> text = DecodeText(bytes, kFLEncodingUTF8)) return text;
  return DecodeText(bytes, StringEncodingForCodePage(CodePageForLocale(QLocale::system())));
}

namespace {

int64_t g_textFileBytesHeldMost = 0;

// The file's text decoded in one encoding as it is read, a piece at a time: the text and a piece
// are held at once, never the text and the whole file. With `useMark`, a byte-order mark at the
// start chooses the encoding instead (`marked` set) and is skipped. Nothing when the bytes are
// not text in the encoding, with `readFailed` set when the file could not be read (the error
// then set).
std::optional<QString> DecodeFileInPieces(const QString& path, FLStringEncoding encoding, bool useMark,
                                          bool* marked, bool* readFailed, FLError* error) {
  QString text;
  std::optional<FLTextPieceDecoder> decoder;
  bool first = true, decoded = true, tooLarge = false;
  int64_t fileSize = 0, bytesRead = 0;
  const auto sized = [&](int64_t size) {
    fileSize = size;
    // The text takes no more characters than the file has bytes; a few for the decoder's ends.
    text.reserve(qsizetype(size) + 16);
  };
  const auto piece = [&](QByteArrayView bytes, bool last) {
    g_textFileBytesHeldMost = std::max<int64_t>(g_textFileBytesHeldMost, bytes.size());
    bytesRead += bytes.size();
    // The text alone of a file near the largest read may pass what an open may take.
    if (!MeasureNow()) {
      tooLarge = true;
      return false;
    }
    if (first) {
      first = false;
      FLStringEncoding chosen = encoding;
      if (useMark) {
        *marked = true;
        if (bytes.startsWith("\xFF\xFE")) chosen = kFLEncodingUTF16LittleEndian, bytes = bytes.sliced(2);
        else if (bytes.startsWith("\xFE\xFF")) chosen = kFLEncodingUTF16BigEndian, bytes = bytes.sliced(2);
        else if (bytes.startsWith("\xEF\xBB\xBF")) bytes = bytes.sliced(3);
        else *marked = false;
      }
      decoder.emplace(chosen);
    }
    decoded = decoder->append(bytes, last, text);
    return decoded;
  };
  FLError readError;
  const bool read = ReadRegularFileInPieces(path, kMaxDocumentFileSize, kTextFilePieceBytes, sized, piece, &readError);
  if (tooLarge) {
    // The text grows with the bytes read; the cells would come on top of it.
    const FLReadingMeter* meter = FLReadingMeter::current();
    const int64_t grown = meter ? meter->grown() : 0;
    RefuseTooLargeFile(error, WholeReadingCost(0, grown, double(bytesRead) / double(std::max<int64_t>(fileSize, 1))));
    *readFailed = true;
    return std::nullopt;
  }
  // A buffer for the file that could not be had is memory that ran out, not a file that cannot be read.
  if (!read && decoded && readError.code == ENOMEM) throw std::bad_alloc();
  if (!read && decoded) {
    // In the file domain, as the platform's text reading reports them.
    const int code = readError.code == ENOENT                              ? kFileReadNoSuchFile
                     : readError.code == EACCES || readError.code == EPERM ? kFileReadNoPermission
                                                                           : kFileReadUnknown;
    SetError(error, code, readError.reason, kFLCocoaErrorDomain);
    *readFailed = true;
    return std::nullopt;
  }
  if (!decoded) return std::nullopt;
  return text;
}

}  // namespace

std::optional<QString> LoadTextFileText(const QString& path, FLError* error) {
  g_textFileBytesHeldMost = 0;
  // As DecodeTextFileData decodes the whole file's bytes: a mark, else UTF-8, else the
  // locale's code page, for which the file is read again (its text in UTF-8 is let go first).
  bool marked = false, readFailed = false;
  std::optional<QString> text = DecodeFileInPieces(path, kFLEncodingUTF8, true, &marked, &readFailed, error);
  if (!text && !readFailed && !marked)
    text = DecodeFileInPieces(path, StringEncodingForCodePage(CodePageForLocale(QLocale::system())), false, &marked,
                              &readFailed, error);
  if (!text && !readFailed) {
    SetError(error, kTextEncodingUnknownCode, QLatin1String(kTextEncodingUnknownReason), kFLCocoaErrorDomain);
    return std::nullopt;
  }
  return text;
}

int64_t TextFileBytesHeldMost() { return g_textFileBytesHeldMost; }

std::optional<QStringList> LoadTextFileLines(const QString& path, FLError* error) {
  const std::optional<QString> text = LoadTextFileText(path, error);
  if (!text) return std::nullopt;
  return TextLines(*text);
}

namespace {

// Calls `line` with each line of the text, line breaks removed.
template <typename Line>
void ForEachLine(const QString& text, Line line) {
  const char16_t* units = reinterpret_cast<const char16_t*>(text.constData());
  const qsizetype length = text.size();
  qsizetype start = 0;
  for (qsizetype i = 0; i < length; ++i) {
    const char16_t c = units[i];
    if (c > u'\r' && c != 0x0085 && c != 0x2028 && c != 0x2029) continue;
    if (!IsNewline(c)) continue;
    line(QStringView(units + start, i - start));
    if (c == u'\r' && i + 1 < length && units[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  line(QStringView(units + start, length - start));
}

}  // namespace

TextLineCursor::TextLineCursor(QStringView text) : text_(text) { findEnd(); }

void TextLineCursor::findEnd() {
  const qsizetype length = text_.size();
  const char16_t* units = text_.utf16();
  end_ = start_;
  while (end_ < length) {
    const char16_t c = units[end_];
    if ((c <= u'\r' || c == 0x0085 || c == 0x2028 || c == 0x2029) && IsNewline(c)) break;
    ++end_;
  }
}

void TextLineCursor::next() {
  if (atEnd_) return;
  if (end_ >= text_.size()) {
    atEnd_ = true;
    return;
  }
  start_ = end_ + (text_[end_] == u'\r' && end_ + 1 < text_.size() && text_[end_ + 1] == u'\n' ? 2 : 1);
  findEnd();
}

QStringList TextLines(const QString& text) {
  QStringList lines;
  // A string a line takes many times a short line: past the meter's bound the lines stop, and
  // whatever reads them is stopped by the same meter.
  bool stopped = false;
  ForEachLine(text, [&](QStringView line) {
    if (stopped) return;
    lines.append(line.toString());
    stopped = !FLReadingMeter::Checkpoint();
  });
  return lines;
}

namespace {

// Which lines the finder passes over as one number: those the reader's locale reads so, none
// (a locale whose decimal separator is no delimiter), or every line with a comma and no
// semicolon (as a locale with a decimal comma might).
enum class NumberLines { kLocale, kNone, kAnyWithComma };

bool PassedOverAsNumber(QStringView line, NumberLines numbers) {
  switch (numbers) {
    case NumberLines::kLocale:
      return IsOneLocaleNumber(line);
    case NumberLines::kNone:
      return false;
    case NumberLines::kAnyWithComma:
      return line.contains(u',') && !line.contains(u';');
  }
  return false;
}

QChar DelimiterForViews(const LineViews& lines, bool csvFile, NumberLines numbers = NumberLines::kLocale) {
  // Tab, ";", "," and space, in their order of precedence.
  std::array<int64_t, 4> counts{};
  auto slot = [](char16_t c) { return c == kTab ? 0 : c == u';' ? 1 : c == u',' ? 2 : 3; };
  int holding = 0;
  for (qsizetype line = 0; line < qsizetype(lines.size()) && holding < kDelimiterSampleLines; ++line) {
    // A ".csv" file has its own rule: the writer quotes a number that holds a comma.
    if (!csvFile && PassedOverAsNumber(lines[size_t(line)], numbers)) {
      ++holding;
      continue;
    }
    bool holds = false;
    bool fieldStart = true;
    for (qsizetype i = 0; i < lines[size_t(line)].size(); ++i) {
      const char16_t c = lines[size_t(line)][i].unicode();
      if (c == kQuote && fieldStart) {
        const std::optional<QuoteEnd> end = FindClosingQuote(lines, line, i + 1);
        if (!end) break;  // the field takes the rest of the line
        line = end->line;
        i = end->index;
        fieldStart = false;
      } else if (IsCandidate(c)) {
        if (c == kTab && !csvFile) return QChar(kTab);
        ++counts[size_t(slot(c))];
        holds = true;
        fieldStart = true;
      } else if (!IsWhiteSpaceOrNewline(c)) {
        fieldStart = false;
      }
    }
    if (holds) ++holding;
  }
  // Semicolons still win in a ".csv" file by the rule below: decimal-comma locales write their
  // CSV so.
  if (csvFile && counts[2] > 0) return QChar(counts[1] > 1 && counts[1] >= counts[2] ? u';' : u',');
  if (counts[0] > 0) return QChar(kTab);
  // Tab counts as 1, so the others need two occurrences, and a later one must do strictly
  // better than an earlier one.
  char16_t best = kTab;
  int64_t bestCount = 1;
  if (counts[1] > bestCount) best = u';', bestCount = counts[1];
  if (counts[2] > bestCount) best = u',', bestCount = counts[2];
  if (counts[1] == 0 && counts[2] == 0 && counts[3] > bestCount) best = u' ';
  return QChar(best);
}

}  // namespace

QChar TextDelimiterForLines(const QStringList& lines, bool csvFile) {
  return DelimiterForViews(ViewsOfLines(lines), csvFile);
}

bool EveryLocaleReadsAsTabs(const QStringList& lines) {
  // Passing a line over takes its counts away. Tab is chosen when neither ";" nor "," is counted
  // twice, and blanks do not win over nothing: the most commas are counted where no line is
  // passed over, and blanks win most easily where every line with a comma is. Any locale's
  // reader lies between the two.
  const LineViews views = ViewsOfLines(lines);
  return DelimiterForViews(views, false, NumberLines::kNone) == QChar(kTab) &&
         DelimiterForViews(views, false, NumberLines::kAnyWithComma) == QChar(kTab);
}

ImportCellSink::ImportCellSink(TextImportDelegate& receiver, TextImportResult& result)
    : receiver_(receiver), result_(result), budget_(ImportCellBudget()) {}

bool ImportCellSink::enter(qint64 x, qint64 y, const QVariant& value, int32_t type, int64_t pieces) {
  if (x > LastGridColumn()) {
    result_.columnsCut = true;
    return true;
  }
  if (result_.cells >= budget_) {
    result_.budgetReached = true;
    return false;
  }
  // Whatever meter the open or paste reads under: a cell of text takes many times its field.
  if (!FLReadingMeter::Checkpoint(pieces)) {
    result_.tooLarge = true;
    return false;
  }
  receiver_.setCellAtPoint(GridPoint{x, y}, value, type);
  ++result_.cells;
  return true;
}

bool ImportCellSink::text(qint64 x, qint64 y, const QString& text) {
  return enter(x, y, QVariant(text), kImportTypedText, 1 + int64_t(text.size()) / kCharactersAPiece);
}

TextImportResult LoadLineViews(const LineViews& lines, TextImportDelegate& receiver, bool csvFile) {
  const char16_t delimiter = DelimiterForViews(lines, csvFile).unicode();
  TextImportResult result;
  ImportCellSink sink(receiver, result);
  // Tab-separated text keeps its fields as they are, blanks and all; only a field that begins
  // with a quote is unquoted, as the spreadsheets that write such files quote theirs.
  LoadDelimitedLines(lines, delimiter, delimiter != kTab || csvFile, sink, result);
  return result;
}

void LoadStringLines(const QStringList& lines, TextImportDelegate& receiver, bool csvFile) {
  LoadLineViews(ViewsOfLines(lines), receiver, csvFile);
}

QStringView LineViews::operator[](size_t line) const {
  if (next_ > 0 && entries_[next_ - 1].line >= line) {
    // Backwards: found by halves.
    next_ = size_t(std::lower_bound(entries_.begin(), entries_.end(), line,
                                    [](const Entry& entry, size_t at) { return entry.line < at; }) -
                   entries_.begin());
  }
  while (next_ < entries_.size() && entries_[next_].line < line) ++next_;
  if (next_ >= entries_.size() || entries_[next_].line != line) return QStringView();
  return QStringView(entries_[next_].data, qsizetype(entries_[next_].length));
}

void LineViews::push_back(QStringView line) {
  if (!line.isEmpty()) entries_.push_back(Entry{line.data(), uint32_t(line.size()), uint32_t(count_)});
  ++count_;
}

LineViews LineViewsOfText(const QString& text, double* shareRead) {
  // Counted first, so that the array is made once at its size instead of doubling.
  size_t count = 0;
  ForEachLine(text, [&](QStringView line) { count += !line.isEmpty(); });
  LineViews lines;
  if (shareRead) *shareRead = 1;
  // A line of a letter takes eight times its two characters: the meter is asked as they are held,
  // and the array is asked for at once only where the meter's budget has room for it (otherwise it
  // grows as lines are held, until the meter stops it).
  bool stopped = !MeasureNow();
  const FLReadingMeter* meter = FLReadingMeter::current();
  if (!meter || meter->budget() <= 0 ||
      meter->grown() + int64_t(count) * int64_t(LineViews::kHeldLineBytes) <= meter->budget())
    lines.reserve(count);
  ForEachLine(text, [&](QStringView line) {
    if (stopped) return;
    lines.push_back(line);
    if (line.isEmpty() || FLReadingMeter::Checkpoint()) return;
    stopped = true;
    if (shareRead && !text.isEmpty()) *shareRead = double(line.data() + line.size() - text.data()) / double(text.size());
  });
  if (stopped && shareRead && *shareRead >= 1) *shareRead = 0;
  return lines;
}

bool HoldsDelimiterCandidate(QStringView text) {
  return std::any_of(text.begin(), text.end(), [](QChar c) { return IsCandidate(c.unicode()); });
}

void WritePlainTextField(QString& output, const QString& text, qint64 column, qint64 columnCount) {
  const qsizetype start = output.size();
  output += text;
  for (qsizetype i = start; i < output.size(); ++i) {
    if (BecomesBlank(output[i].unicode())) output[i] = u' ';
  }
  output += column + 1 >= columnCount ? QChar(u'\n') : QChar(kTab);
}

void WriteTextField(QString& output, const QString& text, bool commas, qint64 column, qint64 columnCount,
                    bool quoteDelimiters) {
  if (!text.isEmpty()) {
    if (commas) {
      bool quote = IsWhiteSpaceOrNewline(text.front().unicode()) || IsWhiteSpaceOrNewline(text.back().unicode());
      // Semicolons could outvote the commas between fields when the file is read again, and a
      // lone column has no commas to outvote any other delimiter.
      const bool lone = columnCount == 1;
      for (qsizetype i = 0; i < text.size() && !quote; ++i) {
        const char16_t c = text[i].unicode();
        if (c > u' ' && c < 0x7F && c != u',' && c != u';' && c != kQuote) continue;
        quote = c == u',' || c == u';' || c == kQuote || IsNewline(c) || (lone && IsCandidate(c));
      }
      if (quote) {
        output += kQuote;
        for (QChar c : text) {
          if (c == kQuote) output += kQuote;
          output += c;
        }
        output += kQuote;
      } else {
        output += text;
      }
    } else {
      // A text that begins with a quote would be unquoted when read: it is quoted itself. Tabs
      // and line breaks become blanks, which the reader may take for delimiters too.
      const auto splittable = [](QChar c) { return IsCandidate(c.unicode()) || BecomesBlank(c.unicode()); };
      const bool quoted =
          text.front() == kQuote || (quoteDelimiters && std::any_of(text.begin(), text.end(), splittable));
      if (quoted) output += kQuote;
      const qsizetype start = output.size();
      output += text;
      for (qsizetype i = start; i < output.size(); ++i) {
        const char16_t c = output[i].unicode();
        if (BecomesBlank(c)) {
          output[i] = u' ';
        } else if (quoted && c == kQuote) {
          output.insert(i++, kQuote);
        }
      }
      if (quoted) output += kQuote;
    }
  }
  output += column + 1 >= columnCount ? QChar(u'\n') : commas ? QChar(u',') : QChar(kTab);
}

void AppendUtf8(QByteArray& output, QStringView text) {
  if (text.isEmpty()) return;
  QStringEncoder encoder(QStringEncoder::Utf8, QStringConverter::Flag::Stateless);
  const qsizetype at = output.size();
  const qsizetype most = encoder.requiredSpace(text.size());
  if (output.capacity() < at + most) output.reserve(std::max(at + most, output.capacity() * 2));
  output.resize(at + most);
  char* const end = encoder.appendToBuffer(output.data() + at, text);
  output.resize(end - output.constData());
}

namespace {

template <typename Text, typename Piece>
void AppendRepeatedUnits(Text& output, Piece piece, int64_t times) {
  if (times <= 0 || piece.isEmpty()) return;
  const qsizetype start = output.size();
  const qsizetype total = piece.size() * qsizetype(times);
  output.resize(start + total);
  auto* at = output.data() + start;
  const size_t unit = sizeof(*at);
  std::memcpy(at, piece.data(), size_t(piece.size()) * unit);
  for (qsizetype filled = piece.size(); filled < total;) {
    const qsizetype count = std::min(filled, total - filled);
    std::memcpy(at + filled, at, size_t(count) * unit);
    filled += count;
  }
}

}  // namespace

void AppendRepeated(QByteArray& output, QByteArrayView piece, int64_t times) {
  AppendRepeatedUnits(output, piece, times);
}

void AppendRepeated(QString& output, QStringView piece, int64_t times) { AppendRepeatedUnits(output, piece, times); }

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, FLError* error) {
  QSaveFile file(path);
  errno = 0;
  if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) return true;
  // The file layer loses the system's reason for a failed write (a file-size limit, a full
  // disk) and says "Unknown error": the reason is taken from the system where it has one.
  const int systemError = errno;
  const int code = file.error() == QFileDevice::PermissionsError ? kFileWriteNoPermission : kFileWriteUnknown;
  QString reason = file.errorString();
  if (systemError != 0 && (reason.isEmpty() || reason == QLatin1String("Unknown error")))
    reason = QString::fromLocal8Bit(std::strerror(systemError));
  SetError(error, code, reason, kFLCocoaErrorDomain);
  file.cancelWriting();
  return false;
}
