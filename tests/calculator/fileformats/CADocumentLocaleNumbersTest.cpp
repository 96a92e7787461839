// Numbers the sheet writes as text (comma- and tab-separated files, RTF, the clipboard's text and
// cells) read back as the same values in every locale, decimal commas and all, and copied
// formulas keep their meaning when another locale pastes them.
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caTextLines.h"
#include "calculator/model/LocaleTestSupport.h"
#include "calculator/model/UndoTestSupport.h"
#include "calculator/model/caDocumentServices.h"
#include "glimmet/storage/gmTables.h"
#include "platform/FLError.h"
#include "platform/Pasteboard.h"
#include "support/TestData.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QMimeData>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <functional>
#include <random>

namespace {

constexpr const char* kLocales[] = {"C", "en_US", "de_DE", "fr_FR", "ar_EG", "sv_SE"};

// The table's values as an English user types them; typed() spells them for the locale in force.
constexpr const char* kValues[] = {"1E+20", "1.5E-20", "=SQRT(2)", "=2^70",         "0.1",
                                   "-2.25", "8673.91", "=2^-20",   "123456.7890123"};

// The text with the locale's decimal separator for every ".".
QString Typed(const char* text) {
  QString typed = QString::fromUtf8(text);
  typed.replace(QLatin1Char('.'), NumberTextLocale().decimalSeparatorChar);
  return typed;
}

// A document with a window for its undo steps, as copy and paste want one.
struct Sheet {
  Sheet() { document.setController(&window); }
  ~Sheet() { document.setController(nullptr); }
  Sheet(const Sheet&) = delete;
  Sheet& operator=(const Sheet&) = delete;

  CADocument document;
  UndoWindow window{document};
};

class LocaleNumbersTest : public testing::Test {
 protected:
  LocaleNumbersTest() {
    InstallFileFormatServices();
    g_glimmetConfig.tableOption = 1;
  }
  ~LocaleNumbersTest() override { SetFileFormatServices(CAFileFormatServices()); }

  QString path(const QString& name) const { return QDir(folder.path()).filePath(name); }

  // The ways out and back in: the source saved as a file of that name and opened, or its
  // selection copied and pasted at A1 of the target with only the clipboard type given (null:
  // the text).
  void saveAndOpen(const char* name, Sheet& source, Sheet& target) {
    FLError error;
    ASSERT_EQ(source.document.saveCore(path(QString::fromLatin1(name)), false, &error), true)
        << error.reason.toStdString();
    ASSERT_NE(target.document.openFile(path(QString::fromLatin1(name)), &error), 0) << error.reason.toStdString();
  }
  static void copyAndPaste(const char* type, Sheet& source, Sheet& target) {
    QMimeData copied;
    ASSERT_TRUE(source.document.copy(&copied));
    QMimeData only;
    if (type)
      PasteboardSetData(only, QLatin1String(type), PasteboardData(copied, QLatin1String(type)));
    else
      only.setText(copied.text());
    target.document.setSelectionPoint({0, 0});
    ASSERT_TRUE(target.document.paste(&only, false));
  }

  ModelEnvironment environment;
  QTemporaryDir folder;
};

// Every value of `expected` at the same cell of `got`, the same number exactly.
void ExpectSameValues(const CADocument& expected, const CADocument& got, const std::string& trace) {
  for (const std::unique_ptr<CARow>& row : expected.rows()) {
    for (const CACellEntry& entry : row->cells()) {
      const CACellReading cell(entry, row->gridY(), &expected);
      const GridPoint at = cell->gridPoint();
      const CACell* read = got.cellAtGridPoint(at);
      const std::optional<CANumber> want = cell->number();
      ASSERT_TRUE(want.has_value());
      const std::string where = trace + " at " + std::to_string(at.x) + "," + std::to_string(at.y);
      ASSERT_TRUE(read && read->number()) << where << ": no number, "
                                          << (read ? read->displayText(true).toStdString() : "no cell");
      EXPECT_TRUE(*read->number() == *want)
          << where << ": " << read->number()->archive().toStdString() << " for "
          << want->archive().toStdString() << " (" << read->displayText(true).toStdString() << ")";
    }
  }
}

TEST_F(LocaleNumbersTest, NumbersWrittenAsTextReadBackAsTheSameValues) {
  CAModelPreferences preferences;
  preferences.copyBestValues = true;  // copied rich text holds values as saved, not as shown
  environment.set(preferences);
  const size_t count = std::size(kValues);

  // The ways out and back in: a file written and opened, or a copy pasted at A1 of a new sheet.
  const auto file = [&](const char* name) {
    return [this, name](Sheet& source, Sheet& target) { saveAndOpen(name, source, target); };
  };
  const auto clipboard = [](const char* type) {
    return [type](Sheet& source, Sheet& target) { copyAndPaste(type, source, target); };
  };
  const struct {
    const char* name;
    std::function<void(Sheet&, Sheet&)> roundTrip;
  } ways[] = {
      {"CSV", file("values.csv")},
      {"tab-separated text", file("values.txt")},
      {"RTF", file("values.rtf")},
      {"clipboard text", clipboard(nullptr)},
      {"clipboard RTF", clipboard(kPasteboardRtfType)},
      {"clipboard cells", clipboard(kPasteboardCellsType)},
  };

  for (const char* locale : kLocales) {
    const TestLocale scope(locale);
    for (const int64_t columns : {1, 2}) {
      for (const auto& way : ways) {
        const std::string trace = std::string(locale) + ", " + std::to_string(columns) + " column(s), " + way.name;
        SCOPED_TRACE(trace);
        Sheet source;
        for (size_t y = 0; y < count; ++y)
          for (int64_t x = 0; x < columns; ++x)
            source.document.cellAtGridPointImperative({x, int64_t(y)})
                ->setFormula(Typed(kValues[(y + size_t(x) * 3) % count]));
        source.document.evaluate();
        source.document.setSelectionRange(GridRange{{0, 0}, {columns - 1, int64_t(count) - 1}});
        // Twice: what was read is written again as it was first.
        Sheet once;
        way.roundTrip(source, once);
        once.document.evaluate();
        ExpectSameValues(source.document, once.document, "first");
        once.document.setSelectionRange(source.document.selectionRange());
        Sheet twice;
        way.roundTrip(once, twice);
        twice.document.evaluate();
        ExpectSameValues(source.document, twice.document, "second");
      }
    }
  }
}

// Amounts in cents, saved as comma- and tab-separated text and as RTF, open as the very same
// exact numbers: a fraction with a decimal end is written as its own digits. Every locale writes
// the whole sample as text; the RTF, slower by far, takes a third of it in each.
TEST_F(LocaleNumbersTest, EveryCentReadsBackAsTheSameExactNumber) {
  constexpr int64_t kSample = 100000;
  constexpr int64_t kMostCents = 10000000000;  // 10^8 in cents
  constexpr int64_t kColumns = 4;
  std::mt19937_64 random(73);
  std::uniform_int_distribution<int64_t> cents(1, kMostCents);
  std::vector<int64_t> amounts = {1, 99, 100, 867391, 996919, 830045, 934197052, 1032195, 819201, 1638399,
                                  kMostCents - 1, kMostCents};
  while (int64_t(amounts.size()) < kSample) amounts.push_back(cents(random));
  // Every fourth amount a debit.
  const auto amount = [&amounts](int64_t i) {
    return CANumber::withNumerator(i % kColumns == 1 ? -amounts[size_t(i)] : amounts[size_t(i)], 100);
  };
  const struct {
    const char* locale;
    int64_t rtfFirst, rtfEnd;  // the share of the sample written as RTF
  } locales[] = {{"C", 0, kSample / 3}, {"de_DE", kSample / 3, 2 * kSample / 3}, {"fr_FR", 2 * kSample / 3, kSample}};
  for (const auto& l : locales) {
    const TestLocale scope(l.locale);
    for (const char* name : {"cents.csv", "cents.txt", "cents.rtf"}) {
      SCOPED_TRACE(std::string(l.locale) + ", " + name);
      const bool rtf = QLatin1String(name).endsWith(QLatin1String(".rtf"));
      const int64_t first = rtf ? l.rtfFirst : 0;
      const int64_t end = rtf ? l.rtfEnd : kSample;
      const auto at = [first](int64_t i) { return GridPoint{(i - first) % kColumns, (i - first) / kColumns}; };
      CADocument source;
      for (int64_t i = first; i < end; ++i) source.cellAtGridPointImperative(at(i))->setNumberValue(amount(i));
      FLError error;
      ASSERT_TRUE(source.saveCore(path(QString::fromLatin1(name)), false, &error)) << error.reason.toStdString();
      CADocument read;
      ASSERT_NE(read.openFile(path(QString::fromLatin1(name)), &error), 0) << error.reason.toStdString();
      int64_t wrong = 0;
      for (int64_t i = first; i < end; ++i) {
        const CANumber want = amount(i);
        const CACell* cell = read.cellAtGridPoint(at(i));
        const std::optional<CANumber> got = cell ? cell->number() : std::nullopt;
        if (got && got->archive() == want.archive()) continue;
        if (++wrong <= 5)
          ADD_FAILURE() << want.archive().toStdString() << " read back as "
                        << (got ? got->archive().toStdString() : std::string("no number"));
      }
      EXPECT_EQ(wrong, 0);
    }
  }
}

// What a number is saved as, in the locale's decimal separator: a fraction with a decimal end
// as its digits, a fraction without one in fifteen places, a real as its shortest text. Decimal
// commas are quoted, or a reader whose separator is the point would split them.
TEST_F(LocaleNumbersTest, SavedNumbersAreTheirExactDigitsWhereTheyHaveAnEnd) {
  const struct {
    const char* typed;
    const char* saved;
  } cases[] = {
      {"8673.91", "8673.91"}, {"9969.19", "9969.19"}, {"9341970.52", "9341970.52"}, {"-0.05", "-0.05"},
      {"=1/8", "0.125"}, {"=2^-20", "0.00000095367431640625"}, {"123456789012.345", "123456789012.345"},
      {"=1/3", "0.333333333333333"}, {"=2/3", "0.666666666666667"}, {"=SQRT(2)", "1.4142135623730950488"},
  };
  for (const char* locale : {"C", "de_DE", "fr_FR"}) {
    const TestLocale scope(locale);
    CADocument source;
    QString expected;
    for (size_t y = 0; y < std::size(cases); ++y) {
      source.cellAtGridPointImperative({0, int64_t(y)})->setFormula(Typed(cases[y].typed));
      const QString saved = Typed(cases[y].saved);
      expected += (saved.contains(QLatin1Char(',')) ? QLatin1Char('"') + saved + QLatin1Char('"') : saved) +
                  QLatin1Char('\n');
    }
    source.evaluate();
    FLError error;
    ASSERT_TRUE(source.saveCore(path(QStringLiteral("saved.txt")), false, &error)) << error.reason.toStdString();
    EXPECT_EQ(ReadFileText(path(QStringLiteral("saved.txt"))).toStdString(), expected.toStdString()) << locale;
  }
}

// Other programs write negatives with the minus sign proper (U+2212): they are the same numbers
// however they come in, and numbers grouped as the locale groups them stay numbers, while a
// separator that groups no digits leaves the text as it is.
TEST_F(LocaleNumbersTest, NegativesWithTheMinusSignAndGroupedNumbersComeInAsNumbers) {
  const struct {
    const char* locale;
    const char* fields[6];  // -1234.56, -0.5, -0.025, 1234567, texts
  } locales[] = {
      {"en_US", {"\u22121,234.56", "\u22120.50", "\u22122.50%", "1,234,567", "12,34", "1,2,3"}},
      {"de_DE", {"\u22121.234,56", "\u22120,50", "\u22122,50%", "1.234.567", "12.34", "192.168.1.1"}},
      {"fr_FR", {"\u22121234,56", "\u22120,50", "\u22122,50%", "1234567", "\u2212", "\u2212-1"}},
  };
  const CANumber numbers[] = {CANumber::withNumerator(-123456, 100), CANumber::withNumerator(-1, 2),
                              CANumber::withNumerator(-1, 40), CANumber(1234567)};
  const struct {
    const char* name;
    std::function<QByteArray(const QStringList&)> file;
  } ways[] = {
      {"values.csv",
       [](const QStringList& fields) {
         QStringList quoted;
         for (const QString& field : fields) quoted << QLatin1Char('"') + field + QLatin1Char('"');
         return quoted.join(u',').toUtf8() + '\n';
       }},
      {"values.txt", [](const QStringList& fields) { return fields.join(u'\t').toUtf8() + '\n'; }},
      // A page is read in the syntax of the language it declares: here the locale's.
      {"values.html",
       [](const QStringList& fields) {
         return "<html lang=\"" + QLocale().bcp47Name().toUtf8() + "\"><body><table><tr><td>" +
                fields.join(QStringLiteral("</td><td>")).toUtf8() + "</td></tr></table></body></html>\n";
       }},
      {"pasted text", nullptr},
  };
  for (const auto& l : locales) {
    const TestLocale scope(l.locale);
    QStringList fields;
    for (const char* field : l.fields) fields << QString::fromUtf8(field);
    for (const auto& way : ways) {
      SCOPED_TRACE(std::string(l.locale) + ", " + way.name);
      Sheet sheet;
      if (way.file) {
        const QString file = path(QString::fromLatin1(way.name));
        ASSERT_TRUE(WriteFileBytes(file, way.file(fields)));
        FLError error;
        ASSERT_NE(sheet.document.openFile(file, &error), 0) << error.reason.toStdString();
      } else {
        QMimeData pasted;
        pasted.setText(fields.join(u'\t'));
        sheet.document.setSelectionPoint({0, 0});
        ASSERT_TRUE(sheet.document.paste(&pasted, false));
      }
      for (int64_t x = 0; x < int64_t(fields.size()); ++x) {
        const CACell* cell = sheet.document.cellAtGridPoint({x, 0});
        ASSERT_NE(cell, nullptr) << x;
        if (x < int64_t(std::size(numbers))) {
          EXPECT_EQ(cell->valueType(), kValueNumber) << fields[x].toStdString();
          EXPECT_EQ(cell->number().value_or(CANumber()), numbers[x]) << fields[x].toStdString();
        } else {
          EXPECT_EQ(cell->valueType(), kValueText) << fields[x].toStdString();
        }
      }
    }
  }
}

TEST_F(LocaleNumbersTest, CopiedFormulasKeepTheirMeaningUnderTheLocaleThatPastes) {
  const struct {
    const char* from;
    const char* to;
  } pairs[] = {{"de_DE", "en_US"}, {"en_US", "de_DE"}, {"fr_FR", "ar_EG"}, {"ar_EG", "C"}, {"C", "fr_FR"},
               {"de_DE", "de_DE"}};
  // Typed in the copying locale; A1 is 1.5. Where "," is the decimal separator too, a literal
  // before an argument's comma is set off with a blank.
  const struct {
    const char* formula;
    const char* commaFormula;
    int64_t numerator;
    uint64_t denominator;
  } formulas[] = {{"=A1*2.5+0.5", nullptr, 17, 4},
                  {"=ROUND(A1/8, 3)", "=ROUND(A1/8 , 3)", 47, 250},
                  {"=MAX(A1,2.5)*2", nullptr, 5, 1}};

  for (const auto& pair : pairs) {
    SCOPED_TRACE(std::string(pair.from) + " to " + pair.to);
    QMimeData copied;
    {
      const TestLocale scope(pair.from);
      Sheet source;
      source.document.cellAtGridPointImperative({0, 0})->setFormula(Typed("1.5"));
      for (size_t x = 0; x < std::size(formulas); ++x)
        source.document.cellAtGridPointImperative({int64_t(x) + 1, 0})
            ->setFormula(Typed(formulas[x].commaFormula && NumberTextLocale().decimalSeparatorChar == u','
                                   ? formulas[x].commaFormula
                                   : formulas[x].formula));
      source.document.evaluate();
      source.document.setSelectionRange(GridRange{{0, 0}, {int64_t(std::size(formulas)), 0}});
      ASSERT_TRUE(source.document.copy(&copied));
    }
    // Only the cells: the other flavours carry values, not formulas.
    QMimeData cells;
    PasteboardSetData(cells, QLatin1String(kPasteboardCellsType),
                      PasteboardData(copied, QLatin1String(kPasteboardCellsType)));
    const TestLocale scope(pair.to);
    Sheet target;
    target.document.setSelectionPoint({0, 0});
    ASSERT_TRUE(target.document.paste(&cells, false));
    target.document.evaluate();
    for (size_t x = 0; x < std::size(formulas); ++x) {
      const CACell* cell = target.document.cellAtGridPoint({int64_t(x) + 1, 0});
      ASSERT_NE(cell, nullptr);
      EXPECT_EQ(cell->valueType(), kValueFormula) << cell->formula().toStdString();
      if (!cell->number()) {
        ADD_FAILURE() << cell->formula().toStdString() << " gives " << cell->displayText(false).toStdString();
        continue;
      }
      EXPECT_TRUE(*cell->number() == CANumber::withNumerator(formulas[x].numerator, formulas[x].denominator))
          << formulas[x].formula << " gives " << cell->number()->archive().toStdString();
    }
  }

  // An archive without the separators (an older copy) is read as the user's, as before.
  const TestLocale scope("de_DE");
  Sheet source;
  source.document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("=2,5*2"));
  source.document.setSelectionRange(GridRange{{0, 0}, {0, 0}});
  QMimeData copied;
  ASSERT_TRUE(source.document.copy(&copied));
  QString archive = QString::fromUtf8(PasteboardData(copied, QLatin1String(kPasteboardCellsType)));
  ASSERT_TRUE(archive.contains(QStringLiteral("<separators>")));
  archive.remove(QRegularExpression(QStringLiteral("<separators>[^<]*</separators>")));
  QMimeData older;
  PasteboardSetData(older, QLatin1String(kPasteboardCellsType), archive.toUtf8());
  Sheet target;
  target.document.setSelectionPoint({0, 0});
  ASSERT_TRUE(target.document.paste(&older, false));
  target.document.evaluate();
  ASSERT_NE(target.document.cellAtGridPoint({0, 0}), nullptr);
  EXPECT_EQ(target.document.cellAtGridPoint({0, 0})->formula(), QStringLiteral("=2,5*2"));
  ASSERT_NE(target.document.cellAtGridPoint({0, 0}), nullptr);
  EXPECT_TRUE(*target.document.cellAtGridPoint({0, 0})->number() == CANumber(5));
}

// A lone column written with tabs has no tab for the reader to find: its texts with commas and
// blanks, and its numbers with decimal commas, come back as the same cells in every locale, saved
// as text or copied as cells; the writer quotes them only where a reader would split them. The
// copied text, for other programs, is the texts as they are.
TEST_F(LocaleNumbersTest, ALoneColumnOfTabSeparatedTextReadsBackAsTheSameCells) {
  const struct {
    std::vector<const char*> cells;  // typed, with "." for the locale's decimal separator
    bool quoted;                     // whether the saved file quotes the texts with a comma
    bool quotedWithDecimalCommas;    // the same where the decimal separator is a comma
  } sheets[] = {{{"Doe, John", "Roe, Jane", "0.5", "-2.25"}, true, true},
                {{"Doe, John, Jr"}, true, true},
                {{"Doe, John"}, false, false},
                {{"Doe John", "Roe Jane", "Poe Jim"}, true, true},
                {{"0.5", "-2.25"}, false, true}};
  for (const char* locale : {"C", "en_US", "de_DE", "fr_FR"}) {
    const TestLocale scope(locale);
    const bool decimalComma = NumberTextLocale().decimalSeparatorChar == QLatin1Char(',');
    for (const auto& sheet : sheets) {
      for (const bool saved : {true, false}) {
        SCOPED_TRACE(std::string(locale) + ", " + sheet.cells[0] + (saved ? ", saved" : ", copied"));
        Sheet source;
        const int64_t count = int64_t(sheet.cells.size());
        QString texts;
        for (int64_t y = 0; y < count; ++y) {
          source.document.cellAtGridPointImperative({0, y})->setFormula(Typed(sheet.cells[size_t(y)]));
          texts += Typed(sheet.cells[size_t(y)]) + QLatin1Char('\n');
        }
        source.document.evaluate();
        source.document.setSelectionRange(GridRange{{0, 0}, {0, count - 1}});
        Sheet read;
        if (saved) {
          saveAndOpen("column.txt", source, read);
          EXPECT_EQ(ReadFileText(path(QStringLiteral("column.txt"))).startsWith(QLatin1Char('"')),
                    decimalComma ? sheet.quotedWithDecimalCommas : sheet.quoted);
        } else {
          QMimeData copied;
          ASSERT_TRUE(source.document.copy(&copied));
          EXPECT_EQ(copied.text(), texts.chopped(1));
          copyAndPaste(kPasteboardCellsType, source, read);
        }
        read.document.evaluate();
        for (int64_t y = 0; y < count; ++y) {
          const CACell* cell = read.document.cellAtGridPoint({0, y});
          ASSERT_NE(cell, nullptr) << y;
          ASSERT_NE(source.document.cellAtGridPoint({0, y}), nullptr);
          EXPECT_EQ(cell->displayText(false), source.document.cellAtGridPoint({0, y})->displayText(false)) << y;
          EXPECT_EQ(read.document.cellAtGridPoint({1, y}), nullptr) << y;
        }
      }
    }
  }
}

TEST_F(LocaleNumbersTest, DecimalCommasInsideNumbersSplitNoLine) {
  const struct {
    const char* locale;
    std::vector<const char*> lines;
    char16_t delimiter;
  } cases[] = {
      // A lone column of numbers with decimal commas.
      {"de_DE", {"0,1", "-2,25", "1.234.567,5", "1,0E+20"}, u'\t'},
      {"fr_FR", {"0,1", "-2,25", "1,5E-20"}, u'\t'},
      // Whole numbers between commas are fields where the comma is no decimal separator; where it
      // is, each line is the number the user would have typed.
      {"en_US", {"1,2", "3,4"}, u','},
      {"C", {"1,2", "3,4"}, u','},
      {"de_DE", {"1,2", "3,4"}, u'\t'},
      // A line that is no number keeps counting its commas.
      {"de_DE", {"a,b,c", "d,e,f"}, u','},
      {"de_DE", {"0,1", "a,b", "c,d"}, u','},
      // Semicolons between decimal-comma numbers still win over the commas inside them.
      {"de_DE", {"0,1;2", "0,3;4"}, u';'},
  };
  for (const auto& c : cases) {
    const TestLocale scope(c.locale);
    QStringList lines;
    for (const char* line : c.lines) lines << QString::fromUtf8(line);
    SCOPED_TRACE(std::string(c.locale) + ": " + lines.join(u'|').toStdString());
    EXPECT_EQ(TextDelimiterForLines(lines, false), QChar(c.delimiter));
  }
}

// LibreOffice Calc's pages of one ledger written under C, de_DE and fr_FR
// (tools/make_libreoffice_value_pages.sh) hold each number's value in the syntax of the locale it
// ran in ("1.5", "1,5") beside the text it shows ("1.50", "-38.096,36", "-38&nbsp;096,36"): opened
// in any locale, every column of numbers is numbers, the values the C page gives.
TEST_F(LocaleNumbersTest, LibreOfficesValuesAreNumbersInEveryLocale) {
  std::vector<CANumber> values;
  {
    const QString page = QString::fromUtf8(ReadFileBytes(TestDataPath(QStringLiteral("html/values-libreoffice-c.html"))));
    const QRegularExpression value(QStringLiteral("sdval=\"([^\"]*)\""));
    for (const QRegularExpressionMatch& match : value.globalMatch(page)) {
      const std::optional<CANumber> number = CANumber::withValidatedString(match.captured(1), false);
      ASSERT_TRUE(number) << match.captured(1).toStdString();
      values.push_back(*number);
    }
  }
  ASSERT_EQ(values.size(), 320u);
  for (const char* written : {"c", "de", "fr"}) {
    for (const char* locale : {"C", "en_US", "de_DE", "fr_FR"}) {
      const TestLocale scope(locale);
      SCOPED_TRACE(std::string(written) + " page under " + locale);
      CADocument sheet;
      FLError error;
      ASSERT_EQ(sheet.openFile(TestDataPath(QStringLiteral("html/values-libreoffice-%1.html").arg(QLatin1String(written))),
                               &error),
                kFileTypeHtml);
      int numbers = 0;
      for (int64_t y = 1; y <= 80; ++y) {
        for (int64_t x = 1; x <= 4; ++x) {
          const CACell* cell = sheet.cellAtGridPoint({x, y});
          const CANumber& want = values[size_t((y - 1) * 4 + x - 1)];
          if (!cell || !cell->number() || !(*cell->number() == want)) {
            ADD_FAILURE() << x << "," << y << ": " << (cell ? cell->displayText(true).toStdString() : "no cell")
                          << " for " << want.archive().toStdString();
            continue;
          }
          ++numbers;
        }
        const CACell* item = sheet.cellAtGridPoint({0, y});
        ASSERT_TRUE(item);
        EXPECT_EQ(item->displayText(true), QStringLiteral("Item %1").arg(y - 1));
      }
      EXPECT_EQ(numbers, 320);
    }
  }
}

// A value behind a shown text is the cell's number wherever the text shows a number, in either
// syntax, with groups of thousands, fixed decimals, an exponent, a percentage or a currency sign;
// read in the syntax the page's first value with a decimal sign gives. The value is the number
// LibreOffice computed with: a text that shows another number than it ("3.01" of 3, a page
// edited by hand) or shows it as money is still that value, not the text as typed here. A date
// or any other text is entered as it is shown; a number in another syntax than the values' stays
// the text it shows in every locale.
TEST_F(LocaleNumbersTest, LibreOfficesValuesAreTakenWhereTheTextShowsThem) {
  const struct {
    const char* point;  // the page's values' decimal sign
    const char* value;
    const char* shown;
    const char* number;  // the cell's number, in the C syntax; null: entered as shown
    bool text = false;   // entered as shown: a text, in every locale
  } cases[] = {
      {".", "1.5", "1.50", "1.5"},           {".", "1234.5", "1,234.50", "1234.5"},
      {".", "1234.5", "12,34.50", nullptr},  {".", "45292", "2024-01-01", nullptr},
      {".", "0.5", "50%", "0.5"},            {".", "5", "$5.00", "5"},
      {".", "0.000015", "1.50E-05", "0.000015"}, {".", "1.5E-05", "0.000015", "0.000015"},
      {".", "-2", "-2", "-2"},               {".", "1000000", "1,000,000", "1000000"},
      {".", "2.5", "2,50", "2.5"},           {".", "3", "3.01", "3"},
      {",", "1,5", "1,50", "1.5"},           {",", "1234,5", "1.234,50", "1234.5"},
      {",", "1234,5", "1&nbsp;234,50", "1234.5"}, {",", "-38096,36", "-38.096,36", "-38096.36"},
      {",", "1.5", "1.50", nullptr, true},   {",", "7", "7", "7"},
  };
  for (const auto& c : cases) {
    std::optional<CANumber> want;
    if (c.number) want = CANumber::withValidatedString(QString::fromLatin1(c.number), false);
    QByteArray page = "<html><body><table>\n";
    const QByteArray point = c.point;
    for (int y = 0; y < 70; ++y) {
      page += "<tr><td sdval=\"0" + point + "25\">0" + point + "25</td>";
      page += y == 40 ? "<td sdval=\"" + QByteArray(c.value) + "\">" + c.shown + "</td>" : QByteArray("<td>x</td>");
      page += "</tr>\n";
    }
    page += "</table></body></html>\n";
    const QString file = path(QStringLiteral("value.html"));
    ASSERT_TRUE(WriteFileBytes(file, page));
    for (const char* locale : {"C", "de_DE", "fr_FR"}) {
      const TestLocale scope(locale);
      SCOPED_TRACE(std::string(c.value) + " shown " + c.shown + " under " + locale);
      CADocument sheet;
      FLError error;
      ASSERT_EQ(sheet.openFile(file, &error), kFileTypeHtml);
      const CACell* cell = sheet.cellAtGridPoint({1, 40});
      ASSERT_TRUE(cell);
      if (want) {
        ASSERT_TRUE(cell->number()) << cell->formula().toStdString();
        EXPECT_TRUE(*cell->number() == *want) << cell->number()->archive().toStdString();
      } else if (c.text) {
        EXPECT_EQ(cell->valueType(), kValueText);
        EXPECT_FALSE(cell->number());
        EXPECT_EQ(cell->formula().toStdString(), c.shown);
      } else {
        // As the text typed here would be.
        CADocument typed;
        CACell* entered = typed.cellAtGridPointImperative({1, 40});
        entered->setFormula(QString::fromUtf8(c.shown));
        typed.evaluate();
        EXPECT_EQ(cell->displayText(true).toStdString(), entered->displayText(true).toStdString());
        EXPECT_EQ(cell->number().has_value(), entered->number().has_value());
        EXPECT_EQ(cell->valueType(), entered->valueType());
      }
      ASSERT_NE(sheet.cellAtGridPoint({0, 69}), nullptr);
      EXPECT_TRUE(sheet.cellAtGridPoint({0, 69}) && sheet.cellAtGridPoint({0, 69})->number());
    }
  }
}

// A file goes from one user to another: a column saved as text under one locale opens under
// each of the others with every cell in its own cell, never split. A number comes back as that
// number where the two write numbers alike; elsewhere its text is read as that user types it.
TEST_F(LocaleNumbersTest, TextSavedUnderOneLocaleOpensUnderAnotherWithEveryCellInItsOwn) {
  const std::vector<const char*> columns[] = {
      {"1.5", "2.5", "-3.25", "1e3", "0.001"},
      {"0.5"},
      {"Doe, John", "1.5"},
      {"New York City", "2.5"},  // blanks win here only where "2,5" is one number
      {"Doe, John", "Roe Jane", "Poe Jim"},
      {"12.5%", "x y", "1.25"},
  };
  const char* locales[] = {"C", "en_US", "de_DE", "fr_FR"};
  for (const char* name : {"column.txt", "column.csv"}) {
    for (const auto& column : columns) {
      for (const char* writer : locales) {
        // What each cell holds and is written as, under the writer's locale.
        std::vector<std::optional<CANumber>> numbers;
        std::vector<QString> written;
        QChar writerDecimal;
        {
          const TestLocale scope(writer);
          writerDecimal = NumberTextLocale().decimalSeparatorChar;
          Sheet source;
          for (size_t y = 0; y < column.size(); ++y)
            source.document.cellAtGridPointImperative({0, int64_t(y)})->setFormula(Typed(column[y]));
          source.document.evaluate();
          for (size_t y = 0; y < column.size(); ++y) {
            const CACell* cell = source.document.cellAtGridPoint({0, int64_t(y)});
            numbers.push_back(cell->number());
            written.push_back(cell->savingText());
          }
          FLError error;
          ASSERT_TRUE(source.document.saveCore(path(QLatin1String(name)), false, &error))
              << error.reason.toStdString();
        }
        for (const char* reader : locales) {
          SCOPED_TRACE(std::string(name) + ", " + column[0] + ", written under " + writer + ", read under " + reader);
          const TestLocale scope(reader);
          const bool sameSyntax = NumberTextLocale().decimalSeparatorChar == writerDecimal;
          CADocument read;
          FLError error;
          ASSERT_NE(read.openFile(path(QLatin1String(name)), &error), 0) << error.reason.toStdString();
          read.evaluate();
          for (size_t y = 0; y < column.size(); ++y) {
            const CACell* cell = read.cellAtGridPoint({0, int64_t(y)});
            ASSERT_NE(cell, nullptr) << y;
            EXPECT_EQ(read.cellAtGridPoint({1, int64_t(y)}), nullptr) << y << " " << written[y].toStdString();
            const std::optional<CANumber> number = cell->number();
            if (numbers[y] && sameSyntax) {
              EXPECT_TRUE(number && *number == *numbers[y]) << y << " " << cell->displayText(false).toStdString();
            } else if (!number) {
              EXPECT_EQ(cell->displayText(false), written[y]) << y;
            }
          }
        }
      }
    }
  }
}

// The clipboard's text is for other programs, which read no quotes: it is the cells' texts as
// they are, a tab between cells and a line break between rows, in every locale.
TEST_F(LocaleNumbersTest, CopiedTextIsTheCellsTextsAsTheyAre) {
  const struct {
    std::vector<std::vector<const char*>> rows;  // typed, with "." for the locale's decimal separator
    const char* text;                            // the same
  } cases[] = {
      {{{"New York City"}}, "New York City"},
      {{{"Hello, world, again"}}, "Hello, world, again"},
      {{{"say \"hi\""}}, "say \"hi\""},
      {{{"\"quoted\" word"}}, "\"quoted\" word"},
      {{{"Doe John"}, {"Roe Jane"}, {"Poe Jim"}}, "Doe John\nRoe Jane\nPoe Jim"},
      {{{"Doe, John"}, {"0.5"}, {"-2.25"}}, "Doe, John\n0.5\n-2.25"},
      {{{"a, b", "\"c\""}, {"d;e", "f g"}}, "a, b\t\"c\"\nd;e\tf g"},
      {{{" lead", "1.5"}, {"", "trail "}}, " lead\t1.5\n\ttrail "},
      {{{"a", ""}, {"", ""}, {"", "b"}}, "a\t\n\t\n\tb"},
  };
  for (const char* locale : {"C", "en_US", "de_DE", "fr_FR"}) {
    const TestLocale scope(locale);
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(locale) + ", " + c.rows[0][0]);
      Sheet source;
      for (size_t y = 0; y < c.rows.size(); ++y)
        for (size_t x = 0; x < c.rows[y].size(); ++x)
          if (*c.rows[y][x]) source.document.cellAtGridPointImperative({int64_t(x), int64_t(y)})
                                 ->setFormula(Typed(c.rows[y][x]));
      source.document.evaluate();
      source.document.setSelectionRange(
          GridRange{{0, 0}, {int64_t(c.rows[0].size()) - 1, int64_t(c.rows.size()) - 1}});
      QMimeData copied;
      ASSERT_TRUE(source.document.copy(&copied));
      EXPECT_EQ(copied.text(), Typed(c.text));
    }
  }
}

}  // namespace
