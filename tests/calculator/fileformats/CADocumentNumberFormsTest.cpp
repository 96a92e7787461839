// A number or date text reads as the same value, or stays text, whichever way it comes in: typed
// into a cell, pasted as the clipboard's text, or in a comma-separated, plain-text, RTF or HTML
// file that declares no language; in locales of every kind of mark, the other syntax's forms
// included.
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/LocaleTestSupport.h"
#include "calculator/model/NumberFormsTestSupport.h"
#include "calculator/model/UndoTestSupport.h"
#include "calculator/model/caDocumentServices.h"
#include "framlet/foundation/flDates.h"
#include "platform/FLError.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>

#include <functional>
#include <string_view>

namespace {

class NumberFormsTest : public testing::Test {
 protected:
  NumberFormsTest() {
    InstallFileFormatServices();
    g_requireDayIndexYear = true;  // as in the application
  }
  ~NumberFormsTest() override {
    g_requireDayIndexYear = savedRequireYear;
    SetFileFormatServices(CAFileFormatServices());
  }

  static void expectReading(const CACell* cell, const NumberFormReading& reading) {
    if (reading.kind == NumberFormReading::text) {
      ASSERT_NE(cell, nullptr);
      EXPECT_EQ(cell->valueType(), kValueText) << cell->displayText(true).toStdString();
      return;
    }
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->valueType(), reading.kind == NumberFormReading::date ? kValueDate : kValueNumber)
        << cell->displayText(true).toStdString();
    ASSERT_TRUE(cell->number().has_value());
    const CANumber expected = reading.kind == NumberFormReading::date
                                  ? CANumber(reading.dayIndex)
                                  : CANumber::withNumerator(reading.numerator, reading.denominator);
    EXPECT_EQ(*cell->number(), expected) << cell->number()->archive().toStdString();
  }


 public:
  // The text opened as a file of that name, alone in it.
  void opened(const char* name, const QString& text, CADocument& into) {
    const QString path = QDir(folder.path()).filePath(QString::fromLatin1(name));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8() + '\n');
    file.close();
    FLError error;
    ASSERT_NE(into.openFile(path, &error), 0) << error.reason.toStdString();
  }


 protected:
  ModelEnvironment environment;
  QTemporaryDir folder;
  const bool savedRequireYear = g_requireDayIndexYear;
};

TEST_F(NumberFormsTest, EveryWayInReadsTheLocalesFormsAndLeavesTheOtherSyntaxsAsText) {
  const struct {
    const char* name;
    std::function<void(NumberFormsTest&, const QString&, CADocument&)> enter;
  } ways[] = {
      {"typed", [](NumberFormsTest&, const QString& text, CADocument& document) {
         document.cellAtGridPointImperative({0, 0})->setFormula(text);
       }},
      {"clipboard text", [](NumberFormsTest&, const QString& text, CADocument& document) {
         UndoWindow window{document};
         document.setController(&window);
         QMimeData data;
         data.setText(text);
         document.setSelectionPoint({0, 0});
         EXPECT_TRUE(document.paste(&data, false));
         document.setController(nullptr);
       }},
      {"CSV", [](NumberFormsTest& test, const QString& text, CADocument& document) {
         // Quoted, so that a decimal comma is no field separator.
         test.opened("forms.csv", u'"' + text + u'"', document);
       }},
      {"text", [](NumberFormsTest& test, const QString& text, CADocument& document) {
         test.opened("forms.txt", text, document);
       }},
      {"RTF", [](NumberFormsTest& test, const QString& text, CADocument& document) {
         QString rtf = QStringLiteral("{\\rtf1\\ansi\\uc0 ");
         for (const QChar c : text)
           rtf += c.unicode() < 0x80 ? QString(c) : QStringLiteral("\\u%1 ").arg(int(int16_t(c.unicode())));
         test.opened("forms.rtf", rtf + u'}', document);
       }},
      {"page", [](NumberFormsTest& test, const QString& text, CADocument& document) {
         test.opened("forms.html", QStringLiteral("<html><body><table><tr><td>") + text.toHtmlEscaped() +
                                       QStringLiteral("</td></tr></table></body></html>"), document);
       }},
  };
  for (const NumberFormCase& c : kNumberForms) {
    const TestLocale locale(c.locale);
    for (const auto& way : ways) {
      SCOPED_TRACE(std::string(c.locale) + " " + way.name + " \"" + c.text + "\"");
      CADocument document;
      way.enter(*this, QString::fromUtf8(c.text), document);
      const bool page = std::string_view(way.name) == "page";
      expectReading(document.cellAtGridPoint({0, 0}), page && c.otherOnAPage ? c.onAPage : c.reading);
    }
  }
}

}  // namespace
