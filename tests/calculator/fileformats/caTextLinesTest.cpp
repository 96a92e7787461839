// Delimited text: every csv-spectrum file gives exactly the fields of its JSON, the delimiter
// choice and the field rules hold for the cases that matter, encodings are detected without
// losing a byte, and what the field writer writes reads back as the same fields.
#include "TextImportRecorder.h"
#include "calculator/fileformats/caTextLines.h"
#include "calculator/model/ModelTestSupport.h"
#include "platform/FLError.h"
#include "support/TestData.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QStringList Lines(const char* utf8) { return TextLines(QString::fromUtf8(utf8)); }

TEST(CsvSpectrumTest, EveryFileReadsToTheFieldsOfItsJson) {
  // Two JSON files do not match the CSV bytes: the "_crlf" file holds plain line feeds here, so
  // its quoted line break is "\n"; and location_coordinates.json names a phone number that its
  // CSV does not hold (the CSV's bytes say 2095257564).
  const QHash<QString, QString> corrections = {
      {QStringLiteral("Once upon \r\na time"), QStringLiteral("Once upon \na time")},
      {QStringLiteral("1234567890"), QStringLiteral("2095257564")},
  };
  const QDir folder(TestDataPath(QStringLiteral("csv-spectrum/csvs")));
  const QStringList names = folder.entryList({QStringLiteral("*.csv")}, QDir::Files, QDir::Name);
  ASSERT_EQ(names.size(), 12);
  for (const QString& name : names) {
    SCOPED_TRACE(name.toStdString());
    FLError error;
    const std::optional<QStringList> lines = LoadTextFileLines(folder.filePath(name), &error);
    ASSERT_TRUE(lines.has_value());
    TextImportRecorder recorder;
    LoadStringLines(*lines, recorder, true);

    const QJsonDocument json = QJsonDocument::fromJson(ReadFileBytes(
        TestDataPath(QStringLiteral("csv-spectrum/json/") + QFileInfo(name).completeBaseName() + QStringLiteral(".json"))));
    ASSERT_FALSE(json.isNull());
    // One file holds its only row as an object rather than an array of one.
    const QJsonArray rows = json.isArray() ? json.array() : QJsonArray{json.object()};

    QStringList header;
    for (int64_t x = 0; recorder.has(x, 0); ++x) header.append(recorder.text(x, 0));
    int64_t cellsExpected = header.size();
    for (qsizetype r = 0; r < rows.size(); ++r) {
      const QJsonObject row = rows[r].toObject();
      ASSERT_EQ(row.size(), header.size());
      for (auto it = row.begin(); it != row.end(); ++it) {
        const qsizetype x = header.indexOf(it.key());
        ASSERT_GE(x, 0) << it.key().toStdString();
        const QString expected = corrections.value(it.value().toString(), it.value().toString());
        EXPECT_EQ(recorder.text(x, r + 1), expected) << "row " << r + 1 << " " << it.key().toStdString();
        if (!expected.isEmpty()) ++cellsExpected;
      }
    }
    // Nothing beyond the rows of the JSON, and every field typed text.
    EXPECT_EQ(int64_t(recorder.cells.size()), cellsExpected);
    for (const auto& [point, cell] : recorder.cells) EXPECT_EQ(cell.type, kImportTypedText);
  }
}

TEST(TextLinesTest, EveryLineBreakEndsALine) {
  const struct { const char* text; QStringList lines; } cases[] = {
      {"", {""}}, {"a", {"a"}}, {"a\n", {"a", ""}}, {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
      {"a\r\r\nb", {"a", "", "b"}}, {"a\n\nb", {"a", "", "b"}},
      {"a\u2028b\u2029c\u0085d\fe", {"a", "b", "c", "d", "e"}},
  };
  for (const auto& c : cases) EXPECT_EQ(TextLines(QString::fromUtf8(c.text)), c.lines) << c.text;
}

TEST(TextDelimiterTest, ChoosesByCountsAndPrecedence) {
  const struct { const char* text; bool csv; char16_t delimiter; } cases[] = {
      // One comma is not enough in pasted text or a plain text file...
      {"a,b", false, u'\t'},
      // ...but is in a ".csv" file.
      {"a,b", true, u','},
      // A tab wins at once, however many commas there are.
      {"a,b,c,d,e,f\ng\th", false, u'\t'},
      // In a ".csv" file, the commas win over a tab.
      {"a,b\tc", true, u','},
      // Spaces in the data do not beat the commas between the fields.
      {"John Smith, 12 Main Street, Old Town\nJane Doe, 3 High Street, New Town", false, u','},
      {"John Smith, 12 Main Street, Old Town", true, u','},
      // Space wins only when nothing else occurs.
      {"a b c", false, u' '}, {"a b", false, u'\t'},
      // Quoted text is not counted.
      {"\"a;b;c;d\",x,y", false, u','}, {"\"first line;\nsecond;line;\",x,y", false, u','},
      // Semicolons with decimal commas, as decimal-comma locales write CSV.
      {"Artikel;Preis;Menge\n\xC3\x84pfel;1,25;3", true, u';'},
      // Empty lines do not count, and only the first 20 lines with a delimiter do.
      {"\n\n\na;b;c", false, u';'},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TextDelimiterForLines(Lines(c.text), c.csv), QChar(c.delimiter)) << c.text;

  QString many;
  for (int i = 0; i < 20; ++i) many += QStringLiteral("a;b;c\n");
  many += QStringLiteral("a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q,r,s,t,u,v,w,x,y,z,a,b,c,d,e,f,g,h,i,j,k,l,m,n\n");
  EXPECT_EQ(TextDelimiterForLines(TextLines(many), false), QChar(u';'));
  EXPECT_EQ(TextDelimiterForLines(TextLines(QStringLiteral("a\tb") + many), false), QChar(u'\t'));
}

TEST(LoadStringLinesTest, FieldsLandAtFieldAndRecordNumbers) {
  const struct { const char* text; bool csv; const char* cells; } cases[] = {
      // The second field keeps its comma: ";" is the delimiter.
      {"a;b,c\nd;e,f", false, "0,0=a|1,0=b,c|0,1=d|1,1=e,f"},
      // A lone comma in pasted text: the whole line is one cell.
      {"a,b", false, "0,0=a,b"}, {"a,b", true, "0,0=a|1,0=b"},
      // Doubled quotes become one; a quoted field keeps its delimiters and spaces.
      {"\"say \"\"hi\"\"\",\" x, y \"", true, "0,0=say \"hi\"|1,0= x, y "},
      // Leading white space is dropped, trailing white space kept.
      {"  a  ,b", true, "0,0=a  |1,0=b"},
      // Empty fields and empty lines keep their places.
      {"a,,c\n\n,e", true, "0,0=a|2,0=c|1,2=e"},
      // A quoted field runs over line ends; the next record is the next row.
      {"\"a\nb\",c\nd,e", true, "0,0=a\nb|1,0=c|0,1=d|1,1=e"},
      // A quote that never closes takes the rest of its own line; the next lines read normally.
      {"x,\"open\nd,e\nf,g", true, "0,0=x|1,0=open|0,1=d|1,1=e|0,2=f|1,2=g"},
      // What follows a closing quote up to the delimiter is passed over.
      {"\"a\"junk,b", true, "0,0=a|1,0=b"},
      // A quote inside an unquoted field is kept.
      {"5'11\" tall,x", true, "0,0=5'11\" tall|1,0=x"},
      // Tab fields: split at every tab, nothing trimmed; a field that begins with a quote is
      // unquoted as the spreadsheets that write tab-separated text quote theirs.
      {"a\t\t\"b\"\n c \td", false, "0,0=a|2,0=b|0,1= c |1,1=d"},
      {"\"name\"\t\"a \"\"q\"\"\"\n\"two\nlines\"\tx\nlast", false,
       "0,0=name|1,0=a \"q\"|0,1=two\nlines|1,1=x|0,2=last"},
      // A quote anywhere but at a field's start stays as it is.
      {"5'11\" tall\tx\ty \"z\"", false, "0,0=5'11\" tall|1,0=x|2,0=y \"z\""},
      // A tab-delimited ".csv" keeps its empty fields: a tab is no blank to skip.
      {"a\t\tb\n\tx\n \t y", true, "0,0=a|2,0=b|1,1=x|1,2=y"},
      // Spaces: runs of them are one delimiter.
      {"a  b c", false, "0,0=a|1,0=b|2,0=c"},
  };
  for (const auto& c : cases) {
    TextImportRecorder recorder;
    LoadStringLines(Lines(c.text), recorder, c.csv);
    EXPECT_EQ(recorder.summary(), QString::fromUtf8(c.cells)) << c.text;
  }
}

// A far cell's file is mostly empty lines: they cost the lines read nothing but their count,
// and the fields, quoted ones running over empty lines too, land where every line is counted.
TEST(LineViewsTest, EmptyLinesCostNothingAndStillCount) {
  constexpr int kEmpty = 200000;
  const QString text = QStringLiteral("a,\"b\n\r\n\nc\"\n") + QString(kEmpty, u'\n') +
                       QStringLiteral("x,y\r\n\r\n\u2028z");
  const LineViews lines = LineViewsOfText(text);
  ASSERT_EQ(lines.size(), size_t(kEmpty + 8));
  EXPECT_EQ(lines.heldLines(), 4u);
  // Forwards, backwards and forwards again.
  EXPECT_EQ(lines[size_t(kEmpty + 4)], QStringLiteral("x,y"));
  EXPECT_EQ(lines[0], QStringLiteral("a,\"b"));
  EXPECT_TRUE(lines[1].isEmpty());
  EXPECT_EQ(lines[3], QStringLiteral("c\""));
  EXPECT_EQ(lines[size_t(kEmpty + 7)], QStringLiteral("z"));
  TextImportRecorder recorder;
  LoadLineViews(lines, recorder, true);
  EXPECT_EQ(recorder.summary(), QStringLiteral("0,0=a|1,0=b\n\n\nc|0,%1=x|1,%1=y|0,%2=z").arg(kEmpty + 1).arg(kEmpty + 4));
}

TEST(DecodeTextFileDataTest, DetectsEncodingsAndRefusesBadBytes) {
  const struct { QByteArray bytes; std::optional<QString> text; } cases[] = {
      {QByteArray("a,b"), QStringLiteral("a,b")}, {QByteArray("\xEF\xBB\xBF\xC3\xBC,b"), QStringLiteral("\u00FC,b")},
      {QByteArray("\xFF\xFE\x61\x00\x2C\x00\xFC\x00", 8), QStringLiteral("a,\u00FC")},
      {QByteArray("\xFE\xFF\x00\x61\x00\x2C\x20\xAC", 8), QStringLiteral("a,\u20AC")},
      // Not UTF-8: the locale's code page (the tests' C locale has Windows Latin 1).
      {QByteArray("caf\xE9,\x80"), QStringLiteral("caf\u00E9,\u20AC")},
      // Bytes that are not text in the encoding chosen are refused, never replaced.
      {QByteArray("\xFF\xFE\x61", 3), std::nullopt}, {QByteArray("\xEF\xBB\xBF\xC3", 4), std::nullopt},
      {QByteArray("\xFE\xFF\xD8\x00\x00\x61", 6), std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeTextFileData(c.bytes), c.text) << c.bytes.toHex().toStdString();
}

// A file is read and decoded a piece at a time, and gives the text its whole bytes give: a
// character split between pieces, a mark, bytes that are not UTF-8 near the end (the whole file
// then in the code page) and bad bytes after a mark. Never more than a piece of the file is held
// beside the text.
TEST(LoadTextFileTextTest, ReadsInPiecesTheTextOfTheWholeBytes) {
  const qsizetype large = kTextFilePieceBytes * 5 / 2;
  const auto repeated = [large](const QByteArray& prefix, const QByteArray& unit, const QByteArray& suffix) {
    return prefix + unit.repeated(large / unit.size()) + suffix;
  };
  const QByteArray euro("\xE2\x82\xAC,");
  const QByteArray cases[] = {
      QByteArray(), QByteArray("a,b"), QByteArray("\xEF\xBB\xBF"), QByteArray("\xFF\xFE\x61\x00", 4),
      QByteArray("caf\xE9,\x80"), QByteArray("\xEF\xBB\xBF\xC3", 4),
      repeated(QByteArray(), euro, QByteArray("\n")),
      repeated(QByteArray("\xEF\xBB\xBF"), euro, QByteArray()),
      repeated(QByteArray(), euro, QByteArray("caf\xE9")),
      repeated(QByteArray("\xFF\xFE", 2), QByteArray("\xAC\x20\x2C\x00", 4), QByteArray()),
      repeated(QByteArray("\xFE\xFF", 2), QByteArray("\x00\x61", 2), QByteArray("\xD8\x00", 2)),
      repeated(QByteArray("\xEF\xBB\xBF"), euro, QByteArray("\xC3")),
  };
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("text.csv"));
  for (const QByteArray& bytes : cases) {
    SCOPED_TRACE(bytes.left(8).toHex().toStdString() + " " + std::to_string(bytes.size()));
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    FLError error;
    const std::optional<QString> text = LoadTextFileText(path, &error);
    const std::optional<QString> whole = DecodeTextFileData(bytes);
    EXPECT_EQ(text, whole);
    if (!whole) {
      EXPECT_EQ(error.code, kTextEncodingUnknownCode);
    }
    EXPECT_LE(TextFileBytesHeldMost(), kTextFilePieceBytes);
  }
}

TEST(LoadTextFileLinesTest, ReportsUnreadableFiles) {
  QTemporaryDir folder;
  FLError error;
  EXPECT_FALSE(LoadTextFileLines(folder.filePath(QStringLiteral("missing.csv")), &error));
  EXPECT_EQ(error.code, 260);
}

TEST(WriteTextFieldTest, QuotesWhatWouldNotReadBack) {
  const struct {
    const char* text;
    bool commas;
    int64_t columnCount;
    const char* written;
    bool quoteDelimiters = false;
  } cases[] = {
      {"plain text", true, 3, "plain text,"}, {" lead", true, 3, "\" lead\","}, {"trail ", true, 3, "\"trail \","},
      {"a,b", true, 3, "\"a,b\","}, {"a;b", true, 3, "\"a;b\","}, {"a\tb", true, 3, "a\tb,"},
      {"say \"hi\"", true, 3, "\"say \"\"hi\"\"\","},
      // Line breaks are quoted, so the row is not split.
      {"two\nlines", true, 3, "\"two\nlines\","}, {"cr\rhere", true, 3, "\"cr\rhere\","},
      // A lone column quotes what another delimiter could be taken for.
      {"plain text", true, 1, "\"plain text\"\n"}, {"a;b", true, 1, "\"a;b\"\n"}, {"word", true, 1, "word\n"},
      // Tab mode: tabs and line breaks become spaces, quotes stay.
      {"a\tb\nc\"d\"", false, 3, "a b c\"d\"\t"}, {"", true, 3, ","}, {"", false, 1, "\n"},
      // ... except a text that begins with one, which would be unquoted when read.
      {"\"q\" said\tit", false, 3, "\"\"\"q\"\" said it\"\t"},
      // ... and, where a lone column asks for it, a text the reader could split.
      {"Doe, John", false, 1, "\"Doe, John\"\n", true}, {"a\tb", false, 1, "\"a b\"\n", true},
      {"two\nlines", false, 1, "\"two lines\"\n", true}, {"say \"hi\"", false, 1, "\"say \"\"hi\"\"\"\n", true},
      {"word", false, 1, "word\n", true},
  };
  for (const auto& c : cases) {
    QString output;
    WriteTextField(output, QString::fromUtf8(c.text), c.commas, 0, c.columnCount, c.quoteDelimiters);
    EXPECT_EQ(output, QString::fromUtf8(c.written)) << c.text;
  }
}

}  // namespace
