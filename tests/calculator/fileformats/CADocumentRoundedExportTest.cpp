// A page the sheet writes shows each number as the sheet does: rounded half up to its places, or
// cut with "Round down instead of to nearest", typed decimals, formulas and money alike; the
// values themselves stay as they were. Expected texts are worked out by hand from the decimals,
// written with "." and "," and shown with each locale's separators.
#include "support/NumberTextInLocale.h"
#include "RichTextTestSupport.h"

#include "calculator/fileformats/caHtml.h"
#include "calculator/model/CAFormat.h"
#include "calculator/model/LocaleTestSupport.h"

#include <QRegularExpression>

namespace {

class RoundedExportTest : public RichTextTest {};

// The texts of the page's cells, in order, with the markup taken out and its no-break spaces read.
QStringList CellTexts(const QString& page) {
  QStringList texts;
  const QRegularExpression cell(QStringLiteral("<td[^>]*>(.*?)</td>"), QRegularExpression::DotMatchesEverythingOption);
  for (const QRegularExpressionMatch& match : cell.globalMatch(page)) {
    QString text = match.captured(1);
    text.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    text.replace(QLatin1String("&#160;"), QString(QChar(0x00A0)));
    texts << text.trimmed();
  }
  return texts;
}

TEST_F(RoundedExportTest, ThePageShowsNumbersRoundedAsTheSettingSays) {
  const struct {
    const char* typed;  // "." stands for the locale's decimal separator
    int32_t display;
    int64_t size;
    bool money;  // with cents and groups
    const char* nearest;
    const char* down;
  } cells[] = {
      {"0.129", kDisplayFloat, 2, false, "0.13", "0.12"},
      {"0.375", kDisplayFloat, 2, false, "0.38", "0.37"},
      {"=1/8", kDisplayFloat, 2, false, "0.13", "0.12"},
      {"9.999", kDisplayFloat, 2, false, "10.00", "9.99"},
      {"=19.95*0.07", kDisplayFloat, 2, false, "1.40", "1.39"},
      {"=SQRT(99.980001)", kDisplayFloat, 2, false, "10.00", "9.99"},
      {"1926.165", kDisplayFloat, 2, false, "1926.17", "1926.16"},
      {"1926.165", kDisplayMoney, -1, true, "$1,926.17", "$1,926.16"},
      {"12.5%", kDisplayMoney, -1, true, "$0.13", "$0.12"},
      {"1.005%", kDisplayPercent, 2, false, "1.01%", "1.00%"},
  };
  for (const char* name : {"en_US", "de_DE", "fr_FR", "de_CH", "ar_EG"}) {
    const TestLocale locale(name);
    for (const bool down : {false, true}) {
      SetNumberPreferencesProvider([down] {
        CANumberPreferences preferences;
        preferences.roundDown = down;
        return preferences;
      });
      SCOPED_TRACE(std::string(name) + (down ? ", rounding down" : ""));
      CADocument sheet;
      for (size_t row = 0; row < std::size(cells); ++row) {
        const auto& c = cells[row];
        CACell* cell = sheet.cellAtGridPointImperative({0, int64_t(row)});
        cell->setFormula(QString::fromLatin1(c.typed).replace(QLatin1Char('.'), NumberTextLocale().decimalSeparator));
        CANumberFormat number;
        number.setDisplay(c.display);
        number.setSize(c.size);
        number.setForceHundredths(c.money);
        number.setGroupThousands(c.money);
        number.setCurrencySymbol(QStringLiteral("$"));
        CAFormat format;
        format.setNumberFormat(&number);
        cell->setFormat(format);
      }
      sheet.evaluate();
      QString page;
      ASSERT_TRUE(ExportRangeAsHtml(sheet, sheet.extent(), QString(), &page, nullptr));
      const QStringList texts = CellTexts(page);
      ASSERT_EQ(texts.size(), qsizetype(std::size(cells))) << page.toStdString();
      for (size_t row = 0; row < std::size(cells); ++row) {
        const auto& c = cells[row];
        const CACell* cell = sheet.cellAtGridPoint({0, int64_t(row)});
        ASSERT_TRUE(cell && cell->number()) << c.typed;
        const QString shown = InLocale(down ? c.down : c.nearest);
        EXPECT_EQ(cell->displayText(false), shown) << c.typed;
        // The page writes every no-break space, the narrow one of the French groups too, as one.
        EXPECT_EQ(texts[qsizetype(row)], QString(shown).replace(QChar(0x202F), QChar(0x00A0))) << c.typed;
      }
      // The values are as typed, whatever the places show.
      const CACell* typed = sheet.cellAtGridPoint({0, 6});
      ASSERT_TRUE(typed && typed->number());
      EXPECT_TRUE(*typed->number() == CANumber::withNumerator(385233, 200));
    }
    SetNumberPreferencesProvider(nullptr);
  }
}

}  // namespace
