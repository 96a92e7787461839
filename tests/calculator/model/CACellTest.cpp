// Cells: classification of typed text, display text per value type, type changes, copying,
// filling, find and replace, links, overflow, and the "cell" element both ways, enciphered or
// not.
#include <gtest/gtest.h>

#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAPicture.h"
#include "calculator/model/CARow.h"
#include "calculator/model/formula/caFormulaErrors.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/FLXmlEncoder.h"
#include "framlet/foundation/flDates.h"
#include "framlet/foundation/flFileSupport.h"
#include "framlet/foundation/flPasswords.h"
#include "LocaleTestSupport.h"
#include "ModelTestSupport.h"
#include "platform/FLError.h"
#include "platform/NotificationCenter.h"
#include "support/LogCapture.h"
#include "calculator/model/CellNumberTestSupport.h"

#include <QDate>

namespace {

const QString kDeclaration = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");

bool IsFormulaTypeForTest(int32_t type) { return type == kValueError || type == kValueFormula; }

class CellTest : public testing::Test {
 protected:
  CACell& cellAt(int64_t x, int64_t y) { return *document.cellAtGridPointImperative({x, y}); }
  CACell& entered(int64_t x, int64_t y, const QString& text) {
    CACell& cell = cellAt(x, y);
    cell.setFormula(text);
    return cell;
  }
  QString xmlOf(const CACell& cell) {
    FLXmlEncoder encoder;
    FLError error;
    EXPECT_TRUE(cell.saveToXml(encoder, &error)) << error.reason.toStdString();
    return encoder.xml().mid(kDeclaration.size());
  }
  std::unique_ptr<CACell> read(const QString& xml, CADocument& into) {
    auto decoder = FLXmlDecoder::withString(kDeclaration + xml);
    EXPECT_TRUE(decoder && decoder->getNextTag());
    return CACell::withXml(*decoder, &into);
  }

  ModelEnvironment environment;
  CADocument document;
};

struct Classification {
  const char* typed;
  int32_t type;
  const char* formula;  // the stored text, or the number's shown text
};

TEST_F(CellTest, ClassifiesTypedText) {
  const Classification cases[] = {
      {"", kValueNone, ""}, {"=1+2", kValueFormula, "=1+2"}, {"  =a1 +\tb1 ", kValueFormula, "=a1 + b1"},
      {"12", kValueNumber, "12"}, {"1,234", kValueNumber, "1234"}, {"12%", kValueNumber, "0.12"},
      {"1/2/2024", kValueDate, "1/2/2024"}, {"20240115", kValueDate, "1/15/2024"},
      {"www.example.com", kValueLink, "http://www.example.com"}, {"a\tb c", kValueText, "ab c"},
      {"007x", kValueText, "007x"},
  };
  for (const Classification& c : cases) {
    CACell& cell = entered(0, 0, QString::fromUtf8(c.typed));
    EXPECT_EQ(cell.valueType(), c.type) << c.typed;
    const QString shown = cell.number() ? cell.displayText(false) : cell.formula();
    EXPECT_EQ(shown, QString::fromUtf8(c.formula)) << c.typed;
  }
  const CACell& link = entered(1, 0, QStringLiteral("WWW.Example.com"));
  EXPECT_EQ(link.formula(), QStringLiteral("http://WWW.Example.com"));
  EXPECT_EQ(link.displayTextField(), QStringLiteral("WWW.Example.com"));
  const CACell& bad = entered(2, 0, QStringLiteral("=1+"));
  EXPECT_EQ(bad.parseResult(), kFormulaOK);  // an operand short is the evaluator's error
  const CACell& symbol = entered(3, 0, QStringLiteral("=1+#"));
  EXPECT_EQ(symbol.parseResult(), kFormulaErrorSymbol);
  EXPECT_EQ(symbol.errorOffset(), 3u);
}

// Where the locale writes its dates with dots, a dotted date typed in a cell is that date, in
// the locale's order and with its year; elsewhere it stays a text. Either way it is never the
// number its digits would make, while numbers grouped with dots stay numbers.
TEST_F(CellTest, ADateWrittenWithDotsIsADateWhereTheLocaleWritesSo) {
  const bool savedRequireYear = g_requireDayIndexYear;
  g_requireDayIndexYear = true;  // as in the application
  const struct { const char* locale; bool dotted; } locales[] = {
      {"de_DE", true}, {"de_CH", true}, {"pl_PL", true},  {"ru_RU", true},  {"fi_FI", true},
      {"cs_CZ", true}, {"nb_NO", true}, {"tr_TR", true},  {"C", false},     {"en_US", false},
      {"fr_FR", false}, {"ar_EG", false},
  };
  const struct { const char* typed; int32_t dayIndex; } dates[] = {
      {"01.03.2024", 20240301}, {"03.03.2024", 20240303}, {"14.3.2024", 20240314},
      {"31.02.2024", 0}, {"1.3.24", 0}, {"1.13.2024", 0},  // dotted, yet no date: texts
  };
  const struct { const char* typed; int64_t numerator; uint64_t denominator; } grouped[] = {
      {"1.234", 1234, 1}, {"1.234.567", 1234567, 1}, {"1.001.000", 1001000, 1}, {"1.234.567,5", 2469135, 2},
  };
  for (const auto& l : locales) {
    const TestLocale locale(l.locale);
    for (const auto& d : dates) {
      const CACell& cell = entered(0, 0, QString::fromLatin1(d.typed));
      const bool date = l.dotted && d.dayIndex != 0;
      EXPECT_EQ(cell.valueType(), date ? kValueDate : kValueText) << l.locale << ' ' << d.typed;
      if (date) {
        EXPECT_EQ(cell.number() ? cell.number()->integerValue() : 0, d.dayIndex) << l.locale << ' ' << d.typed;
      }
    }
    const bool groupsWithDots = NumberTextLocale().groupSeparator == u".";
    for (const auto& g : grouped) {
      const CACell& cell = entered(0, 0, QString::fromLatin1(g.typed));
      EXPECT_NE(cell.valueType(), kValueDate) << l.locale << ' ' << g.typed;
      if (groupsWithDots) {
        EXPECT_EQ(cell.number().value_or(CANumber()), CANumber::withNumerator(g.numerator, g.denominator))
            << l.locale << ' ' << g.typed;
      }
    }
  }
  // Two days apart, as dates are.
  const TestLocale german("de_DE");
  entered(3, 3, QStringLiteral("01.03.2024"));
  entered(4, 3, QStringLiteral("03.03.2024"));
  entered(5, 3, QStringLiteral("=E4-D4"));
  document.evaluate();
  EXPECT_EQ(cellAt(5, 3).number().value_or(CANumber()), CANumber(2));
  g_requireDayIndexYear = savedRequireYear;
}

// A group separator stands only between the digit groups of a number's integer part: one to
// three digits, then groups of exactly three. Typed with a separator anywhere else the text is no
// number that lost its separators: a date where the locale writes dates with dots and the text
// names a day, else the text as typed. Written for the dotted locales; the others swap "." and ",".
TEST_F(CellTest, ASeparatorThatGroupsNoDigitsMakesNoNumber) {
  const bool savedRequireYear = g_requireDayIndexYear;
  g_requireDayIndexYear = true;  // as in the application
  const char* const locales[] = {"it_IT", "es_ES", "nl_NL", "pt_BR", "de_DE", "da_DK", "en_US", "C"};
  const struct { const char* typed; int32_t dayIndex; } stray[] = {
      {"01.03.2024", 20240301}, {"31.02.2024", 0}, {"1.2.3", 0}, {"12.34", 0}, {"3.14", 0}, {".123", 0},
      {"1..000", 0}, {"01.03", 0}, {"192.168.1.1", 0}, {"01.03.2024.", 0}, {"(01.03.2024)", 0},
      {"\u20AC01.03.2024", 0}, {"1.2345", 0}, {"1234.567", 0}, {"1.234.56", 0}, {"1.234.5678", 0},
      {"-12.34", 0}, {"12.34%", 0}, {"1.", 0}, {"1.234.", 0},
  };
  const struct { const char* typed; int64_t numerator; uint64_t denominator; } grouped[] = {
      {"1.234", 1234, 1}, {"1.234.567,5", 2469135, 2}, {"1.000.000", 1000000, 1}, {"-12.345,5", -24691, 2},
      {"999.999%", 999999, 100}, {"(1.234)", -1234, 1}, {"\u20AC1.234,50", 2469, 2},
  };
  for (const char* name : locales) {
    const TestLocale locale(name);
    const QChar group = NumberTextLocale().groupSeparatorChar;
    ASSERT_TRUE(group == u'.' || group == u',') << name;
    const auto spelled = [group](const char* text) {
      QString typed = QString::fromUtf8(text);
      if (group == u',')
        for (QChar& c : typed) c = c == u'.' ? u',' : c == u',' ? u'.' : c;
      return typed;
    };
    const bool dotted = DottedDateFormat();
    for (const auto& s : stray) {
      const QString typed = spelled(s.typed);
      const CACell& cell = entered(0, 0, typed);
      const bool date = dotted && s.dayIndex != 0;
      EXPECT_EQ(cell.valueType(), date ? kValueDate : kValueText) << name << ' ' << typed.toStdString();
      if (date) { EXPECT_EQ(cell.number().value_or(CANumber()), CANumber(s.dayIndex)) << name << ' ' << s.typed; }
    }
    for (const auto& g : grouped) {
      const QString typed = spelled(g.typed);
      const CACell& cell = entered(0, 0, typed);
      EXPECT_EQ(cell.valueType(), kValueNumber) << name << ' ' << typed.toStdString();
      EXPECT_EQ(cell.number().value_or(CANumber()), CANumber::withNumerator(g.numerator, g.denominator))
          << name << ' ' << typed.toStdString();
    }
    // Two dotted dates are two days apart, or no numbers at all: never the gap of their digits.
    entered(3, 3, spelled("01.03.2024"));
    entered(4, 3, spelled("03.03.2024"));
    entered(5, 3, QStringLiteral("=E4-D4"));
    document.evaluate();
    const std::optional<CANumber> gap = cellAt(5, 3).number();
    if (dotted)
      EXPECT_EQ(gap.value_or(CANumber()), CANumber(2)) << name;
    else
      EXPECT_TRUE(!gap || !(*gap == CANumber(2000000))) << name;
  }
  g_requireDayIndexYear = savedRequireYear;
}

// Text in the C syntax that other programs' files hold is the same cell in every locale: "."
// before the decimals, "," between thousands, dates month first with slashes; what is no number
// or date there stays a text even where the user's syntax would read one in it.
TEST_F(CellTest, TextInTheCSyntaxIsTheSameCellInEveryLocale) {
  const bool savedRequireYear = g_requireDayIndexYear;
  g_requireDayIndexYear = true;  // as in the application
  const struct {
    const char* text;
    int32_t type;
    int64_t numerator;  // of a number or a day index
    uint64_t denominator;
    const char* formula;  // a text's or a formula's stored text
  } cases[] = {
      {"1.5", kValueNumber, 3, 2, nullptr},
      {"1,234.5", kValueNumber, 2469, 2, nullptr},
      {"12.5%", kValueNumber, 1, 8, nullptr},
      {"-0.25", kValueNumber, -1, 4, nullptr},
      {"(1,000)", kValueNumber, -1000, 1, nullptr},
      {"1e3", kValueNumber, 1000, 1, nullptr},
      {"\u20AC1,234.50", kValueNumber, 2469, 2, nullptr},
      {"1/5/2024", kValueDate, 20240105, 1, nullptr},
      {"12/31/2024", kValueDate, 20241231, 1, nullptr},
      {"2024-12-31", kValueDate, 20241231, 1, nullptr},
      {"2,5", kValueText, 0, 1, "2,5"},
      {"1.5.2024", kValueText, 0, 1, "1.5.2024"},
      {"31/12/2024", kValueText, 0, 1, "31/12/2024"},
      {"1.234,5", kValueText, 0, 1, "1.234,5"},
      {"12,5%", kValueText, 0, 1, "12,5%"},
      {"Caf\u00e9", kValueText, 0, 1, "Caf\u00e9"},
      {"=SUM(1.5,2)", kValueFormula, 0, 1, nullptr},
  };
  for (const char* locale : {"C", "en_US", "de_DE", "fr_FR"}) {
    const TestLocale scope(locale);
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(locale) + " " + c.text);
      CACell& cell = cellAt(0, 0);
      cell.setFormulaFromC(QString::fromUtf8(c.text));
      EXPECT_EQ(cell.valueType(), c.type) << cell.displayText(false).toStdString();
      if (c.type == kValueNumber || c.type == kValueDate) {
        EXPECT_EQ(cell.number().value_or(CANumber()), CANumber::withNumerator(c.numerator, c.denominator));
      }
      if (c.formula) { EXPECT_EQ(cell.formula(), QString::fromUtf8(c.formula)); }
    }
    // A formula is written in the user's separators, and computes the same.
    cellAt(0, 0).setFormulaFromC(QStringLiteral("=SUM(1.5,2)"));
    document.evaluate();
    EXPECT_EQ(cellAt(0, 0).number().value_or(CANumber()), CANumber::withNumerator(7, 2)) << locale;
  }
  g_requireDayIndexYear = savedRequireYear;
}

// Under the decimal comma, a comma before an operand parts a function's arguments, as the same
// formula typed under the point does; before digits with no blank it is the decimal comma.
TEST_F(CellTest, ACommaBeforeAnOperandPartsArgumentsUnderTheDecimalComma) {
  const struct {
    const char* typed;
    int64_t numerator;
    uint64_t denominator;
  } cases[] = {
      {"=DATE(2026, 3, 4)", 20260304, 1}, {"=MAX(1, 2)", 2, 1},    {"=MAX(1,A2)", 5, 1},
      {"=SUM(1, 2, 3)", 6, 1},            {"=SUM(1,5 ,2)", 7, 2}, {"=SUM(1,5)", 3, 2},
      {"=5,+1", 6, 1},                    {"=MAX(1,$A$2)", 5, 1}, {"=SUM(2,(3))", 5, 1},
  };
  for (const char* name : {"de_DE", "fr_FR", "ru_RU"}) {
    const TestLocale locale(name);
    entered(0, 1, QStringLiteral("5"));
    for (const auto& c : cases) {
      entered(0, 0, QString::fromLatin1(c.typed));
      document.evaluate();
      EXPECT_EQ(NumberIn(document.cellAtGridPoint({0, 0})), CANumber::withNumerator(c.numerator, c.denominator))
          << name << ' ' << c.typed;
    }
  }
}

TEST_F(CellTest, AddsReferencesWhileAFormulaIsTyped) {
  struct Case { const char* formula; CATextRange selection; const char* result; uint64_t caret; };
  const Case cases[] = {
      {"", {0, 0}, "=B2", 3}, {"=1", {2, 0}, "=1+B2", 5}, {"=SUM(", {5, 0}, "=SUM(B2", 7},
      {"=(A1)", {5, 0}, "=(A1)+B2", 8}, {"=A1+C3", {4, 2}, "=A1+B2", 6},
  };
  for (const Case& c : cases) {
    CACell& cell = cellAt(5, 5);
    cell.setTypingInProgress(false);
    cell.setFormulaString(QString::fromUtf8(c.formula));
    CATextRange selection = c.selection;
    cell.addRefToFormula(QStringLiteral("B2"), &selection);
    EXPECT_EQ(cell.formula(), QString::fromUtf8(c.result)) << c.formula;
    EXPECT_EQ(selection, (CATextRange{c.caret, 0})) << c.formula;
    EXPECT_TRUE(cell.typingInProgress());
  }
}

TEST_F(CellTest, PicturesAreSharedInADocumentAndCopiedAcrossDocuments) {
  std::shared_ptr<FLImage> image = FLImage::withSize(QSizeF(40, 20));
  std::shared_ptr<CAPicture> picture = CAPicture::withImage(image, &document);
  CACell& cell = cellAt(0, 0);
  cell.setPicture(picture);
  cell.setImageScale(50 * 12700);
  CACell& same = cellAt(1, 0);
  same.copyFrom(cell, false, false);
  EXPECT_EQ(same.picture(), picture);
  EXPECT_EQ(same.imageScale(), 50 * 12700);

  CADocument other;
  CACell& there = *other.cellAtGridPointImperative({0, 0});
  there.copyFrom(cell, false, false);
  ASSERT_TRUE(there.picture());
  EXPECT_NE(there.picture(), picture);
  EXPECT_EQ(there.picture()->guid(), picture->guid());
  EXPECT_EQ(other.pictures().value(picture->guid()), there.picture());
  CACell& again = *other.cellAtGridPointImperative({1, 0});
  again.copyFrom(cell, false, false);
  EXPECT_EQ(again.picture(), there.picture());
}

TEST_F(CellTest, FillsBySteps) {
  CACell& number = entered(0, 0, QStringLiteral("10"));
  CAFillInfo add;
  add.kind = kFillAdd;
  add.step = CANumber(5);
  CACell& added = cellAt(0, 1);
  added.fillFrom(number, add);
  EXPECT_EQ(added.valueType(), kValueNumber);
  EXPECT_EQ(NumberIn(&added).integerValue(), 15);
  EXPECT_TRUE(added.hasValue());

  CAFillInfo multiply;
  multiply.kind = kFillMultiply;
  multiply.step = CANumber::withNumerator(1, 2);
  CACell& halved = cellAt(0, 2);
  halved.fillFrom(number, multiply);
  EXPECT_EQ(NumberIn(&halved).integerValue(), 5);
  EXPECT_EQ(halved.displayText(false), QStringLiteral("5"));

  CACell& date = entered(1, 0, QStringLiteral("1/31/2024"));
  CAFillInfo months;
  months.kind = kFillDate;
  months.dateUnit = kFillMonths;
  months.step = CANumber(1);
  CACell& nextMonth = cellAt(1, 1);
  nextMonth.fillFrom(date, months);
  EXPECT_EQ(nextMonth.valueType(), kValueDate);
  EXPECT_EQ(NumberIn(&nextMonth).integerValue(), 20240229);
  months.dateUnit = kFillYears;
  nextMonth.fillFrom(date, months);
  EXPECT_EQ(NumberIn(&nextMonth).integerValue(), 20250131);

  CACell& notADate = cellAt(2, 1);
  notADate.fillFrom(number, months);
  EXPECT_EQ(notADate.valueType(), kValueNone);
  CACell& text = entered(3, 0, QStringLiteral("abc"));
  CACell& fromText = entered(3, 1, QStringLiteral("7"));
  fromText.fillFrom(text, add);
  EXPECT_EQ(fromText.valueType(), kValueNone);

  CAFillInfo copy;
  CACell& formula = entered(4, 0, QStringLiteral("=A1*2"));
  CACell& copied = cellAt(4, 1);
  copied.fillFrom(formula, copy);
  // A copy re-bases the relative references: one row down, A1 becomes A2.
  EXPECT_EQ(copied.formula(), QStringLiteral("=A2*2"));
}

struct FindCase {
  int32_t scope;
  const char* find;
  bool ignoreCase;
  bool wholeWords;
  bool formula;
  bool number;
  bool text;
};

TEST_F(CellTest, FindsByScopeCaseAndWholeWords) {
  CACell& formula = entered(0, 0, QStringLiteral("=SUM(A1)"));
  formula.setNumber(CANumber(42));
  CACell& number = entered(1, 0, QStringLiteral("1234"));
  CACell& text = entered(2, 0, QStringLiteral("The cats sum up"));
  const FindCase cases[] = {
      {kFindEntered, "SUM", false, false, true, false, false}, {kFindEntered, "sum", true, false, true, false, true},
      {kFindEntered, "sum", false, false, false, false, true}, {kFindShown, "42", false, false, true, false, false},
      {kFindShown, "23", false, false, false, true, false}, {kFindBoth, "cat", false, false, false, false, true},
      {kFindBoth, "cat", false, true, false, false, false}, {kFindBoth, "cats", false, true, false, false, true},
      {kFindBoth, "The cats sum up and more", false, false, false, false, false},
  };
  for (const FindCase& c : cases) {
    const QString find = QString::fromUtf8(c.find);
    EXPECT_EQ(formula.matchesFindString(find, c.scope, c.ignoreCase, c.wholeWords), c.formula) << c.find;
    EXPECT_EQ(number.matchesFindString(find, c.scope, c.ignoreCase, c.wholeWords), c.number) << c.find;
    EXPECT_EQ(text.matchesFindString(find, c.scope, c.ignoreCase, c.wholeWords), c.text) << c.find;
  }
}

// ---------------------------------------------------------------------------------------------
// XML

TEST_F(CellTest, EveryValueTypeSurvivesARoundTrip) {
  std::shared_ptr<CAPicture> picture = CAPicture::withImage(FLImage::withSize(QSizeF(4, 4)), &document);
  picture->setSaveGuid(picture->guid());
  std::vector<CACell*> cells;
  CACell& check = cellAt(0, 0);
  check.setValueType(kValueCheckbox);
  check.setChecked(true);
  cells.push_back(&check);
  cells.push_back(&entered(1, 0, QStringLiteral("3/4/2024")));
  CACell& formula = entered(2, 0, QStringLiteral("=SUM(A1:B2)*2"));
  formula.setNumber(CANumber(7));
  cells.push_back(&formula);
  CACell& error = entered(3, 0, QStringLiteral("=1+#"));
  error.setValueType(kValueError);
  cells.push_back(&error);
  CACell& image = cellAt(4, 0);
  image.setPicture(picture);
  cells.push_back(&image);
  CACell& link = entered(5, 0, QStringLiteral("www.example.com"));
  link.setInactiveLink(true);
  cells.push_back(&link);
  CACell& number = entered(6, 0, QStringLiteral("1/3x"));
  number.setNumberValue(CANumber::withNumerator(-1, 3));
  cells.push_back(&number);
  CACell& text = entered(7, 0, QStringLiteral("007"));
  text.setFormulaString(QStringLiteral("007"));
  text.setValueType(kValueText);
  cells.push_back(&text);
  CACell& date = entered(8, 0, QStringLiteral("plain words"));
  date.setFormulaString(QStringLiteral("1/2/2024"));  // a text that reads as a date
  cells.push_back(&date);
  CACell& covered = cellAt(9, 0);
  covered.setValueType(kValueOverflow);
  cells.push_back(&covered);
  CACell& noted = cellAt(10, 0);
  noted.setNote(QStringLiteral("only a note"));
  cells.push_back(&noted);

  // Read back with the link preference off: links must stay links.
  CAModelPreferences noLinks;
  noLinks.smartLinks = false;
  environment.set(noLinks);
  for (CACell* cell : cells) {
    const std::unique_ptr<CACell> back = read(xmlOf(*cell), document);
    const std::string where = FormatGridPoint(cell->gridPoint()).toStdString();
    const int32_t expectedType = cell->valueType() == kValueError ? kValueFormula : cell->valueType();
    EXPECT_EQ(back->valueType(), expectedType) << where;
    EXPECT_EQ(back->gridPoint(), cell->gridPoint()) << where;
    EXPECT_EQ(back->formula(), cell->formula()) << where;
    EXPECT_EQ(back->displayTextField(), cell->displayTextField()) << where;
    EXPECT_EQ(back->inactiveLink(), cell->inactiveLink()) << where;
    EXPECT_EQ(back->isChecked(), cell->isChecked()) << where;
    EXPECT_EQ(back->note(), cell->note()) << where;
    EXPECT_EQ(back->picture(), cell->picture()) << where;
    EXPECT_TRUE(back->needRecalc()) << where;
    if (cell->valueType() == kValueDate || cell->valueType() == kValueNumber) {
      ASSERT_TRUE(back->number()) << where;
      ASSERT_TRUE(cell->number()) << where;
      EXPECT_EQ(*back->number(), *cell->number()) << where;
    }
    if (IsFormulaTypeForTest(cell->valueType())) {
      EXPECT_EQ(back->expression().size(), cell->expression().size()) << where;
      EXPECT_EQ(back->parseResult(), cell->parseResult()) << where;
    }
  }
  EXPECT_TRUE(picture->saved());
}

TEST_F(CellTest, ANewValueDropsWhatBelongedToTheOldOneAndKeepsTheNote) {
  CACell& link = entered(0, 0, QStringLiteral("www.example.com"));
  link.setInactiveLink(true);
  link.setNote(QStringLiteral("kept"));
  link.setNumberValue(CANumber(5));
  EXPECT_EQ(link.note(), QStringLiteral("kept"));
  EXPECT_TRUE(link.displayTextField().isEmpty());
  EXPECT_FALSE(link.inactiveLink());
  EXPECT_EQ(link.extraColumns(), 0u);
  EXPECT_TRUE(link.holdsContent());
  link.setNote(QString());
  link.clearValue();
  EXPECT_FALSE(link.holdsContent());
}

TEST_F(CellTest, CellsReadWithOneFormatShareItUntilOneChanges) {
  const QString cell = QStringLiteral("<cell x=\"%1\" y=\"0\" type=\"#\"><format><bold>%2</bold></format><val>i1</val></cell>");
  const QString xml = kDeclaration + QStringLiteral("<spreadsheet ver=\"1\"><rows><row y=\"0\"><cells>") +
                      cell.arg(0).arg(1) + cell.arg(1).arg(1) + cell.arg(2).arg(0) +
                      QStringLiteral("</cells></row></rows></spreadsheet>");
  CADocument read;
  std::unique_ptr<FLXmlDecoder> decoder = FLXmlDecoder::withString(xml);
  read.loadFromXml(*decoder);
  const CACell* a = read.cellAtGridPoint({0, 0});
  const CACell* b = read.cellAtGridPoint({1, 0});
  const CACell* c = read.cellAtGridPoint({2, 0});
  ASSERT_TRUE(a && b && c && a->format() && c->format());
  EXPECT_EQ(a->format(), b->format());
  EXPECT_NE(a->format(), c->format());
  EXPECT_TRUE(a->format()->bold());
  EXPECT_FALSE(c->format()->bold());
  ASSERT_NE(read.cellAtGridPoint({1, 0}), nullptr);
  read.cellAtGridPoint({1, 0})->format()->setBold(false);
  EXPECT_TRUE(a->format()->bold());
  EXPECT_FALSE(b->format()->bold());
}

TEST_F(CellTest, TypeWordsAreReadWhateverTheirCase) {
  // "\u017F" (long s) folds to "s" as the general comparison of words does.
  const struct {
    const char* type;
    int32_t expected;
  } cases[] = {{"s", kValueText}, {"S", kValueText}, {"LINK", kValueLink}, {"\u017F", kValueText}, {"Of", kValueOverflow}};
  for (const auto& c : cases) {
    const QString type = QString::fromUtf8(c.type);
    const std::unique_ptr<CACell> back = read(QStringLiteral("<cell x=\"0\" y=\"0\" type=\"%1\"/>").arg(type), document);
    EXPECT_EQ(back->valueType(), c.expected) << c.type;
  }
}

TEST_F(CellTest, ProtectedDocumentsEncipherTheCellTexts) {
  document.setPassword(QStringLiteral("abc123XYZ00"));
  SetEncryptionPassword(document.password());
  document.setSaveWithPassword(true);
  CACell& link = entered(0, 0, QStringLiteral("http://hidden.example.com"));
  link.setDisplayText(QStringLiteral("Hidden place"));
  link.setInactiveLink(true);
  link.setNote(QStringLiteral("private note"));
  CACell& number = entered(1, 0, QStringLiteral("12345"));
  CACell& check = cellAt(2, 0);
  check.setValueType(kValueCheckbox);
  check.setChecked(true);
  CACell& formula = entered(3, 0, QStringLiteral("=B7*3"));
  const std::vector<CACell*> cells = {&link, &number, &check, &formula};
  std::vector<QString> xml;
  for (CACell* cell : cells) xml.push_back(xmlOf(*cell));
  for (const QString& text : xml) {
    EXPECT_FALSE(text.contains(QStringLiteral("hidden"), Qt::CaseInsensitive)) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("private"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("12345"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("B7"))) << text.toStdString();
  }
  EXPECT_TRUE(xml[0].contains(QStringLiteral("<inactive>1</inactive>")));
  EXPECT_FALSE(xml[2].contains(QStringLiteral("<val>1</val>")));

  // Read without the password the texts stay enciphered; with it they come back.
  document.setSaveWithPassword(false);
  EXPECT_NE(read(xml[0], document)->note(), link.note());
  document.setOpenWithPassword(true);
  for (size_t i = 0; i < cells.size(); ++i) {
    const std::unique_ptr<CACell> back = read(xml[i], document);
    EXPECT_EQ(back->valueType(), cells[i]->valueType()) << i;
    EXPECT_EQ(back->formula(), cells[i]->formula()) << i;
    EXPECT_EQ(back->displayTextField(), cells[i]->displayTextField()) << i;
    EXPECT_EQ(back->note(), cells[i]->note()) << i;
    EXPECT_EQ(back->isChecked(), cells[i]->isChecked()) << i;
    EXPECT_EQ(back->number().has_value(), cells[i]->valueType() == kValueNumber) << i;
  }
  EXPECT_EQ(NumberIn(read(xml[1], document).get()).integerValue(), 12345);
}

TEST_F(CellTest, ATextThatCannotBeEncipheredFailsTheSave) {
  document.setPassword(QStringLiteral("abc123XYZ00"));
  SetEncryptionPassword(document.password());
  document.setSaveWithPassword(true);
  CACell& cell = entered(0, 0, QStringLiteral("fine"));
  cell.setNote(QString(QChar(0xD800)));  // a lone surrogate has no UTF-8 form
  FLXmlEncoder encoder;
  FLError error;
  LogCapture log;
  EXPECT_FALSE(cell.saveToXml(encoder, &error));
  EXPECT_NE(error.code, 0);
  EXPECT_TRUE(error.reason.contains(QStringLiteral("A1")));
  EXPECT_EQ(encoder.xml(), kDeclaration);  // nothing half written
}

}  // namespace

// An amount typed as the locale shows money is that amount: a currency symbol of letters (or of
// letters and a sign) before or after it, and the locale's group marks, blanks and apostrophes
// among them; the symbol anywhere else, or another locale's, leaves a text.
TEST_F(CellTest, AmountsTypedAsTheLocaleShowsMoneyAreNumbers) {
  const struct {
    const char* locale;
    const char* typed;
    int64_t cents;  // 0: a text
  } cases[] = {
      {"de_CH", "CHF1\u2019234.50", 123450},   {"de_CH", "CHF 1'234.50", 123450},  {"de_CH", "CHF-12.50", -1250},
      {"de_CH", "-CHF12.50", -1250},           {"de_CH", "1\u2019234.50 CHF", 123450}, {"de_CH", "CHFX12", 0},
      {"de_CH", "12CHF34", 0},                 {"de_CH", "kr12", 0},
      {"sv_SE", "kr1\u00a0234,50", 123450},    {"sv_SE", "kr1 234,50", 123450},    {"sv_SE", "1 234,50 kr", 123450},
      {"sv_SE", "1\u00a0234\u00a0567", 123456700}, {"sv_SE", "12 34", 0},          {"sv_SE", "kronor 12", 0},
      {"fr_FR", "1\u202f234,56", 123456},      {"fr_FR", "1\u00a0234\u00a0%", 1234},     {"fr_FR", "1 234,50 \u20ac", 123450},
      {"pt_BR", "R$1.234,50", 123450},         {"pt_BR", "R$ 1.234,50", 123450},   {"pt_BR", "(R$1.234,50)", -123450},
      {"pt_BR", "R$", 0},
      {"ar_EG", "\u062c.\u0645.\u200f1\u066c234\u066b50", 123450}, {"ar_EG", "1\u066c234\u066b50", 123450},
      {"fa_IR", "\u0631\u06cc\u0627\u06441\u066c234\u066b50", 123450},
      {"en_US", "CHF12", 0},                   {"en_US", "$1,234.50", 123450},
  };
  for (const auto& c : cases) {
    const TestLocale scope(c.locale);
    const QString typed = QString::fromUtf8(c.typed);
    SCOPED_TRACE(std::string(c.locale) + " " + c.typed);
    const CACell& cell = entered(0, 0, typed);
    if (c.cents == 0) {
      EXPECT_EQ(cell.valueType(), kValueText);
      continue;
    }
    EXPECT_EQ(cell.valueType(), kValueNumber);
    EXPECT_EQ(cell.number().value_or(CANumber()), CANumber::withNumerator(c.cents, 100));
  }
  // What the money display shows in each locale, typed there, is its amount again.
  for (const char* locale : {"de_CH", "sv_SE", "pt_BR", "fr_FR", "ar_EG", "fa_IR", "en_IN", "hi_IN", "de_DE"}) {
    const TestLocale scope(locale);
    CANumberFormat money;
    money.setDisplay(kDisplayMoney);
    money.setSize(2);
    money.setGroupThousands(true);
    for (const int64_t cents : {int64_t(123450), int64_t(-123456789)}) {
      const QString shown = money.formatMoney(static_cast<long double>(cents) / 100);
      SCOPED_TRACE(std::string(locale) + " " + shown.toStdString());
      const CACell& cell = entered(0, 0, shown);
      EXPECT_EQ(cell.valueType(), kValueNumber);
      EXPECT_EQ(cell.number().value_or(CANumber()), CANumber::withNumerator(cents, 100));
    }
  }
}
