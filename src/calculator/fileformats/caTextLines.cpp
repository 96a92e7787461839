#include "calculator/fileformats/caTextLines.h"

#include "calculator/model/TextImportDelegate.h"
#include "framlet/foundation/flCharacterClasses.h"
#include "platform/FLError.h"
#include "platform/TextEncodings.h"

#include <QFile>
#include <QSaveFile>
#include <QStringView>
#include <QVariant>

#include <array>
#include <cstdint>

namespace {

// File errors in the framework's file domain, as the platform's text reading reports them.
constexpr int kFileReadUnknown = 256;
constexpr int kFileReadNoPermission = 257;
constexpr int kFileReadNoSuchFile = 260;
constexpr int kFileWriteUnknown = 512;
constexpr int kFileWriteNoPermission = 513;

// Only the first lines holding a delimiter are counted.
constexpr int kDelimiterSampleLines = 20;

constexpr char16_t kQuote = u'"';
constexpr char16_t kTab = u'\t';

// Where a quoted field ends: the line and the index of its closing quote.
struct QuoteEnd {
  qsizetype line = -1;
  qsizetype index = -1;
};

// The closing quote of a field whose text starts at (line, index): the next quote that is not
// doubled, on this line or a later one. Nothing when the input ends first.
std::optional<QuoteEnd> FindClosingQuote(const QStringList& lines, qsizetype line, qsizetype index) {
  for (; line < lines.size(); ++line, index = 0) {
    const QStringView text(lines[line]);
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
QString ReadQuotedField(const QStringList& lines, qsizetype& line, qsizetype& index) {
  QString field;
  const std::optional<QuoteEnd> end = FindClosingQuote(lines, line, index);
  if (!end) {
    AppendUnquoted(field, QStringView(lines[line]).mid(index));
    index = lines[line].size();
    return field;
  }
  for (; line < end->line; ++line, index = 0) {
    AppendUnquoted(field, QStringView(lines[line]).mid(index));
    field += u'\n';
  }
  AppendUnquoted(field, QStringView(lines[line]).mid(index, end->index - index));
  index = end->index + 1;
  return field;
}

qsizetype SkipWhiteSpace(QStringView text, qsizetype index) {
  for (; index < text.size(); ++index) {
    const char16_t c = text[index].unicode();
    // Printable ASCII, what nearly every field starts with, is never white space.
    if ((c > u' ' && c < 0x7F) || !IsWhiteSpaceOrNewline(c)) break;
  }
  return index;
}

void Enter(TextImportDelegate& receiver, qint64 x, qint64 y, const QString& text) {
  receiver.setCellAtPoint(GridPoint{x, y}, QVariant(text), kImportTypedText);
}

void LoadTabLines(const QStringList& lines, TextImportDelegate& receiver) {
  for (qsizetype y = 0; y < lines.size(); ++y) {
    const QString& line = lines[y];
    qint64 x = 0;
    qsizetype start = 0;
    while (start <= line.size()) {
      qsizetype end = line.indexOf(kTab, start);
      if (end < 0) end = line.size();
      if (end > start) Enter(receiver, x, y, line.mid(start, end - start));
      ++x;
      start = end + 1;
    }
  }
}

void LoadDelimitedLines(const QStringList& lines, QChar delimiter, TextImportDelegate& receiver) {
  qint64 y = 0;
  for (qsizetype line = 0; line < lines.size(); ++line, ++y) {
    qint64 x = 0;
    qsizetype index = 0;
    while (true) {
      const QStringView text(lines[line]);
      index = SkipWhiteSpace(text, index);
      if (index >= text.size()) break;
      if (text[index] != delimiter) {
        QString field;
        if (text[index] == kQuote) {
          ++index;
          field = ReadQuotedField(lines, line, index);
          const qsizetype next = lines[line].indexOf(delimiter, index);
          index = next < 0 ? lines[line].size() : next;
        } else {
          qsizetype end = text.indexOf(delimiter, index);
          if (end < 0) end = text.size();
          field = text.mid(index, end - index).toString();
          index = end;
        }
        if (!field.isEmpty()) Enter(receiver, x, y, field);
      }
      ++x;
      ++index;  // past the delimiter
    }
  }
}

bool IsCandidate(char16_t c) { return c == kTab || c == u';' || c == u',' || c == u' '; }

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

std::optional<QStringList> LoadTextFileLines(const QString& path, FLError* error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    const int code = !file.exists()                                  ? kFileReadNoSuchFile
                     : file.error() == QFileDevice::PermissionsError ? kFileReadNoPermission
                                                                     : kFileReadUnknown;
    SetError(error, code, file.errorString(), kFLCocoaErrorDomain);
    return std::nullopt;
  }
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    SetError(error, kFileReadUnknown, file.errorString(), kFLCocoaErrorDomain);
    return std::nullopt;
  }
  const std::optional<QString> text = DecodeTextFileData(bytes);
  if (!text) {
    SetError(error, kTextEncodingUnknownCode, QLatin1String(kTextEncodingUnknownReason), kFLCocoaErrorDomain);
    return std::nullopt;
  }
  return TextLines(*text);
}

QStringList TextLines(const QString& text) {
  QStringList lines;
  const char16_t* units = reinterpret_cast<const char16_t*>(text.constData());
  const qsizetype length = text.size();
  qsizetype start = 0;
  for (qsizetype i = 0; i < length; ++i) {
    const char16_t c = units[i];
    if (c > u'\r' && c != 0x0085 && c != 0x2028 && c != 0x2029) continue;
    if (!IsNewline(c)) continue;
    lines.append(text.mid(start, i - start));
    if (c == u'\r' && i + 1 < length && units[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  lines.append(text.mid(start));
  return lines;
}

QChar TextDelimiterForLines(const QStringList& lines, bool csvFile) {
  // Tab, ";", "," and space, in their order of precedence.
  std::array<int64_t, 4> counts{};
  auto slot = [](char16_t c) { return c == kTab ? 0 : c == u';' ? 1 : c == u',' ? 2 : 3; };
  int holding = 0;
  for (qsizetype line = 0; line < lines.size() && holding < kDelimiterSampleLines; ++line) {
    bool holds = false;
    bool fieldStart = true;
    for (qsizetype i = 0; i < lines[line].size(); ++i) {
      const char16_t c = lines[line][i].unicode();
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

void LoadStringLines(const QStringList& lines, TextImportDelegate& receiver, bool csvFile) {
  const QChar delimiter = TextDelimiterForLines(lines, csvFile);
  // A ".csv" file is unquoted whatever its delimiter; in other text a tab means tab fields.
  if (delimiter == QChar(kTab) && !csvFile)
    LoadTabLines(lines, receiver);
  else
    LoadDelimitedLines(lines, delimiter, receiver);
}

void WriteTextField(QString& output, const QString& text, bool commas, qint64 column, qint64 columnCount) {
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
      const qsizetype start = output.size();
      output += text;
      QChar* written = output.data() + start;
      for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = written[i].unicode();
        if (c == kTab || ((c <= u'\r' || c >= 0x85) && IsNewline(c))) written[i] = u' ';
      }
    }
  }
  output += column + 1 >= columnCount ? QChar(u'\n') : commas ? QChar(u',') : QChar(kTab);
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, FLError* error) {
  QSaveFile file(path);
  if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) return true;
  const int code = file.error() == QFileDevice::PermissionsError ? kFileWriteNoPermission : kFileWriteUnknown;
  SetError(error, code, file.errorString(), kFLCocoaErrorDomain);
  file.cancelWriting();
  return false;
}
