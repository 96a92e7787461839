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

#include <vector>

namespace {

class HtmlStoredValuesTest : public RichTextTest {};

QString Page(const char* name) {
  return QString::fromUtf8(ReadFileBytes(TestDataPath(QStringLiteral("html/%1.html").arg(QLatin1String(name)))));
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
    for (const char* written : {"c", "de", "fr"}) {
      const std::string name = std::string(page.kind) + "-" + written;
      const QString html = Page(name.c_str());
      for (const char* locale : {"C", "de_DE", "fr_FR"}) {
        const TestLocale scope(locale);
        for (const bool pasted : {false, true}) {
          SCOPED_TRACE(name + " under " + locale + (pasted ? ", pasted" : ", opened"));
          CADocument sheet;
          if (pasted) {
            ASSERT_TRUE(FileFormatServices().loadHtml(sheet, html));
          } else {
            FLError error;
            ASSERT_EQ(sheet.openFile(TestDataPath(QStringLiteral("html/%1.html").arg(QString::fromStdString(name))),
                                     &error),
                      kFileTypeHtml)
                << error.reason.toStdString();
          }
          const std::vector<std::pair<CANumber, QString>> numbers = NumbersOf(sheet);
          EXPECT_EQ(numbers.size(), values.size());
          int equal = 0;
          for (size_t k = 0; k < std::min(numbers.size(), values.size()); ++k) {
            if (numbers[k].first == values[k]) ++equal;
            else if (equal + 3 > int(k))
              ADD_FAILURE() << numbers[k].second.toStdString() << ": " << numbers[k].first.archive().toStdString()
                            << " for " << values[k].archive().toStdString();
          }
          EXPECT_EQ(equal, int(values.size()));
        }
      }
    }
  }
}

// A value shown as a percentage of it is the cell's number, entered as the percentage the user
// would type; a text that shows another number is entered as it is shown. Read by the rich text
// (a short table, pasted) in each locale.
TEST_F(HtmlStoredValuesTest, PercentagesOfTheStoredValueAreItsNumber) {
  const struct {
    const char* value;
    const char* shown;
    const char* number;  // the cell's number in the C syntax; null: entered as shown
  } cases[] = {
      {"0.125", "12.50%", "0.125"},     {"0,125", "12,50%", "0.125"},    {"0,125", "12,50&nbsp;%", "0.125"},
      {"0.5", "50%", "0.5"},            {"0.5", "50.00 %", "0.5"},       {"-0.0001", "-0.01%", "-0.0001"},
      {"12", "1,200.00%", "12"},        {"12", "1.200,00%", "12"},       {"0.000015", "0.0015%", "0.000015"},
      {"0.5", "49%", nullptr},          {"0.5", "0.5", "0.5"},           {"0.5", "50", nullptr},
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

}  // namespace
