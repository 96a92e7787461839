// LibreOffice Calc writes the value behind each number of its pages ("sdval", in the syntax of the
// locale it ran in) beside the text it shows in that locale: whichever reading a page gets (an
// open or a paste, one table or several, the sheet's own reading of a long table or the rich
// text's) and in whatever locale, every such cell is a number, the value written.
#include "RichTextTestSupport.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/model/LocaleTestSupport.h"
#include "calculator/model/caDocumentServices.h"
#include "platform/FLError.h"
#include "support/TestData.h"
#include "support/TestFiles.h"

#include <QRegularExpression>

#include <functional>
#include <vector>

namespace {

class HtmlStoredValuesTest : public RichTextTest {};

QString Page(const char* name) {
  return QString::fromUtf8(ReadFileBytes(TestDataPath(QStringLiteral("html/%1.html").arg(QLatin1String(name)))));
}

QString PagePath(const std::string& name) {
  return TestDataPath(QStringLiteral("html/%1.html").arg(QString::fromStdString(name)));
}

// The page opened from its file, or its text pasted.
void ReadPage(CADocument& sheet, const QString& file, const QString& html, bool pasted) {
  if (pasted) {
    ASSERT_TRUE(FileFormatServices().loadHtml(sheet, html));
    return;
  }
  FLError error;
  ASSERT_EQ(sheet.openFile(file, &error), kFileTypeHtml) << error.reason.toStdString();
}

// Each reading of the pages LibreOffice wrote of one sheet under C, de_DE and fr_FR
// ("<kind>-c", "-de", "-fr"), opened and pasted under each of those locales, given to `check`
// with the locale it was read under.
void ForEachReading(const std::string& kind, const std::function<void(const CADocument&, const char*)>& check) {
  for (const char* written : {"c", "de", "fr"}) {
    const std::string name = kind + "-" + written;
    const QString html = Page(name.c_str());
    for (const char* locale : {"C", "de_DE", "fr_FR"}) {
      const TestLocale scope(locale);
      for (const bool pasted : {false, true}) {
        SCOPED_TRACE(name + " under " + locale + (pasted ? ", pasted" : ", opened"));
        CADocument sheet;
        ASSERT_NO_FATAL_FAILURE(ReadPage(sheet, PagePath(name), html, pasted));
        check(sheet, locale);
      }
    }
  }
}

// The values of the page as written under C, in the page's order.
std::vector<CANumber> ValuesOf(const QString& page) {
  std::vector<CANumber> values;
  const QRegularExpression value(QStringLiteral("sdval=\"([^\"]*)\""));
  for (const QRegularExpressionMatch& match : value.globalMatch(page)) {
    const std::optional<CANumber> number = CANumber::withValidatedString(match.captured(1), false);
    EXPECT_TRUE(number) << match.captured(1).toStdString();
    if (number) values.push_back(*number);
  }
  return values;
}

// The sheet's numbers row by row, and where each is.
std::vector<std::pair<CANumber, QString>> NumbersOf(const CADocument& sheet) {
  std::vector<std::pair<CANumber, QString>> numbers;
  for (const std::unique_ptr<CARow>& row : sheet.rows()) {
    for (const CACellEntry& entry : row->cells()) {
      const CACellReading cell(entry, row->gridY(), &sheet);
      if (cell->number())
        numbers.emplace_back(*cell->number(), QStringLiteral("%1,%2").arg(cell->gridPoint().x).arg(row->gridY()));
    }
  }
  return numbers;
}

TEST_F(HtmlStoredValuesTest, EveryStoredValueIsANumberInEveryReading) {
  const struct {
    const char* kind;  // the pages "values-libreoffice-<kind>-c", "-de" and "-fr"
    size_t values;
  } pages[] = {
      {"values-libreoffice", 320},         // one table of four columns of numbers
      {"values-libreoffice-shares", 400},  // and a column of percentages
      {"values-libreoffice-twice", 800},   // two sheets, two tables
  };
  InstallFileFormatServices();
  for (const auto& page : pages) {
    const std::vector<CANumber> values = ValuesOf(Page((std::string(page.kind) + "-c").c_str()));
    ASSERT_EQ(values.size(), page.values) << page.kind;
    ForEachReading(page.kind, [&values](const CADocument& sheet, const char*) {
      const std::vector<std::pair<CANumber, QString>> numbers = NumbersOf(sheet);
      ASSERT_EQ(numbers.size(), values.size());
      int equal = 0;
      for (size_t k = 0; k < std::min(numbers.size(), values.size()); ++k) {
        if (numbers[k].first == values[k]) ++equal;
        else if (equal + 3 > int(k))
          ADD_FAILURE() << numbers[k].second.toStdString() << ": " << numbers[k].first.archive().toStdString()
                        << " for " << values[k].archive().toStdString();
      }
      EXPECT_EQ(equal, int(values.size()));
    });
  }
}

// A value shown as a percentage of it is the cell's number, shown as a percentage; so is one whose
// text shows another number (a page edited by hand): LibreOffice computed with the value. A text
// that is no number is entered as it is shown. Read by the rich text (a short table, pasted) in
// each locale.
TEST_F(HtmlStoredValuesTest, PercentagesOfTheStoredValueAreItsNumber) {
  const struct {
    const char* value;
    const char* shown;
    const char* number;  // the cell's number in the C syntax; null: entered as shown
  } cases[] = {
      {"0.125", "12.50%", "0.125"},     {"0,125", "12,50%", "0.125"},    {"0,125", "12,50&nbsp;%", "0.125"},
      {"0.5", "50%", "0.5"},            {"0.5", "50.00 %", "0.5"},       {"-0.0001", "-0.01%", "-0.0001"},
      {"12", "1,200.00%", "12"},        {"12", "1.200,00%", "12"},       {"0.000015", "0.0015%", "0.000015"},
      {"0.5", "49%", "0.5"},            {"0.5", "0.5", "0.5"},           {"0.5", "50", "0.5"},
      {"0.5", "%50", nullptr},
  };
  InstallFileFormatServices();
  for (const auto& c : cases) {
    const QString page = QStringLiteral("<table><tr><td sdval=\"%1\">%2</td></tr></table>")
                             .arg(QString::fromUtf8(c.value), QString::fromUtf8(c.shown));
    for (const char* locale : {"C", "de_DE", "fr_FR"}) {
      const TestLocale scope(locale);
      SCOPED_TRACE(std::string(c.value) + " shown " + c.shown + " under " + locale);
      CADocument sheet;
      ASSERT_TRUE(FileFormatServices().loadHtml(sheet, page));
      const CACell* cell = sheet.cellAtGridPoint({0, 0});
      ASSERT_TRUE(cell);
      ExpectNumberOrTyped(*cell, c.number, QString::fromUtf8(c.shown));
    }
  }
}

// Sums of money LibreOffice shows (a currency sign before or after the digits, a minus before
// the sign, groups, a negative in parentheses), written under C, de_DE and fr_FR: every one is
// its stored value, and shows as the sheet's money and number formats show it, with the page's
// currency sign, decimals and groups in the reader's own syntax.
TEST_F(HtmlStoredValuesTest, SumsOfMoneyAreTheirStoredValuesShownAsMoney) {
  // The cells of the row of 1234.5678 and of -1234.5678 as the sheet shows them: its money
  // format puts the sign before the digits and a minus after it, and a fixed number of decimals
  // rounds half up, as the page shows them too.
  const struct {
    const char* locale;
    const char* positive;
    const char* negative;
  } shown[] = {
      {"C", "$1,234.57|\u20AC1,234.57|\u00A31,234.57|1,234.57", "$-1,234.57|\u20AC-1,234.57|\u00A3-1,234.57|(1,234.57)"},
      {"de_DE", "$1.234,57|\u20AC1.234,57|\u00A31.234,57|1.234,57",
       "$-1.234,57|\u20AC-1.234,57|\u00A3-1.234,57|(1.234,57)"},
      {"fr_FR", "$1\u202F" "234,57|\u20AC" "1\u202F" "234,57|\u00A3" "1\u202F" "234,57|1\u202F" "234,57",
       "$-1\u202F" "234,57|\u20AC-1\u202F" "234,57|\u00A3-1\u202F" "234,57|(1\u202F" "234,57)"},
  };
  InstallFileFormatServices();
  const std::vector<CANumber> values = ValuesOf(Page("values-libreoffice-money-c"));
  ASSERT_EQ(values.size(), 28u);
  ForEachReading("values-libreoffice-money", [&](const CADocument& sheet, const char* locale) {
    const std::vector<std::pair<CANumber, QString>> numbers = NumbersOf(sheet);
    ASSERT_EQ(numbers.size(), values.size());
    for (size_t k = 0; k < values.size(); ++k) {
      EXPECT_TRUE(numbers[k].first == values[k]) << numbers[k].second.toStdString() << ": "
                                                 << numbers[k].first.archive().toStdString();
    }
    for (const auto& s : shown) {
      if (std::string(s.locale) != locale) continue;
      for (const auto& [y, row] : {std::pair<int64_t, const char*>{2, s.positive}, {3, s.negative}}) {
        QStringList texts;
        for (int64_t x = 1; x <= 4; ++x) {
          const CACell* cell = sheet.cellAtGridPoint({x, y});
          ASSERT_TRUE(cell) << x << "," << y;
          texts << cell->displayText(false);
        }
        EXPECT_EQ(texts.join(u'|').toStdString(), row);
      }
    }
  });
}

// Each table's stored values take their looks where the table's cells are, whatever stands
// around it: a number of the page without a value behind it (a paragraph, a cell of another
// table) shows as typed, even where it is the same number. Opened and pasted, under C.
TEST_F(HtmlStoredValuesTest, OnlyTheCellsOfStoredValuesTakeTheirLooks) {
  const struct {
    const char* page;
    const char* shown;  // every cell's text as the sheet shows it, row by row
  } cases[] = {
      {"<p>5</p><table><tr><td>Item</td><td sdval=\"5\">$5.00</td></tr><tr><td>Tax</td><td sdval=\"0.5\">$0.50</td>"
       "</tr></table><p>5</p>",
       "5|Item $5.00|Tax $0.50|5"},
      {"<table><tr><td>5</td><td>x</td></tr><tr><td>5</td><td>0.5</td></tr></table><table><tr><td sdval=\"5\">"
       "(5.00)</td><td sdval=\"0.5\">50.0%</td></tr><tr><td>5</td><td sdval=\"-2\">-2.000</td></tr></table>",
       "5 x|5 0.5|5.00 50.0%|5 -2.000"},
      {"<table><tr><td sdval=\"5\">5 \xE2\x82\xAC</td></tr></table><p>text</p><table><tr><td>a</td><td sdval=\"1234.5\">"
       "1,234.50</td></tr></table>",
       "\xE2\x82\xAC" "5|text|a 1,234.50"},
      {"<table><tr><td colspan=3><b>Ledger</b></td></tr><tr><td>a</td><td colspan=2 sdval=\"5\">$5.00</td></tr>"
       "<tr><td rowspan=2>b</td><td sdval=\"0.5\">50%</td><td sdval=\"2\">2.0</td></tr><tr><td sdval=\"3\">3.00"
       "</td></tr></table>",
       "Ledger|a $5.00|b 50% 2.0|3.00"},
  };
  InstallFileFormatServices();
  const TestLocale scope("C");
  for (const auto& c : cases) {
    const QString page = QString::fromUtf8(c.page);
    ASSERT_TRUE(WriteFileBytes(path("mixed.html"), c.page));
    for (const bool pasted : {false, true}) {
      SCOPED_TRACE(std::string(c.page).substr(0, 60) + (pasted ? ", pasted" : ", opened"));
      CADocument sheet;
      ASSERT_NO_FATAL_FAILURE(ReadPage(sheet, path("mixed.html"), page, pasted));
      QStringList rows;
      for (const std::unique_ptr<CARow>& row : sheet.rows()) {
        QStringList texts;
        for (const CACellEntry& entry : row->cells()) texts << CACellReading(entry, row->gridY(), &sheet)->displayText(false);
        rows << texts.join(u' ');
      }
      EXPECT_EQ(rows.join(u'|').toStdString(), c.shown);
    }
  }
}

}  // namespace
