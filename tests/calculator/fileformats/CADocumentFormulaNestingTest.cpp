// A formula nested past what the parser reads is refused as a typed one is, whichever way it
// arrives: each reader keeps its text and shows the syntax error, and reads the cells beside it.
#include "MeteredPasteTestSupport.h"
#include "PackageTestSupport.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/formula/caFormulaErrors.h"
#include "calculator/model/formula/caFormulaParser.h"

#include <QMimeData>

#include <gtest/gtest.h>

namespace {

// "=(0-(0-(...1...)))" nested `levels` deep.
QByteArray Nested(int64_t levels) {
  return "=" + QByteArray("(0-").repeated(qsizetype(levels)) + "1" + QByteArray(qsizetype(levels), ')');
}

// "=---...1": a run of unary minuses, the last the sign of its number, nests as deep as it is long.
QByteArray Minuses(int64_t levels) { return "=" + QByteArray(qsizetype(levels), '-') + "1"; }

class FormulaNestingTest : public PackageTest {
 protected:
  // The cells A1 (the nested `formula`, `levels` deep) and B1 (=1+(2)) of a sheet opened.
  void expectRefusedBesideRead(CADocument& document, const char* how, const QByteArray& formula, int64_t levels) {
    document.evaluate();
    const CACell* nested = document.cellAtGridPoint({0, 0});
    const CACell* beside = document.cellAtGridPoint({1, 0});
    ASSERT_NE(nested, nullptr) << how;
    ASSERT_NE(beside, nullptr) << how;
    EXPECT_EQ(nested->formula(), QString::fromLatin1(formula)) << how;
    const bool deep = levels > kMaxFormulaNesting;
    EXPECT_EQ(nested->parseResult(), deep ? kFormulaErrorNesting : kFormulaOK) << how;
    EXPECT_EQ(nested->displayText(false), deep ? QStringLiteral("<Syntax>") : QStringLiteral("1")) << how;
    ASSERT_TRUE(beside->number().has_value()) << how;
    EXPECT_EQ(double(beside->number()->realValue()), 3.0) << how;
  }
};

TEST_F(FormulaNestingTest, AFormulaNestedPastTheBoundIsRefusedHoweverItArrives) {
  for (const auto shape : {Nested, Minuses}) {
    for (const int64_t levels : {kMaxFormulaNesting, kMaxFormulaNesting + 1, int64_t(100000)}) {
      SCOPED_TRACE(shape == Minuses ? "minuses" : "parentheses");
      const QByteArray formula = shape(levels);
      const struct {
        const char* how;
        const char* name;
        QByteArray bytes;
      } files[] = {
          {"comma-separated text", "sheet.csv", formula + ",=1+(2)\n"},
          {"tab-separated text", "sheet.txt", formula + "\t=1+(2)\n"},
          {"a page", "sheet.html", "<table><tr><td>" + formula + "</td><td>=1+(2)</td></tr></table>"},
      };
      for (const auto& f : files) {
        const QString path = scratch(QLatin1String(f.name));
        ASSERT_TRUE(WriteFileBytes(path, f.bytes)) << f.how;
        CADocument document;
        FLError error;
        ASSERT_GT(document.openFile(path, &error), 0) << f.how << ": " << error.reason.toStdString();
        expectRefusedBesideRead(document, f.how, formula, levels);
      }

      // The program's own package keeps the text, and reading it refuses it again.
      {
        CADocument written;
        written.cellAtGridPointImperative({0, 0})->setFormula(QString::fromLatin1(formula));
        written.cellAtGridPointImperative({1, 0})->setFormula(QStringLiteral("=1+(2)"));
        const QString package =
            scratch(QStringLiteral("sheet%1%2.Numlet").arg(QLatin1String(shape == Minuses ? "m" : "p")).arg(levels));
        FLError error;
        ASSERT_TRUE(written.saveToNativeFile(package, false, &error)) << error.reason.toStdString();
        CADocument document;
        ASSERT_GT(document.openFile(package, &error), 0) << error.reason.toStdString();
        expectRefusedBesideRead(document, "the package", formula, levels);
      }
    }
  }
}

class PastedNestingTest : public EditTest {
 protected:
  PastedNestingTest() { InstallFileFormatServices(); }
};

TEST_F(PastedNestingTest, APastedFormulaNestedPastTheBoundIsRefusedAsATypedOne) {
  for (const int64_t levels : {kMaxFormulaNesting, kMaxFormulaNesting + 1}) {
    QMimeData data;
    data.setText(QString::fromLatin1(Nested(levels) + "\t=1+(2)"));
    select("A1", "A1");
    ASSERT_TRUE(document.paste(&data, false));
    document.evaluate();
    ASSERT_NE(cell("A1"), nullptr);
    ASSERT_NE(cell("B1"), nullptr);
    EXPECT_EQ(cell("A1")->parseResult(), levels > kMaxFormulaNesting ? kFormulaErrorNesting : kFormulaOK);
    ASSERT_TRUE(cell("B1")->number().has_value());
    EXPECT_EQ(double(cell("B1")->number()->realValue()), 3.0);
  }
}

}  // namespace
